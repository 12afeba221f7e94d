#include "ExportFixture.h"
#include "PackageBuilder.h"
#include "RowDump.h"
#include "ScriptedPrompter.h"
#include "TestDb.h"

#include "repository/AppError.h"
#include "repository/PackageFile.h"
#include "repository/Schema.h"
#include "repository/Sql.h"
#include "transfer/TransferProgress.h"
#include "transfer/export/ExportRun.h"
#include "transfer/import/ImportRun.h"
#include "transfer/import/PackageTree.h"
#include "transfer/import/SyncPairing.h"
#include "transfer/export/ui/frmExportDSN.h"
#include "transfer/export/ui/frmExportMacros.h"
#include "transfer/import/ui/frmImport.h"
#include "transfer/import/ui/frmImportPreview.h"
#include "WhenModal.h"
#include "transfer/import/ui/frmSyncronize.h"

#include "shell/AppState.h"
#include "shell/ItemData.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {

const QString Code1 = QStringLiteral("11111111112222222222333333333344444444445555555555");
const QString Code2 = QStringLiteral("99999999998888888888777777777766666666665555555555");
const QString OddName = QStringLiteral("O'Brien \"100%\" Müller – 日本");

QString packagePath(const QString &name) { return QDir(TestDb::tempDir()).filePath(name + QStringLiteral(".mdb")); }

// A package with two reports and everything they use. Source ids are far from the ids a fresh
// repository hands out, so a copied id cannot pass for a translated one.
void buildRichPackage(const QString &path)
{
    PackageBuilder p(path);
    p.category(10, 1, "Sales", 3);
    p.row("ZAT_Report", {{"IdReport", 101}, {"Name", OddName}, {"FilePath", "f1.xlsx"}, {"Version", "Excel"},
                         {"Modified", "2024-03-05 10:20:30"}, {"Description", "d1"}, {"IdCateg", 10},
                         {"Macro", "m1"}, {"IsDeleted", 0}, {"ShowDeleted", 1}, {"DelExSheet", 1},
                         {"DestinationFileAtRuntime", 1}, {"SyncronizeCode", Code1}});
    p.row("ZAT_ExcelSheetSettings", {{"IdSetting", 301}, {"IdReport", 101}, {"SheetName", "Blatt ä"},
                                     {"ShowGridLines", "1"}, {"ShowToolTips", "0"}, {"ShowAutoFilters", "1"},
                                     {"FontName", "Arial"}, {"FontSize", 11}, {"ReportTitle", "T'1"},
                                     {"FreezPanel", "A2"}, {"GroupCols", "1-2"}});
    p.row("ZAT_ReportCols", {{"IdReportCol", 401}, {"IdReport", 101}, {"Name", "A"}, {"Type", 1}, {"Width", 10}, {"Hide", 0}, {"AutoSum", 1}});
    p.row("ZAT_ReportCols", {{"IdReportCol", 402}, {"IdReport", 101}, {"Name", "B"}, {"Type", 2}, {"Width", 20}, {"Hide", 1}, {"AutoSum", 0}});
    p.row("ZAT_SQLViews", {{"IdSQLView", 501}, {"strSQLView", "Select * From T Where x = 'ü'"}, {"Description", "v1"}});
    p.row("ZAT_ReportDS", {{"IdReportDS", 601}, {"IdReport", 101}, {"IdSQLView", 501}, {"IdDataSource", 701}});
    p.row("ZAT_Sort", {{"IdSort", 651}, {"ItemType", "e"}, {"IdItem", 101}, {"SortNr", 7}});

    p.report(102, 1, "Second", Code2);
    p.row("ZAT_ReportDS", {{"IdReportDS", 602}, {"IdReport", 102}, {"IdSQLView", QVariant()}, {"IdDataSource", 702}});

    p.row("ZAT_DataSource", {{"IdDataSource", 701}, {"Name", "Main"}, {"DataSourceString", "Server=a;"}, {"IsJet", 0}});
    p.row("ZAT_DataSource", {{"IdDataSource", 702}, {"Name", "Other"}, {"DataSourceString", "x.mdb"}, {"IsJet", 1}});
    p.row("ZAT_Var", {{"IdVar", 801}, {"IdDataSource", 701}, {"Name", "From"}, {"Type", 3}, {"Caption", "From:"},
                      {"DefaultValue", "d"}, {"LookupSQLString", "Select 1"}, {"SortNr", 1}});
    p.row("ZAT_Var", {{"IdVar", 802}, {"IdDataSource", 701}, {"Name", "To"}, {"Type", 3}, {"SortNr", 2}});
    p.row("ZAT_Var", {{"IdVar", 803}, {"IdDataSource", 702}, {"Name", "Other var"}, {"Type", 1}, {"SortNr", 1}});
    p.row("ZAT_Dependences", {{"ID", 851}, {"IdVar", 802}, {"Iddep", 801}});

    p.row("ZAT_CategMacros", {{"IdCateg", 950}, {"Denumire", "Utils ö"}});
    p.row("ZAT_Macros", {{"IdMacro", 901}, {"IdCateg", 950}, {"MacroName", "A"}, {"Body", "Sub A()\r\nEnd Sub"}});
    p.row("ZAT_Macros", {{"IdMacro", 902}, {"IdCateg", 950}, {"MacroName", "B"}, {"Body", "Sub B()"}});
    p.row("ZAT_Macros", {{"IdMacro", 903}, {"IdCateg", 950}, {"MacroName", "C"}, {"Body", "Sub C()"}});
    p.row("ZAT_References", {{"IdReference", 911}, {"IdSource", 101}, {"IdMacro", 901}, {"Tip", "r"}});
    p.row("ZAT_References", {{"IdReference", 912}, {"IdSource", 102}, {"IdMacro", 901}, {"Tip", "r"}});
    p.row("ZAT_References", {{"IdReference", 913}, {"IdSource", 901}, {"IdMacro", 902}, {"Tip", "m"}});
    p.row("ZAT_References", {{"IdReference", 914}, {"IdSource", 902}, {"IdMacro", 901}, {"Tip", "m"}});
    p.row("ZAT_References", {{"IdReference", 915}, {"IdSource", 903}, {"IdMacro", 901}, {"Tip", "m"}});

    p.row("ZAT_Role", {{"IdRole", 1001}, {"Role", "Readers"}});
    p.row("ZAT_Role", {{"IdRole", 1002}, {"Role", "Unused"}});
    p.row("ZAT_Role_Report", {{"IdLeg", 1101}, {"IdRole", 1001}, {"IdReport", 101}});
    p.row("ZAT_App", {{"IdApp", 1201}, {"AppName", "Client"}});
    p.row("ZAT_UserApp", {{"IdUserApp", 1301}, {"IdApp", 1201}, {"IdUser", 42}, {"User", "jo'e"},
                          {"UserFName", "Jo"}, {"UserLName", "Ë"}, {"Password", "\x01scrambled\x7f"}});
    p.row("ZAT_UserApp_Role", {{"IdLeg", 1401}, {"IdUserApp", 1301}, {"IdRole", 1001}});
}

ImportOptions everything(const QString &path)
{
    ImportOptions o;
    o.packagePath = path;
    o.idCategDest = 1;
    o.reportIds = {101, 102};
    o.dataSources = ImportOptions::Choice::ForReports;
    o.macros = ImportOptions::Choice::ForReports;
    o.roles = true;
    o.users = true;
    return o;
}

// The import dialog with an eye on its controls while a run reports progress.
struct ObservedImport : frmImport {
    QStringList busyStates;
    void status(const QString &text) override
    {
        if (text.contains(QLatin1String("Processing report")))
            busyStates << QStringLiteral("%1 %2 %3 %4 %5")
                              .arg(cmdSyncronize->isHidden())
                              .arg(cmdExport->isEnabled() || cmdClose->isEnabled() || cmdBrowse->isEnabled()
                                   || cmdDSN->isEnabled() || cmdMacros->isEnabled() || cmdCheckAll->isEnabled()
                                   || cmdClearAll->isEnabled())
                              .arg(ProgressBar1->isHidden())
                              .arg(ProgressBar1->value())
                              .arg(ProgressBar1->maximum());
        frmImport::status(text);
    }
};

