#include "ImportRunInternal.h"

#include <QSet>
#include <QSqlQuery>

// ---- roles, grants, applications and users

// The repository's role of the package role's name, created when missing. A package role id
// says nothing about the repository: role 700 there may be another role entirely.
int ImportRun::roleByName(int packageRole)
{
    if (roleMap.contains(packageRole))
        return roleMap.value(packageRole);
    if (!m_rolesLoaded) {
        m_rolesLoaded = true;
        m_rolesByName = guarded([&] { return firstIdByName(m_db, ImportLookup::roles(), true); });
    }
    const Rec *row = nullptr;
    for (const Rec &r : m_pkg->roles)
        if (idOf(r, "IdRole") == packageRole) {
            row = &r;
            break;
        }
    if (!row)
        return 0;
    const QString name = txt(*row, "Role").toString();
    int dest = m_rolesByName.value(name);
    if (dest == 0) {
        dest = add("ZAT_Role", "IdRole", {{u"Role"_s, name}});
        m_rolesByName.insert(name, dest);
    }
    roleMap.insert(packageRole, dest);
    return dest;
}

void ImportRun::ImportRoles()
{
    const Package &p = *m_pkg;
    if (m_opt.reportIds.isEmpty())
        return;
    QSet<int> granted;
    for (const Package::Grant &g : p.grants)
        granted.insert(g.role);
    for (const Rec &r : p.roles) {
        const int id = idOf(r, "IdRole");
        if (granted.contains(id))
            roleByName(id);
    }
    QSet<QPair<int, int>> saved;
    for (const Package::Grant &g : p.grants) {
        const int report = g.report;
        if (!reportMap.contains(report))
            continue;
        const int role = roleMap.value(g.role);
        const int destReport = reportMap.value(report);
        const QPair<int, int> pair(role, destReport);
        if (saved.contains(pair))
            continue;
        saved.insert(pair);
        if (m_synced.contains(report)) {
            // A synchronised report may hold the grant already.
            const int held = guarded([&] {
                return Sql::scalar(m_db, QStringLiteral("Select count(*) From ZAT_Role_Report Where IdRole = %1 And IdReport = %2")
                                             .arg(role).arg(destReport)).toInt();
            });
            if (held > 0)
                continue;
        }
        queue("ZAT_Role_Report", "IdLeg", {{u"IdRole"_s, role}, {u"IdReport"_s, destReport}});
    }
}

// Applications are matched by name (the console's own application too), users by application
// and user name; a user the repository has keeps its own settings and password.
void ImportRun::ImportUsers()
{
    const Package &p = *m_pkg;
    QHash<QString, int> appsByName = guarded([&] { return firstIdByName(m_db, ImportLookup::applications(), true); });
    for (const Rec &a : p.apps) {
        if (appMap.contains(idOf(a, "IdApp")))
            continue;
        const QString name = txt(a, "AppName").toString();
        int id = appsByName.value(name);
        if (id == 0) {
            id = add("ZAT_App", "IdApp", {{u"AppName"_s, name}});
            appsByName.insert(name, id);
        }
        appMap.insert(idOf(a, "IdApp"), id);
    }
    QHash<int, QHash<QString, int>> usersByApp;
    QSet<int> existingUsers;
    for (const Rec &u : p.users) {
        if (userMap.contains(idOf(u, "IdUserApp")))
            continue;
        const int app = appMap.value(idOf(u, "IdApp"));
        auto it = usersByApp.find(app);
        if (it == usersByApp.end()) {
            it = usersByApp.insert(app, guarded([&] { return firstIdByName(m_db, ImportLookup::users(app), false); }));
        }
        const QString name = txt(u, "User").toString();
        int id = it->value(name);
        if (id != 0) {
            existingUsers.insert(id);
        } else {
            // The password is copied in its stored (scrambled) form.
            id = queue("ZAT_UserApp", "IdUserApp",
                     {{u"IdApp"_s, app}, {u"IdUser"_s, num(u, "IdUser")}, {u"User"_s, name},
                      {u"UserFName"_s, txt(u, "UserFName")}, {u"UserLName"_s, txt(u, "UserLName")},
                      {u"Password"_s, txt(u, "Password")}});
            it->insert(name, id);
        }
        userMap.insert(idOf(u, "IdUserApp"), id);
    }
    QSet<QPair<int, int>> saved;
    for (const Rec &ur : p.userRoles) {
        // The user's role by name, also when roles were not imported with this run; a role the
        // package does not hold cannot be named and is left out.
        const int role = roleByName(idOf(ur, "IdRole"));
        if (role == 0)
            continue;
        const int user = userMap.value(idOf(ur, "IdUserApp"));
        const QPair<int, int> pair(user, role);
        if (saved.contains(pair))
            continue;
        saved.insert(pair);
        if (existingUsers.contains(user)
            && guarded([&] {
                   return Sql::scalar(m_db, QStringLiteral("Select count(*) From ZAT_UserApp_Role Where IdUserApp = %1 And IdRole = %2")
                                                .arg(user).arg(role)).toInt();
               }) > 0)
            continue;
        queue("ZAT_UserApp_Role", "IdLeg", {{u"IdUserApp"_s, user}, {u"IdRole"_s, role}});
    }
}
