// LoadStringW over the string table of data/test.rc, by the Win32 rules.
#include <gtest/gtest.h>

#include <string>

#include "test_data.h"

namespace {

std::u16string Load(UINT id)
{
    WCHAR buffer[64];
    const int n = LoadStringW(nullptr, id, buffer, 64);
    return std::u16string(buffer, n);
}

TEST(LoadString, CopiesTheTextWithEscapesDecoded)
{
    EXPECT_EQ(u"One", Load(1));
    EXPECT_EQ(u"Two lines\nsecond line", Load(2));
    EXPECT_EQ(u"Fifteen", Load(15));  // last of the first block
    EXPECT_EQ(u"Seventeen", Load(17));  // second block
    EXPECT_EQ(u"Quote \"x\", \"y\" and \\", Load(100));
    EXPECT_EQ(u"Gr\u00fc\u00dfe \U0001F600", Load(200));
}

TEST(LoadString, TruncatesToTheBufferOrGivesAPointerToTheText)
{
    WCHAR buffer[4] = {u'#', u'#', u'#', u'#'};
    EXPECT_EQ(3, LoadStringW(nullptr, 17, buffer, 4));
    EXPECT_EQ(u"Sev", std::u16string(buffer));
    WCHAR one[2] = {u'#', u'#'};
    EXPECT_EQ(0, LoadStringW(nullptr, 17, one, 1));
    EXPECT_EQ(0, one[0]);
    EXPECT_EQ(u'#', one[1]);
    // A zero buffer size gives a pointer to the text, the resource itself.
    const WCHAR* text = nullptr;
    const int n = LoadStringW(nullptr, 2, reinterpret_cast<LPWSTR>(&text), 0);
    ASSERT_EQ(21, n);
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(u"Two lines\nsecond line", std::u16string(text, n));
    const WCHAR* again = nullptr;
    LoadStringW(nullptr, 2, reinterpret_cast<LPWSTR>(&again), 0);
    EXPECT_EQ(text, again);
}

TEST(LoadString, MissingStringsLoadNothing)
{
    WCHAR buffer[8] = {u'#', 0};
    // An id in a block that exists, an empty string, and an id whose block is missing.
    EXPECT_EQ(0, LoadStringW(nullptr, 3, buffer, 8));
    EXPECT_EQ(0, buffer[0]);
    EXPECT_EQ(0, LoadStringW(nullptr, 40, buffer, 8));
    buffer[0] = u'#';
    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_RESOURCE_NAME_NOT_FOUND, LoadStringW(nullptr, 500, buffer, 8));
    EXPECT_EQ(u'#', buffer[0]);
    EXPECT_EQ(0, LoadStringW(nullptr, 1, nullptr, 8));
}

TEST(LoadString, StringsAreBlocksOfSixteenUnderRtString)
{
    // Block 1 holds ids 0 to 15: a counted string per id, empty ones as a zero count.
    HRSRC block = FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_STRING);
    ASSERT_NE(nullptr, block);
    const auto* words = static_cast<const WCHAR*>(LockResource(LoadResource(nullptr, block)));
    EXPECT_EQ(0, words[0]);  // id 0
    EXPECT_EQ(3, words[1]);  // id 1, "One"
    EXPECT_EQ(u"One", std::u16string(words + 2, 3));
    EXPECT_EQ(nullptr, FindResourceW(nullptr, MAKEINTRESOURCEW(4), RT_STRING));  // ids 48 to 63
}

}  // namespace
