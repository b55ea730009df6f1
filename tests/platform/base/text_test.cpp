// UTF-16 text helpers and conversions.
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <winbase.h>

#include <climits>
#include <string>

namespace {

TEST(Text, CopiesAreCutAndTerminated)
{
    WCHAR buffer[4] = {u'x', u'x', u'x', u'x'};
    StrCpyNW(buffer, u"abcdef", 4);
    EXPECT_EQ(std::u16string(u"abc"), std::u16string(buffer));
    lstrcpynW(buffer, u"ab", 4);
    EXPECT_EQ(std::u16string(u"ab"), std::u16string(buffer));
    EXPECT_EQ(0, lstrlenW(nullptr));
    EXPECT_EQ(3, lstrlenW(u"abc"));
}

TEST(Text, ComparisonsOrderAndFoldCase)
{
    EXPECT_EQ(0, lstrcmpW(u"Scan", u"Scan"));
    EXPECT_NE(0, lstrcmpW(u"Scan", u"scan"));
    EXPECT_EQ(0, lstrcmpiW(u"Scan.Crop", u"sCAN.cROP"));
    EXPECT_EQ(0, lstrcmpiW(u"\u00C9t\u00E9", u"\u00E9T\u00C9"));
    EXPECT_LT(lstrcmpW(u"ab", u"abc"), 0);
    EXPECT_GT(lstrcmpiW(u"b", u"A"), 0);
    EXPECT_EQ(0, StrCmpNIW(u"prev_12.jpg", u"PREV_99", 5));
    const WCHAR* path = u"C:\\temp/prev_7.jpg";
    EXPECT_EQ(path + 7, StrStrW(path, u"/prev_"));
    EXPECT_EQ(nullptr, StrStrW(path, u"\\prev_"));
    EXPECT_EQ(path + 8, StrStrIW(path, u"PREV"));
}

TEST(Text, WtoiReadsLikeTheCRuntime)
{
    EXPECT_EQ(42, _wtoi(u"42"));
    EXPECT_EQ(-17, _wtoi(u"  \t-17xyz"));
    EXPECT_EQ(7, _wtoi(u"+7.9"));
    EXPECT_EQ(0, _wtoi(u"x1"));
    EXPECT_EQ(0, _wtoi(nullptr));
    EXPECT_EQ(INT_MAX, _wtoi(u"99999999999999999999"));
    EXPECT_EQ(INT_MIN, _wtoi(u"-99999999999999999999"));
}

TEST(Text, SplitPathAcceptsBothSeparators)
{
    WCHAR drive[3], dir[256], name[256], ext[256];
    _wsplitpath(u"C:\\Program Files/Scan\\QORScan.module.so", drive, dir, name, ext);
    EXPECT_EQ(std::u16string(u"C:"), std::u16string(drive));
    EXPECT_EQ(std::u16string(u"\\Program Files/Scan\\"), std::u16string(dir));
    EXPECT_EQ(std::u16string(u"QORScan.module"), std::u16string(name));
    EXPECT_EQ(std::u16string(u".so"), std::u16string(ext));

    _wsplitpath(u"/usr/lib/libQORScan", nullptr, dir, name, ext);
    EXPECT_EQ(std::u16string(u"/usr/lib/"), std::u16string(dir));
    EXPECT_EQ(std::u16string(u"libQORScan"), std::u16string(name));
    EXPECT_EQ(std::u16string(), std::u16string(ext));

    // Parts longer than the C runtime's buffers are cut, never written past them.
    const std::u16string longName(1000, u'n');
    _wsplitpath(longName.c_str(), drive, dir, name, ext);
    EXPECT_EQ(255, lstrlenW(name));
}

TEST(Text, Utf8ConversionsFollowWin32Sizing)
{
    const char* utf8 = "Gr\xC3\xBC\xC3\x9F \xF0\x9F\x93\x84";  // "Grüß 📄": a surrogate pair
    const int needed = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    EXPECT_EQ(8, needed);  // G r ü ß space, two surrogates, NUL
    WCHAR wide[8];
    EXPECT_EQ(8, MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 8));
    EXPECT_EQ(0xD83D, wide[5]);
    WCHAR small[4];
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, utf8, -1, small, 4));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());

    char back[32];
    EXPECT_EQ(static_cast<int>(std::char_traits<char>::length(utf8)) + 1,
              WideCharToMultiByte(CP_UTF8, 0, wide, -1, back, sizeof(back), nullptr, nullptr));
    EXPECT_EQ(std::string(utf8), std::string(back));

    // Malformed input is replaced, or refused when the caller asks for it.
    const char bad[] = {'a', static_cast<char>(0xC3), 'b', 0};
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bad, -1, wide, 8));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION), GetLastError());
    EXPECT_EQ(4, MultiByteToWideChar(CP_UTF8, 0, bad, -1, wide, 8));
    EXPECT_EQ(0xFFFD, wide[1]);
    const WCHAR lone[] = {u'a', 0xD800, 0};
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, -1, back, 32, nullptr, nullptr));
}

}  // namespace
