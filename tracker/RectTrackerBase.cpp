// CRectTrackerBase: handle geometry, hit testing, the minimum-size rule, the modal drag loop
// and the default drawing.
#include "RectTrackerBase.h"

#include <atlbase.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdlib>

namespace {

// Where each handle sits: the RECT members giving its x and y, whether it is centred along
// an axis, the multiple of the handle size added, and the handle that takes its place when
// the rectangle is mirrored horizontally or vertically.
struct HandleInfo {
    LONG RECT::*xFrom;
    LONG RECT::*yFrom;
    int centerX;
    int centerY;
    int addX;
    int addY;
    int mirroredX;
    int mirroredY;
};

constexpr HandleInfo kHandleInfo[8] = {
    {&RECT::left, &RECT::top, 0, 0, 0, 0, 1, 3},        // top-left
    {&RECT::right, &RECT::top, 0, 0, -1, 0, 0, 2},      // top-right
    {&RECT::right, &RECT::bottom, 0, 0, -1, -1, 3, 1},  // bottom-right
    {&RECT::left, &RECT::bottom, 0, 0, 0, -1, 2, 0},    // bottom-left
    {&RECT::left, &RECT::top, 1, 0, 0, 0, 4, 6},        // top
    {&RECT::right, &RECT::top, 0, 1, -1, 0, 7, 5},      // right
    {&RECT::left, &RECT::bottom, 1, 0, 0, -1, 6, 4},    // bottom
    {&RECT::left, &RECT::top, 0, 1, 0, 0, 5, 7},        // left
};

// The edge that bounds a moved edge under the minimum-size rule, and the side it lies on.
struct OppositeEdge {
    LONG RECT::*moved;
    LONG RECT::*opposite;
    int sign;
};

constexpr OppositeEdge kOppositeEdges[4] = {
    {&RECT::left, &RECT::right, +1},
    {&RECT::top, &RECT::bottom, +1},
    {&RECT::right, &RECT::left, -1},
    {&RECT::bottom, &RECT::top, -1},
};

const OppositeEdge* FindOpposite(LONG RECT::*moved)
{
    for (const OppositeEdge& edge : kOppositeEdges) {
        if (edge.moved == moved)
            return &edge;
    }
    return nullptr;
}

// Cursor resources of the module by hit code: the diagonals, the edges, the move cross and
// the hatched band.
constexpr WORD kCursorIds[10] = {105, 106, 105, 106, 107, 108, 107, 108, 109, 110};

// Diagonal lines every four pixels, one 16-bit word per row as monochrome bitmaps store it.
constexpr WORD kHatchPattern[8] = {0x1111, 0x2222, 0x4444, 0x8888, 0x1111, 0x2222, 0x4444, 0x8888};

void Normalize(RECT* r)
{
    if (r->left > r->right) {
        const LONG t = r->left;
        r->left = r->right;
        r->right = t;
    }
    if (r->top > r->bottom) {
        const LONG t = r->top;
        r->top = r->bottom;
        r->bottom = t;
    }
}

}  // namespace

// --- Construction

const CRectTrackerBase::SharedObjects& CRectTrackerBase::Shared()
{
    // Created once for every tracker of the process and never released: trackers are
    // copied freely and the objects are needed as long as the module is loaded.
    static const SharedObjects shared = [] {
        SharedObjects objects{};
        objects.handleSize = static_cast<int>(GetProfileIntW(OLESTR("windows"), OLESTR("oleinplaceborderwidth"), 4));
        HBITMAP pattern = CreateBitmap(8, 8, 1, 1, kHatchPattern);
        objects.hatchBrush = CreatePatternBrush(pattern);
        DeleteObject(pattern);  // the brush keeps its own copy of the pattern
        objects.dottedPen = CreatePen(PS_DOT, 0, RGB(0, 0, 0));
        const HINSTANCE module = HINST_THISCOMPONENT;
        for (int i = 0; i < 10; ++i)
            objects.cursors[i] = LoadCursorW(module, MAKEINTRESOURCEW(kCursorIds[i]));
        return objects;
    }();
    return shared;
}

