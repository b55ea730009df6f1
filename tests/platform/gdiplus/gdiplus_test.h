// Shared pieces of the GDI+ tests: GDI+ started for the whole program, bitmaps made from
// pixel lists and read back, an IStream over memory, and encoders that write test images
// with libpng and libjpeg directly (independent of the decoder under test).
#pragma once

#include <gdiplus.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

class GdiplusEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        GdiplusStartupInput input;
        ASSERT_EQ(Ok, GdiplusStartup(&token_, &input, nullptr));
    }
    void TearDown() override { GdiplusShutdown(token_); }

private:
    ULONG_PTR token_ = 0;
};

// A 32bppARGB bitmap holding pixels row by row.
GpBitmap* MakeBitmap(int width, int height, const std::vector<ARGB>& pixels);
// Every pixel of a bitmap row by row, read through GdipBitmapGetPixel.
std::vector<ARGB> ReadPixels(GpBitmap* bitmap);
ARGB PixelAt(GpBitmap* bitmap, int x, int y);

// Encoders for test images: straight RGBA rows for PNG, RGB rows for JPEG.
std::vector<BYTE> EncodePng(int width, int height, const std::vector<ARGB>& pixels, bool alpha);
std::vector<BYTE> EncodeJpeg(int width, int height, const std::vector<ARGB>& pixels, int quality = 95);
// Raw samples as given: 1 byte a pixel for PNG_COLOR_TYPE_GRAY (0), 4 for a CMYK JPEG.
std::vector<BYTE> EncodeGrayPng(int width, int height, const std::vector<BYTE>& samples);
std::vector<BYTE> EncodeCmykJpeg(int width, int height, const std::vector<BYTE>& samples);

// An IStream over a copy of some bytes.
IStream* NewMemoryStream(const std::vector<BYTE>& bytes);

// A file in a fresh temporary folder, removed with the folder.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    std::string Write(const std::string& name, const std::vector<BYTE>& bytes) const;
    static std::u16string Wide(const std::string& path);

private:
    std::string path_;
};
