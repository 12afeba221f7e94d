#include "ScriptedPrompter.h"
#include "TestDb.h"

#include "navigator/frmMain.h"
#include "repository/Scramble.h"
#include "shell/AppState.h"
#include "shell/ErrorBox.h"
#include "shell/ItemData.h"
#include "shell/MacroFillers.h"
#include "shell/Settings.h"
#include "shell/Startup.h"
#include "shell/TypeAhead.h"
#include "shell/frmOpen.h"
#include "shell/frmSplash.h"
#include "shell/ConnectDialog.h"
#include "repository/Sql.h"

#include <QApplication>
#include <QComboBox>
#include <QRadioButton>
#include <QSpinBox>
#include <QLabel>
#include <QTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTreeWidget>
#include <QtTest>

class TestShell : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QSettings(QStringLiteral("Velmora"), QStringLiteral("Velmora")).clear(); }

    void errorBox()
    {
        ScriptedPrompter p;
        AppError e(5, "D", "S");
        const QString expected = QStringLiteral("Number : 5\rDescription : D\rSource : S\rOrigin : Copy()");
        QCOMPARE(ErrorBoxText(e, "Copy()"), expected);
        QVERIFY(!RunCommand("Copy()", [] { throw AppError(5, "D", "S"); }));
        QCOMPARE(p.calls.size(), 1);
        QCOMPARE(p.last().text, expected);
        QCOMPARE(p.last().title, QStringLiteral("Velmora"));
        QCOMPARE(p.last().icon, Prompter::Icon::Critical);
        QCOMPARE(p.last().buttons, Prompter::Buttons::Ok);
        // No pending error, no box; empty description and source end their lines after the label.
        ShowError(AppError(0, "ignored"), "x");
        QVERIFY(RunCommand("y", [] {}));
        QCOMPARE(p.calls.size(), 1);
        ShowError(AppError(7, "", ""), "z");
        QCOMPARE(p.last().text, QStringLiteral("Number : 7\rDescription : \rSource : \rOrigin : z"));
    }

    void scramble()
    {
        QString abc = "abc";
        ScrambleText(abc, "k");
        QVERIFY(abc != "abc");
        ScrambleText(abc, "k");
        QCOMPARE(abc, QStringLiteral("abc"));
        QString empty;
        QCOMPARE(ScrambleText(empty, "key"), QString());
        // The key restarts at its first character.
        QString s = "aaaa";
        ScrambleText(s, "ab");
        QCOMPARE(s[0], s[2]);
        QCOMPARE(s[1], s[3]);
        QCOMPARE(s[0].unicode(), char16_t('a' ^ 'a'));
        // Windows-1252 codes: the euro sign is 0x80.
        QString euro = QStringLiteral("€");
        ScrambleText(euro, QStringLiteral("\x01"));
        QCOMPARE(euro, Cp1252Char(0x81));
    }

    void storedPasswords_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("plain") << "secret";
        QTest::newRow("key char at its place") << "Vemo"; // scrambles to code 0
        QTest::newRow("cp1252 and beyond") << QStringLiteral("€ș日本ÿ");
        QTest::newRow("longer than key") << QString(50, QChar('x'));
    }
    void storedPasswords()
    {
        QFETCH(QString, typed);
        const QString stored = StoredPassword(typed);
        QVERIFY(!stored.contains(QChar(0)));
        QCOMPARE(TypedPassword(stored), typed);
        QVERIFY(PasswordIsStorable(typed));
    }

    // Every character a keyboard gives, at each of the key's positions, reads back exactly; and
    // every value stored before reads back as it read before.
    void storedPasswordsExhaustive()
    {
        const qsizetype m = UserPasswordKey.size();
        auto earlierStored = [](const QString &typed) {
            QString s = typed;
            ScrambleText(s, UserPasswordKey);
            return s.replace(QChar(0), QChar(0xE000));
        };
        auto earlierTyped = [](const QString &stored) {
            QString s = stored;
            s.replace(QChar(0xE000), QChar(0));
            return ScrambleText(s, UserPasswordKey);
        };
        int typeable = 0;
        for (char32_t u = 1; u <= 0xFFFF; ++u) {
            const QChar c{char16_t(u)};
            if (c.isSurrogate())
                continue;
            const QString same(m, c); // the character at every position of the key
            const QString before = earlierStored(same);
            if (TypedPassword(before) != earlierTyped(before))
                QFAIL(qPrintable(QStringLiteral("an earlier stored form of U+%1 reads differently").arg(uint(u), 4, 16, QLatin1Char('0'))));
            if (c.category() == QChar::Other_Control || c.category() == QChar::Other_PrivateUse)
                continue;
            ++typeable;
            const QString stored = StoredPassword(same);
            if (stored.contains(QChar(0)) || TypedPassword(stored) != same || !PasswordIsStorable(same))
                QFAIL(qPrintable(QStringLiteral("U+%1 does not read back").arg(uint(u), 4, 16, QLatin1Char('0'))));
        }
        QVERIFY(typeable > 55000);

        // The reported case: 'ă' at the 13th place scrambled to the code of 'Œ' and read back as 'Ý'.
        const QString typed = QStringLiteral("parolaxxxxxxă");
        QCOMPARE(TypedPassword(StoredPassword(typed)), typed);
        QCOMPARE(StoredPassword(typed).at(12), QChar(0x8C));
        QCOMPARE(TypedPassword(earlierStored(typed)), QStringLiteral("parolaxxxxxxÝ")); // as it always read
        // Characters beyond the first plane stay surrogate pairs.
        const QString emoji = QString::fromUcs4(U"\U0001F642\U0001D11E\U0001F600").repeated(4);
        QCOMPARE(TypedPassword(StoredPassword(emoji)), emoji);
        // What cannot be typed is refused rather than stored changed.
        QVERIFY(!PasswordIsStorable(QString(QChar(0x80))));
        QVERIFY(!PasswordIsStorable(QString(QChar(char16_t(0xE000 ^ 'V')))));
    }

    void typeAhead_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("selStart");
        QTest::addColumn<int>("selLen");
        QTest::addColumn<int>("keyCode");
        QTest::addColumn<QString>("ch");
        QTest::addColumn<bool>("consumed");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("newText");
        QTest::addColumn<int>("newSelStart");
        QTest::addColumn<int>("newSelLen");
        const QStringList t{"Alpha", "beta", "Bravo"};
        const QStringList k{"k1", "k2", "k3"};
        QTest::newRow("prefix ignores case") << t << k << "" << 0 << 0 << 0 << "B" << true << 1 << "beta" << 1 << 3;
        QTest::newRow("typed replaces selection") << t << k << "beta" << 1 << 3 << 0 << "r" << true << 2 << "Bravo" << 2 << 3;
        QTest::newRow("enter selects first char") << t << k << "alp" << 3 << 0 << 13 << "" << true << 0 << "Alpha" << 0 << 1;
        QTest::newRow("no match clears") << t << k << "" << 0 << 0 << 0 << "z" << true << -1 << "" << 0 << 0;
        QTest::newRow("no match, k0 first") << QStringList{"All", "x"} << QStringList{"k0", "k1"} << "" << 0 << 0 << 0 << "q" << true << 0 << "" << 0 << 0;
        QTest::newRow("space passes") << t << k << "" << 0 << 0 << 0 << " " << false << -1 << "" << 0 << 0;
        QTest::newRow("empty list passes") << QStringList{} << QStringList{} << "" << 0 << 0 << 0 << "a" << false << -1 << "" << 0 << 0;
        QTest::newRow("enter on empty picks empty first") << QStringList{"", "x"} << QStringList{"k5", "k6"} << "" << 0 << 0 << 13 << "" << true << 0 << "" << 0 << 0;
    }
    void typeAhead()
    {
        QFETCH(QStringList, texts);
        QFETCH(QStringList, keys);
        QFETCH(QString, text);
        QFETCH(int, selStart);
        QFETCH(int, selLen);
        QFETCH(int, keyCode);
        QFETCH(QString, ch);
        QFETCH(bool, consumed);
        QFETCH(int, index);
        QFETCH(QString, newText);
        QFETCH(int, newSelStart);
        QFETCH(int, newSelLen);
        const TypeAheadResult r = ComboTypeAhead(texts, keys, text, selStart, selLen, keyCode, ch.isEmpty() ? QChar() : ch[0]);
        QCOMPARE(r.consumed, consumed);
        if (!consumed)
            return;
        QCOMPARE(r.changeSelection ? r.selectIndex : -1, index);
        if (r.setText) {
            QCOMPARE(r.text, newText);
            QCOMPARE(r.selStart, newSelStart);
            QCOMPARE(r.selLength, newSelLen);
        }
    }

    void statusPanels()
    {
        RepositorySession file;
        file.setDatabaseKind(RepositorySession::FileDatabase);
        file.setDatabasePath("/data/repo.mdb");
        QCOMPARE(StatusPanels(file), qMakePair(QStringLiteral("/data/repo.mdb"), QString()));
        RepositorySession server;
        server.setDatabaseKind(RepositorySession::ServerDatabase);
        server.setServer("SRV", 5432, "REPO", "ANA", "pw");
        QCOMPARE(StatusPanels(server), qMakePair(QStringLiteral("\\\\SRV\\REPO"), QStringLiteral("ANA")));
    }

    void mdbExtension_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("expected");
        QTest::newRow("appended") << "/tmp/new" << "/tmp/new.mdb";
        QTest::newRow("lower kept") << "/tmp/a.mdb" << "/tmp/a.mdb";
        QTest::newRow("upper kept") << "/tmp/a.MDB" << "/tmp/a.MDB";
        QTest::newRow("mixed kept") << "/tmp/a.mDb" << "/tmp/a.mDb";
        QTest::newRow("other ending") << "/tmp/a.db" << "/tmp/a.db.mdb";
    }
    void mdbExtension()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, expected);
        QCOMPARE(WithMdbExtension(chosen), expected);
    }

    void windowPlacement()
    {
        QWidget w;
        w.setObjectName("frmTest");
        w.setGeometry(10, 20, 300, 200);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        SaveWindowPlacement(&w);
        QCOMPARE(GetSetting("Settings", "frmTestWindowState"), QStringLiteral("0"));
        QCOMPARE(GetSetting("Settings", "frmTestWidth"), QString::number(w.geometry().width() * 15));
        QCOMPARE(GetSetting("Settings", "frmTestLeft"), QString::number(w.geometry().x() * 15));
        const QString width = GetSetting("Settings", "frmTestWidth");
        w.showMaximized();
        QTRY_VERIFY(w.isMaximized());
        SaveWindowPlacement(&w);
        QCOMPARE(GetSetting("Settings", "frmTestWindowState"), QStringLiteral("2"));
        QCOMPARE(GetSetting("Settings", "frmTestWidth"), width);
    }

    void splashVersion()
    {
        frmSplash s;
        QVERIFY(s.lblVersion->text().startsWith("Version "));
        QCOMPARE(s.lblVersion->text().count('.'), 2);
        QCOMPARE(s.Timer1->interval(), 3000);
    }

    void macroFillersOnEmptyRepository()
    {
        TestDb::freshAppSession("sqlite");
        QTreeWidget list;
        FillMacroCategories(&list);
        QCOMPARE(list.topLevelItemCount(), 1);
        QCOMPARE(list.topLevelItem(0)->text(0), QStringLiteral("< All macros >"));
        QCOMPARE(ItemData::key(list.topLevelItem(0)), QStringLiteral("k0"));
        QCOMPARE(list.currentItem(), list.topLevelItem(0));
        QComboBox combo;
        QSqlDatabase db = App::session().Connection();
        const int cat = Sql::insert(db, "ZAT_CategMacros", "IdCateg", {{"Denumire", "Fmt"}});
        Sql::insert(db, "ZAT_Macros", "IdMacro", {{"IdCateg", cat}, {"MacroName", "B"}});
        Sql::insert(db, "ZAT_Macros", "IdMacro", {{"IdCateg", cat}, {"MacroName", "A"}});
        FillMacroCategories(&combo);
        QCOMPARE(combo.count(), 2);
        QCOMPARE(combo.itemText(1), QStringLiteral("Fmt"));
        FillMacroList(cat, &list);
        QCOMPARE(list.topLevelItemCount(), 2);
        QCOMPARE(list.topLevelItem(0)->text(0), QStringLiteral("A"));
        QCOMPARE(list.currentItem(), list.topLevelItem(0));
    }

    void companyWindow()
    {
        ScriptedPrompter p;
        TestDb::freshAppSession("sqlite");
        Sql::insert(App::session().Connection(), "ZAT_Company", "IdAuthor", {{"Name", QVariant()}});
        frmOpen w;
        w.show();
        QTRY_COMPARE(w.cmbCompany->count(), 2);
        QCOMPARE(w.cmbCompany->itemText(1), QString()); // a Null name is listed with empty text
        App::CurrentCompanyId = 9;
        w.cmbCompany->setCurrentIndex(-1);
        w.cmdOK->click();
        QCOMPARE(p.messages(), QStringList{"Select company!"});
        QCOMPARE(p.last().icon, Prompter::Icon::Exclamation);
        QCOMPARE(App::CurrentCompanyId, 0);
        QVERIFY(w.isVisible());
        w.cmbCompany->setCurrentIndex(0);
        w.cmdOK->click();
        QVERIFY(App::CurrentCompanyId > 0);
        QCOMPARE(w.result(), int(QDialog::Accepted));
    }


    void cancelledConnectEndsProgram()
    {
        // Main returns at once: no splash, no company window, no main window.
        bool sawConnect = false;
        QTimer::singleShot(0, [&] {
            auto *dlg = qobject_cast<ConnectDialog *>(QApplication::activeModalWidget());
            sawConnect = dlg != nullptr;
            if (dlg)
                dlg->cmdCancel->click();
        });
        QCOMPARE(Main(*qApp), 0);
        QVERIFY(sawConnect);
        QVERIFY(!frmMain::exists() || !frmMain::instance()->isVisible());
    }

    void connectDialogReportsFailureAndRemembers()
    {
        ScriptedPrompter p;
        RepositorySession s;
        const QString missing = QDir(TestDb::tempDir()).filePath("nowhere.mdb");
        {
            ConnectDialog dlg(s);
            dlg.optFile->setChecked(true);
            dlg.txtFile->setText(missing);
            dlg.show();
            dlg.cmdOK->click();
            QCOMPARE(p.messages().size(), 1);
            QVERIFY(p.last().text.startsWith("Number : "));
            QVERIFY(p.last().text.contains("does not exist"));
            QVERIFY(p.last().text.endsWith("Origin : ConnectDialog.cmdOK_Click()"));
            QVERIFY(dlg.isVisible()); // stays open for another try
            QCOMPARE(dlg.result(), 0);
        }
        const QString good = QDir(TestDb::tempDir()).filePath("good.mdb");
        s.CreateDatabase(good);
        {
            ConnectDialog dlg(s);
            dlg.optFile->setChecked(true);
            dlg.txtFile->setText(good);
            dlg.show();
            dlg.cmdOK->click();
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QVERIFY(s.IsOpen());
            QCOMPARE(s.DatabasePath(), good);
        }
        ConnectDialog again(s);
        QCOMPARE(again.txtFile->text(), good);
        QVERIFY(again.optFile->isChecked());
    }

    void connectToServer()
    {
        QVERIFY2(TestDb::postgresAvailable(), "VELMORA_TEST_PG is not set");
        RepositorySession s;
        TestDb::freshRepository(s, "postgres");
        const QString server = s.ServerName();
        const int port = s.ServerPort();
        const QString database = s.DatabaseName();
        const QString login = s.UserName();
        RepositorySession other;
        ConnectDialog dlg(other);
        dlg.optServer->setChecked(true);
        dlg.txtHost->setText(server);
        dlg.txtPort->setValue(port);
        dlg.txtDatabase->setText(database);
        dlg.txtUser->setText(login);
        dlg.show();
        dlg.cmdOK->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(other.DatabaseKind(), int(RepositorySession::ServerDatabase));
        QCOMPARE(StatusPanels(other).second, login);
        QVERIFY(other.CurrentUserId() > 0);
        ConnectDialog again(other);
        QVERIFY(again.optServer->isChecked());
        QCOMPARE(again.txtDatabase->text(), database);
    }

    void typeAheadInCompanyCombo()
    {
        TestDb::freshAppSession("sqlite");
        QSqlDatabase db = App::session().Connection();
        Sql::insert(db, "ZAT_Company", "IdAuthor", {{"Name", "Northwind"}});
        frmOpen w;
        w.show();
        QTRY_COMPARE(w.cmbCompany->count(), 2);
        QLineEdit *edit = w.cmbCompany->lineEdit();
        QTest::keyClick(edit, 'n');
        QCOMPARE(w.cmbCompany->currentText(), QStringLiteral("Northwind"));
        QCOMPARE(edit->selectedText(), QStringLiteral("orthwind"));
        QTest::keyClick(edit, 'q'); // no company starts "nq": the text is cleared
        QCOMPARE(edit->text(), QString());
    }

    void newDatabase()
    {
        ScriptedPrompter p;
        TestDb::freshAppSession("sqlite");
        frmMain *main = frmMain::instance();
        const QString chosen = QDir(TestDb::tempDir()).filePath("fresh");
        p.files.enqueue(chosen);
        main->setPanelText(3, QStringLiteral("ana")); // as when a server database was open
        main->mnuNewDB->trigger();
        QCOMPARE(p.last().title, QStringLiteral("Enter DB name and DB path ..."));
        QCOMPARE(p.last().filter, QStringLiteral("Microsoft Access Database (*.mdb)|*.mdb"));
        QCOMPARE(App::session().DatabasePath(), chosen + ".mdb");
        QCOMPARE(main->panelText(2), chosen + ".mdb");
        QCOMPARE(main->panelText(3), QString());
        QCOMPARE(GetSetting("DB", "DBPath"), chosen + ".mdb");
        QCOMPARE(GetSetting("DB", "TipDB"), QStringLiteral("1"));
        QCOMPARE(App::session().GetCategory(1).IdCategory, 1);
        // The next start offers the new repository.
        {
            ConnectDialog next(App::session());
            QVERIFY(next.optFile->isChecked());
            QCOMPARE(next.txtFile->text(), chosen + ".mdb");
        }
        // Cancelled: nothing changes and nothing is shown.
        p.clear();
        main->mnuNewDB->trigger();
        QCOMPARE(p.messages(), QStringList());
        QCOMPARE(App::session().DatabasePath(), chosen + ".mdb");
    }
};

QTEST_MAIN(TestShell)
#include "test_shell.moc"
