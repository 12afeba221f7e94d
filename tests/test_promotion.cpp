#include "ExportFixture.h"
#include "PackageBuilder.h"
#include "RowDump.h"
#include "ScriptedPrompter.h"
#include "TestDb.h"

#include "repository/PackageFile.h"
#include "repository/Schema.h"
#include "repository/Sql.h"
#include "shell/AppState.h"
#include "shell/ItemData.h"
#include "transfer/export/ExportRun.h"
#include "transfer/import/ImportRun.h"
#include "transfer/import/PackageTree.h"
#include "transfer/import/SyncPairing.h"
#include "transfer/import/ui/frmImport.h"
#include "transfer/import/ui/frmSyncronize.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

// Reports built in a test repository, promoted to production, changed in test and carried over
// again, as often as the change needs, without production growing duplicates.
namespace {

const QString Code = QStringLiteral("31415926535897932384626433832795028841971693993751");

QString packagePath(const QString &name) { return QDir(TestDb::tempDir()).filePath(name + QStringLiteral(".mdb")); }

int scalarInt(const QSqlDatabase &db, const QString &sql, const QVariantList &binds = {})
{
    return Sql::scalar(db, sql, binds).toInt();
}
QString scalarText(const QSqlDatabase &db, const QString &sql, const QVariantList &binds = {})
{
    return Sql::scalar(db, sql, binds).toString();
}

// Names the repository keeps unique, each with the rows that share it (none expected).
QStringList duplicateNames(const QSqlDatabase &db)
{
    const QString user = Sql::userColumn();
    QStringList found;
    for (const QString &sql :
         {QStringLiteral("Select Name From ZAT_DataSource Group By Name Having count(*) > 1"),
          QStringLiteral("Select Denumire From ZAT_CategMacros Group By Denumire Having count(*) > 1"),
          QStringLiteral("Select MacroName From ZAT_Macros Group By IdCateg, MacroName Having count(*) > 1"),
          QStringLiteral("Select Role From ZAT_Role Group By Role Having count(*) > 1"),
          QStringLiteral("Select AppName From ZAT_App Group By AppName Having count(*) > 1"),
          QStringLiteral("Select %1 From ZAT_UserApp Group By IdApp, %1 Having count(*) > 1").arg(user),
          QStringLiteral("Select v.Name From ZAT_Var v Group By v.IdDataSource, v.Name Having count(*) > 1"),
          QStringLiteral("Select Name From ZAT_Category Where IsDeleted = 0 Group By IdParent, Name Having count(*) > 1"),
          QStringLiteral("Select Name From ZAT_Report Where IsDeleted = 0 Group By IdCateg, Name Having count(*) > 1"),
          QStringLiteral("Select SyncronizeCode From ZAT_Report Where SyncronizeCode Is Not Null Group By SyncronizeCode "
                         "Having count(*) > 1")})
        found << RowDump::rows(db, sql);
    return found;
}

QList<int> packageReports(const QString &path)
{
    QSqlDatabase pkg = PackageFile::openForReading(path, Schema::PackagePassword, "promotion-tree");
    const QList<int> ids = LoadPackageTree(pkg).reportIds();
    pkg = QSqlDatabase();
    PackageFile::close("promotion-tree");
    return ids;
}

// What the synchronisation dialog offers: every package report with a live partner.
QHash<int, QString> partners(const QString &path, const QSqlDatabase &destination)
{
    QSqlDatabase pkg = PackageFile::openForReading(path, Schema::PackagePassword, "promotion-pairs");
    QHash<int, QString> pairs;
    for (const SyncCandidate &c : LoadSyncCandidates(pkg, destination))
        if (c.partnerId != 0)
            pairs.insert(c.idReport, c.code);
    pkg = QSqlDatabase();
    PackageFile::close("promotion-pairs");
    return pairs;
}

void exportAll(RepositorySession &test, const ExportFixture::Sample &s, const QString &path)
{
    ExportOptions eo;
    eo.packagePath = path;
    eo.reportIds = {s.alpha, s.beta, s.gamma};
    ExportRun(test, eo).run();
}

ImportOptions promotion(const QString &path)
{
    ImportOptions o;
    o.packagePath = path;
    o.idCategDest = 1;
    o.reportIds = packageReports(path);
    o.dataSources = ImportOptions::Choice::ForReports;
    o.roles = o.users = true;
    o.folders = true;
    return o;
}

int reportNamed(const QSqlDatabase &db, const QString &name)
{
    return scalarInt(db, "Select IdReport From ZAT_Report Where Name = ? And IsDeleted = 0", {name});
}

int viewOf(const QSqlDatabase &db, int report)
{
    return scalarInt(db, QStringLiteral("Select IdSQLView From ZAT_ReportDS Where IdReport = %1 Order By IdReportDS").arg(report));
}

} // namespace

