// Decoding JPEG and PNG from files and streams, refusing bad data, and the file hold.
#include "gdiplus_test.h"

#include <winbase.h>

#include <cstdlib>

namespace {

std::vector<ARGB> Gradient(int width, int height, bool alpha)
{
    std::vector<ARGB> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.push_back((ARGB(alpha ? (x * 40 + y * 7) & 0xFF : 0xFF) << 24) | (ARGB(x * 16) << 16) |
                             (ARGB(y * 16) << 8) | ARGB((x * y) & 0xFF));
    return pixels;
}

GpStatus DecodeStream(const std::vector<BYTE>& bytes, GpBitmap** bitmap)
{
    IStream* stream = NewMemoryStream(bytes);
    const GpStatus status = GdipCreateBitmapFromStream(stream, bitmap);
    stream->Release();
    return status;
}

// Writes a 16-bit big-endian value into a JPEG's SOF0 frame header (dimensions).
void PatchJpegSize(std::vector<BYTE>* jpeg, int width, int height)
{
    for (std::size_t i = 0; i + 8 < jpeg->size(); ++i) {
        if ((*jpeg)[i] == 0xFF && (*jpeg)[i + 1] == 0xC0) {
            (*jpeg)[i + 5] = BYTE(height >> 8);
            (*jpeg)[i + 6] = BYTE(height);
            (*jpeg)[i + 7] = BYTE(width >> 8);
            (*jpeg)[i + 8] = BYTE(width);
            return;
        }
    }
    FAIL() << "no SOF0 marker";
}

TEST(Decode, PngsComeBackExactlyInTheirFormat)
{
    // Lossless, alpha not premultiplied; grey becomes opaque RGB.
    const std::vector<ARGB> alpha = Gradient(16, 16, true), opaque = Gradient(5, 3, false);
    const struct {
        std::vector<BYTE> png;
        PixelFormat format;
        std::vector<ARGB> pixels;
    } cases[] = {
        {EncodePng(16, 16, alpha, true), PixelFormat32bppARGB, alpha},
        {EncodePng(5, 3, opaque, false), PixelFormat24bppRGB, opaque},
        {EncodeGrayPng(3, 1, {0, 0x7F, 0xFF}), PixelFormat24bppRGB, {0xFF000000, 0xFF7F7F7F, 0xFFFFFFFF}},
    };
    for (const auto& c : cases) {
        GpBitmap* bitmap = nullptr;
        ASSERT_EQ(Ok, DecodeStream(c.png, &bitmap));
        PixelFormat format = 0;
        GdipGetImagePixelFormat(bitmap, &format);
        EXPECT_EQ(c.format, format);
        EXPECT_EQ(c.pixels, ReadPixels(bitmap));
        GdipDisposeImage(bitmap);
    }
}

TEST(Decode, JpegFromFileComesBackCloseToItsSource)
{
    // Flat 8 x 8 blocks survive JPEG almost unchanged.
    std::vector<ARGB> pixels;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            pixels.push_back(x < 16 ? 0xFFC08040 : 0xFF2060A0);
    TempFolder folder;
    const std::string path = folder.Write("page.jpg", EncodeJpeg(32, 16, pixels));
    GpBitmap* bitmap = nullptr;
    ASSERT_EQ(Ok, GdipCreateBitmapFromFile(TempFolder::Wide(path).c_str(), &bitmap));
    PixelFormat format = 0;
    GdipGetImagePixelFormat(bitmap, &format);
    EXPECT_EQ(PixelFormat24bppRGB, format);
    const std::vector<ARGB> decoded = ReadPixels(bitmap);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        ASSERT_EQ(0xFFu, decoded[i] >> 24);
        for (int shift = 0; shift < 24; shift += 8)  // tolerance: JPEG's quantisation and chroma subsampling
            ASSERT_NEAR(int((pixels[i] >> shift) & 0xFF), int((decoded[i] >> shift) & 0xFF), 6) << i;
    }
    GdipDisposeImage(bitmap);
}

