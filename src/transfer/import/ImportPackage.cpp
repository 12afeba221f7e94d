#include "ImportRunInternal.h"

#include <QSet>
#include <QSqlQuery>
#include <QSqlRecord>
#include <memory>

// Package rows are read straight from SQLite; each column's position is found once per statement.
static Recs readAll(const QSqlDatabase &db, const QString &sql)
{
    return ExportRows::rows(db, sql);
}

// Row by row, for tables that grow with the package: only what the run keeps stays in memory.
template <typename F>
static void forEachRow(const QSqlDatabase &db, const QString &sql, F &&f)
{
    QSqlQuery q = Sql::exec(db, sql);
    auto columns = std::make_shared<ExportRows::Columns>();
    const QSqlRecord record = q.record();
    for (int i = 0; i < record.count(); ++i)
        columns->names << record.fieldName(i);
    QVariantList values;
    while (q.next()) {
        values.clear();
        for (int i = 0; i < record.count(); ++i)
            values << q.value(i);
        f(Rec(columns, values));
    }
}

void ImportRun::loadPackage(const QSqlDatabase &package)
{
    Package &p = *m_pkg;
    m_package = package;
    const QSet<int> ticked(m_opt.reportIds.cbegin(), m_opt.reportIds.cend());

    if (!ticked.isEmpty()) {
        forEachRow(package, QStringLiteral("Select IdReport, Name, SyncronizeCode, IdCateg From ZAT_Report Order By IdReport"),
                   [&](const Rec &r) {
                       const int id = idOf(r, "IdReport");
                       if (ticked.contains(id) && !p.reports.contains(id))
                           p.reports.insert(id, {txt(r, "Name").toString(),
                                                 // only a paired report is ever matched by its code
                                                 m_opt.syncPairs.contains(id) ? txt(r, "SyncronizeCode").toString() : QString(),
                                                 idOf(r, "IdCateg"), {}});
                   });
        forEachRow(package, QStringLiteral("Select IdReport, IdDataSource From ZAT_ReportDS Order By IdReportDS"),
                   [&](const Rec &r) {
                       auto it = p.reports.find(idOf(r, "IdReport"));
                       if (it != p.reports.end())
                           it->linkDataSources << idOf(r, "IdDataSource");
                   });
    }
    for (const Rec &r : readAll(package, QStringLiteral("Select * From ZAT_DataSource Order By IdDataSource")))
        if (!p.dataSources.contains(idOf(r, "IdDataSource")))
            p.dataSources.insert(idOf(r, "IdDataSource"), r);
    for (const Rec &r : readAll(package, QStringLiteral("Select * From ZAT_Var Order By IdVar")))
        if (!r.value("IdDataSource").isNull())
            p.vars[idOf(r, "IdDataSource")] << r;
    p.dependences = readAll(package, QStringLiteral("Select * From ZAT_Dependences Order By ID"));

    p.macroCategories = readAll(package, QStringLiteral("Select * From ZAT_CategMacros Order By IdCateg"));
    p.macros = readAll(package, QStringLiteral("Select * From ZAT_Macros Order By IdMacro"));
    for (const Rec &r : p.macros)
        p.macroCategOf.insert(idOf(r, "IdMacro"), idOf(r, "IdCateg"));
    forEachRow(package, QStringLiteral("Select * From ZAT_References Order By IdReference"), [&](const Rec &r) {
        if (isTip(r, 'm')) {
            p.macroRefs << r;
            if (p.macroCategOf.contains(idOf(r, "IdMacro")))
                p.macroUses[idOf(r, "IdSource")] << idOf(r, "IdMacro");
        } else if (isTip(r, 'r')) {
            p.reportMacros[idOf(r, "IdSource")] << idOf(r, "IdMacro");
        }
    });
    if (m_opt.folders && !ticked.isEmpty()) {
        for (const Rec &r : readAll(package, QStringLiteral("Select * From ZAT_Category Order By IdCateg")))
            if (!p.categories.contains(idOf(r, "IdCateg")))
                p.categories.insert(idOf(r, "IdCateg"), r);
        for (const Rec &r : readAll(package, QStringLiteral("Select * From ZAT_Sort Where ItemType = 'c' Order By IdSort")))
            if (!p.categorySortNr.contains(idOf(r, "IdItem")))
                p.categorySortNr.insert(idOf(r, "IdItem"), num(r, "SortNr"));
    }
    if (m_opt.roles || m_opt.users) {
        p.roles = readAll(package, QStringLiteral("Select * From ZAT_Role Order By IdRole"));
        forEachRow(package, QStringLiteral("Select IdRole, IdReport From ZAT_Role_Report Order By IdLeg"), [&](const Rec &g) {
            if (ticked.contains(idOf(g, "IdReport")))
                p.grants << Package::Grant{idOf(g, "IdReport"), idOf(g, "IdRole")};
        });
    }
    if (m_opt.users) {
        p.apps = readAll(package, QStringLiteral("Select * From ZAT_App Order By IdApp"));
        p.users = readAll(package, QStringLiteral("Select * From ZAT_UserApp Order By IdUserApp"));
        p.userRoles = readAll(package, QStringLiteral("Select * From ZAT_UserApp_Role Order By IdLeg"));
    }
}

