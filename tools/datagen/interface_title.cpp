// The title picture: a rider leaping off a kicker against a dusty sunset,
// under the name in bold lettering. It stands on a black screen during
// loading, so its edges fade to black.
#include "interface.h"
#include "noise.h"
#include "release.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

struct Stop {
    double at;
    Colour colour;
};

struct Puff {
    double u, v, radius; // of the picture
};

// A piece of the rider's silhouette in bike units: a stroke through the
// points (width given) or a filled outline (width 0), or a disc (one point,
// width = diameter).
struct Part {
    enum Kind { stroke, outline, disc } kind;
    std::vector<Point> points;
    double width;
};

// Positions and sizes are fractions of the picture's side unless they say
// pixels; the bike is drawn in its own units (one wheelbase) and placed by
// bike_centre, bike_scale and bike_tilt.
struct TitleLayout {
    int size = 1024;
    std::vector<Stop> sky = {{0.0, {0.09, 0.09, 0.24, 1}},
                             {0.28, {0.4, 0.2, 0.34, 1}},
                             {0.5, {0.9, 0.45, 0.22, 1}},
                             {0.68, {1.0, 0.79, 0.46, 1}}};
    Point sun{0.67, 0.55};
    double sun_radius = 0.075, glow_radius = 0.42;
    Colour sun_core{1.0, 0.96, 0.8, 1}, glow{1.0, 0.78, 0.45, 0.8};
    // Hill contours: base height plus noise of this amplitude and frequency.
    double far_base = 0.61, far_amplitude = 0.07, far_frequency = 3;
    Colour far_hills{0.62, 0.38, 0.36, 0.75}; // distance thins them towards the sky
    double near_base = 0.68, near_amplitude = 0.06, near_frequency = 5;
    Colour near_hills{0.38, 0.22, 0.2, 0.92};
    // The foreground track and the kicker the rider has just left.
    double ground_base = 0.83, ground_amplitude = 0.02, ground_frequency = 9;
    Point ramp_start{-0.02, 0.86}, ramp_lip{0.27, 0.71}, ramp_end{0.34, 0.84};
    Colour ground{0.15, 0.085, 0.055, 1}, ground_light{0.33, 0.19, 0.1, 1}, rim{1.0, 0.66, 0.32, 1};
    double rim_pixels = 5, rut_length = 40, rut_width = 9;
    // Dust hanging over the kicker's lip and trailing after the bike.
    std::vector<Puff> dust = {{0.27, 0.69, 0.05}, {0.31, 0.665, 0.05}, {0.35, 0.675, 0.045}, {0.22, 0.68, 0.07},
                              {0.15, 0.7, 0.09},  {0.07, 0.72, 0.1},   {0.33, 0.76, 0.06},   {0.41, 0.8, 0.07},
                              {0.55, 0.84, 0.07}, {0.72, 0.84, 0.08},  {0.9, 0.83, 0.09}};
    Colour dust_shadow{0.6, 0.4, 0.3, 1}, dust_lit{1.0, 0.8, 0.58, 1};
    double dust_opacity = 1.1, haze_opacity = 0.25, dust_grain = 14, dust_lit_above = 0.6;
    double haze_top = 0.5, haze_full = 0.68, haze_fading = 0.7, haze_bottom = 0.8;
    // Rider and bike, dark against the sun; bike units are wheelbases, x
    // forward and y up from the rear axle.
    Point bike_centre{0.55, 0.565}, bike_origin{0.5, 0.35}; // picture point, bike point
    double bike_scale = 0.26, bike_tilt = 11; // degrees, nose up
    Colour silhouette{0.05, 0.035, 0.04, 1};
    std::vector<Point> axles = {{0, 0}, {1.02, 0.04}};
    double tyre_inner = 0.2, tyre_outer = 0.27, knob_radius = 0.018, rim_inner = 0.17, rim_outer = 0.19;
    double hub_radius = 0.045, spoke_length = 0.18, spoke_width = 0.008;
    int knobs = 28, spokes = 12;
    std::vector<Part> bike = {
        {Part::stroke, {{0, 0}, {0.42, 0.14}}, 0.07},       // swingarm
        {Part::stroke, {{0.18, 0.1}, {0.44, 0.42}}, 0.035},  // shock
        {Part::stroke, {{1.02, 0.04}, {0.82, 0.64}}, 0.075}, // fork
        {Part::stroke, {{0.8, 0.58}, {0.64, 0.22}}, 0.05},   // down tube
        {Part::stroke, {{0.38, 0.36}, {0.42, 0.14}}, 0.05},  // frame to the swingarm pivot
        {Part::outline, {{0.44, 0.1}, {0.62, 0.08}, {0.69, 0.18}, {0.65, 0.33}, {0.46, 0.32}, {0.39, 0.2}}, 0}, // engine
        // Rear fender, seat, side panels, tank and shrouds.
        {Part::outline,
         {{-0.26, 0.5}, {-0.04, 0.505}, {0.1, 0.505}, {0.5, 0.525}, {0.62, 0.59}, {0.78, 0.61}, {0.75, 0.43},
          {0.62, 0.35}, {0.4, 0.34}, {0.22, 0.39}, {-0.04, 0.465}, {-0.26, 0.485}},
         0},
        {Part::outline, {{0.92, 0.34}, {1.2, 0.38}, {1.23, 0.35}, {0.96, 0.29}}, 0}, // front fender
        {Part::outline, {{0.83, 0.5}, {0.95, 0.63}, {0.9, 0.68}, {0.79, 0.57}}, 0},  // number plate
        {Part::stroke, {{0.62, 0.22}, {0.34, 0.3}}, 0.05},                           // exhaust
        {Part::stroke, {{0.34, 0.3}, {0.02, 0.43}}, 0.06},
        {Part::stroke, {{0.82, 0.64}, {0.79, 0.72}}, 0.03}, // bars
        {Part::stroke, {{0.71, 0.73}, {0.87, 0.71}}, 0.028},
        // The rider, standing on the pegs.
        {Part::outline, {{0.42, 0.16}, {0.56, 0.15}, {0.56, 0.2}, {0.46, 0.23}}, 0}, // boot
        {Part::stroke, {{0.5, 0.2}, {0.62, 0.46}}, 0.09},                           // shin
        {Part::stroke, {{0.62, 0.46}, {0.4, 0.64}}, 0.115},                         // thigh
        {Part::stroke, {{0.4, 0.64}, {0.56, 0.92}}, 0.17},                          // torso
        {Part::stroke, {{0.56, 0.92}, {0.7, 0.8}, {0.8, 0.72}}, 0.078},             // arm
        {Part::disc, {{0.66, 1.02}}, 0.19},                                         // helmet
        {Part::outline, {{0.6, 1.08}, {0.84, 1.06}, {0.8, 1.02}, {0.66, 1.02}}, 0}, // peak
        {Part::outline, {{0.7, 0.98}, {0.78, 0.93}, {0.74, 0.9}, {0.64, 0.93}}, 0}, // chin guard
    };
    // Dirt flung off the rear wheel, spreading as it falls behind.
    int clods = 26;
    double clod_size = 0.004, clod_reach = 0.9, clod_drop = 0.55, clod_spread = 0.35;
    // The name.
    const char* name = "DUSTLINE";
    const char* subtitle = "MOTOCROSS";
    double name_width = 0.84, name_y = 0.185, slant = 0.2;
    double outline_pixels = 7, shadow_pixels = 7, shadow_x = 9, shadow_y = 11;
    Colour name_top{1.0, 0.92, 0.55, 1}, name_bottom{0.95, 0.4, 0.09, 1}, outline{0.12, 0.05, 0.03, 1};
    Colour name_shadow{0, 0, 0, 0.6}, grit{0.7, 0.45, 0.3, 1};
    double grit_pixels = 6;
    double subtitle_size = 0.05, subtitle_y = 0.305, subtitle_spacing = 0.45; // spacing in ems
    Colour subtitle_colour{1.0, 0.94, 0.82, 1};
    double border_fade = 0.05, corner_darkening = 0.45;
    uint32_t seed = 0x51a7e3c9;
    const char* face = "DejaVuSans-Bold.ttf";
};