TEST(Decode, AdobeCmykJpegIsConvertedToRgb)
{
    // Adobe stores CMYK inverted (255 = no ink): R = C' K' / 255, G = M' K' / 255, B = Y' K' / 255.
    std::vector<BYTE> samples;
    for (int i = 0; i < 64; ++i) {
        const BYTE pixel[4] = {255, 128, 0, 255};  // red 255, green 128, blue 0
        samples.insert(samples.end(), pixel, pixel + 4);
    }
    GpBitmap* bitmap = nullptr;
    ASSERT_EQ(Ok, DecodeStream(EncodeCmykJpeg(8, 8, samples), &bitmap));
    const ARGB c = PixelAt(bitmap, 4, 4);
    EXPECT_EQ(0xFFu, c >> 24);
    EXPECT_NEAR(255, int((c >> 16) & 0xFF), 3);  // tolerance: JPEG quantisation of flat blocks
    EXPECT_NEAR(128, int((c >> 8) & 0xFF), 3);
    EXPECT_NEAR(0, int(c & 0xFF), 3);
    GdipDisposeImage(bitmap);
}

TEST(Decode, JpegDensityBecomesTheResolution)
{
    std::vector<BYTE> jpeg = EncodeJpeg(8, 8, std::vector<ARGB>(64, 0xFF808080));
    // JFIF APP0 right after SOI: units at offset 13, densities at 14 and 16.
    ASSERT_EQ(0xE0, jpeg[3]);
    jpeg[13] = 1;
    jpeg[14] = 0;
    jpeg[15] = 200;
    jpeg[16] = 0;
    jpeg[17] = 100;
    GpBitmap* bitmap = nullptr;
    ASSERT_EQ(Ok, DecodeStream(jpeg, &bitmap));
    REAL x = 0, y = 0;
    GdipGetImageHorizontalResolution(bitmap, &x);
    GdipGetImageVerticalResolution(bitmap, &y);
    EXPECT_FLOAT_EQ(200.0f, x);
    EXPECT_FLOAT_EQ(100.0f, y);
    GdipDisposeImage(bitmap);
}

TEST(Decode, BadDataGivesAnErrorAndNoBitmap)
{
    const std::vector<BYTE> jpeg = EncodeJpeg(64, 64, Gradient(64, 64, false));
    const std::vector<BYTE> png = EncodePng(16, 16, Gradient(16, 16, true), true);
    std::vector<BYTE> corruptPng = png;
    corruptPng[45] ^= 0xFF;  // inside IDAT's data: the CRC no longer matches
    const struct {
        const char* name;
        std::vector<BYTE> bytes;
    } cases[] = {
        {"empty", {}},
        {"text", {'h', 'e', 'l', 'l', 'o'}},
        {"truncated jpeg", std::vector<BYTE>(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(jpeg.size() / 2))},
        {"jpeg header only", std::vector<BYTE>(jpeg.begin(), jpeg.begin() + 20)},
        {"truncated png", std::vector<BYTE>(png.begin(), png.begin() + std::ptrdiff_t(png.size() - 20))},
        {"corrupt png", corruptPng},
    };
    TempFolder folder;
    for (const auto& c : cases) {
        GpBitmap* bitmap = reinterpret_cast<GpBitmap*>(1);
        EXPECT_EQ(InvalidParameter, DecodeStream(c.bytes, &bitmap)) << c.name;
        EXPECT_EQ(nullptr, bitmap) << c.name;
        const std::string path = folder.Write("bad.img", c.bytes);
        bitmap = reinterpret_cast<GpBitmap*>(1);
        EXPECT_EQ(OutOfMemory, GdipCreateBitmapFromFile(TempFolder::Wide(path).c_str(), &bitmap)) << c.name;
        EXPECT_EQ(nullptr, bitmap) << c.name;
    }
}

