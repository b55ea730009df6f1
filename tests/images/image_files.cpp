// Engine preview files for the image-store tests: real JPEG files made in code.

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "jpeg_encode.h"

namespace imagetest {

bool WriteJpeg(const std::string& utf8Path, int width, int height, int seed)
{
    const auto fill = [=](int y, std::uint8_t* rgb) {
        for (int x = 0; x < width; ++x) {
            rgb[size_t(x) * 3 + 0] = std::uint8_t((x * 255) / std::max(1, width - 1));
            rgb[size_t(x) * 3 + 1] = std::uint8_t((y * 255) / std::max(1, height - 1));
            rgb[size_t(x) * 3 + 2] = std::uint8_t((seed * 40 + (x / 16 + y / 16) % 2 * 100) & 0xFF);
        }
    };
    return qortest::WriteBytes(utf8Path, qortest::EncodeRgbJpeg(width, height, fill, {90, false}));
}

void WriteCorruptJpeg(const std::string& utf8Path)
{
    std::ofstream out(utf8Path, std::ios::binary);
    const unsigned char bytes[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01};
    out.write(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

}  // namespace imagetest
