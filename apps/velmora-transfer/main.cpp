#include "Commands.h"

#include "repository/AppError.h"
#include "repository/RepositoryArgument.h"
#include "repository/Version.h"

#include <QCoreApplication>
#include <QMap>
#include <QTextStream>
#include <cstdio>

static QString usage()
{
    return QStringLiteral("Usage: velmora-transfer COMMAND [OPTIONS]\n\nCommands:\n")
         + InitUsage() + ExportUsage() + ImportUsage() + LogUsage()
         + QStringLiteral("\n  --password-file FILE  (with any command) the PostgreSQL password in the first line of FILE;\n"
                          "        without it a password the URI leaves out comes from PGPASSWORD, ~/.pgpass or\n"
                          "        ?service=NAME\n"
                          "  --version  the program's name and version\n"
                          "  --help  show this text\n");
}

void PrintError(const QString &text)
{
    QTextStream err(stderr);
    err << text << Qt::endl;
}

bool ParseOptions(const QStringList &args, const QStringList &known, QMap<QString, QString> &values,
                  QString &problem, const QStringList &flags)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString a = args[i];
        if (flags.contains(a)) {
            values.insert(a, QStringLiteral("1"));
            continue;
        }
        if (!known.contains(a)) {
            problem = QStringLiteral("unknown option '%1'").arg(a);
            return false;
        }
        if (i + 1 >= args.size() || args[i + 1].startsWith(QStringLiteral("--"))) {
            problem = QStringLiteral("option '%1' needs a value").arg(a);
            return false;
        }
        values.insert(a, args[++i]);
    }
    return true;
}

// "--password-file FILE" serves every command: the password goes into the repository URI in
// memory, so the commands need not know of it. False (usage printed) when FILE is missing.
static bool TakePasswordFile(QStringList &args)
{
    const int at = args.indexOf(QStringLiteral("--password-file"));
    if (at < 0)
        return true;
    if (at + 1 >= args.size()) {
        PrintError(QStringLiteral("velmora-transfer: option '--password-file' needs a value\n\n") + usage());
        return false;
    }
    const QString password = ReadPasswordFile(args.at(at + 1));
    args.remove(at, 2);
    bool used = false;
    for (const QString &option : {QStringLiteral("--repository"), QStringLiteral("--server")}) {
        const int i = args.indexOf(option);
        if (i >= 0 && i + 1 < args.size()) {
            args[i + 1] = WithPassword(args.at(i + 1), password);
            used = true;
        }
    }
    if (!used)
        throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("--password-file needs a --repository URI."));
    return true;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Velmora"));
    QCoreApplication::setApplicationName(QStringLiteral("Velmora"));
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        PrintError(usage());
        return 2;
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")) {
        QTextStream(stdout) << usage();
        return 0;
    }
    if (command == QLatin1String("--version")) {
        QTextStream(stdout) << VersionLine(QStringLiteral("velmora-transfer")) << Qt::endl;
        return 0;
    }
    try {
        if (!TakePasswordFile(args))
            return 2;
        if (command == QLatin1String("init"))
            return InitCommand(args);
        if (command == QLatin1String("export"))
            return ExportCommand(args);
        if (command == QLatin1String("import"))
            return ImportCommand(args);
        if (command == QLatin1String("list"))
            return ListCommand(args);
        if (command == QLatin1String("log"))
            return LogCommand(args);
    } catch (const AppError &e) {
        PrintError(e.description);
        return 1;
    } catch (const std::exception &e) {
        PrintError(QString::fromLocal8Bit(e.what()));
        return 1;
    }
    PrintError(QStringLiteral("velmora-transfer: unknown command '%1'\n\n").arg(command) + usage());
    return 2;
}
