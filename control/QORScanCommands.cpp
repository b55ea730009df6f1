// CQORScan: the commands of CGID_ScanControl. QueryStatus tells the host which of its buttons
// are available and gives some of them a caption; Exec carries out the control's own commands.
// Starting a preview, a scan or an automatic crop is the host engine's work: those commands are
// passed on to the host bag's IOleCommandTarget, and the control only gets its view ready.
#include <climits>

#include <shlwapi.h>

#include "LangResources.h"
#include "QORScan.h"

namespace {

enum : DWORD {
    CMDF_NONE = 0,
    CMDF_DISABLED = OLECMDF_SUPPORTED,
    CMDF_ENABLED = OLECMDF_SUPPORTED | OLECMDF_ENABLED,
    CMDF_HIDDEN = OLECMDF_SUPPORTED | OLECMDF_INVISIBLE,
};

enum : UINT { IDS_CANCEL = 101, IDS_BACK = 102, IDS_UPLOAD = 103, IDS_ADF_WARNING = 104 };

constexpr int kMaxZoomStep = 5;

DWORD EnabledIf(bool bEnabled)
{
    return bEnabled ? CMDF_ENABLED : CMDF_DISABLED;
}

// The caption of a command, as a string id; 0 for a command without one.
UINT CommandNameId(ULONG nCmdID)
{
    switch (nCmdID) {
    case QORSCAN_CMDID_HOST_CANCEL:
    case QORSCAN_CMDID_CANCEL:
        return IDS_CANCEL;
    case QORSCAN_CMDID_HOST_BACK:
        return IDS_BACK;
    case QORSCAN_CMDID_HOST_UPLOAD:
        return IDS_UPLOAD;
    default:
        return 0;
    }
}

// The one-character status text of a host item; 0 for a command without one.
WCHAR CommandStatusChar(ULONG nCmdID)
{
    switch (nCmdID) {
    case QORSCAN_CMDID_HOST_CANCEL:
        return static_cast<WCHAR>(QORSCAN_STATUSCHAR_CANCEL);
    case QORSCAN_CMDID_HOST_BACK:
        return static_cast<WCHAR>(QORSCAN_STATUSCHAR_BACK);
    case QORSCAN_CMDID_HOST_UPLOAD:
        return static_cast<WCHAR>(QORSCAN_STATUSCHAR_UPLOAD);
    default:
        return 0;
    }
}

void SetNoText(OLECMDTEXT* pCmdText)
{
    pCmdText->cwActual = 0;
    pCmdText->rgwz[0] = 0;
}

// The caption into the caller's cwBuf characters, cut if need be; cwActual is the whole
// caption's length all the same, so the caller learns what buffer it needs.
void SetNameText(OLECMDTEXT* pCmdText, ULONG nCmdID)
{
    CString strName;
    const UINT nNameID = CommandNameId(nCmdID);
    if (nNameID == 0 || !LoadLocalizedString(nNameID, strName)) {
        SetNoText(pCmdText);
        return;
    }
    const int cchBuffer = pCmdText->cwBuf > INT_MAX ? INT_MAX : static_cast<int>(pCmdText->cwBuf);
    ::StrCpyNW(pCmdText->rgwz, strName, cchBuffer);
    pCmdText->cwActual = static_cast<ULONG>(strName.GetLength());
}

// The status text is one character and no terminator.
void SetStatusText(OLECMDTEXT* pCmdText, ULONG nCmdID)
{
    const WCHAR chStatus = CommandStatusChar(nCmdID);
    if (chStatus == 0) {
        SetNoText(pCmdText);
        return;
    }
    pCmdText->cwActual = 1;
    pCmdText->rgwz[0] = chStatus;
}

}  // namespace

// --- IOleCommandTarget

