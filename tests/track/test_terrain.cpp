#include "assets/image.h"
#include "base/launch.h"
#include "base/sha1.h"
#include "support/fixture.h"
#include "track/terrain.h"
#include "track_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace {

// M = 1: T = 2 tiles, N = 5 samples per side, spacing 2 (world size 8). With
// the bounds 0 and 65535 every word is its own height. The raised samples
// make each triangle of the first two cells a different plane, so a wrong cut
// shows in the height.
constexpr int N = 5;

std::vector<uint16_t> field_words()
{
    std::vector<uint16_t> w(N * N, 0);
    auto at = [&](int i, int j) -> uint16_t& { return w[j * N + i]; };
    at(1, 0) = 40;
    at(0, 1) = 80;
    at(1, 1) = 60;
    at(2, 1) = 100;
    at(4, 2) = 50;
    at(4, 3) = 10;
    at(2, 4) = 30;
    return w;
}

const char* const three_materials =
    "texture @dirt.png\naddtile\n"
    "texture @grass.png\nfriction 0.5 1\naddtile\n"
    "texture @rock.png\naddtile\n";

class TerrainTest : public ::testing::Test {
protected:
    TestHome home;
    std::unique_ptr<Terrain> terrain = new_terrain();

    void SetUp() override
    {
        clear_message_log();
        write("terrain.hf", hf_inline(1, 2, 0, 65535, field_words()));
        std::vector<unsigned char> shading(N * N * 3);
        for (size_t k = 0; k < shading.size(); k++)
            shading[k] = (unsigned char)(k * 10);
        write("shading.ppm", ppm(N, N, shading));
        write("tileinfo", three_materials);
        write("tilemap", std::string("\0\1\2\7", 4));
    }
    void TearDown() override
    {
        free_terrain(terrain.get());
    }

    void write(const std::string& name, const std::string& bytes)
    {
        write_file(home.data("t/" + name), bytes);
    }
    void remove(const std::string& name)
    {
        std::filesystem::remove(home.data("t/" + name));
    }
    int load()
    {
        return load_terrain(terrain.get(), "@t");
    }
    // A failed load leaves the record cleared and the failure reported.
    void expect_failed_load(const std::vector<std::string>& messages)
    {
        EXPECT_EQ(load(), 0);
        EXPECT_EQ(terrain->heights, nullptr);
        EXPECT_EQ(terrain->shading, nullptr);
        EXPECT_EQ(terrain->shadow, nullptr);
        EXPECT_EQ(terrain->tile_map, nullptr);
        EXPECT_EQ(terrain->material_count, 0);
        EXPECT_EQ(current_terrain, nullptr);
        EXPECT_EQ(posted_messages(), messages);
    }
};

TEST_F(TerrainTest, LoadsTheGridGeometryAndSamples)
{
    ASSERT_EQ(load(), 1);
    EXPECT_EQ(terrain->size_log2, 1);
    EXPECT_EQ(terrain->samples, 5);
    EXPECT_EQ(terrain->tiles, 2);
    EXPECT_FLOAT_EQ(terrain->spacing, 2);
    EXPECT_FLOAT_EQ(terrain->tile_size, 4);
    EXPECT_FLOAT_EQ(terrain->world_size, 8);
    EXPECT_FLOAT_EQ(terrain->min_height, 0);
    EXPECT_FLOAT_EQ(terrain->max_height, 65535);
    std::vector<uint16_t> w = field_words();
    for (int k = 0; k < N * N; k++)
        EXPECT_FLOAT_EQ(terrain->heights[k], w[k]) << k;
    EXPECT_EQ(current_terrain, terrain.get());
    EXPECT_TRUE(posted_messages().empty());
    free_terrain(terrain.get());
    EXPECT_EQ(current_terrain, nullptr);
    EXPECT_EQ(terrain->heights, nullptr);
}

TEST_F(TerrainTest, CompressedHeightFieldLoadsUnderItsPlainName)
{
    std::string bytes = hf_inline(1, 2, 0, 65535, field_words());
    remove("terrain.hf");
    write("terrain.hf.gz", gzip_bytes(bytes));
    ASSERT_EQ(load(), 1);
    EXPECT_FLOAT_EQ(terrain->heights[6], 60);
}

