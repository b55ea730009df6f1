// Engine preview files for the image-store tests: real JPEGs written with libjpeg. Kept
// apart from the Windows headers, whose INT32 libjpeg declares differently.
#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace imagetest {

bool WriteJpeg(const std::string& utf8Path, int width, int height, int seed)
{
    FILE* file = std::fopen(utf8Path.c_str(), "wb");
    if (!file)
        return false;
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(size_t(width) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            row[size_t(x) * 3 + 0] = JSAMPLE((x * 255) / std::max(1, width - 1));
            row[size_t(x) * 3 + 1] = JSAMPLE((y * 255) / std::max(1, height - 1));
            row[size_t(x) * 3 + 2] = JSAMPLE((seed * 40 + (x / 16 + y / 16) % 2 * 100) & 0xFF);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(file) == 0;
}

void WriteCorruptJpeg(const std::string& utf8Path)
{
    std::ofstream out(utf8Path, std::ios::binary);
    const unsigned char bytes[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01};
    out.write(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

}  // namespace imagetest
