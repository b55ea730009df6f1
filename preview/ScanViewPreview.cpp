// CScanViewPreview: construction, destruction, the report overridables and the window
// helpers the geometry shares.
#include "ScanViewPreview.h"

// --- Construction

// Bases first: no window yet, the framework's scroll state, the idle busy wheel. Then the
// members in their order; GDI+ starts (m_gdiplus) before the matrices are made, and the
// resource images come last.
CScanViewPreview::CScanViewPreview()
    : m_rcCrop{0, 0, 0, 0},
      m_rcPage{0, 0, 0, 0},
      m_rcPortraitPage{0, 0, 0, 0},  // measured from the samples below
      m_rcLandscapePage{0, 0, 0, 0},
      m_bSampleShown(true),
      m_rcImage{0, 0, 0, 0},
      m_rcFit{0, 0, 0, 0},
      m_rcCropFit{0, 0, 0, 0},
      m_fPageAspect(1.0f),
      m_fAspectUpright(1.0f),
      m_nColorMode(24),
      m_fAspectTurned(1.0f),
      m_bFitPage(true),
      m_rcPageSaved{0, 0, 0, 0},
      m_rcCropSaved{0, 0, 0, 0},
      m_fPageAspectSaved(1.0f),
      m_bPartialPreview(false),
      m_bAutoCropPending(false),
      m_bLandscape(false),
      m_bPageLandscape(false),
      m_nOffsetX(0),
      m_nOffsetY(0),
      m_dZoom(1.0),
      m_dScaleX(1.0),
      m_dScaleY(1.0),
      m_dUnitsPerPixel(1.0),
      m_nZoomStep(0),
      m_matOrientation(),
      m_matRotateRight(0, 1, -1, 0, 0, 0),
      m_matRotateLeft(0, -1, 1, 0, 0, 0),
      m_matMirrorX(-1, 0, 0, 1, 0, 0),
      m_matMirrorY(1, 0, 0, -1, 0, 0),
      m_bFramesVisible(true),
      m_bWritingToHost(false),
      m_tracker(0, 0, 0, 0, this),
      m_pActiveTracker(nullptr),
      m_rcCropImage{0, 0, 0, 0}
{
    LoadResourceImages();
}

// The engine's preview files go, then GDI+; the members follow, and the busy wheel's timer
// is stopped last, by its base.
CScanViewPreview::~CScanViewPreview()
{
    // Bitmaps that the control's release has not disposed go first: a bitmap decoded from a
    // file keeps that file open, and no GDI+ image may outlive GDI+.
    ReleaseImages();
    DeleteEngineFiles();
    ReleaseResourceImages();
    m_gdiplus.Shutdown();
}

// --- Overridables

void CScanViewPreview::ReportOrientation() {}

void CScanViewPreview::ReportFrames(int /*nIndex*/) {}

// --- Implementation

int CScanViewPreview::ClientWidth() const
{
    RECT client = {0, 0, 0, 0};
    ::GetClientRect(m_hWnd, &client);
    return client.right - client.left;
}

int CScanViewPreview::ClientHeight() const
{
    RECT client = {0, 0, 0, 0};
    ::GetClientRect(m_hWnd, &client);
    return client.bottom - client.top;
}

// The window's screen rectangle; a window that cannot tell counts as 1024 x 1024.
RECT CScanViewPreview::WindowScreenRect() const
{
    RECT rcWindow = {0, 0, 1024, 1024};
    RECT rc;
    if (m_hWnd != nullptr && ::GetWindowRect(m_hWnd, &rc))
        rcWindow = rc;
    return rcWindow;
}
