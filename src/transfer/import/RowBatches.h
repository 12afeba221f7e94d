#pragma once

#include <QHash>
#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <vector>

class AppError;
struct sqlite3;
struct sqlite3_stmt;

// New rows written to a repository many at a time. A row's id is taken at once, so the caller
// can go on to rows that refer to it; the row itself waits for flush(). Only a batch that fails
// is retried row by row, to find the row at fault.
//
// PostgreSQL: ids come from the table's identity sequence, reserved in growing blocks; a table's
// rows go in one insert from arrays, one bound array per column, under a savepoint. With one
// statement per row, a server round trip per row set the pace of a whole import; with a
// parameter per value, binding and parsing them did.
// SQLite: the run holds the write lock, so ids follow the table's largest; rows go in multi-row
// inserts straight through SQLite, whose per-statement work (the autoincrement bookkeeping
// among it) dominated one insert per row.
//
// There are no foreign keys between the tables, so rows may reach the server in any order; a
// caller that reads or updates flushes first.
class RowBatches {
public:
    using Values = QList<QPair<QString, QVariant>>;
    // What a row belongs to, for naming it when it fails, and what its failure ends.
    enum class OnFailure {
        EndsRun,  // the caller gives up the whole transaction
        EndsStep, // the transaction goes on without the row, but the flush ends
        Skipped,  // the row is left out and counted, and the flush goes on
    };
    struct Origin {
        QString context;
        OnFailure onFailure = OnFailure::EndsRun;
    };

    explicit RowBatches(const QSqlDatabase &db);
    ~RowBatches();
    RowBatches(const RowBatches &) = delete;
    RowBatches &operator=(const RowBatches &) = delete;

    // The new row's id. The same table must always be given the same id column.
    int queue(const QString &table, const QString &idColumn, const Values &values, const Origin &origin);
    bool pending() const { return m_pending > 0; }
    // Whether the table's new ids come from here: on SQLite its other new rows must too.
    bool reserves(const QString &table) const { return m_pools.contains(table); }
    // Writes every queued row; throws the first failure of a row that is not Skipped, after
    // setting failedContext and failedTable. The rest of that row's table is dropped.
    void flush();

    QString failedContext, failedTable;
    // Skipped rows left out since the last takeSkipped(), and the first one's failure.
    struct Skipped {
        int count = 0;
        QString first; // "table: error"
    };
    Skipped takeSkipped();

private:
    // A batch's bounds: enough rows that round trips no longer count, few enough that what waits
    // stays small beside the package. SQLite has no round trips: a statement's worth is enough.
    static constexpr qsizetype ServerRows = 1000;
    static constexpr qsizetype SqliteRows = 200;
    qsizetype maxRows() const { return m_postgres ? ServerRows : SqliteRows; }
    static constexpr qsizetype MaxChars = 8 * 1024 * 1024;

    struct Shape {
        QString table, idColumn;
        QStringList columns; // as given, without the id column
        QList<int> ids;
        QVariantList values; // columns.size() values per row
        QList<Origin> origins;
        qsizetype bytes = 0; // of text waiting, to bound a statement's size
        QSqlQuery batch, oneRow; // prepared on first use (PostgreSQL)
        bool batchPrepared = false, rowPrepared = false;
        sqlite3_stmt *sqliteBatch = nullptr, *sqliteRow = nullptr; // SQLite
        QSqlQuery now; // a row written at once, its id from the column's default
        bool nowPrepared = false;
    };
    struct Pool {
        bool checked = false;
        bool reserving = false; // PostgreSQL: the login may take ids from the sequence itself
        QString sequence;
        QList<int> ids;
        qsizetype next = 0;
        int block = 16;
        int last = -1; // SQLite: the last id handed out; -1 before the first
    };

    bool canReserve(const QString &table, const QString &idColumn);
    int reserve(const QString &table, const QString &idColumn);
    int insertNow(Shape &shape, const Values &values, const Origin &origin);
    int reserveSqlite(Pool &pool, const QString &table, const QString &idColumn);
    void flush(Shape &shape);
    void insertRow(Shape &shape, qsizetype row);
    // A row that failed by itself: counted when skippable, otherwise thrown with its origin.
    void rowFailed(const QString &table, const Origin &origin, const AppError &e);
    // SQLite undoes a whole transaction on some failures (a full disk among them): nothing may
    // be written after it, or a failed run would leave half its rows.
    void checkTransaction(const QString &table, const Origin &origin, const AppError &failure);
    // SQLite: writes rows [from, from + rows) in one statement; false when SQLite refused it.
    bool writeSqlite(Shape &shape, qsizetype from, qsizetype rows);
    void insertRowSqlite(Shape &shape, qsizetype row);
    sqlite3_stmt *prepareSqlite(const Shape &shape, qsizetype rows);
    AppError sqliteFailure(int code) const;
    void finalizeSqlite();
    QStringList columnNames(const Shape &shape) const;
    QString batchText(const Shape &shape);
    void writeBatch(Shape &shape, qsizetype from, qsizetype rows);

    QSqlDatabase m_db;
    bool m_postgres = false;
    sqlite3 *m_sqlite = nullptr;
    std::vector<Shape> m_shapes; // in order of first use
    QHash<QString, Pool> m_pools; // by table
    qsizetype m_pending = 0;
    Skipped m_skipped;
};