CRectTrackerBase::CRectTrackerBase(const RECT& r, UINT nStyle)
{
    InitTracker();
    rect = r;
    style = nStyle;
    erasing = FALSE;
    finalErase = FALSE;
    allowInvert = FALSE;
}

CRectTrackerBase::~CRectTrackerBase() = default;

void CRectTrackerBase::InitTracker()
{
    handleSize = Shared().handleSize;
    minSize.cx = minSize.cy = 2 * handleSize;
    style = 0;
    SetRectEmpty(&rect);
    SetRectEmpty(&lastRect);
    lastBorder.cx = lastBorder.cy = 0;
    allowInvert = FALSE;
    erasing = FALSE;
    finalErase = FALSE;
}

// --- Handle geometry and hit testing

RECT CRectTrackerBase::NormalizedRect() const
{
    RECT rc = rect;
    Normalize(&rc);
    return rc;
}

int CRectTrackerBase::GetHandleSize(const RECT* r)
{
    if (style & StyleHandlesOutside)
        return handleSize;
    const RECT& rc = r != nullptr ? *r : rect;
    const int m = std::min(std::abs(rc.right - rc.left), std::abs(rc.bottom - rc.top));
    return 2 * handleSize <= m ? handleSize : m / 2;
}

UINT CRectTrackerBase::GetHandleMask()
{
    UINT mask = 0x0F;  // the corners are always shown
    if (std::abs(rect.right - rect.left) - 3 * handleSize >= 5)
        mask |= 0x50;
    if (std::abs(rect.bottom - rect.top) - 3 * handleSize >= 5)
        mask |= 0xA0;
    return mask;
}

void CRectTrackerBase::GetBoundingRect(RECT* out)
{
    if (out == nullptr)
        return;
    *out = NormalizedRect();
    int n = (style & (StyleHandlesOutside | StyleHatchedBorder)) ? GetHandleSize() - 1 : 0;
    if (HasLineStyle())
        n += 1;
    InflateRect(out, n, n);
}

int CRectTrackerBase::NormalizeHandle(int handle)
{
    if (handle < 0 || handle >= 8)
        return handle;
    if (rect.right - rect.left < 0)
        handle = kHandleInfo[handle].mirroredX;
    if (rect.bottom - rect.top < 0)
        handle = kHandleInfo[handle].mirroredY;
    return handle;
}

void CRectTrackerBase::GetHandleRect(int handle, RECT* out)
{
    // Only the eight handles have a square; the middle and unknown codes have none.
    if (out == nullptr || handle < 0 || handle >= 8)
        return;
    RECT rc = NormalizedRect();
    if (HasLineStyle())
        InflateRect(&rc, 1, 1);
    handle = NormalizeHandle(handle);
    const int s = GetHandleSize();
    if (style & StyleHandlesOutside)
        InflateRect(&rc, s - 1, s - 1);
    const HandleInfo& info = kHandleInfo[handle];
    const int width = rc.right - rc.left;
    const int height = rc.bottom - rc.top;
    const int x = rc.*info.xFrom + info.addX * s + (width - s) * info.centerX / 2;
    const int y = rc.*info.yFrom + info.addY * s + (height - s) * info.centerY / 2;
    SetRect(out, x, y, x + s, y + s);
}

int CRectTrackerBase::HitTestHandles(int x, int y)
{
    const POINT pt = {x, y};
    RECT bounds;
    GetBoundingRect(&bounds);
    if (!PtInRect(&bounds, pt))
        return HitNothing;
    const UINT mask = GetHandleMask();
    for (int handle = 0; handle <= HitMiddle; ++handle) {
        if (!(mask & (1u << handle)))
            continue;
        RECT handleRect;
        SetRectEmpty(&handleRect);
        GetHandleRect(handle, &handleRect);
        if (PtInRect(&handleRect, pt))
            return handle;
    }
    if (style & StyleHatchedBorder)
        return HitMiddle;
    RECT inner = NormalizedRect();
    InflateRect(&inner, 1, 1);
    return PtInRect(&inner, pt) ? HitMiddle : HitNothing;
}

