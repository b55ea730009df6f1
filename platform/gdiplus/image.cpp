// Bitmaps: creation, decoding from files and streams, clones, LockBits, pixels, resolution,
// RotateFlip and disposal.
#include "gdiplus_private.h"

#include <qor_text.h>

#include <emmintrin.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

namespace qor::gdiplus {

BitmapObject::~BitmapObject()
{
    // A Graphics that outlives its bitmap (GDI+ leaves that undefined) draws nothing here.
    for (GraphicsObject* g : graphics) {
        g->bitmap = nullptr;
        g->surface = Surface{};
        g->UpdatePaintRects();
    }
    ReleaseFileHold(fileHold);
}

namespace {

constexpr std::size_t kRecycleMinPixels = std::size_t(1) << 20;
// The spare is kept for the next page of the same size, not for any image: a page of a
// legal-size scan at 300 dpi fits (64 MiB), and a bigger picture's pixels go back to the
// system when it is disposed instead of staying held until the next one.
constexpr std::size_t kRecycleMaxPixels = std::size_t(1) << 24;

std::mutex g_spareMutex;
PixelBuffer g_spare;
std::size_t g_spareCount = 0;

}  // namespace

PixelBuffer AllocatePixels(int width, int height, bool zeroed)
{
    const std::size_t count = std::size_t(width) * std::size_t(height);
    if (count >= kRecycleMinPixels) {
        PixelBuffer reused;
        {
            std::lock_guard<std::mutex> lock(g_spareMutex);
            if (g_spare && g_spareCount == count) {
                g_spareCount = 0;
                reused = std::move(g_spare);
            }
        }
        if (reused) {
            if (zeroed)
                std::memset(reused.get(), 0, count * sizeof(DWORD));
            return reused;
        }
    }
    void* p = zeroed ? std::calloc(count, sizeof(DWORD)) : std::malloc(count * sizeof(DWORD));
    return PixelBuffer(static_cast<DWORD*>(p));
}

void RecyclePixels(PixelBuffer buffer, std::size_t pixelCount)
{
    if (!buffer || pixelCount < kRecycleMinPixels || pixelCount > kRecycleMaxPixels)
        return;
    PixelBuffer previous;  // freed outside the lock
    std::lock_guard<std::mutex> lock(g_spareMutex);
    previous = std::move(g_spare);
    g_spare = std::move(buffer);
    g_spareCount = pixelCount;
}

void TrimPixelCache()
{
    PixelBuffer spare;
    std::lock_guard<std::mutex> lock(g_spareMutex);
    spare = std::move(g_spare);
    g_spareCount = 0;
}

bool IsSupportedFormat(PixelFormat format)
{
    return format == PixelFormat32bppARGB || format == PixelFormat32bppPARGB || format == PixelFormat32bppRGB ||
           format == PixelFormat24bppRGB;
}

std::unique_ptr<BitmapObject> NewBitmap(int width, int height, PixelFormat format, bool zeroed, Status* status)
{
    if (std::uint64_t(width) * std::uint64_t(height) > kMaxImagePixels) {
        *status = OutOfMemory;
        return nullptr;
    }
    std::unique_ptr<BitmapObject> bitmap(new (std::nothrow) BitmapObject);
    PixelBuffer pixels = bitmap ? AllocatePixels(width, height, zeroed) : nullptr;
    if (!pixels) {
        *status = OutOfMemory;
        return nullptr;
    }
    bitmap->Adopt(std::move(pixels), width, height);
    bitmap->format = format;
    bitmap->opaque = !IsAlphaPixelFormat(format);
    *status = Ok;
    return bitmap;
}

namespace {

int BytesPerRow(PixelFormat format, int width) { return ((int(GetPixelFormatSize(format)) * width + 31) / 32) * 4; }

DWORD Premultiply(DWORD p)
{
    const unsigned a = p >> 24;
    if (a == 255)
        return p;
    return (p & 0xFF000000) | (DWORD(Div255(((p >> 16) & 0xFF) * a)) << 16) |
           (DWORD(Div255(((p >> 8) & 0xFF) * a)) << 8) | Div255((p & 0xFF) * a);
}

DWORD Unpremultiply(DWORD p)
{
    const unsigned a = p >> 24;
    if (a == 255 || a == 0)
        return a ? p : 0;
    auto channel = [a](unsigned c) { return std::min(255u, (c * 255 + a / 2) / a); };
    return (p & 0xFF000000) | (channel((p >> 16) & 0xFF) << 16) | (channel((p >> 8) & 0xFF) << 8) |
           channel(p & 0xFF);
}

// Stored straight BGRA to the layout of format. A caller's buffer (ImageLockModeUserInputBuf)
// may start or have its rows at any byte, so 32-bit pixels are copied there bytewise.
void ConvertRowOut(const DWORD* src, BYTE* dst, int count, PixelFormat format)
{
    if (format == PixelFormat24bppRGB) {
        for (int i = 0; i < count; ++i) {
            dst[3 * i] = BYTE(src[i]);
            dst[3 * i + 1] = BYTE(src[i] >> 8);
            dst[3 * i + 2] = BYTE(src[i] >> 16);
        }
        return;
    }
    if (format == PixelFormat32bppPARGB) {
        for (int i = 0; i < count; ++i) {
            const DWORD p = Premultiply(src[i]);
            std::memcpy(dst + 4 * std::size_t(i), &p, 4);
        }
        return;
    }
    std::memcpy(dst, src, std::size_t(count) * 4);
}

// The layout of format back to stored straight BGRA; keepAlpha is false for bitmaps
// without alpha, whose alpha byte stays 0xFF. As above, src may have any alignment.
void ConvertRowIn(const BYTE* src, DWORD* dst, int count, PixelFormat format, bool keepAlpha)
{
    if (format == PixelFormat24bppRGB) {
        for (int i = 0; i < count; ++i)
            dst[i] = 0xFF000000 | (DWORD(src[3 * i + 2]) << 16) | (DWORD(src[3 * i + 1]) << 8) | src[3 * i];
        return;
    }
    const bool alphaIn = keepAlpha && format != PixelFormat32bppRGB;
    for (int i = 0; i < count; ++i) {
        DWORD p;
        std::memcpy(&p, src + 4 * std::size_t(i), 4);
        if (format == PixelFormat32bppPARGB)
            p = Unpremultiply(p);
        dst[i] = alphaIn ? p : (p | 0xFF000000);
    }
}

// Reads a whole file; false with the status to return when it cannot.
constexpr std::size_t kMaxEncodedSize = std::size_t(1) << 30;

Status ReadFileBytes(const std::string& path, std::vector<BYTE>* bytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return InvalidParameter;  // GDI+ answers a missing file with InvalidParameter
    struct stat st {};
    Status status = Ok;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        status = InvalidParameter;
    else if (std::size_t(st.st_size) > kMaxEncodedSize)
        status = OutOfMemory;
    if (status == Ok) {
        try {
            bytes->resize(std::size_t(st.st_size));
        } catch (const std::bad_alloc&) {
            status = OutOfMemory;
        }
    }
    std::size_t done = 0;
    while (status == Ok && done < bytes->size()) {
        const ssize_t n = ::read(fd, bytes->data() + done, bytes->size() - done);
        if (n < 0)
            status = Win32Error;
        else if (n == 0)
            bytes->resize(done);  // the file shrank while we read it
        else
            done += std::size_t(n);
    }
    ::close(fd);
    return status;
}

Status ReadStreamBytes(IStream* stream, std::vector<BYTE>* bytes)
{
    BYTE chunk[65536];
    for (;;) {
        ULONG got = 0;
        const HRESULT hr = stream->Read(chunk, sizeof(chunk), &got);
        if (FAILED(hr))
            return InvalidParameter;
        if (got > sizeof(chunk))
            return InvalidParameter;  // a stream that claims more than it was given room for
        if (bytes->size() + got > kMaxEncodedSize)
            return OutOfMemory;
        try {
            bytes->insert(bytes->end(), chunk, chunk + got);
        } catch (const std::bad_alloc&) {
            return OutOfMemory;
        }
        if (got == 0 || hr == S_FALSE)
            return Ok;
    }
}

// RotateFlip helpers. Transposing moves: destination (xd, yd) takes source
// (revX ? W-1-yd : yd, revY ? H-1-xd : xd); the destination is H wide and W high.
void TransposeInto(const BitmapObject& src, DWORD* dst, bool revX, bool revY)
{
    const int W = src.width, H = src.height;
    const int dw = H, dh = W;
    auto srcAt = [&](int xd, int yd) -> DWORD {
        const int xs = revX ? W - 1 - yd : yd;
        const int ys = revY ? H - 1 - xd : xd;
        return src.Row(ys)[xs];
    };
    const int dw4 = dw & ~3, dh4 = dh & ~3;
    constexpr int kTile = 64;  // keeps the source rows of a tile in cache
    for (int ty = 0; ty < dh4; ty += kTile) {
        const int tyEnd = std::min(dh4, ty + kTile);
        for (int tx = 0; tx < dw4; tx += kTile) {
            const int txEnd = std::min(dw4, tx + kTile);
            for (int yd = ty; yd < tyEnd; yd += 4) {
                const int xs = revX ? W - 4 - yd : yd;  // lowest source column of the block
                for (int xd = tx; xd < txEnd; xd += 4) {
                    __m128i r[4];
                    for (int k = 0; k < 4; ++k) {
                        const int ys = revY ? H - 1 - (xd + k) : xd + k;
                        r[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src.Row(ys) + xs));
                        if (revX)
                            r[k] = _mm_shuffle_epi32(r[k], 0x1B);
                    }
                    const __m128i t0 = _mm_unpacklo_epi32(r[0], r[1]), t1 = _mm_unpacklo_epi32(r[2], r[3]);
                    const __m128i t2 = _mm_unpackhi_epi32(r[0], r[1]), t3 = _mm_unpackhi_epi32(r[2], r[3]);
                    DWORD* d = dst + std::size_t(yd) * dw + xd;
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_unpacklo_epi64(t0, t1));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + dw), _mm_unpackhi_epi64(t0, t1));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 2 * dw), _mm_unpacklo_epi64(t2, t3));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 3 * dw), _mm_unpackhi_epi64(t2, t3));
                }
            }
        }
    }
    for (int yd = 0; yd < dh; ++yd) {
        const int xStart = yd < dh4 ? dw4 : 0;
        DWORD* d = dst + std::size_t(yd) * dw;
        for (int xd = xStart; xd < dw; ++xd)
            d[xd] = srcAt(xd, yd);
    }
}

