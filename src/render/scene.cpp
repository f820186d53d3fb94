#include "render/scene.h"

#include "render/terrain_draw.h"
#include "track/terrain.h"

#include <GL/gl.h>

#include <cmath>

SceneView scene_view;

void set_projection(int32_t width, int32_t height, float fov)
{
    glViewport(0, 0, width, height);
    float aspect = height > 0 ? float(width) / float(height) : 4.0f / 3;
    float half = std::tan(fov * 3.14159265f / 360);
    if (aspect > 4.0f / 3) {
        scene_view.view_tan_y = half * 0.75f;
        scene_view.view_tan_x = aspect * scene_view.view_tan_y;
    } else {
        scene_view.view_tan_x = half;
        scene_view.view_tan_y = half / aspect;
    }
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    float tx = scene_view.view_tan_x, ty = scene_view.view_tan_y;
    glFrustum(-tx / 4, tx / 4, -ty / 4, ty / 4, 0.25, 5000);
    glMatrixMode(GL_MODELVIEW);
}

void look_at_rotation(const float eye[3], const float target[3], float r[9])
{
    float dx = eye[0] - target[0], dy = eye[1] - target[1], dz = eye[2] - target[2];
    float flat = dx * dx + dz * dz;
    float length = std::sqrt(flat + dy * dy);
    if (!(flat > 0) || !(length > 0)) {
        // Straight above or below the target: any heading will do.
        dx = 0;
        dz = 1e-3f;
        flat = dz * dz;
        length = std::sqrt(flat + dy * dy);
    }
    float h = std::sqrt(flat);
    float right[3] = {dz / h, 0, -dx / h};
    float up[3] = {-dx * dy, flat, -dz * dy};
    float ul = std::sqrt(up[0] * up[0] + up[1] * up[1] + up[2] * up[2]);
    float back[3] = {dx / length, dy / length, dz / length};
    for (int row = 0; row < 3; row++) {
        r[row * 3 + 0] = right[row];
        r[row * 3 + 1] = up[row] / ul;
        r[row * 3 + 2] = back[row];
    }
}

void draw_scene(Terrain* terrain, const float eye[3], const float r[9], int32_t width, int32_t height, float fov)
{
    for (int k = 0; k < 3; k++)
        scene_view.eye_position[k] = eye[k];
    for (int k = 0; k < 9; k++)
        scene_view.eye_rotation[k] = r[k];
    if (terrain) {
        for (int k = 0; k < 3; k++) {
            terrain->camera_position[k] = eye[k];
            terrain->camera_forward[k] = -r[k * 3 + 2];
        }
        update_ground_textures(terrain);
    }
    // The composites may have used the back buffer as their scratch
    // surface; until the sky box covers the frame, it starts clear here.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    set_projection(width, height, fov);
    // World to eye: the transpose of the rotation, then the eye moved to
    // the origin. GL reads the matrix by columns, so the rows of the
    // rotation go in as they are.
    const float m[16] = {r[0], r[1], r[2], 0, r[3], r[4], r[5], 0, r[6], r[7], r[8], 0, 0, 0, 0, 1};
    glLoadMatrixf(m);
    glTranslatef(-eye[0], -eye[1], -eye[2]);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDepthMask(GL_TRUE);
    if (terrain)
        draw_terrain(terrain);
}

void draw_look_at(Terrain* terrain, const float eye[3], const float target[3], int32_t width, int32_t height,
                  float fov)
{
    float r[9];
    look_at_rotation(eye, target, r);
    draw_scene(terrain, eye, r, width, height, fov);
}
