// CScanViewPreview: the window's messages, the layout for a new size, page or crop, the
// scroll bars and the frame views built from the frames in page units.
#include "ScanViewPreview.h"

#include <algorithm>
#include <cstdint>

#include "GeometryMath.h"

namespace {

// a * b / c in 64 bits, so that no product of page units and window pixels can overflow;
// the quotient of sizes that the window system and the host's 16-bit keys allow fits.
int MulDivTrunc(int a, int b, int c)
{
    return static_cast<int>(static_cast<std::int64_t>(a) * b / c);
}

}  // namespace

// --- Message handlers

LRESULT CScanViewPreview::OnCreate(UINT /*uMsg*/, WPARAM /*wParam*/, LPARAM lParam, BOOL& bHandled)
{
    const CREATESTRUCTW* pcs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    if (pcs != nullptr && (pcs->dwExStyle & WS_EX_LAYOUTRTL) != 0) {
        const DWORD dwExStyle = (pcs->dwExStyle & ~static_cast<DWORD>(WS_EX_LAYOUTRTL)) | WS_EX_LEFTSCROLLBAR;
        SetWindowLong(GWL_EXSTYLE, static_cast<LONG>(dwExStyle));
    }
    bHandled = FALSE;
    return 0;
}

// On a plain resize of a portrait page with a finished preview only zoom, scroll bars and
// trackers follow the new client size; the fit boxes and the frames in image pixels are
// laid out again only in landscape layout and during partial previews.
LRESULT CScanViewPreview::OnSize(UINT /*uMsg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL& /*bHandled*/)
{
    if (m_hWnd != nullptr && ::IsWindow(m_hWnd) && !IsRectEmpty(&m_rcPage) && (m_bPartialPreview || m_bLandscape)) {
        bool bMirrorV = false, bMirrorH = false;
        int nAngle = 0;
        RECT rcWindow;
        LayoutFitBoxes(bMirrorV, bMirrorH, nAngle, rcWindow);
        if (!IsRectEmpty(&m_rcImage)) {
            GetOrientation(bMirrorV, bMirrorH, nAngle);
            MapFramesForOrientation(bMirrorV, bMirrorH, nAngle, rcWindow, true);
        }
    }
    if (m_pPreviewImage) {
        if (UpdateZoom())
            UpdateScrollBars();
        UpdateTrackers();
    }
    return 1;
}

LRESULT CScanViewPreview::OnScroll(UINT uMsg, WPARAM wParam, LPARAM /*lParam*/, BOOL& /*bHandled*/)
{
    ScrollPreview(uMsg == WM_VSCROLL ? SB_VERT : SB_HORZ, LOWORD(wParam));
    return 0;
}

LRESULT CScanViewPreview::OnNoDefault(UINT /*uMsg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL& /*bHandled*/)
{
    return 0;
}

// --- Layout

void CScanViewPreview::SetPageAndCrop(const RECT& rcPage, const RECT& rcCrop, bool bResetFrames)
{
    if (IsRectEmpty(&rcPage) || IsRectEmpty(&rcCrop))
        return;
    // The crop, page units, clipped to the page.
    m_rcCrop = {std::max(rcCrop.left, rcPage.left), std::max(rcCrop.top, rcPage.top),
                std::min(rcCrop.right, rcPage.right), std::min(rcCrop.bottom, rcPage.bottom)};
    m_rcPage = rcPage;
    UpdateUnitsPerPixel();

    bool bMirrorV = false, bMirrorH = false;
    int nAngle = 0;
    RECT rcWindow;
    LayoutFitBoxes(bMirrorV, bMirrorH, nAngle, rcWindow);

    if (!IsRectEmpty(&m_rcPage) && !IsRectEmpty(&m_rcImage)) {
        if (bResetFrames || m_vecTrackers.empty()) {
            m_vecTrackers.assign(1, m_tracker);
            m_vecFrameImages.assign(1, m_rcCropImage);
            m_vecFrames.assign(1, m_rcCrop);
        }
        MapFramesForOrientation(bMirrorV, bMirrorH, nAngle, rcWindow, false);
    }
    if (m_bFramesVisible)
        UpdateTrackers();
    if (m_hWnd != nullptr)  // a null window would mean the whole desktop
        InvalidateRect(nullptr, TRUE);
}

