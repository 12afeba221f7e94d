#include "Commands.h"

QString ImportUsage() { return QStringLiteral("  import ...   (not available yet)\n"); }

int ImportCommand(const QStringList &)
{
    PrintError(QStringLiteral("velmora-transfer import: not available yet"));
    return 2;
}
