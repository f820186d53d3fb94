// One frame of Rabbit Hill's start with 40 riders on the grid, against the
// same view with no riders drawn, both measured in this run on whatever GL
// the machine has (llvmpipe under Xvfb or SDL's offscreen driver). Prints
// milliseconds per frame and their ratio.
#include "assets/font.h"
#include "assets/frame_stats.h"
#include "bike/physics.h"
#include "core/catalogue.h"
#include "core/session.h"
#include "bench_gl.h"
#include "data/config.h"
#include "data/home.h"
#include "koru/window.h"
#include "render/frame.h"
#include "render/gl_caps.h"
#include "render/scene.h"
#include "render/terrain_draw.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/timing_gates.h"
#include "track/track.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double frame_ms(const SceneContent& content, const float eye[3], const float target[3],
                int width, int height, int frames)
{
    double t0 = bench_seconds_now();
    for (int frame = 0; frame < frames; frame++) {
        render_begin_frame(width, height);
        draw_look_at(content, eye, target, width, height);
        glFinish();
    }
    return (bench_seconds_now() - t0) * 1000 / frames;
}

} // namespace

int main()
{
    const int width = 1280, height = 720;
    KoruWindow* window = open_bench_window(width, height);
    if (!window)
        return 1;
    load_fonts();
    physics_start();
    list_tracks(data_file_list(), &catalogues.tracks);
    catalogues.tracks.selected = select_track(catalogues.tracks, "rabbithill");
    int32_t kinds[rider_slot_count];
    for (int32_t& k : kinds)
        k = kind_robot;
    if (!session_setup(kinds, false, false, 0, 1, 0) || track_timing.start_position_count == 0) {
        fprintf(stderr, "rabbithill does not set up\n");
        return 1;
    }
    Terrain* terrain = &loaded_track.terrain;

    // Behind the grid on the middle gate's line, looking at the gates.
    const StartPosition& gate = track_timing.start_positions[track_timing.start_position_count / 2];
    float a = gate.angle;
    float eye[3] = {gate.position[0] + std::sin(a) * 60, 0, gate.position[2] + std::cos(a) * 60};
    eye[1] = terrain_height(terrain, eye[0], eye[2]) + 12;
    float target[3] = {gate.position[0], terrain_height(terrain, gate.position[0], gate.position[2]) + 2,
                       gate.position[2]};

    SceneContent riders{}, empty{};
    riders.terrain = empty.terrain = terrain;
    riders.viewed_slot = empty.viewed_slot = 0;
    int drawn = 0;
    for (int i = 0; i < rider_slot_count; i++) {
        riders.riders[i].bike = session.slots[i].bike;
        drawn += session.slots[i].bike != nullptr;
    }

    // Warm-up: the ground's textures get baked and the display lists built.
    frame_ms(riders, eye, target, width, height, 60);
    // Rounds of each, taken in turns, so that a slow spell of the machine
    // falls on both; the medians are compared.
    const int rounds = 15, frames = 8;
    std::vector<double> empty_ms, riders_ms;
    int model_triangles = 0, object_triangles = 0;
    for (int round = 0; round < rounds; round++) {
        empty_ms.push_back(frame_ms(empty, eye, target, width, height, frames));
        object_triangles = frame_stats.model_triangles;
        riders_ms.push_back(frame_ms(riders, eye, target, width, height, frames));
        model_triangles = frame_stats.model_triangles;
    }
    std::sort(empty_ms.begin(), empty_ms.end());
    std::sort(riders_ms.begin(), riders_ms.end());
    double base = empty_ms[rounds / 2], full = riders_ms[rounds / 2];
    // The quickest rounds are the least disturbed by the rest of the
    // machine; their ratio is given as well.
    double base_best = empty_ms[0], full_best = riders_ms[0];

    printf("scene frame, rabbithill start, %dx%d, GL renderer %s\n", width, height,
           reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    printf("  no riders:  %.2f ms per frame (median of %d rounds of %d frames), %d model triangles (objects)\n", base,
           rounds, frames, object_triangles);
    printf("  %d riders: %.2f ms per frame, %d model triangles\n", drawn, full, model_triangles);
    printf("  riders cost %.2f times the empty scene (frame time %.2f times)\n", (full - base) / base, full / base);
    printf("  quickest rounds: %.2f ms and %.2f ms, riders cost %.2f times the empty scene\n", base_best, full_best,
           (full_best - base_best) / base_best);
    koru_end_draw(window);
    session_free();
    physics_stop();
    koru_close_window(window);
    return 0;
}
