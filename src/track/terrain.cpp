#include "track/terrain.h"
#include "track/terrain_lod.h"

#include "assets/image.h"
#include "assets/texture.h"
#include "base/alloc.h"
#include "base/launch.h"
#include "base/message_log.h"
#include "base/sha1.h"
#include "data/home.h"
#include "data/stream.h"
#include "koru/log.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

Terrain* current_terrain = nullptr;

namespace {

// Sample indices are 32-bit: N * N must stay below 2^31, which holds up to
// M = 14 (N = 32769). Larger exponents come only from broken files.
constexpr int32_t max_size_log2 = 14;

// The triangle under a point, as its corner c (the first-named corner of the
// triangle) and the corners p and q beside it along x and along z. Every case
// of the triangle rule has this shape, so one formula serves all four:
// h = H(c) + a (H(p) - H(c)) + b (H(q) - H(c)).
struct CellTriangle {
    int32_t c, p, q; // element indices into heights
    float a, b;      // weights toward p and q
    int32_t far_x;   // 1: c lies on column i + 1 (then p is to its left)
    int32_t far_z;   // 1: c lies on row j + 1 (then q is below it)
};

// The queries run for every wheel and robot probe of every step, at points
// that jump across the field, so the cell and triangle are chosen with
// arithmetic rather than with branches that mispredict half the time.
//
// Outside [0, N - 1] along an axis both samples of a cell clamp to the same
// edge sample, so the surface there is level along that axis and its two
// triangles are one plane: neither the cell's parity nor the fraction along
// that axis changes the height or the normal. Such a position is therefore
// taken on the edge itself (fraction 0) with no step to the next sample,
// which also keeps far, infinite and not-a-number coordinates inside the
// arrays. Inside, including the far edge u = N - 1, the cell and fractions
// are exactly floor(u) and u - floor(u).
struct AxisCell {
    int32_t index; // first sample of the cell
    int32_t step;  // 1 to the second sample, 0 where both clamp to one
    float fraction;
};

[[gnu::always_inline]] inline AxisCell axis_cell(float u, float last)
{
    float clamped = u > 0.0f ? u : 0.0f;
    clamped = clamped < last ? clamped : last;
    AxisCell cell;
    cell.index = int32_t(clamped);
    cell.fraction = clamped - float(cell.index);
    cell.step = int32_t(u >= 0.0f) & int32_t(u < last);
    return cell;
}

// Inlined into each query: as a call it returns its record through memory.
[[gnu::always_inline]] inline CellTriangle cell_triangle(const Terrain* t, float x, float z)
{
    float last = float(t->samples - 1);
    AxisCell cx = axis_cell(x * t->inv_spacing, last);
    AxisCell cz = axis_cell(z * t->inv_spacing, last);
    int32_t i = cx.index, j = cz.index;
    float fx = cx.fraction, fz = cz.fraction;
    int32_t dx = cx.step;                 // element offset to column i + 1
    int32_t dz = t->samples & -cz.step;   // element offset to row j + 1

    // Odd cells are cut from (i+1, j) to (i, j+1): the corner is (i, j) on
    // the near side of that diagonal and (i+1, j+1) beyond it. Even cells
    // are cut from (i, j) to (i+1, j+1): the corner is (i+1, j) below the
    // diagonal (points on it included) and (i, j+1) above it.
    int32_t odd = (i + j) & 1;
    int32_t beyond = int32_t(fx + fz > 1.0f);
    int32_t below = int32_t(fz <= fx);
    int32_t far_x = below ^ ((below ^ beyond) & -odd); // odd ? beyond : below
    int32_t far_z = far_x ^ odd ^ 1;                    // odd ? beyond : !below

    CellTriangle tri;
    int32_t step_x = dx & -far_x; // the corner's offset from (i, j)
    int32_t step_z = dz & -far_z;
    tri.c = j * t->samples + i + step_x + step_z;
    tri.p = tri.c + dx - 2 * step_x;
    tri.q = tri.c + dz - 2 * step_z;
    const float wx[2] = {fx, 1.0f - fx};
    const float wz[2] = {fz, 1.0f - fz};
    tri.a = wx[far_x];
    tri.b = wz[far_z];
    tri.far_x = far_x;
    tri.far_z = far_z;
    return tri;
}

TerrainGraphicsHooks graphics_hooks;

void clear_terrain(Terrain* t)
{
    memset(t, 0, sizeof *t);
}

bool header_is_sound(int32_t m, float s, float low, float high)
{
    if (m < 0 || m > max_size_log2)
        return false;
    // A zero or negative spacing would divide by zero in every query.
    if (!(s > 0) || !std::isfinite(s) || !std::isfinite(low) || !std::isfinite(high))
        return false;
    return std::isfinite(s * 2.0f * float(1 << m));
}

float height_of(const Terrain* t, uint16_t v)
{
    double low = t->min_height, high = t->max_height;
    return float(low + double(v) * (high - low) / 65535.0);
}

// SHA-1 of the height words as stored (low byte first), a fingerprint for the
// log; it is only worked out when the log level will show it.
struct HeightDigest {
    bool wanted;
    Sha1 sha;
    explicit HeightDigest(bool on) : wanted(on)
    {
        if (wanted)
            sha1_start(&sha);
    }
    void add(const unsigned char* words, size_t count)
    {
        if (wanted)
            sha1_add(&sha, words, count * 2);
    }
    void log()
    {
        if (!wanted)
            return;
        uint8_t digest[20];
        char hex[41];
        sha1_finish(&sha, digest);
        sha1_hex(digest, hex);
        koru_log("%s\n", hex);
    }
};

bool read_inline_heights(Terrain* t, DataStream* stream, HeightDigest& digest)
{
    int32_t n = t->samples;
    std::vector<unsigned char> row(size_t(n) * 2);
    for (int32_t j = 0; j < n; j++) {
        if (data_read(stream, row.data(), n * 2) != n * 2)
            return false;
        digest.add(row.data(), size_t(n));
        float* out = t->heights + size_t(j) * size_t(n);
        for (int32_t i = 0; i < n; i++)
            out[i] = height_of(t, uint16_t(row[2 * i] | row[2 * i + 1] << 8));
    }
    return true;
}

void read_image_heights(Terrain* t, const char* folder, HeightDigest& digest)
{
    int32_t n = t->samples;
    std::string name = std::string(folder) + "/terrain.png";
    uint16_t* image = nullptr;
    int32_t width = 0, height = 0;
    if (!read_png_grey16(name.c_str(), &image, &width, &height) || width <= 0 || height <= 0) {
        free(image);
        image = nullptr;
    }
    std::vector<unsigned char> row(size_t(n) * 2);
    for (int32_t j = 0; j < n; j++) {
        const uint16_t* source = image ? image + size_t(j < height ? j : height - 1) * size_t(width) : nullptr;
        float* out = t->heights + size_t(j) * size_t(n);
        for (int32_t i = 0; i < n; i++) {
            // An unreadable image leaves the field flat at the lower bound.
            uint16_t v = source ? source[i < width ? i : width - 1] : 0;
            row[2 * i] = uint8_t(v);
            row[2 * i + 1] = uint8_t(v >> 8);
            out[i] = height_of(t, v);
        }
        digest.add(row.data(), size_t(n));
    }
    free(image);
}

bool load_shading(Terrain* t, const char* folder)
{
    bool halve = false;
    DataStream* stream = open_track_file(folder, "shadingx2.ppm", "rb", false);
    if (!stream) {
        stream = open_track_file(folder, "shading.ppm", "rb", true);
        if (!stream)
            return false;
        halve = true;
    }
    ImageChain image{};
    bool ok = read_rgb_image(stream, &image);
    data_close(stream);
    if (!ok || image.channels != 3) {
        if (ok)
            free(image.pixels);
        post_message("Error reading shading");
        return false;
    }
    if (image.width != t->samples || image.height != t->samples) {
        post_messagef("Bad shading dimensions (%dx%d)", image.width, image.height);
        free(image.pixels);
        return false;
    }
    // Level 0 is the shading; the reduced copies behind it are not needed.
    size_t bytes = size_t(t->samples) * size_t(t->samples) * 3;
    t->shading = static_cast<unsigned char*>(realloc_or_die(image.pixels, bytes));
    if (halve)
        for (size_t k = 0; k < bytes; k++)
            t->shading[k] >>= 1;
    return true;
}

bool load_tile_map(Terrain* t, const char* folder)
{
    DataStream* stream = open_track_file(folder, "tilemap", "rb", true);
    if (!stream)
        return false;
    int32_t count = t->tiles * t->tiles;
    // A short file is not an error; the tiles it does not reach are
    // material 0.
    t->tile_map = static_cast<unsigned char*>(alloc_or_die(size_t(count)));
    memset(t->tile_map, 0, size_t(count));
    data_read(stream, t->tile_map, count);
    data_close(stream);
    unsigned char last = static_cast<unsigned char>(t->material_count - 1);
    for (int32_t k = 0; k < count; k++)
        if (t->tile_map[k] > last)
            t->tile_map[k] = last;
    return true;
}

bool load_materials(Terrain* t, const char* folder)
{
    DataStream* stream = open_track_file(folder, "tileinfo", "rb", false);
    if (stream) {
        parse_tileinfo(t, stream);
    } else {
        stream = open_track_file(folder, "texturelist", "rb", true);
        if (!stream)
            return false;
        parse_texturelist(t, stream);
    }
    data_close(stream);
    // Every tile must name a material; a file that defines none leaves the
    // ground without grip or texture, so the track cannot be used.
    if (t->material_count == 0) {
        post_message("No ground materials");
        return false;
    }
    return true;
}

bool load_shadows(Terrain* t, const char* folder)
{
    size_t count = size_t(t->samples) * size_t(t->samples);
    DataStream* stream = open_track_file(folder, "shadows.pgm", "rb", false);
    if (!stream) {
        t->shadow = static_cast<unsigned char*>(alloc_or_die(count));
        memset(t->shadow, 0, count);
        return true;
    }
    unsigned char* grey = nullptr;
    int32_t width = 0, height = 0;
    bool ok = read_pgm(stream, &grey, &width, &height);
    data_close(stream);
    if (!ok) {
        post_message("Error reading shadows");
        return false;
    }
    if (width != t->samples || height != t->samples) {
        koru_log("Bad shadow dimensions (%dx%d)\n", width, height);
        free(grey);
        return false;
    }
    // The file stores light, memory stores shadow.
    for (size_t k = 0; k < count; k++)
        grey[k] = uint8_t(255 - grey[k]);
    t->shadow = grey;
    return true;
}

bool write_all(DataStream* stream, const void* bytes, size_t count)
{
    return data_write(stream, bytes, int(count)) == int(count);
}

// Creates one file of the save, reporting the name when it cannot be made.
DataStream* create_track_file(const Terrain* t, const char* name)
{
    DataStream* stream = open_track_file(t->folder, name, "wb", false);
    if (!stream)
        post_messagef("Can't open '%s'", name);
    return stream;
}

// Ends one file of the save: a failed write or flush is reported, so that a
// full disk does not pass for a saved track.
bool finish_track_file(DataStream* stream, const char* name, bool written)
{
    written = written && data_flush(stream) == 0;
    data_close(stream);
    if (!written)
        post_messagef("Error writing '%s'", name);
    return written;
}

bool save_shading(const Terrain* t, const char* name, bool full_intensity)
{
    DataStream* stream = create_track_file(t, name);
    if (!stream)
        return false;
    int32_t n = t->samples;
    bool ok = data_printf(stream, "P6\n%d %d\n255\n", n, n) > 0;
    std::vector<unsigned char> row(size_t(n) * 3);
    for (int32_t j = 0; j < n && ok; j++) {
        const unsigned char* source = t->shading + size_t(j) * row.size();
        for (size_t k = 0; k < row.size(); k++) {
            unsigned char b = source[k];
            row[k] = full_intensity ? (b >= 128 ? 255 : uint8_t(2 * b)) : b;
        }
        ok = write_all(stream, row.data(), row.size());
    }
    return finish_track_file(stream, name, ok);
}

} // namespace