TEST_F(TerrainTest, FullSizeFieldFromInlineWords)
{
    const int n = 2049;
    std::vector<uint16_t> words(size_t(n) * n);
    for (size_t k = 0; k < words.size(); k++)
        words[k] = uint16_t(k * 7);
    write("terrain.hf", hf_inline(10, 0.5f, 0, 20, words));
    write("shadingx2.ppm", ppm(n, n, std::vector<unsigned char>(size_t(n) * n * 3, 128)));
    write("tilemap", std::string(1024 * 1024, '\1'));
    ASSERT_EQ(load(), 1);
    EXPECT_EQ(terrain->samples, 2049);
    EXPECT_EQ(terrain->tiles, 1024);
    EXPECT_FLOAT_EQ(terrain->world_size, 1024);
    EXPECT_FLOAT_EQ(terrain->heights[12345], float(20.0 * uint16_t(12345 * 7) / 65535));
    EXPECT_EQ(terrain_tile(terrain.get(), 1000, 3), 1);
}

TEST_F(TerrainTest, WordsSpanTheHeaderBounds)
{
    std::vector<uint16_t> words(N * N, 0);
    words[1] = 65535;
    words[2] = 32768;
    write("terrain.hf", hf_inline(1, 2, -10, 30, words));
    ASSERT_EQ(load(), 1);
    EXPECT_FLOAT_EQ(terrain->heights[0], -10);
    EXPECT_FLOAT_EQ(terrain->heights[1], 30);
    EXPECT_FLOAT_EQ(terrain->heights[2], float(-10 + 32768 * 40.0 / 65535));
}

struct HeightCase {
    float u, v;   // position in sample units (world = 2 u, 2 v)
    float height;
    const char* where;
};

TEST_F(TerrainTest, HeightFollowsTheTriangleRule)
{
    ASSERT_EQ(load(), 1);
    const HeightCase cases[] = {
        // Cell (0, 0), even: cut from (0, 0) to (1, 1).
        {0.75f, 0.25f, 35, "even cell, below the diagonal"},
        {0.25f, 0.75f, 55, "even cell, above the diagonal"},
        {0.5f, 0.5f, 30, "even cell, on the diagonal"},
        {0.25f, 0.25f, 15, "even cell, on the diagonal near its start"},
        // Cell (1, 0), odd: cut from (2, 0) to (1, 1).
        {1.25f, 0.25f, 35, "odd cell, near side"},
        {1.75f, 0.75f, 65, "odd cell, far side"},
        {1.5f, 0.5f, 30, "odd cell, on the diagonal"},
        {1, 1, 60, "on a sample"},
        {0, 0, 0, "on the first sample"},
        {4, 3, 10, "on the last column"},
        {4, 2.5f, 30, "on the far edge, between samples"},
    };
    for (const HeightCase& c : cases)
        EXPECT_FLOAT_EQ(terrain_height(terrain.get(), 2 * c.u, 2 * c.v), c.height) << c.where;
}

TEST_F(TerrainTest, DiagonalPointsAgreeFromBothTriangles)
{
    ASSERT_EQ(load(), 1);
    // Approaching a diagonal from either side gives its own height.
    for (float t : {0.1f, 0.3f, 0.5f, 0.9f}) {
        const float e = 1e-4f;
        float even = terrain_height(terrain.get(), 2 * t, 2 * t);
        EXPECT_NEAR(terrain_height(terrain.get(), 2 * (t + e), 2 * (t - e)), even, 0.05f);
        EXPECT_NEAR(terrain_height(terrain.get(), 2 * (t - e), 2 * (t + e)), even, 0.05f);
        EXPECT_NEAR(terrain_height(terrain.get(), 2 * (2 - t), 2 * t), 60 * t, 1e-4f);
        EXPECT_NEAR(even, 60 * t, 1e-4f);
    }
}

