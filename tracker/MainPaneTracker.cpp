// CMainPaneTracker: the look, handles, cursors and snapping of a crop frame.
#include "MainPaneTracker.h"

#include <algorithm>

#include "GeometryMath.h"
#include "ScanViewPreview.h"

namespace {

constexpr DWORD kWhitePenStyle = PS_GEOMETRIC | PS_ENDCAP_SQUARE | PS_SOLID;  // 0x00010100
constexpr DWORD kDashedPenStyle = PS_GEOMETRIC | PS_ENDCAP_SQUARE | PS_DASH;  // 0x00010101
constexpr DWORD kFramePenWidth = 2;

constexpr int kCornerHandle = 10;      // corner handles are 10 x 10
constexpr int kNarrowCornerHandle = 4;  // the top-right corner beside the close glyph
constexpr int kEdgeHandle = 6;         // edge handles are 6 pixels deep
constexpr int kEdgeInset = 11;         // and leave 11 pixels to each corner

HCURSOR LoadModuleCursor(WORD id)
{
    return LoadCursorW(HINST_THISCOMPONENT, MAKEINTRESOURCEW(id));
}

bool MovesLeft(int handle) { return handle == 0 || handle == 3 || handle == 7; }
bool MovesTop(int handle) { return handle == 0 || handle == 1 || handle == 4; }
bool MovesRight(int handle) { return handle == 1 || handle == 2 || handle == 5; }
bool MovesBottom(int handle) { return handle == 2 || handle == 3 || handle == 6; }

}  // namespace

// --- Construction

CMainPaneTracker::CMainPaneTracker(int left, int top, int right, int bottom, CScanViewPreview* pView)
    : CRectTrackerBase(RECT{left, top, right, bottom}, StyleHandlesOutside),
      view(pView),
      ellipseShape(FALSE),
      glyphShown(FALSE),
      closeGlyph(nullptr),
      cursorMove(LoadModuleCursor(109)),
      cursorNWSE(LoadModuleCursor(105)),
      cursorNESW(LoadModuleCursor(106)),
      cursorNS(LoadModuleCursor(107)),
      cursorWE(LoadModuleCursor(108)),
      cursorClose(LoadModuleCursor(110))
{
}

CMainPaneTracker::~CMainPaneTracker() = default;

void CMainPaneTracker::SetCloseGlyph(Gdiplus::Image* pGlyph)
{
    closeGlyph = pGlyph;
    if (pGlyph != nullptr) {
        minSize.cx = static_cast<LONG>(pGlyph->GetWidth()) + 1;
        minSize.cy = static_cast<LONG>(pGlyph->GetHeight()) + 1;
    }
}

// --- Handles and hit testing

void CMainPaneTracker::GetHandleRect(int handle, RECT* out)
{
    if (out == nullptr)
        return;
    RECT rc = NormalizedRect();
    InflateRect(&rc, 1, 1);
    const LONG l = rc.left, t = rc.top, r = rc.right, b = rc.bottom;
    switch (handle) {
    case HitTopLeft:
        SetRect(out, l, t, l + kCornerHandle, t + kCornerHandle);
        break;
    case HitTopRight: {
        const int s = HasActiveGlyph() ? kNarrowCornerHandle : kCornerHandle;
        SetRect(out, r - s, t, r, t + s);
        break;
    }
    case HitBottomRight:
        SetRect(out, r - kCornerHandle, b - kCornerHandle, r, b);
        break;
    case HitBottomLeft:
        SetRect(out, l, b - kCornerHandle, l + kCornerHandle, b);
        break;
    case HitTop:
        SetRect(out, l + kEdgeInset, t, r - kEdgeInset, t + kEdgeHandle);
        break;
    case HitRight:
        SetRect(out, r - kEdgeHandle, t + kEdgeInset, r, b - kEdgeInset);
        break;
    case HitBottom:
        SetRect(out, l + kEdgeInset, b - kEdgeHandle, r - kEdgeInset, b);
        break;
    case HitLeft:
        SetRect(out, l, t + kEdgeInset, l + kEdgeHandle, b - kEdgeInset);
        break;
    case HitCloseGlyph:
        if (HasActiveGlyph()) {
            // The inner part of the drawn glyph, so that its soft rim still belongs to the frame.
            const int w = static_cast<int>(closeGlyph->GetWidth());
            const int h = static_cast<int>(closeGlyph->GetHeight());
            SetRect(out, r - w, t + 2, r - 2, t + h);
        } else {
            SetRectEmpty(out);
        }
        break;
    default:
        // A miss has no area; the middle and any larger code cover the whole frame.
        if (handle < 0)
            SetRectEmpty(out);
        else
            *out = rc;
        break;
    }
}

