#include "ExportFixture.h"
#include "ReportFixtures.h"
#include "TestDb.h"
#include "ToolRun.h"

#include "repository/PackageFile.h"
#include "repository/Sql.h"

#include <QDir>
#include <QtTest>

// velmora-transfer export, run as a script runs it.
class TestExportCli : public QObject {
    Q_OBJECT

    RepositorySession session;
    ExportFixture::Sample sample;
    QString repoArg;

    static int run(const QStringList &args, QString *out = nullptr, QString *err = nullptr)
    {
        return RunTool(QStringLiteral("velmora-transfer"), args, out, err);
    }

    static QString packagePath()
    {
        static int n = 0;
        return QDir(TestDb::tempDir()).filePath(QStringLiteral("cli-package%1.mdb").arg(++n));
    }

    // The repository as the tool is given it: the file, or the server's URI naming the test database.
    void fresh(const QString &backend)
    {
        sample = ExportFixture::buildForTool(session, backend, &repoArg);
    }

    struct Package {
        QSqlDatabase db;
        explicit Package(const QString &path)
        {
            db = PackageFile::openForReading(path, QStringLiteral("quindale"), QStringLiteral("cli-package"));
        }
        ~Package()
        {
            db = QSqlDatabase();
            PackageFile::close(QStringLiteral("cli-package"));
        }
        QList<int> ids(const QString &sql) const
        {
            QList<int> out;
            QSqlQuery q = Sql::exec(db, sql);
            while (q.next())
                out << q.value(0).toInt();
            return out;
        }
    };

private Q_SLOTS:
    void exportsChosenReports_data() { TestDb::addBackends(); }
    void exportsChosenReports()
    {
        QFETCH(QString, backend);
        fresh(backend);
        const QString path = packagePath();
        QString out, err;
        QCOMPARE(run({"export", "--repository", repoArg, "--package", path, "--reports",
                      QStringLiteral("%1,%2").arg(sample.gamma).arg(sample.alpha)},
                     &out, &err),
                 0);
        QCOMPARE(out.trimmed(), path);
        // Tree order, whatever order the ids were given in.
        QVERIFY(err.indexOf("Processing report 'Alpha'") >= 0);
        QVERIFY(err.indexOf("Processing report 'Alpha'") < err.indexOf(QStringLiteral("Processing report 'Gamma ü'")));
        QVERIFY(err.trimmed().endsWith("Operation completed successfully."));
        Package p(path);
        QCOMPARE(p.ids("Select IdReport From ZAT_Report Order By IdReport"), (QList<int>{sample.alpha, sample.gamma}));
        QCOMPARE(p.ids("Select IdCateg From ZAT_Category Order By IdCateg"), (QList<int>{1, sample.catA, sample.catB}));
        QCOMPARE(p.ids("Select IdMacro From ZAT_Macros Order By IdMacro"), (QList<int>{sample.m1, sample.m2, sample.m3}));
        QCOMPARE(p.ids("Select IdDataSource From ZAT_DataSource Order By IdDataSource"),
                 (QList<int>{sample.ds1, sample.ds2}));
        QCOMPARE(p.ids("Select IdRole From ZAT_Role"), QList<int>{sample.role1});
        QCOMPARE(p.ids("Select IdUserApp From ZAT_UserApp_Role"), QList<int>{sample.user1});
        // The new codes reached the repository.
        QSqlDatabase repo = session.Connection();
        QCOMPARE(Sql::scalar(repo, QStringLiteral("Select SyncronizeCode From ZAT_Report Where IdReport = %1").arg(sample.alpha))
                     .toString(),
                 Sql::scalar(p.db, QStringLiteral("Select SyncronizeCode From ZAT_Report Where IdReport = %1").arg(sample.alpha))
                     .toString());
    }

