#include "sharedmm.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>

#include <cstring>

namespace {

// Blocks are per user, not per test folder: a name of this run and test keeps tests apart.
QString UniqueName()
{
    return QStringLiteral("pelmor-test-%1-%2")
        .arg(QCoreApplication::applicationPid())
        .arg(QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name()));
}

void Open(TSharedMemory &block, const QString &name, int size)
{
    block.SetBlockName(name);
    block.SetBlockSize(size);
}

bool SystemHasBlock(const QString &name)
{
    return QFile::exists(QStringLiteral("/dev/shm") + QString::fromLatin1(TSharedMemory::SystemName(name)));
}

} // namespace

TEST(TSharedMemory, SecondOpenerSharesTheBlockWhichGoesWithItsLastHolder)
{
    const QString name = UniqueName();
    {
        TSharedMemory first, second;
        Open(first, name, 1000);
        EXPECT_FALSE(first.BlockExists());
        Open(second, name, 1000);
        EXPECT_TRUE(second.BlockExists()) << "the second opener must see that another made the block";

        std::strcpy(first.Memory(), "/tmp/a.jpg");
        EXPECT_STREQ(second.Memory(), "/tmp/a.jpg");

        first.SetBlockName(name + QStringLiteral("-other"));
        EXPECT_FALSE(first.BlockExists()) << "renaming must open the other block";
        EXPECT_EQ(first.Memory()[0], 0);
        EXPECT_TRUE(SystemHasBlock(name)) << "a holder is left, the block must stay";
        EXPECT_STREQ(second.Memory(), "/tmp/a.jpg");
    }
    EXPECT_FALSE(SystemHasBlock(name)) << "the last holder must remove the block";
}

TEST(TSharedMemory, LargerOpenerOfASmallerBlockCanUseAllItAskedFor)
{
    TSharedMemory small, large;
    Open(small, UniqueName(), 10);
    Open(large, UniqueName(), 1000);
    // Past the end of the object this write would kill the program with a bus error.
    large.Memory()[999] = 'z';
    EXPECT_EQ(large.Memory()[999], 'z');
}

TEST(TSharedMemory, AFailedOpenRaisesItsTextAndLeavesTheBlockClosed)
{
    TSharedMemory block;
    block.SetBlockSize(1000);
    try {
        block.SetBlockName(QString(300, QLatin1Char('n'))); // longer than any system name may be
        FAIL() << "no exception";
    } catch (const ESharedMemory &e) {
        EXPECT_STREQ(e.what(), "TSharedmemory.create handle error");
    }
    EXPECT_EQ(block.Memory(), nullptr);
    EXPECT_FALSE(block.BlockExists());
}
