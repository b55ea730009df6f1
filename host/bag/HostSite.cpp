// CHostSite: an IOleWindow and nothing else.
#include "HostSite.h"

STDMETHODIMP CHostSite::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv == nullptr)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleWindow)) {
        *ppv = static_cast<IOleWindow*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CHostSite::AddRef()
{
    return ++m_cRef;
}

STDMETHODIMP_(ULONG) CHostSite::Release()
{
    return m_cRef > 0 ? --m_cRef : 0;
}

STDMETHODIMP CHostSite::GetWindow(HWND* phwnd)
{
    if (phwnd == nullptr)
        return E_POINTER;
    *phwnd = m_hWnd;
    return S_OK;
}

STDMETHODIMP CHostSite::ContextSensitiveHelp(BOOL /*fEnterMode*/)
{
    return E_NOTIMPL;
}
