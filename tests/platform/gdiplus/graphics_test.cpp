// Graphics: fills and their alpha arithmetic, image draws (copies, scaling, transforms,
// colour matrix and threshold), antialiased lines with caps, and drawing into a DC.
#include "gdiplus_test.h"

#include <wingdi.h>

#include <cmath>
#include <cstdlib>

namespace {

const ARGB kWhite = 0xFFFFFFFF, kBlack = 0xFF000000;

struct Canvas {
    GpBitmap* bitmap = nullptr;
    GpGraphics* graphics = nullptr;
    Canvas(int width, int height, ARGB background = kWhite)
    {
        EXPECT_EQ(Ok, GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &bitmap));
        EXPECT_EQ(Ok, GdipGetImageGraphicsContext(bitmap, &graphics));
        GdipGraphicsClear(graphics, background);
    }
    ~Canvas()
    {
        GdipDeleteGraphics(graphics);
        GdipDisposeImage(bitmap);
    }
    void Fill(ARGB color, int x, int y, int w, int h)
    {
        GpSolidFill* brush = nullptr;
        GdipCreateSolidFill(color, &brush);
        EXPECT_EQ(Ok, GdipFillRectangleI(graphics, brush, x, y, w, h));
        GdipDeleteBrush(brush);
    }
};

int Channel(ARGB c, int shift) { return int((c >> shift) & 0xFF); }

// The first pixels of a wrapper bitmap's row.
std::vector<ARGB> Row(Bitmap& bitmap, int y, int count)
{
    std::vector<ARGB> row;
    for (int x = 0; x < count; ++x) {
        Color c;
        EXPECT_EQ(Ok, bitmap.GetPixel(x, y, &c));
        row.push_back(c.GetValue());
    }
    return row;
}

// ---- fills ----

TEST(Fill, HalfWhiteWashBlendsWithExactRounding)
{
    // Source-over on straight ARGB over opaque d: round((255 * 128 + d * 127) / 255) per
    // channel; the row is long enough for the four-pixel path and holds a translucent pixel
    // (alpha 128 + 128 * 127 / 255 -> 192, colour 255 * 128 * 255 / 48896 -> 170) and an
    // empty one (the source itself).
    Canvas canvas(11, 1);
    for (int x = 0; x < 11; ++x)
        GdipBitmapSetPixel(canvas.bitmap, x, 0, 0xFF000000u | ARGB(x * 23) * 0x010101u);
    GdipBitmapSetPixel(canvas.bitmap, 6, 0, 0x80000000);
    GdipBitmapSetPixel(canvas.bitmap, 9, 0, 0x00000000);
    canvas.Fill(0x80FFFFFF, 0, 0, 11, 1);
    for (int x = 0; x < 11; ++x) {
        const ARGB v = ARGB((255 * 128 + x * 23 * 127 + 127) / 255);  // never a tie here
        const ARGB expected = x == 6 ? 0xC0AAAAAAu : x == 9 ? 0x80FFFFFFu : 0xFF000000u | v * 0x010101u;
        EXPECT_EQ(expected, PixelAt(canvas.bitmap, x, 0)) << x;
    }
}

TEST(Fill, IntegerRectanglesFillExactlyTheirPixels)
{
    Canvas canvas(6, 4);
    canvas.Fill(kBlack, 1, 1, 3, 2);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool inside = x >= 1 && x < 4 && y >= 1 && y < 3;
            EXPECT_EQ(inside ? kBlack : kWhite, PixelAt(canvas.bitmap, x, y)) << x << "," << y;
        }
    GpSolidFill* brush = nullptr;
    GdipCreateSolidFill(kBlack, &brush);
    EXPECT_EQ(InvalidParameter, GdipFillRectangleI(nullptr, brush, 0, 0, 1, 1));
    EXPECT_EQ(InvalidParameter, GdipFillRectangleI(canvas.graphics, nullptr, 0, 0, 1, 1));
    EXPECT_EQ(Ok, GdipFillRectangleI(canvas.graphics, brush, 0, 0, -2, 1));  // nothing to fill
    EXPECT_EQ(kWhite, PixelAt(canvas.bitmap, 0, 0));
    GdipDeleteBrush(brush);
    GdipSetCompositingMode(canvas.graphics, CompositingModeSourceCopy);
    canvas.Fill(0x40102030, 0, 0, 1, 1);
    EXPECT_EQ(0x40102030u, PixelAt(canvas.bitmap, 0, 0)) << "source copy replaces instead of blending";
}

