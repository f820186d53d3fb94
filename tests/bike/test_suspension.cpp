#include "bike/assists.h"
#include "bike/bike_setup.h"
#include "bike/suspension.h"
#include "bike_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr float air_scale = 82.46169f;

float flat(float, float)
{
    return 0;
}

TEST(ForkForce, CoilAirRampAndDamping)
{
    Bike bike = bike_record("dl250(2009)");
    // A new bike: spring 604.772 lbf/ft, preload 1/24 ft, air gap 5/12 ft.
    const float k = 604.772f, preload = 1.0f / 24, gap = 1 + 5.0f / 12;
    auto air = [&](float x) { return air_scale * (gap / (gap - x) - 1); };
    struct Case {
        const char* what;
        float position, rate, force;
    };
    const Case cases[] = {
        {"fully extended: nothing, whatever the preload", 0, 0, 0},
        {"fully extended and moving", 0, 2, 0},
        {"1/64 ft in: half the force", -1.0f / 64, 0, 0.5f * (k * (preload + 1.0f / 64) + air(1.0f / 64))},
        {"half way in", -0.5f, 0, 372.6f},
        {"compressing adds compression damping", -0.5f, -2, 372.6f + 2 * 60},
        {"extending takes rebound damping", -0.5f, 2, 372.6f - 2 * 30},
        {"past the stop counts as the stop", -1.2f, 0, k * (preload + 1.2f) + air(1)},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(fork_force(&bike, c.position, c.rate), c.force, 0.05f) << c.what;
}

TEST(ForkForce, OilLevelSetsTheAirSpring)
{
    Bike bike = bike_record("dl250(2009)");
    struct Case {
        float oil, air_at_full_travel;
    };
    for (Case c : {Case{0, 197.9f}, Case{0.5f, air_scale * (1.3333333f / 0.3333333f - 1)}, Case{1, 329.8f}}) {
        set_fork_setup(&bike, 1, 1, 0, 0, c.oil); // spring 510.6964, no preload
        EXPECT_NEAR(fork_force(&bike, -1, 0) - 510.6964f, c.air_at_full_travel, 0.1f) << c.oil;
    }
}

TEST(ShockTorque, SpringThroughTheLinkageAndDamping)
{
    Bike bike = bike_record("dl250(2009)");
    set_shock_setup(&bike, 1, 1, 1, 1); // 4031.814 lbf/ft, preload 0.0275
    const float r = 8.0f / 13, k = 4031.814f, preload = 0.0275f, travel = 0.55f;
    struct Case {
        const char* what;
        float angle, rate, torque;
    };
    const Case cases[] = {
        {"fully extended: nothing, whatever the preload", 0, 0, 0},
        {"1/64 of the travel in: half the torque", -travel / 64, 0, 0.5f * r * k * (r / 64 + preload)},
        {"half the travel", -travel / 2, 0, r * k * (r / 2 + preload)},
        {"compressing", -travel / 2, -1.5f, r * k * (r / 2 + preload) + r * r * 800 * 1.5f},
        {"at rest the rebound value, moving out", -travel / 2, 1.5f, r * k * (r / 2 + preload) - r * r * 600 * 1.5f},
        {"full travel", -travel, 0, r * k * (r + preload)},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(shock_torque(&bike, c.angle, c.rate), c.torque, 0.05f) << c.what;
}

struct Sag {
    float fork; // ft of travel used
    float shock; // rad
};

// The bike left standing on level ground until it is still: where its
// fork and shock come to rest, checked against the load each carries.
Sag settle_and_check(const TestField& field, float spring_t, float preload_t)
{
    Bike* bike = bike_at(&field.terrain, "dl250(2009)", 64.37f, 64.61f);
    set_fork_setup(bike, 1, 1, spring_t, preload_t, 0.5f);
    set_shock_setup(bike, 1, 1, spring_t, preload_t);
    Ride r = start_ride(&field.terrain, bike);
    // Long enough to come to rest, not so long that the bike, balanced on
    // two wheels without a rider's foot, starts to topple.
    ride(&r, 3 * 64);
    EXPECT_LT(std::fabs(lean_angle(bike->bodies[body_frame])), 1e-3f);
    for (dBodyID b : bike->bodies)
        EXPECT_LT(length(velocity_of(b)), 0.02f);
    EXPECT_EQ(bike->crash_timer, 0);

    const Vec3 g = {0, -32, 0};
    auto mass = [&](int body) {
        dMass m;
        dBodyGetMass(bike->bodies[body], &m);
        return float(m.mass);
    };
    // Fork: along its axis, the motor carries what the ground pushes up
    // less the weight of the lower fork and wheel.
    dJointID fork = bike->joints[joint_fork];
    dVector3 a;
    dJointGetSliderAxis(fork, a);
    Vec3 axis = {float(a[0]), float(a[1]), float(a[2])};
    Vec3 ground = {float(bike->front_contact.contact_feedback.f1[0]), float(bike->front_contact.contact_feedback.f1[1]),
                   float(bike->front_contact.contact_feedback.f1[2])};
    float fork_load = dot(axis, ground + g * (mass(body_front_wheel) + mass(body_fork_lower)));
    float position = float(dJointGetSliderPosition(fork));
    EXPECT_NEAR(fork_force(bike, position, 0), fork_load, fork_load * 0.02f);

    // Shock: about the pivot, the motor holds the moment of the rear ground
    // force and of the swingarm's and wheel's weight.
    dJointID swingarm = bike->joints[joint_swingarm];
    dVector3 h, p;
    dJointGetHingeAxis(swingarm, h);
    dJointGetHingeAnchor(swingarm, p);
    Vec3 hinge = {float(h[0]), float(h[1]), float(h[2])}, pivot = {float(p[0]), float(p[1]), float(p[2])};
    const dReal* rf = bike->rear_contact.contact_feedback.f1;
    Vec3 rear_ground = {float(rf[0]), float(rf[1]), float(rf[2])};
    Vec3 moment = cross(bike->rear_contact.contact_point - pivot, rear_ground);
    for (int body : {body_swingarm, body_rear_wheel})
        moment = moment + cross(position_of(bike->bodies[body]) - pivot, g * mass(body));
    float shock_load = -dot(hinge, moment);
    float angle = float(dJointGetHingeAngle(swingarm));
    EXPECT_NEAR(shock_torque(bike, angle, 0), shock_load, shock_load * 0.02f);

    Sag sag = {-position, -angle};
    EXPECT_GT(sag.fork, 0.05f);
    EXPECT_LT(sag.fork, bike->model.fork_travel * 0.5f);
    EXPECT_GT(sag.shock, 0.02f);
    EXPECT_LT(sag.shock, bike->model.swingarm_travel * 0.5f);
    destroy_bike(bike);
    return sag;
}

TEST_F(RideTest, SuspensionSettlesAtTheSagOfItsSprings)
{
    TestField field(6, 1, flat);
    Sag soft, middle, hard;
    {
        SCOPED_TRACE("soft, no preload");
        soft = settle_and_check(field, 0, 0);
    }
    {
        SCOPED_TRACE("middle");
        middle = settle_and_check(field, 0.5f, 0.5f);
    }
    {
        SCOPED_TRACE("hard, full preload");
        hard = settle_and_check(field, 1, 1);
    }
    EXPECT_GT(soft.fork, middle.fork + 0.02f);
    EXPECT_GT(middle.fork, hard.fork + 0.02f);
    EXPECT_GT(soft.shock, middle.shock + 0.01f);
    EXPECT_GT(middle.shock, hard.shock + 0.01f);
}

// Dropped upright from a height, four seconds to land and settle.
struct Landing {
    float deepest_fork, deepest_shock; // slider position, hinge angle
    float fork, shock; // where they came to rest
    int crash_timer;
};

Landing drop_bike(const TestField& field, float height)
{
    Bike* bike = bike_at(&field.terrain, "dl250(2009)", 64.37f, 64.61f);
    move_bike(bike, 0, height, 0);
    Ride r = start_ride(&field.terrain, bike);
    Landing l = {0, 0, 0, 0, 0};
    for (int step = 0; step < 4 * 128; step++) {
        ride(&r, 1);
        l.deepest_fork = std::fmin(l.deepest_fork, float(dJointGetSliderPosition(bike->joints[joint_fork])));
        l.deepest_shock = std::fmin(l.deepest_shock, float(dJointGetHingeAngle(bike->joints[joint_swingarm])));
    }
    l.fork = float(dJointGetSliderPosition(bike->joints[joint_fork]));
    l.shock = float(dJointGetHingeAngle(bike->joints[joint_swingarm]));
    l.crash_timer = bike->crash_timer;
    destroy_bike(bike);
    return l;
}

TEST_F(RideTest, HardLandingUsesTheTravelButNotMore)
{
    TestField field(6, 1, flat);
    const BikeModel& m = *find_bike_model("dl250(2009)");
    Landing rest = drop_bike(field, 0);
    struct Case {
        float drop; // ft from the tyres to the ground
        bool bottoms;
    };
    // The joint stops are stiff but not rigid: a little beyond them is the
    // most a landing may push.
    const float beyond = 0.01f;
    for (Case c : {Case{2, false}, Case{4, false}, Case{8, true}}) {
        SCOPED_TRACE(c.drop);
        Landing l = drop_bike(field, c.drop);
        EXPECT_GE(l.deepest_fork, -m.fork_travel - beyond);
        EXPECT_GE(l.deepest_shock, -m.swingarm_travel - beyond);
        if (c.bottoms) {
            EXPECT_LT(l.deepest_fork, -m.fork_travel * 0.95f);
        } else {
            EXPECT_GT(l.deepest_fork, -m.fork_travel * 0.9f);
            EXPECT_LT(l.deepest_fork, rest.fork * 2); // far deeper than the sag
        }
        EXPECT_LT(l.deepest_shock, rest.shock * 2);
        // Landed in one piece and back at the sag.
        EXPECT_EQ(l.crash_timer, 0);
        EXPECT_NEAR(l.fork, rest.fork, 0.005f);
        EXPECT_NEAR(l.shock, rest.shock, 0.005f);
    }
}

} // namespace
