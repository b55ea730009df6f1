// Painting: WM_ERASEBKGND and WM_PAINT order, update regions, BeginPaint, and the pixels
// that window DCs leave in the top-level surface.
#include "user_test_util.h"

#include <cstdio>
#include <fstream>

namespace {

using namespace usertest;

constexpr DWORD kRgb = 0x00FFFFFF;

class Painting : public UserTest {
protected:
    std::vector<DWORD> Pixels(HWND hwnd)
    {
        RECT rc;
        GetClientRect(hwnd, &rc);
        std::vector<DWORD> pixels(static_cast<size_t>(rc.right) * rc.bottom);
        EXPECT_TRUE(QorGetWindowPixels(hwnd, pixels.data(), rc.right * 4));
        for (DWORD& p : pixels) p &= kRgb;
        return pixels;
    }
    DWORD Pixel(HWND hwnd, int x, int y)
    {
        RECT rc;
        GetClientRect(hwnd, &rc);
        return Pixels(hwnd)[static_cast<size_t>(y) * rc.right + x];
    }
    // The window fills whatever BeginPaint lets it paint with one colour.
    void PaintWith(HWND hwnd, COLORREF color)
    {
        Handlers()[hwnd] = [color](HWND w, UINT msg, WPARAM, LPARAM, LRESULT* result) {
            if (msg != WM_PAINT) return false;
            PAINTSTRUCT ps;
            HDC hdc = BeginPaint(w, &ps);
            HBRUSH brush = CreateSolidBrush(color);
            RECT everything{-1000, -1000, 1000, 1000};
            FillRect(hdc, &everything, brush);
            DeleteObject(brush);
            EndPaint(w, &ps);
            *result = 0;
            return true;
        };
    }
};

TEST_F(Painting, RedrawWithUpdateNowErasesThenPaintsEveryWindow)
{
    HWND parent = CreateQuiet("parent", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100);
    HWND child = CreateQuiet("child", WS_CHILD | WS_VISIBLE, 10, 10, 50, 50, parent);
    Pump();
    Recorder::Get().Clear();
    ASSERT_TRUE(RedrawWindow(parent, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN));
    EXPECT_TRUE(Recorder::Get().Matches({
        {"parent", WM_ERASEBKGND},
        {"parent", WM_PAINT},
        {"child", WM_ERASEBKGND},
        {"child", WM_PAINT},
    }));
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE));  // all validated
    EXPECT_FALSE(GetUpdateRect(child, nullptr, FALSE));
}

TEST_F(Painting, QueuedPaintErasesInsideBeginPaintAndValidates)
{
    HWND w = CreateQuiet("w", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100);
    Pump();
    static PAINTSTRUCT seen;
    static RECT updateDuringErase;
    static BOOL hadUpdate;
    Handlers()[w] = [](HWND hwnd, UINT msg, WPARAM, LPARAM, LRESULT* result) {
        if (msg == WM_ERASEBKGND) hadUpdate = GetUpdateRect(hwnd, &updateDuringErase, FALSE);
        if (msg != WM_PAINT) return false;
        BeginPaint(hwnd, &seen);
        EndPaint(hwnd, &seen);
        *result = 0;
        return true;
    };
    RECT a{10, 10, 20, 20}, b{50, 30, 60, 90};
    InvalidateRect(w, &a, TRUE);
    InvalidateRect(w, &b, FALSE);
    RECT update;
    EXPECT_TRUE(GetUpdateRect(w, &update, FALSE));
    EXPECT_EQ(10, update.left);
    EXPECT_EQ(90, update.bottom);
    Recorder::Get().Clear();
    Pump();
    EXPECT_TRUE(Recorder::Get().Matches({{"w", WM_PAINT}, {"w", WM_ERASEBKGND}}));
    EXPECT_FALSE(hadUpdate);  // BeginPaint validated before erasing
    const RECT united{10, 10, 60, 90};
    EXPECT_TRUE(EqualRect(&united, &seen.rcPaint));
    EXPECT_TRUE(seen.fErase);  // no class brush: DefWindowProc did not erase
    EXPECT_FALSE(GetUpdateRect(w, &update, FALSE));

    // Without the erase flag, BeginPaint sends no WM_ERASEBKGND; a validated area is gone.
    InvalidateRect(w, &a, FALSE);
    ValidateRect(w, &a);
    EXPECT_FALSE(GetUpdateRect(w, nullptr, FALSE));
    InvalidateRect(w, &b, FALSE);
    Recorder::Get().Clear();
    UpdateWindow(w);
    EXPECT_EQ((std::vector<UINT>{WM_PAINT}), Recorder::Get().MessagesOf(w));
    EXPECT_FALSE(seen.fErase);
    Recorder::Get().Clear();
    UpdateWindow(w);  // nothing to paint
    EXPECT_TRUE(Recorder::Get().Log().empty());
}

