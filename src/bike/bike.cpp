#include "bike/bike.h"

#include "assets/font.h"
#include "base/alloc.h"
#include "bike/bike_setup.h"
#include "bike/physics.h"
#include "koru/log.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr int tyre_spheres = 16;
constexpr int initial_gate_frames = 16;
// The far anchor of the rider hinge: rotation about its second axis moves
// the torso almost straight up and down.
constexpr double rider_anchor_z = -50;

Vec3 vec(const float v[3])
{
    return {v[0], v[1], v[2]};
}

Vec3 body_position(dBodyID body)
{
    const dReal* p = dBodyGetPosition(body);
    return {float(p[0]), float(p[1]), float(p[2])};
}

void place_body(dBodyID body, double x, double y, double z, const dMatrix3 rotation)
{
    dBodySetPosition(body, x, y, z);
    dBodySetRotation(body, rotation);
    dBodySetLinearVel(body, 0, 0, 0);
    dBodySetAngularVel(body, 0, 0, 0);
    dBodySetForce(body, 0, 0, 0);
    dBodySetTorque(body, 0, 0, 0);
}

// atan(num / den) with 0 / 0 taken as 0, so a degenerate geometry gives no
// rotation instead of a NaN in the mass.
double ratio_angle(double num, double den)
{
    if (den == 0)
        return num > 0 ? pi / 2 : num < 0 ? -pi / 2 : 0;
    return std::atan(num / den);
}

// Steering head minus lower fork: the steering axis and the fork's slide.
// Upright when the two points coincide, which would leave the joints
// without an axis.
Vec3 steering_axis(const BikeModel& m)
{
    Vec3 axis = vec(m.steering_head) - vec(m.fork_lower_position);
    if (length_squared(axis) == 0)
        return {0, 1, 0};
    return axis;
}

// The hub as one sphere, the tyre as sixteen around the axle.
void wheel_mass(const WheelSpec& w, dMass* sum)
{
    dMassSetSphereTotal(sum, w.hub_mass, w.hub_radius);
    dMass sphere;
    dMassSetSphereTotal(&sphere, w.tyre_mass / tyre_spheres, w.tube_radius);
    dMassTranslate(&sphere, 0, w.ring_radius, 0);
    dMatrix3 step;
    dRFromAxisAndAngle(step, 1, 0, 0, pi / 8);
    for (int i = 0; i < tyre_spheres; i++) {
        dMassAdd(sum, &sphere);
        dMassRotate(&sphere, step);
    }
}

// Two legs lying along the steering axis.
void fork_mass(const BikeModel& m, dMass* sum)
{
    dMassSetZero(sum);
    for (double side : {1.0, -1.0}) {
        dMass leg;
        dMassSetCylinderTotal(&leg, m.fork_mass / 2, 2, m.fork_leg_spacing / 8.0, m.fork_leg_length * 2.0 / 3);
        dMassTranslate(&leg, side * m.fork_leg_spacing / 2, 0, 0);
        dMassAdd(sum, &leg);
    }
    dMatrix3 rake;
    dRFromAxisAndAngle(rake, 1, 0, 0,
                       ratio_angle(double(m.fork_lower_position[2]) - m.steering_head[2],
                                   double(m.fork_lower_position[1]) - m.steering_head[1]));
    dMassRotate(sum, rake);
}

// Two arms from the pivot to the rear axle, spaced by the frame's width.
void swingarm_mass(const BikeModel& m, dMass* sum)
{
    double w = m.frame_size[0];
    double dy = double(m.rear_wheel.position[1]) - m.swingarm_pivot[1];
    double dz = double(m.rear_wheel.position[2]) - m.swingarm_pivot[2];
    double dx = double(m.rear_wheel.position[0]) - m.swingarm_pivot[0];
    double arm_length = std::sqrt(dx * dx + dy * dy + dz * dz);
    dMassSetZero(sum);
    for (double side : {1.0, -1.0}) {
        dMass arm;
        dMassSetBoxTotal(&arm, m.swingarm_arm_mass, w / 4, w / 4, arm_length);
        dMassTranslate(&arm, side * w / 2, 0, 0);
        dMassAdd(sum, &arm);
    }
    dMatrix3 slope;
    dRFromAxisAndAngle(slope, 1, 0, 0, -ratio_angle(dy, dz));
    dMassRotate(sum, slope);
}

