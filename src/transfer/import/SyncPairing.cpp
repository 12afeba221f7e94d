#include "SyncPairing.h"

#include "repository/AppError.h"
#include "repository/Sql.h"

#include <QHash>

int FindSyncPartner(const QSqlDatabase &destination, const QString &code)
{
    if (code.trimmed().isEmpty())
        return 0;
    return Sql::scalar(destination,
                       QStringLiteral("Select IdReport From ZAT_Report Where SyncronizeCode = ? "
                                      "And Coalesce(IsDeleted, 0) = 0 Order By IdReport"),
                       {code})
        .toInt();
}

QList<SyncCandidate> LoadSyncCandidates(const QSqlDatabase &package, const QSqlDatabase &destination)
{
    QList<SyncCandidate> list;
    QHash<QString, int> byCode;
    QSqlQuery q = Sql::exec(package, QStringLiteral(" Select IdReport, Name, SyncronizeCode From ZAT_Report Order By Name"));
    while (q.next()) {
        SyncCandidate c;
        c.idReport = Sql::integer(q, "IdReport");
        c.name = Sql::text(q, "Name");
        c.code = Sql::text(q, "SyncronizeCode").trimmed();
        if (!c.code.isEmpty()) {
            if (byCode.contains(c.code))
                throw AppError(ErrorNumber::BadFile,
                               QStringLiteral("The package holds two reports with the synchronisation code %1.").arg(c.code));
            byCode.insert(c.code, int(list.size()));
        }
        list << c;
    }
    if (byCode.isEmpty())
        return list;
    QSqlQuery d = Sql::exec(destination,
                            QStringLiteral("Select IdReport, Name, SyncronizeCode From ZAT_Report "
                                           "Where Coalesce(IsDeleted, 0) = 0 And SyncronizeCode Is Not Null "
                                           "Order By IdReport"));
    while (d.next()) {
        auto it = byCode.constFind(Sql::text(d, "SyncronizeCode").trimmed());
        if (it == byCode.constEnd())
            continue;
        SyncCandidate &c = list[*it];
        if (c.partnerId != 0)
            continue;
        c.partnerId = Sql::integer(d, "IdReport");
        c.partnerName = Sql::text(d, "Name");
    }
    return list;
}
