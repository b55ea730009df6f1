// Shared by the shell folder: paths from the API brought to the disk, errno turned into
// Win32 errors, and the file holds seen from the functions that delete and rename.
#pragma once

#include <sys/types.h>

#include <mutex>
#include <string>
#include <string_view>

#include <windef.h>

namespace qor::shell {

// Checks and converts an API path for the disk: '\' becomes '/', UTF-16 becomes UTF-8.
// Fails with the Win32 error set: a null path is ERROR_INVALID_PARAMETER, an empty one
// ERROR_PATH_NOT_FOUND, one longer than maxChars ERROR_FILENAME_EXCED_RANGE (a "\\?\"
// prefix lifts the limit, as on Windows), broken UTF-16 ERROR_INVALID_NAME.
bool ToDiskPath(LPCWSTR path, std::string* out, size_t maxChars = MAX_PATH - 1);

// The folder that holds the last component ("." when there is none), and that component
// without trailing separators.
std::string ParentFolder(const std::string& path);
std::string LastComponent(const std::string& path);

// The path with "." and ".." components resolved, as PathCanonicalizeW does: ".." takes
// away the component before it and never climbs above the start; separators stay as given.
std::u16string CanonicalPath(std::u16string_view path);

// The Win32 error for errno; ENOENT is ERROR_FILE_NOT_FOUND when the path's folder exists
// and ERROR_PATH_NOT_FOUND when it does not.
DWORD ErrorFromErrno(int error, const std::string& path);

// Sets the last error and returns FALSE: the common failure exit of the file functions.
BOOL Fail(DWORD error);
BOOL FailErrno(int error, const std::string& path);

// While alive, no file hold is taken or released, so a check of the holds and the delete
// or rename that depends on it happen as one step.
class HoldGuard {
public:
    HoldGuard();
    bool IsHeld(dev_t device, ino_t inode) const;

private:
    std::lock_guard<std::mutex> m_lock;
};

}  // namespace qor::shell
