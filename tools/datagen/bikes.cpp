// Bike models, wheels, collision shapes and their textures ("bikes.saf").
//
// Every part is built in bike coordinates (the bike at rest at the origin,
// +x to the rider's right, +y up, facing -z) around the points where the
// simulation puts its bodies, then moved into the coordinates of the body
// that carries it, since the game draws each part at its body.
#include "assets.h"
#include "mesh.h"
#include "noise.h"
#include "release.h"
#include "shape.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

// ---- the simulated bike: values of the bike definitions, equal for every
// bike, so the drawn bike sits where the simulated one is.
struct Wheel {
    Vec3 axle;
    double ring;
    double tube;
};
struct BikeGeometry {
    Wheel front, rear;
    Vec3 frame, steering_head, fork_lower, swingarm, swingarm_pivot;
    double frame_width;      // frame_size.x
    double fork_leg_spacing; // both legs, centre to centre
    Vec3 right_grip;         // steering-body coordinates; the left grip has -x
    Vec3 right_peg;          // frame coordinates
};
const BikeGeometry bike = {
    {{0, 1.09, 1.11}, 5.0 / 6, 1.0 / 3},
    {{0, 1.04, 6}, 0.75, 1.0 / 3},
    {0, 1.98, 3.6},
    {0, 2.9, 2.16},
    {0, 1.77, 1.59},
    {0, 1.34, 4.99},
    {0, 1.58, 4.17},
    5.0 / 6,
    5.0 / 6,
    {1.097, 1.145, 0.753},
    {0.6, -0.557, 0.584},
};

