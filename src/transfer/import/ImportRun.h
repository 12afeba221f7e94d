#pragma once

#include "ImportOptions.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class AppError;
class RowBatches;
class TransferProgress;
struct ImportPlan;
struct sqlite3;
struct sqlite3_stmt;

// One import run: reads a package into the connected repository. Every row the run adds gets a
// new id; the maps below carry package ids to destination ids from one step to the next. What
// the repository keeps unique by name (data sources and their variables, macro categories and
// macros, roles, applications and users, folders under one parent) is matched by name and reused.
//
// The package is read completely, and its references checked, before anything is written. The
// run writes in one transaction: a failure ends it and takes back everything it wrote.
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

    // What run() would do with the same options, found with the same lookups but writing nothing.
    ImportPlan plan();
    ImportPlan plan(const QSqlDatabase &package);

    // package id -> destination id
    QHash<int, int> dataSourceMap, varMap, reportMap, roleMap, appMap, userMap, macroCategMap, macroMap, categoryMap;
    // Data sources the destination already had (package ids): reused with their own connection string.
    QSet<int> dataSourcesReused;
    // Synchronisation partners left unchanged because another user holds them checked out.
    struct HeldReport {
        int packageId = 0;
        int destinationId = 0;
        QString name;   // the partner's name in the repository
        QString holder; // who holds it
    };
    QList<HeldReport> heldReports;
    // Rows of the macro step that could not be stored or translated, and were left out.
    int skippedRows = 0;
    static QString heldText(const HeldReport &held);
    // Whether the run overwrote the package report's partner (a pair whose partner was gone by
    // the time the run held the repository came in as a new report).
    bool synchronised(int packageId) const { return m_synced.contains(packageId); }
    // What the run took: the data sources and macros it imported (package ids).
    QList<int> dataSourcesUsed, macrosUsed;

    // "n% Processing report '": value * 100 / maximum, halves rounded to even.
    static int percent(int value, int maximum);

private:
    struct Package;

    void loadPackage(const QSqlDatabase &package);
    void loadReportRows(const QList<int> &ids);
    // Every problem that refuses the run; validate() throws them (all of them in one error).
    QList<AppError> findProblems();
    void validate();
    void chooseDataSources();
    QList<int> chooseMacros() const;
    // The live destination report a package report overwrites; 0: it comes in as a new one.
    int partnerOf(int sourceId);
    struct Holder {
        int id = 0;     // ZAT_UserApp id of whoever holds the report checked out; 0: nobody
        QString report; // the report's name
        QString who;
    };
    Holder checkOutHolder(int destId);
    bool heldByOtherUser(const Holder &h) const { return h.id != 0 && h.id != m_opt.currentUserId; }
    void planReports(ImportPlan &plan);
    void planMacros(ImportPlan &plan);
    void planSecurity(ImportPlan &plan);
    void ImportDataSources();
    int ImportReport(int sourceId);
    void ImportMacros();
    QList<int> IMP_GetAllReferences(int reportId) const;
    void ImportRoles();
    void ImportUsers();
    int folderFor(int packageCategory);
    int roleByName(int packageRole);
    bool heldByOther(int sourceId, int destId);

    void setStatus(const QString &text);
    void setValue(int value);
    // A new row written now: its id is in the table before the next statement.
    int add(const QString &table, const QString &idColumn, const QList<QPair<QString, QVariant>> &values);
    // A new row whose id is known now and whose writing may wait for the next statement that
    // reads or updates (on PostgreSQL, where rows go in batches); flushRows() writes what waits.
    int queue(const QString &table, const QString &idColumn, const QList<QPair<QString, QVariant>> &values);
    void flushRows();
    void nameQueuedFailure();
    // SQLite ends the whole transaction on some failures (a full disk among them).
    bool transactionLost() const;
    int addRaw(const QString &table, const QString &idColumn, const QList<QPair<QString, QVariant>> &values);
    void finalizeRaw();
    template <typename F> auto guarded(F &&f);

    QSqlDatabase m_db;
    ImportOptions m_opt;
    TransferProgress *m_progress;
    Warning m_warning;
    Package *m_pkg = nullptr;
    QSqlDatabase m_package; // open while the run reads it
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
    QSet<QString> m_takenCodes; // synchronisation codes the destination holds
    QHash<QString, int> m_rolesByName;
    bool m_rolesLoaded = false;
    QString m_table; // the table of the statement running, for naming a failure
    QString m_context; // the step running, for naming a queued row that fails later
    QString m_failedContext; // the step of a queued row that failed
    std::unique_ptr<RowBatches> m_batches; // PostgreSQL only
    // In the macro step a failed statement leaves the transaction going; with macros for
    // reports a failed row is left out and counted.
    bool m_macroStep = false, m_skipFailedRows = false;
    QSet<int> m_synced; // package reports that overwrote their partner
};
