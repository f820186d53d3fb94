// The texture manager against a real GL context (llvmpipe through SDL's
// offscreen driver): what reaches GL is read back from the texture objects.
#include "assets/image.h"
#include "assets/texture.h"
#include "base/launch.h"
#include "data/home.h"
#include "data/stream.h"
#include "koru/window.h"
#include "support/fixture.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// A binary PPM whose pixel (x, y) is (x, y, x + y) in the low 8 bits: every
// level of its chain is distinct.
std::string gradient_ppm(int w, int h)
{
    std::string s = "P6 " + std::to_string(w) + " " + std::to_string(h) + " 255\n";
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            s += char(x & 255);
            s += char(y & 255);
            s += char((x + y) & 255);
        }
    return s;
}

// A K7 picture of one colour: the first pixel's difference is the colour and
// every later prediction repeats its neighbours.
std::string solid_k7(int w, int h, unsigned char r, unsigned char g, unsigned char b, unsigned char a)
{
    std::string s = "K7 " + std::to_string(w) + " " + std::to_string(h) + "\n";
    s += char(r);
    s += char(g);
    s += char(b);
    s += char(a);
    s += std::string(size_t(w * h - 1) * 4, '\0');
    return s;
}

std::string solid_ppm(int w, int h, unsigned char r, unsigned char g, unsigned char b)
{
    std::string s = "P6 " + std::to_string(w) + " " + std::to_string(h) + " 255\n";
    for (int i = 0; i < w * h; i++) {
        s += char(r);
        s += char(g);
        s += char(b);
    }
    return s;
}

// The chain the image readers make of a file's bytes.
Bytes chain_of(const std::string& file)
{
    DataStream* stream = data_open_memory(file.data(), file.size());
    ImageChain image{};
    EXPECT_TRUE(read_rgb_image(stream, &image));
    data_close(stream);
    Bytes chain(image.pixels, image.pixels + image_chain_size(image.width, image.height, image.channels));
    std::free(image.pixels);
    return chain;
}

TEST(TextureHeadless, NoContextMeansNoTextureAndNoGl)
{
    TestHome home;
    write_file(home.data("a.png"), solid_ppm(4, 4, 1, 2, 3));
    ASSERT_FALSE(koru_gl_context_current());
    EXPECT_EQ(load_texture("@a.png"), 0u);
    EXPECT_EQ(load_texture("!@a.png"), 0u);
    EXPECT_EQ(texture_count(), 0);
    const unsigned char pixel[3] = {1, 2, 3};
    EXPECT_EQ(upload_levels(pixel, 1, 1, 3, false, false), 0u);
    release_unused_textures();
    update_animated_textures(10);
    EXPECT_EQ(texture_memory_used, 0);
}

TEST(TextureNames, RepeatFlagsComeFromTheName)
{
    struct Case {
        const char* name;
        bool s, t;
    } const cases[] = {
        {"@fence-hrepeat.png", true, false}, {"@wall-vrepeat.ppm", false, true}, {"@mud-repeat.png", true, true},
        {"@plain.png", false, false},        {"@hrepeat.png", false, false}, // no dash before it
        {"@mud-repeat", false, false},        // the dot belongs to the marker
    };
    for (const Case& c : cases) {
        bool s = !c.s, t = !c.t;
        texture_repeat_flags(c.name, &s, &t);
        EXPECT_EQ(s, c.s) << c.name;
        EXPECT_EQ(t, c.t) << c.name;
    }
}

