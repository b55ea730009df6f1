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
// Messages reach the view's own map first, then the busy overlay's (CQORWait), then the
// framework's scrolling map (CScrollWindowImpl), of which only the wheel, WM_SETTINGCHANGE,
// WM_PRINTCLIENT and the tail of WM_PAINT still arrive. The view scrolls with its own offsets
// (m_nOffsetX, m_nOffsetY); the framework's scroll size stays 0, so its wheel does nothing.
#pragma once

#include <windows.h>
#include <atlbase.h>
#include <atlwin.h>
#include <atlscrl.h>
#include <atlstr.h>
#include <gdiplus.h>

#include <memory>
#include <vector>

#include "MainPaneTracker.h"
#include "PaintBuffer.h"
#include "PreviewPicture.h"
#include "QORWait.h"

// WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, no extended style.
typedef ATL::CWinTraits<0x56000000, 0> CScanViewPreviewTraits;

class CScanViewPreview;
typedef WTL::CScrollWindowImpl<CScanViewPreview, ATL::CWindow, CScanViewPreviewTraits> CScanViewPreviewScrollBase;

class CScanViewPreview : public CScanViewPreviewScrollBase, public CQORWait<CScanViewPreview> {
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
        MESSAGE_HANDLER(WM_CREATE, OnCreate)
        MESSAGE_HANDLER(WM_SIZE, OnSize)
        MESSAGE_HANDLER(WM_ERASEBKGND, OnEraseBackground)
        MESSAGE_HANDLER(WM_PAINT, OnPaint)
        MESSAGE_HANDLER(WM_LBUTTONUP, OnNoDefault)
        MESSAGE_HANDLER(WM_HSCROLL, OnScroll)
        MESSAGE_HANDLER(WM_VSCROLL, OnScroll)
        MESSAGE_HANDLER(WM_DESTROY, OnNoDefault)
        MESSAGE_HANDLER(WM_LBUTTONDOWN, OnLButtonDown)
        MESSAGE_HANDLER(WM_SETCURSOR, OnSetCursor)
        CHAIN_MSG_MAP(CQORWait<CScanViewPreview>)
        CHAIN_MSG_MAP(CScanViewPreviewScrollBase)
    END_MSG_MAP()

