// Standard scroll bars of a window (SB_HORZ, SB_VERT) and the drawing of the non-client
// area. Scroll bar controls (SB_CTL) are not provided.
#include "user_private.h"

#include <algorithm>

#include <winbase.h>

namespace qor::user {
namespace {

constexpr DWORD kTrack = 0x00F0F0F0;
constexpr DWORD kArrowBox = 0x00E0E0E0;
constexpr DWORD kThumb = 0x00C0C0C0;
constexpr DWORD kBorder = 0x00646464;
constexpr DWORD kArrow = 0x00404040;
constexpr DWORD kArrowDisabled = 0x00A0A0A0;

void Fill(SurfaceBuffer& buffer, RECT rc, DWORD color)
{
    const RECT bounds{0, 0, buffer.width, buffer.height};
    if (!IntersectRect(&rc, &rc, &bounds)) return;
    for (LONG y = rc.top; y < rc.bottom; ++y)
        std::fill_n(buffer.bits.begin() + y * buffer.width + rc.left, rc.right - rc.left, color);
}

// The parts of a bar: arrow boxes at both ends, the track between them and, while the bar
// is enabled and has something to scroll, a thumb whose size follows the page (empty
// otherwise).
struct BarParts {
    RECT first{}, last{}, thumb{};
};

BarParts PartsOf(const RECT& rc, const ScrollBar& bar, bool vertical)
{
    BarParts parts;
    const int length = vertical ? rc.bottom - rc.top : rc.right - rc.left;
    const int box = std::min(vertical ? rc.right - rc.left : rc.bottom - rc.top, length / 2);
    parts.first = parts.last = rc;
    if (vertical) {
        parts.first.bottom = rc.top + box;
        parts.last.top = rc.bottom - box;
    } else {
        parts.first.right = rc.left + box;
        parts.last.left = rc.right - box;
    }
    const long long range = static_cast<long long>(bar.max) - bar.min + 1;
    const int track = length - 2 * box;
    if (bar.disabledArrows == ESB_DISABLE_BOTH || range <= 0 || track <= 0 ||
        bar.min >= bar.max - std::max<int>(static_cast<int>(bar.page) - 1, 0))
        return parts;
    int thumb = bar.page ? static_cast<int>(track * std::min<long long>(bar.page, range) / range) : box;
    thumb = std::clamp(thumb, std::min(8, track), track);
    const long long span = range - std::max<long long>(bar.page, 1);
    const int offset = span > 0 ? static_cast<int>((track - thumb) * (bar.pos - bar.min) / span) : 0;
    parts.thumb = rc;
    if (vertical) {
        parts.thumb.top = rc.top + box + offset;
        parts.thumb.bottom = parts.thumb.top + thumb;
    } else {
        parts.thumb.left = rc.left + box + offset;
        parts.thumb.right = parts.thumb.left + thumb;
    }
    return parts;
}

// The arrow of an arrow box: a triangle pointing away from the track, a third of the box high,
// drawn row by row (column by column for a horizontal bar).
void DrawArrow(SurfaceBuffer& buffer, const RECT& box, bool vertical, bool towardsStart, DWORD color)
{
    const int size = std::min(box.right - box.left, box.bottom - box.top);
    const int height = std::max(2, size / 3);
    const int cx = (box.left + box.right) / 2, cy = (box.top + box.bottom) / 2;
    for (int i = 0; i < height; ++i) {
        // Row i of the triangle, counted from its tip: 2i+1 pixels wide.
        const int along = towardsStart ? (vertical ? cy - height / 2 + i : cx - height / 2 + i)
                                       : (vertical ? cy + height / 2 - i : cx + height / 2 - i);
        const RECT row = vertical ? RECT{cx - i, along, cx + i + 1, along + 1} : RECT{along, cy - i, along + 1, cy + i + 1};
        Fill(buffer, row, color);
    }
}

void DrawBar(SurfaceBuffer& buffer, const RECT& rc, const ScrollBar& bar, bool vertical)
{
    if (IsRectEmpty(&rc)) return;
    const BarParts parts = PartsOf(rc, bar, vertical);
    Fill(buffer, rc, kTrack);
    Fill(buffer, parts.first, kArrowBox);
    Fill(buffer, parts.last, kArrowBox);
    const DWORD arrow = IsRectEmpty(&parts.thumb) ? kArrowDisabled : kArrow;  // nothing to scroll: greyed
    DrawArrow(buffer, parts.first, vertical, true, arrow);
    DrawArrow(buffer, parts.last, vertical, false, arrow);
    if (!IsRectEmpty(&parts.thumb)) Fill(buffer, parts.thumb, kThumb);
}

bool CheckBar(int bar)
{
    if (bar == SB_HORZ || bar == SB_VERT) return true;
    SetLastError(ERROR_INVALID_PARAMETER);  // SB_CTL: no scroll bar controls on this platform
    return false;
}

bool CheckSize(UINT cbSize)
{
    return cbSize == sizeof(SCROLLINFO) || cbSize == sizeof(SCROLLINFO) - sizeof(int);
}

// Shows or hides standard bars by their style bits and recomputes the frame, which sends
// WM_NCCALCSIZE and, when the client size changes, WM_SIZE.
void SetBarsShown(HWND hwnd, DWORD bits, bool show)
{
    WindowPtr w = LookupWindow(hwnd);
    if (!w) return;
    const DWORD style = show ? (w->style | bits) : (w->style & ~bits);
    if (style == w->style) return;
    w->style = style;
    if (bits & WS_HSCROLL) w->bars[SB_HORZ].exists = true;
    if (bits & WS_VSCROLL) w->bars[SB_VERT].exists = true;
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

void DrawNonClient(Window& w)
{
    WindowPtr top = LookupWindow(TopLevelOf(w.hwnd));
    if (!top || !top->surface || !IsVisibleChain(w)) return;
    SurfaceBuffer& buffer = *top->surface;
    const POINT base = WindowOriginOnScreen(*top);
    const POINT origin = WindowOriginOnScreen(w);
    const int dx = origin.x - base.x, dy = origin.y - base.y;
    const int width = w.window.right - w.window.left, height = w.window.bottom - w.window.top;
    const NonClientLayout layout = LayoutNonClient(w.style, w.exStyle, width, height);
    const RECT outer{dx, dy, dx + width, dy + height};
    RECT inner = layout.client;
    if (!IsRectEmpty(&layout.vbar)) UnionRect(&inner, &inner, &layout.vbar);
    if (!IsRectEmpty(&layout.hbar)) UnionRect(&inner, &inner, &layout.hbar);
    OffsetRect(&inner, dx, dy);
    // The border: the frame between the outer rectangle and the bars and client area.
    if (!EqualRect(&outer, &inner)) {
        Fill(buffer, RECT{outer.left, outer.top, outer.right, inner.top}, kBorder);
        Fill(buffer, RECT{outer.left, inner.bottom, outer.right, outer.bottom}, kBorder);
        Fill(buffer, RECT{outer.left, inner.top, inner.left, inner.bottom}, kBorder);
        Fill(buffer, RECT{inner.right, inner.top, outer.right, inner.bottom}, kBorder);
    }
    RECT vbar = layout.vbar, hbar = layout.hbar;
    OffsetRect(&vbar, dx, dy);
    OffsetRect(&hbar, dx, dy);
    DrawBar(buffer, vbar, w.bars[SB_VERT], true);
    DrawBar(buffer, hbar, w.bars[SB_HORZ], false);
    if (!IsRectEmpty(&vbar) && !IsRectEmpty(&hbar))  // the corner between both bars
        Fill(buffer, RECT{vbar.left, hbar.top, vbar.right, hbar.bottom}, kArrowBox);
}

// A press on a standard bar: an arrow scrolls a line, the track beside the thumb a page,
// each followed by SB_ENDSCROLL; on the thumb the bar is dragged (SB_THUMBTRACK for every
// move, SB_THUMBPOSITION at the release) in a loop that holds the capture. Windows repeats
// line and page steps while the button stays down; here a press is one step.
void ClickScrollBar(HWND hwnd, LRESULT hit, POINT screen)
{
    WindowPtr w = LookupWindow(hwnd);
    if (!w || (hit != HTVSCROLL && hit != HTHSCROLL)) return;
    const bool vertical = hit == HTVSCROLL;
    const int nBar = vertical ? SB_VERT : SB_HORZ;
    const UINT message = vertical ? WM_VSCROLL : WM_HSCROLL;
    const NonClientLayout layout = LayoutNonClient(w->style, w->exStyle, w->window.right - w->window.left,
                                                   w->window.bottom - w->window.top);
    const POINT origin = WindowOriginOnScreen(*w);
    const POINT pt{screen.x - origin.x, screen.y - origin.y};
    const RECT rc = vertical ? layout.vbar : layout.hbar;
    const BarParts parts = PartsOf(rc, w->bars[nBar], vertical);
    if (IsRectEmpty(&parts.thumb)) return;  // disabled or nothing to scroll
    const LONG along = vertical ? pt.y : pt.x;
    int code;
    if (PtInRect(&parts.first, pt)) code = SB_LINEUP;
    else if (PtInRect(&parts.last, pt)) code = SB_LINEDOWN;
    else if (along < (vertical ? parts.thumb.top : parts.thumb.left)) code = SB_PAGEUP;
    else if (along >= (vertical ? parts.thumb.bottom : parts.thumb.right)) code = SB_PAGEDOWN;
    else code = SB_THUMBTRACK;
    if (code != SB_THUMBTRACK) {
        Send(hwnd, message, MAKEWPARAM(code, 0), 0);
        Send(hwnd, message, MAKEWPARAM(SB_ENDSCROLL, 0), 0);
        return;
    }
    // Thumb drag: the position follows the pointer's offset along the track.
    const ScrollBar start = w->bars[nBar];
    const int track = (vertical ? parts.last.top - parts.first.bottom : parts.last.left - parts.first.right) -
                      (vertical ? parts.thumb.bottom - parts.thumb.top : parts.thumb.right - parts.thumb.left);
    const long long span = static_cast<long long>(start.max) - start.min + 1 - std::max<long long>(start.page, 1);
    SetCapture(hwnd);
    int pos = start.pos;
    MSG msg;
    while (GetCapture() == hwnd && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (GetCapture() != hwnd) break;
        if (msg.message == WM_MOUSEMOVE || msg.message == WM_LBUTTONUP) {
            const LONG now = vertical ? msg.pt.y - origin.y : msg.pt.x - origin.x;
            const long long moved = track > 0 ? (now - along) * span / track : 0;
            pos = static_cast<int>(std::clamp<long long>(start.pos + moved, start.min, start.min + std::max(0LL, span)));
            if (msg.message == WM_LBUTTONUP) break;
            Send(hwnd, message, MAKEWPARAM(SB_THUMBTRACK, static_cast<WORD>(pos)), 0);
        } else if (msg.message != WM_KEYDOWN && msg.message != WM_KEYUP) {
            DispatchMessageW(&msg);
        }
    }
    if (GetCapture() == hwnd) ReleaseCapture();
    if (!LookupWindow(hwnd)) return;
    Send(hwnd, message, MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(pos)), 0);
    Send(hwnd, message, MAKEWPARAM(SB_ENDSCROLL, 0), 0);
}

}  // namespace qor::user

using namespace qor::user;

// Values are checked as Windows does: the page is limited to the range size and the
// position to [nMin, nMax - max(nPage - 1, 0)]. A change of range or page hides a bar that
// has nothing to scroll (or disables it with SIF_DISABLENOSCROLL) and shows one that has.
int WINAPI SetScrollInfo(HWND hwnd, int nBar, LPCSCROLLINFO info, BOOL redraw)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w || !CheckBar(nBar)) return 0;
    if (!info || !CheckSize(info->cbSize)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    ScrollBar& bar = w->bars[nBar];
    const ScrollBar before = bar;
    bar.exists = true;
    if (info->fMask & SIF_PAGE) bar.page = info->nPage;
    if (info->fMask & SIF_RANGE) {
        if (info->nMin > info->nMax || static_cast<long long>(info->nMax) - info->nMin >= 0x80000000LL) {
            bar.min = bar.max = 0;  // an invalid range becomes empty
        } else {
            bar.min = info->nMin;
            bar.max = info->nMax;
        }
    }
    if (info->fMask & SIF_POS) bar.pos = info->nPos;
    const long long rangeSize = static_cast<long long>(bar.max) - bar.min + 1;
    if (static_cast<int>(bar.page) < 0) bar.page = 0;
    else if (bar.page > rangeSize) bar.page = static_cast<UINT>(rangeSize);
    const int lastPos = bar.max - std::max<int>(static_cast<int>(bar.page) - 1, 0);
    bar.pos = std::clamp(bar.pos, bar.min, std::max(bar.min, lastPos));

    const bool changedShape = before.min != bar.min || before.max != bar.max || before.page != bar.page;
    const DWORD bits = nBar == SB_HORZ ? WS_HSCROLL : WS_VSCROLL;
    const int position = bar.pos;
    if (info->fMask & (SIF_RANGE | SIF_PAGE | SIF_DISABLENOSCROLL)) {
        if (bar.min >= lastPos) {
            if (info->fMask & SIF_DISABLENOSCROLL) bar.disabledArrows = ESB_DISABLE_BOTH;
            else if (changedShape) SetBarsShown(hwnd, bits, false);
        } else if (info->fMask != SIF_PAGE) {
            bar.disabledArrows = ESB_ENABLE_BOTH;
            if (changedShape) SetBarsShown(hwnd, bits, true);
        }
    }
    if (redraw && LookupWindow(hwnd)) DrawNonClient(*w);
    return position;
}

