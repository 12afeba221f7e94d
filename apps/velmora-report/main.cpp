// velmora-report: produces a report's workbook or text file without the console, for schedulers.
// Exit status 0 success (the path written on stdout), 1 failure (the reason on stderr),
// 2 bad arguments (usage on stderr).
#include "reportengine/ReportDefinition.h"
#include "reportengine/ReportEngine.h"
#include "repository/AppError.h"
#include "repository/RepositoryArgument.h"
#include "repository/RepositorySession.h"
#include "repository/Sql.h"
#include "repository/Version.h"

#include <QCoreApplication>
#include <QMap>
#include <QTextStream>

static QString usage()
{
    return QStringLiteral(
        "Usage: velmora-report --repository REPO --report ID [--set NAME=VALUE]... [--output FILE] [--company ID]\n"
        "                      [--password-file FILE]\n"
        "       velmora-report --version\n"
        "  REPO     a file repository path, or a PostgreSQL URI (postgresql://user@host:port/database); a\n"
        "           password the URI leaves out comes from PGPASSWORD, ~/.pgpass or ?service=NAME\n"
        "  --password-file the PostgreSQL password in the first line of FILE\n"
        "  --set    the value of a variable of the report's data source (else its default value)\n"
        "  --output the file to write (else the report's destination)\n"
        "  --company the company whose file server holds relative destinations (else the first one)\n");
}

static int badArguments(const QString &problem)
{
    QTextStream(stderr) << "velmora-report: " << problem << "\n\n" << usage();
    return 2;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Velmora"));
    QCoreApplication::setApplicationName(QStringLiteral("Velmora"));
    const QStringList args = app.arguments().mid(1);
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        QTextStream(stdout) << usage();
        return 0;
    }
    if (args.contains(QStringLiteral("--version"))) {
        QTextStream(stdout) << VersionLine(QStringLiteral("velmora-report")) << Qt::endl;
        return 0;
    }
    QString repo, output, passwordFile;
    int reportId = 0, companyId = 0;
    QMap<QString, QString> values;
    for (int i = 0; i < args.size(); ++i) {
        const QString a = args[i];
        static const QStringList withValue = {"--repository", "--report", "--set", "--output", "--company",
                                             "--password-file"};
        if (!withValue.contains(a))
            return badArguments(QStringLiteral("unknown option '%1'").arg(a));
        if (i + 1 >= args.size())
            return badArguments(QStringLiteral("option '%1' needs a value").arg(a));
        const QString v = args[++i];
        bool ok = true;
        if (a == QLatin1String("--repository")) {
            repo = v;
        } else if (a == QLatin1String("--report")) {
            reportId = v.toInt(&ok);
            if (!ok || reportId <= 0)
                return badArguments(QStringLiteral("--report needs a report id (a positive number), not '%1'").arg(v));
        } else if (a == QLatin1String("--company")) {
            companyId = v.toInt(&ok);
            if (!ok || companyId <= 0)
                return badArguments(QStringLiteral("--company needs a company id, not '%1'").arg(v));
        } else if (a == QLatin1String("--output")) {
            output = v;
        } else if (a == QLatin1String("--password-file")) {
            passwordFile = v;
        } else {
            const int eq = v.indexOf(QLatin1Char('='));
            if (eq <= 0)
                return badArguments(QStringLiteral("--set needs NAME=VALUE, not '%1'").arg(v));
            values.insert(v.left(eq), v.mid(eq + 1));
        }
    }
    if (repo.isEmpty())
        return badArguments(QStringLiteral("--repository is required"));
    if (reportId <= 0)
        return badArguments(QStringLiteral("--report is required"));

    try {
        RepositorySession session;
        OpenRepositoryArgument(session, passwordFile.isEmpty() ? repo : WithPassword(repo, ReadPasswordFile(passwordFile)));
        QSqlDatabase db = session.Connection();
        if (companyId <= 0)
            companyId = Sql::scalar(db, QStringLiteral("Select Min(IdAuthor) From ZAT_Company")).toInt();
        const ReportDefinition def = LoadReportDefinition(db, reportId);
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            bool known = false;
            for (const ReportVariable &v : def.variables)
                known = known || v.name.compare(it.key(), Qt::CaseInsensitive) == 0;
            if (!known)
                throw AppError(ErrorNumber::InvalidArgument,
                               QStringLiteral("The data source of the report has no variable '%1'.").arg(it.key()));
        }
        ReportEngine engine;
        engine.Init(db, companyId);
        FixedParameterValues fixed(values);
        const QString written = engine.Run(reportId, output, fixed);
        QTextStream(stdout) << written << Qt::endl;
        return 0;
    } catch (const AppError &e) {
        QTextStream(stderr) << e.description << Qt::endl;
        return 1;
    } catch (const std::exception &e) {
        QTextStream(stderr) << QString::fromLocal8Bit(e.what()) << Qt::endl;
        return 1;
    }
}
