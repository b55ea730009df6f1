// CScanViewPreview: the paint path. The normal paint shows the preview (or the sample page)
// with grey surroundings, the area outside the crop frames washed lighter and the frame
// trackers on top; the live paint shows the page of a running scan as its rows arrive. Both
// compose off screen and reach the window in one block transfer, so it never flickers.
//
// Painting runs on every mouse move of a frame drag and every tick of the busy wheel, so
// nothing page-sized is made per paint: the two off-screen buffers are kept while the client
// size stays, and the scaled, recoloured image is kept in m_picture until the image, its
// place in the view or the colour mode changes.
#include "ScanViewPreview.h"

#include <algorithm>
#include <cmath>

namespace {

const Gdiplus::ARGB kBackgroundGrey = 0xFF696969;  // dim gray around the page
const Gdiplus::ARGB kPageWhite = 0xFFFFFFFF;       // the page area the sample does not cover
const Gdiplus::ARGB kWash = 0x80FFFFFF;            // lightens the image outside the frames

// Greyscale: every channel becomes 0.299 r + 0.587 g + 0.114 b.
const Gdiplus::ColorMatrix kGreyscale = {{{0.299f, 0.299f, 0.299f, 0.0f, 0.0f},
                                          {0.587f, 0.587f, 0.587f, 0.0f, 0.0f},
                                          {0.114f, 0.114f, 0.114f, 0.0f, 0.0f},
                                          {0.0f, 0.0f, 0.0f, 1.0f, 0.0f},
                                          {0.0f, 0.0f, 0.0f, 0.0f, 1.0f}}};
// Black and white: every channel becomes 0.85 (r + g + b) - 1, then the threshold makes it
// full or nothing.
const Gdiplus::ColorMatrix kBlackWhite = {{{0.85f, 0.85f, 0.85f, 0.0f, 0.0f},
                                           {0.85f, 0.85f, 0.85f, 0.0f, 0.0f},
                                           {0.85f, 0.85f, 0.85f, 0.0f, 0.0f},
                                           {0.0f, 0.0f, 0.0f, 1.0f, 0.0f},
                                           {-1.0f, -1.0f, -1.0f, 0.0f, 1.0f}}};
const Gdiplus::REAL kBlackWhiteThreshold = 0.65f;

Gdiplus::RectF ToRectF(const RECT& rc)
{
    return Gdiplus::RectF(static_cast<Gdiplus::REAL>(rc.left), static_cast<Gdiplus::REAL>(rc.top),
                          static_cast<Gdiplus::REAL>(rc.right - rc.left), static_cast<Gdiplus::REAL>(rc.bottom - rc.top));
}

// The common part of two float rectangles; nothing at all when they do not meet.
Gdiplus::RectF IntersectRectF(const Gdiplus::RectF& a, const Gdiplus::RectF& b)
{
    const Gdiplus::REAL left = std::max(a.GetLeft(), b.GetLeft()), top = std::max(a.GetTop(), b.GetTop());
    const Gdiplus::REAL right = std::min(a.GetRight(), b.GetRight());
    const Gdiplus::REAL bottom = std::min(a.GetBottom(), b.GetBottom());
    if (right <= left || bottom <= top)
        return Gdiplus::RectF();
    return Gdiplus::RectF(left, top, right - left, bottom - top);
}

// Leaves the clip equal to rcfLimit within the client area: the client rectangle XOR the
// limit, excluded from the clip.
void LimitClip(Gdiplus::Graphics& graphics, const Gdiplus::RectF& rcfClient, const Gdiplus::RectF& rcfLimit)
{
    Gdiplus::Region outside(rcfClient);
    outside.Xor(rcfLimit);
    graphics.ExcludeClip(&outside);
}

// The pixels of rcDest (view coordinates) that the graphics' clip lets through in the client
// area: where an image drawn into rcDest lands.
RECT VisiblePart(Gdiplus::Graphics& graphics, const RECT& rcClient, const RECT& rcDest)
{
    RECT rcVisible = {0, 0, 0, 0};
    Gdiplus::Region clip;
    Gdiplus::RectF rcfBounds;
    if (graphics.GetClip(&clip) != Gdiplus::Ok || clip.Intersect(ToRectF(rcClient)) != Gdiplus::Ok ||
        clip.GetBounds(&rcfBounds, &graphics) != Gdiplus::Ok)
        return rcVisible;
    // A region is whole pixels, so its bounds are whole numbers.
    auto edge = [](Gdiplus::REAL value) { return static_cast<LONG>(std::lround(value)); };
    const RECT rcClip = {edge(rcfBounds.GetLeft()), edge(rcfBounds.GetTop()), edge(rcfBounds.GetRight()),
                         edge(rcfBounds.GetBottom())};
    ::IntersectRect(&rcVisible, &rcClip, &rcDest);
    return rcVisible;
}

}  // namespace