DataStream* open_track_file(const char* folder, const char* name, const char* mode, bool mandatory)
{
    std::string path = std::string(folder ? folder : "") + "/" + name;
    DataStream* stream = data_open(path.c_str(), mode);
    if (!stream && mandatory)
        post_messagef("Can't open '%.950s'", path.c_str());
    return stream;
}

int load_terrain(Terrain* t, const char* folder)
{
    clear_terrain(t);
    if (!folder)
        folder = "";
    DataStream* hf = open_track_file(folder, "terrain.hf", "rb", true);
    if (!hf)
        return 0;
    int32_t m = 0;
    float s = 0, low = 0, high = 0;
    if (data_scan(hf, "%d %f %f %f ", &m, &s, &low, &high) < 4 || !header_is_sound(m, s, low, high)) {
        post_message("Bad height field parameters");
        post_message("Error reading heights");
        data_close(hf);
        return 0;
    }
    int marker = data_getc(hf);

    t->folder = intern_string(folder);
    t->size_log2 = m;
    t->spacing = s;
    t->inv_spacing = 1.0f / s;
    t->tile_size = 2 * s;
    t->world_size = s * 2.0f * float(1 << m);
    t->tiles = 1 << m;
    t->samples = (1 << (m + 1)) + 1;
    t->max_height = high;
    t->min_height = low;
    size_t count = size_t(t->samples) * size_t(t->samples);
    t->heights = static_cast<float*>(alloc_or_die(count * sizeof(float)));

    HeightDigest digest(launch.debug_level >= 2);
    if (marker == ':') {
        if (!read_inline_heights(t, hf, digest)) {
            data_close(hf);
            post_message("Error reading heights");
            free_terrain(t);
            return 0;
        }
    } else {
        read_image_heights(t, folder, digest);
    }
    digest.log();
    t->lod_tolerance = launch.terrain_detail;
    lod_allocate(t);
    data_close(hf);

    if (!load_shading(t, folder)) {
        free_terrain(t);
        return 0;
    }
    if (launch.debug_level >= 1)
        koru_log("%lu bytes texture memory used before ground tiles loaded\n", (unsigned long)texture_memory_used);
    if (!load_materials(t, folder)) {
        free_terrain(t);
        return 0;
    }
    if (launch.debug_level >= 1)
        koru_log("%lu bytes texture memory used after ground tiles loaded\n", (unsigned long)texture_memory_used);
    if (!load_tile_map(t, folder) || !load_shadows(t, folder)) {
        free_terrain(t);
        return 0;
    }
    if (graphics_hooks.build)
        graphics_hooks.build(t);
    current_terrain = t;
    return 1;
}

