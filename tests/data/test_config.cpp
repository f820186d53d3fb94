#include "base/alloc.h"
#include "data/config.h"
#include "support/fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

std::string format_line(const char* format, int n, const char* value)
{
    char line[256];
    snprintf(line, sizeof line, format, n, value);
    return line;
}

// The file written for the built-in defaults, key by key in file order.
std::string default_config_text()
{
    std::string text = R"(xres=640
yres=480
draw_fps=0
draw_time=0
draw_ping=1
spy=0
record=No
skill=Novice
minutes=0.000000
laps=5.000000
)";
    for (int slot = 0; slot < 40; slot++) {
        const char* kind = slot == 19 ? "Human" : slot >= 17 && slot <= 22 ? "Robot" : "Empty";
        text += format_line("slot%02d=%s\n", slot, kind);
    }
    text += R"(ghost_fade_distance=10.000000
time_trial_abort=Yes
bike=dl250(2009)
name=Joe Motocross
number=999
rider_texture=default
head_texture=default
bike_texture=default
wheel_texture=default
stability=100.000000
leveling=20.000000
roll_damping=60.000000
roll_limit_angle=45.000000
roll_limit_factor=10.000000
steering_damping=45.000000
steering_strength=75.000000
max_steering_force=400.000000
direct_steering=1.000000
slow_damping_speed=40.000000
slow_damping_factor=2.000000
land_damping_falloff=0.250000
land_damping_factor=2.000000
arcade=Yes
front_brake=Antilock
rear_brake=Normal
stop_wheelies=No
auto_shift=Yes
auto_dab=Yes
sticky_dab=No
reverse_steering=Yes
lean_indicator=Yes
auto_clutch_rpms=5000.000000
brake_torque=250.000000
rear_brake_torque=250.000000
max_dab_speed=20.000000
front_sprocket_adjustment=0.000000
rear_sprocket_adjustment=0.000000
fork_compression_adjustment=50.000000
fork_rebound_adjustment=50.000000
fork_spring_rate_adjustment=50.000000
fork_preload_adjustment=50.000000
fork_oil_level_adjustment=50.000000
shock_compression_adjustment=50.000000
shock_rebound_adjustment=50.000000
shock_spring_rate_adjustment=50.000000
shock_preload_adjustment=50.000000
rider_yspring=50.000000
rider_ydamping=50.000000
rider_zspring=50.000000
rider_zdamping=50.000000
rider_mass_distribution=0.330000
video_mode=Default Fullscreen
server_name=localhost
)";
    for (int i = 0; i < 16; i++)
        text += format_line("server_name_hist%02d=%s\n", i, "");
    text += R"(ground_detail=50.000000
ground_texture_detail=9.000000
ground_texture_dim=128x128
ground_mipmaps=No
use_fbo=No
use_shader=No
roost_density=250.000000
lens_flare=Yes
hide_rider=No
rigid_camera=No
model_detail=50.000000
model_texture_detail=9.000000
fov=110.000000
first_person_height=0.000000
first_person_angle=0.000000
volume=10.000000
playback_mode=Playback Only
billboard_optimize_lookahead=8
throttle_key=(k)x
front_brake_key=(k)c
rear_brake_key=(k)v
left_key=(k)left
right_key=(k)right
clutch_key=(k)z
upshift_key=(k)up
downshift_key=(k)down
dab_key=(k)right ctrl
back_up_key=(k)b
lean_forward_key=(k)n
lean_backward_key=(k)m
pause_key=(k)pause
step_key=(k).
rewind_key=(k)\
skip_key=(k)/
prev_key=(k)[
next_key=(k)]
console_key=(k)t
screenshot_key=(k)s
)";
    return text;
}

// text with the line of line's key replaced by line.
std::string with_line(std::string text, const std::string& line)
{
    std::string key = line.substr(0, line.find('=') + 1);
    size_t at = text.compare(0, key.size(), key) == 0 ? 0 : text.find("\n" + key);
    if (at == std::string::npos)
        return text + "<no line " + key + ">";
    if (at)
        at++;
    text.replace(at, text.find('\n', at) - at, line);
    return text;
}