// --- Message handlers

LRESULT CScanViewPreview::OnEraseBackground(UINT /*uMsg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL& /*bHandled*/)
{
    return 1;
}

LRESULT CScanViewPreview::OnPaint(UINT /*uMsg*/, WPARAM wParam, LPARAM /*lParam*/, BOOL& bHandled)
{
    if (wParam != 0) {
        DoPaint(reinterpret_cast<HDC>(wParam));
    } else {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(&ps);
        if (hdc != nullptr) {
            DoPaint(hdc);
            EndPaint(&ps);
        }
    }
    bHandled = FALSE;  // the busy overlay paints next, on top
    return 0;
}

// --- Painting

void CScanViewPreview::DoPaint(HDC hdc)
{
    if (m_bPartialPreview)
        DrawLive(hdc);
    else
        DrawPreview(hdc);
}

void CScanViewPreview::InvalidatePicture()
{
    m_picture.Invalidate();
}

HDC CScanViewPreview::PrepareBuffer(const RECT& rcClient, Gdiplus::ImageAttributes& attributes)
{
    // Kept from the last paint while the client size stays. It is a 32-bit DIB section
    // whatever the target DC, which the final block transfer converts to; window DCs are
    // 32-bit.
    HDC hdcBuffer = m_bufferPaint.Prepare(rcClient.right - rcClient.left, rcClient.bottom - rcClient.top);
    if (m_nColorMode == 0) {
        attributes.SetColorMatrix(&kGreyscale, Gdiplus::ColorMatrixFlagsDefault, Gdiplus::ColorAdjustTypeDefault);
    } else if (m_nColorMode == 1) {
        attributes.SetColorMatrix(&kBlackWhite, Gdiplus::ColorMatrixFlagsDefault, Gdiplus::ColorAdjustTypeDefault);
        attributes.SetThreshold(kBlackWhiteThreshold, Gdiplus::ColorAdjustTypeDefault);
    }
    return hdcBuffer;
}

HDC CScanViewPreview::BeginBuffer(HDC hdc, const RECT& rcClient, Gdiplus::ImageAttributes& attributes)
{
    // The framework paints again inside a BeginPaint whose update region is already
    // validated; nothing of that would reach the screen.
    RECT rcClipBox;
    if (::GetClipBox(hdc, &rcClipBox) == NULLREGION)
        return nullptr;
    HDC hdcBuffer = PrepareBuffer(rcClient, attributes);
    // Whatever a paint leaves untouched keeps the window's pixels.
    if (hdcBuffer != nullptr)
        ::BitBlt(hdcBuffer, 0, 0, rcClient.right - rcClient.left, rcClient.bottom - rcClient.top, hdc, 0, 0, SRCCOPY);
    return hdcBuffer;
}

