#include "ExportRun.h"

#include "ExportRows.h"
#include "SyncCode.h"
#include "repository/FileReplacement.h"
#include "repository/PackageFile.h"
#include "repository/RepositorySession.h"
#include "repository/Schema.h"
#include "transfer/TransferProgress.h"

#include <QAtomicInt>
#include <QDate>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>
#include <QSqlDriver>
#include <algorithm>
#include <optional>
#include <cmath>

using namespace ExportRows;

const QString ExportRun::PackagePassword = QString::fromLatin1(Schema::PackagePassword);

static QAtomicInt runCounter;

ExportRun::ExportRun(RepositorySession &session, ExportOptions options, TransferProgress *progress)
    : m_session(session), m_options(std::move(options)), m_progress(progress),
      m_packageConnection(QStringLiteral("velmora-export-%1").arg(runCounter.fetchAndAddRelaxed(1) + 1))
{
    // A report picked twice is exported once.
    QList<int> unique;
    QSet<int> seen;
    for (int id : std::as_const(m_options.reportIds))
        if (!seen.contains(id)) {
            seen.insert(id);
            unique.append(id);
        }
    m_options.reportIds = unique;
}

ExportRun::~ExportRun()
{
    m_writer.reset();
    m_childCopies.clear();
    m_reportCopy.clear();
    m_package = QSqlDatabase();
    PackageFile::close(m_packageConnection);
}

void ExportRun::setProgress(int value)
{
    m_value = value;
    if (m_progress)
        m_progress->progress(value, m_maximum);
}

void ExportRun::status(const QString &text)
{
    if (m_progress)
        m_progress->status(text);
}

void ExportRun::yield()
{
    if (m_progress)
        m_progress->yield();
}

void ExportRun::run()
{
    std::optional<FileReplacement> file;
    try {
        m_repo = m_session.Connection();
        // Creating the package replaces the file at its path: never the repository's own file.
        if (m_session.DatabaseKind() == RepositorySession::FileDatabase) {
            const QString repoFile = QFileInfo(m_session.DatabasePath()).canonicalFilePath();
            if (!repoFile.isEmpty() && QFileInfo(m_options.packagePath).canonicalFilePath() == repoFile)
                throw AppError(ErrorNumber::InvalidArgument,
                               QStringLiteral("The package '%1' cannot replace the repository it is exported from.")
                                   .arg(m_options.packagePath));
        }
        PackageFile::checkReplaceable(m_options.packagePath);
        // The package is written beside its target and takes its place only once complete, so a
        // failed or killed run leaves the previous package whole.
        file.emplace(m_options.packagePath);
        m_session.CreateDatabase(file->temporaryPath());
        m_package = PackageFile::openForWriting(file->temporaryPath(), PackagePassword, m_packageConnection);
        m_setBased = attachRepository();
        if (!m_package.transaction())
            throw AppError(ErrorNumber::Database, m_package.lastError().text(), QStringLiteral("Velmora package"));
        m_writer = std::make_unique<Writer>(m_package);
        preparePackage();

        m_maximum = int(m_options.reportIds.size()) + 4;
        setProgress(0);
        exportReports();

        status(QStringLiteral("97% Exporting excel macros ..."));
        setProgress(m_value + 1);
        yield();
        exportMacros();

        status(QStringLiteral("98% Exporting data sources ..."));
        setProgress(m_value + 1);
        yield();
        exportDataSources();

        if (m_options.roles) {
            status(QStringLiteral("99% Exporting security roles ..."));
            setProgress(m_value + 1);
            yield();
            exportRoles();
        }
        if (m_options.users) {
            status(QStringLiteral("100% Exporting users ..."));
            setProgress(m_value + 1);
            yield();
            exportUsers();
        }
        commitPackage();
        // Only a complete package gives codes to the repository; a report that took a code from
        // another run meanwhile keeps it, and this package carries that code too.
        writeBackCodes();
        closePackage();
        file->commit();
        setProgress(0);
        status(m_stepFailed ? QStringLiteral("Operation completed with errors.")
                            : QStringLiteral("Operation completed successfully."));
    } catch (const std::exception &failure) {
        const AppError *known = dynamic_cast<const AppError *>(&failure);
        const AppError error = known ? *known : AppError(ErrorNumber::Generic, QString::fromLocal8Bit(failure.what()));
        closePackage();
        file.reset(); // the unfinished package goes once its connection is closed
        setProgress(0);
        status(error.description);
        if (known)
            throw;
        throw error;
    }
}

