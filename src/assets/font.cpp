#include "assets/font.h"

#include "assets/image.h"
#include "assets/texture.h"
#include "base/alloc.h"
#include "koru/window.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr float default_advance = 2.0f / 3.0f;

Font empty_font()
{
    Font font{};
    for (float& a : font.advance)
        a = default_advance;
    return font;
}

uint32_t pixel_at(const unsigned char* pixels, int32_t width, int32_t x, int32_t y)
{
    uint32_t value;
    std::memcpy(&value, pixels + (size_t(y) * size_t(width) + size_t(x)) * 4, 4);
    return value;
}

// The first marker column after x in row y, else the width.
int32_t next_marker_column(const unsigned char* pixels, int32_t width, int32_t y, int32_t x, uint32_t marker)
{
    for (x++; x < width; x++)
        if (pixel_at(pixels, width, x, y) == marker)
            return x;
    return width;
}

// The first marker row below y in column 0, else the height.
int32_t next_marker_row(const unsigned char* pixels, int32_t width, int32_t height, int32_t y, uint32_t marker)
{
    for (y++; y < height; y++)
        if (pixel_at(pixels, width, 0, y) == marker)
            return y;
    return height;
}

void make_invisible(unsigned char* pixel)
{
    pixel[0] = pixel[1] = pixel[2] = 255;
    pixel[3] = 0;
}

// Texture memory a whole chain of the texture took, as upload_levels counted
// it; the texture is left unbound.
int64_t uploaded_bytes(uint32_t texture)
{
    GLint width = 0, height = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    glBindTexture(GL_TEXTURE_2D, 0);
    int64_t bytes = 0;
    for (int i = 0; width > 0 && height > 0; i++) {
        const int64_t w = std::max(1, width >> i), h = std::max(1, height >> i);
        bytes += w * h * 4;
        if (w == 1 && h == 1)
            break;
    }
    return bytes;
}

void delete_texture(uint32_t texture)
{
    if (!texture || !koru_gl_context_current())
        return;
    const int64_t bytes = uploaded_bytes(texture);
    GLuint id = texture;
    glDeleteTextures(1, &id);
    texture_memory_used = int32_t(std::max<int64_t>(0, int64_t(texture_memory_used) - bytes));
}

// The next tab stop strictly right of x: a multiple of eight spaces.
float tab_stop(float x, float space)
{
    const float stop = 8 * space;
    return stop > 0 ? stop * (std::floor(x / stop) + 1) : x;
}

struct Measure {
    int32_t width;  // sum of the cell widths, pixels
    int32_t height; // tallest cell
};

void cell_pixels(const Font& font, unsigned char c, int32_t cell[4])
{
    const float* f = font.cells[c];
    cell[0] = int32_t(std::nearbyint(f[0] * float(font.width)));
    cell[1] = int32_t(std::nearbyint(f[1] * float(font.height)));
    cell[2] = int32_t(std::nearbyint(f[2] * float(font.width)));
    cell[3] = int32_t(std::nearbyint(f[3] * float(font.height)));
}

Measure measure(const Font& font, const char* text)
{
    Measure m{0, 0};
    for (const char* p = text; *p; p++) {
        int32_t cell[4];
        cell_pixels(font, static_cast<unsigned char>(*p), cell);
        m.width += cell[2] - cell[0];
        m.height = std::max(m.height, cell[3] - cell[1]);
    }
    return m;
}

unsigned char to_byte(float value)
{
    return static_cast<unsigned char>(std::clamp(std::nearbyint(value * 255), 0.0f, 255.0f));
}

} // namespace

Font text_font = empty_font();
Font number_font = empty_font();
Font condensed_number_font = empty_font();

void free_font(Font* font)
{
    if (!font)
        return;
    delete_texture(font->texture);
    std::free(font->pixels);
    *font = empty_font();
}

