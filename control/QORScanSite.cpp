// CQORScan: attaching to the host's window through the site, and detaching.
#include "QORScan.h"

// --- IObjectWithSite

STDMETHODIMP CQORScan::SetSite(IUnknown* pUnkSite)
{
    if (m_spUnkSite != nullptr) {
        m_spUnkSite->Release();
        m_spUnkSite = nullptr;
    }
    if (pUnkSite == nullptr) {
        DetachWindow();
        Unadvise(QORSCAN_COOKIE_ALL);
        return S_OK;
    }

    // The site is kept even when it has no usable window: GetSite still answers through it.
    m_spUnkSite = pUnkSite;
    m_spUnkSite->AddRef();
    if (!AttachSiteWindow(pUnkSite))
        return E_FAIL;

    IQORNotify* pSiteNotify = nullptr;
    if (SUCCEEDED(pUnkSite->QueryInterface(IID_IQORNotify, reinterpret_cast<void**>(&pSiteNotify)))) {
        Advise(pSiteNotify, nullptr);
        pSiteNotify->Release();
    }

    // The creation step of a window the control did not create: no creation data, so the
    // window's extended style stays as the host made it.
    BOOL bHandled = TRUE;
    CScanViewPreview::OnCreate(WM_CREATE, 0, 0, bHandled);
    ReloadPreview();
    return S_OK;
}

STDMETHODIMP CQORScan::GetSite(REFIID riid, void** ppvSite)
{
    if (ppvSite == nullptr)
        return E_POINTER;
    if (m_spUnkSite == nullptr)
        return E_FAIL;
    return m_spUnkSite->QueryInterface(riid, ppvSite);
}

// --- Implementation

bool CQORScan::AttachSiteWindow(IUnknown* pUnkSite)
{
    IOleWindow* pOleWindow = nullptr;
    if (FAILED(pUnkSite->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&pOleWindow))))
        return false;
    HWND hWnd = nullptr;
    const HRESULT hr = pOleWindow->GetWindow(&hWnd);
    pOleWindow->Release();
    // SubclassWindow refuses a handle that is not a window.
    return SUCCEEDED(hr) && SubclassWindow(hWnd) != FALSE;
}

// When another procedure has been installed over the control's, removing ours would cut it
// out of the chain: the window then stays subclassed.
void CQORScan::DetachWindow()
{
    if (m_hWnd == nullptr || !::IsWindow(m_hWnd))
        return;
    UnsubclassWindow();
}
