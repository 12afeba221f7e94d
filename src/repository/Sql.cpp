#include "Sql.h"

#include "AppError.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>
#include <QStringList>

namespace Sql {

Dialect dialect(const QSqlDatabase &db)
{
    return db.driverName() == QLatin1String("QPSQL") ? Dialect::Postgres : Dialect::Sqlite;
}

bool isPostgres(const QSqlDatabase &db) { return dialect(db) == Dialect::Postgres; }

QString userColumn() { return QStringLiteral("\"user\""); }

AppError failure(const QSqlQuery &q)
{
    const QSqlError err = q.lastError();
    QString text = err.databaseText().trimmed();
    if (text.isEmpty())
        text = err.text().trimmed();
    // The server's text ends "\n(SQLSTATE)": one line, so a message and a history row stay one.
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    bool ok = false;
    int code = err.nativeErrorCode().toInt(&ok);
    if (!ok || code == 0)
        code = ErrorNumber::Database;
    return AppError(code, text, QStringLiteral("Velmora repository"));
}

QSqlQuery exec(const QSqlDatabase &db, const QString &sql, const QVariantList &binds)
{
    if (!db.isOpen())
        throw AppError(ErrorNumber::NotConnected, QStringLiteral("The database is not open."));
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (binds.isEmpty()) {
        if (!q.exec(sql))
            throw failure(q);
        return q;
    }
    if (!q.prepare(sql))
        throw failure(q);
    for (const QVariant &v : binds)
        q.addBindValue(v);
    if (!q.exec())
        throw failure(q);
    return q;
}

QVariant scalar(const QSqlDatabase &db, const QString &sql, const QVariantList &binds)
{
    QSqlQuery q = exec(db, sql, binds);
    if (q.next())
        return q.value(0);
    return {};
}

QString placeholders(int n)
{
    QStringList marks;
    for (int i = 0; i < n; ++i)
        marks << QStringLiteral("?");
    return marks.join(QLatin1Char(','));
}

QString columnName(const QString &c)
{
    return c.compare(QLatin1String("User"), Qt::CaseInsensitive) == 0 ? userColumn() : c;
}

static QString insertText(const QString &table, const Values &values, QVariantList &binds)
{
    QStringList cols;
    for (const auto &[name, value] : values) {
        cols << columnName(name);
        binds << value;
    }
    return QStringLiteral("Insert Into %1 (%2) Values (%3)")
        .arg(table, cols.join(QLatin1Char(',')), placeholders(int(values.size())));
}

int insert(const QSqlDatabase &db, const QString &table, const QString &idColumn, const Values &values)
{
    QVariantList binds;
    QString sql = values.isEmpty()
        ? QStringLiteral("Insert Into %1 Default Values").arg(table)
        : insertText(table, values, binds);
    sql += QStringLiteral(" Returning ") + idColumn;
    QSqlQuery q = exec(db, sql, binds);
    if (!q.next())
        throw AppError(ErrorNumber::Database, QStringLiteral("No id was returned for a new row of ") + table);
    return q.value(0).toInt();
}

void insertRow(const QSqlDatabase &db, const QString &table, const Values &values)
{
    QVariantList binds;
    exec(db, insertText(table, values, binds), binds);
}

void update(const QSqlDatabase &db, const QString &table, const Values &values,
            const QString &whereColumn, int id)
{
    if (values.isEmpty())
        return;
    QStringList sets;
    QVariantList binds;
    for (const auto &[name, value] : values) {
        sets << columnName(name) + QStringLiteral(" = ?");
        binds << value;
    }
    exec(db, QStringLiteral("Update %1 Set %2 Where %3 = %4")
                 .arg(table, sets.join(QStringLiteral(", ")), whereColumn, QString::number(id)),
         binds);
}

QString idList(const QList<int> &ids)
{
    if (ids.isEmpty())
        throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("An empty id list cannot be sent."));
    QStringList parts;
    parts.reserve(ids.size());
    for (int id : ids)
        parts << QString::number(id);
    return QStringLiteral("In (") + parts.join(QLatin1Char(',')) + QLatin1Char(')');
}

