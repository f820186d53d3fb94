#include "track_textures.h"

#include "noise.h"
#include "track_math.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>

namespace {

// The composite ground shows texture coordinates 1/16 to 15/16 of each tile
// texture, so a ground repeats every 112 texels starting at texel 8: across
// a tile boundary the picture then runs on without a seam.
constexpr int texture_size = 128;
constexpr int texture_border = 8;
constexpr int texture_period = 112;

struct Rgb {
    float r, g, b;
};

Rgb mix(Rgb a, Rgb b, float t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb scale(Rgb a, float f)
{
    return {a.r * f, a.g * f, a.b * f};
}

float step_between(float a, float b, float x)
{
    return float(smoothstep(a, b, x));
}

// Noise that repeats once per tile: u, v in tiles, `cells` lattice cells
// across the tile.
float tile_noise(float u, float v, int cells, uint32_t seed, int octaves)
{
    return float(fractal_noise(u * cells, v * cells, seed, octaves, cells));
}

int wrap(int v, int n)
{
    return ((v % n) + n) % n;
}

float fraction(float v)
{
    return v - std::floor(v);
}

// Thin strokes scattered over a lattice of `cells` per tile, `per_cell` in
// each: grass blades, dry stalks, twigs. Returns the stroke colour's weight
// and which stroke it was (for its shade), drawn in a fixed order so the
// picture never depends on anything but the seed.
struct Stroke {
    float cover = 0;
    float shade = 0;
};

Stroke strokes(float u, float v, int cells, int per_cell, float length, float width, uint32_t seed, float density)
{
    Stroke best;
    int cu = int(std::floor(u * cells)), cv = int(std::floor(v * cells));
    for (int dv = -1; dv <= 1; dv++)
        for (int du = -1; du <= 1; du++) {
            int gu = cu + du, gv = cv + dv;
            int hu = wrap(gu, cells), hv = wrap(gv, cells);
            for (int k = 0; k < per_cell; k++) {
                uint32_t s = seed + uint32_t(k) * 7919;
                if (hash_unit(hu, hv, s + 5) > density)
                    continue;
                float bx = (gu + float(hash_unit(hu, hv, s))) / cells;
                float by = (gv + float(hash_unit(hu, hv, s + 1))) / cells;
                // Seen from above, blades lean every way.
                float ax = float(hash_unit(hu, hv, s + 2)) * 2 - 1, ay = float(hash_unit(hu, hv, s + 6)) * 2 - 1;
                float norm = std::sqrt(ax * ax + ay * ay) + 1e-3f;
                float len = length * (0.6f + 0.8f * float(hash_unit(hu, hv, s + 3)));
                float ex = bx + ax / norm * len, ey = by + ay / norm * len;
                float dx = ex - bx, dy = ey - by;
                float t = std::clamp(((u - bx) * dx + (v - by) * dy) / (dx * dx + dy * dy), 0.0f, 1.0f);
                float px = bx + dx * t - u, py = by + dy * t - v;
                float d = std::sqrt(px * px + py * py);
                float w = width * (1 - 0.7f * t); // tapering to the tip
                if (d < w) {
                    best.cover = std::max(best.cover, 1 - d / w * 0.5f);
                    best.shade = float(hash_unit(hu, hv, s + 4)) * (0.5f + 0.5f * t);
                }
            }
        }
    return best;
}

// Round stones, one chance per cell, lit from the top left.
float pebbles(float u, float v, int cells, float chance, float size, uint32_t seed, float* light)
{
    int cu = int(std::floor(u * cells)), cv = int(std::floor(v * cells));
    float cover = 0;
    for (int dv = -1; dv <= 1; dv++)
        for (int du = -1; du <= 1; du++) {
            int gu = cu + du, gv = cv + dv;
            int hu = wrap(gu, cells), hv = wrap(gv, cells);
            if (hash_unit(hu, hv, seed) > chance)
                continue;
            float px = (gu + 0.2f + 0.6f * float(hash_unit(hu, hv, seed + 1))) / cells;
            float py = (gv + 0.2f + 0.6f * float(hash_unit(hu, hv, seed + 2))) / cells;
            float r = size * (0.5f + float(hash_unit(hu, hv, seed + 3)));
            float dx = (u - px) / r, dy = (v - py) / r;
            float d2 = dx * dx + dy * dy;
            if (d2 < 1) {
                cover = 1;
                *light = 0.85f + 0.35f * (-dx - dy) * 0.5f + 0.15f * float(hash_unit(hu, hv, seed + 4));
            }
        }
    return cover;
}

// A smooth bump of height 1 at 0, gone at |x| = 1.
float bump(float x)
{
    float q = std::max(0.0f, 1 - x * x);
    return q * q;
}

// Tyre ruts along one of four directions of travel (0: along x, 1: along
// x = z, 2: along z, 3: along x = -z), a foot or so apart.
float ruts(float u, float v, int direction, uint32_t seed)
{
    float across, along;
    switch (direction) {
    case 0:
        across = 2 * v, along = u;
        break;
    case 1:
        across = 2 * (u - v), along = u + v;
        break;
    case 2:
        across = 2 * u, along = v;
        break;
    default:
        across = 2 * (u + v), along = u - v;
        break;
    }
    across += 0.05f * float(det_sin(2 * pi * along)) + 0.06f * (tile_noise(u, v, 3, seed, 2) - 0.5f);
    float f = fraction(across) - 0.5f;
    float groove = bump(f / 0.16f);
    float ridge = bump((std::fabs(f) - 0.17f) / 0.08f);
    return 1 - 0.3f * groove + 0.08f * ridge;
}

enum Pattern {
    pattern_grass,
    pattern_loam,
    pattern_loose,
    pattern_hardpack,
    pattern_dunegrass,
    pattern_sand,
    pattern_packed
};

Rgb ground_colour(Pattern pattern, int variant, float u, float v, uint32_t seed)
{
    switch (pattern) {
    case pattern_grass: {
        // The variant differs only a little (other blades, a few flowers):
        // it breaks up the repeat without showing the tile grid.
        Rgb dark = {0.17f, 0.30f, 0.10f}, light = {0.32f, 0.48f, 0.18f};
        if (variant == 1)
            dark = {0.19f, 0.31f, 0.10f}, light = {0.35f, 0.49f, 0.19f};
        Rgb c = mix(dark, light, tile_noise(u, v, 4, seed, 3));
        float soil = step_between(0.35f, 0.2f, tile_noise(u, v, 8, seed + 1, 2));
        c = mix(c, {0.30f, 0.23f, 0.15f}, 0.5f * soil);
        Stroke s = strokes(u, v, 12, 4, 0.07f, 0.008f, seed + 2 + uint32_t(variant) * 31, 0.9f);
        Rgb blade = mix(scale(dark, 0.8f), scale(light, 1.25f), s.shade);
        c = mix(c, blade, s.cover);
        if (variant == 1) {
            float lit = 1; // flowers take no shading
            float flower = pebbles(u, v, 6, 0.4f, 0.012f, seed + 7, &lit);
            c = mix(c, {0.95f, 0.92f, 0.6f}, 0.9f * flower);
        }
        return c;
    }
    case pattern_loam: {
        Rgb c = mix({0.24f, 0.17f, 0.11f}, {0.36f, 0.27f, 0.18f}, tile_noise(u, v, 6, seed, 4));
        c = scale(c, 0.85f + 0.3f * tile_noise(u, v, 48, seed + 1, 1));
        Stroke s = strokes(u, v, 10, 2, 0.06f, 0.007f, seed + 2, variant == 1 ? 0.8f : 0.25f);
        return mix(c, mix({0.20f, 0.30f, 0.10f}, {0.38f, 0.44f, 0.18f}, s.shade), s.cover);
    }
    case pattern_loose: {
        Rgb c = mix({0.47f, 0.35f, 0.24f}, {0.62f, 0.48f, 0.33f}, tile_noise(u, v, 5, seed, 3));
        c = scale(c, 0.82f + 0.36f * tile_noise(u, v, 40, seed + 1, 2));
        // Clods thrown up by the wheels.
        float clod = step_between(0.62f, 0.7f, tile_noise(u, v, 10, seed + 2, 2));
        c = mix(c, scale(c, 0.72f), clod);
        float light = 1;
        float stone = pebbles(u, v, 9, variant == 1 ? 0.7f : 0.35f, 0.02f, seed + 3, &light);
        return mix(c, scale({0.58f, 0.54f, 0.48f}, light), stone);
    }
    case pattern_hardpack: {
        Rgb c = mix({0.55f, 0.45f, 0.33f}, {0.66f, 0.56f, 0.43f}, tile_noise(u, v, 3, seed, 3));
        c = scale(c, 0.93f + 0.14f * tile_noise(u, v, 28, seed + 1, 2));
        float light = 1;
        float stone = pebbles(u, v, 7, 0.15f, 0.015f, seed + 3, &light);
        c = mix(c, scale({0.60f, 0.56f, 0.50f}, light), stone);
        if (variant >= 1)
            c = scale(c, ruts(u, v, variant - 1, seed + 4));
        return c;
    }
    case pattern_dunegrass: {
        Rgb c = mix({0.74f, 0.64f, 0.46f}, {0.84f, 0.74f, 0.54f}, tile_noise(u, v, 5, seed, 3));
        c = scale(c, 0.9f + 0.2f * tile_noise(u, v, 56, seed + 1, 1));
        // Tufts: blades gathered where the noise is high.
        float tuft = step_between(0.45f, 0.6f, tile_noise(u, v, 4, seed + 2, 2));
        Stroke s = strokes(u, v, 14, 3, 0.08f, 0.006f, seed + 3, variant == 1 ? 0.9f : 0.6f);
        Rgb blade = mix({0.38f, 0.42f, 0.24f}, {0.62f, 0.62f, 0.38f}, s.shade);
        return mix(c, blade, s.cover * tuft);
    }
    case pattern_sand: {
        Rgb c = mix({0.82f, 0.71f, 0.52f}, {0.93f, 0.83f, 0.63f}, tile_noise(u, v, 4, seed, 3));
        c = scale(c, 0.9f + 0.2f * tile_noise(u, v, 64, seed + 1, 1));
        if (variant == 1) { // wind ripples
            float across = 3 * u + 1 * v + 0.3f * tile_noise(u, v, 3, seed + 2, 2);
            c = scale(c, 0.96f + 0.06f * float(det_sin(2 * pi * across)));
        }
        return c;
    }
    case pattern_packed: {
        Rgb c = mix({0.70f, 0.59f, 0.42f}, {0.80f, 0.69f, 0.51f}, tile_noise(u, v, 3, seed, 3));
        c = scale(c, 0.94f + 0.12f * tile_noise(u, v, 40, seed + 1, 2));
        if (variant >= 1)
            c = scale(c, ruts(u, v, variant - 1, seed + 4));
        return c;
    }
    }
    return {1, 0, 1};
}

Picture ground_picture(Pattern pattern, int variant, uint32_t seed)
{
    Picture p(texture_size, texture_size, 3);
    for (int y = 0; y < texture_size; y++)
        for (int x = 0; x < texture_size; x++) {
            float u = (x + 0.5f - texture_border) / texture_period;
            float v = (y + 0.5f - texture_border) / texture_period;
            Rgb c = ground_colour(pattern, variant, u, v, seed);
            uint8_t* px = p.at(x, y);
            px[0] = uint8_t(std::clamp(int(c.r * 255), 0, 255));
            px[1] = uint8_t(std::clamp(int(c.g * 255), 0, 255));
            px[2] = uint8_t(std::clamp(int(c.b * 255), 0, 255));
        }
    return p;
}

// Corner mask bits, first character of the name first: top left (x0, z0),
// top right, bottom left, bottom right; a set bit is a corner of the higher
// ground. Rows of the pictures run along z, columns along x.
Picture transition_picture(const Picture& low, const Picture& high, int mask, uint32_t seed)
{
    float corner[4] = {float((mask >> 3) & 1), float((mask >> 2) & 1), float((mask >> 1) & 1), float(mask & 1)};
    Picture p(texture_size, texture_size, 3);
    for (int y = 0; y < texture_size; y++)
        for (int x = 0; x < texture_size; x++) {
            float u = (x + 0.5f - texture_border) / texture_period;
            float v = (y + 0.5f - texture_border) / texture_period;
            float cu = std::clamp(u, 0.0f, 1.0f), cv = std::clamp(v, 0.0f, 1.0f);
            float b = (corner[0] * (1 - cu) + corner[1] * cu) * (1 - cv) + (corner[2] * (1 - cu) + corner[3] * cu) * cv;
            // A ragged edge, but none along a tile side whose two corners
            // agree, so the neighbouring tile meets it exactly.
            float n = tile_noise(u, v, 6, seed, 3) * 2 - 1;
            float a = step_between(0.4f, 0.6f, b + 1.6f * b * (1 - b) * n);
            for (int k = 0; k < 3; k++)
                p.at(x, y)[k] = uint8_t(std::lround(low.pixels[(size_t(y) * texture_size + x) * 3 + k] * (1 - a) +
                                                    high.pixels[(size_t(y) * texture_size + x) * 3 + k] * a));
        }
    return p;
}

// A ground kind: its look and how it rides.
struct GroundKind {
    const char* name;
    Pattern pattern;
    int variants;         // "-alt1" ... pictures besides the base one
    bool rutted;          // variants 1-4 are ruts along the four directions
    float friction[3][2]; // coefficient, slip speed (ft/s)
    float roll[2][3];     // force at no sinkage, at full sinkage, ground speed (ft/s)
    int roost[3];         // colour of the thrown dirt
    float roost_count, roost_dig, roost_size;
};

// name, pattern, variants, rutted, friction points, rolling resistance
// points, roost colour, count, dig, size
const GroundKind dirt_grounds[] = {
    {"grass", pattern_grass, 1, false, {{0.85f, 1}, {0.70f, 8}, {0.55f, 25}}, {{6, 18, 1}, {8, 24, 40}},
     {86, 96, 48}, 3, 0.3f, 0.2f},
    {"loam", pattern_loam, 1, false, {{1.05f, 1}, {0.90f, 8}, {0.75f, 25}}, {{6, 20, 1}, {8, 26, 40}},
     {82, 62, 42}, 6, 1, 0.25f},
    {"loose", pattern_loose, 1, false, {{0.95f, 1}, {0.85f, 8}, {0.70f, 25}}, {{8, 26, 1}, {10, 32, 40}},
     {150, 115, 80}, 10, 1, 0.3f},
    {"hardpack", pattern_hardpack, 4, true, {{1.20f, 1}, {1.00f, 8}, {0.85f, 25}}, {{4, 10, 1}, {5, 14, 40}},
     {160, 132, 98}, 4, 0.4f, 0.2f},
};

const GroundKind sand_grounds[] = {
    {"dunegrass", pattern_dunegrass, 1, false, {{0.80f, 1}, {0.70f, 8}, {0.60f, 25}}, {{12, 40, 1}, {14, 50, 40}},
     {196, 178, 128}, 6, 0.5f, 0.25f},
    {"sand", pattern_sand, 1, false, {{0.80f, 1}, {0.72f, 8}, {0.62f, 25}}, {{15, 55, 1}, {18, 70, 40}},
     {226, 202, 152}, 14, 1.2f, 0.35f},
    {"packed", pattern_packed, 4, true, {{0.95f, 1}, {0.85f, 8}, {0.72f, 25}}, {{8, 26, 1}, {10, 34, 40}},
     {212, 186, 136}, 8, 0.8f, 0.3f},
};

std::string material_text(const GroundKind& g, const std::string& texture, const std::string& roost)
{
    char line[512];
    std::string text = "texture " + texture + "\n";
    for (const auto& f : g.friction) {
        snprintf(line, sizeof line, "friction %.2f %.1f\n", f[0], f[1]);
        text += line;
    }
    for (const auto& r : g.roll) {
        snprintf(line, sizeof line, "roll_resist %.1f %.1f %.1f\n", r[0], r[1], r[2]);
        text += line;
    }
    snprintf(line, sizeof line,
             "roost texture=%s count=%.1f dig=%.2f slip_threshold=4 size=%.2f grow=2 drag=1.5 vscale=0.6 "
             "randomize=10 r=%d g=%d b=%d a=255 fade_a=-300\n",
             roost.c_str(), g.roost_count, g.roost_dig, g.roost_size, g.roost[0], g.roost[1], g.roost[2]);
    text += line;
    return text + "addtile\n";
}

} // namespace

Picture roost_picture()
{
    const int size = 32;
    Picture p(size, size, 4);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            float dx = (x + 0.5f) / size * 2 - 1, dy = (y + 0.5f) / size * 2 - 1;
            float r = std::sqrt(dx * dx + dy * dy) + 0.25f * (float(fractal_noise(x / 4.0, y / 4.0, 77, 2)) - 0.5f);
            float a = step_between(1.0f, 0.55f, r);
            float shade = 0.75f + 0.25f * float(fractal_noise(x / 3.0, y / 3.0, 78, 2));
            uint8_t* px = p.at(x, y);
            px[0] = px[1] = px[2] = uint8_t(std::lround(255 * shade));
            px[3] = uint8_t(std::lround(255 * a));
        }
    return p;
}

