// Files held open by live objects. On Windows a bitmap decoded from a file keeps the file
// open without delete sharing, so deleting or moving it fails with ERROR_SHARING_VIOLATION
// until the bitmap is disposed. The shell functions check these holds so that a wrong
// order of operations fails here as it would there.
#pragma once

#include <cstdint>
#include <string>

namespace qor {

using FileHoldId = std::uint64_t;

// Holds the file (by device and inode, so every path to it counts). Returns 0 when the
// file does not exist. Holds nest: each one needs its own release.
FileHoldId HoldFile(const std::string& utf8Path);
void ReleaseFileHold(FileHoldId id);
bool IsFileHeld(const std::string& utf8Path);

}  // namespace qor
