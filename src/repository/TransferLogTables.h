#pragma once

#include "Schema.h"

#include <QList>
#include <QSqlDatabase>

// The transfer history: a row per export or import run and a line per report it carried. It
// belongs to a repository only: packages never have these tables, and the package layout check
// does not ask for them.
namespace TransferLogTables {

const QList<Schema::Table> &tables();

// Adds the tables a repository lacks (new and older repositories alike); safe to repeat.
void ensure(const QSqlDatabase &db);

} // namespace TransferLogTables
