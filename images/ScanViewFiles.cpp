// CScanViewPreview: the files of the image store. The per-scan temp folder, the kept
// preview file "qor_org_preview.jpg" in the engine's preview folder, its backup during a
// final scan, and the silent deletes of whole folders.
//
// Paths live in buffers of 262 characters. A path that does not fit is refused as no
// file, never cut: a cut path would name some other file.
#include "ScanViewPreview.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <string>
#include <string_view>

namespace {

// Text in the API's own character type (UTF-16 code units).
using WString = std::basic_string<WCHAR>;
using WStringView = std::basic_string_view<WCHAR>;

const WCHAR kPreviewFileName[] = OLESTR("qor_org_preview.jpg");
const WCHAR kFinalPreviewName[] = OLESTR("prev_100.jpg");  // "prev_%d.jpg" for 100
const int kFinalPreviewNumber = 100;                        // partial previews come before it
const WCHAR kAllFiles[] = OLESTR("*.*");

// Copies text into a buffer of cchBuffer characters when it fits with its NUL.
bool CopyIfFits(WCHAR* pszBuffer, size_t cchBuffer, WStringView text)
{
    if (text.size() >= cchBuffer)
        return false;
    text.copy(pszBuffer, text.size());
    pszBuffer[text.size()] = 0;
    return true;
}

template <size_t N>
bool CopyIfFits(WCHAR (&szBuffer)[N], WStringView text)
{
    return CopyIfFits(szBuffer, N, text);
}

// Every occurrence of what replaced by with.
WString ReplaceAll(WString text, WStringView what, WStringView with)
{
    for (size_t at = text.find(what); at != WString::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

// A silent recursive delete of a double-NUL list of one item, results ignored.
void DeleteSilently(LPCWSTR pszFrom)
{
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = pszFrom;
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
    ::SHFileOperationW(&op);
}

// "prev_" and decimal digits, then ".jpg": the names the engine gives its preview files.
bool IsEnginePreviewName(WStringView name)
{
    static constexpr WStringView kPrefix = OLESTR("prev_"), kSuffix = OLESTR(".jpg");
    if (name.size() <= kPrefix.size() + kSuffix.size() || !name.starts_with(kPrefix) || !name.ends_with(kSuffix))
        return false;
    const WStringView digits = name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    return std::all_of(digits.begin(), digits.end(), [](WCHAR ch) { return ch >= OLESTR('0') && ch <= OLESTR('9'); });
}

// The engine's name for preview file number n.
WString EnginePreviewName(int n)
{
    WString name = OLESTR("prev_");
    for (char digit : std::to_string(n))
        name += static_cast<WCHAR>(digit);
    return name + OLESTR(".jpg");
}

// A folder or a link, or nothing at all.
bool IsFolderOrLink(DWORD dwAttributes)
{
    return dwAttributes == INVALID_FILE_ATTRIBUTES ||
           (dwAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0;
}

}  // namespace

// --- Folder deletion

// An empty path is never deleted: with "*.*" appended it would name the root's content.
void CScanViewPreview::DeleteFolderTree(LPCWSTR pszFolder)
{
    WCHAR szFrom[MAX_PATH + 1] = {};  // the path, its NUL and the list's closing NUL
    if (pszFolder == nullptr || pszFolder[0] == 0 || !CopyIfFits(szFrom, MAX_PATH, pszFolder))
        return;
    ::PathRemoveBackslashW(szFrom);
    DeleteSilently(szFrom);
}

void CScanViewPreview::DeleteFolderFiles(LPCWSTR pszFolder)
{
    WCHAR szFrom[MAX_PATH + 1] = {};
    if (pszFolder == nullptr || pszFolder[0] == 0 || !CopyIfFits(szFrom, MAX_PATH, pszFolder))
        return;
    ::PathRemoveBackslashW(szFrom);
    WString from = szFrom;
    from += kPathSeparator;
    from += kAllFiles;
    if (!CopyIfFits(szFrom, MAX_PATH, from))
        return;
    DeleteSilently(szFrom);
}

// The engine folder is whatever folder a host's first final preview named, so only the
// engine's own files go, and none through a folder that is a link.
void CScanViewPreview::DeleteEngineFiles()
{
    WCHAR szFolder[PATH_BUFFER_CHARS] = {};
    if (m_szEngineFolder[0] == 0 || !CopyIfFits(szFolder, m_szEngineFolder))
        return;
    ::PathRemoveBackslashW(szFolder);
    const DWORD dwFolder = ::GetFileAttributesW(szFolder);
    if (dwFolder == INVALID_FILE_ATTRIBUTES || !(dwFolder & FILE_ATTRIBUTE_DIRECTORY) ||
        (dwFolder & FILE_ATTRIBUTE_REPARSE_POINT))
        return;
    for (int n = 1; n <= kFinalPreviewNumber; ++n) {
        WCHAR szFile[PATH_BUFFER_CHARS] = {};
        if (CopyIfFits(szFile, WString(m_szEngineFolder) + EnginePreviewName(n)))
            DeletePreviewFile(szFile);
    }
}

void CScanViewPreview::DeletePreviewFile(WCHAR (&szPath)[PATH_BUFFER_CHARS])
{
    if (szPath[0] == 0)
        return;
    const LPCWSTR pszName = ::PathFindFileNameW(szPath);
    if ((::lstrcmpW(pszName, kPreviewFileName) == 0 || IsEnginePreviewName(pszName)) &&
        !IsFolderOrLink(::GetFileAttributesW(szPath)))
        ::DeleteFileW(szPath);
    szPath[0] = 0;
}

// --- The preview file

bool CScanViewPreview::KeepFinalPreview(LPCWSTR pszPath, bool bPreviewScan, ATL::CStringW& strShown)
{
    // A final preview that is not there changes nothing: it names no preview file, and its
    // folder does not become the engine's.
    if (pszPath == nullptr || std::char_traits<WCHAR>::length(pszPath) >= PATH_BUFFER_CHARS ||
        !::PathFileExistsW(pszPath))
        return false;
    WCHAR szPreviewFile[PATH_BUFFER_CHARS] = {};
    if (!CopyIfFits(szPreviewFile, ReplaceAll(pszPath, kFinalPreviewName, kPreviewFileName)))
        return false;
    ::lstrcpynW(m_szPreviewFile, szPreviewFile, PATH_BUFFER_CHARS);
    if (m_szEngineFolder[0] == 0) {
        ::lstrcpynW(m_szEngineFolder, szPreviewFile, PATH_BUFFER_CHARS);
        *::PathFindFileNameW(m_szEngineFolder) = 0;
    }

    // Through the scan temp folder when there is one, so that the engine's file stays.
    strShown = pszPath;
    if (!m_strTempFolder.IsEmpty()) {
        WCHAR szCopy[PATH_BUFFER_CHARS] = {};
        if (CopyIfFits(szCopy, WString(m_strTempFolder) + ::PathFindFileNameW(pszPath)) &&
            ::CopyFileW(pszPath, szCopy, FALSE))
            strShown = szCopy;
    }

    // A final scan replaces the kept preview only once a backup of it exists.
    m_pPreviewImage.reset();
    m_pPreviewSource.reset();
    if ((bPreviewScan || m_dwBaseStyle == 0 || BackUpPreviewFile()) &&
        ::MoveFileExW(strShown, szPreviewFile, MOVEFILE_REPLACE_EXISTING))
        strShown = szPreviewFile;
    return true;
}

bool CScanViewPreview::BackUpPreviewFile()
{
    if (::GetFileAttributesW(m_szPreviewFile) == INVALID_FILE_ATTRIBUTES)
        return true;  // no preview file to lose
    WCHAR szBackup[PATH_BUFFER_CHARS] = {};
    if (m_strTempFolder.IsEmpty() || !CopyIfFits(szBackup, WString(m_strTempFolder) + kPreviewFileName))
        return false;
    return ::GetFileAttributesW(szBackup) != INVALID_FILE_ATTRIBUTES || ::CopyFileW(m_szPreviewFile, szBackup, FALSE);
}

void CScanViewPreview::RestorePreviewBackup()
{
    if (m_szPreviewFile[0] == 0)
        return;
    m_pPreviewImage.reset();
    m_pPreviewSource.reset();
    ReleaseScanFolder();
}

void CScanViewPreview::ReleaseScanFolder()
{
    if (m_strTempFolder.IsEmpty())
        return;
    WCHAR szBackup[PATH_BUFFER_CHARS] = {};
    const bool bBackup = CopyIfFits(szBackup, WString(m_strTempFolder) + kPreviewFileName) &&
                         ::GetFileAttributesW(szBackup) != INVALID_FILE_ATTRIBUTES;
    if (!bBackup || (m_szPreviewFile[0] != 0 && ::MoveFileExW(szBackup, m_szPreviewFile, MOVEFILE_REPLACE_EXISTING)))
        DeleteFolderTree(m_strTempFolder);
    m_strTempFolder.Empty();
}