void ExportRun::closePackage()
{
    m_writer.reset();
    m_childCopies.clear();
    m_reportCopy.clear();
    if (m_package.isOpen() && m_package.driver()->hasFeature(QSqlDriver::Transactions))
        m_package.rollback(); // nothing once committed; an unfinished package is thrown away
    m_package = QSqlDatabase();
    PackageFile::close(m_packageConnection);
}

void ExportRun::commitPackage()
{
    m_writer.reset();
    m_childCopies.clear();
    m_reportCopy.clear();
    if (!m_package.commit())
        throw AppError(ErrorNumber::Database,
                       QStringLiteral("The package could not be completed: ") + m_package.lastError().databaseText(),
                       QStringLiteral("Velmora package"));
    if (m_setBased) {
        try {
            Sql::exec(m_package, QStringLiteral("Detach Database velmora_src"));
        } catch (const AppError &) {
            // Still attached: the package's own tables are all that is touched from here on.
        }
    }
}

void ExportRun::preparePackage()
{
    // A new database also holds the recycle bin and the console's own application; a package
    // holds only the root category, so that every other row it carries is a copied source row.
    Sql::exec(m_package, QStringLiteral("Delete From ZAT_Category Where IdCateg <> 1"));
    Sql::exec(m_package, QStringLiteral("Delete From ZAT_Sort Where Not (ItemType = 'c' And IdItem = 1)"));
    Sql::exec(m_package, QStringLiteral("Delete From ZAT_UserApp"));
    Sql::exec(m_package, QStringLiteral("Delete From ZAT_App"));
    PackageIdentity::write(m_package, packageIdentity);
    // The root's sort row takes the source's id, so that it cannot collide with a copied sort row.
    const QList<Row> root =
        rows(m_repo, QStringLiteral("Select * From ZAT_Sort Where ItemType = 'c' And IdItem = 1 Order By IdSort"));
    if (!root.isEmpty())
        Sql::exec(m_package, QStringLiteral("Update ZAT_Sort Set IdSort = ?, SortNr = ? Where ItemType = 'c' And IdItem = 1"),
                  {id(root.first(), "IdSort"), number(root.first(), "SortNr")});
    Sql::exec(m_package, QStringLiteral("PRAGMA cache_size = -32768"));
    m_categories = {1};
    m_categorySorts = {1};
}

static QVariant modifiedValue(const QVariant &source)
{
    if (source.isNull())
        return Sql::dateValue(QDate::currentDate().startOfDay());
    // The stored form passes as it is: read as a local time it would cost a time-zone lookup.
    if (source.typeId() == QMetaType::QString && Sql::isStoredDate(*static_cast<const QString *>(source.constData())))
        return source;
    const QDateTime d = Sql::toDateTime(source);
    return d.isValid() ? Sql::dateValue(d) : source;
}

