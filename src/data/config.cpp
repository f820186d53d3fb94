#include "data/config.h"

#include "base/alloc.h"
#include "data/home.h"
#include "data/stream.h"
#include "koru/log.h"

#include <cctype>
#include <cstdio>
#include <cstring>

Config config;

namespace {

// The game server is a separate program that players usually start on their
// own machine or LAN, so the first guess is this machine.
constexpr const char* default_server_name = "localhost";

constexpr int line_buffer_size = 1024;
constexpr int host_path_size = 512;

struct EntryList {
    const char* const* texts;
    int32_t count;
};

template <int N>
constexpr EntryList list(const char* const (&texts)[N])
{
    return {texts, N};
}

constexpr const char* no_yes[] = {"No", "Yes"};
constexpr const char* skills[] = {"Novice", "Amateur", "Expert"};
constexpr const char* slot_kinds[] = {"Empty", "Human", "Robot", "Robot (2 stroke)", "Robot (4 stroke)"};
constexpr const char* brake_kinds[] = {"Normal", "Antilock"};
constexpr const char* wheelie_stops[] = {"No", "Yes", "Front Only"};
constexpr const char* texture_dims[] = {"32x32", "64x64", "128x128", "256x256", "512x512", "1024x1024"};
constexpr const char* playback_modes[] = {"Playback Only", "Race Against"};
// Until the program core lists the catalogues and display modes.
constexpr const char* default_only[] = {"default"};
constexpr const char* video_modes[] = {"Default Fullscreen", "Windowed"};

// Start gates 18 to 23: one human in the middle with robots either side.
constexpr int8_t slot_defaults[config_slot_count] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, //  0.. 9
    0, 0, 0, 0, 0, 0, 0, 2, 2, 1, // 10..19
    2, 2, 2, 0, 0, 0, 0, 0, 0, 0, // 20..29
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, // 30..39
};

enum KeyKind : uint8_t {
    kind_integer,
    kind_text,
    kind_history, // text kept only when it fits, never cut
    kind_choice,
    kind_slot,
    kind_bike,
    kind_numeric,
    kind_stability,
    kind_binding,
};

// One key of the file, with the record it fills and that record's default.
struct KeyEntry {
    const char* key; // a "%02d" pattern for a row of records
    KeyKind kind;
    int32_t rows;
    int32_t* integer;
    TextSetting* text;
    ChoiceSetting* choice;
    NumericSetting* numeric;
    BindingSetting* binding;
    const char* label;
    double value; // numeric and integer default, chosen choice index
    double step;
    double minimum;
    double maximum;
    const char* default_text; // text default, or the binding's default key
    int32_t max_length;
    EntryList entries;
};

constexpr KeyEntry integer(const char* key, int32_t* record, int32_t value)
{
    KeyEntry e{};
    e.key = key, e.kind = kind_integer, e.rows = 1, e.integer = record, e.value = value;
    return e;
}

constexpr KeyEntry text(const char* key, TextSetting* record, const char* label, int32_t max_length,
                        const char* value)
{
    KeyEntry e{};
    e.key = key, e.kind = kind_text, e.rows = 1, e.text = record, e.label = label;
    e.max_length = max_length, e.default_text = value;
    return e;
}

constexpr KeyEntry history(const char* key, TextSetting* records, int32_t rows, int32_t max_length)
{
    KeyEntry e{};
    e.key = key, e.kind = kind_history, e.rows = rows, e.text = records;
    e.max_length = max_length, e.default_text = "";
    return e;
}

constexpr KeyEntry choice(const char* key, ChoiceSetting* record, const char* label, EntryList entries,
                          int32_t index, KeyKind kind = kind_choice)
{
    KeyEntry e{};
    e.key = key, e.kind = kind, e.rows = 1, e.choice = record, e.label = label;
    e.entries = entries, e.value = index;
    return e;
}

constexpr KeyEntry slots(const char* key, ChoiceSetting* records, const char* label, EntryList entries)
{
    KeyEntry e = choice(key, records, label, entries, 0, kind_slot);
    e.rows = config_slot_count;
    return e;
}

