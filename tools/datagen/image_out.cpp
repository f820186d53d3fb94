#include "image_out.h"

#include <png.h>

namespace {

void append_bytes(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

void no_flush(png_structp) {}

// Writes rows with libpng; bit_depth 8 or 16 (16-bit rows already big-endian).
std::string encode(int width, int height, int colour_type, int bit_depth, const std::vector<png_bytep>& rows,
                   const std::string& text)
{
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return "";
    }
    png_set_write_fn(png, &out, append_bytes, no_flush);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), bit_depth, colour_type, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_text chunk{};
    if (!text.empty()) {
        chunk.compression = PNG_TEXT_COMPRESSION_NONE;
        chunk.key = const_cast<char*>("Comment");
        chunk.text = const_cast<char*>(text.c_str());
        png_set_text(png, info, &chunk, 1);
    }
    png_write_info(png, info);
    png_write_image(png, const_cast<png_bytepp>(rows.data()));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

} // namespace

std::string encode_png(const Picture& picture, const std::string& text)
{
    int type = picture.channels == 1   ? PNG_COLOR_TYPE_GRAY
               : picture.channels == 3 ? PNG_COLOR_TYPE_RGB
               : picture.channels == 2 ? PNG_COLOR_TYPE_GRAY_ALPHA
                                       : PNG_COLOR_TYPE_RGB_ALPHA;
    std::vector<png_bytep> rows;
    for (int y = 0; y < picture.height; y++)
        rows.push_back(const_cast<png_bytep>(&picture.pixels[size_t(y) * picture.width * picture.channels]));
    return encode(picture.width, picture.height, type, 8, rows, text);
}

std::string encode_png_grey16(const std::vector<uint16_t>& samples, int width, int height)
{
    std::vector<uint8_t> big(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); i++) {
        big[2 * i] = uint8_t(samples[i] >> 8);
        big[2 * i + 1] = uint8_t(samples[i]);
    }
    std::vector<png_bytep> rows;
    for (int y = 0; y < height; y++)
        rows.push_back(&big[size_t(y) * width * 2]);
    return encode(width, height, PNG_COLOR_TYPE_GRAY, 16, rows, "");
}

std::string encode_ppm(const Picture& rgb)
{
    std::string out = "P6\n" + std::to_string(rgb.width) + " " + std::to_string(rgb.height) + "\n255\n";
    out.append(reinterpret_cast<const char*>(rgb.pixels.data()), rgb.pixels.size());
    return out;
}

std::string encode_pgm(const Picture& grey)
{
    std::string out = "P5\n" + std::to_string(grey.width) + " " + std::to_string(grey.height) + "\n255\n";
    out.append(reinterpret_cast<const char*>(grey.pixels.data()), grey.pixels.size());
    return out;
}
