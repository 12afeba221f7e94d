#pragma once

#include "ReportParameters.h"

#include <QSqlDatabase>
#include <QString>

struct ReportDefinition;

// Produces report workbooks (.xlsx) and text files (type "Text", tab-separated UTF-8): opens the
// report's data source, asks its variables through the installed ReportParameterPrompter, runs
// its SQL view with the answers bound by name and streams the rows into the file. The file is
// written beside its destination under a temporary name and moved into place only when it is
// complete, so a failure never leaves a half-written file where the destination was.
//
// What the entries do:
//  - OpenReport (id, show): a new workbook in the temporary folder, named after the report and
//    the time, opened when `show`; the report's destination is not touched.
//  - Generate (id, show, intoExisting, save, 0): writes the report's destination file (or, with
//    `save` false, a new file in the temporary folder) and opens it when `show`. A workbook is
//    always rewritten whole: `intoExisting` keeps the destination's name and place, which is
//    also what happens without it, so it changes nothing in the file written.
//  - OpenInExisting (id): opens the workbook already at the destination; when there is none yet
//    it is generated first.
//  - ImportDocument (category, 0, 0, path, connection): registers a document file as a new
//    report of the category (type "Exchange", destination = the file) and returns its id.
class ReportEngine {
public:
    virtual ~ReportEngine() = default;
    virtual void Init(const QSqlDatabase &connection, int companyId);

    int companyId() const { return m_companyId; }
    bool isInitialised() const { return m_initialised; }

    // Not owned; nullptr: variables take their defaults and nothing is opened or asked.
    void setParameterPrompter(ReportParameterPrompter *prompter) { m_prompter = prompter; }
    ReportParameterPrompter *parameterPrompter() const { return m_prompter; }

    // The path written; empty when the person cancelled.
    QString OpenReport(int reportId, bool show);
    // True when the file was written.
    bool Generate(int reportId, bool show, bool intoExisting, bool save, int reserved = 0);
    void OpenInExisting(int reportId);
    // New report id; 0 when nothing was imported (empty path).
    int ImportDocument(int categoryId, int reserved1, int reserved2, const QString &path,
                       const QSqlDatabase &connection);

    // The report's destination as it will be written: a relative path is taken under the
    // company's file-server folder, or the user's documents folder when none is set; a workbook
    // gets the ".xlsx" suffix; an empty path becomes the report's name.
    QString DestinationPath(int reportId);

    // Runs a report into `outputPath` (empty: the destination, asked when the report wants it
    // chosen at run time) with `prompter` answering. Returns the path written, empty when cancelled.
    QString Run(int reportId, const QString &outputPath, ReportParameterPrompter &prompter);

    QString lastOutputPath() const { return m_lastOutput; }

protected:
    QSqlDatabase repository() const;
    QString destinationOf(const ReportDefinition &def);
    QString scratchPath(const ReportDefinition &def);

    QSqlDatabase m_connection;
    int m_companyId = 0;
    bool m_initialised = false;
    ReportParameterPrompter *m_prompter = nullptr;
    QString m_lastOutput;
};