class ConfigFixture : public testing::Test {
protected:
    TestHome home;

    void SetUp() override
    {
        config_defaults();
        config_set_hooks({});
    }
    void TearDown() override
    {
        config_set_hooks({});
        config_defaults();
    }
    bool read_config(const std::string& text)
    {
        write_file(home.home("config"), text);
        return config_read();
    }
    std::string written()
    {
        EXPECT_TRUE(config_write());
        return read_file(home.home("config"));
    }
};

using ConfigRead = ConfigFixture;
using ConfigWrite = ConfigFixture;
using ConfigStability = ConfigFixture;

TEST_F(ConfigWrite, DefaultsGiveTheDocumentedFile)
{
    EXPECT_EQ(written(), default_config_text());
    EXPECT_FALSE(file_exists(home.home("config.tmp")));
}

TEST_F(ConfigRead, MissingFileKeepsDefaults)
{
    EXPECT_FALSE(config_read());
    EXPECT_EQ(written(), default_config_text());
}

TEST_F(ConfigRead, EachLineSetsOnlyItsSetting)
{
    const std::string long_name(70, 'n');
    const std::string host126(126, 'h');
    struct Case {
        std::string line;
        std::string expected; // the key's written line afterwards; "" when nothing changes
    } const cases[] = {
        // Numbers are limited to their range; no number changes nothing.
        {"laps=75", "laps=50.000000"},
        {"laps=-3", "laps=0.000000"},
        {"laps=abc", ""},
        {"laps=", ""},
        {"laps=12.5 laps", "laps=12.500000"},
        {"fov=1e9", "fov=170.000000"},
        {"front_sprocket_adjustment=-5", "front_sprocket_adjustment=-2.000000"},
        {"rider_mass_distribution=0.1", "rider_mass_distribution=0.330000"},
        {"direct_steering=0.3", "direct_steering=0.300000"},
        // Keys are exact; the value loses its trailing line ends only.
        {"Laps=7", ""},
        {"laps =7", ""},
        {"laps=7\r\r", "laps=7.000000"},
        // An overlong line is split: the first part has no "=", the rest counts.
        {std::string(1023, 'x') + "laps=7", "laps=7.000000"},
        // Integers have no range.
        {"xres=1024", "xres=1024"},
        {"yres=tall", ""},
        {"billboard_optimize_lookahead=-4", "billboard_optimize_lookahead=-4"},
        // Choices match an entry exactly or not at all.
        {"skill=Expert", "skill=Expert"},
        {"skill=expert", ""},
        {"skill=Expert ", ""},
        {"stop_wheelies=Front Only", "stop_wheelies=Front Only"},
        {"slot05=Robot (2 stroke)", "slot05=Robot (2 stroke)"},
        {"slot19=Empty", "slot19=Empty"},
        {"slot5=Robot", ""},
        {"slot40=Robot", ""},
        {"video_mode=Windowed", "video_mode=Windowed"},
        // Old bike names are still understood.
        {"bike=dk250f", "bike=dk250f(2008)"},
        {"bike=dy250f", "bike=dy250f(2008)"},
        {"bike=dy250f_se(2006)", "bike=dy250f_se(2006)"},
        {"bike=125dx", ""},
        // Text is cut to its length; only the first "=" splits.
        {"name=a=b", "name=a=b"},
        {"name=" + long_name, "name=" + long_name.substr(0, 63)},
        {"number=12345", "number=123"},
        {"server_name=", "server_name="},
        // A history line is kept whole or not at all.
        {"server_name_hist03=" + host126, "server_name_hist03=" + host126},
        {"server_name_hist03=" + host126 + "h", ""},
        {"server_name_hist16=x", ""},
        // Bindings: an axis with its calibration, or a key name.
        {"clutch_key=(0,1)Mouse.axis[1]", "clutch_key=(0.000000,1.000000)Mouse.axis[1]"},
        {"clutch_key=  (-0.5,2)joy axis 1", "clutch_key=(-0.500000,2.000000)joy axis 1"},
        {"clutch_key=(k)x", "clutch_key=(k)x"},
        {"clutch_key=x", "clutch_key=(k)x"},
        {"clutch_key=\t(k)right shift", "clutch_key=(k)right shift"},
        {"clutch_key=(0,1", "clutch_key=(k)(0,1"},
        {"clutch_key=(k)", "clutch_key=(k)"},
        // Lines that mean nothing.
        {"ground_texture_distance=5", ""},
        {"no equals sign", ""},
        {"=Expert", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        config_defaults();
        ASSERT_TRUE(read_config(c.line + "\n"));
        std::string expected = default_config_text();
        if (!c.expected.empty())
            expected = with_line(expected, c.expected);
        EXPECT_EQ(written(), expected);
    }
}

TEST_F(ConfigRead, BindingsHoldInternedNames)
{
    ASSERT_TRUE(read_config("throttle_key=(0,1)Mouse.axis[1]\nfront_brake_key=(k)x\nrear_brake_key=x\n"));
    const BindingSetting& throttle = config.throttle_key;
    EXPECT_EQ(throttle.key_name, nullptr);
    EXPECT_EQ(throttle.axis_name, intern_string("Mouse.axis[1]"));
    EXPECT_EQ(throttle.low, 0.0f);
    EXPECT_EQ(throttle.high, 1.0f);
    EXPECT_EQ(config.front_brake_key.key_name, intern_string("x"));
    EXPECT_EQ(config.front_brake_key.axis_name, nullptr);
    EXPECT_EQ(config.rear_brake_key.key_name, intern_string("x"));
    EXPECT_STREQ(config.throttle_key.label, "Throttle");
}

TEST_F(ConfigRead, RecordsCarryTheirLabelsAndRanges)
{
    EXPECT_STREQ(config.slot[0].label, "Gate 1");
    EXPECT_STREQ(config.slot[39].label, "Gate 40");
    EXPECT_STREQ(config.laps.label, "Laps");
    EXPECT_EQ(config.max_steering_force.step, 5);
    EXPECT_EQ(config.max_steering_force.maximum, 1000);
    EXPECT_STREQ(config.brake_torque.label, "Braking Torque (Front)");
    EXPECT_EQ(config.bike.count, bike_menu_count);
    EXPECT_STREQ(config.bike.entries[12], "dy250f_se(2006)");
    EXPECT_EQ(config.name.max_length, 63);
    EXPECT_EQ(config.server_name_hist[15].max_length, 126);
}

// The bike's graphics catalogue as the program core would build it.
const char* const dk250f_graphics[] = {"default", "dk250f-red"};
const char* rebuilt_for = nullptr;
int rebuilds = 0;

void rebuild_bike_graphics()
{
    rebuilt_for = bike_graphics_prefix(config.bike.index);
    rebuilds++;
    config_set_choice_entries(&config.bike_texture, dk250f_graphics, 2);
}

TEST_F(ConfigRead, BikeRebuildsItsGraphicsAndResetsThem)
{
    config_set_hooks({rebuild_bike_graphics});
    struct Case {
        const char* text;
        const char* bike_texture;
    } const cases[] = {
        {"bike_texture=dk250f-red\nbike=dk250f(2008)\n", "default"},
        {"bike=dk250f\nbike_texture=dk250f-red\n", "dk250f-red"},
        {"bike=dk250f\nbike_texture=dk250f-blue\n", "default"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        config_defaults();
        config_set_choice_entries(&config.bike_texture, dk250f_graphics, 2);
        rebuilds = 0;
        ASSERT_TRUE(read_config(c.text));
        EXPECT_EQ(rebuilds, 1);
        EXPECT_STREQ(rebuilt_for, "dk250f-");
        EXPECT_STREQ(config.bike.entries[config.bike.index], "dk250f(2008)");
        EXPECT_STREQ(config.bike_texture.entries[config.bike_texture.index], c.bike_texture);
    }
}

TEST(ConfigBikeMenu, PrefixesAndAliases)
{
    EXPECT_STREQ(bike_graphics_prefix(0), "dl250-");
    EXPECT_STREQ(bike_graphics_prefix(7), "dy250f-");
    EXPECT_STREQ(bike_graphics_prefix(12), "dy250f_se-");
    EXPECT_STREQ(bike_graphics_prefix(16), "dy125-");
    EXPECT_STREQ(bike_graphics_prefix(17), "");
    EXPECT_STREQ(bike_graphics_prefix(-1), "");
    EXPECT_STREQ(bike_current_name("dz250"), "dz250(2008)");
    EXPECT_STREQ(bike_current_name("dz250(2007)"), "dz250(2007)");
}

TEST_F(ConfigRead, ChoiceEntriesInstalledAtRunTime)
{
    const char* const modes[] = {"Default Fullscreen", "Windowed", "1024x768"};
    config_set_choice_entries(&config.video_mode, modes, 3);
    ASSERT_TRUE(read_config("video_mode=1024x768\n"));
    EXPECT_EQ(config.video_mode.index, 2);

    // A shorter list takes the choice back to its first entry; no list at
    // all still leaves "default" to choose.
    config_set_choice_entries(&config.video_mode, modes, 2);
    EXPECT_EQ(config.video_mode.index, 0);
    config.rider_texture.index = 3;
    config_set_choice_entries(&config.rider_texture, nullptr, 0);
    EXPECT_EQ(config.rider_texture.count, 1);
    EXPECT_EQ(config.rider_texture.index, 0);
    EXPECT_STREQ(config.rider_texture.entries[0], "default");
}

struct Assists {
    double roll_damping, roll_limit_angle, roll_limit_factor, direct_steering, slow_damping_factor,
        land_damping_falloff, land_damping_factor;
};

void expect_assists(const Assists& a)
{
    EXPECT_NEAR(config.roll_damping.value, a.roll_damping, 1e-9);
    EXPECT_NEAR(config.roll_limit_angle.value, a.roll_limit_angle, 1e-9);
    EXPECT_NEAR(config.roll_limit_factor.value, a.roll_limit_factor, 1e-9);
    EXPECT_NEAR(config.direct_steering.value, a.direct_steering, 1e-9);
    EXPECT_NEAR(config.slow_damping_factor.value, a.slow_damping_factor, 1e-9);
    EXPECT_NEAR(config.land_damping_falloff.value, a.land_damping_falloff, 1e-9);
    EXPECT_NEAR(config.land_damping_factor.value, a.land_damping_factor, 1e-9);
    // These do not depend on the stability.
    EXPECT_EQ(config.leveling.value, 20);
    EXPECT_EQ(config.steering_damping.value, 45);
    EXPECT_EQ(config.steering_strength.value, 75);
    EXPECT_EQ(config.max_steering_force.value, 400);
    EXPECT_EQ(config.slow_damping_speed.value, 40);
}

const Assists stability_0 = {40, 90, 0, 1, 1, 0, 1};
const Assists stability_100 = {80, 35, 32, 0, 2, 0.25, 2};

TEST_F(ConfigStability, PresetInterpolatesBetweenColumns)
{
    struct Case {
        int stability;
        Assists assists;
    } const cases[] = {
        {0, stability_0},
        {20, {50, 45, 5, 1, 1, 0.125, 1.5}},
        {50, {65, 42.5, 21, 1, 1.75, 0.25, 2}},
        {90, {77.5, 35, 32, 0.5, 2, 0.25, 2}},
        {100, stability_100},
        {150, stability_100},
        {-10, stability_0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stability);
        config_defaults();
        apply_stability_preset(c.stability);
        expect_assists(c.assists);
    }
}

TEST_F(ConfigStability, ReadingStabilityAppliesThePreset)
{
    const Assists stability_37 = {58.5, 45, 9.25, 1, 1.425, 0.23125, 1.925};
    Assists own_roll_damping = stability_0;
    own_roll_damping.roll_damping = 55;
    struct Case {
        const char* text;
        double stability;
        Assists assists;
    } const cases[] = {
        {"stability=0\n", 0, stability_0},
        // Assist lines after it override the preset; lines before it do not.
        {"stability=0\nroll_damping=55\n", 0, own_roll_damping},
        {"roll_damping=55\nstability=0\n", 0, stability_0},
        // The preset takes the whole part of the level.
        {"stability=37.9\n", 37.9f, stability_37},
        // No number keeps the level, but its preset still applies.
        {"stability=abc\n", 100, stability_100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        config_defaults();
        ASSERT_TRUE(read_config(c.text));
        EXPECT_EQ(config.stability.value, c.stability);
        expect_assists(c.assists);
    }
}

// Every key set away from its default, in the written format.
std::string changed_config_text()
{
    std::string text = R"(xres=1280
yres=720
draw_fps=1
draw_time=1
draw_ping=0
spy=1
record=Yes
skill=Expert
minutes=12.000000
laps=3.000000
)";
    const char* const kinds[] = {"Empty", "Human", "Robot", "Robot (2 stroke)", "Robot (4 stroke)"};
    for (int slot = 0; slot < 40; slot++) {
        int preset = slot == 19 ? 1 : slot >= 17 && slot <= 22 ? 2 : 0;
        text += format_line("slot%02d=%s\n", slot, kinds[(preset + 1 + slot % 4) % 5]);
    }
    text += R"(ghost_fade_distance=22.500000
time_trial_abort=No
bike=dk250f(2008)
name=Fast Freddie
number=42
rider_texture=rider_body-red
head_texture=rider_head-blue
bike_texture=dk250f-red
wheel_texture=wheels-gold
stability=55.000000
leveling=30.000000
roll_damping=61.000000
roll_limit_angle=120.000000
roll_limit_factor=48.000000
steering_damping=33.000000
steering_strength=90.000000
max_steering_force=650.000000
direct_steering=0.625000
slow_damping_speed=15.000000
slow_damping_factor=4.750000
land_damping_falloff=0.437500
land_damping_factor=2.750000
arcade=No
front_brake=Normal
rear_brake=Antilock
stop_wheelies=Front Only
auto_shift=No
auto_dab=No
sticky_dab=Yes
reverse_steering=No
lean_indicator=No
auto_clutch_rpms=3500.000000
brake_torque=310.000000
rear_brake_torque=120.000000
max_dab_speed=14.000000
front_sprocket_adjustment=-1.000000
rear_sprocket_adjustment=2.000000
fork_compression_adjustment=11.000000
fork_rebound_adjustment=12.000000
fork_spring_rate_adjustment=13.000000
fork_preload_adjustment=14.000000
fork_oil_level_adjustment=15.000000
shock_compression_adjustment=16.000000
shock_rebound_adjustment=17.000000
shock_spring_rate_adjustment=18.000000
shock_preload_adjustment=19.000000
rider_yspring=21.000000
rider_ydamping=22.000000
rider_zspring=23.000000
rider_zdamping=24.000000
rider_mass_distribution=0.420000
video_mode=1024x768
server_name=race.example.org
)";
    for (int i = 0; i < 16; i++) {
        char host[32];
        snprintf(host, sizeof host, "host%02d.example.org", i);
        text += format_line("server_name_hist%02d=%s\n", i, host);
    }
    text += R"(ground_detail=75.000000
ground_texture_detail=6.000000
ground_texture_dim=512x512
ground_mipmaps=Yes
use_fbo=Yes
use_shader=Yes
roost_density=500.000000
lens_flare=No
hide_rider=Yes
rigid_camera=Yes
model_detail=80.000000
model_texture_detail=7.000000
fov=90.000000
first_person_height=0.281250
first_person_angle=12.000000
volume=6.000000
playback_mode=Race Against
billboard_optimize_lookahead=3
throttle_key=(0.000000,1.000000)Mouse.axis[1]
front_brake_key=(-1.000000,0.500000)joy axis 2
rear_brake_key=(k)right shift
left_key=(k)a
right_key=(k)d
clutch_key=(k)q
upshift_key=(k)w
downshift_key=(k)e
dab_key=(k)space
back_up_key=(k)r
lean_forward_key=(k)i
lean_backward_key=(k)k
pause_key=(k)p
step_key=(k),
rewind_key=(k)backspace
skip_key=(k)tab
prev_key=(k)page up
next_key=(k)page down
console_key=(k)enter
screenshot_key=(k)f12
)";
    return text;
}

