// Windows of the ATL layer: CWindow (a window handle with the common calls), message maps,
// and CWindowImpl, which subclasses an existing window so that its messages reach an
// object's message map first.
#pragma once

#include "atlbase.h"
#include "atlthunk.h"
#include "atltypes.h"
#include "winuser.h"

namespace ATL {

// --- Window traits: the styles a window class asks for when it creates its window.

template <DWORD t_dwStyle = 0, DWORD t_dwExStyle = 0>
class CWinTraits {
public:
    static DWORD GetWndStyle(DWORD dwStyle) { return dwStyle == 0 ? t_dwStyle : dwStyle; }
    static DWORD GetWndExStyle(DWORD dwExStyle) { return dwExStyle == 0 ? t_dwExStyle : dwExStyle; }
};
typedef CWinTraits<WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0> CControlWinTraits;
typedef CWinTraits<WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_APPWINDOW | WS_EX_WINDOWEDGE>
    CFrameWinTraits;

// --- CWindow: a window handle and thin wrappers of the Win32 calls on it. It owns nothing;
// errors are those of the Win32 functions.

class CWindow {
public:
    static inline RECT rcDefault = {CW_USEDEFAULT, CW_USEDEFAULT, 0, 0};

    CWindow(HWND hWnd = nullptr) noexcept : m_hWnd(hWnd) {}
    CWindow& operator=(HWND hWnd) noexcept
    {
        m_hWnd = hWnd;
        return *this;
    }
    operator HWND() const noexcept { return m_hWnd; }

    void Attach(HWND hWndNew) noexcept { m_hWnd = hWndNew; }
    HWND Detach() noexcept
    {
        HWND hWnd = m_hWnd;
        m_hWnd = nullptr;
        return hWnd;
    }

    HWND Create(LPCWSTR lpstrWndClass, HWND hWndParent, const RECT* pRect = nullptr, LPCWSTR szWindowName = nullptr,
                DWORD dwStyle = 0, DWORD dwExStyle = 0, UINT_PTR nID = 0, LPVOID lpCreateParam = nullptr) noexcept
    {
        const RECT& rc = pRect != nullptr ? *pRect : rcDefault;
        m_hWnd = ::CreateWindowExW(dwExStyle, lpstrWndClass, szWindowName, dwStyle, rc.left, rc.top,
                                   rc.right - rc.left, rc.bottom - rc.top, hWndParent,
                                   reinterpret_cast<HMENU>(nID), nullptr, lpCreateParam);
        return m_hWnd;
    }
    BOOL DestroyWindow() noexcept
    {
        if (!::DestroyWindow(m_hWnd))
            return FALSE;
        m_hWnd = nullptr;
        return TRUE;
    }

