#include "maker/THomeFetch.h"

#include "core/TJobListModel.h"
#include "core/TSettings.h"
#include "download/TRateLimit.h"
#include "download/UrlUtil.h"
#include "tests/support/NetrcFile.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestCertificates.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

class THomeFetchTest : public ::testing::Test
{
protected:
    THomeFetchTest()
    {
        QObject::connect(&fetch, &THomeFetch::FetchingChanged, [this](bool on) { fetching.append(on); });
        QObject::connect(&fetch, &THomeFetch::StatusTextChanged, [this](const QString &t) { statuses.append(t); });
    }

    // The [start, end) ranges and part texts of the listed jobs.
    QStringList Rows() const
    {
        QStringList rows;
        for (int row = 0; row < jobs.RowCount(); ++row)
            rows.append(jobs.Cell(row, SubSBytes) + "-" + jobs.Cell(row, SubEBytes) + " " + jobs.Cell(row, SubDiv));
        return rows;
    }

    TJobListModel jobs;
    TSettings settings;
    THomeFetch fetch{jobs, settings};
    QList<bool> fetching;
    QStringList statuses;
};

QByteArray Partial(const QByteArray &range)
{
    return "HTTP/1.1 206 Partial Content\r\nContent-Range: " + range + "\r\nContent-Length: 1\r\n\r\nx";
}

} // namespace

// Catches parts with a gap, an overlap or a wrong name, a probe that asks for more than one byte,
// and a second split of the same URL listing its parts again.
TEST_F(THomeFetchTest, SplitsAFileFromNginxIntoTwelvePartsOnce)
{
    TNginxServer nginx;
    ASSERT_TRUE(nginx.Start()) << nginx.Error().toStdString();
    nginx.WriteFile("f.bin", QByteArray(1000, 'z'));

    EXPECT_EQ(fetch.Split(nginx.Url("/f.bin")), 12);
    QStringList expected;
    for (int k = 0; k < 12; ++k)
        expected.append(
            QStringLiteral("%1-%2 %3").arg(k * 84).arg(k == 11 ? 1000 : (k + 1) * 84).arg(k + 1, 3, 10, QChar('0')));
    EXPECT_EQ(Rows(), expected);
    EXPECT_EQ(fetch.StatusText, "部分的なコンテンツ(206)");
    EXPECT_EQ(fetching, (QList<bool>{true, false}));

    EXPECT_EQ(fetch.Split(nginx.Url("/f.bin")), 0);
    EXPECT_EQ(jobs.RowCount(), 12);
}

