// FindResourceW, LoadResource, LockResource, SizeofResource on the test program's own
// resources (data/test.rc).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "test_data.h"

namespace {

HMODULE ThisProgram()
{
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&ThisProgram), &info);
    return static_cast<HMODULE>(info.dli_fbase);
}

TEST(FindResource, FindsByNumberAndByNameWithTheFileBytesAndNullIsTheProgram)
{
    const auto text = ReadTestFile("hello.txt");
    const auto png = ReadTestFile("tiny.png");
    ASSERT_FALSE(text.empty());
    ASSERT_FALSE(png.empty());
    EXPECT_EQ(text, ResourceBytes(nullptr, MAKEINTRESOURCEW(1), u"TEXT"));
    EXPECT_EQ(text, ResourceBytes(nullptr, u"Greeting", u"TEXT"));
    EXPECT_EQ(text, ResourceBytes(nullptr, MAKEINTRESOURCEW(3), RT_RCDATA));
    EXPECT_EQ(png, ResourceBytes(nullptr, MAKEINTRESOURCEW(7), u"PNG"));
    EXPECT_EQ(png, ResourceBytes(nullptr, u"GLYPH", u"PNG"));
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(7), u"PNG"), FindResourceW(ThisProgram(), MAKEINTRESOURCEW(7), u"PNG"));
    EXPECT_EQ(ReadTestFile("tiny.png"), ResourceBytes(ThisProgram(), MAKEINTRESOURCEW(7), u"PNG"));
}

TEST(FindResource, NamesAndTypesIgnoreCaseAndHashNumbersAreNumbers)
{
    HRSRC byNumber = FindResourceW(nullptr, MAKEINTRESOURCEW(7), u"PNG");
    ASSERT_NE(nullptr, byNumber);
    EXPECT_EQ(byNumber, FindResourceW(nullptr, u"#7", u"png"));
    EXPECT_EQ(FindResourceW(nullptr, u"GLYPH", u"PNG"), FindResourceW(nullptr, u"glyph", u"Png"));
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(3), RT_RCDATA), FindResourceW(nullptr, u"#3", u"#10"));
    // A name is not a number: "7" as a string is the name "7".
    SetLastError(0);
    EXPECT_FAILS_WITH(ERROR_RESOURCE_NAME_NOT_FOUND, FindResourceW(nullptr, u"7", u"PNG"));
}

TEST(FindResource, MissingResourcesSetTheWin32Errors)
{
    struct Case {
        HMODULE module;
        LPCWSTR name;
        LPCWSTR type;
        DWORD error;
    } cases[] = {
        {nullptr, MAKEINTRESOURCEW(8), u"PNG", ERROR_RESOURCE_NAME_NOT_FOUND},
        {nullptr, u"NOPE", u"PNG", ERROR_RESOURCE_NAME_NOT_FOUND},
        {nullptr, MAKEINTRESOURCEW(7), u"JPEG", ERROR_RESOURCE_TYPE_NOT_FOUND},
        {nullptr, MAKEINTRESOURCEW(1), RT_ICON, ERROR_RESOURCE_TYPE_NOT_FOUND},
        {nullptr, nullptr, u"PNG", ERROR_RESOURCE_NAME_NOT_FOUND},
        {reinterpret_cast<HMODULE>(0x1000), MAKEINTRESOURCEW(7), u"PNG", ERROR_RESOURCE_DATA_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(nullptr, FindResourceW(c.module, c.name, c.type));
        EXPECT_EQ(c.error, GetLastError());
    }
}

TEST(FindResource, CursorIsTheWholeCurFileAndBitmapTheDibWithoutItsFileHeader)
{
    const auto cur = ReadTestFile("arrow.cur");
    const auto bytes = ResourceBytes(nullptr, MAKEINTRESOURCEW(105), RT_CURSOR);
    EXPECT_EQ(cur, bytes);
    ASSERT_GE(bytes.size(), 22u);
    EXPECT_EQ(2, bytes[2]);  // ICONDIR type: cursor
    const auto bmp = ReadTestFile("dot.bmp");
    ASSERT_EQ(58u, bmp.size());
    EXPECT_EQ(std::vector<unsigned char>(bmp.begin() + 14, bmp.end()),
              ResourceBytes(nullptr, MAKEINTRESOURCEW(9), RT_BITMAP));
}

TEST(LoadResource, RejectsHandlesThatAreNotResources)
{
    int notAResource = 0;
    HRSRC bogus = reinterpret_cast<HRSRC>(&notAResource);
    SetLastError(0);
    EXPECT_EQ(nullptr, LoadResource(nullptr, bogus));
    EXPECT_EQ(0u, SizeofResource(nullptr, bogus));
    EXPECT_EQ(nullptr, LoadResource(nullptr, nullptr));
    EXPECT_EQ(0u, SizeofResource(nullptr, nullptr));
    EXPECT_EQ(nullptr, LockResource(nullptr));
    // Inside a table but not at the start of an entry.
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(7), u"PNG");
    ASSERT_NE(nullptr, found);
    EXPECT_EQ(nullptr, LoadResource(nullptr, reinterpret_cast<HRSRC>(reinterpret_cast<char*>(found) + 1)));
}

TEST(LoadResource, DataIsStableAndFreeResourceIsHarmless)
{
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), u"TEXT");
    ASSERT_NE(nullptr, found);
    HGLOBAL first = LoadResource(nullptr, found);
    EXPECT_EQ(first, LoadResource(nullptr, found));
    EXPECT_EQ(first, LockResource(first));
    EXPECT_FALSE(FreeResource(first));
    EXPECT_EQ(ReadTestFile("hello.txt"), ResourceBytes(nullptr, MAKEINTRESOURCEW(1), u"TEXT"));
}

}  // namespace
