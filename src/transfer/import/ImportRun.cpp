#include "ImportRun.h"

#include "SyncPairing.h"
#include "repository/AppError.h"
#include "repository/PackageFile.h"
#include "repository/Schema.h"
#include "repository/Sql.h"
#include "transfer/export/ExportRows.h"
#include "transfer/TransferProgress.h"

#include <QAtomicInt>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <algorithm>
#include <climits>

#include <sqlite3.h>

// Package rows are read straight from SQLite; each column's position is found once per statement.
using namespace Qt::StringLiterals;
using Rec = ExportRows::Row;
using Recs = QList<Rec>;

// ---- reading package values: a package comes from elsewhere, so every value may be Null or of
// an unexpected type; Null gives the column's default.

static QVariant txt(const Rec &r, const char *column)
{
    const QVariant v = r.value(column);
    return v.isNull() ? QString(QLatin1String("")) : v.toString();
}

static int num(const Rec &r, const char *column, int def = 0)
{
    const QVariant v = r.value(column);
    if (v.isNull())
        return def;
    if (v.typeId() == QMetaType::LongLong) { // how SQLite hands out integers
        const qlonglong i = *static_cast<const qlonglong *>(v.constData());
        if (i >= INT_MIN && i <= INT_MAX)
            return int(i);
    }
    bool ok = false;
    const int i = v.toInt(&ok);
    if (ok)
        return i;
    const double d = v.toDouble(&ok);
    return ok && d > -2147483648.0 && d < 2147483648.0 ? int(d) : 0;
}

static int flag(const Rec &r, const char *column)
{
    const int v = num(r, column);
    return v < -32768 || v > 32767 ? 1 : v; // flag columns are small integers
}

static QVariant realNumber(const Rec &r, const char *column, double def)
{
    const QVariant v = r.value(column);
    bool ok = false;
    const double d = v.isNull() ? def : v.toDouble(&ok);
    return v.isNull() ? def : (ok ? d : 0.0);
}

// The stored date, or Null: an empty or unreadable text is no date and a server refuses it.
static QVariant date(const Rec &r, const char *column)
{
    return Sql::dateValue(Sql::toDateTime(r.value(column)));
}

static QVariant nullInt() { return QVariant(QMetaType(QMetaType::Int)); }

static bool isTip(const Rec &r, char tip)
{
    const QString t = r.value("Tip").toString().trimmed();
    return t.size() == 1 && t.at(0).toLower() == QLatin1Char(tip);
}

// ---- the package, read once

struct ImportRun::Package {
    QHash<int, Rec> reports;
    QHash<int, Rec> settings;         // first row of each report
    QHash<int, Recs> columns;         // by report
    QHash<int, Recs> links;           // ZAT_ReportDS rows by report
    QHash<int, Rec> views;
    QHash<int, Rec> sortRows;         // first "e" row of each report
    QHash<int, Rec> dataSources;
    QHash<int, Recs> vars;            // by data source
    Recs dependences;
    Recs macroCategories;
    Recs macros;
    QHash<int, int> macroCategOf;     // macro -> its category
    QHash<int, QList<int>> macroUses;  // "m" references: using macro -> used macros (package macros only)
    QHash<int, Recs> reportRefsBySource; // "r" references by report
    Recs macroRefs;                   // every "m" reference, in package order
    Recs roles;
    Recs roleReports;
    Recs apps;
    Recs users;
    Recs userRoles;
};

static Recs readAll(const QSqlDatabase &db, const QString &sql)
{
    return ExportRows::rows(db, sql);
}

static int idOf(const Rec &r, const char *column) { return num(r, column); }

