#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Failure codes of the client's own (socket errors use their own numbers, from 10000 up).
enum THttpFailure : quint16 {
    httpErrBusy = 1,
    httpErrNothingToPost = 2,
    httpErrAborted = 3,
    httpErrLineTooLong = 4,
    // The connection closed before the announced length or the last chunk.
    httpErrBodyCut = 5,
    httpErrHeaderTooLarge = 6,
    httpErrWriteFailed = 7,
    httpErrBadLength = 8,
    httpErrBadChunk = 10,
    httpErrTooManyInterim = 11,
    // The server's TLS certificate was refused (or the extra trust anchor could not be loaded).
    httpErrCertificate = 12,
    // Kept apart from the codes above, so that codes added there meet none of these.
    httpErrTooManyRedirects = 20,
    httpErrInsecureRedirect = 21,
};

// Reads a server's answer up to the end of its header from the bytes it is fed, one step at a
// time, so that the caller can tell its handlers about each line before the next is read. It
// skips interim (1xx) answers and a proxy's answer that opens a tunnel, enforces the header
// limits, and keeps the answer's fields.
class THttpAnswer
{
public:
    enum TFound {
        // No whole line is held: feed more bytes.
        NeedMore,
        // The header's first line is next; it is not read yet.
        HeaderBegins,
        // A header line was read (see Cookie and RangeLine for what it offered besides the fields).
        HeaderLine,
        // The header ended (or there was none): TakeBody holds what follows. Stays so.
        HeaderEnd,
        // An interim answer was read to its end and dropped.
        InterimSkipped,
        // The proxy opened the tunnel; the server's answer comes through it next.
        TunnelOpened,
        // The answer cannot be read on: FailCode and Reason say why. Stays so.
        Failed,
    };

    // Limits of an answer's header section; a server sending more ends the request.
    static constexpr int MaxHeaderBytes = 256 * 1024;
    static constexpr int MaxHeaderLines = 1000;
    // Interim (1xx) answers skipped before the real one; a server sending more is not answering.
    static constexpr int MaxInterimAnswers = 8;
    // A header line, with its line end, must fit in one receive buffer.
    static constexpr int MaxLineBytes = 8192;

    // Forgets the last answer and its bytes.
    void Reset();
    // The answer comes for url, which its Location is read against; through a tunnel, the proxy's
    // answer to CONNECT comes first.
    void Expect(const QString &url, bool tunnel);
    // Takes bytes as they arrive and reads on from them.
    TFound Feed(const char *data, int len);
    // Reads the next step from the bytes held.
    TFound Next();
    // Ends the answer: it reads as 404 with this reason.
    void Fail(quint16 code, const QString &reason);
    // The header ended: a chunked body's framing decides where it ends, so a length line is dropped.
    void BodyBegins();
    // The bytes past the header, handed over once.
    QByteArray TakeBody();
    // Bytes fed and not read yet.
    int Held() const { return static_cast<int>(FBuf.size() - FStart); }

    quint16 FailCode() const { return FFailCode; }
    int Status() const { return FStatus; }
    QString Reason() const { return FReason; }
    qint64 ResponseLength() const { return FResponseLength; }
    QString ResponseType() const { return FResponseType; }
    QStringList ResponseHeaders() const { return FResponseHeaders; }
    qint64 ContentRangeTotal() const { return FContentRangeTotal; }
    QString RangeBegin() const { return FRangeBegin; }
    QString RangeEnd() const { return FRangeEnd; }
    QString Location() const { return FLocation; }
    // The URL the answer comes for, as Expect took it (never with a user name or password).
    const QString &Url() const { return FBaseUrl; }
    QStringList WWWAuthenticate() const { return FAuthenticate; }
    QString RetryAfter() const { return FRetryAfter; }
    // The validators of the file the answer belongs to, as its first ETag and Last-Modified lines say.
    QString ETag() const { return FETag; }
    QString LastModified() const { return FLastModified; }
    bool Chunked() const { return FChunked; }
    // The status line said HTTP/1.1; the Connection line named "close" or "keep-alive".
    bool Version11() const { return FVersion11; }
    bool ConnectionClose() const { return FConnectionClose; }
    bool ConnectionKeepAlive() const { return FConnectionKeepAlive; }
    // The cookie the line just read offered; none when it was no Set-Cookie line.
    const std::optional<QString> &Cookie() const { return FCookie; }
    // The line just read was the Content-Range line.
    bool RangeLine() const { return FRangeLine; }

private:
    enum TPhase { Reading, Ended, Broken };

    // The line at FStart: its text without the line end, and its bytes with it; false when none is whole.
    bool TakeLine(QByteArray &line, int &lineBytes);
    // A line of the answer's own header.
    TFound ReadLine(const QByteArray &line, int lineBytes);
    // True when the line belongs to the proxy's answer that opened the tunnel and was skipped.
    bool SkipTunnelLine(const QByteArray &line, int lineBytes);
    // True when the line belongs to an interim answer and was skipped.
    bool SkipInterimLine(const QByteArray &line, int lineBytes);
    bool HeaderTooLarge(int lineBytes);
    void ReadField(const QByteArray &line);
    void ContentLength(const QString &value);
    void ConnectionTokens(const QString &value);
    void ContentRange(const QString &value);
    TFound Failure(quint16 code, const QString &reason);

    TPhase FPhase = Reading;
    QByteArray FBuf;
    qsizetype FStart = 0;
    QString FBaseUrl;
    // The proxy's answer to CONNECT is being read: from its status line to its blank line.
    bool FTunnelAnswer = false;
    bool FTunnelOpen = false;
    // HeaderBegins was returned; the first line is read next.
    bool FBeginTold = false;
    int FHeaderLines = 0;
    qint64 FHeaderBytes = 0;
    int FInterimAnswers = 0;
    bool FInInterim = false;

    quint16 FFailCode = 0;
    int FStatus = 0;
    QString FReason;
    qint64 FResponseLength = -1;
    qint64 FContentRangeTotal = -1;
    QString FRangeBegin;
    QString FRangeEnd;
    QString FResponseType;
    QStringList FResponseHeaders;
    QStringList FAuthenticate;
    QString FLocation;
    QString FRetryAfter;
    QString FETag;
    QString FLastModified;
    bool FChunked = false;
    bool FVersion11 = false;
    bool FConnectionClose = false;
    bool FConnectionKeepAlive = false;
    std::optional<QString> FCookie;
    bool FRangeLine = false;
};
