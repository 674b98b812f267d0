#include "core/sharedmm.h"

#include <QCoreApplication>
#include <QFile>

#include <gtest/gtest.h>

#include <cstring>

namespace {
bool SystemHasBlock(const QString &name)
{
    return QFile::exists(QStringLiteral("/dev/shm") + QString::fromLatin1(TSharedMemory::SystemName(name)));
}
} // namespace

// Catches a second opener with a block of its own or short of the size it asked for, a rename that
// keeps the old block, and a block that goes before its last holder or outlives it.
TEST(TSharedMemory, OpenersShareTheBlockWhichGoesWithItsLastHolder)
{
    // Blocks are per user, not per test folder: the process number keeps runs apart.
    const QString name = QStringLiteral("pelmor-test-%1").arg(QCoreApplication::applicationPid());
    {
        TSharedMemory first, second;
        first.SetBlockName(name);
        first.SetBlockSize(10);
        EXPECT_FALSE(first.BlockExists());
        second.SetBlockSize(1000);
        second.SetBlockName(name);
        EXPECT_TRUE(second.BlockExists());
        std::strcpy(first.Memory(), "/a.jpg");
        EXPECT_STREQ(second.Memory(), "/a.jpg");
        second.Memory()[999] = 'z'; // past the end of the first opener's object: a bus error

        first.SetBlockName(name + QStringLiteral("-other"));
        EXPECT_FALSE(first.BlockExists());
        EXPECT_EQ(first.Memory()[0], 0);
        EXPECT_TRUE(SystemHasBlock(name)) << "a holder is left, the block must stay";
        EXPECT_STREQ(second.Memory(), "/a.jpg");
    }
    EXPECT_FALSE(SystemHasBlock(name)) << "the last holder must remove the block";
}

// Catches a failed open that goes unreported, with another text, or leaves a dangling block.
TEST(TSharedMemory, AFailedOpenRaisesItsTextAndLeavesTheBlockClosed)
{
    TSharedMemory block;
    block.SetBlockSize(1000);
    try {
        block.SetBlockName(QString(300, QLatin1Char('n'))); // longer than any system name may be
        ADD_FAILURE() << "no exception";
    } catch (const ESharedMemory &e) {
        EXPECT_STREQ(e.what(), "TSharedmemory.create handle error");
    }
    EXPECT_EQ(block.Memory(), nullptr);
    EXPECT_FALSE(block.BlockExists());
}
