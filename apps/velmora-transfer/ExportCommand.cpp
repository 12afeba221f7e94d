#include "Commands.h"
#include "CommandSupport.h"
#include "JsonOutput.h"

#include "repository/AppError.h"
#include "repository/RepositoryArgument.h"
#include "repository/RepositorySession.h"
#include "repository/Sql.h"
#include "transfer/export/ExportRun.h"
#include "transfer/export/ExportTree.h"
#include "transfer/TransferRecording.h"

#include <QMap>
#include <QSet>
#include <QTextStream>

QString ExportUsage()
{
    return QStringLiteral(
        "  export --repository REPO --package FILE [--reports IDS | --all-reports | --category ID]\n"
        "         [--macros IDS|report|all|none] [--data-sources IDS|report|all|none]\n"
        "         [--no-folders] [--no-roles] [--no-users] [--json]\n"
        "      write the chosen reports with what they depend on into a new package FILE.\n"
        "      REPO is a repository file or postgresql://user@host:port/database\n"
        "      (a socket folder as ?host=/path). IDS is a comma-separated id list. Without a\n"
        "      report option no report is exported; macros and data sources default to those\n"
        "      of the exported reports (report); folders, roles and users are exported unless\n"
        "      switched off. Status lines go to stderr; a failure prints the error's four lines\n"
        "      and exits 1 (also when macros could not all be written); bad arguments exit 2.\n"
        "      Every export is added to the repository's transfer history. --json prints the\n"
        "      run as the history keeps it, with its reports, instead of the package path.\n");
}

namespace {

QList<int> allIds(RepositorySession &session, const QString &sql)
{
    QList<int> ids;
    QSqlQuery q = Sql::exec(session.Connection(), sql);
    while (q.next())
        ids << q.value(0).toInt();
    return ids;
}

} // namespace

int ExportCommand(const QStringList &args)
{
    if (args.contains(QStringLiteral("--help"))) {
        QTextStream(stdout) << ExportUsage();
        return 0;
    }
    QMap<QString, QString> opts;
    QString problem;
    const QStringList valued{"--repository", "--server", "--package", "--reports", "--category", "--macros",
                             "--data-sources"};
    const QStringList flags{"--all-reports", "--no-folders", "--no-roles", "--no-users", "--json"};
    auto usageError = [](const QString &why) {
        PrintError(QStringLiteral("velmora-transfer export: %1\n").arg(why) + ExportUsage());
        return 2;
    };
    if (!ParseOptions(args, valued, opts, problem, flags))
        return usageError(problem);
    const QString repo = opts.value("--repository", opts.value("--server"));
    if (repo.isEmpty())
        return usageError(QStringLiteral("--repository is required"));
    if (opts.contains("--repository") && opts.contains("--server"))
        return usageError(QStringLiteral("give either --repository or --server"));
    if (opts.value("--package").isEmpty())
        return usageError(QStringLiteral("--package is required"));
    if (int(opts.contains("--reports")) + int(opts.contains("--all-reports")) + int(opts.contains("--category")) > 1)
        return usageError(QStringLiteral("give only one of --reports, --all-reports and --category"));

    QList<int> wantedReports;
    if (opts.contains("--reports") && !ParseIds(opts.value("--reports"), wantedReports))
        return usageError(QStringLiteral("--reports needs a comma-separated id list"));
    bool categoryOk = true;
    const int category = opts.value("--category", "0").toInt(&categoryOk);
    if (!categoryOk)
        return usageError(QStringLiteral("--category needs a category id"));

    ExportOptions options;
    options.packagePath = opts.value("--package");
    options.folders = !opts.contains("--no-folders");
    options.roles = !opts.contains("--no-roles");
    options.users = !opts.contains("--no-users");
    enum class Pick { Report, All, None, Ids };
    auto pick = [&](const QString &option, Pick &mode, QList<int> &ids) {
        const QString v = opts.value(option, QStringLiteral("report"));
        mode = v == QLatin1String("report") ? Pick::Report
             : v == QLatin1String("all")    ? Pick::All
             : v == QLatin1String("none")   ? Pick::None
                                            : Pick::Ids;
        return mode != Pick::Ids || ParseIds(v, ids);
    };
    Pick macroPick, dataSourcePick;
    if (!pick("--macros", macroPick, options.macroIds))
        return usageError(QStringLiteral("--macros needs report, all, none or a comma-separated id list"));
    if (!pick("--data-sources", dataSourcePick, options.dataSourceIds))
        return usageError(QStringLiteral("--data-sources needs report, all, none or a comma-separated id list"));

    const QString origin = QStringLiteral("cmdExport_Click()");
    bool stepFailed = false;
    const bool json = opts.contains("--json");
    TransferLog::Run recorded;
    try {
        RepositorySession session;
        OpenRepositoryArgument(session, repo);

        // Reports go in the order the export dialog's tree walks them.
        const QList<ExportTreeNode> categories = LoadExportCategories(session);
        const QList<ExportTreeNode> reports = LoadExportReports(session, categories);
        if (opts.contains("--all-reports")) {
            options.reportIds = ExportTreeReportIds(categories, reports);
        } else if (opts.contains("--category")) {
            bool found = false;
            for (const ExportTreeNode &c : categories)
                found = found || c.id == category;
            if (!found)
                throw AppError(ErrorNumber::InvalidArgument,
                               QStringLiteral("Category %1 is not in the export tree.").arg(category));
            options.reportIds = ExportTreeReportIds(categories, reports, category);
        } else if (!wantedReports.isEmpty()) {
            const QList<int> order = ExportTreeReportIds(categories, reports);
            const QSet<int> listed(order.begin(), order.end());
            for (int id : std::as_const(wantedReports))
                if (!listed.contains(id))
                    throw AppError(ErrorNumber::InvalidArgument,
                                   QStringLiteral("Report %1 cannot be exported: it does not exist, is deleted "
                                                  "or lies in the recycle bin.").arg(id));
            for (int id : order)
                if (wantedReports.contains(id))
                    options.reportIds << id;
        }

        if (macroPick != Pick::Report)
            options.macroMode = ExportOptions::MacroMode::Selected;
        if (macroPick == Pick::All)
            options.macroIds = allIds(session, QStringLiteral("Select IdMacro From ZAT_Macros Order By IdMacro"));
        if (dataSourcePick != Pick::Report)
            options.dataSourceMode = ExportOptions::DataSourceMode::Selected;
        if (dataSourcePick == Pick::All)
            options.dataSourceIds =
                allIds(session, QStringLiteral("Select IdDataSource From ZAT_DataSource Order By Name, IdDataSource"));

        StderrProgress progress;
        ExportRun run(session, options, &progress);
        run.onStepFailure = [&](const AppError &e, const QString &where) {
            stepFailed = true;
            PrintError(ErrorLines(e, where));
        };
        TransferRecording::runExport(session, run, options, &recorded,
                                     [](const AppError &e) { PrintError(e.description); });
    } catch (const std::exception &e) {
        const auto *known = dynamic_cast<const AppError *>(&e);
        PrintError(ErrorLines(known ? *known : AppError(ErrorNumber::Generic, QString::fromLocal8Bit(e.what())), origin));
        // A run that failed was recorded too; a failure before it started has nothing to print.
        if (json && !recorded.outcome.isEmpty())
            JsonOutput::print(JsonOutput::run(recorded, true));
        return 1;
    }
    if (json)
        JsonOutput::print(JsonOutput::run(recorded, true));
    else
        QTextStream(stdout) << options.packagePath << Qt::endl;
    return stepFailed ? 1 : 0;
}
