// Imports of many reports: rows go to a server in batches, so these tests look at what batching
// could get wrong: values that need quoting, children linked to the right parent across batch
// boundaries, a refused row named by its own report, skipped rows counted.
#include "PackageBuilder.h"
#include "ReportFixtures.h"
#include "RowDump.h"
#include "TestDb.h"

#include "repository/AppError.h"
#include "repository/Sql.h"
#include "transfer/import/ImportRun.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

namespace {

// More column rows than one batch holds, so the children of one report may be written in
// another statement than their parent.
constexpr int Reports = 1300;
constexpr int ColumnsEach = 4;

QString reportName(int i) { return QStringLiteral("Report %1").arg(i, 4, 10, QLatin1Char('0')); }

// Texts a literal or array syntax could mangle.
const QStringList Awkward{
    QStringLiteral("quote \" and backslash \\ and \\\" together"),
    QStringLiteral("{braces}, commas, (parens)"),
    QStringLiteral("NULL"),
    QStringLiteral(""),
    QStringLiteral("it's 'quoted'"),
    QStringLiteral("line\r\nbreak\tand tab"),
    QStringLiteral("Zürich Ω \U0001F600"),
    QStringLiteral("  blanks  "),
};

QString buildPackage(const QString &name)
{
    const QString path = QDir(TestDb::tempDir()).filePath(name + QStringLiteral(".mdb"));
    PackageBuilder p(path);
    QSqlDatabase db = p.db();
    db.transaction();
    p.row("ZAT_DataSource", {{"IdDataSource", 70001}, {"Name", "Main"}, {"DataSourceString", "Server=a;"}, {"IsJet", 0}});
    p.row("ZAT_CategMacros", {{"IdCateg", 80001}, {"Denumire", "Utils"}});
    p.row("ZAT_Macros", {{"IdMacro", 80101}, {"IdCateg", 80001}, {"MacroName", "Shared"}, {"Body", "Sub S()\\n"}});
    p.row("ZAT_Role", {{"IdRole", 90001}, {"Role", "Readers"}});
    for (int i = 0; i < Reports; ++i) {
        const int id = 10000 + i;
        const QString awkward = Awkward.at(i % Awkward.size());
        p.row("ZAT_Report", {{"IdReport", id}, {"Name", reportName(i)}, {"FilePath", awkward}, {"Version", "Excel"},
                             {"Modified", QStringLiteral("2024-03-%1 10:20:30").arg(1 + i % 28, 2, 10, QLatin1Char('0'))},
                             {"Description", i % 5 == 0 ? QVariant() : QVariant(awkward)}, {"IdCateg", 1},
                             {"IsDeleted", 0}, {"ShowDeleted", 0}, {"DelExSheet", 0}, {"DestinationFileAtRuntime", 0},
                             {"SyncronizeCode", QStringLiteral("%1").arg(i + 1, 50, 10, QLatin1Char('0'))},
                             {"IdExtension", i % 3 == 0 ? QVariant() : QVariant(i % 3)}});
        p.row("ZAT_ExcelSheetSettings", {{"IdSetting", 20000 + i}, {"IdReport", id}, {"SheetName", awkward},
                                         {"FontName", "Arial"}, {"FontSize", 8.25 + i % 4}, {"ReportTitle", reportName(i)}});
        for (int c = 0; c < ColumnsEach; ++c)
            p.row("ZAT_ReportCols", {{"IdReportCol", 30000 + i * ColumnsEach + c}, {"IdReport", id},
                                     {"Name", QStringLiteral("%1 col %2").arg(reportName(i)).arg(c)}, {"Type", c},
                                     {"Width", 10 + c}, {"Hide", c == 3 ? 1 : 0}, {"AutoSum", 0}});
        p.row("ZAT_SQLViews", {{"IdSQLView", 40000 + i}, {"strSQLView", QStringLiteral("Select '%1'").arg(awkward)},
                               {"Description", reportName(i)}});
        p.row("ZAT_ReportDS", {{"IdReportDS", 50000 + i}, {"IdReport", id}, {"IdSQLView", 40000 + i}, {"IdDataSource", 70001}});
        p.row("ZAT_Sort", {{"IdSort", 60000 + i}, {"ItemType", "e"}, {"IdItem", id}, {"SortNr", i}});
        p.row("ZAT_References", {{"IdReference", 85000 + i}, {"IdSource", id}, {"IdMacro", 80101}, {"Tip", "r"}});
        p.row("ZAT_Role_Report", {{"IdLeg", 95000 + i}, {"IdRole", 90001}, {"IdReport", id}});
    }
    db.commit();
    p.close();
    return path;
}

ImportOptions everything(const QString &path)
{
    ImportOptions o;
    o.packagePath = path;
    o.idCategDest = 1;
    for (int i = 0; i < Reports; ++i)
        o.reportIds << 10000 + i;
    o.dataSources = ImportOptions::Choice::ForReports;
    o.macros = ImportOptions::Choice::ForReports;
    o.roles = true;
    return o;
}

// What a report brings, reached through the imported ids: a child linked to the wrong parent
// shows up under another report's name.
QStringList imported(const QSqlDatabase &db)
{
    QStringList all;
    all << RowDump::rows(db, "Select r.Name, r.FilePath, Coalesce(r.Description, '<null>'), Coalesce(r.IdExtension, -1), "
                             "s.SheetName, s.FontSize, s.ReportTitle, v.strSQLView, v.Description, o.SortNr "
                             "From ZAT_Report r Join ZAT_ExcelSheetSettings s On s.IdReport = r.IdReport "
                             "Join ZAT_ReportDS d On d.IdReport = r.IdReport Join ZAT_SQLViews v On v.IdSQLView = d.IdSQLView "
                             "Join ZAT_Sort o On o.IdItem = r.IdReport And o.ItemType = 'e' Order By r.Name");
    all << RowDump::rows(db, "Select r.Name, c.Name, c.Type, c.Width, c.Hide From ZAT_ReportCols c "
                             "Join ZAT_Report r On r.IdReport = c.IdReport Order By c.Name");
    all << RowDump::rows(db, "Select r.Name, m.MacroName, g.Role From ZAT_Report r "
                             "Join ZAT_References f On f.IdSource = r.IdReport And f.Tip = 'r' "
                             "Join ZAT_Macros m On m.IdMacro = f.IdMacro "
                             "Join ZAT_Role_Report rr On rr.IdReport = r.IdReport Join ZAT_Role g On g.IdRole = rr.IdRole "
                             "Order By r.Name");
    return all;
}

} // namespace

