#include "ReportDefinition.h"

#include "repository/AppError.h"
#include "repository/Sql.h"

#include <QHash>
#include <QSet>

#include <functional>

bool SettingIsOn(const QString &stored, bool fallback)
{
    const QString s = stored.trimmed().toLower();
    if (s.isEmpty())
        return fallback;
    return !(s == QLatin1String("0") || s == QLatin1String("false") || s == QLatin1String("no")
             || s == QLatin1String("off"));
}

QList<ReportVariable> OrderVariables(const QList<ReportVariable> &bySortNr)
{
    QHash<int, int> indexOf;
    for (int i = 0; i < bySortNr.size(); ++i)
        indexOf.insert(bySortNr[i].id, i);
    QList<ReportVariable> ordered;
    ordered.reserve(bySortNr.size());
    QList<int> state(bySortNr.size(), 0); // 0 new, 1 on the path, 2 placed
    // Depth-first: a variable is placed once everything it depends on is placed.
    std::function<void(int, QStringList &)> place = [&](int i, QStringList &path) {
        if (state[i] == 2)
            return;
        if (state[i] == 1) {
            path << bySortNr[i].name;
            throw AppError(ErrorNumber::InvalidArgument,
                           QStringLiteral("The variables %1 depend on each other in a circle.")
                               .arg(path.join(QStringLiteral(" -> "))));
        }
        state[i] = 1;
        path << bySortNr[i].name;
        for (int dep : bySortNr[i].dependsOn) {
            const auto it = indexOf.constFind(dep);
            if (it != indexOf.constEnd())
                place(*it, path);
        }
        path.removeLast();
        state[i] = 2;
        ordered << bySortNr[i];
    };
    for (int i = 0; i < bySortNr.size(); ++i) {
        QStringList path;
        place(i, path);
    }
    return ordered;
}

ReportDefinition LoadReportDefinition(const QSqlDatabase &db, int reportId)
{
    ReportDefinition def;
    def.id = reportId;
    {
        QSqlQuery q = Sql::exec(db, QStringLiteral("Select * From ZAT_Report Where IdReport = %1").arg(reportId));
        if (!q.next())
            throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("The report %1 does not exist.").arg(reportId));
        def.name = Sql::text(q, "Name");
        def.filePath = Sql::text(q, "FilePath");
        def.version = Sql::text(q, "Version");
        def.destinationAtRuntime = Sql::integer(q, "DestinationFileAtRuntime") != 0;
    }
    {
        QSqlQuery q = Sql::exec(db, QStringLiteral("Select * From ZAT_ExcelSheetSettings Where IdReport = %1 "
                                                   "Order By IdSetting").arg(reportId));
        if (q.next()) {
            SheetSettings &s = def.sheet;
            s.sheetName = Sql::text(q, "SheetName");
            s.showGridLines = Sql::text(q, "ShowGridLines");
            s.showAutoFilters = Sql::text(q, "ShowAutoFilters");
            s.fontName = Sql::text(q, "FontName");
            s.fontSize = q.value("FontSize").toDouble();
            s.reportTitle = Sql::text(q, "ReportTitle");
            s.freezPanel = Sql::text(q, "FreezPanel");
        }
    }
    {
        QSqlQuery q = Sql::exec(db, QStringLiteral("Select * From ZAT_ReportCols Where IdReport = %1 "
                                                   "Order By IdReportCol").arg(reportId));
        while (q.next()) {
            ReportColumnDef c;
            c.name = Sql::text(q, "Name");
            c.type = Sql::integer(q, "Type");
            c.width = Sql::integer(q, "Width");
            c.hide = Sql::integer(q, "Hide") != 0;
            c.autoSum = Sql::integer(q, "AutoSum") != 0;
            def.columns << c;
        }
    }
    const QString who = def.name.isEmpty() ? QString::number(reportId) : def.name;
    int viewId = 0;
    {
        QSqlQuery q = Sql::exec(db, QStringLiteral("Select * From ZAT_ReportDS Where IdReport = %1 "
                                                   "Order By IdReportDS").arg(reportId));
        if (!q.next())
            throw AppError(ErrorNumber::InvalidArgument,
                           QStringLiteral("The report '%1' has no data source.").arg(who));
        viewId = Sql::integer(q, "IdSQLView");
        def.dataSourceId = Sql::integer(q, "IdDataSource");
    }
    {
        QSqlQuery q = Sql::exec(db, QStringLiteral("Select * From ZAT_DataSource Where IdDataSource = %1")
                                        .arg(def.dataSourceId));
        if (!q.next())
            throw AppError(ErrorNumber::InvalidArgument,
                           QStringLiteral("The data source of the report '%1' does not exist.").arg(who));
        def.dataSourceName = Sql::text(q, "Name");
        def.connectionString = Sql::text(q, "DataSourceString");
        def.isJet = Sql::integer(q, "IsJet") != 0;
    }
    {
        QSqlQuery q = Sql::exec(db, QStringLiteral("Select strSQLView From ZAT_SQLViews Where IdSQLView = %1").arg(viewId));
        if (q.next())
            def.sql = Sql::text(q, "strSQLView");
        if (def.sql.trimmed().isEmpty())
            throw AppError(ErrorNumber::InvalidArgument,
                           QStringLiteral("The report '%1' has no SQL view to run.").arg(who));
    }
    QList<ReportVariable> vars;
    QHash<int, int> indexOf;
    {
        QSqlQuery q = Sql::exec(db, QStringLiteral("Select * From ZAT_Var Where IdDataSource = %1 "
                                                   "Order By SortNr, IdVar").arg(def.dataSourceId));
        while (q.next()) {
            ReportVariable v;
            v.id = Sql::integer(q, "IdVar");
            v.name = Sql::text(q, "Name");
            v.type = Sql::integer(q, "Type");
            if (v.type < ReportVariable::String || v.type > ReportVariable::Date)
                v.type = ReportVariable::String;
            v.caption = Sql::text(q, "Caption");
            v.defaultValue = Sql::text(q, "DefaultValue");
            v.lookupSql = Sql::text(q, "LookupSQLString");
            indexOf.insert(v.id, vars.size());
            vars << v;
        }
    }
    if (!vars.isEmpty()) {
        QSqlQuery q = Sql::exec(db, QStringLiteral("Select d.IdVar, d.Iddep From ZAT_Dependences d Where d.IdVar In "
                                                   "(Select IdVar From ZAT_Var Where IdDataSource = %1) Order By d.ID")
                                        .arg(def.dataSourceId));
        while (q.next()) {
            const auto it = indexOf.constFind(Sql::integer(q, "IdVar"));
            const int dep = Sql::integer(q, "Iddep");
            if (it != indexOf.constEnd() && !vars[*it].dependsOn.contains(dep))
                vars[*it].dependsOn << dep;
        }
    }
    def.variables = OrderVariables(vars);
    return def;
}
