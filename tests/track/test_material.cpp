#include "track/material.h"
#include "track/terrain.h"
#include "track_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr float min_speed = 1.0f / 1048576.0f;

class MaterialTest : public ::testing::Test {
protected:
    std::unique_ptr<Terrain> terrain = new_terrain();

    void SetUp() override { clear_message_log(); }

    void tileinfo(const std::string& text)
    {
        DataStream* stream = text_stream(text);
        ASSERT_NE(stream, nullptr);
        parse_tileinfo(terrain.get(), stream);
        data_close(stream);
    }
    void texturelist(const std::string& text)
    {
        DataStream* stream = text_stream(text);
        ASSERT_NE(stream, nullptr);
        parse_texturelist(terrain.get(), stream);
        data_close(stream);
    }
    const TileMaterial& material(int k) const { return terrain->materials[k]; }
};

TEST_F(MaterialTest, DefaultsHoldUntilTheFileSetsThem)
{
    tileinfo("addtile\n");
    ASSERT_EQ(terrain->material_count, 1);
    const TileMaterial& m = material(0);
    for (int k = 0; k < 8; k++) {
        EXPECT_FLOAT_EQ(m.friction[k], 1);
        EXPECT_FLOAT_EQ(m.friction_speed[k], k == 0 ? 1 : 0);
        EXPECT_FLOAT_EQ(m.roll_resist[k][0], 5);
        EXPECT_FLOAT_EQ(m.roll_resist[k][1], 15);
        EXPECT_FLOAT_EQ(m.roll_speed[k], k == 0 ? 1 : 0);
    }
    EXPECT_EQ(m.texture, 0u);
    for (const RoostType& r : m.roost) {
        EXPECT_EQ(r.kind, roost_none);
        EXPECT_FLOAT_EQ(r.count, 10);
        EXPECT_FLOAT_EQ(r.dig, 1);
        EXPECT_FLOAT_EQ(r.slip_threshold, 4);
        EXPECT_FLOAT_EQ(r.slow_angle, 1.5707964f);
        EXPECT_FLOAT_EQ(r.fast_angle, 0.19634955f);
        EXPECT_FLOAT_EQ(r.slow_speed, 0);
        EXPECT_FLOAT_EQ(r.fast_speed, 64);
        EXPECT_FLOAT_EQ(r.size, 0.25f);
        EXPECT_FLOAT_EQ(r.grow, 4);
        EXPECT_FLOAT_EQ(r.drag, 0.5f);
        EXPECT_FLOAT_EQ(r.vscale, 1);
        EXPECT_FLOAT_EQ(r.randomize, 15);
        EXPECT_EQ(std::vector<int>(r.colour, r.colour + 4), (std::vector<int>{255, 255, 255, 255}));
        EXPECT_EQ(std::vector<int>(r.fade, r.fade + 4), (std::vector<int>{0, 0, 0, -2}));
    }
    // No friction line: grip 1 at every slip speed.
    for (float s : {0.0f, 0.5f, 1.0f, 7.0f, 1000.0f})
        EXPECT_FLOAT_EQ(material_friction(&m, s), 1) << s;
    EXPECT_FLOAT_EQ(material_roll_resist(&m, 3, 0), 5);
    EXPECT_FLOAT_EQ(material_roll_resist(&m, 3, 1), 15);
    EXPECT_TRUE(posted_messages().empty());
}

