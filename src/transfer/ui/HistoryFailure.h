#pragma once

#include "repository/AppError.h"
#include "shell/ErrorBox.h"
#include "transfer/TransferRecording.h"

// A run the history could not record still did its work: the error box says so after the run.
inline void HistoryFailure(const AppError &error) { ShowError(error, QStringLiteral("TransferLog")); }
