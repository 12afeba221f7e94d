#pragma once

#include <QString>

class RepositorySession;

// Opens the repository a command-line tool was given: a PostgreSQL URI
// (postgresql://user@host:port/database, a socket folder as ?host=/path, further connection
// parameters such as ?service=NAME as query items) or else the path of a file repository.
// What the URI leaves out (password, user, database, port) the server's client library takes
// from PGPASSWORD, ~/.pgpass, the service file and its other defaults. Throws AppError.
void OpenRepositoryArgument(RepositorySession &session, const QString &text);

// The password in the first line of a password file (--password-file). Throws AppError when the
// file cannot be read or its first line is empty.
QString ReadPasswordFile(const QString &path);

// The PostgreSQL URI with the password put in; it lives only in the program's memory, never in
// its arguments, which every user of the machine can read. Throws AppError for a file repository
// and for a URI that already holds a password.
QString WithPassword(const QString &uri, const QString &password);
