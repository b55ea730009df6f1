// kernel32 files and folders: temporary names, create, copy, move, delete, attributes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <winbase.h>

#include "qor_text.h"
#include "shell_private.h"

using namespace qor::shell;

namespace {

// Windows refuses to make a folder whose path leaves no room for an 8.3 file name in it.
constexpr size_t kMaxFolderPath = MAX_PATH - 12;
// GetTempFileNameW needs room for the separator, three prefix characters, four hex digits
// and ".tmp".
constexpr size_t kMaxTempFolder = MAX_PATH - 14;

bool IsSeparator(WCHAR c)
{
    return c == u'\\' || c == u'/';
}

// The read-only attribute: no one may write. Root may write anyway, so the mode bits and
// not access() decide, and the functions below refuse as Windows does for such a file.
bool IsReadOnly(const struct stat& st)
{
    return S_ISREG(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// Closes a descriptor on every way out.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }
    int Close()
    {
        const int result = close(m_fd);
        m_fd = -1;
        return result;
    }

private:
    int m_fd;
};

// Copies the content, mode and times of a regular file. An exclusive copy creates the
// target, only if it does not exist. Otherwise the copy is written beside the target and
// renamed over it once complete: where Windows would leave no target after a copy that
// failed half-way (a full disk), the old target stays as it was. A failed copy leaves no
// partial file.
DWORD CopyContent(const std::string& source, const std::string& target, bool exclusive)
{
    FileDescriptor in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st;
    if (in.get() < 0 || fstat(in.get(), &st) != 0)
        return ErrorFromErrno(errno, source);
    if (!S_ISREG(st.st_mode))
        return ERROR_ACCESS_DENIED;
    std::string written = exclusive ? target : ParentFolder(target) + "/.qor-copy-XXXXXX";
    FileDescriptor out(exclusive ? open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666)
                                 : mkostemp(written.data(), O_CLOEXEC));
    if (out.get() < 0)
        return errno == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(errno, target);
    int error = 0;
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(in.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            error = got < 0 ? errno : 0;
            break;
        }
        for (ssize_t done = 0; done < got && !error;) {
            const ssize_t put = write(out.get(), buffer + done, static_cast<size_t>(got - done));
            if (put >= 0)
                done += put;
            else if (errno != EINTR)
                error = errno;
        }
        if (error)
            break;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (!error && (fchmod(out.get(), st.st_mode & 07777) != 0 || futimens(out.get(), times) != 0))
        error = errno;
    if (out.Close() != 0 && !error)
        error = errno;
    if (!error && !exclusive && rename(written.c_str(), target.c_str()) != 0)
        error = errno;
    if (error) {
        unlink(written.c_str());
        return ErrorFromErrno(error, target);
    }
    return ERROR_SUCCESS;
}

// Whether both names are one directory entry (not merely two links to one file).
bool IsSameEntry(const std::string& a, const std::string& b)
{
    auto entry = [](const std::string& path) {
        char* folder = realpath(ParentFolder(path).c_str(), nullptr);
        std::string result = folder ? folder : "";
        free(folder);
        return result + "/" + LastComponent(path);
    };
    return entry(a) == entry(b);
}

// Copies text and its NUL into a caller's buffer of cch characters; returns the length, or
// the size needed (with the NUL) when the buffer is too small, as the Get*Path functions do.
DWORD CopyOut(std::u16string_view text, LPWSTR buffer, DWORD cch)
{
    if (!buffer || cch < text.size() + 1)
        return static_cast<DWORD>(text.size() + 1);
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    return static_cast<DWORD>(text.size());
}

}  // namespace

