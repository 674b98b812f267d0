#pragma once

#include "download/HttpAnswer.h"
#include "download/HttpChunkDecoder.h"
#include "download/HttpKeepAlive.h"
#include "download/WSocket.h"

#include <QDateTime>
#include <QIODevice>
#include <QObject>
#include <QStringList>

#include <array>
#include <atomic>
#include <functional>
#include <vector>

struct THttpUrlParts;
class TRateLimit;

enum THttpRequest { httpGET = 1, httpPOST = 2, httpHEAD = 3 };

enum THttpState {
    httpReady,
    httpNotConnected,
    httpConnected,
    httpDnsLookup,
    httpDnsLookupDone,
    httpWaitingHeader,
    httpWaitingBody,
    httpAborting,
};

class EHttpException : public ECodedException
{
public:
    using ECodedException::ECodedException;
};

// HTTP/1.1 client: the body handed to a stream and to events. A connection whose answer ended by
// its own framing is kept for the next request to the same place (HttpProtKeep.cpp).
// It lives on the thread that made it; its events run there, inside Get/Head or the event loop.
class THttpCli : public QObject
{
public:
    using TNotifyEvent = std::function<void(THttpCli *Sender)>;
    using TDocDataEvent = std::function<void(THttpCli *Sender, const char *Buffer, int Len)>;
    using TCookieRcvdEvent = std::function<void(THttpCli *Sender, const QString &Data, bool &Accept)>;
    using THttpRequestDone = std::function<void(THttpCli *Sender, THttpRequest RqType, quint16 Error)>;
    using TOnCommand = std::function<void(THttpCli *Sender, const QString &Line)>;
    using TRequestCookieEvent = std::function<void(THttpCli *Sender, const QString &Url, QString &Cookie)>;

    explicit THttpCli(QObject *parent = nullptr);

    QString URL;
    QString Proxy;
    QString ProxyPort = QStringLiteral("80");
    QString Sender;
    QString Agent = QStringLiteral("Mozilla/3.0 (compatible)");
    QString Accept = QStringLiteral("image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*");
    QString Reference;
    // Basic authorization for every request of this client; a URL with its own user overrides
    // them for its request only.
    QString Username;
    QString Password;
    QString ProxyUsername;
    QString ProxyPassword;
    bool NoCache = false;
    // An invalid date-time means none is sent.
    QDateTime ModifiedSince;
    QString Cookie;
    QString ContentTypePost = QStringLiteral("application/x-www-form-urlencoded");
    // Before a request: the byte range to ask for; after an answer: its Content-Range offsets.
    QString ContentRangeBegin;
    QString ContentRangeEnd;
    // Sent as "If-Range" with a range, so that a server whose file no longer has this validator
    // sends the whole file instead of a part of another version. Kept until the caller changes it.
    QString IfRange;
    // A trust anchor for https servers beside the system's (a PEM file); empty: the system's alone.
    QString CAFile;
    // Where the body goes; owned by the caller.
    QIODevice *ReceiveStream = nullptr;
    // The cap every read of an answer takes its bytes from; none: reads as fast as the server sends.
    TRateLimit *RateLimit = nullptr;

    // Limits of an answer's header section (see THttpAnswer); a server sending more ends the request.
    static constexpr int MaxHeaderBytes = THttpAnswer::MaxHeaderBytes;
    static constexpr int MaxHeaderLines = THttpAnswer::MaxHeaderLines;
    static constexpr int MaxInterimAnswers = THttpAnswer::MaxInterimAnswers;

    // Run one request and return when the client is ready again; EHttpException for a
    // status of 400 or more (every failure reports 404), and with its own code for a
    // failure of the client's own (see ClientFailure).
    void Get();
    void Head();
    // Stops the running request, or closes a kept connection; from another thread the stop is
    // posted to the client's thread.
    void Abort();

    // How long a kept connection may wait for the next request, in milliseconds; 0: none is kept.
    int KeepAliveMs() const { return FKeep.IdleMs; }
    void SetKeepAliveMs(int ms) { FKeep.IdleMs = ms; }

