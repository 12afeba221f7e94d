#include "ExportFixture.h"
#include "TestDb.h"

#include "repository/PackageFile.h"
#include "repository/Schema.h"
#include "repository/Sql.h"
#include "transfer/TransferProgress.h"
#include "transfer/export/ExportRun.h"
#include "transfer/export/ExportTree.h"
#include "transfer/export/SyncCode.h"
#include "transfer/export/ui/frmExport.h"
#include "transfer/export/ui/frmExportDSN.h"
#include "transfer/export/ui/frmExportMacros.h"
#include "ScriptedPrompter.h"
#include "shell/ItemData.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

#include <QDir>
#include <QRegularExpression>
#include <QtTest>

using ExportFixture::add;
using ExportFixture::count;

namespace {

struct Recorder : TransferProgress {
    QStringList texts;
    QList<QPair<int, int>> values;
    int yields = 0;
    void status(const QString &t) override { texts << t; }
    void progress(int v, int m) override { values << qMakePair(v, m); }
    void yield() override { ++yields; }
};

// A package opened the way the import opens one: read-only, checked, with the package password.
struct Package {
    QString name;
    QSqlDatabase db;
    explicit Package(const QString &path)
    {
        static int n = 0;
        name = QStringLiteral("test-package-%1").arg(++n);
        db = PackageFile::openForReading(path, QStringLiteral("quindale"), name);
    }
    ~Package()
    {
        db = QSqlDatabase();
        PackageFile::close(name);
    }
    int count(const QString &sql) const { return ExportFixture::count(db, sql); }
    QVariant value(const QString &sql) const { return Sql::scalar(db, sql); }
    QList<int> ids(const QString &sql) const
    {
        QList<int> out;
        QSqlQuery q = Sql::exec(db, sql);
        while (q.next())
            out << q.value(0).toInt();
        return out;
    }
};

QString packagePath()
{
    static int n = 0;
    return QDir(TestDb::tempDir()).filePath(QStringLiteral("package%1.mdb").arg(++n));
}

QString codeOf(const QSqlDatabase &db, int report)
{
    return Sql::scalar(db, QStringLiteral("Select SyncronizeCode From ZAT_Report Where IdReport = %1").arg(report)).toString();
}

bool isCode(const QString &code) { return QRegularExpression(QStringLiteral("^[0-9]{50}$")).match(code).hasMatch(); }

} // namespace

class TestExport : public QObject {
    Q_OBJECT

    RepositorySession session;

    ExportFixture::Sample fresh(const QString &backend)
    {
        TestDb::freshRepository(session, backend);
        return ExportFixture::build(session.Connection());
    }

