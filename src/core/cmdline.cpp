#include "core/cmdline.h"

#include "base/alloc.h"
#include "base/launch.h"

#include <cstdlib>
#include <cstring>

namespace {

struct ArgumentCursor {
    int remaining;
    char** next;
    bool options_ended;
};

void consume(ArgumentCursor* cursor)
{
    cursor->remaining--;
    cursor->next++;
}

// An option with a value: "--name value" or "--name=value". A lone "--" is
// consumed here and ends the options for good.
bool match_option(ArgumentCursor* cursor, const char* name, const char** value)
{
    if (cursor->remaining <= 0 || cursor->options_ended)
        return false;
    const char* argument = *cursor->next;
    if (strcmp(argument, "--") == 0) {
        cursor->options_ended = true;
        consume(cursor);
        return false;
    }
    size_t n = strlen(name);
    if (strcmp(argument, name) == 0) {
        consume(cursor);
        *value = nullptr;
        if (cursor->remaining > 0) {
            *value = *cursor->next;
            consume(cursor);
        }
        return true;
    }
    if (strncmp(argument, name, n) == 0 && argument[n] == '=') {
        consume(cursor);
        *value = argument + n + 1;
        return true;
    }
    return false;
}

bool match_flag(ArgumentCursor* cursor, const char* name)
{
    if (cursor->remaining <= 0 || cursor->options_ended || strcmp(*cursor->next, name) != 0)
        return false;
    consume(cursor);
    return true;
}

bool read_int(const char* value, int* out)
{
    return value && sscanf(value, "%d", out) == 1;
}

bool read_float(const char* value, float* out)
{
    return value && sscanf(value, "%f", out) == 1;
}

int clamp_int(int v, int low, int high)
{
    return v < low ? low : v > high ? high : v;
}

float clamp_float(float v, float low, float high)
{
    return v < low ? low : v > high ? high : v;
}

// The options that take an integer or a number and report a bad value.
enum ValueKind { int_value, float_value };

struct NumericOption {
    const char* name;
    ValueKind kind;
    void (*apply)(LaunchSettings*, StartOptions*, int, float);
};

const NumericOption numeric_options[] = {
    {"--texture-detail", int_value,
     [](LaunchSettings* l, StartOptions*, int i, float) { l->texture_skip_levels = clamp_int(i, 0, 4); }},
    {"--ground-texture-detail", int_value,
     [](LaunchSettings* l, StartOptions*, int i, float) { l->ground_texture_skip_levels = clamp_int(i, 0, 4); }},
    {"--roostfrequency", int_value,
     [](LaunchSettings* l, StartOptions*, int i, float) { l->roost_frequency = clamp_int(i, 0, 1000); }},
    {"--erode", float_value,
     [](LaunchSettings* l, StartOptions*, int, float f) { l->erode_rate = clamp_float(f, 0, 1); }},
    {"--detail", float_value, [](LaunchSettings* l, StartOptions*, int, float f) { l->terrain_detail = f; }},
    {"--max-detail-distance", float_value,
     [](LaunchSettings* l, StartOptions*, int, float f) {
         l->max_detail_distance = f;
         l->max_detail_distance_outer = f + 5;
     }},
    {"--lod-scale", float_value,
     [](LaunchSettings* l, StartOptions*, int, float f) { l->lod_scale = clamp_float(f, 0.000001f, 1000000.0f); }},
    {"--lod-bias", float_value, [](LaunchSettings* l, StartOptions*, int, float f) { l->lod_bias = f; }},
    {"--lock-fps", float_value, [](LaunchSettings*, StartOptions* s, int, float f) { s->lock_fps = f; }},
    {"--fake-lag", float_value,
     [](LaunchSettings* l, StartOptions*, int, float f) {
         double seconds = f * 0.001;
         l->fake_lag = seconds < 0 ? 0 : seconds > 1 ? 1 : seconds;
     }},
    {"--fake-loss", int_value,
     [](LaunchSettings* l, StartOptions*, int i, float) { l->fake_loss = clamp_int(i, 0, 100); }},
};

} // namespace