DWORD WINAPI GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer)
{
    // TMPDIR plays the part of TMP and TEMP; a relative one is ignored as most Linux
    // programs do.
    const char* tmpdir = std::getenv("TMPDIR");
    std::u16string path = qor::ToUtf16(tmpdir && tmpdir[0] == '/' ? tmpdir : "/tmp");
    if (!IsSeparator(path.back()))
        path += u'/';
    if (path.size() > MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    return CopyOut(path, lpBuffer, nBufferLength);
}

UINT WINAPI GetTempFileNameW(LPCWSTR lpPathName, LPCWSTR lpPrefixString, UINT uUnique, LPWSTR lpTempFileName)
{
    if (!lpPathName || !lpTempFileName)
        return Fail(ERROR_INVALID_PARAMETER);
    std::u16string base(lpPathName);
    if (base.size() > kMaxTempFolder)
        return Fail(ERROR_BUFFER_OVERFLOW);
    if (!base.empty() && !IsSeparator(base.back()))
        base += u'/';
    if (lpPrefixString)
        base += std::u16string_view(lpPrefixString).substr(0, 3);
    auto nameFor = [&base](UINT unique) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%X", unique);
        return base + qor::ToUtf16(hex) + u".tmp";
    };
    auto store = [lpTempFileName](const std::u16string& name) {
        std::copy(name.begin(), name.end(), lpTempFileName);
        lpTempFileName[name.size()] = 0;
    };

    // Only the low 16 bits count; with none the function picks a free number.
    const UINT unique = uUnique & 0xFFFF;
    if (unique) {
        store(nameFor(unique));
        return uUnique;
    }
    static std::atomic<UINT> s_next{static_cast<UINT>(
        std::chrono::steady_clock::now().time_since_epoch().count() ^ (static_cast<UINT>(getpid()) << 7))};
    for (UINT attempt = 0; attempt < 0xFFFF; ++attempt) {
        const UINT candidate = s_next.fetch_add(1) % 0xFFFF + 1;
        const std::u16string name = nameFor(candidate);
        std::string path;
        if (!ToDiskPath(name.c_str(), &path, MAX_PATH))
            return 0;
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            store(name);
            return candidate;
        }
        if (errno == ENOENT || errno == ENOTDIR)
            return Fail(ERROR_DIRECTORY);
        if (errno != EEXIST)
            return FailErrno(errno, path);
    }
    return Fail(ERROR_FILE_EXISTS);
}

BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes)
{
    // Security descriptors have no meaning here; the umask decides the mode.
    (void)lpSecurityAttributes;
    std::string path;
    if (!ToDiskPath(lpPathName, &path, kMaxFolderPath))
        return FALSE;
    if (mkdir(path.c_str(), 0777) != 0)
        return errno == ENOENT ? Fail(ERROR_PATH_NOT_FOUND) : FailErrno(errno, path);
    return TRUE;
}

BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName)
{
    std::string path;
    if (!ToDiskPath(lpPathName, &path))
        return FALSE;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return FailErrno(errno, path);
    if (S_ISLNK(st.st_mode)) {
        // A link to a folder goes as the link; its target stays.
        struct stat target;
        if (stat(path.c_str(), &target) != 0 || !S_ISDIR(target.st_mode))
            return Fail(ERROR_DIRECTORY);
        return unlink(path.c_str()) == 0 ? TRUE : FailErrno(errno, path);
    }
    if (!S_ISDIR(st.st_mode))
        return Fail(ERROR_DIRECTORY);
    return rmdir(path.c_str()) == 0 ? TRUE : FailErrno(errno, path);
}

BOOL WINAPI CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists)
{
    std::string source, target;
    if (!ToDiskPath(lpExistingFileName, &source) || !ToDiskPath(lpNewFileName, &target))
        return FALSE;
    struct stat from, to;
    if (stat(source.c_str(), &from) != 0)
        return FailErrno(errno, source);
    if (!S_ISREG(from.st_mode))
        return Fail(ERROR_ACCESS_DENIED);
    if (lstat(target.c_str(), &to) == 0) {
        if (bFailIfExists)
            return Fail(ERROR_FILE_EXISTS);
        if (S_ISDIR(to.st_mode) || IsReadOnly(to))
            return Fail(ERROR_ACCESS_DENIED);
        // The source is open for reading without write sharing, and a held target is open
        // without it too: neither may be written.
        if (from.st_dev == to.st_dev && from.st_ino == to.st_ino)
            return Fail(ERROR_SHARING_VIOLATION);
        if (HoldGuard().IsHeld(to.st_dev, to.st_ino))
            return Fail(ERROR_SHARING_VIOLATION);
    }
    const DWORD error = CopyContent(source, target, bFailIfExists);
    return error ? Fail(error) : TRUE;
}

BOOL WINAPI MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName)
{
    return MoveFileExW(lpExistingFileName, lpNewFileName, MOVEFILE_COPY_ALLOWED);
}

