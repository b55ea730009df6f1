// CQORScan: the scan engine's events, which the host passes on through IQORNotify::Notify.
//
// Each key has a handler that changes the view's state, moves the preview files through the
// image store and writes results back into the host bag; a common tail then lays the view out
// again or rebuilds the preview. The host may call Notify again from inside any write the
// control makes into its bag, so nothing of a call lives in members except what the nested
// call is meant to see (m_bWritingToHost).
//
// Pairs are VT_UI4 values whose low word is the first member; sizes and positions are page
// units.
#include <shlwapi.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "QORScan.h"
#include "QORScanBagValue.h"

namespace {

// Text in the API's own character type (UTF-16 code units).
using WString = std::basic_string<WCHAR>;
using WStringView = std::basic_string_view<WCHAR>;

const WCHAR kPreviewFileName[] = OLESTR("qor_org_preview.jpg");  // the control's own preview file

// A pair from a bag key; false when the key is missing or holds no integer.
bool ReadPair(IPropertyBag* pBag, LPCOLESTR pszName, DWORD& dwPair)
{
    return BagValue(pBag, pszName).AsInteger(VT_UI4, dwPair);
}

LONG PairLow(DWORD dwPair)
{
    return static_cast<LONG>(QorScanPairLow(dwPair));
}

LONG PairHigh(DWORD dwPair)
{
    return static_cast<LONG>(QorScanPairHigh(dwPair));
}

// Where the text after the first "\prev_" or "/prev_" begins; npos when there is none.
size_t FindPreviewNumber(WStringView path)
{
    static constexpr WStringView kPrefix = OLESTR("prev_");
    for (size_t at = path.find(kPrefix); at != WStringView::npos; at = path.find(kPrefix, at + 1)) {
        if (at > 0 && (path[at - 1] == OLESTR('\\') || path[at - 1] == OLESTR('/')))
            return at + kPrefix.size();
    }
    return WStringView::npos;
}

}  // namespace

// --- IQORNotify

STDMETHODIMP CQORScan::Notify(GUID guidSource, BSTR bstrName, VARIANT* pVar)
{
    static const struct {
        LPCOLESTR pszName;
        NotifyHandler handler;
    } kHandlers[] = {
        {QORSCAN_KEY_SCAN_TYPE, &CQORScan::OnScanType},
        {QORSCAN_KEY_SCAN_SIZE, &CQORScan::OnScanSize},
        {QORSCAN_KEY_SCAN_CROP, &CQORScan::OnScanCrop},
        {QORSCAN_KEY_SCAN_POS, &CQORScan::OnScanPos},
        {QORSCAN_KEY_SCAN_SOUR, &CQORScan::OnScanIgnored},
        {QORSCAN_KEY_SCAN_MULTIPOS_ARRAY, &CQORScan::OnScanIgnored},
        {QORSCAN_KEY_SCAN_PROC, &CQORScan::OnScanProc},
        {QORSCAN_KEY_SCAN_TEMP_PRE, &CQORScan::OnScanTempPre},
        {QORSCAN_KEY_SCAN_ERROR, &CQORScan::OnScanError},
        {QORSCAN_KEY_SCAN_BUSY, &CQORScan::OnScanBusy},
    };
    // Events of another source, without a value or without a bag are not the engine's.
    if (!IsEqualGUID(guidSource, GUID_ScanSource) || pVar == nullptr || m_spPropertyBag == nullptr)
        return S_OK;
    NotifyHandler handler = nullptr;
    for (const auto& entry : kHandlers) {
        ATL::CComBSTR bstrKey(entry.pszName);
        if (::VarBstrCmp(bstrName, bstrKey, LOCALE_USER_DEFAULT, 0) == VARCMP_EQ) {
            handler = entry.handler;
            break;
        }
    }
    if (handler == nullptr)
        return S_OK;

    // A host may release the control or unbind its bag from inside a write; both stay alive
    // until this call is over.
    ATL::CComPtr<IQORNotify> spKeepAlive(this);
    ATL::CComPtr<IPropertyBag> spBag(m_spPropertyBag);
    NotifyCall call;
    call.pBag = spBag;
    (this->*handler)(*pVar, call);
    FinishNotification(call);
    return S_OK;
}

STDMETHODIMP CQORScan::NotifyWindow(HWND /*hWnd*/, LONG /*nCode*/, LONG /*nParam*/)
{
    return E_NOTIMPL;
}

// --- Key handlers

