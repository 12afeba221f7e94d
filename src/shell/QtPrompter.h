#pragma once

#include "Prompter.h"

#include <QStringList>

class QtPrompter : public Prompter {
public:
    Answer message(const QString &text, const QString &title, Icon icon, Buttons buttons) override;
    QString inputText(const QString &prompt, const QString &title, const QString &defaultText, bool *ok) override;
    QString openFile(const QString &title, const QString &filter, const QString &initialPath) override;
    QString saveFile(const QString &title, const QString &filter, const QString &defaultSuffix,
                     const QString &initialPath, bool askBeforeReplacing) override;

    // "Text files (*.txt)|*.txt|All (*.*)|*.*" -> Qt's "Text files (*.txt);;All (*.*)"
    static QString qtFilter(const QString &filter);
    // Carriage returns (with or without line feeds) become line breaks.
    static QString displayText(const QString &text);
};
