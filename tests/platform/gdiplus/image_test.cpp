// Bitmaps: creation, pixels, LockBits, clones, resolution and the eight RotateFlip moves.
#include "gdiplus_test.h"

#include <malloc.h>

#include <cstring>

namespace {

// a b c
// d e f
const ARGB A = 0xFF0000A1, B = 0xFF0000B2, C = 0xFF0000C3, D = 0xFF0000D4, E = 0xFF0000E5, F = 0xFF0000F6;

struct RotateCase {
    RotateFlipType type;
    int width, height;
    std::vector<ARGB> pixels;
};

TEST(RotateFlip, EveryTypeMovesEachPixelWhereGdiplusPutsIt)
{
    const RotateCase cases[] = {
        {RotateNoneFlipNone, 3, 2, {A, B, C, D, E, F}},
        {Rotate90FlipNone, 2, 3, {D, A, E, B, F, C}},
        {Rotate180FlipNone, 3, 2, {F, E, D, C, B, A}},
        {Rotate270FlipNone, 2, 3, {C, F, B, E, A, D}},
        {RotateNoneFlipX, 3, 2, {C, B, A, F, E, D}},
        {Rotate90FlipX, 2, 3, {A, D, B, E, C, F}},
        {Rotate180FlipX, 3, 2, {D, E, F, A, B, C}},
        {Rotate270FlipX, 2, 3, {F, C, E, B, D, A}},
    };
    for (const RotateCase& c : cases) {
        GpBitmap* bitmap = MakeBitmap(3, 2, {A, B, C, D, E, F});
        ASSERT_EQ(Ok, GdipImageRotateFlip(bitmap, c.type));
        UINT width = 0, height = 0;
        GdipGetImageWidth(bitmap, &width);
        GdipGetImageHeight(bitmap, &height);
        EXPECT_EQ(UINT(c.width), width) << "type " << c.type;
        EXPECT_EQ(UINT(c.height), height) << "type " << c.type;
        EXPECT_EQ(c.pixels, ReadPixels(bitmap)) << "type " << c.type;
        GdipDisposeImage(bitmap);
    }
}

TEST(RotateFlip, BlockedTransposeMatchesPixelRuleOnOddSizes)
{
    // 9 x 6 exercises both the 4 x 4 blocks and the leftover rows and columns.
    const int w = 9, h = 6;
    std::vector<ARGB> pixels;
    for (int i = 0; i < w * h; ++i)
        pixels.push_back(0xFF000000u | ARGB(i));
    for (RotateFlipType type : {Rotate90FlipNone, Rotate270FlipNone, Rotate90FlipX, Rotate270FlipX}) {
        GpBitmap* bitmap = MakeBitmap(w, h, pixels);
        ASSERT_EQ(Ok, GdipImageRotateFlip(bitmap, type));
        const bool revX = type == Rotate270FlipNone || type == Rotate270FlipX;
        const bool revY = type == Rotate90FlipNone || type == Rotate270FlipX;
        for (int yd = 0; yd < w; ++yd)
            for (int xd = 0; xd < h; ++xd) {
                const int xs = revX ? w - 1 - yd : yd, ys = revY ? h - 1 - xd : xd;
                ASSERT_EQ(pixels[std::size_t(ys * w + xs)], PixelAt(bitmap, xd, yd)) << type << " at " << xd << "," << yd;
            }
        GdipDisposeImage(bitmap);
    }
}

TEST(RotateFlip, RejectsUnknownTypesAndLockedBitmaps)
{
    GpBitmap* bitmap = MakeBitmap(3, 2, {A, B, C, D, E, F});
    // Numbers outside the enumeration, as a C caller may pass them (a clang UB-sanitizer build
    // used to stop on loading them).
    EXPECT_EQ(InvalidParameter, GdipImageRotateFlip(bitmap, RotateFlipType(8)));
    EXPECT_EQ(InvalidParameter, GdipImageRotateFlip(bitmap, RotateFlipType(-1)));
    EXPECT_EQ(InvalidParameter, GdipImageRotateFlip(nullptr, Rotate90FlipNone));
    BitmapData data{};
    ASSERT_EQ(Ok, GdipBitmapLockBits(bitmap, nullptr, ImageLockModeRead, PixelFormat32bppARGB, &data));
    EXPECT_EQ(WrongState, GdipImageRotateFlip(bitmap, Rotate90FlipNone));
    GdipBitmapUnlockBits(bitmap, &data);
    GdipDisposeImage(bitmap);
}

TEST(Bitmap, NewBitmapsStartZeroedInTheirFormat)
{
    GpBitmap* argb = nullptr;
    GpBitmap* rgb = nullptr;
    ASSERT_EQ(Ok, GdipCreateBitmapFromScan0(4, 3, 0, PixelFormat32bppARGB, nullptr, &argb));
    ASSERT_EQ(Ok, GdipCreateBitmapFromScan0(4, 3, 0, PixelFormat24bppRGB, nullptr, &rgb));
    EXPECT_EQ(std::vector<ARGB>(12, 0x00000000), ReadPixels(argb));
    EXPECT_EQ(std::vector<ARGB>(12, 0xFF000000), ReadPixels(rgb));
    // A pixel format without alpha keeps every pixel opaque.
    EXPECT_EQ(Ok, GdipBitmapSetPixel(rgb, 1, 1, 0x10203040));
    EXPECT_EQ(0xFF203040u, PixelAt(rgb, 1, 1));
    GdipDisposeImage(argb);
    GdipDisposeImage(rgb);
}

TEST(Bitmap, CreationValidatesItsArguments)
{
    GpBitmap* bitmap = reinterpret_cast<GpBitmap*>(1);
    EXPECT_EQ(InvalidParameter, GdipCreateBitmapFromScan0(0, 3, 0, PixelFormat32bppARGB, nullptr, &bitmap));
    EXPECT_EQ(nullptr, bitmap);
    EXPECT_EQ(InvalidParameter, GdipCreateBitmapFromScan0(3, -1, 0, PixelFormat32bppARGB, nullptr, &bitmap));
    EXPECT_EQ(InvalidParameter, GdipCreateBitmapFromScan0(3, 3, 0, PixelFormat32bppARGB, nullptr, nullptr));
    BYTE memory[64] = {};
    EXPECT_EQ(InvalidParameter, GdipCreateBitmapFromScan0(4, 2, 6, PixelFormat32bppARGB, memory, &bitmap));
    EXPECT_EQ(OutOfMemory, GdipCreateBitmapFromScan0(100000, 100000, 0, PixelFormat32bppARGB, nullptr, &bitmap));

    // Pixel access outside the image is refused.
    bitmap = MakeBitmap(3, 2, {A, B, C, D, E, F});
    ARGB color = 0;
    EXPECT_EQ(InvalidParameter, GdipBitmapGetPixel(bitmap, 3, 0, &color));
    EXPECT_EQ(InvalidParameter, GdipBitmapGetPixel(bitmap, 0, -1, &color));
    EXPECT_EQ(InvalidParameter, GdipBitmapSetPixel(bitmap, 0, 2, 0));
    EXPECT_EQ(InvalidParameter, GdipBitmapGetPixel(bitmap, 0, 0, nullptr));
    GdipDisposeImage(bitmap);
}

TEST(Bitmap, Scan0BitmapsUseTheCallersMemory)
{
    DWORD memory[2][4] = {{1, 2, 3, 4}, {5, 6, 7, 8}};
    GpBitmap* bitmap = nullptr;
    ASSERT_EQ(Ok, GdipCreateBitmapFromScan0(3, 2, 16, PixelFormat32bppARGB, reinterpret_cast<BYTE*>(memory), &bitmap));
    EXPECT_EQ(7u, PixelAt(bitmap, 2, 1));
    GdipBitmapSetPixel(bitmap, 0, 1, 0xFFABCDEF);
    EXPECT_EQ(0xFFABCDEFu, memory[1][0]);
    EXPECT_EQ(4u, memory[0][3]);  // the padding column is not touched
    GdipDisposeImage(bitmap);
}

// The pixels of a disposed picture larger than a scanned page go back to the system at once.
// Formerly the last one disposed stayed held for reuse, whatever its size: a 14000 x 14000
// picture left 780 MB behind. The sanitizers' allocators keep freed memory on purpose.
TEST(Bitmap, DisposingALargePictureGivesItsMemoryBack)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer holds freed memory in quarantine";
#else
    const std::size_t cbHeldBefore = mallinfo2().hblkhd;
    for (const RotateFlipType turn : {RotateNoneFlipNone, Rotate90FlipNone}) {
        GpBitmap* bitmap = nullptr;
        ASSERT_EQ(Ok, GdipCreateBitmapFromScan0(6000, 5000, 0, PixelFormat32bppARGB, nullptr, &bitmap));
        ASSERT_EQ(Ok, GdipImageRotateFlip(bitmap, turn));  // a turn replaces the pixels
        EXPECT_GE(mallinfo2().hblkhd, cbHeldBefore + 6000u * 5000u * 4u);
        GdipDisposeImage(bitmap);
        EXPECT_LT(mallinfo2().hblkhd, cbHeldBefore + 1024u * 1024u) << "turn " << turn;
    }
#endif
}

