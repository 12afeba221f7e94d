#include "RepositorySession.h"

#include "AppError.h"
#include "NameRule.h"
#include "Schema.h"
#include "Sql.h"

#include <QHash>
#include <QSet>
#include <QSqlError>
#include <QSqlRecord>
#include <functional>

// IsDeleted values: 1 = put in the recycle bin by the user (listed there), 2 = gone with a
// category that was put in the bin (comes back with it). Other programs only test for non-zero.
namespace {

constexpr int RootId = 1;
constexpr int BinId = 2;
const QString InBin = QStringLiteral("Coalesce(%1IsDeleted, 0) Not In (0, 2)");

QString inBin(const QString &alias = QString()) { return InBin.arg(alias); }

// Runs sql (holding "%1" where the id list goes) in slices, so no statement grows without bound.
void execForIds(const QSqlDatabase &db, const QString &sql, const QList<int> &ids)
{
    constexpr int Slice = 500;
    for (qsizetype i = 0; i < ids.size(); i += Slice)
        Sql::exec(db, sql.arg(Sql::idList(ids.mid(i, Slice))));
}

struct CategoryNode {
    int parent = 0;
    int deleted = 0;
};

QHash<int, CategoryNode> categoryGraph(const QSqlDatabase &db)
{
    QHash<int, CategoryNode> graph;
    QSqlQuery q = Sql::exec(db, QStringLiteral("Select IdCateg, IdParent, Coalesce(IsDeleted, 0) As Del From ZAT_Category"));
    while (q.next())
        graph.insert(Sql::integer(q, "IdCateg"), {Sql::integer(q, "IdParent"), Sql::integer(q, "Del")});
    return graph;
}

QHash<int, QList<int>> childrenOf(const QHash<int, CategoryNode> &graph)
{
    QHash<int, QList<int>> children;
    for (auto it = graph.cbegin(); it != graph.cend(); ++it)
        if (it.value().parent != it.key())
            children[it.value().parent].append(it.key());
    return children;
}

// True when id is ancestor itself or lies below it (cycle-safe).
bool isInSubtree(const QHash<int, CategoryNode> &graph, int id, int ancestor)
{
    QSet<int> seen;
    while (id != 0 && !seen.contains(id)) {
        if (id == ancestor)
            return true;
        seen.insert(id);
        id = graph.value(id).parent;
    }
    return false;
}

bool isLiveCategory(const QHash<int, CategoryNode> &graph, int id)
{
    auto it = graph.constFind(id);
    return it != graph.cend() && it->deleted == 0 && id != BinId;
}

int nextCategorySortNr(const QSqlDatabase &db, int parent)
{
    return Sql::scalar(db, QStringLiteral("Select Coalesce(Max(s.SortNr), 0) From ZAT_Sort s Join ZAT_Category c "
                                          "On s.ItemType = 'c' And s.IdItem = c.IdCateg Where c.IdParent = %1")
                               .arg(parent))
               .toInt() + 1;
}

int nextReportSortNr(const QSqlDatabase &db, int category)
{
    return Sql::scalar(db, QStringLiteral("Select Coalesce(Max(s.SortNr), 0) From ZAT_Sort s Join ZAT_Report r "
                                          "On s.ItemType = 'e' And s.IdItem = r.IdReport Where r.IdCateg = %1")
                               .arg(category))
               .toInt() + 1;
}

void setSortRow(const QSqlDatabase &db, const QString &type, int id, int sortNr)
{
    Sql::exec(db, QStringLiteral("Delete From ZAT_Sort Where ItemType = ? And IdItem = %1").arg(id), {type});
    Sql::insert(db, "ZAT_Sort", "IdSort", {{"ItemType", type}, {"IdItem", id}, {"SortNr", sortNr}});
}

// Copies every row of table whose column `link` is from, with link := to (and overrides); returns
// the new ids in the order read.
QList<int> copyRows(const QSqlDatabase &db, const QString &table, const QString &where, const QString &link, int to,
                    const QHash<QString, QVariant> &overrides = {})
{
    const Schema::Table *t = Schema::table(table);
    QSqlQuery q = Sql::exec(db, QStringLiteral("Select * From %1 Where %2 Order By %3").arg(table, where, t->idColumn()));
    QList<Sql::Values> rows;
    while (q.next()) {
        Sql::Values values;
        for (const Schema::Column &c : t->columns) {
            if (c.type == Schema::ColumnType::Identity)
                continue;
            QVariant v = c.name == link ? QVariant(to) : q.value(c.name);
            auto o = overrides.constFind(c.name);
            if (o != overrides.cend())
                v = o.value();
            values.append({c.name, v});
        }
        rows.append(values);
    }
    QList<int> ids;
    for (const Sql::Values &values : rows)
        ids.append(Sql::insert(db, table, t->idColumn(), values));
    return ids;
}

QString categoryNamesOf(int parent)
{
    return QStringLiteral("Select IdCateg, Name From ZAT_Category Where IdParent = %1 And Coalesce(IsDeleted, 0) = 0")
        .arg(parent);
}

QString reportNamesOf(int category)
{
    return QStringLiteral("Select IdReport, Name From ZAT_Report Where IdCateg = %1 And Coalesce(IsDeleted, 0) = 0")
        .arg(category);
}

// base, else base(1), base(2), ... whichever is not among the taken keys; the result is taken then.
QString uniqueName(const QString &base, QSet<QString> &taken)
{
    QString trial = base;
    for (int n = 1; taken.contains(NameRule::key(trial)); ++n)
        trial = base + QStringLiteral("(%1)").arg(n);
    taken.insert(NameRule::key(trial));
    return trial;
}

QString nameOf(const QSqlQuery &q)
{
    return q.value("Name").isNull() ? QString() : q.value("Name").toString();
}

} // namespace

