// Helpers of the image-store tests (see image_test_support.h).
#include "image_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <algorithm>

namespace imagetest {

TestFolder::TestFolder()
{
    WCHAR szTemp[MAX_PATH] = {};
    EXPECT_NE(0u, GetTempPathW(MAX_PATH, szTemp));
    std::string pattern = (std::filesystem::path(std::u16string(szTemp)) / "qor_images_XXXXXX").string();
    EXPECT_NE(nullptr, mkdtemp(pattern.data()));
    m_path = pattern;
    if (const char* old = std::getenv("TMPDIR")) {
        m_hadTmpDir = true;
        m_oldTmpDir = old;
    }
    setenv("TMPDIR", m_path.c_str(), 1);
}

TestFolder::~TestFolder()
{
    if (m_hadTmpDir)
        setenv("TMPDIR", m_oldTmpDir.c_str(), 1);
    else
        unsetenv("TMPDIR");
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::vector<std::filesystem::path> ScanTempFolders(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_directory() && name.starts_with("QOR") && name.ends_with(".tmp"))
            found.push_back(entry.path());
    }
    return found;
}

std::vector<std::string> Names(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<Gdiplus::ARGB> Pixels(Gdiplus::Bitmap& bitmap)
{
    const int width = int(bitmap.GetWidth()), height = int(bitmap.GetHeight());
    std::vector<Gdiplus::ARGB> pixels;
    if (width == 0 || height == 0)
        return pixels;
    Gdiplus::BitmapData data = {};
    const Gdiplus::Rect all(0, 0, width, height);
    EXPECT_EQ(Gdiplus::Ok, bitmap.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data));
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const Gdiplus::ARGB*>(static_cast<const BYTE*>(data.Scan0) + y * data.Stride);
        pixels.insert(pixels.end(), row, row + width);
    }
    bitmap.UnlockBits(&data);
    return pixels;
}

std::unique_ptr<Gdiplus::Bitmap> Filled(int width, int height, Gdiplus::ARGB colour)
{
    auto bitmap = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppARGB);
    Gdiplus::BitmapData data = {};
    const Gdiplus::Rect all(0, 0, width, height);
    EXPECT_EQ(Gdiplus::Ok, bitmap->LockBits(&all, Gdiplus::ImageLockModeWrite, PixelFormat32bppARGB, &data));
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<Gdiplus::ARGB*>(static_cast<BYTE*>(data.Scan0) + y * data.Stride);
        std::fill(row, row + width, colour);
    }
    bitmap->UnlockBits(&data);
    return bitmap;
}

std::string Content(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace imagetest
