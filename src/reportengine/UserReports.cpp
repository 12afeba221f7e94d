#include "UserReports.h"

#include "repository/Sql.h"

#include <QHash>
#include <algorithm>

QList<UserReportRow> ReportsOfUser(const QSqlDatabase &db, int idUserApp)
{
    QSqlQuery q = Sql::exec(db, QStringLiteral(
        "Select r.IdReport, r.Name, r.FilePath, r.Version, ro.Role From ZAT_UserApp_Role ur "
        "Join ZAT_Role_Report rr On rr.IdRole = ur.IdRole "
        "Join ZAT_Report r On r.IdReport = rr.IdReport "
        "Left Join ZAT_Role ro On ro.IdRole = ur.IdRole "
        "Where ur.IdUserApp = %1 And Coalesce(r.IsDeleted, 0) = 0").arg(idUserApp));
    QList<UserReportRow> rows;
    QHash<int, int> at;
    while (q.next()) {
        const int id = Sql::integer(q, "IdReport");
        const QString role = Sql::text(q, "Role");
        auto it = at.constFind(id);
        if (it == at.constEnd()) {
            UserReportRow r;
            r.idReport = id;
            r.name = q.value("Name").isNull() ? QStringLiteral("Unknown") : Sql::text(q, "Name");
            r.filePath = Sql::text(q, "FilePath");
            r.version = Sql::text(q, "Version");
            r.roles = role;
            at.insert(id, rows.size());
            rows << r;
        } else if (!rows[*it].roles.split(QStringLiteral(", ")).contains(role)) {
            rows[*it].roles += QStringLiteral(", ") + role;
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const UserReportRow &a, const UserReportRow &b) {
        const int c = a.name.compare(b.name, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.idReport < b.idReport;
    });
    return rows;
}

QList<ApplicationUser> ApplicationUsers(const QSqlDatabase &db)
{
    QSqlQuery q = Sql::exec(db, QStringLiteral(
        "Select u.IdUserApp, u.%1 As Login, u.UserFName, u.UserLName, a.AppName From ZAT_UserApp u "
        "Left Join ZAT_App a On a.IdApp = u.IdApp Order By a.AppName, u.%1, u.IdUserApp").arg(Sql::userColumn()));
    QList<ApplicationUser> users;
    while (q.next()) {
        ApplicationUser u;
        u.idUserApp = Sql::integer(q, "IdUserApp");
        const QString name = (Sql::text(q, "UserFName") + QLatin1Char(' ') + Sql::text(q, "UserLName")).trimmed();
        u.text = Sql::text(q, "Login");
        if (!name.isEmpty())
            u.text += QStringLiteral(" - ") + name;
        const QString app = Sql::text(q, "AppName");
        if (!app.isEmpty())
            u.text += QStringLiteral(" (") + app + QLatin1Char(')');
        users << u;
    }
    return users;
}