TEST(Fill, AntialiasedHalfPixelEdgesArePartial)
{
    // Pixel centres sit on integers by default, so an antialiased fill from 1 to 3 covers
    // pixels 1 and 3 by half and pixel 2 fully.
    Canvas canvas(5, 1);
    GdipSetSmoothingMode(canvas.graphics, SmoothingModeAntiAlias);
    canvas.Fill(kBlack, 1, -5, 2, 10);
    EXPECT_EQ(kWhite, PixelAt(canvas.bitmap, 0, 0));
    EXPECT_NEAR(128, Channel(PixelAt(canvas.bitmap, 1, 0), 0), 2);
    EXPECT_EQ(kBlack, PixelAt(canvas.bitmap, 2, 0));
    EXPECT_NEAR(128, Channel(PixelAt(canvas.bitmap, 3, 0), 0), 2);
    EXPECT_EQ(kWhite, PixelAt(canvas.bitmap, 4, 0));
}

// ---- images ----

TEST(DrawImage, UnscaledDrawCopiesAndBlendsAlpha)
{
    Canvas canvas(6, 4);
    GpBitmap* image = MakeBitmap(3, 2, {0xFF112233, 0xFF445566, 0x80000000, 0xFF778899, 0x00ABCDEF, 0xFFAABBCC});
    ASSERT_EQ(Ok, GdipDrawImageI(canvas.graphics, image, 2, 1));
    EXPECT_EQ(kWhite, PixelAt(canvas.bitmap, 1, 1));
    EXPECT_EQ(0xFF112233u, PixelAt(canvas.bitmap, 2, 1));
    EXPECT_EQ(0xFF445566u, PixelAt(canvas.bitmap, 3, 1));
    EXPECT_EQ(0xFF7F7F7Fu, PixelAt(canvas.bitmap, 4, 1));  // black at 128 over white: 255 * 127 / 255
    EXPECT_EQ(0xFF778899u, PixelAt(canvas.bitmap, 2, 2));
    EXPECT_EQ(kWhite, PixelAt(canvas.bitmap, 3, 2));       // fully transparent pixel
    EXPECT_EQ(0xFFAABBCCu, PixelAt(canvas.bitmap, 4, 2));
    EXPECT_EQ(kWhite, PixelAt(canvas.bitmap, 5, 2));
    GdipDisposeImage(image);
}

TEST(DrawImage, SourceRectangleAtScaleOneIsExactInEveryMode)
{
    std::vector<ARGB> pixels;
    for (int i = 0; i < 30; ++i)
        pixels.push_back(0xFF000000u | ARGB(i * 0x070503));
    GpBitmap* image = MakeBitmap(6, 5, pixels);
    for (InterpolationMode mode : {InterpolationModeNearestNeighbor, InterpolationModeBilinear,
                                   InterpolationModeHighQualityBicubic}) {
        Canvas canvas(4, 4);
        GdipSetInterpolationMode(canvas.graphics, mode);
        ASSERT_EQ(Ok, GdipDrawImageRectRectI(canvas.graphics, image, 1, 1, 3, 2, 2, 1, 3, 2, UnitPixel, nullptr,
                                             nullptr, nullptr));
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(pixels[std::size_t((1 + y) * 6 + 2 + x)], PixelAt(canvas.bitmap, 1 + x, 1 + y))
                    << "mode " << mode << " at " << x << "," << y;
        EXPECT_EQ(kWhite, PixelAt(canvas.bitmap, 0, 0));
        EXPECT_EQ(kWhite, PixelAt(canvas.bitmap, 1, 3));
    }
    GdipDisposeImage(image);
}