void ExportRun::exportReports()
{
    int m = 0;
    for (const QList<int> &chunk : chunks(m_options.reportIds)) {
        const QString in = Sql::idList(chunk);
        QHash<int, Row> reports;
        for (const Row &r : rows(m_repo, QStringLiteral("Select * From ZAT_Report Where IdReport ") + in))
            reports.insert(id(r, "IdReport"), r);
        m_settings.clear();
        m_columns.clear();
        m_links.clear();
        m_viewRows.clear();
        m_sort.clear();
        // A table the repository lacks fails the reading below, before the chunk's reports, as ever.
        const bool bulk = m_setBased && sourceHasTable(QStringLiteral("ZAT_ExcelSheetSettings"))
                          && sourceHasTable(QStringLiteral("ZAT_ReportCols")) && sourceHasTable(QStringLiteral("ZAT_Sort"))
                          && sourceHasTable(QStringLiteral("ZAT_ReportDS")) && sourceHasTable(QStringLiteral("ZAT_SQLViews"))
                          && sourceColumn(QStringLiteral("ZAT_ReportDS"), QStringLiteral("IdSQLView"), {}) != QLatin1String("Null")
                          && sourceColumn(QStringLiteral("ZAT_ReportDS"), QStringLiteral("IdReportDS"), {}) != QLatin1String("Null")
                          && sourceColumn(QStringLiteral("ZAT_SQLViews"), QStringLiteral("IdSQLView"), {}) != QLatin1String("Null");
        if (!bulk) {
            for (const Row &r : rows(m_repo, QStringLiteral("Select * From ZAT_ExcelSheetSettings Where IdReport ")
                                                 + in + QStringLiteral(" Order By IdReport, IdSetting")))
                if (!m_settings.contains(id(r, "IdReport")))
                    m_settings.insert(id(r, "IdReport"), r);
            for (const Row &r : rows(m_repo, QStringLiteral("Select * From ZAT_ReportCols Where IdReport ") + in
                                                 + QStringLiteral(" Order By IdReport, IdReportCol")))
                m_columns[id(r, "IdReport")].append(r);
            for (const Row &r : rows(m_repo, QStringLiteral("Select * From ZAT_ReportDS Where IdReport ") + in
                                                 + QStringLiteral(" Order By IdReport, IdReportDS")))
                m_links[id(r, "IdReport")].append(r);
            for (const Row &r :
                 rows(m_repo, QStringLiteral("Select * From ZAT_SQLViews Where IdSQLView In "
                                             "(Select IdSQLView From ZAT_ReportDS Where IdReport %1)").arg(in)))
                m_viewRows.insert(id(r, "IdSQLView"), r);
        }
        if (!bulk)
            for (const Row &r : rows(m_repo, QStringLiteral("Select * From ZAT_Sort Where ItemType = 'e' And IdItem ")
                                                 + in + QStringLiteral(" Order By IdItem, IdSort")))
                if (!m_sort.contains(id(r, "IdItem")))
                    m_sort.insert(id(r, "IdItem"), r);

        int missing = 0;
        for (const Row &r : std::as_const(reports))
            missing += text(r, "SyncronizeCode").toString().isEmpty() ? 1 : 0;
        m_freshCodes = GenerateSyncronizeCodes(m_repo, missing, &m_newCodes, codeDraw);
        qsizetype done = 0;
        m_bulkReports = bulk;
        m_reportRows = QJsonArray();
        try {
            for (int reportId : chunk) {
                setProgress(++m);
                const auto it = reports.constFind(reportId);
                exportReport(reportId, it == reports.constEnd() ? nullptr : &it.value());
                ++done;
            }
        } catch (...) {
            // The reports handled before the failure keep their rows, as they would row by row.
            if (bulk && done > 0) {
                copyReportRows();
                copyReportChildren(chunk.first(done));
            }
            throw;
        }
        if (bulk) {
            copyReportRows();
            copyReportChildren(chunk);
        }
    }
    m_bulkReports = false;
}

bool ExportRun::attachRepository()
{
    if (m_session.DatabaseKind() != RepositorySession::FileDatabase || !m_repo.driver()
        || qstrcmp(m_repo.driver()->handle().typeName(), "sqlite3*") != 0)
        return false;
    const QString path = m_session.DatabasePath();
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return false;
    QSqlQuery q(m_package);
    if (!q.prepare(QStringLiteral("Attach Database ? As velmora_src")))
        return false;
    q.addBindValue(path);
    return q.exec();
}

bool ExportRun::sourceHasTable(const QString &table)
{
    sourceColumn(table, QString(), QString());
    return !m_sourceColumns.value(table).isEmpty();
}

