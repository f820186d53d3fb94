// The tracks of the data release as tables: each track is a closed centre
// line of control points (with a width and the shape of the cross-section at
// each point), a start straight that joins it, the jumps and whoops along it
// and the hills around it. Everything that shapes a track is in its table;
// the generator and its tests both sample the centre line from here, so the
// sampler lives in this header.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

// A control point of a centre line, in feet (x east, z south).
struct CoursePoint {
    float x, z;
    float width;  // riding width
    float berm;   // corner: height of the outside edge above the inside
    float camber; // off-camber corner: fall of the surface towards the outside, degrees
    bool gate;    // a timing gate stands here
};

enum CourseJumpKind { jump_tabletop, jump_double, jump_step_up };

// A jump is given by what the rider meets (speed, lip, takeoff angle); the
// generator works out the lengths so that he lands on the down-slope.
struct CourseJump {
    CourseJumpKind kind;
    int point; // the foot of the takeoff lies `offset` feet past this loop point
    float offset;
    float speed;   // approach speed it is sized for, ft/s
    float lip;     // height of the takeoff lip above the ground
    float angle;   // takeoff angle, degrees
    float landing; // double: crest of the landing mound; step-up: height of the deck
};

struct CourseWhoops {
    int point; // the first bump begins `offset` feet past this loop point
    float offset;
    int count;
    float spacing; // crest to crest, feet
    float height;
};

struct CourseHill {
    float x, z, radius, height;
};

enum CourseSurface { surface_dirt, surface_sand };

struct Course {
    const char* folder;
    const char* name; // shown in the track list
    int size_log2;    // M: 2^(M+1) + 1 samples per side
    float spacing;    // feet between samples
    uint32_t seed;
    CourseSurface surface;
    std::span<const CoursePoint> loop; // closed, in riding order
    // The start straight, from the back of the start pad; the riders line up
    // across spur[1]. Its last point is followed by loop[merge].
    std::span<const CoursePoint> spur;
    int merge;
    int finish; // loop point of the finish line
    std::span<const CourseJump> jumps;
    std::span<const CourseWhoops> whoops;
    std::span<const CourseHill> hills;
    float rim_height; // hills along the edge of the field
    float rim_start;  // ... rising from this distance from the centre (square measure)
    float roughness;  // height of the rolling noise of the open ground
    float shoulder;   // width over which the track edge blends into the ground
    float place_gap;  // between two starting places
    float sun[3];     // towards the sun
    float sun_colour[3];
    float ambient[3];
    float fog[4]; // colour and density
};

// ---------------------------------------------------------------------------
// Rabbit Hill: the default track. 1024 ft square, a start pad for 40 riders
// in the south-west, a sweeping first corner, a tabletop along the top, a
// double down the east side, an off-camber climb round the central hill,
// whoops, a step-up and the finish along the bottom.

inline constexpr CoursePoint rabbithill_loop[] = {
    {240, 640, 30, 0, 0, false}, //  0 the start straight joins here
    {246, 480, 28, 0, 0, true},
    {268, 320, 28, 0, 0, false},
    {330, 222, 34, 5, 0, true},  //  3 first corner, right-hand berm
    {430, 190, 28, 2, 0, false},
    {560, 198, 26, 0, 0, false}, //    tabletop
    {680, 212, 26, 0, 0, false},
    {772, 252, 34, 5, 0, true},  //  7 right-hand berm
    {802, 345, 28, 1, 0, false},
    {798, 480, 26, 0, 0, false}, //    double
    {768, 570, 34, 5, 0, true},  // 10 hairpin, right-hand berm
    {680, 590, 34, 5, 0, false},
    {628, 520, 28, 0, 0, false},
    {600, 425, 26, 0, 0, true},  // 13 climb
    {545, 345, 26, 0, 8, false}, //    off-camber left round the hill
    {455, 330, 26, 0, 8, true},
    {402, 400, 26, 0, 0, false},
    {400, 560, 26, 0, 0, false}, //    whoops on the way down
    {432, 652, 34, 4, 0, true},  // 18 left-hand berm
    {530, 690, 28, 0, 0, false},
    {650, 716, 26, 0, 0, false}, //    step-up
    {762, 762, 34, 5, 0, true},  // 21 right-hand hairpin berm
    {722, 840, 30, 3, 0, false},
    {560, 846, 26, 0, 0, true},
    {420, 822, 26, 0, 0, true},  // 24 finish line
    {330, 762, 28, 0, 0, false},
};

