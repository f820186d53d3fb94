#include "track_layout.h"

#include "noise.h"
#include "track_math.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double gravity = 32; // ft/s^2, as the bike model has it
constexpr float profile_step = 0.25f;

// Faces a rider never takes off from: the back of a takeoff and the front of
// a landing mound or deck.
constexpr double steep_face = 35 * pi / 180;
constexpr double deck_face = 40 * pi / 180;
// Landings are gentler than takeoffs, so a bike that comes down a little
// short or long still meets the slope.
constexpr double table_landing = 20 * pi / 180;
constexpr double mound_landing = 22 * pi / 180;
constexpr double deck_slope = 0.08; // a step-up deck falls gently away
constexpr double deck_length = 28;
// The top of a takeoff that drops away behind: a short level lip, so the
// bike leaves at the face's angle and not off a rounded point.
constexpr float lip_top = 1.5f;

// Where along the landing slope the approach speed brings the bike down,
// as a fraction of the slope.
constexpr double table_target = 0.4;
constexpr double mound_target = 0.45;
constexpr double deck_target = 0.5;

// The base of the track follows the open ground, smoothed over this many
// feet either way, and lies level under jumps and the start straight.
constexpr int base_smoothing = 45;
constexpr float level_margin = 20;
constexpr float merge_before = 150, merge_after = 50, merge_ramp = 60;

constexpr float cell_size = 16; // of the grid that finds the centre line near a sample

