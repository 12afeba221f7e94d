#include "ModalAction.h"
#include "ScriptedPrompter.h"
#include "TestDb.h"

#include "navigator/DocProp.h"
#include "navigator/PropertiesCommands.h"
#include "navigator/frmCatProp.h"
#include "navigator/frmRepProp.h"
#include "repository/AppError.h"
#include "repository/Sql.h"
#include "shell/AppState.h"
#include "shell/ItemData.h"
#include "shell/Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <functional>

namespace {

const QString Odd = QStringLiteral("O'Brien's 100% \"raport\" – ședință ☃ 日本");

int addReport(QSqlDatabase db, const QString &name, int category = 1)
{
    return Sql::insert(db, "ZAT_Report", "IdReport",
                       {{"Name", name}, {"IdCateg", category}, {"Version", "Excel"}, {"IsDeleted", 0}});
}

int addOtherUser(QSqlDatabase db)
{
    return Sql::insert(db, "ZAT_UserApp", "IdUserApp", {{"IdApp", 0}, {"UserFName", "Ana"}, {"UserLName", "Pop"}});
}

int count(QSqlDatabase db, const QString &sql)
{
    return Sql::scalar(db, sql).toInt();
}

// A list shaped like the main window's report list, with one selected row.
struct ReportList {
    QTreeWidget list;
    QTreeWidgetItem *row = nullptr;
    ReportList(const QString &key, const QStringList &texts)
    {
        list.setColumnCount(5);
        row = new QTreeWidgetItem(&list, texts);
        ItemData::setKey(row, key);
        list.setCurrentItem(row);
        row->setSelected(true);
    }
};

} // namespace

