#include "core/schedule.h"

namespace {

double clamp01(double v)
{
    return v < 0 ? 0 : v > 1 ? 1 : v;
}

} // namespace

int schedule_steps(StepClocks* clocks, double frame_dt, double now, const StepHooks& hooks)
{
    clocks->target_clock += frame_dt;
    int steps = 0;
    while (clocks->sim_clock < clocks->target_clock) {
        clocks->sim_clock += step_length;
        double wall = now - (clocks->target_clock - clocks->sim_clock);
        if (hooks.take_events)
            hooks.take_events(hooks.context, wall, wall >= now);
        if (hooks.run_step)
            hooks.run_step(hooks.context);
        steps++;
    }
    return steps;
}

double frame_dt_for(double elapsed, float lock_fps, bool warp)
{
    if (lock_fps > 0)
        return 1.0 / lock_fps;
    if (warp)
        return 100 * step_length;
    return elapsed < 0.125 ? elapsed : 0.125;
}

double adjust_for_server(double frame_dt, double lead, int frame, int start_frame)
{
    if (lead < 0)
        return frame_dt * (0.5 + 0.5 * clamp01(lead + 1));
    if (frame >= start_frame)
        return frame_dt * (1 + clamp01(8 * lead) * 0.125);
    return frame_dt * (1 + 3 * clamp01(lead));
}
