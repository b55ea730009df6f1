// GlobalAlloc, GlobalReAlloc, GlobalLock, GlobalUnlock, GlobalSize, GlobalFree.
#include <gtest/gtest.h>

#include <cstring>

#include "test_data.h"

namespace {

TEST(GlobalMemory, FixedBlockHandleIsItsAddressAndEmptyBlocks)
{
    HGLOBAL h = GlobalAlloc(GPTR, 16);
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(h, GlobalLock(h));
    EXPECT_EQ(16u, GlobalSize(h));
    const BYTE zeros[16] = {};
    EXPECT_EQ(0, std::memcmp(zeros, h, 16));
    EXPECT_TRUE(GlobalUnlock(h));
    EXPECT_EQ(nullptr, GlobalFree(h));

    // An empty moveable block is discarded; an empty fixed block still has an address.
    h = GlobalAlloc(GMEM_MOVEABLE, 0);
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(0u, GlobalSize(h));
    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_DISCARDED, GlobalLock(h));
    EXPECT_EQ(nullptr, GlobalFree(h));
    HGLOBAL fixed = GlobalAlloc(GMEM_FIXED, 0);
    EXPECT_NE(nullptr, fixed);
    EXPECT_EQ(nullptr, GlobalFree(fixed));
}

TEST(GlobalMemory, MoveableBlockLockRoundTrip)
{
    HGLOBAL h = GlobalAlloc(GHND, 5);
    ASSERT_NE(nullptr, h);
    auto* p = static_cast<char*>(GlobalLock(h));
    ASSERT_NE(nullptr, p);
    EXPECT_NE(static_cast<void*>(p), h);
    EXPECT_EQ(0, p[4]);
    std::memcpy(p, "abcde", 5);
    EXPECT_EQ(p, GlobalLock(h));  // second lock
    EXPECT_TRUE(GlobalUnlock(h));  // still locked once
    SetLastError(1234);
    EXPECT_FALSE(GlobalUnlock(h));
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), GetLastError());
    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_NOT_LOCKED, GlobalUnlock(h));
    auto* again = static_cast<const char*>(GlobalLock(h));
    ASSERT_NE(nullptr, again);
    EXPECT_EQ(0, std::memcmp(again, "abcde", 5));
    GlobalUnlock(h);
    EXPECT_EQ(5u, GlobalSize(h));
    EXPECT_EQ(nullptr, GlobalFree(h));
}

TEST(GlobalMemory, ReAllocKeepsContentAndMovesOnlyWhenAllowed)
{
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 3);
    std::memcpy(GlobalLock(h), "xyz", 3);
    GlobalUnlock(h);
    EXPECT_EQ(h, GlobalReAlloc(h, 4096, GMEM_ZEROINIT));
    EXPECT_EQ(4096u, GlobalSize(h));
    const auto* p = static_cast<const char*>(GlobalLock(h));
    EXPECT_EQ(0, std::memcmp(p, "xyz", 3));
    EXPECT_EQ(0, p[4095]);
    // Locked, it may only move when the caller allows it.
    EXPECT_EQ(nullptr, GlobalReAlloc(h, 1 << 20, 0));
    EXPECT_EQ(h, GlobalReAlloc(h, 1 << 20, GMEM_MOVEABLE));
    GlobalUnlock(h);
    GlobalFree(h);

    // A fixed block shrinks in place and grows only when allowed to move.
    h = GlobalAlloc(GMEM_FIXED, 8);
    std::memcpy(h, "12345678", 8);
    EXPECT_EQ(h, GlobalReAlloc(h, 4, 0));
    EXPECT_EQ(4u, GlobalSize(h));
    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_NOT_ENOUGH_MEMORY, GlobalReAlloc(h, 1 << 20, 0));
    HGLOBAL moved = GlobalReAlloc(h, 1 << 20, GMEM_MOVEABLE);
    ASSERT_NE(nullptr, moved);
    EXPECT_EQ(1u << 20, GlobalSize(moved));
    EXPECT_EQ(0, std::memcmp(moved, "1234", 4));
    GlobalFree(moved);
}

TEST(GlobalMemory, BadHandlesAndSizesFailCleanly)
{
    int notABlock = 0;
    HGLOBAL bogus = &notABlock;
    SetLastError(0);
    EXPECT_EQ(bogus, GlobalFree(bogus));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(nullptr, GlobalLock(bogus));
    EXPECT_FALSE(GlobalUnlock(bogus));
    EXPECT_EQ(0u, GlobalSize(bogus));
    EXPECT_EQ(nullptr, GlobalReAlloc(bogus, 8, GMEM_MOVEABLE));
    EXPECT_EQ(nullptr, GlobalFree(nullptr));

    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_NOT_ENOUGH_MEMORY, GlobalAlloc(GMEM_MOVEABLE, ~SIZE_T(0)));

    // A freed handle is no longer a block.
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 4);
    GlobalFree(h);
    EXPECT_EQ(0u, GlobalSize(h));
}

}  // namespace