// The fit box has the page's proportions, lies inside the window size and is anchored at
// (0, 0); the crop box is m_rcCrop in the same scale.
void CScanViewPreview::LayoutFitBoxes(bool& bMirrorV, bool& bMirrorH, int& nAngle, RECT& rcWindow)
{
    GetOrientation(bMirrorV, bMirrorH, nAngle);
    rcWindow = WindowScreenRect();
    UpdateAspectFactors(nAngle, rcWindow);

    RECT rcWindowSize = rcWindow;  // screen pixels, normalized
    if (rcWindowSize.left > rcWindowSize.right)
        std::swap(rcWindowSize.left, rcWindowSize.right);
    if (rcWindowSize.top > rcWindowSize.bottom)
        std::swap(rcWindowSize.top, rcWindowSize.bottom);
    const int cxWindow = rcWindowSize.right - rcWindowSize.left;
    const int cyWindow = rcWindowSize.bottom - rcWindowSize.top;
    const int cxPage = m_rcPage.right - m_rcPage.left;  // page units
    const int cyPage = m_rcPage.bottom - m_rcPage.top;

    m_rcFit = {0, 0, cxWindow, cyWindow};
    m_rcCropFit = m_rcFit;
    if (!IsRectEmpty(&m_rcPage)) {
        if (static_cast<std::int64_t>(cxWindow) * cyPage < static_cast<std::int64_t>(cyWindow) * cxPage)
            m_rcFit.bottom = MulDivTrunc(cxWindow, cyPage, cxPage);
        else
            m_rcFit.right = MulDivTrunc(cyWindow, cxPage, cyPage);
    }

    // Page units per fit-box pixel on each axis.
    float fx = 1.0f;
    float fy = 1.0f;
    if (!IsRectEmpty(&m_rcFit)) {
        fx = static_cast<float>(static_cast<double>(cxPage) / (m_rcFit.right - m_rcFit.left));
        fy = static_cast<float>(static_cast<double>(cyPage) / (m_rcFit.bottom - m_rcFit.top));
    }
    m_rcCropFit = {TruncToInt(m_rcCrop.left / fx), TruncToInt(m_rcCrop.top / fy), TruncToInt(m_rcCrop.right / fx),
                   TruncToInt(m_rcCrop.bottom / fy)};

    m_rcCropImage = {PageToImageCeil(m_rcCrop.left), PageToImageCeil(m_rcCrop.top), PageToImageFloor(m_rcCrop.right),
                     PageToImageFloor(m_rcCrop.bottom)};
}

void CScanViewPreview::UpdateAspectFactors(int nAngle, const RECT& rcWindow)
{
    m_fAspectUpright = 1.0f;
    m_fAspectTurned = 1.0f;
    if (!m_bLandscape || IsRectEmpty(&rcWindow))
        return;
    const float fAspect = static_cast<float>(static_cast<double>(rcWindow.bottom - rcWindow.top) /
                                             static_cast<double>(rcWindow.right - rcWindow.left));
    if (IsQuarterTurn(nAngle))
        m_fAspectTurned = fAspect;
    else
        m_fAspectUpright = fAspect;
}

void CScanViewPreview::MapFramesForOrientation(bool bMirrorV, bool bMirrorH, int nAngle, const RECT& rcWindow,
                                               bool bReport)
{
    MapFramesToImage(false, false, nAngle, rcWindow, bReport);
    if (bMirrorV || bMirrorH)
        MapFramesToImage(bMirrorV, bMirrorH, nAngle, rcWindow, bReport);
}

// --- Scroll bars

