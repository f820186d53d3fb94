// The text font and the two digit fonts, in the marker-pixel layout the game
// measures: the pixel at (0, 0) gives the marker colour; markers in a band's
// top row start its cells, markers in column 0 start the bands. A cell is as
// wide as the character's advance, and the last cell of a band always runs
// to the picture's right edge, so every band is filled exactly.
#include "interface.h"
#include "release.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

struct FontFile {
    const char* member;
    const char* face;
    const char* characters; // in the order the game hands out the cells
    // Text font: picture size and the number of bands the characters fill;
    // the cell height is the largest that fits. Digit fonts (width 0): one
    // band as wide as its cells, the cell hugging the digits, because the
    // number plates centre the digits by their cell.
    int width, height, bands;
    TextStyle style; // digit fonts; the text font's size follows its cells
    int keyline;     // outline in pixels around the ink, 0 for none
    Colour ink, line;
};

const char printable[] = "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~";

struct FontTable {
    Colour marker{1, 0, 1, 1};     // (255, 0, 255, 255): never a glyph's colour
    Colour background{1, 1, 1, 0}; // the game clears markers to this too
    int margin = 1;                // clear pixels between the ink and the cell's edge
    // The text is tinted by the game (white glyphs modulate to any colour);
    // the plate digits keep their own colours, black with a white keyline,
    // so they read on light and on dark plates alike. The condensed digits
    // are squeezed so that three of them fit the 128-pixel plate.
    FontFile fonts[3] = {
        {"font.png", "DejaVuSans-Bold.ttf", printable, 1024, 256, 3, {}, 0, {1, 1, 1, 1}, {}},
        {"numbers.png", "DejaVuSans-Bold.ttf", "0123456789", 0, 0, 1, {84, 1, 0, 0}, 3, {0.05, 0.05, 0.05, 1},
         {1, 1, 1, 1}},
        {"numbers-condensed.png", "DejaVuSans-Bold.ttf", "0123456789", 0, 0, 1, {84, 0.6, 1.5, 0}, 3,
         {0.05, 0.05, 0.05, 1}, {1, 1, 1, 1}},
    };
};

const FontTable table;

struct Glyph {
    char character;
    double advance;
    Mask ink;    // at pen origin (0, 0) on the baseline
    int x0, x1;  // ink columns relative to the pen
    int y0, y1;  // ink rows relative to the baseline (y down)
    int width;   // cell width before the band's slack is shared out
};

std::vector<Glyph> measure(Face* face, const FontFile& font, const TextStyle& style)
{
    std::vector<Glyph> glyphs;
    for (const char* c = font.characters; *c; c++) {
        Glyph g{*c, text_advance(face, std::string(1, *c), style), text_mask(face, std::string(1, *c), style), 0, 0,
                0, 0, 0};
        if (!mask_ink(g.ink, &g.x0, &g.y0, &g.x1, &g.y1))
            g.x0 = g.x1 = g.y0 = g.y1 = 0;
        int border = table.margin + font.keyline;
        g.width = std::max(int(std::lround(g.advance)), g.x1 - g.x0 + 2 * border);
        glyphs.push_back(std::move(g));
    }
    return glyphs;
}

// Consecutive runs of glyphs, each as wide as the picture once the slack is
// shared out; empty when they need more bands than the font has.
std::vector<std::vector<int>> fill_bands(const std::vector<Glyph>& glyphs, int width, int bands)
{
    std::vector<std::vector<int>> rows(1);
    int used = 0;
    for (int i = 0; i < int(glyphs.size()); i++) {
        if (used + glyphs[i].width > width) {
            if (int(rows.size()) == bands)
                return {};
            rows.emplace_back();
            used = 0;
        }
        rows.back().push_back(i);
        used += glyphs[i].width;
    }
    return rows;
}

// Paints one glyph with its pen origin at (x, baseline).
void paint_glyph(Canvas* canvas, const FontFile& font, const Glyph& g, int x, int baseline)
{
    if (font.keyline > 0)
        paint_mask(canvas, dilate(g.ink, font.keyline), x, baseline, solid(font.line));
    paint_mask(canvas, g.ink, x, baseline, solid(font.ink));
}

