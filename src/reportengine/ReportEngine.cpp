#include "ReportEngine.h"

#include "DataSourceConnection.h"
#include "ReportDefinition.h"
#include "ReportWriter.h"
#include "repository/AppError.h"
#include "repository/Sql.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSqlError>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <filesystem>

namespace {

// Removes a temporary file unless the run got as far as moving it into place.
struct TempFileGuard {
    QString path;
    ~TempFileGuard()
    {
        if (!path.isEmpty())
            QFile::remove(path);
    }
};

QString fileSafe(const QString &name)
{
    QString s = name;
    for (QChar &c : s)
        if (QStringLiteral("/\\:*?\"<>|").contains(c) || c.unicode() < 32)
            c = QLatin1Char('_');
    s = s.trimmed();
    return s.isEmpty() ? QStringLiteral("Report") : s;
}

using Values = QHash<QString, QVariant>; // by lower-cased variable name

QSqlQuery runBound(const QSqlDatabase &db, const QString &sql, const Values &values, const ReportDefinition &def,
                   const QString &what)
{
    const PositionalSql p = ToPositional(sql);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    auto failed = [&](const QSqlError &e) {
        return AppError(ErrorNumber::Database, QStringLiteral("The %1 failed on the data source '%2': %3")
                                                   .arg(what, def.dataSourceName, e.text()));
    };
    if (!q.prepare(p.text))
        throw failed(q.lastError());
    for (const QString &name : p.names) {
        const auto it = values.constFind(name.toLower());
        if (it == values.constEnd()) {
            bool known = false;
            for (const ReportVariable &v : def.variables)
                known = known || v.name.compare(name, Qt::CaseInsensitive) == 0;
            throw AppError(ErrorNumber::InvalidArgument,
                           known ? QStringLiteral("The %1 uses :%2 before it has a value; make the variable depend on '%2'.")
                                       .arg(what, name)
                                 : QStringLiteral("The %1 uses :%2, which is not a variable of the data source '%3'.")
                                       .arg(what, name, def.dataSourceName));
        }
        q.addBindValue(*it);
    }
    if (!q.exec())
        throw failed(q.lastError());
    return q;
}

QList<LookupChoice> runLookup(const QSqlDatabase &db, const ReportVariable &v, const Values &values,
                              const ReportDefinition &def)
{
    QList<LookupChoice> choices;
    QSqlQuery q = runBound(db, v.lookupSql, values,  def,
                           QStringLiteral("lookup list of the variable '%1'").arg(v.name));
    const bool twoColumns = q.record().count() > 1;
    while (q.next() && choices.size() < 100000) {
        LookupChoice c;
        c.value = q.value(0).typeId() == QMetaType::QDate ? q.value(0).toDate().toString(Qt::ISODate) : q.value(0).toString();
        c.text = twoColumns ? q.value(1).toString() : c.value;
        choices << c;
    }
    return choices;
}

int extensionIcon(const QString &suffix)
{
    const QString s = suffix.toLower();
    if (s == QLatin1String("xls") || s == QLatin1String("xlsx") || s == QLatin1String("xlsm") || s == QLatin1String("csv")
        || s == QLatin1String("ods"))
        return 10;
    if (s == QLatin1String("txt") || s == QLatin1String("log") || s == QLatin1String("tsv"))
        return 5;
    if (s == QLatin1String("doc") || s == QLatin1String("docx") || s == QLatin1String("odt") || s == QLatin1String("rtf"))
        return 19;
    if (s == QLatin1String("eml") || s == QLatin1String("msg"))
        return 21;
    return 18;
}

} // namespace

void ReportEngine::Init(const QSqlDatabase &connection, int companyId)
{
    m_connection = connection;
    m_companyId = companyId;
    m_initialised = true;
}

QSqlDatabase ReportEngine::repository() const
{
    if (!m_initialised || !m_connection.isOpen())
        throw AppError(ErrorNumber::NotConnected, QStringLiteral("The report engine has no open repository connection."));
    return m_connection;
}