    ExportOptions options(const QList<int> &reports)
    {
        ExportOptions o;
        o.packagePath = packagePath();
        o.reportIds = reports;
        return o;
    }

private Q_SLOTS:
    void fullExport_data() { TestDb::addBackends(); }
    void fullExport()
    {
        QFETCH(QString, backend);
        const auto s = fresh(backend);
        QSqlDatabase repo = session.Connection();
        ExportOptions o = options({s.alpha, s.beta, s.gamma});
        ExportRun run(session, o);
        run.run();

        Package p(o.packagePath);
        QCOMPARE(p.ids("Select IdReport From ZAT_Report Order By IdReport"), (QList<int>{s.alpha, s.beta, s.gamma}));
        QSqlQuery r = Sql::exec(p.db, QStringLiteral("Select * From ZAT_Report Where IdReport = %1").arg(s.alpha));
        QVERIFY(r.next());
        QCOMPARE(Sql::text(r, "Name"), QStringLiteral("Alpha"));
        QCOMPARE(Sql::text(r, "FilePath"), QStringLiteral("/out/Alpha.xlsx"));
        QCOMPARE(Sql::text(r, "Version"), QStringLiteral("Excel"));
        QCOMPARE(Sql::dateTime(r, "Modified"), QDateTime(QDate(2024, 3, 5), QTime(10, 0)));
        QCOMPARE(Sql::text(r, "Description"), QStringLiteral("about Alpha"));
        QCOMPARE(Sql::integer(r, "IdCateg"), s.catB);
        QCOMPARE(Sql::text(r, "Macro"), QStringLiteral("m"));
        QCOMPARE(Sql::integer(r, "ShowDeleted"), 1);
        QCOMPARE(Sql::integer(r, "DelExSheet"), 1);
        // New codes are written to both sides; an existing one is kept.
        const QString alphaCode = Sql::text(r, "SyncronizeCode");
        QVERIFY(isCode(alphaCode));
        QCOMPARE(codeOf(repo, s.alpha), alphaCode);
        QCOMPARE(codeOf(p.db, s.beta), s.betaCode);
        QCOMPARE(codeOf(repo, s.beta), s.betaCode);
        QVERIFY(isCode(codeOf(repo, s.gamma)));
        QCOMPARE(codeOf(p.db, s.gamma), codeOf(repo, s.gamma));
        QVERIFY(codeOf(repo, s.gamma) != alphaCode);
        QVERIFY(codeOf(repo, s.hidden).isEmpty());

        // The folder chain once, with its sort rows; the root was there already.
        QCOMPARE(p.ids("Select IdCateg From ZAT_Category Order By IdCateg"), (QList<int>{1, s.catA, s.catB}));
        QCOMPARE(p.value(QStringLiteral("Select Name From ZAT_Category Where IdCateg = %1").arg(s.catB)).toString(),
                 QStringLiteral("Monthly 'quoted' %"));
        QCOMPARE(p.value(QStringLiteral("Select IdParent From ZAT_Category Where IdCateg = %1").arg(s.catB)).toInt(), s.catA);
        QCOMPARE(p.ids("Select IdItem From ZAT_Sort Where ItemType = 'c' Order By IdItem"), (QList<int>{1, s.catA, s.catB}));
        QCOMPARE(p.ids("Select IdItem From ZAT_Sort Where ItemType = 'e' Order By IdItem"),
                 (QList<int>{s.alpha, s.beta, s.gamma}));
        QCOMPARE(p.ids("Select IdSort From ZAT_Sort Order By IdSort"),
                 [&] {
                     QList<int> ids;
                     QSqlQuery q = Sql::exec(repo, QStringLiteral(
                         "Select IdSort From ZAT_Sort Where (ItemType = 'c' And IdItem In (1,%1,%2)) "
                         "Or (ItemType = 'e' And IdItem In (%3,%4,%5)) Order By IdSort")
                         .arg(s.catA).arg(s.catB).arg(s.alpha).arg(s.beta).arg(s.gamma));
                     while (q.next())
                         ids << q.value(0).toInt();
                     return ids;
                 }());

        // Rows of the reports: one settings row, the columns in order, the first link and view.
        QCOMPARE(p.count("Select count(*) From ZAT_ExcelSheetSettings"), 1);
        QCOMPARE(p.value("Select FontSize From ZAT_ExcelSheetSettings").toInt(), 11);
        QCOMPARE(p.value("Select FontName From ZAT_ExcelSheetSettings").toString(), QStringLiteral("Arial"));
        QStringList cols;
        QSqlQuery c = Sql::exec(p.db, QStringLiteral("Select Name From ZAT_ReportCols Order By IdReportCol"));
        while (c.next())
            cols << c.value(0).toString();
        QCOMPARE(cols, (QStringList{"Col0", "Col1", "Col2"}));
        QCOMPARE(p.ids("Select IdReport From ZAT_ReportDS Order By IdReport"), (QList<int>{s.alpha, s.gamma}));
        QCOMPARE(p.ids("Select IdSQLView From ZAT_ReportDS Order By IdReport"), (QList<int>{s.view1, s.view1}));
        QCOMPARE(p.ids("Select IdSQLView From ZAT_SQLViews"), QList<int>{s.view1}); // shared view written once

        // Macros of the reports with everything they use, loops included, each once.
        QCOMPARE(p.ids("Select IdMacro From ZAT_Macros Order By IdMacro"), (QList<int>{s.m1, s.m2, s.m3, s.m5}));
        QCOMPARE(p.ids("Select IdCateg From ZAT_CategMacros"), QList<int>{s.macroCateg});
        QCOMPARE(p.count("Select count(*) From ZAT_References Where Tip = 'm'"), 3);
        QCOMPARE(p.ids("Select IdSource From ZAT_References Where Tip = 'r' Order By IdSource"),
                 (QList<int>{s.alpha, s.beta}));
        QCOMPARE(p.count(QStringLiteral("Select count(*) From ZAT_References Where IdSource = %1").arg(s.m4)), 0);

        // Data sources of every link of the reports, variables and looping dependencies once.
        QCOMPARE(p.ids("Select IdDataSource From ZAT_DataSource Order By IdDataSource"), (QList<int>{s.ds1, s.ds2}));
        QCOMPARE(p.ids("Select IdVar From ZAT_Var Order By IdVar"), (QList<int>{s.v1, s.v2, s.v3}));
        QCOMPARE(p.count("Select count(*) From ZAT_Dependences"), 3);

        // A role granted to two reports once, both grants; all applications and users; only the
        // user grants of the exported roles.
        QCOMPARE(p.ids("Select IdRole From ZAT_Role"), QList<int>{s.role1});
        QCOMPARE(p.ids("Select IdReport From ZAT_Role_Report Order By IdReport"), (QList<int>{s.alpha, s.gamma}));
        QCOMPARE(p.count("Select count(*) From ZAT_App"), count(repo, "Select count(*) From ZAT_App"));
        QCOMPARE(p.ids("Select IdUserApp From ZAT_UserApp Order By IdUserApp"), (QList<int>{s.user1, s.user2}));
        QCOMPARE(p.value(QStringLiteral("Select Password From ZAT_UserApp Where IdUserApp = %1").arg(s.user1)).toString(),
                 QStringLiteral("x\x01y"));
        QCOMPARE(p.ids("Select IdUserApp From ZAT_UserApp_Role"), QList<int>{s.user1});
    }

