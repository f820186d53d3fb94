// The track's objects: the statues in a lit pass and a reflection pass, and
// the billboards (roost particles among them) in depth order, far to near.
#include "assets/frame_stats.h"
#include "assets/model.h"
#include "base/launch.h"
#include "bike/bike_graphics.h"
#include "data/config.h"
#include "render/gl_caps.h"
#include "render/scene_parts.h"
#include "track/lighting.h"
#include "track/objects.h"

#include <GL/gl.h>

#include <cmath>
#include <cstring>

namespace {

// The statue's orientation as drawn: rows are the images of its x, y and z
// axes. Beyond its facing distance it turns its z axis towards the eye.
void statue_axes(const Statue& s, float distance, float axes[3][3])
{
    std::memcpy(axes, s.rotation, sizeof s.rotation);
    float t = s.face_distance;
    if (!(t > 0))
        return;
    float g = t - launch.lod_bias;
    if (!(g * g < distance * distance * launch.lod_scale * launch.lod_scale))
        return;
    const float* eye = scene_view.eye_position;
    float dx = eye[0] - s.x, dz = eye[2] - s.z, h = std::sqrt(dx * dx + dz * dz);
    if (!(h > 0))
        return;
    const float z[3] = {dx / h, 0, dz / h};
    const float out[3][3] = {{z[2], 0, -z[0]}, {0, 1, 0}, {z[0], 0, z[2]}};
    std::memcpy(axes, out, sizeof out);
}

void draw_statue(const Statue& s, bool reflections)
{
    const float* eye = scene_view.eye_position;
    float dx = s.x - eye[0], dy = s.y - eye[1], dz = s.z - eye[2];
    float distance = std::sqrt(dx * dx + dy * dy + dz * dz);
    double detail = config.model_detail.value;
    if (detail <= 10 && distance > 20 * detail * detail)
        return;
    float axes[3][3];
    statue_axes(s, distance, axes);
    const float position[3] = {s.x, s.y, s.z};
    const float gl[16] = {axes[0][0], axes[0][1], axes[0][2], 0, axes[1][0], axes[1][1], axes[1][2], 0,
                          axes[2][0], axes[2][1], axes[2][2], 0, s.x,        s.y,        s.z,        1};
    glPushMatrix();
    glMultMatrixf(gl);
    glColor4f(1, 1, 1, 1);
    if (reflections) {
        float m[9]; // object to world, row-major
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 3; c++)
                m[r * 3 + c] = axes[c][r];
        draw_model_env(s.model, eye, position, m);
    } else {
        draw_model(s.model, position);
    }
    glPopMatrix();
}

// Half the width of a billboard's picture.
float half_width(const Billboard& b)
{
    return b.height * b.aspect / 2;
}

// Whether e's bottom edge and m's, seen from the eye in the x-z plane,
// interleave in direction.
bool overlaps(const Billboard& e, const Billboard& m, const float eye[3], const float right[3])
{
    float we = half_width(e), wm = half_width(m);
    float m1x = m.x - wm * right[0] - eye[0], m1z = m.z - wm * right[2] - eye[2];
    float m2x = m.x + wm * right[0] - eye[0], m2z = m.z + wm * right[2] - eye[2];
    float e1x = e.x - we * right[0] - eye[0], e1z = e.z - we * right[2] - eye[2];
    float e2x = e.x + we * right[0] - eye[0], e2z = e.z + we * right[2] - eye[2];
    return e2x * m1z - m1x * e2z < 0 && m2x * e1z - m2z * e1x < 0;
}

void horizontal_right(const float backward[3], float right[3])
{
    float h = std::sqrt(backward[0] * backward[0] + backward[2] * backward[2]);
    if (h > 0) {
        right[0] = backward[2] / h;
        right[1] = 0;
        right[2] = -backward[0] / h;
    } else {
        right[0] = 1;
        right[1] = right[2] = 0;
    }
}

int32_t depth_key(double along)
{
    double key = std::floor(along * 1024 + 16777216.0);
    return key > 0 ? (key < 2147483647.0 ? int32_t(key) : 2147483647) : 0;
}

} // namespace

