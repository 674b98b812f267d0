// The answer reader on its own: byte strings fed whole, split at every position and byte by byte,
// no server.
#include "download/HttpAnswer.h"

#include "download/WSocketErrors.h"

#include <gtest/gtest.h>

namespace {
const char BaseUrl[] = "http://h.example/a/x.jpg";

// What a reading found, step by step, then the answer's fields and the body it left.
struct TReading {
    QStringList Steps;
    QStringList Fields;
    QByteArray Body;
    bool operator==(const TReading &) const = default;
};

void PrintTo(const TReading &r, std::ostream *os)
{
    // Long lines cut short: the limits' answers are hundreds of kilobytes.
    for (const QString &part : r.Steps + r.Fields)
        *os << part.left(120).toStdString() << " / ";
    *os << "body " << r.Body.left(120).toStdString();
}

QString StepText(THttpAnswer &a, THttpAnswer::TFound found)
{
    switch (found) {
    case THttpAnswer::HeaderBegins:
        // Handlers told of the beginning see no field of the header yet.
        EXPECT_EQ(a.Status(), 0);
        EXPECT_TRUE(a.ResponseHeaders().isEmpty());
        return QStringLiteral("begins");
    case THttpAnswer::HeaderLine:
        return QStringLiteral("line") + (a.Cookie() ? " cookie=" + *a.Cookie() : QString())
               + (a.RangeLine() ? " range=" + a.RangeBegin() + '-' + a.RangeEnd() : QString());
    case THttpAnswer::HeaderEnd:
        return QStringLiteral("end");
    case THttpAnswer::InterimSkipped:
        return QStringLiteral("interim");
    case THttpAnswer::TunnelOpened:
        return QStringLiteral("tunnel");
    case THttpAnswer::Failed:
        return QStringLiteral("failed %1 %2").arg(a.FailCode()).arg(a.Reason());
    case THttpAnswer::NeedMore:
        break;
    }
    return QStringLiteral("need more");
}

// Feeds the pieces in turn, reading every step each one allows, as the client does.
TReading Read(const QList<QByteArray> &pieces, bool tunnel = false)
{
    THttpAnswer a;
    a.Expect(QString::fromLatin1(BaseUrl), tunnel);
    TReading r;
    bool done = false;
    for (const QByteArray &piece : pieces) {
        for (THttpAnswer::TFound found = a.Feed(piece.constData(), int(piece.size()));
             !done && found != THttpAnswer::NeedMore; found = a.Next()) {
            r.Steps << StepText(a, found);
            done = found == THttpAnswer::HeaderEnd || found == THttpAnswer::Failed;
        }
    }
    if (done && r.Steps.last() == "end")
        r.Body = a.TakeBody();
    a.BodyBegins();
    r.Fields = QStringList{QString::number(a.Status()) + ' ' + a.Reason(),
                           "length " + QString::number(a.ResponseLength()),
                           "type " + a.ResponseType(),
                           "total " + QString::number(a.ContentRangeTotal()),
                           "location " + a.Location(),
                           "retry " + a.RetryAfter(),
                           "auth " + a.WWWAuthenticate().join('|'),
                           "headers " + a.ResponseHeaders().join('|')};
    return r;
}

// Every split into two pieces, and byte by byte, reads as the whole does.
void ExpectSplitsAlike(const QByteArray &answer, bool tunnel = false)
{
    const TReading whole = Read({answer}, tunnel);
    for (int at = 1; at < answer.size(); ++at)
        ASSERT_EQ(Read({answer.left(at), answer.mid(at)}, tunnel), whole) << "split at " << at;
    QList<QByteArray> bytes;
    for (const char c : answer)
        bytes << QByteArray(1, c);
    EXPECT_EQ(Read(bytes, tunnel), whole) << "byte by byte";
}

QByteArray Lines(int count, const QByteArray &line)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += line;
    return out;
}
} // namespace

