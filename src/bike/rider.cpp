#include "bike/rider.h"

#include "bike/assists.h"
#include "bike/bike.h"
#include "bike/body_math.h"
#include "bike/drivetrain.h"
#include "bike/physics.h"
#include "bike/suspension.h"
#include "data/config.h"
#include "track/terrain.h"

#include <cmath>
#include <initializer_list>

using namespace bike_math;

namespace {

constexpr int thrown_steps = 512; // crash timer right after the throw
constexpr float thrown_off_v2 = 961; // (31 ft/s)^2 against the bike
constexpr float thrown_off_a2 = 1893376; // (1376 ft/s^2)^2: about 43 g
constexpr float gravity = 32;
constexpr float at_rest_v2 = 4; // (2 ft/s)^2
constexpr float stiff = 2500; // spring and damper of a torso beyond its travel
constexpr float foot_clearance = 0.25f;

Vec3 seat_offset(const BikeModel& m)
{
    return to_vec3(m.rider_position) - to_vec3(m.frame_position);
}

// One side of a spring between torso and frame along a frame axis: a
// contact pushes only, so the side that has an error pulls back towards the
// target.
void spring_contact(Bike* bike, Vec3 at, Vec3 axis, float error, float spring, float damper)
{
    if (error < 0) {
        axis = -axis;
        error = -error;
    }
    float k = spring * dt;
    dContact contact{};
    contact.surface.mode = dContactSoftERP | dContactSoftCFM;
    contact.surface.mu = 0;
    contact.surface.soft_erp = k / (damper + k);
    contact.surface.soft_cfm = 1 / (damper + k);
    contact.geom.pos[0] = at.x;
    contact.geom.pos[1] = at.y;
    contact.geom.pos[2] = at.z;
    contact.geom.normal[0] = axis.x;
    contact.geom.normal[1] = axis.y;
    contact.geom.normal[2] = axis.z;
    contact.geom.depth = finite_or_zero(error);
    dJointID joint = dJointCreateContact(physics.world, physics.contact_group, &contact);
    dJointAttach(joint, bike->bodies[body_torso], bike->bodies[body_frame]);
}

// Replaces v's part along the unit n by that of reference.
Vec3 with_part_along(Vec3 v, Vec3 n, Vec3 reference)
{
    return v + n * (dot(n, reference) - dot(n, v));
}

void reseat(Bike* bike)
{
    dBodyID frame = bike->bodies[body_frame], torso = bike->bodies[body_torso];
    Vec3 seat = world_point(frame, seat_offset(bike->model));
    dBodySetPosition(torso, seat.x, seat.y, seat.z);
    dBodySetRotation(torso, dBodyGetRotation(frame));
    // Moving with the seat, so the joint does not jolt the bike when it
    // takes hold.
    Vec3 v = point_velocity(frame, seat);
    dBodySetLinearVel(torso, v.x, v.y, v.z);
    const dReal* w = dBodyGetAngularVel(frame);
    dBodySetAngularVel(torso, w[0], w[1], w[2]);
    attach_rider_joint(bike);
    bike->crash_wait = 0;
}

// While the rider is off: his hands hold the bars while he tumbles, and once
// he has come to rest (or waited long enough) ropes pull him back to the
// seat, a foot walks to its peg, and at the end he sits on the bike again.
void thrown_off(Bike* bike)
{
    const BikeModel& m = bike->model;
    dBodyID frame = bike->bodies[body_frame], torso = bike->bodies[body_torso];
    dBodyID steering = bike->bodies[body_steering];
    int s = bike->crash_timer;
    bool moving = length_squared(body_velocity(torso)) >= at_rest_v2;
    if (moving) {
        float arm = 0.875f * (m.upper_arm_length + m.forearm_length);
        rope(torso, to_vec3(m.left_shoulder), steering, to_vec3(m.left_grip), arm);
        rope(torso, to_vec3(m.right_shoulder), steering, to_vec3(m.right_grip), arm);
        if (s == thrown_steps)
            rope(torso, {0, m.right_hip[1], m.right_hip[2]}, steering, {0, m.right_grip[1], m.right_grip[2] + 10}, 8);
        bike->crash_wait++;
    }
    // A torso that never comes to rest (a bike sliding on and on, an arcade
    // bike rolling upright down a hill) would keep the rider off for good:
    // after crash_wait_limit steps the count runs regardless.
    if (!moving || bike->crash_wait >= crash_wait_limit)
        s--;

    if (s <= thrown_steps - 1) {
        float length = 5 * clampf(float(s - 128) / 384, 0, 1);
        Vec3 seat = seat_offset(m);
        for (Vec3 o : {Vec3{0, 0, 0}, Vec3{-5, 10, 0}, Vec3{5, 10, 0}})
            rope(frame, seat + o, torso, o, length);
    }
    if (s <= 319) {
        bool left = lean_angle(frame) < 0;
        Vec3 peg = to_vec3(left ? m.left_peg : m.right_peg);
        Vec3* foot = left ? &bike->left_foot : &bike->right_foot;
        Vec3* velocity = left ? &bike->left_foot_velocity : &bike->right_foot_velocity;
        Vec3 d = world_point(frame, peg + Vec3{0, 3, 1}) - *foot;
        if (length_squared(d) > 0) {
            Vec3 step = d * 32;
            float l = length(step);
            if (l > 1)
                step = step * (1 / l);
            *velocity = finite_or_zero(step * 4);
        }
    }
    if (s <= 0) {
        s = 0;
        reseat(bike);
    }
    bike->crash_timer = s;
}

// The thrown-off rider's feet as particles: falling, stopped by the ground,
// held within leg's reach of the hips and below them.
void move_foot(Bike* bike, const Terrain* terrain, Vec3* foot, Vec3* velocity, const float hip[3])
{
    const BikeModel& m = bike->model;
    dBodyID torso = bike->bodies[body_torso];
    Vec3 p = *foot + *velocity * dt;
    Vec3 v = *velocity;
    v.y -= gravity * dt;
    if (terrain) {
        float ground = terrain_height(terrain, p.x, p.z);
        if (p.y < ground + foot_clearance) {
            p.y = ground + foot_clearance;
            v = {0, 0, 0};
        }
    }
    v = v * 0.9375f;

    Vec3 h = world_point(torso, to_vec3(hip));
    float leg = m.thigh_length + m.shin_length;
    Vec3 r = p - h;
    float l = length(r);
    if (l > leg) {
        Vec3 n = r * (1 / l);
        p = h + n * leg;
        v = with_part_along(v, n, point_velocity(torso, p));
    }
    Vec3 down = vector_to_world(torso, {0, -1, 0});
    Vec3 plane = world_point(torso, to_vec3(m.left_hip)) + down;
    float below = dot(down, p - plane);
    if (below < 0) {
        p = p - down * below;
        v = with_part_along(v, down, point_velocity(torso, p));
    }
    *foot = finite_or_zero(p);
    *velocity = finite_or_zero(v);
}

} // namespace

