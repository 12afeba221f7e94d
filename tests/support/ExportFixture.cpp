#include "ExportFixture.h"

#include "ReportFixtures.h"
#include "TestDb.h"

namespace ExportFixture {

int add(const QSqlDatabase &db, const QString &table, const QString &idColumn, const Sql::Values &values)
{
    return Sql::insert(db, table, idColumn, values);
}

int count(const QSqlDatabase &db, const QString &sql) { return Sql::scalar(db, sql).toInt(); }

static int category(const QSqlDatabase &db, const QString &name, int parent, int sortNr)
{
    const int id = add(db, "ZAT_Category", "IdCateg",
                       {{"Name", name}, {"Description", name + " folder"}, {"IdParent", parent}, {"IsDeleted", 0},
                        {"ShowDeleted", 0}});
    add(db, "ZAT_Sort", "IdSort", {{"ItemType", "c"}, {"IdItem", id}, {"SortNr", sortNr}});
    return id;
}

static int report(const QSqlDatabase &db, const QString &name, int categ, const QString &code = QString())
{
    const int id = add(db, "ZAT_Report", "IdReport",
                       {{"Name", name}, {"FilePath", "/out/" + name + ".xlsx"}, {"Version", "Excel"},
                        {"Modified", Sql::dateValue(QDateTime(QDate(2024, 3, 5), QTime(10, 0)))},
                        {"Description", "about " + name}, {"IdCateg", categ}, {"Macro", "m"}, {"IsDeleted", 0},
                        {"ShowDeleted", 1}, {"DelExSheet", 1}, {"DestinationFileAtRuntime", 0},
                        {"SyncronizeCode", code.isNull() ? QVariant() : QVariant(code)}});
    add(db, "ZAT_Sort", "IdSort", {{"ItemType", "e"}, {"IdItem", id}, {"SortNr", id}});
    return id;
}

static int macro(const QSqlDatabase &db, int categ, const QString &name)
{
    return add(db, "ZAT_Macros", "IdMacro", {{"IdCateg", categ}, {"MacroName", name}, {"Body", "Sub " + name + "()"}});
}

static void reference(const QSqlDatabase &db, int source, int macro, const QString &tip)
{
    add(db, "ZAT_References", "IdReference", {{"IdSource", source}, {"IdMacro", macro}, {"Tip", tip}});
}

Sample build(const QSqlDatabase &db)
{
    Sample s;
    s.catA = category(db, "Sales", 1, 5);
    s.catB = category(db, "Monthly 'quoted' %", s.catA, 1);
    s.alpha = report(db, "Alpha", s.catB);
    s.betaCode = QString(50, QLatin1Char('7'));
    s.beta = report(db, "Beta", s.catB, s.betaCode);
    s.gamma = report(db, QStringLiteral("Gamma ü"), s.catA, QString(""));
    s.hidden = report(db, "Hidden", s.catA);

    add(db, "ZAT_ExcelSheetSettings", "IdSetting",
        {{"IdReport", s.alpha}, {"SheetName", "Sheet"}, {"ShowGridLines", "1"}, {"FontName", "Arial"},
         {"FontSize", 11}, {"ReportTitle", "Title"}});
    for (int i = 0; i < 3; ++i)
        add(db, "ZAT_ReportCols", "IdReportCol",
            {{"IdReport", s.alpha}, {"Name", QStringLiteral("Col%1").arg(i)}, {"Type", i}, {"Width", 10 * i},
             {"Hide", 0}, {"AutoSum", 1}});

    s.ds1 = add(db, "ZAT_DataSource", "IdDataSource",
                {{"Name", "Main"}, {"DataSourceString", "dsn=main"}, {"IsJet", 0}, {"Description", "main db"}});
    s.ds2 = add(db, "ZAT_DataSource", "IdDataSource",
                {{"Name", "Archive"}, {"DataSourceString", "dsn=arch"}, {"IsJet", 1}});
    s.v1 = add(db, "ZAT_Var", "IdVar", {{"IdDataSource", s.ds1}, {"Name", "From"}, {"Type", 3}, {"SortNr", 1}});
    s.v2 = add(db, "ZAT_Var", "IdVar", {{"IdDataSource", s.ds1}, {"Name", "To"}, {"Type", 3}, {"SortNr", 2}});
    s.v3 = add(db, "ZAT_Var", "IdVar", {{"IdDataSource", s.ds2}, {"Name", "Year"}, {"Type", 2}, {"SortNr", 1}});
    add(db, "ZAT_Dependences", "ID", {{"IdVar", s.v1}, {"Iddep", s.v2}});
    add(db, "ZAT_Dependences", "ID", {{"IdVar", s.v2}, {"Iddep", s.v1}});
    add(db, "ZAT_Dependences", "ID", {{"IdVar", s.v3}, {"Iddep", s.v1}});

    s.view1 = add(db, "ZAT_SQLViews", "IdSQLView", {{"strSQLView", "Select 1"}, {"Description", "one"}});
    s.view2 = add(db, "ZAT_SQLViews", "IdSQLView", {{"strSQLView", "Select 2"}, {"Description", "two"}});
    add(db, "ZAT_ReportDS", "IdReportDS", {{"IdReport", s.alpha}, {"IdSQLView", s.view1}, {"IdDataSource", s.ds1}});
    add(db, "ZAT_ReportDS", "IdReportDS", {{"IdReport", s.alpha}, {"IdSQLView", s.view2}, {"IdDataSource", s.ds2}});
    add(db, "ZAT_ReportDS", "IdReportDS", {{"IdReport", s.gamma}, {"IdSQLView", s.view1}, {"IdDataSource", s.ds1}});
    add(db, "ZAT_ReportDS", "IdReportDS", {{"IdReport", s.hidden}, {"IdSQLView", s.view2}, {"IdDataSource", s.ds2}});

    s.macroCateg = add(db, "ZAT_CategMacros", "IdCateg", {{"Denumire", "Formatting"}});
    s.m1 = macro(db, s.macroCateg, "M1");
    s.m2 = macro(db, s.macroCateg, "M2");
    s.m3 = macro(db, s.macroCateg, "M3");
    s.m4 = macro(db, s.macroCateg, "M4");
    s.m5 = macro(db, 999, "M5"); // its category is missing
    reference(db, s.m1, s.m2, "m");
    reference(db, s.m2, s.m3, "m");
    reference(db, s.m3, s.m1, "m");
    reference(db, s.m4, s.m1, "m");
    reference(db, s.alpha, s.m1, "r");
    reference(db, s.beta, s.m5, "r");
    reference(db, s.hidden, s.m4, "r");

    s.role1 = add(db, "ZAT_Role", "IdRole", {{"Role", "Readers"}});
    s.role2 = add(db, "ZAT_Role", "IdRole", {{"Role", "Writers"}});
    add(db, "ZAT_Role_Report", "IdLeg", {{"IdRole", s.role1}, {"IdReport", s.alpha}});
    add(db, "ZAT_Role_Report", "IdLeg", {{"IdRole", s.role1}, {"IdReport", s.gamma}});
    add(db, "ZAT_Role_Report", "IdLeg", {{"IdRole", s.role2}, {"IdReport", s.hidden}});
    s.app = add(db, "ZAT_App", "IdApp", {{"AppName", "Reader app"}});
    s.user1 = add(db, "ZAT_UserApp", "IdUserApp",
                  {{"IdApp", s.app}, {"IdUser", 7}, {"User", "ann"}, {"UserFName", "Ann"}, {"Password", "x\x01y"}});
    s.user2 = add(db, "ZAT_UserApp", "IdUserApp", {{"IdApp", s.app}, {"User", "bob"}});
    add(db, "ZAT_UserApp_Role", "IdLeg", {{"IdUserApp", s.user1}, {"IdRole", s.role1}});
    add(db, "ZAT_UserApp_Role", "IdLeg", {{"IdUserApp", s.user2}, {"IdRole", s.role2}});
    return s;
}

Sample buildForTool(RepositorySession &session, const QString &backend, QString *repoArg)
{
    TestDb::freshRepository(session, backend);
    const Sample sample = build(session.Connection());
    if (backend == QLatin1String("sqlite")) {
        *repoArg = session.DatabasePath();
        session.ResetConnection();
    } else {
        *repoArg = ReportFixtures::postgresUri(session.Connection());
    }
    return sample;
}

} // namespace ExportFixture