TEST(TextureBorder, CommonestEdgeColourWithoutAlpha)
{
    // 3 x 3 with the centre left out of the count.
    auto picture = [](unsigned char edge_r, unsigned char centre_r) {
        Bytes p(27, 0);
        for (int i = 0; i < 9; i++)
            p[size_t(i) * 3] = i == 4 ? centre_r : edge_r;
        return p;
    };
    float colour[4] = {9, 9, 9, 9};
    texture_border_colour(picture(255, 0).data(), 3, 3, 3, colour);
    EXPECT_EQ(colour[0], 1.0f);
    EXPECT_EQ(colour[1], 0.0f);
    EXPECT_EQ(colour[3], 0.0f);
    texture_border_colour(picture(0, 255).data(), 3, 3, 3, colour);
    EXPECT_EQ(colour[0], 0.0f);
    // 146 quantises to 146 * 7 / 255 = 4 of 7.
    texture_border_colour(picture(146, 0).data(), 3, 3, 3, colour);
    EXPECT_FLOAT_EQ(colour[0], 4 / 7.0f);

    // A 2 x 1 picture split evenly: the darker bin wins the tie.
    const Bytes split = {255, 255, 255, 0, 0, 255};
    texture_border_colour(split.data(), 2, 1, 3, colour);
    EXPECT_EQ(colour[0], 0.0f);
    EXPECT_EQ(colour[2], 1.0f);

    const Bytes rgba(16, 200);
    texture_border_colour(rgba.data(), 2, 2, 4, colour);
    EXPECT_EQ(colour[0] + colour[1] + colour[2] + colour[3], 0.0f);
}

TEST(TextureAnimation, StepsByTicksWithAndWithoutLoop)
{
    int32_t frames[3] = {0, 1, 2};
    AnimatedTexture a{};
    a.frame_count = 3;
    a.frames = frames;
    a.ticks_per_frame = 4;
    a.start = 100;
    struct Case {
        int loop;
        int32_t now;
        int32_t image;
    } const cases[] = {
        {1, 100, 0}, {1, 105, 1}, {1, 111, 2}, {1, 112, 0}, {1, 90, 0}, // before the start: the first
        {0, 105, 1}, {0, 108, 2}, {0, 500, 2},
    };
    for (const Case& c : cases) {
        a.loop = c.loop;
        EXPECT_EQ(animation_image_at(a, c.now), c.image) << c.loop << " " << c.now;
    }
    // Zero ticks per step would divide by zero: it steps every frame instead.
    a.ticks_per_frame = 0;
    a.loop = 1;
    EXPECT_EQ(animation_image_at(a, 104), 1);
}

struct TextureTest : ::testing::Test {
    TestHome home;
    KoruWindow* window = nullptr;
    LaunchSettings saved = launch;

    static void SetUpTestSuite() { setenv("SDL_VIDEODRIVER", "offscreen", 1); }
    void SetUp() override
    {
        texture_reset();
        texture_caps = TextureCaps{false, 1, false};
        window = koru_open_gl_window("test", 64, 64, 24, 0, 16, 0, 0);
        ASSERT_NE(window, nullptr) << read_file(home.log_file());
    }
    void TearDown() override
    {
        texture_reset();
        launch = saved;
        if (window)
            koru_close_window(window);
    }
    void put(const std::string& name, const std::string& bytes)
    {
        write_file(home.data(name), bytes);
        data_reset(); // the data index is built once; files written later need a fresh one
    }
    std::string log() { return read_file(home.log_file()); }

    static GLint level_parameter(uint32_t id, int level, GLenum what)
    {
        GLint value = -1;
        glBindTexture(GL_TEXTURE_2D, id);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, what, &value);
        glBindTexture(GL_TEXTURE_2D, 0);
        return value;
    }
    static GLint parameter(uint32_t id, GLenum what)
    {
        GLint value = -1;
        glBindTexture(GL_TEXTURE_2D, id);
        glGetTexParameteriv(GL_TEXTURE_2D, what, &value);
        glBindTexture(GL_TEXTURE_2D, 0);
        return value;
    }
    static Bytes texels(uint32_t id, int level, int channels)
    {
        const GLint w = level_parameter(id, level, GL_TEXTURE_WIDTH);
        const GLint h = level_parameter(id, level, GL_TEXTURE_HEIGHT);
        Bytes out(size_t(w) * size_t(h) * size_t(channels));
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glBindTexture(GL_TEXTURE_2D, id);
        glGetTexImage(GL_TEXTURE_2D, level, channels == 4 ? GL_RGBA : GL_RGB, GL_UNSIGNED_BYTE, out.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        return out;
    }
};