TEST_F(TerrainTest, OutsideTheFieldTheEdgeSamplesContinue)
{
    ASSERT_EQ(load(), 1);
    const Terrain* t = terrain.get();
    const float w = t->world_size;
    for (float z : {0.0f, 1.0f, 2.0f, 3.3f, 5.0f, 8.0f}) {
        EXPECT_FLOAT_EQ(terrain_height(t, -3, z), terrain_height(t, 0, z)) << z;
        EXPECT_FLOAT_EQ(terrain_height(t, -1e30f, z), terrain_height(t, 0, z)) << z;
        EXPECT_FLOAT_EQ(terrain_height(t, w + 5, z), terrain_height(t, w, z)) << z;
        EXPECT_FLOAT_EQ(terrain_height(t, 1e30f, z), terrain_height(t, w, z)) << z;
        EXPECT_FLOAT_EQ(terrain_height(t, z, -7), terrain_height(t, z, 0)) << z;
        EXPECT_FLOAT_EQ(terrain_height(t, z, w + 0.5f), terrain_height(t, z, w)) << z;
    }
    // Between the last samples of the right edge: halfway from 50 to 10.
    EXPECT_FLOAT_EQ(terrain_height(t, 20, 5), 30);
    EXPECT_FLOAT_EQ(terrain_height(t, -20, -20), 0);
    EXPECT_FLOAT_EQ(terrain_height(t, 100, 100), 0);
    // Not-a-number and infinite positions stay inside the arrays.
    const float inf = std::numeric_limits<float>::infinity();
    terrain_height(t, std::nanf(""), 1);
    terrain_height(t, inf, -inf);
    float n[3];
    terrain_normal(t, std::nanf(""), inf, n);
    EXPECT_EQ(terrain_tile(t, std::nanf(""), -inf), 0);
}

struct NormalCase {
    float u, v;
    float n[3];
    const char* where;
};

TEST_F(TerrainTest, NormalIsTheUpwardFaceNormal)
{
    ASSERT_EQ(load(), 1);
    const NormalCase cases[] = {
        {0.75f, 0.25f, {-80, 4, -40}, "even cell, below the diagonal"},
        {0.25f, 0.75f, {40, 4, -160}, "even cell, above the diagonal"},
        {1.25f, 0.25f, {80, 4, -40}, "odd cell, near side"},
        {1.75f, 0.75f, {-80, 4, -200}, "odd cell, far side"},
        {3.5f, 3.5f, {-20, 4, 20}, "even cell on the last column, on its diagonal"},
        {2.6f, 2.3f, {0, 4, 0}, "level ground"},
        // Beyond an edge, and on the far edge itself, the cell's two columns
        // are the same edge sample: the surface is level along x.
        {-1.5f, 0.5f, {0, 4, -160}, "before the first column"},
        {4, 2.5f, {0, 4, 80}, "on the far edge"},
        {9, 2.5f, {0, 4, 80}, "beyond the far edge"},
        {0.5f, -2, {-80, 4, 0}, "before the first row"},
    };
    for (const NormalCase& c : cases) {
        float n[3];
        terrain_normal(terrain.get(), 2 * c.u, 2 * c.v, n);
        EXPECT_FLOAT_EQ(n[0], c.n[0]) << c.where;
        EXPECT_FLOAT_EQ(n[1], c.n[1]) << c.where;
        EXPECT_FLOAT_EQ(n[2], c.n[2]) << c.where;
    }
}

struct TileCase {
    float x, z;
    int tile;
};

TEST_F(TerrainTest, TileUnderAPointIsClampedIntoTheMap)
{
    ASSERT_EQ(load(), 1);
    // The fourth byte of the map (7) names no material: it becomes the last.
    EXPECT_EQ(terrain->material_count, 3);
    EXPECT_EQ(terrain->tile_map[3], 2);
    const TileCase cases[] = {
        {1, 1, 0}, {3.99f, 3.99f, 0}, {4, 1, 1}, {7, 3, 1}, {1, 4, 2}, {5, 5, 2},
        {-10, -10, 0}, {100, 1, 1}, {1, 1e30f, 2}, {8, 8, 2},
    };
    for (const TileCase& c : cases)
        EXPECT_EQ(terrain_tile(terrain.get(), c.x, c.z), c.tile) << c.x << ", " << c.z;
}

TEST_F(TerrainTest, ShortTileMapLeavesMaterialZero)
{
    write("tilemap", "\2");
    ASSERT_EQ(load(), 1);
    EXPECT_EQ(std::vector<unsigned char>(terrain->tile_map, terrain->tile_map + 4),
              (std::vector<unsigned char>{2, 0, 0, 0}));
}

TEST_F(TerrainTest, HeightsComeFromTheImageWithoutTheMarker)
{
    std::vector<uint16_t> words = field_words();
    ASSERT_TRUE(write_png_grey16(home.data("t/terrain.png").c_str(), words.data(), N, N));
    // End of file right after the header, and any other character, both
    // mean the image.
    for (const std::string& tail : {std::string(""), std::string("x")}) {
        write("terrain.hf", hf_header(1, 2, 0, 65535) + tail);
        ASSERT_EQ(load(), 1);
        for (int k = 0; k < N * N; k++)
            EXPECT_FLOAT_EQ(terrain->heights[k], words[k]) << k;
        free_terrain(terrain.get());
    }
}