// The repository's column, or the fallback where its table lacks it (a row read by name would
// find nothing there and take the default).
QString ExportRun::sourceColumn(const QString &table, const QString &column, const QString &fallback)
{
    auto it = m_sourceColumns.find(table);
    if (it == m_sourceColumns.end()) {
        QStringList names;
        QSqlQuery q = Sql::exec(m_package, QStringLiteral("PRAGMA velmora_src.table_info(%1)").arg(table));
        while (q.next())
            names << q.value(1).toString();
        it = m_sourceColumns.insert(table, names);
    }
    for (const QString &name : std::as_const(*it))
        if (name.compare(column, Qt::CaseInsensitive) == 0)
            return fallback.isEmpty() ? QStringLiteral("s.") + name
                                      : QStringLiteral("Coalesce(s.%1, %2)").arg(name, fallback);
    return fallback.isEmpty() ? QStringLiteral("Null") : fallback;
}

// One INSERT ... SELECT; a failing one changes nothing (SQLite undoes the statement), so the caller
// can go row by row instead and fail, or skip, exactly where that would.
bool ExportRun::bulkCopy(const QString &sql)
{
    try {
        Sql::exec(m_package, sql);
        return true;
    } catch (const AppError &) {
        return false;
    }
}

// A repository column as a bulk copy reads it, by the rules of the row-by-row path: a null
// text becomes "", a null number its default.
QString ExportRun::sourceText(const QString &table, const QString &column)
{
    const QString c = sourceColumn(table, column, QStringLiteral("''"));
    return c == QLatin1String("''") ? c : QStringLiteral("Coalesce(Cast(s.%1 As Text), '')").arg(column);
}

QString ExportRun::sourceNumber(const QString &table, const QString &column, int fallback)
{
    return sourceColumn(table, column, QString::number(fallback));
}

std::vector<QSqlQuery> ExportRun::preparePackageStatements(const QStringList &texts)
{
    std::vector<QSqlQuery> prepared;
    for (const QString &text : texts) {
        QSqlQuery q(m_package);
        if (!q.prepare(text))
            throw Sql::failure(q);
        prepared.push_back(std::move(q));
    }
    return prepared;
}

// The chunk's report rows, copied from the repository as their children are; what the run
// decides for each (folder, code, a date put in the stored form) comes in a table of its own.
void ExportRun::copyReportRows()
{
    if (m_reportRows.isEmpty())
        return;
    if (m_reportCopy.empty()) {
        Sql::exec(m_package, QStringLiteral("Create Temp Table velmora_report (IdReport Integer Primary Key, IdCateg, "
                                            "Code, Modified)"));
        const QString report = QStringLiteral("ZAT_Report");
        const auto textOf = [&](const QString &column) { return sourceText(report, column); };
        const auto numberOf = [&](const QString &column) { return sourceNumber(report, column); };
        const QStringList texts{
            QStringLiteral("Delete From temp.velmora_report"),
            QStringLiteral("Insert Or Ignore Into temp.velmora_report Select value->>0, value->>1, value->>2, value->>3 "
                           "From json_each(?)"),
            QStringLiteral("Insert Into main.ZAT_Report (IdReport, Name, FilePath, Version, Modified, Description, IdCateg, "
                           "Macro, IsDeleted, ShowDeleted, DelExSheet, DestinationFileAtRuntime, SyncronizeCode) "
                           "Select s.IdReport, %1, %2, %3, c.Modified, %4, c.IdCateg, %5, %6, %7, %8, %9, c.Code "
                           "From velmora_src.ZAT_Report s Join temp.velmora_report c On c.IdReport = s.IdReport")
                .arg(textOf(QStringLiteral("Name")), textOf(QStringLiteral("FilePath")), textOf(QStringLiteral("Version")),
                     textOf(QStringLiteral("Description")), textOf(QStringLiteral("Macro")),
                     numberOf(QStringLiteral("IsDeleted")), numberOf(QStringLiteral("ShowDeleted")),
                     numberOf(QStringLiteral("DelExSheet")), numberOf(QStringLiteral("DestinationFileAtRuntime")))};
        m_reportCopy = preparePackageStatements(texts);
    }
    m_reportCopy[1].bindValue(0, QString::fromUtf8(QJsonDocument(m_reportRows).toJson(QJsonDocument::Compact)));
    m_reportRows = QJsonArray();
    for (QSqlQuery &q : m_reportCopy)
        if (!q.exec())
            throw Sql::failure(q);
}