void FlipRowsInPlace(BitmapObject& b, bool flipX, bool flipY)
{
    const int W = b.width, H = b.height;
    if (flipY) {
        for (int y = 0; y < H / 2; ++y)
            std::swap_ranges(b.Row(y), b.Row(y) + W, b.Row(H - 1 - y));
    }
    if (flipX) {
        for (int y = 0; y < H; ++y)
            std::reverse(b.Row(y), b.Row(y) + W);
    }
}

}  // namespace
}  // namespace qor::gdiplus

namespace Gdiplus::DllExports {

using namespace qor::gdiplus;

GpStatus WINAPI GdipCreateBitmapFromFile(const WCHAR* filename, GpBitmap** bitmap)
{
    if (!filename || !bitmap)
        return InvalidParameter;
    *bitmap = nullptr;
    if (!IsStarted())
        return GdiplusNotInitialized;
    const std::string path = qor::ToUtf8(filename);
    std::vector<BYTE> bytes;
    Status status = ReadFileBytes(path, &bytes);
    if (status != Ok)
        return status;
    std::unique_ptr<BitmapObject> decoded;
    status = DecodeImage(bytes.data(), bytes.size(), &decoded);
    if (status != Ok)
        return OutOfMemory;  // GDI+'s answer to a file it cannot decode
    // The decoded bitmap keeps its file open, as GDI+'s lazily decoded images do.
    decoded->fileHold = qor::HoldFile(path);
    *bitmap = decoded.release();
    return Ok;
}

GpStatus WINAPI GdipCreateBitmapFromFileICM(const WCHAR* filename, GpBitmap** bitmap)
{
    return GdipCreateBitmapFromFile(filename, bitmap);
}

GpStatus WINAPI GdipCreateBitmapFromStream(IStream* stream, GpBitmap** bitmap)
{
    if (!stream || !bitmap)
        return InvalidParameter;
    *bitmap = nullptr;
    if (!IsStarted())
        return GdiplusNotInitialized;
    std::vector<BYTE> bytes;
    Status status = ReadStreamBytes(stream, &bytes);
    if (status != Ok)
        return status;
    std::unique_ptr<BitmapObject> decoded;
    status = DecodeImage(bytes.data(), bytes.size(), &decoded);
    if (status != Ok)
        return status == OutOfMemory ? OutOfMemory : InvalidParameter;
    *bitmap = decoded.release();
    return Ok;
}

GpStatus WINAPI GdipCreateBitmapFromStreamICM(IStream* stream, GpBitmap** bitmap)
{
    return GdipCreateBitmapFromStream(stream, bitmap);
}

GpStatus WINAPI GdipCreateBitmapFromScan0(INT width, INT height, INT stride, PixelFormat format, BYTE* scan0,
                                          GpBitmap** bitmap)
{
    if (!bitmap)
        return InvalidParameter;
    *bitmap = nullptr;
    if (width <= 0 || height <= 0)
        return InvalidParameter;
    if (scan0 && (stride == 0 || stride % 4 != 0 || std::abs(stride) / 4 < width))
        return InvalidParameter;
    if (!IsStarted())
        return GdiplusNotInitialized;
    if (!IsSupportedFormat(format))
        return NotImplemented;
    if (scan0) {
        // Caller memory is used in place, as GDI+ does; only straight 32-bit ARGB matches how
        // this layer stores pixels, so the other formats need a copy that GDI+ would not make.
        if (format != PixelFormat32bppARGB)
            return NotImplemented;
        std::unique_ptr<BitmapObject> b(new (std::nothrow) BitmapObject);
        if (!b)
            return OutOfMemory;
        b->width = width;
        b->height = height;
        b->format = format;
        b->bits = reinterpret_cast<DWORD*>(scan0);
        b->stride = stride / 4;
        *bitmap = b.release();
        return Ok;
    }
    Status status = Ok;
    // New bitmaps start all zero: transparent black, or black for formats without alpha.
    std::unique_ptr<BitmapObject> b = NewBitmap(width, height, format, IsAlphaPixelFormat(format), &status);
    if (!b)
        return status;
    if (!b->HasAlphaFormat())
        std::fill(b->bits, b->bits + std::size_t(width) * height, 0xFF000000);
    b->opaque = !b->HasAlphaFormat();
    *bitmap = b.release();
    return Ok;
}

GpStatus WINAPI GdipCloneBitmapAreaI(INT x, INT y, INT width, INT height, PixelFormat format, GpBitmap* srcBitmap,
                                     GpBitmap** dstBitmap)
{
    if (!srcBitmap || !dstBitmap)
        return InvalidParameter;
    const BitmapObject& src = *ToBitmap(srcBitmap);
    if (x < 0 || y < 0 || width <= 0 || height <= 0 || x > src.width - width || y > src.height - height)
        return InvalidParameter;
    if (format == PixelFormatDontCare)
        format = src.format;
    if (!IsSupportedFormat(format))
        return NotImplemented;
    if (src.locked)
        return WrongState;
    Status status = Ok;
    std::unique_ptr<BitmapObject> b = NewBitmap(width, height, format, false, &status);
    if (!b)
        return status;
    const bool keepAlpha = IsAlphaPixelFormat(format);
    for (int row = 0; row < height; ++row) {
        const DWORD* s = src.Row(y + row) + x;
        DWORD* d = b->Row(row);
        if (keepAlpha) {
            std::memcpy(d, s, std::size_t(width) * 4);
        } else {
            for (int i = 0; i < width; ++i)
                d[i] = s[i] | 0xFF000000;
        }
    }
    b->opaque = src.opaque || !keepAlpha;
    b->dpiX = src.dpiX;
    b->dpiY = src.dpiY;
    *dstBitmap = b.release();
    return Ok;
}

GpStatus WINAPI GdipCloneBitmapArea(REAL x, REAL y, REAL width, REAL height, PixelFormat format,
                                    GpBitmap* srcBitmap, GpBitmap** dstBitmap)
{
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(width) || !std::isfinite(height) ||
        std::fabs(x) > 1e9f || std::fabs(y) > 1e9f || std::fabs(width) > 1e9f || std::fabs(height) > 1e9f)
        return InvalidParameter;
    return GdipCloneBitmapAreaI(INT(std::lround(x)), INT(std::lround(y)), INT(std::lround(width)),
                                INT(std::lround(height)), format, srcBitmap, dstBitmap);
}

