// Pieces every fuzz target shares: a scratch folder of the process for the files a target
// writes, and small file helpers. A fuzz target never names a path outside its scratch folder.
#pragma once

#include <windows.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fuzz {

// A folder of this process, made on first use and removed at exit: in memory (/dev/shm) where
// the system has it, so that files and registry databases cost no disk syncs, else below
// TMPDIR (or /tmp).
inline const std::filesystem::path& ScratchFolder()
{
    static const std::filesystem::path folder = [] {
        const char* pszTemp = std::getenv("TMPDIR");
        std::string strParent = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : pszTemp && *pszTemp ? pszTemp : "/tmp";
        std::string pattern = strParent + "/qor_fuzz_XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();  // nothing can run without it
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(ScratchFolder(), ignored);
        });
        return std::filesystem::path(pattern);
    }();
    return folder;
}

inline void WriteFile(const std::filesystem::path& path, const void* pData, size_t cbData)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(pData), static_cast<std::streamsize>(cbData));
}

// A path as the Win32 functions take it; the scratch folder's paths are ASCII.
inline std::u16string WidePath(const std::filesystem::path& path)
{
    const std::string narrow = path.string();
    return std::u16string(narrow.begin(), narrow.end());
}

// Empties a folder (made when missing) without removing it.
inline void EmptyFolder(const std::filesystem::path& folder)
{
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    std::vector<std::filesystem::path> entries;
    for (std::filesystem::directory_iterator it(folder, ignored), end; !ignored && it != end; it.increment(ignored))
        entries.push_back(it->path());
    for (const std::filesystem::path& entry : entries)
        std::filesystem::remove_all(entry, ignored);
}

// Reads an input front to back, a byte at a time, so that a seed is easy to write by hand
// (fuzz/make_seeds.py). Past the end every read gives 0.
class CByteReader {
public:
    CByteReader(const uint8_t* pData, size_t cbData) : m_pData(pData), m_cbLeft(cbData) {}

    bool Empty() const { return m_cbLeft == 0; }
    uint8_t Byte()
    {
        if (m_cbLeft == 0)
            return 0;
        --m_cbLeft;
        return *m_pData++;
    }
    bool Bool() { return (Byte() & 1) != 0; }
    // 0 .. n - 1, for n up to 256.
    size_t Pick(size_t n) { return n == 0 ? 0 : Byte() % n; }
    template <class T, size_t n>
    const T& PickFrom(const T (&rg)[n])
    {
        return rg[Pick(n)];
    }
    uint16_t Word() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
    uint32_t Dword() { return static_cast<uint32_t>(Word()) | static_cast<uint32_t>(Word()) << 16; }
    // A count byte, then that many bytes.
    std::vector<uint8_t> Bytes(size_t cbMax)
    {
        const size_t cb = std::min<size_t>(Byte(), cbMax);
        std::vector<uint8_t> bytes;
        for (size_t i = 0; i < cb && m_cbLeft > 0; ++i)
            bytes.push_back(Byte());
        return bytes;
    }

private:
    const uint8_t* m_pData;
    size_t m_cbLeft;
};

}  // namespace fuzz
