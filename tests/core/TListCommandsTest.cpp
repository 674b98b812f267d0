#include "core/TListCommands.h"

#include "core/TJobListModel.h"
#include "tests/support/TempFolder.h"

#include <QDir>
#include <QSet>

#include <gtest/gtest.h>

namespace {

// The jobs a scheduler would hold.
struct TRunningSet : TRunningJobs {
    QSet<TJobId> ids;
    bool IsRunningJob(TJobId id) const override { return ids.contains(id); }
};

// Five rows u0..u4; row 1 runs, though its caption already reads "@@" (its worker is ending);
// row 3 shows a digit it was saved with, but nothing runs it.
void Fill(TJobListModel &jobs, TRunningSet &running)
{
    for (int i = 0; i < 5; ++i)
        jobs.AddJob(QStringLiteral("http://h/u%1.jpg").arg(i), 0, 0, {});
    jobs.SetCaption(1, "@@");
    jobs.SetCaption(3, "2");
    running.ids.insert(jobs.JobAt(1));
}

QStringList Urls(const TJobListModel &jobs)
{
    QStringList urls;
    for (int row = 0; row < jobs.RowCount(); ++row)
        urls.append(jobs.Cell(row, SubURL).mid(9, 2));
    return urls;
}

} // namespace

// Moving swaps whole rows, identities included, and never touches a running row or its neighbour;
// what runs is the scheduler's word, not the caption's.
TEST(TListCommandsTest, MovesKeepRunningRowsInPlace)
{
    TJobListModel jobs;
    TRunningSet running;
    Fill(jobs, running);
    const TJobId third = jobs.JobAt(3);
    bool refused = false;
    EXPECT_EQ(TListCommands::MoveUp(jobs, running, {2}, &refused), -1);
    EXPECT_TRUE(refused) << "the row above is running";
    EXPECT_EQ(TListCommands::MoveUp(jobs, running, {4, 3}, &refused), 2) << "only the top-most selected row moves";
    EXPECT_EQ(Urls(jobs), (QStringList{"u0", "u1", "u3", "u2", "u4"}));
    EXPECT_EQ(jobs.RowOfJob(third), 2);
    EXPECT_EQ(TListCommands::MoveDown(jobs, running, {0, 3}, &refused), 4) << "only the bottom-most selected row moves";
    EXPECT_EQ(TListCommands::MoveDown(jobs, running, {4}, &refused), -1);
    EXPECT_FALSE(refused) << "the last row has nowhere to go";
    EXPECT_EQ(TListCommands::MoveUp(jobs, running, {}, &refused), -1);
}

// Cut and Ready leave running rows alone, whatever their caption shows; Ready also leaves local
// "<FILE>" rows.
TEST(TListCommandsTest, CutAndReadySkipRunningRows)
{
    TJobListModel jobs;
    TRunningSet running;
    Fill(jobs, running);
    jobs.AddJob("file://a.jpg", 0, 0, {});
    for (int row = 0; row < jobs.RowCount(); ++row)
        jobs.SetCell(row, SubMessage, row == 5 ? "<FILE>" : "Retry");
    TListCommands::MarkReady(jobs, running, {0, 1, 3, 5});
    EXPECT_EQ(jobs.Cell(0, SubMessage), "Ready");
    EXPECT_EQ(jobs.Cell(1, SubMessage), "Retry") << "its worker still writes the partial file";
    EXPECT_EQ(jobs.Cell(3, SubMessage), "Ready") << "a saved digit is not a worker";
    EXPECT_EQ(jobs.Cell(5, SubMessage), "<FILE>");

    const TJobId held = jobs.JobAt(1);
    TListCommands::Cut(jobs, running, {0, 1, 2, 3});
    EXPECT_EQ(Urls(jobs), (QStringList{"u1", "u4", "jp"}));
    EXPECT_EQ(jobs.RowOfJob(held), 0) << "the running job is found at its new row";
    EXPECT_EQ(jobs.AddJob("http://h/u0.jpg", 0, 0, {}), 3) << "a deleted URL can be added again";
}

// Sorting orders by URL once and keeps each row's identity with its job.
TEST(TListCommandsTest, SortByUrlKeepsIdentities)
{
    TJobListModel jobs;
    for (const char *url : {"http://h/c", "http://h/a", "http://h/B", "http://h/b"})
        jobs.AddJob(QString::fromLatin1(url), 0, 0, {});
    const TJobId a = jobs.JobAt(1);
    jobs.SortByUrl();
    EXPECT_EQ(jobs.Cell(0, SubURL), "http://h/B") << "case-sensitive: capitals first";
    EXPECT_EQ(jobs.Cell(3, SubURL), "http://h/c");
    EXPECT_EQ(jobs.RowOfJob(a), 1);
}

// Files of selected rows come top to bottom, existing ones only where asked, with the part text.
TEST(TListCommandsTest, LocalFilesOfSelectedRows)
{
    TTempFolder temp;
    TJobListModel jobs;
    jobs.AddJob("http://h/big.zip", 0, 100, "001");
    jobs.AddJob("http://h/big.zip", 100, 200, "002");
    jobs.AddJob("http://h/pic.jpg", 0, 0, {});
    QDir(temp.path()).mkdir("tmp");
    temp.write("tmp/big.zip002", "x");
    const QStringList all = TListCommands::LocalFiles(jobs, {1, 0}, temp.path(), false, true);
    EXPECT_EQ(all, (QStringList{temp.path() + "/tmp/big.zip001", temp.path() + "/tmp/big.zip002"}));
    EXPECT_EQ(TListCommands::ExistingFiles(jobs, {2, 1, 0}, temp.path(), false, true),
              QStringList{temp.path() + "/tmp/big.zip002"});

    EXPECT_EQ(TListCommands::DroppedFileUrl("/prog/tmp/a.jpg", "/prog"), "file://tmp/a.jpg");
    EXPECT_EQ(TListCommands::DroppedFileUrl("/other/a.jpg", "/prog"), "file:///other/a.jpg");
}

// Catches the window's merge joining parts that recorded different versions of the file (another
// total, or another validator), and refusing parts that agree or lists kept before versions were.
TEST(TListCommandsTest, MergeRefusesPartsOfDifferentVersions)
{
    TJobListModel jobs;
    const QStringList versions{"1000 ETag=%22v1%22", "",
                               "1000 ETag=%22v1%22", "1001 ETag=%22v1%22",
                               "1000 ETag=%22v2%22", "1000 Last-Modified=Wed%2C%2021%20Oct%202015"};
    for (int i = 0; i < versions.size(); ++i)
        jobs.AddJob("http://h/big.zip", i * 10, i * 10 + 10, QStringLiteral("%1").arg(i + 1, 3, 10, QChar('0')),
                    versions[i]);
    EXPECT_EQ(TListCommands::MergeRefusal(jobs, {2, 1, 0}), "");
    EXPECT_EQ(TListCommands::MergeRefusal(jobs, {0, 3}),
              "parts 001 and 004 are of different versions of the file (1000 bytes, ETag \"v1\"; "
              "1001 bytes, ETag \"v1\")");
    EXPECT_NE(TListCommands::MergeRefusal(jobs, {4, 1, 2}).indexOf("parts 003 and 005"), -1);
    EXPECT_NE(TListCommands::MergeRefusal(jobs, {0, 5}).indexOf("Last-Modified Wed, 21 Oct 2015"), -1);
}
