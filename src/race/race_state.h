// The race clock: the frame counter every subsystem times the race with, the
// start frame and the race length of the current session.
#pragma once
#include <cstdint>

struct RaceState {
    int32_t frame;             // steps since session set-up
    int32_t start_frame;       // the frame the start gates drop
    int32_t time_limit_frames; // 0 = no time limit
    int32_t race_laps;
    int32_t extra_laps;
    int32_t halfway_lap;
    int32_t prestart_frames; // the robots and the camera get ready this long before the start
    bool time_trial;
};

extern RaceState race;
