#include "assets/image.h"

#include "base/alloc.h"
#include "data/home.h"
#include "data/stream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

bool side_ok(int32_t n)
{
    return n >= 1 && n <= image_max_side;
}

// The next header number (or text sample) after any comment lines, -1 when
// none scans. at_end is set once the data has run out: every later number is
// then -1 as well, which lets a text reader stop scanning.
int32_t scan_number(DataStream* stream, bool* at_end = nullptr)
{
    char hash[2];
    while (data_scan(stream, " %1[#]%*[^\n]", hash) == 1) {
    }
    int32_t value = 0;
    int result = data_scan(stream, "%d", &value);
    if (result == 1)
        return value;
    if (result < 0 && at_end)
        *at_end = true;
    return -1;
}

struct NetpbmHeader {
    int32_t width;
    int32_t height;
    int32_t maxval;
};

// A maxval of 0 would divide by zero in the scaling, and one above 65535 is
// outside the format; both mean a damaged file.
bool read_netpbm_header(DataStream* stream, NetpbmHeader* header)
{
    header->width = scan_number(stream);
    header->height = scan_number(stream);
    header->maxval = scan_number(stream);
    return header->width >= 0 && header->height >= 0 && header->maxval >= 1 && header->maxval <= 65535;
}

// Fills count bytes of samples scaled to 0..255. Binary data that ends early
// fails rather than leaving a picture of whatever the buffer held.
bool read_netpbm_samples(DataStream* stream, bool binary, int32_t maxval, unsigned char* out, size_t count)
{
    if (binary) {
        if (data_getc(stream) < 0) // the separator after maxval
            return false;
        // count is below image_max_bytes, so one read covers it.
        if (data_read(stream, out, int(count)) != int(count))
            return false;
        if (maxval != 255)
            for (size_t i = 0; i < count; i++)
                out[i] = static_cast<unsigned char>(uint32_t(out[i]) * 255u / uint32_t(maxval));
        return true;
    }
    bool at_end = false;
    for (size_t i = 0; i < count; i++) {
        int32_t value = at_end ? -1 : scan_number(stream, &at_end);
        // Low 8 bits of the quotient, which truncates toward zero.
        out[i] = static_cast<unsigned char>(int64_t(value) * 255 / maxval);
    }
    return true;
}

// Stored bytes of a K6/K7 picture, taken through a small buffer; it never
// reads past the picture, so the caller's stream stays usable after it.
struct StoredBytes {
    DataStream* stream;
    int64_t left; // bytes of the picture not yet read from the stream
    int count;
    int next;
    unsigned char bytes[12288];

    bool take(unsigned char* out, int n)
    {
        for (int i = 0; i < n; i++) {
            if (next == count) {
                int want = int(std::min<int64_t>(left, int64_t(sizeof bytes)));
                count = want > 0 ? data_read(stream, bytes, want) : 0;
                next = 0;
                if (count <= 0) {
                    count = 0;
                    return false;
                }
                left -= count;
            }
            out[i] = bytes[next++];
        }
        return true;
    }
};

int clamp_byte(int value)
{
    return value < 0 ? 0 : value > 255 ? 255 : value;
}

// The prediction of one channel from its decoded neighbours.
int predict(int32_t x, int32_t y, int left, int above, int above_left)
{
    if (y == 0)
        return x == 0 ? 0 : left;
    if (x == 0)
        return above;
    return clamp_byte(left + above - above_left);
}

bool decode_predictive(StoredBytes& in, int stored, int channels, int32_t width, int32_t height, unsigned char* pixels)
{
    const size_t stride = size_t(width) * size_t(channels);
    // A K7 read into three channels still predicts its alphas from the
    // decoded alphas of the row above. That row is kept in the space of the
    // reduced levels, which build_mip_chain overwrites afterwards: for a
    // width above 1 that space holds at least width bytes (level 1 alone has
    // width / 2 pixels of three bytes, or is the final pixel of a picture at
    // most 3 wide); a width of 1 needs a single byte.
    const bool side_alpha = stored == 4 && channels == 3;
    unsigned char spare = 0;
    unsigned char* alpha_row = width > 1 ? pixels + stride * size_t(height) : &spare;
    for (int32_t y = 0; y < height; y++) {
        unsigned char* row = pixels + stride * size_t(y);
        const unsigned char* up = y > 0 ? row - stride : nullptr;
        int side_left = 0;
        int side_above_left = 0;
        for (int32_t x = 0; x < width; x++) {
            unsigned char difference[4] = {0, 0, 0, 0};
            if (!in.take(difference, stored))
                return false;
            unsigned char* p = row + size_t(x) * size_t(channels);
            for (int c = 0; c < channels; c++) {
                int left = x > 0 ? p[c - channels] : 0;
                int above = y > 0 ? up[size_t(x) * size_t(channels) + size_t(c)] : 0;
                int above_left = x > 0 && y > 0 ? up[size_t(x - 1) * size_t(channels) + size_t(c)] : 0;
                p[c] = static_cast<unsigned char>(predict(x, y, left, above, above_left) + difference[c]);
            }
            if (side_alpha) {
                int above = y > 0 ? alpha_row[x] : 0;
                int value = (predict(x, y, side_left, above, side_above_left) + difference[3]) & 255;
                side_above_left = above;
                side_left = value;
                alpha_row[x] = static_cast<unsigned char>(value);
            }
        }
    }
    return true;
}

