#include "core/TScheduler.h"

#include "core/TSettings.h"
#include "download/RowTexts.h"
#include "download/UrlUtil.h"
#include "tests/core/SchedulerFixture.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <thread>

namespace {

QByteArray RandomBytes(int size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char &b : bytes)
        b = char(generator.generate() & 0xff);
    return bytes;
}

class TSchedulerTest : public TSchedulerFixture
{
protected:
    QString LocalFile(int row) const { return jobs.LocalFile(row, temp.path(), true); }

    bool RunToEnd(int timeoutMs = 20000)
    {
        scheduler.TButtonGetClick();
        return WaitForEvents([this] { return finished > 0; }, timeoutMs);
    }

    int Running() const
    {
        int running = 0;
        for (int row = 0; row < jobs.RowCount(); ++row)
            running += jobs.IsRunningRow(row) ? 1 : 0;
        return running;
    }
};

} // namespace

// A numbered set comes down whole and byte-identical; the 20 000-byte rule refuses only what is
// below it; the timer switches itself off at the end.
TEST_F(TSchedulerTest, NumberedSetIsFetchedWholeFromNginx)
{
    TNginxServer nginx;
    ASSERT_TRUE(nginx.Start()) << nginx.Error().toStdString();
    const QList<int> sizes{30000, 20000, 19999, 100000, 25000};
    for (int i = 0; i < sizes.size(); ++i) {
        const QString name = QStringLiteral("img%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
        nginx.WriteFile(name, RandomBytes(sizes[i], i + 1));
        jobs.AddJob(nginx.Url("/" + name), 0, 0, {});
    }
    settings.Threads = 2;
    ASSERT_TRUE(RunToEnd());
    EXPECT_FALSE(scheduler.IsFetching());

    for (int i = 0; i < sizes.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(jobs.Caption(i), "@@");
        if (sizes[i] < 20000) {
            EXPECT_EQ(jobs.Cell(i, SubMessage), "Abort>Size 20KB 未満");
            EXPECT_FALSE(QFile::exists(LocalFile(i)));
            EXPECT_FALSE(QFile::exists(LocalFile(i) + "_"));
            continue;
        }
        EXPECT_EQ(jobs.Cell(i, SubMessage), "End>Completed!");
        EXPECT_EQ(jobs.Cell(i, SubPercent), "100.00");
        EXPECT_EQ(jobs.Cell(i, SubTByte), QString::number(sizes[i]));
        QFile file(LocalFile(i));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), RandomBytes(sizes[i], i + 1));
    }
}

// No more than Threads + 1 jobs run at once, and never more than one starts per tick; aborting
// one selected job leaves the others and the timer running; StopAll stops everything.
TEST_F(TSchedulerTest, PacingAndStops)
{
    TScriptedServer server;
    server.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 50000\r\n\r\n" + QByteArray(25000, 'x')),
                 TScriptedServer::Pause()});
    for (int i = 0; i < 6; ++i)
        jobs.AddJob(server.Url(QStringLiteral("/f%1.bin").arg(i)), 0, 0, {});
    settings.Threads = 1;
    int startsThisTick = 0;
    int mostPerTick = 0;
    int mostRunning = 0;
    QObject::connect(&scheduler, &TScheduler::SlotStateChanged, [&](int, int state) {
        if (state == TScheduler::SlotBusy)
            ++startsThisTick;
    });
    int ticks = 0;
    QObject::connect(&scheduler, &TScheduler::Ticked, [&] {
        ++ticks;
        mostPerTick = std::max(mostPerTick, startsThisTick);
        startsThisTick = 0;
        mostRunning = std::max(mostRunning, Running());
    });
    scheduler.TButtonGetClick();
    ASSERT_TRUE(WaitForEvents([&] { return ticks >= 15 && server.Connections() >= 2; }, 10000));
    EXPECT_EQ(mostPerTick, 1);
    EXPECT_EQ(mostRunning, 2);
    EXPECT_EQ(Running(), 2);

    scheduler.AbortRows({0});
    ASSERT_TRUE(WaitForEvents([&] { return ended.size() == 1; }));
    EXPECT_EQ(jobs.Cell(0, SubMessage), "処理を中断しました。");
    EXPECT_EQ(jobs.Caption(0), "@@");
    EXPECT_TRUE(scheduler.IsFetching());
    ASSERT_TRUE(WaitForEvents([&] { return Running() == 2 && jobs.IsRunningRow(2); }));

    scheduler.StopAll();
    EXPECT_FALSE(scheduler.IsFetching());
    ASSERT_TRUE(WaitForEvents([&] { return Running() == 0; }));
    EXPECT_EQ(jobs.Cell(1, SubMessage), "処理を中断しました。");
    EXPECT_EQ(jobs.Cell(2, SubMessage), "処理を中断しました。");
    EXPECT_TRUE(QFile::exists(LocalFile(1) + "_")) << "an aborted job keeps its partial file";
    EXPECT_EQ(jobs.Cell(3, SubMessage), "Ready");
}

