#include "jpeg_encode.h"

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace qortest {

std::vector<std::uint8_t> EncodeRgbJpeg(int width, int height, const RgbRowFiller& fillRow, JpegOptions options)
{
    if (width <= 0 || height <= 0)
        return {};
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, options.quality, TRUE);
    if (options.fullChroma)
        for (int c = 0; c < info.num_components; ++c)
            info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
    jpeg_start_compress(&info, TRUE);
    std::vector<std::uint8_t> row(std::size_t(width) * 3);
    while (info.next_scanline < info.image_height) {
        fillRow(int(info.next_scanline), row.data());
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<std::uint8_t> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

void FillPageRow(int width, int y, std::uint8_t* rgb)
{
    for (int x = 0; x < width; ++x) {
        std::uint8_t* p = rgb + std::size_t(x) * 3;
        const bool ink = ((x / 3) % 17 == 0 && (y / 40) % 2 == 0) || ((y % 40) < 3 && (x / 60) % 3 != 0);
        const int base = 235 - (x + y) / 300;
        p[0] = std::uint8_t(ink ? 30 : base);
        p[1] = std::uint8_t(ink ? 30 : base - 5);
        p[2] = std::uint8_t(ink ? 40 : base - 15);
    }
}

bool WriteBytes(const std::string& utf8Path, const std::vector<std::uint8_t>& bytes)
{
    FILE* file = std::fopen(utf8Path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace qortest
