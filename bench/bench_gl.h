// What the drawing benchmarks share: a GL window on whatever the machine
// has (llvmpipe under Xvfb or SDL's offscreen driver), the data release
// found beside the programs, and the ground drawing set up as the game
// does at its default detail.
#pragma once
#include "data/config.h"
#include "data/home.h"
#include "koru/window.h"
#include "render/frame.h"
#include "render/gl_caps.h"
#include "render/terrain_draw.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

inline double bench_seconds_now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Null, with the reason on the error output, when there is no window or no
// data.
inline KoruWindow* open_bench_window(int width, int height)
{
    if (!getenv("DISPLAY"))
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
    if (!getenv("DL_HOME"))
        setenv("DL_HOME", DL_BIN_DIR, 1);
    KoruWindow* window = koru_open_gl_window("Dustline bench", width, height, 24, 0, 16, 0, 0);
    if (!window || !koru_begin_draw(window)) {
        fprintf(stderr, "no GL window\n");
        return nullptr;
    }
    render_initial_state(false);
    if (!locate_game_data()) {
        fprintf(stderr, "no game data\n");
        return nullptr;
    }
    config_defaults();
    probe_gl();
    terrain_draw_options.framebuffer_objects = gl_caps.have_fbo;
    terrain_draw_options.texture_size = 128;
    terrain_draw_options.texture_skip_levels = 1;
    install_terrain_drawing();
    return window;
}
