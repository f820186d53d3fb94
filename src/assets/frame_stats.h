// Counters of one drawn frame, for the render statistics of the HUD. The
// scene drawing resets them at the start of every frame; the drawing code
// adds to them.
#pragma once
#include <cstdint>

struct FrameStats {
    int32_t model_triangles; // every mesh drawn
    int32_t model_vertices;
    int32_t billboards;
    int32_t texture_binds;
};

extern FrameStats frame_stats;

inline void reset_frame_stats()
{
    frame_stats = FrameStats{};
}
