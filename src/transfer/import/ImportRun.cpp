#include "ImportRunInternal.h"
#include "RowBatches.h"

#include "repository/PackageFile.h"
#include "repository/Schema.h"
#include "transfer/TransferProgress.h"

#include <QAtomicInt>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>

#include <sqlite3.h>

// ---- the run

namespace {
// The server-wide key of the import's lock ("velmora" in ASCII).
constexpr qint64 ImportLockKey = 0x76656c6d6f7261;

// The run writes inside one transaction: committed when the run completes, rolled back when it
// fails, so that a failed run leaves the repository exactly as it was. On PostgreSQL the macro
// step's statements have savepoints of their own, so a row it skips does not end the transaction.
class RunTransaction {
public:
    explicit RunTransaction(const QSqlDatabase &db) : m_db(db)
    {
        // One import at a time per repository, and from its start: what the run finds by name or
        // code must not be added by another run meanwhile (on SQLite the new rows' ids also
        // follow the largest ones). Two consoles importing at once wait for each other.
        if (Sql::isPostgres(m_db)) {
            m_active = m_db.transaction();
            if (m_active) {
                QSqlQuery lock(m_db);
                if (!lock.exec(QStringLiteral("Select pg_advisory_xact_lock(%1)").arg(ImportLockKey))) {
                    const QString why = lock.lastError().text();
                    m_db.rollback();
                    throw AppError(ErrorNumber::Database, QStringLiteral("The import could not begin a transaction: ") + why);
                }
            }
        } else {
            QSqlQuery begin(m_db);
            m_active = begin.exec(QStringLiteral("Begin Immediate"));
            if (!m_active)
                throw AppError(ErrorNumber::Database,
                               QStringLiteral("The import could not begin a transaction: ") + begin.lastError().text());
        }
        if (!m_active)
            throw AppError(ErrorNumber::Database,
                           QStringLiteral("The import could not begin a transaction: ") + m_db.lastError().text());
    }
    // After a completed run: a commit that fails is the run's failure, not a success.
    void commit()
    {
        if (!m_active)
            return;
        m_active = false;
        if (!m_db.commit()) {
            const QString why = m_db.lastError().text();
            m_db.rollback();
            throw AppError(ErrorNumber::Database, QStringLiteral("The imported rows could not be saved: ") + why);
        }
    }
    ~RunTransaction()
    {
        if (m_active)
            m_db.rollback();
    }

private:
    QSqlDatabase m_db;
    bool m_active = false;
};

QAtomicInt packageConnectionCounter;
}

ImportRun::ImportRun(const QSqlDatabase &destination, ImportOptions options, TransferProgress *progress,
                     Warning warning)
    : m_db(destination), m_opt(std::move(options)), m_progress(progress), m_warning(std::move(warning)),
      m_pkg(new Package), m_postgres(Sql::isPostgres(destination))
{
}

ImportRun::~ImportRun()
{
    finalizeRaw();
    delete m_pkg;
}

int ImportRun::percent(int value, int maximum)
{
    if (maximum <= 0)
        return 0;
    const long long n = 100LL * value;
    long long q = n / maximum;
    const long long r2 = 2 * (n % maximum);
    if (r2 > maximum || (r2 == maximum && (q % 2) != 0))
        ++q;
    return int(q);
}

void ImportRun::setStatus(const QString &text)
{
    if (m_progress) {
        m_progress->status(text);
        m_progress->yield();
    }
}

void ImportRun::setValue(int value)
{
    m_value = value;
    if (m_progress)
        m_progress->progress(value, m_maximum);
}

void ImportRun::run()
{
    const QString connection = QStringLiteral("velmora-import-%1").arg(packageConnectionCounter.fetchAndAddRelaxed(1));
    {
        QSqlDatabase package = PackageFile::openForReading(m_opt.packagePath,
                                                           QString::fromLatin1(Schema::PackagePassword), connection);
        try {
            run(package);
        } catch (...) {
            package = QSqlDatabase();
            PackageFile::close(connection);
            throw;
        }
    }
    PackageFile::close(connection);
}

