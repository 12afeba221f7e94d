#include "PackageFile.h"

#include "AppError.h"
#include "Schema.h"
#include "Sql.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

namespace PackageFile {

void checkSqliteFile(const QString &path)
{
    QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        throw AppError(ErrorNumber::BadFile, QStringLiteral("The file '%1' does not exist.").arg(path));
    if (info.size() == 0)
        throw AppError(ErrorNumber::BadFile, QStringLiteral("The file '%1' is empty.").arg(path));
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw AppError(ErrorNumber::BadFile,
                       QStringLiteral("The file '%1' cannot be read: %2").arg(path, f.errorString()));
    const QByteArray head = f.read(16);
    if (head != QByteArray("SQLite format 3\0", 16))
        throw AppError(ErrorNumber::BadFile,
                       QStringLiteral("The file '%1' is not a Velmora repository or package.").arg(path));
    if (info.size() < 512)
        throw AppError(ErrorNumber::BadFile, QStringLiteral("The file '%1' is damaged.").arg(path));
}

static QSqlDatabase openSqlite(const QString &path, const QString &connectionName, bool readOnly)
{
    close(connectionName);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(path);
    if (readOnly)
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!db.open()) {
        const QString why = db.lastError().text();
        db = QSqlDatabase();
        close(connectionName);
        throw AppError(ErrorNumber::BadFile, QStringLiteral("The file '%1' cannot be opened: %2").arg(path, why));
    }
    return db;
}

static void hardenUntrusted(QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0) {
        sqlite3 *raw = *static_cast<sqlite3 *const *>(handle.constData());
        if (raw) {
            sqlite3_db_config(raw, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
            sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
            sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
            sqlite3_db_config(raw, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
        }
    }
    QSqlQuery q(db);
    q.exec(QStringLiteral("PRAGMA trusted_schema=OFF"));
    q.exec(QStringLiteral("PRAGMA cell_size_check=ON"));
    q.exec(QStringLiteral("PRAGMA mmap_size=0"));
}

static void checkIntegrity(const QSqlDatabase &db, const QString &path)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA quick_check")))
        throw AppError(ErrorNumber::BadFile,
                       QStringLiteral("The file '%1' is damaged: %2").arg(path, q.lastError().databaseText()));
    if (!q.next() || q.value(0).toString() != QLatin1String("ok"))
        throw AppError(ErrorNumber::BadFile,
                       QStringLiteral("The file '%1' is damaged: %2").arg(path, q.value(0).toString()));
}

static QSqlDatabase openChecked(const QString &path, const QString &password, const QString &connectionName,
                                bool readOnly)
{
    checkSqliteFile(path);
    QSqlDatabase db = openSqlite(path, connectionName, readOnly);
    try {
        if (readOnly)
            hardenUntrusted(db);
        checkIntegrity(db, path);
        Schema::checkMarker(db, password, path);
    } catch (...) {
        db = QSqlDatabase();
        close(connectionName);
        throw;
    }
    return db;
}

QSqlDatabase openForWriting(const QString &path, const QString &password, const QString &connectionName)
{
    return openChecked(path, password, connectionName, false);
}

QSqlDatabase openForReading(const QString &path, const QString &password, const QString &connectionName)
{
    return openChecked(path, password, connectionName, true);
}

QString withMdbExtension(const QString &path)
{
    return path.right(4).toUpper() == QLatin1String(".MDB") ? path : path + QStringLiteral(".mdb");
}

void close(const QString &connectionName)
{
    if (!QSqlDatabase::contains(connectionName))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
}

} // namespace PackageFile
