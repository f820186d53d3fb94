#include "core/loop.h"

#include "base/launch.h"
#include "bike/rider.h"
#include "core/session.h"
#include "core/simulation.h"
#include "koru/event_queue.h"

#include <cmath>
#include "data/config.h"
#include "track/track.h"

LoopState loop_state;

void loop_step()
{
    compute_control_channels(loop_state.input, loop_state.channels);
    const RiderSlot& viewed = session.slots[session.viewed_slot];
    if (viewed.bike && viewed.controller == controller_local && !loop_state.paused) {
        const float* c = loop_state.channels;
        RiderControls controls = {c[channel_steering], c[channel_throttle], c[channel_front_brake],
                                  c[channel_rear_brake], c[channel_shift],    c[channel_clutch],
                                  c[channel_sit_dab],    c[channel_back_up],  c[channel_lean]};
        apply_controls(viewed.bike, controls, &loop_state.sticky);
    }
    if (loop_state.paused || !loaded_track.loaded)
        return;
    simulation_step();
}

void loop_key(int key_code, bool pressed)
{
    if (key_code == 0)
        return;
    for (int i = 0; i < rider_binding_count; i++)
        if (rider_binding(i)->key_code == key_code)
            loop_state.input.held[i] = pressed ? 1.0f : 0.0f;
    if (!pressed)
        return;
    if (key_code == config.pause_key.key_code && !launch.server_address)
        loop_state.paused = !loop_state.paused;
    else if (key_code == config.step_key.key_code && loop_state.paused && loaded_track.loaded)
        simulation_step();
}

namespace {

void take_events(void*, double until, bool everything)
{
    if (!loop_state.events)
        return;
    double whole = std::floor(until);
    int32_t seconds = int32_t(whole), microseconds = int32_t((until - whole) * 1e6);
    KoruEvent event;
    while (everything ? event_queue_take(loop_state.events, &event)
                      : event_queue_take_before(loop_state.events, seconds, microseconds, &event))
        loop_key(event.code, event.pressed);
}

} // namespace

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
