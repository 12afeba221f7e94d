#include "PackageIdentity.h"

#include "Sql.h"

#include <QSqlRecord>
#include <QUuid>

namespace PackageIdentity {

QString create() { return QUuid::createUuid().toString(QUuid::WithoutBraces); }

void write(const QSqlDatabase &package, const QString &identity)
{
    Sql::exec(package, QStringLiteral("Update ZAT_DbInfo Set PackageId = ?"), {identity});
}

QString read(const QSqlDatabase &package)
{
    if (package.record(QStringLiteral("ZAT_DbInfo")).indexOf(QStringLiteral("PackageId")) < 0)
        return QString();
    return Sql::scalar(package, QStringLiteral("Select PackageId From ZAT_DbInfo")).toString();
}

} // namespace PackageIdentity
