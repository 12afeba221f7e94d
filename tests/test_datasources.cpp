#include "ScriptedPrompter.h"
#include "TestDb.h"

#include "datasources/VariablesGrid.h"
#include "datasources/frmDS.h"
#include "datasources/frmDSN.h"
#include "datasources/frmDependences.h"
#include "datasources/frmEditSQLString.h"
#include "repository/AppError.h"
#include "repository/DataSourceItem.h"
#include "repository/Sql.h"
#include "shell/AppState.h"
#include "shell/ItemData.h"
#include "shell/TextFile.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QScrollBar>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QtTest>
#include <functional>

namespace {

int addDataSource(RepositorySession &s, const QString &name, const QString &conn = QStringLiteral("DSN=x"))
{
    DataSourceItem d(s);
    d.Name = name;
    d.ConnectionString = conn;
    if (!d.Save())
        throw AppError(1, "data source not saved");
    return d.IdDataSource;
}

int addVariable(RepositorySession &s, int ds, const QString &name, int sortNr, const QString &lookup = {})
{
    return Sql::insert(s.Connection(), "ZAT_Var", "IdVar",
                       {{"IdDataSource", ds}, {"Name", name}, {"Type", 1}, {"Caption", name + " caption"},
                        {"DefaultValue", ""}, {"LookupSQLString", lookup}, {"SortNr", sortNr}});
}

// Change record as the window sends it: row, value, Name, Type, Caption, Default, Lookup, SortNr.
QString record(int row, int value, const QString &name, const QString &type, const QString &lookup, int sortNr)
{
    return ChangeRecord::join({QString::number(row), QString::number(value), name, type, name + "?", "d", lookup,
                               QString::number(sortNr)});
}

QStringList variableNames(RepositorySession &s, int ds)
{
    QStringList out;
    for (const VariableRow &v : s.GetVariableRows(ds))
        out << v.Name;
    return out;
}

QList<int> dependenceIds(const DependenceRows &rows)
{
    QList<int> ids;
    for (const DependenceRow &r : rows)
        ids << r.IdVar;
    std::sort(ids.begin(), ids.end());
    return ids;
}

// Runs `act` on the modal window that the next modal call shows; `ran` tells it happened.
void onNextModal(bool &ran, std::function<void(QWidget *)> act)
{
    ran = false;
    QTimer::singleShot(0, [&ran, act] {
        QWidget *w = QApplication::activeModalWidget();
        if (!w)
            return;
        act(w);
        ran = true;
    });
}

QStringList gridRow(VariablesGrid *g, int row)
{
    QStringList out;
    for (int c = 0; c < 6; ++c)
        out << g->TextMatrix(row, c);
    return out;
}

void typeCell(VariablesGrid *g, int row, int col, const QString &text)
{
    g->setCurrentCell(row, col);
    g->item(row - 1, col)->setText(text); // as an in-place edit commits it
}

// A mouse click on a list row or a grid cell, where the user clicks.
void clickRow(QTreeWidget *list, QTreeWidgetItem *item)
{
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

void clickCell(VariablesGrid *g, int row, int col)
{
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->visualRect(g->model()->index(row - 1, col)).center());
}

void showActive(QWidget *w)
{
    w->show();
    w->activateWindow();
    if (!QTest::qWaitForWindowActive(w))
        qWarning("window not active");
}

} // namespace