struct RecordingProgress : TransferProgress {
    QStringList texts;
    QList<QPair<int, int>> values;
    void status(const QString &t) override { texts << t; }
    void progress(int v, int m) override { values << qMakePair(v, m); }
    void yield() override {}
};

int scalarInt(const QSqlDatabase &db, const QString &sql) { return Sql::scalar(db, sql).toInt(); }
QString scalarText(const QSqlDatabase &db, const QString &sql) { return Sql::scalar(db, sql).toString(); }

// Row counts of every table a run writes.
QMap<QString, int> counts(const QSqlDatabase &db)
{
    QMap<QString, int> c;
    for (const Schema::Table &t : Schema::tables())
        c.insert(t.name, rowCount(db, t.name));
    return c;
}

} // namespace

class TestImport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The console's session is a static: close it while Qt's connection registry still exists.
    void cleanupTestCase() { App::session().ResetConnection(); }

    void percentRoundsHalvesToEven_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("expected");
        QTest::newRow("exact") << 1 << 4 << 25;
        QTest::newRow("half down to even") << 1 << 8 << 12;   // 12.5
        QTest::newRow("half up to even") << 3 << 8 << 38;     // 37.5
        QTest::newRow("below half") << 1 << 6 << 17;          // 16.67
        QTest::newRow("no maximum") << 1 << 0 << 0;
    }
    void percentRoundsHalvesToEven()
    {
        QFETCH(int, value);
        QFETCH(int, maximum);
        QFETCH(int, expected);
        QCOMPARE(ImportRun::percent(value, maximum), expected);
    }

    void importsEverythingUnderNewIds_data() { TestDb::addBackends(); }
    void importsEverythingUnderNewIds()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const int categ = Sql::insert(db, "ZAT_Category", "IdCateg", {{"Name", "Dest"}, {"IdParent", 1}, {"IsDeleted", 0}});
        const QString path = packagePath("rich-" + backend);
        buildRichPackage(path);

        RecordingProgress progress;
        ImportOptions o = everything(path);
        o.idCategDest = categ;
        ImportRun run(db, o, &progress);
        run.run();

        QCOMPARE(progress.texts, QStringList({"1% Importing data sources ...", "17% Processing report '" + OddName + "'",
                                              "33% Processing report 'Second'", "97% Importing excel macros ...",
                                              "98% Importing security roles ...", "99% Importing users ..."}));
        QCOMPARE(progress.values.last(), qMakePair(5, 6));

        // Reports, with every row pointing at the new report.
        const int r1 = run.reportMap.value(101), r2 = run.reportMap.value(102);
        QVERIFY(r1 > 0 && r2 > 0 && r1 != 101 && r2 != 102);
        QSqlQuery q = Sql::exec(db, QStringLiteral("Select * From ZAT_Report Where IdReport = %1").arg(r1));
        QVERIFY(q.next());
        QCOMPARE(Sql::text(q, "Name"), OddName);
        QCOMPARE(Sql::text(q, "FilePath"), QStringLiteral("f1.xlsx"));
        QCOMPARE(Sql::text(q, "Version"), QStringLiteral("Excel"));
        QCOMPARE(Sql::dateTime(q, "Modified"), QDateTime(QDate(2024, 3, 5), QTime(10, 20, 30)));
        QCOMPARE(Sql::text(q, "Macro"), QStringLiteral("m1"));
        QCOMPARE(Sql::integer(q, "IdCateg"), categ);
        QCOMPARE(Sql::integer(q, "ShowDeleted") + Sql::integer(q, "DelExSheet") + Sql::integer(q, "DestinationFileAtRuntime"), 3);
        QCOMPARE(Sql::text(q, "SyncronizeCode"), Code1); // pairable with the report it came from
        q = Sql::exec(db, QStringLiteral("Select * From ZAT_ExcelSheetSettings Where IdReport = %1").arg(r1));
        QVERIFY(q.next());
        QCOMPARE(Sql::text(q, "SheetName"), QStringLiteral("Blatt ä"));
        QCOMPARE(q.value("FontSize").toDouble(), 11.0);
        QCOMPARE(Sql::text(q, "ReportTitle") + Sql::text(q, "FreezPanel") + Sql::text(q, "GroupCols"), QStringLiteral("T'1A21-2"));
        QCOMPARE(scalarText(db, QStringLiteral("Select Name From ZAT_ReportCols Where IdReport = %1 And AutoSum = 1").arg(r1)), QStringLiteral("A"));
        QCOMPARE(rowCount(db, "ZAT_ReportCols", QStringLiteral("IdReport = %1").arg(r1)), 2);
        q = Sql::exec(db, QStringLiteral("Select d.IdDataSource, v.strSQLView From ZAT_ReportDS d Inner Join ZAT_SQLViews v "
                                         "On v.IdSQLView = d.IdSQLView Where d.IdReport = %1").arg(r1));
        QVERIFY(q.next());
        QCOMPARE(q.value(1).toString(), QStringLiteral("Select * From T Where x = 'ü'"));
        const int ds1 = run.dataSourceMap.value(701);
        QCOMPARE(q.value(0).toInt(), ds1);
        QCOMPARE(scalarInt(db, QStringLiteral("Select SortNr From ZAT_Sort Where ItemType = 'e' And IdItem = %1").arg(r1)), 7);
        // Report 102 links a data source that the package also holds: imported too, no view.
        QCOMPARE(scalarInt(db, QStringLiteral("Select IdSQLView From ZAT_ReportDS Where IdReport = %1").arg(r2)), 0);
        QCOMPARE(scalarInt(db, QStringLiteral("Select IdDataSource From ZAT_ReportDS Where IdReport = %1").arg(r2)),
                 run.dataSourceMap.value(702));

        // Data sources, variables and the dependency, through the new ids.
        QCOMPARE(run.dataSourcesUsed, QList<int>({701, 702}));
        QCOMPARE(scalarInt(db, QStringLiteral("Select count(*) From ZAT_Var Where IdDataSource = %1").arg(ds1)), 2);
        QCOMPARE(scalarText(db, QStringLiteral("Select Caption From ZAT_Var Where IdVar = %1").arg(run.varMap.value(801))), QStringLiteral("From:"));
        q = Sql::exec(db, "Select IdVar, Iddep From ZAT_Dependences");
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), run.varMap.value(802));
        QCOMPARE(q.value(1).toInt(), run.varMap.value(801));
        QVERIFY(!q.next());

        // Macros: A and B (a cycle) once, C not; both report references and both macro references.
        QCOMPARE(rowCount(db, "ZAT_Macros"), 2);
        QCOMPARE(rowCount(db, "ZAT_CategMacros"), 1);
        const int mA = run.macroMap.value(901), mB = run.macroMap.value(902);
        QCOMPARE(scalarText(db, QStringLiteral("Select Body From ZAT_Macros Where IdMacro = %1").arg(mA)), QStringLiteral("Sub A()\r\nEnd Sub"));
        QCOMPARE(scalarInt(db, QStringLiteral("Select IdCateg From ZAT_Macros Where IdMacro = %1").arg(mB)), run.macroCategMap.value(950));
        QCOMPARE(rowCount(db, "ZAT_References", QStringLiteral("Tip = 'r' And IdMacro = %1 And IdSource In (%2,%3)").arg(mA).arg(r1).arg(r2)), 2);
        QCOMPARE(rowCount(db, "ZAT_References", QStringLiteral("Tip = 'm' And IdSource = %1 And IdMacro = %2").arg(mA).arg(mB)), 1);
        QCOMPARE(rowCount(db, "ZAT_References", QStringLiteral("Tip = 'm' And IdSource = %1 And IdMacro = %2").arg(mB).arg(mA)), 1);
        QCOMPARE(rowCount(db, "ZAT_References"), 4); // C -> A is left out: C was not gathered

        // Roles, grants, applications, users and their roles.
        const int role = run.roleMap.value(1001);
        QCOMPARE(scalarText(db, QStringLiteral("Select Role From ZAT_Role Where IdRole = %1").arg(role)), QStringLiteral("Readers"));
        QCOMPARE(rowCount(db, "ZAT_Role"), 1);
        QCOMPARE(rowCount(db, "ZAT_Role_Report", QStringLiteral("IdRole = %1 And IdReport = %2").arg(role).arg(r1)), 1);
        const int user = run.userMap.value(1301);
        q = Sql::exec(db, QStringLiteral("Select * From ZAT_UserApp Where IdUserApp = %1").arg(user));
        QVERIFY(q.next());
        QCOMPARE(Sql::integer(q, "IdApp"), run.appMap.value(1201));
        QCOMPARE(Sql::text(q, "User"), QStringLiteral("jo'e"));
        QCOMPARE(Sql::text(q, "Password"), QStringLiteral("\x01scrambled\x7f"));
        QCOMPARE(Sql::integer(q, "IdUser"), 42);
        // The role was added by this run under another id: the user still gets it.
        QCOMPARE(scalarInt(db, QStringLiteral("Select IdRole From ZAT_UserApp_Role Where IdUserApp = %1").arg(user)), role);

        // A second run adds the reports again, without the code the first copies hold; what is
        // unique by name is reused.
        const QMap<QString, int> before = counts(db);
        ImportRun again(db, o);
        again.run();
        const QMap<QString, int> after = counts(db);
        for (const char *t : {"ZAT_Report", "ZAT_ReportCols", "ZAT_ReportDS", "ZAT_SQLViews", "ZAT_Role_Report"})
            QVERIFY2(after[t] > before[t], qPrintable(t));
        for (const char *t : {"ZAT_DataSource", "ZAT_Var", "ZAT_Dependences", "ZAT_Macros", "ZAT_CategMacros", "ZAT_App",
                              "ZAT_UserApp", "ZAT_UserApp_Role", "ZAT_Role"})
            QVERIFY2(after[t] == before[t], qPrintable(t));
        QCOMPARE(after["ZAT_References"], before["ZAT_References"] + 2); // the new copies' report references
        QVERIFY(again.reportMap.value(101) != r1);
        QVERIFY(Sql::scalar(db, QStringLiteral("Select SyncronizeCode From ZAT_Report Where IdReport = %1")
                                    .arg(again.reportMap.value(101))).toString().isEmpty());
        QCOMPARE(again.dataSourcesReused, QSet<int>({701, 702}));
    }

    void synchronisedReportIsOverwrittenInPlace_data() { TestDb::addBackends(); }
    void synchronisedReportIsOverwrittenInPlace()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const int categ = Sql::insert(db, "ZAT_Category", "IdCateg", {{"Name", "Kept"}, {"IdParent", 1}, {"IsDeleted", 0}});
        const int dest = Sql::insert(db, "ZAT_Report", "IdReport",
                                     {{"Name", "Old"}, {"FilePath", "old"}, {"IdCateg", categ}, {"IsDeleted", 0},
                                      {"ShowDeleted", 0}, {"DelExSheet", 0}, {"DestinationFileAtRuntime", 0},
                                      {"SyncronizeCode", Code1}});
        const int oldSetting = Sql::insert(db, "ZAT_ExcelSheetSettings", "IdSetting", {{"IdReport", dest}, {"SheetName", "old"}});
        const int keptCol = Sql::insert(db, "ZAT_ReportCols", "IdReportCol", {{"IdReport", dest}, {"Name", "x"}});
        for (int i = 0; i < 2; ++i)
            Sql::insert(db, "ZAT_ReportCols", "IdReportCol", {{"IdReport", dest}, {"Name", "surplus"}});
        const int view = Sql::insert(db, "ZAT_SQLViews", "IdSQLView", {{"strSQLView", "old sql"}});
        const int ds = Sql::insert(db, "ZAT_DataSource", "IdDataSource", {{"Name", "dest ds"}});
        Sql::insert(db, "ZAT_ReportDS", "IdReportDS", {{"IdReport", dest}, {"IdSQLView", view}, {"IdDataSource", ds}});
        Sql::insert(db, "ZAT_Sort", "IdSort", {{"ItemType", "e"}, {"IdItem", dest}, {"SortNr", 99}});
        const int role = Sql::insert(db, "ZAT_Role", "IdRole", {{"Role", "Dest role"}});
        const QString path = packagePath("sync-" + backend);
        buildRichPackage(path);
        {
            // The package's role carries the name of the destination's role, which is already granted.
            QSqlDatabase pkg = PackageFile::openForWriting(path, Schema::PackagePassword, "sync-writer");
            Sql::exec(pkg, "Update ZAT_Role Set Role = 'Dest role' Where IdRole = 1001");
            pkg = QSqlDatabase();
            PackageFile::close("sync-writer");
        }
        Sql::insert(db, "ZAT_Role_Report", "IdLeg", {{"IdRole", role}, {"IdReport", dest}});
        Sql::insert(db, "ZAT_References", "IdReference", {{"IdSource", dest}, {"IdMacro", 12345}, {"Tip", "r"}});

        ImportOptions o = everything(path);
        o.reportIds = {101};
        o.users = false;
        o.syncPairs.insert(101, Code1);
        ImportRun run(db, o);
        run.run();

        QCOMPARE(run.reportMap.value(101), dest);
        QCOMPARE(rowCount(db, "ZAT_Report"), 1);
        QSqlQuery q = Sql::exec(db, QStringLiteral("Select * From ZAT_Report Where IdReport = %1").arg(dest));
        QVERIFY(q.next());
        QCOMPARE(Sql::text(q, "Name"), OddName);
        QCOMPARE(Sql::text(q, "FilePath"), QStringLiteral("f1.xlsx"));
        QCOMPARE(Sql::text(q, "Description"), QStringLiteral("d1"));
        QCOMPARE(Sql::text(q, "Macro"), QStringLiteral("m1"));
        QCOMPARE(Sql::integer(q, "IdCateg"), categ);
        QCOMPARE(Sql::integer(q, "ShowDeleted") + Sql::integer(q, "DelExSheet") + Sql::integer(q, "DestinationFileAtRuntime"), 0);
        QCOMPARE(Sql::text(q, "SyncronizeCode"), Code1);
        QCOMPARE(scalarText(db, QStringLiteral("Select SheetName From ZAT_ExcelSheetSettings Where IdSetting = %1").arg(oldSetting)), QStringLiteral("Blatt ä"));
        QCOMPARE(rowCount(db, "ZAT_ExcelSheetSettings"), 1);
        // Exactly the package's columns; the first keeps its row.
        QCOMPARE(rowCount(db, "ZAT_ReportCols", QStringLiteral("IdReport = %1").arg(dest)), 2);
        QCOMPARE(scalarText(db, QStringLiteral("Select Name From ZAT_ReportCols Where IdReportCol = %1").arg(keptCol)), QStringLiteral("A"));
        QCOMPARE(rowCount(db, "ZAT_ReportCols", "Name = 'surplus'"), 0);
        // SQL replaced; link, data source and sort position kept.
        QCOMPARE(scalarText(db, QStringLiteral("Select strSQLView From ZAT_SQLViews Where IdSQLView = %1").arg(view)), QStringLiteral("Select * From T Where x = 'ü'"));
        QCOMPARE(rowCount(db, "ZAT_ReportDS"), 1);
        QCOMPARE(scalarInt(db, "Select IdDataSource From ZAT_ReportDS"), ds);
        QCOMPARE(scalarInt(db, "Select SortNr From ZAT_Sort Where ItemType = 'e'"), 99);
        // The grant it held is not doubled; its macro references are replaced.
        QCOMPARE(rowCount(db, "ZAT_Role_Report"), 1);
        QCOMPARE(scalarText(db, QStringLiteral("Select Role From ZAT_Role Where IdRole = %1").arg(role)), QStringLiteral("Dest role"));
        QCOMPARE(rowCount(db, "ZAT_References", QStringLiteral("Tip = 'r' And IdSource = %1").arg(dest)), 1);
        QCOMPARE(scalarInt(db, QStringLiteral("Select IdMacro From ZAT_References Where Tip = 'r' And IdSource = %1").arg(dest)),
                 run.macroMap.value(901));
    }

    // Pairs that find no live partner bring the report in as a new one.
    void pairWithoutLivePartner_data()
    {
        TestDb::addBackends();
    }
    void pairWithoutLivePartner()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const int binned = Sql::insert(db, "ZAT_Report", "IdReport",
                                       {{"Name", "In the bin"}, {"IdCateg", 1}, {"IsDeleted", 1}, {"SyncronizeCode", Code1}});
        const QString strangerCode(50, QLatin1Char('3'));
        const int stranger = Sql::insert(db, "ZAT_Report", "IdReport",
                                         {{"Name", "Stranger"}, {"IdCateg", 1}, {"IsDeleted", 0}, {"SyncronizeCode", strangerCode}});
        const QString path = packagePath("nopartner-" + backend);
        buildRichPackage(path);
        {
            QSqlDatabase pkg = PackageFile::openForReading(path, Schema::PackagePassword, "cand");
            const QList<SyncCandidate> c = LoadSyncCandidates(pkg, db);
            QCOMPARE(c.size(), 2);
            QCOMPARE(c[0].idReport, 101);
            QCOMPARE(c[0].partnerId, 0); // a report in the recycle bin is no partner
            pkg = QSqlDatabase();
            PackageFile::close("cand");
        }
        ImportOptions o;
        o.packagePath = path;
        o.reportIds = {101, 102};
        o.syncPairs.insert(101, Code1);
        o.syncPairs.insert(102, QStringLiteral("2")); // a package report without partner
        ImportRun run(db, o);
        run.run();
        // A pair whose code is not the package report's own (left from another package) is no pair.
        ImportOptions stale = o;
        stale.reportIds = {101};
        stale.syncPairs = {{101, strangerCode}};
        ImportRun(db, stale).run();
        QCOMPARE(scalarText(db, QStringLiteral("Select Name From ZAT_Report Where IdReport = %1").arg(stranger)), QStringLiteral("Stranger"));
        QCOMPARE(rowCount(db, "ZAT_Report", "IdCateg = 1 And IsDeleted = 0"), 4);
        QVERIFY(run.reportMap.value(101) != binned);
        QCOMPARE(scalarText(db, QStringLiteral("Select Name From ZAT_Report Where IdReport = %1").arg(binned)), QStringLiteral("In the bin"));
        QCOMPARE(rowCount(db, "ZAT_Sort", "ItemType = 'e'"), 2);
    }

    void selectionsDecideWhatComesAlong_data() { TestDb::addBackends(); }
    void selectionsDecideWhatComesAlong()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const QString path = packagePath("select-" + backend);
        buildRichPackage(path);

        // Selected data sources, none picked: the link keeps no data source. Picked macro B
        // alone: its reference to A cannot be translated and is left out, with a warning.
        ImportOptions o;
        o.packagePath = path;
        o.reportIds = {101};
        o.dataSources = ImportOptions::Choice::Selected;
        o.macros = ImportOptions::Choice::Selected;
        o.macroIds = {902};
        QStringList warnings;
        ImportRun run(db, o, nullptr, [&](const AppError &e, const QString &origin) { warnings << origin + ": " + e.description; });
        run.run();
        QCOMPARE(rowCount(db, "ZAT_DataSource"), 0);
        QCOMPARE(rowCount(db, "ZAT_Var"), 0);
        QCOMPARE(rowCount(db, "ZAT_ReportDS"), 1);
        QVERIFY(Sql::scalar(db, "Select IdDataSource From ZAT_ReportDS").isNull());
        QCOMPARE(rowCount(db, "ZAT_Macros"), 1);
        QCOMPARE(rowCount(db, "ZAT_References"), 0);
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings[0].startsWith("ImportMacros(): 2 macro reference(s) were left out"), qPrintable(warnings[0]));
        QCOMPARE(rowCount(db, "ZAT_Role"), 0);
        QCOMPARE(rowCount(db, "ZAT_UserApp"), 0);

        // No ticked report: macros for reports and data sources for reports bring nothing;
        // users come all the same.
        ImportOptions none;
        none.packagePath = path;
        none.dataSources = ImportOptions::Choice::ForReports;
        none.users = true;
        none.roles = true;
        ImportRun empty(db, none);
        empty.run();
        QCOMPARE(rowCount(db, "ZAT_DataSource"), 0);
        QCOMPARE(rowCount(db, "ZAT_Macros"), 1);
        QCOMPARE(rowCount(db, "ZAT_UserApp", "IdUser = 42"), 1);
        // Its role, named in the package, is found (here: created) by name.
        QCOMPARE(scalarInt(db, "Select IdRole From ZAT_UserApp_Role"), scalarInt(db, "Select IdRole From ZAT_Role Where Role = 'Readers'"));
    }

    // A package role id says nothing about the destination: its role 1001 is another role.
    void rolesAreMatchedByName_data() { TestDb::addBackends(); }
    void rolesAreMatchedByName()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const QString path = packagePath("userrole-" + backend);
        buildRichPackage(path);
        Sql::insertRow(db, "ZAT_Role", {{"IdRole", 1001}, {"Role", "External contractors"}});
        ImportOptions o = everything(path);
        o.roles = false; // the users' roles are still found by name
        ImportRun run(db, o);
        run.run();
        const int readers = scalarInt(db, "Select IdRole From ZAT_Role Where Role = 'Readers'");
        QVERIFY(readers != 0 && readers != 1001);
        QCOMPARE(scalarInt(db, "Select IdRole From ZAT_UserApp_Role"), readers);
        QCOMPARE(rowCount(db, "ZAT_Role_Report"), 0);
        o.roles = true;
        ImportRun(db, o).run();
        QCOMPARE(rowCount(db, "ZAT_Role_Report", QStringLiteral("IdRole = %1").arg(readers)), 1);
        QCOMPARE(rowCount(db, "ZAT_Role_Report", "IdRole = 1001"), 0);
        QCOMPARE(rowCount(db, "ZAT_Role"), 2);
        QCOMPARE(rowCount(db, "ZAT_UserApp_Role"), 1);
    }

    // New reports need a live category: the recycle bin or a deleted one would hide them for good.
    void destinationMustHoldNewReports_data() { TestDb::addBackends(); }
    void destinationMustHoldNewReports()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const QString path = packagePath("bin-dest-" + backend);
        buildRichPackage(path);
        const int deleted = Sql::insert(db, "ZAT_Category", "IdCateg", {{"Name", "gone"}, {"IdParent", 1}, {"IsDeleted", 1}});
        const QMap<QString, int> before = counts(db);
        for (const int dest : {2, deleted, 999999}) {
            ImportOptions o = everything(path);
            o.idCategDest = dest;
            ImportRun run(db, o);
            try {
                run.run();
                QFAIL("the run should have been refused");
            } catch (const AppError &e) {
                QCOMPARE(e.description, QStringLiteral("The category %1 cannot hold new reports.").arg(dest));
            }
            QCOMPARE(counts(db), before);
        }
    }

    // A failure once writing started ends the run and takes back everything it wrote, on both
    // back-ends; the message says where it failed.
    void failureLeavesTheRepositoryAsItWas_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("failure");
        for (const QString backend : {"sqlite", "postgres"}) {
            QTest::newRow(qPrintable(backend + ": last report")) << backend << "last report";
            QTest::newRow(qPrintable(backend + ": users")) << backend << "users";
        }
    }
    void failureLeavesTheRepositoryAsItWas()
    {
        QFETCH(QString, backend);
        QFETCH(QString, failure);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const QString path = packagePath("rollback-" + backend);
        buildRichPackage(path);
        QString expected;
        if (failure == "last report") {
            TestDb::refuseInserts(db, "ZAT_Report", "Name", "Second");
            expected = "Report 'Second' (102), table ZAT_Report: ";
        } else {
            Sql::exec(db, QStringLiteral("Create Unique Index IX_Test_UserName On ZAT_UserApp (%1)").arg(Sql::userColumn()));
            Sql::insert(db, "ZAT_UserApp", "IdUserApp", {{"IdApp", 1}, {"User", "jo'e"}});
            expected = "Importing users, table ZAT_UserApp: ";
        }
        const QStringList before = RowDump::all(db);
        RecordingProgress progress;
        ImportRun run(db, everything(path), &progress);
        try {
            run.run();
            QFAIL("the run should have failed");
        } catch (const AppError &e) {
            QVERIFY2(e.description.startsWith(expected), qPrintable(e.description));
        }
        QCOMPARE(RowDump::all(db), before);
        // The connection is usable afterwards (no aborted transaction left behind).
        Sql::insert(db, "ZAT_Role", "IdRole", {{"Role", "after"}});
    }

    // A macro row the destination refuses is left out, counted and reported; the run goes on.
    void refusedMacroIsCounted_data() { TestDb::addBackends(); }
    void refusedMacroIsCounted()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const QString path = packagePath("refused-macro-" + backend);
        buildRichPackage(path);
        TestDb::refuseInserts(db, "ZAT_Macros", "MacroName", "B");
        QStringList warnings;
        ImportRun run(db, everything(path), nullptr, [&](const AppError &e, const QString &origin) { warnings << origin + ": " + e.description; });
        run.run();
        QCOMPARE(rowCount(db, "ZAT_Report"), 2);
        QCOMPARE(RowDump::rows(db, "Select MacroName From ZAT_Macros"), QStringList({"A"}));
        QCOMPARE(run.skippedRows, 3); // the macro and both references that needed it
        QCOMPARE(warnings.size(), 2);
        QVERIFY2(warnings[0].startsWith("ImportMacros(): 1 macro row(s) could not be stored and were left out; the first: ZAT_Macros: "),
                 qPrintable(warnings[0]));
        QVERIFY2(warnings[1].startsWith("ImportMacros(): 2 macro reference(s) were left out"), qPrintable(warnings[1]));
    }

    void nullsEverywhereGetDefaults_data() { TestDb::addBackends(); }
    void nullsEverywhereGetDefaults()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const QString path = packagePath("nulls-" + backend);
        {
            PackageBuilder p(path);
            p.row("ZAT_Report", {{"IdReport", 5}});
            p.row("ZAT_ExcelSheetSettings", {{"IdSetting", 6}, {"IdReport", 5}});
            p.row("ZAT_ReportCols", {{"IdReportCol", 7}, {"IdReport", 5}});
            p.row("ZAT_ReportDS", {{"IdReportDS", 8}, {"IdReport", 5}, {"IdSQLView", 9}});
            p.row("ZAT_SQLViews", {{"IdSQLView", 9}});
            p.row("ZAT_Sort", {{"IdSort", 10}, {"ItemType", "e"}, {"IdItem", 5}});
            // Values of the wrong type, as a file from elsewhere may hold them.
            p.row("ZAT_Report", {{"IdReport", 11}, {"Name", "typed"}, {"Modified", "not a date"}, {"IsDeleted", "yes"},
                                 {"ShowDeleted", 99999999}});
        }
        ImportOptions o;
        o.packagePath = path;
        o.reportIds = {5, 11};
        ImportRun run(db, o);
        run.run();
        const int r = run.reportMap.value(5);
        QSqlQuery q = Sql::exec(db, QStringLiteral("Select * From ZAT_Report Where IdReport = %1").arg(r));
        QVERIFY(q.next());
        QVERIFY(!q.value("Name").isNull());
        QCOMPARE(Sql::text(q, "Name"), QString(""));
        QVERIFY(q.value("Modified").isNull());
        QCOMPARE(scalarInt(db, QStringLiteral("Select FontSize From ZAT_ExcelSheetSettings Where IdReport = %1").arg(r)), 8);
        QCOMPARE(scalarText(db, QStringLiteral("Select SheetName From ZAT_ExcelSheetSettings Where IdReport = %1").arg(r)), QString(""));
        QCOMPARE(scalarInt(db, QStringLiteral("Select Width From ZAT_ReportCols Where IdReport = %1").arg(r)), 0);
        QCOMPARE(scalarText(db, "Select strSQLView From ZAT_SQLViews"), QString(""));
        QCOMPARE(scalarInt(db, QStringLiteral("Select SortNr From ZAT_Sort Where IdItem = %1 And ItemType = 'e'").arg(r)), 0);
        const int typed = run.reportMap.value(11);
        QVERIFY(Sql::scalar(db, QStringLiteral("Select Modified From ZAT_Report Where IdReport = %1").arg(typed)).isNull());
        QCOMPARE(scalarInt(db, QStringLiteral("Select ShowDeleted From ZAT_Report Where IdReport = %1").arg(typed)), 1);
    }

    void badPackagesWriteNothing_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("message");
        for (const QString backend : {"sqlite", "postgres"}) {
            const auto row = [&](const char *damage, const char *message) {
                QTest::newRow(qPrintable(backend + ": " + damage)) << backend << QString(damage) << QString(message);
            };
            row("not a package", "is not a Velmora repository or package");
            row("missing file", "does not exist");
            row("wrong password", "Not a valid password");
            row("truncated", "damaged");
            row("newer format", "newer version");
            row("missing table", "missing: ZAT_Var");
            row("missing column", "missing: ZAT_Report.Macro");
            row("report not in package", "no report with id 777");
            row("dangling dependency", "depends on variable 4242");
            row("dangling grant", "which it does not hold");
            row("dangling user", "application 4343");
        }
    }
    void badPackagesWriteNothing()
    {
        QFETCH(QString, backend);
        QFETCH(QString, damage);
        QFETCH(QString, message);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const QString path = packagePath("bad");
        buildRichPackage(path);
        ImportOptions o = everything(path);
        const auto edit = [&](const QString &sql) {
            QSqlDatabase pkg = PackageFile::openForWriting(path, Schema::PackagePassword, "bad-writer");
            Sql::exec(pkg, sql);
            pkg = QSqlDatabase();
            PackageFile::close("bad-writer");
        };
        if (damage == "not a package") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QByteArray(4096, 'x'));
        } else if (damage == "missing file") {
            QFile::remove(path);
        } else if (damage == "wrong password") {
            edit("Update ZAT_DbInfo Set PasswordHash = 'abc'");
        } else if (damage == "truncated") {
            QFile f(path);
            const qint64 size = f.size();
            QVERIFY(f.resize(size / 2));
        } else if (damage == "newer format") {
            edit("Update ZAT_DbInfo Set FormatVersion = 99");
        } else if (damage == "missing table") {
            edit("Drop Table ZAT_Var");
        } else if (damage == "missing column") {
            edit("Alter Table ZAT_Report Drop Column Macro");
        } else if (damage == "report not in package") {
            o.reportIds << 777;
        } else if (damage == "dangling dependency") {
            edit("Insert Into ZAT_Dependences (ID, IdVar, Iddep) Values (852, 801, 4242)");
        } else if (damage == "dangling grant") {
            edit("Insert Into ZAT_Role_Report (IdLeg, IdRole, IdReport) Values (1102, 4444, 102)");
        } else if (damage == "dangling user") {
            edit("Update ZAT_UserApp Set IdApp = 4343");
        }
        const QMap<QString, int> before = counts(db);
        ImportRun run(db, o);
        try {
            run.run();
            QFAIL("a bad package was imported");
        } catch (const AppError &e) {
            QVERIFY2(e.description.contains(message), qPrintable(e.description));
        }
        QCOMPARE(counts(db), before);
    }

    // What the export writes, the import brings back: same content, new ids, every key translated.
    void roundTripThroughExport_data() { TestDb::addBackends(); }
    void roundTripThroughExport()
    {
        QFETCH(QString, backend);
        RepositorySession source;
        TestDb::freshRepository(source, "sqlite");
        const ExportFixture::Sample sample = ExportFixture::build(source.Connection());
        ExportOptions eo;
        eo.packagePath = packagePath("roundtrip-" + backend);
        eo.reportIds = {sample.alpha, sample.beta, sample.gamma};
        ExportRun(source, eo).run();

        RepositorySession dest;
        TestDb::freshRepository(dest, backend);
        QSqlDatabase db = dest.Connection();
        // Occupy the low ids so that an untranslated key would point at the wrong row.
        for (int i = 0; i < 30; ++i)
            for (const char *t : {"ZAT_DataSource", "ZAT_Var", "ZAT_SQLViews", "ZAT_Macros", "ZAT_CategMacros"})
                Sql::insert(db, t, Schema::table(t)->idColumn(), {});
        ImportOptions o;
        o.packagePath = eo.packagePath;
        {
            QSqlDatabase pkg = PackageFile::openForReading(o.packagePath, Schema::PackagePassword, "rt");
            o.reportIds = LoadPackageTree(pkg).reportIds();
            pkg = QSqlDatabase();
            PackageFile::close("rt");
        }
        QCOMPARE(o.reportIds.size(), 3);
        o.dataSources = ImportOptions::Choice::ForReports;
        o.roles = o.users = true;
        ImportRun run(db, o);
        run.run();

        QSqlDatabase src = source.Connection();
        const auto row = [](const QSqlDatabase &d, const QString &sql) {
            QSqlQuery q = Sql::exec(d, sql);
            QStringList values;
            while (q.next()) {
                QStringList r;
                for (int i = 0; i < q.record().count(); ++i)
                    r << (q.value(i).typeId() == QMetaType::QDateTime ? Sql::dateValue(q.value(i).toDateTime()).toString()
                                                                      : q.value(i).toString());
                values << r.join('|');
            }
            return values;
        };
        for (int id : {sample.alpha, sample.beta, sample.gamma}) {
            const int to = run.reportMap.value(id);
            QVERIFY(to > 0);
            QCOMPARE(row(db, QStringLiteral("Select Name, FilePath, Version, Modified, Description, Macro, IsDeleted, ShowDeleted, "
                                            "DelExSheet, DestinationFileAtRuntime From ZAT_Report Where IdReport = %1").arg(to)),
                     row(src, QStringLiteral("Select Name, FilePath, Version, Modified, Description, Macro, IsDeleted, ShowDeleted, "
                                             "DelExSheet, DestinationFileAtRuntime From ZAT_Report Where IdReport = %1").arg(id)));
            const QString settings = "Select SheetName, ShowGridLines, FontName, FontSize, ReportTitle From ZAT_ExcelSheetSettings Where IdReport = %1";
            QCOMPARE(row(db, settings.arg(to)), row(src, settings.arg(id)));
            const QString cols = "Select Name, Type, Width, Hide, AutoSum From ZAT_ReportCols Where IdReport = %1 Order By IdReportCol";
            QCOMPARE(row(db, cols.arg(to)), row(src, cols.arg(id)));
            // The first link row with its view and the data source's name.
            const QString link = "Select v.strSQLView, s.Name From ZAT_ReportDS d Left Join ZAT_SQLViews v On v.IdSQLView = d.IdSQLView "
                                 "Left Join ZAT_DataSource s On s.IdDataSource = d.IdDataSource Where d.IdReport = %1 Order By d.IdReportDS";
            QCOMPARE(row(db, link.arg(to)), row(src, link.arg(id)).mid(0, 1));
            const QString macros = "Select m.MacroName, c.Denumire From ZAT_References r Inner Join ZAT_Macros m On m.IdMacro = r.IdMacro "
                                   "Inner Join ZAT_CategMacros c On c.IdCateg = m.IdCateg Where r.Tip = 'r' And r.IdSource = %1";
            if (id != sample.beta) // beta's macro has no category in the source
                QCOMPARE(row(db, macros.arg(to)), row(src, macros.arg(id)));
            const QString roles = "Select o.Role From ZAT_Role_Report g Inner Join ZAT_Role o On o.IdRole = g.IdRole Where g.IdReport = %1";
            QCOMPARE(row(db, roles.arg(to)), row(src, roles.arg(id)));
            QCOMPARE(scalarInt(db, QStringLiteral("Select IdCateg From ZAT_Report Where IdReport = %1").arg(to)), 1);
        }
        const QString macroRefs = "Select a.MacroName || '>' || b.MacroName From ZAT_References r Inner Join ZAT_Macros a On a.IdMacro = r.IdSource "
                                  "Inner Join ZAT_Macros b On b.IdMacro = r.IdMacro Where r.Tip = 'm' Order By 1";
        QCOMPARE(row(db, macroRefs), QStringList({"M1>M2", "M2>M3", "M3>M1"}));
        const QString deps = "Select a.Name || '>' || b.Name From ZAT_Dependences d Inner Join ZAT_Var a On a.IdVar = d.IdVar "
                             "Inner Join ZAT_Var b On b.IdVar = d.Iddep Order By 1";
        const QString vars = "Select s.Name, v.Name, v.Type, v.SortNr From ZAT_Var v Inner Join ZAT_DataSource s On s.IdDataSource = v.IdDataSource Order By 1, 2";
        // Data sources of the reports' links: Main, with both its variables and their dependencies.
        QCOMPARE(row(db, vars), QStringList({"Main|From|3|1", "Main|To|3|2"}));
        QCOMPARE(row(db, deps), QStringList({"From>To", "To>From"}));
        const QString users = QStringLiteral("Select a.AppName, u.%1, Coalesce(u.IdUser, 0), u.Password From ZAT_UserApp u Inner Join ZAT_App a On a.IdApp = u.IdApp "
                                             "Where a.AppName = 'Reader app' Order By 2").arg(Sql::userColumn());
        QCOMPARE(row(db, users), row(src, users));
        const QString userRoles = QStringLiteral("Select u.%1, o.Role From ZAT_UserApp_Role g Inner Join ZAT_UserApp u On u.IdUserApp = g.IdUserApp "
                                                 "Inner Join ZAT_Role o On o.IdRole = g.IdRole Order By 1").arg(Sql::userColumn());
        QCOMPARE(row(db, userRoles), QStringList({"ann|Readers"}));
    }

    // ---- the dialogs

    void dialogOpensWithItsDefaults()
    {
        ScriptedPrompter prompts;
        frmImport dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Import Reports from MS Access (.mdb) database"));
        QVERIFY(dlg.findChild<QRadioButton *>("optDepMacros")->isChecked());
        QVERIFY(dlg.findChild<QRadioButton *>("optDSNSel")->isChecked());
        QVERIFY(!dlg.chkRoles->isChecked() && !dlg.chkUsers->isChecked());
        QCOMPARE(dlg.cmdExport->text(), QStringLiteral("&Import"));
        QCOMPARE(dlg.cmdSyncronize->text(), QStringLiteral("Syncronize Reports"));
        QVERIFY(dlg.ProgressBar1->isHidden());
        QVERIFY(dlg.txtDestination->isReadOnly());
        // A long status text (a failure's description) is cut, it does not widen the window.
        const int minWidth = dlg.minimumSizeHint().width();
        dlg.status(QString(500, QLatin1Char('x')));
        QCOMPARE(dlg.minimumSizeHint().width(), minWidth);
        QCOMPARE(dlg.panel1->text().size(), 500);

        // Without a package every command asks for one.
        dlg.cmdExport_Click();
        dlg.cmdDSN_Click();
        dlg.cmdMacros_Click();
        dlg.cmdSyncronize_Click();
        QCOMPARE(prompts.messages(), QStringList({"Select File path!", "Select source database!", "Select source database!",
                                                  "Select source database!"}));
        QCOMPARE(prompts.calls[0].icon, Prompter::Icon::Exclamation);
        QCOMPARE(prompts.calls[0].title, QStringLiteral("Velmora"));
    }

    void treeFromPackageAndTicks()
    {
        ScriptedPrompter prompts;
        const QString path = packagePath("gui-tree");
        buildRichPackage(path);
        frmImport dlg;
        prompts.files.enqueue(path);
        dlg.cmdBrowse_Click();
        QCOMPARE(prompts.last().kind, QStringLiteral("open"));
        QCOMPARE(prompts.last().title, QStringLiteral("Select source database ..."));
        QCOMPARE(dlg.txtPath->text(), path);
        QTreeWidgetItem *root = ItemData::findByKey(dlg.twRep, "c1");
        QTreeWidgetItem *sales = ItemData::findByKey(dlg.twRep, "c10");
        QTreeWidgetItem *r101 = ItemData::findByKey(dlg.twRep, "r101");
        QVERIFY(root && sales && r101);
        QCOMPARE(frmImport::picture(root), 15);
        QCOMPARE(frmImport::picture(sales), 12);
        QCOMPARE(r101->parent(), sales);
        QCOMPARE(r101->text(0), OddName);
        QCOMPARE(ItemData::tag(r101).toInt(), 10);
        QCOMPARE(frmImport::picture(r101), 16);
        QCOMPARE(dlg.panel2->text(), QStringLiteral("2 reports disponible"));
        dlg.twRep_DblClick(r101);
        QCOMPARE(frmImport::picture(r101), 17);
        dlg.twRep_DblClick(sales); // categories are not ticked
        QCOMPARE(frmImport::picture(sales), 12);
        dlg.cmdCheckAll_Click();
        QCOMPARE(frmImport::picture(ItemData::findByKey(dlg.twRep, "r102")), 17);
        dlg.cmdClearAll_Click();
        QCOMPARE(frmImport::picture(r101), 16);

        // A file that is not a package: the error box, an empty tree.
        const QString junk = packagePath("gui-junk");
        QFile f(junk);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(1024, 'j'));
        f.close();
        prompts.files.enqueue(junk);
        dlg.cmdBrowse_Click();
        QCOMPARE(dlg.twRep->topLevelItemCount(), 0);
        QCOMPARE(prompts.last().icon, Prompter::Icon::Critical);
        QVERIFY(prompts.last().text.contains("frmMain.LoadCateg()"));
    }

    void importRunFromTheDialog_data() { TestDb::addBackends(); }
    void importRunFromTheDialog()
    {
        QFETCH(QString, backend);
        ScriptedPrompter prompts;
        RepositorySession &s = TestDb::freshAppSession(backend);
        QSqlDatabase db = s.Connection();
        const int categ = Sql::insert(db, "ZAT_Category", "IdCateg", {{"Name", "Target"}, {"IdParent", 1}, {"IsDeleted", 0}});
        const QString path = packagePath("gui-run-" + backend);
        buildRichPackage(path);
        ObservedImport dlg;
        dlg.IdCategDest = categ;
        prompts.files.enqueue(path);
        dlg.cmdBrowse_Click();
        dlg.twRep_DblClick(ItemData::findByKey(dlg.twRep, "r101"));

        prompts.answers.enqueue(Prompter::Answer::No);
        dlg.cmdExport_Click();
        QCOMPARE(prompts.last().text, QStringLiteral("Import selected reports?"));
        QCOMPARE(prompts.last().buttons, Prompter::Buttons::YesNo);
        QCOMPARE(rowCount(db, "ZAT_Report", QStringLiteral("IdCateg = %1").arg(categ)), 0);

        prompts.clear();
        dlg.cmdExport_Click();
        QCOMPARE(prompts.messages(), QStringList({"Import selected reports?"}));
        QCOMPARE(dlg.busyStates, QStringList({"1 0 0 1 5"})); // sync hidden, seven buttons off, bar at 1 of 1 + 4
        QCOMPARE(dlg.panel1->text(), QStringLiteral("Operation completed successfully."));
        QVERIFY(dlg.ProgressBar1->isHidden());
        QVERIFY(!dlg.cmdSyncronize->isHidden() && dlg.cmdExport->isEnabled() && dlg.cmdClose->isEnabled());
        QCOMPARE(scalarText(db, QStringLiteral("Select Name From ZAT_Report Where IdCateg = %1").arg(categ)), OddName);
        QCOMPARE(dlg.colSelMacros, QList<int>({902, 901})); // what the report uses comes first
        QCOMPARE(rowCount(db, "ZAT_DataSource"), 0);      // selected data sources: none

        // A failing run: the description in the status bar, then the error box; the dialog is idle again.
        Sql::exec(db, "Create Unique Index IX_Test_Macro On ZAT_Macros (MacroName)");
        Sql::exec(db, "Create Unique Index IX_Test_Report On ZAT_Report (Name)");
        prompts.clear();
        dlg.cmdExport_Click();
        QCOMPARE(prompts.messages().size(), 2);
        QCOMPARE(prompts.last().icon, Prompter::Icon::Critical);
        QVERIFY(prompts.last().text.contains("cmdExport_Click()"));
        QVERIFY(!dlg.panel1->text().isEmpty());
        QVERIFY(prompts.last().text.contains(dlg.panel1->text()));
        QVERIFY(dlg.ProgressBar1->isHidden());
        QVERIFY(!dlg.cmdSyncronize->isHidden() && dlg.cmdExport->isEnabled());
    }

    // Preview: the plan in its own window; Back leaves the repository alone, Import runs the import,
    // and a refused import shows its problems first with no way to start it.
    void previewWindow_data() { TestDb::addBackends(); }
    void previewWindow()
    {
        QFETCH(QString, backend);
        ScriptedPrompter prompts;
        RepositorySession &s = TestDb::freshAppSession(backend);
        QSqlDatabase db = s.Connection();
        const int categ = Sql::insert(db, "ZAT_Category", "IdCateg", {{"Name", "Target"}, {"IdParent", 1}, {"IsDeleted", 0}});
        const QString path = packagePath("gui-preview-" + backend);
        buildRichPackage(path);
        frmImport dlg;
        dlg.IdCategDest = categ;
        dlg.show();
        prompts.files.enqueue(path);
        QTest::mouseClick(dlg.cmdBrowse, Qt::LeftButton);
        QTreeWidgetItem *node = ItemData::findByKey(dlg.twRep, "r101");
        QVERIFY(node);
        dlg.twRep->scrollToItem(node);
        const QPoint at = dlg.twRep->visualItemRect(node).center();
        QTest::mouseClick(dlg.twRep->viewport(), Qt::LeftButton, {}, at); // the view pairs a double click with its press
        QTest::mouseDClick(dlg.twRep->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(frmImport::picture(node), int(frmImport::PicReportTicked));

        const auto topTexts = [](frmImportPreview *w) {
            QStringList texts;
            for (int i = 0; i < w->twPlan->topLevelItemCount(); ++i)
                texts << w->twPlan->topLevelItem(i)->text(0);
            return texts;
        };
        QStringList seen;
        QString action;
        bool done = false;
        whenModal<frmImportPreview>(&done, [&](frmImportPreview *w) {
            seen = topTexts(w);
            action = w->twPlan->topLevelItem(0)->child(0)->text(1);
            QTest::mouseClick(w->cmdBack, Qt::LeftButton);
        });
        QTest::mouseClick(dlg.cmdPreview, Qt::LeftButton);
        QTRY_VERIFY(done);
        QCOMPARE(seen, QStringList({"Reports (1): 1 added, 0 overwritten, 0 refused", "Macro categories (1): 1 added, 0 reused",
                                    "Macros (2): 2 added, 0 reused"}));
        QCOMPARE(action, QStringLiteral("add"));
        QCOMPARE(rowCount(db, "ZAT_Report"), 0);

        done = false;
        whenModal<frmImportPreview>(&done, [&](frmImportPreview *w) { QTest::mouseClick(w->cmdImport, Qt::LeftButton); });
        QTest::mouseClick(dlg.cmdPreview, Qt::LeftButton);
        QTRY_VERIFY(done);
        QTRY_COMPARE(rowCount(db, "ZAT_Report", QStringLiteral("IdCateg = %1").arg(categ)), 1);
        QCOMPARE(dlg.panel1->text(), QStringLiteral("Operation completed successfully."));
        QVERIFY(!prompts.messages().contains("Import selected reports?")); // the preview was the question

        dlg.IdCategDest = 2;
        bool importEnabled = true;
        QString summary;
        done = false;
        whenModal<frmImportPreview>(&done, [&](frmImportPreview *w) {
            seen = topTexts(w);
            importEnabled = w->cmdImport->isEnabled();
            summary = w->lblSummary->text();
            QTest::mouseClick(w->cmdBack, Qt::LeftButton);
        });
        QTest::mouseClick(dlg.cmdPreview, Qt::LeftButton);
        QTRY_VERIFY(done);
        QCOMPARE(seen.first(), QStringLiteral("Problems (1)"));
        QVERIFY(!importEnabled);
        QCOMPARE(summary, QStringLiteral("The import would be refused: 1 problem(s)."));
        // Run anyway with the Import button: the error names the same problem.
        prompts.clear();
        QTest::mouseClick(dlg.cmdExport, Qt::LeftButton);
        QCOMPARE(prompts.messages().size(), 2);
        QVERIFY2(prompts.last().text.contains("The category 2 cannot hold new reports."), qPrintable(prompts.last().text));
        QCOMPARE(rowCount(db, "ZAT_Report"), 1);
    }

    void synchronisationDialog_data() { TestDb::addBackends(); }
    void synchronisationDialog()
    {
        QFETCH(QString, backend);
        ScriptedPrompter prompts;
        RepositorySession &s = TestDb::freshAppSession(backend);
        Sql::insert(s.Connection(), "ZAT_Report", "IdReport", {{"Name", "Partner"}, {"IdCateg", 1}, {"IsDeleted", 0}, {"SyncronizeCode", Code1}});
        const QString path = packagePath("gui-sync-" + backend);
        buildRichPackage(path);
        {
            PackageBuilder extra(path + ".tmp"); // keeps the builder's connection counter honest
        }
        {
            QSqlDatabase pkg = PackageFile::openForWriting(path, Schema::PackagePassword, "sync-extra");
            Sql::insertRow(pkg, "ZAT_Report", {{"IdReport", 103}, {"Name", "Binned"}, {"IsDeleted", 1}});
            pkg = QSqlDatabase();
            PackageFile::close("sync-extra");
        }
        frmImport dlg;
        dlg.txtPath->setText(path);

        // First visit: check the listing, tick the matched line, OK.
        bool done = false;
        QTimer::singleShot(0, this, [&] {
            auto *w = qobject_cast<frmSyncronize *>(QApplication::activeModalWidget());
            QVERIFY(w);
            QCOMPARE(w->windowTitle(), QStringLiteral("Syncronize Reports"));
            QCOMPARE(w->lstRep->topLevelItemCount(), 3); // deleted package reports are listed too
            QTreeWidgetItem *matched = ItemData::findByKey(w->lstRep, "k" + Code1);
            QVERIFY(matched);
            QCOMPARE(matched->text(1), QStringLiteral("Partner"));
            QVERIFY(matched->font(0).bold() && matched->font(1).bold());
            QCOMPARE(matched->foreground(0).color(), QColor(0, 0, 255));
            QCOMPARE(matched->foreground(1).color(), QColor(0, 128, 0));
            QTreeWidgetItem *plain = ItemData::findByKey(w->lstRep, "k" + Code2);
            QVERIFY(plain && !plain->font(0).bold() && plain->text(1).isEmpty());
            QVERIFY(ItemData::findByKey(w->lstRep, "k1")); // "Binned" has no code: keyed by position
            matched->setCheckState(0, Qt::Checked);
            w->cmdOK->click();
            done = true;
        });
        dlg.cmdSyncronize_Click();
        QTRY_VERIFY(done);
        QCOMPARE(dlg.colSyncRep, SyncPairs({qMakePair(101, Code1)}));

        // Second visit: the tick is restored; Check All then Cancel keeps the earlier choice.
        done = false;
        QTimer::singleShot(0, this, [&] {
            auto *w = qobject_cast<frmSyncronize *>(QApplication::activeModalWidget());
            QVERIFY(w);
            QCOMPARE(ItemData::findByKey(w->lstRep, "k" + Code1)->checkState(0), Qt::Checked);
            QCOMPARE(ItemData::findByKey(w->lstRep, "k" + Code2)->checkState(0), Qt::Unchecked);
            w->cmdCheckAll->click();
            w->cmdCancel->click();
            done = true;
        });
        dlg.cmdSyncronize_Click();
        QTRY_VERIFY(done);
        QCOMPARE(dlg.colSyncRep, SyncPairs({qMakePair(101, Code1)}));
        QVERIFY(prompts.calls.isEmpty());
    }

    void pickersOpenOnThePackage()
    {
        ScriptedPrompter prompts;
        const QString path = packagePath("gui-pickers");
        buildRichPackage(path);
        frmImport dlg;
        dlg.txtPath->setText(path);
        dlg.optDSNDep->setChecked(true);
        bool done = false;
        QTimer::singleShot(0, this, [&] {
            auto *w = qobject_cast<frmExportDSN *>(QApplication::activeModalWidget());
            QVERIFY(w);
            QCOMPARE(w->lstDSN->topLevelItemCount(), 2);
            ItemData::findByKey(w->lstDSN, "k702")->setCheckState(0, Qt::Checked);
            w->cmdOK->click();
            done = true;
        });
        dlg.cmdDSN_Click();
        QTRY_VERIFY(done);
        QVERIFY(dlg.optDSNSel->isChecked());
        QCOMPARE(dlg.colDSN, QList<int>({702}));

        done = false;
        QTimer::singleShot(0, this, [&] {
            auto *w = qobject_cast<frmExportMacros *>(QApplication::activeModalWidget());
            QVERIFY(w);
            w->colSelMacros = {903};
            w->cmdOK->click();
            done = true;
        });
        dlg.cmdMacros_Click();
        QTRY_VERIFY(done);
        QVERIFY(dlg.optSelMacros->isChecked());
        QCOMPARE(dlg.colSelMacros, QList<int>({903}));

        // A package that cannot be opened is reported with the picker's origin.
        dlg.txtPath->setText(packagePath("gui-pickers-missing"));
        dlg.cmdDSN_Click();
        QVERIFY(prompts.last().text.contains("cmdDSN_Click()"));
        dlg.cmdSyncronize_Click();
        QVERIFY(prompts.last().text.contains("cmdSyncronize_Click()"));
    }

    void showImportDialogTakesTheDestination()
    {
        bool done = false;
        QTimer::singleShot(0, this, [&] {
            auto *w = qobject_cast<frmImport *>(QApplication::activeModalWidget());
            QVERIFY(w);
            QCOMPARE(w->IdCategDest, 7);
            QCOMPARE(w->txtDestination->text(), QStringLiteral("Reports\\Sales"));
            w->cmdClose->click();
            done = true;
        });
        ShowImportDialog(7, QStringLiteral("Reports\\Sales"));
        QTRY_VERIFY(done);
    }

    void treeShowsEveryLiveReport()
    {
        const QString path = packagePath("tree");
        {
            PackageBuilder p(path);
            p.category(20, 21, "Child before parent", 1); // its parent comes later in sort order
            p.category(21, 1, "Parent", 5);
            p.category(22, 1, "No sort row", -1);
            p.category(23, 1, "Deleted", 6, 1);
            p.category(24, 23, "Under deleted", 7);
            p.category(25, 2, "In the bin", 8);
            p.category(26, 27, "Loop a", 9);
            p.category(27, 26, "Loop b", 10);
            p.report(1, 20, "b");
            p.report(2, 22, "a");
            p.report(3, 23, "hidden 1");
            p.report(4, 24, "hidden 2");
            p.report(5, 25, "hidden 3");
            p.report(6, 99, "lost category");
            p.report(7, 1, "deleted", {}, 1);
            p.report(8, 26, "c");
        }
        QSqlDatabase pkg = PackageFile::openForReading(path, Schema::PackagePassword, "tree");
        const PackageTree tree = LoadPackageTree(pkg);
        pkg = QSqlDatabase();
        PackageFile::close("tree");
        QHash<int, int> parentOf;
        QList<int> order;
        for (const auto &c : tree.categories) {
            QVERIFY2(c.parent == 0 || order.contains(c.parent), "a parent comes before its children");
            parentOf.insert(c.id, c.parent);
            order << c.id;
        }
        QCOMPARE(parentOf.value(20), 21);
        QCOMPARE(parentOf.value(22), 1);
        for (int hidden : {2, 23, 24, 25})
            QVERIFY(!parentOf.contains(hidden));
        QCOMPARE(tree.reportIds(), QList<int>({2, 1, 8, 6})); // by name
        QCOMPARE(tree.reports.last().node, 1); // a report whose category is missing goes under the root
    }

    void syncCandidatesRefuseDuplicateCodes()
    {
        RepositorySession s;
        TestDb::freshRepository(s, "sqlite");
        const QString path = packagePath("dupcodes");
        {
            PackageBuilder p(path);
            p.report(1, 1, "a", Code1);
            p.report(2, 1, "b", Code1);
        }
        QSqlDatabase pkg = PackageFile::openForReading(path, Schema::PackagePassword, "dup");
        QVERIFY_THROWS_EXCEPTION(AppError, LoadSyncCandidates(pkg, s.Connection()));
        pkg = QSqlDatabase();
        PackageFile::close("dup");
    }
};

QTEST_MAIN(TestImport)
#include "test_import.moc"
