// Fonts: cells marked out in the picture, measuring, number painting and, on
// SDL's offscreen driver, the drawn text and the number-plate textures.
#include "assets/font.h"
#include "assets/image.h"
#include "assets/texture.h"
#include "data/home.h"
#include "koru/window.h"
#include "support/fixture.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Pixel = std::vector<int>; // r, g, b, a

// An RGBA picture filled with one colour, with marker pixels to set.
struct Picture {
    int width, height;
    std::vector<unsigned char> rgba;
    Picture(int w, int h, Pixel fill) : width(w), height(h), rgba(size_t(w) * size_t(h) * 4)
    {
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                set(x, y, fill);
    }
    void set(int x, int y, const Pixel& p)
    {
        for (int j = 0; j < 4; j++)
            rgba[(size_t(y) * size_t(width) + size_t(x)) * 4 + size_t(j)] = (unsigned char)p[size_t(j)];
    }
    void save(const std::string& path) const
    {
        write_file(path, ""); // makes the folders
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        image.width = png_uint_32(width);
        image.height = png_uint_32(height);
        image.format = PNG_FORMAT_RGBA;
        ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr)) << path;
    }
};

const Pixel marker = {255, 0, 255, 255};
const Pixel white = {255, 255, 255, 255};
const Pixel invisible = {255, 255, 255, 0};

// 100 x 32: row 0 marks cells at 0, 10 and 30; row 16 starts a second band
// with cells at 0 and 50.
Picture two_band_font()
{
    Picture p(100, 32, white);
    for (int x : {0, 10, 30})
        p.set(x, 0, marker);
    p.set(0, 16, marker);
    p.set(50, 16, marker);
    return p;
}

// Ten digit cells of w x h, each drawn in the colour, marked in row 0.
Picture digit_font(int w, int h, const Pixel& colour)
{
    Picture p(10 * w, h, colour);
    for (int i = 0; i < 10; i++)
        p.set(i * w, 0, marker);
    return p;
}

Pixel font_pixel(const Font& font, int x, int y)
{
    const unsigned char* p = font.pixels + (size_t(y) * size_t(font.width) + size_t(x)) * 4;
    return {p[0], p[1], p[2], p[3]};
}

struct FontTest : ::testing::Test {
    TestHome home;
    void TearDown() override { free_fonts(); }
    void put(const std::string& name, const Picture& picture)
    {
        picture.save(home.data(name));
        data_reset();
    }
};

TEST_F(FontTest, CellsInReadingOrderThenAroundAgain)
{
    put("f.png", two_band_font());
    Font font{};
    ASSERT_TRUE(load_font(&font, "@f.png", "!-abcd"));
    EXPECT_EQ(font.width, 100);
    EXPECT_EQ(font.height, 32);
    struct Case {
        char c;
        float x0, y0, x1, y1;
    } cases[] = {
        {'!', 0, 0, 10, 16},  {'-', 10, 0, 30, 16},   {'a', 30, 0, 100, 16}, // the last cell of a band is used too
        {'b', 0, 16, 50, 32}, {'c', 50, 16, 100, 32}, {'d', 0, 0, 10, 16},   // after the last band: the first again
    };
    for (const Case& c : cases) {
        const float* cell = font.cells[(unsigned char)c.c];
        EXPECT_FLOAT_EQ(cell[0], c.x0 / 100) << c.c;
        EXPECT_FLOAT_EQ(cell[1], c.y0 / 32) << c.c;
        EXPECT_FLOAT_EQ(cell[2], c.x1 / 100) << c.c;
        EXPECT_FLOAT_EQ(cell[3], c.y1 / 32) << c.c;
        EXPECT_FLOAT_EQ(font.advance[(unsigned char)c.c], (c.x1 - c.x0) / (c.y1 - c.y0)) << c.c;
    }
    EXPECT_FLOAT_EQ(font.advance[(unsigned char)' '], 20.0f / 16) << "a space is as wide as '-'";
    const unsigned char outside = 0xe9;
    EXPECT_FLOAT_EQ(font.advance[outside], 2.0f / 3);
    EXPECT_FLOAT_EQ(font.cells[outside][2], 0);

    // The markers are gone, the glyphs stay.
    for (auto [x, y] : {std::pair{0, 0}, {10, 0}, {30, 0}, {0, 16}, {50, 16}})
        EXPECT_EQ(font_pixel(font, x, y), invisible) << x << "," << y;
    EXPECT_EQ(font_pixel(font, 5, 0), white);
    EXPECT_EQ(font_pixel(font, 50, 15), white);
    free_font(&font);
    EXPECT_EQ(font.pixels, nullptr);
    EXPECT_FLOAT_EQ(font.advance[(unsigned char)'!'], 2.0f / 3);
}