const char* const rider_bodies[] = {"default", "rider_body-red"};
const char* const rider_heads[] = {"default", "rider_head-blue"};
const char* const wheels[] = {"default", "wheels-gold"};
const char* const video_modes[] = {"Default Fullscreen", "Windowed", "1024x768"};

void install_catalogues()
{
    config_set_choice_entries(&config.rider_texture, rider_bodies, 2);
    config_set_choice_entries(&config.head_texture, rider_heads, 2);
    config_set_choice_entries(&config.wheel_texture, wheels, 2);
    config_set_choice_entries(&config.video_mode, video_modes, 3);
}

TEST_F(ConfigWrite, RoundTripReproducesEverySetting)
{
    config_set_hooks({rebuild_bike_graphics});
    install_catalogues();
    const std::string changed = changed_config_text();
    ASSERT_NE(changed, default_config_text());
    ASSERT_TRUE(read_config(changed));
    EXPECT_EQ(config.laps.value, 3);
    EXPECT_NEAR(config.rider_mass_distribution.value, 0.42, 5e-7);
    EXPECT_EQ(config.slot[19].index, 0); // "Empty" in place of "Human"
    EXPECT_STREQ(config.server_name_hist[15].text, "host15.example.org");
    EXPECT_EQ(config.front_brake_key.low, -1.0f);
    EXPECT_EQ(written(), changed);

    // And back from the file the program wrote itself.
    config_defaults();
    install_catalogues();
    ASSERT_TRUE(config_read());
    EXPECT_EQ(written(), changed);
}

