#include "HttpThr2.h"
#include "NginxServer.h"
#include "ScriptedServer.h"
#include "TempFolder.h"
#include "UrlUtil.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>

#include <sys/socket.h>

namespace {
using S = TScriptedServer;

const QString UserAbort = QStringLiteral("処理を中断しました。");

// Stands in for the GUI thread: records every write as (code, the value the cell would show).
class TRecordingSink : public TWorkerSink
{
public:
    struct TEvent
    {
        int Code;
        QString Value;
    };
    QList<TEvent> Events;
    int Finished = 0;
    int Completed = 0;
    // Runs inside each update, while the worker waits.
    std::function<void(THTTPThread &, int)> OnUpdate;

    void ApplyUpdate(THTTPThread &w, int code) override
    {
        Events.append({code, ValueOf(w, code)});
        if (OnUpdate)
            OnUpdate(w, code);
    }
    void FinishRun(THTTPThread &) override { ++Finished; }
    void ShowCompleted(THTTPThread &) override { ++Completed; }

    QStringList Values(int code) const
    {
        QStringList out;
        for (const TEvent &e : Events)
            if (e.Code == code)
                out << e.Value;
        return out;
    }
    QString Last(int code) const { return Values(code).value(Values(code).size() - 1); }

private:
    static QString ValueOf(const THTTPThread &w, int code)
    {
        switch (code) {
        case THTTPThread::UpdateSlot: return QString::number(w.SlotIndex);
        case THTTPThread::UpdateCByte: return QString::number(w.ReceivedBytes);
        case THTTPThread::UpdateTByte: return QString::number(w.Job.TotalBytes);
        case THTTPThread::UpdatePercent: return w.PercentText();
        case THTTPThread::UpdateHttp: return w.Job.HttpVersion;
        case THTTPThread::UpdateMessage: return w.MessageText;
        case THTTPThread::UpdateStatusBar: return w.StatusBarText;
        case THTTPThread::UpdateHeadHeaders:
        case THTTPThread::UpdateGetHeaders: return w.ResponseHeaders.join(QLatin1Char('\n'));
        default: return {};
        }
    }
};

QByteArray Pattern(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return data;
}

QByteArray Answer(const QByteArray &status, const QByteArray &headers, const QByteArray &body = {})
{
    return "HTTP/1.1 " + status + "\r\n" + headers + "\r\n" + body;
}

QByteArray Ok(const QByteArray &body, const QByteArray &extra = {})
{
    return Answer("200 OK", "Content-Length: " + QByteArray::number(body.size()) + "\r\n" + extra, body);
}

quint16 ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class THTTPThreadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        worker.Setup(3);
        worker.start();
    }

    TWorkerJob JobFor(const QString &url, const QString &name = QStringLiteral("file.bin"))
    {
        TWorkerJob job;
        job.JobId = ++lastId;
        job.JobURL = url;
        job.LocalFile = temp.file(name);
        job.Size20KB = false;
        return job;
    }

    // Hands the job over and waits until the worker has parked again.
    void Run(const TWorkerJob &job)
    {
        const int before = sink.Finished;
        worker.StartJob(job);
        ASSERT_TRUE(WaitForEvents([&] { return sink.Finished > before; }, 15000)) << "the job did not end";
    }

    QStringList Messages() const { return sink.Values(THTTPThread::UpdateMessage); }
    QString Partial(const TWorkerJob &job) const { return job.LocalFile + QLatin1Char('_'); }

    TTempFolder temp;
    TRecordingSink sink;
    THTTPThread worker{sink};
    quint64 lastId = 0;
};

// Cases against a real server that keeps its connections open.
class THTTPThreadNginxTest : public THTTPThreadTest
{
protected:
    static void SetUpTestSuite()
    {
        nginx = new TNginxServer;
        ASSERT_TRUE(nginx->Start()) << nginx->Error().toStdString();
    }
    static void TearDownTestSuite()
    {
        delete nginx;
        nginx = nullptr;
    }

    static TNginxServer *nginx;
};

