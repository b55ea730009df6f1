// ATL's string class as far as the control uses it: UTF-16 text with value semantics.
// Every build here is Unicode, so CString is CStringW.
#pragma once

#include <string>

#include "atlbase.h"

namespace ATL {

class CStringW {
    typedef std::basic_string<WCHAR> StringType;

public:
    CStringW() = default;
    CStringW(LPCWSTR psz) : m_str(psz ? psz : OLESTR("")) {}
    CStringW(LPCWSTR pch, int nLength)
        : m_str(pch && nLength > 0 ? StringType(pch, static_cast<size_t>(nLength)) : StringType())
    {
    }

    CStringW& operator=(LPCWSTR psz)
    {
        m_str = psz ? psz : OLESTR("");
        return *this;
    }
    CStringW& operator+=(const CStringW& str)
    {
        m_str += str.m_str;
        return *this;
    }
    CStringW& operator+=(LPCWSTR psz)
    {
        if (psz)
            m_str += psz;
        return *this;
    }
    CStringW& operator+=(WCHAR ch)
    {
        m_str += ch;
        return *this;
    }

    int GetLength() const { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    LPCWSTR GetString() const { return m_str.c_str(); }
    operator LPCWSTR() const { return m_str.c_str(); }

    // String resource nID of the module hInstance. FALSE, and the text unchanged, when the
    // module has no such string (or it is empty).
    BOOL LoadString(HINSTANCE hInstance, UINT nID)
    {
        LPCWSTR pchText = nullptr;
        const int nLength = ::LoadStringW(hInstance, nID, reinterpret_cast<LPWSTR>(&pchText), 0);
        if (nLength <= 0 || pchText == nullptr)
            return FALSE;
        m_str.assign(pchText, static_cast<size_t>(nLength));
        return TRUE;
    }

    friend CStringW operator+(const CStringW& str1, const CStringW& str2) { return CStringW(str1) += str2; }
    friend CStringW operator+(const CStringW& str1, LPCWSTR psz2) { return CStringW(str1) += psz2; }
    friend CStringW operator+(LPCWSTR psz1, const CStringW& str2) { return CStringW(psz1) += str2; }
    // The reversed forms and != come from these, as C++20 rewrites comparisons.
    friend bool operator==(const CStringW& str1, const CStringW& str2) { return str1.m_str == str2.m_str; }
    friend bool operator==(const CStringW& str1, LPCWSTR psz2) { return str1.m_str == (psz2 ? psz2 : OLESTR("")); }
    // Ordinal order of the UTF-16 units, as CStringT::Compare gives it.
    friend bool operator<(const CStringW& str1, const CStringW& str2) { return str1.m_str < str2.m_str; }

private:
    StringType m_str;
};

typedef CStringW CString;

}  // namespace ATL

#ifndef _ATL_NO_AUTOMATIC_NAMESPACE
using namespace ATL;
#endif