TEST_F(ConfigWrite, BindingWithNeitherKeyNorAxisIsLeftOut)
{
    config.pause_key.key_name = nullptr;
    std::string expected = default_config_text();
    expected.erase(expected.find("pause_key=(k)pause\n"), strlen("pause_key=(k)pause\n"));
    EXPECT_EQ(written(), expected);
}

TEST_F(ConfigWrite, FailedWriteKeepsThePreviousFile)
{
    const std::string previous = "laps=7\n";
    struct Case {
        const char* what;
        bool (*prepare)(const std::string& temporary); // false: cannot be set up here
        bool temporary_stays;
    } const cases[] = {
        {"the temporary cannot be created",
         [](const std::string& temporary) { return std::filesystem::create_directory(temporary); }, true},
        {"the disk is full",
         [](const std::string& temporary) {
             std::error_code ec;
             std::filesystem::create_symlink("/dev/full", temporary, ec);
             return !ec && std::filesystem::exists("/dev/full");
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string temporary = home.home("config.tmp");
        std::filesystem::remove_all(temporary);
        write_file(home.home("config"), previous);
        if (!c.prepare(temporary)) {
            ADD_FAILURE() << "could not set up the failure";
            continue;
        }
        config.laps.value = 9;
        EXPECT_FALSE(config_write());
        EXPECT_EQ(read_file(home.home("config")), previous);
        EXPECT_EQ(std::filesystem::exists(std::filesystem::symlink_status(temporary)), c.temporary_stays);
    }
    std::filesystem::remove_all(home.home("config.tmp"));
}

} // namespace
