// The generated fonts, HUD pictures, title picture and engine-sound pipe
// files, read back from the release the way the game reads them.
#include "assets/image.h"
#include "data/config.h"
#include "data/home.h"
#include "data/stream.h"
#include "support/fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// The release copied into a fresh data folder, found through "@" names.
struct ReleaseHome {
    TestHome home;
    ReleaseHome()
    {
        for (const auto& entry : std::filesystem::directory_iterator(DL_BIN_DIR))
            if (entry.path().extension() == ".saf")
                write_file(home.data(entry.path().filename().string()), read_file(entry.path().string()));
        data_reset();
    }
};

struct Picture {
    ImageChain image{nullptr, 0, 0, 0};
    ~Picture() { std::free(image.pixels); }
    const unsigned char* at(int x, int y) const
    {
        return &image.pixels[(size_t(y) * image.width + x) * image.channels];
    }
    double luminance(int x, int y) const
    {
        const unsigned char* p = at(x, y);
        return (0.3 * p[0] + 0.59 * p[1] + 0.11 * p[2]) / 255;
    }
    int alpha(int x, int y) const { return image.channels == 4 ? at(x, y)[3] : 255; }
};

bool power_of_two(int v)
{
    return v > 0 && (v & (v - 1)) == 0;
}

// ---------------------------------------------------------------- fonts

struct Cell {
    int x0, y0, x1, y1;
    double advance() const { return double(x1 - x0) / (y1 - y0); }
};

// The font loader's measuring: cells start at marker pixels in a band's top
// row, bands at marker pixels in column 0, and a character after a cell that
// ends at the right edge takes the first cell of the next band.
std::vector<Cell> font_cells(const Picture& font, size_t count)
{
    const int w = font.image.width, h = font.image.height;
    auto marker = [&](int x, int y) { return std::memcmp(font.at(x, y), font.at(0, 0), 4) == 0; };
    auto next_column = [&](int from, int row) {
        for (int x = from; x < w; x++)
            if (marker(x, row))
                return x;
        return w;
    };
    auto next_row = [&](int from) {
        for (int y = from; y < h; y++)
            if (marker(0, y))
                return y;
        return h;
    };
    std::vector<Cell> cells;
    int x0 = 0, y0 = 0, x1 = next_column(1, 0), y1 = next_row(1);
    for (size_t i = 0; i < count; i++) {
        if (x0 == w) {
            y0 = y1 == h ? 0 : y1;
            x0 = 0;
            x1 = next_column(1, y0);
            y1 = next_row(y0 + 1);
        }
        cells.push_back({x0, y0, x1, y1});
        x0 = x1;
        if (x0 < w)
            x1 = next_column(x0 + 1, y0);
    }
    return cells;
}

bool load_font(const char* name, Picture* font)
{
    return read_rgba_image(name, &font->image) && font->image.channels == 4;
}

// Checks that every cell follows the previous one in reading order (so no
// character wrapped round onto another's cell) and holds its own ink, with
// a clear border against its neighbours; the marker colour appears nowhere
// but at the cell and band starts.
void expect_cells_hold_their_glyphs(const Picture& font, const std::vector<Cell>& cells, const std::string& characters)
{
    std::vector<std::vector<bool>> starts(size_t(font.image.height), std::vector<bool>(size_t(font.image.width)));
    for (size_t i = 0; i < cells.size(); i++) {
        const Cell& c = cells[i];
        SCOPED_TRACE(std::string("character ") + characters[i]);
        if (i > 0) {
            const Cell& p = cells[i - 1];
            EXPECT_TRUE(c.y0 > p.y0 || (c.y0 == p.y0 && c.x0 == p.x1));
        }
        starts[size_t(c.y0)][size_t(c.x0)] = true;
        int ink = 0, border_ink = 0;
        for (int y = c.y0; y < c.y1; y++)
            for (int x = c.x0; x < c.x1; x++) {
                if (x == c.x0 && y == c.y0)
                    continue;
                bool border = x == c.x0 || y == c.y0 || x == c.x1 - 1 || y == c.y1 - 1;
                if (font.alpha(x, y) > 0)
                    (border ? border_ink : ink)++;
            }
        EXPECT_GT(ink, 0);
        EXPECT_EQ(border_ink, 0);
    }
    for (int y = 0; y < font.image.height; y++)
        for (int x = 0; x < font.image.width; x++)
            if (std::memcmp(font.at(x, y), font.at(0, 0), 4) == 0 && !(x == 0 || starts[size_t(y)][size_t(x)]))
                ADD_FAILURE() << "stray marker pixel at " << x << ", " << y;
}