// The rider's mass split between the frame (riding rigidly in it) and the
// torso body.
void set_rider_masses(Bike* bike, double frame_share, double torso_share)
{
    const BikeModel& m = bike->model;
    dMass mass;
    dMassSetBoxTotal(&mass, m.frame_mass + frame_share, m.frame_size[0], m.frame_size[1], m.frame_size[2]);
    dBodySetMass(bike->bodies[body_frame], &mass);
    dMassSetSphereTotal(&mass, torso_share, 1);
    dBodySetMass(bike->bodies[body_torso], &mass);
}

void set_hinge(dJointID joint, dBodyID body1, dBodyID body2, const float anchor[3])
{
    dJointAttach(joint, body1, body2);
    dJointSetHingeAnchor(joint, anchor[0], anchor[1], anchor[2]);
}

void create_joints(Bike* bike)
{
    const BikeModel& m = bike->model;
    dWorldID world = physics.world;
    dBodyID* b = bike->bodies;
    dJointID* j = bike->joints;
    Vec3 steer = steering_axis(m);

    j[joint_front_axle] = dJointCreateHinge(world, nullptr);
    set_hinge(j[joint_front_axle], b[body_fork_lower], b[body_front_wheel], m.front_wheel.position);
    dJointSetHingeAxis(j[joint_front_axle], 1, 0, 0);

    j[joint_rear_axle] = dJointCreateHinge(world, nullptr);
    set_hinge(j[joint_rear_axle], b[body_swingarm], b[body_rear_wheel], m.rear_wheel.position);
    dJointSetHingeAxis(j[joint_rear_axle], 1, 0, 0);

    j[joint_steering] = dJointCreateHinge(world, nullptr);
    set_hinge(j[joint_steering], b[body_steering], b[body_frame], m.steering_head);
    dJointSetHingeAxis(j[joint_steering], steer.x, steer.y, steer.z);
    dJointSetHingeParam(j[joint_steering], dParamLoStop, -pi / 4);
    dJointSetHingeParam(j[joint_steering], dParamHiStop, pi / 4);

    j[joint_fork] = dJointCreateSlider(world, nullptr);
    dJointAttach(j[joint_fork], b[body_steering], b[body_fork_lower]);
    dJointSetSliderAxis(j[joint_fork], steer.x, steer.y, steer.z);
    dJointSetSliderParam(j[joint_fork], dParamBounce, 0);
    dJointSetSliderParam(j[joint_fork], dParamLoStop, -m.fork_travel);
    dJointSetSliderParam(j[joint_fork], dParamHiStop, 0);

    j[joint_swingarm] = dJointCreateHinge(world, nullptr);
    set_hinge(j[joint_swingarm], b[body_swingarm], b[body_frame], m.swingarm_pivot);
    dJointSetHingeParam(j[joint_swingarm], dParamBounce, 0);
    dJointSetHingeAxis(j[joint_swingarm], 1, 0, 0);
    dJointSetHingeParam(j[joint_swingarm], dParamLoStop, -m.swingarm_travel);
    dJointSetHingeParam(j[joint_swingarm], dParamHiStop, 0);

    j[joint_rider] = dJointCreateHinge2(world, nullptr);
    attach_rider_joint(bike);
    dJointSetHinge2Param(j[joint_rider], dParamLoStop, 0);
    dJointSetHinge2Param(j[joint_rider], dParamHiStop, 0);

    for (int i = 0; i < bike_joint_count; i++)
        dJointSetFeedback(j[i], &bike->joint_feedback[i]);
}

// Rest position of each body, in body order.
void rest_positions(const BikeModel& m, const float* out[bike_body_count])
{
    out[body_frame] = m.frame_position;
    out[body_front_wheel] = m.front_wheel.position;
    out[body_rear_wheel] = m.rear_wheel.position;
    out[body_steering] = m.steering_head;
    out[body_fork_lower] = m.fork_lower_position;
    out[body_swingarm] = m.swingarm_position;
    out[body_torso] = m.rider_position;
}

void init_wheel_contact(WheelContact* contact, dBodyID body, const WheelSpec& wheel)
{
    contact->body = body;
    contact->axle = {1, 0, 0};
    contact->ring_radius = wheel.ring_radius;
    contact->tube_radius = wheel.tube_radius;
}

} // namespace