void ImportRun::loadPackage(const QSqlDatabase &package)
{
    Package &p = *m_pkg;
    const QSet<int> ticked(m_opt.reportIds.cbegin(), m_opt.reportIds.cend());

    for (const Rec &r : readAll(package, QStringLiteral("Select * From ZAT_Report Order By IdReport"))) {
        const int id = idOf(r, "IdReport");
        if (ticked.contains(id) && !p.reports.contains(id))
            p.reports.insert(id, r);
    }
    if (!ticked.isEmpty()) {
        for (const Rec &r : readAll(package, QStringLiteral("Select * From ZAT_ExcelSheetSettings Order By IdSetting"))) {
            const int id = idOf(r, "IdReport");
            if (ticked.contains(id) && !p.settings.contains(id))
                p.settings.insert(id, r);
        }
        for (const Rec &r : readAll(package, QStringLiteral("Select * From ZAT_ReportCols Order By IdReportCol")))
            if (ticked.contains(idOf(r, "IdReport")))
                p.columns[idOf(r, "IdReport")] << r;
        for (const Rec &r : readAll(package, QStringLiteral("Select * From ZAT_ReportDS Order By IdReportDS")))
            if (ticked.contains(idOf(r, "IdReport")))
                p.links[idOf(r, "IdReport")] << r;
        for (const Rec &r : readAll(package, QStringLiteral("Select * From ZAT_SQLViews Order By IdSQLView")))
            if (!p.views.contains(idOf(r, "IdSQLView")))
                p.views.insert(idOf(r, "IdSQLView"), r);
        for (const Rec &r : readAll(package, QStringLiteral("Select * From ZAT_Sort Where ItemType = 'e' Order By IdSort"))) {
            const int id = idOf(r, "IdItem");
            if (ticked.contains(id) && !p.sortRows.contains(id))
                p.sortRows.insert(id, r);
        }
    }
    for (const Rec &r : readAll(package, QStringLiteral("Select * From ZAT_DataSource Order By IdDataSource")))
        if (!p.dataSources.contains(idOf(r, "IdDataSource")))
            p.dataSources.insert(idOf(r, "IdDataSource"), r);
    for (const Rec &r : readAll(package, QStringLiteral("Select * From ZAT_Var Order By IdVar")))
        if (!r.value("IdDataSource").isNull())
            p.vars[idOf(r, "IdDataSource")] << r;
    p.dependences = readAll(package, QStringLiteral("Select * From ZAT_Dependences Order By ID"));

    p.macroCategories = readAll(package, QStringLiteral("Select * From ZAT_CategMacros Order By IdCateg"));
    p.macros = readAll(package, QStringLiteral("Select * From ZAT_Macros Order By IdMacro"));
    for (const Rec &r : p.macros)
        p.macroCategOf.insert(idOf(r, "IdMacro"), idOf(r, "IdCateg"));
    for (const Rec &r : readAll(package, QStringLiteral("Select * From ZAT_References Order By IdReference"))) {
        if (isTip(r, 'm')) {
            p.macroRefs << r;
            if (p.macroCategOf.contains(idOf(r, "IdMacro")))
                p.macroUses[idOf(r, "IdSource")] << idOf(r, "IdMacro");
        } else if (isTip(r, 'r')) {
            p.reportRefsBySource[idOf(r, "IdSource")] << r;
        }
    }
    if (m_opt.roles || m_opt.users) {
        p.roles = readAll(package, QStringLiteral("Select * From ZAT_Role Order By IdRole"));
        p.roleReports = readAll(package, QStringLiteral("Select * From ZAT_Role_Report Order By IdLeg"));
    }
    if (m_opt.users) {
        p.apps = readAll(package, QStringLiteral("Select * From ZAT_App Order By IdApp"));
        p.users = readAll(package, QStringLiteral("Select * From ZAT_UserApp Order By IdUserApp"));
        p.userRoles = readAll(package, QStringLiteral("Select * From ZAT_UserApp_Role Order By IdLeg"));
    }
}

// ---- the run

namespace {
// The run writes inside one transaction, committed when it ends, also when it fails: what was
// saved stays, and the writing stays fast. On PostgreSQL every statement has its own savepoint,
// so a failing statement does not take the earlier rows with it.
class RunTransaction {
public:
    explicit RunTransaction(const QSqlDatabase &db) : m_db(db) { m_active = m_db.transaction(); }
    // After a completed run: a commit that fails is the run's failure, not a success.
    void commit()
    {
        if (!m_active)
            return;
        m_active = false;
        if (!m_db.commit()) {
            const QString why = m_db.lastError().text();
            m_db.rollback();
            throw AppError(ErrorNumber::Database, QStringLiteral("The imported rows could not be saved: ") + why);
        }
    }
    ~RunTransaction()
    {
        if (m_active)
            m_db.commit();
    }

private:
    QSqlDatabase m_db;
    bool m_active = false;
};

QAtomicInt packageConnectionCounter;
}

ImportRun::ImportRun(const QSqlDatabase &destination, ImportOptions options, TransferProgress *progress,
                     Warning warning)
    : m_db(destination), m_opt(std::move(options)), m_progress(progress), m_warning(std::move(warning)),
      m_pkg(new Package), m_postgres(Sql::isPostgres(destination))
{
}

ImportRun::~ImportRun()
{
    finalizeRaw();
    delete m_pkg;
}

int ImportRun::percent(int value, int maximum)
{
    if (maximum <= 0)
        return 0;
    const long long n = 100LL * value;
    long long q = n / maximum;
    const long long r2 = 2 * (n % maximum);
    if (r2 > maximum || (r2 == maximum && (q % 2) != 0))
        ++q;
    return int(q);
}

void ImportRun::setStatus(const QString &text)
{
    if (m_progress) {
        m_progress->status(text);
        m_progress->yield();
    }
}

void ImportRun::setValue(int value)
{
    m_value = value;
    if (m_progress)
        m_progress->progress(value, m_maximum);
}

template <typename F>
auto ImportRun::guarded(F &&f)
{
    if (!m_postgres) // only PostgreSQL loses the transaction's earlier rows to a failed statement
        return f();
    Sql::Savepoint sp(m_db, QStringLiteral("import_row"));
    auto result = f();
    sp.release();
    return result;
}

