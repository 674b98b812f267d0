#include "core/TScheduler.h"

#include "core/TSettings.h"
#include "download/RowTexts.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QHostAddress>

#include <gtest/gtest.h>

namespace {

// Every URL gets the same bytes: after the first, a row completes as a duplicate of the first file.
const QByteArray Whole = "HTTP/1.1 200 OK\r\nContent-Length: 25000\r\n\r\n" + QByteArray(25000, 'w');
// Half a file on a connection kept open: its row runs until it is stopped.
const QByteArray Half = "HTTP/1.1 200 OK\r\nContent-Length: 50000\r\n\r\n" + QByteArray(25000, 'h');

// Ticks are driven by hand on a clock of the test's own; each tick's starts are counted.
class TSchedulerHostsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir(temp.path()).mkdir("tmp");
        scheduler.ProgramFolder = temp.path();
        scheduler.Clock = [this] { return now; };
        QObject::connect(&scheduler, &TScheduler::JobStarted,
                         [this](quint64 id, int) { started.append(jobs.RowOfJob(id)); });
        QObject::connect(&scheduler, &TScheduler::JobEnded, [this](quint64) { ++ended; });
    }

    void TearDown() override { scheduler.Shutdown(); }

    // One tick; returns the rows it started. finishing: wait until every run begun so far has ended.
    QList<int> Tick(bool finishing = false)
    {
        const qsizetype before = started.size();
        scheduler.Timer1Timer();
        if (finishing) {
            EXPECT_TRUE(WaitForEvents([&] { return ended == started.size(); }));
        }
        return started.mid(before);
    }

    // Connections of server its peer has not closed.
    static int Open(const TScriptedServer &server)
    {
        int open = 0;
        for (int i = 0; i < server.Connections(); ++i)
            open += server.PeerClosed(i) ? 0 : 1;
        return open;
    }

    TTempFolder temp;
    TJobListModel jobs;
    TSettings settings;
    TScheduler scheduler{jobs, settings};
    qint64 now = 1000;
    QList<int> started;
    int ended = 0;
};

} // namespace

// The host is the name in lower case with its port, the scheme's when none is written.
TEST(THostPacingTest, HostKeyIsNameAndPort)
{
    EXPECT_EQ(THostPacing::HostKey("http://Img.Example.COM/a.jpg"), "img.example.com:80");
    EXPECT_EQ(THostPacing::HostKey("http://img.example.com:80/b.jpg"), "img.example.com:80");
    EXPECT_EQ(THostPacing::HostKey("https://img.example.com/a.jpg"), "img.example.com:443");
    EXPECT_EQ(THostPacing::HostKey("http://user:pw@img.example.com:8080/a"), "img.example.com:8080");
    EXPECT_EQ(THostPacing::HostKey("http://[::1]:81/a"), "[::1]:81");
    EXPECT_NE(THostPacing::HostKey("http://127.0.0.1:81/"), THostPacing::HostKey("http://127.0.0.2:81/"));
}

// Catches more than one start per tick by default, or fewer than asked (up to the free workers) with more.
TEST_F(TSchedulerHostsTest, StartsPerTickStartsUpToThatManyWhileWorkersAreFree)
{
    TScriptedServer server;
    server.Play({TScriptedServer::Send(Half)});
    for (int i = 0; i < 8; ++i)
        jobs.AddJob(server.Url(QStringLiteral("/s%1.bin").arg(i)), 0, 0, {});
    settings.Threads = 3;
    EXPECT_EQ(Tick(), QList<int>{0});
    EXPECT_EQ(Tick(), QList<int>{1});
    settings.StartsPerTick = 3;
    EXPECT_EQ(Tick(), (QList<int>{2, 3})) << "only two workers were free";
    EXPECT_EQ(Tick(), QList<int>{});
    scheduler.AbortRows({0, 1, 2});
    ASSERT_TRUE(WaitForEvents([&] { return ended == 3; }));
    EXPECT_EQ(Tick(), (QList<int>{4, 5, 6}));
    ASSERT_TRUE(WaitForEvents([&] { return server.Connections() == 7; }));
}

