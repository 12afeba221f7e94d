// Times (processor time) an export of a synthetic file repository against a bare copy of the same rows
// (one INSERT ... SELECT per table into an attached empty package), at 500, 2,000 and 8,000
// reports. The bare copy is SQLite moving whole records between files without decoding them;
// the export applies its rules, row by row where they need it (reports, categories, macros, data
// sources, users); from an SQLite repository the bulk child rows move set-based.
// Usage: bench_export [report counts...] (build with CMAKE_BUILD_TYPE=Release for real figures)
#include "TestDb.h"
#include "repository/RepositorySession.h"
#include "repository/Sql.h"
#include "transfer/export/ExportRun.h"
#include "transfer/export/ExportTree.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
#include <ctime>

namespace {

// Processor time of this process: the machine is shared, so wall time alone says little.
double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

class Inserter {
public:
    explicit Inserter(const QSqlDatabase &db) : m_db(db) {}
    void row(const QString &table, const QStringList &columns, const QVariantList &values)
    {
        const QString key = table + columns.join(',');
        auto it = m_queries.find(key);
        if (it == m_queries.end()) {
            QSqlQuery q(m_db);
            QStringList names, marks;
            for (const QString &c : columns) {
                names << (c == QLatin1String("User") ? Sql::userColumn() : c);
                marks << "?";
            }
            q.prepare(QStringLiteral("Insert Into %1 (%2) Values (%3)").arg(table, names.join(','), marks.join(',')));
            it = m_queries.insert(key, q);
        }
        for (int i = 0; i < values.size(); ++i)
            it->bindValue(i, values[i]);
        if (!it->exec())
            qFatal("insert into %s failed", qPrintable(table));
    }

private:
    QSqlDatabase m_db;
    QHash<QString, QSqlQuery> m_queries;
};

void build(const QSqlDatabase &db, int reports)
{
    QSqlDatabase d = db;
    d.transaction();
    Inserter in(db);
    const int categories = reports / 10;
    int sortId = 100;
    for (int c = 0; c < categories; ++c) {
        const int id = 10 + c;
        in.row("ZAT_Category", {"IdCateg", "Name", "Description", "IdParent", "IsDeleted", "ShowDeleted"},
               {id, QStringLiteral("Category %1").arg(c), "", c < 10 ? 1 : 10 + c % 10, 0, 0});
        in.row("ZAT_Sort", {"IdSort", "ItemType", "IdItem", "SortNr"}, {++sortId, "c", id, c});
    }
    const int macros = 300;
    in.row("ZAT_CategMacros", {"IdCateg", "Denumire"}, {1, "Macros"});
    int refId = 0;
    for (int m = 1; m <= macros; ++m) {
        in.row("ZAT_Macros", {"IdMacro", "IdCateg", "MacroName", "Body"},
               {m, 1, QStringLiteral("Macro%1").arg(m), QStringLiteral("Sub Macro%1()\n  ' body\nEnd Sub").arg(m)});
        if (m % 10 != 0) // chains of ten macros
            in.row("ZAT_References", {"IdReference", "IdSource", "IdMacro", "Tip"}, {++refId, m, m + 1, "m"});
    }
    for (int ds = 1; ds <= 50; ++ds) {
        in.row("ZAT_DataSource", {"IdDataSource", "Name", "DataSourceString", "IsJet"},
               {ds, QStringLiteral("DS %1").arg(ds), QStringLiteral("dsn=db%1").arg(ds), 0});
        for (int v = 0; v < 10; ++v) {
            const int var = ds * 100 + v;
            in.row("ZAT_Var", {"IdVar", "IdDataSource", "Name", "Type", "Caption", "SortNr"},
                   {var, ds, QStringLiteral("V%1").arg(v), 1, "Caption", v + 1});
            if (v > 0)
                in.row("ZAT_Dependences", {"ID", "IdVar", "Iddep"}, {var, var, var - 1});
        }
    }
    for (int r = 1; r <= 20; ++r)
        in.row("ZAT_Role", {"IdRole", "Role"}, {r, QStringLiteral("Role %1").arg(r)});
    in.row("ZAT_App", {"IdApp", "AppName"}, {100, "Client"});
    for (int u = 1; u <= 200; ++u) {
        in.row("ZAT_UserApp", {"IdUserApp", "IdApp", "IdUser", "User", "UserFName", "UserLName", "Password"},
               {100 + u, 100, u, QStringLiteral("user%1").arg(u), "First", "Last", "pw"});
        in.row("ZAT_UserApp_Role", {"IdLeg", "IdUserApp", "IdRole"}, {u, 100 + u, 1 + u % 20});
    }
    int colId = 0;
    for (int r = 1; r <= reports; ++r) {
        in.row("ZAT_Report", {"IdReport", "Name", "FilePath", "Version", "Modified", "Description", "IdCateg", "Macro",
                              "IsDeleted", "ShowDeleted", "DelExSheet", "DestinationFileAtRuntime"},
               {r, QStringLiteral("Report %1").arg(r, 6, 10, QLatin1Char('0')), "/out/r.xlsx", "Excel",
                "2024-01-02 03:04:05", "desc", 10 + r % categories, "", 0, 0, 0, 0});
        in.row("ZAT_ExcelSheetSettings", {"IdSetting", "IdReport", "SheetName", "FontName", "FontSize"},
               {r, r, "Sheet1", "Arial", 10});
        for (int c = 0; c < 10; ++c)
            in.row("ZAT_ReportCols", {"IdReportCol", "IdReport", "Name", "Type", "Width", "Hide", "AutoSum"},
                   {++colId, r, QStringLiteral("Col%1").arg(c), 1, 12, 0, 0});
        in.row("ZAT_SQLViews", {"IdSQLView", "strSQLView", "Description"}, {r, "Select * From T Where x = @p", ""});
        in.row("ZAT_ReportDS", {"IdReportDS", "IdReport", "IdSQLView", "IdDataSource"}, {r, r, r, 1 + r % 50});
        in.row("ZAT_Sort", {"IdSort", "ItemType", "IdItem", "SortNr"}, {++sortId, "e", r, r});
        for (int k = 0; k < 3; ++k)
            in.row("ZAT_References", {"IdReference", "IdSource", "IdMacro", "Tip"}, {++refId, r, 1 + (r * 7 + k * 101) % macros, "r"});
        in.row("ZAT_Role_Report", {"IdLeg", "IdRole", "IdReport"}, {r, 1 + r % 20, r});
    }
    d.commit();
}

double bareCopy(const QString &repoPath, RepositorySession &session, const QString &packagePath)
{
    session.CreateDatabase(packagePath);
    double ms = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "bench-bare");
        db.setDatabaseName(repoPath);
        db.open();
        Sql::exec(db, QStringLiteral("Attach Database '%1' As pkg").arg(packagePath));
        const QStringList tables{"ZAT_Category", "ZAT_Sort", "ZAT_Report", "ZAT_ExcelSheetSettings", "ZAT_ReportCols",
                                 "ZAT_ReportDS", "ZAT_SQLViews", "ZAT_CategMacros", "ZAT_Macros", "ZAT_References",
                                 "ZAT_DataSource", "ZAT_Var", "ZAT_Dependences", "ZAT_Role", "ZAT_Role_Report",
                                 "ZAT_App", "ZAT_UserApp", "ZAT_UserApp_Role"};
        for (const QString &t : tables)
            Sql::exec(db, QStringLiteral("Delete From pkg.%1").arg(t));
        const double start = cpuMs();
        db.transaction();
        for (const QString &t : tables)
            Sql::exec(db, QStringLiteral("Insert Into pkg.%1 Select * From main.%1").arg(t));
        db.commit();
        ms = cpuMs() - start;
        db.close();
    }
    QSqlDatabase::removeDatabase("bench-bare");
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QString::fromLocal8Bit(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {500, 2000, 8000};
    QTemporaryDir dir;
    QTextStream out(stdout);
    out << "reports  export(ms)  again(ms)  bare copy(ms)  ratio  export per report(us)\n";
    for (int n : sizes) {
        const QString repoPath = QDir(dir.path()).filePath(QStringLiteral("repo%1.mdb").arg(n));
        RepositorySession session;
        session.CreateDatabase(repoPath);
        session.OpenFile(repoPath);
        build(session.Connection(), n);

        const QList<ExportTreeNode> categories = LoadExportCategories(session);
        ExportOptions options;
        options.reportIds = ExportTreeReportIds(categories, LoadExportReports(session, categories));
        options.packagePath = QDir(dir.path()).filePath(QStringLiteral("package%1.mdb").arg(n));
        double start = cpuMs();
        ExportRun(session, options).run();
        const double exportMs = cpuMs() - start;
        // Again, now that every report has its code.
        start = cpuMs();
        ExportRun(session, options).run();
        const double againMs = cpuMs() - start;
        session.ResetConnection();
        const double bareMs = bareCopy(repoPath, session, QDir(dir.path()).filePath(QStringLiteral("bare%1.mdb").arg(n)));
        out << QStringLiteral("%1  %2  %3  %4  %5  %6\n")
                   .arg(n, 7)
                   .arg(exportMs, 10, 'f', 1)
                   .arg(againMs, 9, 'f', 1)
                   .arg(bareMs, 13, 'f', 1)
                   .arg(exportMs / bareMs, 5, 'f', 1)
                   .arg(exportMs * 1000.0 / n, 21, 'f', 1);
        out.flush();
    }
    // With the test server configured, the same export from a PostgreSQL repository (wall time:
    // there the round trips count).
    if (TestDb::postgresAvailable()) {
        out << "\nPostgreSQL repository\nreports  export wall(ms)  per report(us)\n";
        for (int n : sizes) {
            RepositorySession session;
            TestDb::freshRepository(session, QStringLiteral("postgres"));
            build(session.Connection(), n);
            const QList<ExportTreeNode> categories = LoadExportCategories(session);
            ExportOptions options;
            options.reportIds = ExportTreeReportIds(categories, LoadExportReports(session, categories));
            options.packagePath = QDir(dir.path()).filePath(QStringLiteral("pg-package%1.mdb").arg(n));
            QElapsedTimer timer;
            timer.start();
            ExportRun(session, options).run();
            const double ms = timer.nsecsElapsed() / 1e6;
            out << QStringLiteral("%1  %2  %3\n").arg(n, 7).arg(ms, 16, 'f', 1).arg(ms * 1000.0 / n, 15, 'f', 1);
            out.flush();
        }
    }
    return 0;
}
