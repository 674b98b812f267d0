#include "HttpProt.h"

#include "CaughtText.h"
#include "HttpNumber.h"
#include "HttpUrlParts.h"
#include "NetLog.h"
#include "UrlUtil.h"
#include "WSocketErrors.h"

#include <QCoreApplication>
#include <QFileDevice>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {
// Body bytes are collected up to this size before the stream sees them: large writes are
// several times cheaper than one write per received piece.
constexpr size_t WriteBlock = 1 << 20;

QString SocketErrorText(int code)
{
    return QStringLiteral("%1 (Error #%2)").arg(WSocketErrorDesc(code)).arg(code);
}

// The status of a status line, 0 for any other line.
int StatusOf(const QByteArray &line)
{
    return line.startsWith("HTTP/1.0") || line.startsWith("HTTP/1.1") ? line.mid(9, 3).toInt() : 0;
}

// Failures whose header is read to the end: a busy server's, for the line that says when to come
// back, and an unsatisfiable range's, whose Content-Range names the file's size.
bool HeaderReadWhole(int status)
{
    return status == 429 || status == 503 || status == 416;
}

// Runs a handler from a posted message: no exception may reach the event loop.
void RunPosted(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (...) {
        qCWarning(lcNet, "a posted handler of the HTTP client raised: %s", qUtf8Printable(CaughtText()));
    }
}
} // namespace

THttpCli::THttpCli(QObject *parent) : QObject(parent), FCtrlSocket(this)
{
    FCtrlSocket.OnDnsLookupDone = [this](TWSocket *, quint16 error) { SocketDnsLookupDone(error); };
    FCtrlSocket.OnSessionConnected = [this](TWSocket *, quint16 error) { SocketSessionConnected(error); };
    FCtrlSocket.OnDataAvailable = [this](TWSocket *, quint16) { SocketDataAvailable(); };
    FCtrlSocket.OnSessionClosed = [this](TWSocket *, quint16 error) { SocketSessionClosed(error); };
    FCtrlSocket.OnTlsDone = [this](TWSocket *, quint16 error) { SocketTlsDone(error); };
}

void THttpCli::Get()
{
    DoRequestSync(httpGET);
}

void THttpCli::Head()
{
    DoRequestSync(httpHEAD);
}

void THttpCli::DoRequestSync(THttpRequest kind)
{
    DoRequestAsync(kind);
    // The client's socket and posted messages belong to this thread, so pumping it is enough.
    while (FState != httpReady)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (ClientFailure())
        throw EHttpException(FReason, FRequestDoneError);
    if (FStatus >= 400)
        throw EHttpException(FReason, FStatus);
}

void THttpCli::DoRequestAsync(THttpRequest kind)
{
    if (FState != httpReady)
        throw EHttpException(QStringLiteral("HTTP component is busy"), 1);
    ++FRequestSerial;
    FRequestEnded = false;
    FRequestType = kind;
    FRequestDoneError = 0;
    ResetRedirects();
    OpenUrl(URL);
}

void THttpCli::ResetAnswer()
{
    FResponseHeaders.clear();
    FAuthenticate.clear();
    FStatus = 0;
    FReason.clear();
    FResponseLength = -1;
    FContentRangeTotal = -1;
    FResponseType.clear();
    FLocation.clear();
    FRetryAfter.clear();
    FChunked = false;
    FRcvdCount = 0;
    FHeaderLines = 0;
    FHeaderBytes = 0;
    FInterimAnswers = 0;
    FInInterim = false;
    FTryNextAddress = false;
    FDocPieces = 0;
    FRcvCnt = 0;
    FWriteBuf.clear();
}

void THttpCli::OpenUrl(const QString &target)
{
    ResetAnswer();
    SetState(httpNotConnected);

    FCurrentUrl = target;
    const THttpUrlParts url = THttpUrlParts::Parse(target);
    ChooseCredentials(url);
    FHostName = url.Host;
    FAbsoluteUrl = url.RequestUrl();
    FSecure = url.Proto.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    FTunnel = FSecure && !Proxy.isEmpty();
    FTunnelAnswer = FTunnel;
    FTunnelOpen = false;
    FOriginPort = url.Port.isEmpty() ? QLatin1String(FSecure ? "443" : "80") : url.Port;
    // Through a tunnel the server itself reads the request, so it names the path alone.
    FPath = Proxy.isEmpty() || FTunnel ? (url.Path.isEmpty() ? QStringLiteral("/") : url.Path) : FAbsoluteUrl;
    if (Proxy.isEmpty()) {
        FConnectHost = url.Host;
        FConnectPort = FOriginPort;
    } else {
        const THttpUrlParts proxy = THttpUrlParts::Parse(Proxy);
        FConnectHost = proxy.Host;
        FConnectPort = proxy.Port.isEmpty() ? ProxyPort : proxy.Port;
    }

    SetState(httpDnsLookup);
    try {
        FCtrlSocket.DnsLookup(FConnectHost);
    } catch (const ESocketException &e) {
        Fail(static_cast<quint16>(e.ErrorCode()), QStringLiteral("can't resolve hostname to IP address"));
        EndRequest(0);
    }
}

