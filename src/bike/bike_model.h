// The bikes the simulation knows: one read-only record per machine with its
// geometry, masses, suspension ranges, gearing, torque maps, the rider's
// proportions and the files that draw it. Coordinates are those of the bike
// at rest built at the origin: +x to the rider's right, +y up, facing -z.
// Units: feet, slugs, seconds, pounds-force, radians.
#pragma once
#include <cstdint>

enum {
    bike_model_total = 18,
    gear_count = 6,
    torque_map_points = 50, // one entry per 500 rpm, 0 .. 24500
    pose_point_count = 9,
};

struct WheelSpec {
    float position[3]; // axle point
    float ring_radius; // axle to the centre of the tyre's tube
    float tube_radius; // half the tyre's section
    float tyre_mass;
    float hub_radius; // sphere standing for the hub in the inertia
    float hub_mass;
};

struct BikeModel {
    const char* name;
    WheelSpec front_wheel;
    WheelSpec rear_wheel;
    float frame_position[3];
    float frame_mass; // without the rider
    float frame_size[3]; // inertia box; x also spaces the swingarm's arms
    float steering_head[3]; // steering body centre, upper point of the steering axis
    float swingarm_position[3];
    float swingarm_pivot[3];
    float fork_lower_position[3]; // lower fork centre, lower point of the steering axis
    float fork_leg_spacing;
    float fork_leg_length;
    float fork_mass; // given to the steering body and again to the lower fork
    float fork_spring_rate[2]; // at adjustment 0 and 1
    float fork_preload[2];
    float fork_air_gap[2]; // more oil, shorter gap
    float fork_compression_damping;
    float fork_rebound_damping;
    float fork_travel;
    float swingarm_arm_mass; // each of the two arms
    float shock_spring_rate[2];
    float shock_preload[2];
    float shock_compression_damping;
    float shock_rebound_damping;
    float swingarm_travel;
    float shock_ratio[2]; // linkage factor at full extension, at full compression
    float primary_ratio;
    float front_sprocket; // teeth
    float rear_sprocket;
    float gear_ratio[gear_count]; // not above 0: no such gear
    float engine_inertia;
    float closed_throttle_torque[torque_map_points];
    float open_throttle_torque[torque_map_points];
    float shift_down_rpm;
    float shift_up_rpm;
    float max_rpm; // reported only; the simulation never reads it
    int32_t two_stroke;
    float rider_slide_axis[3]; // not normalised
    float rider_position[3];
    float rider_slide_min;
    float rider_slide_max;
    float rider_mass; // whole rider, shared between torso and frame
    const char* frame_model;
    const char* frame_shape;
    const char* bike_texture;
    const char* fork_upper_model;
    const char* fork_upper_shape;
    const char* fork_lower_model;
    const char* fork_lower_shape;
    const char* swingarm_model;
    const char* swingarm_shape;
    const char* front_wheel_model;
    const char* front_wheel_shape;
    const char* rear_wheel_model;
    const char* rear_wheel_shape;
    const char* wheel_texture;
    const char* rider_head_model;
    const char* rider_head_texture;
    const char* rider_body_model;
    const char* rider_body_fp_model;
    const char* rider_shape;
    const char* rider_body_texture;
    const char* side_plates_model;
    const char* front_plate_model;
    const char* rider_plate_model;
    float head_point[3]; // torso coordinates
    float left_shoulder[3];
    float right_shoulder[3];
    float left_hip[3];
    float right_hip[3];
    float left_grip[3]; // steering-body coordinates
    float right_grip[3];
    float left_peg[3]; // frame coordinates
    float right_peg[3];
    float upper_arm_length;
    float forearm_length;
    float thigh_length;
    float shin_length;
    const float (*pose_points)[3]; // pose_point_count shared drawing points
};

// The record named exactly so, or null.
const BikeModel* find_bike_model(const char* name);
// Never fails: the exact match, or a stand-in of the same class (reported
// with post_message).
const BikeModel* bike_model_for(const char* name);
int bike_model_count();
// Table order; null outside 0 .. count - 1.
const BikeModel* bike_model_at(int index);

// The setup menu's workshop units. The adjustment is clamped to [0, 1] and
// picks a point between the pair's two values.
float display_fork_spring_rate(const BikeModel* model, float adjustment); // kgf/mm per leg
float display_shock_spring_rate(const BikeModel* model, float adjustment); // kgf/mm
float display_fork_preload(const BikeModel* model, float adjustment); // mm
float display_fork_air_gap(const BikeModel* model, float adjustment); // mm
float display_shock_preload(const BikeModel* model, float adjustment); // mm
