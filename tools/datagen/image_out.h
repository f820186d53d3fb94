// Pictures encoded in memory, in the formats the game reads.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// 8-bit pixels, rows top to bottom, channels 1 (grey), 3 (RGB) or 4 (RGBA).
struct Picture {
    int width = 0;
    int height = 0;
    int channels = 3;
    std::vector<uint8_t> pixels;
    Picture() = default;
    Picture(int w, int h, int c) : width(w), height(h), channels(c), pixels(size_t(w) * h * c) {}
    uint8_t* at(int x, int y) { return &pixels[(size_t(y) * width + x) * channels]; }
};

// PNG with optional text chunk (e.g. "[mip_max_alpha]"); no time chunk.
std::string encode_png(const Picture& picture, const std::string& text = "");
// 16-bit grey PNG, samples rows top to bottom.
std::string encode_png_grey16(const std::vector<uint16_t>& samples, int width, int height);
std::string encode_ppm(const Picture& rgb);  // P6, maxval 255
std::string encode_pgm(const Picture& grey); // P5, maxval 255
