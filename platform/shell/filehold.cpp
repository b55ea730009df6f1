// The table of files held open by live objects (see qor_filehold.h).
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>

#include "qor_filehold.h"
#include "shell_private.h"

namespace qor {
namespace {

using FileId = std::pair<dev_t, ino_t>;

struct HoldTable {
    std::mutex mutex;
    FileHoldId nextId = 1;
    std::map<FileHoldId, FileId> holds;
    std::map<FileId, unsigned> counts;
};

HoldTable& Table()
{
    static HoldTable table;
    return table;
}

// The file a path names, with '\' read as '/' as the file functions read it.
bool StatFile(std::string path, struct stat* st)
{
    std::replace(path.begin(), path.end(), '\\', '/');
    return stat(path.c_str(), st) == 0;
}

}  // namespace

FileHoldId HoldFile(const std::string& utf8Path)
{
    struct stat st;
    if (!StatFile(utf8Path, &st))
        return 0;
    HoldTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    const FileHoldId id = table.nextId++;
    const FileId file{st.st_dev, st.st_ino};
    table.holds.emplace(id, file);
    ++table.counts[file];
    return id;
}

void ReleaseFileHold(FileHoldId id)
{
    HoldTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    const auto hold = table.holds.find(id);
    if (hold == table.holds.end())
        return;
    const auto count = table.counts.find(hold->second);
    if (--count->second == 0)
        table.counts.erase(count);
    table.holds.erase(hold);
}

bool IsFileHeld(const std::string& utf8Path)
{
    struct stat st;
    if (!StatFile(utf8Path, &st))
        return false;
    shell::HoldGuard guard;
    return guard.IsHeld(st.st_dev, st.st_ino);
}

namespace shell {

HoldGuard::HoldGuard() : m_lock(Table().mutex) {}

bool HoldGuard::IsHeld(dev_t device, ino_t inode) const
{
    return Table().counts.contains(FileId{device, inode});
}

}  // namespace shell
}  // namespace qor