const TitleLayout title;

Colour ramp(const std::vector<Stop>& stops, double t)
{
    if (t <= stops.front().at)
        return stops.front().colour;
    for (size_t i = 1; i < stops.size(); i++)
        if (t <= stops[i].at)
            return mix(stops[i - 1].colour, stops[i].colour, (t - stops[i - 1].at) / (stops[i].at - stops[i - 1].at));
    return stops.back().colour;
}

double contour(double u, double base, double amplitude, double frequency, uint32_t seed)
{
    return base - amplitude * (fractal_noise(u * frequency, 0.5, seed, 4) - 0.5) * 2;
}

double ground_top(double u)
{
    double top = contour(u, title.ground_base, title.ground_amplitude, title.ground_frequency, title.seed + 3);
    const Point &a = title.ramp_start, &b = title.ramp_lip, &c = title.ramp_end;
    double kicker = 1;
    if (u >= a.x && u <= b.x) {
        // The face curves up into the lip, as a kicker's transition does.
        double t = (u - a.x) / (b.x - a.x);
        kicker = a.y + (b.y - a.y) * t * t;
    } else if (u > b.x && u <= c.x) {
        double t = (u - b.x) / (c.x - b.x);
        kicker = b.y + (c.y - b.y) * t * (2 - t) * 0.15 + (c.y - b.y) * t * 0.85;
    }
    return std::min(top, kicker);
}

