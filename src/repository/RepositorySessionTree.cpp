#include "RepositorySession.h"

#include "Sql.h"

#include <QHash>
#include <algorithm>

CategoryRows RepositorySession::GetSubCategoryRows(int parent)
{
    QSqlDatabase db = Connection();
    // Categories without a "c" sort row still belong to the tree; they come after their sorted siblings.
    QSqlQuery q = Sql::exec(db, QStringLiteral(
        "Select c.IdCateg, c.IdParent, c.Name, "
        "(Select Min(s.SortNr) From ZAT_Sort s Where s.ItemType = 'c' And s.IdItem = c.IdCateg) As SortNr "
        "From ZAT_Category c Where Coalesce(c.IsDeleted, 0) = 0"));
    CategoryRows all;
    while (q.next()) {
        CategoryRow r;
        r.IdCateg = Sql::integer(q, "IdCateg");
        r.IdParent = Sql::integer(q, "IdParent");
        r.Name = q.value("Name").isNull() ? QString() : q.value("Name").toString();
        r.SortNr = q.value("SortNr").isNull() ? INT_MAX : q.value("SortNr").toInt();
        all.append(r);
    }
    std::stable_sort(all.begin(), all.end(), [](const CategoryRow &a, const CategoryRow &b) {
        return a.SortNr != b.SortNr ? a.SortNr < b.SortNr : a.IdCateg < b.IdCateg;
    });
    QHash<int, QList<int>> children;
    QHash<int, int> indexOf;
    for (int i = 0; i < all.size(); ++i)
        indexOf.insert(all[i].IdCateg, i);
    QList<int> roots;
    for (int i = 0; i < all.size(); ++i) {
        const int p = all[i].IdParent;
        // A category whose parent is missing or itself is listed at top level rather than lost.
        if (p == 0 || p == all[i].IdCateg || !indexOf.contains(p))
            roots.append(i);
        else
            children[p].append(i);
    }
    CategoryRows ordered;
    ordered.reserve(all.size());
    QList<int> stack;
    QList<bool> seen(all.size(), false);
    auto walk = [&](int start) {
        stack = {start};
        while (!stack.isEmpty()) {
            const int i = stack.takeLast();
            if (seen[i])
                continue;
            seen[i] = true;
            ordered.append(all[i]);
            const QList<int> kids = children.value(all[i].IdCateg);
            for (auto it = kids.crbegin(); it != kids.crend(); ++it)
                stack.append(*it);
        }
    };
    for (int r : roots)
        walk(r);
    for (int i = 0; i < all.size(); ++i) // members of a parent cycle
        if (!seen[i])
            walk(i);
    if (parent < 0)
        return ordered;
    CategoryRows direct;
    for (const CategoryRow &r : ordered)
        if (r.IdParent == parent && r.IdCateg != parent)
            direct.append(r);
    return direct;
}

ReportRows RepositorySession::GetReportRows(int category, int roleId)
{
    QSqlDatabase db = Connection();
    QString sql = QStringLiteral(
        "Select r.IdReport, r.IdCateg, r.Name, r.IdExtension, r.FilePath, r.Version, r.Modified, "
        "r.IdUserAppCheckOut, u.UserFName, u.UserLName, "
        "(Select Min(s.SortNr) From ZAT_Sort s Where s.ItemType = 'e' And s.IdItem = r.IdReport) As SortNr "
        "From ZAT_Report r Left Join ZAT_UserApp u On u.IdUserApp = r.IdUserAppCheckOut "
        "Where Coalesce(r.IsDeleted, 0) = 0");
    if (category >= 0)
        sql += QStringLiteral(" And r.IdCateg = %1").arg(category);
    if (roleId > 0)
        sql += QStringLiteral(" And r.IdReport In (Select g.IdReport From ZAT_Role_Report g Where g.IdRole = %1)")
                   .arg(roleId);
    QSqlQuery q = Sql::exec(db, sql);
    ReportRows rows;
    while (q.next()) {
        ReportRow r;
        r.IdReport = Sql::integer(q, "IdReport");
        r.IdCateg = Sql::integer(q, "IdCateg");
        r.Name = q.value("Name").isNull() ? QString() : q.value("Name").toString();
        r.IdExtension = Sql::integer(q, "IdExtension");
        r.FilePath = Sql::text(q, "FilePath");
        r.Version = Sql::text(q, "Version");
        r.Modified = Sql::dateTime(q, "Modified");
        r.IdUserAppCheckOut = Sql::integer(q, "IdUserAppCheckOut");
        r.UserFName = q.value("UserFName").isNull() ? QString() : q.value("UserFName").toString();
        r.UserLName = q.value("UserLName").isNull() ? QString() : q.value("UserLName").toString();
        r.SortNr = q.value("SortNr").isNull() ? INT_MAX : q.value("SortNr").toInt();
        rows.append(r);
    }
    std::stable_sort(rows.begin(), rows.end(), [](const ReportRow &a, const ReportRow &b) {
        return a.SortNr != b.SortNr ? a.SortNr < b.SortNr : a.IdReport < b.IdReport;
    });
    return rows;
}

bool RepositorySession::IsCheckedOutByOther(int reportId)
{
    const int holder = Sql::scalar(Connection(),
                                   QStringLiteral("Select IdUserAppCheckOut From ZAT_Report Where IdReport = %1").arg(reportId))
                           .toInt();
    return holder != 0 && holder != CurrentUserId();
}

void RepositorySession::CheckInReports(const QList<int> &reportIds)
{
    if (reportIds.isEmpty())
        return;
    const int me = CurrentUserId();
    Sql::exec(Connection(), QStringLiteral("Update ZAT_Report Set IdUserAppCheckOut = Null Where IdReport %1 "
                                           "And (IdUserAppCheckOut Is Null Or IdUserAppCheckOut = %2)")
                                .arg(Sql::idList(reportIds)).arg(me));
}

void RepositorySession::CheckOutReports(const QList<int> &reportIds, bool exactSet)
{
    QSqlDatabase db = Connection();
    const int me = CurrentUserId();
    if (exactSet) {
        QString release = QStringLiteral("Update ZAT_Report Set IdUserAppCheckOut = Null Where IdUserAppCheckOut = %1").arg(me);
        if (!reportIds.isEmpty())
            release += QStringLiteral(" And IdReport Not ") + Sql::idList(reportIds);
        Sql::exec(db, release);
    }
    if (reportIds.isEmpty())
        return;
    Sql::exec(db, QStringLiteral("Update ZAT_Report Set IdUserAppCheckOut = %1 Where IdReport %2 "
                                 "And (IdUserAppCheckOut Is Null Or IdUserAppCheckOut = 0 Or IdUserAppCheckOut = %1)")
                      .arg(me).arg(Sql::idList(reportIds)));
}