constexpr KeyEntry numeric(const char* key, NumericSetting* record, const char* label, double value,
                           double step, double minimum, double maximum, KeyKind kind = kind_numeric)
{
    KeyEntry e{};
    e.key = key, e.kind = kind, e.rows = 1, e.numeric = record, e.label = label;
    e.value = value, e.step = step, e.minimum = minimum, e.maximum = maximum;
    return e;
}

constexpr KeyEntry binding(const char* key, BindingSetting* record, const char* label, const char* key_name)
{
    KeyEntry e{};
    e.key = key, e.kind = kind_binding, e.rows = 1, e.binding = record, e.label = label;
    e.default_text = key_name;
    return e;
}

// Every key in file order. The order matters when reading: "stability" sets
// the assists that follow it, and "bike" resets "bike_texture" after it.
const KeyEntry config_keys[] = {
    integer("xres", &config.xres, 640),
    integer("yres", &config.yres, 480),
    integer("draw_fps", &config.draw_fps, 0),
    integer("draw_time", &config.draw_time, 0),
    integer("draw_ping", &config.draw_ping, 1),
    integer("spy", &config.spy, 0),
    choice("record", &config.record, "Record Demo", list(no_yes), 0),
    choice("skill", &config.skill, "Robot Skill", list(skills), 0),
    //      key                            record                               label                          default step     min    max
    numeric("minutes",                     &config.minutes,                     "Minutes",                     0,      1,       0,     60),
    numeric("laps",                        &config.laps,                        "Laps",                        5,      1,       0,     50),
    slots("slot%02d", config.slot, "Gate %d", list(slot_kinds)),
    numeric("ghost_fade_distance",         &config.ghost_fade_distance,         "Ghost Fade Distance",         10,     1,       0,     40),
    choice("time_trial_abort", &config.time_trial_abort, "Backing Up Aborts Attempt", list(no_yes), 1),
    choice("bike", &config.bike, "Bike", {}, 0, kind_bike),
    text("name", &config.name, "Name", 63, "Joe Motocross"),
    text("number", &config.number, "Number", 3, "999"),
    choice("rider_texture", &config.rider_texture, "Riding Gear", list(default_only), 0),
    choice("head_texture", &config.head_texture, "Helmet", list(default_only), 0),
    choice("bike_texture", &config.bike_texture, "Bike Graphics", list(default_only), 0),
    choice("wheel_texture", &config.wheel_texture, "Wheel Graphics", list(default_only), 0),
    numeric("stability",                   &config.stability,                   "Stability",                   100,    1,       0,     100, kind_stability),
    numeric("leveling",                    &config.leveling,                    "Leveling",                    20,     1,       0,     100),
    numeric("roll_damping",                &config.roll_damping,                "Roll Damping",                60,     1,       0,     100),
    numeric("roll_limit_angle",            &config.roll_limit_angle,            "Roll Limit Angle",            45,     1,       0,     180),
    numeric("roll_limit_factor",           &config.roll_limit_factor,           "Roll Limit Factor",           10,     1,       0,     64),
    numeric("steering_damping",            &config.steering_damping,            "Steering Damping",            45,     1,       0,     100),
    numeric("steering_strength",           &config.steering_strength,           "Steering Strength",           75,     1,       0,     100),
    numeric("max_steering_force",          &config.max_steering_force,          "Max Steering Force",          400,    5,       0,     1000),
    numeric("direct_steering",             &config.direct_steering,             "Direct Steering",             1,      0.125,   0,     1),
    numeric("slow_damping_speed",          &config.slow_damping_speed,          "Slow Damping Speed",          40,     1,       0,     100),
    numeric("slow_damping_factor",         &config.slow_damping_factor,         "Slow Damping Factor",         2,      0.25,    1,     10),
    numeric("land_damping_falloff",        &config.land_damping_falloff,        "Landing Damping Falloff",     0.25,   0.0625,  0,     0.5),
    numeric("land_damping_factor",         &config.land_damping_factor,         "Landing Damping Factor",      2,      0.25,    1,     3),
    choice("arcade", &config.arcade, "Arcade Physics", list(no_yes), 1),
    choice("front_brake", &config.front_brake, "Front Brake", list(brake_kinds), 1),
    choice("rear_brake", &config.rear_brake, "Rear Brake", list(brake_kinds), 0),
    choice("stop_wheelies", &config.stop_wheelies, "Stop Wheelies", list(wheelie_stops), 0),
    choice("auto_shift", &config.auto_shift, "Automatic Shifting", list(no_yes), 1),
    choice("auto_dab", &config.auto_dab, "Dab When Stopped", list(no_yes), 1),
    choice("sticky_dab", &config.sticky_dab, "Sticky Sit/Dab", list(no_yes), 0),
    choice("reverse_steering", &config.reverse_steering, "Reversed Steering", list(no_yes), 1),
    choice("lean_indicator", &config.lean_indicator, "Lean Indicator", list(no_yes), 1),
    numeric("auto_clutch_rpms",            &config.auto_clutch_rpms,            "Auto Clutch RPMs",            5000,   100,     0,     5000),
    numeric("brake_torque",                &config.brake_torque,                "Braking Torque (Front)",      250,    10,      0,     500),
    numeric("rear_brake_torque",           &config.rear_brake_torque,           "Braking Torque (Rear)",       250,    10,      0,     500),
    numeric("max_dab_speed",               &config.max_dab_speed,               "Max Dab Speed (MPH)",         20,     1,       10,    20),
    numeric("front_sprocket_adjustment",   &config.front_sprocket_adjustment,   "Countershaft Sprocket",       0,      1,       -2,    2),
    numeric("rear_sprocket_adjustment",    &config.rear_sprocket_adjustment,    "Rear Sprocket",               0,      1,       -2,    2),
    numeric("fork_compression_adjustment", &config.fork_compression_adjustment, "Fork Compression Damping",    50,     1,       0,     100),
    numeric("fork_rebound_adjustment",     &config.fork_rebound_adjustment,     "Fork Rebound Damping",        50,     1,       0,     100),
    numeric("fork_spring_rate_adjustment", &config.fork_spring_rate_adjustment, "Fork Spring Rate",            50,     1,       0,     100),
    numeric("fork_preload_adjustment",     &config.fork_preload_adjustment,     "Fork Preload",                50,     1,       0,     100),
    numeric("fork_oil_level_adjustment",   &config.fork_oil_level_adjustment,   "Fork Oil Level",              50,     1,       0,     100),
    numeric("shock_compression_adjustment", &config.shock_compression_adjustment, "Shock Compression Damping", 50,     1,       0,     100),
    numeric("shock_rebound_adjustment",    &config.shock_rebound_adjustment,    "Shock Rebound Damping",       50,     1,       0,     100),
    numeric("shock_spring_rate_adjustment", &config.shock_spring_rate_adjustment, "Shock Spring Rate",         50,     1,       0,     100),
    numeric("shock_preload_adjustment",    &config.shock_preload_adjustment,    "Shock Preload",               50,     1,       0,     100),
    numeric("rider_yspring",               &config.rider_yspring,               "Rider Vertical Spring",       50,     1,       0,     100),
    numeric("rider_ydamping",              &config.rider_ydamping,              "Rider Vertical Damping",      50,     1,       0,     100),
    numeric("rider_zspring",               &config.rider_zspring,               "Rider Forward Spring",        50,     1,       0,     100),
    numeric("rider_zdamping",              &config.rider_zdamping,              "Rider Forward Damping",       50,     1,       0,     100),
    numeric("rider_mass_distribution",     &config.rider_mass_distribution,     "Rider Mass Distribution",     0.33,   0.01,    0.33,  0.5),
    choice("video_mode", &config.video_mode, "Video Mode", list(video_modes), 0),
    text("server_name", &config.server_name, "Server", 127, default_server_name),
    history("server_name_hist%02d", config.server_name_hist, config_history_count, 126),
    numeric("ground_detail",               &config.ground_detail,               "Ground Geometric Detail",     50,     1,       0,     100),
    numeric("ground_texture_detail",       &config.ground_texture_detail,       "Ground Texture Levels",       9,      1,       0,     10),
    choice("ground_texture_dim", &config.ground_texture_dim, "Ground Texture Resolution", list(texture_dims), 2),
    choice("ground_mipmaps", &config.ground_mipmaps, "Enable Ground Mipmaps", list(no_yes), 0),
    choice("use_fbo", &config.use_fbo, "Use Framebuffer Objects", list(no_yes), 0),
    choice("use_shader", &config.use_shader, "Use Shader Programs", list(no_yes), 0),
    numeric("roost_density",               &config.roost_density,               "Roost Density",               250,    10,      0,     1000),
    choice("lens_flare", &config.lens_flare, "Enable Lens Flares", list(no_yes), 1),
    choice("hide_rider", &config.hide_rider, "Hide 1st Person Rider", list(no_yes), 0),
    choice("rigid_camera", &config.rigid_camera, "Rigid 3rd person camera", list(no_yes), 0),
    numeric("model_detail",                &config.model_detail,                "Model Geometric Detail",      50,     1,       0,     100),
    numeric("model_texture_detail",        &config.model_texture_detail,        "Model Texture Detail",        9,      1,       0,     10),
    numeric("fov",                         &config.fov,                         "Field Of View",               110,    1,       10,    170),
    numeric("first_person_height",         &config.first_person_height,         "1st Person Height",           0,      0.03125, 0,     1),
    numeric("first_person_angle",          &config.first_person_angle,          "1st Person Angle",            0,      1,       0,     40),
    numeric("volume",                      &config.volume,                      "Volume",                      10,     1,       0,     10),
    choice("playback_mode", &config.playback_mode, "Playback Mode", list(playback_modes), 0),
    integer("billboard_optimize_lookahead", &config.billboard_optimize_lookahead, 8),
    //      key                  record                      label            default key
    binding("throttle_key",      &config.throttle_key,      "Throttle",      "x"),
    binding("front_brake_key",   &config.front_brake_key,   "Front Brake",   "c"),
    binding("rear_brake_key",    &config.rear_brake_key,    "Rear Brake",    "v"),
    binding("left_key",          &config.left_key,          "Left",          "left"),
    binding("right_key",         &config.right_key,         "Right",         "right"),
    binding("clutch_key",        &config.clutch_key,        "Clutch",        "z"),
    binding("upshift_key",       &config.upshift_key,       "Upshift",       "up"),
    binding("downshift_key",     &config.downshift_key,     "Downshift",     "down"),
    binding("dab_key",           &config.dab_key,           "Sit/Dab",       "right ctrl"),
    binding("back_up_key",       &config.back_up_key,       "Back up",       "b"),
    binding("lean_forward_key",  &config.lean_forward_key,  "Lean Forward",  "n"),
    binding("lean_backward_key", &config.lean_backward_key, "Lean Backward", "m"),
    binding("pause_key",         &config.pause_key,         "Pause",         "pause"),
    binding("step_key",          &config.step_key,          "Step",          "."),
    binding("rewind_key",        &config.rewind_key,        "Rewind",        "\\"),
    binding("skip_key",          &config.skip_key,          "Skip",          "/"),
    binding("prev_key",          &config.prev_key,          "Previous Bike", "["),
    binding("next_key",          &config.next_key,          "Next Bike",     "]"),
    binding("console_key",       &config.console_key,       "Chat",          "t"),
    binding("screenshot_key",    &config.screenshot_key,    "Screenshot",    "s"),
};

