#include "ScriptedPrompter.h"

ScriptedPrompter::ScriptedPrompter() { setPrompter(this); }
ScriptedPrompter::~ScriptedPrompter() { setPrompter(nullptr); }

QStringList ScriptedPrompter::messages() const
{
    QStringList out;
    for (const Call &c : calls)
        if (c.kind == QLatin1String("message"))
            out << c.text;
    return out;
}

Prompter::Answer ScriptedPrompter::message(const QString &text, const QString &title, Icon icon, Buttons buttons)
{
    calls.append({QStringLiteral("message"), text, title, icon, buttons, {}, {}});
    if (!answers.isEmpty())
        return answers.dequeue();
    switch (buttons) {
    case Buttons::YesNo:
    case Buttons::YesNoCancel: return Answer::Yes;
    case Buttons::RetryCancel: return Answer::Retry;
    default: return Answer::Ok;
    }
}

QString ScriptedPrompter::inputText(const QString &prompt, const QString &title, const QString &defaultText, bool *ok)
{
    calls.append({QStringLiteral("input"), prompt, title, Icon::None, Buttons::OkCancel, {}, defaultText});
    QString answer = inputs.isEmpty() ? QString() : inputs.dequeue();
    if (ok)
        *ok = !answer.isNull();
    return answer.isNull() ? QString() : answer;
}

QString ScriptedPrompter::openFile(const QString &title, const QString &filter, const QString &)
{
    calls.append({QStringLiteral("open"), {}, title, Icon::None, Buttons::Ok, filter, {}});
    return files.isEmpty() ? QString() : files.dequeue();
}

QString ScriptedPrompter::saveFile(const QString &title, const QString &filter, const QString &defaultSuffix,
                                   const QString &, bool)
{
    calls.append({QStringLiteral("save"), {}, title, Icon::None, Buttons::Ok, filter, defaultSuffix});
    return files.isEmpty() ? QString() : files.dequeue();
}