GpStatus WINAPI GdipCloneImage(GpImage* image, GpImage** cloneImage)
{
    if (!image || !cloneImage)
        return InvalidParameter;
    const BitmapObject& src = *ToBitmap(image);
    GpBitmap* clone = nullptr;
    const Status status = GdipCloneBitmapAreaI(0, 0, src.width, src.height, src.format, ToBitmap(image), &clone);
    *cloneImage = clone;
    return status;
}

GpStatus WINAPI GdipDisposeImage(GpImage* image)
{
    if (!image)
        return InvalidParameter;
    BitmapObject* b = ToBitmap(image);
    if (b->storage)
        RecyclePixels(std::move(b->storage), std::size_t(b->width) * std::size_t(b->height));
    delete b;
    return Ok;
}

GpStatus WINAPI GdipGetImageWidth(GpImage* image, UINT* width)
{
    if (!image || !width)
        return InvalidParameter;
    *width = UINT(ToBitmap(image)->width);
    return Ok;
}

GpStatus WINAPI GdipGetImageHeight(GpImage* image, UINT* height)
{
    if (!image || !height)
        return InvalidParameter;
    *height = UINT(ToBitmap(image)->height);
    return Ok;
}

GpStatus WINAPI GdipGetImageType(GpImage* image, ImageType* type)
{
    if (!image || !type)
        return InvalidParameter;
    *type = ImageTypeBitmap;
    return Ok;
}

