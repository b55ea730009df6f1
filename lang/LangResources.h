// The control's localized texts: the suite's per-language string store in the registry
// (HKEY_LOCAL_MACHINE\SOFTWARE\Velmora\Scrivane\Resources), then the module's own string
// table. The user's language is resolved once per process.
#pragma once

#include <windows.h>
#include <atlstr.h>

// Text nID in the user's language, else the module's own; false when neither has it.
bool LoadLocalizedString(UINT nID, CString& strText);

// "QORRes-" + the module's base name + ".xml": the key of this module's strings below a
// language's key.
CString GetResourceTableName();

// The file name of hModule (null: this module) without folder and extension.
bool GetModuleBaseName(HMODULE hModule, CString& strBaseName);

// Value "String#<nID>" of the table in the user's language.
bool LookupResourceString(LPCWSTR pszTable, UINT nID, CString* pstrText);

// Value pszValueName of the table in the user's language; the strings of a REG_MULTI_SZ
// become lines, each ended by a line feed.
bool QueryResourceValue(LPCWSTR pszTable, LPCWSTR pszValueName, CString* pstrText);

// The name of the user's language (the name of its key below hResources). False, with
// *pstrName unchanged, when the preferred languages match none of the store's.
bool ResolveLanguage(CString* pstrName, HKEY hResources);

// Forgets the resolved language, so that the next lookup resolves it again. Tests only:
// the control keeps its language for the life of the process.
void ResetResolvedLanguage();
