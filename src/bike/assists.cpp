#include "bike/assists.h"

#include "bike/bike.h"
#include "bike/body_math.h"
#include "bike/physics.h"

#include <cmath>

using namespace bike_math;

namespace {

constexpr float slow_speed2 = 225; // (15 ft/s)^2: where the lean allowance reaches the roll limit
constexpr float bars_centring = -50; // per rad of steering angle, front wheel in the air
constexpr float assist_gain = 1.5f;
constexpr float lean_rate_gain = 2.5f; // desired roll rate per rad of lean error
constexpr float lean_rate_bound_over = 3.926991f; // 5 pi / 4: leaning further over
constexpr float lean_rate_bound_up = 9.817477f; // 25 pi / 8: coming up
constexpr float rope_stiffness = 5000;
constexpr float rope_damping = 500;

bool touching(const WheelContact& w)
{
    return w.depth > 0;
}

// Steering head minus lower fork, unit length, bike coordinates. Upright
// when the two points coincide.
Vec3 steering_axis(const BikeModel& m)
{
    Vec3 a = to_vec3(m.steering_head) - to_vec3(m.fork_lower_position);
    float l2 = length_squared(a);
    return l2 > 0 ? a * (1 / std::sqrt(l2)) : Vec3{0, 1, 0};
}

// Roll rate of the frame: the z part of its spin in its own coordinates,
// positive when the lean to the left grows.
float roll_rate(dBodyID frame)
{
    return vector_from_world(frame, body_angular_velocity(frame)).z;
}

float power_of(float x, int n)
{
    float r = 1;
    for (int i = 0; i < n; i++)
        r *= x;
    return r;
}

// The steering command of the lean controller: the bars turn so that the
// roll rate approaches the one that brings the lean to its target.
float lean_controller(const Bike* bike, float lean, float rate, float speed2)
{
    float allowance = lean_allowance(bike, speed2, 4);
    float wanted = (-bike->steer * allowance - lean) * lean_rate_gain;
    bool further = (wanted >= 0 && lean >= 0) || (wanted < 0 && lean < 0);
    float bound = further ? lean_rate_bound_over : lean_rate_bound_up;
    float q = clampf(wanted, -bound, bound);
    float e = clampf(q - rate, -0.125f, 0.125f);
    return clampf((rate - (q - e)) * 4, -1, 1);
}

} // namespace

float lean_angle(dBodyID body)
{
    Vec3 up = body_axis(body, 1);
    Vec3 forward = -body_axis(body, 2);
    float heading = std::sqrt(forward.x * forward.x + forward.z * forward.z);
    if (!(heading > 0))
        return 0;
    float hx = forward.x / heading, hz = forward.z / heading;
    float right = up.z * hx - up.x * hz;
    return std::acos(clampf(right, -1, 1)) - pi / 2;
}

void steer_torque(Bike* bike, float torque)
{
    Vec3 axis = vector_to_world(bike->bodies[body_frame], steering_axis(bike->model));
    Vec3 t = axis * finite_or_zero(torque);
    add_torque(bike->bodies[body_front_wheel], t);
    add_torque(bike->bodies[body_frame], -t);
}

float front_slip_angle(const Bike* bike)
{
    Vec3 a = steering_axis(bike->model);
    Vec3 d = {0, -a.z, a.y}; // square to the steering axis, along the wheel's path
    Vec3 v = vector_from_world(bike->bodies[body_steering], body_velocity(bike->bodies[body_front_wheel]));
    float g = dot(v, d);
    if (g * g + v.x * v.x <= 1)
        return 0;
    return -std::atan2(v.x, -g);
}

