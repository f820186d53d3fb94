#include "render/terrain_draw.h"

#include "render/gl_caps.h"

#include "base/alloc.h"
#include "base/message_log.h"
#include "koru/log.h"
#include "koru/window.h"
#include "track/terrain.h"
#include "track/terrain_lod.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

TerrainDrawStats terrain_draw_stats;
TerrainDrawOptions terrain_draw_options = {false, false, true, 128, 1};

namespace {

constexpr int clipmap_levels = 6;
constexpr int low_detail_cell = 448;  // samples a low-detail texture holds, without its border
constexpr int low_detail_border = 32; // samples of border on each side
constexpr int low_detail_max = 512;

struct ClipmapEntry {
    GLuint texture;
    bool ready;
    int32_t stale_since;
};

// The drawing state of one field.
struct Graphics {
    int32_t size;               // composite texture size
    GLuint framebuffer;         // 0: composites go through the back buffer
    ClipmapEntry clipmap[clipmap_levels][4][4]; // [level][row slot][column slot]
    int32_t origin[clipmap_levels][2];          // window origin (column, row) per level
    bool origins_known;
    std::vector<GLuint> blocks; // one per 64 x 64 tiles, row by row
    std::vector<bool> block_stale;
    int32_t blocks_per_side;
    std::vector<GLuint> low_detail; // L x L
    std::vector<bool> low_detail_stale;
    std::vector<int32_t> low_detail_size; // per column (and row) index
    int32_t low_detail_count;            // L
    int32_t low_detail_cursor;
    float low_detail_scale;
    int32_t draw_serial;
    GLuint bound;
};

Graphics* graphics_of(const Terrain* t)
{
    return static_cast<Graphics*>(t->graphics);
}

int32_t next_power_of_two(int32_t v)
{
    int32_t p = 1;
    while (p < v)
        p <<= 1;
    return p;
}

void set_composite_filter(const Graphics* g)
{
    bool mipmapped = g->framebuffer || terrain_draw_options.auto_mipmap;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mipmapped ? GL_LINEAR_MIPMAP_NEAREST : GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    if (!g->framebuffer && terrain_draw_options.auto_mipmap)
        glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
}

// A composite placeholder: a checkerboard of squares `square` texels wide,
// its light squares at `white` out of 255.
GLuint make_placeholder(const Graphics* g, int square, int white)
{
    int n = g->size;
    std::vector<unsigned char> pixels(size_t(n) * n * 3);
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            bool light = ((x / square) + (y / square)) % 2 == 0;
            unsigned char v = light ? (unsigned char)white : 0;
            memset(&pixels[(size_t(y) * n + x) * 3], v, 3);
        }
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, n, n, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    set_composite_filter(g);
    if (g->framebuffer)
        gl_procs.generate_mipmap(GL_TEXTURE_2D);
    return texture;
}

// Low-detail texture (p, q): the shading of samples 448p - 32 .. 448p + 479
// (and in z likewise), clamped to the field, with its mip chain.
void build_low_detail(const Terrain* t, Graphics* g, int p, int q)
{
    int32_t w = g->low_detail_size[p], h = g->low_detail_size[q];
    int32_t n = t->samples;
    std::vector<unsigned char> level(size_t(w) * h * 3);
    for (int y = 0; y < h; y++) {
        int sz = std::clamp(low_detail_cell * q - low_detail_border + y, 0, n - 1);
        for (int x = 0; x < w; x++) {
            int sx = std::clamp(low_detail_cell * p - low_detail_border + x, 0, n - 1);
            memcpy(&level[(size_t(y) * w + x) * 3], &t->shading[(size_t(sz) * n + sx) * 3], 3);
        }
    }
    glBindTexture(GL_TEXTURE_2D, g->low_detail[size_t(q) * g->low_detail_count + p]);
    for (int mip = 0;; mip++) {
        glTexImage2D(GL_TEXTURE_2D, mip, GL_RGB, w, h, 0, GL_RGB, GL_UNSIGNED_BYTE, level.data());
        if (w == 1 && h == 1)
            break;
        int32_t nw = std::max(1, w / 2), nh = std::max(1, h / 2);
        std::vector<unsigned char> next(size_t(nw) * nh * 3);
        for (int y = 0; y < nh; y++)
            for (int x = 0; x < nw; x++)
                for (int c = 0; c < 3; c++) {
                    int x0 = std::min(2 * x, w - 1), x1 = std::min(2 * x + 1, w - 1);
                    int y0 = std::min(2 * y, h - 1), y1 = std::min(2 * y + 1, h - 1);
                    int sum = level[(size_t(y0) * w + x0) * 3 + c] + level[(size_t(y0) * w + x1) * 3 + c] +
                              level[(size_t(y1) * w + x0) * 3 + c] + level[(size_t(y1) * w + x1) * 3 + c];
                    next[(size_t(y) * nw + x) * 3 + c] = (unsigned char)((sum + 2) / 4);
                }
        level.swap(next);
        w = nw;
        h = nh;
    }
    g->bound = 0;
}