// ---- how the parts look: every size below is a design choice, in ft and in
// bike coordinates, around the points above. Paired parts are given for the
// right side (+x) and mirrored to the left.
using Profile = std::vector<std::pair<double, double>>; // (radius, height) of a lathe, (z, y) of an outline
struct Box {
    Vec3 centre, half;
};
struct WheelLook {
    // The tread follows the simulated tyre torus up to this angle either
    // side of its crown, so contact and drawing agree when leaning.
    double tread_half_angle;
    double front_rim, rear_rim; // radius of the rim's outer edge
    double rim_half_width, rim_depth, sidewall_rise;
    Profile hub, plain_hub; // the plain one for the coarsest level
    double spoke_flange_radius, spoke_flange_x, spoke_rim_x;
    double disc_x; // brake discs: front on the left, rear on the right
    double front_disc_radius, rear_disc_radius, disc_inner, disc_thickness;
    double sprocket_x, sprocket_radius; // the chain runs on the left
};
struct FrameLook {
    double head_tube_below, head_tube_above, head_tube_radius;
    std::vector<Ring> spar;
    std::vector<Vec3> cradle, subframe, down_tube;
    double cradle_radius, subframe_radius, down_tube_radius;
    std::vector<Ring> crankcase; // along x
    Box crankcase_box;           // the coarsest level's
    Vec3 clutch_cover;
    Profile clutch_cover_profile;
    Vec3 ignition_cover;
    Profile ignition_cover_profile;
    Vec3 cylinder_base, cylinder_top;
    double cylinder_rx, cylinder_rz;
    int fins;
    Vec3 fin_half;
    double finned_barrel_radius;
    Vec3 head_centre, four_stroke_head_half, two_stroke_head_half;
    std::vector<Ring> tank, seat;
    Box radiator;
    Profile shroud;
    double shroud_x, panel_thickness;
    Profile side_panel;
    double side_panel_x;
    std::vector<Ring> rear_fender; // rx the half width, ry the thickness
    Box airbox;
    Vec3 shock_bottom, shock_top;
    Profile shock; // up to the spring's top; the body then runs to the top mount
    double shock_body_radius;
    std::vector<Ring> four_stroke_header, two_stroke_chamber;
    std::vector<Vec3> silencer;
    double four_stroke_silencer, two_stroke_silencer, silencer_inlet, silencer_end;
    double peg_inset;
    Vec3 peg_half;
    double peg_mount_x;
    Vec3 peg_mount_half;
    Box brake_pedal, shift_lever; // the pedal on the right, the lever on the left
    Vec3 countershaft;
    double countershaft_radius, sprocket_half_thickness;
};
struct ForkLook {
    // Positions along the line of the legs, measured from the front axle.
    double outer_tube_from, outer_tube_to, outer_tube_radius;
    double inner_tube_from, inner_tube_to, inner_tube_radius;
    double top_clamp_at, bottom_clamp_at, clamp_back;
    Vec3 top_clamp_half, bottom_clamp_half; // across, along the legs, fore and aft
    std::vector<Vec3> riser;
    double riser_radius;
    std::vector<Vec3> bar; // from the middle out; ends at the grip
    double bar_radius, grip_from, grip_radius, bar_pad_half_length, bar_pad_radius;
    Box lever_perch, lever;
    std::vector<Ring> front_fender;
    double axle_lug_at;
    Vec3 axle_lug_half;
    double guard_at, guard_ahead;
    Vec3 guard_half;
    double axle_radius, axle_overhang;
    Vec3 caliper_offset, caliper_half; // from the front axle, x from the disc
    double front_plate_at, front_plate_ahead, front_plate_thickness;
    Profile front_plate; // (across, along the legs) about its centre
};
struct SwingarmLook {
    double arm_x; // centre to centre of the drawn arms
    // Stations along the arm: the fraction of the way from the pivot to
    // the axle, a lift above that line, and the section (rx across, ry up).
    struct Station {
        double t, lift, rx, ry;
    };
    std::vector<Station> arm;
    Vec3 axle_block_half;
    double pivot_half_length, pivot_radius;
    Box cross_member;
    double axle_half_length, axle_radius;
    double chain_rx, chain_ry;
    Vec3 caliper_offset, caliper_half; // from the rear axle, x from the disc
    Box chain_guide;
};
struct PlateLook {
    // Side plates: the number area on the side panels, just outside them.
    double side_z0, side_z1, side_y0, side_y1, lift;
    // Front plate: the number area about the plate's centre.
    double front_half_width, front_below, front_above;
};
struct BikeLook {
    WheelLook wheel;
    FrameLook frame;
    ForkLook fork;
    SwingarmLook swingarm;
    PlateLook plates;
};
const BikeLook look = {
    .wheel =
        {
            .tread_half_angle = 40 * pi / 180,
            .front_rim = 0.87,
            .rear_rim = 0.77,
            .rim_half_width = 0.1,
            .rim_depth = 0.06,
            .sidewall_rise = 0.1,
            .hub = {{0, -0.24}, {0.09, -0.24}, {0.09, -0.17}, {0.16, -0.16}, {0.16, -0.12}, {0.11, -0.1}, {0.11, 0.1},
                    {0.16, 0.12}, {0.16, 0.16}, {0.09, 0.17}, {0.09, 0.24}, {0, 0.24}},
            .plain_hub = {{0, -0.24}, {0.13, -0.24}, {0.13, 0.24}, {0, 0.24}},
            .spoke_flange_radius = 0.15,
            .spoke_flange_x = 0.14,
            .spoke_rim_x = 0.03,
            .disc_x = 0.2,
            .front_disc_radius = 0.45,
            .rear_disc_radius = 0.38,
            .disc_inner = 0.09,
            .disc_thickness = 0.02,
            .sprocket_x = -0.2,
            .sprocket_radius = 0.52,
        },
    .frame =
        {
            .head_tube_below = 0.5,
            .head_tube_above = 0.02,
            .head_tube_radius = 0.1,
            .spar = {{{0.10, 2.80, 2.30}, 0.05, 0.12},
                     {{0.28, 2.66, 2.80}, 0.05, 0.14},
                     {{0.35, 2.40, 3.50}, 0.05, 0.14},
                     {{0.35, 1.95, 4.02}, 0.05, 0.13},
                     {{0.33, 1.52, 4.20}, 0.05, 0.11}},
            .cradle = {{0.33, 1.52, 4.20}, {0.25, 1.05, 4.02}, {0.14, 0.84, 3.55}, {0.12, 0.86, 2.85},
                       {0.05, 1.22, 2.70}},
            .subframe = {{0.3, 2.2, 4.1}, {0.25, 2.75, 4.9}, {0.2, 3.05, 5.8}},
            .down_tube = {{0, 1.22, 2.70}, {0, 1.85, 2.45}, {0, 2.43, 2.02}},
            .cradle_radius = 0.045,
            .subframe_radius = 0.035,
            .down_tube_radius = 0.07,
            .crankcase = {{{-0.25, 1.35, 3.4}, 0.5, 0.36},
                          {{-0.2, 1.35, 3.4}, 0.56, 0.41},
                          {{0.2, 1.35, 3.4}, 0.56, 0.41},
                          {{0.25, 1.35, 3.4}, 0.5, 0.36}},
            .crankcase_box = {{0, 1.35, 3.4}, {0.25, 0.4, 0.55}},
            .clutch_cover = {0.25, 1.3, 3.45},
            .clutch_cover_profile = {{0, 0}, {0.3, 0}, {0.3, 0.05}, {0.22, 0.08}, {0, 0.08}},
            .ignition_cover = {-0.25, 1.35, 3.6},
            .ignition_cover_profile = {{0, 0}, {0.25, 0}, {0.25, 0.05}, {0.18, 0.07}, {0, 0.07}},
            .cylinder_base = {0, 1.75, 3.35},
            .cylinder_top = {0, 2.35, 3.1},
            .cylinder_rx = 0.2,
            .cylinder_rz = 0.22,
            .fins = 5,
            .fin_half = {0.24, 0.03, 0.24},
            .finned_barrel_radius = 0.16,
            .head_centre = {0, 2.47, 3.05},
            .four_stroke_head_half = {0.22, 0.12, 0.25},
            .two_stroke_head_half = {0.18, 0.08, 0.2},
            .tank = {{{0, 2.95, 2.45}, 0.2, 0.16},
                     {{0, 2.98, 2.75}, 0.33, 0.24},
                     {{0, 2.98, 3.2}, 0.32, 0.23},
                     {{0, 3.0, 3.55}, 0.2, 0.14}},
            .seat = {{{0, 3.12, 2.85}, 0.14, 0.05},
                     {{0, 3.2, 3.2}, 0.24, 0.09},
                     {{0, 3.2, 4.4}, 0.26, 0.1},
                     {{0, 3.22, 5.4}, 0.22, 0.09},
                     {{0, 3.27, 5.85}, 0.14, 0.06}},
            .radiator = {{0.3, 2.55, 2.65}, {0.08, 0.35, 0.2}},
            .shroud = {{2.3, 2.65}, {2.55, 3.05}, {3.2, 3.12}, {3.45, 2.85}, {3.05, 2.25}, {2.55, 2.15}},
            .shroud_x = 0.43,
            .panel_thickness = 0.04,
            .side_panel = {{4.35, 2.6}, {4.5, 3.15}, {5.5, 3.17}, {5.55, 2.75}, {4.95, 2.5}},
            .side_panel_x = 0.36,
            .rear_fender = {{{0, 3.12, 5.3}, 0.24, 0.03}, {{0, 3.28, 6.1}, 0.22, 0.03}, {{0, 3.42, 6.75}, 0.15, 0.03}},
            .airbox = {{0, 2.75, 4.55}, {0.28, 0.33, 0.4}},
            .shock_bottom = {0, 1.5, 4.45},
            .shock_top = {0, 2.75, 3.95},
            .shock = {{0, 0}, {0.06, 0}, {0.06, 0.12}, {0.13, 0.15}, {0.13, 0.9}, {0.09, 0.93}},
            .shock_body_radius = 0.09,
            .four_stroke_header = {{{0.05, 2.4, 2.82}, 0.06, 0.06},
                                   {{0.12, 2.2, 2.62}, 0.06, 0.06},
                                   {{0.28, 1.85, 2.72}, 0.06, 0.06},
                                   {{0.36, 1.75, 3.3}, 0.06, 0.06},
                                   {{0.40, 1.95, 4.0}, 0.06, 0.06},
                                   {{0.42, 2.2, 4.55}, 0.06, 0.06}},
            .two_stroke_chamber = {{{0.0, 1.9, 2.88}, 0.07, 0.07},
                                   {{0.04, 1.65, 2.55}, 0.09, 0.09},
                                   {{0.18, 1.2, 2.55}, 0.15, 0.15},
                                   {{0.42, 1.05, 3.15}, 0.17, 0.17},
                                   {{0.40, 1.3, 3.75}, 0.13, 0.13},
                                   {{0.40, 1.75, 4.15}, 0.08, 0.08},
                                   {{0.42, 2.2, 4.55}, 0.06, 0.06}},
            .silencer = {{0.42, 2.2, 4.55}, {0.43, 2.27, 4.8}, {0.44, 2.45, 5.5}, {0.45, 2.6, 6.15}},
            .four_stroke_silencer = 0.15,
            .two_stroke_silencer = 0.13,
            .silencer_inlet = 0.08,
            .silencer_end = 0.8,
            .peg_inset = 0.05,
            .peg_half = {0.17, 0.04, 0.08},
            .peg_mount_x = 0.35,
            .peg_mount_half = {0.04, 0.09, 0.09},
            .brake_pedal = {{0.42, 1.45, 3.85}, {0.03, 0.03, 0.22}},
            .shift_lever = {{-0.4, 1.55, 3.85}, {0.03, 0.03, 0.2}},
            .countershaft = {-0.2, 1.72, 3.92},
            .countershaft_radius = 0.16,
            .sprocket_half_thickness = 0.015,
        },
    .fork =
        {
            .outer_tube_from = 1.05,
            .outer_tube_to = 2.4,
            .outer_tube_radius = 0.095,
            .inner_tube_from = 0.12,
            .inner_tube_to = 1.4,
            .inner_tube_radius = 0.068,
            .top_clamp_at = 2.2,
            .bottom_clamp_at = 1.5,
            .clamp_back = 0.05,
            .top_clamp_half = {0.55, 0.05, 0.17},
            .bottom_clamp_half = {0.52, 0.07, 0.16},
            .riser = {{0.18, 2.99, 2.22}, {0.18, 3.6, 2.61}},
            .riser_radius = 0.055,
            .bar = {{0, 3.64, 2.63}, {0.25, 3.64, 2.63}, {0.5, 3.9, 2.78}, {0.78, 4.04, 2.91}, {1.13, 4.045, 2.913}},
            .bar_radius = 0.045,
            .grip_from = 0.8,
            .grip_radius = 0.075,
            .bar_pad_half_length = 0.24,
            .bar_pad_radius = 0.09,
            .lever_perch = {{0.72, 4.0, 2.86}, {0.04, 0.05, 0.06}},
            .lever = {{0.92, 4.0, 2.78}, {0.17, 0.02, 0.025}},
            .front_fender = {{{0, 2.3, 2.15}, 0.22, 0.035},
                             {{0, 2.38, 1.7}, 0.26, 0.035},
                             {{0, 2.42, 1.15}, 0.26, 0.035},
                             {{0, 2.33, 0.6}, 0.24, 0.035},
                             {{0, 2.1, 0.2}, 0.2, 0.035}},
            .axle_lug_at = 0.05,
            .axle_lug_half = {0.07, 0.17, 0.1},
            .guard_at = 0.6,
            .guard_ahead = 0.075,
            .guard_half = {0.075, 0.35, 0.035},
            .axle_radius = 0.04,
            .axle_overhang = 0.02,
            .caliper_offset = {0, 0.15, 0.36},
            .caliper_half = {0.06, 0.12, 0.09},
            .front_plate_at = 2.28,
            .front_plate_ahead = 0.18,
            .front_plate_thickness = 0.03,
            .front_plate = {{-0.42, -0.4}, {0.42, -0.4}, {0.47, 0.2}, {0.32, 0.42}, {-0.32, 0.42}, {-0.47, 0.2}},
        },
    .swingarm =
        {
            .arm_x = 0.68,
            .arm = {{0, 0.02, 0.06, 0.12},
                    {0.35, 0.05, 0.06, 0.14},
                    {0.97, 0.02, 0.05, 0.09},
                    {1.09, -0.02, 0.05, 0.07}},
            .axle_block_half = {0.06, 0.07, 0.1},
            .pivot_half_length = 0.42,
            .pivot_radius = 0.09,
            .cross_member = {{0, 1.5, 4.5}, {0.32, 0.08, 0.12}},
            .axle_half_length = 0.4,
            .axle_radius = 0.035,
            .chain_rx = 0.02,
            .chain_ry = 0.03,
            .caliper_offset = {0, -0.26, -0.18},
            .caliper_half = {0.05, 0.1, 0.12},
            .chain_guide = {{-0.2, 1.13, 4.75}, {0.05, 0.09, 0.18}},
        },
    .plates =
        {
            .side_z0 = 4.62,
            .side_z1 = 5.32,
            .side_y0 = 2.68,
            .side_y1 = 3.08,
            .lift = 0.01,
            .front_half_width = 0.34,
            .front_below = 0.32,
            .front_above = 0.3,
        },
};

