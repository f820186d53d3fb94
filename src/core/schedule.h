// The fixed-rate step schedule: how many simulation steps of 1/128 s a drawn
// frame runs, and which input events belong to each step.
#pragma once

#include "base/units.h"

// Both run from start-up to shut-down and are never reset, paused or not.
struct StepClocks {
    double sim_clock;    // time simulated so far
    double target_clock; // time the simulation should have reached
};

struct StepHooks {
    void* context;
    // Hands over the input events stamped up to wall time `until`, or every
    // pending event when `everything` is set (the last step of the frame).
    void (*take_events)(void* context, double until, bool everything);
    // The rest of one step: control channels, network, simulation step.
    void (*run_step)(void* context);
};

// Advances target_clock by frame_dt and runs steps until sim_clock catches
// up. `now` is the current wall time. Returns the number of steps run.
int schedule_steps(StepClocks* clocks, double frame_dt, double now, const StepHooks& hooks);

// The frame time the loop hands to the schedule: a fixed 1/F with a locked
// frame rate, 100 steps with warp, otherwise the elapsed time capped at
// 0.125 s (so a stalled frame never runs more than 16 steps).
double frame_dt_for(double elapsed, float lock_fps, bool warp);

// Scales the frame time so that a networked client stays one frame behind
// the server: lead is (server frame - frame - 1) steps in seconds.
double adjust_for_server(double frame_dt, double lead, int frame, int start_frame);