TEST(Decode, HugeDimensionsAreRefusedFromTheHeader)
{
    std::vector<BYTE> jpeg = EncodeJpeg(16, 16, Gradient(16, 16, false));
    PatchJpegSize(&jpeg, 60000, 60000);  // 3.6 gigapixels, about 14 GB decoded
    GpBitmap* bitmap = nullptr;
    EXPECT_EQ(OutOfMemory, DecodeStream(jpeg, &bitmap));
    EXPECT_EQ(nullptr, bitmap);

    // PNG: IHDR claims 100000 x 100000; the CRC is fixed up so only the size is wrong.
    std::vector<BYTE> png = EncodePng(4, 4, Gradient(4, 4, true), true);
    for (int i = 0; i < 2; ++i) {
        const DWORD v = 100000;
        for (int b = 0; b < 4; ++b)
            png[std::size_t(16 + 4 * i + b)] = BYTE(v >> (24 - 8 * b));
    }
    DWORD crc = 0xFFFFFFFF;
    for (std::size_t k = 12; k < 29; ++k) {
        crc ^= png[k];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    crc ^= 0xFFFFFFFF;
    for (int b = 0; b < 4; ++b)
        png[std::size_t(29 + b)] = BYTE(crc >> (24 - 8 * b));
    EXPECT_NE(Ok, DecodeStream(png, &bitmap));
    EXPECT_EQ(nullptr, bitmap);

    // An A4 page at 1200 dpi is within the limit: only the missing rows fail it.
    jpeg = EncodeJpeg(16, 16, Gradient(16, 16, false));
    PatchJpegSize(&jpeg, 9920, 14030);
    EXPECT_EQ(InvalidParameter, DecodeStream(jpeg, &bitmap));
}

TEST(Decode, ArgumentsAndMissingFiles)
{
    GpBitmap* bitmap = nullptr;
    EXPECT_EQ(InvalidParameter, GdipCreateBitmapFromFile(nullptr, &bitmap));
    EXPECT_EQ(InvalidParameter, GdipCreateBitmapFromFile(u"/nonexistent/x.jpg", nullptr));
    EXPECT_EQ(InvalidParameter, GdipCreateBitmapFromFile(u"/nonexistent/x.jpg", &bitmap));
    EXPECT_EQ(InvalidParameter, GdipCreateBitmapFromStream(nullptr, &bitmap));
    TempFolder folder;
    const std::string dir = folder.Write("f", {}) + "/..";
    EXPECT_EQ(InvalidParameter, GdipCreateBitmapFromFile(TempFolder::Wide(dir).c_str(), &bitmap));
}

TEST(Decode, FileStaysHeldUntilTheBitmapIsDisposed)
{
    TempFolder folder;
    const std::string path = folder.Write("prev_1.png", EncodePng(4, 4, Gradient(4, 4, true), true));
    const std::u16string wide = TempFolder::Wide(path);
    GpBitmap* bitmap = nullptr;
    ASSERT_EQ(Ok, GdipCreateBitmapFromFile(wide.c_str(), &bitmap));
    EXPECT_FALSE(DeleteFileW(wide.c_str()));
    EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), GetLastError());
    GdipDisposeImage(bitmap);
    EXPECT_TRUE(DeleteFileW(wide.c_str()));

    // A failed decode holds nothing; the wrapper's bitmap is empty.
    const std::string broken = folder.Write("broken.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0x00});
    Bitmap* wrapper = Bitmap::FromFile(TempFolder::Wide(broken).c_str());
    ASSERT_NE(nullptr, wrapper);
    EXPECT_EQ(OutOfMemory, wrapper->GetLastStatus());
    EXPECT_EQ(0u, wrapper->GetWidth());
    delete wrapper;
    EXPECT_TRUE(DeleteFileW(TempFolder::Wide(broken).c_str()));
}

}  // namespace
