#include "RepositorySession.h"

#include "AppError.h"
#include "Schema.h"
#include "Scramble.h"
#include "Sql.h"

#include <QSet>
#include <QSqlError>

namespace {

// Keeps a cascade whole: either every row of it goes or none does. Joins a transaction that
// is already open instead of nesting.
class Transaction {
public:
    explicit Transaction(QSqlDatabase db) : m_db(db), m_own(m_db.transaction()) {}
    ~Transaction()
    {
        if (m_own)
            m_db.rollback();
    }
    void commit()
    {
        if (m_own && !m_db.commit())
            throw AppError(ErrorNumber::Database, m_db.lastError().text().trimmed());
        m_own = false;
    }

private:
    QSqlDatabase m_db;
    bool m_own;
};

QString nameKey(const QString &name) { return name.trimmed().toCaseFolded(); }

// Whether a row of `sql` (columns: id, name) other than exceptId carries the name.
bool nameTaken(const QSqlDatabase &db, const QString &sql, const QString &name, int exceptId = 0)
{
    const QString wanted = nameKey(name);
    QSqlQuery q = Sql::exec(db, sql);
    while (q.next())
        if (q.value(0).toInt() != exceptId && nameKey(q.value(1).toString()) == wanted)
            return true;
    return false;
}

bool exists(const QSqlDatabase &db, const QString &table, const QString &idColumn, int id)
{
    return id > 0 && Sql::scalar(db, QStringLiteral("Select Count(*) From %1 Where %2 = %3").arg(table, idColumn).arg(id))
                             .toInt() > 0;
}

// Renames the row `id` of a table whose names are unique; false for a blank or taken name or a
// row that is gone.
bool renameUnique(const QSqlDatabase &db, const char *table, const char *idColumn, const char *nameColumn, int id,
                  const QString &name)
{
    if (name.trimmed().isEmpty() || !exists(db, table, idColumn, id)
        || nameTaken(db, QStringLiteral("Select %1, %2 From %3").arg(QLatin1String(idColumn), QLatin1String(nameColumn),
                                                                     QLatin1String(table)),
                     name, id))
        return false;
    Sql::update(db, table, {{nameColumn, name}}, idColumn, id);
    return true;
}

} // namespace

QSqlQuery RepositorySession::GetApplicationRows()
{
    return Sql::exec(Connection(), QStringLiteral("Select AppName, IdApp From ZAT_App Order By AppName, IdApp"));
}

int RepositorySession::AddApplication(const QString &name)
{
    QSqlDatabase db = Connection();
    if (name.trimmed().isEmpty() || nameTaken(db, QStringLiteral("Select IdApp, AppName From ZAT_App"), name))
        return 0;
    return Sql::insert(db, "ZAT_App", "IdApp", {{"AppName", name}});
}

bool RepositorySession::RenameApplication(int idApp, const QString &name)
{
    return renameUnique(Connection(), "ZAT_App", "IdApp", "AppName", idApp, name);
}

int RepositorySession::ConsoleApplicationId()
{
    // The application CurrentUserId keeps the administrators in.
    return Sql::scalar(Connection(), QStringLiteral("Select IdApp From ZAT_App Where AppName = ? Order By IdApp"),
                       {QString::fromLatin1(Schema::ConsoleAppName)}).toInt();
}

bool RepositorySession::DeleteApplication(int idApp)
{
    QSqlDatabase db = Connection();
    if (!exists(db, "ZAT_App", "IdApp", idApp))
        return false;
    const QString users = QStringLiteral("(Select u.IdUserApp From ZAT_UserApp u Where u.IdApp = %1)").arg(idApp);
    const bool loggedInGoes = m_currentUserId > 0 &&
        Sql::scalar(db, QStringLiteral("Select Count(*) From ZAT_UserApp Where IdApp = %1 And IdUserApp = %2")
                            .arg(idApp).arg(m_currentUserId)).toInt() > 0;
    Transaction tx(db);
    Sql::exec(db, QStringLiteral("Update ZAT_Report Set IdUserAppCheckOut = Null Where IdUserAppCheckOut In ") + users);
    Sql::exec(db, QStringLiteral("Delete From ZAT_UserApp_Role Where IdUserApp In ") + users);
    Sql::exec(db, QStringLiteral("Delete From ZAT_UserApp Where IdApp = %1").arg(idApp));
    Sql::exec(db, QStringLiteral("Delete From ZAT_App Where IdApp = %1").arg(idApp));
    tx.commit();
    if (loggedInGoes)
        m_currentUserId = 0; // made again on next use
    return true;
}

