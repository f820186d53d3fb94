// Bitmap fonts whose glyph cells are marked out inside an ordinary picture by
// marker pixels: one proportional text font drawn with OpenGL, and two digit
// fonts kept as pixels for painting rider numbers onto number plates.
#pragma once
#include <cstdint>

struct Font {
    uint32_t texture;      // GL texture name, 0 when not uploaded
    unsigned char* pixels; // RGBA picture with room for its chain; null when not kept
    int32_t width, height;
    float cells[256][4]; // left, top, right, bottom as fractions of the picture
    float advance[256];  // width in cell heights
};

extern Font text_font, number_font, condensed_number_font;

// Loads the three fonts; the text font is uploaded and its pixels freed.
// Needs the GL context for the upload.
void load_fonts();
// Reads and measures one font; characters take the cells in reading order.
// False (and an empty font) when the picture cannot be read.
bool load_font(Font* font, const char* file, const char* characters);
// Deletes the texture (when a context is current) and frees the pixels; the
// font is empty afterwards.
void free_font(Font* font);
void free_fonts();

// Width of the last line of text, in cell heights of the text font.
float text_width(const char* text);

// Draws with the text font at the model-view origin: one unit is the cell
// height, the first baseline is y = 0, further lines go down by 1.
void draw_text(float r, float g, float b, float a, const char* text);
void draw_text_white(const char* text);
// A black copy at half the alpha, a sixteenth of a cell down and right, under
// the text.
void draw_text_shadowed(float r, float g, float b, float a, const char* text);
void draw_text_shadowed_white(const char* text);

// Paints text centred into an RGBA picture with the digit font, switching to
// the condensed digits when the text is too wide.
void paint_number_text(unsigned char* pixels, int32_t width, int32_t height, float r, float g, float b, float a,
                       const char* text);
// The number-plate texture of a bike; its memory counts in
// texture_memory_used. 0 without a GL context.
uint32_t make_number_texture(const char* text, int32_t width, int32_t height);
// Deletes it and takes its memory off texture_memory_used again.
void free_number_texture(uint32_t texture);