STDMETHODIMP CQORScan::QueryStatus(const GUID* pguidCmdGroup, ULONG cCmds, OLECMD prgCmds[], OLECMDTEXT* pCmdText)
{
    if (pguidCmdGroup == nullptr || !IsEqualGUID(*pguidCmdGroup, CGID_ScanControl))
        return OLECMDERR_E_UNKNOWNGROUP;
    if (prgCmds == nullptr)
        return E_POINTER;
    if (pCmdText != nullptr) {
        if (cCmds != 1 || pCmdText->cwBuf == 0)
            return E_UNEXPECTED;
        switch (pCmdText->cmdtextf) {
        case OLECMDTEXTF_NAME:
            SetNameText(pCmdText, prgCmds[0].cmdID);
            break;
        case OLECMDTEXTF_STATUS:
            SetStatusText(pCmdText, prgCmds[0].cmdID);
            break;
        default:
            return E_UNEXPECTED;
        }
    }
    for (ULONG iCmd = 0; iCmd < cCmds; ++iCmd)
        prgCmds[iCmd].cmdf = CommandState(prgCmds[iCmd].cmdID);
    return S_OK;
}

STDMETHODIMP CQORScan::Exec(const GUID* pguidCmdGroup, DWORD nCmdID, DWORD nCmdexecopt, VARIANT* pvaIn,
                            VARIANT* pvaOut)
{
    OLECMD cmd = {nCmdID, 0};
    const HRESULT hr = QueryStatus(pguidCmdGroup, 1, &cmd, nullptr);
    if (FAILED(hr))
        return hr;
    if ((cmd.cmdf & OLECMDF_SUPPORTED) == 0)
        return OLECMDERR_E_NOTSUPPORTED;
    if ((cmd.cmdf & OLECMDF_ENABLED) == 0)
        return OLECMDERR_E_DISABLED;

    // The host's side of a command (its engine, its message box) may drop the host's last
    // reference to the control before the command is done with it.
    ATL::CComPtr<IUnknown> spKeepAlive(GetUnknown());
    switch (nCmdID) {
    case QORSCAN_CMDID_PREVIEW:
        StartScan(true, nCmdexecopt, pvaIn, pvaOut);
        break;
    case QORSCAN_CMDID_SCAN:
        ShowPaperWarning();  // the scan goes on whatever the user answered
        StartScan(false, nCmdexecopt, pvaIn, pvaOut);
        break;
    case QORSCAN_CMDID_AUTOCROP:
        PassCommandOn(nCmdID, nCmdexecopt, pvaIn, pvaOut);  // its result changes nothing here
        UpdateFramesVisible(false);
        m_bAutoCropPending = true;
        break;
    case QORSCAN_CMDID_CANCEL:
        SetBusy(false);
        break;
    case QORSCAN_CMDID_AUTOCROP_SINGLE:
    case QORSCAN_CMDID_AUTOCROP_MULTI:
        RequestAutoCrop(nCmdID == QORSCAN_CMDID_AUTOCROP_MULTI);
        break;
    case QORSCAN_CMDID_ZOOM_IN:
        SetZoomStep(m_nZoomStep + 1);
        RedrawNow();
        break;
    case QORSCAN_CMDID_ZOOM_OUT:
        SetZoomStep(m_nZoomStep - 1);
        RedrawNow();
        break;
    case QORSCAN_CMDID_ROTATE_LEFT:
        RotateLeft();
        break;
    case QORSCAN_CMDID_ROTATE_RIGHT:
        RotateRight();
        break;
    case QORSCAN_CMDID_MIRROR_HORIZONTAL:
        MirrorHorizontal();
        break;
    case QORSCAN_CMDID_MIRROR_VERTICAL:
        MirrorVertical();
        break;
    case QORSCAN_CMDID_RESET_ORIENTATION:
        ResetOrientation();
        break;
    default:
        return OLECMDERR_E_NOTSUPPORTED;  // the host's items: their state is ours, their action is not
    }
    return S_OK;
}

// --- Implementation