    // Attributes.
    BOOL IsWindow() const noexcept { return ::IsWindow(m_hWnd); }
    DWORD GetStyle() const noexcept { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_STYLE)); }
    DWORD GetExStyle() const noexcept { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_EXSTYLE)); }
    LONG GetWindowLong(int nIndex) const noexcept { return ::GetWindowLongW(m_hWnd, nIndex); }
    LONG SetWindowLong(int nIndex, LONG dwNewLong) noexcept { return ::SetWindowLongW(m_hWnd, nIndex, dwNewLong); }
    LONG_PTR GetWindowLongPtr(int nIndex) const noexcept { return ::GetWindowLongPtrW(m_hWnd, nIndex); }
    LONG_PTR SetWindowLongPtr(int nIndex, LONG_PTR dwNewLong) noexcept
    {
        return ::SetWindowLongPtrW(m_hWnd, nIndex, dwNewLong);
    }
    // Changes the style bits; with nFlags, SetWindowPos is called so the frame follows.
    BOOL ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0) noexcept
    {
        return ModifyStyleIndex(GWL_STYLE, dwRemove, dwAdd, nFlags);
    }
    BOOL ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0) noexcept
    {
        return ModifyStyleIndex(GWL_EXSTYLE, dwRemove, dwAdd, nFlags);
    }
    BOOL SetWindowText(LPCWSTR lpszString) noexcept { return ::SetWindowTextW(m_hWnd, lpszString); }
    int GetWindowText(LPWSTR lpszStringBuf, int nMaxCount) const noexcept
    {
        return ::GetWindowTextW(m_hWnd, lpszStringBuf, nMaxCount);
    }
    int GetWindowTextLength() const noexcept { return ::GetWindowTextLengthW(m_hWnd); }
    HWND GetParent() const noexcept { return ::GetParent(m_hWnd); }
    HWND GetDlgItem(int nID) const noexcept { return ::GetDlgItem(m_hWnd, nID); }
    int GetDlgCtrlID() const noexcept { return ::GetDlgCtrlID(m_hWnd); }
    BOOL IsWindowVisible() const noexcept { return ::IsWindowVisible(m_hWnd); }
    BOOL IsWindowEnabled() const noexcept { return ::IsWindowEnabled(m_hWnd); }
    BOOL IsChild(HWND hWnd) const noexcept { return ::IsChild(m_hWnd, hWnd); }

    // Messages.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const noexcept
    {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const noexcept
    {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }

    // Position and coordinates.
    BOOL GetClientRect(LPRECT lpRect) const noexcept { return ::GetClientRect(m_hWnd, lpRect); }
    BOOL GetWindowRect(LPRECT lpRect) const noexcept { return ::GetWindowRect(m_hWnd, lpRect); }
    BOOL ClientToScreen(LPPOINT lpPoint) const noexcept { return ::ClientToScreen(m_hWnd, lpPoint); }
    BOOL ScreenToClient(LPPOINT lpPoint) const noexcept { return ::ScreenToClient(m_hWnd, lpPoint); }
    BOOL ClientToScreen(LPRECT lpRect) const noexcept { return MapRect(m_hWnd, nullptr, lpRect); }
    BOOL ScreenToClient(LPRECT lpRect) const noexcept { return MapRect(nullptr, m_hWnd, lpRect); }
    int MapWindowPoints(HWND hWndTo, LPPOINT lpPoint, UINT nCount) const noexcept
    {
        return ::MapWindowPoints(m_hWnd, hWndTo, lpPoint, nCount);
    }
    BOOL MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE) noexcept
    {
        return ::MoveWindow(m_hWnd, x, y, nWidth, nHeight, bRepaint);
    }
    BOOL MoveWindow(LPCRECT lpRect, BOOL bRepaint = TRUE) noexcept
    {
        return MoveWindow(lpRect->left, lpRect->top, lpRect->right - lpRect->left, lpRect->bottom - lpRect->top,
                          bRepaint);
    }
    BOOL SetWindowPos(HWND hWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags) noexcept
    {
        return ::SetWindowPos(m_hWnd, hWndInsertAfter, x, y, cx, cy, nFlags);
    }
    BOOL ShowWindow(int nCmdShow) noexcept { return ::ShowWindow(m_hWnd, nCmdShow); }
    BOOL EnableWindow(BOOL bEnable = TRUE) noexcept { return ::EnableWindow(m_hWnd, bEnable); }
    HWND SetFocus() noexcept { return ::SetFocus(m_hWnd); }
    HWND SetCapture() noexcept { return ::SetCapture(m_hWnd); }

    // Painting.
    BOOL Invalidate(BOOL bErase = TRUE) noexcept { return ::InvalidateRect(m_hWnd, nullptr, bErase); }
    BOOL InvalidateRect(LPCRECT lpRect, BOOL bErase = TRUE) noexcept { return ::InvalidateRect(m_hWnd, lpRect, bErase); }
    BOOL ValidateRect(LPCRECT lpRect) noexcept { return ::ValidateRect(m_hWnd, lpRect); }
    BOOL GetUpdateRect(LPRECT lpRect, BOOL bErase = FALSE) noexcept { return ::GetUpdateRect(m_hWnd, lpRect, bErase); }
    BOOL UpdateWindow() noexcept { return ::UpdateWindow(m_hWnd); }
    BOOL RedrawWindow(LPCRECT lpRectUpdate = nullptr, HRGN hRgnUpdate = nullptr,
                      UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE) noexcept
    {
        return ::RedrawWindow(m_hWnd, lpRectUpdate, hRgnUpdate, flags);
    }
    HDC BeginPaint(LPPAINTSTRUCT lpPaint) noexcept { return ::BeginPaint(m_hWnd, lpPaint); }
    void EndPaint(LPPAINTSTRUCT lpPaint) noexcept { ::EndPaint(m_hWnd, lpPaint); }
    HDC GetDC() noexcept { return ::GetDC(m_hWnd); }
    HDC GetWindowDC() noexcept { return ::GetWindowDC(m_hWnd); }
    int ReleaseDC(HDC hDC) noexcept { return ::ReleaseDC(m_hWnd, hDC); }

    // Timers.
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer = nullptr) noexcept
    {
        return ::SetTimer(m_hWnd, nIDEvent, nElapse, lpfnTimer);
    }
    BOOL KillTimer(UINT_PTR nIDEvent) noexcept { return ::KillTimer(m_hWnd, nIDEvent); }

    // Scroll bars.
    BOOL GetScrollInfo(int nBar, LPSCROLLINFO lpScrollInfo) noexcept { return ::GetScrollInfo(m_hWnd, nBar, lpScrollInfo); }
    int SetScrollInfo(int nBar, LPCSCROLLINFO lpScrollInfo, BOOL bRedraw = TRUE) noexcept
    {
        return ::SetScrollInfo(m_hWnd, nBar, lpScrollInfo, bRedraw);
    }
    int GetScrollPos(int nBar) const noexcept { return ::GetScrollPos(m_hWnd, nBar); }
    int SetScrollPos(int nBar, int nPos, BOOL bRedraw = TRUE) noexcept
    {
        return ::SetScrollPos(m_hWnd, nBar, nPos, bRedraw);
    }
    BOOL SetScrollRange(int nBar, int nMinPos, int nMaxPos, BOOL bRedraw = TRUE) noexcept
    {
        return ::SetScrollRange(m_hWnd, nBar, nMinPos, nMaxPos, bRedraw);
    }
    BOOL ShowScrollBar(UINT nBar, BOOL bShow = TRUE) noexcept
    {
        return ::ShowScrollBar(m_hWnd, static_cast<int>(nBar), bShow);
    }
    BOOL EnableScrollBar(UINT uSBFlags, UINT uArrowFlags = ESB_ENABLE_BOTH) noexcept
    {
        return ::EnableScrollBar(m_hWnd, uSBFlags, uArrowFlags);
    }

    HWND m_hWnd;

