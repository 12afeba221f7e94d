#include "Commands.h"

QString ExportUsage() { return QStringLiteral("  export ...   (not available yet)\n"); }

int ExportCommand(const QStringList &)
{
    PrintError(QStringLiteral("velmora-transfer export: not available yet"));
    return 2;
}