TEST_F(TextureTest, OneTexturePerNameWhateverTheCaseOrFullResolutionMark)
{
    put("a.png", solid_ppm(4, 4, 10, 20, 30));
    const uint32_t id = load_texture("@a.png");
    ASSERT_NE(id, 0u) << log();
    const int32_t memory = texture_memory_used;
    EXPECT_EQ(memory, int32_t(image_chain_size(4, 4, 3)));
    EXPECT_EQ(load_texture("@a.png"), id);
    EXPECT_EQ(load_texture("!@a.png"), id);
    EXPECT_EQ(log().find("case mismatch"), std::string::npos);
    EXPECT_EQ(load_texture("@A.png"), id);
    EXPECT_NE(log().find("Warning: case mismatch on '@A.png'"), std::string::npos) << log();
    EXPECT_EQ(texture_count(), 1); // uploaded once
    EXPECT_EQ(texture_memory_used, memory);
    ASSERT_NE(texture_name(id), nullptr);
    EXPECT_STREQ(texture_name(id), "@a.png");
    EXPECT_EQ(texture_name(id + 1000), nullptr);

    // The "!" is not part of the stored name.
    put("b.png", solid_ppm(4, 4, 1, 1, 1));
    const uint32_t b = load_texture("!@b.png");
    EXPECT_STREQ(texture_name(b), "@b.png");
    EXPECT_EQ(load_texture("@b.png"), b);
}

TEST_F(TextureTest, DetailSettingDropsTopLevelsDownTo128)
{
    launch.texture_skip_levels = 2;
    struct Case {
        const char* file;
        const char* request;
        int w, h;
        int uploaded_w, uploaded_h;
    } const cases[] = {
        {"big.png", "@big.png", 512, 512, 128, 128},
        {"flat.png", "@flat.png", 256, 128, 256, 128},     // shorter side already 128
        {"wide.png", "@wide.png", 1024, 256, 512, 128},    // one level, then the short side stops it
        {"full.png", "!@full.png", 512, 512, 512, 512},    // "!" keeps every level
        {"small.png", "@small.png", 64, 64, 64, 64},
    };
    for (const Case& c : cases) {
        const std::string file = gradient_ppm(c.w, c.h);
        put(c.file, file);
        const int32_t before = texture_memory_used;
        const uint32_t id = load_texture(c.request);
        ASSERT_NE(id, 0u) << c.file;
        EXPECT_EQ(level_parameter(id, 0, GL_TEXTURE_WIDTH), c.uploaded_w) << c.file;
        EXPECT_EQ(level_parameter(id, 0, GL_TEXTURE_HEIGHT), c.uploaded_h) << c.file;
        const size_t bytes = image_chain_size(c.uploaded_w, c.uploaded_h, 3);
        EXPECT_EQ(texture_memory_used - before, int32_t(bytes)) << c.file;
        EXPECT_EQ(texture_record(texture_count() - 1)->bytes, int32_t(bytes)) << c.file;
        // Level 0 in GL is the reader's level of that size, not a resampling.
        const Bytes chain = chain_of(file);
        const Bytes top = texels(id, 0, 3);
        const Bytes tail(chain.end() - long(bytes), chain.end() - long(bytes) + long(top.size()));
        EXPECT_TRUE(top == tail) << c.file;
    }
}

