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
#include <algorithm>
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
    out << "(medians of three paired runs)\nreports  import(ms)  bare copy(ms)  ratio  import per report(us)  plan(ms)  plan again(ms)\n";
    for (int n : sizes) {
        const QString repoPath = QDir(dir.path()).filePath(QStringLiteral("repo%1.mdb").arg(n));
        const QString packagePath = QDir(dir.path()).filePath(QStringLiteral("package%1.mdb").arg(n));
        {
            RepositorySession source;
            SyntheticRepository::createFile(source, repoPath, n);
            ExportRun(source, SyntheticRepository::exportEverything(source, packagePath)).run();
        }

        const ImportOptions options = SyntheticRepository::importEverything(packagePath);
        // Medians of three paired runs (import, then the bare copy, into fresh files): a busy
        // machine moves single figures by half.
        QList<double> imports, bares;
        double planMs = 0, againMs = 0;
        for (int r = 0; r < 3; ++r) {
            const QString destPath = QDir(dir.path()).filePath(QStringLiteral("dest%1-%2.mdb").arg(n).arg(r));
            RepositorySession dest;
            dest.CreateDatabase(destPath);
            dest.OpenFile(destPath);
            QElapsedTimer timer;
            timer.start();
            PlanImport(dest.Connection(), options);
            planMs = timer.nsecsElapsed() / 1e6;
            timer.restart();
            ImportRun(dest.Connection(), options).run();
            imports << timer.nsecsElapsed() / 1e6;
            // Everything in place now: every row is looked up and reused.
            timer.restart();
            PlanImport(dest.Connection(), options);
            againMs = timer.nsecsElapsed() / 1e6;
            dest.ResetConnection();
            bares << bareCopy(packagePath, QDir(dir.path()).filePath(QStringLiteral("bare%1-%2.mdb").arg(n).arg(r)));
        }
        std::sort(imports.begin(), imports.end());
        std::sort(bares.begin(), bares.end());
        const double importMs = imports.at(1), bareMs = bares.at(1);
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
