// Bikes and their riders: every rigid part at its body, the rider's body
// bent by the pose's bones, his head, the number plates, then the
// environment-mapped meshes again for their reflections.
#include "assets/model.h"
#include "base/vec3.h"
#include "bike/bike.h"
#include "bike/rider_pose.h"
#include "data/config.h"
#include "render/gl_caps.h"
#include "render/scene_parts.h"
#include "track/lighting.h"

#include <GL/gl.h>

#include <cmath>

namespace {

// What of the rider is drawn besides the bike.
enum RiderShown { rider_third_person = 0, rider_hidden = 1, rider_first_person = 2 };

struct RigidPart {
    Model* model;
    int body;
    const PartTexture* texture;
};

// The number plates show the number texture alone.
PartTexture number_part(const Bike* bike)
{
    return {bike->number_texture, 0, 0};
}

// World = R p + position; GL takes the matrix by columns.
void body_matrix(dBodyID body, float gl[16], float position[3], float rotation[9])
{
    const dReal* p = dBodyGetPosition(body);
    const dReal* r = dBodyGetRotation(body);
    for (int row = 0; row < 3; row++) {
        position[row] = float(p[row]);
        for (int col = 0; col < 3; col++) {
            rotation[row * 3 + col] = float(r[row * 4 + col]);
            gl[col * 4 + row] = float(r[row * 4 + col]);
        }
        gl[12 + row] = float(p[row]);
        gl[row * 4 + 3] = 0;
    }
    gl[15] = 1;
}

void columns_matrix(const float axes[9], const float position[3], float gl[16], float rotation[9])
{
    for (int col = 0; col < 3; col++)
        for (int row = 0; row < 3; row++) {
            gl[col * 4 + row] = axes[col * 3 + row];
            rotation[row * 3 + col] = axes[col * 3 + row];
        }
    for (int row = 0; row < 3; row++) {
        gl[12 + row] = position[row];
        gl[row * 4 + 3] = 0;
    }
    gl[15] = 1;
}

const float identity_rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

struct BikeDrawing {
    const Bike* bike;
    int shown;
    RigidPart parts[8];
    int part_count;
    PartTexture plate;
    RiderPose pose;
    bool posed;
};

void gather(BikeDrawing* d, const Bike* bike, int shown)
{
    const BikeGraphics& g = bike->graphics;
    d->bike = bike;
    d->shown = shown;
    d->plate = number_part(bike);
    RigidPart parts[8] = {
        {g.frame, body_frame, &g.bike},           {g.side_plates, body_frame, &d->plate},
        {g.front_plate, body_steering, &d->plate}, {g.fork_upper, body_steering, &g.bike},
        {g.fork_lower, body_fork_lower, &g.bike},  {g.swingarm, body_swingarm, &g.bike},
        {g.front_wheel, body_front_wheel, &g.wheels}, {g.rear_wheel, body_rear_wheel, &g.wheels},
    };
    d->part_count = 0;
    for (const RigidPart& p : parts)
        if (p.model)
            d->parts[d->part_count++] = p;
    d->posed = false;
    if (shown != rider_hidden && (g.rider_body || g.rider_body_fp)) {
        rider_pose(bike, nullptr, &d->pose);
        d->posed = true;
    }
}

Model* body_model(const BikeDrawing& d)
{
    const BikeGraphics& g = d.bike->graphics;
    if (d.shown == rider_first_person && g.rider_body_fp)
        return g.rider_body_fp;
    return g.rider_body;
}

// The lit pass: colour (1, 1, 1, alpha) over each part's texture.
void draw_lit(const BikeDrawing& d, float alpha)
{
    const BikeGraphics& g = d.bike->graphics;
    float gl[16], position[3], rotation[9];
    glColor4f(1, 1, 1, alpha);
    for (int i = 0; i < d.part_count; i++) {
        const RigidPart& p = d.parts[i];
        bind_part(*p.texture);
        body_matrix(d.bike->bodies[p.body], gl, position, rotation);
        glPushMatrix();
        glMultMatrixf(gl);
        draw_model(p.model, position);
        glPopMatrix();
    }
    if (!d.posed)
        return;
    float torso[3];
    const dReal* t = dBodyGetPosition(d.bike->bodies[body_torso]);
    for (int k = 0; k < 3; k++)
        torso[k] = float(t[k]);
    // Skinned vertices come out in world coordinates.
    if (Model* body = body_model(d)) {
        bind_part(g.rider_body_texture);
        draw_model_skinned(body, torso, rider_bone_count, d.pose.bones);
    }
    if (d.shown != rider_third_person)
        return;
    if (g.rider_plate) {
        bind_part(d.plate);
        draw_model_skinned(g.rider_plate, torso, rider_bone_count, d.pose.bones);
    }
    if (g.rider_head) {
        bind_part(g.rider_head_texture);
        columns_matrix(d.pose.head_rotation, d.pose.head_position, gl, rotation);
        glPushMatrix();
        glMultMatrixf(gl);
        draw_model(g.rider_head, d.pose.head_position);
        glPopMatrix();
    }
}

// The reflections, added on top without lighting.
void draw_reflections(const BikeDrawing& d, const float eye[3])
{
    const BikeGraphics& g = d.bike->graphics;
    float gl[16], position[3], rotation[9];
    for (int i = 0; i < d.part_count; i++) {
        const RigidPart& p = d.parts[i];
        if (!model_has_env_meshes(p.model))
            continue;
        bind_texture_unit(1, p.texture->normal_map);
        use_program(shaders_in_use() ? (p.texture->normal_map ? program_norm_env : program_env) : program_fixed);
        body_matrix(d.bike->bodies[p.body], gl, position, rotation);
        glPushMatrix();
        glMultMatrixf(gl);
        draw_model_env(p.model, eye, position, rotation);
        glPopMatrix();
    }
    if (!d.posed)
        return;
    Model* body = body_model(d);
    if (body && model_has_env_meshes(body)) {
        // Skinned vertices are world positions already: the object frame is
        // the world's.
        const float origin[3] = {0, 0, 0};
        use_program(shaders_in_use() ? program_env : program_fixed);
        draw_model_env_skinned(body, eye, origin, identity_rotation, rider_bone_count, d.pose.bones);
    }
    if (d.shown == rider_third_person && g.rider_head && model_has_env_meshes(g.rider_head)) {
        use_program(shaders_in_use() ? program_env : program_fixed);
        columns_matrix(d.pose.head_rotation, d.pose.head_position, gl, rotation);
        glPushMatrix();
        glMultMatrixf(gl);
        draw_model_env(g.rider_head, eye, d.pose.head_position, rotation);
        glPopMatrix();
    }
}

void draw_bike(const BikeDrawing& d, float alpha, const float eye[3])
{
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    draw_lit(d, alpha);

    glDisable(GL_LIGHTING);
    glBlendFunc(GL_ONE, GL_ONE);
    bind_texture_unit(0, lighting.env_map);
    glColor4f(alpha, alpha, alpha, 1);
    draw_reflections(d, eye);
    use_program(program_fixed);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

Vec3 frame_position(const Bike* bike)
{
    const dReal* p = dBodyGetPosition(bike->bodies[body_frame]);
    return {float(p[0]), float(p[1]), float(p[2])};
}

} // namespace

void draw_riders(const SceneContent& content, int32_t first_person_slot, bool translucent_ghosts)
{
    forget_bound_textures();
    const float* eye = scene_view.eye_position;
    const Bike* viewed = content.viewed_slot >= 0 && content.viewed_slot < scene_rider_slots
                             ? content.riders[content.viewed_slot].bike
                             : nullptr;
    float fade_distance = float(config.ghost_fade_distance.value);
    for (int slot = 0; slot < scene_rider_slots; slot++) {
        const SceneRider& rider = content.riders[slot];
        if (!rider.bike || rider.stale)
            continue;
        float fade = 1;
        if (rider.ghost && viewed && viewed != rider.bike)
            fade = ghost_fade(length(frame_position(rider.bike) - frame_position(viewed)), fade_distance);
        bool translucent = fade > 0 && fade < 1;
        if (translucent != translucent_ghosts || fade <= 0)
            continue;
        int shown = rider_third_person;
        if (slot == first_person_slot)
            shown = config.hide_rider.index == 1 ? rider_hidden : rider_first_person;
        BikeDrawing d;
        gather(&d, rider.bike, shown);
        draw_bike(d, fade, eye);
    }
}
