#include "core/loop.h"

#include "assets/texture.h"
#include "base/units.h"
#include "base/launch.h"
#include "base/message_log.h"
#include "bike/bike.h"
#include "core/frame_output.h"
#include "core/session.h"
#include "core/simulation.h"
#include "core/startup.h"
#include "data/config.h"
#include "koru/input.h"
#include "koru/log.h"
#include "koru/window.h"
#include "race/race_state.h"
#include "render/frame.h"
#include "render/scene.h"
#include "render/terrain_draw.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/timing_gates.h"
#include "track/track.h"

#include <algorithm>
#include <cmath>
#include <vector>

LoopState loop_state;

const char* const menu_key_names[menu_key_count] = {
    "up",  "down",  "left",        "right",        "enter",   "keypad enter",
    "esc", "pause", "cursor-left", "cursor-right", "page up", "page down",
};

namespace {

enum { tab_key = 9 };

bool viewed_is_local()
{
    const RiderSlot& viewed = session.slots[session.viewed_slot];
    return viewed.bike && viewed.controller == controller_local;
}

void read_axis_bindings()
{
    for (int i = 0; i < rider_binding_count; i++) {
        const BindingSetting* b = rider_binding(i);
        if (b->axis)
            loop_state.input.held[i] = axis_held_value(koru_axis_value(b->axis), b->low, b->high);
    }
}

void camera_controls(float h)
{
    if (loop_state.view_mode == view_orbit) {
        orbit_camera_step(&loop_state.orbit, loop_state.channels, h);
    } else if (loop_state.view_mode == view_free) {
        FreeCamera& camera = loop_state.free_camera;
        for (int i = 0; i < 3; i++)
            camera.position[i] = session.free_camera[i];
        free_camera_step(&camera, loop_state.channels, h, current_terrain);
        for (int i = 0; i < 3; i++)
            session.free_camera[i] = camera.position[i];
    }
}

void take_events(void*, double until, bool everything)
{
    KoruWindow* window = loop_state.window;
    if (!window)
        return;
    double whole = std::floor(until);
    int32_t seconds = int32_t(whole), microseconds = int32_t((until - whole) * 1e6);
    KoruEvent event;
    while (everything ? koru_next_event(window, &event)
                      : koru_next_event_before(window, seconds, microseconds, &event))
        loop_key(event.code, event.pressed);
}

// The elapsed time of the pass and the frame time it hands the schedule,
// after whatever waiting the pacing asks for.
double pace_frame(double* now)
{
    const StartOptions& start = loop_state.start;
    double elapsed = *now - loop_state.last_time;
    auto wait_until = [&](double length) {
        while (elapsed < length) {
            double rest = length - elapsed;
            int s = int(rest);
            koru_sleep(s, int((rest - s) * 1e6));
            *now = loop_now();
            elapsed = *now - loop_state.last_time;
        }
    };
    if (start.lock_fps > 0)
        wait_until(1.0 / start.lock_fps);
    else if (!start.warp)
        wait_until(step_length);
    if (elapsed < loop_state.min_frame_time)
        loop_state.min_frame_time = elapsed;
    if (elapsed > loop_state.max_frame_time)
        loop_state.max_frame_time = elapsed;
    return frame_dt_for(elapsed, start.lock_fps, start.warp);
}

// The orbit camera's direction for the local player: behind the bike, or
// following its motion without the rigid camera.
void orbit_direction(dBodyID body, float d[3])
{
    const dReal* r = dBodyGetRotation(body);
    float a[2] = {-float(r[2]), -float(r[10])}; // minus the body's +z axis, flat
    if (config.rigid_camera.index == 1) {
        d[0] = -a[0];
        d[1] = 0;
        d[2] = -a[1];
        return;
    }
    const dReal* v = dBodyGetLinearVel(body);
    float vx = float(v[0]), vz = float(v[2]);
    float s2 = vx * vx + vz * vz;
    if (s2 >= 900) {
        d[0] = -vx;
        d[1] = 0;
        d[2] = -vz;
        return;
    }
    float b = std::clamp((std::sqrt(s2) - 10) * 0.05f, 0.0f, 1.0f);
    d[0] = -(a[0] + b * (vx - a[0]));
    d[1] = 0;
    d[2] = -(a[1] + b * (vz - a[1]));
}

// The gate a rider passes next, for the flag marshals; -1 without timing.
int32_t next_gate(const Bike* bike)
{
    const TrackTiming& t = track_timing;
    int32_t g = bike->timing.gates_passed;
    if (!t.normal_lap_count && g >= t.first_lap_count)
        return -1;
    const TimingGate* gate = sequence_gate(g);
    return gate ? int32_t(gate - t.timing_gates) : -1;
}

// What the scene shows of the session this frame.
void scene_content(Terrain* terrain, SceneContent* content, FlaggerState* flaggers, std::vector<int32_t>* fallen)
{
    *content = SceneContent{};
    content->terrain = terrain;
    content->viewed_slot = session.viewed_slot;
    content->frame = race.frame;
    fallen->clear();
    int32_t leader_laps = 0;
    const TrackTiming& t = track_timing;
    for (int i = 0; i < rider_slot_count; i++) {
        const Bike* bike = session.slots[i].bike;
        content->riders[i].bike = bike;
        if (!bike)
            continue;
        if (bike->crash_timer > 0) {
            int32_t gate = next_gate(bike);
            if (gate >= 0)
                fallen->push_back(gate);
        }
        int32_t g = bike->timing.gates_passed;
        if (t.normal_lap_count && g >= t.first_lap_count)
            leader_laps = std::max(leader_laps, (g - t.first_lap_count) / t.normal_lap_count + 1);
    }
    *flaggers = FlaggerState{};
    flaggers->time = float(race.frame * step_length);
    flaggers->start_second = float(std::floor(step_length * race.start_frame));
    flaggers->leader_laps = leader_laps;
    flaggers->race_laps = race.race_laps;
    flaggers->half_distance_lap = race.halfway_lap;
    flaggers->fallen_next_gates = fallen->data();
    flaggers->fallen_count = int32_t(fallen->size());
    flaggers->now_frame = race.frame;
    content->flaggers = flaggers;
}

// The world from the camera of the view mode.
void draw_view(int32_t width, int32_t height)
{
    Terrain* terrain = loaded_track.loaded ? current_terrain : nullptr;
    if (!terrain)
        return;
    SceneContent content;
    FlaggerState flaggers;
    static std::vector<int32_t> fallen;
    scene_content(terrain, &content, &flaggers, &fallen);
    const RiderSlot& viewed = session.slots[session.viewed_slot];
    float eye[3], target[3];
    switch (loop_state.view_mode) {
    case view_chase:
        if (!viewed.bike)
            return;
        chase_camera(viewed.bike, loop_state.start.chase_center, config.rigid_camera.index == 1, terrain, eye,
                     target);
        break;
    case view_orbit: {
        if (!viewed.bike)
            return;
        dBodyID body = viewed.bike->bodies[body_frame];
        chase_target(viewed.bike, loop_state.start.chase_center, target);
        float d[3];
        float distance = 10, lift = 5;
        if (viewed.controller == controller_local) {
            orbit_direction(body, d);
        } else {
            d[0] = std::sin(loop_state.orbit.yaw);
            d[1] = 0;
            d[2] = std::cos(loop_state.orbit.yaw);
            distance = loop_state.orbit.distance;
            lift = loop_state.orbit.height;
        }
        orbit_camera_eye(target, d, distance, lift, terrain, eye);
        break;
    }
    case view_free: {
        const FreeCamera& f = loop_state.free_camera;
        for (int k = 0; k < 3; k++)
            eye[k] = session.free_camera[k];
        target[0] = eye[0] + std::sin(f.yaw) * std::cos(f.pitch);
        target[1] = eye[1] + std::sin(f.pitch);
        target[2] = eye[2] + std::cos(f.yaw) * std::cos(f.pitch);
        break;
    }
    default:
        return;
    }
    draw_look_at(content, eye, target, width, height);
}

// Drawing, for a window that can be drawn. False when the buffer swap
// failed, which ends the loop.
bool draw_frame()
{
    KoruWindow* window = loop_state.window;
    const KoruRect* rect = koru_begin_draw(window);
    if (!rect)
        return true;
    int32_t width = rect->width, height = rect->height;
    if (!window->fullscreen_active) {
        launch.xres = width;
        launch.yres = height;
    }
    render_begin_frame(width, height);
    draw_view(width, height);
    // The HUD, the banners and the menus draw here as the renderer grows.
    if (loop_state.start.record_video && !loop_state.paused && loop_state.view_mode != view_title) {
        std::vector<unsigned char> pixels;
        if (render_read_pixels(width, height, &pixels))
            write_video_frame(stdout, pixels.data(), width, height);
    }
    // The screenshot key asks; the picture is the next finished frame, read
    // before the swap while the back buffer still holds it.
    if (loop_state.screenshot_wanted) {
        loop_state.screenshot_wanted = false;
        take_screenshot(width, height, &loop_state.next_screenshot);
    }
    if (loop_state.start.gl_finish)
        render_finish();
    return koru_end_draw(window);
}

// Every key and axis binding of the configuration.
std::vector<BindingSetting*> all_bindings()
{
    std::vector<BindingSetting*> list;
    for (int i = 0; i < rider_binding_count; i++)
        list.push_back(rider_binding(i));
    for (BindingSetting* b : {&config.console_key, &config.pause_key, &config.step_key, &config.skip_key,
                              &config.rewind_key, &config.prev_key, &config.next_key, &config.screenshot_key})
        list.push_back(b);
    return list;
}

} // namespace

