#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// The repository layout: every ZAT_ table and column, shared by repositories and package files.
namespace Schema {

enum class ColumnType {
    Identity, // the table's own id, assigned by the database unless given explicitly
    Id,       // a reference to another row
    Integer,
    Flag,
    Number,   // a real number (font size)
    Text,
    LongText,
    Code,     // the 50-digit synchronisation code
    Date,
};

struct Column {
    QString name;
    ColumnType type;
    bool optional = false; // created in new databases, not required of older ones
};

struct Table {
    QString name;
    QList<Column> columns;
    QList<QStringList> indexes; // each: the columns of one index
    QString idColumn() const { return columns.first().name; }
    bool hasColumn(const QString &column) const;
};

const QList<Table> &tables();
const Table *table(const QString &name);

// Every index of the layout with the name it is created under.
struct Index {
    QString table;
    QString name;
    QStringList columns;
    bool unique = false;
};
QList<Index> indexes();

// Format marker kept in every database this program creates.
inline constexpr const char *FormatName = "Velmora repository";
inline constexpr int FormatVersion = 1;
// The fixed package password: gates opening by the console, it is not encryption.
inline constexpr const char *PackagePassword = "quindale";
// The console's own client application, whose users are the administrators.
inline constexpr const char *ConsoleAppName = "Velmora";

// Creates every table and index (in one transaction where the database allows it).
void create(const QSqlDatabase &db);
// Creates one table with its indexes unless the database has it already.
void createTable(const QSqlDatabase &db, const Table &table);
// Fills a new database: root category 1, recycle bin 2 with their sort rows, one company,
// the console's client application and the format marker with the password's salted hash.
void seed(const QSqlDatabase &db, const QString &password);
// The tables and columns of the layout that the database lacks ("ZAT_Var.Caption"); empty when complete.
QStringList missingLayout(const QSqlDatabase &db);
bool hasLayout(const QSqlDatabase &db);

// The administrator rows' unique key (application, user name): two consoles starting together
// then find one row. Created when missing and the table holds no twins; false when it is absent
// (twins, or no right to create it), in which case the lowest id of a name is the one used.
bool ensureUserKey(const QSqlDatabase &db);

// After rows were written with explicit ids, moves the identity counters past them (PostgreSQL).
void syncIdentities(const QSqlDatabase &db);

QString passwordHash(const QString &salt, const QString &password);
// True when the marker names this format and the password matches its hash.
void checkMarker(const QSqlDatabase &db, const QString &password, const QString &what);

} // namespace Schema