int CRectTrackerBase::HitTest(int x, int y)
{
    RECT bounds;
    GetBoundingRect(&bounds);
    if (!PtInRect(&bounds, POINT{x, y}))
        return HitNothing;
    if (!HasHandleStyle())
        return HitMiddle;
    return HitTestHandles(x, y);
}

BOOL CRectTrackerBase::SetCursorForHit(HWND wnd, UINT hitTestCode)
{
    if (hitTestCode != HTCLIENT)
        return FALSE;
    POINT pt;
    if (!GetCursorPos(&pt))
        return FALSE;
    ScreenToClient(wnd, &pt);
    int hit = HitTestHandles(pt.x, pt.y);
    // A miss has no cursor of its own; the window's default cursor applies.
    if (hit < 0)
        return FALSE;
    hit = NormalizeHandle(hit);
    const RECT inner = NormalizedRect();
    if (hit == HitMiddle && (style & StyleHatchedBorder) && !PtInRect(&inner, pt))
        hit = HitHatchedBorder;
    SetCursor(Shared().cursors[hit]);
    return TRUE;
}

// --- Dragging

void CRectTrackerBase::GetMovedEdges(int handle, LONG** xEdge, LONG** yEdge, int* x0, int* y0)
{
    if (handle == HitMiddle)
        handle = HitTopLeft;
    const HandleInfo& info = kHandleInfo[handle];
    if (info.mirroredX != handle) {
        *xEdge = &(rect.*info.xFrom);
        *x0 = rect.*info.xFrom;
    } else {
        *xEdge = nullptr;
        *x0 = rect.left + std::abs(rect.right - rect.left) / 2;
    }
    if (info.mirroredY != handle) {
        *yEdge = &(rect.*info.yFrom);
        *y0 = rect.*info.yFrom;
    } else {
        *yEdge = nullptr;
        *y0 = rect.top + std::abs(rect.bottom - rect.top) / 2;
    }
}

void CRectTrackerBase::AdjustRect(int handle, RECT* r)
{
    if (r == nullptr || handle < 0 || handle >= HitMiddle)
        return;
    const HandleInfo& info = kHandleInfo[handle];
    // The x edge (if this handle moves one), bounded by the edge opposite it.
    if (info.mirroredX != handle) {
        const int signedWidth = r->right - r->left;
        const int w = allowInvert ? std::abs(signedWidth) : signedWidth;
        if (w < minSize.cx) {
            const OppositeEdge* edge = FindOpposite(info.xFrom);
            const int q = w != 0 ? signedWidth / w : 1;
            r->*edge->moved = r->*edge->opposite - edge->sign * minSize.cx * q;
        }
    }
    if (info.mirroredY != handle) {
        const int signedHeight = r->bottom - r->top;
        const int h = allowInvert ? std::abs(signedHeight) : signedHeight;
        if (h < minSize.cy) {
            const OppositeEdge* edge = FindOpposite(info.yFrom);
            const int q = h != 0 ? signedHeight / h : 1;
            r->*edge->moved = r->*edge->opposite - edge->sign * minSize.cy * q;
        }
    }
}

void CRectTrackerBase::OnRectChanged(const RECT* /*old*/) {}

BOOL CRectTrackerBase::Track(HWND wnd, int x, int y, BOOL bAllowInvert, HWND clipTo)
{
    const int handle = HitTestHandles(x, y);
    if (handle < 0)
        return FALSE;
    allowInvert = bAllowInvert;
    return TrackHandle(handle, wnd, x, y, clipTo);
}

BOOL CRectTrackerBase::TrackNewRect(HWND wnd, int x, int y, BOOL bAllowInvert)
{
    allowInvert = bAllowInvert;
    SetRect(&rect, x, y, x, y);
    return TrackHandle(HitBottomRight, wnd, x, y, nullptr);
}

