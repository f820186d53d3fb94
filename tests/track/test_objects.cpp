#include "assets/model.h"
#include "base/launch.h"
#include "base/message_log.h"
#include "data/home.h"
#include "support/fixture.h"
#include "track/objects.h"
#include "track/shape.h"
#include "track/timing_gates.h"
#include "track/track.h"
#include "track_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

// A field of 5 x 5 samples 64 ft apart: 256 ft across, so the statue bins
// are 24 ft wide and begin at 32 ft.
const float world = 256;

void write_tiny_track(const TestHome& home, const std::string& folder)
{
    auto write = [&](const std::string& name, const std::string& bytes) {
        write_file(home.data(folder + "/" + name), bytes);
    };
    write("terrain.hf", hf_inline(1, 64, 0, 100, std::vector<uint16_t>(25, 0)));
    write("shading.ppm", ppm(5, 5, std::vector<unsigned char>(75, 128)));
    write("tileinfo", "texture @dirt.png\naddtile\n");
    write("tilemap", std::string(4, '\0'));
}

struct ObjectsTest : ::testing::Test {
    TestHome home;
    std::unique_ptr<Terrain> terrain = new_terrain();

    void SetUp() override
    {
        clear_message_log();
        clear_track_objects();
        write_tiny_track(home, "trk");
        ASSERT_EQ(load_terrain(terrain.get(), "@trk"), 1);
    }
    void TearDown() override
    {
        clear_track_objects();
        free_timing_gates();
        free_terrain(terrain.get());
        clear_shape_cache();
        free_models();
    }
    // The ground rises towards +x: h = slope x.
    void tilt_ground(float slope)
    {
        for (int j = 0; j < terrain->samples; j++)
            for (int i = 0; i < terrain->samples; i++)
                terrain->heights[j * terrain->samples + i] = slope * float(i) * terrain->spacing;
    }
    std::string data_file(const std::string& name, const std::string& text)
    {
        write_file(home.data(name), text);
        return "@" + name;
    }
    void load(void (*reader)(DataStream*), const std::string& text)
    {
        DataStream* stream = text_stream(text);
        reader(stream);
        data_close(stream);
    }
    void load_gates(int count)
    {
        std::string text = "checkpoints:\n";
        for (int i = 0; i < count; i++)
            text += "5 [" + std::to_string(10 * i) + " 0 0] [0 0 1]\n";
        text += "firstlap: 0\nnormallap: 0\n";
        load(load_timing_gates, text);
        ASSERT_EQ(track_timing.gate_count, count);
    }
    const Billboard& billboard(int32_t i) { return track_objects.billboards[i]; }
    const Statue& statue(int32_t i) { return track_objects.statues[i]; }
};

void expect_row(const float row[3], float x, float y, float z, const char* what)
{
    EXPECT_NEAR(row[0], x, 1e-5) << what;
    EXPECT_NEAR(row[1], y, 1e-5) << what;
    EXPECT_NEAR(row[2], z, 1e-5) << what;
}

TEST_F(ObjectsTest, BillboardNamesMayCarryAColour)
{
    struct Case {
        const char* name;
        uint8_t r, g, b;
        const char* texture;
    } const cases[] = {
        {"#ff0000#@tree.png", 255, 0, 0, "@tree.png"},
        {"#0a0B0c#@tree.png", 10, 11, 12, "@tree.png"},
        {"#ff0000x@tree.png", 255, 255, 255, "#ff0000x@tree.png"}, // eighth character not "#"
        {"#ff00g0#@tree.png", 255, 255, 255, "#ff00g0#@tree.png"}, // not hexadecimal
        {"#ff0000", 255, 255, 255, "#ff0000"},                     // too short for a prefix
        {"#00ff00#", 0, 255, 0, nullptr},                          // a tint of nothing
        {"@tree.png", 255, 255, 255, "@tree.png"},
        {nullptr, 255, 255, 255, nullptr},
    };
    for (const Case& c : cases) {
        int32_t i = add_billboard(10, 0, 10, 2, 1, c.name);
        const Billboard& b = billboard(i);
        EXPECT_EQ(b.color[0], c.r) << (c.name ? c.name : "none");
        EXPECT_EQ(b.color[1], c.g) << (c.name ? c.name : "none");
        EXPECT_EQ(b.color[2], c.b) << (c.name ? c.name : "none");
        EXPECT_EQ(b.color[3], 255);
        if (c.texture)
            EXPECT_STREQ(b.texture_name, c.texture);
        else
            EXPECT_EQ(b.texture_name, nullptr) << (c.name ? c.name : "none");
    }
}

