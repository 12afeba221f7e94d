#pragma once

#include "transfer/TransferLog.h"
#include "transfer/import/ImportPlan.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

// --json: a command prints exactly one JSON document on stdout, so a script can parse it whole;
// status lines and errors stay on stderr. Keys are lower case with underscores.
namespace JsonOutput {

void print(const QJsonObject &document);

// A value that may be absent: 0 and "" become null.
QJsonValue idOrNull(int id);
QJsonValue textOrNull(const QString &text);

// Lists of any kind, one object per element.
template <typename List, typename F>
QJsonArray array(const List &items, F &&toJson)
{
    QJsonArray out;
    for (const auto &item : items)
        out.append(toJson(item));
    return out;
}

QJsonObject counts(const TransferLog::Counts &counts);
// One report of a run: package_id, code, name, destination_id, action.
QJsonObject line(const TransferLog::Line &line);
// A run as the history keeps it; with its report lines when withLines.
QJsonObject run(const TransferLog::Run &run, bool withLines);

// What an import does (or would do): its reports, each other kind, and the problems refusing it.
QJsonObject plan(const ImportPlan &plan);

} // namespace JsonOutput
