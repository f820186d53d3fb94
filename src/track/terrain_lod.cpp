#include "track/terrain_lod.h"

#include "base/alloc.h"
#include "track/terrain.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// A tolerance of zero or less would make every error infinite and refine
// the whole field; the smallest sensible one stands in for it.
constexpr float min_tolerance = 1e-6f;
constexpr int clipmap_levels = 6;

int32_t node_samples(const Terrain* t, int32_t level)
{
    return 1 << (t->size_log2 - level + 1); // 2^(M-i) tiles of 2 samples
}

float height_at(const Terrain* t, int32_t i, int32_t j)
{
    return t->heights[size_t(j) * size_t(t->samples) + size_t(i)];
}

// The largest deviation of one row of one of the node's two triangles from
// the plane over its corners; returns the samples examined.
int32_t scan_row(const Terrain* t, int32_t level, int32_t x, int32_t z, int32_t triangle, int32_t r, float* partial)
{
    int32_t n = node_samples(t, level);
    int32_t x0 = x * n, z0 = z * n, x1 = x0 + n, z1 = z0 + n;
    float h00 = height_at(t, x0, z0), h10 = height_at(t, x1, z0);
    float h01 = height_at(t, x0, z1), h11 = height_at(t, x1, z1);
    float inv = 1.0f / float(n);
    float fr = float(r) * inv;
    int32_t zr = z0 + r;
    // Even column and row parity: the diagonal runs from (x1, z0) to (x0, z1).
    bool anti = ((x + z) & 1) == 0;
    int32_t from, to;
    float base, along; // approximation at X = from, and its change per sample
    if (anti) {
        if (triangle == 0) { // corners (x0, z0), (x1, z0), (x0, z1)
            from = x0;
            to = x0 + n - r;
            base = h00 + fr * (h01 - h00);
            along = (h10 - h00) * inv;
        } else { // corners (x1, z1), (x1, z0), (x0, z1)
            from = x0 + n - r;
            to = x1;
            float fz = float(z1 - zr) * inv;
            float fx = float(x1 - from) * inv;
            base = h11 + fx * (h01 - h11) + fz * (h10 - h11);
            along = -(h01 - h11) * inv;
        }
    } else {
        if (triangle == 0) { // corners (x0, z0), (x1, z0), (x1, z1)
            from = x0 + r;
            to = x1;
            base = h00 + float(r) * inv * (h10 - h00) + fr * (h11 - h10);
            along = (h10 - h00) * inv;
        } else { // corners (x0, z0), (x0, z1), (x1, z1)
            from = x0;
            to = x0 + r;
            base = h00 + fr * (h01 - h00);
            along = (h11 - h01) * inv;
        }
    }
    const float* row = t->heights + size_t(zr) * size_t(t->samples);
    float worst = *partial;
    for (int32_t i = from; i <= to; i++) {
        float d = std::fabs(row[i] - (base + float(i - from) * along));
        worst = d > worst ? d : worst;
    }
    *partial = worst;
    return to - from + 1;
}

float error_next(const Terrain* t, int32_t level, int32_t x, int32_t z)
{
    int32_t side = 1 << level;
    if (x < 0 || z < 0 || x >= side || z >= side)
        return 0;
    return t->lod_error_next[lod_node_index(level, x, z)];
}

// The stored value of a node whose largest deviation is `deviation`: its
// own radius, saturated with the finer level so that a node is always
// refined before any neighbour of its children needs to be.
float node_value(const Terrain* t, int32_t level, int32_t x, int32_t z, float deviation)
{
    float tolerance = t->lod_tolerance > min_tolerance ? t->lod_tolerance : min_tolerance;
    float size = t->world_size * std::ldexp(1.0f, -level);
    float own = deviation / tolerance + 0.70710678f * size;
    own *= own;
    if (level == t->size_log2)
        return own;
    static const int around[8][2] = {{0, -1}, {1, -1}, {2, 0}, {2, 1}, {1, 2}, {0, 2}, {-1, 1}, {-1, 0}};
    int32_t cx = 2 * x, cz = 2 * z;
    float o = 0;
    for (const auto& d : around)
        o = std::fmax(o, error_next(t, level + 1, cx + d[0], cz + d[1]));
    float p = std::sqrt(o) + size * 3.1622777f * 0.50048828125f;
    p *= p;
    for (int k = 0; k < 4; k++)
        p = std::fmax(p, error_next(t, level + 1, cx + (k & 1), cz + (k >> 1)));
    return std::fmax(p, own);
}

