// CScanViewPreview: the page's orientation (turns and mirrors) and the oriented bitmap.
#include "ScanViewPreview.h"

#include <algorithm>

#include "GeometryMath.h"

namespace {

void NormalizeAll(std::vector<RECT>& rects)
{
    for (RECT& r : rects)
        Normalize(&r);
}

}  // namespace

// --- Orientation

void CScanViewPreview::GetOrientation(bool& bMirrorV, bool& bMirrorH, int& nAngle) const
{
    Gdiplus::REAL m[6] = {1, 0, 0, 1, 0, 0};
    m_matOrientation.GetElements(m);
    const Gdiplus::REAL m11 = m[0], m12 = m[1], m21 = m[2], m22 = m[3];
    // The first matching row decides; a mirror is never reported with 18000, and a
    // top-bottom mirror only at 0.
    struct Row {
        bool mirrorV, mirrorH;
        int angle;
    };
    Row row = {false, false, 0};
    if (m11 == 1 && m22 == 1)
        row = {false, false, 0};
    else if (m11 == -1 && m22 == 1)
        row = {false, true, 0};
    else if (m11 == 1 && m22 == -1)
        row = {true, false, 0};
    else if (m11 == -1 && m22 == -1)
        row = {false, false, 18000};
    else if (m12 == 1 && m21 == 1)
        row = {false, true, 27000};
    else if (m12 == 1 && m21 == -1)
        row = {false, false, 9000};
    else if (m12 == -1 && m21 == 1)
        row = {false, false, 27000};
    else if (m12 == -1 && m21 == -1)
        row = {false, true, 9000};
    bMirrorV = row.mirrorV;
    bMirrorH = row.mirrorH;
    nAngle = row.angle;
}

// The newest operation acts last.
void CScanViewPreview::AppendOperation(const Gdiplus::Matrix& operation)
{
    m_matOrientation.Multiply(&operation, Gdiplus::MatrixOrderAppend);
}

void CScanViewPreview::RotateRight()
{
    Turn(true);
}

void CScanViewPreview::RotateLeft()
{
    Turn(false);
}

void CScanViewPreview::Turn(bool bRight)
{
    const int widthOld = m_rcImage.right - m_rcImage.left;  // image pixels
    const int heightOld = m_rcImage.bottom - m_rcImage.top;
    std::swap(m_rcImage.right, m_rcImage.bottom);
    if (m_bLandscape) {
        bool bMirrorV = false, bMirrorH = false;
        int nAngle = 0;
        GetOrientation(bMirrorV, bMirrorH, nAngle);
        const RECT rcWindow = WindowScreenRect();
        const int nNewAngle = (nAngle + (bRight ? 9000 : 27000)) % 36000;
        MapFramesToImage(false, false, nNewAngle, rcWindow, true);
        if (bMirrorV || bMirrorH)
            MapFramesToImage(bMirrorV, bMirrorH, nNewAngle, rcWindow, true);
    } else {
        // Directly in image pixels; each turn takes two pixels off the right edge.
        for (RECT& r : m_vecFrameImages)
            r = bRight ? RECT{heightOld - r.bottom, r.left, heightOld - r.top - 2, r.right}
                       : RECT{r.top, widthOld - r.right, r.bottom - 2, widthOld - r.left};
    }
    AppendOperation(bRight ? m_matRotateRight : m_matRotateLeft);
    FinishTurn();
}

void CScanViewPreview::MirrorHorizontal()
{
    Mirror(true);
}

void CScanViewPreview::MirrorVertical()
{
    Mirror(false);
}

void CScanViewPreview::Mirror(bool bLeftRight)
{
    if (m_bLandscape) {
        bool bMirrorV = false, bMirrorH = false;
        int nAngle = 0;
        GetOrientation(bMirrorV, bMirrorH, nAngle);
        // After a quarter turn a left-right mirror on screen is a top-bottom mirror of the page.
        if (bLeftRight != IsQuarterTurn(nAngle))
            bMirrorH = !bMirrorH;
        else
            bMirrorV = !bMirrorV;
        MapFramesToImage(bMirrorV, bMirrorH, nAngle, WindowScreenRect(), true);
    } else if (bLeftRight) {
        const int widthImage = m_rcImage.right - m_rcImage.left;
        for (RECT& r : m_vecFrameImages) {
            r.left = widthImage - r.left;
            r.right = widthImage - r.right;
        }
    } else {
        const int heightImage = m_rcImage.bottom - m_rcImage.top;
        for (RECT& r : m_vecFrameImages) {
            r.top = heightImage - r.top;
            r.bottom = heightImage - r.bottom;
        }
    }
    AppendOperation(bLeftRight ? m_matMirrorX : m_matMirrorY);
    FinishMirror();
}

void CScanViewPreview::FinishTurn()
{
    NormalizeAll(m_vecFrameImages);
    NormalizeAll(m_vecFrames);
    ApplyOrientation();
    if (m_hWnd != nullptr)  // a null window would mean the whole desktop
        RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    UpdateScrollBars();
    ReportOrientation();
}

void CScanViewPreview::FinishMirror()
{
    NormalizeAll(m_vecFrameImages);
    ApplyOrientation();
    if (m_hWnd != nullptr)
        RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    ReportOrientation();
}

// --- The oriented bitmap

// Rebuilds the displayed bitmap from the source in the current orientation, then the
// image rectangle, scale, zoom and trackers that depend on it.
void CScanViewPreview::ApplyOrientation()
{
    HCURSOR hOldCursor = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    if (m_pPreviewImage && m_pPreviewSource) {
        bool bMirrorV = false, bMirrorH = false;
        int nAngle = 0;
        GetOrientation(bMirrorV, bMirrorH, nAngle);

        const INT width = static_cast<INT>(m_pPreviewSource->GetWidth());
        const INT height = static_cast<INT>(m_pPreviewSource->GetHeight());
        m_pPreviewImage.reset(m_pPreviewSource->Clone(0, 0, width, height, PixelFormat32bppARGB));
        if (bMirrorV)
            m_pPreviewImage->RotateFlip(Gdiplus::Rotate180FlipX);
        if (bMirrorH)
            m_pPreviewImage->RotateFlip(Gdiplus::RotateNoneFlipX);
        if (nAngle == 9000)
            m_pPreviewImage->RotateFlip(Gdiplus::Rotate90FlipNone);
        else if (nAngle == 18000)
            m_pPreviewImage->RotateFlip(Gdiplus::Rotate180FlipNone);
        else if (nAngle != 0)
            m_pPreviewImage->RotateFlip(Gdiplus::Rotate270FlipNone);
        InvalidatePicture();

        // The sample's stretch factors follow the window's proportions in landscape layout.
        UpdateAspectFactors(nAngle, WindowScreenRect());

        SetRect(&m_rcImage, 0, 0, static_cast<int>(m_pPreviewImage->GetWidth()),
                static_cast<int>(m_pPreviewImage->GetHeight()));
        UpdateUnitsPerPixel();
        if (UpdateZoom())
            UpdateScrollBars();
        UpdateTrackers();
    }
    ::SetCursor(hOldCursor);
}
