#include "TransferLog.h"

#include "repository/AppError.h"
#include "repository/Sql.h"

#include <QSqlError>

namespace TransferLog {

namespace {

// Rows per INSERT of lines: one statement per line would make a run of 10,000 reports slow on a
// server, and Qt's SQLite driver binds each value in time growing with the statement's count of them.
constexpr int LinesPerStatement = 25;

const QString RunColumns = QStringLiteral(
    "IdTransfer, Started, Finished, UserName, Direction, PackagePath, PackageId, Options, Reports, DataSources, "
    "Variables, MacroCategories, Macros, Roles, Applications, Users, Outcome, Message");

Run runFrom(const QSqlQuery &q)
{
    Run r;
    r.id = Sql::integer(q, "IdTransfer");
    r.started = Sql::dateTime(q, "Started");
    r.finished = Sql::dateTime(q, "Finished");
    r.user = Sql::text(q, "UserName");
    r.direction = Sql::text(q, "Direction");
    r.packagePath = Sql::text(q, "PackagePath");
    r.packageIdentity = Sql::text(q, "PackageId");
    r.options = Sql::text(q, "Options");
    r.counts = {Sql::integer(q, "Reports"), Sql::integer(q, "DataSources"), Sql::integer(q, "Variables"),
                Sql::integer(q, "MacroCategories"), Sql::integer(q, "Macros"), Sql::integer(q, "Roles"),
                Sql::integer(q, "Applications"), Sql::integer(q, "Users")};
    r.outcome = Sql::text(q, "Outcome");
    r.message = Sql::text(q, "Message");
    return r;
}

void insertLines(const QSqlDatabase &db, int runId, const QList<Line> &lines)
{
    for (qsizetype from = 0; from < lines.size(); from += LinesPerStatement) {
        const QList<Line> part = lines.mid(from, LinesPerStatement);
        QStringList rows;
        QVariantList binds;
        for (const Line &l : part) {
            rows << QStringLiteral("(%1, ?, ?, ?, ?, ?)").arg(runId);
            binds << l.packageId << Sql::nullableText(l.code) << l.name
                  << (l.destinationId ? QVariant(l.destinationId) : QVariant(QMetaType(QMetaType::Int))) << l.action;
        }
        Sql::exec(db, QStringLiteral("Insert Into ZAT_TransferLogReport (IdTransfer, IdPackageReport, SyncronizeCode, "
                                     "Name, IdDestReport, TransferAction) Values ") + rows.join(QStringLiteral(", ")),
                  binds);
    }
}

} // namespace

int record(const QSqlDatabase &db, Run &run)
{
    QSqlDatabase d = db;
    const bool tx = d.transaction();
    try {
        const Counts &c = run.counts;
        run.id = Sql::insert(db, "ZAT_TransferLog", "IdTransfer",
                             {{"Started", Sql::dateValue(run.started)}, {"Finished", Sql::dateValue(run.finished)},
                              {"UserName", run.user}, {"Direction", run.direction},
                              {"PackagePath", run.packagePath}, {"PackageId", Sql::nullableText(run.packageIdentity)},
                              {"Options", run.options}, {"Reports", c.reports}, {"DataSources", c.dataSources},
                              {"Variables", c.variables}, {"MacroCategories", c.macroCategories},
                              {"Macros", c.macros}, {"Roles", c.roles}, {"Applications", c.applications},
                              {"Users", c.users}, {"Outcome", run.outcome}, {"Message", run.message}});
        insertLines(db, run.id, run.lines);
        if (tx && !d.commit())
            throw AppError(ErrorNumber::Database, d.lastError().text());
    } catch (...) {
        if (tx)
            d.rollback();
        run.id = 0;
        throw;
    }
    return run.id;
}

QList<Run> list(const QSqlDatabase &db, const QString &filter)
{
    QString where;
    QVariantList binds;
    if (!filter.trimmed().isEmpty()) {
        // Lower() and Upper() fold only ASCII letters on SQLite (and on a server database in the C
        // locale): comparing both ways also finds "Ümsatz" typed as "ümsatz" or "ÜMSATZ".
        const auto like = [](QString text) {
            text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
                .replace(QLatin1Char('%'), QStringLiteral("\\%"))
                .replace(QLatin1Char('_'), QStringLiteral("\\_"));
            return QLatin1Char('%') + text + QLatin1Char('%');
        };
        const QString lower = like(filter.trimmed().toLower());
        const QString upper = like(filter.trimmed().toUpper());
        const auto test = [&](const QString &column) {
            binds << lower << upper;
            return QStringLiteral("Lower(Coalesce(%1, '')) Like ? Escape '\\' Or Upper(Coalesce(%1, '')) Like ? Escape '\\'")
                .arg(column);
        };
        QStringList tests;
        for (const char *column : {"UserName", "Direction", "PackagePath", "PackageId", "Options", "Outcome", "Message"})
            tests << test(QLatin1String(column));
        const QString name = test(QStringLiteral("Name"));
        const QString code = test(QStringLiteral("SyncronizeCode"));
        tests << QStringLiteral("IdTransfer In (Select IdTransfer From ZAT_TransferLogReport Where %1 Or %2)").arg(name, code);
        where = QStringLiteral(" Where ") + tests.join(QStringLiteral(" Or "));
    }
    QList<Run> runs;
    QSqlQuery q = Sql::exec(db, QStringLiteral("Select %1 From ZAT_TransferLog%2 Order By Started Desc, IdTransfer Desc")
                                    .arg(RunColumns, where),
                            binds);
    while (q.next())
        runs << runFrom(q);
    return runs;
}

Run read(const QSqlDatabase &db, int id)
{
    QSqlQuery q = Sql::exec(db, QStringLiteral("Select %1 From ZAT_TransferLog Where IdTransfer = %2").arg(RunColumns).arg(id));
    if (!q.next())
        return Run();
    Run run = runFrom(q);
    QSqlQuery l = Sql::exec(db, QStringLiteral("Select IdPackageReport, SyncronizeCode, Name, IdDestReport, TransferAction "
                                               "From ZAT_TransferLogReport Where IdTransfer = %1 Order By IdLine")
                                    .arg(id));
    while (l.next())
        run.lines << Line{Sql::integer(l, "IdPackageReport"), Sql::text(l, "SyncronizeCode"), Sql::text(l, "Name"),
                          Sql::integer(l, "IdDestReport"), Sql::text(l, "TransferAction")};
    return run;
}

} // namespace TransferLog