TEST_F(ObjectsTest, ObjectsStandOnTheGround)
{
    tilt_ground(0.25f);
    int32_t b = add_billboard(100, 2, 50, 8, 0.5f, "@tree.png");
    EXPECT_FLOAT_EQ(billboard(b).y, 27);
    EXPECT_FLOAT_EQ(billboard(b).y_offset, 2);
    EXPECT_FLOAT_EQ(billboard(b).height, 8);
    EXPECT_FLOAT_EQ(billboard(b).aspect, 0.5f);
    int32_t s = add_statue(100, -1, 50, 0, "@tuff.km", "@tuff.ppm", nullptr);
    EXPECT_FLOAT_EQ(statue(s).y, 24);
    // After the editor moves it, the statue finds the ground again.
    track_objects.statues[s].x = 200;
    place_object(s);
    EXPECT_FLOAT_EQ(statue(s).y, 49);
    EXPECT_EQ(statue(s).model, nullptr); // no model file: drawn as nothing
    EXPECT_STREQ(statue(s).model_name, "@tuff.km");
    EXPECT_STREQ(statue(s).texture_name, "@tuff.ppm");
    EXPECT_EQ(statue(s).touched_frame, -1);
}

TEST_F(ObjectsTest, StatueOrientationFollowsTheGround)
{
    tilt_ground(0.25f);
    // A heading of 5 faces the camera from 32 ft on and stands unturned.
    int32_t facing = add_statue(100, 0, 50, 5, nullptr, "@sign.ppm", nullptr);
    EXPECT_FLOAT_EQ(statue(facing).face_distance, 32);
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++)
            EXPECT_FLOAT_EQ(statue(facing).rotation[r][c], r == c ? 1.0f : 0.0f);

    // Below -2 pi a statue stands upright whatever the slope.
    int32_t upright = add_statue(100, 0, 50, -7, nullptr, "@sign.ppm", nullptr);
    const Statue& u = statue(upright);
    EXPECT_EQ(u.face_distance, 0);
    expect_row(u.rotation[0], std::cos(-7.0f), 0, -std::sin(-7.0f), "side");
    expect_row(u.rotation[1], 0, 1, 0, "up");
    expect_row(u.rotation[2], std::sin(-7.0f), 0, std::cos(-7.0f), "heading");

    // Otherwise its up axis is the slope's normal and the heading lies in
    // the slope.
    int32_t sloped = add_statue(100, 0, 50, 0.5f, nullptr, "@sign.ppm", nullptr);
    const Statue& s = statue(sloped);
    float k = 1 / std::sqrt(1 + 0.25f * 0.25f);
    expect_row(s.rotation[1], -0.25f * k, k, 0, "up");
    float dot = 0, length = 0;
    for (int c = 0; c < 3; c++) {
        dot += s.rotation[1][c] * s.rotation[2][c];
        length += s.rotation[2][c] * s.rotation[2][c];
    }
    EXPECT_NEAR(dot, 0, 1e-6);
    EXPECT_NEAR(length, 1, 1e-6);
    EXPECT_NEAR(s.rotation[2][2], std::cos(0.5f), 1e-2); // still roughly along the heading
}