bool load_font(Font* font, const char* file, const char* characters)
{
    if (!font)
        return false;
    free_font(font);
    ImageChain image{};
    if (!file || !read_rgba_image(file, &image))
        return false;
    unsigned char* pixels = image.pixels;
    const int32_t width = image.width, height = image.height;
    const uint32_t marker = pixel_at(pixels, width, 0, 0);

    int32_t x0 = 0, y0 = 0;
    int32_t x1 = next_marker_column(pixels, width, 0, 0, marker);
    int32_t y1 = next_marker_row(pixels, width, height, 0, marker);
    for (const char* p = characters ? characters : ""; *p; p++) {
        const unsigned char c = static_cast<unsigned char>(*p);
        // The band is used up once the previous cell ended at the right edge.
        if (x0 == width) {
            y0 = y1 == height ? 0 : y1;
            x0 = 0;
            x1 = next_marker_column(pixels, width, y0, 0, marker);
            y1 = next_marker_row(pixels, width, height, y0, marker);
        }
        font->cells[c][0] = float(x0) / float(width);
        font->cells[c][1] = float(y0) / float(height);
        font->cells[c][2] = float(x1) / float(width);
        font->cells[c][3] = float(y1) / float(height);
        font->advance[c] = float(x1 - x0) / float(y1 - y0);
        x0 = x1;
        x1 = next_marker_column(pixels, width, y0, x0, marker);
    }
    font->advance[' '] = font->advance['-'];

    for (int32_t y = 0; y < height; y++) {
        if (y > 0 && pixel_at(pixels, width, 0, y) != marker)
            continue;
        for (int32_t x = 1; x < width; x++)
            if (pixel_at(pixels, width, x, y) == marker)
                make_invisible(pixels + (size_t(y) * size_t(width) + size_t(x)) * 4);
        if (y > 0)
            make_invisible(pixels + size_t(y) * size_t(width) * 4);
    }
    make_invisible(pixels);

    build_mip_chain(pixels, width, height, 4);
    font->pixels = pixels;
    font->width = width;
    font->height = height;
    return true;
}

void load_fonts()
{
    char printable[95];
    for (int c = 33; c <= 126; c++)
        printable[c - 33] = char(c);
    printable[94] = '\0';
    load_font(&text_font, "@font.png", printable);
    if (text_font.pixels) {
        text_font.texture = upload_levels(text_font.pixels, text_font.width, text_font.height, 4, false, false);
        std::free(text_font.pixels);
        text_font.pixels = nullptr;
    }
    load_font(&number_font, "@numbers.png", "0123456789");
    load_font(&condensed_number_font, "@numbers-condensed.png", "0123456789");
}

void free_fonts()
{
    free_font(&text_font);
    free_font(&number_font);
    free_font(&condensed_number_font);
}

float text_width(const char* text)
{
    float w = 0;
    if (!text)
        return w;
    for (const char* p = text; *p; p++) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '\t')
            w = tab_stop(w, text_font.advance[' ']);
        else if (c == '\n' || c == '\r')
            w = 0;
        else
            w += text_font.advance[c];
    }
    return w;
}

void draw_text(float r, float g, float b, float a, const char* text)
{
    if (!text_font.texture || !text || !koru_gl_context_current())
        return;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glBindTexture(GL_TEXTURE_2D, text_font.texture);
    glColor4f(r, g, b, a);
    glBegin(GL_QUADS);
    const float space = text_font.advance[' '];
    float x = 0, y = 0;
    for (const char* p = text; *p; p++) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '\t') {
            x = tab_stop(x, space);
        } else if (c == '\n') {
            y -= 1;
            x = 0;
        } else if (c == '\r') {
            x = 0;
        } else if (c == ' ') {
            x += space;
        } else {
            const float* cell = text_font.cells[c];
            const float w = text_font.advance[c];
            glTexCoord2f(cell[0], cell[1]);
            glVertex3f(x, y + 1, 0);
            glTexCoord2f(cell[0], cell[3]);
            glVertex3f(x, y, 0);
            glTexCoord2f(cell[2], cell[3]);
            glVertex3f(x + w, y, 0);
            glTexCoord2f(cell[2], cell[1]);
            glVertex3f(x + w, y + 1, 0);
            x += w;
        }
    }
    glEnd();
}