// Catches a field read wrongly, a step told out of order, interim answers kept or the real one
// dropped, and a body that starts a byte early or late, however the bytes arrive.
TEST(THttpAnswer, ReadsEachKindOfAnswerAlikeHoweverItIsSplit)
{
    struct TCase {
        const char *name;
        QByteArray answer;
        QStringList steps;
        QStringList fields;
        QByteArray body;
    };
    const QString noAuth = "auth ";
    const QList<TCase> cases = {
        {"200 with a length",
         "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Type: Image/JPEG\r\n\r\nhello",
         {"begins", "line", "line", "line", "end"},
         {"200 OK", "length 5", "type image/jpeg", "total -1", "location ", "retry ", noAuth,
          "headers HTTP/1.1 200 OK|Content-Length: 5|Content-Type: Image/JPEG"},
         "hello"},
        {"206 with its range",
         "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 100-199/5000\r\nContent-Length: 3\r\n\r\nabc\r\n",
         {"begins", "line", "line range=100-199", "line", "end"},
         {"206 Partial Content", "length 3", "type ", "total 5000", "location ", "retry ", noAuth,
          "headers HTTP/1.1 206 Partial Content|Content-Range: bytes 100-199/5000|Content-Length: 3"},
         "abc\r\n"},
        {"416 naming the size",
         "HTTP/1.1 416 Range Not Satisfiable\nContent-Range: bytes */1234\nRetry-After: 30\n\n",
         {"begins", "line", "line range=-", "line", "end"},
         {"416 Range Not Satisfiable", "length -1", "type ", "total 1234", "location ", "retry 30", noAuth,
          "headers HTTP/1.1 416 Range Not Satisfiable|Content-Range: bytes */1234|Retry-After: 30"},
         ""},
        {"interim answers before the answer",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a.css>\r\n\r\nHTTP/1.0 200 OK\r\n\r\nok",
         {"interim", "interim", "begins", "line", "end"},
         {"200 OK", "length -1", "type ", "total -1", "location ", "retry ", noAuth, "headers HTTP/1.0 200 OK"},
         "ok"},
        {"101 is the answer, not an interim one",
         "HTTP/1.1 101 Switching Protocols\r\n\r\n",
         {"begins", "line", "end"},
         {"101 Switching Protocols", "length -1", "type ", "total -1", "location ", "retry ", noAuth,
          "headers HTTP/1.1 101 Switching Protocols"},
         ""},
        {"redirect with a cookie, a challenge and a chunked body",
         "HTTP/1.1 302 Found\r\nLocation: ../b/c.jpg#top\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie:\r\n"
         "WWW-Authenticate: Basic realm=x\r\nTransfer-Encoding: Chunked\r\nContent-Length: 10\r\n\r\n2\r\nab",
         {"begins", "line", "line", "line cookie=a=1; path=/", "line cookie=", "line", "line", "line", "end"},
         {"302 Found", "length -1", "type ", "total -1", "location http://h.example/b/c.jpg#top", "retry ",
          "auth Basic realm=x",
          "headers HTTP/1.1 302 Found|Location: ../b/c.jpg#top|Set-Cookie: a=1; path=/|Set-Cookie:|"
          "WWW-Authenticate: Basic realm=x|Transfer-Encoding: Chunked|Content-Length: 10"},
         "2\r\nab"},
        {"no header at all",
         "<HTML>\r\n<body>x</body></html>",
         {"begins", "end"},
         {"0 ", "length -1", "type text/html", "total -1", "location ", "retry ", noAuth, "headers "},
         "<HTML>\r\n<body>x</body></html>"},
        {"a status line of another version",
         "HTTP/2 200 OK\r\nX-A: b\r\n\r\nz",
         {"begins", "line", "line", "end"},
         {"0 ", "length -1", "type ", "total -1", "location ", "retry ", noAuth, "headers HTTP/2 200 OK|X-A: b"},
         "z"},
        {"a status without a number",
         "HTTP/1.1 OK\r\n\r\n",
         {"begins", "line", "end"},
         {"0 ", "length -1", "type ", "total -1", "location ", "retry ", noAuth, "headers HTTP/1.1 OK"},
         ""},
        {"two lengths that disagree",
         "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\nhello",
         {"begins", "line", "line", "failed 8 HTTP bad Content-Length"},
         {"404 HTTP bad Content-Length", "length 5", "type ", "total -1", "location ", "retry ", noAuth,
          "headers HTTP/1.1 200 OK|Content-Length: 5|Content-Length: 6"},
         ""},
        {"a signed length",
         "HTTP/1.1 200 OK\r\nContent-Length: +5\r\n\r\nhello",
         {"begins", "line", "failed 8 HTTP bad Content-Length"},
         {"404 HTTP bad Content-Length", "length -1", "type ", "total -1", "location ", "retry ", noAuth,
          "headers HTTP/1.1 200 OK|Content-Length: +5"},
         ""},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.name);
        const TReading r = Read({c.answer});
        EXPECT_EQ(r.Steps, c.steps);
        EXPECT_EQ(r.Fields, c.fields);
        EXPECT_EQ(r.Body, c.body);
        ExpectSplitsAlike(c.answer);
    }
}