// The texture of low-detail column (or row) index holding sample p, and
// the texture coordinate of p in it.
void low_detail_coordinate(const Graphics* g, int32_t p, int* index, float* coordinate)
{
    int k = std::min(p / low_detail_cell, g->low_detail_count - 1);
    *index = k;
    float texel = float(p - low_detail_cell * k + low_detail_border) + 0.5f;
    *coordinate = k == g->low_detail_count - 1 ? texel * g->low_detail_scale : texel / low_detail_max;
}

// Renders n x n tiles from tile (a, b) into the texture: the material
// tiles, then the shading multiplied in at twice its stored value.
void render_composite(Terrain* t, Graphics* g, int32_t a, int32_t b, int32_t n, GLuint texture)
{
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glDepthMask(GL_FALSE);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_FOG);
    glDisable(GL_LIGHTING);
    glDisable(GL_ALPHA_TEST);
    if (g->framebuffer) {
        gl_procs.bind_framebuffer(GL_FRAMEBUFFER, g->framebuffer);
        gl_procs.framebuffer_texture_2d(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        GLenum status = gl_procs.check_framebuffer_status(GL_FRAMEBUFFER);
        if (status != GL_FRAMEBUFFER_COMPLETE) {
            post_messagef("Framebuffer error %x", status);
            gl_procs.bind_framebuffer(GL_FRAMEBUFFER, 0);
            glPopAttrib();
            return;
        }
    }
    glViewport(0, 0, g->size, g->size);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glFrustum(-0.5, 0.5, -0.5, 0.5, 0.5, 2);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glColor4f(1, 1, 1, 1);

    // Material tiles, one quad each, x along world x and y along world z.
    float step = 2.0f / float(n);
    GLuint current = 0;
    bool open = false;
    for (int32_t v = 0; v < n; v++)
        for (int32_t u = 0; u < n; u++) {
            int32_t ta = a + u, tb = b + v;
            int material = t->tile_map ? t->tile_map[size_t(tb) * t->tiles + ta] : 0;
            GLuint tex = material < t->material_count ? t->materials[material].texture : 0;
            if (tex != current || !open) {
                if (open)
                    glEnd();
                glBindTexture(GL_TEXTURE_2D, tex);
                current = tex;
                glBegin(GL_QUADS);
                open = true;
            }
            float x0 = -1 + step * float(u), x1 = x0 + step;
            float y0 = -1 + step * float(v), y1 = y0 + step;
            glTexCoord2f(0.0625f, 0.0625f);
            glVertex3f(x0, y0, -1);
            glTexCoord2f(0.9375f, 0.0625f);
            glVertex3f(x1, y0, -1);
            glTexCoord2f(0.9375f, 0.9375f);
            glVertex3f(x1, y1, -1);
            glTexCoord2f(0.0625f, 0.9375f);
            glVertex3f(x0, y1, -1);
        }
    if (open)
        glEnd();
    terrain_draw_stats.composite_tiles += n * n;

    // The shading: source x destination, twice, in pieces of 64 x 64
    // samples, each from the low-detail texture that holds it.
    if (!g->low_detail.empty()) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_DST_COLOR, GL_SRC_COLOR);
        int32_t s0 = 2 * a, s1 = 2 * (a + n), r0 = 2 * b, r1 = 2 * (b + n);
        float per_sample = 2.0f / float(s1 - s0);
        for (int32_t pz = r0; pz < r1; pz = (pz / 64 + 1) * 64) {
            int32_t pz1 = std::min(r1, (pz / 64 + 1) * 64);
            for (int32_t px = s0; px < s1; px = (px / 64 + 1) * 64) {
                int32_t px1 = std::min(s1, (px / 64 + 1) * 64);
                int kx, kz;
                float u0, w0;
                low_detail_coordinate(g, px, &kx, &u0);
                low_detail_coordinate(g, pz, &kz, &w0);
                // The far side of a piece is read from the same texture.
                float scale_x = kx == g->low_detail_count - 1 ? g->low_detail_scale : 1.0f / low_detail_max;
                float scale_z = kz == g->low_detail_count - 1 ? g->low_detail_scale : 1.0f / low_detail_max;
                float u1 = u0 + float(px1 - px) * scale_x;
                float w1 = w0 + float(pz1 - pz) * scale_z;
                glBindTexture(GL_TEXTURE_2D, g->low_detail[size_t(kz) * g->low_detail_count + kx]);
                float x0 = -1 + per_sample * float(px - s0), x1 = -1 + per_sample * float(px1 - s0);
                float y0 = -1 + per_sample * float(pz - r0), y1 = -1 + per_sample * float(pz1 - r0);
                glBegin(GL_QUADS);
                glTexCoord2f(u0, w0);
                glVertex3f(x0, y0, -1);
                glTexCoord2f(u1, w0);
                glVertex3f(x1, y0, -1);
                glTexCoord2f(u1, w1);
                glVertex3f(x1, y1, -1);
                glTexCoord2f(u0, w1);
                glVertex3f(x0, y1, -1);
                glEnd();
            }
        }
    }

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glBindTexture(GL_TEXTURE_2D, texture);
    if (g->framebuffer) {
        gl_procs.bind_framebuffer(GL_FRAMEBUFFER, 0);
        gl_procs.generate_mipmap(GL_TEXTURE_2D);
    } else {
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, g->size, g->size);
    }
    glPopAttrib();
    g->bound = 0;
}