// A stall in mid-body on HTTP/1.1 is timed out, set to "Retry" and resumed with a range into a
// byte-identical file.
TEST_F(TSchedulerTest, StalledJobIsTimedOutAndResumed)
{
    const QByteArray body = RandomBytes(40000, 7);
    TScriptedServer server;
    server.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 40000\r\n\r\n" + body.left(25000)),
                 TScriptedServer::Pause()});
    server.Play({TScriptedServer::Send("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 25000-39999/40000\r\n"
                                       "Content-Length: 15000\r\n\r\n"
                                       + body.mid(25000))});
    jobs.AddJob(server.Url("/stall.bin"), 0, 0, {});
    settings.TimeOutCTR = 1;
    settings.Interval = 50;
    EXPECT_EQ(scheduler.StallLimitPasses(), 20) << "about one second in passes of 50 ms";
    ASSERT_TRUE(RunToEnd());

    ASSERT_GE(ended.size(), 2);
    EXPECT_EQ(jobs.Cell(0, SubMessage), "End>Completed!");
    EXPECT_TRUE(server.Request(1).contains("\r\nRange: bytes=25000-40000\r\n")) << server.Request(1).constData();
    QFile file(LocalFile(0));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), body);
}

// A silent HTTP/1.0 server (or one naming any other version) is timed out as well; its file
// cannot be continued, so the retry asks for the whole file again and the partial one starts over.
TEST_F(TSchedulerTest, StallOnHttp10IsTimedOutAndStartsOver)
{
    const QByteArray body = RandomBytes(40000, 9);
    TScriptedServer server;
    server.Play({TScriptedServer::Send("HTTP/1.0 200 OK\r\nContent-Length: 40000\r\n\r\n" + QByteArray(25000, 'y')),
                 TScriptedServer::Pause()});
    server.Play({TScriptedServer::Send("HTTP/1.0 200 OK\r\nContent-Length: 40000\r\n\r\n" + body)});
    jobs.AddJob(server.Url("/old.bin"), 0, 0, {});
    settings.TimeOutCTR = 1;
    settings.Interval = 50;
    ASSERT_TRUE(RunToEnd(10000)) << "the silent HTTP/1.0 answer was never timed out";

    EXPECT_EQ(jobs.Cell(0, SubMessage), "End>Completed!");
    EXPECT_EQ(jobs.Cell(0, SubHttp), "1.0");
    EXPECT_FALSE(server.Request(1).contains("\r\nRange:")) << server.Request(1).constData();
    QFile file(LocalFile(0));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), body);
}

