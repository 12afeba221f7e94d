#include "Commands.h"
#include "CommandSupport.h"
#include "JsonOutput.h"

#include "repository/AppError.h"
#include "repository/PackageFile.h"
#include "repository/PackageIdentity.h"
#include "repository/RepositoryArgument.h"
#include "repository/RepositorySession.h"
#include "repository/Schema.h"
#include "repository/Sql.h"
#include "transfer/import/ImportRun.h"
#include "transfer/import/PackageTree.h"
#include "transfer/import/SyncPairing.h"
#include "transfer/TransferRecording.h"

#include <QFileInfo>

#include <QHash>
#include <QSet>
#include <QTextStream>

QString ImportUsage()
{
    return QStringLiteral(
        "  import --repository REPO --package FILE --category ID [--reports IDS | --all-reports]\n"
        "         [--macros IDS] [--data-sources IDS | --data-sources-for-reports] [--roles] [--users]\n"
        "         [--sync IDS | --sync-all]\n"
        "      import package reports into category ID of the repository (a file, or\n"
        "      postgresql://user@host:port/database); IDS are comma-separated package ids.\n"
        "      Without options: no report, the macros of the imported reports, no data source,\n"
        "      no roles, no users, no synchronised report. --sync pairs the given package reports\n"
        "      with the repository's reports of the same code, --sync-all every one that has a partner.\n"
        "  list --package FILE [--repository REPO] [--json]\n"
        "      the package's reports (id, name, category, code and, with a repository, the partner),\n"
        "      tab-separated, or with --json as one JSON document. Status lines go to stderr; a\n"
        "      failure prints the error's four lines and exits 1 (also when macros could not all be\n"
        "      imported); bad arguments exit 2. Every import is added to the transfer history.\n");
}

namespace {

int usageError(const QString &command, const QString &problem)
{
    PrintError(QStringLiteral("velmora-transfer %1: %2\n").arg(command, problem) + ImportUsage());
    return 2;
}

const QString PackageConnection = QStringLiteral("velmora-transfer-package");

struct OpenPackage {
    QSqlDatabase db;
    explicit OpenPackage(const QString &path)
        : db(PackageFile::openForReading(path, QString::fromLatin1(Schema::PackagePassword), PackageConnection)) {}
    ~OpenPackage()
    {
        db = QSqlDatabase();
        PackageFile::close(PackageConnection);
    }
};

} // namespace

static int runImport(const QMap<QString, QString> &opts, int category, const QList<int> &reports,
                     const QList<int> &macros, const QList<int> &dataSources, const QList<int> &sync);

int ImportCommand(const QStringList &args)
{
    if (args.contains(QStringLiteral("--help"))) {
        QTextStream(stdout) << ImportUsage();
        return 0;
    }
    const QStringList flags = {"--all-reports", "--data-sources-for-reports", "--roles", "--users", "--sync-all"};
    QMap<QString, QString> opts;
    QString problem;
    if (!ParseOptions(args, {"--repository", "--package", "--category", "--reports", "--macros", "--data-sources", "--sync"},
                      opts, problem, flags))
        return usageError(QStringLiteral("import"), problem);
    for (const char *required : {"--repository", "--package", "--category"})
        if (!opts.contains(QLatin1String(required)))
            return usageError(QStringLiteral("import"), QStringLiteral("%1 is required").arg(QLatin1String(required)));
    for (const auto &[a, b] : {std::pair{"--reports", "--all-reports"}, {"--data-sources", "--data-sources-for-reports"},
                               {"--sync", "--sync-all"}})
        if (opts.contains(QLatin1String(a)) && opts.contains(QLatin1String(b)))
            return usageError(QStringLiteral("import"), QStringLiteral("%1 and %2 exclude each other").arg(QLatin1String(a), QLatin1String(b)));
    bool ok = false;
    const int category = opts.value("--category").toInt(&ok);
    if (!ok)
        return usageError(QStringLiteral("import"), QStringLiteral("--category needs a category id"));
    QList<int> reports, macros, dataSources, sync;
    for (const auto &[name, list] : {std::pair<const char *, QList<int> *>{"--reports", &reports}, {"--macros", &macros},
                                     {"--data-sources", &dataSources}, {"--sync", &sync}})
        if (opts.contains(QLatin1String(name)) && (!ParseIds(opts.value(QLatin1String(name)), *list) || list->isEmpty()))
            return usageError(QStringLiteral("import"), QStringLiteral("%1 needs comma-separated ids").arg(QLatin1String(name)));

    const QString origin = QStringLiteral("cmdExport_Click()");
    try {
        return runImport(opts, category, reports, macros, dataSources, sync);
    } catch (const AppError &e) {
        PrintError(ErrorLines(e, origin));
    } catch (const std::exception &e) {
        PrintError(ErrorLines(AppError(ErrorNumber::Generic, QString::fromLocal8Bit(e.what())), origin));
    }
    return 1;
}