    // --- Message handlers
    // Takes WS_EX_LAYOUTRTL off a new window and puts its vertical bar on the left instead:
    // the preview is never mirrored. Leaves the message to the maps below.
    LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    // The layout for the new window size; also posted with wParam and lParam 0 to ask for a
    // new layout. Returns 1.
    LRESULT OnSize(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    // The background is never erased: the paint covers the whole client area.
    LRESULT OnEraseBackground(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    // Paints into the DC in wParam, or inside BeginPaint/EndPaint, then leaves the message
    // unhandled so that the busy overlay paints on top.
    LRESULT OnPaint(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    // WM_HSCROLL and WM_VSCROLL: moves the view's scroll offset (image pixels).
    LRESULT OnScroll(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    // WM_LBUTTONUP and WM_DESTROY end at the view with 0: nothing to do, no default.
    LRESULT OnNoDefault(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);

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

    // --- Layout and scroll bars
    // The layout for a new page or crop (page units). An empty page or crop changes nothing;
    // the crop is clipped to the page. With bResetFrames, or without trackers, the crop
    // becomes the one and only frame. Zoom and scroll bars are the caller's.
    void SetPageAndCrop(const RECT& rcPage, const RECT& rcCrop, bool bResetFrames);
    // Both scroll bars from the zoomed image size; positions and ranges in image pixels.
    void UpdateScrollBars();
    // Moves bar nBar (SB_HORZ or SB_VERT) by request nCode (SB_LINEUP, ...) and the view's
    // offset with it.
    void ScrollPreview(int nBar, int nCode);
    // Image rectangles and trackers for the frames in m_vecFrames when neither exists yet,
    // without orientation.
    void BuildFrameViews();
    // Rebuilds the displayed bitmap from m_pPreviewSource in the current orientation.
    void ApplyOrientation();

    // --- Mouse editing
    // Moves or resizes the frame under the press, deletes it through its close glyph, or
    // drags out a new frame on empty paper; the button-up of a drag is taken by the
    // tracking loop, so WM_LBUTTONUP itself has nothing left to do (OnNoDefault).
    LRESULT OnLButtonDown(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    // The cursor of the frame part under the pointer, the cross on bare paper.
    LRESULT OnSetCursor(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    // Every frame's image rectangle again from its tracker at the same index.
    void SyncFrameImages();
    // An edit runs inside OnLButtonDown; a press dispatched by its own tracking loop must
    // not start another one on the same lists.
    bool m_bEditing = false;

    // --- Painting
    // The framework's overridable: the live paint while partial previews are shown, else the
    // normal paint. Both compose off screen and copy to hdc in one block transfer.
    void DoPaint(HDC hdc);
    // The preview (or sample) with grey surroundings, the wash outside the frames and the
    // frames on top; plain grey straight into hdc when there is no picture.
    void DrawPreview(HDC hdc);
    // The live page of a running scan, its received rows over grey; nothing without canvases.
    void DrawLive(HDC hdc);
    // The first off-screen buffer for rcClient (view coordinates), kept while the client size
    // stays, and the colour transform of m_nColorMode set on attributes. Null on failure.
    HDC PrepareBuffer(const RECT& rcClient, Gdiplus::ImageAttributes& attributes);
    // PrepareBuffer holding a copy of the window's content; null when nothing would reach the
    // screen (an empty clip) or on failure.
    HDC BeginBuffer(HDC hdc, const RECT& rcClient, Gdiplus::ImageAttributes& attributes);
    // The pixels of the displayed or live image changed: the kept scaled picture is stale.
    void InvalidatePicture();
    CPaintBuffer m_bufferPaint;   // the first buffer: the picture, the grey, the wash
    CPaintBuffer m_bufferFrames;  // the second buffer: a copy of the first with the frames
    CPreviewPicture m_picture;    // the image scaled and recoloured, kept between paints

    // --- Image store
    // The sample pages, the live canvases of a scan, the oriented preview and the files
    // behind them. Every canvas is 32bppARGB. A bitmap decoded from a file keeps the file
    // open, so it is disposed before its file is moved or deleted.
    enum { IDR_SAMPLE_PORTRAIT = 103, IDR_CLOSE_GLYPH = 104, IDR_SAMPLE_LANDSCAPE = 112 };
    // Folders end with the platform's separator where Windows ends them with a backslash.
    static constexpr WCHAR kPathSeparator = OLESTR('/');
    // Path buffers: 261 characters and the NUL.
    enum { PATH_BUFFER_CHARS = 262 };
    // Decodes resource nID of type pszType from a copy in movable global memory, which
    // stays allocated and locked in *phData for as long as the bitmap lives.
    std::unique_ptr<Gdiplus::Bitmap> LoadImageResource(UINT nID, LPCWSTR pszType, HGLOBAL* phData);
    // Construction step: the samples with their page sizes at 75 dpi, and the close glyph.
    void LoadResourceImages();
    // Teardown step: the samples and the glyph, then their memory blocks.
    void ReleaseResourceImages();
    // Scan start: cxView x cyView is the region about to be scanned (only its ratio counts).
    void BeginScanCanvas(int cxView, int cyView);
    void ResetScanCanvas();
    // Both let go of the partial preview before they decode, and delete its file after:
    // the image decoded from the same file again holds it, so it is not deleted.
    bool LoadPartialPreview(LPCWSTR pszPath);
    bool SetPreviewImage(LPCWSTR pszPath = nullptr);
    // The notifications' form of ApplyOrientation: the partial previews are over.
    void ReapplyOrientation();
    // Copies src (or nothing) into the top left of the cxImage x cyImage area of dst and
    // fills the rest; sets m_fReceivedFraction.
    bool ComposeCanvas(Gdiplus::Bitmap* pDst, Gdiplus::Bitmap* pSrc, int cxImage, int cyImage, bool bWhiteFill);
    void ReleaseImages();
    void DeleteFolderTree(LPCWSTR pszFolder);
    void DeleteFolderFiles(LPCWSTR pszFolder);
    // The files of a final preview (the engine's "prev_100.jpg" at pszPath): the kept
    // preview file's path, the copy through the scan temp folder, the preview backup of a
    // final scan, then the move over the preview file. strShown is the file to show: the
    // preview file, or the scan's own file when it could not replace the preview file (the
    // backup of a final scan could not be made, or the move failed). False, with nothing
    // done, for a path that does not fit the path buffers or names no file.
    bool KeepFinalPreview(LPCWSTR pszPath, bool bPreviewScan, ATL::CStringW& strShown);
    // A final scan's backup of the kept preview in the scan temp folder, made once per
    // scan; false when there is a preview file and no backup of it could be made.
    bool BackUpPreviewFile();
    // Scan end: puts the preview backup back over the preview file and deletes the scan
    // temp folder.
    void RestorePreviewBackup();
    // Scan end and scan start: the scan temp folder goes, after its preview backup went
    // back over the preview file. A backup that cannot go back is the only copy of the kept
    // preview: its folder then stays on disk.
    void ReleaseScanFolder();
    // View destruction: the engine's preview files ("prev_1.jpg" to "prev_100.jpg") go.
    void DeleteEngineFiles();
    // Deletes the file that szPath names and empties szPath, but only a file the control
    // may delete: one of the engine's "prev_%d.jpg" or the control's "qor_org_preview.jpg",
    // and neither a folder nor a link. A host's path may name anything; other files stay.
    static void DeletePreviewFile(WCHAR (&szPath)[PATH_BUFFER_CHARS]);

    std::unique_ptr<Gdiplus::Bitmap> m_pSamplePortrait;   // JPEG 103, 637 x 877
    std::unique_ptr<Gdiplus::Bitmap> m_pSampleLandscape;  // JPEG 112, 1275 x 877
    std::unique_ptr<Gdiplus::Bitmap> m_pLiveBackground;   // client size, dim gray
    std::unique_ptr<Gdiplus::Bitmap> m_pLivePage;         // received rows padded to the scan aspect
    std::unique_ptr<Gdiplus::Bitmap> m_pPartialImage;     // the last partial preview, file-backed
    HGLOBAL m_hSamplePortraitData = nullptr;
    HGLOBAL m_hSampleLandscapeData = nullptr;
    HGLOBAL m_hCloseGlyphData = nullptr;
    bool m_bHadPreviewAtScanStart = false;
    float m_fScanAspect = 1.0f;        // height / width of the region being scanned
    float m_fReceivedFraction = 0.0f;  // share of the live page's rows received
    DWORD m_dwBaseStyle = 1;           // the host's "base.style"
    ATL::CStringW m_strTempFolder;     // the scan temp folder with its separator; empty when none
    WCHAR m_szEngineFolder[PATH_BUFFER_CHARS] = {};  // the engine preview folder with its separator
    WCHAR m_szPreviewFile[PATH_BUFFER_CHARS] = {};   // the kept preview file ("qor_org_preview.jpg")
    WCHAR m_szPartialFile[PATH_BUFFER_CHARS] = {};   // the file m_pPartialImage was decoded from

    // --- Members, in the view's order (the image store's own are declared above)
    RECT m_rcCrop;           // crop rectangle, page units
    RECT m_rcPage;           // page, page units; left and top are 0
    RECT m_rcPortraitPage;   // portrait sample page, page units
    RECT m_rcLandscapePage;  // landscape sample page, page units
    bool m_bSampleShown;
    std::vector<RECT> m_vecFrames;  // crop frames, page units
    RECT m_rcImage;                 // {0, 0, w, h} of the displayed bitmap, image pixels
    RECT m_rcFit;                   // fit box: the page fitted into the window size at (0, 0), window pixels
    RECT m_rcCropFit;               // m_rcCrop scaled into the fit box, window pixels
    float m_fPageAspect;            // page height / width
    float m_fAspectUpright;         // window height/width, landscape at 0 and 18000
    std::unique_ptr<Gdiplus::Bitmap> m_pPreviewImage;   // the displayed, oriented preview
    std::unique_ptr<Gdiplus::Bitmap> m_pPreviewSource;  // the preview before orientation
    std::unique_ptr<Gdiplus::Bitmap> m_pCloseGlyph;     // 16 x 16 close glyph of the frames
    int m_nColorMode;       // 24 colour, 0 greyscale, 1 black-and-white
    float m_fAspectTurned;  // window height/width, landscape at 9000 and 27000
    bool m_bFitPage;        // the running scan is a preview scan: the live image follows m_rcFit
    RECT m_rcPageSaved;     // saved by the crop-as-page switch, page units
    RECT m_rcCropSaved;     // saved by the crop-as-page switch, page units
    float m_fPageAspectSaved;
    bool m_bPartialPreview;  // partial previews of a running scan are shown
    bool m_bAutoCropPending;

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
    bool m_bPageLandscape;
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
    bool m_bFramesVisible;  // the crop frames are shown and editable
    bool m_bWritingToHost;
    CMainPaneTracker m_tracker;                  // tracker of m_rcCrop, view coordinates
    CMainPaneTracker* m_pActiveTracker;          // the tracker being dragged; null when none
    std::vector<CMainPaneTracker> m_vecTrackers;  // one per frame, view coordinates
    RECT m_rcCropImage;                          // m_rcCrop in image pixels
    std::vector<RECT> m_vecFrameImages;          // crop frames, image pixels

private:
    // --- Implementation
    double AspectFactor() const;
    int ClientWidth() const;
    int ClientHeight() const;
    RECT WindowScreenRect() const;
    // The layout's fit box, crop box and crop image rectangle for the current page, crop and
    // window; the orientation and window rectangle used are returned for the frame mapping.
    void LayoutFitBoxes(bool& bMirrorV, bool& bMirrorH, int& nAngle, RECT& rcWindow);
    // The sample's stretch factors: window height/width in landscape layout, else 1.0.
    void UpdateAspectFactors(int nAngle, const RECT& rcWindow);
    // Showing or hiding a bar resizes the client area, whose WM_SIZE lays the page out
    // again; that nested layout leaves the bars to the update that is running, or a page
    // that needs a bar only while it is hidden would toggle it until the stack ran out.
    bool m_bUpdatingScrollBars = false;
    void SetScrollBars();
    // One scroll bar for the range 0..nMax (image pixels), the thumb kept where it was.
    void SetScrollBar(int nBar, int nOldRange, int nOldPos, UINT nOldPage, int nMax, int nPage);
    // Page units to image pixels for every frame: for the angle alone, then with the mirrors.
    void MapFramesForOrientation(bool bMirrorV, bool bMirrorH, int nAngle, const RECT& rcWindow, bool bReport);
    void AppendOperation(const Gdiplus::Matrix& operation);
    // A quarter turn on screen, to the right (bRight) or to the left.
    void Turn(bool bRight);
    // A mirror on screen: left to right (bLeftRight) or top to bottom.
    void Mirror(bool bLeftRight);
    void FinishTurn();
    void FinishMirror();

};
