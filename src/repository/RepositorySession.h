#pragma once

#include "DataSourceItem.h"
#include "Items.h"
#include "ReportDefinitionItem.h"
#include "Rows.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

// The repository library's session: where the repository lives, who is logged in, the open
// connection, and the library operations. One instance serves the whole run of the console
// (App::session()); tests and the command-line tool make their own.
//
// Operations are grouped by area; each area's bodies live in their own RepositorySession*.cpp.
class RepositorySession {
public:
    enum Kind { FileDatabase = 1, ServerDatabase = 2 };

    RepositorySession();
    ~RepositorySession();
    RepositorySession(const RepositorySession &) = delete;
    RepositorySession &operator=(const RepositorySession &) = delete;

    // ---- where the repository is and who is logged in
    int DatabaseKind() const { return m_kind; }
    void setDatabaseKind(int kind) { m_kind = kind; }
    QString DatabasePath() const { return m_path; }
    void setDatabasePath(const QString &path) { m_path = path; }
    QString ServerName() const { return m_server; }
    int ServerPort() const { return m_port; }
    QString DatabaseName() const { return m_database; }
    // The database login of a server repository; empty for a file repository.
    QString UserName() const { return m_kind == FileDatabase ? QString() : m_login; }
    // The name the administrator is known by in ZAT_UserApp (file repository: the OS user).
    QString LoginName() const;
    // Where the repository lives, as one text: the file path, or "\\host:port\database" for a
    // server. It names the repository in the clipboard marker.
    QString RepositoryLocation() const;
    QString DatabasePassword() const { return m_dbPassword; }
    void setDatabasePassword(const QString &password) { m_dbPassword = password; }
    // IdUserApp of the logged-in administrator in the console's own client application; the
    // row is created on first use.
    int CurrentUserId();

    // ---- connection
    void setServer(const QString &host, int port, const QString &database, const QString &login,
                   const QString &password);
    // Opens (or creates, when createIfMissing and the file does not exist) a file repository.
    void OpenFile(const QString &path, bool createIfMissing = false);
    // An empty password, login or database is left to the server's client library, which takes
    // them from PGPASSWORD, ~/.pgpass, PGUSER, a service and so on. options: further connection
    // parameters as "name=value" joined by ';' (service=NAME, sslmode=...); port 0 = not given.
    void OpenServer(const QString &host, int port, const QString &database, const QString &login,
                    const QString &password, const QString &options = QString());
    // The open connection; opens it from the current settings when it was reset. Throws AppError.
    QSqlDatabase Connection();
    bool IsOpen() const;
    void ResetConnection();
    // An empty repository (layout, root and recycle bin, one company, the console's application)
    // at path; "" = DatabasePath. An existing file is replaced. The session's connection is untouched.
    void CreateDatabase(const QString &path = QString());

    // ---- companies
    QSqlQuery GetCompanies(); // IdAuthor, Name
    void SetFileServer(int companyId, int kind, const QString &a, const QString &b, const QString &path);
    QString GetFileServer(int companyId);

    // ---- categories and reports (shared by the navigator, security and transfer windows)
    // parent -1: every live category, parents before their children, siblings in display order.
    CategoryRows GetSubCategoryRows(int parent);
    // category -1: every live report. roleId > 0: only the reports granted to that role.
    ReportRows GetReportRows(int category, int roleId = 0);

    // ---- check-out
    bool IsCheckedOutByOther(int reportId);
    void CheckInReports(const QList<int> &reportIds);
    // exactSet true: the current user ends up holding exactly these reports (working files);
    // false: these reports are added to what the user holds. Reports held by another user are skipped.
    void CheckOutReports(const QList<int> &reportIds, bool exactSet);

    // ---- item objects
    CategoryItem GetCategory(int id);
    ReportItem GetReport(int id);

