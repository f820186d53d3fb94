// The ground of a track: one square height field with its shading and shadow
// images and a map of ground tiles, and the point queries every consumer of
// the ground goes through (wheel contact, robots, camera, object placement).
#pragma once
#include "track/material.h"

#include <cstdint>

struct DataStream;

// Grid: size exponent M, T = 2^M tiles per side, 2T cells and N = 2T + 1
// samples per side. Sample (i, j) lies at (i * s, j * s) and is element
// j * N + i of every per-sample array; tile (a, b) covers samples 2a..2a+2
// and is element b * T + a of the tile map.
//
// The drawing state of the record (level-of-detail errors, far-ground and
// block textures, render target, camera sentinels) and the decals arrive with
// terrain drawing and digging; nothing here needs a window.
// Where the resumable level-of-detail error computation stands.
struct LodProgress {
    int32_t level;    // M down to 0
    int32_t node;     // within the level, row by row
    int32_t triangle; // 0 or 1 of the node
    int32_t row;      // sample row inside the triangle
    float partial;    // largest deviation of the node so far
};

struct Terrain {
    float* heights;          // N x N, feet
    float* lod_error;        // per quadtree node: squared activation radius
    float* lod_error_next;   // the same, being recomputed
    unsigned char* node_flags; // one bit per node: refined this frame
    unsigned char* shading;  // N x N RGB at half intensity: v stands for a light factor v / 127.5
    unsigned char* shadow;   // N x N, 0 fully lit .. 255 fully in shadow
    unsigned char* tile_map; // T x T material indices, each below material_count
    float world_size;        // W = s * 2^(M+1); the field covers [0, W] x [0, W]
    float spacing;           // s
    float inv_spacing;       // 1 / s, the factor the queries use
    float tile_size;         // 2s
    float max_height;        // the height bounds of the file header
    float min_height;
    int32_t size_log2;       // M
    int32_t samples;         // N
    int32_t tiles;           // T
    float lod_tolerance;     // height error per foot of activation radius
    TileMaterial materials[max_materials];
    int32_t material_count;
    const char* folder;      // track folder the record was loaded from, for saving
    // Drawing state: the camera the mesh was last refined for (the cell is
    // -1000000 until then) and the versions of the heights and the errors.
    float camera_position[3];
    float camera_forward[3];
    int32_t camera_cell[2];
    int32_t terrain_version;  // 1 at load, grows with every edit of the heights
    int32_t lod_version;      // version the errors belong to; negative while computing
    LodProgress lod_progress;
    void* graphics; // the renderer's textures of this field, null headless
};

// The renderer's part of loading and freeing a field: its textures and
// render target. Without hooks (headless) a field has none.
struct TerrainGraphicsHooks {
    void (*build)(Terrain* terrain);
    void (*release)(Terrain* terrain);
};
void set_terrain_graphics_hooks(const TerrainGraphicsHooks& hooks);

// The terrain of the loaded track, shared by everything that reads the ground;
// set by a successful load_terrain, cleared when that record is freed.
extern Terrain* current_terrain;

// Clears the record, then reads the track files. Returns 1 on success; on
// failure 0, a message has been reported and nothing stays allocated.
int load_terrain(Terrain* terrain, const char* folder);
// Releases every array and returns the record to its cleared state.
void free_terrain(Terrain* terrain);
// Writes heights, shading, tile map into the user's own copy of the track
// folder. 1 only when every file was written.
int save_terrain(Terrain* terrain);

// folder + "/" + name through the data layer; a missing mandatory file is
// reported as "Can't open '<path>'".
DataStream* open_track_file(const char* folder, const char* name, const char* mode, bool mandatory);

// The queries need a loaded terrain. Outside [0, W] the field continues with
// its edge samples.
float terrain_height(const Terrain* terrain, float x, float z);
// Face normal of the triangle under (x, z): not normalised (level ground
// gives (0, s^2, 0)), y always positive.
void terrain_normal(const Terrain* terrain, float x, float z, float out[3]);
// Material index of the tile under (x, z).
int terrain_tile(const Terrain* terrain, float x, float z);
