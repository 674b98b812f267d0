#include "LocalFileName.h"
#include "NginxServer.h"
#include "ScriptedServer.h"
#include "TBatchOptions.h"
#include "TBatchRun.h"
#include "TempFolder.h"

#include <QFile>
#include <gtest/gtest.h>

#include <cstdio>

namespace {

// Runs a batch and collects what it printed.
struct TBatchResult {
    int status = -1;
    QString out;
    QString err;
};

QString ReadBack(std::FILE *file)
{
    std::fflush(file);
    std::rewind(file);
    QByteArray bytes;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, qsizetype(n));
    std::fclose(file);
    return QString::fromUtf8(bytes);
}

TBatchResult RunBatch(const QStringList &args)
{
    const TBatchOptions options = TBatchOptions::Parse(args);
    EXPECT_TRUE(options.error.isEmpty()) << options.error.toStdString();
    std::FILE *out = std::tmpfile();
    std::FILE *err = std::tmpfile();
    TBatchResult result;
    {
        TBatchRun run(options, out, err, false);
        result.status = run.Run();
    }
    result.out = ReadBack(out);
    result.err = ReadBack(err);
    return result;
}

} // namespace

// Usage errors are told apart from runs: each bad word gets a reason.
TEST(TBatchRunTest, OptionsAreCheckedBeforeAnythingRuns)
{
    for (const QStringList &bad : {QStringList{"--batch"}, {"--threads", "0", "--add", "u"},
                                   {"--threads", "10", "--add", "u"}, {"--make", "a$", "1", "2"},
                                   {"--make", "a$", "1", "2", "9"}, {"--interval", "5", "--add", "u"},
                                   {"--bogus", "--add", "u"}, {"--add"}})
        EXPECT_FALSE(TBatchOptions::Parse(bad).error.isEmpty()) << bad.join(' ').toStdString();

    const TBatchOptions o = TBatchOptions::Parse({"--batch", "--threads", "9", "--interval", "50", "--timeout",
                                                  "7", "--max-tries", "3", "--make", "http://h/$.jpg", "1", "20",
                                                  "3", "--add", "http://h/x.jpg", "--urls", "list.txt"});
    ASSERT_TRUE(o.error.isEmpty());
    EXPECT_EQ(o.threads, 9);
    EXPECT_EQ(o.interval, 50);
    EXPECT_EQ(o.timeOut, 7);
    EXPECT_EQ(o.maxTries, 3);
    ASSERT_EQ(o.sources.size(), 3);
    EXPECT_EQ(o.sources[0].make.end, 20);
    EXPECT_EQ(o.sources[2].kind, TBatchOptions::TSource::Urls);
}

// One line per finished job with its final message; any job left incomplete makes the status 1.
TEST(TBatchRunTest, FetchesAndReportsEachJob)
{
    TTempFolder temp;
    TNginxServer nginx;
    ASSERT_TRUE(nginx.Start()) << nginx.Error().toStdString();
    nginx.WriteFile("p1.jpg", QByteArray(30000, 'a'));
    nginx.WriteFile("p2.jpg", QByteArray(30001, 'b'));
    temp.write("urls.txt", (nginx.Url("/p2.jpg") + "\n\n" + nginx.Url("/p3.jpg") + "\n").toUtf8());
    const QStringList common{"--batch", "--ini", temp.file("none.ini"), "--folder", temp.path(),
                             "--interval", "20", "--threads", "2"};

    const TBatchResult ok = RunBatch(common + QStringList{"--make", nginx.Url("/p$.jpg"), "1", "2", "0"});
    EXPECT_EQ(ok.status, TBatchRun::ExitComplete) << ok.err.toStdString();
    EXPECT_TRUE(ok.out.contains("End>Completed!\t" + nginx.Url("/p1.jpg") + "\n"));
    EXPECT_EQ(ok.out.count('\n'), 2);
    QFile fetched(LocalFileName::For(temp.path(), nginx.Url("/p1.jpg"), true));
    ASSERT_TRUE(fetched.open(QIODevice::ReadOnly));
    EXPECT_EQ(fetched.readAll(), QByteArray(30000, 'a'));

    const TBatchResult partly = RunBatch(common + QStringList{"--urls", temp.file("urls.txt")});
    EXPECT_EQ(partly.status, TBatchRun::ExitIncomplete);
    EXPECT_TRUE(partly.out.contains("ファイルが存在します。\t" + nginx.Url("/p2.jpg") + "\n")) << partly.out.toStdString();
    EXPECT_TRUE(partly.out.contains("Abort>見つかりません(404)\t" + nginx.Url("/p3.jpg") + "\n"));
}

// A job that keeps failing is given up after --max-tries attempts instead of running for ever.
TEST(TBatchRunTest, GivesUpAfterMaxTries)
{
    TTempFolder temp;
    TScriptedServer server;
    server.Play({TScriptedServer::Send("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n\r\n"),
                 TScriptedServer::Close()});
    const TBatchResult r = RunBatch({"--ini", temp.file("none.ini"), "--folder", temp.path(), "--interval", "10",
                                     "--max-tries", "3", "--add", server.Url("/busy.jpg")});
    EXPECT_EQ(r.status, TBatchRun::ExitIncomplete);
    EXPECT_EQ(r.out, "Abort>Retry limit (3)\t" + server.Url("/busy.jpg") + "\n");
    EXPECT_EQ(server.Connections(), 3);
}

// Lists and --save wait for the list-file support; until then they are refused clearly.
TEST(TBatchRunTest, ListArgumentsAreRefusedForNow)
{
    TTempFolder temp;
    const TBatchResult r = RunBatch({"--ini", temp.file("none.ini"), "--folder", temp.path(), "jobs.wst"});
    EXPECT_EQ(r.status, TBatchRun::ExitUsage);
    EXPECT_TRUE(r.err.contains("jobs.wst")) << r.err.toStdString();
}
