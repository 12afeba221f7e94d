#pragma once

#include "TransferLog.h"

#include <functional>

class AppError;
class ExportRun;
class ImportRun;
class RepositorySession;
struct ExportOptions;
struct ImportOptions;

// Runs an export or an import and adds it to the repository's transfer history, whether it
// finishes or fails. A failure of the run passes on unchanged once its row is written (after an
// import's rollback, so the row stays). A history that cannot be written never turns a run into
// a failure: it goes to historyFailure. recorded, when given, receives what was recorded.
namespace TransferRecording {

using HistoryFailure = std::function<void(const AppError &)>;

void runExport(RepositorySession &session, ExportRun &run, const ExportOptions &options,
               TransferLog::Run *recorded = nullptr, const HistoryFailure &historyFailure = {});
void runImport(RepositorySession &session, ImportRun &run, const ImportOptions &options,
               TransferLog::Run *recorded = nullptr, const HistoryFailure &historyFailure = {});

// The options as the history keeps them: "name=value" words.
QString optionsText(const ExportOptions &options);
QString optionsText(const ImportOptions &options);

} // namespace TransferRecording