TEST(DrawImage, WorldScaleWithNearestNeighbourRepeatsPixels)
{
    Canvas canvas(5, 3);
    GpBitmap* image = MakeBitmap(2, 1, {0xFF0000FF, 0xFF00FF00});
    GdipSetInterpolationMode(canvas.graphics, InterpolationModeNearestNeighbor);
    GdipScaleWorldTransform(canvas.graphics, 2, 2, MatrixOrderPrepend);
    ASSERT_EQ(Ok, GdipDrawImageI(canvas.graphics, image, 0, 0));
    const std::vector<ARGB> row = {0xFF0000FF, 0xFF0000FF, 0xFF00FF00, 0xFF00FF00, kWhite};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(y < 2 ? row[std::size_t(x)] : kWhite, PixelAt(canvas.bitmap, x, y)) << x << "," << y;
    GdipRotateWorldTransform(canvas.graphics, 45, MatrixOrderPrepend);
    EXPECT_EQ(NotImplemented, GdipDrawImageI(canvas.graphics, image, 0, 0));
    GdipDisposeImage(image);
}

TEST(DrawImage, ZoomedDrawShowsTheRightPartOfTheSource)
{
    // Scale 100 with the destination starting far off the canvas: canvas pixel x has its centre
    // at source x (x + 195.5) / 100, so columns 0..4 show source column 1 and 5..9 column 2.
    std::vector<ARGB> pixels;
    for (int i = 0; i < 64; ++i)
        pixels.push_back(0xFF000000u | ARGB(i));
    GpBitmap* image = MakeBitmap(8, 8, pixels);
    Canvas canvas(10, 10);
    GdipSetInterpolationMode(canvas.graphics, InterpolationModeNearestNeighbor);
    ASSERT_EQ(Ok, GdipDrawImageRectRectI(canvas.graphics, image, -195, -195, 800, 800, 0, 0, 8, 8, UnitPixel, nullptr,
                                         nullptr, nullptr));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(pixels[std::size_t((y < 5 ? 1 : 2) * 8 + (x < 5 ? 1 : 2))], PixelAt(canvas.bitmap, x, y))
                << x << "," << y;
    GdipDisposeImage(image);
}

// A one-pixel black and white checkerboard drawn scaled down, as a page is into the view.
std::vector<int> ScaledCheckerboard(InterpolationMode mode, int srcSize, int dstSize)
{
    GpBitmap* board = nullptr;
    GdipCreateBitmapFromScan0(srcSize, srcSize, 0, PixelFormat32bppARGB, nullptr, &board);
    BitmapData data{};
    GdipBitmapLockBits(board, nullptr, ImageLockModeWrite, PixelFormat32bppARGB, &data);
    for (int y = 0; y < srcSize; ++y) {
        auto* row = reinterpret_cast<DWORD*>(static_cast<BYTE*>(data.Scan0) + y * data.Stride);
        for (int x = 0; x < srcSize; ++x)
            row[x] = ((x + y) & 1) ? kWhite : kBlack;
    }
    GdipBitmapUnlockBits(board, &data);
    Canvas canvas(dstSize, dstSize);
    GdipSetInterpolationMode(canvas.graphics, mode);
    EXPECT_EQ(Ok, GdipDrawImageRectI(canvas.graphics, board, 0, 0, dstSize, dstSize));
    std::vector<int> greens;
    for (int y = 0; y < dstSize; ++y)
        for (int x = 0; x < dstSize; ++x)
            greens.push_back(Channel(PixelAt(canvas.bitmap, x, y), 8));
    GdipDisposeImage(board);
    return greens;
}

TEST(DrawImage, HighQualityBicubicShrinkIsPrefilteredToGrey)
{
    // Every output pixel averages many source pixels: mid-grey within 1 level inside (the
    // rounding of 127.5), within 4 levels on the border row and column, where the repeated
    // edge pixel weighs more than the others.
    for (int srcSize : {400, 319}) {
        const std::vector<int> greens = ScaledCheckerboard(InterpolationModeHighQualityBicubic, srcSize, 100);
        for (std::size_t i = 0; i < greens.size(); ++i) {
            const int x = int(i % 100), y = int(i / 100);
            const bool border = x == 0 || y == 0 || x == 99 || y == 99;
            ASSERT_NEAR(127.5, greens[i], border ? 4.0 : 1.0) << "source " << srcSize << " at " << x << "," << y;
        }
    }
    // Nearest neighbour samples one source pixel each: a factor of 4 hits one colour only.
    const std::vector<int> nearest = ScaledCheckerboard(InterpolationModeNearestNeighbor, 400, 100);
    for (int v : nearest)
        ASSERT_TRUE(v == nearest[0] && (v == 0 || v == 255)) << v;
}

