// The rider: skinned body models, helmet, back number and their textures
// ("rider.saf").
//
// The body stands in the pose the rider pose's bones are measured from: arms
// stretched out sideways along x, legs straight down, facing -z. Each vertex
// follows the bone of the limb it belongs to and blends into the next bone
// over a short stretch around each joint, so elbows and knees bend smoothly.
#include "assets.h"
#include "mesh.h"
#include "noise.h"
#include "release.h"

#include <string>
#include <vector>

namespace {

// The nine bones in the order the pose hands them over.
enum Bone {
    left_forearm,
    right_forearm,
    left_upper_arm,
    right_upper_arm,
    left_shin,
    right_shin,
    left_thigh,
    right_thigh,
    torso,
    bone_count
};

// Joint points of the standing body (the pivots of the bones) and the limb
// lengths of the bike definitions, which put the hands on the grips and the
// feet on the pegs.
struct Skeleton {
    double arm_y, joint_z;
    double shoulder_x, elbow_x;
    double hip_x, hip_y, knee_y;
    double forearm, shin;
};
const Skeleton skeleton = {0.875, 0.01, 0.556, 1.456, 0.269, -0.88, -2.208, 1.15, 1.701};
double hand_x()
{
    return skeleton.elbow_x + skeleton.forearm;
}
double foot_y()
{
    return skeleton.knee_y - skeleton.shin;
}

// ---- how the rider looks, in ft. Tubes are given by stations along the
// limb (distance from the body's middle for arms, height for the trunk and
// legs) with their half widths across (rx) and fore and aft (rz).
struct Station {
    double at, rx, rz, z;
};
using Profile = std::vector<std::pair<double, double>>; // (radius, height) of a lathe
struct BodyLook {
    double blend_half_width; // how far either side of a joint two bones share the skin
    double shoulder_blend;   // where the arm leaves the trunk
    double hip_blend_below;  // the thigh takes over this far below the hip
    std::vector<Station> trunk, arm, leg, boot;
    double fp_trunk_top; // the first-person trunk ends below the chest, clear of the eye
    Station fp_trunk_cap;
    double fp_arm_start;
    Vec3 fist_half;
    double fist_back; // the fist's middle lies this far inside the hand point
    Vec3 foot_half;
    double foot_forward, sole_lift; // the boot's middle is ahead of and above the foot point
    double plate_half_width, plate_bottom, plate_top, plate_z; // the number on the back
};
struct HelmetLook {
    Vec3 centre;
    Profile shell;
    double depth_scale; // the shell is longer fore and aft than across
    Profile strap;
    Vec3 lens_centre, lens_half;
    std::vector<Vec3> chin_bar;
    double chin_bar_radius;
    std::vector<Vec3> peak;
    Vec3 peak_normal;
    double peak_thickness;
};
struct RiderLook {
    BodyLook body;
    HelmetLook helmet;
};
const RiderLook look = {
    .body =
        {
            .blend_half_width = 0.1,
            .shoulder_blend = 0.5,
            .hip_blend_below = 0.05,
            .trunk = {{-1.05, 0.34, 0.26, 0.02}, {-0.88, 0.44, 0.3, 0.03}, {-0.5, 0.40, 0.26, 0.02},
                      {0.0, 0.44, 0.28, 0},     {0.45, 0.52, 0.32, -0.02}, {0.8, 0.5, 0.28, 0},
                      {1.0, 0.3, 0.22, 0},      {1.12, 0.17, 0.17, 0}},
            .arm = {{0.35, 0.2, 0.2, 0},   {0.6, 0.2, 0.2, 0},    {1.0, 0.17, 0.17, 0}, {1.35, 0.15, 0.15, 0},
                    {1.46, 0.15, 0.15, 0}, {1.56, 0.14, 0.14, 0}, {2.0, 0.14, 0.14, 0}, {2.42, 0.11, 0.11, 0}},
            .leg = {{-0.7, 0.27, 0.27, 0.02}, {-0.88, 0.27, 0.27, 0.02}, {-1.4, 0.25, 0.25, 0.01},
                    {-2.0, 0.21, 0.21, 0},    {-2.21, 0.21, 0.21, 0},    {-2.35, 0.2, 0.2, 0},
                    {-3.0, 0.18, 0.18, 0},    {-3.5, 0.17, 0.17, 0}},
            .boot = {{-2.6, 0.21, 0.21, 0}, {-3.2, 0.22, 0.22, 0}, {-3.72, 0.2, 0.2, 0}},
            .fp_trunk_top = 0.1,
            .fp_trunk_cap = {0.1, 0.45, 0.29, 0},
            .fp_arm_start = 0.5,
            .fist_half = {0.17, 0.13, 0.13},
            .fist_back = 0.03,
            .foot_half = {0.14, 0.1, 0.32},
            .foot_forward = -0.11,
            .sole_lift = 0.06,
            .plate_half_width = 0.32,
            .plate_bottom = -0.05,
            .plate_top = 0.65,
            .plate_z = 0.34,
        },
    .helmet =
        {
            .centre = {0, 0, 0.02},
            .shell = {{0, -0.1}, {0.33, -0.1}, {0.42, 0.05}, {0.46, 0.3}, {0.44, 0.5}, {0.34, 0.7}, {0.18, 0.82},
                      {0, 0.86}},
            .depth_scale = 1.1,
            .strap = {{0.468, 0.32}, {0.468, 0.44}},
            .lens_centre = {0, 0.38, -0.5},
            .lens_half = {0.28, 0.085, 0.05},
            .chin_bar = {{-0.3, 0.02, -0.3}, {-0.16, -0.02, -0.5}, {0.16, -0.02, -0.5}, {0.3, 0.02, -0.3}},
            .chin_bar_radius = 0.09,
            .peak = {{-0.3, 0.66, -0.38}, {0.3, 0.66, -0.38}, {0.36, 0.6, -0.78}, {-0.36, 0.6, -0.78}},
            .peak_normal = {0, 1, -0.15},
            .peak_thickness = 0.03,
        },
};

struct Detail {
    int sides;
    int helmet_sides;
};
const Detail details[lod_levels] = {{12, 16}, {8, 10}, {4, 6}, {3, 5}};

struct Finish {
    double shininess;
    Vec3 specular;
};
const Finish cloth_finish = {12, {0.25, 0.25, 0.25}}, plate_finish = {8, {0.2, 0.2, 0.2}},
             shell_finish = {60, {0.8, 0.8, 0.8}};
// The helmet's gloss, added in the environment pass.
const double gloss_brightness = 0.25;

// ---- the body texture: 256 x 256, one region per garment.
constexpr int texture_size = 256;
struct Region {
    int x0, y0, x1, y1;
    UvRect uv() const { return atlas_rect(texture_size, x0, y0, x1, y1); }
};
const Region jersey{0, 0, 128, 128}, sleeve{128, 0, 256, 64}, pants{128, 64, 256, 128}, boots{0, 128, 128, 192},
    gloves{128, 128, 192, 192}, collar{192, 128, 256, 192}, soles{0, 192, 128, 256};
// The helmet texture.
const Region shell{0, 0, 256, 128}, strap{0, 128, 128, 160}, lens{128, 128, 256, 192}, peak{0, 192, 128, 256},
    chin{128, 192, 256, 256};

struct Kit {
    const char* texture;
    Rgb main, second, pants, boots;
    uint32_t seed;
};
const Kit kits[] = {
    {"rider_body", {0.85, 0.85, 0.88}, {0.1, 0.1, 0.12}, {0.15, 0.15, 0.18}, {0.9, 0.9, 0.9}, 51},
    {"rider_body-alt1", {0.8, 0.1, 0.1}, {0.95, 0.95, 0.95}, {0.8, 0.1, 0.1}, {0.9, 0.9, 0.9}, 52},
    {"rider_body-alt2", {0.1, 0.3, 0.8}, {0.96, 0.82, 0.08}, {0.1, 0.1, 0.12}, {0.1, 0.1, 0.12}, 53},
    {"rider_body-alt3", {0.45, 0.78, 0.1}, {0.1, 0.1, 0.1}, {0.1, 0.1, 0.1}, {0.45, 0.78, 0.1}, 54},
};
struct HelmetPaint {
    const char* texture;
    Rgb shell, stripe, trim;
    uint32_t seed;
};
const HelmetPaint helmets[] = {
    {"rider_head", {0.95, 0.95, 0.95}, {0.1, 0.1, 0.12}, {0.8, 0.1, 0.1}, 61},
    {"rider_head-alt1", {0.1, 0.1, 0.12}, {0.95, 0.45, 0.05}, {0.95, 0.95, 0.95}, 62},
    {"rider_head-alt2", {0.1, 0.3, 0.8}, {0.95, 0.95, 0.95}, {0.96, 0.82, 0.08}, 63},
    {"rider_head-alt3", {0.96, 0.82, 0.08}, {0.1, 0.1, 0.12}, {0.45, 0.78, 0.1}, 64},
};

const Vec3 x_axis{1, 0, 0}, y_axis{0, 1, 0}, z_axis{0, 0, 1};

double smooth_step(double from, double to, double v)
{
    double t = (v - from) / (to - from);
    t = t < 0 ? 0 : t > 1 ? 1 : t;
    return t * t * (3 - 2 * t);
}

// Weights of two bones sharing the skin across a joint at `joint`, along a
// coordinate that grows from the first bone towards the second.
std::vector<BoneWeight> across(int first, int second, double joint, double v)
{
    double w = smooth_step(joint - look.body.blend_half_width, joint + look.body.blend_half_width, v);
    if (w <= 0)
        return {{first, 1}};
    if (w >= 1)
        return {{second, 1}};
    return {{first, 1 - w}, {second, w}};
}

void skin_arm(Mesh* mesh, int side)
{
    int upper = side > 0 ? right_upper_arm : left_upper_arm, fore = side > 0 ? right_forearm : left_forearm;
    for (Vertex& v : mesh->vertices) {
        double s = v.position.x * side;
        // The shoulder blends into the trunk inside the jersey, the elbow
        // between the arm's two bones.
        v.bones = s < (skeleton.shoulder_x + skeleton.elbow_x) / 2 ? across(torso, upper, look.body.shoulder_blend, s)
                                                                     : across(upper, fore, skeleton.elbow_x, s);
    }
}

void skin_leg(Mesh* mesh, int side)
{
    int thigh = side > 0 ? right_thigh : left_thigh, shin = side > 0 ? right_shin : left_shin;
    for (Vertex& v : mesh->vertices) {
        double down = -v.position.y;
        double hip = -skeleton.hip_y + look.body.hip_blend_below;
        v.bones = down < -(skeleton.hip_y + skeleton.knee_y) / 2 ? across(torso, thigh, hip, down)
                                                                  : across(thigh, shin, -skeleton.knee_y, down);
    }
}

Mesh limb_along_x(const std::vector<Station>& stations, int side, double from, int sides, UvRect uv)
{
    std::vector<Ring> rings;
    for (const Station& s : stations)
        if (s.at >= from)
            rings.push_back({{s.at * side, skeleton.arm_y, skeleton.joint_z + s.z}, s.rz, s.rx});
    Mesh m;
    add_tube(&m, rings, sides, y_axis, uv, true, true);
    return m;
}

Mesh limb_along_y(const std::vector<Station>& stations, double x, int sides, UvRect uv)
{
    std::vector<Ring> rings;
    for (const Station& s : stations)
        rings.push_back({{x, s.at, skeleton.joint_z + s.z}, s.rx, s.rz});
    Mesh m;
    // Downwards, so that the tube's start is the top.
    add_tube(&m, rings, sides, x_axis, uv, true, true);
    return m;
}

Model body_model(const Detail& d, bool first_person)
{
    const BodyLook& b = look.body;
    Mesh body;
    // Trunk up the spine; the first-person one stops below the chest.
    std::vector<Ring> rings;
    for (const Station& s : b.trunk) {
        if (first_person && s.at > b.fp_trunk_top)
            break;
        rings.push_back({{0, s.at, skeleton.joint_z + s.z}, s.rx, s.rz});
    }
    if (first_person)
        rings.push_back({{0, b.fp_trunk_cap.at, skeleton.joint_z + b.fp_trunk_cap.z}, b.fp_trunk_cap.rx,
                         b.fp_trunk_cap.rz});
    Mesh trunk_mesh;
    add_tube(&trunk_mesh, rings, d.sides + 2, x_axis, jersey.uv(), true, true);
    bind_all(&trunk_mesh, {{torso, 1}});
    append(&body, trunk_mesh);
    for (int side : {-1, 1}) {
        Mesh arm_mesh = limb_along_x(b.arm, side, first_person ? b.fp_arm_start : 0, d.sides, sleeve.uv());
        skin_arm(&arm_mesh, side);
        append(&body, arm_mesh);
        Mesh fist;
        add_box(&fist, {(hand_x() - b.fist_back) * side, skeleton.arm_y, skeleton.joint_z}, b.fist_half, gloves.uv());
        bind_all(&fist, {{side > 0 ? right_forearm : left_forearm, 1}});
        append(&body, fist);

        double x = skeleton.hip_x * side;
        Mesh leg_mesh = limb_along_y(b.leg, x, d.sides, pants.uv());
        skin_leg(&leg_mesh, side);
        append(&body, leg_mesh);
        Mesh boot_mesh = limb_along_y(b.boot, x, d.sides, boots.uv());
        add_box(&boot_mesh, {x, foot_y() + b.sole_lift, skeleton.joint_z + b.foot_forward}, b.foot_half, soles.uv());
        bind_all(&boot_mesh, {{side > 0 ? right_shin : left_shin, 1}});
        append(&body, boot_mesh);
    }
    body.shininess = cloth_finish.shininess;
    body.specular = cloth_finish.specular;
    Model model;
    model.bone_count = bone_count;
    model.meshes.push_back(body);
    return model;
}

// The rider's number on his back, moving with the trunk. It is skinned like
// the body so that it is posed by the same bones.
Model plate_model()
{
    const BodyLook& b = look.body;
    Mesh m;
    double w = b.plate_half_width;
    // Read from behind, where the viewer's right is +x.
    add_quad(&m, {-w, b.plate_bottom, b.plate_z}, {w, b.plate_bottom, b.plate_z}, {w, b.plate_top, b.plate_z},
             {-w, b.plate_top, b.plate_z}, {0, 0, 1, 1});
    bind_all(&m, {{torso, 1}});
    m.shininess = plate_finish.shininess;
    m.specular = plate_finish.specular;
    Model model;
    model.bone_count = bone_count;
    model.meshes.push_back(m);
    return model;
}

// The helmet about the head joint: +y up through the head, facing -z.
Mesh helmet_shell(int sides)
{
    const HelmetLook& h = look.helmet;
    Mesh m;
    add_lathe(&m, h.centre, y_axis, x_axis, h.shell, sides, {shell.uv()}, 1.0, h.depth_scale);
    return m;
}

Model head_model(const Detail& d)
{
    const HelmetLook& h = look.helmet;
    Mesh m = helmet_shell(d.helmet_sides);
    // Goggles over the eyes on a strap round the shell, the chin bar below
    // and the peak above.
    add_lathe(&m, h.centre, y_axis, x_axis, h.strap, d.helmet_sides, {strap.uv()}, 1.0, h.depth_scale);
    add_box(&m, h.lens_centre, h.lens_half, lens.uv());
    add_pipe(&m, h.chin_bar, h.chin_bar_radius, d.helmet_sides / 2 + 2, y_axis, chin.uv());
    add_slab(&m, h.peak, normalize(h.peak_normal), h.peak_thickness, peak.uv());
    m.shininess = shell_finish.shininess;
    m.specular = shell_finish.specular;
    Model model;
    model.meshes.push_back(m);
    Mesh gloss = helmet_shell(d.helmet_sides);
    gloss.shininess = -1;
    gloss.brightness = gloss_brightness;
    model.meshes.push_back(gloss);
    return model;
}

Picture body_texture(const Kit& kit)
{
    Picture p(texture_size, texture_size, 3);
    uint32_t seed = kit.seed * 2654435761U;
    // Jersey: u runs round the trunk from the right side, so the chest is
    // the second quarter and the back the last.
    fill_noisy(&p, jersey.x0, jersey.y0, jersey.x1, jersey.y1, kit.main, 0.06, seed);
    for (int y = jersey.y0; y < jersey.y1; y++)
        for (int x = jersey.x0; x < jersey.x1; x++) {
            int u = x - jersey.x0;
            bool side_panel = (u < 10 || (u > 54 && u < 74) || u > 118);
            bool chest_band = u > 20 && u < 44 && y > 70 && y < 86;
            if (side_panel || chest_band)
                put_pixel(&p, x, y, kit.second);
        }
    fill_noisy(&p, sleeve.x0, sleeve.y0, sleeve.x1, sleeve.y1, kit.main, 0.06, seed + 1);
    for (int y = sleeve.y0; y < sleeve.y1; y++)
        for (int x = sleeve.x0; x < sleeve.x1; x++) {
            int u = x - sleeve.x0;
            if ((u > 20 && u < 36) || y > sleeve.y1 - 8)
                put_pixel(&p, x, y, kit.second);
        }
    fill_noisy(&p, pants.x0, pants.y0, pants.x1, pants.y1, kit.pants, 0.08, seed + 2);
    for (int y = pants.y0 + 36; y < pants.y0 + 48; y++)
        for (int x = pants.x0; x < pants.x1; x++)
            put_pixel(&p, x, y, scale(kit.second, 0.9));
    fill_noisy(&p, boots.x0, boots.y0, boots.x1, boots.y1, kit.boots, 0.05, seed + 3);
    for (int y = boots.y0 + 6; y < boots.y1; y += 16)
        for (int x = boots.x0; x < boots.x1; x++)
            for (int t = 0; t < 4; t++)
                put_pixel(&p, x, y + t, {0.3, 0.3, 0.32});
    fill_noisy(&p, gloves.x0, gloves.y0, gloves.x1, gloves.y1, kit.second, 0.1, seed + 4);
    fill_noisy(&p, collar.x0, collar.y0, collar.x1, collar.y1, {0.1, 0.1, 0.1}, 0.2, seed + 5);
    fill_noisy(&p, soles.x0, soles.y0, soles.x1, soles.y1, {0.12, 0.12, 0.12}, 0.3, seed + 6);
    for (int y = soles.y0; y < soles.y0 + 20; y++)
        for (int x = soles.x0; x < soles.x1; x++)
            put_pixel(&p, x, y, kit.boots);
    return p;
}

Picture head_texture(const HelmetPaint& paint)
{
    Picture p(texture_size, texture_size, 3);
    uint32_t seed = paint.seed * 2246822519U;
    // Shell: u runs round from the right side (front at a quarter), v from
    // the rim up to the crown. Stripes run over the crown front to back.
    fill_noisy(&p, shell.x0, shell.y0, shell.x1, shell.y1, paint.shell, 0.04, seed);
    for (int y = shell.y0; y < shell.y1; y++)
        for (int x = shell.x0; x < shell.x1; x++) {
            int u = x - shell.x0;
            bool centre_stripe = (u > 56 && u < 72) || (u > 184 && u < 200);
            bool side_flash = y > 40 && y < 70 && ((u > 100 && u < 150) || u < 22 || u > 234);
            bool rim = y > shell.y1 - 10;
            if (centre_stripe || rim)
                put_pixel(&p, x, y, paint.stripe);
            else if (side_flash)
                put_pixel(&p, x, y, paint.trim);
        }
    fill_noisy(&p, strap.x0, strap.y0, strap.x1, strap.y1, paint.trim, 0.1, seed + 1);
    for (int y = strap.y0 + 4; y < strap.y1 - 4; y += 8)
        draw_text(&p, strap.x0 + 8, y - 3, 1, "DUSTLINE", {0.95, 0.95, 0.95});
    for (int y = lens.y0; y < lens.y1; y++)
        for (int x = lens.x0; x < lens.x1; x++) {
            double t = double(y - lens.y0) / (lens.y1 - lens.y0);
            put_pixel(&p, x, y, mix({0.55, 0.45, 0.2}, {0.1, 0.12, 0.2}, t));
        }
    fill_noisy(&p, peak.x0, peak.y0, peak.x1, peak.y1, paint.stripe, 0.05, seed + 2);
    for (int y = peak.y0; y < peak.y1; y++)
        for (int x = peak.x0 + 54; x < peak.x0 + 74; x++)
            put_pixel(&p, x, y, paint.trim);
    fill_noisy(&p, chin.x0, chin.y0, chin.x1, chin.y1, paint.shell, 0.05, seed + 3);
    for (int y = chin.y0 + 20; y < chin.y0 + 44; y++)
        for (int x = chin.x0; x < chin.x1; x++)
            if ((x / 6) % 2 == 0)
                put_pixel(&p, x, y, {0.15, 0.15, 0.15});
    return p;
}

} // namespace

void add_rider(Release* release)
{
    const std::string archive = "rider.saf";
    add_model_chain(release, archive, "rider_body", [](int level) { return body_model(details[level], false); });
    add_model_chain(release, archive, "rider_body_fp", [](int level) { return body_model(details[level], true); });
    add_model_chain(release, archive, "rider_head", [](int level) { return head_model(details[level]); });
    // A single quad already: every level is the same.
    add_model_chain(release, archive, "rider_plate", [](int) { return plate_model(); });
    for (const Kit& kit : kits)
        add_member(release, archive, std::string(kit.texture) + ".png", encode_png(body_texture(kit)));
    for (const HelmetPaint& paint : helmets)
        add_member(release, archive, std::string(paint.texture) + ".png", encode_png(head_texture(paint)));
}
