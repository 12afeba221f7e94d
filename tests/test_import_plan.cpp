#include "PackageBuilder.h"
#include "ReportFixtures.h"
#include "RowDump.h"
#include "TestDb.h"
#include "ToolRun.h"

#include "repository/AppError.h"
#include "repository/Sql.h"
#include "transfer/import/ImportPlan.h"
#include "transfer/import/ImportRun.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

// The plan of an import, compared with what the run then does, and the dry run of the tool.
namespace {

const QString Code1 = QStringLiteral("11111111112222222222333333333344444444445555555555");
const QString Code2 = QStringLiteral("99999999998888888888777777777766666666665555555555");

QString packagePath(const QString &name) { return QDir(TestDb::tempDir()).filePath(name + QStringLiteral(".mdb")); }

// Two reports with a data source each, macros that use each other, a role, an application and a user.
void buildPackage(const QString &path)
{
    PackageBuilder p(path);
    p.category(10, 1, "Sales", 3);
    p.category(11, 10, "North", 1);
    p.report(101, 11, "First", Code1);
    p.row("ZAT_ReportDS", {{"IdReportDS", 601}, {"IdReport", 101}, {"IdSQLView", QVariant()}, {"IdDataSource", 701}});
    p.report(102, 1, "Second", Code2);
    p.row("ZAT_ReportDS", {{"IdReportDS", 602}, {"IdReport", 102}, {"IdSQLView", QVariant()}, {"IdDataSource", 702}});
    p.row("ZAT_DataSource", {{"IdDataSource", 701}, {"Name", "Main"}, {"DataSourceString", "pkg"}});
    p.row("ZAT_DataSource", {{"IdDataSource", 702}, {"Name", "Other"}, {"DataSourceString", "pkg2"}});
    p.row("ZAT_Var", {{"IdVar", 801}, {"IdDataSource", 701}, {"Name", "From"}, {"Type", 3}});
    p.row("ZAT_Var", {{"IdVar", 802}, {"IdDataSource", 701}, {"Name", "New"}, {"Type", 3}});
    p.row("ZAT_CategMacros", {{"IdCateg", 950}, {"Denumire", "Utils"}});
    p.row("ZAT_Macros", {{"IdMacro", 901}, {"IdCateg", 950}, {"MacroName", "A"}, {"Body", "a"}});
    p.row("ZAT_Macros", {{"IdMacro", 902}, {"IdCateg", 950}, {"MacroName", "B"}, {"Body", "b"}});
    p.row("ZAT_References", {{"IdReference", 911}, {"IdSource", 101}, {"IdMacro", 901}, {"Tip", "r"}});
    p.row("ZAT_References", {{"IdReference", 912}, {"IdSource", 102}, {"IdMacro", 902}, {"Tip", "r"}});
    p.row("ZAT_References", {{"IdReference", 913}, {"IdSource", 901}, {"IdMacro", 902}, {"Tip", "m"}});
    p.row("ZAT_Role", {{"IdRole", 1001}, {"Role", "Readers"}});
    p.row("ZAT_Role", {{"IdRole", 1002}, {"Role", "Writers"}});
    p.row("ZAT_Role_Report", {{"IdLeg", 1101}, {"IdRole", 1001}, {"IdReport", 101}});
    p.row("ZAT_Role_Report", {{"IdLeg", 1102}, {"IdRole", 1002}, {"IdReport", 102}});
    p.row("ZAT_App", {{"IdApp", 1201}, {"AppName", "Client"}});
    p.row("ZAT_UserApp", {{"IdUserApp", 1301}, {"IdApp", 1201}, {"User", "joe"}});
    p.row("ZAT_UserApp_Role", {{"IdLeg", 1401}, {"IdUserApp", 1301}, {"IdRole", 1001}});
}

ImportOptions everything(const QString &path)
{
    ImportOptions o;
    o.packagePath = path;
    o.reportIds = {101, 102};
    o.dataSources = ImportOptions::Choice::ForReports;
    o.macros = ImportOptions::Choice::ForReports;
    o.roles = true;
    o.users = true;
    return o;
}

int newReport(const QSqlDatabase &db, const QString &name, const QString &code)
{
    return Sql::insert(db, "ZAT_Report", "IdReport",
                       {{"Name", name}, {"IdCateg", 1}, {"IsDeleted", 0}, {"ShowDeleted", 0}, {"DelExSheet", 0},
                        {"DestinationFileAtRuntime", 0}, {"SyncronizeCode", code}});
}

QSet<int> ids(const QSqlDatabase &db, const QString &table, const QString &idColumn)
{
    QSet<int> out;
    QSqlQuery q = Sql::exec(db, QStringLiteral("Select %1 From %2").arg(idColumn, table));
    while (q.next())
        out.insert(q.value(0).toInt());
    return out;
}

// Each planned row against the run: a reused one went to the row the plan named, an added one to
// a row the repository did not have before.
void compareItems(const QList<ImportPlan::Item> &planned, const QHash<int, int> &done, const QSet<int> &before,
                  const char *kind)
{
    QCOMPARE(planned.size(), done.size());
    for (const ImportPlan::Item &i : planned) {
        QVERIFY2(done.contains(i.packageId), kind);
        if (i.action == QLatin1String("reuse"))
            QCOMPARE(done.value(i.packageId), i.destinationId);
        else
            QVERIFY2(i.action == QLatin1String("add") && !before.contains(done.value(i.packageId)), kind);
    }
}

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256) : QByteArray();
}

