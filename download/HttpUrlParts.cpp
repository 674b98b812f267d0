#include "download/HttpUrlParts.h"

#include <QHostAddress>

namespace {

// "http:" or "https:" without its slashes, as loose links write it: the length of the scheme and colon.
int LooseSchemeLength(const QString &url)
{
    for (const QLatin1String scheme : {QLatin1String("http:"), QLatin1String("https:")})
        if (url.startsWith(scheme, Qt::CaseInsensitive))
            return int(scheme.size());
    return 0;
}

} // namespace

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
    } else if (const int scheme = LooseSchemeLength(url)) {
        parts.Proto = url.left(scheme - 1).toLower();
        if (url.size() > scheme + 1 && url.at(scheme + 1) != QLatin1Char('/')) {
            parts.Path = url.mid(scheme);
            return parts;
        }
        rest = url.mid(scheme + 1);
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

    const int at = authority.lastIndexOf(QLatin1Char('@'));
    const QString hostPort = authority.mid(at + 1);
    const int close = hostPort.startsWith(QLatin1Char('[')) ? hostPort.indexOf(QLatin1Char(']')) : -1;
    if (close > 0) {
        // An IPv6 address has colons of its own: only one after its brackets names the port.
        parts.Host = hostPort.mid(1, close - 1);
        if (hostPort.mid(close + 1).startsWith(QLatin1Char(':')))
            parts.Port = hostPort.mid(close + 2);
    } else if (hostPort.count(QLatin1Char(':')) > 1 && !QHostAddress(hostPort).isNull()) {
        // A proxy named by a bare IPv6 address, its port given apart.
        parts.Host = hostPort;
    } else {
        const int colon = hostPort.lastIndexOf(QLatin1Char(':'));
        parts.Host = colon >= 0 ? hostPort.left(colon) : hostPort;
        if (colon >= 0)
            parts.Port = hostPort.mid(colon + 1);
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

QString THttpUrlParts::UrlHost(const QString &host)
{
    return host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
}

QString THttpUrlParts::PortOrDefault() const
{
    if (!Port.isEmpty())
        return Port;
    return QLatin1String(Proto.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 ? "443" : "80");
}

QString THttpUrlParts::ServerKey() const
{
    bool numeric = false;
    const int port = Port.toInt(&numeric);
    return UrlHost(Host.toLower()) + QLatin1Char(':') + (numeric ? QString::number(port) : PortOrDefault());
}

QString THttpUrlParts::RequestUrl() const
{
    return (Proto.isEmpty() ? QStringLiteral("http") : Proto) + QLatin1String("://") + UrlHost(Host)
           + (Port.isEmpty() ? QString() : QLatin1Char(':') + Port) + Path;
}