TEST_F(ObjectsTest, LevelGroundTurnsAboutTheVertical)
{
    int32_t i = add_statue(100, 0, 100, 1, nullptr, "@gate.ppm", nullptr);
    const Statue& s = statue(i);
    expect_row(s.rotation[0], std::cos(1.0f), 0, -std::sin(1.0f), "side");
    expect_row(s.rotation[1], 0, 1, 0, "up");
    expect_row(s.rotation[2], std::sin(1.0f), 0, std::cos(1.0f), "heading");
}

TEST_F(ObjectsTest, TiltTurnsAwayFromTheGroundOrientation)
{
    tilt_ground(0.25f);
    int32_t i = add_statue(100, 0, 100, 1, nullptr, "@gate.ppm", nullptr);
    float base[3][3];
    memcpy(base, statue(i).rotation, sizeof base);
    float a = 0.5890486f;
    tilt_statue(i, a);
    const float r[3][3] = {{1, 0, 0}, {0, std::cos(a), std::sin(a)}, {0, -std::sin(a), std::cos(a)}};
    for (int j = 0; j < 3; j++)
        for (int m = 0; m < 3; m++) {
            float expected = 0;
            for (int n = 0; n < 3; n++)
                expected += base[j][n] * r[n][m];
            EXPECT_NEAR(statue(i).rotation[j][m], expected, 1e-6) << j << m;
        }
    // Tilts do not add up: each starts from the ground orientation.
    tilt_statue(i, a);
    tilt_statue(i, 0);
    for (int j = 0; j < 3; j++)
        for (int m = 0; m < 3; m++)
            EXPECT_NEAR(statue(i).rotation[j][m], base[j][m], 1e-6);
    tilt_statue(-1, a); // no such statue: nothing happens
    tilt_statue(99, a);
}

