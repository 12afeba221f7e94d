// Times (processor time) an export of a synthetic file repository against a bare copy of the same rows
// (one INSERT ... SELECT per table into an attached empty package), at 500, 2,000 and 8,000
// reports. The bare copy is SQLite moving whole records between files without decoding them;
// the export applies its rules, row by row where they need it (reports, categories, macros, data
// sources, users); from an SQLite repository the bulk child rows move set-based.
// Usage: bench_export [report counts...] (build with CMAKE_BUILD_TYPE=Release for real figures)
#include "SyntheticRepository.h"
#include "TestDb.h"
#include "repository/RepositorySession.h"
#include "repository/Sql.h"
#include "transfer/export/ExportRun.h"

#include <QCoreApplication>
#include <algorithm>
#include <QDir>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
#include <ctime>

namespace {

// Processor time of this process: the machine is shared, so wall time alone says little.
double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double bareCopy(const QString &repoPath, RepositorySession &session, const QString &packagePath)
{
    session.CreateDatabase(packagePath);
    double ms = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "bench-bare");
        db.setDatabaseName(repoPath);
        db.open();
        Sql::exec(db, QStringLiteral("Attach Database '%1' As pkg").arg(packagePath));
        const QStringList tables{"ZAT_Category", "ZAT_Sort", "ZAT_Report", "ZAT_ExcelSheetSettings", "ZAT_ReportCols",
                                 "ZAT_ReportDS", "ZAT_SQLViews", "ZAT_CategMacros", "ZAT_Macros", "ZAT_References",
                                 "ZAT_DataSource", "ZAT_Var", "ZAT_Dependences", "ZAT_Role", "ZAT_Role_Report",
                                 "ZAT_App", "ZAT_UserApp", "ZAT_UserApp_Role"};
        for (const QString &t : tables)
            Sql::exec(db, QStringLiteral("Delete From pkg.%1").arg(t));
        const double start = cpuMs();
        db.transaction();
        for (const QString &t : tables)
            Sql::exec(db, QStringLiteral("Insert Into pkg.%1 Select * From main.%1").arg(t));
        db.commit();
        ms = cpuMs() - start;
        db.close();
    }
    QSqlDatabase::removeDatabase("bench-bare");
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QList<int> sizes = SyntheticRepository::reportCounts(argc, argv);
    QTemporaryDir dir;
    QTextStream out(stdout);
    out << "(CPU time, medians of three paired runs)\nreports  export(ms)  again(ms)  bare copy(ms)  ratio  export per report(us)\n";
    for (int n : sizes) {
        // Medians of three paired runs, each on a repository of its own (the first export draws
        // the codes): a busy machine moves single figures by half.
        QList<double> exports, agains, bares;
        for (int r = 0; r < 3; ++r) {
            const QString repoPath = QDir(dir.path()).filePath(QStringLiteral("repo%1-%2.mdb").arg(n).arg(r));
            RepositorySession session;
            SyntheticRepository::createFile(session, repoPath, n);
            const ExportOptions options = SyntheticRepository::exportEverything(
                session, QDir(dir.path()).filePath(QStringLiteral("package%1-%2.mdb").arg(n).arg(r)));
            double start = cpuMs();
            ExportRun(session, options).run();
            exports << cpuMs() - start;
            // Again, now that every report has its code.
            start = cpuMs();
            ExportRun(session, options).run();
            agains << cpuMs() - start;
            session.ResetConnection();
            bares << bareCopy(repoPath, session, QDir(dir.path()).filePath(QStringLiteral("bare%1-%2.mdb").arg(n).arg(r)));
        }
        for (QList<double> *l : {&exports, &agains, &bares})
            std::sort(l->begin(), l->end());
        const double exportMs = exports.at(1), againMs = agains.at(1), bareMs = bares.at(1);
        out << QStringLiteral("%1  %2  %3  %4  %5  %6\n")
                   .arg(n, 7)
                   .arg(exportMs, 10, 'f', 1)
                   .arg(againMs, 9, 'f', 1)
                   .arg(bareMs, 13, 'f', 1)
                   .arg(exportMs / bareMs, 5, 'f', 1)
                   .arg(exportMs * 1000.0 / n, 21, 'f', 1);
        out.flush();
    }
    // With the test server configured, the same export from a PostgreSQL repository (wall time:
    // there the round trips count).
    if (TestDb::postgresAvailable()) {
        out << "\nPostgreSQL repository\nreports  export wall(ms)  per report(us)\n";
        for (int n : sizes) {
            RepositorySession session;
            TestDb::freshRepository(session, QStringLiteral("postgres"));
            SyntheticRepository::build(session.Connection(), n);
            const ExportOptions options = SyntheticRepository::exportEverything(
                session, QDir(dir.path()).filePath(QStringLiteral("pg-package%1.mdb").arg(n)));
            QElapsedTimer timer;
            timer.start();
            ExportRun(session, options).run();
            const double ms = timer.nsecsElapsed() / 1e6;
            out << QStringLiteral("%1  %2  %3\n").arg(n, 7).arg(ms, 16, 'f', 1).arg(ms * 1000.0 / n, 15, 'f', 1);
            out.flush();
        }
    }
    return 0;
}