double loop_now()
{
    int s, us;
    koru_time(&s, &us);
    return s + us * 1e-6;
}

void loop_reset(KoruWindow* window, const StartOptions& start, double now)
{
    loop_state = LoopState{};
    loop_state.window = window;
    loop_state.start = start;
    loop_state.last_time = now;
}

// A name that resolves to nothing leaves the binding without a key or axis.
void loop_resolve_input(KoruWindow* window)
{
    loop_state.cursor_axes[0] = koru_open_axis(window, "cursor-x");
    loop_state.cursor_axes[1] = koru_open_axis(window, "cursor-y");
    for (BindingSetting* b : all_bindings()) {
        int32_t code = 0;
        b->key_code = b->key_name && koru_key_code(window, b->key_name, &code) ? code : 0;
        if (b->axis_name && !b->axis)
            b->axis = koru_open_axis(window, b->axis_name);
    }
    for (int k = 0; k < menu_key_count; k++) {
        int32_t code = 0;
        loop_state.menu_keys[k] = koru_key_code(window, menu_key_names[k], &code) ? code : 0;
    }
}

void loop_release_input()
{
    for (AxisHandle*& axis : loop_state.cursor_axes) {
        koru_release_axis(axis);
        axis = nullptr;
    }
    for (BindingSetting* b : all_bindings()) {
        koru_release_axis(b->axis);
        b->axis = nullptr;
    }
}

