#include "ReportFixtures.h"

#include "repository/Sql.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QUrl>
#include <QUrlQuery>

namespace ReportFixtures {

int addDataSource(const QSqlDatabase &repo, const QString &name, const QString &connectionString, bool isJet)
{
    return Sql::insert(repo, "ZAT_DataSource", "IdDataSource",
                       {{"Name", name}, {"DataSourceString", connectionString}, {"IsJet", isJet ? 1 : 0},
                        {"Description", ""}});
}

int addVariable(const QSqlDatabase &repo, int dataSource, const QString &name, int type, const QString &caption,
                const QString &defaultValue, const QString &lookup, int sortNr)
{
    return Sql::insert(repo, "ZAT_Var", "IdVar",
                       {{"IdDataSource", dataSource}, {"Name", name}, {"Type", type}, {"Caption", caption},
                        {"DefaultValue", defaultValue}, {"LookupSQLString", lookup}, {"SortNr", sortNr}});
}

void addDependency(const QSqlDatabase &repo, int idVar, int idDep)
{
    Sql::insert(repo, "ZAT_Dependences", "ID", {{"IdVar", idVar}, {"Iddep", idDep}});
}

int addReport(const QSqlDatabase &repo, const Report &r)
{
    const int id = Sql::insert(repo, "ZAT_Report", "IdReport",
                               {{"Name", r.name}, {"FilePath", r.filePath}, {"Version", r.version},
                                {"Modified", Sql::dateValue(QDateTime::currentDateTime())}, {"Description", ""},
                                {"IdCateg", r.category}, {"IsDeleted", 0}, {"ShowDeleted", 0}, {"DelExSheet", 0},
                                {"DestinationFileAtRuntime", r.destinationAtRuntime ? 1 : 0}, {"IdUserAppCheckOut", 0}});
    Sql::insert(repo, "ZAT_Sort", "IdSort", {{"ItemType", "e"}, {"IdItem", id}, {"SortNr", id}});
    if (r.withSheet)
        Sql::insert(repo, "ZAT_ExcelSheetSettings", "IdSetting",
                    {{"IdReport", id}, {"SheetName", r.sheetName}, {"ShowGridLines", r.gridLines},
                     {"ShowToolTips", ""}, {"ShowAutoFilters", r.autoFilters}, {"FontName", r.fontName},
                     {"FontSize", r.fontSize}, {"ReportTitle", r.title}, {"FreezPanel", r.freeze}, {"GroupCols", ""}});
    for (const Column &c : r.columns)
        Sql::insert(repo, "ZAT_ReportCols", "IdReportCol",
                    {{"IdReport", id}, {"Name", c.name}, {"Type", c.type}, {"Width", c.width},
                     {"Hide", c.hide ? 1 : 0}, {"AutoSum", c.autoSum ? 1 : 0}});
    const int view = Sql::insert(repo, "ZAT_SQLViews", "IdSQLView", {{"strSQLView", r.sql}, {"Description", ""}});
    Sql::insert(repo, "ZAT_ReportDS", "IdReportDS",
                {{"IdReport", id}, {"IdSQLView", view}, {"IdDataSource", r.dataSource}});
    return id;
}

QString postgresUri(const QSqlDatabase &db)
{
    QUrl url(qEnvironmentVariable("VELMORA_TEST_PG"));
    url.setPath(QLatin1Char('/') + db.databaseName());
    return url.toString();
}

QString python()
{
    return QFileInfo::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                  : QStringLiteral("python3");
}

static const char *readerScript = R"PY(
import sys, json, datetime, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.worksheets[0]
def cv(v):
    if isinstance(v, (datetime.datetime, datetime.date)):
        return {"date": v.isoformat()}
    return v
rows = [[cv(c.value) for c in r] for r in ws.iter_rows()]
widths, hidden = {}, {}
for key, d in ws.column_dimensions.items():
    for i in range(d.min or 0, (d.max or 0) + 1):
        if i < 1:
            continue
        letter = openpyxl.utils.get_column_letter(i)
        widths[letter] = d.width
        hidden[letter] = bool(d.hidden)
font = None
if ws.max_row >= 1:
    c = ws.cell(row=ws.max_row, column=1)
    font = [c.font.name, c.font.sz]
print(json.dumps({"sheets": wb.sheetnames, "rows": rows, "widths": widths, "hidden": hidden,
                  "filter": ws.auto_filter.ref, "freeze": ws.freeze_panes,
                  "grid": ws.sheet_view.showGridLines, "font": font}, default=str))
)PY";

QVariantMap readWorkbook(const QString &path, QString *error)
{
    QProcess p;
    p.start(python(), {QStringLiteral("-c"), QString::fromUtf8(readerScript), path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        if (error)
            *error = QString::fromUtf8(p.readAllStandardError()) + p.errorString();
        return {};
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput()).toVariant().toMap();
}

} // namespace ReportFixtures