float steer_target(const Bike* bike, float angle)
{
    dJointID steering = bike->joints[joint_steering];
    float theta = float(dJointGetHingeAngle(steering));
    float w = float(dJointGetHingeAngleRate(steering));
    constexpr float dead_zone = 1.0f / 32;
    constexpr float dead_band = 1.0f / 2400;
    float c = angle - theta;
    float d;
    if (c < -0.25f) {
        d = -1.75f - w;
    } else {
        c = std::fmin(c, 0.25f);
        if (c <= -dead_zone)
            d = 8 * (c + dead_zone) - w;
        else if (c >= dead_zone)
            d = 8 * (c - dead_zone) - w;
        else
            d = -w;
    }
    float r;
    if (d >= 0)
        r = std::fmax(d - dead_band, 0.0f);
    else
        r = std::fmin(d + dead_band, 0.0f);
    return clampf(r * 0.5f, -2.0f / 3, 2.0f / 3);
}

float lean_allowance(const Bike* bike, float speed2, int power)
{
    float max2 = bike->max_dab_speed * bike->max_dab_speed;
    float limit = bike->roll_limit_angle;
    if (speed2 <= 0)
        return 0;
    if (speed2 >= max2)
        return 2 * pi;
    if (speed2 <= slow_speed2)
        return limit * (1 - power_of(1 - clampf(speed2 / max2, 0, 1), power));
    return limit + clampf((speed2 - slow_speed2) / (max2 - slow_speed2), 0, 1) * (2 * pi - limit);
}

void steering_assist(Bike* bike)
{
    if (bike->crash_timer >= 1 || (bike->options & option_arcade))
        return;
    dBodyID frame = bike->bodies[body_frame];
    float direct = bike->steering_strength * bike->steer * bike->direct_steering;
    float level;
    float wheel_rate = float(dJointGetHingeAngleRate(bike->joints[joint_front_axle]));
    if (touching(bike->front_contact) && wheel_rate > pi / 4) {
        float rate = roll_rate(frame);
        float roll = rate * bike->roll_damping * bike->landing_factor;
        if (bike->landing_factor > 1) {
            if (bike->land_damping_falloff == 0)
                bike->landing_factor = 1;
            else
                bike->landing_factor = std::fmax(
                    1.0f, bike->landing_factor - (bike->land_damping_factor - 1) * dt / bike->land_damping_falloff);
        }
        Vec3 v = body_velocity(frame);
        float speed = length(v);
        if (bike->slow_damping_speed > speed)
            roll *= bike->slow_damping_factor +
                    clampf(speed / bike->slow_damping_speed, 0, 1) * (1 - bike->slow_damping_factor);
        float lean = lean_angle(frame);
        bool growing = (rate >= 0 && lean >= 0) || (rate < 0 && lean < 0);
        if (growing && std::fabs(lean) > bike->roll_limit_angle)
            roll *= (std::fabs(lean) - bike->roll_limit_angle) * bike->roll_limit_factor + 1;
        level = lean * bike->leveling + roll;
        if (bike->direct_steering < 1) {
            float s = lean_controller(bike, lean, rate, speed * speed) * bike->steering_strength;
            direct = s + (direct - s) * bike->direct_steering;
        }
    } else {
        bike->landing_factor = bike->land_damping_factor;
        level = bars_centring * float(dJointGetHingeAngle(bike->joints[joint_steering]));
        if (!(bike->options & option_airborne_steering))
            direct = 0;
    }
    float torque = clampf((level + direct) * assist_gain, -bike->max_steering_force, bike->max_steering_force);
    steer_torque(bike, torque);
}

