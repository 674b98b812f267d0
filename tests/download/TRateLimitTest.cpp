#include "download/TRateLimit.h"

#include "tests/support/HttpClientRun.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TestBytes.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {
using S = TScriptedServer;
constexpr qint64 Rate = 200 * 1024;
// The most a bucket lets through beyond its rate: its burst and one read taken on credit.
constexpr qint64 Slack = Rate / 5 + 8192;
} // namespace

// Catches budget lost or counted twice between threads taking at once, a bucket that grants more
// than its rate over time, and a cap of 0 that holds anything back.
TEST(TRateLimitTest, ThreadsTogetherStayUnderTheCap)
{
    TRateLimit limit;
    EXPECT_EQ(limit.Take(8192), 8192) << "no cap";
    limit.SetBytesPerSecond(Rate);
    std::atomic<qint64> granted{0};
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> takers;
    for (int i = 0; i < 4; ++i)
        takers.emplace_back([&] {
            while (clock.elapsed() < 300) {
                const int got = limit.Take(8192);
                // A read that brought half of what it took gives the rest back.
                limit.GiveBack(got / 2);
                granted += got - got / 2;
            }
        });
    for (std::thread &t : takers)
        t.join();
    const double seconds = clock.nsecsElapsed() / 1e9;
    EXPECT_LE(granted.load(), qint64(Rate * seconds) + Slack);
    EXPECT_GE(granted.load(), Rate / 5) << "the first burst at least";
    int takes = 0;
    while (limit.Take(8192) > 0 && ++takes < 100) {
    }
    EXPECT_LT(takes, 100) << "the budget runs out";
    EXPECT_GE(limit.WaitMs(), 1);
    EXPECT_LE(limit.WaitMs(), TRateLimit::MaxWaitMs);
    limit.SetBytesPerSecond(0);
    EXPECT_EQ(limit.Take(8192), 8192);
}

// Catches a client that reads past its budget and sleeps afterwards (or not at all): a capped body
// of N bytes cannot arrive before (N - slack) / cap seconds, and arrives whole.
TEST(TRateLimitTest, ACappedAnswerTakesAtLeastItsShare)
{
    const QByteArray body = Pattern(300 * 1024);
    S server;
    server.Play({S::Send("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body)});
    TRateLimit limit;
    limit.SetBytesPerSecond(Rate);
    TClient client(server.Url(QStringLiteral("/capped.bin")));
    client.Cli.RateLimit = &limit;
    QElapsedTimer clock;
    clock.start();
    const TOutcome outcome = Request(client.Cli);
    const qint64 elapsed = clock.elapsed();
    EXPECT_EQ(outcome.Text(), "0 ");
    EXPECT_EQ(client.Body.data(), body);
    EXPECT_GE(elapsed, (body.size() - Slack) * 1000 / Rate);
}
