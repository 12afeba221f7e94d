#include "RowBatches.h"

#include "repository/AppError.h"
#include "repository/Sql.h"

#include <QSqlDriver>

#include <algorithm>
#include <optional>

RowBatches::RowBatches(const QSqlDatabase &db) : m_db(db), m_postgres(Sql::isPostgres(db))
{
    if (!m_postgres && m_db.driver()) {
        const QVariant handle = m_db.driver()->handle();
        if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
            m_sqlite = *static_cast<sqlite3 *const *>(handle.constData());
    }
    if (!m_postgres && !m_sqlite)
        throw AppError(ErrorNumber::Database, QStringLiteral("The repository's SQLite connection cannot be reached."));
}

RowBatches::~RowBatches() { finalizeSqlite(); }

int RowBatches::queue(const QString &table, const QString &idColumn, const Values &values, const Origin &origin)
{
    failedContext.clear();
    failedTable.clear();
    // Compared in place: a key string built for every row would cost more than the lookup.
    qsizetype at = -1;
    for (qsizetype i = 0; i < qsizetype(m_shapes.size()) && at < 0; ++i) {
        const Shape &s = m_shapes[size_t(i)];
        if (s.table != table || s.columns.size() != values.size())
            continue;
        bool same = true;
        for (qsizetype c = 0; same && c < values.size(); ++c)
            same = s.columns.at(c) == values.at(c).first;
        if (same)
            at = i;
    }
    if (at < 0) {
        Shape shape;
        shape.table = table;
        shape.idColumn = idColumn;
        for (const auto &v : values)
            shape.columns << v.first;
        m_shapes.push_back(std::move(shape));
        at = qsizetype(m_shapes.size()) - 1;
    }
    if (m_postgres && !canReserve(table, idColumn))
        return insertNow(m_shapes[size_t(at)], values, origin);
    const int id = reserve(table, idColumn);
    Shape &shape = m_shapes[size_t(at)];
    shape.ids << id;
    for (const auto &v : values) {
        shape.values << v.second;
        if (v.second.typeId() == QMetaType::QString)
            shape.bytes += static_cast<const QString *>(v.second.constData())->size();
    }
    shape.origins << origin;
    ++m_pending;
    if (shape.ids.size() >= maxRows() || shape.bytes >= MaxChars)
        flush(shape);
    return id;
}

// The sequence of the table's identity, and whether this login may draw from it: inserts take
// identity ids without any right on the sequence, nextval() needs one.
bool RowBatches::canReserve(const QString &table, const QString &idColumn)
{
    Pool &pool = m_pools[table];
    if (!pool.checked) {
        pool.checked = true;
        QSqlQuery q = Sql::exec(m_db, QStringLiteral("Select s, has_sequence_privilege(s, 'USAGE, UPDATE') From "
                                                     "(Select pg_get_serial_sequence(?, ?) As s) q"),
                                {table.toLower(), idColumn.toLower()});
        if (q.next() && !q.value(0).isNull()) {
            pool.sequence = q.value(0).toString();
            pool.reserving = q.value(1).toBool();
        }
    }
    return pool.reserving;
}

int RowBatches::reserve(const QString &table, const QString &idColumn)
{
    Pool &pool = m_pools[table];
    if (!m_postgres)
        return reserveSqlite(pool, table, idColumn);
    if (pool.next >= pool.ids.size()) {
        // Blocks grow so that a small import leaves few ids unused and a large one asks rarely.
        QSqlQuery q = Sql::exec(m_db, QStringLiteral("Select nextval(?::regclass) From generate_series(1, %1)").arg(pool.block),
                                {pool.sequence});
        pool.ids.clear();
        pool.next = 0;
        while (q.next())
            pool.ids << q.value(0).toInt();
        if (pool.ids.isEmpty())
            throw AppError(ErrorNumber::Database, QStringLiteral("No ids could be reserved for ") + table);
        pool.block = std::min(pool.block * 2, 4096);
    }
    return pool.ids.at(pool.next++);
}

