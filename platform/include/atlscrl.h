// Scrolling windows of the WTL layer. CScrollImpl<T> keeps a scroll offset over a content
// larger than the client area, in content pixels, and drives the window's scroll bars from
// it; CScrollWindowImpl<T> is a window implementation with that scrolling map. T paints with
// void DoPaint(HDC), into a DC whose viewport origin is already moved by minus the offset.
//
// Differences from Windows' WTL, on purpose:
// - the platform has no ScrollWindowEx, so a scroll invalidates the client area (erasing when
//   SCRL_ERASEBACKGROUND is set) instead of moving the pixels; child windows are not moved;
// - the wheel settings come from where Windows keeps them for the user (the registry values
//   WheelScrollLines and WheelScrollChars of "Control Panel\Desktop"), since the platform has
//   no SystemParametersInfoW; a missing or unreadable value keeps the default of 3.
#pragma once

#include <cstdlib>

#include "atlwin.h"
#include "winbase.h"
#include "wingdi.h"
#include "winreg.h"

// Scroll extended styles.
#define SCRL_ERASEBACKGROUND 0x00000002
#define SCRL_NOTHUMBTRACKING 0x00000004

namespace WTL {

template <class T>
class CScrollImpl {
public:
    // --- Construction

    CScrollImpl() noexcept = default;

    // --- Attributes and operations

    DWORD GetScrollExtendedStyle() const noexcept { return m_dwExtendedStyle; }
    // Changes the bits of dwMask (all bits when dwMask is 0); returns the previous styles.
    DWORD SetScrollExtendedStyle(DWORD dwExtendedStyle, DWORD dwMask = 0) noexcept
    {
        const DWORD dwPrevStyle = m_dwExtendedStyle;
        m_dwExtendedStyle = dwMask == 0 ? dwExtendedStyle
                                        : (m_dwExtendedStyle & ~dwMask) | (dwExtendedStyle & dwMask);
        return dwPrevStyle;
    }

    // The content size in content pixels. The offset goes back to (0, 0) unless bResetOffset
    // is false, in which case it is kept as far as the new size allows. Line and page sizes
    // go back to their defaults.
    void SetScrollSize(int cx, int cy, BOOL bRedraw = TRUE, bool bResetOffset = true) noexcept
    {
        m_sizeAll = {cx > 0 ? cx : 0, cy > 0 ? cy : 0};
        ReadClientSize();
        POINT ptOffset = {0, 0};
        if (!bResetOffset) {
            ptOffset = m_ptOffset;
            AdjustScrollOffset(ptOffset);
        }
        const bool bMoved = ptOffset.x != m_ptOffset.x || ptOffset.y != m_ptOffset.y;
        m_ptOffset = ptOffset;
        SetScrollBars(SIF_PAGE | SIF_RANGE | SIF_POS, bRedraw);
        SetScrollLine(0, 0);
        SetScrollPage(0, 0);
        if (bMoved || bRedraw)
            ScrollContent();
    }
    void SetScrollSize(SIZE size, BOOL bRedraw = TRUE, bool bResetOffset = true) noexcept
    {
        SetScrollSize(size.cx, size.cy, bRedraw, bResetOffset);
    }
    void GetScrollSize(SIZE& sizeAll) const noexcept { sizeAll = m_sizeAll; }

    // The scroll offset in content pixels, limited to [0, content - client] on each axis.
    void SetScrollOffset(int x, int y, BOOL bRedraw = TRUE) noexcept
    {
        POINT ptOffset = {x, y};
        AdjustScrollOffset(ptOffset);
        if (ptOffset.x == m_ptOffset.x && ptOffset.y == m_ptOffset.y)
            return;
        m_ptOffset = ptOffset;
        SetScrollBars(SIF_POS, bRedraw);
        ScrollContent();
    }
    void SetScrollOffset(POINT ptOffset, BOOL bRedraw = TRUE) noexcept { SetScrollOffset(ptOffset.x, ptOffset.y, bRedraw); }
    void GetScrollOffset(POINT& ptOffset) const noexcept { ptOffset = m_ptOffset; }

