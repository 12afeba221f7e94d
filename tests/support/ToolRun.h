#pragma once

#include <QString>
#include <QStringList>

// Runs a command-line tool of this build (apps/<name>) as a user runs it. Returns its exit
// status, or -1 when it crashed or had not finished after two minutes; its stdout and stderr
// (UTF-8) go to out and err when given.
int RunTool(const QString &name, const QStringList &args, QString *out = nullptr, QString *err = nullptr);
