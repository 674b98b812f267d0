#include "download/HttpAnswer.h"

#include "download/HttpNumber.h"
#include "download/WSocketErrors.h"

#include <QUrl>

#include <algorithm>
#include <cstring>

namespace {
bool IsStatusLine(const QByteArray &line)
{
    return line.startsWith("HTTP/1.0") || line.startsWith("HTTP/1.1");
}

// The status of a status line, 0 for any other line.
int StatusOf(const QByteArray &line)
{
    return IsStatusLine(line) ? line.mid(9, 3).toInt() : 0;
}
} // namespace

void THttpAnswer::Reset()
{
    *this = THttpAnswer();
}

void THttpAnswer::Expect(const QString &url, bool tunnel)
{
    FBaseUrl = url;
    FTunnelAnswer = tunnel;
    FTunnelOpen = false;
}

THttpAnswer::TFound THttpAnswer::Feed(const char *data, int len)
{
    if (FPhase != Broken)
        FBuf.append(data, len);
    return Next();
}

THttpAnswer::TFound THttpAnswer::Next()
{
    FCookie.reset();
    FRangeLine = false;
    if (FPhase == Ended)
        return HeaderEnd;
    if (FPhase == Broken)
        return Failed;
    for (;;) {
        QByteArray line;
        int lineBytes = 0;
        if (!TakeLine(line, lineBytes)) {
            FBuf.remove(0, FStart);
            FStart = 0;
            // No line end fits any more: waiting would only end at the server's close.
            if (Held() >= MaxLineBytes)
                return Failure(httpErrLineTooLong, QStringLiteral("HTTP line too long"));
            return NeedMore;
        }
        if (FTunnelAnswer && SkipTunnelLine(line, lineBytes)) {
            if (FPhase == Broken)
                return Failed;
            FStart += lineBytes;
            if (FTunnelAnswer)
                continue;
            // The server speaks first only after our hello: any byte here is not from it.
            if (Held() > 0)
                return Failure(WSAECONNABORTED, QStringLiteral("Proxy sent data into the tunnel"));
            FBuf.clear();
            FStart = 0;
            return TunnelOpened;
        }
        if (SkipInterimLine(line, lineBytes)) {
            if (FPhase == Broken)
                return Failed;
            FStart += lineBytes;
            if (FInInterim)
                continue;
            return InterimSkipped;
        }
        return ReadLine(line, lineBytes);
    }
}

bool THttpAnswer::TakeLine(QByteArray &line, int &lineBytes)
{
    const char *begin = FBuf.constData() + FStart;
    const auto span = static_cast<size_t>(std::min(Held(), MaxLineBytes));
    const void *lf = std::memchr(begin, '\n', span);
    if (!lf)
        return false;
    lineBytes = static_cast<int>(static_cast<const char *>(lf) - begin) + 1;
    line = QByteArray(begin, lineBytes - 1);
    if (line.endsWith('\r'))
        line.chop(1);
    return true;
}

THttpAnswer::TFound THttpAnswer::ReadLine(const QByteArray &line, int lineBytes)
{
    // The caller tells of the header's beginning before its first line changes any field.
    if (FHeaderLines == 0 && !FBeginTold) {
        FBeginTold = true;
        return HeaderBegins;
    }
    const bool first = FHeaderLines++ == 0;
    if (first && line.left(6).toUpper() == "<HTML>") {
        // A server that sends no header: this line already belongs to the body.
        if (FResponseType.isEmpty())
            FResponseType = QStringLiteral("text/html");
        FPhase = Ended;
        return HeaderEnd;
    }
    if (line.isEmpty()) {
        FStart += lineBytes;
        FPhase = Ended;
        return HeaderEnd;
    }
    if (HeaderTooLarge(lineBytes))
        return Failed;
    ReadField(line);
    if (FPhase == Broken)
        return Failed;
    FStart += lineBytes;
    return HeaderLine;
}

// A proxy that opens the tunnel answers 2xx and a header of its own; any other answer is the
// proxy's refusal, and is read as the answer to the request.
bool THttpAnswer::SkipTunnelLine(const QByteArray &line, int lineBytes)
{
    if (!FTunnelOpen) {
        if (StatusOf(line) / 100 != 2) {
            FTunnelAnswer = false;
            return false;
        }
        FTunnelOpen = true;
    } else if (line.isEmpty()) {
        FTunnelAnswer = false;
        return true;
    }
    HeaderTooLarge(lineBytes);
    return true;
}