class TestDataSources : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // ---- library

    void dataSourceItem_data() { TestDb::addBackends(); }
    void dataSourceItem()
    {
        QFETCH(QString, backend);
        RepositorySession &s = TestDb::freshAppSession(backend);
        DataSourceItem d(s);
        d.Name = QStringLiteral("Zed 'quoted' 100% ș日本");
        d.ConnectionString = QStringLiteral("Provider=x;Data Source='c:\\a b'");
        d.NetConnectionString = QStringLiteral("Server=.;Database=y");
        d.Description = QStringLiteral("line1\nline2");
        d.IsJet = 3;
        QVERIFY(d.Save());
        QVERIFY(d.IdDataSource > 0);
        const int first = addDataSource(s, QStringLiteral("Alpha"));

        const DataSourceList list = s.GetDataSourceList();
        QCOMPARE(list.size(), 2);
        QCOMPARE(list[0].IdDataSource, first); // by name
        const DataSourceItem back = s.GetDataSource(d.IdDataSource);
        QCOMPARE(back.Name, d.Name);
        QCOMPARE(back.ConnectionString, d.ConnectionString);
        QCOMPARE(back.NetConnectionString, d.NetConnectionString);
        QCOMPARE(back.Description, d.Description);
        QCOMPARE(back.IsJet, qint16(3));

        // Update in place; empty required fields are refused without a change.
        DataSourceItem edit = s.GetDataSource(first);
        edit.Name = QStringLiteral("Beta");
        QVERIFY(edit.Save());
        QCOMPARE(s.GetDataSource(first).Name, QStringLiteral("Beta"));
        edit.ConnectionString.clear();
        QVERIFY(!edit.Save());
        QCOMPARE(s.GetDataSource(first).ConnectionString, QStringLiteral("DSN=x"));
        QVERIFY_THROWS_EXCEPTION(AppError, s.GetDataSource(99999));

        // A vanished row is an error, not a silent insert.
        DataSourceItem ghost = s.GetDataSource(first);
        Sql::exec(s.Connection(), QStringLiteral("Delete From ZAT_DataSource Where IdDataSource = %1").arg(first));
        QVERIFY_THROWS_EXCEPTION(AppError, ghost.Save());
    }

    void deleteDataSource_data() { TestDb::addBackends(); }
    void deleteDataSource()
    {
        QFETCH(QString, backend);
        RepositorySession &s = TestDb::freshAppSession(backend);
        QSqlDatabase db = s.Connection();
        const int used = addDataSource(s, "used");
        const int other = addDataSource(s, "other");
        const int a = addVariable(s, used, "a", 1);
        const int b = addVariable(s, used, "b", 2);
        const int keep1 = addVariable(s, other, "k1", 1);
        const int keep2 = addVariable(s, other, "k2", 2);
        QVERIFY(s.SaveDependences(b, {a}));
        QVERIFY(s.SaveDependences(keep2, {keep1}));

        // A report in the recycle bin still holds it.
        const int report = Sql::insert(db, "ZAT_Report", "IdReport", {{"Name", "r"}, {"IdCateg", 2}, {"IsDeleted", 1}});
        Sql::insert(db, "ZAT_ReportDS", "IdReportDS", {{"IdReport", report}, {"IdDataSource", used}});
        QCOMPARE(s.DataSourceReportCount(used), 1);
        QCOMPARE(s.DataSourceVariableCount(used), 2);
        DataSourceItem d = s.GetDataSource(used);
        QVERIFY(!d.Delete());
        QCOMPARE(s.DataSourceVariableCount(used), 2);

        Sql::exec(db, QStringLiteral("Delete From ZAT_Report Where IdReport = %1").arg(report));
        QCOMPARE(s.DataSourceReportCount(used), 0); // a link without its report does not hold it
        QVERIFY(d.Delete());
        QCOMPARE(Sql::scalar(db, "Select Count(*) From ZAT_DataSource Where IdDataSource = ?", {used}).toInt(), 0);
        QCOMPARE(s.DataSourceVariableCount(used), 0);
        QCOMPARE(Sql::scalar(db, "Select Count(*) From ZAT_Dependences").toInt(), 1); // other's stays
        QCOMPARE(variableNames(s, other), (QStringList{"k1", "k2"}));
    }

    void saveVariables_data() { TestDb::addBackends(); }
    void saveVariables()
    {
        QFETCH(QString, backend);
        RepositorySession &s = TestDb::freshAppSession(backend);
        QSqlDatabase db = s.Connection();
        const int ds = addDataSource(s, "ds");
        const int other = addDataSource(s, "other");
        const int stay = addVariable(s, ds, "stay", 1);
        const int change = addVariable(s, ds, "change", 2);
        const int gone = addVariable(s, ds, "gone", 3);
        const int foreign = addVariable(s, other, "foreign", 1);
        QVERIFY(s.SaveDependences(stay, {gone}));

        const QString tricky = QStringLiteral("Select * From t Where a = '#$#' And b Like '100%\\' -- ș");
        QStringList changes{record(2, -change, "changed", "3", tricky, 4),
                            record(4, 0, "new 'one'", "", "", 5),
                            record(5, 0, "new#$#two\\", "2", "x", 6)};
        QVERIFY(s.SaveVariables(ds, changes, {gone, foreign, 0}));

        // Ids written back into field 1 of each record, other fields kept.
        const QStringList f0 = ChangeRecord::split(changes[0]);
        QCOMPARE(f0.at(1).toInt(), change);
        QCOMPARE(f0.at(6), tricky);
        const int newOne = ChangeRecord::split(changes[1]).at(1).toInt();
        const int newTwo = ChangeRecord::split(changes[2]).at(1).toInt();
        QVERIFY(newOne > 0 && newTwo > newOne);

        const VariableRows rows = s.GetVariableRows(ds);
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[0].IdVar, stay);
        QCOMPARE(rows[1].Name, QStringLiteral("changed"));
        QCOMPARE(rows[1].Type.toInt(), 3);
        QCOMPARE(rows[1].LookupSQLString, tricky);
        QCOMPARE(rows[1].SortNr.toInt(), 4);
        QCOMPARE(rows[2].Name, QStringLiteral("new 'one'"));
        QCOMPARE(rows[2].Type.toInt(), 1); // no type chosen: String
        QCOMPARE(rows[3].Name, QStringLiteral("new#$#two\\"));
        // The deleted variable went with its dependences; another data source's variable did not.
        QCOMPARE(Sql::scalar(db, "Select Count(*) From ZAT_Var Where IdVar = ?", {gone}).toInt(), 0);
        QCOMPARE(Sql::scalar(db, "Select Count(*) From ZAT_Dependences").toInt(), 0);
        QCOMPARE(variableNames(s, other), QStringList{"foreign"});

        // Leaving one out; nulls stay null.
        Sql::exec(db, QStringLiteral("Update ZAT_Var Set Type = Null, SortNr = Null, Caption = Null Where IdVar = %1").arg(stay));
        const VariableRows without = s.GetVariableRows(ds, change);
        QCOMPARE(without.size(), 3);
        QCOMPARE(without[0].IdVar, stay); // null SortNr sorts as 0
        QVERIFY(without[0].Type.isNull());
        QVERIFY(without[0].SortNr.isNull());
        QCOMPARE(without[0].Caption, QString());

        // A variable removed meanwhile is stored again; a missing data source refuses.
        Sql::exec(db, QStringLiteral("Delete From ZAT_Var Where IdVar = %1").arg(change));
        QStringList again{record(1, change, "back", "1", "", 1)};
        QVERIFY(s.SaveVariables(ds, again, {}));
        QVERIFY(ChangeRecord::split(again[0]).at(1).toInt() != change);
        QStringList none;
        QVERIFY(!s.SaveVariables(98765, none, {}));
        QStringList broken{QStringLiteral("1#$#0#$#x")};
        QVERIFY_THROWS_EXCEPTION(AppError, s.SaveVariables(ds, broken, {}));
    }

    void dependences_data() { TestDb::addBackends(); }
    void dependences()
    {
        QFETCH(QString, backend);
        RepositorySession &s = TestDb::freshAppSession(backend);
        const int ds = addDataSource(s, "ds");
        const int a = addVariable(s, ds, "A", 1);
        const int b = addVariable(s, ds, "B", 2);
        const int c = addVariable(s, ds, "C", 3);
        const int d = addVariable(s, ds, "D", 4);
        const int elsewhere = addVariable(s, addDataSource(s, "other"), "X", 1);

        QVERIFY(s.SaveDependences(a, {b, c, b}));
        QCOMPARE(dependenceIds(s.GetDependenceRows(a, true)), (QList<int>{b, c}));
        QVERIFY(s.SaveDependences(b, {c}));
        QCOMPARE(s.GetDependenceRows(b, true).first().Name, QStringLiteral("C"));
        // Replacing the set.
        QVERIFY(s.SaveDependences(a, {b}));
        QCOMPARE(dependenceIds(s.GetDependenceRows(a, true)), QList<int>{b});
        // In the way of deleting: both directions.
        QCOMPARE(dependenceIds(s.GetDependenceRows(b, false)), (QList<int>{a, c}));
        QCOMPARE(dependenceIds(s.GetDependenceRows(d, false)), QList<int>{});

        // Cycles, direct and through others, and foreign or own ids are refused unchanged.
        QCOMPARE(s.DependenceCycle(c, {a}), (QStringList{"A", "B", "C"}));
        QCOMPARE(s.DependenceCycle(b, {a}), (QStringList{"A", "B"}));
        QCOMPARE(s.DependenceCycle(c, {d}), QStringList{});
        QCOMPARE(s.DependenceCycle(a, {b}), QStringList{}); // its own edges are being replaced
        QVERIFY(!s.SaveDependences(c, {d, a}));
        QVERIFY(!s.SaveDependences(c, {c}));
        QVERIFY(!s.SaveDependences(c, {elsewhere}));
        QCOMPARE(dependenceIds(s.GetDependenceRows(c, true)), QList<int>{});
        QVERIFY(s.SaveDependences(c, {d}));

        // Removing: everything in the way, and nothing else.
        s.DeleteDependences(b);
        QCOMPARE(dependenceIds(s.GetDependenceRows(b, false)), QList<int>{});
        QCOMPARE(dependenceIds(s.GetDependenceRows(c, true)), QList<int>{d});
        QVERIFY(s.SaveDependences(c, {}));
        QCOMPARE(Sql::scalar(s.Connection(), "Select Count(*) From ZAT_Dependences").toInt(), 0);
    }

    void changeRecords_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("plain") << QStringList{"1", "12", "Name", "2"};
        QTest::newRow("separator inside") << QStringList{"#$#", "a#$#b", "#", "$#$"};
        QTest::newRow("backslashes") << QStringList{"\\", "a\\#$#", "\\\\", ""};
        QTest::newRow("empty fields") << QStringList{"", "", ""};
        QTest::newRow("unicode") << QStringList{QStringLiteral("日本ș€"), "'%'"};
    }
    void changeRecords()
    {
        QFETCH(QStringList, fields);
        QCOMPARE(ChangeRecord::split(ChangeRecord::join(fields)), fields);
        // What the window appends joins the same way.
        const QString r = ChangeRecord::join(fields) + "#$#" + ChangeRecord::escape("x#$#y") + "#$#7";
        QCOMPARE(ChangeRecord::split(r), fields + QStringList({"x#$#y", "7"}));
    }

    // ---- text files

    void ansiDecode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("cp1252 accents and euro") << QByteArray("Caf\xE9 \x80 \x9C") << QStringLiteral("Café € œ");
        QTest::newRow("ascii crlf") << QByteArray("a\r\nb") << QStringLiteral("a\r\nb");
        QTest::newRow("utf8 with bom") << QByteArray("\xEF\xBB\xBF\xE6\x97\xA5") << QStringLiteral("日");
        QTest::newRow("utf8 without bom") << QByteArray("\xC8\x99i") << QStringLiteral("și");
        QTest::newRow("empty") << QByteArray() << QString();
    }
    void ansiDecode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(TextFile::decode(bytes), text);
    }

    void ansiRoundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("cp1252");
        QTest::newRow("ascii") << QStringLiteral("Select 1\n") << true;
        QTest::newRow("cp1252") << QStringLiteral("Café €") << true;
        QTest::newRow("outside cp1252") << QStringLiteral("Café € ș 日本") << false;
        QTest::newRow("cp1252 that reads as utf8") << QStringLiteral("Ã©") << false;
    }
    void ansiRoundTrip()
    {
        QFETCH(QString, text);
        QFETCH(bool, cp1252);
        const QByteArray bytes = TextFile::encode(text);
        QCOMPARE(!bytes.startsWith("\xEF\xBB\xBF"), cp1252);
        QCOMPARE(TextFile::decode(bytes), text);
        const QString path = TestDb::tempDir() + "/rt.txt";
        TextFile::write(path, text);
        QCOMPARE(TextFile::read(path), text);
    }

    // ---- windows

    void emptyRepositoryAndFirstAdd()
    {
        ScriptedPrompter p;
        TestDb::freshAppSession("sqlite");
        frmDSN w;
        QCOMPARE(w.lstDSN->topLevelItemCount(), 0);
        QCOMPARE(w.grdVariabile->rowCount(), 0);
        QVERIFY(!w.grdVariabile->isEditable());
        QVERIFY(!w.cmdDelete->isEnabled() && !w.cmdEdit->isEnabled() && !w.cmdSave->isEnabled());
        QCOMPARE(w.grdVariabile->horizontalHeaderItem(1)->text(), QStringLiteral("Name"));
        QCOMPARE(w.grdVariabile->horizontalHeaderItem(5)->text(), QStringLiteral("Lookup SQL String"));

        bool ran = false;
        onNextModal(ran, [](QWidget *m) {
            auto *dlg = qobject_cast<frmDS *>(m);
            QVERIFY(dlg);
            QCOMPARE(dlg->windowTitle(), QStringLiteral("  Add Data Source"));
            dlg->txtName->setText("First");
            dlg->txtConnString->setPlainText("DSN=first");
            dlg->txtDescription->setPlainText("desc");
            dlg->chkJet->setChecked(true);
            dlg->cmdSave->click();
        });
        w.cmdAdd->click();
        QTRY_VERIFY(ran);
        QCOMPARE(w.lstDSN->topLevelItemCount(), 1);
        QTreeWidgetItem *row = w.lstDSN->topLevelItem(0);
        QCOMPARE(row->text(0), QStringLiteral("First"));
        QCOMPARE(row->text(1), QStringLiteral("DSN=first"));
        QCOMPARE(row->text(2), QStringLiteral("desc"));
        QCOMPARE(row->text(3), QStringLiteral("Yes"));
        QVERIFY(ItemData::tag(row).toInt() > 0);
        QCOMPARE(w.lstDSN->currentItem(), row);
        QVERIFY(w.cmdDelete->isEnabled() && w.cmdEdit->isEnabled() && w.cmdSave->isEnabled());
        QCOMPARE(w.grdVariabile->Rows(), 2);
        QVERIFY(w.grdVariabile->isEditable());

        p.answers.enqueue(Prompter::Answer::Yes);
        w.cmdDelete->click();
        QCOMPARE(p.last().text, QStringLiteral("Are you sure you want to delete\rdata source 'First' ?"));
        QCOMPARE(p.last().title, QStringLiteral("Velmora"));
        QCOMPARE(p.last().icon, Prompter::Icon::Question);
        QCOMPARE(p.last().buttons, Prompter::Buttons::YesNo);
        QCOMPARE(w.lstDSN->topLevelItemCount(), 0);
        QCOMPARE(w.grdVariabile->rowCount(), 0);
        QVERIFY(!w.grdVariabile->isEditable());
        QVERIFY(!w.cmdDelete->isEnabled() && !w.cmdEdit->isEnabled() && !w.cmdSave->isEnabled());
        QCOMPARE(App::session().GetDataSourceList().size(), 0);
    }

    void dsDialogChecks_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("conn");
        QTest::addColumn<QString>("message");
        QTest::newRow("both empty: name first") << "" << "" << "Complete the field 'Name' !";
        QTest::newRow("no connection") << "n" << "" << "Complete the field 'Connection string' !";
        QTest::newRow("blanks pass") << " " << "  " << "";
    }
    void dsDialogChecks()
    {
        QFETCH(QString, name);
        QFETCH(QString, conn);
        QFETCH(QString, message);
        ScriptedPrompter p;
        TestDb::freshAppSession("sqlite");
        frmDS dlg;
        dlg.AddDataSource();
        dlg.txtName->setText(name);
        dlg.txtConnString->setPlainText(conn);
        dlg.cmdSave_Click();
        if (message.isEmpty()) {
            QVERIFY(p.calls.isEmpty());
            QVERIFY(!dlg.Cancel);
            QCOMPARE(App::session().GetDataSource(dlg.DS.IdDataSource).Name, name);
        } else {
            QCOMPARE(p.messages(), QStringList{message});
            QCOMPARE(p.last().icon, Prompter::Icon::Critical);
            QCOMPARE(p.last().title, QStringLiteral("Velmora"));
            QVERIFY(dlg.Cancel);
            QCOMPARE(dlg.txtName->text(), name); // typed values stay
            QCOMPARE(App::session().GetDataSourceList().size(), 0);
        }
    }

    void editVanishedDataSource()
    {
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        const int id = addDataSource(s, "gone soon");
        frmDS dlg;
        dlg.DS = s.GetDataSource(id);
        dlg.hasDS = true;
        dlg.EditDataSource();
        dlg.txtName->setText("typed");
        Sql::exec(s.Connection(), "Delete From ZAT_DataSource");
        dlg.cmdSave_Click();
        QCOMPARE(p.calls.size(), 1);
        QVERIFY(p.last().text.endsWith("Origin : cmdSave_Click()"));
        QVERIFY(p.last().text.contains("no longer exists"));
        QVERIFY(dlg.Cancel);
        QCOMPARE(dlg.txtName->text(), QStringLiteral("typed"));
        QCOMPARE(dlg.DS.Name, QStringLiteral("gone soon"));
        QCOMPARE(s.GetDataSourceList().size(), 0); // not stored again behind the user's back
    }

    void memoKeys()
    {
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        addVariable(s, addDataSource(s, "ds"), "v", 1, "Select 1");
        frmDSN w;
        w.show();
        VariablesGrid *g = w.grdVariabile;
        g->setCurrentCell(1, 5);
        QTest::keyClick(g, Qt::Key_C, Qt::ControlModifier); // a shortcut opens nothing
        QTest::keyClick(g, Qt::Key_Right);
        QVERIFY(!QApplication::activeModalWidget());
        bool ran = false;
        onNextModal(ran, [](QWidget *m) {
            auto *memo = qobject_cast<frmEditSQLString *>(m);
            QVERIFY(memo);
            memo->Toolbar1->actions().at(0)->trigger(); // keyCancel
        });
        QTest::keyClick(g, Qt::Key_A);
        QTRY_VERIFY(ran);
        QCOMPARE(g->TextMatrix(1, 5), QStringLiteral("Select 1"));
    }

    void editAndJetAndSorting()
    {
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        const int b = addDataSource(s, "b-source", "conn b");
        const int a = addDataSource(s, "a-source", "conn a");
        Sql::exec(s.Connection(), QStringLiteral("Update ZAT_DataSource Set IsJet = -1 Where IdDataSource = %1").arg(b));
        frmDSN w;
        QCOMPARE(w.lstDSN->topLevelItemCount(), 2);
        QCOMPARE(w.lstDSN->topLevelItem(0)->text(3), QStringLiteral("No"));
        QCOMPARE(w.lstDSN->topLevelItem(1)->text(3), QStringLiteral("Yes"));
        QCOMPARE(w.shownDataSource(), a);

        // Any header click flips the direction.
        w.lstDSN_ColumnClick(0);
        QCOMPARE(w.lstDSN->topLevelItem(0)->text(0), QStringLiteral("a-source"));
        w.lstDSN_ColumnClick(1);
        QCOMPARE(w.lstDSN->topLevelItem(0)->text(0), QStringLiteral("b-source"));

        // Cancel leaves the row; save rewrites it.
        w.lstDSN->setCurrentItem(w.lstDSN->topLevelItem(0));
        bool ran = false;
        onNextModal(ran, [](QWidget *m) {
            auto *dlg = qobject_cast<frmDS *>(m);
            QCOMPARE(dlg->windowTitle(), QStringLiteral("Edit Data Source"));
            QCOMPARE(dlg->txtName->text(), QStringLiteral("b-source"));
            QVERIFY(dlg->chkJet->isChecked());
            dlg->txtName->setText("changed");
            dlg->cmdCancel->click();
        });
        w.cmdEdit->click();
        QTRY_VERIFY(ran);
        QCOMPARE(w.lstDSN->topLevelItem(0)->text(0), QStringLiteral("b-source"));
        onNextModal(ran, [](QWidget *m) {
            auto *dlg = qobject_cast<frmDS *>(m);
            dlg->txtName->setText("renamed");
            dlg->txtConnStringNet->setPlainText("net");
            dlg->chkJet->setChecked(false);
            dlg->cmdSave->click();
        });
        w.cmdEdit->click();
        QTRY_VERIFY(ran);
        QCOMPARE(w.lstDSN->topLevelItem(0)->text(0), QStringLiteral("renamed"));
        QCOMPARE(w.lstDSN->topLevelItem(0)->text(3), QStringLiteral("No"));
        QCOMPARE(s.GetDataSource(b).NetConnectionString, QStringLiteral("net"));

        // Enter in the list and a double-click edit too.
        onNextModal(ran, [](QWidget *m) { qobject_cast<frmDS *>(m)->cmdCancel->click(); });
        QTest::keyClick(w.lstDSN, Qt::Key_Return);
        QTRY_VERIFY(ran);
        onNextModal(ran, [](QWidget *m) { qobject_cast<frmDS *>(m)->cmdCancel->click(); });
        emit w.lstDSN->itemDoubleClicked(w.lstDSN->topLevelItem(0), 0);
        QTRY_VERIFY(ran);
        QVERIFY(p.calls.isEmpty());
    }

    void deleteDataSourceInUse()
    {
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        const int ds = addDataSource(s, "used");
        addVariable(s, ds, "v1", 1);
        addVariable(s, ds, "v2", 2);
        const int report = Sql::insert(s.Connection(), "ZAT_Report", "IdReport", {{"Name", "r"}, {"IdCateg", 1}, {"IsDeleted", 0}});
        const int link = Sql::insert(s.Connection(), "ZAT_ReportDS", "IdReportDS", {{"IdReport", report}, {"IdDataSource", ds}});
        frmDSN w;
        w.cmdDelete->click();
        QCOMPARE(p.messages(), QStringList{"The data source 'used' is used by 1 report(s) and cannot be deleted.\r"
                                           "Reports in the Recycle Bin count too."});
        QCOMPARE(p.last().icon, Prompter::Icon::Exclamation);
        QCOMPARE(w.lstDSN->topLevelItemCount(), 1);

        Sql::exec(s.Connection(), QStringLiteral("Delete From ZAT_ReportDS Where IdReportDS = %1").arg(link));
        p.clear();
        p.answers.enqueue(Prompter::Answer::No);
        w.cmdDelete->click();
        QCOMPARE(p.last().text, QStringLiteral("Are you sure you want to delete\rdata source 'used' ?\r"
                                               "Its 2 variable(s) and their dependences are deleted with it."));
        QCOMPARE(w.lstDSN->topLevelItemCount(), 1);
        w.cmdDelete->click(); // default answer Yes
        QCOMPARE(w.lstDSN->topLevelItemCount(), 0);
        QCOMPARE(s.DataSourceVariableCount(ds), 0);
    }

    void gridLoadingAndNumbering()
    {
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        const int ds = addDataSource(s, "with nulls");
        const int empty = addDataSource(s, "without variables");
        const int v = Sql::insert(s.Connection(), "ZAT_Var", "IdVar", {{"IdDataSource", ds}});
        addVariable(s, ds, "second", 5, "Select 2");
        Sql::exec(s.Connection(), "Update ZAT_Var Set Type = 3 Where Name = 'second'");
        frmDSN w;
        VariablesGrid *g = w.grdVariabile;
        QCOMPARE(w.shownDataSource(), ds);
        QCOMPARE(g->Rows(), 4);
        QCOMPARE(gridRow(g, 1), (QStringList{"0", "", "String", "", "", ""}));
        QCOMPARE(g->RowValue(1), v);
        QCOMPARE(gridRow(g, 2), (QStringList{"5", "second", "Date", "second caption", "", "Select 2"}));
        QCOMPARE(gridRow(g, 3), (QStringList{"", "", "", "", "", ""}));
        QVERIFY(!g->RowChanged(1) && !g->RowChanged(2));

        // Typing a variable after the last one numbers it after it.
        typeCell(g, 3, 1, "third");
        QCOMPARE(g->Rows(), 5);
        QCOMPARE(g->TextMatrix(3, 0), QStringLiteral("6"));
        QCOMPARE(g->RowValue(3), 0);

        // A data source without variables: header and blank row; the first typed gets 1. (The
        // typed "third" is dropped, as the user answers.)
        p.answers.enqueue(Prompter::Answer::No);
        w.lstDSN->setCurrentItem(w.lstDSN->topLevelItem(1));
        QCOMPARE(w.shownDataSource(), empty);
        QCOMPARE(g->Rows(), 2);
        typeCell(g, 1, 3, "caption first");
        QCOMPARE(g->TextMatrix(1, 0), QStringLiteral("1"));
        typeCell(g, 1, 1, "first");
        typeCell(g, 2, 1, "next");
        QCOMPARE(g->TextMatrix(2, 0), QStringLiteral("2"));
        g->setCurrentCell(2, 2);
        g->setTextMatrix(2, 2, "2"); // the drop-down shows the text of its key
        QCOMPARE(g->TextMatrix(2, 2), QStringLiteral("Numeric"));

        w.show();
        w.cmdSave->click();
        QVERIFY(!w.isVisible());
        QCOMPARE(w.result(), int(QDialog::Accepted));
        const VariableRows rows = s.GetVariableRows(empty);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].Caption, QStringLiteral("caption first"));
        QCOMPARE(rows[0].SortNr.toInt(), 1);
        QCOMPARE(rows[1].Name, QStringLiteral("next"));
        QCOMPARE(rows[1].Type.toInt(), 2);
        QCOMPARE(rows[1].SortNr.toInt(), 2);
        QCOMPARE(g->RowValue(2), rows[1].IdVar); // ids written back
        QCOMPARE(p.calls.size(), 1); // only whether to save "third"
    }

    void moveRows()
    {
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        const int ds = addDataSource(s, "ds");
        const int a = addVariable(s, ds, "a", 1);
        const int b = addVariable(s, ds, "b", 2);
        const int c = addVariable(s, ds, "c", 3);
        frmDSN w;
        VariablesGrid *g = w.grdVariabile;
        auto order = [g] {
            QStringList o;
            for (int r = 1; r < g->Rows() - 1; ++r)
                o << g->TextMatrix(r, 0) + g->TextMatrix(r, 1);
            return o;
        };
        const QStringList before{"1a", "2b", "3c"};
        g->setCurrentCell(1, 1);
        w.cmdUp->click();
        QCOMPARE(order(), before);
        g->setCurrentCell(3, 1);
        w.cmdDown->click(); // the last variable: the blank row stays last
        QCOMPARE(order(), before);
        g->setCurrentCell(4, 1);
        w.cmdUp->click(); // the blank row does not move
        QCOMPARE(order(), before);
        QVERIFY(!g->RowChanged(1) && !g->RowChanged(2) && !g->RowChanged(3));

        g->setCurrentCell(3, 1);
        w.cmdUp->click();
        QCOMPARE(order(), (QStringList{"1a", "2c", "3b"}));
        QCOMPARE(g->Row(), 2);
        QCOMPARE(g->RowValue(2), c);
        w.cmdDown->click();
        QCOMPARE(order(), before);
        QCOMPARE(g->RowValue(3), c);

        // A move is saved as new sort numbers.
        g->setCurrentCell(2, 1);
        w.cmdUp->click();
        w.cmdSave->click();
        const VariableRows rows = s.GetVariableRows(ds);
        QCOMPARE(rows[0].IdVar, b);
        QCOMPARE(rows[1].IdVar, a);
        QCOMPARE(rows[1].SortNr.toInt(), 2);
        QCOMPARE(rows[2].IdVar, c);
    }

    void memoEditor()
    {
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        const int ds = addDataSource(s, "ds");
        const int v = addVariable(s, ds, "v", 1, "Select old");
        frmDSN w;
        w.show();
        VariablesGrid *g = w.grdVariabile;

        // Never on columns 0 to 4, nor on the blank last row.
        for (int col = 0; col < 5; ++col) {
            g->setCurrentCell(1, col);
            w.EditMemo();
            QVERIFY(!QApplication::activeModalWidget());
        }
        g->setCurrentCell(2, 5);
        w.EditMemo();
        QVERIFY(!QApplication::activeModalWidget());

        // Cancel keeps everything.
        g->setCurrentCell(1, 5);
        bool ran = false;
        onNextModal(ran, [](QWidget *m) {
            auto *memo = qobject_cast<frmEditSQLString *>(m);
            QCOMPARE(memo->windowTitle(), QStringLiteral("<Memo>"));
            QCOMPARE(memo->txtEdit->toPlainText(), QStringLiteral("Select old"));
            memo->txtEdit->setPlainText("ignored");
            QTest::keyClick(memo->txtEdit, Qt::Key_Escape);
        });
        w.EditMemo();
        QTRY_VERIFY(ran);
        QCOMPARE(g->TextMatrix(1, 5), QStringLiteral("Select old"));
        QCOMPARE(g->RowValue(1), v);

        // Saving marks the stored row with its negated id.
        onNextModal(ran, [](QWidget *m) {
            auto *memo = qobject_cast<frmEditSQLString *>(m);
            memo->txtEdit->setPlainText("Select new\nFrom t");
            QTest::keyClick(memo->txtEdit, Qt::Key_S, Qt::ControlModifier);
        });
        w.EditMemo();
        QTRY_VERIFY(ran);
        QCOMPARE(g->TextMatrix(1, 5), QStringLiteral("Select new\nFrom t"));
        QCOMPARE(g->RowValue(1), -v);

        // A new row keeps 0.
        typeCell(g, 2, 1, "fresh");
        g->setCurrentCell(2, 5);
        onNextModal(ran, [](QWidget *m) {
            auto *memo = qobject_cast<frmEditSQLString *>(m);
            memo->txtEdit->setPlainText("Select fresh");
            memo->Toolbar1->actions().at(1)->trigger(); // keySave
        });
        w.EditMemo();
        QTRY_VERIFY(ran);
        QCOMPARE(g->RowValue(2), 0);

        // A cell still being edited when "&Save" is clicked keeps what was typed.
        g->setCurrentCell(2, 3);
        g->editItem(g->item(1, 3));
        auto *editor = g->viewport()->findChild<QLineEdit *>();
        QVERIFY(editor);
        editor->setText("typed caption");
        w.cmdSave->click();
        const VariableRows rows = s.GetVariableRows(ds);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].LookupSQLString, QStringLiteral("Select new\nFrom t"));
        QCOMPARE(rows[1].LookupSQLString, QStringLiteral("Select fresh"));
        QCOMPARE(rows[1].Caption, QStringLiteral("typed caption"));
    }

    void memoFiles()
    {
        ScriptedPrompter p;
        frmEditSQLString memo;
        QAction *keyNew = memo.Toolbar1->findChild<QAction *>("keyNew");
        QAction *keyImport = memo.Toolbar1->findChild<QAction *>("keyImport");
        QAction *keyExport = memo.Toolbar1->findChild<QAction *>("keyExport");
        QVERIFY(keyNew && keyImport && keyExport);

        const QString in = TestDb::tempDir() + "/old.txt";
        QFile f(in);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Select 'Caf\xE9' -- \x80\r\n");
        f.close();
        p.files.enqueue(in);
        keyImport->trigger();
        QCOMPARE(memo.txtEdit->toPlainText(), QStringLiteral("Select 'Café' -- €\n"));
        QCOMPARE(p.last().kind, QStringLiteral("open"));

        // Cancelled dialog or unreadable file: text unchanged, nothing shown.
        keyImport->trigger();
        p.files.enqueue(TestDb::tempDir() + "/missing.txt");
        keyImport->trigger();
        QCOMPARE(memo.txtEdit->toPlainText(), QStringLiteral("Select 'Café' -- €\n"));
        QVERIFY(p.messages().isEmpty());

        const QString out = TestDb::tempDir() + "/out.txt";
        memo.txtEdit->setPlainText(QStringLiteral("Select 'ș' -- 日本 €"));
        p.files.enqueue(out);
        keyExport->trigger();
        QCOMPARE(p.last().defaultText, QStringLiteral("txt"));
        QCOMPARE(TextFile::read(out), QStringLiteral("Select 'ș' -- 日本 €"));

        // A file that cannot be written is reported, as the macro export reports it.
        p.files.enqueue(TestDb::tempDir() + "/no/such/folder/out.txt");
        keyExport->trigger();
        QCOMPARE(p.last().icon, Prompter::Icon::Critical);
        QVERIFY(p.last().text.contains("Cannot write the file"));

        keyNew->trigger();
        QCOMPARE(memo.txtEdit->toPlainText(), QString());
        QVERIFY(memo.Cancel);

        // Just under the cell: 700 and 180 twips added to the sums.
        QCOMPARE(frmEditSQLString::Position(1500, 3000, QRect(300, 600, 900, 300), 150, 1500),
                 QPoint((1500 + 150 + 300 + 180) / 15, (3000 + 1500 + 600 + 300 + 700) / 15));
    }

    void saveAlwaysCloses()
    {
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        {
            frmDSN w; // nothing selected
            w.show();
            w.cmdSave_Click();
            QVERIFY(!w.isVisible());
        }
        const int ds = addDataSource(s, "ds");
        addVariable(s, ds, "v", 1);
        {
            frmDSN w; // nothing changed
            w.show();
            w.cmdSave_Click();
            QVERIFY(!w.isVisible());
        }
        {
            frmDSN w; // the library refuses: the data source went meanwhile
            w.show();
            typeCell(w.grdVariabile, 2, 1, "lost");
            Sql::exec(s.Connection(), "Delete From ZAT_DataSource");
            w.cmdSave_Click();
            QVERIFY(!w.isVisible());
        }
        QVERIFY(p.calls.isEmpty());
    }

    void dependencesButton()
    {
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        const int ds = addDataSource(s, "ds");
        const int a = addVariable(s, ds, "A", 1);
        const int b = addVariable(s, ds, "B", 2);
        const int c = addVariable(s, ds, "C", 3);
        addVariable(s, addDataSource(s, "zz other"), "X", 1);
        Sql::exec(s.Connection(), QStringLiteral("Update ZAT_Var Set Type = 2 Where IdVar = %1").arg(c));
        frmDSN w;
        w.show();
        VariablesGrid *g = w.grdVariabile;

        g->setCurrentCell(4, 1); // blank row
        w.cmdReferences->click();
        QVERIFY(p.calls.isEmpty());
        typeCell(g, 4, 1, "unsaved");
        g->setCurrentCell(4, 1);
        w.cmdReferences->click();
        QCOMPARE(p.messages(), QStringList{"Salvati modificarile efectuate si reveniti ..."});
        QCOMPARE(p.last().title, QStringLiteral("ZAT"));
        QCOMPARE(p.last().icon, Prompter::Icon::Exclamation);

        // Edit view: the others of the same data source; tick and save.
        g->setCurrentCell(1, 1);
        bool ran = false;
        onNextModal(ran, [&](QWidget *m) {
            auto *dlg = qobject_cast<frmDependences *>(m);
            QCOMPARE(dlg->windowTitle(), QStringLiteral(" Dependences"));
            QCOMPARE(dlg->txtDSN->text(), QStringLiteral("ds"));
            QCOMPARE(dlg->lstReferences->topLevelItemCount(), 2);
            QCOMPARE(dlg->lstReferences->topLevelItem(0)->text(0), QStringLiteral("B"));
            QCOMPARE(dlg->lstReferences->topLevelItem(1)->text(2), QStringLiteral("Numeric"));
            QCOMPARE(ItemData::key(dlg->lstReferences->topLevelItem(1)), QStringLiteral("k%1").arg(c));
            dlg->lstReferences->topLevelItem(1)->setCheckState(0, Qt::Checked);
            QCOMPARE(dlg->lstReferences->currentItem(), dlg->lstReferences->topLevelItem(1));
            dlg->cmdSave->click();
        });
        w.cmdReferences->click();
        QTRY_VERIFY(ran);
        QCOMPARE(dependenceIds(s.GetDependenceRows(a, true)), QList<int>{c});

        // Shown ticked next time; cancel changes nothing.
        onNextModal(ran, [&](QWidget *m) {
            auto *dlg = qobject_cast<frmDependences *>(m);
            QCOMPARE(dlg->lstReferences->topLevelItem(1)->checkState(0), Qt::Checked);
            dlg->lstReferences->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
            dlg->cmdCancel->click();
        });
        w.cmdReferences->click();
        QTRY_VERIFY(ran);
        QCOMPARE(dependenceIds(s.GetDependenceRows(a, true)), QList<int>{c});

        // C may not depend on A: the dialog says why and stays open.
        g->setCurrentCell(3, 1);
        p.clear();
        bool stayed = false;
        onNextModal(ran, [&](QWidget *m) {
            auto *dlg = qobject_cast<frmDependences *>(m);
            dlg->lstReferences->topLevelItem(0)->setCheckState(0, Qt::Checked); // A
            dlg->cmdSave->click();
            stayed = dlg->isVisible();
            dlg->cmdCancel->click();
        });
        w.cmdReferences->click();
        QTRY_VERIFY(ran);
        QVERIFY(stayed);
        QCOMPARE(p.messages(), QStringList{"The variable 'C' cannot depend on 'A', because 'A' already depends on 'C' (A -> C)."});
        QCOMPARE(dependenceIds(s.GetDependenceRows(c, true)), QList<int>{});

        // Saving with nothing ticked removes them all.
        g->setCurrentCell(1, 1);
        onNextModal(ran, [&](QWidget *m) {
            auto *dlg = qobject_cast<frmDependences *>(m);
            dlg->lstReferences->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
            dlg->cmdSave->click();
        });
        w.cmdReferences->click();
        QTRY_VERIFY(ran);
        QCOMPARE(dependenceIds(s.GetDependenceRows(a, true)), QList<int>{});
        Q_UNUSED(b);
    }

    void deleteRows()
    {
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        const int ds = addDataSource(s, "ds");
        const int a = addVariable(s, ds, "A", 1);
        const int b = addVariable(s, ds, "B", 2);
        const int c = addVariable(s, ds, "C", 3);
        QVERIFY(s.SaveDependences(b, {a}));
        Sql::exec(s.Connection(), QStringLiteral("Update ZAT_Var Set Type = 7 Where IdVar = %1").arg(b));
        frmDSN w;
        w.show();
        VariablesGrid *g = w.grdVariabile;
        const QString refusal = QStringLiteral("Aceasta variabila are dependente catre alte variabile!\r\n"
                                               "Anulati aceste dependente si incercati din nou.");

        // Without dependences (also a new row): gone without a word.
        typeCell(g, 4, 1, "new");
        QVERIFY(g->DeleteRow(4));
        g->setCurrentCell(3, 1);
        g->selectionModel()->select(g->model()->index(2, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        QTest::keyClick(g, Qt::Key_Delete);
        QCOMPARE(g->Rows(), 4);
        QVERIFY(p.calls.isEmpty());
        QVERIFY(!g->DeleteRow(3)); // the blank row stays

        // A: depended on by B. Read-only list, closed with Cancel: the row stays.
        bool ran = false;
        onNextModal(ran, [&](QWidget *m) {
            auto *dlg = qobject_cast<frmDependences *>(m);
            QCOMPARE(dlg->cmdSave->text(), QStringLiteral("Remuve all dependences"));
            QCOMPARE(dlg->lstReferences->topLevelItemCount(), 1);
            QCOMPARE(dlg->lstReferences->topLevelItem(0)->text(0), QStringLiteral("B"));
            QCOMPARE(dlg->lstReferences->topLevelItem(0)->text(2), QStringLiteral("7")); // the number itself
            QVERIFY(!dlg->lstReferences->topLevelItem(0)->data(0, Qt::CheckStateRole).isValid());
            dlg->cmdCancel->click();
        });
        QVERIFY(!g->DeleteRow(1));
        QTRY_VERIFY(ran);
        QCOMPARE(p.messages(), QStringList{refusal});
        QCOMPARE(p.last().icon, Prompter::Icon::Information);
        QCOMPARE(p.last().title, QStringLiteral("Velmora"));
        QCOMPARE(g->RowValue(1), a);

        // "Remuve all dependences", answered No: the row stays.
        p.clear();
        p.answers.enqueue(Prompter::Answer::Ok);
        p.answers.enqueue(Prompter::Answer::No);
        onNextModal(ran, [](QWidget *m) { qobject_cast<frmDependences *>(m)->cmdSave->click(); });
        QVERIFY(!g->DeleteRow(1));
        QTRY_VERIFY(ran);
        QCOMPARE(p.messages(), (QStringList{refusal, "Are you sure you want to remuve all this dependences ?"}));
        QCOMPARE(p.last().buttons, Prompter::Buttons::YesNo);
        QCOMPARE(p.last().icon, Prompter::Icon::Question);
        QCOMPARE(s.GetDependenceRows(a, false).size(), 1);

        // Yes: the dependences and then the row go; the next dialog starts with "&Save" again.
        onNextModal(ran, [](QWidget *m) { qobject_cast<frmDependences *>(m)->cmdSave->click(); });
        QVERIFY(g->DeleteRow(1));
        QTRY_VERIFY(ran);
        QCOMPARE(s.GetDependenceRows(a, false).size(), 0);
        QCOMPARE(g->RowValue(1), b);
        g->setCurrentCell(1, 1);
        onNextModal(ran, [](QWidget *m) {
            auto *dlg = qobject_cast<frmDependences *>(m);
            QCOMPARE(dlg->cmdSave->text(), QStringLiteral("&Save"));
            dlg->cmdCancel->click();
        });
        w.cmdReferences->click();
        QTRY_VERIFY(ran);

        w.cmdSave->click();
        const VariableRows rows = s.GetVariableRows(ds);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].IdVar, b);
        Q_UNUSED(c);
    }

    // ---- what an administrator does with the window, on both back-ends

    void clearedTypeIsStoredAsString_data() { TestDb::addBackends(); }
    void clearedTypeIsStoredAsString()
    {
        QFETCH(QString, backend);
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession(backend);
        const int ds = addDataSource(s, "ds");
        const int v = addVariable(s, ds, "when", 1);
        Sql::exec(s.Connection(), QStringLiteral("Update ZAT_Var Set Type = 3 Where IdVar = %1").arg(v));
        frmDSN w;
        showActive(&w);
        VariablesGrid *g = w.grdVariabile;
        QCOMPARE(g->TextMatrix(1, 2), QStringLiteral("Date"));
        clickCell(g, 1, 2);
        QTest::keyClick(g, Qt::Key_Delete);
        QCOMPARE(g->TextMatrix(1, 2), QString());
        QTest::mouseClick(w.cmdSave, Qt::LeftButton);
        QVERIFY(!w.isVisible());
        QCOMPARE(s.GetVariableRows(ds).first().Type.toInt(), 1);
        QVERIFY(p.calls.isEmpty());
    }

    void variablesNeedNamesOfTheirOwn_data() { TestDb::addBackends(); }
    void variablesNeedNamesOfTheirOwn()
    {
        QFETCH(QString, backend);
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession(backend);
        const int ds = addDataSource(s, "ds");
        addVariable(s, ds, "Client", 1);
        frmDSN w;
        showActive(&w);
        VariablesGrid *g = w.grdVariabile;
        typeCell(g, 2, 3, "a caption, no name");
        typeCell(g, 3, 1, "client "); // the same name, as the report binds it
        typeCell(g, 4, 1, "other");
        QTest::mouseClick(w.cmdSave, Qt::LeftButton);
        QCOMPARE(p.messages(), QStringList{"Variables are bound by their names: every variable needs a name of its own.\r"
                                           "Row 2 has no name.\r"
                                           "Rows 1 and 3 are named 'Client'."});
        QCOMPARE(p.last().icon, Prompter::Icon::Exclamation);
        QVERIFY(w.isVisible()); // what was typed stays on screen
        QCOMPARE(g->Row(), 2);
        QCOMPARE(variableNames(s, ds), QStringList{"Client"});

        typeCell(g, 2, 1, "Period");
        typeCell(g, 3, 1, "Region");
        p.clear();
        QTest::mouseClick(w.cmdSave, Qt::LeftButton);
        QVERIFY(p.calls.isEmpty());
        QVERIFY(!w.isVisible());
        QCOMPARE(variableNames(s, ds), (QStringList{"Client", "Period", "Region", "other"}));
    }

    void leavingUnsavedVariablesAsks_data() { TestDb::addBackends(); }
    void leavingUnsavedVariablesAsks()
    {
        QFETCH(QString, backend);
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession(backend);
        const int first = addDataSource(s, "a first");
        const int second = addDataSource(s, "b second");
        addVariable(s, first, "v", 1);
        frmDSN w;
        showActive(&w);
        VariablesGrid *g = w.grdVariabile;
        const QString question = QStringLiteral("The variables of data source 'a first' were changed.\r"
                                                "Do you want to save the changes?");

        // Choosing another data source without a change asks nothing.
        clickRow(w.lstDSN, w.lstDSN->topLevelItem(1));
        QCOMPARE(w.shownDataSource(), second);
        clickRow(w.lstDSN, w.lstDSN->topLevelItem(0));
        QVERIFY(p.calls.isEmpty());

        // Cancel: the list goes back and the typed row stays.
        typeCell(g, 2, 1, "typed");
        p.answers.enqueue(Prompter::Answer::Cancel);
        clickRow(w.lstDSN, w.lstDSN->topLevelItem(1));
        QCOMPARE(p.messages(), QStringList{question});
        QCOMPARE(p.last().buttons, Prompter::Buttons::YesNoCancel);
        QCOMPARE(p.last().icon, Prompter::Icon::Question);
        QCOMPARE(w.lstDSN->currentItem(), w.lstDSN->topLevelItem(0));
        QCOMPARE(w.shownDataSource(), first);
        QCOMPARE(g->TextMatrix(2, 1), QStringLiteral("typed"));

        // Yes: stored, then the other data source is shown.
        p.answers.enqueue(Prompter::Answer::Yes);
        clickRow(w.lstDSN, w.lstDSN->topLevelItem(1));
        QCOMPARE(w.shownDataSource(), second);
        QCOMPARE(variableNames(s, first), (QStringList{"v", "typed"}));

        // No: dropped, as before.
        typeCell(g, 1, 1, "dropped");
        p.answers.enqueue(Prompter::Answer::No);
        clickRow(w.lstDSN, w.lstDSN->topLevelItem(0));
        QCOMPARE(w.shownDataSource(), first);
        QCOMPARE(variableNames(s, second), QStringList{});

        // A variable deleted but not saved counts too; Close asks, Cancel keeps the window.
        g->setCurrentCell(1, 1);
        QTest::mouseClick(w.cmdDelVar, Qt::LeftButton);
        QCOMPARE(g->Rows(), 3);
        p.clear();
        p.answers.enqueue(Prompter::Answer::Cancel);
        QTest::mouseClick(w.cmdClose, Qt::LeftButton);
        QCOMPARE(p.messages(), QStringList{question});
        QVERIFY(w.isVisible());
        p.answers.enqueue(Prompter::Answer::No);
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(!w.isVisible());
        QCOMPARE(variableNames(s, first), (QStringList{"v", "typed"}));
    }

    void deletingVariablesHasAVisibleWay_data() { TestDb::addBackends(); }
    void deletingVariablesHasAVisibleWay()
    {
        QFETCH(QString, backend);
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession(backend);
        const int ds = addDataSource(s, "ds");
        addVariable(s, ds, "a", 1);
        addVariable(s, ds, "b", 2);
        addVariable(s, ds, "c", 3);
        frmDSN w;
        showActive(&w);
        VariablesGrid *g = w.grdVariabile;
        QVERIFY(w.cmdDelVar->isEnabled() && !w.cmdDelVar->toolTip().isEmpty());
        QVERIFY(g->actions().contains(w.mnuDeleteVariable));

        clickCell(g, 2, 1);
        QTest::mouseClick(w.cmdDelVar, Qt::LeftButton);
        clickCell(g, 1, 3);
        w.mnuDeleteVariable->trigger();
        clickCell(g, 2, 1); // the blank row stays
        QTest::mouseClick(w.cmdDelVar, Qt::LeftButton);
        QCOMPARE(g->Rows(), 3);
        QTest::mouseClick(w.cmdSave, Qt::LeftButton);
        QCOMPARE(variableNames(s, ds), QStringList{"c"});
        QVERIFY(p.calls.isEmpty());
    }

    void layoutAndKeys()
    {
        ScriptedPrompter p;
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        const int ds = addDataSource(s, "ds", QStringLiteral("Provider=x;Data Source=a rather long connection string"));
        addVariable(s, ds, "a", 1);
        frmDSN w;
        showActive(&w);
        // No needless scroll bar; the grid's columns fill the tab, the lookup query's the widest;
        // the variable's number shows once.
        QVERIFY(!w.lstDSN->horizontalScrollBar()->isVisible());
        VariablesGrid *g = w.grdVariabile;
        int sum = 0;
        for (int c = 0; c < 6; ++c) {
            sum += g->columnWidth(c);
            if (c < 5)
                QVERIFY(g->columnWidth(5) > g->columnWidth(c));
        }
        QCOMPARE(sum, g->viewport()->width());
        QVERIFY(!g->verticalHeader()->isVisible());
        w.resize(1100, 600);
        QTRY_COMPARE(g->columnWidth(0) + g->columnWidth(1) + g->columnWidth(2) + g->columnWidth(3) + g->columnWidth(4)
                         + g->columnWidth(5),
                     g->viewport()->width());

        // Alt+D deletes; the dependences have a letter of their own.
        QCOMPARE(w.cmdReferences->text().remove('&'), QStringLiteral("Dependences"));
        QVERIFY(w.cmdReferences->text() != QStringLiteral("&Dependences"));
        p.answers.enqueue(Prompter::Answer::No);
        QTest::keyClick(&w, Qt::Key_D, Qt::AltModifier); // a mnemonic clicks its button a moment later
        QTRY_COMPARE(p.messages(), QStringList{"Are you sure you want to delete\rdata source 'ds' ?\rIts 1 variable(s) and their dependences are deleted with it."});
        p.clear();
        typeCell(g, 2, 1, "unsaved");
        g->setCurrentCell(2, 1);
        const QChar letter = w.cmdReferences->text().at(w.cmdReferences->text().indexOf('&') + 1);
        QTest::keyClick(&w, QKeySequence(QString(letter))[0].key(), Qt::AltModifier);
        QTRY_COMPARE(p.messages(), QStringList{"Salvati modificarile efectuate si reveniti ..."});
    }
};

QTEST_MAIN(TestDataSources)
#include "test_datasources.moc"
