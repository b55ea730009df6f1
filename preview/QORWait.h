// CQORWait<T>: the busy wheel, a mix-in for a window class T (derived from CWindow).
//
// Twelve spokes of fading alpha turn clockwise over the centre of the client area, one step
// of 30 degrees per timer tick. T derives from CQORWait<T> and chains its map after its own
// handlers:
//
//     BEGIN_MSG_MAP(CMyView)
//         MESSAGE_HANDLER(WM_PAINT, OnPaint)      // leaves bHandled FALSE
//         CHAIN_MSG_MAP(CQORWait<CMyView>)
//     END_MSG_MAP()
//
// so the wheel is drawn after the window's own paint, over the freshly painted pixels. Both
// handlers leave the message unhandled: later maps and DefWindowProc still see it.
//
// List CQORWait after the window base (class CMyView : public CWindowImpl<CMyView>,
// public CQORWait<CMyView>): its destructor stops the timer through the window part, which
// must not be destroyed yet.
//
// GDI+ must be started by the owner (the view starts it for its images).
#pragma once

#include <windows.h>
#include <atlbase.h>
#include <atlwin.h>
#include <gdiplus.h>

#include <cmath>

template <class T>
class CQORWait {
public:
    static constexpr UINT_PTR WAIT_TIMER_ID = 548;
    static constexpr UINT WAIT_TIMER_PERIOD = 180;  // ms: one turn of 12 ticks takes 2.16 s
    static constexpr float WAIT_ANGLE_STEP = 30.0f;
    static constexpr int WAIT_BOX_SIZE = 44;        // the box invalidated and redrawn per tick
    static constexpr int WAIT_SPOKES = 12;
    static constexpr float WAIT_INNER_RADIUS = 9.0f;
    static constexpr float WAIT_OUTER_RADIUS = 18.0f;
    static constexpr float WAIT_PEN_WIDTH = 4.0f;   // world units, which are pixels here
    static constexpr Gdiplus::ARGB WAIT_SPOKE_RGB = 0x9E9E3A;
    static constexpr Gdiplus::ARGB WAIT_ALPHA_STEP = 21;  // 255, 234, ..., 24 along the trail

    // The owner is the object itself. The conversion happens while T is still being built;
    // the address is right and the pointer is only followed once T exists.
    CQORWait() : m_pOwner(static_cast<T*>(this)) {}
    // T lists CQORWait after its window base, so the window part still exists here.
    ~CQORWait()
    {
        if (m_bRunning) {
            m_bRunning = false;
            if (OwnerExists())
                m_pOwner->KillTimer(WAIT_TIMER_ID);
        }
    }
    CQORWait(const CQORWait&) = delete;
    CQORWait& operator=(const CQORWait&) = delete;

    // Starts (on) or stops (off) the wheel. Starting while running restarts the timer, so the
    // next tick comes a full period later.
    void SetBusy(bool on)
    {
        m_bRunning = false;
        if (!OwnerExists())
            return;
        m_pOwner->KillTimer(WAIT_TIMER_ID);
        if (on)
            m_bRunning = m_pOwner->SetTimer(WAIT_TIMER_ID, WAIT_TIMER_PERIOD, nullptr) == WAIT_TIMER_ID;
    }

    BEGIN_MSG_MAP(CQORWait)
        MESSAGE_HANDLER(WM_PAINT, OnWaitPaint)
        MESSAGE_HANDLER(WM_TIMER, OnWaitTimer)
    END_MSG_MAP()

    // Advances the wheel and asks for the box only: the preview underneath repaints itself
    // there, then OnWaitPaint draws the wheel on top. No erase, so the box does not flicker.
    LRESULT OnWaitTimer(UINT /*uMsg*/, WPARAM wParam, LPARAM /*lParam*/, BOOL& bHandled)
    {
        bHandled = FALSE;
        if (wParam != WAIT_TIMER_ID)
            return 0;
        m_fAngle += WAIT_ANGLE_STEP;
        if (!(m_fAngle < 360.0f))
            m_fAngle = 0.0f;
        RECT rcBox;
        if (GetWaitBox(rcBox))
            m_pOwner->InvalidateRect(&rcBox, FALSE);
        return 0;
    }