void set_steer(Bike* bike, float steer)
{
    bike->steer = clampf(steer, -1, 1);
}

void set_throttle(Bike* bike, float throttle)
{
    bike->throttle = bike->crash_timer > 0 ? 0 : clampf(throttle, 0, 1);
}

void set_front_brake(Bike* bike, float brake)
{
    bike->front_brake = clampf(brake, 0, 1);
}

void set_rear_brake(Bike* bike, float brake)
{
    bike->rear_brake = clampf(brake, 0, 1);
}

void set_clutch(Bike* bike, float engagement)
{
    bike->clutch = clampf(engagement, 0, 1);
}

void set_dab(Bike* bike, float dab)
{
    bike->dab = bike->crash_timer > 0 ? 0 : clampf(dab, 0, 1);
}

void set_back_up(Bike* bike, float back_up)
{
    bike->back_up = bike->crash_timer > 0 ? 0 : clampf(back_up, 0, 1);
}

void set_lean(Bike* bike, float lean)
{
    bike->lean = bike->crash_timer > 0 ? 0 : clampf(lean, -1, 1);
}

void apply_controls(Bike* bike, const RiderControls& c, StickyDab* sticky)
{
    set_steer(bike, config.reverse_steering.index == 1 ? -c.steer : c.steer);
    set_front_brake(bike, c.front_brake);
    set_rear_brake(bike, c.rear_brake);
    set_throttle(bike, c.throttle);
    float dab = c.dab;
    if (config.sticky_dab.index == 1 && sticky) {
        if (c.dab >= 0.5f && !(sticky->previous_input >= 0.5f))
            sticky->latched = !sticky->latched;
        dab = sticky->latched ? 1 : 0;
        sticky->previous_input = c.dab;
    }
    set_dab(bike, dab);
    set_back_up(bike, c.back_up);
    set_lean(bike, c.lean);
    set_clutch(bike, clutch_engagement_step(bike->clutch, c.clutch_lever));
    shift(bike, c.shift > 0.5f ? 1 : c.shift < -0.5f ? -1 : 0);
}

