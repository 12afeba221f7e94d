#pragma once

// What the import steps share: the package as read once, readers of its untrusted values, and
// the guard that runs a step's statement after the rows queued before it.

#include "ImportRun.h"
#include "repository/AppError.h"
#include "repository/Sql.h"
#include "transfer/export/ExportRows.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSqlQuery>
#include <QVariant>
#include <climits>

using namespace Qt::StringLiterals;
using Rec = ExportRows::Row;
using Recs = QList<Rec>;

// ---- reading package values: a package comes from elsewhere, so every value may be Null or of
// an unexpected type; Null gives the column's default.

inline QVariant txt(const Rec &r, const char *column)
{
    const QVariant v = r.value(column);
    return v.isNull() ? QString(QLatin1String("")) : v.toString();
}

inline int num(const Rec &r, const char *column, int def = 0)
{
    const QVariant v = r.value(column);
    if (v.isNull())
        return def;
    if (v.typeId() == QMetaType::LongLong) { // how SQLite hands out integers
        const qlonglong i = *static_cast<const qlonglong *>(v.constData());
        if (i >= INT_MIN && i <= INT_MAX)
            return int(i);
    }
    bool ok = false;
    const int i = v.toInt(&ok);
    if (ok)
        return i;
    const double d = v.toDouble(&ok);
    return ok && d > -2147483648.0 && d < 2147483648.0 ? int(d) : 0;
}

inline int flag(const Rec &r, const char *column)
{
    const int v = num(r, column);
    return v < -32768 || v > 32767 ? 1 : v; // flag columns are small integers
}

inline QVariant realNumber(const Rec &r, const char *column, double def)
{
    const QVariant v = r.value(column);
    bool ok = false;
    const double d = v.isNull() ? def : v.toDouble(&ok);
    return v.isNull() ? def : (ok ? d : 0.0);
}

// A package date: the stored form, the month/day/year text an export writes, or ISO 8601.
QDateTime packageDate(const QVariant &value);

// The stored date, or Null: an empty or unreadable text is no date and a server refuses it.
inline QVariant date(const Rec &r, const char *column)
{
    // What an export writes passes as it is: read as a local time it would cost a time-zone lookup.
    const QVariant v = r.value(column);
    if (v.typeId() == QMetaType::QString && Sql::isStoredDate(*static_cast<const QString *>(v.constData())))
        return v;
    return Sql::dateValue(packageDate(v));
}

inline QVariant nullInt() { return QVariant(QMetaType(QMetaType::Int)); }

inline bool isTip(const Rec &r, char tip)
{
    const QString t = r.value("Tip").toString().trimmed();
    return t.size() == 1 && t.at(0).toLower() == QLatin1Char(tip);
}

inline int idOf(const Rec &r, const char *column) { return num(r, column); }

inline AppError packageError(const QString &text) { return AppError(ErrorNumber::BadFile, text); }

// ---- what the repository holds by name: the run and the plan look names up the same way

// name -> id of the first row (lowest id) of each name; the statement selects id, name ordered by
// id. With skipNull a row without a name is no match for anything.
inline QHash<QString, int> firstIdByName(const QSqlDatabase &db, const QString &sql, bool skipNull)
{
    QHash<QString, int> byName;
    QSqlQuery q = Sql::exec(db, sql);
    while (q.next())
        if (!(skipNull && q.value(1).isNull()) && !byName.contains(q.value(1).toString()))
            byName.insert(q.value(1).toString(), q.value(0).toInt());
    return byName;
}

namespace ImportLookup {
inline QString dataSources() { return QStringLiteral("Select IdDataSource, Name From ZAT_DataSource Order By IdDataSource"); }
inline QString variables(int dataSource)
{
    return QStringLiteral("Select IdVar, Name From ZAT_Var Where IdDataSource = %1 Order By IdVar").arg(dataSource);
}
inline QString macroCategories() { return QStringLiteral("Select IdCateg, Denumire From ZAT_CategMacros Order By IdCateg"); }
inline QString macros(int category)
{
    return QStringLiteral("Select IdMacro, MacroName From ZAT_Macros Where IdCateg = %1 Order By IdMacro").arg(category);
}
inline QString roles() { return QStringLiteral("Select IdRole, Role From ZAT_Role Order By IdRole"); }
inline QString applications() { return QStringLiteral("Select IdApp, AppName From ZAT_App Order By IdApp"); }
inline QString users(int application)
{
    return QStringLiteral("Select IdUserApp, %1 From ZAT_UserApp Where IdApp = %2 Order By IdUserApp")
        .arg(Sql::userColumn())
        .arg(application);
}
} // namespace ImportLookup

// ---- the package: what every step needs is read once; the rows of the reports themselves are
// read a few hundred reports at a time, so memory does not grow with the package.

// What the whole run needs of a ticked report the package holds.
struct ReportHead {
    QString name, code; // code as the package has it (not trimmed), for a paired report only
    int category = 0;
    QList<int> linkDataSources; // IdDataSource of each ZAT_ReportDS row in package order (0: none)
};

struct ImportRun::Package {
    QHash<int, ReportHead> reports;
    // The reports of the chunk being imported.
    QHash<int, Rec> rows;
    QHash<int, Rec> settings;         // first row of each report
    QHash<int, Recs> columns;         // by report
    QHash<int, Recs> links;           // ZAT_ReportDS rows by report
    QHash<int, Rec> views;            // those the chunk's links name
    QHash<int, Rec> sortRows;         // first "e" row of each report
    QHash<int, Rec> dataSources;
    QHash<int, Recs> vars;            // by data source
    Recs dependences;
    Recs macroCategories;
    Recs macros;
    QHash<int, int> macroCategOf;     // macro -> its category
    QHash<int, QList<int>> macroUses;  // "m" references: using macro -> used macros (package macros only)
    QHash<int, QList<int>> reportMacros; // "r" references: report -> macros, in package order
    Recs macroRefs;                   // every "m" reference, in package order
    QHash<int, Rec> categories;       // report folders, with folders only
    QHash<int, int> categorySortNr;   // their "c" sort numbers
    Recs roles;
    struct Grant {
        int report = 0, role = 0;
    };
    QList<Grant> grants;              // ZAT_Role_Report rows of ticked reports, in package order
    Recs apps;
    Recs users;
    Recs userRoles;
};

// A statement of a step: it sees every row queued before it. In the macro step, whose failures
// are skipped, a savepoint keeps a failed statement from aborting a PostgreSQL transaction.
template <typename F>
auto ImportRun::guarded(F &&f)
{
    flushRows();
    if (!m_postgres || !m_macroStep)
        return f();
    Sql::Savepoint sp(m_db, QStringLiteral("import_row"));
    auto result = f();
    sp.release();
    return result;
}