// Catches a server's answer trusted where it gives no usable total, a whole-file answer taken for
// a split, and totals past 32 bits cut short.
TEST_F(THomeFetchTest, ProbeAnswersThatGiveNoPartsOrBigOnes)
{
    struct TCase {
        QByteArray answer;
        int parts;
        QString status;
    };
    const QList<TCase> cases{
        {"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + QByteArray(1000, 'a'), 0, "分割不可！"},
        {"HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/\r\nContent-Length: 0\r\n\r\n", 0, "分割不可！"},
        {Partial("bytes 1-1/*"), 0, "部分的なコンテンツ(206)"},
        {Partial("bytes 1-1/-5000"), 0, "部分的なコンテンツ(206)"},
        {Partial("bytes 1-1/99999999999999999999999"), 0, "部分的なコンテンツ(206)"},
        {Partial("bytes 1-1/5000000000"), 12, "部分的なコンテンツ(206)"},
    };
    for (const TCase &c : cases) {
        jobs.Clear();
        TScriptedServer server;
        server.Play({TScriptedServer::Send(c.answer), TScriptedServer::Close()});
        EXPECT_EQ(fetch.Split(server.Url("/big.iso")), c.parts) << c.answer.left(60).toStdString();
        EXPECT_EQ(fetch.StatusText, c.status) << c.answer.left(60).toStdString();
        EXPECT_TRUE(server.Request().contains("Range: bytes=1-1\r\n"));
    }
    ASSERT_EQ(jobs.RowCount(), 12);
    EXPECT_EQ(Rows().first(), "0-416666667 001");
    EXPECT_EQ(Rows().last(), "4583333337-5000000000 012");
    // A total at the top of the range must not wrap while the parts are made.
    const auto top = THomeFetch::MakeParts(std::numeric_limits<qint64>::max());
    ASSERT_EQ(top.size(), 12);
    EXPECT_EQ(top.last().end, std::numeric_limits<qint64>::max());
}

// Catches a stopped split that still lists parts, and buttons left disabled after it.
TEST_F(THomeFetchTest, StopDuringASplitAddsNothing)
{
    TScriptedServer server;
    server.Play({TScriptedServer::Pause(), TScriptedServer::Send(Partial("bytes 1-1/1000")), TScriptedServer::Close()});
    QTimer press;
    QObject::connect(&press, &QTimer::timeout, [&] {
        if (server.Paused())
            fetch.Stop();
    });
    press.start(5);
    EXPECT_EQ(fetch.Split(server.Url("/f.bin")), 0);
    EXPECT_EQ(jobs.RowCount(), 0);
    EXPECT_EQ(fetch.StatusText, "Disconnected");
    EXPECT_EQ(fetching, (QList<bool>{true, false}));
}

// Catches a split probe, page or notice fetch that waits for ever on a server that accepts and never
// answers (plain, or never finishing the TLS handshake) or goes silent in mid-body: each must end
// after the stall time-out, drop what arrived and say why. The guard's Stop only ends a hang.
TEST_F(THomeFetchTest, SilentServersAreTimedOut)
{
    settings.TimeOutCTR = 1;
    TScriptedServer silent;
    silent.Play({TScriptedServer::Pause()});
    TScriptedServer midBody;
    midBody.Play(
        {TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nhalf"), TScriptedServer::Pause()});
    const QString tls = QStringLiteral("https://127.0.0.1:%1/kairan.txt").arg(silent.Port());
    const struct {
        const char *name;
        std::function<bool()> fetch;
    } cases[] = {
        {"split", [&] { return fetch.Split(silent.Url("/f.bin")) > 0; }},
        {"page", [&] { return fetch.FetchPage(silent.Url("/p.html")); }},
        {"page cut", [&] { return fetch.FetchPage(midBody.Url("/p.html")); }},
        {"notice", [&] { return fetch.FetchNotice(silent.Url("/kairan.txt")); }},
        {"notice over TLS", [&] { return fetch.FetchNotice(tls); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        fetching.clear();
        bool hung = false;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [&] { hung = true, fetch.Stop(); });
        guard.start(8000);
        EXPECT_FALSE(c.fetch());
        EXPECT_FALSE(hung) << "not timed out";
        EXPECT_EQ(fetch.StatusText, "Time Out!");
        EXPECT_EQ(fetch.FailReason, "nothing received for 1 s");
        EXPECT_TRUE(fetch.PageText.isEmpty());
        EXPECT_EQ(fetching, (QList<bool>{true, false}));
    }
    EXPECT_EQ(jobs.RowCount(), 0);
}

// Catches a page fetch waiting for a keep-alive server to close, a page or notice without bound,
// and a notice read past its first zero byte.
TEST_F(THomeFetchTest, FetchesEndAtTheirSizeOrTheirCap)
{
    TScriptedServer keepAlive;
    keepAlive.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello")});
    EXPECT_TRUE(fetch.FetchPage(keepAlive.Url("/p.html")));
    EXPECT_EQ(fetch.PageText, "hello");
    EXPECT_TRUE(statuses.contains("100.00%"));
    EXPECT_EQ(fetch.StatusText, "OK(200)");

    TScriptedServer flood;
    flood.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\n\r\n"),
                TScriptedServer::Send(QByteArray(THomeFetch::MaxPageBytes + 100000, 'q')), TScriptedServer::Close()});
    EXPECT_TRUE(fetch.FetchPage(flood.Url("/p.html")));
    EXPECT_EQ(fetch.PageText.size(), THomeFetch::MaxPageBytes);

    TScriptedServer notice;
    notice.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\n\r\nv1\r\nv2" + QByteArray(1, '\0') + "rest"),
                 TScriptedServer::Close()});
    EXPECT_TRUE(fetch.FetchNotice(notice.Url("/kairan.txt")));
    EXPECT_EQ(fetch.PageText, "v1\r\nv2");
}

