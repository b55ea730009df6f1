// Images of the scan engine: 8-bit RGB, three bytes a pixel, rows top to bottom, no padding.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CEngineImage {
    int nWidth = 0;
    int nHeight = 0;
    std::vector<uint8_t> vecRgb;

    const uint8_t* Row(int y) const { return vecRgb.data() + static_cast<size_t>(y) * nWidth * 3; }
};

// Writes the first nRows rows of image as a baseline JPEG file. False (and no file left
// behind) when the file cannot be written.
bool WriteEngineJpeg(const std::string& path, const CEngineImage& image, int nRows, int nQuality);
