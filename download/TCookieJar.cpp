// Which of the jar's cookies go with a request, and how a cookie file is chosen and checked.
#include "download/TCookieJar.h"

#include "download/HttpUrlParts.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QStringList>

#include <algorithm>

namespace {
constexpr int ShownBadLines = 5;
const QByteArray SqliteMagic("SQLite format 3\0", 16);

bool IsDomainChar(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'.' || c == u'-' || c == u'_' || c == u':';
}

// Characters that would end the cookie early or break the request line: never sent.
bool BreaksHeader(QChar c, bool inName)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7F || c == u';'
           || (inName && (c == u'=' || c == u',' || c == u' ' || c == u'\t'));
}

bool Sendable(const QString &text, bool inName)
{
    return std::none_of(text.begin(), text.end(), [inName](QChar c) { return BreaksHeader(c, inName); });
}

// The request path a cookie's path is matched against: no query or fragment, "/" when none.
QString RequestPath(const QString &path)
{
    const auto end = std::find_if(path.begin(), path.end(), [](QChar c) { return c == u'?' || c == u'#'; });
    const QString bare = path.left(end - path.begin());
    return bare.startsWith(u'/') ? bare : QStringLiteral("/");
}

bool PathMatches(const QString &cookiePath, const QString &requestPath)
{
    if (!requestPath.startsWith(cookiePath))
        return false;
    return requestPath.size() == cookiePath.size() || cookiePath.endsWith(u'/')
           || requestPath.at(cookiePath.size()) == u'/';
}

// The name a server's Set-Cookie text gives its cookie: before the first "=" of its first part.
QString CookieName(const QString &setCookie)
{
    return setCookie.section(u';', 0, 0).section(u'=', 0, 0).trimmed();
}
} // namespace

bool TCookieJar::Take(TCookie &cookie)
{
    cookie.domain = cookie.domain.toLower();
    if (cookie.domain.startsWith(u'.'))
        cookie.domain.remove(0, 1);
    if (cookie.domain.isEmpty() || !std::all_of(cookie.domain.begin(), cookie.domain.end(), IsDomainChar))
        return false;
    // A domain without a dot ("com", "localhost") or an address names one host, never a family of them.
    if (!cookie.domain.contains(u'.') || !QHostAddress(cookie.domain).isNull())
        cookie.hostOnly = true;
    if (cookie.path.isEmpty())
        cookie.path = QStringLiteral("/");
    return cookie.path.startsWith(u'/') && Sendable(cookie.path, false) && !cookie.name.isEmpty()
           && Sendable(cookie.name, true) && Sendable(cookie.value, false) && cookie.expiry >= 0;
}

TCookieJar::TLoad TCookieJar::Load(const QString &fileName)
{
    TLoad load;
    const QFileInfo info(fileName);
    QFile file(fileName);
    // A fifo or a device would never end, or never answer.
    if (info.exists() && !info.isFile())
        load.error = QStringLiteral("not a regular file");
    else if (!file.open(QIODevice::ReadOnly))
        load.error = file.errorString();
    else if (file.size() > MaxFileBytes)
        load.error = QStringLiteral("larger than %1 MiB, not a cookie file").arg(MaxFileBytes >> 20);
    if (!load.error.isEmpty())
        return load;
    if (file.peek(SqliteMagic.size()) == SqliteMagic) {
        file.close();
        return ReadSqlite(fileName);
    }
    return ReadText(file.readAll());
}

void TCookieJar::TLoad::SkipBad(int number)
{
    ++badLines;
    if (firstBadLines.size() < ShownBadLines)
        firstBadLines.append(number);
}

QString TCookieJar::TLoad::Warning(const QString &fileName) const
{
    if (!error.isEmpty())
        return QStringLiteral("%1: cookies not loaded: %2").arg(fileName, error);
    if (badLines == 0)
        return {};
    QStringList shown;
    for (const int line : firstBadLines)
        shown.append(QString::number(line));
    if (badLines > firstBadLines.size())
        shown.append(QStringLiteral("…"));
    return QStringLiteral("%1: %2 bad cookie lines skipped (lines %3)")
        .arg(fileName)
        .arg(badLines)
        .arg(shown.join(", "));
}

QString TCookieJar::HeaderFor(const QString &url, qint64 now, const QString &serverCookie) const
{
    const THttpUrlParts parts = THttpUrlParts::Parse(url);
    const QString host = parts.Host.toLower();
    const bool overHttps = parts.Proto.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    const bool address = !QHostAddress(host).isNull();
    const QString path = RequestPath(parts.Path);
    const QString serverName = serverCookie.isEmpty() ? QString() : CookieName(serverCookie);

    QList<const TCookie *> chosen;
    for (const TCookie &c : FCookies) {
        const bool domainMatch = host == c.domain
                                 || (!c.hostOnly && !address && host.endsWith(c.domain)
                                     && host.at(host.size() - c.domain.size() - 1) == u'.');
        if (domainMatch && PathMatches(c.path, path) && (overHttps || !c.secure) && (c.expiry == 0 || c.expiry > now)
            && (serverName.isNull() || c.name != serverName))
            chosen.append(&c);
    }
    std::stable_sort(chosen.begin(), chosen.end(),
                     [](const TCookie *a, const TCookie *b) { return a->path.size() > b->path.size(); });
    QStringList pairs;
    for (const TCookie *c : std::as_const(chosen))
        pairs.append(c->name + u'=' + c->value);
    if (!serverCookie.isEmpty())
        pairs.append(serverCookie);
    return pairs.join(QLatin1String("; "));
}
