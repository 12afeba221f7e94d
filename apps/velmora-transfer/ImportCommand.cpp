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
#include "transfer/import/ImportPlan.h"
#include "transfer/import/ImportRun.h"
#include "transfer/import/PackageTree.h"
#include "transfer/import/SyncPairing.h"
#include "transfer/TransferRecording.h"

#include <QFileInfo>

#include <QHash>
#include <QSqlQuery>
#include <algorithm>
#include <tuple>
#include <QSet>
#include <QTextStream>

QString ImportUsage()
{
    return QStringLiteral(
        "  import --repository REPO --package FILE --category ID [--reports IDS | --all-reports]\n"
        "         [--macros IDS] [--data-sources IDS | --data-sources-for-reports] [--roles] [--users]\n"
        "         [--sync IDS | --sync-all] [--keep-folders] [--dry-run] [--json]\n"
        "      import package reports into category ID of the repository (a file, or\n"
        "      postgresql://user@host:port/database); IDS are comma-separated package ids.\n"
        "      Without options: no report, the macros of the imported reports, no data source,\n"
        "      no roles, no users, no synchronised report. --sync pairs the given package reports\n"
        "      with the repository's reports of the same code, --sync-all every one that has a partner\n"
        "      (alone, it imports just those). --keep-folders recreates the package folders of new\n"
        "      reports under ID. Data sources, macros, roles and users the repository has by name\n"
        "      are reused; a reused data source keeps its connection string. --dry-run prints what\n"
        "      the import would do and every problem that would refuse it, writes nothing, and exits\n"
        "      0 when the import would run, 1 when it would be refused. --json prints the plan (after\n"
        "      a run: what was done, with the new ids) as one JSON document. Status lines go to\n"
        "      stderr; a failure prints the error's four lines and exits 1 with nothing imported; it\n"
        "      also exits 1 when rows were left out (macros that could not be stored or translated)\n"
        "      or a report was left unchanged because another user holds it checked out. Bad\n"
        "      arguments, and ids the package does not hold, exit 2. Every import is added to the\n"
        "      transfer history.\n"
        "  list --package FILE [--repository REPO] [--json]\n"
        "      the package's reports (id, name, category, code and, with a repository, the partner),\n"
        "      tab-separated, or with --json as one JSON document.\n");
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
    const QStringList flags = {"--all-reports", "--data-sources-for-reports", "--roles", "--users", "--sync-all",
                               "--keep-folders", "--dry-run", "--json"};
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

    const QString origin = QStringLiteral("import");
    try {
        return runImport(opts, category, reports, macros, dataSources, sync);
    } catch (const AppError &e) {
        PrintError(ErrorLines(e, origin));
    } catch (const std::exception &e) {
        PrintError(ErrorLines(AppError(ErrorNumber::Generic, QString::fromLocal8Bit(e.what())), origin));
    }
    // The run is one transaction: a failure takes back whatever it had written.
    PrintError(QStringLiteral("Nothing was imported; the repository is as it was."));
    return 1;
}

// Package ids of one table, for checking the ids given on the command line.
static QSet<int> packageIds(const QSqlDatabase &package, const QString &table, const QString &idColumn)
{
    QSet<int> ids;
    QSqlQuery q = Sql::exec(package, QStringLiteral("Select %1 From %2").arg(idColumn, table));
    while (q.next())
        ids.insert(q.value(0).toInt());
    return ids;
}

// The administrator row of whoever runs the tool, when the repository has one: check-outs it
// holds do not keep the import from updating a report. Nothing is created for it.
static int currentUserId(RepositorySession &session)
{
    return Sql::scalar(session.Connection(),
                       QStringLiteral("Select u.IdUserApp From ZAT_UserApp u Inner Join ZAT_App a On a.IdApp = u.IdApp "
                                      "Where a.AppName = ? And u.%1 = ? Order By u.IdUserApp").arg(Sql::userColumn()),
                       {QString::fromLatin1(Schema::ConsoleAppName), session.LoginName()})
        .toInt();
}

static QString quoted(const QString &name) { return QLatin1Char('\'') + name + QLatin1Char('\''); }

