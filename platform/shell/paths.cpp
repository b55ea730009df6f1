// shlwapi path helpers. They work on the text only, except PathFileExistsW and
// PathIsDirectoryW, which ask the file system.
#include <shlwapi.h>
#include <winbase.h>

#include <algorithm>
#include <vector>

#include "shell_private.h"

namespace {

bool IsSeparator(WCHAR c)
{
    return c == u'\\' || c == u'/';
}

}  // namespace

namespace qor::shell {

std::u16string CanonicalPath(std::u16string_view path)
{
    const bool rooted = !path.empty() && IsSeparator(path[0]);
    const bool trailing = path.size() > 1 && IsSeparator(path.back());
    // Each kept component with the separator that came before it.
    struct Component {
        WCHAR separator;
        std::u16string_view name;
    };
    std::vector<Component> kept;
    size_t pos = rooted ? 1 : 0;
    WCHAR separator = 0;
    while (pos <= path.size()) {
        size_t end = pos;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        const std::u16string_view name = path.substr(pos, end - pos);
        if (name == u"..") {
            if (!kept.empty())
                kept.pop_back();
        } else if (!name.empty() && name != u".") {
            kept.push_back({separator, name});
        }
        if (end < path.size())
            separator = path[end];
        pos = end + 1;
    }
    std::u16string out;
    if (rooted)
        out += path[0];
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i > 0)
            out += kept[i].separator ? kept[i].separator : u'/';
        out += kept[i].name;
    }
    if (trailing && !kept.empty())
        out += path.back();
    return out;
}

}  // namespace qor::shell

BOOL WINAPI PathFileExistsW(LPCWSTR pszPath)
{
    return pszPath && GetFileAttributesW(pszPath) != INVALID_FILE_ATTRIBUTES;
}

BOOL WINAPI PathIsDirectoryW(LPCWSTR pszPath)
{
    if (!pszPath)
        return FALSE;
    const DWORD attributes = GetFileAttributesW(pszPath);
    return attributes == INVALID_FILE_ATTRIBUTES ? FALSE : static_cast<BOOL>(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The last component: after the last separator that something other than a separator
// follows, so "a/b/" gives "b/".
LPWSTR WINAPI PathFindFileNameW(LPCWSTR pszPath)
{
    if (!pszPath)
        return nullptr;
    LPCWSTR name = pszPath;
    for (LPCWSTR p = pszPath; *p; ++p) {
        if (IsSeparator(p[0]) && p[1] && !IsSeparator(p[1]))
            name = p + 1;
    }
    return const_cast<LPWSTR>(name);
}

// The last dot of the file name with what follows it, or the terminating NUL. As on
// Windows, a space after the dot means no extension.
LPWSTR WINAPI PathFindExtensionW(LPCWSTR pszPath)
{
    if (!pszPath)
        return nullptr;
    LPCWSTR dot = nullptr;
    LPCWSTR p = pszPath;
    for (; *p; ++p) {
        if (IsSeparator(*p) || *p == u' ')
            dot = nullptr;
        else if (*p == u'.')
            dot = p;
    }
    return const_cast<LPWSTR>(dot ? dot : p);
}

LPWSTR WINAPI PathAddBackslashW(LPWSTR pszPath)
{
    if (!pszPath)
        return nullptr;
    size_t length = std::char_traits<WCHAR>::length(pszPath);
    if (length > 0 && IsSeparator(pszPath[length - 1]))
        return pszPath + length;
    if (length + 1 >= MAX_PATH)
        return nullptr;
    pszPath[length++] = u'/';
    pszPath[length] = 0;
    return pszPath + length;
}

// Removes one trailing separator unless it is the root. Returns the NUL that replaced it,
// or the last character when nothing was removed.
LPWSTR WINAPI PathRemoveBackslashW(LPWSTR pszPath)
{
    if (!pszPath)
        return nullptr;
    const size_t length = std::char_traits<WCHAR>::length(pszPath);
    if (length == 0)
        return pszPath;
    LPWSTR last = pszPath + length - 1;
    if (length > 1 && IsSeparator(*last)) {
        *last = 0;
        return last;
    }
    return last;
}

BOOL WINAPI PathRemoveFileSpecW(LPWSTR pszPath)
{
    if (!pszPath)
        return FALSE;
    LPWSTR cut = pszPath;
    for (LPWSTR p = pszPath; *p; ++p) {
        if (IsSeparator(*p))
            cut = p == pszPath ? p + 1 : p;  // the root separator stays
    }
    if (!*cut)
        return FALSE;
    *cut = 0;
    return TRUE;
}

BOOL WINAPI PathCanonicalizeW(LPWSTR pszBuf, LPCWSTR pszPath)
{
    if (!pszBuf || !pszPath) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string result = qor::shell::CanonicalPath(pszPath);
    if (result.empty() && pszPath[0])
        result = u"/";
    if (result.size() >= MAX_PATH) {
        pszBuf[0] = 0;
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    std::copy(result.begin(), result.end(), pszBuf);
    pszBuf[result.size()] = 0;
    return TRUE;
}

LPWSTR WINAPI PathCombineW(LPWSTR pszDest, LPCWSTR pszDir, LPCWSTR pszFile)
{
    if (!pszDest)
        return nullptr;
    const std::u16string_view dir(pszDir ? pszDir : u"");
    const std::u16string_view file(pszFile ? pszFile : u"");
    if (dir.empty() && file.empty()) {
        pszDest[0] = 0;
        return pszDir || pszFile ? pszDest : nullptr;
    }
    std::u16string joined;
    if (file.empty()) {
        joined = dir;
    } else if (dir.empty() || IsSeparator(file[0])) {
        joined = file;  // a file that starts at the root stands alone
    } else {
        joined = dir;
        if (!IsSeparator(joined.back()))
            joined += u'/';
        joined += file;
    }
    std::u16string result = qor::shell::CanonicalPath(joined);
    if (result.empty())
        result = IsSeparator(joined[0]) ? u"/" : u"";
    if (result.size() >= MAX_PATH) {
        pszDest[0] = 0;
        return nullptr;
    }
    std::copy(result.begin(), result.end(), pszDest);
    pszDest[result.size()] = 0;
    return pszDest;
}

// Appends with a separator between; separators at the start of pszMore are skipped, so it
// always goes below pszPath.
BOOL WINAPI PathAppendW(LPWSTR pszPath, LPCWSTR pszMore)
{
    if (!pszPath || !pszMore)
        return FALSE;
    while (IsSeparator(*pszMore))
        ++pszMore;
    WCHAR combined[MAX_PATH];
    if (!PathCombineW(combined, pszPath[0] ? pszPath : nullptr, pszMore))
        return FALSE;
    std::char_traits<WCHAR>::copy(pszPath, combined, std::char_traits<WCHAR>::length(combined) + 1);
    return TRUE;
}
