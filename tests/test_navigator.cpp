#include "ModalAction.h"
#include "ScriptedPrompter.h"
#include "TestDb.h"

#include "navigator/DocProp.h"
#include "navigator/frmCatProp.h"
#include "navigator/frmMain.h"
#include "navigator/frmRepProp.h"
#include "repository/AppError.h"
#include "repository/Sql.h"
#include "shell/AppState.h"
#include "shell/ConnectDialog.h"
#include "shell/ItemData.h"
#include "shell/Settings.h"
#include "shell/frmOptions.h"

#include <QClipboard>
#include <QDir>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QtTest>
#include <functional>

namespace {

int count(RepositorySession &s, const QString &sql) { return Sql::scalar(s.Connection(), sql).toInt(); }

// A report with every row that hangs on it: sheet settings, columns, data-source link and view,
// macro reference, role grant.
int fullReport(RepositorySession &s, int category, const QString &name)
{
    QSqlDatabase db = s.Connection();
    const int id = s.NewReport(category, RepositorySession::KindExcel, name).IdReport;
    Sql::insert(db, "ZAT_ExcelSheetSettings", "IdSetting", {{"IdReport", id}, {"SheetName", "Sheet"}, {"FontSize", 9}});
    Sql::insert(db, "ZAT_ReportCols", "IdReportCol", {{"IdReport", id}, {"Name", "A"}, {"Width", 10}});
    Sql::insert(db, "ZAT_ReportCols", "IdReportCol", {{"IdReport", id}, {"Name", "B"}, {"Width", 20}});
    const int ds = Sql::insert(db, "ZAT_DataSource", "IdDataSource", {{"Name", "ds"}});
    const int view = Sql::insert(db, "ZAT_SQLViews", "IdSQLView", {{"strSQLView", "Select 1"}});
    Sql::insert(db, "ZAT_ReportDS", "IdReportDS", {{"IdReport", id}, {"IdSQLView", view}, {"IdDataSource", ds}});
    const int macro = Sql::insert(db, "ZAT_Macros", "IdMacro", {{"MacroName", "m"}});
    Sql::insert(db, "ZAT_References", "IdReference", {{"IdSource", id}, {"IdMacro", macro}, {"Tip", "r"}});
    const int role = Sql::insert(db, "ZAT_Role", "IdRole", {{"Role", "r"}});
    Sql::insert(db, "ZAT_Role_Report", "IdLeg", {{"IdRole", role}, {"IdReport", id}});
    Sql::exec(db, QStringLiteral("Update ZAT_Report Set SyncronizeCode = ?, Macro = ? Where IdReport = %1").arg(id),
              {QString(50, QChar('7')), "body"});
    return id;
}

QList<int> ids(const RepositorySession::CategoryList &list)
{
    QList<int> r;
    for (const auto &c : list)
        r << c.IdCategory;
    return r;
}

QList<int> ids(const RepositorySession::ReportList &list)
{
    QList<int> r;
    for (const auto &c : list)
        r << c.IdReport;
    return r;
}

QList<int> liveReports(RepositorySession &s, int category)
{
    QList<int> r;
    for (const ReportRow &row : s.GetReportRows(category))
        r << row.IdReport;
    return r;
}

QStringList texts(QTreeWidget *list)
{
    QStringList r;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        r << list->topLevelItem(i)->text(0);
    return r;
}

QTreeWidgetItem *listItem(frmMain *m, const QString &key)
{
    for (int i = 0; i < m->lstRep->topLevelItemCount(); ++i)
        if (ItemData::key(m->lstRep->topLevelItem(i)) == key)
            return m->lstRep->topLevelItem(i);
    return nullptr;
}

QPoint centre(QTreeWidget *view, QTreeWidgetItem *item) { return view->visualItemRect(item).center(); }

} // namespace

class TestNavigator : public QObject {
    Q_OBJECT

    frmMain *m = nullptr;

    // A fresh repository on backend and a new main window showing it.
    frmMain *openMain(const QString &backend = QStringLiteral("sqlite"))
    {
        frmMain::destroyInstance();
        TestDb::freshAppSession(backend);
        m = frmMain::instance();
        m->show();
        if (!QTest::qWaitForWindowActive(m))
            qWarning("main window not active");
        return m;
    }

    // Window shortcuts act in the active window; a modal window that closed may have left none.
    void activateMain()
    {
        QApplication::setActiveWindow(m);
        QTRY_VERIFY(QApplication::activeWindow() == m);
    }
    void focusList()
    {
        m->lstRep->setFocus();
        QTRY_VERIFY(m->listHasFocus());
    }
    void focusTree()
    {
        m->twRep->setFocus();
        QTRY_VERIFY(m->treeHasFocus());
    }
    void clickNode(const QString &key)
    {
        QTreeWidgetItem *node = ItemData::findByKey(m->twRep, key);
        QVERIFY(node);
        m->twRep->scrollToItem(node);
        QTest::mouseClick(m->twRep->viewport(), Qt::LeftButton, {}, centre(m->twRep, node));
        QCOMPARE(m->selectedNodeKey(), key);
    }
    void selectOnly(const QStringList &keys)
    {
        m->lstRep->clearSelection();
        for (const QString &k : keys) {
            QTreeWidgetItem *item = listItem(m, k);
            QVERIFY2(item, qPrintable(k));
            item->setSelected(true);
        }
    }
    QLineEdit *openEditor(QTreeWidget *view)
    {
        for (QLineEdit *e : view->viewport()->findChildren<QLineEdit *>())
            if (e->isVisible())
                return e;
        return nullptr;
    }
    // Types text into the open editor of view and ends the edit with Enter (committed queued).
    void commitEdit(QTreeWidget *view, const QString &text, bool keep = false)
    {
        QLineEdit *editor = openEditor(view);
        QVERIFY(editor);
        if (!keep)
            editor->setText(text);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(!openEditor(view));
    }
    void rightClick(QTreeWidget *view, const QPoint &pos)
    {
        QTest::mouseClick(view->viewport(), Qt::RightButton, {}, pos);
    }
    void closeMenus()
    {
        for (QMenu *menu : {m->mnuFile, m->mnuCategory, m->mnuCategory2, m->mnuOthers, m->mnuDelItem})
            menu->hide();
    }
    // A click on one cell of a list row, as a person makes it (no double-click).
    void clickCell(QTreeWidgetItem *item, int column)
    {
        const QModelIndex index = m->lstRep->model()->index(m->lstRep->indexOfTopLevelItem(item), column);
        QTest::mouseClick(m->lstRep->viewport(), Qt::LeftButton, {}, m->lstRep->visualRect(index).center());
    }
    // Long enough for a click on a selected row to have started its delayed label edit.
    static void waitPastDoubleClick() { QTest::qWait(QApplication::doubleClickInterval() + 150); }
    // Another administrator's console on the repository the main window shows.
    static void connectOther(RepositorySession &other)
    {
        RepositorySession &s = App::session();
        if (s.DatabaseKind() == RepositorySession::FileDatabase)
            other.OpenFile(s.DatabasePath());
        else
            other.OpenServer(s.ServerName(), s.ServerPort(), s.DatabaseName(), s.UserName(), QString());
    }

private Q_SLOTS:
    void cleanup()
    {
        if (m)
            closeMenus();
        frmMain::destroyInstance();
        m = nullptr;
    }

    // ---- library

    void newItemsAndNames_data() { TestDb::addBackends(); }
    void newItemsAndNames()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        const QString odd = QStringLiteral("O'Brien 100% \"ș日本\"");
        const CategoryItem a = s.NewCategory(1, odd);
        const CategoryItem b = s.NewCategory(1, "B");
        const CategoryItem c = s.NewCategory(a.IdCategory, "C");
        QCOMPARE(a.Name, odd);
        QVERIFY(s.CategoryNameExists(odd, 1));
        QVERIFY(!s.CategoryNameExists(odd, a.IdCategory));
        QVERIFY(!s.CategoryNameExists("o'brien", 1));
        // Parents before children, siblings in creation order.
        QCOMPARE(ids(s.GetCategoryList(-1, RepositorySession::Live)), (QList<int>{1, a.IdCategory, c.IdCategory, b.IdCategory, 2}));
        QCOMPARE(ids(s.GetCategoryList(1, RepositorySession::Live)), (QList<int>{a.IdCategory, b.IdCategory}));
        QCOMPARE(count(s, QStringLiteral("Select Count(*) From ZAT_Sort Where ItemType = 'c' And IdItem = %1").arg(c.IdCategory)), 1);

