// The ground's composite textures on SDL's offscreen display: the material
// tiles land where the tile map puts them, shaded, and the drawing emits
// its fans.
#include "base/message_log.h"
#include "koru/window.h"
#include "render/frame.h"
#include "render/gl_caps.h"
#include "render/scene.h"
#include "render/terrain_draw.h"
#include "data/config.h"
#include "data/home.h"
#include "support/fixture.h"
#include "track/terrain.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int m = 6;                     // the smallest field with a block texture
constexpr int tiles = 1 << m;            // 64
constexpr int samples = 2 * tiles + 1;   // 129

uint32_t solid_texture(unsigned char r, unsigned char g, unsigned char b)
{
    std::vector<unsigned char> pixels(16 * 16 * 3);
    for (size_t k = 0; k < pixels.size(); k += 3) {
        pixels[k] = r;
        pixels[k + 1] = g;
        pixels[k + 2] = b;
    }
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 16, 16, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return texture;
}

std::vector<unsigned char> read_texture(uint32_t texture, int size)
{
    std::vector<unsigned char> pixels(size_t(size) * size * 3);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

struct TerrainDrawTest : ::testing::TestWithParam<bool> {
    TestHome home;
    KoruWindow* window = nullptr;
    std::unique_ptr<Terrain> terrain = std::make_unique<Terrain>();

    static void SetUpTestSuite() { setenv("SDL_VIDEODRIVER", "offscreen", 1); }
    void SetUp() override
    {
        config_defaults();
        window = koru_open_gl_window("Dustline test", 320, 240, 24, 0, 16, 0, 0);
        ASSERT_NE(window, nullptr);
        ASSERT_NE(koru_begin_draw(window), nullptr);
        render_initial_state(false);
        probe_gl();
        ASSERT_TRUE(!GetParam() || gl_caps.have_fbo);
        terrain_draw_options = {GetParam(), false, true, 128, 0};
        install_terrain_drawing();

        // A level field; the shading stored at full light (255, halved to
        // 127 at load); three materials: the left half, the right half, and
        // a strip along the low-z edge of the left half.
        std::string hf = std::to_string(m) + " 0.5 0 10\n:" + std::string(size_t(samples) * samples * 2, '\0');
        write_file(home.data("flat/terrain.hf"), hf);
        write_file(home.data("flat/shading.ppm"),
                   "P6\n" + std::to_string(samples) + " " + std::to_string(samples) + "\n255\n" +
                       std::string(size_t(samples) * samples * 3, '\xff'));
        write_file(home.data("flat/tileinfo"), "addtile\naddtile\naddtile\n");
        std::string map(size_t(tiles) * tiles, '\0');
        for (int b = 0; b < tiles; b++)
            for (int a = 0; a < tiles; a++)
                map[size_t(b) * tiles + a] = char(a >= tiles / 2 ? 1 : b < 8 ? 2 : 0);
        write_file(home.data("flat/tilemap"), map);
        data_reset(); // index the folder just written
        ASSERT_EQ(load_terrain(terrain.get(), "@flat"), 1) << message_log.lines[0] << " / " << message_log.lines[1];
        ASSERT_GE(terrain->material_count, 3);
        terrain->materials[0].texture = solid_texture(255, 0, 0);
        terrain->materials[1].texture = solid_texture(0, 0, 255);
        terrain->materials[2].texture = solid_texture(0, 255, 0);
    }
    void TearDown() override
    {
        free_terrain(terrain.get());
        set_terrain_graphics_hooks({});
        koru_end_draw(window);
        koru_close_window(window);
    }
};

void expect_texel(const std::vector<unsigned char>& pixels, int size, int x, int y, int r, int g, int b)
{
    const unsigned char* p = &pixels[(size_t(y) * size + x) * 3];
    EXPECT_NEAR(p[0], r, 3) << x << "," << y;
    EXPECT_NEAR(p[1], g, 3) << x << "," << y;
    EXPECT_NEAR(p[2], b, 3) << x << "," << y;
}

// The scene with nothing but the ground.
void look_from(Terrain* terrain, const float eye[3], const float target[3])
{
    SceneContent content{};
    content.terrain = terrain;
    content.viewed_slot = -1;
    config.fov.value = 75;
    draw_look_at(content, eye, target, 320, 240);
}

TEST_P(TerrainDrawTest, CompositesHoldTheTilesWhereTheMapSays)
{
    // The camera over the left half, at a quarter of the field.
    float eye[3] = {16, 5, 40}, target[3] = {20, 0, 44};
    render_begin_frame(320, 240);
    look_from(terrain.get(), eye, target);

    // The one block covers the field, 2 texels a tile: x along world x, y
    // along world z. Stored light 127 doubled by the blend: 254 of 255.
    uint32_t block = terrain_block_texture(terrain.get(), 0, 0);
    ASSERT_NE(block, 0u);
    std::vector<unsigned char> pixels = read_texture(block, 128);
    expect_texel(pixels, 128, 20, 60, 254, 0, 0);  // left half
    expect_texel(pixels, 128, 100, 60, 0, 0, 254); // right half
    expect_texel(pixels, 128, 20, 5, 0, 254, 0);   // the strip at low z
    expect_texel(pixels, 128, 100, 5, 0, 0, 254);

    // One clipmap texture a frame: after enough frames the finest level
    // around the camera is ready, 64 texels a tile.
    for (int frame = 0; frame < 100; frame++)
        look_from(terrain.get(), eye, target);
    bool ready = false;
    int column = int(eye[0] / 1.0f), row = int(eye[2] / 1.0f); // tiles of 1 ft (spacing 0.5)
    uint32_t fine = terrain_clipmap_texture(terrain.get(), 1, column >> 1, row >> 1, &ready);
    ASSERT_NE(fine, 0u);
    EXPECT_TRUE(ready);
    pixels = read_texture(fine, 128);
    expect_texel(pixels, 128, 64, 64, 254, 0, 0);
    EXPECT_GT(terrain_draw_stats.ground_triangles, 0);
}

TEST_P(TerrainDrawTest, FreedFieldLeavesNoTextures)
{
    render_begin_frame(320, 240);
    float eye[3] = {30, 5, 30}, target[3] = {40, 0, 40};
    look_from(terrain.get(), eye, target);
    uint32_t block = terrain_block_texture(terrain.get(), 0, 0);
    ASSERT_TRUE(glIsTexture(block));
    free_terrain(terrain.get());
    EXPECT_EQ(terrain->graphics, nullptr);
    EXPECT_FALSE(glIsTexture(block));
}

// With framebuffer objects, and through the back buffer without them.
INSTANTIATE_TEST_SUITE_P(BothPaths, TerrainDrawTest, ::testing::Values(true, false));

} // namespace
