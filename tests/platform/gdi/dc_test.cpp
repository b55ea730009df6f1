// Device contexts: saved states, origins, surface DCs and their clip.
#include "gdi_test_util.h"

#include "qor_surface.h"

namespace {

TEST(SaveDC, RestoresByRelativeAndAbsoluteLevelWithTheSelectedObjects)
{
    TestCanvas canvas(4, 4);
    HDC dc = canvas.dc;
    HPEN red = CreatePen(PS_SOLID, 0, RGB(255, 0, 0));
    EXPECT_EQ(1, SaveDC(dc));
    SetBkColor(dc, RGB(1, 2, 3));
    SelectObject(dc, red);
    SetViewportOrgEx(dc, 2, 2, nullptr);
    EXPECT_EQ(2, SaveDC(dc));
    SetBkColor(dc, RGB(4, 5, 6));
    SetROP2(dc, R2_XORPEN);
    EXPECT_EQ(3, SaveDC(dc));

    EXPECT_TRUE(RestoreDC(dc, -1));  // back to the third save: nothing changed since
    EXPECT_EQ(RGB(4, 5, 6), GetBkColor(dc));
    EXPECT_TRUE(RestoreDC(dc, -1));  // the second
    EXPECT_EQ(RGB(1, 2, 3), GetBkColor(dc));
    EXPECT_EQ(R2_COPYPEN, GetROP2(dc));
    EXPECT_EQ(red, GetCurrentObject(dc, OBJ_PEN));
    EXPECT_TRUE(RestoreDC(dc, 1));
    EXPECT_EQ(RGB(255, 255, 255), GetBkColor(dc));
    EXPECT_EQ(R2_COPYPEN, GetROP2(dc));
    EXPECT_EQ(GetStockObject(BLACK_PEN), GetCurrentObject(dc, OBJ_PEN));
    POINT vp{-1, -1};
    GetViewportOrgEx(dc, &vp);
    EXPECT_EQ(0, vp.x);
    EXPECT_FALSE(RestoreDC(dc, -1));  // nothing saved any more
    EXPECT_FALSE(RestoreDC(dc, 0));
    // The pen is no longer selected anywhere, so it can go.
    EXPECT_TRUE(DeleteObject(red));
    EXPECT_EQ(0u, GetObjectType(red));

    // The selected bitmap comes back too.
    HBITMAP other = CreateCompatibleBitmap(dc, 3, 3);
    SaveDC(dc);
    SelectObject(dc, other);
    EXPECT_FALSE(DeleteObject(other));  // selected
    RestoreDC(dc, -1);
    EXPECT_EQ(canvas.bitmap, GetCurrentObject(dc, OBJ_BITMAP));
    EXPECT_TRUE(DeleteObject(other));
}

TEST(Origins, ViewportAndWindowOriginsMoveDrawing)
{
    TestCanvas canvas(8, 8);
    POINT old{-1, -1};
    EXPECT_TRUE(SetViewportOrgEx(canvas.dc, 5, 3, &old));
    EXPECT_EQ(0, old.x);
    SetPixel(canvas.dc, 0, 0, RGB(255, 0, 0));
    EXPECT_EQ(0x00FF0000u, canvas.At(5, 3));
    EXPECT_TRUE(OffsetViewportOrgEx(canvas.dc, -1, -1, &old));
    EXPECT_EQ(5, old.x);
    SetWindowOrgEx(canvas.dc, 1, 1, nullptr);
    SetPixel(canvas.dc, 1, 1, RGB(0, 255, 0));
    EXPECT_EQ(0x0000FF00u, canvas.At(4, 2));
    EXPECT_EQ(RGB(0, 255, 0), GetPixel(canvas.dc, 1, 1));
    EXPECT_EQ(CLR_INVALID, GetPixel(canvas.dc, 100, 1));
    EXPECT_EQ(MM_TEXT, GetMapMode(canvas.dc));
    EXPECT_EQ(MM_TEXT, SetMapMode(canvas.dc, MM_TEXT));
    EXPECT_EQ(0, SetMapMode(canvas.dc, MM_LOMETRIC));  // scaling modes are not provided
}

TEST(Attributes, DefaultsAndInvalidHandles)
{
    TestCanvas canvas(1, 1);
    EXPECT_EQ(RGB(255, 255, 255), GetBkColor(canvas.dc));
    EXPECT_EQ(RGB(0, 0, 0), GetTextColor(canvas.dc));
    EXPECT_EQ(OPAQUE, GetBkMode(canvas.dc));
    EXPECT_EQ(0, SetBkMode(canvas.dc, 3));
    EXPECT_EQ(OPAQUE, SetBkMode(canvas.dc, TRANSPARENT));
    EXPECT_EQ(GetStockObject(WHITE_BRUSH), GetCurrentObject(canvas.dc, OBJ_BRUSH));
    EXPECT_EQ(CLR_INVALID, SetBkColor(nullptr, 0));
    EXPECT_EQ(CLR_INVALID, SetTextColor(reinterpret_cast<HDC>(0x1234), 0));
    SetLastError(0);
    EXPECT_FALSE(MoveToEx(nullptr, 0, 0, nullptr));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(0, SaveDC(nullptr));
    EXPECT_FALSE(DeleteDC(nullptr));
}

TEST(SurfaceDc, DrawsAtItsOriginWithinItsClip)
{
    std::vector<DWORD> pixels(20 * 12, 0x00777777);
    qor::Surface surface{20, 12, 20 * 4, pixels.data()};
    HDC dc = qor::CreateSurfaceDC(surface, POINT{5, 4}, RECT{5, 4, 15, 9});
    ASSERT_NE(nullptr, dc);
    EXPECT_EQ(DWORD(OBJ_DC), GetObjectType(dc));
    EXPECT_TRUE(PatBlt(dc, -100, -100, 1000, 1000, BLACKNESS));
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool inside = x >= 5 && x < 15 && y >= 4 && y < 9;
            EXPECT_EQ(inside ? 0u : 0x00777777u, pixels[size_t(y * 20 + x)]) << x << "," << y;
        }
    SetPixel(dc, 1, 2, RGB(255, 0, 0));
    EXPECT_EQ(0x00FF0000u, pixels[size_t((4 + 2) * 20 + 5 + 1)]);
    RECT box{};
    EXPECT_EQ(SIMPLEREGION, GetClipBox(dc, &box));
    EXPECT_EQ(0, box.left);
    EXPECT_EQ(10, box.right);
    EXPECT_EQ(5, box.bottom);

