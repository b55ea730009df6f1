// JPEG and PNG decoding: the one place that talks to libjpeg-turbo and libpng. Both libraries
// report errors by longjmp, so the functions that call them hold no objects with destructors
// across the jump; the pixel buffer is released by hand on the error path.
#include "gdiplus_private.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

// windef.h already names INT32; XMD_H keeps jmorecfg.h from declaring its own.
#define XMD_H
#include <jpeglib.h>
#include <jerror.h>
#include <png.h>

namespace qor::gdiplus {
namespace {

// ---- JPEG ----

struct JpegErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    bool outOfMemory;
};

[[noreturn]] void JpegErrorExit(j_common_ptr info)
{
    auto* manager = reinterpret_cast<JpegErrorManager*>(info->err);
    manager->outOfMemory = info->err->msg_code == JERR_OUT_OF_MEMORY;
    std::longjmp(manager->jump, 1);
}

void JpegEmitMessage(j_common_ptr info, int level)
{
    // Data that ends early (the file, or the entropy-coded rows before a marker) is a
    // truncated image, not a picture with a grey bottom. Other warnings stay warnings.
    if (level < 0 && (info->err->msg_code == JWRN_JPEG_EOF || info->err->msg_code == JWRN_HIT_MARKER))
        JpegErrorExit(info);
}

void JpegOutputMessage(j_common_ptr) {}

struct JpegResult {
    Status status = Ok;
    DWORD* pixels = nullptr;
    int width = 0;
    int height = 0;
    REAL dpiX = 96, dpiY = 96;
};

// Plain data only between setjmp and the longjmps that return to it.
void DecodeJpeg(const BYTE* data, std::size_t size, JpegResult* result)
{
    jpeg_decompress_struct info;
    JpegErrorManager errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = JpegErrorExit;
    errors.base.emit_message = JpegEmitMessage;
    errors.base.output_message = JpegOutputMessage;
    errors.outOfMemory = false;
    JSAMPROW rows[16];
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        std::free(result->pixels);
        result->pixels = nullptr;
        result->status = errors.outOfMemory ? OutOfMemory : InvalidParameter;
        return;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    if (std::uint64_t(info.image_width) * info.image_height > kMaxImagePixels) {
        jpeg_destroy_decompress(&info);
        result->status = OutOfMemory;
        return;
    }
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    jpeg_start_decompress(&info);
    result->width = int(info.output_width);
    result->height = int(info.output_height);
    result->pixels = AllocatePixels(result->width, result->height, false).release();
    if (!result->pixels) {
        jpeg_destroy_decompress(&info);
        result->status = OutOfMemory;
        return;
    }
    while (info.output_scanline < info.output_height) {
        int count = 0;
        for (; count < 16 && info.output_scanline + unsigned(count) < info.output_height; ++count)
            rows[count] = reinterpret_cast<JSAMPROW>(result->pixels +
                                                     std::size_t(info.output_scanline + count) * result->width);
        jpeg_read_scanlines(&info, rows, JDIMENSION(count));
    }
    if (cmyk) {
        // Adobe writes CMYK JPEGs inverted; R = C' K' / 255 with the stored (inverted) values.
        BYTE* p = reinterpret_cast<BYTE*>(result->pixels);
        const std::size_t count = std::size_t(result->width) * result->height;
        for (std::size_t i = 0; i < count; ++i, p += 4) {
            const unsigned c = p[0], m = p[1], y = p[2], k = p[3];
            p[0] = Div255(y * k);
            p[1] = Div255(m * k);
            p[2] = Div255(c * k);
            p[3] = 0xFF;
        }
    }
    if (info.saw_JFIF_marker && info.X_density > 0 && info.Y_density > 0) {
        if (info.density_unit == 1) {
            result->dpiX = info.X_density;
            result->dpiY = info.Y_density;
        } else if (info.density_unit == 2) {
            result->dpiX = REAL(info.X_density * 2.54);
            result->dpiY = REAL(info.Y_density * 2.54);
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
}

// ---- PNG ----

struct PngSource {
    const BYTE* data;
    std::size_t size;
    std::size_t offset;
};

void PngRead(png_structp png, png_bytep out, png_size_t count)
{
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (count > source->size - source->offset)
        png_error(png, "truncated");
    std::memcpy(out, source->data + source->offset, count);
    source->offset += count;
}

void PngWarning(png_structp, png_const_charp) {}

[[noreturn]] void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

struct PngResult {
    Status status = Ok;
    DWORD* pixels = nullptr;
    png_bytep* rows = nullptr;
    int width = 0;
    int height = 0;
    bool alpha = false;
    REAL dpiX = 96, dpiY = 96;
};

void DecodePng(const BYTE* data, std::size_t size, PngResult* result)
{
    PngSource source{data, size, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(png ? &png : nullptr, nullptr, nullptr);
        result->status = OutOfMemory;
        return;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::free(result->pixels);
        std::free(result->rows);
        result->pixels = nullptr;
        result->rows = nullptr;
        if (result->status == Ok)
            result->status = InvalidParameter;
        return;
    }
    png_set_read_fn(png, &source, PngRead);
    png_set_user_limits(png, 1u << 20, 1u << 20);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (std::uint64_t(width) * height > kMaxImagePixels) {
        result->status = OutOfMemory;
        png_longjmp(png, 1);
    }
    const int colorType = png_get_color_type(png, info);
    result->alpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    if (!result->alpha)
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    result->width = int(width);
    result->height = int(height);
    result->pixels = AllocatePixels(result->width, result->height, false).release();
    result->rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
    if (!result->pixels || !result->rows) {
        result->status = OutOfMemory;
        png_longjmp(png, 1);
    }
    for (png_uint_32 y = 0; y < height; ++y)
        result->rows[y] = reinterpret_cast<png_bytep>(result->pixels + std::size_t(y) * width);
    png_read_image(png, result->rows);
    png_read_end(png, nullptr);
    png_uint_32 resX = 0, resY = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &resX, &resY, &unit) && unit == PNG_RESOLUTION_METER && resX > 0 && resY > 0) {
        result->dpiX = REAL(resX * 0.0254);
        result->dpiY = REAL(resY * 0.0254);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::free(result->rows);
    result->rows = nullptr;
}

const BYTE kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

}  // namespace

Status DecodeImage(const BYTE* data, std::size_t size, std::unique_ptr<BitmapObject>* bitmap)
{
    std::unique_ptr<BitmapObject> b(new (std::nothrow) BitmapObject);
    if (!b)
        return OutOfMemory;
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
        JpegResult jpeg;
        DecodeJpeg(data, size, &jpeg);
        if (jpeg.status != Ok)
            return jpeg.status;
        b->Adopt(PixelBuffer(jpeg.pixels), jpeg.width, jpeg.height);
        b->format = PixelFormat24bppRGB;
        b->opaque = true;
        b->dpiX = jpeg.dpiX;
        b->dpiY = jpeg.dpiY;
    } else if (size >= 8 && std::memcmp(data, kPngSignature, 8) == 0) {
        PngResult png;
        DecodePng(data, size, &png);
        if (png.status != Ok)
            return png.status;
        b->Adopt(PixelBuffer(png.pixels), png.width, png.height);
        b->format = png.alpha ? PixelFormat32bppARGB : PixelFormat24bppRGB;
        b->opaque = !png.alpha;
        b->dpiX = png.dpiX;
        b->dpiY = png.dpiY;
    } else {
        return UnknownImageFormat;
    }
    *bitmap = std::move(b);
    return Ok;
}

}  // namespace qor::gdiplus