void set_terrain_graphics_hooks(const TerrainGraphicsHooks& hooks)
{
    graphics_hooks = hooks;
}

void free_terrain(Terrain* t)
{
    if (t->graphics && graphics_hooks.release)
        graphics_hooks.release(t);
    free(t->heights);
    free(t->shading);
    free(t->shadow);
    free(t->tile_map);
    lod_free(t);
    if (current_terrain == t)
        current_terrain = nullptr;
    clear_terrain(t);
}

int save_terrain(Terrain* t)
{
    if (!t->heights)
        return 0;
    int32_t n = t->samples;
    size_t count = size_t(n) * size_t(n);
    float low = t->heights[0], high = t->heights[0];
    for (size_t k = 1; k < count; k++) {
        low = t->heights[k] < low ? t->heights[k] : low;
        high = t->heights[k] > high ? t->heights[k] : high;
    }
    t->min_height = low;
    t->max_height = high;

    DataStream* hf = create_track_file(t, "terrain.hf");
    if (!hf)
        return 0;
    bool ok = data_printf(hf, "%d %f %f %f\n", t->size_log2, double(t->spacing), double(low), double(high)) > 0;
    if (!finish_track_file(hf, "terrain.hf", ok))
        return 0;

    // A level field has no range to spread over the 16 bits; it is all 0.
    double range = double(high) - double(low);
    std::vector<uint16_t> words(count);
    for (size_t k = 0; k < count; k++) {
        double v = range > 0 ? (double(t->heights[k]) - low) / range * 65535.0 + 0.5 : 0.0;
        words[k] = uint16_t(v >= 0 ? (v <= 65535 ? v : 65535) : 0); // not-a-number gives 0
    }
    std::string png = std::string(t->folder) + "/terrain.png";
    if (!write_png_grey16(png.c_str(), words.data(), n, n)) {
        post_message("Can't open 'terrain.png'");
        return 0;
    }

    if (!save_shading(t, "shading.ppm", true) || !save_shading(t, "shadingx2.ppm", false))
        return 0;

    DataStream* tiles = create_track_file(t, "tilemap");
    if (!tiles)
        return 0;
    ok = write_all(tiles, t->tile_map, size_t(t->tiles) * size_t(t->tiles));
    if (!finish_track_file(tiles, "tilemap", ok))
        return 0;
    return 1;
}