QString repositoryArgument(RepositorySession &s, const QString &backend)
{
    return backend == QLatin1String("sqlite") ? s.DatabasePath() : ReportFixtures::postgresUri(s.Connection());
}

} // namespace

class TestImportPlan : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // New reports, a synchronised one, reused data source, variable and role: the plan says what
    // the run then does, row by row.
    void planMatchesTheRun_data() { TestDb::addBackends(); }
    void planMatchesTheRun()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const int main = ReportFixtures::addDataSource(db, "Main", "production");
        const int from = ReportFixtures::addVariable(db, main, "From", 3);
        const int readers = Sql::insert(db, "ZAT_Role", "IdRole", {{"Role", "Readers"}});
        const int partner = newReport(db, "Old second", Code2);
        const QString path = packagePath("plan-" + backend);
        buildPackage(path);
        ImportOptions o = everything(path);
        o.syncPairs.insert(102, Code2);
        o.folders = true;

        const ImportPlan plan = PlanImport(db, o);
        QVERIFY2(plan.problems.isEmpty(), qPrintable(plan.problems.join('\n')));
        QCOMPARE(plan.reports.size(), 2);
        QCOMPARE(plan.reports[0].action, QStringLiteral("add"));
        QCOMPARE(plan.reports[0].destinationCategory, 1);
        QCOMPARE(plan.reports[0].folder, QStringLiteral("Sales/North"));
        QCOMPARE(plan.reports[0].warnings, QStringList());
        QCOMPARE(plan.reports[1].action, QStringLiteral("overwrite"));
        QCOMPARE(plan.reports[1].destinationId, partner);
        QCOMPARE(plan.dataSources[0].action, QStringLiteral("reuse"));
        QCOMPARE(plan.dataSources[0].destinationId, main);
        QCOMPARE(plan.dataSources[1].action, QStringLiteral("add"));
        QCOMPARE(plan.variables[0].destinationId, from);
        QCOMPARE(plan.variables[1].action, QStringLiteral("add"));
        QCOMPARE(plan.roles.size(), 2);
        QCOMPARE(plan.roles[0].destinationId, readers);
        QCOMPARE(plan.roles[1].action, QStringLiteral("add"));
        QCOMPARE(plan.macroCategories.size(), 1);
        QCOMPARE(plan.macros.size(), 2);

        const QSet<int> reportsBefore = ids(db, "ZAT_Report", "IdReport"), dsBefore = ids(db, "ZAT_DataSource", "IdDataSource"),
                        varsBefore = ids(db, "ZAT_Var", "IdVar"), rolesBefore = ids(db, "ZAT_Role", "IdRole"),
                        appsBefore = ids(db, "ZAT_App", "IdApp"), usersBefore = ids(db, "ZAT_UserApp", "IdUserApp"),
                        macrosBefore = ids(db, "ZAT_Macros", "IdMacro"), categsBefore = ids(db, "ZAT_CategMacros", "IdCateg");
        ImportRun run(db, o);
        run.run();
        for (const ImportPlan::Report &r : plan.reports) {
            QVERIFY(run.reportMap.contains(r.packageId));
            if (r.action == QLatin1String("overwrite"))
                QCOMPARE(run.reportMap.value(r.packageId), r.destinationId);
            else
                QVERIFY(!reportsBefore.contains(run.reportMap.value(r.packageId)));
        }
        compareItems(plan.dataSources, run.dataSourceMap, dsBefore, "data source");
        compareItems(plan.variables, run.varMap, varsBefore, "variable");
        compareItems(plan.roles, run.roleMap, rolesBefore, "role");
        compareItems(plan.applications, run.appMap, appsBefore, "application");
        compareItems(plan.users, run.userMap, usersBefore, "user");
        compareItems(plan.macros, run.macroMap, macrosBefore, "macro");
        compareItems(plan.macroCategories, run.macroCategMap, categsBefore, "macro category");

        // A second plan of the same import finds everything in place.
        const ImportPlan again = PlanImport(db, o);
        QCOMPARE(again.reports[0].action, QStringLiteral("add")); // its code is taken: a new copy
        for (const auto *items : {&again.dataSources, &again.roles, &again.macros, &again.users})
            for (const ImportPlan::Item &i : *items)
                QCOMPARE(i.action, QStringLiteral("reuse"));
    }

    // What the run leaves aside is a warning on the report it concerns; a partner someone else
    // holds is refused alone, and the run leaves exactly that report unchanged.
    void warningsAndHeldPartners_data() { TestDb::addBackends(); }
    void warningsAndHeldPartners()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const int partner = newReport(db, "Held", Code1);
        const int holder = Sql::insert(db, "ZAT_UserApp", "IdUserApp", {{"IdApp", 1}, {"User", "erin"}});
        Sql::exec(db, QStringLiteral("Update ZAT_Report Set IdUserAppCheckOut = %1 Where IdReport = %2").arg(holder).arg(partner));
        const QString path = packagePath("warn-" + backend);
        buildPackage(path);
        ImportOptions o = everything(path);
        o.dataSources = ImportOptions::Choice::Selected; // none
        o.macros = ImportOptions::Choice::Selected;
        o.macroIds = {901};
        o.syncPairs.insert(101, Code1);

        const ImportPlan plan = PlanImport(db, o);
        QVERIFY(!plan.refused());
        QCOMPARE(plan.reports[0].action, QStringLiteral("refused"));
        QCOMPARE(plan.reports[0].destinationId, partner);
        QVERIFY2(plan.reports[0].reason.contains("checked out by erin"), qPrintable(plan.reports[0].reason));
        QCOMPARE(plan.reports[1].action, QStringLiteral("add"));
        QCOMPARE(plan.reports[1].warnings,
                 QStringList({"no data source: the report will not run", "macro 'B' (902) is left out"}));
        QVERIFY(plan.dataSources.isEmpty());

        ImportRun run(db, o);
        run.run();
        QCOMPARE(run.heldReports.size(), 1);
        QCOMPARE(run.heldReports[0].packageId, 101);
        QVERIFY(!run.reportMap.contains(101) && run.reportMap.contains(102));
        QVERIFY(run.skippedRows > 0); // the reference to B
    }

    // Every problem of a package at once, and the run refuses with all of them.
    void everyProblemInOnePlan_data() { TestDb::addBackends(); }
    void everyProblemInOnePlan()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const QString path = packagePath("problems-" + backend);
        {
            PackageBuilder p(path);
            p.report(101, 1, "First");
            p.row("ZAT_ReportDS", {{"IdReportDS", 601}, {"IdReport", 101}, {"IdDataSource", 701}});
            p.row("ZAT_DataSource", {{"IdDataSource", 701}, {"Name", "Main"}});
            p.row("ZAT_Var", {{"IdVar", 801}, {"IdDataSource", 701}, {"Name", "To"}});
            p.row("ZAT_Dependences", {{"ID", 851}, {"IdVar", 801}, {"Iddep", 899}});
            p.row("ZAT_Role_Report", {{"IdLeg", 1101}, {"IdRole", 77}, {"IdReport", 101}});
            p.row("ZAT_UserApp", {{"IdUserApp", 1301}, {"IdApp", 55}, {"User", "joe"}});
        }
        ImportOptions o = everything(path);
        o.reportIds = {101, 999};
        o.idCategDest = 2; // the recycle bin
        const ImportPlan plan = PlanImport(db, o);
        const QStringList expected = {"The package holds no report with id 999.", "The category 2 cannot hold new reports.",
                                      "Variable 801 depends on variable 899, which is not imported with it.",
                                      "The package grants report 101 to role 77, which it does not hold.",
                                      "The package's user 1301 belongs to application 55, which it does not hold."};
        QCOMPARE(plan.problems, expected);
        QCOMPARE(plan.reports[1].action, QStringLiteral("refused"));

        const QStringList before = RowDump::all(db);
        try {
            ImportRun(db, o).run();
            QFAIL("the run did not refuse");
        } catch (const AppError &e) {
            QCOMPARE(e.description, expected.join('\n'));
        }
        QCOMPARE(RowDump::all(db), before);
    }

    // Planning, from the engine and from the tool, writes nothing: the file keeps its bytes, the
    // server its rows, and the history has no entry.
    void dryRunWritesNothing_data() { TestDb::addBackends(); }
    void dryRunWritesNothing()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        ReportFixtures::addDataSource(db, "Main", "production");
        newReport(db, "Old second", Code2);
        const QString path = packagePath("dry-" + backend);
        buildPackage(path);
        ImportOptions o = everything(path);
        o.syncPairs.insert(102, Code2);
        o.folders = true;

        const QStringList rows = RowDump::all(db);
        const QByteArray hash = backend == QLatin1String("sqlite") ? fileHash(s.DatabasePath()) : QByteArray();
        QVERIFY(!PlanImport(db, o).refused());
        QString out, err;
        QCOMPARE(RunTool("velmora-transfer", {"import", "--repository", repositoryArgument(s, backend), "--package", path,
                                              "--category", "1", "--all-reports", "--data-sources-for-reports", "--roles",
                                              "--users", "--sync-all", "--keep-folders", "--dry-run"}, &out, &err), 0);
        QVERIFY2(err.contains("Dry run: nothing was written.") && err.contains("The import would run."), qPrintable(err));
        QVERIFY2(out.contains(QStringLiteral("report 101 -> add into category 1 folder 'Sales/North'\tFirst")), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("data source 701 -> reuse ")), qPrintable(out));
        QCOMPARE(RowDump::all(db), rows);
        if (backend == QLatin1String("sqlite")) {
            s.ResetConnection();
            QCOMPARE(fileHash(s.DatabasePath()), hash);
        }
    }

    // --dry-run --json: one document a script parses; a refused import exits 1 with its problems,
    // and a real run with --json names the new ids.
    void jsonForScripts_data() { TestDb::addBackends(); }
    void jsonForScripts()
    {
        QFETCH(QString, backend);
        RepositorySession s;
        TestDb::freshRepository(s, backend);
        QSqlDatabase db = s.Connection();
        const int readers = Sql::insert(db, "ZAT_Role", "IdRole", {{"Role", "Readers"}});
        const QString repo = repositoryArgument(s, backend);
        const QString path = packagePath("json-" + backend);
        buildPackage(path);
        const QStringList args = {"import", "--repository", repo, "--package", path, "--category", "1",
                                  "--reports", "101", "--roles", "--json"};
        QString out, err;
        QCOMPARE(RunTool("velmora-transfer", args + QStringList{"--dry-run"}, &out, &err), 0);
        QJsonParseError parseError;
        QJsonObject doc = QJsonDocument::fromJson(out.toUtf8(), &parseError).object();
        QVERIFY2(parseError.error == QJsonParseError::NoError, qPrintable(out));
        QVERIFY(err.contains("Dry run: nothing was written."));
        QCOMPARE(doc.value("problems").toArray().size(), 0);
        QJsonArray reports = doc.value("reports").toArray();
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports[0].toObject()["package_id"].toInt(), 101);
        QCOMPARE(reports[0].toObject()["name"].toString(), QStringLiteral("First"));
        QCOMPARE(reports[0].toObject()["action"].toString(), QStringLiteral("add"));
        QVERIFY(reports[0].toObject()["destination_id"].isNull());
        QCOMPARE(reports[0].toObject()["warnings"].toArray().first().toString(), QStringLiteral("no data source: the report will not run"));
        const QJsonObject role = doc.value("roles").toArray().first().toObject();
        QCOMPARE(role["name"].toString(), QStringLiteral("Readers"));
        QCOMPARE(role["action"].toString(), QStringLiteral("reuse"));
        QCOMPARE(role["destination_id"].toInt(), readers);
        QCOMPARE(doc.value("macros").toArray().size(), 2);
        QCOMPARE(rowCount(db, "ZAT_Report"), 0);

        // The real run: the same document with the new report's id.
        QCOMPARE(RunTool("velmora-transfer", args, &out, &err), 0);
        doc = QJsonDocument::fromJson(out.toUtf8(), &parseError).object();
        QVERIFY2(parseError.error == QJsonParseError::NoError, qPrintable(out));
        const int made = Sql::scalar(db, "Select IdReport From ZAT_Report Where Name = 'First'").toInt();
        QVERIFY(made != 0);
        QCOMPARE(doc.value("reports").toArray()[0].toObject()["destination_id"].toInt(), made);
        QVERIFY(err.contains("Operation completed successfully."));

        // Refused: new reports cannot go into the recycle bin.
        QCOMPARE(RunTool("velmora-transfer", {"import", "--repository", repo, "--package", path, "--category", "2",
                                              "--reports", "101", "--dry-run", "--json"}, &out, &err), 1);
        doc = QJsonDocument::fromJson(out.toUtf8(), &parseError).object();
        QVERIFY2(parseError.error == QJsonParseError::NoError, qPrintable(out));
        QCOMPARE(doc.value("refused").toBool(), true);
        QCOMPARE(doc.value("problems").toArray().first().toString(), QStringLiteral("The category 2 cannot hold new reports."));
        QVERIFY(err.contains("The import would be refused: 1 problem(s)."));
        QCOMPARE(rowCount(db, "ZAT_Report"), 1);
    }
};

QTEST_GUILESS_MAIN(TestImportPlan)
#include "test_import_plan.moc"
