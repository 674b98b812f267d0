#include "core/TScheduler.h"

#include "core/TSettings.h"
#include "download/RowTexts.h"
#include "tests/core/SchedulerFixture.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

class TSchedulerHistoryTest : public TSchedulerFixture
{
protected:
    // A history holding these URLs, as an earlier run left it.
    void Record(const QStringList &urls)
    {
        THistory history;
        history.Load(temp.file(THistory::FileName));
        QString error;
        for (const QString &url : urls)
            ASSERT_TRUE(history.Append(
                {QDateTime::currentDateTimeUtc(), 30000, QByteArray(64, 'a'), url, temp.file("tmp/gone.jpg")}, &error));
    }
};

} // namespace

// Catches a recorded row that costs a tick (10,000 of them would take hours at the default tick),
// one that sends a request, and a row skipped whose file is gone but whose URL is recorded.
TEST_F(TSchedulerHistoryTest, SkipDoneEndsEveryRecordedRowOnOneTickWithoutARequest)
{
    TScriptedServer server;
    server.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 30000\r\n\r\n" + QByteArray(30000, 'x'))});
    QStringList urls;
    for (int i = 0; i < 1000; ++i)
        urls.append(server.Url(QStringLiteral("/%1.jpg").arg(i)));
    Record(urls);
    for (const QString &url : std::as_const(urls))
        jobs.AddJob(url, 0, 0, {});
    settings.SkipDone = 1;
    scheduler.TButtonGetClick();
    scheduler.Timer1Timer();

    EXPECT_EQ(ended.size(), 1000);
    EXPECT_EQ(finished, 1) << "nothing left after the first tick";
    for (int row = 0; row < jobs.RowCount(); ++row)
        ASSERT_EQ(jobs.Cell(row, SubMessage), RowText::AlreadyDone) << row;
    scheduler.Shutdown();
    EXPECT_EQ(server.Connections(), 0);
}

// Catches SkipDone on by default, and a part taken for its recorded whole file (its merge would
// then miss the part).
TEST_F(TSchedulerHistoryTest, OnlyWholeFileRowsAreSkippedAndOnlyWhenAsked)
{
    TScriptedServer server;
    server.Play({TScriptedServer::Pause()});
    Record({server.Url("/a.jpg"), server.Url("/big.jpg")});
    jobs.AddJob(server.Url("/a.jpg"), 0, 0, {});
    jobs.AddJob(server.Url("/big.jpg"), 0, 100000, QStringLiteral("001"));
    scheduler.TButtonGetClick();
    scheduler.Timer1Timer();
    EXPECT_EQ(jobs.Cell(0, SubMessage), "Start") << "SkipDone is off unless set";

    scheduler.StopAll();
    ASSERT_TRUE(scheduler.WaitUntilParked());
    jobs.SetCell(0, SubMessage, RowText::Ready);
    jobs.SetCell(1, SubMessage, RowText::Ready);
    settings.SkipDone = 1;
    scheduler.TButtonGetClick();
    scheduler.Timer1Timer();
    EXPECT_EQ(jobs.Cell(0, SubMessage), RowText::AlreadyDone);
    EXPECT_EQ(jobs.Cell(1, SubMessage), "Start");
}

// Catches a resumed file recorded with the hash of its second half (or of its first), and a part
// of a split recorded as if it were a whole file.
TEST_F(TSchedulerHistoryTest, AResumedFileIsRecordedWithTheHashOfItsWholeContent)
{
    QByteArray body(40000, Qt::Uninitialized);
    for (int i = 0; i < body.size(); ++i)
        body[i] = char(i * 7 + i / 251);
    TScriptedServer server;
    // The first answer breaks off after 25000 bytes; the resume asks for the rest.
    server.Play({TScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 40000\r\n\r\n" + body.left(25000)),
                 TScriptedServer::Close()});
    server.Play({TScriptedServer::Send("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 25000-39999/40000\r\n"
                                       "Content-Length: 15000\r\n\r\n"
                                       + body.mid(25000))});
    jobs.AddJob(server.Url("/r.jpg"), 0, 0, {});
    scheduler.TButtonGetClick();
    ASSERT_TRUE(WaitForEvents([this] { return finished > 0; }, 20000));
    ASSERT_EQ(jobs.Cell(0, SubMessage), RowText::Completed);
    ASSERT_TRUE(server.Request(1).contains("Range: bytes=25000-")) << server.Request(1).toStdString();

    THistory history;
    EXPECT_EQ(history.Load(temp.file(THistory::FileName)).rows, 1);
    const std::optional<THistory::TRecord> record = history.FindOther(
        QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex(), QStringLiteral("http://other/"));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->size, 40000);
    EXPECT_EQ(record->url, server.Url("/r.jpg"));
    EXPECT_EQ(record->localFile, jobs.LocalFile(0, temp.path(), true));
}
