#include "PackageTree.h"

#include "repository/Sql.h"

#include <QHash>
#include <QSet>
#include <algorithm>

QList<int> PackageTree::reportIds() const
{
    QList<int> ids;
    ids.reserve(reports.size());
    for (const Report &r : reports)
        ids << r.id;
    return ids;
}

namespace {
struct CategRow {
    int id = 0;
    int parent = 0;
    bool deleted = false;
    QString name;
    bool hasSort = false;
    int sortNr = 0;
};
}

PackageTree LoadPackageTree(const QSqlDatabase &package)
{
    QHash<int, CategRow> categs;
    QList<int> order;
    {
        QSqlQuery q = Sql::exec(package, QStringLiteral("Select IdCateg, Name, IdParent, IsDeleted From ZAT_Category Order By IdCateg"));
        while (q.next()) {
            CategRow c;
            c.id = Sql::integer(q, "IdCateg");
            if (categs.contains(c.id))
                continue;
            c.parent = Sql::integer(q, "IdParent");
            c.deleted = Sql::integer(q, "IsDeleted") != 0;
            c.name = Sql::text(q, "Name");
            categs.insert(c.id, c);
            order << c.id;
        }
    }
    {
        // Readers use the first "c" row of a category.
        QSqlQuery q = Sql::exec(package, QStringLiteral("Select IdItem, SortNr From ZAT_Sort Where ItemType = 'c' Order By IdSort"));
        while (q.next()) {
            auto it = categs.find(Sql::integer(q, "IdItem"));
            if (it != categs.end() && !it->hasSort) {
                it->hasSort = true;
                it->sortNr = Sql::integer(q, "SortNr");
            }
        }
    }
    // Categories with a sort row in sort order, then those without one.
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const CategRow &x = categs[a], &y = categs[b];
        if (x.hasSort != y.hasSort)
            return x.hasSort;
        return x.hasSort && x.sortNr < y.sortNr;
    });

    // Hidden: the recycle bin, deleted categories and everything under them. Parent chains
    // may loop in a damaged package: a category on a loop goes to the top level.
    // Every category walked through shares the outcome of the walk, so each chain is walked once.
    QHash<int, bool> hidden;
    QHash<int, bool> onLoop;
    QHash<int, int> shownParent;
    for (int id : order) {
        if (hidden.contains(id))
            continue;
        QList<int> path{id};
        QSet<int> seen{id};
        bool hide = false, loop = false;
        int cur = id;
        while (true) {
            const CategRow &c = categs[cur];
            if (c.id == 2 || c.deleted) {
                hide = true;
                break;
            }
            if (c.parent == 0 || !categs.contains(c.parent))
                break;
            if (seen.contains(c.parent)) {
                loop = true;
                break;
            }
            if (hidden.contains(c.parent)) {
                hide = hidden.value(c.parent);
                loop = onLoop.value(c.parent);
                break;
            }
            seen.insert(c.parent);
            path << c.parent;
            cur = c.parent;
        }
        for (int p : path) {
            hidden.insert(p, hide);
            onLoop.insert(p, loop);
            const CategRow &c = categs[p];
            shownParent.insert(p, (loop || c.parent == 0 || !categs.contains(c.parent)) ? 0 : c.parent);
        }
    }

    PackageTree tree;
    QHash<int, QList<int>> children;
    QList<int> roots;
    for (int id : order) {
        if (hidden.value(id))
            continue;
        const int p = shownParent.value(id);
        if (p == 0)
            roots << id;
        else
            children[p] << id;
    }
    // Parents before children, siblings in sort order.
    QList<int> stack;
    for (auto it = roots.crbegin(); it != roots.crend(); ++it)
        stack << *it;
    QSet<int> emitted;
    while (!stack.isEmpty()) {
        const int id = stack.takeLast();
        if (emitted.contains(id))
            continue;
        emitted.insert(id);
        tree.categories << PackageTree::Category{id, shownParent.value(id), categs[id].name};
        const QList<int> kids = children.value(id);
        for (auto it = kids.crbegin(); it != kids.crend(); ++it)
            stack << *it;
    }

    const bool rootShown = emitted.contains(1);
    QSqlQuery q = Sql::exec(package, QStringLiteral("Select IdReport, Name, IdCateg From ZAT_Report "
                                                    "Where IsDeleted = 0 Or IsDeleted Is Null Order By Name, IdReport"));
    QSet<int> reportSeen;
    while (q.next()) {
        PackageTree::Report r;
        r.id = Sql::integer(q, "IdReport");
        r.categ = Sql::integer(q, "IdCateg");
        r.name = Sql::text(q, "Name");
        if (reportSeen.contains(r.id))
            continue;
        if (emitted.contains(r.categ))
            r.node = r.categ;
        else if (categs.contains(r.categ))
            continue; // in the recycle bin or a deleted category
        else
            r.node = rootShown ? 1 : 0;
        reportSeen.insert(r.id);
        tree.reports << r;
    }
    return tree;
}