RepositorySession::CategoryList RepositorySession::GetCategoryList(int parent, int state)
{
    QSqlDatabase db = Connection();
    CategoryList list;
    if (state == Live) {
        QHash<int, QString> descriptions;
        QSqlQuery q = Sql::exec(db, QStringLiteral("Select IdCateg, Description From ZAT_Category Where Coalesce(IsDeleted, 0) = 0"));
        while (q.next())
            descriptions.insert(Sql::integer(q, "IdCateg"), Sql::text(q, "Description"));
        const CategoryRows rows = GetSubCategoryRows(-1);
        list.reserve(rows.size());
        for (const CategoryRow &r : rows) {
            if (parent >= 0 && r.IdParent != parent)
                continue;
            CategoryItem c;
            c.m_db = db;
            c.IdCategory = r.IdCateg;
            c.Name = r.Name;
            c.Description = descriptions.value(r.IdCateg);
            c.IdParent = r.IdParent;
            c.SortNr = r.SortNr == INT_MAX ? 0 : r.SortNr;
            list.append(c);
        }
        return list;
    }
    QString sql = QStringLiteral(
        "Select c.IdCateg, c.Name, c.Description, c.IdParent, c.IsDeleted, "
        "(Select Min(s.SortNr) From ZAT_Sort s Where s.ItemType = 'c' And s.IdItem = c.IdCateg) As SortNr "
        "From ZAT_Category c Where ") + inBin("c.") + QStringLiteral(" And c.IdCateg > 2");
    if (parent >= 0)
        sql += QStringLiteral(" And c.IdParent = %1").arg(parent);
    QSqlQuery q = Sql::exec(db, sql + QStringLiteral(" Order By c.IdCateg"));
    while (q.next()) {
        list.append(CategoryItem::fromRow(q, db));
    }
    return list;
}

