// GdiplusStartup and GdiplusShutdown.
#include "gdiplus_private.h"

#include <gdiplusinit.h>

#include <atomic>

namespace qor::gdiplus {
namespace {

std::atomic<int> g_startCount{0};
std::atomic<ULONG_PTR> g_nextToken{1};

Status WINAPI NotificationHook(ULONG_PTR* token)
{
    if (!token)
        return InvalidParameter;
    *token = g_nextToken++;
    return Ok;
}

void WINAPI NotificationUnhook(ULONG_PTR) {}

}  // namespace

bool IsStarted() { return g_startCount.load() > 0; }

}  // namespace qor::gdiplus

namespace Gdiplus {

using namespace qor::gdiplus;

Status WINAPI GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input,
                                                 GdiplusStartupOutput* output)
{
    if (!token || !input)
        return InvalidParameter;
    // Version 1 is GDI+ 1.0; 2 and 3 ask for the 1.1 additions, which the same entry points serve.
    if (input->GdiplusVersion < 1 || input->GdiplusVersion > 3)
        return UnsupportedGdiplusVersion;
    if (input->SuppressBackgroundThread) {
        // The caller then runs the hooks itself; there is no background thread to suppress here.
        if (!output)
            return InvalidParameter;
        output->NotificationHook = NotificationHook;
        output->NotificationUnhook = NotificationUnhook;
    }
    ++g_startCount;
    *token = g_nextToken++;
    return Ok;
}

void WINAPI GdiplusShutdown(ULONG_PTR token)
{
    if (token == 0)
        return;
    int count = g_startCount.load();
    while (count > 0 && !g_startCount.compare_exchange_weak(count, count - 1)) {
    }
    if (count == 1)
        TrimPixelCache();  // the last user is gone: give the spare page back
}

}  // namespace Gdiplus
