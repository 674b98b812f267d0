#include "app/TBatchOptions.h"
#include "app/TBatchRun.h"
#include "core/THistory.h"
#include "download/LocalFileName.h"
#include "tests/support/BatchRunner.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempFolder.h"

#include <QFile>

#include <gtest/gtest.h>

// Catches a bad choice taken, and either option on by default.
TEST(TBatchHistoryTest, OptionsAreRead)
{
    EXPECT_FALSE(TBatchOptions::Parse({"--add", "u"}).skipDone);
    EXPECT_EQ(TBatchOptions::Parse({"--add", "u"}).duplicates, -1);
    EXPECT_TRUE(TBatchOptions::Parse({"--skip-done", "--add", "u"}).skipDone);
    EXPECT_EQ(TBatchOptions::Parse({"--duplicates", "keep", "--add", "u"}).duplicates, 0);
    EXPECT_EQ(TBatchOptions::Parse({"--duplicates", "remove", "--add", "u"}).duplicates, 1);
    for (const QStringList &bad : {QStringList{"--duplicates", "delete", "--add", "u"}, {"--add", "u", "--duplicates"}})
        EXPECT_EQ(TBatchOptions::Parse(bad).error, "--duplicates takes keep or remove");
}

// Catches a recorded URL fetched again when its file was deleted, a skipped row counted as a failure,
// and SkipDone taking effect without being asked.
TEST(TBatchHistoryTest, SkipDoneSendsNoRequestEvenWhenTheFileIsGone)
{
    TTempFolder temp;
    TScriptedServer server;
    server.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 30000\r\n\r\n" + QByteArray(30000, 's'))});
    const QString url = server.Url("/s.jpg");
    ASSERT_EQ(RunBatch(temp, {"--add", url}).status, TBatchRun::ExitComplete);
    const int asked = server.AllRequests();
    ASSERT_EQ(asked, 1);
    ASSERT_TRUE(QFile::remove(LocalFileName::For(temp.path(), url, true)));

    const TBatchResult skipped = RunBatch(temp, {"--skip-done", "--add", url});
    EXPECT_EQ(skipped.status, TBatchRun::ExitComplete) << skipped.err.toStdString();
    EXPECT_EQ(skipped.out, QStringLiteral("End>取得済みです。\t") + url + "\n");
    EXPECT_EQ(server.AllRequests(), asked);
    EXPECT_FALSE(QFile::exists(LocalFileName::For(temp.path(), url, true))) << "nothing written";

    EXPECT_EQ(RunBatch(temp, {"--add", url}).status, TBatchRun::ExitComplete);
    EXPECT_EQ(server.AllRequests(), asked + 1) << "without --skip-done the URL is fetched again";
}

// Catches a duplicate left unnamed, one removed without being asked, the earlier file removed instead
// of the new one, and a "duplicate" of a file that is no longer there removed (its content would be lost).
TEST(TBatchHistoryTest, DuplicateIsNamedAndRemovedOnlyWhenAskedWithNginx)
{
    TTempFolder temp;
    TNginxServer nginx;
    ASSERT_TRUE(nginx.Start()) << nginx.Error().toStdString();
    const QByteArray same(30000, 'd');
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg"})
        nginx.WriteFile(name, same);
    const auto file = [&](const char *name) { return LocalFileName::For(temp.path(), nginx.Url(name), true); };
    const QString earlier = "tmp/" + QFileInfo(file("/a.jpg")).fileName();
    ASSERT_EQ(RunBatch(temp, {"--add", nginx.Url("/a.jpg")}).out, "End>Completed!\t" + nginx.Url("/a.jpg") + "\n");

    const TBatchResult kept = RunBatch(temp, {"--add", nginx.Url("/b.jpg")});
    EXPECT_EQ(kept.status, TBatchRun::ExitComplete);
    EXPECT_EQ(kept.out, "End>「" + earlier + "」と同じ内容です。\t" + nginx.Url("/b.jpg") + "\n");
    EXPECT_EQ(ReadFileOrMissing(file("/b.jpg")), same);

    const TBatchResult removed = RunBatch(temp, {"--duplicates", "remove", "--add", nginx.Url("/c.jpg")});
    EXPECT_EQ(removed.status, TBatchRun::ExitComplete);
    EXPECT_EQ(removed.out, "End>「" + earlier + "」と同じ内容のため削除しました。\t" + nginx.Url("/c.jpg") + "\n");
    EXPECT_FALSE(QFile::exists(file("/c.jpg")));
    EXPECT_EQ(ReadFileOrMissing(file("/a.jpg")), same);

    // With the first two copies gone, the next one is the only one: it stays.
    ASSERT_TRUE(QFile::remove(file("/a.jpg")) && QFile::remove(file("/b.jpg")));
    nginx.WriteFile("e.jpg", same);
    const TBatchResult only = RunBatch(temp, {"--duplicates", "remove", "--add", nginx.Url("/e.jpg")});
    EXPECT_EQ(only.out, "End>Completed!\t" + nginx.Url("/e.jpg") + "\n");
    EXPECT_EQ(ReadFileOrMissing(file("/e.jpg")), same);

    THistory history;
    EXPECT_EQ(history.Load(temp.file(THistory::FileName)).rows, 4) << "every completed file is recorded";
}