    // One line step; 0 picks the default, a hundredth of the content (at least 1).
    void SetScrollLine(int cxLine, int cyLine) noexcept
    {
        m_sizeLine.cx = cxLine > 0 ? cxLine : DefaultStep(m_sizeAll.cx, 100);
        m_sizeLine.cy = cyLine > 0 ? cyLine : DefaultStep(m_sizeAll.cy, 100);
    }
    void GetScrollLine(SIZE& sizeLine) const noexcept { sizeLine = m_sizeLine; }

    // One page step; 0 picks the default, a tenth of the content (at least 1).
    void SetScrollPage(int cxPage, int cyPage) noexcept
    {
        m_sizePage.cx = cxPage > 0 ? cxPage : DefaultStep(m_sizeAll.cx, 10);
        m_sizePage.cy = cyPage > 0 ? cyPage : DefaultStep(m_sizeAll.cy, 10);
    }
    void GetScrollPage(SIZE& sizePage) const noexcept { sizePage = m_sizePage; }

    void ScrollLineUp() noexcept { ScrollVert(SB_LINEUP); }
    void ScrollLineDown() noexcept { ScrollVert(SB_LINEDOWN); }
    void ScrollPageUp() noexcept { ScrollVert(SB_PAGEUP); }
    void ScrollPageDown() noexcept { ScrollVert(SB_PAGEDOWN); }
    void ScrollTop() noexcept { ScrollVert(SB_TOP); }
    void ScrollBottom() noexcept { ScrollVert(SB_BOTTOM); }
    void ScrollLineLeft() noexcept { ScrollHorz(SB_LINEUP); }
    void ScrollLineRight() noexcept { ScrollHorz(SB_LINEDOWN); }
    void ScrollPageLeft() noexcept { ScrollHorz(SB_PAGEUP); }
    void ScrollPageRight() noexcept { ScrollHorz(SB_PAGEDOWN); }
    void ScrollAllLeft() noexcept { ScrollHorz(SB_TOP); }
    void ScrollAllRight() noexcept { ScrollHorz(SB_BOTTOM); }

    // --- Message map

    BEGIN_MSG_MAP(CScrollImpl)
        MESSAGE_HANDLER(WM_VSCROLL, OnVScroll)
        MESSAGE_HANDLER(WM_HSCROLL, OnHScroll)
        MESSAGE_HANDLER(WM_MOUSEWHEEL, OnMouseWheel)
        MESSAGE_HANDLER(WM_MOUSEHWHEEL, OnMouseHWheel)
        MESSAGE_HANDLER(WM_SETTINGCHANGE, OnSettingChange)
        MESSAGE_HANDLER(WM_SIZE, OnSize)
        MESSAGE_HANDLER(WM_PAINT, OnPaint)
        MESSAGE_HANDLER(WM_PRINTCLIENT, OnPaint)
    END_MSG_MAP()

    LRESULT OnVScroll(UINT /*uMsg*/, WPARAM wParam, LPARAM /*lParam*/, BOOL& /*bHandled*/) noexcept
    {
        ScrollVert(LOWORD(wParam));
        return 0;
    }
    LRESULT OnHScroll(UINT /*uMsg*/, WPARAM wParam, LPARAM /*lParam*/, BOOL& /*bHandled*/) noexcept
    {
        ScrollHorz(LOWORD(wParam));
        return 0;
    }