void CQORScan::OnScanType(const VARIANT& var, NotifyCall& /*call*/)
{
    DWORD dwType = 0;
    if (IntegerOf(var, VT_I4, dwType)) {
        switch (static_cast<LONG>(dwType)) {
        case QORSCAN_TYPE_BLACKWHITE:
            m_nColorMode = 1;
            break;
        case QORSCAN_TYPE_GREY:
            m_nColorMode = 0;
            break;
        case QORSCAN_TYPE_COLOR:
            m_nColorMode = 24;
            break;
        default:
            break;
        }
    }
    RedrawNow();
}

void CQORScan::OnScanSize(const VARIANT& var, NotifyCall& call)
{
    DWORD dwSize = 0;
    if (!IntegerOf(var, VT_UI4, dwSize))
        return;
    const LONG cxPage = PairLow(dwSize), cyPage = PairHigh(dwSize);
    const bool bChanged = cxPage != m_rcPage.right || cyPage != m_rcPage.bottom;
    m_rcPage.right = cxPage;
    m_rcPage.bottom = cyPage;
    m_fPageAspect = AspectOf(m_rcPage);
    m_bLandscape = m_bPageLandscape = m_rcPage.right - m_rcPage.left > m_rcPage.bottom - m_rcPage.top;
    call.bGeometryChanged = call.bReload = bChanged;
}

void CQORScan::OnScanCrop(const VARIANT& var, NotifyCall& call)
{
    DWORD dwCrop = 0;
    if (!IntegerOf(var, VT_UI4, dwCrop))
        return;
    const LONG cxCrop = PairLow(dwCrop), cyCrop = PairHigh(dwCrop);

    DWORD dwPos = 0;
    bool bPosChanged = false;
    if (ReadPair(call.pBag, QORSCAN_KEY_SCAN_POS, dwPos)) {
        bPosChanged = PairLow(dwPos) != m_rcCrop.left || PairHigh(dwPos) != m_rcCrop.top;
        m_rcCrop.left = PairLow(dwPos);
        m_rcCrop.top = PairHigh(dwPos);
    }
    call.bGeometryChanged = bPosChanged;

    const LONG right = m_rcCrop.left + cxCrop, bottom = m_rcCrop.top + cyCrop;
    if (bPosChanged || right != m_rcCrop.right || bottom != m_rcCrop.bottom) {
        call.bGeometryChanged = true;
        // A crop that grows past a landscape page's right edge moves left to fit; the
        // layout cuts what still sticks out.
        DWORD dwSize = 0;
        if (right > m_rcCrop.right && ReadPair(call.pBag, QORSCAN_KEY_SCAN_SIZE, dwSize) &&
            PairLow(dwSize) > PairHigh(dwSize) && right > PairLow(dwSize))
            m_rcCrop.left = PairLow(dwSize) - cxCrop;
        m_rcCrop.right = right;
        m_rcCrop.bottom = bottom;
    }
    ApplyCropAsPage(false);
}

void CQORScan::OnScanPos(const VARIANT& var, NotifyCall& call)
{
    DWORD dwPos = 0;
    if (!IntegerOf(var, VT_UI4, dwPos))
        return;
    const bool bPosChanged = PairLow(dwPos) != m_rcCrop.left || PairHigh(dwPos) != m_rcCrop.top;
    m_rcCrop.left = PairLow(dwPos);
    m_rcCrop.top = PairHigh(dwPos);
    call.bGeometryChanged = bPosChanged;

    DWORD dwCrop = 0;
    if (!ReadPair(call.pBag, QORSCAN_KEY_SCAN_CROP, dwCrop))
        return;
    const LONG right = m_rcCrop.left + PairLow(dwCrop), bottom = m_rcCrop.top + PairHigh(dwCrop);
    if (!bPosChanged)
        call.bGeometryChanged = right != m_rcCrop.right || bottom != m_rcCrop.bottom;
    m_rcCrop.right = right;
    m_rcCrop.bottom = bottom;
}

// "scan.sour" and "scan.multipos.array" are accepted and change nothing.
void CQORScan::OnScanIgnored(const VARIANT& /*var*/, NotifyCall& /*call*/) {}

