// Drawing for the interface pictures: a floating-point RGBA canvas, shapes
// covered from the distance of each pixel centre to their edge (a one-pixel
// ramp gives the anti-aliasing), and text rasterised by FreeType. Only
// arithmetic that is exact or correctly rounded is used, so every machine
// draws the same bytes.
#pragma once
#include "det_math.h"
#include "image_out.h"

#include <functional>
#include <string>
#include <vector>

struct Colour {
    double r = 0, g = 0, b = 0, a = 1;
};
Colour mix(Colour from, Colour to, double t); // t clamped to [0, 1]
Colour with_alpha(Colour colour, double alpha);

struct Point {
    double x = 0, y = 0;
};

// Pixel (x, y) covers [x, x + 1) x [y, y + 1); y grows downward. Colours are
// kept with straight (not premultiplied) alpha.
struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<float> rgba;
};
Canvas make_canvas(int width, int height, Colour fill);
// Source-over blend of the colour, its alpha scaled by coverage.
void blend_pixel(Canvas* canvas, int x, int y, Colour colour, double coverage);
Colour pixel_at(const Canvas& canvas, int x, int y);
// Gives fully transparent pixels the colour of their visible neighbours, so
// that bilinear filtering at the edge of a shape blends towards its own
// colour instead of a dark fringe.
void bleed_edges(Canvas* canvas, int passes);
// 8-bit pixels, 3 channels (alpha dropped) or 4.
Picture canvas_picture(const Canvas& canvas, int channels);

// The colour of a shape at a point of the canvas.
using Shade = std::function<Colour(double x, double y)>;
Shade solid(Colour colour);
// Linear ramp from colour a at point p to colour b at point q.
Shade linear_gradient(Point p, Colour a, Point q, Colour b);

// Signed distance (negative inside) of a point to an edge: shapes are
// painted by these with a one-pixel ramp.
using Distance = std::function<double(double x, double y)>;
struct Box {
    int x0, y0, x1, y1; // pixels, x1 and y1 exclusive
};
void paint(Canvas* canvas, Box box, const Distance& distance, const Shade& shade);
// A distance divided by a width: the edge ramp becomes that many pixels wide.
Distance soften(Distance distance, double width);

double circle_distance(Point p, Point centre, double radius);
double segment_distance(Point p, Point a, Point b); // unsigned, to the segment
double polygon_distance(Point p, const std::vector<Point>& polygon); // even-odd inside
double rounded_box_distance(Point p, Point centre, Point half_size, double radius);

void fill_circle(Canvas* canvas, Point centre, double radius, const Shade& shade);
void fill_ring(Canvas* canvas, Point centre, double inner, double outer, const Shade& shade);
void stroke_line(Canvas* canvas, Point a, Point b, double width, const Shade& shade);
void fill_polygon(Canvas* canvas, const std::vector<Point>& polygon, const Shade& shade);
void fill_rounded_box(Canvas* canvas, Point top_left, Point bottom_right, double radius, const Shade& shade);

double smoothstep(double edge0, double edge1, double x);

// A coverage map (0..1) placed with its pixel (0, 0) at (left, top) of the
// canvas or relative to a pen position.
struct Mask {
    int left = 0, top = 0;
    int width = 0, height = 0;
    std::vector<float> cover;
    float at(int x, int y) const { return cover[size_t(y) * width + x]; }
};
// Every pixel takes the strongest coverage within radius: an outline.
Mask dilate(const Mask& mask, double radius);
// Two box blurs of the given radius: a soft shadow.
Mask blur(const Mask& mask, int radius);
// Paints the mask with its origin moved to (dx, dy).
void paint_mask(Canvas* canvas, const Mask& mask, int dx, int dy, const Shade& shade);
// Ink bounds of a mask, relative to its origin: false when empty.
bool mask_ink(const Mask& mask, int* x0, int* y0, int* x1, int* y1);

// A DejaVu face opened from the font folder; null (with a message on
// standard error) when the file is missing.
struct Face;
Face* open_face(const std::string& file);
void close_face(Face* face);
// How text is set: pixels per em vertically, a horizontal squeeze, extra
// horizontal stroke weight in pixels and a forward slant (x shift per pixel
// of height).
struct TextStyle {
    double size = 16;
    double x_scale = 1;
    double embolden = 0;
    double slant = 0;
};
// Ascent and descent of the face (both positive, in pixels) at a style.
double face_ascent(const Face* face, const TextStyle& style);
double face_descent(const Face* face, const TextStyle& style);
// Unhinted advance of the text in pixels, kerning included.
double text_advance(Face* face, const std::string& text, const TextStyle& style);
// Coverage of the text with the pen starting at (offset_x, 0) on the
// baseline; mask coordinates are relative to the pen's integer origin.
Mask text_mask(Face* face, const std::string& text, const TextStyle& style, double offset_x = 0, double offset_y = 0);
// The text's ink centred on a point of the canvas, as a mask placed at (0, 0).
Mask centred_text(Face* face, const std::string& text, const TextStyle& style, Point centre);
