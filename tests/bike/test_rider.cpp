#include "bike/assists.h"
#include "bike/rider.h"
#include "bike_support.h"
#include "data/config.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace {

float flat(float, float)
{
    return 0;
}

RiderControls controls_with(float RiderControls::*channel, float value)
{
    RiderControls c{};
    c.*channel = value;
    return c;
}

TEST(ApplyControls, ChannelsIntoTheBike)
{
    config_defaults();
    Bike bike = bike_record("dl250(2009)");
    StickyDab sticky{};
    // Left and Right held together cancel in the channel; Left alone, with
    // the default reversed steering, steers the bike to -1.
    apply_controls(&bike, controls_with(&RiderControls::steer, 0), &sticky);
    EXPECT_EQ(bike.steer, 0);
    apply_controls(&bike, controls_with(&RiderControls::steer, 1), &sticky);
    EXPECT_EQ(bike.steer, -1);
    config.reverse_steering.index = 0;
    apply_controls(&bike, controls_with(&RiderControls::steer, 1), &sticky);
    EXPECT_EQ(bike.steer, 1);

    RiderControls c = {2, 0.5f, 1.5f, -1, 0, 0, 0.25f, 0.75f, -3};
    apply_controls(&bike, c, &sticky);
    EXPECT_EQ(bike.steer, 1);
    EXPECT_EQ(bike.throttle, 0.5f);
    EXPECT_EQ(bike.front_brake, 1);
    EXPECT_EQ(bike.rear_brake, 0);
    EXPECT_EQ(bike.dab, 0.25f);
    EXPECT_EQ(bike.back_up, 0.75f);
    EXPECT_EQ(bike.lean, -1);

    // Broken input never gets past the setters.
    RiderControls broken = {NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN};
    apply_controls(&bike, broken, &sticky);
    for (float v : {bike.steer, bike.throttle, bike.front_brake, bike.rear_brake, bike.clutch, bike.dab, bike.back_up,
                    bike.lean})
        EXPECT_TRUE(std::isfinite(v));
}

TEST(ApplyControls, ThrownOffRiderHasNoThrottleDabBackUpOrLean)
{
    config_defaults();
    Bike bike = bike_record("dl250(2009)");
    StickyDab sticky{};
    bike.crash_timer = 200;
    RiderControls c = {1, 1, 1, 1, 1, 0, 1, 1, 1};
    apply_controls(&bike, c, &sticky);
    EXPECT_EQ(bike.throttle, 0);
    EXPECT_EQ(bike.dab, 0);
    EXPECT_EQ(bike.back_up, 0);
    EXPECT_EQ(bike.lean, 0);
    EXPECT_EQ(bike.gear, 0);
    // Steering and brakes stay his.
    EXPECT_EQ(bike.steer, -1);
    EXPECT_EQ(bike.front_brake, 1);
    EXPECT_EQ(bike.rear_brake, 1);
}

TEST(ApplyControls, StickyDabTogglesOncePerPress)
{
    config_defaults();
    Bike bike = bike_record("dl250(2009)");
    StickyDab sticky{};
    const float held[] = {1, 1, 1, 0, 0, 1, 1, 0, 0.4f, 0.6f};
    const float sticky_dab[] = {1, 1, 1, 1, 1, 0, 0, 0, 0, 1};
    config.sticky_dab.index = 1;
    for (size_t i = 0; i < std::size(held); i++) {
        apply_controls(&bike, controls_with(&RiderControls::dab, held[i]), &sticky);
        EXPECT_EQ(bike.dab, sticky_dab[i]) << i;
    }
    // Without the option the input goes straight through.
    config.sticky_dab.index = 0;
    apply_controls(&bike, controls_with(&RiderControls::dab, 0.4f), &sticky);
    EXPECT_EQ(bike.dab, 0.4f);
}

TEST(ApplyControls, ClutchLeverAndShiftInput)
{
    config_defaults();
    Bike bike = bike_record("dl250(2009)");
    StickyDab sticky{};
    bike.clutch = 1;
    apply_controls(&bike, controls_with(&RiderControls::clutch_lever, 7.0f / 8), &sticky);
    EXPECT_EQ(bike.clutch, 0);
    int steps = 0;
    while (bike.clutch < 1 && steps < 100) {
        apply_controls(&bike, RiderControls{}, &sticky);
        steps++;
    }
    EXPECT_EQ(steps, 32);

    struct Case {
        float input;
        int gear;
    };
    // Past half way is a press; it must come back before the next one.
    for (Case c : {Case{0.4f, 0}, Case{0.6f, 1}, Case{1, 1}, Case{0.2f, 1}, Case{0.9f, 2}, Case{-0.6f, 1},
                   Case{-0.4f, 1}, Case{-1, 0}}) {
        apply_controls(&bike, controls_with(&RiderControls::shift, c.input), &sticky);
        EXPECT_EQ(bike.gear, c.gear) << c.input;
    }
}