    // The vertical wheel scrolls m_nWheelLines lines per whole notch (WHEEL_DELTA), or
    // sideways when the content is not taller than the client area; the delta of a partial
    // notch is kept until it adds up to a whole one.
    LRESULT OnMouseWheel(UINT /*uMsg*/, WPARAM wParam, LPARAM /*lParam*/, BOOL& /*bHandled*/) noexcept
    {
        const int zDelta = GET_WHEEL_DELTA_WPARAM(wParam);
        const int nScrollCode = zDelta > 0 ? SB_LINEUP : SB_LINEDOWN;
        m_zDelta += zDelta;
        const int nLines = std::abs(m_zDelta) / WHEEL_DELTA * m_nWheelLines;
        const bool bVertical = m_sizeAll.cy > m_sizeClient.cy;
        for (int i = 0; i < nLines; ++i) {
            if (bVertical)
                ScrollVert(nScrollCode);
            else
                ScrollHorz(nScrollCode);
        }
        m_zDelta %= WHEEL_DELTA;
        return 0;
    }

    // The horizontal wheel: positive deltas scroll right, m_nHWheelChars lines per notch.
    LRESULT OnMouseHWheel(UINT /*uMsg*/, WPARAM wParam, LPARAM /*lParam*/, BOOL& /*bHandled*/) noexcept
    {
        const int zDelta = GET_WHEEL_DELTA_WPARAM(wParam);
        const int nScrollCode = zDelta > 0 ? SB_LINEDOWN : SB_LINEUP;
        m_zHDelta += zDelta;
        const int nLines = std::abs(m_zHDelta) / WHEEL_DELTA * m_nHWheelChars;
        for (int i = 0; i < nLines; ++i)
            ScrollHorz(nScrollCode);
        m_zHDelta %= WHEEL_DELTA;
        return 0;
    }

    // The user's wheel settings may have changed; the default procedure sees the message too.
    LRESULT OnSettingChange(UINT /*uMsg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL& bHandled) noexcept
    {
        GetSystemSettings();
        bHandled = FALSE;
        return 1;
    }

    // A new client size changes the bars' pages and may pull the offset back.
    LRESULT OnSize(UINT /*uMsg*/, WPARAM /*wParam*/, LPARAM lParam, BOOL& bHandled) noexcept
    {
        m_sizeClient = {LOWORD(lParam), HIWORD(lParam)};
        POINT ptOffset = m_ptOffset;
        AdjustScrollOffset(ptOffset);
        const bool bMoved = ptOffset.x != m_ptOffset.x || ptOffset.y != m_ptOffset.y;
        m_ptOffset = ptOffset;
        SetScrollBars(SIF_PAGE | SIF_RANGE | SIF_POS, TRUE);
        if (bMoved)
            ScrollContent();
        bHandled = FALSE;
        return 1;
    }

    // WM_PAINT paints inside its own BeginPaint/EndPaint; WM_PAINT with a DC in wParam and
    // WM_PRINTCLIENT paint into that DC, whose viewport origin is given back afterwards.
    LRESULT OnPaint(UINT /*uMsg*/, WPARAM wParam, LPARAM /*lParam*/, BOOL& /*bHandled*/) noexcept
    {
        T* pT = static_cast<T*>(this);
        if (wParam != 0) {
            HDC hdc = reinterpret_cast<HDC>(wParam);
            POINT ptViewportOrg = {0, 0};
            ::SetViewportOrgEx(hdc, -m_ptOffset.x, -m_ptOffset.y, &ptViewportOrg);
            pT->DoPaint(hdc);
            ::SetViewportOrgEx(hdc, ptViewportOrg.x, ptViewportOrg.y, nullptr);
        } else {
            PAINTSTRUCT ps;
            HDC hdc = ::BeginPaint(pT->m_hWnd, &ps);
            if (hdc != nullptr) {
                ::SetViewportOrgEx(hdc, -m_ptOffset.x, -m_ptOffset.y, nullptr);
                pT->DoPaint(hdc);
                ::EndPaint(pT->m_hWnd, &ps);
            }
        }
        return 0;
    }

    // --- Overridables (T): void DoPaint(HDC hdc), content coordinates.

    // --- Implementation

