#include "HttpUrlParts.h"

THttpUrlParts THttpUrlParts::Parse(const QString &url)
{
    THttpUrlParts parts;
    if (url.isEmpty())
        return parts;

    QString rest;
    const int schemeEnd = url.indexOf(QLatin1String("://"));
    if (schemeEnd >= 0) {
        parts.Proto = url.left(schemeEnd);
        rest = url.mid(schemeEnd + 3);
    } else if (url.startsWith(QLatin1Char('/'))) {
        parts.Proto = QStringLiteral("http");
        if (url.size() > 1 && url.at(1) != QLatin1Char('/')) {
            parts.Path = url;
            return parts;
        }
        rest = url.mid(1);
    } else if (url.left(5).toLower() == QLatin1String("http:")) {
        parts.Proto = QStringLiteral("http");
        if (url.size() > 6 && url.at(6) != QLatin1Char('/')) {
            parts.Path = url.mid(5);
            return parts;
        }
        rest = url.mid(6);
    } else if (url.left(7).toLower() == QLatin1String("mailto:")) {
        parts.Proto = QStringLiteral("mailto");
        rest = url.mid(url.indexOf(QLatin1Char(':')) + 1);
    } else {
        rest = url;
    }

    const int slash = rest.indexOf(QLatin1Char('/'));
    const QString authority = slash >= 0 ? rest.left(slash) : rest;
    if (slash >= 0)
        parts.Path = rest.mid(slash);

    const int colon = authority.lastIndexOf(QLatin1Char(':'));
    const int at = authority.lastIndexOf(QLatin1Char('@'));
    if (colon < 0 && at < 0) {
        parts.Host = authority;
        return parts;
    }
    if (colon > at) {
        parts.Port = authority.mid(colon + 1);
        parts.Host = authority.mid(at + 1, colon - at - 1);
    } else {
        parts.Host = authority.mid(at + 1);
    }
    if (at >= 0) {
        const QString userInfo = authority.left(at);
        const int split = userInfo.indexOf(QLatin1Char(':'));
        parts.User = split >= 0 ? userInfo.left(split) : userInfo;
        if (split >= 0)
            parts.Pass = userInfo.mid(split + 1);
    }
    return parts;
}