TEST_F(MaterialTest, EveryKeywordAndRoostParameter)
{
    tileinfo("  texture @tracks/t/mud.png\r\n"
             "\n"
             "friction 1.2 10\n"
             "\tfriction 0.8 20\n"
             "roll_resist 4 8 10\n"
             "roll_resist 2 6 20\n"
             "roost texture=@spray.png count=2.5 dig=0 slip_threshold=3 slow_angle=1 fast_angle=0.25"
             " slow_speed=2 fast_speed=40 size=0.5 grow=2 drag=0.25 vscale=1.5 randomize=7"
             " r=10 g=20 b=30 a=40 fade_r=128 fade_g=-256 fade_b=384.9 fade_a=-100\n"
             "roost splash=1\n"
             "roost splash=0 count=1\n"
             "addtile\n"
             "texture @grass.png\n"
             "addtile\n");
    EXPECT_TRUE(posted_messages().empty());
    ASSERT_EQ(terrain->material_count, 2);
    const TileMaterial& m = material(0);
    EXPECT_FLOAT_EQ(m.friction[0], 1.2f);
    EXPECT_FLOAT_EQ(m.friction_speed[0], 10);
    EXPECT_FLOAT_EQ(m.friction[1], 0.8f);
    EXPECT_FLOAT_EQ(m.friction_speed[1], 20);
    EXPECT_FLOAT_EQ(m.friction_speed[2], 0);
    EXPECT_FLOAT_EQ(m.roll_resist[1][0], 2);
    EXPECT_FLOAT_EQ(m.roll_resist[1][1], 6);
    EXPECT_FLOAT_EQ(m.roll_speed[1], 20);

    const RoostType& r = m.roost[0];
    EXPECT_EQ(r.kind, roost_roost);
    EXPECT_FLOAT_EQ(r.count, 2.5f);
    EXPECT_FLOAT_EQ(r.dig, 0);
    EXPECT_FLOAT_EQ(r.slip_threshold, 3);
    EXPECT_FLOAT_EQ(r.slow_angle, 1);
    EXPECT_FLOAT_EQ(r.fast_angle, 0.25f);
    EXPECT_FLOAT_EQ(r.slow_speed, 2);
    EXPECT_FLOAT_EQ(r.fast_speed, 40);
    EXPECT_FLOAT_EQ(r.size, 0.5f);
    EXPECT_FLOAT_EQ(r.grow, 2);
    EXPECT_FLOAT_EQ(r.drag, 0.25f);
    EXPECT_FLOAT_EQ(r.vscale, 1.5f);
    EXPECT_FLOAT_EQ(r.randomize, 7);
    EXPECT_EQ(std::vector<int>(r.colour, r.colour + 4), (std::vector<int>{10, 20, 30, 40}));
    // Per second in the file, per 1/128 s step in memory, truncated to zero.
    EXPECT_EQ(std::vector<int>(r.fade, r.fade + 4), (std::vector<int>{1, -2, 3, 0}));

    EXPECT_EQ(m.roost[1].kind, roost_splash);
    EXPECT_FLOAT_EQ(m.roost[1].count, 10);
    EXPECT_EQ(m.roost[2].kind, roost_roost);
    EXPECT_FLOAT_EQ(m.roost[2].count, 1);
    EXPECT_EQ(m.roost[3].kind, roost_none);

    // The second material starts over from the defaults.
    EXPECT_FLOAT_EQ(material(1).friction_speed[1], 0);
    EXPECT_EQ(material(1).roost[0].kind, roost_none);
}

struct CurveCase {
    float speed;
    float value;
};

TEST_F(MaterialTest, FrictionIsInterpolatedInSquaredSpeed)
{
    // The same two points in rising and in falling order.
    for (const char* text : {"friction 1.2 10\nfriction 0.8 20\naddtile\n", "friction 0.8 20\nfriction 1.2 10\naddtile\n"}) {
        SCOPED_TRACE(text);
        *terrain = Terrain{};
        tileinfo(text);
        const TileMaterial& m = material(0);
        EXPECT_FLOAT_EQ(m.friction_speed[0], 10);
        const CurveCase cases[] = {
            {0, 1.2f}, {5, 1.2f}, {-5, 1.2f}, {10, 1.2f}, {std::sqrt(250.0f), 1.0f},
            {std::sqrt(175.0f), 1.1f}, {20, 0.8f}, {25, 0.8f}, {1e30f, 0.8f},
        };
        for (const CurveCase& c : cases)
            EXPECT_NEAR(material_friction(&m, c.speed), c.value, 1e-5f) << c.speed;
    }
}

TEST_F(MaterialTest, FrictionPointsOfEqualSpeedKeepTheirOrder)
{
    tileinfo("friction 0.3 30\nfriction 0.9 10\nfriction 0.5 10\naddtile\n");
    const TileMaterial& m = material(0);
    EXPECT_FLOAT_EQ(m.friction[0], 0.9f);
    EXPECT_FLOAT_EQ(m.friction[1], 0.5f);
    EXPECT_FLOAT_EQ(m.friction[2], 0.3f);
    // The first of the equal points ends the flat start, the last one begins
    // the ramp to the next point.
    EXPECT_FLOAT_EQ(material_friction(&m, 9), 0.9f);
    EXPECT_FLOAT_EQ(material_friction(&m, 10), 0.5f);
    EXPECT_NEAR(material_friction(&m, std::sqrt(500.0f)), 0.4f, 1e-6f);
}