RepositorySession::ReportList RepositorySession::GetReportList(int category, int state)
{
    QSqlDatabase db = Connection();
    QString sql = QStringLiteral(
        "Select r.IdReport, r.Name, r.FilePath, r.Version, r.Modified, r.Description, r.IdCateg, r.IdExtension, "
        "r.IsDeleted, r.IdUserAppCheckOut, "
        "(Select Min(s.SortNr) From ZAT_Sort s Where s.ItemType = 'e' And s.IdItem = r.IdReport) As SortNr "
        "From ZAT_Report r Where ");
    sql += state == Live ? QStringLiteral("Coalesce(r.IsDeleted, 0) = 0") : inBin("r.");
    if (category >= 0)
        sql += QStringLiteral(" And r.IdCateg = %1").arg(category);
    QSqlQuery q = Sql::exec(db, sql + QStringLiteral(" Order By r.IdReport"));
    ReportList list;
    while (q.next()) {
        list.append(ReportItem::fromRow(q, db));
    }
    if (state == Live)
        std::stable_sort(list.begin(), list.end(), [](const ReportItem &a, const ReportItem &b) {
            const int sa = a.SortNr ? a.SortNr : INT_MAX, sb = b.SortNr ? b.SortNr : INT_MAX;
            return sa < sb;
        });
    return list;
}

CategoryItem RepositorySession::NewCategory(int parent, const QString &name)
{
    QSqlDatabase db = Connection();
    const int sortNr = nextCategorySortNr(db, parent);
    const int id = Sql::insert(db, "ZAT_Category", "IdCateg",
                               {{"Name", Sql::nullableText(name)}, {"Description", QString("")}, {"IdParent", parent},
                                {"IsDeleted", 0}, {"ShowDeleted", 0}});
    setSortRow(db, QStringLiteral("c"), id, sortNr);
    return GetCategory(id);
}

ReportItem RepositorySession::NewReport(int category, int kind, const QString &name)
{
    QString type;
    int extension = 0;
    switch (kind) {
    case KindExcel: type = QStringLiteral("Excel"); extension = 10; break;
    case KindText: type = QStringLiteral("Text"); extension = 5; break;
    case KindVelmora: type = VelmoraReportType(); extension = 10; break;
    default:
        throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("Unknown report kind %1.").arg(kind));
    }
    QSqlDatabase db = Connection();
    const int sortNr = nextReportSortNr(db, category);
    QDateTime now = QDateTime::currentDateTime();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    const int id = Sql::insert(db, "ZAT_Report", "IdReport",
                               {{"Name", Sql::nullableText(name)}, {"FilePath", QString("")}, {"Version", type},
                                {"Modified", Sql::dateValue(now)}, {"Description", QString("")}, {"IdCateg", category},
                                {"IsDeleted", 0}, {"ShowDeleted", 0}, {"DelExSheet", 0},
                                {"DestinationFileAtRuntime", 0}, {"IdExtension", extension}});
    setSortRow(db, QStringLiteral("e"), id, sortNr);
    return GetReport(id);
}

bool RepositorySession::CategoryNameExists(const QString &name, int parent, int exceptId)
{
    return NameRule::taken(Connection(), categoryNamesOf(parent), name, exceptId);
}

bool RepositorySession::ReportNameExists(const QString &name, int category, int exceptId)
{
    return NameRule::taken(Connection(), reportNamesOf(category), name, exceptId);
}

QString RepositorySession::UniqueCategoryName(int parent, const QString &base)
{
    QSet<QString> taken = NameRule::keys(Connection(), categoryNamesOf(parent));
    return uniqueName(base, taken);
}

QString RepositorySession::UniqueReportName(int category, const QString &base)
{
    QSet<QString> taken = NameRule::keys(Connection(), reportNamesOf(category));
    return uniqueName(base, taken);
}

bool RepositorySession::ReportChangedSince(int reportId, const QDateTime &loadedModified)
{
    QSqlQuery q = Sql::exec(Connection(), QStringLiteral("Select Modified From ZAT_Report Where IdReport = %1").arg(reportId));
    if (!q.next())
        return true; // gone meanwhile
    return Sql::dateTime(q, "Modified") != loadedModified;
}

