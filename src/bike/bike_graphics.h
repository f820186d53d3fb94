// What draws a bike and its rider: the models of every part and the four
// textures with their normal and specular companions. Models and textures
// are shared through their caches; the bike owns only its number texture.
#pragma once
#include <cstdint>
#include <string>

struct BikeModel;
struct Model;

struct PartTexture {
    uint32_t texture;
    uint32_t normal_map;
    uint32_t specular_map;
};

struct BikeGraphics {
    Model* frame;
    Model* side_plates;
    Model* front_plate;
    Model* fork_upper;
    Model* fork_lower;
    Model* swingarm;
    Model* front_wheel;
    Model* rear_wheel;
    Model* rider_body;
    Model* rider_body_fp; // null when the bike has none
    Model* rider_head;
    Model* rider_plate;
    PartTexture bike;
    PartTexture wheels;
    PartTexture rider_body_texture;
    PartTexture rider_head_texture;
};

// The textures asked for (any may be null: the bike's defaults) with the
// models that go with them. A texture that does not load, or whose models
// do not, falls back to the bike's default texture and models.
void load_bike_graphics(BikeGraphics* graphics, const BikeModel& model, const char* rider_body_texture,
                        const char* rider_head_texture, const char* bike_texture, const char* wheel_texture);

// The variant a texture selects: the text from the first "-" of its file
// name up to the second ("-red" for "dl250-red-x.png"); empty without two.
std::string texture_variant(const char* texture);
// A model file with the variant put before its extension.
std::string variant_model_name(const char* model, const std::string& variant);