TNginxServer *THTTPThreadNginxTest::nginx = nullptr;

// Catches lost or reordered pieces, a missing rename, and a wrong sequence of row texts.
TEST_F(THTTPThreadNginxTest, FetchesWholeFileWithItsMessageSequence)
{
    const QByteArray data = Pattern(300000);
    nginx->WriteFile(QStringLiteral("whole.bin"), data);
    const TWorkerJob job = JobFor(nginx->Url(QStringLiteral("/whole.bin")));
    Run(job);

    EXPECT_EQ(temp.read(QStringLiteral("file.bin")), data);
    EXPECT_FALSE(QFile::exists(Partial(job)));
    // nginx keeps the connection open: "Full Size!" ends the transfer, the check completes it.
    EXPECT_EQ(Messages(), QStringList({"Try>Get Body!", "Try>Type : application/octet-stream", "Doc begin",
                                       "Doc End", "Full Size!", "End>Completed!"}));
    EXPECT_EQ(sink.Events.first().Code, THTTPThread::UpdateSlot);
    EXPECT_EQ(sink.Events.first().Value, "3");
    EXPECT_EQ(sink.Last(THTTPThread::UpdateHttp), "1.1");
    EXPECT_EQ(sink.Last(THTTPThread::UpdateTByte), "300000");
    EXPECT_EQ(sink.Last(THTTPThread::UpdateCByte), "300000");
    EXPECT_EQ(sink.Last(THTTPThread::UpdatePercent), "100.00");
    EXPECT_TRUE(sink.Last(THTTPThread::UpdateGetHeaders).startsWith("HTTP/1.1 200 OK"));
    EXPECT_EQ(sink.Completed, 1);
}

// Catches a GUI call per received piece (or none at all for the last pieces) on a fast transfer.
TEST_F(THTTPThreadNginxTest, CoalescesProgressButWritesTheLastValues)
{
    const QByteArray data = Pattern(8 << 20);
    nginx->WriteFile(QStringLiteral("big.bin"), data);
    QElapsedTimer clock;
    clock.start();
    Run(JobFor(nginx->Url(QStringLiteral("/big.bin"))));
    const qint64 elapsed = clock.elapsed();

    EXPECT_EQ(temp.read(QStringLiteral("file.bin")), data);
    const QStringList counts = sink.Values(THTTPThread::UpdateCByte);
    EXPECT_LE(counts.size(), elapsed / 50 + 3) << "over " << elapsed << " ms";
    EXPECT_EQ(counts.last(), QString::number(data.size()));
    EXPECT_EQ(sink.Last(THTTPThread::UpdatePercent), "100.00");
    EXPECT_EQ(sink.Values(THTTPThread::UpdatePercent).size(), counts.size());
    EXPECT_TRUE(sink.Last(THTTPThread::UpdateStatusBar).contains(" > "));
    EXPECT_TRUE(Messages().contains("Full Size!"));
}

// Catches a percent counted from zero for a part, and an unfinished file shown as "100.00".
TEST_F(THTTPThreadTest, PercentTextFollowsTheRule)
{
    worker.Job.TotalBytes = 0;
    EXPECT_EQ(worker.PercentText(), "");
    worker.Job.TotalBytes = 8000;
    worker.ReceivedBytes = 1000;
    EXPECT_EQ(worker.PercentText(), "12.50");
    worker.Job.StartByte = 4000;
    worker.Job.EndByte = 8000;
    worker.ReceivedBytes = 5000;
    EXPECT_EQ(worker.PercentText(), "25.00");
    worker.Job = {};
    worker.Job.TotalBytes = 10000000;
    worker.ReceivedBytes = 9999999;
    EXPECT_EQ(worker.PercentText(), "99.99");
    worker.ReceivedBytes = 10000000;
    EXPECT_EQ(worker.PercentText(), "100.00");
}

