#include "interface_draw.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const char font_folder[] = "/usr/share/fonts/truetype/dejavu/";

double clamp01(double v)
{
    return v < 0 ? 0 : v > 1 ? 1 : v;
}

Box bounds(double x0, double y0, double x1, double y1)
{
    return {int(std::floor(x0)) - 1, int(std::floor(y0)) - 1, int(std::ceil(x1)) + 1, int(std::ceil(y1)) + 1};
}

long to_26_6(double v)
{
    return std::lround(v * 64);
}

} // namespace

Colour mix(Colour from, Colour to, double t)
{
    t = clamp01(t);
    return {from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t, from.b + (to.b - from.b) * t,
            from.a + (to.a - from.a) * t};
}

Colour with_alpha(Colour colour, double alpha)
{
    colour.a = alpha;
    return colour;
}

Canvas make_canvas(int width, int height, Colour fill)
{
    Canvas canvas;
    canvas.width = width;
    canvas.height = height;
    canvas.rgba.resize(size_t(width) * height * 4);
    for (size_t i = 0; i < canvas.rgba.size(); i += 4) {
        canvas.rgba[i] = float(fill.r);
        canvas.rgba[i + 1] = float(fill.g);
        canvas.rgba[i + 2] = float(fill.b);
        canvas.rgba[i + 3] = float(fill.a);
    }
    return canvas;
}

void blend_pixel(Canvas* canvas, int x, int y, Colour colour, double coverage)
{
    if (x < 0 || y < 0 || x >= canvas->width || y >= canvas->height)
        return;
    double sa = clamp01(colour.a) * clamp01(coverage);
    if (sa <= 0)
        return;
    float* p = &canvas->rgba[(size_t(y) * canvas->width + x) * 4];
    double da = p[3] * (1 - sa);
    double a = sa + da;
    p[0] = float((colour.r * sa + p[0] * da) / a);
    p[1] = float((colour.g * sa + p[1] * da) / a);
    p[2] = float((colour.b * sa + p[2] * da) / a);
    p[3] = float(a);
}

Colour pixel_at(const Canvas& canvas, int x, int y)
{
    const float* p = &canvas.rgba[(size_t(y) * canvas.width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

void bleed_edges(Canvas* canvas, int passes)
{
    const int w = canvas->width, h = canvas->height;
    std::vector<uint8_t> known(size_t(w) * h);
    for (size_t i = 0; i < known.size(); i++)
        known[i] = canvas->rgba[i * 4 + 3] >= 0.5f / 255;
    for (int pass = 0; pass < passes; pass++) {
        std::vector<uint8_t> next = known;
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                if (known[size_t(y) * w + x])
                    continue;
                double sum[3] = {0, 0, 0};
                int count = 0;
                for (int dy = -1; dy <= 1; dy++)
                    for (int dx = -1; dx <= 1; dx++) {
                        int nx = x + dx, ny = y + dy;
                        if (nx < 0 || ny < 0 || nx >= w || ny >= h || !known[size_t(ny) * w + nx])
                            continue;
                        const float* q = &canvas->rgba[(size_t(ny) * w + nx) * 4];
                        sum[0] += q[0];
                        sum[1] += q[1];
                        sum[2] += q[2];
                        count++;
                    }
                if (count == 0)
                    continue;
                float* p = &canvas->rgba[(size_t(y) * w + x) * 4];
                for (int c = 0; c < 3; c++)
                    p[c] = float(sum[c] / count);
                p[3] = 0;
                next[size_t(y) * w + x] = 1;
            }
        known.swap(next);
    }
}

Picture canvas_picture(const Canvas& canvas, int channels)
{
    Picture picture(canvas.width, canvas.height, channels);
    const size_t count = size_t(canvas.width) * canvas.height;
    for (size_t i = 0; i < count; i++)
        for (int c = 0; c < channels; c++)
            picture.pixels[i * channels + c] = uint8_t(std::lround(clamp01(canvas.rgba[i * 4 + c]) * 255));
    return picture;
}

Shade solid(Colour colour)
{
    return [colour](double, double) { return colour; };
}

Shade linear_gradient(Point p, Colour a, Point q, Colour b)
{
    double dx = q.x - p.x, dy = q.y - p.y, length2 = dx * dx + dy * dy;
    return [=](double x, double y) { return mix(a, b, ((x - p.x) * dx + (y - p.y) * dy) / length2); };
}

void paint(Canvas* canvas, Box box, const Distance& distance, const Shade& shade)
{
    int x0 = std::max(box.x0, 0), y0 = std::max(box.y0, 0);
    int x1 = std::min(box.x1, canvas->width), y1 = std::min(box.y1, canvas->height);
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) {
            double px = x + 0.5, py = y + 0.5;
            double cover = clamp01(0.5 - distance(px, py));
            if (cover > 0)
                blend_pixel(canvas, x, y, shade(px, py), cover);
        }
}

Distance soften(Distance distance, double width)
{
    return [distance, width](double x, double y) { return distance(x, y) / width; };
}

double circle_distance(Point p, Point centre, double radius)
{
    double dx = p.x - centre.x, dy = p.y - centre.y;
    return std::sqrt(dx * dx + dy * dy) - radius;
}

double segment_distance(Point p, Point a, Point b)
{
    double dx = b.x - a.x, dy = b.y - a.y, length2 = dx * dx + dy * dy;
    double t = length2 > 0 ? clamp01(((p.x - a.x) * dx + (p.y - a.y) * dy) / length2) : 0;
    double ex = p.x - (a.x + dx * t), ey = p.y - (a.y + dy * t);
    return std::sqrt(ex * ex + ey * ey);
}

double polygon_distance(Point p, const std::vector<Point>& polygon)
{
    double nearest = 1e30;
    bool inside = false;
    for (size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        const Point& a = polygon[j];
        const Point& b = polygon[i];
        nearest = std::min(nearest, segment_distance(p, a, b));
        if ((a.y > p.y) != (b.y > p.y) && p.x < a.x + (b.x - a.x) * (p.y - a.y) / (b.y - a.y))
            inside = !inside;
    }
    return inside ? -nearest : nearest;
}

double rounded_box_distance(Point p, Point centre, Point half_size, double radius)
{
    double qx = std::fabs(p.x - centre.x) - half_size.x + radius;
    double qy = std::fabs(p.y - centre.y) - half_size.y + radius;
    double ox = std::max(qx, 0.0), oy = std::max(qy, 0.0);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0) - radius;
}

