// A small tmpfs for a test (see small_disk.h).
#include "small_disk.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace qortest {

namespace {

const char kFiller[] = "filler";

std::string SizeOption(std::size_t cbSize)
{
    return "size=" + std::to_string(cbSize);
}

}  // namespace

SmallDisk::SmallDisk(std::size_t cbSize) : m_cbSize(cbSize)
{
    const char* tmpdir = std::getenv("TMPDIR");
    std::string pattern = std::string(tmpdir && tmpdir[0] == '/' ? tmpdir : "/tmp") + "/qor_disk_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        return;
    m_path = pattern;
    m_bMounted = mount("tmpfs", m_path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, SizeOption(m_cbSize).c_str()) == 0;
}

SmallDisk::~SmallDisk()
{
    if (m_bMounted)
        umount2(m_path.c_str(), MNT_DETACH);
    if (!m_path.empty())
        rmdir(m_path.c_str());
}

void SmallDisk::Fill()
{
    const int fd = open((m_path / kFiller).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const std::vector<char> block(4096, 'f');
    // Whole blocks first, then single bytes into the last partly used page.
    for (std::size_t cbChunk : {block.size(), std::size_t{1}}) {
        while (write(fd, block.data(), cbChunk) == static_cast<ssize_t>(cbChunk)) {
        }
    }
    close(fd);
}

void SmallDisk::Free()
{
    unlink((m_path / kFiller).c_str());
}

bool SmallDisk::SetReadOnly(bool bReadOnly)
{
    const unsigned long flags = MS_REMOUNT | MS_NOSUID | MS_NODEV | (bReadOnly ? MS_RDONLY : 0);
    return m_bMounted && mount("tmpfs", m_path.c_str(), "tmpfs", flags, SizeOption(m_cbSize).c_str()) == 0;
}

}  // namespace qortest
