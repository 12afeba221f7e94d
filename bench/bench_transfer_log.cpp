// What the transfer history adds to an export: the same export of a synthetic file repository
// run bare and through the recording (processor time), the recording alone (a run with one line
// per report, SQLite and, with the test server configured, PostgreSQL wall time), and reading a
// history of 2,000 runs with and without a filter.
// Usage: bench_transfer_log [report counts...]
#include "SyntheticRepository.h"
#include "TestDb.h"
#include "repository/PackageFile.h"
#include "repository/RepositorySession.h"
#include "repository/Schema.h"
#include "repository/Sql.h"
#include "transfer/TransferLog.h"
#include "transfer/TransferRecording.h"
#include "transfer/export/ExportRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <ctime>

namespace {

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

TransferLog::Run runWithLines(int lines)
{
    TransferLog::Run r;
    r.started = r.finished = QDateTime::currentDateTime();
    r.user = QStringLiteral("bench");
    r.direction = TransferLog::Import;
    r.outcome = TransferLog::Finished;
    r.packagePath = QStringLiteral("/tmp/package.mdb");
    for (int i = 1; i <= lines; ++i)
        r.lines << TransferLog::Line{i, QString(50, QLatin1Char('7')), QStringLiteral("Report %1").arg(i), i + 7, "add"};
    return r;
}

void recordAndList(QTextStream &out, RepositorySession &session, const QString &label, const QList<int> &sizes)
{
    QSqlDatabase db = session.Connection();
    for (int n : sizes) {
        TransferLog::Run r = runWithLines(n);
        QElapsedTimer timer;
        timer.start();
        const double cpu = cpuMs();
        TransferLog::record(db, r);
        out << QStringLiteral("%1 record %2 lines: %3 ms wall, %4 ms processor\n")
                   .arg(label).arg(n).arg(timer.nsecsElapsed() / 1e6, 0, 'f', 1).arg(cpuMs() - cpu, 0, 'f', 1);
    }
    for (int i = 0; i < 2000; ++i) {
        TransferLog::Run r = runWithLines(5);
        r.user = QStringLiteral("user%1").arg(i % 50);
        TransferLog::record(db, r);
    }
    for (const QString &filter : {QString(), QStringLiteral("user7"), QStringLiteral("Report 3")}) {
        QElapsedTimer timer;
        timer.start();
        const qsizetype found = TransferLog::list(db, filter).size();
        out << QStringLiteral("%1 list filter '%2': %3 runs in %4 ms wall\n")
                   .arg(label, filter).arg(found).arg(timer.nsecsElapsed() / 1e6, 0, 'f', 1);
    }
    out.flush();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QList<int> sizes = SyntheticRepository::reportCounts(argc, argv);
    QTemporaryDir dir;
    QTextStream out(stdout);
    out << "reports  bare export(ms)  recorded export(ms)  difference(ms)  package read(ms)\n";
    for (int n : sizes) {
        RepositorySession session;
        SyntheticRepository::createFile(session, QDir(dir.path()).filePath(QStringLiteral("repo%1.mdb").arg(n)), n);
        const ExportOptions options = SyntheticRepository::exportEverything(
            session, QDir(dir.path()).filePath(QStringLiteral("package%1.mdb").arg(n)));
        ExportRun(session, options).run(); // every report has its code from here on
        double start = cpuMs();
        ExportRun(session, options).run();
        const double bare = cpuMs() - start;
        start = cpuMs();
        ExportRun run(session, options);
        TransferRecording::runExport(session, run, options);
        const double recorded = cpuMs() - start;
        // The part of the difference spent reading the package back (opening it checks it whole).
        start = cpuMs();
        {
            QSqlDatabase p = PackageFile::openForReading(options.packagePath, Schema::PackagePassword, "bench-read");
            Sql::scalar(p, QStringLiteral("Select Count(*) From ZAT_Report"));
        }
        PackageFile::close("bench-read");
        const double readBack = cpuMs() - start;
        out << QStringLiteral("%1  %2  %3  %4  %5\n")
                   .arg(n, 7)
                   .arg(bare, 14, 'f', 1)
                   .arg(recorded, 19, 'f', 1)
                   .arg(recorded - bare, 14, 'f', 1)
                   .arg(readBack, 18, 'f', 1);
        out.flush();
    }
    {
        RepositorySession session;
        SyntheticRepository::createFile(session, QDir(dir.path()).filePath(QStringLiteral("history.mdb")), 100);
        recordAndList(out, session, QStringLiteral("SQLite"), sizes);
    }
    if (TestDb::postgresAvailable()) {
        RepositorySession session;
        TestDb::freshRepository(session, QStringLiteral("postgres"));
        recordAndList(out, session, QStringLiteral("PostgreSQL"), sizes);
    }
    return 0;
}
