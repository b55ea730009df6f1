#include "EngineImage.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <filesystem>

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

// libjpeg's own handler ends the process; a failed write only fails the file.
void OnJpegError(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// No C++ object lives in this function: longjmp leaves it from inside libjpeg.
bool Encode(std::FILE* file, const CEngineImage& image, int nRows, int nQuality)
{
    jpeg_compress_struct cinfo;
    ErrorManager error;
    cinfo.err = jpeg_std_error(&error.base);
    error.base.error_exit = OnJpegError;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(image.nWidth);
    cinfo.image_height = static_cast<JDIMENSION>(nRows);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, nQuality, TRUE);
    cinfo.dct_method = JDCT_IFAST;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.Row(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

}  // namespace

bool WriteEngineJpeg(const std::string& path, const CEngineImage& image, int nRows, int nQuality)
{
    if (image.nWidth <= 0 || nRows <= 0 || nRows > image.nHeight)
        return false;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool bEncoded = Encode(file, image, nRows, nQuality);
    const bool bClosed = std::fclose(file) == 0;
    if (bEncoded && bClosed)
        return true;
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return false;
}