TEST(Fonts, TextFontGivesEveryPrintableCharacterItsOwnCell)
{
    ReleaseHome release;
    Picture font;
    ASSERT_TRUE(load_font("@font.png", &font));
    // The text font is uploaded as it is, without padding.
    EXPECT_TRUE(power_of_two(font.image.width) && power_of_two(font.image.height));
    std::string characters;
    for (char c = '!'; c <= '~'; c++)
        characters += c;
    std::vector<Cell> cells = font_cells(font, characters.size());
    ASSERT_EQ(cells.size(), 94u);
    expect_cells_hold_their_glyphs(font, cells, characters);
    auto advance = [&](char c) { return cells[size_t(c - '!')].advance(); };
    for (size_t i = 0; i < cells.size(); i++) {
        SCOPED_TRACE(std::string("character ") + characters[i]);
        EXPECT_EQ(cells[i].y1 - cells[i].y0, cells[0].y1 - cells[0].y0) << "every band has the line height";
        EXPECT_GT(cells[i].advance(), 0.15);
        EXPECT_LT(cells[i].advance(), 1.1);
    }
    EXPECT_GT(advance('W'), 2 * advance('i'));
    EXPECT_GT(advance('m'), advance('n'));
    for (char digit = '1'; digit <= '9'; digit++)
        EXPECT_NEAR(advance(digit), advance('0'), 0.02) << "digits line up in columns of numbers";
    // The space takes the advance of "-".
    EXPECT_GT(advance('-'), 0.2);
    EXPECT_LT(advance('-'), 0.5);
}

// The plate is 128 x 128; a number wider than 9/8 of it switches to the
// condensed digits.
int plate_width(const std::vector<Cell>& cells, const std::string& number)
{
    int width = 0;
    for (char c : number)
        width += cells[size_t(c - '0')].x1 - cells[size_t(c - '0')].x0;
    return width;
}

TEST(Fonts, DigitFontsFitTheNumberPlate)
{
    ReleaseHome release;
    Picture normal, condensed;
    ASSERT_TRUE(load_font("@numbers.png", &normal));
    ASSERT_TRUE(load_font("@numbers-condensed.png", &condensed));
    const std::string digits = "0123456789";
    std::vector<Cell> wide = font_cells(normal, 10), narrow = font_cells(condensed, 10);
    for (const auto& [font, cells] : {std::pair{&normal, &wide}, std::pair{&condensed, &narrow}}) {
        expect_cells_hold_their_glyphs(*font, *cells, digits);
        for (const Cell& c : *cells) {
            EXPECT_EQ(c.y0, 0) << "one band";
            EXPECT_EQ(c.x1 - c.x0, (*cells)[0].x1 - (*cells)[0].x0) << "tabular digits";
            EXPECT_LE(c.y1 - c.y0, 128);
        }
    }
    const int limit = 9 * 128 / 8;
    EXPECT_LE(plate_width(wide, "88"), limit) << "two digits keep the normal font";
    EXPECT_GT(plate_width(wide, "100"), limit) << "three digits switch";
    EXPECT_LE(plate_width(narrow, "100"), 128) << "and then fit the plate";
    EXPECT_LT(narrow[0].x1 - narrow[0].x0, wide[0].x1 - wide[0].x0);
}

// ---------------------------------------------------------- HUD pictures