// An existing file is reported without a request; a list with nothing pending ends at once.
TEST_F(TSchedulerTest, ExistingFileAndNothingPending)
{
    TScriptedServer server;
    jobs.AddJob(server.Url("/have.jpg"), 0, 0, {});
    jobs.AddJob(server.Url("/skip.jpg"), 0, 0, {});
    jobs.SetCell(1, SubMessage, "Cancel");
    temp.write("tmp/" + QFileInfo(LocalFile(0)).fileName(), QByteArray(1234, 'z'));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(jobs.Cell(0, SubMessage), "ファイルが存在します。");
    EXPECT_EQ(jobs.Cell(0, SubTByte), "1234");
    EXPECT_EQ(jobs.Cell(0, SubPercent), "100.00");
    EXPECT_EQ(server.Connections(), 0);

    finished = 0;
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(scheduler.SlotState(0), TScheduler::SlotIdle);
    EXPECT_FALSE(scheduler.IsFetching());
}

namespace {

QString DeadUrl(const QString &path)
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(UnusedLoopbackPort()).arg(path);
}

} // namespace

// Catches a refused server at the top taking the only worker on every tick: while it waits after
// each failure, the rows below are fetched.
TEST_F(TSchedulerTest, DeadServerAtTheTopDoesNotStopRowsBelow)
{
    TScriptedServer server;
    server.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 25000\r\n\r\n" + QByteArray(25000, 'k'))});
    jobs.AddJob(DeadUrl("/dead.jpg"), 0, 0, {});
    for (int i = 1; i <= 3; ++i)
        jobs.AddJob(server.Url(QStringLiteral("/ok%1.jpg").arg(i)), 0, 0, {});
    settings.Threads = 0;
    int deadStarts = 0;
    QObject::connect(&scheduler, &TScheduler::JobStarted, [&](quint64 id, int) { deadStarts += id == jobs.JobAt(0); });
    scheduler.TButtonGetClick();
    ASSERT_TRUE(WaitForEvents(
        [&] {
            // One body for every URL: the second and third complete as duplicates of the first.
            return RowText::IsComplete(jobs.Cell(1, SubMessage)) && RowText::IsComplete(jobs.Cell(2, SubMessage))
                   && RowText::IsComplete(jobs.Cell(3, SubMessage));
        },
        15000));
    EXPECT_GE(deadStarts, 2);
    EXPECT_EQ(jobs.Cell(0, SubMessage), "Retry") << "no limit by default";
    EXPECT_TRUE(scheduler.IsFetching()) << "a row waiting after a failure keeps the timer on";
}

// Catches a retry without a pause, a pause that does not grow, a limit off by one and a user's
// "Ready" that does not start afresh. Ticks are driven by hand, each after the last job ended.
TEST_F(TSchedulerTest, FailingRowBacksOffAndIsGivenUpAtMaxTries)
{
    jobs.AddJob(DeadUrl("/dead.jpg"), 0, 0, {});
    settings.Threads = 0;
    settings.MaxTries = 4;
    QList<int> startTicks;
    int tick = 0;
    QObject::connect(&scheduler, &TScheduler::JobStarted, [&](quint64, int) { startTicks.append(tick); });
    auto runTicks = [&](int count) {
        for (int i = 0; i < count; ++i) {
            ++tick;
            scheduler.Timer1Timer();
            ASSERT_TRUE(WaitForEvents([&] { return ended.size() == startTicks.size(); }));
        }
    };
    runTicks(14);
    EXPECT_EQ(startTicks, (QList<int>{1, 3, 6, 11})) << "waits of 1, 2 and 4 ticks";
    EXPECT_TRUE(jobs.Cell(0, SubMessage).startsWith("Abort>Retry limit (4): Connection refused"))
        << jobs.Cell(0, SubMessage).toStdString();
    EXPECT_GT(finished, 0) << "a row given up leaves nothing to do";

    jobs.SetCell(0, SubMessage, "Ready");
    runTicks(3);
    EXPECT_EQ(startTicks.mid(4), (QList<int>{15, 17})) << "Ready starts at once and counts afresh";
    jobs.SetCell(0, SubMessage, "Ready");
    runTicks(1);
    EXPECT_EQ(startTicks.mid(6), QList<int>{18}) << "Ready does not wait out a back-off";

    settings.Interval = 1000;
    EXPECT_EQ(scheduler.BackOffTicks(7), 60) << "about a minute at most";
    EXPECT_EQ(scheduler.BackOffTicks(40), 60);
    settings.Interval = 60000;
    EXPECT_EQ(scheduler.BackOffTicks(5), 1);
}

