// makeart: draws the module's cursor resources (105 to 110) and the close glyph (104) and
// writes them into a folder, normally server/res/. Run by hand when the pictures change;
// the generated files are kept with the sources.
//
//   makeart <output folder>
//
// Shapes are described by signed distance functions (negative inside) and rendered with
// 4 x 4 samples per pixel, so edges are smooth and the output is the same on every run.
// Cursors are black shapes with a white rim on a transparent ground, 32 x 32, stored as a
// .cur file whose one image is a PNG.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Vec {
    double x, y;
};
Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y}; }
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y}; }
Vec operator*(Vec a, double s) { return {a.x * s, a.y * s}; }
double Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y; }
double Length(Vec a) { return std::sqrt(Dot(a, a)); }

using Shape = std::function<double(Vec)>;  // signed distance, negative inside

// A stroke of half width hw along the segment a-b, with round ends.
Shape Segment(Vec a, Vec b, double hw)
{
    return [=](Vec p) {
        const Vec ab = b - a;
        const double t = std::clamp(Dot(p - a, ab) / Dot(ab, ab), 0.0, 1.0);
        return Length(p - (a + ab * t)) - hw;
    };
}

// A filled triangle; outside the corners the distance is that of the nearest edge line,
// which gives mitred outlines.
Shape Triangle(Vec a, Vec b, Vec c)
{
    return [=](Vec p) {
        const Vec pts[3] = {a, b, c};
        const double area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
        const double orient = area > 0 ? 1.0 : -1.0;
        double d = -1e9;
        for (int i = 0; i < 3; ++i) {
            const Vec e = pts[(i + 1) % 3] - pts[i];
            const Vec n = Vec{e.y, -e.x} * (orient / Length(e));  // outward normal
            d = std::max(d, Dot(p - pts[i], n));
        }
        return d;
    };
}

Shape Circle(Vec c, double r)
{
    return [=](Vec p) { return Length(p - c) - r; };
}

Shape Union(std::vector<Shape> parts)
{
    return [parts = std::move(parts)](Vec p) {
        double d = 1e9;
        for (const Shape& s : parts)
            d = std::min(d, s(p));
        return d;
    };
}

// A double-headed arrow through c along the unit direction u.
Shape DoubleArrow(Vec c, Vec u, double halfLength)
{
    constexpr double kHeadLength = 6.0;
    constexpr double kHeadHalfWidth = 5.0;
    const Vec v = {-u.y, u.x};
    const Vec tip1 = c + u * halfLength;
    const Vec tip2 = c - u * halfLength;
    const Vec base1 = tip1 - u * kHeadLength;
    const Vec base2 = tip2 + u * kHeadLength;
    return Union({Segment(base1, base2, 1.2), Triangle(tip1, base1 + v * kHeadHalfWidth, base1 - v * kHeadHalfWidth),
                  Triangle(tip2, base2 + v * kHeadHalfWidth, base2 - v * kHeadHalfWidth)});
}

struct Rgba {
    double r, g, b, a;
};

// One layer of paint: a shape (grown by `grow` pixels) filled with a colour.
struct Layer {
    Shape shape;
    double grow;
    Rgba color;
};

// Renders layers bottom to top into 8-bit straight-alpha RGBA.
std::vector<std::uint8_t> Render(int size, const std::vector<Layer>& layers)
{
    constexpr int kSamples = 4;
    std::vector<std::uint8_t> pixels(static_cast<size_t>(size) * size * 4);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            Rgba out = {0, 0, 0, 0};  // premultiplied
            for (const Layer& layer : layers) {
                int covered = 0;
                for (int sy = 0; sy < kSamples; ++sy) {
                    for (int sx = 0; sx < kSamples; ++sx) {
                        const Vec p = {x + (sx + 0.5) / kSamples, y + (sy + 0.5) / kSamples};
                        if (layer.shape(p) <= layer.grow)
                            ++covered;
                    }
                }
                const double a = layer.color.a * covered / (kSamples * kSamples);
                out.r = layer.color.r * a + out.r * (1 - a);
                out.g = layer.color.g * a + out.g * (1 - a);
                out.b = layer.color.b * a + out.b * (1 - a);
                out.a = a + out.a * (1 - a);
            }
            std::uint8_t* px = &pixels[(static_cast<size_t>(y) * size + x) * 4];
            const auto channel = [&](double premultiplied) {
                return static_cast<std::uint8_t>(std::lround(out.a > 0 ? 255.0 * premultiplied / out.a : 0.0));
            };
            px[0] = channel(out.r);
            px[1] = channel(out.g);
            px[2] = channel(out.b);
            px[3] = static_cast<std::uint8_t>(std::lround(255.0 * out.a));
        }
    }
    return pixels;
}

