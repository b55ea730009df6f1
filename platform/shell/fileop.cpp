// shell32 SHFileOperationW: the delete operation, silent and recursive, without a user
// interface. Every item is checked before anything is deleted; the delete itself walks the
// folders by descriptor and never follows a symbolic link.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>
#include <vector>

#include <shellapi.h>
#include <winbase.h>

#include "qor_text.h"
#include "shell_private.h"

using namespace qor::shell;

namespace {

// One entry to delete: its name in a folder.
struct Target {
    std::string folder;
    std::string name;
};

WCHAR FoldCase(WCHAR c)
{
    return c >= u'a' && c <= u'z' ? static_cast<WCHAR>(c - u'a' + u'A') : c;
}

// '*' matches any run of characters and '?' any one; letters match without regard to case,
// as on Windows file systems.
bool MatchWildcard(std::u16string_view pattern, std::u16string_view name)
{
    size_t p = 0, n = 0, starP = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == u'?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::u16string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

// A pattern that ends in ".*" also takes names without an extension: "*.*" is everything.
bool MatchFileName(std::u16string_view pattern, std::u16string_view name)
{
    if (MatchWildcard(pattern, name))
        return true;
    return pattern.ends_with(u".*") && name.find(u'.') == std::u16string_view::npos &&
           MatchWildcard(pattern.substr(0, pattern.size() - 2), name);
}

bool HasWildcard(std::string_view text)
{
    return text.find_first_of("*?") != std::string_view::npos;
}

std::string RealPath(const std::string& path)
{
    char* resolved = realpath(path.c_str(), nullptr);
    std::string result = resolved ? resolved : "";
    free(resolved);
    return result;
}

// The root, the user's home folder and every folder above it are never emptied or deleted,
// whatever a silent recursive delete is asked to do. They are known by device and inode,
// so no other path to them (a link, "..", a bind mount) gets past.
class ProtectedFolders {
public:
    ProtectedFolders()
    {
        Add("/");
        if (const char* home = std::getenv("HOME"))
            AddWithParents(home);
        if (const passwd* user = getpwuid(getuid()))
            AddWithParents(user->pw_dir);
    }

    bool Contains(const struct stat& st) const
    {
        for (const auto& [device, inode] : m_folders) {
            if (st.st_dev == device && st.st_ino == inode)
                return true;
        }
        return false;
    }

private:
    void Add(const std::string& path)
    {
        struct stat st;
        if (stat(path.c_str(), &st) == 0)
            m_folders.emplace_back(st.st_dev, st.st_ino);
    }

    void AddWithParents(const std::string& home)
    {
        for (std::string path = RealPath(home); !path.empty() && path != "/"; path = ParentFolder(path))
            Add(path);
    }

    std::vector<std::pair<dev_t, ino_t>> m_folders;
};

// Turns one item of the list into the entries it names.
DWORD ResolveItem(std::string path, FILEOP_FLAGS flags, const ProtectedFolders& protectedFolders,
                  std::vector<Target>* targets)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path == "/")
        return ERROR_ACCESS_DENIED;
    const size_t slash = path.rfind('/');
    Target target;
    target.folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    target.name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    if (HasWildcard(target.folder) || target.name == "." || target.name == "..")
        return ERROR_INVALID_NAME;

    if (!HasWildcard(target.name)) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0)
            return ErrorFromErrno(errno, path);
        // A link is deleted as a link, wherever it points.
        if (S_ISDIR(st.st_mode) && protectedFolders.Contains(st))
            return ERROR_ACCESS_DENIED;
        targets->push_back(std::move(target));
        return ERROR_SUCCESS;
    }

    DIR* folder = opendir(target.folder.c_str());
    if (!folder)
        return errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno, target.folder);
    struct stat folderStat;
    if (fstat(dirfd(folder), &folderStat) != 0 || protectedFolders.Contains(folderStat)) {
        closedir(folder);
        return ERROR_ACCESS_DENIED;
    }
    const std::u16string pattern = qor::ToUtf16(target.name);
    const bool filesOnly = flags & (FOF_FILESONLY | FOF_NORECURSION);
    while (const dirent* entry = readdir(folder)) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == ".." || !MatchFileName(pattern, qor::ToUtf16(name)))
            continue;
        struct stat st;
        if (filesOnly && fstatat(dirfd(folder), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
            continue;
        targets->push_back({target.folder, std::string(name)});
    }
    closedir(folder);
    return ERROR_SUCCESS;
}

