#pragma once

#include "ImportOptions.h"

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <functional>

class AppError;
class TransferProgress;
struct sqlite3;
struct sqlite3_stmt;

// One import run: reads a package into the connected repository. Every row the run adds gets a
// new id; the maps below carry package ids to destination ids from one step to the next.
//
// The package is read completely, and its references checked, before anything is written, so
// a damaged or inconsistent package stops the run with nothing written. Once writing started,
// a failure ends the run and what was saved before it stays.
class ImportRun {
public:
    // Failures that do not end the run (the macro step's) are handed here with their origin.
    using Warning = std::function<void(const AppError &, const QString &origin)>;

    ImportRun(const QSqlDatabase &destination, ImportOptions options, TransferProgress *progress = nullptr,
              Warning warning = {});
    ~ImportRun();

    // Opens options.packagePath (read-only, untrusted) and runs. Throws AppError when the run ends early.
    void run();
    // Runs on a package that is already open.
    void run(const QSqlDatabase &package);

    // package id -> destination id
    QHash<int, int> dataSourceMap, varMap, reportMap, roleMap, appMap, userMap, macroCategMap, macroMap;
    // What the run took: the data sources and macros it imported (package ids).
    QList<int> dataSourcesUsed, macrosUsed;

    // "n% Processing report '": value * 100 / maximum, halves rounded to even.
    static int percent(int value, int maximum);

private:
    struct Package;

    void loadPackage(const QSqlDatabase &package);
    void validate();
    void ImportDataSources();
    int ImportReport(int sourceId);
    void ImportMacros();
    QList<int> IMP_GetAllReferences(int reportId) const;
    void ImportRoles();
    void ImportUsers();

    void setStatus(const QString &text);
    void setValue(int value);
    int add(const QString &table, const QString &idColumn, const QList<QPair<QString, QVariant>> &values);
    int addRaw(const QString &table, const QString &idColumn, const QList<QPair<QString, QVariant>> &values);
    void finalizeRaw();
    template <typename F> auto guarded(F &&f);

    QSqlDatabase m_db;
    ImportOptions m_opt;
    TransferProgress *m_progress;
    Warning m_warning;
    Package *m_pkg = nullptr;
    int m_value = 0;
    int m_maximum = 0;
    QHash<QString, QSqlQuery> m_inserts;
    sqlite3 *m_raw = nullptr; // an SQLite destination's own handle: inserts skip the driver's per-row work
    struct RawInsert {
        QStringList columns;
        sqlite3_stmt *statement = nullptr;
        bool rowId = false; // the id column is SQLite's row id
    };
    QHash<QString, QList<RawInsert>> m_rawInserts; // by table
    bool m_postgres = false;
};