bool RepositorySession::CategoryChangedSince(const CategoryItem &loaded)
{
    QSqlQuery q = Sql::exec(Connection(), QStringLiteral("Select Name, Description From ZAT_Category Where IdCateg = %1")
                                              .arg(loaded.IdCategory));
    if (!q.next())
        return true;
    const QString name = q.value("Name").isNull() ? QString() : q.value("Name").toString();
    return name != loaded.Name || name.isNull() != loaded.Name.isNull() || Sql::text(q, "Description") != loaded.Description;
}

void RepositorySession::DeleteItems(const QList<int> &reportIds, const QList<int> &categoryIds)
{
    QSqlDatabase db = Connection();
    if (!reportIds.isEmpty())
        execForIds(db, QStringLiteral("Update ZAT_Report Set IsDeleted = 1 Where IdReport %1 And Coalesce(IsDeleted, 0) = 0"),
                   reportIds);
    QList<int> direct;
    for (int id : categoryIds)
        if (id != RootId && id != BinId)
            direct.append(id);
    if (direct.isEmpty())
        return;
    // Everything live below a deleted category leaves the tree with it.
    const auto graph = categoryGraph(db);
    const auto children = childrenOf(graph);
    QSet<int> seen(direct.cbegin(), direct.cend());
    QList<int> stack = direct, below;
    while (!stack.isEmpty()) {
        const int id = stack.takeLast();
        for (int child : children.value(id)) {
            if (seen.contains(child) || graph.value(child).deleted != 0)
                continue;
            seen.insert(child);
            below.append(child);
            stack.append(child);
        }
    }
    execForIds(db, QStringLiteral("Update ZAT_Category Set IsDeleted = 1 Where IdCateg %1 And Coalesce(IsDeleted, 0) = 0"),
               direct);
    if (!below.isEmpty())
        execForIds(db, QStringLiteral("Update ZAT_Category Set IsDeleted = 2 Where IdCateg %1"), below);
    execForIds(db, QStringLiteral("Update ZAT_Report Set IsDeleted = 2 Where IdCateg %1 And Coalesce(IsDeleted, 0) = 0"),
               direct + below);
}

bool RepositorySession::RestoreItems(const QList<int> &categoryIds, const QList<int> &reportIds)
{
    QSqlDatabase db = Connection();
    auto graph = categoryGraph(db);
    const auto children = childrenOf(graph);
    QList<int> direct;
    for (int id : categoryIds)
        if (graph.contains(id) && graph.value(id).deleted != 0 && id != RootId && id != BinId)
            direct.append(id);
    // What went with a restored category comes back; what was deleted on its own stays in the bin.
    QList<int> below;
    QList<int> stack = direct;
    QSet<int> seen(direct.cbegin(), direct.cend());
    while (!stack.isEmpty()) {
        const int id = stack.takeLast();
        for (int child : children.value(id)) {
            if (seen.contains(child) || graph.value(child).deleted != 2)
                continue;
            seen.insert(child);
            below.append(child);
            stack.append(child);
        }
    }
    for (int id : direct + below)
        graph[id].deleted = 0;
    if (!direct.isEmpty()) {
        execForIds(db, QStringLiteral("Update ZAT_Category Set IsDeleted = 0 Where IdCateg %1"), direct + below);
        execForIds(db, QStringLiteral("Update ZAT_Report Set IsDeleted = 0 Where IdCateg %1 And IsDeleted = 2"),
                   direct + below);
        // A category whose parent is gone or still in the bin comes back under the root.
        QList<int> orphans;
        for (int id : direct)
            if (!isLiveCategory(graph, graph.value(id).parent) || isInSubtree(graph, graph.value(id).parent, id))
                orphans.append(id);
        for (int id : orphans) {
            Sql::exec(db, QStringLiteral("Update ZAT_Category Set IdParent = %1 Where IdCateg = %2").arg(RootId).arg(id));
            setSortRow(db, QStringLiteral("c"), id, nextCategorySortNr(db, RootId));
        }
    }
    bool done = !direct.isEmpty();
    if (!reportIds.isEmpty()) {
        QList<int> restored;
        QList<int> orphans;
        for (qsizetype i = 0; i < reportIds.size(); i += 500) {
            QSqlQuery q = Sql::exec(db, QStringLiteral("Select IdReport, IdCateg From ZAT_Report Where IdReport %1 And ")
                                           .arg(Sql::idList(reportIds.mid(i, 500))) + inBin());
            while (q.next()) {
                const int id = Sql::integer(q, "IdReport");
                restored.append(id);
                if (!isLiveCategory(graph, Sql::integer(q, "IdCateg")))
                    orphans.append(id);
            }
        }
        if (!restored.isEmpty()) {
            execForIds(db, QStringLiteral("Update ZAT_Report Set IsDeleted = 0 Where IdReport %1"), restored);
            done = true;
        }
        for (int id : orphans) {
            Sql::exec(db, QStringLiteral("Update ZAT_Report Set IdCateg = %1 Where IdReport = %2").arg(RootId).arg(id));
            setSortRow(db, QStringLiteral("e"), id, nextReportSortNr(db, RootId));
        }
    }
    return done;
}

