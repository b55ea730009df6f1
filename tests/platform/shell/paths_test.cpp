// shlwapi path helpers, with both separators.
#include <gtest/gtest.h>

#include <shlwapi.h>
#include <winbase.h>

#include "shell_test_util.h"

namespace {

std::u16string Text(LPCWSTR p)
{
    return p ? std::u16string(p) : u"(null)";
}

TEST(PathFindFileName, StartsAfterTheLastSeparator)
{
    struct Case {
        const char16_t* path;
        const char16_t* expected;
    } const cases[] = {
        {u"C:\\scan\\prev_1.jpg", u"prev_1.jpg"}, {u"/tmp/scan/prev_1.jpg", u"prev_1.jpg"},
        {u"/tmp\\mixed/name", u"name"},           {u"name.jpg", u"name.jpg"},
        {u"/tmp/folder/", u"folder/"},            {u"/tmp/folder\\\\", u"folder\\\\"},
        {u"", u""},                               {u"/", u"/"},
    };
    for (const Case& c : cases) {
        LPWSTR name = PathFindFileNameW(c.path);
        EXPECT_EQ(std::u16string(c.expected), Text(name)) << qor::ToUtf8(c.path);
        EXPECT_TRUE(name >= c.path && name <= c.path + std::char_traits<char16_t>::length(c.path));
    }
    EXPECT_EQ(nullptr, PathFindFileNameW(nullptr));
}

TEST(PathFindExtension, IsTheLastDotOfTheFileName)
{
    struct Case {
        const char16_t* path;
        const char16_t* expected;
    } const cases[] = {
        {u"/a/prev_100.jpg", u".jpg"}, {u"archive.tar.gz", u".gz"}, {u"/a.b/name", u""},
        {u"C:\\a.b\\name", u""},       {u".profile", u".profile"},  {u"file.a b", u""},
        {u"name.", u"."},              {u"", u""},
    };
    for (const Case& c : cases) {
        LPWSTR ext = PathFindExtensionW(c.path);
        EXPECT_EQ(std::u16string(c.expected), Text(ext)) << qor::ToUtf8(c.path);
        if (!*c.expected) {
            EXPECT_EQ(c.path + std::char_traits<char16_t>::length(c.path), ext) << "the terminating NUL";
        }
    }
}

TEST(PathRemoveBackslash, RemovesOneTrailingSeparatorButNotTheRoot)
{
    struct Case {
        const char16_t* path;
        const char16_t* expected;
        bool removed;
    } const cases[] = {
        {u"/tmp/QOR1A.tmp/", u"/tmp/QOR1A.tmp", true}, {u"C:\\Temp\\QOR1A.tmp\\", u"C:\\Temp\\QOR1A.tmp", true},
        {u"/tmp/x//", u"/tmp/x/", true},               {u"/tmp/x", u"/tmp/x", false},
        {u"/", u"/", false},                           {u"\\", u"\\", false},
    };
    for (const Case& c : cases) {
        WCHAR buffer[MAX_PATH];
        std::char_traits<WCHAR>::copy(buffer, c.path, std::char_traits<WCHAR>::length(c.path) + 1);
        LPWSTR end = PathRemoveBackslashW(buffer);
        EXPECT_EQ(std::u16string(c.expected), buffer) << qor::ToUtf8(c.path);
        const size_t length = std::char_traits<WCHAR>::length(buffer);
        // The NUL that replaced the separator, or else the last character.
        EXPECT_EQ(c.removed ? buffer + length : buffer + length - 1, end) << qor::ToUtf8(c.path);
    }
    WCHAR empty[1] = {0};
    EXPECT_EQ(empty, PathRemoveBackslashW(empty));
    EXPECT_EQ(nullptr, PathRemoveBackslashW(nullptr));
}

TEST(PathAddBackslash, AddsThePlatformSeparatorOnce)
{
    WCHAR buffer[MAX_PATH] = u"/tmp/QOR1A.tmp";
    EXPECT_EQ(buffer + 15, PathAddBackslashW(buffer));
    EXPECT_EQ(std::u16string(u"/tmp/QOR1A.tmp/"), buffer);
    EXPECT_EQ(buffer + 15, PathAddBackslashW(buffer));
    EXPECT_EQ(std::u16string(u"/tmp/QOR1A.tmp/"), buffer);
    WCHAR windows[MAX_PATH] = u"C:\\Temp\\";
    EXPECT_EQ(windows + 8, PathAddBackslashW(windows));
    EXPECT_EQ(std::u16string(u"C:\\Temp\\"), windows);
    // No room for the separator and the NUL within MAX_PATH.
    std::u16string full(MAX_PATH - 1, u'a');
    WCHAR longBuffer[MAX_PATH];
    std::char_traits<WCHAR>::copy(longBuffer, full.c_str(), full.size() + 1);
    EXPECT_EQ(nullptr, PathAddBackslashW(longBuffer));
    EXPECT_EQ(full, longBuffer);
}

TEST(PathRemoveFileSpec, LeavesTheFolder)
{
    struct Case {
        const char16_t* path;
        const char16_t* expected;
        BOOL changed;
    } const cases[] = {
        {u"/tmp/scan/prev_1.jpg", u"/tmp/scan", TRUE}, {u"C:\\scan\\prev_1.jpg", u"C:\\scan", TRUE},
        {u"/tmp/scan/", u"/tmp/scan", TRUE},          {u"/file", u"/", TRUE},
        {u"file", u"", TRUE},                         {u"/", u"/", FALSE},
        {u"", u"", FALSE},
    };
    for (const Case& c : cases) {
        WCHAR buffer[MAX_PATH];
        std::char_traits<WCHAR>::copy(buffer, c.path, std::char_traits<WCHAR>::length(c.path) + 1);
        EXPECT_EQ(c.changed, PathRemoveFileSpecW(buffer)) << qor::ToUtf8(c.path);
        EXPECT_EQ(std::u16string(c.expected), buffer) << qor::ToUtf8(c.path);
    }
}

TEST(PathCombine, JoinsAndCanonicalizes)
{
    struct Case {
        const char16_t* dir;
        const char16_t* file;
        const char16_t* expected;
    } const cases[] = {
        {u"/tmp/scan", u"prev_1.jpg", u"/tmp/scan/prev_1.jpg"},
        {u"/tmp/scan/", u"prev_1.jpg", u"/tmp/scan/prev_1.jpg"},
        {u"C:\\scan\\", u"prev_1.jpg", u"C:\\scan\\prev_1.jpg"},
        {u"/tmp/scan", u"../other/./x", u"/tmp/other/x"},
        {u"/tmp/scan", u"/abs/x", u"/abs/x"},
        {u"/tmp/a/b", u"../..", u"/tmp"},
        {u"/tmp", u"../..", u"/"},
        {u"/tmp/scan", nullptr, u"/tmp/scan"},
        {nullptr, u"rel/x", u"rel/x"},
    };
    for (const Case& c : cases) {
        WCHAR buffer[MAX_PATH];
        EXPECT_EQ(buffer, PathCombineW(buffer, c.dir, c.file));
        EXPECT_EQ(std::u16string(c.expected), buffer) << qor::ToUtf8(c.dir ? c.dir : u"") << " + "
                                                     << qor::ToUtf8(c.file ? c.file : u"");
    }
    WCHAR buffer[MAX_PATH] = u"unchanged";
    const std::u16string longName(MAX_PATH, u'x');
    EXPECT_EQ(nullptr, PathCombineW(buffer, u"/tmp", longName.c_str()));
    EXPECT_EQ(std::u16string(), buffer);
    EXPECT_EQ(nullptr, PathCombineW(nullptr, u"/tmp", u"x"));
}

TEST(PathAppend, AppendsBelowThePath)
{
    WCHAR buffer[MAX_PATH] = u"/tmp/scan";
    EXPECT_TRUE(PathAppendW(buffer, u"prev_1.jpg"));
    EXPECT_EQ(std::u16string(u"/tmp/scan/prev_1.jpg"), buffer);
    WCHAR rooted[MAX_PATH] = u"/tmp/scan";
    EXPECT_TRUE(PathAppendW(rooted, u"\\sub\\x"));
    EXPECT_EQ(std::u16string(u"/tmp/scan/sub\\x"), rooted);
    WCHAR full[MAX_PATH] = u"/tmp/scan";
    const std::u16string longName(MAX_PATH - 5, u'x');
    EXPECT_FALSE(PathAppendW(full, longName.c_str()));
    EXPECT_EQ(std::u16string(u"/tmp/scan"), full);
}

TEST(PathOnDisk, ExistenceAndFolders)
{
    ScratchFolder folder;
    WriteText(folder.Path("file.jpg"), "x");
    std::filesystem::create_directory(folder.Path("dir"));
    for (bool backslashes : {false, true}) {
        EXPECT_TRUE(PathFileExistsW(folder.W("file.jpg", backslashes).c_str()));
        EXPECT_TRUE(PathFileExistsW(folder.W("dir", backslashes).c_str()));
        EXPECT_FALSE(PathFileExistsW(folder.W("none.jpg", backslashes).c_str()));
        EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, PathIsDirectoryW(folder.W("dir", backslashes).c_str()));
        EXPECT_FALSE(PathIsDirectoryW(folder.W("file.jpg", backslashes).c_str()));
        EXPECT_FALSE(PathIsDirectoryW(folder.W("none", backslashes).c_str()));
    }
    EXPECT_FALSE(PathFileExistsW(nullptr));
    EXPECT_FALSE(PathFileExistsW(u""));
}

}  // namespace
