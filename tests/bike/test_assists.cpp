#include "bike/assists.h"
#include "bike/bike_setup.h"
#include "bike/rider.h"
#include "bike_support.h"
#include "data/config.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr float pi = 3.14159265f;

float flat(float, float)
{
    return 0;
}

void rotation(dMatrix3 out, double ax, double ay, double az, double angle)
{
    dRFromAxisAndAngle(out, ax, ay, az, angle);
}

using Assists = RideTest;

TEST_F(Assists, LeanAngleOfABody)
{
    dBodyID body = dBodyCreate(physics.world);
    struct Case {
        const char* what;
        double yaw; // about world y, applied last
        double ax, ay, az, angle; // the body's own turn
        float lean;
    };
    const Case cases[] = {
        {"upright", 0, 0, 0, 1, 0, 0},
        {"leaning left", 0, 0, 0, 1, 0.3, 0.3f},
        {"leaning right", 0, 0, 0, 1, -0.5, -0.5f},
        {"rolled about its forward axis", 0, 0, 0, -1, 0.3, -0.3f},
        {"heading elsewhere", 1.2, 0, 0, 1, 0.4, 0.4f},
        {"heading backwards", pi, 0, 0, 1, -0.7, -0.7f},
        {"nose up, no lean", 0, 1, 0, 0, 0.3, 0},
        {"lying on its left side", 0, 0, 0, 1, pi / 2, pi / 2},
        {"pointing straight up: no heading", 0, 1, 0, 0, pi / 2, 0},
    };
    for (const Case& c : cases) {
        dMatrix3 yaw, own, r;
        rotation(yaw, 0, 1, 0, c.yaw);
        rotation(own, c.ax, c.ay, c.az, c.angle);
        dMultiply0_333(r, yaw, own);
        dBodySetRotation(body, r);
        EXPECT_NEAR(lean_angle(body), c.lean, 2e-4f) << c.what;
    }
    dBodyDestroy(body);
}

