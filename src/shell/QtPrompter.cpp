#include "QtPrompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

static QtPrompter qtPrompter;
static Prompter *current = nullptr;

Prompter &prompter() { return current ? *current : qtPrompter; }
void setPrompter(Prompter *p) { current = p; }

QString QtPrompter::displayText(const QString &text)
{
    QString s = text;
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

QString QtPrompter::qtFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i < parts.size(); i += 2) {
        const QString label = parts[i];
        const QString pattern = i + 1 < parts.size() ? parts[i + 1] : QString();
        if (label.contains(QLatin1Char('(')) || pattern.isEmpty())
            out << label;
        else
            out << QStringLiteral("%1 (%2)").arg(label, QString(pattern).replace(QLatin1Char(';'), QLatin1Char(' ')));
    }
    return out.join(QStringLiteral(";;"));
}

Prompter::Answer QtPrompter::message(const QString &text, const QString &title, Icon icon, Buttons buttons)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title);
    box.setText(displayText(text));
    switch (icon) {
    case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case Icon::Critical: box.setIcon(QMessageBox::Critical); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    }
    switch (buttons) {
    case Buttons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case Buttons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case Buttons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case Buttons::YesNoCancel: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel); break;
    case Buttons::RetryCancel: box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel); break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Retry: return Answer::Retry;
    default: return Answer::Cancel;
    }
}

QString QtPrompter::inputText(const QString &prompt, const QString &title, const QString &defaultText, bool *ok)
{
    bool accepted = false;
    const QString text = QInputDialog::getText(QApplication::activeWindow(), title, displayText(prompt),
                                               QLineEdit::Normal, defaultText, &accepted);
    if (ok)
        *ok = accepted;
    return accepted ? text : QString();
}

QString QtPrompter::openFile(const QString &title, const QString &filter, const QString &initialPath)
{
    return QFileDialog::getOpenFileName(QApplication::activeWindow(), title, initialPath, qtFilter(filter));
}

QString QtPrompter::saveFile(const QString &title, const QString &filter, const QString &defaultSuffix,
                             const QString &initialPath, bool askBeforeReplacing)
{
    QFileDialog dialog(QApplication::activeWindow(), title, initialPath, qtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !askBeforeReplacing);
    QString suffix = defaultSuffix;
    suffix.remove(QLatin1Char('*')).remove(QLatin1Char('.'));
    if (!suffix.isEmpty()) {
        // The suffix belongs to its filter: with "All files" chosen a name stays as typed.
        const QString pattern = QStringLiteral("*.") + suffix;
        auto follow = [&dialog, suffix, pattern](const QString &chosen) {
            dialog.setDefaultSuffix(chosen.contains(pattern, Qt::CaseInsensitive) ? suffix : QString());
        };
        follow(dialog.selectedNameFilter());
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, follow);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}
