#include "ExportRows.h"

#include <QHash>
#include <QSqlDriver>

#include <sqlite3.h>

namespace ExportRows {

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
        QStringList names, marks;
        for (const auto &v : values) {
            const QString name = QString::fromLatin1(v.first);
            names << (name.compare(QLatin1String("User"), Qt::CaseInsensitive) == 0 ? Sql::userColumn() : name);
            marks << QStringLiteral("?");
        }
        return QStringLiteral("Insert Into %1 (%2) Values (%3)")
            .arg(QString::fromLatin1(table), names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
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