class TestProperties : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { App::CurrentCompanyId = 1; }

    // ---- library

    void definitionRoundTrip_data() { TestDb::addBackends(); }
    void definitionRoundTrip()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const int report = addReport(db, "plain");
        const int ds1 = Sql::insert(db, "ZAT_DataSource", "IdDataSource", {{"Name", "Sales"}});
        const int ds2 = Sql::insert(db, "ZAT_DataSource", "IdDataSource", {{"Name", "Stock"}});
        const int mc = Sql::insert(db, "ZAT_CategMacros", "IdCateg", {{"Denumire", "Fmt"}});
        const int m1 = Sql::insert(db, "ZAT_Macros", "IdMacro", {{"IdCateg", mc}, {"MacroName", "M1"}});
        const int m2 = Sql::insert(db, "ZAT_Macros", "IdMacro", {{"IdCateg", mc}, {"MacroName", "M2"}});
        const int m3 = Sql::insert(db, "ZAT_Macros", "IdMacro", {{"IdCateg", mc}, {"MacroName", "M3"}});

        ReportDefinitionItem d = s.GetReportDefinition(report);
        QCOMPARE(d.Name, QStringLiteral("plain"));
        QCOMPARE(d.FontSize, 8.0); // no settings row yet
        QVERIFY(d.Columns.isEmpty());
        d.Name = Odd;
        d.FilePath = QStringLiteral("C:\\Rapoarte\\%1.xlsx").arg(Odd);
        d.Version = QStringLiteral("Velmora");
        d.Description = Odd + "\nline two";
        d.DestinationFileAtRuntime = true;
        d.DelExSheet = true;
        d.ShowDeleted = true;
        d.IdDataSource = ds1;
        d.SQLView = QStringLiteral("Select * From T Where Name = 'Ș''x' And P Like '%a%' -- ☃");
        d.SheetName = Odd;
        d.ShowGridLines = "True";
        d.ShowToolTips = "0";
        d.ShowAutoFilters = "1";
        d.FontName = "DejaVu Sans";
        d.FontSize = 10.5;
        d.ReportTitle = Odd;
        d.FreezPanel = "B2";
        d.GroupCols = "1;3";
        d.Columns = {{Odd, 2, 15, false, true}, {"Qty", 1, 8, true, false}, {"Zeta", 3, 0, false, false}};
        d.MacroIds = {m2, m1};
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        s.SaveReportDefinition(d);
        QVERIFY(d.Modified >= before);

        ReportDefinitionItem back = s.GetReportDefinition(report);
        QCOMPARE(back.Name, d.Name);
        QCOMPARE(back.FilePath, d.FilePath);
        QCOMPARE(back.Version, d.Version);
        QCOMPARE(back.Description, d.Description);
        QCOMPARE(back.Modified, d.Modified);
        QVERIFY(back.DestinationFileAtRuntime && back.DelExSheet && back.ShowDeleted);
        QCOMPARE(back.IdDataSource, ds1);
        QCOMPARE(back.SQLView, d.SQLView);
        QCOMPARE(back.SheetName, d.SheetName);
        QCOMPARE(back.ShowGridLines, QStringLiteral("True"));
        QCOMPARE(back.ShowToolTips, QStringLiteral("0"));
        QCOMPARE(back.ShowAutoFilters, QStringLiteral("1"));
        QCOMPARE(back.FontName, d.FontName);
        QCOMPARE(back.FontSize, 10.5);
        QCOMPARE(back.ReportTitle, d.ReportTitle);
        QCOMPARE(back.FreezPanel, d.FreezPanel);
        QCOMPARE(back.GroupCols, d.GroupCols);
        QCOMPARE(back.Columns, d.Columns);
        QCOMPARE(back.MacroIds, (QList<int>{m2, m1}));
        QCOMPARE(s.GetReport(report).Name, Odd); // the navigator's item sees the same row

        // A second save replaces columns and references and reuses the report's own view.
        const int viewsBefore = count(db, "Select Count(*) From ZAT_SQLViews");
        back.Columns = {{"Zeta", 3, 0, false, false}, {Odd, 2, 15, false, true}};
        back.MacroIds = {m3};
        back.IdDataSource = ds2;
        back.SQLView = "Select 1";
        s.SaveReportDefinition(back);
        const ReportDefinitionItem again = s.GetReportDefinition(report);
        QCOMPARE(again.Columns, back.Columns);
        QCOMPARE(again.MacroIds, QList<int>{m3});
        QCOMPARE(again.IdDataSource, ds2);
        QCOMPARE(again.SQLView, QStringLiteral("Select 1"));
        QCOMPARE(count(db, "Select Count(*) From ZAT_SQLViews"), viewsBefore);
        const QString of = QString::number(report);
        QCOMPARE(count(db, "Select Count(*) From ZAT_ExcelSheetSettings Where IdReport = " + of), 1);
        QCOMPARE(count(db, "Select Count(*) From ZAT_ReportDS Where IdReport = " + of), 1);
        QCOMPARE(count(db, "Select Count(*) From ZAT_ReportCols Where IdReport = " + of), 2);
        QCOMPARE(count(db, "Select Count(*) From ZAT_References Where Tip = 'm'"), 0);

        // Clearing the flags and the data source writes 0 and Null, not leftovers.
        ReportDefinitionItem cleared = again;
        cleared.DestinationFileAtRuntime = cleared.DelExSheet = cleared.ShowDeleted = false;
        cleared.IdDataSource = 0;
        cleared.Description.clear();
        s.SaveReportDefinition(cleared);
        const ReportDefinitionItem c = s.GetReportDefinition(report);
        QVERIFY(!c.DestinationFileAtRuntime && !c.DelExSheet && !c.ShowDeleted);
        QCOMPARE(c.IdDataSource, 0);
        QVERIFY(Sql::scalar(db, "Select IdDataSource From ZAT_ReportDS Where IdReport = " + of).isNull());
        QVERIFY(!Sql::scalar(db, "Select Description From ZAT_Report Where IdReport = " + of).isNull());
    }

    void untidyRowsAreMadeConsistent_data() { TestDb::addBackends(); }
    void untidyRowsAreMadeConsistent()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const int a = addReport(db, "A");
        const int b = addReport(db, "B");
        // Two settings rows and two links for A; A and B read the same view.
        Sql::insert(db, "ZAT_ExcelSheetSettings", "IdSetting", {{"IdReport", a}, {"SheetName", "first"}, {"FontSize", QVariant()}});
        Sql::insert(db, "ZAT_ExcelSheetSettings", "IdSetting", {{"IdReport", a}, {"SheetName", "second"}});
        const int shared = Sql::insert(db, "ZAT_SQLViews", "IdSQLView", {{"strSQLView", "Select shared"}});
        const int other = Sql::insert(db, "ZAT_SQLViews", "IdSQLView", {{"strSQLView", "Select other"}});
        Sql::insert(db, "ZAT_ReportDS", "IdReportDS", {{"IdReport", a}, {"IdSQLView", shared}});
        Sql::insert(db, "ZAT_ReportDS", "IdReportDS", {{"IdReport", a}, {"IdSQLView", other}});
        Sql::insert(db, "ZAT_ReportDS", "IdReportDS", {{"IdReport", b}, {"IdSQLView", shared}});
        Sql::insert(db, "ZAT_References", "IdReference", {{"IdSource", a}, {"IdMacro", 77}, {"Tip", "m"}});

        ReportDefinitionItem d = s.GetReportDefinition(a);
        QCOMPARE(d.SheetName, QStringLiteral("first")); // readers use the first row
        QCOMPARE(d.FontSize, 8.0);                        // a Null size reads as 8
        QCOMPARE(d.SQLView, QStringLiteral("Select shared"));
        d.SQLView = "Select mine";
        s.SaveReportDefinition(d);

        QCOMPARE(count(db, QStringLiteral("Select Count(*) From ZAT_ExcelSheetSettings Where IdReport = %1").arg(a)), 1);
        QCOMPARE(count(db, QStringLiteral("Select Count(*) From ZAT_ReportDS Where IdReport = %1").arg(a)), 1);
        QCOMPARE(s.GetReportDefinition(a).SQLView, QStringLiteral("Select mine"));
        QCOMPARE(s.GetReportDefinition(b).SQLView, QStringLiteral("Select shared")); // B keeps its view
        // A macro's own references are not the report's.
        QCOMPARE(count(db, "Select Count(*) From ZAT_References Where Tip = 'm'"), 1);
        // Settings of another report are untouched.
        QCOMPARE(count(db, QStringLiteral("Select Count(*) From ZAT_ExcelSheetSettings Where IdReport = %1").arg(b)), 0);
    }

    void saveRespectsCheckOut_data() { TestDb::addBackends(); }
    void saveRespectsCheckOut()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const int report = addReport(db, "held");
        const int other = addOtherUser(db);
        ReportDefinitionItem d = s.GetReportDefinition(report);
        d.Name = "changed";
        d.Columns = {{"c", 1, 1, false, false}};
        Sql::exec(db, QStringLiteral("Update ZAT_Report Set IdUserAppCheckOut = %1 Where IdReport = %2").arg(other).arg(report));
        QVERIFY_THROWS_EXCEPTION(AppError, s.SaveReportDefinition(d));
        // Nothing of the definition was written, and the connection is usable afterwards.
        QCOMPARE(s.GetReportDefinition(report).Name, QStringLiteral("held"));
        QCOMPARE(count(db, QStringLiteral("Select Count(*) From ZAT_ReportCols Where IdReport = %1").arg(report)), 0);
        // Held by the current user: saved.
        s.CheckInReports({report});
        Sql::exec(db, QStringLiteral("Update ZAT_Report Set IdUserAppCheckOut = Null Where IdReport = %1").arg(report));
        s.CheckOutReports({report}, false);
        s.SaveReportDefinition(d);
        QCOMPARE(s.GetReportDefinition(report).Name, QStringLiteral("changed"));
        QCOMPARE(s.GetReportDefinition(report).IdUserAppCheckOut, s.CurrentUserId());
        // A report that does not exist, or a definition without a name, is refused.
        d.IdReport = 999999;
        QVERIFY_THROWS_EXCEPTION(AppError, s.SaveReportDefinition(d));
        d.IdReport = report;
        d.Name = "  ";
        QVERIFY_THROWS_EXCEPTION(AppError, s.SaveReportDefinition(d));
    }

    void settingSwitches_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("whenEmpty");
        QTest::addColumn<bool>("on");
        QTest::addColumn<QString>("afterTick");  // stored text when the box ends ticked
        QTest::addColumn<QString>("afterClear"); // ... and unticked
        QTest::newRow("empty, default off") << "" << false << false << "1" << "";
        QTest::newRow("empty, default on") << "" << true << true << "" << "0";
        QTest::newRow("True") << "True" << false << true << "True" << "0";
        QTest::newRow("False") << "False" << true << false << "1" << "False";
        QTest::newRow("0") << "0" << true << false << "1" << "0";
        QTest::newRow("-1") << "-1" << false << true << "-1" << "0";
        QTest::newRow("No") << " No " << true << false << "1" << " No ";
        QTest::newRow("Off") << "OFF" << true << false << "1" << "OFF";
    }
    void settingSwitches()
    {
        QFETCH(QString, stored);
        QFETCH(bool, whenEmpty);
        QFETCH(bool, on);
        QFETCH(QString, afterTick);
        QFETCH(QString, afterClear);
        QCOMPARE(ReportDefinitionItem::SettingIsOn(stored, whenEmpty), on);
        QCOMPARE(ReportDefinitionItem::SettingText(true, stored, whenEmpty), afterTick);
        QCOMPARE(ReportDefinitionItem::SettingText(false, stored, whenEmpty), afterClear);
    }

    // ---- windows

    void categoryProperties()
    {
        ScriptedPrompter p;
        QSqlDatabase db = TestDb::freshAppSession("sqlite").Connection();
        const int cat = Sql::insert(db, "ZAT_Category", "IdCateg", {{"Name", Odd}, {"IdParent", 1}, {"Description", QVariant()}});
        const int unnamed = Sql::insert(db, "ZAT_Category", "IdCateg", {{"Name", QVariant()}, {"IdParent", 1}});
        QTreeWidget tree;
        auto *node = new QTreeWidgetItem(&tree, {Odd});
        ItemData::setKey(node, "c" + QString::number(cat));
        tree.setCurrentItem(node);

        bool done = false;
        onModal([&](QWidget *w) {
            auto *f = qobject_cast<frmCatProp *>(w);
            QVERIFY(f);
            QCOMPARE(f->windowTitle(), QStringLiteral("Properties"));
            QCOMPARE(f->IdCategory, cat);
            QCOMPARE(f->txtCategoryName->text(), Odd);
            QCOMPARE(f->txtCategoryDescription->toPlainText(), QString()); // Null opens empty
            f->txtCategoryName->setText("not stored");
            f->cmdSave->click();
        }, &done);
        PropertiesCommands::mnuCateg2Prop_Click(nullptr, &tree);
        QVERIFY(done);
        QCOMPARE(p.messages(), QStringList());
        QSqlQuery q = Sql::exec(db, QStringLiteral("Select Name, Description From ZAT_Category Where IdCateg = %1").arg(cat));
        QVERIFY(q.next());
        QCOMPARE(q.value("Name").toString(), Odd); // the name box is not written
        QVERIFY(!q.value("Description").isNull());  // empty text, no longer Null
        QCOMPARE(q.value("Description").toString(), QString());

        // From the list: a Null name shows "Unknown"; an edited description is saved; Close keeps nothing.
        ReportList list("c" + QString::number(unnamed), {"Unknown"});
        onModal([&](QWidget *w) {
            auto *f = qobject_cast<frmCatProp *>(w);
            QCOMPARE(f->txtCategoryName->text(), QStringLiteral("Unknown"));
            f->txtCategoryDescription->setPlainText(Odd);
            f->cmdSave->click();
        }, &done);
        PropertiesCommands::mnuCatProp_Click(nullptr, &list.list);
        QVERIFY(done);
        QCOMPARE(App::session().GetCategory(unnamed).Description, Odd);
        onModal([&](QWidget *w) {
            auto *f = qobject_cast<frmCatProp *>(w);
            QCOMPARE(f->txtCategoryDescription->toPlainText(), Odd);
            f->txtCategoryDescription->setPlainText("dropped");
            f->cmdClose->click();
        }, &done);
        PropertiesCommands::mnuCatProp_Click(nullptr, &list.list);
        QVERIFY(done);
        QCOMPARE(App::session().GetCategory(unnamed).Description, Odd);
        QCOMPARE(GetSetting("Settings", "frmCatPropWindowState"), QStringLiteral("0")); // placement kept on unload

        // A category that vanished: the error box with the load origin, the window still opens.
        ReportList gone("c999999", {"gone"});
        onModal([&](QWidget *w) { static_cast<frmCatProp *>(w)->cmdClose->click(); }, &done);
        PropertiesCommands::mnuCatProp_Click(nullptr, &gone.list);
        QVERIFY(done);
        QCOMPARE(p.messages().size(), 1);
        QVERIFY(p.last().text.contains("Origin : frmMain.LoadCategDetails()"));
    }

    void reportButtonStates_data()
    {
        QTest::addColumn<int>("holder"); // 0 none, 1 me, 2 another user
        QTest::addColumn<QString>("checkOutText");
        QTest::addColumn<bool>("save");
        QTest::addColumn<bool>("checkIn");
        QTest::addColumn<bool>("checkOut");
        QTest::newRow("free") << 0 << "" << true << false << true;
        QTest::newRow("mine") << 1 << "Me Myself" << true << true << false;
        QTest::newRow("other") << 2 << "Ana Pop" << false << false << false;
    }
    void reportButtonStates()
    {
        QFETCH(int, holder);
        QFETCH(QString, checkOutText);
        QFETCH(bool, save);
        QFETCH(bool, checkIn);
        QFETCH(bool, checkOut);
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        QSqlDatabase db = s.Connection();
        const int report = addReport(db, Odd);
        const int other = addOtherUser(db);
        if (holder)
            Sql::exec(db, QStringLiteral("Update ZAT_Report Set IdUserAppCheckOut = %1 Where IdReport = %2")
                              .arg(holder == 1 ? s.CurrentUserId() : other).arg(report));
        frmRepProp w;
        w.GetParameters(report, Odd, checkOutText);
        QCOMPARE(p.messages(), QStringList());
        QCOMPARE(w.windowTitle(), "Properties [" + Odd + "]");
        QCOMPARE(w.IdReport, report);
        QCOMPARE(w.cmdSave->isEnabled(), save);
        QCOMPARE(w.cmdCheckIn->isEnabled(), checkIn);
        QCOMPARE(w.cmdCheckOut->isEnabled(), checkOut);
        QCOMPARE(w.DocProp1->objectName(), QStringLiteral("DocProp1"));
        QCOMPARE(w.DocProp1->IsReadOnly(), holder == 2);
        QCOMPARE(w.DocProp1->txtName->isReadOnly(), holder == 2);
        QCOMPARE(w.DocProp1->cmdAddCol->isEnabled(), holder != 2);
        QCOMPARE(w.DocProp1->cmbDataSource->isEnabled(), holder != 2);
        // The layout follows the window's size.
        w.resize(900, 700);
        QVERIFY(w.cmdClose->geometry().right() < w.width());
        QVERIFY(w.cmdSave->geometry().right() < w.cmdClose->x());
        QCOMPARE(w.cmdCheckIn->y(), w.cmdClose->y());
        QVERIFY(w.DocProp1->geometry().bottom() < w.cmdClose->y());
        // Held by another: even a direct save writes nothing.
        if (holder == 2) {
            w.DocProp1->txtName->setText("x");
            w.DocProp1->Save();
            QVERIFY(!w.DocProp1->WasSaved());
            QCOMPARE(s.GetReport(report).Name, Odd);
        }
    }

    void reportWindowRecordsItsPlacement()
    {
        ScriptedPrompter p;
        QSqlDatabase db = TestDb::freshAppSession("sqlite").Connection();
        const int report = addReport(db, Odd);
        SaveSetting("Settings", "frmRepPropWindowState", "");
        SaveSetting("Settings", "frmRepPropWidth", "");
        bool done = false;
        // Closed without saving and after a save: both ways out record where the window was.
        for (const bool save : {false, true}) {
            onModal([&](QWidget *w) {
                auto *f = qobject_cast<frmRepProp *>(w);
                QVERIFY(f);
                f->resize(save ? 700 : 800, 600);
                (save ? f->cmdSave : f->cmdClose)->click();
            }, &done);
            frmRepProp w;
            w.LoadMe(report, Odd, QString());
            QVERIFY(done);
            QCOMPARE(w.WasSave, save);
            QCOMPARE(GetSetting("Settings", "frmRepPropWindowState"), QStringLiteral("0"));
            QCOMPARE(GetSetting("Settings", "frmRepPropWidth"), QString::number(PixelsToTwips(save ? 700 : 800)));
        }
        QCOMPARE(p.messages(), QStringList());
    }

    void reportPropertiesUpdateTheRow()
    {
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        QSqlDatabase db = s.Connection();
        const int report = addReport(db, "Sales");
        addReport(db, "Taken");
        const QStringList texts{"Sales", "old.xlsx", "Excel", "01/01/2000", ""};
        ReportList list("r" + QString::number(report), texts);

        // Close without saving: the row stays as it was.
        bool done = false;
        onModal([&](QWidget *w) {
            auto *f = qobject_cast<frmRepProp *>(w);
            QVERIFY(f);
            f->DocProp1->txtName->setText("edited");
            f->cmdClose->click();
        }, &done);
        QVERIFY(!PropertiesCommands::mnuRepProp_Click(nullptr, &list.list));
        QVERIFY(done);
        for (int c = 0; c < 5; ++c)
            QCOMPARE(list.row->text(c), texts[c]);
        QCOMPARE(s.GetReport(report).Name, QStringLiteral("Sales"));

        // A taken name or an empty one keeps the window open with the edits.
        onModal([&](QWidget *w) {
            auto *f = qobject_cast<frmRepProp *>(w);
            f->DocProp1->txtName->setText("taken");
            f->cmdSave->click();
            QCOMPARE(p.messages().last(), QStringLiteral("A report with this name already exists in this folder!"));
            QVERIFY(!f->WasSave);
            QVERIFY(f->isVisible());
            f->DocProp1->txtName->setText("");
            f->cmdSave->click();
            QCOMPARE(p.messages().last(), QStringLiteral("Enter the report name!"));
            QCOMPARE(p.last().icon, Prompter::Icon::Exclamation);
            f->DocProp1->txtName->setText(Odd);
            f->DocProp1->txtFilePath->setText("D:\\out\\" + Odd + ".xlsx");
            f->DocProp1->cmbVersion->setCurrentText("Velmora");
            f->cmdSave->click();
            QVERIFY(f->WasSave);
            QCOMPARE(f->zatReport.Name, Odd);
        }, &done);
        QVERIFY(PropertiesCommands::mnuRepProp_Click(nullptr, &list.list));
        QVERIFY(done);
        const ReportItem saved = s.GetReport(report);
        QCOMPARE(saved.Name, Odd);
        QCOMPARE(list.row->text(0), Odd);
        QCOMPARE(list.row->text(1), "D:\\out\\" + Odd + ".xlsx");
        QCOMPARE(list.row->text(2), QStringLiteral("Velmora"));
        QCOMPARE(list.row->text(3), QLocale().toString(saved.Modified, QLocale::ShortFormat));
        QCOMPARE(list.row->text(4), QString());
        QVERIFY(saved.Modified.secsTo(QDateTime::currentDateTime()) < 60);
    }

    void controlEditsTheWholeDefinition_data() { TestDb::addBackends(); }
    void controlEditsTheWholeDefinition()
    {
        QFETCH(QString, backend);
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession(backend);
        QSqlDatabase db = s.Connection();
        const int report = addReport(db, "R");
        Sql::insert(db, "ZAT_DataSource", "IdDataSource", {{"Name", "Zeta"}});
        const int ds = Sql::insert(db, "ZAT_DataSource", "IdDataSource", {{"Name", Odd}});
        const int mc = Sql::insert(db, "ZAT_CategMacros", "IdCateg", {{"Denumire", "Fmt"}});
        const int m1 = Sql::insert(db, "ZAT_Macros", "IdMacro", {{"IdCateg", mc}, {"MacroName", "Alpha"}});
        const int m2 = Sql::insert(db, "ZAT_Macros", "IdMacro", {{"IdCateg", mc}, {"MacroName", "Beta"}});
        ReportDefinitionItem d = s.GetReportDefinition(report);
        d.Columns = {{"A", 7, 5, false, false}, {"B", 2, 6, true, false}, {"C", 3, 7, false, true}};
        d.MacroIds = {m2, 4242}; // 4242: a reference to a macro no longer in the library
        d.ShowGridLines = "True";
        s.SaveReportDefinition(d);

        DocProp c;
        c.SetCompany(1);
        c.LoadReport(report, "R", "");
        QCOMPARE(c.cmbDataSource->currentText(), QStringLiteral("(none)"));
        QCOMPARE(c.cmbDataSource->count(), 3); // (none), then Order By Name
        QCOMPARE(c.lstCols->topLevelItemCount(), 3);
        QCOMPARE(c.lstCols->topLevelItem(0)->text(1), QStringLiteral("Code 7")); // an unnamed code is kept
        QCOMPARE(c.lstCols->topLevelItem(1)->text(1), QStringLiteral("Number"));
        QVERIFY(c.chkShowGridLines->isChecked());
        QVERIFY(!c.chkShowToolTips->isChecked()); // empty: the workbook's default
        QCOMPARE(c.lstMacros->topLevelItemCount(), 2);
        QCOMPARE(c.lstMacros->topLevelItem(0)->text(0), QStringLiteral("Alpha"));
        QCOMPARE(c.lstMacros->topLevelItem(0)->checkState(0), Qt::Unchecked);
        QCOMPARE(c.lstMacros->topLevelItem(1)->checkState(0), Qt::Checked);

        // Columns: select B, move it up, edit it; remove C; add a new one after A.
        c.lstCols->setCurrentItem(c.lstCols->topLevelItem(1));
        QCOMPARE(c.txtColName->text(), QStringLiteral("B"));
        QVERIFY(c.chkColHide->isChecked());
        c.cmdColUp->click();
        QVERIFY(!c.cmdColUp->isEnabled());
        c.txtColName->setText(Odd);
        emit c.txtColName->textEdited(Odd);
        c.txtColWidth->setValue(22);
        c.chkColAutoSum->setChecked(true);
        c.lstCols->setCurrentItem(c.lstCols->topLevelItem(2));
        QCOMPARE(c.txtColName->text(), QStringLiteral("C"));
        QVERIFY(!c.cmdColDown->isEnabled());
        c.cmdRemoveCol->click();
        c.lstCols->setCurrentItem(c.lstCols->topLevelItem(1)); // A
        c.cmdAddCol->click();
        QCOMPARE(c.lstCols->topLevelItemCount(), 3);
        QCOMPARE(c.lstCols->currentItem(), c.lstCols->topLevelItem(2));
        c.cmbColType->setCurrentIndex(c.cmbColType->findData(3));

        c.txtDescription->setPlainText(Odd);
        c.chkDelExSheet->setChecked(true);
        c.cmbDataSource->setCurrentIndex(ItemData::findComboKey(c.cmbDataSource, "k" + QString::number(ds)));
        c.txtSQLView->setPlainText("Select '" + Odd + "'");
        c.txtSheetName->setText(Odd);
        c.chkShowGridLines->setChecked(false);
        c.chkShowAutoFilters->setChecked(true);
        c.txtFontSize->setValue(12);
        c.lstMacros->topLevelItem(0)->setCheckState(0, Qt::Checked);
        c.Save();
        QVERIFY(c.WasSaved());
        QCOMPARE(c.SavedReport().IdReport, report);

        const ReportDefinitionItem back = s.GetReportDefinition(report);
        const QList<ReportColumnDefinition> expected{
            {Odd, 2, 22, true, true}, {"A", 7, 5, false, false}, {"Column3", 3, 10, false, false}};
        QCOMPARE(back.Columns, expected);
        QCOMPARE(back.Description, Odd);
        QVERIFY(back.DelExSheet);
        QCOMPARE(back.IdDataSource, ds);
        QCOMPARE(back.SQLView, "Select '" + Odd + "'");
        QCOMPARE(back.SheetName, Odd);
        QCOMPARE(back.ShowGridLines, QStringLiteral("0"));
        QCOMPARE(back.ShowAutoFilters, QStringLiteral("1"));
        QCOMPARE(back.FontSize, 12.0);
        QCOMPARE(back.MacroIds, (QList<int>{m2, 4242, m1}));
        QCOMPARE(p.messages(), QStringList());
    }

    void propertiesDispatcher()
    {
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        QSqlDatabase db = s.Connection();
        const int report = addReport(db, "R");
        QTreeWidget tree;
        auto *node = new QTreeWidgetItem(&tree, {"Reports"});
        ItemData::setKey(node, "c1");
        tree.setCurrentItem(node);
        ReportList list("r" + QString::number(report), {"R", "", "Excel", "", ""});

        QString opened;
        bool done = false;
        auto closeIt = [&](QWidget *w) {
            opened = w->objectName() + ":" + w->windowTitle();
            w->close();
        };
        onModal(closeIt, &done);
        PropertiesCommands::Properties(nullptr, &tree, &list.list, &list.list);
        QVERIFY(done);
        QCOMPARE(opened, QStringLiteral("frmRepProp:Properties [R]"));

        onModal(closeIt, &done);
        PropertiesCommands::Properties(nullptr, &tree, &list.list, tree.viewport());
        QVERIFY(done);
        QCOMPARE(opened, QStringLiteral("frmCatProp:Properties"));

        // A category row in the list (the recycle bin lists both kinds).
        ItemData::setKey(list.row, "c2");
        onModal(closeIt, &done);
        PropertiesCommands::ListItemProperties(nullptr, &list.list);
        QVERIFY(done);
        QCOMPARE(opened, QStringLiteral("frmCatProp:Properties"));

        // Nothing selected, or neither view focused: nothing opens.
        opened.clear();
        list.list.clearSelection();
        PropertiesCommands::Properties(nullptr, &tree, &list.list, &list.list);
        QWidget elsewhere;
        PropertiesCommands::Properties(nullptr, &tree, &list.list, &elsewhere);
        QVERIFY(opened.isEmpty());
        QCOMPARE(p.messages(), QStringList());
    }
};

QTEST_MAIN(TestProperties)
#include "test_properties.moc"
