#include "download/HttpThr2.h"

#include "tests/support/ScriptedServer.h"
#include "tests/support/TempFolder.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <thread>

namespace {

// Counts the worker's calls; runs on the test thread, so only while the test pumps or shuts down.
class TCountingSink : public TWorkerSink
{
public:
    int Updates = 0;
    int Finished = 0;
    void ApplyUpdate(THTTPThread &, int) override { ++Updates; }
    void FinishRun(THTTPThread &) override { ++Finished; }
    void ShowCompleted(THTTPThread &) override {}
};

// Waits, without serving the sink, until the worker is blocked in a call to it.
bool BlockedInSinkCall(const TCountingSink &sink)
{
    const QDeadlineTimer deadline(5000);
    while (!sink.Calls()->HasQueued() && !deadline.hasExpired())
        std::this_thread::yield();
    return sink.Calls()->HasQueued();
}

TWorkerJob Job(const TTempFolder &temp, const QString &url)
{
    TWorkerJob job;
    job.JobId = 1;
    job.JobURL = url;
    job.LocalFile = temp.file(QStringLiteral("f.bin"));
    job.Size20KB = false;
    return job;
}

} // namespace

// Catches a shutdown that waits for a worker which in turn waits for the shutting-down thread:
// the worker's pending call is served and the thread is joined in bounded time.
TEST(THTTPThreadShutdownTest, ServesTheCallItsWorkerIsBlockedIn)
{
    TTempFolder temp;
    TCountingSink sink;
    THTTPThread worker(sink);
    worker.Setup(0);
    worker.start();
    TScriptedServer server;
    worker.StartJob(Job(temp, server.Url(QStringLiteral("/f.bin"))));
    ASSERT_TRUE(BlockedInSinkCall(sink));
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(worker.Shutdown(QDeadlineTimer(10000)));
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_TRUE(worker.isFinished());
    EXPECT_EQ(sink.Finished, 1) << "the job still ends through the sink";
}

// Catches a worker left waiting for ever once its sink has cut it off, and a cut-off call that
// still runs: the blocked call returns at once without reaching the sink.
TEST(THTTPThreadShutdownTest, CutOffCallReturnsWithoutRunning)
{
    TTempFolder temp;
    auto sink = std::make_unique<TCountingSink>();
    THTTPThread worker(*sink);
    worker.Setup(0);
    worker.start();
    worker.StartJob(Job(temp, QStringLiteral("http://127.0.0.1:%1/f.bin").arg(UnusedLoopbackPort())));
    ASSERT_TRUE(BlockedInSinkCall(*sink));
    const auto calls = sink->Calls();
    sink->Calls()->Close();
    EXPECT_FALSE(calls->HasQueued());
    EXPECT_TRUE(worker.Shutdown(QDeadlineTimer(10000)));
    EXPECT_EQ(sink->Updates + sink->Finished, 0);
    sink.reset();
    EXPECT_FALSE(calls->Send([] {})) << "a closed channel refuses at once";
}