// A small field has fewer than four textures of a coarse level across; the
// window's entries beyond the field are never used.
bool inside_field(const Terrain* t, int j, int32_t column, int32_t row)
{
    int32_t side = 1 << (t->size_log2 - j);
    return column >= 0 && row >= 0 && column < side && row < side;
}

void window_origins(const Terrain* t, int32_t origin[clipmap_levels][2])
{
    for (int j = 0; j < clipmap_levels; j++)
        for (int a = 0; a < 2; a++)
            origin[j][a] = clipmap_window_origin(t->size_log2, j, t->camera_cell[a]);
}

void build_graphics(Terrain* t)
{
    if (!koru_gl_context_current() || t->size_log2 < 6)
        return; // headless, or too small for the block layout
    Graphics* g = new Graphics{};
    t->graphics = g;
    g->size = next_power_of_two(std::max(8, terrain_draw_options.texture_size));
    if (terrain_draw_options.framebuffer_objects && gl_caps.have_fbo) {
        gl_procs.gen_framebuffers(1, &g->framebuffer);
        if (g->framebuffer)
            post_message("Using frame buffer objects");
    }
    if (!g->framebuffer)
        g->size = std::min(g->size, 256); // the back buffer is the scratch surface

    // Low-detail shading textures.
    int32_t cells = 2 * t->tiles;
    int32_t l = (cells / 64 + 6) / 7;
    g->low_detail_count = l;
    for (int p = 0; p < l; p++)
        g->low_detail_size.push_back(std::min(low_detail_max, next_power_of_two(cells - low_detail_cell * p + 64)));
    g->low_detail_scale = 1.0f / float(g->low_detail_size[l - 1]);
    koru_log("%dx%d low detail textures needed for %dx%d field\n", l, l, t->samples, t->samples);
    g->low_detail.resize(size_t(l) * l);
    g->low_detail_stale.assign(size_t(l) * l, false);
    glGenTextures(GLsizei(g->low_detail.size()), g->low_detail.data());
    for (GLuint tex : g->low_detail) {
        glBindTexture(GL_TEXTURE_2D, tex);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    for (int q = 0; q < l; q++)
        for (int p = 0; p < l; p++)
            build_low_detail(t, g, p, q);

    // Block textures start black and stale; clipmap levels start as
    // checkerboards, not ready.
    g->blocks_per_side = 1 << (t->size_log2 - 6);
    for (int k = 0; k < g->blocks_per_side * g->blocks_per_side; k++)
        g->blocks.push_back(make_placeholder(g, 16, 0));
    g->block_stale.assign(g->blocks.size(), true);
    for (int j = 0; j < clipmap_levels; j++)
        for (auto& row : g->clipmap[j])
            for (ClipmapEntry& e : row)
                e = {make_placeholder(g, 64 >> j, (1530 - 255 * j) / 6), false, 0};
    g->draw_serial = 1;
    glBindTexture(GL_TEXTURE_2D, 0);
}

void release_graphics(Terrain* t)
{
    Graphics* g = graphics_of(t);
    if (!g)
        return;
    if (koru_gl_context_current()) {
        glDeleteTextures(GLsizei(g->low_detail.size()), g->low_detail.data());
        glDeleteTextures(GLsizei(g->blocks.size()), g->blocks.data());
        for (auto& level : g->clipmap)
            for (auto& row : level)
                for (ClipmapEntry& e : row)
                    glDeleteTextures(1, &e.texture);
        if (g->framebuffer)
            gl_procs.delete_framebuffers(1, &g->framebuffer);
    }
    delete g;
    t->graphics = nullptr;
}

// Shifts a level's 4 x 4 window by the change of origin: entries that stay
// keep their textures and flags; those that come in from outside reuse the
// names of those that left, not ready.
void scroll_level(Graphics* g, int j, const int32_t old_origin[2], const int32_t new_origin[2])
{
    ClipmapEntry (&level)[4][4] = g->clipmap[j];
    ClipmapEntry before[4][4];
    memcpy(before, level, sizeof before);
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++) {
            int32_t column = new_origin[0] + c, row = new_origin[1] + r;
            ClipmapEntry& e = level[row & 3][column & 3];
            bool kept = column >= old_origin[0] && column < old_origin[0] + 4 && row >= old_origin[1] &&
                        row < old_origin[1] + 4;
            e = before[row & 3][column & 3];
            if (!kept) {
                e.ready = false;
                e.stale_since = 0;
            }
        }
}

