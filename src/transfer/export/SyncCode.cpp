#include "SyncCode.h"

#include "repository/Sql.h"

#include <QRandomGenerator>
#include <cmath>

quint32 SyncCodeChunk(double u)
{
    return quint32(std::fabs(std::floor(u * -999989999.0 + 10000.0)));
}

static const int CodeLength = 50;

QString GenerateSyncronizeCode(const QSqlDatabase &db, const QSet<QString> *alsoTaken,
                               const std::function<double()> &uniform)
{
    auto draw = [&]() { return uniform ? uniform() : QRandomGenerator::system()->generateDouble(); };
    for (;;) {
        QString code;
        while (code.size() < CodeLength)
            code += QString::number(SyncCodeChunk(draw()));
        code.truncate(CodeLength);
        if (alsoTaken && alsoTaken->contains(code))
            continue;
        const int taken = Sql::scalar(db, QStringLiteral("Select count(*) From ZAT_Report Where SyncronizeCode = ?"),
                                      {code})
                              .toInt();
        if (taken == 0)
            return code;
    }
}
