#include "assets/image.h"
#include "data/home.h"
#include "data/stream.h"
#include "support/fixture.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

std::string text_of(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// Frees a reader's buffer at the end of the test.
struct Owned {
    void* pointer = nullptr;
    Owned() = default;
    explicit Owned(void* p) : pointer(p) {}
    ~Owned() { std::free(pointer); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
};

Bytes level0(const ImageChain& image)
{
    size_t n = size_t(image.width) * size_t(image.height) * size_t(image.channels);
    return Bytes(image.pixels, image.pixels + n);
}

Bytes whole_chain(const ImageChain& image)
{
    return Bytes(image.pixels, image.pixels + image_chain_size(image.width, image.height, image.channels));
}

// The chain that level 0 of image should have been given.
Bytes expected_chain(const ImageChain& image, bool max_alpha = false)
{
    Bytes chain(image_chain_size(image.width, image.height, image.channels));
    Bytes first = level0(image);
    std::copy(first.begin(), first.end(), chain.begin());
    build_mip_levels(chain.data(), image.width, image.height, image.channels, max_alpha);
    return chain;
}

int open_descriptors()
{
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        n++;
    }
    return n;
}

// The stream readers over bytes held in memory.
bool rgb_from_bytes(const std::string& bytes, ImageChain* image)
{
    DataStream* stream = data_open_memory(bytes.data(), bytes.size());
    bool ok = read_rgb_image(stream, image);
    data_close(stream);
    return ok;
}

bool predictive_from_bytes(const std::string& bytes, int channels, ImageChain* image)
{
    DataStream* stream = data_open_memory(bytes.data(), bytes.size());
    char word[16] = "";
    bool ok = data_scan(stream, "%15s", word) == 1 && read_predictive_image(word, stream, channels, image);
    data_close(stream);
    return ok;
}

bool pgm_from_bytes(const std::string& bytes, unsigned char** grey, int32_t* width, int32_t* height)
{
    DataStream* stream = data_open_memory(bytes.data(), bytes.size());
    bool ok = read_pgm(stream, grey, width, height);
    data_close(stream);
    return ok;
}

// --- PNG files made with libpng itself ---------------------------------

struct PngText {
    int compression; // PNG_TEXT_COMPRESSION_NONE, _zTXt or PNG_ITXT_COMPRESSION_NONE
    std::string key;
    std::string text;
};

struct PngPicture {
    int width;
    int height;
    int depth;
    int type;
    Bytes rows; // packed as PNG stores them, 16-bit samples high byte first
    std::vector<png_color> palette = {};
    Bytes palette_alpha = {};
    bool has_trans_colour = false;
    png_color_16 trans_colour = {};
    bool interlaced = false;
    std::vector<PngText> text_before = {}; // written ahead of the image data
    std::vector<PngText> text_after = {};  // written behind it
};

void append_to_string(png_structp png, png_bytep data, size_t length)
{
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

void set_texts(png_structp png, png_infop info, const std::vector<PngText>& texts)
{
    std::vector<png_text> entries;
    for (const PngText& t : texts) {
        png_text entry{};
        entry.compression = t.compression;
        entry.key = const_cast<char*>(t.key.c_str());
        entry.text = const_cast<char*>(t.text.c_str());
        entry.text_length = t.text.size();
        entries.push_back(entry);
    }
    if (!entries.empty())
        png_set_text(png, info, entries.data(), int(entries.size()));
}

// libpng errors abort here: a fixture that cannot be made is a broken test.
std::string png_file(const PngPicture& picture)
{
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, append_to_string, nullptr);
    png_set_IHDR(png, info, png_uint_32(picture.width), png_uint_32(picture.height), picture.depth, picture.type,
                 picture.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!picture.palette.empty())
        png_set_PLTE(png, info, picture.palette.data(), int(picture.palette.size()));
    if (!picture.palette_alpha.empty())
        png_set_tRNS(png, info, picture.palette_alpha.data(), int(picture.palette_alpha.size()), nullptr);
    if (picture.has_trans_colour)
        png_set_tRNS(png, info, nullptr, 0, &picture.trans_colour);
    set_texts(png, info, picture.text_before);
    png_write_info(png, info);
    size_t row_bytes = picture.rows.size() / size_t(picture.height);
    std::vector<png_bytep> rows;
    for (int y = 0; y < picture.height; y++)
        rows.push_back(const_cast<png_bytep>(picture.rows.data() + row_bytes * size_t(y)));
    png_write_image(png, rows.data());
    set_texts(png, info, picture.text_after);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

void push16(Bytes& bytes, int value)
{
    bytes.push_back(static_cast<unsigned char>(value >> 8));
    bytes.push_back(static_cast<unsigned char>(value & 0xff));
}

Bytes be16(std::initializer_list<int> values)
{
    Bytes out;
    for (int v : values)
        push16(out, v);
    return out;
}

const std::vector<png_color> two_colours = {{10, 20, 30}, {40, 50, 60}};

// --- chains -------------------------------------------------------------

TEST(ImageChainSize, CountsEveryLevelAndRefusesAbsurdSizes)
{
    struct Case {
        int32_t width, height, channels;
        size_t bytes;
    } cases[] = {
        {1, 1, 3, 3},
        {1, 1, 4, 4},
        {4, 2, 3, 33}, // 8 + 2 + 1 pixels
        {4, 1, 3, 21},
        {3, 3, 3, 30},
        {1, 4, 4, 28},
        {5, 3, 3, 54},
        {65536, 1, 4, 131071 * 4},
        {8192, 8192, 4, 357913940},
        {16384, 16384, 3, 1073741823}, // one byte under the limit
        {16384, 16384, 4, 0},
        {65536, 65536, 3, 0},
        {0, 4, 3, 0},
        {4, 0, 3, 0},
        {-1, 4, 3, 0},
        {65537, 1, 3, 0},
        {4, 4, 0, 0},
        {4, 4, 5, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(image_chain_size(c.width, c.height, c.channels), c.bytes)
            << c.width << " x " << c.height << " x " << c.channels;
    EXPECT_EQ(image_picture_size(3, 2, 2), 12u);
    EXPECT_EQ(image_picture_size(65536, 16384, 1), size_t(1) << 30);
    EXPECT_EQ(image_picture_size(65536, 16384, 2), 0u);
    EXPECT_EQ(image_picture_size(0, 2, 1), 0u);
    EXPECT_EQ(image_picture_size(2, 65537, 1), 0u);
}

Bytes grey_as_rgb(std::initializer_list<int> values)
{
    Bytes out;
    for (int v : values)
        out.insert(out.end(), 3, static_cast<unsigned char>(v));
    return out;
}

TEST(MipChain, LevelsFollowTheReductionRules)
{
    struct Case {
        const char* what;
        int32_t width, height, channels;
        bool max_alpha;
        Bytes level0;
        Bytes reduced; // every level after level 0
    } cases[] = {
        {"1 x 1 has no further level", 1, 1, 3, false, {9, 8, 7}, {}},
        {"4 x 1 halves along the row", 4, 1, 3, false,
         {0, 10, 20, 2, 12, 22, 100, 0, 255, 101, 1, 254},
         {1, 11, 21, 100, 0, 254, 50, 5, 137}},
        {"1 x 4 halves along the column", 1, 4, 3, false,
         {0, 10, 20, 2, 12, 22, 100, 0, 255, 101, 1, 254},
         {1, 11, 21, 100, 0, 254, 50, 5, 137}},
        {"3 x 3 uses the top-left block only", 3, 3, 3, false,
         grey_as_rgb({10, 20, 255, 30, 41, 255, 255, 255, 255}), grey_as_rgb({25})},
        {"5 x 3 drops the last column and row", 5, 3, 3, false,
         grey_as_rgb({0, 4, 8, 12, 250, 4, 8, 12, 16, 250, 250, 250, 250, 250, 250}), grey_as_rgb({4, 12, 8})},
        {"two of four transparent", 2, 2, 4, false,
         {100, 0, 0, 255, 0, 100, 0, 0, 0, 0, 100, 0, 50, 50, 50, 255}, {75, 25, 25, 127}},
        {"two of four transparent, max alpha", 2, 2, 4, true,
         {100, 0, 0, 255, 0, 100, 0, 0, 0, 0, 100, 0, 50, 50, 50, 255}, {75, 25, 25, 255}},
        {"all transparent averages plainly", 2, 2, 4, false,
         {100, 0, 0, 0, 0, 100, 0, 0, 0, 0, 100, 0, 50, 50, 50, 0}, {37, 37, 37, 0}},
        {"all opaque averages plainly", 2, 2, 4, false,
         {100, 0, 0, 255, 0, 100, 0, 255, 0, 0, 100, 255, 50, 50, 50, 255}, {37, 37, 37, 255}},
        {"partial alphas weight the colour", 2, 2, 4, false,
         {200, 0, 90, 100, 0, 0, 0, 50, 255, 255, 255, 0, 0, 0, 0, 0}, {133, 0, 60, 37}},
        {"partial alphas, max alpha", 2, 2, 4, true,
         {200, 0, 90, 100, 0, 0, 0, 50, 255, 255, 255, 0, 0, 0, 0, 0}, {133, 0, 60, 100}},
        {"pair with one transparent", 2, 1, 4, false, {255, 10, 0, 255, 0, 200, 255, 0}, {255, 10, 0, 127}},
        {"opaque pair averages plainly", 2, 1, 4, false, {10, 0, 0, 255, 21, 0, 0, 255}, {15, 0, 0, 255}},
        {"transparent pair averages plainly", 1, 2, 4, false, {10, 0, 0, 0, 21, 4, 0, 0}, {15, 2, 0, 0}},
        {"4 x 2 RGBA chain", 4, 2, 4, false,
         {0, 0, 0, 255, 4, 4, 4, 255, 8, 8, 8, 255, 12, 12, 12, 255,
          0, 0, 0, 255, 4, 4, 4, 255, 8, 8, 8, 255, 12, 12, 12, 255},
         {2, 2, 2, 255, 10, 10, 10, 255, 6, 6, 6, 255}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(image_chain_size(c.width, c.height, c.channels), c.level0.size() + c.reduced.size()) << c.what;
        // Exactly the chain's size, so that a write past it shows up under
        // the sanitizers.
        Bytes buffer(c.level0.size() + c.reduced.size(), 0xee);
        std::copy(c.level0.begin(), c.level0.end(), buffer.begin());
        if (c.max_alpha)
            build_mip_levels(buffer.data(), c.width, c.height, c.channels, true);
        else
            build_mip_chain(buffer.data(), c.width, c.height, c.channels);
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + long(c.level0.size())), c.level0) << c.what;
        EXPECT_EQ(Bytes(buffer.begin() + long(c.level0.size()), buffer.end()), c.reduced) << c.what;
    }
}

TEST(MipChain, SingleLevelWritesOnlyTheNextLevel)
{
    // 2 x 2 RGB then room for its 1 x 1 level and a guard byte.
    Bytes buffer = {0, 0, 0, 4, 4, 4, 8, 8, 8, 12, 12, 12, 0xee, 0xee, 0xee, 0xee};
    build_mip_level(buffer.data(), 2, 2, 3, false);
    EXPECT_EQ(Bytes(buffer.begin() + 12, buffer.end()), (Bytes{6, 6, 6, 0xee}));
    // A final level has nothing behind it.
    Bytes single = {1, 2, 3};
    build_mip_level(single.data(), 1, 1, 3, false);
    EXPECT_EQ(single, (Bytes{1, 2, 3}));
}

// --- PPM and PGM ----------------------------------------------------------

TEST(ReadPpm, BinaryAndTextSamples)
{
    struct Case {
        const char* what;
        std::string file;
        Bytes pixels;
    } cases[] = {
        {"P6 bytes pass unchanged at maxval 255", "P6\n2 1\n255\n" + text_of({0, 127, 255, 1, 2, 3}),
         {0, 127, 255, 1, 2, 3}},
        {"P6 at maxval 127 scales up", "P6 2 1 127\n" + text_of({127, 0, 63, 1, 2, 3}), {255, 0, 126, 2, 4, 6}},
        {"P6 comments before each header number",
         "P6\n# made by hand\n2\n#\n1 # not read as a number\n255\n" + text_of({9, 8, 7, 6, 5, 4}),
         {9, 8, 7, 6, 5, 4}},
        {"P6 takes one separator only", "P6 1 1 255\n\n\n\n", {'\n', '\n', '\n'}},
        {"P3 samples", "P3 2 1 255\n0 127 255\n1 2 3\n", {0, 127, 255, 1, 2, 3}},
        {"P3 with a comment between samples", "P3 2 1 255\n0 127 # between\n255\n1 2 3\n", {0, 127, 255, 1, 2, 3}},
        {"P3 at maxval 127", "P3 2 1 127 127 0 63 1 2 3", {255, 0, 126, 2, 4, 6}},
        {"P3 keeps the low 8 bits", "P3 1 1 255 256 511 -1", {0, 255, 255}},
        {"P3 samples that do not scan count as -1", "P3 2 1 255 7 x", {7, 255, 255, 255, 255, 255}},
        {"P3 that ends early", "P3 2 1 255 7", {7, 255, 255, 255, 255, 255}},
    };
    for (const Case& c : cases) {
        ImageChain image{};
        ASSERT_TRUE(rgb_from_bytes(c.file, &image)) << c.what;
        Owned owned(image.pixels);
        EXPECT_EQ(image.channels, 3) << c.what;
        EXPECT_EQ(level0(image), c.pixels) << c.what;
        EXPECT_EQ(whole_chain(image), expected_chain(image)) << c.what;
    }
}

TEST(ReadPpm, BuildsTheChainBehindThePicture)
{
    ImageChain image{};
    ASSERT_TRUE(rgb_from_bytes("P6 2 2 255\n" + text_of({0, 0, 0, 4, 8, 12, 8, 16, 24, 12, 24, 36}), &image));
    Owned owned(image.pixels);
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(Bytes(image.pixels + 12, image.pixels + 15), (Bytes{6, 12, 18}));
}

TEST(ReadPgm, BinaryAndTextSamples)
{
    struct Case {
        const char* what;
        std::string file;
        int32_t width, height;
        Bytes grey;
    } cases[] = {
        {"P5", "P5\n3 1\n255\n" + text_of({0, 128, 255}), 3, 1, {0, 128, 255}},
        {"P5 at maxval 15", "P5 2 2 15\n" + text_of({15, 0, 5, 1}), 2, 2, {255, 0, 85, 17}},
        {"P2 with comments", "P2\n# grey\n2 1\n255\n# first\n9 # second\n200\n", 2, 1, {9, 200}},
    };
    for (const Case& c : cases) {
        unsigned char* grey = nullptr;
        int32_t width = 0, height = 0;
        ASSERT_TRUE(pgm_from_bytes(c.file, &grey, &width, &height)) << c.what;
        Owned owned(grey);
        EXPECT_EQ(width, c.width) << c.what;
        EXPECT_EQ(height, c.height) << c.what;
        EXPECT_EQ(Bytes(grey, grey + width * height), c.grey) << c.what;
    }
}

// --- K6 / K7 --------------------------------------------------------------

TEST(ReadPredictive, DecodesThePredictionRules)
{
    struct Case {
        const char* what;
        std::string file;
        int channels;
        Bytes pixels;
    } cases[] = {
        {"K7 of zeros is all zero", "K7 2 2\n" + std::string(16, '\0'), 4, Bytes(16, 0)},
        {"K7 of zeros into three channels", "K7 2 2\n" + std::string(16, '\0'), 3, Bytes(12, 0)},
        {"K6 repeats its first pixel", "K6\n3 2\n" + text_of({10, 20, 30}) + std::string(15, '\0'), 3,
         {10, 20, 30, 10, 20, 30, 10, 20, 30, 10, 20, 30, 10, 20, 30, 10, 20, 30}},
        // Red: the corner predicts 200 + 200 - 0, lowered to 255, plus 10
        // wraps to 9. Green: 0 + 0 - 200 is raised to 0.
        {"K6 clamps and wraps", "K6 2 2\n" + text_of({0, 200, 1, 200, 56, 1, 200, 56, 1, 10, 7, 1}), 3,
         {0, 200, 1, 200, 0, 2, 200, 0, 2, 9, 7, 4}},
        {"K7 alpha wraps", "K7 2 1\n" + text_of({1, 2, 3, 200, 0, 0, 0, 100}), 4, {1, 2, 3, 200, 1, 2, 3, 44}},
        {"K6 into four channels has alpha 0", "K6 2 1\n" + text_of({1, 2, 3, 4, 5, 6}), 4,
         {1, 2, 3, 0, 5, 7, 9, 0}},
        {"K6 with comments", "K6\n# a\n1 # b\n1\n" + text_of({5, 6, 7}), 3, {5, 6, 7}},
    };
    for (const Case& c : cases) {
        ImageChain image{};
        ASSERT_TRUE(predictive_from_bytes(c.file, c.channels, &image)) << c.what;
        Owned owned(image.pixels);
        EXPECT_EQ(image.channels, c.channels) << c.what;
        EXPECT_EQ(level0(image), c.pixels) << c.what;
        EXPECT_EQ(whole_chain(image), expected_chain(image)) << c.what;
    }
}

std::string pseudo_random(size_t count, uint32_t seed)
{
    std::string out(count, '\0');
    for (char& c : out) {
        seed = seed * 1664525u + 1013904223u;
        c = char(seed >> 24);
    }
    return out;
}

TEST(ReadPredictive, ColourDoesNotDependOnTheAlphaBytes)
{
    // A K7 read into three channels must give the colour of the same file
    // read into four, and of a K6 holding only its colour bytes; every width
    // from the 1-wide column up.
    for (int width : {1, 2, 3, 5}) {
        const int height = 4;
        std::string stored = pseudo_random(size_t(width * height * 4), uint32_t(width));
        std::string colour_only;
        for (size_t i = 0; i < stored.size(); i++)
            if (i % 4 != 3)
                colour_only += stored[i];
        std::string dims = std::to_string(width) + " " + std::to_string(height) + "\n";
        ImageChain rgba{}, rgb{}, k6{};
        ASSERT_TRUE(predictive_from_bytes("K7 " + dims + stored, 4, &rgba));
        ASSERT_TRUE(predictive_from_bytes("K7 " + dims + stored, 3, &rgb));
        ASSERT_TRUE(predictive_from_bytes("K6 " + dims + colour_only, 3, &k6));
        Owned a(rgba.pixels), b(rgb.pixels), c(k6.pixels);
        Bytes rgba_colour;
        for (size_t i = 0; i < size_t(width * height) * 4; i++)
            if (i % 4 != 3)
                rgba_colour.push_back(rgba.pixels[i]);
        EXPECT_EQ(level0(rgb), rgba_colour) << width;
        EXPECT_EQ(level0(k6), rgba_colour) << width;
        EXPECT_EQ(whole_chain(rgb), expected_chain(rgb)) << width;
    }
}

TEST(ReadPredictive, LeavesTheBytesAfterThePictureInTheStream)
{
    std::string file = "K6 1 1\n" + text_of({1, 2, 3}) + "tail";
    DataStream* stream = data_open_memory(file.data(), file.size());
    ImageChain image{};
    ASSERT_TRUE(read_rgb_image(stream, &image));
    Owned owned(image.pixels);
    char rest[8] = "";
    EXPECT_EQ(data_scan(stream, "%7s", rest), 1);
    EXPECT_STREQ(rest, "tail");
    data_close(stream);
}

// --- stream reader failures -------------------------------------------------

TEST(StreamReaders, RejectDamagedFilesAndLeaveTheOutputsAlone)
{
    struct Case {
        const char* what;
        std::string file;
    } rgb_cases[] = {
        {"empty", ""},
        {"wrong magic", "P4 1 1\n" + std::string(3, 'x')},
        {"grey magic", "P5 1 1 255\n" + std::string(3, 'x')},
        {"negative width", "P6 -1 1 255\n" + std::string(3, 'x')},
        {"negative height", "P3 1 -1 255 1 2 3"},
        {"missing maxval", "P6 2 1\n"},
        {"height does not scan", "P6 2 x 255\n" + std::string(6, 'x')},
        {"maxval 0", "P6 2 1 0\n" + std::string(6, 'x')},
        {"P3 maxval 0", "P3 2 1 0 1 2 3 4 5 6"},
        {"maxval above 65535", "P6 2 1 65536\n" + std::string(6, 'x')},
        {"short P6 data", "P6 2 1 255\n" + std::string(5, 'x')},
        {"P6 without separator", "P6 2 1 255"},
        {"zero width", "P6 0 1 255\n"},
        {"too wide", "P6 65537 1 255\n" + std::string(3, 'x')},
        {"too large in all", "P6 65536 65536 255\n" + std::string(3, 'x')},
        {"short K6 data", "K6 2 1\n" + std::string(5, 'x')},
        {"short K7 data", "K7 2 1\n" + std::string(7, 'x')},
        {"K6 without separator", "K6 2 1"},
        {"K6 negative width", "K6 -2 1\n" + std::string(6, 'x')},
        {"K6 missing height", "K6 2\n"},
        {"K6 zero height", "K6 2 0\n"},
        {"unknown K word", "K5 1 1\n" + std::string(3, 'x')},
    };
    for (const Case& c : rgb_cases) {
        ImageChain image{nullptr, -7, -7, -7};
        EXPECT_FALSE(rgb_from_bytes(c.file, &image)) << c.what;
        EXPECT_EQ(image.pixels, nullptr) << c.what;
        EXPECT_EQ(image.width, -7) << c.what;
        EXPECT_EQ(image.channels, -7) << c.what;
    }

    Case pgm_cases[] = {
        {"empty", ""},
        {"colour magic", "P6 1 1 255\n" + std::string(3, 'x')},
        {"negative width", "P5 -1 1 255\n x"},
        {"maxval 0", "P2 1 1 0 5"},
        {"short P5 data", "P5 2 1 255\n" + std::string(1, 'x')},
        {"too high", "P5 1 65537 255\n x"},
    };
    for (const Case& c : pgm_cases) {
        unsigned char* grey = nullptr;
        int32_t width = -7, height = -7;
        EXPECT_FALSE(pgm_from_bytes(c.file, &grey, &width, &height)) << c.what;
        EXPECT_EQ(grey, nullptr) << c.what;
        EXPECT_EQ(width, -7) << c.what;
        EXPECT_EQ(height, -7) << c.what;
    }

    std::string k6 = "1 1\n" + text_of({1, 2, 3});
    DataStream* stream = data_open_memory(k6.data(), k6.size());
    ImageChain image{};
    EXPECT_FALSE(read_ppm("K6", stream, &image));
    EXPECT_FALSE(read_predictive_image("P6", stream, 3, &image));
    EXPECT_FALSE(read_predictive_image("K6", stream, 2, &image));
    EXPECT_FALSE(read_predictive_image("K6", stream, 1, &image));
    data_close(stream);
}

// --- PNG ----------------------------------------------------------------

struct PngFiles : ::testing::Test {
    TestHome t;
    // Writes a file in the data folder and returns its host path.
    std::string put(const std::string& name, const std::string& bytes)
    {
        write_file(t.data(name), bytes);
        return t.data(name);
    }
};

TEST_F(PngFiles, EveryColourTypeReadsAsEightBitColour)
{
    const png_color_16 grey_7 = {0, 0, 0, 0, 7};
    const png_color_16 rgb_456 = {0, 4, 5, 6, 0};
    struct Case {
        const char* what;
        PngPicture picture;
        int channels;
        Bytes pixels;
    } cases[] = {
        {"grey 1 bit", {2, 1, 1, PNG_COLOR_TYPE_GRAY, {0x80}}, 3, grey_as_rgb({255, 0})},
        {"grey 2 bit", {4, 1, 2, PNG_COLOR_TYPE_GRAY, {0x1b}}, 3, grey_as_rgb({0, 85, 170, 255})},
        {"grey 4 bit", {2, 1, 4, PNG_COLOR_TYPE_GRAY, {0xf8}}, 3, grey_as_rgb({255, 136})},
        {"grey 8 bit", {2, 2, 8, PNG_COLOR_TYPE_GRAY, {7, 200, 1, 2}}, 3, grey_as_rgb({7, 200, 1, 2})},
        {"grey 16 bit keeps the high byte", {2, 1, 16, PNG_COLOR_TYPE_GRAY, be16({0x12ff, 0xabcd})}, 3,
         grey_as_rgb({0x12, 0xab})},
        {"grey with alpha", {2, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA, {10, 255, 20, 0}}, 4,
         {10, 10, 10, 255, 20, 20, 20, 0}},
        {"grey with alpha 16 bit", {1, 1, 16, PNG_COLOR_TYPE_GRAY_ALPHA, be16({0x10ff, 0x80ff})}, 4,
         {0x10, 0x10, 0x10, 0x80}},
        {"RGB", {2, 2, 8, PNG_COLOR_TYPE_RGB, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}, 3,
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
        {"RGB 16 bit", {1, 1, 16, PNG_COLOR_TYPE_RGB, be16({0x01ff, 0x0304, 0x05ff})}, 3, {1, 3, 5}},
        {"RGBA", {2, 1, 8, PNG_COLOR_TYPE_RGB_ALPHA, {1, 2, 3, 4, 5, 6, 7, 8}}, 4, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"RGBA 16 bit", {1, 1, 16, PNG_COLOR_TYPE_RGB_ALPHA, be16({0x01ff, 0x0304, 0x05ff, 0x07ff})}, 4,
         {1, 3, 5, 7}},
        {"palette", {2, 1, 8, PNG_COLOR_TYPE_PALETTE, {1, 0}, two_colours}, 3, {40, 50, 60, 10, 20, 30}},
        {"palette 4 bit", {2, 1, 4, PNG_COLOR_TYPE_PALETTE, {0x10}, two_colours}, 3, {40, 50, 60, 10, 20, 30}},
        {"palette with transparency", {2, 1, 8, PNG_COLOR_TYPE_PALETTE, {1, 0}, two_colours, {0}}, 4,
         {40, 50, 60, 255, 10, 20, 30, 0}},
        {"grey with transparency", {2, 1, 8, PNG_COLOR_TYPE_GRAY, {7, 200}, {}, {}, true, grey_7}, 4,
         {7, 7, 7, 0, 200, 200, 200, 255}},
        {"RGB with transparency", {2, 1, 8, PNG_COLOR_TYPE_RGB, {1, 2, 3, 4, 5, 6}, {}, {}, true, rgb_456}, 4,
         {1, 2, 3, 255, 4, 5, 6, 0}},
        {"interlaced", {3, 3, 8, PNG_COLOR_TYPE_GRAY, {1, 2, 3, 4, 5, 6, 7, 8, 9}, {}, {}, false, {}, true}, 3,
         grey_as_rgb({1, 2, 3, 4, 5, 6, 7, 8, 9})},
    };
    for (const Case& c : cases) {
        std::string path = put("p.png", png_file(c.picture));
        ImageChain image{};
        ASSERT_TRUE(read_png(path.c_str(), &image)) << c.what;
        Owned owned(image.pixels);
        EXPECT_EQ(image.width, c.picture.width) << c.what;
        EXPECT_EQ(image.height, c.picture.height) << c.what;
        EXPECT_EQ(image.channels, c.channels) << c.what;
        EXPECT_EQ(level0(image), c.pixels) << c.what;
        EXPECT_EQ(whole_chain(image), expected_chain(image)) << c.what;
    }
}

TEST_F(PngFiles, MaxAlphaMarkerInAnyTextChunk)
{
    // Two opaque and two transparent pixels: alpha 127 after averaging, 255
    // with the marker.
    const Bytes rows = {100, 0, 0, 255, 0, 100, 0, 0, 0, 0, 100, 0, 50, 50, 50, 255};
    const PngText plain = {PNG_TEXT_COMPRESSION_NONE, "Comment", "[mip_max_alpha]"};
    const PngText packed = {PNG_TEXT_COMPRESSION_zTXt, "Comment", "fence [mip_max_alpha] lettering"};
    const PngText international = {PNG_ITXT_COMPRESSION_NONE, "Comment", "x[mip_max_alpha]"};
    const PngText other = {PNG_TEXT_COMPRESSION_NONE, "Comment", "[mip_max] alpha"};
    struct Case {
        const char* what;
        std::vector<PngText> before, after;
        const char* chunk; // the chunk type that carries the text
        int alpha;
    } cases[] = {
        {"no text", {}, {}, nullptr, 127},
        {"tEXt before the image", {plain}, {}, "tEXt", 255},
        {"tEXt after the image", {}, {plain}, "tEXt", 255},
        {"zTXt after the image", {}, {packed}, "zTXt", 255},
        {"iTXt before the image", {international}, {}, "iTXt", 255},
        {"other text both sides", {other}, {other}, "tEXt", 127},
        {"marker after other text", {other}, {other, plain}, "tEXt", 255},
    };
    for (const Case& c : cases) {
        PngPicture picture{2, 2, 8, PNG_COLOR_TYPE_RGB_ALPHA, rows};
        picture.text_before = c.before;
        picture.text_after = c.after;
        std::string file = png_file(picture);
        if (c.chunk) {
            // The fixture really puts the text where the case says.
            size_t data = file.find("IDAT");
            if (!c.before.empty()) {
                EXPECT_LT(file.find(c.chunk), data) << c.what;
            }
            if (!c.after.empty()) {
                EXPECT_GT(file.rfind(c.chunk), data) << c.what;
            }
        }
        std::string path = put("m.png", file);
        ImageChain image{};
        ASSERT_TRUE(read_png(path.c_str(), &image)) << c.what;
        Owned owned(image.pixels);
        ASSERT_EQ(image_chain_size(2, 2, 4), 20u);
        EXPECT_EQ(Bytes(image.pixels + 16, image.pixels + 20), (Bytes{75, 25, 25, static_cast<unsigned char>(c.alpha)}))
            << c.what;
    }
}

TEST_F(PngFiles, MaxAlphaReachesEveryLevel)
{
    // 4 x 4 of one opaque pixel per 2 x 2 block, the rest transparent.
    Bytes rows(64, 0);
    for (int y = 0; y < 4; y += 2)
        for (int x = 0; x < 4; x += 2) {
            unsigned char* p = rows.data() + (y * 4 + x) * 4;
            p[0] = 200;
            p[3] = 255;
        }
    PngPicture picture{4, 4, 8, PNG_COLOR_TYPE_RGB_ALPHA, rows};
    picture.text_after = {{PNG_TEXT_COMPRESSION_NONE, "Comment", "[mip_max_alpha]"}};
    std::string path = put("fence.png", png_file(picture));
    ImageChain image{};
    ASSERT_TRUE(read_png(path.c_str(), &image));
    Owned owned(image.pixels);
    EXPECT_EQ(whole_chain(image), expected_chain(image, true));
    EXPECT_EQ(image.pixels[(16 + 4) * 4 + 3], 255); // the 1 x 1 level
}

TEST_F(PngFiles, GreySixteenFromEveryColourType)
{
    struct Case {
        const char* what;
        PngPicture picture;
        std::vector<uint16_t> samples;
    } cases[] = {
        {"grey 8 bit widens", {3, 1, 8, PNG_COLOR_TYPE_GRAY, {0, 128, 255}}, {0, 32896, 65535}},
        {"grey 8 bit rows top first", {2, 2, 8, PNG_COLOR_TYPE_GRAY, {1, 2, 3, 4}}, {257, 514, 771, 1028}},
        {"grey 16 bit", {2, 1, 16, PNG_COLOR_TYPE_GRAY, be16({0x1234, 0xfffe})}, {0x1234, 0xfffe}},
        {"grey 1 bit", {2, 1, 1, PNG_COLOR_TYPE_GRAY, {0x80}}, {65535, 0}},
        {"grey 4 bit", {2, 1, 4, PNG_COLOR_TYPE_GRAY, {0x80}}, {34952, 0}},
        {"grey with alpha", {2, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA, {100, 0, 255, 9}}, {25700, 65535}},
        {"grey with alpha 16 bit", {1, 1, 16, PNG_COLOR_TYPE_GRAY_ALPHA, be16({0x4321, 7})}, {0x4321}},
        {"RGB", {2, 1, 8, PNG_COLOR_TYPE_RGB, {100, 100, 100, 255, 255, 255}}, {25700, 65535}},
        {"RGB 16 bit", {1, 1, 16, PNG_COLOR_TYPE_RGB, be16({0x1234, 0x1234, 0x1234})}, {0x1234}},
        {"RGBA", {1, 1, 8, PNG_COLOR_TYPE_RGB_ALPHA, {50, 50, 50, 7}}, {12850}},
        {"palette", {2, 1, 8, PNG_COLOR_TYPE_PALETTE, {1, 0}, {{0, 0, 0}, {200, 200, 200}}}, {51400, 0}},
        {"palette with transparency",
         {2, 1, 8, PNG_COLOR_TYPE_PALETTE, {1, 0}, {{0, 0, 0}, {200, 200, 200}}, {0, 10}},
         {51400, 0}},
        {"interlaced", {3, 3, 8, PNG_COLOR_TYPE_GRAY, {1, 2, 3, 4, 5, 6, 7, 8, 9}, {}, {}, false, {}, true},
         {257, 514, 771, 1028, 1285, 1542, 1799, 2056, 2313}},
    };
    for (const Case& c : cases) {
        std::string path = put("h.png", png_file(c.picture));
        uint16_t* samples = nullptr;
        int32_t width = 0, height = 0;
        ASSERT_TRUE(read_png_grey16(path.c_str(), &samples, &width, &height)) << c.what;
        Owned owned(samples);
        EXPECT_EQ(width, c.picture.width) << c.what;
        EXPECT_EQ(height, c.picture.height) << c.what;
        EXPECT_EQ(std::vector<uint16_t>(samples, samples + width * height), c.samples) << c.what;
    }
}

TEST_F(PngFiles, GreySixteenRoundTrip)
{
    const std::vector<uint16_t> heights = {0, 1, 0x1234, 0xffff, 0x8000, 0x00ff};
    ASSERT_TRUE(write_png_grey16("@heights/hill.png", heights.data(), 3, 2));
    std::string file = read_file(t.home("heights/hill.png"));
    ASSERT_GT(file.size(), 26u);
    EXPECT_EQ(file[24], 16); // bit depth
    EXPECT_EQ(file[25], 0);  // grey
    EXPECT_EQ(file[28], 0);  // no interlace
    EXPECT_EQ(file.find("tEXt"), std::string::npos);

    uint16_t* samples = nullptr;
    int32_t width = 0, height = 0;
    ASSERT_TRUE(read_png_grey16("@heights/hill.png", &samples, &width, &height));
    Owned owned(samples);
    EXPECT_EQ(width, 3);
    EXPECT_EQ(height, 2);
    EXPECT_EQ(std::vector<uint16_t>(samples, samples + 6), heights);

    // The file holds PNG's high-byte-first order: the 8-bit reader keeps the
    // high bytes.
    ImageChain image{};
    ASSERT_TRUE(read_png("@heights/hill.png", &image));
    Owned colour(image.pixels);
    EXPECT_EQ(level0(image), grey_as_rgb({0, 0, 0x12, 0xff, 0x80, 0}));
}

TEST_F(PngFiles, RgbWriterStoresBottomRowFirstInputUpright)
{
    // Three rows as read back from a frame buffer: the bottom row first.
    const Bytes bottom_up = {1, 2, 3, 4, 5, 6, 11, 12, 13, 14, 15, 16, 21, 22, 23, 24, 25, 26};
    ASSERT_TRUE(write_png_rgb("@shots/screenshot000.png", bottom_up.data(), 2, 3));
    std::string file = read_file(t.home("shots/screenshot000.png"));
    ASSERT_GT(file.size(), 26u);
    EXPECT_EQ(file[24], 8);
    EXPECT_EQ(file[25], 2); // RGB
    ImageChain image{};
    ASSERT_TRUE(read_png("@shots/screenshot000.png", &image));
    Owned owned(image.pixels);
    EXPECT_EQ(image.channels, 3);
    EXPECT_EQ(level0(image), (Bytes{21, 22, 23, 24, 25, 26, 11, 12, 13, 14, 15, 16, 1, 2, 3, 4, 5, 6}));
}

TEST_F(PngFiles, WritersReportFailure)
{
    const uint16_t heights[4] = {1, 2, 3, 4};
    const unsigned char pixels[12] = {};
    put("blocker", "a file where a folder would have to be");
    std::string blocked = t.data("blocker/out.png");
    int before = open_descriptors();
    EXPECT_FALSE(write_png_grey16(blocked.c_str(), heights, 2, 2));
    EXPECT_FALSE(write_png_rgb(blocked.c_str(), pixels, 2, 2));
    EXPECT_FALSE(write_png_grey16(t.data("zero.png").c_str(), heights, 0, 2));
    EXPECT_FALSE(write_png_rgb(t.data("zero.png").c_str(), pixels, 2, -1));
    EXPECT_FALSE(write_png_grey16(t.data("null.png").c_str(), nullptr, 2, 2));
    EXPECT_FALSE(write_png_rgb(t.data("wide.png").c_str(), pixels, 65537, 1));
    EXPECT_FALSE(file_exists(t.data("zero.png")));
    // A device that accepts the file but not its bytes: the lost data must
    // not be reported as written.
    if (file_exists("/dev/full")) {
        EXPECT_FALSE(write_png_grey16("/dev/full", heights, 2, 2));
        EXPECT_FALSE(write_png_rgb("/dev/full", pixels, 2, 2));
    }
    EXPECT_EQ(open_descriptors(), before);
}

TEST_F(PngFiles, ReadersRejectBrokenFiles)
{
    std::string good = png_file({4, 4, 8, PNG_COLOR_TYPE_RGB, Bytes(48, 7)});
    std::string bad_crc = good;
    bad_crc[29] ^= 1; // inside the IHDR checksum
    struct Case {
        const char* what;
        std::string bytes; // empty name: no file at all
        bool exists;
    } cases[] = {
        {"missing file", "", false},
        {"empty file", "", true},
        {"not a PNG", "hello, not a picture at all", true},
        {"a PPM", "P6 1 1 255\n" + text_of({1, 2, 3}), true},
        {"signature only", good.substr(0, 8), true},
        {"cut in the header", good.substr(0, 20), true},
        {"cut in the image data", good.substr(0, good.find("IDAT") + 10), true},
        {"missing end chunk", good.substr(0, good.size() - 12), true},
        {"last byte missing", good.substr(0, good.size() - 1), true},
        {"bad header checksum", bad_crc, true},
        {"too wide", png_file({65537, 1, 8, PNG_COLOR_TYPE_GRAY, Bytes(65537, 0)}), true},
    };
    for (const Case& c : cases) {
        std::string path = t.data("broken.png");
        std::filesystem::remove(path);
        if (c.exists)
            put("broken.png", c.bytes);
        int before = open_descriptors();
        ImageChain image{nullptr, -7, -7, -7};
        EXPECT_FALSE(read_png(path.c_str(), &image)) << c.what;
        EXPECT_EQ(image.pixels, nullptr) << c.what;
        EXPECT_EQ(image.width, -7) << c.what;
        uint16_t* samples = nullptr;
        int32_t width = -7, height = -7;
        EXPECT_FALSE(read_png_grey16(path.c_str(), &samples, &width, &height)) << c.what;
        EXPECT_EQ(samples, nullptr) << c.what;
        EXPECT_EQ(width, -7) << c.what;
        EXPECT_EQ(height, -7) << c.what;
        EXPECT_FALSE(read_rgba_image(path.c_str(), &image)) << c.what;
        EXPECT_EQ(image.pixels, nullptr) << c.what;
        EXPECT_EQ(open_descriptors(), before) << c.what;
    }
}

TEST_F(PngFiles, RgbaImageFromPngOrPredictiveFiles)
{
    struct Case {
        const char* what;
        std::string bytes;
        Bytes pixels;
    } cases[] = {
        {"RGB PNG gains opaque alpha", png_file({2, 1, 8, PNG_COLOR_TYPE_RGB, {1, 2, 3, 4, 5, 6}}),
         {1, 2, 3, 255, 4, 5, 6, 255}},
        {"RGBA PNG unchanged", png_file({2, 1, 8, PNG_COLOR_TYPE_RGB_ALPHA, {1, 2, 3, 0, 4, 5, 6, 9}}),
         {1, 2, 3, 0, 4, 5, 6, 9}},
        {"K7", "K7 2 1\n" + text_of({1, 2, 3, 4, 1, 1, 1, 1}), {1, 2, 3, 4, 2, 3, 4, 5}},
        {"K6 has alpha 0", "K6 # comment\n2 1\n" + text_of({1, 2, 3, 1, 1, 1}), {1, 2, 3, 0, 2, 3, 4, 0}},
    };
    for (const Case& c : cases) {
        std::string path = put("picture", c.bytes);
        ImageChain image{};
        ASSERT_TRUE(read_rgba_image(path.c_str(), &image)) << c.what;
        Owned owned(image.pixels);
        EXPECT_EQ(image.channels, 4) << c.what;
        EXPECT_EQ(level0(image), c.pixels) << c.what;
        EXPECT_EQ(whole_chain(image), expected_chain(image)) << c.what;
    }
}

// --- compressed files and archive members ------------------------------

std::string archive(const std::vector<std::pair<std::string, std::string>>& members)
{
    std::string header, body;
    for (const auto& m : members) {
        header += std::to_string(m.second.size()) + " " + m.first + "\n";
        body += m.second;
    }
    return header + "-\n" + body;
}

TEST(ImageSources, GzipFilesAndArchiveMembers)
{
    TestHome t;
    const std::string ppm = "P6 2 1 255\n" + text_of({1, 2, 3, 4, 5, 6});
    const std::string png = png_file({2, 1, 8, PNG_COLOR_TYPE_RGB, {1, 2, 3, 4, 5, 6}});
    const std::string grey = png_file({2, 1, 8, PNG_COLOR_TYPE_GRAY, {0, 255}});
    const std::string k7 = "K7 2 1\n" + text_of({1, 2, 3, 4, 3, 3, 3, 251});
    write_file(t.data("pics/a.ppm.gz"), gzip_bytes(ppm));
    write_file(t.data("pics/b.png.gz"), gzip_bytes(png));
    write_file(t.data("pack.saf"), archive({{"packed/c.png", png},
                                            {"packed/d.k7.gz", gzip_bytes(k7)},
                                            {"packed/e.pgm", "P5 2 1 255\n" + text_of({9, 8})},
                                            {"packed/h.png.gz", gzip_bytes(grey)}}));
    const Bytes rgb = {1, 2, 3, 4, 5, 6};

    DataStream* stream = data_open("@pics/a.ppm", "rb");
    ASSERT_NE(stream, nullptr);
    ImageChain image{};
    EXPECT_TRUE(read_rgb_image(stream, &image));
    data_close(stream);
    Owned a(image.pixels);
    EXPECT_EQ(level0(image), rgb);

    for (std::string name : {std::string("@pics/b.png"), t.data("pics/b.png"), std::string("@packed/c.png")}) {
        ImageChain from_png{};
        ASSERT_TRUE(read_png(name.c_str(), &from_png)) << name;
        Owned b(from_png.pixels);
        EXPECT_EQ(level0(from_png), rgb) << name;
    }

    ImageChain rgba{};
    ASSERT_TRUE(read_rgba_image("@packed/d.k7", &rgba));
    Owned d(rgba.pixels);
    EXPECT_EQ(level0(rgba), (Bytes{1, 2, 3, 4, 4, 5, 6, 255}));

    stream = data_open("@packed/e.pgm", "rb");
    ASSERT_NE(stream, nullptr);
    unsigned char* pgm = nullptr;
    int32_t width = 0, height = 0;
    EXPECT_TRUE(read_pgm(stream, &pgm, &width, &height));
    data_close(stream);
    Owned e(pgm);
    EXPECT_EQ(Bytes(pgm, pgm + 2), (Bytes{9, 8}));

    uint16_t* samples = nullptr;
    ASSERT_TRUE(read_png_grey16("@packed/h.png", &samples, &width, &height));
    Owned h(samples);
    EXPECT_EQ(std::vector<uint16_t>(samples, samples + 2), (std::vector<uint16_t>{0, 65535}));
}

} // namespace