TEST(HudPictures, ReadWithTheTextureReadersAtPowerOfTwoSizes)
{
    ReleaseHome release;
    for (const char* name : {"@tach.png", "@shifter.png", "@pitboard.png"}) {
        SCOPED_TRACE(name);
        Picture picture;
        ASSERT_TRUE(read_png(name, &picture.image));
        EXPECT_EQ(picture.image.channels, 4);
        EXPECT_EQ(picture.image.width, picture.image.height) << "drawn on a square";
        EXPECT_TRUE(power_of_two(picture.image.width));
    }
}

TEST(HudPictures, TachometerScaleMatchesTheNeedle)
{
    ReleaseHome release;
    Picture tach;
    ASSERT_TRUE(read_png("@tach.png", &tach.image));
    const int s = tach.image.width;
    const double r = s / 2.0;
    // Corners lie outside the round dial; its face is solid.
    EXPECT_EQ(tach.alpha(0, 0), 0);
    EXPECT_EQ(tach.alpha(s - 1, s - 1), 0);
    EXPECT_EQ(tach.alpha(s / 2, s / 2), 255);
    // The needle turns 0.016875 degrees per rpm from 135 degrees left of
    // straight up: the 8000 rpm tick stands straight up, the red zone lies
    // past 13000 rpm and 5000 rpm has no red.
    auto on_dial = [&](double rpm, double radius) {
        double a = (-135 + rpm * 0.016875) * 3.14159265358979323846 / 180;
        return tach.at(int(r + std::sin(a) * radius * r), int(r - std::cos(a) * radius * r));
    };
    const unsigned char* tick = on_dial(8000, 0.8);
    EXPECT_GT(tick[0] + tick[1] + tick[2], 3 * 200);
    const unsigned char* red = on_dial(14750, 0.74);
    EXPECT_GT(red[0], 150);
    EXPECT_LT(red[1], 80);
    const unsigned char* face = on_dial(4750, 0.74);
    EXPECT_LT(face[0], 80);
}

TEST(HudPictures, ShifterHasAClearSeparatedPictureForEveryGear)
{
    ReleaseHome release;
    Picture shifter;
    ASSERT_TRUE(read_png("@shifter.png", &shifter.image));
    const double cell = shifter.image.width / 3.0;
    // Gear values 0 to 5 pick column gear mod 3, row gear div 3.
    for (int gear = 0; gear < 6; gear++) {
        SCOPED_TRACE("gear value " + std::to_string(gear));
        int cx = int((gear % 3 + 0.5) * cell), cy = int((gear / 3 + 0.5) * cell);
        int solid = 0;
        for (int y = cy - 4; y < cy + 4; y++)
            for (int x = cx - 4; x < cx + 4; x++)
                solid += shifter.alpha(x, y) == 255;
        EXPECT_GT(solid, 0);
        // A clear strip along each edge of the cell keeps the neighbours
        // out of the filtered picture.
        int x0 = int(std::ceil((gear % 3) * cell)), y0 = int(std::ceil((gear / 3) * cell));
        int x1 = int((gear % 3 + 1) * cell), y1 = int((gear / 3 + 1) * cell);
        int inked = 0;
        for (int i = 0; i < 4; i++) {
            for (int x = x0; x < x1; x++)
                inked += shifter.alpha(x, y0 + i) > 0 || shifter.alpha(x, y1 - 1 - i) > 0;
            for (int y = y0; y < y1; y++)
                inked += shifter.alpha(x0 + i, y) > 0 || shifter.alpha(x1 - 1 - i, y) > 0;
        }
        EXPECT_EQ(inked, 0);
    }
}

