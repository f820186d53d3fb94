// Lap timing of a track: the starting places across the start pad, the
// timing gates at the corners of the loop and the order they are ridden in.
#pragma once
#include "track_layout.h"

#include <string>
#include <vector>

struct StartPlace {
    float x, y, z;
    float angle; // heading (sin a, 0, cos a)
};

struct TimingGate {
    float x, y, z;
    float dx, dz; // direction of travel, unit length
    float radius;
    int piece; // 0 on the loop, 1 on the start straight
    float s;   // distance along its piece
};

struct TrackTiming {
    std::vector<StartPlace> places;
    std::vector<TimingGate> gates; // gate 0 on the start straight, then round the loop from the join
    std::vector<int> first_lap, normal_lap;
    int finish_gate = 0;
};

TrackTiming plan_timing(const TrackGround& ground);
std::string timing_gates_file(const TrackTiming& timing);
// The gate a rider makes for next when at distance s along the loop.
int next_gate(const TrackTiming& timing, const TrackGround& ground, float s);
