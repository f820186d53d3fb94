// The main loop: one pass draws a frame, paces, and runs the simulation
// steps of the elapsed time, dispatching the player's keys on the way.
#pragma once
#include "bike/rider.h"
#include "core/cameras.h"
#include "core/cmdline.h"
#include "core/controls.h"
#include "core/schedule.h"

#include <cstdint>

struct KoruWindow;
struct AxisHandle;

enum ViewMode { view_chase = 0, view_editor = 2, view_orbit = 3, view_free = 4, view_title = 5 };

enum { menu_closed = -1 };

// The menu keys, resolved from their names at start-up.
enum MenuKey {
    menu_key_up,
    menu_key_down,
    menu_key_left,
    menu_key_right,
    menu_key_enter,
    menu_key_keypad_enter,
    menu_key_esc,
    menu_key_pause,
    menu_key_cursor_left,
    menu_key_cursor_right,
    menu_key_page_up,
    menu_key_page_down,
    menu_key_count
};
extern const char* const menu_key_names[menu_key_count];

struct LoopState {
    bool paused;
    bool quit;
    StepClocks clocks;
    ControlInput input; // held values of the rider bindings
    float channels[control_channel_count];
    StickyDab sticky; // the local player's sit/dab latch
    int view_mode;
    int menu_screen = menu_closed;
    bool track_seen; // a track was loaded on the previous pass
    KoruWindow* window; // null without a window
    StartOptions start;
    double last_time;
    double min_frame_time = 1.0, max_frame_time = 0;
    OrbitCamera orbit = {0, 10, 5};
    FreeCamera free_camera;
    bool mouse_held;
    int32_t cursor_x, cursor_y;
    AxisHandle* cursor_axes[2];
    int32_t menu_keys[menu_key_count]; // 0 for a name that did not resolve
    bool screenshot_wanted;
    uint32_t next_screenshot; // 0 until the first screenshot numbers itself
};

extern LoopState loop_state;

// The loop's starting values (those of a new LoopState: no pause, the menu
// closed, the orbit camera at distance 10 and height 5), for a window.
void loop_reset(KoruWindow* window, const StartOptions& start, double now);
// Opens the cursor axes and resolves every binding of the configuration
// and the menu keys; a name that resolves to nothing leaves its binding
// without a key or axis. Release gives the axes back.
void loop_resolve_input(KoruWindow* window);
void loop_release_input();
// Passes until `quit` is set, a buffer swap fails or a signal asks the
// program to end.
void main_loop();
// One pass of the loop.
void loop_pass();

// One step of the schedule: axis-bound controls and the control channels,
// then the riding controls or camera controls the view mode calls for, then
// the simulation step unless paused or without a track.
void loop_step();
// A key event: every rider binding with that key takes the held value 1 or
// 0; then the game functions (pause, single step, camera modes, screenshot).
void loop_key(int key_code, bool pressed);
// Runs the schedule for one drawn frame; each step takes the key events
// stamped up to its wall time (the last step takes all). Returns the steps.
int loop_run_frame(double frame_dt, double now);

// The view-mode rules of a pass: the title without a track, the free camera
// without a bike to follow, and only chase or orbit for the local player
// (the editor stays unless a track has just appeared).
int view_mode_for(int mode, bool track_loaded, bool track_just_appeared, bool viewed_has_bike, bool viewed_is_local);
// The tab key's camera cycle: chase, orbit, free camera, chase again.
int next_view_mode(int mode);

// The current time of the program's clock, in seconds.
double loop_now();