// "Gate 1".."Gate 40", made once from the slot entry's label pattern.
char slot_labels[config_slot_count][16];

void key_name(const KeyEntry& entry, int row, char* out, size_t size)
{
    if (entry.rows > 1)
        snprintf(out, size, entry.key, row);
    else
        snprintf(out, size, "%s", entry.key);
}

const KeyEntry* find_key(const char* key, int* row)
{
    char name[64];
    for (const KeyEntry& entry : config_keys) {
        for (int r = 0; r < entry.rows; r++) {
            key_name(entry, r, name, sizeof name);
            if (strcmp(name, key) == 0) {
                *row = r;
                return &entry;
            }
        }
    }
    return nullptr;
}

void set_text(TextSetting* setting, const char* value)
{
    size_t n = strlen(value);
    if (n > size_t(setting->max_length))
        n = size_t(setting->max_length);
    memcpy(setting->text, value, n);
    setting->text[n] = '\0';
}

void clear_binding(BindingSetting* binding)
{
    // Reading comes before the bindings are resolved, so there is no open
    // axis to release here.
    binding->key_name = nullptr;
    binding->key_code = 0;
    binding->axis_name = nullptr;
    binding->axis = nullptr;
    binding->low = 0;
    binding->high = 1;
}

void restore_default(const KeyEntry& entry, int row)
{
    switch (entry.kind) {
    case kind_integer:
        *entry.integer = int32_t(entry.value);
        break;
    case kind_text:
    case kind_history: {
        TextSetting* setting = &entry.text[row];
        setting->label = entry.label;
        setting->max_length = entry.max_length;
        set_text(setting, entry.default_text);
        break;
    }
    case kind_choice:
    case kind_slot:
    case kind_bike: {
        ChoiceSetting* setting = &entry.choice[row];
        setting->label = entry.label;
        setting->entries = entry.entries.texts;
        setting->count = entry.entries.count;
        setting->index = int32_t(entry.value);
        if (entry.kind == kind_slot) {
            snprintf(slot_labels[row], sizeof slot_labels[row], entry.label, row + 1);
            setting->label = slot_labels[row];
            setting->index = slot_defaults[row];
        } else if (entry.kind == kind_bike) {
            setting->entries = bike_menu_names();
            setting->count = bike_menu_count;
        }
        break;
    }
    case kind_numeric:
    case kind_stability:
        *entry.numeric = {entry.label, entry.value, entry.step, entry.minimum, entry.maximum};
        break;
    case kind_binding:
        clear_binding(entry.binding);
        entry.binding->label = entry.label;
        entry.binding->key_name = intern_string(entry.default_text);
        break;
    }
}

