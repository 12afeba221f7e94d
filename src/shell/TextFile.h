#pragma once

#include <QByteArray>
#include <QString>

// Plain text files holding exactly an editor's text: macro bodies and lookup queries. Files from
// older Windows tools are Windows-1252; what we write is Windows-1252 while that reads back as the
// same text, so those tools keep reading it, and UTF-8 with a byte-order mark otherwise.
namespace TextFile {

// A byte-order mark names the encoding; bytes that are valid UTF-8 with non-ASCII sequences are
// UTF-8; anything else is Windows-1252.
QString decode(const QByteArray &bytes);
// decode(encode(text)) == text for every text.
QByteArray encode(const QString &text);

// Both throw AppError when the file cannot be read or written. write replaces an existing file
// only once the new one is complete.
QString read(const QString &path);
void write(const QString &path, const QString &text);

} // namespace TextFile
