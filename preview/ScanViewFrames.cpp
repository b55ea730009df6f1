// CScanViewPreview: the crop frames between page units, image pixels and the trackers.
#include "ScanViewPreview.h"

#include <algorithm>

#include "GeometryMath.h"

namespace {

// A 2 x 2 orientation matrix with integer elements (always 0, 1 or -1); a point (x, y)
// maps to (x * m11 + y * m21, x * m12 + y * m22).
struct IntMatrix {
    int m11, m12, m21, m22;
    POINT Apply(int x, int y) const { return POINT{x * m11 + y * m21, x * m12 + y * m22}; }
};

}  // namespace

// --- Page units to image pixels

void CScanViewPreview::MapFramesToImage(bool bMirrorV, bool bMirrorH, int nAngle, RECT rcWindow, bool bReport)
{
    // A turned sample at fit zoom is stretched by the window's proportions.
    float k = 1.0f;
    if (IsQuarterTurn(nAngle) && m_nZoomStep == 0 && m_bSampleShown && !IsRectEmpty(&rcWindow)) {
        k = static_cast<float>(static_cast<double>(rcWindow.bottom - rcWindow.top) /
                               static_cast<double>(rcWindow.right - rcWindow.left));
    }
    const int W = m_rcPage.right - m_rcPage.left;
    const int H = m_rcPage.bottom - m_rcPage.top;
    const size_t count = std::min(m_vecFrames.size(), m_vecFrameImages.size());
    for (size_t i = 0; i < count; ++i) {
        const RECT& p = m_vecFrames[i];  // page units
        // Mirror within the page: low edges x0, y0 and high edges x1, y1.
        const int x0 = bMirrorH ? W - p.right : p.left;
        const int x1 = bMirrorH ? W - p.left : p.right;
        const int y0 = bMirrorV ? H - p.bottom : p.top;
        const int y1 = bMirrorV ? H - p.top : p.bottom;
        // Turn clockwise within the page (page units of the turned page).
        int lx = x0, ly = y0, hx = x1, hy = y1;
        switch (nAngle) {
        case 9000:  // (x, y) -> (H - y, x)
            lx = H - y1;
            hx = H - y0;
            ly = x0;
            hy = x1;
            break;
        case 18000:  // (x, y) -> (W - x, H - y)
            lx = W - x1;
            hx = W - x0;
            ly = H - y1;
            hy = H - y0;
            break;
        case 27000:  // (x, y) -> (y, W - x)
            lx = y0;
            hx = y1;
            ly = W - x1;
            hy = W - x0;
            break;
        default:
            break;
        }
        RECT image = {PageToImageCeil(lx), PageToImageCeil(ly), PageToImageFloor(hx), PageToImageFloor(hy)};
        if (IsQuarterTurn(nAngle)) {
            image.left = TruncToInt(image.left * k);
            image.top = TruncToInt(image.top * k);
            image.right = TruncToInt(image.right * k);
            image.bottom = TruncToInt(image.bottom * k);
        }
        m_vecFrameImages[i] = image;
    }
    if (bReport)
        ReportOrientation();
}

// --- Image pixels to view coordinates

void CScanViewPreview::UpdateTrackers()
{
    const int cxClient = ClientWidth();
    const int cyClient = ClientHeight();
    const size_t count = std::min(m_vecTrackers.size(), m_vecFrameImages.size());
    for (size_t i = 0; i < count; ++i) {
        const RECT& r = m_vecFrameImages[i];  // image pixels
        // The frame lies one view pixel outside its image rectangle on every side.
        int left = ImageToViewCeilX(r.left);
        if (left > 0)
            --left;
        int top = ImageToViewCeilY(r.top);
        if (top > 0)
            --top;
        RECT rc = {left, top, ImageToViewFloorX(r.right) + 1, ImageToViewFloorY(r.bottom) + 1};
        Normalize(&rc);
        // At fit zoom, rounding must not push the frame out of the client area.
        if (rc.right > cxClient && m_nZoomStep == 0) {
            const float f = static_cast<float>(cxClient) / static_cast<float>(rc.right);
            rc.left = TruncToInt(rc.left * f);
            rc.right = TruncToInt(rc.right * f);
        }
        if (rc.bottom > cyClient && m_nZoomStep == 0) {
            const float f = static_cast<float>(cyClient) / static_cast<float>(rc.bottom);
            rc.top = TruncToInt(rc.top * f);
            rc.bottom = TruncToInt(rc.bottom * f);
        }
        m_vecTrackers[i].rect = rc;
    }
}