CommandLineOutcome parse_command_line(int argc, char** argv, LaunchSettings* launch,
                                      StartOptions* start, FILE* messages)
{
    ArgumentCursor cursor = {argc - 1, argv + 1, false};
    bool have_demo = false;
    while (cursor.remaining > 0) {
        const char* value = nullptr;
        int number = 0;
        if (match_flag(&cursor, "--fugly")) {
            launch->flat_shading = 1;
            continue;
        }
        if (match_flag(&cursor, "--nosound")) {
            start->no_sound = 1;
            continue;
        }
        if (match_flag(&cursor, "--novertexarrays")) {
            launch->no_vertex_arrays = 1;
            continue;
        }
        if (match_flag(&cursor, "--nolearn")) {
            launch->learning_enabled = 0;
            continue;
        }
        if (match_flag(&cursor, "--debug")) {
            launch->debug_level = 1;
            continue;
        }
        if (match_flag(&cursor, "--super-debug")) {
            launch->debug_level = 2;
            continue;
        }
        if (match_flag(&cursor, "--practice")) {
            launch->practice_mode = 1;
            continue;
        }
        if (match_flag(&cursor, "--warp")) {
            start->warp = 1;
            continue;
        }
        bool matched = false;
        for (const NumericOption& option : numeric_options) {
            if (!match_option(&cursor, option.name, &value))
                continue;
            matched = true;
            float f = 0;
            bool ok = option.kind == int_value ? read_int(value, &number) : read_float(value, &f);
            if (!ok) {
                fprintf(messages, "Bad arg for %s\n", option.name);
                return command_line_failed;
            }
            option.apply(launch, start, number, f);
            break;
        }
        if (matched)
            continue;
        if (match_option(&cursor, "--record-audio", &value)) {
            if (value)
                start->record_audio_file = intern_string(value);
            continue;
        }
        if (match_flag(&cursor, "--record-video")) {
            start->record_video = 1;
            continue;
        }
        if (match_option(&cursor, "--rotate-lineup", &value)) {
            if (read_int(value, &number))
                launch->rotate_lineup = number;
            continue;
        }
        if (match_flag(&cursor, "--editor")) {
            launch->editor_enabled = 1;
            continue;
        }
        if (match_flag(&cursor, "--hidden-pause")) {
            start->show_pause_banner = 0;
            continue;
        }
        if (match_flag(&cursor, "--hidden-hud")) {
            start->show_hud = 0;
            continue;
        }
        if (match_option(&cursor, "--bikes", &value)) {
            fprintf(messages, "--bikes doesn't do anything anymore\n");
            continue;
        }
        if (match_option(&cursor, "--width", &value)) {
            if (read_int(value, &number))
                launch->xres = number;
            continue;
        }
        if (match_option(&cursor, "--height", &value)) {
            if (read_int(value, &number))
                launch->yres = number;
            continue;
        }
        // Plain decimal conversions with no check: text without a number
        // (or no value at all) gives 0.
        struct {
            const char* name;
            int32_t* target;
        } const plain_ints[] = {
            {"--depth", &launch->colour_depth},
            {"--draw-fps", &launch->draw_fps},
            {"--draw-time", &launch->draw_time},
            {"--draw-ping", &launch->draw_ping},
            {"--draw-render-stats", &launch->draw_render_stats},
        };
        for (const auto& option : plain_ints) {
            if (!match_option(&cursor, option.name, &value))
                continue;
            matched = true;
            *option.target = value ? atoi(value) : 0;
            break;
        }
        if (matched)
            continue;
        if (match_flag(&cursor, "--accurate-skip")) {
            launch->accurate_skip = 1;
            continue;
        }
        if (match_option(&cursor, "--track", &value)) {
            if (value)
                launch->track_name = intern_string(value);
            continue;
        }
        if (match_option(&cursor, "--connect", &value)) {
            if (value) {
                if (strncmp(value, "dustline:", 9) == 0)
                    value += 9;
                launch->server_address = intern_string(value);
            }
            continue;
        }
        if (match_option(&cursor, "--password", &value)) {
            if (value)
                launch->server_password = intern_string(value);
            continue;
        }
        if (match_option(&cursor, "--chase-center", &value)) {
            float c[3];
            if (!value || sscanf(value, "%f,%f,%f", &c[0], &c[1], &c[2]) != 3) {
                fprintf(messages, "Bad arg for --chase-center\n");
                return command_line_failed;
            }
            memcpy(start->chase_center, c, sizeof c);
            continue;
        }
        if (match_flag(&cursor, "--open-home"))
            return command_line_open_home;
        if (match_flag(&cursor, "--glfinish")) {
            start->gl_finish = 1;
            continue;
        }
        // A lone "--" may have been the last argument.
        if (cursor.remaining <= 0)
            break;
        const char* argument = *cursor.next;
        consume(&cursor);
        if (argument[0] == '-' && !cursor.options_ended) {
            fprintf(messages, "bad option '%s'\n", argument);
            return command_line_failed;
        }
        if (have_demo) {
            fprintf(messages, "Too many files!\n");
            return command_line_failed;
        }
        have_demo = true;
        launch->demo_file = intern_string(argument);
    }
    return command_line_go_on;
}
