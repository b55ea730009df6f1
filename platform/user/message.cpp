// Messages: sending, posting, retrieval in the Win32 order (sent, posted, quit, input,
// WM_PAINT, WM_TIMER), dispatching, translation, registered messages and timers.
#include "user_private.h"

#include <algorithm>
#include <chrono>

#include <winbase.h>

#include "qor_text.h"
#include "qordisplay.h"

namespace qor::user {

LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    WindowPtr w = LookupWindow(hwnd);  // held for the call: the window may be destroyed inside
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (w->thread != std::this_thread::get_id()) {
        // Sending across threads is not provided: every window lives on the UI thread.
        SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
        return 0;
    }
    return w->proc ? w->proc(hwnd, msg, wParam, lParam) : DefWindowProcW(hwnd, msg, wParam, lParam);
}

void RemoveWindowMessages(HWND hwnd)
{
    ThreadQueue& queue = CurrentQueue();
    std::lock_guard<std::mutex> hold(g_lock);
    auto& posted = queue.posted;
    posted.erase(std::remove_if(posted.begin(), posted.end(), [hwnd](const MSG& m) { return m.hwnd == hwnd; }),
                 posted.end());
}

namespace {

bool InRange(UINT msg, UINT first, UINT last)
{
    return (first == 0 && last == 0) || (msg >= first && msg <= last);
}

bool WindowMatches(HWND hwnd, HWND filter)
{
    if (!filter) return true;
    if (filter == reinterpret_cast<HWND>(-1)) return hwnd == nullptr;
    return hwnd == filter || IsChild(filter, hwnd);
}

void Stamp(MSG* msg)
{
    msg->time = CurrentBackend().Now();
    GetCursorPos(&msg->pt);
}

// Other threads only append to the posted list, so an index found without the lock still
// names the same message when the lock is taken again; matching a window filter looks
// windows up, which takes the lock itself.
bool TakePosted(ThreadQueue& queue, MSG* msg, HWND filter, UINT first, UINT last, bool remove)
{
    std::vector<std::pair<HWND, UINT>> posted;
    bool quit;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        for (const MSG& m : queue.posted) posted.emplace_back(m.hwnd, m.message);
        quit = queue.quit;
    }
    for (size_t i = 0; i < posted.size(); ++i) {
        if (!InRange(posted[i].second, first, last) || !WindowMatches(posted[i].first, filter)) continue;
        std::lock_guard<std::mutex> hold(g_lock);
        *msg = queue.posted[i];
        if (remove) queue.posted.erase(queue.posted.begin() + static_cast<std::ptrdiff_t>(i));
        return true;
    }
    // WM_QUIT comes once the posted messages are gone, whatever the filter says.
    if (quit) {
        std::lock_guard<std::mutex> hold(g_lock);
        *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0, 0, {}, 0};
        if (remove) queue.quit = false;
        return true;
    }
    return false;
}

Timer* DueTimer(ThreadQueue& queue, HWND filter, DWORD now)
{
    Timer* best = nullptr;
    for (Timer& t : queue.timers) {
        if (static_cast<LONG>(now - t.due) < 0 || !WindowMatches(t.hwnd, filter)) continue;
        if (!best || static_cast<LONG>(t.due - best->due) < 0 || (t.due == best->due && t.order < best->order))
            best = &t;
    }
    return best;
}

bool Retrieve(MSG* msg, HWND filter, UINT first, UINT last, bool remove)
{
    ThreadQueue& queue = CurrentQueue();
    if (TakePosted(queue, msg, filter, first, last, remove)) {
        Stamp(msg);
    } else if (TakeInput(queue, msg, filter, first, last, remove)) {
        // stamped when the input happened
    } else if (HWND paint = InRange(WM_PAINT, first, last) ? NextWindowToPaint(filter) : nullptr) {
        *msg = MSG{paint, WM_PAINT, 0, 0, 0, {}, 0};
        Stamp(msg);
    } else if (Timer* t = InRange(WM_TIMER, first, last) ? DueTimer(queue, filter, CurrentBackend().Now()) : nullptr) {
        *msg = MSG{t->hwnd, WM_TIMER, t->id, reinterpret_cast<LPARAM>(t->proc), 0, {}, 0};
        Stamp(msg);
        if (remove) t->due = msg->time + t->elapse;  // missed periods collapse into one message
    } else {
        return false;
    }
    if (remove) queue.last = *msg;
    return true;
}

