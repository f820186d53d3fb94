// The tracks of the data release, one folder each in "tracks.saf", built
// from the course tables of track_course.h.
#include "assets.h"
#include "image_out.h"
#include "release.h"
#include "track_layout.h"
#include "track_lighting.h"
#include "track_map.h"
#include "track_objects.h"
#include "track_textures.h"
#include "track_timing.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

const char* const archive = "tracks.saf";

// The header and the samples inline after ":", low byte first. The bounds
// are whole feet, so the game's reading of the header gives exactly the
// numbers the samples were scaled with.
std::string height_field(const TrackGround& g)
{
    float low = std::floor(g.min_height) - 1, high = std::ceil(g.max_height) + 1;
    char header[128];
    snprintf(header, sizeof header, "%d %f %f %f\n:", g.size_log2, double(g.spacing), double(low), double(high));
    std::string bytes = header;
    bytes.reserve(bytes.size() + g.heights.size() * 2);
    for (float h : g.heights) {
        long v = std::lround((h - low) / (high - low) * 65535.0f);
        v = v < 0 ? 0 : v > 65535 ? 65535 : v;
        bytes += char(v & 0xff);
        bytes += char(v >> 8);
    }
    return bytes;
}

Picture square_picture(int size, int channels, std::vector<uint8_t> pixels)
{
    Picture p;
    p.width = p.height = size;
    p.channels = channels;
    p.pixels = std::move(pixels);
    return p;
}

void add_track(Release* release, const Course& course)
{
    const std::string dir = std::string(course.folder) + "/";
    auto add = [&](const std::string& name, const std::string& bytes, bool compress = false) {
        add_member(release, archive, dir + name, bytes, compress);
    };

    TrackGround ground = carve_ground(course);
    TrackTiming timing = plan_timing(ground);
    TrackObjects objects = place_objects(ground, timing);
    std::vector<uint8_t> light = compute_light(ground, objects.casters);
    std::vector<uint8_t> shading = compute_shading(ground, light);
    GroundMaterials materials = build_ground_materials(ground);

    add("desc", std::string(course.name) + "\n");
    add("terrain.hf", height_field(ground), true);
    add("shadingx2.ppm", encode_ppm(square_picture(ground.samples, 3, std::move(shading))), true);
    add("shadows.pgm", encode_pgm(square_picture(ground.samples, 1, std::move(light))), true);
    add("tileinfo", materials.tileinfo);
    add("tilemap", std::string(materials.tile_map.begin(), materials.tile_map.end()), true);
    add("timing_gates", timing_gates_file(timing));
    add("statues", objects.statues);
    add("billboards", objects.billboards);
    add("flaggers", objects.flaggers);
    add("decals", objects.decals);
    add("lighting", lighting_file(course));
    add("map.png", encode_png(track_map(ground, timing)));

    for (const GroundTexture& t : materials.textures)
        add(t.name, encode_png(t.picture));
    add("roost.png", encode_png(roost_picture()));
    for (const TrackPicture& p : objects.pictures)
        add(p.name, encode_png(p.picture, p.thin_details ? "[mip_max_alpha]" : ""));
    static const char* const faces[] = {"n", "e", "s", "w", "u"};
    for (int face = 0; face < 5; face++)
        add(std::string("sky-") + faces[face] + ".ppm", encode_ppm(sky_face(course, face)));
    add("sky-env.ppm", encode_ppm(environment_map(course)));
    add("flare-glow.png", encode_png(flare_glow()));
    add("flare-ring.png", encode_png(flare_ring()));
}

} // namespace

void add_tracks(Release* release)
{
    // The roost picture the materials fall back on: every "roost" line of a
    // tileinfo asks for it before its own texture= replaces it.
    add_member(release, archive, "roost.png", encode_png(roost_picture()));
    for (const Course* course : all_courses)
        add_track(release, *course);
}