TEST(DrawImage, GreyscaleColourMatrix)
{
    const ColorMatrix grey = {{{0.299f, 0.299f, 0.299f, 0, 0},
                               {0.587f, 0.587f, 0.587f, 0, 0},
                               {0.114f, 0.114f, 0.114f, 0, 0},
                               {0, 0, 0, 1, 0},
                               {0, 0, 0, 0, 1}}};
    GpImageAttributes* attributes = nullptr;
    ASSERT_EQ(Ok, GdipCreateImageAttributes(&attributes));
    ASSERT_EQ(Ok, GdipSetImageAttributesColorMatrix(attributes, ColorAdjustTypeDefault, TRUE, &grey, nullptr,
                                                    ColorMatrixFlagsDefault));
    GpBitmap* image = MakeBitmap(2, 1, {0xFFC86432, 0xFFFFFFFF});
    Canvas canvas(2, 1, kBlack);
    ASSERT_EQ(Ok, GdipDrawImageRectRectI(canvas.graphics, image, 0, 0, 2, 1, 0, 0, 2, 1, UnitPixel, attributes,
                                         nullptr, nullptr));
    // 0.299 * 200 + 0.587 * 100 + 0.114 * 50 = 124.2 -> 124
    EXPECT_EQ(0xFF7C7C7Cu, PixelAt(canvas.bitmap, 0, 0));
    EXPECT_EQ(kWhite, PixelAt(canvas.bitmap, 1, 0));
    GdipDisposeImage(image);
    GdipDisposeImageAttributes(attributes);
}

TEST(DrawImage, BlackAndWhiteMatrixThenThreshold)
{
    const ColorMatrix bw = {{{0.85f, 0.85f, 0.85f, 0, 0},
                             {0.85f, 0.85f, 0.85f, 0, 0},
                             {0.85f, 0.85f, 0.85f, 0, 0},
                             {0, 0, 0, 1, 0},
                             {-1, -1, -1, 0, 1}}};
    Bitmap source(3, 1);
    source.SetPixel(0, 0, Color(0xFFC89632));  // 0.85 * 400 / 255 - 1 = 1/3 -> 85
    source.SetPixel(1, 0, Color(0xFFFAFAFA));  // 0.85 * 750 / 255 - 1 = 1.5, clamped to 255
    source.SetPixel(2, 0, Color(0xFF3C3C3C));  // 0.85 * 180 / 255 - 1 < 0, clamped to 0
    ImageAttributes attributes;
    ASSERT_EQ(Ok, attributes.SetColorMatrix(&bw));
    Bitmap target(3, 1);
    Graphics graphics(&target);
    ASSERT_EQ(Ok, graphics.DrawImage(&source, Rect(0, 0, 3, 1), 0, 0, 3, 1, UnitPixel, &attributes));
    EXPECT_EQ((std::vector<ARGB>{0xFF555555, 0xFFFFFFFF, 0xFF000000}), Row(target, 0, 3));

    // With the threshold 0.65 (165.75) every channel is full or zero: 85 falls to 0.
    ASSERT_EQ(Ok, attributes.SetThreshold(0.65f));
    ASSERT_EQ(Ok, graphics.DrawImage(&source, Rect(0, 0, 3, 1), 0, 0, 3, 1, UnitPixel, &attributes));
    EXPECT_EQ((std::vector<ARGB>{0xFF000000, 0xFFFFFFFF}), Row(target, 0, 2));
    EXPECT_EQ(InvalidParameter, attributes.SetThreshold(0.5f, ColorAdjustType(9)));

    // A threshold alone cuts each channel at its value (166 and above to 255); alpha stays.
    ImageAttributes thresholdOnly;
    thresholdOnly.SetThreshold(0.65f, ColorAdjustTypeBitmap);
    source.SetPixel(0, 0, Color(0xFFFFA6A5));
    graphics.SetCompositingMode(CompositingModeSourceCopy);
    ASSERT_EQ(Ok, graphics.DrawImage(&source, Rect(0, 0, 1, 1), 0, 0, 1, 1, UnitPixel, &thresholdOnly));
    EXPECT_EQ(0xFFFFFF00u, Row(target, 0, 1)[0]);
}

// ---- lines ----

