// CScanViewPreview: editing the crop frames with the mouse. A press on a frame moves or
// resizes it, a press on its close glyph deletes it, a press on bare paper drags out a new
// frame. Every finished edit goes back to the three frame lists and to the host.
#include "ScanViewPreview.h"

#include <algorithm>

#include <atltypes.h>

namespace {

// The image pixels a frame covers: the whole pixels inside its view rectangle.
RECT ImageRectOfFrame(const CScanViewPreview& view, const RECT& rcView)
{
    CRect rcImage(view.ViewToImageCeilX(rcView.left), view.ViewToImageCeilY(rcView.top),
                       view.ViewToImageFloorX(rcView.right), view.ViewToImageFloorY(rcView.bottom));
    rcImage.NormalizeRect();
    return rcImage;
}

void NormalizeTracker(CMainPaneTracker& tracker)
{
    CRect rc(tracker.rect);
    rc.NormalizeRect();
    tracker.rect = rc;
}

}  // namespace

LRESULT CScanViewPreview::OnLButtonDown(UINT /*uMsg*/, WPARAM /*wParam*/, LPARAM lParam, BOOL& /*bHandled*/)
{
    if (!m_bFramesVisible || m_bEditing)
        return 0;
    // View coordinates. The words are unsigned: a press left of or above the window lies
    // far to the right or below, off the paper.
    const POINT ptView = {LOWORD(lParam), HIWORD(lParam)};

    // The paper grown by one pixel, so that a frame can be dragged onto the paper's edge.
    RECT rcClient = {0, 0, 0, 0};
    GetClientRect(&rcClient);
    RECT rcPaper;  // view coordinates
    GetPaperRects(rcClient, nullptr, &rcPaper, nullptr);
    InflateRect(&rcPaper, 1, 1);
    if (!PtInRect(&rcPaper, ptView))
        return 0;

    // The mouse stays on the paper for the whole edit.
    m_bEditing = true;
    RECT rcConfine = rcPaper;  // screen coordinates
    ::MapWindowPoints(m_hWnd, nullptr, reinterpret_cast<POINT*>(&rcConfine), 2);
    ::ClipCursor(&rcConfine);

    // The first frame in list order that the press hits, though later ones are drawn on top.
    size_t nFrame = 0;
    int nHit = CRectTrackerBase::HitNothing;
    for (; nFrame < m_vecTrackers.size(); ++nFrame) {
        nHit = m_vecTrackers[nFrame].HitTest(ptView.x, ptView.y);
        if (nHit != CRectTrackerBase::HitNothing)
            break;
    }

    const int nIndex = static_cast<int>(nFrame);
    if (nHit == CMainPaneTracker::HitCloseGlyph) {
        m_vecTrackers.erase(m_vecTrackers.begin() + nIndex);
        if (nFrame < m_vecFrameImages.size())
            m_vecFrameImages.erase(m_vecFrameImages.begin() + nIndex);
        if (nFrame < m_vecFrames.size())
            m_vecFrames.erase(m_vecFrames.begin() + nIndex);
        // The last frame cannot be deleted, so it shows no glyph.
        if (m_vecTrackers.size() == 1)
            m_vecTrackers.front().glyphShown = FALSE;
        SyncFrameImages();
        CommitTracker(nullptr, nIndex);  // the index the deleted frame had
    } else if (nHit != CRectTrackerBase::HitNothing) {
        // The tracking loop finds the dragged handle again itself.
        CMainPaneTracker& tracker = m_vecTrackers[nFrame];
        if (tracker.Track(m_hWnd, ptView.x, ptView.y, TRUE, nullptr)) {
            NormalizeTracker(tracker);
            SyncFrameImages();
            CommitTracker(&tracker, nIndex);
        }
    } else {
        CMainPaneTracker trackerNew(0, 0, 0, 0, this);
        if (m_pCloseGlyph)
            trackerNew.SetCloseGlyph(m_pCloseGlyph.get());  // also the smallest frame size
        // The paint draws the active tracker while it is dragged out.
        m_pActiveTracker = &trackerNew;
        if (trackerNew.TrackNewRect(m_hWnd, ptView.x, ptView.y, TRUE)) {
            NormalizeTracker(trackerNew);
            m_vecTrackers.push_back(trackerNew);
            m_vecFrameImages.push_back(ImageRectOfFrame(*this, trackerNew.rect));
            SyncFrameImages();
            CommitTracker(&trackerNew, static_cast<int>(m_vecTrackers.size()) - 1);
        }
        m_pActiveTracker = nullptr;
        if (m_vecTrackers.size() > 1) {
            for (CMainPaneTracker& tracker : m_vecTrackers)
                tracker.glyphShown = TRUE;
        }
    }

    ::ClipCursor(nullptr);
    m_bEditing = false;
    InvalidateRect(nullptr, TRUE);
    return 0;
}

LRESULT CScanViewPreview::OnSetCursor(UINT /*uMsg*/, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    const UINT nHitTest = LOWORD(lParam);
    if (!m_bFramesVisible || reinterpret_cast<HWND>(wParam) != m_hWnd || nHitTest != HTCLIENT) {
        bHandled = FALSE;  // the default cursor handling
        return 0;
    }
    // A tracker that finds none of its parts under the pointer shows the cross.
    for (CMainPaneTracker& tracker : m_vecTrackers) {
        if (tracker.SetCursorForHit(m_hWnd, nHitTest))
            return 1;
    }
    return 0;
}

void CScanViewPreview::SyncFrameImages()
{
    const size_t count = std::min(m_vecTrackers.size(), m_vecFrameImages.size());
    for (size_t i = 0; i < count; ++i)
        m_vecFrameImages[i] = ImageRectOfFrame(*this, m_vecTrackers[i].rect);
}