class TestPromotion : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanupTestCase() { App::session().ResetConnection(); }

    void testToProductionAndBack_data() { TestDb::addBackends(); }
    void testToProductionAndBack()
    {
        QFETCH(QString, backend);
        RepositorySession test;
        TestDb::freshRepository(test, "sqlite");
        QSqlDatabase t = test.Connection();
        const ExportFixture::Sample s = ExportFixture::build(t);
        Sql::insert(t, "ZAT_References", "IdReference", {{"IdSource", s.alpha}, {"IdMacro", s.m4}, {"Tip", "r"}});
        const QString first = packagePath("promote-1-" + backend);
        exportAll(test, s, first);

        // Production already has its own "Main" (another database) and an unrelated role whose
        // id is the id of the test repository's "Readers".
        RepositorySession production;
        TestDb::freshRepository(production, backend);
        QSqlDatabase db = production.Connection();
        const int contractors = Sql::insert(db, "ZAT_Role", "IdRole", {{"Role", "External contractors"}});
        QCOMPARE(contractors, s.role1);
        const int prodMain = Sql::insert(db, "ZAT_DataSource", "IdDataSource", {{"Name", "Main"}, {"DataSourceString", "dsn=production"}});
        const int prodFrom = Sql::insert(db, "ZAT_Var", "IdVar", {{"IdDataSource", prodMain}, {"Name", "From"}, {"Caption", "Production from"}});

        ImportRun firstRun(db, promotion(first));
        firstRun.run();
        const int alpha = reportNamed(db, "Alpha"), gamma = reportNamed(db, QStringLiteral("Gamma ü"));
        QVERIFY(alpha && gamma);
        // The reports keep their identity, and their folders.
        for (const auto &[dest, source] : {std::pair{alpha, s.alpha}, {gamma, s.gamma}})
            QCOMPARE(scalarText(db, QStringLiteral("Select SyncronizeCode From ZAT_Report Where IdReport = %1").arg(dest)),
                     scalarText(t, QStringLiteral("Select SyncronizeCode From ZAT_Report Where IdReport = %1").arg(source)));
        const int sales = scalarInt(db, "Select IdCateg From ZAT_Category Where Name = 'Sales' And IdParent = 1");
        QVERIFY(sales != 0);
        QCOMPARE(scalarInt(db, QStringLiteral("Select IdCateg From ZAT_Report Where IdReport = %1").arg(gamma)), sales);
        QCOMPARE(scalarText(db, QStringLiteral("Select c.Name From ZAT_Report r Inner Join ZAT_Category c On c.IdCateg = r.IdCateg "
                                               "Where r.IdReport = %1 And c.IdParent = %2").arg(alpha).arg(sales)),
                 QStringLiteral("Monthly 'quoted' %"));
        // Production's data source is reused with its connection string; its variable stays, the missing one is added.
        QCOMPARE(RowDump::rows(db, "Select Name, DataSourceString From ZAT_DataSource Order By Name"),
                 QStringList({"Main|dsn=production"}));
        QCOMPARE(RowDump::rows(db, QStringLiteral("Select Name, Caption From ZAT_Var Where IdDataSource = %1 Order By Name").arg(prodMain)),
                 QStringList({"From|Production from", "To|"}));
        QCOMPARE(firstRun.varMap.value(s.v1), prodFrom);
        const QString deps = "Select a.Name || '>' || b.Name From ZAT_Dependences d Inner Join ZAT_Var a On a.IdVar = d.IdVar "
                             "Inner Join ZAT_Var b On b.IdVar = d.Iddep Order By 1";
        QCOMPARE(RowDump::rows(db, deps), QStringList({"From>To", "To>From"}));
        // Grants go to the role of the right name.
        const QString grants = QStringLiteral("Select o.Role From ZAT_Role_Report g Inner Join ZAT_Role o On o.IdRole = g.IdRole "
                                              "Where g.IdReport In (%1,%2)").arg(alpha).arg(gamma);
        QCOMPARE(RowDump::rows(db, grants), QStringList({"Readers", "Readers"}));
        QCOMPARE(duplicateNames(db), QStringList());

        // Production meanwhile: another report reads alpha's view; gamma is checked out by carol.
        const int other = Sql::insert(db, "ZAT_Report", "IdReport", {{"Name", "Production only"}, {"IdCateg", 1}, {"IsDeleted", 0}});
        const int alphaView = viewOf(db, alpha);
        Sql::insert(db, "ZAT_ReportDS", "IdReportDS", {{"IdReport", other}, {"IdSQLView", alphaView}, {"IdDataSource", prodMain}});
        const int consoleApp = scalarInt(db, "Select IdApp From ZAT_App Where AppName = ?", {QString::fromLatin1(Schema::ConsoleAppName)});
        const int carol = Sql::insert(db, "ZAT_UserApp", "IdUserApp", {{"IdApp", consoleApp}, {"User", "carol"}});
        Sql::exec(db, QStringLiteral("Update ZAT_Report Set IdUserAppCheckOut = %1 Where IdReport = %2").arg(carol).arg(gamma));

        // The change in test: a new name and SQL, a column and a macro reference dropped, a macro
        // body changed, the test database moved.
        Sql::exec(t, QStringLiteral("Update ZAT_Report Set Name = 'Alpha v2' Where IdReport = %1").arg(s.alpha));
        Sql::exec(t, QStringLiteral("Update ZAT_Report Set Name = 'Gamma v2' Where IdReport = %1").arg(s.gamma));
        Sql::exec(t, QStringLiteral("Update ZAT_SQLViews Set strSQLView = 'Select 1 -- v2' Where IdSQLView = %1").arg(s.view1));
        Sql::exec(t, QStringLiteral("Delete From ZAT_ReportCols Where IdReport = %1 And Name = 'Col1'").arg(s.alpha));
        Sql::exec(t, QStringLiteral("Delete From ZAT_References Where Tip = 'r' And IdSource = %1 And IdMacro = %2").arg(s.alpha).arg(s.m4));
        Sql::exec(t, QStringLiteral("Update ZAT_Macros Set Body = 'Sub M2() '' v2' Where IdMacro = %1").arg(s.m2));
        Sql::exec(t, QStringLiteral("Update ZAT_DataSource Set DataSourceString = 'dsn=test2' Where IdDataSource = %1").arg(s.ds1));
        const QString second = packagePath("promote-2-" + backend);
        exportAll(test, s, second);

        ImportOptions o = promotion(second);
        o.syncPairs = partners(second, db);
        QCOMPARE(o.syncPairs.size(), 3);
        const int reports = rowCount(db, "ZAT_Report");
        ImportRun sync(db, o);
        sync.run();
        QCOMPARE(rowCount(db, "ZAT_Report"), reports);
        QCOMPARE(sync.reportMap.value(s.alpha), alpha);
        QCOMPARE(scalarText(db, QStringLiteral("Select Name From ZAT_Report Where IdReport = %1").arg(alpha)), QStringLiteral("Alpha v2"));
        QCOMPARE(RowDump::rows(db, QStringLiteral("Select Name From ZAT_ReportCols Where IdReport = %1 Order By IdReportCol").arg(alpha)),
                 QStringList({"Col0", "Col2"}));
        // The shared view was copied before the change: production's other report keeps its SQL.
        QVERIFY(viewOf(db, alpha) != alphaView);
        QCOMPARE(scalarText(db, QStringLiteral("Select strSQLView From ZAT_SQLViews Where IdSQLView = %1").arg(viewOf(db, alpha))),
                 QStringLiteral("Select 1 -- v2"));
        QCOMPARE(scalarText(db, QStringLiteral("Select strSQLView From ZAT_SQLViews Where IdSQLView = %1").arg(viewOf(db, other))),
                 QStringLiteral("Select 1"));
        // Exactly the macro references of the new version; the macro it brings replaces its namesake's body.
        QCOMPARE(RowDump::rows(db, QStringLiteral("Select m.MacroName From ZAT_References r Inner Join ZAT_Macros m On m.IdMacro = r.IdMacro "
                                         "Where r.Tip = 'r' And r.IdSource = %1").arg(alpha)),
                 QStringList({"M1"}));
        QCOMPARE(scalarText(db, "Select Body From ZAT_Macros Where MacroName = 'M2'"), QStringLiteral("Sub M2() ' v2"));
        // Checked out by carol: kept as it was, and named.
        QCOMPARE(scalarText(db, QStringLiteral("Select Name From ZAT_Report Where IdReport = %1").arg(gamma)), QStringLiteral("Gamma ü"));
        QCOMPARE(sync.heldReports.size(), 1);
        QCOMPARE(ImportRun::heldText(sync.heldReports[0]),
                 QStringLiteral("The report 'Gamma ü' (%1) is checked out by carol and was left unchanged.").arg(gamma));
        QVERIFY(!sync.reportMap.contains(s.gamma));
        QCOMPARE(scalarText(db, "Select DataSourceString From ZAT_DataSource Where Name = 'Main'"), QStringLiteral("dsn=production"));
        QCOMPARE(RowDump::rows(db, grants), QStringList({"Readers", "Readers"}));
        QCOMPARE(duplicateNames(db), QStringList());

        // The same synchronisation again changes nothing.
        const QStringList before = RowDump::all(db);
        ImportOptions again = promotion(second);
        again.syncPairs = partners(second, db);
        ImportRun(db, again).run();
        QCOMPARE(RowDump::all(db), before);
    }

    // The dates an export writes, and the other forms a package may hold, are read as dates.
    void packageDates_data() { TestDb::addBackends(); }
    void packageDates()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        const QString path = packagePath("dates-" + backend);
        const QList<QPair<QString, QDateTime>> cases = {
            {"03/05/2024", QDateTime(QDate(2024, 3, 5), QTime(0, 0))},
            {"3/5/2024 14:07:09", QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9))},
            {"12/31/2023 11:59 PM", QDateTime(QDate(2023, 12, 31), QTime(23, 59))},
            {"2024-03-05T10:20:30", QDateTime(QDate(2024, 3, 5), QTime(10, 20, 30))},
            {"2024-03-05", QDateTime(QDate(2024, 3, 5), QTime(0, 0))},
            {"2024-03-05 10:20:30", QDateTime(QDate(2024, 3, 5), QTime(10, 20, 30))},
            {"13/31/2023", QDateTime()},
        };
        {
            PackageBuilder p(path);
            for (int i = 0; i < cases.size(); ++i)
                p.row("ZAT_Report", {{"IdReport", 100 + i}, {"Name", cases[i].first}, {"IdCateg", 1}, {"IsDeleted", 0},
                                     {"Modified", cases[i].first}});
        }
        ImportOptions o;
        o.packagePath = path;
        o.reportIds = packageReports(path);
        ImportRun run(s.Connection(), o);
        run.run();
        for (int i = 0; i < cases.size(); ++i) {
            QSqlQuery q = Sql::exec(s.Connection(), QStringLiteral("Select Modified From ZAT_Report Where IdReport = %1")
                                                         .arg(run.reportMap.value(100 + i)));
            QVERIFY(q.next());
            QCOMPARE(Sql::dateTime(q, "Modified"), cases[i].second);
        }
    }

    // ---- the dialogs

    void importDialogRecreatesFolders()
    {
        ScriptedPrompter prompts;
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        QSqlDatabase db = s.Connection();
        const int target = Sql::insert(db, "ZAT_Category", "IdCateg", {{"Name", "Target"}, {"IdParent", 1}, {"IsDeleted", 0}});
        const int sales = Sql::insert(db, "ZAT_Category", "IdCateg", {{"Name", "Sales"}, {"IdParent", target}, {"IsDeleted", 0}});
        const QString path = packagePath("gui-folders");
        {
            PackageBuilder p(path);
            p.category(10, 1, "Sales", 1);
            p.category(11, 10, "Monthly", 4);
            p.report(101, 11, "Deep");
            p.report(102, 10, "Shallow");
            p.report(103, 1, "At the root");
        }
        frmImport dlg;
        dlg.IdCategDest = target;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.chkCategories->text(), QStringLiteral("Import report's folders"));
        QVERIFY(!dlg.chkCategories->isChecked());
        prompts.files.enqueue(path);
        QTest::mouseClick(dlg.cmdBrowse, Qt::LeftButton);
        QTest::mouseClick(dlg.chkCategories, Qt::LeftButton, {}, QPoint(6, dlg.chkCategories->height() / 2));
        QVERIFY(dlg.chkCategories->isChecked());
        for (const char *key : {"r101", "r102", "r103"}) {
            QTreeWidgetItem *item = ItemData::findByKey(dlg.twRep, key);
            QVERIFY(item);
            dlg.twRep->scrollToItem(item);
            const QPoint at = dlg.twRep->visualItemRect(item).center();
            QTest::mouseClick(dlg.twRep->viewport(), Qt::LeftButton, {}, at); // the view pairs a double click with its press
            QTest::mouseDClick(dlg.twRep->viewport(), Qt::LeftButton, {}, at);
            QCOMPARE(frmImport::picture(item), int(frmImport::PicReportTicked));
        }
        QTest::mouseClick(dlg.cmdExport, Qt::LeftButton);
        QCOMPARE(dlg.panel1->text(), QStringLiteral("Operation completed successfully."));

        // Sales is reused, Monthly created under it with its sort row; the root's report stays in Target.
        QCOMPARE(rowCount(db, "ZAT_Category", "Name = 'Sales'"), 1);
        const int monthly = scalarInt(db, QStringLiteral("Select IdCateg From ZAT_Category Where Name = 'Monthly' And IdParent = %1").arg(sales));
        QVERIFY(monthly != 0);
        QCOMPARE(scalarInt(db, QStringLiteral("Select SortNr From ZAT_Sort Where ItemType = 'c' And IdItem = %1").arg(monthly)), 4);
        QCOMPARE(scalarInt(db, "Select IdCateg From ZAT_Report Where Name = 'Deep'"), monthly);
        QCOMPARE(scalarInt(db, "Select IdCateg From ZAT_Report Where Name = 'Shallow'"), sales);
        QCOMPARE(scalarInt(db, "Select IdCateg From ZAT_Report Where Name = 'At the root'"), target);
    }

    // After a first import the production report is the package report's partner: the dialog
    // shows it, and the pair overwrites it instead of adding a copy.
    void synchronisationAfterFirstImport()
    {
        ScriptedPrompter prompts;
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        QSqlDatabase db = s.Connection();
        const QString path = packagePath("gui-after-first");
        {
            PackageBuilder p(path);
            p.report(101, 1, "Monthly sales", Code);
        }
        frmImport dlg;
        dlg.IdCategDest = 1;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        prompts.files.enqueue(path);
        QTest::mouseClick(dlg.cmdBrowse, Qt::LeftButton);
        QTest::mouseClick(dlg.cmdCheckAll, Qt::LeftButton);
        QTest::mouseClick(dlg.cmdExport, Qt::LeftButton);
        const int imported = reportNamed(db, "Monthly sales");
        QVERIFY(imported != 0);
        Sql::exec(db, QStringLiteral("Update ZAT_Report Set Name = 'Renamed in production' Where IdReport = %1").arg(imported));

        bool done = false;
        QTimer::singleShot(0, this, [&] {
            auto *w = qobject_cast<frmSyncronize *>(QApplication::activeModalWidget());
            QVERIFY(w);
            QTreeWidgetItem *item = ItemData::findByKey(w->lstRep, "k" + Code);
            QVERIFY(item);
            QCOMPARE(item->text(1), QStringLiteral("Renamed in production"));
            QVERIFY(item->font(1).bold());
            w->lstRep->setFocus();
            w->lstRep->setCurrentItem(item);
            QTest::keyClick(w->lstRep, Qt::Key_Space);
            QCOMPARE(item->checkState(0), Qt::Checked);
            QTest::mouseClick(w->cmdOK, Qt::LeftButton);
            done = true;
        });
        QTest::mouseClick(dlg.cmdSyncronize, Qt::LeftButton);
        QTRY_VERIFY(done);
        QCOMPARE(dlg.colSyncRep, SyncPairs({qMakePair(101, Code)}));

        QTest::mouseClick(dlg.cmdExport, Qt::LeftButton);
        QCOMPARE(rowCount(db, "ZAT_Report", "IsDeleted = 0 And IdCateg = 1"), 1);
        QCOMPARE(scalarText(db, QStringLiteral("Select Name From ZAT_Report Where IdReport = %1").arg(imported)),
                 QStringLiteral("Monthly sales"));

        // Another user holds it checked out: the run leaves it and says so.
        const int dave = Sql::insert(db, "ZAT_UserApp", "IdUserApp", {{"IdApp", 1}, {"User", "dave"}});
        Sql::exec(db, QStringLiteral("Update ZAT_Report Set Name = 'Held', IdUserAppCheckOut = %1 Where IdReport = %2").arg(dave).arg(imported));
        prompts.clear();
        QTest::mouseClick(dlg.cmdExport, Qt::LeftButton);
        QCOMPARE(prompts.messages(), QStringList({"Import selected reports?",
                                                  QStringLiteral("The report 'Held' (%1) is checked out by dave and was left unchanged.").arg(imported)}));
        QCOMPARE(prompts.last().icon, Prompter::Icon::Exclamation);
        QCOMPARE(dlg.panel1->text(), QStringLiteral("Operation completed; 1 report(s) left unchanged."));
        QCOMPARE(scalarText(db, QStringLiteral("Select Name From ZAT_Report Where IdReport = %1").arg(imported)), QStringLiteral("Held"));
    }
};

QTEST_MAIN(TestPromotion)
#include "test_promotion.moc"
