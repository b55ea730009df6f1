// Lines: end points, the rounding of ties, cosmetic styles and geometric pens.
#include "gdi_test_util.h"

#include <cstdlib>
#include <set>
#include <utility>

namespace {

using Pixels = std::set<std::pair<int, int>>;

Pixels BlackPixels(const TestCanvas& c)
{
    Pixels p;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            if (c.bits[y * c.width + x] == kBlack)
                p.insert({x, y});
    return p;
}

Pixels Line(int x0, int y0, int x1, int y1)
{
    TestCanvas canvas(16, 16);
    MoveToEx(canvas.dc, x0, y0, nullptr);
    EXPECT_TRUE(LineTo(canvas.dc, x1, y1));
    POINT at{};
    GetCurrentPositionEx(canvas.dc, &at);
    EXPECT_EQ(x1, at.x);
    EXPECT_EQ(y1, at.y);
    return BlackPixels(canvas);
}

TEST(LineTo, DrawsTheFirstPixelButNotTheLastInEveryOctant)
{
    const POINT ends[] = {{14, 10}, {10, 14}, {6, 14}, {2, 10}, {2, 6}, {6, 2}, {10, 2}, {14, 6},
                          {14, 8},  {8, 14},  {2, 8},  {8, 2},  {13, 13}, {3, 13}, {3, 3}, {13, 3}};
    for (const POINT& e : ends) {
        const Pixels p = Line(8, 8, e.x, e.y);
        const int expectedCount = std::max(std::abs(e.x - 8), std::abs(e.y - 8));
        EXPECT_EQ(size_t(expectedCount), p.size()) << e.x << "," << e.y;
        EXPECT_EQ(1u, p.count({8, 8})) << e.x << "," << e.y;
        EXPECT_EQ(0u, p.count({e.x, e.y})) << e.x << "," << e.y;
    }
    EXPECT_TRUE(Line(5, 5, 5, 5).empty()) << "zero length draws nothing";
}

TEST(LineTo, TiesGoToTheSmallerCoordinateInBothDirections)
{
    // (0,0)-(6,3): at x = 1, 3, 5 the exact y is halfway between two rows.
    const Pixels forward = Line(0, 0, 6, 3);
    EXPECT_EQ((Pixels{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 2}}), forward);
    const Pixels backward = Line(6, 3, 0, 0);
    EXPECT_EQ((Pixels{{6, 3}, {5, 2}, {4, 2}, {3, 1}, {2, 1}, {1, 0}}), backward);
    // The same for y-major lines and for lines going up.
    EXPECT_EQ((Pixels{{0, 0}, {0, 1}, {1, 2}, {1, 3}}), Line(0, 0, 2, 4));
    EXPECT_EQ((Pixels{{2, 4}, {1, 3}, {1, 2}, {0, 1}}), Line(2, 4, 0, 0));
    EXPECT_EQ((Pixels{{0, 3}, {1, 2}, {2, 2}, {3, 1}, {4, 1}, {5, 0}}), Line(0, 3, 6, 0));
    EXPECT_EQ((Pixels{{6, 0}, {5, 0}, {4, 1}, {3, 1}, {2, 2}, {1, 2}}), Line(6, 0, 0, 3));

    // Through viewport and window origins.
    TestCanvas canvas(8, 8);
    SetViewportOrgEx(canvas.dc, 3, 2, nullptr);
    SetWindowOrgEx(canvas.dc, 1, 1, nullptr);
    MoveToEx(canvas.dc, 0, 0, nullptr);
    LineTo(canvas.dc, 3, 0);
    EXPECT_EQ((Pixels{{2, 1}, {3, 1}, {4, 1}}), BlackPixels(canvas));
}

// One row of a 1-pixel-high canvas as characters: '#' pen, '-' background, '.' untouched.
std::string Row(const TestCanvas& c, int y, DWORD pen, DWORD bk)
{
    std::string s;
    for (int x = 0; x < c.width; ++x) {
        const DWORD v = c.bits[y * c.width + x];
        s += v == pen ? '#' : v == bk ? '-' : '.';
    }
    return s;
}

