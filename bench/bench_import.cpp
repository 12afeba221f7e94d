// Times the import of a package exported from a synthetic file repository into an empty file
// repository, against a bare copy of the same rows (one INSERT ... SELECT per table from the
// attached package), at 500, 2,000 and 8,000 reports. Usage: bench_import [report counts...]
#include "SyntheticRepository.h"

#include "repository/RepositorySession.h"
#include "repository/Sql.h"
#include "transfer/export/ExportRun.h"
#include "transfer/import/ImportPlan.h"
#include "transfer/import/ImportRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

double bareCopy(const QString &packagePath, const QString &destPath)
{
    RepositorySession creator;
    creator.CreateDatabase(destPath);
    double ms = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "bench-bare");
        db.setDatabaseName(destPath);
        db.open();
        Sql::exec(db, QStringLiteral("Attach Database '%1' As pkg").arg(packagePath));
        for (const QString &t : SyntheticRepository::copiedTables())
            Sql::exec(db, QStringLiteral("Delete From main.%1").arg(t));
        QElapsedTimer timer;
        timer.start();
        db.transaction();
        for (const QString &t : SyntheticRepository::copiedTables())
            Sql::exec(db, QStringLiteral("Insert Into main.%1 Select * From pkg.%1").arg(t));
        db.commit();
        ms = timer.nsecsElapsed() / 1e6;
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
    out << "reports  import(ms)  bare copy(ms)  ratio  import per report(us)  plan(ms)  plan again(ms)\n";
    for (int n : sizes) {
        const QString repoPath = QDir(dir.path()).filePath(QStringLiteral("repo%1.mdb").arg(n));
        const QString packagePath = QDir(dir.path()).filePath(QStringLiteral("package%1.mdb").arg(n));
        {
            RepositorySession source;
            SyntheticRepository::createFile(source, repoPath, n);
            ExportRun(source, SyntheticRepository::exportEverything(source, packagePath)).run();
        }

        const ImportOptions options = SyntheticRepository::importEverything(packagePath);
        const QString destPath = QDir(dir.path()).filePath(QStringLiteral("dest%1.mdb").arg(n));
        RepositorySession dest;
        dest.CreateDatabase(destPath);
        dest.OpenFile(destPath);
        QElapsedTimer timer;
        timer.start();
        PlanImport(dest.Connection(), options);
        const double planMs = timer.nsecsElapsed() / 1e6;
        timer.restart();
        ImportRun(dest.Connection(), options).run();
        const double importMs = timer.nsecsElapsed() / 1e6;
        // Everything in place now: every row is looked up and reused.
        timer.restart();
        PlanImport(dest.Connection(), options);
        const double againMs = timer.nsecsElapsed() / 1e6;
        dest.ResetConnection();
        const double bareMs = bareCopy(packagePath, QDir(dir.path()).filePath(QStringLiteral("bare%1.mdb").arg(n)));
        out << QStringLiteral("%1  %2  %3  %4  %5  %6  %7\n")
                   .arg(n, 7)
                   .arg(importMs, 10, 'f', 1)
                   .arg(bareMs, 13, 'f', 1)
                   .arg(importMs / bareMs, 5, 'f', 1)
                   .arg(importMs * 1000.0 / n, 21, 'f', 1)
                   .arg(planMs, 8, 'f', 1)
                   .arg(againMs, 14, 'f', 1);
        out.flush();
    }
    return 0;
}