TEST_F(TextureTest, OddSizesArePaddedToPowersOfTwoWithAWarning)
{
    const std::string file = gradient_ppm(100, 50);
    put("odd.png", file);
    const uint32_t id = load_texture("@odd.png");
    ASSERT_NE(id, 0u);
    EXPECT_EQ(level_parameter(id, 0, GL_TEXTURE_WIDTH), 128);
    EXPECT_EQ(level_parameter(id, 0, GL_TEXTURE_HEIGHT), 64);
    EXPECT_EQ(level_parameter(id, 7, GL_TEXTURE_WIDTH), 1); // the chain runs down to 1 x 1
    EXPECT_NE(log().find("Warning: Non power of 2 texture '@odd.png'"), std::string::npos) << log();
    EXPECT_EQ(texture_memory_used, int32_t(image_chain_size(128, 64, 3)));
    // Nearest sampling: texel (x, y) is pixel (x * 100 / 128, y * 50 / 64).
    const Bytes top = texels(id, 0, 3);
    const Bytes source = chain_of(file);
    bool same = true;
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 128; x++)
            for (int c = 0; c < 3; c++)
                same = same && top[size_t(y * 128 + x) * 3 + c] == source[size_t((y * 50 / 64) * 100 + x * 100 / 128) * 3 + c];
    EXPECT_TRUE(same);

    put("even.png", gradient_ppm(64, 32));
    ASSERT_NE(load_texture("@even.png"), 0u);
    EXPECT_EQ(log().find("'@even.png'"), std::string::npos);
}

TEST_F(TextureTest, NarrowChainGoesDownToOneTexel)
{
    put("thin.png", gradient_ppm(2, 8));
    const uint32_t id = load_texture("@thin.png");
    ASSERT_NE(id, 0u);
    const int sizes[4][2] = {{2, 8}, {1, 4}, {1, 2}, {1, 1}};
    for (int level = 0; level < 4; level++) {
        EXPECT_EQ(level_parameter(id, level, GL_TEXTURE_WIDTH), sizes[level][0]) << level;
        EXPECT_EQ(level_parameter(id, level, GL_TEXTURE_HEIGHT), sizes[level][1]) << level;
    }
    EXPECT_EQ(texture_memory_used, (16 + 4 + 2 + 1) * 3);
    // Each level holds its own part of the chain (rows of odd byte counts
    // read whatever the unpack alignment was).
    const Bytes chain = chain_of(gradient_ppm(2, 8));
    EXPECT_TRUE(texels(id, 1, 3) == Bytes(chain.begin() + 48, chain.begin() + 60));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureTest, WrapAndFilterFollowTheName)
{
    struct Case {
        const char* name;
        GLint s, t;
    } const cases[] = {
        {"fence-hrepeat.png", GL_REPEAT, GL_CLAMP_TO_EDGE},
        {"wall-vrepeat.png", GL_CLAMP_TO_EDGE, GL_REPEAT},
        {"mud-repeat.png", GL_REPEAT, GL_REPEAT},
        {"sign.png", GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE},
    };
    for (const Case& c : cases) {
        put(c.name, solid_ppm(4, 4, 7, 7, 7));
        const uint32_t id = load_texture((std::string("@") + c.name).c_str());
        ASSERT_NE(id, 0u) << c.name;
        EXPECT_EQ(parameter(id, GL_TEXTURE_WRAP_S), c.s) << c.name;
        EXPECT_EQ(parameter(id, GL_TEXTURE_WRAP_T), c.t) << c.name;
        // llvmpipe clamps to the edge, so the linear filter stays.
        EXPECT_EQ(parameter(id, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_NEAREST) << c.name;
        EXPECT_EQ(parameter(id, GL_TEXTURE_MAG_FILTER), GL_LINEAR) << c.name;
    }

    // The border colour is the edge's commonest colour for RGB pictures.
    put("blue.png", solid_ppm(4, 4, 0, 0, 255));
    const uint32_t blue = load_texture("@blue.png");
    float border[4] = {};
    glBindTexture(GL_TEXTURE_2D, blue);
    glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, border);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(border[0], 0.0f);
    EXPECT_EQ(border[2], 1.0f);
    EXPECT_EQ(border[3], 0.0f);
}