// Catches a request for a file that is already there, and wrong sizes or percent for it.
TEST_F(THTTPThreadTest, ReportsExistingFileWithoutRequest)
{
    S server;
    temp.write(QStringLiteral("file.bin"), Pattern(1234));
    Run(JobFor(server.Url(QStringLiteral("/x"))));

    EXPECT_EQ(Messages(), QStringList({"ファイルが存在します。"}));
    EXPECT_EQ(sink.Last(THTTPThread::UpdateCByte), "1234");
    EXPECT_EQ(sink.Last(THTTPThread::UpdateTByte), "1234");
    EXPECT_EQ(sink.Last(THTTPThread::UpdatePercent), "100.00");
    EXPECT_TRUE(sink.Values(THTTPThread::UpdateSlot).isEmpty());
    EXPECT_EQ(server.Connections(), 0);
}

// Catches a request (or a crash) for a partial file that is empty or cannot be read.
TEST_F(THTTPThreadTest, RetriesUnusablePartialFileWithoutRequest)
{
    S server;
    TWorkerJob job = JobFor(server.Url(QStringLiteral("/x")));
    temp.write(QStringLiteral("file.bin_"), {});
    Run(job);
    EXPECT_EQ(Messages().last(), "Retry");
    EXPECT_FALSE(QFile::exists(Partial(job)));

    QDir().mkpath(Partial(job));
    Run(job);
    EXPECT_EQ(Messages().last(), "Retry");
    EXPECT_TRUE(QFileInfo(Partial(job)).isDir());
    EXPECT_EQ(server.Connections(), 0);
}

// Catches a wrong (or, for an unknown size, malformed) range line, a body written over the kept
// bytes, or a wrong total.
TEST_F(THTTPThreadTest, ContinuesPartialFileByRange)
{
    const QByteArray data = Pattern(5000);
    for (const qint64 known : {qint64(5000), qint64(0)}) {
        S server;
        server.Play({S::Send(Answer("206 Partial Content", "Content-Range: bytes 1000-4999/5000\r\nContent-Length: 4000\r\n",
                                    data.mid(1000)))});
        TWorkerJob job = JobFor(server.Url(QStringLiteral("/r.bin")), QStringLiteral("r%1.bin").arg(known));
        job.HttpVersion = QStringLiteral("1.1");
        job.TotalBytes = known;
        temp.write(QStringLiteral("r%1.bin_").arg(known), data.left(1000));
        Run(job);

        const QByteArray range = known ? "\r\nRange: bytes=1000-5000\r\n" : "\r\nRange: bytes=1000-\r\n";
        EXPECT_TRUE(server.Request().contains(range)) << server.Request().toStdString();
        EXPECT_EQ(temp.read(QStringLiteral("r%1.bin").arg(known)), data);
        EXPECT_TRUE(Messages().contains("Try>Continue!"));
        EXPECT_EQ(Messages().last(), "End>Completed!");
        EXPECT_EQ(sink.Last(THTTPThread::UpdateTByte), "5000");
    }
}

// Catches a range sent to a server that cannot continue, or old bytes left before the new body.
TEST_F(THTTPThreadTest, RestartsPartialFileOnHttp10)
{
    const QByteArray data = Pattern(5000);
    S server;
    server.Play({S::Send("HTTP/1.0 200 OK\r\nContent-Length: 5000\r\n\r\n" + data)});
    TWorkerJob job = JobFor(server.Url(QStringLiteral("/r.bin")));
    job.HttpVersion = QStringLiteral("1.0");
    job.TotalBytes = 5000;
    temp.write(QStringLiteral("file.bin_"), QByteArray(1000, 'x'));
    Run(job);

    EXPECT_FALSE(server.Request().contains("Range:"));
    EXPECT_EQ(temp.read(QStringLiteral("file.bin")), data);
    EXPECT_EQ(Messages().last(), "End>Completed!");
}

