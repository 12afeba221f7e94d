#include "TestDb.h"

#include "repository/AppError.h"
#include "repository/Schema.h"
#include "repository/Sql.h"
#include "shell/AppState.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTest>
#include <QUrl>
#include <QUrlQuery>

namespace TestDb {

struct PgTarget {
    QString host;
    int port = 5432;
    QString user;
    QString password;
    QString adminDb;
};

static bool pgTarget(PgTarget &t)
{
    const QString uri = qEnvironmentVariable("VELMORA_TEST_PG");
    if (uri.isEmpty())
        return false;
    const QUrl url(uri);
    const QUrlQuery query(url);
    t.host = query.hasQueryItem(QStringLiteral("host")) ? query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded)
                                                      : url.host();
    t.port = query.hasQueryItem(QStringLiteral("port")) ? query.queryItemValue(QStringLiteral("port")).toInt()
                                                      : url.port(5432);
    t.user = url.userName();
    t.password = url.password();
    t.adminDb = url.path().mid(1);
    if (t.adminDb.isEmpty())
        t.adminDb = QStringLiteral("postgres");
    return true;
}

bool postgresAvailable()
{
    PgTarget t;
    return pgTarget(t);
}

void addBackends()
{
    QTest::addColumn<QString>("backend");
    QTest::newRow("sqlite") << QStringLiteral("sqlite");
    QTest::newRow("postgres") << QStringLiteral("postgres");
}

QString tempDir()
{
    static QTemporaryDir dir;
    return dir.path();
}

static QString programDatabase()
{
    QString name = qEnvironmentVariable("VELMORA_TEST_NAME");
    if (name.isEmpty())
        name = QCoreApplication::applicationName();
    name = name.toLower();
    for (QChar &c : name)
        if (!c.isLetterOrNumber())
            c = QLatin1Char('_');
    // Builds of several work trees share one server: each build tree gets databases of its own,
    // or one program's run drops the tables under another's.
    const QByteArray tree = QCryptographicHash::hash(QCoreApplication::applicationDirPath().toUtf8(),
                                                     QCryptographicHash::Md5).toHex().left(8);
    return QStringLiteral("vt_") + name + QLatin1Char('_') + QString::fromLatin1(tree);
}

static void ensurePgDatabase(const PgTarget &t, const QString &dbName)
{
    static QSet<QString> made;
    if (made.contains(dbName))
        return;
    const QString conn = QStringLiteral("testdb-admin");
    {
        QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), conn);
        admin.setHostName(t.host);
        admin.setPort(t.port);
        admin.setUserName(t.user);
        admin.setPassword(t.password);
        admin.setDatabaseName(t.adminDb);
        if (!admin.open())
            throw AppError(ErrorNumber::NotConnected, QStringLiteral("test server: ") + admin.lastError().text());
        QSqlQuery q(admin);
        q.exec(QStringLiteral("Select 1 From pg_database Where datname = '%1'").arg(dbName));
        if (!q.next()) {
            QSqlQuery c(admin);
            if (!c.exec(QStringLiteral("Create Database %1").arg(dbName)))
                throw AppError(ErrorNumber::Database, c.lastError().text());
        }
        admin.close();
    }
    QSqlDatabase::removeDatabase(conn);
    made.insert(dbName);
}

void freshRepository(RepositorySession &session, const QString &backend)
{
    session.ResetConnection();
    if (backend == QLatin1String("sqlite")) {
        static int counter = 0;
        const QString path = QDir(tempDir()).filePath(QStringLiteral("repo%1.mdb").arg(++counter));
        session.CreateDatabase(path);
        session.OpenFile(path);
        return;
    }
    PgTarget t;
    if (!pgTarget(t))
        throw AppError(ErrorNumber::NotConnected,
                       QStringLiteral("VELMORA_TEST_PG is not set: the PostgreSQL tests need the throwaway server"));
    const QString dbName = programDatabase();
    ensurePgDatabase(t, dbName);
    session.OpenServer(t.host, t.port, dbName, t.user, t.password);
    {
        // No copy of the handle may outlive the reset, or Qt keeps the old connection open.
        QSqlDatabase db = session.Connection();
        Sql::exec(db, QStringLiteral("Drop Schema public Cascade"));
        Sql::exec(db, QStringLiteral("Create Schema public"));
    }
    session.ResetConnection();
    session.OpenServer(t.host, t.port, dbName, t.user, t.password); // creates layout and seed again
}

RepositorySession &freshAppSession(const QString &backend)
{
    freshRepository(App::session(), backend);
    return App::session();
}

// A trigger's body cannot take bound values: the value is written as a quoted literal.
void refuseInserts(const QSqlDatabase &db, const QString &table, const QString &column, const QString &text)
{
    const QString value = QString(text).replace(QLatin1Char('\''), QStringLiteral("''"));
    if (Sql::isPostgres(db)) {
        Sql::exec(db, QStringLiteral("Create Function refuse_%1() Returns trigger Language plpgsql As $$ Begin "
                                     "If New.%2 = '%3' Then Raise Exception 'refused by the test'; End If; Return New; End $$")
                          .arg(table.toLower(), column.toLower(), value));
        Sql::exec(db, QStringLiteral("Create Trigger refuse_%2 Before Insert On %1 For Each Row Execute Function refuse_%2()")
                          .arg(table, table.toLower()));
    } else {
        Sql::exec(db, QStringLiteral("Create Trigger refuse_%1 Before Insert On %1 When New.%2 = '%3' "
                                     "Begin Select Raise(Abort, 'refused by the test'); End").arg(table, column, value));
    }
}

} // namespace TestDb