// An entry that is gone already needs no deleting.
DWORD ErrorOf(int error)
{
    return error == ENOENT ? ERROR_SUCCESS : ErrorFromErrno(error, "");
}

DWORD DeleteEntryAt(int folder, const char* name, const struct stat& st)
{
    HoldGuard guard;
    if (guard.IsHeld(st.st_dev, st.st_ino))
        return ERROR_SHARING_VIOLATION;
    return unlinkat(folder, name, 0) == 0 ? ERROR_SUCCESS : ErrorOf(errno);
}

// Deletes a folder with everything in it. Folders of another file system mounted inside
// are left alone: emptying them is not this delete's business.
DWORD DeleteTreeAt(int parent, const char* name, dev_t device, const ProtectedFolders& protectedFolders)
{
    const int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return ErrorOf(errno);
    DIR* folder = fdopendir(fd);
    if (!folder) {
        const int error = errno;
        close(fd);
        return ErrorOf(error);
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(folder)) {
        const std::string_view entryName(entry->d_name);
        if (entryName != "." && entryName != "..")
            names.emplace_back(entryName);
    }
    DWORD error = ERROR_SUCCESS;
    for (const std::string& child : names) {
        struct stat st;
        if (fstatat(fd, child.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            error = ErrorOf(errno);
        else if (!S_ISDIR(st.st_mode))
            error = DeleteEntryAt(fd, child.c_str(), st);
        else if (st.st_dev != device || protectedFolders.Contains(st))
            error = ERROR_ACCESS_DENIED;
        else
            error = DeleteTreeAt(fd, child.c_str(), device, protectedFolders);
        if (error)
            break;
    }
    closedir(folder);
    if (error)
        return error;
    return unlinkat(parent, name, AT_REMOVEDIR) == 0 ? ERROR_SUCCESS : ErrorOf(errno);
}

DWORD DeleteTarget(const Target& target, const ProtectedFolders& protectedFolders)
{
    const int folder = open(target.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return ErrorOf(errno);
    struct stat st;
    DWORD error;
    if (fstatat(folder, target.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        error = ErrorOf(errno);
    else if (S_ISDIR(st.st_mode))
        error = protectedFolders.Contains(st) ? ERROR_ACCESS_DENIED
                                              : DeleteTreeAt(folder, target.name.c_str(), st.st_dev, protectedFolders);
    else
        error = DeleteEntryAt(folder, target.name.c_str(), st);
    close(folder);
    return error;
}

}  // namespace

// Differences from Windows, where no user interface exists: confirmations are taken as
// given, there is no recycle bin (FOF_ALLOWUNDO deletes for good), and the flags that
// only shape dialogs change nothing. FOF_NORECURSION, like FOF_FILESONLY, keeps a
// wildcard from taking folders. fAnyOperationsAborted reports a delete that stopped at an
// error with items left.
int WINAPI SHFileOperationW(LPSHFILEOPSTRUCTW lpFileOp)
{
    if (!lpFileOp)
        return ERROR_INVALID_PARAMETER;
    lpFileOp->fAnyOperationsAborted = FALSE;
    lpFileOp->hNameMappings = nullptr;
    if (lpFileOp->wFunc == FO_MOVE || lpFileOp->wFunc == FO_COPY || lpFileOp->wFunc == FO_RENAME)
        return ERROR_NOT_SUPPORTED;  // not needed by anything on this platform
    if (lpFileOp->wFunc != FO_DELETE || !lpFileOp->pFrom || !lpFileOp->pFrom[0])
        return ERROR_INVALID_PARAMETER;

    const ProtectedFolders protectedFolders;
    std::vector<Target> targets;
    for (LPCWSTR item = lpFileOp->pFrom; *item; item += std::char_traits<WCHAR>::length(item) + 1) {
        std::string path;
        if (!ToDiskPath(item, &path))
            return static_cast<int>(GetLastError());
        if (const DWORD error = ResolveItem(path, lpFileOp->fFlags, protectedFolders, &targets))
            return static_cast<int>(error);
    }
    for (const Target& target : targets) {
        if (const DWORD error = DeleteTarget(target, protectedFolders)) {
            lpFileOp->fAnyOperationsAborted = TRUE;
            return static_cast<int>(error);
        }
    }
    return 0;
}