// The plan as lines: problems first, then one line per report and per other row the run touches.
static void printPlan(const ImportPlan &plan)
{
    QTextStream out(stdout);
    for (const QString &problem : plan.problems)
        out << QStringLiteral("problem\t") << problem << Qt::endl;
    for (const ImportPlan::Report &r : plan.reports) {
        QString action = r.action;
        if (r.action == QLatin1String("add"))
            action += QStringLiteral(" into category %1").arg(r.destinationCategory)
                + (r.folder.isEmpty() ? QString() : QStringLiteral(" folder ") + quoted(r.folder));
        else if (r.action == QLatin1String("overwrite"))
            action += QStringLiteral(" %1").arg(r.destinationId);
        else
            action += QStringLiteral(": ") + r.reason;
        out << QStringLiteral("report %1 -> %2\t%3").arg(r.packageId).arg(action, r.name) << Qt::endl;
        for (const QString &w : r.warnings)
            out << QStringLiteral("  warning: ") << w << Qt::endl;
    }
    for (const auto &[kind, items] :
         {std::pair{"data source", &plan.dataSources}, {"variable", &plan.variables}, {"macro category", &plan.macroCategories},
          {"macro", &plan.macros}, {"role", &plan.roles}, {"application", &plan.applications}, {"user", &plan.users}})
        for (const ImportPlan::Item &i : *items)
            out << QStringLiteral("%1 %2 -> %3%4%5\t%6")
                       .arg(QLatin1String(kind))
                       .arg(i.packageId)
                       .arg(i.action, i.destinationId ? QStringLiteral(" %1").arg(i.destinationId) : QString(),
                            i.note.isEmpty() ? QString() : QStringLiteral(" (") + i.note + QLatin1Char(')'), i.name)
                << Qt::endl;
}

