#include "RepositorySession.h"

#include "Sql.h"

static QStringList idNameList(QSqlQuery q, const QString &idColumn, const QString &nameColumn)
{
    QStringList out;
    while (q.next())
        out << QString::number(Sql::integer(q, idColumn)) + IdNameSeparator + Sql::text(q, nameColumn);
    return out;
}

QStringList RepositorySession::GetMacroCategoryList()
{
    return idNameList(Sql::exec(Connection(), QStringLiteral("Select IdCateg, Denumire From ZAT_CategMacros "
                                                             "Order By Denumire, IdCateg")),
                      QStringLiteral("IdCateg"), QStringLiteral("Denumire"));
}

QStringList RepositorySession::GetMacroList(int categoryId)
{
    QString sql = QStringLiteral("Select IdMacro, MacroName From ZAT_Macros");
    if (categoryId != 0)
        sql += QStringLiteral(" Where IdCateg = %1").arg(categoryId);
    sql += QStringLiteral(" Order By MacroName, IdMacro");
    return idNameList(Sql::exec(Connection(), sql), QStringLiteral("IdMacro"), QStringLiteral("MacroName"));
}