void THttpCli::SocketDnsLookupDone(quint16 error)
{
    if (FState != httpDnsLookup)
        return;
    if (error) {
        Fail(error, QStringLiteral("can't resolve hostname to IP address"));
        EndRequest(0);
        return;
    }
    SetState(httpDnsLookupDone);
    FAddresses = FCtrlSocket.DnsResultList();
    FNextAddress = 0;
    ConnectNext();
}

void THttpCli::ConnectNext()
{
    for (;;) {
        FCtrlSocket.Addr = FAddresses.value(FNextAddress++);
        FCtrlSocket.Port = FConnectPort;
        FCtrlSocket.Proto = QStringLiteral("tcp");
        try {
            FCtrlSocket.Connect();
            return;
        } catch (const ESocketException &) {
            // A socket of the address's family may be refused here (no IPv6): the next may do.
            if (FNextAddress < FAddresses.size())
                continue;
            const int code = FCtrlSocket.LastError();
            Fail(static_cast<quint16>(code), QLatin1String("can't connect: ") + SocketErrorText(code));
            FCtrlSocket.Close();
            EndRequest(0);
            return;
        }
    }
}

void THttpCli::SocketSessionConnected(quint16 error)
{
    if (error) {
        // The socket closes itself next; its close event tries the next address or ends the request.
        FTryNextAddress = FNextAddress < FAddresses.size();
        if (!FTryNextAddress)
            Fail(error, SocketErrorText(error));
        return;
    }
    SetState(httpConnected);
    if (OnSessionConnected)
        OnSessionConnected(this);
    if (FState != httpConnected)
        return;
    SetState(httpWaitingHeader);
    if (FTunnel)
        SendTunnelRequest();
    else if (FSecure)
        StartTls();
    else
        SendRequest();
}

void THttpCli::StartTls()
{
    try {
        FCtrlSocket.StartTls(FHostName, CAFile);
    } catch (const ESocketException &e) {
        qCWarning(lcNet, "TLS could not start: %s", e.what());
        FCtrlSocket.Close();
    }
}

void THttpCli::SocketTlsDone(quint16 error)
{
    if (FRequestEnded)
        return;
    if (!error) {
        SendRequest();
        return;
    }
    // A refused certificate stays refused; any other failed handshake is a failed connection.
    // The socket closes itself next, and its close ends the request.
    const bool refused = FCtrlSocket.TlsCertificateRefused();
    Fail(refused ? quint16{httpErrCertificate} : error, FCtrlSocket.TlsFailure());
}

void THttpCli::SocketSessionClosed(quint16 error)
{
    if (std::exchange(FTryNextAddress, false) && FState == httpDnsLookupDone)
        ConnectNext();
    else if (!FHopUrl.isEmpty())
        StartHop();
    else
        EndRequest(error);
}

void THttpCli::SendRequest()
{
    qCDebug(lcNet, "%s %s", FRequestType == httpHEAD ? "HEAD" : "GET", qUtf8Printable(FAbsoluteUrl));
    SendText(BuildRequest());
}

void THttpCli::SendTunnelRequest()
{
    SendText(BuildTunnelRequest());
}

void THttpCli::SendText(const QByteArray &text)
{
    try {
        FCtrlSocket.Send(text.constData(), static_cast<int>(text.size()));
    } catch (const ESocketException &e) {
        qCWarning(lcNet, "the request could not be sent: %s", e.what());
        FCtrlSocket.Close();
    }
}

void THttpCli::SocketDataAvailable()
{
    if (FState == httpWaitingBody) {
        const int got = FCtrlSocket.Receive(FRcvBuf.data(), RcvBufSize);
        if (got > 0)
            BodyData(FRcvBuf.data(), got);
        return;
    }
    const int got = FCtrlSocket.Receive(FRcvBuf.data() + FRcvCnt, RcvBufSize - FRcvCnt);
    if (got <= 0)
        return;
    FRcvCnt += got;
    ParseHeaderBuffer();
}