BOOL WINAPI GetScrollInfo(HWND hwnd, int nBar, LPSCROLLINFO info)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w || !CheckBar(nBar)) return FALSE;
    if (!info || !CheckSize(info->cbSize) || !(info->fMask & SIF_ALL)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const ScrollBar& bar = w->bars[nBar];
    if (!bar.exists) {
        SetLastError(ERROR_NO_SCROLLBARS);
        return FALSE;
    }
    if (info->fMask & SIF_RANGE) {
        info->nMin = bar.min;
        info->nMax = bar.max;
    }
    if (info->fMask & SIF_PAGE) info->nPage = bar.page;
    if (info->fMask & SIF_POS) info->nPos = bar.pos;
    // No thumb is ever being dragged here, so the tracking position is the position.
    if ((info->fMask & SIF_TRACKPOS) && info->cbSize == sizeof(SCROLLINFO)) info->nTrackPos = bar.pos;
    return TRUE;
}

int WINAPI SetScrollPos(HWND hwnd, int nBar, int pos, BOOL redraw)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w || !CheckBar(nBar)) return 0;
    const int previous = w->bars[nBar].pos;
    SCROLLINFO info{sizeof(SCROLLINFO), SIF_POS, 0, 0, 0, pos, 0};
    SetScrollInfo(hwnd, nBar, &info, redraw);
    return previous;
}