// Catches a whole file appended behind the kept bytes when the server ignores the range.
TEST_F(THTTPThreadTest, DeletesPartialFileWhenRangeIsAnsweredWhole)
{
    const QByteArray data = Pattern(5000);
    S server;
    server.Play({S::Send(Ok(data))});
    TWorkerJob job = JobFor(server.Url(QStringLiteral("/r.bin")));
    job.HttpVersion = QStringLiteral("1.1");
    job.TotalBytes = 5000;
    temp.write(QStringLiteral("file.bin_"), data.left(1000));
    Run(job);

    EXPECT_EQ(Messages().last(), "Retry");
    EXPECT_FALSE(QFile::exists(Partial(job)));
    EXPECT_FALSE(QFile::exists(job.LocalFile));
    EXPECT_EQ(sink.Last(THTTPThread::UpdateCByte), "0");
}

// Catches a crash or a corrupted file when a 206 answer cannot be placed after the kept bytes.
TEST_F(THTTPThreadTest, RetriesKeepingPartialFileWhen206HasNoUsableRange)
{
    const QByteArray data = Pattern(5000);
    for (const QByteArray &range : {QByteArray(), QByteArray("Content-Range: bytes 0-4999/5000\r\n")}) {
        S server;
        server.Play({S::Send(Answer("206 Partial Content", range + "Content-Length: 4000\r\n", data.mid(1000)))});
        TWorkerJob job = JobFor(server.Url(QStringLiteral("/r.bin")));
        job.HttpVersion = QStringLiteral("1.1");
        job.TotalBytes = 5000;
        temp.write(QStringLiteral("file.bin_"), data.left(1000));
        Run(job);

        EXPECT_EQ(Messages().last(), "Retry") << range.toStdString();
        EXPECT_EQ(temp.read(QStringLiteral("file.bin_")), data.left(1000)) << range.toStdString();
    }
}

// Catches a part fetched without its range, counted from zero, or offsets cut to 32 bits.
TEST_F(THTTPThreadTest, FetchesPartByItsRange)
{
    const QByteArray body = Pattern(100000);
    for (const qint64 start : {qint64(100000), qint64(3000000000)}) {
        const qint64 end = start + 100000;
        S server;
        server.Play({S::Send(Answer("206 Partial Content",
                                    QStringLiteral("Content-Range: bytes %1-%2/%3\r\nContent-Length: 100000\r\n")
                                        .arg(start).arg(end - 1).arg(end + 5).toLatin1(),
                                    body))});
        sink.Events.clear();
        TWorkerJob job = JobFor(server.Url(QStringLiteral("/big.iso")), QStringLiteral("big.iso%1").arg(start));
        job.StartByte = start;
        job.EndByte = end;
        job.TotalBytes = end;
        job.HttpVersion = QStringLiteral("-");
        Run(job);

        const QByteArray range = QStringLiteral("\r\nRange: bytes=%1-%2\r\n").arg(start).arg(end - 1).toLatin1();
        EXPECT_TRUE(server.Request().contains(range)) << server.Request().toStdString();
        EXPECT_EQ(temp.read(QStringLiteral("big.iso%1").arg(start)), body);
        EXPECT_EQ(Messages().last(), "End>Completed!");
        EXPECT_EQ(sink.Last(THTTPThread::UpdateTByte), QString::number(end));
        // Each progress flush writes CByte then %, which counts from the part's start.
        const auto &events = sink.Events;
        for (qsizetype i = 0; i + 1 < events.size(); ++i) {
            if (events[i].Code != THTTPThread::UpdateCByte)
                continue;
            const qint64 received = events[i].Value.toLongLong();
            EXPECT_GT(received, start);
            EXPECT_LE(received, end);
            EXPECT_EQ(events[i + 1].Value, QString::asprintf("%1.2f", (received - start) / 1000.0));
        }
        EXPECT_EQ(sink.Last(THTTPThread::UpdatePercent), "100.00");
    }
}

