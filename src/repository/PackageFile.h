#pragma once

#include <QSqlDatabase>
#include <QString>

// Package files and file repositories: SQLite files with the repository layout, a format
// marker and the salted hash of their password.
namespace PackageFile {

// The largest text or blob one value of a package may hold; a larger one fails the read.
inline constexpr int MaxValueBytes = 16 * 1024 * 1024;

// Throws AppError with a clear message when path is missing, not a regular file, empty or not
// an SQLite file.
void checkSqliteFile(const QString &path);

// What path names when it is neither missing nor a regular file ("a directory", "a named pipe
// (FIFO)", "a device", "a socket"); empty otherwise.
QString nonRegularKind(const QString &path);

// Throws AppError unless path is free or holds a package that may be replaced: a folder,
// a pipe, a device, a repository or any other file is never replaced.
void checkReplaceable(const QString &path);

// Refuses a package holding a value the destination cannot store, naming its table, row and
// column: ids and whole numbers beyond 32 bits, infinite numbers, codes longer than 50 characters
// and, for a PostgreSQL destination, texts with a NUL character.
void checkValues(const QSqlDatabase &package, bool postgresDestination);

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
