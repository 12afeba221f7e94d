#include "ExportFixture.h"
#include "PackageBuilder.h"
#include "ReportFixtures.h"
#include "RowDump.h"
#include "ScriptedPrompter.h"
#include "TestDb.h"
#include "ToolRun.h"

#include "navigator/frmMain.h"
#include "repository/PackageFile.h"
#include "repository/Schema.h"
#include "repository/Sql.h"
#include "shell/AppState.h"
#include "transfer/TransferProgress.h"
#include "transfer/export/ExportRun.h"
#include "transfer/export/ui/frmExport.h"
#include "transfer/import/ImportRun.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

// What an administrator's worst day does to the transfer: full disks, killed runs, files that
// are not packages, two consoles at once and packages made to hurt.
namespace {

QString tool() { return qEnvironmentVariable("VELMORA_TEST_BINARY_DIR") + QStringLiteral("/apps/velmora-transfer"); }

QByteArray fileHash(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return {}; // opening a pipe would wait for a writer
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

QStringList leftovers(const QString &dir)
{
    return QDir(dir).entryList({QStringLiteral("*.tmp"), QStringLiteral("*-journal")}, QDir::Files);
}

mode_t modeOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// A folder where only `room` more bytes fit: a small tmpfs when the tests run as root, otherwise
// a file-size limit on this process and the tools it starts (a write beyond it fails as on a
// full disk).
class FullDisk {
public:
    explicit FullDisk(const QString &dir) : m_dir(dir) { QDir().mkpath(dir); }
    ~FullDisk()
    {
        release();
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir).constData(), MNT_DETACH);
    }
    QString dir() const { return m_dir; }
    bool mount()
    {
        // VELMORA_TEST_NO_TMPFS tries the file-size limit as root too.
        if (::geteuid() != 0 || qEnvironmentVariableIsSet("VELMORA_TEST_NO_TMPFS"))
            return false;
        m_mounted = ::mount("tmpfs", QFile::encodeName(m_dir).constData(), "tmpfs", 0, "size=4m") == 0;
        return m_mounted;
    }
    // From now on only about room bytes more can be written.
    void fill(qint64 room)
    {
        if (m_mounted) {
            QFile filler(QDir(m_dir).filePath(QStringLiteral("filler")));
            filler.open(QIODevice::WriteOnly);
            const QByteArray block(4096, 'x');
            while (filler.write(block) == block.size() && filler.flush()) {
            }
            filler.close();
            filler.resize(qMax<qint64>(0, filler.size() - room));
            return;
        }
        ::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        struct rlimit limit = m_saved;
        limit.rlim_cur = rlim_t(room);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        m_limited = true;
    }
    void release()
    {
        if (m_limited)
            ::setrlimit(RLIMIT_FSIZE, &m_saved);
        m_limited = false;
        QFile::remove(QDir(m_dir).filePath(QStringLiteral("filler")));
    }

private:
    QString m_dir;
    bool m_mounted = false;
    bool m_limited = false;
    struct rlimit m_saved {};
};

// Runs after a step's status text: lets a test act while an export is half done.
struct StatusHook : TransferProgress {
    QString when;
    std::function<void()> action;
    void status(const QString &text) override
    {
        if (text == when && action) {
            auto a = std::move(action);
            action = nullptr;
            a();
        }
    }
    void progress(int, int) override {}
    void yield() override {}
};

bool indexExists(const QSqlDatabase &db, const QString &name)
{
    const QString sql = Sql::isPostgres(db)
                            ? QStringLiteral("Select count(*) From pg_indexes Where indexname = ?")
                            : QStringLiteral("Select count(*) From sqlite_master Where type = 'index' And name = ?");
    return Sql::scalar(db, sql, {Sql::isPostgres(db) ? name.toLower() : name}).toInt() > 0;
}

} // namespace

class TestTransferSafety : public QObject {
    Q_OBJECT

    RepositorySession session;
    ExportFixture::Sample sample;
    QString repoArg;

    static int run(const QStringList &args, QString *out = nullptr, QString *err = nullptr)
    {
        return RunTool(QStringLiteral("velmora-transfer"), args, out, err);
    }