GpStatus WINAPI GdipGetImagePixelFormat(GpImage* image, PixelFormat* format)
{
    if (!image || !format)
        return InvalidParameter;
    *format = ToBitmap(image)->format;
    return Ok;
}

GpStatus WINAPI GdipGetImageHorizontalResolution(GpImage* image, REAL* resolution)
{
    if (!image || !resolution)
        return InvalidParameter;
    *resolution = ToBitmap(image)->dpiX;
    return Ok;
}

GpStatus WINAPI GdipGetImageVerticalResolution(GpImage* image, REAL* resolution)
{
    if (!image || !resolution)
        return InvalidParameter;
    *resolution = ToBitmap(image)->dpiY;
    return Ok;
}

GpStatus WINAPI GdipBitmapSetResolution(GpBitmap* bitmap, REAL xdpi, REAL ydpi)
{
    if (!bitmap || !(xdpi > 0) || !(ydpi > 0) || !std::isfinite(xdpi) || !std::isfinite(ydpi))
        return InvalidParameter;
    ToBitmap(bitmap)->dpiX = xdpi;
    ToBitmap(bitmap)->dpiY = ydpi;
    return Ok;
}

GpStatus WINAPI GdipBitmapLockBits(GpBitmap* bitmap, const Rect* rect, UINT flags, PixelFormat format,
                                   BitmapData* lockedBitmapData)
{
    if (!bitmap || !lockedBitmapData)
        return InvalidParameter;
    BitmapObject& b = *ToBitmap(bitmap);
    const Rect r = rect ? *rect : Rect(0, 0, b.width, b.height);
    if (r.X < 0 || r.Y < 0 || r.Width <= 0 || r.Height <= 0 || r.X > b.width - r.Width ||
        r.Y > b.height - r.Height)
        return InvalidParameter;
    if ((flags & ~UINT(ImageLockModeRead | ImageLockModeWrite | ImageLockModeUserInputBuf)) != 0 ||
        (flags & (ImageLockModeRead | ImageLockModeWrite)) == 0)
        return InvalidParameter;
    const bool user = (flags & ImageLockModeUserInputBuf) != 0;
    if (user && !lockedBitmapData->Scan0)
        return InvalidParameter;
    if (!IsSupportedFormat(format))
        return NotImplemented;
    if (b.locked)
        return WrongState;  // GDI+ lets one lock exist at a time

    const bool direct = !user && (format == PixelFormat32bppARGB || format == PixelFormat32bppRGB);
    BYTE* scan0 = nullptr;
    INT stride = 0;
    if (direct) {
        scan0 = reinterpret_cast<BYTE*>(b.Row(r.Y) + r.X);
        stride = INT(b.stride * 4);
    } else if (user) {
        scan0 = static_cast<BYTE*>(lockedBitmapData->Scan0);
        stride = lockedBitmapData->Stride;
        if (std::abs(stride) < BytesPerRow(format, r.Width))
            return InvalidParameter;
    } else {
        stride = BytesPerRow(format, r.Width);
        b.lockBuffer.reset(static_cast<BYTE*>(std::malloc(std::size_t(stride) * r.Height)));
        if (!b.lockBuffer)
            return OutOfMemory;
        scan0 = b.lockBuffer.get();
    }
    if (!direct && (flags & ImageLockModeRead)) {
        for (int row = 0; row < r.Height; ++row)
            ConvertRowOut(b.Row(r.Y + row) + r.X, scan0 + std::ptrdiff_t(row) * stride, r.Width, format);
    }
    b.locked = true;
    b.lockDirect = direct;
    b.lockRect = r;
    b.lockFlags = flags;
    b.lockFormat = format;
    b.lockScan0 = scan0;
    b.lockStride = stride;

    lockedBitmapData->Width = UINT(r.Width);
    lockedBitmapData->Height = UINT(r.Height);
    lockedBitmapData->Stride = stride;
    lockedBitmapData->PixelFormat = format;
    lockedBitmapData->Scan0 = scan0;
    lockedBitmapData->Reserved = 0;
    return Ok;
}

