#include "base/message_log.h"
#include "bike/bike_setup.h"
#include "bike_support.h"
#include "data/config.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

constexpr double pi = 3.14159265358979323846;

void expect_near(const dReal* v, Vec3 expected, double tolerance, const char* what)
{
    EXPECT_NEAR(v[0], expected.x, tolerance) << what;
    EXPECT_NEAR(v[1], expected.y, tolerance) << what;
    EXPECT_NEAR(v[2], expected.z, tolerance) << what;
}

Vec3 vec(const float v[3])
{
    return {v[0], v[1], v[2]};
}

Vec3 unit(Vec3 v)
{
    return v * (1 / length(v));
}

Vec3 rest_position(const BikeModel& m, int body)
{
    const float* p[] = {m.frame_position, m.front_wheel.position, m.rear_wheel.position, m.steering_head,
                        m.fork_lower_position, m.swingarm_position, m.rider_position};
    return vec(p[body]);
}

dMass body_mass(const Bike* bike, int body)
{
    dMass m;
    dBodyGetMass(bike->bodies[body], &m);
    return m;
}

void expect_rest_pose(const Bike* bike)
{
    for (int i = 0; i < bike_body_count; i++) {
        SCOPED_TRACE(i);
        dBodyID b = bike->bodies[i];
        expect_near(dBodyGetPosition(b), rest_position(bike->model, i), 1e-9, "position");
        const dReal* r = dBodyGetRotation(b);
        for (int row = 0; row < 3; row++)
            for (int col = 0; col < 3; col++)
                EXPECT_NEAR(r[row * 4 + col], row == col ? 1 : 0, 1e-12);
        expect_near(dBodyGetLinearVel(b), {0, 0, 0}, 0, "velocity");
        expect_near(dBodyGetAngularVel(b), {0, 0, 0}, 0, "spin");
        expect_near(dBodyGetForce(b), {0, 0, 0}, 0, "force");
        expect_near(dBodyGetTorque(b), {0, 0, 0}, 0, "torque");
    }
}

using BikeAssembly = PhysicsTest;

