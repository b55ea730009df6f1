// CRectTrackerBase: a rectangle in client pixels of a window, with eight resize handles,
// hit testing and a modal mouse loop that moves the rectangle or one of its edges. Drawing,
// hit areas and drag feedback are virtual so that a derived tracker can replace them.
#pragma once

#include <windows.h>

class CRectTrackerBase {
public:
    // Style bits of `style`.
    enum StyleFlags : UINT {
        StyleSolidLine = 0x01,       // solid border one pixel outside `rect`
        StyleDottedLine = 0x02,      // dotted border one pixel outside `rect`
        StyleHatchedBorder = 0x04,   // hatched band around `rect`, a middle hit
        StyleHandlesInside = 0x08,   // resize handles inside `rect`
        StyleHandlesOutside = 0x10,  // resize handles outside `rect`
        StyleHatchInside = 0x20,     // hatch over the inside of `rect`
    };

    // Hit codes; 0 to 7 are also handle numbers. 9 is a cursor index only here (the hatched
    // band); derived trackers may give it a hit meaning of their own.
    enum TrackerHit : int {
        HitNothing = -1,
        HitTopLeft = 0,
        HitTopRight = 1,
        HitBottomRight = 2,
        HitBottomLeft = 3,
        HitTop = 4,
        HitRight = 5,
        HitBottom = 6,
        HitLeft = 7,
        HitMiddle = 8,
        HitHatchedBorder = 9,
    };

    // --- Construction
    CRectTrackerBase(const RECT& r, UINT nStyle);
    CRectTrackerBase(const CRectTrackerBase&) = default;
    CRectTrackerBase& operator=(const CRectTrackerBase&) = default;

    // --- Overridables, in their vtable order.
    virtual void Draw(HDC dc, const RECT* r = nullptr);
    virtual BOOL SetCursorForHit(HWND wnd, UINT hitTestCode);
    virtual int HitTest(int x, int y);
    virtual void DrawDragFeedback(const RECT* r, HWND clipTo, HDC dc, HWND wnd);
    virtual void AdjustRect(int handle, RECT* r);
    virtual void OnRectChanged(const RECT* old);
    virtual UINT GetHandleMask();
    virtual ~CRectTrackerBase();
    virtual void GetHandleRect(int handle, RECT* out);
    virtual int GetHandleSize(const RECT* r = nullptr);

    // --- Operations
    // Starts a drag at (x, y) (client pixels of wnd) on the handle or the middle found
    // there. TRUE when the rectangle ended different from where it started.
    BOOL Track(HWND wnd, int x, int y, BOOL bAllowInvert = FALSE, HWND clipTo = nullptr);
    // Drags a new rectangle out from (x, y); the result may be inverted.
    BOOL TrackNewRect(HWND wnd, int x, int y, BOOL bAllowInvert = TRUE);
    // The modal loop: runs until button-up, Escape, a right click or the loss of the capture.
    BOOL TrackHandle(int handle, HWND wnd, int x, int y, HWND clipTo);

    int HitTestHandles(int x, int y);
    void GetBoundingRect(RECT* out);
    int NormalizeHandle(int handle);
    void GetMovedEdges(int handle, LONG** xEdge, LONG** yEdge, int* x0, int* y0);

    // --- Attributes (client pixels of the tracker's window)
    UINT style;
    RECT rect;
    SIZE minSize;
    int handleSize;
    BOOL allowInvert;
    RECT lastRect;
    SIZE lastBorder;
    BOOL erasing;
    BOOL finalErase;

protected:
    // The process-wide objects every tracker shares: created on the first construction and
    // kept as long as the module is loaded.
    struct SharedObjects {
        int handleSize;
        HBRUSH hatchBrush;
        HPEN dottedPen;
        HCURSOR cursors[10];  // indexed by hit code 0 to 9
    };
    static const SharedObjects& Shared();

    void InitTracker();
    RECT NormalizedRect() const;
    BOOL HasLineStyle() const { return (style & (StyleSolidLine | StyleDottedLine)) != 0; }
    BOOL HasHandleStyle() const { return (style & (StyleHandlesInside | StyleHandlesOutside)) != 0; }

private:
    void DrawHandles(HDC dc);
    void DrawHatchedBorder(HDC dc, const RECT& rc);
};
