// The terrain quadtree: node errors, refinement around the camera, and the
// fans the renderer draws.
#include "track/terrain.h"
#include "track/terrain_lod.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <tuple>
#include <vector>

namespace {

// A field built in memory: size exponent m, spacing 1, heights from f(i, j).
struct Field {
    Terrain t{};
    std::vector<float> heights;
    Field(int m, float tolerance, const std::function<float(int, int)>& f)
    {
        t.size_log2 = m;
        t.tiles = 1 << m;
        t.samples = (1 << (m + 1)) + 1;
        t.spacing = 1;
        t.inv_spacing = 1;
        t.tile_size = 2;
        t.world_size = float(1 << (m + 1));
        heights.resize(size_t(t.samples) * t.samples);
        t.min_height = 1e9f;
        t.max_height = -1e9f;
        for (int j = 0; j < t.samples; j++)
            for (int i = 0; i < t.samples; i++) {
                float h = f(i, j);
                heights[size_t(j) * t.samples + i] = h;
                t.min_height = std::fmin(t.min_height, h);
                t.max_height = std::fmax(t.max_height, h);
            }
        t.heights = heights.data();
        t.lod_tolerance = tolerance;
        lod_allocate(&t);
    }
    ~Field() { lod_free(&t); }
    float error(int level, int x, int z) const { return t.lod_error[lod_node_index(level, x, z)]; }
};

TEST(TerrainLod, NodeIndicesRunLevelByLevel)
{
    EXPECT_EQ(lod_level_offset(0), 0);
    EXPECT_EQ(lod_level_offset(1), 1);
    EXPECT_EQ(lod_level_offset(2), 5);
    EXPECT_EQ(lod_level_offset(3), 21);
    EXPECT_EQ(lod_node_index(2, 3, 1), 5 + 4 + 3);
    EXPECT_EQ(lod_node_count(10), (4LL * (1 << 20) - 1) / 3);
}

TEST(TerrainLod, ErrorsOfASmallFieldByHand)
{
    // 2 x 2 tiles (W = 4), tolerance 0.5. Tile (0, 0) has its centre sample
    // raised by 1: it lies on that node's diagonal, where the two corner
    // planes give 0, so its deviation is 1. Tile (1, 0) has corner (4, 0)
    // raised by 2: the sample halfway along each edge from it is 1 off.
    Field field(1, 0.5f, [](int i, int j) { return i == 1 && j == 1 ? 1.0f : i == 4 && j == 0 ? 2.0f : 0.0f; });
    const float half_diagonal_1 = 0.70710678f * 2; // level-1 nodes are 2 wide
    struct Case {
        int level, x, z;
        float expected;
    } const cases[] = {
        {1, 0, 0, std::pow(1 / 0.5f + half_diagonal_1, 2.0f)},
        {1, 1, 0, std::pow(1 / 0.5f + half_diagonal_1, 2.0f)},
        {1, 0, 1, half_diagonal_1 * half_diagonal_1}, // flat
        {1, 1, 1, half_diagonal_1 * half_diagonal_1},
        // The root: no level-1 nodes lie around its children, so the
        // saturation adds 1.58 node widths to nothing and wins over its own
        // (1 / 0.5 + 0.707 x 4)^2.
        {0, 0, 0, std::pow(4 * 3.1622777f * 0.50048828125f, 2.0f)},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(field.error(c.level, c.x, c.z), c.expected, 1e-3f) << c.level << " " << c.x << " " << c.z;
}

TEST(TerrainLod, SaturationCoversTheNeighboursOfTheChildren)
{
    // 4 x 4 tiles: one bump in tile (2, 0). It is a child of level-1 node
    // (1, 0) and lies just beside the children of node (0, 0), at offset
    // (2, 0) from its first child.
    Field field(2, 0.25f, [](int i, int j) { return i == 5 && j == 1 ? 1.0f : 0.0f; });
    const float widen = 4 * 3.1622777f * 0.50048828125f; // 1.58 level-1 widths
    float bump = field.error(2, 2, 0);
    float flat = field.error(2, 0, 3);
    EXPECT_NEAR(bump, std::pow(1 / 0.25f + 0.70710678f * 2, 2.0f), 1e-3f);
    EXPECT_NEAR(flat, 2.0f, 1e-5f);
    // The neighbour's bump, widened, beats anything of node (0, 0) itself.
    EXPECT_NEAR(field.error(1, 0, 0), std::pow(std::sqrt(bump) + widen, 2.0f), 1e-2f);
    // Node (1, 0) only has flat tiles around its children; its bumpy child
    // is smaller than the widened flat ring.
    EXPECT_NEAR(field.error(1, 1, 0), std::pow(std::sqrt(flat) + widen, 2.0f), 1e-2f);
    // Every parent is at least as large as each of its children.
    for (int level = 0; level < 2; level++)
        for (int z = 0; z < (1 << level); z++)
            for (int x = 0; x < (1 << level); x++)
                for (int k = 0; k < 4; k++)
                    EXPECT_GE(field.error(level, x, z), field.error(level + 1, 2 * x + (k & 1), 2 * z + (k >> 1)));
}

float bumpy(int i, int j)
{
    return 3 * std::sin(i * 0.11f) * std::cos(j * 0.07f) + 0.5f * std::sin(i * 0.9f + j * 0.4f);
}

TEST(TerrainLod, SlicedComputationEndsWithTheSameErrors)
{
    Field whole(5, 0.01f, bumpy);
    Field sliced(5, 0.01f, bumpy);
    // Make the second one start over and run it in small slices.
    sliced.t.terrain_version = 2;
    int calls = 0;
    while (sliced.t.lod_version != sliced.t.terrain_version && calls < 100000) {
        lod_update(&sliced.t, 1000);
        calls++;
        if (calls == 1) {
            EXPECT_EQ(sliced.t.lod_version, -2); // under way
        }
    }
    EXPECT_GT(calls, 10);
    for (int64_t k = 0; k < lod_node_count(5); k++)
        ASSERT_EQ(whole.t.lod_error[k], sliced.t.lod_error[k]) << k;
    // Up to date: another call changes nothing.
    float before = sliced.t.lod_error[0];
    lod_update(&sliced.t, 1000);
    EXPECT_EQ(sliced.t.lod_version, 2);
    EXPECT_EQ(sliced.t.lod_error[0], before);
}

TEST(TerrainLod, ClipmapWindowsFollowTheCameraWithinTheField)
{
    struct Case {
        int m, level, cell, origin;
    } const cases[] = {
        {10, 0, 1000, 498},  // ((1000 - 1) >> 1) - 1
        {10, 3, 1000, 61},   // ((1000 - 8) >> 4) - 1
        {10, 0, 0, 0},       // clamped at the near edge
        {10, 5, 2048, 28},   // and at the far one: 2^5 - 4
        {10, 2, -1000000, 0}, // no camera yet
    };
    for (const Case& c : cases)
        EXPECT_EQ(clipmap_window_origin(c.m, c.level, c.cell), c.origin) << c.level << " " << c.cell;
}

struct Mesh {
    std::vector<LodFan> fans;
    static void add(void* context, const LodFan& fan) { static_cast<Mesh*>(context)->fans.push_back(fan); }
};

Mesh refine_and_walk(Field& field, float x, float z, bool cull = false, float fx = 1, float fz = 0)
{
    float camera[3] = {x, 10, z}, forward[3] = {fx, 0, fz};
    lod_refine(&field.t, camera, forward);
    Mesh mesh;
    lod_walk(&field.t, cull, Mesh::add, &mesh);
    return mesh;
}

TEST(TerrainLod, MeshHasNoCracksAndCoversTheField)
{
    Field field(7, 0.02f, bumpy);
    const float cameras[][2] = {{100, 130}, {3, 3}, {250, 10}, {128, 256}};
    for (const auto& c : cameras) {
        Mesh mesh = refine_and_walk(field, c[0], c[1]);
        // Every directed edge of an inner triangle meets its reverse exactly
        // once; border edges meet nothing. A T-junction would leave an edge
        // without its partner.
        std::map<std::tuple<int, int, int, int>, int> edges;
        double area = 0;
        for (const LodFan& f : mesh.fans) {
            ASSERT_GE(f.ring_count, 2);
            for (int k = 0; k + 1 < f.ring_count; k++) {
                const int* a = f.centre;
                const int* b = f.ring[k];
                const int* d = f.ring[k + 1];
                area += 0.5 * std::fabs(double(b[0] - a[0]) * (d[1] - a[1]) - double(d[0] - a[0]) * (b[1] - a[1]));
                const int* corners[3] = {a, b, d};
                for (int e = 0; e < 3; e++) {
                    const int* p = corners[e];
                    const int* q = corners[(e + 1) % 3];
                    edges[{p[0], p[1], q[0], q[1]}]++;
                }
            }
        }
        int n = field.t.samples - 1;
        EXPECT_DOUBLE_EQ(area, double(n) * n);
        for (const auto& [edge, count] : edges) {
            auto [x0, z0, x1, z1] = edge;
            bool border = (x0 == x1 && (x0 == 0 || x0 == n)) || (z0 == z1 && (z0 == 0 || z0 == n));
            ASSERT_EQ(count, 1) << x0 << "," << z0 << " " << x1 << "," << z1;
            if (!border) {
                ASSERT_EQ(edges.count({x1, z1, x0, z0}), 1u) << x0 << "," << z0 << " " << x1 << "," << z1;
            }
        }
    }
}

TEST(TerrainLod, FinerNearTheCameraAndCoarseFarAway)
{
    Field field(7, 0.02f, bumpy);
    Mesh mesh = refine_and_walk(field, 60, 60);
    int near_fans = 0, far_fans = 0, finest_near = 0;
    for (const LodFan& f : mesh.fans) {
        float dx = f.centre[0] - 60.0f, dz = f.centre[1] - 60.0f;
        bool near = dx * dx + dz * dz < 20 * 20;
        (near ? near_fans : far_fans)++;
        if (near && f.level == field.t.size_log2)
            finest_near++;
    }
    // The near disc is about 1/40 of the field but holds many more fans
    // per area than the rest.
    EXPECT_GT(finest_near, 0);
    EXPECT_GT(near_fans * 20, far_fans);
    EXPECT_LT(mesh.fans.size(), size_t(1) << (2 * field.t.size_log2)); // far fewer than one per tile
}

TEST(TerrainLod, BorderLeavesKeepTheirBorderMidpoints)
{
    Field field(6, 1e3f, [](int, int) { return 0.0f; }); // flat: little beyond the forced nodes refines
    Mesh mesh = refine_and_walk(field, 64, 64);
    int checked = 0;
    for (const LodFan& f : mesh.fans) {
        if (f.x != 0)
            continue;
        int half = (1 << (field.t.size_log2 - f.level + 1)) / 2;
        bool low = false, high = false, middle = false;
        for (int k = 0; k < f.ring_count; k++) {
            low |= f.ring[k][0] == 0 && f.ring[k][1] == f.centre[1] - half;
            high |= f.ring[k][0] == 0 && f.ring[k][1] == f.centre[1] + half;
            middle |= f.ring[k][0] == 0 && f.ring[k][1] == f.centre[1];
        }
        if (low && high) { // the fan runs along the left border
            EXPECT_TRUE(middle) << f.level << " " << f.z;
            checked++;
        }
    }
    EXPECT_GT(checked, 0);
}

TEST(TerrainLod, NodesBehindTheCameraAreCulled)
{
    Field field(6, 0.02f, bumpy);
    Mesh all = refine_and_walk(field, 64, 64, false);
    Mesh ahead = refine_and_walk(field, 64, 64, true, 1, 0); // looking along +x
    EXPECT_LT(ahead.fans.size(), all.fans.size());
    for (const LodFan& f : ahead.fans) {
        int half = (1 << (field.t.size_log2 - f.level + 1)) / 2;
        EXPECT_GE(f.centre[0] + half, 64) << f.level << " " << f.x << " " << f.z; // some of it ahead
    }
}

} // namespace

namespace {

// The ground texture a fan is drawn with is the finest clipmap window that
// holds its texture tile. That texture must hold the whole node, or the
// node's texture coordinates would run off its edge.
TEST(TerrainLod, EveryFanFitsTheTextureItsTileChooses)
{
    Field field(8, 0.02f, bumpy);
    const float cameras[][2] = {{300, 200}, {20, 500}, {511, 511}};
    for (const auto& c : cameras) {
        Mesh mesh = refine_and_walk(field, c[0], c[1]);
        int m = field.t.size_log2, in_windows = 0;
        for (const LodFan& f : mesh.fans) {
            int node_tiles = 1 << (m - f.level);
            for (int j = 0; j < 6; j++) {
                int column = f.texture_tile[0] >> j, row = f.texture_tile[1] >> j;
                int c0 = clipmap_window_origin(m, j, field.t.camera_cell[0]);
                int r0 = clipmap_window_origin(m, j, field.t.camera_cell[1]);
                if (column < c0 || column >= c0 + 4 || row < r0 || row >= r0 + 4)
                    continue;
                in_windows++;
                EXPECT_GE(1 << j, node_tiles) << f.level << " " << f.x << " " << f.z;
                EXPECT_EQ((f.x * node_tiles) >> j, column);
                EXPECT_EQ((f.z * node_tiles) >> j, row);
                break;
            }
        }
        EXPECT_GT(in_windows, 0);
    }
}

} // namespace