struct DrawContext {
    Terrain* terrain;
    Graphics* graphics;
    std::vector<float> vertices; // x, y, z
    std::vector<float> coordinates;
};

// The texture of a node: the finest usable clipmap level whose window holds
// its first tile and is ready there, else the block's texture. Gives the
// level (6 for a block) too.
GLuint node_texture(const Terrain* t, const Graphics* g, const LodFan& f, int* level)
{
    int32_t tile_x = f.texture_tile[0], tile_z = f.texture_tile[1];
    for (int j = std::max(0, terrain_draw_options.texture_skip_levels); j < clipmap_levels; j++) {
        int32_t column = tile_x >> j, row = tile_z >> j;
        const int32_t* o = g->origin[j];
        if (column < o[0] || column >= o[0] + 4 || row < o[1] || row >= o[1] + 4)
            continue;
        const ClipmapEntry& e = g->clipmap[j][row & 3][column & 3];
        if (!e.ready || !inside_field(t, j, column, row))
            continue;
        *level = j;
        return e.texture;
    }
    *level = 6;
    int32_t bx = std::min(tile_x >> 6, g->blocks_per_side - 1), bz = std::min(tile_z >> 6, g->blocks_per_side - 1);
    return g->blocks[size_t(bz) * g->blocks_per_side + bx];
}