private:
    static BOOL MapRect(HWND hWndFrom, HWND hWndTo, LPRECT lpRect) noexcept
    {
        POINT pts[2] = {{lpRect->left, lpRect->top}, {lpRect->right, lpRect->bottom}};
        if (!::IsWindow(hWndFrom != nullptr ? hWndFrom : hWndTo))
            return FALSE;
        ::MapWindowPoints(hWndFrom, hWndTo, pts, 2);
        ::SetRect(lpRect, pts[0].x, pts[0].y, pts[1].x, pts[1].y);
        return TRUE;
    }
    BOOL ModifyStyleIndex(int nStyleOffset, DWORD dwRemove, DWORD dwAdd, UINT nFlags) noexcept
    {
        const DWORD dwStyle = static_cast<DWORD>(::GetWindowLongW(m_hWnd, nStyleOffset));
        const DWORD dwNewStyle = (dwStyle & ~dwRemove) | dwAdd;
        if (dwStyle == dwNewStyle)
            return FALSE;
        ::SetWindowLongW(m_hWnd, nStyleOffset, static_cast<LONG>(dwNewStyle));
        if (nFlags != 0)
            ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | nFlags);
        return TRUE;
    }
};

// --- Message maps. ProcessWindowMessage walks the entries in order; each handler starts with
// bHandled TRUE and may clear it to let the message go on to the next matching entry. A map
// returns FALSE when no entry kept the message.

class CMessageMap {
public:
    virtual BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult,
                                      DWORD dwMsgMapID) = 0;

protected:
    ~CMessageMap() = default;
};

// A map's ProcessWindowMessage overrides CMessageMap's in a window class but is a plain member in
// a mix-in (CScrollImpl), so the macro cannot say override; clang is told not to ask for it.
#ifdef __clang__
#define ATL_MSG_MAP_OVERRIDE_BEGIN \
    _Pragma("clang diagnostic push") _Pragma("clang diagnostic ignored \"-Winconsistent-missing-override\"")