// One reduced pixel from n sources (4 for a block, 2 for a pair).
void reduce_pixel(const unsigned char* const* source, int n, int channels, bool max_alpha, unsigned char* out)
{
    const int shift = n == 4 ? 2 : 1;
    if (channels != 4) {
        for (int c = 0; c < channels; c++) {
            int sum = 0;
            for (int i = 0; i < n; i++)
                sum += source[i][c];
            out[c] = static_cast<unsigned char>(sum >> shift);
        }
        return;
    }
    int alpha_sum = 0;
    int alpha_max = 0;
    for (int i = 0; i < n; i++) {
        alpha_sum += source[i][3];
        alpha_max = std::max<int>(alpha_max, source[i][3]);
    }
    // Weighting by alpha keeps transparent pixels from lending their colour;
    // with nothing or everything opaque the weights are all equal anyway.
    const bool plain = alpha_sum == 0 || alpha_sum == n * 255;
    for (int c = 0; c < 3; c++) {
        int sum = 0;
        for (int i = 0; i < n; i++)
            sum += plain ? source[i][c] : source[i][c] * source[i][3];
        out[c] = static_cast<unsigned char>(plain ? sum >> shift : sum / alpha_sum);
    }
    out[3] = static_cast<unsigned char>(max_alpha ? alpha_max : alpha_sum >> shift);
}

} // namespace

size_t image_picture_size(int32_t width, int32_t height, int32_t bytes_per_pixel)
{
    if (!side_ok(width) || !side_ok(height) || bytes_per_pixel < 1 || bytes_per_pixel > 8)
        return 0;
    int64_t bytes = int64_t(width) * int64_t(height) * bytes_per_pixel;
    return bytes > image_max_bytes ? 0 : size_t(bytes);
}

size_t image_chain_size(int32_t width, int32_t height, int32_t channels)
{
    if (!side_ok(width) || !side_ok(height) || channels < 1 || channels > 4)
        return 0;
    int64_t pixels = 1; // the final 1 x 1 level
    int64_t w = width;
    int64_t h = height;
    while (w * h > 1) {
        pixels += w * h;
        w = std::max<int64_t>(1, w / 2);
        h = std::max<int64_t>(1, h / 2);
    }
    int64_t bytes = pixels * channels;
    return bytes > image_max_bytes ? 0 : size_t(bytes);
}

void build_mip_level(unsigned char* buffer, int32_t width, int32_t height, int channels, bool max_alpha)
{
    // A 1 x 1 level is the last one: there is nothing to write behind it.
    if (!buffer || width < 1 || height < 1 || channels < 1 || channels > 4 || int64_t(width) * height <= 1)
        return;
    const size_t w = size_t(width);
    const size_t h = size_t(height);
    const size_t pixel = size_t(channels);
    unsigned char* out = buffer + w * h * pixel;
    if (w > 1 && h > 1) {
        const size_t stride = w * pixel;
        for (size_t y = 0; y < h / 2; y++) {
            for (size_t x = 0; x < w / 2; x++) {
                const unsigned char* a = buffer + 2 * y * stride + 2 * x * pixel;
                const unsigned char* source[4] = {a, a + pixel, a + stride, a + stride + pixel};
                reduce_pixel(source, 4, channels, max_alpha, out);
                out += pixel;
            }
        }
        return;
    }
    // One pixel wide or high: the pixels lie in a line either way.
    const size_t pairs = std::max(w, h) / 2;
    for (size_t i = 0; i < pairs; i++) {
        const unsigned char* source[2] = {buffer + 2 * i * pixel, buffer + (2 * i + 1) * pixel};
        reduce_pixel(source, 2, channels, max_alpha, out);
        out += pixel;
    }
}

void build_mip_levels(unsigned char* buffer, int32_t width, int32_t height, int channels, bool max_alpha)
{
    if (!buffer || width < 1 || height < 1 || channels < 1 || channels > 4)
        return;
    int64_t w = width;
    int64_t h = height;
    while (w * h > 1) {
        build_mip_level(buffer, int32_t(w), int32_t(h), channels, max_alpha);
        buffer += size_t(w * h) * size_t(channels);
        w = std::max<int64_t>(1, w / 2);
        h = std::max<int64_t>(1, h / 2);
    }
}

void build_mip_chain(unsigned char* buffer, int32_t width, int32_t height, int channels)
{
    build_mip_levels(buffer, width, height, channels, false);
}

