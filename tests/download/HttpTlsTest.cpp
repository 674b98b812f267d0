#include "download/TRateLimit.h"
#include "tests/support/ConnectProxy.h"
#include "tests/support/HttpClientRun.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TestBytes.h"
#include "tests/support/TestCertificates.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {
using S = TScriptedServer;

// One certificate set and one nginx per certificate for the whole suite: openssl and nginx take
// a moment each, and no test changes them.
class THttpCliTls : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        Certs = std::make_unique<TTestCertificates>();
        if (!Certs->Make()) {
            Problem = Certs->Error();
            return;
        }
        for (const auto &[server, pair] :
             {std::pair{&Good, Certs->Good()}, std::pair{&Other, Certs->OtherName()},
              std::pair{&Expired, Certs->Expired()}, std::pair{&Self, Certs->SelfSigned()}}) {
            *server = std::make_unique<TNginxServer>();
            (*server)->UseTls(pair.Cert, pair.Key);
            if (!(*server)->Start()) {
                Problem = (*server)->Error();
                return;
            }
        }
        Data = Pattern(3 << 20);
        for (TNginxServer *server : {Good.get(), Other.get(), Expired.get(), Self.get()})
            server->WriteFile(QStringLiteral("data.bin"), Data);
    }
    static void TearDownTestSuite()
    {
        Good.reset();
        Other.reset();
        Expired.reset();
        Self.reset();
        Certs.reset();
    }
    void SetUp() override { ASSERT_TRUE(Problem.isEmpty()) << Problem.toStdString(); }

    static std::unique_ptr<TClient> Trusting(const QString &url)
    {
        auto c = std::make_unique<TClient>(url);
        c->Cli.CAFile = Certs->CaFile();
        return c;
    }

    static inline std::unique_ptr<TTestCertificates> Certs;
    static inline std::unique_ptr<TNginxServer> Good, Other, Expired, Self;
    static inline QString Problem;
    static inline QByteArray Data;
};
} // namespace

// Catches bytes lost or doubled between TLS records and 8192-byte pieces, a range not asked for
// or not read back, the name form of the host not checked against the certificate, and the
// default port of https.
TEST_F(THttpCliTls, WholeFilesAndRangesArriveByteForByte)
{
    const QString localhost =
        Good->Url(QStringLiteral("/data.bin")).replace(QLatin1String("127.0.0.1"), QLatin1String("localhost"));
    for (const QString &url : {Good->Url(QStringLiteral("/data.bin")), localhost}) {
        SCOPED_TRACE(url.toStdString());
        auto c = Trusting(url);
        EXPECT_EQ(Request(c->Cli).Text(), "0 ");
        EXPECT_EQ(c->Cli.ResponseStatus(), 200);
        EXPECT_TRUE(c->Body.data() == Data) << c->Body.data().size() << " bytes";
    }
    auto c = Trusting(Good->Url(QStringLiteral("/data.bin")));
    c->Cli.ContentRangeBegin = QStringLiteral("1000000");
    EXPECT_EQ(Request(c->Cli).Text(), "0 ");
    EXPECT_EQ(c->Cli.ResponseStatus(), 206);
    EXPECT_EQ(c->Cli.ContentRangeBegin, "1000000");
    EXPECT_TRUE(c->Body.data() == Data.mid(1000000)) << c->Body.data().size() << " bytes";

    // Nothing listens on 443 here: a refused connection, not one to port 80, shows it is the default.
    S plain;
    auto noPort = Trusting(QStringLiteral("https://127.0.0.1/data.bin"));
    EXPECT_EQ(Request(noPort->Cli).Code, 404);
    EXPECT_EQ(noPort->Cli.RequestDoneError(), 10061);
}

// Catches bytes lost or stuck when a capped read leaves decrypted bytes in the TLS session: the
// socket never turns readable for them, so the pause must hand them on when it ends.
TEST_F(THttpCliTls, ACappedBodyArrivesWholeAtItsPace)
{
    constexpr qint64 rate = 512 * 1024;
    constexpr qint64 tail = 600 * 1024;
    TRateLimit limit;
    limit.SetBytesPerSecond(rate);
    auto c = Trusting(Good->Url(QStringLiteral("/data.bin")));
    c->Cli.RateLimit = &limit;
    c->Cli.ContentRangeBegin = QString::number(Data.size() - tail);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(Request(c->Cli).Text(), "0 ");
    EXPECT_TRUE(c->Body.data() == Data.right(tail)) << c->Body.data().size() << " bytes";
    EXPECT_GE(clock.elapsed(), (tail - rate / 5 - 8192) * 1000 / rate);
}

