// Lookup of the control's texts in the suite's string store, with the module's own string
// table behind it.
#include "LangResources.h"

#include "LangRegistry.h"

namespace {

constexpr WCHAR szDefaultLanguage[] = OLESTR("English");
// The C runtime's _MAX_FNAME: the longest file-name part _wsplitpath gives.
constexpr int cchMaxFileName = 256;
// The largest string value read; a longer one counts as missing.
constexpr DWORD cbMaxValue = 8192;

// "String#%u" (the platform has no wide printf).
CString ValueNameOf(UINT nID)
{
    WCHAR szDigits[11];
    int iFirst = 10;
    szDigits[iFirst] = 0;
    do {
        szDigits[--iFirst] = static_cast<WCHAR>(OLESTR('0') + nID % 10);
        nID /= 10;
    } while (nID != 0);
    return CString(OLESTR("String#")) + (szDigits + iFirst);
}

// The strings of a multi-string become the lines of one text, the last one ended by a
// line feed as well: every NUL but the final one turns into a line feed.
void JoinMultiStringLines(WCHAR* pszText, DWORD cbData)
{
    const int cchData = static_cast<int>(cbData / sizeof(WCHAR));
    for (int iChar = cchData - 2; iChar >= 1; --iChar) {
        if (pszText[iChar] == 0)
            pszText[iChar] = OLESTR('\n');
    }
}

}  // namespace

bool LoadLocalizedString(UINT nID, CString& strText)
{
    const CString strTable = GetResourceTableName();
    if (LookupResourceString(strTable, nID, &strText))
        return true;
    return strText.LoadString(HINST_THISCOMPONENT, nID) != FALSE;
}

CString GetResourceTableName()
{
    CString strBaseName;
    GetModuleBaseName(nullptr, strBaseName);  // without a name the table is never found
    return OLESTR("QORRes-") + strBaseName + OLESTR(".xml");
}

bool GetModuleBaseName(HMODULE hModule, CString& strBaseName)
{
    WCHAR szPath[MAX_PATH] = {};
    const DWORD cchPath = GetModuleFileNameW(hModule != nullptr ? hModule : HINST_THISCOMPONENT, szPath, MAX_PATH);
    if (cchPath == 0 || cchPath >= MAX_PATH)
        return false;  // unknown module, or a path cut to fit
    WCHAR szLongPath[MAX_PATH] = {};
    const DWORD cchLongPath = GetLongPathNameW(szPath, szLongPath, MAX_PATH);
    LPCWSTR pszPath = cchLongPath != 0 && cchLongPath < MAX_PATH ? szLongPath : szPath;
    WCHAR szFileName[cchMaxFileName] = {};
    _wsplitpath(pszPath, nullptr, nullptr, szFileName, nullptr);
    strBaseName = szFileName;
    return true;
}

bool LookupResourceString(LPCWSTR pszTable, UINT nID, CString* pstrText)
{
    return QueryResourceValue(pszTable, ValueNameOf(nID), pstrText);
}

bool QueryResourceValue(LPCWSTR pszTable, LPCWSTR pszValueName, CString* pstrText)
{
    if (pstrText == nullptr || pszTable == nullptr || pszTable[0] == 0)
        return false;
    lang::CKeyHandle keyResources;
    if (keyResources.Open(HKEY_LOCAL_MACHINE, lang::szResourcesKey) != ERROR_SUCCESS)
        return false;
    CString strLanguage(szDefaultLanguage);
    ResolveLanguage(&strLanguage, keyResources);  // unresolved, "English" stays

    const CString strTablePath = CString(lang::szResourcesKey) + OLESTR("\\") + strLanguage + OLESTR("\\") + pszTable;
    lang::CKeyHandle keyTable;
    if (keyTable.Open(HKEY_LOCAL_MACHINE, strTablePath) != ERROR_SUCCESS)
        return false;
    lang::CValueBuffer<cbMaxValue> value;
    if (value.Query(keyTable, pszValueName) != ERROR_SUCCESS || value.cbData == 0)
        return false;
    if (value.dwType == REG_MULTI_SZ)
        JoinMultiStringLines(value.szText, value.cbData);
    *pstrText = value.szText;
    return true;
}