QStringList RowBatches::columnNames(const Shape &shape) const
{
    QStringList names{shape.idColumn};
    for (const QString &c : shape.columns)
        names << Sql::columnName(c);
    return names;
}

// "Insert Into t (id, a, b) Select * From unnest(?::integer[], ?::text[], ?::timestamp[])": each
// array is cast to its column's own type, as the server describes it.
QString RowBatches::batchText(const Shape &shape)
{
    QHash<QString, QString> types;
    // The type without its length: a cast to varchar(n) would cut a longer text short, where the
    // insert refuses it.
    QSqlQuery q = Sql::exec(m_db, QStringLiteral("Select attname, format_type(atttypid, Null) From pg_attribute "
                                                 "Where attrelid = ?::regclass And attnum > 0 And Not attisdropped"),
                            {shape.table.toLower()});
    while (q.next())
        types.insert(q.value(0).toString(), q.value(1).toString());
    QStringList arrays;
    for (const QString &c : QStringList{shape.idColumn} + shape.columns) {
        const QString type = types.value(c.toLower());
        if (type.isEmpty())
            throw AppError(ErrorNumber::Database, QStringLiteral("The table %1 has no column %2.").arg(shape.table, c));
        arrays << QStringLiteral("?::%1[]").arg(type);
    }
    return QStringLiteral("Insert Into %1 (%2) Select * From unnest(%3)")
        .arg(shape.table, columnNames(shape).join(QLatin1Char(',')), arrays.join(QLatin1Char(',')));
}

namespace {
// One element of an array literal: Null, or the value's text quoted.
void appendElement(QString &array, const QVariant &v)
{
    if (array.size() > 1)
        array += QLatin1Char(',');
    if (v.isNull() || (v.typeId() == QMetaType::QString && static_cast<const QString *>(v.constData())->isNull())) {
        array += QLatin1String("NULL");
        return;
    }
    QString text;
    switch (v.typeId()) {
    case QMetaType::QString:
        text = *static_cast<const QString *>(v.constData());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        text = QString::number(v.toDouble(), 'g', 17);
        break;
    case QMetaType::Bool:
        text = QString::number(v.toBool() ? 1 : 0);
        break;
    default:
        text = v.toString();
    }
    array += QLatin1Char('"');
    for (const QChar ch : std::as_const(text)) {
        if (ch == QLatin1Char('"') || ch == QLatin1Char('\\'))
            array += QLatin1Char('\\');
        array += ch;
    }
    array += QLatin1Char('"');
}
} // namespace

void RowBatches::writeBatch(Shape &shape, qsizetype from, qsizetype rows)
{
    if (!m_postgres) {
        for (qsizetype at = from; at < from + rows; at += SqliteRows) {
            const qsizetype n = std::min(SqliteRows, from + rows - at);
            if (!writeSqlite(shape, at, n)) // the statement left nothing behind
                for (qsizetype r = at; r < at + n; ++r)
                    insertRowSqlite(shape, r);
        }
        return;
    }
    // The savepoint comes first: a statement the server refuses to prepare also ends the
    // transaction.
    Sql::Savepoint batch(m_db, QStringLiteral("import_batch"));
    if (!shape.batchPrepared) {
        const QString text = batchText(shape);
        shape.batch = QSqlQuery(m_db);
        shape.batchPrepared = shape.batch.prepare(text);
    }
    bool written = false;
    if (shape.batchPrepared) {
        const qsizetype width = shape.columns.size();
        for (qsizetype c = -1; c < width; ++c) {
            QString array(QLatin1Char('{'));
            for (qsizetype r = from; r < from + rows; ++r)
                appendElement(array, c < 0 ? QVariant(shape.ids.at(r)) : shape.values.at(r * width + c));
            array += QLatin1Char('}');
            shape.batch.bindValue(int(c + 1), array);
        }
        written = shape.batch.exec();
        shape.batch.finish();
    }
    if (written) {
        batch.release();
        return;
    }
    batch.rollback();
    for (qsizetype r = from; r < from + rows; ++r)
        insertRow(shape, r);
}

