// One frame of Rabbit Hill's ground from a camera on the start straight:
// the level-of-detail mesh against drawing every cell of the field, both
// measured in this run on whatever GL the machine has (llvmpipe under Xvfb
// or SDL's offscreen driver). Prints triangles and milliseconds per frame.
#include "bench_gl.h"
#include "data/config.h"
#include "data/home.h"
#include "koru/window.h"
#include "render/frame.h"
#include "render/gl_caps.h"
#include "render/scene.h"
#include "render/terrain_draw.h"
#include "track/terrain_lod.h"
#include "track/timing_gates.h"
#include "track/track.h"

#include <GL/gl.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

void count_triangles(void* context, const LodFan& fan)
{
    *static_cast<long*>(context) += fan.ring_count - 1;
}

} // namespace

int main()
{
    const int width = 1024, height = 768;
    KoruWindow* window = open_bench_window(width, height);
    if (!window)
        return 1;
    set_current_track("rabbithill");
    if (!load_track()) {
        fprintf(stderr, "rabbithill does not load\n");
        return 1;
    }
    Terrain* terrain = &loaded_track.terrain;

    // On the start straight behind the first start position, looking along
    // it and a little down.
    const StartPosition& start = track_timing.start_positions[0];
    float a = start.angle;
    float eye[3] = {start.position[0] + std::sin(a) * 15, 0, start.position[2] + std::cos(a) * 15};
    eye[1] = terrain_height(terrain, eye[0], eye[2]) + 5;
    float target[3] = {start.position[0], terrain_height(terrain, start.position[0], start.position[2]) + 2,
                       start.position[2]};
    SceneContent content{};
    content.terrain = terrain;
    content.viewed_slot = -1;
    config.fov.value = 75;
    // Warm-up: every clipmap texture of the window gets baked.
    for (int frame = 0; frame < 120; frame++) {
        render_begin_frame(width, height);
        draw_look_at(content, eye, target, width, height);
        glFinish();
    }

    const int lod_frames = 40, grid_frames = 3;
    double t0 = bench_seconds_now();
    for (int frame = 0; frame < lod_frames; frame++) {
        render_begin_frame(width, height);
        draw_look_at(content, eye, target, width, height);
        glFinish();
    }
    double lod_ms = (bench_seconds_now() - t0) * 1000 / lod_frames;
    long lod_triangles = 0;
    lod_walk(terrain, true, count_triangles, &lod_triangles);
    int ring_vertices = terrain_draw_stats.ground_triangles;

    // The full grid under the same view: one strip per row of cells.
    double t1 = bench_seconds_now();
    for (int frame = 0; frame < grid_frames; frame++) {
        render_begin_frame(width, height);
        glEnable(GL_DEPTH_TEST);
        draw_terrain_full_grid(terrain, terrain->materials[0].texture);
        glFinish();
    }
    double grid_ms = (bench_seconds_now() - t1) * 1000 / grid_frames;
    long grid_triangles = 2L * (terrain->samples - 1) * (terrain->samples - 1);

    printf("terrain frame, rabbithill, %dx%d, GL renderer %s\n", width, height,
           reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    printf("  level of detail: %ld triangles (%d ring vertices), %.2f ms per frame\n", lod_triangles, ring_vertices,
           lod_ms);
    printf("  full grid:       %ld triangles, %.2f ms per frame\n", grid_triangles, grid_ms);
    printf("  %.0f times fewer triangles, %.1f times faster\n", double(grid_triangles) / double(lod_triangles),
           grid_ms / lod_ms);
    koru_end_draw(window);
    free_track();
    koru_close_window(window);
    return 0;
}
