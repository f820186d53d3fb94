#include "track_objects.h"

#include "noise.h"
#include "track_math.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// The object models come with the other models of the release.
const char* const tuffblock = "@objects/tuffblock.km @objects/tuffblock.png @objects/tuffblock.shp";
const char* const banner = "@objects/banner.km @objects/banner.png @objects/banner.shp";

constexpr float tree_grid = 13;        // feet between tree candidates
constexpr float tree_clearance = 10;   // from the outer edge of a shoulder
constexpr float block_gap = 7;         // between tuff blocks round a corner
constexpr float banner_gap = 26;       // between banners along a straight
constexpr float marshal_height = 7.2f; // of the marshal pictures, a 5.5 ft figure with room above
constexpr float crowd_height = 5.8f;
constexpr int marshal_width = 128; // square pictures: room for a flag held out

// ---------------------------------------------------------------------------
// Pictures.

Colour rgb(double r, double g, double b, double a = 1)
{
    return {r, g, b, a};
}

Shade leafy(Colour dark, Colour light, uint32_t seed, double scale, double lit_x)
{
    return [=](double x, double y) {
        double n = fractal_noise(x / scale, y / scale, seed, 3);
        double side = std::clamp((lit_x - x) / 80 + 0.5, 0.0, 1.0); // sun from the left
        return mix(dark, light, 0.25 + 0.5 * n + 0.35 * side - 0.2);
    };
}

// Leaves break up an outline: the shape's distance is pushed in and out.
Distance ragged(Distance distance, uint32_t seed, double scale, double depth)
{
    return [=](double x, double y) {
        return distance(x, y) + depth * (fractal_noise(x / scale, y / scale, seed, 2) - 0.5);
    };
}

Box whole(const Canvas& c)
{
    return {0, 0, c.width, c.height};
}

TrackPicture finish(const std::string& name, Canvas canvas, bool thin)
{
    bleed_edges(&canvas, 4);
    return {name, canvas_picture(canvas, 4), thin};
}

TrackPicture pine_picture()
{
    Canvas c = make_canvas(128, 256, rgb(0, 0, 0, 0));
    fill_rounded_box(&c, {59, 170}, {69, 256}, 2, solid(rgb(0.33, 0.22, 0.14)));
    for (int k = 0; k < 4; k++) {
        double top = 8 + k * 46, base = 96 + k * 46, half = 20 + k * 11;
        std::vector<Point> outline = {{64, top}};
        // Branch tips every few pixels down each side.
        for (int side = 0; side < 2; side++)
            for (int i = 1; i <= 6; i++) {
                double t = i / 6.0;
                double y = top + (base - top) * t;
                double reach = half * t * (i % 2 ? 1.0 : 0.8);
                outline.push_back({side ? 64 - reach : 64 + reach, y});
            }
        std::sort(outline.begin() + 7, outline.end(), [](Point a, Point b) { return a.y > b.y; });
        Distance branches = [outline](double x, double y) { return polygon_distance({x, y}, outline); };
        paint(&c, whole(c), ragged(branches, 11 + k, 5, 4),
              leafy(rgb(0.06, 0.17, 0.08), rgb(0.20, 0.36, 0.16), 20 + k, 6, 60));
    }
    return finish("tree-pine.png", c, true);
}

TrackPicture oak_picture()
{
    Canvas c = make_canvas(128, 256, rgb(0, 0, 0, 0));
    fill_polygon(&c,
                 {{58, 256}, {70, 256}, {68, 150}, {80, 110}, {74, 108}, {64, 138}, {52, 112}, {47, 116}, {60, 150}},
                 solid(rgb(0.30, 0.21, 0.14)));
    const Point blobs[] = {{64, 70}, {40, 100}, {88, 98}, {50, 140}, {80, 138}, {64, 112}, {30, 130}, {98, 126}};
    const double radius[] = {40, 30, 32, 30, 30, 34, 18, 20};
    for (size_t k = 0; k < std::size(blobs); k++) {
        Point centre = blobs[k];
        double r = radius[k];
        Distance crown = [centre, r](double x, double y) { return circle_distance({x, y}, centre, r); };
        paint(&c, whole(c), ragged(crown, 30 + uint32_t(k), 4, 7),
              leafy(rgb(0.10, 0.22, 0.07), rgb(0.30, 0.45, 0.16), 40 + uint32_t(k), 5, centre.x - 10));
    }
    return finish("tree-oak.png", c, true);
}