    THttpState State() const { return FState; }
    int ResponseStatus() const { return FAnswer.Status(); }
    QString ResponseReason() const { return FAnswer.Reason(); }
    qint64 ResponseLength() const { return FAnswer.ResponseLength(); }
    QString ResponseType() const { return FAnswer.ResponseType(); }
    QStringList ResponseHeaders() const { return FAnswer.ResponseHeaders(); }
    qint64 RcvdCount() const { return FRcvdCount; }
    // The whole size named after the "/" of the answer's Content-Range; -1 when none or "*".
    qint64 ContentRangeTotal() const { return FAnswer.ContentRangeTotal(); }
    // How the last request ended, as OnRequestDone reports it (0: in order, else a THttpFailure
    // or a socket error); already known when Get or Head returns.
    quint16 RequestDoneError() const { return FRequestDoneError; }
    // The client itself ended the last request: an answer too large or malformed, a URL it does
    // not serve, or a body it could not write. Asking again does not mend it; the reason says which.
    bool ClientFailure() const;
    // Why the last request failed, in words: a failure status's text, the body cut short, or the
    // reason the client or the socket gave. Empty when it ended in order or was aborted on request.
    QString FailureText() const;
    // Absolute URL named by the answer's "Location" line, empty when it had none.
    QString Location() const { return FAnswer.Location(); }
    QStringList WWWAuthenticate() const { return FAnswer.WWWAuthenticate(); }
    // The answer's "Retry-After" value as sent, empty when it had none.
    QString RetryAfter() const { return FAnswer.RetryAfter(); }
    QString ETag() const { return FAnswer.ETag(); }
    QString LastModified() const { return FAnswer.LastModified(); }

    TNotifyEvent OnStateChange;
    TNotifyEvent OnSessionConnected;
    TNotifyEvent OnRequestHeaderBegin;
    TOnCommand OnCommand;
    TNotifyEvent OnRequestHeaderEnd;
    TNotifyEvent OnHeaderBegin;
    TCookieRcvdEvent OnCookie;
    // Before each request, a redirect's too: Cookie holds what would go to Url (Cookie, or nothing
    // for another server) and leaves as the line to send.
    TRequestCookieEvent OnRequestCookie;
    TNotifyEvent OnHeaderData;
    TNotifyEvent OnHeaderEnd;
    TNotifyEvent OnLocationChange;
    TNotifyEvent OnDocBegin;
    TDocDataEvent OnDocData;
    TNotifyEvent OnDocEnd;
    THttpRequestDone OnRequestDone;

private:
    // A header line must fit in one receive.
    static constexpr int RcvBufSize = THttpAnswer::MaxLineBytes;

    void DoRequestSync(THttpRequest kind);
    void DoRequestAsync(THttpRequest kind);
    void SocketDnsLookupDone(quint16 error);
    void SocketSessionConnected(quint16 error);
    void SocketSessionClosed(quint16 error);
    void SocketTlsDone(quint16 error);
    // An https request through a proxy first asks it for a tunnel to the server.
    void SendTunnelRequest();
    void StartTls();
    // Connects to the next looked-up address; when none is left to try, the request ends.
    void ConnectNext();
    void SocketDataAvailable();
    // Reads at most want bytes of the answer as the rate cap allows; -1 when nothing was read.
    int ReceiveCapped(int want);
    void SendRequest();
    void SendText(const QByteArray &text);
    QByteArray BuildRequest();
    QByteArray BuildTunnelRequest();
    // Reads the answer's header on from bytes received.
    void HeaderData(const char *data, int len);
    // Tells the handlers of the header line just read; false when the header is not read on.
    bool HeaderLineRead(quint64 serial);
    void HeaderEnded();
    // The body (HttpProtBody.cpp).
    void BeginBody();
    bool BodyIsEmpty() const;
    bool BodyCutShort() const;
    void BodyData(const char *data, int len);
    void DeliverPiece(const char *data, int len);
    // Writes the collected body bytes; false (the request failed) when the stream took fewer.
    bool FlushStream();
    void Fail(quint16 code, const QString &reason);
    void EndRequest(quint16 error);
    void RequestFinished(quint64 serial, THttpRequest kind, quint16 error);
    void SetState(THttpState state);
    bool Ended(quint64 serial) const { return serial != FRequestSerial || FRequestEnded; }