TEST_F(TextureTest, FirstWordPicksTheReader)
{
    const Bytes rgb = {9, 8, 7, 9, 8, 7, 9, 8, 7, 9, 8, 7};
    ASSERT_TRUE(write_png_rgb(home.data("real.png").c_str(), rgb.data(), 2, 2));
    struct Case {
        const char* file;
        std::string bytes; // empty: written already
        bool loads;
        GLint channels;
        unsigned char first_red;
    } const cases[] = {
        {"k7.png", solid_k7(2, 2, 50, 60, 70, 80), true, 4, 50},
        {"k6.png", "K6 2 2\n" + std::string("\x33\x00\x00", 3) + std::string(9, '\0'), true, 3, 0x33},
        {"p3.png", "P3 1 1 255\n40 41 42\n", true, 3, 40},
        {"p6.png", solid_ppm(2, 2, 60, 0, 0), true, 3, 60},
        {"real.png", "", true, 3, 9},        // an unknown first word: read as PNG
        {"junk.png", "hello world\n", false, 0, 0},
        {"broken.png", "P6 2 2 255\n\x01", false, 0, 0}, // a failed reader falls back to PNG, which fails too
        {"empty.png", "", false, 0, 0},
    };
    for (const Case& c : cases) {
        if (!c.bytes.empty() || std::string(c.file) == "empty.png")
            write_file(home.data(c.file), c.bytes);
    }
    data_reset();
    for (const Case& c : cases) {
        const uint32_t id = load_texture((std::string("@") + c.file).c_str());
        EXPECT_EQ(id != 0, c.loads) << c.file;
        if (!id)
            continue;
        const GLint format = level_parameter(id, 0, GL_TEXTURE_INTERNAL_FORMAT);
        EXPECT_EQ(format == GL_RGBA || format == 4, c.channels == 4) << c.file << " " << format;
        EXPECT_EQ(texels(id, 0, c.channels)[0], c.first_red) << c.file;
    }
    EXPECT_EQ(texture_count(), 5);
    EXPECT_EQ(log().find("Can't open texture"), std::string::npos);

    launch.debug_level = 1;
    EXPECT_EQ(load_texture("@missing.png"), 0u);
    EXPECT_NE(log().find("Can't open texture \"@missing.png\""), std::string::npos) << log();
}

TEST_F(TextureTest, SequencesPlayTheirFramesIntoOneTexture)
{
    const std::string seq = "ANIM1\n3 3 4 1\n0 1 2\n" + solid_k7(2, 2, 10, 0, 0, 255) + "\n" +
                            solid_k7(2, 2, 20, 0, 0, 255) + "\n" + solid_k7(2, 2, 30, 0, 0, 255);
    put("flag.seq", seq);
    const int32_t before = texture_memory_used;
    const uint32_t id = load_texture("@flag.seq");
    ASSERT_NE(id, 0u) << log();
    ASSERT_EQ(animation_count(), 1);
    const AnimatedTexture* a = animation_record(0);
    EXPECT_EQ(a->id, id);
    EXPECT_EQ(a->frame_count, 3);
    EXPECT_EQ(a->image_count, 3);
    EXPECT_EQ(a->ticks_per_frame, 4);
    EXPECT_EQ(a->shown_image, 0);
    EXPECT_EQ(a->stopped, 0);
    EXPECT_EQ(texture_memory_used - before, int32_t(image_chain_size(2, 2, 4)));
    EXPECT_EQ(texture_count(), 1);
    EXPECT_EQ(texels(id, 0, 4)[0], 10);

    start_texture_animation(id, 100);
    struct Step {
        int32_t now;
        unsigned char red;
    } const steps[] = {{101, 10}, {105, 20}, {109, 30}, {112, 10}};
    for (const Step& s : steps) {
        update_animated_textures(s.now);
        EXPECT_EQ(texels(id, 0, 4)[0], s.red) << s.now;
        EXPECT_EQ(texels(id, 1, 4)[0], s.red) << s.now; // the reduced levels follow
    }
    stop_texture_animation(id);
    update_animated_textures(105);
    EXPECT_EQ(texels(id, 0, 4)[0], 10);
    start_texture_animation(id + 99, 0); // no animation: nothing happens
    stop_texture_animation(id + 99);

    // Frames named by file, with blanks around the name.
    ASSERT_TRUE(write_png_rgb(home.data("frames/a.png").c_str(), Bytes(12, 40).data(), 2, 2));
    ASSERT_TRUE(write_png_rgb(home.data("frames/b.png").c_str(), Bytes(12, 80).data(), 2, 2));
    put("blink.seq", "ANIM1 2 2 1 0\n1 0\nPNG   @frames/a.png  \nPNG @frames/b.png\n");
    const uint32_t blink = load_texture("@blink.seq");
    ASSERT_NE(blink, 0u) << log();
    EXPECT_EQ(animation_record(1)->shown_image, 1);
    EXPECT_EQ(texels(blink, 0, 3)[0], 80);
    EXPECT_EQ(log().find("Non power of 2"), std::string::npos);
}