TEST(Bitmap, ResolutionIsKeptAndValidated)
{
    GpBitmap* bitmap = MakeBitmap(3, 2, {A, B, C, D, E, F});
    REAL x = 0, y = 0;
    GdipGetImageHorizontalResolution(bitmap, &x);
    EXPECT_FLOAT_EQ(96.0f, x);
    ASSERT_EQ(Ok, GdipBitmapSetResolution(bitmap, 75.0f, 150.0f));
    GdipGetImageHorizontalResolution(bitmap, &x);
    GdipGetImageVerticalResolution(bitmap, &y);
    EXPECT_FLOAT_EQ(75.0f, x);
    EXPECT_FLOAT_EQ(150.0f, y);
    EXPECT_EQ(InvalidParameter, GdipBitmapSetResolution(bitmap, 0.0f, 75.0f));
    EXPECT_EQ(InvalidParameter, GdipBitmapSetResolution(bitmap, 75.0f, -1.0f));
    // A quarter turn swaps the axes and their resolutions.
    GdipImageRotateFlip(bitmap, Rotate90FlipNone);
    GdipGetImageHorizontalResolution(bitmap, &x);
    EXPECT_FLOAT_EQ(150.0f, x);
    GdipDisposeImage(bitmap);
}

TEST(CloneBitmapArea, CopiesTheAreaIntoTheRequestedFormat)
{
    GpBitmap* src = MakeBitmap(3, 2, {A, B, 0x80112233, D, E, F});
    GpBitmap* clone = nullptr;
    ASSERT_EQ(Ok, GdipCloneBitmapAreaI(1, 0, 2, 2, PixelFormat32bppARGB, src, &clone));
    EXPECT_EQ((std::vector<ARGB>{B, 0x80112233, E, F}), ReadPixels(clone));
    GdipDisposeImage(clone);
    ASSERT_EQ(Ok, GdipCloneBitmapAreaI(1, 0, 2, 1, PixelFormat24bppRGB, src, &clone));
    EXPECT_EQ((std::vector<ARGB>{B, 0xFF112233}), ReadPixels(clone));
    GdipDisposeImage(clone);
    EXPECT_EQ(InvalidParameter, GdipCloneBitmapAreaI(2, 0, 2, 2, PixelFormat32bppARGB, src, &clone));
    EXPECT_EQ(InvalidParameter, GdipCloneBitmapAreaI(0, 0, 0, 2, PixelFormat32bppARGB, src, &clone));
    EXPECT_EQ(InvalidParameter, GdipCloneBitmapAreaI(0, 0, 1, 1, PixelFormat32bppARGB, nullptr, &clone));
    GdipDisposeImage(src);
}

