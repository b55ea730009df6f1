// CScanViewPreview: the paint path. The full paint of the preview (the page, the wash outside
// the frames, the trackers, the live image of a scan) is not built yet; this form only fills
// the client area with the background grey, so the message flow around it is the real one.
#include "ScanViewPreview.h"

namespace {

const COLORREF kBackgroundGrey = RGB(0x69, 0x69, 0x69);  // dim gray, the paint's background

}  // namespace

// --- Message handlers

LRESULT CScanViewPreview::OnEraseBackground(UINT /*uMsg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL& /*bHandled*/)
{
    return 1;
}

LRESULT CScanViewPreview::OnPaint(UINT /*uMsg*/, WPARAM wParam, LPARAM /*lParam*/, BOOL& bHandled)
{
    if (wParam != 0) {
        DoPaint(reinterpret_cast<HDC>(wParam));
    } else {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(&ps);
        if (hdc != nullptr) {
            DoPaint(hdc);
            EndPaint(&ps);
        }
    }
    bHandled = FALSE;  // the busy overlay paints next, on top
    return 0;
}

// --- Painting

void CScanViewPreview::DoPaint(HDC hdc)
{
    RECT rcClient = {0, 0, 0, 0};  // view coordinates
    if (!GetClientRect(&rcClient))
        return;
    HBRUSH hbrBackground = ::CreateSolidBrush(kBackgroundGrey);
    if (hbrBackground == nullptr)
        return;
    ::FillRect(hdc, &rcClient, hbrBackground);
    ::DeleteObject(hbrBackground);
}
