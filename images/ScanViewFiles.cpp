// CScanViewPreview: the files of the image store. The per-scan temp folder, the kept
// preview file "qor_org_preview.jpg" in the engine's preview folder, its backup during a
// final scan, and the silent deletes of whole folders.
//
// Paths live in buffers of 262 characters. A path that does not fit is refused as no
// file, never cut: a cut path would name some other file.
#include "ScanViewPreview.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <string>
#include <string_view>

namespace {

const WCHAR kPreviewFileName[] = u"qor_org_preview.jpg";
const WCHAR kFinalPreviewName[] = u"prev_100.jpg";  // "prev_%d.jpg" for 100
const WCHAR kAllFiles[] = u"*.*";

// Copies text into a buffer of cchBuffer characters when it fits with its NUL.
bool CopyIfFits(WCHAR* pszBuffer, size_t cchBuffer, std::u16string_view text)
{
    if (text.size() >= cchBuffer)
        return false;
    text.copy(pszBuffer, text.size());
    pszBuffer[text.size()] = 0;
    return true;
}

template <size_t N>
bool CopyIfFits(WCHAR (&szBuffer)[N], std::u16string_view text)
{
    return CopyIfFits(szBuffer, N, text);
}

// Every occurrence of what replaced by with.
std::u16string ReplaceAll(std::u16string text, std::u16string_view what, std::u16string_view with)
{
    for (size_t at = text.find(what); at != std::u16string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

// A silent recursive delete of a double-NUL list of one item, results ignored.
void DeleteSilently(HWND hWndOwner, LPCWSTR pszFrom, FILEOP_FLAGS flags)
{
    SHFILEOPSTRUCTW op = {};
    op.hwnd = hWndOwner;
    op.wFunc = FO_DELETE;
    op.pFrom = pszFrom;
    op.fFlags = flags;
    ::SHFileOperationW(&op);
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
    DeleteSilently(nullptr, szFrom, FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI);
}

void CScanViewPreview::DeleteFolderFiles(LPCWSTR pszFolder)
{
    WCHAR szFrom[MAX_PATH + 1] = {};
    if (pszFolder == nullptr || pszFolder[0] == 0 || !CopyIfFits(szFrom, MAX_PATH, pszFolder))
        return;
    ::PathRemoveBackslashW(szFrom);
    std::u16string from = szFrom;
    from += kPathSeparator;
    from += kAllFiles;
    if (!CopyIfFits(szFrom, MAX_PATH, from))
        return;
    DeleteSilently(nullptr, szFrom, FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI);
}

void CScanViewPreview::DeleteEngineFiles()
{
    if (m_szEngineFolder[0] == 0)
        return;
    WCHAR szFrom[MAX_PATH + 1] = {};
    if (!CopyIfFits(szFrom, MAX_PATH, std::u16string(m_szEngineFolder) + kAllFiles))
        return;
    DeleteSilently(m_hWnd, szFrom, FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI);
}

// --- The preview file

bool CScanViewPreview::KeepFinalPreview(LPCWSTR pszPath, bool bPreviewScan)
{
    if (pszPath == nullptr || std::char_traits<WCHAR>::length(pszPath) >= PATH_BUFFER_CHARS)
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
    std::u16string source = pszPath;
    if (!m_strTempFolder.IsEmpty()) {
        const std::u16string copy = std::u16string(m_strTempFolder) + ::PathFindFileNameW(pszPath);
        WCHAR szCopy[PATH_BUFFER_CHARS] = {};
        if (CopyIfFits(szCopy, copy) && ::CopyFileW(pszPath, szCopy, FALSE))
            source = szCopy;
        // A final scan keeps the preview it replaces, once per scan.
        WCHAR szBackup[PATH_BUFFER_CHARS] = {};
        if (!bPreviewScan && m_dwBaseStyle != 0 &&
            CopyIfFits(szBackup, std::u16string(m_strTempFolder) + kPreviewFileName) &&
            ::GetFileAttributesW(szBackup) == INVALID_FILE_ATTRIBUTES)
            ::CopyFileW(m_szPreviewFile, szBackup, FALSE);
    }

    m_pPreviewImage.reset();
    m_pPreviewSource.reset();
    ::MoveFileExW(source.c_str(), szPreviewFile, MOVEFILE_REPLACE_EXISTING);
    return true;
}

void CScanViewPreview::RestorePreviewBackup()
{
    if (m_szPreviewFile[0] == 0)
        return;
    m_pPreviewImage.reset();
    m_pPreviewSource.reset();
    if (m_strTempFolder.IsEmpty())
        return;
    WCHAR szBackup[PATH_BUFFER_CHARS] = {};
    if (CopyIfFits(szBackup, std::u16string(m_strTempFolder) + kPreviewFileName))
        ::MoveFileExW(szBackup, m_szPreviewFile, MOVEFILE_REPLACE_EXISTING);
    DeleteFolderTree(m_strTempFolder);
    m_strTempFolder.Empty();
}