TEST(Wrappers, BitmapCloneAndFailedBitmapsReadAsEmpty)
{
    Bitmap bitmap(5, 4, PixelFormat32bppARGB);
    ASSERT_EQ(Ok, bitmap.GetLastStatus());
    bitmap.SetPixel(4, 3, Color(0xFF123456));
    Bitmap* clone = bitmap.Clone(Rect(0, 0, 5, 4), PixelFormat32bppARGB);
    Color color;
    ASSERT_EQ(Ok, clone->GetPixel(4, 3, &color));
    EXPECT_EQ(0xFF123456u, color.GetValue());
    delete clone;

    Bitmap failed(0, 0);
    EXPECT_EQ(InvalidParameter, failed.GetLastStatus());
    EXPECT_EQ(0u, failed.GetWidth());
    EXPECT_EQ(0u, failed.GetHeight());
}

// ---- LockBits ----

TEST(LockBits, DirectArgbLockHasTheImageStrideAndWritesThrough)
{
    GpBitmap* bitmap = MakeBitmap(3, 2, {A, B, C, D, E, F});
    const Rect rect(1, 0, 2, 2);
    BitmapData data{};
    ASSERT_EQ(Ok, GdipBitmapLockBits(bitmap, &rect, ImageLockModeRead | ImageLockModeWrite, PixelFormat32bppARGB, &data));
    EXPECT_EQ(2u, data.Width);
    EXPECT_EQ(2u, data.Height);
    EXPECT_EQ(12, data.Stride);
    EXPECT_EQ(PixelFormat32bppARGB, data.PixelFormat);
    auto* row0 = static_cast<DWORD*>(data.Scan0);
    auto* row1 = reinterpret_cast<DWORD*>(static_cast<BYTE*>(data.Scan0) + data.Stride);
    EXPECT_EQ(B, row0[0]);
    EXPECT_EQ(F, row1[1]);
    row1[0] = 0x11223344;
    ASSERT_EQ(Ok, GdipBitmapUnlockBits(bitmap, &data));
    EXPECT_EQ((std::vector<ARGB>{A, B, C, D, 0x11223344, F}), ReadPixels(bitmap));
    GdipDisposeImage(bitmap);
}

