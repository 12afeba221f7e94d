#pragma once

#include <QString>

// How a long transfer run reports what it is doing. The dialogs implement it with their status
// bar and progress bar, the command-line tool with lines on stderr.
class TransferProgress {
public:
    virtual ~TransferProgress() = default;
    virtual void status(const QString &text) = 0;
    virtual void progress(int value, int maximum) = 0;
    // Called between steps so that a window can repaint.
    virtual void yield() = 0;
};
