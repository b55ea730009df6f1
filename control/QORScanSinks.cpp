// CQORScan: the advise sinks and what the control sends them.
//
// The list is two parallel arrays sized exactly to the number of entries. A sink may call
// Unadvise from inside a call the control makes to it, so every loop over the list takes the
// count when it starts, stops once the list has become shorter, and holds its own reference
// on the sink it is calling.
#include <cstdlib>

#include "QORScan.h"

// --- IQORAdvice

STDMETHODIMP CQORScan::Advise(IUnknown* pUnkSink, DWORD* pdwCookie)
{
    if (pUnkSink == nullptr)
        return E_INVALIDARG;
    DWORD dwCookie = 0;
    for (int i = 0; i < m_mapSinks.nCount; ++i)
        if (m_mapSinks.pCookies[i] > dwCookie)
            dwCookie = m_mapSinks.pCookies[i];
    ++dwCookie;
    // A list that cannot grow is reported, not passed off as success.
    if (!AddSink(dwCookie, pUnkSink))
        return E_OUTOFMEMORY;
    if (pdwCookie != nullptr)
        *pdwCookie = dwCookie;
    return S_OK;
}

// An unknown cookie is no error: there is simply nothing to remove.
STDMETHODIMP CQORScan::Unadvise(DWORD dwCookie)
{
    if (dwCookie == QORSCAN_COOKIE_ALL) {
        RemoveAllSinks();
        return S_OK;
    }
    for (int i = 0; i < m_mapSinks.nCount; ++i) {
        if (m_mapSinks.pCookies[i] == dwCookie) {
            RemoveSink(i);
            break;
        }
    }
    return S_OK;
}

// --- Implementation

bool CQORScan::AddSink(DWORD dwCookie, IUnknown* pUnkSink)
{
    const size_t nNew = static_cast<size_t>(m_mapSinks.nCount) + 1;
    DWORD* pCookies = static_cast<DWORD*>(std::realloc(m_mapSinks.pCookies, nNew * sizeof(DWORD)));
    if (pCookies == nullptr)
        return false;
    m_mapSinks.pCookies = pCookies;
    IUnknown** ppSinks = static_cast<IUnknown**>(std::realloc(m_mapSinks.ppSinks, nNew * sizeof(IUnknown*)));
    if (ppSinks == nullptr) {
        // The cookie array keeps one spare element; the count still describes both arrays.
        return false;
    }
    m_mapSinks.ppSinks = ppSinks;
    pUnkSink->AddRef();
    m_mapSinks.pCookies[m_mapSinks.nCount] = dwCookie;
    m_mapSinks.ppSinks[m_mapSinks.nCount] = pUnkSink;
    ++m_mapSinks.nCount;
    return true;
}

void CQORScan::RemoveSink(int nIndex)
{
    // The entry leaves the list before the sink is released: its release may call back in.
    IUnknown* pUnkSink = m_mapSinks.ppSinks[nIndex];
    const int nLast = m_mapSinks.nCount - 1;
    for (int i = nIndex; i < nLast; ++i) {
        m_mapSinks.pCookies[i] = m_mapSinks.pCookies[i + 1];
        m_mapSinks.ppSinks[i] = m_mapSinks.ppSinks[i + 1];
    }
    m_mapSinks.nCount = nLast;
    if (nLast == 0) {
        std::free(m_mapSinks.pCookies);
        std::free(m_mapSinks.ppSinks);
        m_mapSinks.pCookies = nullptr;
        m_mapSinks.ppSinks = nullptr;
    } else {
        // Shrinking cannot fail in a way that matters: on failure the larger block stays.
        if (DWORD* p = static_cast<DWORD*>(std::realloc(m_mapSinks.pCookies, nLast * sizeof(DWORD))))
            m_mapSinks.pCookies = p;
        if (IUnknown** pp = static_cast<IUnknown**>(std::realloc(m_mapSinks.ppSinks, nLast * sizeof(IUnknown*))))
            m_mapSinks.ppSinks = pp;
    }
    pUnkSink->Release();
}

void CQORScan::RemoveAllSinks()
{
    // Detach the arrays first, so that a sink's release that calls back finds an empty list.
    DWORD* pCookies = m_mapSinks.pCookies;
    IUnknown** ppSinks = m_mapSinks.ppSinks;
    const int nCount = m_mapSinks.nCount;
    m_mapSinks = SinkMap{nullptr, nullptr, 0};
    for (int i = 0; i < nCount; ++i)
        ppSinks[i]->Release();
    std::free(pCookies);
    std::free(ppSinks);
}

void CQORScan::NotifySinks(LPCOLESTR pszName, VARIANT* pVar)
{
    BSTR bstrName = ::SysAllocString(pszName);
    const int nStart = m_mapSinks.nCount;
    for (int i = 0; i < nStart && i < m_mapSinks.nCount; ++i) {
        IQORNotify* pNotify = nullptr;
        if (FAILED(m_mapSinks.ppSinks[i]->QueryInterface(IID_IQORNotify, reinterpret_cast<void**>(&pNotify))))
            continue;
        pNotify->Notify(GUID_ScanSource, bstrName, pVar);
        pNotify->Release();
    }
    ::SysFreeString(bstrName);
}

void CQORScan::NotifySinksScanEnded()
{
    const int nStart = m_mapSinks.nCount;
    for (int i = 0; i < nStart && i < m_mapSinks.nCount; ++i) {
        IQORNotify* pNotify = nullptr;
        if (FAILED(m_mapSinks.ppSinks[i]->QueryInterface(IID_IQORNotify, reinterpret_cast<void**>(&pNotify))))
            continue;
        pNotify->NotifyWindow(m_hWnd, 1, 0);
        pNotify->Release();
    }
}
