#include "track_lighting.h"

#include "noise.h"
#include "track_math.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int sky_size = 256;
constexpr int flare_size = 64;
// Softness of shadow edges: the tangent of the angle over which the sun is
// covered (a sun disc blurred a little by haze).
constexpr float penumbra = 0.04f;
constexpr int block = 16; // samples per side of the blocks whose highest point lets a ray skip ahead

struct Vec3 {
    float x, y, z;
};

Vec3 normalised(Vec3 v)
{
    float l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return {v.x / l, v.y / l, v.z / l};
}

Vec3 sun_of(const Course& course)
{
    return normalised({course.sun[0], course.sun[1], course.sun[2]});
}

float lerp(float a, float b, float t)
{
    return a + (b - a) * t;
}

float clamp01(float v)
{
    return std::clamp(v, 0.0f, 1.0f);
}

uint8_t to_byte(float v)
{
    return uint8_t(std::clamp(int(v * 255), 0, 255));
}

} // namespace

std::vector<uint8_t> compute_light(const TrackGround& g, const std::vector<ShadowCaster>& casters)
{
    const int n = g.samples;
    const Vec3 sun = sun_of(*g.course);
    float across = std::sqrt(sun.x * sun.x + sun.z * sun.z);
    float rise = sun.y / across; // feet up per foot towards the sun
    float dx = sun.x / across, dz = sun.z / across;
    const int blocks = (n + block - 1) / block;
    std::vector<float> highest(size_t(blocks) * blocks, -1e9f);
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            float& top = highest[size_t(j / block) * blocks + i / block];
            top = std::max(top, g.height(i, j));
        }
    std::vector<uint8_t> light(size_t(n) * n);
    const float step = g.spacing;
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            float x = i * g.spacing, z = j * g.spacing;
            float h0 = g.height(i, j) + 0.05f;
            float visible = 1;
            for (float t = step; visible > 0;) {
                float px = x + dx * t, pz = z + dz * t;
                float ray = h0 + rise * t;
                if (ray > g.max_height || px < 0 || pz < 0 || px > g.world || pz > g.world)
                    break;
                int bi = int(px / g.spacing) / block, bj = int(pz / g.spacing) / block;
                // Neighbouring blocks too: the bilinear height reaches one
                // sample beyond the block.
                float top = highest[size_t(bj) * blocks + bi];
                if (bi + 1 < blocks)
                    top = std::max(top, highest[size_t(bj) * blocks + bi + 1]);
                if (bj + 1 < blocks)
                    top = std::max(top, highest[size_t(bj + 1) * blocks + bi]);
                if (ray > top + penumbra * t) {
                    t += step * block / 2;
                    continue;
                }
                float over = ray - g.height_at(px, pz);
                visible = std::min(visible, clamp01(0.5f + over / (penumbra * t)));
                t += step;
            }
            light[size_t(j) * n + i] = uint8_t(std::lround(visible * 255));
        }
    // Tree crowns: a soft disc stretched away from the sun.
    for (const ShadowCaster& c : casters) {
        float reach = c.height / rise;
        float cx = c.x - dx * reach, cz = c.z - dz * reach;
        float stretch = 1 / sun.y;
        float extent = c.radius * stretch + 1;
        int i0 = std::max(0, int((cx - extent) / g.spacing)), i1 = std::min(n - 1, int((cx + extent) / g.spacing));
        int j0 = std::max(0, int((cz - extent) / g.spacing)), j1 = std::min(n - 1, int((cz + extent) / g.spacing));
        for (int j = j0; j <= j1; j++)
            for (int i = i0; i <= i1; i++) {
                float ox = i * g.spacing - cx, oz = j * g.spacing - cz;
                float along = (ox * dx + oz * dz) / stretch, side = -ox * dz + oz * dx;
                float r = std::sqrt(along * along + side * side) / c.radius;
                if (r >= 1)
                    continue;
                float shade = 0.6f * (1 - r * r);
                uint8_t& l = light[size_t(j) * n + i];
                l = uint8_t(std::min<float>(l, std::lround(255 * (1 - shade))));
            }
    }
    return light;
}