constexpr DWORD INFINITE_WAIT = 0xFFFFFFFF;

// What MsgWaitForMultipleObjects waits for on this thread, other than posts.
bool ReadyOnThread(ThreadQueue& queue, DWORD wakeMask)
{
    MSG peek;
    return ((wakeMask & QS_INPUT) && TakeInput(queue, &peek, nullptr, 0, 0, false)) ||
           ((wakeMask & QS_PAINT) && NextWindowToPaint(nullptr)) ||
           ((wakeMask & QS_TIMER) && DueTimer(queue, nullptr, CurrentBackend().Now()));
}

// With a display host, input and timers arrive while the host runs its events, so the wait
// goes through the host until something of the mask is there or the time is up.
DWORD WaitWithDisplay(ThreadQueue& queue, std::unique_lock<std::mutex>& hold, DWORD timeoutMs, DWORD wakeMask)
{
    const bool posts = (wakeMask & (QS_POSTMESSAGE | QS_ALLPOSTMESSAGE)) != 0;
    const DWORD start = CurrentBackend().Now();
    for (;;) {
        if (posts && (!queue.posted.empty() || queue.quit)) return WAIT_OBJECT_0;
        const DWORD elapsed = CurrentBackend().Now() - start;
        if (timeoutMs != INFINITE && elapsed >= timeoutMs) return WAIT_TIMEOUT;
        DWORD wait = timeoutMs == INFINITE ? INFINITE : timeoutMs - elapsed;
        DWORD timer = 0;
        hold.unlock();
        if ((wakeMask & QS_TIMER) && QorGetNextTimerDue(&timer)) wait = std::min(wait, timer);
        hold.lock();
        CurrentBackend().Wait(queue, hold, wait);
        hold.unlock();
        const bool ready = ReadyOnThread(queue, wakeMask);
        hold.lock();
        if (ready) return WAIT_OBJECT_0;
    }
}

bool ValidFilter(HWND filter)
{
    return !filter || filter == reinterpret_cast<HWND>(-1) || LookupWindowOrFail(filter);
}

}  // namespace
}  // namespace qor::user

using namespace qor::user;

LRESULT WINAPI SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (hwnd == HWND_BROADCAST) {
        const std::vector<HWND> tops = TopLevelWindows();
        for (HWND top : tops) Send(top, msg, wParam, lParam);
        return 1;
    }
    return Send(hwnd, msg, wParam, lParam);
}

// The only entry point that other threads may use.
BOOL WINAPI PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (hwnd == HWND_BROADCAST) {
        std::vector<HWND> tops;
        {
            std::lock_guard<std::mutex> hold(g_lock);
            tops = TopLevelWindows();
        }
        for (HWND top : tops) PostMessageW(top, msg, wParam, lParam);
        return TRUE;
    }
    std::thread::id target = std::this_thread::get_id();
    if (hwnd) {
        WindowPtr w = LookupWindowOrFail(hwnd);
        if (!w) return FALSE;
        target = w->thread;
    } else {
        CurrentQueue();
    }
    std::lock_guard<std::mutex> hold(g_lock);
    std::shared_ptr<ThreadQueue> queue = QueueOf(target);
    if (!queue) {  // the window's thread has ended
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    queue->posted.push_back(MSG{hwnd, msg, wParam, lParam, 0, {}, 0});
    queue->wake.notify_all();
    CurrentBackend().Wake();
    return TRUE;
}

void WINAPI PostQuitMessage(int exitCode)
{
    ThreadQueue& queue = CurrentQueue();
    std::lock_guard<std::mutex> hold(g_lock);
    queue.quit = true;
    queue.quitCode = exitCode;
}

