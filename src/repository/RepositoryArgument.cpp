#include "RepositoryArgument.h"

#include "AppError.h"
#include "RepositorySession.h"

#include <QFile>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

static bool isServerUri(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("postgresql") || scheme == QLatin1String("postgres");
}

// A connection parameter value as the client library reads it: quoted when it needs to be.
static QString parameterValue(const QString &value)
{
    if (!value.isEmpty() && !value.contains(QLatin1Char(' ')) && !value.contains(QLatin1Char('\''))
        && !value.contains(QLatin1Char('\\')))
        return value;
    QString v = value;
    v.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    v.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + v + QLatin1Char('\'');
}

void OpenRepositoryArgument(RepositorySession &session, const QString &text)
{
    const QUrl url(text);
    if (!isServerUri(url)) {
        session.OpenFile(text);
        return;
    }
    const QUrlQuery query(url);
    auto item = [&](const char *name, const QString &fallback) {
        const QString key = QLatin1String(name);
        return query.hasQueryItem(key) ? query.queryItemValue(key, QUrl::FullyDecoded) : fallback;
    };
    const QString host = item("host", url.host());
    const int port = item("port", QString::number(qMax(url.port(0), 0))).toInt();
    const QString user = item("user", url.userName(QUrl::FullyDecoded));
    const QString password = item("password", url.password(QUrl::FullyDecoded));
    const QString database = item("dbname", url.path(QUrl::FullyDecoded).mid(1));
    static const QStringList mapped{QStringLiteral("host"), QStringLiteral("port"), QStringLiteral("user"),
                                    QStringLiteral("password"), QStringLiteral("dbname")};
    QStringList options;
    for (const auto &[name, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (mapped.contains(name))
            continue;
        // The server driver separates its options with ';'.
        if (value.contains(QLatin1Char(';')) || name.contains(QLatin1Char(';')) || name.contains(QLatin1Char('=')))
            throw AppError(ErrorNumber::InvalidArgument,
                           QStringLiteral("The connection parameter '%1' of the URI cannot be used.").arg(name));
        options << name + QLatin1Char('=') + parameterValue(value);
    }
    session.OpenServer(host, port, database, user, password, options.join(QLatin1Char(';')));
}

QString ReadPasswordFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(ErrorNumber::InvalidArgument,
                       QStringLiteral("The password file '%1' cannot be read: %2").arg(path, file.errorString()));
    QByteArray line = file.readLine(64 * 1024);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty())
        throw AppError(ErrorNumber::InvalidArgument, QStringLiteral("The password file '%1' holds no password.").arg(path));
    return QString::fromUtf8(line);
}

QString WithPassword(const QString &uri, const QString &password)
{
    QUrl url(uri);
    if (!isServerUri(url))
        throw AppError(ErrorNumber::InvalidArgument,
                       QStringLiteral("A password file serves a PostgreSQL repository (postgresql://...), not a file."));
    if (!url.password().isEmpty() || QUrlQuery(url).hasQueryItem(QStringLiteral("password")))
        throw AppError(ErrorNumber::InvalidArgument,
                       QStringLiteral("The URI already holds a password; give it either there or in the password file."));
    url.setPassword(password, QUrl::DecodedMode);
    return url.toString(QUrl::FullyEncoded);
}
