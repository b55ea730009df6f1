// CScanViewPreview: construction, destruction, the report overridables and the window
// helpers the geometry shares.
#include "ScanViewPreview.h"

// --- Construction

CScanViewPreview::CScanViewPreview()
    : m_rcCrop{0, 0, 0, 0},
      m_rcPage{0, 0, 0, 0},
      // The sample pages' sizes in page units (637 x 877 and 1275 x 877 pixels at 75 dpi).
      m_rcPortraitPage{0, 0, 8493, 11693},
      m_rcLandscapePage{0, 0, 17000, 11693},
      m_bSampleShown(true),
      m_rcImage{0, 0, 0, 0},
      m_fAspectUpright(1.0f),
      m_fAspectTurned(1.0f),
      m_bLandscape(false),
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
      m_bWritingToHost(false),
      m_tracker(0, 0, 0, 0, this),
      m_rcCropImage{0, 0, 0, 0}
{
}

CScanViewPreview::~CScanViewPreview()
{
    // Bitmaps go before GDI+ is shut down.
    m_pPreviewImage.reset();
    m_pPreviewSource.reset();
    m_pCloseGlyph.reset();
    m_gdiplus.Shutdown();
}

// --- Overridables

void CScanViewPreview::ReportOrientation() {}

void CScanViewPreview::ReportFrames(int /*nIndex*/) {}

// --- Scroll bars

void CScanViewPreview::UpdateScrollBars()
{
    // Minimal form: the scroll bars are not set up yet, so there is nothing to update.
}

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