void draw_text_white(const char* text)
{
    draw_text(1, 1, 1, 1, text);
}

void draw_text_shadowed(float r, float g, float b, float a, const char* text)
{
    if (!text_font.texture || !text || !koru_gl_context_current())
        return;
    glPushMatrix();
    glTranslatef(0.0625f, -0.0625f, 0);
    draw_text(0, 0, 0, a / 2, text);
    glPopMatrix();
    draw_text(r, g, b, a, text);
}

void draw_text_shadowed_white(const char* text)
{
    draw_text_shadowed(1, 1, 1, 1, text);
}

void paint_number_text(unsigned char* pixels, int32_t width, int32_t height, float r, float g, float b, float a,
                       const char* text)
{
    if (!number_font.pixels || !pixels || !text || width < 1 || height < 1)
        return;
    const Font* font = &number_font;
    Measure m = measure(*font, text);
    if (m.width > 9 * width / 8 && condensed_number_font.pixels) {
        font = &condensed_number_font;
        m = measure(*font, text);
    }
    int32_t pen = width / 2 - m.width / 2;
    const int32_t top = height / 2 - m.height / 2;
    const float colour[3] = {r, g, b};
    for (const char* p = text; *p; p++) {
        int32_t cell[4];
        cell_pixels(*font, static_cast<unsigned char>(*p), cell);
        for (int32_t sy = cell[1]; sy < cell[3]; sy++) {
            const int32_t ty = top + sy - cell[1];
            if (sy < 0 || sy >= font->height || ty < 0 || ty >= height)
                continue;
            for (int32_t sx = cell[0]; sx < cell[2]; sx++) {
                const int32_t tx = pen + sx - cell[0];
                if (sx < 0 || sx >= font->width || tx < 0 || tx >= width)
                    continue;
                const unsigned char* s = font->pixels + (size_t(sy) * size_t(font->width) + size_t(sx)) * 4;
                unsigned char* d = pixels + (size_t(ty) * size_t(width) + size_t(tx)) * 4;
                const float f = float(s[3]) / 255 * a;
                for (int j = 0; j < 3; j++)
                    d[j] = to_byte(float(d[j]) / 255 * (1 - f) + float(s[j]) / 255 * colour[j] * f);
                d[3] = to_byte(f * f + float(d[3]) / 255 * (1 - f));
            }
        }
        pen += cell[2] - cell[0];
    }
}

uint32_t make_number_texture(const char* text, int32_t width, int32_t height)
{
    const size_t size = image_chain_size(width, height, 4);
    if (!size || !koru_gl_context_current())
        return 0;
    auto* chain = static_cast<unsigned char*>(alloc_or_die(size));
    for (size_t i = 0; i < size_t(width) * size_t(height); i++)
        make_invisible(chain + i * 4);
    paint_number_text(chain, width, height, 1, 1, 1, 1, text);
    build_mip_levels(chain, width, height, 4, false);
    // Clamped sampling repeats the edge texels: keep them empty on every
    // level so nothing shows outside the digits.
    unsigned char* level = chain;
    for (int i = 0;; i++) {
        const int32_t w = std::max(1, width >> i), h = std::max(1, height >> i);
        for (int32_t x = 0; x < w; x++) {
            make_invisible(level + size_t(x) * 4);
            make_invisible(level + (size_t(h - 1) * size_t(w) + size_t(x)) * 4);
        }
        for (int32_t y = 0; y < h; y++) {
            make_invisible(level + size_t(y) * size_t(w) * 4);
            make_invisible(level + (size_t(y) * size_t(w) + size_t(w - 1)) * 4);
        }
        level += size_t(w) * size_t(h) * 4;
        if (w == 1 && h == 1)
            break;
    }
    const uint32_t texture = upload_levels(chain, width, height, 4, false, false);
    std::free(chain);
    return texture;
}

void free_number_texture(uint32_t texture)
{
    delete_texture(texture);
}