// Catches a request for a part whose partial file already holds the whole part.
TEST_F(THTTPThreadTest, RenamesCompletePartWithoutRequest)
{
    S server;
    TWorkerJob job = JobFor(server.Url(QStringLiteral("/big.iso")));
    job.StartByte = 100000;
    job.EndByte = 200000;
    job.TotalBytes = 200000;
    temp.write(QStringLiteral("file.bin_"), Pattern(100000));
    Run(job);

    EXPECT_EQ(Messages().last(), "End>File End!");
    EXPECT_EQ(temp.read(QStringLiteral("file.bin")), Pattern(100000));
    EXPECT_EQ(server.Connections(), 0);
    EXPECT_EQ(sink.Completed, 1);
}

// Catches 20 480 taken for the limit, an off-by-one at 20 000, or a refused file left behind.
TEST_F(THTTPThreadNginxTest, RefusesFilesUnder20000Bytes)
{
    nginx->WriteFile(QStringLiteral("small.bin"), Pattern(19999));
    nginx->WriteFile(QStringLiteral("limit.bin"), Pattern(20000));
    TWorkerJob small = JobFor(nginx->Url(QStringLiteral("/small.bin")), QStringLiteral("small.bin"));
    small.Size20KB = true;
    Run(small);
    EXPECT_EQ(Messages().last(), "Abort>Size 20KB 未満");
    EXPECT_FALSE(QFile::exists(small.LocalFile));
    EXPECT_FALSE(QFile::exists(Partial(small)));

    TWorkerJob limit = JobFor(nginx->Url(QStringLiteral("/limit.bin")), QStringLiteral("limit.bin"));
    limit.Size20KB = true;
    Run(limit);
    EXPECT_EQ(Messages().last(), "End>Completed!");
    EXPECT_EQ(temp.read(QStringLiteral("limit.bin")), Pattern(20000));
}

// Catches a server's refusal retried for ever, a failure taken for a refusal, or an empty file left.
TEST_F(THTTPThreadTest, EndsOnServerRefusalAndRetriesOtherFailures)
{
    struct TCase
    {
        QByteArray answer;
        QString message;
    };
    const TCase cases[] = {
        {Answer("302 Found", "Location: /elsewhere\r\nContent-Length: 0\r\n"), "Abort>" + UrlUtil::HttpMsg(302)},
        {Answer("404 Not Found", "Content-Length: 9\r\n", "not found"), "Abort>" + UrlUtil::HttpMsg(404)},
        {Answer("410 Gone", "Content-Length: 0\r\n"), "Abort>" + UrlUtil::HttpMsg(410)},
        {Answer("429 Too Many Requests", "Content-Length: 0\r\n"), "Retry"},
        {Answer("503 Service Unavailable", "Content-Length: 0\r\n"), "Retry"},
    };
    for (const TCase &c : cases) {
        S server;
        server.Play({S::Send(c.answer)});
        const TWorkerJob job = JobFor(server.Url(QStringLiteral("/n.jpg")));
        Run(job);
        EXPECT_EQ(Messages().last(), c.message) << c.answer.toStdString();
        EXPECT_FALSE(QFile::exists(job.LocalFile));
        EXPECT_FALSE(QFile::exists(Partial(job))) << c.answer.toStdString();
    }

    // A refused connection is no answer of the server's.
    const TWorkerJob refused = JobFor(QStringLiteral("http://127.0.0.1:%1/n.jpg").arg(ClosedPort()));
    Run(refused);
    EXPECT_EQ(Messages().last(), "Retry");

    // Bytes of an earlier attempt stay for a later continuation.
    S gone;
    gone.Play({S::Send(Answer("404 Not Found", "Content-Length: 0\r\n"))});
    TWorkerJob resumed = JobFor(gone.Url(QStringLiteral("/n.jpg")));
    resumed.HttpVersion = QStringLiteral("1.1");
    resumed.TotalBytes = 5000;
    temp.write(QStringLiteral("file.bin_"), Pattern(1000));
    Run(resumed);
    EXPECT_EQ(Messages().last(), "Abort>" + UrlUtil::HttpMsg(404));
    EXPECT_EQ(temp.read(QStringLiteral("file.bin_")), Pattern(1000));
}

