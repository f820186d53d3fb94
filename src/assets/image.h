// Picture files: PPM, PGM, the predictive K6/K7 format and PNG, read from
// data streams with their complete chain of reduced copies (mip levels).
#pragma once
#include <cstddef>
#include <cstdint>

struct DataStream;

// One buffer: level 0 (rows top to bottom, channels bytes per pixel, no
// padding), then every reduced level right behind it down to 1 x 1.
struct ImageChain {
    unsigned char* pixels; // owned by the caller; free() it
    int32_t width;
    int32_t height;
    int32_t channels; // 3 (RGB) or 4 (RGBA)
};

// Pictures wider or higher than this, or needing more bytes than
// image_max_bytes, are refused: such headers come from damaged files.
enum : int64_t { image_max_side = 65536, image_max_bytes = int64_t(1) << 30 };

// Bytes of a complete chain for a w x h picture; 0 when the dimensions are
// refused (a side below 1 or above image_max_side, more than image_max_bytes
// in all) or channels is not 1 to 4.
size_t image_chain_size(int32_t width, int32_t height, int32_t channels);
// Bytes of a single picture without reduced copies (grey, 16-bit grey), 0
// when refused like image_chain_size.
size_t image_picture_size(int32_t width, int32_t height, int32_t bytes_per_pixel);

// The readers return false and leave the outputs alone on failure; they
// print nothing.
bool read_ppm(const char* first_word, DataStream* stream, ImageChain* image);
bool read_pgm(DataStream* stream, unsigned char** grey, int32_t* width, int32_t* height);
bool read_predictive_image(const char* first_word, DataStream* stream, int channels, ImageChain* image);
bool read_rgb_image(DataStream* stream, ImageChain* image);
bool read_png(const char* name, ImageChain* image);
// Samples are 16-bit in machine order; free() them.
bool read_png_grey16(const char* name, uint16_t** samples, int32_t* width, int32_t* height);
bool read_rgba_image(const char* name, ImageChain* image);

bool write_png_grey16(const char* name, const uint16_t* samples, int32_t width, int32_t height);
// Rows bottom first, as read back from the frame buffer.
bool write_png_rgb(const char* name, const unsigned char* pixels, int32_t width, int32_t height);

// Writes level k + 1 behind level k (w x h at buffer).
void build_mip_level(unsigned char* buffer, int32_t width, int32_t height, int channels, bool max_alpha);
void build_mip_chain(unsigned char* buffer, int32_t width, int32_t height, int channels);
// build_mip_chain with the choice of alpha rule for every level.
void build_mip_levels(unsigned char* buffer, int32_t width, int32_t height, int channels, bool max_alpha);