void CScanViewPreview::DrawPreview(HDC hdc)
{
    RECT rcClient = {0, 0, 0, 0};  // view coordinates
    GetClientRect(&rcClient);
    const int cxClient = rcClient.right - rcClient.left, cyClient = rcClient.bottom - rcClient.top;
    const Gdiplus::RectF rcfClient = ToRectF(rcClient);

    // No picture: plain grey, straight into the target.
    if (!m_pPreviewImage || ::IsRectEmpty(&m_rcPage)) {
        Gdiplus::Graphics graphics(hdc);
        Gdiplus::SolidBrush grey{Gdiplus::Color(kBackgroundGrey)};
        graphics.FillRectangle(&grey, rcClient.left, rcClient.top, cxClient, cyClient);
        return;
    }
    Gdiplus::ImageAttributes attributes;
    HDC hdcBuffer = BeginBuffer(hdc, rcClient, attributes);
    if (hdcBuffer == nullptr)
        return;

    // A bitmap without pixels (a file that did not decode) draws nothing but the frames.
    if (m_pPreviewImage->GetWidth() != 0 && m_pPreviewImage->GetHeight() != 0) {
        Gdiplus::Graphics graphics(hdcBuffer);
        graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);

        // The paper in view coordinates (D) and, in landscape layout, the page area (P).
        PageAreaF pageArea = {0.0f, 0.0f, 0.0f, 0.0f};
        RECT rcImageView = {0, 0, 0, 0};
        RECT rcPaperImage = {0, 0, 0, 0};
        GetPaperRects(rcClient, &pageArea, &rcImageView, &rcPaperImage);
        const Gdiplus::RectF rcfPaper = ToRectF(rcImageView);
        Gdiplus::RectF rcfPage(pageArea.left, pageArea.top, pageArea.right - pageArea.left,
                               pageArea.bottom - pageArea.top);

        // The image is limited to the page area in landscape layout, and to the rows received
        // so far under base style 0, which then stand for the page area.
        if (m_bLandscape) {
            LimitClip(graphics, rcfClient, rcfPage);
        } else if (m_dwBaseStyle == 0) {
            rcfPage = Gdiplus::RectF(rcfPaper.X, rcfPaper.Y, rcfPaper.Width, rcfPaper.Height * m_fReceivedFraction);
            LimitClip(graphics, rcfClient, rcfPage);
        }
        m_picture.Draw(graphics, hdcBuffer, *m_pPreviewImage, m_rcImage, rcImageView,
                       VisiblePart(graphics, rcClient, rcImageView), &attributes, m_nColorMode);
        graphics.ResetClip();

        // Grey all around what is kept.
        Gdiplus::RectF rcfKept = rcfPaper;
        if (m_bLandscape)
            rcfKept = m_bSampleShown ? rcfPage : IntersectRectF(rcfPaper, rcfPage);
        else if (m_dwBaseStyle == 0)
            rcfKept = rcfPage;
        graphics.ExcludeClip(rcfKept);
        Gdiplus::SolidBrush grey{Gdiplus::Color(kBackgroundGrey)};
        graphics.FillRectangle(&grey, rcfClient);

        // The page area beside a landscape sample is white.
        if (m_bLandscape && m_bSampleShown) {
            graphics.ResetClip();
            graphics.ExcludeClip(rcfPaper);
            Gdiplus::SolidBrush white{Gdiplus::Color(kPageWhite)};
            graphics.FillRectangle(&white, rcfPage);
        }

        // The wash outside the frames; while a scan temp folder exists, or under base style
        // 0, it keeps off the image.
        if (!m_vecFrameImages.empty()) {
            graphics.ResetClip();
            for (const RECT& rcFrameImage : m_vecFrameImages) {
                if (::IsRectEmpty(&rcFrameImage))
                    continue;
                RECT rcHole = {ImageToViewCeilX(rcFrameImage.left), ImageToViewCeilY(rcFrameImage.top),
                               ImageToViewFloorX(rcFrameImage.right), ImageToViewFloorY(rcFrameImage.bottom)};
                ::IntersectRect(&rcHole, &rcHole, &rcClient);
                graphics.ExcludeClip(Gdiplus::Rect(rcHole.left, rcHole.top, rcHole.right - rcHole.left,
                                                   rcHole.bottom - rcHole.top));
            }
            if (m_dwBaseStyle == 0 || !m_strTempFolder.IsEmpty())
                graphics.ExcludeClip(rcfPaper);
            Gdiplus::SolidBrush wash{Gdiplus::Color(kWash)};
            graphics.FillRectangle(&wash, m_bLandscape ? rcfPage : rcfPaper);
        }
    }

    // The frames go on a second buffer, over a copy of the first.
    HDC hdcFrames = m_bufferFrames.Prepare(cxClient, cyClient);
    if (hdcFrames == nullptr)
        return;
    ::BitBlt(hdcFrames, 0, 0, cxClient, cyClient, hdcBuffer, 0, 0, SRCCOPY);
    if (m_bFramesVisible) {
        for (CMainPaneTracker& tracker : m_vecTrackers)
            tracker.Draw(hdcFrames);
        if (m_pActiveTracker != nullptr)
            m_pActiveTracker->Draw(hdcFrames);
    }
    ::BitBlt(hdc, 0, 0, cxClient, cyClient, hdcFrames, 0, 0, SRCCOPY);
}