// Catches a limit off by one and a failure without its code and reason: a line of the receive
// buffer's size fits, one more byte does not; the line, byte and interim-answer counts likewise.
TEST(THttpAnswer, EndsAtEachHeaderLimitWithItsCodeAndReason)
{
    const QByteArray status = "HTTP/1.1 200 OK\r\n";
    const QByteArray longest = "X-Fill: " + QByteArray(THttpAnswer::MaxLineBytes - 10, 'a') + "\r\n";
    // Lines of 2000 bytes up to the byte limit, the status line and the last one included.
    const QByteArray big = "X-Big: " + QByteArray(2000 - 9, 'b') + "\r\n";
    const int bigLines = (THttpAnswer::MaxHeaderBytes - int(status.size())) / 2000;
    const QByteArray fill =
        "X-F: " + QByteArray(THttpAnswer::MaxHeaderBytes - int(status.size()) - bigLines * 2000 - 7, 'c') + "\r\n";
    const QByteArray interim = "HTTP/1.1 100 Continue\r\n\r\n";
    const QString tooLarge = QStringLiteral("failed 6 HTTP header too large");
    struct TCase {
        const char *name;
        QByteArray answer;
        QString last;
    };
    const QList<TCase> cases = {
        {"longest line", status + longest + "\r\n", "end"},
        {"line one byte longer", status + "X" + longest + "\r\n", "failed 4 HTTP line too long"},
        {"line without an end", status + QByteArray(THttpAnswer::MaxLineBytes, 'x'), "failed 4 HTTP line too long"},
        {"most lines", status + Lines(THttpAnswer::MaxHeaderLines - 1, "A: b\r\n") + "\r\n", "end"},
        {"one line more", status + Lines(THttpAnswer::MaxHeaderLines, "A: b\r\n") + "\r\n", tooLarge},
        {"most bytes", status + Lines(bigLines, big) + fill + "\r\n", "end"},
        {"one byte more", status + Lines(bigLines, big) + "X" + fill + "\r\n", tooLarge},
        {"most interim answers", Lines(THttpAnswer::MaxInterimAnswers, interim) + status + "\r\n", "end"},
        {"one interim answer more", Lines(THttpAnswer::MaxInterimAnswers + 1, interim) + status + "\r\n",
         "failed 11 HTTP too many interim answers"},
        // A stream of interim answers counts against the byte limit too.
        {"long interim answer", "HTTP/1.1 103 Early Hints\r\n" + Lines(bigLines + 1, big), tooLarge},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.name);
        const TReading r = Read({c.answer});
        EXPECT_EQ(r.Steps.last(), c.last);
        EXPECT_EQ(r.Fields.first().startsWith("404 "), c.last != "end");
    }
    // The limits hold whatever the pieces: a line end split off or a count kept across reads.
    ExpectSplitsAlike(status + "X" + longest);
    ExpectSplitsAlike(Lines(THttpAnswer::MaxInterimAnswers + 1, interim));
}

// Catches a tunnel answer taken for the server's, a refusal taken for an open tunnel, bytes after
// the proxy's answer passed on as the server's, and proxy lines left among the server's headers.
TEST(THttpAnswer, SkipsTheProxyAnswerThatOpensATunnel)
{
    const QByteArray opened = "HTTP/1.1 200 Connection established\r\nProxy-Agent: p\r\n\r\n";
    const QByteArray server = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    for (int at = 1; at <= opened.size(); ++at) {
        THttpAnswer a;
        a.Expect(QString::fromLatin1(BaseUrl), true);
        EXPECT_EQ(a.Feed(opened.constData(), at),
                  at < opened.size() ? THttpAnswer::NeedMore : THttpAnswer::TunnelOpened);
        if (at < opened.size()) {
            EXPECT_EQ(a.Feed(opened.constData() + at, int(opened.size()) - at), THttpAnswer::TunnelOpened);
        }
        EXPECT_EQ(a.Held(), 0);
        EXPECT_EQ(a.Feed(server.constData(), int(server.size())), THttpAnswer::HeaderBegins);
        while (a.Next() == THttpAnswer::HeaderLine) {
        }
        EXPECT_EQ(a.ResponseHeaders(), QStringList({"HTTP/1.1 200 OK", "Content-Length: 2"}));
        EXPECT_EQ(a.TakeBody(), "ok");
    }
    EXPECT_EQ(Read({opened + server}, true).Steps,
              QStringList{QStringLiteral("failed %1 Proxy sent data into the tunnel").arg(WSAECONNABORTED)});
    // The proxy's refusal is the answer.
    const QByteArray refused = "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic\r\n\r\n";
    const TReading r = Read({refused}, true);
    EXPECT_EQ(r.Steps, QStringList({"begins", "line", "line", "end"}));
    EXPECT_EQ(r.Fields.first(), "407 Proxy Authentication Required");
    ExpectSplitsAlike(refused, true);
}

// Catches bytes of the body lost or doubled when they arrive after the header ended, and a
// failure that still takes bytes.
TEST(THttpAnswer, EndedAndFailedAnswersStaySo)
{
    THttpAnswer a;
    EXPECT_EQ(a.Feed("HTTP/1.1 200 OK\r\n\r\nab", 21), THttpAnswer::HeaderBegins);
    EXPECT_EQ(a.Next(), THttpAnswer::HeaderLine);
    EXPECT_EQ(a.Next(), THttpAnswer::HeaderEnd);
    EXPECT_EQ(a.Feed("cd", 2), THttpAnswer::HeaderEnd);
    EXPECT_EQ(a.TakeBody(), "abcd");
    EXPECT_EQ(a.Held(), 0);

    a.Reset();
    EXPECT_EQ(a.ResponseHeaders(), QStringList());
    a.Fail(httpErrAborted, QStringLiteral("stopped"));
    EXPECT_EQ(a.Feed("HTTP/1.1 200 OK\r\n", 17), THttpAnswer::Failed);
    EXPECT_EQ(a.Held(), 0);
    EXPECT_EQ(a.Status(), 404);
    EXPECT_EQ(a.Reason(), "stopped");
}
