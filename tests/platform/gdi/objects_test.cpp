// GDI objects: stock objects, selection, deletion and GetObjectW.
#include "gdi_test_util.h"

namespace {

TEST(StockObjects, AreSharedAndCannotBeDeleted)
{
    HGDIOBJ black = GetStockObject(BLACK_PEN);
    ASSERT_NE(nullptr, black);
    EXPECT_EQ(black, GetStockObject(BLACK_PEN));
    EXPECT_EQ(GetStockObject(NULL_BRUSH), GetStockObject(HOLLOW_BRUSH));
    EXPECT_TRUE(DeleteObject(black));
    EXPECT_EQ(DWORD(OBJ_PEN), GetObjectType(black));
    LOGBRUSH lb{};
    ASSERT_EQ(int(sizeof(LOGBRUSH)), GetObjectW(GetStockObject(NULL_BRUSH), sizeof(lb), &lb));
    EXPECT_EQ(UINT(BS_NULL), lb.lbStyle);
    EXPECT_EQ(nullptr, GetStockObject(-1));
    EXPECT_EQ(nullptr, GetStockObject(99));
}

TEST(SelectObject, ReturnsThePreviousObjectOfItsKind)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HPEN pen = CreatePen(PS_DOT, 0, RGB(1, 2, 3));
    HBRUSH brush = CreateSolidBrush(RGB(4, 5, 6));
    EXPECT_EQ(GetStockObject(BLACK_PEN), SelectObject(dc, pen));
    EXPECT_EQ(GetStockObject(WHITE_BRUSH), SelectObject(dc, brush));
    EXPECT_EQ(pen, SelectObject(dc, GetStockObject(NULL_PEN)));
    EXPECT_EQ(brush, SelectObject(dc, GetStockObject(NULL_BRUSH)));
    EXPECT_EQ(nullptr, SelectObject(dc, reinterpret_cast<HGDIOBJ>(0x12345)));
    EXPECT_EQ(nullptr, SelectObject(nullptr, pen));
    EXPECT_EQ(nullptr, SelectObject(dc, dc));
    DeleteObject(pen);
    DeleteObject(brush);
    DeleteDC(dc);
}

TEST(SelectObject, ANewMemoryDcHoldsAOneByOneMonochromeBitmap)
{
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(DWORD(OBJ_MEMDC), GetObjectType(dc));
    BITMAP bm{};
    ASSERT_EQ(int(sizeof(BITMAP)), GetObjectW(GetCurrentObject(dc, OBJ_BITMAP), sizeof(bm), &bm));
    EXPECT_EQ(1, bm.bmWidth);
    EXPECT_EQ(1, bm.bmHeight);
    EXPECT_EQ(1, bm.bmBitsPixel);
    // So a bitmap compatible with it is monochrome too, the classic trap.
    HBITMAP mono = CreateCompatibleBitmap(dc, 20, 10);
    ASSERT_EQ(int(sizeof(BITMAP)), GetObjectW(mono, sizeof(bm), &bm));
    EXPECT_EQ(1, bm.bmBitsPixel);
    EXPECT_EQ(4, bm.bmWidthBytes);  // rows are WORD-aligned
    EXPECT_EQ(nullptr, bm.bmBits);
    DeleteObject(mono);
    DeleteDC(dc);
}

TEST(SelectObject, ABitmapLivesInOneDcAtATime)
{
    HDC a = CreateCompatibleDC(nullptr);
    HDC b = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateBitmap(4, 4, 1, 32, nullptr);
    HGDIOBJ old = SelectObject(a, bitmap);
    EXPECT_NE(nullptr, old);
    EXPECT_EQ(nullptr, SelectObject(b, bitmap));
    EXPECT_EQ(bitmap, SelectObject(a, bitmap));  // selecting it again where it is is fine
    SelectObject(a, old);
    EXPECT_NE(nullptr, SelectObject(b, bitmap));
    DeleteDC(b);  // deleting the DC lets the bitmap go
    EXPECT_TRUE(DeleteObject(bitmap));
    DeleteDC(a);
}

