// Generates a 10-column workbook and a text report from a SQLite data source at 20,000 and
// 200,000 rows and sets each beside its reference, run in turn in the same rounds: the workbook
// beside the same layout written by libxlsxwriter straight from C (xlsx_floor, built with the
// benchmarks), the text report beside `sqlite3 -tabs` writing the same query to a file. Every run
// is a process of its own, so its CPU time and peak memory are its own; figures are medians of
// the rounds. CPU time is the measure to quote: other work on the machine stretches wall time.
#include "ReportFixtures.h"

#include "reportengine/ReportEngine.h"
#include "repository/RepositorySession.h"
#include "repository/Sql.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

static const char *ViewSql =
    "Select Id, Name, Region, Qty, Amount, Price, SoldOn, Note, Code, Ratio From Sales Where Id <= :Rows Order By Id";

static double cpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
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

// A child run: the report only; prints the CPU milliseconds of engine.Run itself.
static int child(const QString &repoPath, int reportId, int rows, const QString &out)
{
    RepositorySession session;
    session.OpenFile(repoPath);
    ReportEngine engine;
    engine.Init(session.Connection(), 0);
    FixedParameterValues values({{QStringLiteral("Rows"), QString::number(rows)}});
    const double cpuBefore = cpuMs();
    engine.Run(reportId, out, values);
    const double cpu = cpuMs() - cpuBefore;
    // The high-water mark of this process's own memory: what wait4 gives would include the
    // benchmark's, which the child's memory starts as.
    long peak = 0;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                peak = line.mid(6).trimmed().split(' ').value(0).toLong();
    QTextStream(stdout) << cpu << ' ' << peak << Qt::endl;
    return 0;
}

struct Measure {
    double cpuMs = 0;   // the whole process
    double wallMs = 0;
    long peakKiB = 0; // our runs only
    double innerCpuMs = 0; // what our runs report of their own: engine.Run
};

// Runs a program to its end, its standard output into `stdoutPath`; false when it failed.
static bool runMeasured(const QString &program, const QStringList &args, const QString &stdoutPath, Measure &m)
{
    std::vector<QByteArray> store{program.toLocal8Bit()};
    for (const QString &a : args)
        store.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &b : store)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return false;
    int status = 0;
    rusage u{};
    wait4(pid, &status, 0, &u);
    m.wallMs = t.nsecsElapsed() / 1e6;
    m.cpuMs = (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

static double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

static QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 2) : QString();
}

struct Series {
    std::vector<double> cpu, wall, inner, peak;
    void add(const Measure &m)
    {
        cpu.push_back(m.cpuMs);
        wall.push_back(m.wallMs);
        inner.push_back(m.innerCpuMs);
        peak.push_back(double(m.peakKiB));
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 6 && args[1] == QLatin1String("--child"))
        return child(args[2], args[3].toInt(), args[4].toInt(), args[5]);

