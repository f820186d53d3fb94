// Ground materials: grip and rolling resistance curves, roost kinds and the
// texture of each tile kind, read from a track's "tileinfo" (or the older
// "texturelist").
#pragma once
#include <cstdint>

struct DataStream;
struct Terrain;

enum {
    max_materials = 256,
    material_points = 8,
    material_roosts = 4,
};

enum { roost_none = 0, roost_roost = 1, roost_splash = 2 };

// One kind of particle a wheel throws on this ground: 64 bytes, fields in
// this order.
struct RoostType {
    int32_t kind;             // roost_none, roost_roost or roost_splash
    uint32_t texture;         // particle texture, "@roost.png" unless set
    float count;              // particles per step and wheel; the fraction is a chance of one more
    float dig;                // dirt moved per particle, times the wheel's sinkage
    float slip_threshold;     // slip speed below which a roost throws nothing
    float slow_angle;         // spray cone at slow wheel spin, radians
    float fast_angle;         // spray cone at fast wheel spin, radians
    float slow_speed;         // wheel spin where slow_angle applies
    float fast_speed;         // wheel spin where fast_angle applies
    float size;               // particle size when thrown
    float grow;               // size growth per second
    float drag;               // velocity lost per second, as a fraction
    float vscale;             // factor on the throw velocity
    float randomize;          // width of the random velocity per axis
    uint8_t colour[4];        // r, g, b, a when thrown
    int8_t fade[4];           // colour change per simulation step
};
static_assert(sizeof(RoostType) == 64, "roost records are 64 bytes");

struct TileMaterial {
    float friction[material_points];       // grip coefficient at each point
    float friction_speed[material_points]; // slip speed of each point; 0 = unused
    float roll_resist[material_points][2]; // force at no sinkage, at full sinkage
    float roll_speed[material_points];     // ground speed of each point; 0 = unused
    RoostType roost[material_roosts];
    uint32_t texture;   // 0 when the material has none
    int32_t transition; // material A << 16 | material B << 8 | corner mask
};

RoostType default_roost_type();
TileMaterial default_tile_material();

// Both fill terrain->materials and terrain->material_count and work out the
// transition codes. They always succeed: bad lines are reported as warnings
// and skipped.
void parse_tileinfo(Terrain* terrain, DataStream* stream);
void parse_texturelist(Terrain* terrain, DataStream* stream);

// Grip coefficient at a slip speed (interpolated in squared speed).
float material_friction(const TileMaterial* material, float slip_speed);
// Rolling resistance force at a ground speed and a sinkage fraction in [0, 1].
float material_roll_resist(const TileMaterial* material, float ground_speed, float sinkage);
