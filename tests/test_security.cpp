#include "ScriptedPrompter.h"
#include "TestDb.h"
#include "WhenModal.h"

#include "repository/AppError.h"
#include "repository/Schema.h"
#include "repository/Scramble.h"
#include "repository/Sql.h"
#include "security/Security.h"
#include "security/frmDrepturi.h"
#include "security/frmReports.h"
#include "security/frmUserConfig.h"
#include "shell/AppState.h"
#include "shell/ItemData.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QtTest>
#include <functional>

namespace {

int addCategory(const QSqlDatabase &db, const QString &name, int parent, int deleted = 0)
{
    return Sql::insert(db, "ZAT_Category", "IdCateg", {{"Name", name}, {"IdParent", parent}, {"IsDeleted", deleted}});
}

int addReport(const QSqlDatabase &db, const QString &name, int category, int holder = 0, int deleted = 0)
{
    Sql::Values v{{"Name", name}, {"IdCateg", category}, {"IsDeleted", deleted}};
    if (holder)
        v.append({"IdUserAppCheckOut", holder});
    return Sql::insert(db, "ZAT_Report", "IdReport", v);
}

int addUser(const QSqlDatabase &db, int app, const QString &user, const QVariant &first, const QVariant &last)
{
    return Sql::insert(db, "ZAT_UserApp", "IdUserApp",
                       {{"IdApp", app}, {"IdUser", 0}, {"User", user}, {"UserFName", first}, {"UserLName", last}});
}

int count(const QSqlDatabase &db, const QString &sql) { return Sql::scalar(db, sql).toInt(); }

int holderOf(const QSqlDatabase &db, int report)
{
    return Sql::scalar(db, QStringLiteral("Select IdUserAppCheckOut From ZAT_Report Where IdReport = %1").arg(report)).toInt();
}

QList<int> grantsOf(const QSqlDatabase &db, int role)
{
    QList<int> ids;
    QSqlQuery q = Sql::exec(db, QStringLiteral("Select IdReport From ZAT_Role_Report Where IdRole = %1 Order By IdReport").arg(role));
    while (q.next())
        ids << q.value(0).toInt();
    return ids;
}

QStringList texts(QTreeWidget *list, int column = 0)
{
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        out << list->topLevelItem(i)->text(column);
    return out;
}

QStringList ticked(QTreeWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->checkState(0) == Qt::Checked)
            out << list->topLevelItem(i)->text(0);
    return out;
}

QTreeWidgetItem *byText(QTreeWidget *list, const QString &text)
{
    const auto found = list->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.value(0);
}

