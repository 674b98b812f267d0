#include "core/THistory.h"

#include "tests/support/TempFolder.h"

#include <QFile>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include <sys/stat.h>

namespace {

THistory::TRecord Record(int n, const QByteArray &sha = {})
{
    return {QDateTime(QDate(2026, 12, 10), QTime(1, 2, 3), Qt::UTC), 30000 + n,
            sha.isEmpty() ? QByteArray::number(n).rightJustified(64, '0') : sha,
            QStringLiteral("http://h/%1.jpg").arg(n), QStringLiteral("/p/tmp/h_%1.jpg").arg(n)};
}

} // namespace

// Catches a damaged line taken as a record (or a good one refused), wrong line numbers in the report,
// and a partial last line left by a crash swallowing the next record appended.
TEST(THistoryTest, DamagedLinesAreSkippedAndNumberedAndAPartialLastLineHidesNothing)
{
    TTempFolder temp;
    const QByteArray good = THistory::LineOf(Record(1));
    EXPECT_EQ(good, "2026-12-10T01:02:03Z\t30001\t" + QByteArray(63, '0') + "1\thttp://h/1.jpg\t/p/tmp/h_1.jpg");
    const QByteArray lines[] = {
        "# a comment",
        good,
        "",
        "2026-12-10T01:02:03Z\t30001\t" + QByteArray(64, '0') + "\thttp://h/x.jpg",   // 4 fields
        "2026-12-10T01:02:03Z\t-5\t" + QByteArray(64, '0') + "\thttp://h/x.jpg\tx",   // sign
        "2026-12-10T01:02:03Z\t5\t" + QByteArray(64, 'A') + "\thttp://h/x.jpg\tx",    // upper-case hex
        "2026-12-10T01:02:03\t5\t" + QByteArray(64, '0') + "\thttp://h/x.jpg\tx",     // not UTC
        "2026-13-10T01:02:03Z\t5\t" + QByteArray(64, '0') + "\thttp://h/x.jpg\tx",    // no such month
        "2026-12-10T01:02:03Z\t5\t" + QByteArray(64, '0') + "\thttp://h/\x01.jpg\tx", // control character
        "2026-12-10T01:02:03Z\t5\t" + QByteArray(64, '0') + "\thttp://h/\xff.jpg\tx", // not UTF-8
        "2026-12-10T01:02:03Z\t5\t" + QByteArray(64, '0') + "\thttp://h/x.jpg\t",     // no file
        THistory::LineOf(Record(2)),
    };
    QByteArray bytes;
    for (const QByteArray &line : lines)
        bytes += line + '\n';
    // A crash in the middle of a line: the name it was writing is cut, so the line must not count.
    bytes += THistory::LineOf(Record(3)).chopped(4);
    temp.write("history.txt", bytes);

    THistory history;
    const TJobListFile::TLoadReport report = history.Load(temp.file("history.txt"));
    EXPECT_TRUE(report.error.isEmpty());
    EXPECT_EQ(report.rows, 2);
    EXPECT_EQ(report.skippedLines, 9);
    EXPECT_EQ(report.firstSkipped, (QList<int>{4, 5, 6, 7, 8}));
    EXPECT_TRUE(history.Contains("http://h/1.jpg") && history.Contains("http://h/2.jpg"));
    EXPECT_FALSE(history.Contains("http://h/3.jpg"));

    QString error;
    ASSERT_TRUE(history.Append(Record(4), &error)) << error.toStdString();
    THistory again;
    const TJobListFile::TLoadReport second = again.Load(temp.file("history.txt"));
    EXPECT_EQ(second.rows, 3);
    EXPECT_EQ(second.skippedLines, 9) << "the cut line stays one bad line, on its own";
    EXPECT_TRUE(again.Contains("http://h/4.jpg"));
    EXPECT_EQ(again.FindOther(Record(4).sha256, "http://other/"), Record(4));
}

// Catches a record written in more than one piece, or at a stale end of file: lines of two writers
// (two programs on one file, each with workers of its own) would interleave or overwrite each other.
TEST(THistoryTest, TwoWritersAtOnceLeaveEveryLineWhole)
{
    TTempFolder temp;
    const QString file = temp.file("history.txt");
    THistory first, second;
    first.Load(file);
    second.Load(file);
    constexpr int PerThread = 400;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            THistory &history = t % 2 ? second : first;
            QString error;
            for (int i = 0; i < PerThread; ++i)
                EXPECT_TRUE(history.Append(Record(t * PerThread + i), &error)) << error.toStdString();
        });
    for (std::thread &thread : threads)
        thread.join();

    THistory read;
    const TJobListFile::TLoadReport report = read.Load(file);
    EXPECT_EQ(report.rows, 4 * PerThread);
    EXPECT_EQ(report.skippedLines, 0);
    for (int n = 0; n < 4 * PerThread; ++n)
        ASSERT_TRUE(read.Contains(Record(n).url)) << n;
}

// Catches a duplicate found under its own URL, a later record preferred to the first of the content,
// a fifo read (it would hold the run), and a file that cannot be written reported as written.
TEST(THistoryTest, FindsTheFirstRecordOfTheContentUnderAnotherUrl)
{
    TTempFolder temp;
    THistory history;
    history.Load(temp.file("history.txt"));
    const QByteArray sha(64, 'a');
    QString error;
    for (const int n : {5, 6, 7})
        ASSERT_TRUE(history.Append(Record(n, sha), &error));
    EXPECT_EQ(history.FindOther(sha, Record(5).url)->url, Record(6).url);
    EXPECT_EQ(history.FindOther(sha, Record(7).url)->url, Record(5).url);
    EXPECT_FALSE(history.FindOther(QByteArray(64, 'b'), Record(9).url));

    ASSERT_EQ(mkfifo(QFile::encodeName(temp.file("fifo")).constData(), 0600), 0);
    EXPECT_EQ(THistory().Load(temp.file("fifo")).error, temp.file("fifo") + ": not a regular file");

    THistory unwritable;
    unwritable.Load(temp.file("no-such-folder/history.txt"));
    EXPECT_FALSE(unwritable.Append(Record(1), &error));
    EXPECT_TRUE(error.contains("no-such-folder")) << error.toStdString();
    EXPECT_TRUE(unwritable.Contains(Record(1).url)) << "kept for this run all the same";
}
