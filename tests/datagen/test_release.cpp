// The generated data release as a whole: deterministic, and packed so that
// the game's own data layer finds every member.
#include "data/home.h"
#include "data/stream.h"
#include "support/fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

namespace {

std::map<std::string, std::string> folder_contents(const std::string& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files[entry.path().filename().string()] = read_file(entry.path().string());
    return files;
}

TEST(DataRelease, TwoRunsGiveIdenticalBytes)
{
    TempDir a, b;
    std::string datagen = std::string(DL_TOOLS_DIR) + "/datagen ";
    ASSERT_EQ(run_command(datagen + a.path + " >/dev/null"), 0);
    ASSERT_EQ(run_command(datagen + b.path + " >/dev/null"), 0);
    std::map<std::string, std::string> first = folder_contents(a.path), second = folder_contents(b.path);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.size(), second.size());
    for (const auto& [name, bytes] : first)
        EXPECT_TRUE(second.count(name) && second[name] == bytes) << name << " differs between runs";
    // Nothing but archives lands in the game's folder.
    for (const auto& [name, bytes] : first)
        EXPECT_EQ(name.substr(name.size() - 4), ".saf") << name;
}

TEST(DataRelease, EveryMemberOpensThroughTheDataLayer)
{
    TestHome t;
    install_release(t.data());
    data_reset();
    int count = 0;
    const DataIndexEntry* index = data_index(&count);
    int members = 0;
    for (int i = 0; i < count; i++) {
        std::string name = index[i].name;
        if (name.size() > 4 && name.substr(name.size() - 4) == ".saf")
            continue;
        members++;
        if (name.size() > 3 && name.substr(name.size() - 3) == ".gz")
            name.resize(name.size() - 3);
        DataStream* stream = data_open(("@" + name).c_str(), "rb");
        ASSERT_NE(stream, nullptr) << name;
        char buffer[4096];
        int total = 0, n;
        while ((n = data_read(stream, buffer, sizeof buffer)) > 0)
            total += n;
        data_close(stream);
        EXPECT_GT(total, 0) << name << " is empty";
    }
    EXPECT_GT(members, 0);
}

} // namespace

#include "core/catalogue.h"
#include "track/timing_gates.h"
#include "track/track.h"

namespace {

TEST(DataRelease, EveryTrackLoadsWithTheGameLoader)
{
    TestHome t;
    install_release(t.data());
    data_reset();
    TrackCatalogue tracks;
    list_tracks(data_file_list(), &tracks);
    ASSERT_GE(tracks.folders.size(), 2u);
    EXPECT_STREQ(tracks.folders[select_track(tracks, "rabbithill")], "rabbithill");
    for (const char* folder : tracks.folders) {
        set_current_track(folder);
        ASSERT_EQ(load_track(), 1) << folder;
        EXPECT_EQ(track_timing.start_position_count, 40) << folder;
        EXPECT_GE(track_timing.gate_count, 4) << folder;
        EXPECT_GE(track_timing.first_lap_sections, 1) << folder;
        EXPECT_GE(track_timing.normal_lap_sections, 1) << folder;
        free_track();
    }
    set_current_track(nullptr);
}

} // namespace