    const int maxRows = args.size() > 1 ? args[1].toInt() : 200000;
    const int rounds = args.size() > 2 ? qMax(1, args[2].toInt()) : 3;
    const QString floorTool = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("xlsx_floor"));
    QTemporaryDir dir;
    // "keep" as third argument leaves the files for profiling a child run by hand.
    if (args.size() > 3 && args[3] == QLatin1String("keep")) {
        dir.setAutoRemove(false);
        QTextStream(stdout) << "files kept in " << dir.path() << Qt::endl;
    }
    const QString repoPath = dir.filePath(QStringLiteral("bench.mdb"));
    const QString dataPath = dir.filePath(QStringLiteral("sales.db"));
    QElapsedTimer setup;
    setup.start();
    int workbookId = 0, textId = 0;
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
        workbookId = ReportFixtures::addReport(repo, r);
        // The text report shows every column, as sqlite3 does.
        r.name = QStringLiteral("Bench text");
        r.version = QStringLiteral("Text");
        r.columns[7].hide = false;
        textId = ReportFixtures::addReport(repo, r);
    }
    QTextStream out(stdout);
    out << "setup (" << maxRows << " rows): " << setup.elapsed() << " ms; medians of " << rounds
        << " rounds; load average before: " << loadAverage() << Qt::endl;

    struct Row {
        int rows;
        Series workbook, floor, text, sqlite;
        qint64 workbookKiB = 0, floorKiB = 0, textKiB = 0, sqliteKiB = 0;
    };
    QList<Row> results;
    for (int rows : {maxRows / 10, maxRows}) {
        Row r{rows, {}, {}, {}, {}};
        const QString wb = dir.filePath(QStringLiteral("bench-%1.xlsx").arg(rows));
        const QString fl = dir.filePath(QStringLiteral("floor-%1.xlsx").arg(rows));
        const QString tx = dir.filePath(QStringLiteral("bench-%1.txt").arg(rows));
        const QString sq = dir.filePath(QStringLiteral("sqlite3-%1.txt").arg(rows));
        const QString said = dir.filePath(QStringLiteral("child.out"));
        const QString sql = QString::fromLatin1(ViewSql).replace(QStringLiteral(":Rows"), QString::number(rows));
        auto ours = [&](int reportId, const QString &file, Series &s) {
            Measure m;
            if (!runMeasured(QCoreApplication::applicationFilePath(),
                             {QStringLiteral("--child"), repoPath, QString::number(reportId), QString::number(rows), file},
                             said, m))
                return false;
            QFile f(said);
            f.open(QIODevice::ReadOnly);
            const QList<QByteArray> told = f.readAll().trimmed().split(' ');
            m.innerCpuMs = told.value(0).toDouble();
            m.peakKiB = told.value(1).toLong();
            s.add(m);
            return true;
        };
        auto reference = [&](const QString &program, const QStringList &a, const QString &stdoutPath, Series &s) {
            Measure m;
            if (!runMeasured(program, a, stdoutPath, m))
                return false;
            s.add(m);
            return true;
        };
        for (int round = 0; round < rounds; ++round) {
            if (!ours(workbookId, wb, r.workbook)
                || !reference(floorTool, {dataPath, fl, QString::number(rows)}, QStringLiteral("/dev/null"), r.floor)
                || !ours(textId, tx, r.text)
                || !reference(QStringLiteral("sqlite3"), {QStringLiteral("-tabs"), dataPath, sql}, sq, r.sqlite)) {
                out << "a run failed (is sqlite3 installed and xlsx_floor built?)" << Qt::endl;
                return 1;
            }
        }
        r.workbookKiB = QFileInfo(wb).size() / 1024;
        r.floorKiB = QFileInfo(fl).size() / 1024;
        r.textKiB = QFileInfo(tx).size() / 1024;
        r.sqliteKiB = QFileInfo(sq).size() / 1024;
        results << r;
    }

    auto ratio = [](double a, double b) { return QString::number(b > 0 ? a / b : 0, 'f', 2); };
    auto table = [&](const char *title, const char *ref, Series Row::*mine, Series Row::*theirs, qint64 Row::*mineKiB,
                     qint64 Row::*theirKiB) {
        out << Qt::endl << title << " (CPU and wall ms of whole processes; ours: engine.Run alone, peak KiB; file KiB)"
            << Qt::endl;
        out << "rows      cpu     " << ref << " cpu   ratio   (run alone)   wall    " << ref
            << " wall   peak      file    " << ref << " file" << Qt::endl;
        for (const Row &r : results) {
            const double c = median((r.*mine).cpu), rc = median((r.*theirs).cpu);
            out << qSetFieldWidth(10) << Qt::left << r.rows << qSetFieldWidth(8) << qRound(c) << qSetFieldWidth(14)
                << qRound(rc) << qSetFieldWidth(8) << ratio(c, rc) << qSetFieldWidth(14) << qRound(median((r.*mine).inner))
                << qSetFieldWidth(8) << qRound(median((r.*mine).wall)) << qSetFieldWidth(15)
                << qRound(median((r.*theirs).wall)) << qSetFieldWidth(10) << qRound(median((r.*mine).peak))
                << qSetFieldWidth(8) << r.*mineKiB
                << qSetFieldWidth(0) << r.*theirKiB << Qt::endl;
        }
    };
    table("Workbook vs libxlsxwriter from C (aim: ratio <= 1.3)", "floor", &Row::workbook, &Row::floor,
          &Row::workbookKiB, &Row::floorKiB);
    table("Text report vs sqlite3 -tabs (aim: ratio <= 2.5)", "sqlite3", &Row::text, &Row::sqlite, &Row::textKiB,
          &Row::sqliteKiB);
    out << Qt::endl << "load average after: " << loadAverage() << Qt::endl;
    return 0;
}
