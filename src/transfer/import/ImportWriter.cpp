#include "ImportRunInternal.h"
#include "RowBatches.h"
#include "SqliteBind.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

// Inserts go through statements prepared once per table and column list: the same few shapes
// repeat for every report, and preparing each row again would dominate the run.
int ImportRun::add(const QString &table, const QString &idColumn, const QList<QPair<QString, QVariant>> &values)
{
    m_table = table;
    if (m_raw && m_batches && m_batches->reserves(table)) { // SQLite would hand out an id the batches hold
        const int id = queue(table, idColumn, values);
        flushRows();
        return id;
    }
    if (m_raw)
        return addRaw(table, idColumn, values);
    QString key = table;
    for (const auto &v : values)
        key += QLatin1Char(',') + v.first;
    auto it = m_inserts.find(key);
    if (it == m_inserts.end()) {
        QStringList columns;
        for (const auto &v : values)
            columns << Sql::columnName(v.first);
        QSqlQuery q(m_db);
        if (!q.prepare(QStringLiteral("Insert Into %1 (%2) Values (%3) Returning %4")
                           .arg(table, columns.join(QLatin1Char(',')), Sql::placeholders(int(values.size())), idColumn)))
            return Sql::insert(m_db, table, idColumn, values); // reports the driver's error
        it = m_inserts.insert(key, q);
    }
    QSqlQuery &q = *it;
    const auto write = [&] {
        for (int i = 0; i < values.size(); ++i)
            q.bindValue(i, values[i].second);
        if (!q.exec())
            throw Sql::failure(q);
        if (!q.next())
            throw AppError(ErrorNumber::Database, QStringLiteral("No id was returned for a new row of ") + table);
        const int id = q.value(0).toInt();
        q.finish();
        return id;
    };
    if (!m_macroStep) // any other failure ends the run
        return write();
    Sql::Savepoint sp(m_db, QStringLiteral("import_row"));
    const int id = write();
    sp.release();
    return id;
}

int ImportRun::queue(const QString &table, const QString &idColumn, const QList<QPair<QString, QVariant>> &values)
{
    if (!m_batches)
        return add(table, idColumn, values);
    m_table = table;
    const auto onFailure = !m_macroStep ? RowBatches::OnFailure::EndsRun
        : m_skipFailedRows              ? RowBatches::OnFailure::Skipped
                                        : RowBatches::OnFailure::EndsStep;
    try {
        return m_batches->queue(table, idColumn, values, {m_context, onFailure});
    } catch (const AppError &) {
        nameQueuedFailure();
        throw;
    }
}

bool ImportRun::transactionLost() const { return m_raw && sqlite3_get_autocommit(m_raw); }

void ImportRun::flushRows()
{
    if (!m_batches || !m_batches->pending())
        return;
    try {
        m_batches->flush();
    } catch (const AppError &) {
        nameQueuedFailure();
        throw;
    }
}

// A queued row that failed is named by the step and table that queued it, not the current ones.
void ImportRun::nameQueuedFailure()
{
    m_table = m_batches->failedTable;
    m_failedContext = m_batches->failedContext;
}

void ImportRun::finalizeRaw()
{
    for (const QList<RawInsert> &shapes : std::as_const(m_rawInserts))
        for (const RawInsert &shape : shapes)
            sqlite3_finalize(shape.statement);
    m_rawInserts.clear();
}

// The same statement as above, bound and stepped straight through SQLite. Values are bound as
// the driver binds them (a null text is Null), and a failure carries the same code and text.
int ImportRun::addRaw(const QString &table, const QString &idColumn, const QList<QPair<QString, QVariant>> &values)
{
    // Found by comparing the column names in place: building a key string for every row cost more
    // than the lookup saves.
    QList<RawInsert> &shapes = m_rawInserts[table];
    const RawInsert *found = nullptr;
    for (const RawInsert &shape : std::as_const(shapes)) {
        if (shape.columns.size() != values.size())
            continue;
        bool same = true;
        for (qsizetype i = 0; same && i < values.size(); ++i)
            same = shape.columns.at(i) == values.at(i).first;
        if (same) {
            found = &shape;
            break;
        }
    }
    if (!found) {
        RawInsert shape;
        QStringList columns;
        for (const auto &v : values) {
            shape.columns << v.first;
            columns << Sql::columnName(v.first);
        }
        // An integer primary key is the row id: the new id is read back without Returning, which
        // makes SQLite gather the returned rows in a table of their own for every statement.
        const QByteArray tableName = table.toUtf8(), idName = idColumn.toUtf8();
        const char *declared = nullptr;
        int primaryKey = 0;
        shape.rowId = sqlite3_table_column_metadata(m_raw, nullptr, tableName.constData(), idName.constData(), &declared,
                                                    nullptr, nullptr, &primaryKey, nullptr) == SQLITE_OK
            && primaryKey && declared && qstricmp(declared, "integer") == 0;
        QString text = QStringLiteral("Insert Into %1 (%2) Values (%3)")
                           .arg(table, columns.join(QLatin1Char(',')), Sql::placeholders(int(values.size())));
        if (!shape.rowId)
            text += QStringLiteral(" Returning ") + idColumn;
        const QByteArray sql = text.toUtf8();
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v3(m_raw, sql.constData(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK
            || !st) {
            sqlite3_finalize(st);
            return Sql::insert(m_db, table, idColumn, values); // reports the driver's error
        }
        shape.statement = st;
        shapes.append(shape);
        found = &shapes.last();
    }
    sqlite3_stmt *st = found->statement;
    const auto failure = [&](int code) {
        const QString text = QString(reinterpret_cast<const QChar *>(sqlite3_errmsg16(m_raw))).trimmed();
        return AppError(code != 0 ? code : ErrorNumber::Database, text, QStringLiteral("Velmora repository"));
    };
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    for (int i = 0; i < values.size(); ++i)
        if (const int rc = bindSqliteValue(st, i + 1, values[i].second); rc != SQLITE_OK)
            throw failure(rc);
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_DONE && found->rowId) {
        sqlite3_reset(st);
        return int(sqlite3_last_insert_rowid(m_raw));
    }
    if (rc == SQLITE_ROW) {
        const int id = sqlite3_column_int(st, 0);
        sqlite3_reset(st);
        return id;
    }
    if (rc == SQLITE_DONE) {
        sqlite3_reset(st);
        throw AppError(ErrorNumber::Database, QStringLiteral("No id was returned for a new row of ") + table);
    }
    throw failure(sqlite3_reset(st));
}