TrackPicture bush_picture(const char* name, Colour dark, Colour light)
{
    Canvas c = make_canvas(128, 64, rgb(0, 0, 0, 0));
    const Point blobs[] = {{64, 34}, {38, 44}, {90, 42}, {20, 54}, {108, 52}, {60, 50}};
    const double radius[] = {28, 20, 22, 12, 13, 22};
    for (size_t k = 0; k < std::size(blobs); k++) {
        Point centre = blobs[k];
        double r = radius[k];
        // Cut off flat where the bush meets the ground.
        Distance blob = [centre, r](double x, double y) {
            return std::max(circle_distance({x, y}, centre, r), y - 63.5);
        };
        paint(&c, whole(c), ragged(blob, 60 + uint32_t(k), 3, 6),
              leafy(dark, light, 70 + uint32_t(k), 4, centre.x - 8));
    }
    return finish(name, c, true);
}

TrackPicture palm_picture()
{
    Canvas c = make_canvas(128, 256, rgb(0, 0, 0, 0));
    Point top = {76, 64};
    Point previous = {62, 256};
    for (int i = 1; i <= 12; i++) {
        double t = i / 12.0;
        Point p = {62 + 14 * t * t, 256 - (256 - top.y) * t};
        stroke_line(&c, previous, p, 8 - 3 * t, solid(mix(rgb(0.42, 0.32, 0.22), rgb(0.55, 0.45, 0.32), i % 2)));
        previous = p;
    }
    for (int f = 0; f < 9; f++) {
        double angle = -pi + f * pi / 8 + 0.05 * f;
        double dx = det_cos(angle), dy = det_sin(angle);
        Point a = top;
        for (int i = 1; i <= 10; i++) {
            double t = i / 10.0;
            Point b = {top.x + dx * 52 * t, top.y + dy * 34 * t + 30 * t * t}; // drooping
            stroke_line(&c, a, b, 7 * (1 - 0.6 * t),
                        leafy(rgb(0.12, 0.30, 0.10), rgb(0.32, 0.50, 0.18), 90 + f, 3, 60));
            a = b;
        }
    }
    return finish("palm.png", c, true);
}

// A row of spectators, back rows higher in the picture.
TrackPicture crowd_picture()
{
    Canvas c = make_canvas(256, 64, rgb(0, 0, 0, 0));
    const Colour shirts[] = {rgb(0.8, 0.1, 0.1), rgb(0.1, 0.3, 0.8), rgb(0.95, 0.95, 0.95), rgb(0.1, 0.1, 0.1),
                             rgb(0.9, 0.7, 0.1), rgb(0.2, 0.6, 0.2), rgb(0.9, 0.4, 0.1),    rgb(0.5, 0.5, 0.55)};
    const Colour skins[] = {rgb(0.93, 0.76, 0.62), rgb(0.78, 0.57, 0.42), rgb(0.55, 0.38, 0.26), rgb(0.96, 0.82, 0.70)};
    for (int row = 2; row >= 0; row--) {
        double base = 64 - row * 9;
        for (int k = 0; k < 26; k++) {
            double x = 6 + k * 9.6 + (row % 2) * 4.8 + 3 * (hash_unit(k, row, 5) - 0.5);
            double tall = 24 + 6 * hash_unit(k, row, 6);
            Colour shirt = shirts[int(hash_unit(k, row, 7) * 8) % 8];
            Colour skin = skins[int(hash_unit(k, row, 8) * 4) % 4];
            fill_rounded_box(&c, {x - 4, base - tall + 8}, {x + 4, base + 2}, 3, solid(shirt));
            fill_circle(&c, {x, base - tall + 4}, 3.4, solid(skin));
            if (hash_unit(k, row, 9) < 0.3) // a raised arm
                stroke_line(&c, {x + 3, base - tall + 10}, {x + 6, base - tall - 2}, 2, solid(skin));
        }
    }
    return finish("crowd.png", c, false);
}