// Detail of each level of the chain: sides of round parts and which parts
// are drawn at all.
struct Detail {
    int tube;    // frame tubes, pipes
    int round;   // fork tubes, covers, shock
    int wheel;   // tyre and rim
    int hub;
    int crown;   // steps across the tread; even, so a ring runs on the crown
    bool small;  // levers, fins, chain guide
    bool medium; // covers, subframe, calipers, chain, guards, brake discs
};
const Detail details[lod_levels] = {
    {8, 14, 36, 12, 6, true, true},
    {6, 8, 16, 8, 4, false, true},
    {4, 4, 8, 4, 2, false, false},
    {4, 3, 6, 3, 2, false, false},
};

// Specular colour and shininess of each kind of model.
struct Finish {
    double shininess;
    Vec3 specular;
};
const Finish plastic_finish = {40, {0.6, 0.6, 0.6}}, metal_finish = {48, {0.9, 0.9, 0.9}},
             slider_finish = {64, {0.9, 0.9, 0.9}}, wheel_finish = {24, {0.5, 0.5, 0.5}},
             plate_finish = {16, {0.2, 0.2, 0.2}};
// The chrome of the fork sliders, drawn again in the environment pass.
const Finish chrome_finish = {-1, {1, 0.95, 0.8}};
const double chrome_brightness = 0.45;

// ---- the bike texture: one 256 x 256 atlas for every part of a bike.
constexpr int bike_texture_size = 256;
struct Region {
    int x0, y0, x1, y1;
    UvRect uv() const { return atlas_rect(bike_texture_size, x0, y0, x1, y1); }
};
const Region plastic{0, 0, 128, 128}, accent{128, 0, 192, 64}, plate_bg{192, 0, 256, 64}, metal{128, 64, 192, 128},
    engine{192, 64, 256, 128}, seat{0, 128, 128, 192}, exhaust{128, 128, 192, 192}, fork_outer{192, 128, 224, 192},
    fork_inner{224, 128, 256, 192}, rubber{0, 192, 64, 256}, chain{64, 192, 128, 256}, radiator{128, 192, 192, 256},
    spring{192, 192, 256, 256};

// ---- the wheel texture: 256 x 256 with alpha, so the spokes are cut out.
constexpr int wheel_texture_size = 256;
struct WheelRegion {
    int x0, y0, x1, y1;
    UvRect uv() const { return atlas_rect(wheel_texture_size, x0, y0, x1, y1); }
};
const WheelRegion tread{0, 0, 256, 64}, sidewall{0, 64, 256, 96}, rim_band{0, 96, 256, 128}, spokes{0, 128, 128, 256},
    hub_band{128, 128, 192, 192}, brake_disc{192, 128, 256, 192}, sprocket_disc{128, 192, 192, 256};

// ---- the families and their paint.
struct Family {
    const char* prefix; // model file names start with it
    bool two_stroke;    // expansion chamber instead of a header pipe
};
const Family families[] = {
    {"dl250", false}, {"dk250f", false}, {"dz250", false}, {"dy250f", false}, {"dl125", true},
    {"dk125", true},  {"dz125", true},   {"dy125", true},  {"125dx", true},
};

struct Paint {
    const char* texture; // file name without ".png"
    Rgb plastic, accent, frame, plate;
    const char* badge;
    uint32_t seed;
};
// The defaults of the bike definitions, then the "-alt<n>" graphics the
// robot riders ask for.
const Paint paints[] = {
    {"dl250", {0.82, 0.08, 0.08}, {0.95, 0.95, 0.95}, {0.72, 0.72, 0.74}, {0.08, 0.08, 0.1}, "DL250", 11},
    {"dk250f", {0.45, 0.78, 0.1}, {0.1, 0.1, 0.1}, {0.7, 0.72, 0.7}, {0.06, 0.06, 0.06}, "DK250F", 12},
    {"dz250", {0.96, 0.82, 0.08}, {0.1, 0.2, 0.6}, {0.7, 0.7, 0.72}, {0.08, 0.08, 0.1}, "DZ250", 13},
    {"dy250f", {0.1, 0.25, 0.78}, {0.95, 0.95, 0.95}, {0.15, 0.2, 0.5}, {0.05, 0.05, 0.1}, "DY250F", 14},
    {"dy250f_se", {0.94, 0.94, 0.92}, {0.1, 0.25, 0.78}, {0.85, 0.7, 0.25}, {0.05, 0.05, 0.1}, "SE", 15},
    {"dl125", {0.82, 0.08, 0.08}, {0.1, 0.1, 0.1}, {0.72, 0.72, 0.74}, {0.06, 0.06, 0.06}, "DL125", 16},
    {"dk125", {0.45, 0.78, 0.1}, {0.95, 0.95, 0.95}, {0.35, 0.4, 0.35}, {0.06, 0.06, 0.06}, "DK125", 17},
    {"dz125", {0.96, 0.82, 0.08}, {0.1, 0.1, 0.1}, {0.6, 0.6, 0.62}, {0.08, 0.08, 0.1}, "DZ125", 18},
    {"dy125", {0.1, 0.25, 0.78}, {0.96, 0.82, 0.08}, {0.6, 0.6, 0.62}, {0.05, 0.05, 0.1}, "DY125", 19},
    {"125dx", {0.95, 0.45, 0.05}, {0.1, 0.1, 0.1}, {0.7, 0.7, 0.72}, {0.06, 0.06, 0.06}, "125DX", 20},
    {"dl250-alt1", {0.1, 0.1, 0.12}, {0.82, 0.08, 0.08}, {0.72, 0.72, 0.74}, {0.82, 0.08, 0.08}, "DL250", 21},
    {"dl250-alt2", {0.95, 0.95, 0.95}, {0.82, 0.08, 0.08}, {0.3, 0.3, 0.32}, {0.08, 0.08, 0.1}, "DL250", 22},
    {"dk250f-alt1", {0.1, 0.1, 0.1}, {0.45, 0.78, 0.1}, {0.7, 0.72, 0.7}, {0.45, 0.78, 0.1}, "DK250F", 23},
    {"dk250f-alt2", {0.95, 0.95, 0.95}, {0.45, 0.78, 0.1}, {0.3, 0.3, 0.3}, {0.06, 0.06, 0.06}, "DK250F", 24},
    {"dz250-alt1", {0.1, 0.2, 0.6}, {0.96, 0.82, 0.08}, {0.7, 0.7, 0.72}, {0.96, 0.82, 0.08}, "DZ250", 25},
    {"dz250-alt2", {0.95, 0.95, 0.95}, {0.96, 0.82, 0.08}, {0.3, 0.3, 0.32}, {0.08, 0.08, 0.1}, "DZ250", 26},
    {"dy250f-alt1", {0.95, 0.95, 0.95}, {0.1, 0.25, 0.78}, {0.15, 0.2, 0.5}, {0.1, 0.25, 0.78}, "DY250F", 27},
    {"dy250f-alt2", {0.1, 0.1, 0.12}, {0.1, 0.25, 0.78}, {0.6, 0.6, 0.62}, {0.05, 0.05, 0.1}, "DY250F", 28},
    {"dl125-alt1", {0.95, 0.95, 0.95}, {0.82, 0.08, 0.08}, {0.72, 0.72, 0.74}, {0.82, 0.08, 0.08}, "DL125", 29},
    {"dk125-alt1", {0.1, 0.1, 0.1}, {0.45, 0.78, 0.1}, {0.35, 0.4, 0.35}, {0.45, 0.78, 0.1}, "DK125", 30},
    {"dz125-alt1", {0.1, 0.2, 0.6}, {0.96, 0.82, 0.08}, {0.6, 0.6, 0.62}, {0.96, 0.82, 0.08}, "DZ125", 31},
    {"dy125-alt1", {0.96, 0.82, 0.08}, {0.1, 0.25, 0.78}, {0.6, 0.6, 0.62}, {0.1, 0.25, 0.78}, "DY125", 32},
};

