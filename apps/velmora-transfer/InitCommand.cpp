#include "Commands.h"

#include "repository/PackageFile.h"
#include "repository/RepositorySession.h"
#include "samples/SampleSet.h"

#include <QMap>
#include <QTextStream>

QString InitUsage()
{
    return QStringLiteral("  init --repository PATH [--sample]\n"
                          "      create an empty file repository at PATH (\".mdb\" is appended when missing);\n"
                          "      --sample fills it with the sample set, its sales data written beside it\n");
}

int InitCommand(const QStringList &args)
{
    QMap<QString, QString> opts;
    QString problem;
    if (args.contains(QStringLiteral("--help"))) {
        QTextStream(stdout) << InitUsage();
        return 0;
    }
    if (!ParseOptions(args, {QStringLiteral("--repository")}, opts, problem, {QStringLiteral("--sample")}) || !opts.contains(QStringLiteral("--repository"))) {
        PrintError(QStringLiteral("velmora-transfer init: %1\n").arg(problem.isEmpty() ? QStringLiteral("--repository is required") : problem) + InitUsage());
        return 2;
    }
    const QString path = PackageFile::withMdbExtension(opts.value(QStringLiteral("--repository")));
    RepositorySession session;
    session.setDatabasePath(path);
    session.ResetConnection();
    session.CreateDatabase(QString());
    session.OpenFile(path); // proves the new file opens as a repository
    if (opts.contains(QStringLiteral("--sample")))
        SampleSet::Add(session);
    QTextStream(stdout) << path << Qt::endl;
    return 0;
}
