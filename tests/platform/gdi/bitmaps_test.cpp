// Bitmaps and DIB transfers: orientation of DIB sections and of GetDIBits/SetDIBits,
// SetDIBitsToDevice and StretchDIBits.
#include "gdi_test_util.h"

namespace {

BITMAPINFO Info32(int width, int height)
{
    return BITMAPINFO{{sizeof(BITMAPINFOHEADER), width, height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
}

TEST(DibSection, BottomUpKeepsTheTopRowLastInMemoryAndOnly32BitRgbIsMade)
{
    BITMAPINFO bmi = Info32(2, 3);
    void* p = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &p, nullptr, 0);
    ASSERT_NE(nullptr, dib);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, dib);
    SetPixel(dc, 1, 0, RGB(0x12, 0x34, 0x56));
    auto* bits = static_cast<DWORD*>(p);
    EXPECT_EQ(0x00123456u, bits[2 * 2 + 1]);
    DIBSECTION ds{};
    ASSERT_EQ(int(sizeof(DIBSECTION)), GetObjectW(dib, sizeof(ds), &ds));
    EXPECT_EQ(p, ds.dsBm.bmBits);
    EXPECT_EQ(3, ds.dsBmih.biHeight);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(dib);

    // Only 32-bit RGB images of a sane size.
    p = reinterpret_cast<void*>(1);
    bmi.bmiHeader.biBitCount = 24;
    EXPECT_EQ(nullptr, CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &p, nullptr, 0));
    EXPECT_EQ(nullptr, p);
    bmi = Info32(0, 2);
    EXPECT_EQ(nullptr, CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &p, nullptr, 0));
    bmi = Info32(1 << 20, 1 << 20);
    EXPECT_EQ(nullptr, CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &p, nullptr, 0));
    EXPECT_EQ(nullptr, CreateDIBSection(nullptr, nullptr, DIB_RGB_COLORS, &p, nullptr, 0));
}