TEST_F(TextureTest, BrokenSequencesAreDropped)
{
    ASSERT_TRUE(write_png_rgb(home.data("frames/rgb.png").c_str(), Bytes(12, 40).data(), 2, 2));
    const std::string red = solid_k7(2, 2, 255, 0, 0, 255);
    struct Case {
        const char* name;
        std::string bytes;
        const char* logged; // null: dropped without a message
    } const cases[] = {
        {"size", "ANIM1 2 2 1 1 0 1\n" + red + "\n" + solid_k7(4, 2, 0, 0, 0, 0), "Width/height mismatch reading .seq"},
        {"depth", "ANIM1 2 2 1 1 0 1\n" + red + "\nPNG @frames/rgb.png\n", "Depth mismatch reading .seq"},
        {"word", "ANIM1 2 2 1 1 0 1\n" + red + "\nGIF x.gif\n", "Error reading .seq frame 1"},
        {"inline", "ANIM1 1 1 1 1 0\nK7 2 2\n\x01\x02", "Error reading .seq frame 0"},
        {"missing", "ANIM1 1 1 1 1 0\nPNG @frames/none.png\n", "Can't read @frames/none.png"},
        {"eof", "ANIM1 1 1 1 1 0\nPNG", "EOF while reading .seq"},
        {"index", "ANIM1 2 1 1 1 0 3\n" + red, "Bad image 3 in .seq step 1"},
        {"steps", "ANIM1 3 1 1 1 0 0\n", nullptr},
        {"header", "ANIM1 0 1 1 1\n" + red, nullptr}, // no frames: not a sequence, and no PNG either
        {"short", "ANIM1 1 1\n", nullptr},
    };
    for (const Case& c : cases)
        write_file(home.data(std::string(c.name) + ".seq"), c.bytes);
    data_reset();
    for (const Case& c : cases) {
        EXPECT_EQ(load_texture((std::string("@") + c.name + ".seq").c_str()), 0u) << c.name;
        if (c.logged) {
            EXPECT_NE(log().find(c.logged), std::string::npos) << c.name << "\n" << log();
        }
    }
    EXPECT_EQ(texture_count(), 0);
    EXPECT_EQ(animation_count(), 0);
}

