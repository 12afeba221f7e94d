#pragma once

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

class AppError;

// SQL helpers shared by the repository library and the transfer engines. Values are always
// bound; only integer ids (and id lists built by idList) are ever written into statement text.
namespace Sql {

enum class Dialect { Sqlite, Postgres };

Dialect dialect(const QSqlDatabase &db);
bool isPostgres(const QSqlDatabase &db);

// The reserved column ZAT_UserApp.User, quoted so that it works on both databases.
QString userColumn();

// The failure of q's last statement, with the driver's code and text.
AppError failure(const QSqlQuery &q);

// Runs a statement with positional binds ("?"); throws AppError with the driver's text on failure.
QSqlQuery exec(const QSqlDatabase &db, const QString &sql, const QVariantList &binds = {});
// First column of the first row, or an invalid QVariant when there is no row.
QVariant scalar(const QSqlDatabase &db, const QString &sql, const QVariantList &binds = {});

// A column's name as a statement writes it (the reserved User quoted).
QString columnName(const QString &column);
// "?,?,?": n positional binds.
QString placeholders(int n);

using Values = QList<QPair<QString, QVariant>>;
// INSERT ... RETURNING idColumn: the new id assigned by the database.
int insert(const QSqlDatabase &db, const QString &table, const QString &idColumn, const Values &values);
// INSERT with every value given (explicit ids, as in a package). No id is read back.
void insertRow(const QSqlDatabase &db, const QString &table, const Values &values);
// UPDATE table SET ... WHERE whereColumn = id.
void update(const QSqlDatabase &db, const QString &table, const Values &values,
            const QString &whereColumn, int id);

// "In (1,2,3)"; refuses an empty list, so callers skip the statement instead.
QString idList(const QList<int> &ids);

// Null-safe readers by column name (names match without regard to case).
QString text(const QSqlQuery &q, const QString &column);
int integer(const QSqlQuery &q, const QString &column);
QDateTime dateTime(const QSqlQuery &q, const QString &column);
QDateTime toDateTime(const QVariant &value);
// Whether s is a valid date in the stored form below, which needs no conversion.
bool isStoredDate(const QString &s);
// The stored form of a date: ISO text "YYYY-MM-DD HH:MM:SS" (PostgreSQL casts it to timestamp).
QVariant dateValue(const QDateTime &value);
QVariant nullableText(const QString &s);

// Keeps a transaction's earlier rows when a statement fails on PostgreSQL, where a failure
// aborts the whole transaction. Use around a statement that may fail and whose failure is skipped.
class Savepoint {
public:
    Savepoint(const QSqlDatabase &db, const QString &name);
    void release();
    void rollback();
    ~Savepoint();

private:
    QSqlDatabase m_db;
    QString m_name;
    bool m_active = false;
};

} // namespace Sql