bool RepositorySession::IsRecycleBinEmpty()
{
    QSqlDatabase db = Connection();
    return Sql::scalar(db, QStringLiteral("Select Count(*) From ZAT_Category Where Coalesce(IsDeleted, 0) <> 0 And IdCateg > 2")).toInt() == 0
        && Sql::scalar(db, QStringLiteral("Select Count(*) From ZAT_Report Where Coalesce(IsDeleted, 0) <> 0")).toInt() == 0;
}

bool RepositorySession::EmptyRecycleBin()
{
    if (IsRecycleBinEmpty())
        return false;
    QSqlDatabase db = Connection();
    const QString reports = QStringLiteral("(Select IdReport From ZAT_Report Where Coalesce(IsDeleted, 0) <> 0)");
    const QString categories = QStringLiteral("(Select IdCateg From ZAT_Category Where Coalesce(IsDeleted, 0) <> 0 And IdCateg > 2)");
    const bool ownTransaction = db.transaction();
    try {
        // Live items that somehow sit in a removed category are kept, under the root.
        Sql::exec(db, QStringLiteral("Update ZAT_Report Set IdCateg = 1 Where Coalesce(IsDeleted, 0) = 0 And IdCateg In ") + categories);
        Sql::exec(db, QStringLiteral("Update ZAT_Category Set IdParent = 1 Where Coalesce(IsDeleted, 0) = 0 And IdParent In ") + categories);
        // A view goes with its reports unless a remaining report still reads it.
        Sql::exec(db, QStringLiteral("Delete From ZAT_SQLViews Where IdSQLView In (Select d.IdSQLView From ZAT_ReportDS d Where d.IdReport In %1) "
                                     "And IdSQLView Not In (Select d.IdSQLView From ZAT_ReportDS d Where d.IdSQLView Is Not Null "
                                     "And d.IdReport Not In %1)").arg(reports));
        for (const char *table : {"ZAT_ReportDS", "ZAT_ReportCols", "ZAT_ExcelSheetSettings", "ZAT_Role_Report"})
            Sql::exec(db, QStringLiteral("Delete From %1 Where IdReport In %2").arg(QLatin1String(table), reports));
        Sql::exec(db, QStringLiteral("Delete From ZAT_References Where Tip = 'r' And IdSource In ") + reports);
        Sql::exec(db, QStringLiteral("Delete From ZAT_Sort Where ItemType = 'e' And IdItem In ") + reports);
        Sql::exec(db, QStringLiteral("Delete From ZAT_Sort Where ItemType = 'c' And IdItem In ") + categories);
        Sql::exec(db, QStringLiteral("Delete From ZAT_Report Where Coalesce(IsDeleted, 0) <> 0"));
        Sql::exec(db, QStringLiteral("Delete From ZAT_Category Where Coalesce(IsDeleted, 0) <> 0 And IdCateg > 2"));
        if (ownTransaction && !db.commit())
            throw AppError(ErrorNumber::Database, db.lastError().text());
    } catch (...) {
        if (ownTransaction)
            db.rollback();
        throw;
    }
    return true;
}