// Catches a "Retry-After" of a busy server ignored (the row asked again after its back-off), kept on
// the row's position rather than its job (a row inserted above moves it), or waited out past its time.
TEST_F(TSchedulerTest, BusyServerIsAskedAgainOnlyAfterItsRetryAfter)
{
    TScriptedServer server;
    server.Play({TScriptedServer::Send(
        "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 4\r\nRetry-After: 120\r\n\r\nbusy")});
    server.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 25000\r\n\r\n" + QByteArray(25000, 'r'))});
    jobs.AddJob(server.Url("/busy.jpg"), 0, 0, {});
    settings.Threads = 0;
    qint64 now = 1000;
    scheduler.Clock = [&] { return now; };
    int starts = 0;
    QObject::connect(&scheduler, &TScheduler::JobStarted, [&](quint64, int) { ++starts; });
    const auto tick = [&] {
        scheduler.Timer1Timer();
        ASSERT_TRUE(WaitForEvents([&] { return ended.size() == starts; }));
    };
    tick();
    ASSERT_EQ(starts, 1);
    EXPECT_EQ(jobs.Cell(0, SubMessage), "Retry");
    jobs.AddJob(DeadUrl("/dead.jpg"), 0, 0, {});
    jobs.SetCell(1, SubMessage, "Abort>");
    jobs.SwapRows(0, 1);
    for (int i = 0; i < 5; ++i)
        tick();
    now += 119999;
    tick();
    EXPECT_EQ(starts, 1) << "asked again before the server's time";
    now += 1;
    tick();
    EXPECT_EQ(starts, 2);
    EXPECT_EQ(jobs.Cell(1, SubMessage), "End>Completed!");
}

// Catches an http URL and its https twin, which name one local file, fetched at once into one partial
// file: the twin waits until the first has ended, and then finds the file there.
TEST_F(TSchedulerTest, RowsOfOneLocalFileNeverRunTogether)
{
    const QByteArray data = RandomBytes(30000, 12);
    TScriptedServer server;
    server.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 30000\r\n\r\n" + data.left(1000)),
                 TScriptedServer::Pause(), TScriptedServer::Send(data.mid(1000))});
    const QString url = server.Url("/twin.jpg");
    jobs.AddJob(url, 0, 0, {});
    jobs.AddJob("https://" + url.mid(7), 0, 0, {});
    ASSERT_EQ(LocalFile(0), LocalFile(1));
    settings.Threads = 1;
    int starts = 0;
    QObject::connect(&scheduler, &TScheduler::JobStarted, [&](quint64, int) { ++starts; });
    scheduler.Timer1Timer();
    ASSERT_TRUE(WaitForEvents([&] { return server.Paused(); }));
    for (int i = 0; i < 3; ++i)
        scheduler.Timer1Timer();
    EXPECT_EQ(starts, 1);
    server.Continue();
    ASSERT_TRUE(WaitForEvents([&] { return ended.size() == 1; }));
    scheduler.Timer1Timer();
    ASSERT_TRUE(WaitForEvents([&] { return ended.size() == 2; }));
    EXPECT_EQ(jobs.Cell(0, SubMessage), "End>Completed!");
    EXPECT_EQ(server.Connections(), 1);
    QFile file(LocalFile(0));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), data);
}

