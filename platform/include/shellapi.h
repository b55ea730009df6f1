// shell32: file operations (platform/shell).
#pragma once

#include "windef.h"
#include "winerror.h"

typedef WORD FILEOP_FLAGS;
typedef const WCHAR* PCZZWSTR;  // a list of strings ended by an empty one

#define FO_MOVE 0x0001
#define FO_COPY 0x0002
#define FO_DELETE 0x0003
#define FO_RENAME 0x0004

#define FOF_MULTIDESTFILES 0x0001
#define FOF_CONFIRMMOUSE 0x0002
#define FOF_SILENT 0x0004
#define FOF_RENAMEONCOLLISION 0x0008
#define FOF_NOCONFIRMATION 0x0010
#define FOF_WANTMAPPINGHANDLE 0x0020
#define FOF_ALLOWUNDO 0x0040
#define FOF_FILESONLY 0x0080
#define FOF_SIMPLEPROGRESS 0x0100
#define FOF_NOCONFIRMMKDIR 0x0200
#define FOF_NOERRORUI 0x0400
#define FOF_NOCOPYSECURITYATTRIBS 0x0800
#define FOF_NORECURSION 0x1000
#define FOF_NO_CONNECTED_ELEMENTS 0x2000
#define FOF_WANTNUKEWARNING 0x4000
#define FOF_NORECURSEREPARSE 0x8000

typedef struct _SHFILEOPSTRUCTW {
    HWND hwnd;
    UINT wFunc;
    PCZZWSTR pFrom;
    PCZZWSTR pTo;
    FILEOP_FLAGS fFlags;
    BOOL fAnyOperationsAborted;
    LPVOID hNameMappings;
    PCWSTR lpszProgressTitle;
} SHFILEOPSTRUCTW, *LPSHFILEOPSTRUCTW;
static_assert(sizeof(SHFILEOPSTRUCTW) == 56);
static_assert(offsetof(SHFILEOPSTRUCTW, wFunc) == 8 && offsetof(SHFILEOPSTRUCTW, pFrom) == 16 &&
              offsetof(SHFILEOPSTRUCTW, fFlags) == 32 && offsetof(SHFILEOPSTRUCTW, fAnyOperationsAborted) == 36 &&
              offsetof(SHFILEOPSTRUCTW, hNameMappings) == 40 && offsetof(SHFILEOPSTRUCTW, lpszProgressTitle) == 48);

// Only FO_DELETE is provided. Results are 0 or a Win32 ERROR_ code (Windows returns some
// legacy DE_ codes instead; no caller here tells them apart).
SHSTDAPI int WINAPI SHFileOperationW(LPSHFILEOPSTRUCTW lpFileOp);