int32_t order_billboards(const float eye[3], const float b[3], int32_t lookahead, int32_t* order)
{
    TrackObjects& objects = track_objects;
    int32_t eye_key = depth_key(double(b[0]) * eye[0] + double(b[1]) * eye[1] + double(b[2]) * eye[2]);
    int32_t n = 0;
    for (int32_t i = 0; i < objects.billboard_count; i++) {
        Billboard& bb = objects.billboards[i];
        if (!bb.texture || !bb.color[3])
            continue;
        // A particle counts from its near edge, so that it sorts in front
        // of what it flies past.
        float s = i < roost_sprite_count ? bb.height * bb.aspect : 0;
        bb.sort_key = depth_key(double(b[0]) * bb.x + double(b[1]) * bb.y + double(b[2]) * bb.z + s);
        if (bb.sort_key < eye_key)
            order[n++] = i;
    }
    // Least significant byte first; each pass is stable.
    int32_t* from = order;
    int32_t* to = order + objects.billboard_count;
    for (int shift = 0; shift < 32; shift += 8) {
        int32_t counts[257] = {};
        for (int32_t k = 0; k < n; k++)
            counts[((uint32_t(objects.billboards[from[k]].sort_key) >> shift) & 255) + 1]++;
        for (int i = 0; i < 256; i++)
            counts[i + 1] += counts[i];
        for (int32_t k = 0; k < n; k++)
            to[counts[(uint32_t(objects.billboards[from[k]].sort_key) >> shift) & 255]++] = from[k];
        std::swap(from, to);
    }
    // Four passes bring the result back to the front of the buffer.

    if (lookahead > 1) {
        float right[3];
        horizontal_right(b, right);
        for (int32_t k = 0; k + 1 < n; k++) {
            uint32_t texture = objects.billboards[order[k]].texture;
            int32_t m = -1;
            for (int32_t j = k + 1; j < n && j < k + lookahead; j++)
                if (objects.billboards[order[j]].texture == texture) {
                    m = j;
                    break;
                }
            if (m <= k + 1)
                continue;
            const Billboard& moved = objects.billboards[order[m]];
            bool clear = true;
            for (int32_t e = k + 1; e < m && clear; e++)
                clear = !overlaps(objects.billboards[order[e]], moved, eye, right);
            if (!clear)
                continue;
            int32_t entry = order[m];
            std::memmove(order + k + 2, order + k + 1, size_t(m - k - 1) * sizeof *order);
            order[k + 1] = entry;
        }
    }
    return n;
}

void draw_statues()
{
    const TrackObjects& objects = track_objects;
    forget_bound_textures();
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    bool any_reflections = false;
    for (int32_t i = 0; i < objects.statue_count; i++) {
        const Statue& s = objects.statues[i];
        if (!s.model)
            continue;
        bind_part({s.texture, s.normal_map, s.spec_map});
        draw_statue(s, false);
        any_reflections = any_reflections || model_has_env_meshes(s.model);
    }
    use_program(program_fixed);
    if (!any_reflections)
        return;
    glDisable(GL_LIGHTING);
    glBlendFunc(GL_ONE, GL_ONE);
    bind_texture_unit(0, lighting.env_map);
    for (int32_t i = 0; i < objects.statue_count; i++) {
        const Statue& s = objects.statues[i];
        if (!s.model || !model_has_env_meshes(s.model))
            continue;
        bind_texture_unit(1, s.normal_map);
        use_program(shaders_in_use() ? (s.normal_map ? program_norm_env : program_env) : program_fixed);
        draw_statue(s, true);
    }
    use_program(program_fixed);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void draw_billboards()
{
    TrackObjects& objects = track_objects;
    if (!objects.billboard_count || !objects.billboard_order)
        return;
    const float* eye = scene_view.eye_position;
    const float* r = scene_view.eye_rotation;
    const float backward[3] = {r[2], r[5], r[8]};
    int32_t n = order_billboards(eye, backward, config.billboard_optimize_lookahead,
                                 objects.billboard_order);
    float right[3];
    horizontal_right(backward, right);
    forget_bound_textures();
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glDepthMask(GL_FALSE);
    uint32_t current = 0;
    bool open = false;
    for (int32_t k = 0; k < n; k++) {
        const Billboard& b = objects.billboards[objects.billboard_order[k]];
        if (!open || b.texture != current) {
            if (open)
                glEnd();
            bind_texture_unit(0, b.texture);
            current = b.texture;
            glBegin(GL_QUADS);
            open = true;
        }
        float w = half_width(b), h = b.height;
        glColor4ub(b.color[0], b.color[1], b.color[2], b.color[3]);
        glTexCoord2f(0, 1);
        glVertex3f(b.x - w * right[0], b.y, b.z - w * right[2]);
        glTexCoord2f(1, 1);
        glVertex3f(b.x + w * right[0], b.y, b.z + w * right[2]);
        glTexCoord2f(1, 0);
        glVertex3f(b.x + w * right[0], b.y + h, b.z + w * right[2]);
        glTexCoord2f(0, 0);
        glVertex3f(b.x - w * right[0], b.y + h, b.z - w * right[2]);
    }
    if (open)
        glEnd();
    frame_stats.billboards += n;
    glDepthMask(GL_TRUE);
    glEnable(GL_CULL_FACE);
}