    qor::DCTarget target;
    ASSERT_TRUE(qor::GetDCTarget(dc, &target));
    EXPECT_EQ(pixels.data(), target.surface.bits);
    EXPECT_EQ(5, target.origin.x);
    EXPECT_EQ(4, target.origin.y);
    EXPECT_EQ(15, target.clip.right);

    // A bitmap cannot be selected into a window DC; compatible bitmaps are 32-bit.
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 4, 4);
    BITMAP bm{};
    ASSERT_EQ(int(sizeof(BITMAP)), GetObjectW(bitmap, sizeof(bm), &bm));
    EXPECT_EQ(32, bm.bmBitsPixel);
    EXPECT_EQ(nullptr, SelectObject(dc, bitmap));
    DeleteObject(bitmap);
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(qor::GetDCTarget(dc, &target));

    EXPECT_EQ(nullptr, qor::CreateSurfaceDC(qor::Surface{20, 12, 40, pixels.data()}, POINT{}, RECT{}));
    EXPECT_EQ(nullptr, qor::CreateSurfaceDC(qor::Surface{20, 12, 80, nullptr}, POINT{}, RECT{}));
}

TEST(SurfaceDc, ClipRectangleNarrowsDrawing)
{
    TestCanvas canvas(6, 6);
    EXPECT_EQ(SIMPLEREGION, IntersectClipRect(canvas.dc, 1, 1, 3, 4));
    PatBlt(canvas.dc, 0, 0, 6, 6, BLACKNESS);
    EXPECT_EQ((std::vector<std::string>{"......", ".##...", ".##...", ".##...", "......", "......"}),
              canvas.Picture(kBlack));
    EXPECT_EQ(SIMPLEREGION, SelectClipRgn(canvas.dc, nullptr));
    PatBlt(canvas.dc, 0, 0, 6, 6, BLACKNESS);
    EXPECT_EQ(kBlack, canvas.At(5, 5));
}

TEST(GetDCTarget, MemoryDcsGiveTheirBitmap)
{
    TestCanvas canvas(3, 2);
    qor::DCTarget target;
    ASSERT_TRUE(qor::GetDCTarget(canvas.dc, &target));
    EXPECT_EQ(canvas.bits, target.surface.bits);
    EXPECT_EQ(3, target.surface.width);
    EXPECT_EQ(12, target.surface.stride);
    EXPECT_EQ(0, target.origin.x);
    EXPECT_EQ(2, target.clip.bottom);

    // A new memory DC holds a 1 x 1 monochrome bitmap: nothing to draw on for GDI+.
    HDC fresh = CreateCompatibleDC(nullptr);
    EXPECT_FALSE(qor::GetDCTarget(fresh, &target));

    // A bottom-up DIB section: the top row is the last in memory, so the stride is negative.
    BITMAPINFO bmi{};
    bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), 2, 3, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(fresh, dib);
    ASSERT_TRUE(qor::GetDCTarget(fresh, &target));
    EXPECT_EQ(-8, target.surface.stride);
    EXPECT_EQ(static_cast<DWORD*>(bits) + 4, target.surface.bits);
    SelectObject(fresh, old);
    DeleteObject(dib);
    DeleteDC(fresh);
}

}  // namespace
