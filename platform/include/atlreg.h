// ATL's registrar: registry scripts (.rgs) run in register or unregister mode.
//
// A script is UTF-16 text. Before it is parsed, every %NAME% is replaced by the text the
// replacement map gives for NAME (names compare without regard to case; %% is a literal %);
// a name that the map does not hold fails the whole script. Then:
//
//   script := root*
//   root   := HKCR | HKEY_CLASSES_ROOT | HKCU | HKEY_CURRENT_USER | HKLM | HKEY_LOCAL_MACHINE
//             | HKU | HKEY_USERS, followed by { key* } (keys only, no values)
//   key    := [NoRemove | ForceRemove | Delete] name [= type value] [{ (key | named)* }]
//   named  := val name = type value
//   type   := s (REG_SZ) | d (REG_DWORD: decimal, &Hhex or 0xhex) | b (REG_BINARY: hex digit pairs)
//
// Tokens are separated by white space, so "=", "{" and "}" stand alone; a name or value is
// a word or a text in single quotes, where '' stands for one quote. Keywords ignore case.
// The whole script is parsed before anything is written, so a script with a syntax error
// writes nothing and fails with DISP_E_EXCEPTION, as ATL's registrar reports its errors.
//
// Register: keys are created and their values set; ForceRemove deletes the key with its
// whole subtree first; Delete deletes the key (and writes nothing under it). When a write
// fails, the script is run in unregister mode to take back what was written, and the
// failure (HRESULT_FROM_WIN32 of the registry's error) is returned.
// Unregister: the named values of the script are deleted; a key without a flag is deleted
// once its scripted subkeys are gone, unless other subkeys remain under it; a NoRemove key
// stays (its scripted contents go); a ForceRemove key is deleted with its whole subtree (the
// script owns it whole); Delete keys are left alone. Keys that do not exist are skipped.
//
// With per-user registration on (AtlSetPerUserRegistration), HKCR in a script stands for
// HKEY_CURRENT_USER\Software\Classes.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "windows.h"

namespace ATL {

// One replacement: %szKey% in a script becomes szData. Maps end with a {NULL, NULL} entry.
struct _ATL_REGMAP_ENTRY {
    LPCOLESTR szKey;
    LPCOLESTR szData;
};

class CRegObject {
public:
    HRESULT AddReplacement(LPCOLESTR lpszKey, LPCOLESTR lpszItem);
    HRESULT ClearReplacements();

    // The script as text.
    HRESULT StringRegister(LPCOLESTR bstrData);
    HRESULT StringUnregister(LPCOLESTR bstrData);
    // The script in a resource of the module with that path (UTF-8, with or without a byte
    // order mark, or UTF-16 with one).
    HRESULT ResourceRegister(LPCOLESTR resFileName, UINT nID, LPCOLESTR szType);
    HRESULT ResourceUnregister(LPCOLESTR resFileName, UINT nID, LPCOLESTR szType);
    HRESULT ResourceRegisterSz(LPCOLESTR resFileName, LPCOLESTR szID, LPCOLESTR szType);
    HRESULT ResourceUnregisterSz(LPCOLESTR resFileName, LPCOLESTR szID, LPCOLESTR szType);

private:
    std::vector<std::pair<std::basic_string<WCHAR>, std::basic_string<WCHAR>>> m_replacements;
};

// The script in resource nResID of type "REGISTRY" of the module hInstance, run with the
// replacements of the map and the standard ones: %MODULE% is the module's path with every
// quote doubled (for use inside a quoted text), %MODULE_RAW% the path as it is.
HRESULT AtlUpdateRegistryFromResource(HINSTANCE hInstance, UINT nResID, BOOL bRegister,
                                      const _ATL_REGMAP_ENTRY* pMapEntries);

}  // namespace ATL

// Per-user registration for the whole process: while on, scripts write HKCR under
// HKEY_CURRENT_USER\Software\Classes and AtlRegisterTypeLib registers for the user.
extern "C" HRESULT WINAPI AtlSetPerUserRegistration(bool bEnable);
extern "C" HRESULT WINAPI AtlGetPerUserRegistration(bool* pbEnabled);