void fill_circle(Canvas* canvas, Point centre, double radius, const Shade& shade)
{
    paint(canvas, bounds(centre.x - radius, centre.y - radius, centre.x + radius, centre.y + radius),
          [=](double x, double y) { return circle_distance({x, y}, centre, radius); }, shade);
}

void fill_ring(Canvas* canvas, Point centre, double inner, double outer, const Shade& shade)
{
    double middle = (inner + outer) / 2, half = (outer - inner) / 2;
    paint(canvas, bounds(centre.x - outer, centre.y - outer, centre.x + outer, centre.y + outer),
          [=](double x, double y) { return std::fabs(circle_distance({x, y}, centre, middle)) - half; }, shade);
}

void stroke_line(Canvas* canvas, Point a, Point b, double width, const Shade& shade)
{
    double r = width / 2;
    paint(canvas, bounds(std::min(a.x, b.x) - r, std::min(a.y, b.y) - r, std::max(a.x, b.x) + r, std::max(a.y, b.y) + r),
          [=](double x, double y) { return segment_distance({x, y}, a, b) - r; }, shade);
}

void fill_polygon(Canvas* canvas, const std::vector<Point>& polygon, const Shade& shade)
{
    double x0 = 1e30, y0 = 1e30, x1 = -1e30, y1 = -1e30;
    for (const Point& p : polygon) {
        x0 = std::min(x0, p.x);
        y0 = std::min(y0, p.y);
        x1 = std::max(x1, p.x);
        y1 = std::max(y1, p.y);
    }
    paint(canvas, bounds(x0, y0, x1, y1), [&](double x, double y) { return polygon_distance({x, y}, polygon); },
          shade);
}

void fill_rounded_box(Canvas* canvas, Point top_left, Point bottom_right, double radius, const Shade& shade)
{
    Point centre{(top_left.x + bottom_right.x) / 2, (top_left.y + bottom_right.y) / 2};
    Point half{(bottom_right.x - top_left.x) / 2, (bottom_right.y - top_left.y) / 2};
    paint(canvas, bounds(top_left.x, top_left.y, bottom_right.x, bottom_right.y),
          [=](double x, double y) { return rounded_box_distance({x, y}, centre, half, radius); }, shade);
}

double smoothstep(double edge0, double edge1, double x)
{
    double t = clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3 - 2 * t);
}