TEST(LeanAllowance, FromStandstillToMaxDabSpeed)
{
    Bike bike = bike_record("dl250(2009)");
    bike.roll_limit_angle = 35 * pi / 180;
    bike.max_dab_speed = 30;
    const float limit = bike.roll_limit_angle;
    struct Case {
        float speed2;
        int power;
        float allowance;
    };
    const Case cases[] = {
        {0, 4, 0},
        {225, 4, limit * (1 - std::pow(0.75f, 4.0f))},
        {225, 32, limit * (1 - std::pow(0.75f, 32.0f))}, // the foot's version: nearly the limit already
        {100, 4, limit * (1 - std::pow(1 - 100.0f / 900, 4.0f))},
        {562.5f, 4, limit + 0.5f * (2 * pi - limit)},
        {900, 4, 2 * pi},
        {2000, 32, 2 * pi},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(lean_allowance(&bike, c.speed2, c.power), c.allowance, 1e-5f) << c.speed2 << " " << c.power;
}

TEST_F(Assists, StabilityPresetReachesTheBike)
{
    Bike* bike = create_bike("dl250(2009)", 0, "");
    ASSERT_NE(bike, nullptr);
    struct Case {
        int stability;
        float leveling, roll_damping, roll_limit_degrees, roll_limit_factor, direct_steering, slow_damping_factor,
            land_damping_falloff, land_damping_factor;
    };
    const Case cases[] = {
        {100, 20, 80, 35, 32, 0, 2, 0.25f, 2},
        {50, 20, 65, 42.5f, 21, 1, 1.75f, 0.25f, 2},
        {90, 20, 77.5f, 35, 32, 0.5f, 2, 0.25f, 2},
        {10, 20, 45, 67.5f, 2.5f, 1, 1, 0.0625f, 1.25f},
        {0, 20, 40, 90, 0, 1, 1, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stability);
        apply_stability_preset(c.stability);
        apply_settings(bike);
        EXPECT_FLOAT_EQ(bike->leveling, c.leveling);
        EXPECT_FLOAT_EQ(bike->roll_damping, c.roll_damping);
        EXPECT_FLOAT_EQ(bike->roll_limit_angle, c.roll_limit_degrees * pi / 180);
        EXPECT_FLOAT_EQ(bike->roll_limit_factor, c.roll_limit_factor);
        EXPECT_FLOAT_EQ(bike->direct_steering, c.direct_steering);
        EXPECT_FLOAT_EQ(bike->slow_damping_factor, c.slow_damping_factor);
        EXPECT_FLOAT_EQ(bike->land_damping_falloff, c.land_damping_falloff);
        EXPECT_FLOAT_EQ(bike->land_damping_factor, c.land_damping_factor);
        // The columns that never change.
        EXPECT_EQ(bike->steering_damping, 45);
        EXPECT_EQ(bike->steering_strength, 75);
        EXPECT_EQ(bike->max_steering_force, 400);
        EXPECT_EQ(bike->slow_damping_speed, 40);
    }
    destroy_bike(bike);
}

TEST(AssistList, EachItemThroughItsClamp)
{
    Bike bike = bike_record("dl250(2009)");
    struct Case {
        int item;
        float value;
        float Bike::*field;
        float result;
    };
    const Case cases[] = {
        {1, 30, &Bike::leveling, 30},
        {1, 300, &Bike::leveling, 200},
        {2, -5, &Bike::roll_damping, 0},
        {3, 42.5f, &Bike::roll_limit_angle, 42.5f * pi / 180},
        {3, 400, &Bike::roll_limit_angle, pi},
        {4, 100, &Bike::roll_limit_factor, 64},
        {5, 45, &Bike::steering_damping, 45},
        {6, 250, &Bike::steering_strength, 200},
        {7, 2000, &Bike::max_steering_force, 1000},
        {8, 0.625f, &Bike::direct_steering, 0.625f},
        {9, 40, &Bike::slow_damping_speed, 40},
        {10, 0, &Bike::slow_damping_factor, 1},
        {11, 2, &Bike::land_damping_falloff, 1},
        {12, 5, &Bike::land_damping_factor, 3},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(set_assist_setting(&bike, c.item, c.value)) << c.item;
        EXPECT_FLOAT_EQ(bike.*c.field, c.result) << c.item << " " << c.value;
    }
    Bike before = bike;
    for (int item : {0, 13, -1})
        EXPECT_FALSE(set_assist_setting(&bike, item, 1)) << item;
    EXPECT_EQ(bike.leveling, before.leveling);
    EXPECT_EQ(bike.auto_clutch_rpm, before.auto_clutch_rpm); // the rows after the list are not items
}

// The steering torque the assist puts about the steering axis for one step,
// the bike held in a given state: lean, roll rate, speed, the front wheel on
// the ground (or not) and spinning.
struct AssistState {
    float steer, lean, roll_rate, speed;
    bool front_down;
    int crash_timer;
};

float assist_torque(Bike* bike, const AssistState& s)
{
    reset_bike(bike);
    dMatrix3 r;
    rotation(r, 0, 0, 1, s.lean);
    for (dBodyID b : bike->bodies) {
        dBodySetRotation(b, r);
        dBodySetLinearVel(b, 0, 0, -s.speed);
    }
    dBodyID frame = bike->bodies[body_frame];
    dVector3 roll, spin;
    dBodyVectorToWorld(frame, 0, 0, s.roll_rate, roll);
    dBodySetAngularVel(frame, roll[0], roll[1], roll[2]);
    dBodyVectorToWorld(frame, -20, 0, 0, spin); // rolling forward at 20 rad/s
    dBodySetAngularVel(bike->bodies[body_front_wheel], spin[0], spin[1], spin[2]);
    bike->front_contact.depth = s.front_down ? 0.1f : 0;
    bike->steer = s.steer;
    bike->crash_timer = s.crash_timer;
    steering_assist(bike);
    const BikeModel& m = bike->model;
    dVector3 axis;
    dBodyVectorToWorld(frame, m.steering_head[0] - m.fork_lower_position[0], m.steering_head[1] - m.fork_lower_position[1],
                       m.steering_head[2] - m.fork_lower_position[2], axis);
    const dReal* t = dBodyGetTorque(bike->bodies[body_front_wheel]);
    return float((t[0] * axis[0] + t[1] * axis[1] + t[2] * axis[2]) / dCalcVectorLength3(axis));
}

TEST_F(Assists, SteeringTorqueOfDirectSteeringAndTheLeanController)
{
    Bike* bike = create_bike("dl250(2009)", 0, "");
    ASSERT_NE(bike, nullptr);
    // A new bike: strength 75, levelling 20, roll damping 60, roll limit
    // pi/4 with factor 10, max force 400, max dab speed 30 ft/s.
    struct Case {
        const char* what;
        float direct_steering;
        AssistState state;
        float torque;
    };
    const float fast = 40; // above max_dab_speed
    const Case cases[] = {
        {"direct: the input as it is", 1, {0.5f, 0, 0, fast, true, 0}, 1.5f * 75 * 0.5f},
        {"direct, front in the air: still steers", 1, {-1, 0, 0, fast, false, 0}, -1.5f * 75},
        {"levelling a lean", 1, {0, 0.3f, 0, fast, true, 0}, 1.5f * 20 * 0.3f},
        {"roll damping", 1, {0, 0, 0.5f, fast, true, 0}, 1.5f * 60 * 0.5f},
        {"past the roll limit and leaning further", 1, {0, 1, 0.5f, fast, true, 0},
         1.5f * (20 + 30 * ((1 - pi / 4) * 10 + 1))},
        {"past the roll limit, coming back", 1, {0, 1, -0.5f, fast, true, 0}, 1.5f * (20 - 30)},
        {"lean controller at a standstill: no target", 0, {-1, 0, 0, 0, true, 0}, 0},
        {"lean controller saturated to the left", 0, {-1, 0, 0, fast, true, 0}, -1.5f * 75},
        {"lean controller saturated to the right", 0, {1, 0, 0, fast, true, 0}, 1.5f * 75},
        {"half and half", 0.5f, {-1, 0, 0, fast, true, 0}, 1.5f * (-75 + (-37.5f + 75) * 0.5f)},
        {"lean controller, front in the air", 0, {-1, 0, 0, fast, false, 0}, 0},
        {"thrown off: no assist", 1, {1, 0.3f, 0, fast, true, 5}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bike->direct_steering = c.direct_steering;
        EXPECT_NEAR(assist_torque(bike, c.state), c.torque, 2e-3f);
    }
    bike->max_steering_force = 50;
    bike->direct_steering = 1;
    EXPECT_NEAR(assist_torque(bike, {1, 0, 0, fast, true, 0}), 50, 1e-4f);
    // Arcade physics steers its own way.
    bike->options |= option_arcade;
    EXPECT_EQ(assist_torque(bike, {1, 0.3f, 0, fast, true, 0}), 0);
    destroy_bike(bike);
}

TEST_F(Assists, LandingBoostDecaysOnTheGround)
{
    Bike* bike = create_bike("dl250(2009)", 0, "");
    ASSERT_NE(bike, nullptr);
    struct Case {
        float falloff, factor;
        int steps_to_one; // on the ground, rolling
    };
    for (Case c : {Case{0.25f, 2, 32}, Case{0.125f, 3, 16}, Case{0, 2, 1}}) {
        SCOPED_TRACE(c.falloff);
        bike->land_damping_falloff = c.falloff;
        bike->land_damping_factor = c.factor;
        assist_torque(bike, {0, 0, 0, 30, false, 0});
        EXPECT_EQ(bike->landing_factor, c.factor);
        // reset_bike in assist_torque puts it back to 1: step by hand.
        bike->front_contact.depth = 0.1f;
        int steps = 0;
        float last = bike->landing_factor;
        while (bike->landing_factor > 1 && steps < 100) {
            steering_assist(bike);
            EXPECT_LT(bike->landing_factor, last);
            last = bike->landing_factor;
            steps++;
        }
        EXPECT_EQ(bike->landing_factor, 1);
        EXPECT_EQ(steps, c.steps_to_one);
    }
    destroy_bike(bike);
}

// Heading change to the left since the start, radians.
float yaw_left(const Bike* bike)
{
    const dReal* r = dBodyGetRotation(bike->bodies[body_frame]);
    return float(std::atan2(r[2], r[10])); // the backward axis's x and z
}

TEST_F(Assists, SteeringLeansAndTurnsTheBikeAndItComesBackUp)
{
    TestField field(9, 1, flat);
    struct Case {
        const char* what;
        int stability; // -1: the configuration's defaults
        bool arcade;
        float input; // Left +1
        float lean_low, lean_high; // reached while steering, towards the input
        float turned; // radians of heading at least
        bool comes_up; // upright again after letting go
    };
    // Direct steering is a steady countersteer: the bike keeps its lean
    // once the input stops, and the rider brings it up himself.
    const Case cases[] = {
        {"lean controller, left", 100, false, 1, 0.4f, 1.2f, 0.3f, true},
        {"lean controller, right", 100, false, -1, 0.4f, 1.2f, 0.3f, true},
        {"direct steering, a touch", -1, false, 0.25f, 0.2f, 1.2f, 0.1f, false},
        {"arcade: lean set by the input", -1, true, 0.5f, pi / 8 - 0.02f, pi / 8 + 0.02f, 0.3f, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        config_defaults();
        if (c.stability >= 0)
            apply_stability_preset(c.stability);
        config.arcade.index = c.arcade ? 1 : 0;
        Bike* bike = bike_at(&field.terrain, "dl250(2009)", 512.3f, 980.6f);
        Ride r = start_ride(&field.terrain, bike);
        ride(&r, 64);
        set_rolling(bike, 40);
        r.controls.throttle = 0.3f;
        r.controls.steer = c.input;
        float side = c.input > 0 ? 1 : -1, deepest = 0;
        for (int step = 0; step < 160; step++) {
            ride(&r, 1);
            deepest = std::max(deepest, side * lean_angle(bike->bodies[body_frame]));
        }
        EXPECT_GE(deepest, c.lean_low);
        EXPECT_LE(deepest, c.lean_high);
        EXPECT_GT(side * yaw_left(bike), c.turned);
        EXPECT_LT(side * (position_of(bike->bodies[body_frame]).x - 512.3f), -1);
        r.controls.steer = 0;
        ride(&r, 192);
        if (c.comes_up) {
            EXPECT_LT(std::fabs(lean_angle(bike->bodies[body_frame])), 0.15f);
        }
        EXPECT_EQ(bike->crash_timer, 0);
        EXPECT_GT(bike_speed_mph(bike), 15);
        destroy_bike(bike);
    }
}

TEST_F(Assists, JointForcesCancelOnTheFrame)
{
    TestField field(6, 1, flat);
    Bike* bike = bike_at(&field.terrain, "dl250(2009)", 64.37f, 64.61f);
    Ride r = start_ride(&field.terrain, bike);
    r.controls.throttle = 0.5f;
    ride(&r, 96);
    struct Case {
        int frame, crash_timer;
        bool cancels;
    };
    for (Case c : {Case{100, 0, true}, Case{1, 0, false}, Case{100, 3, false}}) {
        wheel_ground_contact(&field.terrain, &bike->front_contact, 1);
        wheel_ground_contact(&field.terrain, &bike->rear_contact, 1);
        physics_step();
        Vec3 sum = {0, 0, 0};
        for (const dJointFeedback& f : bike->joint_feedback)
            sum = sum + Vec3{float(f.f1[0] + f.f2[0]), float(f.f1[1] + f.f2[1]), float(f.f1[2] + f.f2[2])};
        bike->crash_timer = c.crash_timer;
        cancel_joint_forces(bike, c.frame);
        const dReal* f = dBodyGetForce(bike->bodies[body_frame]);
        expect_vec3_near({float(f[0]), float(f[1]), float(f[2])}, c.cancels ? -sum : Vec3{0, 0, 0}, 1e-3f);
        dBodySetForce(bike->bodies[body_frame], 0, 0, 0);
        dBodySetTorque(bike->bodies[body_frame], 0, 0, 0);
        bike->crash_timer = 0;
    }
    // A rider off the bike leaves the rider joint without bodies: nothing
    // is cancelled even once he would count as seated.
    dJointAttach(bike->joints[joint_rider], nullptr, nullptr);
    physics_step();
    cancel_joint_forces(bike, 100);
    EXPECT_EQ(dBodyGetForce(bike->bodies[body_frame])[1], 0);
    destroy_bike(bike);
}

TEST_F(Assists, RopeHoldsTwoBodiesWithinItsLength)
{
    dWorldSetGravity(physics.world, 0, 0, 0);
    dMass mass;
    dMassSetSphereTotal(&mass, 1, 0.5);
    dBodyID a = dBodyCreate(physics.world), b = dBodyCreate(physics.world);
    dBodySetMass(a, &mass);
    dBodySetMass(b, &mass);
    dBodySetPosition(a, 0, 0, 0);
    dBodySetPosition(b, 0, 0, 1.5);
    rope(a, {0, 0, 0.25f}, b, {0, 0, -0.25f}, 1.5f); // 1 ft apart: slack
    EXPECT_EQ(dBodyGetNumJoints(a), 0);
    dBodySetLinearVel(a, 0, 0, -3);
    dBodySetLinearVel(b, 0, 0, 3);
    float longest = 0;
    for (int step = 0; step < 256; step++) {
        rope(a, {0, 0, 0.25f}, b, {0, 0, -0.25f}, 1.5f);
        physics_step();
        longest = std::max(longest, position_of(b).z - position_of(a).z - 0.5f);
    }
    // Stretched a little, pulled back within the length, slack again.
    EXPECT_GT(longest, 1.5f);
    EXPECT_LT(longest, 1.8f);
    EXPECT_LE(position_of(b).z - position_of(a).z - 0.5f, 1.5f);
    EXPECT_NEAR(velocity_of(a).z + velocity_of(b).z, 0, 1e-6f); // pulls both alike
    dBodyDestroy(a);
    dBodyDestroy(b);
}

} // namespace