// A marshal in a high-visibility vest. Arm angles are from straight down,
// positive towards the picture's right; the hand positions come back.
struct Marshal {
    double left_arm = 0.2, right_arm = -0.2;
    bool walking = false;
};

void draw_marshal(Canvas* c, const Marshal& m, Point* left_hand, Point* right_hand)
{
    Colour trousers = rgb(0.15, 0.15, 0.2), vest = rgb(1.0, 0.55, 0.05), skin = rgb(0.9, 0.72, 0.58);
    double x = c->width / 2.0;
    double spread = m.walking ? 7 : 3;
    stroke_line(c, {x - 3, 84}, {x - spread, 126}, 6, solid(trousers));
    stroke_line(c, {x + 3, 84}, {x + spread, 126}, 6, solid(trousers));
    fill_rounded_box(c, {x - 10, 46}, {x + 10, 88}, 5, solid(vest));
    fill_rounded_box(c, {x - 10, 62}, {x + 10, 66}, 1, solid(rgb(0.9, 0.9, 0.85))); // reflective band
    fill_circle(c, {x, 38}, 7, solid(skin));
    fill_rounded_box(c, {x - 8, 29}, {x + 8, 35}, 2, solid(rgb(0.1, 0.1, 0.1))); // cap
    Point shoulder_l = {x - 9, 50}, shoulder_r = {x + 9, 50};
    *left_hand = {shoulder_l.x - det_sin(m.left_arm) * 26, shoulder_l.y + det_cos(m.left_arm) * 26};
    *right_hand = {shoulder_r.x - det_sin(m.right_arm) * 26, shoulder_r.y + det_cos(m.right_arm) * 26};
    stroke_line(c, shoulder_l, *left_hand, 5, solid(vest));
    stroke_line(c, shoulder_r, *right_hand, 5, solid(vest));
    fill_circle(c, *left_hand, 2.6, solid(skin));
    fill_circle(c, *right_hand, 2.6, solid(skin));
}

// A flag on a short stick held at a hand, blowing to the right.
void draw_flag(Canvas* c, Point hand, Shade cloth)
{
    Point top = {hand.x + 2, hand.y - 30};
    stroke_line(c, hand, top, 1.6, solid(rgb(0.3, 0.25, 0.2)));
    fill_polygon(c, {top, {top.x + 28, top.y + 3}, {top.x + 27, top.y + 21}, {top.x, top.y + 18}}, cloth);
}

Shade chequer(double cell)
{
    return [cell](double x, double y) {
        bool dark = (int(std::floor(x / cell)) + int(std::floor(y / cell))) & 1;
        return dark ? rgb(0.05, 0.05, 0.05) : rgb(0.97, 0.97, 0.97);
    };
}

// A seven-segment figure, for the board of the starter.
void draw_digit(Canvas* c, int digit, Point at, double w, double h, double stroke)
{
    static const int segments[10] = {0x3f, 0x06, 0x5b, 0x4f, 0x66, 0x6d, 0x7d, 0x07, 0x7f, 0x6f};
    const Point ends[7][2] = {{{0, 0}, {1, 0}},   {{1, 0}, {1, 0.5}}, {{1, 0.5}, {1, 1}},  {{0, 1}, {1, 1}},
                              {{0, 0.5}, {0, 1}}, {{0, 0}, {0, 0.5}}, {{0, 0.5}, {1, 0.5}}};
    for (int s = 0; s < 7; s++)
        if (segments[digit] & (1 << s))
            stroke_line(c, {at.x + ends[s][0].x * w, at.y + ends[s][0].y * h},
                        {at.x + ends[s][1].x * w, at.y + ends[s][1].y * h}, stroke, solid(rgb(0.05, 0.05, 0.05)));
}

