#include "base/launch.h"
#include "core/cmdline.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Parsed {
    CommandLineOutcome outcome;
    std::string messages;
    LaunchSettings launch;
    StartOptions start;
};

Parsed parse(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), "dustline");
    std::vector<char*> argv;
    for (std::string& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    Parsed p;
    char* text = nullptr;
    size_t size = 0;
    FILE* messages = open_memstream(&text, &size);
    p.outcome = parse_command_line(int(arguments.size()), argv.data(), &p.launch, &p.start, messages);
    fclose(messages);
    p.messages = text;
    free(text);
    return p;
}

using Check = std::function<void(const Parsed&)>;

struct Case {
    std::vector<std::string> arguments;
    Check check;
};

TEST(CommandLine, OptionsAndTheirValues)
{
    const Case cases[] = {
        {{"--fugly"}, [](auto& p) { EXPECT_EQ(p.launch.flat_shading, 1); }},
        {{"--nosound", "--warp", "--record-video", "--glfinish"},
         [](auto& p) {
             EXPECT_EQ(p.start.no_sound, 1);
             EXPECT_EQ(p.start.warp, 1);
             EXPECT_EQ(p.start.record_video, 1);
             EXPECT_EQ(p.start.gl_finish, 1);
         }},
        {{"--novertexarrays", "--nolearn", "--practice", "--editor", "--accurate-skip"},
         [](auto& p) {
             EXPECT_EQ(p.launch.no_vertex_arrays, 1);
             EXPECT_EQ(p.launch.learning_enabled, 0);
             EXPECT_EQ(p.launch.practice_mode, 1);
             EXPECT_EQ(p.launch.editor_enabled, 1);
             EXPECT_EQ(p.launch.accurate_skip, 1);
         }},
        {{"--debug"}, [](auto& p) { EXPECT_EQ(p.launch.debug_level, 1); }},
        {{"--super-debug"}, [](auto& p) { EXPECT_EQ(p.launch.debug_level, 2); }},
        {{"--hidden-pause", "--hidden-hud"},
         [](auto& p) {
             EXPECT_EQ(p.start.show_pause_banner, 0);
             EXPECT_EQ(p.start.show_hud, 0);
         }},
        {{"--width=800"}, [](auto& p) { EXPECT_EQ(p.launch.xres, 800); }},
        {{"--width", "800"}, [](auto& p) { EXPECT_EQ(p.launch.xres, 800); }},
        {{"--width", "wide"}, [](auto& p) { EXPECT_EQ(p.launch.xres, 640); }},
        {{"--height=600x"}, [](auto& p) { EXPECT_EQ(p.launch.yres, 600); }},
        {{"--height"}, [](auto& p) { EXPECT_EQ(p.launch.yres, 480); }},
        {{"--texture-detail", "9"}, [](auto& p) { EXPECT_EQ(p.launch.texture_skip_levels, 4); }},
        {{"--texture-detail=-2"}, [](auto& p) { EXPECT_EQ(p.launch.texture_skip_levels, 0); }},
        {{"--ground-texture-detail=3"}, [](auto& p) { EXPECT_EQ(p.launch.ground_texture_skip_levels, 3); }},
        {{"--roostfrequency=5000"}, [](auto& p) { EXPECT_EQ(p.launch.roost_frequency, 1000); }},
        {{"--erode=2.5"}, [](auto& p) { EXPECT_FLOAT_EQ(p.launch.erode_rate, 1); }},
        {{"--erode", "0.25"}, [](auto& p) { EXPECT_FLOAT_EQ(p.launch.erode_rate, 0.25f); }},
        {{"--detail=0.01"}, [](auto& p) { EXPECT_FLOAT_EQ(p.launch.terrain_detail, 0.01f); }},
        {{"--max-detail-distance=100"},
         [](auto& p) {
             EXPECT_FLOAT_EQ(p.launch.max_detail_distance, 100);
             EXPECT_FLOAT_EQ(p.launch.max_detail_distance_outer, 105);
         }},
        {{"--lod-scale", "0"}, [](auto& p) { EXPECT_FLOAT_EQ(p.launch.lod_scale, 0.000001f); }},
        {{"--lod-scale=1e9"}, [](auto& p) { EXPECT_FLOAT_EQ(p.launch.lod_scale, 1000000.0f); }},
        {{"--lod-bias=-3.5"}, [](auto& p) { EXPECT_FLOAT_EQ(p.launch.lod_bias, -3.5f); }},
        {{"--lock-fps=30"}, [](auto& p) { EXPECT_FLOAT_EQ(p.start.lock_fps, 30); }},
        {{"--fake-lag", "2500"}, [](auto& p) { EXPECT_DOUBLE_EQ(p.launch.fake_lag, 1.0); }},
        {{"--fake-lag=250"}, [](auto& p) { EXPECT_NEAR(p.launch.fake_lag, 0.25, 1e-9); }},
        {{"--fake-lag=-5"}, [](auto& p) { EXPECT_DOUBLE_EQ(p.launch.fake_lag, 0.0); }},
        {{"--fake-loss", "-5"}, [](auto& p) { EXPECT_EQ(p.launch.fake_loss, 0); }},
        {{"--fake-loss=150"}, [](auto& p) { EXPECT_EQ(p.launch.fake_loss, 100); }},
        {{"--rotate-lineup=3"}, [](auto& p) { EXPECT_EQ(p.launch.rotate_lineup, 3); }},
        {{"--rotate-lineup=x"}, [](auto& p) { EXPECT_EQ(p.launch.rotate_lineup, 0); }},
        {{"--depth=32", "--draw-fps", "1", "--draw-time=2", "--draw-ping=0", "--draw-render-stats=1"},
         [](auto& p) {
             EXPECT_EQ(p.launch.colour_depth, 32);
             EXPECT_EQ(p.launch.draw_fps, 1);
             EXPECT_EQ(p.launch.draw_time, 2);
             EXPECT_EQ(p.launch.draw_ping, 0);
             EXPECT_EQ(p.launch.draw_render_stats, 1);
         }},
        {{"--depth=deep"}, [](auto& p) { EXPECT_EQ(p.launch.colour_depth, 0); }}, // no check
        {{"--record-audio", "out.raw"}, [](auto& p) { EXPECT_STREQ(p.start.record_audio_file, "out.raw"); }},
        {{"--record-audio"}, [](auto& p) { EXPECT_EQ(p.start.record_audio_file, nullptr); }},
        {{"--track=hill", "--password", "pw"},
         [](auto& p) {
             EXPECT_STREQ(p.launch.track_name, "hill");
             EXPECT_STREQ(p.launch.server_password, "pw");
         }},
        {{"--connect", "dustline:race.example.org"},
         [](auto& p) { EXPECT_STREQ(p.launch.server_address, "race.example.org"); }},
        {{"--connect=10.0.0.1:19800"}, [](auto& p) { EXPECT_STREQ(p.launch.server_address, "10.0.0.1:19800"); }},
        {{"--chase-center=1,2.5,-3"},
         [](auto& p) {
             EXPECT_FLOAT_EQ(p.start.chase_center[0], 1);
             EXPECT_FLOAT_EQ(p.start.chase_center[1], 2.5f);
             EXPECT_FLOAT_EQ(p.start.chase_center[2], -3);
         }},
        {{"--bikes", "8", "--fugly"},
         [](auto& p) {
             EXPECT_EQ(p.messages, "--bikes doesn't do anything anymore\n");
             EXPECT_EQ(p.launch.flat_shading, 1);
         }},
        {{"race.dldemo"}, [](auto& p) { EXPECT_STREQ(p.launch.demo_file, "race.dldemo"); }},
        {{"--", "--fugly"},
         [](auto& p) {
             EXPECT_STREQ(p.launch.demo_file, "--fugly");
             EXPECT_EQ(p.launch.flat_shading, 0);
         }},
        {{"--"}, [](auto& p) { EXPECT_EQ(p.launch.demo_file, nullptr); }},
        {{}, [](auto& p) { EXPECT_EQ(p.launch.xres, 640); }},
    };
    for (const Case& c : cases) {
        Parsed p = parse(c.arguments);
        std::string line;
        for (const std::string& a : c.arguments)
            line += a + " ";
        SCOPED_TRACE(line);
        EXPECT_EQ(p.outcome, command_line_go_on) << p.messages;
        c.check(p);
    }
}