inline constexpr CoursePoint rabbithill_spur[] = {
    {215, 905, 150, 0, 0, false},
    {215, 865, 150, 0, 0, false}, // start line
    {216, 805, 150, 0, 0, true},
    {220, 745, 96, 0, 0, false},
    {228, 692, 50, 0, 0, false},
};

inline constexpr CourseJump rabbithill_jumps[] = {
    {jump_tabletop, 4, 40, 42, 5.5f, 24, 0},
    {jump_double, 8, 30, 46, 5, 27, 5.5f},
    {jump_step_up, 19, 25, 40, 3.5f, 28, 6},
};

inline constexpr CourseWhoops rabbithill_whoops[] = {
    {16, 35, 9, 11, 1.3f},
};

inline constexpr CourseHill rabbithill_hills[] = {
    {515, 420, 150, 16}, // inside the off-camber corner
    {880, 150, 130, 22},
    {120, 200, 150, 18},
    {900, 560, 110, 14},
    {560, 960, 160, 12},
};

inline const Course rabbithill_course = {
    .folder = "rabbithill",
    .name = "Rabbit Hill",
    .size_log2 = 10,
    .spacing = 0.5f,
    .seed = 0x52616262,
    .surface = surface_dirt,
    .loop = rabbithill_loop,
    .spur = rabbithill_spur,
    .merge = 0,
    .finish = 24,
    .jumps = rabbithill_jumps,
    .whoops = rabbithill_whoops,
    .hills = rabbithill_hills,
    .rim_height = 34,
    .rim_start = 420,
    .roughness = 2.5f,
    .shoulder = 16,
    .place_gap = 3.5f,
    .sun = {-0.55f, 0.72f, 0.42f}, // afternoon, from the south-west
    .sun_colour = {1.0f, 0.95f, 0.84f},
    .ambient = {0.42f, 0.45f, 0.52f},
    .fog = {0.72f, 0.78f, 0.86f, 0.0006f},
};

// ---------------------------------------------------------------------------
// Dune Bowl: a sand track in a smaller field, a hollow among dunes.

inline constexpr CoursePoint dunebowl_loop[] = {
    {180, 400, 30, 0, 0, false}, //  0 the start straight joins here
    {186, 262, 28, 0, 0, true},
    {216, 152, 36, 4, 0, true},  //  2 right-hand sand berm
    {300, 116, 30, 2, 0, false},
    {400, 124, 26, 0, 0, false}, //    tabletop
    {490, 152, 34, 4, 0, true},  //  5 right-hand berm
    {522, 242, 28, 0, 0, false},
    {510, 350, 26, 0, 0, false}, //    whoops
    {478, 440, 34, 4, 0, true},  //  8 right-hand berm
    {400, 478, 26, 0, 0, false}, //    double
    {292, 512, 34, 4, 0, true},  // 10 right-hand berm
    {232, 470, 28, 0, 0, true},  // 11 finish line
};

inline constexpr CoursePoint dunebowl_spur[] = {
    {120, 612, 150, 0, 0, false},
    {120, 574, 150, 0, 0, false}, // start line
    {124, 520, 150, 0, 0, true},
    {140, 470, 90, 0, 0, false},
    {160, 430, 46, 0, 0, false},
};

inline constexpr CourseJump dunebowl_jumps[] = {
    {jump_tabletop, 3, 30, 38, 4.5f, 24, 0},
    {jump_double, 9, 20, 40, 4, 26, 4.5f},
};

inline constexpr CourseWhoops dunebowl_whoops[] = {
    {6, 20, 7, 12, 1.1f},
};

inline constexpr CourseHill dunebowl_hills[] = {
    {330, 300, 110, 10}, // the hump in the middle of the bowl
    {560, 560, 120, 16},
    {80, 120, 110, 14},
    {600, 300, 70, 12},
    {330, 610, 60, 9},
    {40, 380, 60, 11},
    {420, 30, 80, 10},
};

inline const Course dunebowl_course = {
    .folder = "dunebowl",
    .name = "Dune Bowl",
    .size_log2 = 9,
    .spacing = 0.625f,
    .seed = 0x44756e65,
    .surface = surface_sand,
    .loop = dunebowl_loop,
    .spur = dunebowl_spur,
    .merge = 0,
    .finish = 11,
    .jumps = dunebowl_jumps,
    .whoops = dunebowl_whoops,
    .hills = dunebowl_hills,
    .rim_height = 26,
    .rim_start = 250,
    .roughness = 1.5f,
    .shoulder = 14,
    .place_gap = 3.5f,
    .sun = {0.64f, 0.42f, -0.64f}, // late afternoon: long shadows behind the dunes
    .sun_colour = {1.0f, 0.88f, 0.70f},
    .ambient = {0.50f, 0.48f, 0.46f},
    .fog = {0.86f, 0.80f, 0.70f, 0.0009f},
};

