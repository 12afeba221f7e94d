#pragma once

#include <QList>
#include <QString>

class RepositorySession;

// The sample set: a category "Samples" with workbook and text reports on a small SQLite sales
// database, two data sources with typed variables, lookups and a dependency, a macro category
// with macros and references, and a role with its grants and a user. Everything is ordinary
// repository content, deleted like anything else.
namespace SampleSet {

inline const QString CategoryName = QStringLiteral("Samples");

struct Created {
    int category = 0;
    QList<int> reports; // in display order
    QString salesPath;  // the sample sales database the data sources read
};

// Where the sales database of the session's repository goes: beside a file repository, named
// after it; for a server repository, in the user's data folder, named after server and database
// (a server has no folder of ours, and each user's console reads its own copy).
QString SalesPath(const RepositorySession &session);

// Writes the sales database (at salesPath, or SalesPath) and adds the samples to the session's
// repository. Throws AppError, before writing anything, when the repository already holds an
// object of the samples' names.
Created Add(RepositorySession &session, const QString &salesPath = QString());

// A new file repository at path (an existing file is replaced) holding the samples, with its
// sales database beside it. On failure neither file is left behind.
Created CreateRepository(const QString &path);

} // namespace SampleSet
