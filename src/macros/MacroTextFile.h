#pragma once

#include <QByteArray>
#include <QString>

// Macro bodies as plain text files. Files from older Windows tools are Windows-1252; what we write
// is Windows-1252 while every character fits, so those tools keep reading it, and UTF-8 with a
// byte-order mark otherwise, so no character is ever lost.
namespace MacroTextFile {

QByteArray encode(const QString &text);
QString decode(const QByteArray &bytes);

// Both throw AppError when the file cannot be read or written. write replaces an existing file.
QString read(const QString &path);
void write(const QString &path, const QString &text);

} // namespace MacroTextFile