static QString idText(const QList<int> &ids, QChar prefix)
{
    QStringList parts;
    for (int id : ids)
        parts << prefix + QString::number(id);
    return parts.join(QLatin1Char(','));
}

QString RepositorySession::CutItems(const QList<int> &reportIds, const QList<int> &categoryIds)
{
    navigatorClipboard = {true, reportIds, categoryIds, RepositoryLocation()};
    return QStringList{QStringLiteral("ZAT"), RepositoryLocation(), QStringLiteral("cut"), idText(reportIds, 'r'),
                       idText(categoryIds, 'c')}
        .join(IdNameSeparator);
}

QString RepositorySession::CopyItems(const QList<int> &reportIds, const QList<int> &categoryIds)
{
    navigatorClipboard = {false, reportIds, categoryIds, RepositoryLocation()};
    return QStringList{QStringLiteral("ZAT"), RepositoryLocation(), QStringLiteral("copy"), idText(reportIds, 'r'),
                       idText(categoryIds, 'c')}
        .join(IdNameSeparator);
}

bool RepositorySession::IsOurClipboard(const QString &clipboardText) const
{
    const QStringList parts = clipboardText.split(IdNameSeparator);
    return IsClipboardMarker(clipboardText) && parts[1] == RepositoryLocation();
}

bool RepositorySession::IsClipboardMarker(const QString &clipboardText)
{
    return clipboardText.startsWith(QStringLiteral("ZAT") + IdNameSeparator);
}

namespace {

// Copies a report with everything that defines it; the copy has no synchronisation code, so it
// is a new report to other repositories, nobody holds it, and it was made now.
int copyReport(const QSqlDatabase &db, int source, int category, const QString &name)
{
    QDateTime now = QDateTime::currentDateTime();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    const QList<int> ids = copyRows(db, "ZAT_Report", QStringLiteral("IdReport = %1").arg(source), "IdCateg", category,
                                    {{"Name", Sql::nullableText(name)}, {"SyncronizeCode", QVariant(QMetaType(QMetaType::QString))},
                                     {"IdUserAppCheckOut", QVariant(QMetaType(QMetaType::Int))}, {"IsDeleted", 0},
                                     {"Modified", Sql::dateValue(now)}});
    if (ids.isEmpty())
        return 0;
    const int id = ids.first();
    const QString of = QStringLiteral("IdReport = %1").arg(source);
    copyRows(db, "ZAT_ExcelSheetSettings", of, "IdReport", id);
    copyRows(db, "ZAT_ReportCols", of, "IdReport", id);
    QSqlQuery links = Sql::exec(db, QStringLiteral("Select IdReportDS, IdSQLView From ZAT_ReportDS Where %1 Order By IdReportDS").arg(of));
    QList<QPair<int, int>> viewOfLink;
    while (links.next())
        viewOfLink.append({Sql::integer(links, "IdReportDS"), Sql::integer(links, "IdSQLView")});
    for (const auto &[link, view] : viewOfLink) {
        QVariant newView = QVariant(QMetaType(QMetaType::Int));
        if (view != 0) {
            const QList<int> v = copyRows(db, "ZAT_SQLViews", QStringLiteral("IdSQLView = %1").arg(view), QString(), 0);
            if (!v.isEmpty())
                newView = v.first();
        }
        copyRows(db, "ZAT_ReportDS", QStringLiteral("IdReportDS = %1").arg(link), "IdReport", id, {{"IdSQLView", newView}});
    }
    copyRows(db, "ZAT_References", QStringLiteral("Tip = 'r' And IdSource = %1").arg(source), "IdSource", id);
    return id;
}

} // namespace

