#include "core/TJobListModel.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTime>

#include <gtest/gtest.h>

namespace {

const QString Url = QStringLiteral("http://host.example/dir/img001.jpg");

QStringList RowTexts(const TJobListModel &jobs, int row)
{
    QStringList texts{jobs.Caption(row)};
    for (int sub = 0; sub < SubItemCount; ++sub)
        texts.append(jobs.Cell(row, sub));
    return texts;
}

void AddTwelveParts(TJobListModel &jobs, const QString &url, int *added)
{
    for (int part = 0; part < 12; ++part) {
        const QString div = QStringLiteral("%1").arg(part + 1, 3, 10, QLatin1Char('0'));
        if (jobs.AddJob(url, part * 1000, (part + 1) * 1000, div) >= 0)
            ++*added;
    }
}

} // namespace

// A new row must carry exactly the initial cells every later step relies on.
TEST(TJobListModelTest, AddJobFillsInitialCells)
{
    TJobListModel jobs;
    EXPECT_EQ(jobs.AddJob(Url, 0, 0, QString()), 0);
    EXPECT_EQ(RowTexts(jobs, 0),
              (QStringList{"(..)", Url, "-", "???", "-", ">", "-", "1.1", "Ready", "*", "0", "", "", ""}));

    const QString big = QStringLiteral("http://host.example/big.zip");
    EXPECT_EQ(jobs.AddJob(big, 2000, 4000, QStringLiteral("002")), 1);
    EXPECT_EQ(RowTexts(jobs, 1),
              (QStringList{"(..)", big, "-", "???", "-", ">", "-", "-", "Ready", "*", "0", "2000", "4000", "002"}));

    // Only the lower-case prefix marks a local file.
    EXPECT_EQ(jobs.Cell(jobs.AddJob("file://a/b.jpg", 0, 0, {}), SubMessage), "<FILE>");
    EXPECT_EQ(jobs.Cell(jobs.AddJob("FILE://a/b.jpg", 0, 0, {}), SubMessage), "Ready");
    EXPECT_EQ(jobs.RowImage(0), TRowIcons::NotStarted);
}

// Duplicate rule for whole files: exact, case-sensitive URL; a refused job changes nothing.
TEST(TJobListModelTest, WholeFileDuplicatesAreRefused)
{
    TJobListModel jobs;
    ASSERT_EQ(jobs.AddJob(Url, 0, 0, {}), 0);
    EXPECT_EQ(jobs.AddJob(Url, 0, 0, {}), -1);
    EXPECT_EQ(jobs.RowCount(), 1);
    EXPECT_EQ(jobs.AddJob(QString(Url).replace("img", "IMG"), 0, 0, {}), 1);
    EXPECT_EQ(jobs.AddJob(Url + "?", 0, 0, {}), 2);
    // A first part is refused while the whole file is listed; a later part is not.
    EXPECT_EQ(jobs.AddJob(Url, 0, 1000, "001"), -1);
    EXPECT_EQ(jobs.AddJob(Url, 1000, 2000, "002"), -1) << "any part collides with a whole-file row";
}

// Duplicate rule for parts: the start offset decides, and only part 001 blocks a whole-file job.
TEST(TJobListModelTest, PartDuplicatesFollowTheirStartOffset)
{
    TJobListModel jobs;
    int added = 0;
    AddTwelveParts(jobs, Url, &added);
    EXPECT_EQ(added, 12);
    added = 0;
    AddTwelveParts(jobs, Url, &added);
    EXPECT_EQ(added, 0);
    EXPECT_EQ(jobs.AddJob(Url, 0, 0, {}), -1) << "part 001 starts at 0";

    TJobListModel later;
    for (int part = 1; part < 12; ++part)
        later.AddJob(Url, part * 1000, (part + 1) * 1000, QString::number(part + 1));
    EXPECT_EQ(later.AddJob(Url, 0, 0, {}), 11);
    EXPECT_EQ(later.AddJob(Url, 5000, 9999, "x"), -1) << "same start as part 006";
}

