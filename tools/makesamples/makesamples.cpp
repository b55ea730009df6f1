// makesamples: draws the two sample pages that the preview shows before anything has been
// scanned (JPEG resources 103 and 112) and writes them into a folder, normally server/res/.
// Run by hand when the pictures change; the generated files are kept with the sources.
//
//   makesamples <output folder>
//
// Each page is a light sheet on the scanner glass with a heading, a few grey text lines
// and a picture placeholder (a framed box with a sun and two hills), so that it reads as
// "a page, not scanned yet". Shapes are rendered with 4 x 4 samples per pixel, so edges
// are smooth and the output is the same on every run.
#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Rgb {
    double r, g, b;
};

constexpr Rgb kGlass = {0.86, 0.87, 0.88};   // around the sheet
constexpr Rgb kSheet = {0.985, 0.985, 0.975};
constexpr Rgb kHeading = {0.55, 0.56, 0.58};
constexpr Rgb kText = {0.74, 0.75, 0.76};
constexpr Rgb kPlaceholder = {0.90, 0.91, 0.92};
constexpr Rgb kPlaceholderLine = {0.70, 0.71, 0.73};

class Canvas {
public:
    Canvas(int width, int height) : m_width(width), m_height(height), m_pixels(size_t(width) * height, kGlass) {}

    int Width() const { return m_width; }
    int Height() const { return m_height; }

    // Covers every pixel by the share of its 4 x 4 samples for which inside(x, y) holds.
    template <class Inside>
    void Fill(const Rgb& colour, double left, double top, double right, double bottom, Inside inside)
    {
        const int x0 = std::max(0, int(std::floor(left))), x1 = std::min(m_width, int(std::ceil(right)));
        const int y0 = std::max(0, int(std::floor(top))), y1 = std::min(m_height, int(std::ceil(bottom)));
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                int hits = 0;
                for (int sy = 0; sy < 4; ++sy)
                    for (int sx = 0; sx < 4; ++sx)
                        hits += inside(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4) ? 1 : 0;
                Blend(x, y, colour, hits / 16.0);
            }
        }
    }

    void Rect(const Rgb& colour, double left, double top, double right, double bottom)
    {
        Fill(colour, left, top, right, bottom,
             [&](double x, double y) { return x >= left && x < right && y >= top && y < bottom; });
    }

    void Frame(const Rgb& colour, double left, double top, double right, double bottom, double width)
    {
        Rect(colour, left, top, right, top + width);
        Rect(colour, left, bottom - width, right, bottom);
        Rect(colour, left, top, left + width, bottom);
        Rect(colour, right - width, top, right, bottom);
    }

    void Disc(const Rgb& colour, double cx, double cy, double radius)
    {
        Fill(colour, cx - radius, cy - radius, cx + radius, cy + radius, [&](double x, double y) {
            return (x - cx) * (x - cx) + (y - cy) * (y - cy) < radius * radius;
        });
    }

    // A hill: the area under a cosine arch of the given half width, clipped to the box.
    void Hill(const Rgb& colour, double cx, double baseY, double halfWidth, double height, double left, double right)
    {
        Fill(colour, std::max(left, cx - halfWidth), baseY - height, std::min(right, cx + halfWidth), baseY,
             [&](double x, double y) {
                 const double t = (x - cx) / halfWidth;
                 return std::abs(t) < 1 && y > baseY - height * (0.5 + 0.5 * std::cos(t * M_PI));
             });
    }

    // A text line with round ends, as a reader sees text from afar.
    void TextLine(const Rgb& colour, double left, double top, double length, double thickness)
    {
        const double r = thickness / 2, cy = top + r;
        Fill(colour, left, top, left + length, top + thickness, [&](double x, double y) {
            const double px = std::clamp(x, left + r, left + length - r);
            return (x - px) * (x - px) + (y - cy) * (y - cy) < r * r;
        });
    }

    bool WriteJpeg(const std::string& path, int quality) const
    {
        FILE* file = std::fopen(path.c_str(), "wb");
        if (!file)
            return false;
        jpeg_compress_struct info;
        jpeg_error_mgr errors;
        info.err = jpeg_std_error(&errors);
        jpeg_create_compress(&info);
        jpeg_stdio_dest(&info, file);
        info.image_width = JDIMENSION(m_width);
        info.image_height = JDIMENSION(m_height);
        info.input_components = 3;
        info.in_color_space = JCS_RGB;
        jpeg_set_defaults(&info);
        jpeg_set_quality(&info, quality, TRUE);
        info.density_unit = 1;  // dots per inch
        info.X_density = info.Y_density = 75;
        jpeg_start_compress(&info, TRUE);
        std::vector<JSAMPLE> row(size_t(m_width) * 3);
        for (int y = 0; y < m_height; ++y) {
            for (int x = 0; x < m_width; ++x) {
                const Rgb& p = m_pixels[size_t(y) * m_width + x];
                row[size_t(x) * 3 + 0] = ToByte(p.r);
                row[size_t(x) * 3 + 1] = ToByte(p.g);
                row[size_t(x) * 3 + 2] = ToByte(p.b);
            }
            JSAMPROW rows[1] = {row.data()};
            jpeg_write_scanlines(&info, rows, 1);
        }
        jpeg_finish_compress(&info);
        jpeg_destroy_compress(&info);
        return std::fclose(file) == 0;
    }

