// The user's language: resolved once per process from the user's preferred languages and
// the languages the suite's string store holds.
#include <atomic>
#include <map>
#include <vector>

#include <atlbase.h>
#include <shlwapi.h>

#include "LangRegistry.h"
#include "LangResources.h"

namespace {

// The suite's language library, installed beside the module. The suite builds it for this
// platform under the platform's library naming, so "TRMLX.dll" becomes "libTRMLX.so".
constexpr WCHAR szLanguageLibrary[] = OLESTR("libTRMLX.so");
constexpr char szPreferredLanguagesExport[] = "GetOriginalPreferredUILanguagesListW";
typedef BOOL(WINAPI* PFNGETORIGINALPREFERREDUILANGUAGESLISTW)(DWORD dwFlags, LPWSTR pwszLanguages);
// The library fills 4096 bytes at most: codes separated by ':'.
constexpr int cchLanguageList = 2048;

constexpr WCHAR szCurrentLanguage[] = OLESTR("CurrentLanguage");
constexpr DWORD cbMaxLanguageName = 8192;
constexpr DWORD cbMaxLanguageCode = 520;
constexpr DWORD cchMaxKeyName = MAX_PATH;

// The process-wide language: empty until resolved. Resolution runs under the lock; the
// resolved name is read without it once the flag says it is there.
struct CLanguageState {
    CComAutoCriticalSection cs;
    std::atomic<bool> bResolved{false};
    CString strName;
};

CLanguageState& LanguageState()
{
    static CLanguageState state;
    return state;
}

class CLanguageLock {
public:
    explicit CLanguageLock(CComAutoCriticalSection& cs) : m_cs(cs) { m_cs.Lock(); }
    CLanguageLock(const CLanguageLock&) = delete;
    CLanguageLock& operator=(const CLanguageLock&) = delete;
    ~CLanguageLock() { m_cs.Unlock(); }

private:
    CComAutoCriticalSection& m_cs;
};

// A library loaded for the length of one call.
class CLibraryHandle {
public:
    explicit CLibraryHandle(HMODULE hModule) : m_hModule(hModule) {}
    CLibraryHandle(const CLibraryHandle&) = delete;
    CLibraryHandle& operator=(const CLibraryHandle&) = delete;
    ~CLibraryHandle()
    {
        if (m_hModule != nullptr)
            FreeLibrary(m_hModule);
    }
    operator HMODULE() const { return m_hModule; }

private:
    HMODULE m_hModule;
};

// The codes of a list whose codes end at a 0 or at cchList.
std::vector<CString> SplitLanguageCodes(const WCHAR* pchList, int cchList)
{
    std::vector<CString> codes;
    int iStart = 0;
    for (int iChar = 0; iChar <= cchList; ++iChar) {
        if (iChar == cchList || pchList[iChar] == 0) {
            if (iChar > iStart)
                codes.emplace_back(pchList + iStart, iChar - iStart);
            iStart = iChar + 1;
        }
    }
    return codes;
}

bool GetLanguageLibraryPath(WCHAR (&szPath)[MAX_PATH])
{
    const DWORD cchPath = GetModuleFileNameW(HINST_THISCOMPONENT, szPath, MAX_PATH);
    return cchPath != 0 && cchPath < MAX_PATH && PathRemoveFileSpecW(szPath) &&
           PathAppendW(szPath, szLanguageLibrary);
}

// Asks the suite's language library. False when the library or its export is not there;
// true otherwise, with the codes it gave (none when the call failed).
bool QueryLanguageLibrary(std::vector<CString>& codes)
{
    WCHAR szPath[MAX_PATH] = {};
    if (!GetLanguageLibraryPath(szPath))
        return false;
    CLibraryHandle library(LoadLibraryW(szPath));
    if (library == nullptr)
        return false;
    const FARPROC pfnExport = GetProcAddress(library, szPreferredLanguagesExport);
    if (pfnExport == nullptr)
        return false;
    // FARPROC is the generic function pointer type; void (*)() converts to any other.
    const auto pfnGetLanguages =
        reinterpret_cast<PFNGETORIGINALPREFERREDUILANGUAGESLISTW>(reinterpret_cast<void (*)()>(pfnExport));
    WCHAR szList[cchLanguageList] = {};
    if (pfnGetLanguages(MUI_LANGUAGE_NAME, szList)) {
        for (int iChar = 0; iChar < cchLanguageList && szList[iChar] != 0; ++iChar) {
            if (szList[iChar] == OLESTR(':'))
                szList[iChar] = 0;
        }
        codes = SplitLanguageCodes(szList, cchLanguageList);
    }
    return true;
}

// The user's preferred languages of the system, most preferred first.
std::vector<CString> QuerySystemLanguages()
{
    ULONG nLanguages = 0;
    ULONG cchList = 0;
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &nLanguages, nullptr, &cchList) || cchList == 0)
        return {};
    std::vector<WCHAR> list(cchList);
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &nLanguages, list.data(), &cchList))
        return {};  // the list grew in between; go without it
    return SplitLanguageCodes(list.data(), static_cast<int>(list.size()));
}