TEST(DeleteObject, SelectedBitmapsStayAndSelectedPensGoWhenDeselected)
{
    TestCanvas canvas(4, 1);
    EXPECT_FALSE(DeleteObject(canvas.bitmap));
    EXPECT_EQ(DWORD(OBJ_BITMAP), GetObjectType(canvas.bitmap));

    HPEN red = CreatePen(PS_SOLID, 0, RGB(255, 0, 0));
    SelectObject(canvas.dc, red);
    EXPECT_TRUE(DeleteObject(red));
    // Still usable while selected.
    MoveToEx(canvas.dc, 0, 0, nullptr);
    LineTo(canvas.dc, 2, 0);
    EXPECT_EQ(0x00FF0000u, canvas.At(1, 0));
    EXPECT_EQ(DWORD(OBJ_PEN), GetObjectType(red));
    SelectObject(canvas.dc, GetStockObject(BLACK_PEN));
    EXPECT_EQ(0u, GetObjectType(red));
    EXPECT_FALSE(DeleteObject(red));
    EXPECT_FALSE(DeleteObject(nullptr));
}

TEST(ObjectInfo, PensReportTheirLogicalForm)
{
    HPEN dot = CreatePen(PS_DOT, 0, RGB(1, 2, 3));
    LOGPEN lp{};
    EXPECT_EQ(int(sizeof(LOGPEN)), GetObjectW(dot, 0, nullptr));
    ASSERT_EQ(int(sizeof(LOGPEN)), GetObjectW(dot, sizeof(lp), &lp));
    EXPECT_EQ(UINT(PS_DOT), lp.lopnStyle);
    EXPECT_EQ(0, lp.lopnWidth.x);
    EXPECT_EQ(RGB(1, 2, 3), lp.lopnColor);
    DeleteObject(dot);

    LOGBRUSH lb{BS_SOLID, RGB(0, 0, 0), 0};
    HPEN ext = ExtCreatePen(PS_GEOMETRIC | PS_ENDCAP_SQUARE | PS_DASH, 2, &lb, 0, nullptr);
    EXPECT_EQ(DWORD(OBJ_EXTPEN), GetObjectType(ext));
    EXPECT_EQ(int(offsetof(EXTLOGPEN, elpStyleEntry)), GetObjectW(ext, 0, nullptr));
    EXTLOGPEN elp{};
    ASSERT_EQ(int(offsetof(EXTLOGPEN, elpStyleEntry)), GetObjectW(ext, sizeof(elp), &elp));
    EXPECT_EQ(DWORD(0x00010101), elp.elpPenStyle);
    EXPECT_EQ(2u, elp.elpWidth);
    EXPECT_EQ(0, GetObjectW(ext, sizeof(LOGPEN) - 1, &elp));
    DeleteObject(ext);
}

TEST(ObjectInfo, PatternBrushesNameTheirBitmap)
{
    const WORD rows[8] = {0x1111, 0x2222, 0x4444, 0x8888, 0x1111, 0x2222, 0x4444, 0x8888};
    HBITMAP pattern = CreateBitmap(8, 8, 1, 1, rows);
    HBRUSH brush = CreatePatternBrush(pattern);
    LOGBRUSH lb{};
    ASSERT_EQ(int(sizeof(LOGBRUSH)), GetObjectW(brush, sizeof(lb), &lb));
    EXPECT_EQ(UINT(BS_PATTERN), lb.lbStyle);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(pattern), lb.lbHatch);
    EXPECT_TRUE(UnrealizeObject(brush));
    EXPECT_FALSE(UnrealizeObject(nullptr));
    EXPECT_EQ(nullptr, CreatePatternBrush(nullptr));
    DeleteObject(brush);
    DeleteObject(pattern);
}

}  // namespace