void draw_fan(void* context, const LodFan& f)
{
    DrawContext& d = *static_cast<DrawContext*>(context);
    const Terrain* t = d.terrain;
    Graphics* g = d.graphics;
    int level = 6;
    GLuint texture = node_texture(t, g, f, &level);
    if (texture != g->bound) {
        glBindTexture(GL_TEXTURE_2D, texture);
        g->bound = texture;
    }
    int32_t span = 2 << level; // samples across a texture of that level
    // The texture's first sample: the node's first sample rounded down to
    // the texture's span. The chosen texture always holds the whole node:
    // a finer window over any unrefined part of it would have refined it.
    int32_t node = 2 << (t->size_log2 - f.level);
    int32_t ox = (f.x * node / span) * span, oz = (f.z * node / span) * span;
    float s = t->spacing;
    float inv = 1.0f / float(span);
    d.vertices.clear();
    d.coordinates.clear();
    auto add = [&](const int32_t* p) {
        d.vertices.push_back(float(p[0]) * s);
        d.vertices.push_back(t->heights[size_t(p[1]) * t->samples + p[0]]);
        d.vertices.push_back(float(p[1]) * s);
        d.coordinates.push_back(float(p[0] - ox) * inv);
        d.coordinates.push_back(float(p[1] - oz) * inv);
    };
    add(f.centre);
    for (int k = 0; k < f.ring_count; k++)
        add(f.ring[k]);
    terrain_draw_stats.ground_triangles += f.ring_count;
    int count = 1 + f.ring_count;
    if (terrain_draw_options.vertex_arrays) {
        glVertexPointer(3, GL_FLOAT, 0, d.vertices.data());
        glTexCoordPointer(2, GL_FLOAT, 0, d.coordinates.data());
        glDrawArrays(GL_TRIANGLE_FAN, 0, count);
    } else {
        glBegin(GL_TRIANGLE_FAN);
        for (int k = 0; k < count; k++) {
            glTexCoord2fv(&d.coordinates[2 * k]);
            glVertex3fv(&d.vertices[3 * k]);
        }
        glEnd();
    }
}

} // namespace

void install_terrain_drawing()
{
    set_terrain_graphics_hooks({build_graphics, release_graphics});
}

void refresh_low_detail(Terrain* t, int n)
{
    Graphics* g = graphics_of(t);
    if (!g)
        return;
    int total = g->low_detail_count * g->low_detail_count, done = 0;
    for (int k = 0; k < total && (n == 0 || done < n); k++) {
        int index = g->low_detail_cursor;
        g->low_detail_cursor = (g->low_detail_cursor + 1) % total;
        if (!g->low_detail_stale[index])
            continue;
        g->low_detail_stale[index] = false;
        int p = index % g->low_detail_count, q = index / g->low_detail_count;
        // Everything baked from this region needs baking again.
        int32_t s0 = std::max(0, low_detail_cell * p - low_detail_border);
        int32_t s1 = low_detail_cell * p + low_detail_cell + low_detail_border;
        int32_t r0 = std::max(0, low_detail_cell * q - low_detail_border);
        int32_t r1 = low_detail_cell * q + low_detail_cell + low_detail_border;
        for (int bz = 0; bz < g->blocks_per_side; bz++)
            for (int bx = 0; bx < g->blocks_per_side; bx++)
                if (bx * 128 < s1 && (bx + 1) * 128 > s0 && bz * 128 < r1 && (bz + 1) * 128 > r0)
                    g->block_stale[size_t(bz) * g->blocks_per_side + bx] = true;
        for (int j = 0; j < clipmap_levels; j++)
            for (int r = 0; r < 4; r++)
                for (int c = 0; c < 4; c++) {
                    int32_t column = g->origin[j][0] + c, row = g->origin[j][1] + r;
                    int32_t span = 2 << j;
                    ClipmapEntry& e = g->clipmap[j][row & 3][column & 3];
                    if (column * span < s1 && (column + 1) * span > s0 && row * span < r1 &&
                        (row + 1) * span > r0 && e.stale_since == 0)
                        e.stale_since = g->draw_serial;
                }
        build_low_detail(t, g, p, q);
        done++;
    }
}

void terrain_frame_work(Terrain* t)
{
    lod_update(t, 1000);
    refresh_low_detail(t, 1);
}

