// CQORScan: the control's own window messages, in front of the view's.
#include "QORScan.h"

// --- Message handlers

LRESULT CQORScan::OnCreate(UINT /*uMsg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL& /*bHandled*/)
{
    ReloadPreview();
    return 0;
}

// The host's menu and accelerator commands are not the control's.
LRESULT CQORScan::OnCommand(UINT /*uMsg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL& /*bHandled*/)
{
    return 0;
}

LRESULT CQORScan::OnScroll(UINT uMsg, WPARAM wParam, LPARAM /*lParam*/, BOOL& bHandled)
{
    const int nCode = LOWORD(wParam);
    if (nCode == SB_THUMBTRACK || nCode == SB_THUMBPOSITION) {
        const int nPos = HIWORD(wParam);
        SCROLLINFO si = {sizeof(SCROLLINFO), SIF_POS | SIF_TRACKPOS, 0, 0, 0, nPos, nPos};
        SetScrollInfo(uMsg == WM_HSCROLL ? SB_HORZ : SB_VERT, &si, TRUE);
    }
    bHandled = FALSE;  // the view's map scrolls
    return 0;
}

LRESULT CQORScan::OnGetCrop(UINT /*uMsg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL& /*bHandled*/)
{
    ATL::CComPtr<IPropertyBag> spBag(m_spPropertyBag);  // a read may call back and unbind it
    if (spBag != nullptr && (IsAutoCropRequested(spBag, QORSCAN_KEY_SCAN_AUTOCROP_SINGLE) ||
                             IsAutoCropRequested(spBag, QORSCAN_KEY_SCAN_AUTOCROP_MULTI)))
        Exec(&CGID_ScanControl, QORSCAN_CMDID_AUTOCROP, 0, nullptr, nullptr);  // refusals are not ours to report
    return 0;
}

// --- Implementation

// Only the value's low 16 bits carry the request; a failed read asks for nothing.
bool CQORScan::IsAutoCropRequested(IPropertyBag* pBag, LPCOLESTR pszKey)
{
    ATL::CComVariant var;
    return SUCCEEDED(pBag->Read(pszKey, &var, nullptr)) && var.uiVal != 0;
}

void CQORScan::ReloadPreview()
{
    if (m_bSampleShown && !::IsRectEmpty(&m_rcPage))
        SetPreviewImage();
}