struct WheelPaint {
    const char* texture;
    Rgb rim, hub;
    uint32_t seed;
};
const WheelPaint wheel_paints[] = {
    {"wheels", {0.12, 0.12, 0.13}, {0.7, 0.7, 0.72}, 41},
    {"wheels-alt1", {0.75, 0.6, 0.15}, {0.15, 0.15, 0.17}, 42},
    {"wheels-alt2", {0.1, 0.3, 0.75}, {0.75, 0.75, 0.77}, 43},
};

// ---- collision shapes: spheres in bike coordinates, moved onto their body.
// Bike parts are metal and plastic on dirt; the rider's body is softer
// than the parts so that a rider meets a bike through his own values.
struct ShapeMaterial {
    double friction, stiffness, damping;
};
const ShapeMaterial part_material = {0.5, 2500, 250}, tyre_material = {0.9, 2500, 250},
                    rider_material = {0.7, 1500, 150};
struct Ball {
    Vec3 at;
    double radius;
    bool pair; // also the mirror image at -x
};
const std::vector<Ball> frame_balls = {
    {{0, 1.05, 3.4}, 0.32, false},   {{0, 1.3, 2.85}, 0.3, false},   {{0, 2.95, 3.0}, 0.35, false},
    {{0.42, 2.65, 2.65}, 0.3, true}, {{0, 3.15, 4.3}, 0.28, false},  {{0, 3.15, 5.3}, 0.28, false},
    {{0, 3.3, 6.35}, 0.25, false},   {{0.36, 2.8, 4.95}, 0.25, true}, {{0.62, 1.423, 4.184}, 0.12, true},
    {{0.45, 2.6, 6.0}, 0.18, false},
};
const std::vector<Ball> fork_upper_balls = {
    {{1.0, 4.04, 2.9}, 0.12, true}, {{0, 3.64, 2.63}, 0.18, false}, {{0, 3.0, 2.2}, 0.25, false},
    {{0, 3.25, 1.89}, 0.3, false},  {{0, 2.42, 1.2}, 0.22, false},  {{0, 2.1, 0.25}, 0.15, false},
};
const std::vector<Ball> fork_lower_balls = {
    {{5.0 / 12, 1.09, 1.11}, 0.12, true},
    {{5.0 / 12, 1.5, 1.32}, 0.1, true},
};
const std::vector<Ball> swingarm_balls = {
    {{0.34, 1.52, 4.45}, 0.12, true}, {{0.34, 1.3, 5.2}, 0.12, true}, {{0.34, 1.05, 5.95}, 0.1, true},
};
// The torso in its own coordinates: hips, belly, chest and helmet.
const std::vector<Ball> rider_balls = {
    {{0, -0.55, 0.65}, 0.42, false},
    {{0, 0.0, 0.0}, 0.45, false},
    {{0, 0.5, -0.55}, 0.42, false},
    {{0, 1.25, -1.05}, 0.45, false},
};
constexpr int tyre_balls = 12;

// ---- geometry shared by the parts

const Vec3 x_axis{1, 0, 0}, y_axis{0, 1, 0}, z_axis{0, 0, 1};

// The steering axis, upwards, and the unit vector square to it that points
// backwards in the bike's middle plane.
Vec3 steering_axis()
{
    return normalize(bike.steering_head - bike.fork_lower);
}
Vec3 steering_back()
{
    return normalize(cross(x_axis, steering_axis()));
}
// A point on the line of the fork legs, at distance t from the front axle
// (the legs run parallel to the steering axis through the axle).
Vec3 leg_line(double t, double x)
{
    return bike.front.axle + steering_axis() * t + Vec3{x, 0, 0};
}

std::vector<Vec3> outline_at_x(const Profile& zy, double x)
{
    std::vector<Vec3> out;
    for (const auto& [z, y] : zy)
        out.push_back({x, y, z});
    return out;
}

std::vector<Ring> mirrored(std::vector<Ring> rings, double side)
{
    for (Ring& r : rings)
        r.centre.x *= side;
    return rings;
}

std::vector<Vec3> mirrored(std::vector<Vec3> points, double side)
{
    for (Vec3& p : points)
        p.x *= side;
    return points;
}

Vec3 mirrored(Vec3 p, double side)
{
    p.x *= side;
    return p;
}

// The mesh as a one-mesh model with its finish.
Model finished(Mesh mesh, const Finish& finish)
{
    mesh.shininess = finish.shininess;
    mesh.specular = finish.specular;
    Model model;
    model.meshes.push_back(std::move(mesh));
    return model;
}

// ---- the parts

