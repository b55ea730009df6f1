// The display host: a GUI toolkit that shows the window system's top-level windows on a real
// screen and feeds them real input. Without one the window system runs on the headless backend
// (qorheadless.h), which the tests and the demo use.
//
// One thread. The window system and the toolkit share the UI thread: the toolkit's event loop
// is the program's main loop, and the toolkit pumps the window system's queue from it
// (PeekMessageW + DispatchMessageW) after input, after a wake and when the next timer is due.
//
// Waiting. When a loop of the window system itself (GetMessageW in a modal loop such as a
// rectangle tracker's drag, or MsgWaitForMultipleObjects) has nothing to retrieve, the window
// system calls the host's pfnWait, which runs the toolkit's events until input arrives, a wake
// comes or the timeout passes. The rule that makes this nesting safe: while pfnWait runs
// (QorIsInModalWait() is TRUE), the toolkit only queues input (QorInjectMouse, QorInjectKey,
// QorInjectChar) and presents pixels; it never retrieves or dispatches the window system's
// messages itself, which would take the modal loop's messages away from it.
//
// Presenting. After a window DC is released, pfnPresent names the top-level window and the
// rectangle of its surface that may have changed. QorGetWindowSurface gives the surface's pixels
// in place (no copy), 0xAARRGGBB in a DWORD (bytes B, G, R, A), rows stride bytes apart, valid
// until the window is resized or destroyed. Surfaces are opaque: ignore the alpha byte.
//
// Time is real time (milliseconds of a monotonic clock) while a display host is installed, and
// QorAdvanceClock and the automatic clock do nothing.
#pragma once

#include "windef.h"

typedef struct QORCURSORIMAGE {
    UINT cbSize;       // sizeof(QORCURSORIMAGE), set by the caller
    UINT systemId;     // IDC_ARROW, IDC_SIZENWSE, ... for a system cursor (no pixels), else 0
    int width;         // pixels of a module cursor
    int height;
    POINT hotspot;
    const DWORD* bits; // width x height pixels, 0xAARRGGBB, not premultiplied, rows top down;
                       // owned by the window system, valid as long as the cursor
} QORCURSORIMAGE;

typedef struct QORDISPLAYHOST {
    UINT cbSize;  // sizeof(QORDISPLAYHOST)
    void* context;
    // The UI thread, after painting: prcDirty in surface pixels of hWndTop.
    void(CALLBACK* pfnPresent)(void* context, HWND hWndTop, const RECT* prcDirty);
    // The UI thread, when SetCursor chose another cursor (QorGetCursorImage describes it).
    void(CALLBACK* pfnCursorChanged)(void* context, HCURSOR hCursor);
    // The UI thread, from a loop of the window system that has nothing to retrieve: run the
    // toolkit's events until input, a wake or dwTimeoutMs (INFINITE: no timer is pending).
    void(CALLBACK* pfnWait)(void* context, DWORD dwTimeoutMs);
    // Any thread: a message was posted, a window was invalidated or a timer was set, so the
    // window system's queue wants pumping. Must be safe to call from any thread and must not
    // call back into the window system.
    void(CALLBACK* pfnWake)(void* context);
    // The size of the screen in pixels (cursor positions are kept inside it).
    SIZE sizeScreen;
} QORDISPLAYHOST;

// Installs the display host (copied), or the headless backend again with null. FALSE with
// ERROR_INVALID_PARAMETER for a wrong cbSize or a missing callback; ERROR_BUSY while a wait of
// the window system runs the host's events.
extern "C" BOOL WINAPI QorSetDisplayHost(const QORDISPLAYHOST* pHost);

// TRUE while the window system waits inside pfnWait on this thread.
extern "C" BOOL WINAPI QorIsInModalWait();

// The milliseconds until this thread's next timer falls due (0 when one is due now); FALSE when
// the thread has no timer.
extern "C" BOOL WINAPI QorGetNextTimerDue(DWORD* pdwMs);

typedef struct QORSURFACE {
    int width;
    int height;
    int stride;   // bytes from one row to the next
    DWORD* bits;
} QORSURFACE;

// The pixels of a top-level window, in place. FALSE with ERROR_INVALID_WINDOW_HANDLE for a
// child window or no window.
extern "C" BOOL WINAPI QorGetWindowSurface(HWND hWndTop, QORSURFACE* pSurface);

// What a cursor looks like: a system cursor by its identifier, a module cursor by its pixels
// (the first image of its .cur data, masks applied). FALSE with ERROR_INVALID_CURSOR_HANDLE.
extern "C" BOOL WINAPI QorGetCursorImage(HCURSOR hCursor, QORCURSORIMAGE* pImage);

// A typed character for the focus window, as WM_CHAR in input order (the toolkit knows the
// keyboard layout; TranslateMessage does not). FALSE with ERROR_INVALID_PARAMETER for 0.
extern "C" BOOL WINAPI QorInjectChar(WCHAR ch);