std::vector<uint8_t> compute_shading(const TrackGround& g, const std::vector<uint8_t>& light)
{
    const int n = g.samples;
    const Course& course = *g.course;
    const Vec3 sun = sun_of(course);
    const float s = g.spacing;
    // The ground's average height around each sample, for the darkening of
    // hollows.
    const int r = std::max(2, int(std::lround(5 / s)));
    std::vector<float> rows(size_t(n) * n), around(size_t(n) * n);
    for (int j = 0; j < n; j++) {
        double sum = 0;
        for (int i = -r; i <= r; i++)
            sum += g.height(std::clamp(i, 0, n - 1), j);
        for (int i = 0; i < n; i++) {
            rows[size_t(j) * n + i] = float(sum / (2 * r + 1));
            sum += g.height(std::min(i + r + 1, n - 1), j) - g.height(std::max(i - r, 0), j);
        }
    }
    for (int i = 0; i < n; i++) {
        double sum = 0;
        for (int j = -r; j <= r; j++)
            sum += rows[size_t(std::clamp(j, 0, n - 1)) * n + i];
        for (int j = 0; j < n; j++) {
            around[size_t(j) * n + i] = float(sum / (2 * r + 1));
            sum += rows[size_t(std::min(j + r + 1, n - 1)) * n + i] - rows[size_t(std::max(j - r, 0)) * n + i];
        }
    }
    static const int ring[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}};
    std::vector<uint8_t> shading(size_t(n) * n * 3);
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            // The normal the game uses when it relights dug ground: the sum
            // of the eight triangles round the sample.
            float c = g.height(i, j);
            Vec3 sum = {0, 0, 0};
            for (int k = 0; k < 8; k++) {
                const int* a = ring[k];
                const int* b = ring[(k + 1) % 8];
                Vec3 p = {a[0] * s, g.height(std::clamp(i + a[0], 0, n - 1), std::clamp(j + a[1], 0, n - 1)) - c,
                          a[1] * s};
                Vec3 q = {b[0] * s, g.height(std::clamp(i + b[0], 0, n - 1), std::clamp(j + b[1], 0, n - 1)) - c,
                          b[1] * s};
                Vec3 cross = normalised({q.y * p.z - q.z * p.y, q.z * p.x - q.x * p.z, q.x * p.y - q.y * p.x});
                sum = {sum.x + cross.x, sum.y + cross.y, sum.z + cross.z};
            }
            Vec3 normal = normalised(sum);
            float lit =
                clamp01(normal.x * sun.x + normal.y * sun.y + normal.z * sun.z) * (light[size_t(j) * n + i] / 255.0f);
            // Painted-in detail the game keeps when it relights: hollows a
            // little darker, and broad patches of warmer and cooler ground.
            float hollow = std::clamp(1 - 0.07f * (around[size_t(j) * n + i] - c), 0.75f, 1.05f);
            float x = i * s, z = j * s;
            float warm = float(fractal_noise(x / 90, z / 90, course.seed + 21, 3)) - 0.5f;
            float tint[3] = {1 + 0.10f * warm, 1 + 0.03f * warm, 1 - 0.08f * warm};
            for (int k = 0; k < 3; k++) {
                float channel = (course.sun_colour[k] * lit + course.ambient[k]) / 2 * hollow * tint[k];
                shading[(size_t(j) * n + i) * 3 + k] = to_byte(channel);
            }
        }
    return shading;
}

