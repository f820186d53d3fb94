#include "bike/wheel_contact.h"
#include "bike_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr float R = 5.0f / 6; // front ring
constexpr float r = 1.0f / 3; // tube
constexpr float pierce = 1.0f / (1 << 20);
const Vec3 x_axle = {1, 0, 0};

void expect_vec(Vec3 v, Vec3 expected, float tolerance, const char* what)
{
    EXPECT_NEAR(v.x, expected.x, tolerance) << what;
    EXPECT_NEAR(v.y, expected.y, tolerance) << what;
    EXPECT_NEAR(v.z, expected.z, tolerance) << what;
}

Vec3 unit(Vec3 v)
{
    return v * (1 / length(v));
}

TEST(RingPoint, NearestPointOfTheCircle)
{
    struct Case {
        Vec3 axle, x, expected;
    };
    const Vec3 c = {1, 2, 3};
    const Case cases[] = {
        {x_axle, {5, 2, 0}, {1, 2, 3 - R}},          // off the plane: projected first
        {x_axle, {1, 10, 3}, {1, 2 + R, 3}},
        {{0, 3, 0}, {1, 2, 7}, {1, 2, 3 + R}},       // axle need not be unit length
        {x_axle, {9, 2, 3}, {1, 2 + R, 3}},          // on the axle line: (R, 0, 0) is along it, (0, R, 0) serves
        {{0, 1, 0}, {1, -4, 3}, {1 + R, 2, 3}},      // on the axle line: (R, 0, 0) serves
    };
    for (const Case& k : cases)
        expect_vec(ring_point(c, k.axle, R, k.x), k.expected, 1e-6f, "ring point");
    expect_vec(ring_point(c, x_axle, 0, c), c, 0, "ring of no radius");
}

TEST(LinePlanePoint, CrossingOrOrigin)
{
    expect_vec(line_plane_point({0, 5, 0}, {0, -2, 1}, {0, 1, 0}, {0, 1, 0}), {0, 1, 2}, 1e-6f, "crossing");
    expect_vec(line_plane_point({0, 5, 0}, {1, 0, 0}, {0, 1, 0}, {0, 1, 0}), {0, 5, 0}, 0, "parallel");
}

// A large level triangle at y = 0 whose inside holds the points z > x.
const Vec3 level[3] = {{-10, 0, -10}, {-10, 0, 10}, {10, 0, 10}};

TEST(TorusTriangle, CasesOfOneTriangle)
{
    struct Case {
        const char* what;
        Vec3 centre, axle;
        Vec3 triangle[3];
        float depth;
        Vec3 point, normal; // normal compared after normalising
        float tolerance; // of point and normal
    };
    // A triangle ahead of the wheel whose near edge crosses the wheel plane
    // at (0, 0, -0.3), inside the rim of a wheel at (0, 0.5, 0).
    const Vec3 ahead[3] = {{-2, 0, -0.3f}, {2, 0, -0.3f}, {0, 0, -4}};
    Vec3 cross_centre = {0, 0.5f, 0};
    Vec3 crossing = {0, 0, -0.3f};
    Vec3 towards_axle = unit(cross_centre - crossing);
    Vec3 rim_point = cross_centre + unit(crossing - cross_centre) * R;
    // A shelf beside the wheel with its corner 0.2 ft from the wheel plane,
    // 0.1 ft from the axle line.
    const Vec3 shelf[3] = {{0.2f, 0.9f, 0}, {3, 0.9f, 1}, {3, 0.9f, -1}};
    // Level ground that ends at z = 0.3 just behind a wheel hanging over it.
    const Vec3 ledge[3] = {{-10, 0, 0.3f}, {0, 0, 20}, {10, 0, 0.3f}};
    float over_edge = std::sqrt(1 + 0.09f);
    Vec3 ledge_normal = unit({0, 1, -0.3f});

    const Case cases[] = {
        {"resting on top", {0, R + r, 5}, x_axle, {level[0], level[1], level[2]}, 0, {0, 0, 5}, {0, 1, 0}, 2e-4f},
        {"squashed by half", {0, R + r / 2, 5}, x_axle, {level[0], level[1], level[2]}, r / 2, {0, -r / 2, 5},
         {0, 1, 0}, 2e-4f},
        {"ring crossing the plane", {0, 0.5f, 5}, x_axle, {level[0], level[1], level[2]}, r + (R - 0.5f),
         {0, 0.5f - R - r, 5}, {0, 1, 0}, 2e-4f},
        {"sunk right through", {0, -1, 5}, x_axle, {level[0], level[1], level[2]}, 2 * R, {0, -1 - R, 5},
         {0, 1, 0}, 2e-4f},
        {"edge piercing the wheel", cross_centre, x_axle, {ahead[0], ahead[1], ahead[2]}, r - pierce,
         rim_point - towards_axle * r, towards_axle, 2e-4f},
        {"corner beside the wheel", {0, 1, 0}, x_axle, {shelf[0], shelf[1], shelf[2]}, r - 0.2f, shelf[0],
         {-1, 0, 0}, 2e-4f},
        {"hanging over an edge", {0, 1, 0}, x_axle, {ledge[0], ledge[1], ledge[2]}, r - (over_edge - R),
         // The nearest point along an edge parallel to the axle is a double
         // root: four Newton steps leave it a little off centre.
         {0, 0, 0.3f}, ledge_normal, 1e-2f},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Vec3 point, normal;
        float depth = torus_triangle_depth(k.centre, k.axle, R, r, k.triangle, &point, &normal);
        EXPECT_NEAR(depth, k.depth, 2e-5f);
        expect_vec(point, k.point, k.tolerance, "point");
        expect_vec(unit(normal), k.normal, k.tolerance, "normal");
    }
}