// The region below a contour, as a polygon sampled along the picture.
template <class Top>
std::vector<Point> below(Top top, double step)
{
    const double s = title.size;
    std::vector<Point> polygon;
    for (double x = -step; x <= s + step; x += step)
        polygon.push_back({x, top(x / s) * s});
    polygon.push_back({s + step, s + step});
    polygon.push_back({-step, s + step});
    return polygon;
}

void paint_sky(Canvas* canvas)
{
    const double s = title.size;
    paint(canvas, {0, 0, title.size, title.size}, [](double, double) { return -1.0; }, [&](double x, double y) {
        Colour sky = ramp(title.sky, y / s);
        double dx = x / s - title.sun.x, dy = y / s - title.sun.y;
        double glow = 1 - std::min(1.0, (dx * dx + dy * dy) / (title.glow_radius * title.glow_radius));
        return mix(sky, with_alpha(title.glow, 1), glow * glow * title.glow.a);
    });
    fill_circle(canvas, {title.sun.x * s, title.sun.y * s}, title.sun_radius * s, solid(title.sun_core));
}

void paint_land(Canvas* canvas)
{
    const double s = title.size;
    auto far = [](double u) {
        return contour(u, title.far_base, title.far_amplitude, title.far_frequency, title.seed + 1);
    };
    auto near = [](double u) {
        return contour(u, title.near_base, title.near_amplitude, title.near_frequency, title.seed + 2);
    };
    fill_polygon(canvas, below(far, 8), solid(title.far_hills));
    fill_polygon(canvas, below(near, 8), solid(title.near_hills));
    fill_polygon(canvas, below(ground_top, 4), [&](double x, double y) {
        double depth = (y - ground_top(x / s) * s) / title.rim_pixels;
        double ruts = fractal_noise(x / title.rut_length, y / title.rut_width, title.seed + 4, 4);
        Colour dirt = mix(title.ground, title.ground_light, (ruts - 0.35) * 1.4);
        return mix(title.rim, dirt, depth);
    });
}

// Soft, billowing dust: puffs of noise-broken density, lit from the sun's
// side above and shaded below.
void paint_dust(Canvas* canvas)
{
    const double s = title.size;
    paint(canvas, {0, 0, title.size, title.size}, [](double, double) { return -1.0; }, [&](double x, double y) {
        double u = x / s, v = y / s, density = 0;
        for (const Puff& p : title.dust) {
            double du = u - p.u, dv = v - p.v, d = (du * du + dv * dv) / (p.radius * p.radius);
            if (d < 1)
                density += (1 - d) * (1 - d);
        }
        double billow = fractal_noise(u * title.dust_grain, v * title.dust_grain, title.seed + 5, 5);
        double haze = smoothstep(title.haze_top, title.haze_full, v) *
                      (1 - smoothstep(title.haze_fading, title.haze_bottom, v)) * title.haze_opacity;
        double alpha = std::min(1.0, density * (0.35 + billow) * title.dust_opacity) + haze * billow;
        Colour dust = mix(title.dust_lit, title.dust_shadow, (v - title.dust_lit_above) * 4 + (0.5 - billow));
        return with_alpha(dust, std::min(alpha, 0.92));
    });
}

struct Transform {
    Point centre, origin;
    double scale, sin_tilt, cos_tilt;
    Point operator()(Point p) const
    {
        double bx = p.x - origin.x, by = p.y - origin.y;
        return {centre.x + scale * (bx * cos_tilt - by * sin_tilt), centre.y - scale * (bx * sin_tilt + by * cos_tilt)};
    }
};