static void pasteInto(RepositorySession &s, const QSqlDatabase &db, int target, bool cut, const QList<int> &categories,
                      const QList<int> &reports, const QHash<int, QString> &reportNames)
{
    if (cut) {
        int sortNr = nextCategorySortNr(db, target);
        for (int id : categories) {
            Sql::exec(db, QStringLiteral("Update ZAT_Category Set IdParent = %1 Where IdCateg = %2").arg(target).arg(id));
            setSortRow(db, QStringLiteral("c"), id, sortNr++);
        }
        sortNr = nextReportSortNr(db, target);
        for (int id : reports) {
            Sql::exec(db, QStringLiteral("Update ZAT_Report Set IdCateg = %1 Where IdReport = %2").arg(target).arg(id));
            setSortRow(db, QStringLiteral("e"), id, sortNr++);
        }
        return;
    }

    // Copy: whole sub-trees, read before anything is written so the copies are not copied again.
    const CategoryRows liveRows = s.GetSubCategoryRows(-1);
    QHash<int, QList<CategoryRow>> kids;
    QHash<int, CategoryRow> rowOf;
    for (const CategoryRow &r : liveRows) {
        kids[r.IdParent].append(r);
        rowOf.insert(r.IdCateg, r);
    }
    std::function<void(int, int, const QString &)> copyCategory = [&](int source, int parent, const QString &name) {
        const int id = copyRows(db, "ZAT_Category", QStringLiteral("IdCateg = %1").arg(source), "IdParent", parent,
                                {{"Name", Sql::nullableText(name)}, {"IsDeleted", 0}})
                           .value(0);
        setSortRow(db, QStringLiteral("c"), id, nextCategorySortNr(db, parent));
        int sortNr = 1;
        for (const ReportRow &r : s.GetReportRows(source)) {
            const int copy = copyReport(db, r.IdReport, id, r.Name);
            setSortRow(db, QStringLiteral("e"), copy, sortNr++);
        }
        for (const CategoryRow &child : kids.value(source))
            if (child.IdCateg != source)
                copyCategory(child.IdCateg, id, child.Name);
    };
    QSet<QString> takenCategories = NameRule::keys(db, categoryNamesOf(target));
    for (int id : categories) {
        const QString base = rowOf.value(id).Name;
        const QString name = base.isNull() ? base : uniqueName(base, takenCategories);
        copyCategory(id, target, name);
    }
    QSet<QString> takenReports = NameRule::keys(db, reportNamesOf(target));
    int sortNr = nextReportSortNr(db, target);
    for (int id : reports) {
        const QString base = reportNames.value(id);
        const QString name = base.isNull() ? base : uniqueName(base, takenReports);
        const int copy = copyReport(db, id, target, name);
        setSortRow(db, QStringLiteral("e"), copy, sortNr++);
    }
}

