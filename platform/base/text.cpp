// UTF-16 text helpers of kernel32, shlwapi and the C runtime, and the UTF-8 conversions
// that the platform uses at its boundary to Linux.
#include <qor_text.h>
#include <shlwapi.h>
#include <winbase.h>

#include <algorithm>
#include <climits>

namespace {

// Case folding for the case-insensitive comparisons: ASCII and Latin-1 letters.
// Windows folds all of Unicode; the control and the registry only meet these.
WCHAR FoldCase(WCHAR c)
{
    if (c >= u'a' && c <= u'z')
        return static_cast<WCHAR>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return static_cast<WCHAR>(c - 0x20);
    return c;
}

int CompareText(LPCWSTR a, LPCWSTR b, int count, bool ignoreCase)
{
    static const WCHAR kEmpty[] = u"";
    a = a ? a : kEmpty;
    b = b ? b : kEmpty;
    for (int i = 0; count < 0 || i < count; ++i) {
        const WCHAR ca = ignoreCase ? FoldCase(a[i]) : a[i];
        const WCHAR cb = ignoreCase ? FoldCase(b[i]) : b[i];
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (!ca)
            break;
    }
    return 0;
}

LPWSTR FindText(LPCWSTR haystack, LPCWSTR needle, bool ignoreCase)
{
    if (!haystack || !needle)
        return nullptr;
    const int needleLength = lstrlenW(needle);
    for (LPCWSTR p = haystack; *p; ++p)
        if (CompareText(p, needle, needleLength, ignoreCase) == 0)
            return const_cast<LPWSTR>(p);
    return nullptr;
}

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, char32_t cp)
{
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}

// Decodes one UTF-8 sequence at text[*pos]; malformed input gives U+FFFD and *valid = false.
char32_t DecodeUtf8(std::string_view text, size_t* pos, bool* valid)
{
    const auto lead = static_cast<unsigned char>(text[(*pos)++]);
    if (lead < 0x80)
        return lead;
    int extra;
    char32_t cp;
    char32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, cp = lead & 0x07, minimum = 0x10000;
    } else {
        *valid = false;
        return kReplacement;
    }
    for (int i = 0; i < extra; ++i) {
        if (*pos >= text.size() || (static_cast<unsigned char>(text[*pos]) & 0xC0) != 0x80) {
            *valid = false;
            return kReplacement;
        }
        cp = (cp << 6) | (static_cast<unsigned char>(text[(*pos)++]) & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        *valid = false;
        return kReplacement;
    }
    return cp;
}

// Decodes one UTF-16 code point at text[*pos]; a lone surrogate gives U+FFFD.
char32_t DecodeUtf16(std::u16string_view text, size_t* pos, bool* valid)
{
    const char16_t unit = text[(*pos)++];
    if (unit < 0xD800 || unit > 0xDFFF)
        return unit;
    if (unit <= 0xDBFF && *pos < text.size() && text[*pos] >= 0xDC00 && text[*pos] <= 0xDFFF) {
        const char16_t low = text[(*pos)++];
        return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00);
    }
    *valid = false;
    return kReplacement;
}

std::u16string Utf8ToUtf16(std::string_view text, bool* valid)
{
    std::u16string out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size();)
        AppendUtf16(out, DecodeUtf8(text, &pos, valid));
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text, bool* valid)
{
    std::string out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size();)
        AppendUtf8(out, DecodeUtf16(text, &pos, valid));
    return out;
}

// Copies a converted string out the Win32 way: with a zero buffer size the needed size is
// returned; a buffer that is too small is ERROR_INSUFFICIENT_BUFFER and 0.
template <class Char, class String>
int CopyConverted(const String& converted, Char* buffer, int bufferSize)
{
    if (converted.size() > static_cast<size_t>(INT_MAX))
        return 0;
    const int needed = static_cast<int>(converted.size());
    if (bufferSize == 0)
        return needed;
    if (needed > bufferSize || !buffer)
        return 0;
    std::copy(converted.begin(), converted.end(), buffer);
    return needed;
}

}  // namespace

namespace qor {

std::string ToUtf8(std::u16string_view text)
{
    bool valid = true;
    return Utf16ToUtf8(text, &valid);
}

std::u16string ToUtf16(std::string_view text)
{
    bool valid = true;
    return Utf8ToUtf16(text, &valid);
}

}  // namespace qor

int WINAPI lstrlenW(LPCWSTR lpString)
{
    if (!lpString)
        return 0;
    int n = 0;
    while (lpString[n])
        ++n;
    return n;
}

LPWSTR WINAPI lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2)
{
    if (!lpString1 || !lpString2)
        return nullptr;
    int i = 0;
    do {
        lpString1[i] = lpString2[i];
    } while (lpString2[i++]);
    return lpString1;
}

// Copies at most iMaxLength - 1 characters and always terminates the copy.
LPWSTR WINAPI lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength)
{
    if (!lpString1 || !lpString2 || iMaxLength <= 0)
        return lpString1;
    int i = 0;
    for (; i < iMaxLength - 1 && lpString2[i]; ++i)
        lpString1[i] = lpString2[i];
    lpString1[i] = 0;
    return lpString1;
}

