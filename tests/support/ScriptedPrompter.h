#pragma once

#include "shell/Prompter.h"

#include <QList>
#include <QQueue>
#include <QString>

// Records every prompt and answers from queues, so tests assert exact texts and never block.
// Installed on construction, uninstalled on destruction.
class ScriptedPrompter : public Prompter {
public:
    struct Call {
        QString kind; // "message", "input", "open", "save"
        QString text; // message text or input prompt
        QString title;
        Icon icon = Icon::None;
        Buttons buttons = Buttons::Ok;
        QString filter;
        QString defaultText; // input default, or save default suffix
    };

    ScriptedPrompter();
    ~ScriptedPrompter() override;

    // Answers used in order; when a queue is empty: Ok / Yes for messages (the first button),
    // cancelled for input and file dialogs.
    QQueue<Answer> answers;
    QQueue<QString> inputs;  // an input answered with a null QString is a cancel
    QQueue<QString> files;
    QList<Call> calls;

    QStringList messages() const; // the texts of the message calls, in order
    Call last() const { return calls.isEmpty() ? Call{} : calls.last(); }
    void clear() { calls.clear(); }

    Answer message(const QString &text, const QString &title, Icon icon, Buttons buttons) override;
    QString inputText(const QString &prompt, const QString &title, const QString &defaultText, bool *ok) override;
    QString openFile(const QString &title, const QString &filter, const QString &initialPath) override;
    QString saveFile(const QString &title, const QString &filter, const QString &defaultSuffix,
                     const QString &initialPath, bool askBeforeReplacing) override;
};