// The starter's board: the "30" board held up, turning, side-on, carried
// away and put down, in the order the race start shows them.
TrackPicture start_board_picture(int stage)
{
    Canvas c = make_canvas(marshal_width, 128, rgb(0, 0, 0, 0));
    Marshal m;
    if (stage <= 3)
        m.left_arm = pi - 0.35, m.right_arm = -(pi - 0.35);
    m.walking = stage == 4;
    Point lh, rh;
    draw_marshal(&c, m, &lh, &rh);
    if (stage <= 3) {
        double half = stage == 1 ? 24 : stage == 2 ? 13 : 2.5; // the board turning edge-on
        double x = c.width / 2.0;
        fill_rounded_box(&c, {x - half, 2}, {x + half, 27}, 1.5, solid(rgb(0.96, 0.96, 0.92)));
        if (stage == 1) {
            draw_digit(&c, 3, {x - 18, 6}, 12, 17, 2.6);
            draw_digit(&c, 0, {x + 4, 6}, 12, 17, 2.6);
        }
    } else {
        fill_rounded_box(&c, {rh.x - 2, rh.y - 2}, {rh.x + 1.5, rh.y + 26}, 1, solid(rgb(0.96, 0.96, 0.92)));
    }
    return finish("startboard-" + std::to_string(stage) + ".png", c, true);
}

enum LapBoard { board_laps, board_half, board_last, board_chequered };

TrackPicture lap_board_picture(LapBoard kind)
{
    Canvas c = make_canvas(marshal_width, 128, rgb(0, 0, 0, 0));
    Marshal m;
    m.right_arm = -(pi - 0.4);
    Point lh, rh;
    draw_marshal(&c, m, &lh, &rh);
    const char* name = "lapboard.png";
    switch (kind) {
    case board_laps: // the board with the laps to go held up
        fill_rounded_box(&c, {rh.x - 12, rh.y - 24}, {rh.x + 12, rh.y - 2}, 1.5, solid(rgb(0.96, 0.96, 0.92)));
        draw_digit(&c, 2, {rh.x - 5, rh.y - 21}, 10, 16, 2.4);
        break;
    case board_half: // crossed flags at half distance
        name = "lapboard-half.png";
        draw_flag(&c, rh, solid(rgb(0.1, 0.6, 0.2)));
        draw_flag(&c, {rh.x - 6, rh.y + 2}, solid(rgb(0.96, 0.96, 0.96)));
        break;
    case board_last:
        name = "lapboard-last.png";
        draw_flag(&c, rh, solid(rgb(0.97, 0.97, 0.97)));
        break;
    case board_chequered:
        name = "lapboard-chequered.png";
        draw_flag(&c, rh, chequer(4));
        break;
    }
    return finish(name, c, true);
}

TrackPicture flagger_picture(bool warning)
{
    Canvas c = make_canvas(marshal_width, 128, rgb(0, 0, 0, 0));
    Marshal m;
    if (warning)
        m.right_arm = -(pi - 0.6);
    Point lh, rh;
    draw_marshal(&c, m, &lh, &rh);
    if (warning)
        draw_flag(&c, rh, solid(rgb(1.0, 0.88, 0.0)));
    else // the flag rolled on its stick
        stroke_line(&c, rh, {rh.x + 1, rh.y + 18}, 3, solid(rgb(1.0, 0.88, 0.0)));
    return finish(warning ? "flagger-yellow.png" : "flagger.png", c, true);
}

TrackPicture finish_line_picture()
{
    Canvas c = make_canvas(128, 16, rgb(0, 0, 0, 0));
    paint(
        &c, whole(c), [](double x, double y) { return std::max(std::fabs(y - 8) - 5, std::fabs(x - 64) - 63); },
        [](double x, double y) {
            Colour chalk = rgb(0.97, 0.97, 0.95, 0.85 + 0.15 * fractal_noise(x / 3, y / 3, 3, 2));
            bool dark = (int(x / 5) + int(y / 5)) & 1;
            return dark ? rgb(0.08, 0.08, 0.08, chalk.a) : chalk;
        });
    return finish("finish-line.png", c, false);
}

// ---------------------------------------------------------------------------
// Placing.

struct Placer {
    const TrackGround& g;
    const CourseLine& line;
    std::string statues, billboards, flaggers, decals;
    std::vector<ShadowCaster> casters;

    bool inside_field(float x, float z, float margin) const
    {
        return x > margin && z > margin && x < g.world - margin && z < g.world - margin;
    }
    void statue(float x, float z, float angle, const char* what)
    {
        char text[256];
        snprintf(text, sizeof text, "[%.3f 0 %.3f] %.4f %s\n", x, z, angle, what);
        statues += text;
    }
    void billboard(float x, float y_offset, float z, float height, float aspect, const std::string& picture)
    {
        char text[256];
        snprintf(text, sizeof text, "[%.3f %.2f %.3f] %.2f %.3f @%s/%s\n", x, y_offset, z, height, aspect,
                 g.course->folder, picture.c_str());
        billboards += text;
    }
    std::string at(const char* picture) const { return std::string("@") + g.course->folder + "/" + picture; }
};

