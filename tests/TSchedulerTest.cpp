#include "LocalFileName.h"
#include "NginxServer.h"
#include "ScriptedServer.h"
#include "TScheduler.h"
#include "TSettings.h"
#include "TempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

QByteArray RandomBytes(int size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char &b : bytes)
        b = char(generator.generate() & 0xff);
    return bytes;
}

class TSchedulerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir(temp.path()).mkdir("tmp");
        settings.Interval = 20;
        scheduler.ProgramFolder = temp.path();
        QObject::connect(&scheduler, &TScheduler::WorkFinished, [this] { ++finished; });
        QObject::connect(&scheduler, &TScheduler::JobEnded, [this](quint64 id) { ended.append(id); });
    }

    void TearDown() override { scheduler.Shutdown(); }

    QString LocalFile(int row) const
    {
        return LocalFileName::For(temp.path(), jobs.Cell(row, SubURL), true, jobs.Cell(row, SubDiv));
    }

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

    TTempFolder temp;
    TJobListModel jobs;
    TSettings settings;
    TScheduler scheduler{jobs, settings};
    int finished = 0;
    QList<quint64> ended;
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
                                       "Content-Length: 15000\r\n\r\n" + body.mid(25000))});
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

// The same stall on an HTTP/1.0 server only counts: such a server cannot continue a file.
TEST_F(TSchedulerTest, StallOnHttp10OnlyCounts)
{
    TScriptedServer server;
    server.Play({TScriptedServer::Send("HTTP/1.0 200 OK\r\nContent-Length: 40000\r\n\r\n" + QByteArray(25000, 'y')),
                 TScriptedServer::Pause()});
    jobs.AddJob(server.Url("/old.bin"), 0, 0, {});
    settings.TimeOutCTR = 1;
    scheduler.TButtonGetClick();
    ASSERT_TRUE(WaitForEvents([&] { return jobs.Cell(0, SubCount).toInt() > scheduler.StallLimitPasses() + 10; }));
    EXPECT_TRUE(jobs.IsRunningRow(0));
    EXPECT_EQ(jobs.Cell(0, SubHttp), "1.0");
    EXPECT_TRUE(ended.isEmpty());
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