TEST_F(TerrainTest, SmallerImageRepeatsItsLastRowAndColumn)
{
    // 3 x 2 image: values 100 * row + column.
    const std::vector<uint16_t> image = {0, 1, 2, 100, 101, 102};
    ASSERT_TRUE(write_png_grey16(home.data("t/terrain.png").c_str(), image.data(), 3, 2));
    write("terrain.hf", hf_header(1, 2, 0, 65535));
    ASSERT_EQ(load(), 1);
    for (int j = 0; j < N; j++)
        for (int i = 0; i < N; i++)
            EXPECT_FLOAT_EQ(terrain->heights[j * N + i], 100 * std::min(j, 1) + std::min(i, 2)) << i << "," << j;
}

TEST_F(TerrainTest, OnePixelImageGivesAFlatField)
{
    const uint16_t pixel = 13107; // a fifth of the range
    ASSERT_TRUE(write_png_grey16(home.data("t/terrain.png").c_str(), &pixel, 1, 1));
    write("terrain.hf", hf_header(1, 2, 0, 50));
    ASSERT_EQ(load(), 1);
    for (int k = 0; k < N * N; k++)
        EXPECT_FLOAT_EQ(terrain->heights[k], 10) << k;
    EXPECT_FLOAT_EQ(terrain_height(terrain.get(), 3.3f, 1.7f), 10);
}

TEST_F(TerrainTest, UnreadableImageLeavesTheFieldAtItsLowerBound)
{
    write("terrain.hf", hf_header(1, 2, -4, 50));
    write("terrain.png", "not a picture");
    ASSERT_EQ(load(), 1);
    for (int k = 0; k < N * N; k++)
        EXPECT_FLOAT_EQ(terrain->heights[k], -4) << k;
    EXPECT_TRUE(posted_messages().empty());
}

