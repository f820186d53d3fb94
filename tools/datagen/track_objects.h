// What stands on a track besides the ground: tuff blocks and banners
// (statues with collision shapes), trees and the crowd (billboards), the
// start and lap boards and the flag marshals, and the painted finish line.
#pragma once
#include "image_out.h"
#include "track_layout.h"
#include "track_lighting.h"
#include "track_timing.h"

#include <string>
#include <vector>

struct TrackPicture {
    std::string name; // in the track folder
    Picture picture;
    bool thin_details; // reduced copies keep the strongest alpha
};

struct TrackObjects {
    std::string statues, billboards, flaggers, decals;
    std::vector<TrackPicture> pictures;
    std::vector<ShadowCaster> casters;
};

TrackObjects place_objects(const TrackGround& ground, const TrackTiming& timing);
// How far (x, z) lies beyond the nearest riding edge; negative on the track.
float course_edge_distance(const CourseLine& line, float x, float z);