// A point beside a piece of the centre line at distance s, `lateral` feet to
// its left (negative: right).
void beside(const CoursePiece& piece, float s, float lateral, float* x, float* z)
{
    const CourseSample& c = course_sample_at(piece, s);
    float lx, lz;
    course_left(c.tx, c.tz, &lx, &lz);
    *x = c.x + lx * lateral;
    *z = c.z + lz * lateral;
}

// +1 when the left of the loop at s is the outside of its turn.
float outside_at(const CoursePiece& loop, float s)
{
    const CourseSample& a = course_sample_at(loop, s - 8);
    const CourseSample& b = course_sample_at(loop, s + 8);
    return a.tx * b.tz - a.tz * b.tx >= 0 ? 1.0f : -1.0f;
}

void place_trees(Placer& p, bool sand)
{
    const Course& course = *p.g.course;
    const float reach = course.shoulder + tree_clearance;
    int cells = int(p.g.world / tree_grid);
    for (int j = 0; j < cells; j++)
        for (int i = 0; i < cells; i++) {
            uint32_t seed = course.seed + 900;
            float x = (i + 0.2f + 0.6f * float(hash_unit(i, j, seed))) * tree_grid;
            float z = (j + 0.2f + 0.6f * float(hash_unit(i, j, seed + 1))) * tree_grid;
            if (!p.inside_field(x, z, 6))
                continue;
            // Woods in patches, thicker on the hills round the field and
            // thin near the track, so the riders see the way ahead.
            float edge = course_edge_distance(p.line, x, z);
            if (edge < reach)
                continue;
            float centre = p.g.world / 2;
            float out = std::max(std::fabs(x - centre), std::fabs(z - centre)) / centre;
            float wood = std::clamp((float(fractal_noise(x / 120, z / 120, seed + 2, 3)) - 0.45f) * 3, 0.0f, 1.0f);
            float rim = std::clamp((out - 0.75f) * 4, 0.0f, 1.0f);
            float open = std::clamp((edge - reach) / 80, 0.25f, 1.0f);
            float chance = sand ? (0.03f + 0.2f * wood + 0.1f * rim) * open : (0.02f + 0.4f * wood + 0.3f * rim) * open;
            if (hash_unit(i, j, seed + 3) > chance)
                continue;
            float pick = float(hash_unit(i, j, seed + 4));
            float size = float(hash_unit(i, j, seed + 5));
            if (sand) {
                if (pick < 0.3f) {
                    float h = 22 + 12 * size;
                    p.billboard(x, -0.3f, z, h, 0.5f, "palm.png");
                    p.casters.push_back({x, z, h * 0.2f, h * 0.8f});
                } else {
                    float h = 3 + 2.5f * size;
                    p.billboard(x, -0.2f, z, h, 2, "scrub.png");
                    p.casters.push_back({x, z, h * 0.9f, h * 0.4f});
                }
            } else if (pick < 0.45f) {
                float h = 26 + 18 * size;
                p.billboard(x, -0.4f, z, h, 0.5f, "tree-pine.png");
                p.casters.push_back({x, z, h * 0.2f, h * 0.45f});
            } else if (pick < 0.85f) {
                float h = 24 + 14 * size;
                p.billboard(x, -0.4f, z, h, 0.5f, "tree-oak.png");
                p.casters.push_back({x, z, h * 0.28f, h * 0.6f});
            } else {
                float h = 4 + 3 * size;
                p.billboard(x, -0.2f, z, h, 2, "bush.png");
                p.casters.push_back({x, z, h * 0.9f, h * 0.4f});
            }
        }
}

