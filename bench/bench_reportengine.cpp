// Generates a 10-column workbook from a SQLite data source at 20,000 and 200,000 rows and prints
// the time next to the bare query's time, and the peak memory of each run. Each run is a child
// process of its own, so its peak is its own.
#include "ReportFixtures.h"

#include "reportengine/ReportEngine.h"
#include "repository/RepositorySession.h"
#include "repository/Sql.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/resource.h>

static const char *ViewSql =
    "Select Id, Name, Region, Qty, Amount, Price, SoldOn, Note, Code, Ratio From Sales Where Id <= :Rows Order By Id";

static double cpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

static long peakKiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

static void makeData(const QString &path, int rows)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-data"));
        db.setDatabaseName(path);
        db.open();
        Sql::exec(db, "Create Table Sales (Id integer primary key, Name text, Region text, Qty integer, Amount real, "
                      "Price real, SoldOn text, Note text, Code text, Ratio real)");
        db.transaction();
        QSqlQuery q(db);
        q.prepare("Insert Into Sales Values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        const QStringList regions = {"North", "South", "East", "West"};
        const QDate start(2020, 1, 1);
        for (int i = 1; i <= rows; ++i) {
            q.addBindValue(i);
            q.addBindValue(QStringLiteral("Customer %1").arg(i));
            q.addBindValue(regions[i % 4]);
            q.addBindValue(i % 97);
            q.addBindValue(i * 1.25);
            q.addBindValue(9.99 + i % 13);
            q.addBindValue(start.addDays(i % 1500).toString(Qt::ISODate));
            q.addBindValue(QStringLiteral("Note for row %1 with some text").arg(i));
            q.addBindValue(QStringLiteral("C%1").arg(i % 1000, 4, 10, QLatin1Char('0')));
            q.addBindValue(i / 7.0);
            q.exec();
        }
        db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-data"));
}

// One run: the bare query (every value read), then the workbook; prints "query_ms write_ms peak_kib".
static int child(const QString &repoPath, int reportId, int rows, const QString &out, const QString &dataPath)
{
    double queryMs = 0;
    double queryCpuMs = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bare"));
        db.setDatabaseName(dataPath);
        db.open();
        QElapsedTimer t;
        t.start();
        const double cpu0 = cpuMs();
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.prepare(QString::fromLatin1(ViewSql).replace(QStringLiteral(":Rows"), QStringLiteral("?")));
        q.addBindValue(rows);
        q.exec();
        qint64 n = 0;
        while (q.next())
            for (int c = 0; c < 10; ++c)
                n += q.value(c).isNull() ? 0 : 1;
        queryMs = t.nsecsElapsed() / 1e6;
        queryCpuMs = cpuMs() - cpu0;
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bare"));
    const long before = peakKiB();

    RepositorySession session;
    session.OpenFile(repoPath);
    ReportEngine engine;
    engine.Init(session.Connection(), 0);
    FixedParameterValues values({{QStringLiteral("Rows"), QString::number(rows)}});
    QElapsedTimer t;
    t.start();
    const double cpuBefore = cpuMs();
    engine.Run(reportId, out, values);
    const double writeMs = t.nsecsElapsed() / 1e6;
    QTextStream(stdout) << queryMs << ' ' << writeMs << ' ' << before << ' ' << peakKiB() << ' '
                        << (cpuMs() - cpuBefore) << ' ' << queryCpuMs << Qt::endl;
    return 0;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 7 && args[1] == QLatin1String("--child"))
        return child(args[2], args[3].toInt(), args[4].toInt(), args[5], args[6]);

    const int maxRows = args.size() > 1 ? args[1].toInt() : 200000;
    QTemporaryDir dir;
    const QString repoPath = dir.filePath(QStringLiteral("bench.mdb"));
    const QString dataPath = dir.filePath(QStringLiteral("sales.db"));
    QElapsedTimer setup;
    setup.start();
    int reportId = 0;
    {
        RepositorySession session;
        session.CreateDatabase(repoPath);
        session.OpenFile(repoPath);
        makeData(dataPath, maxRows);
        QSqlDatabase repo = session.Connection();
        const int ds = ReportFixtures::addDataSource(repo, QStringLiteral("Bench"), QStringLiteral("sqlite:") + dataPath);
        ReportFixtures::addVariable(repo, ds, QStringLiteral("Rows"), 2, QStringLiteral("Rows"), QStringLiteral("10"));
        ReportFixtures::Report r;
        r.name = QStringLiteral("Bench");
        r.title = QStringLiteral("Benchmark");
        r.autoFilters = QStringLiteral("1");
        r.freeze = QStringLiteral("1");
        r.columns = {{"Id", 0, 8}, {"Name", 0, 24}, {"Region", 0, 10}, {"Qty", 0, 0, false, true},
                     {"Amount", 0, 12, false, true}, {"Price", 0, 0}, {"SoldOn", 3, 12}, {"Note", 0, 30, true},
                     {"Code", 1, 8}, {"Ratio", 2, 0}};
        r.dataSource = ds;
        r.sql = QString::fromLatin1(ViewSql);
        reportId = ReportFixtures::addReport(repo, r);
    }
    QTextStream out(stdout);
    out << "setup (" << maxRows << " rows): " << setup.elapsed() << " ms" << Qt::endl;
    out << "rows      query ms   workbook ms   ratio   cpu: query ms  workbook ms  ratio   peak before run KiB   peak KiB   file KiB"
        << Qt::endl;
    for (int rows : {maxRows / 10, maxRows}) {
        const QString file = dir.filePath(QStringLiteral("bench-%1.xlsx").arg(rows));
        QProcess p;
        p.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--child"), repoPath, QString::number(reportId), QString::number(rows), file, dataPath});
        p.waitForFinished(-1);
        const QStringList f = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (p.exitCode() != 0 || f.size() < 6) {
            out << "run failed: " << p.readAllStandardError() << Qt::endl;
            return 1;
        }
        const double q = f[0].toDouble(), w = f[1].toDouble();
        out << qSetFieldWidth(9) << Qt::left << rows << qSetFieldWidth(11) << qRound(q) << qSetFieldWidth(14) << qRound(w)
            << qSetFieldWidth(8) << QString::number(w / q, 'f', 2) << qSetFieldWidth(15) << qRound(f[5].toDouble())
            << qSetFieldWidth(13) << qRound(f[4].toDouble()) << qSetFieldWidth(8)
            << QString::number(f[4].toDouble() / f[5].toDouble(), 'f', 2) << qSetFieldWidth(22) << f[2].trimmed()
            << qSetFieldWidth(11) << f[3].trimmed() << qSetFieldWidth(0) << QFileInfo(file).size() / 1024 << Qt::endl;
    }
    return 0;
}
