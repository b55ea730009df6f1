// Raster operations: binary modes of pens, ternary operations of BitBlt and PatBlt, and
// pattern brushes aligned to the brush origin.
#include "gdi_test_util.h"

#include <functional>

namespace {

constexpr DWORD kD = 0x00AACC33;  // destination pixel
constexpr DWORD kP = 0x005A0FF0;  // pen or pattern pixel (COLORREF 0x00F00F5A)
constexpr COLORREF kPenColor = RGB(0x5A, 0x0F, 0xF0);
constexpr DWORD kS = 0x0033F00F;  // source pixel

TEST(Rop2, EveryModeOnAOnePixelLineAndNoOther)
{
    // The sixteen binary raster operations as Windows documents them. They work on all 32
    // bits of a pixel, so modes that invert the destination or the pen also set the unused
    // top byte of a 32-bit DIB pixel.
    const struct {
        int mode;
        DWORD expected;
    } cases[] = {
        {R2_BLACK, 0},
        {R2_NOTMERGEPEN, ~(kP | kD)},
        {R2_MASKNOTPEN, ~kP & kD},
        {R2_NOTCOPYPEN, ~kP},
        {R2_MASKPENNOT, kP & ~kD},
        {R2_NOT, ~kD},
        {R2_XORPEN, kP ^ kD},
        {R2_NOTMASKPEN, ~(kP & kD)},
        {R2_MASKPEN, kP & kD},
        {R2_NOTXORPEN, ~(kP ^ kD)},
        {R2_NOP, kD},
        {R2_MERGENOTPEN, ~kP | kD},
        {R2_COPYPEN, kP},
        {R2_MERGEPENNOT, kP | ~kD},
        {R2_MERGEPEN, kP | kD},
        {R2_WHITE, 0xFFFFFFFF},
    };
    HPEN pen = CreatePen(PS_SOLID, 0, kPenColor);
    for (const auto& c : cases) {
        TestCanvas canvas(4, 3, kD);
        HGDIOBJ old = SelectObject(canvas.dc, pen);
        EXPECT_EQ(R2_COPYPEN, SetROP2(canvas.dc, c.mode));
        EXPECT_EQ(c.mode, GetROP2(canvas.dc));
        MoveToEx(canvas.dc, 1, 1, nullptr);
        LineTo(canvas.dc, 2, 1);  // one pixel: the end point is not drawn
        SelectObject(canvas.dc, old);
        EXPECT_EQ(c.expected, canvas.At(1, 1)) << "mode " << c.mode;
        EXPECT_EQ(kD, canvas.At(2, 1)) << "mode " << c.mode;
        EXPECT_EQ(kD, canvas.At(0, 1)) << "mode " << c.mode;
    }
    DeleteObject(pen);
    TestCanvas canvas(1, 1);
    EXPECT_EQ(0, SetROP2(canvas.dc, 0));
    EXPECT_EQ(0, SetROP2(canvas.dc, 17));
    EXPECT_EQ(R2_COPYPEN, GetROP2(canvas.dc));
    EXPECT_EQ(0, SetROP2(nullptr, R2_XORPEN));
}

TEST(Rop3, BitBltEvaluatesTheTruthTableOfAnyCode)
{
    const struct {
        DWORD rop;
        DWORD expected;
    } cases[] = {
        {SRCCOPY, kS},
        {SRCPAINT, kS | kD},
        {SRCAND, kS & kD},
        {SRCINVERT, kS ^ kD},
        {SRCERASE, kS & ~kD},
        {NOTSRCCOPY, ~kS},
        {NOTSRCERASE, ~(kS | kD)},
        {MERGECOPY, kP & kS},
        {MERGEPAINT, ~kS | kD},
        {PATCOPY, kP},
        {PATPAINT, kP | ~kS | kD},
        {PATINVERT, kP ^ kD},
        {DSTINVERT, ~kD},
        {BLACKNESS, 0},
        {WHITENESS, 0xFFFFFFFF},
        {0x00B8074A, ((kP ^ kD) & kS) ^ kP},  // PSDPxax: destination where the source is set
        {0x00E20746, ((kP ^ kD) & kS) ^ kD},  // DSPDxax: pattern where the source is set
    };
    TestCanvas source(3, 3, kS);
    HBRUSH brush = CreateSolidBrush(kPenColor);
    for (const auto& c : cases) {
        TestCanvas dest(3, 3, kD);
        HGDIOBJ old = SelectObject(dest.dc, brush);
        EXPECT_TRUE(BitBlt(dest.dc, 1, 1, 1, 1, source.dc, 0, 0, c.rop));
        SelectObject(dest.dc, old);
        EXPECT_EQ(c.expected, dest.At(1, 1)) << std::hex << c.rop;
        EXPECT_EQ(kD, dest.At(0, 0)) << std::hex << c.rop;
        EXPECT_EQ(kD, dest.At(2, 2)) << std::hex << c.rop;
    }
    DeleteObject(brush);
}

TEST(Rop3, SourceCopyKeepsTheTopByteAndOverlappingCopiesReadTheOriginal)
{
    TestCanvas canvas(6, 1, 0);
    for (int x = 0; x < 6; ++x)
        canvas.At(x, 0) = 0xAB000000u | DWORD(x + 1);
    ASSERT_TRUE(BitBlt(canvas.dc, 1, 0, 4, 1, canvas.dc, 0, 0, SRCCOPY));
    const DWORD expected[6] = {0xAB000001, 0xAB000001, 0xAB000002, 0xAB000003, 0xAB000004, 0xAB000006};
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(expected[x], canvas.At(x, 0)) << x;

    // Downwards and upwards within one bitmap, and with an operation that is not a copy.
    TestCanvas column(1, 5, 0);
    for (int y = 0; y < 5; ++y)
        column.At(0, y) = DWORD(y + 1);
    ASSERT_TRUE(BitBlt(column.dc, 0, 1, 1, 3, column.dc, 0, 0, SRCCOPY));
    EXPECT_EQ((std::vector<DWORD>{1, 1, 2, 3, 5}), std::vector<DWORD>(column.bits, column.bits + 5));
    ASSERT_TRUE(BitBlt(column.dc, 0, 0, 1, 3, column.dc, 0, 2, SRCPAINT));
    EXPECT_EQ((std::vector<DWORD>{3, 3, 7, 3, 5}), std::vector<DWORD>(column.bits, column.bits + 5));
}

TEST(Rop3, BitBltFromAMonochromeBitmapUsesTheDestinationColours)
{
    // One row, bits 1010 0000: 1 bits take the background colour, 0 bits the text colour.
    const BYTE rows[2] = {0xA0, 0x00};
    HBITMAP mono = CreateBitmap(4, 1, 1, 1, rows);
    HDC monoDc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(monoDc, mono);
    TestCanvas dest(4, 1, kD);
    SetTextColor(dest.dc, RGB(255, 0, 0));
    SetBkColor(dest.dc, RGB(0, 0, 255));
    ASSERT_TRUE(BitBlt(dest.dc, 0, 0, 4, 1, monoDc, 0, 0, SRCCOPY));
    EXPECT_EQ(0x000000FFu, dest.At(0, 0));
    EXPECT_EQ(0x00FF0000u, dest.At(1, 0));
    EXPECT_EQ(0x000000FFu, dest.At(2, 0));
    EXPECT_EQ(0x00FF0000u, dest.At(3, 0));
    SelectObject(monoDc, old);
    DeleteDC(monoDc);
    DeleteObject(mono);
}

// The tracker's hatch: an 8 x 8 monochrome pattern, one diagonal every 4 pixels, each row
// stored as a 16-bit word.
HBRUSH HatchBrush()
{
    const WORD rows[8] = {0x1111, 0x2222, 0x4444, 0x8888, 0x1111, 0x2222, 0x4444, 0x8888};
    HBITMAP pattern = CreateBitmap(8, 8, 1, 1, rows);
    HBRUSH brush = CreatePatternBrush(pattern);
    DeleteObject(pattern);  // the brush keeps its own copy
    return brush;
}

constexpr DWORD kRed = 0x00FF0000;
constexpr DWORD kBlue = 0x000000FF;

TEST(PatternBrush, ZeroBitsTakeTheTextColourAndOneBitsTheBackgroundAtUseTime)
{
    HBRUSH brush = HatchBrush();
    TestCanvas canvas(8, 4, 0);
    SetTextColor(canvas.dc, RGB(255, 0, 0));  // set after the brush was made
    SetBkColor(canvas.dc, RGB(0, 0, 255));
    HGDIOBJ old = SelectObject(canvas.dc, brush);
    ASSERT_TRUE(PatBlt(canvas.dc, 0, 0, 8, 4, PATCOPY));
    const std::vector<std::string> expected{"...#...#", "..#...#.", ".#...#..", "#...#..."};
    EXPECT_EQ(expected, canvas.Picture(kBlue, kRed));
    // The background mode does not matter to pattern brushes.
    SetBkMode(canvas.dc, TRANSPARENT);
    canvas.Fill(0);
    ASSERT_TRUE(PatBlt(canvas.dc, 0, 0, 8, 4, PATCOPY));
    EXPECT_EQ(expected, canvas.Picture(kBlue, kRed));
    SelectObject(canvas.dc, old);
    DeleteObject(brush);
}

TEST(PatternBrush, FollowsTheBrushOrigin)
{
    HBRUSH brush = HatchBrush();
    TestCanvas canvas(8, 4, 0);
    SetTextColor(canvas.dc, RGB(255, 0, 0));
    SetBkColor(canvas.dc, RGB(0, 0, 255));
    POINT previous{-1, -1};
    EXPECT_TRUE(SetBrushOrgEx(canvas.dc, 1, 0, &previous));
    EXPECT_EQ(0, previous.x);
    HGDIOBJ old = SelectObject(canvas.dc, brush);
    ASSERT_TRUE(PatBlt(canvas.dc, 0, 0, 8, 4, PATCOPY));
    const std::vector<std::string> expected{"#...#...", "...#...#", "..#...#.", ".#...#.."};
    EXPECT_EQ(expected, canvas.Picture(kBlue, kRed));
    // The pattern stays put in device space when drawn through a moved viewport.
    SetBrushOrgEx(canvas.dc, 0, 0, nullptr);
    SetViewportOrgEx(canvas.dc, 3, 0, nullptr);
    canvas.Fill(0);
    ASSERT_TRUE(PatBlt(canvas.dc, -3, 0, 8, 4, PATCOPY));
    const std::vector<std::string> unmoved{"...#...#", "..#...#.", ".#...#..", "#...#..."};
    EXPECT_EQ(unmoved, canvas.Picture(kBlue, kRed));
    SelectObject(canvas.dc, old);
    DeleteObject(brush);
}

TEST(PatternBrush, InvertedPatternCopyAndPatInvertTwice)
{
    HBRUSH brush = HatchBrush();
    TestCanvas canvas(8, 4, kD);
    HGDIOBJ old = SelectObject(canvas.dc, brush);
    SetBkMode(canvas.dc, OPAQUE);
    // 0x000F0001 is "Pn": the inverted pattern. Text black and background white make the
    // one bits black; all 32 bits are inverted, so the top byte is set.
    ASSERT_TRUE(PatBlt(canvas.dc, 0, 0, 8, 4, 0x000F0001));
    const std::vector<std::string> expected{"...#...#", "..#...#.", ".#...#..", "#...#..."};
    EXPECT_EQ(expected, canvas.Picture(0xFF000000, 0xFFFFFFFF));

    canvas.Fill(kD);
    ASSERT_TRUE(PatBlt(canvas.dc, 0, 0, 8, 4, PATINVERT));
    EXPECT_EQ(kD ^ kWhite, canvas.At(3, 0));
    EXPECT_EQ(kD, canvas.At(0, 0));  // a zero bit (black) leaves the destination as it is
    ASSERT_TRUE(PatBlt(canvas.dc, 0, 0, 8, 4, PATINVERT));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(kD, canvas.At(x, y)) << x << "," << y;
    SelectObject(canvas.dc, old);
    DeleteObject(brush);
}

TEST(PatternBrush, NegativeExtentsCoverTheSameRectangleAndTheNullBrushNothing)
{
    TestCanvas canvas(4, 4, kWhite);
    SelectObject(canvas.dc, GetStockObject(BLACK_BRUSH));
    ASSERT_TRUE(PatBlt(canvas.dc, 3, 3, -2, -2, PATCOPY));
    const std::vector<std::string> expected{"....", ".##.", ".##.", "...."};
    EXPECT_EQ(expected, canvas.Picture(kBlack));
    // The null brush draws nothing; an operation without a pattern still works.
    SelectObject(canvas.dc, GetStockObject(NULL_BRUSH));
    EXPECT_TRUE(PatBlt(canvas.dc, 0, 0, 4, 4, PATCOPY));
    EXPECT_EQ(expected, canvas.Picture(kBlack));
    EXPECT_TRUE(PatBlt(canvas.dc, 0, 0, 1, 1, WHITENESS));
    EXPECT_EQ(0xFFFFFFFFu, canvas.At(0, 0));
}

TEST(Rop3, ExtremeCoordinatesAreClippedSafelyAndSourcesAreChecked)
{
    TestCanvas canvas(4, 4, kD);
    TestCanvas source(4, 4, kS);
    SetViewportOrgEx(canvas.dc, 0x7FFFFFFF, -0x7FFFFFFF, nullptr);
    EXPECT_TRUE(PatBlt(canvas.dc, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, BLACKNESS));
    EXPECT_TRUE(BitBlt(canvas.dc, -0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, source.dc, 0x7FFFFFFF,
                       -0x7FFFFFFF, SRCCOPY));
    SetViewportOrgEx(canvas.dc, 0, 0, nullptr);
    EXPECT_TRUE(PatBlt(canvas.dc, -0x7FFFFFFF, -0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, BLACKNESS));
    EXPECT_TRUE(BitBlt(canvas.dc, 2, 2, 0x7FFFFFFF, 0x7FFFFFFF, source.dc, -0x7FFFFFFF, 0, SRCCOPY));
    EXPECT_EQ(kD, canvas.At(3, 3));  // the source lies outside its bitmap: nothing copied
    EXPECT_TRUE(PatBlt(canvas.dc, 1, 1, 0x7FFFFFFF, 0x7FFFFFFF, BLACKNESS));
    EXPECT_EQ(0u, canvas.At(3, 3));
    EXPECT_EQ(kD, canvas.At(0, 0));

    // Source operations need a source DC; operations without a source do not look at it.
    EXPECT_FALSE(BitBlt(canvas.dc, 0, 0, 2, 2, nullptr, 0, 0, SRCCOPY));
    EXPECT_EQ(kD, canvas.At(0, 0));
    EXPECT_TRUE(BitBlt(canvas.dc, 0, 0, 2, 2, nullptr, 0, 0, DSTINVERT));
    EXPECT_EQ(~kD, canvas.At(0, 0));
    EXPECT_FALSE(PatBlt(canvas.dc, 0, 0, 2, 2, SRCCOPY));
}

TEST(HatchBrush, TransparentModeLeavesTheBackground)
{
    HBRUSH brush = CreateHatchBrush(HS_HORIZONTAL, RGB(255, 0, 0));
    TestCanvas canvas(8, 8, kD);
    HGDIOBJ old = SelectObject(canvas.dc, brush);
    SetBkMode(canvas.dc, TRANSPARENT);
    ASSERT_TRUE(PatBlt(canvas.dc, 0, 0, 8, 8, PATCOPY));
    EXPECT_EQ(kD, canvas.At(0, 0));
    EXPECT_EQ(kRed, canvas.At(0, 4));
    SetBkMode(canvas.dc, OPAQUE);
    ASSERT_TRUE(PatBlt(canvas.dc, 0, 0, 8, 8, PATCOPY));
    EXPECT_EQ(kWhite, canvas.At(0, 0));
    SelectObject(canvas.dc, old);
    DeleteObject(brush);
}

}  // namespace