// Catches the cookie of a HEAD answer not sent with the GET that follows it.
TEST_F(THTTPThreadTest, SendsCookieOfHeadWithGet)
{
    const QByteArray data = Pattern(30000);
    S server;
    server.Play({S::Send(Answer("200 OK", "Set-Cookie: id=42; path=/\r\nContent-Length: 30000\r\n"))});
    server.Play({S::Send(Ok(data))});
    TWorkerJob job = JobFor(server.Url(QStringLiteral("/c.jpg")));
    job.HeadCommand = true;
    Run(job);

    EXPECT_TRUE(server.Request(0).startsWith("HEAD /c.jpg "));
    EXPECT_TRUE(server.Request(1).contains("\r\nCookie: id=42; path=/\r\n")) << server.Request(1).toStdString();
    EXPECT_EQ(Messages().first(), "Try>Get Headers!");
    EXPECT_EQ(Messages().last(), "End>Completed!");
    EXPECT_EQ(temp.read(QStringLiteral("file.bin")), data);
}

// Catches a HEAD stopped by the size rule reported as the client's "not found".
TEST_F(THTTPThreadTest, HeadRefusedBySizeRuleKeepsItsText)
{
    S server;
    server.Play({S::Send(Answer("200 OK", "Content-Length: 19999\r\n"))});
    TWorkerJob job = JobFor(server.Url(QStringLiteral("/c.jpg")));
    job.HeadCommand = true;
    job.Size20KB = true;
    Run(job);

    EXPECT_EQ(Messages().last(), "Abort>Size 20KB 未満");
    EXPECT_EQ(server.Connections(), 1);
}

// Catches one site's cookie leaking to the next host a worker fetches from.
TEST_F(THTTPThreadTest, SendsCookieOnlyToItsHost)
{
    const QByteArray data = Pattern(100);
    S server;
    server.Play({S::Send(Ok(data, "Set-Cookie: a=1\r\n"))});
    server.Play({S::Send(Ok(data, "Set-Cookie: b=2\r\n"))});
    server.Play({S::Send(Ok(data))});
    Run(JobFor(server.Url(QStringLiteral("/1.jpg")), QStringLiteral("1.jpg")));
    Run(JobFor(QStringLiteral("http://localhost:%1/2.jpg").arg(server.Port()), QStringLiteral("2.jpg")));
    Run(JobFor(server.Url(QStringLiteral("/3.jpg")), QStringLiteral("3.jpg")));

    ASSERT_EQ(server.Connections(), 3);
    EXPECT_FALSE(server.Request(1).contains("Cookie:")) << server.Request(1).toStdString();
    EXPECT_TRUE(server.Request(2).contains("\r\nCookie: a=1\r\n")) << server.Request(2).toStdString();
}

// Catches a body without length retried for ever although it ended in order.
TEST_F(THTTPThreadTest, CompletesBodyWithoutLengthThatEndedInOrder)
{
    const QByteArray data = Pattern(30000);
    const QByteArray chunked = "4e20\r\n" + data.left(20000) + "\r\n2710\r\n" + data.mid(20000) + "\r\n0\r\n\r\n";
    const QList<QList<S::TStep>> scripts = {
        {S::Send("HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\n\r\n" + data), S::Close()},
        {S::Send(Answer("200 OK", "Transfer-Encoding: chunked\r\n", chunked))},
    };
    for (const auto &script : scripts) {
        S server;
        server.Play(script);
        const TWorkerJob job = JobFor(server.Url(QStringLiteral("/p.jpg")), QStringLiteral("p%1.jpg").arg(lastId));
        Run(job);
        EXPECT_EQ(Messages().last(), "End>Completed!");
        EXPECT_EQ(sink.Last(THTTPThread::UpdateTByte), "30000");
        EXPECT_EQ(sink.Last(THTTPThread::UpdatePercent), "100.00");
        QFile file(job.LocalFile);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), data);
    }
}