TEST_F(TextureTest, ChangeOfGenerationReleasesWhatTheOldTrackUsed)
{
    launch.debug_level = 1;
    for (const char* name : {"hud.png", "old.png", "both.png", "new.png"})
        write_file(home.data(name), solid_ppm(4, 4, 1, 2, 3));
    write_file(home.data("water.seq"), "ANIM1 1 1 1 1 0\n" + solid_k7(2, 2, 1, 1, 1, 1));
    data_reset();
    const int32_t small = int32_t(image_chain_size(4, 4, 3));

    const uint32_t hud = load_texture("!@hud.png"); // start-up: generation 0
    texture_generation = 1;
    texture_memory_used = 0;
    const uint32_t old_texture = load_texture("@old.png");
    const uint32_t both = load_texture("@both.png");
    const uint32_t water = load_texture("@water.seq");
    ASSERT_TRUE(hud && old_texture && both && water);
    EXPECT_EQ(texture_memory_used, 2 * small + int32_t(image_chain_size(2, 2, 4)));

    // The next track: the session asks again for what it keeps.
    texture_generation = 2;
    texture_memory_used = 0;
    EXPECT_EQ(load_texture("@both.png"), both);
    EXPECT_EQ(texture_memory_used, small);
    EXPECT_EQ(load_texture("@hud.png"), hud); // permanent: not counted again
    EXPECT_EQ(texture_memory_used, small);
    const uint32_t fresh = load_texture("@new.png");
    EXPECT_EQ(texture_memory_used, 2 * small);
    release_unused_textures();

    ASSERT_EQ(texture_count(), 3);
    EXPECT_EQ(texture_record(0)->id, hud); // load order kept
    EXPECT_EQ(texture_record(1)->id, both);
    EXPECT_EQ(texture_record(2)->id, fresh);
    EXPECT_EQ(texture_record(0)->generation, 0);
    EXPECT_EQ(texture_record(1)->generation, 2);
    EXPECT_FALSE(glIsTexture(old_texture));
    EXPECT_FALSE(glIsTexture(water));
    EXPECT_TRUE(glIsTexture(hud));
    EXPECT_EQ(texture_name(old_texture), nullptr);
    EXPECT_EQ(animation_count(), 0);
    const std::string text = log();
    EXPECT_NE(text.find("deleting tid " + std::to_string(old_texture) + " (@old.png)"), std::string::npos) << text;
    EXPECT_NE(text.find("deleting anim 0 for tid " + std::to_string(water)), std::string::npos) << text;

    // Nothing older left: a second pass keeps everything.
    release_unused_textures();
    EXPECT_EQ(texture_count(), 3);
}

TEST_F(TextureTest, CompanionMapsFromTheTextureOrItsFallback)
{
    put("bike_norm.png", solid_ppm(2, 2, 128, 128, 255));
    put("bike_norm.ppm", solid_ppm(2, 2, 1, 1, 1));
    put("rider-blue_norm.png", solid_ppm(2, 2, 2, 2, 2));
    put("rider-blue_spec.ppm", solid_ppm(2, 2, 3, 3, 3));
    const uint32_t own = find_normal_map("@bike.png", "@rider-blue.foo");
    ASSERT_NE(own, 0u);
    EXPECT_STREQ(texture_name(own), "@bike_norm.png"); // ".png" before ".ppm"
    const uint32_t fallback = find_normal_map("@rider-blue-x.png", "@rider-blue.foo");
    EXPECT_STREQ(texture_name(fallback), "@rider-blue_norm.png");
    const uint32_t specular = find_specular_map("@rider-blue-x.png", "@rider-blue.foo");
    EXPECT_STREQ(texture_name(specular), "@rider-blue_spec.ppm");
    EXPECT_EQ(find_specular_map("@bike.png", nullptr), 0u);
    EXPECT_EQ(find_normal_map("@bike", "@nothing"), 0u); // names without a "." are skipped

    // Shaders that cannot sample enough units get no maps at all.
    texture_caps = TextureCaps{true, 2, false};
    EXPECT_EQ(find_normal_map("@bike.png", nullptr), own);
    EXPECT_EQ(find_specular_map("@rider-blue-x.png", "@rider-blue.foo"), 0u);
    texture_caps = TextureCaps{true, 1, false};
    EXPECT_EQ(find_normal_map("@bike.png", nullptr), 0u);
    texture_caps = TextureCaps{true, 3, false};
    EXPECT_EQ(find_specular_map("@rider-blue-x.png", "@rider-blue.foo"), specular);
}

} // namespace