QSqlQuery RepositorySession::GetApplicationUserRows(int idApp)
{
    const QString user = Sql::userColumn();
    return Sql::exec(Connection(), QStringLiteral("Select %1, UserFName, UserLName, IdUserApp From ZAT_UserApp "
                                                  "Where IdApp = %2 Order By %1, IdUserApp")
                                       .arg(user).arg(idApp));
}

QSqlQuery RepositorySession::GetRoleRows(int idUserApp)
{
    if (idUserApp == 0)
        return Sql::exec(Connection(), QStringLiteral("Select Role, IdRole From ZAT_Role Order By Role, IdRole"));
    return Sql::exec(Connection(), QStringLiteral("Select r.Role, r.IdRole From ZAT_UserApp_Role ur "
                                                  "Join ZAT_Role r On r.IdRole = ur.IdRole "
                                                  "Where ur.IdUserApp = %1 Order By r.Role, r.IdRole")
                                       .arg(idUserApp));
}

int RepositorySession::AddRole(const QString &name)
{
    QSqlDatabase db = Connection();
    if (name.trimmed().isEmpty() || nameTaken(db, QStringLiteral("Select IdRole, Role From ZAT_Role"), name))
        return 0;
    return Sql::insert(db, "ZAT_Role", "IdRole", {{"Role", name}});
}

bool RepositorySession::RenameRole(int idRole, const QString &name)
{
    return renameUnique(Connection(), "ZAT_Role", "IdRole", "Role", idRole, name);
}

bool RepositorySession::DeleteRole(int idRole)
{
    QSqlDatabase db = Connection();
    if (!exists(db, "ZAT_Role", "IdRole", idRole))
        return false;
    Transaction tx(db);
    Sql::exec(db, QStringLiteral("Delete From ZAT_Role_Report Where IdRole = %1").arg(idRole));
    Sql::exec(db, QStringLiteral("Delete From ZAT_UserApp_Role Where IdRole = %1").arg(idRole));
    Sql::exec(db, QStringLiteral("Delete From ZAT_Role Where IdRole = %1").arg(idRole));
    tx.commit();
    return true;
}

bool RepositorySession::SaveUserRoles(int idUserApp, const QList<int> &roleIds)
{
    QSqlDatabase db = Connection();
    if (!exists(db, "ZAT_UserApp", "IdUserApp", idUserApp))
        return false;
    Transaction tx(db);
    Sql::exec(db, QStringLiteral("Delete From ZAT_UserApp_Role Where IdUserApp = %1").arg(idUserApp));
    if (!roleIds.isEmpty())
        Sql::exec(db, QStringLiteral("Insert Into ZAT_UserApp_Role (IdUserApp, IdRole) "
                                     "Select %1, IdRole From ZAT_Role Where IdRole %2 Order By IdRole")
                          .arg(idUserApp).arg(Sql::idList(roleIds)));
    tx.commit();
    return true;
}

QSqlQuery RepositorySession::GetUserRow(int idUserApp)
{
    return Sql::exec(Connection(), QStringLiteral("Select IdUser, UserFName, UserLName, %1, Password From ZAT_UserApp "
                                                  "Where IdUserApp = %2")
                                       .arg(Sql::userColumn()).arg(idUserApp));
}

