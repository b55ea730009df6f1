// Separable image resampling in fixed point: a vertical pass over whole source rows (which
// the compiler vectorises) and a horizontal pass over the result. Downscaling widens the
// kernel by the scale factor, so a high-quality shrink averages every source pixel it covers
// instead of aliasing.
#include "gdiplus_private.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qor::gdiplus {
namespace {

constexpr int kWeightBits = 14;
constexpr int kOne = 1 << kWeightBits;

enum class Kernel { Nearest, Triangle, CatmullRom };

double KernelRadius(Kernel k) { return k == Kernel::CatmullRom ? 2.0 : 1.0; }

double KernelValue(Kernel k, double x)
{
    x = std::fabs(x);
    if (k == Kernel::Triangle)
        return x < 1 ? 1 - x : 0;
    if (x < 1)
        return (1.5 * x - 2.5) * x * x + 1;
    if (x < 2)
        return ((-0.5 * x + 2.5) * x - 4) * x + 2;
    return 0;
}

// For every output position along one axis: the first source index and its weights.
struct Taps {
    int width = 0;                 // weights per output position
    std::vector<int> first;        // first source index (inside [lo, hi))
    std::vector<std::int16_t> w;   // width weights per output position, summing to kOne
};

bool BuildTaps(int n, double c0, double step, int lo, int hi, Kernel kernel, bool widen, Taps* taps)
{
    const double scale = widen ? std::max(std::fabs(step), 1.0) : 1.0;
    const double radius = kernel == Kernel::Nearest ? 0.5 : KernelRadius(kernel) * scale;
    taps->width = kernel == Kernel::Nearest ? 1 : std::min(hi - lo, int(std::ceil(2 * radius)) + 1);
    try {
        taps->first.assign(std::size_t(n), 0);
        taps->w.assign(std::size_t(n) * taps->width, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::vector<double> weights(std::size_t(taps->width));
    for (int i = 0; i < n; ++i) {
        const double s = c0 + i * step - 0.5;  // sample position in index space
        std::fill(weights.begin(), weights.end(), 0.0);
        int first;
        if (kernel == Kernel::Nearest) {
            first = std::clamp(int(std::floor(s + 0.5)), lo, hi - 1);
            weights[0] = 1;
        } else {
            const int kMin = int(std::ceil(s - radius)), kMax = int(std::floor(s + radius));
            first = std::clamp(kMin, lo, hi - taps->width);
            for (int k = kMin; k <= kMax; ++k) {
                const int index = std::clamp(k, first, first + taps->width - 1);  // edges repeat
                weights[std::size_t(index - first)] += KernelValue(kernel, (k - s) / scale);
            }
        }
        double sum = 0;
        for (double v : weights)
            sum += v;
        if (sum == 0) {
            weights[0] = sum = 1;
        }
        std::int16_t* w = &taps->w[std::size_t(i) * taps->width];
        int total = 0, biggest = 0;
        for (int k = 0; k < taps->width; ++k) {
            w[k] = std::int16_t(std::lround(weights[std::size_t(k)] / sum * kOne));
            total += w[k];
            if (std::abs(w[k]) > std::abs(w[biggest]))
                biggest = k;
        }
        w[biggest] = std::int16_t(w[biggest] + (kOne - total));
        taps->first[std::size_t(i)] = first;
    }
    return true;
}

inline BYTE ClampByte(int v) { return BYTE(std::clamp(v, 0, 255)); }

void VerticalPass(const BYTE* const* rows, const std::int16_t* w, int taps, int bytes, std::int32_t* acc,
                  BYTE* out)
{
    std::memset(acc, 0, sizeof(std::int32_t) * bytes);
    for (int t = 0; t < taps; ++t) {
        const int weight = w[t];
        if (weight == 0)
            continue;
        const BYTE* s = rows[t];
        for (int k = 0; k < bytes; ++k)
            acc[k] += weight * s[k];
    }
    for (int k = 0; k < bytes; ++k)
        out[k] = ClampByte((acc[k] + kOne / 2) >> kWeightBits);
}

void HorizontalPass(const BYTE* in, const Taps& taps, int lo, int outW, DWORD* out)
{
    for (int i = 0; i < outW; ++i) {
        const BYTE* s = in + std::size_t(taps.first[std::size_t(i)] - lo) * 4;
        const std::int16_t* w = &taps.w[std::size_t(i) * taps.width];
        int b = kOne / 2, g = kOne / 2, r = kOne / 2, a = kOne / 2;
        for (int t = 0; t < taps.width; ++t, s += 4) {
            b += w[t] * s[0];
            g += w[t] * s[1];
            r += w[t] * s[2];
            a += w[t] * s[3];
        }
        out[i] = (DWORD(ClampByte(a >> kWeightBits)) << 24) | (DWORD(ClampByte(r >> kWeightBits)) << 16) |
                 (DWORD(ClampByte(g >> kWeightBits)) << 8) | ClampByte(b >> kWeightBits);
    }
}

bool WindowOpaque(const BitmapObject& src, const RECT& window)
{
    if (src.opaque)
        return true;
    for (LONG y = window.top; y < window.bottom; ++y) {
        const DWORD* row = src.Row(y);
        for (LONG x = window.left; x < window.right; ++x)
            if ((row[x] >> 24) != 0xFF)
                return false;
    }
    return true;
}

}  // namespace

Status ResampleImage(const BitmapObject& src, const RECT& window, double u0, double v0, double du, double dv,
                     InterpolationMode mode, DWORD* out, int outW, int outH)
{
    const Kernel kernel = mode == InterpolationModeNearestNeighbor ? Kernel::Nearest
                          : (mode == InterpolationModeBicubic || mode == InterpolationModeHighQualityBicubic)
                              ? Kernel::CatmullRom
                              : Kernel::Triangle;
    const bool widen = mode == InterpolationModeHighQualityBicubic || mode == InterpolationModeHighQualityBilinear;
    Taps columns, rows;
    if (!BuildTaps(outW, u0, du, window.left, window.right, kernel, widen, &columns) ||
        !BuildTaps(outH, v0, dv, window.top, window.bottom, kernel, widen, &rows))
        return OutOfMemory;

    // Only the source pixels some tap reads take part (a zoomed view reads a small part).
    RECT used{window.right, window.bottom, window.left, window.top};
    for (int i = 0; i < outW; ++i) {
        used.left = std::min<LONG>(used.left, columns.first[std::size_t(i)]);
        used.right = std::max<LONG>(used.right, columns.first[std::size_t(i)] + columns.width);
    }
    for (int j = 0; j < outH; ++j) {
        used.top = std::min<LONG>(used.top, rows.first[std::size_t(j)]);
        used.bottom = std::max<LONG>(used.bottom, rows.first[std::size_t(j)] + rows.width);
    }
    if (used.left >= used.right || used.top >= used.bottom)
        return Ok;

    // Transparent pixels take part premultiplied; the used pixels are copied once for that.
    const int windowW = used.right - used.left, windowH = used.bottom - used.top;
    const bool opaque = WindowOpaque(src, used);
    PixelBuffer premultiplied;
    if (!opaque) {
        premultiplied = AllocatePixels(windowW, windowH, false);
        if (!premultiplied)
            return OutOfMemory;
        for (int y = 0; y < windowH; ++y) {
            const DWORD* s = src.Row(used.top + y) + used.left;
            DWORD* d = premultiplied.get() + std::size_t(y) * windowW;
            for (int x = 0; x < windowW; ++x) {
                const unsigned a = s[x] >> 24;
                d[x] = (s[x] & 0xFF000000) | (DWORD(Div255(((s[x] >> 16) & 0xFF) * a)) << 16) |
                       (DWORD(Div255(((s[x] >> 8) & 0xFF) * a)) << 8) | Div255((s[x] & 0xFF) * a);
            }
        }
    }
    auto sourceRow = [&](int y) -> const BYTE* {
        if (opaque)
            return reinterpret_cast<const BYTE*>(src.Row(y) + used.left);
        return reinterpret_cast<const BYTE*>(premultiplied.get() + std::size_t(y - used.top) * windowW);
    };

    const int bytes = windowW * 4;
    std::vector<std::int32_t> acc;
    std::vector<BYTE> line;
    std::vector<const BYTE*> tapRows;
    try {
        acc.resize(std::size_t(bytes));
        line.resize(std::size_t(bytes));
        tapRows.resize(std::size_t(rows.width));
    } catch (const std::bad_alloc&) {
        return OutOfMemory;
    }
    for (int j = 0; j < outH; ++j) {
        const int first = rows.first[std::size_t(j)];
        for (int t = 0; t < rows.width; ++t)
            tapRows[std::size_t(t)] = sourceRow(first + t);
        VerticalPass(tapRows.data(), &rows.w[std::size_t(j) * rows.width], rows.width, bytes, acc.data(),
                     line.data());
        DWORD* o = out + std::size_t(j) * outW;
        HorizontalPass(line.data(), columns, used.left, outW, o);
        if (!opaque) {
            for (int i = 0; i < outW; ++i) {
                const unsigned a = o[i] >> 24;
                if (a == 0) {
                    o[i] = 0;
                } else if (a != 255) {
                    auto channel = [a](unsigned c) { return std::min(255u, (c * 255 + a / 2) / a); };
                    o[i] = (o[i] & 0xFF000000) | (channel((o[i] >> 16) & 0xFF) << 16) |
                           (channel((o[i] >> 8) & 0xFF) << 8) | channel(o[i] & 0xFF);
                }
            }
        }
    }
    return Ok;
}

}  // namespace qor::gdiplus
