// The parts of the main loop that run without a window: pause, single
// steps and the per-step work the step schedule calls.
#pragma once
#include "core/schedule.h"

struct LoopState {
    bool paused;
    StepClocks clocks;
};

extern LoopState loop_state;

// One step of the schedule: the simulation step unless paused or without a
// track.
void loop_step();
// A key event for the game functions: the pause key toggles the pause
// (offline only), the step key runs one step at once while paused.
void loop_key(int key_code, bool pressed);
// Runs the schedule for one drawn frame; returns the steps scheduled.
int loop_run_frame(double frame_dt, double now);
