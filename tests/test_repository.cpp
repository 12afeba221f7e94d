#include "ScriptedPrompter.h"
#include "TestDb.h"

#include "repository/AppError.h"
#include "repository/PackageFile.h"
#include "repository/Schema.h"
#include "repository/Sql.h"

#include <QDir>
#include <QFile>
#include <QSqlRecord>
#include <QtTest>

class TestRepository : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void layoutIsComplete_data() { TestDb::addBackends(); }
    void layoutIsComplete()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        QCOMPARE(Schema::missingLayout(db), QStringList());
        // Every column accepts Null and every table an explicit id, as a package needs.
        for (const Schema::Table &t : Schema::tables()) {
            const int id = 900000 + int(t.columns.size());
            Sql::Values values{{t.idColumn(), id}};
            for (int i = 1; i < t.columns.size(); ++i)
                values.append({t.columns[i].name, QVariant()});
            Sql::insertRow(db, t.name, values);
            QCOMPARE(Sql::scalar(db, QStringLiteral("Select Count(*) From %1 Where %2 = %3")
                                         .arg(t.name, t.idColumn()).arg(id)).toInt(), 1);
        }
        // After explicit ids, new rows still get fresh ids.
        Schema::syncIdentities(db);
        const int fresh = Sql::insert(db, "ZAT_Role", "IdRole", {{"Role", "after"}});
        QVERIFY(fresh > 900000);
    }

    void createDatabaseContent_data() { TestDb::addBackends(); }
    void createDatabaseContent()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        QSqlQuery q = Sql::exec(db, "Select IdCateg, Name, IdParent, IsDeleted From ZAT_Category Order By IdCateg");
        QVERIFY(q.next());
        QCOMPARE(Sql::integer(q, "IdCateg"), 1);
        QVERIFY(q.next());
        QCOMPARE(Sql::integer(q, "IdCateg"), 2);
        QCOMPARE(Sql::text(q, "Name"), QStringLiteral("Recycle Bin"));
        QVERIFY(!q.next());
        QCOMPARE(Sql::scalar(db, "Select Count(*) From ZAT_Sort Where ItemType = 'c' And IdItem In (1,2)").toInt(), 2);
        QSqlQuery companies = s.GetCompanies();
        QVERIFY(companies.next());
        QVERIFY(Sql::integer(companies, "IdAuthor") > 0);
        QCOMPARE(Sql::scalar(db, "Select Count(*) From ZAT_App Where AppName = ?", {"Velmora"}).toInt(), 1);
        // A new category takes an id after the two fixed ones.
        QVERIFY(Sql::insert(db, "ZAT_Category", "IdCateg", {{"Name", "x"}}) > 2);
        // The administrator is a user of the console's own application, created once.
        const int me = s.CurrentUserId();
        QVERIFY(me > 0);
        s.ResetConnection();
        QCOMPARE(s.CurrentUserId(), me);
    }

    void textRoundTrips_data() { TestDb::addBackends(); }
    void textRoundTrips()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const QString name = QStringLiteral("O'Brien's 100% \"raport\" – ședință ☃ 日本");
        const int id = Sql::insert(db, "ZAT_UserApp", "IdUserApp", {{"User", name}, {"UserFName", name}});
        QSqlQuery q = Sql::exec(db, QStringLiteral("Select %1 As U, UserFName From ZAT_UserApp Where IdUserApp = %2")
                                        .arg(Sql::userColumn()).arg(id));
        QVERIFY(q.next());
        QCOMPARE(Sql::text(q, "U"), name);
        QCOMPARE(Sql::text(q, "userfname"), name);
        QCOMPARE(Sql::scalar(db, "Select Count(*) From ZAT_UserApp Where UserFName Like ?", {QStringLiteral("O'Brien%")}).toInt(), 1);
        // Dates come back as dates on both back-ends.
        const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7));
        const int r = Sql::insert(db, "ZAT_Report", "IdReport", {{"Name", name}, {"Modified", Sql::dateValue(when)}});
        QCOMPARE(Sql::toDateTime(Sql::scalar(db, QStringLiteral("Select Modified From ZAT_Report Where IdReport = %1").arg(r))), when);
    }

    void idListRefusesEmpty()
    {
        QCOMPARE(Sql::idList({3, 1, 2}), QStringLiteral("In (3,1,2)"));
        QVERIFY_THROWS_EXCEPTION(AppError, Sql::idList({}));
    }

    void failingStatementCarriesDriverText()
    {
        RepositorySession s;
        TestDb::freshRepository(s, "sqlite");
        try {
            Sql::exec(s.Connection(), "Select Nope From ZAT_Category");
            QFAIL("no error");
        } catch (const AppError &e) {
            QVERIFY(e.description.contains("Nope", Qt::CaseInsensitive));
            QVERIFY(e.number != 0);
        }
    }

    void treeRowsParentsBeforeChildren_data() { TestDb::addBackends(); }
    void treeRowsParentsBeforeChildren()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        // A child created before its parent and sorted before it still comes after it.
        const int child = Sql::insert(db, "ZAT_Category", "IdCateg", {{"Name", "child"}, {"IdParent", 1}, {"IsDeleted", 0}});
        const int parent = Sql::insert(db, "ZAT_Category", "IdCateg", {{"Name", "parent"}, {"IdParent", 1}, {"IsDeleted", 0}});
        Sql::exec(db, QStringLiteral("Update ZAT_Category Set IdParent = %1 Where IdCateg = %2").arg(parent).arg(child));
        Sql::insert(db, "ZAT_Sort", "IdSort", {{"ItemType", "c"}, {"IdItem", child}, {"SortNr", 1}});
        Sql::insert(db, "ZAT_Sort", "IdSort", {{"ItemType", "c"}, {"IdItem", parent}, {"SortNr", 5}});
        const int gone = Sql::insert(db, "ZAT_Category", "IdCateg", {{"Name", "gone"}, {"IdParent", 1}, {"IsDeleted", 1}});
        QList<int> order;
        for (const CategoryRow &r : s.GetSubCategoryRows(-1))
            order << r.IdCateg;
        QVERIFY(order.indexOf(parent) >= 0);
        QVERIFY(order.indexOf(parent) < order.indexOf(child));
        QVERIFY(order.indexOf(1) < order.indexOf(parent));
        QVERIFY(!order.contains(gone));
        QCOMPARE(s.GetSubCategoryRows(parent).size(), 1);
    }

    void checkOut_data() { TestDb::addBackends(); }
    void checkOut()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const int other = Sql::insert(db, "ZAT_UserApp", "IdUserApp", {{"User", "ana"}, {"UserFName", "Ana"}});
        const int a = Sql::insert(db, "ZAT_Report", "IdReport", {{"Name", "a"}, {"IdCateg", 1}, {"IsDeleted", 0}});
        const int b = Sql::insert(db, "ZAT_Report", "IdReport", {{"Name", "b"}, {"IdCateg", 1}, {"IsDeleted", 0}});
        const int c = Sql::insert(db, "ZAT_Report", "IdReport", {{"Name", "c"}, {"IdCateg", 1}, {"IsDeleted", 0}, {"IdUserAppCheckOut", other}});
        QVERIFY(s.IsCheckedOutByOther(c));
        QVERIFY(!s.IsCheckedOutByOther(a));
        s.CheckOutReports({a, c}, false);
        QCOMPARE(s.GetReport(a).IdUserAppCheckOut, s.CurrentUserId());
        QCOMPARE(s.GetReport(c).IdUserAppCheckOut, other); // never taken from another user
        s.CheckOutReports({b}, true); // the exact set: a is released
        QCOMPARE(s.GetReport(a).IdUserAppCheckOut, 0);
        QCOMPARE(s.GetReport(b).IdUserAppCheckOut, s.CurrentUserId());
        s.CheckInReports({b, c});
        QCOMPARE(s.GetReport(b).IdUserAppCheckOut, 0);
        QCOMPARE(s.GetReport(c).IdUserAppCheckOut, other);
        const ReportRows rows = s.GetReportRows(1);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.last().UserFName, QStringLiteral("Ana"));
        QVERIFY(rows.last().UserLName.isNull());
    }

    void packagePassword()
    {
        const QString path = QDir(TestDb::tempDir()).filePath("pkg.mdb");
        RepositorySession s;
        s.CreateDatabase(path);
        {
            QSqlDatabase db = PackageFile::openForReading(path, "quindale", "pkg-ok");
            QVERIFY(db.isOpen());
            QCOMPARE(Sql::scalar(db, "Select Count(*) From ZAT_Category").toInt(), 2);
            // Read-only: nothing can be written into a package being read.
            QVERIFY_THROWS_EXCEPTION(AppError, Sql::exec(db, "Delete From ZAT_Category"));
        }
        PackageFile::close("pkg-ok");
        try {
            PackageFile::openForReading(path, "wrong", "pkg-bad");
            QFAIL("wrong password accepted");
        } catch (const AppError &e) {
            QCOMPARE(e.description, QStringLiteral("Not a valid password for the file '%1'.").arg(path));
        }
        QVERIFY(!QSqlDatabase::contains("pkg-bad"));
    }

    void badFilesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << QByteArray() << "is empty";
        QTest::newRow("text") << QByteArray("Name;Value\nx;1\n") << "is not a Velmora repository or package";
        QTest::newRow("truncated") << QByteArray("truncated") << "damaged";
        QTest::newRow("other sqlite") << QByteArray("other") << "is not a Velmora repository or package";
    }
    void badFilesAreRefused()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        const QString path = QDir(TestDb::tempDir()).filePath(QStringLiteral("bad-%1.mdb").arg(QTest::currentDataTag()).replace(' ', '_'));
        if (content == "truncated") {
            RepositorySession s;
            s.CreateDatabase(path);
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.resize(f.size() / 3);
        } else if (content == "other") {
            {
                QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "other");
                db.setDatabaseName(path);
                QVERIFY(db.open());
                Sql::exec(db, "Create Table T (a integer)");
                db.close();
            }
            QSqlDatabase::removeDatabase("other");
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        try {
            PackageFile::openForReading(path, "quindale", "pkg-x");
            QFAIL("bad file accepted");
        } catch (const AppError &e) {
            QVERIFY2(e.description.contains(message), qPrintable(e.description));
        }
        RepositorySession s;
        QVERIFY_THROWS_EXCEPTION(AppError, s.OpenFile(path));
    }
};

QTEST_MAIN(TestRepository)
#include "test_repository.moc"