Mask dilate(const Mask& mask, double radius)
{
    int grow = int(std::ceil(radius)) + 1;
    Mask out;
    out.left = mask.left - grow;
    out.top = mask.top - grow;
    out.width = mask.width + 2 * grow;
    out.height = mask.height + 2 * grow;
    out.cover.assign(size_t(out.width) * out.height, 0);
    for (int y = 0; y < mask.height; y++)
        for (int x = 0; x < mask.width; x++) {
            float c = mask.at(x, y);
            if (c <= 0)
                continue;
            for (int dy = -grow; dy <= grow; dy++)
                for (int dx = -grow; dx <= grow; dx++) {
                    double weight = clamp01(radius + 0.5 - std::sqrt(double(dx * dx + dy * dy)));
                    float& o = out.cover[size_t(y + dy + grow) * out.width + (x + dx + grow)];
                    o = std::max(o, float(c * weight));
                }
        }
    return out;
}

Mask blur(const Mask& mask, int radius)
{
    Mask out;
    int grow = 2 * radius;
    out.left = mask.left - grow;
    out.top = mask.top - grow;
    out.width = mask.width + 2 * grow;
    out.height = mask.height + 2 * grow;
    out.cover.assign(size_t(out.width) * out.height, 0);
    for (int y = 0; y < mask.height; y++)
        for (int x = 0; x < mask.width; x++)
            out.cover[size_t(y + grow) * out.width + (x + grow)] = mask.at(x, y);
    std::vector<float> line;
    const double span = 2.0 * radius + 1;
    for (int round = 0; round < 2; round++)
        for (int axis = 0; axis < 2; axis++) {
            int length = axis == 0 ? out.width : out.height, lines = axis == 0 ? out.height : out.width;
            line.resize(size_t(length));
            for (int l = 0; l < lines; l++) {
                auto cell = [&](int i) -> float& {
                    return axis == 0 ? out.cover[size_t(l) * out.width + i] : out.cover[size_t(i) * out.width + l];
                };
                for (int i = 0; i < length; i++)
                    line[size_t(i)] = cell(i);
                for (int i = 0; i < length; i++) {
                    double sum = 0;
                    for (int k = i - radius; k <= i + radius; k++)
                        if (k >= 0 && k < length)
                            sum += line[size_t(k)];
                    cell(i) = float(sum / span);
                }
            }
        }
    return out;
}

void paint_mask(Canvas* canvas, const Mask& mask, int dx, int dy, const Shade& shade)
{
    for (int y = 0; y < mask.height; y++)
        for (int x = 0; x < mask.width; x++) {
            float c = mask.at(x, y);
            if (c <= 0)
                continue;
            int cx = dx + mask.left + x, cy = dy + mask.top + y;
            blend_pixel(canvas, cx, cy, shade(cx + 0.5, cy + 0.5), c);
        }
}

bool mask_ink(const Mask& mask, int* x0, int* y0, int* x1, int* y1)
{
    int ax = mask.width, ay = mask.height, bx = -1, by = -1;
    for (int y = 0; y < mask.height; y++)
        for (int x = 0; x < mask.width; x++)
            if (mask.at(x, y) > 0) {
                ax = std::min(ax, x);
                ay = std::min(ay, y);
                bx = std::max(bx, x);
                by = std::max(by, y);
            }
    if (bx < 0)
        return false;
    *x0 = mask.left + ax;
    *y0 = mask.top + ay;
    *x1 = mask.left + bx + 1;
    *y1 = mask.top + by + 1;
    return true;
}

struct Face {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
};

Face* open_face(const std::string& file)
{
    Face* face = new Face;
    std::string path = font_folder + file;
    if (FT_Init_FreeType(&face->library) != 0 || FT_New_Face(face->library, path.c_str(), 0, &face->face) != 0) {
        fprintf(stderr, "datagen: can't open the font %s (Debian package fonts-dejavu-core)\n", path.c_str());
        close_face(face);
        return nullptr;
    }
    return face;
}

void close_face(Face* face)
{
    if (!face)
        return;
    if (face->face)
        FT_Done_Face(face->face);
    if (face->library)
        FT_Done_FreeType(face->library);
    delete face;
}

double face_ascent(const Face* face, const TextStyle& style)
{
    return face->face->ascender * style.size / face->face->units_per_EM;
}

double face_descent(const Face* face, const TextStyle& style)
{
    return -face->face->descender * style.size / face->face->units_per_EM;
}

