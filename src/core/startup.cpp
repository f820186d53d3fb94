#include "core/startup.h"

#include "base/launch.h"
#include "base/message_log.h"
#include "bike/physics.h"
#include "core/catalogue.h"
#include "core/cmdline.h"
#include "core/session.h"
#include "data/config.h"
#include "data/home.h"
#include "koru/log.h"

#include <cstdio>
#include <cstring>

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

// Everything start-up opened, taken down in reverse. The configuration is
// written back only once it has been read, so an interrupted start never
// replaces the player's file with the defaults.
struct RunState {
    bool config_loaded = false;
};

int shut_down(const RunState& run)
{
    session_free(); // bikes, session, track, then the physics world
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

    // The window, audio and input join here as they are built.
    if (quit_requested)
        return shut_down(run);
    physics_start();
    // Every slot empty but the first, whose robot rides behind the title
    // menu; a track named on the command line gets its first session.
    int32_t kinds[rider_slot_count] = {};
    kinds[0] = kind_robot;
    if (launch.track_name)
        session_setup(kinds, false, false, 0, 1000, config.skill.index);
    // Without a window there is no main loop yet: the program shuts down.
    return shut_down(run);
}