// Tuff blocks line the inside of every corner, where riders cut in. A
// statue turned by a has its x axis along (cos a, -sin a): the blocks' long
// side follows the track.
void place_tuff_blocks(Placer& p)
{
    const Course& course = *p.g.course;
    const CoursePiece& loop = p.line.loop;
    for (size_t k = 0; k < course.loop.size(); k++) {
        const CoursePoint& point = course.loop[k];
        if (point.berm <= 0 && point.camber <= 0)
            continue;
        float apex = loop.point_s[k];
        float inside = -outside_at(loop, apex);
        for (int b = -2; b <= 2; b++) {
            float s = apex + b * block_gap;
            const CourseSample& c = course_sample_at(loop, s);
            float x, z;
            beside(loop, s, inside * (c.width / 2 + 2.5f), &x, &z);
            if (course_edge_distance(p.line, x, z) < 1.5f)
                continue;
            p.statue(x, z, float(det_atan2(-c.tz, c.tx)), tuffblock);
        }
    }
}

// Banners stand upright along the start straight and the finish, their
// long side along the track.
void place_banners(Placer& p, const TrackTiming& timing)
{
    auto line_of = [&](const CoursePiece& piece, float from, float to, float side) {
        for (float s = from; s <= to; s += banner_gap) {
            const CourseSample& c = course_sample_at(piece, s);
            float x, z;
            beside(piece, s, side * (c.width / 2 + 6), &x, &z);
            if (course_edge_distance(p.line, x, z) < 4 || !p.inside_field(x, z, 4))
                continue;
            // Angles at or below -2 pi stand upright on any slope.
            float angle = float(det_atan2(-c.tz, c.tx) - 4 * pi);
            p.statue(x, z, angle, banner);
        }
    };
    const CoursePiece& spur = p.line.spur;
    float start = spur.point_s[1];
    line_of(spur, start + 15, spur.length - 70, 1);
    line_of(spur, start + 15, spur.length - 70, -1);
    const TimingGate& finish = timing.gates[size_t(timing.finish_gate)];
    float side = outside_at(p.line.loop, finish.s);
    line_of(p.line.loop, finish.s - 60, finish.s + 30, side);
}

// Spectators behind the banners of the start and round the jumps.
void place_crowd(Placer& p)
{
    const CoursePiece& spur = p.line.spur;
    const float width = crowd_height * 4;
    for (float s = spur.point_s[1] + 20; s < spur.length - 80; s += width + 4)
        for (int side = -1; side <= 1; side += 2) {
            const CourseSample& c = course_sample_at(spur, s);
            float x, z;
            beside(spur, s, side * (c.width / 2 + 16), &x, &z);
            if (course_edge_distance(p.line, x, z) > 12 && p.inside_field(x, z, 10))
                p.billboard(x, 0, z, crowd_height, 4, "crowd.png");
        }
    for (const JumpDesign& j : p.g.jumps) {
        float side = -outside_at(p.line.loop, j.start + j.landing_at);
        for (int k = -1; k <= 1; k++) {
            float s = j.start + j.landing_at + k * (width + 4);
            const CourseSample& c = course_sample_at(p.line.loop, s);
            float x, z;
            beside(p.line.loop, s, side * (c.width / 2 + 24), &x, &z);
            if (course_edge_distance(p.line, x, z) > 14 && p.inside_field(x, z, 10))
                p.billboard(x, 0, z, crowd_height, 4, "crowd.png");
        }
    }
}