inline const Course* const all_courses[] = {&rabbithill_course, &dunebowl_course};

// ---------------------------------------------------------------------------
// Sampling the centre line.

// One sample of a centre line, a foot apart along it.
struct CourseSample {
    float x, z;
    float tx, tz; // unit tangent
    float s;      // distance from the first point
    float width;
    // Cross-section, signed by side: > 0 raises (berm) or lowers (camber) the
    // left side, the outside of a right-hand turn.
    float berm;
    float camber;
};

struct CoursePiece {
    std::vector<CourseSample> samples;
    std::vector<float> point_s; // distance of every control point
    float length = 0;
    float step = 1; // between samples, about a foot
    bool closed = false;
};

struct CourseLine {
    CoursePiece loop;
    CoursePiece spur;
};

// The left of a direction of travel in the x-z plane.
inline void course_left(float tx, float tz, float* lx, float* lz)
{
    *lx = tz;
    *lz = -tx;
}

namespace course_detail {

struct Vec {
    double x, z;
};

inline double distance(Vec a, Vec b)
{
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.z - b.z) * (a.z - b.z));
}

// Centripetal Catmull-Rom between p1 and p2: it never loops or overshoots
// where control points are unevenly spaced.
inline Vec catmull_rom(Vec p0, Vec p1, Vec p2, Vec p3, double u)
{
    double t0 = 0;
    double t1 = t0 + std::sqrt(std::max(distance(p0, p1), 1e-3));
    double t2 = t1 + std::sqrt(std::max(distance(p1, p2), 1e-3));
    double t3 = t2 + std::sqrt(std::max(distance(p2, p3), 1e-3));
    double t = t1 + u * (t2 - t1);
    auto lerp = [](Vec a, Vec b, double ta, double tb, double tt) {
        double w = (tt - ta) / (tb - ta);
        return Vec{a.x + (b.x - a.x) * w, a.z + (b.z - a.z) * w};
    };
    Vec a1 = lerp(p0, p1, t0, t1, t), a2 = lerp(p1, p2, t1, t2, t), a3 = lerp(p2, p3, t2, t3, t);
    Vec b1 = lerp(a1, a2, t0, t2, t), b2 = lerp(a2, a3, t1, t3, t);
    return lerp(b1, b2, t1, t2, t);
}

// +1 when the centre line turns right at p1 (its outside is the left), -1
// for a left turn.
inline float outside_side(Vec p0, Vec p1, Vec p2)
{
    double cross = (p1.x - p0.x) * (p2.z - p1.z) - (p1.z - p0.z) * (p2.x - p1.x);
    return cross >= 0 ? 1.0f : -1.0f;
}

struct Knot {
    Vec p;
    float width, berm, camber;
};

