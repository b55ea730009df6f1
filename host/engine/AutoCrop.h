// The engine's automatic crop: where the photos lie on a preview of the flatbed.
//
// The bed is the image's most common colour (its median). A pixel belongs to a photo when one
// of its colour channels differs from the bed's by a clear margin; an opening removes dust and
// hairs thinner than about a fiftieth of an inch, a closing joins the parts of one photo, and
// each connected region at least a quarter of an inch wide and high is a photo. Regions that
// overlap are merged.
#pragma once

#include <vector>

#include "EngineImage.h"

// A rectangle in image pixels: left and top edges, width and height.
struct CAutoCropBox {
    int nLeft = 0;
    int nTop = 0;
    int nWidth = 0;
    int nHeight = 0;
};

// The photos on image (scanned at nDpi), ordered by their top edges, then their left edges.
std::vector<CAutoCropBox> FindPhotos(const CEngineImage& image, int nDpi);

// One box around every photo; false when there is none.
bool FindContent(const CEngineImage& image, int nDpi, CAutoCropBox* pBox);
