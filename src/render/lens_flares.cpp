// Lens flares: a bright source in view, not hidden behind anything, strings
// its elements along the line from it through the middle of the picture.
#include "data/config.h"
#include "render/scene_parts.h"
#include "track/lighting.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

namespace {

// The depth buffer's value turned back into the distance between the near
// and far planes, 0 at the near plane and 1 at the far one.
float linear_depth(float d)
{
    return (1250 / (5000 - 4999.75f * d) - 0.25f) * 0.00020001f;
}

// The source's visibility: in view, over a bright pixel, and with nothing
// nearer in front of it. Fades out towards the edges of the picture.
float flare_intensity(LensFlare& flare, const float eye[3], const float r[9], int32_t width, int32_t height)
{
    float s[3];
    for (int k = 0; k < 3; k++)
        s[k] = flare.directional ? flare.position[k] : flare.position[k] - eye[k];
    // Into eye space: x right, y up, z backward.
    float x = s[0] * r[0] + s[1] * r[3] + s[2] * r[6];
    float y = s[0] * r[1] + s[1] * r[4] + s[2] * r[7];
    float z = s[0] * r[2] + s[1] * r[5] + s[2] * r[8];
    float tx = scene_view.view_tan_x, ty = scene_view.view_tan_y;
    if (!(-z > 0))
        return 0;
    float px = x / -z, py = y / -z;
    flare.screen_x = px;
    flare.screen_y = py;
    if (std::fabs(px) > tx || std::fabs(py) > ty)
        return 0;
    int32_t pixel_x = std::clamp(int32_t((px / tx + 1) / 2 * float(width)), 0, width - 1);
    int32_t pixel_y = std::clamp(int32_t((py / ty + 1) / 2 * float(height)), 0, height - 1);
    unsigned char colour[4] = {};
    glReadPixels(pixel_x, pixel_y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, colour);
    if (colour[0] <= 223 || colour[1] <= 223 || colour[2] <= 223)
        return 0;
    float depth = 1;
    glReadPixels(pixel_x, pixel_y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    float behind = linear_depth(depth);
    if (flare.directional) {
        if (behind < 0.4f)
            return 0;
    } else if (behind < std::clamp((-z - 0.25f) * 0.00020001f, 0.0f, 1.0f)) {
        return 0;
    }
    float m = std::min(tx, ty) / 32;
    float ix = std::clamp((tx - std::fabs(px)) / m, 0.0f, 1.0f);
    float iy = std::clamp((ty - std::fabs(py)) / m, 0.0f, 1.0f);
    return std::min(ix, iy);
}

} // namespace

void draw_lens_flares(const float eye[3], const float r[9], int32_t width, int32_t height)
{
    if (config.lens_flare.index != 1 || lighting.flare_count <= 0 || width <= 0 || height <= 0)
        return;
    forget_bound_textures();
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    // Every reading of the picture comes before anything is drawn on it.
    for (int32_t i = 0; i < lighting.flare_count; i++) {
        LensFlare& flare = lighting.flares[i];
        flare.intensity = flare_intensity(flare, eye, r, width, height);
    }
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    for (int32_t i = 0; i < lighting.flare_count; i++) {
        const LensFlare& flare = lighting.flares[i];
        if (!(flare.intensity > 0))
            continue;
        float px = flare.screen_x, py = flare.screen_y;
        for (int32_t j = 0; j < flare.element_count; j++) {
            float a = flare.element_offset[j][0], b = flare.element_offset[j][1];
            float cx = py * a + px * b, cy = -px * a + py * b, h = flare.element_size[j];
            const float* c = flare.element_color[j];
            bind_texture_unit(0, flare.element_texture[j]);
            glColor4f(c[0] * flare.intensity, c[1] * flare.intensity, c[2] * flare.intensity, 1);
            glBegin(GL_QUADS);
            glTexCoord2f(0, 1);
            glVertex3f(cx - h, cy - h, -1);
            glTexCoord2f(1, 1);
            glVertex3f(cx + h, cy - h, -1);
            glTexCoord2f(1, 0);
            glVertex3f(cx + h, cy + h, -1);
            glTexCoord2f(0, 0);
            glVertex3f(cx - h, cy + h, -1);
            glEnd();
        }
    }
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_CULL_FACE);
}