int CMainPaneTracker::HitTest(int x, int y)
{
    static constexpr int kOrder[] = {0, 1, 2, 3, 4, 5, 6, 7, HitCloseGlyph};
    const POINT pt = {x, y};
    for (int code : kOrder) {
        RECT area;
        GetHandleRect(code, &area);
        if (PtInRect(&area, pt))
            return code;
    }
    return PtInRect(&rect, pt) ? HitMiddle : HitNothing;
}

BOOL CMainPaneTracker::SetCursorForHit(HWND wnd, UINT /*hitTestCode*/)
{
    POINT pt = {0, 0};
    GetCursorPos(&pt);
    ScreenToClient(wnd, &pt);
    HCURSOR cursor = nullptr;
    switch (HitTest(pt.x, pt.y)) {
    case HitTopLeft:
    case HitBottomRight:
        cursor = cursorNWSE;
        break;
    case HitTopRight:
    case HitBottomLeft:
        cursor = cursorNESW;
        break;
    case HitTop:
    case HitBottom:
        cursor = cursorNS;
        break;
    case HitRight:
    case HitLeft:
        cursor = cursorWE;
        break;
    case HitMiddle:
        cursor = cursorMove;
        break;
    case HitCloseGlyph:
        cursor = cursorClose;
        break;
    default:
        SetCursor(LoadCursorW(nullptr, IDC_CROSS));
        return FALSE;
    }
    SetCursor(cursor);
    return TRUE;
}

// --- Drawing

void CMainPaneTracker::Draw(HDC dc, const RECT* r)
{
    const int savedDC = SaveDC(dc);
    RECT rc = r != nullptr ? *r : rect;
    InflateRect(&rc, -1, -1);
    SetMapMode(dc, MM_TEXT);
    SetViewportOrgEx(dc, 0, 0, nullptr);
    SetWindowOrgEx(dc, 0, 0, nullptr);

    const LOGBRUSH white = {BS_SOLID, RGB(255, 255, 255), 0};
    const LOGBRUSH black = {BS_SOLID, RGB(0, 0, 0), 0};
    HPEN whitePen = ExtCreatePen(kWhitePenStyle, kFramePenWidth, &white, 0, nullptr);
    HPEN dashedPen = ExtCreatePen(kDashedPenStyle, kFramePenWidth, &black, 0, nullptr);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    HGDIOBJ oldPen = nullptr;

    // Black dashes over a white line stay visible on any image.
    for (HPEN pen : {whitePen, dashedPen}) {
        HGDIOBJ previous = SelectObject(dc, pen);
        if (oldPen == nullptr)
            oldPen = previous;
        MoveToEx(dc, rc.left, rc.top, nullptr);
        LineTo(dc, rc.right, rc.top);
        LineTo(dc, rc.right, rc.bottom);
        LineTo(dc, rc.left, rc.bottom);
        LineTo(dc, rc.left, rc.top);
    }

    if (HasActiveGlyph())
        DrawCloseGlyph(dc, rc);

    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(whitePen);
    DeleteObject(dashedPen);
    RestoreDC(dc, savedDC);
}

void CMainPaneTracker::DrawCloseGlyph(HDC dc, const RECT& rcFrame)
{
    RECT rc = rcFrame;
    if (rc.left > rc.right)
        std::swap(rc.left, rc.right);
    if (rc.top > rc.bottom)
        std::swap(rc.top, rc.bottom);
    const int w = static_cast<int>(closeGlyph->GetWidth());
    const int h = static_cast<int>(closeGlyph->GetHeight());
    Gdiplus::Graphics graphics(dc);
    graphics.DrawImage(closeGlyph, Gdiplus::Rect(rc.right - w + 1, rc.top - 1, w, h), 0, 0, w, h, Gdiplus::UnitPixel);
}

void CMainPaneTracker::DrawDragFeedback(const RECT* r, HWND /*clipTo*/, HDC /*dc*/, HWND /*wnd*/)
{
    // The view paints the frame at its new place. Only the frame's old and new places change
    // (its border, glyph and the wash around it): the erasing call marks the old place, the
    // drawing call the new one and repaints both at once, which keeps up with the mouse on a
    // large view where a whole repaint per move would not.
    if (view == nullptr || view->m_hWnd == nullptr)
        return;
    if (r == nullptr) {
        InvalidateRect(view->m_hWnd, nullptr, FALSE);
    } else {
        RECT rc = *r;
        if (rc.left > rc.right)
            std::swap(rc.left, rc.right);
        if (rc.top > rc.bottom)
            std::swap(rc.top, rc.bottom);
        const int nMargin = kFeedbackMargin + (closeGlyph != nullptr ? static_cast<int>(closeGlyph->GetHeight()) : 0);
        InflateRect(&rc, nMargin, nMargin);
        InvalidateRect(view->m_hWnd, &rc, FALSE);
    }
    if (!erasing || finalErase)
        UpdateWindow(view->m_hWnd);
}

