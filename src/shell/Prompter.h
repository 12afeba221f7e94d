#pragma once

#include <QString>

// The one seam between the console's logic and the person: every message box, question, input
// box and file dialog goes through prompter(). The Qt implementation shows real dialogs; tests
// install a scripted one that records each call and returns queued answers.
class Prompter {
public:
    enum class Icon { None, Information, Exclamation, Critical, Question };
    enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
    enum class Answer { Ok, Cancel, Yes, No, Retry };

    virtual ~Prompter() = default;

    // Text built with carriage returns is passed as built; the Qt implementation shows each
    // part on its own line.
    virtual Answer message(const QString &text, const QString &title, Icon icon = Icon::None,
                           Buttons buttons = Buttons::Ok) = 0;
    // ok is false when the user cancelled (the text is then empty).
    virtual QString inputText(const QString &prompt, const QString &title, const QString &defaultText,
                              bool *ok = nullptr) = 0;
    // Filters are given as "Description (*.ext)|*.ext|..."; an empty result means cancelled.
    virtual QString openFile(const QString &title, const QString &filter, const QString &initialPath = {}) = 0;
    // askBeforeReplacing false: the dialog takes an existing file without a question, because
    // the caller asks its own (through message) after checking what the file is.
    virtual QString saveFile(const QString &title, const QString &filter, const QString &defaultSuffix,
                             const QString &initialPath = {}, bool askBeforeReplacing = true) = 0;
};

Prompter &prompter();
// Installs p (not owned) as the current prompter; nullptr restores the Qt implementation.
void setPrompter(Prompter *p);

// The application title used as the title of most message boxes.
inline const QString AppTitle = QStringLiteral("Velmora");