// Samples the spline through knots (closed: the last joins the first; open:
// before[0] and after[0] are the phantom points at the ends).
inline CoursePiece sample_knots(const std::vector<Knot>& knots, bool closed, Vec before, Vec after)
{
    const int n = int(knots.size());
    const int segments = closed ? n : n - 1;
    const int steps = 256;
    auto knot_at = [&](int k) -> Vec {
        if (closed)
            return knots[size_t((k % n + n) % n)].p;
        if (k < 0)
            return before;
        if (k >= n)
            return after;
        return knots[size_t(k)].p;
    };
    // Dense points with their distance and attributes.
    struct Dense {
        Vec p;
        double s;
        float width, berm, camber;
    };
    std::vector<Dense> dense;
    CoursePiece piece;
    piece.closed = closed;
    double s = 0;
    for (int k = 0; k < segments; k++) {
        const Knot& a = knots[size_t(k)];
        const Knot& b = knots[size_t((k + 1) % n)];
        piece.point_s.push_back(float(s));
        for (int i = 0; i < steps; i++) {
            double u = double(i) / steps;
            Vec p = catmull_rom(knot_at(k - 1), knot_at(k), knot_at(k + 1), knot_at(k + 2), u);
            if (!dense.empty())
                s += distance(dense.back().p, p);
            // Attributes ease from knot to knot, so a berm builds up and dies
            // away smoothly.
            float w = float(u * u * (3 - 2 * u));
            dense.push_back({p, s, a.width + (b.width - a.width) * w, a.berm + (b.berm - a.berm) * w,
                             a.camber + (b.camber - a.camber) * w});
        }
    }
    Vec end = closed ? knots[0].p : knots[size_t(n - 1)].p;
    s += distance(dense.back().p, end);
    const Knot& last = closed ? knots[0] : knots[size_t(n - 1)];
    dense.push_back({end, s, last.width, last.berm, last.camber});
    if (!closed)
        piece.point_s.push_back(float(s));
    piece.length = float(s);

    // Resample about a foot apart, evenly, so that a closed loop has no
    // short last step.
    int intervals = std::max(2, int(std::lround(s)));
    piece.step = float(s / intervals);
    int count = closed ? intervals : intervals + 1;
    size_t d = 0;
    for (int i = 0; i < count; i++) {
        double at = s * i / intervals;
        while (d + 2 < dense.size() && dense[d + 1].s < at)
            d++;
        const Dense& p = dense[d];
        const Dense& q = dense[d + 1];
        double w = q.s > p.s ? (at - p.s) / (q.s - p.s) : 0;
        w = std::clamp(w, 0.0, 1.0);
        CourseSample c;
        c.x = float(p.p.x + (q.p.x - p.p.x) * w);
        c.z = float(p.p.z + (q.p.z - p.p.z) * w);
        c.s = float(at);
        c.width = float(p.width + (q.width - p.width) * w);
        c.berm = float(p.berm + (q.berm - p.berm) * w);
        c.camber = float(p.camber + (q.camber - p.camber) * w);
        c.tx = c.tz = 0;
        piece.samples.push_back(c);
    }
    for (int i = 0; i < count; i++) {
        int a = i - 1, b = i + 1;
        if (closed) {
            a = (a + count) % count;
            b = b % count;
        } else {
            a = std::max(a, 0);
            b = std::min(b, count - 1);
        }
        double dx = piece.samples[size_t(b)].x - piece.samples[size_t(a)].x;
        double dz = piece.samples[size_t(b)].z - piece.samples[size_t(a)].z;
        double len = std::sqrt(dx * dx + dz * dz);
        piece.samples[size_t(i)].tx = float(dx / len);
        piece.samples[size_t(i)].tz = float(dz / len);
    }
    return piece;
}

} // namespace course_detail

// The loop and the start straight, sampled a foot apart.
inline CourseLine sample_course(const Course& course)
{
    using namespace course_detail;
    const int n = int(course.loop.size());
    std::vector<Knot> loop;
    for (int k = 0; k < n; k++) {
        const CoursePoint& c = course.loop[size_t(k)];
        const CoursePoint& prev = course.loop[size_t((k + n - 1) % n)];
        const CoursePoint& next = course.loop[size_t((k + 1) % n)];
        float side = outside_side({prev.x, prev.z}, {c.x, c.z}, {next.x, next.z});
        loop.push_back({{c.x, c.z}, c.width, c.berm * side, c.camber * side});
    }
    std::vector<Knot> spur;
    for (const CoursePoint& c : course.spur)
        spur.push_back({{c.x, c.z}, c.width, 0, 0});
    const CoursePoint& merge = course.loop[size_t(course.merge)];
    const CoursePoint& beyond = course.loop[size_t((course.merge + 1) % n)];
    spur.push_back({{merge.x, merge.z}, merge.width, 0, 0});
    Vec first = spur[0].p, second = spur[1].p;
    CourseLine line;
    line.loop = sample_knots(loop, true, {}, {});
    line.spur = sample_knots(spur, false, {2 * first.x - second.x, 2 * first.z - second.z}, {beyond.x, beyond.z});
    return line;
}

// The sample of a piece at a distance along it (wrapping on the loop).
inline const CourseSample& course_sample_at(const CoursePiece& piece, float s)
{
    int count = int(piece.samples.size());
    int i = int(std::lround(s / piece.step));
    if (piece.closed)
        i = ((i % count) + count) % count;
    else
        i = std::clamp(i, 0, count - 1);
    return piece.samples[size_t(i)];
}

// Where a jump or a whoops section begins along the loop.
inline float course_feature_start(const CourseLine& line, int point, float offset)
{
    return line.loop.point_s[size_t(point)] + offset;
}
