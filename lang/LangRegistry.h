// Registry helpers shared by the language resource files.
#pragma once

#include <windows.h>

namespace lang {

inline constexpr WCHAR szResourcesKey[] = OLESTR("SOFTWARE\\Velmora\\Scrivane\\Resources");

// A key handle closed when it goes out of scope.
class CKeyHandle {
public:
    CKeyHandle() = default;
    CKeyHandle(const CKeyHandle&) = delete;
    CKeyHandle& operator=(const CKeyHandle&) = delete;
    ~CKeyHandle()
    {
        if (m_hKey != nullptr)
            RegCloseKey(m_hKey);
    }

    LSTATUS Open(HKEY hParent, LPCWSTR pszSubKey) { return RegOpenKeyExW(hParent, pszSubKey, 0, KEY_READ, &m_hKey); }
    operator HKEY() const { return m_hKey; }

private:
    HKEY m_hKey = nullptr;
};

// A value read into a zeroed buffer of cbBuffer bytes. One more character stays 0 behind
// the buffer, so the text ends there whatever the registry holds.
template <DWORD cbBuffer>
struct CValueBuffer {
    static_assert(cbBuffer % sizeof(WCHAR) == 0);

    LSTATUS Query(HKEY hKey, LPCWSTR pszValueName)
    {
        cbData = cbBuffer;
        return RegQueryValueExW(hKey, pszValueName, nullptr, &dwType, reinterpret_cast<BYTE*>(szText), &cbData);
    }

    WCHAR szText[cbBuffer / sizeof(WCHAR) + 1] = {};
    DWORD dwType = REG_NONE;
    DWORD cbData = 0;
};

}  // namespace lang
