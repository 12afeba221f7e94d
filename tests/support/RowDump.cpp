#include "RowDump.h"

#include "repository/Schema.h"
#include "repository/Sql.h"

#include <QSqlRecord>

namespace RowDump {

QStringList rows(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q = Sql::exec(db, sql);
    QStringList out;
    while (q.next()) {
        QStringList r;
        for (int i = 0; i < q.record().count(); ++i)
            r << (q.value(i).typeId() == QMetaType::QDateTime ? Sql::dateValue(q.value(i).toDateTime()).toString()
                                                              : q.value(i).toString());
        out << r.join(QLatin1Char('|'));
    }
    return out;
}

QStringList all(const QSqlDatabase &db)
{
    QStringList out;
    for (const Schema::Table &t : Schema::tables())
        for (const QString &r : rows(db, QStringLiteral("Select * From %1 Order By %2").arg(t.name, t.idColumn())))
            out << t.name + QLatin1Char(':') + r;
    return out;
}

} // namespace RowDump