Mesh frame_mesh(const Family& family, const Detail& d)
{
    const FrameLook& f = look.frame;
    Mesh m;
    Vec3 u = steering_axis();
    // Head tube round the steering axis, below the steering head.
    add_pipe(&m, {bike.steering_head - u * f.head_tube_below, bike.steering_head + u * f.head_tube_above},
             f.head_tube_radius, d.round, z_axis, metal.uv());
    // Twin spars from the head tube to the swingarm pivot, and the cradle
    // that closes the loop under the engine.
    for (double s : {1.0, -1.0}) {
        add_tube(&m, mirrored(f.spar, s), d.tube, x_axis, metal.uv(), true, true);
        add_pipe(&m, mirrored(f.cradle, s), f.cradle_radius, d.tube, y_axis, metal.uv());
        if (d.medium)
            add_pipe(&m, mirrored(f.subframe, s), f.subframe_radius, d.tube, y_axis, metal.uv());
    }
    add_pipe(&m, f.down_tube, f.down_tube_radius, d.tube, x_axis, metal.uv());
    // Engine: crankcase, side covers, cylinder and head.
    if (d.medium) {
        add_tube(&m, f.crankcase, d.round, z_axis, engine.uv(), true, true);
        LatheUv cover{engine.uv(), true, 0, f.clutch_cover_profile[1].first};
        add_lathe(&m, f.clutch_cover, x_axis, y_axis, f.clutch_cover_profile, d.round, cover);
        add_lathe(&m, f.ignition_cover, -x_axis, y_axis, f.ignition_cover_profile, d.round, cover);
    } else {
        add_box(&m, f.crankcase_box.centre, f.crankcase_box.half, engine.uv());
    }
    Vec3 bore = normalize(f.cylinder_top - f.cylinder_base);
    if (family.two_stroke && d.small) {
        // Air-cooled look: a stack of fins up the barrel.
        for (int i = 0; i < f.fins; i++) {
            Vec3 c = f.cylinder_base + (f.cylinder_top - f.cylinder_base) * ((i + 0.5) / f.fins);
            add_box(&m, c, f.fin_half, engine.uv(), x_axis, bore, cross(x_axis, bore));
        }
        add_pipe(&m, {f.cylinder_base, f.cylinder_top}, f.finned_barrel_radius, d.round, x_axis, engine.uv());
    } else {
        add_tube(&m, {{f.cylinder_base, f.cylinder_rx, f.cylinder_rz}, {f.cylinder_top, f.cylinder_rx, f.cylinder_rz}},
                 d.round, x_axis, engine.uv(), false, true);
    }
    add_box(&m, f.head_centre, family.two_stroke ? f.two_stroke_head_half : f.four_stroke_head_half, engine.uv());
    // Tank, seat, radiators, shrouds, side panels, rear fender, airbox.
    add_tube(&m, f.tank, d.tube + 2, x_axis, accent.uv(), true, true);
    add_tube(&m, f.seat, d.tube + 2, x_axis, seat.uv(), true, true);
    for (double s : {1.0, -1.0}) {
        add_box(&m, mirrored(f.radiator.centre, s), f.radiator.half, radiator.uv());
        add_slab(&m, outline_at_x(f.shroud, f.shroud_x * s), {s, 0, 0}, f.panel_thickness, plastic.uv());
        add_slab(&m, outline_at_x(f.side_panel, f.side_panel_x * s), {s, 0, 0}, f.panel_thickness, plate_bg.uv());
    }
    add_tube(&m, f.rear_fender, d.tube, x_axis, plastic.uv(), true, true);
    if (d.medium)
        add_box(&m, f.airbox.centre, f.airbox.half, engine.uv());
    // Shock absorber behind the engine, from its linkage to the frame.
    double stroke = length(f.shock_top - f.shock_bottom);
    Profile shock = f.shock;
    shock.push_back({f.shock_body_radius, stroke});
    shock.push_back({0, stroke});
    add_lathe(&m, f.shock_bottom, f.shock_top - f.shock_bottom, x_axis, shock, d.round, {spring.uv()});
    // Exhaust on the right: a header into a silencer, or a two-stroke's
    // expansion chamber into a slimmer one.
    add_tube(&m, family.two_stroke ? f.two_stroke_chamber : f.four_stroke_header, d.tube, y_axis, exhaust.uv(), true,
             false);
    double r = family.two_stroke ? f.two_stroke_silencer : f.four_stroke_silencer;
    std::vector<Ring> silencer;
    for (size_t i = 0; i < f.silencer.size(); i++) {
        double ri = i == 0 ? f.silencer_inlet : i + 1 == f.silencer.size() ? r * f.silencer_end : r;
        silencer.push_back({f.silencer[i], ri, ri});
    }
    add_tube(&m, silencer, d.tube + 2, y_axis, exhaust.uv(), true, true);
    // Foot pegs on their mounts, where the rider's feet go.
    for (double s : {1.0, -1.0}) {
        Vec3 peg = mirrored(bike.frame + bike.right_peg, s);
        add_box(&m, peg - Vec3{f.peg_inset * s, 0, 0}, f.peg_half, engine.uv());
        if (d.medium)
            add_box(&m, {f.peg_mount_x * s, peg.y, peg.z}, f.peg_mount_half, metal.uv());
    }
    if (d.small) {
        add_box(&m, f.brake_pedal.centre, f.brake_pedal.half, metal.uv());
        add_box(&m, f.shift_lever.centre, f.shift_lever.half, metal.uv());
        double t = f.sprocket_half_thickness, cr = f.countershaft_radius;
        add_lathe(&m, f.countershaft, x_axis, y_axis, {{0, -t}, {cr, -t}, {cr, t}, {0, t}}, d.round, {chain.uv()});
    }
    translate(&m, -bike.frame);
    return m;
}

Mesh fork_upper_mesh(const Detail& d)
{
    const ForkLook& f = look.fork;
    Mesh m;
    Vec3 u = steering_axis(), back = steering_back();
    double leg = bike.fork_leg_spacing / 2;
    for (double s : {1.0, -1.0})
        add_pipe(&m, {leg_line(f.outer_tube_from, leg * s), leg_line(f.outer_tube_to, leg * s)}, f.outer_tube_radius,
                 d.round, z_axis, fork_outer.uv());
    // Triple clamps reach from the legs back to the steering stem.
    add_box(&m, leg_line(f.top_clamp_at, 0) + back * f.clamp_back, f.top_clamp_half, metal.uv(), x_axis, u, back);
    add_box(&m, leg_line(f.bottom_clamp_at, 0) + back * f.clamp_back, f.bottom_clamp_half, metal.uv(), x_axis, u,
            back);
    // Handlebar on risers, out to the grips of the bike definitions.
    std::vector<Vec3> bar;
    for (auto p = f.bar.rbegin(); p != f.bar.rend(); ++p)
        bar.push_back(mirror_x(*p));
    bar.insert(bar.end(), f.bar.begin() + 1, f.bar.end());
    add_pipe(&m, bar, f.bar_radius, d.tube, y_axis, metal.uv());
    Vec3 grip = bike.steering_head + bike.right_grip, bar_end = f.bar.back();
    for (double s : {1.0, -1.0}) {
        add_pipe(&m, mirrored(f.riser, s), f.riser_radius, d.round, y_axis, metal.uv());
        add_pipe(&m, {{f.grip_from * s, grip.y, grip.z}, mirrored(bar_end, s)}, f.grip_radius, d.round, y_axis,
                 rubber.uv());
        if (d.small) {
            add_box(&m, mirrored(f.lever_perch.centre, s), f.lever_perch.half, metal.uv());
            add_box(&m, mirrored(f.lever.centre, s), f.lever.half, metal.uv());
        }
    }
    if (d.medium)
        add_pipe(&m, {f.bar[0] - Vec3{f.bar_pad_half_length, 0, 0}, f.bar[0] + Vec3{f.bar_pad_half_length, 0, 0}},
                 f.bar_pad_radius, d.round, y_axis, accent.uv());
    // Front fender under the bottom clamp, clear of the tyre at rest.
    add_tube(&m, f.front_fender, d.tube, x_axis, plastic.uv(), true, true);
    // Number plate in front of the clamps; the number itself is the front
    // plate model, drawn just in front of it.
    Vec3 centre = leg_line(f.front_plate_at, 0) - back * f.front_plate_ahead;
    std::vector<Vec3> plate;
    for (auto [x, t] : f.front_plate)
        plate.push_back(centre + Vec3{x, 0, 0} + u * t);
    add_slab(&m, plate, -back, f.front_plate_thickness, plate_bg.uv());
    translate(&m, -bike.steering_head);
    return m;
}