GpStatus WINAPI GdipBitmapUnlockBits(GpBitmap* bitmap, BitmapData* lockedBitmapData)
{
    if (!bitmap || !lockedBitmapData)
        return InvalidParameter;
    BitmapObject& b = *ToBitmap(bitmap);
    if (!b.locked)
        return WrongState;
    const Rect& r = b.lockRect;
    if (b.lockFlags & ImageLockModeWrite) {
        const bool keepAlpha = b.HasAlphaFormat();
        for (int row = 0; row < r.Height; ++row) {
            DWORD* dst = b.Row(r.Y + row) + r.X;
            if (b.lockDirect) {
                if (!keepAlpha)
                    for (int i = 0; i < r.Width; ++i)
                        dst[i] |= 0xFF000000;
            } else {
                ConvertRowIn(b.lockScan0 + std::ptrdiff_t(row) * b.lockStride, dst, r.Width, b.lockFormat,
                             keepAlpha);
            }
        }
        if (keepAlpha)
            b.opaque = false;  // unknown until someone looks
    }
    b.locked = false;
    b.lockBuffer.reset();
    b.lockScan0 = nullptr;
    return Ok;
}

GpStatus WINAPI GdipBitmapGetPixel(GpBitmap* bitmap, INT x, INT y, ARGB* color)
{
    if (!bitmap || !color)
        return InvalidParameter;
    const BitmapObject& b = *ToBitmap(bitmap);
    if (x < 0 || y < 0 || x >= b.width || y >= b.height)
        return InvalidParameter;
    if (b.locked)
        return WrongState;
    *color = b.Row(y)[x];
    return Ok;
}

