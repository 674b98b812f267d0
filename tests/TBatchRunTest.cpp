#include "LocalFileName.h"
#include "NginxServer.h"
#include "ScriptedServer.h"
#include "TBatchOptions.h"
#include "TBatchRun.h"
#include "TJobListFile.h"
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

// Catches lists not loaded (finished rows fetched again, "URL=" or "MAKE=" lines lost), a bad
// line passed over in silence, and --save missing the run's outcome.
TEST(TBatchRunTest, RunsListsAndSavesTheOutcome)
{
    TTempFolder temp;
    TNginxServer nginx;
    ASSERT_TRUE(nginx.Start()) << nginx.Error().toStdString();
    for (const char *name : {"p1.jpg", "p2.jpg", "m1.jpg", "m2.jpg"})
        nginx.WriteFile(name, QByteArray(30000, name[0]));
    temp.write("jobs.wrg", ("[Download1]\r\nURL=" + nginx.Url("/p1.jpg") + "\r\nSize=30000\r\nurl="
                            + nginx.Url("/p2.jpg") + "\r\nMAKE=" + nginx.Url("/m$.jpg") + ",1,2,0,1\r\nMAKE="
                            + nginx.Url("/x$.jpg") + ",one,2,0,1\r\n").toLatin1());
    const QString sample = QStringLiteral(PELMOR_TEST_DATA "/sample.wst");
    const TBatchResult r = RunBatch({"--ini", temp.file("none.ini"), "--folder", temp.path(), "--interval", "20",
                                     "--threads", "2", sample, temp.file("jobs.wrg"), "--save", temp.file("out.wst")});
    EXPECT_EQ(r.status, TBatchRun::ExitComplete) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("jobs.wrg: 1 bad lines skipped")) << r.err.toStdString();
    EXPECT_EQ(r.out.count("End>Completed!"), 4) << r.out.toStdString();

    QFile original(sample);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    EXPECT_TRUE(temp.read("out.wst").startsWith(original.readAll())) << "finished rows pass through unchanged";
    TJobListModel saved;
    ASSERT_EQ(TJobListFile::LoadList(saved, temp.file("out.wst"), {}).rows, 9);
    const QStringList urls{nginx.Url("/p1.jpg"), nginx.Url("/p2.jpg"), nginx.Url("/m1.jpg"), nginx.Url("/m2.jpg")};
    for (int row = 5; row < 9; ++row) {
        EXPECT_EQ(saved.Cell(row, SubURL), urls[row - 5]);
        EXPECT_EQ(saved.Caption(row), "@@");
        EXPECT_EQ(saved.Cell(row, SubMessage), "End>Completed!");
    }
}

// Catches an unreadable list run as an empty one, and a failed --save ending with success.
TEST(TBatchRunTest, UnreadableListOrFailedSaveIsReported)
{
    TTempFolder temp;
    const QStringList common{"--ini", temp.file("none.ini"), "--folder", temp.path()};
    const TBatchResult missing = RunBatch(common + QStringList{temp.file("missing.wst")});
    EXPECT_EQ(missing.status, TBatchRun::ExitUsage);
    EXPECT_TRUE(missing.err.contains("missing.wst")) << missing.err.toStdString();

    const QString nowhere = temp.write("plain", "a file, not a folder") + "/out.wst";
    const TBatchResult unsaved
        = RunBatch(common + QStringList{QStringLiteral(PELMOR_TEST_DATA "/sample.wst"), "--save", nowhere});
    EXPECT_EQ(unsaved.status, TBatchRun::ExitIncomplete);
    EXPECT_TRUE(unsaved.err.contains(nowhere)) << unsaved.err.toStdString();
}