TEST(StatueMaps, CandidatesInTheOrderTheyAreTried)
{
    struct Case {
        const char* texture;
        const char* model;
        const char* kind;
        std::vector<std::string> names;
    } const cases[] = {
        {"@tuff.ppm", "@tuff.km", "_norm",
         {"@tuff_norm.seq", "@tuff_norm.png", "@tuff_norm.ppm", "@tuff_norm.seq", "@tuff_norm.png", "@tuff_norm.ppm"}},
        {"@a.b/wall-repeat.png", "@wall.km", "_spec",
         {"@a.b/wall_spec-repeat.seq", "@a.b/wall_spec-repeat.png", "@a.b/wall_spec-repeat.ppm", "@wall_spec.seq",
          "@wall_spec.png", "@wall_spec.ppm"}},
        // "-repeat" elsewhere than at the end is an ordinary name.
        {"@wall-repeat.gif.png", nullptr, "_norm",
         {"@wall-repeat.gif_norm.seq", "@wall-repeat.gif_norm.png", "@wall-repeat.gif_norm.ppm"}},
        {"@noext", "@m.km", "_norm", {"@m_norm.seq", "@m_norm.png", "@m_norm.ppm"}},
        {nullptr, nullptr, "_norm", {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> names;
        char name[1100];
        for (int k = 0; statue_map_candidate(c.texture, c.model, c.kind, k, name, sizeof name); k++)
            names.push_back(name);
        EXPECT_EQ(names, c.names) << (c.texture ? c.texture : "none");
    }
}

TEST_F(ObjectsTest, StatueShapes)
{
    std::string shape = data_file("block.shp", "1\n0 0 0 3 1 2500 250\n");
    int32_t with = add_statue(100, 0, 100, 0, nullptr, "@block.ppm", shape.c_str());
    int32_t twin = add_statue(120, 0, 100, 0, nullptr, "@block.ppm", shape.c_str());
    ASSERT_NE(statue(with).shape, nullptr);
    // Each statue collides through its own copy of the cached shape.
    EXPECT_EQ(statue(with).shape->source, load_shape(shape.c_str()));
    EXPECT_NE(statue(with).shape, statue(twin).shape);
    EXPECT_TRUE(posted_messages().empty());

    int32_t missing = add_statue(100, 0, 100, 0, nullptr, "@block.ppm", "@nothing.shp");
    EXPECT_EQ(statue(missing).shape, nullptr);
    EXPECT_EQ(posted_messages(), std::vector<std::string>{"Warning: missing shape file @nothing.shp"});

    clear_message_log();
    load(load_statues, "[1 2 3] 0.5 @a.km @a.ppm null\n");
    EXPECT_EQ(track_objects.statue_count, 4);
    EXPECT_EQ(statue(3).shape, nullptr);
    EXPECT_TRUE(posted_messages().empty()); // "null" asks for no shape
}

TEST_F(ObjectsTest, BinIndexSpansTheMiddleOfTheField)
{
    struct Case {
        float p;
        int32_t bin;
    } const cases[] = {
        {-500, 0}, {0, 0}, {40, 0}, {57, 1}, {100, 2}, {130, 4}, {223, 7}, {256, 7}, {1e6f, 7},
    };
    for (const Case& c : cases)
        EXPECT_EQ(statue_bin_index(c.p, world), c.bin) << c.p;
    EXPECT_EQ(statue_bin_index(100, 0), 0); // no field: everything in the first bin
}

TEST_F(ObjectsTest, StatuesGoIntoEveryBinTheirShapeReaches)
{
    std::string big = data_file("big.shp", "1\n0 0 0 10 1 2500 250\n");
    std::string small = data_file("small.shp", "1\n0 0 0 1 1 2500 250\n");
    add_statue(80, 0, 80, 0, nullptr, "@a.ppm", big.c_str());     // x and z 70..90: bins 1 and 2
    add_statue(80, 0, 80, 0, nullptr, "@a.ppm", nullptr);         // no shape: never binned
    add_statue(-40, 0, 300, 0, nullptr, "@a.ppm", small.c_str()); // off the field: the corner bin
    add_statue(140, 0, 60, 0, nullptr, "@a.ppm", small.c_str());  // inside one bin
    rebin_statues();
    rebin_statues(); // binning again starts from empty bins
    std::vector<std::vector<int32_t>> expected(64);
    for (int z : {1, 2})
        for (int x : {1, 2})
            expected[z * 8 + x].push_back(0);
    expected[7 * 8 + 0].push_back(2);
    expected[1 * 8 + 4].push_back(3);
    for (int z = 0; z < 8; z++)
        for (int x = 0; x < 8; x++) {
            const StatueBin& bin = track_objects.bins[z][x];
            EXPECT_EQ(std::vector<int32_t>(bin.statues, bin.statues + bin.count), expected[z * 8 + x])
                << "bin x " << x << " z " << z;
        }
}

TEST_F(ObjectsTest, FilesRoundTripThroughTheEditor)
{
    std::string shape = data_file("wall.shp", "1\n0 0 0 2 1 2500 250\n");
    // Made by the program before the files: not written back.
    create_roost_sprites();
    add_statue(5, 0, 5, 0, "@startgate.km", "@startgate.ppm", shape.c_str());
    mark_file_objects();
    load(load_billboards, "[1 2 3] 4 0.5 #ff0000#@tree.png\n"
                          "[10 0 30] 6 1 @bush.png\n"
                          "[5 5 5] 1 1");
    load(load_statues, "[1 0.5 2] 0.25 @wall.km @wall.ppm " + shape + "\n"
                       "[3 0 4] -7 @tent.km @tent.ppm null\n");
    ASSERT_EQ(track_objects.billboard_count, roost_sprite_count + 2);
    ASSERT_EQ(track_objects.statue_count, 3);
    ASSERT_EQ(save_billboards("trk"), 1);
    ASSERT_EQ(save_statues("trk"), 1);
    EXPECT_EQ(read_file(home.home("trk/billboards")),
              "[1.000000 2.000000 3.000000] 4.000000 0.500000 #ff0000#@tree.png\n"
              "[10.000000 0.000000 30.000000] 6.000000 1.000000 @bush.png\n");
    // Statues whose model cannot be read are written with "NULL".
    EXPECT_EQ(read_file(home.home("trk/statues")),
              "[1.000000 0.500000 2.000000] 0.250000 NULL @wall.ppm " + shape + "\n"
              "[3.000000 0.000000 4.000000] -7.000000 NULL @tent.ppm null\n");

    clear_track_objects();
    DataStream* stream = open_track_file("@trk", "billboards", "rb", true);
    load_billboards(stream);
    data_close(stream);
    stream = open_track_file("@trk", "statues", "rb", true);
    load_statues(stream);
    data_close(stream);
    ASSERT_EQ(track_objects.billboard_count, 2);
    EXPECT_EQ(billboard(0).color[1], 0);
    EXPECT_STREQ(billboard(0).texture_name, "@tree.png");
    EXPECT_FLOAT_EQ(billboard(0).aspect, 0.5f);
    ASSERT_EQ(track_objects.statue_count, 2);
    EXPECT_FLOAT_EQ(statue(0).y_offset, 0.5f);
    EXPECT_FLOAT_EQ(statue(0).angle, 0.25f);
    ASSERT_NE(statue(0).shape, nullptr);
    EXPECT_STREQ(statue(0).shape->name, shape.c_str());
    EXPECT_FLOAT_EQ(statue(1).angle, -7);
}

TEST_F(ObjectsTest, StartGateFromTheDataRelease)
{
    write_file(home.data("objects.saf"), read_file(std::string(DL_BIN_DIR) + "/objects.saf"));
    data_reset();
    float place[3] = {100, 0, 100};
    int32_t i = create_start_gate(place, 0.5f);
    const Statue& gate = statue(i);
    ASSERT_NE(gate.model, nullptr);
    EXPECT_STREQ(gate.model->name, "@startgate.km");
    ASSERT_NE(gate.shape, nullptr);
    EXPECT_GT(gate.shape->bound, 0);
    EXPECT_TRUE(posted_messages().empty());
    // A statue with a model is written back under the model's name.
    ASSERT_EQ(save_statues("trk"), 1);
    EXPECT_EQ(read_file(home.home("trk/statues")),
              "[100.000000 0.000000 100.000000] 0.500000 @startgate.km @startgate.ppm @startgate.shp\n");
}

TEST_F(ObjectsTest, SavingReportsAFileThatCannotBeMade)
{
    // A folder where the file should be makes it impossible to create.
    std::filesystem::create_directories(home.home("blocked/billboards"));
    std::filesystem::create_directories(home.home("blocked/statues"));
    std::filesystem::create_directories(home.data("blocked/billboards"));
    std::filesystem::create_directories(home.data("blocked/statues"));
    EXPECT_EQ(save_billboards("blocked"), 0);
    EXPECT_EQ(save_statues("blocked"), 0);
    EXPECT_EQ(posted_messages(), (std::vector<std::string>{"Can't open 'billboards'\n", "Can't open 'statues'\n"}));
}

const char* const start_board_line = "[10 1 20] [30 3 20] 4 2 2 @s1.png @s2.png @s3.png";

TEST_F(ObjectsTest, FlaggersFileReadsAsFarAsItGoes)
{
    load(load_flaggers, start_board_line);
    const StartBoard& start = track_objects.start_board;
    ASSERT_EQ(start.billboard, 0);
    EXPECT_STREQ(billboard(0).texture_name, "@s1.png");
    EXPECT_FLOAT_EQ(billboard(0).height, 4);
    EXPECT_FLOAT_EQ(start.travel_time, 2);
    EXPECT_STREQ(start.texture_names[0], "@s1.png");
    EXPECT_STREQ(start.texture_names[2], "@s3.png");
    EXPECT_EQ(start.texture_names[3], nullptr);
    EXPECT_EQ(start.texture_names[4], nullptr);
    EXPECT_EQ(start.textures[3], 0u);
    EXPECT_EQ(start.textures[4], 0u);
    EXPECT_EQ(track_objects.lap_board.billboard, -1);
    EXPECT_EQ(track_objects.flagger_count, 0);
    EXPECT_EQ(track_objects.billboard_count, 1);
}

TEST_F(ObjectsTest, FlaggerGatesAreClampedToTheTrack)
{
    load_gates(12);
    load(load_flaggers, std::string(start_board_line) + " @s4.png @s5.png\n"
                        "[50 0 50] 3 1 @lap.png @half.png @last.png @flag.png\n"
                        "[60 0 60] 2 0.5 300 -5 3 11 @green.png @yellow.png\n"
                        "[70 0 70] 2 0.5 0 -1 -1 -1 @green.png\n");
    EXPECT_EQ(track_objects.lap_board.billboard, 1);
    EXPECT_STREQ(track_objects.lap_board.texture_names[lap_board_chequered], "@flag.png");
    ASSERT_EQ(track_objects.flagger_count, 2);
    const Flagger& f = track_objects.flaggers[0];
    EXPECT_EQ(std::vector<int32_t>(f.gates, f.gates + 4), (std::vector<int32_t>{11, -1, 3, 11}));
    EXPECT_EQ(f.billboard, 2);
    EXPECT_STREQ(f.normal_name, "@green.png");
    EXPECT_STREQ(f.warning_name, "@yellow.png");
    // The last flagger lacks its warning picture and ends the file.
    EXPECT_EQ(track_objects.flaggers[1].warning_name, nullptr);

    // Without gates every gate number means none.
    clear_track_objects();
    free_timing_gates();
    load(load_flaggers, std::string(start_board_line) + " @s4.png @s5.png\n"
                        "[50 0 50] 3 1 @lap.png @half.png @last.png @flag.png\n"
                        "[60 0 60] 2 0.5 300 -5 3 11 @green.png @yellow.png\n");
    const Flagger& g = track_objects.flaggers[0];
    EXPECT_EQ(std::vector<int32_t>(g.gates, g.gates + 4), (std::vector<int32_t>{-1, -1, -1, -1}));
}

struct FlaggerRace : ObjectsTest {
    std::vector<int32_t> fallen;
    void SetUp() override
    {
        ObjectsTest::SetUp();
        tilt_ground(0.25f);
        load_gates(12);
        load(load_flaggers, std::string(start_board_line) + " @s4.png @s5.png\n"
                            "[50 0 50] 3 1 @lap.png @half.png @last.png @flag.png\n"
                            "[60 0 60] 2 0.5 300 -5 3 11 @green.png @yellow.png\n"
                            "[70 0 70] 2 0.5 0 -1 -1 -1 @green.png @yellow.png\n");
    }
    void update(float time, int32_t leader_laps = 0)
    {
        FlaggerState state{time, 10, leader_laps, 5, 3, fallen.data(), int32_t(fallen.size()), 1280};
        update_flaggers(state);
    }
    const char* shown(int32_t b) { return billboard(b).texture_name; }
};

TEST_F(FlaggerRace, StartBoardRunsItsSchedule)
{
    // The race starts at second 10; the board travels for 2 s from 11 on.
    struct Case {
        float time;
        const char* texture;
        float x, y_offset;
    } const cases[] = {
        {0, "@s1.png", 10, 1},       {10.05f, "@s1.png", 10, 1}, {10.2f, "@s2.png", 10, 1},
        {10.5f, "@s3.png", 10, 1},   {11, "@s4.png", 10, 1},     {11.5f, "@s4.png", 15, 1.5f},
        {12.99f, "@s4.png", 29.9f, 2.99f}, {13, "@s5.png", 30, 3}, {100, "@s5.png", 30, 3},
    };
    for (const Case& c : cases) {
        update(c.time);
        const Billboard& b = billboard(track_objects.start_board.billboard);
        EXPECT_STREQ(shown(track_objects.start_board.billboard), c.texture) << c.time;
        EXPECT_NEAR(b.x, c.x, 1e-4) << c.time;
        EXPECT_FLOAT_EQ(b.z, 20) << c.time;
        EXPECT_NEAR(b.y_offset, c.y_offset, 1e-4) << c.time;
        EXPECT_NEAR(b.y, 0.25f * b.x + b.y_offset, 1e-4) << c.time; // on the sloped ground
    }
}

TEST_F(FlaggerRace, LapBoardFollowsTheLeader)
{
    struct Case {
        int32_t laps;
        const char* texture;
    } const cases[] = {
        {0, "@lap.png"}, {2, "@lap.png"}, {3, "@half.png"}, {4, "@last.png"}, {5, "@flag.png"}, {7, "@flag.png"},
    };
    for (const Case& c : cases) {
        update(50, c.laps);
        EXPECT_STREQ(shown(track_objects.lap_board.billboard), c.texture) << c.laps;
    }
}

TEST_F(FlaggerRace, FlagsWarnOfRidersDown)
{
    fallen = {3, -1, 99};
    update(50);
    for (int32_t g = 0; g < 12; g++)
        EXPECT_EQ(track_timing.timing_gates[g].caution, g == 3 ? 1 : 0) << g;
    EXPECT_STREQ(shown(track_objects.flaggers[0].billboard), "@yellow.png");
    EXPECT_EQ(track_objects.flaggers[0].warning, 1);
    EXPECT_STREQ(shown(track_objects.flaggers[1].billboard), "@green.png");
    fallen = {0};
    update(51);
    EXPECT_EQ(track_timing.timing_gates[3].caution, 0);
    EXPECT_STREQ(shown(track_objects.flaggers[0].billboard), "@green.png");
    EXPECT_STREQ(shown(track_objects.flaggers[1].billboard), "@yellow.png");
    fallen.clear();
    update(52);
    EXPECT_STREQ(shown(track_objects.flaggers[1].billboard), "@green.png");
    EXPECT_EQ(track_timing.timing_gates[0].caution, 0);
}

TEST_F(FlaggerRace, ZeroTravelTimeJumpsToTheEnd)
{
    track_objects.start_board.travel_time = 0;
    update(10.99f);
    EXPECT_FLOAT_EQ(billboard(0).x, 10);
    update(11);
    EXPECT_FLOAT_EQ(billboard(0).x, 30);
    EXPECT_STREQ(shown(0), "@s5.png");
}

// Whole track loads: what the program makes, what the files add, and what
// the checksum covers.
struct ObjectsLoadTest : ::testing::Test {
    TestHome home;
    void SetUp() override
    {
        clear_message_log();
        write_tiny_track(home, "hill");
        write("timing_gates", "startinggate:\n[100 0 100] 0\n[110 0 100] 0\n"
                              "checkpoints: 5 [100 0 150] [0 0 1]\nfirstlap: 0\nnormallap: 0\n");
        write_file(home.data("startgate.shp"), "1\n0 1 0 2 1 2500 250\n");
        write_file(home.data("rock.shp"), "1\n0 0 0 3 1 2500 250\n");
        write("statues", "[120 0 120] 0 @rock.km @rock.ppm @rock.shp\n"
                         "[130 0 120] 0 @rock.km @rock.ppm @rock.shp\n"
                         "[140 0 120] 0 @tent.km @tent.ppm null\n");
        write("billboards", "[50 0 50] 10 1 @tree.png\n");
        write("flaggers", std::string(start_board_line) + " @s4.png @s5.png\n"
                          "[50 0 50] 3 1 @lap.png @half.png @last.png @flag.png\n");
    }
    void TearDown() override
    {
        free_track();
        set_current_track(nullptr);
        set_timing_gate_hooks({});
        clear_shape_cache();
    }
    void write(const std::string& name, const std::string& bytes) { write_file(home.data("hill/" + name), bytes); }
    void load()
    {
        set_current_track("hill");
        ASSERT_EQ(load_track(), 1);
    }
    std::string checksum()
    {
        load();
        std::string digest(reinterpret_cast<const char*>(loaded_track.checksum), 20);
        free_track();
        return digest;
    }
};

TEST_F(ObjectsLoadTest, ProgramObjectsComeFirst)
{
    launch.debug_level = 1;
    load();
    launch.debug_level = 0;
    std::string log = read_file(home.log_file());
    for (const char* when : {"flagger", "billboard", "statue"})
        EXPECT_NE(log.find(std::string(" bytes texture memory used after ") + when + " creation\n"), std::string::npos)
            << when;
    const TrackObjects& o = track_objects;
    // The roost sprites, then the two boards, then the file's billboards.
    ASSERT_EQ(o.billboard_count, roost_sprite_count + 3);
    for (int32_t i = 0; i < roost_sprite_count; i += 499) {
        const Billboard& b = o.billboards[i];
        EXPECT_EQ(b.texture_name, nullptr);
        EXPECT_EQ(b.x, 0);
        EXPECT_EQ(b.z, 0);
        EXPECT_EQ(b.height, 1);
        EXPECT_EQ(b.aspect, 1);
    }
    EXPECT_EQ(o.start_board.billboard, roost_sprite_count);
    EXPECT_EQ(o.lap_board.billboard, roost_sprite_count + 1);
    EXPECT_EQ(o.first_file_billboard, roost_sprite_count + 2);
    EXPECT_STREQ(o.billboards[roost_sprite_count + 2].texture_name, "@tree.png");
    // The start gates, then the file's statues.
    ASSERT_EQ(o.statue_count, 5);
    EXPECT_EQ(o.first_file_statue, 2);
    EXPECT_EQ(track_timing.start_positions[1].gate_object, 1);
    const Statue& gate = o.statues[1];
    EXPECT_STREQ(gate.model_name, "@startgate.km");
    EXPECT_STREQ(gate.texture_name, "@startgate.ppm");
    ASSERT_NE(gate.shape, nullptr);
    EXPECT_STREQ(gate.shape->name, "@startgate.shp");
    EXPECT_NEAR(gate.x, 110, 1e-4);
    EXPECT_NEAR(gate.z, 97, 1e-4); // three feet behind the place
    // Binned at the end of the load.
    int32_t bx = statue_bin_index(120, world), bz = statue_bin_index(120, world);
    const StatueBin& bin = o.bins[bz][bx];
    EXPECT_NE(std::find(bin.statues, bin.statues + bin.count, 2), bin.statues + bin.count);
    free_track();
    EXPECT_EQ(track_objects.statue_count, 0);
    EXPECT_EQ(track_objects.billboard_count, 0);
    EXPECT_EQ(track_objects.bins[bz][bx].count, 0);
}

TEST_F(ObjectsLoadTest, ShapeFilesCountTowardsTheChecksum)
{
    std::string base = checksum();
    EXPECT_EQ(checksum(), base);
    struct Change {
        const char* file;
        std::string bytes;
        bool changes_checksum;
    } const changes[] = {
        {"rock.shp", "1\n0 0 0 4 1 2500 250\n", true},
        {"startgate.shp", "1\n0 1 0 2 1 2500 251\n", true},
        {"hill/lighting", "sun_vector [0 1 0]\n", false},
        {"hill/billboards", "[60 0 60] 10 1 @bush.png\n", false},
        {"hill/flaggers", "", false},
    };
    for (const Change& c : changes) {
        std::string path = home.data(c.file);
        std::string old = read_file(path);
        write_file(path, c.bytes);
        clear_shape_cache(); // the run would keep the old shape
        if (c.changes_checksum)
            EXPECT_NE(checksum(), base) << c.file;
        else
            EXPECT_EQ(checksum(), base) << c.file;
        write_file(path, old);
        clear_shape_cache();
    }
    EXPECT_EQ(checksum(), base);
}

} // namespace
