#include "PackageBuilder.h"
#include "ReportFixtures.h"
#include "TestDb.h"
#include "ToolRun.h"

#include "repository/Sql.h"

#include <QDir>
#include <QFile>
#include <QtTest>

// velmora-transfer import and list, run as a user runs them.
class TestImportCli : public QObject {
    Q_OBJECT

    const QString Code = QStringLiteral("12345678901234567890123456789012345678901234567890");

    static int run(const QStringList &args, QString *out = nullptr, QString *err = nullptr)
    {
        return RunTool(QStringLiteral("velmora-transfer"), args, out, err);
    }

    QString buildPackage(const QString &name)
    {
        const QString path = QDir(TestDb::tempDir()).filePath(name);
        PackageBuilder p(path);
        p.category(10, 1, "Sales", 2);
        p.report(101, 10, QStringLiteral("Zürich 'Q1'"), Code);
        p.report(102, 1, "Alpha");
        p.report(103, 1, "Gone", {}, 1);
        p.row("ZAT_DataSource", {{"IdDataSource", 701}, {"Name", "Main"}});
        p.row("ZAT_ReportDS", {{"IdReportDS", 601}, {"IdReport", 101}, {"IdDataSource", 701}});
        p.row("ZAT_App", {{"IdApp", 5}, {"AppName", "Client"}});
        p.row("ZAT_UserApp", {{"IdUserApp", 6}, {"IdApp", 5}, {"User", "u"}});
        p.row("ZAT_CategMacros", {{"IdCateg", 50}, {"Denumire", "M"}});
        p.row("ZAT_Macros", {{"IdMacro", 1}, {"IdCateg", 50}, {"MacroName", "used"}});
        p.row("ZAT_Macros", {{"IdMacro", 2}, {"IdCateg", 50}, {"MacroName", "user"}});
        p.row("ZAT_References", {{"IdReference", 3}, {"IdSource", 2}, {"IdMacro", 1}, {"Tip", "m"}});
        return path;
    }

    // The repository argument of a backend: the file, or a URI naming the test database.
    static QString repositoryArgument(RepositorySession &s, const QString &backend)
    {
        if (backend == QLatin1String("sqlite"))
            return s.DatabasePath();
        return ReportFixtures::postgresUri(s.Connection());
    }

private Q_SLOTS:
    void importEndToEnd_data() { TestDb::addBackends(); }
    void importEndToEnd()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        const QString repo = repositoryArgument(s, backend);
        const QString package = buildPackage("cli-" + backend + ".mdb");
        QString out, err;
        QCOMPARE(run({"import", "--repository", repo, "--package", package, "--category", "1", "--all-reports",
                      "--data-sources-for-reports", "--users"}, &out, &err), 0);
        QVERIFY2(err.contains("1% Importing data sources ...") && err.contains("Operation completed successfully."), qPrintable(err));
        const QStringList lines = out.trimmed().split('\n').filter(QRegularExpression("^report "));
        QCOMPARE(lines.size(), 2); // the deleted report is not offered
        QVERIFY2(out.contains("data source 701 -> ") && out.contains("\tMain"), qPrintable(out));
        QVERIFY(lines[0].startsWith("report 102 -> ")); // tree order: by name
        QSqlDatabase db = s.Connection();
        QCOMPARE(rowCount(db, "ZAT_Report", "IdCateg = 1"), 2);
        QCOMPARE(rowCount(db, "ZAT_DataSource", "Name = 'Main'"), 1);
        QCOMPARE(rowCount(db, "ZAT_UserApp", Sql::userColumn() + " = 'u'"), 1);

