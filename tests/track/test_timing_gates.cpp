#include "base/launch.h"
#include "data/home.h"
#include "data/stream.h"
#include "support/fixture.h"
#include "track/timing_gates.h"
#include "track_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

struct TimingGatesTest : ::testing::Test {
    void TearDown() override
    {
        free_timing_gates();
        set_timing_gate_hooks({});
    }
    void load(const std::string& text)
    {
        DataStream* stream = text_stream(text);
        load_timing_gates(stream);
        data_close(stream);
    }
    std::vector<int32_t> sequence()
    {
        const TrackTiming& t = track_timing;
        return std::vector<int32_t>(t.lap_sequence, t.lap_sequence + t.first_lap_count + t.normal_lap_count);
    }
};

const char* const four_gates =
    "checkpoints:\n"
    "10 [0 0 0] [0 0 -1]\n"
    "12 [0 0 -100] [1 0 0]\n"
    "10 [100 0 -100] [0 0 1]\n"
    "8.5 [100 0 0] [-1 0 0]\n";

TEST_F(TimingGatesTest, ReadsEverySection)
{
    load(std::string("startinggate:\n[1 2 3] 0.5\n[4 5 6] -1\n") + four_gates +
         "firstlap:\n0 1 100002 3\nnormallap:\n1 2 3 0\n");
    const TrackTiming& t = track_timing;
    ASSERT_EQ(t.start_position_count, 2);
    EXPECT_FLOAT_EQ(t.start_positions[0].position[2], 3);
    EXPECT_FLOAT_EQ(t.start_positions[1].angle, -1);
    ASSERT_EQ(t.gate_count, 4);
    EXPECT_FLOAT_EQ(t.timing_gates[1].radius, 12);
    EXPECT_FLOAT_EQ(t.timing_gates[2].position[0], 100);
    EXPECT_FLOAT_EQ(t.timing_gates[3].direction[0], -1);
    EXPECT_EQ(t.first_lap_count, 4);
    EXPECT_EQ(t.normal_lap_count, 4);
    EXPECT_EQ(t.first_lap_sections, 3); // the flagged entry is a checkpoint only
    EXPECT_EQ(t.normal_lap_sections, 4);
    EXPECT_EQ(sequence(), (std::vector<int32_t>{0, 1, 100002, 3, 1, 2, 3, 0}));
    // One table of free lines per section.
    ASSERT_NE(t.line_tables, nullptr);
    for (int i = 0; i < 7 * lines_per_section; i++) {
        EXPECT_EQ(t.line_tables[i].sample_count, 0);
        EXPECT_EQ(t.line_tables[i].section_frames, 1000000);
        EXPECT_EQ(t.line_tables[i].best_two_section_frames, 1000000);
        EXPECT_EQ(t.line_tables[i].line_id, 0);
    }
    EXPECT_EQ(section_table_index(2), 2);
    EXPECT_EQ(section_table_index(3), 3);
    EXPECT_EQ(section_table_index(7), 3 + (7 - 3) % 4);
}

TEST_F(TimingGatesTest, StartAnglesWrapAndGatesStandBehind)
{
    struct Placed {
        float position[3];
        float angle;
    };
    static std::vector<Placed> placed;
    placed.clear();
    set_timing_gate_hooks({[](const float p[3], float a) {
        placed.push_back({{p[0], p[1], p[2]}, a});
        return int32_t(placed.size() - 1);
    }});
    load(std::string("startinggate:\n[0 0 0] 4\n[10 1 20] 3.14159265358979\n[0 0 0] -7\n") + four_gates +
         "firstlap: 0\nnormallap: 1\n");
    const TrackTiming& t = track_timing;
    ASSERT_EQ(t.start_position_count, 3);
    EXPECT_NEAR(t.start_positions[0].angle, 4 - 2 * M_PI, 1e-6);
    EXPECT_FLOAT_EQ(t.start_positions[1].angle, float(3.14159265358979)); // pi itself is kept
    EXPECT_NEAR(t.start_positions[2].angle, -7 + 2 * M_PI, 1e-6);
    ASSERT_EQ(placed.size(), 3u);
    EXPECT_EQ(t.start_positions[2].gate_object, 2);
    // Three feet behind the place, against the heading (sin a, 0, cos a).
    float a = t.start_positions[0].angle;
    EXPECT_NEAR(placed[0].position[0], -3 * std::sin(a), 1e-5);
    EXPECT_NEAR(placed[0].position[2], -3 * std::cos(a), 1e-5);
    EXPECT_NEAR(placed[1].position[0], 10, 1e-4);
    EXPECT_NEAR(placed[1].position[2], 23, 1e-4);
    EXPECT_FLOAT_EQ(placed[1].position[1], 1);
}

