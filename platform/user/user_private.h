// Private state of the window system: classes, window objects, thread queues, surfaces and
// the display backend. Everything here belongs to the UI thread except what g_lock guards
// (the handle table, the posted-message queues and the atom table), which PostMessageW
// reaches from any thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <winuser.h>

#include "qor_surface.h"

namespace qor::user {

// An area as a list of non-overlapping rectangles (the update region of a window).
class Region {
public:
    void Add(const RECT& rc);
    void Subtract(const RECT& rc);
    void Intersect(const RECT& rc);
    void Offset(int dx, int dy);
    void Clear() { rects_.clear(); }
    bool Empty() const { return rects_.empty(); }
    RECT Bounds() const;
    const std::vector<RECT>& Rects() const { return rects_; }

private:
    std::vector<RECT> rects_;
};

struct WindowClass {
    ATOM atom = 0;
    std::u16string name;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int clsExtra = 0;
    int wndExtra = 0;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HICON iconSmall = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    int windows = 0;  // live windows of the class
};

struct ScrollBar {
    int min = 0;
    int max = 100;
    UINT page = 0;
    int pos = 0;
    UINT disabledArrows = ESB_ENABLE_BOTH;
    bool exists = false;  // the window had the bar's style or its values were set
};

// Pixels of one top-level window. Held by shared pointer so that a DC made before a resize
// keeps drawing into the buffer it was made on until it is released.
struct SurfaceBuffer {
    int width = 0;
    int height = 0;
    std::vector<DWORD> bits;
    Surface View() { return Surface{width, height, width * 4, bits.data()}; }
};

struct Window {
    HWND hwnd = nullptr;
    std::shared_ptr<WindowClass> cls;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND parent = nullptr;  // child windows only
    HWND owner = nullptr;   // top-level windows only
    std::vector<HWND> children;  // z-order, topmost first
    HINSTANCE instance = nullptr;
    LONG_PTR id = 0;
    LONG_PTR userData = 0;
    std::vector<BYTE> extra;
    // Window and client rectangles in the parent's client coordinates (screen coordinates
    // for top-level windows).
    RECT window{};
    RECT client{};
    std::u16string text;
    std::map<std::u16string, HANDLE> props;
    ScrollBar bars[2];
    Region update;  // client coordinates
    bool erase = false;        // WM_ERASEBKGND still to be sent
    bool eraseRefused = false; // sent early (RDW_ERASENOW/UPDATENOW) and answered 0
    bool internalPaint = false;
    std::thread::id thread;
    bool destroying = false;
    std::shared_ptr<SurfaceBuffer> surface;  // top-level windows only
};
using WindowPtr = std::shared_ptr<Window>;

struct Timer {
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    UINT elapse = 0;
    TIMERPROC proc = nullptr;
    DWORD due = 0;
    ULONGLONG order = 0;  // creation order, for timers due at the same time
};

// Raw input waiting to happen (injected, or the move that follows a capture release).
struct InputEvent {
    bool key = false;
    UINT message = 0;  // mouse message, or WM_KEYDOWN/WM_KEYUP/WM_CHAR
    POINT pt{};
    int wheel = 0;
    UINT vk = 0;       // the virtual key, or the character of a WM_CHAR
};

struct ThreadQueue {
    std::thread::id thread;
    // Guarded by g_lock.
    std::deque<MSG> posted;
    bool quit = false;
    int quitCode = 0;
    std::condition_variable wake;
    // UI thread only.
    std::deque<InputEvent> input;
    bool cooked = false;  // the front event has happened and cookedMsg is its message
    MSG cookedMsg{};
    std::vector<Timer> timers;
    MSG last{};
};

// The display backend: a clock, a way to wait for input, and a place to show surfaces.
class Backend {
public:
    virtual ~Backend() = default;
    virtual DWORD Now() = 0;
    // Called with g_lock held when the thread has nothing to retrieve: waits up to timeoutMs
    // for input or a post (the lock may be let go meanwhile and is held again on return);
    // false when nothing can arrive this way (the headless backend).
    virtual bool Wait(ThreadQueue& queue, std::unique_lock<std::mutex>& lock, DWORD timeoutMs) = 0;
    virtual void Present(HWND topLevel, const Surface& surface, const RECT& dirty) = 0;
    virtual void CursorChanged(HCURSOR cursor) = 0;
    virtual SIZE ScreenSize() = 0;
    // Any thread: the queue has something new to pump (a post, an invalidation, a timer).
    virtual void Wake() = 0;
};

class HeadlessBackend final : public Backend {
public:
    DWORD Now() override { return clock.load(); }
    bool Wait(ThreadQueue&, std::unique_lock<std::mutex>&, DWORD) override { return false; }
    void Present(HWND, const Surface&, const RECT&) override {}
    void CursorChanged(HCURSOR) override {}
    SIZE ScreenSize() override { return SIZE{1920, 1080}; }
    void Wake() override {}