LPWSTR WINAPI lstrcatW(LPWSTR lpString1, LPCWSTR lpString2)
{
    if (!lpString1 || !lpString2)
        return nullptr;
    lstrcpyW(lpString1 + lstrlenW(lpString1), lpString2);
    return lpString1;
}

int WINAPI lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2)
{
    return CompareText(lpString1, lpString2, -1, false);
}

int WINAPI lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2)
{
    return CompareText(lpString1, lpString2, -1, true);
}

LPWSTR WINAPI StrCpyNW(LPWSTR pszDst, LPCWSTR pszSrc, int cchMax)
{
    return lstrcpynW(pszDst, pszSrc, cchMax);
}

int WINAPI StrCmpW(LPCWSTR psz1, LPCWSTR psz2)
{
    return CompareText(psz1, psz2, -1, false);
}

int WINAPI StrCmpIW(LPCWSTR psz1, LPCWSTR psz2)
{
    return CompareText(psz1, psz2, -1, true);
}

int WINAPI StrCmpNIW(LPCWSTR psz1, LPCWSTR psz2, int nChar)
{
    return nChar <= 0 ? 0 : CompareText(psz1, psz2, nChar, true);
}

LPWSTR WINAPI StrStrW(LPCWSTR pszFirst, LPCWSTR pszSrch)
{
    return FindText(pszFirst, pszSrch, false);
}

LPWSTR WINAPI StrStrIW(LPCWSTR pszFirst, LPCWSTR pszSrch)
{
    return FindText(pszFirst, pszSrch, true);
}

// Code page 0 (ANSI) is UTF-8 on this platform.
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar)
{
    if ((CodePage != CP_UTF8 && CodePage != CP_ACP) || !lpMultiByteStr || cbMultiByte == 0 || cchWideChar < 0 ||
        (cchWideChar > 0 && !lpWideCharStr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // -1: the string is NUL-terminated and the NUL is converted too.
    const size_t length = cbMultiByte < 0 ? std::char_traits<char>::length(lpMultiByteStr) + 1
                                          : static_cast<size_t>(cbMultiByte);
    bool valid = true;
    const std::u16string converted = Utf8ToUtf16(std::string_view(lpMultiByteStr, length), &valid);
    if (!valid && (dwFlags & MB_ERR_INVALID_CHARS)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    const int result = CopyConverted(converted, lpWideCharStr, cchWideChar);
    if (!result)
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return result;
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar)
{
    // UTF-8 takes neither a default character nor its flag, as on Windows.
    if ((CodePage != CP_UTF8 && CodePage != CP_ACP) || !lpWideCharStr || cchWideChar == 0 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && !lpMultiByteStr) || lpDefaultChar || lpUsedDefaultChar) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t length = cchWideChar < 0 ? static_cast<size_t>(lstrlenW(lpWideCharStr)) + 1
                                          : static_cast<size_t>(cchWideChar);
    bool valid = true;
    const std::string converted = Utf16ToUtf8(std::u16string_view(lpWideCharStr, length), &valid);
    if (!valid && (dwFlags & WC_ERR_INVALID_CHARS)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    const int result = CopyConverted(converted, lpMultiByteStr, cbMultiByte);
    if (!result)
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return result;
}

// As the C runtime's: leading white space, an optional sign, decimal digits; the first
// other character ends the number. Out of range saturates to INT_MAX or INT_MIN.
extern "C" int _wtoi(const WCHAR* str)
{
    if (!str)
        return 0;
    while (*str == u' ' || (*str >= u'\t' && *str <= u'\r'))
        ++str;
    bool negative = false;
    if (*str == u'+' || *str == u'-')
        negative = *str++ == u'-';
    long long value = 0;
    for (; *str >= u'0' && *str <= u'9'; ++str) {
        value = value * 10 + (*str - u'0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        return static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

// Splits a path into drive, folder (with its trailing separator), base name and extension
// (with its dot). Both '\' and '/' separate. Each part is cut to the C runtime's buffer
// sizes (_MAX_DRIVE 3, _MAX_DIR, _MAX_FNAME and _MAX_EXT 256), so a caller with buffers
// of those sizes is safe from any input.
extern "C" void _wsplitpath(const WCHAR* path, WCHAR* drive, WCHAR* dir, WCHAR* fname, WCHAR* ext)
{
    static const WCHAR kEmpty[] = u"";
    const std::u16string_view text(path ? path : kEmpty);
    auto store = [](WCHAR* out, std::u16string_view part, size_t capacity) {
        if (!out)
            return;
        const size_t n = std::min(part.size(), capacity - 1);
        std::copy_n(part.begin(), n, out);
        out[n] = 0;
    };
    size_t pos = 0;
    if (text.size() >= 2 && text[1] == u':')
        pos = 2;
    store(drive, text.substr(0, pos), 3);
    const size_t lastSep = text.find_last_of(u"\\/");
    const size_t nameStart = (lastSep == std::u16string_view::npos || lastSep < pos) ? pos : lastSep + 1;
    store(dir, text.substr(pos, nameStart - pos), 256);
    const std::u16string_view name = text.substr(nameStart);
    const size_t dot = name.find_last_of(u'.');
    store(fname, name.substr(0, dot == std::u16string_view::npos ? name.size() : dot), 256);
    store(ext, dot == std::u16string_view::npos ? std::u16string_view() : name.substr(dot), 256);
}