std::vector<std::uint8_t> EncodePng(int size, const std::vector<std::uint8_t>& rgba)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(size);
    image.height = static_cast<png_uint_32>(size);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t bytes = 0;
    if (!png_image_write_to_memory(&image, nullptr, &bytes, 0, rgba.data(), 0, nullptr))
        throw std::runtime_error(image.message);
    std::vector<std::uint8_t> png(bytes);
    if (!png_image_write_to_memory(&image, png.data(), &bytes, 0, rgba.data(), 0, nullptr))
        throw std::runtime_error(image.message);
    png.resize(bytes);
    return png;
}

void PutWord(std::vector<std::uint8_t>& out, unsigned value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void PutDword(std::vector<std::uint8_t>& out, unsigned value)
{
    PutWord(out, value & 0xFFFF);
    PutWord(out, value >> 16);
}

// A .cur file with one PNG image: the directory (reserved, type 2, count 1) and one entry.
std::vector<std::uint8_t> CursorFile(int size, int hotX, int hotY, const std::vector<std::uint8_t>& png)
{
    std::vector<std::uint8_t> out;
    PutWord(out, 0);
    PutWord(out, 2);
    PutWord(out, 1);
    out.push_back(static_cast<std::uint8_t>(size));
    out.push_back(static_cast<std::uint8_t>(size));
    out.push_back(0);  // colour count
    out.push_back(0);  // reserved
    PutWord(out, static_cast<unsigned>(hotX));
    PutWord(out, static_cast<unsigned>(hotY));
    PutDword(out, static_cast<unsigned>(png.size()));
    PutDword(out, 6 + 16);
    out.insert(out.end(), png.begin(), png.end());
    return out;
}

void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file)
        throw std::runtime_error("cannot write " + path.string());
}

constexpr Rgba kBlack = {0, 0, 0, 1};
constexpr Rgba kWhite = {1, 1, 1, 1};
constexpr double kRim = 1.5;  // white rim around the black cursor shapes, pixels

void WriteCursor(const std::filesystem::path& path, const Shape& shape)
{
    constexpr int kSize = 32;
    const auto pixels = Render(kSize, {{shape, kRim, kWhite}, {shape, 0.0, kBlack}});
    WriteFile(path, CursorFile(kSize, 16, 16, EncodePng(kSize, pixels)));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: makeart <output folder>\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    try {
        const Vec c = {16, 16};
        const double d = std::sqrt(0.5);
        WriteCursor(folder / "nwse.cur", DoubleArrow(c, {d, d}, 11.5));   // 105
        WriteCursor(folder / "nesw.cur", DoubleArrow(c, {d, -d}, 11.5));  // 106
        WriteCursor(folder / "ns.cur", DoubleArrow(c, {0, 1}, 13));     // 107
        WriteCursor(folder / "we.cur", DoubleArrow(c, {1, 0}, 13));     // 108
        WriteCursor(folder / "move.cur", Union({DoubleArrow(c, {1, 0}, 13), DoubleArrow(c, {0, 1}, 13)}));  // 109
        WriteCursor(folder / "close.cur",
                    Union({Segment({10, 10}, {22, 22}, 1.8), Segment({22, 10}, {10, 22}, 1.8)}));  // 110

        // 104: a red round button with a white x, 16 x 16.
        constexpr int kGlyph = 16;
        const Rgba red = {200 / 255.0, 40 / 255.0, 40 / 255.0, 1};
        const Shape cross = Union({Segment({5.5, 5.5}, {10.5, 10.5}, 1.0), Segment({10.5, 5.5}, {5.5, 10.5}, 1.0)});
        const auto glyph = Render(kGlyph, {{Circle({8, 8}, 7.5), 0.0, red}, {cross, 0.0, kWhite}});
        WriteFile(folder / "close_glyph.png", EncodePng(kGlyph, glyph));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "makeart: %s\n", e.what());
        return 1;
    }
    return 0;
}
