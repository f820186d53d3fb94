#include "bike/drivetrain.h"
#include "bike/rider.h"
#include "bike_support.h"
#include "data/config.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr float rpm_per_rad_s = 9.549296585513721f;
constexpr float dt = 1.0f / 128;

float flat(float, float)
{
    return 0;
}

TEST(TorqueMap, NearestEntryHeldAtBothEnds)
{
    struct Case {
        float rpm;
        int index;
    };
    for (Case c : {Case{-3000, 0}, Case{NAN, 0}, Case{0, 0}, Case{240, 0}, Case{260, 1}, Case{740, 1},
                   Case{760, 2}, Case{13740, 27}, Case{13760, 28}, Case{24240, 48}, Case{24250, 49},
                   Case{27000, 49}, Case{INFINITY, 49}})
        EXPECT_EQ(torque_map_index(c.rpm), c.index) << c.rpm;
}

TEST(TorqueMap, ThrottleBlendsTheClosedAndOpenMaps)
{
    Bike bike = bike_record("dl250(2009)");
    struct Case {
        float rpm, throttle, torque;
    };
    // 8000 rpm is entry 16: 20.27 open, -7 closed. Below 250 rpm the
    // closed engine still pulls 2, the open one 5.
    const Case cases[] = {
        {8000, 1, 20.27f}, {8000, 0, -7}, {8000, 0.25f, -7 + 0.25f * 27.27f}, {100, 0, 2}, {100, 1, 5},
        {1000, 0, 0},      {14000, 1, 0}, {30000, 1, -11},                     {-500, 0, 2},
    };
    for (const Case& c : cases) {
        bike.engine_speed = c.rpm / rpm_per_rad_s;
        bike.throttle = c.throttle;
        EXPECT_NEAR(engine_torque(&bike), c.torque, 1e-4f) << c.rpm << " rpm, throttle " << c.throttle;
        EXPECT_NEAR(engine_rpm(&bike), c.rpm, std::fabs(c.rpm) * 1e-6f + 1e-3f);
    }
}

TEST(AutoClutch, EngagesOverTwoThousandRpm)
{
    Bike bike = bike_record("dl250(2009)");
    bike.auto_clutch_rpm = 5000;
    struct Case {
        float lever_engagement, rpm, engagement;
    };
    for (Case c : {Case{1, 4000, 0}, Case{1, 5000, 0}, Case{1, 6000, 0.5f}, Case{1, 7000, 1}, Case{1, 9000, 1},
                   Case{0.3f, 6000, 0.3f}, Case{0.3f, 8000, 0.3f}, Case{0, 9000, 0}}) {
        bike.clutch = c.lever_engagement;
        EXPECT_NEAR(auto_clutch_engagement(&bike, c.rpm), c.engagement, 1e-6f) << c.rpm << " " << c.lever_engagement;
    }
}

TEST(ClutchLever, OpensAtOnceAndClosesOverAQuarterSecond)
{
    struct Case {
        float old, lever, next;
    };
    for (Case c : {Case{1, 7.0f / 8, 0}, Case{1, 1, 0}, Case{1, 0.5f, 3.0f / 7}, Case{0, 0, 1.0f / 32},
                   Case{0.99f, 0, 1}, Case{0.5f, 0.5f, 3.0f / 7}, Case{0.2f, 0.5f, 0.2f + 1.0f / 32}, Case{0, NAN, 0}})
        EXPECT_NEAR(clutch_engagement_step(c.old, c.lever), c.next, 1e-6f) << c.old << " " << c.lever;
    // Released fully from pulled in: 32 steps to full engagement.
    float e = 0;
    int steps = 0;
    while (e < 1 && steps < 100) {
        e = clutch_engagement_step(e, 0);
        steps++;
    }
    EXPECT_EQ(steps, 32);
}