    static QString folder(const QString &name)
    {
        static int n = 0;
        const QString dir = QDir(TestDb::tempDir()).filePath(QStringLiteral("%1-%2").arg(name).arg(++n));
        QDir().mkpath(dir);
        return dir;
    }

    void fresh(const QString &backend)
    {
        sample = ExportFixture::buildForTool(session, backend, &repoArg);
    }

    // Every report's code as the repository holds it.
    QStringList repositoryCodes()
    {
        QStringList out;
        QSqlQuery q = Sql::exec(session.Connection(),
                                QStringLiteral("Select IdReport, SyncronizeCode From ZAT_Report Order By IdReport"));
        while (q.next())
            out << QStringLiteral("%1=%2").arg(q.value(0).toInt()).arg(q.value(1).toString());
        session.ResetConnection();
        return out;
    }

    QString codeOf(int reportId)
    {
        const QString code = Sql::scalar(session.Connection(),
                                         QStringLiteral("Select SyncronizeCode From ZAT_Report Where IdReport = %1").arg(reportId))
                                 .toString();
        session.ResetConnection();
        return code;
    }

    static QString listing(const QString &package)
    {
        QString out, err;
        const int rc = run({"list", "--package", package}, &out, &err);
        return rc == 0 ? out : QStringLiteral("list failed: ") + err;
    }

    // package IdReport -> code
    static QHash<int, QString> packageCodes(const QString &package)
    {
        QHash<int, QString> out;
        QString listed = listing(package);
        for (const QString &line : listed.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QStringList f = line.split(QLatin1Char('\t'));
            if (f.size() >= 4)
                out.insert(f[0].toInt(), f[3]);
        }
        return out;
    }

    int exportTo(const QString &package, const QStringList &more, QString *out = nullptr, QString *err = nullptr)
    {
        return run(QStringList{"export", "--repository", repoArg, "--package", package} + more, out, err);
    }

    void addReports(int n)
    {
        QSqlDatabase db = session.Connection();
        QSqlDatabase d = db;
        d.transaction();
        for (int i = 0; i < n; ++i)
            Sql::insert(db, "ZAT_Report", "IdReport",
                        {{"Name", QStringLiteral("Bulk %1").arg(i)}, {"IdCateg", 1}, {"IsDeleted", 0}});
        d.commit();
        session.ResetConnection();
    }

private Q_SLOTS:
    // A full disk: the previous package stays whole, no code reaches the repository, the run
    // says it failed.
    void fullDiskKeepsPreviousPackage_data() { TestDb::addBackends(); }
    void fullDiskKeepsPreviousPackage()
    {
        QFETCH(QString, backend);
        fresh(backend);
        FullDisk disk(folder(QStringLiteral("full")));
        disk.mount();
        const QString package = QDir(disk.dir()).filePath(QStringLiteral("pkg.mdb"));
        QCOMPARE(exportTo(package, {"--reports", QString::number(sample.beta)}), 0);
        const QString before = listing(package);
        QVERIFY(before.contains(QStringLiteral("Beta")));
        const QByteArray hash = fileHash(package);
        const QStringList codes = repositoryCodes();

        // More than the room left: a long description in every report.
        Sql::exec(session.Connection(), QStringLiteral("Update ZAT_Report Set Description = ?"),
                  {QString(200000, QLatin1Char('d'))});
        session.ResetConnection();
        const qint64 empty = QFileInfo(package).size();
        QString out, err;
        disk.fill(empty + 64 * 1024);
        const int rc = exportTo(package, {"--all-reports"}, &out, &err);
        disk.release();
        QCOMPARE(rc, 1);
        QVERIFY2(!err.contains(QStringLiteral("Operation completed successfully.")), qPrintable(err));
        QVERIFY2(err.contains(QStringLiteral("Description : ")), qPrintable(err));
        QCOMPARE(out, QString());
        QCOMPARE(fileHash(package), hash);
        QCOMPARE(listing(package), before);
        QCOMPARE(repositoryCodes(), codes);
        QCOMPARE(leftovers(disk.dir()), QStringList());
        qInfo().noquote() << "full disk:" << err.trimmed().split(QLatin1Char('\n')).mid(1).join(QStringLiteral(" | "));
    }