        const ReportItem own = s.NewReport(a.IdCategory, RepositorySession::KindVelmora, odd);
        const ReportItem text = s.NewReport(a.IdCategory, RepositorySession::KindText, "T");
        const ReportItem excel = s.NewReport(a.IdCategory, RepositorySession::KindExcel, "E");
        QCOMPARE(own.Name, odd);
        QCOMPARE(own.Version, QStringLiteral("Velmora"));
        QCOMPARE(own.IdExtension, 10);
        QCOMPARE(text.Version, QStringLiteral("Text"));
        QCOMPARE(text.IdExtension, 5);
        QCOMPARE(excel.Version, QStringLiteral("Excel"));
        QVERIFY(own.Modified.isValid());
        QVERIFY(s.ReportNameExists(odd, a.IdCategory));
        QVERIFY(!s.ReportNameExists(odd, 1));
        QCOMPARE(liveReports(s, a.IdCategory), (QList<int>{own.IdReport, text.IdReport, excel.IdReport}));
        QCOMPARE(s.GetReportRows(a.IdCategory).first().SortNr, 1);
        QCOMPARE(s.GetReportRows(a.IdCategory).last().SortNr, 3);
        QVERIFY_THROWS_EXCEPTION(AppError, s.NewReport(1, 77, "x"));
        // Descriptions survive an item read from the list and saved.
        Sql::exec(s.Connection(), QStringLiteral("Update ZAT_Category Set Description = 'kept' Where IdCateg = %1").arg(b.IdCategory));
        CategoryItem fromList = s.GetCategoryList(1, RepositorySession::Live).last();
        fromList.Name = "B2";
        QVERIFY(fromList.Save());
        QCOMPARE(s.GetCategory(b.IdCategory).Description, QStringLiteral("kept"));
    }

    void deleteAndRestore_data() { TestDb::addBackends(); }
    void deleteAndRestore()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        const int a = s.NewCategory(1, "A").IdCategory;
        const int b = s.NewCategory(a, "B").IdCategory;
        const int c = s.NewCategory(b, "C").IdCategory;
        const int ra = s.NewReport(a, 1, "ra").IdReport;
        const int rb = s.NewReport(b, 1, "rb").IdReport;
        const int rc = s.NewReport(c, 1, "rc").IdReport;
        QVERIFY(s.IsRecycleBinEmpty());

        // rb on its own first, then the whole of A; the root and the bin are never deleted.
        s.DeleteItems({rb}, {});
        s.DeleteItems({}, {a, 1, 2});
        QVERIFY(!s.IsRecycleBinEmpty());
        QCOMPARE(ids(s.GetCategoryList(-1, RepositorySession::Live)), (QList<int>{1, 2}));
        QCOMPARE(liveReports(s, -1), QList<int>());
        QCOMPARE(ids(s.GetCategoryList(-1, RepositorySession::Deleted)), QList<int>{a});
        QCOMPARE(ids(s.GetReportList(-1, RepositorySession::Deleted)), QList<int>{rb});

        // A comes back with what went with it; rb stays in the bin until restored itself.
        QVERIFY(s.RestoreItems({a}, {}));
        QCOMPARE(ids(s.GetCategoryList(-1, RepositorySession::Live)), (QList<int>{1, a, b, c, 2}));
        QCOMPARE(liveReports(s, -1), (QList<int>{ra, rc}));
        QCOMPARE(ids(s.GetReportList(-1, RepositorySession::Deleted)), QList<int>{rb});
        QVERIFY(s.RestoreItems({}, {rb}));
        QCOMPARE(s.GetReport(rb).IdCateg, b);
        QVERIFY(!s.RestoreItems({}, {rb})); // nothing left to restore

        // C deleted on its own, then its parent B: C comes back under the root, with its report.
        s.DeleteItems({}, {c});
        s.DeleteItems({}, {b});
        QCOMPARE(ids(s.GetCategoryList(-1, RepositorySession::Deleted)), (QList<int>{b, c}));
        QVERIFY(s.RestoreItems({c}, {}));
        QCOMPARE(s.GetCategory(c).IdParent, 1);
        QCOMPARE(liveReports(s, c), QList<int>{rc});
        QVERIFY(!s.RestoreItems({}, {rb})); // rb went with B, not on its own
        QVERIFY(!s.RestoreItems({c}, {})); // already live
        // A report whose category is still in the bin comes back under the root.
        s.DeleteItems({ra}, {});
        s.DeleteItems({}, {a});
        QVERIFY(s.RestoreItems({}, {ra}));
        QCOMPARE(s.GetReport(ra).IdCateg, 1);
        QVERIFY(liveReports(s, 1).contains(ra));
    }

    void emptyRecycleBin_data() { TestDb::addBackends(); }
    void emptyRecycleBin()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QVERIFY(!s.EmptyRecycleBin());
        const int a = s.NewCategory(1, "A").IdCategory;
        const int sub = s.NewCategory(a, "sub").IdCategory;
        const int gone = fullReport(s, sub, "gone");
        const int kept = fullReport(s, 1, "kept");
        // A second report reading the same view keeps the view alive.
        const int sharedView = Sql::scalar(s.Connection(), QStringLiteral("Select IdSQLView From ZAT_ReportDS Where IdReport = %1").arg(kept)).toInt();
        const int alsoGone = s.NewReport(a, 1, "alsoGone").IdReport;
        Sql::insert(s.Connection(), "ZAT_ReportDS", "IdReportDS", {{"IdReport", alsoGone}, {"IdSQLView", sharedView}});
        s.DeleteItems({}, {a});
        const auto before = [&](const QString &table) { return count(s, "Select Count(*) From " + table); };
        const int views = before("ZAT_SQLViews");
        QVERIFY(s.EmptyRecycleBin());
        QVERIFY(s.IsRecycleBinEmpty());
        for (const char *table : {"ZAT_ExcelSheetSettings", "ZAT_ReportDS", "ZAT_Role_Report"})
            QCOMPARE(before(table), 1);
        QCOMPARE(before("ZAT_ReportCols"), 2);
        QCOMPARE(before("ZAT_References"), 1);
        QCOMPARE(count(s, QStringLiteral("Select Count(*) From ZAT_References Where IdSource = %1").arg(kept)), 1);
        QCOMPARE(before("ZAT_SQLViews"), views - 1);
        QCOMPARE(count(s, QStringLiteral("Select Count(*) From ZAT_SQLViews Where IdSQLView = %1").arg(sharedView)), 1);
        QCOMPARE(count(s, QStringLiteral("Select Count(*) From ZAT_Report Where IdReport In (%1, %2)").arg(gone).arg(alsoGone)), 0);
        QCOMPARE(count(s, QStringLiteral("Select Count(*) From ZAT_Category Where IdCateg In (%1, %2)").arg(a).arg(sub)), 0);
        QCOMPARE(count(s, QStringLiteral("Select Count(*) From ZAT_Sort Where (ItemType = 'e' And IdItem Not In (Select IdReport From ZAT_Report)) "
                                         "Or (ItemType = 'c' And IdItem Not In (Select IdCateg From ZAT_Category))")), 0);
        // The fixed categories, the macros, roles and data sources stay.
        QCOMPARE(before("ZAT_Category"), 2);
        QCOMPARE(before("ZAT_Macros"), 2);
        QCOMPARE(before("ZAT_Role"), 2);
        QCOMPARE(liveReports(s, -1), QList<int>{kept});
    }

    void cutAndPaste_data() { TestDb::addBackends(); }
    void cutAndPaste()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        s.setDatabasePath("repo-path");
        const int a = s.NewCategory(1, "A").IdCategory;
        const int b = s.NewCategory(a, "B").IdCategory;
        const int t = s.NewCategory(1, "T").IdCategory;
        const int r1 = s.NewReport(1, 1, "r1").IdReport;
        s.NewReport(t, 1, "existing");

        const QString marker = s.CutItems({r1}, {a});
        QVERIFY(marker.startsWith(QStringLiteral("ZAT#$#") + s.RepositoryLocation() + QStringLiteral("#$#")));
        QVERIFY(!s.IsOurClipboard(QStringLiteral("ZAT#$#other#$#") + marker.section(QStringLiteral("#$#"), 2)));
        QVERIFY(s.IsOurClipboard(marker));
        QVERIFY(!s.IsOurClipboard(QStringLiteral("ZAT#$#other")));
        QVERIFY(!s.IsOurClipboard(QStringLiteral("ZAT")));
        QVERIFY(!s.IsOurClipboard(QStringLiteral("zat#$#repo-path")));
        // Into itself or below itself: refused, nothing moves.
        QVERIFY_THROWS_EXCEPTION(AppError, s.PasteItems(a));
        QVERIFY_THROWS_EXCEPTION(AppError, s.PasteItems(b));
        QVERIFY_THROWS_EXCEPTION(AppError, s.PasteItems(2));
        QVERIFY(!s.PasteItems(0));
        QCOMPARE(s.GetCategory(a).IdParent, 1);
        QVERIFY(s.PasteItems(t));
        QCOMPARE(s.GetCategory(a).IdParent, t);
        QCOMPARE(s.GetCategory(b).IdParent, a);
        QCOMPARE(s.GetReport(r1).IdCateg, t);
        QCOMPARE(s.GetReport(r1).SortNr, 2); // after "existing"
        QVERIFY(!s.PasteItems(1)); // a cut set is pasted once
        QCOMPARE(s.GetCategory(a).IdParent, t);
    }

    void copyIsDeep_data() { TestDb::addBackends(); }
    void copyIsDeep()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const int a = s.NewCategory(1, "A").IdCategory;
        const int b = s.NewCategory(a, "B").IdCategory;
        const int src = fullReport(s, b, "src");
        const int user = s.CurrentUserId();
        s.CheckOutReports({src}, false);

        s.CopyItems({src}, {});
        QVERIFY(s.PasteItems(b)); // same category: the copy gets a free name
        QVERIFY(s.PasteItems(b));
        const ReportRows rows = s.GetReportRows(b);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[1].Name, QStringLiteral("src(1)"));
        QCOMPARE(rows[2].Name, QStringLiteral("src(2)"));
        const int copy = rows[1].IdReport;
        QCOMPARE(rows[1].IdUserAppCheckOut, 0);
        QCOMPARE(s.GetReport(src).IdUserAppCheckOut, user);
        QVERIFY(Sql::scalar(db, QStringLiteral("Select SyncronizeCode From ZAT_Report Where IdReport = %1").arg(copy)).toString().isEmpty());
        QCOMPARE(Sql::scalar(db, QStringLiteral("Select Macro From ZAT_Report Where IdReport = %1").arg(copy)).toString(), QStringLiteral("body"));
        for (const char *table : {"ZAT_ExcelSheetSettings", "ZAT_ReportDS", "ZAT_ReportCols"})
            QCOMPARE(count(s, QStringLiteral("Select Count(*) From %1 Where IdReport = %2").arg(table).arg(copy)),
                     count(s, QStringLiteral("Select Count(*) From %1 Where IdReport = %2").arg(table).arg(src)));
        QCOMPARE(count(s, QStringLiteral("Select Count(*) From ZAT_References Where Tip = 'r' And IdSource = %1").arg(copy)), 1);
        // Its own view: editing the copy's SQL leaves the original alone.
        const int viewSrc = Sql::scalar(db, QStringLiteral("Select IdSQLView From ZAT_ReportDS Where IdReport = %1").arg(src)).toInt();
        const int viewCopy = Sql::scalar(db, QStringLiteral("Select IdSQLView From ZAT_ReportDS Where IdReport = %1").arg(copy)).toInt();
        QVERIFY(viewCopy != viewSrc);
        QCOMPARE(Sql::scalar(db, QStringLiteral("Select strSQLView From ZAT_SQLViews Where IdSQLView = %1").arg(viewCopy)).toString(), QStringLiteral("Select 1"));
        QCOMPARE(Sql::scalar(db, QStringLiteral("Select Name From ZAT_ReportCols Where IdReport = %1 Order By IdReportCol").arg(copy)).toString(), QStringLiteral("A"));

        // A whole sub-tree, copied into a sibling; not into itself.
        const int t = s.NewCategory(1, "T").IdCategory;
        s.CopyItems({}, {a});
        QVERIFY_THROWS_EXCEPTION(AppError, s.PasteItems(b));
        QVERIFY(s.PasteItems(t));
        const auto copies = s.GetCategoryList(t, RepositorySession::Live);
        QCOMPARE(copies.size(), 1);
        QCOMPARE(copies[0].Name, QStringLiteral("A"));
        const auto inner = s.GetCategoryList(copies[0].IdCategory, RepositorySession::Live);
        QCOMPARE(inner.size(), 1);
        QCOMPARE(inner[0].Name, QStringLiteral("B"));
        QCOMPARE(s.GetReportRows(inner[0].IdCategory).size(), 3);
        QCOMPARE(s.GetReportRows(b).size(), 3);
        // Pasting the same set again next to itself names the copy A(1).
        QVERIFY(s.PasteItems(1));
        QCOMPARE(s.GetCategoryList(1, RepositorySession::Live).last().Name, QStringLiteral("A(1)"));
    }

    // ---- window

    void loadAndImages_data() { TestDb::addBackends(); }
    void loadAndImages()
    {
        QFETCH(QString, backend);
        openMain(backend);
        RepositorySession &s = App::session();
        QSqlDatabase db = s.Connection();
        const int a = s.NewCategory(1, "A").IdCategory;
        const int nameless = s.NewCategory(1, "x").IdCategory;
        Sql::exec(db, QStringLiteral("Update ZAT_Category Set Name = Null Where IdCateg = %1").arg(nameless));
        const int r = s.NewReport(1, 1, "rep").IdReport;
        const int bare = s.NewReport(1, 1, "bare").IdReport;
        Sql::exec(db, QStringLiteral("Update ZAT_Report Set IdExtension = Null, Name = Null Where IdReport = %1").arg(bare));
        const int other = Sql::insert(db, "ZAT_UserApp", "IdUserApp", {{"UserFName", "Ana"}, {"UserLName", "Pop"}});
        const int single = Sql::insert(db, "ZAT_UserApp", "IdUserApp", {{"UserFName", "Ion"}});
        Sql::exec(db, QStringLiteral("Update ZAT_Report Set IdUserAppCheckOut = %1, FilePath = 'C:\\x.xls' Where IdReport = %2").arg(other).arg(r));
        Sql::exec(db, QStringLiteral("Update ZAT_Report Set IdUserAppCheckOut = %1 Where IdReport = %2").arg(single).arg(bare));
        m->RefreshMe();

        QCOMPARE(m->windowTitle(), QStringLiteral("  Document Management System"));
        QCOMPARE(m->selectedNodeKey(), QStringLiteral("c1"));
        QCOMPARE(m->txtRep->text(), QStringLiteral("Reports"));
        QCOMPARE(m->panelText(1), QStringLiteral("No. Categories : 2  /  No. Reports : 2"));
        QCOMPARE(texts(m->lstRep), (QStringList{"A", "Unknown", "rep", "Unknown"}));
        QTreeWidgetItem *root = ItemData::findByKey(m->twRep, "c1");
        QCOMPARE(root->data(0, frmMain::ImageRole).toInt(), 30);
        QCOMPARE(ItemData::findByKey(m->twRep, "c2")->data(0, frmMain::ImageRole).toInt(), 26);
        QTreeWidgetItem *nodeA = ItemData::findByKey(m->twRep, QStringLiteral("c%1").arg(a));
        QCOMPARE(nodeA->data(0, frmMain::ImageRole).toInt(), 24);
        QCOMPARE(nodeA->data(0, frmMain::SelectedImageRole).toInt(), 25);
        QCOMPARE(ItemData::findByKey(m->twRep, QStringLiteral("c%1").arg(nameless))->text(0), QStringLiteral("Unknown"));
        QTreeWidgetItem *rep = listItem(m, QStringLiteral("r%1").arg(r));
        QCOMPARE(rep->data(0, frmMain::ImageRole).toInt(), 10);
        QCOMPARE(rep->text(1), QStringLiteral("C:\\x.xls"));
        QCOMPARE(rep->text(2), QStringLiteral("Excel"));
        QVERIFY(!rep->text(3).isEmpty());
        QCOMPARE(rep->text(4), QStringLiteral("Ana Pop"));
        QTreeWidgetItem *b = listItem(m, QStringLiteral("r%1").arg(bare));
        QCOMPARE(b->data(0, frmMain::ImageRole).toInt(), 18);
        QCOMPARE(b->text(4), QStringLiteral("Ion"));
        QCOMPARE(listItem(m, QStringLiteral("c%1").arg(a))->data(0, frmMain::ImageRole).toInt(), 24);

        // The bin, empty and then holding items.
        clickNode("c2");
        QCOMPARE(m->panelText(1), QStringLiteral("No. Categories : 0  /  No. Reports : 0"));
        QCOMPARE(m->lstRep->topLevelItemCount(), 0);
        QCOMPARE(m->txtRep->text(), QStringLiteral("Recycle Bin"));
        const int text = s.NewReport(1, RepositorySession::KindText, "t").IdReport;
        const int own = s.NewReport(1, RepositorySession::KindVelmora, "v").IdReport;
        s.DeleteItems({r, text, own}, {a});
        clickNode("c2");
        QCOMPARE(m->panelText(1), QStringLiteral("No. Categories : 1  /  No. Reports : 3"));
        QCOMPARE(ItemData::findByKey(m->twRep, "c2")->data(0, frmMain::ImageRole).toInt(), 6);
        QCOMPARE(listItem(m, QStringLiteral("c%1").arg(a))->data(0, frmMain::ImageRole).toInt(), 1);
        QCOMPARE(listItem(m, QStringLiteral("r%1").arg(r))->data(0, frmMain::ImageRole).toInt(), 10);
        QCOMPARE(listItem(m, QStringLiteral("r%1").arg(text))->data(0, frmMain::ImageRole).toInt(), 5);
        QCOMPARE(listItem(m, QStringLiteral("r%1").arg(own))->data(0, frmMain::ImageRole).toInt(), 18);
        QCOMPARE(listItem(m, QStringLiteral("r%1").arg(r))->text(1), QStringLiteral("C:\\x.xls"));
    }

    void refreshKeepsAndFallsBack()
    {
        openMain();
        ScriptedPrompter p;
        RepositorySession &s = App::session();
        const int a = s.NewCategory(1, "A").IdCategory;
        const int b = s.NewCategory(a, "B").IdCategory;
        const int r = s.NewReport(b, 1, "r").IdReport;
        m->RefreshMe();
        ItemData::findByKey(m->twRep, QStringLiteral("c%1").arg(a))->setExpanded(true);
        clickNode(QStringLiteral("c%1").arg(b));
        selectOnly({QStringLiteral("r%1").arg(r)});
        s.NewReport(b, 1, "r2");
        m->RefreshMe();
        QCOMPARE(m->selectedNodeKey(), QStringLiteral("c%1").arg(b));
        QVERIFY(ItemData::findByKey(m->twRep, QStringLiteral("c%1").arg(a))->isExpanded());
        QCOMPARE(ItemData::key(m->selectedListItem()), QStringLiteral("r%1").arg(r));
        QCOMPARE(m->lstRep->topLevelItemCount(), 2);
        QCOMPARE(m->txtRep->text(), QStringLiteral("Reports\\A\\B"));

        // Deleted elsewhere: the root is selected and listed.
        s.DeleteItems({}, {a});
        m->RefreshMe();
        QCOMPARE(m->selectedNodeKey(), QStringLiteral("c1"));
        QCOMPARE(texts(m->lstRep), QStringList());
        QCOMPARE(m->panelText(1), QStringLiteral("No. Categories : 0  /  No. Reports : 0"));
        QCOMPARE(p.messages(), QStringList());

        // A category whose parent is missing is reported and left out.
        const int lost = Sql::insert(s.Connection(), "ZAT_Category", "IdCateg", {{"Name", "Lost"}, {"IdParent", 9999}, {"IsDeleted", 0}});
        m->RefreshMe();
        QCOMPARE(p.messages(), QStringList{QStringLiteral("Eroare la categoria Lost cu ID - ul %1 si parintele 9999!").arg(lost)});
        QCOMPARE(p.last().title, QStringLiteral("ZAT"));
        QCOMPARE(p.last().icon, Prompter::Icon::Exclamation);
        QVERIFY(!ItemData::findByKey(m->twRep, QStringLiteral("c%1").arg(lost)));
        QVERIFY(ItemData::findByKey(m->twRep, "c2"));

        // With nothing shown, a refresh shows the repository from its root.
        m->ClearViews();
        p.clear();
        Sql::exec(s.Connection(), QStringLiteral("Delete From ZAT_Category Where IdCateg = %1").arg(lost));
        m->RefreshMe();
        QCOMPARE(m->selectedNodeKey(), QStringLiteral("c1"));
        QCOMPARE(m->txtRep->text(), QStringLiteral("Reports"));
        QCOMPARE(m->panelText(1), QStringLiteral("No. Categories : 0  /  No. Reports : 0"));
        QCOMPARE(p.calls.size(), 0);
    }

    void sortingStaysOn()
    {
        openMain();
        RepositorySession &s = App::session();
        for (const char *n : {"b", "c", "a"})
            s.NewReport(1, 1, n);
        m->RefreshMe();
        QCOMPARE(texts(m->lstRep), (QStringList{"b", "c", "a"}));
        QHeaderView *header = m->lstRep->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
        QCOMPARE(texts(m->lstRep), (QStringList{"a", "b", "c"}));
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
        QCOMPARE(texts(m->lstRep), (QStringList{"c", "b", "a"}));
        // Another column also reverses the direction.
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(2) + 5, header->height() / 2));
        QCOMPARE(header->sortIndicatorSection(), 2);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        s.NewReport(1, 1, "d");
        m->RefreshMe();
        QCOMPARE(texts(m->lstRep), (QStringList{"d", "c", "b", "a"}));
        clickNode("c1");
        QCOMPARE(texts(m->lstRep), (QStringList{"d", "c", "b", "a"}));
    }

    void importDestinationIsTheSelectedNode()
    {
        openMain();
        const int a = App::session().NewCategory(1, "A 'x'").IdCategory;
        m->RefreshMe();
        clickNode("c1");
        QCOMPARE(m->txtRep->text(), QStringLiteral("Reports"));
        // A right click selects the node without listing it; the import still names that node.
        rightClick(m->twRep, centre(m->twRep, ItemData::findByKey(m->twRep, QStringLiteral("c%1").arg(a))));
        QTRY_VERIFY(m->mnuCategory2->isVisible());
        closeMenus();
        QString destination;
        bool done = false;
        QTimer::singleShot(0, this, [&] {
            QWidget *w = QApplication::activeModalWidget();
            QVERIFY(w);
            destination = w->findChild<QLineEdit *>("txtDestination")->text();
            w->close();
            done = true;
        });
        m->mnuImport->trigger();
        QTRY_VERIFY(done);
        QCOMPARE(destination, QStringLiteral("Reports\\A 'x'"));
    }

    void contextMenus()
    {
        openMain();
        RepositorySession &s = App::session();
        const int a = s.NewCategory(1, "A").IdCategory;
        const int own = s.NewReport(1, RepositorySession::KindVelmora, "own").IdReport;
        const int excel = s.NewReport(1, RepositorySession::KindExcel, "excel").IdReport;
        m->RefreshMe();
        QGuiApplication::clipboard()->setText("ZAT#$#somewhere else#$#copy");

        rightClick(m->twRep, centre(m->twRep, ItemData::findByKey(m->twRep, "c1")));
        QVERIFY(!m->mnuCategory2->isVisible());

        rightClick(m->twRep, centre(m->twRep, ItemData::findByKey(m->twRep, "c2")));
        QTRY_VERIFY(m->mnuCategory2->isVisible());
        QCOMPARE(m->mnuCCDelete->text(), QStringLiteral("Empty Recycle Binn"));
        QVERIFY(!m->mnuCCDelete->isEnabled());
        QVERIFY(!m->mnuCat1Cut->isVisible());
        QVERIFY(!m->mnuCat1Paste->isVisible());
        closeMenus();

        rightClick(m->twRep, centre(m->twRep, ItemData::findByKey(m->twRep, QStringLiteral("c%1").arg(a))));
        QTRY_VERIFY(m->mnuCategory2->isVisible());
        QCOMPARE(m->mnuCCDelete->text(), QStringLiteral("Delete"));
        QVERIFY(m->mnuCat1Cut->isVisible());
        QVERIFY(!m->mnuCat1Paste->isEnabled());
        QCOMPARE(m->selectedNodeKey(), QStringLiteral("c%1").arg(a));
        closeMenus();

        clickNode("c1");
        QTreeWidgetItem *ownItem = listItem(m, QStringLiteral("r%1").arg(own));
        rightClick(m->lstRep, centre(m->lstRep, ownItem));
        QTRY_VERIFY(m->mnuFile->isVisible());
        QVERIFY(m->mnuOpNewRep->isVisible() && m->mnuOpExRep->isVisible() && m->mnuProcessRep->isVisible());
        QVERIFY(!m->mnuRPaste->isEnabled());
        QVERIFY(m->mnuCheckOut->isEnabled());
        QVERIFY(!m->mnuCheckIn->isEnabled());
        QVERIFY(m->mnuPaste->isEnabled()); // the Edit menu's Paste stays available
        closeMenus();

        // Our own marker enables Paste; another type hides the workbook entries.
        focusList();
        selectOnly({QStringLiteral("r%1").arg(own)});
        m->mnuCopy->trigger();
        QVERIFY(m->IsOurClipboard());
        rightClick(m->lstRep, centre(m->lstRep, listItem(m, QStringLiteral("r%1").arg(excel))));
        QTRY_VERIFY(m->mnuFile->isVisible());
        QVERIFY(!m->mnuOpNewRep->isVisible() && !m->mnuOpExRep->isVisible() && !m->mnuProcessRep->isVisible());
        QVERIFY(!m->sepWorkbook1->isVisible());
        QVERIFY(m->mnuRPaste->isEnabled());
        QCOMPARE(m->selectedListItem()->text(0), QStringLiteral("excel"));
        closeMenus();

        rightClick(m->lstRep, centre(m->lstRep, listItem(m, QStringLiteral("c%1").arg(a))));
        QTRY_VERIFY(m->mnuCategory->isVisible());
        QVERIFY(m->mnuCatPaste->isEnabled());
        closeMenus();

        rightClick(m->lstRep, QPoint(5, m->lstRep->viewport()->height() - 3));
        QTRY_VERIFY(m->mnuOthers->isVisible());
        QVERIFY(m->mnuLPaste->isEnabled());
        QVERIFY(m->mnuImportDocs->isVisible());
        QCOMPARE(m->selectedListItem(), nullptr);
        closeMenus();

        s.DeleteItems({own}, {});
        clickNode("c2");
        rightClick(m->lstRep, centre(m->lstRep, m->lstRep->topLevelItem(0)));
        QTRY_VERIFY(m->mnuDelItem->isVisible());
        closeMenus();
        rightClick(m->lstRep, QPoint(5, m->lstRep->viewport()->height() - 3));
        QVERIFY(!m->mnuOthers->isVisible());
        rightClick(m->twRep, centre(m->twRep, ItemData::findByKey(m->twRep, "c2")));
        QTRY_VERIFY(m->mnuCategory2->isVisible());
        QVERIFY(m->mnuCCDelete->isEnabled());
    }

    void menusAndToolbar()
    {
        openMain();
        QVERIFY(!m->mnuQSearch->menuAction()->isVisible());
        QStringList bar;
        for (QAction *a : m->menuBar()->actions())
            if (a->isVisible())
                bar << a->text();
        QCOMPARE(bar, (QStringList{"&File", "&Edit", "&View", "&Tools", "&Help"}));
        const QList<QPair<QAction *, QString>> captions = {
            {m->mnuNewDB, "&Database"}, {m->mnuNewCategory, "&Category"}, {m->mnuNewExcel, "&Excel Report"},
            {m->mnuOpen45, "O&pen DB"}, {m->mnuSave, "&Save"}, {m->mnuOptions, "&Options"}, {m->mnuExit, "&Exit"},
            {m->mnuCut, "&Cut"}, {m->mnuCopy, "C&opy"}, {m->mnuPaste, "&Paste"}, {m->mnuDelete, "&Delete"},
            {m->mnuCheckIn1, "Check In"}, {m->mnuCheckOut1, "Check Out"}, {m->mnuWorkingFiles1, "Working Files"},
            {m->mnuFind, "&Find"}, {m->mnuViewRefresh, "&Refresh"}, {m->mnuViewProp, "&Properties"},
            {m->mnuDSN, "&DSN"}, {m->mnuMacro, "&Macro Editor"}, {m->mnuRights, "&User rights"},
            {m->mnuUserRep, "User &reports"}, {m->mnuImport, "&Import reports"}, {m->mnuExport, "&Export reports"},
            {m->mnuZATHelp, "&Contents"}, {m->mnuAboutUs, "&About Velmora"},
            {m->mnuRepProp, "Properties"}, {m->mnuCatProp, "Properties"}, {m->mnuOpen, "Open"}, {m->mnuOpen2, "&Open"},
            {m->mnuRestoreItem, "&Restore"}, {m->mnuImportDocs, "&Import"}, {m->mnuDrepturi, "&User rights"},
        };
        for (const auto &[action, caption] : captions) {
            QCOMPARE(action->text(), caption);
            QCOMPARE(m->findChild<QAction *>(action->objectName()), action);
        }
        QCOMPARE(m->mnuCut->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
        QCOMPARE(m->mnuPaste->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_V));
        QStringList keys, tips;
        for (QAction *a : m->Toolbar1->actions())
            if (!a->isSeparator()) {
                keys << a->data().toString();
                tips << a->toolTip();
            }
        QCOMPARE(keys, (QStringList{"Exit", "keyOpen", "keySave", "Cut", "Copy", "Paste", "Delete", "Refresh", "Find",
                                    "Properties", "DSN", "keyMacro", "keyUsers", "keyUserRep", "keyImport", "keyExport", "keyHelp"}));
        QCOMPARE(tips.mid(0, 3), (QStringList{"Exit", "Open database", "Save"}));
        QCOMPARE(tips[13], QStringLiteral("User / Reports"));
        // Starting mode of the two workbook entries.
        QCOMPARE(m->mnuOpNewRep->isChecked(), !App::OpenInExistingWorkbook);
        QCOMPARE(m->mnuOpExRep->isChecked(), App::OpenInExistingWorkbook);
    }

    // The window goes away (exit, another repository) while a view holds the focus or an edit is
    // open: closing it moves the focus, which must not reach the half-destroyed window.
    void destroyedWhileInUse_data()
    {
        QTest::addColumn<QString>("state");
        QTest::newRow("list focused") << QStringLiteral("list");
        QTest::newRow("tree focused") << QStringLiteral("tree");
        QTest::newRow("name being edited") << QStringLiteral("edit");
    }
    void destroyedWhileInUse()
    {
        QFETCH(QString, state);
        openMain();
        ScriptedPrompter p;
        const int id = App::session().NewReport(1, 1, "rep").IdReport;
        m->RefreshMe();
        if (state == QLatin1String("tree")) {
            focusTree();
        } else {
            focusList();
            if (state == QLatin1String("edit")) {
                m->lstRep->editItem(m->lstRep->topLevelItem(0), 0);
                QLineEdit *editor = openEditor(m->lstRep);
                QVERIFY(editor);
                editor->setText("renamed");
            }
        }
        QPointer<QTreeWidget> list = m->lstRep;
        frmMain::destroyInstance();
        m = nullptr;
        QVERIFY(list.isNull());
        QVERIFY(!frmMain::exists());
        QApplication::processEvents(); // nothing queued may still point at the window
        // An edit left open is dropped: no rename runs from a window being destroyed.
        QCOMPARE(App::session().GetReport(id).Name, QStringLiteral("rep"));
        QCOMPARE(p.calls.size(), 0);
    }

    void newItemsAndRename()
    {
        openMain();
        ScriptedPrompter p;
        RepositorySession &s = App::session();
        s.NewReport(1, 1, "New Report(1)");
        m->RefreshMe();
        QCOMPARE(m->CreateReportName(1, "New Report"), QStringLiteral("New Report"));
        m->mnuNewExcel->trigger();
        QLineEdit *editor = openEditor(m->lstRep);
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("New Report"));
        commitEdit(m->lstRep, QString(), true); // unchanged: the generated name stays
        QTreeWidgetItem *created = m->selectedListItem();
        QCOMPARE(created->text(0), QStringLiteral("New Report"));
        QCOMPARE(created->data(0, frmMain::ImageRole).toInt(), 17);
        QCOMPARE(created->text(2), QStringLiteral("Velmora"));
        QCOMPARE(m->CreateReportName(1, "New Report"), QStringLiteral("New Report(2)"));
        const int reportId = ItemData::idOfKey(ItemData::key(created));

        // Renaming in the list: 255 characters pass, 256 and empty are refused.
        const QString long255(255, QChar(u'ș'));
        m->lstRep->editItem(created, 0);
        commitEdit(m->lstRep, long255 + "x");
        QCOMPARE(p.messages(), QStringList{"The report name is too long ! (maximum 255 characters)"});
        QCOMPARE(p.last().title, QStringLiteral("Velmora"));
        QCOMPARE(p.last().icon, Prompter::Icon::Exclamation);
        QCOMPARE(created->text(0), QStringLiteral("New Report"));
        QCOMPARE(s.GetReport(reportId).Name, QStringLiteral("New Report"));
        m->lstRep->editItem(created, 0);
        commitEdit(m->lstRep, "");
        QCOMPARE(p.last().text, QStringLiteral("No 0-length string allowed!"));
        QCOMPARE(p.last().title, QStringLiteral("Error"));
        QCOMPARE(p.last().icon, Prompter::Icon::Critical);
        m->lstRep->editItem(created, 0);
        commitEdit(m->lstRep, long255);
        QCOMPARE(created->text(0), long255);
        QCOMPARE(s.GetReport(reportId).Name, long255);

        // A new category appears in tree and list; renaming it renames the node too.
        p.clear();
        m->mnuNewCategory->trigger();
        commitEdit(m->lstRep, "Sales 'Q1'");
        const QString key = ItemData::key(m->selectedListItem());
        QCOMPARE(s.GetCategory(ItemData::idOfKey(key)).Name, QStringLiteral("Sales 'Q1'"));
        QCOMPARE(ItemData::findByKey(m->twRep, key)->text(0), QStringLiteral("Sales 'Q1'"));
        QCOMPARE(ItemData::findByKey(m->twRep, key)->parent(), ItemData::findByKey(m->twRep, "c1"));
        QCOMPARE(m->CreateCategName(1, "New Category"), QStringLiteral("New Category"));
        const QString long300(300, QChar('c'));
        m->lstRep->editItem(m->selectedListItem(), 0);
        commitEdit(m->lstRep, long300);
        QCOMPARE(p.last().text, QStringLiteral("The category name is too long ! (maximum 255 characters)"));

        // The tree has no length limit of its own; the root and the bin cannot be renamed.
        QTreeWidgetItem *node = ItemData::findByKey(m->twRep, key);
        m->twRep->editItem(node, 0);
        commitEdit(m->twRep, long300);
        QCOMPARE(s.GetCategory(ItemData::idOfKey(key)).Name, long300);
        QCOMPARE(node->text(0), long300);
        QVERIFY(!(ItemData::findByKey(m->twRep, "c1")->flags() & Qt::ItemIsEditable));
        QVERIFY(!(ItemData::findByKey(m->twRep, "c2")->flags() & Qt::ItemIsEditable));
    }

    void deleteEmptyRestore()
    {
        openMain();
        ScriptedPrompter p;
        RepositorySession &s = App::session();
        const int a = s.NewCategory(1, "A").IdCategory;
        const int r = s.NewReport(1, 1, "r").IdReport;
        const int keep = s.NewReport(1, 1, "keep").IdReport;
        m->RefreshMe();

        // The root in the tree: nothing asked, nothing done.
        focusTree();
        QTest::keyClick(m->twRep, Qt::Key_Delete);
        QCOMPARE(p.calls.size(), 0);
        // Another node: its category goes to the bin after one question.
        const int t = s.NewCategory(1, "T").IdCategory;
        m->RefreshMe();
        clickNode(QStringLiteral("c%1").arg(t));
        focusTree();
        QTest::keyClick(m->twRep, Qt::Key_Delete);
        QCOMPARE(p.calls.size(), 1);
        QCOMPARE(ids(s.GetCategoryList(-1, RepositorySession::Deleted)), QList<int>{t});
        QVERIFY(!ItemData::findByKey(m->twRep, QStringLiteral("c%1").arg(t)));
        QCOMPARE(m->selectedNodeKey(), QStringLiteral("c1"));
        QVERIFY(s.RestoreItems({t}, {}));
        Sql::exec(s.Connection(), QStringLiteral("Update ZAT_Category Set IdParent = 9999 Where IdCateg = %1").arg(t));
        s.DeleteItems({}, {t});
        m->RefreshMe();
        p.clear();

        focusList();
        selectOnly({QStringLiteral("c%1").arg(a), QStringLiteral("r%1").arg(r)});
        p.answers.enqueue(Prompter::Answer::No);
        m->mnuDelete->trigger();
        QCOMPARE(p.messages(), QStringList{"Are you sure you want to move\rselected items in to Recycle Bin ?"});
        QCOMPARE(p.last().title, QStringLiteral("Confirmation"));
        QCOMPARE(p.last().buttons, Prompter::Buttons::YesNo);
        QCOMPARE(p.last().icon, Prompter::Icon::Question);
        QVERIFY(!s.GetReport(r).IsDeleted);
        p.answers.enqueue(Prompter::Answer::Yes);
        QTest::keyClick(m->lstRep, Qt::Key_Delete);
        QCOMPARE(p.calls.size(), 2);
        QCOMPARE(ids(s.GetReportList(-1, RepositorySession::Deleted)), QList<int>{r});
        QCOMPARE(ids(s.GetCategoryList(-1, RepositorySession::Deleted)), (QList<int>{a, t}));
        QCOMPARE(texts(m->lstRep), (QStringList{"keep"}));
        // Nothing is created inside the bin.
        clickNode("c2");
        m->mnuNewExcel->trigger();
        m->mnuNewCategory->trigger();
        QCOMPARE(s.GetReportRows(2).size(), 0);
        QCOMPARE(s.GetSubCategoryRows(2).size(), 0);

        // Restore the report from the bin.
        clickNode("c2");
        focusList();
        selectOnly({QStringLiteral("r%1").arg(r)});
        m->mnuRestoreItem->trigger();
        QCOMPARE(m->selectedNodeKey(), QStringLiteral("c2"));
        QCOMPARE(texts(m->lstRep), (QStringList{"A", "T"}));
        QCOMPARE(s.GetReport(r).IsDeleted, false);
        // A category whose parent is gone comes back under the root.
        selectOnly({QStringLiteral("c%1").arg(t)});
        m->mnuRestoreItem->trigger();
        QCOMPARE(s.GetCategory(t).IdParent, 1);
        QCOMPARE(ItemData::findByKey(m->twRep, QStringLiteral("c%1").arg(t))->parent(), ItemData::findByKey(m->twRep, "c1"));

        // Delete in the list of the bin empties it, whatever is selected; No keeps it.
        p.clear();
        p.answers.enqueue(Prompter::Answer::No);
        QTest::keyClick(m->lstRep, Qt::Key_Delete);
        QCOMPARE(p.messages(), QStringList{"Are you sure you want to empty the Recycle Binn ?"});
        QVERIFY(!s.IsRecycleBinEmpty());
        p.answers.enqueue(Prompter::Answer::Yes);
        m->mnuDelete->trigger();
        QVERIFY(s.IsRecycleBinEmpty());
        QCOMPARE(m->selectedNodeKey(), QStringLiteral("c2"));
        QCOMPARE(m->lstRep->topLevelItemCount(), 0);
        QCOMPARE(ItemData::findByKey(m->twRep, "c2")->data(0, frmMain::ImageRole).toInt(), 26);
        // Already empty: nothing is asked.
        p.clear();
        m->mnuDelete->trigger();
        QCOMPARE(p.calls.size(), 0);
        QVERIFY(s.GetReport(keep).IdReport == keep);
    }

    void clipboardCommands()
    {
        openMain();
        ScriptedPrompter p;
        RepositorySession &s = App::session();
        const int a = s.NewCategory(1, "A").IdCategory;
        const int b = s.NewCategory(1, "B").IdCategory;
        const int r1 = s.NewReport(1, 1, "r1").IdReport;
        const int r2 = s.NewReport(1, 1, "r2").IdReport;
        m->RefreshMe();

        // Cut in the list ghosts the items and puts our marker on the clipboard.
        focusList();
        selectOnly({QStringLiteral("r%1").arg(r1)});
        m->mnuCut->trigger();
        QVERIFY(listItem(m, QStringLiteral("r%1").arg(r1))->data(0, frmMain::GhostRole).toBool());
        QVERIFY(QGuiApplication::clipboard()->text().startsWith("ZAT#$#" + s.DatabasePath() + "#$#"));
        // Pasting onto a category row of the list: into that category.
        selectOnly({QStringLiteral("c%1").arg(a)});
        m->mnuPaste->trigger();
        QCOMPARE(s.GetReport(r1).IdCateg, a);
        QVERIFY(!listItem(m, QStringLiteral("r%1").arg(r1)));

        // Copy; pasting onto a report row pastes into the category shown in the tree.
        clickNode(QStringLiteral("c%1").arg(a));
        focusList();
        selectOnly({QStringLiteral("r%1").arg(r1)});
        m->Toolbar1_ButtonClick("Copy");
        clickNode("c1");
        focusList();
        selectOnly({QStringLiteral("r%1").arg(r2)});
        m->Toolbar1_ButtonClick("Paste");
        QCOMPARE(s.GetReportRows(1).size(), 2);
        QCOMPARE(s.GetReportRows(a).size(), 1);
        QVERIFY(texts(m->lstRep).contains("r1"));

        // Cut in the tree takes the node only; pasting onto its own child is refused with a message.
        const int child = s.NewCategory(a, "child").IdCategory;
        m->RefreshMe();
        clickNode(QStringLiteral("c%1").arg(a));
        focusList();
        selectOnly({QStringLiteral("r%1").arg(r1)});
        focusTree();
        m->mnuCut->trigger();
        QVERIFY(!listItem(m, QStringLiteral("r%1").arg(r1))->data(0, frmMain::GhostRole).toBool());
        clickNode(QStringLiteral("c%1").arg(child));
        focusTree();
        m->mnuPaste->trigger();
        QCOMPARE(p.calls.size(), 1);
        QVERIFY(p.last().text.contains("Origin : Paste"));
        QVERIFY(p.last().text.contains("cannot be pasted into itself"));
        QCOMPARE(s.GetCategory(a).IdParent, 1);
        clickNode(QStringLiteral("c%1").arg(b));
        focusTree();
        m->mnuPaste->trigger();
        QCOMPARE(s.GetCategory(a).IdParent, b);
        QCOMPARE(s.GetReport(r1).IdCateg, a);
        QCOMPARE(m->selectedNodeKey(), QStringLiteral("c%1").arg(b));
        QCOMPARE(texts(m->lstRep), QStringList{"A"});

        // Nothing selected anywhere: target 0, nothing happens.
        m->twRep->clearSelection();
        focusList();
        m->lstRep->clearSelection();
        p.clear();
        m->mnuPaste->trigger();
        QCOMPARE(p.calls.size(), 0);
    }

    void checkInAndOut()
    {
        openMain();
        RepositorySession &s = App::session();
        const int r = s.NewReport(1, 1, "r").IdReport;
        const int held = s.NewReport(1, 1, "held").IdReport;
        const int other = Sql::insert(s.Connection(), "ZAT_UserApp", "IdUserApp", {{"UserFName", "Ana"}});
        Sql::exec(s.Connection(), QStringLiteral("Update ZAT_Report Set IdUserAppCheckOut = %1 Where IdReport = %2").arg(other).arg(held));
        m->RefreshMe();
        focusList();
        selectOnly({QStringLiteral("r%1").arg(r)});
        m->mnuEdit_Click();
        QVERIFY(m->mnuCheckOut1->isEnabled());
        QVERIFY(!m->mnuCheckIn1->isEnabled());
        m->mnuCheckOut1->trigger();
        QCOMPARE(s.GetReport(r).IdUserAppCheckOut, s.CurrentUserId());
        QVERIFY(!listItem(m, QStringLiteral("r%1").arg(r))->text(4).isEmpty());
        QCOMPARE(ItemData::key(m->selectedListItem()), QStringLiteral("r%1").arg(r));
        m->mnuEdit_Click();
        QVERIFY(!m->mnuCheckOut1->isEnabled());
        QVERIFY(m->mnuCheckIn1->isEnabled());
        m->mnuCheckIn1->trigger();
        QCOMPARE(s.GetReport(r).IdUserAppCheckOut, 0);

        // Held by another user: the context menu disables Check In and Check In does nothing.
        rightClick(m->lstRep, centre(m->lstRep, listItem(m, QStringLiteral("r%1").arg(held))));
        QTRY_VERIFY(m->mnuFile->isVisible());
        QVERIFY(!m->mnuCheckIn->isEnabled());
        QVERIFY(!m->mnuCheckOut->isEnabled());
        closeMenus();
        m->mnuCheckIn->trigger();
        QCOMPARE(s.GetReport(held).IdUserAppCheckOut, other);
        // Nothing selected: the Edit menu's entries are off.
        m->lstRep->clearSelection();
        m->mnuEdit_Click();
        QVERIFY(!m->mnuCheckOut1->isEnabled() && !m->mnuCheckIn1->isEnabled());
    }

    void listKeys()
    {
        openMain();
        RepositorySession &s = App::session();
        const int a = s.NewCategory(1, "A").IdCategory;
        s.NewReport(a, 1, "inside");
        s.NewReport(1, 1, "r");
        m->RefreshMe();
        focusList();
        QTest::keyClick(m->lstRep, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(m->lstRep->selectedItems().size(), 2);
        selectOnly({QStringLiteral("c%1").arg(a)});
        m->lstRep->setCurrentItem(listItem(m, QStringLiteral("c%1").arg(a)), 0, QItemSelectionModel::NoUpdate);
        QTest::keyClick(m->lstRep, Qt::Key_Return);
        QCOMPARE(m->selectedNodeKey(), QStringLiteral("c%1").arg(a));
        QCOMPARE(texts(m->lstRep), QStringList{"inside"});
        QCOMPARE(m->txtRep->text(), QStringLiteral("Reports\\A"));
        // Double-click on a category row opens it as well.
        clickNode("c1");
        emit m->lstRep->itemDoubleClicked(listItem(m, QStringLiteral("c%1").arg(a)), 0);
        QCOMPARE(m->selectedNodeKey(), QStringLiteral("c%1").arg(a));
        QCOMPARE(m->txtRep->text(), QStringLiteral("Reports\\A"));

        // With neither workbook entry checked a report's double-click does nothing.
        ScriptedPrompter p;
        m->mnuOpExRep->setChecked(false);
        m->mnuOpNewRep->setChecked(false);
        QTreeWidgetItem *inside = m->lstRep->topLevelItem(0);
        emit m->lstRep->itemDoubleClicked(inside, 0);
        QCOMPARE(p.calls.size(), 0);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);

        // In the recycle bin it opens the row's properties instead.
        s.DeleteItems({ItemData::idOfKey(ItemData::key(inside))}, {});
        clickNode("c2");
        QString opened;
        QTimer::singleShot(0, [&] {
            if (QWidget *w = QApplication::activeModalWidget()) {
                opened = w->objectName();
                w->close();
            }
        });
        emit m->lstRep->itemDoubleClicked(m->lstRep->topLevelItem(0), 0);
        QTRY_COMPARE(opened, QStringLiteral("frmRepProp"));
    }

    // ---- editing and clipboard as an administrator uses them

    // Only the name column is edited in place, whatever cell was clicked or is current.
    void onlyTheNameIsEditedInPlace_data() { TestDb::addBackends(); }
    void onlyTheNameIsEditedInPlace()
    {
        QFETCH(QString, backend);
        openMain(backend);
        ScriptedPrompter p;
        RepositorySession &s = App::session();
        const int cat = s.NewCategory(1, "cat").IdCategory;
        const int rep = s.NewReport(1, RepositorySession::KindVelmora, "rep").IdReport;
        Sql::exec(s.Connection(), QStringLiteral("Update ZAT_Report Set FilePath = 'C:\\out.xlsx' Where IdReport = %1").arg(rep));
        m->RefreshMe();
        focusList();
        QTreeWidgetItem *row = listItem(m, QStringLiteral("r%1").arg(rep));
        clickCell(row, 0);
        QVERIFY(row->isSelected());

        // A click on the selected row's "Type" and "Destination file" cells starts no edit.
        for (int column : {2, 1}) {
            clickCell(row, column);
            waitPastDoubleClick();
            QVERIFY2(!openEditor(m->lstRep), qPrintable(QStringLiteral("column %1").arg(column)));
        }
        // F2 with another cell current edits the name.
        QCOMPARE(m->lstRep->currentIndex().column(), 1);
        QTest::keyClick(m->lstRep, Qt::Key_F2);
        QLineEdit *editor = openEditor(m->lstRep);
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("rep"));
        commitEdit(m->lstRep, "renamed");
        QCOMPARE(s.GetReport(rep).Name, QStringLiteral("renamed"));
        QCOMPARE(row->text(0), QStringLiteral("renamed"));
        QCOMPARE(row->text(2), QStringLiteral("Velmora"));
        QCOMPARE(s.GetReport(rep).FilePath, QStringLiteral("C:\\out.xlsx"));

        // A category row's empty cells neither: no "No 0-length string allowed!".
        QTreeWidgetItem *catRow = listItem(m, QStringLiteral("c%1").arg(cat));
        clickCell(catRow, 0);
        clickCell(catRow, 3);
        waitPastDoubleClick();
        QVERIFY(!openEditor(m->lstRep));
        QTest::keyClick(m->lstRep, Qt::Key_F2);
        QVERIFY(openEditor(m->lstRep));
        QCOMPARE(openEditor(m->lstRep)->text(), QStringLiteral("cat"));
        commitEdit(m->lstRep, QString(), true);
        QCOMPARE(p.calls.size(), 0);
        QCOMPARE(s.GetCategory(cat).Name, QStringLiteral("cat"));

        // The slow click on the selected row's name still renames.
        clickCell(row, 0);
        waitPastDoubleClick();
        clickCell(row, 0);
        QTRY_VERIFY(openEditor(m->lstRep));
        commitEdit(m->lstRep, QString(), true);
    }

    // Using a workbook entry does not change the double-click mode its mark shows.
    void workbookEntriesKeepTheirMarks()
    {
        openMain();
        ScriptedPrompter p;
        const int rep = App::session().NewReport(1, RepositorySession::KindVelmora, "rep").IdReport;
        m->RefreshMe();
        SetOpenMode(m, false);
        focusList();
        selectOnly({QStringLiteral("r%1").arg(rep)});
        m->mnuOpNewRep->trigger();
        m->mnuOpExRep->trigger();
        QVERIFY(m->mnuOpNewRep->isChecked());
        QVERIFY(!m->mnuOpExRep->isChecked());
        QVERIFY(!App::OpenInExistingWorkbook);
        // A double-click still runs the checked entry.
        const QPoint at = centre(m->lstRep, listItem(m, QStringLiteral("r%1").arg(rep)));
        p.clear();
        QTest::mouseClick(m->lstRep->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(m->lstRep->viewport(), Qt::LeftButton, {}, at);
        // (It has no data source, so it says so, from the double-click.)
        QCOMPARE(p.messages().size(), 1);
        QVERIFY2(p.last().text.endsWith("Origin : modMain.lstRep_DblClick()"), qPrintable(p.last().text));
    }

    // Items cut in one repository are not pasted into another one opened meanwhile.
    void pasteBelongsToItsRepository_data() { TestDb::addBackends(); }
    void pasteBelongsToItsRepository()
    {
        QFETCH(QString, backend);
        openMain(backend);
        ScriptedPrompter p;
        RepositorySession &a = App::session();
        const int aReport = a.NewReport(1, 1, "in A").IdReport;
        m->RefreshMe();
        // Repository B: a file holding a report of the same id and a category to paste into.
        const QString bPath = QDir(TestDb::tempDir()).filePath(QStringLiteral("b-%1.mdb").arg(backend));
        int bTarget = 0;
        {
            RepositorySession b;
            b.CreateDatabase(bPath);
            b.OpenFile(bPath);
            for (int id = 0; id < aReport;)
                id = b.NewReport(1, 1, QStringLiteral("in B %1").arg(id + 1)).IdReport;
            bTarget = b.NewCategory(1, "Target").IdCategory;
        }
        focusList();
        selectOnly({QStringLiteral("r%1").arg(aReport)});
        m->mnuCut->trigger();

        auto openRepository = [&](const QString &path) {
            bool done = false;
            onModal([&](QWidget *w) {
                auto *dlg = qobject_cast<ConnectDialog *>(w);
                QVERIFY(dlg);
                dlg->optFile->setChecked(true);
                dlg->txtFile->setText(path);
                QTest::mouseClick(dlg->cmdOK, Qt::LeftButton);
            }, &done);
            m->mnuOpen45->trigger();
            QTRY_VERIFY(done);
            QCOMPARE(App::session().DatabasePath(), path);
        };
        openRepository(bPath);
        clickNode(QStringLiteral("c%1").arg(bTarget));
        focusList();
        p.clear();
        m->mnuPaste->trigger();
        QCOMPARE(p.messages(), QStringList{"The items on the clipboard were cut or copied in another repository; they cannot "
                                           "be pasted here."});
        QCOMPARE(p.last().icon, Prompter::Icon::Exclamation);
        QCOMPARE(App::session().GetReport(aReport).IdCateg, 1);
        QCOMPARE(App::session().GetReport(aReport).Name, QStringLiteral("in B %1").arg(aReport));
        // The context menus' Paste is off for that marker.
        rightClick(m->lstRep, QPoint(5, m->lstRep->viewport()->height() - 3));
        QTRY_VERIFY(m->mnuOthers->isVisible());
        QVERIFY(!m->mnuLPaste->isEnabled());
        closeMenus();

        // Reconnecting forgets what was cut before, even in the same repository.
        clickNode("c1");
        focusList();
        selectOnly({QStringLiteral("r%1").arg(aReport)});
        m->mnuCut->trigger();
        openRepository(bPath);
        clickNode(QStringLiteral("c%1").arg(bTarget));
        focusList();
        p.clear();
        m->mnuPaste->trigger();
        QCOMPARE(p.calls.size(), 0);
        QCOMPARE(App::session().GetReport(aReport).IdCateg, 1);
        // The last file repository opened is offered at the next start.
        ConnectDialog next(App::session());
        QVERIFY(next.optFile->isChecked());
        QCOMPARE(next.txtFile->text(), bPath);
    }

    // A new database that cannot be created leaves the console on its repository and says why.
    void failedNewDatabaseKeepsTheRepository_data() { TestDb::addBackends(); }
    void failedNewDatabaseKeepsTheRepository()
    {
        QFETCH(QString, backend);
        openMain(backend);
        ScriptedPrompter p;
        RepositorySession &s = App::session();
        const int rep = s.NewReport(1, 1, "still here").IdReport;
        m->RefreshMe();
        const QString location = s.RepositoryLocation();
        const QString panel2 = m->panelText(2);
        p.files.enqueue(QDir(TestDb::tempDir()).filePath("no-such-folder/new"));
        m->mnuNewDB->trigger();
        QCOMPARE(p.messages().size(), 1);
        QVERIFY2(p.last().text.contains("cannot be created"), qPrintable(p.last().text));
        QVERIFY(p.last().text.endsWith("Origin : mnuNewDB_Click()"));
        QCOMPARE(s.RepositoryLocation(), location);
        QCOMPARE(m->panelText(2), panel2);
        // The next refresh works on the repository still shown.
        p.clear();
        QTest::keyClick(m->lstRep, Qt::Key_F5);
        QCOMPARE(p.calls.size(), 0);
        QVERIFY(listItem(m, QStringLiteral("r%1").arg(rep)));
    }

    // Options opens on the mode and file server in force, so OK alone changes nothing.
    void optionsOpenOnWhatIsInForce_data() { TestDb::addBackends(); }
    void optionsOpenOnWhatIsInForce()
    {
        QFETCH(QString, backend);
        openMain(backend);
        RepositorySession &s = App::session();
        App::CurrentCompanyId = Sql::scalar(s.Connection(), "Select Min(IdAuthor) From ZAT_Company").toInt();
        const QString server = QStringLiteral("\\\\files\\rapoarte ș");
        s.SetFileServer(App::CurrentCompanyId, 3, "", "", server);
        SetOpenMode(m, true);
        bool existing = false;
        QString shown;
        bool done = false;
        onModal([&](QWidget *w) {
            auto *options = qobject_cast<frmOptions *>(w);
            QVERIFY(options);
            existing = options->optExistingReport->isChecked();
            shown = options->txtFileDir->text();
            QTest::mouseClick(options->cmdOK, Qt::LeftButton);
        }, &done);
        m->mnuOptions->trigger();
        QTRY_VERIFY(done);
        App::CurrentCompanyId = 0;
        QVERIFY(existing);
        QCOMPARE(shown, server);
        QCOMPARE(s.GetFileServer(Sql::scalar(s.Connection(), "Select Min(IdAuthor) From ZAT_Company").toInt()), server);
        QVERIFY(App::OpenInExistingWorkbook);
        QVERIFY(m->mnuOpExRep->isChecked());
        // The next start of this program begins in new-report mode again.
        SaveSetting("DB", "ExistingReport", "0");
        SetOpenMode(m, false);
    }

    // One name rule for renaming, moving and copying: letter case and surrounding blanks ignored.
    void oneNameRule_data() { TestDb::addBackends(); }
    void oneNameRule()
    {
        QFETCH(QString, backend);
        openMain(backend);
        ScriptedPrompter p;
        RepositorySession &s = App::session();
        const int sales = s.NewCategory(1, "Sales").IdCategory;
        const int costs = s.NewCategory(1, "Costs").IdCategory;
        const int alpha = s.NewReport(1, 1, "Alpha").IdReport;
        const int beta = s.NewReport(1, 1, "beta").IdReport;
        s.NewReport(sales, 1, "alpha ");
        m->RefreshMe();
        QVERIFY(s.ReportNameExists(" ALPHA", 1));
        QVERIFY(!s.ReportNameExists("Alpha", 1, alpha)); // itself

        // Renaming a report in the list.
        focusList();
        selectOnly({QStringLiteral("r%1").arg(beta)});
        QTest::keyClick(m->lstRep, Qt::Key_F2);
        commitEdit(m->lstRep, " ALPHA ");
        QCOMPARE(p.messages(), QStringList{"A report with this name already exists in this folder!"});
        QCOMPARE(p.last().icon, Prompter::Icon::Exclamation);
        QCOMPARE(s.GetReport(beta).Name, QStringLiteral("beta"));
        QCOMPARE(listItem(m, QStringLiteral("r%1").arg(beta))->text(0), QStringLiteral("beta"));
        // Its own name in other letters is fine.
        selectOnly({QStringLiteral("r%1").arg(alpha)});
        QTest::keyClick(m->lstRep, Qt::Key_F2);
        commitEdit(m->lstRep, "ALPHA");
        QCOMPARE(s.GetReport(alpha).Name, QStringLiteral("ALPHA"));

        // Renaming a category in the tree and in the list.
        p.clear();
        QTreeWidgetItem *node = ItemData::findByKey(m->twRep, QStringLiteral("c%1").arg(costs));
        m->twRep->editItem(node, 0);
        commitEdit(m->twRep, "sales");
        QCOMPARE(p.messages(), QStringList{"A category with this name already exists in this folder!"});
        QCOMPARE(s.GetCategory(costs).Name, QStringLiteral("Costs"));
        QCOMPARE(node->text(0), QStringLiteral("Costs"));
        focusList();
        selectOnly({QStringLiteral("c%1").arg(costs)});
        QTest::keyClick(m->lstRep, Qt::Key_F2);
        commitEdit(m->lstRep, "SALES");
        QCOMPARE(p.calls.size(), 2);
        QCOMPARE(s.GetCategory(costs).Name, QStringLiteral("Costs"));

        // Cut and paste into a category holding the name: refused, nothing moves.
        p.clear();
        selectOnly({QStringLiteral("r%1").arg(alpha)});
        m->mnuCut->trigger();
        selectOnly({QStringLiteral("c%1").arg(sales)});
        m->mnuPaste->trigger();
        QCOMPARE(p.messages(), QStringList{"A report with this name already exists in this folder!"});
        QCOMPARE(s.GetReport(alpha).IdCateg, 1);
        QVERIFY_THROWS_EXCEPTION(AppError, s.PasteItems(sales));
        QCOMPARE(s.GetReport(alpha).IdCateg, 1);
        // Copy and paste takes a free name by the same rule.
        p.clear();
        focusList();
        selectOnly({QStringLiteral("r%1").arg(alpha)});
        m->mnuCopy->trigger();
        selectOnly({QStringLiteral("c%1").arg(sales)});
        m->mnuPaste->trigger();
        QCOMPARE(p.calls.size(), 0);
        QStringList names;
        for (const ReportRow &r : s.GetReportRows(sales))
            names << r.Name;
        QCOMPARE(names, (QStringList{"alpha ", "ALPHA(1)"}));
        // A category moved next to one of its name.
        const int inner = s.NewCategory(costs, "SALES ").IdCategory;
        m->RefreshMe();
        clickNode(QStringLiteral("c%1").arg(inner));
        focusTree();
        m->mnuCut->trigger();
        clickNode("c1");
        focusTree();
        m->mnuPaste->trigger();
        QCOMPARE(p.messages(), QStringList{"A category with this name already exists in this folder!"});
        QCOMPARE(s.GetCategory(inner).IdParent, costs);
    }

    // Ctrl+V while a name is edited pastes text, never the marker of cut or copied items.
    void nameEditorPastesTextOnly()
    {
        openMain();
        const int rep = App::session().NewReport(1, 1, "rep").IdReport;
        m->RefreshMe();
        focusList();
        selectOnly({QStringLiteral("r%1").arg(rep)});
        m->mnuCopy->trigger();
        QVERIFY(m->IsOurClipboard());
        QTest::keyClick(m->lstRep, Qt::Key_F2);
        QLineEdit *editor = openEditor(m->lstRep);
        QVERIFY(editor);
        editor->end(false);
        QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(editor->text(), QStringLiteral("rep"));
        QGuiApplication::clipboard()->setText(QStringLiteral(" 2026"));
        QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(editor->text(), QStringLiteral("rep 2026"));
        commitEdit(m->lstRep, QString(), true);
        QCOMPARE(App::session().GetReport(rep).Name, QStringLiteral("rep 2026"));

        // The same in the tree, where a slow click on the selected node starts the rename.
        const int cat = App::session().NewCategory(1, "cat").IdCategory;
        m->RefreshMe();
        focusList();
        selectOnly({QStringLiteral("r%1").arg(rep)});
        m->mnuCopy->trigger();
        clickNode(QStringLiteral("c%1").arg(cat));
        waitPastDoubleClick();
        QTreeWidgetItem *node = ItemData::findByKey(m->twRep, QStringLiteral("c%1").arg(cat));
        QTest::mouseClick(m->twRep->viewport(), Qt::LeftButton, {}, centre(m->twRep, node));
        QTRY_VERIFY(openEditor(m->twRep));
        editor = openEditor(m->twRep);
        editor->end(false);
        QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(editor->text(), QStringLiteral("cat"));
        commitEdit(m->twRep, QString(), true);
        QCOMPARE(App::session().GetCategory(cat).Name, QStringLiteral("cat"));
    }

    // Saving a report's definition that another administrator changed meanwhile asks first.
    void reportSaveAsksBeforeOverwriting_data() { TestDb::addBackends(); }
    void reportSaveAsksBeforeOverwriting()
    {
        QFETCH(QString, backend);
        openMain(backend);
        ScriptedPrompter p;
        RepositorySession &s = App::session();
        const int rep = s.NewReport(1, RepositorySession::KindVelmora, "rep").IdReport;
        m->RefreshMe();
        RepositorySession other;
        connectOther(other);

        auto openProperties = [&](std::function<void(frmRepProp *)> act) {
            focusList();
            selectOnly({QStringLiteral("r%1").arg(rep)});
            bool done = false;
            onModal([&](QWidget *w) {
                auto *window = qobject_cast<frmRepProp *>(w);
                QVERIFY(window);
                act(window);
                if (window->isVisible())
                    window->close();
            }, &done);
            m->mnuViewProp->trigger();
            QTRY_VERIFY(done);
        };
        // Nobody else saved: no question.
        openProperties([&](frmRepProp *w) {
            w->DocProp1->txtDescription->setPlainText("mine 1");
            QTest::mouseClick(w->cmdSave, Qt::LeftButton);
        });
        QCOMPARE(p.calls.size(), 0);
        QCOMPARE(s.GetReportDefinition(rep).Description, QStringLiteral("mine 1"));

        openProperties([&](frmRepProp *w) {
            ReportDefinitionItem theirs = other.GetReportDefinition(rep);
            theirs.SQLView = QStringLiteral("Select 'theirs'");
            other.SaveReportDefinition(theirs);
            w->DocProp1->txtDescription->setPlainText("mine 2");
            p.answers.enqueue(Prompter::Answer::No);
            QTest::mouseClick(w->cmdSave, Qt::LeftButton);
            QCOMPARE(p.messages(), QStringList{"The report was changed in the repository since this window loaded it.\r"
                                               "Overwrite those changes with yours?"});
            QCOMPARE(p.last().title, QStringLiteral("Confirmation"));
            QCOMPARE(p.last().icon, Prompter::Icon::Question);
            QCOMPARE(p.last().buttons, Prompter::Buttons::YesNo);
            QVERIFY(w->isVisible());
            QCOMPARE(s.GetReportDefinition(rep).SQLView, QStringLiteral("Select 'theirs'"));
            p.answers.enqueue(Prompter::Answer::Yes);
            QTest::mouseClick(w->cmdSave, Qt::LeftButton);
            QCOMPARE(p.calls.size(), 2);
            QVERIFY(!w->isVisible());
        });
        QCOMPARE(s.GetReportDefinition(rep).Description, QStringLiteral("mine 2"));
        QCOMPARE(s.GetReportDefinition(rep).SQLView, QString());
    }

    // The same for a category's properties; its name box is read-only, as its edits are not saved.
    void categorySaveAsksBeforeOverwriting_data() { TestDb::addBackends(); }
    void categorySaveAsksBeforeOverwriting()
    {
        QFETCH(QString, backend);
        openMain(backend);
        ScriptedPrompter p;
        RepositorySession &s = App::session();
        const int cat = s.NewCategory(1, "cat").IdCategory;
        m->RefreshMe();
        RepositorySession other;
        connectOther(other);
        rightClick(m->twRep, centre(m->twRep, ItemData::findByKey(m->twRep, QStringLiteral("c%1").arg(cat))));
        QTRY_VERIFY(m->mnuCategory2->isVisible());
        closeMenus();
        bool done = false;
        onModal([&](QWidget *w) {
            auto *window = qobject_cast<frmCatProp *>(w);
            QVERIFY(window);
            QVERIFY(window->txtCategoryName->isReadOnly());
            CategoryItem theirs = other.GetCategory(cat);
            theirs.Description = QStringLiteral("theirs");
            theirs.Save();
            window->txtCategoryDescription->setPlainText("mine");
            p.answers.enqueue(Prompter::Answer::No);
            QTest::mouseClick(window->cmdSave, Qt::LeftButton);
            QCOMPARE(p.messages(), QStringList{"The category was changed in the repository since this window loaded it.\r"
                                               "Overwrite those changes with yours?"});
            QCOMPARE(p.last().title, QStringLiteral("Confirmation"));
            QVERIFY(window->isVisible());
            QCOMPARE(s.GetCategory(cat).Description, QStringLiteral("theirs"));
            QTest::mouseClick(window->cmdSave, Qt::LeftButton); // Yes
            QVERIFY(!window->isVisible());
        }, &done);
        m->mnuCateg2Prop->trigger();
        QTRY_VERIFY(done);
        QCOMPARE(s.GetCategory(cat).Description, QStringLiteral("mine"));
        // Unchanged meanwhile: saved without a question.
        p.clear();
        onModal([&](QWidget *w) {
            auto *window = qobject_cast<frmCatProp *>(w);
            QVERIFY(window);
            window->txtCategoryDescription->setPlainText("mine again");
            QTest::mouseClick(window->cmdSave, Qt::LeftButton);
        }, &done);
        m->mnuCateg2Prop->trigger();
        QTRY_VERIFY(done);
        QCOMPARE(p.calls.size(), 0);
        QCOMPARE(s.GetCategory(cat).Description, QStringLiteral("mine again"));
    }

    // ---- what an administrator expects of the window

    // Panel 1 counts what the list shows after every command that changes it.
    void countsFollowTheList_data() { TestDb::addBackends(); }
    void countsFollowTheList()
    {
        QFETCH(QString, backend);
        openMain(backend);
        ScriptedPrompter p;
        RepositorySession &s = App::session();
        const int folder = s.NewCategory(1, "folder").IdCategory;
        m->RefreshMe();
        clickNode(QStringLiteral("c%1").arg(folder));
        QCOMPARE(m->panelText(1), QStringLiteral("No. Categories : 0  /  No. Reports : 0"));
        m->mnuNewCategory->trigger();
        commitEdit(m->lstRep, QString(), true);
        QCOMPARE(m->panelText(1), QStringLiteral("No. Categories : 1  /  No. Reports : 0"));
        m->mnuNewExcel->trigger();
        commitEdit(m->lstRep, QString(), true);
        m->mnuNewExcel->trigger();
        commitEdit(m->lstRep, QString(), true);
        QCOMPARE(m->panelText(1), QStringLiteral("No. Categories : 1  /  No. Reports : 2"));
        // Copy and paste a report onto the list's empty area.
        selectOnly({ItemData::key(m->lstRep->topLevelItem(1))});
        m->mnuCopy->trigger();
        m->lstRep->clearSelection();
        m->mnuPaste->trigger();
        QCOMPARE(m->lstRep->topLevelItemCount(), 4);
        QCOMPARE(m->panelText(1), QStringLiteral("No. Categories : 1  /  No. Reports : 3"));
        // Delete two rows.
        selectOnly({ItemData::key(m->lstRep->topLevelItem(0)), ItemData::key(m->lstRep->topLevelItem(1))});
        QTest::keyClick(m->lstRep, Qt::Key_Delete);
        QCOMPARE(m->panelText(1), QStringLiteral("No. Categories : 0  /  No. Reports : 2"));
        // Restore one of them from the bin.
        clickNode("c2");
        QCOMPARE(m->panelText(1), QStringLiteral("No. Categories : 1  /  No. Reports : 1"));
        focusList();
        selectOnly({ItemData::key(m->lstRep->topLevelItem(0))});
        m->mnuRestoreItem->trigger();
        QCOMPARE(m->lstRep->topLevelItemCount(), 1);
        QCOMPARE(m->panelText(1), QStringLiteral("No. Categories : 0  /  No. Reports : 1"));
    }

    // F5, Alt+Enter and the context-menu key; columns show their whole content.
    void keysAndColumns()
    {
        openMain();
        RepositorySession &s = App::session();
        const int cat = s.NewCategory(1, "cat").IdCategory;
        const int rep = s.NewReport(1, 1, "rep").IdReport;
        Sql::exec(s.Connection(), QStringLiteral("Update ZAT_Report Set Modified = ?, FilePath = ? Where IdReport = %1").arg(rep),
                  {Sql::dateValue(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7))),
                   QStringLiteral("\\\\files\\a rather long folder name\\and a long workbook name.xlsx")});
        m->RefreshMe();
        QTreeWidgetItem *row = listItem(m, QStringLiteral("r%1").arg(rep));
        QVERIFY2(row->text(3).contains("2026"), qPrintable(row->text(3)));
        const QFontMetrics metrics(m->lstRep->font());
        for (int column : {0, 1, 2, 3})
            QVERIFY2(m->lstRep->columnWidth(column) >= metrics.horizontalAdvance(row->text(column)),
                     qPrintable(QStringLiteral("column %1").arg(column)));

        // F5 shows what changed in the repository.
        s.NewReport(1, 1, "added elsewhere");
        focusList();
        QTest::keyClick(m->lstRep, Qt::Key_F5);
        QVERIFY(texts(m->lstRep).contains("added elsewhere"));

        // The context-menu key: the selected row's menu, or the tree node's.
        selectOnly({QStringLiteral("r%1").arg(rep)});
        QTest::keyClick(m->lstRep, Qt::Key_Menu);
        QTRY_VERIFY(m->mnuFile->isVisible());
        closeMenus();
        selectOnly({QStringLiteral("c%1").arg(cat)});
        QTest::keyClick(m->lstRep, Qt::Key_Menu);
        QTRY_VERIFY(m->mnuCategory->isVisible());
        closeMenus();
        clickNode(QStringLiteral("c%1").arg(cat));
        focusTree();
        QTest::keyClick(m->twRep, Qt::Key_Menu);
        QTRY_VERIFY(m->mnuCategory2->isVisible());
        closeMenus();

        // Alt+Enter opens the properties of the focused view's selection.
        QString opened;
        bool done = false;
        onModal([&](QWidget *w) {
            opened = w->objectName();
            w->close();
        }, &done);
        activateMain();
        QTest::keyClick(m->twRep, Qt::Key_Return, Qt::AltModifier);
        QTRY_VERIFY(done);
        QCOMPARE(opened, QStringLiteral("frmCatProp"));
    }
};

QTEST_MAIN(TestNavigator)
#include "test_navigator.moc"