Mesh fork_sliders(const Detail& d)
{
    const ForkLook& f = look.fork;
    Mesh m;
    double leg = bike.fork_leg_spacing / 2;
    for (double s : {1.0, -1.0})
        add_pipe(&m, {leg_line(f.inner_tube_from, leg * s), leg_line(f.inner_tube_to, leg * s)}, f.inner_tube_radius,
                 d.round, z_axis, fork_inner.uv());
    return m;
}

Model fork_lower_model(const Detail& d)
{
    const ForkLook& f = look.fork;
    Mesh m = fork_sliders(d);
    Vec3 u = steering_axis(), back = steering_back();
    double leg = bike.fork_leg_spacing / 2;
    for (double s : {1.0, -1.0}) {
        add_box(&m, leg_line(f.axle_lug_at, leg * s), f.axle_lug_half, metal.uv(), x_axis, u, back);
        if (d.medium)
            add_box(&m, leg_line(f.guard_at, leg * s) - back * f.guard_ahead, f.guard_half, accent.uv(), x_axis, u,
                    back);
    }
    // Axle between the legs, and the brake caliper on the left disc.
    Vec3 axle_end{leg + f.axle_overhang, 0, 0};
    add_pipe(&m, {bike.front.axle - axle_end, bike.front.axle + axle_end}, f.axle_radius, d.round, y_axis, metal.uv());
    if (d.medium)
        add_box(&m, bike.front.axle + f.caliper_offset - Vec3{look.wheel.disc_x, 0, 0}, f.caliper_half, engine.uv());
    Model model = finished(m, slider_finish);
    // Chrome sliders catch the sky: the same tubes again, environment-mapped.
    Mesh chrome = fork_sliders(d);
    chrome.shininess = chrome_finish.shininess;
    chrome.specular = chrome_finish.specular;
    chrome.brightness = chrome_brightness;
    model.meshes.push_back(chrome);
    for (Mesh& mesh : model.meshes)
        translate(&mesh, -bike.fork_lower);
    return model;
}

Mesh swingarm_mesh(const Detail& d)
{
    const SwingarmLook& w = look.swingarm;
    Mesh m;
    Vec3 p = bike.swingarm_pivot, a = bike.rear.axle;
    for (double s : {1.0, -1.0}) {
        std::vector<Ring> arm;
        for (const SwingarmLook::Station& st : w.arm)
            arm.push_back({p + (a - p) * st.t + Vec3{w.arm_x / 2 * s, st.lift, 0}, st.rx, st.ry});
        add_tube(&m, arm, d.tube, x_axis, metal.uv(), true, true);
        add_box(&m, a + Vec3{w.arm_x / 2 * s, 0, 0}, w.axle_block_half, metal.uv());
    }
    add_pipe(&m, {p - Vec3{w.pivot_half_length, 0, 0}, p + Vec3{w.pivot_half_length, 0, 0}}, w.pivot_radius, d.round,
             y_axis, metal.uv());
    add_box(&m, w.cross_member.centre, w.cross_member.half, metal.uv());
    add_pipe(&m, {a - Vec3{w.axle_half_length, 0, 0}, a + Vec3{w.axle_half_length, 0, 0}}, w.axle_radius, d.round,
             y_axis, metal.uv());
    if (d.medium) {
        // Chain runs from the countershaft sprocket to the rear sprocket.
        Vec3 front = look.frame.countershaft, rear{look.wheel.sprocket_x, a.y, a.z};
        double front_r = look.frame.countershaft_radius + w.chain_ry, rear_r = look.wheel.sprocket_radius;
        for (double side : {1.0, -1.0}) {
            Vec3 from = front + Vec3{0, front_r * side, 0}, to = rear + Vec3{0, rear_r * side, 0};
            add_tube(&m, {{from, w.chain_rx, w.chain_ry}, {to, w.chain_rx, w.chain_ry}}, 4, x_axis, chain.uv(), true,
                     true);
        }
        add_box(&m, a + w.caliper_offset + Vec3{look.wheel.disc_x, 0, 0}, w.caliper_half, engine.uv());
    }
    if (d.small)
        add_box(&m, w.chain_guide.centre, w.chain_guide.half, accent.uv());
    translate(&m, -bike.swingarm);
    return m;
}

// The number areas: the game draws these with the rider's number texture
// (white digits, transparent elsewhere) over the plate backgrounds above.
// Side plates belong to the frame, the front plate to the steering body.
Mesh side_plates_mesh()
{
    const PlateLook& p = look.plates;
    Mesh m;
    double x = look.frame.side_panel_x + p.lift;
    UvRect whole{0, 0, 1, 1};
    // Read from outside on either side: the picture's left is the rear on
    // the right-hand plate and the front on the left-hand one.
    add_quad(&m, {x, p.side_y0, p.side_z1}, {x, p.side_y0, p.side_z0}, {x, p.side_y1, p.side_z0},
             {x, p.side_y1, p.side_z1}, whole);
    add_quad(&m, {-x, p.side_y0, p.side_z0}, {-x, p.side_y0, p.side_z1}, {-x, p.side_y1, p.side_z1},
             {-x, p.side_y1, p.side_z0}, whole);
    translate(&m, -bike.frame);
    return m;
}

Mesh front_plate_mesh()
{
    const PlateLook& p = look.plates;
    Mesh m;
    Vec3 u = steering_axis(), back = steering_back();
    Vec3 c = leg_line(look.fork.front_plate_at, 0) - back * (look.fork.front_plate_ahead + p.lift);
    Vec3 right{p.front_half_width, 0, 0}, down = u * -p.front_below, up = u * p.front_above;
    // Seen from the front the bike's right is the viewer's left.
    add_quad(&m, c + right + down, c - right + down, c - right + up, c + right + up, {0, 0, 1, 1});
    translate(&m, -bike.steering_head);
    return m;
}

Model wheel_model(const Wheel& wheel, bool rear, const Detail& d)
{
    const WheelLook& w = look.wheel;
    Mesh m;
    double rim = rear ? w.rear_rim : w.front_rim, hw = w.rim_half_width;
    // Tyre: sidewalls from the rim to the tread, and the tread on the
    // simulated torus.
    double s, c;
    det_sin_cos(w.tread_half_angle, &s, &c);
    double tread_r = wheel.ring + wheel.tube * c, tread_x = wheel.tube * s;
    double bead_x = hw * 0.9, bulge_x = tread_x * 0.95, bulge_r = rim + w.sidewall_rise;
    Profile crown;
    for (int i = 0; i <= d.crown; i++) {
        double a = w.tread_half_angle * (2.0 * i / d.crown - 1), sa, ca;
        det_sin_cos(a, &sa, &ca);
        crown.push_back({wheel.ring + wheel.tube * ca, wheel.tube * sa});
    }
    add_lathe(&m, {}, x_axis, y_axis, {{rim, -bead_x}, {bulge_r, -bulge_x}, {tread_r, -tread_x}}, d.wheel,
              {sidewall.uv()});
    add_lathe(&m, {}, x_axis, y_axis, crown, d.wheel, {tread.uv()});
    add_lathe(&m, {}, x_axis, y_axis, {{tread_r, tread_x}, {bulge_r, bulge_x}, {rim, bead_x}}, d.wheel,
              {sidewall.uv()});
    double well = rim - w.rim_depth;
    add_lathe(&m, {}, x_axis, y_axis, {{rim, hw}, {well, hw}, {well, -hw}, {rim, -hw}}, d.wheel, {rim_band.uv()});
    add_lathe(&m, {}, x_axis, y_axis, d.medium ? w.hub : w.plain_hub, d.hub, {hub_band.uv()});
    // Spokes: a cone each side from flange to rim, both faces, cut out by
    // the texture's alpha.
    double fr = w.spoke_flange_radius, fx = w.spoke_flange_x, rr = well + 0.01, rx = w.spoke_rim_x;
    LatheUv spoke_uv{spokes.uv(), true, fr, rr};
    add_lathe(&m, {}, x_axis, y_axis, {{fr, -fx}, {rr, -rx}}, d.wheel, spoke_uv);
    add_lathe(&m, {}, x_axis, y_axis, {{rr, -rx}, {fr, -fx}}, d.wheel, spoke_uv);
    add_lathe(&m, {}, x_axis, y_axis, {{rr, rx}, {fr, fx}}, d.wheel, spoke_uv);
    add_lathe(&m, {}, x_axis, y_axis, {{fr, fx}, {rr, rx}}, d.wheel, spoke_uv);
    if (d.medium) {
        double x = rear ? w.disc_x : -w.disc_x, t = w.disc_thickness / 2;
        double r = rear ? w.rear_disc_radius : w.front_disc_radius, r0 = w.disc_inner;
        add_lathe(&m, {x, 0, 0}, x_axis, y_axis, {{r0, -t}, {r, -t}, {r, t}, {r0, t}, {r0, -t}}, d.wheel,
                  {brake_disc.uv(), true, r0, r});
        if (rear) {
            double sr = w.sprocket_radius;
            add_lathe(&m, {w.sprocket_x, 0, 0}, x_axis, y_axis, {{r0, -t}, {sr, -t}, {sr, t}, {r0, t}, {r0, -t}},
                      d.wheel, {sprocket_disc.uv(), true, r0, sr});
        }
    }
    return finished(m, wheel_finish);
}