void read_integer(int32_t* setting, const char* value)
{
    int32_t number;
    if (data_sscan(value, "%d", &number) == 1)
        *setting = number;
}

void read_numeric(NumericSetting* setting, const char* value)
{
    float number;
    if (data_sscan(value, "%f", &number) != 1)
        return;
    // Limits are compared as the float that was read; a NaN fails the first
    // test and lands on the minimum.
    float minimum = float(setting->minimum);
    float maximum = float(setting->maximum);
    if (!(number >= minimum))
        number = minimum;
    else if (number > maximum)
        number = maximum;
    setting->value = number;
}

void read_choice(ChoiceSetting* setting, const char* value)
{
    for (int i = 0; i < setting->count; i++) {
        if (strcmp(setting->entries[i], value) == 0) {
            setting->index = i;
            return;
        }
    }
}

void read_binding(BindingSetting* binding, const char* value)
{
    while (isspace((unsigned char)*value))
        value++;
    clear_binding(binding);
    float low, high;
    const char* close = strchr(value, ')');
    if (close && data_sscan(value, "(%f,%f)", &low, &high) == 2) {
        binding->low = low;
        binding->high = high;
        binding->axis_name = intern_string(close + 1);
        return;
    }
    if (strncmp(value, "(k)", 3) == 0)
        value += 3;
    binding->key_name = intern_string(value);
}

