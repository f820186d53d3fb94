// The parts of the main loop that run without a window: pause, single
// steps and the per-step work the step schedule calls.
#pragma once
#include "bike/rider.h"
#include "core/controls.h"
#include "core/schedule.h"

struct EventQueue;

enum ViewMode { view_chase = 0, view_editor = 2, view_orbit = 3, view_free = 4, view_title = 5 };

struct LoopState {
    bool paused;
    StepClocks clocks;
    ControlInput input; // held values of the rider bindings
    float channels[control_channel_count];
    StickyDab sticky; // the local player's sit/dab latch
    int view_mode;
    EventQueue* events; // the window's key events; null without a window
};

extern LoopState loop_state;

// One step of the schedule: the simulation step unless paused or without a
// track.
void loop_step();
// A key event: every rider binding with that key takes the held value 1 or
// 0; then the game functions: the pause key toggles the pause (offline
// only), the step key runs one step at once while paused.
void loop_key(int key_code, bool pressed);
// Runs the schedule for one drawn frame; each step takes the key events
// stamped up to its wall time (the last step takes all). Returns the steps.
int loop_run_frame(double frame_dt, double now);

// The view-mode rules of a pass: the title without a track, the free camera
// without a bike to follow, and only chase or orbit for the local player
// (the editor stays unless a track has just appeared).
int view_mode_for(int mode, bool track_loaded, bool track_just_appeared, bool viewed_has_bike, bool viewed_is_local);