// --- Snapping

void CMainPaneTracker::AdjustRect(int handle, RECT* r)
{
    CRectTrackerBase::AdjustRect(handle, r);
    if (handle == HitNothing || r == nullptr || view == nullptr)
        return;
    SnapToImagePixels(handle, r);
}

void CMainPaneTracker::SnapToImagePixels(int handle, RECT* r)
{
    // The frame is drawn one view pixel outside its image rectangle.
    OffsetRect(r, -1, -1);
    // Half an image pixel in view coordinates: an edge snaps to the nearer pixel boundary.
    const int hx = TruncToInt(view->ViewToImageX(1) * 0.5);
    const int hy = TruncToInt(view->ViewToImageY(1) * 0.5);

    if (handle == HitMiddle) {
        // image pixels
        int left = view->ViewToImageCeilX(r->left - hx);
        int top = view->ViewToImageCeilY(r->top - hy);
        int right = view->ViewToImageFloorX(r->right + hx);
        int bottom = view->ViewToImageFloorY(r->bottom + hy);
        // A moved frame is pushed back inside the image with its size kept.
        if (left < -1) {
            right -= left;
            left = 0;
        }
        if (top < -1) {
            bottom -= top;
            top = 0;
        }
        const int lastColumn = HorizontalLimit() - 1;
        if (right > lastColumn) {
            left -= right - lastColumn;
            right = lastColumn;
        }
        const int lastRow = VerticalLimit() - 1;
        if (bottom > lastRow) {
            top -= bottom - lastRow;
            bottom = lastRow;
        }
        left = std::max(left, -1);
        top = std::max(top, -1);
        r->left = view->ImageToViewCeilX(left);
        r->top = view->ImageToViewCeilY(top);
        r->right = view->ImageToViewFloorX(right);
        r->bottom = view->ImageToViewFloorY(bottom);
    } else {
        if (MovesLeft(handle)) {
            const int column = std::max(view->ViewToImageCeilX(r->left - hx), 0);
            r->left = view->ImageToViewCeilX(column);
        }
        if (MovesTop(handle)) {
            const int row = std::max(view->ViewToImageCeilY(r->top - hy), 0);
            r->top = view->ImageToViewCeilY(row);
        }
        if (MovesRight(handle)) {
            const int column = std::min(view->ViewToImageFloorX(r->right + hx), HorizontalLimit() - 1);
            r->right = view->ImageToViewFloorX(column);
        }
        if (MovesBottom(handle)) {
            const int row = std::min(view->ViewToImageFloorY(r->bottom + hy), VerticalLimit() - 1);
            r->bottom = view->ImageToViewFloorY(row);
        }
    }
    OffsetRect(r, 1, 1);
}

int CMainPaneTracker::HorizontalLimit() const
{
    if (view->m_bLandscape)
        return PageExtentLimit(true);
    return view->m_pPreviewImage ? static_cast<int>(view->m_pPreviewImage->GetWidth()) : 0;
}

int CMainPaneTracker::VerticalLimit() const
{
    if (view->m_bLandscape)
        return PageExtentLimit(false);
    return view->m_pPreviewImage ? static_cast<int>(view->m_pPreviewImage->GetHeight()) : 0;
}

// The landscape page's extent along one axis of the displayed image, image pixels; at fit
// zoom it is cut down to what the client area shows.
int CMainPaneTracker::PageExtentLimit(bool bHorizontal) const
{
    bool bMirrorV = false;
    bool bMirrorH = false;
    int nAngle = 0;
    view->GetOrientation(bMirrorV, bMirrorH, nAngle);
    const bool bTurned = nAngle == 9000 || nAngle == 27000;
    const RECT& page = view->m_rcPage;
    const double s = view->m_dUnitsPerPixel;
    const int widthPage = page.right - page.left;
    const int heightPage = page.bottom - page.top;
    int extent;  // image pixels
    if (!bTurned)
        extent = TruncToInt((bHorizontal ? widthPage : heightPage) / s);
    else
        extent = TruncToInt((bHorizontal ? heightPage : widthPage) / s * view->m_fAspectTurned);

    if (view->m_nZoomStep == 0) {
        RECT client = {0, 0, 0, 0};
        GetClientRect(view->m_hWnd, &client);
        const int clientSize = bHorizontal ? client.right - client.left : client.bottom - client.top;
        const double mapped = bHorizontal ? view->ImageToViewX(extent) : view->ImageToViewY(extent);
        if (clientSize < mapped) {
            const float ratio = static_cast<float>(clientSize) / static_cast<float>(mapped);
            const int fitted = TruncToInt(extent * ratio);
            extent = fitted == 0 ? 0 : fitted - 1;
        }
    }
    return extent;
}