void apply_line(char* line)
{
    char* equals = strchr(line, '=');
    if (!equals)
        return;
    *equals = '\0';
    char* value = equals + 1;
    size_t n = strlen(value);
    while (n && (value[n - 1] == '\r' || value[n - 1] == '\n'))
        value[--n] = '\0';

    int row = 0;
    const KeyEntry* entry = find_key(line, &row);
    // Unknown keys fall out here, and so does "ground_texture_distance",
    // which older files still carry but nothing reads any more.
    if (!entry)
        return;
    switch (entry->kind) {
    case kind_integer:
        read_integer(entry->integer, value);
        break;
    case kind_text:
        set_text(entry->text, value);
        break;
    case kind_history:
        // A line too long for the history is dropped rather than cut, so a
        // cut-off host name never shows up as a server to join.
        if (n <= size_t(entry->text[row].max_length))
            set_text(&entry->text[row], value);
        break;
    case kind_choice:
    case kind_slot:
        read_choice(&entry->choice[row], value);
        break;
    case kind_bike:
        read_choice(entry->choice, bike_current_name(value));
        if (config.hooks.bike_changed)
            config.hooks.bike_changed();
        config.bike_texture.index = 0;
        break;
    case kind_numeric:
        read_numeric(entry->numeric, value);
        break;
    case kind_stability:
        read_numeric(entry->numeric, value);
        apply_stability_preset(int(entry->numeric->value));
        break;
    case kind_binding:
        read_binding(entry->binding, value);
        break;
    }
}

