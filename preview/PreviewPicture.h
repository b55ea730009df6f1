// CPreviewPicture: the preview image as the window shows it, scaled and recoloured, kept
// between paints.
//
// Scaling a scanned page into the window is by far the dearest step of a paint, and painting
// runs on every mouse move of a frame drag. So the scaled picture is kept and made again
// only when what it depends on changes: the image's pixels (Invalidate), the image itself,
// its source rectangle, where it lands in the view (zoom, scroll offset, window size), the
// part of it that is visible, or the colour mode.
//
// A large shrink goes in two steps: whole blocks of image pixels are averaged into a smaller
// copy (a box prefilter, one read of the image), and that copy is scaled the rest of the way
// by GDI+'s high-quality bicubic filter. The box takes out the fine detail that would alias;
// the bicubic step places every pixel where a direct draw would.
//
// Coordinates: rcSource is in image pixels, rcDest and rcVisible in view coordinates.
#pragma once

#include <windows.h>
#include <gdiplus.h>

#include <memory>
#include <vector>

#include "PaintBuffer.h"

class CPreviewPicture {
public:
    CPreviewPicture() = default;
    CPreviewPicture(const CPreviewPicture&) = delete;
    CPreviewPicture& operator=(const CPreviewPicture&) = delete;

    // The pixels of the image changed (a new bitmap, a new orientation): nothing kept is
    // used again. The memory is kept for the next picture.
    void Invalidate();

    // Draws rcSource of image scaled into rcDest as a high-quality bicubic draw with
    // pAttributes (made for nColorMode) would: pixels of rcVisible are copied from the kept
    // picture into hdc, which graphics draws on. rcVisible is the part of rcDest that the
    // graphics' clip and the client area let through. An image with transparent pixels is
    // drawn through graphics instead, so that it blends over what lies below.
    void Draw(Gdiplus::Graphics& graphics, HDC hdc, Gdiplus::Bitmap& image, const RECT& rcSource, const RECT& rcDest,
              const RECT& rcVisible, const Gdiplus::ImageAttributes* pAttributes, int nColorMode);

    // The picture was made again by the last Draw (tests and benchmarks look at this).
    bool Rebuilt() const { return m_bRebuilt; }

private:
    // What the kept picture shows.
    struct Key {
        const Gdiplus::Bitmap* pImage = nullptr;
        unsigned nGeneration = 0;
        RECT rcSource = {};
        RECT rcDest = {};
        int nColorMode = 0;
    };
    static bool SameKey(const Key& a, const Key& b);

    // The bitmap to scale from, with the block size it was averaged over: the image itself
    // (1 x 1), or the averaged copy through *ppReduced, a bitmap over m_reducedPixels that
    // lives as long as one draw (no GDI+ object is kept between paints).
    // Only the averaged rows that the draw of rcVisible reads are made.
    Gdiplus::Bitmap* ScaleSource(Gdiplus::Bitmap& image, const RECT& rcSource, const RECT& rcDest,
                                 const RECT& rcVisible, std::unique_ptr<Gdiplus::Bitmap>* ppReduced, int* pkx,
                                 int* pky);
    // The box prefilter: image averaged over kx x ky blocks, the first cyNeeded rows of them
    // at least (a live page shows only the rows received so far). False when the image has
    // transparent pixels (they must be filtered premultiplied: GDI+ does that itself) or
    // cannot be read.
    bool Reduce(Gdiplus::Bitmap& image, int kx, int ky, int cyNeeded);
    // rcSource of image into rcDest on graphics, whose device pixel (0, 0) is view pixel
    // ptOrigin, for the pixels of rcVisible; through the averaged copy when bReduce allows.
    Gdiplus::Status DrawScaled(Gdiplus::Graphics& graphics, Gdiplus::Bitmap& image, const RECT& rcSource,
                               const RECT& rcDest, const RECT& rcVisible, POINT ptOrigin,
                               const Gdiplus::ImageAttributes* pAttributes, bool bReduce);
    bool Build(Gdiplus::Bitmap& image, const RECT& rcSource, const RECT& rcDest, const RECT& rcVisible,
               const Gdiplus::ImageAttributes* pAttributes);

    unsigned m_nGeneration = 0;

    // The image averaged over blocks, kept while image and block size stay; its rows from
    // m_cyReducedDone on are not made yet.
    const Gdiplus::Bitmap* m_pReducedImage = nullptr;
    unsigned m_nReducedGeneration = 0;
    int m_kx = 0;
    int m_ky = 0;
    bool m_bReducedValid = false;
    int m_cxReduced = 0;
    int m_cyReduced = 0;
    int m_cyReducedDone = 0;
    std::vector<DWORD> m_reducedPixels;

    // The scaled picture of rcBuilt (view coordinates), opaque or not.
    Key m_key;
    bool m_bValid = false;
    bool m_bOpaque = false;
    bool m_bRebuilt = false;
    RECT m_rcBuilt = {};
    CPaintBuffer m_picture;
};