void ExportRun::copyReportChildren(const QList<int> &reportIds)
{
    // The chunk's ids go to a table of their own, so the statements are the same for every chunk
    // and are prepared once.
    if (m_childCopies.empty()) {
        Sql::exec(m_package, QStringLiteral("Create Temp Table velmora_chunk (IdReport Integer Primary Key)"));
        m_childCopies = preparePackageStatements(childCopyStatements());
    }
    Sql::exec(m_package, QStringLiteral("Delete From temp.velmora_chunk"));
    QStringList ids;
    for (int id : reportIds)
        ids << QString::number(id);
    Sql::exec(m_package, QStringLiteral("Insert Or Ignore Into temp.velmora_chunk Select value From json_each(?)"),
              {QStringLiteral("[") + ids.join(QLatin1Char(',')) + QLatin1Char(']')});
    for (QSqlQuery &q : m_childCopies)
        if (!q.exec())
            throw Sql::failure(q);
}

QStringList ExportRun::childCopyStatements()
{
    // The same rules as row by row: the first settings row and the first sort row of a report,
    // every column; a null text becomes "", a null number its default.
    QStringList statements;
    const QString in = QStringLiteral("In (Select IdReport From temp.velmora_chunk)");
    const auto textOf = [&](const QString &table, const QString &column) { return sourceText(table, column); };
    const auto numberOf = [&](const QString &table, const QString &column, int fallback = 0) {
        return sourceNumber(table, column, fallback);
    };
    const QString settings = QStringLiteral("ZAT_ExcelSheetSettings");
    statements << (
              QStringLiteral("Insert Into main.ZAT_ExcelSheetSettings (IdSetting, IdReport, SheetName, ShowGridLines, "
                             "ShowToolTips, ShowAutoFilters, FontName, FontSize, ReportTitle, FreezPanel, GroupCols) "
                             "Select %1, %2, %3, %4, %5, %6, %7, %8, %9, %10, %11 "
                             "From velmora_src.ZAT_ExcelSheetSettings s Where s.IdSetting In "
                             "(Select Min(IdSetting) From velmora_src.ZAT_ExcelSheetSettings Where IdReport %12 "
                             "Group By IdReport)")
                  .arg(numberOf(settings, "IdSetting"), numberOf(settings, "IdReport"),
                       textOf(settings, "SheetName"), textOf(settings, "ShowGridLines"),
                       textOf(settings, "ShowToolTips"), textOf(settings, "ShowAutoFilters"),
                       textOf(settings, "FontName"), numberOf(settings, "FontSize", 8), textOf(settings, "ReportTitle"))
                  .arg(textOf(settings, "FreezPanel"), textOf(settings, "GroupCols"), in));
    const QString cols = QStringLiteral("ZAT_ReportCols");
    statements << (
              QStringLiteral("Insert Into main.ZAT_ReportCols (IdReportCol, IdReport, Name, Type, Width, Hide, AutoSum) "
                             "Select %1, %2, %3, %4, %5, %6, %7 From velmora_src.ZAT_ReportCols s "
                             "Where s.IdReport %8 Order By s.IdReport, s.IdReportCol")
                  .arg(numberOf(cols, "IdReportCol"), numberOf(cols, "IdReport"), textOf(cols, "Name"),
                       numberOf(cols, "Type"), numberOf(cols, "Width"), numberOf(cols, "Hide"),
                       numberOf(cols, "AutoSum"), in));
    const QString sort = QStringLiteral("ZAT_Sort");
    statements << (
              QStringLiteral("Insert Into main.ZAT_Sort (IdSort, ItemType, IdItem, SortNr) "
                             "Select %1, 'e', %2, %3 From velmora_src.ZAT_Sort s Where s.IdSort In "
                             "(Select Min(IdSort) From velmora_src.ZAT_Sort Where ItemType = 'e' And IdItem %4 "
                             "Group By IdItem)")
                  .arg(numberOf(sort, "IdSort"), numberOf(sort, "IdItem"), numberOf(sort, "SortNr"), in));
    // The first link of a report, and the view of its first link that names one of the views its
    // chunk's links name (a link without a view counts as view 0); each view once per package.
    const QString links = QStringLiteral("ZAT_ReportDS");
    statements << (
              QStringLiteral("Insert Into main.ZAT_ReportDS (IdReportDS, IdReport, IdSQLView, IdDataSource) "
                             "Select %1, %2, %3, %4 From velmora_src.ZAT_ReportDS s Where s.IdReportDS In "
                             "(Select Min(IdReportDS) From velmora_src.ZAT_ReportDS Where IdReport %5 Group By IdReport)")
                  .arg(numberOf(links, "IdReportDS"), numberOf(links, "IdReport"), numberOf(links, "IdSQLView"),
                       numberOf(links, "IdDataSource"), in));
    const QString views = QStringLiteral("ZAT_SQLViews");
    statements << (
              QStringLiteral("Insert Into main.ZAT_SQLViews (IdSQLView, strSQLView, Description) "
                             "Select s.IdSQLView, %1, %2 From velmora_src.ZAT_SQLViews s "
                             "Where s.IdSQLView In (Select (Select Coalesce(l.IdSQLView, 0) From velmora_src.ZAT_ReportDS l "
                             "Where l.IdReport = r.IdReport And Coalesce(l.IdSQLView, 0) In "
                             "(Select v.IdSQLView From velmora_src.ZAT_SQLViews v Where v.IdSQLView In "
                             "(Select IdSQLView From velmora_src.ZAT_ReportDS Where IdReport %3)) "
                             "Order By l.IdReportDS Limit 1) "
                             "From (Select Distinct IdReport From velmora_src.ZAT_ReportDS Where IdReport %3) r) "
                             "And s.IdSQLView Not In (Select IdSQLView From main.ZAT_SQLViews)")
                  .arg(textOf(views, "strSQLView"), textOf(views, "Description"), in));
    return statements;
}

