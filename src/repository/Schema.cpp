#include "Schema.h"

#include "AppError.h"
#include "Sql.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlRecord>

namespace Schema {

using T = ColumnType;

bool Table::hasColumn(const QString &column) const
{
    for (const Column &c : columns)
        if (c.name.compare(column, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

const QList<Table> &tables()
{
    static const QList<Table> all = {
        {"ZAT_Category",
         {{"IdCateg", T::Identity}, {"Name", T::Text}, {"Description", T::LongText}, {"IdParent", T::Id},
          {"IsDeleted", T::Flag}, {"ShowDeleted", T::Flag}},
         {{"IdParent"}, {"IsDeleted"}}},
        {"ZAT_Sort",
         {{"IdSort", T::Identity}, {"ItemType", T::Text}, {"IdItem", T::Id}, {"SortNr", T::Integer}},
         {{"ItemType", "IdItem"}}},
        {"ZAT_Report",
         {{"IdReport", T::Identity}, {"Name", T::Text}, {"FilePath", T::Text}, {"Version", T::Text},
          {"Modified", T::Date}, {"Description", T::LongText}, {"IdCateg", T::Id}, {"Macro", T::LongText},
          {"IsDeleted", T::Flag}, {"ShowDeleted", T::Flag}, {"DelExSheet", T::Flag},
          {"DestinationFileAtRuntime", T::Flag}, {"SyncronizeCode", T::Code}, {"IdUserAppCheckOut", T::Id},
          {"IdExtension", T::Integer}},
         {{"IdCateg"}, {"SyncronizeCode"}, {"IdUserAppCheckOut"}}},
        {"ZAT_ExcelSheetSettings",
         {{"IdSetting", T::Identity}, {"IdReport", T::Id}, {"SheetName", T::Text}, {"ShowGridLines", T::Text},
          {"ShowToolTips", T::Text}, {"ShowAutoFilters", T::Text}, {"FontName", T::Text},
          {"FontSize", T::Number}, {"ReportTitle", T::Text}, {"FreezPanel", T::Text}, {"GroupCols", T::Text}},
         {{"IdReport"}}},
        {"ZAT_ReportCols",
         {{"IdReportCol", T::Identity}, {"IdReport", T::Id}, {"Name", T::Text}, {"Type", T::Integer},
          {"Width", T::Integer}, {"Hide", T::Flag}, {"AutoSum", T::Flag}},
         {{"IdReport"}}},
        {"ZAT_ReportDS",
         {{"IdReportDS", T::Identity}, {"IdReport", T::Id}, {"IdSQLView", T::Id}, {"IdDataSource", T::Id}},
         {{"IdReport"}, {"IdSQLView"}, {"IdDataSource"}}},
        {"ZAT_SQLViews",
         {{"IdSQLView", T::Identity}, {"strSQLView", T::LongText}, {"Description", T::LongText}},
         {}},
        {"ZAT_DataSource",
         {{"IdDataSource", T::Identity}, {"Name", T::Text}, {"DataSourceString", T::LongText}, {"IsJet", T::Flag},
          {"Description", T::LongText}, {"NetConnectionString", T::LongText}},
         {{"Name"}}},
        {"ZAT_Var",
         {{"IdVar", T::Identity}, {"IdDataSource", T::Id}, {"Name", T::Text}, {"Type", T::Integer},
          {"Caption", T::Text}, {"DefaultValue", T::Text}, {"LookupSQLString", T::LongText}, {"SortNr", T::Integer}},
         {{"IdDataSource"}}},
        {"ZAT_Dependences",
         {{"ID", T::Identity}, {"IdVar", T::Id}, {"Iddep", T::Id}},
         {{"IdVar"}, {"Iddep"}}},
        {"ZAT_CategMacros",
         {{"IdCateg", T::Identity}, {"Denumire", T::Text}},
         {}},
        {"ZAT_Macros",
         {{"IdMacro", T::Identity}, {"IdCateg", T::Id}, {"MacroName", T::Text}, {"Body", T::LongText}},
         {{"IdCateg"}, {"MacroName"}}},
        {"ZAT_References",
         {{"IdReference", T::Identity}, {"IdSource", T::Id}, {"IdMacro", T::Id}, {"Tip", T::Text}},
         {{"Tip", "IdSource"}, {"IdMacro"}}},
        {"ZAT_App",
         {{"IdApp", T::Identity}, {"AppName", T::Text}},
         {}},
        {"ZAT_UserApp",
         {{"IdUserApp", T::Identity}, {"IdApp", T::Id}, {"IdUser", T::Id}, {"User", T::Text},
          {"UserFName", T::Text}, {"UserLName", T::Text}, {"Password", T::Text}},
         {{"IdApp"}}},
        {"ZAT_Role",
         {{"IdRole", T::Identity}, {"Role", T::Text}},
         {}},
        {"ZAT_Role_Report",
         {{"IdLeg", T::Identity}, {"IdRole", T::Id}, {"IdReport", T::Id}},
         {{"IdRole"}, {"IdReport"}}},
        {"ZAT_UserApp_Role",
         {{"IdLeg", T::Identity}, {"IdUserApp", T::Id}, {"IdRole", T::Id}},
         {{"IdUserApp"}, {"IdRole"}}},
        // The library's own: companies (work points) and the format marker.
        {"ZAT_Company",
         {{"IdAuthor", T::Identity}, {"Name", T::Text}, {"FileServer", T::Text}},
         {}},
        {"ZAT_DbInfo",
         {{"IdInfo", T::Identity}, {"Format", T::Text}, {"FormatVersion", T::Integer},
          {"PasswordSalt", T::Text}, {"PasswordHash", T::Text},
          // A package's random identity, written by the export; older packages lack it.
          {"PackageId", T::Text, true}},
         {}},
    };
    return all;
}

const Table *table(const QString &name)
{
    for (const Table &t : tables())
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}


static const char UserKeyName[] = "UX_ZAT_UserApp_IdApp_User";

QList<Index> indexes()
{
    QList<Index> out;
    for (const Table &t : tables())
        for (const QStringList &ix : t.indexes)
            out.append({t.name, QStringLiteral("IX_%1_%2").arg(t.name, ix.join(QLatin1Char('_'))), ix, false});
    out.append({QStringLiteral("ZAT_UserApp"), QString::fromLatin1(UserKeyName),
                {QStringLiteral("IdApp"), QStringLiteral("User")}, true});
    return out;
}

static QString sqlType(ColumnType type, bool pg)
{
    switch (type) {
    case T::Identity:
        return pg ? QStringLiteral("integer generated by default as identity primary key")
                  : QStringLiteral("integer primary key autoincrement");
    case T::Id:
    case T::Integer:
        return QStringLiteral("integer");
    case T::Flag:
        return QStringLiteral("smallint");
    case T::Number:
        return pg ? QStringLiteral("double precision") : QStringLiteral("real");
    case T::Text:
    case T::LongText:
        return QStringLiteral("text");
    case T::Code:
        return QStringLiteral("varchar(50)");
    case T::Date:
        return pg ? QStringLiteral("timestamp") : QStringLiteral("text");
    }
    return QStringLiteral("text");
}

static void createTable(const QSqlDatabase &db, const Table &t, bool pg, const QString &ifNotExists)
{
    QStringList cols;
    for (const Column &c : t.columns)
        cols << Sql::columnName(c.name) + QLatin1Char(' ') + sqlType(c.type, pg);
    Sql::exec(db, QStringLiteral("Create Table %1%2 (%3)").arg(ifNotExists, t.name, cols.join(QStringLiteral(", "))));
    for (const QStringList &ix : t.indexes) {
        const QString name = QStringLiteral("IX_%1_%2").arg(t.name, ix.join(QLatin1Char('_')));
        Sql::exec(db, QStringLiteral("Create Index %1%2 On %3 (%4)").arg(ifNotExists, name, t.name, ix.join(QStringLiteral(", "))));
    }
}

void createTable(const QSqlDatabase &db, const Table &table)
{
    createTable(db, table, Sql::isPostgres(db), QStringLiteral("If Not Exists "));
}

void create(const QSqlDatabase &db)
{
    const bool pg = Sql::isPostgres(db);
    QSqlDatabase d = db;
    const bool tx = d.transaction();
    try {
        // Each table comes with its lookup indexes; the unique keys follow once all tables exist.
        for (const Table &t : tables())
            createTable(db, t, pg, QString());
        for (const Index &ix : indexes()) {
            if (!ix.unique)
                continue;
            QStringList cols;
            for (const QString &c : ix.columns)
                cols << Sql::columnName(c);
            Sql::exec(db, QStringLiteral("Create Unique Index %1 On %2 (%3)")
                              .arg(ix.name, ix.table, cols.join(QStringLiteral(", "))));
        }
        if (tx)
            d.commit();
    } catch (...) {
        if (tx)
            d.rollback();
        throw;
    }
}

QString passwordHash(const QString &salt, const QString &password)
{
    return QString::fromLatin1(
        QCryptographicHash::hash((salt + QLatin1Char(':') + password).toUtf8(), QCryptographicHash::Sha256).toHex());
}

void seed(const QSqlDatabase &db, const QString &password)
{
    QSqlDatabase d = db;
    const bool tx = d.transaction();
    try {
        Sql::insertRow(db, "ZAT_Category", {{"IdCateg", 1}, {"Name", "Reports"}, {"Description", ""},
                                            {"IdParent", 0}, {"IsDeleted", 0}, {"ShowDeleted", 0}});
        Sql::insertRow(db, "ZAT_Category", {{"IdCateg", 2}, {"Name", "Recycle Bin"}, {"Description", ""},
                                            {"IdParent", 0}, {"IsDeleted", 0}, {"ShowDeleted", 0}});
        Sql::insert(db, "ZAT_Sort", "IdSort", {{"ItemType", "c"}, {"IdItem", 1}, {"SortNr", 1}});
        Sql::insert(db, "ZAT_Sort", "IdSort", {{"ItemType", "c"}, {"IdItem", 2}, {"SortNr", 2}});
        Sql::insert(db, "ZAT_Company", "IdAuthor", {{"Name", "Velmora"}, {"FileServer", ""}});
        Sql::insert(db, "ZAT_App", "IdApp", {{"AppName", ConsoleAppName}});
        const QString salt = QString::number(QRandomGenerator::system()->generate64(), 16);
        Sql::insert(db, "ZAT_DbInfo", "IdInfo",
                    {{"Format", FormatName}, {"FormatVersion", FormatVersion},
                     {"PasswordSalt", salt}, {"PasswordHash", passwordHash(salt, password)}});
        syncIdentities(db);
        if (tx)
            d.commit();
    } catch (...) {
        if (tx)
            d.rollback();
        throw;
    }
}

bool ensureUserKey(const QSqlDatabase &db)
{
    const QString user = Sql::userColumn();
    try {
        const QString present = Sql::isPostgres(db)
            ? QStringLiteral("Select count(*) From pg_indexes Where schemaname = current_schema() And indexname = ?")
            : QStringLiteral("Select count(*) From sqlite_master Where type = 'index' And name = ?");
        const QString name = QString::fromLatin1(UserKeyName);
        if (Sql::scalar(db, present, {Sql::isPostgres(db) ? name.toLower() : name}).toInt() > 0)
            return true;
        const QVariant twin = Sql::scalar(db, QStringLiteral("Select IdApp From ZAT_UserApp Where %1 Is Not Null "
                                                             "Group By IdApp, %1 Having count(*) > 1").arg(user));
        if (twin.isValid() && !twin.isNull())
            return false;
        Sql::exec(db, QStringLiteral("Create Unique Index If Not Exists %1 On ZAT_UserApp (IdApp, %2)")
                          .arg(QString::fromLatin1(UserKeyName), user));
        return true;
    } catch (const AppError &) {
        // A login without the right to create it, or another console creating it right now:
        // the rows are still found by their lowest id.
        return false;
    }
}

void syncIdentities(const QSqlDatabase &db)
{
    // SQLite's autoincrement already follows the largest explicit id.
    if (!Sql::isPostgres(db))
        return;
    for (const Table &t : tables()) {
        const QString id = t.idColumn().toLower();
        Sql::exec(db, QStringLiteral("Select setval(pg_get_serial_sequence('%1', '%2'), "
                                     "Coalesce((Select Max(%2) From %1), 0) + 1, false)")
                          .arg(t.name.toLower(), id));
    }
}

QStringList missingLayout(const QSqlDatabase &db)
{
    QStringList missing;
    const QStringList present = db.tables(QSql::Tables);
    QSet<QString> lower;
    for (const QString &t : present)
        lower.insert(t.toLower());
    for (const Table &t : tables()) {
        if (!lower.contains(t.name.toLower())) {
            missing << t.name;
            continue;
        }
        QString actual;
        for (const QString &p : present)
            if (p.compare(t.name, Qt::CaseInsensitive) == 0)
                actual = p;
        const QSqlRecord rec = db.record(actual);
        for (const Column &c : t.columns)
            if (!c.optional && rec.indexOf(c.name) < 0)
                missing << t.name + QLatin1Char('.') + c.name;
    }
    return missing;
}

bool hasLayout(const QSqlDatabase &db) { return missingLayout(db).isEmpty(); }

void checkMarker(const QSqlDatabase &db, const QString &password, const QString &what)
{
    const QStringList missing = missingLayout(db);
    if (!missing.isEmpty())
        throw AppError(ErrorNumber::BadFile,
                       QStringLiteral("The file '%1' is not a Velmora repository or package (missing: %2).")
                           .arg(what, missing.mid(0, 5).join(QStringLiteral(", "))));
    QSqlQuery q = Sql::exec(db, QStringLiteral("Select Format, FormatVersion, PasswordSalt, PasswordHash From ZAT_DbInfo"));
    if (!q.next() || Sql::text(q, "Format") != QLatin1String(FormatName))
        throw AppError(ErrorNumber::BadFile,
                       QStringLiteral("The file '%1' is not a Velmora repository or package.").arg(what));
    if (Sql::integer(q, "FormatVersion") > FormatVersion)
        throw AppError(ErrorNumber::BadFile,
                       QStringLiteral("The file '%1' was written by a newer version of Velmora (format %2).")
                           .arg(what).arg(Sql::integer(q, "FormatVersion")));
    if (passwordHash(Sql::text(q, "PasswordSalt"), password) != Sql::text(q, "PasswordHash"))
        throw AppError(ErrorNumber::BadFile,
                       QStringLiteral("Not a valid password for the file '%1'.").arg(what));
}

} // namespace Schema
