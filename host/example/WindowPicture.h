// A picture of a window's client area as the user sees it, written as a PNG file. Each
// window system has its own way to read a window back; the build picks the file for it.
#pragma once

#include <windows.h>

// False when the window cannot be read or the file cannot be written.
bool SaveWindowPicture(HWND hWnd, const char* pszPath);
