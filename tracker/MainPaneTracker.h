// CMainPaneTracker: the tracker of one crop frame in the preview view. A frame shows as
// black dashes on white with, while it may be deleted, a close glyph in its top-right
// corner; a dragged frame snaps to whole image pixels and stays inside the image.
// Its rectangle is in view coordinates (client pixels of the view).
#pragma once

#include <windows.h>
#include <gdiplus.h>

#include "RectTrackerBase.h"

class CScanViewPreview;

class CMainPaneTracker : public CRectTrackerBase {
public:
    enum { HitCloseGlyph = 9 };
    // View pixels around a frame that its drawing reaches: the dashed border outside it and the
    // handles.
    enum { kFeedbackMargin = 8 };

    // --- Construction (view coordinates)
    CMainPaneTracker(int left, int top, int right, int bottom, CScanViewPreview* pView);
    CMainPaneTracker(const CMainPaneTracker&) = default;
    CMainPaneTracker& operator=(const CMainPaneTracker&) = default;

    // --- Operations
    // The glyph is not owned. It also sets the smallest frame: one pixel more than the glyph.
    void SetCloseGlyph(Gdiplus::Image* pGlyph);

    // --- Overrides of CRectTrackerBase
    void Draw(HDC dc, const RECT* r = nullptr) override;
    BOOL SetCursorForHit(HWND wnd, UINT hitTestCode) override;
    int HitTest(int x, int y) override;
    void DrawDragFeedback(const RECT* r, HWND clipTo, HDC dc, HWND wnd) override;
    void AdjustRect(int handle, RECT* r) override;
    ~CMainPaneTracker() override;
    void GetHandleRect(int handle, RECT* out) override;

    // --- Attributes
    CScanViewPreview* view;  // not owned
    BYTE ellipseShape;       // always false
    BYTE glyphShown;         // the close glyph is shown and active
    Gdiplus::Image* closeGlyph;
    HCURSOR cursorMove;
    HCURSOR cursorNWSE;
    HCURSOR cursorNESW;
    HCURSOR cursorNS;
    HCURSOR cursorWE;
    HCURSOR cursorClose;

private:
    // --- Implementation
    bool HasActiveGlyph() const { return glyphShown && closeGlyph != nullptr; }
    void DrawCloseGlyph(HDC dc, const RECT& rcFrame);
    void SnapToImagePixels(int handle, RECT* r);
    // The last image column (row) + 1 that a frame may reach, image pixels.
    int HorizontalLimit() const;
    int VerticalLimit() const;
    int PageExtentLimit(bool bHorizontal) const;
};