// Catches a certificate accepted that should not be (one for another name, reached by address or by
// a name, whose checks take different paths), a refusal that would be retried for ever, and a reason
// that does not say what was wrong.
TEST_F(THttpCliTls, RefusedCertificatesSayWhyAndAreNotRetried)
{
    const QString other = Other->Url(QStringLiteral("/data.bin"));
    const struct {
        QString url;
        bool trust;
        QString reason;
    } cases[] = {
        {Good->Url(QStringLiteral("/data.bin")), false, "TLS certificate refused: unknown issuer"},
        {other, true, "TLS certificate refused: wrong name"},
        {QString(other).replace(QLatin1String("127.0.0.1"), QLatin1String("localhost")), true,
         "TLS certificate refused: wrong name"},
        {Expired->Url(QStringLiteral("/data.bin")), true, "TLS certificate refused: expired"},
        {Self->Url(QStringLiteral("/data.bin")), true, "TLS certificate refused: unknown issuer"},
    };
    for (const auto &t : cases) {
        SCOPED_TRACE(t.url.toStdString());
        TClient c(t.url);
        if (t.trust)
            c.Cli.CAFile = Certs->CaFile();
        EXPECT_EQ(Request(c.Cli).Text(), "12 " + t.reason);
        EXPECT_TRUE(c.Cli.ClientFailure());
        EXPECT_TRUE(c.Body.data().isEmpty());
    }
    TClient missing(Good->Url(QStringLiteral("/data.bin")));
    missing.Cli.CAFile = Certs->CaFile() + QLatin1String(".gone");
    const TOutcome o = Request(missing.Cli);
    EXPECT_EQ(o.Code, 12);
    EXPECT_TRUE(o.Message.contains(QLatin1String("CAFile"))) << o.Message.toStdString();
}