TEST_F(BikeAssembly, SevenBodiesAtRestWithTheirMasses)
{
    Bike* bike = create_bike("dl250(2009)", 3, "12");
    ASSERT_NE(bike, nullptr);
    const BikeModel& m = bike->model;
    expect_rest_pose(bike);
    for (int i = 0; i < bike_body_count; i++)
        EXPECT_EQ(dBodyGetFiniteRotationMode(bike->bodies[i]), i == body_front_wheel || i == body_rear_wheel) << i;

    dMass frame = body_mass(bike, body_frame);
    double frame_total = m.frame_mass + m.rider_mass * 2.0 / 3;
    EXPECT_NEAR(frame.mass, frame_total, 1e-6);
    double fx = m.frame_size[0], fy = m.frame_size[1], fz = m.frame_size[2];
    EXPECT_NEAR(frame.I[0], frame_total * (fy * fy + fz * fz) / 12, 1e-6);
    EXPECT_NEAR(frame.I[5], frame_total * (fx * fx + fz * fz) / 12, 1e-6);

    dMass torso = body_mass(bike, body_torso);
    EXPECT_NEAR(torso.mass, m.rider_mass / 3.0, 1e-6);
    EXPECT_NEAR(torso.I[0], 0.4 * m.rider_mass / 3.0, 1e-6); // sphere of radius 1

    // Hub sphere plus sixteen tyre spheres on the ring around the x axle.
    for (int body : {int(body_front_wheel), int(body_rear_wheel)}) {
        const WheelSpec& w = body == body_front_wheel ? m.front_wheel : m.rear_wheel;
        dMass wheel = body_mass(bike, body);
        double hub = 0.4 * w.hub_mass * w.hub_radius * w.hub_radius;
        double tube = 0.4 * w.tube_radius * w.tube_radius;
        double R2 = double(w.ring_radius) * w.ring_radius;
        EXPECT_NEAR(wheel.mass, w.hub_mass + w.tyre_mass, 1e-6);
        EXPECT_NEAR(wheel.I[0], hub + w.tyre_mass * (tube + R2), 1e-6);
        EXPECT_NEAR(wheel.I[5], hub + w.tyre_mass * (tube + R2 / 2), 1e-6);
        EXPECT_NEAR(wheel.I[10], hub + w.tyre_mass * (tube + R2 / 2), 1e-6);
        EXPECT_NEAR(wheel.I[6], 0, 1e-9);
        expect_near(wheel.c, {0, 0, 0}, 1e-9, "wheel centre of mass");
    }

    // Both fork bodies: two legs along the steering axis.
    double rho = m.fork_leg_spacing / 8.0, len = m.fork_leg_length * 2.0 / 3, half = m.fork_leg_spacing / 2.0;
    double fm = m.fork_mass;
    double rake = std::atan((double(m.fork_lower_position[2]) - m.steering_head[2]) /
                            (double(m.fork_lower_position[1]) - m.steering_head[1]));
    double b = fm * (rho * rho / 2 + half * half), c = fm * (rho * rho / 4 + len * len / 12 + half * half);
    for (int body : {int(body_steering), int(body_fork_lower)}) {
        dMass fork = body_mass(bike, body);
        EXPECT_NEAR(fork.mass, fm, 1e-6);
        EXPECT_NEAR(fork.I[0], fm * (rho * rho / 4 + len * len / 12), 1e-6);
        EXPECT_NEAR(fork.I[5], b * std::cos(rake) * std::cos(rake) + c * std::sin(rake) * std::sin(rake), 1e-6);
        EXPECT_NEAR(fork.I[6], std::cos(rake) * std::sin(rake) * (b - c), 1e-6);
    }

    // Swingarm: two arms from the pivot to the rear axle.
    dMass arm = body_mass(bike, body_swingarm);
    double w = m.frame_size[0], am = m.swingarm_arm_mass;
    double dy = double(m.rear_wheel.position[1]) - m.swingarm_pivot[1];
    double dz = double(m.rear_wheel.position[2]) - m.swingarm_pivot[2];
    double L = std::sqrt(dy * dy + dz * dz), slope = -std::atan(dy / dz);
    double ab = 2 * (am * (w * w / 16 + L * L) / 12 + am * w * w / 4);
    double ac = 2 * (am * (w * w / 8) / 12 + am * w * w / 4);
    EXPECT_NEAR(arm.mass, 2 * am, 1e-6);
    EXPECT_NEAR(arm.I[0], 2 * am * (w * w / 16 + L * L) / 12, 1e-6);
    EXPECT_NEAR(arm.I[6], std::cos(slope) * std::sin(slope) * (ab - ac), 1e-6);

    double total = frame.mass + torso.mass + 2 * fm + 2 * am;
    total += m.front_wheel.hub_mass + m.front_wheel.tyre_mass + m.rear_wheel.hub_mass + m.rear_wheel.tyre_mass;
    EXPECT_NEAR(bike->total_mass, total, 1e-5);
    destroy_bike(bike);
}