TEST(Shifting, OneGearPerPressWithinTheBox)
{
    Bike bike = bike_record("dl250(2009)");
    std::vector<int> gears;
    // Held up for three frames, released, pressed again; then an input out
    // of range.
    for (int input : {1, 1, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 2, -2})
        shift(&bike, input), gears.push_back(bike.gear);
    EXPECT_EQ(gears, (std::vector<int>{1, 1, 1, 1, 2, 2, 3, 3, 4, 4, 4, 4, 4, 4, 4})); // five speeds: fifth stays
    EXPECT_EQ(bike.last_shift, 1);
    shift(&bike, -1);
    EXPECT_EQ(bike.gear, 3);
    shift(&bike, -1);
    EXPECT_EQ(bike.gear, 3); // still held

    Bike six = bike_record("dk125");
    six.gear = 4;
    shift(&six, 1);
    EXPECT_EQ(six.gear, 5);

    bike.crash_timer = 300;
    shift(&bike, 0);
    shift(&bike, 1);
    EXPECT_EQ(bike.gear, 3);
    EXPECT_EQ(bike.last_shift, -1); // thrown off: not even the input is taken

    struct Case {
        int asked, gear;
    };
    for (Case c : {Case{-3, 0}, Case{2, 2}, Case{5, 4}, Case{9, 4}}) {
        set_gear(&bike, c.asked);
        EXPECT_EQ(bike.gear, c.gear) << c.asked;
    }
    set_gear(&six, 5);
    EXPECT_EQ(six.gear, 5);
}

using Drivetrain = RideTest;

// Torque the step put on the rear wheel about its axle (positive drives it
// forward).
float drive_torque(const Bike* bike)
{
    return float(-dBodyGetTorque(bike->bodies[body_rear_wheel])[0]);
}

