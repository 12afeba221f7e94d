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

// New rows written to a PostgreSQL repository many at a time. A row's id is taken at once from
// its table's identity sequence (reserved in growing blocks), so the caller can go on to rows
// that refer to it; the row itself waits for flush(), which writes a table's rows with one
// insert from arrays, one bound array per column, under a savepoint. Only an insert that fails
// is retried row by row, to find the row at fault. With one statement per row, a server round
// trip per row set the pace of a whole import; with a parameter per value, binding and parsing
// them did.
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

    // The new row's id. The same table must always be given the same id column.
    int queue(const QString &table, const QString &idColumn, const Values &values, const Origin &origin);
    bool pending() const { return m_pending > 0; }
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
    // A batch's bounds: enough rows that round trips no longer count, few enough characters that
    // the statement stays a modest size.
    static constexpr qsizetype MaxRows = 5000;
    static constexpr qsizetype MaxChars = 8 * 1024 * 1024;

    struct Shape {
        QString table, idColumn;
        QStringList columns; // as given, without the id column
        QList<int> ids;
        QVariantList values; // columns.size() values per row
        QList<Origin> origins;
        qsizetype bytes = 0; // of text waiting, to bound a statement's size
        QSqlQuery batch, oneRow; // prepared on first use
        bool batchPrepared = false, rowPrepared = false;
    };
    struct Pool {
        QString sequence;
        QList<int> ids;
        qsizetype next = 0;
        int block = 16;
    };

    int reserve(const QString &table, const QString &idColumn);
    void flush(Shape &shape);
    void insertRow(Shape &shape, qsizetype row);
    QStringList columnNames(const Shape &shape) const;
    QString batchText(const Shape &shape);
    void writeBatch(Shape &shape, qsizetype from, qsizetype rows);

    QSqlDatabase m_db;
    std::vector<Shape> m_shapes; // in order of first use
    QHash<QString, Pool> m_pools; // by table
    qsizetype m_pending = 0;
    Skipped m_skipped;
};