// Inserts go through statements prepared once per table and column list: the same few shapes
// repeat for every report, and preparing each row again would dominate the run.
int ImportRun::add(const QString &table, const QString &idColumn, const QList<QPair<QString, QVariant>> &values)
{
    if (m_raw)
        return addRaw(table, idColumn, values);
    QString key = table;
    for (const auto &v : values)
        key += QLatin1Char(',') + v.first;
    auto it = m_inserts.find(key);
    if (it == m_inserts.end()) {
        QStringList columns, marks;
        for (const auto &v : values) {
            columns << (v.first.compare(QLatin1String("User"), Qt::CaseInsensitive) == 0 ? Sql::userColumn() : v.first);
            marks << QStringLiteral("?");
        }
        QSqlQuery q(m_db);
        if (!q.prepare(QStringLiteral("Insert Into %1 (%2) Values (%3) Returning %4")
                           .arg(table, columns.join(QLatin1Char(',')), marks.join(QLatin1Char(',')), idColumn)))
            return guarded([&] { return Sql::insert(m_db, table, idColumn, values); }); // reports the driver's error
        it = m_inserts.insert(key, q);
    }
    QSqlQuery &q = *it;
    return guarded([&] {
        for (int i = 0; i < values.size(); ++i)
            q.bindValue(i, values[i].second);
        if (!q.exec()) {
            const QSqlError err = q.lastError();
            bool ok = false;
            const int code = err.nativeErrorCode().toInt(&ok);
            const QString text = err.databaseText().trimmed().isEmpty() ? err.text().trimmed() : err.databaseText().trimmed();
            throw AppError(ok && code != 0 ? code : ErrorNumber::Database, text, QStringLiteral("Velmora repository"));
        }
        if (!q.next())
            throw AppError(ErrorNumber::Database, QStringLiteral("No id was returned for a new row of ") + table);
        const int id = q.value(0).toInt();
        q.finish();
        return id;
    });
}

void ImportRun::finalizeRaw()
{
    for (const QList<RawInsert> &shapes : std::as_const(m_rawInserts))
        for (const RawInsert &shape : shapes)
            sqlite3_finalize(shape.statement);
    m_rawInserts.clear();
}

