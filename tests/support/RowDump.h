#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// Rows as text, for comparing what a database holds before and after a run.
namespace RowDump {

// Each row of the query as its values joined with '|'; dates in their stored form.
QStringList rows(const QSqlDatabase &db, const QString &sql);

// Every row of every repository table, each prefixed with its table's name.
QStringList all(const QSqlDatabase &db);

} // namespace RowDump