    void ScrollVert(int nScrollCode) noexcept
    {
        DoScroll(SB_VERT, nScrollCode, m_ptOffset.y, m_sizeAll.cy, m_sizePage.cy, m_sizeLine.cy);
    }
    void ScrollHorz(int nScrollCode) noexcept
    {
        DoScroll(SB_HORZ, nScrollCode, m_ptOffset.x, m_sizeAll.cx, m_sizePage.cx, m_sizeLine.cx);
    }

    // Moves one axis's offset (content pixels) by a scroll request. A content that fits the
    // client area does not scroll at all.
    void DoScroll(int nType, int nScrollCode, LONG& cxyOffset, int cxySizeAll, int cxySizePage, int cxySizeLine) noexcept
    {
        T* pT = static_cast<T*>(this);
        RECT rcClient = {0, 0, 0, 0};
        pT->GetClientRect(&rcClient);
        const int cxyClient = nType == SB_VERT ? rcClient.bottom - rcClient.top : rcClient.right - rcClient.left;
        const int cxyMax = cxySizeAll - cxyClient;
        if (cxyMax < 0)
            return;
        int cxyNew = cxyOffset;
        switch (nScrollCode) {
        case SB_TOP:
            cxyNew = 0;
            break;
        case SB_BOTTOM:
            cxyNew = cxyMax;
            break;
        case SB_LINEUP:
            cxyNew = cxyOffset - cxySizeLine;
            break;
        case SB_LINEDOWN:
            cxyNew = cxyOffset + cxySizeLine;
            break;
        case SB_PAGEUP:
            cxyNew = cxyOffset - cxySizePage;
            break;
        case SB_PAGEDOWN:
            cxyNew = cxyOffset + cxySizePage;
            break;
        case SB_THUMBTRACK:
            if ((m_dwExtendedStyle & SCRL_NOTHUMBTRACKING) != 0)
                return;
            cxyNew = TrackPos(nType);
            break;
        case SB_THUMBPOSITION:
            cxyNew = TrackPos(nType);
            break;
        default:  // SB_ENDSCROLL and unknown codes
            return;
        }
        cxyNew = cxyNew < 0 ? 0 : (cxyNew > cxyMax ? cxyMax : cxyNew);
        if (cxyNew == cxyOffset)
            return;
        cxyOffset = cxyNew;
        pT->SetScrollPos(nType, cxyNew, TRUE);
        ScrollContent();
    }

    void AdjustScrollOffset(POINT& ptOffset) const noexcept
    {
        ptOffset.x = Limit(ptOffset.x, m_sizeAll.cx - m_sizeClient.cx);
        ptOffset.y = Limit(ptOffset.y, m_sizeAll.cy - m_sizeClient.cy);
    }

    // The wheel lines and characters of the current user; 3 when not set or not a number
    // from 1 to 100 (a page-scroll setting included).
    void GetSystemSettings() noexcept
    {
        m_nWheelLines = ReadWheelSetting(OLESTR("WheelScrollLines"));
        m_nHWheelChars = ReadWheelSetting(OLESTR("WheelScrollChars"));
    }

    POINT m_ptOffset = {0, 0};    // content pixels scrolled out at the left and top
    SIZE m_sizeAll = {0, 0};      // content size, content pixels
    SIZE m_sizeLine = {0, 0};     // one line step
    SIZE m_sizePage = {0, 0};     // one page step
    SIZE m_sizeClient = {0, 0};   // client size, view pixels
    int m_zDelta = 0;             // vertical wheel delta not yet scrolled
    int m_nWheelLines = 3;        // lines per wheel notch
    int m_zHDelta = 0;            // horizontal wheel delta not yet scrolled
    int m_nHWheelChars = 3;       // lines per horizontal wheel notch
    DWORD m_dwExtendedStyle = SCRL_ERASEBACKGROUND;

private:
    static int DefaultStep(int cxyAll, int nParts) noexcept { return cxyAll / nParts > 0 ? cxyAll / nParts : 1; }
    static int Limit(int cxy, int cxyMax) noexcept
    {
        if (cxy > cxyMax)
            cxy = cxyMax;
        return cxy < 0 ? 0 : cxy;
    }