QString ReportEngine::destinationOf(const ReportDefinition &def)
{
    QString p = def.filePath.trimmed();
    if (p.isEmpty())
        p = fileSafe(def.name.isEmpty() ? QStringLiteral("Report %1").arg(def.id) : def.name);
    const QString suffix = QFileInfo(p).suffix().toLower();
    if (def.isText()) {
        if (suffix.isEmpty())
            p += QLatin1String(".txt");
    } else if (suffix != QLatin1String("xlsx")) {
        // The file is an .xlsx workbook whatever the stored name says.
        if (suffix == QLatin1String("xls") || suffix == QLatin1String("xlsm") || suffix == QLatin1String("xlsb"))
            p.chop(suffix.size() + 1);
        p += QLatin1String(".xlsx");
    }
    if (QDir::isRelativePath(p)) {
        QString base;
        if (m_companyId > 0)
            base = Sql::scalar(repository(), QStringLiteral("Select FileServer From ZAT_Company Where IdAuthor = %1")
                                                 .arg(m_companyId)).toString().trimmed();
        if (base.isEmpty())
            base = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        p = QDir(base).filePath(p);
    }
    return QDir::cleanPath(p);
}

QString ReportEngine::DestinationPath(int reportId)
{
    return destinationOf(LoadReportDefinition(repository(), reportId));
}

QString ReportEngine::scratchPath(const ReportDefinition &def)
{
    const QString dir = QDir(QDir::tempPath()).filePath(QStringLiteral("Velmora"));
    const QString base = fileSafe(def.name.isEmpty() ? QStringLiteral("Report %1").arg(def.id) : def.name) + QLatin1Char(' ')
                       + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString ext = def.isText() ? QStringLiteral(".txt") : QStringLiteral(".xlsx");
    QString p = QDir(dir).filePath(base + ext);
    for (int n = 2; QFileInfo::exists(p); ++n)
        p = QDir(dir).filePath(QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(ext));
    return p;
}

static QString runDefinition(const ReportDefinition &def, QString target, ReportParameterPrompter &prompter)
{
    DataSourceConnection source(def.connectionString, def.isJet, def.dataSourceName);
    const QSqlDatabase db = source.database();

    Values values;
    for (const ReportVariable &v : def.variables) {
        QList<LookupChoice> choices;
        if (!v.lookupSql.trimmed().isEmpty() && prompter.wantsLookups())
            choices = runLookup(db, v, values, def);
        QString answer = v.defaultValue;
        QString problem;
        for (;;) {
            if (!prompter.askVariable(v, choices, answer, problem))
                return QString();
            QVariant value;
            if (ParseVariableValue(v, answer, value, problem)) {
                values.insert(v.name.toLower(), value);
                break;
            }
        }
    }

    QSqlQuery query = runBound(db, def.sql, values, def, QStringLiteral("SQL view of the report '%1'").arg(def.name));

    const QFileInfo info(target);
    if (info.isDir())
        throw AppError(ErrorNumber::InvalidArgument,
                       QStringLiteral("The destination '%1' is a folder, not a file.").arg(target));
    if (!QDir().mkpath(info.absolutePath()))
        throw AppError(ErrorNumber::Generic,
                       QStringLiteral("The folder '%1' cannot be created for the report's file.").arg(info.absolutePath()));
    QTemporaryFile reserve(QDir(info.absolutePath()).filePath(QStringLiteral(".~%1.XXXXXX").arg(info.fileName())));
    reserve.setAutoRemove(false);
    if (!reserve.open())
        throw AppError(ErrorNumber::Generic,
                       QStringLiteral("The file '%1' cannot be written: %2").arg(target, reserve.errorString()));
    TempFileGuard guard{reserve.fileName()};
    reserve.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                           | QFileDevice::ReadOther);
    reserve.close();

    if (def.isText())
        WriteTextFile(guard.path, def, query);
    else
        WriteWorkbook(guard.path, def, query);

    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(guard.path.toStdString()),
                            std::filesystem::path(info.absoluteFilePath().toStdString()), ec);
    if (ec)
        throw AppError(ErrorNumber::Generic, QStringLiteral("The file '%1' cannot be replaced: %2")
                                                 .arg(target, QString::fromLocal8Bit(ec.message().c_str())));
    guard.path.clear();
    return info.absoluteFilePath();
}

