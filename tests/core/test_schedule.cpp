#include "core/controls.h"
#include "core/schedule.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Recorder {
    std::vector<double> event_times;
    std::vector<bool> took_everything;
    int steps = 0;
};

StepHooks recording_hooks(Recorder* r)
{
    return {r,
            [](void* c, double until, bool everything) {
                auto* rec = static_cast<Recorder*>(c);
                rec->event_times.push_back(until);
                rec->took_everything.push_back(everything);
            },
            [](void* c) { static_cast<Recorder*>(c)->steps++; }};
}

TEST(StepSchedule, StepsPerFrame)
{
    struct Case {
        double elapsed;
        float lock_fps;
        bool warp;
        int steps;
    } const cases[] = {
        {0.3, 0, false, 16},       // a stalled frame runs 16 steps, not 38
        {0.125, 0, false, 16},
        {1.0 / 64, 0, false, 2},
        {0.05, 0, true, 100},      // warp: 100 steps whatever the time
        {0.3, 32, false, 4},       // locked: exactly 1/F
    };
    for (const Case& c : cases) {
        StepClocks clocks = {};
        Recorder r;
        int n = schedule_steps(&clocks, frame_dt_for(c.elapsed, c.lock_fps, c.warp), 10.0, recording_hooks(&r));
        EXPECT_EQ(n, c.steps) << c.elapsed;
        EXPECT_EQ(r.steps, c.steps);
    }
}

TEST(StepSchedule, ShortFramesCarryTheRemainder)
{
    StepClocks clocks = {};
    Recorder r;
    int total = 0;
    for (int i = 0; i < 30; i++)
        total += schedule_steps(&clocks, 1.0 / 60, i / 60.0, recording_hooks(&r));
    // Half a second of frames is 64 steps, give or take the partial step.
    EXPECT_GE(total, 63);
    EXPECT_LE(total, 64);
    EXPECT_GE(clocks.sim_clock, clocks.target_clock);
    EXPECT_LT(clocks.sim_clock - clocks.target_clock, step_length);
}

TEST(StepSchedule, EachStepTakesTheEventsBeforeItsWallTime)
{
    StepClocks clocks = {};
    Recorder r;
    schedule_steps(&clocks, 4 * step_length, 100.0, recording_hooks(&r));
    ASSERT_EQ(r.event_times.size(), 4u);
    for (int i = 0; i < 4; i++)
        EXPECT_DOUBLE_EQ(r.event_times[i], 100.0 - (3 - i) * step_length);
    EXPECT_EQ(r.took_everything, (std::vector<bool>{false, false, false, true}));
}

TEST(NetworkClock, StaysOneFrameBehindTheServer)
{
    struct Case {
        double lead;
        int frame, start_frame;
        double factor;
    } const cases[] = {
        {-2, 2000, 1000, 0.5}, {-0.5, 2000, 1000, 0.75}, {0, 2000, 1000, 1.0},
        {0.0625, 2000, 1000, 1.0625}, {1, 2000, 1000, 1.125}, {0.5, 100, 1000, 2.5}, {2, 100, 1000, 4.0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(adjust_for_server(0.01, c.lead, c.frame, c.start_frame), 0.01 * c.factor) << c.lead;
}

TEST(ControlChannels, BindingsSumIntoChannels)
{
    ControlInput input = {};
    float channels[control_channel_count];
    input.held[3] = 1; // left
    input.held[4] = 1; // right as well: they cancel
    input.held[0] = 0.5f;
    input.held[6] = 1;  // upshift
    input.held[11] = 1; // lean backward
    compute_control_channels(input, channels);
    EXPECT_FLOAT_EQ(channels[channel_steering], 0);
    EXPECT_FLOAT_EQ(channels[channel_throttle], 0.5f);
    EXPECT_FLOAT_EQ(channels[channel_shift], 1);
    EXPECT_FLOAT_EQ(channels[channel_lean], 1);
    input = {};
    input.held[4] = 1;  // right
    input.held[7] = 1;  // downshift
    input.held[10] = 1; // lean forward
    compute_control_channels(input, channels);
    EXPECT_FLOAT_EQ(channels[channel_steering], -1);
    EXPECT_FLOAT_EQ(channels[channel_shift], -1);
    EXPECT_FLOAT_EQ(channels[channel_lean], -1);
}

TEST(ControlChannels, AxisValuesAreCalibrated)
{
    struct Case {
        int value;
        float low, high, held;
    } const cases[] = {
        {0, 0, 1, 0},          {16384, 0, 1, 0.5f},   {32767, 0.0625f, 0.9375f, 1},
        {-16384, -0.0625f, -0.9375f, 0.5f}, {-32768, 0, 1, 0}, {100, 0.5f, 0.5f, 0},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(axis_held_value(c.value, c.low, c.high), c.held, 1e-5) << c.value;
}

} // namespace
