// The terrain's level of detail: a restricted quadtree over the height field.
// Every node carries a precomputed activation radius (its geometric error
// seen as a distance); each frame the tree is refined around the camera and
// walked into crack-free triangle fans. Nothing here touches GL: the
// renderer turns the fans into vertices.
//
// Level i (0..M) has 2^i x 2^i nodes; node (x, z) of level i covers
// 2^(M-i) x 2^(M-i) tiles and has index (4^i - 1) / 3 + z 2^i + x.
#pragma once
#include <cstdint>

struct Terrain;

enum { lod_budget_complete = 0x7fffffff };

// Nodes of every level of a field of size exponent M, and the index of the
// first node of a level.
int64_t lod_node_count(int32_t size_log2);
int64_t lod_level_offset(int32_t level);
inline int64_t lod_node_index(int32_t level, int32_t x, int32_t z)
{
    return lod_level_offset(level) + (int64_t(z) << level) + x;
}

// Allocates the two error arrays and the node flags of a loaded height
// field, marks the heights as version 1 and computes the errors to
// completion. Freed with lod_free.
void lod_allocate(Terrain* terrain);
void lod_free(Terrain* terrain);

// Goes on with the error computation for about `budget` units of work
// (roughly one per sample examined, ten per triangle started);
// lod_budget_complete finishes it. A computation starts only when the
// heights changed since the errors were made; it fills lod_error_next and
// swaps the arrays when level 0 is done.
void lod_update(Terrain* terrain, int32_t budget);

// The first texture column (or row) of the 4 x 4 window of clipmap level j
// around camera cell `cell` (in samples).
int32_t clipmap_window_origin(int32_t size_log2, int32_t level, int32_t cell);

// Refines the tree for the camera (world position and unit view direction):
// the top levels always, the nodes under the clipmap windows, then every
// node whose activation radius reaches the camera horizontally. Sets
// camera_position, camera_forward and camera_cell.
void lod_refine(Terrain* terrain, const float camera[3], const float forward[3]);
bool lod_refined(const Terrain* terrain, int32_t level, int32_t x, int32_t z);

// One fan of the mesh: a centre and a ring, in sample coordinates (the
// ring closes on itself when it goes all the way round).
struct LodFan {
    int32_t level, x, z; // the node it belongs to
    // The tile that picks the fan's ground texture: the node's first, or for
    // a partly refined node the first tile of an unrefined quadrant (a
    // refined quadrant may sit under a finer texture than the rest).
    int32_t texture_tile[2];
    int32_t centre[2];
    int32_t ring_count;
    int32_t ring[9][2];
};

// Walks the refined tree front to back for the camera's view direction and
// hands over every fan; with `cull`, nodes wholly behind the camera are
// skipped.
void lod_walk(const Terrain* terrain, bool cull, void (*emit)(void* context, const LodFan& fan), void* context);
