#include "gdiplus_test.h"

// windef.h already names INT32; XMD_H keeps jmorecfg.h from declaring its own.
#define XMD_H
#include <jpeglib.h>
#include <png.h>

#include <atomic>
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

void PngWrite(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<std::vector<BYTE>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void PngFlush(png_structp) {}

}  // namespace

std::vector<BYTE> EncodePng(int width, int height, const std::vector<ARGB>& pixels, bool alpha)
{
    std::vector<BYTE> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, PngWrite, PngFlush);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<BYTE> row(std::size_t(width) * 4);
    for (int y = 0; y < height; ++y) {
        BYTE* p = row.data();
        for (int x = 0; x < width; ++x) {
            const ARGB c = pixels[std::size_t(y * width + x)];
            *p++ = BYTE(c >> 16);
            *p++ = BYTE(c >> 8);
            *p++ = BYTE(c);
            if (alpha)
                *p++ = BYTE(c >> 24);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
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
    std::vector<BYTE> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, PngWrite, PngFlush);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, &samples[std::size_t(y) * width]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
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

namespace {

class MemoryStream final : public IStream {
public:
    explicit MemoryStream(const std::vector<BYTE>& bytes) : bytes_(bytes) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == __uuidof(IUnknown) || riid == __uuidof(ISequentialStream) || riid == __uuidof(IStream)) {
            *ppv = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG refs = --refs_;
        if (refs == 0)
            delete this;
        return refs;
    }
    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override
    {
        const std::size_t n = std::min<std::size_t>(cb, bytes_.size() - offset_);
        if (n != 0)
            std::memcpy(pv, bytes_.data() + offset_, n);
        offset_ += n;
        if (pcbRead)
            *pcbRead = ULONG(n);
        return n == cb ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override
    {
        const LONGLONG base = origin == STREAM_SEEK_SET ? 0 : origin == STREAM_SEEK_CUR ? LONGLONG(offset_)
                                                                                        : LONGLONG(bytes_.size());
        const LONGLONG target = base + move.QuadPart;
        if (target < 0)
            return E_INVALIDARG;
        offset_ = std::min<std::size_t>(std::size_t(target), bytes_.size());
        if (position)
            position->QuadPart = offset_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
    std::vector<BYTE> bytes_;
    std::size_t offset_ = 0;
    std::atomic<ULONG> refs_{1};
};

}  // namespace

IStream* NewMemoryStream(const std::vector<BYTE>& bytes) { return new MemoryStream(bytes); }

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