// ---- textures

Picture bike_texture(const Paint& paint)
{
    Picture p(bike_texture_size, bike_texture_size, 3);
    uint32_t seed = paint.seed * 7919U;
    // Plastic with graphics: the accent sweeps across in two bands and the
    // badge sits in the middle, so every panel that maps the square shows it.
    fill_noisy(&p, plastic.x0, plastic.y0, plastic.x1, plastic.y1, paint.plastic, 0.05, seed);
    for (int y = plastic.y0; y < plastic.y1; y++)
        for (int x = plastic.x0; x < plastic.x1; x++) {
            int diagonal = x + y;
            if ((diagonal > 40 && diagonal < 62) || (diagonal > 70 && diagonal < 78))
                put_pixel(&p, x, y, paint.accent);
            if (y > 118)
                put_pixel(&p, x, y, scale(paint.plastic, 0.45));
        }
    int badge_cell = text_width(paint.badge, 3) <= 116 ? 3 : 2;
    int bx = plastic.x0 + (128 - text_width(paint.badge, badge_cell)) / 2;
    draw_text(&p, bx + 1, 85 + 1, badge_cell, paint.badge, scale(paint.plastic, 0.3));
    draw_text(&p, bx, 85, badge_cell, paint.badge, paint.accent);
    fill_noisy(&p, accent.x0, accent.y0, accent.x1, accent.y1, paint.accent, 0.05, seed + 1);
    fill_noisy(&p, plate_bg.x0, plate_bg.y0, plate_bg.x1, plate_bg.y1, paint.plate, 0.04, seed + 2);
    for (int i = 0; i < 64; i++)
        for (int e : {0, 1, 62, 63}) {
            put_pixel(&p, plate_bg.x0 + i, plate_bg.y0 + e, paint.accent);
            put_pixel(&p, plate_bg.x0 + e, plate_bg.y0 + i, paint.accent);
        }
    // Metal: brushed bands; engine: dark castings with fins.
    for (int y = metal.y0; y < metal.y1; y++)
        for (int x = metal.x0; x < metal.x1; x++) {
            double band = 0.85 + 0.15 * hash_unit(0, y, seed + 3) + 0.05 * hash_unit(x, y, seed + 4);
            put_pixel(&p, x, y, scale(paint.frame, band));
        }
    fill_noisy(&p, engine.x0, engine.y0, engine.x1, engine.y1, {0.22, 0.22, 0.24}, 0.12, seed + 5);
    for (int y = engine.y0; y < engine.y1; y += 8)
        for (int x = engine.x0; x < engine.x1; x++)
            put_pixel(&p, x, y, {0.1, 0.1, 0.11});
    // Seat cover with ribs, exhaust steel with a heat tint, fork tubes.
    fill_noisy(&p, seat.x0, seat.y0, seat.x1, seat.y1, {0.08, 0.08, 0.09}, 0.25, seed + 6);
    for (int y = seat.y0; y < seat.y1; y++)
        for (int x = seat.x0 + 4; x < seat.x1; x += 10)
            put_pixel(&p, x, y, {0.16, 0.16, 0.17});
    for (int y = exhaust.y0; y < exhaust.y1; y++)
        for (int x = exhaust.x0; x < exhaust.x1; x++) {
            double t = double(y - exhaust.y0) / (exhaust.y1 - exhaust.y0);
            Rgb steel = mix({0.55, 0.4, 0.3}, {0.78, 0.78, 0.8}, t);
            put_pixel(&p, x, y, scale(steel, 0.9 + 0.1 * hash_unit(x, 0, seed + 7)));
        }
    fill_noisy(&p, fork_outer.x0, fork_outer.y0, fork_outer.x1, fork_outer.y1, {0.12, 0.13, 0.16}, 0.08, seed + 8);
    for (int y = fork_inner.y0; y < fork_inner.y1; y++)
        for (int x = fork_inner.x0; x < fork_inner.x1; x++) {
            double shine = 0.8 + 0.2 * (x % 8 < 3);
            put_pixel(&p, x, y, scale({0.85, 0.7, 0.3}, shine));
        }
    // Rubber, chain links, radiator core, shock spring coils.
    fill_noisy(&p, rubber.x0, rubber.y0, rubber.x1, rubber.y1, {0.06, 0.06, 0.06}, 0.4, seed + 9);
    for (int y = chain.y0; y < chain.y1; y++)
        for (int x = chain.x0; x < chain.x1; x++) {
            bool link = (y / 4) % 2 == 0 || (x % 16 > 4 && x % 16 < 12);
            put_pixel(&p, x, y, link ? Rgb{0.3, 0.28, 0.26} : Rgb{0.1, 0.1, 0.1});
        }
    for (int y = radiator.y0; y < radiator.y1; y++)
        for (int x = radiator.x0; x < radiator.x1; x++) {
            bool fin = x % 4 == 0 || y % 6 == 0;
            put_pixel(&p, x, y, fin ? Rgb{0.55, 0.55, 0.58} : Rgb{0.15, 0.15, 0.16});
        }
    for (int y = spring.y0; y < spring.y1; y++)
        for (int x = spring.x0; x < spring.x1; x++) {
            bool coil = (y + x / 8) % 8 < 5;
            put_pixel(&p, x, y, coil ? paint.accent : Rgb{0.1, 0.1, 0.1});
        }
    return p;
}

