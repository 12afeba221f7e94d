#include "Commands.h"
#include "CommandSupport.h"
#include "JsonOutput.h"

#include "repository/AppError.h"
#include "repository/RepositoryArgument.h"
#include "repository/RepositorySession.h"
#include "transfer/TransferLog.h"

#include <QTextStream>

QString LogUsage()
{
    return QStringLiteral(
        "  log --repository REPO [--filter TEXT] [--run ID] [--json]\n"
        "      the repository's transfer history, newest first: id, start, user, direction,\n"
        "      outcome, reports, package, package identity and message, tab-separated.\n"
        "      --filter keeps the runs that mention TEXT (also in a report's name or code);\n"
        "      --run ID prints that run followed by its reports (package id, code, name,\n"
        "      destination id, action). --json prints one JSON document instead.\n");
}

namespace {

QString runLine(const TransferLog::Run &r)
{
    return QStringList{QString::number(r.id), r.started.toString(Qt::ISODate), r.user, r.direction, r.outcome,
                       QString::number(r.counts.reports), r.packagePath, r.packageIdentity, r.message}
        .join(QLatin1Char('\t'));
}

int printLog(const QMap<QString, QString> &opts, int runId)
{
    RepositorySession session;
    OpenRepositoryArgument(session, opts.value("--repository"));
    const bool json = opts.contains("--json");
    QTextStream out(stdout);
    if (opts.contains("--run")) {
        const TransferLog::Run r = TransferLog::read(session.Connection(), runId);
        if (r.id == 0)
            throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("The history has no run %1.").arg(runId));
        if (json) {
            JsonOutput::print(JsonOutput::run(r, true));
            return 0;
        }
        out << runLine(r) << Qt::endl;
        for (const TransferLog::Line &l : r.lines)
            out << QStringList{QString::number(l.packageId), l.code, l.name,
                               l.destinationId ? QString::number(l.destinationId) : QString(), l.action}
                       .join(QLatin1Char('\t'))
                << Qt::endl;
        return 0;
    }
    const QList<TransferLog::Run> runs = TransferLog::list(session.Connection(), opts.value("--filter"));
    if (json) {
        JsonOutput::print({{"transfers", JsonOutput::array(runs, [](const TransferLog::Run &r) {
                                return JsonOutput::run(r, false);
                            })}});
        return 0;
    }
    for (const TransferLog::Run &r : runs)
        out << runLine(r) << Qt::endl;
    return 0;
}

} // namespace

int LogCommand(const QStringList &args)
{
    if (args.contains(QStringLiteral("--help"))) {
        QTextStream(stdout) << LogUsage();
        return 0;
    }
    QMap<QString, QString> opts;
    QString problem;
    auto usageError = [](const QString &why) {
        PrintError(QStringLiteral("velmora-transfer log: %1\n").arg(why) + LogUsage());
        return 2;
    };
    if (!ParseOptions(args, {"--repository", "--filter", "--run"}, opts, problem, {"--json"}))
        return usageError(problem);
    if (opts.value("--repository").isEmpty())
        return usageError(QStringLiteral("--repository is required"));
    bool ok = true;
    const int runId = opts.value("--run", QStringLiteral("0")).toInt(&ok);
    if (!ok || (opts.contains("--run") && runId <= 0))
        return usageError(QStringLiteral("--run needs a run id"));
    try {
        return printLog(opts, runId);
    } catch (const std::exception &e) {
        const auto *known = dynamic_cast<const AppError *>(&e);
        PrintError(ErrorLines(known ? *known : AppError(ErrorNumber::Generic, QString::fromLocal8Bit(e.what())),
                              QStringLiteral("log")));
    }
    return 1;
}
