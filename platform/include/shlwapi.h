// shlwapi: string and path helpers.
#pragma once

#include "windef.h"
#include "winerror.h"

// --- Strings (platform/base).
LWSTDAPI LPWSTR WINAPI StrCpyNW(LPWSTR pszDst, LPCWSTR pszSrc, int cchMax);
LWSTDAPI int WINAPI StrCmpW(LPCWSTR psz1, LPCWSTR psz2);
LWSTDAPI int WINAPI StrCmpIW(LPCWSTR psz1, LPCWSTR psz2);
LWSTDAPI int WINAPI StrCmpNIW(LPCWSTR psz1, LPCWSTR psz2, int nChar);
LWSTDAPI LPWSTR WINAPI StrStrW(LPCWSTR pszFirst, LPCWSTR pszSrch);
LWSTDAPI LPWSTR WINAPI StrStrIW(LPCWSTR pszFirst, LPCWSTR pszSrch);

// --- Paths (platform/shell) follow.
