#include "viewer/LocalMem.h"

#include <gtest/gtest.h>

#include <cstring>

// A plug-in's block goes through the host's hands: lock, read, unlock, free.
TEST(LocalMem, BlockLivesFromAllocToFree)
{
    HLOCAL block = LocalAlloc(LHND, 100);
    ASSERT_NE(block, 0u);
    EXPECT_EQ(LocalSize(block), 100u);
    auto *bytes = static_cast<unsigned char *>(LocalLock(block));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes[0] | bytes[99], 0) << "LMEM_ZEROINIT zeroes the block";
    std::memset(bytes, 7, 100);
    EXPECT_NE(LocalLock(block), nullptr);
    EXPECT_NE(LocalUnlock(block), 0) << "still locked once";
    EXPECT_EQ(LocalUnlock(block), 0);
    EXPECT_EQ(LocalFree(block), 0u);
}

// A broken plug-in hands back handles it never allocated, or frees a block twice: each fails, none
// reaches memory.
TEST(LocalMem, HandlesThatAreNoBlockFail)
{
    HLOCAL block = LocalAlloc(LMEM_MOVEABLE, 0);
    ASSERT_NE(block, 0u);
    EXPECT_NE(LocalLock(block), nullptr) << "a block of 0 bytes still locks";
    EXPECT_EQ(LocalFree(block), 0u);
    for (HLOCAL bad : {block, HLOCAL(0), HLOCAL(0xdeadbeef)}) {
        EXPECT_EQ(LocalLock(bad), nullptr);
        EXPECT_EQ(LocalSize(bad), 0u);
        EXPECT_EQ(LocalFree(bad), bad);
    }
}