    // ---- navigator: lifecycle, recycle bin, clipboard
    using CategoryList = QList<CategoryItem>;
    using ReportList = QList<ReportItem>;
    enum ItemState { Live = 0, Deleted = 2 };
    // parent -1: every category of that state (live: parents before children, siblings in display
    // order); otherwise the direct children of parent. Deleted: the items put in the recycle bin.
    CategoryList GetCategoryList(int parent, int state);
    ReportList GetReportList(int category, int state);
    // Report kinds of NewReport.
    enum ReportKind { KindExcel = 1, KindText = 2, KindVelmora = 5 };
    // Type text of the program's own spreadsheet reports: they offer the workbook entries.
    static QString VelmoraReportType() { return QStringLiteral("Velmora"); }
    CategoryItem NewCategory(int parent, const QString &name);
    ReportItem NewReport(int category, int kind, const QString &name);
    // Whether another live item of the container (not exceptId) carries the name, by NameRule.
    bool CategoryNameExists(const QString &name, int parent, int exceptId = 0);
    bool ReportNameExists(const QString &name, int category, int exceptId = 0);
    // base when it is free in the container, else base(1), base(2), ... the first that is.
    QString UniqueCategoryName(int parent, const QString &base);
    QString UniqueReportName(int category, const QString &base);
    void DeleteItems(const QList<int> &reportIds, const QList<int> &categoryIds);
    bool RestoreItems(const QList<int> &categoryIds, const QList<int> &reportIds);
    bool IsRecycleBinEmpty();
    // Removes the bin's items and every row that hangs on them. False when the bin was empty.
    bool EmptyRecycleBin();
    // Remember the set for PasteItems and return the marker text for the system clipboard:
    // "ZAT#$#" + RepositoryLocation + "#$#cut" or "#$#copy" + "#$#r1,r2#$#c3".
    QString CutItems(const QList<int> &reportIds, const QList<int> &categoryIds);
    QString CopyItems(const QList<int> &reportIds, const QList<int> &categoryIds);
    // Moves (cut) or deep-copies (copy) the remembered set into target; false when nothing changed.
    // A copy takes a free name by NameRule ("Name(1)"); a move that would give the target two
    // items of one name is refused (AppError, PasteNameClash's text).
    bool PasteItems(int target);
    // The message refusing to move the remembered cut set into target, "" when it may go there.
    QString PasteNameClash(int target);
    // Whether a clipboard text is this repository's marker.
    bool IsOurClipboard(const QString &clipboardText) const;
    // Whether a clipboard text is a marker of any repository (a paste into a text box ignores it).
    static bool IsClipboardMarker(const QString &clipboardText);
    struct NavigatorClipboard {
        bool cut = false;
        QList<int> reports;
        QList<int> categories;
        QString location; // RepositoryLocation when cut or copied
    } navigatorClipboard; // the cut or copied set, kept until the next cut/copy (a cut: until pasted)
                          // or until another repository is opened

    // ---- edits saved without check-out: was the row changed since a window loaded it?
    // A report's Modified stamp differs from the one loaded (every save moves it on).
    bool ReportChangedSince(int reportId, const QDateTime &loadedModified);
    // A category's name or description differs from the loaded item.
    bool CategoryChangedSince(const CategoryItem &loaded);

    // ---- report definitions (properties)
    ReportDefinitionItem GetReportDefinition(int reportId);
    // Writes the whole definition in one transaction and stamps Modified (also into def).
    // Refuses, changing nothing, a report that another user holds checked out.
    void SaveReportDefinition(ReportDefinitionItem &def);
    // Data sources a report can read: id and name, Order By Name.
    QList<QPair<int, QString>> GetReportDataSourceChoices();

    // ---- data sources and variables
    DataSourceList GetDataSourceList(); // Order By Name
    DataSourceItem GetDataSource(int idDataSource); // throws when it does not exist
    // Reports (recycle bin included) that read the data source, and its variables.
    int DataSourceReportCount(int idDataSource);
    int DataSourceVariableCount(int idDataSource);
    // The variables of a data source by SortNr; leaveOutIdVar 0 = none left out.
    VariableRows GetVariableRows(int idDataSource, int leaveOutIdVar = 0);
    // Stores the change records (ChangeRecord form) and removes the deleted variables with their
    // dependences, in one transaction; writes every stored row's id into field 1 of its record.
    // False when the data source no longer exists.
    bool SaveVariables(int idDataSource, QStringList &changes, const QList<int> &deletedIds);
    // dependsOn true: the variables idVar depends on; false: every dependence in the way of
    // deleting idVar, in either direction (empty = it may be deleted).
    DependenceRows GetDependenceRows(int idVar, bool dependsOn);
    // Names along the path that would make idVar depend on itself once it depends on dependsOn
    // ("B", "C", "A" when B depends on C, which depends on A = idVar); empty when there is none.
    QStringList DependenceCycle(int idVar, const QList<int> &dependsOn);
    // idVar then depends on exactly these variables. False (nothing changed) when one is not
    // another variable of the same data source or when a cycle would arise.
    bool SaveDependences(int idVar, const QList<int> &dependsOn);
    // Removes every dependence GetDependenceRows(idVar, false) reports.
    void DeleteDependences(int idVar);