void RowBatches::flush()
{
    failedContext.clear();
    failedTable.clear();
    for (Shape &shape : m_shapes)
        if (!shape.ids.isEmpty())
            flush(shape);
}

void RowBatches::flush(Shape &shape)
{
    const auto clear = [&] {
        m_pending -= shape.ids.size();
        shape.ids.clear();
        shape.values.clear();
        shape.origins.clear();
        shape.bytes = 0;
    };
    try {
        for (qsizetype done = 0; done < shape.ids.size(); done += maxRows())
            writeBatch(shape, done, std::min(maxRows(), shape.ids.size() - done));
    } catch (...) {
        clear();
        throw;
    }
    clear();
}

// One row by itself: the failure found is this row's own.
void RowBatches::insertRow(Shape &shape, qsizetype row)
{
    if (!m_postgres)
        return insertRowSqlite(shape, row);
    const Origin &origin = shape.origins.at(row);
    std::optional<Sql::Savepoint> own;
    if (origin.onFailure != OnFailure::EndsRun)
        own.emplace(m_db, QStringLiteral("import_row"));
    QSqlQuery &q = shape.oneRow;
    bool ok = shape.rowPrepared;
    if (!ok) {
        q = QSqlQuery(m_db);
        ok = shape.rowPrepared = q.prepare(QStringLiteral("Insert Into %1 (%2) Values (%3)")
                                               .arg(shape.table, columnNames(shape).join(QLatin1Char(',')),
                                                    Sql::placeholders(int(shape.columns.size() + 1))));
    }
    if (ok) {
        const qsizetype width = shape.columns.size();
        q.bindValue(0, shape.ids.at(row));
        for (qsizetype c = 0; c < width; ++c)
            q.bindValue(int(c + 1), shape.values.at(row * width + c));
        ok = q.exec();
    }
    if (ok) {
        q.finish();
        if (own)
            own->release();
        return;
    }
    const AppError e = Sql::failure(q);
    q.finish();
    if (own)
        own->rollback();
    rowFailed(shape.table, origin, e);
}

void RowBatches::rowFailed(const QString &table, const Origin &origin, const AppError &e)
{
    if (origin.onFailure == OnFailure::Skipped) {
        if (m_skipped.count++ == 0)
            m_skipped.first = table + QStringLiteral(": ") + e.description;
        return;
    }
    failedContext = origin.context;
    failedTable = table;
    throw e;
}

// Without a right on the sequence: one insert now, the id from the column's default.
int RowBatches::insertNow(Shape &shape, const Values &values, const Origin &origin)
{
    std::optional<Sql::Savepoint> own;
    if (origin.onFailure != OnFailure::EndsRun)
        own.emplace(m_db, QStringLiteral("import_row"));
    QSqlQuery &q = shape.now;
    bool ok = shape.nowPrepared;
    if (!ok) {
        q = QSqlQuery(m_db);
        ok = shape.nowPrepared = q.prepare(QStringLiteral("Insert Into %1 (%2) Values (%3) Returning %4")
                                               .arg(shape.table, columnNames(shape).mid(1).join(QLatin1Char(',')),
                                                    Sql::placeholders(int(shape.columns.size())), shape.idColumn));
    }
    if (ok) {
        for (qsizetype c = 0; c < values.size(); ++c)
            q.bindValue(int(c), values.at(c).second);
        ok = q.exec() && q.next();
    }
    if (ok) {
        const int id = q.value(0).toInt();
        q.finish();
        if (own)
            own->release();
        return id;
    }
    const AppError e = Sql::failure(q);
    q.finish();
    if (own)
        own->rollback();
    rowFailed(shape.table, origin, e);
    return 0;
}

RowBatches::Skipped RowBatches::takeSkipped()
{
    const Skipped s = m_skipped;
    m_skipped = {};
    return s;
}
