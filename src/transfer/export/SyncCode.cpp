#include "SyncCode.h"

#include "repository/Sql.h"

#include <QRandomGenerator>
#include <QStringList>
#include <cmath>

quint32 SyncCodeChunk(double u)
{
    return quint32(std::fabs(std::floor(u * -999989999.0 + 10000.0)));
}

static const int CodeLength = 50;
static const int LookupBatch = 500;

QStringList GenerateSyncronizeCodes(const QSqlDatabase &db, int count, const QSet<QString> *alsoTaken,
                                    const std::function<double()> &uniform)
{
    auto draw = [&]() { return uniform ? uniform() : QRandomGenerator::system()->generateDouble(); };
    QStringList codes;
    for (int i = 0; i < count; ++i)
        codes << QString();
    QList<int> pending;
    for (int i = 0; i < count; ++i)
        pending << i;
    QSet<QString> handedOut;
    while (!pending.isEmpty()) {
        for (int i : std::as_const(pending)) {
            QString code;
            do {
                code.clear();
                while (code.size() < CodeLength)
                    code += QString::number(SyncCodeChunk(draw()));
                code.truncate(CodeLength);
            } while ((alsoTaken && alsoTaken->contains(code)) || handedOut.contains(code));
            codes[i] = code;
            handedOut.insert(code);
        }
        // One look-up for a whole batch; a taken code is replaced by a complete new one.
        QList<int> taken;
        for (int start = 0; start < pending.size(); start += LookupBatch) {
            const QList<int> part = pending.mid(start, LookupBatch);
            QStringList marks;
            QVariantList binds;
            QHash<QString, int> indexOf;
            for (int i : part) {
                marks << QStringLiteral("?");
                binds << codes[i];
                indexOf.insert(codes[i], i);
            }
            QSqlQuery q = Sql::exec(db, QStringLiteral("Select SyncronizeCode From ZAT_Report Where SyncronizeCode In (%1)")
                                            .arg(marks.join(QLatin1Char(','))),
                                    binds);
            while (q.next()) {
                const int i = indexOf.value(q.value(0).toString(), -1);
                if (i >= 0 && !taken.contains(i))
                    taken << i;
            }
        }
        pending = taken;
    }
    return codes;
}

QString GenerateSyncronizeCode(const QSqlDatabase &db, const QSet<QString> *alsoTaken,
                               const std::function<double()> &uniform)
{
    return GenerateSyncronizeCodes(db, 1, alsoTaken, uniform).first();
}
