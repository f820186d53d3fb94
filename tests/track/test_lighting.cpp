#include "base/message_log.h"
#include "data/stream.h"
#include "track/lighting.h"
#include "track_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

struct LightingTest : ::testing::Test {
    void SetUp() override
    {
        clear_message_log();
        lighting.fog_color[0] = lighting.fog_color[1] = lighting.fog_color[2] = 0;
    }
    void TearDown() override { free_lighting(); }
    void load(const std::string& text)
    {
        DataStream* stream = text_stream(text);
        load_lighting(stream);
        data_close(stream);
    }
};

void expect_vec(const float* v, float x, float y, float z)
{
    EXPECT_NEAR(v[0], x, 1e-6);
    EXPECT_NEAR(v[1], y, 1e-6);
    EXPECT_NEAR(v[2], z, 1e-6);
}

const char* const default_sky[5] = {"@sky-n.ppm", "@sky-e.ppm", "@sky-s.ppm", "@sky-w.ppm", "@sky-u.ppm"};

TEST_F(LightingTest, EmptyOrMissingFileGivesTheDefaults)
{
    for (bool missing : {false, true}) {
        // What an earlier track left behind must not survive.
        load("sun_color [0 0 0]\nfog [1 1 1] 0.5\nsky_n @other.ppm\nflare_element [0 0] [1 1 1] 2 @f.png\n"
             "flare_point [1 2 3]\n");
        ASSERT_EQ(lighting.flare_count, 1);
        if (missing)
            load_lighting(nullptr);
        else
            load("");
        float third = 1 / std::sqrt(3.0f);
        expect_vec(lighting.sun_vector, third, third, third);
        expect_vec(lighting.sun_color, 1, 1, 1);
        expect_vec(lighting.ambient, 0.5f, 0.5f, 0.5f);
        expect_vec(lighting.global_ambient, 0.2f, 0.2f, 0.2f);
        for (int i = 0; i < 5; i++)
            EXPECT_STREQ(lighting.sky_name[i], default_sky[i]);
        EXPECT_STREQ(lighting.env_map_name, "@sky-env.ppm");
        EXPECT_EQ(lighting.fog_density, 0);
        EXPECT_EQ(lighting.flare_count, 0);
        // The colour itself carries over from the track before.
        expect_vec(lighting.fog_color, 1, 1, 1);
    }
}

TEST_F(LightingTest, ReadsEveryKeyword)
{
    load("  sun_vector [ 0 2 0 ]\n"
         "\tsun_color [0.9 0.8 0.7]\n"
         "\n"
         "ambient [0.1 0.2 0.3]\r\n"
         "global_ambient\t[0.4 0.5 0.6]\n"
         "sky_e @east sky.png\n"
         "sky_u @up.ppm\n"
         "sky_env @env.ppm\n"
         "fog [0.5 0.5 0.5] 0.002\n");
    expect_vec(lighting.sun_vector, 0, 1, 0);
    expect_vec(lighting.sun_color, 0.9f, 0.8f, 0.7f);
    expect_vec(lighting.ambient, 0.1f, 0.2f, 0.3f);
    expect_vec(lighting.global_ambient, 0.4f, 0.5f, 0.6f);
    // The whole rest of the line is the name.
    EXPECT_STREQ(lighting.sky_name[1], "@east sky.png");
    EXPECT_STREQ(lighting.sky_name[4], "@up.ppm");
    EXPECT_STREQ(lighting.sky_name[0], "@sky-n.ppm");
    EXPECT_STREQ(lighting.env_map_name, "@env.ppm");
    expect_vec(lighting.fog_color, 0.5f, 0.5f, 0.5f);
    EXPECT_FLOAT_EQ(lighting.fog_density, 0.002f);
    EXPECT_TRUE(posted_messages().empty());
}

TEST_F(LightingTest, ShortVectorsKeepTheValuesTheyDoNotReach)
{
    struct Case {
        const char* line;
        float expected[3];
    } const cases[] = {
        {"sun_color [0.25]", {0.25f, 1, 1}},
        {"sun_color [0.25 0.5 ", {0.25f, 0.5f, 1}},
        {"sun_color 0.25", {1, 1, 1}},
        {"sun_color", {1, 1, 1}},
    };
    for (const Case& c : cases) {
        load(std::string(c.line) + "\n");
        expect_vec(lighting.sun_color, c.expected[0], c.expected[1], c.expected[2]);
    }
}

TEST_F(LightingTest, FogNeedsAllFourValues)
{
    lighting.fog_color[0] = 0.3f;
    load("fog [0.5 0.5 0.5]\n");
    EXPECT_EQ(lighting.fog_density, 0);
    expect_vec(lighting.fog_color, 0.3f, 0, 0);
}

TEST_F(LightingTest, ZeroSunVectorFallsBackToTheDefault)
{
    load("sun_vector [0 0 0]\n");
    float third = 1 / std::sqrt(3.0f);
    expect_vec(lighting.sun_vector, third, third, third);
}

TEST_F(LightingTest, FlaresCollectTheirElementsFirst)
{
    std::string text;
    for (int i = 0; i < 9; i++)
        text += "flare_element [" + std::to_string(i) + " 0.5] [1 0.5 0.25] " + std::to_string(i + 1) + " @e" +
                std::to_string(i) + ".png\n";
    text += "flare_point [10 20 30]\n";
    text += "flare_element [1 2] [3 4 5]\n"; // no size or picture: ignored
    text += "flare_element [1 2] [3 4 5] 6 @v.png\n";
    text += "flare_vector [0 1 0]\n";
    text += "flare_element [1 2] [3 4 5] 6 @dropped.png\n"; // after the last flare line
    load(text);
    ASSERT_EQ(lighting.flare_count, 2);
    const LensFlare& point = lighting.flares[0];
    EXPECT_EQ(point.directional, 0);
    expect_vec(point.position, 10, 20, 30);
    ASSERT_EQ(point.element_count, 8);
    EXPECT_FLOAT_EQ(point.element_offset[7][0], 7);
    EXPECT_FLOAT_EQ(point.element_offset[7][1], 0.5f);
    expect_vec(point.element_color[3], 1, 0.5f, 0.25f);
    EXPECT_FLOAT_EQ(point.element_size[7], 8);
    EXPECT_STREQ(point.element_texture_name[7], "@e7.png");
    const LensFlare& vector = lighting.flares[1];
    EXPECT_EQ(vector.directional, 1);
    ASSERT_EQ(vector.element_count, 1);
    EXPECT_STREQ(vector.element_texture_name[0], "@v.png");
    expect_vec(vector.position, 0, 1, 0);
}

TEST_F(LightingTest, UnknownKeywordStopsTheReading)
{
    load("sky_n @north.ppm\n"
         "sun_colour [0 0 0]\n"
         "sky_e @east.ppm\n"
         "ambient [0 0 0]\n");
    EXPECT_STREQ(lighting.sky_name[0], "@north.ppm");
    EXPECT_STREQ(lighting.sky_name[1], "@sky-e.ppm");
    expect_vec(lighting.ambient, 0.5f, 0.5f, 0.5f);
    auto messages = posted_messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Error reading lighting: Unknown identifier 'sun_colour'\n");
}

} // namespace
