#include "download/HttpProt.h"

#include "core/CaughtText.h"
#include "download/HttpUrlParts.h"
#include "download/NetLog.h"
#include "download/TRateLimit.h"
#include "download/UrlUtil.h"
#include "download/WSocketErrors.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <utility>

namespace {
QString SocketErrorText(int code)
{
    return QStringLiteral("%1 (Error #%2)").arg(WSocketErrorDesc(code)).arg(code);
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

THttpCli::THttpCli(QObject *parent) : QObject(parent), FCtrlSocket(this), FKeep(this, [this] { FCtrlSocket.Close(); })
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
        throw EHttpException(FAnswer.Reason(), FRequestDoneError);
    if (FAnswer.Status() >= 400)
        throw EHttpException(FAnswer.Reason(), FAnswer.Status());
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
    FAnswer.Reset();
    FRcvdCount = 0;
    FTryNextAddress = false;
    FDocPieces = 0;
    FWriteBuf.clear();
    FAnswerStarted = false;
    FSurplus = false;
}

void THttpCli::OpenUrl(const QString &target)
{
    ResetAnswer();
    SetState(httpNotConnected);

    FCurrentUrl = target;
    const THttpUrlParts url = THttpUrlParts::Parse(target);
    ChooseCredentials(url);
    FHostName = url.Host;
    const QString absoluteUrl = url.RequestUrl();
    FSecure = url.Proto.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    FTunnel = FSecure && !Proxy.isEmpty();
    FOriginPort = url.PortOrDefault();
    // Through a tunnel the server itself reads the request, so it names the path alone.
    FPath = Proxy.isEmpty() || FTunnel ? (url.Path.isEmpty() ? QStringLiteral("/") : url.Path) : absoluteUrl;
    if (Proxy.isEmpty()) {
        FConnectHost = url.Host;
        FConnectPort = FOriginPort;
    } else {
        const THttpUrlParts proxy = THttpUrlParts::Parse(Proxy);
        FConnectHost = proxy.Host;
        FConnectPort = proxy.Port.isEmpty() ? ProxyPort : proxy.Port;
    }
    FConnKey = {FSecure,
                FConnectHost.toLower(),
                FConnectPort,
                Proxy,
                FTunnel ? FHostName.toLower() + QLatin1Char(':') + FOriginPort : QString(),
                FSecure ? CAFile : QString()};
    FReused = TakeKeptConnection();
    // A kept tunnel is open already: no proxy answers first.
    FAnswer.Expect(absoluteUrl, FTunnel && !FReused);
    if (FReused) {
        SetState(httpConnected);
        SetState(httpWaitingHeader);
        SendRequest();
        return;
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
    // A kept connection closed while it served no request: nobody is told.
    if (FKeep.Parked()) {
        FKeep.Forget();
        return;
    }
    if (ResendOnNewConnection())
        return;
    if (std::exchange(FTryNextAddress, false) && FState == httpDnsLookupDone)
        ConnectNext();
    else if (!FHopUrl.isEmpty())
        StartHop();
    else
        EndRequest(error);
}

void THttpCli::SendRequest()
{
    qCDebug(lcNet, "%s %s", FRequestType == httpHEAD ? "HEAD" : "GET", qUtf8Printable(FAnswer.Url()));
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
    if (FKeep.Parked()) {
        // Whatever an idle connection brings, its close or bytes nobody asked for, ends it.
        if (!IdleConnectionOpen())
            FCtrlSocket.Close();
        return;
    }
    if (FState == httpWaitingBody) {
        const int got = ReceiveCapped(RcvBufSize);
        if (got > 0)
            BodyData(FRcvBuf.data(), got);
        return;
    }
    const int got = ReceiveCapped(RcvBufSize - FAnswer.Held());
    FAnswerStarted = FAnswerStarted || got > 0;
    if (got > 0)
        HeaderData(FRcvBuf.data(), got);
}

int THttpCli::ReceiveCapped(int want)
{
    if (!RateLimit || want <= 0)
        return FCtrlSocket.Receive(FRcvBuf.data(), want);
    const int granted = RateLimit->Take(want);
    if (granted == 0) {
        // Nothing is read until the budget is back, so the server's window closes; the wait is
        // a timer of this thread's loop, where a stop still arrives.
        FCtrlSocket.PauseReading(RateLimit->WaitMs());
        return -1;
    }
    const int got = FCtrlSocket.Receive(FRcvBuf.data(), granted);
    RateLimit->GiveBack(granted - std::max(0, got));
    return got;
}

void THttpCli::HeaderData(const char *data, int len)
{
    const quint64 serial = FRequestSerial;
    for (THttpAnswer::TFound found = FAnswer.Feed(data, len);; found = FAnswer.Next()) {
        switch (found) {
        case THttpAnswer::NeedMore:
            return;
        case THttpAnswer::Failed:
            // The answer already reads as the failure; the request ends with its code.
            FRequestDoneError = FAnswer.FailCode();
            FCtrlSocket.Close();
            return;
        case THttpAnswer::TunnelOpened:
            StartTls();
            return;
        case THttpAnswer::InterimSkipped:
            break;
        case THttpAnswer::HeaderBegins:
            if (OnHeaderBegin)
                OnHeaderBegin(this);
            if (Ended(serial))
                return;
            break;
        case THttpAnswer::HeaderLine:
            if (!HeaderLineRead(serial))
                return;
            break;
        case THttpAnswer::HeaderEnd:
            HeaderEnded();
            return;
        }
    }
}

bool THttpCli::HeaderLineRead(quint64 serial)
{
    if (FAnswer.RangeLine()) {
        ContentRangeBegin = FAnswer.RangeBegin();
        ContentRangeEnd = FAnswer.RangeEnd();
    }
    if (FAnswer.Cookie() && OnCookie) {
        bool accept = true;
        OnCookie(this, *FAnswer.Cookie(), accept);
        if (Ended(serial))
            return false;
    }
    if (OnHeaderData)
        OnHeaderData(this);
    if (Ended(serial))
        return false;
    if (FAnswer.Status() >= 400 && !HeaderReadWhole(FAnswer.Status())) {
        FCtrlSocket.Close();
        return false;
    }
    return true;
}

void THttpCli::HeaderEnded()
{
    if (RedirectFollowed())
        FollowLocation();
    else if (FAnswer.Status() >= 400)
        FCtrlSocket.Close();
    else
        BeginBody();
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
        return FAnswer.Status() >= 400 ? UrlUtil::HttpMsg(FAnswer.Status()) : QString();
    case httpErrAborted:
        return {};
    case httpErrBodyCut:
        return QStringLiteral("the connection closed before the whole answer arrived");
    default:
        return FAnswer.Reason();
    }
}

void THttpCli::Fail(quint16 code, const QString &reason)
{
    FRequestDoneError = code;
    FAnswer.Fail(code, reason);
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
    const bool whole = BodyReadWhole();
    SetState(httpAborting);
    if (lookingUp) {
        try {
            FCtrlSocket.CancelDnsLookup();
        } catch (...) {
            qCWarning(lcNet, "the lookup could not be cancelled: %s", qUtf8Printable(CaughtText()));
        }
    }
    Fail(httpErrAborted, QStringLiteral("Connection aborted on request"));
    if (!whole || !ParkConnection())
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
