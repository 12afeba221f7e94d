#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>

// A connection to a report's data source, opened from its connection string and closed (and
// removed) when it leaves scope. Accepted forms: "sqlite:PATH", a plain file path when the data
// source is a file database (IsJet), and a PostgreSQL URI ("postgresql://user:pw@host:port/db",
// "?host=/socket/dir&port=N" allowed). Anything else is refused with a clear message.
class DataSourceConnection {
public:
    DataSourceConnection(const QString &connectionString, bool isJet, const QString &dataSourceName);
    ~DataSourceConnection();
    DataSourceConnection(const DataSourceConnection &) = delete;
    DataSourceConnection &operator=(const DataSourceConnection &) = delete;

    QSqlDatabase database() const;

private:
    QString m_name;
};

// A statement whose ":Name" placeholders were turned into positional ones, with the names in the
// order of their places. Quoted texts, quoted identifiers and "::" casts are left alone; comments
// become blanks.
struct PositionalSql {
    QString text;
    QStringList names;
};
PositionalSql ToPositional(const QString &sql);
