#include "PackageFile.h"

#include "AppError.h"
#include "Schema.h"
#include "Sql.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>
#include <sys/stat.h>

namespace PackageFile {

QString nonRegularKind(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || S_ISREG(st.st_mode))
        return {};
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("a directory");
    if (S_ISFIFO(st.st_mode))
        return QStringLiteral("a named pipe (FIFO)");
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return QStringLiteral("a device");
    if (S_ISSOCK(st.st_mode))
        return QStringLiteral("a socket");
    return QStringLiteral("not a regular file");
}

static void refuseNonRegular(const QString &path)
{
    const QString kind = nonRegularKind(path);
    if (!kind.isEmpty())
        throw AppError(ErrorNumber::BadFile,
                       QStringLiteral("'%1' is %2, not a Velmora repository or package file.").arg(path, kind));
}

void checkSqliteFile(const QString &path)
{
    refuseNonRegular(path);
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
            sqlite3_limit(raw, SQLITE_LIMIT_LENGTH, MaxValueBytes);
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

// Nothing may compute behind a read: only the layout's own tables and plain indexes, no view,
// trigger, virtual table or generated column.
static void checkObjects(const QSqlDatabase &db, const QString &path)
{
    auto refuse = [&](const QString &what) {
        return AppError(ErrorNumber::BadFile,
                        QStringLiteral("The file '%1' is not a Velmora repository or package: it holds %2, which the "
                                       "layout does not have.")
                            .arg(path, what));
    };
    QHash<QString, const Schema::Index *> layoutIndexes;
    const QList<Schema::Index> indexes = Schema::indexes();
    for (const Schema::Index &ix : indexes)
        layoutIndexes.insert(ix.name.toLower(), &ix);
    QSqlQuery q = Sql::exec(db, QStringLiteral("Select type, name, tbl_name, Coalesce(sql, '') From sqlite_master"));
    QStringList tables;
    while (q.next()) {
        const QString type = q.value(0).toString();
        const QString name = q.value(1).toString();
        const QString lower = name.toLower();
        if (type == QLatin1String("table")) {
            const bool internal = lower == QLatin1String("sqlite_sequence") || lower.startsWith(QLatin1String("sqlite_stat"));
            const QString sql = q.value(3).toString().simplified();
            if (!internal && (!Schema::table(name) || sql.startsWith(QLatin1String("CREATE VIRTUAL"), Qt::CaseInsensitive)))
                throw refuse(QStringLiteral("the table '%1'").arg(name));
            // A check constraint is evaluated by the integrity check that follows.
            static const QRegularExpression check(QStringLiteral("\\bcheck\\s*\\("), QRegularExpression::CaseInsensitiveOption);
            if (!internal && sql.contains(check))
                throw refuse(QStringLiteral("a check constraint in the table '%1'").arg(name));
            if (!internal)
                tables << name;
            continue;
        }
        if (type == QLatin1String("index")) {
            if (lower.startsWith(QLatin1String("sqlite_autoindex_")))
                continue;
            const Schema::Index *ix = layoutIndexes.value(lower);
            if (!ix || ix->table.compare(q.value(2).toString(), Qt::CaseInsensitive) != 0)
                throw refuse(QStringLiteral("the index '%1'").arg(name));
            QStringList columns;
            QSqlQuery info = Sql::exec(db, QStringLiteral("PRAGMA index_xinfo(\"%1\")").arg(name));
            while (info.next())
                if (info.value(5).toInt() == 1) // key columns; an expression has no name
                    columns << (info.value(2).isNull() ? QStringLiteral("?") : info.value(2).toString().toLower());
            QStringList expected;
            for (const QString &c : ix->columns)
                expected << c.toLower();
            if (columns != expected || q.value(3).toString().contains(QLatin1String("where"), Qt::CaseInsensitive))
                throw refuse(QStringLiteral("the index '%1'").arg(name));
            continue;
        }
        throw refuse(QStringLiteral("the %1 '%2'").arg(type, name));
    }
    for (const QString &t : std::as_const(tables)) {
        QSqlQuery cols = Sql::exec(db, QStringLiteral("PRAGMA table_xinfo(\"%1\")").arg(t));
        while (cols.next())
            if (cols.value(6).toInt() != 0)
                throw refuse(QStringLiteral("the computed column '%1.%2'").arg(t, cols.value(1).toString()));
    }
}

static QSqlDatabase openChecked(const QString &path, const QString &password, const QString &connectionName,
                                bool readOnly)
{
    checkSqliteFile(path);
    QSqlDatabase db = openSqlite(path, connectionName, readOnly);
    try {
        if (readOnly) {
            hardenUntrusted(db);
            try {
                checkObjects(db, path);
            } catch (const AppError &e) {
                if (e.number == ErrorNumber::BadFile)
                    throw;
                throw AppError(ErrorNumber::BadFile, QStringLiteral("The file '%1' is damaged: %2").arg(path, e.description));
            }
        }
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

void checkReplaceable(const QString &path)
{
    if (!QFileInfo::exists(path))
        return;
    const QString kind = nonRegularKind(path);
    if (!kind.isEmpty())
        throw AppError(ErrorNumber::BadFile, QStringLiteral("'%1' is %2, not a package: it is not replaced.").arg(path, kind));
    static QAtomicInt counter;
    const QString connection = QStringLiteral("velmora-replace-check-%1").arg(counter.fetchAndAddRelaxed(1));
    QString refusal;
    try {
        checkSqliteFile(path);
        QSqlDatabase db = openSqlite(path, connection, true);
        hardenUntrusted(db);
        Schema::checkMarker(db, QString::fromLatin1(Schema::PackagePassword), path);
        // Every repository keeps its recycle bin; a package never holds it.
        if (Sql::scalar(db, QStringLiteral("Select count(*) From ZAT_Category Where IdCateg = 2")).toInt() > 0)
            refusal = QStringLiteral("The file '%1' is a Velmora repository, not a package: it is not replaced.").arg(path);
    } catch (const AppError &) {
        refusal = QStringLiteral("The file '%1' is not a Velmora package: it is not replaced.").arg(path);
    }
    close(connection);
    if (!refusal.isEmpty())
        throw AppError(ErrorNumber::BadFile, refusal);
}

void checkValues(const QSqlDatabase &package, bool postgresDestination)
{
    using T = Schema::ColumnType;
    for (const Schema::Table &t : Schema::tables()) {
        QStringList conditions, problems, columns;
        for (const Schema::Column &c : t.columns) {
            const QString col = QLatin1Char('"') + c.name + QLatin1Char('"');
            auto add = [&](const QString &condition, const QString &problem) {
                conditions << condition;
                problems << problem;
                columns << c.name;
            };
            switch (c.type) {
            case T::Identity:
            case T::Id:
            case T::Integer:
                add(QStringLiteral("(Case When typeof(%1) In ('integer', 'real') Then %1 "
                                   "When typeof(%1) = 'text' And Trim(%1) Glob '*[0-9]*' Then Cast(%1 As Real) "
                                   "Else 0 End) Not Between -2147483648 And 2147483647").arg(col),
                    QStringLiteral("a number beyond 32 bits"));
                break;
            case T::Number:
                add(QStringLiteral("typeof(%1) = 'real' And Abs(%1) > 1.7976931348623157e308").arg(col),
                    QStringLiteral("an infinite number"));
                break;
            case T::Code:
                add(QStringLiteral("length(%1) > 50").arg(col), QStringLiteral("a code longer than 50 characters"));
                break;
            default:
                break;
            }
            if (postgresDestination && (c.type == T::Text || c.type == T::LongText || c.type == T::Code))
                add(QStringLiteral("instr(Cast(%1 As Blob), x'00') > 0").arg(col), QStringLiteral("a NUL character"));
        }
        if (conditions.isEmpty())
            continue;
        QStringList flags;
        for (const QString &c : std::as_const(conditions))
            flags << QStringLiteral("Coalesce(%1, 0)").arg(c);
        QSqlQuery q = Sql::exec(package, QStringLiteral("Select Coalesce(Cast(\"%1\" As Text), '?'), %2 From %3 Where %4 Limit 1")
                                             .arg(t.idColumn(), flags.join(QStringLiteral(", ")), t.name,
                                                  flags.join(QStringLiteral(" Or "))));
        if (!q.next())
            continue;
        for (int i = 0; i < conditions.size(); ++i)
            if (q.value(i + 1).toInt() != 0)
                throw AppError(ErrorNumber::BadFile,
                               QStringLiteral("The package cannot be imported: %1 row %2 holds %3 in %4, which the "
                                              "repository cannot store.")
                                   .arg(t.name, q.value(0).toString(), problems.at(i), columns.at(i)));
    }
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