void loop_step()
{
    read_axis_bindings();
    compute_control_channels(loop_state.input, loop_state.channels);
    bool menu_open = loop_state.menu_screen != menu_closed;
    bool local = viewed_is_local();
    // Riding offline pauses behind a menu.
    if (menu_open && local && !launch.server_address)
        return;
    if (!menu_open && loop_state.view_mode != view_title) {
        if (local && !loop_state.paused) {
            const float* c = loop_state.channels;
            RiderControls controls = {c[channel_steering], c[channel_throttle], c[channel_front_brake],
                                      c[channel_rear_brake], c[channel_shift],    c[channel_clutch],
                                      c[channel_sit_dab],    c[channel_back_up],  c[channel_lean]};
            apply_controls(session.slots[session.viewed_slot].bike, controls, &loop_state.sticky);
        } else if (!local) {
            camera_controls(float(step_length));
        }
    }
    if (loop_state.paused || !loaded_track.loaded)
        return;
    simulation_step();
}

int next_view_mode(int mode)
{
    // The track editor is not part of this game, so the cycle never enters
    // it.
    switch (mode) {
    case view_chase:
        return view_orbit;
    case view_orbit:
        return view_free;
    case view_free:
        return view_chase;
    default:
        return mode;
    }
}

void loop_key(int key_code, bool pressed)
{
    if (key_code == 0)
        return;
    for (int i = 0; i < rider_binding_count; i++)
        if (rider_binding(i)->key_code == key_code)
            loop_state.input.held[i] = pressed ? 1.0f : 0.0f;
    if (key_code == loop_state.menu_keys[menu_key_cursor_left])
        loop_state.mouse_held = pressed;
    if (!pressed)
        return;
    // The window's close button ends the game: the window itself stays
    // open until shut-down closes it.
    if (key_code == key_code_close) {
        loop_state.quit = true;
        return;
    }
    // Until the menus exist, Esc ends the game as well.
    if (key_code == loop_state.menu_keys[menu_key_esc]) {
        loop_state.quit = true;
        return;
    }
    if (loop_state.view_mode == view_title)
        return;
    if (key_code == config.pause_key.key_code && !launch.server_address)
        loop_state.paused = !loop_state.paused;
    else if (key_code == config.step_key.key_code && loop_state.paused && loaded_track.loaded)
        simulation_step();
    else if (key_code == tab_key)
        loop_state.view_mode = next_view_mode(loop_state.view_mode);
    else if (key_code == config.screenshot_key.key_code && loop_state.view_mode != view_editor)
        loop_state.screenshot_wanted = true;
}