// Catches a job of an IPv6 address in brackets not fetched, or fetched into a name with its colons.
TEST_F(TSchedulerTest, IPv6RowIsFetchedIntoASafeName)
{
    TScriptedServer server(false, QHostAddress::LocalHostIPv6);
    if (server.Port() == 0)
        GTEST_SKIP() << "no IPv6 loopback address here";
    const QByteArray data = RandomBytes(25000, 6);
    server.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 25000\r\n\r\n" + data)});
    jobs.AddJob(QStringLiteral("http://[::1]:%1/v6.jpg").arg(server.Port()), 0, 0, {});
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(jobs.Cell(0, SubMessage), "End>Completed!");
    QFile file(temp.path() + QStringLiteral("/tmp/h[__1]_%1_v6.jpg").arg(server.Port()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    EXPECT_EQ(file.readAll(), data);
}

// Catches an edited list's row that no attempt can fetch going round "Retry" for ever (the timer
// never ends with MaxTries 0), ending without its reason, or touching the network or a file; a good
// row between them is still fetched.
TEST_F(TSchedulerTest, RowsThatCannotBeFetchedAbortWithTheReason)
{
    TScriptedServer server;
    const QByteArray data = RandomBytes(25000, 7);
    server.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 25000\r\n\r\n" + data)});
    const QStringList urls{"garbage.jpg", QStringLiteral("http://127.0.0.1:70000/a.jpg"), server.Url("/good.jpg"),
                           QStringLiteral("ftp://127.0.0.1:%1/b.jpg").arg(server.Port()), "http:///c.jpg"};
    for (const QString &url : urls)
        jobs.AppendRow("(..)", {url, "-", "???", "-", ">", "-", "1.1", "Ready", "*", "0", "", "", ""});
    settings.MaxTries = 0;
    ASSERT_TRUE(RunToEnd()) << "a bad row kept the timer on";
    for (int row = 0; row < urls.size(); ++row) {
        SCOPED_TRACE(urls[row].toStdString());
        EXPECT_EQ(jobs.Caption(row), "@@");
        if (row == 2) {
            EXPECT_EQ(jobs.Cell(row, SubMessage), "End>Completed!");
            continue;
        }
        const QString reason = UrlUtil::FetchProblem(urls[row]);
        ASSERT_FALSE(reason.isEmpty());
        EXPECT_EQ(jobs.Cell(row, SubMessage), "Abort>" + reason);
        EXPECT_FALSE(QFile::exists(LocalFile(row) + "_"));
    }
    EXPECT_EQ(server.Connections(), 1) << "only the good row reached the server";
}

// Catches a row handed to a second worker while the first still holds it (a worker writes "Retry"
// before its end of run), at the smallest interval with every worker busy failing.
TEST_F(TSchedulerTest, NoJobEverRunsOnTwoWorkers)
{
    // A body cut short: the job fails and asks again.
    TScriptedServer empty;
    empty.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n"), TScriptedServer::Close()});
    for (int i = 0; i < 40; ++i)
        jobs.AddJob(i % 2 ? empty.Url(QStringLiteral("/e%1.jpg").arg(i)) : DeadUrl(QStringLiteral("/d%1.jpg").arg(i)),
                    0, 0, {});
    settings.Threads = TSettings::MaxThreads;
    settings.Interval = TSettings::MinInterval;
    settings.Size20KB = 0;
    settings.MaxTries = 4;
    // A busy GUI thread: each tick outlasts the interval, so the next one is always due and runs
    // between any two calls of a worker.
    QObject::connect(&scheduler, &TScheduler::Ticked,
                     [] { std::this_thread::sleep_for(std::chrono::milliseconds(12)); });
    QHash<quint64, int> runningOn;
    int doubleStarts = 0;
    int endsWithoutStart = 0;
    QObject::connect(&scheduler, &TScheduler::JobStarted, [&](quint64 id, int slot) {
        doubleStarts += runningOn.contains(id);
        runningOn.insert(id, slot);
    });
    QObject::connect(&scheduler, &TScheduler::JobEnded,
                     [&](quint64 id) { endsWithoutStart += runningOn.remove(id) != 1; });
    ASSERT_TRUE(RunToEnd(60000));
    EXPECT_EQ(doubleStarts, 0);
    EXPECT_EQ(endsWithoutStart, 0);
    EXPECT_EQ(ended.size(), 160);
    for (int row = 0; row < jobs.RowCount(); ++row) {
        EXPECT_TRUE(jobs.Cell(row, SubMessage).startsWith("Abort>Retry limit (4): ")) << row;
        EXPECT_EQ(jobs.Caption(row), "@@") << row;
    }
}

// Catches the stall limit reached one pass early (or late): a job is timed out on the pass after
// TimeOutCTR passes without progress, and then goes back to "Retry" with Count 0.
TEST_F(TSchedulerTest, StallIsTimedOutOnThePassAfterTheLimit)
{
    TScriptedServer server;
    server.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 40000\r\n\r\n" + QByteArray(25000, 's')),
                 TScriptedServer::Pause()});
    jobs.AddJob(server.Url("/stall.bin"), 0, 0, {});
    settings.Interval = 1000;
    settings.TimeOutCTR = 3;
    ASSERT_EQ(scheduler.StallLimitPasses(), 3);
    scheduler.Timer1Timer();
    ASSERT_TRUE(WaitForEvents([&] { return jobs.Cell(0, SubCByte) == "25000" && server.Paused(); }));
    const TJobId job = jobs.JobAt(0);
    // No events between passes: nothing the worker sends can move CByte meanwhile.
    scheduler.MonitorJobs();
    for (int pass = 1; pass <= 3; ++pass) {
        scheduler.MonitorJobs();
        EXPECT_EQ(jobs.Cell(0, SubCount), QString::number(pass));
        EXPECT_EQ(scheduler.StopRequested(job), "") << "pass " << pass;
    }
    scheduler.MonitorJobs();
    EXPECT_EQ(scheduler.StopRequested(job), TScheduler::TimeOutText);
    ASSERT_TRUE(WaitForEvents([&] { return !ended.isEmpty(); }));
    EXPECT_EQ(jobs.Cell(0, SubMessage), "Retry");
    EXPECT_EQ(jobs.Cell(0, SubCount), "0");
    EXPECT_FALSE(scheduler.IsRunningJob(job));
}

