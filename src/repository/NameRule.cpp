#include "NameRule.h"

#include "Sql.h"

namespace NameRule {

QString key(const QString &name) { return name.trimmed().toCaseFolded(); }

QSet<QString> keys(const QSqlDatabase &db, const QString &sql, int exceptId)
{
    QSet<QString> result;
    QSqlQuery q = Sql::exec(db, sql);
    while (q.next())
        if (q.value(0).toInt() != exceptId)
            result.insert(key(q.value(1).toString()));
    return result;
}

bool taken(const QSqlDatabase &db, const QString &sql, const QString &name, int exceptId)
{
    const QString wanted = key(name);
    QSqlQuery q = Sql::exec(db, sql);
    while (q.next())
        if (q.value(0).toInt() != exceptId && key(q.value(1).toString()) == wanted)
            return true;
    return false;
}

QString reportTakenText() { return QStringLiteral("A report with this name already exists in this folder!"); }
QString categoryTakenText() { return QStringLiteral("A category with this name already exists in this folder!"); }

} // namespace NameRule