void attach_rider_joint(Bike* bike)
{
    // Also re-seats a rider who was thrown off, wherever the bike lies now:
    // the anchor and axes are taken through the frame, so the joint holds
    // the torso where it sits at rest.
    const BikeModel& m = bike->model;
    dBodyID frame = bike->bodies[body_frame];
    dJointID joint = bike->joints[joint_rider];
    dJointAttach(joint, bike->bodies[body_torso], frame);
    dVector3 anchor;
    dBodyGetRelPointPos(frame, -double(m.frame_position[0]), double(m.rider_position[1]) - m.frame_position[1],
                        rider_anchor_z - m.frame_position[2], anchor);
    dJointSetHinge2Anchor(joint, anchor[0], anchor[1], anchor[2]);
    dVector3 axis1, axis2;
    dBodyVectorToWorld(frame, 0, 1, 1, axis1);
    dBodyVectorToWorld(frame, 1, 0, 0, axis2);
    dJointSetHinge2Axes(joint, axis1, axis2);
}

void set_rider_mass_distribution(Bike* bike, float d)
{
    // The setting's own range: a torso without mass would be refused by
    // the physics library.
    d = d >= 0.33f ? (d <= 0.5f ? d : 0.5f) : 0.33f;
    float rider = bike->model.rider_mass;
    set_rider_masses(bike, (1 - d) * rider, d * rider);
}

Bike* create_bike(const char* name, int slot, const char* number_text, const char* rider_body_texture,
                  const char* rider_head_texture, const char* bike_texture, const char* wheel_texture)
{
    if (!physics.world) {
        koru_log("Can't create bike '%.20s': no physics world\n", name ? name : "");
        return nullptr;
    }
    const BikeModel* model = bike_model_for(name);
    Bike* bike = static_cast<Bike*>(alloc_or_die(sizeof(Bike)));
    *bike = Bike{};
    snprintf(bike->number_text, sizeof bike->number_text, "%s", number_text ? number_text : "");
    bike->model = *model;
    const BikeModel& m = bike->model;
    load_bike_graphics(&bike->graphics, m, rider_body_texture, rider_head_texture, bike_texture, wheel_texture);
    bike->number_texture = make_number_texture(bike->number_text, 128, 128);

    const float* positions[bike_body_count];
    rest_positions(m, positions);
    dMatrix3 identity;
    dRSetIdentity(identity);
    for (int i = 0; i < bike_body_count; i++) {
        bike->bodies[i] = dBodyCreate(physics.world);
        if (i == body_front_wheel || i == body_rear_wheel)
            dBodySetFiniteRotationMode(bike->bodies[i], 1);
        place_body(bike->bodies[i], positions[i][0], positions[i][1], positions[i][2], identity);
    }

    set_rider_masses(bike, m.rider_mass * 2.0 / 3, m.rider_mass / 3.0);
    dMass mass;
    wheel_mass(m.front_wheel, &mass);
    dBodySetMass(bike->bodies[body_front_wheel], &mass);
    wheel_mass(m.rear_wheel, &mass);
    dBodySetMass(bike->bodies[body_rear_wheel], &mass);
    fork_mass(m, &mass);
    dBodySetMass(bike->bodies[body_steering], &mass);
    dBodySetMass(bike->bodies[body_fork_lower], &mass);
    swingarm_mass(m, &mass);
    dBodySetMass(bike->bodies[body_swingarm], &mass);

    init_wheel_contact(&bike->front_contact, bike->bodies[body_front_wheel], m.front_wheel);
    init_wheel_contact(&bike->rear_contact, bike->bodies[body_rear_wheel], m.rear_wheel);
    create_joints(bike);

    bike->timing.gate_frames = static_cast<int32_t*>(alloc_or_die(initial_gate_frames * sizeof(int32_t)));
    bike->timing.gate_frame_capacity = initial_gate_frames;

    bike->engine_inertia = m.engine_inertia;
    default_setup(bike);
    double total = 0;
    for (int i = 0; i < bike_body_count; i++) {
        dBodyGetMass(bike->bodies[i], &mass);
        total += mass.mass;
    }
    bike->total_mass = float(total);
    reset_bike(bike);
    bike->slot = slot;
    return bike;
}

