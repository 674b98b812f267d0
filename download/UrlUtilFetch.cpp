// The one rule for "a URL this program can fetch", asked by every part that adds, loads or fetches jobs.
#include "download/UrlUtil.h"

#include <QHostAddress>
#include <QLatin1StringView>

#include <algorithm>

namespace {

const QLatin1StringView LocalPrefix("file://");

// A piece of a URL quoted in a reason: never the whole of a pasted page.
QString Shown(const QString &text)
{
    constexpr qsizetype most = 40;
    return text.size() <= most ? text : text.left(most) + QStringLiteral("…");
}

// What the URL takes in a list file at most: ASCII as it is, anything else, at worst, as
// percent-encoded UTF-8 (a character the list's code page lacks).
qsizetype StoredBytesBound(const QString &url)
{
    qsizetype bytes = 0;
    for (const QChar c : url) {
        const char16_t u = c.unicode();
        bytes += u < 0x80 ? 1 : (u < 0x800 || c.isSurrogate()) ? 6 : 9;
    }
    return bytes;
}

// Faults that no job URL may have, local or not.
QString TextProblem(const QString &url)
{
    if (url.isEmpty())
        return QStringLiteral("URL が空です。");
    if (StoredBytesBound(url) > UrlUtil::MaxUrlBytes)
        return UrlUtil::TooLongProblem();
    if (std::any_of(url.cbegin(), url.cend(), UrlUtil::IsControl))
        return QStringLiteral("URL に制御文字が含まれています。");
    return {};
}

bool IsSchemeText(const QString &scheme)
{
    return !scheme.isEmpty() && scheme[0].unicode() < 0x80 && scheme[0].isLetter()
           && std::all_of(scheme.cbegin(), scheme.cend(), [](QChar c) {
                  return c.unicode() < 0x80 && (c.isLetterOrNumber() || c == u'+' || c == u'-' || c == u'.');
              });
}

// A registered name as a URL may write it: unreserved, percent-encoded, sub-delimiters, or
// characters beyond ASCII (an international name).
bool IsHostChar(QChar c)
{
    const char16_t u = c.unicode();
    return u >= 0x80 || c.isLetterOrNumber() || QLatin1StringView("-._~%!$&'()*+,;=").contains(c);
}

QString HostProblem(const QString &host)
{
    if (host.isEmpty())
        return QStringLiteral("ホスト名がありません。");
    if (!std::all_of(host.cbegin(), host.cend(), IsHostChar))
        return QStringLiteral("ホスト名「%1」が正しくありません。").arg(Shown(host));
    return {};
}

QString PortProblem(const QString &port)
{
    // "host:" alone means the scheme's own port.
    if (port.isEmpty())
        return {};
    const bool digits = std::all_of(port.cbegin(), port.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    bool ok = false;
    const int value = digits ? port.toInt(&ok) : 0;
    if (ok && value >= 1 && value <= 65535)
        return {};
    return QStringLiteral("ポート番号「%1」は使えません（1～65535）。").arg(Shown(port));
}

// The host and port after any "user:password@": a bracketed IPv6 address, or a name with an
// optional ":port". The client reads the authority up to the first "/", so the rule does too.
QString AuthorityProblem(const QString &authority)
{
    const QString hostPort = authority.mid(authority.lastIndexOf(u'@') + 1);
    if (hostPort.startsWith(u'[')) {
        const qsizetype close = hostPort.indexOf(u']');
        const QString address = close < 0 ? QString() : hostPort.mid(1, close - 1);
        const QString after = close < 0 ? QString() : hostPort.mid(close + 1);
        if (QHostAddress(address).protocol() != QAbstractSocket::IPv6Protocol
            || (!after.isEmpty() && !after.startsWith(u':')))
            return QStringLiteral("ホスト名「%1」が正しくありません。").arg(Shown(hostPort));
        return PortProblem(after.mid(1));
    }
    const qsizetype colon = hostPort.indexOf(u':');
    if (colon >= 0 && hostPort.indexOf(u':', colon + 1) >= 0)
        return QStringLiteral("ホスト名「%1」が正しくありません。").arg(Shown(hostPort));
    const QString host = colon < 0 ? hostPort : hostPort.left(colon);
    if (const QString problem = HostProblem(host); !problem.isEmpty())
        return problem;
    return colon < 0 ? QString() : PortProblem(hostPort.mid(colon + 1));
}

} // namespace

bool UrlUtil::IsControl(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7f && u < 0xa0);
}

QString UrlUtil::FetchProblem(const QString &url)
{
    if (const QString problem = TextProblem(url); !problem.isEmpty())
        return problem;
    if (std::any_of(url.cbegin(), url.cend(), [](QChar c) { return c.isSpace(); }))
        return QStringLiteral("URL に空白が含まれています。");
    const qsizetype separator = url.indexOf(QLatin1StringView("://"));
    if (separator <= 0 || !IsSchemeText(url.left(separator)))
        return QStringLiteral("http:// か https:// で始まる URL ではありません。");
    if (WebSchemeLength(url) != separator + 3)
        return QStringLiteral("「%1://」には対応していません（http:// と https:// のみ）。")
            .arg(Shown(url.left(separator)));
    const QString rest = url.mid(separator + 3);
    return AuthorityProblem(rest.left(rest.indexOf(u'/')));
}

QString UrlUtil::TooLongProblem()
{
    return QStringLiteral("URL が長すぎます（%1 KB まで）。").arg(MaxUrlBytes / 1024);
}

QString UrlUtil::JobUrlProblem(const QString &url)
{
    if (!url.startsWith(LocalPrefix))
        return FetchProblem(url);
    if (const QString problem = TextProblem(url); !problem.isEmpty())
        return problem;
    return url.size() == LocalPrefix.size() ? QStringLiteral("ファイル名がありません。") : QString();
}