TEST_F(FontTest, UnreadablePictureLeavesAnEmptyFont)
{
    Font font{};
    EXPECT_FALSE(load_font(&font, "@missing.png", "0123456789"));
    EXPECT_EQ(font.pixels, nullptr);
    EXPECT_EQ(font.texture, 0u);
    EXPECT_FLOAT_EQ(font.advance[(unsigned char)'0'], 2.0f / 3);
    EXPECT_FLOAT_EQ(font.advance[(unsigned char)' '], 2.0f / 3);
}

TEST_F(FontTest, TextWidthOfTheLastLineWithTabStops)
{
    put("f.png", two_band_font());
    ASSERT_TRUE(load_font(&text_font, "@f.png", "!-abcd"));
    // '!' is 0.625 wide, a space 1.25, so tab stops lie every 10.
    struct Case {
        const char* text;
        float width;
    } cases[] = {
        {"", 0},
        {"!!", 1.25f},
        {"! !", 2.5f},
        {"\t", 10},
        {"\t\t", 20}, // a tab exactly on a stop moves on to the next
        {"!\t!", 10.625f},
        {"bbbb!\t", 20}, // 12.5 + 0.625 goes to 20
        {"!!!\nb", 3.125f},
        {"bbb\n", 0},
        {"bbb\r!", 0.625f},
        {"\xe9", 2.0f / 3},
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(text_width(c.text), c.width) << '"' << c.text << '"';
    EXPECT_FLOAT_EQ(text_width(nullptr), 0);
}

TEST_F(FontTest, ShippedFontsLoad)
{
    install_release(home.data());
    data_reset();
    load_fonts(); // without a context: measured, not uploaded
    EXPECT_EQ(text_font.texture, 0u);
    EXPECT_GT(text_font.width, 0);
    for (const char* name : {"@numbers.png", "@numbers-condensed.png"}) {
        Font font{};
        ASSERT_TRUE(load_font(&font, name, "0123456789")) << name;
        EXPECT_GT(font.cells[(unsigned char)'9'][2], font.cells[(unsigned char)'0'][0]) << name;
        free_font(&font);
    }
    EXPECT_NE(text_font.advance[(unsigned char)'W'], text_font.advance[(unsigned char)'i']);
    EXPECT_GT(number_font.advance[(unsigned char)'0'], condensed_number_font.advance[(unsigned char)'0']);
}

struct NumberFontTest : FontTest {
    static constexpr int target_w = 16, target_h = 16;
    const Pixel normal_colour = {200, 100, 50, 255};
    const Pixel condensed_colour = {0, 250, 0, 255};
    std::vector<unsigned char> target = std::vector<unsigned char>(size_t(target_w) * target_h * 4, 0);

    void load(bool with_condensed)
    {
        put("numbers.png", digit_font(6, 8, normal_colour));
        ASSERT_TRUE(load_font(&number_font, "@numbers.png", "0123456789"));
        if (with_condensed) {
            put("numbers-condensed.png", digit_font(3, 8, condensed_colour));
            ASSERT_TRUE(load_font(&condensed_number_font, "@numbers-condensed.png", "0123456789"));
        }
    }
    Pixel at(int x, int y) const
    {
        const unsigned char* p = target.data() + (size_t(y) * target_w + size_t(x)) * 4;
        return {p[0], p[1], p[2], p[3]};
    }
};

TEST_F(NumberFontTest, CentredWithCondensedDigitsWhenTooWide)
{
    load(true);
    struct Case {
        const char* text;
        int left;     // first painted column
        Pixel colour; // of the glyph body
    } cases[] = {
        {"1", 5, normal_colour}, // 16/2 - 6/2
        {"12", 2, normal_colour},
        {"123", -1, normal_colour},    // 18 wide: exactly 9/8 of 16, still the normal digits
        {"1234", 2, condensed_colour}, // 24 > 18: 12 wide condensed
    };
    for (const Case& c : cases) {
        std::fill(target.begin(), target.end(), 0);
        paint_number_text(target.data(), target_w, target_h, 1, 1, 1, 1, c.text);
        const int body = c.left + 1;                                 // column 0 of a cell holds its marker
        EXPECT_EQ(at(std::max(body, 1), 4 + 1), c.colour) << c.text; // top row 16/2 - 8/2 = 4
        EXPECT_EQ(at(std::max(body, 1), 3), (Pixel{0, 0, 0, 0})) << c.text << ": above the digits";
        EXPECT_EQ(at(std::max(body, 1), 12), (Pixel{0, 0, 0, 0})) << c.text << ": below the digits";
        if (c.left > 0) {
            EXPECT_EQ(at(c.left - 1, 6), (Pixel{0, 0, 0, 0})) << c.text << ": left of the text";
        }
    }
}

TEST_F(NumberFontTest, TooWideWithoutCondensedDigitsIsClipped)
{
    load(false);
    paint_number_text(target.data(), target_w, target_h, 1, 1, 1, 1, "1234567");
    // 42 wide from -13: the middle of the text lies on the plate.
    EXPECT_EQ(at(0, 6), normal_colour);
    EXPECT_EQ(at(15, 6), normal_colour);
}

TEST_F(NumberFontTest, BlendsByFontAlphaTimesAlpha)
{
    Picture half = digit_font(6, 8, {200, 100, 50, 128});
    put("numbers.png", half);
    ASSERT_TRUE(load_font(&number_font, "@numbers.png", "0123456789"));
    for (size_t i = 0; i < target.size(); i += 4) {
        target[i] = 10;
        target[i + 1] = 20;
        target[i + 2] = 30;
        target[i + 3] = 40;
    }
    paint_number_text(target.data(), target_w, target_h, 1, 0.5f, 0.25f, 0.5f, "0");
    // f = 128/255 x 0.5; colour = d (1 - f) + font x colour x f; alpha = f^2 + d (1 - f).
    EXPECT_EQ(at(7, 6), (Pixel{58, 28, 26, 46}));
    EXPECT_EQ(at(0, 6), (Pixel{10, 20, 30, 40})) << "outside the digit";
}

TEST_F(NumberFontTest, NothingWithoutTheDigitFontOrAContext)
{
    paint_number_text(target.data(), target_w, target_h, 1, 1, 1, 1, "12");
    EXPECT_EQ(target, std::vector<unsigned char>(target.size(), 0));
    load(true);
    ASSERT_FALSE(koru_gl_context_current());
    EXPECT_EQ(make_number_texture("12", 128, 128), 0u);
}

struct FontDrawTest : NumberFontTest {
    KoruWindow* window = nullptr;
    static void SetUpTestSuite() { setenv("SDL_VIDEODRIVER", "offscreen", 1); }
    void SetUp() override
    {
        texture_reset();
        window = koru_open_gl_window("test", 64, 64, 24, 0, 16, 0, 0);
        ASSERT_NE(window, nullptr) << read_file(home.log_file());
    }
    void TearDown() override
    {
        free_fonts();
        texture_reset();
        if (window)
            koru_close_window(window);
    }
    static Pixel screen(int x, int y)
    {
        unsigned char rgba[4] = {};
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        return {rgba[0], rgba[1], rgba[2]};
    }
};

TEST_F(FontDrawTest, LoadFontsUploadsOnlyTheTextFont)
{
    put("font.png", two_band_font());
    put("numbers.png", digit_font(6, 8, normal_colour));
    load_fonts();
    EXPECT_NE(text_font.texture, 0u);
    EXPECT_EQ(text_font.pixels, nullptr);
    EXPECT_NE(number_font.pixels, nullptr);
    EXPECT_EQ(number_font.texture, 0u);
    EXPECT_EQ(condensed_number_font.pixels, nullptr) << "missing: stays empty";
    EXPECT_FLOAT_EQ(text_font.advance[(unsigned char)'"'], 20.0f / 16) << "the second printable character";

    // One unit = 16 pixels: "!" covers x 0..10, y 0..16 (its marker column
    // and marker row stay transparent); the shadow lies one pixel right and
    // one down.
    glViewport(0, 0, 64, 64);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 64, 0, 64, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0, 16, 0);
    glScalef(16, 16, 1);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    draw_text_shadowed_white("!");
    EXPECT_EQ(screen(5, 24), (Pixel{255, 255, 255}));
    const Pixel shadow = screen(10, 20);
    EXPECT_EQ(shadow[0], 0);
    EXPECT_NEAR(shadow[2], 128, 2) << "black at half alpha over blue";
    EXPECT_EQ(screen(30, 24), (Pixel{0, 0, 255})) << "nothing beyond the text";
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(FontDrawTest, NumberTextureCountsItsMemoryAndKeepsItsEdgesEmpty)
{
    load(true);
    const int32_t before = texture_memory_used;
    const uint32_t texture = make_number_texture("1", 128, 128);
    ASSERT_NE(texture, 0u);
    EXPECT_EQ(size_t(texture_memory_used - before), image_chain_size(128, 128, 4));

    std::vector<unsigned char> texels(128 * 128 * 4);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    auto texel = [&](int x, int y) {
        const unsigned char* p = texels.data() + (size_t(y) * 128 + size_t(x)) * 4;
        return Pixel{p[0], p[1], p[2], p[3]};
    };
    // White paint over the font colour; the digit sits at 61..67 x 60..68.
    EXPECT_EQ(texel(63, 62), normal_colour);
    EXPECT_EQ(texel(10, 10), invisible);
    // Level 5 is 4 x 4: the digit shows only in its middle 2 x 2.
    std::vector<unsigned char> level5(4 * 4 * 4);
    glGetTexImage(GL_TEXTURE_2D, 5, GL_RGBA, GL_UNSIGNED_BYTE, level5.data());
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++) {
            const bool edge = x == 0 || y == 0 || x == 3 || y == 3;
            EXPECT_EQ(level5[size_t(y * 4 + x) * 4 + 3] == 0, edge) << x << "," << y;
        }
    glBindTexture(GL_TEXTURE_2D, 0);

    free_number_texture(texture);
    EXPECT_FALSE(glIsTexture(texture));
    EXPECT_EQ(texture_memory_used, before);
}

} // namespace
