#include "MakeSequence.h"
#include "TJobListModel.h"

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

// Offering an expansion twice adds nothing the second time.
TEST(MakeSequenceTest, AddToSkipsDuplicates)
{
    TJobListModel jobs;
    EXPECT_EQ(MakeSequence::AddTo(jobs, "http://h/$.png", 0, 9, 3), 10);
    EXPECT_EQ(MakeSequence::AddTo(jobs, "http://h/$.png", 5, 14, 3), 5);
    EXPECT_EQ(jobs.RowCount(), 15);
    EXPECT_EQ(jobs.Cell(14, SubURL), "http://h/014.png");
}