TEST(TorusTriangle, DegenerateInputStaysFinite)
{
    Vec3 point, normal;
    // All three corners on one line: no plane to touch.
    const Vec3 line[3] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
    EXPECT_LE(torus_triangle_depth({0, 1, 0}, x_axle, R, r, line, &point, &normal), 0);
    EXPECT_TRUE(is_finite(point) && is_finite(normal));
    // A wheel lying flat on its side, half its tube in the ground: no
    // lowest point of the ring, still a contact straight up.
    float depth = torus_triangle_depth({0, r / 2, 5}, {0, 1, 0}, R, r, level, &point, &normal);
    EXPECT_NEAR(depth, r / 2, 1e-5f);
    EXPECT_TRUE(is_finite(point));
    expect_vec(unit(normal), {0, 1, 0}, 1e-5f, "normal");
    // A corner repeated gives a zero-length edge.
    const Vec3 pinched[3] = {{0, 0, 0}, {0, 0, 0}, {1, 0, 1}};
    Vec3 n = {0, 1, 0};
    float L = ring_boundary_distance({0, 1, 0}, x_axle, R, r, pinched, n, &point, &normal);
    EXPECT_TRUE(std::isfinite(L) && is_finite(point) && is_finite(normal));
}

// The shortcuts taken for a depth the caller already has must never skip a
// triangle that reaches deeper: random triangles and wheels in every pose,
// including wheels sunk through, pierced and lying off to one side.
TEST(TorusTriangle, NeededDepthNeverHidesADeeperTriangle)
{
    uint32_t seed = 777;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return float(seed >> 8) / float(1 << 24);
    };
    int touching = 0, deeper_than_tube = 0;
    for (int trial = 0; trial < 200000; trial++) {
        Vec3 tri[3];
        for (Vec3& v : tri)
            v = {next() * 4 - 2, next() * 2 - 1, next() * 4 - 2};
        Vec3 c = {next() - 0.5f, next() * 2 - 0.5f, next() - 0.5f};
        Vec3 a = {next() - 0.5f, next() - 0.5f, next() - 0.5f};
        Vec3 point, normal;
        float depth = torus_triangle_depth(c, a, R, r, tri, &point, &normal);
        if (!(depth > 0))
            continue;
        touching++;
        deeper_than_tube += depth > r;
        Vec3 p2, n2;
        float again = torus_triangle_depth(c, a, R, r, tri, &p2, &n2, depth - 2e-4f);
        ASSERT_EQ(again, depth) << trial;
    }
    EXPECT_GT(touching, 10000);
    EXPECT_GT(deeper_than_tube, 1000);
}

