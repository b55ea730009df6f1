// CScanViewPreview: where the paper lies, for painting and for the press test.
#include "ScanViewPreview.h"

#include <algorithm>

#include "GeometryMath.h"

void CScanViewPreview::GetPaperRects(const RECT& rcClient, PageAreaF* pPageArea, RECT* prcImageView,
                                     RECT* prcPaperImage) const
{
    // page units
    const int L = m_rcPage.left, T = m_rcPage.top, R = m_rcPage.right, B = m_rcPage.bottom;
    const int W = R - L;
    const int H = B - T;
    // The paper: the scanned page, or the sample page while the sample is shown.
    const RECT& rcSample = m_bLandscape ? m_rcLandscapePage : m_rcPortraitPage;
    const int widthPaper = (!m_bSampleShown && W != 0) ? W : rcSample.right - rcSample.left;
    const int heightPaper = (!m_bSampleShown && H != 0) ? H : rcSample.bottom - rcSample.top;

    bool bMirrorV = false, bMirrorH = false;
    int nAngle = 0;
    GetOrientation(bMirrorV, bMirrorH, nAngle);
    const bool bQuarter = nAngle == 9000 || nAngle == 27000;

    RECT paperImage;  // image pixels
    RECT imageView;   // view coordinates
    if (!m_bLandscape) {
        paperImage = {PageToImageCeil(L), PageToImageCeil(T), PageToImageFloor(L + widthPaper), PageToImageFloor(B)};
        if (bQuarter)
            std::swap(paperImage.right, paperImage.bottom);
        imageView = {ImageToViewCeilX(paperImage.left), ImageToViewCeilY(paperImage.top),
                     ImageToViewFloorX(paperImage.right), ImageToViewFloorY(paperImage.bottom)};
    } else {
        const int heightLandscape = m_rcLandscapePage.bottom;
        const int x0 = bMirrorH ? L : R - widthPaper;
        const int x1 = bMirrorH ? L + widthPaper : R;
        const int y0 = bMirrorV ? H - heightPaper : T;
        const int y1 = bMirrorV ? H : std::max(B, heightLandscape);
        const int z0 = bMirrorH ? W - widthPaper : T;
        const int z1 = bMirrorH ? W : widthPaper;
        switch (nAngle) {
        case 9000:
            paperImage = {PageToImageCeil(H - heightPaper), PageToImageCeil(x0), PageToImageFloor(H),
                          PageToImageFloor(x1)};
            break;
        case 18000:
            paperImage = {PageToImageCeil(L), PageToImageCeil(H - heightPaper), PageToImageFloor(L + widthPaper),
                          PageToImageFloor(H)};
            break;
        case 27000:
            paperImage = {PageToImageCeil(L), PageToImageCeil(z0), PageToImageFloor(L + heightPaper),
                          PageToImageFloor(z1)};
            break;
        default:
            paperImage = {PageToImageCeil(x0), PageToImageCeil(y0), PageToImageFloor(x1), PageToImageFloor(y1)};
            break;
        }

        // A turned sample at fit zoom is stretched by the window's proportions.
        float k = 1.0f;
        const RECT rcWindow = WindowScreenRect();
        if (bQuarter && m_nZoomStep == 0 && m_bSampleShown && !IsRectEmpty(&rcWindow)) {
            k = static_cast<float>(static_cast<double>(rcWindow.bottom - rcWindow.top) /
                                   static_cast<double>(rcWindow.right - rcWindow.left));
        }

        PageAreaF pageArea;  // view coordinates
        if (!bQuarter) {
            pageArea = {static_cast<float>(PageToViewCeilX(TruncToInt(L * m_dZoom))),
                        static_cast<float>(PageToViewCeilY(TruncToInt(T * m_dZoom))),
                        static_cast<float>(PageToViewFloorX(TruncToInt(R * m_dZoom))),
                        static_cast<float>(PageToViewFloorY(TruncToInt(B * m_dZoom)))};
        } else {
            pageArea = {static_cast<float>(PageToViewCeilX(TruncToInt((H - heightPaper) * k * m_dZoom))),
                        static_cast<float>(PageToViewCeilY(TruncToInt(L * k * m_dZoom))),
                        static_cast<float>(PageToViewFloorX(TruncToInt(H * k * m_dZoom))),
                        static_cast<float>(PageToViewFloorY(TruncToInt(R * k * m_dZoom)))};
        }
        imageView = {TruncToInt(ImageToViewCeilX(paperImage.left) * k), TruncToInt(ImageToViewCeilY(paperImage.top) * k),
                     TruncToInt(ImageToViewFloorX(paperImage.right) * k),
                     TruncToInt(ImageToViewFloorY(paperImage.bottom) * k)};

        // At fit zoom the paper is squeezed into the client area.
        if (m_nZoomStep == 0) {
            const int cxClient = rcClient.right - rcClient.left;
            const int cyClient = rcClient.bottom - rcClient.top;
            if (imageView.right > cxClient) {
                const float f = static_cast<float>(cxClient) / static_cast<float>(imageView.right);
                imageView.left = TruncToInt(imageView.left * f);
                imageView.right = TruncToInt(imageView.right * f);
                pageArea.left *= f;
                pageArea.right *= f;
            }
            if (imageView.bottom > cyClient) {
                const float f = static_cast<float>(cyClient) / static_cast<float>(imageView.bottom);
                imageView.top = TruncToInt(imageView.top * f);
                imageView.bottom = TruncToInt(imageView.bottom * f);
                pageArea.top *= f;
                pageArea.bottom *= f;
            }
        }
        if (pPageArea != nullptr)
            *pPageArea = pageArea;
    }
    if (prcImageView != nullptr)
        *prcImageView = imageView;
    if (prcPaperImage != nullptr)
        *prcPaperImage = paperImage;
}