        // The imported report carries the package report's code: it is overwritten with --sync.
        const int partner = Sql::scalar(db, "Select IdReport From ZAT_Report Where SyncronizeCode = ?", {Code}).toInt();
        QVERIFY(partner != 0);
        Sql::exec(db, QStringLiteral("Update ZAT_Report Set Name = 'old' Where IdReport = %1").arg(partner));
        QCOMPARE(run({"list", "--package", package, "--repository", repo}, &out, &err), 0);
        QVERIFY2(out.contains(QStringLiteral("101\tZürich 'Q1'\tSales\t") + Code + "\told"), qPrintable(out));
        QCOMPARE(run({"import", "--repository", repo, "--package", package, "--category", "1", "--reports", "101",
                      "--sync", "101"}, &out, &err), 0);
        QVERIFY2(out.startsWith(QStringLiteral("report 101 -> %1 (synchronised)\tZürich 'Q1'\n").arg(partner)), qPrintable(out));
        QCOMPARE(Sql::scalar(db, QStringLiteral("Select Name From ZAT_Report Where IdReport = %1").arg(partner)).toString(),
                 QStringLiteral("Zürich 'Q1'"));
        // --sync-all alone takes just the reports that have a partner.
        const int reports = rowCount(db, "ZAT_Report");
        QCOMPARE(run({"import", "--repository", repo, "--package", package, "--category", "1", "--sync-all"}, &out, &err), 0);
        QCOMPARE(out.trimmed(), QStringLiteral("report 101 -> %1 (synchronised)\tZürich 'Q1'").arg(partner));
        QCOMPARE(rowCount(db, "ZAT_Report"), reports);
        // A partner someone else holds checked out is left, named, and the run exits 1.
        const int holder = Sql::insert(db, "ZAT_UserApp", "IdUserApp", {{"IdApp", 1}, {"User", "erin"}});
        Sql::exec(db, QStringLiteral("Update ZAT_Report Set Name = 'held', IdUserAppCheckOut = %1 Where IdReport = %2").arg(holder).arg(partner));
        QCOMPARE(run({"import", "--repository", repo, "--package", package, "--category", "1", "--sync-all"}, &out, &err), 1);
        QVERIFY2(err.contains(QStringLiteral("The report 'held' (%1) is checked out by erin and was left unchanged.").arg(partner)), qPrintable(err));
        QVERIFY(!err.contains("Operation completed successfully."));
        QVERIFY(out.contains("(left unchanged)"));
        Sql::exec(db, QStringLiteral("Update ZAT_Report Set IdUserAppCheckOut = Null Where IdReport = %1").arg(partner));
        QCOMPARE(run({"import", "--repository", repo, "--package", package, "--category", "1", "--reports", "102",
                      "--sync", "102"}, &out, &err), 1);
        QVERIFY(err.contains("102 'Alpha' has no report with the same code"));
        QVERIFY(err.contains("Origin : import"));
    }

    // The library's own columns travel with their rows: the report's extension, the data
    // source's description and .Net connection string.
    void libraryColumnsTravel_data() { TestDb::addBackends(); }
    void libraryColumnsTravel()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        const QString repo = repositoryArgument(s, backend);
        const QString package = buildPackage("columns-" + backend + ".mdb");
        {
            QSqlDatabase pkg = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("columns-pkg"));
            pkg.setDatabaseName(package);
            QVERIFY(pkg.open());
            Sql::exec(pkg, QStringLiteral("Update ZAT_Report Set IdExtension = 5 Where IdReport = 101"));
            Sql::exec(pkg, QStringLiteral("Update ZAT_DataSource Set Description = ?, NetConnectionString = ? Where IdDataSource = 701"),
                      {QStringLiteral("Sales 'all' years"), QStringLiteral("Server=x")});
            pkg.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("columns-pkg"));
        QString out, err;
        QCOMPARE(run({"import", "--repository", repo, "--package", package, "--category", "1", "--reports", "101",
                      "--data-sources-for-reports"}, &out, &err), 0);
        QSqlDatabase db = s.Connection();
        QCOMPARE(Sql::scalar(db, "Select IdExtension From ZAT_Report Where SyncronizeCode = ?", {Code}).toInt(), 5);
        QCOMPARE(Sql::scalar(db, "Select Description From ZAT_DataSource Where Name = 'Main'").toString(),
                 QStringLiteral("Sales 'all' years"));
        QCOMPARE(Sql::scalar(db, "Select NetConnectionString From ZAT_DataSource Where Name = 'Main'").toString(),
                 QStringLiteral("Server=x"));
    }

    // A run that fails writes nothing and says what failed; rows left out make it exit 1.
    void failedRunSaysWhatFailed_data() { TestDb::addBackends(); }
    void failedRunSaysWhatFailed()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const QString repo = repositoryArgument(s, backend);
        const QString package = buildPackage("cli-fail-" + backend + ".mdb");
        TestDb::refuseInserts(db, "ZAT_Report", "Name", "Zürich 'Q1'");
        QString out, err;
        QCOMPARE(run({"import", "--repository", repo, "--package", package, "--category", "1", "--all-reports",
                      "--data-sources-for-reports", "--users"}, &out, &err), 1);
        QVERIFY2(err.contains("Description : Report 'Zürich 'Q1'' (101), table ZAT_Report: ")
                     && err.contains("Origin : import") && err.trimmed().endsWith("Nothing was imported; the repository is as it was."),
                 qPrintable(err));
        QCOMPARE(rowCount(db, "ZAT_Report"), 0);
        QCOMPARE(rowCount(db, "ZAT_DataSource"), 0);

        TestDb::refuseInserts(db, "ZAT_Macros", "MacroName", "used");
        QCOMPARE(run({"import", "--repository", repo, "--package", package, "--category", "1", "--macros", "1,2"}, &out, &err), 1);
        QVERIFY2(err.contains("Origin : ImportMacros()") && err.contains("refused by the test")
                     && err.contains("1 row(s) were left out."), qPrintable(err));
        QVERIFY(!err.contains("Operation completed successfully."));
    }

    void argumentsAndFailures_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("no category") << QStringList{"import", "--repository", "R", "--package", "P"} << 2 << "--category is required";
        QTest::newRow("bad ids") << QStringList{"import", "--repository", "R", "--package", "P", "--category", "1", "--reports", "1,x"} << 2 << "comma-separated ids";
        QTest::newRow("both report options") << QStringList{"import", "--repository", "R", "--package", "P", "--category", "1", "--reports", "1", "--all-reports"} << 2 << "exclude each other";
        QTest::newRow("list without package") << QStringList{"list"} << 2 << "--package is required";
        QTest::newRow("unknown category") << QStringList{"import", "--repository", "REPO", "--package", "PKG", "--category", "77", "--all-reports"} << 1 << "no category 77";
        QTest::newRow("not a package") << QStringList{"import", "--repository", "REPO", "--package", "TEXT", "--category", "1"} << 1 << "is not a Velmora repository or package";
        QTest::newRow("missing package") << QStringList{"list", "--package", "/nonexistent/p.mdb"} << 1 << "does not exist";
        QTest::newRow("macro reference left out") << QStringList{"import", "--repository", "REPO", "--package", "PKG", "--category", "1", "--macros", "2"} << 1 << "Origin : ImportMacros()";
        QTest::newRow("report not offered") << QStringList{"import", "--repository", "REPO", "--package", "PKG", "--category", "1", "--reports", "103"} << 2 << "offers no report 103";
        QTest::newRow("report not held") << QStringList{"import", "--repository", "REPO", "--package", "PKG", "--category", "1", "--reports", "102,999"} << 2 << "--reports: the package holds no report 999";
        QTest::newRow("macro not held") << QStringList{"import", "--repository", "REPO", "--package", "PKG", "--category", "1", "--macros", "77"} << 2 << "holds no macro 77";
        QTest::newRow("data source not held") << QStringList{"import", "--repository", "REPO", "--package", "PKG", "--category", "1", "--data-sources", "702"} << 2 << "holds no data source 702";
        QTest::newRow("sync not held") << QStringList{"import", "--repository", "REPO", "--package", "PKG", "--category", "1", "--all-reports", "--sync", "5"} << 2 << "--sync: the package holds no report 5";
    }
    void argumentsAndFailures()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, message);
        RepositorySession s;
        TestDb::freshRepository(s, "sqlite");
        const QString package = buildPackage("cli-args.mdb");
        args.replaceInStrings(QRegularExpression("^REPO$"), s.DatabasePath());
        args.replaceInStrings(QRegularExpression("^PKG$"), package);
        const QString text = QDir(TestDb::tempDir()).filePath("notes.mdb");
        QFile f(text);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(2048, 'n'));
        f.close();
        args.replaceInStrings(QRegularExpression("^TEXT$"), text);
        const int before = rowCount(s.Connection(), "ZAT_Report");
        QString err;
        QCOMPARE(run(args, nullptr, &err), status);
        QVERIFY2(err.contains(message), qPrintable(err));
        QCOMPARE(rowCount(s.Connection(), "ZAT_Report"), before);
    }
};

QTEST_GUILESS_MAIN(TestImportCli)
#include "test_import_cli.moc"