// The plan with what the run did: new ids, and partners it left unchanged.
static ImportPlan withOutcome(ImportPlan plan, const ImportRun &run)
{
    QHash<int, QString> held;
    for (const ImportRun::HeldReport &h : run.heldReports)
        held.insert(h.packageId, ImportRun::heldText(h));
    for (ImportPlan::Report &r : plan.reports) {
        if (run.reportMap.contains(r.packageId)) {
            r.destinationId = run.reportMap.value(r.packageId);
            r.action = run.synchronised(r.packageId) ? QStringLiteral("overwrite") : QStringLiteral("add");
        } else if (held.contains(r.packageId)) {
            r.action = QStringLiteral("refused");
            r.reason = held.value(r.packageId);
        }
    }
    for (const auto &[items, map] : {std::pair{&plan.dataSources, &run.dataSourceMap}, {&plan.variables, &run.varMap},
                                     {&plan.macroCategories, &run.macroCategMap}, {&plan.macros, &run.macroMap},
                                     {&plan.roles, &run.roleMap}, {&plan.applications, &run.appMap}, {&plan.users, &run.userMap}})
        for (ImportPlan::Item &i : *items)
            i.destinationId = map->value(i.packageId, i.destinationId);
    return plan;
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
    o.folders = opts.contains("--keep-folders");
    o.currentUserId = currentUserId(session);
    QHash<int, QString> reportNames, dataSourceNames, roleNames;
    {
        OpenPackage package(o.packagePath);
        const PackageTree tree = LoadPackageTree(package.db);
        for (const auto &r : tree.reports)
            reportNames.insert(r.id, r.name);
        QSqlQuery q = Sql::exec(package.db, QStringLiteral("Select IdDataSource, Name From ZAT_DataSource"));
        while (q.next())
            dataSourceNames.insert(q.value(0).toInt(), q.value(1).toString());
        q = Sql::exec(package.db, QStringLiteral("Select IdRole, Role From ZAT_Role"));
        while (q.next())
            roleNames.insert(q.value(0).toInt(), q.value(1).toString());

        // An id the package does not hold is a mistake in the command, not something to skip.
        const QSet<int> held = packageIds(package.db, QStringLiteral("ZAT_Report"), QStringLiteral("IdReport"));
        for (const auto &[option, ids, table, idColumn, noun] :
             {std::tuple{"--reports", &reports, "ZAT_Report", "IdReport", "report"},
              {"--sync", &sync, "ZAT_Report", "IdReport", "report"},
              {"--macros", &macros, "ZAT_Macros", "IdMacro", "macro"},
              {"--data-sources", &dataSources, "ZAT_DataSource", "IdDataSource", "data source"}}) {
            const QSet<int> known = QLatin1String(table) == QLatin1String("ZAT_Report")
                ? held : packageIds(package.db, QLatin1String(table), QLatin1String(idColumn));
            for (int id : *ids)
                if (!known.contains(id))
                    return usageError(QStringLiteral("import"), QStringLiteral("%1: the package holds no %2 %3")
                                                                    .arg(QLatin1String(option), QLatin1String(noun))
                                                                    .arg(id));
        }
        const QList<int> offered = tree.reportIds();
        const QSet<int> offeredSet(offered.cbegin(), offered.cend());
        for (int id : reports)
            if (!offeredSet.contains(id))
                return usageError(QStringLiteral("import"),
                                  QStringLiteral("--reports: the package offers no report %1 (deleted or in the recycle bin)").arg(id));

        QList<SyncCandidate> candidates;
        QHash<int, SyncCandidate> byId;
        if (opts.contains("--sync") || opts.contains("--sync-all")) {
            candidates = LoadSyncCandidates(package.db, db);
            for (const SyncCandidate &c : candidates)
                byId.insert(c.idReport, c);
        }
        if (opts.contains("--all-reports")) {
            o.reportIds = offered;
        } else if (opts.contains("--sync-all") && !opts.contains("--reports")) {
            for (int id : offered) // every report that has a partner, in tree order
                if (byId.value(id).partnerId != 0)
                    o.reportIds << id;
        } else {
            const QSet<int> wanted(reports.cbegin(), reports.cend());
            for (int id : offered) // tree order, as the dialog imports them
                if (wanted.contains(id))
                    o.reportIds << id;
        }
        // Every report with a code is paired: the run looks its partner up again once it holds the
        // repository, so a partner another import added meanwhile is overwritten, not doubled.
        if (opts.contains("--sync-all"))
            for (const SyncCandidate &c : std::as_const(candidates))
                if (!c.code.isEmpty())
                    o.syncPairs.insert(c.idReport, c.code);
        for (int id : sync) {
            const SyncCandidate c = byId.value(id);
            if (c.partnerId == 0)
                throw AppError(ErrorNumber::InvalidArgument,
                               QStringLiteral("Package report %1 %2 has no report with the same code in the repository.")
                                   .arg(id)
                                   .arg(quoted(c.name)));
            o.syncPairs.insert(id, c.code);
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

    const bool json = opts.contains("--json");
    // Planned only when asked for: a plain run needs no second pass over the package.
    const ImportPlan plan = json || opts.contains("--dry-run") ? PlanImport(db, o) : ImportPlan();
    if (opts.contains("--dry-run")) {
        if (json)
            JsonOutput::print(JsonOutput::plan(plan));
        else
            printPlan(plan);
        PrintError(QStringLiteral("Dry run: nothing was written."));
        PrintError(plan.refused() ? QStringLiteral("The import would be refused: %1 problem(s).").arg(plan.problems.size())
                                  : QStringLiteral("The import would run."));
        return plan.refused() ? 1 : 0;
    }

    StderrProgress progress;
    bool stepFailed = false;
    ImportRun run(db, o, &progress, [&](const AppError &e, const QString &origin) {
        stepFailed = true;
        PrintError(ErrorLines(e, origin));
    });
    try {
        TransferRecording::runImport(session, run, o, nullptr, [](const AppError &e) { PrintError(e.description); });
    } catch (const AppError &e) {
        if (json) { // the refusal for scripts too; the error's lines follow on stderr
            ImportPlan failed = plan;
            if (failed.problems.isEmpty())
                failed.problems << e.description;
            JsonOutput::print(JsonOutput::plan(failed));
        }
        throw;
    }
    for (const ImportRun::HeldReport &h : std::as_const(run.heldReports))
        PrintError(ImportRun::heldText(h));
    if (run.skippedRows > 0)
        PrintError(QStringLiteral("%1 row(s) were left out.").arg(run.skippedRows));
    const bool complete = !stepFailed && run.skippedRows == 0 && run.heldReports.isEmpty();
    if (complete)
        PrintError(QStringLiteral("Operation completed successfully."));
    if (json) {
        JsonOutput::print(JsonOutput::plan(withOutcome(plan, run)));
        return complete ? 0 : 1;
    }
    QTextStream out(stdout);
    for (int id : o.reportIds) {
        const bool synced = run.synchronised(id);
        out << QStringLiteral("report %1 -> %2%3\t%4")
                   .arg(id)
                   .arg(run.reportMap.value(id))
                   .arg(synced ? QStringLiteral(" (synchronised)")
                               : !run.reportMap.contains(id) ? QStringLiteral(" (left unchanged)") : QString(),
                        reportNames.value(id))
            << Qt::endl;
    }
    for (int id : std::as_const(run.dataSourcesUsed))
        if (run.dataSourceMap.contains(id))
            out << QStringLiteral("data source %1 -> %2%3\t%4")
                       .arg(id)
                       .arg(run.dataSourceMap.value(id))
                       .arg(run.dataSourcesReused.contains(id) ? QStringLiteral(" (existing, its connection string kept)") : QString(),
                            dataSourceNames.value(id))
                << Qt::endl;
    QList<int> roles = run.roleMap.keys();
    std::sort(roles.begin(), roles.end());
    for (int id : std::as_const(roles))
        out << QStringLiteral("role %1 -> %2\t%3").arg(id).arg(run.roleMap.value(id)).arg(roleNames.value(id)) << Qt::endl;
    return complete ? 0 : 1;
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