    void nullDefaults_data() { TestDb::addBackends(); }
    void nullDefaults()
    {
        QFETCH(QString, backend);
        TestDb::freshRepository(session, backend);
        QSqlDatabase repo = session.Connection();
        const QVariant null;
        const int r = add(repo, "ZAT_Report", "IdReport", {{"Name", null}});
        add(repo, "ZAT_ExcelSheetSettings", "IdSetting", {{"IdReport", r}});
        add(repo, "ZAT_ExcelSheetSettings", "IdSetting", {{"IdReport", r}, {"FontSize", 30}}); // not the first
        add(repo, "ZAT_ReportCols", "IdReportCol", {{"IdReport", r}});
        add(repo, "ZAT_ReportDS", "IdReportDS", {{"IdReport", r}});
        add(repo, "ZAT_Sort", "IdSort", {{"ItemType", "e"}, {"IdItem", r}});
        const int ds = add(repo, "ZAT_DataSource", "IdDataSource", {{"Name", null}});
        add(repo, "ZAT_Var", "IdVar", {{"IdDataSource", ds}});
        const int role = add(repo, "ZAT_Role", "IdRole", {{"Role", null}});
        add(repo, "ZAT_Role_Report", "IdLeg", {{"IdRole", role}, {"IdReport", r}});
        add(repo, "ZAT_UserApp", "IdUserApp", {{"IdApp", null}});

        ExportOptions o = options({r});
        o.dataSourceMode = ExportOptions::DataSourceMode::Selected;
        o.dataSourceIds = {ds};
        ExportRun(session, o).run();

        Package p(o.packagePath);
        QSqlQuery q = Sql::exec(p.db, QStringLiteral("Select * From ZAT_Report"));
        QVERIFY(q.next());
        for (const char *col : {"Name", "FilePath", "Version", "Description", "Macro"}) {
            QVERIFY2(!q.value(col).isNull(), col);
            QCOMPARE(q.value(col).toString(), QString());
        }
        for (const char *col : {"IsDeleted", "ShowDeleted", "DelExSheet", "DestinationFileAtRuntime"}) {
            QVERIFY2(!q.value(col).isNull(), col);
            QCOMPARE(q.value(col).toInt(), 0);
        }
        QCOMPARE(Sql::dateTime(q, "Modified").date(), QDate::currentDate());
        QCOMPARE(Sql::integer(q, "IdCateg"), 1);
        QVERIFY(isCode(Sql::text(q, "SyncronizeCode")));
        QCOMPARE(codeOf(repo, r), Sql::text(q, "SyncronizeCode"));

        q = Sql::exec(p.db, QStringLiteral("Select * From ZAT_ExcelSheetSettings"));
        QVERIFY(q.next());
        QCOMPARE(q.value("FontSize").toInt(), 8);
        for (const char *col : {"SheetName", "ShowGridLines", "ShowToolTips", "ShowAutoFilters", "FontName",
                                "ReportTitle", "FreezPanel", "GroupCols"})
            QVERIFY2(!q.value(col).isNull() && q.value(col).toString().isEmpty(), col);
        QVERIFY(!q.next());
        q = Sql::exec(p.db, QStringLiteral("Select * From ZAT_ReportCols"));
        QVERIFY(q.next());
        QVERIFY(!q.value("Name").isNull());
        for (const char *col : {"Type", "Width", "Hide", "AutoSum"})
            QVERIFY2(!q.value(col).isNull() && q.value(col).toInt() == 0, col);
        QCOMPARE(p.count("Select count(*) From ZAT_ReportDS Where IdSQLView = 0 And IdDataSource = 0"), 1);
        QCOMPARE(p.count("Select count(*) From ZAT_SQLViews"), 0);
        QCOMPARE(p.count("Select count(*) From ZAT_Sort Where ItemType = 'e' And SortNr = 0"), 1);
        QCOMPARE(p.count("Select count(*) From ZAT_DataSource Where Name = '' And DataSourceString = '' And IsJet = 0"), 1);
        QCOMPARE(p.count("Select count(*) From ZAT_Var Where Name = '' And Caption = '' And DefaultValue = '' "
                         "And LookupSQLString = '' And Type = 0 And SortNr = 0"), 1);
        QCOMPARE(p.count("Select count(*) From ZAT_Role Where Role = ''"), 1);
        QCOMPARE(p.count("Select count(*) From ZAT_UserApp Where IdApp = 0 And IdUser = 0 And \"user\" = '' "
                         "And UserFName = '' And UserLName = '' And Password = ''"), 1);
    }

    void folders_data()
    {
        TestDb::addBackends();
    }
    void folders()
    {
        QFETCH(QString, backend);
        const auto s = fresh(backend);
        QSqlDatabase repo = session.Connection();
        // A report directly in the root, and a parent loop that must end.
        const int root = add(repo, "ZAT_Report", "IdReport", {{"Name", "Root report"}, {"IdCateg", 1}});
        const int loopA = add(repo, "ZAT_Category", "IdCateg", {{"Name", "LA"}, {"IdParent", 0}});
        const int loopB = add(repo, "ZAT_Category", "IdCateg", {{"Name", "LB"}, {"IdParent", loopA}});
        Sql::exec(repo, QStringLiteral("Update ZAT_Category Set IdParent = %1 Where IdCateg = %2").arg(loopB).arg(loopA));
        const int looped = add(repo, "ZAT_Report", "IdReport", {{"Name", "Looped"}, {"IdCateg", loopB}});

        ExportOptions o = options({s.alpha, s.beta, root, looped});
        ExportRun(session, o).run();
        {
            Package p(o.packagePath);
            QCOMPARE(p.ids("Select IdCateg From ZAT_Category Order By IdCateg"),
                     (QList<int>{1, s.catA, s.catB, loopA, loopB}));
            QCOMPARE(p.count("Select count(*) From ZAT_Category Where IdCateg = 1 And Name = 'Reports'"), 1);
        }
        o = options({s.alpha, s.gamma, root});
        o.folders = false;
        ExportRun(session, o).run();
        Package p(o.packagePath);
        QCOMPARE(p.count("Select count(*) From ZAT_Report Where IdCateg <> 1"), 0);
        QCOMPARE(p.ids("Select IdCateg From ZAT_Category"), QList<int>{1});
        QCOMPARE(p.ids("Select IdItem From ZAT_Sort Where ItemType = 'c'"), QList<int>{1});
    }