// Catches a parked worker that waits for the next tick when a tick may start more than one row, one
// that starts beyond the tick's starts, and one that starts between ticks with the default of one.
TEST_F(TSchedulerHostsTest, AParkedWorkerTakesTheTicksUnusedStarts)
{
    TScriptedServer server;
    TScriptedServer holding;
    server.Play({TScriptedServer::Send(Whole)});
    holding.Play({TScriptedServer::Send(Half)});
    for (int i = 0; i < 3; ++i)
        jobs.AddJob(server.Url(QStringLiteral("/p%1.jpg").arg(i)), 0, 0, {});
    jobs.AddJob(holding.Url("/held.jpg"), 0, 0, {});
    jobs.AddJob(server.Url("/p4.jpg"), 0, 0, {});
    settings.Threads = 0;
    settings.Interval = TSettings::MaxInterval; // the timer's own first tick comes after the test
    settings.StartsPerTick = 3;
    scheduler.TButtonGetClick();
    EXPECT_EQ(Tick(), QList<int>{0});
    ASSERT_TRUE(WaitForEvents([&] { return ended == 3; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(started, (QList<int>{0, 1, 2})) << "the tick's three starts are used";
    settings.StartsPerTick = 1;
    EXPECT_EQ(Tick(), QList<int>{3});
    EXPECT_EQ(Tick(), QList<int>{}) << "its worker is busy: the tick's start goes unused";
    scheduler.AbortRows({3});
    ASSERT_TRUE(WaitForEvents([&] { return ended == 4; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(started.size(), 4) << "with one start per tick the worker waits for the tick";
    EXPECT_EQ(Tick(true), QList<int>{4});
    EXPECT_TRUE(RowText::IsComplete(jobs.Cell(4, SubMessage))) << jobs.Cell(4, SubMessage).toStdString();
}

// Catches HostLimit ignored, or a held-back row that blocks the rows of other hosts or loses its place.
TEST_F(TSchedulerHostsTest, HostLimitIsNeverExceeded)
{
    TScriptedServer first;
    TScriptedServer second(false, QHostAddress(QStringLiteral("127.0.0.2")));
    ASSERT_NE(second.Port(), 0) << "127.0.0.2 does not take connections here";
    first.Play({TScriptedServer::Send(Half)});
    second.Play({TScriptedServer::Send(Half)});
    for (int i = 0; i < 3; ++i)
        jobs.AddJob(first.Url(QStringLiteral("/a%1.bin").arg(i)), 0, 0, {});
    for (int i = 0; i < 3; ++i)
        jobs.AddJob(second.Url(QStringLiteral("/b%1.bin").arg(i)), 0, 0, {});
    settings.Threads = 8;
    settings.StartsPerTick = 9;
    settings.HostLimit = 2;
    EXPECT_EQ(Tick(), (QList<int>{0, 1, 3, 4}));
    EXPECT_EQ(Tick(), QList<int>{});
    ASSERT_TRUE(WaitForEvents([&] { return first.Connections() == 2 && second.Connections() == 2; }));

    scheduler.AbortRows({1});
    ASSERT_TRUE(WaitForEvents([&] { return ended == 1 && Open(first) == 1; }));
    EXPECT_EQ(Tick(), QList<int>{2}) << "the row held back keeps its place";
    ASSERT_TRUE(WaitForEvents([&] { return first.Connections() == 3; }));
    EXPECT_EQ(Open(first), 2);
    EXPECT_EQ(Open(second), 2);
}

// Catches HostGap ignored, its spread ignored, or a gap on one host that holds back another.
TEST_F(TSchedulerHostsTest, HostGapSpacesStartsToOneHost)
{
    TScriptedServer first;
    TScriptedServer second(false, QHostAddress(QStringLiteral("127.0.0.2")));
    ASSERT_NE(second.Port(), 0) << "127.0.0.2 does not take connections here";
    first.Play({TScriptedServer::Send(Whole)});
    second.Play({TScriptedServer::Send(Whole)});
    for (int i = 0; i < 3; ++i)
        jobs.AddJob(first.Url(QStringLiteral("/a%1.jpg").arg(i)), 0, 0, {});
    jobs.AddJob(second.Url("/b.jpg"), 0, 0, {});
    settings.Threads = 3;
    settings.StartsPerTick = 4;
    settings.HostGap = {1000, 50};
    scheduler.Random = [] { return 0.0; }; // the shortest gap of the spread: 500 ms
    EXPECT_EQ(Tick(true), (QList<int>{0, 3}));
    now += 499;
    EXPECT_EQ(Tick(true), QList<int>{});
    now += 1;
    EXPECT_EQ(Tick(true), QList<int>{1});
    now += 499;
    EXPECT_EQ(Tick(true), QList<int>{});
    now += 1;
    EXPECT_EQ(Tick(true), QList<int>{2});
    EXPECT_TRUE(RowText::IsComplete(jobs.Cell(2, SubMessage)));
}

// Catches a server's "Retry-After" that holds only its own row (the host's next row asked at once),
// or one that holds every host.
TEST_F(TSchedulerHostsTest, RetryAfterHoldsTheWholeHostWhileOthersGoOn)
{
    TScriptedServer busy;
    TScriptedServer other(false, QHostAddress(QStringLiteral("127.0.0.2")));
    ASSERT_NE(other.Port(), 0) << "127.0.0.2 does not take connections here";
    busy.Play(
        {TScriptedServer::Send("HTTP/1.1 429 Too Many Requests\r\nContent-Length: 0\r\nRetry-After: 120\r\n\r\n")});
    busy.Play({TScriptedServer::Send(Whole)});
    other.Play({TScriptedServer::Send(Whole)});
    jobs.AddJob(busy.Url("/a0.jpg"), 0, 0, {});
    jobs.AddJob(busy.Url("/a1.jpg"), 0, 0, {});
    jobs.AddJob(other.Url("/b0.jpg"), 0, 0, {});
    jobs.AddJob(other.Url("/b1.jpg"), 0, 0, {});
    settings.Threads = 0;
    EXPECT_EQ(Tick(true), QList<int>{0});
    ASSERT_EQ(jobs.Cell(0, SubMessage), "Retry");
    EXPECT_EQ(Tick(true), QList<int>{2});
    EXPECT_EQ(Tick(true), QList<int>{3});
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Tick(true), QList<int>{});
    now += 119999;
    EXPECT_EQ(Tick(true), QList<int>{});
    now += 1;
    EXPECT_EQ(Tick(true), QList<int>{0});
    EXPECT_EQ(Tick(true), QList<int>{1});
    EXPECT_EQ(busy.AllRequests(), 3);
    EXPECT_TRUE(RowText::IsComplete(jobs.Cell(1, SubMessage)));
}

// Catches a host that keeps refusing connections tried by each of its rows in turn on every tick: from
// the second failure in a row its other rows wait the back-off; the row that failed keeps its own
// wait, and rows of other hosts go on.
TEST_F(TSchedulerHostsTest, RepeatedConnectionFailuresHoldTheHost)
{
    TScriptedServer other(false, QHostAddress(QStringLiteral("127.0.0.2")));
    ASSERT_NE(other.Port(), 0) << "127.0.0.2 does not take connections here";
    other.Play({TScriptedServer::Send(Whole)});
    const quint16 dead = UnusedLoopbackPort();
    for (int i = 0; i < 3; ++i)
        jobs.AddJob(QStringLiteral("http://127.0.0.1:%1/d%2.jpg").arg(dead).arg(i), 0, 0, {});
    jobs.AddJob(other.Url("/b0.jpg"), 0, 0, {});
    jobs.AddJob(other.Url("/b1.jpg"), 0, 0, {});
    settings.Threads = 0;
    QList<int> order;
    for (int tick = 1; tick <= 6; ++tick)
        order += Tick(true);
    // Tick 2's failure holds the host to tick 5; the row that met it is asked again on tick 4 as a
    // row is, whose failure holds the host to tick 9.
    EXPECT_EQ(order, (QList<int>{0, 1, 3, 1, 4})) << QDebug::toString(order).toStdString();
    EXPECT_TRUE(RowText::IsComplete(jobs.Cell(4, SubMessage)));
}