void THttpCli::ParseHeaderBuffer()
{
    const quint64 serial = FRequestSerial;
    int start = 0;
    for (;;) {
        const char *begin = FRcvBuf.data() + start;
        const void *lf = std::memchr(begin, '\n', static_cast<size_t>(FRcvCnt - start));
        if (!lf)
            break;
        const int next = static_cast<int>(static_cast<const char *>(lf) - FRcvBuf.data()) + 1;
        QByteArray line(begin, next - 1 - start);
        if (line.endsWith('\r'))
            line.chop(1);
        if (FTunnelAnswer && SkipTunnelLine(line, next - start)) {
            if (Ended(serial))
                return;
            start = next;
            if (FTunnelAnswer)
                continue;
            // The server speaks first only after our hello: any byte here is not from it.
            if (next != FRcvCnt) {
                Fail(WSAECONNABORTED, QStringLiteral("Proxy sent data into the tunnel"));
                FCtrlSocket.Close();
                return;
            }
            FRcvCnt = 0;
            StartTls();
            return;
        }
        if (SkipInterimLine(line, next - start)) {
            if (Ended(serial))
                return;
            start = next;
            continue;
        }
        const bool first = FHeaderLines++ == 0;
        if (first && OnHeaderBegin)
            OnHeaderBegin(this);
        if (Ended(serial))
            return;
        if (first && line.left(6).toUpper() == "<HTML>") {
            // A server that sends no header: this line already belongs to the body.
            if (FResponseType.isEmpty())
                FResponseType = QStringLiteral("text/html");
            BeginBody(start);
            return;
        }
        if (line.isEmpty() && RedirectFollowed()) {
            FollowLocation();
            return;
        }
        if (line.isEmpty() && FStatus >= 400) {
            FCtrlSocket.Close();
            return;
        }
        if (line.isEmpty()) {
            BeginBody(next);
            return;
        }
        if (HeaderTooLarge(next - start))
            return;
        HeaderLine(line);
        if (Ended(serial))
            return;
        start = next;
    }
    FRcvCnt -= start;
    std::memmove(FRcvBuf.data(), FRcvBuf.data() + start, static_cast<size_t>(FRcvCnt));
    if (FRcvCnt == RcvBufSize) {
        // No line end fits any more: waiting would only end at the server's close.
        Fail(httpErrLineTooLong, QStringLiteral("HTTP line too long"));
        FCtrlSocket.Close();
    }
}

