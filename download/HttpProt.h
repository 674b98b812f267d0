#pragma once

#include "HttpChunkDecoder.h"
#include "WSocket.h"

#include <QDateTime>
#include <QIODevice>
#include <QObject>
#include <QStringList>

#include <array>
#include <atomic>
#include <functional>
#include <vector>

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

// HTTP/1.1 client: one request per connection, the body handed to a stream and to events.
// It lives on the thread that made it; its events run there, inside Get/Head or the event loop.
class THttpCli : public QObject
{
public:
    using TNotifyEvent = std::function<void(THttpCli *Sender)>;
    using TDocDataEvent = std::function<void(THttpCli *Sender, const char *Buffer, int Len)>;
    using TCookieRcvdEvent = std::function<void(THttpCli *Sender, const QString &Data, bool &Accept)>;
    using THttpRequestDone = std::function<void(THttpCli *Sender, THttpRequest RqType, quint16 Error)>;
    using TOnCommand = std::function<void(THttpCli *Sender, const QString &Line)>;

    explicit THttpCli(QObject *parent = nullptr);

    QString URL;
    QString Proxy;
    QString ProxyPort = QStringLiteral("80");
    QString Sender;
    QString Agent = QStringLiteral("Mozilla/3.0 (compatible)");
    QString Accept = QStringLiteral("image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*");
    QString Reference;
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
    // Where the body goes; owned by the caller.
    QIODevice *ReceiveStream = nullptr;

    bool MultiThreaded() const { return FMultiThreaded; }
    void SetMultiThreaded(bool value);

    // Run one request and return when the client is ready again; EHttpException for a
    // status of 400 or more (every failure reports 404) and for an over-long header line.
    void Get();
    void Head();
    // Stops the running request; from another thread the stop is posted to the client's thread.
    void Abort();

    THttpState State() const { return FState; }
    int ResponseStatus() const { return FStatus; }
    QString ResponseReason() const { return FReason; }
    qint64 ResponseLength() const { return FResponseLength; }
    QString ResponseType() const { return FResponseType; }
    QStringList ResponseHeaders() const { return FResponseHeaders; }
    qint64 RcvdCount() const { return FRcvdCount; }
    // How the last request ended, as OnRequestDone reports it (0: in order; 5: body cut short);
    // already known when Get or Head returns.
    quint16 RequestDoneError() const { return FRequestDoneError; }
    // Absolute URL named by the answer's "Location" line, empty when it had none.
    QString Location() const { return FLocation; }
    QStringList WWWAuthenticate() const { return FAuthenticate; }

    TNotifyEvent OnStateChange;
    TNotifyEvent OnSessionConnected;
    TNotifyEvent OnRequestHeaderBegin;
    TOnCommand OnCommand;
    TNotifyEvent OnRequestHeaderEnd;
    TNotifyEvent OnHeaderBegin;
    TCookieRcvdEvent OnCookie;
    TNotifyEvent OnHeaderData;
    TNotifyEvent OnHeaderEnd;
    TNotifyEvent OnLocationChange;
    TNotifyEvent OnDocBegin;
    TDocDataEvent OnDocData;
    TNotifyEvent OnDocEnd;
    THttpRequestDone OnRequestDone;

private:
    static constexpr int RcvBufSize = 8192;

    void DoRequestSync(THttpRequest kind);
    void DoRequestAsync(THttpRequest kind);
    void SocketDnsLookupDone(quint16 error);
    void SocketSessionConnected(quint16 error);
    void SocketDataAvailable();
    void SendRequest();
    QByteArray BuildRequest();
    void ParseHeaderBuffer();
    void HeaderLine(const QByteArray &line);
    void BeginBody(int from);
    bool BodyIsEmpty() const;
    bool BodyCutShort() const;
    void BodyData(const char *data, int len);
    void DeliverPiece(const char *data, int len);
    void FlushStream();
    void Fail(quint16 code, const QString &reason);
    void EndRequest(quint16 error);
    void RequestFinished(quint64 serial, THttpRequest kind, quint16 error);
    void SetState(THttpState state);
    bool Ended(quint64 serial) const { return serial != FRequestSerial || FRequestEnded; }

    TWSocket FCtrlSocket;
    bool FMultiThreaded = false;
    THttpState FState = httpReady;
    THttpRequest FRequestType = httpGET;
    // Counts requests, so that a stop meant for an earlier one is dropped.
    std::atomic<quint64> FRequestSerial{0};
    bool FRequestEnded = true;
    quint16 FRequestDoneError = 0;
    QString FHostName;
    QString FConnectHost;
    QString FConnectPort;
    QString FPath;
    QString FAbsoluteUrl;
    int FStatus = 0;
    QString FReason;
    qint64 FResponseLength = -1;
    QString FResponseType;
    QStringList FResponseHeaders;
    QStringList FAuthenticate;
    QString FLocation;
    bool FChunked = false;
    THttpChunkDecoder FChunkDecoder;
    qint64 FRcvdCount = 0;
    int FHeaderLines = 0;
    int FDocPieces = 0;
    std::array<char, RcvBufSize> FRcvBuf{};
    int FRcvCnt = 0;
    // Body bytes waiting to be written to ReceiveStream in one large block.
    std::vector<char> FWriteBuf;
};
