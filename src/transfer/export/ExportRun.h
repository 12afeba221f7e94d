#pragma once

#include "ExportOptions.h"
#include "ExportRows.h"
#include "repository/AppError.h"
#include "repository/PackageIdentity.h"

#include <QHash>
#include <QJsonArray>
#include <QList>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

class RepositorySession;
class TransferProgress;

// The macros a report uses: its references of kind "r" and, through references of kind "m",
// every macro those use in turn (each once, loops included). Texts "id#$#name".
QStringList GetReportMacros(const QSqlDatabase &db, int reportId);

// The same for many reports at once, in order: each report's macros, then what they use.
QList<int> ReportMacroIds(const QSqlDatabase &db, const QList<int> &reportIds);

// Every macro reachable from start through references of kind "m", start first.
QList<int> MacroDependences(const QSqlDatabase &db, int start);

// One export run: creates the package, copies the chosen reports with their rows and folders,
// then macros, data sources, roles and users. The package is written under a temporary name in
// one transaction and takes the target's place only when complete; new codes reach the
// repository only then. A failed run leaves the target and the repository as they were.
class ExportRun {
public:
    ExportRun(RepositorySession &session, ExportOptions options, TransferProgress *progress = nullptr);
    ~ExportRun();

    // Throws the first failure of the report, data-source, role or user steps.
    void run();

    // The macro step does not end the run; its failures are handed here (origin "ExportMacros()").
    std::function<void(const AppError &, const QString &origin)> onStepFailure;

    // For the caller, after run(): the macros and data sources the run chose.
    QList<int> macroIds() const { return m_macroIds; }
    QList<int> dataSourceIds() const { return m_dataSourceIds; }

    // Written into the package's marker, so that its imports can be traced back to this run.
    QString packageIdentity = PackageIdentity::create();

    // Source of the random draws for new codes (tests); the system's random source by default.
    std::function<double()> codeDraw;

    static const QString PackagePassword;

private:
    void preparePackage();
    void exportReports();
    void exportReport(int reportId, const ExportRows::Row *report);
    void copyCategoryChain(int categoryId);
    void commitPackage();
    void writeBackCodes();
    void writeBackCodesOnce();
    void closePackage();
    bool attachRepository();
    QString sourceColumn(const QString &table, const QString &column, const QString &fallback);
    void copyReportChildren(const QList<int> &reportIds);
    QStringList childCopyStatements();
    void copyReportRows();
    QString sourceText(const QString &table, const QString &column);
    QString sourceNumber(const QString &table, const QString &column, int fallback = 0);
    std::vector<QSqlQuery> preparePackageStatements(const QStringList &texts);
    bool bulkCopy(const QString &sql);
    bool sourceHasTable(const QString &table);
    void exportMacros();
    void exportDataSources();
    void copyDependences(int varId);
    void exportRoles();
    void exportUsers();
    QList<int> grantedRoleIds();

    void setProgress(int value);
    void status(const QString &text);
    void yield();

    RepositorySession &m_session;
    ExportOptions m_options;
    TransferProgress *m_progress;
    QSqlDatabase m_repo;
    QSqlDatabase m_package;
    QString m_packageConnection;
    std::unique_ptr<ExportRows::Writer> m_writer;
    int m_value = 0;
    int m_maximum = 0;

    // What the package holds, so that nothing is appended twice.
    QSet<int> m_reports, m_categories, m_categorySorts, m_chainDone, m_views;
    QSet<int> m_dataSources, m_vars, m_dependences, m_varsWalked, m_grants, m_roles;
    QHash<int, QList<ExportRows::Row>> m_dependencesOf; // IdVar -> its rows, loaded ahead
    QSet<QString> m_newCodes;
    QStringList m_freshCodes; // drawn ahead for the current chunk's reports without a code
    QList<QPair<int, QString>> m_pendingCodes; // written back to the repository in batches
    QList<int> m_macroIds, m_dataSourceIds;
    QList<int> m_roleIds;
    bool m_roleIdsRead = false;
    bool m_stepFailed = false; // the macro step reported a failure
    // An SQLite repository attached to the package connection: bulk child rows move set-based.
    bool m_setBased = false;
    QHash<QString, QStringList> m_sourceColumns; // table -> its columns in the repository
    std::vector<QSqlQuery> m_childCopies; // prepared on the first chunk, for every chunk
    // With bulk copies, the chunk's report rows: [IdReport, IdCateg, code, Modified] each.
    bool m_bulkReports = false;
    QJsonArray m_reportRows;
    std::vector<QSqlQuery> m_reportCopy; // prepared on the first chunk
    // Folders and their "c" sort rows (the first of each), read on the first folder exported.
    QHash<int, ExportRows::Row> m_categoryRows, m_categorySortRows;
    bool m_categoryRowsRead = false;

    // Rows of the current chunk of reports, by IdReport.
    QHash<int, ExportRows::Row> m_settings, m_sort;
    QHash<int, QList<ExportRows::Row>> m_columns, m_links;
    QHash<int, ExportRows::Row> m_viewRows; // by IdSQLView
};