QString text(const QSqlQuery &q, const QString &column)
{
    const QVariant v = q.value(column);
    return v.isNull() ? QString() : v.toString();
}

int integer(const QSqlQuery &q, const QString &column)
{
    const QVariant v = q.value(column);
    return v.isNull() ? 0 : v.toInt();
}

// The stored form "YYYY-MM-DD HH:MM:SS" read without the general format parser, which dominates
// reading dates from large packages and repositories.
static bool storedParts(const QString &s, QDate &date, QTime &time)
{
    if (s.size() != 19 || s[4] != QLatin1Char('-') || s[7] != QLatin1Char('-') || s[10] != QLatin1Char(' ')
        || s[13] != QLatin1Char(':') || s[16] != QLatin1Char(':'))
        return false;
    auto number = [&s](int from, int length, bool *ok) {
        int n = 0;
        for (int i = from; i < from + length; ++i) {
            const char16_t c = s[i].unicode();
            if (c < u'0' || c > u'9') {
                *ok = false;
                return 0;
            }
            n = n * 10 + (c - u'0');
        }
        return n;
    };
    bool ok = true;
    date = QDate(number(0, 4, &ok), number(5, 2, &ok), number(8, 2, &ok));
    time = QTime(number(11, 2, &ok), number(14, 2, &ok), number(17, 2, &ok));
    return ok && date.isValid() && time.isValid();
}

static QDateTime storedDateTime(const QString &s)
{
    QDate date;
    QTime time;
    return storedParts(s, date, time) ? QDateTime(date, time) : QDateTime();
}

bool isStoredDate(const QString &s)
{
    QDate date;
    QTime time;
    return storedParts(s, date, time);
}

QDateTime toDateTime(const QVariant &v)
{
    if (v.isNull() || !v.isValid())
        return {};
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime();
    if (v.typeId() == QMetaType::QDate)
        return v.toDate().startOfDay();
    const QString s = v.toString().trimmed();
    QDateTime d = storedDateTime(s);
    if (!d.isValid())
        d = QDateTime::fromString(s, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!d.isValid())
        d = QDateTime::fromString(s, Qt::ISODateWithMs);
    if (!d.isValid())
        d = QDateTime::fromString(s, Qt::ISODate);
    if (!d.isValid()) {
        const QDate date = QDate::fromString(s.left(10), QStringLiteral("yyyy-MM-dd"));
        if (date.isValid())
            d = date.startOfDay();
    }
    return d;
}

QDateTime dateTime(const QSqlQuery &q, const QString &column) { return toDateTime(q.value(column)); }

QVariant dateValue(const QDateTime &value)
{
    if (!value.isValid())
        return QVariant(QMetaType(QMetaType::QString));
    return value.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QVariant nullableText(const QString &s)
{
    return s.isNull() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(s);
}

Savepoint::Savepoint(const QSqlDatabase &db, const QString &name) : m_db(db), m_name(name)
{
    if (isPostgres(db) && db.driver()->hasFeature(QSqlDriver::Transactions)) {
        QSqlQuery q(db);
        m_active = q.exec(QStringLiteral("Savepoint ") + m_name);
    }
}

void Savepoint::release()
{
    if (!m_active)
        return;
    QSqlQuery q(m_db);
    q.exec(QStringLiteral("Release Savepoint ") + m_name);
    m_active = false;
}

void Savepoint::rollback()
{
    if (!m_active)
        return;
    QSqlQuery q(m_db);
    q.exec(QStringLiteral("Rollback To Savepoint ") + m_name);
    q.exec(QStringLiteral("Release Savepoint ") + m_name);
    m_active = false;
}

Savepoint::~Savepoint() { rollback(); }

} // namespace Sql
