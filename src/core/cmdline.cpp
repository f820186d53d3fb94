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

// How an option reads its value. "Checked" kinds end the program with
// "Bad arg for <option>" when the value has no number; "kept" integers leave
// the setting alone; "plain" integers convert like atoi.
enum OptionKind {
    flag_option,    // no value
    checked_int,    // "%d", or the bad-arg message
    checked_float,  // "%f", or the bad-arg message
    kept_int,       // "%d", unchanged without a number
    plain_int,      // decimal, no check: no number gives 0
    text_option,    // any text; a missing value leaves the setting unset
    chase_option,   // "%f,%f,%f"
    ignored_option, // takes a value and says it does nothing
    open_home_option,
};

struct OptionValue {
    const char* text; // null when the option was last on the line
    int i;
    float f;
};

struct Option {
    const char* name;
    OptionKind kind;
    void (*apply)(LaunchSettings* l, StartOptions* s, const OptionValue& v);
};

#define APPLY [](LaunchSettings * l, StartOptions * s, const OptionValue& v)

// In the order they are tried for each argument.
const Option options[] = {
    {"--fugly", flag_option, APPLY { l->flat_shading = 1; }},
    {"--nosound", flag_option, APPLY { s->no_sound = 1; }},
    {"--novertexarrays", flag_option, APPLY { l->no_vertex_arrays = 1; }},
    {"--nolearn", flag_option, APPLY { l->learning_enabled = 0; }},
    {"--debug", flag_option, APPLY { l->debug_level = 1; }},
    {"--super-debug", flag_option, APPLY { l->debug_level = 2; }},
    {"--practice", flag_option, APPLY { l->practice_mode = 1; }},
    {"--warp", flag_option, APPLY { s->warp = 1; }},
    {"--texture-detail", checked_int, APPLY { l->texture_skip_levels = clamp_int(v.i, 0, 4); }},
    {"--ground-texture-detail", checked_int, APPLY { l->ground_texture_skip_levels = clamp_int(v.i, 0, 4); }},
    {"--roostfrequency", checked_int, APPLY { l->roost_frequency = clamp_int(v.i, 0, 1000); }},
    {"--erode", checked_float, APPLY { l->erode_rate = clamp_float(v.f, 0, 1); }},
    {"--detail", checked_float, APPLY { l->terrain_detail = v.f; }},
    {"--max-detail-distance", checked_float,
     APPLY {
         l->max_detail_distance = v.f;
         l->max_detail_distance_outer = v.f + 5;
     }},
    {"--lod-scale", checked_float, APPLY { l->lod_scale = clamp_float(v.f, 0.000001f, 1000000.0f); }},
    {"--lod-bias", checked_float, APPLY { l->lod_bias = v.f; }},
    {"--lock-fps", checked_float, APPLY { s->lock_fps = v.f; }},
    {"--fake-lag", checked_float,
     APPLY {
         double seconds = v.f * 0.001;
         l->fake_lag = seconds < 0 ? 0 : seconds > 1 ? 1 : seconds;
     }},
    {"--fake-loss", checked_int, APPLY { l->fake_loss = clamp_int(v.i, 0, 100); }},
    {"--record-audio", text_option, APPLY { s->record_audio_file = intern_string(v.text); }},
    {"--record-video", flag_option, APPLY { s->record_video = 1; }},
    {"--rotate-lineup", kept_int, APPLY { l->rotate_lineup = v.i; }},
    {"--editor", flag_option, APPLY { l->editor_enabled = 1; }},
    {"--hidden-pause", flag_option, APPLY { s->show_pause_banner = 0; }},
    {"--hidden-hud", flag_option, APPLY { s->show_hud = 0; }},
    {"--bikes", ignored_option, nullptr},
    {"--width", kept_int, APPLY { l->xres = v.i; }},
    {"--height", kept_int, APPLY { l->yres = v.i; }},
    {"--depth", plain_int, APPLY { l->colour_depth = v.i; }},
    {"--draw-fps", plain_int, APPLY { l->draw_fps = v.i; }},
    {"--draw-time", plain_int, APPLY { l->draw_time = v.i; }},
    {"--draw-ping", plain_int, APPLY { l->draw_ping = v.i; }},
    {"--draw-render-stats", plain_int, APPLY { l->draw_render_stats = v.i; }},
    {"--accurate-skip", flag_option, APPLY { l->accurate_skip = 1; }},
    {"--track", text_option, APPLY { l->track_name = intern_string(v.text); }},
    {"--connect", text_option,
     APPLY {
         const char* address = v.text;
         if (strncmp(address, "dustline:", 9) == 0)
             address += 9;
         l->server_address = intern_string(address);
     }},
    {"--password", text_option, APPLY { l->server_password = intern_string(v.text); }},
    {"--chase-center", chase_option, nullptr},
    {"--open-home", open_home_option, nullptr},
    {"--glfinish", flag_option, APPLY { s->gl_finish = 1; }},
};

#undef APPLY

enum MatchResult { no_match, matched, bad_value, open_home };

MatchResult try_option(const Option& option, ArgumentCursor* cursor, LaunchSettings* launch,
                       StartOptions* start, FILE* messages)
{
    OptionValue v = {nullptr, 0, 0};
    if (option.kind == flag_option || option.kind == open_home_option) {
        if (!match_flag(cursor, option.name))
            return no_match;
        if (option.kind == open_home_option)
            return open_home;
        option.apply(launch, start, v);
        return matched;
    }
    if (!match_option(cursor, option.name, &v.text))
        return no_match;
    switch (option.kind) {
    case checked_int:
    case checked_float: {
        bool ok = option.kind == checked_int ? read_int(v.text, &v.i) : read_float(v.text, &v.f);
        if (!ok) {
            fprintf(messages, "Bad arg for %s\n", option.name);
            return bad_value;
        }
        break;
    }
    case kept_int:
        if (!read_int(v.text, &v.i))
            return matched;
        break;
    case plain_int:
        v.i = v.text ? atoi(v.text) : 0;
        break;
    case text_option:
        if (!v.text)
            return matched;
        break;
    case chase_option: {
        float c[3];
        if (!v.text || sscanf(v.text, "%f,%f,%f", &c[0], &c[1], &c[2]) != 3) {
            fprintf(messages, "Bad arg for %s\n", option.name);
            return bad_value;
        }
        memcpy(start->chase_center, c, sizeof c);
        return matched;
    }
    case ignored_option:
        fprintf(messages, "%s doesn't do anything anymore\n", option.name);
        return matched;
    default:
        break;
    }
    option.apply(launch, start, v);
    return matched;
}

} // namespace

CommandLineOutcome parse_command_line(int argc, char** argv, LaunchSettings* launch,
                                      StartOptions* start, FILE* messages)
{
    ArgumentCursor cursor = {argc - 1, argv + 1, false};
    bool have_demo = false;
    while (cursor.remaining > 0) {
        MatchResult result = no_match;
        for (const Option& option : options) {
            result = try_option(option, &cursor, launch, start, messages);
            if (result != no_match)
                break;
        }
        if (result == bad_value)
            return command_line_failed;
        if (result == open_home)
            return command_line_open_home;
        if (result == matched)
            continue;
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