TEST(HudPictures, PitboardLeavesALightFaceUnderTheBlackText)
{
    ReleaseHome release;
    Picture board;
    ASSERT_TRUE(read_png("@pitboard.png", &board.image));
    const int s = board.image.width;
    // The HUD writes the number and four lines in black from 0.195 to about
    // 0.93 across and 0.25 to 0.73 down the picture.
    int dark = 0;
    for (int y = int(0.25 * s); y < int(0.73 * s); y++)
        for (int x = int(0.195 * s); x < int(0.93 * s); x++)
            dark += board.alpha(x, y) < 255 || board.luminance(x, y) < 0.6;
    EXPECT_EQ(dark, 0);
    // Only rows 0.1875 to 0.875 are shown.
    for (int x = 0; x < s; x++) {
        EXPECT_EQ(board.alpha(x, int(0.18 * s)), 0);
        EXPECT_EQ(board.alpha(x, int(0.88 * s)), 0);
    }
}

TEST(TitlePicture, ReadsAsAnOpaqueSquareThatFadesIntoTheBlackScreen)
{
    ReleaseHome release;
    DataStream* stream = data_open("@title.ppm", "rb");
    ASSERT_NE(stream, nullptr);
    Picture title;
    bool read = read_rgb_image(stream, &title.image);
    data_close(stream);
    ASSERT_TRUE(read);
    const int s = title.image.width;
    EXPECT_EQ(title.image.channels, 3);
    EXPECT_EQ(title.image.height, s);
    EXPECT_TRUE(power_of_two(s));
    double edge = 0, inside = 0, low = 1, high = 0;
    for (int i = 0; i < s; i++) {
        edge = std::max({edge, title.luminance(i, 0), title.luminance(0, i), title.luminance(i, s - 1),
                         title.luminance(s - 1, i)});
        double l = title.luminance(i, i / 2 + s / 4);
        inside += l / s;
        low = std::min(low, l);
        high = std::max(high, l);
    }
    EXPECT_LT(edge, 0.05);
    EXPECT_GT(inside, 0.2);
    EXPECT_GT(high - low, 0.5) << "a picture, not a flat fill";
}

// ------------------------------------------------------------ pipe files

struct Taps {
    double delay[16];
    double gain[16];
    int set[16];
};

// The engine sound's pipe_taps: the round trip of each tap's pipe length in
// samples at 44100 Hz, with the sound's speed of 1140.63 units per second.
void pipe_taps(Taps* taps, double length, double spread, double gain, int first, int last)
{
    int f = std::clamp(first, 0, 15), l = std::clamp(last, f, 15), n = l - f + 1;
    double m = std::min(length, spread);
    for (int i = f; i <= l; i++) {
        int k = i - f;
        double v = n > 1 ? 1.0 / (n - 1) : 0;
        double tap = n == 1 ? length : length - (v * v * k * k + k) * m / n;
        taps->delay[i] = std::trunc(tap / 1140.63 * 44100 * 2);
        taps->gain[i] = n == 1 ? gain : gain / n;
        taps->set[i]++;
    }
}

// Reads a pipe file as the engine sound does: "#" starts a comment, and a
// line of "pipe" with at least one number sets taps, the missing values
// taking their defaults.
bool read_pipe_file(const char* name, Taps* taps, int* lines, int* complete)
{
    DataStream* stream = data_open(name, "rb");
    if (!stream)
        return false;
    *taps = {};
    *lines = *complete = 0;
    char line[1024];
    while (data_gets(stream, line, sizeof line)) {
        if (char* comment = std::strchr(line, '#'))
            *comment = '\0';
        float length = 5.0f, spread = 0.9182072f, gain = -0.85f;
        int first = 0, last = 15;
        int got = data_sscan(line, "pipe %f %f %f %d %d", &length, &spread, &gain, &first, &last);
        if (got >= 1) {
            pipe_taps(taps, length, spread, gain, first, last);
            ++*lines;
            *complete += got == 5;
        }
    }
    data_close(stream);
    return true;
}

