// Peak resident memory of an import into a file repository, at 2,000 and 16,000 reports. Each
// measured step runs in a child process of its own (this program started again with --child),
// so that peaks do not mix; the figures are the children's own, read with wait4().
//
// A child's peak starts at the resident size of the process that started it (the kernel carries
// the parent's high-water mark across fork and exec), so this process builds nothing itself: a
// child prepares each package and destination, another only opens the package (the floor: Qt and
// SQLite loaded), and a third runs the import. Usage: bench_import_memory [report counts...]
#include "SyntheticRepository.h"

#include "repository/PackageFile.h"
#include "repository/RepositorySession.h"
#include "repository/Schema.h"
#include "transfer/export/ExportRun.h"
#include "transfer/import/ImportRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

// A line of /proc/self/status in KiB ("VmHWM", "VmRSS").
long statusKiB(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLong();
    return 0;
}

// The child's side. Prints "<step ms> <own high-water mark KiB>".
int child(const QStringList &args)
{
    const QString mode = args.value(0);
    double ms = 0;
    try {
        if (mode == QLatin1String("prepare")) { // prepare N REPO PACKAGE DEST
            RepositorySession source;
            SyntheticRepository::createFile(source, args.value(2), args.value(1).toInt());
            ExportRun(source, SyntheticRepository::exportEverything(source, args.value(3))).run();
            RepositorySession().CreateDatabase(args.value(4));
        } else if (mode == QLatin1String("floor")) { // floor PACKAGE
            { PackageFile::openForReading(args.value(1), Schema::PackagePassword, "bench-floor"); }
            PackageFile::close("bench-floor");
        } else if (mode == QLatin1String("import")) { // import PACKAGE DEST
            RepositorySession dest;
            dest.OpenFile(args.value(2));
            const ImportOptions options = SyntheticRepository::importEverything(args.value(1));
            QElapsedTimer timer;
            timer.start();
            ImportRun(dest.Connection(), options).run();
            ms = timer.nsecsElapsed() / 1e6;
        } else {
            std::fprintf(stderr, "unknown child mode %s\n", qPrintable(mode));
            return 2;
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(mode), e.what());
        return 1;
    }
    std::printf("%.1f %ld\n", ms, statusKiB("VmHWM"));
    return 0;
}

struct ChildRun {
    long peakKiB = 0; // ru_maxrss from wait4
    long ownKiB = 0;  // the child's own VmHWM, a check on the figure above
    double stepMs = 0;
    double wallMs = 0; // the whole process
};

ChildRun runChild(const QStringList &args)
{
    std::vector<QByteArray> store{QCoreApplication::applicationFilePath().toLocal8Bit(), "--child"};
    for (const QString &a : args)
        store.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &a : store)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int fds[2];
    if (pipe(fds) != 0)
        qFatal("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        qFatal("cannot start %s", argv[0]);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    QByteArray output;
    char buffer[256];
    for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) != 0;)
        if (got > 0)
            output.append(buffer, got);
    close(fds[0]);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        qFatal("child %s failed", qPrintable(args.join(' ')));
    ChildRun run;
    run.wallMs = timer.nsecsElapsed() / 1e6;
    run.peakKiB = usage.ru_maxrss;
    const QList<QByteArray> fields = output.trimmed().split(' ');
    run.stepMs = fields.value(0).toDouble();
    run.ownKiB = fields.value(1).toLong();
    return run;
}

double mib(long kib) { return kib / 1024.0; }

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--child") == 0)
        return child(app.arguments().mid(2));

    const QList<int> sizes = SyntheticRepository::reportCounts(argc, argv, {2000, 16000});
    QTemporaryDir dir;
    QTextStream out(stdout);
    out << QStringLiteral("this process holds %1 MiB when it starts a child (no child's peak reads lower)\n")
               .arg(mib(statusKiB("VmRSS")), 0, 'f', 1);
    out << "reports  peak(MiB)  floor(MiB)  growth(MiB)  import(ms)  child wall(ms)  own peak(MiB)\n";
    out.flush();
    QList<double> peaks, growths;
    for (int n : sizes) {
        const QString base = QDir(dir.path()).filePath(QString::number(n));
        const QString package = base + QStringLiteral("-package.mdb");
        const QString dest = base + QStringLiteral("-dest.mdb");
        runChild({"prepare", QString::number(n), base + QStringLiteral("-repo.mdb"), package, dest});
        const ChildRun floor = runChild({"floor", package});
        const ChildRun import = runChild({"import", package, dest});
        peaks << mib(import.peakKiB);
        growths << mib(import.peakKiB - floor.peakKiB);
        out << QStringLiteral("%1  %2  %3  %4  %5  %6  %7\n")
                   .arg(n, 7)
                   .arg(mib(import.peakKiB), 9, 'f', 1)
                   .arg(mib(floor.peakKiB), 10, 'f', 1)
                   .arg(growths.last(), 11, 'f', 1)
                   .arg(import.stepMs, 10, 'f', 1)
                   .arg(import.wallMs, 14, 'f', 1)
                   .arg(mib(import.ownKiB), 13, 'f', 1);
        out.flush();
    }
    if (sizes.size() > 1) {
        const qsizetype small = std::min_element(sizes.begin(), sizes.end()) - sizes.begin();
        const qsizetype large = std::max_element(sizes.begin(), sizes.end()) - sizes.begin();
        out << QStringLiteral("peak at %1 / peak at %2 reports: %3 (growth over the floor: %4)\n")
                   .arg(sizes[large])
                   .arg(sizes[small])
                   .arg(peaks[large] / peaks[small], 0, 'f', 2)
                   .arg(growths[small] > 0 ? growths[large] / growths[small] : 0.0, 0, 'f', 2);
    }
    return 0;
}