void foot_positions(const Bike* bike, const Terrain* terrain, Vec3* left, Vec3* right, float* left_weight,
                    float* right_weight)
{
    const BikeModel& m = bike->model;
    dBodyID frame = bike->bodies[body_frame], torso = bike->bodies[body_torso];
    Vec3 left_peg = to_vec3(m.left_peg), right_peg = to_vec3(m.right_peg);
    if (bike->crash_timer >= 1) {
        // The feet leave the pegs with the rider and come back to them over
        // the last steps before he is seated again.
        float f = float(bike->crash_timer < 128 ? bike->crash_timer : 128) / 128;
        float out = 0.5f * clampf(2 * f - 1, 0, 1);
        float up = 1.75f * clampf(2 * f, 0, 1);
        float back = clampf(4 * f / 3, 0, 1);
        left_peg = left_peg + Vec3{-out, up, back};
        right_peg = right_peg + Vec3{out, up, back};
    }
    *left = world_point(frame, left_peg);
    *right = world_point(frame, right_peg);
    *left_weight = *right_weight = 0;

    if (bike->dab_amount != 0 && bike->crash_timer < 128 && terrain) {
        Vec3 hl = world_point(torso, to_vec3(m.left_hip)), hr = world_point(torso, to_vec3(m.right_hip));
        Vec3 span = hr - hl;
        float lean = lean_angle(frame);
        float e = clampf(std::fabs(lean) * 4 / pi, 0, 1);
        Vec3 back = body_axis(frame, 2);
        float s = clampf(-dot(back, body_velocity(frame)) / 15, 0, 1);
        float ahead = (1.25f * s - 0.25f) * e * 2.5f;
        float ox = -back.x * ahead, oz = -back.z * ahead;
        // The weight of a foot that goes down is how far it has gone.
        auto put_down = [&](Vec3* foot, float* weight, Vec3 hip, float across) {
            float x = hip.x + across * span.x + ox, z = hip.z + across * span.z + oz;
            Vec3 ground = {x, terrain_height(terrain, x, z) + 0.125f, z};
            *foot = *foot + (ground - *foot) * bike->dab_amount;
            *weight = bike->dab_amount;
        };
        if (lean > -0.1f)
            put_down(left, left_weight, hl, 0.5f * e - 0.5f);
        if (lean < 0.1f)
            put_down(right, right_weight, hr, 0.5f - 0.5f * e);
    }

    if (bike->crash_timer > 0) {
        float g = clampf(float(2 * bike->crash_timer - 128), 1, 128) / 128;
        *left = *left + (bike->left_foot - *left) * g;
        *right = *right + (bike->right_foot - *right) * g;
        *left_weight = *right_weight = 1;
    }
}

void throw_rider(Bike* bike, const Terrain* terrain)
{
    dBodyID torso = bike->bodies[body_torso];
    dJointAttach(bike->joints[joint_rider], nullptr, nullptr);
    float lw, rw;
    foot_positions(bike, terrain, &bike->left_foot, &bike->right_foot, &lw, &rw);
    bike->left_foot_velocity = point_velocity(torso, bike->left_foot);
    bike->right_foot_velocity = point_velocity(torso, bike->right_foot);
    bike->crash_timer = thrown_steps;
    bike->crash_wait = 0;
    // His hands are off the controls at once, not only from the next input.
    bike->throttle = bike->dab = bike->back_up = bike->lean = 0;
}

