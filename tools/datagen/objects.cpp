// Track objects that tracks place as statues ("objects.saf"): the start
// gate, tuff blocks and banners, each with its collision shape and texture.
//
// Models stand on their origin on the ground, in the frame the game turns
// them with: world = rotation x local, the way collision shapes are placed.
#include "assets.h"
#include "mesh.h"
#include "noise.h"
#include "release.h"
#include "shape.h"

#include <string>
#include <vector>

namespace {

const Vec3 x_axis{1, 0, 0}, y_axis{0, 1, 0}, z_axis{0, 0, 1};

// The start gate lies flat with its hinge along x at the origin and its
// plate towards +z, the rider's side. Closed, the game tilts it by 3/16 pi
// about x, which raises the free edge towards the rider above his front
// axle; dropped, it lies flat to be ridden over.
struct GateLook {
    double half_width; // start places should be at least twice this apart
    double plate_length, plate_thickness, hinge_gap;
    double hinge_radius, hinge_overhang;
    double lip_height, lip_depth;
    double ribs_at;      // the outer ribs, as a share of the half width
    Vec3 rib_half;       // the rib's length is the plate's, less rib_margin at each end
    double rib_margin;
};
const GateLook gate = {1.6, 2.5, 0.06, 0.04, 0.08, 0.05, 0.1, 0.1, 0.66, {0.05, 0.02, 0}, 0.2};
// Balls in two rows across the plate, the outer row at the free edge where
// the front wheels lean on it; small enough to roll over once it is down.
const int gate_columns = 9;
const double gate_rows[] = {1.2, 2.3};
const double gate_ball_radius = 0.2, gate_ball_height = 0.1, gate_ball_inset = 0.2;

// A tuff block: a plastic barrier with chamfered top edges.
struct BlockLook {
    double half_length, half_depth, shoulder, height, chamfer;
};
const BlockLook block = {3.0, 0.75, 1.6, 2.0, 0.25};
const double block_ball_radius = 1.0;
const double block_ball_xs[] = {-2, -1, 0, 1, 2};

// A banner between two poles.
struct BannerLook {
    double half_width, pole_radius, pole_height, cloth_bottom, cloth_top;
    Vec3 foot_half; // the plates the poles stand on
};
const BannerLook banner = {6.0, 0.12, 5.5, 2.0, 5.0, {0.4, 0.05, 0.4}};
const double pole_balls[] = {0.3, 1.5, 2.7, 3.9, 5.1};
const double pole_ball_radius = 0.3, cloth_ball_radius = 0.75;
const int cloth_balls = 11;

// Plastic and painted steel against the bikes' parts, which are softer:
// the smaller stiffness of two shapes decides, so the bike's values apply.
const double object_friction = 0.5, object_stiffness = 5000, object_damping = 500;

const int lod_sides[lod_levels] = {12, 8, 5, 4};

// Textures: the gate's is a PPM (the name the start-gate rules ask for).
constexpr int gate_texture_size = 128;
const UvRect gate_plate = atlas_rect(gate_texture_size, 0, 0, 128, 96);
const UvRect gate_metal = atlas_rect(gate_texture_size, 0, 96, 128, 128);
constexpr int block_texture_width = 256, block_texture_height = 128;
const UvRect block_side{1.0 / 256, 1.0 / 128, 255.0 / 256, 95.0 / 128};
const UvRect block_end{1.0 / 256, 97.0 / 128, 63.0 / 256, 127.0 / 128};
const UvRect banner_cloth{1.0 / 256, 1.0 / 128, 255.0 / 256, 63.0 / 128};
const UvRect banner_pole{1.0 / 256, 65.0 / 128, 31.0 / 256, 127.0 / 128};

const Rgb dust_yellow{0.95, 0.75, 0.1}, dust_blue{0.1, 0.25, 0.7}, white{0.95, 0.95, 0.95}, dark{0.1, 0.1, 0.1};

Sphere ball(Vec3 centre, double radius)
{
    return {centre, radius, object_friction, object_stiffness, object_damping};
}

Model start_gate_model(int level)
{
    Mesh m;
    double w = gate.half_width, l = gate.plate_length, t = gate.plate_thickness;
    double g = gate.hinge_gap, o = gate.hinge_overhang;
    add_slab(&m, {{-w, t, g}, {w, t, g}, {w, t, l}, {-w, t, l}}, y_axis, t, gate_plate);
    add_pipe(&m, {{-w - o, 0, 0}, {w + o, 0, 0}}, gate.hinge_radius, lod_sides[level], y_axis, gate_metal);
    // A lip along the free edge, where the tyres rest.
    double lip = gate.lip_depth / 2;
    add_box(&m, {0, t + gate.lip_height / 2, l - lip}, {w, gate.lip_height / 2, lip}, gate_metal);
    if (level == 0) {
        Vec3 rib = gate.rib_half;
        rib.z = l / 2 - gate.rib_margin;
        for (double x : {-w * gate.ribs_at, 0.0, w * gate.ribs_at})
            add_box(&m, {x, t + rib.y, l / 2}, rib, gate_metal);
    }
    m.shininess = 30;
    m.specular = {0.6, 0.6, 0.6};
    Model model;
    model.meshes.push_back(m);
    return model;
}

std::vector<Sphere> start_gate_shape()
{
    std::vector<Sphere> out;
    for (double z : gate_rows)
        for (int i = 0; i < gate_columns; i++) {
            double span = gate.half_width - gate_ball_inset;
            double x = -span + 2 * span * i / (gate_columns - 1);
            out.push_back(ball({x, gate_ball_height, z}, gate_ball_radius));
        }
    return out;
}

Model tuff_block_model(int)
{
    Mesh m;
    double l = block.half_length, d = block.half_depth, s = block.shoulder, h = block.height, c = block.chamfer;
    // The section round the long faces, front bottom to back bottom over
    // the top; each face shows the side picture along its length.
    std::vector<std::pair<double, double>> section = {{-d, 0}, {-d, s}, {-d + c, h}, {d - c, h}, {d, s}, {d, 0}};
    for (size_t i = 0; i + 1 < section.size(); i++) {
        auto [z0, y0] = section[i];
        auto [z1, y1] = section[i + 1];
        // Faces that run downwards are turned so that their picture stands
        // upright seen from behind the block too.
        if (y1 < y0)
            add_quad(&m, {-l, y1, z1}, {l, y1, z1}, {l, y0, z0}, {-l, y0, z0}, block_side);
        else
            add_quad(&m, {l, y0, z0}, {-l, y0, z0}, {-l, y1, z1}, {l, y1, z1}, block_side);
    }
    std::vector<Vec3> end;
    for (auto [z, y] : section)
        end.push_back({l, y, z});
    add_polygon(&m, end, x_axis, block_end);
    for (Vec3& p : end)
        p.x = -l;
    add_polygon(&m, end, -x_axis, block_end);
    m.shininess = 20;
    m.specular = {0.4, 0.4, 0.4};
    Model model;
    model.meshes.push_back(m);
    return model;
}

std::vector<Sphere> tuff_block_shape()
{
    std::vector<Sphere> out;
    for (double x : block_ball_xs)
        out.push_back(ball({x, block_ball_radius, 0}, block_ball_radius));
    return out;
}

Model banner_model(int level)
{
    Mesh m;
    double w = banner.half_width;
    for (double x : {-w, w}) {
        add_pipe(&m, {{x, 0, 0}, {x, banner.pole_height, 0}}, banner.pole_radius, lod_sides[level], x_axis,
                 banner_pole);
        if (level < lod_levels - 1)
            add_box(&m, {x, banner.foot_half.y, 0}, banner.foot_half, banner_pole);
    }
    // The cloth reads the right way round from both sides.
    double x0 = -w + banner.pole_radius, x1 = w - banner.pole_radius;
    add_card(&m, {x1, banner.cloth_bottom, 0}, {x0, banner.cloth_bottom, 0}, {x0, banner.cloth_top, 0},
             {x1, banner.cloth_top, 0}, banner_cloth, banner_cloth);
    m.shininess = 8;
    m.specular = {0.2, 0.2, 0.2};
    Model model;
    model.meshes.push_back(m);
    return model;
}

std::vector<Sphere> banner_shape()
{
    std::vector<Sphere> out;
    for (double x : {-banner.half_width, banner.half_width})
        for (double y : pole_balls)
            out.push_back(ball({x, y, 0}, pole_ball_radius));
    double span = 2 * (banner.half_width - cloth_ball_radius);
    for (int i = 0; i < cloth_balls; i++)
        out.push_back(ball({-span / 2 + span * i / (cloth_balls - 1), (banner.cloth_bottom + banner.cloth_top) / 2, 0},
                           cloth_ball_radius));
    return out;
}

Picture gate_texture()
{
    Picture p(gate_texture_size, gate_texture_size, 3);
    // Perforated grey steel with hazard stripes along the free edge (the
    // picture's top), and the gate's bar and lip in yellow.
    fill_noisy(&p, 0, 0, 128, 96, {0.55, 0.56, 0.58}, 0.08, 71);
    for (int y = 20; y < 96; y += 8)
        for (int x = 4; x < 128; x += 8)
            for (int d = 0; d < 4; d++)
                put_pixel(&p, x + d % 2, y + d / 2, {0.25, 0.25, 0.27});
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 128; x++)
            put_pixel(&p, x, y, ((x + y) / 8) % 2 ? dust_yellow : dark);
    draw_text(&p, (128 - text_width("DUSTLINE", 2)) / 2, 50, 2, "DUSTLINE", dust_yellow);
    fill_noisy(&p, 0, 96, 128, 128, dust_yellow, 0.08, 72);
    return p;
}

