#include "download/HttpProt.h"
#include "tests/support/HttpClientRun.h"
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>

namespace {
using S = TScriptedServer;

QByteArray Ok(const QByteArray &body, const QByteArray &headers = {})
{
    return "HTTP/1.1 200 OK\r\n" + headers + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// Runs a GET of url on the client, which keeps its connection between calls.
QString Fetch(TClient &c, const QString &url)
{
    c.Body.buffer().clear();
    c.Body.seek(0);
    c.Cli.URL = url;
    return Request(c.Cli).Text();
}
} // namespace

// Catches a connection given up after an answer that ended by its own framing, and one kept after an
// answer that leaves no sure place for the next one: "close", HTTP/1.0 without keep-alive, a body read
// until the close, bytes past the length or past the last chunk.
TEST(THttpCliKeepAlive, OnlyAnAnswerThatEndedByItsFramingKeepsItsConnection)
{
    // closes: the server closes after the answer; otherwise it would answer a second request on it.
    const struct {
        const char *name;
        QByteArray answer;
        bool closes;
        int connections;
    } cases[] = {
        {"length", Ok("first"), false, 1},
        {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nfirst\r\n0\r\n\r\n", false, 1},
        {"chunked with trailer",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nfirst\r\n0\r\nX-T: 1\r\n\r\n", false, 1},
        {"HTTP/1.0 keep-alive", "HTTP/1.0 200 OK\r\nConnection: Keep-Alive\r\nContent-Length: 5\r\n\r\nfirst", false,
         1},
        {"empty", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false, 1},
        {"close", Ok("first", "Connection: close\r\n"), false, 2},
        {"HTTP/1.0", "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nfirst", false, 2},
        {"until close", "HTTP/1.1 200 OK\r\n\r\nfirst", true, 2},
        {"past the length", Ok("first") + "HTTP/1.1 200 OK\r\n", false, 2},
        {"past the last chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nfirst\r\n0\r\n\r\nX", false,
         2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        S server;
        if (c.closes)
            server.Play({S::Send(c.answer), S::Close()});
        else
            server.Play({S::Send(c.answer)});
        server.Play({S::Send(Ok("second"))});
        TClient client(server.Url(QStringLiteral("/1")));
        EXPECT_EQ(Fetch(client, server.Url(QStringLiteral("/1"))), "0 ");
        EXPECT_EQ(client.Body.data(), QByteArray(c.name) == "empty" ? "" : "first");
        EXPECT_EQ(Fetch(client, server.Url(QStringLiteral("/2"))), "0 ");
        EXPECT_EQ(client.Body.data(), "second");
        EXPECT_EQ(server.Connections(), c.connections);
        EXPECT_TRUE(server.Request(c.connections - 1).contains("GET /2 HTTP/1.1\r\n"));
    }
}

// Catches a kept connection that goes to another host name, port or proxy, or outlives the client's
// idle limit; and a request sent on a connection the server closed while it idled.
TEST(THttpCliKeepAlive, AConnectionServesOnlyItsOwnPlace)
{
    S server, other;
    server.Play({S::Send(Ok("answer"))});
    other.Play({S::Send(Ok("answer"))});
    TClient c(server.Url());
    const QString local = QStringLiteral("http://localhost:%1/x").arg(server.Port());
    for (const QString &url : {server.Url(QStringLiteral("/a")), server.Url(QStringLiteral("/b")), local,
                               other.Url(QStringLiteral("/c")), server.Url(QStringLiteral("/d"))})
        EXPECT_EQ(Fetch(c, url), "0 ") << url.toStdString();
    EXPECT_EQ(server.Connections(), 3);
    EXPECT_EQ(server.Requests(0), 2);
    EXPECT_EQ(other.Connections(), 1);

    // Through the server as a proxy, then to it directly: the same address, another connection.
    c.Cli.Proxy = QStringLiteral("127.0.0.1:%1").arg(server.Port());
    EXPECT_EQ(Fetch(c, QStringLiteral("http://origin.invalid/p")), "0 ");
    c.Cli.Proxy.clear();
    EXPECT_EQ(Fetch(c, server.Url(QStringLiteral("/q"))), "0 ");
    EXPECT_EQ(server.Connections(), 5);
    EXPECT_TRUE(server.Request(3).startsWith("GET http://origin.invalid/p HTTP/1.1\r\n"));

    c.Cli.SetKeepAliveMs(0);
    EXPECT_EQ(Fetch(c, server.Url(QStringLiteral("/r"))), "0 ");
    EXPECT_EQ(Fetch(c, server.Url(QStringLiteral("/s"))), "0 ");
    EXPECT_EQ(server.Connections(), 7);
    c.Cli.SetKeepAliveMs(THttpKeepAlive::DefaultIdleMs);

    // The server closes the idle connection; the client notices, and the next request takes a new one.
    S closing;
    closing.Play({S::Send(Ok("answer")), S::Close()});
    closing.Play({S::Send(Ok("again"))});
    EXPECT_EQ(Fetch(c, closing.Url(QStringLiteral("/t"))), "0 ");
    ASSERT_TRUE(WaitForEvents([&] { return closing.PeerClosed(0); })) << "the idle connection was not closed";
    EXPECT_EQ(Fetch(c, closing.Url(QStringLiteral("/u"))), "0 ");
    EXPECT_EQ(c.Body.data(), "again");
    EXPECT_EQ(closing.Connections(), 2);
    EXPECT_EQ(c.Cli.KeepAliveMs(), THttpKeepAlive::DefaultIdleMs);
}

// Catches a request lost (or failed) when the server closed the kept connection just as it went out,
// a resend that loses the range, and a partial answer on a kept connection sent again as if nothing came.
TEST(THttpCliKeepAlive, ARequestTheServerClosedOnUnansweredGoesOnceMore)
{
    S server;
    server.Play({S::Send(Ok("first"))});
    // The server takes the next request and closes without a byte, as one whose idle limit just ran out.
    server.Play({S::Close()});
    server.Play(
        {S::Send("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 2-5/9\r\nContent-Length: 4\r\n\r\nabcd")});
    TClient c(server.Url());
    EXPECT_EQ(Fetch(c, server.Url(QStringLiteral("/1"))), "0 ");
    c.Cli.ContentRangeBegin = QStringLiteral("2");
    c.Cli.ContentRangeEnd = QStringLiteral("5");
    EXPECT_EQ(Fetch(c, server.Url(QStringLiteral("/2"))), "0 ");
    EXPECT_EQ(c.Body.data(), "abcd");
    EXPECT_EQ(c.Cli.ResponseStatus(), 206);
    ASSERT_EQ(server.Connections(), 2);
    EXPECT_TRUE(server.Head(0, 1).contains("\r\nRange: bytes=2-5\r\n"));
    EXPECT_TRUE(server.Head(1, 0).startsWith("GET /2 HTTP/1.1\r\n")
                && server.Head(1, 0).contains("\r\nRange: bytes=2-5\r\n"))
        << server.Request(1).toStdString();
    // The 206 left the new connection open: a third request goes over it.
    server.Play({S::Send(Ok("third"))});
    EXPECT_EQ(Fetch(c, server.Url(QStringLiteral("/3"))), "0 ");
    EXPECT_EQ(server.Connections(), 2);

    S partial;
    partial.Play({S::Send(Ok("first"))});
    partial.Play({S::Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"), S::Close()});
    TClient p(partial.Url());
    EXPECT_EQ(Fetch(p, partial.Url(QStringLiteral("/1"))), "0 ");
    Fetch(p, partial.Url(QStringLiteral("/2")));
    EXPECT_EQ(p.Cli.RequestDoneError(), httpErrBodyCut);
    EXPECT_EQ(p.Body.data(), "abc");
    EXPECT_EQ(partial.Connections(), 1);
}