void ExportRun::exportReport(int R, const Row *report)
{
    if (report) {
        const Row &r = *report;
        const int percent = int(std::nearbyint(double(m_value) * 100.0 / double(m_maximum)));
        status(QString::number(percent) + QStringLiteral("% Processing report '") + text(r, "Name").toString()
               + QLatin1Char('\''));
        yield();
        QVariant category = 1;
        if (m_options.folders) {
            category = number(r, "IdCateg", 1);
            copyCategoryChain(category.toInt());
        }
        QString code = text(r, "SyncronizeCode").toString();
        const bool newCode = code.isEmpty();
        if (newCode)
            code = m_freshCodes.isEmpty() ? GenerateSyncronizeCode(m_repo, &m_newCodes, codeDraw)
                                          : m_freshCodes.takeFirst();
        if (m_bulkReports) { // written with the chunk's children
            m_reportRows.append(QJsonArray{QJsonValue::fromVariant(value(r, "IdReport")), QJsonValue::fromVariant(category),
                                           code, QJsonValue::fromVariant(modifiedValue(value(r, "Modified")))});
        } else {
            m_writer->append("ZAT_Report",
                             {{"IdReport", value(r, "IdReport")},
                              {"Name", text(r, "Name")},
                              {"FilePath", text(r, "FilePath")},
                              {"Version", text(r, "Version")},
                              {"Modified", modifiedValue(value(r, "Modified"))},
                              {"Description", text(r, "Description")},
                              {"IdCateg", category},
                              {"Macro", text(r, "Macro")},
                              {"IsDeleted", number(r, "IsDeleted")},
                              {"ShowDeleted", number(r, "ShowDeleted")},
                              {"DelExSheet", number(r, "DelExSheet")},
                              {"DestinationFileAtRuntime", number(r, "DestinationFileAtRuntime")},
                              {"SyncronizeCode", code}});
        }
        m_reports.insert(R);
        if (newCode) {
            m_newCodes.insert(code);
            m_pendingCodes.append({R, code});
        }
    }

    if (const auto s = m_settings.constFind(R); s != m_settings.constEnd()) {
        const Row &r = s.value();
        m_writer->append("ZAT_ExcelSheetSettings",
                         {{"IdSetting", number(r, "IdSetting")},
                          {"IdReport", number(r, "IdReport")},
                          {"SheetName", text(r, "SheetName")},
                          {"ShowGridLines", text(r, "ShowGridLines")},
                          {"ShowToolTips", text(r, "ShowToolTips")},
                          {"ShowAutoFilters", text(r, "ShowAutoFilters")},
                          {"FontName", text(r, "FontName")},
                          {"FontSize", number(r, "FontSize", 8)},
                          {"ReportTitle", text(r, "ReportTitle")},
                          {"FreezPanel", text(r, "FreezPanel")},
                          {"GroupCols", text(r, "GroupCols")}});
    }
    for (const Row &r : m_columns.value(R))
        m_writer->append("ZAT_ReportCols",
                         {{"IdReportCol", number(r, "IdReportCol")},
                          {"IdReport", number(r, "IdReport")},
                          {"Name", text(r, "Name")},
                          {"Type", number(r, "Type")},
                          {"Width", number(r, "Width")},
                          {"Hide", number(r, "Hide")},
                          {"AutoSum", number(r, "AutoSum")}});
    const QList<Row> links = m_links.value(R);
    if (!links.isEmpty()) {
        const Row &r = links.first();
        m_writer->append("ZAT_ReportDS",
                         {{"IdReportDS", number(r, "IdReportDS")},
                          {"IdReport", number(r, "IdReport")},
                          {"IdSQLView", number(r, "IdSQLView")},
                          {"IdDataSource", number(r, "IdDataSource")}});
    }
    for (const Row &link : links) {
        const auto v = m_viewRows.constFind(id(link, "IdSQLView"));
        if (v == m_viewRows.constEnd())
            continue;
        // A view shared by several reports is written once: the package keeps ids unique.
        const int viewId = id(v.value(), "IdSQLView");
        if (!m_views.contains(viewId)) {
            m_writer->append("ZAT_SQLViews",
                             {{"IdSQLView", viewId},
                              {"strSQLView", text(v.value(), "strSQLView")},
                              {"Description", text(v.value(), "Description")}});
            m_views.insert(viewId);
        }
        break;
    }
    if (const auto s = m_sort.constFind(R); s != m_sort.constEnd()) {
        const Row &r = s.value();
        m_writer->append("ZAT_Sort",
                         {{"IdSort", number(r, "IdSort")},
                          {"ItemType", QStringLiteral("e")},
                          {"IdItem", number(r, "IdItem")},
                          {"SortNr", number(r, "SortNr")}});
    }
}

