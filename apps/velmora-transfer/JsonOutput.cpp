#include "JsonOutput.h"

#include <QJsonDocument>
#include <QTextStream>

namespace JsonOutput {

void print(const QJsonObject &document)
{
    QTextStream out(stdout);
    out << QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented));
    out.flush();
}

QJsonValue idOrNull(int id) { return id ? QJsonValue(id) : QJsonValue(QJsonValue::Null); }

QJsonValue textOrNull(const QString &text) { return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text); }

QJsonObject counts(const TransferLog::Counts &c)
{
    return {{"reports", c.reports},     {"data_sources", c.dataSources},
            {"variables", c.variables}, {"macro_categories", c.macroCategories},
            {"macros", c.macros},       {"roles", c.roles},
            {"applications", c.applications}, {"users", c.users}};
}

QJsonObject line(const TransferLog::Line &l)
{
    return {{"package_id", l.packageId}, {"code", textOrNull(l.code)}, {"name", l.name},
            {"destination_id", idOrNull(l.destinationId)}, {"action", l.action}};
}

QJsonObject run(const TransferLog::Run &r, bool withLines)
{
    QJsonObject o{{"id", idOrNull(r.id)},
                  {"started", r.started.toString(Qt::ISODate)},
                  {"finished", r.finished.isValid() ? QJsonValue(r.finished.toString(Qt::ISODate)) : QJsonValue()},
                  {"user", r.user},
                  {"direction", r.direction},
                  {"package", r.packagePath},
                  {"package_identity", textOrNull(r.packageIdentity)},
                  {"options", r.options},
                  {"counts", counts(r.counts)},
                  {"outcome", r.outcome},
                  {"message", r.message}};
    if (withLines)
        o.insert("reports", array(r.lines, line));
    return o;
}

QJsonObject plan(const ImportPlan &p)
{
    const auto report = [](const ImportPlan::Report &r) {
        QJsonObject o{{"package_id", r.packageId},
                      {"name", r.name},
                      {"action", r.action},
                      {"destination_id", idOrNull(r.destinationId)},
                      {"warnings", QJsonArray::fromStringList(r.warnings)}};
        if (r.action == QLatin1String("add")) {
            o.insert("destination_category", r.destinationCategory);
            o.insert("folder", textOrNull(r.folder));
        }
        if (!r.reason.isEmpty())
            o.insert("reason", r.reason);
        return o;
    };
    const auto item = [](const ImportPlan::Item &i) {
        QJsonObject o{{"package_id", i.packageId}, {"name", i.name}, {"action", i.action},
                      {"destination_id", idOrNull(i.destinationId)}};
        if (!i.note.isEmpty())
            o.insert("note", i.note);
        return o;
    };
    return {{"reports", array(p.reports, report)},
            {"data_sources", array(p.dataSources, item)},
            {"variables", array(p.variables, item)},
            {"macro_categories", array(p.macroCategories, item)},
            {"macros", array(p.macros, item)},
            {"roles", array(p.roles, item)},
            {"applications", array(p.applications, item)},
            {"users", array(p.users, item)},
            {"problems", QJsonArray::fromStringList(p.problems)},
            {"refused", p.refused()}};
}

} // namespace JsonOutput
