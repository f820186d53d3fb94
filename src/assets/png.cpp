// PNG through libpng, reading from and writing to data streams.
//
// libpng reports errors by longjmp. Every function that calls setjmp works
// only on a record owned by its caller (the stream, the libpng structures,
// the pixel buffer) and holds no object with a destructor, so the jump skips
// nothing and the caller frees whatever the record holds on either outcome.
#include "assets/image.h"

#include "base/alloc.h"
#include "data/home.h"
#include "data/stream.h"

#include <png.h>

#include <bit>
#include <climits>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

namespace {

const char max_alpha_marker[] = "[mip_max_alpha]";

[[noreturn]] void png_fail(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

// The readers and writers print nothing; their callers report failures.
void png_quiet(png_structp, png_const_charp)
{
}

void read_from_stream(png_structp png, png_bytep data, size_t length)
{
    DataStream* stream = static_cast<DataStream*>(png_get_io_ptr(png));
    while (length > 0) {
        int want = length > size_t(INT_MAX) ? INT_MAX : int(length);
        int got = data_read(stream, data, want);
        if (got <= 0)
            png_error(png, "file ends early");
        data += got;
        length -= size_t(got);
    }
}

void write_to_stream(png_structp png, png_bytep data, size_t length)
{
    DataStream* stream = static_cast<DataStream*>(png_get_io_ptr(png));
    while (length > 0) {
        int want = length > size_t(INT_MAX) ? INT_MAX : int(length);
        int put = data_write(stream, data, want);
        if (put <= 0)
            png_error(png, "cannot write");
        data += put;
        length -= size_t(put);
    }
}

void flush_stream(png_structp png)
{
    if (data_flush(static_cast<DataStream*>(png_get_io_ptr(png))) != 0)
        png_error(png, "cannot write");
}

struct PngRead {
    DataStream* stream;
    png_structp png;
    png_infop info;
    png_infop end_info; // chunks after the image data
    unsigned char* pixels; // owned here until handed to the caller
    int32_t width;
    int32_t height;
    int32_t channels;
    bool max_alpha;
};

// Opens the file, checks the signature and points libpng at the rest.
bool start_read(const char* name, PngRead* r)
{
    r->stream = data_open(name, "rb");
    if (!r->stream)
        return false;
    unsigned char signature[8];
    if (data_read(r->stream, signature, 8) != 8 || png_sig_cmp(signature, 0, 8) != 0)
        return false;
    r->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, png_fail, png_quiet);
    if (!r->png)
        return false;
    r->info = png_create_info_struct(r->png);
    r->end_info = png_create_info_struct(r->png);
    if (!r->info || !r->end_info)
        return false;
    png_set_read_fn(r->png, r->stream, read_from_stream);
    png_set_sig_bytes(r->png, 8);
    return true;
}

void finish_read(PngRead* r)
{
    if (r->png)
        png_destroy_read_struct(&r->png, &r->info, &r->end_info);
    std::free(r->pixels);
    r->pixels = nullptr;
    data_close(r->stream);
    r->stream = nullptr;
}

bool has_max_alpha_marker(png_structp png, png_infop info)
{
    png_textp text = nullptr;
    int count = 0;
    png_get_text(png, info, &text, &count);
    for (int i = 0; i < count; i++)
        if (text[i].text && std::strstr(text[i].text, max_alpha_marker))
            return true;
    return false;
}

// Sizes known only from the file are checked before anything is allocated.
bool sides_ok(png_uint_32 width, png_uint_32 height)
{
    return width >= 1 && height >= 1 && width <= png_uint_32(image_max_side) && height <= png_uint_32(image_max_side);
}

// Reads every pass of the image into rows of row_bytes at pixels.
void read_rows(png_structp png, int passes, unsigned char* pixels, size_t row_bytes, png_uint_32 height)
{
    for (int pass = 0; pass < passes; pass++)
        for (png_uint_32 y = 0; y < height; y++)
            png_read_row(png, pixels + row_bytes * y, nullptr);
}

bool read_rgb_body(PngRead* r)
{
    if (setjmp(png_jmpbuf(r->png)))
        return false;
    png_structp png = r->png;
    png_infop info = r->info;
    png_read_info(png, info);
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int depth = 0;
    int type = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &type, nullptr, nullptr, nullptr);
    const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    const int channels = (type & PNG_COLOR_MASK_ALPHA) || transparency ? 4 : 3;
    if (!sides_ok(width, height))
        return false;
    const size_t size = image_chain_size(int32_t(width), int32_t(height), channels);
    if (size == 0)
        return false;