TEST_F(BikeAssembly, SixJointsWithAnchorsAxesAndStops)
{
    Bike* bike = create_bike("dz125", 0, "1");
    ASSERT_NE(bike, nullptr);
    const BikeModel& m = bike->model;
    dBodyID* b = bike->bodies;
    Vec3 steer = unit(vec(m.steering_head) - vec(m.fork_lower_position));

    struct HingeCase {
        int joint;
        dBodyID body1, body2;
        Vec3 anchor, axis;
    };
    const HingeCase hinges[] = {
        {joint_front_axle, b[body_fork_lower], b[body_front_wheel], vec(m.front_wheel.position), {1, 0, 0}},
        {joint_rear_axle, b[body_swingarm], b[body_rear_wheel], vec(m.rear_wheel.position), {1, 0, 0}},
        {joint_steering, b[body_steering], b[body_frame], vec(m.steering_head), steer},
        {joint_swingarm, b[body_swingarm], b[body_frame], vec(m.swingarm_pivot), {1, 0, 0}},
    };
    for (const HingeCase& h : hinges) {
        SCOPED_TRACE(h.joint);
        dJointID j = bike->joints[h.joint];
        ASSERT_EQ(dJointGetType(j), dJointTypeHinge);
        EXPECT_EQ(dJointGetBody(j, 0), h.body1);
        EXPECT_EQ(dJointGetBody(j, 1), h.body2);
        dVector3 v;
        dJointGetHingeAnchor(j, v);
        expect_near(v, h.anchor, 1e-6, "anchor");
        dJointGetHingeAnchor2(j, v);
        expect_near(v, h.anchor, 1e-6, "anchor on body 2");
        dJointGetHingeAxis(j, v);
        expect_near(v, h.axis, 1e-6, "axis");
        EXPECT_NEAR(dJointGetHingeAngle(j), 0, 1e-9);
    }
    dJointID steering = bike->joints[joint_steering];
    EXPECT_NEAR(dJointGetHingeParam(steering, dParamLoStop), -pi / 4, 1e-12);
    EXPECT_NEAR(dJointGetHingeParam(steering, dParamHiStop), pi / 4, 1e-12);
    dJointID swingarm = bike->joints[joint_swingarm];
    EXPECT_EQ(dJointGetHingeParam(swingarm, dParamBounce), 0);
    EXPECT_NEAR(dJointGetHingeParam(swingarm, dParamLoStop), -0.55, 1e-6);
    EXPECT_EQ(dJointGetHingeParam(swingarm, dParamHiStop), 0);

    dJointID fork = bike->joints[joint_fork];
    ASSERT_EQ(dJointGetType(fork), dJointTypeSlider);
    EXPECT_EQ(dJointGetBody(fork, 0), b[body_steering]);
    EXPECT_EQ(dJointGetBody(fork, 1), b[body_fork_lower]);
    dVector3 v;
    dJointGetSliderAxis(fork, v);
    expect_near(v, steer, 1e-6, "fork axis");
    EXPECT_NEAR(dJointGetSliderPosition(fork), 0, 1e-9);
    EXPECT_EQ(dJointGetSliderParam(fork, dParamBounce), 0);
    EXPECT_EQ(dJointGetSliderParam(fork, dParamLoStop), -1);
    EXPECT_EQ(dJointGetSliderParam(fork, dParamHiStop), 0);

    dJointID rider = bike->joints[joint_rider];
    ASSERT_EQ(dJointGetType(rider), dJointTypeHinge2);
    EXPECT_EQ(dJointGetBody(rider, 0), b[body_torso]);
    EXPECT_EQ(dJointGetBody(rider, 1), b[body_frame]);
    dJointGetHinge2Anchor(rider, v);
    expect_near(v, {0, 4.5f, -50}, 1e-6, "rider anchor");
    dJointGetHinge2Axis1(rider, v);
    expect_near(v, unit({0, 1, 1}), 1e-6, "rider axis 1");
    dJointGetHinge2Axis2(rider, v);
    expect_near(v, {1, 0, 0}, 1e-6, "rider axis 2");
    EXPECT_EQ(dJointGetHinge2Param(rider, dParamLoStop), 0);
    EXPECT_EQ(dJointGetHinge2Param(rider, dParamHiStop), 0);

    for (int i = 0; i < bike_joint_count; i++)
        EXPECT_EQ(dJointGetFeedback(bike->joints[i]), &bike->joint_feedback[i]) << i;
    destroy_bike(bike);
}

