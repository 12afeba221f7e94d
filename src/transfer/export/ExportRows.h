#pragma once

// Helpers shared by the steps of the export run (not part of the engine's interface).

#include "repository/AppError.h"
#include "repository/Sql.h"

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QVariant>
#include <initializer_list>
#include <memory>
#include <utility>

namespace ExportRows {

// Id lists go to the database in chunks, so that statements stay short however many rows move.
constexpr int ChunkSize = 500;

inline QList<QList<int>> chunks(const QList<int> &ids, int size = ChunkSize)
{
    QList<QList<int>> out;
    for (int i = 0; i < ids.size(); i += size)
        out.append(ids.mid(i, size));
    return out;
}

// The column names of a statement, shared by its rows. Columns are asked for by string literal,
// so each literal's position is found once by name and then remembered by its address.
struct Columns {
    QStringList names;
    mutable QHash<const char *, int> positions;

    int position(const char *column) const
    {
        const auto it = positions.constFind(column);
        if (it != positions.constEnd())
            return *it;
        int at = -1;
        const QLatin1String name(column);
        for (int i = 0; i < names.size(); ++i)
            if (names.at(i).compare(name, Qt::CaseInsensitive) == 0) {
                at = i;
                break;
            }
        positions.insert(column, at);
        return at;
    }
};

// One row read from the repository; columns are found by name without regard to case.
class Row {
public:
    Row() = default;
    Row(std::shared_ptr<const Columns> columns, QVariantList values)
        : m_columns(std::move(columns)), m_values(std::move(values))
    {
    }
    QVariant value(const char *column) const
    {
        if (!m_columns)
            return {};
        const int at = m_columns->position(column);
        return at < 0 ? QVariant() : m_values.at(at);
    }

private:
    std::shared_ptr<const Columns> m_columns;
    QVariantList m_values;
};

// Every row of a statement. From an SQLite repository the rows are read straight from SQLite,
// with the values the driver would give: the driver's per-value work dominated the export.
QList<Row> rows(const QSqlDatabase &db, const QString &sql);

inline QVariant value(const Row &row, const char *column) { return row.value(column); }

// A null text becomes "", a null number or flag becomes its default.
inline QVariant text(const Row &row, const char *column)
{
    const QVariant v = value(row, column);
    // QString("") and not QString(): a null QString is bound as Null.
    return v.isNull() ? QVariant(QStringLiteral("")) : QVariant(v.toString());
}
inline QVariant number(const Row &row, const char *column, int fallback = 0)
{
    const QVariant v = value(row, column);
    return v.isNull() ? QVariant(fallback) : v;
}
inline int id(const Row &row, const char *column) { return number(row, column).toInt(); }

// Appends rows to the package through one prepared statement per table. The package is always
// an SQLite file, so statements go straight to SQLite: the driver layer would double the cost.
class Writer {
public:
    explicit Writer(const QSqlDatabase &db);
    ~Writer();
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    using Fields = std::initializer_list<std::pair<const char *, QVariant>>;
    // Each table is always written with the same columns, in the same order.
    void append(const char *table, Fields values);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace ExportRows