#define ATL_MSG_MAP_OVERRIDE_END _Pragma("clang diagnostic pop")
#else
#define ATL_MSG_MAP_OVERRIDE_BEGIN
#define ATL_MSG_MAP_OVERRIDE_END
#endif

#define BEGIN_MSG_MAP(theClass)                                                                             \
public:                                                                                                     \
    ATL_MSG_MAP_OVERRIDE_BEGIN                                                                              \
    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult,         \
                              DWORD dwMsgMapID = 0)                                                         \
    ATL_MSG_MAP_OVERRIDE_END                                                                                \
    {                                                                                                       \
        BOOL bHandled = TRUE;                                                                               \
        (void)hWnd;                                                                                         \
        (void)uMsg;                                                                                         \
        (void)wParam;                                                                                       \
        (void)lParam;                                                                                       \
        (void)lResult;                                                                                      \
        (void)bHandled;                                                                                     \
        switch (dwMsgMapID) {                                                                               \
        case 0:

// Starts an alternate map, reached with its id as dwMsgMapID.
#define ALT_MSG_MAP(msgMapID) \
    break;                    \
    case msgMapID:

// LRESULT OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
#define MESSAGE_HANDLER(msg, func)                           \
    if (uMsg == (msg)) {                                     \
        bHandled = TRUE;                                     \
        lResult = func(uMsg, wParam, lParam, bHandled);      \
        if (bHandled)                                        \
            return TRUE;                                     \
    }

#define MESSAGE_RANGE_HANDLER(msgFirst, msgLast, func)      \
    if (uMsg >= (msgFirst) && uMsg <= (msgLast)) {          \
        bHandled = TRUE;                                    \
        lResult = func(uMsg, wParam, lParam, bHandled);     \
        if (bHandled)                                       \
            return TRUE;                                    \
    }

// LRESULT OnCommand(WORD wNotifyCode, WORD wID, HWND hWndCtl, BOOL& bHandled)
#define COMMAND_HANDLER(id, code, func)                                                                   \
    if (uMsg == WM_COMMAND && (id) == LOWORD(wParam) && (code) == HIWORD(wParam)) {                       \
        bHandled = TRUE;                                                                                  \
        lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled);        \
        if (bHandled)                                                                                     \
            return TRUE;                                                                                  \
    }

#define COMMAND_ID_HANDLER(id, func)                                                                      \
    if (uMsg == WM_COMMAND && (id) == LOWORD(wParam)) {                                                   \
        bHandled = TRUE;                                                                                  \
        lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled);        \
        if (bHandled)                                                                                     \
            return TRUE;                                                                                  \
    }

#define COMMAND_CODE_HANDLER(code, func)                                                                  \
    if (uMsg == WM_COMMAND && (code) == HIWORD(wParam)) {                                                 \
        bHandled = TRUE;                                                                                  \
        lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled);        \
        if (bHandled)                                                                                     \
            return TRUE;                                                                                  \
    }

// Hands the message to a base class's map (main map) and stops if that map kept it.
#define CHAIN_MSG_MAP(theChainClass)                                                         \
    {                                                                                        \
        if (theChainClass::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult))       \
            return TRUE;                                                                     \
    }
#define CHAIN_MSG_MAP_ALT(theChainClass, msgMapID)                                                \
    {                                                                                             \
        if (theChainClass::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult, msgMapID))  \
            return TRUE;                                                                          \
    }
#define CHAIN_MSG_MAP_MEMBER(theChainMember)                                                 \
    {                                                                                        \
        if ((theChainMember).ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult))     \
            return TRUE;                                                                     \
    }
#define CHAIN_MSG_MAP_ALT_MEMBER(theChainMember, msgMapID)                                        \
    {                                                                                             \
        if ((theChainMember).ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult, msgMapID)) \
            return TRUE;                                                                          \
    }

#define END_MSG_MAP() \
    break;            \
    default:          \
        break;        \
        }             \
        return FALSE; \
        }

// --- Window objects that subclass a window.

#define WINSTATE_DESTROYED 0x00000001