void reset_bike(Bike* bike)
{
    const BikeModel& m = bike->model;
    const float* positions[bike_body_count];
    rest_positions(m, positions);
    dMatrix3 identity;
    dRSetIdentity(identity);
    for (int i = 0; i < bike_body_count; i++)
        if (i != body_torso)
            place_body(bike->bodies[i], positions[i][0], positions[i][1], positions[i][2], identity);
    dBodyID frame = bike->bodies[body_frame];
    dVector3 seat;
    dBodyGetRelPointPos(frame, double(m.rider_position[0]) - m.frame_position[0],
                        double(m.rider_position[1]) - m.frame_position[1],
                        double(m.rider_position[2]) - m.frame_position[2], seat);
    place_body(bike->bodies[body_torso], seat[0], seat[1], seat[2], dBodyGetRotation(frame));
    attach_rider_joint(bike);

    bike->timing.gates_passed = 0;
    bike->timing.gate_frame_count = 0;
    bike->gear = 0;
    bike->last_shift = 0;
    bike->throttle = bike->clutch = bike->front_brake = bike->rear_brake = 0;
    bike->steer = bike->dab = bike->dab_amount = bike->back_up = bike->lean = 0;
    bike->clutch_angle = 0;
    bike->engine_speed = 0;
    bike->bike_contact_frame = -1;
    bike->finished = 0;
    bike->section_trouble = 0;
    bike->landing_factor = 1;
    bike->crash_timer = 0;
    bike->crash_wait = 0;
    for (Vec3& v : bike->torso_velocity_history)
        v = {};
    for (int i = 0; i < bike_body_count; i++)
        bike->previous_positions[i] = body_position(bike->bodies[i]);
    for (dJointFeedback& f : bike->joint_feedback)
        f = {};
}

bool move_bike(Bike* bike, double dx, double dy, double dz)
{
    if (!std::isfinite(dx) || !std::isfinite(dy) || !std::isfinite(dz)) {
        koru_log("move_bike: offset (%g, %g, %g) ignored\n", dx, dy, dz);
        return false;
    }
    for (dBodyID body : bike->bodies) {
        const dReal* p = dBodyGetPosition(body);
        dBodySetPosition(body, p[0] + dx, p[1] + dy, p[2] + dz);
    }
    return true;
}

bool rotate_bike(Bike* bike, double ax, double ay, double az, double angle)
{
    if (!std::isfinite(ax) || !std::isfinite(ay) || !std::isfinite(az) || !std::isfinite(angle)) {
        koru_log("rotate_bike: rotation (%g, %g, %g) by %g ignored\n", ax, ay, az, angle);
        return false;
    }
    dMatrix3 rotation;
    if (ax * ax + ay * ay + az * az > 0)
        dRFromAxisAndAngle(rotation, ax, ay, az, angle);
    else
        dRSetIdentity(rotation);
    for (dBodyID body : bike->bodies) {
        const dReal* p = dBodyGetPosition(body);
        dVector3 turned;
        dMultiply0_331(turned, rotation, p);
        dBodySetRotation(body, rotation);
        dBodySetPosition(body, turned[0], turned[1], turned[2]);
    }
    return true;
}

void freeze_bike(Bike* bike)
{
    for (dBodyID body : bike->bodies)
        dBodyDisable(body);
}

void unfreeze_bike(Bike* bike)
{
    for (dBodyID body : bike->bodies)
        dBodyEnable(body);
}

void destroy_bike(Bike* bike)
{
    if (!bike)
        return;
    for (dBodyID body : bike->bodies)
        dBodyDestroy(body);
    for (dJointID joint : bike->joints)
        dJointDestroy(joint);
    free(bike->timing.gate_frames);
    free_number_texture(bike->number_texture);
    free(bike);
}

dBodyID bike_body(const Bike* bike, int index)
{
    if (index < 0 || index >= bike_body_count)
        return nullptr;
    return bike->bodies[index];
}

float bike_speed_mph(const Bike* bike)
{
    dBodyID frame = bike->bodies[body_frame];
    const dReal* v = dBodyGetLinearVel(frame);
    const dReal* r = dBodyGetRotation(frame);
    // The third column of the rotation is the frame's z axis; the bike
    // faces along -z.
    double forward = -(v[0] * r[2] + v[1] * r[6] + v[2] * r[10]);
    return float(forward * 0.6818182);
}
