#include "ReportFixtures.h"
#include "ScriptedPrompter.h"
#include "TestDb.h"

#include "navigator/UserReportsDialog.h"
#include "navigator/WorkbookCommands.h"
#include "navigator/frmReportParameter.h"
#include "reportengine/DataSourceConnection.h"
#include "reportengine/ReportDefinition.h"
#include "reportengine/ReportEngine.h"
#include "reportengine/WallDateTime.h"
#include "repository/AppError.h"
#include "repository/Sql.h"
#include "shell/AppState.h"
#include "shell/ItemData.h"
#include "shell/Settings.h"
#include "shell/frmOptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QSettings>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

using namespace ReportFixtures;

// Answers variables from a script and records what the engine asked.
class RecordingParameters : public ReportParameterPrompter {
public:
    struct Ask {
        QString name;
        QString offered; // the value on entry (default or refused answer)
        QString problem;
        QList<LookupChoice> choices;
    };
    QList<Ask> asks;
    QStringList answers;  // used in order; when empty the offered value is kept
    bool cancelAt = false;
    QString fileAnswer;
    QStringList fileAsks;
    QStringList opened;

    bool askVariable(const ReportVariable &v, const QList<LookupChoice> &choices, QString &value,
                     const QString &problem) override
    {
        asks << Ask{v.name, value, problem, choices};
        if (cancelAt)
            return false;
        if (!answers.isEmpty())
            value = answers.takeFirst();
        return true;
    }
    QString askDestinationFile(const QString &suggested) override
    {
        fileAsks << suggested;
        return fileAnswer;
    }
    void openDocument(const QString &path) override { opened << path; }
};

// A fresh repository, or the test fails with the reason (an unreachable server among them).
#define FRESH(backend)                                                                                   \
    do {                                                                                                 \
        try {                                                                                            \
            TestDb::freshRepository(session, backend);                                                   \
        } catch (const AppError &e) {                                                                    \
            QFAIL(qPrintable(e.description));                                                            \
        }                                                                                                \
    } while (false)

static QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

static QString readText(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll());
}

class TestReportEngine : public QObject {
    Q_OBJECT

    RepositorySession session;
    ReportEngine engine;
    QString work; // a fresh folder per test

    QSqlDatabase repo() { return session.Connection(); }

    // The sales rows, in a SQLite file or in the PostgreSQL repository database; returns the
    // data source's connection string.
    QString makeSalesData(const QString &backend)
    {
        const QString ddl = QStringLiteral(
            "Create Table Sales (Region varchar(40), Qty integer, Amount double precision, SoldOn %1, Secret text)");
        auto fill = [](const QSqlDatabase &db) {
            const QList<QVariantList> rows = {
                {"North", 3, 10.5, "2024-01-31", "s1"}, {"South", 5, 20.25, "2024-02-29", "s2"},
                {"West", 7, 30, "2024-03-01", "s3"}, {"East", 1, 1.0, "2024-03-02", "s4"},
                {"O'Brien", 2, 4.0, "2024-03-03", "s5"}};
            for (const QVariantList &r : rows)
                Sql::exec(db, QStringLiteral("Insert Into Sales Values (?, ?, ?, ?, ?)"), r);
        };
        if (backend == QLatin1String("postgres")) {
            Sql::exec(repo(), ddl.arg(QStringLiteral("date")));
            fill(repo());
            return postgresUri(repo());
        }
        const QString path = QDir(work).filePath(QStringLiteral("sales.db"));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fixture"));
            db.setDatabaseName(path);
            db.open();
            Sql::exec(db, ddl.arg(QStringLiteral("text")));
            Sql::exec(db, QStringLiteral("Create Table Countries (Code text, Name text)"));
            Sql::exec(db, QStringLiteral("Insert Into Countries Values ('RO', 'Romania'), ('FR', 'France')"));
            Sql::exec(db, QStringLiteral("Create Table Cities (Country text, Name text)"));
            Sql::exec(db, QStringLiteral("Insert Into Cities Values ('RO', 'Cluj'), ('RO', 'Iasi'), ('FR', 'Lyon')"));
            fill(db);
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("fixture"));
        return QStringLiteral("sqlite:") + path;
    }

    Report salesReport(int dataSource)
    {
        Report r;
        r.name = QStringLiteral("Sales");
        r.sheetName = QStringLiteral("Sales: 2024/Q1");
        r.title = QStringLiteral("Monthly sales");
        r.gridLines = QStringLiteral("0");
        r.autoFilters = QStringLiteral("1");
        r.freeze = QStringLiteral("1");
        r.fontName = QStringLiteral("Arial");
        r.fontSize = 10;
        r.columns = {{"Region", 0, 20, false, false}, {"Qty", 0, 0, false, true}, {"Amount", 2, 12, false, true},
                     {"SoldOn", 3, 0, false, false}, {"Secret", 0, 0, true, false}};
        r.dataSource = dataSource;
        r.sql = QStringLiteral("Select Region As \"Region\", Qty As \"Qty\", Amount As \"Amount\", SoldOn As \"SoldOn\", "
                               "Secret As \"Secret\" From Sales Where Amount >= :MinAmount Order By Region");
        return r;
    }

