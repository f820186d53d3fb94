#include "render/scene.h"

#include "assets/frame_stats.h"
#include "assets/model.h"
#include "assets/texture.h"
#include "base/launch.h"
#include "bike/bike.h"
#include "data/config.h"
#include "render/gl_caps.h"
#include "render/scene_parts.h"
#include "render/terrain_draw.h"
#include "track/lighting.h"
#include "track/objects.h"
#include "track/terrain.h"

#include <GL/gl.h>

#include <cmath>

SceneView scene_view;

namespace {

uint32_t bound_textures[3];

// The five faces of the sky box as its pictures are painted: the direction
// of picture point (u, v), both -1..1 with v up, seen from inside.
void sky_direction(int face, float u, float v, float d[3])
{
    switch (face) {
    case 0: // north
        d[0] = u, d[1] = v, d[2] = -1;
        break;
    case 1: // east
        d[0] = 1, d[1] = v, d[2] = u;
        break;
    case 2: // south
        d[0] = -u, d[1] = v, d[2] = 1;
        break;
    case 3: // west
        d[0] = -1, d[1] = v, d[2] = -u;
        break;
    default: // up, north at the top
        d[0] = u, d[1] = 1, d[2] = -v;
        break;
    }
}

// Drawn around the eye under the rotation alone; its corners, 2886 sqrt(3)
// = 4999 away, stay inside the far plane.
void draw_sky()
{
    const float half = 2886, lo = 0.0078125f, hi = 0.9921875f;
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glDisable(GL_ALPHA_TEST);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glColor4f(1, 1, 1, 1);
    static const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (int face = 0; face < sky_face_count; face++) {
        uint32_t texture = lighting.sky[face];
        if (texture) {
            glEnable(GL_TEXTURE_2D);
            bind_texture_unit(0, texture);
        } else {
            glDisable(GL_TEXTURE_2D);
        }
        glBegin(GL_QUADS);
        for (const auto& c : corners) {
            float d[3];
            sky_direction(face, c[0], c[1], d);
            glTexCoord2f(c[0] < 0 ? lo : hi, c[1] > 0 ? lo : hi);
            glVertex3f(d[0] * half, d[1] * half, d[2] * half);
        }
        glEnd();
    }
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

void set_fog()
{
    const GLfloat colour[4] = {lighting.fog_color[0], lighting.fog_color[1], lighting.fog_color[2], 1};
    glFogi(GL_FOG_MODE, GL_EXP);
    glFogf(GL_FOG_DENSITY, lighting.fog_density);
    glFogfv(GL_FOG_COLOR, colour);
    if (lighting.fog_density > 0)
        glEnable(GL_FOG);
    else
        glDisable(GL_FOG);
}

// Light 0 is the sun; with the view rotation loaded its direction is given
// in world coordinates.
void set_sun()
{
    const GLfloat position[4] = {lighting.sun_vector[0], lighting.sun_vector[1], lighting.sun_vector[2], 0};
    const GLfloat ambient[4] = {lighting.ambient[0], lighting.ambient[1], lighting.ambient[2], 1};
    const GLfloat sun[4] = {lighting.sun_color[0], lighting.sun_color[1], lighting.sun_color[2], 1};
    const GLfloat model_ambient[4] = {lighting.global_ambient[0], lighting.global_ambient[1],
                                      lighting.global_ambient[2], 1};
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, sun);
    glLightfv(GL_LIGHT0, GL_SPECULAR, sun);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, model_ambient);
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_TRUE);
    glEnable(GL_LIGHT0);
    // The caller's colour is the material's ambient and diffuse colour.
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_NORMALIZE);
}

} // namespace

bool shaders_in_use()
{
    return gl_caps.have_fragment_shader && program_of(program_lit) != 0;
}

void forget_bound_textures()
{
    for (uint32_t& t : bound_textures)
        t = ~0u;
}

void bind_texture_unit(int unit, uint32_t texture)
{
    if (unit < 0 || unit > 2 || bound_textures[unit] == texture)
        return;
    if (unit > 0 && (!gl_procs.active_texture || unit >= gl_caps.texture_units))
        return;
    if (unit > 0)
        gl_procs.active_texture(GL_TEXTURE0 + GLenum(unit));
    glBindTexture(GL_TEXTURE_2D, texture);
    if (unit > 0)
        gl_procs.active_texture(GL_TEXTURE0);
    bound_textures[unit] = texture;
    frame_stats.texture_binds++;
}

