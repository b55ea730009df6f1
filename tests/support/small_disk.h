// A small file system of a test's own: a tmpfs of a few pages mounted on a fresh folder, so
// that a test can fill it up or make it read-only (chmod does not stop root, who runs the
// tests). Mounting needs CAP_SYS_ADMIN; where it is not given, Mounted() is false and the
// test skips.
#pragma once

#include <cstddef>
#include <filesystem>

namespace qortest {

class SmallDisk {
public:
    // A disk of cbSize bytes (rounded up to whole pages) on a new folder in the temp path.
    explicit SmallDisk(std::size_t cbSize);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool Mounted() const { return m_bMounted; }
    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

    // Writes a filler file until no byte is left; Free() deletes it again.
    void Fill();
    void Free();
    // Remounts the disk read-only or writable; false when the kernel refuses.
    bool SetReadOnly(bool bReadOnly);

private:
    std::filesystem::path m_path;
    std::size_t m_cbSize;
    bool m_bMounted = false;
};

}  // namespace qortest