std::vector<std::vector<int>> DrawSpoke(SmoothingMode smoothing, LineCap cap)
{
    Bitmap target(40, 20);
    Graphics graphics(&target);
    graphics.Clear(Color(kWhite));
    graphics.SetSmoothingMode(smoothing);
    Pen pen(Color(kBlack), 4.0f);
    pen.SetStartCap(cap);
    pen.SetEndCap(cap);
    EXPECT_EQ(Ok, graphics.DrawLine(&pen, 10, 10, 30, 10));
    std::vector<std::vector<int>> greens(20, std::vector<int>(40));
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x) {
            Color c;
            target.GetPixel(x, y, &c);
            greens[std::size_t(y)][std::size_t(x)] = c.GetGreen();
        }
    return greens;
}

TEST(DrawLine, AntialiasedRoundCapsHavePartialCoverageAtTheEnds)
{
    const auto round = DrawSpoke(SmoothingModeHighQuality, LineCapRound);
    EXPECT_EQ(0, round[10][20]);   // the middle of the stroke is fully covered
    EXPECT_EQ(255, round[10][35]);  // beyond the cap nothing is drawn
    EXPECT_LT(round[10][31], 64);   // the round cap reaches 2 pixels past the end point
    int partial = 0;
    for (int y = 6; y <= 14; ++y)
        for (int x = 30; x <= 33; ++x)
            partial += round[std::size_t(y)][std::size_t(x)] > 0 && round[std::size_t(y)][std::size_t(x)] < 255;
    EXPECT_GE(partial, 4);  // the cap's curve is antialiased
    // Rows 8 and 12 hold the stroke's edges (width 4 around row 10 with pixel centres on
    // integers): half covered.
    // Tolerance: cairo measures coverage on a grid of 17 sub-rows, so a half is 8 or 9 of them.
    EXPECT_NEAR(128, round[8][20], 10);
    EXPECT_NEAR(128, round[12][20], 10);

    const auto flat = DrawSpoke(SmoothingModeHighQuality, LineCapFlat);
    EXPECT_EQ(255, flat[10][31]);  // a flat end stops at the end point
    EXPECT_EQ(round[10][20], flat[10][20]);

    // Without smoothing every pixel is full or empty.
    int covered = 0;
    for (const auto& row : DrawSpoke(SmoothingModeNone, LineCapRound))
        for (int v : row) {
            ASSERT_TRUE(v == 0 || v == 255) << v;
            covered += v == 0;
        }
    EXPECT_GT(covered, 60);
}

TEST(DrawLine, SpokeThroughTranslateAndRotateTransforms)
{
    // The busy wheel's way: translate to the centre, rotate, draw from radius 9 to 18.
    Bitmap target(44, 44);
    Graphics graphics(&target);
    graphics.Clear(Color(kWhite));
    graphics.SetSmoothingMode(SmoothingModeHighQuality);
    graphics.TranslateTransform(22, 22);
    graphics.RotateTransform(90);
    Pen pen(Color(kBlack), 4.0f);
    pen.SetStartCap(LineCapRound);
    pen.SetEndCap(LineCapRound);
    ASSERT_EQ(Ok, graphics.DrawLine(&pen, 9.0f, 0.0f, 18.0f, 0.0f));
    Color c;
    target.GetPixel(22, 35, &c);  // a quarter turn clockwise points the spoke down
    EXPECT_EQ(0, c.GetGreen());
    target.GetPixel(35, 22, &c);
    EXPECT_EQ(255, c.GetGreen());
    target.GetPixel(22, 22, &c);  // the hub stays empty
    EXPECT_EQ(255, c.GetGreen());
}

TEST(DrawLine, PenArgumentsAreValidated)
{
    GpPen* pen = nullptr;
    EXPECT_EQ(InvalidParameter, GdipCreatePen1(kBlack, -1.0f, UnitWorld, &pen));
    EXPECT_EQ(InvalidParameter, GdipCreatePen1(kBlack, 1.0f, UnitWorld, nullptr));
    ASSERT_EQ(Ok, GdipCreatePen1(0x80FF0000, 2.0f, UnitPixel, &pen));
    EXPECT_EQ(InvalidParameter, GdipSetPenStartCap(pen, LineCap(9)));
    EXPECT_EQ(Ok, GdipSetPenLineCap197819(pen, LineCapRound, LineCapSquare, DashCapFlat));
    LineCap cap = LineCapFlat;
    GdipGetPenEndCap(pen, &cap);
    EXPECT_EQ(LineCapSquare, cap);
    Canvas canvas(4, 4);
    EXPECT_EQ(InvalidParameter, GdipDrawLine(canvas.graphics, nullptr, 0, 0, 1, 1));
    EXPECT_EQ(InvalidParameter, GdipDrawLine(canvas.graphics, pen, 0, 0, NAN, 1));
    EXPECT_EQ(Ok, GdipDrawLineI(canvas.graphics, pen, -100000, 2, 100000, 2));
    EXPECT_NE(kWhite, PixelAt(canvas.bitmap, 2, 2));
    GdipDeletePen(pen);
}