void ExportRun::copyCategoryChain(int C)
{
    // Stops at a category already handled (its ancestors were handled with it) and at the root;
    // the handled set also ends a parent loop.
    if (!m_categoryRowsRead) { // read once: one statement per folder cost more than the rows
        m_categoryRowsRead = true;
        for (const Row &r : rows(m_repo, QStringLiteral("Select * From ZAT_Category Order By IdCateg")))
            if (!m_categoryRows.contains(id(r, "IdCateg")))
                m_categoryRows.insert(id(r, "IdCateg"), r);
        for (const Row &r : rows(m_repo, QStringLiteral("Select * From ZAT_Sort Where ItemType = 'c' Order By IdSort")))
            if (!m_categorySortRows.contains(id(r, "IdItem")))
                m_categorySortRows.insert(id(r, "IdItem"), r);
    }
    while (!m_chainDone.contains(C)) {
        m_chainDone.insert(C);
        int parent = 0;
        const auto category = m_categoryRows.constFind(C);
        if (category != m_categoryRows.constEnd() && !m_categories.contains(C)) {
            const Row &r = *category;
            m_writer->append("ZAT_Category",
                             {{"IdCateg", C},
                              {"Name", text(r, "Name")},
                              {"Description", text(r, "Description")},
                              {"IdParent", number(r, "IdParent")},
                              {"IsDeleted", number(r, "IsDeleted")},
                              {"ShowDeleted", number(r, "ShowDeleted")}});
            m_categories.insert(C);
            parent = id(r, "IdParent");
        }
        const auto sort = m_categorySortRows.constFind(C);
        if (sort != m_categorySortRows.constEnd() && !m_categorySorts.contains(C)) {
            m_writer->append("ZAT_Sort",
                             {{"IdSort", value(*sort, "IdSort")},
                              {"ItemType", QStringLiteral("c")},
                              {"IdItem", C},
                              {"SortNr", number(*sort, "SortNr")}});
            m_categorySorts.insert(C);
        }
        if (parent < 2)
            return;
        C = parent;
    }
}

