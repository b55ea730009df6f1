// Helpers of the image-store tests: a fresh folder per test that also serves as the temp
// path, engine preview files written as real JPEGs, and pixel reads of GDI+ bitmaps.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <gdiplus.h>
#include <shlwapi.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace imagetest {

// Writes a baseline JPEG whose pixels follow the pattern seed (so two files with different
// seeds have different content). Returns false when the file cannot be written.
bool WriteJpeg(const std::string& utf8Path, int width, int height, int seed);
// A file that claims to be a JPEG but breaks off after its header.
void WriteCorruptJpeg(const std::string& utf8Path);

// The folder of one test under the temp path, with TMPDIR pointing at it for the test's
// length so that the view's scan temp folders are made inside it.
class TestFolder {
public:
    TestFolder();
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    // A path inside the folder.
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }
    static std::u16string Wide(const std::filesystem::path& path) { return path.u16string(); }

private:
    std::filesystem::path m_path;
    std::string m_oldTmpDir;
    bool m_hadTmpDir = false;
};

// The folders "QOR*.tmp" in a folder: the view's scan temp folders.
std::vector<std::filesystem::path> ScanTempFolders(const std::filesystem::path& folder);
// The names of the entries of a folder, sorted.
std::vector<std::string> Names(const std::filesystem::path& folder);

// Every pixel of a bitmap as 0xAARRGGBB, row by row; empty for a bitmap without pixels.
std::vector<Gdiplus::ARGB> Pixels(Gdiplus::Bitmap& bitmap);
// A bitmap of the given size whose pixels are all colour.
std::unique_ptr<Gdiplus::Bitmap> Filled(int width, int height, Gdiplus::ARGB colour);

// The file's bytes; empty when it cannot be read.
std::string Content(const std::filesystem::path& path);

}  // namespace imagetest
