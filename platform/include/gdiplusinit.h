// GDI+ start-up and shut-down, GdiplusStartupInput in its Win32 x64 layout.
#pragma once

#include "gdiplustypes.h"
#include "gdiplusenums.h"

namespace Gdiplus {

typedef void(WINAPI* DebugEventProc)(DebugEventLevel level, CHAR* message);
typedef Status(WINAPI* NotificationHookProc)(ULONG_PTR* token);
typedef void(WINAPI* NotificationUnhookProc)(ULONG_PTR token);

struct GdiplusStartupInput {
    UINT32 GdiplusVersion;
    DebugEventProc DebugEventCallback;
    BOOL SuppressBackgroundThread;
    BOOL SuppressExternalCodecs;

    GdiplusStartupInput(DebugEventProc debugEventCallback = nullptr, BOOL suppressBackgroundThread = FALSE,
                        BOOL suppressExternalCodecs = FALSE)
        : GdiplusVersion(1),
          DebugEventCallback(debugEventCallback),
          SuppressBackgroundThread(suppressBackgroundThread),
          SuppressExternalCodecs(suppressExternalCodecs)
    {
    }
};

struct GdiplusStartupOutput {
    NotificationHookProc NotificationHook;
    NotificationUnhookProc NotificationUnhook;
};

static_assert(sizeof(GdiplusStartupInput) == 24 && offsetof(GdiplusStartupInput, DebugEventCallback) == 8 &&
              offsetof(GdiplusStartupInput, SuppressBackgroundThread) == 16);
static_assert(sizeof(GdiplusStartupOutput) == 16);

extern "C" Status WINAPI GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input,
                                        GdiplusStartupOutput* output);
extern "C" void WINAPI GdiplusShutdown(ULONG_PTR token);

}  // namespace Gdiplus
