// JPEG files for tests and benchmarks: pictures made in code, so that no binary test data is
// kept in the repository.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qortest {

// Fills the row y of an RGB picture: width × 3 bytes, red first.
using RgbRowFiller = std::function<void(int y, std::uint8_t* rgb)>;

struct JpegOptions {
    int quality = 85;
    bool fullChroma = false;  // no chroma subsampling, so that colours stay where they are
};

// A baseline JPEG of the picture; empty for a size of 0.
std::vector<std::uint8_t> EncodeRgbJpeg(int width, int height, const RgbRowFiller& fillRow,
                                        JpegOptions options = {});

// A page-like picture with the detail of a scan: a paper tone, a soft gradient, dark strokes.
void FillPageRow(int width, int y, std::uint8_t* rgb);

// Writes bytes to a file; false when it cannot be written whole.
bool WriteBytes(const std::string& utf8Path, const std::vector<std::uint8_t>& bytes);

}  // namespace qortest
