#include "CommandSupport.h"

#include <QStringList>
#include <QTextStream>

void StderrProgress::status(const QString &text)
{
    QTextStream(stderr) << text << Qt::endl;
}

QString ErrorLines(const AppError &e, const QString &origin)
{
    return QStringLiteral("Number : %1\nDescription : %2\nSource : %3\nOrigin : %4")
        .arg(e.number)
        .arg(e.description, e.source, origin);
}

bool ParseIds(const QString &text, QList<int> &ids)
{
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int id = part.trimmed().toInt(&ok);
        if (!ok)
            return false;
        if (!ids.contains(id))
            ids.append(id);
    }
    return true;
}
