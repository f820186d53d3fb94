// The player's settings: the records the menus edit in place and the rest of
// the program reads, and the "config" file in the home folder that keeps them
// between runs.
#pragma once
#include <cstdint>

struct AxisHandle;

enum {
    config_slot_count = 40,
    config_history_count = 16,
    text_setting_capacity = 128, // longest text setting (127) plus its NUL
    bike_menu_count = 17,
};

struct NumericSetting {
    const char* label;
    double value;
    double step;
    double minimum;
    double maximum;
};

struct ChoiceSetting {
    const char* label;
    const char* const* entries; // owned by whoever installed them; live for the run
    int32_t count;
    int32_t index;
};

struct TextSetting {
    const char* label;
    int32_t max_length;
    char text[text_setting_capacity];
};

// Either a key (key_name) or an axis (axis_name with its calibration) once
// read; key_code and axis are filled when the bindings are resolved against
// the window's devices.
struct BindingSetting {
    const char* label;
    const char* key_name;  // interned, or null
    int32_t key_code;      // 0 until resolved
    const char* axis_name; // interned, or null
    AxisHandle* axis;      // null until resolved
    float low;
    float high;
};

// Calls up into the program core, which owns the texture catalogues.
struct ConfigHooks {
    // The bike choice changed: rebuild the bike-graphics catalogue for
    // bike_graphics_prefix(config.bike.index) and install it on bike_texture.
    void (*bike_changed)();
};

// Every setting of the file, named by its configuration key.
struct Config {
    int32_t xres;
    int32_t yres;
    int32_t draw_fps;
    int32_t draw_time;
    int32_t draw_ping;
    int32_t spy;
    ChoiceSetting record;
    ChoiceSetting skill;
    NumericSetting minutes;
    NumericSetting laps;
    ChoiceSetting slot[config_slot_count]; // keys "slot00".."slot39"
    NumericSetting ghost_fade_distance;
    ChoiceSetting time_trial_abort;
    ChoiceSetting bike;
    TextSetting name;
    TextSetting number;
    ChoiceSetting rider_texture;
    ChoiceSetting head_texture;
    ChoiceSetting bike_texture;
    ChoiceSetting wheel_texture;
    NumericSetting stability;
    NumericSetting leveling;
    NumericSetting roll_damping;
    NumericSetting roll_limit_angle;
    NumericSetting roll_limit_factor;
    NumericSetting steering_damping;
    NumericSetting steering_strength;
    NumericSetting max_steering_force;
    NumericSetting direct_steering;
    NumericSetting slow_damping_speed;
    NumericSetting slow_damping_factor;
    NumericSetting land_damping_falloff;
    NumericSetting land_damping_factor;
    ChoiceSetting arcade;
    ChoiceSetting front_brake;
    ChoiceSetting rear_brake;
    ChoiceSetting stop_wheelies;
    ChoiceSetting auto_shift;
    ChoiceSetting auto_dab;
    ChoiceSetting sticky_dab;
    ChoiceSetting reverse_steering;
    ChoiceSetting lean_indicator;
    NumericSetting auto_clutch_rpms;
    NumericSetting brake_torque;
    NumericSetting rear_brake_torque;
    NumericSetting max_dab_speed;
    NumericSetting front_sprocket_adjustment;
    NumericSetting rear_sprocket_adjustment;
    NumericSetting fork_compression_adjustment;
    NumericSetting fork_rebound_adjustment;
    NumericSetting fork_spring_rate_adjustment;
    NumericSetting fork_preload_adjustment;
    NumericSetting fork_oil_level_adjustment;
    NumericSetting shock_compression_adjustment;
    NumericSetting shock_rebound_adjustment;
    NumericSetting shock_spring_rate_adjustment;
    NumericSetting shock_preload_adjustment;
    NumericSetting rider_yspring;
    NumericSetting rider_ydamping;
    NumericSetting rider_zspring;
    NumericSetting rider_zdamping;
    NumericSetting rider_mass_distribution;
    ChoiceSetting video_mode;
    TextSetting server_name;
    TextSetting server_name_hist[config_history_count]; // "server_name_hist00".."15"
    NumericSetting ground_detail;
    NumericSetting ground_texture_detail;
    ChoiceSetting ground_texture_dim;
    ChoiceSetting ground_mipmaps;
    ChoiceSetting use_fbo;
    ChoiceSetting use_shader;
    NumericSetting roost_density;
    ChoiceSetting lens_flare;
    ChoiceSetting hide_rider;
    ChoiceSetting rigid_camera;
    NumericSetting model_detail;
    NumericSetting model_texture_detail;
    NumericSetting fov;
    NumericSetting first_person_height;
    NumericSetting first_person_angle;
    NumericSetting volume;
    ChoiceSetting playback_mode;
    int32_t billboard_optimize_lookahead;
    BindingSetting throttle_key;
    BindingSetting front_brake_key;
    BindingSetting rear_brake_key;
    BindingSetting left_key;
    BindingSetting right_key;
    BindingSetting clutch_key;
    BindingSetting upshift_key;
    BindingSetting downshift_key;
    BindingSetting dab_key;
    BindingSetting back_up_key;
    BindingSetting lean_forward_key;
    BindingSetting lean_backward_key;
    BindingSetting pause_key;
    BindingSetting step_key;
    BindingSetting rewind_key;
    BindingSetting skip_key;
    BindingSetting prev_key;
    BindingSetting next_key;
    BindingSetting console_key;
    BindingSetting screenshot_key;

    ConfigHooks hooks; // wiring, not a setting: config_defaults keeps it
};

extern Config config;

// Puts every setting back to its built-in default, including the entry lists
// of the catalogue choices ("default" only; video_mode "Default Fullscreen"
// and "Windowed"). Call once at start-up before anything reads the settings,
// then install the catalogues.
void config_defaults();
void config_set_hooks(const ConfigHooks& hooks);
// Installs the entry list of a choice whose entries are built at run time
// (texture catalogues, video modes). The list must live as long as the
// setting uses it. An index that no longer names an entry goes back to 0; an
// empty list gives the "default" entry alone.
void config_set_choice_entries(ChoiceSetting* setting, const char* const* entries, int count);

// Applies every line of "@config" over the current settings; a missing file
// changes nothing. Returns whether a file was read.
bool config_read();
// Writes every setting to "config" in the home folder. The file is written
// beside it first and only then moved over it, so a failed write keeps the
// previous file. Returns success; failures are logged.
bool config_write();

// Sets the twelve riding-assist settings (leveling .. land_damping_factor)
// from the stability level 0..100.
void apply_stability_preset(int stability);

// The bikes the player can choose, with the prefix of their alternative
// bike-graphics textures.
struct BikeMenuEntry {
    const char* name;
    const char* graphics_prefix;
};
extern const BikeMenuEntry bike_menu[bike_menu_count];
// The names alone, in menu order: the entries of config.bike.
const char* const* bike_menu_names();
// The graphics prefix of a bike menu index ("dl250-"), or "" when out of range.
const char* bike_graphics_prefix(int index);
// Maps the bike names of older configuration files to their current entry.
const char* bike_current_name(const char* name);