// A double-click as the window system delivers it: press, release, then press and double-click.
void doubleClick(QWidget *w, QPoint pos)
{
    QTest::mousePress(w, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(w, Qt::LeftButton, {}, pos);
    QTest::mousePress(w, Qt::LeftButton, {}, pos);
    QTest::mouseDClick(w, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(w, Qt::LeftButton, {}, pos);
}

void fillUser(frmUserConfig *d, const QString &first, const QString &last, const QString &user, const QString &pass,
              const QString &verify, int externalId)
{
    d->txtFName->setText(first);
    d->txtLName->setText(last);
    d->txtUser->setText(user);
    d->txtPass->setText(pass);
    d->txtPass1->setText(verify);
    d->txtExternalID->setValue(externalId);
}

} // namespace

class TestSecurity : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // ---- library

    void applications_data() { TestDb::addBackends(); }
    void applications()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const QString odd = QStringLiteral("O'Neil 100% – Aplicație");
        const int a = s.AddApplication(odd);
        QVERIFY(a > 0);
        // Blank and taken names (whatever the case and surrounding blanks) are refused.
        QCOMPARE(s.AddApplication(QStringLiteral("   ")), 0);
        QCOMPARE(s.AddApplication(QStringLiteral(" o'neil 100% – APLICAȚIE ")), 0);
        const int b = s.AddApplication(QStringLiteral("Billing"));
        QVERIFY(b > a);
        QSqlQuery q = s.GetApplicationRows();
        QStringList names;
        while (q.next())
            names << Sql::text(q, "AppName");
        QVERIFY(names.contains(odd));
        QCOMPARE(names.size(), 3); // with the console's own application

        // Deleting an application takes its users, their roles and their check-outs along.
        const int u1 = addUser(db, a, "ana", "Ana", QVariant());
        const int u2 = addUser(db, a, "dan", QVariant(), "Dan");
        const int keep = addUser(db, b, "eve", "Eve", "E");
        const int role = s.AddRole("Readers");
        QVERIFY(s.SaveUserRoles(u1, {role}));
        QVERIFY(s.SaveUserRoles(u2, {role}));
        QVERIFY(s.SaveUserRoles(keep, {role}));
        const int r1 = addReport(db, "r1", 1, u1);
        const int r2 = addReport(db, "r2", 1, keep);
        QVERIFY(s.DeleteApplication(a));
        QVERIFY(!s.DeleteApplication(a));
        QCOMPARE(count(db, QStringLiteral("Select Count(*) From ZAT_App Where IdApp = %1").arg(a)), 0);
        QCOMPARE(count(db, QStringLiteral("Select Count(*) From ZAT_UserApp Where IdApp = %1").arg(a)), 0);
        QCOMPARE(count(db, QStringLiteral("Select Count(*) From ZAT_UserApp_Role Where IdUserApp In (%1,%2)").arg(u1).arg(u2)), 0);
        QCOMPARE(holderOf(db, r1), 0);
        QCOMPARE(holderOf(db, r2), keep);
        QCOMPARE(count(db, QStringLiteral("Select Count(*) From ZAT_UserApp_Role Where IdUserApp = %1").arg(keep)), 1);
    }

    void deletingTheLoggedInUsersApplication_data() { TestDb::addBackends(); }
    void deletingTheLoggedInUsersApplication()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const int me = s.CurrentUserId();
        const int report = addReport(db, "mine", 1);
        s.CheckOutReports({report}, true);
        const int app = Sql::scalar(db, QStringLiteral("Select IdApp From ZAT_UserApp Where IdUserApp = %1").arg(me)).toInt();
        QVERIFY(s.DeleteApplication(app));
        QCOMPARE(holderOf(db, report), 0);
        // The session does not go on using an id that no longer exists.
        const int again = s.CurrentUserId();
        QVERIFY(again != me);
        QCOMPARE(count(db, QStringLiteral("Select Count(*) From ZAT_UserApp Where IdUserApp = %1").arg(again)), 1);
        s.CheckOutReports({report}, true);
        QCOMPARE(holderOf(db, report), again);
    }

    void roles_data() { TestDb::addBackends(); }
    void roles()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const int app = s.AddApplication("App");
        const int user = addUser(db, app, "ana", "Ana", "A");
        const int x = s.AddRole("Readers");
        const int y = s.AddRole("Writers");
        const int z = s.AddRole("Auditors");
        QCOMPARE(s.AddRole("READERS"), 0);
        QCOMPARE(s.AddRole(""), 0);

        QSqlQuery all = s.GetRoleRows(0);
        QStringList names;
        while (all.next())
            names << Sql::text(all, "Role");
        QCOMPARE(names, (QStringList{"Auditors", "Readers", "Writers"}));

        // Exactly the given roles; repeated and unknown ids are harmless.
        QVERIFY(s.SaveUserRoles(user, {y, x, y, 99999}));
        auto held = [&] {
            QList<int> ids;
            QSqlQuery q = s.GetRoleRows(user);
            while (q.next())
                if (Sql::integer(q, "IdRole") > 0)
                    ids << Sql::integer(q, "IdRole");
            std::sort(ids.begin(), ids.end());
            return ids;
        };
        QCOMPARE(held(), (QList<int>{x, y}));
        QVERIFY(s.SaveUserRoles(user, {z}));
        QCOMPARE(held(), (QList<int>{z}));
        QVERIFY(s.SaveUserRoles(user, {}));
        QCOMPARE(held(), QList<int>{});
        QVERIFY(!s.SaveUserRoles(99999, {x}));

        // Deleting a role removes its grants and user assignments, and nothing of other roles.
        const int r1 = addReport(db, "r1", 1);
        const int r2 = addReport(db, "r2", 1);
        QVERIFY(s.SaveRoleReports(x, {r1, r2}));
        QVERIFY(s.SaveRoleReports(y, {r1}));
        QVERIFY(s.SaveUserRoles(user, {x, y}));
        QVERIFY(s.DeleteRole(x));
        QVERIFY(!s.DeleteRole(x));
        QCOMPARE(count(db, QStringLiteral("Select Count(*) From ZAT_Role_Report Where IdRole = %1").arg(x)), 0);
        QCOMPARE(count(db, QStringLiteral("Select Count(*) From ZAT_UserApp_Role Where IdRole = %1").arg(x)), 0);
        QCOMPARE(grantsOf(db, y), QList<int>{r1});
        QCOMPARE(held(), QList<int>{y});
    }

    void roleReports_data() { TestDb::addBackends(); }
    void roleReports()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const int role = s.AddRole("Role");
        const int a = addReport(db, "a", 1);
        const int b = addReport(db, "b", 1);
        const int binned = addReport(db, "binned", 2, 0, 1);
        Sql::insert(db, "ZAT_Role_Report", "IdLeg", {{"IdRole", role}, {"IdReport", binned}});
        QVERIFY(s.SaveRoleReports(role, {b, a, a, 424242}));
        QCOMPARE(grantsOf(db, role), (QList<int>{a, b, binned}));
        QList<int> listed;
        for (const ReportRow &r : s.GetReportRows(-1, role))
            listed << r.IdReport;
        std::sort(listed.begin(), listed.end());
        QCOMPARE(listed, (QList<int>{a, b}));
        // Nothing ticked: every grant the window showed goes; the recycle bin's stays for a restore.
        QVERIFY(s.SaveRoleReports(role, {}));
        QCOMPARE(grantsOf(db, role), QList<int>{binned});
        QVERIFY(!s.SaveRoleReports(role + 1000, {a}));
        QCOMPARE(count(db, QStringLiteral("Select Count(*) From ZAT_Role_Report Where IdRole = %1").arg(role + 1000)), 0);
    }

    void users_data() { TestDb::addBackends(); }
    void users()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const int app = s.AddApplication("App");
        const int other = s.AddApplication("Other");
        const int id = s.SaveUser(0, 77, "ana", "Ana", "Pop", "pw", app);
        QVERIFY(id > 0);
        QSqlQuery q = s.GetUserRow(id);
        QVERIFY(q.next());
        QCOMPARE(Sql::integer(q, "IdUser"), 77);
        QCOMPARE(Sql::text(q, "User"), QStringLiteral("ana"));
        QCOMPARE(Sql::text(q, "UserFName"), QStringLiteral("Ana"));
        QCOMPARE(Sql::text(q, "UserLName"), QStringLiteral("Pop"));
        QCOMPARE(Sql::text(q, "Password"), StoredPassword("pw"));
        QVERIFY(Sql::text(q, "Password") != QStringLiteral("pw"));

        // User names are unique within an application, not across applications.
        QVERIFY_THROWS_EXCEPTION(AppError, s.SaveUser(0, 0, " ANA ", "", "", "", app));
        QVERIFY_THROWS_EXCEPTION(AppError, s.SaveUser(0, 0, "  ", "", "", "", app));
        QVERIFY_THROWS_EXCEPTION(AppError, s.SaveUser(0, 0, "x", "", "", "", 99999));
        QVERIFY_THROWS_EXCEPTION(AppError, s.SaveUser(99999, 0, "x", "", "", "", app));
        const int twin = s.SaveUser(0, 0, "ana", "", "", "", other);
        QVERIFY(twin > 0 && twin != id);
        QCOMPARE(s.SaveUser(id, 78, "Ana", "Ana", "Popescu", "new", app), id); // its own name, other case
        QCOMPARE(count(db, QStringLiteral("Select Count(*) From ZAT_UserApp Where IdApp = %1").arg(app)), 1);
        // Twins left by older data can still be edited as long as they keep their name.
        const int legacy = addUser(db, other, "ANA", "", "");
        QCOMPARE(s.SaveUser(legacy, 5, "ANA", "", "", "pw", other), legacy);
        QCOMPARE(s.SaveUser(legacy, 5, "bob", "", "", "pw", other), legacy);
        QVERIFY_THROWS_EXCEPTION(AppError, s.SaveUser(legacy, 5, "Ana", "", "", "pw", other)); // back onto the twin

        // Deleting a user takes its roles and releases its reports.
        const int role = s.AddRole("R");
        QVERIFY(s.SaveUserRoles(id, {role}));
        const int held = addReport(db, "held", 1, id);
        const int kept = addReport(db, "kept", 1, twin);
        QVERIFY(s.DeleteUser(id));
        QVERIFY(!s.DeleteUser(id));
        QCOMPARE(count(db, QStringLiteral("Select Count(*) From ZAT_UserApp_Role Where IdUserApp = %1").arg(id)), 0);
        QCOMPARE(holderOf(db, held), 0);
        QCOMPARE(holderOf(db, kept), twin);
        QVERIFY(!s.GetUserRow(id).next());
    }

    void passwords_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("typed");
        const QString key = UserPasswordKey;
        const QList<QPair<const char *, QString>> cases{
            {"plain", QStringLiteral("secret")},
            {"empty", QString("")},
            {"the key itself", key},
            {"key chars at their places", QStringLiteral("VexoxTar")},
            {"longer than the key", key + QStringLiteral("Vemo!") + key.left(3)},
            {"quotes, percent, unicode", QStringLiteral("o'r%\"ă€日本")},
        };
        for (const char *backend : {"sqlite", "postgres"})
            for (const auto &[name, typed] : cases)
                QTest::newRow(qPrintable(QStringLiteral("%1: %2").arg(backend, name))) << QString(backend) << typed;
    }
    void passwords()
    {
        QFETCH(QString, backend);
        QFETCH(QString, typed);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        const int app = s.AddApplication("App");
        const int id = s.SaveUser(0, 1, "u", "F", "L", typed, app);
        auto stored = [&] {
            QSqlQuery q = s.GetUserRow(id);
            return q.next() ? Sql::text(q, "Password") : QStringLiteral("<no row>");
        };
        const QString first = stored();
        QCOMPARE(TypedPassword(first), typed);
        // A load followed by a save leaves the stored value as it was.
        s.SaveUser(id, 1, "u", "F", "L", TypedPassword(first), app);
        QCOMPARE(stored(), first);
    }

    // ---- frmUserConfig

    void userDialog_data() { TestDb::addBackends(); }
    void userDialog()
    {
        QFETCH(QString, backend);
        RepositorySession &s = TestDb::freshAppSession(backend);
        QSqlDatabase db = s.Connection();
        ScriptedPrompter p;
        const int app = s.AddApplication("App");
        const QString password = UserPasswordKey.left(6) + QStringLiteral("ș");
        const int id = s.SaveUser(0, 12, "ana", "Ana", "Pop", password, app);
        const QString before = Sql::scalar(db, QStringLiteral("Select Password From ZAT_UserApp Where IdUserApp = %1").arg(id)).toString();

        frmUserConfig d;
        QCOMPARE(d.windowTitle(), QStringLiteral(" User"));
        d.FillFields(id);
        QCOMPARE(d.txtPass->text(), password);
        QCOMPARE(d.txtPass1->text(), password);
        QCOMPARE(d.txtExternalID->value(), 12);
        QCOMPARE(d.txtUser->text(), QStringLiteral("ana"));

        // Mismatched boxes (case counts) keep the dialog open.
        d.txtPass1->setText(password.toUpper());
        d.cmdSave->click();
        QCOMPARE(p.messages(), QStringList{"Password don't match!"});
        QCOMPARE(p.last().title, QStringLiteral("Velmora"));
        QCOMPARE(p.last().icon, Prompter::Icon::Exclamation);
        QVERIFY(d.Cancel);
        QCOMPARE(d.result(), int(QDialog::Rejected));

        d.txtPass1->setText(password);
        d.cmdSave->click();
        QVERIFY(!d.Cancel);
        s.SaveUser(id, d.txtExternalID->value(), d.txtUser->text(), d.txtFName->text(), d.txtLName->text(), d.txtPass->text(), app);
        QCOMPARE(Sql::scalar(db, QStringLiteral("Select Password From ZAT_UserApp Where IdUserApp = %1").arg(id)).toString(), before);

        // Both boxes empty is a match; a new user starts empty.
        frmUserConfig fresh;
        fresh.FillFields(0);
        QCOMPARE(fresh.txtUser->text(), QString());
        fresh.txtUser->setText("new one");
        fresh.cmdSave->click();
        QVERIFY(!fresh.Cancel);
        QCOMPARE(p.messages().size(), 1);

        frmUserConfig cancelled;
        cancelled.cmdCancel->click();
        QVERIFY(cancelled.Cancel);
    }

    // ---- frmDrepturi

    void rightsWithoutApplications()
    {
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        QSqlDatabase db = s.Connection();
        QList<int> apps;
        for (QSqlQuery q = s.GetApplicationRows(); q.next();)
            apps << Sql::integer(q, "IdApp");
        for (int app : apps)
            QVERIFY(s.DeleteApplication(app));
        QCOMPARE(count(db, "Select Count(*) From ZAT_App"), 0);
        ScriptedPrompter p;
        frmDrepturi w;
        w.show();
        QCOMPARE(w.windowTitle(), QStringLiteral("  Drepturi"));
        QCOMPARE(w.SSTab1->tabText(0), QStringLiteral("   User rights"));
        QCOMPARE(w.SSTab1->tabText(1), QStringLiteral("   Roles"));
        QCOMPARE(w.cmbCliApp->count(), 0);
        QCOMPARE(w.lstUsers->topLevelItemCount(), 0);
        QCOMPARE(w.lblAppID->text(), QString());
        w.cmdAddUser->click();
        QCOMPARE(p.messages(), QStringList{"Select client application!"});
        QCOMPARE(p.last().title, QStringLiteral("Velmora"));
        QCOMPARE(p.last().icon, Prompter::Icon::Exclamation);
        QVERIFY(!QApplication::activeModalWidget());
    }

    void rightsApplicationsAndUsers_data() { TestDb::addBackends(); }
    void rightsApplicationsAndUsers()
    {
        QFETCH(QString, backend);
        RepositorySession &s = TestDb::freshAppSession(backend);
        QSqlDatabase db = s.Connection();
        const int console = Sql::scalar(db, "Select IdApp From ZAT_App").toInt();
        QVERIFY(s.DeleteApplication(console));
        const int a = s.AddApplication("Alpha");
        const int b = s.AddApplication("Beta");
        const int nameless = addUser(db, a, "nobody", QVariant(), QVariant());
        const int ana = addUser(db, a, "ana", "Ana", "Pop");
        addUser(db, b, "bob", "Bob", QVariant());
        const int readers = s.AddRole("Readers");
        s.AddRole("Writers");
        QVERIFY(s.SaveUserRoles(ana, {readers}));
        QVERIFY(s.SaveUserRoles(nameless, {}));

        ScriptedPrompter p;
        frmDrepturi w;
        w.show();
        QCOMPARE(w.cmbCliApp->currentText(), QStringLiteral("Alpha"));
        QCOMPARE(w.lblAppID->text(), QString::number(a));
        QCOMPARE(texts(w.lstUsers), (QStringList{"ana", "nobody"}));
        QCOMPARE(texts(w.lstUsers, 1), (QStringList{"Ana Pop", " "}));
        QCOMPARE(w.lstUsers->currentItem()->text(0), QStringLiteral("ana"));
        QCOMPARE(ticked(w.lstRoles), QStringList{"Readers"});
        QCOMPARE(texts(w.lstConfigRoles), (QStringList{"Readers", "Writers"}));

        // Choosing another user shows that user's roles; ticks are written only by the save button.
        w.lstUsers->setCurrentItem(w.lstUsers->topLevelItem(1));
        QCOMPARE(ticked(w.lstRoles), QStringList{});
        QTreeWidgetItem *writers = byText(w.lstRoles, "Writers");
        writers->setCheckState(0, Qt::Checked);
        QCOMPARE(w.lstRoles->currentItem(), writers); // ticking also selects
        w.lstUsers->setCurrentItem(w.lstUsers->topLevelItem(0));
        w.lstUsers->setCurrentItem(w.lstUsers->topLevelItem(1));
        QCOMPARE(ticked(w.lstRoles), QStringList{}); // the tick was dropped
        byText(w.lstRoles, "Writers")->setCheckState(0, Qt::Checked);
        byText(w.lstRoles, "Readers")->setCheckState(0, Qt::Checked);
        w.cmdSaveUsrRole->click();
        QCOMPARE(count(db, QStringLiteral("Select Count(*) From ZAT_UserApp_Role Where IdUserApp = %1").arg(nameless)), 2);
        QCOMPARE(count(db, QStringLiteral("Select Count(*) From ZAT_UserApp_Role Where IdUserApp = %1").arg(ana)), 1);

        // Another application: its users, no stale ticks.
        w.cmbCliApp->setCurrentIndex(1);
        QCOMPARE(w.lblAppID->text(), QString::number(b));
        QCOMPARE(texts(w.lstUsers, 1), QStringList{"Bob "});
        QCOMPARE(ticked(w.lstRoles), QStringList{});

        // New application: cancelled, then a name; a taken name shows the application that has it.
        p.inputs.enqueue(QString());
        w.cmdAddApp->click();
        QCOMPARE(p.last().kind, QStringLiteral("input"));
        QCOMPARE(p.last().text, QStringLiteral("Enter application name :"));
        QCOMPARE(p.last().title, QStringLiteral("ZAT"));
        QCOMPARE(w.cmbCliApp->count(), 2);
        p.inputs.enqueue(QStringLiteral("Gamma 'g' 100%"));
        w.cmdAddApp->click();
        QCOMPARE(w.cmbCliApp->count(), 3);
        QCOMPARE(w.cmbCliApp->currentText(), QStringLiteral("Gamma 'g' 100%"));
        const int gamma = w.cmbCliApp->currentData(ItemData::TagRole).toInt();
        QCOMPARE(w.lblAppID->text(), QString::number(gamma));
        QCOMPARE(w.lstUsers->topLevelItemCount(), 0);
        p.inputs.enqueue(QStringLiteral("alpha"));
        w.cmdAddApp->click();
        QCOMPARE(w.cmbCliApp->count(), 3);
        QCOMPARE(w.cmbCliApp->currentText(), QStringLiteral("Alpha"));

        // Deleting: No keeps it; Yes removes it and chooses the first remaining application.
        w.cmbCliApp->setCurrentIndex(1);
        p.clear();
        p.answers.enqueue(Prompter::Answer::No);
        w.cmdDelApp->click();
        QCOMPARE(p.last().text, QStringLiteral("Are you sure you want to delete client application 'Beta'\r\n and all associated users?"));
        QCOMPARE(p.last().title, QStringLiteral("ZAT"));
        QCOMPARE(p.last().icon, Prompter::Icon::Exclamation);
        QCOMPARE(p.last().buttons, Prompter::Buttons::YesNo);
        QCOMPARE(w.cmbCliApp->count(), 3);
        w.cmdDelApp->click();
        QCOMPARE(w.cmbCliApp->count(), 2);
        QCOMPARE(w.cmbCliApp->currentIndex(), 0);
        QCOMPARE(w.cmbCliApp->currentText(), QStringLiteral("Alpha"));
        QCOMPARE(w.lblAppID->text(), QString::number(a));
        QCOMPARE(texts(w.lstUsers), (QStringList{"ana", "nobody"}));
        QCOMPARE(count(db, QStringLiteral("Select Count(*) From ZAT_UserApp Where IdApp = %1").arg(b)), 0);

        // Deleting the last one empties the combo, the label and the users.
        w.cmdDelApp->click();
        w.cmdDelApp->click();
        QCOMPARE(w.cmbCliApp->count(), 0);
        QCOMPARE(w.cmbCliApp->currentIndex(), -1);
        QCOMPARE(w.cmbCliApp->currentText(), QString());
        QCOMPARE(w.lblAppID->text(), QString());
        QCOMPARE(w.lstUsers->topLevelItemCount(), 0);
        QCOMPARE(ticked(w.lstRoles), QStringList{});
        QCOMPARE(count(db, "Select Count(*) From ZAT_UserApp_Role"), 0);
        QVERIFY(p.messages().filter("Number :").isEmpty());
    }

    void rightsUserDialogs()
    {
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        QSqlDatabase db = s.Connection();
        const int app = s.AddApplication("App");
        ScriptedPrompter p;
        frmDrepturi w;
        w.show();
        w.cmbCliApp->setCurrentIndex(w.cmbCliApp->findText("App"));
        QCOMPARE(w.lstUsers->topLevelItemCount(), 0);

        // New user through the dialog.
        bool done = false;
        whenModal<frmUserConfig>(&done, [](frmUserConfig *d) {
            QCOMPARE(d->txtUser->text(), QString());
            fillUser(d, "Ion", "Ionescu", "ion", "Vemo x", "Vemo x", 41);
            d->cmdSave->click();
        });
        w.cmdAddUser->click();
        QTRY_VERIFY(done);
        QCOMPARE(texts(w.lstUsers), QStringList{"ion"});
        QCOMPARE(texts(w.lstUsers, 1), QStringList{"Ion Ionescu"});
        QCOMPARE(w.lstUsers->currentItem()->text(0), QStringLiteral("ion"));
        const int id = ItemData::tag(w.lstUsers->currentItem()).toInt();
        QSqlQuery q = s.GetUserRow(id);
        QVERIFY(q.next());
        QCOMPARE(Sql::integer(q, "IdUser"), 41);
        QCOMPARE(TypedPassword(Sql::text(q, "Password")), QStringLiteral("Vemo x"));
        QCOMPARE(Sql::scalar(db, QStringLiteral("Select IdApp From ZAT_UserApp Where IdUserApp = %1").arg(id)).toInt(), app);

        // A cancelled new user stores nothing.
        done = false;
        whenModal<frmUserConfig>(&done, [](frmUserConfig *d) {
            fillUser(d, "X", "Y", "xy", "", "", 0);
            d->cmdCancel->click();
        });
        w.cmdAddUser->click();
        QTRY_VERIFY(done);
        QCOMPARE(w.lstUsers->topLevelItemCount(), 1);
        QCOMPARE(count(db, QStringLiteral("Select Count(*) From ZAT_UserApp Where IdApp = %1").arg(app)), 1);

        // Editing by double-click shows the unscrambled password in both boxes.
        done = false;
        whenModal<frmUserConfig>(&done, [](frmUserConfig *d) {
            QCOMPARE(d->txtPass->text(), QStringLiteral("Vemo x"));
            QCOMPARE(d->txtPass1->text(), QStringLiteral("Vemo x"));
            QCOMPARE(d->txtFName->text(), QStringLiteral("Ion"));
            d->txtLName->setText("Popa");
            d->cmdSave->click();
        });
        emit w.lstUsers->itemDoubleClicked(w.lstUsers->currentItem(), 0);
        QTRY_VERIFY(done);
        QCOMPARE(Sql::scalar(db, QStringLiteral("Select UserLName From ZAT_UserApp Where IdUserApp = %1").arg(id)).toString(),
                 QStringLiteral("Popa"));
        QCOMPARE(TypedPassword(Sql::scalar(db, QStringLiteral("Select Password From ZAT_UserApp Where IdUserApp = %1").arg(id)).toString()),
                 QStringLiteral("Vemo x"));

        // A second user with the same name is refused by the dialog itself, which stays open with
        // what was typed; no row appears.
        done = false;
        bool stayed = false;
        whenModal<frmUserConfig>(&done, [&](frmUserConfig *d) {
            fillUser(d, "", "", "ION", "", "", 0);
            d->cmdSave->click();
            stayed = d->isVisible() && d->txtUser->text() == QStringLiteral("ION");
            d->cmdCancel->click();
        });
        p.clear();
        w.cmdAddUser->click();
        QTRY_VERIFY(done);
        QVERIFY(stayed);
        QCOMPARE(w.lstUsers->topLevelItemCount(), 1);
        QCOMPARE(p.messages(), QStringList{"The client application already has a user named 'ION'."});
        QCOMPARE(p.last().icon, Prompter::Icon::Exclamation);

        // Deleting a user.
        p.clear();
        p.answers.enqueue(Prompter::Answer::No);
        w.cmdDelUser->click();
        QCOMPARE(p.last().text, QStringLiteral("Are you sure you want to delete user 'ion'?"));
        QCOMPARE(p.last().title, QStringLiteral("Velmora"));
        QCOMPARE(p.last().icon, Prompter::Icon::Question);
        QCOMPARE(p.last().buttons, Prompter::Buttons::YesNo);
        QCOMPARE(w.lstUsers->topLevelItemCount(), 1);
        w.cmdDelUser->click();
        QCOMPARE(w.lstUsers->topLevelItemCount(), 0);
        QCOMPARE(count(db, QStringLiteral("Select Count(*) From ZAT_UserApp Where IdUserApp = %1").arg(id)), 0);
    }

    void rightsRoles_data() { TestDb::addBackends(); }
    void rightsRoles()
    {
        QFETCH(QString, backend);
        RepositorySession &s = TestDb::freshAppSession(backend);
        QSqlDatabase db = s.Connection();
        const int a = s.AddRole("A");
        const int b = s.AddRole("B");
        const int r1 = addReport(db, "First", 1);
        addReport(db, "Second", 1);
        QVERIFY(s.SaveRoleReports(a, {r1}));
        const int user = addUser(db, 1, "u", "U", "V");
        QVERIFY(s.SaveUserRoles(user, {a, b}));

        ScriptedPrompter p;
        frmDrepturi w;
        w.show();
        QCOMPARE(w.lstConfigRoles->currentItem()->text(0), QStringLiteral("A"));
        QCOMPARE(w.lstRoles->currentItem()->text(0), QStringLiteral("A"));
        QCOMPARE(texts(w.lstReports), QStringList{"First"});
        w.lstConfigRoles->setCurrentItem(byText(w.lstConfigRoles, "B"));
        QCOMPARE(texts(w.lstReports), QStringList{});

        // New role: added to both lists, selected, no reports yet.
        p.inputs.enqueue(QStringLiteral("Čitatelji"));
        w.cmdAddRole->click();
        QCOMPARE(p.last().text, QStringLiteral("Enter role name :"));
        QCOMPARE(p.last().title, QStringLiteral("ZAT"));
        QCOMPARE(w.lstConfigRoles->currentItem()->text(0), QStringLiteral("Čitatelji"));
        QCOMPARE(w.lstRoles->currentItem()->text(0), QStringLiteral("Čitatelji"));
        QCOMPARE(w.lstRoles->topLevelItemCount(), 3);
        QCOMPARE(w.lstReports->topLevelItemCount(), 0);
        p.inputs.enqueue(QStringLiteral("a"));
        w.cmdAddRole->click();
        QCOMPARE(w.lstConfigRoles->topLevelItemCount(), 3);
        QCOMPARE(w.lstConfigRoles->currentItem()->text(0), QStringLiteral("A"));
        QCOMPARE(texts(w.lstReports), QStringList{"First"});

        // Deleting a role selected on the roles tab while another is selected on the rights tab.
        w.lstRoles->setCurrentItem(byText(w.lstRoles, "B"));
        p.clear();
        w.cmdDeleteRole->click();
        QCOMPARE(p.last().text, QStringLiteral("Are you sure you want to delete role 'A'?"));
        QCOMPARE(p.last().title, QStringLiteral("ZAT"));
        QCOMPARE(p.last().icon, Prompter::Icon::Exclamation);
        QCOMPARE(texts(w.lstRoles), (QStringList{"B", "Čitatelji"}));
        QCOMPARE(texts(w.lstConfigRoles), (QStringList{"B", "Čitatelji"}));
        QCOMPARE(w.lstConfigRoles->currentItem()->text(0), QStringLiteral("B"));
        QCOMPARE(w.lstReports->topLevelItemCount(), 0);
        QCOMPARE(grantsOf(db, a), QList<int>{});
        QCOMPARE(count(db, QStringLiteral("Select Count(*) From ZAT_UserApp_Role Where IdRole = %1").arg(a)), 0);
        w.cmdDeleteRole->click();
        w.cmdDeleteRole->click();
        QCOMPARE(w.lstRoles->topLevelItemCount(), 0);
        QVERIFY(!w.lstConfigRoles->currentItem());
        w.cmdDeleteRole->click(); // nothing selected: nothing asked
        QCOMPARE(p.calls.size(), 3);

        // Header clicks sort and flip the direction.
        w.lstUsers->clear();
        for (const char *name : {"b", "c", "a"})
            new QTreeWidgetItem(w.lstUsers, QStringList{name, ""});
        emit w.lstUsers->header()->sectionClicked(0);
        QCOMPARE(texts(w.lstUsers), (QStringList{"a", "b", "c"}));
        emit w.lstUsers->header()->sectionClicked(0);
        QCOMPARE(texts(w.lstUsers), (QStringList{"c", "b", "a"}));
    }

    void rightsOpensReportGrants()
    {
        RepositorySession &s = TestDb::freshAppSession("sqlite");
        QSqlDatabase db = s.Connection();
        const int role = s.AddRole("Role");
        const int r1 = addReport(db, "One", 1);
        const int r2 = addReport(db, "Two", 1);
        ScriptedPrompter p;
        frmDrepturi w;
        w.show();
        bool done = false;
        whenModal<frmReports>(&done, [](frmReports *r) {
            QCOMPARE(r->ViewFor, 0);
            emit r->twRep->itemDoubleClicked(byText(r->twRep, "Two"), 0);
            r->cmdSave->click();
        });
        w.cmdAddReport->click();
        QTRY_VERIFY(done);
        QCOMPARE(grantsOf(db, role), QList<int>{r2});
        QCOMPARE(texts(w.lstReports), QStringList{"Two"});
        QCOMPARE(w.focusWidget(), w.cmdAddReport);

        done = false;
        whenModal<frmReports>(&done, [](frmReports *r) {
            QCOMPARE(frmReports::tickState(byText(r->twRep, "Two")), int(frmReports::Ticked));
            r->cmdSelectAll->click();
            r->cmdClose->click();
        });
        emit w.lstConfigRoles->itemDoubleClicked(w.lstConfigRoles->currentItem(), 0);
        QTRY_VERIFY(done);
        QCOMPARE(grantsOf(db, role), QList<int>{r2});
        Q_UNUSED(r1);

        // The menu entry opens the window loaded, modally.
        done = false;
        whenModal<frmDrepturi>(&done, [](frmDrepturi *d) {
            QCOMPARE(texts(d->lstConfigRoles), QStringList{"Role"});
            d->cmdClose->click();
        });
        ShowUserRights(nullptr);
        QTRY_VERIFY(done);
    }

    // ---- frmReports

    void holderText_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("expected");
        QTest::newRow("nobody") << QString() << QString() << "Sales";
        QTest::newRow("both") << "Ana" << "Pop" << "Sales  [AnaPop]";
        QTest::newRow("first only") << "Ana" << QString() << "Sales  [Ana";
        QTest::newRow("last only") << QString() << "Pop" << "SalesPop]";
    }
    void holderText()
    {
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(QString, expected);
        QCOMPARE(frmReports::HolderText("Sales", first, last), expected);
    }

    void grantsView_data() { TestDb::addBackends(); }
    void grantsView()
    {
        QFETCH(QString, backend);
        RepositorySession &s = TestDb::freshAppSession(backend);
        QSqlDatabase db = s.Connection();
        const int sub = addCategory(db, "Finance", 1);
        const int inBin = addCategory(db, "Old stuff", 2);
        const int a = addReport(db, "Top", 1);
        const int b = addReport(db, "Budget", sub);
        addReport(db, "Lost", inBin);
        addReport(db, "Binned", 2, 0, 1);
        const int role = s.AddRole("R");
        ScriptedPrompter p;

        // A role with no grants: everything unticked; the recycle bin and what is in it never appear.
        {
            frmReports w;
            QCOMPARE(w.windowTitle(), QStringLiteral("  Reports"));
            w.BuildTree(role);
            QVERIFY(!ItemData::findByKey(w.twRep, "c2"));
            QVERIFY(!byText(w.twRep, "Old stuff"));
            QVERIFY(!byText(w.twRep, "Lost"));
            QVERIFY(!byText(w.twRep, "Binned"));
            QCOMPARE(ItemData::key(w.twRep->currentItem()), QStringLiteral("c1"));
            QTreeWidgetItem *budget = byText(w.twRep, "Budget");
            QCOMPARE(ItemData::key(budget->parent()), QStringLiteral("c%1").arg(sub));
            QCOMPARE(frmReports::tickState(budget), int(frmReports::Unticked));
            QCOMPARE(frmReports::tickState(byText(w.twRep, "Top")), int(frmReports::Unticked));
            QCOMPARE(frmReports::tickState(budget->parent()), int(frmReports::NoTick));
            emit w.twRep->itemDoubleClicked(budget->parent(), 0); // a category has no tick
            emit w.twRep->itemDoubleClicked(budget, 0);
            QCOMPARE(frmReports::tickState(budget), int(frmReports::Ticked));
            emit w.twRep->itemDoubleClicked(budget, 0);
            QCOMPARE(frmReports::tickState(budget), int(frmReports::Unticked));
            w.cmdSelectAll->click();
            QCOMPARE(w.TickedReports(), (QList<int>{b, a})); // tree order: the sub-category comes first
            w.cmdClose->click();
            QVERIFY(w.Cancel);
            QCOMPARE(grantsOf(db, role), QList<int>{}); // Close stores nothing
        }
        {
            frmReports w;
            w.BuildTree(role);
            w.cmdSelectAll->click();
            w.cmdSave->click();
            QVERIFY(!w.Cancel);
            QCOMPARE(grantsOf(db, role), (QList<int>{a, b}));
        }
        {
            frmReports w;
            w.BuildTree(role);
            QCOMPARE(w.TickedReports(), (QList<int>{b, a}));
            w.cmdDeselectAll->click();
            QCOMPARE(w.TickedReports(), QList<int>{});
            w.cmdSave->click();
            QCOMPARE(grantsOf(db, role), QList<int>{});
        }
        {
            // The role went away meanwhile: the library refuses and the window stays open.
            frmReports w;
            w.BuildTree(role);
            QVERIFY(s.DeleteRole(role));
            w.show();
            w.cmdSave->click();
            QVERIFY(w.Cancel);
            QVERIFY(w.isVisible());
        }
        QVERIFY(p.messages().isEmpty());
    }

    void workingFiles_data() { TestDb::addBackends(); }
    void workingFiles()
    {
        QFETCH(QString, backend);
        RepositorySession &s = TestDb::freshAppSession(backend);
        QSqlDatabase db = s.Connection();
        const int me = s.CurrentUserId();
        const int firstOnly = addUser(db, 1, "f", "Ana", QVariant());
        const int lastOnly = addUser(db, 1, "l", QVariant(), "Pop");
        const int mine = addReport(db, "Mine", 1, me);
        const int free = addReport(db, "Free", 1);
        const int heldF = addReport(db, "HeldF", 1, firstOnly);
        const int heldL = addReport(db, "HeldL", 1, lastOnly);
        Sql::exec(db, QStringLiteral("Update ZAT_UserApp Set UserFName = 'Me', UserLName = 'Myself' Where IdUserApp = %1").arg(me));
        ScriptedPrompter p;

        frmReports w;
        w.ViewFor = 1;
        w.BuildTree(0);
        QTreeWidgetItem *itemMine = ItemData::findByKey(w.twRep, QStringLiteral("r%1").arg(mine));
        QTreeWidgetItem *itemFree = ItemData::findByKey(w.twRep, QStringLiteral("r%1").arg(free));
        QTreeWidgetItem *itemF = ItemData::findByKey(w.twRep, QStringLiteral("r%1").arg(heldF));
        QTreeWidgetItem *itemL = ItemData::findByKey(w.twRep, QStringLiteral("r%1").arg(heldL));
        QCOMPARE(itemMine->text(0), QStringLiteral("Mine  [MeMyself]"));
        QCOMPARE(itemFree->text(0), QStringLiteral("Free"));
        QCOMPARE(itemF->text(0), QStringLiteral("HeldF  [Ana"));
        QCOMPARE(itemL->text(0), QStringLiteral("HeldLPop]"));
        QCOMPARE(frmReports::tickState(itemMine), int(frmReports::Ticked));
        QCOMPARE(frmReports::tickState(itemFree), int(frmReports::Unticked));
        QCOMPARE(frmReports::tickState(itemF), int(frmReports::HeldByOther));
        QCOMPARE(frmReports::tickState(itemL), int(frmReports::HeldByOther));

        // Held by another user: untouched by every way of ticking, never sent.
        emit w.twRep->itemDoubleClicked(itemF, 0);
        QCOMPARE(frmReports::tickState(itemF), int(frmReports::HeldByOther));
        w.cmdDeselectAll->click();
        QCOMPARE(frmReports::tickState(itemL), int(frmReports::HeldByOther));
        QCOMPARE(frmReports::tickState(itemMine), int(frmReports::Unticked));
        w.cmdSelectAll->click();
        QCOMPARE(frmReports::tickState(itemF), int(frmReports::HeldByOther));
        QCOMPARE(w.TickedReports(), (QList<int>{mine, free}));
        emit w.twRep->itemDoubleClicked(itemMine, 0);
        w.cmdSave->click();
        QVERIFY(!w.Cancel);
        QCOMPARE(holderOf(db, mine), 0);
        QCOMPARE(holderOf(db, free), me);
        QCOMPARE(holderOf(db, heldF), firstOnly);
        QCOMPARE(holderOf(db, heldL), lastOnly);

        // The entry point for the main window: Close reports nothing saved and changes nothing.
        bool done = false;
        whenModal<frmReports>(&done, [](frmReports *r) {
            QCOMPARE(r->ViewFor, 1);
            r->cmdDeselectAll->click();
            r->cmdClose->click();
        });
        QVERIFY(!ShowWorkingFiles(nullptr));
        QTRY_VERIFY(done);
        QCOMPARE(holderOf(db, free), me);

        done = false;
        whenModal<frmReports>(&done, [](frmReports *r) {
            r->cmdDeselectAll->click();
            r->cmdSave->click();
        });
        QVERIFY(ShowWorkingFiles(nullptr));
        QTRY_VERIFY(done);
        QCOMPARE(holderOf(db, free), 0);
        QCOMPARE(holderOf(db, heldF), firstOnly);
        QVERIFY(p.messages().isEmpty());
    }

    // ---- what an administrator does with the windows, on both back-ends

    void userDialogKeepsWhatWasTyped_data() { TestDb::addBackends(); }
    void userDialogKeepsWhatWasTyped()
    {
        QFETCH(QString, backend);
        RepositorySession &s = TestDb::freshAppSession(backend);
        QSqlDatabase db = s.Connection();
        const int app = s.AddApplication("App");
        const int ion = s.SaveUser(0, 1, "ion", "Ion", "I", "", app);
        s.SaveUser(0, 2, "maria", "Maria", "M", "", app);
        ScriptedPrompter p;
        frmDrepturi w;
        w.show();
        QVERIFY(!w.lblAppID->isVisible()); // an id means nothing to the user
        w.cmbCliApp->setCurrentIndex(w.cmbCliApp->findText("App"));

        bool done = false;
        QStringList seen;
        whenModal<frmUserConfig>(&done, [&](frmUserConfig *d) {
            fillUser(d, "Ana", "Pop", "", "pw", "pw", 7);
            QTest::mouseClick(d->cmdSave, Qt::LeftButton);
            seen << (d->isVisible() ? "open" : "closed") << d->txtFName->text();
            d->txtUser->setText(" ION ");
            QTest::mouseClick(d->cmdSave, Qt::LeftButton);
            seen << (d->isVisible() ? "open" : "closed");
            d->txtUser->setText("ana");
            QTest::mouseClick(d->cmdSave, Qt::LeftButton);
            seen << (d->isVisible() ? "open" : "closed");
        });
        QTest::mouseClick(w.cmdAddUser, Qt::LeftButton);
        QTRY_VERIFY(done);
        QCOMPARE(seen, (QStringList{"open", "Ana", "open", "closed"}));
        QCOMPARE(p.messages(), (QStringList{"The user name cannot be empty.",
                                            "The client application already has a user named 'ION'."}));
        QCOMPARE(p.last().icon, Prompter::Icon::Exclamation);
        QCOMPARE(p.last().title, QStringLiteral("Velmora"));
        QCOMPARE(texts(w.lstUsers), (QStringList{"ion", "maria", "ana"}));
        QCOMPARE(count(db, QStringLiteral("Select Count(*) From ZAT_UserApp Where IdApp = %1").arg(app)), 3);

        // Renaming a user onto another's name: refused in the dialog too; keeping one's own name is fine.
        p.clear();
        done = false;
        seen.clear();
        whenModal<frmUserConfig>(&done, [&](frmUserConfig *d) {
            d->txtUser->setText("Maria");
            QTest::mouseClick(d->cmdSave, Qt::LeftButton);
            seen << (d->isVisible() ? "open" : "closed");
            d->txtUser->setText("ION");
            QTest::mouseClick(d->cmdSave, Qt::LeftButton);
            seen << (d->isVisible() ? "open" : "closed");
        });
        QTreeWidgetItem *row = byText(w.lstUsers, "ion");
        doubleClick(w.lstUsers->viewport(), w.lstUsers->visualItemRect(row).center());
        QTRY_VERIFY(done);
        QCOMPARE(seen, (QStringList{"open", "closed"}));
        QCOMPARE(p.messages(), QStringList{"The client application already has a user named 'Maria'."});
        QCOMPARE(Sql::scalar(db, QStringLiteral("Select %1 From ZAT_UserApp Where IdUserApp = %2").arg(Sql::userColumn()).arg(ion)).toString(),
                 QStringLiteral("ION"));
    }

    void typedPasswordsReadBack_data() { TestDb::addBackends(); }
    void typedPasswordsReadBack()
    {
        QFETCH(QString, backend);
        RepositorySession &s = TestDb::freshAppSession(backend);
        QSqlDatabase db = s.Connection();
        const int app = s.AddApplication("App");
        // Stored before: the form that reads as "parolaxxxxxxÝ" keeps reading so.
        QString earlier = QStringLiteral("parolaxxxxxxÝ");
        ScrambleText(earlier, UserPasswordKey);
        earlier.replace(QChar(0), QChar(0xE000));
        const int old = Sql::insert(db, "ZAT_UserApp", "IdUserApp",
                                    {{"IdApp", app}, {"IdUser", 0}, {"User", "old"}, {"Password", earlier}});
        ScriptedPrompter p;
        frmDrepturi w;
        w.show();
        w.cmbCliApp->setCurrentIndex(w.cmbCliApp->findText("App"));

        const QString typed = QStringLiteral("parolaxxxxxxă") + QStringLiteral("ŠžœŸ€…") + UserPasswordKey.mid(19);
        bool done = false;
        whenModal<frmUserConfig>(&done, [&](frmUserConfig *d) {
            fillUser(d, "", "", "new", typed, typed, 0);
            QTest::mouseClick(d->cmdSave, Qt::LeftButton);
        });
        QTest::mouseClick(w.cmdAddUser, Qt::LeftButton);
        QTRY_VERIFY(done);
        QVERIFY(p.calls.isEmpty());
        QStringList shown;
        for (const QString &name : {QStringLiteral("new"), QStringLiteral("old")}) {
            done = false;
            whenModal<frmUserConfig>(&done, [&](frmUserConfig *d) {
                shown << d->txtPass->text();
                QTest::mouseClick(d->cmdSave, Qt::LeftButton); // a load and a save
            });
            QTreeWidgetItem *row = byText(w.lstUsers, name);
            doubleClick(w.lstUsers->viewport(), w.lstUsers->visualItemRect(row).center());
            QTRY_VERIFY(done);
        }
        QCOMPARE(shown, (QStringList{typed, QStringLiteral("parolaxxxxxxÝ")}));
        QCOMPARE(Sql::scalar(db, QStringLiteral("Select Password From ZAT_UserApp Where IdUserApp = %1").arg(old)).toString(), earlier);
    }

    void deletingTheConsolesApplicationWarns_data() { TestDb::addBackends(); }
    void deletingTheConsolesApplicationWarns()
    {
        QFETCH(QString, backend);
        RepositorySession &s = TestDb::freshAppSession(backend);
        QSqlDatabase db = s.Connection();
        const int me = s.CurrentUserId();
        s.AddApplication("Other");
        ScriptedPrompter p;
        frmDrepturi w;
        w.show();
        const QString own = QString::fromLatin1(Schema::ConsoleAppName);
        w.cmbCliApp->setCurrentIndex(w.cmbCliApp->findText(own));
        p.answers.enqueue(Prompter::Answer::No);
        QTest::mouseClick(w.cmdDelApp, Qt::LeftButton);
        QCOMPARE(p.last().text,
                 QStringLiteral("'%1' is the console's own client application: deleting it also deletes the administrators' "
                                "users, among them the one you are logged in as ('%2').\r\n"
                                "Are you sure you want to delete client application '%1'\r\n and all associated users?")
                     .arg(own, s.LoginName()));
        QCOMPARE(p.last().icon, Prompter::Icon::Exclamation);
        QCOMPARE(p.last().buttons, Prompter::Buttons::YesNo);
        QCOMPARE(count(db, QStringLiteral("Select Count(*) From ZAT_UserApp Where IdUserApp = %1").arg(me)), 1);

        // Any other application gets the plain question.
        w.cmbCliApp->setCurrentIndex(w.cmbCliApp->findText("Other"));
        p.answers.enqueue(Prompter::Answer::No);
        QTest::mouseClick(w.cmdDelApp, Qt::LeftButton);
        QCOMPARE(p.last().text, QStringLiteral("Are you sure you want to delete client application 'Other'\r\n and all associated users?"));
    }

    void renamingApplicationsAndRoles_data() { TestDb::addBackends(); }
    void renamingApplicationsAndRoles()
    {
        QFETCH(QString, backend);
        RepositorySession &s = TestDb::freshAppSession(backend);
        QSqlDatabase db = s.Connection();
        const int a = s.AddApplication("Alpha");
        s.AddApplication("Beta");
        const int r1 = s.AddRole("Readers");
        s.AddRole("Writers");
        ScriptedPrompter p;
        frmDrepturi w;
        w.show();
        w.cmbCliApp->setCurrentIndex(w.cmbCliApp->findText("Alpha"));
        p.inputs.enqueue("Gamma");
        QTest::mouseClick(w.cmdRenameApp, Qt::LeftButton);
        QCOMPARE(p.last().text, QStringLiteral("Modify application name :"));
        QCOMPARE(p.last().defaultText, QStringLiteral("Alpha"));
        QCOMPARE(w.cmbCliApp->currentText(), QStringLiteral("Gamma"));
        QCOMPARE(Sql::scalar(db, QStringLiteral("Select AppName From ZAT_App Where IdApp = %1").arg(a)).toString(), QStringLiteral("Gamma"));
        p.inputs.enqueue(" beta");
        QTest::mouseClick(w.cmdRenameApp, Qt::LeftButton);
        QCOMPARE(p.last().text, QStringLiteral("Another client application is already named 'beta'."));
        QCOMPARE(p.last().icon, Prompter::Icon::Exclamation);
        QCOMPARE(w.cmbCliApp->currentText(), QStringLiteral("Gamma"));

        w.SSTab1->setCurrentIndex(1);
        QTreeWidgetItem *readers = byText(w.lstConfigRoles, "Readers");
        QTest::mouseClick(w.lstConfigRoles->viewport(), Qt::LeftButton, {}, w.lstConfigRoles->visualItemRect(readers).center());
        p.inputs.enqueue("Viewers");
        QTest::mouseClick(w.cmdRenameRole, Qt::LeftButton);
        QCOMPARE(texts(w.lstConfigRoles), (QStringList{"Viewers", "Writers"}));
        QCOMPARE(texts(w.lstRoles), (QStringList{"Viewers", "Writers"}));
        QCOMPARE(Sql::scalar(db, QStringLiteral("Select Role From ZAT_Role Where IdRole = %1").arg(r1)).toString(), QStringLiteral("Viewers"));
        p.inputs.enqueue("WRITERS");
        QTest::mouseClick(w.cmdRenameRole, Qt::LeftButton);
        QCOMPARE(p.last().text, QStringLiteral("Another role is already named 'WRITERS'."));
        QCOMPARE(texts(w.lstConfigRoles), (QStringList{"Viewers", "Writers"}));
    }

    void sortingByHeaderClicks_data() { TestDb::addBackends(); }
    void sortingByHeaderClicks()
    {
        QFETCH(QString, backend);
        RepositorySession &s = TestDb::freshAppSession(backend);
        QSqlDatabase db = s.Connection();
        const int app = s.AddApplication("App");
        addUser(db, app, "b", "Zed", "");
        addUser(db, app, "c", "Abe", "");
        addUser(db, app, "a", "Max", "");
        frmDrepturi w;
        w.show();
        w.cmbCliApp->setCurrentIndex(w.cmbCliApp->findText("App"));
        QHeaderView *h = w.lstUsers->header();
        auto clickHeader = [h](int col) {
            QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                              QPoint(h->sectionViewportPosition(col) + h->sectionSize(col) / 2, h->height() / 2));
        };
        clickHeader(0);
        QCOMPARE(texts(w.lstUsers), (QStringList{"a", "b", "c"}));
        clickHeader(0);
        QCOMPARE(texts(w.lstUsers), (QStringList{"c", "b", "a"}));
        clickHeader(1); // a new column starts ascending
        QCOMPARE(texts(w.lstUsers), (QStringList{"c", "a", "b"}));
        clickHeader(1);
        QCOMPARE(texts(w.lstUsers), (QStringList{"b", "a", "c"}));
        clickHeader(0);
        QCOMPARE(texts(w.lstUsers), (QStringList{"a", "b", "c"}));
    }

    void reportTicksAnswerClickAndSpace_data() { TestDb::addBackends(); }
    void reportTicksAnswerClickAndSpace()
    {
        QFETCH(QString, backend);
        RepositorySession &s = TestDb::freshAppSession(backend);
        QSqlDatabase db = s.Connection();
        const int role = s.AddRole("Auditors");
        const int one = addReport(db, "One", 1);
        const int two = addReport(db, "Two", 1);
        addReport(db, "Three", 1);
        ScriptedPrompter p;
        frmDrepturi w;
        w.show();
        w.SSTab1->setCurrentIndex(1);
        bool done = false;
        QString label;
        QList<int> ticks;
        whenModal<frmReports>(&done, [&](frmReports *r) {
            label = r->lblRole->isVisible() ? r->lblRole->text() : QString();
            QTreeWidgetItem *itemOne = byText(r->twRep, "One");
            const QRect rect = r->twRep->visualItemRect(itemOne);
            QTest::mouseClick(r->twRep->viewport(), Qt::LeftButton, {}, QPoint(rect.left() + 8, rect.center().y())); // the tick
            QTest::mouseClick(r->twRep->viewport(), Qt::LeftButton, {}, QPoint(rect.left() + 60, rect.center().y())); // the name
            QTreeWidgetItem *itemTwo = byText(r->twRep, "Two");
            r->twRep->setCurrentItem(itemTwo);
            QTest::keyClick(r->twRep, Qt::Key_Space);
            QTest::keyClick(r->twRep, Qt::Key_Space);
            QTest::keyClick(r->twRep, Qt::Key_Space);
            // A double-click on the name flips it once, as it always did; a click on the tick flips it back.
            QTreeWidgetItem *itemThree = byText(r->twRep, "Three");
            const QRect three = r->twRep->visualItemRect(itemThree);
            doubleClick(r->twRep->viewport(), QPoint(three.left() + 60, three.center().y()));
            ticks << frmReports::tickState(itemThree);
            QTest::mouseClick(r->twRep->viewport(), Qt::LeftButton, {}, QPoint(three.left() + 8, three.center().y()));
            QTest::mouseClick(r->cmdSave, Qt::LeftButton);
        });
        QTest::mouseClick(w.cmdAddReport, Qt::LeftButton);
        QTRY_VERIFY(done);
        QCOMPARE(label, QStringLiteral("Reports of the role 'Auditors'"));
        QCOMPARE(ticks, QList<int>{frmReports::Ticked});
        QCOMPARE(grantsOf(db, role), (QList<int>{one, two}));
    }
};

QTEST_MAIN(TestSecurity)
#include "test_security.moc"