// The index behind the duplicate test must follow edits of the URL and S Bytes cells.
TEST(TJobListModelTest, DuplicateTestFollowsCellEdits)
{
    TJobListModel jobs;
    jobs.AddJob(Url, 0, 0, {});
    jobs.SetCell(0, SubURL, QStringLiteral("http://other.example/a.jpg"));
    EXPECT_EQ(jobs.AddJob(Url, 0, 0, {}), 1);
    EXPECT_EQ(jobs.AddJob(QStringLiteral("http://other.example/a.jpg"), 0, 0, {}), -1);

    jobs.AddJob(QStringLiteral("http://p.example/big.zip"), 3000, 6000, "002");
    jobs.SetCell(2, SubSBytes, QStringLiteral("not a number"));
    EXPECT_EQ(jobs.AddJob(QStringLiteral("http://p.example/big.zip"), 3000, 6000, "002"), 3)
        << "a non-numeric S Bytes matches no start";
}

// A running row is a worker digit; "(..)", "@@", "※" and empty captions are not running.
TEST(TJobListModelTest, RunningCaptionsAndRowImages)
{
    for (const char *running : {"0", "5", "8", "9"})
        EXPECT_TRUE(TJobListModel::IsRunningCaption(QString::fromUtf8(running))) << running;
    for (const char *idle : {"(..)", "@@", "※", "", ":"})
        EXPECT_FALSE(TJobListModel::IsRunningCaption(QString::fromUtf8(idle))) << idle;

    EXPECT_EQ(TJobListModel::ImageFor("3", "100.00", ""), TRowIcons::Running);
    EXPECT_EQ(TJobListModel::ImageFor("@@", "100.00", ""), TRowIcons::Complete);
    EXPECT_EQ(TJobListModel::ImageFor("@@", "100.00", "003"), TRowIcons::PartComplete);
    EXPECT_EQ(TJobListModel::ImageFor("@@", "42.50", ""), TRowIcons::Partly);
    EXPECT_EQ(TJobListModel::ImageFor("(..)", "-", ""), TRowIcons::NotStarted);
    EXPECT_EQ(TJobListModel::ImageFor("(..)", "", "001"), TRowIcons::NotStarted);

    TJobListModel jobs;
    jobs.AddJob(Url, 0, 0, {});
    jobs.SetCell(0, SubPercent, "100.00");
    EXPECT_EQ(jobs.RowImage(0), TRowIcons::NotStarted) << "images change only through UpdateRowImage";
    jobs.UpdateRowImage(0);
    EXPECT_EQ(jobs.RowImage(0), TRowIcons::Complete);
    EXPECT_EQ(jobs.data(jobs.index(0, 0), TJobListModel::ImageIndexRole).toInt(), TRowIcons::Complete);
}