// Catches a shutdown that hangs on a server that never answers, a second shutdown that calls
// through a worker already gone, and slots left busy.
TEST_F(TSchedulerTest, ShutdownEndsWorkersOnASilentServerAndCanBeRepeated)
{
    TScriptedServer silent;
    silent.Play({TScriptedServer::Pause()});
    jobs.AddJob(silent.Url("/a.jpg"), 0, 0, {});
    jobs.AddJob(silent.Url("/b.jpg"), 0, 0, {});
    settings.Threads = 1;
    scheduler.TButtonGetClick();
    ASSERT_TRUE(WaitForEvents([&] { return silent.Connections() == 2 && scheduler.IsRunningRow(1); }));
    QElapsedTimer clock;
    clock.start();
    scheduler.Shutdown();
    EXPECT_LT(clock.elapsed(), 5000);
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(jobs.Cell(row, SubMessage), TScheduler::UserAbortText) << row;
        EXPECT_EQ(jobs.Caption(row), "@@") << row;
    }
    scheduler.Shutdown();
    for (int slot = 0; slot < TScheduler::SlotCount; ++slot)
        EXPECT_EQ(scheduler.SlotState(slot), TScheduler::SlotNone) << slot;
    EXPECT_FALSE(scheduler.AnyJobRunning());
}

