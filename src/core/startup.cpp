#include "core/startup.h"

#include "assets/font.h"
#include "assets/model.h"
#include "base/alloc.h"
#include "base/launch.h"
#include "base/message_log.h"
#include "bike/physics.h"
#include "core/catalogue.h"
#include "core/cmdline.h"
#include "core/controls.h"
#include "core/loop.h"
#include "core/session.h"
#include "core/simulation.h"
#include "data/config.h"
#include "data/home.h"
#include "koru/input.h"
#include "koru/log.h"
#include "koru/window.h"
#include "render/frame.h"
#include "render/gl_caps.h"
#include "render/terrain_draw.h"
#include "track/lighting.h"
#include "track/objects.h"
#include "track/shape.h"

#include <cstdio>
#include <cstring>
#include <vector>

volatile sig_atomic_t quit_requested = 0;

namespace {

double clamp(double v, double low, double high)
{
    return v < low ? low : v > high ? high : v;
}

void request_quit(int)
{
    quit_requested = 1;
}

void install_signal_handlers()
{
    struct sigaction action = {};
    action.sa_handler = request_quit;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void install_texture_choice(ChoiceSetting* setting, const TextureCatalogue& catalogue)
{
    config_set_choice_entries(setting, catalogue.names.data(), int(catalogue.names.size()));
}

void rebuild_bike_graphics()
{
    list_textures(data_file_list(), bike_graphics_prefix(config.bike.index), &catalogues.bike);
    install_texture_choice(&config.bike_texture, catalogues.bike);
    config.bike_texture.index = 0;
}

// The video-mode choice: "Default Fullscreen", "Windowed", then every
// display mode of the first mode's colour depth, in the order listed.
struct VideoModes {
    std::vector<const char*> names;
    std::vector<KoruDisplayMode> modes; // modes[i] is names[i + 2]
};

VideoModes video_modes;

void build_video_modes()
{
    video_modes = {};
    video_modes.names = {"Default Fullscreen", "Windowed"};
    const std::vector<KoruDisplayMode>& modes = koru_display_modes();
    for (const KoruDisplayMode& m : modes) {
        if (m.depth != modes[0].depth)
            continue;
        char name[32];
        snprintf(name, sizeof name, "%dx%d", m.width, m.height);
        video_modes.names.push_back(intern_string(name));
        video_modes.modes.push_back(m);
    }
    config_set_choice_entries(&config.video_mode, video_modes.names.data(), int(video_modes.names.size()));
}

KoruWindow* open_game_window()
{
    int index = config.video_mode.index;
    int32_t width = 0, height = 0, flags = launch.colour_depth & koru_depth_mask;
    if (index == 1) {
        width = launch.xres;
        height = launch.yres;
    } else {
        if (index >= 2 && index - 2 < int(video_modes.modes.size())) {
            width = video_modes.modes[index - 2].width;
            height = video_modes.modes[index - 2].height;
        }
        flags |= koru_fullscreen;
    }
    return koru_open_gl_window("Dustline", width, height, flags, 0, 16, 0, 0);
}

// Start-up polls until the window can be drawn, for about ten seconds. On
// success the draw is left open for the first buffer swap.
bool wait_until_drawable(KoruWindow* window)
{
    for (int polls = 0; polls < 162; polls++) {
        koru_pump_messages(window);
        if (koru_begin_draw(window))
            return true;
        if (quit_requested)
            return false;
        koru_sleep(0, 1000000 / 16);
    }
    return false;
}

// Everything start-up opened, taken down in reverse. The configuration is
// written back only once it has been read, so an interrupted start never
// replaces the player's file with the defaults.
struct RunState {
    bool config_loaded = false;
    KoruWindow* window = nullptr;
};

int shut_down(RunState& run)
{
    session_free(); // bikes, session, track, then the physics world
    clear_shape_cache();
    free_lighting();
    loop_release_input();
    if (run.window) {
        // GL objects go while their context is still current.
        free_fonts();
        free_models();
        free_programs();
        koru_close_window(run.window);
        run.window = nullptr;
        loop_state.window = nullptr;
    }
    if (run.config_loaded)
        config_write();
    return 0;
}

} // namespace

void derive_detail_settings(const DetailSource& source, LaunchSettings* launch)
{
    launch->terrain_detail = float(0.125 / source.ground_detail);
    launch->ground_texture_skip_levels = int(clamp(10 - source.ground_texture_detail, 0, 10));
    launch->ground_texture_size = 32 << source.ground_texture_dim_index;
    float scale = float(clamp(100 - source.model_detail, 0, 100) * 0.02);
    if (scale > 1)
        scale = scale * scale * scale;
    launch->lod_scale = scale;
    launch->lod_bias = float(clamp((source.model_detail - 10) * 0.05, 0, 1) * -50 + 50);
    launch->texture_skip_levels = int(clamp(10 - source.model_texture_detail, 0, 10));
    launch->roost_frequency = int(source.roost_density);
}

int dustline_main(int argc, char** argv)
{
    install_signal_handlers();
    RunState run;
    StartOptions start;
    // Standard output needs no binary mode here: POSIX streams never
    // translate line ends, so raw video frames pass through untouched.
    if (!locate_game_data()) {
        message_box("Problem starting Dustline", "Can't find game data\n");
        return 0;
    }
    clear_message_log();
    config_defaults();
    config_set_hooks({rebuild_bike_graphics});
    build_video_modes();
    if (quit_requested)
        return shut_down(run);

    apply_stability_preset(100);
    const char* const* files = data_file_list();
    list_textures(files, "rider_body-", &catalogues.rider_body);
    list_textures(files, "rider_head-", &catalogues.rider_head);
    list_textures(files, bike_graphics_prefix(config.bike.index), &catalogues.bike);
    list_textures(files, "wheels-", &catalogues.wheels);
    install_texture_choice(&config.rider_texture, catalogues.rider_body);
    install_texture_choice(&config.head_texture, catalogues.rider_head);
    install_texture_choice(&config.bike_texture, catalogues.bike);
    install_texture_choice(&config.wheel_texture, catalogues.wheels);

    config_read();
    run.config_loaded = true;
    launch.xres = config.xres;
    launch.yres = config.yres;
    launch.draw_fps = config.draw_fps;
    launch.draw_time = config.draw_time;
    launch.draw_ping = config.draw_ping;
    derive_detail_settings({config.ground_detail.value, config.ground_texture_detail.value,
                            config.ground_texture_dim.index, config.model_detail.value,
                            config.model_texture_detail.value, config.roost_density.value},
                           &launch);

    switch (parse_command_line(argc, argv, &launch, &start, stderr)) {
    case command_line_failed:
        return 1;
    case command_line_open_home:
        open_home_folder();
        return 0;
    case command_line_go_on:
        break;
    }
    if (launch.server_address)
        launch.track_name = nullptr;
    if (quit_requested)
        return shut_down(run);

    list_tracks(files, &catalogues.tracks);
    if (catalogues.tracks.folders.empty()) {
        fprintf(stderr, "No tracks found\n");
        return 1;
    }
    list_demos(files, &catalogues.demos);
    catalogues.tracks.selected = select_track(catalogues.tracks, launch.track_name ? launch.track_name : "rabbithill");

    // A plain start shows the default track behind the title; connecting
    // to a server waits for the server's track instead.
    bool track_named = launch.track_name != nullptr;
    if (!launch.track_name && !launch.server_address)
        launch.track_name = catalogues.tracks.folders[catalogues.tracks.selected];
    if (quit_requested)
        return shut_down(run);

    run.window = open_game_window();
    if (!run.window)
        return 1; // the window layer has logged why
    // Audio output opens here once it exists.
    if (!wait_until_drawable(run.window))
        return shut_down(run);
    probe_gl();
    render_log_gl_strings();
    apply_gl_config(config.ground_mipmaps.index == 1, config.use_fbo.index == 1, config.use_shader.index == 1);
    if (gl_caps.have_fragment_shader && gl_caps.have_vertex_shader)
        build_programs(); // a failure turns the shaders off for the run
    render_initial_state(launch.flat_shading != 0);
    terrain_draw_options.framebuffer_objects = gl_caps.have_fbo;
    terrain_draw_options.auto_mipmap = gl_caps.have_auto_mipmap;
    terrain_draw_options.vertex_arrays = !launch.no_vertex_arrays;
    terrain_draw_options.texture_size = launch.ground_texture_size;
    terrain_draw_options.texture_skip_levels = launch.ground_texture_skip_levels;
    install_terrain_drawing();
    load_fonts();
    // The HUD textures load here once the HUD exists.
    if (!koru_end_draw(run.window) || quit_requested)
        return shut_down(run);
    loop_reset(run.window, start, loop_now());
    loop_resolve_input(run.window);

    physics_start();
    SimulationHooks hooks = simulation_hooks;
    hooks.tilt_gate = [](void*, int object, float angle) { tilt_statue(object, angle); };
    set_simulation_hooks(hooks);
    // A track named on the command line is ridden with the configured
    // line-up; a plain start has one robot riding behind the title.
    int32_t kinds[rider_slot_count] = {};
    if (track_named) {
        for (int i = 0; i < rider_slot_count; i++)
            kinds[i] = config.slot[i].index;
    } else {
        kinds[0] = kind_robot;
    }
    if (launch.track_name)
        session_setup(kinds, false, false, 0, 1000, config.skill.index);

    loop_state.last_time = loop_now();
    main_loop();
    return shut_down(run);
}