static int runImport(const QMap<QString, QString> &opts, int category, const QList<int> &reports,
                     const QList<int> &macros, const QList<int> &dataSources, const QList<int> &sync)
{
    RepositorySession session;
    OpenRepositoryArgument(session, opts.value("--repository"));
    QSqlDatabase db = session.Connection();
    if (Sql::scalar(db, QStringLiteral("Select count(*) From ZAT_Category Where IdCateg = %1").arg(category)).toInt() == 0)
        throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("The repository has no category %1.").arg(category));

    ImportOptions o;
    o.packagePath = opts.value("--package");
    o.idCategDest = category;
    {
        OpenPackage package(o.packagePath);
        const PackageTree tree = LoadPackageTree(package.db);
        if (opts.contains("--all-reports")) {
            o.reportIds = tree.reportIds();
        } else {
            const QSet<int> wanted(reports.cbegin(), reports.cend());
            const QList<int> offered = tree.reportIds();
            const QSet<int> offeredSet(offered.cbegin(), offered.cend());
            for (int id : reports)
                if (!offeredSet.contains(id))
                    throw AppError(ErrorNumber::InvalidArgument,
                                   QStringLiteral("The package offers no report %1 (deleted, in the recycle bin or missing).").arg(id));
            for (int id : offered) // tree order, as the dialog imports them
                if (wanted.contains(id))
                    o.reportIds << id;
        }
        if (opts.contains("--sync") || opts.contains("--sync-all")) {
            const QList<SyncCandidate> candidates = LoadSyncCandidates(package.db, db);
            QHash<int, SyncCandidate> byId;
            for (const SyncCandidate &c : candidates)
                byId.insert(c.idReport, c);
            if (opts.contains("--sync-all")) {
                for (const SyncCandidate &c : candidates)
                    if (c.partnerId != 0)
                        o.syncPairs.insert(c.idReport, c.code);
            }
            for (int id : sync) {
                const SyncCandidate c = byId.value(id);
                if (c.partnerId == 0)
                    throw AppError(ErrorNumber::InvalidArgument,
                                   QStringLiteral("Package report %1 has no report with the same code in the repository.").arg(id));
                o.syncPairs.insert(id, c.code);
            }
        }
    }
    if (opts.contains("--macros")) {
        o.macros = ImportOptions::Choice::Selected;
        o.macroIds = macros;
    }
    if (opts.contains("--data-sources-for-reports")) {
        o.dataSources = ImportOptions::Choice::ForReports;
    } else {
        o.dataSources = ImportOptions::Choice::Selected;
        o.dataSourceIds = dataSources;
    }
    o.roles = opts.contains("--roles");
    o.users = opts.contains("--users");

    StderrProgress progress;
    bool stepFailed = false;
    ImportRun run(db, o, &progress, [&](const AppError &e, const QString &origin) {
        stepFailed = true;
        PrintError(ErrorLines(e, origin));
    });
    TransferRecording::runImport(session, run, o, nullptr, [](const AppError &e) { PrintError(e.description); });
    if (!stepFailed)
        PrintError(QStringLiteral("Operation completed successfully."));
    QTextStream out(stdout);
    for (int id : o.reportIds)
        out << QStringLiteral("report %1 -> %2%3").arg(id).arg(run.reportMap.value(id))
                   .arg(o.syncPairs.contains(id) && run.reportMap.value(id) != 0 ? QStringLiteral(" (synchronised)") : QString())
            << Qt::endl;
    return stepFailed ? 1 : 0;
}

static int runList(const QMap<QString, QString> &opts);

int ListCommand(const QStringList &args)
{
    if (args.contains(QStringLiteral("--help"))) {
        QTextStream(stdout) << ImportUsage();
        return 0;
    }
    QMap<QString, QString> opts;
    QString problem;
    if (!ParseOptions(args, {"--package", "--repository"}, opts, problem, {"--json"}))
        return usageError(QStringLiteral("list"), problem);
    if (!opts.contains("--package"))
        return usageError(QStringLiteral("list"), QStringLiteral("--package is required"));

    try {
        return runList(opts);
    } catch (const AppError &e) {
        PrintError(ErrorLines(e, QStringLiteral("list")));
    } catch (const std::exception &e) {
        PrintError(ErrorLines(AppError(ErrorNumber::Generic, QString::fromLocal8Bit(e.what())), QStringLiteral("list")));
    }
    return 1;
}

static int runList(const QMap<QString, QString> &opts)
{
    RepositorySession session;
    if (opts.contains("--repository"))
        OpenRepositoryArgument(session, opts.value("--repository"));
    OpenPackage package(opts.value("--package"));
    const PackageTree tree = LoadPackageTree(package.db);
    QHash<int, QString> categoryNames;
    for (const auto &c : tree.categories)
        categoryNames.insert(c.id, c.name.isNull() ? QStringLiteral("Unknown") : c.name);
    QHash<int, SyncCandidate> candidates;
    for (const SyncCandidate &c : LoadSyncCandidates(package.db, opts.contains("--repository") ? session.Connection() : package.db))
        candidates.insert(c.idReport, c);
    const bool withPartner = opts.contains("--repository");
    if (opts.contains("--json")) {
        const QJsonArray reports = JsonOutput::array(tree.reports, [&](const auto &r) {
            const SyncCandidate c = candidates.value(r.id);
            QJsonObject o{{"id", r.id},
                          {"name", r.name.isNull() ? QStringLiteral("Unknown") : r.name},
                          {"category", categoryNames.value(r.node)},
                          {"code", JsonOutput::textOrNull(c.code)}};
            if (withPartner) {
                o.insert("partner_id", JsonOutput::idOrNull(c.partnerId));
                o.insert("partner", JsonOutput::textOrNull(c.partnerName));
            }
            return o;
        });
        JsonOutput::print({{"package", QFileInfo(opts.value("--package")).absoluteFilePath()},
                           {"package_identity", JsonOutput::textOrNull(PackageIdentity::read(package.db))},
                           {"reports", reports}});
        return 0;
    }
    QTextStream out(stdout);
    for (const auto &r : tree.reports) {
        const SyncCandidate c = candidates.value(r.id);
        QStringList fields = {QString::number(r.id), r.name.isNull() ? QStringLiteral("Unknown") : r.name,
                              categoryNames.value(r.node), c.code};
        if (withPartner)
            fields << c.partnerName;
        out << fields.join(QLatin1Char('\t')) << Qt::endl;
    }
    return 0;
}
