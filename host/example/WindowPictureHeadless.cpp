// The platform's window system keeps every window's pixels; it writes them itself.
#include "WindowPicture.h"

#include <qorheadless.h>

bool SaveWindowPicture(HWND hWnd, const char* pszPath)
{
    return QorSaveWindowPng(hWnd, pszPath) != FALSE;
}