class TestImportBatches : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { m_package = buildPackage(QStringLiteral("batches")); }

    // Both back-ends end with the same reports, each with its own children and every value as
    // the package holds it; dates keep their wall-clock time.
    void manyReportsArriveWhole()
    {
        QStringList dumps[2];
        int i = 0;
        for (const QString backend : {"sqlite", "postgres"}) {
            RepositorySession s;
            TestDb::freshRepository(s, backend);
            QSqlDatabase db = s.Connection();
            ImportRun run(db, everything(m_package));
            run.run();
            QCOMPARE(run.reportMap.size(), Reports);
            QCOMPARE(run.skippedRows, 0);
            dumps[i++] = imported(db);
            QCOMPARE(Sql::scalar(db, "Select Max(Modified) From ZAT_Report").toDateTime(),
                     QDateTime(QDate(2024, 3, 28), QTime(10, 20, 30)));
            // The server's own sequences go on after the rows the run wrote.
            const int report = Sql::insert(db, "ZAT_Report", "IdReport", {{"Name", "after"}, {"IdCateg", 1}});
            QVERIFY(report > Sql::scalar(db, "Select Max(IdReport) From ZAT_Report Where Name <> 'after'").toInt());
        }
        QCOMPARE(dumps[0].size(), Reports + Reports * ColumnsEach + Reports);
        QCOMPARE(dumps[1], dumps[0]);
        // A sample of values read back as written (a Null description comes in empty).
        QVERIFY(dumps[0].contains(QStringLiteral("Report 0001|%1|%1|1|%1|9.25|Report 0001|Select '%1'|Report 0001|1")
                                      .arg(Awkward.at(1))));
        QVERIFY2(dumps[0].first().startsWith("Report 0000|" + Awkward.at(0) + "||-1|"), qPrintable(dumps[0].first()));
    }

    // A row the repository refuses is named by the report it belongs to, even when it is written
    // long after that report's turn; the repository is left exactly as it was and usable.
    void refusedRowNamesItsReport_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        for (const QString backend : {"sqlite", "postgres"}) {
            QTest::newRow(qPrintable(backend + ": report")) << backend << "ZAT_Report" << "Name" << reportName(777)
                                                            << "Report 'Report 0777' (10777), table ZAT_Report: ";
            QTest::newRow(qPrintable(backend + ": column")) << backend << "ZAT_ReportCols" << "Name" << reportName(5) + " col 2"
                                                            << "Report 'Report 0005' (10005), table ZAT_ReportCols: ";
            QTest::newRow(qPrintable(backend + ": grant")) << backend << "ZAT_Role_Report" << "IdReport" << "SKIP"
                                                           << "Importing security roles, table ZAT_Role_Report: ";
        }
    }
    void refusedRowNamesItsReport()
    {
        QFETCH(QString, backend);
        QFETCH(QString, table);
        QFETCH(QString, column);
        QFETCH(QString, value);
        QFETCH(QString, expected);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        if (value != "SKIP") {
            TestDb::refuseInserts(db, table, column, value);
        } else if (Sql::isPostgres(db)) { // the last report's grant: its id is known only once it is there
            Sql::exec(db, "Create Function refuse_grant() Returns trigger Language plpgsql As $$ Begin "
                          "If New.IdReport = (Select Max(IdReport) From ZAT_Report) Then "
                          "Raise Exception 'refused by the test'; End If; Return New; End $$");
            Sql::exec(db, "Create Trigger refuse_grant Before Insert On ZAT_Role_Report For Each Row "
                          "Execute Function refuse_grant()");
        } else {
            Sql::exec(db, "Create Trigger refuse_grant Before Insert On ZAT_Role_Report "
                          "When New.IdReport = (Select Max(IdReport) From ZAT_Report) "
                          "Begin Select Raise(Abort, 'refused by the test'); End");
        }
        const QStringList before = RowDump::all(db);
        ImportRun run(db, everything(m_package));
        try {
            run.run();
            QFAIL("the run should have failed");
        } catch (const AppError &e) {
            QVERIFY2(e.description.startsWith(expected), qPrintable(e.description));
            QVERIFY2(e.description.contains("refused by the test"), qPrintable(e.description));
            // One line, as the tool prints it and the history keeps it.
            QVERIFY2(!e.description.contains(QLatin1Char('\n')), qPrintable(e.description));
        }
        QCOMPARE(RowDump::all(db), before);
        Sql::insert(db, "ZAT_Role", "IdRole", {{"Role", "after"}});
    }

    // The macro step leaves out the rows it cannot store and goes on; the reports stay, and
    // every row left out is counted.
    void refusedReferencesAreCounted_data() { TestDb::addBackends(); }
    void refusedReferencesAreCounted()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        TestDb::refuseInserts(db, "ZAT_References", "Tip", "r");
        QStringList warnings;
        ImportRun run(db, everything(m_package), nullptr,
                      [&](const AppError &e, const QString &origin) { warnings << origin + ": " + e.description; });
        run.run();
        QCOMPARE(run.skippedRows, Reports);
        QCOMPARE(rowCount(db, "ZAT_Report"), Reports);
        QCOMPARE(rowCount(db, "ZAT_References"), 0);
        QCOMPARE(rowCount(db, "ZAT_Role_Report"), Reports);
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings[0].startsWith(QStringLiteral("ImportMacros(): %1 macro row(s) could not be stored and were left "
                                                       "out; the first: ZAT_References: ").arg(Reports)),
                 qPrintable(warnings[0]));
    }

    // Two administrators importing the same package into one repository at the same moment end
    // as if one had followed the other: each report's code once, data sources, macros and roles
    // once, every report with its own children; with --sync-all the second run overwrites.
    void twoImportsAtOnce_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<bool>("syncAll");
        for (const QString backend : {"sqlite", "postgres"}) {
            QTest::newRow(qPrintable(backend + ": add")) << backend << false;
            QTest::newRow(qPrintable(backend + ": sync-all")) << backend << true;
        }
    }
    void twoImportsAtOnce()
    {
        QFETCH(QString, backend);
        QFETCH(bool, syncAll);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const QString repo = Sql::isPostgres(db) ? ReportFixtures::postgresUri(db) : s.DatabasePath();
        const QString tool = qEnvironmentVariable("VELMORA_TEST_BINARY_DIR") + QStringLiteral("/apps/velmora-transfer");
        QStringList args{"import", "--repository", repo, "--package", m_package, "--category", "1", "--all-reports",
                         "--data-sources-for-reports", "--roles"};
        if (syncAll)
            args << "--sync-all";
        QProcess first, second;
        first.start(tool, args);
        second.start(tool, args);
        QVERIFY(first.waitForFinished(120000));
        QVERIFY(second.waitForFinished(120000));
        QVERIFY2(first.exitCode() == 0, first.readAllStandardError().constData());
        QVERIFY2(second.exitCode() == 0, second.readAllStandardError().constData());
        const int copies = syncAll ? 1 : 2;
        QCOMPARE(rowCount(db, "ZAT_Report"), copies * Reports);
        QCOMPARE(rowCount(db, "ZAT_ReportCols"), copies * Reports * ColumnsEach);
        QCOMPARE(Sql::scalar(db, "Select count(SyncronizeCode) From ZAT_Report").toInt(), Reports);
        QCOMPARE(Sql::scalar(db, "Select count(Distinct SyncronizeCode) From ZAT_Report").toInt(), Reports);
        // Each column row sits under the report whose name it carries.
        QCOMPARE(Sql::scalar(db, "Select count(*) From ZAT_ReportCols c Join ZAT_Report r On r.IdReport = c.IdReport "
                                 "Where c.Name Like r.Name || ' col %'").toInt(),
                 copies * Reports * ColumnsEach);
        QCOMPARE(rowCount(db, "ZAT_DataSource"), 1);
        QCOMPARE(rowCount(db, "ZAT_Macros"), 1);
        QCOMPARE(rowCount(db, "ZAT_Role", "Role = 'Readers'"), 1);
    }

    // A login with rights on the tables only (normal with identity columns) cannot take ids from
    // the sequences itself: its import writes row by row, with the same result.
    void loginWithoutSequenceRights()
    {
        RepositorySession s;
        TestDb::freshRepository(s, QStringLiteral("postgres"));
        QSqlDatabase db = s.Connection();
        Sql::exec(db, "Do $$ Begin Create Role velmora_tables Login; Exception When duplicate_object Then Null; End $$");
        Sql::exec(db, "Do $$ Begin "
                      "Execute format('Grant Usage On Schema %I To velmora_tables', current_schema()); "
                      "Execute format('Grant Select, Insert, Update, Delete On All Tables In Schema %I To velmora_tables', "
                      "current_schema()); "
                      "Execute format('Revoke All On All Sequences In Schema %I From velmora_tables', current_schema()); "
                      "End $$");
        RepositorySession other;
        other.OpenServer(s.ServerName(), s.ServerPort(), s.DatabaseName(), QStringLiteral("velmora_tables"), QString());
        ImportRun run(other.Connection(), everything(m_package));
        run.run();
        QCOMPARE(run.skippedRows, 0);
        QCOMPARE(rowCount(db, "ZAT_Report"), Reports);
        QCOMPARE(Sql::scalar(db, "Select count(*) From ZAT_ReportCols c Join ZAT_Report r On r.IdReport = c.IdReport "
                                 "Where c.Name Like r.Name || ' col %'").toInt(),
                 Reports * ColumnsEach);
        QCOMPARE(rowCount(db, "ZAT_References"), Reports);
    }

private:
    QString m_package;
};

QTEST_GUILESS_MAIN(TestImportBatches)
#include "test_import_batches.moc"
