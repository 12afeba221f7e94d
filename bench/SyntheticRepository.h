#pragma once

// A synthetic file repository for the transfer benchmarks: categories, reports with settings,
// ten columns, a view, a data-source link, a sort row, macro references and a grant each, plus
// macros in chains, data sources with variables and dependencies, roles and users.
#include "repository/PackageFile.h"
#include "repository/RepositorySession.h"
#include "repository/Schema.h"
#include "repository/Sql.h"
#include "transfer/export/ExportRun.h"
#include "transfer/export/ExportTree.h"
#include "transfer/import/ImportOptions.h"
#include "transfer/import/PackageTree.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QVariantList>

namespace SyntheticRepository {

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

inline void build(const QSqlDatabase &db, int reports)
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

// A new file repository at path, filled by build() and left open in session.
inline void createFile(RepositorySession &session, const QString &path, int reports)
{
    session.CreateDatabase(path);
    session.OpenFile(path);
    build(session.Connection(), reports);
}

// Every report of the export tree, in its order, into a package at packagePath.
inline ExportOptions exportEverything(RepositorySession &session, const QString &packagePath)
{
    const QList<ExportTreeNode> categories = LoadExportCategories(session);
    ExportOptions options;
    options.reportIds = ExportTreeReportIds(categories, LoadExportReports(session, categories));
    options.packagePath = packagePath;
    return options;
}

// Every report of the package at packagePath, with the data sources of those reports, roles
// and users: the import the transfer benchmarks time.
inline ImportOptions importEverything(const QString &packagePath)
{
    ImportOptions options;
    options.packagePath = packagePath;
    {
        QSqlDatabase pkg = PackageFile::openForReading(packagePath, Schema::PackagePassword, "bench-tree");
        options.reportIds = LoadPackageTree(pkg).reportIds();
    }
    PackageFile::close("bench-tree");
    options.dataSources = ImportOptions::Choice::ForReports;
    options.roles = options.users = true;
    return options;
}

// The package tables a bare copy moves: the reference the import is measured against.
inline const QStringList &copiedTables()
{
    static const QStringList tables{"ZAT_Report", "ZAT_ExcelSheetSettings", "ZAT_ReportCols", "ZAT_ReportDS",
                                    "ZAT_SQLViews", "ZAT_Sort", "ZAT_CategMacros", "ZAT_Macros", "ZAT_References",
                                    "ZAT_DataSource", "ZAT_Var", "ZAT_Dependences", "ZAT_Role", "ZAT_Role_Report",
                                    "ZAT_App", "ZAT_UserApp", "ZAT_UserApp_Role"};
    return tables;
}

// The report counts given on the command line, else defaults.
inline QList<int> reportCounts(int argc, char **argv, const QList<int> &defaults = {500, 2000, 8000})
{
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QString::fromLocal8Bit(argv[i]).toInt();
    return sizes.isEmpty() ? defaults : sizes;
}

} // namespace SyntheticRepository