float smoothstep(float t)
{
    t = std::clamp(t, 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

float noise_signed(float x, float z, uint32_t seed, int octaves)
{
    return float(fractal_noise(x, z, seed, octaves) * 2 - 1);
}

JumpMound mound(std::initializer_list<float> u, std::initializer_list<float> h)
{
    return {std::vector<float>(u), std::vector<float>(h)};
}

float mound_height(const JumpMound& m, float u)
{
    if (u <= m.u.front() || u >= m.u.back())
        return 0;
    for (size_t k = 1; k < m.u.size(); k++)
        if (u <= m.u[k]) {
            float w = (u - m.u[k - 1]) / (m.u[k] - m.u[k - 1]);
            return m.h[k - 1] + (m.h[k] - m.h[k - 1]) * w;
        }
    return 0;
}

// Sizes a jump. The bike leaves the lip at the approach speed along the
// takeoff face; its flight y(x) = lip + x tan a - k x^2 comes down on the
// landing slope at the target fraction of it, and the table, mound or deck
// is placed to put that slope there.
JumpDesign design_jump(const CourseJump& jump, float start)
{
    double a = det_radians(jump.angle);
    double tan_a = det_tan(a), cos_a = det_cos(a);
    double k = gravity / (2 * jump.speed * jump.speed * cos_a * cos_a);
    // Distance from the lip where the flight comes down to height y.
    auto lands = [&](double y) { return (tan_a + std::sqrt(tan_a * tan_a - 4 * k * (y - jump.lip))) / (2 * k); };
    float lip = jump.lip;
    float up = float(lip / tan_a);
    float back = float(lip / det_tan(steep_face));
    JumpDesign d;
    d.start = start;
    d.lip_at = up;
    switch (jump.kind) {
    case jump_tabletop: {
        double down = lip / det_tan(table_landing);
        double x = lands(lip * (1 - table_target));
        float top = float(std::max(6.0, x - table_target * down));
        d.mounds.push_back(mound({0, up, up + top, up + top + float(down)}, {0, lip, lip, 0}));
        d.landing_at = up + float(x);
        d.length = up + top + float(down);
        break;
    }
    case jump_double: {
        float crest_height = jump.landing;
        double down = crest_height / det_tan(mound_landing);
        double x = lands(crest_height * (1 - mound_target));
        float crest = up + float(x - mound_target * down);
        float face = float(crest_height / det_tan(steep_face));
        d.mounds.push_back(mound({0, up, up + lip_top, up + lip_top + back}, {0, lip, lip, 0}));
        d.mounds.push_back(mound({crest - face, crest, crest + float(down)}, {0, crest_height, 0}));
        d.landing_at = up + float(x);
        d.length = crest + float(down);
        break;
    }
    case jump_step_up: {
        float deck = jump.landing;
        float deck_end = deck - float(deck_length * deck_slope);
        double down = deck_end / det_tan(table_landing);
        double x = lands(deck - deck_target * deck_length * deck_slope);
        float edge = up + float(x - deck_target * deck_length);
        float face = float(deck / det_tan(deck_face));
        d.mounds.push_back(mound({0, up, up + lip_top, up + lip_top + back}, {0, lip, lip, 0}));
        d.mounds.push_back(mound({edge - face, edge, edge + float(deck_length), edge + float(deck_length + down)},
                                 {0, deck, deck_end, 0}));
        d.landing_at = up + float(x);
        d.length = edge + float(deck_length + down);
        break;
    }
    }
    return d;
}

float whoops_height(const CourseWhoops& w, float u)
{
    float length = w.count * w.spacing;
    if (u <= 0 || u >= length)
        return 0;
    return w.height * 0.5f * (1 - float(det_cos(2 * pi * u / w.spacing)));
}

// Replaces a stretch of a sampled base with the straight line between its
// ends, wrapping on the loop.
void level_stretch(std::vector<float>& base, float from, float to)
{
    int n = int(base.size());
    int a = int(std::floor(from)), b = int(std::ceil(to));
    auto at = [&](int i) -> float& { return base[size_t(((i % n) + n) % n)]; };
    float ha = at(a), hb = at(b);
    for (int i = a; i <= b; i++)
        at(i) = ha + (hb - ha) * float(i - a) / float(b - a);
}

// Holds a stretch of a sampled base at the height of its middle, easing in
// and out over `ramp` samples either side, wrapping on the loop.
void hold_stretch(std::vector<float>& base, float from, float to, float ramp)
{
    int n = int(base.size());
    auto at = [&](int i) -> float& { return base[size_t(((i % n) + n) % n)]; };
    int a = int(std::floor(from)), b = int(std::ceil(to)), r = int(std::ceil(ramp));
    float held = at((a + b) / 2);
    // Ramps from the base as it was: the ends are read before the middle changes.
    std::vector<float> before(size_t(b - a + 2 * r + 1));
    for (int i = a - r; i <= b + r; i++)
        before[size_t(i - a + r)] = at(i);
    for (int i = a - r; i <= b + r; i++) {
        float w = i < a ? float(i - (a - r)) / r : i > b ? float(b + r - i) / r : 1;
        w = w * w * (3 - 2 * w);
        at(i) = before[size_t(i - a + r)] + (held - before[size_t(i - a + r)]) * w;
    }
}

// Box filter over a circular or open sequence.
std::vector<float> box_filter(const std::vector<float>& v, int radius, bool closed)
{
    int n = int(v.size());
    std::vector<float> out(v.size());
    for (int i = 0; i < n; i++) {
        double sum = 0;
        for (int d = -radius; d <= radius; d++) {
            int k = i + d;
            k = closed ? ((k % n) + n) % n : std::clamp(k, 0, n - 1);
            sum += v[size_t(k)];
        }
        out[size_t(i)] = float(sum / (2 * radius + 1));
    }
    return out;
}

// The profile of a piece: base every foot, features added every quarter
// foot, then the edges rounded off over a foot either way.
CourseProfile build_profile(const CoursePiece& piece, const std::vector<float>& base,
                            const std::vector<JumpDesign>& jumps, const Course& course, const CourseLine& line)
{
    CourseProfile profile;
    profile.closed = piece.closed;
    // Round a loop the table repeats exactly once per lap.
    int count = piece.closed ? std::max(1, int(std::lround(piece.length / profile_step)))
                             : int(std::ceil(piece.length / profile_step)) + 1;
    profile.step = piece.closed ? piece.length / count : profile_step;
    std::vector<float> raw(static_cast<size_t>(count));
    int n = int(base.size());
    for (int k = 0; k < count; k++) {
        float s = k * profile.step;
        float f = s / piece.step;
        int i = int(std::floor(f));
        float w = f - i;
        auto at = [&](int m) { return base[size_t(piece.closed ? ((m % n) + n) % n : std::clamp(m, 0, n - 1))]; };
        raw[size_t(k)] = at(i) + (at(i + 1) - at(i)) * w;
    }
    if (piece.closed) {
        for (const JumpDesign& j : jumps)
            for (int k = 0; k < count; k++) {
                float u = k * profile.step - j.start;
                if (u < 0)
                    u += piece.length;
                raw[size_t(k)] += j.height(u);
            }
        for (const CourseWhoops& w : course.whoops) {
            float start = course_feature_start(line, w.point, w.offset);
            for (int k = 0; k < count; k++) {
                float u = k * profile.step - start;
                if (u < 0)
                    u += piece.length;
                raw[size_t(k)] += whoops_height(w, u);
            }
        }
    }
    profile.heights = box_filter(raw, int(std::lround(1 / profile.step)), piece.closed);
    profile.banking.assign(size_t(count), 1.0f);
    if (piece.closed)
        for (const JumpDesign& j : jumps)
            for (int k = 0; k < count; k++) {
                float u = k * profile.step - j.start;
                if (u < -piece.length / 2)
                    u += piece.length;
                else if (u > piece.length / 2)
                    u -= piece.length;
                float outside = std::max(-u, u - j.length); // > 0 beyond the jump's ends
                float& b = profile.banking[size_t(k)];
                b = std::min(b, smoothstep(outside / level_margin));
            }
    return profile;
}

struct Nearest {
    int piece = -1; // 0 loop, 1 spur
    int index = 0;  // sample of the piece
    float s = 0;
    float lateral = 0; // > 0 on the left of the direction of travel
    float edge = 1e9f; // distance beyond the riding edge (< 0 on the track)
};

struct SegmentGrid {
    int cells = 0;
    std::vector<std::vector<int32_t>> entries; // piece << 24 | segment
};

const CoursePiece& piece_of(const CourseLine& line, int piece)
{
    return piece == 0 ? line.loop : line.spur;
}

SegmentGrid build_grid(const CourseLine& line, float world, float shoulder)
{
    SegmentGrid grid;
    grid.cells = int(std::ceil(world / cell_size)) + 1;
    grid.entries.resize(size_t(grid.cells) * grid.cells);
    for (int p = 0; p < 2; p++) {
        const CoursePiece& piece = piece_of(line, p);
        int n = int(piece.samples.size());
        int segments = piece.closed ? n : n - 1;
        for (int k = 0; k < segments; k++) {
            const CourseSample& a = piece.samples[size_t(k)];
            const CourseSample& b = piece.samples[size_t((k + 1) % n)];
            float reach = std::max(a.width, b.width) / 2 + shoulder + 1;
            int x0 = std::max(0, int((std::min(a.x, b.x) - reach) / cell_size));
            int x1 = std::min(grid.cells - 1, int((std::max(a.x, b.x) + reach) / cell_size));
            int z0 = std::max(0, int((std::min(a.z, b.z) - reach) / cell_size));
            int z1 = std::min(grid.cells - 1, int((std::max(a.z, b.z) + reach) / cell_size));
            for (int cz = z0; cz <= z1; cz++)
                for (int cx = x0; cx <= x1; cx++)
                    grid.entries[size_t(cz) * grid.cells + cx].push_back(int32_t(p << 24 | k));
        }
    }
    return grid;
}

// The riding surface nearest to a point: the one whose edge is closest, so
// that a wide start pad and a narrow track beside it both keep their shape.
Nearest find_nearest(const SegmentGrid& grid, const CourseLine& line, float x, float z)
{
    Nearest best;
    int cx = std::clamp(int(x / cell_size), 0, grid.cells - 1);
    int cz = std::clamp(int(z / cell_size), 0, grid.cells - 1);
    // Behind the start line's back edge only the first segment counts, so
    // that the pad ends square.
    const CourseSample& first = line.spur.samples[0];
    bool behind_pad = (x - first.x) * first.tx + (z - first.z) * first.tz < 0;
    for (int32_t entry : grid.entries[size_t(cz) * grid.cells + cx]) {
        int p = entry >> 24, k = entry & 0xffffff;
        if (p == 1 && k > 0 && behind_pad)
            continue;
        const CoursePiece& piece = piece_of(line, p);
        int n = int(piece.samples.size());
        const CourseSample& a = piece.samples[size_t(k)];
        const CourseSample& b = piece.samples[size_t((k + 1) % n)];
        float dx = b.x - a.x, dz = b.z - a.z;
        float length2 = dx * dx + dz * dz;
        float along = ((x - a.x) * dx + (z - a.z) * dz) / length2;
        float t = std::clamp(along, 0.0f, 1.0f);
        float cxp = a.x + dx * t, czp = a.z + dz * t;
        float length = std::sqrt(length2);
        float lx, lz;
        course_left(dx / length, dz / length, &lx, &lz);
        float lateral = (x - cxp) * lx + (z - czp) * lz;
        float half = (a.width + (b.width - a.width) * t) / 2;
        float edge;
        if (p == 1 && k == 0 && along < 0)
            edge = std::max(std::fabs(lateral) - half, -along * length);
        else
            edge = std::sqrt((x - cxp) * (x - cxp) + (z - czp) * (z - czp)) - half;
        if (edge < best.edge) {
            best.piece = p;
            best.index = t < 0.5f ? k : (k + 1) % n;
            best.s = a.s + (piece.step) * t;
            best.lateral = lateral;
            best.edge = edge;
        }
    }
    return best;
}

// Height of the riding surface across the track: a berm rises towards the
// outside of its corner, steepest at the top; an off-camber corner falls
// away towards the outside.
float cross_section(const CourseSample& c, float banking, float lateral)
{
    float half = c.width / 2;
    float l = std::clamp(lateral, -half, half);
    float h = 0;
    if (c.berm != 0) {
        float outward = c.berm > 0 ? l : -l;
        float q = (outward + half) / (2 * half);
        h += std::fabs(c.berm) * q * q;
    }
    h -= float(det_tan(det_radians(c.camber))) * l;
    return h * banking;
}

// The nearest of the four directions of travel 0, 45, 90 and 135 degrees
// (either way along each).
uint8_t travel_direction(float tx, float tz)
{
    const float d = 0.70710678f;
    const float axes[4][2] = {{1, 0}, {d, d}, {0, 1}, {-d, d}};
    uint8_t best = 0;
    float best_dot = -1;
    for (int k = 0; k < 4; k++) {
        float dot = std::fabs(tx * axes[k][0] + tz * axes[k][1]);
        if (dot > best_dot) {
            best_dot = dot;
            best = uint8_t(k);
        }
    }
    return best;
}

uint8_t surface_layer(const Course& course, const Nearest& n, const CourseSample& c, float x, float z)
{
    uint32_t seed = course.seed;
    float wobble = noise_signed(x / 3, z / 3, seed + 11, 2);
    float patch = float(fractal_noise(x / 18, z / 18, seed + 12, 3));
    if (course.surface == surface_sand) {
        if (n.edge < -3 + 1.2f * wobble)
            return layer_packed;
        if (n.edge < course.shoulder * 0.55f + 2 * wobble)
            return layer_loose;
        return layer_verge;
    }
    if (n.edge < -4 + 1.5f * wobble) {
        float outward = c.berm > 0 ? n.lateral : -n.lateral;
        if (std::fabs(c.berm) > 0.5f && outward > c.width / 2 - 6 + wobble)
            return layer_loose; // dirt pushed up the berm
        return patch > 0.68f ? layer_loose : layer_packed;
    }
    if (n.edge < 0.8f + 0.6f * wobble)
        return layer_loose;
    if (n.edge < course.shoulder * 0.45f + 2 * wobble)
        return layer_verge;
    return layer_open;
}

} // namespace

float JumpDesign::height(float u) const
{
    float h = 0;
    for (const JumpMound& m : mounds)
        h = std::max(h, mound_height(m, u));
    return h;
}

float CourseProfile::banking_at(float s) const
{
    int n = int(banking.size());
    int k = int(std::lround(s / step));
    return banking[size_t(closed ? ((k % n) + n) % n : std::clamp(k, 0, n - 1))];
}

float CourseProfile::at(float s) const
{
    int n = int(heights.size());
    float f = s / step;
    int i = int(std::floor(f));
    float w = f - i;
    auto h = [&](int k) { return heights[size_t(closed ? ((k % n) + n) % n : std::clamp(k, 0, n - 1))]; };
    return h(i) + (h(i + 1) - h(i)) * w;
}

float natural_ground(const Course& course, float x, float z)
{
    uint32_t seed = course.seed;
    float centre = float(course.spacing * (2 << course.size_log2)) / 2;
    // A rounded square: the hills follow the edge of the field without
    // meeting in creases at its corners.
    float dx = (x - centre) * (x - centre), dz = (z - centre) * (z - centre);
    float d = std::sqrt(std::sqrt(dx * dx + dz * dz));
    float rim = course.rim_height * smoothstep((d - course.rim_start) / (centre - course.rim_start)) *
                (0.6f + 0.8f * float(value_noise(x / 140, z / 140, seed + 1)));
    float hills = 0;
    for (const CourseHill& hill : course.hills) {
        float q2 = ((x - hill.x) * (x - hill.x) + (z - hill.z) * (z - hill.z)) / (hill.radius * hill.radius);
        if (q2 < 1)
            hills += hill.height * (1 - q2) * (1 - q2);
    }
    float rolling = course.roughness * noise_signed(x / 150, z / 150, seed + 2, 4);
    float lumps = 0.25f * noise_signed(x / 10, z / 10, seed + 3, 2);
    return rim + hills + rolling + lumps;
}

std::vector<JumpDesign> design_jumps(const Course& course, const CourseLine& line)
{
    std::vector<JumpDesign> designs;
    for (const CourseJump& jump : course.jumps)
        designs.push_back(design_jump(jump, course_feature_start(line, jump.point, jump.offset)));
    return designs;
}

TrackGround carve_ground(const Course& course)
{
    TrackGround g;
    g.course = &course;
    g.line = sample_course(course);
    g.size_log2 = course.size_log2;
    g.tiles = 1 << course.size_log2;
    g.samples = 2 * g.tiles + 1;
    g.spacing = course.spacing;
    g.world = course.spacing * 2 * g.tiles;
    g.jumps = design_jumps(course, g.line);

    // The base of the loop: the open ground under it, smoothed, and level
    // under every jump and whoops section and where the start straight joins.
    const CoursePiece& loop = g.line.loop;
    std::vector<float> base;
    for (const CourseSample& c : loop.samples)
        base.push_back(natural_ground(course, c.x, c.z));
    int radius = int(base_smoothing / loop.step);
    base = box_filter(box_filter(base, radius, true), radius, true);
    auto level = [&](float from, float to) { level_stretch(base, from / loop.step, to / loop.step); };
    for (const JumpDesign& j : g.jumps)
        level(j.start - level_margin, j.start + j.length + level_margin);
    for (const CourseWhoops& w : course.whoops) {
        float start = course_feature_start(g.line, w.point, w.offset);
        level(start - level_margin, start + w.count * w.spacing + level_margin);
    }
    // Where the start straight joins, the loop lies at one height with it,
    // so that the two surfaces and their shoulders meet without a step.
    float merge_s = loop.point_s[size_t(course.merge)];
    hold_stretch(base, (merge_s - merge_before) / loop.step, (merge_s + merge_after) / loop.step,
                 merge_ramp / loop.step);
    g.loop_profile = build_profile(loop, base, g.jumps, course, g.line);
    // The start straight lies level at the height where it joins.
    std::vector<float> spur_base(g.line.spur.samples.size(), g.loop_profile.at(merge_s));
    g.spur_profile = build_profile(g.line.spur, spur_base, {}, course, g.line);

    SegmentGrid grid = build_grid(g.line, g.world, course.shoulder);
    size_t count = size_t(g.samples) * g.samples;
    g.heights.resize(count);
    g.layer.resize(count);
    g.tile_direction.assign(size_t(g.tiles) * g.tiles, 255);
    for (int j = 0; j < g.samples; j++)
        for (int i = 0; i < g.samples; i++) {
            float x = i * g.spacing, z = j * g.spacing;
            float open = natural_ground(course, x, z);
            size_t at = size_t(j) * g.samples + i;
            Nearest n = find_nearest(grid, g.line, x, z);
            if (n.piece < 0 || n.edge >= course.shoulder) {
                g.heights[at] = open;
                g.layer[at] = course.surface == surface_sand ? layer_loose : layer_open;
                // Bare patches among the grass, dune grass among the sand.
                float patch = float(fractal_noise(x / 40, z / 40, course.seed + 13, 3));
                if (course.surface == surface_sand ? patch > 0.62f : patch > 0.78f)
                    g.layer[at] = layer_verge;
                continue;
            }
            const CoursePiece& piece = piece_of(g.line, n.piece);
            const CourseSample& c = piece.samples[size_t(n.index)];
            const CourseProfile& profile = n.piece == 0 ? g.loop_profile : g.spur_profile;
            float half = c.width / 2;
            float surface = profile.at(n.s) + cross_section(c, profile.banking_at(n.s), n.lateral);
            float h = surface;
            if (n.edge > 0)
                h = surface + (open - surface) * smoothstep(n.edge / course.shoulder);
            g.heights[at] = h;
            g.layer[at] = surface_layer(course, n, c, x, z);
            if ((i & 1) && (j & 1) && n.edge < 0 && std::fabs(n.lateral) < half)
                g.tile_direction[size_t(j / 2) * g.tiles + i / 2] = travel_direction(c.tx, c.tz);
        }
    auto [low, high] = std::minmax_element(g.heights.begin(), g.heights.end());
    g.min_height = *low;
    g.max_height = *high;
    return g;
}

float TrackGround::height_at(float x, float z) const
{
    float u = std::clamp(x / spacing, 0.0f, float(samples - 1));
    float v = std::clamp(z / spacing, 0.0f, float(samples - 1));
    int i = std::min(int(u), samples - 2), j = std::min(int(v), samples - 2);
    float fu = u - i, fv = v - j;
    float a = height(i, j), b = height(i + 1, j), c = height(i, j + 1), d = height(i + 1, j + 1);
    return (a + (b - a) * fu) + ((c + (d - c) * fu) - (a + (b - a) * fu)) * fv;
}

uint8_t TrackGround::layer_at(float x, float z) const
{
    int i = std::clamp(int(std::lround(x / spacing)), 0, samples - 1);
    int j = std::clamp(int(std::lround(z / spacing)), 0, samples - 1);
    return layer[size_t(j) * samples + i];
}
