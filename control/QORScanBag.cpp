// CQORScan: the property-bag protocol. The control keeps no settings of its own: it binds to
// the host's bag (Load), reads the job from it, copies the job to another bag (Save), and
// passes writes made on the control itself to its sinks.
#include <vector>

#include "QORScan.h"
#include "QORScanBagValue.h"

// --- IPersistPropertyBag

STDMETHODIMP CQORScan::Load(IPropertyBag* pPropBag, IErrorLog* /*pErrorLog*/)
{
    const bool bWasBound = m_spPropertyBag != nullptr;
    if (bWasBound) {
        // Held for the calls into it: any of them may call back and unbind it.
        ATL::CComPtr<IPropertyBag> spOld(m_spPropertyBag);
        IQORAdvice* pBagAdvice = nullptr;
        if (SUCCEEDED(spOld->QueryInterface(IID_IQORAdvice, reinterpret_cast<void**>(&pBagAdvice)))) {
            pBagAdvice->Unadvise(m_dwBagAdviseCookie);
            pBagAdvice->Release();
        }
        // Only unbinding ends the job; a new bag takes it over.
        if (pPropBag == nullptr)
            ClearBagKeys(spOld);
    }
    if (m_dwBagSinkCookie != 0)
        Unadvise(m_dwBagSinkCookie);
    m_dwBagSinkCookie = 0;
    m_dwBagAdviseCookie = 0;
    if (m_spPropertyBag != nullptr) {
        IPropertyBag* pOld = m_spPropertyBag;
        m_spPropertyBag = nullptr;
        pOld->Release();
    }

    if (pPropBag != nullptr) {
        m_spPropertyBag = pPropBag;
        m_spPropertyBag->AddRef();

        IUnknown* pUnkSelf = nullptr;
        IQORAdvice* pBagAdvice = nullptr;
        if (SUCCEEDED(QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pUnkSelf))) &&
            SUCCEEDED(pPropBag->QueryInterface(IID_IQORAdvice, reinterpret_cast<void**>(&pBagAdvice))))
            pBagAdvice->Advise(pUnkSelf, &m_dwBagAdviseCookie);
        if (pBagAdvice != nullptr)
            pBagAdvice->Release();
        if (pUnkSelf != nullptr)
            pUnkSelf->Release();

        // The bag's calls (its Advise above, its Reads below) may call back and bind another
        // bag or none: that binding stands, and this one goes no further.
        IQORNotify* pBagNotify = nullptr;
        if (m_spPropertyBag == pPropBag &&
            SUCCEEDED(pPropBag->QueryInterface(IID_IQORNotify, reinterpret_cast<void**>(&pBagNotify)))) {
            Advise(pBagNotify, &m_dwBagSinkCookie);
            pBagNotify->Release();
        }

        // A second Load does not move what the view already has.
        if (m_spPropertyBag == pPropBag && (::IsRectEmpty(&m_rcPage) || ::IsRectEmpty(&m_rcCrop))) {
            TakePageGeometry(pPropBag);
            DWORD dwType = 0;
            if (BagValue(pPropBag, QORSCAN_KEY_SCAN_TYPE).AsInteger(VT_I4, dwType)) {
                const LONG lType = static_cast<LONG>(dwType);
                if (lType == QORSCAN_TYPE_BLACKWHITE)
                    m_nColorMode = 1;
                else if (lType == QORSCAN_TYPE_GREY)
                    m_nColorMode = 0;
                else if (lType == QORSCAN_TYPE_COLOR)
                    m_nColorMode = 24;
            }
            if (m_bSampleShown)
                SetPreviewImage();
        }
        if (!bWasBound && m_spPropertyBag == pPropBag) {
            VARIANT var;
            ::VariantInit(&var);
            var.vt = VT_UI4;
            var.ulVal = 1;
            pPropBag->Write(QORSCAN_KEY_SCAN_PAGE, &var);
        }
    }

    // Hosts take S_FALSE (a successful redraw) as success too.
    if (m_hWnd != nullptr && ::IsWindow(m_hWnd))
        return RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW) ? S_FALSE : S_OK;
    return S_OK;
}