    void codes()
    {
        QCOMPARE(SyncCodeChunk(0.0), 10000u);
        QCOMPARE(SyncCodeChunk(10000.0 / 999989999.0), 0u);
        QCOMPARE(SyncCodeChunk(0.9999999999999999), 999979999u);

        RepositorySession s;
        TestDb::freshRepository(s, "sqlite");
        QSqlDatabase db = s.Connection();
        // Chunks of 0 give "0"; the last chunk is cut at 50 digits.
        const double zero = 10000.0 / 999989999.0;
        QCOMPARE(GenerateSyncronizeCode(db, nullptr, [&] { return zero; }), QString(50, QLatin1Char('0')));
        const QString tens = QStringLiteral("10000").repeated(10);
        QCOMPARE(GenerateSyncronizeCode(db, nullptr, [] { return 0.0; }), tens.left(50));
        // A taken code is never returned: the next attempt starts from nothing.
        add(db, "ZAT_Report", "IdReport", {{"Name", "taken"}, {"SyncronizeCode", tens.left(50)}});
        int draws = 0;
        const QString next = GenerateSyncronizeCode(db, nullptr, [&] { return ++draws <= 10 ? 0.0 : zero; });
        QCOMPARE(next, QString(50, QLatin1Char('0')));
        QCOMPARE(draws, 60);
        QSet<QString> pending{QString(50, QLatin1Char('0'))};
        draws = 0;
        QCOMPARE(GenerateSyncronizeCode(db, &pending, [&] { return ++draws <= 10 ? zero : 0.5; }).size(), 50);
        // Codes drawn together are distinct from each other as well.
        Sql::exec(db, QStringLiteral("Delete From ZAT_Report"));
        draws = 0;
        QCOMPARE(GenerateSyncronizeCodes(db, 2, nullptr, [&] { return ++draws <= 20 ? 0.0 : zero; }),
                 (QStringList{tens, QString(50, QLatin1Char('0'))}));
        // The system's source: always 50 digits, never the same twice.
        QSet<QString> seen;
        for (int i = 0; i < 300; ++i) {
            const QString c = GenerateSyncronizeCode(db);
            QVERIFY(isCode(c));
            seen.insert(c);
        }
        QCOMPARE(seen.size(), 300);
    }

    void codeReused_data() { TestDb::addBackends(); }
    void codeReused()
    {
        QFETCH(QString, backend);
        const auto s = fresh(backend);
        QSqlDatabase repo = session.Connection();
        ExportOptions o = options({s.gamma});
        ExportRun(session, o).run();
        const QString first = codeOf(repo, s.gamma);
        QVERIFY(isCode(first));
        o = options({s.gamma, s.alpha});
        ExportRun(session, o).run();
        QCOMPARE(codeOf(repo, s.gamma), first);
        Package p(o.packagePath);
        QCOMPARE(codeOf(p.db, s.gamma), first);
        QVERIFY(codeOf(p.db, s.alpha) != first);
    }

    void macroSelection_data() { TestDb::addBackends(); }
    void macroSelection()
    {
        QFETCH(QString, backend);
        const auto s = fresh(backend);
        QSqlDatabase repo = session.Connection();
        QCOMPARE(MacroDependences(repo, s.m1), (QList<int>{s.m1, s.m2, s.m3}));
        QCOMPARE(MacroDependences(repo, s.m5), QList<int>{s.m5});
        QCOMPARE(GetReportMacros(repo, s.hidden),
                 (QStringList{QString::number(s.m4) + "#$#M4", QString::number(s.m1) + "#$#M1",
                              QString::number(s.m2) + "#$#M2", QString::number(s.m3) + "#$#M3"}));
        QCOMPARE(ReportMacroIds(repo, {s.beta, s.alpha, s.gamma}), (QList<int>{s.m5, s.m1, s.m2, s.m3}));

        // Chosen macros: a report's reference to a macro left out stays, references between a
        // chosen and a left-out macro go.
        ExportOptions o = options({s.alpha});
        o.macroMode = ExportOptions::MacroMode::Selected;
        o.macroIds = {s.m4, s.m5, s.m4};
        ExportRun(session, o).run();
        {
            Package p(o.packagePath);
            QCOMPARE(p.ids("Select IdMacro From ZAT_Macros Order By IdMacro"), (QList<int>{s.m4, s.m5}));
            QCOMPARE(p.ids("Select IdCateg From ZAT_CategMacros"), QList<int>{s.macroCateg});
            QCOMPARE(p.count("Select count(*) From ZAT_References"), 1);
            QCOMPARE(p.count(QStringLiteral("Select count(*) From ZAT_References Where Tip = 'r' And IdSource = %1 "
                                            "And IdMacro = %2").arg(s.alpha).arg(s.m1)), 1);
        }
        // Nothing chosen, or reports that use no macro: no macro rows at all.
        o = options({s.gamma});
        ExportRun(session, o).run();
        Package p(o.packagePath);
        QCOMPARE(p.count("Select count(*) From ZAT_Macros"), 0);
        QCOMPARE(p.count("Select count(*) From ZAT_CategMacros"), 0);
        QCOMPARE(p.count("Select count(*) From ZAT_References"), 0);
    }

