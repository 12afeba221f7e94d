#include "TransferRecording.h"

#include "export/ExportRows.h"
#include "export/ExportRun.h"
#include "import/ImportRun.h"
#include "repository/AppError.h"
#include "repository/PackageFile.h"
#include "repository/PackageIdentity.h"
#include "repository/RepositorySession.h"
#include "repository/Schema.h"
#include "repository/Sql.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace TransferRecording {

namespace {

QAtomicInt packageCounter;

// The package read back for names, codes and counts; a package that cannot be read leaves them out.
class PackageReader {
public:
    explicit PackageReader(const QString &path)
        : m_connection(QStringLiteral("velmora-log-package-%1").arg(packageCounter.fetchAndAddRelaxed(1) + 1))
    {
        try {
            m_db = PackageFile::openForReading(path, QString::fromLatin1(Schema::PackagePassword), m_connection);
        } catch (const AppError &) {
        }
    }
    ~PackageReader()
    {
        m_db = QSqlDatabase();
        PackageFile::close(m_connection);
    }
    bool isOpen() const { return m_db.isOpen(); }
    const QSqlDatabase &db() const { return m_db; }
    int count(const char *table) const
    {
        return Sql::scalar(m_db, QStringLiteral("Select Count(*) From %1").arg(QLatin1String(table))).toInt();
    }

private:
    QString m_connection;
    QSqlDatabase m_db;
};

struct ReportRow {
    QString name;
    QString code;
};

// Name and code of each report, read in chunks so that long id lists keep statements short.
QHash<int, ReportRow> reportRows(const QSqlDatabase &db, const QList<int> &ids)
{
    QHash<int, ReportRow> rows;
    for (const QList<int> &chunk : ExportRows::chunks(ids)) {
        QSqlQuery q = Sql::exec(db, QStringLiteral("Select IdReport, Name, SyncronizeCode From ZAT_Report Where IdReport ")
                                        + Sql::idList(chunk));
        while (q.next())
            rows.insert(Sql::integer(q, "IdReport"), {Sql::text(q, "Name"), Sql::text(q, "SyncronizeCode")});
    }
    return rows;
}

QList<int> unique(const QList<int> &ids)
{
    QList<int> out;
    QSet<int> seen;
    for (int id : ids)
        if (!seen.contains(id)) {
            seen.insert(id);
            out << id;
        }
    return out;
}

QString yesNo(bool value) { return value ? QStringLiteral("yes") : QStringLiteral("no"); }

QString choice(bool forReports, const QList<int> &ids)
{
    if (forReports)
        return QStringLiteral("for-reports");
    QStringList parts;
    for (int id : ids)
        parts << QString::number(id);
    return parts.isEmpty() ? QStringLiteral("none") : parts.join(QLatin1Char(','));
}

AppError describe(const std::exception &failure)
{
    if (const auto *known = dynamic_cast<const AppError *>(&failure))
        return *known;
    return AppError(ErrorNumber::Generic, QString::fromLocal8Bit(failure.what()));
}

TransferLog::Run begin(RepositorySession &session, const QString &direction, const QString &packagePath)
{
    TransferLog::Run r;
    r.started = QDateTime::currentDateTime();
    r.user = session.LoginName();
    r.direction = direction;
    r.packagePath = packagePath.isEmpty() ? packagePath : QFileInfo(packagePath).absoluteFilePath();
    return r;
}

void finish(RepositorySession &session, TransferLog::Run &r, TransferLog::Run *recorded,
            const HistoryFailure &historyFailure)
{
    r.finished = QDateTime::currentDateTime();
    try {
        TransferLog::record(session.Connection(), r);
    } catch (const std::exception &e) {
        if (historyFailure)
            historyFailure(AppError(ErrorNumber::Database,
                                    QStringLiteral("The transfer history could not be written: ") + describe(e).description));
    }
    if (recorded)
        *recorded = r;
}

const QString Completed = QStringLiteral("Operation completed successfully.");

QString finishedMessage(const QStringList &warnings)
{
    return warnings.isEmpty() ? Completed : Completed + QLatin1Char(' ') + warnings.join(QLatin1Char(' '));
}

} // namespace

QString optionsText(const ExportOptions &o)
{
    return QStringLiteral("reports=%1 folders=%2 macros=%3 data-sources=%4 roles=%5 users=%6")
        .arg(unique(o.reportIds).size())
        .arg(yesNo(o.folders), choice(o.macroMode == ExportOptions::MacroMode::ForReports, o.macroIds),
             choice(o.dataSourceMode == ExportOptions::DataSourceMode::ForReports, o.dataSourceIds), yesNo(o.roles),
             yesNo(o.users));
}