void set_flag(Terrain* t, int64_t index)
{
    t->node_flags[index >> 3] |= uint8_t(1u << (index & 7));
}

bool flag(const Terrain* t, int64_t index)
{
    return (t->node_flags[index >> 3] >> (index & 7)) & 1;
}

// A forced node and every ancestor up to one already refined, so that the
// refined nodes always form a tree from the root.
void force_node(Terrain* t, int32_t level, int32_t x, int32_t z)
{
    for (; level >= 0; level--, x >>= 1, z >>= 1) {
        int64_t index = lod_node_index(level, x, z);
        if (flag(t, index))
            return;
        set_flag(t, index);
    }
}

void refine_below(Terrain* t, int32_t level, int32_t x, int32_t z)
{
    if (level >= t->size_log2)
        return;
    int32_t n = node_samples(t, level + 1);
    float s = t->spacing;
    for (int k = 0; k < 4; k++) {
        int32_t cx = 2 * x + (k & 1), cz = 2 * z + (k >> 1);
        int64_t index = lod_node_index(level + 1, cx, cz);
        float dx = (float(cx * n) + 0.5f * float(n)) * s - t->camera_position[0];
        float dz = (float(cz * n) + 0.5f * float(n)) * s - t->camera_position[2];
        if (flag(t, index) || t->lod_error[index] > dx * dx + dz * dz) {
            set_flag(t, index);
            refine_below(t, level + 1, cx, cz);
        }
    }
}

struct Walk {
    const Terrain* terrain;
    bool cull;
    void (*emit)(void*, const LodFan&);
    void* context;
};

// Ring positions in half-node units from the centre; the even ones are the
// edge midpoints, the odd ones the corners.
const int ring_offsets[8][2] = {{0, -1}, {-1, -1}, {-1, 0}, {-1, 1}, {0, 1}, {1, 1}, {1, 0}, {1, -1}};
// The quadrant (child x, child z) whose fan piece runs over ring positions
// 2q, 2q + 1 and 2q + 2.
const int quadrant_child[4][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};

bool behind_camera(const Terrain* t, int32_t level, int32_t x, int32_t z)
{
    int32_t n = node_samples(t, level);
    const float* f = t->camera_forward;
    float s = t->spacing;
    float cx = float((x + (f[0] >= 0 ? 1 : 0)) * n) * s;
    float cz = float((z + (f[2] >= 0 ? 1 : 0)) * n) * s;
    float cy = f[1] >= 0 ? t->max_height : t->min_height;
    const float* c = t->camera_position;
    return (cx - c[0]) * f[0] + (cy - c[1]) * f[1] + (cz - c[2]) * f[2] < 0;
}

// An edge midpoint is a vertex of the mesh when the same-level node across
// that edge is refined, when the edge is on the field's border, or when a
// refined child of this node has a corner there.
bool midpoint_used(const Terrain* t, int32_t level, int32_t x, int32_t z, int position, const bool child[4])
{
    int q_after = position / 2, q_before = (position / 2 + 3) % 4;
    if (child[q_after] || child[q_before])
        return true;
    int32_t nx = x + ring_offsets[position][0], nz = z + ring_offsets[position][1];
    int32_t side = 1 << level;
    if (nx < 0 || nz < 0 || nx >= side || nz >= side)
        return true;
    return flag(t, lod_node_index(level, nx, nz));
}