Picture wheel_texture(const WheelPaint& paint)
{
    Picture p(wheel_texture_size, wheel_texture_size, 4);
    uint32_t seed = paint.seed * 104729U;
    // Knobby tread: 32 blocks around, staggered across the tyre.
    for (int y = tread.y0; y < tread.y1; y++)
        for (int x = tread.x0; x < tread.x1; x++) {
            int row = (y - tread.y0) / 11, shift = (row % 2) * 4;
            bool knob = ((x + shift) % 8) < 5 && (y - tread.y0) % 11 < 8;
            Rgb rubber_colour = knob ? Rgb{0.16, 0.15, 0.14} : Rgb{0.05, 0.05, 0.05};
            put_pixel(&p, x, y, scale(rubber_colour, 0.85 + 0.3 * hash_unit(x, y, seed)), 1);
        }
    for (int y = sidewall.y0; y < sidewall.y1; y++)
        for (int x = sidewall.x0; x < sidewall.x1; x++) {
            bool lettering = (y - sidewall.y0) > 10 && (y - sidewall.y0) < 20 && (x % 64) < 30 && (x % 3) != 0;
            Rgb colour = lettering ? Rgb{0.5, 0.5, 0.5} : Rgb{0.09, 0.09, 0.09};
            put_pixel(&p, x, y, scale(colour, 0.9 + 0.2 * hash_unit(x, y, seed + 1)), 1);
        }
    for (int y = rim_band.y0; y < rim_band.y1; y++)
        for (int x = rim_band.x0; x < rim_band.x1; x++) {
            double edge = (y - rim_band.y0 < 3 || rim_band.y1 - y <= 3) ? 1.3 : 1.0;
            put_pixel(&p, x, y, scale(paint.rim, edge * (0.9 + 0.1 * hash_unit(x, 0, seed + 2))), 1);
        }
    // Spokes: a disc mapped by radius and angle; 36 spokes laced tangent to
    // the hub, everything between them transparent.
    int cx = (spokes.x0 + spokes.x1) / 2, cy = (spokes.y0 + spokes.y1) / 2;
    double outer = (spokes.x1 - spokes.x0) / 2.0 - 1;
    for (int y = spokes.y0; y < spokes.y1; y++)
        for (int x = spokes.x0; x < spokes.x1; x++)
            put_pixel(&p, x, y, {0.6, 0.6, 0.62}, 0);
    for (int k = 0; k < 36; k++) {
        double a0 = 2 * pi * k / 36, lace = (k % 2 ? 1 : -1) * 0.55, sa, ca, sb, cb;
        det_sin_cos(a0, &sa, &ca);
        det_sin_cos(a0 + lace, &sb, &cb);
        Vec3 from{cx + ca * 2, cy + sa * 2, 0}, to{cx + cb * outer, cy + sb * outer, 0};
        for (int i = 0; i <= 200; i++) {
            Vec3 q = from + (to - from) * (i / 200.0);
            for (int dy = 0; dy < 2; dy++)
                for (int dx = 0; dx < 2; dx++)
                    put_pixel(&p, int(q.x) + dx, int(q.y) + dy, {0.72, 0.72, 0.74}, 1);
        }
    }
    fill_noisy(&p, hub_band.x0, hub_band.y0, hub_band.x1, hub_band.y1, paint.hub, 0.08, seed + 3);
    for (int y = hub_band.y0; y < hub_band.y1; y++)
        for (int x = hub_band.x0; x < hub_band.x1; x++)
            p.at(x, y)[3] = 255;
    // Brake disc: carrier in the middle, a drilled steel ring outside.
    int dx0 = (brake_disc.x0 + brake_disc.x1) / 2, dy0 = (brake_disc.y0 + brake_disc.y1) / 2;
    for (int y = brake_disc.y0; y < brake_disc.y1; y++)
        for (int x = brake_disc.x0; x < brake_disc.x1; x++) {
            double r = length({double(x - dx0), double(y - dy0), 0}) / 31.0;
            Rgb colour = r < 0.55 ? paint.hub : Rgb{0.6, 0.6, 0.62};
            if (r > 0.65 && r < 0.9 && (x / 3 + y / 3) % 4 == 0)
                colour = {0.15, 0.15, 0.15};
            put_pixel(&p, x, y, colour, 1);
        }
    // Sprocket: teeth at the rim are the only place with alpha gaps.
    int sx0 = (sprocket_disc.x0 + sprocket_disc.x1) / 2, sy0 = (sprocket_disc.y0 + sprocket_disc.y1) / 2;
    for (int y = sprocket_disc.y0; y < sprocket_disc.y1; y++)
        for (int x = sprocket_disc.x0; x < sprocket_disc.x1; x++) {
            double fx = x - sx0 + 0.5, fy = y - sy0 + 0.5, r = length({fx, fy, 0}) / 31.0;
            // Angle by the octant-free ratio: 48 teeth around.
            double turn = (fy >= 0 ? 1 : -1) * (1 - fx / (std::fabs(fx) + std::fabs(fy) + 1e-9)) / 4 + 0.5;
            bool gap = r > 0.9 && int(turn * 96) % 2 == 0;
            put_pixel(&p, x, y, r < 0.45 ? paint.hub : Rgb{0.35, 0.33, 0.3}, gap ? 0 : 1);
        }
    return p;
}

std::vector<Sphere> place(const std::vector<Ball>& balls, Vec3 body, const ShapeMaterial& material)
{
    std::vector<Sphere> out;
    for (const Ball& b : balls) {
        out.push_back({b.at - body, b.radius, material.friction, material.stiffness, material.damping});
        if (b.pair)
            out.push_back({mirror_x(b.at) - body, b.radius, material.friction, material.stiffness, material.damping});
    }
    return out;
}

// The tyre as the simulation sees it: balls of the tube radius on the ring.
std::vector<Sphere> tyre_shape(const Wheel& wheel)
{
    std::vector<Sphere> out;
    for (int i = 0; i < tyre_balls; i++) {
        double s, c;
        det_sin_cos(2 * pi * i / tyre_balls, &s, &c);
        out.push_back({{0, wheel.ring * c, wheel.ring * s}, wheel.tube, tyre_material.friction,
                       tyre_material.stiffness, tyre_material.damping});
    }
    return out;
}

} // namespace

void add_bikes(Release* release)
{
    const std::string archive = "bikes.saf";
    for (const Family& family : families) {
        std::string p = family.prefix;
        add_model_chain(release, archive, p + "_frame",
                        [&](int level) { return finished(frame_mesh(family, details[level]), plastic_finish); });
        add_model_chain(release, archive, p + "_fork_upper",
                        [&](int level) { return finished(fork_upper_mesh(details[level]), metal_finish); });
        add_model_chain(release, archive, p + "_fork_lower",
                        [&](int level) { return fork_lower_model(details[level]); });
        add_model_chain(release, archive, p + "_swingarm",
                        [&](int level) { return finished(swingarm_mesh(details[level]), metal_finish); });
        // Plates are flat already: their coarser levels are the same quads.
        add_model_chain(release, archive, p + "_side_plates",
                        [&](int) { return finished(side_plates_mesh(), plate_finish); });
        add_model_chain(release, archive, p + "_front_plate",
                        [&](int) { return finished(front_plate_mesh(), plate_finish); });
    }
    add_model_chain(release, archive, "front_wheel",
                    [&](int level) { return wheel_model(bike.front, false, details[level]); });
    add_model_chain(release, archive, "rear_wheel",
                    [&](int level) { return wheel_model(bike.rear, true, details[level]); });
    for (const Paint& paint : paints)
        add_member(release, archive, std::string(paint.texture) + ".png", encode_png(bike_texture(paint)));
    for (const WheelPaint& paint : wheel_paints)
        add_member(release, archive, std::string(paint.texture) + ".png", encode_png(wheel_texture(paint)));

    add_member(release, archive, "generic_frame.shp", encode_shp(place(frame_balls, bike.frame, part_material)));
    add_member(release, archive, "generic_fork_upper.shp",
               encode_shp(place(fork_upper_balls, bike.steering_head, part_material)));
    add_member(release, archive, "generic_fork_lower.shp",
               encode_shp(place(fork_lower_balls, bike.fork_lower, part_material)));
    add_member(release, archive, "generic_swingarm.shp",
               encode_shp(place(swingarm_balls, bike.swingarm, part_material)));
    add_member(release, archive, "generic_rider.shp", encode_shp(place(rider_balls, {}, rider_material)));
    add_member(release, archive, "front_wheel.shp", encode_shp(tyre_shape(bike.front)));
    add_member(release, archive, "rear_wheel.shp", encode_shp(tyre_shape(bike.rear)));
}
