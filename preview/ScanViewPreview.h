// CScanViewPreview: the child window that shows the preview page and its crop frames.
//
// Every crop frame exists in three coordinate spaces, held in three index-aligned lists:
//   page units      thousandths of an inch on the page as the scanner sees it, never turned
//                   or mirrored (m_rcPage, m_rcCrop, m_vecFrames);
//   image pixels    pixels of the displayed, already turned and mirrored preview bitmap
//                   (m_rcImage, m_rcCropImage, m_vecFrameImages, the scroll offsets);
//   view coordinates client pixels of this window (the trackers, m_tracker, m_vecTrackers).
// The conversions between them are named for their direction (PageToImageCeil,
// ImageToViewFloorX, ...) and round inward: up for left and top edges, down for right and
// bottom edges.
//
// This file holds the window's geometry. The message map, layout, scroll bars, painting,
// busy overlay and image store are added to the class as they are built.
#pragma once

#include <windows.h>
#include <atlbase.h>
#include <atlwin.h>
#include <gdiplus.h>

#include <memory>
#include <vector>

#include "MainPaneTracker.h"

// WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, no extended style.
typedef ATL::CWinTraits<0x56000000, 0> CScanViewPreviewTraits;

// The framework's scrolling window (CScrollWindowImpl) is not part of our ATL yet; the view
// derives from the window implementation it would wrap. The view never scrolls through it.
class CScanViewPreview : public ATL::CWindowImpl<CScanViewPreview, ATL::CWindow, CScanViewPreviewTraits> {
public:
    // The page area in view coordinates, as float edges.
    struct PageAreaF {
        float left;
        float top;
        float right;
        float bottom;
    };

    // --- Construction
    CScanViewPreview();
    ~CScanViewPreview() override;
    CScanViewPreview(const CScanViewPreview&) = delete;
    CScanViewPreview& operator=(const CScanViewPreview&) = delete;

    BEGIN_MSG_MAP(CScanViewPreview)
    END_MSG_MAP()

    // --- Overridables: reports to the host, empty in the view.
    virtual void ReportOrientation();
    virtual void ReportFrames(int nIndex);

    // --- Orientation
    // Decodes m_matOrientation: mirror top-bottom (bMirrorV), then left-right (bMirrorH),
    // then turn clockwise by nAngle (hundredths of a degree: 0, 9000, 18000, 27000).
    void GetOrientation(bool& bMirrorV, bool& bMirrorH, int& nAngle) const;
    void RotateRight();
    void RotateLeft();
    void MirrorHorizontal();
    void MirrorVertical();

    // --- Scale and zoom
    void UpdateUnitsPerPixel();
    bool UpdateZoom();

    // --- Conversions
    // Image pixels to view coordinates (the scroll offset is subtracted).
    double ImageToViewX(double xImage) const;
    double ImageToViewY(double yImage) const;
    int ImageToViewCeilX(int xImage) const;
    int ImageToViewCeilY(int yImage) const;
    int ImageToViewFloorX(int xImage) const;
    int ImageToViewFloorY(int yImage) const;
    // View coordinates to image pixels. The double forms convert lengths (no offset); the
    // integer forms convert positions (the scroll offset is added).
    double ViewToImageX(double cxView) const;
    double ViewToImageY(double cyView) const;
    int ViewToImageCeilX(int xView) const;
    int ViewToImageCeilY(int yView) const;
    int ViewToImageFloorX(int xView) const;
    int ViewToImageFloorY(int yView) const;
    // Page units to image pixels, the same for both axes.
    int PageToImageCeil(int nPage) const;
    int PageToImageFloor(int nPage) const;
    // View coordinates to page units of the turned page.
    int ViewToPageCeilX(int xView) const;
    int ViewToPageCeilY(int yView) const;
    int ViewToPageFloorY(int yView) const;
    // Page units of the turned page to view coordinates.
    int PageToViewCeilX(int xPage) const;
    int PageToViewCeilY(int yPage) const;
    int PageToViewFloorX(int xPage) const;
    int PageToViewFloorY(int yPage) const;

