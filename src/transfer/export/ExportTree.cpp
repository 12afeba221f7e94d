#include "ExportTree.h"

#include "repository/RepositorySession.h"
#include "repository/Sql.h"

#include <QHash>
#include <QSet>

QList<ExportTreeNode> LoadExportCategories(RepositorySession &session)
{
    // Parents come before their children here, whatever the sort numbers say.
    const CategoryRows rows = session.GetSubCategoryRows(-1);
    QList<ExportTreeNode> out;
    QSet<int> placed, recycled;
    for (const CategoryRow &r : rows) {
        const bool parentPlaced = r.IdParent != 0 && r.IdParent != r.IdCateg && placed.contains(r.IdParent);
        if (r.IdCateg == 2 || (r.IdParent != r.IdCateg && recycled.contains(r.IdParent))) {
            recycled.insert(r.IdCateg);
            continue;
        }
        ExportTreeNode n;
        n.isCategory = true;
        n.id = r.IdCateg;
        n.parentCategory = parentPlaced ? r.IdParent : 0;
        n.name = r.Name;
        n.idCateg = r.IdCateg;
        out.append(n);
        placed.insert(r.IdCateg);
    }
    return out;
}

QList<ExportTreeNode> LoadExportReports(RepositorySession &session, const QList<ExportTreeNode> &categories)
{
    QSqlDatabase db = session.Connection();
    QSet<int> placed, existing;
    for (const ExportTreeNode &c : categories)
        placed.insert(c.id);
    QSqlQuery all = Sql::exec(db, QStringLiteral("Select IdCateg From ZAT_Category"));
    while (all.next())
        existing.insert(Sql::integer(all, "IdCateg"));
    QSqlQuery q = Sql::exec(db, QStringLiteral("Select IdReport, IdCateg, Name From ZAT_Report r "
                                               "Where Coalesce(r.IsDeleted, 0) = 0 Order By r.Name, r.IdReport"));
    QList<ExportTreeNode> out;
    while (q.next()) {
        ExportTreeNode n;
        n.id = Sql::integer(q, "IdReport");
        n.idCateg = Sql::integer(q, "IdCateg");
        n.name = q.value("Name").isNull() ? QString() : q.value("Name").toString();
        if (placed.contains(n.idCateg))
            n.parentCategory = n.idCateg;
        else if (existing.contains(n.idCateg))
            continue; // in a deleted category or in the recycle bin
        out.append(n);
    }
    return out;
}

QList<int> ExportTreeReportIds(const QList<ExportTreeNode> &categories, const QList<ExportTreeNode> &reports,
                               int category)
{
    QSet<int> wanted;
    if (category != 0) {
        wanted.insert(category);
        // Categories come parents first, so one pass collects the whole subtree.
        for (const ExportTreeNode &c : categories)
            if (wanted.contains(c.parentCategory))
                wanted.insert(c.id);
    }
    QList<int> ids;
    for (const ExportTreeNode &r : reports)
        if (category == 0 || (r.parentCategory != 0 && wanted.contains(r.parentCategory)))
            ids.append(r.id);
    return ids;
}