    if (type == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (type == PNG_COLOR_TYPE_GRAY && depth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (transparency)
        png_set_tRNS_to_alpha(png);
    if (depth == 16)
        png_set_strip_16(png);
    if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    // The rows must come out exactly as the buffer is laid out.
    const size_t row_bytes = size_t(width) * size_t(channels);
    if (png_get_rowbytes(png, info) != row_bytes || png_get_channels(png, info) != channels ||
        png_get_bit_depth(png, info) != 8)
        return false;

    r->pixels = static_cast<unsigned char*>(alloc_or_die(size));
    read_rows(png, passes, r->pixels, row_bytes, height);
    png_read_end(png, r->end_info);
    r->width = int32_t(width);
    r->height = int32_t(height);
    r->channels = channels;
    r->max_alpha = has_max_alpha_marker(png, info) || has_max_alpha_marker(png, r->end_info);
    return true;
}

bool read_grey16_body(PngRead* r)
{
    if (setjmp(png_jmpbuf(r->png)))
        return false;
    png_structp png = r->png;
    png_infop info = r->info;
    png_read_info(png, info);
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int depth = 0;
    int type = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &type, nullptr, nullptr, nullptr);
    if (!sides_ok(width, height))
        return false;
    const size_t size = image_picture_size(int32_t(width), int32_t(height), 2);
    if (size == 0)
        return false;

    if (type == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (type == PNG_COLOR_TYPE_GRAY && depth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (depth == 16 && std::endian::native == std::endian::little)
        png_set_swap(png);
    // Also covers the alpha that a palette's transparency chunk expands to.
    png_set_strip_alpha(png);
    if (type & PNG_COLOR_MASK_COLOR)
        png_set_rgb_to_gray_fixed(png, PNG_ERROR_ACTION_NONE, -1, -1);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const int sample_bytes = depth == 16 ? 2 : 1;
    if (png_get_channels(png, info) != 1 || png_get_bit_depth(png, info) != 8 * sample_bytes ||
        png_get_rowbytes(png, info) != size_t(width) * size_t(sample_bytes))
        return false;

    // Narrow samples are read into the first half of each 16-bit row and
    // widened there once every pass is in.
    const size_t row_bytes = size_t(width) * 2;
    r->pixels = static_cast<unsigned char*>(alloc_or_die(size));
    read_rows(png, passes, r->pixels, row_bytes, height);
    png_read_end(png, r->end_info);
    if (sample_bytes == 1) {
        for (png_uint_32 y = 0; y < height; y++) {
            unsigned char* row = r->pixels + row_bytes * y;
            // From the right, so that no byte is overwritten before it is read.
            for (size_t x = width; x-- > 0;) {
                const uint16_t wide = uint16_t(row[x] * 257);
                std::memcpy(row + 2 * x, &wide, 2);
            }
        }
    }
    r->width = int32_t(width);
    r->height = int32_t(height);
    r->channels = 1;
    return true;
}

struct PngWrite {
    DataStream* stream;
    png_structp png;
    png_infop info;
};

bool start_write(const char* name, PngWrite* w)
{
    w->stream = data_open(name, "wb");
    if (!w->stream)
        return false;
    w->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png_fail, png_quiet);
    if (!w->png)
        return false;
    w->info = png_create_info_struct(w->png);
    if (!w->info)
        return false;
    png_set_write_fn(w->png, w->stream, write_to_stream, flush_stream);
    return true;
}

void finish_write(PngWrite* w)
{
    if (w->png)
        png_destroy_write_struct(&w->png, &w->info);
    data_close(w->stream);
    w->stream = nullptr;
}

// Writes height rows of row_bytes; bottom_first takes the input's last row
// as the first PNG row.
bool write_body(PngWrite* w, const unsigned char* pixels, png_uint_32 width, png_uint_32 height, int depth, int type,
                size_t row_bytes, bool bottom_first)
{
    if (setjmp(png_jmpbuf(w->png)))
        return false;
    png_structp png = w->png;
    png_set_IHDR(png, w->info, width, height, depth, type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, w->info);
    // PNG stores 16-bit samples high byte first.
    if (depth == 16 && std::endian::native == std::endian::little)
        png_set_swap(png);
    for (png_uint_32 y = 0; y < height; y++) {
        png_uint_32 source = bottom_first ? height - 1 - y : y;
        png_write_row(png, pixels + row_bytes * source);
    }
    png_write_end(png, nullptr);
    // A full disk shows up here at the latest; it must not pass as success.
    return data_flush(w->stream) == 0;
}

bool write_png(const char* name, const unsigned char* pixels, int32_t width, int32_t height, int depth, int type,
               int bytes_per_pixel, bool bottom_first)
{
    if (!name || !pixels || width < 1 || height < 1 || width > image_max_side || height > image_max_side)
        return false;
    PngWrite w{};
    const bool ok = start_write(name, &w) &&
                    write_body(&w, pixels, png_uint_32(width), png_uint_32(height), depth, type,
                               size_t(width) * size_t(bytes_per_pixel), bottom_first);
    finish_write(&w);
    return ok;
}

} // namespace

bool read_png(const char* name, ImageChain* image)
{
    if (!name || !image)
        return false;
    PngRead r{};
    const bool ok = start_read(name, &r) && read_rgb_body(&r);
    if (ok) {
        build_mip_levels(r.pixels, r.width, r.height, r.channels, r.max_alpha);
        *image = ImageChain{r.pixels, r.width, r.height, r.channels};
        r.pixels = nullptr;
    }
    finish_read(&r);
    return ok;
}

bool read_png_grey16(const char* name, uint16_t** samples, int32_t* width, int32_t* height)
{
    if (!name || !samples || !width || !height)
        return false;
    PngRead r{};
    const bool ok = start_read(name, &r) && read_grey16_body(&r);
    if (ok) {
        *samples = reinterpret_cast<uint16_t*>(r.pixels);
        *width = r.width;
        *height = r.height;
        r.pixels = nullptr;
    }
    finish_read(&r);
    return ok;
}

bool write_png_grey16(const char* name, const uint16_t* samples, int32_t width, int32_t height)
{
    return write_png(name, reinterpret_cast<const unsigned char*>(samples), width, height, 16, PNG_COLOR_TYPE_GRAY, 2,
                     false);
}

bool write_png_rgb(const char* name, const unsigned char* pixels, int32_t width, int32_t height)
{
    return write_png(name, pixels, width, height, 8, PNG_COLOR_TYPE_RGB, 3, true);
}
