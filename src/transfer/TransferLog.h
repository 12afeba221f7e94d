#pragma once

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>

// The transfer history of a repository: who moved which reports, when, in which direction,
// through which package, and how it ended.
namespace TransferLog {

inline const QString Export = QStringLiteral("export");
inline const QString Import = QStringLiteral("import");
inline const QString Finished = QStringLiteral("finished");
inline const QString Failed = QStringLiteral("failed");

// What one run carried, by kind.
struct Counts {
    int reports = 0;
    int dataSources = 0;
    int variables = 0;
    int macroCategories = 0;
    int macros = 0;
    int roles = 0;
    int applications = 0;
    int users = 0;
};

// One report of a run. An export names the report by its repository id, which the package keeps
// (destinationId 0); an import by its package id and the report it became or overwrote.
struct Line {
    int packageId = 0;
    QString code;
    QString name;
    int destinationId = 0; // 0: none
    QString action;
};

struct Run {
    int id = 0; // set by record()
    QDateTime started;
    QDateTime finished;
    QString user;
    QString direction;   // Export or Import
    QString packagePath;
    QString packageIdentity; // "" when the package carries none
    QString options;     // the run's choices as "name=value" words
    Counts counts;
    QString outcome;     // Finished or Failed
    QString message;
    QList<Line> lines;   // filled by record's caller and by lines(); list() leaves it empty
};

// Adds the run and its lines in one transaction; returns the run's id. Throws AppError.
int record(const QSqlDatabase &db, Run &run);

// The runs, newest first. A filter keeps the runs whose user, direction, package, identity,
// options, outcome or message contains it, or one of whose reports has it in its name or code
// (letter case ignored).
QList<Run> list(const QSqlDatabase &db, const QString &filter = QString());

// One run with its lines in the order they were recorded; id 0 when there is no such run.
Run read(const QSqlDatabase &db, int id);

} // namespace TransferLog