// The engine has finished the automatic crop that the control asked the host for.
void CQORScan::OnScanProc(const VARIANT& var, NotifyCall& call)
{
    DWORD dwProc = 0;
    if (!IntegerOf(var, VT_I4, dwProc) || LOWORD(dwProc) != 0 || !m_bAutoCropPending)
        return;
    DWORD dwMulti = 0;
    if (BagValue(call.pBag, QORSCAN_KEY_SCAN_AUTOCROP_MULTI).AsInteger(VT_I4, dwMulti) && LOWORD(dwMulti) != 0)
        TakeAutoCropFrames(call.pBag);
    // A single crop came through "scan.pos" and "scan.crop" already; the pending state stays
    // for the commands to see.
    ReapplyOrientation();
    RedrawNow();
}

void CQORScan::OnScanTempPre(const VARIANT& var, NotifyCall& call)
{
    if (m_bWritingPreviewPath)
        return;
    m_bSampleShown = false;
    ATL::CComVariant varPath;
    if (FAILED(varPath.ChangeType(VT_BSTR, &var)))
        return;
    const WString path = varPath.bstrVal != nullptr ? WString(varPath.bstrVal) : WString();
    const bool bPreviewScan = IsPreviewScan(call.pBag);

    const size_t nNumberAt = FindPreviewNumber(path);
    if (nNumberAt == WString::npos) {
        // An empty path while no preview exists starts over: the preview file or the sample.
        if (path.empty() && !m_pPreviewImage) {
            m_bAutoCropPending = false;
            ReapplyOrientation();
            call.bGeometryChanged = call.bReload = true;
        }
        return;
    }
    // The control's own preview file (or its backup) is never an engine's preview, even in a
    // folder whose name begins with "prev_": taken as a partial preview it would be deleted
    // with the next one, taken as a final preview it would overwrite the backup.
    if (::lstrcmpiW(::PathFindFileNameW(path.c_str()), kPreviewFileName) == 0)
        return;

    const int nPreview = ::_wtoi(path.c_str() + nNumberAt);
    m_bPartialPreview = nPreview < 100;
    const bool bForceCropAsPage = !bPreviewScan && m_dwBaseStyle != 0;
    if (m_bPartialPreview) {
        ApplyCropAsPage(bForceCropAsPage);
        if (LoadPartialPreview(path.c_str()))
            RedrawNow();
        return;
    }
    TakeFinalPreview(call.pBag, path.c_str(), bPreviewScan);
}

void CQORScan::OnScanError(const VARIANT& /*var*/, NotifyCall& call)
{
    SetBusy(false);
    m_bAutoCropPending = false;
    m_bPartialPreview = false;
    call.bGeometryChanged = call.bReload = true;
    ReapplyOrientation();
    UpdateFramesVisible(m_dwBaseStyle != 0);
}

// The engine has become idle: the scan is over.
void CQORScan::OnScanBusy(const VARIANT& var, NotifyCall& call)
{
    DWORD dwBusy = 0;
    if (!IntegerOf(var, VT_I4, dwBusy) || LOWORD(dwBusy) != 0)
        return;
    const bool bWasPending = m_bAutoCropPending;
    m_bAutoCropPending = false;
    m_bPartialPreview = false;
    call.bGeometryChanged = call.bReload = true;

    if (m_szPreviewFile[0] == 0) {
        ReapplyOrientation();
    } else {
        const bool bPreviewScan = IsPreviewScan(call.pBag);
        // The preview backup of a final scan comes back; the scan temp folder goes. A preview
        // file that is gone by now (its folder was removed) is no preview any more.
        RestorePreviewBackup();
        if (!::PathFileExistsW(m_szPreviewFile))
            m_szPreviewFile[0] = 0;
        if (m_dwBaseStyle != 0)
            RestoreSavedGeometry();
        else
            ApplyCropAsPage(false);

        // A final scan that replaced the sample shows the sample again, which deletes its
        // preview file.
        if (bPreviewScan || m_bHadPreviewAtScanStart || bWasPending || m_dwBaseStyle == 0)
            SetPreviewImage(m_szPreviewFile[0] != 0 ? m_szPreviewFile : nullptr);
        else
            SetPreviewImage();
        WritePreviewPath(call.pBag, m_szPreviewFile);
        if (bPreviewScan && m_hWnd != nullptr)
            PostMessage(g_uMsgGetCrop, 0, 0);
    }
    UpdateFramesVisible(m_dwBaseStyle != 0);
    NotifySinksScanEnded();
}

// --- Implementation

