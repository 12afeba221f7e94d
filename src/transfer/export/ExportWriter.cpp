#include "ExportRows.h"

#include <QHash>
#include <QSqlDriver>

#include <sqlite3.h>

namespace ExportRows {

static sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    if (!db.isOpen() || !db.driver())
        return nullptr;
    const QVariant handle = db.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        return *static_cast<sqlite3 *const *>(handle.constData());
    return nullptr;
}

static QList<Row> rowsThroughDriver(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q = Sql::exec(db, sql);
    QList<Row> out;
    const QSqlRecord rec = q.record();
    auto columns = std::make_shared<Columns>();
    for (int i = 0; i < rec.count(); ++i)
        columns->names.append(rec.fieldName(i));
    const int n = int(columns->names.size());
    while (q.next()) {
        QVariantList values;
        values.reserve(n);
        for (int i = 0; i < n; ++i)
            values.append(q.value(i));
        out.append(Row(columns, std::move(values)));
    }
    return out;
}

QList<Row> rows(const QSqlDatabase &db, const QString &sql)
{
    sqlite3 *raw = sqliteHandle(db);
    if (!raw)
        return rowsThroughDriver(db, sql);
    sqlite3_stmt *st = nullptr;
    const QByteArray text = sql.toUtf8();
    // Any failure is left to the driver, which reports it as every other statement does.
    if (sqlite3_prepare_v2(raw, text.constData(), int(text.size()), &st, nullptr) != SQLITE_OK || !st) {
        sqlite3_finalize(st);
        return rowsThroughDriver(db, sql);
    }
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> statement(st, sqlite3_finalize);
    auto columns = std::make_shared<Columns>();
    const int n = sqlite3_column_count(st);
    for (int i = 0; i < n; ++i)
        columns->names.append(QString::fromUtf8(sqlite3_column_name(st, i)));
    QList<Row> out;
    for (;;) {
        const int rc = sqlite3_step(st);
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW) {
            if (out.isEmpty())
                return rowsThroughDriver(db, sql);
            throw AppError(rc, QString::fromUtf8(sqlite3_errmsg(raw)), QStringLiteral("Velmora repository"));
        }
        QVariantList values;
        values.reserve(n);
        // The same types as the driver: 64-bit integers, doubles, UTF-16 text, blobs, null text.
        for (int i = 0; i < n; ++i) {
            switch (sqlite3_column_type(st, i)) {
            case SQLITE_INTEGER:
                values.append(QVariant(qlonglong(sqlite3_column_int64(st, i))));
                break;
            case SQLITE_FLOAT:
                values.append(QVariant(sqlite3_column_double(st, i)));
                break;
            case SQLITE_NULL:
                values.append(QVariant(QMetaType::fromType<QString>()));
                break;
            case SQLITE_BLOB:
                values.append(QVariant(QByteArray(static_cast<const char *>(sqlite3_column_blob(st, i)),
                                                  sqlite3_column_bytes(st, i))));
                break;
            default:
                values.append(QVariant(QString(static_cast<const QChar *>(sqlite3_column_text16(st, i)),
                                               sqlite3_column_bytes16(st, i) / qsizetype(sizeof(QChar)))));
            }
        }
        out.append(Row(columns, std::move(values)));
    }
    return out;
}

struct Writer::Impl {
    QSqlDatabase db;
    sqlite3 *raw = nullptr;
    QHash<const char *, sqlite3_stmt *> statements; // by table name literal
    QHash<const char *, QSqlQuery> queries;         // when the driver hands out no SQLite handle

    AppError failure() const
    {
        return AppError(sqlite3_extended_errcode(raw),
                        QString::fromUtf8(sqlite3_errmsg(raw)), QStringLiteral("Velmora package"));
    }

    static QString insertText(const char *table, Fields values)
    {
        QStringList names;
        for (const auto &v : values)
            names << Sql::columnName(QString::fromLatin1(v.first));
        return QStringLiteral("Insert Into %1 (%2) Values (%3)")
            .arg(QString::fromLatin1(table), names.join(QLatin1Char(',')), Sql::placeholders(int(values.size())));
    }

    void bind(sqlite3_stmt *st, int i, const QVariant &v)
    {
        int rc = SQLITE_OK;
        if (v.isNull()) {
            rc = sqlite3_bind_null(st, i);
        } else {
            switch (v.typeId()) {
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::Short:
            case QMetaType::UShort:
            case QMetaType::Char:
            case QMetaType::SChar:
            case QMetaType::UChar:
            case QMetaType::Long:
            case QMetaType::LongLong:
            case QMetaType::ULong:
            case QMetaType::ULongLong:
            case QMetaType::Bool:
                rc = sqlite3_bind_int64(st, i, v.toLongLong());
                break;
            case QMetaType::Double:
            case QMetaType::Float:
                rc = sqlite3_bind_double(st, i, v.toDouble());
                break;
            case QMetaType::QByteArray: {
                const QByteArray b = v.toByteArray();
                rc = sqlite3_bind_blob(st, i, b.constData(), int(b.size()), SQLITE_TRANSIENT);
                break;
            }
            case QMetaType::QDateTime:
                rc = sqlite3_bind_text16(st, i, Sql::dateValue(v.toDateTime()).toString().utf16(), -1,
                                         SQLITE_TRANSIENT);
                break;
            default: {
                const QString s = v.toString();
                rc = sqlite3_bind_text16(st, i, s.utf16(), int(s.size() * 2), SQLITE_TRANSIENT);
            }
            }
        }
        if (rc != SQLITE_OK)
            throw failure();
    }
};

Writer::Writer(const QSqlDatabase &db) : d(std::make_unique<Impl>())
{
    d->db = db;
    const QVariant handle = db.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        d->raw = *static_cast<sqlite3 *const *>(handle.constData());
}

Writer::~Writer()
{
    for (sqlite3_stmt *st : std::as_const(d->statements))
        sqlite3_finalize(st);
}

void Writer::append(const char *table, Fields values)
{
    if (!d->raw) {
        auto it = d->queries.find(table);
        if (it == d->queries.end()) {
            QSqlQuery q(d->db);
            if (!q.prepare(Impl::insertText(table, values)))
                throw AppError(ErrorNumber::Database, q.lastError().text(), QStringLiteral("Velmora package"));
            it = d->queries.insert(table, q);
        }
        int i = 0;
        for (const auto &v : values)
            it->bindValue(i++, v.second);
        if (!it->exec())
            throw AppError(ErrorNumber::Database, it->lastError().databaseText(), QStringLiteral("Velmora package"));
        return;
    }
    sqlite3_stmt *st = d->statements.value(table);
    if (!st) {
        const QString sql = Impl::insertText(table, values);
        if (sqlite3_prepare_v3(d->raw, sql.toUtf8().constData(), -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK)
            throw d->failure();
        d->statements.insert(table, st);
    }
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    int i = 0;
    for (const auto &v : values)
        d->bind(st, ++i, v.second);
    if (sqlite3_step(st) != SQLITE_DONE) {
        const AppError error = d->failure();
        sqlite3_reset(st);
        throw error;
    }
}

} // namespace ExportRows