// Copies the job's keys from the host bag; a key the host bag lacks is skipped.
STDMETHODIMP CQORScan::Save(IPropertyBag* pPropBag, BOOL /*fClearDirty*/, BOOL /*fSaveAllProperties*/)
{
    static constexpr LPCOLESTR kSavedKeys[] = {
        QORSCAN_KEY_SCAN_NAME,           QORSCAN_KEY_SCAN_PROF,           QORSCAN_KEY_SCAN_TEMP,
        QORSCAN_KEY_SCAN_TYPE,           QORSCAN_KEY_SCAN_SIZE,           QORSCAN_KEY_SCAN_CROP,
        QORSCAN_KEY_SCAN_SOUR,           QORSCAN_KEY_SCAN_RESO,           QORSCAN_KEY_SCAN_TYPE_ARRAY,
        QORSCAN_KEY_SCAN_SIZE_ARRAY,     QORSCAN_KEY_SCAN_SOUR_ARRAY,     QORSCAN_KEY_SCAN_RESO_ARRAY,
        QORSCAN_KEY_SCAN_MULTIPOS_ARRAY, QORSCAN_KEY_SCAN_MULTICROP_ARRAY};
    if (pPropBag == nullptr)
        return E_INVALIDARG;
    for (LPCOLESTR pszKey : kSavedKeys) {
        VARIANT var;
        ::VariantInit(&var);
        if (SUCCEEDED(Read(pszKey, &var, nullptr)))
            pPropBag->Write(pszKey, &var);
        ::VariantClear(&var);
    }
    return S_OK;
}

// --- IPropertyBag

STDMETHODIMP CQORScan::Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog* pErrorLog)
{
    if (m_spPropertyBag == nullptr)
        return E_NOINTERFACE;
    return m_spPropertyBag->Read(pszPropName, pVar, pErrorLog);
}

// A write on the control never reaches the host bag: it sets the presentation style and is
// passed on to the sinks, null values included.
STDMETHODIMP CQORScan::Write(LPCOLESTR pszPropName, VARIANT* pVar)
{
    if (pszPropName != nullptr && lstrcmpW(pszPropName, QORSCAN_KEY_BASE_STYLE) == 0 && pVar != nullptr &&
        pVar->vt == VT_UI4)
        m_dwBaseStyle = pVar->ulVal;
    NotifySinks(pszPropName, pVar);
    return S_OK;
}

// --- Implementation

// The end of a job: its keys cleared (a null value clears), its preview path emptied and the
// files of its temporary folder deleted.
void CQORScan::ClearBagKeys(IPropertyBag* pBag)
{
    for (LPCOLESTR pszKey : {QORSCAN_KEY_SCAN_OCR, QORSCAN_KEY_SCAN_PAGE, QORSCAN_KEY_SCAN_ROTATE,
                             QORSCAN_KEY_SCAN_FLIP, QORSCAN_KEY_SCAN_MULTIPOS_ARRAY, QORSCAN_KEY_SCAN_MULTICROP_ARRAY})
        pBag->Write(pszKey, nullptr);
    VARIANT var;
    ::VariantInit(&var);
    var.vt = VT_BSTR;
    var.bstrVal = ::SysAllocString(OLESTR(""));
    pBag->Write(QORSCAN_KEY_SCAN_TEMP_PRE, &var);
    ::VariantClear(&var);

    BagValue temp(pBag, QORSCAN_KEY_SCAN_TEMP);
    if (temp.bRead && temp.var.vt == VT_BSTR && temp.var.bstrVal != nullptr && temp.var.bstrVal[0] != 0)
        DeleteFolderFiles(temp.var.bstrVal);
}

