#pragma once

#include "repository/AppError.h"
#include "transfer/TransferProgress.h"

#include <QList>
#include <QString>

// Status lines of a run go to stderr; a command-line run has no progress bar to move.
class StderrProgress : public TransferProgress {
public:
    void status(const QString &text) override;
    void progress(int, int) override {}
    void yield() override {}
};

// The four lines of an error, as the console's error box shows them.
QString ErrorLines(const AppError &e, const QString &origin);

// Appends the ids of a comma-separated list to ids, each once; false when a part is no number.
bool ParseIds(const QString &text, QList<int> &ids);
