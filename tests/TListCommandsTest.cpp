#include "TJobListModel.h"
#include "TListCommands.h"
#include "TempFolder.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

// Five rows u0..u4; row 1 runs on worker 2.
void Fill(TJobListModel &jobs)
{
    for (int i = 0; i < 5; ++i)
        jobs.AddJob(QStringLiteral("http://h/u%1.jpg").arg(i), 0, 0, {});
    jobs.SetCaption(1, "2");
}

QStringList Urls(const TJobListModel &jobs)
{
    QStringList urls;
    for (int row = 0; row < jobs.RowCount(); ++row)
        urls.append(jobs.Cell(row, SubURL).mid(9, 2));
    return urls;
}

} // namespace

// Moving swaps whole rows, identities included, and never touches a running row or its neighbour.
TEST(TListCommandsTest, MovesKeepRunningRowsInPlace)
{
    TJobListModel jobs;
    Fill(jobs);
    const TJobId third = jobs.JobAt(3);
    bool running = false;
    EXPECT_EQ(TListCommands::MoveUp(jobs, {2}, &running), -1);
    EXPECT_TRUE(running) << "the row above is running";
    EXPECT_EQ(TListCommands::MoveUp(jobs, {4, 3}, &running), 2) << "only the top-most selected row moves";
    EXPECT_EQ(Urls(jobs), (QStringList{"u0", "u1", "u3", "u2", "u4"}));
    EXPECT_EQ(jobs.RowOfJob(third), 2);
    EXPECT_EQ(TListCommands::MoveDown(jobs, {0, 3}, &running), 4) << "only the bottom-most selected row moves";
    EXPECT_EQ(TListCommands::MoveDown(jobs, {4}, &running), -1);
    EXPECT_FALSE(running) << "the last row has nowhere to go";
    EXPECT_EQ(TListCommands::MoveUp(jobs, {}, &running), -1);
}

// Cut and Ready leave running rows alone; Ready also leaves local "<FILE>" rows.
TEST(TListCommandsTest, CutAndReadySkipRunningRows)
{
    TJobListModel jobs;
    Fill(jobs);
    jobs.AddJob("file://a.jpg", 0, 0, {});
    for (int row = 0; row < jobs.RowCount(); ++row)
        jobs.SetCell(row, SubMessage, row == 5 ? "<FILE>" : "End>Completed!");
    TListCommands::MarkReady(jobs, {0, 1, 5});
    EXPECT_EQ(jobs.Cell(0, SubMessage), "Ready");
    EXPECT_EQ(jobs.Cell(1, SubMessage), "End>Completed!");
    EXPECT_EQ(jobs.Cell(5, SubMessage), "<FILE>");

    const TJobId running = jobs.JobAt(1);
    TListCommands::Cut(jobs, {0, 1, 2});
    EXPECT_EQ(Urls(jobs), (QStringList{"u1", "u3", "u4", "jp"}));
    EXPECT_EQ(jobs.RowOfJob(running), 0) << "the running job is found at its new row";
    EXPECT_EQ(jobs.AddJob("http://h/u0.jpg", 0, 0, {}), 4) << "a deleted URL can be added again";
    EXPECT_TRUE(TListCommands::AnyRunning(jobs));
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
    EXPECT_TRUE(TListCommands::IsHttpText("hTTp://x"));
    EXPECT_FALSE(TListCommands::IsHttpText("ftp://x"));
}