// Catches a worker that did not park in time leaving its slot busy (the next shutdown then calls
// through a deleted worker) and its late calls still reaching the list. Shutting down from inside
// a worker's own call is the case where it cannot park: it waits for that very call.
TEST_F(TSchedulerTest, ShutdownCutsOffAWorkerThatDidNotPark)
{
    TScriptedServer server;
    server.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 90000\r\n\r\n" + QByteArray(30000, 'p')),
                 TScriptedServer::Pause()});
    jobs.AddJob(server.Url("/a.jpg"), 0, 0, {});
    scheduler.ParkWaitMs = 200;
    scheduler.JoinWaitMs = 200;
    QString message;
    qint64 shutdownMs = -1;
    const QMetaObject::Connection nested = QObject::connect(&scheduler, &TScheduler::StatusBarText, [&] {
        if (shutdownMs >= 0)
            return;
        message = jobs.Cell(0, SubMessage);
        QElapsedTimer clock;
        clock.start();
        scheduler.Shutdown();
        shutdownMs = clock.elapsed();
    });
    scheduler.TButtonGetClick();
    ASSERT_TRUE(WaitForEvents([&] { return shutdownMs >= 0 && server.Paused(); }));
    QObject::disconnect(nested);
    EXPECT_LT(shutdownMs, 2000);
    EXPECT_FALSE(scheduler.AnyJobRunning());
    EXPECT_EQ(scheduler.SlotState(0), TScheduler::SlotNone);
    scheduler.Shutdown();
    // The worker left behind ends on its own; none of its later writes reach the row.
    ASSERT_TRUE(WaitForEvents([&] { return server.PeerClosed(); }));
    EXPECT_EQ(jobs.Cell(0, SubMessage), message);
    EXPECT_NE(jobs.Caption(0), "@@");

    // Fetching again makes a new worker in the freed slot.
    jobs.SetCell(0, SubMessage, "Cancel");
    finished = 0;
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(scheduler.SlotState(0), TScheduler::SlotIdle);
}

namespace {
// Someone else rewords a row as each run's end arrives (an edit, a translated display): the
// scheduler must decide on the run's outcome, never on what the row happens to show.
class TRewordingScheduler : public TScheduler
{
public:
    TRewordingScheduler(TJobListModel &jobs, TSettings &settings) : TScheduler(jobs, settings), FRows(jobs) {}

    void FinishRun(THTTPThread &worker) override
    {
        if (const int row = FRows.RowOfJob(worker.Job.JobId); row >= 0)
            FRows.SetCell(row, SubMessage, QStringLiteral("Retrying soon"));
        TScheduler::FinishRun(worker);
    }

private:
    TJobListModel &FRows;
};
} // namespace

// Catches a retry, its back-off or its limit decided by reading the row's text back: with the text
// reworded, such a row would be asked again at once and never given up.
TEST_F(TSchedulerTest, RetryIsDecidedOnTheOutcomeWhateverTheRowShows)
{
    TRewordingScheduler rewording(jobs, settings);
    rewording.ProgramFolder = temp.path();
    jobs.AddJob(DeadUrl("/dead.jpg"), 0, 0, {});
    settings.Threads = 0;
    settings.MaxTries = 3;
    QList<int> startTicks;
    int tick = 0, runs = 0;
    QObject::connect(&rewording, &TScheduler::JobStarted, [&](quint64, int) { startTicks.append(tick); });
    QObject::connect(&rewording, &TScheduler::JobEnded, [&](quint64) { ++runs; });
    for (tick = 1; tick <= 8; ++tick) {
        rewording.Timer1Timer();
        ASSERT_TRUE(WaitForEvents([&] { return runs == startTicks.size(); }));
    }
    EXPECT_EQ(startTicks, (QList<int>{1, 3, 6})) << "waits of 1 and 2 ticks, then given up";
    EXPECT_TRUE(jobs.Cell(0, SubMessage).startsWith("Abort>Retry limit (3): Connection refused"))
        << jobs.Cell(0, SubMessage).toStdString();
    rewording.Shutdown();
}