TEST(LockBits, ConvertingLocksReadAndWriteBack)
{
    GpBitmap* bitmap = MakeBitmap(3, 2, {A, B, C, D, E, 0x80FF0000});
    BitmapData data{};
    ASSERT_EQ(Ok, GdipBitmapLockBits(bitmap, nullptr, ImageLockModeRead | ImageLockModeWrite, PixelFormat24bppRGB, &data));
    EXPECT_EQ(12, data.Stride);  // 9 bytes rounded up to a multiple of 4
    BYTE* row1 = static_cast<BYTE*>(data.Scan0) + data.Stride;
    EXPECT_EQ(0xE5, row1[3]);  // blue of E
    row1[0] = 0x01;            // D becomes blue 1, green 0, red 0
    ASSERT_EQ(Ok, GdipBitmapUnlockBits(bitmap, &data));
    EXPECT_EQ(0xFF000001u, PixelAt(bitmap, 0, 1));
    EXPECT_EQ(0xFFFF0000u, PixelAt(bitmap, 2, 1));  // written back opaque through 24 bpp

    ASSERT_EQ(Ok, GdipBitmapLockBits(bitmap, nullptr, ImageLockModeRead, PixelFormat32bppPARGB, &data));
    GdipBitmapUnlockBits(bitmap, &data);
    GdipDisposeImage(bitmap);

    GpBitmap* translucent = MakeBitmap(1, 1, {0x80FF0000});
    ASSERT_EQ(Ok, GdipBitmapLockBits(translucent, nullptr, ImageLockModeRead, PixelFormat32bppPARGB, &data));
    EXPECT_EQ(0x80800000u, *static_cast<DWORD*>(data.Scan0));  // 255 * 128 / 255
    GdipBitmapUnlockBits(translucent, &data);
    GdipDisposeImage(translucent);
}

TEST(LockBits, UserBufferReceivesPixelsAndIsWrittenBack)
{
    GpBitmap* bitmap = MakeBitmap(3, 2, {A, B, C, D, E, F});
    DWORD buffer[2][5] = {};
    BitmapData data{};
    data.Scan0 = buffer;
    data.Stride = 20;
    const Rect rect(0, 0, 3, 2);
    ASSERT_EQ(Ok, GdipBitmapLockBits(bitmap, &rect, ImageLockModeRead | ImageLockModeWrite | ImageLockModeUserInputBuf,
                                     PixelFormat32bppARGB, &data));
    EXPECT_EQ(static_cast<void*>(buffer), data.Scan0);
    EXPECT_EQ(C, buffer[0][2]);
    EXPECT_EQ(D, buffer[1][0]);
    buffer[1][2] = 0xFF010203;
    ASSERT_EQ(Ok, GdipBitmapUnlockBits(bitmap, &data));
    EXPECT_EQ(0xFF010203u, PixelAt(bitmap, 2, 1));
    GdipDisposeImage(bitmap);
}