// Catches an https request written in plain text to a server that does not speak TLS (its
// cookie and credentials readable on the wire), and such a server taken for a bad certificate.
TEST_F(THttpCliTls, AServerWithoutTlsNeverSeesTheRequest)
{
    S server(true);
    server.Play({S::Send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx")});
    TClient c(QStringLiteral("https://u:p@127.0.0.1:%1/secret.jpg").arg(server.Port()));
    c.Cli.Cookie = QStringLiteral("session=1");
    const TOutcome o = Request(c.Cli);
    EXPECT_EQ(o.Code, 404);
    EXPECT_TRUE(o.Message.startsWith(QLatin1String("TLS: "))) << o.Message.toStdString();
    EXPECT_FALSE(c.Cli.ClientFailure());
    EXPECT_TRUE(c.Body.data().isEmpty());
    ASSERT_TRUE(WaitForEvents([&] { return server.Connections() > 0 && server.PeerClosed(); }));
    const QByteArray hello = server.Request(0);
    EXPECT_TRUE(hello.startsWith("\x16\x03")) << hello.left(16).toHex().toStdString();
    EXPECT_FALSE(hello.contains("secret") || hello.contains("session"));
}

// Catches a proxy that sees the request (its path, cookie or credentials) instead of a tunnel,
// the proxy's own credentials sent on to the server, and a proxy's refusal taken for success.
TEST_F(THttpCliTls, ThroughAProxyTheRequestGoesInATunnel)
{
    TConnectProxy proxy;
    auto c = Trusting(Good->Url(QStringLiteral("/data.bin")));
    c->Cli.Proxy = QStringLiteral("127.0.0.1:%1").arg(proxy.Port());
    c->Cli.ProxyUsername = QStringLiteral("pu");
    c->Cli.ProxyPassword = QStringLiteral("pp");
    c->Cli.Cookie = QStringLiteral("session=1");
    QStringList sent;
    c->Cli.OnCommand = [&](THttpCli *, const QString &line) { sent << line; };
    EXPECT_EQ(Request(c->Cli).Text(), "0 ");
    EXPECT_TRUE(c->Body.data() == Data) << c->Body.data().size() << " bytes";
    const QByteArray authority = "127.0.0.1:" + QByteArray::number(Good->Port());
    ASSERT_EQ(proxy.Heads().size(), 1);
    EXPECT_EQ(proxy.Heads().first(), "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority
                                         + "\r\nUser-Agent: Mozilla/3.0 (compatible)\r\nProxy-Authorization: Basic "
                                         + QByteArray("pu:pp").toBase64() + "\r\n\r\n");
    EXPECT_EQ(sent.first(), "GET /data.bin HTTP/1.1");
    EXPECT_FALSE(sent.join('\n').contains(QLatin1String("Proxy-Authorization")));
    // The next request to the same server goes through the kept tunnel, in the TLS session it has.
    c->Body.buffer().clear();
    c->Body.seek(0);
    EXPECT_EQ(Request(c->Cli).Text(), "0 ");
    EXPECT_TRUE(c->Body.data() == Data) << c->Body.data().size() << " bytes";
    EXPECT_EQ(proxy.Heads().size(), 1);

    proxy.RefuseWith("HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 0\r\n\r\n");
    auto refused = Trusting(Good->Url(QStringLiteral("/data.bin")));
    refused->Cli.Proxy = c->Cli.Proxy;
    EXPECT_EQ(Request(refused->Cli).Text(), "407 Proxy Authentication Required");
    EXPECT_TRUE(refused->Body.data().isEmpty());
}

// Catches a redirect to https not followed (or followed in plain text), and one from https down to
// plain http followed, which would send what came over TLS out in the clear.
TEST_F(THttpCliTls, RedirectsGoUpToHttpsAndNeverDown)
{
    TNginxServer plain;
    plain.ServerLines = QStringLiteral("location = /up { return 301 %1; }").arg(Good->Url(QStringLiteral("/data.bin")));
    ASSERT_TRUE(plain.Start()) << plain.Error().toStdString();
    auto up = Trusting(plain.Url(QStringLiteral("/up")));
    up->Cli.FollowRedirects = true;
    EXPECT_EQ(Request(up->Cli).Text(), "0 ");
    EXPECT_EQ(up->Cli.CurrentUrl(), Good->Url(QStringLiteral("/data.bin")));
    EXPECT_TRUE(up->Body.data() == Data) << up->Body.data().size() << " bytes";

    TNginxServer secure;
    secure.UseTls(Certs->Good().Cert, Certs->Good().Key);
    secure.ServerLines = QStringLiteral("location = /down { return 302 %1; }").arg(plain.Url(QStringLiteral("/x.bin")));
    ASSERT_TRUE(secure.Start()) << secure.Error().toStdString();
    plain.WriteFile(QStringLiteral("x.bin"), "plain");
    auto down = Trusting(secure.Url(QStringLiteral("/down")));
    down->Cli.FollowRedirects = true;
    EXPECT_EQ(Request(down->Cli).Text(), "21 HTTP redirect from HTTPS to HTTP refused");
    EXPECT_TRUE(down->Cli.ClientFailure());
    EXPECT_TRUE(down->Body.data().isEmpty());
}

// Catches a TLS connection given up after each answer (a handshake per file), and one reused for a
// plain http request to the same address and port.
TEST_F(THttpCliTls, AKeptConnectionServesTheNextRequestsWithoutAHandshake)
{
    const int requests = static_cast<int>(Good->Requests().size());
    const int connections = Good->Connections();
    auto c = Trusting(Good->Url(QStringLiteral("/data.bin")));
    EXPECT_EQ(Request(c->Cli).Text(), "0 ");
    c->Body.buffer().clear();
    c->Body.seek(0);
    c->Cli.ContentRangeBegin = QStringLiteral("3000000");
    EXPECT_EQ(Request(c->Cli).Text(), "0 ");
    EXPECT_EQ(c->Cli.ResponseStatus(), 206);
    EXPECT_TRUE(c->Body.data() == Data.mid(3000000)) << c->Body.data().size() << " bytes";
    ASSERT_TRUE(WaitForEvents([&] { return Good->Requests().size() == requests + 2; }));
    EXPECT_EQ(Good->Connections(), connections + 1);

    c->Cli.URL = Good->Url(QStringLiteral("/data.bin")).replace(QLatin1String("https:"), QLatin1String("http:"));
    Request(c->Cli);
    EXPECT_EQ(c->Cli.ResponseStatus(), 400);
    ASSERT_TRUE(WaitForEvents([&] { return Good->Requests().size() == requests + 3; }));
    EXPECT_EQ(Good->Connections(), connections + 2);
}