bool read_ppm(const char* first_word, DataStream* stream, ImageChain* image)
{
    if (!first_word || !stream || !image)
        return false;
    const bool binary = std::strcmp(first_word, "P6") == 0;
    if (!binary && std::strcmp(first_word, "P3") != 0)
        return false;
    NetpbmHeader header;
    if (!read_netpbm_header(stream, &header))
        return false;
    const size_t size = image_chain_size(header.width, header.height, 3);
    if (size == 0)
        return false;
    auto* pixels = static_cast<unsigned char*>(alloc_or_die(size));
    const size_t samples = size_t(header.width) * size_t(header.height) * 3;
    if (!read_netpbm_samples(stream, binary, header.maxval, pixels, samples)) {
        std::free(pixels);
        return false;
    }
    build_mip_chain(pixels, header.width, header.height, 3);
    *image = ImageChain{pixels, header.width, header.height, 3};
    return true;
}

bool read_pgm(DataStream* stream, unsigned char** grey, int32_t* width, int32_t* height)
{
    if (!stream || !grey || !width || !height)
        return false;
    char word[16];
    if (data_scan(stream, "%15s", word) != 1)
        return false;
    const bool binary = std::strcmp(word, "P5") == 0;
    if (!binary && std::strcmp(word, "P2") != 0)
        return false;
    NetpbmHeader header;
    if (!read_netpbm_header(stream, &header))
        return false;
    const size_t size = image_picture_size(header.width, header.height, 1);
    if (size == 0)
        return false;
    auto* pixels = static_cast<unsigned char*>(alloc_or_die(size));
    if (!read_netpbm_samples(stream, binary, header.maxval, pixels, size)) {
        std::free(pixels);
        return false;
    }
    *grey = pixels;
    *width = header.width;
    *height = header.height;
    return true;
}

bool read_predictive_image(const char* first_word, DataStream* stream, int channels, ImageChain* image)
{
    if (!first_word || !stream || !image || (channels != 3 && channels != 4))
        return false;
    int stored;
    if (std::strcmp(first_word, "K6") == 0)
        stored = 3;
    else if (std::strcmp(first_word, "K7") == 0)
        stored = 4;
    else
        return false;
    const int32_t width = scan_number(stream);
    const int32_t height = scan_number(stream);
    if (width < 0 || height < 0)
        return false;
    const size_t size = image_chain_size(width, height, channels);
    if (size == 0)
        return false;
    if (data_getc(stream) < 0) // the separator after the height
        return false;
    auto* pixels = static_cast<unsigned char*>(alloc_or_die(size));
    StoredBytes in;
    in.stream = stream;
    in.left = int64_t(width) * int64_t(height) * stored;
    in.count = 0;
    in.next = 0;
    if (!decode_predictive(in, stored, channels, width, height, pixels)) {
        std::free(pixels);
        return false;
    }
    build_mip_chain(pixels, width, height, channels);
    *image = ImageChain{pixels, width, height, channels};
    return true;
}

bool read_rgb_image(DataStream* stream, ImageChain* image)
{
    if (!stream || !image)
        return false;
    char word[16];
    if (data_scan(stream, "%15s", word) != 1)
        return false;
    if (std::strcmp(word, "P3") == 0 || std::strcmp(word, "P6") == 0)
        return read_ppm(word, stream, image);
    if (std::strcmp(word, "K6") == 0 || std::strcmp(word, "K7") == 0)
        return read_predictive_image(word, stream, 3, image);
    return false;
}

bool read_rgba_image(const char* name, ImageChain* image)
{
    if (!name || !image)
        return false;
    ImageChain png;
    if (read_png(name, &png)) {
        if (png.channels == 4) {
            *image = png;
            return true;
        }
        const size_t size = image_chain_size(png.width, png.height, 4);
        if (size == 0) {
            std::free(png.pixels);
            return false;
        }
        auto* pixels = static_cast<unsigned char*>(alloc_or_die(size));
        const size_t count = size_t(png.width) * size_t(png.height);
        for (size_t i = 0; i < count; i++) {
            std::memcpy(pixels + 4 * i, png.pixels + 3 * i, 3);
            pixels[4 * i + 3] = 255;
        }
        std::free(png.pixels);
        // Only level 0 is promised, but a complete chain leaves no byte of
        // the buffer undefined.
        build_mip_chain(pixels, png.width, png.height, 4);
        *image = ImageChain{pixels, png.width, png.height, 4};
        return true;
    }
    DataStream* stream = data_open(name, "rb");
    if (!stream)
        return false;
    char word[16];
    const bool ok = data_scan(stream, "%15s", word) == 1 &&
                    (std::strcmp(word, "K6") == 0 || std::strcmp(word, "K7") == 0) &&
                    read_predictive_image(word, stream, 4, image);
    data_close(stream);
    return ok;
}