// A proxy that opens the tunnel answers 2xx and a header of its own; any other answer is the
// proxy's refusal, and is read as the answer to the request.
bool THttpCli::SkipTunnelLine(const QByteArray &line, int lineBytes)
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
bool THttpCli::SkipInterimLine(const QByteArray &line, int lineBytes)
{
    if (!FInInterim) {
        const int status = FHeaderLines == 0 ? StatusOf(line) : 0;
        if (status < 100 || status >= 200 || status == 101)
            return false;
        if (++FInterimAnswers > MaxInterimAnswers) {
            Fail(httpErrTooManyInterim, QStringLiteral("HTTP too many interim answers"));
            FCtrlSocket.Close();
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
bool THttpCli::HeaderTooLarge(int lineBytes)
{
    FHeaderBytes += lineBytes;
    if (FHeaderBytes <= MaxHeaderBytes && FHeaderLines <= MaxHeaderLines)
        return false;
    Fail(httpErrHeaderTooLarge, QStringLiteral("HTTP header too large"));
    FCtrlSocket.Close();
    return true;
}

void THttpCli::HeaderLine(const QByteArray &line)
{
    FResponseHeaders << QString::fromLatin1(line);
    const int colon = line.indexOf(':');
    if (line.startsWith("HTTP/1.0") || line.startsWith("HTTP/1.1")) {
        FStatus = StatusOf(line);
        FReason = QString::fromLatin1(line.mid(13));
    } else if (colon >= 0) {
        const QByteArray field = line.left(colon).toLower();
        const QString value = QString::fromLatin1(line.mid(colon + 1).trimmed());
        if (field == "location") {
            FLocation = QUrl(FAbsoluteUrl).resolved(QUrl(value)).toString();
        } else if (field == "content-length") {
            ContentLength(value);
        } else if (field == "content-range") {
            // "bytes first-last/total", or "bytes */total" with a 416
            QString range = value;
            if (range.startsWith(QLatin1String("bytes"), Qt::CaseInsensitive))
                range = range.mid(5).trimmed();
            const int dash = range.indexOf(QLatin1Char('-'));
            const int slash = range.indexOf(QLatin1Char('/'), std::max(dash, 0));
            ContentRangeBegin = dash >= 0 ? range.left(dash).trimmed() : QString();
            ContentRangeEnd = dash >= 0 ? range.mid(dash + 1, slash >= 0 ? slash - dash - 1 : -1).trimmed() : QString();
            FContentRangeTotal = slash >= 0 ? ParseHttpNumber(range.mid(slash + 1).trimmed()).value_or(-1) : -1;
        } else if (field == "content-type") {
            FResponseType = value.toLower();
        } else if (field == "retry-after") {
            FRetryAfter = value;
        } else if (field == "www-authenticate") {
            FAuthenticate << value;
        } else if (field == "transfer-encoding") {
            FChunked = value.contains(QLatin1String("chunked"), Qt::CaseInsensitive);
        } else if (field == "set-cookie" && OnCookie) {
            bool accept = true;
            OnCookie(this, value, accept);
        }
    }
    if (FRequestDoneError) {
        FCtrlSocket.Close();
        return;
    }
    if (OnHeaderData)
        OnHeaderData(this);
    if (FStatus >= 400 && !HeaderReadWhole(FStatus))
        FCtrlSocket.Close();
}

// A length we cannot read, or two that disagree, leaves no way to tell a whole body from a cut one.
void THttpCli::ContentLength(const QString &value)
{
    const std::optional<qint64> length = ParseHttpNumber(value);
    if (!length || (FResponseLength >= 0 && *length != FResponseLength)) {
        Fail(httpErrBadLength, QStringLiteral("HTTP bad Content-Length"));
        return;
    }
    FResponseLength = *length;
}

void THttpCli::BeginBody(int from)
{
    const quint64 serial = FRequestSerial;
    SetState(httpWaitingBody);
    if (FChunked) {
        // The framing decides where the body ends; a length line would count framing bytes.
        FResponseLength = -1;
        FChunkDecoder.Reset();
    }
    if (OnHeaderEnd)
        OnHeaderEnd(this);
    if (!Ended(serial) && !FLocation.isEmpty() && OnLocationChange)
        OnLocationChange(this);
    if (Ended(serial))
        return;
    if (BodyIsEmpty()) {
        FCtrlSocket.Close();
        return;
    }
    const int rest = FRcvCnt - from;
    FRcvCnt = 0;
    if (rest > 0)
        BodyData(FRcvBuf.data() + from, rest);
}

bool THttpCli::BodyIsEmpty() const
{
    return FRequestType == httpHEAD || (FStatus >= 100 && FStatus < 200) || FStatus == 204 || FStatus == 304
           || (!FChunked && FResponseLength == 0);
}

bool THttpCli::BodyCutShort() const
{
    if (FState != httpWaitingBody || BodyIsEmpty())
        return false;
    return FChunked ? !FChunkDecoder.Done() : FResponseLength >= 0 && FRcvdCount < FResponseLength;
}

void THttpCli::BodyData(const char *data, int len)
{
    const quint64 serial = FRequestSerial;
    if (FChunked) {
        FChunkDecoder.Feed(data, len, [this, serial](const char *piece, int pieceLen) {
            if (!Ended(serial))
                DeliverPiece(piece, pieceLen);
        });
        if (Ended(serial))
            return;
        // Broken framing (or a size line with endless extensions) leaves no way to find the body.
        if (FChunkDecoder.Failed())
            Fail(httpErrBadChunk, QStringLiteral("HTTP bad chunked framing"));
        if (FChunkDecoder.Done() || FChunkDecoder.Failed())
            FCtrlSocket.Close();
        return;
    }
    if (FResponseLength < 0) {
        DeliverPiece(data, len);
        return;
    }
    // Bytes past the announced length are not part of this answer.
    DeliverPiece(data, static_cast<int>(std::min<qint64>(len, FResponseLength - FRcvdCount)));
    if (!Ended(serial) && FRcvdCount >= FResponseLength)
        FCtrlSocket.Close();
}

void THttpCli::DeliverPiece(const char *data, int len)
{
    if (len <= 0)
        return;
    if (FDocPieces++ == 0 && OnDocBegin)
        OnDocBegin(this);
    FRcvdCount += len;
    // Queued for the stream first, so a handler that aborts still has this piece written.
    if (ReceiveStream)
        FWriteBuf.insert(FWriteBuf.end(), data, data + len);
    if (OnDocData)
        OnDocData(this, data, len);
    if (FWriteBuf.size() >= WriteBlock && !FlushStream())
        FCtrlSocket.Close();
}

bool THttpCli::FlushStream()
{
    if (FWriteBuf.empty() || !ReceiveStream) {
        FWriteBuf.clear();
        return true;
    }
    const auto size = static_cast<qint64>(FWriteBuf.size());
    qint64 written = 0;
    // After a short write the next one either takes the rest or fails with the reason.
    while (written < size) {
        const qint64 n = ReceiveStream->write(FWriteBuf.data() + written, size - written);
        if (n <= 0)
            break;
        written += n;
    }
    FWriteBuf.clear();
    // A file keeps a buffer of its own: what the disk refuses may show only when that is flushed.
    auto *file = qobject_cast<QFileDevice *>(ReceiveStream);
    if (written == size && (!file || file->flush()))
        return true;
    const QString reason = ReceiveStream->errorString();
    Fail(httpErrWriteFailed, QLatin1String("Write failed: ") + (reason.isEmpty() ? QStringLiteral("short write") : reason));
    return false;
}

bool THttpCli::ClientFailure() const
{
    switch (FRequestDoneError) {
    case httpErrLineTooLong:
    case httpErrHeaderTooLarge:
    case httpErrWriteFailed:
    case httpErrBadLength:
    case httpErrBadChunk:
    case httpErrTooManyInterim:
    case httpErrCertificate:
    case httpErrTooManyRedirects:
    case httpErrInsecureRedirect:
        return true;
    default:
        return false;
    }
}

QString THttpCli::FailureText() const
{
    switch (FRequestDoneError) {
    case 0:
        return FStatus >= 400 ? UrlUtil::HttpMsg(FStatus) : QString();
    case httpErrAborted:
        return {};
    case httpErrBodyCut:
        return QStringLiteral("the connection closed before the whole answer arrived");
    default:
        return FReason;
    }
}

void THttpCli::Fail(quint16 code, const QString &reason)
{
    FRequestDoneError = code;
    FStatus = 404;
    FReason = reason;
}

void THttpCli::EndRequest(quint16 error)
{
    if (FRequestEnded)
        return;
    FRequestEnded = true;
    if (error && !FRequestDoneError)
        FRequestDoneError = error;
    if (!FRequestDoneError && BodyCutShort())
        FRequestDoneError = httpErrBodyCut;
    // A failed write outweighs how the transfer ended: the file does not hold what came.
    FlushStream();
    if (FDocPieces > 0 && OnDocEnd)
        OnDocEnd(this);
    const quint64 serial = FRequestSerial;
    const THttpRequest kind = FRequestType;
    const quint16 done = FRequestDoneError;
    QMetaObject::invokeMethod(
        this, [this, serial, kind, done] { RequestFinished(serial, kind, done); }, Qt::QueuedConnection);
}

void THttpCli::RequestFinished(quint64 serial, THttpRequest kind, quint16 error)
{
    // A request started after an Abort made the client ready keeps its own state.
    if (serial == FRequestSerial)
        RunPosted([this] { SetState(httpReady); });
    QMetaObject::invokeMethod(
        this,
        [this, kind, error] {
            if (OnRequestDone)
                RunPosted([this, kind, error] { OnRequestDone(this, kind, error); });
        },
        Qt::QueuedConnection);
}

void THttpCli::Abort()
{
    if (QThread::currentThread() != thread()) {
        const quint64 serial = FRequestSerial;
        QMetaObject::invokeMethod(
            this,
            [this, serial] {
                if (serial == FRequestSerial)
                    RunPosted([this] { Abort(); });
            },
            Qt::QueuedConnection);
        return;
    }
    if (FState == httpReady || FRequestEnded) {
        FCtrlSocket.Close();
        return;
    }
    const bool lookingUp = FState == httpDnsLookup;
    SetState(httpAborting);
    if (lookingUp) {
        try {
            FCtrlSocket.CancelDnsLookup();
        } catch (...) {
            qCWarning(lcNet, "the lookup could not be cancelled: %s", qUtf8Printable(CaughtText()));
        }
    }
    Fail(httpErrAborted, QStringLiteral("Connection aborted on request"));
    FCtrlSocket.Close();
    // Nothing was open while looking up or before connecting, so no close event ends it.
    EndRequest(0);
    SetState(httpReady);
}

void THttpCli::SetState(THttpState state)
{
    if (FState == state)
        return;
    FState = state;
    if (OnStateChange)
        OnStateChange(this);
}