DWORD CQORScan::CommandState(ULONG nCmdID)
{
    switch (nCmdID) {
    case QORSCAN_CMDID_HOST_2001:
    case QORSCAN_CMDID_HOST_2002:
    case QORSCAN_CMDID_HOST_2003:
    case QORSCAN_CMDID_HOST_BACK:
    case QORSCAN_CMDID_HOST_UPLOAD:
        return EnabledIf(!IsEngineBusy());
    case QORSCAN_CMDID_HOST_CANCEL:
    case QORSCAN_CMDID_HOST_2007:
    case QORSCAN_CMDID_HOST_2009:
        return CMDF_HIDDEN;
    case QORSCAN_CMDID_PREVIEW:
    case QORSCAN_CMDID_SCAN:
    case QORSCAN_CMDID_AUTOCROP:
        return EnabledIf(IsEngineInitialised() && !IsEngineBusy());
    case QORSCAN_CMDID_CANCEL:
        return EnabledIf(IsEngineInitialised() && IsEngineBusy());
    case QORSCAN_CMDID_AUTOCROP_SINGLE:
    case QORSCAN_CMDID_AUTOCROP_MULTI:
        return EnabledIf(!m_bPartialPreview && !m_bSampleShown && m_bFramesVisible);
    case QORSCAN_CMDID_ZOOM_IN:
        return EnabledIf(!m_bPartialPreview && m_bFramesVisible && m_nZoomStep < kMaxZoomStep);
    case QORSCAN_CMDID_ZOOM_OUT:
        return EnabledIf(!m_bPartialPreview && m_bFramesVisible && m_nZoomStep >= 1);
    case QORSCAN_CMDID_ROTATE_LEFT:
    case QORSCAN_CMDID_ROTATE_RIGHT:
    case QORSCAN_CMDID_MIRROR_HORIZONTAL:
    case QORSCAN_CMDID_MIRROR_VERTICAL:
        return EnabledIf(!m_bPartialPreview && m_bFramesVisible);
    case QORSCAN_CMDID_RESET_ORIENTATION: {
        bool bMirrorV = false, bMirrorH = false;
        int nAngle = 0;
        GetOrientation(bMirrorV, bMirrorH, nAngle);
        return EnabledIf(m_bFramesVisible && (nAngle != 0 || bMirrorV || bMirrorH));
    }
    default:
        return CMDF_NONE;
    }
}

// Only a real VARIANT_TRUE counts: a host that stores "scan.init" as a number has no engine.
bool CQORScan::IsBagFlagSet(LPCOLESTR pszKey)
{
    if (m_spPropertyBag == nullptr)
        return false;
    ATL::CComVariant var;
    return SUCCEEDED(m_spPropertyBag->Read(pszKey, &var, nullptr)) && var.vt == VT_BOOL && var.boolVal == VARIANT_TRUE;
}

bool CQORScan::IsEngineInitialised()
{
    return IsBagFlagSet(QORSCAN_KEY_SCAN_INIT);
}

// The engine's word alone is not enough: the control counts it busy only while the scan's
// rows arrive or a requested crop is outstanding.
bool CQORScan::IsEngineBusy()
{
    return (m_bPartialPreview || m_bAutoCropPending) && IsBagFlagSet(QORSCAN_KEY_SCAN_BUSY);
}

HRESULT CQORScan::PassCommandOn(DWORD nCmdID, DWORD nCmdexecopt, VARIANT* pvaIn, VARIANT* pvaOut)
{
    if (m_spPropertyBag == nullptr)
        return E_NOINTERFACE;
    ATL::CComPtr<IOleCommandTarget> spTarget;
    HRESULT hr = m_spPropertyBag->QueryInterface(IID_IOleCommandTarget, reinterpret_cast<void**>(&spTarget));
    if (FAILED(hr))
        return hr;
    return spTarget->Exec(&CGID_ScanControl, nCmdID, nCmdexecopt, pvaIn, pvaOut);
}

// A host that refuses to start its engine leaves the view as it was.
void CQORScan::StartScan(bool bPreview, DWORD nCmdexecopt, VARIANT* pvaIn, VARIANT* pvaOut)
{
    const DWORD nCmdID = bPreview ? QORSCAN_CMDID_PREVIEW : QORSCAN_CMDID_SCAN;
    if (FAILED(PassCommandOn(nCmdID, nCmdexecopt, pvaIn, pvaOut)))
        return;
    UpdateFramesVisible(false);
    PrepareForScanData(bPreview);
}