    void dataSources_data() { TestDb::addBackends(); }
    void dataSources()
    {
        QFETCH(QString, backend);
        const auto s = fresh(backend);
        QSqlDatabase repo = session.Connection();
        const int empty = add(repo, "ZAT_DataSource", "IdDataSource", {{"Name", "Empty"}});
        ExportOptions o = options({});
        o.dataSourceMode = ExportOptions::DataSourceMode::Selected;
        o.dataSourceIds = {s.ds2, empty, s.ds2};
        ExportRun run(session, o);
        run.run();
        QCOMPARE(run.dataSourceIds(), (QList<int>{s.ds2, empty}));
        Package p(o.packagePath);
        QCOMPARE(p.ids("Select IdDataSource From ZAT_DataSource Order By IdDataSource"), (QList<int>{s.ds2, empty}));
        // Dependency rows are followed across data sources; their variables are not.
        QCOMPARE(p.ids("Select IdVar From ZAT_Var"), QList<int>{s.v3});
        QCOMPARE(p.ids("Select IdVar From ZAT_Dependences Order By IdVar"), (QList<int>{s.v1, s.v2, s.v3}));
    }

    void noReports_data() { TestDb::addBackends(); }
    void noReports()
    {
        QFETCH(QString, backend);
        const auto s = fresh(backend);
        Q_UNUSED(s);
        Recorder rec;
        ExportOptions o = options({});
        ExportRun(session, o, &rec).run();
        QCOMPARE(rec.texts, (QStringList{"97% Exporting excel macros ...", "98% Exporting data sources ...",
                                         "99% Exporting security roles ...", "100% Exporting users ...",
                                         "Operation completed successfully."}));
        QCOMPARE(rec.values.first(), qMakePair(0, 4));
        QCOMPARE(rec.values.last(), qMakePair(0, 4));
        Package p(o.packagePath);
        for (const char *table : {"ZAT_Report", "ZAT_Macros", "ZAT_DataSource", "ZAT_Role", "ZAT_Role_Report",
                                  "ZAT_UserApp_Role"})
            QVERIFY2(p.count(QStringLiteral("Select count(*) From %1").arg(table)) == 0, table);
        QCOMPARE(p.count("Select count(*) From ZAT_UserApp"), 2);
        QCOMPARE(p.count("Select count(*) From ZAT_App"), 2);
    }

    void progress_data() { TestDb::addBackends(); }
    void progress()
    {
        QFETCH(QString, backend);
        const auto s = fresh(backend);
        Recorder rec;
        ExportOptions o = options({s.alpha, s.beta, s.gamma, s.hidden});
        o.roles = false;
        o.users = false;
        ExportRun(session, o, &rec).run();
        // Halves round to even: 1/8 is 12.5 %, 3/8 is 37.5 %.
        QCOMPARE(rec.texts, (QStringList{"12% Processing report 'Alpha'", "25% Processing report 'Beta'",
                                         QStringLiteral("38% Processing report 'Gamma ü'"),
                                         "50% Processing report 'Hidden'", "97% Exporting excel macros ...",
                                         "98% Exporting data sources ...", "Operation completed successfully."}));
        QList<int> values;
        for (const auto &v : rec.values) {
            QCOMPARE(v.second, 8);
            values << v.first;
        }
        QCOMPARE(values, (QList<int>{0, 1, 2, 3, 4, 5, 6, 0}));
        QVERIFY(rec.yields >= 6);
    }

    void failures_data() { TestDb::addBackends(); }
    void failures()
    {
        QFETCH(QString, backend);
        const auto s = fresh(backend);
        QSqlDatabase repo = session.Connection();
        // Tables put back so that the next fresh repository on the server opens.
        struct Restore {
            QSqlDatabase db;
            ~Restore()
            {
                QSqlQuery q(db);
                q.exec(QStringLiteral("Create Table ZAT_CategMacros (IdCateg integer, Denumire text)"));
                q.exec(QStringLiteral("Create Table ZAT_Role (IdRole integer, Role text)"));
            }
        } restore{repo};
        // The macro step reports its failure and the run goes on.
        Sql::exec(repo, QStringLiteral("Drop Table ZAT_CategMacros"));
        QStringList origins;
        {
            ExportOptions o = options({s.alpha});
            ExportRun run(session, o);
            run.onStepFailure = [&](const AppError &, const QString &origin) { origins << origin; };
            run.run();
            QCOMPARE(origins, QStringList{"ExportMacros()"});
            Package p(o.packagePath);
            QCOMPARE(p.count("Select count(*) From ZAT_Macros"), 3);
            QCOMPARE(p.count("Select count(*) From ZAT_Role"), 1);
        }
        // A failing role step ends the run: no package, and no code reaches the repository.
        Sql::exec(repo, QStringLiteral("Drop Table ZAT_Role"));
        Recorder rec;
        ExportOptions o = options({s.gamma, s.hidden});
        ExportRun run(session, o, &rec);
        try {
            run.run();
            QFAIL("the run should have failed");
        } catch (const AppError &e) {
            QVERIFY(!e.description.isEmpty());
            QCOMPARE(rec.texts.last(), e.description);
        }
        QCOMPARE(rec.values.last().first, 0);
        QVERIFY(rec.texts.contains("99% Exporting security roles ..."));
        QVERIFY(!rec.texts.contains("100% Exporting users ..."));
        QVERIFY(!QFileInfo::exists(o.packagePath));
        QCOMPARE(QDir(QFileInfo(o.packagePath).path()).entryList({QStringLiteral("*.tmp")}, QDir::Files), QStringList());
        QCOMPARE(codeOf(repo, s.hidden), QString());
    }