TEST_F(MaterialTest, RollingResistanceIsInterpolatedInSpeedAndSinkage)
{
    tileinfo("roll_resist 2 6 20\nroll_resist 4 8 10\naddtile\n");
    const TileMaterial& m = material(0);
    struct Case {
        float speed, sinkage, force;
    };
    const Case cases[] = {
        {0, 0, 4}, {5, 1, 8}, {10, 0.5f, 6}, {15, 0, 3}, {15, 1, 7}, {15, 0.25f, 4}, {20, 0, 2}, {40, 1, 6},
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(material_roll_resist(&m, c.speed, c.sinkage), c.force) << c.speed << " " << c.sinkage;
}

TEST_F(MaterialTest, CurvePointsAreClamped)
{
    tileinfo("friction -1 0\nroll_resist -1 -2 -3\naddtile\n");
    const TileMaterial& m = material(0);
    EXPECT_FLOAT_EQ(m.friction[0], 0);
    EXPECT_FLOAT_EQ(m.friction_speed[0], min_speed);
    EXPECT_FLOAT_EQ(m.roll_resist[0][0], 0);
    EXPECT_FLOAT_EQ(m.roll_resist[0][1], 0);
    EXPECT_FLOAT_EQ(m.roll_speed[0], min_speed);
    EXPECT_FLOAT_EQ(material_friction(&m, 0), 0);
}

TEST_F(MaterialTest, TooManyPointsAndRoostsAreIgnored)
{
    std::string text;
    for (int k = 1; k <= 9; k++)
        text += "friction 1 " + std::to_string(k) + "\nroll_resist 1 2 " + std::to_string(k) + "\n";
    for (int k = 1; k <= 5; k++)
        text += "roost count=" + std::to_string(k) + "\n";
    tileinfo(text + "addtile\n");
    EXPECT_EQ(posted_messages(), (std::vector<std::string>{
                                     "tileinfo warning: too many friction points\n",
                                     "tileinfo warning: too many roll_resist points\n",
                                     "tileinfo warning: too many roost types\n",
                                 }));
    const TileMaterial& m = material(0);
    EXPECT_FLOAT_EQ(m.friction_speed[7], 8);
    EXPECT_FLOAT_EQ(m.roll_speed[7], 8);
    EXPECT_FLOAT_EQ(m.roost[3].count, 4);
}

TEST_F(MaterialTest, BadLinesAreWarnedAndSkipped)
{
    tileinfo("friction 1\n"
             "friction\n"
             "roll_resist 1 2\n"
             "roll_resist x 2 3\n"
             "frictions 1 2\n"
             "Texture @dirt.png\n"
             "roost count= dig=x slip_threshold=. slow_angle= fast_angle= slow_speed= fast_speed= size= grow="
             " drag= vscale= randomize= r= g= b= a= fade_r= fade_g= fade_b= fade_a= splash=no\n"
             "roost bogus=1 \"quoted word\"=2 a\"b c\"d=3 an_extremely_long_roost_parameter_name_that_goes_on=1\n"
             "addtile\n");
    std::vector<std::string> expected = {
        "tileinfo warning: bad friction parameters\n",
        "tileinfo warning: bad friction parameters\n",
        "tileinfo warning: bad roll_resist parameters\n",
        "tileinfo warning: bad roll_resist parameters\n",
        "tileinfo warning: Unknown identifier 'frictions'\n",
        "tileinfo warning: Unknown identifier 'Texture'\n",
    };
    for (const char* name : {"count", "dig", "slip_threshold", "slow_angle", "fast_angle", "slow_speed", "fast_speed",
                             "size", "grow", "drag", "vscale", "randomize", "r", "g", "b", "a", "fade_r", "fade_g",
                             "fade_b", "fade_a"})
        expected.push_back(std::string("tileinfo warning: bad ") + name + "\n");
    expected.push_back("tileinfo warning: unknown roost parameter 'bogus=1'\n");
    expected.push_back("tileinfo warning: unknown roost parameter 'quoted word=2'\n");
    expected.push_back("tileinfo warning: unknown roost parameter 'ab cd=3'\n");
    expected.push_back("tileinfo warning: unknown roost parameter 'an_extremely_long_roost_parameter_name_t'\n");
    EXPECT_EQ(posted_messages(), expected);

    ASSERT_EQ(terrain->material_count, 1);
    const TileMaterial& m = material(0);
    EXPECT_FLOAT_EQ(m.friction_speed[0], 1); // no point was taken
    EXPECT_FLOAT_EQ(m.roll_speed[0], 1);
    // A parameter whose value does not read still takes 0.
    const RoostType& r = m.roost[0];
    EXPECT_EQ(r.kind, roost_roost);
    EXPECT_FLOAT_EQ(r.count, 0);
    EXPECT_FLOAT_EQ(r.randomize, 0);
    EXPECT_EQ(r.colour[3], 0);
    EXPECT_EQ(r.fade[3], 0);
    EXPECT_EQ(m.roost[1].kind, roost_roost);
}

TEST_F(MaterialTest, QuotedRoostWordsKeepTheirBlanks)
{
    tileinfo("roost texture=\"@my roost.png\" count=3\n"
             "roost \"count=4\"\tdig=\"2\"\baddtile\n"
             "addtile\n");
    // "addtile" behind a backspace is a roost word, not a keyword.
    EXPECT_EQ(posted_messages(), std::vector<std::string>{"tileinfo warning: unknown roost parameter 'addtile'\n"});
    EXPECT_FLOAT_EQ(material(0).roost[0].count, 3);
    EXPECT_FLOAT_EQ(material(0).roost[1].count, 4);
    EXPECT_FLOAT_EQ(material(0).roost[1].dig, 2);
    EXPECT_EQ(terrain->material_count, 1);
}

struct ByteCase {
    const char* param;
    int value;
};

TEST_F(MaterialTest, ColourAndFadeKeepTheLowEightBits)
{
    const ByteCase cases[] = {
        {"r=300", 44}, {"r=-1", 255}, {"r=12.9", 12}, {"r=1e300", 0},
        {"fade_a=-256", -2}, {"fade_a=-100", 0}, {"fade_a=-383", -2}, {"fade_a=32768", 0}, {"fade_a=16256", 127},
        {"fade_a=16384", -128},
    };
    for (const ByteCase& c : cases) {
        *terrain = Terrain{};
        tileinfo(std::string("roost ") + c.param + "\naddtile\n");
        const RoostType& r = material(0).roost[0];
        int stored = c.param[0] == 'r' ? int(r.colour[0]) : int(r.fade[3]);
        EXPECT_EQ(stored, c.value) << c.param;
    }
}

TEST_F(MaterialTest, ReadingStopsAtTheLastMaterial)
{
    std::string text;
    for (int k = 0; k < 300; k++)
        text += "friction 1 " + std::to_string(k + 1) + "\naddtile\n";
    tileinfo(text + "bogus\n");
    EXPECT_EQ(terrain->material_count, 256);
    EXPECT_FLOAT_EQ(material(255).friction_speed[0], 256);
    EXPECT_TRUE(posted_messages().empty()); // the line after them was never read
}

TEST_F(MaterialTest, UnfinishedMaterialIsDropped)
{
    tileinfo("addtile\nfriction 0.5 3\ntexture @x.png\n");
    EXPECT_EQ(terrain->material_count, 1);
    EXPECT_FLOAT_EQ(material(0).friction_speed[0], 1);
}

TEST_F(MaterialTest, EmptyFileDefinesNothing)
{
    tileinfo("");
    EXPECT_EQ(terrain->material_count, 0);
    texturelist("\n \r\n\t\n");
    EXPECT_EQ(terrain->material_count, 0);
}

TEST_F(MaterialTest, TexturelistGivesFlatCurvesAndTheDefaultRoost)
{
    texturelist("dirt.png\n"
                "\n"
                "  0.8 4 12   grass.png\n"
                "1.1 3 9 rock.png\r\n"
                "3dirt.png\n");
    ASSERT_EQ(terrain->material_count, 4);
    struct Case {
        int k;
        float friction, low, high;
    };
    const Case cases[] = {{0, 1, 5, 15}, {1, 0.8f, 4, 12}, {2, 1.1f, 3, 9}, {3, 1, 5, 15}};
    for (const Case& c : cases) {
        const TileMaterial& m = material(c.k);
        for (int p = 0; p < 8; p++) {
            EXPECT_FLOAT_EQ(m.friction[p], c.friction) << c.k;
            EXPECT_FLOAT_EQ(m.friction_speed[p], p == 0 ? 1 : 0) << c.k;
            EXPECT_FLOAT_EQ(m.roll_resist[p][0], c.low) << c.k;
            EXPECT_FLOAT_EQ(m.roll_resist[p][1], c.high) << c.k;
            EXPECT_FLOAT_EQ(m.roll_speed[p], p == 0 ? 1 : 0) << c.k;
        }
        EXPECT_EQ(m.roost[0].kind, roost_roost);
        EXPECT_FLOAT_EQ(m.roost[0].count, 10);
        for (int r = 1; r < 4; r++)
            EXPECT_EQ(m.roost[r].kind, roost_none);
        EXPECT_FLOAT_EQ(material_friction(&m, 50), c.friction);
    }
    EXPECT_TRUE(posted_messages().empty());
}

TEST_F(MaterialTest, TexturelistStopsAtTheLastMaterial)
{
    std::string text;
    for (int k = 0; k < 300; k++)
        text += "t" + std::to_string(k) + ".png\n";
    texturelist(text);
    EXPECT_EQ(terrain->material_count, 256);
}

struct TransitionCase {
    std::vector<std::string> names;
    std::vector<int32_t> codes;
    const char* what;
};

int32_t code(int a, int b, int mask)
{
    return (a << 16) | (b << 8) | mask;
}

TEST_F(MaterialTest, TransitionCodesComeFromTheTextureNames)
{
    const int32_t none = int32_t(0xFFFFFF00u);
    const TransitionCase cases[] = {
        {{"dirt.png", "grass.png", "dirt-grass-0110.png", "dirt-alt2.png", "dirt-grass.png"},
         {code(0, 0, 0), code(1, 1, 0), code(0, 1, 6), code(0, 0, 0), none},
         "transition, variant and a second part that names nothing"},
        {{"@dirt.png", "@grass.png", "@grass-dirt-1001-x.png", "@dirt-grass-01x1.png", "@dirt-altx.png"},
         {code(0, 0, 0), code(1, 1, 0), code(1, 0, 9), code(0, 1, 0), none},
         "leading @, text after the mask, a mask that is no binary number, -alt without a digit"},
        {{"@tracks/t/dirt.png", "@tracks/t/grass.png", "@other/dirt-grass-1111.png", "@x/grass-alt7b.png"},
         {code(0, 0, 0), code(1, 1, 0), code(0, 1, 15), code(1, 1, 0)},
         "names in folders"},
        {{"sand.png", "rock-sand-0001.png", "sand-rock.png", "mud-x.png"},
         {code(0, 0, 0), code(1, 1, 0), none, code(3, 3, 0)},
         "a first part that names no material"},
        {{"dirt.png", "dirt.tga", "grass.png", "dirt-grass-0011.png"},
         {code(0, 0, 0), code(1, 1, 0), code(2, 2, 0), code(0, 2, 3)},
         "the first matching material wins"},
        {{"dirt.png", "grass.png", "dirt-grass-01"}, {code(0, 0, 0), code(1, 1, 0), code(0, 1, 0)},
         "a mask cut short by the end of the name"},
    };
    for (const TransitionCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::string text;
        for (const std::string& name : c.names)
            text += "texture " + name + "\naddtile\n";
        *terrain = Terrain{};
        tileinfo(text);
        ASSERT_EQ(terrain->material_count, int(c.names.size()));
        for (size_t k = 0; k < c.names.size(); k++)
            EXPECT_EQ(material(int(k)).transition, c.codes[k]) << c.names[k];
    }
}

TEST_F(MaterialTest, TexturelistNamesGiveTransitionsToo)
{
    texturelist("dirt.png\ngrass.png\n1 5 15 dirt-grass-1000.png\n");
    EXPECT_EQ(material(2).transition, code(0, 1, 8));
    // A material without a texture has an empty name and is its own.
    *terrain = Terrain{};
    tileinfo("addtile\ntexture grass-alt1.png\naddtile\n");
    EXPECT_EQ(material(0).transition, code(0, 0, 0));
    EXPECT_EQ(material(1).transition, code(1, 1, 0));
}

} // namespace