// A caller's buffer may start at any byte and have a stride that is no multiple of 4.
// Formerly its 32-bit pixels were read and written as misaligned DWORDs (undefined behaviour,
// which the sanitizer builds stop on).
TEST(LockBits, UserBufferAtAnyAlignment)
{
    for (const PixelFormat format : {PixelFormat32bppARGB, PixelFormat32bppPARGB}) {
        SCOPED_TRACE(format);
        GpBitmap* bitmap = MakeBitmap(3, 2, {A, B, C, D, E, F});
        std::vector<BYTE> buffer(64, 0);
        BitmapData data{};
        data.Scan0 = buffer.data() + 1;
        data.Stride = 13;
        const Rect rect(0, 0, 3, 2);
        ASSERT_EQ(Ok, GdipBitmapLockBits(bitmap, &rect, ImageLockModeRead | ImageLockModeWrite | ImageLockModeUserInputBuf,
                                         format, &data));
        DWORD pixel = 0;
        std::memcpy(&pixel, buffer.data() + 1 + 13 + 2 * 4, 4);
        EXPECT_EQ(F, pixel);  // opaque: the same in both formats
        pixel = 0xFF102030;
        std::memcpy(buffer.data() + 1 + 4, &pixel, 4);
        ASSERT_EQ(Ok, GdipBitmapUnlockBits(bitmap, &data));
        EXPECT_EQ(0xFF102030u, PixelAt(bitmap, 1, 0));
        EXPECT_EQ(E, PixelAt(bitmap, 1, 1));
        GdipDisposeImage(bitmap);
    }
}

TEST(LockBits, RefusesBadRectanglesModesAndASecondLock)
{
    GpBitmap* bitmap = MakeBitmap(3, 2, {A, B, C, D, E, F});
    BitmapData data{};
    const Rect outside(2, 0, 2, 2), negative(-1, 0, 2, 2), empty(0, 0, 0, 2);
    EXPECT_EQ(InvalidParameter, GdipBitmapLockBits(bitmap, &outside, ImageLockModeRead, PixelFormat32bppARGB, &data));
    EXPECT_EQ(InvalidParameter, GdipBitmapLockBits(bitmap, &negative, ImageLockModeRead, PixelFormat32bppARGB, &data));
    EXPECT_EQ(InvalidParameter, GdipBitmapLockBits(bitmap, &empty, ImageLockModeRead, PixelFormat32bppARGB, &data));
    EXPECT_EQ(InvalidParameter, GdipBitmapLockBits(bitmap, nullptr, 0, PixelFormat32bppARGB, &data));
    EXPECT_EQ(InvalidParameter, GdipBitmapLockBits(bitmap, nullptr, ImageLockModeRead, PixelFormat32bppARGB, nullptr));
    EXPECT_EQ(WrongState, GdipBitmapUnlockBits(bitmap, &data));  // nothing is locked

    ASSERT_EQ(Ok, GdipBitmapLockBits(bitmap, nullptr, ImageLockModeRead, PixelFormat32bppARGB, &data));
    BitmapData second{};
    EXPECT_EQ(WrongState, GdipBitmapLockBits(bitmap, nullptr, ImageLockModeRead, PixelFormat32bppARGB, &second));
    ARGB color = 0;
    EXPECT_EQ(WrongState, GdipBitmapGetPixel(bitmap, 0, 0, &color));
    EXPECT_EQ(Ok, GdipBitmapUnlockBits(bitmap, &data));
    EXPECT_EQ(WrongState, GdipBitmapUnlockBits(bitmap, &data));
    GdipDisposeImage(bitmap);
}

TEST(LockBits, ReadOnlyConvertingLockLeavesTheImageAlone)
{
    GpBitmap* bitmap = MakeBitmap(2, 1, {0x80102030, A});
    BitmapData data{};
    ASSERT_EQ(Ok, GdipBitmapLockBits(bitmap, nullptr, ImageLockModeRead, PixelFormat24bppRGB, &data));
    std::memset(data.Scan0, 0, 6);
    GdipBitmapUnlockBits(bitmap, &data);
    EXPECT_EQ((std::vector<ARGB>{0x80102030, A}), ReadPixels(bitmap));
    GdipDisposeImage(bitmap);
}

TEST(Startup, ValidatesInputAndVersion)
{
    ULONG_PTR token = 0;
    GdiplusStartupInput input;
    EXPECT_EQ(InvalidParameter, GdiplusStartup(nullptr, &input, nullptr));
    EXPECT_EQ(InvalidParameter, GdiplusStartup(&token, nullptr, nullptr));
    input.GdiplusVersion = 4;
    EXPECT_EQ(UnsupportedGdiplusVersion, GdiplusStartup(&token, &input, nullptr));
    input.GdiplusVersion = 1;
    input.SuppressBackgroundThread = TRUE;
    EXPECT_EQ(InvalidParameter, GdiplusStartup(&token, &input, nullptr));
    GdiplusStartupOutput output{};
    ASSERT_EQ(Ok, GdiplusStartup(&token, &input, &output));
    EXPECT_NE(nullptr, output.NotificationHook);
    EXPECT_NE(0u, token);
    GdiplusShutdown(token);
}

}  // namespace