namespace {

// The remembered items that still exist and may move: live, not the root or the bin, each once.
struct PasteSet {
    QList<int> categories;
    QList<int> reports;
    QHash<int, QString> categoryNames;
    QHash<int, QString> reportNames;
};

PasteSet livePasteSet(const QSqlDatabase &db, const QHash<int, CategoryNode> &graph,
                      const RepositorySession::NavigatorClipboard &clip)
{
    PasteSet set;
    for (int id : clip.categories)
        if (id != RootId && id != BinId && isLiveCategory(graph, id) && !set.categories.contains(id))
            set.categories.append(id);
    for (qsizetype i = 0; i < set.categories.size(); i += 500) {
        QSqlQuery q = Sql::exec(db, QStringLiteral("Select IdCateg, Name From ZAT_Category Where IdCateg %1")
                                       .arg(Sql::idList(set.categories.mid(i, 500))));
        while (q.next())
            set.categoryNames.insert(Sql::integer(q, "IdCateg"), nameOf(q));
    }
    if (!clip.reports.isEmpty()) {
        for (qsizetype i = 0; i < clip.reports.size(); i += 500) {
            QSqlQuery q = Sql::exec(db, QStringLiteral("Select IdReport, Name From ZAT_Report Where IdReport %1 "
                                                       "And Coalesce(IsDeleted, 0) = 0").arg(Sql::idList(clip.reports.mid(i, 500))));
            while (q.next())
                set.reportNames.insert(Sql::integer(q, "IdReport"), nameOf(q));
        }
        QSet<int> seen;
        for (int id : clip.reports)
            if (set.reportNames.contains(id) && !seen.contains(id)) {
                seen.insert(id);
                set.reports.append(id);
            }
    }
    return set;
}

// Whether moving ids (named by names) next to items named `taken` gives two items one name.
bool moveClashes(const QList<int> &ids, const QHash<int, QString> &names, QSet<QString> taken)
{
    for (int id : ids) {
        const QString key = NameRule::key(names.value(id));
        if (taken.contains(key))
            return true;
        taken.insert(key);
    }
    return false;
}

// The names staying in target: the moved items that are there already do not count.
QSet<QString> stayingKeys(const QSqlDatabase &db, const QString &sql, const QList<int> &moving)
{
    const QSet<int> movingIds(moving.cbegin(), moving.cend());
    QSet<QString> keys;
    QSqlQuery q = Sql::exec(db, sql);
    while (q.next())
        if (!movingIds.contains(q.value(0).toInt()))
            keys.insert(NameRule::key(q.value(1).toString()));
    return keys;
}

QString cutClash(const QSqlDatabase &db, int target, const PasteSet &set)
{
    if (!set.categories.isEmpty()
        && moveClashes(set.categories, set.categoryNames, stayingKeys(db, categoryNamesOf(target), set.categories)))
        return NameRule::categoryTakenText();
    if (!set.reports.isEmpty()
        && moveClashes(set.reports, set.reportNames, stayingKeys(db, reportNamesOf(target), set.reports)))
        return NameRule::reportTakenText();
    return QString();
}

} // namespace

QString RepositorySession::PasteNameClash(int target)
{
    if (!navigatorClipboard.cut || target <= 0 || navigatorClipboard.location != RepositoryLocation())
        return QString();
    QSqlDatabase db = Connection();
    return cutClash(db, target, livePasteSet(db, categoryGraph(db), navigatorClipboard));
}

bool RepositorySession::PasteItems(int target)
{
    if (target == 0)
        return false;
    if (target == BinId)
        throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("Items cannot be pasted into the Recycle Bin."));
    // A set remembered in another repository names other items here.
    if (navigatorClipboard.location != RepositoryLocation())
        return false;
    QSqlDatabase db = Connection();
    auto graph = categoryGraph(db);
    if (!isLiveCategory(graph, target))
        throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("The category %1 does not exist.").arg(target));
    const NavigatorClipboard clip = navigatorClipboard;
    const PasteSet set = livePasteSet(db, graph, clip);
    const QList<int> &categories = set.categories;
    const QList<int> &reports = set.reports;
    const QHash<int, QString> &reportNames = set.reportNames;
    for (int id : categories)
        if (isInSubtree(graph, target, id))
            throw AppError(ErrorNumber::InvalidArgument,
                           QStringLiteral("A category cannot be pasted into itself or into one of its sub-categories."));
    if (categories.isEmpty() && reports.isEmpty())
        return false;
    if (clip.cut) {
        const QString clash = cutClash(db, target, set);
        if (!clash.isEmpty())
            throw AppError(ErrorNumber::InvalidArgument, clash);
    }

    // A paste lands whole or not at all: half a copied tree would be worse than none.
    const bool ownTransaction = db.transaction();
    try {
        pasteInto(*this, db, target, clip.cut, categories, reports, reportNames);
        if (ownTransaction && !db.commit())
            throw AppError(ErrorNumber::Database, db.lastError().text());
    } catch (...) {
        if (ownTransaction)
            db.rollback();
        throw;
    }
    if (clip.cut)
        navigatorClipboard = {}; // a moved set can be pasted once
    return true;
}
