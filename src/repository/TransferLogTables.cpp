#include "TransferLogTables.h"

#include <QSet>

namespace TransferLogTables {

using T = Schema::ColumnType;

const QList<Schema::Table> &tables()
{
    static const QList<Schema::Table> all = {
        {"ZAT_TransferLog",
         {{"IdTransfer", T::Identity}, {"Started", T::Date}, {"Finished", T::Date}, {"UserName", T::Text},
          {"Direction", T::Text}, {"PackagePath", T::LongText}, {"PackageId", T::Text}, {"Options", T::LongText},
          {"Reports", T::Integer}, {"DataSources", T::Integer}, {"Variables", T::Integer},
          {"MacroCategories", T::Integer}, {"Macros", T::Integer}, {"Roles", T::Integer},
          {"Applications", T::Integer}, {"Users", T::Integer}, {"Outcome", T::Text}, {"Message", T::LongText}},
         {{"Started"}}},
        {"ZAT_TransferLogReport",
         {{"IdLine", T::Identity}, {"IdTransfer", T::Id}, {"IdPackageReport", T::Id}, {"SyncronizeCode", T::Code},
          {"Name", T::Text}, {"IdDestReport", T::Id}, {"TransferAction", T::Text}},
         {{"IdTransfer"}}},
    };
    return all;
}

void ensure(const QSqlDatabase &db)
{
    QSet<QString> present;
    for (const QString &t : db.tables(QSql::Tables))
        present.insert(t.toLower());
    for (const Schema::Table &t : tables())
        if (!present.contains(t.name.toLower()))
            Schema::createTable(db, t);
}

} // namespace TransferLogTables