namespace {

// The colour of the sky (and of the far country below the horizon) seen
// along a unit direction.
Vec3 sky_colour(const Course& course, Vec3 d)
{
    const Vec3 sun = sun_of(course);
    bool sand = course.surface == surface_sand;
    Vec3 zenith = sand ? Vec3{0.42f, 0.58f, 0.82f} : Vec3{0.26f, 0.45f, 0.82f};
    Vec3 horizon = {course.fog[0], course.fog[1], course.fog[2]};
    Vec3 country = sand ? Vec3{0.74f, 0.62f, 0.46f} : Vec3{0.38f, 0.48f, 0.38f};
    // The skyline of far hills or dunes, a little above the horizon: noise
    // round the circle of horizontal directions.
    float flat = std::sqrt(d.x * d.x + d.z * d.z) + 1e-6f;
    float skyline =
        0.03f + 0.05f * float(fractal_noise(d.x / flat * 2.5 + 10, d.z / flat * 2.5 + 10, course.seed + 31, 4));
    float up = d.y;
    Vec3 c;
    if (up < skyline) {
        float depth = clamp01((skyline - up) * 4);
        // Far country fades into the haze towards the horizon.
        c = {lerp(horizon.x, country.x, 0.35f + 0.5f * depth), lerp(horizon.y, country.y, 0.35f + 0.5f * depth),
             lerp(horizon.z, country.z, 0.35f + 0.5f * depth)};
    } else {
        float t = std::sqrt(clamp01(up));
        c = {lerp(horizon.x, zenith.x, t), lerp(horizon.y, zenith.y, t), lerp(horizon.z, zenith.z, t)};
        // Clouds on a flat layer, thinning towards the horizon.
        float px = d.x / std::max(up, 0.05f), pz = d.z / std::max(up, 0.05f);
        float cloud = float(fractal_noise(px * 1.5f + 40, pz * 1.5f + 40, course.seed + 32, 5));
        float cover = clamp01((cloud - (sand ? 0.62f : 0.5f)) * 3.5f) * clamp01(up * 6);
        float bright = 0.92f + 0.08f * clamp01(up * 2);
        c = {lerp(c.x, bright, cover), lerp(c.y, bright, cover), lerp(c.z, bright * 1.02f, cover)};
    }
    float towards = std::max(0.0f, d.x * sun.x + d.y * sun.y + d.z * sun.z);
    float t2 = towards * towards, t4 = t2 * t2, t8 = t4 * t4, t16 = t8 * t8, t32 = t16 * t16;
    float t64 = t32 * t32, t128 = t64 * t64, t256 = t128 * t128;
    float glow = 0.25f * t8 * t4 + 1.2f * t256 * t128 * t16;
    return {clamp01(c.x + glow), clamp01(c.y + glow * 0.95f), clamp01(c.z + glow * 0.8f)};
}

} // namespace

Picture sky_face(const Course& course, int face)
{
    // Each face is seen from inside the box, upright (its top row towards
    // the sky); the up face has north at its top and east on its right.
    Picture p(sky_size, sky_size, 3);
    for (int y = 0; y < sky_size; y++)
        for (int x = 0; x < sky_size; x++) {
            float u = 2 * (x + 0.5f) / sky_size - 1, v = 1 - 2 * (y + 0.5f) / sky_size;
            Vec3 d;
            switch (face) {
            case 0:
                d = {u, v, -1};
                break; // north, east on the right
            case 1:
                d = {1, v, u};
                break; // east, south on the right
            case 2:
                d = {-u, v, 1};
                break; // south, west on the right
            case 3:
                d = {-1, v, -u};
                break; // west, north on the right
            default:
                d = {u, 1, -v};
                break; // up
            }
            Vec3 c = sky_colour(course, normalised(d));
            uint8_t* px = p.at(x, y);
            px[0] = to_byte(c.x);
            px[1] = to_byte(c.y);
            px[2] = to_byte(c.z);
        }
    return p;
}

Picture environment_map(const Course& course)
{
    // A sphere map: the sky reflected in a ball seen from the south, the top
    // row looking up.
    Picture p(sky_size, sky_size, 3);
    for (int y = 0; y < sky_size; y++)
        for (int x = 0; x < sky_size; x++) {
            float nx = 2 * (x + 0.5f) / sky_size - 1, ny = 1 - 2 * (y + 0.5f) / sky_size;
            float r2 = nx * nx + ny * ny;
            Vec3 d;
            if (r2 >= 1)
                d = {nx, ny, 0};
            else {
                float nz = std::sqrt(1 - r2);
                d = {2 * nz * nx, 2 * nz * ny, 2 * nz * nz - 1};
            }
            Vec3 c = sky_colour(course, normalised({d.x, d.y, d.z}));
            uint8_t* px = p.at(x, y);
            px[0] = to_byte(c.x);
            px[1] = to_byte(c.y);
            px[2] = to_byte(c.z);
        }
    return p;
}

