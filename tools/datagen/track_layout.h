// The ground of a track carved from its course table: the height field, the
// surface layer of every sample (which ground material it shows) and the
// direction of travel over every tile, for the rutted ground.
#pragma once
#include "track_course.h"

#include <cstdint>
#include <vector>

// Surface layers, from the open ground to the racing line. Dirt tracks use
// all four; sand tracks use three (dune grass, soft sand, packed sand).
enum SurfaceLayer : uint8_t { layer_open = 0, layer_verge = 1, layer_loose = 2, layer_packed = 3 };

// Height along the centre line, tabled about every quarter foot.
struct CourseProfile {
    float step = 0.25f;
    std::vector<float> heights;
    // How much of the cross-section's berm and camber holds: none across a
    // jump, which is level from side to side.
    std::vector<float> banking;
    bool closed = false;
    float at(float s) const;
    float banking_at(float s) const;
};

// A mound of earth along the centre line: corners (distance from the foot
// of the jump, height), joined by straight faces.
struct JumpMound {
    std::vector<float> u, h;
};

// What the generator worked out for one jump. Its outline is the higher of
// its mounds: the takeoff, and the table, landing mound or deck.
struct JumpDesign {
    float start;      // distance along the loop of the foot of the takeoff
    float length;     // to the foot of the last face
    float lip_at;     // distance of the lip from the foot
    float landing_at; // where a rider at the approach speed comes down
    std::vector<JumpMound> mounds;
    float height(float u) const;
};

struct TrackGround {
    const Course* course = nullptr;
    CourseLine line;
    int size_log2 = 0;
    int samples = 0; // N
    int tiles = 0;   // T
    float spacing = 0;
    float world = 0;
    std::vector<float> heights;          // N x N, feet
    std::vector<uint8_t> layer;          // N x N surface layers
    std::vector<uint8_t> tile_direction; // T x T: 0-3 for travel along 0, 45, 90, 135 degrees; 255 off the track
    CourseProfile loop_profile, spur_profile;
    std::vector<JumpDesign> jumps;
    float min_height = 0, max_height = 0;

    float height(int i, int j) const { return heights[size_t(j) * samples + i]; }
    // Bilinear height between samples (clamped to the field).
    float height_at(float x, float z) const;
    uint8_t layer_at(float x, float z) const;
};

// Heights of the open ground before the track is carved into it.
float natural_ground(const Course& course, float x, float z);
std::vector<JumpDesign> design_jumps(const Course& course, const CourseLine& line);
TrackGround carve_ground(const Course& course);
