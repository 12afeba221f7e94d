#pragma once

#include <QSqlDatabase>
#include <QString>

// A package's identity: a random id the export writes into the package's marker, so that an
// import can be traced back to the export that wrote the package.
namespace PackageIdentity {

QString create();
void write(const QSqlDatabase &package, const QString &identity);
// "" for a package written before packages carried an identity.
QString read(const QSqlDatabase &package);

} // namespace PackageIdentity
