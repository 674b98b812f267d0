// Redirects of THttpCli: which answers are followed, where to, and what goes along to the next server.
#include "download/HttpProt.h"

#include "download/HttpUrlParts.h"
#include "download/UrlUtil.h"

#include <QUrl>

#include <utility>

namespace {
bool IsRedirectStatus(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Scheme, host and port as the server is reached: a port left out is the scheme's own.
QString Origin(const QString &url)
{
    const THttpUrlParts parts = THttpUrlParts::Parse(url);
    const QString scheme = parts.Proto.isEmpty() ? QStringLiteral("http") : parts.Proto.toLower();
    return scheme + QLatin1String("://") + parts.ServerKey();
}
} // namespace

bool THttpCli::SameOrigin(const QString &a, const QString &b)
{
    return Origin(a) == Origin(b);
}

void THttpCli::ResetRedirects()
{
    FRedirects = 0;
    FHopUrl.clear();
    // The request text clears the range once sent.
    FAskedRangeBegin = ContentRangeBegin;
    FAskedRangeEnd = ContentRangeEnd;
}

// A URL's own user goes with its request; the caller's URL user and Username go only to the caller's server.
void THttpCli::ChooseCredentials(const THttpUrlParts &target)
{
    FSameOrigin = SameOrigin(FCurrentUrl, URL);
    const THttpUrlParts given = FSameOrigin ? THttpUrlParts::Parse(URL) : THttpUrlParts();
    const THttpUrlParts &own = !target.User.isEmpty() || !target.Pass.isEmpty() ? target : given;
    const bool urlUser = !own.User.isEmpty() || !own.Pass.isEmpty();
    FAuthUser = urlUser ? own.User : FSameOrigin ? Username : QString();
    FAuthPass = urlUser ? own.Pass : FSameOrigin ? Password : QString();
}

// A Location that names no http or https server cannot be followed: that answer is the answer.
bool THttpCli::RedirectFollowed() const
{
    if (!FollowRedirects || !IsRedirectStatus(FAnswer.Status()) || FAnswer.Location().isEmpty())
        return false;
    const QUrl target(FAnswer.Location());
    const QString scheme = target.scheme();
    return target.isValid() && !target.host().isEmpty()
           && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

void THttpCli::FollowLocation()
{
    // The fragment names a place in the document; it never goes to the server.
    const QString target = QUrl(FAnswer.Location()).adjusted(QUrl::RemoveFragment).toString();
    if (++FRedirects > MaxRedirects)
        Fail(httpErrTooManyRedirects, QStringLiteral("HTTP too many redirects (more than %1)").arg(MaxRedirects));
    else if (UrlUtil::IsHttpsUrl(FCurrentUrl) && !UrlUtil::IsHttpsUrl(target))
        Fail(httpErrInsecureRedirect, QStringLiteral("HTTP redirect from HTTPS to HTTP refused"));
    else
        FHopUrl = target;
    // A hop to the same place may go over this connection when nothing of the redirect's body is left to read.
    if (!FHopUrl.isEmpty() && RedirectBodyInHand() && ParkConnection())
        StartHop();
    else
        FCtrlSocket.Close();
}

// HEAD stays HEAD and GET stays GET (after a 303 too): the caller asked for this document's header or body.
void THttpCli::StartHop()
{
    Reopen(std::exchange(FHopUrl, QString()));
}

void THttpCli::Reopen(const QString &url)
{
    ContentRangeBegin = FAskedRangeBegin;
    ContentRangeEnd = FAskedRangeEnd;
    OpenUrl(url);
}
