#include "base/launch.h"
#include "core/catalogue.h"
#include "core/startup.h"
#include "data/home.h"
#include "support/fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct FileList {
    std::vector<std::string> names;
    std::vector<const char*> pointers;
    explicit FileList(std::vector<std::string> n) : names(std::move(n))
    {
        for (const std::string& s : names)
            pointers.push_back(s.c_str());
        pointers.push_back("");
    }
    const char* const* get() const { return pointers.data(); }
};

std::vector<std::string> strings(const std::vector<const char*>& v)
{
    std::vector<std::string> out;
    for (const char* s : v)
        out.push_back(s ? s : "<none>");
    return out;
}

TEST(TrackCatalogue, FoldersNamesAndOrder)
{
    TestHome t;
    write_file(t.data("zeta/desc"), "Apple Valley\r\nsecond line");
    write_file(t.data("alpha/desc"), "banana ridge\n");
    write_file(t.data("empty/desc"), "");
    write_file(t.data("nul/desc"), std::string("Cherry\0Hill", 11));
    FileList files({"alpha/terrain.hf", "both/terrain.hf", "both/terrain.hf.gz", "empty/terrain.hf",
                    "not/terrain.hfx", "nul/terrain.hf", "deep/er/terrain.hf.gz", "zeta/terrain.hf"});
    TrackCatalogue tracks;
    list_tracks(files.get(), &tracks);
    // A capital A sorts before a small b; a folder with both height-field
    // forms is listed twice; no description gives the folder name.
    EXPECT_EQ(strings(tracks.names),
              (std::vector<std::string>{"Apple Valley", "banana ridge", "both", "both", "Cherry", "deep/er", "empty"}));
    EXPECT_EQ(strings(tracks.folders),
              (std::vector<std::string>{"zeta", "alpha", "both", "both", "nul", "deep/er", "empty"}));
    EXPECT_EQ(select_track(tracks, "alpha"), 1);
    EXPECT_EQ(select_track(tracks, "both"), 2);
    EXPECT_EQ(select_track(tracks, "rabbithill"), 0);
}

TEST(TrackCatalogue, DebugLogsEveryPair)
{
    TestHome t;
    FileList files({"hill/terrain.hf"});
    TrackCatalogue tracks;
    launch.debug_level = 1;
    list_tracks(files.get(), &tracks);
    launch.debug_level = 0;
    EXPECT_NE(read_file(t.log_file()).find("hill -> hill\n"), std::string::npos);
}

TEST(DemoCatalogue, DemosFolderOnly)
{
    TestHome t;
    FileList files({"demos/first.lap.dldemo", "demos/sub/second.dldemo", "other/third.dldemo", "demos/notes.txt"});
    DemoCatalogue demos;
    list_demos(files.get(), &demos);
    EXPECT_EQ(strings(demos.files), (std::vector<std::string>{"demos/first.lap.dldemo", "demos/sub/second.dldemo"}));
    EXPECT_EQ(strings(demos.names), (std::vector<std::string>{"first.lap", "second"}));
}

TEST(TextureCatalogue, PicturesWithThePrefix)
{
    FileList files({"bikes/dl250-red.png", "dl250-blue.png", "dl250-blue_norm.png", "dl250-blue_spec.png",
                    "dl250-green.jpg", "x/adl250-no.png", "dl250-.png"});
    TextureCatalogue catalogue;
    list_textures(files.get(), "dl250-", &catalogue);
    EXPECT_EQ(strings(catalogue.paths),
              (std::vector<std::string>{"<none>", "@bikes/dl250-red.png", "@dl250-blue.png", "@dl250-.png"}));
    EXPECT_EQ(strings(catalogue.names), (std::vector<std::string>{"default", "red", "blue", ""}));
}

TEST(DetailSettings, DerivedFromTheConfiguration)
{
    struct Case {
        DetailSource source;
        float terrain_detail;
        int ground_skip, ground_size;
        float lod_scale, lod_bias;
        int texture_skip, roost;
    } const cases[] = {
        {{50, 9, 2, 50, 9, 250}, 0.0025f, 1, 128, 1.0f, 0, 1, 250},
        {{100, 0, 5, 0, 10, 0}, 0.00125f, 10, 1024, 8.0f, 50, 0, 0}, // model detail 0: scale 2 cubed
        {{25, 10, 0, 100, 0, 1000}, 0.005f, 0, 32, 0.0f, 0, 10, 1000},
        {{50, 9.5, 2, 15, 9.9, 10.9}, 0.0025f, 0, 128, 1.7f * 1.7f * 1.7f, 37.5f, 0, 10},
    };
    for (const Case& c : cases) {
        LaunchSettings l;
        derive_detail_settings(c.source, &l);
        EXPECT_FLOAT_EQ(l.terrain_detail, c.terrain_detail);
        EXPECT_EQ(l.ground_texture_skip_levels, c.ground_skip);
        EXPECT_EQ(l.ground_texture_size, c.ground_size);
        EXPECT_FLOAT_EQ(l.lod_scale, c.lod_scale);
        EXPECT_FLOAT_EQ(l.lod_bias, c.lod_bias);
        EXPECT_EQ(l.texture_skip_levels, c.texture_skip);
        EXPECT_EQ(l.roost_frequency, c.roost);
    }
}

} // namespace