void write_flaggers(Placer& p, const TrackTiming& timing)
{
    char text[512];
    // The starter stands in front of the gate and walks off to the side.
    const CoursePiece& spur = p.line.spur;
    const CourseSample& line = course_sample_at(spur, spur.point_s[1]);
    float x0, z0, x1, z1;
    beside(spur, spur.point_s[1] + 20, 0, &x0, &z0);
    beside(spur, spur.point_s[1] + 20, line.width / 2 + 12, &x1, &z1);
    snprintf(text, sizeof text, "[%.3f 0 %.3f] [%.3f 0 %.3f] %.1f 1 1.5 %s %s %s %s %s\n", x0, z0, x1, z1,
             marshal_height, p.at("startboard-1.png").c_str(), p.at("startboard-2.png").c_str(),
             p.at("startboard-3.png").c_str(), p.at("startboard-4.png").c_str(), p.at("startboard-5.png").c_str());
    p.flaggers += text;
    // The lap board beside the finish line.
    const TimingGate& finish = timing.gates[size_t(timing.finish_gate)];
    float side = outside_at(p.line.loop, finish.s);
    float lx, lz;
    beside(p.line.loop, finish.s, side * (finish.radius + 5), &lx, &lz);
    snprintf(text, sizeof text, "[%.3f 0 %.3f] %.1f 1 %s %s %s %s\n", lx, lz, marshal_height,
             p.at("lapboard.png").c_str(), p.at("lapboard-half.png").c_str(), p.at("lapboard-last.png").c_str(),
             p.at("lapboard-chequered.png").c_str());
    p.flaggers += text;
    // A marshal at every jump and whoops section, watching the gate a rider
    // who falls there makes for next.
    std::vector<float> spots;
    for (const JumpDesign& j : p.g.jumps)
        spots.push_back(j.start + j.landing_at);
    for (const CourseWhoops& w : p.g.course->whoops)
        spots.push_back(course_feature_start(p.line, w.point, w.offset) + w.count * w.spacing / 2);
    for (float s : spots) {
        const CourseSample& c = course_sample_at(p.line.loop, s);
        float x = 0, z = 0;
        bool placed = false;
        for (int side = 1; side >= -1 && !placed; side -= 2) {
            beside(p.line.loop, s, side * (c.width / 2 + 8), &x, &z);
            placed = course_edge_distance(p.line, x, z) > 5;
        }
        if (!placed)
            continue;
        int gate = next_gate(timing, p.g, s);
        snprintf(text, sizeof text, "[%.3f 0 %.3f] %.1f 1 %d -1 -1 -1 %s %s\n", x, z, marshal_height, gate,
                 p.at("flagger.png").c_str(), p.at("flagger-yellow.png").c_str());
        p.flaggers += text;
    }
}

void write_decals(Placer& p, const TrackTiming& timing)
{
    // The chequered finish line painted across the track.
    const TimingGate& finish = timing.gates[size_t(timing.finish_gate)];
    const CourseSample& c = course_sample_at(p.line.loop, finish.s);
    float depth = 2;
    char text[256];
    snprintf(text, sizeof text, "[%.3f %.3f] %.4f %.2f %.3f %s\n", c.x, c.z, det_atan2(c.tx, c.tz), depth,
             (c.width + 2) / depth, p.at("finish-line.png").c_str());
    p.decals += text;
}

} // namespace

float course_edge_distance(const CourseLine& line, float x, float z)
{
    float best = 1e9f;
    for (const CoursePiece* piece : {&line.loop, &line.spur})
        for (const CourseSample& c : piece->samples) {
            float d = std::sqrt((x - c.x) * (x - c.x) + (z - c.z) * (z - c.z)) - c.width / 2;
            best = std::min(best, d);
        }
    return best;
}

TrackObjects place_objects(const TrackGround& g, const TrackTiming& timing)
{
    bool sand = g.course->surface == surface_sand;
    Placer p{g, g.line, "", "", "", "", {}};
    place_trees(p, sand);
    place_tuff_blocks(p);
    place_banners(p, timing);
    place_crowd(p);
    write_flaggers(p, timing);
    write_decals(p, timing);

    TrackObjects out;
    out.statues = std::move(p.statues);
    out.billboards = std::move(p.billboards);
    out.flaggers = std::move(p.flaggers);
    out.decals = std::move(p.decals);
    out.casters = std::move(p.casters);
    if (sand) {
        out.pictures.push_back(palm_picture());
        out.pictures.push_back(bush_picture("scrub.png", rgb(0.30, 0.32, 0.20), rgb(0.58, 0.58, 0.40)));
    } else {
        out.pictures.push_back(pine_picture());
        out.pictures.push_back(oak_picture());
        out.pictures.push_back(bush_picture("bush.png", rgb(0.10, 0.22, 0.08), rgb(0.30, 0.44, 0.16)));
    }
    out.pictures.push_back(crowd_picture());
    for (int stage = 1; stage <= 5; stage++)
        out.pictures.push_back(start_board_picture(stage));
    for (LapBoard kind : {board_laps, board_half, board_last, board_chequered})
        out.pictures.push_back(lap_board_picture(kind));
    out.pictures.push_back(flagger_picture(false));
    out.pictures.push_back(flagger_picture(true));
    out.pictures.push_back(finish_line_picture());
    return out;
}
