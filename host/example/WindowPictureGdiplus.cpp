// Windows: the client area copied from the window's device context into a bitmap, which
// GDI+ encodes as PNG. The window must be on the screen, not covered, for its pixels to be
// there to copy.
#include "WindowPicture.h"

#include <gdiplus.h>

#include <string>

namespace {

// GDI+'s PNG encoder.
const CLSID kPngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

std::wstring Widen(const char* psz)
{
    const int cch = MultiByteToWideChar(CP_UTF8, 0, psz, -1, nullptr, 0);
    std::wstring text(cch > 0 ? static_cast<size_t>(cch) : 0, L'\0');
    if (cch > 0)
        MultiByteToWideChar(CP_UTF8, 0, psz, -1, text.data(), cch);
    return text;
}

bool CopyClientArea(HWND hWnd, HBITMAP* phBitmap)
{
    RECT rcClient;
    if (!GetClientRect(hWnd, &rcClient) || rcClient.right <= 0 || rcClient.bottom <= 0)
        return false;
    HDC hdcWindow = GetDC(hWnd);
    if (hdcWindow == nullptr)
        return false;
    HDC hdcMemory = CreateCompatibleDC(hdcWindow);
    HBITMAP hBitmap = CreateCompatibleBitmap(hdcWindow, rcClient.right, rcClient.bottom);
    bool bCopied = false;
    if (hdcMemory != nullptr && hBitmap != nullptr) {
        HGDIOBJ hOld = SelectObject(hdcMemory, hBitmap);
        bCopied = BitBlt(hdcMemory, 0, 0, rcClient.right, rcClient.bottom, hdcWindow, 0, 0, SRCCOPY) != FALSE;
        SelectObject(hdcMemory, hOld);
    }
    if (hdcMemory != nullptr)
        DeleteDC(hdcMemory);
    ReleaseDC(hWnd, hdcWindow);
    if (!bCopied) {
        if (hBitmap != nullptr)
            DeleteObject(hBitmap);
        return false;
    }
    *phBitmap = hBitmap;
    return true;
}

}  // namespace

bool SaveWindowPicture(HWND hWnd, const char* pszPath)
{
    if (pszPath == nullptr)
        return false;
    HBITMAP hBitmap = nullptr;
    if (!CopyClientArea(hWnd, &hBitmap))
        return false;
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    bool bSaved = false;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok) {
        {
            Gdiplus::Bitmap picture(hBitmap, nullptr);
            bSaved = picture.Save(Widen(pszPath).c_str(), &kPngEncoder, nullptr) == Gdiplus::Ok;
        }
        Gdiplus::GdiplusShutdown(token);
    }
    DeleteObject(hBitmap);
    return bSaved;
}