QString RepositorySession::UserProblem(int idUserApp, const QString &user, const QString &password, int idApp)
{
    QSqlDatabase db = Connection();
    if (user.trimmed().isEmpty())
        return QStringLiteral("The user name cannot be empty.");
    // A user that keeps its name may be saved even where older data already holds a twin.
    const QString before = idUserApp == 0 ? QString()
        : Sql::scalar(db, QStringLiteral("Select %1 From ZAT_UserApp Where IdUserApp = %2").arg(Sql::userColumn()).arg(idUserApp)).toString();
    const bool renamed = idUserApp == 0 || nameKey(before) != nameKey(user);
    if (renamed && nameTaken(db, QStringLiteral("Select IdUserApp, %1 From ZAT_UserApp Where IdApp = %2").arg(Sql::userColumn()).arg(idApp),
                             user, idUserApp))
        return QStringLiteral("The client application already has a user named '%1'.").arg(user.trimmed());
    if (!PasswordIsStorable(password))
        return QStringLiteral("The password holds a character that cannot be stored.");
    return {};
}

int RepositorySession::SaveUser(int idUserApp, int externalId, const QString &user, const QString &firstName,
                                const QString &lastName, const QString &password, int idApp)
{
    QSqlDatabase db = Connection();
    if (user.trimmed().isEmpty())
        throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("The user name cannot be empty."));
    if (!exists(db, "ZAT_App", "IdApp", idApp))
        throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("The client application no longer exists."));
    if (idUserApp != 0 && !exists(db, "ZAT_UserApp", "IdUserApp", idUserApp))
        throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("The user no longer exists."));
    const QString problem = UserProblem(idUserApp, user, password, idApp);
    if (!problem.isEmpty())
        throw AppError(ErrorNumber::InvalidArgument, problem);
    const Sql::Values values{{"IdApp", idApp},
                             {"IdUser", externalId},
                             {"User", user},
                             {"UserFName", Sql::nullableText(firstName)},
                             {"UserLName", Sql::nullableText(lastName)},
                             {"Password", Sql::nullableText(StoredPassword(password))}};
    if (idUserApp == 0)
        return Sql::insert(db, "ZAT_UserApp", "IdUserApp", values);
    Sql::update(db, "ZAT_UserApp", values, "IdUserApp", idUserApp);
    return idUserApp;
}

bool RepositorySession::DeleteUser(int idUserApp)
{
    QSqlDatabase db = Connection();
    if (!exists(db, "ZAT_UserApp", "IdUserApp", idUserApp))
        return false;
    Transaction tx(db);
    Sql::exec(db, QStringLiteral("Update ZAT_Report Set IdUserAppCheckOut = Null Where IdUserAppCheckOut = %1").arg(idUserApp));
    Sql::exec(db, QStringLiteral("Delete From ZAT_UserApp_Role Where IdUserApp = %1").arg(idUserApp));
    Sql::exec(db, QStringLiteral("Delete From ZAT_UserApp Where IdUserApp = %1").arg(idUserApp));
    tx.commit();
    if (idUserApp == m_currentUserId)
        m_currentUserId = 0;
    return true;
}

bool RepositorySession::SaveRoleReports(int idRole, const QList<int> &reportIds)
{
    QSqlDatabase db = Connection();
    if (!exists(db, "ZAT_Role", "IdRole", idRole))
        return false;
    Transaction tx(db);
    Sql::exec(db, QStringLiteral("Delete From ZAT_Role_Report Where IdRole = %1 And IdReport Not In "
                                 "(Select r.IdReport From ZAT_Report r Where Coalesce(r.IsDeleted, 0) <> 0)")
                      .arg(idRole));
    if (!reportIds.isEmpty())
        Sql::exec(db, QStringLiteral("Insert Into ZAT_Role_Report (IdRole, IdReport) Select %1, IdReport From ZAT_Report "
                                     "Where IdReport %2 And Coalesce(IsDeleted, 0) = 0 Order By IdReport")
                          .arg(idRole).arg(Sql::idList(reportIds)));
    tx.commit();
    return true;
}