TEST_F(Painting, ChildPixelsLandInTheTopLevelSurfaceClippedToTheChild)
{
    HWND parent = CreateQuiet("parent", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 100, 80);
    HWND child = CreateQuiet("child", WS_CHILD | WS_VISIBLE, 20, 10, 30, 20, parent);
    PaintWith(parent, RGB(0, 0, 255));
    PaintWith(child, RGB(255, 0, 0));
    Pump();
    EXPECT_EQ(0x000000FFu, Pixel(parent, 0, 0));
    EXPECT_EQ(0x000000FFu, Pixel(parent, 19, 10));
    EXPECT_EQ(0x00FF0000u, Pixel(parent, 20, 10));
    EXPECT_EQ(0x00FF0000u, Pixel(parent, 49, 29));
    EXPECT_EQ(0x000000FFu, Pixel(parent, 50, 29));
    EXPECT_EQ(0x000000FFu, Pixel(parent, 49, 30));
    for (DWORD p : Pixels(child)) ASSERT_EQ(0x00FF0000u, p);

    // The parent repaints alone (WS_CLIPCHILDREN keeps the child out of its update); its
    // paint does not cover the child.
    InvalidateRect(parent, nullptr, FALSE);
    Recorder::Get().Clear();
    UpdateWindow(parent);
    EXPECT_TRUE(Recorder::Get().MessagesOf(child).empty());
    EXPECT_EQ(0x00FF0000u, Pixel(parent, 25, 15));

    // A window DC draws only inside its client area.
    HDC hdc = GetDC(child);
    ASSERT_TRUE(hdc);
    HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
    RECT everything{-100, -100, 500, 500};
    FillRect(hdc, &everything, green);
    DeleteObject(green);
    EXPECT_EQ(1, ReleaseDC(child, hdc));
    EXPECT_EQ(0x0000FF00u, Pixel(parent, 20, 10));
    EXPECT_EQ(0x000000FFu, Pixel(parent, 19, 10));
    EXPECT_EQ(0x000000FFu, Pixel(parent, 50, 30));
}

TEST_F(Painting, ChildrenOfAParentWithoutClipChildrenRepaintAfterIt)
{
    HWND parent = CreateQuiet("parent", WS_POPUP | WS_VISIBLE, 0, 0, 100, 80);
    HWND child = CreateQuiet("child", WS_CHILD | WS_VISIBLE, 20, 10, 30, 20, parent);
    PaintWith(parent, RGB(0, 0, 255));
    PaintWith(child, RGB(255, 0, 0));
    Pump();
    Recorder::Get().Clear();
    InvalidateRect(parent, nullptr, FALSE);  // without WS_CLIPCHILDREN the child is invalidated too
    Pump();
    EXPECT_TRUE(Recorder::Get().Matches({{"parent", WM_PAINT}, {"child", WM_PAINT}}));
    EXPECT_EQ(0x00FF0000u, Pixel(parent, 25, 15));
}

TEST_F(Painting, TheClassBrushErasesTheBackground)
{
    const HBRUSH windowColour = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    ASSERT_TRUE(RegisterTestClass(u"QorTestBrushClass", DefWindowProcW, nullptr, windowColour));
    HWND parent = CreateQuiet("parent", WS_POPUP | WS_VISIBLE, 0, 0, 60, 40);
    PaintWith(parent, RGB(0, 0, 0));
    HWND child = CreateWindowExW(0, u"QorTestBrushClass", u"", WS_CHILD | WS_VISIBLE, 5, 5, 20, 10, parent, nullptr,
                                 nullptr, nullptr);
    ASSERT_TRUE(child);
    Pump();
    EXPECT_EQ(0x00FFFFFFu, Pixel(parent, 5, 5));
    EXPECT_EQ(0x00FFFFFFu, Pixel(parent, 24, 14));
    EXPECT_EQ(0x00000000u, Pixel(parent, 25, 14));
    DestroyWindow(child);
    EXPECT_TRUE(UnregisterClassW(u"QorTestBrushClass", nullptr));
}

TEST_F(Painting, SavesTheClientAreaAsPng)
{
    HWND w = CreateQuiet("w", WS_POPUP | WS_VISIBLE, 0, 0, 16, 8);
    PaintWith(w, RGB(10, 20, 30));
    Pump();
    const std::string path = ::testing::TempDir() + "qor_user_window.png";
    ASSERT_TRUE(QorSaveWindowPng(w, path.c_str()));
    std::ifstream in(path, std::ios::binary);
    char signature[8] = {};
    in.read(signature, 8);
    EXPECT_EQ(0, std::memcmp(signature, "\x89PNG\r\n\x1a\n", 8));
    std::remove(path.c_str());
    EXPECT_FALSE(QorSaveWindowPng(w, "/nonexistent-folder/x.png"));
    EXPECT_FALSE(QorGetWindowPixels(w, nullptr, 64));
}

}  // namespace
