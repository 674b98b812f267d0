// The request text of THttpCli: which lines are sent, in which order, and how text goes on the wire.
#include "download/HttpProt.h"

#include "download/HttpUrlParts.h"

#include <QUrl>

#include <cstdio>

namespace {
// URLs travel as ASCII: non-ASCII text becomes percent-encoded UTF-8, and blanks or control
// characters, which would break the request line, are encoded too.
QByteArray WireUrl(const QString &text)
{
    QByteArray out;
    for (const char c : text.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F)
            out += '%' + QByteArray::number(byte, 16).toUpper().rightJustified(2, '0');
        else
            out += c;
    }
    return out;
}

// A Referer tells where the link was found, never who fetched it: any user name and password in
// it, and its fragment, stay here, whatever the setting says and whoever is asked.
QString RefererUrl(const QString &text)
{
    QString url = text.left(text.indexOf(QLatin1Char('#')));
    const qsizetype scheme = url.indexOf(QLatin1StringView("://"));
    const qsizetype hostStart = scheme < 0 ? 0 : scheme + 3;
    qsizetype hostEnd = hostStart;
    while (hostEnd < url.size() && url[hostEnd] != u'/' && url[hostEnd] != u'?')
        ++hostEnd;
    const qsizetype at = hostEnd > hostStart ? url.lastIndexOf(QLatin1Char('@'), hostEnd - 1) : -1;
    if (at >= hostStart)
        url.remove(hostStart, at + 1 - hostStart);
    return url;
}

// Header values received as bytes come back unchanged; other text goes as UTF-8.
QByteArray WireText(const QString &text)
{
    for (const QChar c : text)
        if (c.unicode() > 0xFF)
            return text.toUtf8();
    return text.toLatin1();
}

// An IPv6 address goes in brackets, as in the URL; names go in their ASCII form.
QByteArray WireHost(const QString &host)
{
    return host.contains(QLatin1Char(':')) ? THttpUrlParts::UrlHost(host).toLatin1() : QUrl::toAce(host);
}

QByteArray BasicCredentials(const QString &user, const QString &password)
{
    return "Basic " + (user + QLatin1Char(':') + password).toUtf8().toBase64();
}

QByteArray HttpDate(const QDateTime &when)
{
    static const char days[] = "MonTueWedThuFriSatSun";
    static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const QDateTime utc = when.toUTC();
    const QDate d = utc.date();
    const QTime t = utc.time();
    char text[40];
    std::snprintf(text, sizeof text, "%.3s, %2.2d %.3s %4.4d %2.2d:%2.2d:%2.2d GMT", days + 3 * (d.dayOfWeek() - 1),
                  d.day(), months + 3 * (d.month() - 1), d.year(), t.hour(), t.minute(), t.second());
    return text;
}
} // namespace

QByteArray THttpCli::BuildRequest()
{
    QByteArray text;
    const auto put = [this, &text](const QByteArray &line) {
        if (OnCommand)
            OnCommand(this, QString::fromLatin1(line));
        text += line + "\r\n";
    };
    if (OnRequestHeaderBegin)
        OnRequestHeaderBegin(this);
    put((FRequestType == httpHEAD ? "HEAD " : "GET ") + WireUrl(FPath) + " HTTP/1.1");
    if (!Sender.isEmpty())
        put("From: " + WireText(Sender));
    if (!Accept.isEmpty())
        put("Accept: " + WireText(Accept));
    if (!Reference.isEmpty())
        put("Referer: " + WireUrl(RefererUrl(Reference)));
    if (!Agent.isEmpty())
        put("User-Agent: " + WireText(Agent));
    put("Host: " + WireHost(FHostName));
    if (NoCache)
        put("Pragma: no-cache");
    if (ModifiedSince.isValid())
        put("If-Modified-Since: " + HttpDate(ModifiedSince));
    if (!FAuthUser.isEmpty())
        put("Authorization: " + BasicCredentials(FAuthUser, FAuthPass));
    // Inside a tunnel only the server reads the request: the proxy's credentials are not its business.
    if (!Proxy.isEmpty() && !FTunnel && !ProxyUsername.isEmpty())
        put("Proxy-Authorization: " + BasicCredentials(ProxyUsername, ProxyPassword));
    QString cookie = FSameOrigin ? Cookie : QString();
    if (OnRequestCookie)
        OnRequestCookie(this, FCurrentUrl, cookie);
    if (!cookie.isEmpty())
        put("Cookie: " + WireText(cookie));
    if (!ContentRangeBegin.isEmpty() || !ContentRangeEnd.isEmpty()) {
        put("Range: bytes=" + ContentRangeBegin.toLatin1() + '-' + ContentRangeEnd.toLatin1());
        if (!IfRange.isEmpty())
            put("If-Range: " + WireText(IfRange));
        ContentRangeBegin.clear();
        ContentRangeEnd.clear();
    }
    if (OnRequestHeaderEnd)
        OnRequestHeaderEnd(this);
    put(QByteArray());
    return text;
}

// The proxy is asked for a tunnel to the server: its name and port, its own credentials, nothing of
// the request itself.
QByteArray THttpCli::BuildTunnelRequest()
{
    const QByteArray authority = WireHost(FHostName) + ':' + FOriginPort.toLatin1();
    QByteArray text = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n";
    if (!Agent.isEmpty())
        text += "User-Agent: " + WireText(Agent) + "\r\n";
    if (!ProxyUsername.isEmpty())
        text += "Proxy-Authorization: " + BasicCredentials(ProxyUsername, ProxyPassword) + "\r\n";
    return text + "\r\n";
}