Picture flare_glow()
{
    Picture p(flare_size, flare_size, 4);
    for (int y = 0; y < flare_size; y++)
        for (int x = 0; x < flare_size; x++) {
            float dx = (x + 0.5f) / flare_size * 2 - 1, dy = (y + 0.5f) / flare_size * 2 - 1;
            float r = std::sqrt(dx * dx + dy * dy);
            float a = clamp01(1 - r);
            uint8_t* px = p.at(x, y);
            px[0] = px[1] = px[2] = 255;
            px[3] = to_byte(a * a);
        }
    return p;
}

Picture flare_ring()
{
    Picture p(flare_size, flare_size, 4);
    for (int y = 0; y < flare_size; y++)
        for (int x = 0; x < flare_size; x++) {
            float dx = (x + 0.5f) / flare_size * 2 - 1, dy = (y + 0.5f) / flare_size * 2 - 1;
            float r = std::sqrt(dx * dx + dy * dy);
            float band = clamp01(1 - std::fabs(r - 0.8f) / 0.12f);
            float fill = 0.15f * clamp01(1 - r);
            uint8_t* px = p.at(x, y);
            px[0] = px[1] = px[2] = 255;
            px[3] = to_byte(std::max(band * 0.8f, fill));
        }
    return p;
}

std::string lighting_file(const Course& course)
{
    const Vec3 sun = sun_of(course);
    std::string at = std::string("@") + course.folder + "/";
    char line[256];
    std::string text;
    snprintf(line, sizeof line, "sun_vector [ %.4f %.4f %.4f ]\n", sun.x, sun.y, sun.z);
    text += line;
    snprintf(line, sizeof line, "sun_color [ %.3f %.3f %.3f ]\n", course.sun_colour[0], course.sun_colour[1],
             course.sun_colour[2]);
    text += line;
    snprintf(line, sizeof line, "ambient [ %.3f %.3f %.3f ]\n", course.ambient[0], course.ambient[1],
             course.ambient[2]);
    text += line;
    snprintf(line, sizeof line, "global_ambient [ %.3f %.3f %.3f ]\n", course.ambient[0] * 0.4f,
             course.ambient[1] * 0.4f, course.ambient[2] * 0.4f);
    text += line;
    static const char* const faces[] = {"n", "e", "s", "w", "u"};
    for (const char* face : faces)
        text += std::string("sky_") + face + " " + at + "sky-" + face + ".ppm\n";
    text += "sky_env " + at + "sky-env.ppm\n";
    snprintf(line, sizeof line, "fog [ %.3f %.3f %.3f ] %.5f\n", course.fog[0], course.fog[1], course.fog[2],
             course.fog[3]);
    text += line;
    // A flare towards the sun: a glow on the sun (b = 1 puts an element on
    // the source) and rings strung along the line through the middle of the
    // screen.
    struct Element {
        float a, b, r, g, bl, size;
        const char* picture;
    } const elements[] = {
        {0, 1, 1.0f, 0.95f, 0.85f, 0.22f, "flare-glow.png"},   {0, 0.5f, 0.6f, 0.7f, 1.0f, 0.08f, "flare-ring.png"},
        {0, -0.3f, 1.0f, 0.8f, 0.5f, 0.05f, "flare-glow.png"}, {0, -0.7f, 0.5f, 1.0f, 0.6f, 0.12f, "flare-ring.png"},
        {0, -1.2f, 0.9f, 0.6f, 1.0f, 0.06f, "flare-glow.png"},
    };
    for (const Element& e : elements) {
        snprintf(line, sizeof line, "flare_element [ %.2f %.2f ] [ %.2f %.2f %.2f ] %.3f %s%s\n", e.a, e.b, e.r, e.g,
                 e.bl, e.size, at.c_str(), e.picture);
        text += line;
    }
    snprintf(line, sizeof line, "flare_vector [ %.4f %.4f %.4f ]\n", sun.x, sun.y, sun.z);
    text += line;
    return text;
}
