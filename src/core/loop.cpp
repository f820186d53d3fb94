#include "core/loop.h"

#include "base/launch.h"
#include "core/simulation.h"
#include "data/config.h"
#include "track/track.h"

LoopState loop_state;

void loop_step()
{
    if (loop_state.paused || !loaded_track.loaded)
        return;
    simulation_step();
}

void loop_key(int key_code, bool pressed)
{
    if (!pressed || key_code == 0)
        return;
    if (key_code == config.pause_key.key_code && !launch.server_address)
        loop_state.paused = !loop_state.paused;
    else if (key_code == config.step_key.key_code && loop_state.paused && loaded_track.loaded)
        simulation_step();
}

int loop_run_frame(double frame_dt, double now)
{
    StepHooks hooks = {nullptr, nullptr, [](void*) { loop_step(); }};
    return schedule_steps(&loop_state.clocks, frame_dt, now, hooks);
}