TEST_F(TimingGatesTest, SequenceEntriesAreNormalised)
{
    struct Case {
        const char* gates;
        const char* lists;
        std::vector<int32_t> expected;
    } const cases[] = {
        {four_gates, "firstlap: -5 100003\nnormallap: 1", {0, 100003, 1}},
        {"checkpoints: 1 [0 0 0] [1 0 0] 1 [1 0 0] [1 0 0] 1 [2 0 0] [1 0 0]", "firstlap: 7 100009 normallap: 2",
         {2, 100002, 2}},
    };
    for (const Case& c : cases) {
        load(std::string(c.gates) + "\n" + c.lists + "\n");
        EXPECT_EQ(sequence(), c.expected) << c.lists;
    }
}

TEST_F(TimingGatesTest, UnusableFilesTurnTimingOff)
{
    std::string forty_one = "startinggate:\n";
    for (int i = 0; i < 41; i++)
        forty_one += "[" + std::to_string(i) + " 0 0] 0\n";
    struct Case {
        const char* what;
        std::string text;
        int starts;
    } const cases[] = {
        {"empty", "", 0},
        {"no checkpoints keyword", "startinggate:\n[1 2 3] 0\ngates:\n", 1},
        {"no first lap", std::string(four_gates) + "normallap: 0 1\n", 0},
        {"no normal lap", std::string(four_gates) + "firstlap: 0 1\n", 0},
        {"only flagged entries", std::string(four_gates) + "firstlap: 100000 100001\nnormallap: 0\n", 0},
        {"no gates", "checkpoints:\nfirstlap: 0\nnormallap: 0\n", 0},
        {"41 starting places", forty_one + four_gates + "firstlap: 0\nnormallap: 0\n", 40},
        {"malformed gate", "checkpoints:\n10 [0 0 0 [0 0 1]\nfirstlap: 0\nnormallap: 0\n", 0},
    };
    for (const Case& c : cases) {
        load(c.text);
        const TrackTiming& t = track_timing;
        EXPECT_EQ(t.gate_count, 0) << c.what;
        EXPECT_EQ(t.first_lap_count + t.normal_lap_count, 0) << c.what;
        EXPECT_EQ(t.timing_gates, nullptr) << c.what;
        EXPECT_EQ(t.line_tables, nullptr) << c.what;
        EXPECT_EQ(t.start_position_count, c.starts) << c.what;
    }
    load_timing_gates(nullptr); // a missing file
    EXPECT_EQ(track_timing.gate_count, 0);
}

TEST_F(TimingGatesTest, CheckpointsWithoutStartingPlacesAreAccepted)
{
    load(std::string(four_gates) + "firstlap: 0 1 2 3\nnormallap: 0 1 2 3\n");
    EXPECT_EQ(track_timing.start_position_count, 0);
    EXPECT_EQ(track_timing.gate_count, 4);
}

TEST_F(TimingGatesTest, SavedFileReadsBackTheSameTables)
{
    TestHome home;
    load(std::string("startinggate:\n[1.5 2 -3.25] 0.5\n") + four_gates + "firstlap: 0 1 100002 3\nnormallap: 1 2 3 0\n");
    ASSERT_EQ(save_timing_gates("hill"), 1);
    std::string text = read_file(home.home("hill/timing_gates"));
    EXPECT_EQ(text.substr(0, 50), "startinggate:\n[1.500000 2.000000 -3.250000] 0.5000");
    EXPECT_NE(text.find("firstlap:\n0 1 100002 3 \nnormallap:\n1 2 3 0 \n"), std::string::npos) << text;
    std::vector<int32_t> before = sequence();
    TimingGate third = track_timing.timing_gates[3];
    DataStream* stream = data_open("@hill/timing_gates", "rb");
    ASSERT_NE(stream, nullptr);
    load_timing_gates(stream);
    data_close(stream);
    EXPECT_EQ(sequence(), before);
    EXPECT_FLOAT_EQ(track_timing.timing_gates[3].radius, third.radius);
    EXPECT_FLOAT_EQ(track_timing.start_positions[0].position[2], -3.25f);
}

TEST_F(TimingGatesTest, LogsWhatItFoundWhenDebugging)
{
    TestHome home;
    launch.debug_level = 1;
    load(std::string(four_gates) + "firstlap: 0 1 2\nnormallap: 3 0\n");
    launch.debug_level = 0;
    EXPECT_NE(read_file(home.log_file()).find("Found 4 timing gates, first lap has 3 gates, normal lap has 2\n"),
              std::string::npos);
}

} // namespace