    void options()
    {
        fresh("sqlite");
        QString path = packagePath();
        QCOMPARE(run({"export", "--repository", repoArg, "--package", path, "--all-reports", "--no-folders", "--no-roles",
                      "--no-users", "--macros", "none", "--data-sources", QString::number(sample.ds2)}),
                 0);
        {
            Package p(path);
            QCOMPARE(p.ids("Select IdReport From ZAT_Report Order By IdReport"),
                     (QList<int>{sample.alpha, sample.beta, sample.gamma, sample.hidden}));
            QCOMPARE(p.ids("Select Distinct IdCateg From ZAT_Report"), QList<int>{1});
            QCOMPARE(p.ids("Select IdCateg From ZAT_Category"), QList<int>{1});
            QCOMPARE(p.ids("Select IdMacro From ZAT_Macros"), QList<int>{});
            QCOMPARE(p.ids("Select IdRole From ZAT_Role"), QList<int>{});
            QCOMPARE(p.ids("Select IdUserApp From ZAT_UserApp"), QList<int>{});
            QCOMPARE(p.ids("Select IdDataSource From ZAT_DataSource"), QList<int>{sample.ds2});
        }
        path = packagePath();
        QCOMPARE(run({"export", "--repository", repoArg, "--package", path, "--category", QString::number(sample.catB),
                      "--macros", QStringLiteral("%1,%2").arg(sample.m4).arg(sample.m4), "--data-sources", "all"}),
                 0);
        Package p(path);
        QCOMPARE(p.ids("Select IdReport From ZAT_Report Order By IdReport"), (QList<int>{sample.alpha, sample.beta}));
        QCOMPARE(p.ids("Select IdMacro From ZAT_Macros"), QList<int>{sample.m4});
        QCOMPARE(p.ids("Select IdDataSource From ZAT_DataSource Order By IdDataSource"),
                 (QList<int>{sample.ds1, sample.ds2}));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("says");
        QTest::newRow("no repository") << QStringList{"--package", "p.mdb"} << "--repository is required";
        QTest::newRow("no package") << QStringList{"--repository", "r.mdb"} << "--package is required";
        QTest::newRow("bad ids") << QStringList{"--repository", "r.mdb", "--package", "p.mdb", "--reports", "1,x"}
                                 << "--reports needs";
        QTest::newRow("two report options")
            << QStringList{"--repository", "r.mdb", "--package", "p.mdb", "--reports", "1", "--all-reports"}
            << "only one of";
        QTest::newRow("bad macros") << QStringList{"--repository", "r.mdb", "--package", "p.mdb", "--macros", "some"}
                                    << "--macros needs";
        QTest::newRow("unknown option") << QStringList{"--repository", "r.mdb", "--package", "p.mdb", "--bogus"}
                                        << "unknown option";
        QTest::newRow("missing value") << QStringList{"--repository", "r.mdb", "--package"} << "needs a value";
    }
    void usageErrors()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, says);
        QString err;
        QCOMPARE(run(QStringList{"export"} + args, nullptr, &err), 2);
        QVERIFY2(err.contains(says), qPrintable(err));
        QVERIFY(err.contains("export --repository REPO --package FILE"));
    }

    void helpAndFailures()
    {
        QString out, err;
        QCOMPARE(run({"export", "--help"}, &out), 0);
        QVERIFY(out.contains("--data-sources"));
        QCOMPARE(run({"--help"}, &out), 0);
        QVERIFY(out.contains("export --repository"));

        fresh("sqlite");
        const QString missing = QDir(TestDb::tempDir()).filePath("no-such-repo.mdb");
        QCOMPARE(run({"export", "--repository", missing, "--package", packagePath()}, nullptr, &err), 1);
        QVERIFY(err.contains("Number : "));
        QVERIFY(err.contains("Description : The file '" + missing + "' does not exist."));
        QVERIFY(err.contains("Origin : cmdExport_Click()"));
        QCOMPARE(run({"export", "--repository", repoArg, "--package", packagePath(), "--reports", "9999"}, nullptr, &err), 1);
        QVERIFY(err.contains("Report 9999 cannot be exported"));
        QCOMPARE(run({"export", "--repository", repoArg, "--package", "/nonexistent-dir/x/p.mdb", "--all-reports"},
                     nullptr, &err),
                 1);
        QVERIFY(err.contains("cannot be created"));
        QVERIFY(err.contains("Source : "));
    }
};

QTEST_GUILESS_MAIN(TestExportCli)
#include "test_export_cli.moc"
