#include "RowBatches.h"
#include "SqliteBind.h"

#include "repository/AppError.h"
#include "repository/Sql.h"

// The SQLite side of RowBatches: statements go straight to SQLite, bound as the driver binds.

int RowBatches::reserveSqlite(Pool &pool, const QString &table, const QString &idColumn)
{
    if (pool.last < 0) {
        // Explicit ids below the autoincrement mark would reuse ids of deleted rows.
        int mark = 0;
        if (Sql::scalar(m_db, QStringLiteral("Select count(*) From sqlite_master Where name = 'sqlite_sequence'")).toInt() > 0)
            mark = Sql::scalar(m_db, QStringLiteral("Select seq From sqlite_sequence Where name = ? Collate NoCase"), {table}).toInt();
        const int largest = Sql::scalar(m_db, QStringLiteral("Select Max(%1) From %2").arg(idColumn, table)).toInt();
        pool.last = std::max(mark, largest);
    }
    return ++pool.last;
}

sqlite3_stmt *RowBatches::prepareSqlite(const Shape &shape, qsizetype rows)
{
    const QString row = QLatin1Char('(') + Sql::placeholders(int(shape.columns.size() + 1)) + QLatin1Char(')');
    QString text = QStringLiteral("Insert Into %1 (%2) Values ").arg(shape.table, columnNames(shape).join(QLatin1Char(',')));
    for (qsizetype r = 0; r < rows; ++r)
        text += (r > 0 ? QStringLiteral(",") : QString()) + row;
    const QByteArray sql = text.toUtf8();
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v3(m_sqlite, sql.constData(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        return nullptr;
    }
    return st;
}

AppError RowBatches::sqliteFailure(int code) const
{
    const QString text = QString(reinterpret_cast<const QChar *>(sqlite3_errmsg16(m_sqlite))).trimmed();
    return AppError(code != 0 ? code : ErrorNumber::Database, text, QStringLiteral("Velmora repository"));
}

bool RowBatches::writeSqlite(Shape &shape, qsizetype from, qsizetype rows)
{
    sqlite3_stmt *st = nullptr;
    const bool full = rows == SqliteRows;
    if (full) {
        if (!shape.sqliteBatch)
            shape.sqliteBatch = prepareSqlite(shape, rows);
        st = shape.sqliteBatch;
    } else {
        st = prepareSqlite(shape, rows);
    }
    if (!st)
        return false;
    const qsizetype width = shape.columns.size();
    int n = 0;
    bool bound = true;
    for (qsizetype r = from; r < from + rows && bound; ++r) {
        bound = sqlite3_bind_int64(st, ++n, shape.ids.at(r)) == SQLITE_OK;
        for (qsizetype c = 0; c < width && bound; ++c)
            bound = bindSqliteValue(st, ++n, shape.values.at(r * width + c)) == SQLITE_OK;
    }
    // A statement that fails is undone as a whole: none of its rows stays.
    const bool written = bound && sqlite3_step(st) == SQLITE_DONE;
    const AppError failure = written ? AppError(0, {}) : sqliteFailure(sqlite3_reset(st));
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    if (!full)
        sqlite3_finalize(st);
    if (!written)
        checkTransaction(shape.table, shape.origins.at(from), failure);
    return written;
}

void RowBatches::insertRowSqlite(Shape &shape, qsizetype row)
{
    const Origin &origin = shape.origins.at(row);
    if (!shape.sqliteRow)
        shape.sqliteRow = prepareSqlite(shape, 1);
    sqlite3_stmt *st = shape.sqliteRow;
    if (!st)
        return rowFailed(shape.table, origin, sqliteFailure(sqlite3_errcode(m_sqlite)));
    const qsizetype width = shape.columns.size();
    int rc = sqlite3_bind_int64(st, 1, shape.ids.at(row));
    for (qsizetype c = 0; c < width && rc == SQLITE_OK; ++c)
        rc = bindSqliteValue(st, int(c + 2), shape.values.at(row * width + c));
    if (rc == SQLITE_OK && sqlite3_step(st) == SQLITE_DONE) {
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);
        return;
    }
    const int code = rc != SQLITE_OK ? rc : sqlite3_reset(st);
    const AppError e = sqliteFailure(code);
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    checkTransaction(shape.table, origin, e);
    rowFailed(shape.table, origin, e);
}

void RowBatches::checkTransaction(const QString &table, const Origin &origin, const AppError &failure)
{
    if (!sqlite3_get_autocommit(m_sqlite))
        return;
    failedContext = origin.context;
    failedTable = table;
    throw failure;
}

void RowBatches::finalizeSqlite()
{
    for (Shape &shape : m_shapes) {
        sqlite3_finalize(shape.sqliteBatch);
        sqlite3_finalize(shape.sqliteRow);
        shape.sqliteBatch = shape.sqliteRow = nullptr;
    }
}