TEST_F(BikeAssembly, TravelLimitsOnEveryBike)
{
    for (int i = 0; i < bike_model_count(); i++) {
        Bike* bike = create_bike(bike_model_at(i)->name, i, "");
        ASSERT_NE(bike, nullptr);
        SCOPED_TRACE(bike->model.name);
        EXPECT_NEAR(dJointGetHingeParam(bike->joints[joint_steering], dParamLoStop), -pi / 4, 1e-12);
        EXPECT_NEAR(dJointGetHingeParam(bike->joints[joint_steering], dParamHiStop), pi / 4, 1e-12);
        EXPECT_EQ(dJointGetSliderParam(bike->joints[joint_fork], dParamLoStop), -1);
        EXPECT_EQ(dJointGetSliderParam(bike->joints[joint_fork], dParamHiStop), 0);
        EXPECT_NEAR(dJointGetHingeParam(bike->joints[joint_swingarm], dParamLoStop), -0.55, 1e-6);
        EXPECT_EQ(dJointGetHingeParam(bike->joints[joint_swingarm], dParamHiStop), 0);
        destroy_bike(bike);
    }
}

TEST_F(BikeAssembly, NewBikeHasTheDefaultSetup)
{
    Bike* bike = create_bike("dl250(2009)", 7, "123456789");
    ASSERT_NE(bike, nullptr);
    EXPECT_STREQ(bike->model.name, "dl250(2009)");
    EXPECT_STREQ(bike->number_text, "1234567");
    EXPECT_EQ(bike->slot, 7);
    EXPECT_FLOAT_EQ(bike->final_ratio, 51.0f / 13);
    EXPECT_FLOAT_EQ(bike->fork_compression_damping, 60);
    EXPECT_FLOAT_EQ(bike->fork_rebound_damping, 30);
    EXPECT_NEAR(bike->fork_spring_rate, 604.772, 1e-3);
    EXPECT_FLOAT_EQ(bike->fork_preload, 1.0f / 24);
    EXPECT_FLOAT_EQ(bike->fork_air_gap, 5.0f / 12);
    EXPECT_FLOAT_EQ(bike->shock_compression_damping, 800);
    EXPECT_FLOAT_EQ(bike->shock_rebound_damping, 600);
    EXPECT_NEAR(bike->shock_spring_rate, (2217.4976 + 4031.814) / 2, 1e-3);
    EXPECT_FLOAT_EQ(bike->shock_preload, 0.01375f);
    for (float v : {bike->rider_yspring, bike->rider_ydamping, bike->rider_zspring, bike->rider_zdamping})
        EXPECT_EQ(v, 0.5f);
    EXPECT_EQ(bike->roll_damping, 60);
    EXPECT_EQ(bike->leveling, 20);
    EXPECT_EQ(bike->roll_limit_factor, 10);
    EXPECT_FLOAT_EQ(bike->roll_limit_angle, float(pi / 4));
    EXPECT_EQ(bike->steering_damping, 45);
    EXPECT_EQ(bike->steering_strength, 75);
    EXPECT_EQ(bike->max_steering_force, 400);
    EXPECT_EQ(bike->direct_steering, 1);
    EXPECT_EQ(bike->slow_damping_speed, 0);
    EXPECT_EQ(bike->slow_damping_factor, 1);
    EXPECT_EQ(bike->land_damping_falloff, 0.25f);
    EXPECT_EQ(bike->land_damping_factor, 2);
    EXPECT_EQ(bike->auto_clutch_rpm, 5000);
    EXPECT_EQ(bike->brake_torque, 250);
    EXPECT_EQ(bike->rear_brake_torque, 250);
    EXPECT_EQ(bike->max_dab_speed, 30);
    EXPECT_EQ(bike->options, option_airborne_steering | option_stoppie_release | option_front_antilock);
    EXPECT_FLOAT_EQ(bike->engine_inertia, 5.0f / 1024);
    EXPECT_EQ(bike->timing.gate_frame_count, 0);
    EXPECT_EQ(bike->timing.gate_frame_capacity, 16);
    EXPECT_NE(bike->timing.gate_frames, nullptr);
    EXPECT_EQ(bike->bike_contact_frame, -1);
    EXPECT_EQ(bike->landing_factor, 1);

    EXPECT_EQ(bike->front_contact.body, bike->bodies[body_front_wheel]);
    EXPECT_EQ(bike->rear_contact.body, bike->bodies[body_rear_wheel]);
    for (const WheelContact* w : {&bike->front_contact, &bike->rear_contact}) {
        EXPECT_EQ(w->axle.x, 1);
        EXPECT_EQ(w->axle.y, 0);
        EXPECT_EQ(w->axle.z, 0);
        EXPECT_FLOAT_EQ(w->tube_radius, 1.0f / 3);
    }
    EXPECT_FLOAT_EQ(bike->front_contact.ring_radius, 5.0f / 6);
    EXPECT_FLOAT_EQ(bike->rear_contact.ring_radius, 0.75f);
    destroy_bike(bike);
}