namespace {

void set_style(Face* face, const TextStyle& style)
{
    FT_Set_Char_Size(face->face, to_26_6(style.size * style.x_scale), to_26_6(style.size), 72, 72);
}

// Hinting is off so that the outlines, not the hinter's version, decide
// every pixel.
const FT_Int32 load_flags = FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP;

double kerning(Face* face, FT_UInt previous, FT_UInt glyph, const TextStyle& style)
{
    FT_Vector delta{};
    if (!previous || !FT_HAS_KERNING(face->face) ||
        FT_Get_Kerning(face->face, previous, glyph, FT_KERNING_UNSCALED, &delta) != 0)
        return 0;
    return double(delta.x) * style.size * style.x_scale / face->face->units_per_EM;
}

} // namespace

double text_advance(Face* face, const std::string& text, const TextStyle& style)
{
    set_style(face, style);
    double pen = 0;
    FT_UInt previous = 0;
    for (unsigned char c : text) {
        FT_UInt glyph = FT_Get_Char_Index(face->face, c);
        pen += kerning(face, previous, glyph, style);
        if (FT_Load_Glyph(face->face, glyph, load_flags) == 0)
            pen += face->face->glyph->linearHoriAdvance / 65536.0;
        previous = glyph;
    }
    return pen;
}

Mask text_mask(Face* face, const std::string& text, const TextStyle& style, double offset_x, double offset_y)
{
    struct Piece {
        int left, top, width, height;
        std::vector<uint8_t> cover;
    };
    std::vector<Piece> pieces;
    set_style(face, style);
    double pen = offset_x;
    FT_UInt previous = 0;
    for (unsigned char c : text) {
        FT_UInt glyph = FT_Get_Char_Index(face->face, c);
        pen += kerning(face, previous, glyph, style);
        previous = glyph;
        if (FT_Load_Glyph(face->face, glyph, load_flags) != 0)
            continue;
        FT_GlyphSlot slot = face->face->glyph;
        double advance = slot->linearHoriAdvance / 65536.0;
        if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
            FT_Outline* outline = &slot->outline;
            if (style.embolden > 0)
                FT_Outline_EmboldenXY(outline, to_26_6(style.embolden), 0);
            if (style.slant != 0) {
                FT_Matrix shear{0x10000, FT_Fixed(std::lround(style.slant * 65536)), 0, 0x10000};
                FT_Outline_Transform(outline, &shear);
            }
            double ix = std::floor(pen), iy = std::floor(offset_y);
            FT_Outline_Translate(outline, to_26_6(pen - ix), -to_26_6(offset_y - iy));
            if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0) {
                const FT_Bitmap& bitmap = slot->bitmap;
                Piece piece{int(ix) + slot->bitmap_left, int(iy) - slot->bitmap_top, int(bitmap.width),
                            int(bitmap.rows), {}};
                piece.cover.resize(size_t(piece.width) * piece.height);
                for (int y = 0; y < piece.height; y++)
                    for (int x = 0; x < piece.width; x++)
                        piece.cover[size_t(y) * piece.width + x] = bitmap.buffer[y * bitmap.pitch + x];
                if (piece.width > 0 && piece.height > 0)
                    pieces.push_back(std::move(piece));
            }
        }
        pen += advance;
    }
    Mask mask;
    if (pieces.empty())
        return mask;
    int x0 = pieces[0].left, y0 = pieces[0].top, x1 = x0, y1 = y0;
    for (const Piece& p : pieces) {
        x0 = std::min(x0, p.left);
        y0 = std::min(y0, p.top);
        x1 = std::max(x1, p.left + p.width);
        y1 = std::max(y1, p.top + p.height);
    }
    mask.left = x0;
    mask.top = y0;
    mask.width = x1 - x0;
    mask.height = y1 - y0;
    mask.cover.assign(size_t(mask.width) * mask.height, 0);
    for (const Piece& p : pieces)
        for (int y = 0; y < p.height; y++)
            for (int x = 0; x < p.width; x++) {
                // Union of coverages, so touching glyphs leave no seam.
                float c = p.cover[size_t(y) * p.width + x] / 255.0f;
                float& o = mask.cover[size_t(p.top + y - y0) * mask.width + (p.left + x - x0)];
                o = o + c - o * c;
            }
    return mask;
}

Mask centred_text(Face* face, const std::string& text, const TextStyle& style, Point centre)
{
    int x0, y0, x1, y1;
    if (!mask_ink(text_mask(face, text, style), &x0, &y0, &x1, &y1))
        return {};
    double sx = centre.x - (x0 + x1) / 2.0, sy = centre.y - (y0 + y1) / 2.0;
    double ix = std::floor(sx), iy = std::floor(sy);
    Mask mask = text_mask(face, text, style, sx - ix, sy - iy);
    mask.left += int(ix);
    mask.top += int(iy);
    return mask;
}