void arcade_steering(Bike* bike)
{
    if (!(bike->options & option_arcade))
        return;
    dBodyID frame = bike->bodies[body_frame];
    float lean = lean_angle(frame);
    float target = bike->steer * -pi / 4;
    float k = clampf((bike->roll_damping - 40) * 0.025f, 0, 1);
    float rate = (1.5f - 0.5f * k) * std::fmin(std::fabs(lean - target), 1.0f / 16) * 16;
    // Spin about the forward axis tips the up axis to the right, towards
    // smaller lean: a bike leaning more than its target spins positively.
    // (The opposite sign rolls the bike away from its target and onto its
    // side.)
    if (lean < target)
        rate = -rate;

    Vec3 forward = finite_or_zero(-body_axis(frame, 2));
    dJointID motor = dJointCreateAMotor(physics.world, physics.contact_group);
    dJointAttach(motor, frame, nullptr);
    dJointSetAMotorNumAxes(motor, 1);
    dJointSetAMotorAxis(motor, 0, 0, forward.x, forward.y, forward.z);
    dJointSetAMotorParam(motor, dParamVel, finite_or_zero(rate));
    dJointSetAMotorParam(motor, dParamFMax, 1000);

    steer_torque(bike, steer_target(bike, front_slip_angle(bike) - 0.5f * bike->steer) * bike->steering_strength);

    // Drag on a point far behind the bike damps its yaw.
    dVector3 v;
    dBodyGetRelPointVel(frame, 0, 0, 20, v);
    Vec3 drag = finite_or_zero(to_vec3(v) * -0.25f);
    dBodyAddForceAtRelPos(frame, drag.x, drag.y, drag.z, 0, 0, 20);
}

void front_damping(Bike* bike)
{
    dBodyID wheel = bike->bodies[body_front_wheel];
    Vec3 spin = body_angular_velocity(wheel);
    Vec3 axle = vector_to_world(wheel, {1, 0, 0});
    // Everything but the wheel's spin about its axle is damped.
    Vec3 t = (axle * dot(axle, spin) - spin) * bike->steering_damping;
    add_torque(wheel, t);
    add_torque(bike->bodies[body_frame], -t);
}

void cancel_joint_forces(Bike* bike, int frame_number)
{
    if (frame_number < 2 || bike->crash_timer > 0)
        return;
    for (dJointID joint : bike->joints)
        if (!dJointGetBody(joint, 0) || !dJointGetBody(joint, 1))
            return;
    dBodyID frame = bike->bodies[body_frame];
    Vec3 centre = body_position(frame);
    Vec3 force = {0, 0, 0}, moment = {0, 0, 0};
    for (int j = 0; j < bike_joint_count; j++) {
        const dJointFeedback& fb = bike->joint_feedback[j];
        Vec3 f1 = to_vec3(fb.f1), f2 = to_vec3(fb.f2);
        Vec3 r1 = body_position(dJointGetBody(bike->joints[j], 0)) - centre;
        Vec3 r2 = body_position(dJointGetBody(bike->joints[j], 1)) - centre;
        force = force + f1 + f2;
        moment = moment + to_vec3(fb.t1) + to_vec3(fb.t2) + cross(r1, f1) + cross(r2, f2);
    }
    add_force(frame, -force);
    add_torque(frame, -moment);
}

void rope(dBodyID a, Vec3 point_a, dBodyID b, Vec3 point_b, float length)
{
    Vec3 p = world_point(a, point_a);
    Vec3 q = world_point(b, point_b);
    Vec3 d = q - p;
    float d2 = length_squared(d);
    if (!(d2 > length * length) || !is_finite(d))
        return;
    dContact contact{};
    contact.surface.mode = dContactSoftERP | dContactSoftCFM;
    contact.surface.mu = 0;
    float k = rope_stiffness * dt;
    contact.surface.soft_erp = k / (k + rope_damping);
    contact.surface.soft_cfm = 1 / (k + rope_damping);
    contact.geom.pos[0] = p.x;
    contact.geom.pos[1] = p.y;
    contact.geom.pos[2] = p.z;
    // The difference itself, not a unit normal: the pull grows with the
    // length of the rope.
    contact.geom.normal[0] = d.x;
    contact.geom.normal[1] = d.y;
    contact.geom.normal[2] = d.z;
    contact.geom.depth = std::sqrt(d2) - length;
    dJointID joint = dJointCreateContact(physics.world, physics.contact_group, &contact);
    dJointAttach(joint, a, b);
}