TEST(PipeFiles, EachEngineTypeHasItsOwnStableEcho)
{
    ReleaseHome release;
    Taps four{}, two{};
    for (const auto& [name, taps] : {std::pair{"@default250f.pipeinfo", &four}, std::pair{"@default125.pipeinfo", &two}}) {
        SCOPED_TRACE(name);
        int lines = 0, complete = 0;
        ASSERT_TRUE(read_pipe_file(name, taps, &lines, &complete));
        EXPECT_GT(lines, 0);
        EXPECT_EQ(complete, lines) << "every line states all five values";
        double total = 0;
        for (int i = 0; i < 16; i++) {
            EXPECT_EQ(taps->set[i], 1) << "tap " << i << " is set by exactly one line";
            // Inside the 32768-sample ring and not reading the sample being
            // written.
            EXPECT_GE(taps->delay[i], 1) << "tap " << i;
            EXPECT_LT(taps->delay[i], 32768) << "tap " << i;
            total += std::fabs(taps->gain[i]);
        }
        EXPECT_LT(total, 1) << "the echo dies away";
    }
    // Two-strokes have the shorter pipe.
    double longest_two = 0, longest_four = 0;
    for (int i = 0; i < 16; i++) {
        longest_two = std::max(longest_two, two.delay[i]);
        longest_four = std::max(longest_four, four.delay[i]);
    }
    EXPECT_LT(longest_two, longest_four);
}

// The engine sound's search: the graphics name (or the model's name) after
// its last "/", its extension replaced by ".pipeinfo", then one "-" part
// dropped per attempt, and finally the default of the engine type.
std::string find_pipe_file(const std::string& graphics, bool two_stroke)
{
    auto opens = [](const std::string& name) {
        DataStream* stream = data_open(name.c_str(), "rb");
        data_close(stream);
        return stream != nullptr;
    };
    std::string name = graphics.substr(graphics.rfind('/') == std::string::npos ? 0 : graphics.rfind('/') + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        std::string candidate = name.substr(0, dot) + ".pipeinfo";
        while (!opens(candidate)) {
            size_t dash = candidate.rfind('-');
            if (dash == std::string::npos) {
                candidate.clear();
                break;
            }
            candidate = candidate.substr(0, dash) + ".pipeinfo";
        }
        if (!candidate.empty())
            return candidate;
    }
    std::string fallback = two_stroke ? "@default125.pipeinfo" : "@default250f.pipeinfo";
    return opens(fallback) ? fallback : "";
}

TEST(PipeFiles, EveryBikeFindsTheFileOfItsEngineType)
{
    ReleaseHome release;
    const struct {
        const char* bike;
        bool two_stroke;
    } bikes[] = {
        {"dl250(2009)", false}, {"dk250f(2009)", false}, {"dz250(2009)", false},     {"dy250f(2009)", false},
        {"dl250(2008)", false}, {"dk250f(2008)", false}, {"dz250(2008)", false},     {"dy250f(2008)", false},
        {"dl125", true},        {"dk125", true},         {"dz125", true},            {"dy125", true},
        {"125dx", true},        {"dl250(2007)", false},  {"dk250f(2007)", false},    {"dz250(2007)", false},
        {"dy250f(2007)", false}, {"dy250f_se(2006)", false},
    };
    for (const auto& b : bikes) {
        SCOPED_TRACE(b.bike);
        const std::string expected = b.two_stroke ? "@default125.pipeinfo" : "@default250f.pipeinfo";
        // Stock graphics: the search starts from the model's name.
        EXPECT_EQ(find_pipe_file(b.bike, b.two_stroke), expected);
    }
    // Alternative graphics from each menu bike's catalogue.
    for (const BikeMenuEntry& entry : bike_menu) {
        SCOPED_TRACE(entry.name);
        bool two_stroke = std::strstr(entry.name, "125") != nullptr;
        const std::string expected = two_stroke ? "@default125.pipeinfo" : "@default250f.pipeinfo";
        EXPECT_EQ(find_pipe_file(std::string("@") + entry.graphics_prefix + "alt1.png", two_stroke), expected);
        EXPECT_EQ(find_pipe_file(std::string("@bikes/") + entry.graphics_prefix + "blue-2.png", two_stroke), expected);
    }
    // A robot's dk250f in dl250 graphics still sounds like a four-stroke.
    EXPECT_EQ(find_pipe_file("@dl250-alt1.png", false), "@default250f.pipeinfo");
}

} // namespace
