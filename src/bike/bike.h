// One bike with its rider as seven rigid bodies and six joints in the shared
// physics world, with the controls, setup and per-rider state that the rest
// of the simulation reads and writes.
#pragma once
#include "bike/bike_graphics.h"
#include "bike/bike_model.h"
#include "base/vec3.h"
#include "bike/wheel_contact.h"

#include <ode/ode.h>

#include <cstdint>

enum {
    bike_body_count = 7,
    bike_joint_count = 6,
    number_text_length = 7,
    velocity_history_length = 4,
};

// Body order is fixed: lap timing tests body 1, snapshots store them in this
// order.
enum BikeBodyIndex {
    body_frame,
    body_front_wheel,
    body_rear_wheel,
    body_steering, // upper fork, triple clamps, bars
    body_fork_lower,
    body_swingarm,
    body_torso,
};

enum BikeJointIndex {
    joint_front_axle, // hinge: lower fork, front wheel
    joint_rear_axle, // hinge: swingarm, rear wheel
    joint_steering, // hinge: steering body, frame
    joint_fork, // slider: steering body, lower fork
    joint_swingarm, // hinge: swingarm, frame
    joint_rider, // hinge2: torso, frame
};

enum BikeOption : uint8_t {
    option_airborne_steering = 1 << 0, // keep the direct steering torque with the front wheel up
    option_wheelie_cut = 1 << 1, // no drive torque in a wheelie
    option_stoppie_release = 1 << 2, // let go of the front brake when the rear wheel lifts
    option_front_antilock = 1 << 3,
    option_rear_antilock = 1 << 4,
    option_auto_shift = 1 << 5,
    option_auto_dab = 1 << 6, // dab when stopped
    option_arcade = 1 << 7,
};

// Lap timing's block; the timing code fills it.
struct RiderTiming {
    int32_t gates_passed;
    int32_t* gate_frames; // frame of each crossing by sequence position; -1 = missed
    int32_t gate_frame_count;
    int32_t gate_frame_capacity;
};

// The auto pilot's learning block and the collision shapes join this record
// with the subsystems that fill them.
struct Bike {
    BikeModel model; // the bike's own copy; everything reads this one
    dBodyID bodies[bike_body_count];
    dJointID joints[bike_joint_count];
    dJointFeedback joint_feedback[bike_joint_count];
    WheelContact front_contact;
    WheelContact rear_contact;

    float throttle; // 0..1
    float clutch; // engagement 0..1; 1 = fully engaged
    float front_brake; // 0..1
    float rear_brake; // 0..1
    float steer; // -1..1
    float dab; // 0..1, sit / dab
    float dab_amount; // how far the foot is down, 0..1
    float back_up; // 0..1
    float lean; // -1..1

    int32_t gear; // 0..5, first to sixth
    int32_t last_shift; // -1, 0 or 1

    float clutch_angle; // rad
    float engine_speed; // crank, rad/s
    float engine_inertia;
    float final_ratio;

    float fork_compression_damping;
    float fork_rebound_damping;
    float fork_spring_rate;
    float fork_preload;
    float fork_air_gap;
    float shock_compression_damping;
    float shock_rebound_damping;
    float shock_spring_rate;
    float shock_preload;

    float rider_yspring; // 0..1
    float rider_ydamping;
    float rider_zspring;
    float rider_zdamping;

    RiderTiming timing;

    float total_mass; // at creation; moving rider mass into the frame keeps it

    float roll_damping;
    float leveling;
    float roll_limit_factor;
    float roll_limit_angle;
    float steering_damping;
    float steering_strength;
    float max_steering_force;
    float direct_steering;
    float slow_damping_speed;
    float slow_damping_factor;
    float land_damping_falloff;
    float land_damping_factor;
    float auto_clutch_rpm;
    float brake_torque;
    float rear_brake_torque;
    float max_dab_speed; // ft/s

    BikeGraphics graphics;
    char number_text[number_text_length + 1];
    uint32_t number_texture; // 128 x 128, 0 without a GL context
    int32_t slot; // rider slot 0..39
    int32_t bike_contact_frame; // last frame touching another bike; -1 after a reset
    int32_t section_trouble;
    float landing_factor;
    int32_t crash_timer;
    // Steps the thrown-off rider has spent waiting for his torso to come to
    // rest; bounds the wait so that he always comes back.
    int32_t crash_wait;
    Vec3 left_foot;
    Vec3 left_foot_velocity;
    Vec3 right_foot;
    Vec3 right_foot_velocity;
    Vec3 torso_velocity_history[velocity_history_length]; // by frame number mod 4
    int32_t finished;
    Vec3 previous_positions[bike_body_count]; // at the last reset or snapshot
    uint8_t options; // BikeOption bits
};

// A new bike of the named type (a stand-in when the name is unknown), at the
// origin in its rest pose with the default setup. Needs the physics world;
// null without it. The number text is cut to 7 characters. The textures may
// be null: the bike's own defaults.
Bike* create_bike(const char* name, int slot, const char* number_text, const char* rider_body_texture = nullptr,
                  const char* rider_head_texture = nullptr, const char* bike_texture = nullptr,
                  const char* wheel_texture = nullptr);
void destroy_bike(Bike* bike);
// Rest pose at the origin with every per-ride state cleared.
void reset_bike(Bike* bike);
// Translates all seven bodies. False, and nothing moved, for a non-finite
// offset.
bool move_bike(Bike* bike, double dx, double dy, double dz);
// Turns a bike in its rest pose about the world origin: every body takes the
// rotation and its position is turned with it. False, and nothing turned,
// for a non-finite axis or angle; a zero axis turns nothing.
bool rotate_bike(Bike* bike, double ax, double ay, double az, double angle);
// Disabled bodies stay where snapshots put them.
void freeze_bike(Bike* bike);
void unfreeze_bike(Bike* bike);

// Joins the torso to the frame with the rider hinge, its anchor and axes
// placed from the frame's current pose as they are at rest.
void attach_rider_joint(Bike* bike);

dBodyID bike_body(const Bike* bike, int index);
// Positive riding forward.
float bike_speed_mph(const Bike* bike);