    void badPackagePath()
    {
        RepositorySession s;
        TestDb::freshRepository(s, "sqlite");
        Recorder rec;
        ExportOptions o;
        o.packagePath = QStringLiteral("/nonexistent-dir/x/p.mdb");
        ExportRun run(s, o, &rec);
        QVERIFY_THROWS_EXCEPTION(AppError, run.run());
        QVERIFY(rec.texts.last().contains("cannot be created"));
        // Never over the repository itself.
        o.packagePath = s.DatabasePath();
        QVERIFY_THROWS_EXCEPTION(AppError, ExportRun(s, o).run());
        QVERIFY(Schema::hasLayout(s.Connection()));
        QCOMPARE(count(s.Connection(), "Select count(*) From ZAT_Category"), 2);
        // An existing package is replaced by the next run.
        o.packagePath = packagePath();
        const int r = add(s.Connection(), "ZAT_Report", "IdReport", {{"Name", "One"}});
        o.reportIds = {r};
        ExportRun(s, o).run();
        o.reportIds = {};
        ExportRun(s, o).run();
        Package p(o.packagePath);
        QCOMPARE(p.count("Select count(*) From ZAT_Report"), 0);
    }

    // ---- the dialog and the pickers

    void dialogLoads()
    {
        auto &app = TestDb::freshAppSession("sqlite");
        const auto s = ExportFixture::build(app.Connection());
        frmExport dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Export Reports to MS Access (.mdb) database"));
        QVERIFY(dlg.optDepMacros->isChecked() && dlg.optDSNDep->isChecked());
        QVERIFY(dlg.chkUsers->isChecked() && dlg.chkRoles->isChecked() && dlg.chkCategories->isChecked());
        QVERIFY(dlg.txtPath->text().isEmpty());
        QVERIFY(dlg.ProgressBar1->isHidden());
        QCOMPARE(dlg.cmdBrowse->toolTip(), QStringLiteral("Browse"));
        QCOMPARE(dlg.findChild<QPushButton *>("cmdExport")->text(), QStringLiteral("&Export"));
        QCOMPARE(dlg.panelText(2), QStringLiteral("4 reports disponible"));
        QVERIFY(ItemData::findByKey(dlg.twRep, "c1"));
        QVERIFY(!ItemData::findByKey(dlg.twRep, "c2"));
        QCOMPARE(ItemData::key(dlg.twRep->currentItem()), QStringLiteral("c1"));
        QTreeWidgetItem *alpha = ItemData::findByKey(dlg.twRep, "r" + QString::number(s.alpha));
        QVERIFY(alpha);
        QCOMPARE(ItemData::key(alpha->parent()), "c" + QString::number(s.catB));
        QCOMPARE(ItemData::key(alpha->parent()->parent()), "c" + QString::number(s.catA));
        QCOMPARE(ItemData::tag(alpha).toInt(), s.catB);
        QCOMPARE(frmExport::mark(alpha), frmExport::MarkNotSelected);

        // Marks: Check All, Clear All, double-click on a report (a category does nothing).
        dlg.cmdCheckAll->click();
        QCOMPARE(frmExport::mark(alpha), frmExport::MarkSelected);
        dlg.cmdClearAll->click();
        QCOMPARE(frmExport::mark(alpha), frmExport::MarkNotSelected);
        dlg.twRep->setCurrentItem(alpha);
        emit dlg.twRep->itemDoubleClicked(alpha, 0);
        QCOMPARE(frmExport::mark(alpha), frmExport::MarkSelected);
        emit dlg.twRep->itemDoubleClicked(alpha, 0);
        QCOMPARE(frmExport::mark(alpha), frmExport::MarkNotSelected);
        QTreeWidgetItem *cat = alpha->parent();
        dlg.twRep->setCurrentItem(cat);
        emit dlg.twRep->itemDoubleClicked(cat, 0);
        QCOMPARE(frmExport::mark(cat), 0);
    }