float terrain_height(const Terrain* t, float x, float z)
{
    CellTriangle tri = cell_triangle(t, x, z);
    const float* h = t->heights;
    float hc = h[tri.c];
    return hc + tri.a * (h[tri.p] - hc) + tri.b * (h[tri.q] - hc);
}

void terrain_normal(const Terrain* t, float x, float z, float out[3])
{
    CellTriangle tri = cell_triangle(t, x, z);
    const float* h = t->heights;
    float s = t->spacing;
    float hc = h[tri.c];
    // Edges c->p = (ex, dp, 0) and c->q = (0, dq, ez); their cross product is
    // (dp ez, -ex ez, ex dq), turned over when it points down.
    float ex = s * float(1 - 2 * tri.far_x);
    float ez = s * float(1 - 2 * tri.far_z);
    float dp = h[tri.p] - hc;
    float dq = h[tri.q] - hc;
    float flip = float(2 * (tri.far_x ^ tri.far_z) - 1);
    out[0] = flip * (dp * ez);
    out[1] = flip * -(ex * ez);
    out[2] = flip * (ex * dq);
}

int terrain_tile(const Terrain* t, float x, float z)
{
    float last = float(t->tiles - 1);
    float a = x * t->inv_spacing * 0.5f;
    float b = z * t->inv_spacing * 0.5f;
    a = a > 0 ? a : 0;
    a = a < last ? a : last;
    b = b > 0 ? b : 0;
    b = b < last ? b : last;
    return t->tile_map[int32_t(b) * t->tiles + int32_t(a)];
}
