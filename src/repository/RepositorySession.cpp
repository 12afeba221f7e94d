#include "RepositorySession.h"

#include "AppError.h"
#include "PackageFile.h"
#include "Schema.h"
#include "Sql.h"
#include "TransferLogTables.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>

static QAtomicInt sessionCounter;

static void addTransferLog(const QSqlDatabase &db)
{
    // A login that may not create tables still works with the repository; only its transfers
    // then go unrecorded, and recording says so.
    try {
        TransferLogTables::ensure(db);
    } catch (const AppError &) {
    }
}

RepositorySession::RepositorySession()
    : m_connectionName(QStringLiteral("velmora-session-%1").arg(sessionCounter.fetchAndAddRelaxed(1) + 1)),
      m_dbPassword(QString::fromLatin1(Schema::PackagePassword))
{
}

RepositorySession::~RepositorySession() { ResetConnection(); }

QString RepositorySession::LoginName() const
{
    if (m_kind != FileDatabase)
        return m_login;
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME");
    if (user.isEmpty())
        user = QStringLiteral("admin");
    return user;
}

QString RepositorySession::RepositoryLocation() const
{
    if (m_kind == FileDatabase)
        return m_path;
    return QStringLiteral("\\\\%1:%2\\%3").arg(m_server).arg(m_port).arg(m_database);
}

bool RepositorySession::IsOpen() const
{
    return QSqlDatabase::contains(m_connectionName) && QSqlDatabase::database(m_connectionName, false).isOpen();
}

void RepositorySession::ResetConnection()
{
    PackageFile::close(m_connectionName);
    m_currentUserId = 0;
}

void RepositorySession::setServer(const QString &host, int port, const QString &database, const QString &login,
                                  const QString &password)
{
    m_server = host;
    m_port = port;
    m_database = database;
    m_login = login;
    m_loginPassword = password;
}

QSqlDatabase RepositorySession::openFileConnection(const QString &path, bool createIfMissing)
{
    if (path.isEmpty())
        throw AppError(ErrorNumber::NotConnected, QStringLiteral("No repository file was given."));
    if (createIfMissing && !QFileInfo::exists(path)) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        CreateDatabase(path);
    }
    QSqlDatabase db = PackageFile::openForWriting(path, m_dbPassword, m_connectionName);
    Schema::ensureUserKey(db);
    addTransferLog(db);
    return db;
}


void RepositorySession::OpenFile(const QString &path, bool createIfMissing)
{
    // Items cut or copied in the repository open until now cannot be pasted into another one.
    navigatorClipboard = {};
    ResetConnection();
    openFileConnection(path, createIfMissing);
    m_kind = FileDatabase;
    m_path = path;
}

void RepositorySession::ensureServerLayout(QSqlDatabase &db)
{
    // A new, empty server database is given the layout on first connect.
    if (!db.tables().contains(QStringLiteral("zat_category"), Qt::CaseInsensitive)) {
        Schema::create(db);
        Schema::seed(db, m_dbPassword);
        addTransferLog(db);
        return;
    }
    const QStringList missing = Schema::missingLayout(db);
    if (!missing.isEmpty())
        throw AppError(ErrorNumber::BadFile,
                       QStringLiteral("The database '%1' is not a Velmora repository (missing: %2).")
                           .arg(m_database, missing.mid(0, 5).join(QStringLiteral(", "))));
    addTransferLog(db);
}

void RepositorySession::OpenServer(const QString &host, int port, const QString &database, const QString &login,
                                   const QString &password, const QString &options)
{
    navigatorClipboard = {};
    openServerConnection(host, port, database, login, password, options);
}

void RepositorySession::openServerConnection(const QString &host, int port, const QString &database,
                                             const QString &login, const QString &password, const QString &options)
{
    ResetConnection();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
    db.setHostName(host);
    if (port > 0)
        db.setPort(port);
    db.setDatabaseName(database);
    db.setUserName(login);
    db.setPassword(password);
    db.setConnectOptions(options);
    if (!db.open()) {
        const QSqlError err = db.lastError();
        db = QSqlDatabase();
        ResetConnection();
        throw AppError(ErrorNumber::NotConnected,
                       QStringLiteral("Cannot connect to the server: ") + err.text().trimmed());
    }
    QString actualDatabase = database, actualLogin = login;
    try {
        // What the client library filled in is needed by name: the login is who the
        // administrator is, the database is shown in the status bar.
        if (actualDatabase.isEmpty() || actualLogin.isEmpty()) {
            QSqlQuery q = Sql::exec(db, QStringLiteral("Select current_database(), current_user"));
            if (q.next()) {
                actualDatabase = q.value(0).toString();
                actualLogin = q.value(1).toString();
            }
        }
        m_database = actualDatabase;
        ensureServerLayout(db);
        Schema::ensureUserKey(db);
    } catch (...) {
        db = QSqlDatabase();
        ResetConnection();
        throw;
    }
    setServer(host, port, actualDatabase, actualLogin, password);
    m_serverOptions = options;
    m_kind = ServerDatabase;
}

