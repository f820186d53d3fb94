// Launch settings: process-wide values that the command line sets or that
// start-up derives from the configuration. Other subsystems read them here.
#pragma once
#include <cstdint>

struct LaunchSettings {
    int32_t xres = 640;
    int32_t yres = 480;
    int32_t colour_depth = 16;
    int flat_shading = 0;
    int no_vertex_arrays = 0;
    int32_t roost_frequency = 1000;
    int32_t debug_level = 0;
    int practice_mode = 0;
    int32_t texture_skip_levels = 0;
    int32_t ground_texture_skip_levels = 0;
    int32_t ground_texture_size = 128;
    float erode_rate = 0;
    float terrain_detail = 0.0025f;
    float max_detail_distance = 70;
    float max_detail_distance_outer = 75;
    float lod_bias = 0;
    float lod_scale = 1;
    int learning_enabled = 1;
    int32_t draw_ping = 1;
    int32_t draw_fps = 0;
    int32_t draw_time = 0;
    int32_t draw_render_stats = 0;
    int accurate_skip = 0;
    int editor_enabled = 0;
    int32_t rotate_lineup = 0;
    double fake_lag = 0;
    int32_t fake_loss = 0;
    const char* track_name = nullptr;
    const char* server_address = nullptr;
    const char* server_password = nullptr;
    const char* demo_file = nullptr;
};

extern LaunchSettings launch;
