#include "ToolRun.h"

#include <QProcess>

int RunTool(const QString &name, const QStringList &args, QString *out, QString *err)
{
    QProcess p;
    p.start(qEnvironmentVariable("VELMORA_TEST_BINARY_DIR") + QStringLiteral("/apps/") + name, args);
    if (!p.waitForFinished(120000))
        return -1;
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput());
    if (err)
        *err = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}