QSqlDatabase RepositorySession::Connection()
{
    if (IsOpen())
        return QSqlDatabase::database(m_connectionName, false);
    if (m_kind == FileDatabase)
        return openFileConnection(m_path, false);
    openServerConnection(m_server, m_port, m_database, m_login, m_loginPassword, m_serverOptions);
    return QSqlDatabase::database(m_connectionName, false);
}

void RepositorySession::CreateDatabase(const QString &pathArg)
{
    const QString path = pathArg.isEmpty() ? m_path : pathArg;
    if (path.isEmpty())
        throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("No file name was given for the new database."));
    const QString connection = m_connectionName + QStringLiteral("-create");
    PackageFile::close(connection);
    for (const QString &suffix : {QString(), QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        if (QFileInfo::exists(path + suffix) && !QFile::remove(path + suffix))
            throw AppError(ErrorNumber::BadFile, QStringLiteral("The file '%1' cannot be replaced.").arg(path + suffix));
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        if (!db.open()) {
            const QString why = db.lastError().text();
            db = QSqlDatabase();
            PackageFile::close(connection);
            throw AppError(ErrorNumber::BadFile, QStringLiteral("The file '%1' cannot be created: %2").arg(path, why));
        }
        try {
            Schema::create(db);
            Schema::seed(db, QString::fromLatin1(Schema::PackagePassword));
        } catch (...) {
            db = QSqlDatabase();
            PackageFile::close(connection);
            throw;
        }
    }
    PackageFile::close(connection);
}

int RepositorySession::CurrentUserId()
{
    if (m_currentUserId > 0)
        return m_currentUserId;
    QSqlDatabase db = Connection();
    const QString name = LoginName();
    const QString app = QString::fromLatin1(Schema::ConsoleAppName);
    // Two consoles may start together: each inserts only what is missing, then both take the
    // lowest id, so they agree on one application and, through the unique key, one user row.
    const QString appSql = QStringLiteral("Select Min(IdApp) From ZAT_App Where AppName = ?");
    int appId = Sql::scalar(db, appSql, {app}).toInt();
    if (appId == 0) {
        Sql::insert(db, "ZAT_App", "IdApp", {{"AppName", app}});
        appId = Sql::scalar(db, appSql, {app}).toInt();
    }
    const QString userSql =
        QStringLiteral("Select Min(IdUserApp) From ZAT_UserApp Where IdApp = %1 And %2 = ?").arg(appId).arg(Sql::userColumn());
    int userId = Sql::scalar(db, userSql, {name}).toInt();
    if (userId == 0) {
        Sql::exec(db,
                  QStringLiteral("Insert Into ZAT_UserApp (IdApp, IdUser, %1, UserFName, UserLName, Password) "
                                 "Values (%2, 0, ?, ?, ?, ?) On Conflict Do Nothing")
                      .arg(Sql::userColumn())
                      .arg(appId),
                  {name, name, QString(), QString()});
        userId = Sql::scalar(db, userSql, {name}).toInt();
    }
    m_currentUserId = userId;
    return userId;
}

QSqlQuery RepositorySession::GetCompanies()
{
    return Sql::exec(Connection(), QStringLiteral("Select IdAuthor, Name From ZAT_Company Order By IdAuthor"));
}

void RepositorySession::SetFileServer(int companyId, int kind, const QString &, const QString &, const QString &path)
{
    Q_UNUSED(kind);
    Sql::exec(Connection(), QStringLiteral("Update ZAT_Company Set FileServer = ? Where IdAuthor = %1").arg(companyId),
              {path});
}

QString RepositorySession::GetFileServer(int companyId)
{
    return Sql::scalar(Connection(), QStringLiteral("Select FileServer From ZAT_Company Where IdAuthor = %1").arg(companyId))
        .toString();
}