// Progress writes are folded: many cell writes give one repaint notice, after the fact.
TEST(TJobListModelTest, CellWritesAreBatchedIntoOneNotice)
{
    TJobListModel jobs;
    for (int i = 0; i < 5; ++i)
        jobs.AddJob(Url + QString::number(i), 0, 0, {});
    int notices = 0;
    QModelIndex first, last;
    QObject::connect(&jobs, &QAbstractItemModel::dataChanged, [&](const QModelIndex &a, const QModelIndex &b) {
        ++notices;
        first = a;
        last = b;
    });
    for (int n = 0; n < 100; ++n) {
        jobs.SetCell(1, SubCByte, QString::number(n));
        jobs.SetCell(3, SubPercent, QString::number(n));
    }
    EXPECT_EQ(jobs.Cell(1, SubCByte), "99") << "reads see every write at once";
    const QDeadlineTimer deadline(5000);
    while (notices == 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(first.row(), 1);
    EXPECT_EQ(last.row(), 3);
    EXPECT_EQ(last.column(), TJobListModel::ColumnCount - 1);
}

// Rows keep an identity of their own that the workers use instead of positions.
TEST(TJobListModelTest, JobIdentityMapsToRow)
{
    TJobListModel jobs;
    for (int i = 0; i < 3; ++i)
        jobs.AddJob(Url + QString::number(i), 0, 0, {});
    EXPECT_NE(jobs.JobAt(0), jobs.JobAt(1));
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(jobs.RowOfJob(jobs.JobAt(row)), row);
    EXPECT_EQ(jobs.RowOfJob(0), -1);
    EXPECT_EQ(jobs.RowOfJob(999), -1);
}

// Catches scattered removal that loses or reorders kept rows, leaves stale identities or duplicate
// entries behind, or miscounts the pending rows the scheduler's end test relies on.
TEST(TJobListModelTest, ScatteredRemovalKeepsRowsIdentitiesAndCounts)
{
    TJobListModel jobs;
    for (int i = 0; i < 10; ++i)
        jobs.AddJob(Url + QString::number(i), 0, 0, {});
    jobs.SetCell(9, SubMessage, "Retry");
    jobs.SetCell(2, SubMessage, "Cancel");
    EXPECT_EQ(jobs.PendingCount(), 9);
    const TJobId kept = jobs.JobAt(7);
    const TJobId gone = jobs.JobAt(8);
    int resets = 0;
    QObject::connect(&jobs, &QAbstractItemModel::modelReset, [&] { ++resets; });
    jobs.RemoveRows({8, 1, 3, 4, 1, 42, -1});
    ASSERT_EQ(jobs.RowCount(), 6);
    QStringList ends;
    for (int row = 0; row < jobs.RowCount(); ++row)
        ends.append(jobs.Cell(row, SubURL).right(1));
    EXPECT_EQ(ends, (QStringList{"0", "2", "5", "6", "7", "9"}));
    EXPECT_EQ(jobs.RowOfJob(kept), 4);
    EXPECT_EQ(jobs.RowOfJob(gone), -1);
    EXPECT_EQ(jobs.PendingCount(), 5);
    EXPECT_EQ(resets, 1) << "one notice for the whole removal";
    EXPECT_EQ(jobs.AddJob(Url + "8", 0, 0, {}), 6) << "a removed URL can come back";
    EXPECT_EQ(jobs.AddJob(Url + "9", 0, 0, {}), -1) << "a kept one is still a duplicate";

    int removedFirst = -1, removedLast = -1;
    QObject::connect(&jobs, &QAbstractItemModel::rowsRemoved, [&](const QModelIndex &, int first, int last) {
        removedFirst = first;
        removedLast = last;
    });
    jobs.RemoveRows({3, 2});
    EXPECT_EQ((QList<int>{removedFirst, removedLast}), (QList<int>{2, 3})) << "one block keeps the usual signal";
    EXPECT_EQ(jobs.RowOfJob(kept), 2);
    jobs.Clear();
    EXPECT_EQ(jobs.PendingCount(), 0);
}

// Catches a row named apart from the list (two rows writing one file), parts of one URL named apart
// from their whole file, and names kept from before the rows were edited, moved or removed (a row
// that now comes first still writing under a distinct name, or one that now comes later under the
// name another row holds).
TEST(TJobListModelTest, RowsAreNamedInListOrder)
{
    TJobListModel jobs;
    const QString plain = "/p/tmp/hh_a_b.jpg";
    jobs.AddJob("http://h/a/b.jpg", 0, 0, {});
    jobs.AddJob("http://h/a_b.jpg", 0, 1000, "001");
    jobs.AddJob("http://h/a_b.jpg", 1000, 2000, "002");
    EXPECT_EQ(jobs.LocalFile(0, "/p", true), plain);
    const QString second = jobs.LocalFile(1, "/p", true, false);
    EXPECT_TRUE(second.startsWith("/p/tmp/hh_a_b~")) << second.toStdString();
    EXPECT_EQ(jobs.LocalFile(1, "/p", true), second + "001");
    EXPECT_EQ(jobs.LocalFile(2, "/p", true), second + "002") << "the parts of one URL share its name";
    EXPECT_EQ(jobs.LocalFile(0, "/p", false), "/p/tmp/b.jpg") << "the other form names afresh";
    EXPECT_EQ(jobs.LocalFile(1, "/p", false), "/p/tmp/a_b.jpg001");
    EXPECT_EQ(jobs.LocalFile(3, "/p", true), QString());

    jobs.AddJob("http://h/a.b.jpg", 0, 0, {});
    const QString fourth = jobs.LocalFile(3, "/p", true);
    EXPECT_TRUE(fourth != plain && fourth != second && fourth.endsWith(".jpg")) << fourth.toStdString();
    EXPECT_EQ(jobs.LocalFile(1, "/p", true, false), second) << "an appended row leaves the others' names";

    jobs.SwapRows(0, 3);
    EXPECT_EQ(jobs.LocalFile(0, "/p", true), plain);
    EXPECT_EQ(jobs.LocalFile(1, "/p", true, false), second) << "a distinct name goes with its URL";
    const QString moved = jobs.LocalFile(3, "/p", true);
    EXPECT_TRUE(moved.startsWith("/p/tmp/hh_a_b~") && moved != fourth && moved != second) << moved.toStdString();
    jobs.RemoveRows({0});
    EXPECT_EQ(jobs.LocalFile(0, "/p", true, false), plain) << "the parts' URL comes first now";
    EXPECT_EQ(jobs.LocalFile(2, "/p", true), moved);
    jobs.SetCell(2, SubURL, "http://h/c.jpg");
    EXPECT_EQ(jobs.LocalFile(2, "/p", true), "/p/tmp/hh_c.jpg");
    jobs.Clear();
    jobs.AddJob("http://h/x.c.jpg", 0, 0, {});
    EXPECT_EQ(jobs.LocalFile(0, "/p", true), "/p/tmp/hh_x_c.jpg");
}

// Size and offset cells from an edited list: only plain decimal numbers count.
TEST(TJobListModelTest, NumberCellsAreDecimalOnly)
{
    qint64 value = -7;
    EXPECT_TRUE(TJobListModel::ParseNumber(" 12345 ", &value));
    EXPECT_EQ(value, 12345);
    EXPECT_TRUE(TJobListModel::ParseNumber("9223372036854775807", &value));
    for (const char *bad : {"", "???", "-1", "+5", "1e3", "12 3", "0x10", "9223372036854775808"}) {
        value = -7;
        EXPECT_FALSE(TJobListModel::ParseNumber(QString::fromLatin1(bad), &value)) << bad;
        EXPECT_EQ(value, -7) << bad;
    }
}

// The narrow columns (Th, CByte, TByte, Message) show their whole cell as a tool tip; the others none.
TEST(TJobListModelTest, NarrowColumnsShowWholeCellsAsToolTips)
{
    TJobListModel jobs;
    ASSERT_EQ(jobs.AddJob(Url, 0, 0, QString()), 0);
    jobs.SetCell(0, SubCByte, "123456789");
    jobs.SetCell(0, SubMessage, QString::fromUtf8("ファイルを作成できません"));
    EXPECT_EQ(jobs.data(jobs.index(0, 1 + SubCByte), Qt::ToolTipRole).toString(), "123456789");
    EXPECT_EQ(jobs.data(jobs.index(0, 1 + SubMessage), Qt::ToolTipRole).toString(),
              QString::fromUtf8("ファイルを作成できません"));
    EXPECT_EQ(jobs.data(jobs.index(0, 0), Qt::ToolTipRole).toString(), jobs.Caption(0));
    EXPECT_FALSE(jobs.data(jobs.index(0, 1 + SubURL), Qt::ToolTipRole).isValid());
}

// Time cells hold the time of day only: no time-zone name to cut in a narrow column.
TEST(TJobListModelTest, TimeCellsHaveNoZoneName)
{
    EXPECT_EQ(TJobListModel::TimeCell(QTime(7, 5, 9)), "07:05:09");
    EXPECT_EQ(TJobListModel::TimeCell(QTime(23, 59, 0)), "23:59:00");
}