void ExportRun::writeBackCodes()
{
    if (m_pendingCodes.isEmpty())
        return;
    // Another export may be reading a file repository in its own long transaction. Waiting for
    // it while holding the lock that precedes a write would stall that reader too, so the write
    // gives up at once and is tried again until the reader is done.
    const bool file = !Sql::isPostgres(m_repo);
    const int timeout = file ? Sql::scalar(m_repo, QStringLiteral("PRAGMA busy_timeout")).toInt() : 0;
    if (file)
        Sql::exec(m_repo, QStringLiteral("PRAGMA busy_timeout = 50"));
    auto restore = [&] {
        if (file)
            QSqlQuery(m_repo).exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(timeout));
    };
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        try {
            writeBackCodesOnce();
            break;
        } catch (const AppError &e) {
            if (!file || !e.description.contains(QLatin1String("locked")) || waited.elapsed() > 120000) {
                restore();
                throw;
            }
        }
        QThread::msleep(20);
    }
    restore();
    m_pendingCodes.clear();
}

void ExportRun::writeBackCodesOnce()
{
    QHash<int, QString> drawn;
    for (const auto &[reportId, code] : std::as_const(m_pendingCodes))
        drawn.insert(reportId, code);
    QHash<int, QString> kept; // reports whose code came from another run
    const bool tx = m_repo.transaction();
    try {
        QSqlQuery q(m_repo);
        if (!q.prepare(QStringLiteral("Update ZAT_Report Set SyncronizeCode = ? Where IdReport = ? "
                                      "And (SyncronizeCode Is Null Or SyncronizeCode = '')")))
            throw AppError(ErrorNumber::Database, q.lastError().text());
        for (const auto &[reportId, code] : std::as_const(m_pendingCodes)) {
            q.bindValue(0, code);
            q.bindValue(1, reportId);
            if (!q.exec())
                throw AppError(ErrorNumber::Database, q.lastError().databaseText(), QStringLiteral("Velmora repository"));
        }
        QList<int> ids = drawn.keys();
        std::sort(ids.begin(), ids.end());
        for (const QList<int> &chunk : chunks(ids))
            for (const Row &r : rows(m_repo, QStringLiteral("Select IdReport, SyncronizeCode From ZAT_Report Where IdReport ")
                                                 + Sql::idList(chunk))) {
                const QString now = value(r, "SyncronizeCode").toString();
                if (!now.isEmpty() && now != drawn.value(id(r, "IdReport")))
                    kept.insert(id(r, "IdReport"), now);
            }
        if (!kept.isEmpty()) {
            if (!m_package.transaction())
                throw AppError(ErrorNumber::Database, m_package.lastError().text(), QStringLiteral("Velmora package"));
            for (auto it = kept.cbegin(); it != kept.cend(); ++it)
                Sql::exec(m_package, QStringLiteral("Update ZAT_Report Set SyncronizeCode = ? Where IdReport = %1").arg(it.key()),
                          {it.value()});
            if (!m_package.commit())
                throw AppError(ErrorNumber::Database,
                               QStringLiteral("The package could not be completed: ") + m_package.lastError().databaseText(),
                               QStringLiteral("Velmora package"));
        }
        if (tx && !m_repo.commit())
            throw AppError(ErrorNumber::Database, m_repo.lastError().text(), QStringLiteral("Velmora repository"));
    } catch (...) {
        if (tx)
            m_repo.rollback();
        throw;
    }
}
