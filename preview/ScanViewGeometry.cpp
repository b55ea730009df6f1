// CScanViewPreview: scale, zoom and the conversions between page units, image pixels and
// view coordinates. The order of the floating-point operations is part of the result.
#include "ScanViewPreview.h"

#include <cmath>

#include "GeometryMath.h"

// --- Scale and zoom

void CScanViewPreview::UpdateUnitsPerPixel()
{
    if (IsRectEmpty(&m_rcImage))
        return;  // an empty (or all-zero) image leaves the scale as it was
    const int widthPage = m_rcPage.right - m_rcPage.left;
    const int heightPage = m_rcPage.bottom - m_rcPage.top;
    const int widthImage = m_rcImage.right - m_rcImage.left;
    const int heightImage = m_rcImage.bottom - m_rcImage.top;
    // One factor serves both axes.
    m_dUnitsPerPixel = static_cast<double>(widthPage + heightPage) / static_cast<double>(widthImage + heightImage);
}

bool CScanViewPreview::UpdateZoom()
{
    if (IsRectEmpty(&m_rcPage))
        return false;
    RECT client = {0, 0, 0, 0};
    ::GetClientRect(m_hWnd, &client);
    if (m_nZoomStep < 0 || IsRectEmpty(&m_rcImage) || IsRectEmpty(&client))
        return true;
    // 1 shifted left by the step; ldexp gives the same power of two without overflow.
    m_dZoom = std::ldexp(1.0, m_nZoomStep);
    const double widthImage = m_rcImage.right - m_rcImage.left;
    const double heightImage = m_rcImage.bottom - m_rcImage.top;
    double scaleX = widthImage / (client.right - client.left);
    double scaleY = heightImage / (client.bottom - client.top - 1);  // the height loses a pixel
    if (scaleY > scaleX)
        scaleX = scaleY;
    if (scaleX > scaleY)
        scaleY = scaleX;
    m_dScaleX = scaleX;
    m_dScaleY = scaleY;
    return true;
}

// The sample's aspect factor a: it only applies while the sample page is shown.
double CScanViewPreview::AspectFactor() const
{
    return m_bSampleShown ? static_cast<double>(m_fAspectUpright) : 1.0;
}

// --- Image pixels to view coordinates

double CScanViewPreview::ImageToViewX(double xImage) const
{
    return (xImage - m_nOffsetX) * m_dZoom / AspectFactor() / m_dScaleX;
}

double CScanViewPreview::ImageToViewY(double yImage) const
{
    return (yImage - m_nOffsetY) * m_dZoom / AspectFactor() / m_dScaleY;
}

int CScanViewPreview::ImageToViewCeilX(int xImage) const { return CeilToInt(ImageToViewX(xImage)); }
int CScanViewPreview::ImageToViewCeilY(int yImage) const { return CeilToInt(ImageToViewY(yImage)); }
int CScanViewPreview::ImageToViewFloorX(int xImage) const { return FloorToInt(ImageToViewX(xImage)); }
int CScanViewPreview::ImageToViewFloorY(int yImage) const { return FloorToInt(ImageToViewY(yImage)); }

// --- View coordinates to image pixels

double CScanViewPreview::ViewToImageX(double cxView) const
{
    return AspectFactor() * (cxView / m_dZoom) * m_dScaleX;
}

double CScanViewPreview::ViewToImageY(double cyView) const
{
    return AspectFactor() * (cyView / m_dZoom) * m_dScaleY;
}

int CScanViewPreview::ViewToImageCeilX(int xView) const { return CeilToInt(ViewToImageX(xView) + m_nOffsetX); }
int CScanViewPreview::ViewToImageCeilY(int yView) const { return CeilToInt(ViewToImageY(yView) + m_nOffsetY); }
int CScanViewPreview::ViewToImageFloorX(int xView) const { return FloorToInt(ViewToImageX(xView) + m_nOffsetX); }
int CScanViewPreview::ViewToImageFloorY(int yView) const { return FloorToInt(ViewToImageY(yView) + m_nOffsetY); }

// --- Page units and image pixels

int CScanViewPreview::PageToImageCeil(int nPage) const { return CeilToInt(nPage / m_dUnitsPerPixel); }
int CScanViewPreview::PageToImageFloor(int nPage) const { return FloorToInt(nPage / m_dUnitsPerPixel); }

// --- View coordinates and page units

int CScanViewPreview::ViewToPageCeilX(int xView) const
{
    return CeilToInt((ViewToImageX(xView) + m_nOffsetX) * m_dUnitsPerPixel);
}

int CScanViewPreview::ViewToPageCeilY(int yView) const
{
    return CeilToInt((ViewToImageY(yView) + m_nOffsetY) * m_dUnitsPerPixel);
}

int CScanViewPreview::ViewToPageFloorY(int yView) const
{
    return FloorToInt((ViewToImageY(yView) + m_nOffsetY) * m_dUnitsPerPixel);
}

int CScanViewPreview::PageToViewCeilX(int xPage) const
{
    return CeilToInt(((xPage / m_dUnitsPerPixel) - m_nOffsetX) * m_dZoom / AspectFactor() / m_dScaleX);
}

int CScanViewPreview::PageToViewCeilY(int yPage) const
{
    return CeilToInt(((yPage / m_dUnitsPerPixel) - m_nOffsetY) * m_dZoom / AspectFactor() / m_dScaleY);
}

int CScanViewPreview::PageToViewFloorX(int xPage) const
{
    return FloorToInt(((xPage / m_dUnitsPerPixel) - m_nOffsetX) * m_dZoom / AspectFactor() / m_dScaleX);
}

int CScanViewPreview::PageToViewFloorY(int yPage) const
{
    return FloorToInt(((yPage / m_dUnitsPerPixel) - m_nOffsetY) * m_dZoom / AspectFactor() / m_dScaleY);
}
