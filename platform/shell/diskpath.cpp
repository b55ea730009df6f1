// API paths on the Linux file system, and Linux errors as Win32 errors.
#include "shell_private.h"

#include <sys/stat.h>

#include <cerrno>

#include <winbase.h>

#include "qor_text.h"

namespace qor::shell {

bool ToDiskPath(LPCWSTR path, std::string* out, size_t maxChars)
{
    if (!path)
        return Fail(ERROR_INVALID_PARAMETER);
    std::u16string_view text(path);
    static constexpr std::u16string_view kLongPrefix = u"\\\\?\\";
    if (text.starts_with(kLongPrefix)) {
        text.remove_prefix(kLongPrefix.size());
        maxChars = 32767;
    }
    if (text.empty())
        return Fail(ERROR_PATH_NOT_FOUND);
    if (text.size() > maxChars)
        return Fail(ERROR_FILENAME_EXCED_RANGE);
    std::string utf8 = ToUtf8(text);
    // A lone surrogate would silently become U+FFFD and name another file.
    if (ToUtf16(utf8) != text)
        return Fail(ERROR_INVALID_NAME);
    for (char& c : utf8) {
        if (c == '\\')
            c = '/';
    }
    *out = std::move(utf8);
    return TRUE;
}

std::string ParentFolder(const std::string& path)
{
    size_t end = path.find_last_not_of('/');
    if (end == std::string::npos)
        return "/";
    const size_t slash = path.rfind('/', end);
    if (slash == std::string::npos)
        return ".";
    end = path.find_last_not_of('/', slash);
    return end == std::string::npos ? "/" : path.substr(0, end + 1);
}

std::string LastComponent(const std::string& path)
{
    const size_t end = path.find_last_not_of('/');
    if (end == std::string::npos)
        return std::string();
    const size_t slash = path.rfind('/', end);
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(start, end + 1 - start);
}

DWORD ErrorFromErrno(int error, const std::string& path)
{
    switch (error) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT: {
        struct stat st;
        const std::string parent = ParentFolder(path);
        return stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    }
    case ENOTDIR:
    case ELOOP:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case EXDEV:
        return ERROR_NOT_SAME_DEVICE;
    case EBUSY:
        return ERROR_BUSY;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    default:
        return ERROR_INVALID_FUNCTION;
    }
}

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

BOOL FailErrno(int error, const std::string& path)
{
    return Fail(ErrorFromErrno(error, path));
}

}  // namespace qor::shell
