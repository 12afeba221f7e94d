#pragma once

#include "repository/Sql.h"

#include <QSqlDatabase>
#include <QString>

// Writes package files for tests the way an export does: a new database made by CreateDatabase,
// rows inserted with the source repository's ids.
class PackageBuilder {
public:
    // Creates the package at path (replacing a file) and opens it for writing. The seeded
    // client application is removed so that a package holds only the rows a test writes.
    explicit PackageBuilder(const QString &path);
    ~PackageBuilder();

    QString path() const { return m_path; }
    QSqlDatabase db() const { return m_db; }

    void row(const QString &table, const Sql::Values &values);
    // A category with its "c" sort row (no sort row when sortNr < 0).
    void category(int id, int parent, const QString &name, int sortNr, int isDeleted = 0);
    // A report with only the columns a tree needs; the rest Null.
    void report(int id, int categ, const QString &name, const QString &code = {}, int isDeleted = 0);
    // Closes the connection; the file stays.
    void close();

private:
    QString m_path;
    QString m_connection;
    QSqlDatabase m_db;
};

// Counts the rows of table in db (for "nothing was written" checks).
int rowCount(const QSqlDatabase &db, const QString &table, const QString &where = {});