    TWSocket FCtrlSocket;
    THttpState FState = httpReady;
    THttpRequest FRequestType = httpGET;
    // Counts requests, so that a stop meant for an earlier one is dropped.
    std::atomic<quint64> FRequestSerial{0};
    bool FRequestEnded = true;
    quint16 FRequestDoneError = 0;
    QString FHostName;
    // Credentials of this request alone: a URL's user never goes with the next URL.
    QString FAuthUser;
    QString FAuthPass;
    // https: TLS with the server, through a CONNECT tunnel when a proxy is set.
    bool FSecure = false;
    bool FTunnel = false;
    QString FOriginPort;
    QString FConnectHost;
    QString FConnectPort;
    // The connect host's addresses, tried in order until one takes the connection.
    QStringList FAddresses;
    int FNextAddress = 0;
    bool FTryNextAddress = false;
    QString FPath;
    THttpConnectionKey FConnKey;
    THttpAnswer FAnswer;
    THttpChunkDecoder FChunkDecoder;
    qint64 FRcvdCount = 0;
    int FDocPieces = 0;
    std::array<char, RcvBufSize> FRcvBuf{};
    // Body bytes waiting to be written to ReceiveStream in one large block.
    std::vector<char> FWriteBuf;

    // Redirects, followed inside one Get or Head (HttpProtRedirect.cpp).
public:
    // Off: a 3xx answer is the answer. On: 301, 302, 303, 307 and 308 with a usable Location are
    // followed, at most MaxRedirects of them; only the last answer reaches the header-end and body
    // events and ReceiveStream, while OnHeaderBegin, OnHeaderData and OnCookie see every answer.
    bool FollowRedirects = false;
    static constexpr int MaxRedirects = 10;
    // The URL the running (or last) request went to: URL, or the target of the last redirect.
    QString CurrentUrl() const { return FCurrentUrl; }
    // Same scheme, host and port: credentials and the cookie go to no other server than their own.
    static bool SameOrigin(const QString &a, const QString &b);

private:
    void ResetRedirects();
    // Sends the request for url: the caller's URL, or a redirect's target.
    void OpenUrl(const QString &url);
    void ResetAnswer();
    void ChooseCredentials(const THttpUrlParts &target);
    // The header that just ended is a redirect to follow (or to refuse).
    bool RedirectFollowed() const;
    // Refuses the hop or keeps its target; the connection closes either way, and its close starts the hop.
    void FollowLocation();
    void StartHop();

    QString FCurrentUrl;
    QString FHopUrl;
    int FRedirects = 0;
    // The range asked for: every hop asks for it again.
    QString FAskedRangeBegin;
    QString FAskedRangeEnd;
    // The request goes to the server URL names: its credentials and cookie go along.
    bool FSameOrigin = true;

    // Kept connections (HttpProtKeep.cpp).
private:
    // The parked connection, when it fits the request's key and is still open, takes the request;
    // any other is closed. True when the request goes out on it.
    bool TakeKeptConnection();
    // No byte is waiting and the peer has not closed: an idle connection is still good.
    bool IdleConnectionOpen();
    // The whole answer is in: the connection is kept when it may be, else closed; the request ends either way.
    void AnswerEnded();
    // Keeps the connection for the next request when its answer allows; false (nothing kept) otherwise.
    bool ParkConnection();
    // Abort came after the body's last byte: the connection is as clean as at an in-order end.
    bool BodyReadWhole() const;
    // A redirect's body (its length's worth) already arrived with its header.
    bool RedirectBodyInHand() const;
    // A reused connection closed before any byte of the answer: true when the request went out again.
    bool ResendOnNewConnection();
    // Sends the request for url again, asking for the range asked at first.
    void Reopen(const QString &url);

    THttpKeepAlive FKeep;
    // The request went out on a kept connection.
    bool FReused = false;
    // Bytes of the answer arrived.
    bool FAnswerStarted = false;
    // Bytes came past the answer's end: the connection's framing is lost.
    bool FSurplus = false;
};