// The live canvas takes the proportions of what is scanned: the whole page for a preview,
// the crop for a scan. The new image is shown whole.
void CQORScan::PrepareForScanData(bool bPreview)
{
    m_bFitPage = bPreview;
    const RECT& rcRegion = bPreview ? m_rcFit : m_rcCropFit;  // window pixels
    BeginScanCanvas(rcRegion.right - rcRegion.left, rcRegion.bottom - rcRegion.top);
    SetZoomStep(0);
    ResetScanCanvas();
}

void CQORScan::RedrawNow()
{
    if (m_hWnd != nullptr)  // a null window would redraw the whole desktop
        RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CQORScan::SetZoomStep(int nStep)
{
    if (nStep >= 0 && nStep <= kMaxZoomStep)
        m_nZoomStep = nStep;
    if (UpdateZoom())
        UpdateScrollBars();
    UpdateTrackers();
}

// Both keys are written, the one asked for on; the crop itself then goes through the checks
// of the automatic-crop command, whose refusal is not this command's failure.
void CQORScan::RequestAutoCrop(bool bMulti)
{
    ATL::CComPtr<IPropertyBag> spBag(m_spPropertyBag);  // a write may call back and unbind it
    if (spBag == nullptr)
        return;
    VARIANT var;
    ::VariantInit(&var);
    var.vt = VT_I4;
    var.lVal = bMulti ? 1 : 0;
    spBag->Write(QORSCAN_KEY_SCAN_AUTOCROP_MULTI, &var);
    var.lVal = bMulti ? 0 : 1;
    spBag->Write(QORSCAN_KEY_SCAN_AUTOCROP_SINGLE, &var);
    Exec(&CGID_ScanControl, QORSCAN_CMDID_AUTOCROP, 0, nullptr, nullptr);
}

// The orientation reading never reports both mirrors, and a mirrored orientation mirrored
// once more is a pure turn; the second reading finds that turn and undoes it.
void CQORScan::ResetOrientation()
{
    bool bMirrorV = false, bMirrorH = false;
    int nAngle = 0;
    GetOrientation(bMirrorV, bMirrorH, nAngle);
    if (bMirrorV)
        MirrorHorizontal();
    if (bMirrorH)
        MirrorVertical();
    GetOrientation(bMirrorV, bMirrorH, nAngle);
    switch (nAngle) {
    case 9000:
        RotateLeft();
        break;
    case 18000:
        RotateRight();
        RotateRight();
        break;
    case 27000:
        RotateRight();
        break;
    default:
        break;
    }
}

// Before a scan from the document feeder, unless the user asked not to be warned again. The
// answer goes back into the bag, and the host's boot settings are kept in the registry. The
// message is modal: the host may let go of its bag before it is closed, so the bag is held
// here and the answer goes to the bag that was asked.
void CQORScan::ShowPaperWarning()
{
    ATL::CComPtr<IPropertyBag> spBag(m_spPropertyBag);
    if (spBag == nullptr)
        return;
    {
        ATL::CComVariant varSource;
        if (FAILED(spBag->Read(QORSCAN_KEY_SCAN_SOUR, &varSource, nullptr)) || FAILED(varSource.ChangeType(VT_I4)) ||
            varSource.lVal < QORSCAN_SOUR_FEEDER_FIRST || varSource.lVal > QORSCAN_SOUR_FEEDER_LAST)
            return;
    }
    {
        ATL::CComVariant varHide;
        if (SUCCEEDED(spBag->Read(QORSCAN_KEY_BOOT_ADF_HIDE, &varHide, nullptr)) && varHide.iVal != 0)
            return;
    }
    CString strText;
    LoadLocalizedString(IDS_ADF_WARNING, strText);
    int nResult = 0;
    ShowHostMessage(m_hWnd, strText, MB_OK, &nResult);
    VARIANT varResult;
    ::VariantInit(&varResult);
    varResult.vt = VT_UI4;
    varResult.ulVal = static_cast<ULONG>(nResult);
    spBag->Write(QORSCAN_KEY_BOOT_ADF_HIDE, &varResult);
    SaveBootSettings(spBag);
}
