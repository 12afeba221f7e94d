#pragma once

#include "repository/RepositorySession.h"

#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>
#include <memory>

// Test repositories on both back-ends. Data-driven tests add a row per backend with addBackends()
// and fetch it with QFETCH(QString, backend). The PostgreSQL server comes from VELMORA_TEST_PG
// (postgresql://user@/db?host=/socket/dir&port=N); when it is missing a PostgreSQL test fails.
namespace TestDb {

// QTest::addColumn<QString>("backend") and the rows "sqlite" and "postgres".
void addBackends();

// A folder that lives for the whole test program.
QString tempDir();

// Makes `session` a fresh, empty repository on `backend` ("sqlite" or "postgres"): a new file
// for SQLite; for PostgreSQL every table of this test program's database dropped and recreated.
// The session is connected afterwards. Throws (QFAIL-able) on failure.
void freshRepository(RepositorySession &session, const QString &backend);

// The shared session of the console (App::session()) made fresh on backend.
RepositorySession &freshAppSession(const QString &backend);

// Whether the PostgreSQL server is configured.
bool postgresAvailable();

// Makes the destination refuse an inserted row of table whose column holds value (a trigger),
// as a constraint or a damaged server would.
void refuseInserts(const QSqlDatabase &db, const QString &table, const QString &column, const QString &value);

} // namespace TestDb
