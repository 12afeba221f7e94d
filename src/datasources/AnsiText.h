#pragma once

#include <QByteArray>
#include <QString>

// Plain text files as older Windows tools and this console write them.
namespace AnsiText {

// Bytes with a UTF-8 byte-order mark, or valid UTF-8 holding non-ASCII sequences, are UTF-8;
// anything else is Windows-1252.
QString decode(const QByteArray &bytes);
// Windows-1252 when that holds every character and reads back as the same text; otherwise UTF-8
// with a byte-order mark, so that no character is lost and decode() gives the text back.
QByteArray encode(const QString &text);

// Whole-file helpers; false (and text untouched) when the file cannot be read or written.
bool readFile(const QString &path, QString &text);
bool writeFile(const QString &path, const QString &text);

} // namespace AnsiText