BOOL CRectTrackerBase::TrackHandle(int handle, HWND wnd, int x, int y, HWND clipTo)
{
    if (handle < 0 || handle > HitMiddle || GetCapture() != nullptr)
        return FALSE;

    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    const RECT startRect = rect;
    SetCapture(wnd);
    UpdateWindow(wnd);
    if (clipTo != nullptr)
        UpdateWindow(clipTo);

    LONG* xEdge = nullptr;
    LONG* yEdge = nullptr;
    int x0 = 0;
    int y0 = 0;
    GetMovedEdges(handle, &xEdge, &yEdge, &x0, &y0);
    const int dx = x - x0;  // where in the handle the press was
    const int dy = y - y0;

    HDC dc = clipTo != nullptr ? GetDCEx(clipTo, nullptr, DCX_CACHE) : GetDC(wnd);
    BOOL feedbackDrawn = FALSE;
    BOOL cancelled = FALSE;
    for (;;) {
        if (GetCapture() != wnd)
            break;
        MSG msg;
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            // A quit request ends the drag; it is posted again for the loop that owns it.
            if (got == 0)
                PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (GetCapture() != wnd)
            break;

        if (msg.message == WM_MOUSEMOVE || msg.message == WM_LBUTTONUP) {
            const RECT old = rect;
            if (xEdge != nullptr)
                *xEdge = GET_X_LPARAM(msg.lParam) - dx;
            if (yEdge != nullptr)
                *yEdge = GET_Y_LPARAM(msg.lParam) - dy;
            if (handle == HitMiddle) {
                rect.right = rect.left + width;
                rect.bottom = rect.top + height;
            }
            AdjustRect(handle, &rect);
            const BOOL buttonUp = msg.message == WM_LBUTTONUP;
            finalErase = buttonUp;
            const BOOL moved = !EqualRect(&rect, &old);
            if (moved || buttonUp) {
                if (feedbackDrawn) {
                    erasing = TRUE;
                    DrawDragFeedback(&old, clipTo, dc, wnd);
                }
                OnRectChanged(&old);
                if (buttonUp)
                    break;
                feedbackDrawn = TRUE;
                if (moved) {
                    erasing = FALSE;
                    DrawDragFeedback(&rect, clipTo, dc, wnd);
                }
            }
        } else if (msg.message == WM_KEYDOWN) {
            if (msg.wParam == VK_ESCAPE) {
                cancelled = TRUE;
                break;
            }
            // Other keys are swallowed while dragging.
        } else if (msg.message == WM_RBUTTONDOWN) {
            cancelled = TRUE;
            break;
        } else {
            DispatchMessageW(&msg);
        }
    }

    if (cancelled) {
        if (feedbackDrawn) {
            erasing = TRUE;
            finalErase = TRUE;
            DrawDragFeedback(&rect, clipTo, dc, wnd);
        }
        rect = startRect;
    }
    ReleaseDC(clipTo != nullptr ? clipTo : wnd, dc);
    if (GetCapture() == wnd)
        ReleaseCapture();
    if (!feedbackDrawn)
        rect = startRect;
    erasing = FALSE;
    finalErase = FALSE;
    return !EqualRect(&rect, &startRect);
}

// --- Drawing

