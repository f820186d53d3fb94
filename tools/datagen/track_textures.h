// Ground materials of a track: the tiled textures of every material (base
// grounds, their variants and the transitions between two grounds), the
// "tileinfo" file with their grip and roost, and the tile map.
#pragma once
#include "image_out.h"
#include "track_layout.h"

#include <cstdint>
#include <string>
#include <vector>

struct GroundTexture {
    std::string name; // file name in the track folder, "hardpack-alt2.png"
    Picture picture;
};

struct GroundMaterials {
    std::string tileinfo;
    std::vector<GroundTexture> textures; // in material order
    std::vector<uint8_t> tile_map;       // T x T material indices
};

GroundMaterials build_ground_materials(const TrackGround& ground);
// The picture wheels throw up, tinted per material by the tileinfo.
Picture roost_picture();