void CQORScan::TakePageGeometry(IPropertyBag* pBag)
{
    DWORD dwPair = 0;
    if (BagValue(pBag, QORSCAN_KEY_SCAN_SIZE).AsInteger(VT_UI4, dwPair)) {
        m_rcPage.right = static_cast<LONG>(QorScanPairLow(dwPair));
        m_rcPage.bottom = static_cast<LONG>(QorScanPairHigh(dwPair));
        m_fPageAspect = AspectOf(m_rcPage);
        m_bLandscape = m_bPageLandscape = m_rcPage.right - m_rcPage.left > m_rcPage.bottom - m_rcPage.top;
    }
    if (BagValue(pBag, QORSCAN_KEY_SCAN_POS).AsInteger(VT_UI4, dwPair)) {
        m_rcCrop.left = static_cast<LONG>(QorScanPairLow(dwPair));
        m_rcCrop.top = static_cast<LONG>(QorScanPairHigh(dwPair));
    }
    if (BagValue(pBag, QORSCAN_KEY_SCAN_CROP).AsInteger(VT_UI4, dwPair)) {
        m_rcCrop.right = m_rcCrop.left + static_cast<LONG>(QorScanPairLow(dwPair));
        m_rcCrop.bottom = m_rcCrop.top + static_cast<LONG>(QorScanPairHigh(dwPair));
        ApplyCropAsPage();
    }
    TakeFrames(pBag);
    if (m_hWnd != nullptr && ::IsWindow(m_hWnd)) {
        SetPageAndCrop(m_rcPage, m_rcCrop, false);
        if (UpdateZoom())
            UpdateScrollBars();
        UpdateTrackers();
    }
}

// Arrays of different lengths, or not VT_UI4 arrays from 0, give no frames.
void CQORScan::TakeFrames(IPropertyBag* pBag)
{
    BagValue positions(pBag, QORSCAN_KEY_SCAN_MULTIPOS_ARRAY);
    BagValue sizes(pBag, QORSCAN_KEY_SCAN_MULTICROP_ARRAY);
    std::vector<DWORD> vecPos, vecSize;
    if (!positions.bRead || !sizes.bRead || !PairArray(positions.var, vecPos) || !PairArray(sizes.var, vecSize) ||
        vecPos.empty() || vecPos.size() != vecSize.size())
        return;
    for (size_t i = 0; i < vecPos.size(); ++i) {
        const LONG x = static_cast<LONG>(QorScanPairLow(vecPos[i]));
        const LONG y = static_cast<LONG>(QorScanPairHigh(vecPos[i]));
        m_vecFrames.push_back(RECT{x, y, x + static_cast<LONG>(QorScanPairLow(vecSize[i])),
                                   y + static_cast<LONG>(QorScanPairHigh(vecSize[i]))});
    }
}

// With the presentation style 0, a portrait crop of a landscape page (or any crop while
// partial previews are shown) becomes the page itself; the page is kept to be put back.
// bForce lifts the style condition (a final scan under another style).
void CQORScan::ApplyCropAsPage(bool bForce)
{
    if ((m_dwBaseStyle != 0 && !bForce) || !::IsRectEmpty(&m_rcPageSaved) || m_bSampleShown)
        return;
    const LONG cxCrop = m_rcCrop.right - m_rcCrop.left;
    const LONG cyCrop = m_rcCrop.bottom - m_rcCrop.top;
    m_bLandscape = cxCrop > cyCrop;
    if (!m_bPartialPreview) {
        const bool bPageLandscape = m_rcPage.right - m_rcPage.left > m_rcPage.bottom - m_rcPage.top;
        if (!bPageLandscape || cxCrop > cyCrop)
            return;
    }
    m_rcPageSaved = m_rcPage;
    m_fPageAspectSaved = m_fPageAspect;
    m_rcCropSaved = m_rcCrop;
    m_rcCrop = RECT{0, 0, cxCrop, cyCrop};
    m_rcPage = m_rcCrop;
    m_bLandscape = false;
    m_fPageAspect = AspectOf(m_rcPage);
    SetPageAndCrop(m_rcPage, m_rcCrop, false);
}