using Rider = RideTest;

// Every body moving at the same velocity, and the torso's history saying it
// moved at `before` four steps ago.
void whole_bike_moving(Bike* bike, Vec3 now, Vec3 before)
{
    for (dBodyID b : bike->bodies) {
        dBodySetLinearVel(b, now.x, now.y, now.z);
        dBodySetAngularVel(b, 0, 0, 0);
    }
    for (Vec3& v : bike->torso_velocity_history)
        v = before;
}

TEST_F(Rider, ThrownOffByTooHardAJolt)
{
    struct Case {
        const char* what;
        Vec3 now, before; // whole bike, four steps apart
        Vec3 torso_extra; // the torso alone, against the bike
        bool thrown;
    };
    const Case cases[] = {
        {"sideways 43 ft/s within four steps", {43, 0, 0}, {0, 0, 0}, {0, 0, 0}, true},
        {"sideways 42.5 ft/s", {42.5f, 0, 0}, {0, 0, 0}, {0, 0, 0}, false},
        {"a 40 ft/s fall stopped", {0, 0, 0}, {0, -40, 0}, {0, 0, 0}, false},
        {"steady at speed", {0, 0, -120}, {0, 0, -120}, {0, 0, 0}, false},
        {"torso 31.5 ft/s against the bike", {0, 0, 0}, {0, 0, 0}, {0, 31.5f, 0}, true},
        {"torso 30.5 ft/s against the bike", {0, 0, 0}, {0, 30.5f, 0}, {0, 30.5f, 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bike* bike = create_bike("dl250(2009)", 0, "");
        ASSERT_NE(bike, nullptr);
        whole_bike_moving(bike, c.now, c.before);
        Vec3 t = c.now + c.torso_extra;
        dBodySetLinearVel(bike->bodies[body_torso], t.x, t.y, t.z);
        EXPECT_EQ(crash_test(bike, 5, nullptr), c.thrown);
        EXPECT_EQ(bike->crash_timer, c.thrown ? 512 : 0);
        EXPECT_EQ(dJointGetBody(bike->joints[joint_rider], 0) == nullptr, c.thrown);
        // Once off, the test rests until he is back.
        EXPECT_FALSE(crash_test(bike, 6, nullptr));
        destroy_bike(bike);
    }
}

// Where the torso sits in the frame's coordinates, against its seat.
Vec3 torso_in_seat(const Bike* bike)
{
    const dReal* p = dBodyGetPosition(bike->bodies[body_torso]);
    dVector3 local;
    dBodyGetPosRelPoint(bike->bodies[body_frame], p[0], p[1], p[2], local);
    const BikeModel& m = bike->model;
    return {float(local[0]) - (m.rider_position[0] - m.frame_position[0]),
            float(local[1]) - (m.rider_position[1] - m.frame_position[1]),
            float(local[2]) - (m.rider_position[2] - m.frame_position[2])};
}

TEST_F(Rider, SpringsHoldTheTorsoWhereLeanAndSitAsk)
{
    TestField field(6, 1, flat);
    struct Case {
        const char* what;
        float lean, dab;
        float forward_low, forward_high; // torso ahead of the seat, ft
        float up_low, up_high; // torso above the seat, ft
        float still; // ft/s the torso may still move
    };
    // Upright and still, the torso's weight sits it a little below its
    // target an eighth of a foot above the seat; leaning moves it up to
    // 0.75 ft along the frame; sitting lowers it by about half a foot and,
    // as the seat slopes, forward.
    const Case cases[] = {
        {"riding", 0, 0, -0.2f, 0.2f, -0.3f, 0.1f, 0.05f},
        {"leaning forward", -1, 0, 0.5f, 0.85f, -0.3f, 0.1f, 0.05f},
        {"leaning back", 1, 0, -0.85f, -0.5f, -0.3f, 0.1f, 0.05f},
        // Down at the edge of the stiff range, where the springs hand over
        // and the torso keeps stirring a little.
        {"sitting", 0, 1, 0.25f, 0.75f, -0.75f, -0.35f, 0.25f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bike* bike = bike_at(&field.terrain, "dl250(2009)", 64.37f, 64.61f);
        Ride r = start_ride(&field.terrain, bike);
        r.controls.lean = c.lean;
        r.controls.dab = c.dab;
        ride(&r, 3 * 64);
        Vec3 seat = torso_in_seat(bike);
        EXPECT_NEAR(seat.x, 0, 1e-3f);
        EXPECT_GE(-seat.z, c.forward_low);
        EXPECT_LE(-seat.z, c.forward_high);
        EXPECT_GE(seat.y, c.up_low);
        EXPECT_LE(seat.y, c.up_high);
        EXPECT_LT(length(velocity_of(bike->bodies[body_torso])), c.still);
        EXPECT_EQ(bike->crash_timer, 0);
        destroy_bike(bike);
    }
}

TEST_F(Rider, FeetOnThePegsDownWhenDabbingOutWhenThrown)
{
    TestField field(6, 1, [](float, float) { return 0.5f; });
    Bike* bike = create_bike("dl250(2009)", 0, "");
    ASSERT_NE(bike, nullptr);
    move_bike(bike, 30, 0.55, 30);
    const BikeModel& m = bike->model;
    Vec3 left, right;
    float lw = -1, rw = -1;
    foot_positions(bike, &field.terrain, &left, &right, &lw, &rw);
    Vec3 frame = position_of(bike->bodies[body_frame]);
    expect_vec3_near(left, frame + Vec3{m.left_peg[0], m.left_peg[1], m.left_peg[2]}, 1e-5f);
    expect_vec3_near(right, frame + Vec3{m.right_peg[0], m.right_peg[1], m.right_peg[2]}, 1e-5f);
    EXPECT_EQ(lw, 0);
    EXPECT_EQ(rw, 0);

    // Upright and still with the foot fully down: both feet on the ground,
    // half a hip width outside the hips, in line with them.
    bike->dab_amount = 1;
    foot_positions(bike, &field.terrain, &left, &right, &lw, &rw);
    Vec3 torso = position_of(bike->bodies[body_torso]);
    EXPECT_NEAR(left.y, 0.5f + 0.125f, 1e-5f);
    EXPECT_NEAR(right.y, 0.5f + 0.125f, 1e-5f);
    EXPECT_NEAR(left.x, torso.x + m.left_hip[0] * 2, 1e-4f);
    EXPECT_NEAR(right.x, torso.x + m.right_hip[0] * 2, 1e-4f);
    EXPECT_NEAR(left.z, torso.z + m.left_hip[2], 1e-4f);
    EXPECT_EQ(lw, 1);
    EXPECT_EQ(rw, 1);
    // Half way down: half way there.
    bike->dab_amount = 0.5f;
    Vec3 half;
    foot_positions(bike, &field.terrain, &half, &right, &lw, &rw);
    EXPECT_NEAR(half.y, (left.y + frame.y + m.left_peg[1]) / 2, 1e-4f);
    EXPECT_EQ(lw, 0.5f);

    // Thrown off: the feet are the particles until the last steps, then
    // blend back to the pegs.
    bike->dab_amount = 0;
    bike->crash_timer = 512;
    bike->left_foot = {1, 2, 3};
    bike->right_foot = {4, 5, 6};
    foot_positions(bike, &field.terrain, &left, &right, &lw, &rw);
    expect_vec3_near(left, {1, 2, 3}, 1e-6f);
    expect_vec3_near(right, {4, 5, 6}, 1e-6f);
    EXPECT_EQ(lw, 1);
    EXPECT_EQ(rw, 1);
    bike->crash_timer = 32;
    // The pegs' rest points lifted 0.875 ft and moved back a third of a
    // foot; the feet 1/128 of the way from there to the particles.
    Vec3 peg = frame + Vec3{m.left_peg[0], m.left_peg[1] + 0.875f, m.left_peg[2] + 1.0f / 3};
    foot_positions(bike, &field.terrain, &left, &right, &lw, &rw);
    expect_vec3_near(left, peg + (Vec3{1, 2, 3} - peg) * (1.0f / 128), 1e-4f);
    destroy_bike(bike);
}

struct Throw {
    const char* what;
    // Puts the rider off (or rides him into it) at the start.
    std::function<void(Ride*)> start;
    // Anything done to the rider every step while he is off.
    std::function<void(Bike*)> each_step;
    bool waits_longest; // the torso never rests: he is pulled back anyway
};

TEST_F(Rider, ThrownOffRiderComesBack)
{
    // A wall 4 ft high across the field in front of the bike.
    TestField field(7, 1, [](float, float z) { return z < 100 ? 4.0f : 0.0f; });
    auto kick = [](Ride* r) {
        ride(r, 64);
        const dReal* v = dBodyGetLinearVel(r->bike->bodies[body_torso]);
        // Up out of the seat: the rider joint holds him sideways.
        dBodySetLinearVel(r->bike->bodies[body_torso], v[0], v[1] + 40, v[2]);
    };
    const Throw cases[] = {
        {"kicked off a standing bike", kick, nullptr, false},
        {"into a wall at speed",
         [](Ride* r) {
             ride(r, 64);
             set_rolling(r->bike, 50);
         },
         nullptr, false},
        // A torso that never comes to rest: the count goes on after the
        // longest wait.
        {"never at rest", kick,
         [](Bike* bike) {
             const dReal* v = dBodyGetLinearVel(bike->bodies[body_frame]);
             dBodySetLinearVel(bike->bodies[body_torso], v[0] + 6, v[1], v[2]);
         },
         true},
    };
    for (const Throw& c : cases) {
        SCOPED_TRACE(c.what);
        Bike* bike = bike_at(&field.terrain, "dl250(2009)", 64.37f, 130.6f);
        Ride r = start_ride(&field.terrain, bike);
        c.start(&r);
        r.controls.throttle = 0.5f;
        int thrown_at = -1, back_at = -1, longest_wait = 0;
        bool feet_moved = false;
        Vec3 left_start = {};
        for (int step = 0; step < 8 * 128 && back_at < 0; step++) {
            ride(&r, 1);
            if (bike->crash_timer > 0 && thrown_at < 0) {
                thrown_at = r.frame;
                left_start = bike->left_foot;
            }
            if (thrown_at >= 0 && bike->crash_timer > 0) {
                EXPECT_EQ(dJointGetBody(bike->joints[joint_rider], 0), nullptr);
                EXPECT_EQ(bike->throttle, 0);
                feet_moved |= length(bike->left_foot - left_start) > 0.1f;
                longest_wait = std::max(longest_wait, bike->crash_wait);
                for (Vec3 foot : {bike->left_foot, bike->right_foot})
                    ASSERT_TRUE(is_finite(foot));
                if (c.each_step)
                    c.each_step(bike);
            }
            if (thrown_at >= 0 && bike->crash_timer == 0)
                back_at = r.frame;
        }
        ASSERT_GE(thrown_at, 0);
        ASSERT_GE(back_at, 0);
        // He waits at most crash_wait_limit steps for rest, then counts 512.
        EXPECT_LE(back_at - thrown_at, crash_wait_limit + 512);
        EXPECT_GE(back_at - thrown_at, 512);
        EXPECT_TRUE(feet_moved);
        EXPECT_EQ(longest_wait >= crash_wait_limit, c.waits_longest);
        // Back in the seat, joined to the frame, with nothing left over.
        EXPECT_EQ(dJointGetBody(bike->joints[joint_rider], 0), bike->bodies[body_torso]);
        EXPECT_EQ(dJointGetBody(bike->joints[joint_rider], 1), bike->bodies[body_frame]);
        EXPECT_LT(length(torso_in_seat(bike)), 0.1f);
        EXPECT_EQ(bike->crash_wait, 0);
        // And he rides on: the joint holds him in the seat.
        r.controls.throttle = 0;
        ride(&r, 64);
        EXPECT_EQ(bike->crash_timer, 0);
        EXPECT_LT(std::fabs(torso_in_seat(bike).x), 0.05f);
        destroy_bike(bike);
    }
}

TEST_F(Rider, BikeMovedBySnapshotsOnlyLosesItsForces)
{
    Bike* bike = create_bike("dl250(2009)", 0, "");
    ASSERT_NE(bike, nullptr);
    bike->throttle = 1;
    for (dBodyID b : bike->bodies) {
        dBodyAddForce(b, 1, 2, 3);
        dBodyAddTorque(b, 4, 5, 6);
    }
    bike_update(bike, false, 10, nullptr);
    for (dBodyID b : bike->bodies)
        for (int k = 0; k < 3; k++) {
            EXPECT_EQ(dBodyGetForce(b)[k], 0);
            EXPECT_EQ(dBodyGetTorque(b)[k], 0);
        }
    EXPECT_EQ(bike->engine_speed, 0);
    EXPECT_EQ(dBodyGetNumJoints(bike->bodies[body_torso]), 1); // no spring contacts made
    destroy_bike(bike);
}

} // namespace