// A wheel body to test on: a ring and tube like the front wheel's.
struct LoneWheel {
    dBodyID body;
    WheelContact contact{};
    LoneWheel(Vec3 position, Vec3 velocity = {0, 0, 0})
    {
        body = dBodyCreate(physics.world);
        dBodySetPosition(body, position.x, position.y, position.z);
        dBodySetLinearVel(body, velocity.x, velocity.y, velocity.z);
        contact.body = body;
        contact.axle = x_axle;
        contact.ring_radius = R;
        contact.tube_radius = r;
    }
    ~LoneWheel() { dBodyDestroy(body); }
};

using WheelContactTest = PhysicsTest;

TEST_F(WheelContactTest, FlatGroundDepthAndStiffness)
{
    TestField field(3, 1, [](float, float) { return 2.0f; });
    struct Case {
        float above_rest; // centre height less R + r
        int touches;
        float depth;
    };
    for (Case c : {Case{1e-4f, 0, 0}, Case{-1e-4f, 1, 1e-4f}, Case{-r / 2, 1, r / 2}, Case{-r, 1, r}}) {
        SCOPED_TRACE(c.above_rest);
        LoneWheel wheel({7.3f, 2 + R + r + c.above_rest, 8.6f});
        Vec3 p, n;
        float depth = -1;
        ASSERT_EQ(find_wheel_contact(&field.terrain, &wheel.contact, &p, &n, &depth), c.touches);
        EXPECT_EQ(wheel_ground_contact(&field.terrain, &wheel.contact, 1), c.touches);
        EXPECT_EQ(dBodyGetNumJoints(wheel.body), c.touches);
        EXPECT_NEAR(wheel.contact.depth, c.depth, 2e-6f);
        if (c.touches) {
            EXPECT_NEAR(depth, c.depth, 2e-6f);
            expect_vec(n, {0, 1, 0}, 1e-6f, "normal");
            expect_vec(p, {7.3f, 2 - c.depth, 8.6f}, 2e-6f, "point");
        }
        dJointGroupEmpty(physics.contact_group);
    }
    // Sunk right under the ground, deeper than the tyre is tall: pushed
    // straight up as hard as the tyre can.
    LoneWheel sunk({7.3f, -3, 8.6f});
    Vec3 p, n;
    float depth = -1;
    ASSERT_EQ(find_wheel_contact(&field.terrain, &sunk.contact, &p, &n, &depth), 1);
    EXPECT_NEAR(depth, 2 * R, 1e-6f);
    expect_vec(n, {0, 1, 0}, 0, "normal");
    expect_vec(p, {7.3f, -3 - R, 8.6f}, 1e-6f, "point");
    // Fully squashed tube: the stiffest contact.
    ContactSoftness soft = tyre_softness(r, r);
    EXPECT_NEAR(soft.spring, 25000, 1e-2);
    EXPECT_NEAR(soft.damper, 2500, 1e-3);
}

TEST(TyreSoftness, StiffnessRisesWithTheCubeOfTheSquash)
{
    struct Case {
        float depth, spring, damper;
    };
    for (Case c : {Case{0, 1000, 200}, Case{r / 2, 4000, 487.5f}, Case{r, 25000, 2500}, Case{3 * r, 25000, 2500}}) {
        ContactSoftness s = tyre_softness(c.depth, r);
        EXPECT_NEAR(s.spring, c.spring, 1e-2) << c.depth;
        EXPECT_NEAR(s.damper, c.damper, 1e-3) << c.depth;
        float dt = 1.0f / 128;
        EXPECT_NEAR(s.cfm, 1 / (c.damper + c.spring * dt), 1e-8) << c.depth;
        EXPECT_NEAR(s.erp, c.spring * dt / (c.damper + c.spring * dt), 1e-6) << c.depth;
    }
    EXPECT_TRUE(std::isfinite(tyre_softness(0.1f, 0).cfm)); // no tube: taken as fully squashed
}

TEST(ArcadeGrip, FallsWithLeanTo45Degrees)
{
    const float pi = 3.14159265f;
    struct Case {
        float lean, grip;
    };
    for (Case c : {Case{0, 1}, Case{pi / 8, 0.8125f}, Case{-pi / 8, 0.8125f}, Case{pi / 4, 0.625f},
                   Case{pi / 2, 0.625f}, Case{-1.5f, 0.625f}})
        EXPECT_NEAR(arcade_grip_factor(c.lean), c.grip, 1e-6f) << c.lean;
}

