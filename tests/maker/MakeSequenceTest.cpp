#include "maker/MakeSequence.h"

#include "core/TJobListFile.h"
#include "core/TJobListModel.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

// Padding to Length, cutting longer numbers to their last digits, and Length 0 leaving them.
TEST(MakeSequenceTest, NumbersArePaddedOrCutToLength)
{
    EXPECT_EQ(MakeSequence::Expand("http://h/img$.jpg", 1, 3, 2),
              (QStringList{"http://h/img01.jpg", "http://h/img02.jpg", "http://h/img03.jpg"}));
    EXPECT_EQ(MakeSequence::Expand("http://h/img$.jpg", 1, 3, 0),
              (QStringList{"http://h/img1.jpg", "http://h/img2.jpg", "http://h/img3.jpg"}));
    const QStringList cut = MakeSequence::Expand("a$b", 99, 100, 2);
    EXPECT_EQ(cut, (QStringList{"a99b", "a00b"}));
    EXPECT_EQ(MakeSequence::Expand("$", 7, 7, 5), QStringList{"00007"});
    EXPECT_EQ(MakeSequence::Expand("$", 10000, 10000, 1), QStringList{"0"});
}

// Only the first mark is replaced; the range is inclusive and empty when it runs backwards.
TEST(MakeSequenceTest, FirstMarkAndRangeBounds)
{
    EXPECT_EQ(MakeSequence::Expand("a$$b", 1, 2, 1), (QStringList{"a1$b", "a2$b"}));
    EXPECT_TRUE(MakeSequence::Expand("a$b", 5, 4, 2).isEmpty());
    EXPECT_EQ(MakeSequence::Expand("a$b", 4, 4, 0), QStringList{"a4b"});
    EXPECT_TRUE(MakeSequence::Expand("no mark", 1, 5, 2).isEmpty());
    EXPECT_FALSE(MakeSequence::HasMark("full-width ＄ is no mark"));
}

// Catches a "MAKE=" line counted otherwise than it would be made: its numbers are held to the Home
// window's fields as the window holds them, so no line offers more than one Make of the window.
TEST(MakeSequenceTest, ListLinesOfferWhatTheWindowWouldMake)
{
    using MakeSequence::Offered;
    EXPECT_EQ(Offered("http://h/$.jpg", "0", "99999", "3", "1"), MakeSequence::MakeMax);
    EXPECT_EQ(Offered("http://h/$.jpg", "-5", "20", "3", "500"), 21);
    EXPECT_EQ(Offered("http://h/$.jpg", "5", "4", "3", "1"), 0);
    EXPECT_EQ(Offered("http://h/no-mark.jpg", "1", "20", "3", "1"), 0);
    EXPECT_EQ(Offered("http://h/$.jpg", "1", "", "3", "1"), 0);
    EXPECT_EQ(Offered("http://h/$.jpg", "1", "two", "3", "1"), -1);
}

// Catches the list of 100 widest "MAKE=" lines, a few kilobytes, loading as a million rows: it is
// refused at the line that passes the bound, and no row is made.
TEST(MakeSequenceTest, ListOfManyMakeLinesIsRefused)
{
    TTempFolder dir;
    QByteArray list;
    for (int i = 0; i < 100; ++i)
        list += "MAKE=http://h/" + QByteArray::number(i) + "/$.jpg,0,10000,5,1\r\n";
    TJobListModel jobs;
    int made = 0;
    const TJobListFile::TLoadReport report = TJobListFile::LoadList(
        jobs, dir.write("flood.wst", list), {MakeSequence::Offered, [&](const auto &...) { return ++made > 0; }});
    static_assert(TJobListFile::MaxMadeUrls / MakeSequence::MakeMax == 9);
    EXPECT_TRUE(report.error.contains(": 10 行目までの MAKE= 行で URL が 100010 件")) << report.error.toStdString();
    EXPECT_EQ(made, 0);
    EXPECT_EQ(jobs.RowCount(), 0);
}
