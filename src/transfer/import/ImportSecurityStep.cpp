#include "ImportRunInternal.h"

#include <QSet>

// ---- roles, grants, applications and users

void ImportRun::ImportRoles()
{
    const Package &p = *m_pkg;
    if (m_opt.reportIds.isEmpty())
        return;
    const QSet<int> ticked(m_opt.reportIds.cbegin(), m_opt.reportIds.cend());
    QSet<int> granted;
    for (const Rec &g : p.roleReports)
        if (ticked.contains(idOf(g, "IdReport")))
            granted.insert(idOf(g, "IdRole"));
    for (const Rec &r : p.roles) {
        const int id = idOf(r, "IdRole");
        if (!granted.contains(id) || roleMap.contains(id))
            continue;
        // Roles are matched by id: one the repository already has is kept as it is.
        int dest = guarded([&] {
            return Sql::scalar(m_db, QStringLiteral("Select IdRole From ZAT_Role Where IdRole = %1").arg(id)).toInt();
        });
        if (dest == 0)
            dest = add("ZAT_Role", "IdRole", {{u"Role"_s, txt(r, "Role")}});
        roleMap.insert(id, dest);
    }
    for (const Rec &g : p.roleReports) {
        const int report = idOf(g, "IdReport");
        if (!ticked.contains(report))
            continue;
        const int role = roleMap.value(idOf(g, "IdRole"));
        const int destReport = reportMap.value(report);
        if (m_opt.syncPairs.contains(report)) {
            // A synchronised report may hold the grant already.
            const int held = guarded([&] {
                return Sql::scalar(m_db, QStringLiteral("Select count(*) From ZAT_Role_Report Where IdRole = %1 And IdReport = %2")
                                             .arg(role).arg(destReport)).toInt();
            });
            if (held > 0)
                continue;
        }
        add("ZAT_Role_Report", "IdLeg", {{u"IdRole"_s, role}, {u"IdReport"_s, destReport}});
    }
}

void ImportRun::ImportUsers()
{
    const Package &p = *m_pkg;
    for (const Rec &a : p.apps) {
        const int id = add("ZAT_App", "IdApp", {{u"AppName"_s, txt(a, "AppName")}});
        if (!appMap.contains(idOf(a, "IdApp")))
            appMap.insert(idOf(a, "IdApp"), id);
    }
    for (const Rec &u : p.users) {
        // The password is copied in its stored (scrambled) form.
        const int id = add("ZAT_UserApp", "IdUserApp",
                           {{u"IdApp"_s, appMap.value(idOf(u, "IdApp"))}, {u"IdUser"_s, num(u, "IdUser")},
                            {u"User"_s, txt(u, "User")}, {u"UserFName"_s, txt(u, "UserFName")},
                            {u"UserLName"_s, txt(u, "UserLName")}, {u"Password"_s, txt(u, "Password")}});
        if (!userMap.contains(idOf(u, "IdUserApp")))
            userMap.insert(idOf(u, "IdUserApp"), id);
    }
    for (const Rec &ur : p.userRoles) {
        const int source = idOf(ur, "IdRole");
        // A role imported by this run is found through the map even when its new id differs
        // from the package's; otherwise a role of that id must not exist here unmapped.
        int role = roleMap.value(source, 0);
        if (!roleMap.contains(source)) {
            const int count = guarded([&] {
                return Sql::scalar(m_db, QStringLiteral("Select count(*) From ZAT_Role Where IdRole = %1").arg(source)).toInt();
            });
            if (count > 0)
                throw AppError(ErrorNumber::InvalidArgument,
                               QStringLiteral("User %1 holds role %2, which exists in the repository but was not imported.")
                                   .arg(idOf(ur, "IdUserApp"))
                                   .arg(source));
        }
        add("ZAT_UserApp_Role", "IdLeg", {{u"IdUserApp"_s, userMap.value(idOf(ur, "IdUserApp"))}, {u"IdRole"_s, role}});
    }
}