TEST(CommandLine, Failures)
{
    struct Failure {
        std::vector<std::string> arguments;
        const char* message;
    } const cases[] = {
        {{"--fugly=1"}, "bad option '--fugly=1'\n"},
        {{"-x"}, "bad option '-x'\n"},
        {{"--width=800", "--unknown"}, "bad option '--unknown'\n"},
        {{"a.dldemo", "b.dldemo"}, "Too many files!\n"},
        {{"--", "a", "-b"}, "Too many files!\n"},
        {{"--texture-detail=high"}, "Bad arg for --texture-detail\n"},
        {{"--texture-detail"}, "Bad arg for --texture-detail\n"}, // a missing value has no number
        {{"--ground-texture-detail", "x"}, "Bad arg for --ground-texture-detail\n"},
        {{"--roostfrequency="}, "Bad arg for --roostfrequency\n"},
        {{"--erode=lots"}, "Bad arg for --erode\n"},
        {{"--detail"}, "Bad arg for --detail\n"},
        {{"--max-detail-distance=far"}, "Bad arg for --max-detail-distance\n"},
        {{"--lod-scale=x"}, "Bad arg for --lod-scale\n"},
        {{"--lod-bias=x"}, "Bad arg for --lod-bias\n"},
        {{"--lock-fps=x"}, "Bad arg for --lock-fps\n"},
        {{"--fake-lag=x"}, "Bad arg for --fake-lag\n"},
        {{"--fake-loss"}, "Bad arg for --fake-loss\n"},
        {{"--chase-center=1,2"}, "Bad arg for --chase-center\n"},
        {{"--chase-center"}, "Bad arg for --chase-center\n"},
    };
    for (const Failure& c : cases) {
        Parsed p = parse(c.arguments);
        EXPECT_EQ(p.outcome, command_line_failed) << c.message;
        EXPECT_EQ(p.messages, c.message);
    }
}

TEST(CommandLine, OpenHomeEndsParsingAtOnce)
{
    Parsed p = parse({"--width=800", "--open-home", "--fugly=1"});
    EXPECT_EQ(p.outcome, command_line_open_home);
    EXPECT_EQ(p.launch.xres, 800);
    EXPECT_EQ(p.messages, "");
}

} // namespace
