#include "Commands.h"

#include "repository/FileReplacement.h"
#include "repository/PackageFile.h"
#include "repository/RepositorySession.h"
#include "samples/SampleSet.h"

#include <QFileInfo>
#include <QMap>
#include <QTextStream>

QString InitUsage()
{
    return QStringLiteral("  init --repository PATH [--sample]\n"
                          "      create an empty file repository at PATH (\".mdb\" is appended when missing);\n"
                          "      an existing file is never replaced; --sample fills it with the sample set,\n"
                          "      its sales data written beside it\n");
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
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
        PrintError(QStringLiteral("velmora-transfer init: '%1' already exists; nothing was changed.").arg(path));
        return 1;
    }
    RepositorySession session;
    {
        // Written beside the path and moved there whole: a failure leaves no half repository.
        FileReplacement file(path);
        session.CreateDatabase(file.temporaryPath());
        file.commit(false);
    }
    session.setDatabasePath(path);
    session.OpenFile(path); // proves the new file opens as a repository
    if (opts.contains(QStringLiteral("--sample")))
        SampleSet::Add(session);
    QTextStream(stdout) << path << Qt::endl;
    return 0;
}
