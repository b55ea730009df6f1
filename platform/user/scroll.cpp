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

void Fill(SurfaceBuffer& buffer, RECT rc, DWORD color)
{
    const RECT bounds{0, 0, buffer.width, buffer.height};
    if (!IntersectRect(&rc, &rc, &bounds)) return;
    for (LONG y = rc.top; y < rc.bottom; ++y)
        std::fill_n(buffer.bits.begin() + y * buffer.width + rc.left, rc.right - rc.left, color);
}

// A bar: arrow boxes at both ends, the track between them and, while the bar is enabled
// and has a range, a thumb whose size follows the page.
void DrawBar(SurfaceBuffer& buffer, RECT rc, const ScrollBar& bar, bool vertical)
{
    if (IsRectEmpty(&rc)) return;
    Fill(buffer, rc, kTrack);
    const int length = vertical ? rc.bottom - rc.top : rc.right - rc.left;
    const int box = std::min(vertical ? rc.right - rc.left : rc.bottom - rc.top, length / 2);
    RECT first = rc, last = rc;
    if (vertical) {
        first.bottom = rc.top + box;
        last.top = rc.bottom - box;
    } else {
        first.right = rc.left + box;
        last.left = rc.right - box;
    }
    Fill(buffer, first, kArrowBox);
    Fill(buffer, last, kArrowBox);
    const long long range = static_cast<long long>(bar.max) - bar.min + 1;
    const int track = length - 2 * box;
    if (bar.disabledArrows == ESB_DISABLE_BOTH || range <= 0 || track <= 0 ||
        bar.min >= bar.max - std::max<int>(static_cast<int>(bar.page) - 1, 0))
        return;
    int thumb = bar.page ? static_cast<int>(track * std::min<long long>(bar.page, range) / range) : box;
    thumb = std::clamp(thumb, std::min(8, track), track);
    const long long span = range - std::max<long long>(bar.page, 1);
    const int offset = span > 0 ? static_cast<int>((track - thumb) * (bar.pos - bar.min) / span) : 0;
    RECT t = rc;
    if (vertical) {
        t.top = rc.top + box + offset;
        t.bottom = t.top + thumb;
    } else {
        t.left = rc.left + box + offset;
        t.right = t.left + thumb;
    }
    Fill(buffer, t, kThumb);
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