    // Draws the wheel over what the window's own paint left in the box. The window DC is used
    // (not the paint DC, which the owner has already ended), and the drawing goes through a
    // memory DC so the box is replaced in one copy.
    LRESULT OnWaitPaint(UINT /*uMsg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL& bHandled)
    {
        bHandled = FALSE;
        if (!m_bRunning || !OwnerExists())
            return 0;
        RECT rcClient;
        if (!m_pOwner->GetClientRect(&rcClient))
            return 0;
        const RECT rcBox = WaitBoxOf(rcClient);
        const int w = rcClient.right - rcClient.left;
        const int h = rcClient.bottom - rcClient.top;

        HWND hWnd = m_pOwner->m_hWnd;
        HDC hdcWindow = ::GetDC(hWnd);
        if (!hdcWindow)
            return 0;
        HDC hdcMem = ::CreateCompatibleDC(hdcWindow);
        HBITMAP hbmMem = hdcMem ? ::CreateCompatibleBitmap(hdcWindow, w, h) : nullptr;
        if (hbmMem) {
            HGDIOBJ hbmOld = ::SelectObject(hdcMem, hbmMem);
            const int cx = rcBox.right - rcBox.left;
            const int cy = rcBox.bottom - rcBox.top;
            ::BitBlt(hdcMem, rcBox.left, rcBox.top, cx, cy, hdcWindow, rcBox.left, rcBox.top, SRCCOPY);
            DrawWheel(hdcMem, w, h);
            ::BitBlt(hdcWindow, rcBox.left, rcBox.top, cx, cy, hdcMem, rcBox.left, rcBox.top, SRCCOPY);
            ::SelectObject(hdcMem, hbmOld);
            ::DeleteObject(hbmMem);
        }
        if (hdcMem)
            ::DeleteDC(hdcMem);
        ::ReleaseDC(hWnd, hdcWindow);
        return 0;
    }

    // The 44 x 44 box centred in the client area (halves truncated). FALSE when the owner
    // window is gone.
    bool GetWaitBox(RECT& rcBox) const
    {
        RECT rcClient;
        if (!OwnerExists() || !m_pOwner->GetClientRect(&rcClient))
            return false;
        rcBox = WaitBoxOf(rcClient);
        return true;
    }

    float m_fAngle = 0.0f;   // degrees, 0 to 330 in steps of 30; kept between runs
    bool m_bRunning = false; // timer WAIT_TIMER_ID is set
    T* m_pOwner;             // not owned: the window whose handle the timer and drawing use

private:
    bool OwnerExists() const { return m_pOwner && m_pOwner->IsWindow(); }

    static RECT WaitBoxOf(const RECT& rcClient)
    {
        const int w = rcClient.right - rcClient.left;
        const int h = rcClient.bottom - rcClient.top;
        RECT rc = rcClient;
        ::OffsetRect(&rc, w / 2 - WAIT_BOX_SIZE / 2, h / 2 - WAIT_BOX_SIZE / 2);
        rc.right = rc.left + WAIT_BOX_SIZE;
        rc.bottom = rc.top + WAIT_BOX_SIZE;
        return rc;
    }

    // The spokes around the centre (w / 2, h / 2), turned by m_fAngle. The graphics is gone
    // before the caller copies the box back, so nothing of the drawing is left pending.
    void DrawWheel(HDC hdc, int w, int h) const
    {
        Gdiplus::Graphics graphics(hdc);
        graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        graphics.SetSmoothingMode(Gdiplus::SmoothingModeHighQuality);
        graphics.TranslateTransform(static_cast<Gdiplus::REAL>(w / 2), static_cast<Gdiplus::REAL>(h / 2),
                                    Gdiplus::MatrixOrderPrepend);
        graphics.RotateTransform(m_fAngle, Gdiplus::MatrixOrderPrepend);
        // The brightest spoke is at 360 degrees; the fainter ones trail behind it at 330, 300,
        // ... so the wheel appears to turn clockwise as m_fAngle grows.
        Gdiplus::ARGB alpha = 255;
        for (int i = WAIT_SPOKES; i >= 1; --i, alpha -= WAIT_ALPHA_STEP) {
            const float theta = static_cast<float>(i * 30 * 0.017453292519943295);
            const float c = std::cos(theta);
            const float s = std::sin(theta);
            Gdiplus::Pen pen(Gdiplus::Color((alpha << 24) | WAIT_SPOKE_RGB), WAIT_PEN_WIDTH);
            pen.SetStartCap(Gdiplus::LineCapRound);
            pen.SetEndCap(Gdiplus::LineCapRound);
            graphics.DrawLine(&pen, WAIT_INNER_RADIUS * c, WAIT_INNER_RADIUS * s, WAIT_OUTER_RADIUS * c,
                              WAIT_OUTER_RADIUS * s);
        }
    }
};