void ImportRun::chooseDataSources()
{
    if (m_opt.dataSources == ImportOptions::Choice::ForReports) {
        QSet<int> seen;
        for (int id : m_opt.reportIds)
            for (int ds : m_pkg->reports.value(id).linkDataSources)
                if (ds != 0) // no data source is no data source to import
                    seen.insert(ds);
        dataSourcesUsed = QList<int>(seen.cbegin(), seen.cend());
        std::sort(dataSourcesUsed.begin(), dataSourcesUsed.end());
    } else {
        dataSourcesUsed.clear();
        QSet<int> seen;
        for (int id : m_opt.dataSourceIds)
            if (!seen.contains(id)) {
                seen.insert(id);
                dataSourcesUsed << id;
            }
    }
}

void ImportRun::run(const QSqlDatabase &package)
{
    if (!m_db.isOpen())
        throw AppError(ErrorNumber::NotConnected, QStringLiteral("The repository is not connected."));
    if (!m_postgres && m_db.driver()) {
        const QVariant handle = m_db.driver()->handle();
        if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
            m_raw = *static_cast<sqlite3 *const *>(handle.constData());
    }
    PackageFile::checkValues(package, m_postgres);
    // The package stays open for the reports' rows, and no longer than the run.
    struct Release {
        ImportRun *run;
        ~Release() { run->m_package = QSqlDatabase(); }
    } release{this};
    loadPackage(package);

    const int k = int(m_opt.reportIds.size());
    m_maximum = k + 4;
    setValue(0);
    setStatus(QStringLiteral("1% Importing data sources ..."));
    setValue(m_value + 1);

    chooseDataSources();
    validate();
    RunTransaction transaction(m_db);
    {
        QSqlQuery q = Sql::exec(m_db, QStringLiteral("Select SyncronizeCode From ZAT_Report Where SyncronizeCode Is Not Null"));
        while (q.next())
            m_takenCodes.insert(q.value(0).toString().trimmed());
    }
    m_batches = std::make_unique<RowBatches>(m_db);
    // Statements left open would keep the connection from closing after the run.
    struct Finalize {
        ImportRun *run;
        ~Finalize()
        {
            run->finalizeRaw();
            run->m_batches.reset();
        }
    } finalize{this};
    // A failure names where it happened (a queued row, the step that queued it); the
    // transaction then takes back everything.
    const auto step = [&](const QString &what, auto &&work) {
        m_table.clear();
        m_context = what;
        m_failedContext.clear();
        try {
            work();
        } catch (const AppError &e) {
            AppError named = e;
            named.description = (m_failedContext.isEmpty() ? what : m_failedContext)
                + (m_table.isEmpty() ? QString() : QStringLiteral(", table ") + m_table) + QStringLiteral(": ")
                + e.description;
            throw named;
        }
    };
    step(QStringLiteral("Importing data sources"), [&] {
        ImportDataSources();
        flushRows();
    });
    int m = 0;
    for (const QList<int> &chunk : ExportRows::chunks(m_opt.reportIds)) {
        loadReportRows(chunk);
        for (int id : chunk) {
            setValue(++m);
            step(QStringLiteral("Report '%1' (%2)").arg(m_pkg->reports.value(id).name).arg(id), [&] {
                const int dest = ImportReport(id);
                if (dest != 0) // 0: a partner another user holds checked out
                    reportMap.insert(id, dest);
            });
        }
    }
    loadReportRows({});
    step(QStringLiteral("Importing reports"), [&] { flushRows(); });
    setStatus(QStringLiteral("97% Importing excel macros ..."));
    setValue(m_value + 1);
    step(QStringLiteral("Importing excel macros"), [&] { ImportMacros(); });
    if (m_opt.roles) {
        setStatus(QStringLiteral("98% Importing security roles ..."));
        setValue(m_value + 1);
        step(QStringLiteral("Importing security roles"), [&] {
            ImportRoles();
            flushRows();
        });
    }
    if (m_opt.users) {
        setStatus(QStringLiteral("99% Importing users ..."));
        setValue(m_value + 1);
        step(QStringLiteral("Importing users"), [&] {
            ImportUsers();
            flushRows();
        });
    }
    transaction.commit();
}