    static int ReadWheelSetting(LPCWSTR pszValue) noexcept
    {
        constexpr int kDefault = 3;
        WCHAR szValue[16] = {};
        DWORD cbValue = sizeof(szValue);
        if (::RegGetValueW(HKEY_CURRENT_USER, OLESTR("Control Panel\\Desktop"), pszValue, RRF_RT_REG_SZ, nullptr,
                           szValue, &cbValue) != ERROR_SUCCESS)
            return kDefault;
        const int nValue = _wtoi(szValue);
        return nValue >= 1 && nValue <= 100 ? nValue : kDefault;
    }

    int TrackPos(int nType) noexcept
    {
        SCROLLINFO si = {sizeof(SCROLLINFO), SIF_TRACKPOS, 0, 0, 0, 0, 0};
        static_cast<T*>(this)->GetScrollInfo(nType, &si);
        return si.nTrackPos;
    }

    void ReadClientSize() noexcept
    {
        T* pT = static_cast<T*>(this);
        RECT rcClient;
        if (pT->m_hWnd != nullptr && pT->GetClientRect(&rcClient))
            m_sizeClient = {rcClient.right - rcClient.left, rcClient.bottom - rcClient.top};
    }

    // Both bars from the content size, the client size and the offset.
    void SetScrollBars(UINT fMask, BOOL bRedraw) noexcept
    {
        T* pT = static_cast<T*>(this);
        if (pT->m_hWnd == nullptr)
            return;
        SCROLLINFO si = {sizeof(SCROLLINFO), fMask, 0, m_sizeAll.cx - 1, static_cast<UINT>(m_sizeClient.cx),
                         m_ptOffset.x, 0};
        pT->SetScrollInfo(SB_HORZ, &si, bRedraw);
        si.nMax = m_sizeAll.cy - 1;
        si.nPage = static_cast<UINT>(m_sizeClient.cy);
        si.nPos = m_ptOffset.y;
        pT->SetScrollInfo(SB_VERT, &si, bRedraw);
    }

    // The pixels of the client area no longer show the content where it now is.
    void ScrollContent() noexcept
    {
        T* pT = static_cast<T*>(this);
        if (pT->m_hWnd != nullptr)
            pT->InvalidateRect(nullptr, (m_dwExtendedStyle & SCRL_ERASEBACKGROUND) != 0);
    }
};

// A window object that subclasses a window and scrolls its content.
template <class T, class TBase = ATL::CWindow, class TWinTraits = ATL::CControlWinTraits>
class CScrollWindowImpl : public ATL::CWindowImpl<T, TBase, TWinTraits>, public CScrollImpl<T> {
public:
    BEGIN_MSG_MAP(CScrollWindowImpl)
        MESSAGE_HANDLER(WM_VSCROLL, CScrollImpl<T>::OnVScroll)
        MESSAGE_HANDLER(WM_HSCROLL, CScrollImpl<T>::OnHScroll)
        MESSAGE_HANDLER(WM_MOUSEWHEEL, CScrollImpl<T>::OnMouseWheel)
        MESSAGE_HANDLER(WM_MOUSEHWHEEL, CScrollImpl<T>::OnMouseHWheel)
        MESSAGE_HANDLER(WM_SETTINGCHANGE, CScrollImpl<T>::OnSettingChange)
        MESSAGE_HANDLER(WM_SIZE, CScrollImpl<T>::OnSize)
        MESSAGE_HANDLER(WM_PAINT, CScrollImpl<T>::OnPaint)
        MESSAGE_HANDLER(WM_PRINTCLIENT, CScrollImpl<T>::OnPaint)
    END_MSG_MAP()
};

}  // namespace WTL