TEST_F(Drivetrain, ClutchPassesTorqueByItsEngagement)
{
    struct Case {
        const char* what;
        float engine_rpm, wheel_rate, lever_engagement, windup;
        float torque; // on the wheel, from the formula
    };
    Bike* bike = create_bike("dl250(2009)", 0, "");
    ASSERT_NE(bike, nullptr);
    const float ratio = overall_ratio(bike); // first gear
    const float w6000 = 6000 / rpm_per_rad_s, w3000 = 3000 / rpm_per_rad_s;
    const Case cases[] = {
        {"below the automatic clutch: open", 3000, 0, 1, 0, 0},
        {"half way up the automatic clutch", 6000, 0, 1, 0, 0.5f * 0.75f * w6000},
        {"lever pulled in", 9000, 0, 0, 0, 0},
        {"wound up within the limit", 9000, 0, 1, 0.2f, 7500 * 0.2f + 0.75f * 9000 / rpm_per_rad_s},
        {"engine braking takes the lever's engagement", 3000, 40, 1, 0, 0.75f * (w3000 - 40 * ratio)},
        {"engine braking with the lever half out", 3000, 40, 0.5f, 0, 0.5f * 0.75f * (w3000 - 40 * ratio)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reset_bike(bike);
        move_bike(bike, 0, 50, 0); // in the air: no ground anywhere
        bike->engine_speed = c.engine_rpm / rpm_per_rad_s;
        bike->clutch = c.lever_engagement;
        bike->clutch_angle = c.windup;
        dBodySetAngularVel(bike->bodies[body_rear_wheel], -c.wheel_rate, 0, 0);
        drivetrain_step(bike, 1);
        EXPECT_NEAR(drive_torque(bike), c.torque, std::fabs(c.torque) * 1e-4f + 1e-3f);
        // The frame takes it back.
        EXPECT_NEAR(dBodyGetTorque(bike->bodies[body_frame])[0], c.torque, std::fabs(c.torque) * 1e-4f + 1e-3f);
    }
    // Wound past the limit: the clutch slips, the wind-up is held at the
    // limit (and the engine's step goes on from there).
    reset_bike(bike);
    bike->engine_speed = 9000 / rpm_per_rad_s;
    bike->clutch = 0.5f;
    bike->clutch_angle = 1.5f;
    drivetrain_step(bike, 1);
    EXPECT_NEAR(bike->clutch_angle, 0.5f * 3.14159265f / 4 + dt * bike->engine_speed / ratio, 1e-4f);
    destroy_bike(bike);
}

TEST_F(Drivetrain, ClosedThrottleIdlesWithTheClutchOpen)
{
    Bike* bike = create_bike("dl250(2009)", 0, "");
    ASSERT_NE(bike, nullptr);
    for (float start : {0.0f, 4000.0f, 12000.0f}) {
        reset_bike(bike);
        move_bike(bike, 0, 50, 0);
        bike->clutch = 0; // lever pulled in
        bike->engine_speed = start / rpm_per_rad_s;
        for (int step = 0; step < 4 * 128; step++)
            drivetrain_step(bike, step);
        EXPECT_GE(engine_rpm(bike), 750) << start;
        EXPECT_LE(engine_rpm(bike), 1750) << start;
        EXPECT_NEAR(drive_torque(bike), 0, 1e-3f) << start;
    }
    destroy_bike(bike);
}

TEST_F(Drivetrain, BrakesAreTheAxleMotors)
{
    Bike* bike = create_bike("dl250(2009)", 0, "");
    ASSERT_NE(bike, nullptr);
    struct Case {
        const char* what;
        uint8_t options;
        float front_brake, rear_brake;
        float front_depth, front_slip, rear_depth, rear_slip;
        float front_torque, rear_torque;
    };
    const uint8_t abs_front = option_front_antilock, abs_rear = option_rear_antilock, stoppie = option_stoppie_release;
    const Case cases[] = {
        {"no brakes: free wheels", 0, 0, 0, 0.1f, 0, 0.1f, 0, 0, 0},
        {"both pulled", 0, 1, 0.5f, 0.1f, 0, 0.1f, 0, 250, 125},
        {"locked front without antilock", 0, 1, 1, 0.1f, 9, 0.1f, 9, 250, 250},
        {"antilock lets a sliding front go", abs_front, 1, 1, 0.1f, 2.5f, 0.1f, 9, 0, 250},
        {"antilock keeps a rolling front", abs_front, 1, 1, 0.1f, 1.5f, 0.1f, 0, 250, 250},
        {"antilock in the air holds", abs_front | abs_rear, 1, 1, 0, 9, 0, 9, 250, 250},
        {"rear antilock", abs_rear, 1, 1, 0.1f, 9, 0.1f, 3, 250, 0},
        {"stoppie: rear lifted, front let go", stoppie, 1, 1, 0.1f, 0, 0, 0, 0, 250},
        {"stoppie release with both down", stoppie, 1, 1, 0.1f, 0, 0.1f, 0, 250, 250},
        {"stoppie release in the air", stoppie, 1, 1, 0, 0, 0, 0, 250, 250},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bike->options = c.options;
        bike->front_brake = c.front_brake;
        bike->rear_brake = c.rear_brake;
        bike->front_contact.depth = c.front_depth;
        bike->front_contact.slip_velocity = {0, 0, c.front_slip};
        bike->rear_contact.depth = c.rear_depth;
        bike->rear_contact.slip_velocity = {c.rear_slip, 0, 0};
        drivetrain_step(bike, 1);
        EXPECT_FLOAT_EQ(dJointGetHingeParam(bike->joints[joint_front_axle], dParamFMax), c.front_torque);
        EXPECT_FLOAT_EQ(dJointGetHingeParam(bike->joints[joint_rear_axle], dParamFMax), c.rear_torque);
        EXPECT_EQ(dJointGetHingeParam(bike->joints[joint_front_axle], dParamVel), 0);
        EXPECT_EQ(dJointGetHingeParam(bike->joints[joint_rear_axle], dParamVel), 0);
    }
    destroy_bike(bike);
}

TEST_F(Drivetrain, WheelieCutOnlyWhileTheNoseRises)
{
    Bike* bike = create_bike("dl250(2009)", 0, "");
    ASSERT_NE(bike, nullptr);
    bike->throttle = 1;
    bike->engine_speed = 8000 / rpm_per_rad_s;
    struct Case {
        const char* what;
        bool option;
        float front_depth, rear_depth, pitch_rate;
        float torque;
    };
    const Case cases[] = {
        {"front up, nose rising", true, 0, 0.1f, 0.5f, 0},
        {"front up, nose still", true, 0, 0.1f, 0, 0},
        {"front up, nose falling", true, 0, 0.1f, -0.1f, 20.27f},
        {"both down", true, 0.1f, 0.1f, 0.5f, 20.27f},
        {"both in the air", true, 0, 0, 0.5f, 20.27f},
        {"not asked for", false, 0, 0.1f, 0.5f, 20.27f},
    };
    for (const Case& c : cases) {
        bike->options = c.option ? option_wheelie_cut : 0;
        bike->front_contact.depth = c.front_depth;
        bike->rear_contact.depth = c.rear_depth;
        dBodySetAngularVel(bike->bodies[body_frame], c.pitch_rate, 0, 0);
        EXPECT_NEAR(engine_torque(bike), c.torque, 1e-4f) << c.what;
    }
    // Engine braking is never cut.
    bike->options = option_wheelie_cut;
    bike->throttle = 0;
    bike->front_contact.depth = 0;
    dBodySetAngularVel(bike->bodies[body_frame], 0.5f, 0, 0);
    EXPECT_NEAR(engine_torque(bike), -7, 1e-4f);
    destroy_bike(bike);
}

TEST_F(Drivetrain, BrokenStateNeverReachesThePhysics)
{
    Bike* bike = create_bike("dl250(2009)", 0, "");
    ASSERT_NE(bike, nullptr);
    bike->engine_speed = NAN;
    bike->clutch_angle = INFINITY;
    bike->clutch = 1;
    bike->throttle = 1;
    drivetrain_step(bike, 1);
    EXPECT_TRUE(std::isfinite(bike->engine_speed));
    EXPECT_TRUE(std::isfinite(bike->clutch_angle));
    for (dBodyID b : bike->bodies)
        for (int k = 0; k < 3; k++)
            EXPECT_TRUE(std::isfinite(dBodyGetTorque(b)[k]));
    // An angle far out comes back into one turn.
    bike->clutch_angle = 1e6f;
    drivetrain_step(bike, 2);
    EXPECT_LE(std::fabs(bike->clutch_angle), 3.1416f);
    destroy_bike(bike);
}

// The road speed at which the engine, in top gear, runs out of torque: the
// map entry the lookup reaches above the shift-up speed where the open
// throttle gives nothing any more.
float cut_out_rpm(const BikeModel& m)
{
    int i = int(m.shift_up_rpm / 500);
    while (i < torque_map_points - 1 && m.open_throttle_torque[i] > 0)
        i++;
    return (float(i) - 0.5f) * 500; // where the lookup moves on to entry i
}

int top_gear(const BikeModel& m)
{
    int g = gear_count - 1;
    while (!(m.gear_ratio[g] > 0))
        g--;
    return g;
}

TEST_F(RideTest, FullThrottleShiftsUpToTheTopSpeedOfTheGearing)
{
    TestField field(10, 1, flat); // 2048 ft of straight
    for (const char* name : {"dl250(2009)", "dk125"}) {
        SCOPED_TRACE(name);
        Bike* bike = bike_at(&field.terrain, name, 1024.3f, 1900.6f);
        ASSERT_NE(bike, nullptr);
        ASSERT_TRUE(bike->options & option_auto_shift);
        const BikeModel& m = bike->model;
        Ride r = start_ride(&field.terrain, bike);
        ride(&r, 64);
        r.controls.throttle = 1;
        int gear = 0, last_change = -1000;
        for (int step = 0; step < 24 * 128; step++) {
            float ratio = overall_ratio(bike);
            ride(&r, 1);
            if (bike->gear != gear) {
                float wheel_rpm = float(dJointGetHingeAngleRate(bike->joints[joint_rear_axle])) * ratio * rpm_per_rad_s;
                // Up one gear at a time, at most every 32 steps, only past
                // the shift-up speed.
                EXPECT_EQ(bike->gear, gear + 1);
                EXPECT_GE(r.frame - last_change, 32);
                EXPECT_GT(wheel_rpm, m.shift_up_rpm);
                gear = bike->gear;
                last_change = r.frame;
            }
            ASSERT_EQ(bike->crash_timer, 0);
        }
        EXPECT_EQ(bike->gear, top_gear(m));
        // Top speed: the engine sits where the map runs out of torque, the
        // wheel turning with it, the bike at that wheel speed on its
        // (partly squashed) rear tyre.
        float cut = cut_out_rpm(m), ratio = overall_ratio(bike);
        EXPECT_NEAR(engine_rpm(bike), cut, 500);
        float wheel = float(dJointGetHingeAngleRate(bike->joints[joint_rear_axle]));
        EXPECT_NEAR(wheel * ratio * rpm_per_rad_s, cut, 500);
        float speed = -velocity_of(bike->bodies[body_frame]).z;
        float tyre = m.rear_wheel.ring_radius + m.rear_wheel.tube_radius;
        EXPECT_GT(speed, (cut - 500) / (ratio * rpm_per_rad_s) * (tyre - m.rear_wheel.tube_radius / 2));
        EXPECT_LT(speed, (cut + 500) / (ratio * rpm_per_rad_s) * tyre);
        EXPECT_LT(std::fabs(position_of(bike->bodies[body_frame]).x - 1024.3f), 0.5f); // still going straight
        destroy_bike(bike);
    }
}

float front_rolling_speed(const Bike* bike)
{
    return float(dJointGetHingeAngleRate(bike->joints[joint_front_axle])) *
           (bike->model.front_wheel.ring_radius + bike->model.front_wheel.tube_radius);
}

TEST_F(RideTest, BrakingStopsTheBikeAndAntilockKeepsTheFrontTurning)
{
    // Loose ground and the strongest front brake: a fully braked front
    // wheel locks.
    TestField field(9, 1, flat, material_with_friction(0.6f));
    config.brake_torque.value = 500;
    struct Case {
        bool antilock;
    };
    for (Case c : {Case{true}, Case{false}}) {
        SCOPED_TRACE(c.antilock ? "antilock" : "plain");
        config.front_brake.index = c.antilock ? 1 : 0;
        Bike* bike = bike_at(&field.terrain, "dl250(2009)", 512.3f, 1000.6f);
        ASSERT_NE(bike, nullptr);
        Ride r = start_ride(&field.terrain, bike);
        ride(&r, 64);
        set_rolling(bike, 60);
        r.controls.clutch_lever = 1;
        r.controls.front_brake = 1;
        r.controls.rear_brake = 1;
        float start = position_of(bike->bodies[body_frame]).z;
        int locked = 0, braking = 0, steps = 0;
        while (-velocity_of(bike->bodies[body_frame]).z > 0.5f && steps < 8 * 128) {
            ride(&r, 1);
            steps++;
            float speed = -velocity_of(bike->bodies[body_frame]).z;
            if (speed > 10) {
                braking++;
                locked += front_rolling_speed(bike) < 0.5f * speed;
            }
        }
        float distance = start - position_of(bike->bodies[body_frame]).z;
        // From 60 ft/s: a grip of 0.6 alone would need v^2 / 2 mu g = 94 ft,
        // rolling resistance and the friction of both tyre directions
        // shorten that a little.
        EXPECT_LT(steps, 8 * 128);
        EXPECT_GT(distance, 60.0f * 60 / (2 * 0.6f * 32) * 0.75f);
        EXPECT_LT(distance, 160);
        if (c.antilock) {
            EXPECT_LT(locked, braking / 10);
        } else {
            EXPECT_GT(locked, braking / 2);
        }
        destroy_bike(bike);
    }
}

} // namespace