void bind_part(const PartTexture& part)
{
    bind_texture_unit(0, part.texture);
    if (!shaders_in_use())
        return;
    bind_texture_unit(1, part.normal_map);
    bind_texture_unit(2, part.specular_map);
    if (part.normal_map && part.specular_map)
        use_program(program_norm_spec_lit);
    else if (part.normal_map)
        use_program(program_norm_lit);
    else
        use_program(program_lit);
}

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

void on_bike_camera(dBodyID body, float height, float angle, float eye[3], float r[9])
{
    const float p0[3] = {0, 0.5f, -0.4f}, p1[3] = {0, 1.0583830f, -1.1933695f};
    dVector3 at;
    dBodyGetRelPointPos(body, p0[0] + height * (p1[0] - p0[0]), p0[1] + height * (p1[1] - p0[1]),
                        p0[2] + height * (p1[2] - p0[2]), at);
    for (int k = 0; k < 3; k++)
        eye[k] = float(at[k]);
    const dReal* m = dBodyGetRotation(body);
    float a = angle * 3.14159265f / 180, c = std::cos(a), s = std::sin(a);
    for (int row = 0; row < 3; row++) {
        float m0 = float(m[row * 4]), m1 = float(m[row * 4 + 1]), m2 = float(m[row * 4 + 2]);
        r[row * 3 + 0] = m0;
        r[row * 3 + 1] = m1 * c - m2 * s;
        r[row * 3 + 2] = m1 * s + m2 * c;
    }
}

float ghost_fade(float distance, float fade_distance)
{
    float half = fade_distance / 2;
    if (!(half > 0))
        return 1;
    float f = (distance - half) / (fade_distance - half);
    return f > 0 ? (f < 1 ? f : 1) : 0;
}

void draw_scene(const SceneContent& content, const float eye[3], const float r[9], int32_t width, int32_t height,
                int32_t first_person_slot)
{
    Terrain* terrain = content.terrain;
    reset_frame_stats();
    if (content.flaggers)
        update_flaggers(*content.flaggers);
    update_animated_textures(content.frame);

    for (int k = 0; k < 3; k++) {
        scene_view.eye_position[k] = eye[k];
        model_camera[k] = eye[k];
    }
    for (int k = 0; k < 9; k++)
        scene_view.eye_rotation[k] = r[k];
    if (terrain) {
        for (int k = 0; k < 3; k++) {
            terrain->camera_position[k] = eye[k];
            terrain->camera_forward[k] = -r[k * 3 + 2];
        }
        update_ground_textures(terrain);
    }
    set_projection(width, height, float(config.fov.value));
    forget_bound_textures();

    // World to eye: the transpose of the rotation. GL reads the matrix by
    // columns, so the rows of the rotation go in as they are.
    const float m[16] = {r[0], r[1], r[2], 0, r[3], r[4], r[5], 0, r[6], r[7], r[8], 0, 0, 0, 0, 1};
    glLoadMatrixf(m);
    if (shaders_in_use())
        set_env_matrix(r);

    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glDepthFunc(GL_ALWAYS);
    glDisable(GL_FOG);
    if (launch.flat_shading)
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    else
        draw_sky();
    set_fog();

    glTranslatef(-eye[0], -eye[1], -eye[2]);
    glDepthFunc(GL_LEQUAL);
    if (terrain)
        draw_terrain(terrain);

    set_sun();
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.75f);
    draw_riders(content, first_person_slot, false);
    draw_statues();
    glDisable(GL_ALPHA_TEST);
    draw_billboards();
    draw_riders(content, first_person_slot, true);

    use_program(program_fixed);
    glDisable(GL_LIGHTING);
    glDisable(GL_COLOR_MATERIAL);
    glDisable(GL_FOG);
    glLoadIdentity();
    glDepthFunc(GL_ALWAYS);
    draw_lens_flares(eye, r, width, height);
    glDepthFunc(GL_LEQUAL);
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
    glEnable(GL_CULL_FACE);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void draw_look_at(const SceneContent& content, const float eye[3], const float target[3], int32_t width,
                  int32_t height)
{
    float r[9];
    look_at_rotation(eye, target, r);
    for (float& v : scene_view.eye_velocity)
        v = 0;
    draw_scene(content, eye, r, width, height);
}

void draw_from_body(const SceneContent& content, dBodyID body, int32_t slot, int32_t width, int32_t height)
{
    float eye[3], r[9];
    on_bike_camera(body, float(config.first_person_height.value), float(config.first_person_angle.value), eye, r);
    const dReal* v = dBodyGetLinearVel(body);
    for (int k = 0; k < 3; k++)
        scene_view.eye_velocity[k] = float(v[k]);
    draw_scene(content, eye, r, width, height, slot);
}