TEST_F(BikeAssembly, UnknownNameIsReportedOnceAndStillRides)
{
    clear_message_log();
    Bike* bike = create_bike("nonesuch", 0, "5");
    ASSERT_NE(bike, nullptr);
    // Without the game data the missing models are reported as well; the
    // substitution comes first, once.
    const char* substitution = "bike info for 'nonesuch' not found using 'dk250f(2009)' instead";
    int reported = 0;
    for (int i = 0; i < message_log.next; i++)
        reported += strcmp(message_log.lines[i], substitution) == 0;
    EXPECT_EQ(reported, 1);
    EXPECT_STREQ(message_log.lines[0], substitution);
    EXPECT_STREQ(bike->model.name, "dk250f(2009)");
    EXPECT_FLOAT_EQ(bike->final_ratio, 48.0f / 13);
    physics_step();
    EXPECT_LT(dBodyGetPosition(bike->bodies[body_frame])[1], 1.98); // falls under gravity
    destroy_bike(bike);
}

TEST_F(BikeAssembly, ResetPutsEveryBodyBackAndClearsTheRide)
{
    Bike* bike = create_bike("dy125", 2, "9");
    ASSERT_NE(bike, nullptr);
    // Ride it about, throw the rider off and let everything fall apart.
    rotate_bike(bike, 0, 1, 0, 1.0);
    move_bike(bike, 40, 3, -20);
    for (dBodyID b : bike->bodies) {
        dBodySetLinearVel(b, 3, -4, 5);
        dBodySetAngularVel(b, 1, 2, 3);
    }
    dJointAttach(bike->joints[joint_rider], nullptr, nullptr);
    dBodySetPosition(bike->bodies[body_torso], 100, 0, 100);
    for (int i = 0; i < 20; i++)
        physics_step();
    dBodyAddForce(bike->bodies[body_frame], 10, 10, 10);
    bike->throttle = bike->clutch = bike->front_brake = bike->rear_brake = 1;
    bike->steer = bike->lean = -1;
    bike->dab = bike->dab_amount = bike->back_up = 1;
    bike->gear = 3;
    bike->last_shift = 1;
    bike->clutch_angle = 2;
    bike->engine_speed = 900;
    bike->timing.gates_passed = 4;
    bike->timing.gate_frame_count = 4;
    bike->bike_contact_frame = 77;
    bike->finished = 1;
    bike->section_trouble = 2;
    bike->landing_factor = 1.8f;
    bike->crash_timer = 100;
    bike->torso_velocity_history[2] = {1, 2, 3};
    bike->joint_feedback[4].f1[1] = 55;

    reset_bike(bike);
    expect_rest_pose(bike);
    EXPECT_EQ(dJointGetBody(bike->joints[joint_rider], 0), bike->bodies[body_torso]);
    EXPECT_EQ(dJointGetBody(bike->joints[joint_rider], 1), bike->bodies[body_frame]);
    dVector3 v;
    dJointGetHinge2Anchor(bike->joints[joint_rider], v);
    expect_near(v, {0, 4.5f, -50}, 1e-6, "rider anchor");
    for (float c : {bike->throttle, bike->clutch, bike->front_brake, bike->rear_brake, bike->steer, bike->dab,
                    bike->dab_amount, bike->back_up, bike->lean, bike->clutch_angle, bike->engine_speed})
        EXPECT_EQ(c, 0);
    EXPECT_EQ(bike->gear, 0);
    EXPECT_EQ(bike->last_shift, 0);
    EXPECT_EQ(bike->timing.gates_passed, 0);
    EXPECT_EQ(bike->timing.gate_frame_count, 0);
    EXPECT_EQ(bike->bike_contact_frame, -1);
    EXPECT_EQ(bike->finished, 0);
    EXPECT_EQ(bike->section_trouble, 0);
    EXPECT_EQ(bike->landing_factor, 1);
    EXPECT_EQ(bike->crash_timer, 0);
    EXPECT_EQ(bike->torso_velocity_history[2].y, 0);
    EXPECT_EQ(bike->joint_feedback[4].f1[1], 0);
    for (int i = 0; i < bike_body_count; i++) {
        Vec3 p = bike->previous_positions[i], rest = rest_position(bike->model, i);
        EXPECT_FLOAT_EQ(p.x, rest.x);
        EXPECT_FLOAT_EQ(p.y, rest.y);
        EXPECT_FLOAT_EQ(p.z, rest.z);
    }
    EXPECT_EQ(bike->slot, 2);
    // The joints hold the rest pose again: a step under gravity moves the
    // bodies together.
    physics_step();
    Vec3 frame = position_of(bike->bodies[body_frame]), torso = position_of(bike->bodies[body_torso]);
    EXPECT_NEAR(torso.y - frame.y, 4.5 - 1.98, 1e-3);
    destroy_bike(bike);
}