// There are no waitable kernel objects on this platform, so only the thread's queue can end
// the wait and any handle is refused. Two differences from Windows, on purpose: the wait ends
// whenever the queue holds a message of the wake mask, also one that an earlier PeekMessageW
// already saw (Windows needs MWMO_INPUTAVAILABLE for that), so a loop that peeks until the queue
// is empty and then waits behaves the same on both; and the timeout is real time, not the
// headless clock, since what ends the wait is a post from another thread.
DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD timeoutMs, DWORD wakeMask)
{
    (void)handles;
    (void)waitAll;
    if (count >= MAXIMUM_WAIT_OBJECTS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    if (count > 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    ThreadQueue& queue = CurrentQueue();
    // Headless, input, paint and timers change only on this thread: they are either there now
    // or not before this call returns.
    if (ReadyOnThread(queue, wakeMask)) return WAIT_OBJECT_0;
    if (!DisplayBackendOrNull() && !(wakeMask & (QS_POSTMESSAGE | QS_ALLPOSTMESSAGE))) {
        // Nothing that this thread waits for can come from another thread. Windows would wait
        // for ever; a wait that cannot end is refused instead.
        if (timeoutMs == INFINITE) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return WAIT_FAILED;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return WAIT_TIMEOUT;
    }
    std::unique_lock<std::mutex> hold(g_lock);
    auto arrived = [&queue] { return !queue.posted.empty() || queue.quit; };
    if (DisplayBackendOrNull()) return WaitWithDisplay(queue, hold, timeoutMs, wakeMask);
    if (timeoutMs == INFINITE) {
        queue.wake.wait(hold, arrived);
        return WAIT_OBJECT_0;
    }
    return queue.wake.wait_for(hold, std::chrono::milliseconds(timeoutMs), arrived) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL WINAPI PeekMessageW(LPMSG msg, HWND filter, UINT first, UINT last, UINT remove)
{
    if (!msg) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    if (!ValidFilter(filter)) return FALSE;
    return Retrieve(msg, filter, first, last, (remove & PM_REMOVE) != 0) ? TRUE : FALSE;
}

// GetMessageW never blocks under the headless backend: see qorheadless.h for what it
// returns once nothing is left.
BOOL WINAPI GetMessageW(LPMSG msg, HWND filter, UINT first, UINT last)
{
    if (!msg) {
        SetLastError(ERROR_NOACCESS);
        return -1;
    }
    if (!ValidFilter(filter)) return -1;
    ThreadQueue& queue = CurrentQueue();
    for (;;) {
        if (Retrieve(msg, filter, first, last, true)) return msg->message != WM_QUIT;
        {
            std::unique_lock<std::mutex> hold(g_lock);
            DWORD wait = INFINITE_WAIT;
            const DWORD now = CurrentBackend().Now();
            for (const Timer& t : queue.timers)
                wait = std::min<DWORD>(wait, static_cast<LONG>(t.due - now) > 0 ? t.due - now : 0);
            if (CurrentBackend().Wait(queue, hold, wait)) continue;
        }
        // Headless: nothing arrives from outside any more.
        if (g_capture) {
            WindowPtr owner = LookupWindow(g_capture);
            if (owner && owner->thread == std::this_thread::get_id()) {
                ReleaseCapture();
                *msg = MSG{nullptr, WM_NULL, 0, 0, 0, {}, 0};
                Stamp(msg);
                queue.last = *msg;
                return TRUE;
            }
        }
        if (Headless().autoAdvance && !queue.timers.empty()) {
            DWORD next = queue.timers.front().due;
            const DWORD now = Headless().Now();
            for (const Timer& t : queue.timers)
                if (static_cast<LONG>(t.due - next) < 0) next = t.due;
            if (static_cast<LONG>(next - now) > 0) Headless().clock = next;
            if (Retrieve(msg, filter, first, last, true)) return msg->message != WM_QUIT;
        }
        *msg = MSG{nullptr, WM_QUIT, 0, 0, 0, {}, 0};
        Stamp(msg);
        return FALSE;
    }
}

LRESULT WINAPI DispatchMessageW(const MSG* msg)
{
    if (!msg) return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        // Only a timer that still exists with that procedure is called.
        ThreadQueue& queue = CurrentQueue();
        auto it = std::find_if(queue.timers.begin(), queue.timers.end(), [msg](const Timer& t) {
            return t.hwnd == msg->hwnd && t.id == msg->wParam && reinterpret_cast<LPARAM>(t.proc) == msg->lParam;
        });
        if (it == queue.timers.end()) return 0;
        it->proc(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
        return 0;
    }
    if (!msg->hwnd) return 0;
    if (!LookupWindowOrFail(msg->hwnd)) return 0;
    return Send(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

// Key-downs of printable keys, Enter, Backspace, Tab and Escape give a WM_CHAR, upper case
// while shift is down; dead keys, keyboard layouts and caps lock are not modelled.
BOOL WINAPI TranslateMessage(const MSG* msg)
{
    if (!msg) return FALSE;
    if (msg->message != WM_KEYDOWN && msg->message != WM_KEYUP && msg->message != WM_SYSKEYDOWN &&
        msg->message != WM_SYSKEYUP)
        return FALSE;
    if (msg->message != WM_KEYDOWN) return TRUE;
    const UINT vk = static_cast<UINT>(msg->wParam);
    const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    WCHAR ch = 0;
    if (vk >= 'A' && vk <= 'Z') ch = static_cast<WCHAR>(shift ? vk : vk - 'A' + 'a');
    else if (vk >= '0' && vk <= '9' && !shift) ch = static_cast<WCHAR>(vk);
    else if (vk == VK_SPACE || vk == VK_RETURN || vk == VK_BACK || vk == VK_TAB || vk == VK_ESCAPE)
        ch = static_cast<WCHAR>(vk);
    if (ch) PostMessageW(msg->hwnd, WM_CHAR, ch, msg->lParam);
    return TRUE;
}

DWORD WINAPI GetMessagePos()
{
    const MSG& last = CurrentQueue().last;
    return static_cast<DWORD>(MAKELONG(static_cast<WORD>(last.pt.x), static_cast<WORD>(last.pt.y)));
}

LONG WINAPI GetMessageTime()
{
    return static_cast<LONG>(CurrentQueue().last.time);
}

// Registered messages share the atom table with window classes, as on Windows.
UINT WINAPI RegisterWindowMessageW(LPCWSTR name)
{
    if (!name || !*name || IS_INTRESOURCE(name) || lstrlenW(name) > 255) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const ATOM atom = AddAtom(name);
    if (!atom) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return atom;
}

UINT WINAPI RegisterWindowMessageA(LPCSTR name)
{
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string wide = qor::ToUtf16(name);
    return RegisterWindowMessageW(wide.c_str());
}

UINT_PTR WINAPI SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc)
{
    if (hwnd) {
        WindowPtr w = LookupWindowOrFail(hwnd);
        if (!w) return 0;
        if (w->thread != std::this_thread::get_id()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return 0;
        }
    }
    elapse = std::clamp<UINT>(elapse, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
    ThreadQueue& queue = CurrentQueue();
    static ULONGLONG order = 0;
    const DWORD due = CurrentBackend().Now() + elapse;
    if (!hwnd && id == 0) {
        // A new thread timer gets the lowest free identifier.
        id = 1;
        while (std::any_of(queue.timers.begin(), queue.timers.end(),
                           [id](const Timer& t) { return !t.hwnd && t.id == id; }))
            ++id;
    }
    auto it = std::find_if(queue.timers.begin(), queue.timers.end(),
                           [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (it != queue.timers.end()) {
        it->elapse = elapse;
        it->proc = proc;
        it->due = due;
    } else {
        queue.timers.push_back(Timer{hwnd, id, elapse, proc, due, order++});
    }
    CurrentBackend().Wake();  // the next due time may be sooner
    return id ? id : 1;  // a window timer with identifier 0 still reports success
}

BOOL WINAPI KillTimer(HWND hwnd, UINT_PTR id)
{
    ThreadQueue& queue = CurrentQueue();
    auto it = std::find_if(queue.timers.begin(), queue.timers.end(),
                           [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (it == queue.timers.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    queue.timers.erase(it);
    return TRUE;
}