// The fan over ring positions first .. first + 2 count (wrapping), for the
// unrefined quadrants of a node.
void emit_fan(const Walk& w, int32_t level, int32_t x, int32_t z, int first, int count, const bool child[4])
{
    const Terrain* t = w.terrain;
    int32_t half = node_samples(t, level) / 2;
    LodFan fan;
    fan.level = level;
    fan.x = x;
    fan.z = z;
    int32_t tiles = 1 << (t->size_log2 - level);
    fan.texture_tile[0] = x * tiles;
    fan.texture_tile[1] = z * tiles;
    if (count < 4) {
        fan.texture_tile[0] += quadrant_child[first / 2][0] * (tiles / 2);
        fan.texture_tile[1] += quadrant_child[first / 2][1] * (tiles / 2);
    }
    fan.centre[0] = (2 * x + 1) * half;
    fan.centre[1] = (2 * z + 1) * half;
    fan.ring_count = 0;
    bool whole = count == 4;
    for (int k = 0; k < (whole ? 8 : 2 * count + 1); k++) {
        int position = (first + k) % 8;
        if ((position & 1) == 0 && !midpoint_used(t, level, x, z, position, child))
            continue;
        fan.ring[fan.ring_count][0] = fan.centre[0] + ring_offsets[position][0] * half;
        fan.ring[fan.ring_count][1] = fan.centre[1] + ring_offsets[position][1] * half;
        fan.ring_count++;
    }
    if (whole) { // closed by its first vertex
        fan.ring[fan.ring_count][0] = fan.ring[0][0];
        fan.ring[fan.ring_count][1] = fan.ring[0][1];
        fan.ring_count++;
    }
    w.emit(w.context, fan);
}

void walk_node(const Walk& w, int32_t level, int32_t x, int32_t z)
{
    const Terrain* t = w.terrain;
    if (w.cull && behind_camera(t, level, x, z))
        return;
    bool child[4] = {false, false, false, false};
    int refined = 0;
    if (level < t->size_log2)
        for (int q = 0; q < 4; q++) {
            child[q] = flag(t, lod_node_index(level + 1, 2 * x + quadrant_child[q][0], 2 * z + quadrant_child[q][1]));
            refined += child[q];
        }
    if (refined == 0) {
        emit_fan(w, level, x, z, 0, 4, child); // the whole ring, closed
        return;
    }
    if (refined < 4) {
        // Runs of unrefined quadrants, each one fan.
        int start = 0;
        while (!child[start])
            start++;
        for (int k = 1; k <= 4;) {
            int q = (start + k) % 4;
            if (child[q]) {
                k++;
                continue;
            }
            int count = 0;
            while (k + count <= 4 && !child[(start + k + count) % 4])
                count++;
            emit_fan(w, level, x, z, 2 * q, count, child);
            k += count;
        }
    }
    // Refined children, nearest first along the view direction.
    const float* f = t->camera_forward;
    int xs[2] = {f[0] >= 0 ? 0 : 1, f[0] >= 0 ? 1 : 0};
    int zs[2] = {f[2] >= 0 ? 0 : 1, f[2] >= 0 ? 1 : 0};
    for (int zi : zs)
        for (int xi : xs) {
            int32_t cx = 2 * x + xi, cz = 2 * z + zi;
            if (flag(t, lod_node_index(level + 1, cx, cz)))
                walk_node(w, level + 1, cx, cz);
        }
}

} // namespace

int64_t lod_level_offset(int32_t level)
{
    return ((int64_t(1) << (2 * level)) - 1) / 3;
}

int64_t lod_node_count(int32_t size_log2)
{
    return lod_level_offset(size_log2 + 1);
}

void lod_allocate(Terrain* t)
{
    size_t nodes = size_t(lod_node_count(t->size_log2));
    t->lod_error = static_cast<float*>(alloc_or_die(nodes * sizeof(float)));
    t->lod_error_next = static_cast<float*>(alloc_or_die(nodes * sizeof(float)));
    t->node_flags = static_cast<unsigned char*>(alloc_or_die((nodes + 7) / 8));
    memset(t->lod_error, 0, nodes * sizeof(float));
    memset(t->lod_error_next, 0, nodes * sizeof(float));
    memset(t->node_flags, 0, (nodes + 7) / 8);
    t->terrain_version = 1;
    t->lod_version = 0;
    t->camera_cell[0] = t->camera_cell[1] = -1000000;
    lod_update(t, lod_budget_complete);
}