// Catches a connection reset, or a close before the last chunk, taken for the end of a body
// without length.
TEST_F(THTTPThreadTest, RetriesBodyWithoutLengthCutByReset)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QTcpSocket *peer = nullptr;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        peer = server.nextPendingConnection();
        peer->write("HTTP/1.1 200 OK\r\n\r\n" + Pattern(10000));
    });
    const TWorkerJob job = JobFor(QStringLiteral("http://127.0.0.1:%1/p.jpg").arg(server.serverPort()));
    worker.StartJob(job);
    ASSERT_TRUE(WaitForEvents([&] { return sink.Last(THTTPThread::UpdateCByte) == "10000"; }));
    const linger reset{1, 0};
    ::setsockopt(static_cast<int>(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    peer->abort();
    ASSERT_TRUE(WaitForEvents([&] { return sink.Finished == 1; }));

    EXPECT_EQ(Messages().last(), "Retry");
    EXPECT_FALSE(QFile::exists(job.LocalFile));

    // A chunked body closed in order, but before its last chunk, is just as incomplete.
    const QByteArray data = Pattern(30000);
    S cut;
    cut.Play({S::Send(Answer("200 OK", "Transfer-Encoding: chunked\r\n", "4e20\r\n" + data.left(20000) + "\r\n2710\r\n"
                                                                               + data.mid(20000, 500))),
              S::Close()});
    const TWorkerJob chunked = JobFor(cut.Url(QStringLiteral("/c.jpg")), QStringLiteral("c.jpg"));
    Run(chunked);
    EXPECT_EQ(Messages().last(), "Retry");
    EXPECT_FALSE(QFile::exists(chunked.LocalFile));
}

// Catches a stop request of an ended pass reaching the next job of the same row.
TEST_F(THTTPThreadTest, IgnoresStopRequestOfAnEndedPass)
{
    const QByteArray data = Pattern(50000);
    S server;
    server.Play({S::Send(Ok(data).left(30100)), S::Pause(), S::Send(Ok(data).mid(30100))});
    temp.write(QStringLiteral("file.bin"), "there");
    TWorkerJob job = JobFor(server.Url(QStringLiteral("/s.jpg")));
    // Posted while the first pass runs, that pass never pumps its events: it arrives in the second.
    sink.OnUpdate = [&](THTTPThread &w, int) { w.RequestStop(job.JobId, QStringLiteral("stale")); };
    Run(job);
    sink.OnUpdate = nullptr;

    QFile::remove(job.LocalFile);
    worker.StartJob(job);
    ASSERT_TRUE(WaitForEvents([&] { return server.Paused(); }));
    server.Continue();
    ASSERT_TRUE(WaitForEvents([&] { return sink.Finished == 2; }));

    EXPECT_FALSE(Messages().contains("stale"));
    EXPECT_EQ(Messages().last(), "End>Completed!");
    EXPECT_EQ(temp.read(QStringLiteral("file.bin")), data);
}

// Catches a stopped job that loses its bytes, writes "Retry" itself, or keeps the worker from joining.
TEST_F(THTTPThreadTest, StopKeepsPartialFileAndWorkerJoinsAfterwards)
{
    const QByteArray data = Pattern(50000);
    S server;
    server.Play({S::Send(Answer("200 OK", "Content-Length: 50000\r\n", data.left(30000))), S::Pause()});
    TWorkerJob job = JobFor(server.Url(QStringLiteral("/s.jpg")));
    job.HttpVersion = QStringLiteral("1.1");
    worker.StartJob(job);
    ASSERT_TRUE(WaitForEvents([&] { return sink.Last(THTTPThread::UpdateCByte) == "30000"; }));
    worker.RequestStop(job.JobId, UserAbort);
    ASSERT_TRUE(WaitForEvents([&] { return sink.Finished == 1; }));

    EXPECT_EQ(Messages().last(), UserAbort);
    EXPECT_FALSE(Messages().contains("Retry"));
    EXPECT_EQ(temp.read(QStringLiteral("file.bin_")), data.left(30000));
    EXPECT_FALSE(QFile::exists(job.LocalFile));

    worker.Shutdown();
    EXPECT_TRUE(worker.isFinished());
}

} // namespace