void CQORScan::FinishNotification(const NotifyCall& call)
{
    if (!call.bGeometryChanged || m_hWnd == nullptr || !::IsWindow(m_hWnd))
        return;
    if (call.bReload)
        SetPreviewImage(m_szPreviewFile[0] != 0 ? m_szPreviewFile : nullptr);
    else
        SetPageAndCrop(m_rcPage, m_rcCrop, !m_bWritingToHost);
    if (UpdateZoom())
        UpdateScrollBars();
    UpdateTrackers();
}

void CQORScan::TakeAutoCropFrames(IPropertyBag* pBag)
{
    // Through the control's own Read, which asks the host bag.
    ATL::CComVariant varPositions, varSizes;
    std::vector<DWORD> positions, sizes;
    if (FAILED(Read(QORSCAN_KEY_SCAN_MULTIPOS_ARRAY, &varPositions, nullptr)) ||
        FAILED(Read(QORSCAN_KEY_SCAN_MULTICROP_ARRAY, &varSizes, nullptr)) || !PairArray(varPositions, positions) ||
        !PairArray(varSizes, sizes) || positions.empty() || sizes.empty())
        return;

    m_vecFrames.clear();
    const size_t nFrames = std::min(positions.size(), sizes.size());
    for (size_t i = 0; i < nFrames; ++i) {
        const LONG x = PairLow(positions[i]), y = PairHigh(positions[i]);
        m_vecFrames.push_back(RECT{x, y, x + PairLow(sizes[i]), y + PairHigh(sizes[i])});
    }

    // The host echoes these writes as notifications, which must keep the new frame lists.
    // The flag is put back as it was, not cleared: this may itself run inside such a write.
    const bool bWasWriting = m_bWritingToHost;
    m_bWritingToHost = true;
    CropToFrames(pBag);
    m_bWritingToHost = bWasWriting;

    m_vecFrameImages.clear();
    m_vecTrackers.clear();
    BuildFrameViews();
    SetPageAndCrop(m_rcPage, m_rcCrop, false);
}

void CQORScan::TakeFinalPreview(IPropertyBag* pBag, LPCWSTR pszPath, bool bPreviewScan)
{
    SetBusy(false);
    // The store refuses a path that names no file or does not fit its buffers: then there
    // is no new preview.
    ATL::CStringW strShown;
    if (!KeepFinalPreview(pszPath, bPreviewScan, strShown))
        return;
    const bool bFinalUnderStyle = !bPreviewScan && m_dwBaseStyle != 0;
    if (m_dwBaseStyle == 0 || m_bLandscape || m_bPageLandscape)
        ApplyCropAsPage(bFinalUnderStyle);
    SetPreviewImage(strShown);
    // A final scan under a style keeps the host's preview path until the scan is over.
    if (!bFinalUnderStyle)
        WritePreviewPath(pBag, m_szPreviewFile);
    RedrawNow();
}

// The host learns only of a preview file that is there; otherwise of none (an empty path).
// Its answer changes nothing here.
void CQORScan::WritePreviewPath(IPropertyBag* pBag, LPCOLESTR pszPath)
{
    ATL::CComVariant var(::PathFileExistsW(pszPath) ? pszPath : OLESTR(""));
    const bool bWasWriting = m_bWritingPreviewPath;
    m_bWritingPreviewPath = true;
    pBag->Write(QORSCAN_KEY_SCAN_TEMP_PRE, &var);
    m_bWritingPreviewPath = bWasWriting;
}

// A failed read counts as a final scan.
bool CQORScan::IsPreviewScan(IPropertyBag* pBag)
{
    DWORD dwPreview = 0;
    return BagValue(pBag, QORSCAN_KEY_SCAN_PREVIEW).AsInteger(VT_I4, dwPreview) && LOWORD(dwPreview) != 0;
}

void CQORScan::RestoreSavedGeometry()
{
    m_bLandscape = m_bPageLandscape;
    if (::IsRectEmpty(&m_rcPageSaved) || ::IsRectEmpty(&m_rcCropSaved))
        return;
    m_fPageAspect = m_fPageAspectSaved;
    m_rcPage = m_rcPageSaved;
    m_rcCrop = m_rcCropSaved;
    ::SetRectEmpty(&m_rcPageSaved);
    ::SetRectEmpty(&m_rcCropSaved);
}

void CQORScan::UpdateFramesVisible(bool bVisible)
{
    if (bVisible == m_bFramesVisible)
        return;
    m_bFramesVisible = bVisible;
    if (bVisible && !m_vecFrameImages.empty())
        UpdateTrackers();
    RedrawNow();
}
