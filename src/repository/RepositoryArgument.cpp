#include "RepositoryArgument.h"

#include "RepositorySession.h"

#include <QUrl>
#include <QUrlQuery>

void OpenRepositoryArgument(RepositorySession &session, const QString &text)
{
    const QUrl url(text);
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("postgresql") && scheme != QLatin1String("postgres")) {
        session.OpenFile(text);
        return;
    }
    const QUrlQuery query(url);
    const QString host = query.hasQueryItem(QStringLiteral("host"))
                             ? query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded)
                             : url.host();
    const int port = query.hasQueryItem(QStringLiteral("port")) ? query.queryItemValue(QStringLiteral("port")).toInt()
                                                               : url.port(5432);
    const QString user = url.userName(QUrl::FullyDecoded);
    const QString database = url.path(QUrl::FullyDecoded).mid(1);
    session.OpenServer(host, port, database.isEmpty() ? user : database, user, url.password(QUrl::FullyDecoded));
}
