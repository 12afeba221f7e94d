#include "DataSourceConnection.h"

#include "repository/AppError.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlError>
#include <QUrl>
#include <QUrlQuery>

static QAtomicInt connectionCounter;

static AppError refused(const QString &dataSource, const QString &why)
{
    return AppError(ErrorNumber::InvalidArgument,
                    QStringLiteral("The data source '%1' cannot be opened: %2").arg(dataSource, why));
}

DataSourceConnection::DataSourceConnection(const QString &connectionString, bool isJet, const QString &dataSourceName)
    : m_name(QStringLiteral("velmora-datasource-%1").arg(connectionCounter.fetchAndAddRelaxed(1) + 1))
{
    const QString cs = connectionString.trimmed();
    QString sqlitePath;
    if (cs.startsWith(QLatin1String("sqlite:"), Qt::CaseInsensitive))
        sqlitePath = cs.mid(7);
    else if (isJet && !cs.contains(QLatin1String("://")) && !cs.contains(QLatin1Char('=')) && !cs.isEmpty())
        sqlitePath = cs;

    if (!sqlitePath.isEmpty()) {
        if (!QFileInfo(sqlitePath).isFile())
            throw refused(dataSourceName, QStringLiteral("the file '%1' does not exist.").arg(sqlitePath));
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(sqlitePath);
        // Reports only read; a wrong path must not leave an empty database behind either.
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open())
            throw refused(dataSourceName, db.lastError().text());
        return;
    }

    const QUrl url(cs, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("postgresql") && scheme != QLatin1String("postgres"))) {
        throw refused(dataSourceName,
                      cs.isEmpty() ? QStringLiteral("its connection string is empty.")
                                   : QStringLiteral("the connection string is neither \"sqlite:PATH\", a file path of a "
                                                    "file database, nor a PostgreSQL URI (postgresql://...)."));
    }
    const QUrlQuery query(url);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
    db.setHostName(query.hasQueryItem(QStringLiteral("host"))
                       ? query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded)
                       : url.host());
    db.setPort(query.hasQueryItem(QStringLiteral("port")) ? query.queryItemValue(QStringLiteral("port")).toInt()
                                                         : url.port(5432));
    db.setUserName(query.hasQueryItem(QStringLiteral("user"))
                       ? query.queryItemValue(QStringLiteral("user"), QUrl::FullyDecoded)
                       : url.userName(QUrl::FullyDecoded));
    db.setPassword(query.hasQueryItem(QStringLiteral("password"))
                       ? query.queryItemValue(QStringLiteral("password"), QUrl::FullyDecoded)
                       : url.password(QUrl::FullyDecoded));
    QString database = url.path(QUrl::FullyDecoded).mid(1);
    if (query.hasQueryItem(QStringLiteral("dbname")))
        database = query.queryItemValue(QStringLiteral("dbname"), QUrl::FullyDecoded);
    db.setDatabaseName(database.isEmpty() ? db.userName() : database);
    db.setConnectOptions(QStringLiteral("connect_timeout=10"));
    if (!db.open()) {
        // The driver's text names host and database, never the password.
        const QString why = db.lastError().text();
        throw refused(dataSourceName, why);
    }
}

DataSourceConnection::~DataSourceConnection()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

QSqlDatabase DataSourceConnection::database() const { return QSqlDatabase::database(m_name, false); }

static bool isNameStart(QChar c) { return c.isLetter() || c == QLatin1Char('_'); }
static bool isNamePart(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }

PositionalSql ToPositional(const QString &sql)
{
    PositionalSql out;
    out.text.reserve(sql.size());
    const int n = sql.size();
    int i = 0;
    while (i < n) {
        const QChar c = sql[i];
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            // A quoted text or identifier, with doubled quotes inside, is copied as it is.
            int j = i + 1;
            while (j < n) {
                if (sql[j] == c) {
                    if (j + 1 < n && sql[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            out.text += sql.mid(i, j - i + 1);
            i = j + 1;
        } else if (c == QLatin1Char('-') && i + 1 < n && sql[i + 1] == QLatin1Char('-')) {
            // Comments are dropped: the drivers' own placeholder scans do not know them.
            int j = sql.indexOf(QLatin1Char('\n'), i);
            if (j < 0)
                j = n;
            out.text += QLatin1Char(' ');
            i = j;
        } else if (c == QLatin1Char('/') && i + 1 < n && sql[i + 1] == QLatin1Char('*')) {
            int j = sql.indexOf(QLatin1String("*/"), i + 2);
            j = j < 0 ? n : j + 2;
            out.text += QLatin1Char(' ');
            i = j;
        } else if (c == QLatin1Char(':') && i + 1 < n && sql[i + 1] == QLatin1Char(':')) {
            out.text += QLatin1String("::");
            i += 2;
        } else if (c == QLatin1Char(':') && i + 1 < n && isNameStart(sql[i + 1])
                   && (i == 0 || !isNamePart(sql[i - 1]))) {
            int j = i + 1;
            while (j < n && isNamePart(sql[j]))
                ++j;
            out.names << sql.mid(i + 1, j - i - 1);
            out.text += QLatin1Char('?');
            i = j;
        } else {
            out.text += c;
            ++i;
        }
    }
    return out;
}