template <class TBase = CWindow>
class CWindowImplRoot : public TBase, public CMessageMap {
public:
    CWindowImplRoot() noexcept = default;
    CWindowImplRoot(const CWindowImplRoot&) = delete;
    CWindowImplRoot& operator=(const CWindowImplRoot&) = delete;
    virtual ~CWindowImplRoot() = default;

    // The message being processed, null outside the window procedure.
    const MSG* GetCurrentMessage() const noexcept { return m_pCurrentMsg; }

    const MSG* m_pCurrentMsg = nullptr;
    DWORD m_dwState = 0;
};

// The procedure object of a window object: one thunk, allocated when the object first
// subclasses a window and kept for the object's lifetime, so that its address always names
// this object.
class CWndProcThunk {
public:
    BOOL Init(_AtlThunkTarget pfnTarget, void* pThis) noexcept
    {
        if (m_pProc == nullptr)
            m_pProc = AtlThunk_Allocate(pThis, pfnTarget);
        return m_pProc != nullptr;
    }
    WNDPROC GetWNDPROC() const noexcept { return m_pProc; }
    // Gives the thunk up (to the pool or to a forwarder); the object has no procedure then.
    WNDPROC Release() noexcept
    {
        WNDPROC pProc = m_pProc;
        m_pProc = nullptr;
        return pProc;
    }

private:
    WNDPROC m_pProc = nullptr;
};

template <class TBase = CWindow, class TWinTraits = CControlWinTraits>
class CWindowImplBaseT : public CWindowImplRoot<TBase> {
public:
    typedef TWinTraits _WinTraits;

    CWindowImplBaseT() noexcept = default;
    // A window object normally gives its window back before it goes (UnsubclassWindow, or the
    // window's destruction). If it still holds one, a window procedure would be left pointing
    // at a dead object, and on Windows the next message would crash: here the window gets its
    // previous procedure back, or, when another procedure sits above this one, the thunk
    // forwards everything to that previous procedure until the window is destroyed.
    ~CWindowImplBaseT() override
    {
        WNDPROC pThunk = m_thunk.Release();
        if (pThunk == nullptr)
            return;
        if (this->m_hWnd != nullptr && ::IsWindow(this->m_hWnd)) {
            if (::GetWindowLongPtrW(this->m_hWnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(pThunk)) {
                ::SetWindowLongPtrW(this->m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuperWindowProc));
            } else {
                _AtlOrphanedThunk* pOrphan = new (std::nothrow) _AtlOrphanedThunk{m_pfnSuperWindowProc, pThunk};
                if (pOrphan != nullptr) {
                    AtlThunk_Retarget(pThunk, pOrphan, &OrphanProc);
                    return;
                }
            }
        }
        AtlThunk_Free(pThunk);
    }

    // Puts this object's procedure in front of the window's: messages go to the message map,
    // and those it leaves go to the procedure that was there before. FALSE when this object
    // already has a window, hWnd is not a window, or the procedure cannot be set.
    BOOL SubclassWindow(HWND hWnd) noexcept
    {
        if (this->m_hWnd != nullptr || !::IsWindow(hWnd))
            return FALSE;
        if (!m_thunk.Init(&WindowProc, this))
            return FALSE;
        WNDPROC pfnWndProc = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_thunk.GetWNDPROC())));
        if (pfnWndProc == nullptr)
            return FALSE;
        m_pfnSuperWindowProc = pfnWndProc;
        this->m_hWnd = hWnd;
        return TRUE;
    }

    // Gives the window its previous procedure back and returns the window. Without bForce
    // this refuses (returns null) when another procedure has been installed over this one,
    // since removing ours would cut that one out of the chain.
    HWND UnsubclassWindow(BOOL bForce = FALSE) noexcept
    {
        if (this->m_hWnd == nullptr)
            return nullptr;
        const WNDPROC pOurProc = m_thunk.GetWNDPROC();
        const WNDPROC pActiveProc = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(this->m_hWnd, GWLP_WNDPROC));
        if (!bForce && pOurProc != pActiveProc)
            return nullptr;
        if (::SetWindowLongPtrW(this->m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuperWindowProc)) == 0)
            return nullptr;
        m_pfnSuperWindowProc = ::DefWindowProcW;
        HWND hWnd = this->m_hWnd;
        this->m_hWnd = nullptr;
        return hWnd;
    }

    // The procedure this object installs on its window (null before the first subclassing).
    // Comparing it with GetWindowLongPtrW(GWLP_WNDPROC) tells whether it is still in front.
    virtual WNDPROC GetWindowProc() { return m_thunk.GetWNDPROC(); }

    // Called after the window's last message (WM_NCDESTROY), with the object already detached.
    virtual void OnFinalMessage(HWND /*hWnd*/) {}

    // Default processing: the procedure that was in place before subclassing.
    LRESULT DefWindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) noexcept
    {
        return ::CallWindowProcW(m_pfnSuperWindowProc, this->m_hWnd, uMsg, wParam, lParam);
    }
    LRESULT DefWindowProc() noexcept
    {
        const MSG* pMsg = this->m_pCurrentMsg;
        if (pMsg == nullptr)
            return 0;
        return DefWindowProc(pMsg->message, pMsg->wParam, pMsg->lParam);
    }

    WNDPROC m_pfnSuperWindowProc = ::DefWindowProcW;
    CWndProcThunk m_thunk;