TEST_F(BikeAssembly, RotateThenMovePlacesEveryBody)
{
    Bike* bike = create_bike("dl250(2008)", 0, "");
    ASSERT_NE(bike, nullptr);
    ASSERT_TRUE(rotate_bike(bike, 0, 2, 0, pi / 2)); // the axis need not be unit length
    ASSERT_TRUE(move_bike(bike, 100, 5, 200));
    for (int i = 0; i < bike_body_count; i++) {
        SCOPED_TRACE(i);
        Vec3 rest = rest_position(bike->model, i);
        // A quarter turn about +y takes z to x and x to -z.
        expect_near(dBodyGetPosition(bike->bodies[i]), {100 + rest.z, 5 + rest.y, 200 - rest.x}, 1e-5, "position");
        const dReal* r = dBodyGetRotation(bike->bodies[i]);
        EXPECT_NEAR(r[2], 1, 1e-12);  // world x from body z
        EXPECT_NEAR(r[8], -1, 1e-12); // world z from body x
        EXPECT_NEAR(r[5], 1, 1e-12);
    }
    // Facing -x now: riding that way is positive speed.
    dBodySetLinearVel(bike->bodies[body_frame], -10, 0, 0);
    EXPECT_NEAR(bike_speed_mph(bike), 6.818182, 1e-5);
    dBodySetLinearVel(bike->bodies[body_frame], 0, 0, -10);
    EXPECT_NEAR(bike_speed_mph(bike), 0, 1e-5);
    destroy_bike(bike);
}

TEST_F(BikeAssembly, PlacementRefusesNonFiniteValues)
{
    Bike* bike = create_bike("dl250(2009)", 0, "");
    ASSERT_NE(bike, nullptr);
    struct Case {
        double dx, dy, dz;
    };
    for (Case c : {Case{NAN, 0, 0}, Case{0, INFINITY, 0}, Case{0, 0, -INFINITY}})
        EXPECT_FALSE(move_bike(bike, c.dx, c.dy, c.dz));
    struct Turn {
        double ax, ay, az, angle;
    };
    for (Turn t : {Turn{NAN, 1, 0, 1}, Turn{0, 1, 0, INFINITY}, Turn{0, 0, INFINITY, 1}})
        EXPECT_FALSE(rotate_bike(bike, t.ax, t.ay, t.az, t.angle));
    EXPECT_TRUE(rotate_bike(bike, 0, 0, 0, 2)); // no axis: no turn
    expect_rest_pose(bike);
    destroy_bike(bike);
}