bool crash_test(Bike* bike, int frame, const Terrain* terrain)
{
    if (bike->crash_timer != 0)
        return false;
    dBodyID torso = bike->bodies[body_torso];
    Vec3 p = body_position(torso), v = body_velocity(torso);
    Vec3 relative = v - point_velocity(bike->bodies[body_frame], p);
    bool thrown = length_squared(relative) > thrown_off_v2;
    if (!thrown) {
        Vec3 before = bike->torso_velocity_history[((frame % velocity_history_length) + velocity_history_length) %
                                                   velocity_history_length];
        Vec3 a = (v - before) * (0.25f / dt) + Vec3{0, gravity, 0};
        thrown = length_squared(a) > thrown_off_a2;
    }
    if (thrown)
        throw_rider(bike, terrain);
    return thrown;
}

void rider_springs(Bike* bike)
{
    dBodyID frame = bike->bodies[body_frame], torso = bike->bodies[body_torso];
    Vec3 up = body_axis(frame, 1), back = body_axis(frame, 2);
    Vec3 p = body_position(torso);
    Vec3 w = world_point(frame, seat_offset(bike->model)) - p;

    float h = dot(w, up); // positive with the torso below its seat
    float target = clampf(h * (0.5f + bike->dab * 0.5f) - bike->lean, -0.75f, 0.75f);
    float vertical_error = h + 0.125f - 0.5f * bike->dab;

    float u = dot(w, back);
    float forward_error = u - target;
    float spring, damper;
    if (u < -0.75f || u > 0.75f) {
        spring = damper = stiff;
    } else {
        spring = bike->rider_zspring * 600 + std::fabs(forward_error) * 100;
        damper = 0;
    }
    if (spring > 0)
        spring_contact(bike, p, back, forward_error, spring, damper);

    if (h > 0.5f || h < -0.75f) {
        spring = damper = stiff;
    } else {
        spring = bike->rider_yspring * 400;
        damper = bike->rider_ydamping * 100;
    }
    if (spring + damper > 0)
        spring_contact(bike, p, up, vertical_error, spring, damper);

    dJointID joint = bike->joints[joint_rider];
    dJointSetHinge2Param(joint, dParamSuspensionERP, 0);
    dJointSetHinge2Param(joint, dParamSuspensionCFM, 1 / (bike->rider_zdamping * 30 + 5));
}

void bike_update(Bike* bike, bool simulated, int frame, const Terrain* terrain)
{
    if (!simulated) {
        for (dBodyID body : bike->bodies) {
            dBodySetForce(body, 0, 0, 0);
            dBodySetTorque(body, 0, 0, 0);
        }
        return;
    }
    crash_test(bike, frame, terrain);
    if (bike->crash_timer > 0)
        thrown_off(bike);
    // The low-speed aids may hold the brakes or put a foot down for this
    // step only; the rider's own inputs come back afterwards.
    float front_brake = bike->front_brake, rear_brake = bike->rear_brake, dab = bike->dab;
    rider_springs(bike);
    suspension_step(bike);
    if (bike->options & option_arcade)
        arcade_steering(bike);
    else if (bike->crash_timer < 1)
        steering_assist(bike);
    drivetrain_step(bike, frame);
    front_damping(bike);
    cancel_joint_forces(bike, frame);
    bike->front_brake = front_brake;
    bike->rear_brake = rear_brake;
    bike->dab = dab;

    if (bike->crash_timer > 0) {
        const BikeModel& m = bike->model;
        move_foot(bike, terrain, &bike->left_foot, &bike->left_foot_velocity, m.left_hip);
        move_foot(bike, terrain, &bike->right_foot, &bike->right_foot_velocity, m.right_hip);
    }
    bike->dab_amount = std::fmax(0.0f, bike->dab_amount - 4 * dt);
    bike->torso_velocity_history[((frame % velocity_history_length) + velocity_history_length) %
                                 velocity_history_length] = body_velocity(bike->bodies[body_torso]);
}