int loop_run_frame(double frame_dt, double now)
{
    StepHooks hooks = {nullptr, take_events, [](void*) { loop_step(); }};
    return schedule_steps(&loop_state.clocks, frame_dt, now, hooks);
}

int view_mode_for(int mode, bool track_loaded, bool track_just_appeared, bool viewed_has_bike, bool viewed_is_local)
{
    if (track_loaded && mode == view_title)
        mode = view_chase;
    if (viewed_is_local && mode != view_chase && mode != view_orbit &&
        !(mode == view_editor && !track_just_appeared))
        mode = view_chase;
    if (!viewed_has_bike)
        mode = view_free;
    if (!track_loaded)
        mode = view_title;
    return mode;
}

void loop_pass()
{
    bool track = loaded_track.loaded;
    bool appeared = track && !loop_state.track_seen;
    loop_state.track_seen = track;
    const RiderSlot& viewed = session.slots[session.viewed_slot];
    loop_state.view_mode = view_mode_for(loop_state.view_mode, track, appeared, viewed.bike != nullptr,
                                         viewed_is_local());

    if (loop_state.window && !draw_frame()) {
        loop_state.quit = true;
        return;
    }

    double now = loop_now();
    double frame_dt = pace_frame(&now);
    // Connected to a server, adjust_for_server scales frame_dt here.
    loop_state.last_time = now;
    game_clock += frame_dt;
    loop_state.cursor_x = loop_state.cursor_axes[0] ? koru_axis_value(loop_state.cursor_axes[0]) : 0;
    loop_state.cursor_y = loop_state.cursor_axes[1] ? koru_axis_value(loop_state.cursor_axes[1]) : 0;

    loop_run_frame(frame_dt, now);

    if (loaded_track.loaded && current_terrain)
        terrain_frame_work(current_terrain);

    if (game_clock > message_log.message_expiry && message_log.visible_lines > 0) {
        message_log.visible_lines--;
        message_log.message_expiry = game_clock + 5;
    }
}

void main_loop()
{
    while (!loop_state.quit && !quit_requested)
        loop_pass();
}
