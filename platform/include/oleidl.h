// OLE windows: the window of an in-place object or its container.
#pragma once

#include "objidl.h"

struct IOleWindow : IUnknown {
    STDMETHOD(GetWindow)(HWND* phwnd) = 0;
    STDMETHOD(ContextSensitiveHelp)(BOOL fEnterMode) = 0;
};
typedef IOleWindow* LPOLEWINDOW;
QOR_DEFINE_IID(IOleWindow, 0x00000114, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