BOOL WINAPI MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags)
{
    constexpr DWORD kKnownFlags =
        MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_WRITE_THROUGH;
    if (dwFlags & ~kKnownFlags)
        return Fail(ERROR_INVALID_PARAMETER);
    // There is no reboot to wait for.
    if (dwFlags & MOVEFILE_DELAY_UNTIL_REBOOT)
        return Fail(ERROR_NOT_SUPPORTED);
    if (!lpNewFileName)
        return Fail(ERROR_INVALID_PARAMETER);
    std::string source, target;
    if (!ToDiskPath(lpExistingFileName, &source) || !ToDiskPath(lpNewFileName, &target))
        return FALSE;
    const bool replace = dwFlags & MOVEFILE_REPLACE_EXISTING;
    struct stat from, to;
    if (lstat(source.c_str(), &from) != 0)
        return FailErrno(errno, source);
    const bool targetExists = lstat(target.c_str(), &to) == 0;
    if (targetExists && from.st_dev == to.st_dev && from.st_ino == to.st_ino && IsSameEntry(source, target))
        return TRUE;
    if (targetExists) {
        if (!replace)
            return Fail(ERROR_ALREADY_EXISTS);
        if (S_ISDIR(to.st_mode) || S_ISDIR(from.st_mode) || IsReadOnly(to))
            return Fail(ERROR_ACCESS_DENIED);
    }
    {
        HoldGuard guard;
        if (guard.IsHeld(from.st_dev, from.st_ino) || (targetExists && guard.IsHeld(to.st_dev, to.st_ino)))
            return Fail(ERROR_SHARING_VIOLATION);
        int result = replace ? rename(source.c_str(), target.c_str())
                                   : renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
        // A file system without RENAME_NOREPLACE: the target was seen missing above.
        if (result != 0 && errno == EINVAL && !replace && !targetExists)
            result = rename(source.c_str(), target.c_str());
        if (result == 0)
            return TRUE;
        if (errno == EEXIST)
            return Fail(ERROR_ALREADY_EXISTS);
        if (errno != EXDEV)
            return FailErrno(errno, errno == ENOENT ? target : source);
    }
    // Another file system. Windows needs MOVEFILE_COPY_ALLOWED for this; here the temporary
    // folder may lie on another file system than the user's folders although on Windows
    // both share the system drive, so a file is always moved by copy and delete. Folders
    // and links cannot be moved that way, as on Windows.
    if (!S_ISREG(from.st_mode))
        return Fail(ERROR_NOT_SAME_DEVICE);
    const DWORD error = CopyContent(source, target, !replace);
    if (error)
        return Fail(error == ERROR_FILE_EXISTS ? ERROR_ALREADY_EXISTS : error);
    // As on Windows, a source that cannot be deleted after the copy leaves the move done.
    HoldGuard guard;
    if (!guard.IsHeld(from.st_dev, from.st_ino))
        unlink(source.c_str());
    return TRUE;
}

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName)
{
    std::string path;
    if (!ToDiskPath(lpFileName, &path))
        return FALSE;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return FailErrno(errno, path);
    if (S_ISDIR(st.st_mode) || IsReadOnly(st))
        return Fail(ERROR_ACCESS_DENIED);
    HoldGuard guard;
    if (guard.IsHeld(st.st_dev, st.st_ino))
        return Fail(ERROR_SHARING_VIOLATION);
    return unlink(path.c_str()) == 0 ? TRUE : FailErrno(errno, path);
}

DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName)
{
    std::string path;
    if (!ToDiskPath(lpFileName, &path))
        return INVALID_FILE_ATTRIBUTES;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        FailErrno(errno, path);
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = 0;
    if (S_ISLNK(st.st_mode)) {
        // A link is a reparse point; it is a folder when it points at one.
        struct stat target;
        attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        if (stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode))
            attributes |= FILE_ATTRIBUTE_DIRECTORY;
    } else if (S_ISDIR(st.st_mode)) {
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    } else if (IsReadOnly(st)) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    }
    // Dot files are what Linux programs hide.
    const std::string name = LastComponent(path);
    if (name.size() > 1 && name[0] == '.' && name != "..")
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

DWORD WINAPI GetFullPathNameW(LPCWSTR lpFileName, DWORD nBufferLength, LPWSTR lpBuffer, LPWSTR* lpFilePart)
{
    if (!lpFileName || !lpFileName[0]) {
        SetLastError(lpFileName ? ERROR_INVALID_NAME : ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string path(lpFileName);
    if (!IsSeparator(path[0])) {
        char* cwd = getcwd(nullptr, 0);
        if (!cwd) {
            FailErrno(errno, ".");
            return 0;
        }
        path = qor::ToUtf16(cwd) + u'/' + path;
        free(cwd);
    }
    // The full path in this platform's form, as Windows gives it in its own with '\'.
    std::replace(path.begin(), path.end(), u'\\', u'/');
    path = CanonicalPath(path);
    const DWORD result = CopyOut(path, lpBuffer, nBufferLength);
    if (lpFilePart && result == path.size()) {
        const size_t name = path.find_last_of(u"\\/") + 1;
        *lpFilePart = name < path.size() ? lpBuffer + name : nullptr;
    }
    return result;
}

DWORD WINAPI GetLongPathNameW(LPCWSTR lpszShortPath, LPWSTR lpszLongPath, DWORD cchBuffer)
{
    // Every name is long already; the path must exist, as on Windows.
    std::string path;
    if (!ToDiskPath(lpszShortPath, &path))
        return 0;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        FailErrno(errno, path);
        return 0;
    }
    // The text is copied first: the two buffers may be the same.
    const std::u16string text(lpszShortPath);
    return CopyOut(text, lpszLongPath, cchBuffer);
}
