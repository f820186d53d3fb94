#include "support/fixture.h"
#include "track/timing_gates.h"
#include "track/track.h"
#include "track_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct TrackLoadTest : ::testing::Test {
    TestHome home;
    void SetUp() override
    {
        clear_message_log();
        write("terrain.hf", hf_inline(1, 2, 0, 100, std::vector<uint16_t>(25, 1000)));
        write("shading.ppm", ppm(5, 5, std::vector<unsigned char>(75, 128)));
        write("tileinfo", "texture @dirt.png\naddtile\n");
        write("tilemap", std::string(4, '\0'));
        write("timing_gates", "checkpoints: 5 [1 0 1] [0 0 1] 5 [6 0 6] [0 0 -1]\nfirstlap: 0 1\nnormallap: 0 1\n");
    }
    void TearDown() override
    {
        free_track();
        set_current_track(nullptr);
    }
    void write(const std::string& name, const std::string& bytes) { write_file(home.data("hill/" + name), bytes); }
    std::string checksum()
    {
        set_current_track("hill");
        EXPECT_EQ(load_track(), 1) << (message_log.next ? message_log.lines[message_log.next - 1] : "");
        std::string digest(reinterpret_cast<const char*>(loaded_track.checksum), 20);
        free_track();
        return digest;
    }
};

TEST_F(TrackLoadTest, LoadsTerrainAndTiming)
{
    set_current_track("hill");
    ASSERT_EQ(load_track(), 1);
    EXPECT_TRUE(loaded_track.loaded);
    EXPECT_EQ(current_terrain, &loaded_track.terrain);
    EXPECT_EQ(loaded_track.terrain.samples, 5);
    EXPECT_EQ(track_timing.gate_count, 2);
    EXPECT_EQ(loaded_track.map_texture, 0u); // no window, no textures
    free_track();
    EXPECT_FALSE(loaded_track.loaded);
    EXPECT_EQ(current_terrain, nullptr);
    EXPECT_EQ(track_timing.gate_count, 0);
    std::string log = read_file(home.log_file());
    EXPECT_NE(log.find("Deallocating track\n"), std::string::npos);
    EXPECT_NE(log.find("Finished deallocating track\n"), std::string::npos);
}

TEST_F(TrackLoadTest, FailedTerrainClearsTheCurrentTrack)
{
    std::filesystem::remove(home.data("hill/tilemap"));
    set_current_track("hill");
    EXPECT_EQ(load_track(), 0);
    EXPECT_EQ(loaded_track.folder, nullptr);
    EXPECT_FALSE(loaded_track.loaded);
    EXPECT_EQ(track_timing.gate_count, 0);
}

TEST_F(TrackLoadTest, ChecksumCoversTheFilesThatShapeTheRace)
{
    std::string base = checksum();
    EXPECT_EQ(checksum(), base); // loading twice gives the same digest
    struct Change {
        const char* file;
        std::string bytes;
        bool changes_checksum;
    } const changes[] = {
        {"timing_gates", "checkpoints: 5 [1 0 1] [0 0 1]\nfirstlap: 0\nnormallap: 0\n", true},
        {"statues", "anything\n", true},
        {"tileinfo", "texture @dirt.png\nfriction 0.5 0.5\naddtile\n", true},
        {"tilemap", std::string("\1\0\0\0", 4), true},
        {"texturelist", "@dirt.png\n", true},
        {"lighting", "sun 1 1 1\n", false},
        {"billboards", "x\n", false},
        {"flaggers", "x\n", false},
        {"decals", "x\n", false},
        {"shadows.pgm", pgm(5, 5, std::vector<unsigned char>(25, 9)), false},
        {"desc", "Hill\n", false},
    };
    for (const Change& c : changes) {
        std::string path = home.data("hill/") + c.file;
        bool existed = file_exists(path);
        std::string old = existed ? read_file(path) : "";
        write(c.file, c.bytes);
        if (c.changes_checksum)
            EXPECT_NE(checksum(), base) << c.file;
        else
            EXPECT_EQ(checksum(), base) << c.file;
        if (existed)
            write(c.file, old);
        else
            std::filesystem::remove(path);
    }
    EXPECT_EQ(checksum(), base);
}

} // namespace