void CScanViewPreview::DrawLive(HDC hdc)
{
    RECT rcClient = {0, 0, 0, 0};  // view coordinates
    GetClientRect(&rcClient);
    if (!m_pLiveBackground || !m_pLivePage)
        return;
    const int cxClient = rcClient.right - rcClient.left, cyClient = rcClient.bottom - rcClient.top;
    const Gdiplus::RectF rcfClient = ToRectF(rcClient);

    // The share of the live page's rows received.
    const UINT cyLivePage = m_pLivePage->GetHeight();
    m_fReceivedFraction = (m_pPartialImage && cyLivePage != 0)
                              ? static_cast<float>(m_pPartialImage->GetHeight()) / static_cast<float>(cyLivePage)
                              : 0.0f;
    Gdiplus::ImageAttributes attributes;
    HDC hdcBuffer = BeginBuffer(hdc, rcClient, attributes);
    if (hdcBuffer == nullptr)
        return;

    // The live page fitted into the fit box (a scan of the whole page) or the crop box, at
    // (0, 0). The products are 64-bit so that no page size can overflow them.
    const RECT& rcBox = m_bFitPage ? m_rcFit : m_rcCropFit;     // window pixels
    const RECT& rcShape = m_bFitPage ? m_rcPage : m_rcCrop;     // page units: only the ratio counts
    const long long cxBox = rcBox.right - rcBox.left, cyBox = rcBox.bottom - rcBox.top;
    const long long cxShape = rcShape.right - rcShape.left, cyShape = rcShape.bottom - rcShape.top;
    long long cxLive = 0, cyLive = 0;  // view coordinates
    if (!::IsRectEmpty(&rcShape)) {
        cxLive = cxBox;
        cyLive = cyShape * cxBox / cxShape;
        if (cyBox < cyLive) {
            cxLive = cyBox * cxShape / cyShape;
            cyLive = cyBox;
        }
    }
    const RECT rcLive = {0, 0, static_cast<LONG>(cxLive), static_cast<LONG>(cyLive)};
    const Gdiplus::RectF rcfReceived(0.0f, 0.0f, static_cast<Gdiplus::REAL>(cxLive),
                                     static_cast<Gdiplus::REAL>(cyLive) * m_fReceivedFraction);

    Gdiplus::Graphics graphics(hdcBuffer);
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    LimitClip(graphics, rcfClient, rcfReceived);
    // The composite of the live background and the live page is the live page itself: the
    // page has the composite's size and covers all of it.
    const RECT rcLivePage = {0, 0, static_cast<LONG>(m_pLivePage->GetWidth()), static_cast<LONG>(cyLivePage)};
    m_picture.Draw(graphics, hdcBuffer, *m_pLivePage, rcLivePage, rcLive, VisiblePart(graphics, rcClient, rcLive),
                   &attributes, m_nColorMode);
    graphics.ResetClip();
    graphics.ExcludeClip(rcfReceived);
    Gdiplus::SolidBrush grey{Gdiplus::Color(kBackgroundGrey)};
    graphics.FillRectangle(&grey, rcfClient);

    ::BitBlt(hdc, 0, 0, cxClient, cyClient, hdcBuffer, 0, 0, SRCCOPY);
}