private Q_SLOTS:
    void init()
    {
        static int n = 0;
        work = QDir(TestDb::tempDir()).filePath(QStringLiteral("case%1").arg(++n));
        QDir().mkpath(work);
    }

    void cleanup()
    {
        engine = ReportEngine(); // lets go of the repository connection
    }

    void workbook_data() { TestDb::addBackends(); }
    void workbook()
    {
        QFETCH(QString, backend);
        FRESH(backend);
        engine.Init(repo(), 1);
        const int ds = addDataSource(repo(), QStringLiteral("Sales data"), makeSalesData(backend));
        addVariable(repo(), ds, QStringLiteral("MinAmount"), 2, QStringLiteral("Minimum amount"), QStringLiteral("5"));
        const int id = addReport(repo(), salesReport(ds));
        const QString out = QDir(work).filePath(QStringLiteral("sales.xlsx"));
        FixedParameterValues defaults;
        QCOMPARE(engine.Run(id, out, defaults), out);

        QString error;
        const QVariantMap wb = readWorkbook(out, &error);
        QVERIFY2(!wb.isEmpty(), qPrintable(error));
        QCOMPARE(wb["sheets"].toStringList(), QStringList{QStringLiteral("Sales_ 2024_Q1")});
        const QVariantList rows = wb["rows"].toList();
        QCOMPARE(rows.size(), 7); // title, blank, header, 3 rows, total
        QCOMPARE(rows[0].toList()[0].toString(), QStringLiteral("Monthly sales"));
        QCOMPARE(rows[2].toList().mid(0, 5), (QVariantList{"Region", "Qty", "Amount", "SoldOn", "Secret"}));
        const QVariantList north = rows[3].toList();
        QCOMPARE(north[0].toString(), QStringLiteral("North"));
        QCOMPARE(north[1].typeId(), QMetaType::LongLong); // a number, not the text "3"
        QCOMPARE(north[1].toInt(), 3);
        QCOMPARE(north[2].toDouble(), 10.5);
        QCOMPARE(north[3].toMap()["date"].toString(), QStringLiteral("2024-01-31T00:00:00"));
        QCOMPARE(north[4].toString(), QStringLiteral("s1"));
        QCOMPARE(rows[5].toList()[0].toString(), QStringLiteral("West"));
        const QVariantList total = rows[6].toList();
        QCOMPARE(total[0].toString(), QStringLiteral("Total"));
        QCOMPARE(total[1].toString(), QStringLiteral("=SUM(B4:B6)"));
        QCOMPARE(total[2].toString(), QStringLiteral("=SUM(C4:C6)"));
        QVERIFY(total[3].isNull());

        const QVariantMap widths = wb["widths"].toMap();
        QVERIFY(qAbs(widths["A"].toDouble() - 20) < 1);
        QVERIFY(qAbs(widths["C"].toDouble() - 12) < 1);
        QVERIFY(wb["hidden"].toMap()["E"].toBool());
        QVERIFY(!wb["hidden"].toMap()["A"].toBool());
        QCOMPARE(wb["filter"].toString(), QStringLiteral("A3:E6"));
        QCOMPARE(wb["freeze"].toString(), QStringLiteral("A4"));
        QCOMPARE(wb["grid"].toBool(), false);
        QCOMPARE(wb["font"].toList().value(0).toString(), QStringLiteral("Arial"));
        QCOMPARE(wb["font"].toList().value(1).toDouble(), 10.0);
    }

    // No sheet settings, no column rows, an empty result: still a sound workbook.
    // A frozen cell outside a worksheet (row 0, past the last row or column) freezes nothing:
    // written as given it made a workbook the spreadsheet program reports as damaged.
    void freezeCells_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("frozen");
        QTest::newRow("cell") << QStringLiteral("C4") << QStringLiteral("C4");
        QTest::newRow("lower case, blanks") << QStringLiteral(" b2 ") << QStringLiteral("B2");
        QTest::newRow("last cell") << QStringLiteral("XFD1048576") << QStringLiteral("XFD1048576");
        QTest::newRow("row 0") << QStringLiteral("B0") << QString();
        QTest::newRow("past the last row") << QStringLiteral("B1048577") << QString();
        QTest::newRow("past the last column") << QStringLiteral("XFE2") << QString();
        QTest::newRow("top left cell") << QStringLiteral("A1") << QString();
    }
    void freezeCells()
    {
        QFETCH(QString, stored);
        QFETCH(QString, frozen);
        FRESH(QStringLiteral("sqlite"));
        engine.Init(repo(), 1);
        const int ds = addDataSource(repo(), QStringLiteral("D"), makeSalesData(QStringLiteral("sqlite")));
        Report r;
        r.name = QStringLiteral("Frozen");
        r.freeze = stored;
        r.dataSource = ds;
        r.sql = QStringLiteral("Select Region, Qty From Sales");
        const int id = addReport(repo(), r);
        const QString out = QDir(work).filePath(QStringLiteral("frozen.xlsx"));
        FixedParameterValues defaults;
        engine.Run(id, out, defaults);
        QString error;
        const QVariantMap wb = readWorkbook(out, &error);
        QVERIFY2(!wb.isEmpty(), qPrintable(error));
        QCOMPARE(wb["freeze"].toString(), frozen);
    }

    void workbookDefaults()
    {
        FRESH(QStringLiteral("sqlite"));
        engine.Init(repo(), 1);
        const int ds = addDataSource(repo(), QStringLiteral("D"), makeSalesData(QStringLiteral("sqlite")));
        Report r;
        r.name = QStringLiteral("Empty [draft]");
        r.withSheet = false;
        r.dataSource = ds;
        r.freeze = QStringLiteral("B3");
        r.sql = QStringLiteral("Select Region, Qty From Sales Where 1 = 0");
        const int id = addReport(repo(), r);
        const QString out = QDir(work).filePath(QStringLiteral("empty.xlsx"));
        FixedParameterValues defaults;
        engine.Run(id, out, defaults);
        const QVariantMap wb = readWorkbook(out);
        QCOMPARE(wb["sheets"].toStringList(), QStringList{QStringLiteral("Empty _draft_")});
        QCOMPARE(wb["rows"].toList().size(), 1);
        QCOMPARE(wb["rows"].toList()[0].toList(), (QVariantList{"Region", "Qty"}));
        QVERIFY(wb["grid"].isNull() || wb["grid"].toBool()); // shown: the default
        QVERIFY(wb["filter"].isNull());
        QVERIFY(wb["freeze"].isNull());
    }

    void textReport_data() { TestDb::addBackends(); }
    void textReport()
    {
        QFETCH(QString, backend);
        FRESH(backend);
        engine.Init(repo(), 1);
        const int ds = addDataSource(repo(), QStringLiteral("D"), makeSalesData(backend));
        Report r = salesReport(ds);
        r.version = QStringLiteral("Text");
        r.sql = QStringLiteral("Select Region As \"Region\", Qty As \"Qty\", Amount As \"Amount\", SoldOn As \"SoldOn\", "
                               "Secret As \"Secret\", 'a' || chr(9) || 'b€' As \"Note\", 9007199254740993 As \"Big\" "
                               "From Sales Where Qty <= 3 Order By Qty");
        if (backend == QLatin1String("sqlite"))
            r.sql.replace(QStringLiteral("chr(9)"), QStringLiteral("char(9)"));
        const int id = addReport(repo(), r);
        const QString out = QDir(work).filePath(QStringLiteral("sales.txt"));
        FixedParameterValues defaults;
        engine.Run(id, out, defaults);
        QCOMPARE(readText(out), QStringLiteral("Region\tQty\tAmount\tSoldOn\tNote\tBig\n"
                                               "East\t1\t1\t2024-03-02\ta b€\t9007199254740993\n"
                                               "O'Brien\t2\t4\t2024-03-03\ta b€\t9007199254740993\n"
                                               "North\t3\t10.5\t2024-01-31\ta b€\t9007199254740993\n"));
    }

    // Dates come out as the data states them in every time zone, the days and hours a zone skips
    // at a clock change among them (Berlin has no 2024-03-31 02:30, Sao Paulo had no midnight on
    // 1995-10-15); numbers come out with 15 digits as Qt writes them. Run through the command-line
    // tool so that each zone is the process's own from its start.
    void datesInAnyZone_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("zone");
        for (const char *backend : {"sqlite", "postgres"})
            for (const char *zone : {"UTC", "Europe/Berlin", "America/Sao_Paulo"})
                QTest::addRow("%s %s", backend, zone) << QString::fromLatin1(backend) << QString::fromLatin1(zone);
    }
    void datesInAnyZone()
    {
        QFETCH(QString, backend);
        QFETCH(QString, zone);
        const QString tool = qEnvironmentVariable("VELMORA_TEST_BINARY_DIR") + QStringLiteral("/apps/velmora-report");
        if (!QFileInfo::exists(tool))
            QFAIL("velmora-report is not built");
        FRESH(backend);
        const bool pg = backend == QLatin1String("postgres");
        struct Case {
            const char *stored;   // as stored; a null pointer is NULL
            bool typed;           // also a value of a date column
            const char *text;     // the text report's field
            QVariant cell;        // the workbook cell: a date as ISO text, or the text kept
            double number;
            const char *numberText;
        };
        auto date = [](const char *iso) { return QVariant(QVariantMap{{"date", QString::fromLatin1(iso)}}); };
        const QList<Case> cases = {
            {"2024-02-29", true, "2024-02-29", date("2024-02-29T00:00:00"), 0.1 + 0.2, "0.3"},
            {"2023-02-29", false, "2023-02-29", "2023-02-29", 96074754706947.25, "96074754706947.3"},
            {"1900-02-29", false, "1900-02-29", "1900-02-29", -0.0, "0"},
            {"1899-12-31", true, "1899-12-31", QVariant(), 1e15, "1e+15"},
            {"1900-01-01", true, "1900-01-01", date("1900-01-01T00:00:00"), 1.0 / 3, "0.333333333333333"},
            {"1900-03-01", true, "1900-03-01", date("1900-03-01T00:00:00"), 1e-5, "1e-05"},
            {"1904-01-01", true, "1904-01-01", date("1904-01-01T00:00:00"), 2.5, "2.5"},
            {"1995-10-15", true, "1995-10-15", date("1995-10-15T00:00:00"), -123456.125, "-123456.125"},
            {"2024-01-31T10:15:30.250", false, "2024-01-31 10:15:30", date("2024-01-31T10:15:30.250000"), 999999999999999,
             "999999999999999"},
            {"2024-01-31 24:00", false, "2024-02-01", date("2024-02-01T00:00:00"), 12345678.9, "12345678.9"},
            {" 2024-01-31 ", false, "2024-01-31", date("2024-01-31T00:00:00"), 0, "0"},
            {"2024-01-31T10:15:00+02:00", false, "2024-01-31 10:15:00", date("2024-01-31T10:15:00"), 0, "0"},
            {"2024-03-31 02:30:00", false, "2024-03-31 02:30:00", date("2024-03-31T02:30:00"), 0, "0"},
            {"2024-1-5 9:05:00", false, "2024-1-5 9:05:00", "2024-1-5 9:05:00", 0, "0"},
            {"2024/01/31", false, "2024-01-31", date("2024-01-31T00:00:00"), 0, "0"},
            {"soon", false, "soon", "soon", 0, "0"},
            {nullptr, true, "", QVariant::fromValue(nullptr), 0, "0"},
        };
        const QString ddl = QStringLiteral("Create Table Dates (Ord integer, D %1, N double precision)");
        auto fill = [&](const QSqlDatabase &db) {
            Sql::exec(db, ddl.arg(pg ? QStringLiteral("date") : QStringLiteral("text")));
            for (int i = 0; i < cases.size(); ++i)
                if (!pg || cases[i].typed)
                    Sql::exec(db, QStringLiteral("Insert Into Dates Values (?, ?, ?)"),
                              {i, cases[i].stored ? QVariant(QString::fromLatin1(cases[i].stored)) : QVariant(),
                               cases[i].number});
        };
        QString source;
        if (pg) {
            fill(repo());
            source = postgresUri(repo());
        } else {
            const QString path = QDir(work).filePath(QStringLiteral("dates.db"));
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fixture"));
                db.setDatabaseName(path);
                db.open();
                fill(db);
                db.close();
            }
            QSqlDatabase::removeDatabase(QStringLiteral("fixture"));
            source = QStringLiteral("sqlite:") + path;
        }
        const int ds = addDataSource(repo(), QStringLiteral("D"), source);
        Report r;
        r.dataSource = ds;
        r.columns = {{"D", 3}, {"N", 2}};
        r.sql = QStringLiteral("Select D As \"D\", N As \"N\" From Dates Order By Ord");
        r.filePath = QDir(work).filePath(QStringLiteral("dates.xlsx"));
        const int workbookId = addReport(repo(), r);
        r.version = QStringLiteral("Text");
        r.filePath = QDir(work).filePath(QStringLiteral("dates.txt"));
        const int textId = addReport(repo(), r);

        const QString repoArg = pg ? postgresUri(repo()) : session.DatabasePath();
        for (int id : {workbookId, textId}) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("TZ"), zone);
            p.setProcessEnvironment(env);
            p.start(tool, {"--repository", repoArg, "--report", QString::number(id)});
            QVERIFY(p.waitForFinished(60000));
            QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        }

        QString expected = QStringLiteral("D\tN\n");
        QVariantList cells;
        for (const Case &c : cases) {
            if (pg && !c.typed)
                continue;
            expected += QString::fromUtf8(c.text) + QLatin1Char('\t') + QString::fromLatin1(c.numberText) + QLatin1Char('\n');
            QCOMPARE(QString::number(c.number, 'g', 15), QString::fromLatin1(c.numberText));
            cells << c.cell;
        }
        QCOMPARE(readText(r.filePath).split(QLatin1Char('\n')), expected.split(QLatin1Char('\n')));
        QString error;
        const QVariantList rows = readWorkbook(QDir(work).filePath(QStringLiteral("dates.xlsx")), &error)["rows"].toList();
        QVERIFY2(!rows.isEmpty(), qPrintable(error));
        QCOMPARE(rows.size(), cells.size() + 1);
        for (int i = 0; i < cells.size(); ++i)
            if (cells[i].isValid()) // Excel has no day before 1900-01-01: 1899-12-31 is its day 0
                QCOMPARE(rows[i + 1].toList()[0], cells[i]);
    }

    // Every day of four centuries, with and without a time, reads as Qt's own ISO reader reads it
    // in UTC; days that do not exist are no dates.
    void dateTextSweep()
    {
        const QStringList times = {QString(), QStringLiteral("T00:00:00"), QStringLiteral(" 23:59:59.999"),
                                   QStringLiteral(" 07:08"), QStringLiteral("T12:00:00.5")};
        for (QDate d(1800, 1, 1); d.year() < 2200; d = d.addDays(1)) {
            for (const QString &time : times) {
                const QString text = d.toString(Qt::ISODate) + time;
                const QDateTime qt = time.isEmpty() ? QDateTime(d, QTime(0, 0), Qt::UTC)
                                                    : QDateTime::fromString(text + u'Z', Qt::ISODate);
                WallDateTime w;
                if (!ParseWallDateTime(text, w) || QDate(w.year, w.month, w.day) != qt.date()
                    || QTime(w.hour, w.minute, w.second, w.msec) != qt.time())
                    QFAIL(qPrintable(text));
            }
        }
        for (const char *text : {"2023-02-29", "1900-02-29", "2100-02-29", "2024-04-31", "2024-13-01", "2024-00-10",
                                 "0000-01-01", "2024-01-00", "20240131", "2024-01", ""}) {
            WallDateTime w;
            QVERIFY2(!ParseWallDateTime(QString::fromLatin1(text), w), text);
        }
    }

    // Answers are bound, never pasted: quotes and injection attempts are just values.
    void boundParameters_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("region");
        QTest::addColumn<QString>("expected");
        for (const char *b : {"sqlite", "postgres"}) {
            QTest::addRow("%s quote", b) << b << "O'Brien" << "Region\nO'Brien\n";
            QTest::addRow("%s injection", b) << b << "x' Or '1'='1" << "Region\n";
            QTest::addRow("%s plain", b) << b << "West" << "Region\nWest\n";
        }
    }
    void boundParameters()
    {
        QFETCH(QString, backend);
        QFETCH(QString, region);
        QFETCH(QString, expected);
        FRESH(backend);
        engine.Init(repo(), 1);
        const int ds = addDataSource(repo(), QStringLiteral("D"), makeSalesData(backend));
        addVariable(repo(), ds, QStringLiteral("Region"), 1, QStringLiteral("Region"));
        Report r;
        r.version = QStringLiteral("Text");
        r.dataSource = ds;
        // A cast, a quoted text with a colon and a comment must not be taken for placeholders.
        r.sql = QStringLiteral("Select Region As \"Region\" From Sales -- :NotAVariable\n"
                               "Where Region = :region And Secret <> ':x' And Cast(Qty As integer) >= 0");
        if (backend == QLatin1String("postgres"))
            r.sql += QStringLiteral(" And Qty::integer >= 0");
        const int id = addReport(repo(), r);
        const QString out = QDir(work).filePath(QStringLiteral("r.txt"));
        FixedParameterValues values({{QStringLiteral("REGION"), region}});
        engine.Run(id, out, values);
        QCOMPARE(readText(out), expected);
        QCOMPARE(Sql::scalar(repo(), "Select Count(*) From ZAT_Report").toInt(), 1); // nothing else touched
    }

    void toPositional_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("two") << "a = :A and b = :b_2" << "a = ? and b = ?" << QStringList{"A", "b_2"};
        QTest::newRow("repeated") << ":x + :x" << "? + ?" << QStringList{"x", "x"};
        QTest::newRow("quoted") << "':a' || \":b\" || 'it''s :c'" << "':a' || \":b\" || 'it''s :c'" << QStringList{};
        QTest::newRow("cast") << "x::int = :v" << "x::int = ?" << QStringList{"v"};
        QTest::newRow("comments") << "/* :a */ x -- :b ?\n= :c" << "  x  \n= ?" << QStringList{"c"};
        QTest::newRow("time") << "'10:30' = t" << "'10:30' = t" << QStringList{};
        QTest::newRow("unicode") << "x = :Țară" << "x = ?" << QStringList{"Țară"};
    }
    void toPositional()
    {
        QFETCH(QString, sql);
        QFETCH(QString, text);
        QFETCH(QStringList, names);
        const PositionalSql p = ToPositional(sql);
        QCOMPARE(p.text, text);
        QCOMPARE(p.names, names);
    }

    // Typed answers: a bad number or date is refused and asked again with the reason.
    void typedVariables()
    {
        FRESH(QStringLiteral("sqlite"));
        engine.Init(repo(), 1);
        const int ds = addDataSource(repo(), QStringLiteral("D"), makeSalesData(QStringLiteral("sqlite")));
        addVariable(repo(), ds, QStringLiteral("MinQty"), 2, QStringLiteral("Minimum quantity"), QStringLiteral("1"), {}, 1);
        addVariable(repo(), ds, QStringLiteral("From"), 3, QStringLiteral("Sold from"), QStringLiteral("2024-01-01"), {}, 2);
        Report r;
        r.version = QStringLiteral("Text");
        r.dataSource = ds;
        r.sql = QStringLiteral("Select Region From Sales Where Qty >= :MinQty And SoldOn >= :From Order By Region");
        const int id = addReport(repo(), r);
        RecordingParameters p;
        p.answers = {"many", "5", "31/31/2024", "2024-03-01"};
        const QString out = QDir(work).filePath(QStringLiteral("t.txt"));
        engine.Run(id, out, p);
        QCOMPARE(p.asks.size(), 4);
        QCOMPARE(p.asks[0].offered, QStringLiteral("1"));
        QVERIFY(p.asks[0].problem.isEmpty());
        QCOMPARE(p.asks[1].offered, QStringLiteral("many"));
        QCOMPARE(p.asks[1].problem, QStringLiteral("The value of 'Minimum quantity' must be a number."));
        QCOMPARE(p.asks[2].offered, QStringLiteral("2024-01-01"));
        QCOMPARE(p.asks[3].problem, QStringLiteral("The value of 'Sold from' must be a date (YYYY-MM-DD)."));
        QCOMPARE(readText(out), QStringLiteral("Region\nWest\n"));

        // Fixed values: a bad value and a missing one are errors naming the variable.
        FixedParameterValues bad({{QStringLiteral("MinQty"), QStringLiteral("x")}});
        try {
            engine.Run(id, out, bad);
            QFAIL("a bad number was accepted");
        } catch (const AppError &e) {
            QVERIFY2(e.description.contains(QStringLiteral("'MinQty'")), qPrintable(e.description));
        }
        Sql::exec(repo(), QStringLiteral("Update ZAT_Var Set DefaultValue = '' Where Name = 'From'"));
        FixedParameterValues none;
        try {
            engine.Run(id, out, none);
            QFAIL("a variable without value was accepted");
        } catch (const AppError &e) {
            QCOMPARE(e.description, QStringLiteral("The variable 'From' has no value and no default value."));
        }
        // Cancelling the question writes nothing.
        QFile::remove(out);
        RecordingParameters cancel;
        cancel.cancelAt = true;
        QCOMPARE(engine.Run(id, out, cancel), QString());
        QVERIFY(!QFileInfo::exists(out));
    }

    // A lookup list, and a cascading one: City depends on Country and is asked after it even
    // though it comes first, with the chosen country bound into its lookup.
    void cascadingLookups()
    {
        FRESH(QStringLiteral("sqlite"));
        engine.Init(repo(), 1);
        const int ds = addDataSource(repo(), QStringLiteral("D"), makeSalesData(QStringLiteral("sqlite")));
        const int city = addVariable(repo(), ds, QStringLiteral("City"), 1, QStringLiteral("City"), {},
                                     QStringLiteral("Select Name From Cities Where Country = :Country Order By Name"), 1);
        const int country = addVariable(repo(), ds, QStringLiteral("Country"), 1, QStringLiteral("Country"),
                                        QStringLiteral("FR"), QStringLiteral("Select Code, Name From Countries Order By Name"), 2);
        addDependency(repo(), city, country);
        Report r;
        r.version = QStringLiteral("Text");
        r.dataSource = ds;
        r.sql = QStringLiteral("Select :Country As \"C\", :City As \"T\"");
        const int id = addReport(repo(), r);
        RecordingParameters p;
        p.answers = {"RO", "Iasi"};
        const QString out = QDir(work).filePath(QStringLiteral("c.txt"));
        engine.Run(id, out, p);
        QCOMPARE(p.asks.size(), 2);
        QCOMPARE(p.asks[0].name, QStringLiteral("Country"));
        QCOMPARE(p.asks[0].offered, QStringLiteral("FR"));
        QCOMPARE(p.asks[0].choices.size(), 2);
        QCOMPARE(p.asks[0].choices[0].value, QStringLiteral("FR"));
        QCOMPARE(p.asks[0].choices[0].text, QStringLiteral("France"));
        QCOMPARE(p.asks[1].name, QStringLiteral("City"));
        QCOMPARE(p.asks[1].choices.size(), 2);
        QCOMPARE(p.asks[1].choices[0].value, QStringLiteral("Cluj"));
        QCOMPARE(p.asks[1].choices[1].text, QStringLiteral("Iasi"));
        QCOMPARE(readText(out), QStringLiteral("C\tT\nRO\tIasi\n"));

        // A lookup that uses a variable it does not depend on says so; a circle is refused.
        Sql::exec(repo(), QStringLiteral("Delete From ZAT_Dependences"));
        try {
            engine.Run(id, out, p);
            QFAIL("lookup ran without its value");
        } catch (const AppError &e) {
            QVERIFY2(e.description.contains(QStringLiteral("make the variable depend on 'Country'")), qPrintable(e.description));
        }
        addDependency(repo(), city, country);
        addDependency(repo(), country, city);
        try {
            engine.Run(id, out, p);
            QFAIL("circular dependency accepted");
        } catch (const AppError &e) {
            QVERIFY2(e.description.contains(QStringLiteral("depend on each other in a circle")), qPrintable(e.description));
        }
    }

    // Connection strings the engine cannot open are refused with a message that names the data
    // source, and nothing is written.
    void refusedConnections_data()
    {
        QTest::addColumn<QString>("connection");
        QTest::addColumn<bool>("isJet");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << "" << false << "its connection string is empty.";
        QTest::newRow("ole db") << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.mdb" << false << "neither";
        QTest::newRow("ole db, file db") << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.mdb" << true << "neither";
        QTest::newRow("other scheme") << "mysql://u@h/db" << true << "neither";
        QTest::newRow("plain path, not a file db") << "/tmp/whatever.db" << false << "neither";
        QTest::newRow("missing file") << "sqlite:/nonexistent/velmora.db" << false << "does not exist";
        QTest::newRow("missing jet file") << "/nonexistent/velmora.mdb" << true << "does not exist";
        QTest::newRow("unreachable server") << "postgresql://nobody@/nodb?host=/nonexistent&port=1" << false << "cannot be opened";
    }
    void refusedConnections()
    {
        QFETCH(QString, connection);
        QFETCH(bool, isJet);
        QFETCH(QString, expected);
        FRESH(QStringLiteral("sqlite"));
        engine.Init(repo(), 1);
        Report r;
        r.dataSource = addDataSource(repo(), QStringLiteral("Legacy DS"), connection, isJet);
        r.sql = QStringLiteral("Select 1");
        const int id = addReport(repo(), r);
        const QString out = QDir(work).filePath(QStringLiteral("x.xlsx"));
        FixedParameterValues defaults;
        try {
            engine.Run(id, out, defaults);
            QFAIL("opened");
        } catch (const AppError &e) {
            QVERIFY2(e.description.startsWith(QStringLiteral("The data source 'Legacy DS' cannot be opened: ")),
                     qPrintable(e.description));
            QVERIFY2(e.description.contains(expected), qPrintable(e.description));
        }
        QVERIFY(filesIn(work).isEmpty());
        QVERIFY(!QFileInfo::exists(QStringLiteral("/nonexistent/velmora.db")));
    }

    // A failing query or an unwritable destination: a clear message, the old file untouched and
    // no partial file left beside it.
    void failuresLeaveNoFile_data() { TestDb::addBackends(); }
    void failuresLeaveNoFile()
    {
        QFETCH(QString, backend);
        FRESH(backend);
        engine.Init(repo(), 1);
        const int ds = addDataSource(repo(), QStringLiteral("D"), makeSalesData(backend));
        Report r;
        r.dataSource = ds;
        r.sql = QStringLiteral("Select NoSuchColumn From Sales");
        const int bad = addReport(repo(), r);
        const QString out = QDir(work).filePath(QStringLiteral("old.xlsx"));
        {
            QFile f(out);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("previous");
        }
        FixedParameterValues defaults;
        try {
            engine.Run(bad, out, defaults);
            QFAIL("bad query accepted");
        } catch (const AppError &e) {
            QVERIFY2(e.description.startsWith(QStringLiteral("The SQL view of the report 'Sales' failed on the data source 'D': ")),
                     qPrintable(e.description));
        }
        QCOMPARE(readText(out), QStringLiteral("previous"));

        // Fails while rows are read (a text that is not a number in a number column on SQLite
        // is still written; a division by zero on PostgreSQL aborts mid-stream).
        if (backend == QLatin1String("postgres")) {
            r.sql = QStringLiteral("Select 10 / (Qty - 5) As q From Sales Order By Qty");
            const int midway = addReport(repo(), r);
            QVERIFY_THROWS_EXCEPTION(AppError, engine.Run(midway, out, defaults));
            QCOMPARE(readText(out), QStringLiteral("previous"));
        }

        r.sql = QStringLiteral("Select Region From Sales");
        const int good = addReport(repo(), r);
        const QString blocker = QDir(work).filePath(QStringLiteral("a-file"));
        {
            QFile f(blocker);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        try {
            engine.Run(good, blocker + QStringLiteral("/sub/out.xlsx"), defaults);
            QFAIL("wrote under a file");
        } catch (const AppError &e) {
            QVERIFY2(e.description.contains(QStringLiteral("cannot be created")), qPrintable(e.description));
        }
        try {
            engine.Run(good, work, defaults);
            QFAIL("wrote over a folder");
        } catch (const AppError &e) {
            QVERIFY2(e.description.contains(QStringLiteral("is a folder")), qPrintable(e.description));
        }
        QCOMPARE(filesIn(work), (QStringList{"a-file", "old.xlsx", "sales.db"}).filter(QRegularExpression(
                                    backend == QLatin1String("sqlite") ? "." : "^(a-file|old.xlsx)$")));
    }

    // Relative destinations go under the company's file server, else the documents folder; a
    // workbook always gets .xlsx; a destination chosen at run time is asked.
    void destinations()
    {
        FRESH(QStringLiteral("sqlite"));
        const int company = Sql::scalar(repo(), "Select Min(IdAuthor) From ZAT_Company").toInt();
        engine.Init(repo(), company);
        const int ds = addDataSource(repo(), QStringLiteral("D"), makeSalesData(QStringLiteral("sqlite")));
        Report r;
        r.dataSource = ds;
        r.sql = QStringLiteral("Select Region From Sales Order By Region");
        r.filePath = QStringLiteral("monthly/sales.xls");
        const int id = addReport(repo(), r);
        const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        QCOMPARE(engine.DestinationPath(id), QDir::cleanPath(docs + QStringLiteral("/monthly/sales.xlsx")));
        session.SetFileServer(company, 3, "", "", work);
        QCOMPARE(engine.DestinationPath(id), QDir::cleanPath(work + QStringLiteral("/monthly/sales.xlsx")));

        RecordingParameters p;
        engine.setParameterPrompter(&p);
        QVERIFY(engine.Generate(id, false, false, true, 0));
        QVERIFY(QFileInfo::exists(work + QStringLiteral("/monthly/sales.xlsx")));
        QVERIFY(p.opened.isEmpty());

        r.filePath.clear();
        r.name = QStringLiteral("Ask: me");
        r.version = QStringLiteral("Text");
        r.destinationAtRuntime = true;
        const int asked = addReport(repo(), r);
        QCOMPARE(engine.DestinationPath(asked), QDir::cleanPath(work + QStringLiteral("/Ask_ me.txt")));
        QVERIFY(!engine.Generate(asked, true, false, true, 0)); // cancelled
        QCOMPARE(p.fileAsks, QStringList{QDir::cleanPath(work + QStringLiteral("/Ask_ me.txt"))});
        p.fileAnswer = QDir(work).filePath(QStringLiteral("chosen.txt"));
        QVERIFY(engine.Generate(asked, true, false, true, 0));
        QCOMPARE(p.opened, QStringList{p.fileAnswer});
        QCOMPARE(readText(p.fileAnswer), QStringLiteral("Region\nEast\nNorth\nO'Brien\nSouth\nWest\n"));
    }

    // New report: a fresh file in the temporary folder, opened, destination untouched. Existing
    // workbook: opened as it is when present, generated first when not.
    void entries()
    {
        FRESH(QStringLiteral("sqlite"));
        engine.Init(repo(), 0);
        const int ds = addDataSource(repo(), QStringLiteral("D"), makeSalesData(QStringLiteral("sqlite")));
        Report r;
        r.dataSource = ds;
        r.sql = QStringLiteral("Select Region From Sales");
        r.filePath = QDir(work).filePath(QStringLiteral("dest.xlsx"));
        const int id = addReport(repo(), r);
        RecordingParameters p;
        engine.setParameterPrompter(&p);

        const QString fresh = engine.OpenReport(id, true);
        QVERIFY(fresh.startsWith(QDir::tempPath()));
        QVERIFY(fresh.endsWith(QStringLiteral(".xlsx")));
        QCOMPARE(p.opened, QStringList{fresh});
        QVERIFY(!QFileInfo::exists(r.filePath));
        const QString second = engine.OpenReport(id, false);
        QVERIFY(second != fresh);
        QCOMPARE(p.opened.size(), 1);
        QFile::remove(fresh);
        QFile::remove(second);

        engine.OpenInExisting(id); // none yet: generated, then opened
        QCOMPARE(p.opened.last(), r.filePath);
        QVERIFY(QFileInfo::exists(r.filePath));
        QFile::remove(r.filePath);
        {
            QFile f(r.filePath);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("kept");
        }
        engine.OpenInExisting(id);
        QCOMPARE(p.opened.size(), 3);
        QCOMPARE(readText(r.filePath), QStringLiteral("kept"));

        QVERIFY(engine.Generate(id, true, true, true, 0));
        QCOMPARE(readWorkbook(r.filePath)["rows"].toList().size(), 6);
        QVERIFY(engine.Generate(id, false, false, false, 0)); // not saved: a scratch file
        QVERIFY(engine.lastOutputPath().startsWith(QDir::tempPath()));
        QFile::remove(engine.lastOutputPath());
    }

    void importDocument_data() { TestDb::addBackends(); }
    void importDocument()
    {
        QFETCH(QString, backend);
        FRESH(backend);
        engine.Init(repo(), 1);
        const QString doc = QDir(work).filePath(QStringLiteral("Budget 'draft' 2024.xlsx"));
        {
            QFile f(doc);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QCOMPARE(engine.ImportDocument(1, 0, 0, QString(), repo()), 0);
        const int first = engine.ImportDocument(1, 0, 0, doc, repo());
        const int second = engine.ImportDocument(1, 0, 0, doc, repo());
        QVERIFY(first > 0 && second > first);
        const ReportItem item = session.GetReport(first);
        QCOMPARE(item.Name, QStringLiteral("Budget 'draft' 2024"));
        QCOMPARE(item.Version, QStringLiteral("Exchange"));
        QCOMPARE(item.FilePath, doc);
        QCOMPARE(item.IdExtension, 10);
        QCOMPARE(item.IdCateg, 1);
        QVERIFY(qAbs(item.Modified.secsTo(QDateTime::currentDateTime())) < 60);
        const ReportRows rows = session.GetReportRows(1);
        QCOMPARE(rows.size(), 2);
        QVERIFY_THROWS_EXCEPTION(AppError, engine.ImportDocument(1, 0, 0, doc + QStringLiteral(".missing"), repo()));
        QVERIFY_THROWS_EXCEPTION(AppError, engine.ImportDocument(2, 0, 0, doc, repo()));
        QVERIFY_THROWS_EXCEPTION(AppError, engine.ImportDocument(999, 0, 0, doc, repo()));
        QCOMPARE(Sql::scalar(repo(), "Select Count(*) From ZAT_Report").toInt(), 2);
    }


    // ---- console: options window
    void optionsWindow()
    {
        QMainWindow main;
        QAction *ex = main.menuBar()->addAction(QStringLiteral("Create report in existing workbook"));
        ex->setObjectName(QStringLiteral("mnuOpExRep"));
        ex->setCheckable(true);
        QAction *nw = main.menuBar()->addAction(QStringLiteral("Create new report"));
        nw->setObjectName(QStringLiteral("mnuOpNewRep"));
        nw->setCheckable(true);
        RepositorySession &s = TestDb::freshAppSession(QStringLiteral("sqlite"));
        App::CurrentCompanyId = Sql::scalar(s.Connection(), "Select Min(IdAuthor) From ZAT_Company").toInt();
        s.SetFileServer(App::CurrentCompanyId, 3, "", "", QStringLiteral("/srv/old"));
        SetOpenMode(&main, true);
        SaveSetting("DB", "ExistingReport", "1");

        // Cancel saves nothing.
        {
            frmOptions w(&main);
            w.optExistingReport->setChecked(true);
            w.txtFileDir->setText(QStringLiteral("/srv/x"));
            w.findChild<QPushButton *>(QStringLiteral("cmdCancel"))->click();
            QCOMPARE(GetSetting("DB", "ExistingReport"), QStringLiteral("1"));
            QCOMPARE(s.GetFileServer(App::CurrentCompanyId), QStringLiteral("/srv/old"));
        }
        // It opens on what is in force: OK untouched changes nothing.
        {
            frmOptions w(&main);
            QCOMPARE(w.windowTitle(), QStringLiteral("Options"));
            QCOMPARE(w.Label1->text(), QStringLiteral("On DblClick() report open :"));
            QCOMPARE(w.optExistingReport->text(), QStringLiteral("Existing report"));
            QCOMPARE(w.optNewREport->text(), QStringLiteral("New report"));
            QCOMPARE(w.Label2->text(), QStringLiteral("File server"));
            QCOMPARE(w.cmdOK->text(), QStringLiteral("&OK"));
            QCOMPARE(w.cmdCancel->text(), QStringLiteral("&Cancel"));
            QVERIFY(w.optExistingReport->isChecked());
            QCOMPARE(w.txtFileDir->text(), QStringLiteral("/srv/old"));
            w.show();
            w.findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
            QCOMPARE(w.result(), int(QDialog::Accepted));
            QCOMPARE(GetSetting("DB", "ExistingReport"), QStringLiteral("1"));
            QVERIFY(ex->isChecked());
            QCOMPARE(s.GetFileServer(App::CurrentCompanyId), QStringLiteral("/srv/old"));
        }
        // New report and no file server.
        {
            frmOptions w(&main);
            w.optNewREport->setChecked(true);
            w.txtFileDir->clear();
            w.show();
            w.findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
            QCOMPARE(w.result(), int(QDialog::Accepted));
            QCOMPARE(GetSetting("DB", "ExistingReport"), QStringLiteral("0"));
            QVERIFY(nw->isChecked());
            QVERIFY(!ex->isChecked());
            QVERIFY(!App::OpenInExistingWorkbook);
            QCOMPARE(s.GetFileServer(App::CurrentCompanyId), QString());
        }
        // Existing report with a file server.
        {
            frmOptions w(&main);
            w.optExistingReport->setChecked(true);
            w.txtFileDir->setText(QStringLiteral("/srv/reports ĂȘ"));
            w.cmdOK->click();
            QCOMPARE(GetSetting("DB", "ExistingReport"), QStringLiteral("1"));
            QVERIFY(ex->isChecked());
            QVERIFY(!nw->isChecked());
            QVERIFY(App::OpenInExistingWorkbook);
            QCOMPARE(s.GetFileServer(App::CurrentCompanyId), QStringLiteral("/srv/reports ĂȘ"));
        }
        // A failure is reported with the origin and the window stays open.
        {
            ScriptedPrompter p;
            frmOptions w(&main);
            w.show();
            s.ResetConnection();
            s.setDatabasePath(QStringLiteral("/nonexistent/velmora.mdb"));
            w.cmdOK->click();
            QCOMPARE(p.calls.size(), 1);
            QVERIFY(p.last().text.endsWith(QStringLiteral("Origin : cmdOK_Click()")));
            QVERIFY(w.isVisible());
            QVERIFY(w.result() != int(QDialog::Accepted));
        }
        // A file server that cannot be read is not shown as empty, where OK would erase it: the
        // window does not open, and the failure is swallowed.
        {
            ScriptedPrompter p;
            ShowOptions(&main);
            QCOMPARE(p.calls.size(), 0);
        }
        // Shown modally from the menu.
        TestDb::freshAppSession(QStringLiteral("sqlite"));
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto *w = qobject_cast<frmOptions *>(QApplication::activeModalWidget());
            seen = w != nullptr;
            if (w)
                w->cmdCancel->click();
        });
        ShowOptions(&main);
        QTRY_VERIFY(seen);
        App::CurrentCompanyId = 0;
    }

    void storedOpenMode_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("existing");
        QTest::newRow("missing") << QString() << false;
        QTest::newRow("0") << "0" << false;
        QTest::newRow("1") << "1" << true;
        QTest::newRow("2") << "2" << false;
        QTest::newRow("text") << "yes" << false;
    }
    void storedOpenMode()
    {
        QFETCH(QString, stored);
        QFETCH(bool, existing);
        QSettings(QStringLiteral("Velmora"), QStringLiteral("Velmora")).remove(QStringLiteral("DB/ExistingReport"));
        if (!stored.isNull())
            SaveSetting("DB", "ExistingReport", stored);
        QMainWindow main;
        QAction *ex = main.menuBar()->addAction(QStringLiteral("x"));
        ex->setObjectName(QStringLiteral("mnuOpExRep"));
        QAction *nw = main.menuBar()->addAction(QStringLiteral("n"));
        nw->setObjectName(QStringLiteral("mnuOpNewRep"));
        App::OpenInExistingWorkbook = !existing;
        ApplyStoredOpenMode(&main);
        QCOMPARE(App::OpenInExistingWorkbook, existing);
        QCOMPARE(ex->isChecked(), existing);
        QCOMPARE(nw->isChecked(), !existing);
    }

    // ---- console: the workbook entries
    void workbookCommands()
    {
        RepositorySession &s = TestDb::freshAppSession(QStringLiteral("sqlite"));
        App::CurrentCompanyId = 0;
        QSqlDatabase db = s.Connection();
        const int ds = addDataSource(db, QStringLiteral("D"), makeSalesData(QStringLiteral("sqlite")));
        Report r;
        r.dataSource = ds;
        r.sql = QStringLiteral("Select Region From Sales");
        r.filePath = QDir(work).filePath(QStringLiteral("dest.xlsx"));
        const int id = addReport(db, r);
        QStringList opened;
        ConsoleReportPrompter::setDocumentOpener([&](const QString &path) { opened << path; });
        ScriptedPrompter p;

        QMainWindow main;
        QAction *ex = main.menuBar()->addAction(QStringLiteral("x"));
        ex->setObjectName(QStringLiteral("mnuOpExRep"));
        QAction *nw = main.menuBar()->addAction(QStringLiteral("n"));
        nw->setObjectName(QStringLiteral("mnuOpNewRep"));
        SetOpenMode(&main, false);

        // Neither mode checked: nothing at all.
        ex->setChecked(false);
        nw->setChecked(false);
        WorkbookCommands::OpenReportByMode(&main, id);
        QVERIFY(opened.isEmpty());
        QVERIFY(!QFileInfo::exists(r.filePath));
        // New report: a fresh file, the destination untouched.
        nw->setChecked(true);
        WorkbookCommands::OpenReportByMode(&main, id);
        QCOMPARE(opened.size(), 1);
        QVERIFY(opened[0].startsWith(QDir::tempPath()));
        QVERIFY(!QFileInfo::exists(r.filePath));
        QFile::remove(opened[0]);
        // Existing workbook: the destination written and opened.
        nw->setChecked(false);
        ex->setChecked(true);
        WorkbookCommands::OpenReportByMode(&main, id);
        QCOMPARE(opened.last(), r.filePath);
        QVERIFY(QFileInfo::exists(r.filePath));
        QFile::remove(r.filePath);

        // Enter: new-report mode writes the destination and opens it.
        App::OpenInExistingWorkbook = false;
        WorkbookCommands::OpenReportOnEnter(id);
        QCOMPARE(opened.size(), 3);
        QCOMPARE(opened.last(), r.filePath);
        // Enter in existing mode opens what is there without rewriting it.
        {
            QFile f(r.filePath);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("user's edits");
        }
        App::OpenInExistingWorkbook = true;
        WorkbookCommands::OpenReportOnEnter(id);
        QCOMPARE(opened.size(), 4);
        QCOMPARE(readText(r.filePath), QStringLiteral("user's edits"));
        App::OpenInExistingWorkbook = false;
        QVERIFY(p.calls.isEmpty());

        // Process: written, not opened, and said so.
        WorkbookCommands::ProcessReport(id);
        QCOMPARE(opened.size(), 4);
        QCOMPARE(p.calls.size(), 1);
        QCOMPARE(p.last().text, QStringLiteral("The report was succesfully processed!"));
        QCOMPARE(p.last().title, QStringLiteral("Information"));
        QCOMPARE(p.last().icon, Prompter::Icon::Information);
        QCOMPARE(readWorkbook(r.filePath)["rows"].toList().size(), 6);

        // A failure: the error box with the entry's origin, no success message.
        Sql::exec(db, QStringLiteral("Update ZAT_DataSource Set DataSourceString = 'odbc:x' Where IdDataSource = %1").arg(ds));
        p.clear();
        WorkbookCommands::ProcessReport(id);
        QCOMPARE(p.calls.size(), 1);
        QCOMPARE(p.last().icon, Prompter::Icon::Critical);
        QVERIFY(p.last().text.endsWith(QStringLiteral("Origin : modMain.mnuProcessRep_Click()")));
        p.clear();
        WorkbookCommands::CreateNewReport(id);
        QVERIFY(p.last().text.endsWith(QStringLiteral("Origin : modMain.mnuOpNewRep_Click()")));
        WorkbookCommands::CreateReportInExistingWorkbook(id);
        QVERIFY(p.last().text.endsWith(QStringLiteral("Origin : modMain.mnuOpExRep_Click()")));
        WorkbookCommands::OpenReportOnEnter(id);
        QVERIFY(p.last().text.endsWith(QStringLiteral("Origin : modMain.lstRep_KeyDown()")));
        WorkbookCommands::OpenReportByMode(&main, id);
        QVERIFY(p.last().text.endsWith(QStringLiteral("Origin : modMain.lstRep_DblClick()")));
        ConsoleReportPrompter::setDocumentOpener(nullptr);
    }

    // The parameter dialog: caption, default, lookup list; cancel produces nothing.
    void parameterDialog()
    {
        RepositorySession &s = TestDb::freshAppSession(QStringLiteral("sqlite"));
        QSqlDatabase db = s.Connection();
        const int ds = addDataSource(db, QStringLiteral("D"), makeSalesData(QStringLiteral("sqlite")));
        addVariable(db, ds, QStringLiteral("Country"), 1, QStringLiteral("Country"), QStringLiteral("FR"),
                    QStringLiteral("Select Code, Name From Countries Order By Name"), 1);
        addVariable(db, ds, QStringLiteral("MinQty"), 2, QStringLiteral("Minimum quantity"), QStringLiteral("2"), {}, 2);
        Report r;
        r.version = QStringLiteral("Text");
        r.dataSource = ds;
        r.sql = QStringLiteral("Select :Country As \"C\", Count(*) As \"N\" From Sales Where Qty >= :MinQty");
        r.filePath = QDir(work).filePath(QStringLiteral("p.txt"));
        const int id = addReport(db, r);
        ScriptedPrompter p;

        QStringList captions;
        int step = 0;
        std::function<void()> answer = [&] {
            auto *w = qobject_cast<frmReportParameter *>(QApplication::activeModalWidget());
            if (!w) {
                QTimer::singleShot(0, answer);
                return;
            }
            captions << w->lblCaption->text();
            if (step == 0) {
                QVERIFY(w->cmbValue->isVisible());
                QVERIFY(!w->txtValue->isVisible());
                QCOMPARE(w->cmbValue->count(), 2);
                QCOMPARE(w->cmbValue->currentText(), QStringLiteral("France"));
                w->cmbValue->setCurrentIndex(1); // Romania
            } else if (step == 1) {
                QVERIFY(w->txtValue->isVisible());
                QCOMPARE(w->txtValue->text(), QStringLiteral("2"));
                w->txtValue->setText(QStringLiteral("lots"));
            } else {
                QCOMPARE(w->lblProblem->text(), QStringLiteral("The value of 'Minimum quantity' must be a number."));
                w->txtValue->setText(QStringLiteral("5"));
            }
            ++step;
            w->cmdOK->click();
            if (step < 3)
                QTimer::singleShot(0, answer);
        };
        QTimer::singleShot(0, answer);
        WorkbookCommands::ProcessReport(id);
        QTRY_COMPARE(step, 3);
        QCOMPARE(captions, (QStringList{"Country :", "Minimum quantity (number) :", "Minimum quantity (number) :"}));
        QCOMPARE(readText(r.filePath), QStringLiteral("C\tN\nRO\t2\n"));
        QCOMPARE(p.messages(), QStringList{QStringLiteral("The report was succesfully processed!")});

        QFile::remove(r.filePath);
        p.clear();
        bool cancelled = false;
        QTimer::singleShot(0, [&] {
            auto *w = qobject_cast<frmReportParameter *>(QApplication::activeModalWidget());
            if (w) {
                w->cmdCancel->click();
                cancelled = true;
            }
        });
        WorkbookCommands::ProcessReport(id);
        QTRY_VERIFY(cancelled);
        QVERIFY(p.calls.isEmpty());
        QVERIFY(!QFileInfo::exists(r.filePath));
    }

    void importDocumentCommand()
    {
        RepositorySession &s = TestDb::freshAppSession(QStringLiteral("sqlite"));
        QTreeWidget lstRep;
        lstRep.setColumnCount(5);
        auto *old = new QTreeWidgetItem(&lstRep, QStringList{QStringLiteral("Old")});
        old->setSelected(true);
        ScriptedPrompter p;

        QCOMPARE(WorkbookCommands::ImportDocument(&lstRep, 0), 0);
        QCOMPARE(p.calls.size(), 1);
        QCOMPARE(p.last().text, QStringLiteral("Select parent folder!"));
        QCOMPARE(p.last().title, QStringLiteral("Velmora"));
        QCOMPARE(p.last().icon, Prompter::Icon::Exclamation);

        p.clear();
        QCOMPARE(WorkbookCommands::ImportDocument(&lstRep, 1), 0); // cancelled dialog
        QCOMPARE(p.calls.size(), 1);
        QCOMPARE(p.last().kind, QStringLiteral("open"));
        QCOMPARE(lstRep.topLevelItemCount(), 1);
        QCOMPARE(Sql::scalar(s.Connection(), "Select Count(*) From ZAT_Report").toInt(), 0);

        const QString doc = QDir(work).filePath(QStringLiteral("notes.txt"));
        {
            QFile f(doc);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        p.files.enqueue(doc);
        const int id = WorkbookCommands::ImportDocument(&lstRep, 1);
        QVERIFY(id > 0);
        QCOMPARE(lstRep.topLevelItemCount(), 2);
        QTreeWidgetItem *row = lstRep.topLevelItem(1);
        QCOMPARE(ItemData::key(row), QStringLiteral("r%1").arg(id));
        QCOMPARE(row->text(0), QStringLiteral("notes"));
        QCOMPARE(row->text(2), QStringLiteral("Exchange"));
        QVERIFY(!row->text(3).isEmpty());
        QVERIFY(row->isSelected());
        QVERIFY(!old->isSelected());
        QCOMPARE(lstRep.currentItem(), row);
        QCOMPARE(s.GetReport(id).IdExtension, 5);
    }

    void userReports()
    {
        RepositorySession &s = TestDb::freshAppSession(QStringLiteral("sqlite"));
        QSqlDatabase db = s.Connection();
        const int me = s.CurrentUserId();
        const int app = Sql::insert(db, "ZAT_App", "IdApp", {{"AppName", "Sales app"}});
        const int other = Sql::insert(db, "ZAT_UserApp", "IdUserApp",
                                      {{"IdApp", app}, {Sql::userColumn(), "ana"}, {"UserFName", "Ana"}, {"UserLName", "Pop"}});
        const int roleA = Sql::insert(db, "ZAT_Role", "IdRole", {{"Role", "Accounting"}});
        const int roleB = Sql::insert(db, "ZAT_Role", "IdRole", {{"Role", "Board"}});
        Report r;
        r.sql = QStringLiteral("Select 1");
        r.name = QStringLiteral("zeta");
        const int zeta = addReport(db, r);
        r.name = QStringLiteral("Alpha");
        const int alpha = addReport(db, r);
        r.name = QStringLiteral("Deleted one");
        const int gone = addReport(db, r);
        Sql::exec(db, QStringLiteral("Update ZAT_Report Set IsDeleted = 1 Where IdReport = %1").arg(gone));
        for (auto [role, report] : {std::pair{roleA, zeta}, {roleA, alpha}, {roleB, alpha}, {roleB, gone}})
            Sql::insert(db, "ZAT_Role_Report", "IdLeg", {{"IdRole", role}, {"IdReport", report}});
        Sql::insert(db, "ZAT_UserApp_Role", "IdLeg", {{"IdUserApp", me}, {"IdRole", roleA}});
        Sql::insert(db, "ZAT_UserApp_Role", "IdLeg", {{"IdUserApp", me}, {"IdRole", roleB}});
        Sql::insert(db, "ZAT_UserApp_Role", "IdLeg", {{"IdUserApp", other}, {"IdRole", roleB}});

        UserReportsDialog w(0, 0, me);
        QCOMPARE(w.cmbUser->count(), 2);
        QCOMPARE(w.cmbUser->currentData(ItemData::TagRole).toInt(), me);
        QCOMPARE(w.lstReports->topLevelItemCount(), 2);
        QCOMPARE(w.lstReports->topLevelItem(0)->text(0), QStringLiteral("Alpha"));
        QCOMPARE(w.lstReports->topLevelItem(0)->text(3), QStringLiteral("Accounting, Board"));
        QCOMPARE(w.lstReports->topLevelItem(1)->text(0), QStringLiteral("zeta"));
        const int at = ItemData::findComboKey(w.cmbUser, QStringLiteral("k%1").arg(other));
        QVERIFY(w.cmbUser->itemText(at).startsWith(QStringLiteral("ana - Ana Pop (Sales app)")));
        w.cmbUser->setCurrentIndex(at);
        QCOMPARE(w.lstReports->topLevelItemCount(), 1);
        QCOMPARE(ItemData::key(w.lstReports->topLevelItem(0)), QStringLiteral("r%1").arg(alpha));
    }


    // ---- the command-line tool
    void commandLine_data() { TestDb::addBackends(); }
    void commandLine()
    {
        QFETCH(QString, backend);
        const QString tool = qEnvironmentVariable("VELMORA_TEST_BINARY_DIR") + QStringLiteral("/apps/velmora-report");
        if (!QFileInfo::exists(tool))
            QFAIL("velmora-report is not built");
        FRESH(backend);
        const QString repoArg = backend == QLatin1String("sqlite") ? session.DatabasePath() : postgresUri(repo());
        const int ds = addDataSource(repo(), QStringLiteral("D"), makeSalesData(backend));
        addVariable(repo(), ds, QStringLiteral("Region"), 1, QStringLiteral("Region"));
        addVariable(repo(), ds, QStringLiteral("MinQty"), 2, QStringLiteral("Minimum"), QStringLiteral("0"));
        Report r;
        r.version = QStringLiteral("Text");
        r.dataSource = ds;
        r.filePath = QDir(work).filePath(QStringLiteral("dest.txt"));
        r.sql = QStringLiteral("Select Region As \"Region\", Qty As \"Qty\" From Sales Where Region = :Region And Qty >= :MinQty");
        const int id = addReport(repo(), r);
        auto run = [&](const QStringList &args, QString *out, QString *err) {
            QProcess p;
            p.start(tool, args);
            p.waitForFinished(60000);
            *out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
            *err = QString::fromUtf8(p.readAllStandardError()).trimmed();
            return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        };
        QString out, err;
        const QStringList base = {"--repository", repoArg, "--report", QString::number(id)};
        QCOMPARE(run(base + QStringList{"--set", "Region=O'Brien"}, &out, &err), 0);
        QCOMPARE(out, r.filePath);
        QCOMPARE(readText(r.filePath), QStringLiteral("Region\tQty\nO'Brien\t2\n"));
        const QString other = QDir(work).filePath(QStringLiteral("other.txt"));
        QCOMPARE(run(base + QStringList{"--set", "region=West", "--set", "MinQty=7", "--output", other}, &out, &err), 0);
        QCOMPARE(out, other);
        QCOMPARE(readText(other), QStringLiteral("Region\tQty\nWest\t7\n"));

        QCOMPARE(run(base, &out, &err), 1);
        QCOMPARE(err, QStringLiteral("The variable 'Region' has no value and no default value."));
        QVERIFY(out.isEmpty());
        QCOMPARE(run(base + QStringList{"--set", "Region=x", "--set", "MinQty=many"}, &out, &err), 1);
        QVERIFY2(err.contains(QStringLiteral("must be a number")), qPrintable(err));
        QCOMPARE(run(base + QStringList{"--set", "Nope=1"}, &out, &err), 1);
        QCOMPARE(err, QStringLiteral("The data source of the report has no variable 'Nope'."));
        QCOMPARE(run({"--repository", repoArg, "--report", "999"}, &out, &err), 1);
        QCOMPARE(err, QStringLiteral("The report 999 does not exist."));
        QCOMPARE(run({"--repository", repoArg, "--report", "abc"}, &out, &err), 2);
        QVERIFY(err.contains(QStringLiteral("Usage: velmora-report")));
        QCOMPARE(run({"--report", "1"}, &out, &err), 2);
        QCOMPARE(run(base + QStringList{"--bogus", "1"}, &out, &err), 2);
        QCOMPARE(run(base + QStringList{"--set", "novalue"}, &out, &err), 2);
    }

    void notInitialised()
    {
        ReportEngine fresh;
        QVERIFY_THROWS_EXCEPTION(AppError, fresh.Generate(1, false, false, true, 0));
    }
};

QTEST_MAIN(TestReportEngine)
#include "test_reportengine.moc"
