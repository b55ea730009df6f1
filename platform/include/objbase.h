// ole32: GUID text (platform/base) and, below, COM activation (platform/com).
#pragma once

#include "objidl.h"
#include "unknwn.h"

// GUID text in registry form, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
WINOLEAPI int WINAPI StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
WINOLEAPI HRESULT WINAPI CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
WINOLEAPI HRESULT WINAPI IIDFromString(LPCOLESTR lpsz, LPIID lpiid);

// --- COM activation and memory (platform/com) follow.