TEST_F(BikeAssembly, FreezeDisablesAllBodies)
{
    Bike* bike = create_bike("dl250(2009)", 0, "");
    ASSERT_NE(bike, nullptr);
    freeze_bike(bike);
    for (dBodyID b : bike->bodies)
        EXPECT_FALSE(dBodyIsEnabled(b));
    physics_step();
    expect_rest_pose(bike);
    unfreeze_bike(bike);
    for (dBodyID b : bike->bodies)
        EXPECT_TRUE(dBodyIsEnabled(b));
    destroy_bike(bike);
}

TEST_F(BikeAssembly, AccessorsReadBodiesAndSpeed)
{
    Bike* bike = create_bike("dl250(2009)", 0, "");
    ASSERT_NE(bike, nullptr);
    EXPECT_EQ(bike_body(bike, body_rear_wheel), bike->bodies[2]);
    EXPECT_EQ(bike_body(bike, 7), nullptr);
    EXPECT_EQ(bike_body(bike, -1), nullptr);
    dBodySetLinearVel(bike->bodies[body_frame], 0, 0, 22);
    EXPECT_NEAR(bike_speed_mph(bike), -15, 1e-4); // backwards at 22 ft/s is -15 mph
    destroy_bike(bike);
}

TEST_F(BikeAssembly, ApplySettingsFromTheConfiguration)
{
    config_defaults();
    Bike* bike = create_bike("dl250(2009)", 0, "");
    ASSERT_NE(bike, nullptr);
    float total_mass = bike->total_mass;
    apply_settings(bike);
    EXPECT_EQ(bike->leveling, 20);
    EXPECT_EQ(bike->roll_damping, 60);
    EXPECT_FLOAT_EQ(bike->roll_limit_angle, float(pi / 4)); // 45 degrees
    EXPECT_EQ(bike->roll_limit_factor, 10);
    EXPECT_EQ(bike->slow_damping_speed, 40);
    EXPECT_EQ(bike->slow_damping_factor, 2);
    EXPECT_FLOAT_EQ(bike->max_dab_speed, 20 * 22.0f / 15);
    // Arcade, front antilock, automatic shifting and dab when stopped.
    EXPECT_EQ(bike->options, option_airborne_steering | option_arcade | option_front_antilock | option_auto_shift |
                                 option_auto_dab);
    EXPECT_FLOAT_EQ(bike->fork_air_gap, (5.0f / 12 + 0.25f) / 2); // oil level 50
    EXPECT_FLOAT_EQ(bike->fork_compression_damping, 60);

    struct WheelieCase {
        int index;
        uint8_t bits;
    };
    for (WheelieCase c : {WheelieCase{0, 0}, WheelieCase{1, option_wheelie_cut | option_stoppie_release},
                          WheelieCase{2, option_stoppie_release}, WheelieCase{7, 0}}) {
        config.stop_wheelies.index = c.index;
        apply_settings(bike);
        EXPECT_EQ(bike->options & (option_wheelie_cut | option_stoppie_release), c.bits) << c.index;
    }

    config.arcade.index = 0;
    config.front_brake.index = 0;
    config.rear_brake.index = 1;
    config.auto_shift.index = 0;
    config.auto_dab.index = 0;
    config.roll_limit_angle.value = 400;
    config.max_dab_speed.value = 10;
    config.front_sprocket_adjustment.value = -2;
    config.rear_sprocket_adjustment.value = 2;
    config.fork_compression_adjustment.value = 100;
    config.fork_spring_rate_adjustment.value = 100;
    config.fork_oil_level_adjustment.value = 100;
    config.shock_rebound_adjustment.value = 0;
    config.shock_preload_adjustment.value = 100;
    config.rider_yspring.value = 120;
    config.rider_zdamping.value = 25;
    config.rider_mass_distribution.value = 0.5;
    apply_settings(bike);
    EXPECT_EQ(bike->options, option_airborne_steering | option_rear_antilock);
    EXPECT_FLOAT_EQ(bike->roll_limit_angle, float(pi));
    EXPECT_EQ(bike->max_dab_speed, 16);
    EXPECT_FLOAT_EQ(bike->final_ratio, 53.0f / 11);
    EXPECT_FLOAT_EQ(bike->fork_compression_damping, 90);
    EXPECT_FLOAT_EQ(bike->fork_spring_rate, 698.8477f);
    EXPECT_FLOAT_EQ(bike->fork_air_gap, 0.25f);
    EXPECT_FLOAT_EQ(bike->shock_rebound_damping, 300);
    EXPECT_FLOAT_EQ(bike->shock_preload, 0.0275f);
    EXPECT_EQ(bike->rider_yspring, 1);
    EXPECT_EQ(bike->rider_zdamping, 0.25f);
    EXPECT_NEAR(body_mass(bike, body_frame).mass, 4.24 + 0.5 * 4.6875, 1e-6);
    EXPECT_NEAR(body_mass(bike, body_torso).mass, 0.5 * 4.6875, 1e-6);
    EXPECT_EQ(bike->total_mass, total_mass);
    destroy_bike(bike);
}