bool write_entry(DataStream* out, const KeyEntry& entry, int row)
{
    char key[64];
    key_name(entry, row, key, sizeof key);
    switch (entry.kind) {
    case kind_integer:
        return data_printf(out, "%s=%d\n", key, *entry.integer) >= 0;
    case kind_text:
    case kind_history:
        return data_printf(out, "%s=%s\n", key, entry.text[row].text) >= 0;
    case kind_choice:
    case kind_slot:
    case kind_bike: {
        const ChoiceSetting& setting = entry.choice[row];
        if (setting.index < 0 || setting.index >= setting.count)
            return true; // no entry chosen: leave the default to the next run
        return data_printf(out, "%s=%s\n", key, setting.entries[setting.index]) >= 0;
    }
    case kind_numeric:
    case kind_stability:
        return data_printf(out, "%s=%f\n", key, entry.numeric->value) >= 0;
    case kind_binding: {
        const BindingSetting& binding = *entry.binding;
        if (binding.key_name)
            return data_printf(out, "%s=(k)%s\n", key, binding.key_name) >= 0;
        if (binding.axis_name)
            return data_printf(out, "%s=(%f,%f)%s\n", key, binding.low, binding.high, binding.axis_name) >= 0;
        return true;
    }
    }
    return true;
}

bool write_settings(DataStream* out)
{
    for (const KeyEntry& entry : config_keys)
        for (int r = 0; r < entry.rows; r++)
            if (!write_entry(out, entry, r))
                return false;
    return true;
}

} // namespace

void config_defaults()
{
    for (const KeyEntry& entry : config_keys)
        for (int r = 0; r < entry.rows; r++)
            restore_default(entry, r);
}

void config_set_hooks(const ConfigHooks& hooks)
{
    config.hooks = hooks;
}

void config_set_choice_entries(ChoiceSetting* setting, const char* const* entries, int count)
{
    if (!entries || count <= 0) {
        entries = default_only;
        count = 1;
    }
    setting->entries = entries;
    setting->count = count;
    if (setting->index < 0 || setting->index >= count)
        setting->index = 0;
}

bool config_read()
{
    DataStream* in = data_open("@config", "rb");
    if (!in)
        return false;
    char line[line_buffer_size];
    while (data_gets(in, line, sizeof line))
        apply_line(line);
    data_close(in);
    return true;
}

bool config_write()
{
    // The temporary goes into the same folder as the file it replaces, by
    // host path: an "@" name whose home-folder open failed would fall through
    // to the data folder, where the rename would not find it.
    const char* folder = search_path(0);
    if (!folder) {
        koru_log("Can't write config: no home folder\n");
        return false;
    }
    char temporary[host_path_size];
    char target[host_path_size];
    if (snprintf(temporary, sizeof temporary, "%sconfig.tmp", folder) >= int(sizeof temporary) ||
        snprintf(target, sizeof target, "%sconfig", folder) >= int(sizeof target)) {
        koru_log("Can't write config: home folder path too long\n");
        return false;
    }

    DataStream* out = data_open(temporary, "wb");
    if (!out) {
        koru_log("Can't write config: can't create %s\n", temporary);
        return false;
    }
    bool written = write_settings(out);
    // Buffered text only meets a full disk when it is flushed.
    if (data_flush(out) < 0 || ferror(out->file))
        written = false;
    data_close(out);

    if (written && data_rename(temporary, target))
        return true;
    remove(temporary);
    koru_log("Can't write config: %s %s; the previous file is kept\n",
             written ? "can't rename" : "can't write", temporary);
    return false;
}