QString ReportEngine::Run(int reportId, const QString &outputPath, ReportParameterPrompter &prompter)
{
    const ReportDefinition def = LoadReportDefinition(repository(), reportId);
    QString target = outputPath;
    if (target.isEmpty()) {
        target = destinationOf(def);
        if (def.destinationAtRuntime) {
            target = prompter.askDestinationFile(target);
            if (target.isEmpty())
                return QString();
        }
    }
    m_lastOutput = runDefinition(def, target, prompter);
    return m_lastOutput;
}

QString ReportEngine::OpenReport(int reportId, bool show)
{
    FixedParameterValues defaults;
    ReportParameterPrompter &p = m_prompter ? *m_prompter : defaults;
    const ReportDefinition def = LoadReportDefinition(repository(), reportId);
    const QString path = runDefinition(def, scratchPath(def), p);
    m_lastOutput = path;
    if (!path.isEmpty() && show)
        p.openDocument(path);
    return path;
}

bool ReportEngine::Generate(int reportId, bool show, bool /*intoExisting*/, bool save, int /*reserved*/)
{
    FixedParameterValues defaults;
    ReportParameterPrompter &p = m_prompter ? *m_prompter : defaults;
    QString path;
    if (save) {
        path = Run(reportId, QString(), p);
    } else {
        const ReportDefinition def = LoadReportDefinition(repository(), reportId);
        path = m_lastOutput = runDefinition(def, scratchPath(def), p);
    }
    if (path.isEmpty())
        return false;
    if (show)
        p.openDocument(path);
    return true;
}

void ReportEngine::OpenInExisting(int reportId)
{
    const ReportDefinition def = LoadReportDefinition(repository(), reportId);
    if (!def.destinationAtRuntime) {
        const QString dest = destinationOf(def);
        if (QFileInfo(dest).isFile()) {
            FixedParameterValues defaults;
            (m_prompter ? *m_prompter : defaults).openDocument(dest);
            m_lastOutput = dest;
            return;
        }
    }
    Generate(reportId, true, true, true, 0);
}

int ReportEngine::ImportDocument(int categoryId, int, int, const QString &path, const QSqlDatabase &connection)
{
    if (path.trimmed().isEmpty())
        return 0;
    const QFileInfo info(path);
    if (!info.isFile())
        throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("The document '%1' does not exist.").arg(path));
    QSqlDatabase db = connection.isValid() && connection.isOpen() ? connection : repository();
    QSqlQuery c = Sql::exec(db, QStringLiteral("Select IsDeleted From ZAT_Category Where IdCateg = %1").arg(categoryId));
    if (!c.next() || categoryId == 2 || Sql::integer(c, "IsDeleted") != 0)
        throw AppError(ErrorNumber::InvalidArgument,
                       QStringLiteral("The category %1 cannot hold new reports.").arg(categoryId));
    const QString name = info.completeBaseName().isEmpty() ? info.fileName() : info.completeBaseName();
    QDateTime now = QDateTime::currentDateTime();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    const bool tx = db.transaction();
    try {
        const int id = Sql::insert(db, "ZAT_Report", "IdReport",
                                   {{"Name", name}, {"FilePath", info.absoluteFilePath()}, {"Version", "Exchange"},
                                    {"Modified", Sql::dateValue(now)}, {"Description", ""}, {"IdCateg", categoryId},
                                    {"Macro", ""}, {"IsDeleted", 0}, {"ShowDeleted", 0}, {"DelExSheet", 0},
                                    {"DestinationFileAtRuntime", 0}, {"IdUserAppCheckOut", 0},
                                    {"IdExtension", extensionIcon(info.suffix())}});
        const int sortNr = Sql::scalar(db, QStringLiteral("Select Max(s.SortNr) From ZAT_Sort s Join ZAT_Report r "
                                                          "On s.ItemType = 'e' And s.IdItem = r.IdReport "
                                                          "Where r.IdCateg = %1").arg(categoryId)).toInt() + 1;
        Sql::insert(db, "ZAT_Sort", "IdSort", {{"ItemType", "e"}, {"IdItem", id}, {"SortNr", sortNr}});
        if (tx)
            db.commit();
        return id;
    } catch (...) {
        if (tx)
            db.rollback();
        throw;
    }
}