void lod_free(Terrain* t)
{
    free(t->lod_error);
    free(t->lod_error_next);
    free(t->node_flags);
    t->lod_error = t->lod_error_next = nullptr;
    t->node_flags = nullptr;
}

void lod_update(Terrain* t, int32_t budget)
{
    if (!t->lod_error || !t->heights || t->lod_version == t->terrain_version)
        return;
    LodProgress& p = t->lod_progress;
    if (t->lod_version != -t->terrain_version) {
        // A new computation, also when the heights changed again under a
        // running one.
        t->lod_version = -t->terrain_version;
        p = {t->size_log2, 0, 0, 0, 0};
    }
    bool unlimited = budget == lod_budget_complete;
    int64_t left = budget;
    while (unlimited || left > 0) {
        int32_t side = 1 << p.level;
        if (p.node >= side * side) {
            if (p.level == 0) {
                std::swap(t->lod_error, t->lod_error_next);
                t->lod_version = t->terrain_version;
                return;
            }
            p.level--;
            p.node = 0;
            continue;
        }
        int32_t x = p.node % side, z = p.node / side;
        if (p.row == 0)
            left -= 10;
        left -= scan_row(t, p.level, x, z, p.triangle, p.row, &p.partial);
        if (++p.row > node_samples(t, p.level)) {
            p.row = 0;
            if (++p.triangle == 2) {
                t->lod_error_next[lod_node_index(p.level, x, z)] = node_value(t, p.level, x, z, p.partial);
                p.triangle = 0;
                p.partial = 0;
                p.node++;
            }
        }
    }
}

int32_t clipmap_window_origin(int32_t size_log2, int32_t level, int32_t cell)
{
    int32_t c = ((cell - (1 << level)) >> (level + 1)) - 1;
    int32_t last = (1 << (size_log2 - level)) - 4;
    return c < 0 ? 0 : c > last ? (last > 0 ? last : 0) : c;
}

void lod_refine(Terrain* t, const float camera[3], const float forward[3])
{
    if (!t->node_flags)
        return;
    int32_t m = t->size_log2;
    for (int k = 0; k < 3; k++) {
        t->camera_position[k] = camera[k];
        t->camera_forward[k] = forward[k];
    }
    t->camera_cell[0] = int32_t(std::floor(camera[0] * t->inv_spacing));
    t->camera_cell[1] = int32_t(std::floor(camera[2] * t->inv_spacing));
    memset(t->node_flags, 0, size_t((lod_node_count(m) + 7) / 8));
    // Every node of the top levels and the first of level M - 5.
    int64_t always = m >= 5 ? lod_level_offset(m - 5) + 1 : 1;
    for (int64_t k = 0; k < always; k++)
        set_flag(t, k);

    // The mesh is at least as fine as the clipmap textures over it: the
    // nodes under each level's window are refined, the window widened by
    // one node on a side the finer window reaches exactly.
    int32_t finer[2] = {0, 0};
    for (int32_t j = 0; j < clipmap_levels && j < m; j++) {
        int32_t level = m - j, side = 1 << level;
        int32_t low[2], high[2];
        for (int a = 0; a < 2; a++) {
            int32_t c = clipmap_window_origin(m, j, t->camera_cell[a]);
            low[a] = c;
            high[a] = c + 3;
            if (j > 0 && finer[a] == 2 * c)
                low[a]--;
            if (j > 0 && finer[a] + 4 == 2 * (c + 4))
                high[a]++;
            low[a] = std::max(low[a], 0);
            high[a] = std::min(high[a], side - 1);
            finer[a] = c;
        }
        for (int32_t z = low[1]; z <= high[1]; z++)
            for (int32_t x = low[0]; x <= high[0]; x++)
                force_node(t, level, x, z);
    }
    refine_below(t, 0, 0, 0);
}

bool lod_refined(const Terrain* t, int32_t level, int32_t x, int32_t z)
{
    return t->node_flags && flag(t, lod_node_index(level, x, z));
}

void lod_walk(const Terrain* t, bool cull, void (*emit)(void* context, const LodFan& fan), void* context)
{
    if (!t->node_flags)
        return;
    Walk w = {t, cull, emit, context};
    walk_node(w, 0, 0, 0);
}