GroundMaterials build_ground_materials(const TrackGround& g)
{
    const Course& course = *g.course;
    bool sand = course.surface == surface_sand;
    std::span<const GroundKind> kinds =
        sand ? std::span<const GroundKind>(sand_grounds) : std::span<const GroundKind>(dirt_grounds);
    // Surface layers of the ground map onto the kinds from the lowest used.
    const int first_layer = sand ? layer_verge : layer_open;
    const int count = int(kinds.size());
    std::string at = std::string("@") + course.folder + "/";
    std::string roost = at + "roost.png";

    GroundMaterials out;
    std::vector<int> base_index(static_cast<size_t>(count)), variant_count(static_cast<size_t>(count));
    for (int k = 0; k < count; k++) {
        const GroundKind& kind = kinds[size_t(k)];
        uint32_t seed = course.seed + 100 * uint32_t(k);
        base_index[size_t(k)] = int(out.textures.size());
        variant_count[size_t(k)] = kind.variants;
        for (int v = 0; v <= kind.variants; v++) {
            std::string name = kind.name;
            if (v > 0)
                name += "-alt" + std::to_string(v);
            name += ".png";
            out.textures.push_back({name, ground_picture(kind.pattern, v, seed)});
            out.tileinfo += material_text(kind, at + name, roost);
        }
    }
    auto base_picture = [&](int k) -> const Picture& { return out.textures[size_t(base_index[size_t(k)])].picture; };
    // Transitions between each ground and the next one up, masks 1 to 14.
    std::vector<int> transition_index(static_cast<size_t>(count));
    for (int k = 0; k + 1 < count; k++) {
        transition_index[size_t(k)] = int(out.textures.size());
        for (int mask = 1; mask <= 14; mask++) {
            char bits[5];
            for (int b = 0; b < 4; b++)
                bits[b] = char('0' + ((mask >> (3 - b)) & 1));
            bits[4] = 0;
            std::string name =
                std::string(kinds[size_t(k)].name) + "-" + kinds[size_t(k + 1)].name + "-" + bits + ".png";
            int corners = std::popcount(unsigned(mask));
            // The tile rides like the ground that covers most of it.
            const GroundKind& rides = corners >= 2 ? kinds[size_t(k + 1)] : kinds[size_t(k)];
            Picture picture =
                transition_picture(base_picture(k), base_picture(k + 1), mask, course.seed + 500 + uint32_t(k));
            out.textures.push_back({name, std::move(picture)});
            out.tileinfo += material_text(rides, at + name, roost);
        }
    }

    // The tile map: each tile takes the layers at its four corner samples.
    const int t = g.tiles;
    out.tile_map.resize(size_t(t) * t);
    for (int b = 0; b < t; b++)
        for (int a = 0; a < t; a++) {
            int corner[4] = {
                g.layer[size_t(2 * b) * g.samples + 2 * a],
                g.layer[size_t(2 * b) * g.samples + 2 * a + 2],
                g.layer[size_t(2 * b + 2) * g.samples + 2 * a],
                g.layer[size_t(2 * b + 2) * g.samples + 2 * a + 2],
            };
            for (int& c : corner)
                c = std::clamp(c - first_layer, 0, count - 1);
            int low = *std::min_element(corner, corner + 4), high = *std::max_element(corner, corner + 4);
            float x = (2 * a + 1) * g.spacing, z = (2 * b + 1) * g.spacing;
            int material;
            if (low == high) {
                const GroundKind& kind = kinds[size_t(low)];
                material = base_index[size_t(low)];
                uint8_t direction = g.tile_direction[size_t(b) * t + a];
                if (kind.rutted) {
                    if (direction != 255 && fractal_noise(x / 30, z / 30, course.seed + 40, 3) > 0.5)
                        material += 1 + direction;
                } else if (variant_count[size_t(low)] > 0 &&
                           fractal_noise(x / 14, z / 14, course.seed + 41 + uint32_t(low), 3) > 0.6) {
                    material += 1;
                }
            } else {
                // Only neighbouring grounds have transitions: of a wider
                // spread keep the pair that covers most corners.
                if (high - low > 1) {
                    int best = low, best_cover = -1;
                    for (int m = low; m < high; m++) {
                        int cover = 0;
                        for (int c : corner)
                            cover += (c == m || c == m + 1);
                        if (cover > best_cover)
                            best = m, best_cover = cover;
                    }
                    low = best;
                    high = best + 1;
                    for (int& c : corner)
                        c = std::clamp(c, low, high);
                }
                int mask = 0;
                for (int c = 0; c < 4; c++)
                    mask = mask * 2 + (corner[c] == high);
                if (mask == 0 || mask == 15)
                    material = base_index[size_t(mask == 15 ? high : low)];
                else
                    material = transition_index[size_t(low)] + mask - 1;
            }
            out.tile_map[size_t(b) * t + a] = uint8_t(material);
        }
    return out;
}