// Positions, ranges and pages are image pixels: a bar's position is the scroll offset. When
// the content size changes, the thumb keeps its relative position; the offsets are left to
// the next scroll request.
void CScanViewPreview::UpdateScrollBars()
{
    if (m_hWnd == nullptr || !::IsWindow(m_hWnd) || m_bUpdatingScrollBars)
        return;
    m_bUpdatingScrollBars = true;
    SetScrollBars();
    m_bUpdatingScrollBars = false;
}

void CScanViewPreview::SetScrollBars()
{
    const int cxVScroll = ::GetSystemMetrics(SM_CXVSCROLL);
    const int cyHScroll = ::GetSystemMetrics(SM_CYHSCROLL);

    // The bars as they are: range, position and page, or 100, 0, 1 for a bar not shown.
    struct OldBar {
        int nRange = 100;
        int nPos = 0;
        UINT nPage = 1;
    };
    const DWORD dwStyle = GetStyle();
    OldBar oldH, oldV;
    for (int nBar : {SB_HORZ, SB_VERT}) {
        if ((dwStyle & (nBar == SB_HORZ ? WS_HSCROLL : WS_VSCROLL)) == 0)
            continue;
        SCROLLINFO si = {sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
        GetScrollInfo(nBar, &si);
        OldBar& old = nBar == SB_HORZ ? oldH : oldV;
        old.nRange = si.nMax - si.nMin;
        old.nPos = si.nPos;
        old.nPage = si.nPage;
    }

    RECT rcClient = {0, 0, 0, 0};  // view coordinates
    GetClientRect(&rcClient);
    if (rcClient.right - rcClient.left == 0 || rcClient.bottom - rcClient.top == 0)
        return;

    bool bNeedH = false;
    bool bNeedV = false;
    if (m_pPreviewImage) {
        // The content in image pixels.
        const int cxImage = m_rcImage.right - m_rcImage.left;
        const int cyImage = m_rcImage.bottom - m_rcImage.top;
        int cxContent = cxImage;
        int cyContent = cyImage;
        if (m_bLandscape) {
            bool bMirrorV = false, bMirrorH = false;
            int nAngle = 0;
            GetOrientation(bMirrorV, bMirrorH, nAngle);
            const int cxPage = m_rcPage.right - m_rcPage.left;  // page units
            const int cyPage = m_rcPage.bottom - m_rcPage.top;
            cxContent = TruncToInt((IsQuarterTurn(nAngle) ? cyPage : cxPage) / m_dUnitsPerPixel);
            if (cxContent > cyImage && m_nZoomStep == 0)
                cxContent = cyImage;
            cyContent = TruncToInt((IsQuarterTurn(nAngle) ? cxPage : cyPage) / m_dUnitsPerPixel);
            if (cyContent > cxImage && m_nZoomStep == 0)
                cyContent = cxImage;
        }

        // A bar is needed when the zoomed content does not fit; a bar takes client area, so
        // it can make the other one needed too.
        int cxClient = rcClient.right - rcClient.left;
        int cyClient = rcClient.bottom - rcClient.top;
        const int cxContentView = TruncToInt(ImageToViewX(cxContent));
        const int cyContentView = TruncToInt(ImageToViewY(cyContent));
        bNeedH = cxContentView > cxClient;
        bNeedV = cyContentView > cyClient;
        if (bNeedH)
            cyClient -= cyHScroll;
        if (bNeedV)
            cxClient -= cxVScroll;
        bNeedH = bNeedH || cxContentView > cxClient;
        bNeedV = bNeedV || cyContentView > cyClient;

        GetClientRect(&rcClient);
        int nMaxH = bNeedH ? cxContent : 0;
        int nMaxV = bNeedV ? cyContent : 0;
        if (nMaxH > 0)
            --nMaxH;
        if (nMaxV > 0)
            --nMaxV;
        const int nPageH = bNeedH ? TruncToInt(ViewToImageX(rcClient.right - rcClient.left)) : 1;
        const int nPageV = bNeedV ? TruncToInt(ViewToImageY(rcClient.bottom - rcClient.top)) : 1;

        SetScrollBar(SB_HORZ, oldH.nRange, oldH.nPos, oldH.nPage, nMaxH, nPageH);
        if (!bNeedH)
            m_nOffsetX = 0;
        SetScrollBar(SB_VERT, oldV.nRange, oldV.nPos, oldV.nPage, nMaxV, nPageV);
        if (!bNeedV)
            m_nOffsetY = 0;
    }
    ShowScrollBar(SB_HORZ, bNeedH);
    ShowScrollBar(SB_VERT, bNeedV);
}

// One bar for a new range 0..nMax (image pixels), keeping the thumb where it was relative
// to the old range. Without a position to keep, the new page goes in and the scaled
// position lands in nMin, as the view has always done.
void CScanViewPreview::SetScrollBar(int nBar, int nOldRange, int nOldPos, UINT nOldPage, int nMax, int nPage)
{
    const int nNewPos = nOldRange != 0 ? MulDivTrunc(nMax, nOldPos, nOldRange) : nOldPos;
    SCROLLINFO si = {sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE | SIF_POS, 0, nMax, nOldPage, nNewPos, 0};
    if (nNewPos == 0 || nOldPage <= 1) {
        si.nMin = nNewPos;
        si.nPage = static_cast<UINT>(nPage);
        si.nPos = 0;
    }
    SetScrollInfo(nBar, &si, TRUE);
}

// A line is one image pixel, a page one client extent in image pixels. The position may go
// up to nMax, past the last full page.
void CScanViewPreview::ScrollPreview(int nBar, int nCode)
{
    SCROLLINFO si = {sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
    GetScrollInfo(nBar, &si);
    int nPos = si.nPos;  // image pixels
    switch (nCode) {
    case SB_LINEUP:
        nPos -= 1;
        break;
    case SB_LINEDOWN:
        nPos += 1;
        break;
    case SB_PAGEUP:
        nPos -= static_cast<int>(si.nPage);
        break;
    case SB_PAGEDOWN:
        nPos += static_cast<int>(si.nPage);
        break;
    case SB_THUMBTRACK:
        nPos = si.nTrackPos;
        break;
    case SB_TOP:
        nPos = si.nMin;
        break;
    case SB_BOTTOM:
        nPos = si.nMax;
        break;
    default:  // SB_THUMBPOSITION, SB_ENDSCROLL: the thumb is where the last track left it
        break;
    }
    nPos = std::clamp(nPos, si.nMin, std::max(si.nMin, si.nMax));

    SCROLLINFO siPos = {sizeof(SCROLLINFO), SIF_POS, 0, 0, 0, nPos, 0};
    SetScrollInfo(nBar, &siPos, TRUE);
    if (nBar == SB_VERT)
        m_nOffsetY = nPos;
    else
        m_nOffsetX = nPos;
    UpdateTrackers();
    RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

// --- Frame views

void CScanViewPreview::BuildFrameViews()
{
    if (m_vecFrames.empty() || !m_vecFrameImages.empty() || !m_vecTrackers.empty())
        return;
    const bool bShowGlyph = m_vecFrames.size() > 1;
    for (const RECT& rcFrame : m_vecFrames) {  // page units
        m_vecFrameImages.push_back({PageToImageCeil(rcFrame.left), PageToImageCeil(rcFrame.top),
                                    PageToImageFloor(rcFrame.right), PageToImageFloor(rcFrame.bottom)});
        CMainPaneTracker tracker(PageToViewCeilX(rcFrame.left), PageToViewCeilY(rcFrame.top),
                                 PageToViewFloorX(rcFrame.right), PageToViewFloorY(rcFrame.bottom), this);
        if (m_pCloseGlyph)
            tracker.SetCloseGlyph(m_pCloseGlyph.get());
        tracker.glyphShown = bShowGlyph;
        m_vecTrackers.push_back(tracker);
    }
}
