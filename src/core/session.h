// Race sessions: one track with up to 40 riders on it, set up for every race,
// restart, time trial and demo, and released at shut-down.
#pragma once
#include "base/random.h"

#include <cstdint>

struct Bike;

enum {
    rider_slot_count = 40,
    kind_empty = 0,
    kind_human = 1,
    kind_robot = 2,
    kind_robot_two_stroke = 3,
    kind_robot_four_stroke = 4,
    kind_remote = 5,
    kind_numbered_robot = 1000, // + the robot's number
};

enum SlotController { controller_local = 0, controller_outside = 1, controller_robot = 2 };

struct RiderSlot {
    int32_t kind;
    Bike* bike;
    int32_t controller;
    const char* personality; // robots only
};

struct StartGate {
    int32_t object;        // track object, -1 for none
    float tilt;            // 1 closed, 0 down
    int32_t touched_frame; // last frame a bike leant on it
};

struct RaceSession {
    RiderSlot slots[rider_slot_count];
    int32_t roster_order[80];
    StartGate start_gates[rider_slot_count];
    int32_t start_gate_count;
    int32_t viewed_slot;
    float free_camera[3];
    Random random; // the robots' generator, seeded at every set-up
};

extern RaceSession session;

// Sets up a session. kinds null means a time trial. Returns the viewed
// rider's bike, or null when the track cannot be loaded (no bikes then).
Bike* session_setup(const int32_t* kinds, bool playback, bool record, int32_t time_limit_frames, int32_t laps,
                    int skill);
// Puts the time-trial rider back before the line.
void time_trial_restart();
// Releases the bikes, the track and the physics world.
void session_free();

// The start place of slot m: with G start gates, gate m mod G, rows 10 ft
// apart behind it; without gates a row across the middle of the field.
void start_grid_position(int slot, float* x, float* z, float* heading);
// Puts the bike at (x, z) turned by heading, raised until it clears the
// ground.
void place_bike(Bike* bike, float x, float z, float heading);