QString optionsText(const ImportOptions &o)
{
    return QStringLiteral("category=%1 reports=%2 folders=%3 data-sources=%4 macros=%5 roles=%6 users=%7 sync=%8")
        .arg(o.idCategDest)
        .arg(unique(o.reportIds).size())
        .arg(yesNo(o.folders),
             choice(o.dataSources == ImportOptions::Choice::ForReports, o.dataSourceIds),
             choice(o.macros == ImportOptions::Choice::ForReports, o.macroIds), yesNo(o.roles), yesNo(o.users))
        .arg(o.syncPairs.size());
}

void runExport(RepositorySession &session, ExportRun &run, const ExportOptions &options, TransferLog::Run *recorded,
               const HistoryFailure &historyFailure)
{
    TransferLog::Run r = begin(session, TransferLog::Export, options.packagePath);
    r.packageIdentity = run.packageIdentity;
    r.options = optionsText(options);
    // The macro step's failures do not end the run; the history names them beside the outcome.
    QStringList warnings;
    const auto stepFailure = run.onStepFailure;
    run.onStepFailure = [&](const AppError &e, const QString &origin) {
        warnings << origin + QStringLiteral(": ") + e.description;
        if (stepFailure)
            stepFailure(e, origin);
    };
    struct Restore {
        ExportRun &run;
        decltype(ExportRun::onStepFailure) previous;
        ~Restore() { run.onStepFailure = previous; }
    } restore{run, stepFailure};

    auto addLines = [&](const QString &action) {
        // The package keeps the repository's ids; codes are read after the run, which may have given them.
        const QList<int> ids = unique(options.reportIds);
        QHash<int, ReportRow> rows;
        try {
            rows = reportRows(session.Connection(), ids);
        } catch (const AppError &) {
        }
        for (int id : ids) {
            const ReportRow row = rows.value(id);
            r.lines << TransferLog::Line{id, row.code, row.name, 0, action};
        }
    };
    try {
        run.run();
    } catch (const std::exception &failure) {
        r.outcome = TransferLog::Failed;
        r.message = describe(failure).description;
        addLines(QStringLiteral("not exported"));
        finish(session, r, recorded, historyFailure);
        throw;
    }
    r.outcome = TransferLog::Finished;
    r.message = finishedMessage(warnings);
    addLines(QStringLiteral("exported"));
    const PackageReader package(options.packagePath);
    if (package.isOpen()) {
        try {
            r.counts = {package.count("ZAT_Report"), package.count("ZAT_DataSource"), package.count("ZAT_Var"),
                        package.count("ZAT_CategMacros"), package.count("ZAT_Macros"), package.count("ZAT_Role"),
                        package.count("ZAT_App"), package.count("ZAT_UserApp")};
        } catch (const AppError &) {
        }
    }
    finish(session, r, recorded, historyFailure);
}

void runImport(RepositorySession &session, ImportRun &run, const ImportOptions &options, TransferLog::Run *recorded,
               const HistoryFailure &historyFailure)
{
    TransferLog::Run r = begin(session, TransferLog::Import, options.packagePath);
    r.options = optionsText(options);
    auto addLines = [&](bool finished) {
        const QList<int> ids = unique(options.reportIds);
        QHash<int, ReportRow> rows;
        const PackageReader package(options.packagePath);
        if (package.isOpen()) {
            try {
                r.packageIdentity = PackageIdentity::read(package.db());
                rows = reportRows(package.db(), ids);
            } catch (const AppError &) {
            }
        }
        for (int id : ids) {
            const ReportRow row = rows.value(id);
            const int destination = finished ? run.reportMap.value(id) : 0;
            const QString action = !finished             ? QStringLiteral("not imported")
                                   : destination == 0    ? QStringLiteral("left unchanged")
                                   : run.synchronised(id) ? QStringLiteral("overwrite")
                                                                    : QStringLiteral("add");
            r.lines << TransferLog::Line{id, row.code, row.name, destination, action};
        }
    };
    try {
        run.run();
    } catch (const std::exception &failure) {
        // The import has rolled its rows back by now: the history row is written on its own.
        r.outcome = TransferLog::Failed;
        r.message = describe(failure).description;
        addLines(false);
        finish(session, r, recorded, historyFailure);
        throw;
    }
    r.outcome = TransferLog::Finished;
    // Rows left out or partners left unchanged are part of the outcome, not a quiet success.
    QStringList warnings;
    for (const ImportRun::HeldReport &h : std::as_const(run.heldReports))
        warnings << ImportRun::heldText(h);
    if (run.skippedRows > 0)
        warnings << QStringLiteral("%1 row(s) were left out.").arg(run.skippedRows);
    r.message = warnings.isEmpty() ? Completed : QStringLiteral("Operation completed with warnings: ") + warnings.join(QLatin1Char(' '));
    addLines(true);
    r.counts = {int(run.reportMap.size()), int(run.dataSourceMap.size()), int(run.varMap.size()),
                int(run.macroCategMap.size()), int(run.macroMap.size()), int(run.roleMap.size()),
                int(run.appMap.size()), int(run.userMap.size())};
    finish(session, r, recorded, historyFailure);
}

} // namespace TransferRecording
