// Regions and clipping: every combine mode, and fills through XOR and exclusion clips that
// leave exactly the intended pixels.
#include "gdiplus_test.h"

#include <string>

namespace {

const ARGB kWhite = 0xFFFFFFFF, kGrey = 0xFF696969;

// Rows of the bitmap as text: '#' where the pixel is grey, '.' elsewhere.
std::vector<std::string> GreyMap(GpBitmap* bitmap)
{
    UINT width = 0, height = 0;
    GdipGetImageWidth(bitmap, &width);
    GdipGetImageHeight(bitmap, &height);
    std::vector<std::string> rows;
    for (UINT y = 0; y < height; ++y) {
        std::string row;
        for (UINT x = 0; x < width; ++x)
            row += PixelAt(bitmap, int(x), int(y)) == kGrey ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

// Which of the points of a 6 x 4 grid the region holds, as text rows.
std::vector<std::string> Membership(GpRegion* region)
{
    std::vector<std::string> rows;
    for (int y = 0; y < 4; ++y) {
        std::string row;
        for (int x = 0; x < 6; ++x) {
            BOOL visible = FALSE;
            GdipIsVisibleRegionPointI(region, x, y, nullptr, &visible);
            row += visible ? '#' : '.';
        }
        rows.push_back(row);
    }
    return rows;
}

struct Canvas {
    GpBitmap* bitmap = nullptr;
    GpGraphics* graphics = nullptr;
    GpSolidFill* grey = nullptr;
    Canvas(int width, int height)
    {
        GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &bitmap);
        GdipGetImageGraphicsContext(bitmap, &graphics);
        GdipGraphicsClear(graphics, kWhite);
        GdipCreateSolidFill(kGrey, &grey);
    }
    ~Canvas()
    {
        GdipDeleteBrush(grey);
        GdipDeleteGraphics(graphics);
        GdipDisposeImage(bitmap);
    }
};

TEST(Region, EveryCombineModeOfTwoOverlappingRectangles)
{
    const Rect a(0, 0, 4, 2), b(2, 1, 4, 3);
    const struct {
        CombineMode mode;
        std::vector<std::string> expected;
    } cases[] = {
        {CombineModeReplace, {"......", "..####", "..####", "..####"}},
        {CombineModeIntersect, {"......", "..##..", "......", "......"}},
        {CombineModeUnion, {"####..", "######", "..####", "..####"}},
        {CombineModeXor, {"####..", "##..##", "..####", "..####"}},
        {CombineModeExclude, {"####..", "##....", "......", "......"}},
        {CombineModeComplement, {"......", "....##", "..####", "..####"}},
    };
    for (const auto& c : cases) {
        GpRegion* region = nullptr;
        ASSERT_EQ(Ok, GdipCreateRegionRectI(&a, &region));
        ASSERT_EQ(Ok, GdipCombineRegionRectI(region, &b, c.mode));
        EXPECT_EQ(c.expected, Membership(region)) << "mode " << c.mode;
        GdipDeleteRegion(region);
    }
}

TEST(Region, RegionWithRegionInfiniteEmptyAndFloatRectangles)
{
    const Rect a(1, 1, 2, 2);
    GpRegion* infinite = nullptr;
    GpRegion* hole = nullptr;
    GdipCreateRegion(&infinite);
    GdipCreateRegionRectI(&a, &hole);
    ASSERT_EQ(Ok, GdipCombineRegionRegion(infinite, hole, CombineModeExclude));
    EXPECT_EQ((std::vector<std::string>{"######", "#..###", "#..###", "######"}), Membership(infinite));
    GdipSetEmpty(hole);
    EXPECT_EQ((std::vector<std::string>{"......", "......", "......", "......"}), Membership(hole));
    EXPECT_EQ(InvalidParameter, GdipCombineRegionRegion(infinite, hole, CombineMode(6)));
    EXPECT_EQ(InvalidParameter, GdipCombineRegionRectI(infinite, nullptr, CombineModeUnion));
    GdipDeleteRegion(infinite);
    GdipDeleteRegion(hole);

    // Float rectangles cover the pixels whose centres they hold: x 0.5 .. 2.5 holds 1 and 2.
    const RectF r(0.5f, 0.25f, 2.0f, 1.5f);
    GpRegion* region = nullptr;
    GdipCreateRegionRect(&r, &region);
    EXPECT_EQ((std::vector<std::string>{"......", ".##...", "......", "......"}), Membership(region));
    GdipDeleteRegion(region);
}

TEST(Clip, XorRegionExcludedLeavesExactlyTheLimitRectangle)
{
    // The paint's way of limiting a draw: client XOR limit, excluded from the clip.
    Canvas canvas(8, 6);
    const RectF client(0, 0, 8, 6), limit(2, 1, 3, 2);
    GpRegion* region = nullptr;
    GdipCreateRegionRect(&client, &region);
    ASSERT_EQ(Ok, GdipCombineRegionRect(region, &limit, CombineModeXor));
    ASSERT_EQ(Ok, GdipSetClipRegion(canvas.graphics, region, CombineModeExclude));
    GdipFillRectangleI(canvas.graphics, canvas.grey, 0, 0, 8, 6);
    EXPECT_EQ((std::vector<std::string>{"........", "..###...", "..###...", "........", "........", "........"}),
              GreyMap(canvas.bitmap));
    GdipDeleteRegion(region);
}

TEST(Clip, ExcludedFramesStayUntouched)
{
    Canvas canvas(8, 5);
    ASSERT_EQ(Ok, GdipSetClipRectI(canvas.graphics, 1, 1, 2, 2, CombineModeExclude));
    ASSERT_EQ(Ok, GdipSetClipRect(canvas.graphics, 4.0f, 0.0f, 3.0f, 3.0f, CombineModeExclude));
    GdipFillRectangle(canvas.graphics, canvas.grey, 0, 0, 8, 5);
    EXPECT_EQ((std::vector<std::string>{"####...#", "#..#...#", "#..#...#", "########", "########"}),
              GreyMap(canvas.bitmap));
    // ResetClip makes everything paintable again.
    GdipResetClip(canvas.graphics);
    GdipFillRectangleI(canvas.graphics, canvas.grey, 0, 0, 8, 5);
    EXPECT_EQ(std::vector<std::string>(5, "########"), GreyMap(canvas.bitmap));
}

TEST(Clip, FractionalLimitAndTheGreyAroundItMeetWithoutGapOrOverlap)
{
    // The image clipped to the upper 2.5 rows and the grey excluded from the same rectangle.
    Canvas canvas(4, 6);
    GpSolidFill* black = nullptr;
    GdipCreateSolidFill(0xFF000000, &black);
    const RectF limit(0, 0, 4, 2.5f);
    GdipSetClipRect(canvas.graphics, limit.X, limit.Y, limit.Width, limit.Height, CombineModeReplace);
    GdipFillRectangleI(canvas.graphics, black, 0, 0, 4, 6);
    GdipResetClip(canvas.graphics);
    GdipSetClipRect(canvas.graphics, limit.X, limit.Y, limit.Width, limit.Height, CombineModeExclude);
    GdipFillRectangleI(canvas.graphics, canvas.grey, 0, 0, 4, 6);
    for (int y = 0; y < 6; ++y)
        EXPECT_EQ(y < 3 ? 0xFF000000u : kGrey, PixelAt(canvas.bitmap, 0, y)) << y;
    GdipDeleteBrush(black);
}

TEST(Clip, FollowsTheWorldTransformAndRefusesTurns)
{
    Canvas canvas(8, 4);
    GdipTranslateWorldTransform(canvas.graphics, 3, 1, MatrixOrderPrepend);
    ASSERT_EQ(Ok, GdipSetClipRectI(canvas.graphics, 0, 0, 2, 2, CombineModeReplace));
    GdipResetWorldTransform(canvas.graphics);
    GdipFillRectangleI(canvas.graphics, canvas.grey, 0, 0, 8, 4);
    EXPECT_EQ((std::vector<std::string>{"........", "...##...", "...##...", "........"}), GreyMap(canvas.bitmap));
    GdipRotateWorldTransform(canvas.graphics, 30, MatrixOrderPrepend);
    EXPECT_EQ(NotImplemented, GdipSetClipRectI(canvas.graphics, 0, 0, 2, 2, CombineModeReplace));
    EXPECT_EQ(InvalidParameter, GdipSetClipRectI(canvas.graphics, 0, 0, 2, 2, CombineMode(7)));
}

}  // namespace