void set_marker(Canvas* canvas, int x, int y)
{
    float* p = &canvas->rgba[(size_t(y) * canvas->width + x) * 4];
    p[0] = float(table.marker.r);
    p[1] = float(table.marker.g);
    p[2] = float(table.marker.b);
    p[3] = float(table.marker.a);
}

// Pen position in a cell: the glyph keeps its own side bearings, moved in
// only where its ink would leave the clear margin.
int pen_in_cell(const FontFile& font, const Glyph& g, int x0, int x1)
{
    int border = table.margin + font.keyline;
    int pen = x0 + int(std::lround(((x1 - x0) - g.advance) / 2));
    pen = std::max(pen, x0 + border - g.x0);
    return std::min(pen, x1 - border - g.x1);
}

Picture text_font(Face* face, const FontFile& font)
{
    // The largest cell height whose glyphs fill no more than the bands.
    const double em_lines = (face_ascent(face, {1}) + face_descent(face, {1}));
    std::vector<Glyph> glyphs;
    std::vector<std::vector<int>> rows;
    int cell = font.height / font.bands;
    TextStyle style;
    for (; cell > 8; cell--) {
        style.size = (cell - 2 * table.margin - 1) / em_lines;
        glyphs = measure(face, font, style);
        rows = fill_bands(glyphs, font.width, font.bands);
        if (!rows.empty())
            break;
    }
    Canvas canvas = make_canvas(font.width, font.height, table.background);
    const int descent = int(std::ceil(face_descent(face, style)));
    for (int band = 0; band < int(rows.size()); band++) {
        const std::vector<int>& row = rows[size_t(band)];
        int used = 0;
        for (int i : row)
            used += glyphs[size_t(i)].width;
        // The band's slack is spread evenly so that its last cell ends at
        // the right edge without one glyph taking it all.
        const int slack = font.width - used, n = int(row.size());
        const int top = band * cell, baseline = top + cell - table.margin - descent;
        int x = 0;
        for (int k = 0; k < n; k++) {
            const Glyph& g = glyphs[size_t(row[size_t(k)])];
            int w = g.width + (k + 1) * slack / n - k * slack / n;
            paint_glyph(&canvas, font, g, pen_in_cell(font, g, x, x + w), baseline);
            set_marker(&canvas, x, top);
            x += w;
        }
    }
    // Ends the last band when the bands leave rows below them unused.
    if (int(rows.size()) * cell < font.height)
        set_marker(&canvas, 0, int(rows.size()) * cell);
    return canvas_picture(canvas, 4);
}

Picture digit_font(Face* face, const FontFile& font)
{
    std::vector<Glyph> glyphs = measure(face, font, font.style);
    // Tabular: one cell width for every digit, so numbers keep their width
    // whatever the digits.
    int width = 0, ink_top = 0, ink_bottom = 0;
    for (const Glyph& g : glyphs) {
        width = std::max(width, g.width);
        ink_top = std::min(ink_top, g.y0);
        ink_bottom = std::max(ink_bottom, g.y1);
    }
    const int border = table.margin + font.keyline;
    const int height = ink_bottom - ink_top + 2 * border;
    Canvas canvas = make_canvas(width * int(glyphs.size()), height, table.background);
    const int baseline = border - ink_top;
    for (int i = 0; i < int(glyphs.size()); i++) {
        int x = i * width;
        paint_glyph(&canvas, font, glyphs[size_t(i)], pen_in_cell(font, glyphs[size_t(i)], x, x + width), baseline);
        set_marker(&canvas, x, 0);
    }
    return canvas_picture(canvas, 4);
}

} // namespace

void add_fonts(Release* release)
{
    for (const FontFile& font : table.fonts) {
        Face* face = require_face(font.face);
        Picture picture = font.width > 0 ? text_font(face, font) : digit_font(face, font);
        close_face(face);
        add_member(release, interface_archive, font.member, encode_png(picture));
    }
}