TEST_F(BikeAssembly, SettersClampTheirValues)
{
    Bike* bike = create_bike("dl250(2009)", 0, "");
    ASSERT_NE(bike, nullptr);
    set_fork_setup(bike, 3, -1, 2, -1, NAN);
    EXPECT_FLOAT_EQ(bike->fork_compression_damping, 120);
    EXPECT_EQ(bike->fork_rebound_damping, 0);
    EXPECT_FLOAT_EQ(bike->fork_spring_rate, 698.8477f);
    EXPECT_EQ(bike->fork_preload, 0);
    EXPECT_FLOAT_EQ(bike->fork_air_gap, 5.0f / 12);
    set_shock_setup(bike, 2.5f, 0.5f, -4, 9);
    EXPECT_FLOAT_EQ(bike->shock_compression_damping, 1600);
    EXPECT_FLOAT_EQ(bike->shock_rebound_damping, 300);
    EXPECT_FLOAT_EQ(bike->shock_spring_rate, 2217.4976f);
    EXPECT_FLOAT_EQ(bike->shock_preload, 0.0275f);
    // A torso without mass is never handed to the physics library.
    for (float d : {0.0f, -1.0f, NAN}) {
        set_rider_mass_distribution(bike, d);
        EXPECT_NEAR(body_mass(bike, body_torso).mass, 0.33 * 4.6875, 1e-6) << d;
    }
    set_rider_mass_distribution(bike, 0.9f);
    EXPECT_NEAR(body_mass(bike, body_torso).mass, 0.5 * 4.6875, 1e-6);
    destroy_bike(bike);
}

TEST(BikeWithoutWorld, CreateNeedsThePhysicsWorld)
{
    TestHome home;
    EXPECT_EQ(create_bike("dl250(2009)", 0, ""), nullptr);
    EXPECT_NE(read_file(home.log_file()).find("no physics world"), std::string::npos);
}

TEST(PhysicsWorldLife, StartOnceStopOnce)
{
    physics_start();
    dWorldID world = physics.world;
    ASSERT_NE(world, nullptr);
    ASSERT_NE(physics.contact_group, nullptr);
    dVector3 g;
    dWorldGetGravity(world, g);
    EXPECT_EQ(g[0], 0);
    EXPECT_EQ(g[1], -32);
    EXPECT_EQ(g[2], 0);
    EXPECT_NEAR(dWorldGetERP(world), 0.2, 1e-12);
    EXPECT_NEAR(dWorldGetCFM(world), 1e-10, 1e-16);
    physics_start();
    EXPECT_EQ(physics.world, world);
    physics_stop();
    EXPECT_EQ(physics.world, nullptr);
    EXPECT_EQ(physics.contact_group, nullptr);
    physics_stop();
}

} // namespace