// The same statement as above, bound and stepped straight through SQLite. Values are bound as
// the driver binds them (a null text is Null), and a failure carries the same code and text.
int ImportRun::addRaw(const QString &table, const QString &idColumn, const QList<QPair<QString, QVariant>> &values)
{
    // Found by comparing the column names in place: building a key string for every row cost more
    // than the lookup saves.
    QList<RawInsert> &shapes = m_rawInserts[table];
    const RawInsert *found = nullptr;
    for (const RawInsert &shape : std::as_const(shapes)) {
        if (shape.columns.size() != values.size())
            continue;
        bool same = true;
        for (qsizetype i = 0; same && i < values.size(); ++i)
            same = shape.columns.at(i) == values.at(i).first;
        if (same) {
            found = &shape;
            break;
        }
    }
    if (!found) {
        RawInsert shape;
        QStringList columns, marks;
        for (const auto &v : values) {
            shape.columns << v.first;
            columns << (v.first.compare(QLatin1String("User"), Qt::CaseInsensitive) == 0 ? Sql::userColumn() : v.first);
            marks << QStringLiteral("?");
        }
        // An integer primary key is the row id: the new id is read back without Returning, which
        // makes SQLite gather the returned rows in a table of their own for every statement.
        const QByteArray tableName = table.toUtf8(), idName = idColumn.toUtf8();
        const char *declared = nullptr;
        int primaryKey = 0;
        shape.rowId = sqlite3_table_column_metadata(m_raw, nullptr, tableName.constData(), idName.constData(), &declared,
                                                    nullptr, nullptr, &primaryKey, nullptr) == SQLITE_OK
            && primaryKey && declared && qstricmp(declared, "integer") == 0;
        QString text = QStringLiteral("Insert Into %1 (%2) Values (%3)")
                           .arg(table, columns.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
        if (!shape.rowId)
            text += QStringLiteral(" Returning ") + idColumn;
        const QByteArray sql = text.toUtf8();
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v3(m_raw, sql.constData(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK
            || !st) {
            sqlite3_finalize(st);
            return Sql::insert(m_db, table, idColumn, values); // reports the driver's error
        }
        shape.statement = st;
        shapes.append(shape);
        found = &shapes.last();
    }
    sqlite3_stmt *st = found->statement;
    const auto failure = [&](int code) {
        const QString text = QString(reinterpret_cast<const QChar *>(sqlite3_errmsg16(m_raw))).trimmed();
        return AppError(code != 0 ? code : ErrorNumber::Database, text, QStringLiteral("Velmora repository"));
    };
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    for (int i = 0; i < values.size(); ++i) {
        const QVariant &v = values[i].second;
        const int n = i + 1;
        int rc = SQLITE_OK;
        if (v.isNull()) {
            rc = sqlite3_bind_null(st, n);
        } else {
            switch (v.typeId()) {
            case QMetaType::QString: {
                const QString &s = *static_cast<const QString *>(v.constData());
                // The text stays alive in values until the row is written.
                rc = s.isNull() ? sqlite3_bind_null(st, n)
                                : sqlite3_bind_text16(st, n, s.utf16(), int(s.size() * sizeof(QChar)), SQLITE_STATIC);
                break;
            }
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::Bool:
            case QMetaType::Short:
            case QMetaType::UShort:
            case QMetaType::Long:
            case QMetaType::LongLong:
            case QMetaType::ULong:
            case QMetaType::ULongLong:
                rc = sqlite3_bind_int64(st, n, v.toLongLong());
                break;
            case QMetaType::Double:
            case QMetaType::Float:
                rc = sqlite3_bind_double(st, n, v.toDouble());
                break;
            default: {
                const QString s = v.toString();
                rc = sqlite3_bind_text16(st, n, s.utf16(), int(s.size() * sizeof(QChar)), SQLITE_TRANSIENT);
            }
            }
        }
        if (rc != SQLITE_OK)
            throw failure(rc);
    }
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_DONE && found->rowId) {
        sqlite3_reset(st);
        return int(sqlite3_last_insert_rowid(m_raw));
    }
    if (rc == SQLITE_ROW) {
        const int id = sqlite3_column_int(st, 0);
        sqlite3_reset(st);
        return id;
    }
    if (rc == SQLITE_DONE) {
        sqlite3_reset(st);
        throw AppError(ErrorNumber::Database, QStringLiteral("No id was returned for a new row of ") + table);
    }
    throw failure(sqlite3_reset(st));
}

void ImportRun::run()
{
    const QString connection = QStringLiteral("velmora-import-%1").arg(packageConnectionCounter.fetchAndAddRelaxed(1));
    {
        QSqlDatabase package = PackageFile::openForReading(m_opt.packagePath,
                                                           QString::fromLatin1(Schema::PackagePassword), connection);
        try {
            run(package);
        } catch (...) {
            package = QSqlDatabase();
            PackageFile::close(connection);
            throw;
        }
    }
    PackageFile::close(connection);
}

void ImportRun::run(const QSqlDatabase &package)
{
    if (!m_db.isOpen())
        throw AppError(ErrorNumber::NotConnected, QStringLiteral("The repository is not connected."));
    if (!m_postgres && m_db.driver()) {
        const QVariant handle = m_db.driver()->handle();
        if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
            m_raw = *static_cast<sqlite3 *const *>(handle.constData());
    }
    PackageFile::checkValues(package, m_postgres);
    loadPackage(package);

    const int k = int(m_opt.reportIds.size());
    m_maximum = k + 4;
    setValue(0);
    setStatus(QStringLiteral("1% Importing data sources ..."));
    setValue(m_value + 1);

    if (m_opt.dataSources == ImportOptions::Choice::ForReports) {
        QSet<int> seen;
        for (int id : m_opt.reportIds)
            for (const Rec &link : m_pkg->links.value(id)) {
                const int ds = idOf(link, "IdDataSource");
                if (ds != 0 && !seen.contains(ds)) // no data source is no data source to import
                    seen.insert(ds);
            }
        dataSourcesUsed = QList<int>(seen.cbegin(), seen.cend());
        std::sort(dataSourcesUsed.begin(), dataSourcesUsed.end());
    } else {
        dataSourcesUsed.clear();
        QSet<int> seen;
        for (int id : m_opt.dataSourceIds)
            if (!seen.contains(id)) {
                seen.insert(id);
                dataSourcesUsed << id;
            }
    }
    validate();

    RunTransaction transaction(m_db);
    // Statements left open would keep the connection from closing after the run.
    struct Finalize {
        ImportRun *run;
        ~Finalize() { run->finalizeRaw(); }
    } finalize{this};
    ImportDataSources();
    int m = 0;
    for (int id : m_opt.reportIds) {
        setValue(++m);
        reportMap.insert(id, ImportReport(id));
    }
    setStatus(QStringLiteral("97% Importing excel macros ..."));
    setValue(m_value + 1);
    ImportMacros();
    if (m_opt.roles) {
        setStatus(QStringLiteral("98% Importing security roles ..."));
        setValue(m_value + 1);
        ImportRoles();
    }
    if (m_opt.users) {
        setStatus(QStringLiteral("99% Importing users ..."));
        setValue(m_value + 1);
        ImportUsers();
    }
    transaction.commit();
}

static AppError packageError(const QString &text) { return AppError(ErrorNumber::BadFile, text); }

// Everything the steps translate is checked before the first row is written.
void ImportRun::validate()
{
    const Package &p = *m_pkg;
    bool anyNew = false;
    for (int id : m_opt.reportIds) {
        if (!p.reports.contains(id))
            throw packageError(QStringLiteral("The package holds no report with id %1.").arg(id));
        anyNew = anyNew || !m_opt.syncPairs.contains(id);
    }
    // A new report in the recycle bin, or in a deleted or missing category, would be listed nowhere.
    if (anyNew) {
        QSqlQuery c = Sql::exec(m_db, QStringLiteral("Select IsDeleted From ZAT_Category Where IdCateg = %1")
                                          .arg(m_opt.idCategDest));
        if (m_opt.idCategDest == 2 || !c.next() || Sql::integer(c, "IsDeleted") != 0)
            throw AppError(ErrorNumber::InvalidArgument,
                           QStringLiteral("The category %1 cannot hold new reports.").arg(m_opt.idCategDest));
    }

    QSet<int> importedVars;
    for (int ds : dataSourcesUsed)
        for (const Rec &v : p.vars.value(ds))
            importedVars.insert(idOf(v, "IdVar"));
    for (const Rec &d : p.dependences) {
        if (!importedVars.contains(idOf(d, "IdVar")))
            continue;
        if (!importedVars.contains(idOf(d, "Iddep")))
            throw packageError(QStringLiteral("Variable %1 depends on variable %2, which is not imported with it.")
                                   .arg(idOf(d, "IdVar"))
                                   .arg(idOf(d, "Iddep")));
    }

    const QSet<int> ticked(m_opt.reportIds.cbegin(), m_opt.reportIds.cend());
    QSet<int> packageRoles;
    for (const Rec &r : p.roles)
        packageRoles.insert(idOf(r, "IdRole"));
    QSet<int> importedRoles;
    if (m_opt.roles) {
        for (const Rec &g : p.roleReports) {
            if (!ticked.contains(idOf(g, "IdReport")))
                continue;
            if (!packageRoles.contains(idOf(g, "IdRole")))
                throw packageError(QStringLiteral("The package grants report %1 to role %2, which it does not hold.")
                                       .arg(idOf(g, "IdReport"))
                                       .arg(idOf(g, "IdRole")));
            importedRoles.insert(idOf(g, "IdRole"));
        }
    }
    if (m_opt.users) {
        QSet<int> apps, users;
        for (const Rec &a : p.apps)
            apps.insert(idOf(a, "IdApp"));
        for (const Rec &u : p.users) {
            if (!apps.contains(idOf(u, "IdApp")))
                throw packageError(QStringLiteral("The package's user %1 belongs to application %2, which it does not hold.")
                                       .arg(idOf(u, "IdUserApp"))
                                       .arg(idOf(u, "IdApp")));
            users.insert(idOf(u, "IdUserApp"));
        }
        for (const Rec &ur : p.userRoles) {
            if (!users.contains(idOf(ur, "IdUserApp")))
                throw packageError(QStringLiteral("The package gives role %1 to user %2, which it does not hold.")
                                       .arg(idOf(ur, "IdRole"))
                                       .arg(idOf(ur, "IdUserApp")));
            const int role = idOf(ur, "IdRole");
            if (importedRoles.contains(role))
                continue;
            const int count = Sql::scalar(m_db, QStringLiteral("Select count(*) From ZAT_Role Where IdRole = %1").arg(role)).toInt();
            if (count > 0)
                throw AppError(ErrorNumber::InvalidArgument,
                               QStringLiteral("User %1 holds role %2, which exists in the repository but is not imported "
                                              "with this run; import security roles with the reports granted to it.")
                                   .arg(idOf(ur, "IdUserApp"))
                                   .arg(role));
        }
    }
}

// ---- data sources, variables and dependencies

void ImportRun::ImportDataSources()
{
    const Package &p = *m_pkg;
    QSet<int> importedVars;
    for (int ds : dataSourcesUsed) {
        if (p.dataSources.contains(ds)) {
            const Rec &r = p.dataSources[ds];
            const int id = add("ZAT_DataSource", "IdDataSource",
                               {{u"Name"_s, txt(r, "Name")}, {u"DataSourceString"_s, txt(r, "DataSourceString")},
                                {u"IsJet"_s, flag(r, "IsJet")}});
            if (!dataSourceMap.contains(ds))
                dataSourceMap.insert(ds, id);
        }
        for (const Rec &v : p.vars.value(ds)) {
            QList<QPair<QString, QVariant>> values = {
                {u"Name"_s, txt(v, "Name")}, {u"Type"_s, num(v, "Type")}, {u"Caption"_s, txt(v, "Caption")},
                {u"DefaultValue"_s, txt(v, "DefaultValue")}, {u"LookupSQLString"_s, txt(v, "LookupSQLString")},
                {u"SortNr"_s, num(v, "SortNr")}};
            values << qMakePair(QStringLiteral("IdDataSource"),
                                dataSourceMap.contains(ds) ? QVariant(dataSourceMap.value(ds)) : nullInt());
            const int id = add("ZAT_Var", "IdVar", values);
            varMap.insert(idOf(v, "IdVar"), id);
            importedVars.insert(idOf(v, "IdVar"));
        }
    }
    // Once every variable exists, each dependency row of an imported variable is copied once.
    for (const Rec &d : p.dependences) {
        const int var = idOf(d, "IdVar");
        if (!importedVars.contains(var))
            continue;
        const int dep = idOf(d, "Iddep");
        if (!varMap.contains(dep))
            throw packageError(QStringLiteral("Variable %1 depends on variable %2, which was not imported.").arg(var).arg(dep));
        add("ZAT_Dependences", "ID", {{u"IdVar"_s, varMap.value(var)}, {u"Iddep"_s, varMap.value(dep)}});
    }
}

// ---- one report

int ImportRun::ImportReport(int sourceId)
{
    const Package &p = *m_pkg;
    const Rec &r = p.reports[sourceId];
    setStatus(QString::number(percent(m_value, m_maximum)) + QStringLiteral("% Processing report '")
              + txt(r, "Name").toString() + QLatin1Char('\''));

    int destId = 0;
    const QString code = m_opt.syncPairs.value(sourceId).trimmed();
    // A pair made for another package (the dialog keeps its pairs when a new package is
    // chosen) must not overwrite a report with a stranger's content: the codes must agree.
    if (!code.isEmpty() && code == txt(r, "SyncronizeCode").toString().trimmed())
        destId = guarded([&] { return FindSyncPartner(m_db, code); });
    // A pair whose partner is gone (or never existed) brings the report in as a new one.
    const bool sync = destId != 0;

    QList<QPair<QString, QVariant>> row = {
        {u"Name"_s, txt(r, "Name")}, {u"FilePath"_s, txt(r, "FilePath")}, {u"Version"_s, txt(r, "Version")},
        {u"Modified"_s, date(r, "Modified")}, {u"Description"_s, txt(r, "Description")}, {u"Macro"_s, txt(r, "Macro")},
        {u"IsDeleted"_s, flag(r, "IsDeleted")}};
    if (sync) {
        guarded([&] { Sql::update(m_db, "ZAT_Report", row, "IdReport", destId); return 0; });
    } else {
        row << qMakePair(QStringLiteral("IdCateg"), QVariant(m_opt.idCategDest))
            << qMakePair(QStringLiteral("ShowDeleted"), QVariant(flag(r, "ShowDeleted")))
            << qMakePair(QStringLiteral("DelExSheet"), QVariant(flag(r, "DelExSheet")))
            << qMakePair(QStringLiteral("DestinationFileAtRuntime"), QVariant(flag(r, "DestinationFileAtRuntime")));
        destId = add("ZAT_Report", "IdReport", row);
    }

    if (p.settings.contains(sourceId)) {
        const Rec &s = p.settings[sourceId];
        QList<QPair<QString, QVariant>> values = {
            {u"IdReport"_s, destId}, {u"SheetName"_s, txt(s, "SheetName")}, {u"ShowGridLines"_s, txt(s, "ShowGridLines")},
            {u"ShowToolTips"_s, txt(s, "ShowToolTips")}, {u"ShowAutoFilters"_s, txt(s, "ShowAutoFilters")},
            {u"FontName"_s, txt(s, "FontName")}, {u"FontSize"_s, realNumber(s, "FontSize", 8)},
            {u"ReportTitle"_s, txt(s, "ReportTitle")}, {u"FreezPanel"_s, txt(s, "FreezPanel")},
            {u"GroupCols"_s, txt(s, "GroupCols")}};
        const int existing = sync ? guarded([&] {
            return Sql::scalar(m_db, QStringLiteral("Select IdSetting From ZAT_ExcelSheetSettings Where IdReport = %1 "
                                                    "Order By IdSetting").arg(destId)).toInt();
        }) : 0;
        if (existing != 0)
            guarded([&] { Sql::update(m_db, "ZAT_ExcelSheetSettings", values, "IdSetting", existing); return 0; });
        else
            add("ZAT_ExcelSheetSettings", "IdSetting", values);
    }

    // Columns: a synchronised report ends up with exactly the package's columns, matched by
    // position so that the rows it keeps keep their ids.
    QList<int> existingCols;
    if (sync)
        existingCols = guarded([&] {
            QList<int> ids;
            QSqlQuery q = Sql::exec(m_db, QStringLiteral("Select IdReportCol From ZAT_ReportCols Where IdReport = %1 "
                                                         "Order By IdReportCol").arg(destId));
            while (q.next())
                ids << q.value(0).toInt();
            return ids;
        });
    const Recs cols = p.columns.value(sourceId);
    for (qsizetype i = 0; i < cols.size(); ++i) {
        const Rec &c = cols[i];
        const QList<QPair<QString, QVariant>> values = {
            {u"IdReport"_s, destId}, {u"Name"_s, txt(c, "Name")}, {u"Type"_s, num(c, "Type")}, {u"Width"_s, num(c, "Width")},
            {u"Hide"_s, flag(c, "Hide")}, {u"AutoSum"_s, flag(c, "AutoSum")}};
        if (i < existingCols.size())
            guarded([&] { Sql::update(m_db, "ZAT_ReportCols", values, "IdReportCol", existingCols[i]); return 0; });
        else
            add("ZAT_ReportCols", "IdReportCol", values);
    }
    if (existingCols.size() > cols.size())
        guarded([&] {
            Sql::exec(m_db, QStringLiteral("Delete From ZAT_ReportCols Where IdReportCol ")
                                + Sql::idList(existingCols.mid(cols.size())));
            return 0;
        });

    const Recs links = p.links.value(sourceId);
    const Rec *view = nullptr;
    for (const Rec &l : links) {
        auto it = p.views.constFind(idOf(l, "IdSQLView"));
        if (!l.value("IdSQLView").isNull() && it != p.views.constEnd()) {
            view = &*it;
            break;
        }
    }
    const auto dataSourceOf = [&](const Rec &link) {
        const int ds = idOf(link, "IdDataSource");
        return dataSourceMap.contains(ds) ? QVariant(dataSourceMap.value(ds)) : nullInt();
    };
    int viewId = 0;
    if (view) {
        const QList<QPair<QString, QVariant>> values = {{u"strSQLView"_s, txt(*view, "strSQLView")},
                                                        {u"Description"_s, txt(*view, "Description")}};
        if (sync) {
            struct Found { int link = 0; int view = 0; };
            const Found found = guarded([&] {
                Found f;
                QSqlQuery q = Sql::exec(m_db, QStringLiteral("Select d.IdReportDS, v.IdSQLView From ZAT_ReportDS d "
                                                             "Left Join ZAT_SQLViews v On v.IdSQLView = d.IdSQLView "
                                                             "Where d.IdReport = %1 Order By d.IdReportDS").arg(destId));
                while (q.next()) {
                    if (f.link == 0)
                        f.link = q.value(0).toInt();
                    if (!q.value(1).isNull()) {
                        f.view = q.value(1).toInt();
                        break;
                    }
                }
                return f;
            });
            if (found.view != 0) {
                guarded([&] { Sql::update(m_db, "ZAT_SQLViews", values, "IdSQLView", found.view); return 0; });
            } else {
                // The partner had no view: the new one is linked, or it would be unreachable.
                viewId = add("ZAT_SQLViews", "IdSQLView", values);
                if (found.link != 0)
                    guarded([&] { Sql::update(m_db, "ZAT_ReportDS", {{u"IdSQLView"_s, viewId}}, "IdReportDS", found.link); return 0; });
                else
                    add("ZAT_ReportDS", "IdReportDS",
                        {{u"IdReport"_s, destId}, {u"IdSQLView"_s, viewId},
                         {u"IdDataSource"_s, links.isEmpty() ? nullInt() : dataSourceOf(links.first())}});
            }
        } else {
            viewId = add("ZAT_SQLViews", "IdSQLView", values);
        }
    }
    if (!sync) {
        if (!links.isEmpty())
            add("ZAT_ReportDS", "IdReportDS",
                {{u"IdReport"_s, destId}, {u"IdSQLView"_s, viewId}, {u"IdDataSource"_s, dataSourceOf(links.first())}});
        if (p.sortRows.contains(sourceId))
            add("ZAT_Sort", "IdSort",
                {{u"ItemType"_s, "e"}, {u"IdItem"_s, destId}, {u"SortNr"_s, num(p.sortRows[sourceId], "SortNr")}});
    }
    return destId;
}

// ---- macros and references

// The macros a report uses, directly and through other macros; reference cycles end.
QList<int> ImportRun::IMP_GetAllReferences(int reportId) const
{
    const Package &p = *m_pkg;
    QList<int> result;
    QSet<int> inResult, visited;
    for (const Rec &ref : p.reportRefsBySource.value(reportId)) {
        const int direct = idOf(ref, "IdMacro");
        if (!p.macroCategOf.contains(direct))
            continue;
        // What the macro uses comes before the macro itself.
        QList<int> stack{direct};
        while (!stack.isEmpty()) {
            const int id = stack.takeLast();
            if (visited.contains(id))
                continue;
            visited.insert(id);
            const auto found = p.macroUses.constFind(id);
            if (found == p.macroUses.constEnd())
                continue;
            const QList<int> &uses = *found;
            for (auto it = uses.crbegin(); it != uses.crend(); ++it)
                if (!visited.contains(*it))
                    stack << *it;
            for (int used : uses)
                if (!inResult.contains(used)) {
                    inResult.insert(used);
                    result << used;
                }
        }
        if (!inResult.contains(direct)) {
            inResult.insert(direct);
            result << direct;
        }
    }
    return result;
}

void ImportRun::ImportMacros()
{
    const Package &p = *m_pkg;
    const bool forReports = m_opt.macros == ImportOptions::Choice::ForReports;
    try {
        macrosUsed.clear();
        QSet<int> chosen;
        const QList<int> source = forReports ? QList<int>() : m_opt.macroIds;
        for (int id : source)
            if (!chosen.contains(id)) {
                chosen.insert(id);
                macrosUsed << id;
            }
        if (forReports)
            for (int report : m_opt.reportIds)
                for (int id : IMP_GetAllReferences(report))
                    if (!chosen.contains(id)) {
                        chosen.insert(id);
                        macrosUsed << id;
                    }
        if (chosen.isEmpty())
            return;

        // After gathering, a failing row of macros for reports is skipped and the step goes on;
        // with picked macros the first failure ends the step.
        const auto attempt = [&](auto &&write) {
            try {
                write();
            } catch (const AppError &) {
                if (!forReports)
                    throw;
            }
        };

        QSet<int> categories;
        for (int id : chosen)
            if (p.macroCategOf.contains(id))
                categories.insert(p.macroCategOf.value(id));
        for (const Rec &c : p.macroCategories) {
            const int id = idOf(c, "IdCateg");
            if (!categories.contains(id) || macroCategMap.contains(id))
                continue;
            attempt([&] { macroCategMap.insert(id, add("ZAT_CategMacros", "IdCateg", {{u"Denumire"_s, txt(c, "Denumire")}})); });
        }
        for (const Rec &m : p.macros) {
            const int id = idOf(m, "IdMacro");
            if (!chosen.contains(id) || macroMap.contains(id))
                continue;
            attempt([&] {
                const int categ = idOf(m, "IdCateg");
                if (!macroCategMap.contains(categ))
                    throw packageError(QStringLiteral("The category %1 of macro %2 is not in the package.").arg(categ).arg(id));
                macroMap.insert(id, add("ZAT_Macros", "IdMacro",
                                        {{u"IdCateg"_s, macroCategMap.value(categ)}, {u"MacroName"_s, txt(m, "MacroName")},
                                         {u"Body"_s, txt(m, "Body")}}));
            });
        }

        // A reference is saved only with both ends translated; one whose other end was not
        // imported is left out.
        int leftOut = 0;
        for (const Rec &ref : p.macroRefs) {
            const int from = idOf(ref, "IdSource"), to = idOf(ref, "IdMacro");
            if (!chosen.contains(from) && !chosen.contains(to))
                continue;
            if (!macroMap.contains(from) || !macroMap.contains(to)) {
                ++leftOut;
                continue;
            }
            attempt([&] {
                add("ZAT_References", "IdReference",
                    {{u"IdSource"_s, macroMap.value(from)}, {u"IdMacro"_s, macroMap.value(to)}, {u"Tip"_s, "m"}});
            });
        }
        for (int report : m_opt.reportIds) {
            bool cleared = !m_opt.syncPairs.contains(report);
            for (const Rec &ref : p.reportRefsBySource.value(report)) {
                const int to = idOf(ref, "IdMacro");
                if (!chosen.contains(to))
                    continue;
                if (!macroMap.contains(to) || !reportMap.contains(report)) {
                    ++leftOut;
                    continue;
                }
                const int destReport = reportMap.value(report);
                if (!cleared) {
                    // A synchronised report's references are replaced, not piled up.
                    attempt([&] {
                        guarded([&] {
                            Sql::exec(m_db, QStringLiteral("Delete From ZAT_References Where Tip = 'r' And IdSource = %1").arg(destReport));
                            return 0;
                        });
                    });
                    cleared = true;
                }
                attempt([&] {
                    add("ZAT_References", "IdReference", {{u"IdSource"_s, destReport}, {u"IdMacro"_s, macroMap.value(to)}, {u"Tip"_s, "r"}});
                });
            }
        }
        if (leftOut > 0 && !forReports && m_warning)
            m_warning(AppError(ErrorNumber::Generic,
                               QStringLiteral("%1 macro reference(s) were left out: the macros at their other end were not selected.")
                                   .arg(leftOut)),
                      QStringLiteral("ImportMacros()"));
    } catch (const AppError &e) {
        if (m_warning)
            m_warning(e, QStringLiteral("ImportMacros()"));
    }
}

// ---- roles, grants, applications and users

void ImportRun::ImportRoles()
{
    const Package &p = *m_pkg;
    if (m_opt.reportIds.isEmpty())
        return;
    const QSet<int> ticked(m_opt.reportIds.cbegin(), m_opt.reportIds.cend());
    QSet<int> granted;
    for (const Rec &g : p.roleReports)
        if (ticked.contains(idOf(g, "IdReport")))
            granted.insert(idOf(g, "IdRole"));
    for (const Rec &r : p.roles) {
        const int id = idOf(r, "IdRole");
        if (!granted.contains(id) || roleMap.contains(id))
            continue;
        // Roles are matched by id: one the repository already has is kept as it is.
        int dest = guarded([&] {
            return Sql::scalar(m_db, QStringLiteral("Select IdRole From ZAT_Role Where IdRole = %1").arg(id)).toInt();
        });
        if (dest == 0)
            dest = add("ZAT_Role", "IdRole", {{u"Role"_s, txt(r, "Role")}});
        roleMap.insert(id, dest);
    }
    for (const Rec &g : p.roleReports) {
        const int report = idOf(g, "IdReport");
        if (!ticked.contains(report))
            continue;
        const int role = roleMap.value(idOf(g, "IdRole"));
        const int destReport = reportMap.value(report);
        if (m_opt.syncPairs.contains(report)) {
            // A synchronised report may hold the grant already.
            const int held = guarded([&] {
                return Sql::scalar(m_db, QStringLiteral("Select count(*) From ZAT_Role_Report Where IdRole = %1 And IdReport = %2")
                                             .arg(role).arg(destReport)).toInt();
            });
            if (held > 0)
                continue;
        }
        add("ZAT_Role_Report", "IdLeg", {{u"IdRole"_s, role}, {u"IdReport"_s, destReport}});
    }
}

void ImportRun::ImportUsers()
{
    const Package &p = *m_pkg;
    for (const Rec &a : p.apps) {
        const int id = add("ZAT_App", "IdApp", {{u"AppName"_s, txt(a, "AppName")}});
        if (!appMap.contains(idOf(a, "IdApp")))
            appMap.insert(idOf(a, "IdApp"), id);
    }
    for (const Rec &u : p.users) {
        // The password is copied in its stored (scrambled) form.
        const int id = add("ZAT_UserApp", "IdUserApp",
                           {{u"IdApp"_s, appMap.value(idOf(u, "IdApp"))}, {u"IdUser"_s, num(u, "IdUser")},
                            {u"User"_s, txt(u, "User")}, {u"UserFName"_s, txt(u, "UserFName")},
                            {u"UserLName"_s, txt(u, "UserLName")}, {u"Password"_s, txt(u, "Password")}});
        if (!userMap.contains(idOf(u, "IdUserApp")))
            userMap.insert(idOf(u, "IdUserApp"), id);
    }
    for (const Rec &ur : p.userRoles) {
        const int source = idOf(ur, "IdRole");
        // A role imported by this run is found through the map even when its new id differs
        // from the package's; otherwise a role of that id must not exist here unmapped.
        int role = roleMap.value(source, 0);
        if (!roleMap.contains(source)) {
            const int count = guarded([&] {
                return Sql::scalar(m_db, QStringLiteral("Select count(*) From ZAT_Role Where IdRole = %1").arg(source)).toInt();
            });
            if (count > 0)
                throw AppError(ErrorNumber::InvalidArgument,
                               QStringLiteral("User %1 holds role %2, which exists in the repository but was not imported.")
                                   .arg(idOf(ur, "IdUserApp"))
                                   .arg(source));
        }
        add("ZAT_UserApp_Role", "IdLeg", {{u"IdUserApp"_s, userMap.value(idOf(ur, "IdUserApp"))}, {u"IdRole"_s, role}});
    }
}
