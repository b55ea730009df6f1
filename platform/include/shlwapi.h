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
// Both '\' and '/' separate; a separator that these functions add is '/', the separator of
// this platform's file system.
LWSTDAPI BOOL WINAPI PathFileExistsW(LPCWSTR pszPath);
LWSTDAPI BOOL WINAPI PathIsDirectoryW(LPCWSTR pszPath);
LWSTDAPI LPWSTR WINAPI PathFindFileNameW(LPCWSTR pszPath);
LWSTDAPI LPWSTR WINAPI PathFindExtensionW(LPCWSTR pszPath);
LWSTDAPI LPWSTR WINAPI PathAddBackslashW(LPWSTR pszPath);
LWSTDAPI LPWSTR WINAPI PathRemoveBackslashW(LPWSTR pszPath);
LWSTDAPI BOOL WINAPI PathRemoveFileSpecW(LPWSTR pszPath);
LWSTDAPI BOOL WINAPI PathCanonicalizeW(LPWSTR pszBuf, LPCWSTR pszPath);
LWSTDAPI LPWSTR WINAPI PathCombineW(LPWSTR pszDest, LPCWSTR pszDir, LPCWSTR pszFile);
LWSTDAPI BOOL WINAPI PathAppendW(LPWSTR pszPath, LPCWSTR pszMore);