void CRectTrackerBase::Draw(HDC dc, const RECT* r)
{
    const int savedDC = SaveDC(dc);
    SetMapMode(dc, MM_TEXT);
    SetViewportOrgEx(dc, 0, 0, nullptr);
    SetWindowOrgEx(dc, 0, 0, nullptr);

    RECT rc = r != nullptr ? *r : rect;
    Normalize(&rc);

    if (HasLineStyle()) {
        SelectObject(dc, (style & StyleDottedLine) ? Shared().dottedPen : GetStockObject(BLACK_PEN));
        SelectObject(dc, GetStockObject(NULL_BRUSH));
        SetROP2(dc, R2_COPYPEN);
        RECT line = rc;
        InflateRect(&line, 1, 1);
        Rectangle(dc, line.left, line.top, line.right, line.bottom);
    }
    if (style & (StyleHatchedBorder | StyleHatchInside))
        UnrealizeObject(Shared().hatchBrush);
    if (style & StyleHatchInside) {
        SelectObject(dc, GetStockObject(NULL_PEN));
        SelectObject(dc, Shared().hatchBrush);
        SetBkMode(dc, TRANSPARENT);
        SetROP2(dc, R2_MASKNOTPEN);
        Rectangle(dc, rc.left + 1, rc.top + 1, rc.right, rc.bottom);
    }
    if (style & StyleHatchedBorder)
        DrawHatchedBorder(dc, rc);
    if (HasHandleStyle())
        DrawHandles(dc);

    RestoreDC(dc, savedDC);  // pen, brush, modes and origins as they were
}

void CRectTrackerBase::DrawHatchedBorder(HDC dc, const RECT& rc)
{
    constexpr DWORD kPatternAndNotDest = 0x000F0001;  // Pn: the pattern where it is set
    SelectObject(dc, Shared().hatchBrush);
    SetBkMode(dc, OPAQUE);
    RECT bounds;
    GetBoundingRect(&bounds);
    PatBlt(dc, bounds.left, bounds.top, bounds.right - bounds.left, rc.top - bounds.top, kPatternAndNotDest);
    PatBlt(dc, bounds.left, rc.bottom, bounds.right - bounds.left, bounds.bottom - rc.bottom, kPatternAndNotDest);
    PatBlt(dc, bounds.left, rc.top, rc.left - bounds.left, rc.bottom - rc.top, kPatternAndNotDest);
    PatBlt(dc, rc.right, rc.top, bounds.right - rc.right, rc.bottom - rc.top, kPatternAndNotDest);
}

void CRectTrackerBase::DrawHandles(HDC dc)
{
    SetBkColor(dc, RGB(0, 0, 0));
    const UINT mask = GetHandleMask();
    for (int handle = 0; handle < 8; ++handle) {
        if (!(mask & (1u << handle)))
            continue;
        RECT handleRect;
        SetRectEmpty(&handleRect);
        GetHandleRect(handle, &handleRect);
        ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &handleRect, nullptr, 0, nullptr);
    }
}

void CRectTrackerBase::DrawDragFeedback(const RECT* r, HWND clipTo, HDC dc, HWND wnd)
{
    if (r == nullptr)
        return;
    RECT rc = *r;
    Normalize(&rc);
    if (clipTo != nullptr)
        MapWindowPoints(wnd, clipTo, reinterpret_cast<POINT*>(&rc), 2);

    SIZE border = {0, 0};
    if (!finalErase) {
        if (style & StyleHatchedBorder) {
            const int n = std::max(1, GetHandleSize(&rc) - 1);
            border.cx = border.cy = n;
            InflateRect(&rc, n, n);
        } else {
            border.cx = border.cy = 4;
        }
    }
    if (!finalErase && erasing) {
        // The outline drawn last is taken off together with drawing the next one.
        lastRect = rc;
        lastBorder = border;
        return;
    }

    const int savedDC = SaveDC(dc);
    SetROP2(dc, R2_XORPEN);
    SelectObject(dc, Shared().dottedPen);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    // XOR twice restores the pixels: the previous outline is removed, then the new one is
    // drawn. The final erase (border 0) only removes, and the outline drawn is the one
    // mapped into the DC's window; an empty lastRect means nothing is on the screen.
    if (!IsRectEmpty(&lastRect))
        Rectangle(dc, lastRect.left, lastRect.top, lastRect.right, lastRect.bottom);
    if (border.cx != 0)
        Rectangle(dc, rc.left, rc.top, rc.right, rc.bottom);
    RestoreDC(dc, savedDC);
    if (border.cx != 0) {
        lastRect = rc;
    } else {
        SetRectEmpty(&lastRect);
    }
    lastBorder = border;
}
