#include "RepositorySession.h"

#include "AppError.h"
#include "Sql.h"

#include <QSet>
#include <QSqlError>

namespace {

// Several statements that must land together (a macro and every reference to it, a whole set of
// references). When a transaction is already open the caller owns it and we only run inside it.
class Transaction {
public:
    explicit Transaction(QSqlDatabase db) : m_db(db) { m_own = m_db.transaction(); }
    ~Transaction()
    {
        if (m_own)
            m_db.rollback();
    }
    void commit()
    {
        if (m_own && !m_db.commit())
            throw AppError(ErrorNumber::Database, m_db.lastError().text(), QStringLiteral("Velmora repository"));
        m_own = false;
    }

private:
    QSqlDatabase m_db;
    bool m_own = false;
};

void setReason(QString *reason, const QString &text)
{
    if (reason)
        *reason = text;
}

// Names are compared as a person reads them: surrounding blanks and letter case do not make a new name.
bool sameName(const QString &a, const QString &b)
{
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

// Another row of the query (id column, name column) already carries the name.
bool nameTaken(QSqlQuery q, const QString &idColumn, const QString &nameColumn, const QString &name, int exceptId)
{
    while (q.next())
        if (Sql::integer(q, idColumn) != exceptId && sameName(Sql::text(q, nameColumn), name))
            return true;
    return false;
}

bool rowExists(const QSqlDatabase &db, const QString &table, const QString &idColumn, int id)
{
    return Sql::scalar(db, QStringLiteral("Select Count(*) From %1 Where %2 = %3").arg(table, idColumn).arg(id)).toInt() > 0;
}

} // namespace

int RepositorySession::SaveMacroCategory(const QString &name, int categoryId, QString *reason)
{
    setReason(reason, QString());
    if (name.trimmed().isEmpty()) {
        setReason(reason, QStringLiteral("The macro category name cannot be empty."));
        return 0;
    }
    QSqlDatabase db = Connection();
    if (categoryId != 0 && !rowExists(db, QStringLiteral("ZAT_CategMacros"), QStringLiteral("IdCateg"), categoryId)) {
        setReason(reason, QStringLiteral("The macro category no longer exists."));
        return 0;
    }
    if (nameTaken(Sql::exec(db, QStringLiteral("Select IdCateg, Denumire From ZAT_CategMacros")),
                  QStringLiteral("IdCateg"), QStringLiteral("Denumire"), name, categoryId)) {
        setReason(reason, QStringLiteral("A macro category named '") + name.trimmed() + QStringLiteral("' already exists."));
        return 0;
    }
    if (categoryId == 0)
        return Sql::insert(db, QStringLiteral("ZAT_CategMacros"), QStringLiteral("IdCateg"), {{QStringLiteral("Denumire"), name}});
    Sql::update(db, QStringLiteral("ZAT_CategMacros"), {{QStringLiteral("Denumire"), name}}, QStringLiteral("IdCateg"), categoryId);
    return categoryId;
}

int RepositorySession::SaveMacro(const QString &name, int categoryId, int macroId, QString *reason)
{
    setReason(reason, QString());
    if (name.trimmed().isEmpty()) {
        setReason(reason, QStringLiteral("The macro name cannot be empty."));
        return 0;
    }
    QSqlDatabase db = Connection();
    int targetCategory = categoryId;
    if (macroId != 0) {
        QSqlQuery q = Sql::exec(db, QStringLiteral("Select IdCateg From ZAT_Macros Where IdMacro = %1").arg(macroId));
        if (!q.next()) {
            setReason(reason, QStringLiteral("The macro no longer exists."));
            return 0;
        }
        if (targetCategory == 0)
            targetCategory = Sql::integer(q, QStringLiteral("IdCateg"));
    }
    // A rename keeps a macro whose category went missing where it is; anything else needs a real category.
    const bool keepsCategory = macroId != 0 && categoryId == 0;
    if (!keepsCategory && (targetCategory <= 0
                           || !rowExists(db, QStringLiteral("ZAT_CategMacros"), QStringLiteral("IdCateg"), targetCategory))) {
        setReason(reason, QStringLiteral("The macro category no longer exists."));
        return 0;
    }
    if (nameTaken(Sql::exec(db, QStringLiteral("Select IdMacro, MacroName From ZAT_Macros Where IdCateg = %1").arg(targetCategory)),
                  QStringLiteral("IdMacro"), QStringLiteral("MacroName"), name, macroId)) {
        setReason(reason, QStringLiteral("A macro named '") + name.trimmed() + QStringLiteral("' already exists in this category."));
        return 0;
    }
    if (macroId == 0)
        return Sql::insert(db, QStringLiteral("ZAT_Macros"), QStringLiteral("IdMacro"),
                           {{QStringLiteral("IdCateg"), targetCategory}, {QStringLiteral("MacroName"), name},
                            {QStringLiteral("Body"), QString(QLatin1String(""))}});
    Sql::update(db, QStringLiteral("ZAT_Macros"),
                {{QStringLiteral("MacroName"), name}, {QStringLiteral("IdCateg"), targetCategory}},
                QStringLiteral("IdMacro"), macroId);
    return macroId;
}

QString RepositorySession::GetMacroBody(int macroId)
{
    const QVariant body = Sql::scalar(Connection(), QStringLiteral("Select Body From ZAT_Macros Where IdMacro = %1").arg(macroId));
    return body.isNull() ? QString(QLatin1String("")) : body.toString();
}

bool RepositorySession::SaveMacroBody(int macroId, const QString &body)
{
    QSqlDatabase db = Connection();
    if (!rowExists(db, QStringLiteral("ZAT_Macros"), QStringLiteral("IdMacro"), macroId))
        return false;
    // A null QString would be stored as Null; an emptied body is stored as empty text.
    Sql::update(db, QStringLiteral("ZAT_Macros"), {{QStringLiteral("Body"), body.isNull() ? QString(QLatin1String("")) : body}},
                QStringLiteral("IdMacro"), macroId);
    return true;
}

bool RepositorySession::DeleteMacroCategory(int categoryId)
{
    if (categoryId <= 0)
        return false;
    QSqlDatabase db = Connection();
    // Another editor may have added a macro since the window looked; never leave macros without a category.
    if (rowExists(db, QStringLiteral("ZAT_Macros"), QStringLiteral("IdCateg"), categoryId))
        return false;
    Sql::exec(db, QStringLiteral("Delete From ZAT_CategMacros Where IdCateg = %1").arg(categoryId));
    return true;
}

bool RepositorySession::DeleteMacro(int macroId)
{
    if (macroId <= 0)
        return false;
    QSqlDatabase db = Connection();
    Transaction tx(db);
    Sql::exec(db, QStringLiteral("Delete From ZAT_References Where IdMacro = %1").arg(macroId));
    Sql::exec(db, QStringLiteral("Delete From ZAT_References Where Tip = 'm' And IdSource = %1").arg(macroId));
    Sql::exec(db, QStringLiteral("Delete From ZAT_Macros Where IdMacro = %1").arg(macroId));
    tx.commit();
    return true;
}

QStringList RepositorySession::GetReferencedMacros(int sourceId, const QString &tip)
{
    QSqlQuery q = Sql::exec(Connection(),
                            QStringLiteral("Select Distinct m.IdMacro, m.MacroName From ZAT_References r "
                                           "Inner Join ZAT_Macros m On r.IdMacro = m.IdMacro "
                                           "Where r.IdSource = %1 And r.Tip = ? Order By m.MacroName, m.IdMacro")
                                .arg(sourceId),
                            {tip});
    QStringList out;
    while (q.next())
        out << QString::number(Sql::integer(q, QStringLiteral("IdMacro"))) + IdNameSeparator
                   + Sql::text(q, QStringLiteral("MacroName"));
    return out;
}

bool RepositorySession::SaveReferences(int sourceId, const QList<int> &macroIds, const QString &tip)
{
    const bool fromMacro = tip == QLatin1String("m");
    if (!fromMacro && tip != QLatin1String("r"))
        return false;
    QSqlDatabase db = Connection();
    if (fromMacro ? !rowExists(db, QStringLiteral("ZAT_Macros"), QStringLiteral("IdMacro"), sourceId)
                  : !rowExists(db, QStringLiteral("ZAT_Report"), QStringLiteral("IdReport"), sourceId))
        return false;

    QList<int> wanted;
    QSet<int> seen;
    for (int id : macroIds) {
        // A macro using itself means nothing and would make every walk over references loop on it.
        if (id <= 0 || (fromMacro && id == sourceId) || seen.contains(id))
            continue;
        seen.insert(id);
        wanted << id;
    }
    QList<int> existing;
    if (!wanted.isEmpty()) {
        QSqlQuery q = Sql::exec(db, QStringLiteral("Select IdMacro From ZAT_Macros Where IdMacro ") + Sql::idList(wanted)
                                        + QStringLiteral(" Order By IdMacro"));
        while (q.next())
            existing << Sql::integer(q, QStringLiteral("IdMacro"));
    }

    Transaction tx(db);
    Sql::exec(db, QStringLiteral("Delete From ZAT_References Where Tip = ? And IdSource = %1").arg(sourceId), {tip});
    for (int id : std::as_const(existing))
        Sql::insertRow(db, QStringLiteral("ZAT_References"),
                       {{QStringLiteral("IdSource"), sourceId}, {QStringLiteral("IdMacro"), id}, {QStringLiteral("Tip"), tip}});
    tx.commit();
    return true;
}