    // A disk that fills while an import writes into a file repository: the run fails and says so,
    // and the repository holds exactly what it held before (none of the rows written before
    // the failure, none written after it).
    void fullDiskDuringImport()
    {
        FullDisk disk(folder(QStringLiteral("import-full")));
        disk.mount();
        const QString package = QDir(folder(QStringLiteral("import-full-pkg"))).filePath(QStringLiteral("big.mdb"));
        {
            PackageBuilder p(package);
            p.db().transaction();
            for (int i = 0; i < 400; ++i) {
                p.report(1000 + i, 1, QStringLiteral("Big %1").arg(i));
                p.row("ZAT_ReportCols", {{"IdReportCol", 5000 + i}, {"IdReport", 1000 + i}, {"Name", QString(20000, QLatin1Char('c'))},
                                         {"Type", 1}, {"Width", 1}, {"Hide", 0}, {"AutoSum", 0}});
            }
            p.db().commit();
            p.close();
        }
        const QString repo = QDir(disk.dir()).filePath(QStringLiteral("repo.mdb"));
        {
            RepositorySession creator;
            creator.CreateDatabase(repo);
        }
        const auto dump = [&] {
            RepositorySession s;
            s.OpenFile(repo);
            const QStringList rows = RowDump::all(s.Connection());
            const QString check = Sql::scalar(s.Connection(), QStringLiteral("PRAGMA integrity_check")).toString();
            s.ResetConnection();
            return rows + QStringList{check};
        };
        const QStringList before = dump();
        QString out, err;
        disk.fill(QFileInfo(repo).size() + 256 * 1024);
        const int rc = run({"import", "--repository", repo, "--package", package, "--category", "1", "--all-reports"},
                           &out, &err);
        disk.release();
        QCOMPARE(rc, 1);
        QVERIFY2(err.contains(QStringLiteral("Nothing was imported; the repository is as it was.")), qPrintable(err));
        QCOMPARE(dump(), before);
        qInfo().noquote() << "full disk on import:" << err.trimmed().split(QLatin1Char('\n')).filter(QStringLiteral("Description")).join(QStringLiteral(" | "));
    }

