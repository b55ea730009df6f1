// The display host's backend: real time, the host's screen, presenting and waiting through the
// host's callbacks (qordisplay.h).
#include "user_private.h"

#include <algorithm>
#include <chrono>

#include <winbase.h>

#include "qordisplay.h"

namespace qor::user {
namespace {

class DisplayBackend final : public Backend {
public:
    explicit DisplayBackend(const QORDISPLAYHOST& host) : host_(host) {}

    DWORD Now() override
    {
        using namespace std::chrono;
        return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now() - start_).count());
    }

    bool Wait(ThreadQueue& queue, std::unique_lock<std::mutex>& lock, DWORD timeoutMs) override
    {
        if (!queue.posted.empty() || queue.quit) return true;
        lock.unlock();
        ++waiting_;
        host_.pfnWait(host_.context, timeoutMs);
        --waiting_;
        lock.lock();
        return true;
    }

    void Present(HWND topLevel, const Surface&, const RECT& dirty) override
    {
        host_.pfnPresent(host_.context, topLevel, &dirty);
    }

    void CursorChanged(HCURSOR cursor) override { host_.pfnCursorChanged(host_.context, cursor); }
    SIZE ScreenSize() override { return host_.sizeScreen; }
    void Wake() override { host_.pfnWake(host_.context); }

    bool Waiting() const { return waiting_ > 0; }

private:
    const QORDISPLAYHOST host_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    int waiting_ = 0;  // nested waits of the UI thread
};

// Installed and removed on the UI thread; read by PostMessageW on any thread, hence atomic. A
// removed backend is kept until the process ends, so a post racing with the removal still
// reaches a live object (its host outlives the posting threads by contract).
std::atomic<DisplayBackend*> g_display{nullptr};

DisplayBackend* Display()
{
    return g_display.load(std::memory_order_acquire);
}

}  // namespace

Backend* DisplayBackendOrNull()
{
    return Display();
}

}  // namespace qor::user

using namespace qor::user;

BOOL WINAPI QorSetDisplayHost(const QORDISPLAYHOST* host)
{
    if (host && (host->cbSize != sizeof(QORDISPLAYHOST) || !host->pfnPresent || !host->pfnCursorChanged ||
                 !host->pfnWait || !host->pfnWake || host->sizeScreen.cx <= 0 || host->sizeScreen.cy <= 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (DisplayBackend* current = Display(); current && current->Waiting()) {
        SetLastError(ERROR_BUSY);
        return FALSE;
    }
    static std::vector<std::unique_ptr<DisplayBackend>> installed;  // see g_display
    DisplayBackend* next = nullptr;
    if (host) {
        installed.push_back(std::make_unique<DisplayBackend>(*host));
        next = installed.back().get();
    }
    g_display.store(next, std::memory_order_release);
    return TRUE;
}

BOOL WINAPI QorIsInModalWait()
{
    DisplayBackend* display = Display();
    return display && display->Waiting() ? TRUE : FALSE;
}

BOOL WINAPI QorGetNextTimerDue(DWORD* ms)
{
    if (!ms) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const ThreadQueue& queue = CurrentQueue();
    if (queue.timers.empty()) return FALSE;
    const DWORD now = CurrentBackend().Now();
    DWORD next = INFINITE;
    for (const Timer& t : queue.timers)
        next = std::min<DWORD>(next, static_cast<LONG>(t.due - now) > 0 ? t.due - now : 0);
    *ms = next;
    return TRUE;
}

BOOL WINAPI QorGetWindowSurface(HWND hwnd, QORSURFACE* surface)
{
    if (!surface) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    WindowPtr w = LookupWindow(hwnd);
    if (!w || !w->surface) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    const qor::Surface view = w->surface->View();
    *surface = QORSURFACE{view.width, view.height, view.stride, view.bits};
    return TRUE;
}