// The suite's language library when it is installed beside the module, else the system's
// list.
std::vector<CString> GetPreferredLanguageCodes()
{
    std::vector<CString> codes;
    if (QueryLanguageLibrary(codes))
        return codes;
    return QuerySystemLanguages();
}

// The code (the REG_SZ default value) of each language key below hResources, mapped to
// the key's name.
std::map<CString, CString> ReadLanguageCodes(HKEY hResources)
{
    std::map<CString, CString> mapCodeToName;
    for (DWORD dwIndex = 0;; ++dwIndex) {
        WCHAR szName[cchMaxKeyName] = {};
        DWORD cchName = cchMaxKeyName;
        const LSTATUS status = RegEnumKeyExW(hResources, dwIndex, szName, &cchName, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA)
            continue;  // a name too long for a language key
        if (status != ERROR_SUCCESS)
            break;
        lang::CKeyHandle keyLanguage;
        if (keyLanguage.Open(hResources, szName) != ERROR_SUCCESS)
            continue;
        lang::CValueBuffer<cbMaxLanguageCode> code;
        if (code.Query(keyLanguage, nullptr) == ERROR_SUCCESS && code.dwType == REG_SZ && code.cbData != 0)
            mapCodeToName[code.szText] = szName;
    }
    return mapCodeToName;
}

void StoreLanguage(CLanguageState& state, const CString& strName)
{
    state.strName = strName;
    state.bResolved.store(true, std::memory_order_release);
}

// The language that "CurrentLanguage" of the resources key names. An empty name names
// none: it would leave the language unresolved anyway.
bool ReadCurrentLanguage(CLanguageState& state, CString* pstrName, HKEY hResources)
{
    lang::CValueBuffer<cbMaxLanguageName> name;
    if (name.Query(hResources, szCurrentLanguage) != ERROR_SUCCESS || name.szText[0] == 0)
        return false;
    StoreLanguage(state, name.szText);
    *pstrName = state.strName;
    return true;
}

bool ResolveLanguageLocked(CLanguageState& state, CString* pstrName, HKEY hResources)
{
    if (state.bResolved.load(std::memory_order_acquire)) {
        *pstrName = state.strName;  // resolved by another thread while this one waited
        return true;
    }
    const std::vector<CString> codes = GetPreferredLanguageCodes();
    if (!codes.empty()) {
        const std::map<CString, CString> mapCodeToName = ReadLanguageCodes(hResources);
        if (!mapCodeToName.empty()) {
            for (const CString& strCode : codes) {
                const auto found = mapCodeToName.find(strCode);
                if (found != mapCodeToName.end()) {
                    StoreLanguage(state, found->second);
                    *pstrName = state.strName;
                    return true;
                }
            }
            return false;  // preferred languages that the store lacks: "CurrentLanguage" does not apply
        }
    }
    return ReadCurrentLanguage(state, pstrName, hResources);
}

}  // namespace

bool ResolveLanguage(CString* pstrName, HKEY hResources)
{
    if (pstrName == nullptr)
        return false;
    CLanguageState& state = LanguageState();
    if (state.bResolved.load(std::memory_order_acquire)) {
        *pstrName = state.strName;
        return true;
    }
    CLanguageLock lock(state.cs);
    return ResolveLanguageLocked(state, pstrName, hResources);
}

void ResetResolvedLanguage()
{
    CLanguageState& state = LanguageState();
    CLanguageLock lock(state.cs);
    state.bResolved.store(false, std::memory_order_release);
    state.strName.Empty();
}
