// CQORScan: construction, teardown, and the methods that answer on their own.
#include "QORScan.h"

// --- Construction and teardown

CQORScan::CQORScan()
    : m_spPropertyBag(nullptr),
      m_dwBagSinkCookie(0),
      m_dwBagAdviseCookie(0),
      m_spUnkSite(nullptr),
      m_mapSinks{nullptr, nullptr, 0}
{
}

CQORScan::~CQORScan()
{
    // A host that releases the control without SetSite(null) would otherwise keep a window
    // whose procedure points into this freed object.
    DetachWindow();
    if (m_spPropertyBag != nullptr && m_dwBagAdviseCookie != 0) {
        IQORAdvice* pBagAdvice = nullptr;
        if (SUCCEEDED(m_spPropertyBag->QueryInterface(IID_IQORAdvice, reinterpret_cast<void**>(&pBagAdvice)))) {
            pBagAdvice->Unadvise(m_dwBagAdviseCookie);
            pBagAdvice->Release();
        }
        m_dwBagAdviseCookie = 0;
    }
    ReleaseImages();
    RemoveAllSinks();
    if (m_spUnkSite != nullptr) {
        m_spUnkSite->Release();
        m_spUnkSite = nullptr;
    }
    if (m_spPropertyBag != nullptr) {
        m_spPropertyBag->Release();
        m_spPropertyBag = nullptr;
    }
}

// --- IPersistPropertyBag

STDMETHODIMP CQORScan::GetClassID(CLSID* pClassID)
{
    if (pClassID == nullptr)
        return E_POINTER;
    // Hosts identify the scan source by this value, not by the class id.
    *pClassID = GUID_ScanSource;
    return S_OK;
}

STDMETHODIMP CQORScan::InitNew()
{
    return E_NOTIMPL;
}

// --- IOleWindow

STDMETHODIMP CQORScan::GetWindow(HWND* phwnd)
{
    if (phwnd == nullptr)
        return E_INVALIDARG;
    *phwnd = m_hWnd;
    return S_OK;
}

STDMETHODIMP CQORScan::ContextSensitiveHelp(BOOL /*fEnterMode*/)
{
    return E_NOTIMPL;
}