void update_ground_textures(Terrain* t)
{
    Graphics* g = graphics_of(t);
    if (!g)
        return;
    int32_t old_origin[clipmap_levels][2];
    memcpy(old_origin, g->origin, sizeof old_origin);
    t->camera_cell[0] = int32_t(std::floor(t->camera_position[0] * t->inv_spacing));
    t->camera_cell[1] = int32_t(std::floor(t->camera_position[2] * t->inv_spacing));
    window_origins(t, g->origin);
    if (!g->origins_known) {
        // The first frame: nothing in any window is ready yet.
        memcpy(old_origin, g->origin, sizeof old_origin);
        g->origins_known = true;
    }

    for (size_t k = 0; k < g->blocks.size(); k++)
        if (g->block_stale[k]) {
            int32_t bx = int32_t(k) % g->blocks_per_side, bz = int32_t(k) / g->blocks_per_side;
            render_composite(t, g, 64 * bx, 64 * bz, 64, g->blocks[k]);
            g->block_stale[k] = false;
        }
    for (int j = clipmap_levels - 1; j >= 0; j--)
        scroll_level(g, j, old_origin[j], g->origin[j]);

    int skip = std::max(0, terrain_draw_options.texture_skip_levels);
    for (int j = clipmap_levels - 1; j >= skip; j--)
        for (int r = 0; r < 4; r++)
            for (int c = 0; c < 4; c++) {
                int32_t column = g->origin[j][0] + c, row = g->origin[j][1] + r;
                ClipmapEntry& e = g->clipmap[j][row & 3][column & 3];
                if (e.ready || !inside_field(t, j, column, row))
                    continue;
                int32_t tiles = 1 << j;
                render_composite(t, g, column * tiles, row * tiles, tiles, e.texture);
                e.ready = true;
                e.stale_since = 0;
                return;
            }
    ClipmapEntry* oldest = nullptr;
    int32_t oldest_column = 0, oldest_row = 0, oldest_level = 0;
    for (int j = skip; j < clipmap_levels; j++)
        for (int r = 0; r < 4; r++)
            for (int c = 0; c < 4; c++) {
                int32_t column = g->origin[j][0] + c, row = g->origin[j][1] + r;
                ClipmapEntry& e = g->clipmap[j][row & 3][column & 3];
                if (e.stale_since > 0 && inside_field(t, j, column, row) && (!oldest || e.stale_since < oldest->stale_since)) {
                    oldest = &e;
                    oldest_column = column;
                    oldest_row = row;
                    oldest_level = j;
                }
            }
    if (oldest) {
        int32_t tiles = 1 << oldest_level;
        render_composite(t, g, oldest_column * tiles, oldest_row * tiles, tiles, oldest->texture);
        oldest->stale_since = 0;
    }
}

void draw_terrain(Terrain* t)
{
    terrain_draw_stats.ground_triangles = 0;
    Graphics* g = graphics_of(t);
    if (!g || !t->node_flags)
        return;
    lod_refine(t, t->camera_position, t->camera_forward);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glColor4f(1, 1, 1, 1);
    if (terrain_draw_options.vertex_arrays) {
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    g->bound = 0;
    DrawContext context = {t, g, {}, {}};
    context.vertices.reserve(30);
    context.coordinates.reserve(20);
    lod_walk(t, true, draw_fan, &context);
    if (terrain_draw_options.vertex_arrays) {
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    g->draw_serial = g->draw_serial == 0x7fffffff ? 1 : g->draw_serial + 1;
}

void draw_terrain_full_grid(const Terrain* t, uint32_t texture)
{
    int32_t n = t->samples;
    float s = t->spacing;
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    std::vector<float> row;
    row.reserve(size_t(n) * 10);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    for (int32_t j = 0; j + 1 < n; j++) {
        // One strip per row of cells: (i, j + 1), (i, j) pairs.
        row.clear();
        for (int32_t i = 0; i < n; i++)
            for (int32_t dj = 1; dj >= 0; dj--) {
                row.push_back(float(i) * s);
                row.push_back(t->heights[size_t(j + dj) * n + i]);
                row.push_back(float(j + dj) * s);
                row.push_back(float(i) / float(n - 1));
                row.push_back(float(j + dj) / float(n - 1));
            }
        glVertexPointer(3, GL_FLOAT, 5 * sizeof(float), row.data());
        glTexCoordPointer(2, GL_FLOAT, 5 * sizeof(float), row.data() + 3);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 2 * n);
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

uint32_t terrain_block_texture(const Terrain* t, int32_t bx, int32_t bz)
{
    const Graphics* g = graphics_of(t);
    if (!g || bx < 0 || bz < 0 || bx >= g->blocks_per_side || bz >= g->blocks_per_side)
        return 0;
    return g->blocks[size_t(bz) * g->blocks_per_side + bx];
}

uint32_t terrain_clipmap_texture(const Terrain* t, int32_t level, int32_t column, int32_t row, bool* ready)
{
    const Graphics* g = graphics_of(t);
    *ready = false;
    if (!g || level < 0 || level >= clipmap_levels)
        return 0;
    const int32_t* o = g->origin[level];
    if (column < o[0] || column >= o[0] + 4 || row < o[1] || row >= o[1] + 4)
        return 0;
    const ClipmapEntry& e = g->clipmap[level][row & 3][column & 3];
    *ready = e.ready;
    return e.texture;
}
