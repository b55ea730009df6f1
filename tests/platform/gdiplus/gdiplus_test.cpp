#include "gdiplus_test.h"

#include <winbase.h>

// windef.h already names INT32; XMD_H keeps jmorecfg.h from declaring its own.
#define XMD_H
#include <jpeglib.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "jpeg_encode.h"

namespace {
[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new GdiplusEnvironment);
}

GpBitmap* MakeBitmap(int width, int height, const std::vector<ARGB>& pixels)
{
    GpBitmap* bitmap = nullptr;
    EXPECT_EQ(Ok, GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &bitmap));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            EXPECT_EQ(Ok, GdipBitmapSetPixel(bitmap, x, y, pixels[std::size_t(y * width + x)]));
    return bitmap;
}

std::vector<ARGB> ReadPixels(GpBitmap* bitmap)
{
    UINT width = 0, height = 0;
    GdipGetImageWidth(bitmap, &width);
    GdipGetImageHeight(bitmap, &height);
    std::vector<ARGB> pixels;
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x)
            pixels.push_back(PixelAt(bitmap, int(x), int(y)));
    return pixels;
}

ARGB PixelAt(GpBitmap* bitmap, int x, int y)
{
    ARGB color = 0;
    EXPECT_EQ(Ok, GdipBitmapGetPixel(bitmap, x, y, &color)) << x << "," << y;
    return color;
}

namespace {

// Writes rows of raw samples as they are, bytesPerPixel to a pixel.
std::vector<BYTE> WritePng(int width, int height, int colorType, int bytesPerPixel, const BYTE* samples)
{
    std::vector<BYTE> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    const auto write = [](png_structp p, png_bytep data, png_size_t length) {
        auto* bytes = static_cast<std::vector<BYTE>*>(png_get_io_ptr(p));
        bytes->insert(bytes->end(), data, data + length);
    };
    png_set_write_fn(png, &out, write, [](png_structp) {});
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, const_cast<BYTE*>(samples + std::size_t(y) * width * bytesPerPixel));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

}  // namespace

std::vector<BYTE> EncodePng(int width, int height, const std::vector<ARGB>& pixels, bool alpha)
{
    std::vector<BYTE> samples;
    for (const ARGB c : pixels) {
        samples.insert(samples.end(), {BYTE(c >> 16), BYTE(c >> 8), BYTE(c)});
        if (alpha)
            samples.push_back(BYTE(c >> 24));
    }
    return WritePng(width, height, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, alpha ? 4 : 3,
                    samples.data());
}

std::vector<BYTE> EncodeJpeg(int width, int height, const std::vector<ARGB>& pixels, int quality)
{
    const auto fill = [&](int y, BYTE* rgb) {
        for (int x = 0; x < width; ++x) {
            const ARGB c = pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)];
            rgb[std::size_t(3 * x)] = BYTE(c >> 16);
            rgb[std::size_t(3 * x + 1)] = BYTE(c >> 8);
            rgb[std::size_t(3 * x + 2)] = BYTE(c);
        }
    };
    return qortest::EncodeRgbJpeg(width, height, fill, {quality, true});
}

std::vector<BYTE> EncodeGrayPng(int width, int height, const std::vector<BYTE>& samples)
{
    return WritePng(width, height, PNG_COLOR_TYPE_GRAY, 1, samples.data());
}

std::vector<BYTE> EncodeCmykJpeg(int width, int height, const std::vector<BYTE>& samples)
{
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);  // writes an Adobe marker, as CMYK scans carry
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<BYTE*>(&samples[std::size_t(info.next_scanline) * width * 4]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<BYTE> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

IStream* NewMemoryStream(const std::vector<BYTE>& bytes)
{
    IStream* stream = nullptr;
    EXPECT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &stream));
    if (!bytes.empty()) {
        EXPECT_EQ(S_OK, stream->Write(bytes.data(), ULONG(bytes.size()), nullptr));
        EXPECT_EQ(S_OK, stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr));
    }
    return stream;
}

TempFolder::TempFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "gdiplus_test_XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::Write(const std::string& name, const std::vector<BYTE>& bytes) const
{
    const std::string path = path_ + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

std::u16string TempFolder::Wide(const std::string& path) { return std::u16string(path.begin(), path.end()); }
