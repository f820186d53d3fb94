// Drawing the ground: the level-of-detail mesh textured with composite
// textures in which the material tiles and the shading are already baked —
// a camera-centred clipmap of 6 levels of 4 x 4 textures, one texture per
// block of 64 x 64 tiles, and low-detail textures made from the shading.
#pragma once
#include <cstdint>

struct Terrain;

// Frame statistics.
struct TerrainDrawStats {
    int32_t ground_triangles; // ring vertices emitted by the last draw
    int32_t composite_tiles;  // tile quads drawn into composites this frame
};
extern TerrainDrawStats terrain_draw_stats;

// What the terrain drawing may use of the driver, set at start-up from the
// capability probe and the configuration.
struct TerrainDrawOptions {
    bool framebuffer_objects;
    bool auto_mipmap;
    bool vertex_arrays;
    int32_t texture_size;       // composite size, a power of two
    int32_t texture_skip_levels; // clipmap levels below this are never used
};
extern TerrainDrawOptions terrain_draw_options;

// Installs the load and release hooks of the terrain, so that every loaded
// track gets its drawing state while a GL context exists.
void install_terrain_drawing();

// The per-frame work of the main loop: a slice of the error computation
// and one stale low-detail texture.
void terrain_frame_work(Terrain* terrain);
// Rebuilds up to n stale low-detail textures (0: all of them).
void refresh_low_detail(Terrain* terrain, int n);
// Renders the stale block textures and at most one clipmap texture for the
// camera stored in the terrain.
void update_ground_textures(Terrain* terrain);
// Refines the mesh for the terrain's camera and draws it; the caller has
// set the view matrices, depth test and fog.
void draw_terrain(Terrain* terrain);
// Draws every cell of the field, for comparison in the benchmark.
void draw_terrain_full_grid(const Terrain* terrain, uint32_t texture);

// For tests and tools: the block texture of block (bx, bz), and the clipmap
// texture of a level at texture column and row (0 outside the window).
uint32_t terrain_block_texture(const Terrain* terrain, int32_t bx, int32_t bz);
uint32_t terrain_clipmap_texture(const Terrain* terrain, int32_t level, int32_t column, int32_t row, bool* ready);
