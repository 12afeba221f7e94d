#pragma once

#include "repository/RepositorySession.h"
#include "repository/Sql.h"

#include <QSqlDatabase>
#include <QString>

// A small repository with everything an export touches, shared by the export tests.
namespace ExportFixture {

// Sql::insert, returning the new id.
int add(const QSqlDatabase &db, const QString &table, const QString &idColumn, const Sql::Values &values);
int count(const QSqlDatabase &db, const QString &sql);

struct Sample {
    int catA = 0, catB = 0;             // B lies under A, A under the root
    int alpha = 0, beta = 0, gamma = 0; // reports: alpha and beta in B, gamma in A
    int hidden = 0;                     // a live report that is not exported by the tests
    int m1 = 0, m2 = 0, m3 = 0, m4 = 0, m5 = 0; // m1 -> m2 -> m3 -> m1; m4 -> m1; m5 alone
    int macroCateg = 0;
    int ds1 = 0, ds2 = 0, v1 = 0, v2 = 0, v3 = 0; // v1 <-> v2 depend on each other, v3 of ds2 on v1
    int view1 = 0, view2 = 0;
    int role1 = 0, role2 = 0;
    int user1 = 0, user2 = 0, app = 0;
    QString betaCode;
};

Sample build(const QSqlDatabase &db);

// A fresh repository on the backend holding the sample, as a command-line tool is given it:
// repoArg is the file (its connection closed, as the tool writes codes back into it) or the URI
// of the server's test database.
Sample buildForTool(RepositorySession &session, const QString &backend, QString *repoArg);

} // namespace ExportFixture