// The rows of the given reports, in place of the previous chunk's.
void ImportRun::loadReportRows(const QList<int> &ids)
{
    Package &p = *m_pkg;
    p.rows.clear();
    p.settings.clear();
    p.columns.clear();
    p.links.clear();
    p.views.clear();
    p.sortRows.clear();
    QList<int> present;
    for (int id : ids)
        if (p.reports.contains(id))
            present << id;
    if (present.isEmpty())
        return;
    const QString in = Sql::idList(present);
    for (const Rec &r : readAll(m_package, QStringLiteral("Select * From ZAT_Report Where IdReport %1 Order By IdReport").arg(in)))
        if (!p.rows.contains(idOf(r, "IdReport")))
            p.rows.insert(idOf(r, "IdReport"), r);
    for (const Rec &r : readAll(m_package, QStringLiteral("Select * From ZAT_ExcelSheetSettings Where IdReport %1 "
                                                          "Order By IdSetting").arg(in)))
        if (!p.settings.contains(idOf(r, "IdReport")))
            p.settings.insert(idOf(r, "IdReport"), r);
    for (const Rec &r : readAll(m_package, QStringLiteral("Select * From ZAT_ReportCols Where IdReport %1 Order By IdReportCol").arg(in)))
        p.columns[idOf(r, "IdReport")] << r;
    QList<int> views;
    for (const Rec &r : readAll(m_package, QStringLiteral("Select * From ZAT_ReportDS Where IdReport %1 Order By IdReportDS").arg(in))) {
        p.links[idOf(r, "IdReport")] << r;
        if (!r.value("IdSQLView").isNull())
            views << idOf(r, "IdSQLView");
    }
    if (!views.isEmpty())
        for (const Rec &r : readAll(m_package, QStringLiteral("Select * From ZAT_SQLViews Where IdSQLView %1 Order By IdSQLView")
                                                   .arg(Sql::idList(views))))
            if (!p.views.contains(idOf(r, "IdSQLView")))
                p.views.insert(idOf(r, "IdSQLView"), r);
    for (const Rec &r : readAll(m_package, QStringLiteral("Select * From ZAT_Sort Where ItemType = 'e' And IdItem %1 "
                                                          "Order By IdSort").arg(in)))
        if (!p.sortRows.contains(idOf(r, "IdItem")))
            p.sortRows.insert(idOf(r, "IdItem"), r);
}

