// Light on a track: the shadow map and the ground shading baked from the
// sun of its "lighting" file, the sky box, the environment map and the lens
// flare pictures.
#pragma once
#include "image_out.h"
#include "track_layout.h"

#include <cstdint>
#include <string>
#include <vector>

// Something standing on the ground that throws a soft round shadow (a tree
// crown), centred `height` feet above (x, z).
struct ShadowCaster {
    float x, z, radius, height;
};

// N x N light values as "shadows.pgm" stores them: 255 in full sun.
std::vector<uint8_t> compute_light(const TrackGround& ground, const std::vector<ShadowCaster>& casters);
// N x N RGB at half intensity, as "shadingx2.ppm" stores them.
std::vector<uint8_t> compute_shading(const TrackGround& ground, const std::vector<uint8_t>& light);

// Sky faces in the order of the lighting keywords: north, east, south, west, up.
Picture sky_face(const Course& course, int face);
Picture environment_map(const Course& course);
Picture flare_glow();
Picture flare_ring();

// The "lighting" file; pictures are named "@" + folder + "/...".
std::string lighting_file(const Course& course);
