// Rectangle, the brush fills of user32 and the opaque rectangle of ExtTextOutW.
#include "gdi_test_util.h"

namespace {

constexpr DWORD kRed = 0x00FF0000;

TEST(Rectangle, OutlineInsideTheBoundsFillExcludingRightAndBottomAndNullPen)
{
    TestCanvas canvas(10, 8);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HGDIOBJ oldBrush = SelectObject(canvas.dc, red);
    ASSERT_TRUE(Rectangle(canvas.dc, 2, 2, 8, 6));
    const std::vector<std::string> expected{"..........", "..........", "..######..", "..#rrrr#..",
                                            "..#rrrr#..", "..######..", "..........", ".........."};
    EXPECT_EQ(expected, canvas.Picture(kBlack, kWhite, 'r'));
    EXPECT_EQ(kRed, canvas.At(3, 3));
    SelectObject(canvas.dc, oldBrush);
    DeleteObject(red);

    // Reversed corners are normalised; with the null pen the fill is (8 - 2 - 1) x (6 - 2 - 1).
    canvas.Fill(kWhite);
    SelectObject(canvas.dc, GetStockObject(NULL_PEN));
    SelectObject(canvas.dc, GetStockObject(BLACK_BRUSH));
    ASSERT_TRUE(Rectangle(canvas.dc, 8, 6, 2, 2));
    const std::vector<std::string> noPen{"..........", "..........", "..#####...", "..#####...",
                                         "..#####...", "..........", "..........", ".........."};
    EXPECT_EQ(noPen, canvas.Picture(kBlack));
}

TEST(Rectangle, CornersAreDrawnOnceUnderXorAndTheHollowBrushLeavesTheInside)
{
    TestCanvas canvas(8, 8, 0x00101010);
    SelectObject(canvas.dc, GetStockObject(WHITE_PEN));
    SelectObject(canvas.dc, GetStockObject(NULL_BRUSH));
    SetROP2(canvas.dc, R2_XORPEN);
    ASSERT_TRUE(Rectangle(canvas.dc, 1, 1, 6, 5));
    const DWORD flipped = 0x00101010 ^ kWhite;
    const std::vector<std::string> expected{"........", ".#####..", ".#...#..", ".#...#..",
                                            ".#####..", "........", "........", "........"};
    EXPECT_EQ(expected, canvas.Picture(flipped, 0x00101010));
    ASSERT_TRUE(Rectangle(canvas.dc, 1, 1, 6, 5));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(0x00101010u, canvas.At(x, y));
}

TEST(Rectangle, BrushFillUsesTheBinaryRasterOperation)
{
    // The tracker's hatch inside a frame: null pen, R2_MASKNOTPEN, so the pattern's set
    // bits (background colour white) clear the destination and its zero bits keep it.
    const WORD rows[8] = {0x1111, 0x2222, 0x4444, 0x8888, 0x1111, 0x2222, 0x4444, 0x8888};
    HBITMAP pattern = CreateBitmap(8, 8, 1, 1, rows);
    HBRUSH hatch = CreatePatternBrush(pattern);
    TestCanvas canvas(8, 5, 0x00336699);
    SelectObject(canvas.dc, GetStockObject(NULL_PEN));
    SelectObject(canvas.dc, hatch);
    SetBkMode(canvas.dc, TRANSPARENT);
    SetROP2(canvas.dc, R2_MASKNOTPEN);
    ASSERT_TRUE(Rectangle(canvas.dc, 0, 0, 9, 5));
    const std::vector<std::string> expected{"...#...#", "..#...#.", ".#...#..", "#...#...", "........"};
    EXPECT_EQ(expected, canvas.Picture(0, 0x00336699));
    SelectObject(canvas.dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(hatch);
    DeleteObject(pattern);
}

TEST(ExtTextOut, OpaqueFillsTheRectangleWithTheBackgroundColour)
{
    TestCanvas canvas(6, 4);
    SetBkColor(canvas.dc, RGB(255, 0, 0));
    SetROP2(canvas.dc, R2_XORPEN);  // has no effect on the opaque rectangle
    const RECT rc{1, 1, 4, 3};
    ASSERT_TRUE(ExtTextOutW(canvas.dc, 0, 0, ETO_OPAQUE, &rc, u"", 0, nullptr));
    const std::vector<std::string> expected{"......", ".###..", ".###..", "......"};
    EXPECT_EQ(expected, canvas.Picture(kRed));
    // Without ETO_OPAQUE nothing is filled; characters draw nothing on this platform.
    canvas.Fill(kWhite);
    ASSERT_TRUE(ExtTextOutW(canvas.dc, 0, 0, 0, &rc, u"ab", 2, nullptr));
    EXPECT_EQ(std::vector<std::string>(4, "......"), canvas.Picture(kRed));
    EXPECT_FALSE(ExtTextOutW(canvas.dc, 0, 0, ETO_OPAQUE, &rc, nullptr, 3, nullptr));
}

TEST(UserFills, FillRectFrameRectInvertRect)
{
    TestCanvas canvas(6, 5);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    const RECT rc{1, 1, 5, 4};
    EXPECT_NE(0, FillRect(canvas.dc, &rc, red));
    EXPECT_EQ((std::vector<std::string>{"......", ".####.", ".####.", ".####.", "......"}), canvas.Picture(kRed));
    canvas.Fill(kWhite);
    EXPECT_NE(0, FrameRect(canvas.dc, &rc, red));
    EXPECT_EQ((std::vector<std::string>{"......", ".####.", ".#..#.", ".####.", "......"}), canvas.Picture(kRed));
    canvas.Fill(kWhite);
    EXPECT_TRUE(InvertRect(canvas.dc, &rc));
    EXPECT_EQ((std::vector<std::string>{"......", ".####.", ".####.", ".####.", "......"}),
              canvas.Picture(0xFF000000));
    EXPECT_EQ(0, FillRect(canvas.dc, &rc, nullptr));
    EXPECT_EQ(0, FillRect(canvas.dc, nullptr, red));
    DeleteObject(red);
}

}  // namespace