TEST(FrictionDirection, AcrossTheSlipOrAlongTheRoll)
{
    struct Case {
        const char* what;
        Vec3 normal, slip, axle;
        bool set;
        Vec3 direction;
    };
    const Case cases[] = {
        {"sideways slip", {0, 1, 0}, {3, 0, 0}, x_axle, true, {0, 0, -1}},
        {"rolling slip", {0, 1, 0}, {0, 0, -5}, x_axle, true, {-1, 0, 0}},
        {"no slip", {0, 1, 0}, {0, 0, 0}, x_axle, true, {0, 0, -1}},
        {"slip along the normal", {0, 1, 0}, {0, -4, 0}, x_axle, true, {0, 0, -1}},
        {"tiny slip", {0, 1, 0}, {0.01f, 0, 0}, x_axle, true, {0, 0, -1}},
        {"axle along the normal", {0, 1, 0}, {0, 0, 0}, {0, 1, 0}, false, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Vec3 f = {};
        EXPECT_EQ(friction_direction(c.normal, c.slip, c.axle, &f), c.set);
        if (c.set)
            expect_vec(f, c.direction, 1e-6f, "direction");
    }
}

TEST_F(WheelContactTest, ContactJointAndRecord)
{
    TestField field(3, 1, [](float, float) { return 0.0f; });
    LoneWheel wheel({8, R + r / 2, 8}, {1, -2, -3});
    wheel.contact.slip_velocity = {9, 9, 9};
    ASSERT_EQ(wheel_ground_contact(&field.terrain, &wheel.contact, 1), 1);
    EXPECT_NEAR(wheel.contact.depth, r / 2, 1e-5f);
    expect_vec(wheel.contact.contact_point, {8, -r / 2, 8}, 1e-5f, "point");
    expect_vec(wheel.contact.contact_normal, {0, 1, 0}, 1e-6f, "normal");
    expect_vec(wheel.contact.slip_velocity, {1, -2, -3}, 1e-6f, "slip");
    ASSERT_EQ(dBodyGetNumJoints(wheel.body), 1);
    dJointID joint = dBodyGetJoint(wheel.body, 0);
    EXPECT_EQ(dJointGetType(joint), dJointTypeContact);
    EXPECT_EQ(dJointGetBody(joint, 0), wheel.body);
    EXPECT_EQ(dJointGetBody(joint, 1), nullptr);
    EXPECT_EQ(dJointGetFeedback(joint), &wheel.contact.contact_feedback);

    // The step fills the feedback and empties the group.
    physics_step();
    EXPECT_GT(wheel.contact.contact_feedback.f1[1], 0);
    EXPECT_EQ(dBodyGetNumJoints(wheel.body), 0);

    // Lifted clear: depth 0, no joint, the last slip kept.
    dBodySetPosition(wheel.body, 8, 5, 8);
    EXPECT_EQ(wheel_ground_contact(&field.terrain, &wheel.contact, 1), 0);
    EXPECT_EQ(wheel.contact.depth, 0);
    EXPECT_EQ(dBodyGetNumJoints(wheel.body), 0);
    expect_vec(wheel.contact.slip_velocity, {1, -2, -3}, 1e-6f, "slip kept");
}

TEST_F(WheelContactTest, RollingResistanceAgainstTheGroundSpeed)
{
    // Half squashed on the default ground: 5 + (15 - 5) / 2 = 10 lbf at any
    // speed. Below 1 ft/s it scales with the speed.
    TestField field(3, 1, [](float, float) { return 0.0f; });
    struct Case {
        Vec3 velocity, force;
    };
    const Case cases[] = {
        {{0, 0, -0.5f}, {0, 0, 5}},
        {{0, 0, -5}, {0, 0, 10}},
        {{3, -7, -4}, {-6, 0, 8}}, // the normal part of the motion does not count
        {{0, 0, 0}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        LoneWheel wheel({8, R + r / 2, 8}, c.velocity);
        ASSERT_EQ(wheel_ground_contact(&field.terrain, &wheel.contact, 1), 1);
        const dReal* f = dBodyGetForce(wheel.body);
        EXPECT_NEAR(f[0], c.force.x, 1e-3) << c.velocity.z;
        EXPECT_NEAR(f[1], c.force.y, 1e-3) << c.velocity.z;
        EXPECT_NEAR(f[2], c.force.z, 1e-3) << c.velocity.z;
        dJointGroupEmpty(physics.contact_group);
    }
}

TEST_F(WheelContactTest, DeepestPointOverARidge)
{
    // Rows of samples rise to a ridge along x at z = 8, one foot high,
    // falling away on both sides: two planes meeting at the ridge line.
    TestField field(3, 1, [](float, float z) { return std::fmax(0.0f, 1 - std::fabs(z - 8) * 0.5f); });
    struct Case {
        float z;
    };
    for (Case c : {Case{8}, Case{8.2f}, Case{7.75f}}) {
        SCOPED_TRACE(c.z);
        Vec3 centre = {8.5f, 1 + R + r - 0.1f, c.z};
        LoneWheel wheel(centre);
        Vec3 p, n;
        float depth;
        ASSERT_EQ(find_wheel_contact(&field.terrain, &wheel.contact, &p, &n, &depth), 1);
        Vec3 ridge = {8.5f, 1, 8};
        float expected = r - (length(centre - ridge) - R);
        EXPECT_NEAR(depth, expected, 1e-4f);
        expect_vec(p, ridge, 1e-3f, "point on the ridge");
        expect_vec(n, unit(centre - ridge), 1e-3f, "normal from the ridge to the axle");
    }
}

TEST_F(WheelContactTest, OutsideTheFieldTheEdgeContinues)
{
    // Rising along x: beyond either x edge the ground is level at the
    // edge's height.
    TestField field(3, 1, [](float x, float) { return 2 + 0.1f * x; });
    float w = field.world_size();
    struct Case {
        float x, ground;
    };
    for (Case c : {Case{-6, 2}, Case{w + 6, 2 + 0.1f * w}}) {
        LoneWheel wheel({c.x, c.ground + R + r - 0.1f, 8});
        Vec3 p, n;
        float depth;
        ASSERT_EQ(find_wheel_contact(&field.terrain, &wheel.contact, &p, &n, &depth), 1) << c.x;
        EXPECT_NEAR(depth, 0.1f, 1e-4f) << c.x;
        expect_vec(n, {0, 1, 0}, 1e-5f, "normal");
    }
}

TEST_F(WheelContactTest, UnusableGroundOrPositionGivesNoContact)
{
    TestField field(3, 1, [](float, float) { return 0.0f; });
    LoneWheel far_away({1e9f, R, 8});
    Vec3 p, n;
    float depth;
    EXPECT_EQ(find_wheel_contact(&field.terrain, &far_away.contact, &p, &n, &depth), 0);
    LoneWheel wheel({8, R, 8});
    Terrain flat = field.terrain;
    flat.spacing = 0;
    flat.inv_spacing = INFINITY;
    EXPECT_EQ(find_wheel_contact(&flat, &wheel.contact, &p, &n, &depth), 0);
    Terrain fine = field.terrain;
    fine.spacing = 1e-4f;
    fine.inv_spacing = 1e4f;
    EXPECT_EQ(find_wheel_contact(&fine, &wheel.contact, &p, &n, &depth), 0);
}

// The walk over the cells under the wheel, every triangle tested: what the
// contact search must find, whatever it skips on the way.
float deepest_by_walk(const Terrain& t, Vec3 c, Vec3 a, Vec3* point)
{
    auto vertex = [&](int i, int j) {
        int last = t.samples - 1;
        int ci = std::clamp(i, 0, last), cj = std::clamp(j, 0, last);
        return Vec3{float(i) * t.spacing, t.heights[cj * t.samples + ci], float(j) * t.spacing};
    };
    float e = R + r, best = 0;
    int i0 = int(std::floor((c.x - e) * t.inv_spacing)), i1 = int(std::ceil((c.x + e) * t.inv_spacing)) - 1;
    int j0 = int(std::floor((c.z - e) * t.inv_spacing)), j1 = int(std::ceil((c.z + e) * t.inv_spacing)) - 1;
    for (int j = j0; j <= j1; j++)
        for (int i = i0; i <= i1; i++) {
            int w = (i + j) % 2 == 0;
            const Vec3 tris[2][3] = {{vertex(i, j), vertex(i, j + 1), vertex(i + 1, j + w)},
                                     {vertex(i + 1, j + 1), vertex(i + 1, j), vertex(i, j + 1 - w)}};
            for (const auto& tri : tris) {
                Vec3 p, n;
                float d = torus_triangle_depth(c, a, R, r, tri, &p, &n);
                if (d > best) {
                    best = d;
                    *point = p;
                }
            }
        }
    return best;
}

TEST_F(WheelContactTest, SearchFindsWhatTestingEveryTriangleFinds)
{
    TestField field(4, 0.7f, [](float x, float z) {
        return 1.5f * std::sin(x * 1.3f) * std::cos(z * 0.9f) + 0.3f * std::sin(7 * x + 3 * z);
    });
    LoneWheel wheel({0, 0, 0});
    uint32_t seed = 12345;
    auto next = [&] { // small LCG: the same cases on every run
        seed = seed * 1664525u + 1013904223u;
        return float(seed >> 8) / float(1 << 24);
    };
    int touching = 0;
    for (int trial = 0; trial < 4000; trial++) {
        float x = 2 + next() * 18, z = 2 + next() * 18;
        // From clear of the ground to sunk right under it.
        float y = terrain_height(&field.terrain, x, z) + next() * 3.1f - 1;
        dMatrix3 turn;
        if (trial % 3 == 0)
            dRSetIdentity(turn);
        else
            dRFromAxisAndAngle(turn, next() - 0.5f, next() - 0.5f, next() - 0.5f, next() * 6.3f);
        dBodySetPosition(wheel.body, x, y, z);
        dBodySetRotation(wheel.body, turn);
        const dReal* at = dBodyGetPosition(wheel.body);
        dVector3 end;
        dBodyGetRelPointPos(wheel.body, 1, 0, 0, end);
        Vec3 c = {float(at[0]), float(at[1]), float(at[2])};
        Vec3 a = {float(end[0] - at[0]), float(end[1] - at[1]), float(end[2] - at[2])};

        Vec3 expected_point = {};
        float expected = deepest_by_walk(field.terrain, c, a, &expected_point);
        Vec3 p = {}, n;
        float depth = 0;
        int touches = find_wheel_contact(&field.terrain, &wheel.contact, &p, &n, &depth);
        ASSERT_EQ(touches, expected > 0 ? 1 : 0) << trial;
        if (touches) {
            touching++;
            ASSERT_EQ(depth, expected) << trial;
            ASSERT_EQ(p.x, expected_point.x) << trial;
            ASSERT_EQ(p.y, expected_point.y) << trial;
            ASSERT_EQ(p.z, expected_point.z) << trial;
        }
    }
    EXPECT_GT(touching, 1000);
    EXPECT_LT(touching, 3600);
}

using BikeOnGround = PhysicsTest;

TEST_F(BikeOnGround, DroppedOnFlatGroundComesToRest)
{
    TestField field(5, 1, [](float, float) { return 0.0f; });
    Bike* bike = create_bike("dl250(2009)", 0, "");
    ASSERT_NE(bike, nullptr);
    move_bike(bike, 32.37, 0.5, 32.61); // tyres half a foot clear
    Ride ridden = start_ride(&field.terrain, bike);
    float lowest[2] = {1e9f, 1e9f}, highest_after_landing = -1e9f;
    bool landed = false;
    for (int step = 0; step < 2 * 128; step++) {
        ride(&ridden, 1);
        for (int k = 0; k < 2; k++) {
            float y = position_of(bike->bodies[k == 0 ? body_front_wheel : body_rear_wheel]).y;
            lowest[k] = std::fmin(lowest[k], y);
            if (landed)
                highest_after_landing = std::fmax(highest_after_landing, y);
        }
        landed |= bike->front_contact.depth > 0 || bike->rear_contact.depth > 0;
    }
    float front = position_of(bike->bodies[body_front_wheel]).y;
    float rear = position_of(bike->bodies[body_rear_wheel]).y;
    // Never sunk below a fully squashed tube, never bounced back to the drop
    // height, and resting on partly squashed tyres.
    EXPECT_GT(lowest[0], R);
    EXPECT_GT(lowest[1], 0.75f);
    EXPECT_LT(highest_after_landing, 1.09f + 0.5f);
    EXPECT_GT(front, R);
    EXPECT_LT(front, R + r);
    EXPECT_GT(rear, 0.75f);
    EXPECT_LT(rear, 0.75f + r);
    EXPECT_GT(bike->front_contact.depth, 0);
    EXPECT_GT(bike->rear_contact.depth, 0);
    for (dBodyID b : bike->bodies)
        EXPECT_LT(length(velocity_of(b)), 0.02f);
    // Stable: another half second changes nothing.
    ride(&ridden, 64);
    EXPECT_NEAR(position_of(bike->bodies[body_front_wheel]).y, front, 1e-3f);
    EXPECT_NEAR(position_of(bike->bodies[body_rear_wheel]).y, rear, 1e-3f);
    // The ground carries the whole weight.
    float carried = float(bike->front_contact.contact_feedback.f1[1] + bike->rear_contact.contact_feedback.f1[1]);
    EXPECT_NEAR(carried, bike->total_mass * 32, bike->total_mass * 32 * 0.01f);
    destroy_bike(bike);
}

TEST_F(BikeOnGround, RollingBikeSlowsByRollingResistance)
{
    struct Case {
        const char* what;
        TileMaterial ground;
    };
    const Case cases[] = {
        {"no resistance", material_with_roll_resist(0, 0)},
        {"default ground", default_tile_material()},
        {"heavy ground", material_with_roll_resist(20, 40)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestField field(6, 1, [](float, float) { return 0.0f; }, c.ground);
        Bike* bike = create_bike("dl250(2009)", 0, "");
        ASSERT_NE(bike, nullptr);
        move_bike(bike, 64.37, 0.1, 120.61);
        // Settle on the ground first, then push, the clutch pulled in so
        // that only the ground slows it.
        Ride ridden = start_ride(&field.terrain, bike);
        ridden.controls.clutch_lever = 1;
        ride(&ridden, 128);
        set_rolling(bike, 20);
        float start_z = position_of(bike->bodies[body_frame]).z;
        double impulse = 0;
        for (int step = 0; step < 2 * 128; step++) {
            wheel_ground_contact(&field.terrain, &bike->front_contact, 1);
            wheel_ground_contact(&field.terrain, &bike->rear_contact, 1);
            impulse += (dBodyGetForce(bike->bodies[body_front_wheel])[2] +
                        dBodyGetForce(bike->bodies[body_rear_wheel])[2]) * step_length;
            physics_step();
            bike_update(bike, true, ridden.frame++, &field.terrain);
        }
        float speed = -velocity_of(bike->bodies[body_frame]).z;
        float travelled = start_z - position_of(bike->bodies[body_frame]).z;
        EXPECT_GT(travelled, 30);
        EXPECT_LT(travelled, 41);
        // The speed lost is what the resistance took, less a little that
        // went into slowing the wheels' spin.
        float expected_loss = float(impulse / bike->total_mass);
        EXPECT_NEAR(20 - speed, expected_loss * 0.96f, 0.05f + expected_loss * 0.06f);
        if (c.ground.roll_resist[0][0] > 0) {
            EXPECT_GT(20 - speed, 0.5f);
        }
        destroy_bike(bike);
    }
}

TEST_F(BikeOnGround, SlidesDownASlopeOnlyWithLowGrip)
{
    const float slope = 0.3f; // ground rises toward +z
    struct Case {
        float grip;
        bool slides;
    };
    for (Case c : {Case{1, false}, Case{0.1f, true}}) {
        SCOPED_TRACE(c.grip);
        TestField field(5, 1, [&](float, float z) { return 10 + slope * (z - 32); }, material_with_friction(c.grip));
        Bike* bike = create_bike("dl250(2009)", 0, "");
        ASSERT_NE(bike, nullptr);
        hold_bike_rigid(bike);
        lock_wheels(bike);
        rotate_bike(bike, 1, 0, 0, -std::atan(slope)); // rear up, parallel to the slope
        // The bike's ground plane is now a slope through the origin: lift it
        // onto the field's, tyres just clear.
        move_bike(bike, 32, 10 + slope * (30 - 32) + 0.05, 30);
        for (int step = 0; step < 64; step++) // settle
            step_bike(&field.terrain, bike);
        float start = position_of(bike->bodies[body_frame]).z;
        for (int step = 0; step < 2 * 128; step++)
            step_bike(&field.terrain, bike);
        float moved = start - position_of(bike->bodies[body_frame]).z;
        if (c.slides) {
            EXPECT_GT(moved, 3); // g (sin - mu cos) t^2 / 2 is about 18 ft
        } else {
            EXPECT_LT(std::fabs(moved), 0.1f);
        }
        destroy_bike(bike);
    }
}

} // namespace
