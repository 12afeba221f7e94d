#pragma once

#include <QString>

// The project's version, as every program and the About window show it.
inline QString VersionNumber()
{
    return QStringLiteral("%1.%2.%3").arg(VELMORA_VERSION_MAJOR).arg(VELMORA_VERSION_MINOR).arg(VELMORA_VERSION_PATCH);
}

// The line `--version` prints: the program's name and the version.
inline QString VersionLine(const QString &program) { return program + QLatin1Char(' ') + VersionNumber(); }