    // Killed while writing: the previous package still lists, no code was written back.
    void killedExportKeepsPreviousPackage_data() { TestDb::addBackends(); }
    void killedExportKeepsPreviousPackage()
    {
        QFETCH(QString, backend);
        fresh(backend);
        addReports(3000);
        const QString dir = folder(QStringLiteral("killed"));
        const QString package = QDir(dir).filePath(QStringLiteral("pkg.mdb"));
        QCOMPARE(exportTo(package, {"--reports", QString::number(sample.beta)}), 0);
        const QString before = listing(package);
        const QStringList codes = repositoryCodes();

        // Its status lines go to a pipe nobody reads: once the pipe is full the run stands still
        // in the middle of its reports, and is killed there.
        int fds[2];
        QVERIFY(::pipe(fds) == 0);
        const QByteArray program = QFile::encodeName(tool());
        QList<QByteArray> args = {program, "export", "--repository", repoArg.toUtf8(), "--package",
                                  QFile::encodeName(package), "--all-reports"};
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(fds[1], 2);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::close(fds[0]);
            std::vector<char *> argv;
            for (QByteArray &a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        int pending = 0;
        int status = 0;
        bool exited = false;
        for (int i = 0; i < 6000 && pending < 60000 && !exited; ++i) {
            ::usleep(10000);
            ::ioctl(fds[0], FIONREAD, &pending);
            exited = ::waitpid(pid, &status, WNOHANG) == pid;
        }
        QVERIFY2(!exited, "the export ended before it could be killed");
        QVERIFY(pending >= 60000);
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        ::close(fds[0]);
        QVERIFY(WIFSIGNALED(status));

        QCOMPARE(listing(package), before);
        QCOMPARE(repositoryCodes(), codes);
    }

    // Only a package is replaced; everything else is refused and left exactly as it was.
    void refusesWhatIsNotAPackage()
    {
        fresh(QStringLiteral("sqlite"));
        const QString dir = folder(QStringLiteral("refuse"));
        const QString other = QDir(dir).filePath(QStringLiteral("other.mdb"));
        {
            RepositorySession s;
            s.CreateDatabase(other);
        }
        const QString text = QDir(dir).filePath(QStringLiteral("notes.mdb"));
        {
            QFile f(text);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("keep me\n");
        }
        const QString fifo = QDir(dir).filePath(QStringLiteral("pipe.mdb"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        const QString folderPath = QDir(dir).filePath(QStringLiteral("folder.mdb"));
        QDir().mkpath(folderPath);
        const QStringList codes = repositoryCodes();

        const QList<QPair<QString, QString>> cases = {
            {other, QStringLiteral("is a Velmora repository, not a package: it is not replaced.")},
            {text, QStringLiteral("is not a Velmora package: it is not replaced.")},
            {fifo, QStringLiteral("is a named pipe (FIFO), not a package: it is not replaced.")},
            {folderPath, QStringLiteral("is a directory, not a package: it is not replaced.")},
        };
        for (const auto &[path, message] : cases) {
            const QByteArray hash = fileHash(path);
            QString out, err;
            QCOMPARE(exportTo(path, {"--all-reports"}, &out, &err), 1);
            QVERIFY2(err.contains(message), qPrintable(err));
            QVERIFY(!err.contains(QStringLiteral("Operation completed successfully.")));
            QCOMPARE(fileHash(path), hash);
        }
        QFileInfo fi(fifo);
        QVERIFY(!fi.isFile() && fi.exists());
        QVERIFY(QFileInfo(folderPath).isDir());
        QCOMPARE(repositoryCodes(), codes);
        QCOMPARE(leftovers(dir), QStringList());

        // init replaces nothing at all, not even a package.
        const QString package = QDir(dir).filePath(QStringLiteral("pkg.mdb"));
        QCOMPARE(exportTo(package, {"--reports", QString::number(sample.beta)}), 0);
        for (const QString &path : {other, text, package}) {
            const QByteArray hash = fileHash(path);
            QString err;
            QCOMPARE(run({"init", "--repository", path}, nullptr, &err), 1);
            QVERIFY2(err.contains(QStringLiteral("already exists; nothing was changed.")), qPrintable(err));
            QCOMPARE(fileHash(path), hash);
        }
    }

    // A replaced package keeps its permissions; a new one follows the umask.
    void permissions()
    {
        fresh(QStringLiteral("sqlite"));
        const QString dir = folder(QStringLiteral("modes"));
        const QString package = QDir(dir).filePath(QStringLiteral("pkg.mdb"));
        const mode_t saved = ::umask(077);
        const int first = exportTo(package, {"--reports", QString::number(sample.beta)});
        ::umask(022);
        const QString open = QDir(dir).filePath(QStringLiteral("open.mdb"));
        const int second = exportTo(open, {"--reports", QString::number(sample.beta)});
        ::umask(saved);
        QCOMPARE(first, 0);
        QCOMPARE(second, 0);
        QCOMPARE(modeOf(package), mode_t(0600));
        QCOMPARE(modeOf(open), mode_t(0644));
        QVERIFY(::chmod(QFile::encodeName(open).constData(), 0640) == 0);
        QCOMPARE(exportTo(open, {"--all-reports"}), 0);
        QCOMPARE(modeOf(open), mode_t(0640));
        QVERIFY(listing(open).contains(QStringLiteral("Alpha")));
        QCOMPARE(leftovers(dir), QStringList());

        const QString repo = QDir(dir).filePath(QStringLiteral("repo.mdb"));
        ::umask(077);
        const int init = run({"init", "--repository", repo});
        ::umask(saved);
        QCOMPARE(init, 0);
        QCOMPARE(modeOf(repo), mode_t(0600));
    }

    // The dialog asks before it replaces a package and refuses anything else; so does
    // File > New > Database.
    void dialogsAskAndRefuse()
    {
        auto &app = TestDb::freshAppSession("sqlite");
        ExportFixture::build(app.Connection());
        const QString dir = folder(QStringLiteral("dialog"));
        const QString text = QDir(dir).filePath(QStringLiteral("notes.mdb"));
        {
            QFile f(text);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("keep me\n");
        }
        const QByteArray textHash = fileHash(text);
        const QString package = QDir(dir).filePath(QStringLiteral("pkg.mdb"));

        ScriptedPrompter prompts;
        frmExport dlg;
        const QString title = QStringLiteral("Enter file name and path ...");
        prompts.files.enqueue(text);
        QTest::mouseClick(dlg.cmdBrowse, Qt::LeftButton);
        QCOMPARE(prompts.last().kind, QStringLiteral("message"));
        QCOMPARE(prompts.last().text,
                 QStringLiteral("The file '%1' is not a Velmora package: it is not replaced.").arg(text));
        QCOMPARE(prompts.last().title, title);
        QCOMPARE(prompts.last().icon, Prompter::Icon::Exclamation);
        QCOMPARE(dlg.txtPath->text(), QString());

        // Typed instead of browsed: the run refuses it.
        dlg.txtPath->setText(text);
        prompts.answers.enqueue(Prompter::Answer::Yes);
        QTest::mouseClick(dlg.cmdExport, Qt::LeftButton);
        QVERIFY2(prompts.last().text.contains(QStringLiteral("is not a Velmora package: it is not replaced.")),
                 qPrintable(prompts.last().text));
        QCOMPARE(dlg.panelText(1), QStringLiteral("The file '%1' is not a Velmora package: it is not replaced.").arg(text));
        QCOMPARE(fileHash(text), textHash);

        dlg.txtPath->setText(package);
        QTest::mouseClick(dlg.cmdCheckAll, Qt::LeftButton);
        prompts.answers.enqueue(Prompter::Answer::Yes);
        QTest::mouseClick(dlg.cmdExport, Qt::LeftButton);
        QCOMPARE(dlg.panelText(1), QStringLiteral("Operation completed successfully."));

        // An existing package: replaced only when the user says so.
        dlg.txtPath->clear();
        prompts.clear();
        prompts.files.enqueue(package);
        prompts.answers.enqueue(Prompter::Answer::No);
        QTest::mouseClick(dlg.cmdBrowse, Qt::LeftButton);
        QCOMPARE(prompts.last().text, QStringLiteral("pkg.mdb already exists.\rDo you want to replace it?"));
        QCOMPARE(prompts.last().buttons, Prompter::Buttons::YesNo);
        QCOMPARE(prompts.last().title, title);
        QCOMPARE(dlg.txtPath->text(), QString());
        prompts.files.enqueue(package);
        prompts.answers.enqueue(Prompter::Answer::Yes);
        QTest::mouseClick(dlg.cmdBrowse, Qt::LeftButton);
        QCOMPARE(dlg.txtPath->text(), package);

        // File > New > Database over a file that is not a package.
        frmMain *main = frmMain::instance();
        const QString current = App::session().DatabasePath();
        prompts.clear();
        prompts.files.enqueue(text);
        main->mnuNewDB->trigger();
        QCOMPARE(prompts.messages(),
                 QStringList{QStringLiteral("The file '%1' is not a Velmora package: it is not replaced.").arg(text)});
        QCOMPARE(fileHash(text), textHash);
        QCOMPARE(App::session().DatabasePath(), current);
        prompts.clear();
        prompts.files.enqueue(current);
        main->mnuNewDB->trigger();
        QCOMPARE(prompts.messages(),
                 QStringList{QStringLiteral("The file '%1' is a Velmora repository, not a package: it is not replaced.")
                                 .arg(current)});
        QCOMPARE(App::session().GetCategory(2).IdCategory, 2);
    }

    // Two exports of the same reports without codes: whichever writes back first, both packages
    // carry the code the repository keeps.
    void twoExportsAtOnce_data() { TestDb::addBackends(); }
    void twoExportsAtOnce()
    {
        QFETCH(QString, backend);
        fresh(backend);
        addReports(300);
        const QString dir = folder(QStringLiteral("twice"));
        const QString a = QDir(dir).filePath(QStringLiteral("a.mdb"));
        const QString b = QDir(dir).filePath(QStringLiteral("b.mdb"));
        QProcess first, second;
        const QString binary = tool();
        first.start(binary, {"export", "--repository", repoArg, "--package", a, "--all-reports"});
        second.start(binary, {"export", "--repository", repoArg, "--package", b, "--all-reports"});
        QVERIFY(first.waitForFinished(120000));
        QVERIFY(second.waitForFinished(120000));
        QCOMPARE(first.exitCode(), 0);
        QCOMPARE(second.exitCode(), 0);
        const QHash<int, QString> inA = packageCodes(a), inB = packageCodes(b);
        QVERIFY(inA.size() > 300);
        QCOMPARE(inA.size(), inB.size());
        QSqlQuery q = Sql::exec(session.Connection(), QStringLiteral("Select IdReport, SyncronizeCode From ZAT_Report "
                                                                     "Where IsDeleted = 0 And IdCateg <> 2"));
        int checked = 0;
        while (q.next()) {
            const int id = q.value(0).toInt();
            if (!inA.contains(id))
                continue;
            QCOMPARE(q.value(1).toString().size(), 50);
            QCOMPARE(inA.value(id), q.value(1).toString());
            QCOMPARE(inB.value(id), q.value(1).toString());
            ++checked;
        }
        QCOMPARE(checked, int(inA.size()));
        session.ResetConnection();
    }

    // The interleaving that orphaned codes, made to happen: a second export writes its codes back
    // while the first is half done; the first then carries the second's codes.
    void exportMeetsCodesOfAnotherRun()
    {
        fresh(QStringLiteral("postgres"));
        const QString dir = folder(QStringLiteral("meet"));
        const QString a = QDir(dir).filePath(QStringLiteral("a.mdb"));
        const QString b = QDir(dir).filePath(QStringLiteral("b.mdb"));
        ExportOptions options;
        options.reportIds = {sample.alpha, sample.beta, sample.gamma};
        StatusHook hook;
        hook.when = QStringLiteral("97% Exporting excel macros ...");
        hook.action = [&] {
            RepositorySession other;
            other.OpenServer(session.ServerName(), session.ServerPort(), session.DatabaseName(), session.UserName(), QString());
            ExportOptions o = options;
            o.packagePath = b;
            ExportRun(other, o).run();
        };
        options.packagePath = a;
        ExportRun(session, options, &hook).run();
        QVERIFY(!hook.action);
        for (int id : {sample.alpha, sample.beta, sample.gamma}) {
            const QString code = codeOf(id);
            QCOMPARE(code.size(), 50);
            QCOMPARE(packageCodes(a).value(id), code);
            QCOMPARE(packageCodes(b).value(id), code);
        }
        QCOMPARE(codeOf(sample.beta), sample.betaCode);
    }

    // Packages made to hurt are refused before anything is read from them.
    void hostilePackages_data()
    {
        QTest::addColumn<QStringList>("ddl");
        QTest::addColumn<QString>("message");
        QTest::newRow("generated column")
            << QStringList{"Alter Table ZAT_Report Add Column Heavy Text As (printf('%.*c', 100000000, 'x'))"}
            << "it holds the computed column 'ZAT_Report.Heavy', which the layout does not have.";
        QTest::newRow("view") << QStringList{"Create View ZAT_Look As Select * From ZAT_Report"}
                              << "it holds the view 'ZAT_Look', which the layout does not have.";
        QTest::newRow("trigger") << QStringList{"Create Trigger ZAT_T After Insert On ZAT_Report Begin Select 1; End"}
                                 << "it holds the trigger 'ZAT_T', which the layout does not have.";
        QTest::newRow("extra table") << QStringList{"Create Table Extra (x)"}
                                     << "it holds the table 'Extra', which the layout does not have.";
        QTest::newRow("check constraint")
            << QStringList{"Drop Table ZAT_Role", "Create Table ZAT_Role (IdRole integer primary key, "
                                                  "Role text Check (length(printf('%.*c', 100000000, 'x')) > 0))"}
            << "it holds a check constraint in the table 'ZAT_Role', which the layout does not have.";
        QTest::newRow("expression index")
            << QStringList{"Drop Index IX_ZAT_Report_IdCateg", "Create Index IX_ZAT_Report_IdCateg On ZAT_Report (length(Name))"}
            << "it holds the index 'IX_ZAT_Report_IdCateg', which the layout does not have.";
    }
    void hostilePackages()
    {
        QFETCH(QStringList, ddl);
        QFETCH(QString, message);
        const QString path = QDir(folder(QStringLiteral("hostile"))).filePath(QStringLiteral("p.mdb"));
        {
            PackageBuilder p(path);
            p.report(100, 1, QStringLiteral("Victim"));
            for (const QString &statement : ddl)
                Sql::exec(p.db(), statement);
        }
        QElapsedTimer timer;
        timer.start();
        QString out, err;
        QCOMPARE(run({"list", "--package", path}, &out, &err), 1);
        QVERIFY2(err.contains(QStringLiteral("is not a Velmora repository or package: ") + message), qPrintable(err));
        QVERIFY(timer.elapsed() < 10000);
    }

    void nonRegularPackageFiles()
    {
        const QString dir = folder(QStringLiteral("odd"));
        const QString fifo = QDir(dir).filePath(QStringLiteral("pipe.mdb"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QString err;
        QCOMPARE(run({"list", "--package", fifo}, nullptr, &err), 1);
        QVERIFY2(err.contains(QStringLiteral("'%1' is a named pipe (FIFO), not a Velmora repository or package file.").arg(fifo)),
                 qPrintable(err));
        QCOMPARE(run({"list", "--package", dir}, nullptr, &err), 1);
        QVERIFY2(err.contains(QStringLiteral("'%1' is a directory, not a Velmora repository or package file.").arg(dir)),
                 qPrintable(err));
        QCOMPARE(run({"list", "--package", "/dev/null"}, nullptr, &err), 1);
        QVERIFY2(err.contains(QStringLiteral("'/dev/null' is a device")), qPrintable(err));
    }

    // One value may not grow beyond the bound, however it is read.
    void valueSizeIsBounded()
    {
        const QString path = QDir(folder(QStringLiteral("big"))).filePath(QStringLiteral("p.mdb"));
        {
            PackageBuilder p(path);
            p.row("ZAT_Macros", {{"IdMacro", 1}, {"IdCateg", 1}, {"MacroName", "Big"},
                                 {"Body", QString(PackageFile::MaxValueBytes + 10, QLatin1Char('b'))}});
        }
        QSqlDatabase db = PackageFile::openForReading(path, QStringLiteral("quindale"), QStringLiteral("big"));
        QSqlQuery q(db);
        QVERIFY(!q.exec(QStringLiteral("Select Body From ZAT_Macros")) || !q.next());
        QVERIFY2(q.lastError().databaseText().contains(QStringLiteral("too big")), qPrintable(q.lastError().text()));
        QVERIFY(q.exec(QStringLiteral("Select MacroName From ZAT_Macros")) && q.next());
        q = QSqlQuery();
        db = QSqlDatabase();
        PackageFile::close(QStringLiteral("big"));
    }

    // Values the destination cannot hold are found before anything is written.
    void valuesTheDestinationCannotStore_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("message");
        const QString wide = QStringLiteral("ZAT_Report row 4294967396 holds a number beyond 32 bits in IdReport");
        QTest::newRow("32-bit id, sqlite") << "sqlite" << "IdReport" << QVariant(qlonglong(4294967396LL)) << wide;
        QTest::newRow("32-bit id, postgres") << "postgres" << "IdReport" << QVariant(qlonglong(4294967396LL)) << wide;
        QTest::newRow("NUL, postgres") << "postgres" << "Name" << QVariant(QStringLiteral("a\u0000b"))
                                       << "ZAT_Report row 101 holds a NUL character in Name";
        QTest::newRow("long code, sqlite") << "sqlite" << "SyncronizeCode" << QVariant(QString(60, QLatin1Char('1')))
                                           << "ZAT_Report row 101 holds a code longer than 50 characters in SyncronizeCode";
    }
    void valuesTheDestinationCannotStore()
    {
        QFETCH(QString, backend);
        QFETCH(QString, column);
        QFETCH(QVariant, value);
        QFETCH(QString, message);
        TestDb::freshRepository(session, backend);
        const QString path = QDir(folder(QStringLiteral("values"))).filePath(QStringLiteral("p.mdb"));
        {
            PackageBuilder p(path);
            p.report(100, 1, QStringLiteral("Plain"));
            p.report(101, 1, QStringLiteral("Odd"));
            Sql::exec(p.db(), QStringLiteral("Update ZAT_Report Set %1 = ? Where IdReport = 101").arg(column), {value});
        }
        QSqlDatabase db = session.Connection();
        const int reports = rowCount(db, "ZAT_Report");
        ImportOptions o;
        o.packagePath = path;
        o.reportIds = {100};
        try {
            ImportRun(db, o).run();
            QFAIL("the package was not refused");
        } catch (const AppError &e) {
            QVERIFY2(e.description.contains(message), qPrintable(e.description));
        }
        QCOMPARE(rowCount(db, "ZAT_Report"), reports);
    }

    // Two consoles of one login starting together find one administrator row.
    void administratorRowOnce_data() { TestDb::addBackends(); }
    void administratorRowOnce()
    {
        QFETCH(QString, backend);
        TestDb::freshRepository(session, backend);
        QSqlDatabase db = session.Connection();
        QVERIFY(indexExists(db, QStringLiteral("UX_ZAT_UserApp_IdApp_User")));
        const QString login = session.LoginName();
        Sql::exec(db, QStringLiteral("Delete From ZAT_UserApp"));
        const bool file = backend == QLatin1String("sqlite");
        const QString path = session.DatabasePath();
        if (file)
            session.ResetConnection();

        constexpr int Consoles = 6;
        std::atomic<int> ready{0};
        int ids[Consoles] = {};
        QString failures[Consoles];
        std::vector<std::thread> threads;
        for (int i = 0; i < Consoles; ++i)
            threads.emplace_back([&, i] {
                try {
                    RepositorySession s;
                    if (file)
                        s.OpenFile(path);
                    else
                        s.OpenServer(session.ServerName(), session.ServerPort(), session.DatabaseName(),
                                     session.UserName(), QString());
                    ++ready;
                    while (ready.load() < Consoles)
                        std::this_thread::yield();
                    ids[i] = s.CurrentUserId();
                } catch (const AppError &e) {
                    failures[i] = e.description;
                }
            });
        for (std::thread &t : threads)
            t.join();
        for (int i = 0; i < Consoles; ++i) {
            QCOMPARE(failures[i], QString());
            QVERIFY(ids[i] > 0);
            QCOMPARE(ids[i], ids[0]);
        }
        db = session.Connection();
        QCOMPARE(Sql::scalar(db, QStringLiteral("Select count(*) From ZAT_UserApp Where %1 = ?").arg(Sql::userColumn()), {login})
                     .toInt(),
                 1);
    }

    // Older repositories: given the key on connect when they hold no twins; with twins the key
    // stays off and the lowest id is the administrator.
    void userKeyOnOlderRepositories_data() { TestDb::addBackends(); }
    void userKeyOnOlderRepositories()
    {
        QFETCH(QString, backend);
        TestDb::freshRepository(session, backend);
        QSqlDatabase db = session.Connection();
        const QString key = QStringLiteral("UX_ZAT_UserApp_IdApp_User");
        Sql::exec(db, QStringLiteral("Drop Index ") + key);
        session.ResetConnection();
        if (backend == QLatin1String("sqlite"))
            session.OpenFile(session.DatabasePath());
        db = session.Connection();
        QVERIFY(indexExists(db, key));

        Sql::exec(db, QStringLiteral("Drop Index ") + key);
        Sql::exec(db, QStringLiteral("Delete From ZAT_UserApp"));
        const int app = Sql::scalar(db, QStringLiteral("Select Min(IdApp) From ZAT_App Where AppName = 'Velmora'")).toInt();
        const QString login = session.LoginName();
        int twins[2];
        for (int &id : twins)
            id = Sql::insert(db, "ZAT_UserApp", "IdUserApp", {{"IdApp", app}, {"IdUser", 0}, {"User", login}});
        session.ResetConnection();
        if (backend == QLatin1String("sqlite"))
            session.OpenFile(session.DatabasePath());
        db = session.Connection();
        QVERIFY(!indexExists(db, key));
        QCOMPARE(session.CurrentUserId(), twins[0]);
        QCOMPARE(rowCount(db, "ZAT_UserApp"), 2);
    }
};

QTEST_MAIN(TestTransferSafety)
#include "test_transfer_safety.moc"