int WINAPI GetScrollPos(HWND hwnd, int nBar)
{
    SCROLLINFO info{sizeof(SCROLLINFO), SIF_POS, 0, 0, 0, 0, 0};
    return GetScrollInfo(hwnd, nBar, &info) ? info.nPos : 0;
}

BOOL WINAPI SetScrollRange(HWND hwnd, int nBar, int minPos, int maxPos, BOOL redraw)
{
    if (static_cast<long long>(maxPos) - minPos > 0x7FFFFFFF) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SCROLLINFO info{sizeof(SCROLLINFO), SIF_RANGE, minPos, maxPos, 0, 0, 0};
    if (!LookupWindowOrFail(hwnd) || !CheckBar(nBar)) return FALSE;
    SetScrollInfo(hwnd, nBar, &info, redraw);
    return TRUE;
}

BOOL WINAPI GetScrollRange(HWND hwnd, int nBar, int* minPos, int* maxPos)
{
    if (!minPos || !maxPos) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SCROLLINFO info{sizeof(SCROLLINFO), SIF_RANGE, 0, 0, 0, 0, 0};
    if (!GetScrollInfo(hwnd, nBar, &info)) {
        *minPos = *maxPos = 0;
        return FALSE;
    }
    *minPos = info.nMin;
    *maxPos = info.nMax;
    return TRUE;
}