    // --- Frames
    // Page units to image pixels for every frame, for the orientation the bitmap has or is
    // about to get; rcWindow is the window's screen rectangle.
    void MapFramesToImage(bool bMirrorV, bool bMirrorH, int nAngle, RECT rcWindow, bool bReport);
    // Image pixels to view coordinates for every tracker.
    void UpdateTrackers();
    // Writes an edited tracker (view coordinates) back to page units: the crop rectangle
    // for nIndex < 0, else frame nIndex. A null tracker with nIndex >= 0 only reports.
    void CommitTracker(CMainPaneTracker* pTracker, int nIndex);
    // The paper's layout: rcClient in, the page area (view coordinates), the paper in view
    // coordinates and the paper in image pixels out.
    void GetPaperRects(const RECT& rcClient, PageAreaF* pPageArea, RECT* prcImageView, RECT* prcPaperImage) const;

    // --- Image store and scroll bars
    // Rebuilds the displayed bitmap from m_pPreviewSource in the current orientation (the
    // image store's step; the store that loads the source comes with the image files).
    void ApplyOrientation();
    // Minimal form: does nothing until the view has its scroll bars.
    void UpdateScrollBars();

    // --- Members
    RECT m_rcCrop;           // crop rectangle, page units
    RECT m_rcPage;           // page, page units; left and top are 0
    RECT m_rcPortraitPage;   // portrait sample page, page units
    RECT m_rcLandscapePage;  // landscape sample page, page units
    bool m_bSampleShown;
    std::vector<RECT> m_vecFrames;  // crop frames, page units
    RECT m_rcImage;                 // {0, 0, w, h} of the displayed bitmap, image pixels
    float m_fAspectUpright;         // window height/width, landscape at 0 and 18000
    std::unique_ptr<Gdiplus::Bitmap> m_pPreviewImage;   // the displayed, oriented preview
    std::unique_ptr<Gdiplus::Bitmap> m_pPreviewSource;  // the preview before orientation
    std::unique_ptr<Gdiplus::Bitmap> m_pCloseGlyph;     // 16 x 16 close glyph of the frames
    float m_fAspectTurned;  // window height/width, landscape at 9000 and 27000

private:
    // GDI+ is started once per view, before the view makes any GDI+ object.
    struct GdiplusSession {
        GdiplusSession() { status = Gdiplus::GdiplusStartup(&token, &input, nullptr); }
        ~GdiplusSession() { Shutdown(); }
        void Shutdown()
        {
            if (status == Gdiplus::Ok && token != 0)
                Gdiplus::GdiplusShutdown(token);
            token = 0;
        }
        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR token = 0;
        Gdiplus::Status status = Gdiplus::GenericError;
    };

public:
    GdiplusSession m_gdiplus;
    bool m_bLandscape;
    int m_nOffsetX;           // scroll position, image pixels
    int m_nOffsetY;           // scroll position, image pixels
    double m_dZoom;           // 2 to the power m_nZoomStep
    double m_dScaleX;         // image pixels per view pixel at zoom 1
    double m_dScaleY;         // image pixels per view pixel at zoom 1
    double m_dUnitsPerPixel;  // s: page units per image pixel
    int m_nZoomStep;          // 0 = fit to the window, up to 5
    Gdiplus::Matrix m_matOrientation;
    const Gdiplus::Matrix m_matRotateRight;
    const Gdiplus::Matrix m_matRotateLeft;
    const Gdiplus::Matrix m_matMirrorX;
    const Gdiplus::Matrix m_matMirrorY;
    bool m_bWritingToHost;
    CMainPaneTracker m_tracker;                  // tracker of m_rcCrop, view coordinates
    std::vector<CMainPaneTracker> m_vecTrackers;  // one per frame, view coordinates
    RECT m_rcCropImage;                          // m_rcCrop in image pixels
    std::vector<RECT> m_vecFrameImages;          // crop frames, image pixels

private:
    // --- Implementation
    double AspectFactor() const;
    int ClientWidth() const;
    int ClientHeight() const;
    RECT WindowScreenRect() const;
    void AppendOperation(const Gdiplus::Matrix& operation);
    void FinishTurn();
    void FinishMirror();

};