void paint_rider(Canvas* canvas)
{
    const double s = title.size, tilt = title.bike_tilt * pi / 180;
    const Transform t{{title.bike_centre.x * s, title.bike_centre.y * s}, title.bike_origin, title.bike_scale * s,
                      det_sin(tilt), det_cos(tilt)};
    const double k = t.scale;
    const Shade dark = solid(title.silhouette);
    auto around = [](Point c, double angle, double radius) {
        return Point{c.x + det_sin(angle) * radius, c.y + det_cos(angle) * radius};
    };
    // Knobbly tyres, rims and spokes that let the sun through.
    for (Point axle : title.axles) {
        Point c = t(axle);
        fill_ring(canvas, c, title.tyre_inner * k, title.tyre_outer * k, dark);
        for (int i = 0; i < title.knobs; i++)
            fill_circle(canvas, around(c, i * 2 * pi / title.knobs, title.tyre_outer * k), title.knob_radius * k,
                        dark);
        fill_ring(canvas, c, title.rim_inner * k, title.rim_outer * k, dark);
        fill_circle(canvas, c, title.hub_radius * k, dark);
        for (int i = 0; i < title.spokes; i++)
            stroke_line(canvas, c, around(c, (i + 0.5) * 2 * pi / title.spokes, title.spoke_length * k),
                        title.spoke_width * k, dark);
    }
    for (const Part& part : title.bike) {
        std::vector<Point> points;
        for (Point p : part.points)
            points.push_back(t(p));
        if (part.kind == Part::disc)
            fill_circle(canvas, points[0], part.width * k / 2, dark);
        else if (part.kind == Part::outline)
            fill_polygon(canvas, points, dark);
        else
            for (size_t i = 1; i < points.size(); i++)
                stroke_line(canvas, points[i - 1], points[i], part.width * k, dark);
    }
    for (int i = 0; i < title.clods; i++) {
        double along = hash_unit(i, 0, title.seed + 7), off = hash_unit(i, 1, title.seed + 7) - 0.5;
        Point p = t({-0.15 - along * title.clod_reach, -0.1 - along * title.clod_drop + off * title.clod_spread * along});
        double size = title.clod_size * s * (0.5 + hash_unit(i, 2, title.seed + 7)) * (1.2 - along * 0.6);
        fill_circle(canvas, p, size, solid(with_alpha(title.silhouette, 0.9 - along * 0.5)));
    }
}

void paint_name(Canvas* canvas, Face* face)
{
    const double s = title.size;
    TextStyle style{1, 1, 0, title.slant};
    style.size = title.name_width * s / text_advance(face, title.name, style);
    Mask name = centred_text(face, title.name, style, {s / 2, title.name_y * s});
    Mask outline = dilate(name, title.outline_pixels);
    paint_mask(canvas, blur(outline, int(title.shadow_pixels)), int(title.shadow_x), int(title.shadow_y),
               solid(title.name_shadow));
    paint_mask(canvas, outline, 0, 0, solid(title.outline));
    const double top = name.top, bottom = name.top + name.height;
    paint_mask(canvas, name, 0, 0, [&](double x, double y) {
        // Dust caught on the letters.
        double grit = fractal_noise(x / title.grit_pixels, y / title.grit_pixels, title.seed + 6, 3);
        Colour fill = mix(title.name_top, title.name_bottom, (y - top) / (bottom - top));
        return mix(fill, title.grit, (grit - 0.55) * 0.9);
    });

    // The subtitle, spread out letter by letter.
    TextStyle small{title.subtitle_size * s};
    const std::string subtitle = title.subtitle;
    double spacing = title.subtitle_spacing * small.size, width = -spacing;
    for (char c : subtitle)
        width += text_advance(face, std::string(1, c), small) + spacing;
    const double baseline = title.subtitle_y * s;
    double pen = s / 2 - width / 2;
    for (char c : subtitle) {
        double ix = std::floor(pen);
        Mask letter = text_mask(face, std::string(1, c), small, pen - ix);
        letter.left += int(ix);
        letter.top += int(baseline);
        paint_mask(canvas, dilate(letter, 2.5), 0, 0, solid(title.outline));
        paint_mask(canvas, letter, 0, 0, solid(title.subtitle_colour));
        pen += text_advance(face, std::string(1, c), small) + spacing;
    }
}

void fade_edges(Canvas* canvas)
{
    const double s = title.size;
    for (int y = 0; y < title.size; y++)
        for (int x = 0; x < title.size; x++) {
            double u = (x + 0.5) / s, v = (y + 0.5) / s;
            double edge = std::min(std::min(u, 1 - u), std::min(v, 1 - v));
            double du = u - 0.5, dv = v - 0.5;
            double corner = smoothstep(0.16, 0.5, du * du + dv * dv);
            double f = smoothstep(0, title.border_fade, edge) * (1 - title.corner_darkening * corner);
            float* p = &canvas->rgba[(size_t(y) * title.size + x) * 4];
            for (int c = 0; c < 3; c++)
                p[c] = float(p[c] * f);
        }
}

} // namespace

void add_title_picture(Release* release)
{
    Face* face = require_face(title.face);
    Canvas canvas = make_canvas(title.size, title.size, {0, 0, 0, 1});
    paint_sky(&canvas);
    paint_land(&canvas);
    paint_dust(&canvas);
    paint_rider(&canvas);
    paint_name(&canvas, face);
    fade_edges(&canvas);
    close_face(face);
    // Plain P6 is large; the game finds the compressed member under the
    // plain name.
    add_member(release, interface_archive, "title.ppm", encode_ppm(canvas_picture(canvas, 3)), true);
}
