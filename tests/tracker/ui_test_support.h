// Shared helpers of the tracker and preview tests: a private registry for the program, a
// popup test window whose messages a test can intercept, mouse and key scripts for the
// headless window system, 32-bit memory bitmaps, and the module's close glyph.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <gdiplus.h>
#include <qorheadless.h>
#include <objidl.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace uitest {

// Every test program gets a registry of its own in a temporary folder, so the tracker's
// handle size comes from a known (empty) profile: the default 4.
class TemporaryRegistry : public ::testing::Environment {
public:
    void SetUp() override
    {
        char pattern[] = "/tmp/qor_ui_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_folder = pattern;
        setenv("QOR_REGISTRY_DIR", m_folder.c_str(), 1);
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

private:
    std::string m_folder;
};
inline ::testing::Environment* const g_registry = ::testing::AddGlobalTestEnvironment(new TemporaryRegistry);

// Hands every message of the thread's queue to its window until nothing is left (the
// headless backend never blocks).
inline void Pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
}

// A visible popup window without frame at screen (kLeft, kTop): client = window area.
// onMessage sees every message first; returning true ends it with *result.
class TestWindow {
public:
    static constexpr int kLeft = 30;
    static constexpr int kTop = 20;
    using Handler = std::function<bool(UINT, WPARAM, LPARAM, LRESULT*)>;

    TestWindow(int width, int height)
    {
        RegisterOnce();
        hwnd = CreateWindowExW(0, kClassName, u"test", WS_POPUP | WS_VISIBLE, kLeft, kTop, width, height, nullptr,
                               nullptr, nullptr, this);
        Pump();
    }
    ~TestWindow()
    {
        onMessage = nullptr;  // the test's handler may refer to objects already gone
        if (IsWindow(hwnd))
            DestroyWindow(hwnd);
        Pump();
        QorResetInput();
        if (GetCapture() != nullptr)
            ReleaseCapture();
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    operator HWND() const { return hwnd; }

    // Mouse input at client coordinates of this window.
    void Mouse(UINT message, int x, int y) const { QorInjectMouse(message, kLeft + x, kTop + y, 0); }
    void Press(int x, int y) const { Mouse(WM_LBUTTONDOWN, x, y); }
    void MoveTo(int x, int y) const { Mouse(WM_MOUSEMOVE, x, y); }
    void Release(int x, int y) const { Mouse(WM_LBUTTONUP, x, y); }

    // The client area as drawn, 0xAARRGGBB.
    std::vector<DWORD> Pixels() const
    {
        RECT rc;
        GetClientRect(hwnd, &rc);
        std::vector<DWORD> pixels(static_cast<size_t>(rc.right) * rc.bottom);
        QorGetWindowPixels(hwnd, pixels.data(), rc.right * 4);
        return pixels;
    }

    // Fills the client area with one colour through a window DC.
    void Fill(COLORREF color) const
    {
        RECT rc;
        GetClientRect(hwnd, &rc);
        HDC dc = GetDC(hwnd);
        HBRUSH brush = CreateSolidBrush(color);
        FillRect(dc, &rc, brush);
        DeleteObject(brush);
        ReleaseDC(hwnd, dc);
    }

    HWND hwnd = nullptr;
    Handler onMessage;

private:
    static constexpr const WCHAR* kClassName = u"QorUiTestWindow";

    static void RegisterOnce()
    {
        static const ATOM atom = [] {
            WNDCLASSEXW wc = {};
            wc.cbSize = sizeof(wc);
            wc.lpfnWndProc = &Proc;
            wc.lpszClassName = kClassName;
            return RegisterClassExW(&wc);
        }();
        (void)atom;
    }

    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        LRESULT result = 0;
        if (self != nullptr && self->onMessage) {
            Handler handler = self->onMessage;  // a handler may replace itself
            if (handler(message, wParam, lParam, &result))
                return result;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
};

// A 32-bit top-down memory bitmap selected into a memory DC; pixels are 0x00RRGGBB.
class MemoryCanvas {
public:
    MemoryCanvas(int width, int height, COLORREF fill) : m_width(width), m_height(height)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        m_dc = CreateCompatibleDC(nullptr);
        m_bitmap = CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&m_bits), nullptr, 0);
        m_old = SelectObject(m_dc, m_bitmap);
        for (int i = 0; i < width * height; ++i)
            m_bits[i] = (GetRValue(fill) << 16) | (GetGValue(fill) << 8) | GetBValue(fill);
    }
    ~MemoryCanvas()
    {
        SelectObject(m_dc, m_old);
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
    }
    MemoryCanvas(const MemoryCanvas&) = delete;
    MemoryCanvas& operator=(const MemoryCanvas&) = delete;

    HDC dc() const { return m_dc; }
    DWORD At(int x, int y) const { return m_bits[y * m_width + x] & 0x00FFFFFF; }
    std::vector<DWORD> Snapshot() const { return std::vector<DWORD>(m_bits, m_bits + m_width * m_height); }

private:
    int m_width;
    int m_height;
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
    DWORD* m_bits = nullptr;
};

// GDI+ for the program's lifetime of one test.
class GdiplusScope {
public:
    GdiplusScope()
    {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&m_token, &input, nullptr);
    }
    ~GdiplusScope() { Gdiplus::GdiplusShutdown(m_token); }
    GdiplusScope(const GdiplusScope&) = delete;
    GdiplusScope& operator=(const GdiplusScope&) = delete;

private:
    ULONG_PTR m_token = 0;
};

// The module's close glyph (PNG resource 104) decoded, or null.
inline std::unique_ptr<Gdiplus::Bitmap> LoadCloseGlyph()
{
    HMODULE module = HINST_THISCOMPONENT;
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(104), u"PNG");
    if (info == nullptr)
        return nullptr;
    const DWORD size = SizeofResource(module, info);
    const void* data = LockResource(LoadResource(module, info));
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    std::memcpy(GlobalLock(block), data, size);
    GlobalUnlock(block);
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream)))
        return nullptr;
    auto bitmap = std::make_unique<Gdiplus::Bitmap>(stream);
    stream->Release();
    if (bitmap->GetLastStatus() != Gdiplus::Ok)
        return nullptr;
    return bitmap;
}

inline HCURSOR ModuleCursor(WORD id) { return LoadCursorW(HINST_THISCOMPONENT, MAKEINTRESOURCEW(id)); }

}  // namespace uitest

inline std::ostream& operator<<(std::ostream& os, const RECT& r)
{
    return os << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}
inline bool operator==(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
