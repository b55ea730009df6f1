// Hooks of the headless display backend, for tests, the demo and hosts: injected input, the
// virtual clock, pixels of windows, the current cursor and the message-box handler.
//
// Injected input is queued and "happens" when the message loop takes it (GetMessageW or
// PeekMessageW with PM_REMOVE): only then does the cursor move (clamped to ClipCursor's
// rectangle), the key state change and the mouse or key message appear. So a script injected
// before a modal loop starts is seen by that loop, in order.
//
// GetMessageW never blocks under the headless backend. When the thread has nothing to
// retrieve (no posted message, no injected input, no window to paint, no due timer):
//   1. if a window of the thread holds the mouse capture, the capture is released
//      (WM_CAPTURECHANGED, as when a real user's mouse left the application) and GetMessageW
//      returns TRUE with a WM_NULL message for no window; a modal loop that runs while it
//      holds the capture therefore ends when its input script is exhausted;
//   2. else, if QorSetClockAutoAdvance(TRUE) was called and a timer runs, the virtual clock
//      jumps to the earliest due time and that WM_TIMER is retrieved;
//   3. else GetMessageW returns FALSE with a WM_QUIT message (wParam 0), so that an ordinary
//      message loop ends when the script is done. No quit flag is left behind.
#pragma once

#include "windef.h"

// The message-box handler: answers a MessageBoxW call (IDOK, IDCANCEL, ...). Without a
// handler MessageBoxW writes caption and text to standard error and answers with the
// message box's default button (IDOK for MB_OK).
typedef int(CALLBACK* QORMESSAGEBOXHANDLER)(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType, void* context);

// Mouse input at screen coordinates: message is WM_MOUSEMOVE, WM_LBUTTONDOWN/UP,
// WM_RBUTTONDOWN/UP, WM_MBUTTONDOWN/UP or WM_MOUSEWHEEL (wheelDelta in multiples of
// WHEEL_DELTA; ignored otherwise). Shift and control come from the injected key state.
// FALSE with ERROR_INVALID_PARAMETER for any other message.
extern "C" BOOL WINAPI QorInjectMouse(UINT message, int screenX, int screenY, int wheelDelta);
// A key press (down TRUE) or release of a virtual key (1..254); it goes to the focus window,
// or to the thread as a message without window when no window has the focus.
extern "C" BOOL WINAPI QorInjectKey(UINT vk, BOOL down);
// Drops injected input that has not been taken yet and clears the key and button state.
extern "C" void WINAPI QorResetInput();

// The virtual clock, in milliseconds; it starts at 0 and only moves when told to. Timers fall
// due against it. As on Windows, a timer that missed several periods has one WM_TIMER
// pending, not one per period; due timers are retrieved in the order of their due times.
extern "C" DWORD WINAPI QorGetClock();
extern "C" void WINAPI QorAdvanceClock(DWORD ms);
extern "C" void WINAPI QorSetClockAutoAdvance(BOOL enable);

// Pixels of a window's client area as it was drawn into its top-level window's surface,
// 0xAARRGGBB, rows strideBytes apart; dst must hold the client height × strideBytes bytes.
// Parts of the client area outside the top-level surface read as 0.
extern "C" BOOL WINAPI QorGetWindowPixels(HWND hWnd, DWORD* dst, int strideBytes);
// The client area as a PNG file (8-bit RGBA).
extern "C" BOOL WINAPI QorSaveWindowPng(HWND hWnd, const char* path);

// The cursor that SetCursor chose last (the one the screen would show).
extern "C" HCURSOR WINAPI QorGetCurrentCursor();

// Replaces the message-box handler; null restores the default. Returns the previous one.
extern "C" QORMESSAGEBOXHANDLER WINAPI QorSetMessageBoxHandler(QORMESSAGEBOXHANDLER handler, void* context);