private:
    static JSAMPLE ToByte(double v) { return JSAMPLE(std::lround(std::clamp(v, 0.0, 1.0) * 255)); }

    void Blend(int x, int y, const Rgb& colour, double coverage)
    {
        Rgb& p = m_pixels[size_t(y) * m_width + x];
        p = {p.r + (colour.r - p.r) * coverage, p.g + (colour.g - p.g) * coverage, p.b + (colour.b - p.b) * coverage};
    }

    int m_width;
    int m_height;
    std::vector<Rgb> m_pixels;
};

// Text lines of varying length, as a paragraph ends short.
void Paragraph(Canvas& c, double left, double top, double width, int lines, double pitch, int seed)
{
    for (int i = 0; i < lines; ++i) {
        const bool last = i == lines - 1;
        const double share = last ? 0.45 + 0.1 * ((seed + i) % 3) : 0.88 + 0.04 * ((seed * 7 + i * 3) % 4);
        c.TextLine(kText, left, top + i * pitch, width * share, pitch * 0.45);
    }
}

void PicturePlaceholder(Canvas& c, double left, double top, double right, double bottom)
{
    c.Rect(kPlaceholder, left, top, right, bottom);
    const double w = right - left, h = bottom - top;
    c.Disc(kPlaceholderLine, left + w * 0.75, top + h * 0.3, std::min(w, h) * 0.1);
    c.Hill(kPlaceholderLine, left + w * 0.3, bottom, w * 0.35, h * 0.5, left, right);
    c.Hill(kText, left + w * 0.72, bottom, w * 0.3, h * 0.32, left, right);
    c.Frame(kPlaceholderLine, left, top, right, bottom, 2);
}

// One column of a page: heading, paragraphs and a picture.
void Column(Canvas& c, double left, double top, double width, double bottom, int seed)
{
    const double pitch = 17;
    c.TextLine(kHeading, left, top, width * 0.55, 14);
    double y = top + 40;
    Paragraph(c, left, y, width, 5, pitch, seed);
    y += 5 * pitch + 18;
    const double pictureBottom = y + width * 0.6;
    PicturePlaceholder(c, left, y, left + width, pictureBottom);
    y = pictureBottom + 24;
    for (int block = 0; y + 4 * pitch < bottom; ++block) {
        const int lines = std::min(4 + block % 3, int((bottom - y) / pitch));
        Paragraph(c, left, y, width, lines, pitch, seed + block + 1);
        y += lines * pitch + 18;
    }
}

// A sheet with a margin of glass around it and one or two columns of content.
Canvas Page(int width, int height, int columns)
{
    Canvas c(width, height);
    const double inset = 10;
    c.Rect(kSheet, inset, inset, width - inset, height - inset);
    const double margin = 60, gutter = 50;
    const double columnWidth = (width - 2 * inset - 2 * margin - (columns - 1) * gutter) / columns;
    for (int i = 0; i < columns; ++i)
        Column(c, inset + margin + i * (columnWidth + gutter), inset + margin, columnWidth, height - inset - margin, i * 5);
    return c;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: makesamples <output folder>\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const int quality = 85;
    const bool ok = Page(637, 877, 1).WriteJpeg((folder / "sample_portrait.jpg").string(), quality) &&
                    Page(1275, 877, 2).WriteJpeg((folder / "sample_landscape.jpg").string(), quality);
    if (!ok) {
        std::fprintf(stderr, "makesamples: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