    void dialogExports()
    {
        auto &app = TestDb::freshAppSession("sqlite");
        const auto s = ExportFixture::build(app.Connection());
        ScriptedPrompter prompts;
        frmExport dlg;
        dlg.cmdExport->click();
        QCOMPARE(prompts.last().text, QStringLiteral("Select File path!"));
        QCOMPARE(prompts.last().icon, Prompter::Icon::Exclamation);
        QCOMPARE(prompts.last().title, QStringLiteral("Velmora"));

        // Browse: the save dialog's texts; a cancel leaves the path alone.
        const QString path = packagePath();
        prompts.files.enqueue(path);
        dlg.cmdBrowse->click();
        QCOMPARE(prompts.last().kind, QStringLiteral("save"));
        QCOMPARE(prompts.last().title, QStringLiteral("Enter file name and path ..."));
        QCOMPARE(prompts.last().filter, QStringLiteral("Microsoft Access Database(*.mdb)|*.mdb"));
        QCOMPARE(prompts.last().defaultText, QStringLiteral("*.mdb"));
        QCOMPARE(dlg.txtPath->text(), path);
        dlg.cmdBrowse->click();
        QCOMPARE(dlg.txtPath->text(), path);

        prompts.answers.enqueue(Prompter::Answer::No);
        dlg.cmdExport->click();
        QCOMPARE(prompts.last().text, QStringLiteral("Export selected reports?"));
        QCOMPARE(prompts.last().buttons, Prompter::Buttons::YesNo);
        QCOMPARE(prompts.last().icon, Prompter::Icon::Question);
        QVERIFY(!QFile::exists(path));

        for (int id : {s.gamma, s.alpha}) {
            QTreeWidgetItem *n = ItemData::findByKey(dlg.twRep, "r" + QString::number(id));
            dlg.setMark(n, frmExport::MarkSelected);
        }
        dlg.chkUsers->setChecked(false);
        prompts.clear();
        prompts.answers.enqueue(Prompter::Answer::Yes);
        dlg.cmdExport->click();
        QCOMPARE(prompts.calls.size(), 1);
        QCOMPARE(dlg.panelText(1), QStringLiteral("Operation completed successfully."));
        QVERIFY(dlg.ProgressBar1->isHidden());
        for (QPushButton *b : {dlg.cmdBrowse, dlg.cmdCheckAll, dlg.cmdClearAll, dlg.cmdClose, dlg.cmdDSN,
                               dlg.cmdExport, dlg.cmdMacros})
            QVERIFY(b->isEnabled());
        QCOMPARE(dlg.colDSN, (QList<int>{s.ds1, s.ds2}));
        QCOMPARE(dlg.colSelMacros, (QList<int>{s.m1, s.m2, s.m3}));
        {
            Package p(path);
            QCOMPARE(p.ids("Select IdReport From ZAT_Report Order By IdReport"), (QList<int>{s.alpha, s.gamma}));
            QCOMPARE(p.count("Select count(*) From ZAT_UserApp"), 0);
        }

        // A failing run: the error box, the description in the status bar, the window usable.
        // A long description (here a long path) does not widen the window.
        const int minWidth = dlg.minimumSizeHint().width();
        dlg.txtPath->setText("/nonexistent-dir/" + QString(400, QLatin1Char('x')) + "/p.mdb");
        prompts.clear();
        prompts.answers.enqueue(Prompter::Answer::Yes);
        dlg.cmdExport->click();
        QCOMPARE(prompts.calls.size(), 2);
        QVERIFY(prompts.last().text.startsWith("Number : "));
        QVERIFY(prompts.last().text.endsWith("\rOrigin : cmdExport_Click()"));
        QVERIFY(dlg.panelText(1).contains("cannot be created"));
        QCOMPARE(dlg.minimumSizeHint().width(), minWidth);
        QVERIFY(dlg.cmdExport->isEnabled() && dlg.ProgressBar1->isHidden());
    }

    void macroPicker()
    {
        auto &app = TestDb::freshAppSession("sqlite");
        const auto s = ExportFixture::build(app.Connection());
        frmExport dlg;
        dlg.colSelMacros = {s.m5};
        bool done = false;
        QTimer::singleShot(0, [&] {
            auto *w = qobject_cast<frmExportMacros *>(QApplication::activeModalWidget());
            QVERIFY(w);
            QCOMPARE(w->windowTitle(), QStringLiteral("Macros"));
            QCOMPARE(w->lstCateg->topLevelItem(0)->text(0), QStringLiteral("< All macros >"));
            QCOMPARE(w->lstCateg->topLevelItemCount(), 2);
            QCOMPARE(w->lstMacro->topLevelItemCount(), 5); // all macros listed first
            QVERIFY(w->chkIncludeMacDep->isChecked());
            auto item = [&](int id) { return ItemData::findByKey(w->lstMacro, "k" + QString::number(id)); };
            QCOMPARE(item(s.m5)->checkState(0), Qt::Checked);
            // Ticking M1 brings what it uses, through the loop, once each.
            item(s.m1)->setCheckState(0, Qt::Checked);
            QCOMPARE(w->colSelMacros, (QList<int>{s.m5, s.m1, s.m2, s.m3}));
            QCOMPARE(item(s.m3)->checkState(0), Qt::Checked);
            // Unticking a dependence leaves the others.
            item(s.m2)->setCheckState(0, Qt::Unchecked);
            QCOMPARE(w->colSelMacros, (QList<int>{s.m5, s.m1, s.m3}));
            // A click shows the body and what the macro uses.
            w->lstMacro_ItemClick(item(s.m4));
            QCOMPARE(w->windowTitle(), QStringLiteral("Macro [M4]"));
            QCOMPARE(w->txtMacro->toPlainText(), QStringLiteral("Sub M4()"));
            QCOMPARE(w->lstRefMacro->topLevelItemCount(), 1);
            QCOMPARE(w->lstRefMacro->topLevelItem(0)->text(0), QStringLiteral("M1"));
            // A category lists its macros with the selection ticked.
            w->lstCateg_ItemClick(w->lstCateg->topLevelItem(1));
            QCOMPARE(w->lstMacro->topLevelItemCount(), 4);
            QCOMPARE(item(s.m1)->checkState(0), Qt::Checked);
            QCOMPARE(item(s.m2)->checkState(0), Qt::Unchecked);
            w->cmdOK->click();
            done = true;
        });
        dlg.cmdMacros->click();
        QTRY_VERIFY(done);
        QVERIFY(dlg.optSelMacros->isChecked());
        QCOMPARE(dlg.colSelMacros, (QList<int>{s.m5, s.m1, s.m3}));

        // Check All on a category, then Cancel: what was done stays.
        done = false;
        QTimer::singleShot(0, [&] {
            auto *w = qobject_cast<frmExportMacros *>(QApplication::activeModalWidget());
            QVERIFY(w);
            w->chkIncludeMacDep->setChecked(false);
            w->lstCateg_ItemClick(w->lstCateg->topLevelItem(1));
            w->cmdCheckAll->click();
            QCOMPARE(w->colSelMacros, (QList<int>{s.m1, s.m2, s.m3, s.m4}));
            w->cmdCancel->click();
            done = true;
        });
        dlg.cmdMacros->click();
        QTRY_VERIFY(done);
        QCOMPARE(dlg.colSelMacros, (QList<int>{s.m1, s.m2, s.m3, s.m4}));
    }

