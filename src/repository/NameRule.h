#pragma once

#include <QSet>
#include <QSqlDatabase>
#include <QString>

// The one rule for names that must be unique within their container (a category's
// sub-categories, a category's reports): names are compared as a person reads them, so letter
// case and surrounding blanks do not make a new name.
namespace NameRule {

// The form two names are compared in.
QString key(const QString &name);

// The keys of the names `sql` lists (columns: id, name), leaving out the row exceptId.
QSet<QString> keys(const QSqlDatabase &db, const QString &sql, int exceptId = 0);

// Whether a row of `sql` (columns: id, name) other than exceptId carries the name.
bool taken(const QSqlDatabase &db, const QString &sql, const QString &name, int exceptId = 0);

// What the user is told when a name is taken.
QString reportTakenText();
QString categoryTakenText();

} // namespace NameRule
