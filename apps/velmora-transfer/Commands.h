#pragma once

#include <QMap>
#include <QStringList>

// Each command takes the arguments after its name and returns the exit status:
// 0 success, 1 failure (the error's description on stderr), 2 bad arguments (usage on stderr).
int InitCommand(const QStringList &args);
int ExportCommand(const QStringList &args);
int ImportCommand(const QStringList &args);
// velmora-transfer list: the reports of a package (its usage is part of ImportUsage).
int ListCommand(const QStringList &args);
// velmora-transfer log: the repository's transfer history.
int LogCommand(const QStringList &args);

// Usage lines of each command, printed by --help and after bad arguments.
QString InitUsage();
QString ExportUsage();
QString ImportUsage();
QString LogUsage();

// "--name value" options; returns false (and names the problem) on an unknown or incomplete option.
bool ParseOptions(const QStringList &args, const QStringList &known, QMap<QString, QString> &values,
                  QString &problem, const QStringList &flags = {});
void PrintError(const QString &text);
