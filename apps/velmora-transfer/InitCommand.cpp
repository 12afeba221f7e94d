#include "Commands.h"

#include "repository/RepositorySession.h"

#include <QMap>
#include <QTextStream>

QString InitUsage()
{
    return QStringLiteral("  init --repository PATH\n"
                          "      create an empty file repository at PATH (\".mdb\" is appended when missing)\n");
}

int InitCommand(const QStringList &args)
{
    QMap<QString, QString> opts;
    QString problem;
    if (args.contains(QStringLiteral("--help"))) {
        QTextStream(stdout) << InitUsage();
        return 0;
    }
    if (!ParseOptions(args, {QStringLiteral("--repository")}, opts, problem) || !opts.contains(QStringLiteral("--repository"))) {
        PrintError(QStringLiteral("velmora-transfer init: %1\n").arg(problem.isEmpty() ? QStringLiteral("--repository is required") : problem) + InitUsage());
        return 2;
    }
    QString path = opts.value(QStringLiteral("--repository"));
    if (path.right(4).toUpper() != QLatin1String(".MDB"))
        path += QStringLiteral(".mdb");
    RepositorySession session;
    session.setDatabasePath(path);
    session.ResetConnection();
    session.CreateDatabase(QString());
    session.OpenFile(path); // proves the new file opens as a repository
    QTextStream(stdout) << path << Qt::endl;
    return 0;
}
