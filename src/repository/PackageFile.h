#pragma once

#include <QSqlDatabase>
#include <QString>

// Package files and file repositories: SQLite files with the repository layout, a format
// marker and the salted hash of their password.
namespace PackageFile {

// Throws AppError with a clear message when path is missing, empty or not an SQLite file.
void checkSqliteFile(const QString &path);

// Opens an existing file read-write (the export's package, a file repository) after checking
// that it is a Velmora file and that password is its password.
QSqlDatabase openForWriting(const QString &path, const QString &password, const QString &connectionName);

// Opens a package that came from elsewhere: read-only, with SQLite's settings for files of
// unknown origin applied before any other statement, an integrity check, and the layout,
// marker and password checked before anything is read.
QSqlDatabase openForReading(const QString &path, const QString &password, const QString &connectionName);

// A chosen file name with ".mdb" appended unless it already ends so, in any letter case.
QString withMdbExtension(const QString &path);

// Closes and forgets a connection opened by one of the functions above.
void close(const QString &connectionName);

} // namespace PackageFile