// Catches the window's fetches ended by an interim answer before the real one.
TEST_F(THomeFetchTest, InterimAnswersBeforeTheAnswerAreSkipped)
{
    const QByteArray interim = "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a.css>\r\n\r\n";
    TScriptedServer server;
    server.Play({TScriptedServer::Send(interim + Partial("bytes 1-1/1000"))});
    server.Play({TScriptedServer::Send(interim + "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello")});
    EXPECT_EQ(fetch.Split(server.Url("/f.bin")), 12);
    EXPECT_TRUE(fetch.FetchPage(server.Url("/p.html")));
    EXPECT_EQ(fetch.PageText, "hello");
    EXPECT_EQ(fetch.StatusText, "OK(200)");
}

// Catches the setting ignored by the Home window's fetches, the split probe's range lost on a hop
// (the whole file would come instead of one byte), parts listed under the redirect's target, and a
// page's links left relative to the URL it was redirected from.
TEST_F(THomeFetchTest, FetchesFollowRedirectsWhenTheSettingSaysSo)
{
    using S = TScriptedServer;
    S server;
    server.Play({S::Send("HTTP/1.1 302 Found\r\nLocation: /real/f.bin\r\nContent-Length: 0\r\n\r\n")});
    server.Play({S::Send(Partial("bytes 1-1/1000"))});
    server.Play({S::Send("HTTP/1.1 301 Moved Permanently\r\nLocation: ../new/page.html\r\nContent-Length: 0\r\n\r\n")});
    server.Play({S::Send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\npage")});
    settings.FollowRedirects = 1;
    EXPECT_EQ(fetch.Split(server.Url("/f.bin")), 12);
    EXPECT_TRUE(server.Head(0, 1).startsWith("GET /real/f.bin ")) << server.Request(0).toStdString();
    EXPECT_TRUE(server.Head(0, 1).contains("\r\nRange: bytes=1-1\r\n")) << server.Request(0).toStdString();
    EXPECT_EQ(jobs.Cell(0, SubURL), server.Url("/f.bin"));
    EXPECT_TRUE(fetch.FetchPage(server.Url("/old/page.html")));
    EXPECT_EQ(fetch.PageText, "page");
    EXPECT_EQ(fetch.PageURL, server.Url("/new/page.html"));
    // Every answer ended by its length: the probe, its hop, the page fetch and its hop share one connection.
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_EQ(server.Requests(0), 4);
}

// Catches a page behind a login fetched without the cookie file or the .netrc login the downloads
// use, and a login or cookie of one fetch left for a later fetch that no longer asks for them.
TEST_F(THomeFetchTest, PageFetchSendsTheCookieFileAndTheNetrcLogin)
{
    TTempFolder temp;
    const TNetrcVariable netrc(WriteNetrc(temp, 0600));
    settings.CookieFile = temp.write("cookies.txt", "127.0.0.1\tFALSE\t/\tFALSE\t0\tsid\tabc\n");
    settings.Netrc = 1;
    TScriptedServer server;
    server.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\npage")});
    ASSERT_TRUE(fetch.FetchPage(server.Url("/gallery.html")));
    const QByteArray first = server.Head(0, 0);
    EXPECT_TRUE(first.contains("\r\nCookie: sid=abc\r\n")) << first.toStdString();
    EXPECT_TRUE(first.contains("\r\nAuthorization: Basic " + QByteArray("anna:pw").toBase64() + "\r\n"));

    settings.CookieFile.clear();
    settings.Netrc = 0;
    ASSERT_TRUE(fetch.FetchPage(server.Url("/gallery.html")));
    ASSERT_EQ(server.AllRequests(), 2);
    QByteArray both;
    for (int i = 0; i < server.Connections(); ++i)
        both += server.Request(i);
    EXPECT_EQ(both.count("Cookie:"), 1) << both.toStdString();
    EXPECT_EQ(both.count("Authorization:"), 1);
}

// Catches a page fetch that passes the program's rate cap by: 40,000 bytes at 20,000 a second,
// with a burst of a fifth of a second and reads of at least 1 KiB, cannot arrive in under 1.5 s.
TEST_F(THomeFetchTest, PageFetchTakesItsShareOfTheRateCap)
{
    TScriptedServer server;
    server.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 40000\r\n\r\n" + QByteArray(40000, 'p'))});
    settings.RateLimit = {20000};
    const auto uncap = qScopeGuard([] { TRateLimit::Program().SetBytesPerSecond(0); });
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(fetch.FetchPage(server.Url("/big.html")));
    EXPECT_GE(clock.elapsed(), 1500);
    EXPECT_EQ(fetch.PageText, QByteArray(40000, 'p'));
}

// Catches a probe that got no answer reading "？？？(0)" (in the window's status bar and in the batch's
// reason alike) instead of what happened: refused, refused by status, sent round in a circle, or
// refused for its certificate.
TEST_F(THomeFetchTest, ProbeFailuresSayWhatHappened)
{
    TScriptedServer notFound, loop;
    notFound.Play({TScriptedServer::Send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")});
    loop.Play({TScriptedServer::Send("HTTP/1.1 302 Found\r\nLocation: /f.bin\r\nContent-Length: 0\r\n\r\n")});
    TTestCertificates certs;
    ASSERT_TRUE(certs.Make()) << certs.Error().toStdString();
    TNginxServer tls;
    tls.UseTls(certs.Good().Cert, certs.Good().Key);
    ASSERT_TRUE(tls.Start()) << tls.Error().toStdString();
    settings.FollowRedirects = 1;
    const struct {
        QString url;
        QString reason;
    } cases[] = {
        {QStringLiteral("http://127.0.0.1:%1/f.bin").arg(UnusedLoopbackPort()), "Connection refused (Error #10061)"},
        {notFound.Url("/f.bin"), UrlUtil::HttpMsg(404)},
        {loop.Url("/f.bin"), "HTTP too many redirects (more than 10)"},
        {tls.Url("/f.bin"), "TLS certificate refused"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.url.toStdString());
        EXPECT_EQ(fetch.Split(c.url), 0);
        EXPECT_TRUE(fetch.FailReason.startsWith(c.reason)) << fetch.FailReason.toStdString();
        EXPECT_EQ(fetch.StatusText, fetch.FailReason);
    }
    EXPECT_EQ(jobs.RowCount(), 0);
}

// Catches parts that carry no record of the version their probe saw, or one that If-Range cannot
// use: a strong ETag first, else the date (a weak tag never satisfies If-Range), else the size alone.
TEST_F(THomeFetchTest, PartsRecordTheVersionTheProbeSaw)
{
    const QByteArray date = "Last-Modified: Wed, 21 Oct 2015 07:28:00 GMT\r\n";
    const QString dateText = "Last-Modified=Wed%2C%2021%20Oct%202015%2007%3A28%3A00%20GMT";
    const struct {
        QByteArray headers;
        QString version;
    } cases[] = {
        {"ETag: \"v1\"\r\n" + date, "1000 ETag=%22v1%22"},
        {"ETag: W/\"v1\"\r\n" + date, "1000 " + dateText},
        {"ETag: W/\"v1\"\r\n", "1000 ETag=W%2F%22v1%22"},
        {{}, "1000"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.headers.toStdString());
        jobs.Clear();
        TScriptedServer server;
        server.Play({TScriptedServer::Send("HTTP/1.1 206 Partial Content\r\n" + c.headers
                                           + "Content-Range: bytes 1-1/1000\r\nContent-Length: 1\r\n\r\nx")});
        ASSERT_EQ(fetch.Split(server.Url("/f.bin")), 12);
        for (int row = 0; row < 12; ++row)
            EXPECT_EQ(jobs.Version(row), c.version);
    }
}