// "100 Continue", "103 Early Hints" and the like come before the answer and say nothing about it.
// Their bytes count against the header limit, so that a stream of them still ends.
bool THttpAnswer::SkipInterimLine(const QByteArray &line, int lineBytes)
{
    if (!FInInterim) {
        const int status = FHeaderLines == 0 ? StatusOf(line) : 0;
        if (status < 100 || status >= 200 || status == 101)
            return false;
        if (++FInterimAnswers > MaxInterimAnswers) {
            Fail(httpErrTooManyInterim, QStringLiteral("HTTP too many interim answers"));
            return true;
        }
        FInInterim = true;
    } else if (line.isEmpty()) {
        FInInterim = false;
        return true;
    }
    HeaderTooLarge(lineBytes);
    return true;
}

// A server that keeps sending header lines would make us keep all of them.
bool THttpAnswer::HeaderTooLarge(int lineBytes)
{
    FHeaderBytes += lineBytes;
    if (FHeaderBytes <= MaxHeaderBytes && FHeaderLines <= MaxHeaderLines)
        return false;
    Fail(httpErrHeaderTooLarge, QStringLiteral("HTTP header too large"));
    return true;
}

void THttpAnswer::ReadField(const QByteArray &line)
{
    FResponseHeaders << QString::fromLatin1(line);
    const int colon = line.indexOf(':');
    if (IsStatusLine(line)) {
        FStatus = StatusOf(line);
        FVersion11 = line.startsWith("HTTP/1.1");
        FReason = QString::fromLatin1(line.mid(13));
        return;
    }
    if (colon < 0)
        return;
    const QByteArray field = line.left(colon).toLower();
    const QString value = QString::fromLatin1(line.mid(colon + 1).trimmed());
    if (field == "location")
        FLocation = QUrl(FBaseUrl).resolved(QUrl(value)).toString();
    else if (field == "content-length")
        ContentLength(value);
    else if (field == "content-range")
        ContentRange(value);
    else if (field == "content-type")
        FResponseType = value.toLower();
    else if (field == "retry-after")
        FRetryAfter = value;
    else if (field == "etag" && FETag.isEmpty())
        FETag = value;
    else if (field == "last-modified" && FLastModified.isEmpty())
        FLastModified = value;
    else if (field == "www-authenticate")
        FAuthenticate << value;
    else if (field == "transfer-encoding")
        FChunked = value.contains(QLatin1String("chunked"), Qt::CaseInsensitive);
    else if (field == "set-cookie")
        FCookie = value;
    else if (field == "connection")
        ConnectionTokens(value);
}

// "close" and "keep-alive" among the Connection line's comma-separated tokens.
void THttpAnswer::ConnectionTokens(const QString &value)
{
    for (const QString &token : value.split(QLatin1Char(','))) {
        const QString t = token.trimmed();
        FConnectionClose = FConnectionClose || t.compare(QLatin1String("close"), Qt::CaseInsensitive) == 0;
        FConnectionKeepAlive = FConnectionKeepAlive || t.compare(QLatin1String("keep-alive"), Qt::CaseInsensitive) == 0;
    }
}

// A length we cannot read, or two that disagree, leaves no way to tell a whole body from a cut one.
void THttpAnswer::ContentLength(const QString &value)
{
    const std::optional<qint64> length = ParseHttpNumber(value);
    if (!length || (FResponseLength >= 0 && *length != FResponseLength)) {
        Fail(httpErrBadLength, QStringLiteral("HTTP bad Content-Length"));
        return;
    }
    FResponseLength = *length;
}

// "bytes first-last/total", or "bytes */total" with a 416
void THttpAnswer::ContentRange(const QString &value)
{
    QString range = value;
    if (range.startsWith(QLatin1String("bytes"), Qt::CaseInsensitive))
        range = range.mid(5).trimmed();
    const int dash = range.indexOf(QLatin1Char('-'));
    const int slash = range.indexOf(QLatin1Char('/'), std::max(dash, 0));
    FRangeBegin = dash >= 0 ? range.left(dash).trimmed() : QString();
    FRangeEnd = dash >= 0 ? range.mid(dash + 1, slash >= 0 ? slash - dash - 1 : -1).trimmed() : QString();
    FContentRangeTotal = slash >= 0 ? ParseHttpNumber(range.mid(slash + 1).trimmed()).value_or(-1) : -1;
    FRangeLine = true;
}

void THttpAnswer::Fail(quint16 code, const QString &reason)
{
    FPhase = Broken;
    FFailCode = code;
    FStatus = 404;
    FReason = reason;
}

THttpAnswer::TFound THttpAnswer::Failure(quint16 code, const QString &reason)
{
    Fail(code, reason);
    return Failed;
}

void THttpAnswer::BodyBegins()
{
    if (FChunked)
        FResponseLength = -1;
}

QByteArray THttpAnswer::TakeBody()
{
    QByteArray body = FBuf.mid(FStart);
    FBuf.clear();
    FStart = 0;
    return body;
}
