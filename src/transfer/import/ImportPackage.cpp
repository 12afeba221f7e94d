#include "ImportRunInternal.h"

#include <QSet>
#include <QSqlQuery>

// Package rows are read straight from SQLite; each column's position is found once per statement.
static Recs readAll(const QSqlDatabase &db, const QString &sql)
{
    return ExportRows::rows(db, sql);
}

void ImportRun::loadPackage(const QSqlDatabase &package)
{
    Package &p = *m_pkg;
    const QSet<int> ticked(m_opt.reportIds.cbegin(), m_opt.reportIds.cend());

    for (const Rec &r : readAll(package, QStringLiteral("Select * From ZAT_Report Order By IdReport"))) {
        const int id = idOf(r, "IdReport");
        if (ticked.contains(id) && !p.reports.contains(id))
            p.reports.insert(id, r);
    }
    if (!ticked.isEmpty()) {
        for (const Rec &r : readAll(package, QStringLiteral("Select * From ZAT_ExcelSheetSettings Order By IdSetting"))) {
            const int id = idOf(r, "IdReport");
            if (ticked.contains(id) && !p.settings.contains(id))
                p.settings.insert(id, r);
        }
        for (const Rec &r : readAll(package, QStringLiteral("Select * From ZAT_ReportCols Order By IdReportCol")))
            if (ticked.contains(idOf(r, "IdReport")))
                p.columns[idOf(r, "IdReport")] << r;
        for (const Rec &r : readAll(package, QStringLiteral("Select * From ZAT_ReportDS Order By IdReportDS")))
            if (ticked.contains(idOf(r, "IdReport")))
                p.links[idOf(r, "IdReport")] << r;
        for (const Rec &r : readAll(package, QStringLiteral("Select * From ZAT_SQLViews Order By IdSQLView")))
            if (!p.views.contains(idOf(r, "IdSQLView")))
                p.views.insert(idOf(r, "IdSQLView"), r);
        for (const Rec &r : readAll(package, QStringLiteral("Select * From ZAT_Sort Where ItemType = 'e' Order By IdSort"))) {
            const int id = idOf(r, "IdItem");
            if (ticked.contains(id) && !p.sortRows.contains(id))
                p.sortRows.insert(id, r);
        }
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
    for (const Rec &r : readAll(package, QStringLiteral("Select * From ZAT_References Order By IdReference"))) {
        if (isTip(r, 'm')) {
            p.macroRefs << r;
            if (p.macroCategOf.contains(idOf(r, "IdMacro")))
                p.macroUses[idOf(r, "IdSource")] << idOf(r, "IdMacro");
        } else if (isTip(r, 'r')) {
            p.reportRefsBySource[idOf(r, "IdSource")] << r;
        }
    }
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
        p.roleReports = readAll(package, QStringLiteral("Select * From ZAT_Role_Report Order By IdLeg"));
    }
    if (m_opt.users) {
        p.apps = readAll(package, QStringLiteral("Select * From ZAT_App Order By IdApp"));
        p.users = readAll(package, QStringLiteral("Select * From ZAT_UserApp Order By IdUserApp"));
        p.userRoles = readAll(package, QStringLiteral("Select * From ZAT_UserApp_Role Order By IdLeg"));
    }
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
        for (const Rec &g : p.roleReports) {
            if (!ticked.contains(idOf(g, "IdReport")))
                continue;
            if (!packageRoles.contains(idOf(g, "IdRole")))
                problems << packageError(QStringLiteral("The package grants report %1 to role %2, which it does not hold.")
                                       .arg(idOf(g, "IdReport"))
                                       .arg(idOf(g, "IdRole")));
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