constexpr DWORD kRed = 0x00FF0000;
constexpr DWORD kGreen = 0x0000FF00;
constexpr DWORD kPaper = 0x00808080;

std::string StyledRow(int style, int length, int bkMode)
{
    TestCanvas canvas(length + 2, 1, kPaper);
    HPEN pen = CreatePen(style, 0, RGB(255, 0, 0));
    HGDIOBJ old = SelectObject(canvas.dc, pen);
    SetBkColor(canvas.dc, RGB(0, 255, 0));
    SetBkMode(canvas.dc, bkMode);
    MoveToEx(canvas.dc, 0, 0, nullptr);
    LineTo(canvas.dc, length, 0);
    SelectObject(canvas.dc, old);
    DeleteObject(pen);
    return Row(canvas, 0, kRed, kGreen);
}

TEST(CosmeticStyles, RunLengthsOfTheStockStylesAndAlternate)
{
    // Windows display styles: PS_DOT 3 on 3 off, PS_DASH 18 on 6 off, PS_DASHDOT 9 6 3 6,
    // PS_DASHDOTDOT 9 3 3 3 3 3.
    EXPECT_EQ("###...###...###...##..", StyledRow(PS_DOT, 20, TRANSPARENT));
    EXPECT_EQ("###---###---###---##..", StyledRow(PS_DOT, 20, OPAQUE));
    EXPECT_EQ("##################------######..", StyledRow(PS_DASH, 30, OPAQUE));
    EXPECT_EQ("#########------###------#########..", StyledRow(PS_DASHDOT, 33, OPAQUE));
    EXPECT_EQ("#########---###---###---###..", StyledRow(PS_DASHDOTDOT, 27, OPAQUE));
    EXPECT_EQ("##########..", StyledRow(PS_SOLID, 10, OPAQUE));
    EXPECT_EQ("............", StyledRow(PS_NULL, 10, OPAQUE));

    TestCanvas canvas(8, 1, kPaper);
    LOGBRUSH lb{BS_SOLID, RGB(255, 0, 0), 0};
    HPEN pen = ExtCreatePen(PS_COSMETIC | PS_ALTERNATE, 1, &lb, 0, nullptr);
    ASSERT_NE(nullptr, pen);
    SelectObject(canvas.dc, pen);
    SetBkMode(canvas.dc, TRANSPARENT);
    MoveToEx(canvas.dc, 0, 0, nullptr);
    LineTo(canvas.dc, 7, 0);
    EXPECT_EQ("#.#.#.#.", Row(canvas, 0, kRed, kGreen)) << "PS_ALTERNATE sets every other pixel";
    SelectObject(canvas.dc, GetStockObject(BLACK_PEN));
    DeleteObject(pen);
}

TEST(CosmeticStyles, PolylineCarriesTheStyleOnWhileEachLineToStartsAfresh)
{
    HPEN pen = CreatePen(PS_DOT, 0, RGB(255, 0, 0));
    {
        TestCanvas canvas(8, 8, kPaper);
        SelectObject(canvas.dc, pen);
        SetBkMode(canvas.dc, TRANSPARENT);
        const POINT pts[3] = {{0, 0}, {5, 0}, {5, 8}};
        ASSERT_TRUE(Polyline(canvas.dc, pts, 3));
        EXPECT_EQ("###.....", Row(canvas, 0, kRed, kGreen));
        // The corner (5,0) is the sixth pixel of the style: off; then three on.
        std::string column;
        for (int y = 0; y < 8; ++y)
            column += canvas.At(5, y) == kRed ? '#' : '.';
        EXPECT_EQ(".###...#", column);
        SelectObject(canvas.dc, GetStockObject(BLACK_PEN));
    }
    {
        TestCanvas canvas(8, 8, kPaper);
        SelectObject(canvas.dc, pen);
        SetBkMode(canvas.dc, TRANSPARENT);
        MoveToEx(canvas.dc, 0, 0, nullptr);
        LineTo(canvas.dc, 5, 0);
        LineTo(canvas.dc, 5, 8);
        std::string column;
        for (int y = 0; y < 8; ++y)
            column += canvas.At(5, y) == kRed ? '#' : '.';
        EXPECT_EQ("###...##", column);
        SelectObject(canvas.dc, GetStockObject(BLACK_PEN));
    }
    DeleteObject(pen);
}

