#pragma once

#include <QString>

// How the export and import runs report progress: the dialogs show it in their status bar and
// progress bar, the command-line tool on stderr.
class TransferProgress {
public:
    virtual ~TransferProgress() = default;
    virtual void status(const QString &) = 0;
    virtual void progress(int value, int maximum) = 0;
    virtual void yield() = 0;
};
