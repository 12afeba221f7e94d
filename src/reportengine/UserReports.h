#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>

// What a user of a client application may run: the live reports granted to the roles they hold.
struct UserReportRow {
    int idReport = 0;
    QString name;
    QString filePath;
    QString version;
    QString roles; // the roles that grant it, joined by ", "
};
// Ordered by name (case-insensitive); a report granted through several roles is listed once.
QList<UserReportRow> ReportsOfUser(const QSqlDatabase &db, int idUserApp);

struct ApplicationUser {
    int idUserApp = 0;
    QString text; // "login - First Last (application)"
};
// Every ZAT_UserApp row, ordered by application and login.
QList<ApplicationUser> ApplicationUsers(const QSqlDatabase &db);