Picture block_texture()
{
    Picture p(block_texture_width, block_texture_height, 3);
    // Moulded plastic: grooves every so often along the length, a darker
    // band at the foot, the name in the middle; ends plain.
    fill_noisy(&p, 0, 0, 256, 96, dust_yellow, 0.06, 81);
    for (int y = 0; y < 96; y++)
        for (int x = 0; x < 256; x++) {
            if (x % 64 < 3)
                put_pixel(&p, x, y, scale(dust_yellow, 0.7));
            if (y > 84)
                put_pixel(&p, x, y, scale(dust_yellow, 0.55));
        }
    draw_text(&p, (256 - text_width("DUSTLINE", 3)) / 2, 36, 3, "DUSTLINE", dust_blue);
    fill_noisy(&p, 0, 96, 256, 128, scale(dust_yellow, 0.9), 0.08, 82);
    return p;
}

Picture banner_texture()
{
    Picture p(256, 128, 3);
    fill_noisy(&p, 0, 0, 256, 64, dust_blue, 0.05, 91);
    for (int x = 0; x < 256; x++)
        for (int y : {0, 1, 2, 3, 60, 61, 62, 63})
            put_pixel(&p, x, y, dust_yellow);
    draw_text(&p, (256 - text_width("DUSTLINE", 5)) / 2 + 1, 15, 5, "DUSTLINE", dark);
    draw_text(&p, (256 - text_width("DUSTLINE", 5)) / 2, 14, 5, "DUSTLINE", white);
    fill_noisy(&p, 0, 64, 256, 128, {0.6, 0.6, 0.62}, 0.1, 92);
    return p;
}

} // namespace

void add_objects(Release* release)
{
    const std::string archive = "objects.saf";
    add_model_chain(release, archive, "startgate", start_gate_model);
    add_member(release, archive, "startgate.shp", encode_shp(start_gate_shape()));
    add_member(release, archive, "startgate.ppm", encode_ppm(gate_texture()));
    add_model_chain(release, archive, "objects/tuffblock", tuff_block_model);
    add_member(release, archive, "objects/tuffblock.shp", encode_shp(tuff_block_shape()));
    add_member(release, archive, "objects/tuffblock.png", encode_png(block_texture()));
    add_model_chain(release, archive, "objects/banner", banner_model);
    add_member(release, archive, "objects/banner.shp", encode_shp(banner_shape()));
    add_member(release, archive, "objects/banner.png", encode_png(banner_texture()));
}
