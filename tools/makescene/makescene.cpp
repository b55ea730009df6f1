// makescene: draws the built-in scene of the development scan engine (Scene.h) as a binary
// PPM file: a light flatbed with three photo-like pictures and some dust, with a little
// sensor noise. The output is the same on every run.
//
//   makescene <output.ppm>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "Scene.h"

namespace {

struct Rgb {
    double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

class Canvas {
public:
    Canvas(int width, int height) : m_width(width), m_height(height), m_pixels(static_cast<size_t>(width) * height) {}

    void Set(int x, int y, Rgb c)
    {
        if (x >= 0 && y >= 0 && x < m_width && y < m_height)
            m_pixels[static_cast<size_t>(y) * m_width + x] = c;
    }

    // Fills a photo's rectangle with shade(u, v), u and v from 0 to 1 across the photo.
    template <typename Shade>
    void Photo(const qorscene::Photo& photo, Shade shade)
    {
        const int x0 = qorscene::ToPixels(photo.left), y0 = qorscene::ToPixels(photo.top);
        const int w = qorscene::ToPixels(photo.width), h = qorscene::ToPixels(photo.height);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                Set(x0 + x, y0 + y, shade((x + 0.5) / w, (y + 0.5) / h, static_cast<double>(w) / h));
    }

    bool WritePpm(const std::filesystem::path& path) const
    {
        std::ofstream out(path, std::ios::binary);
        out << "P6\n" << m_width << ' ' << m_height << "\n255\n";
        std::vector<unsigned char> row(static_cast<size_t>(m_width) * 3);
        uint32_t seed = 12345;
        for (int y = 0; y < m_height; ++y) {
            for (int x = 0; x < m_width; ++x) {
                const Rgb& c = m_pixels[static_cast<size_t>(y) * m_width + x];
                seed = seed * 1664525u + 1013904223u;
                const double noise = static_cast<double>((seed >> 24) % 7) - 3.0;  // sensor noise, -3..3
                row[x * 3] = static_cast<unsigned char>(std::clamp(c.r + noise, 0.0, 255.0));
                row[x * 3 + 1] = static_cast<unsigned char>(std::clamp(c.g + noise, 0.0, 255.0));
                row[x * 3 + 2] = static_cast<unsigned char>(std::clamp(c.b + noise, 0.0, 255.0));
            }
            out.write(reinterpret_cast<const char*>(row.data()), static_cast<std::streamsize>(row.size()));
        }
        return static_cast<bool>(out);
    }

    std::vector<Rgb>& Pixels() { return m_pixels; }

private:
    int m_width, m_height;
    std::vector<Rgb> m_pixels;
};

double Distance(double u, double v, double cu, double cv, double aspect)
{
    return std::hypot((u - cu) * aspect, v - cv);
}

Rgb Landscape(double u, double v, double aspect)
{
    const double horizon = 0.55 + 0.08 * std::sin(u * 7.0) + 0.04 * std::sin(u * 17.0 + 1.0);
    if (v < horizon) {
        if (Distance(u, v, 0.75, 0.22, aspect) < 0.09)
            return {250, 215, 80};  // the sun
        return Mix({60, 110, 190}, {140, 185, 230}, v / horizon);
    }
    const double depth = (v - horizon) / (1.0 - horizon);
    if (depth > 0.55 && std::fabs(u - 0.35 - (depth - 0.55) * 0.4) < 0.05 + depth * 0.08)
        return {150, 120, 80};  // a path
    return Mix({70, 140, 60}, {25, 80, 35}, depth);
}

Rgb Sunset(double u, double v, double aspect)
{
    if (Distance(u, v, 0.5, 0.58, aspect) < 0.16 && v < 0.62)
        return {255, 190, 90};  // the setting sun
    const double ridge = 0.62 + 0.06 * std::sin(u * 9.0) + 0.03 * std::cos(u * 23.0);
    if (v > ridge)
        return Mix({45, 25, 45}, {15, 10, 20}, (v - ridge) * 3.0);
    return Mix({200, 80, 60}, {235, 150, 70}, v / ridge);
}

Rgb Group(double u, double v, double aspect)
{
    const double faces[][2] = {{0.2, 0.38}, {0.4, 0.33}, {0.6, 0.36}, {0.8, 0.4}};
    const Rgb shirts[] = {{40, 70, 150}, {160, 40, 40}, {50, 120, 70}, {90, 60, 120}};
    for (int i = 0; i < 4; ++i) {
        if (Distance(u, v, faces[i][0], faces[i][1], aspect) < 0.07)
            return {225, 180, 150};
        if (v > faces[i][1] + 0.12 && std::fabs(u - faces[i][0]) < 0.08 + (v - faces[i][1]) * 0.1)
            return shirts[i];
    }
    if (v > 0.85)
        return {110, 70, 40};  // a table
    return Mix({170, 120, 80}, {120, 80, 55}, v);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: makescene <output.ppm>\n");
        return 2;
    }
    using namespace qorscene;
    Canvas canvas(ToPixels(kPageWidth), ToPixels(kPageHeight));
    std::fill(canvas.Pixels().begin(), canvas.Pixels().end(), Rgb{238, 237, 232});  // the flatbed's lid
    canvas.Photo(kPhotos[0], Landscape);
    canvas.Photo(kPhotos[1], Sunset);
    canvas.Photo(kPhotos[2], Group);
    // Dust and a hair: small dark marks that an automatic crop must not take for photos.
    const int specks[][2] = {{60, 700}, {1220, 300}, {900, 1500}, {300, 1560}, {1200, 1000}};
    for (const auto& s : specks)
        for (int dy = 0; dy < 2; ++dy)
            for (int dx = 0; dx < 2; ++dx) canvas.Set(s[0] + dx, s[1] + dy, {70, 70, 70});
    for (int i = 0; i < 60; ++i) canvas.Set(1030 + i, 1420 + i / 4, {90, 80, 70});

    const std::filesystem::path out(argv[1]);
    std::error_code ec;
    if (out.has_parent_path())
        std::filesystem::create_directories(out.parent_path(), ec);
    if (!canvas.WritePpm(out)) {
        std::fprintf(stderr, "makescene: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