TEST(CosmeticStyles, XorTwiceRestores)
{
    TestCanvas canvas(12, 12, 0x00123456);
    SelectObject(canvas.dc, GetStockObject(WHITE_PEN));
    SetROP2(canvas.dc, R2_XORPEN);
    for (int pass = 0; pass < 2; ++pass) {
        MoveToEx(canvas.dc, 1, 1, nullptr);
        LineTo(canvas.dc, 10, 7);
        EXPECT_EQ(pass == 0 ? 0x00123456u ^ 0x00FFFFFFu : 0x00123456u, canvas.At(1, 1));
    }
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x)
            EXPECT_EQ(0x00123456u, canvas.At(x, y));
}

HPEN Geometric(DWORD style, DWORD width, COLORREF color)
{
    LOGBRUSH lb{BS_SOLID, color, 0};
    return ExtCreatePen(PS_GEOMETRIC | style, width, &lb, 0, nullptr);
}

std::vector<std::string> GeometricLine(DWORD style, DWORD width, POINT a, POINT b, int w, int h)
{
    TestCanvas canvas(w, h);
    HPEN pen = Geometric(style, width, RGB(0, 0, 0));
    EXPECT_NE(nullptr, pen);
    HGDIOBJ old = SelectObject(canvas.dc, pen);
    MoveToEx(canvas.dc, a.x, a.y, nullptr);
    LineTo(canvas.dc, b.x, b.y);
    SelectObject(canvas.dc, old);
    DeleteObject(pen);
    return canvas.Picture(kBlack);
}

TEST(GeometricPen, SquareCapsExtendHalfTheWidthFlatCapsStop)
{
    // Width 2 centred on the line: the rows above and on it; the square caps reach one
    // pixel before the start and up to the end point itself.
    const std::vector<std::string> expected{"..........", "..######..", "..######..", ".........."};
    EXPECT_EQ(expected, GeometricLine(PS_SOLID | PS_ENDCAP_SQUARE, 2, {3, 2}, {7, 2}, 10, 4));
    EXPECT_EQ(expected, GeometricLine(PS_SOLID | PS_ENDCAP_SQUARE, 2, {7, 2}, {3, 2}, 10, 4));
    const std::vector<std::string> vertical{"......", "......", "..##..", "..##..", "..##..", "......"};
    EXPECT_EQ(vertical, GeometricLine(PS_SOLID | PS_ENDCAP_SQUARE, 2, {3, 3}, {3, 4}, 6, 6));
    // Flat caps stop at the ends; odd widths are centred.
    const std::vector<std::string> flat{"..........", "...####...", "...####...", ".........."};
    EXPECT_EQ(flat, GeometricLine(PS_SOLID | PS_ENDCAP_FLAT, 2, {3, 2}, {7, 2}, 10, 4));
    const std::vector<std::string> three{"..........", "...####...", "...####...", "...####...", ".........."};
    EXPECT_EQ(three, GeometricLine(PS_SOLID | PS_ENDCAP_FLAT, 3, {3, 2}, {7, 2}, 10, 5));
}

TEST(GeometricPen, DashesAreThreeWidthsOnOneOffAndKeepTheirGaps)
{
    // Width 2: dashes of 6 and gaps of 2. Square caps reach past the line's two ends only;
    // the dashes inside keep their gaps, so a dashed frame stays dashed (this used to draw
    // solid, every dash capped, closing the 2-pixel gaps).
    const std::vector<std::string> flat{"....................",
                                        "######..######..##..",
                                        "######..######..##..",
                                        "...................."};
    EXPECT_EQ(flat, GeometricLine(PS_DASH | PS_ENDCAP_FLAT, 2, {0, 2}, {18, 2}, 20, 4));
    const std::vector<std::string> square{"....................",
                                          "#######..######..###",
                                          "#######..######..###",
                                          "...................."};
    EXPECT_EQ(square, GeometricLine(PS_DASH | PS_ENDCAP_SQUARE, 2, {1, 2}, {19, 2}, 20, 4));
}

