// A track's "lighting" file: the sun, the ambient light, the sky box, the
// environment map, the fog and the lens flares. The scene drawing turns the
// record into GL state every frame; nothing here touches GL.
#pragma once
#include <cstdint>

struct DataStream;

enum {
    max_flare_elements = 8,
    sky_face_count = 5, // north, east, south, west, up
};

struct LensFlare {
    float position[3]; // a point flare's world position, or the direction towards a directional one
    float screen_x, screen_y; // projected source, filled by the drawing each frame
    float element_offset[max_flare_elements][2]; // perpendicular and radial placement
    float element_color[max_flare_elements][3];
    float element_size[max_flare_elements]; // half size
    uint32_t element_texture[max_flare_elements];
    const char* element_texture_name[max_flare_elements]; // interned, for the editor and tests
    int32_t element_count;
    int32_t directional; // 1 for "flare_vector", 0 for "flare_point"
    float intensity;     // visibility this frame, set by the drawing
};

struct Lighting {
    float sun_vector[3]; // unit, from the ground towards the sun
    float sun_color[3];
    float ambient[3];
    float global_ambient[3];
    uint32_t sky[sky_face_count];
    // The names the textures were asked for; they stay meaningful without a
    // window, where every texture is 0.
    const char* sky_name[sky_face_count];
    uint32_t env_map;
    const char* env_map_name;
    float fog_color[3]; // kept from track to track when a file gives none
    float fog_density;  // 0: no fog
    LensFlare* flares;
    int32_t flare_count;
    int32_t flare_capacity;
};

extern Lighting lighting;

// Fills the record from the file; null (no file) leaves the defaults. Sky
// faces the file does not name get the default pictures.
void load_lighting(DataStream* stream);
// Releases the flare list (shut-down and tests).
void free_lighting();
