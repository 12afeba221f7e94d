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

// One row read from the repository; columns are found by name without regard to case.
class Row {
public:
    Row() = default;
    Row(std::shared_ptr<const QStringList> names, QVariantList values)
        : m_names(std::move(names)), m_values(std::move(values))
    {
    }
    QVariant value(const char *column) const
    {
        const QLatin1String name(column);
        if (m_names)
            for (int i = 0; i < m_names->size(); ++i)
                if (m_names->at(i).compare(name, Qt::CaseInsensitive) == 0)
                    return m_values.at(i);
        return {};
    }

private:
    std::shared_ptr<const QStringList> m_names;
    QVariantList m_values;
};

// Every row of a statement.
inline QList<Row> rows(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q = Sql::exec(db, sql);
    QList<Row> out;
    const QSqlRecord rec = q.record();
    auto names = std::make_shared<QStringList>();
    for (int i = 0; i < rec.count(); ++i)
        names->append(rec.fieldName(i));
    const int n = int(names->size());
    while (q.next()) {
        QVariantList values;
        values.reserve(n);
        for (int i = 0; i < n; ++i)
            values.append(q.value(i));
        out.append(Row(names, std::move(values)));
    }
    return out;
}

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