TEST(GeometricPen, XorDrawsEachPixelOnceAndLinesFarOffScreenAreCheap)
{
    TestCanvas canvas(10, 10, 0);
    HPEN pen = Geometric(PS_SOLID | PS_ENDCAP_ROUND, 5, RGB(255, 255, 255));
    SelectObject(canvas.dc, pen);
    SetROP2(canvas.dc, R2_XORPEN);
    MoveToEx(canvas.dc, 2, 5, nullptr);
    LineTo(canvas.dc, 7, 5);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_TRUE(canvas.At(x, y) == 0 || canvas.At(x, y) == kWhite);
    EXPECT_EQ(kWhite, canvas.At(4, 5));
    EXPECT_EQ(kWhite, canvas.At(0, 5));  // inside the round cap of radius 2.5 around (2,5)
    EXPECT_EQ(0u, canvas.At(0, 3));      // outside it
    SetROP2(canvas.dc, R2_COPYPEN);
    MoveToEx(canvas.dc, -2000000000, 5, nullptr);
    LineTo(canvas.dc, 2000000000, 5);
    SelectObject(canvas.dc, GetStockObject(BLACK_PEN));
    MoveToEx(canvas.dc, -2000000000, 0, nullptr);
    LineTo(canvas.dc, 2000000000, 1);
    MoveToEx(canvas.dc, -2000000000, -2000000000, nullptr);
    LineTo(canvas.dc, 2000000000, 1999999999);
    DeleteObject(pen);
}

TEST(GeometricPen, WideStyledPensOfCreatePenDrawSolidWithRoundCaps)
{
    TestCanvas canvas(14, 6);
    HPEN pen = CreatePen(PS_DASH, 4, RGB(0, 0, 0));
    SelectObject(canvas.dc, pen);
    MoveToEx(canvas.dc, 3, 2, nullptr);
    LineTo(canvas.dc, 10, 2);
    SelectObject(canvas.dc, GetStockObject(BLACK_PEN));
    DeleteObject(pen);
    // Rows 0 to 3 solid from 3 to 10 (no dashes); the caps are discs of radius 2 about
    // the end points, whose right and bottom rims fall outside by the top-left rule.
    const std::vector<std::string> expected{"...########...", "..##########..", ".###########..",
                                            "..##########..", "..............", ".............."};
    EXPECT_EQ(expected, canvas.Picture(kBlack));
}

TEST(Pens, CreationChecksItsArguments)
{
    LOGBRUSH lb{BS_SOLID, 0, 0};
    EXPECT_EQ(nullptr, ExtCreatePen(PS_COSMETIC | PS_SOLID, 2, &lb, 0, nullptr));  // cosmetic width is 1
    EXPECT_EQ(nullptr, ExtCreatePen(PS_GEOMETRIC | PS_ALTERNATE, 2, &lb, 0, nullptr));
    EXPECT_EQ(nullptr, ExtCreatePen(PS_GEOMETRIC | PS_SOLID, 2, nullptr, 0, nullptr));
    const DWORD user[2] = {2, 1};
    EXPECT_EQ(nullptr, ExtCreatePen(PS_GEOMETRIC | PS_SOLID, 2, &lb, 2, user));  // styles only with PS_USERSTYLE
    HPEN custom = ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE | PS_ENDCAP_FLAT, 2, &lb, 2, user);
    EXPECT_NE(nullptr, custom);
    DeleteObject(custom);
    EXPECT_EQ(nullptr, CreatePen(9, 0, 0));
}

}  // namespace