// Everything the steps translate is checked before the first row is written, and every problem
// is found: an administrator should not have to fix them one per try.
QList<AppError> ImportRun::findProblems()
{
    const Package &p = *m_pkg;
    QList<AppError> problems;
    bool anyNew = false;
    for (int id : m_opt.reportIds) {
        if (!p.reports.contains(id)) {
            problems << packageError(QStringLiteral("The package holds no report with id %1.").arg(id));
            continue;
        }
        anyNew = anyNew || !m_opt.syncPairs.contains(id);
    }
    // A new report in the recycle bin, or in a deleted or missing category, would be listed nowhere.
    if (anyNew) {
        QSqlQuery c = Sql::exec(m_db, QStringLiteral("Select IsDeleted From ZAT_Category Where IdCateg = %1")
                                          .arg(m_opt.idCategDest));
        if (m_opt.idCategDest == 2 || !c.next() || Sql::integer(c, "IsDeleted") != 0)
            problems << AppError(ErrorNumber::InvalidArgument,
                           QStringLiteral("The category %1 cannot hold new reports.").arg(m_opt.idCategDest));
    }

    QSet<int> importedVars;
    for (int ds : dataSourcesUsed)
        for (const Rec &v : p.vars.value(ds))
            importedVars.insert(idOf(v, "IdVar"));
    for (const Rec &d : p.dependences) {
        if (!importedVars.contains(idOf(d, "IdVar")))
            continue;
        if (!importedVars.contains(idOf(d, "Iddep")))
            problems << packageError(QStringLiteral("Variable %1 depends on variable %2, which is not imported with it.")
                                   .arg(idOf(d, "IdVar"))
                                   .arg(idOf(d, "Iddep")));
    }

    const QSet<int> ticked(m_opt.reportIds.cbegin(), m_opt.reportIds.cend());
    QSet<int> packageRoles;
    for (const Rec &r : p.roles)
        packageRoles.insert(idOf(r, "IdRole"));
    if (m_opt.roles) {
        for (const Package::Grant &g : p.grants) {
            if (!packageRoles.contains(g.role))
                problems << packageError(QStringLiteral("The package grants report %1 to role %2, which it does not hold.")
                                       .arg(g.report)
                                       .arg(g.role));
        }
    }
    if (m_opt.users) {
        QSet<int> apps, users;
        for (const Rec &a : p.apps)
            apps.insert(idOf(a, "IdApp"));
        for (const Rec &u : p.users) {
            if (!apps.contains(idOf(u, "IdApp")))
                problems << packageError(QStringLiteral("The package's user %1 belongs to application %2, which it does not hold.")
                                       .arg(idOf(u, "IdUserApp"))
                                       .arg(idOf(u, "IdApp")));
            users.insert(idOf(u, "IdUserApp"));
        }
        for (const Rec &ur : p.userRoles) {
            if (!users.contains(idOf(ur, "IdUserApp")))
                problems << packageError(QStringLiteral("The package gives role %1 to user %2, which it does not hold.")
                                       .arg(idOf(ur, "IdRole"))
                                       .arg(idOf(ur, "IdUserApp")));
        }
    }
    return problems;
}

void ImportRun::validate()
{
    const QList<AppError> problems = findProblems();
    if (problems.isEmpty())
        return;
    AppError all = problems.first();
    for (qsizetype i = 1; i < problems.size(); ++i)
        all.description += QLatin1Char('\n') + problems[i].description;
    throw all;
}

QDateTime packageDate(const QVariant &value)
{
    QDateTime d = Sql::toDateTime(value);
    if (d.isValid() || value.isNull())
        return d;
    // Month/day/year, with or without leading zeros, optionally followed by a time of day.
    const QString s = value.toString().simplified();
    for (const char *format : {"M/d/yyyy", "M/d/yyyy H:mm:ss", "M/d/yyyy H:mm", "M/d/yyyy h:mm:ss AP", "M/d/yyyy h:mm AP",
                               "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy-MM-dd"}) {
        d = QDateTime::fromString(s, QLatin1String(format));
        if (d.isValid())
            return d;
    }
    return {};
}