BOOL WINAPI ShowScrollBar(HWND hwnd, int wBar, BOOL show)
{
    if (!LookupWindowOrFail(hwnd)) return FALSE;
    DWORD bits;
    switch (wBar) {
    case SB_HORZ:
        bits = WS_HSCROLL;
        break;
    case SB_VERT:
        bits = WS_VSCROLL;
        break;
    case SB_BOTH:
        bits = WS_HSCROLL | WS_VSCROLL;
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SetBarsShown(hwnd, bits, show != FALSE);
    return TRUE;
}

BOOL WINAPI EnableScrollBar(HWND hwnd, UINT wSBflags, UINT arrows)
{
    WindowPtr w = LookupWindowOrFail(hwnd);
    if (!w) return FALSE;
    if (wSBflags != SB_HORZ && wSBflags != SB_VERT && wSBflags != SB_BOTH) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    bool changed = false;
    for (int nBar : {SB_HORZ, SB_VERT}) {
        if (wSBflags != SB_BOTH && static_cast<UINT>(nBar) != wSBflags) continue;
        changed |= w->bars[nBar].disabledArrows != (arrows & ESB_DISABLE_BOTH);
        w->bars[nBar].disabledArrows = arrows & ESB_DISABLE_BOTH;
    }
    if (changed) DrawNonClient(*w);
    return changed;
}