private:
    struct _AtlOrphanedThunk {
        WNDPROC pfnSuper;
        WNDPROC pfnThunk;
    };

    // The thunk's target: runs the message map, then the previous procedure for what the map
    // leaves. The previous procedure is read when the message arrives, so a handler that
    // unsubclasses the window still gets default processing from the right procedure.
    static LRESULT WindowProc(void* pv, HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        CWindowImplBaseT* pThis = static_cast<CWindowImplBaseT*>(pv);
        // A stale caller (a procedure that kept this thunk after the object let the window go)
        // gets the default answer; the object's map is only for its own window.
        if (pThis->m_hWnd != hWnd)
            return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);

        const WNDPROC pfnSuper = pThis->m_pfnSuperWindowProc;
        MSG msg = {};
        msg.hwnd = hWnd;
        msg.message = uMsg;
        msg.wParam = wParam;
        msg.lParam = lParam;
        const MSG* pOldMsg = pThis->m_pCurrentMsg;
        pThis->m_pCurrentMsg = &msg;
        LRESULT lRes = 0;
        const BOOL bRet = pThis->ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lRes, 0);
        pThis->m_pCurrentMsg = pOldMsg;

        if (!bRet)
            lRes = ::CallWindowProcW(pfnSuper, hWnd, uMsg, wParam, lParam);
        if (uMsg == WM_NCDESTROY && pThis->m_hWnd == hWnd) {
            // The window's last message: take our procedure out if it is still in front.
            if (::GetWindowLongPtrW(hWnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(pThis->m_thunk.GetWNDPROC()))
                ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(pfnSuper));
            pThis->m_dwState |= WINSTATE_DESTROYED;
        }
        // A window destroyed inside a handler is let go only when the outermost message
        // returns, so that the handlers still running see their m_hWnd.
        if ((pThis->m_dwState & WINSTATE_DESTROYED) && pOldMsg == nullptr) {
            pThis->m_dwState &= ~static_cast<DWORD>(WINSTATE_DESTROYED);
            HWND hWndThis = pThis->m_hWnd;
            pThis->m_hWnd = nullptr;
            pThis->m_pfnSuperWindowProc = ::DefWindowProcW;
            pThis->OnFinalMessage(hWndThis);
        }
        return lRes;
    }

    // Target of a thunk whose object is gone while another procedure still calls it.
    static LRESULT OrphanProc(void* pv, HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        _AtlOrphanedThunk* pOrphan = static_cast<_AtlOrphanedThunk*>(pv);
        const WNDPROC pfnSuper = pOrphan->pfnSuper;
        if (uMsg == WM_NCDESTROY) {
            AtlThunk_Free(pOrphan->pfnThunk);
            delete pOrphan;
        }
        return ::CallWindowProcW(pfnSuper, hWnd, uMsg, wParam, lParam);
    }
};

template <class T, class TBase = CWindow, class TWinTraits = CControlWinTraits>
class CWindowImpl : public CWindowImplBaseT<TBase, TWinTraits> {};

}  // namespace ATL