// --- View coordinates back to page units

void CScanViewPreview::CommitTracker(CMainPaneTracker* pTracker, int nIndex)
{
    m_bWritingToHost = true;
    if (pTracker == nullptr && nIndex >= 0) {
        ReportFrames(nIndex);
        m_bWritingToHost = false;
        return;
    }

    bool bMirrorV = false;
    bool bMirrorH = false;
    int nAngle = 0;
    GetOrientation(bMirrorV, bMirrorH, nAngle);
    const RECT& rcView = pTracker != nullptr ? pTracker->rect : m_tracker.rect;  // view coordinates
    const int W = m_rcPage.right - m_rcPage.left;
    const int H = m_rcPage.bottom - m_rcPage.top;

    // Page units of the turned page. A left-right mirror at 0 or 18000 is taken as a half
    // turn of the page here and undone below together with the orientation.
    RECT q;
    if ((nAngle == 0 || nAngle == 18000) && bMirrorH) {
        q = {W - ViewToPageCeilX(rcView.right), H - ViewToPageCeilY(rcView.bottom), W - ViewToPageCeilX(rcView.left),
             H - ViewToPageCeilY(rcView.top)};
    } else {
        q = {ViewToPageCeilX(rcView.left), ViewToPageCeilY(rcView.top), ViewToPageCeilX(rcView.right),
             ViewToPageFloorY(rcView.bottom)};
    }

    // Undo the orientation.
    const Gdiplus::Matrix halfTurn(-1, 0, 0, -1, 0, 0);
    if (bMirrorH)
        m_matOrientation.Multiply(&halfTurn, Gdiplus::MatrixOrderAppend);
    Gdiplus::REAL m[6] = {1, 0, 0, 1, 0, 0};
    m_matOrientation.GetElements(m);
    const int m11 = static_cast<int>(m[0]);
    const int m12 = static_cast<int>(m[1]);
    const int m21 = static_cast<int>(m[2]);
    const int m22 = static_cast<int>(m[3]);
    IntMatrix inverse = {1, 0, 0, 1};
    if (m11 * m22 != 0)
        inverse = {m11, 0, 0, m22};
    else if (m12 * m21 != 0)
        inverse = {0, -m12, -m21, 0};
    const bool bQuarter = m12 * m21 != 0;
    const POINT pageOrigin = inverse.Apply(m_rcPage.left, m_rcPage.top);
    const POINT pageCorner = bQuarter ? inverse.Apply(H, W) : inverse.Apply(W, H);
    const int shiftX = std::min(pageOrigin.x, pageCorner.x);
    const int shiftY = std::min(pageOrigin.y, pageCorner.y);
    const POINT q0 = inverse.Apply(q.left, q.top);
    const POINT q1 = inverse.Apply(q.right, q.bottom);
    q = {q0.x - shiftX, q0.y - shiftY, q1.x - shiftX, q1.y - shiftY};
    Normalize(&q);
    if (bMirrorH)
        m_matOrientation.Multiply(&halfTurn, Gdiplus::MatrixOrderAppend);  // restores the matrix

    // Clip to the page.
    RECT clipped;
    IntersectRect(&clipped, &q, &m_rcPage);
    if (nIndex < 0) {
        // A changed crop rectangle asks for a new layout.
        if (!EqualRect(&clipped, &m_rcCrop) && m_hWnd != nullptr)
            PostMessage(WM_SIZE, 0, 0);
        m_rcCrop = clipped;
    } else {
        // An index at or past the end appends the frame.
        size_t index = static_cast<size_t>(nIndex);
        if (index >= m_vecFrames.size()) {
            m_vecFrames.push_back(q);
            index = m_vecFrames.size() - 1;
        }
        m_vecFrames[index] = clipped;
    }
    ReportFrames(nIndex);
    m_bWritingToHost = false;
}