TEST(GetDIBits, OrientationFollowsTheSignOfTheHeight)
{
    TestCanvas canvas(2, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x)
            canvas.At(x, y) = DWORD(y * 10 + x);
    HBITMAP bitmap = CreateCompatibleBitmap(canvas.dc, 2, 3);
    HDC dc = CreateCompatibleDC(canvas.dc);
    HGDIOBJ old = SelectObject(dc, bitmap);
    BitBlt(dc, 0, 0, 2, 3, canvas.dc, 0, 0, SRCCOPY);
    SelectObject(dc, old);

    DWORD out[6] = {};
    BITMAPINFO topDown = Info32(2, -3);
    ASSERT_EQ(3, GetDIBits(dc, bitmap, 0, 3, out, &topDown, DIB_RGB_COLORS));
    EXPECT_EQ((std::vector<DWORD>{0, 1, 10, 11, 20, 21}), std::vector<DWORD>(out, out + 6));
    BITMAPINFO bottomUp = Info32(2, 3);
    ASSERT_EQ(3, GetDIBits(dc, bitmap, 0, 3, out, &bottomUp, DIB_RGB_COLORS));
    EXPECT_EQ((std::vector<DWORD>{20, 21, 10, 11, 0, 1}), std::vector<DWORD>(out, out + 6));
    // A start scan of a bottom-up read counts from the bottom row.
    ASSERT_EQ(1, GetDIBits(dc, bitmap, 1, 1, out, &bottomUp, DIB_RGB_COLORS));
    EXPECT_EQ(10u, out[0]);

    BITMAPINFO query{{sizeof(BITMAPINFOHEADER), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {}};
    ASSERT_EQ(3, GetDIBits(dc, bitmap, 0, 3, nullptr, &query, DIB_RGB_COLORS));
    EXPECT_EQ(2, query.bmiHeader.biWidth);
    EXPECT_EQ(3, query.bmiHeader.biHeight);
    EXPECT_EQ(32, query.bmiHeader.biBitCount);
    EXPECT_EQ(0, GetDIBits(dc, nullptr, 0, 3, out, &topDown, DIB_RGB_COLORS));

    // SetDIBits writes the same way round.
    const DWORD in[6] = {7, 8, 5, 6, 3, 4};
    ASSERT_EQ(3, SetDIBits(dc, bitmap, 0, 3, in, &bottomUp, DIB_RGB_COLORS));
    ASSERT_EQ(3, GetDIBits(dc, bitmap, 0, 3, out, &topDown, DIB_RGB_COLORS));
    EXPECT_EQ((std::vector<DWORD>{3, 4, 5, 6, 7, 8}), std::vector<DWORD>(out, out + 6));
    DeleteDC(dc);
    DeleteObject(bitmap);
}

TEST(SetDIBitsToDevice, CopiesABottomUpImageUpright)
{
    TestCanvas canvas(4, 4, 0);
    const DWORD image[6] = {1, 2, 3, 4, 5, 6};  // bottom row 1 2, top row 5 6
    BITMAPINFO bmi = Info32(2, 3);
    ASSERT_EQ(3, SetDIBitsToDevice(canvas.dc, 1, 1, 2, 3, 0, 0, 0, 3, image, &bmi, DIB_RGB_COLORS));
    EXPECT_EQ(5u, canvas.At(1, 1));
    EXPECT_EQ(6u, canvas.At(2, 1));
    EXPECT_EQ(1u, canvas.At(1, 3));
    EXPECT_EQ(0u, canvas.At(0, 0));
    EXPECT_EQ(0u, canvas.At(3, 3));
}

TEST(StretchDIBits, OneToOneAndDoubledWithARasterOperation)
{
    TestCanvas canvas(4, 4, 0);
    const DWORD image[4] = {1, 2, 3, 4};  // top-down: row 0 is 1 2
    const BITMAPINFO bmi = Info32(2, -2);
    ASSERT_EQ(2, StretchDIBits(canvas.dc, 0, 0, 2, 2, 0, 0, 2, 2, image, &bmi, DIB_RGB_COLORS, SRCCOPY));
    EXPECT_EQ(1u, canvas.At(0, 0));
    EXPECT_EQ(4u, canvas.At(1, 1));
    canvas.Fill(0x10);
    ASSERT_EQ(2, StretchDIBits(canvas.dc, 0, 0, 4, 4, 0, 0, 2, 2, image, &bmi, DIB_RGB_COLORS, SRCPAINT));
    EXPECT_EQ(0x11u, canvas.At(1, 1));
    EXPECT_EQ(0x12u, canvas.At(2, 0));
    EXPECT_EQ(0x14u, canvas.At(3, 3));
    EXPECT_EQ(0, StretchDIBits(canvas.dc, 0, 0, 4, 4, 0, 0, 2, 2, nullptr, &bmi, DIB_RGB_COLORS, SRCCOPY));
}

TEST(CreateBitmap, TakesWordAlignedMonochromeRowsAndChecksItsArguments)
{
    const BYTE rows[4] = {0x80, 0x00, 0x40, 0x00};  // 2 rows of 3 pixels
    HBITMAP mono = CreateBitmap(3, 2, 1, 1, rows);
    ASSERT_NE(nullptr, mono);
    DWORD out[6] = {};
    BITMAPINFO topDown = Info32(3, -2);
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_EQ(2, GetDIBits(dc, mono, 0, 2, out, &topDown, DIB_RGB_COLORS));
    EXPECT_EQ((std::vector<DWORD>{kWhite, 0, 0, 0, kWhite, 0}), std::vector<DWORD>(out, out + 6));
    DeleteDC(dc);
    DeleteObject(mono);
    EXPECT_EQ(nullptr, CreateBitmap(-1, 2, 1, 1, nullptr));
    EXPECT_EQ(nullptr, CreateBitmap(2, 2, 1, 8, nullptr));
    EXPECT_EQ(nullptr, CreateBitmap(2, 2, 2, 1, nullptr));
}

}  // namespace