GpStatus WINAPI GdipBitmapSetPixel(GpBitmap* bitmap, INT x, INT y, ARGB color)
{
    if (!bitmap)
        return InvalidParameter;
    BitmapObject& b = *ToBitmap(bitmap);
    if (x < 0 || y < 0 || x >= b.width || y >= b.height)
        return InvalidParameter;
    if (b.locked)
        return WrongState;
    if (!b.HasAlphaFormat())
        color |= 0xFF000000;
    else if ((color >> 24) != 0xFF)
        b.opaque = false;
    b.Row(y)[x] = color;
    return Ok;
}

GpStatus WINAPI GdipImageRotateFlip(GpImage* image, RotateFlipType rfType)
{
    if (!image || rfType < RotateNoneFlipNone || rfType > Rotate270FlipX)
        return InvalidParameter;
    BitmapObject& b = *ToBitmap(image);
    if (b.locked)
        return WrongState;
    switch (rfType) {
    case RotateNoneFlipNone:
        return Ok;
    case RotateNoneFlipX:
        FlipRowsInPlace(b, true, false);
        return Ok;
    case Rotate180FlipX:  // = RotateNoneFlipY
        FlipRowsInPlace(b, false, true);
        return Ok;
    case Rotate180FlipNone:
        FlipRowsInPlace(b, true, true);
        return Ok;
    default:
        break;
    }
    if (!b.graphics.empty())
        return ObjectBusy;  // a Graphics draws on the pixels that a turn would replace
    PixelBuffer turned = AllocatePixels(b.height, b.width, false);
    if (!turned)
        return OutOfMemory;
    const bool revX = rfType == Rotate270FlipNone || rfType == Rotate270FlipX;
    const bool revY = rfType == Rotate90FlipNone || rfType == Rotate270FlipX;
    TransposeInto(b, turned.get(), revX, revY);
    const std::size_t count = std::size_t(b.width) * std::size_t(b.height);
    PixelBuffer old = std::move(b.storage);
    b.Adopt(std::move(turned), b.height, b.width);
    RecyclePixels(std::move(old), count);
    std::swap(b.dpiX, b.dpiY);
    return Ok;
}

}  // namespace Gdiplus::DllExports