// ---- targets ----

struct DibDC {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    DWORD* bits = nullptr;
    DibDC(int width, int height)
    {
        BITMAPINFO info{{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
        dc = CreateCompatibleDC(nullptr);
        void* pixels = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
        bits = static_cast<DWORD*>(pixels);
        old = SelectObject(dc, bitmap);
    }
    ~DibDC()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
};

TEST(Targets, GraphicsOnADcBlendsColourIntoItsPixels)
{
    DibDC target(4, 2);
    ASSERT_NE(nullptr, target.bits);
    for (int i = 0; i < 8; ++i)
        target.bits[i] = 0x00646464;
    Graphics graphics(target.dc);
    ASSERT_EQ(Ok, graphics.GetLastStatus());
    SolidBrush wash{Color(0x80FFFFFF)};
    graphics.FillRectangle(&wash, 1, 0, 2, 2);
    // A DC has no alpha: colour blends as over an opaque pixel.
    EXPECT_EQ(0x646464u, target.bits[0] & 0xFFFFFF);
    EXPECT_EQ(0xB2B2B2u, target.bits[1] & 0xFFFFFF);
    EXPECT_EQ(0xB2B2B2u, target.bits[6] & 0xFFFFFF);
    EXPECT_EQ(0x646464u, target.bits[7] & 0xFFFFFF);
}

TEST(Targets, TheDcClipLimitsTheGraphics)
{
    DibDC target(4, 4);
    IntersectClipRect(target.dc, 1, 1, 3, 3);
    GpGraphics* graphics = nullptr;
    ASSERT_EQ(Ok, GdipCreateFromHDC(target.dc, &graphics));
    GdipGraphicsClear(graphics, 0xFF0000FF);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const bool inside = x >= 1 && x < 3 && y >= 1 && y < 3;
            EXPECT_EQ(inside ? 0xFFu : 0u, target.bits[y * 4 + x] & 0xFFFFFF) << x << "," << y;
        }
    GdipDeleteGraphics(graphics);
    EXPECT_EQ(OutOfMemory, GdipCreateFromHDC(nullptr, &graphics));
}

TEST(Targets, ABitmapWithALiveGraphicsCannotTurnAndOutlivingGraphicsDrawNothing)
{
    GpBitmap* bitmap = MakeBitmap(2, 1, {kWhite, kWhite});
    GpGraphics* graphics = nullptr;
    ASSERT_EQ(Ok, GdipGetImageGraphicsContext(bitmap, &graphics));
    EXPECT_EQ(ObjectBusy, GdipImageRotateFlip(bitmap, Rotate90FlipNone));
    EXPECT_EQ(Ok, GdipImageRotateFlip(bitmap, RotateNoneFlipX));  // in place: allowed
    GdipDisposeImage(bitmap);
    GpSolidFill* brush = nullptr;
    GdipCreateSolidFill(kBlack, &brush);
    EXPECT_EQ(Ok, GdipFillRectangleI(graphics, brush, 0, 0, 2, 1));  // no target left; no crash
    GdipDeleteBrush(brush);
    EXPECT_EQ(Ok, GdipDeleteGraphics(graphics));

    bitmap = MakeBitmap(1, 1, {kWhite});
    BitmapData data{};
    GdipBitmapLockBits(bitmap, nullptr, ImageLockModeRead, PixelFormat32bppARGB, &data);
    EXPECT_EQ(WrongState, GdipGetImageGraphicsContext(bitmap, &graphics)) << "a locked bitmap has no graphics";
    GdipBitmapUnlockBits(bitmap, &data);
    GdipDisposeImage(bitmap);
}

}  // namespace