    void dataSourcePicker()
    {
        auto &app = TestDb::freshAppSession("sqlite");
        const auto s = ExportFixture::build(app.Connection());
        frmExport dlg;
        dlg.colDSN = {s.ds2};
        bool done = false;
        QTimer::singleShot(0, [&] {
            auto *w = qobject_cast<frmExportDSN *>(QApplication::activeModalWidget());
            QVERIFY(w);
            QCOMPARE(w->windowTitle(), QStringLiteral("Data Sources"));
            QCOMPARE(w->lstDSN->topLevelItemCount(), 2);
            QTreeWidgetItem *archive = w->lstDSN->topLevelItem(0);
            QCOMPARE(archive->text(0), QStringLiteral("Archive"));
            QCOMPARE(archive->text(2), QStringLiteral(" "));
            QCOMPARE(archive->text(3), QStringLiteral("Yes"));
            QCOMPARE(archive->checkState(0), Qt::Checked);
            QCOMPARE(w->lstDSN->topLevelItem(1)->text(3), QStringLiteral("No"));
            w->cmdCheckAll->click();
            w->cmdCancel->click();
            done = true;
        });
        dlg.cmdDSN->click();
        QTRY_VERIFY(done);
        QVERIFY(dlg.optDSNSel->isChecked());
        QCOMPARE(dlg.colDSN, QList<int>{s.ds2});

        done = false;
        QTimer::singleShot(0, [&] {
            auto *w = qobject_cast<frmExportDSN *>(QApplication::activeModalWidget());
            QVERIFY(w);
            w->cmdClearAll->click();
            w->lstDSN->topLevelItem(1)->setCheckState(0, Qt::Checked);
            w->lstDSN->topLevelItem(0)->setCheckState(0, Qt::Checked);
            w->cmdOK->click();
            done = true;
        });
        dlg.cmdDSN->click();
        QTRY_VERIFY(done);
        QCOMPARE(dlg.colDSN, (QList<int>{s.ds2, s.ds1})); // list order
    }

    void tree_data() { TestDb::addBackends(); }
    void tree()
    {
        QFETCH(QString, backend);
        try {
            treeChecks(backend);
        } catch (const AppError &e) {
            QFAIL(qPrintable(e.description));
        }
    }
public:
    void treeChecks(const QString &backend)
    {
        TestDb::freshRepository(session, backend);
        QSqlDatabase db = session.Connection();
        auto category = [&](const QString &name, int parent, int sortNr, int deleted = 0) {
            const int id = add(db, "ZAT_Category", "IdCateg", {{"Name", name}, {"IdParent", parent}, {"IsDeleted", deleted}});
            if (sortNr >= 0)
                add(db, "ZAT_Sort", "IdSort", {{"ItemType", "c"}, {"IdItem", id}, {"SortNr", sortNr}});
            return id;
        };
        auto report = [&](const QVariant &name, int categ, int deleted = 0) {
            return add(db, "ZAT_Report", "IdReport", {{"Name", name}, {"IdCateg", categ}, {"IsDeleted", deleted}});
        };
        const int parent = category("Parent", 1, 90);      // sorts after its child
        const int child = category("Child", parent, 3);
        const int unsorted = category("Unsorted", 1, -1);    // lacks its sort row
        const int gone = category("Gone", 1, 4, 1);          // deleted
        const int orphan = category("Orphan", gone, 5);      // parent deleted
        const int binned = category("Binned", 2, 6);
        const int rChild = report("b child", child);
        const int rUnsorted = report("c unsorted", unsorted);
        const int rOrphan = report("d orphan", orphan);
        report("e gone", gone);
        report("f binned", binned);
        report("g bin", 2);
        report("h deleted", child, 1);
        const int rLost = report("a lost", 777);
        const int rRoot = report(QVariant(), 1);

        const QList<ExportTreeNode> cats = LoadExportCategories(session);
        QHash<int, int> placedUnder;
        QList<int> order;
        for (const ExportTreeNode &n : cats) {
            QVERIFY(n.isCategory);
            placedUnder.insert(n.id, n.parentCategory);
            order << n.id;
        }
        QCOMPARE(QSet<int>(order.begin(), order.end()), (QSet<int>{1, parent, child, unsorted, orphan}));
        QVERIFY(order.indexOf(parent) < order.indexOf(child));
        QCOMPARE(placedUnder.value(child), parent);
        QCOMPARE(placedUnder.value(parent), 1);
        QCOMPARE(placedUnder.value(unsorted), 1);
        QCOMPARE(placedUnder.value(orphan), 0);

        const QList<ExportTreeNode> reports = LoadExportReports(session, cats);
        QList<int> ids = ExportTreeReportIds(cats, reports);
        QCOMPARE(QSet<int>(ids.begin(), ids.end()), (QSet<int>{rChild, rUnsorted, rOrphan, rLost, rRoot}));
        ids.removeAll(rRoot); // where a null name sorts differs between the databases
        QCOMPARE(ids, (QList<int>{rLost, rChild, rUnsorted, rOrphan}));
        for (const ExportTreeNode &n : reports)
            if (n.id == rLost)
                QCOMPARE(n.parentCategory, 0);
        QCOMPARE(ExportTreeReportIds(cats, reports, parent), QList<int>{rChild});
        ids = ExportTreeReportIds(cats, reports, 1);
        QCOMPARE(QSet<int>(ids.begin(), ids.end()), (QSet<int>{rChild, rUnsorted, rRoot}));
    }
};

QTEST_MAIN(TestExport)
#include "test_export.moc"