    // ---- macro library
    QStringList GetMacroCategoryList();  // "id#$#name", Order By Denumire
    QStringList GetMacroList(int categoryId); // "id#$#name", Order By MacroName; 0 = every macro
    // Creates (categoryId 0) or renames a category; returns its id, 0 when refused (empty name,
    // a name another category has, a category that no longer exists). reason says why.
    int SaveMacroCategory(const QString &name, int categoryId, QString *reason = nullptr);
    // Creates a macro in categoryId (macroId 0) or renames one (categoryId 0 keeps its category,
    // another id moves it there); returns its id, 0 when refused (empty name, a name another macro
    // of the same category has, a missing category or macro).
    int SaveMacro(const QString &name, int categoryId, int macroId, QString *reason = nullptr);
    QString GetMacroBody(int macroId); // "" when the macro does not exist
    bool SaveMacroBody(int macroId, const QString &body); // false when the macro does not exist
    // False while the category holds macros; true when it is gone (also when it was already gone).
    bool DeleteMacroCategory(int categoryId);
    // Deletes the macro together with every reference to it and its own references.
    bool DeleteMacro(int macroId);
    // The macros a source uses: tip "m" a macro, "r" a report. "id#$#name", Order By MacroName.
    QStringList GetReferencedMacros(int sourceId, const QString &tip);
    // The source ends up referencing exactly the given macros; ids of missing macros and a macro's
    // reference to itself are left out. False when the source does not exist or tip is unknown.
    bool SaveReferences(int sourceId, const QList<int> &macroIds, const QString &tip);

    // ---- security
    // Names of applications, roles and users (within their application) are unique, compared
    // without regard to case and surrounding blanks: Add* answer 0 for a blank or taken name,
    // SaveUser throws. Deletes leave no user-role row, grant or check-out pointing at what is gone.
    QSqlQuery GetApplicationRows(); // AppName, IdApp, by name
    int AddApplication(const QString &name); // the new id, 0 = refused
    // False for a blank name, a name another application has, or an application that is gone.
    bool RenameApplication(int idApp, const QString &name);
    // The console's own client application, whose users are the administrators; 0 when there is none.
    int ConsoleApplicationId();
    // The application, its users, their roles and their check-outs; false when it did not exist.
    bool DeleteApplication(int idApp);
    QSqlQuery GetApplicationUserRows(int idApp); // User, UserFName, UserLName, IdUserApp, by user
    // idUserApp 0: Role, IdRole of every role, by name; otherwise the roles the user holds.
    QSqlQuery GetRoleRows(int idUserApp);
    int AddRole(const QString &name); // the new id, 0 = refused
    // False for a blank name, a name another role has, or a role that is gone.
    bool RenameRole(int idRole, const QString &name);
    // The role with its report grants and user assignments; false when it did not exist.
    bool DeleteRole(int idRole);
    // The user ends up holding exactly the given roles (unknown role ids are skipped).
    bool SaveUserRoles(int idUserApp, const QList<int> &roleIds);
    QSqlQuery GetUserRow(int idUserApp); // IdUser, UserFName, UserLName, User, Password (stored form)
    // Creates (idUserApp 0) or updates a user; the password is given as typed and stored scrambled.
    // Returns the user's id. Throws AppError for a blank or taken user name, an unknown user or
    // application, or a password that cannot be stored.
    // Why SaveUser would refuse the user name or password (the text it throws); empty when they may be saved.
    QString UserProblem(int idUserApp, const QString &user, const QString &password, int idApp);
    int SaveUser(int idUserApp, int externalId, const QString &user, const QString &firstName,
                 const QString &lastName, const QString &password, int idApp);
    // The user with its roles; the reports it held are released. False when it did not exist.
    bool DeleteUser(int idUserApp);
    // The role is granted exactly these live reports; grants of reports in the recycle bin are
    // kept, since no window shows them. False when the role does not exist.
    bool SaveRoleReports(int idRole, const QList<int> &reportIds);

private:
    QSqlDatabase openFileConnection(const QString &path, bool createIfMissing);
    void openServerConnection(const QString &host, int port, const QString &database, const QString &login,
                              const QString &password, const QString &options);
    void ensureServerLayout(QSqlDatabase &db);

    QString m_connectionName;
    int m_kind = FileDatabase;
    QString m_path;
    QString m_server;
    int m_port = 5432;
    QString m_database;
    QString m_login;
    QString m_loginPassword;
    QString m_serverOptions;
    QString m_dbPassword;
    int m_currentUserId = 0;
};

// Separator of id-and-name texts ("12#$#Monthly sales").
inline const QString IdNameSeparator = QStringLiteral("#$#");