TEST_F(TerrainTest, HeightDigestIsLoggedAtLevelTwo)
{
    std::vector<uint16_t> words = field_words();
    std::string bytes = hf_inline(1, 2, 0, 65535, words);
    std::string samples = bytes.substr(bytes.find(':') + 1);
    Sha1 sha;
    sha1_start(&sha);
    sha1_add(&sha, samples.data(), samples.size());
    uint8_t digest[20];
    char hex[41];
    sha1_finish(&sha, digest);
    sha1_hex(digest, hex);

    int saved = launch.debug_level;
    launch.debug_level = 2;
    int loaded = load();
    launch.debug_level = saved;
    ASSERT_EQ(loaded, 1);
    std::string log = read_file(home.log_file());
    EXPECT_NE(log.find(std::string("] ") + hex + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find("0 bytes texture memory used before ground tiles loaded\n"), std::string::npos);
    EXPECT_NE(log.find("0 bytes texture memory used after ground tiles loaded\n"), std::string::npos);
}

TEST_F(TerrainTest, BadHeaderIsRefused)
{
    const char* const headers[] = {
        "",
        "1 2 0",
        "one 2 0 1",
        "-1 2 0 1",
        "15 2 0 1",          // past the largest field
        "2000000000 2 0 1",  // would overflow every size
        "1 0 0 1",           // zero spacing
        "1 -2 0 1",
        "1 1e39 0 1",        // spacing beyond a float
        "1 2 -1e39 1",
    };
    for (const char* header : headers) {
        clear_message_log();
        write("terrain.hf", std::string(header) + "\n:");
        SCOPED_TRACE(header);
        expect_failed_load({"Bad height field parameters", "Error reading heights"});
    }
}

TEST_F(TerrainTest, TruncatedInlineHeightsFailTheLoad)
{
    std::string full = hf_inline(1, 2, 0, 65535, field_words());
    for (size_t cut : {full.size() - 1, full.size() - 11, full.find(':') + 1}) {
        clear_message_log();
        write("terrain.hf", full.substr(0, cut));
        SCOPED_TRACE(cut);
        expect_failed_load({"Error reading heights"});
    }
}

TEST_F(TerrainTest, MissingMandatoryFilesAreReported)
{
    struct Case {
        std::vector<std::string> removed;
        const char* message;
    };
    const Case cases[] = {
        {{"terrain.hf"}, "Can't open '@t/terrain.hf'"},
        {{"shading.ppm"}, "Can't open '@t/shading.ppm'"},
        {{"tileinfo"}, "Can't open '@t/texturelist'"},
        {{"tilemap"}, "Can't open '@t/tilemap'"},
    };
    for (const Case& c : cases) {
        SetUp();
        for (const std::string& name : c.removed)
            remove(name);
        SCOPED_TRACE(c.message);
        expect_failed_load({c.message});
    }
}

TEST_F(TerrainTest, MaterialsComeFromTexturelistWithoutTileinfo)
{
    remove("tileinfo");
    write("texturelist", "dirt.png\n0.7 1 2 grass.png\n");
    ASSERT_EQ(load(), 1);
    EXPECT_EQ(terrain->material_count, 2);
    EXPECT_FLOAT_EQ(terrain->materials[1].friction[0], 0.7f);
    // tileinfo wins when both are there.
    free_terrain(terrain.get());
    write("tileinfo", three_materials);
    ASSERT_EQ(load(), 1);
    EXPECT_EQ(terrain->material_count, 3);
}

TEST_F(TerrainTest, GroundWithoutMaterialsIsRefused)
{
    write("tileinfo", "texture @dirt.png\n");
    expect_failed_load({"No ground materials"});
}

TEST_F(TerrainTest, ShadingIsStoredAtHalfIntensity)
{
    std::vector<unsigned char> rgb(N * N * 3, 0);
    rgb[0] = 255;
    rgb[1] = 128;
    rgb[2] = 3;
    write("shading.ppm", ppm(N, N, rgb));
    ASSERT_EQ(load(), 1);
    EXPECT_EQ(terrain->shading[0], 127);
    EXPECT_EQ(terrain->shading[1], 64);
    EXPECT_EQ(terrain->shading[2], 1);
    free_terrain(terrain.get());

    // The over-bright file is taken as it stands and wins over shading.ppm.
    write("shadingx2.ppm", ppm(N, N, rgb));
    ASSERT_EQ(load(), 1);
    EXPECT_EQ(terrain->shading[0], 255);
    EXPECT_EQ(terrain->shading[1], 128);
    free_terrain(terrain.get());

    // Without shading.ppm the over-bright file alone is enough.
    remove("shading.ppm");
    EXPECT_EQ(load(), 1);
}

TEST_F(TerrainTest, ShadingMustMatchTheGrid)
{
    struct Case {
        const char* file;
        std::string bytes;
        const char* message;
    };
    const Case cases[] = {
        {"shading.ppm", ppm(4, 5, std::vector<unsigned char>(60)), "Bad shading dimensions (4x5)"},
        {"shading.ppm", ppm(5, 6, std::vector<unsigned char>(90)), "Bad shading dimensions (5x6)"},
        {"shadingx2.ppm", ppm(1, 1, {1, 2, 3}), "Bad shading dimensions (1x1)"},
        {"shading.ppm", "P6\n5", "Error reading shading"},
        {"shading.ppm", "not an image", "Error reading shading"},
        {"shadingx2.ppm", "", "Error reading shading"},
    };
    for (const Case& c : cases) {
        SetUp();
        write(c.file, c.bytes);
        SCOPED_TRACE(c.message);
        expect_failed_load({c.message});
        remove("shadingx2.ppm");
    }
}

TEST_F(TerrainTest, ShadowsAreTheInvertedLight)
{
    ASSERT_EQ(load(), 1);
    for (int k = 0; k < N * N; k++)
        ASSERT_EQ(terrain->shadow[k], 0) << k;
    free_terrain(terrain.get());

    std::vector<unsigned char> light(N * N, 255);
    light[0] = 0;
    light[7] = 55;
    write("shadows.pgm", pgm(N, N, light));
    ASSERT_EQ(load(), 1);
    EXPECT_EQ(terrain->shadow[0], 255);
    EXPECT_EQ(terrain->shadow[7], 200);
    EXPECT_EQ(terrain->shadow[8], 0);
}

TEST_F(TerrainTest, ShadowsOfTheWrongSizeFailTheLoad)
{
    write("shadows.pgm", pgm(3, 3, std::vector<unsigned char>(9)));
    expect_failed_load({});
    EXPECT_NE(read_file(home.log_file()).find("Bad shadow dimensions (3x3)\n"), std::string::npos);

    clear_message_log();
    write("shadows.pgm", "P5 garbage");
    expect_failed_load({"Error reading shadows"});
}

class SavedTerrainTest : public TerrainTest {};

TEST_F(SavedTerrainTest, SaveThenLoadGivesTheSameField)
{
    std::vector<unsigned char> rgb(N * N * 3, 100);
    rgb[0] = 127;
    rgb[1] = 128;
    rgb[2] = 255;
    write("shadingx2.ppm", ppm(N, N, rgb));
    ASSERT_EQ(load(), 1);
    terrain->heights[6] = -12.5f; // an editor change below the old minimum
    std::vector<float> heights(terrain->heights, terrain->heights + N * N);
    std::vector<unsigned char> shading(terrain->shading, terrain->shading + N * N * 3);
    ASSERT_EQ(save_terrain(terrain.get()), 1);
    EXPECT_FLOAT_EQ(terrain->min_height, -12.5f);
    EXPECT_FLOAT_EQ(terrain->max_height, 100);

    // The copy goes to the home folder and holds only the header line.
    EXPECT_EQ(read_file(home.home("t/terrain.hf")), "1 2.000000 -12.500000 100.000000\n");
    std::string full = read_file(home.home("t/shading.ppm"));
    ASSERT_EQ(full.size(), 11 + size_t(N * N * 3));
    EXPECT_EQ(full.substr(0, 11), "P6\n5 5\n255\n");
    EXPECT_EQ((unsigned char)full[11], 254);
    EXPECT_EQ((unsigned char)full[12], 255);
    EXPECT_EQ((unsigned char)full[13], 255);
    EXPECT_EQ((unsigned char)full[14], 200);
    EXPECT_EQ(read_file(home.home("t/shadingx2.ppm")), ppm(N, N, rgb));
    EXPECT_EQ(read_file(home.home("t/tilemap")), std::string("\0\1\2\2", 4));

    free_terrain(terrain.get());
    ASSERT_EQ(load(), 1);
    const float step = (100 + 12.5f) / 65535;
    for (int k = 0; k < N * N; k++)
        EXPECT_NEAR(terrain->heights[k], heights[k], step) << k;
    EXPECT_EQ(std::vector<unsigned char>(terrain->shading, terrain->shading + N * N * 3), shading);
    EXPECT_EQ(terrain->tile_map[3], 2);
}

TEST_F(SavedTerrainTest, LevelFieldSavesWithoutARange)
{
    write("terrain.hf", hf_inline(1, 2, 7, 7, std::vector<uint16_t>(N * N, 0)));
    ASSERT_EQ(load(), 1);
    ASSERT_EQ(save_terrain(terrain.get()), 1);
    free_terrain(terrain.get());
    ASSERT_EQ(load(), 1);
    for (int k = 0; k < N * N; k++)
        EXPECT_FLOAT_EQ(terrain->heights[k], 7) << k;
}

TEST_F(SavedTerrainTest, FileThatCannotBeCreatedStopsTheSave)
{
    ASSERT_EQ(load(), 1);
    clear_message_log();
    // A plain file where the home copy of the track folder should be, and a
    // folder in place of the data folder's file (the data layer writes there
    // when the home folder refuses): nothing can be created.
    write_file(home.home("t"), "in the way");
    remove("terrain.hf");
    std::filesystem::create_directories(home.data("t/terrain.hf"));
    EXPECT_EQ(save_terrain(terrain.get()), 0);
    EXPECT_EQ(posted_messages(), std::vector<std::string>{"Can't open 'terrain.hf'"});

    // A folder in place of one file stops the save at that file.
    std::filesystem::remove(home.home("t"));
    std::filesystem::create_directories(home.home("t/shading.ppm"));
    remove("shading.ppm");
    std::filesystem::create_directories(home.data("t/shading.ppm"));
    clear_message_log();
    EXPECT_EQ(save_terrain(terrain.get()), 0);
    EXPECT_EQ(posted_messages(), std::vector<std::string>{"Can't open 'shading.ppm'"});
    EXPECT_FALSE(file_exists(home.home("t/tilemap")));
}

TEST(TrackFile, OpensFolderAndNameAndReportsMandatoryFiles)
{
    TestHome home;
    clear_message_log();
    write_file(home.data("t/desc"), "Hill\n");
    DataStream* stream = open_track_file("@t", "desc", "rb", true);
    ASSERT_NE(stream, nullptr);
    char line[16];
    EXPECT_STREQ(data_gets(stream, line, sizeof line), "Hill\n");
    data_close(stream);

    EXPECT_EQ(open_track_file("@t", "lighting", "rb", false), nullptr);
    EXPECT_TRUE(posted_messages().empty());
    EXPECT_EQ(open_track_file("@t", "tilemap", "rb", true), nullptr);
    EXPECT_EQ(posted_messages(), std::vector<std::string>{"Can't open '@t/tilemap'"});
}

} // namespace