    std::atomic<DWORD> clock{0};
    bool autoAdvance = false;
};

// --- state.cpp: the handle table, thread queues, the backend.
extern std::mutex g_lock;
WindowPtr LookupWindow(HWND hwnd);                 // any thread
WindowPtr LookupWindowOrFail(HWND hwnd);           // sets ERROR_INVALID_WINDOW_HANDLE
HWND AddWindow(const WindowPtr& window);          // assigns the handle
void RemoveWindow(HWND hwnd);
std::vector<HWND>& TopLevelWindows();             // z-order, topmost first
ThreadQueue& CurrentQueue();
std::shared_ptr<ThreadQueue> QueueOf(std::thread::id thread);  // with g_lock held
HeadlessBackend& Headless();
Backend& CurrentBackend();                        // the display host's while one is installed
ATOM AddAtom(std::u16string_view name);           // the user atom table, 0xC000..0xFFFF
bool FindAtomName(ATOM atom, std::u16string* name);
std::u16string FoldCase(std::u16string_view text);

// --- class.cpp
std::shared_ptr<WindowClass> FindClass(LPCWSTR name, HINSTANCE instance);

// --- window.cpp
bool IsVisibleChain(const Window& w);
HWND TopLevelOf(HWND hwnd);
void ReleaseCaptureOf(HWND hwnd);

// --- winpos.cpp
// The non-client layout of a window of the given size, relative to its top-left corner:
// a border for WS_BORDER/WS_EX_CLIENTEDGE/WS_EX_STATICEDGE, then the visible scroll bars.
struct NonClientLayout {
    RECT client{};
    RECT vbar{};  // empty when the vertical bar is not shown
    RECT hbar{};
};
NonClientLayout LayoutNonClient(DWORD style, DWORD exStyle, int width, int height);
// SetWindowPos flags that Windows adds internally for WM_WINDOWPOSCHANGED.
constexpr UINT kSwpNoClientSize = 0x0800;
constexpr UINT kSwpNoClientMove = 0x1000;
POINT ClientOriginOnScreen(const Window& w);
POINT WindowOriginOnScreen(const Window& w);
RECT ClientRectOnScreen(const Window& w);
// The client area of w in its top-level surface, clipped to its ancestors' client areas.
RECT VisibleClientInSurface(const Window& w);
POINT ClientOriginInSurface(const Window& w);
void ComputeClientRect(const Window& w, const RECT& window, RECT* client);
LRESULT HitTest(const Window& w, POINT screen);
HWND WindowAtPoint(POINT screen);
void SendSizeAndMove(HWND hwnd);

// --- scroll.cpp
void DrawNonClient(Window& w);
void ClickScrollBar(HWND hwnd, LRESULT hit, POINT screen);

// --- message.cpp
LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void RemoveWindowMessages(HWND hwnd);

// --- input.cpp
// Turns the next injected event into a message for this thread; false if the queue is
// empty. An event that produces no message (a move over no window) is consumed and the
// next one tried.
bool TakeInput(ThreadQueue& queue, MSG* msg, HWND filter, UINT first, UINT last, bool remove);
void QueueMouseMove();
extern HWND g_capture;
extern HWND g_focus;

// --- paint.cpp
void InvalidateArea(Window& w, const RECT* rcClient, UINT flags);
// The window of this thread to receive the next WM_PAINT, or null.
HWND NextWindowToPaint(HWND filter);
void ReleaseWindowDCs(HWND hwnd);
void ResizeSurface(Window& w);
// Sends the pending WM_ERASEBKGND, with a DC clipped to the update area; true when the
// window erased (answered non-zero).
bool SendEraseIfNeeded(Window& w);
constexpr DWORD kBlankPixel = 0x00FFFFFF;  // a surface before anything is drawn on it

// --- cursor.cpp
HCURSOR SystemCursor(LPCWSTR id);

// --- display.cpp
Backend* DisplayBackendOrNull();                  // the installed display host, any thread

}  // namespace qor::user
