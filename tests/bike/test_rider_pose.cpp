#include "bike/rider_pose.h"
#include "bike_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

Vec3 v3(const float* p)
{
    return {p[0], p[1], p[2]};
}

// Where the skinning puts a point of the body model bound to this bone.
Vec3 skinned(const Bone& bone, Vec3 p)
{
    Vec3 d = p - v3(bone.pivot);
    return v3(bone.rotation) * d.x + v3(bone.rotation + 3) * d.y + v3(bone.rotation + 6) * d.z + v3(bone.translation);
}

void expect_rotation(const float* r)
{
    Vec3 x = v3(r), y = v3(r + 3), z = v3(r + 6);
    EXPECT_NEAR(length(x), 1, 1e-4);
    EXPECT_NEAR(length(y), 1, 1e-4);
    EXPECT_NEAR(length(z), 1, 1e-4);
    EXPECT_NEAR(dot(x, y), 0, 1e-3);
    EXPECT_NEAR(dot(cross(x, y), z), 1, 1e-3);
}

TEST(TwoBoneJoint, BendsTowardsThePoleWithinReach)
{
    struct Case {
        Vec3 a, b, pole;
        float l1, l2;
        Vec3 joint;
    } cases[] = {
        // Both segments root 2 long over a span of 2: a right angle.
        {{0, 0, 0}, {2, 0, 0}, {1, 5, 0}, std::sqrt(2.0f), std::sqrt(2.0f), {1, 1, 0}},
        {{0, 0, 0}, {2, 0, 0}, {1, -5, 3}, std::sqrt(2.0f), std::sqrt(2.0f), {1, -0.8574929f, 0.5144958f}},
        // Out of reach: bent as for 0.95 of its length, the end not reached.
        {{0, 0, 0}, {10, 0, 0}, {0, 0, 1}, 1, 1, {0.95f, 0, 0.3122499f}},
        // Closer than it can fold: folded flat along the line.
        {{0, 0, 0}, {0.1f, 0, 0}, {0, 1, 0}, 2, 1, {2, 0, 0}},
        {{0, 0, 0}, {0.1f, 0, 0}, {0, 1, 0}, 1, 2, {-1, 0, 0}},
    };
    for (const Case& c : cases) {
        Vec3 j = two_bone_joint(c.a, c.l1, c.b, c.l2, c.pole);
        expect_vec3_near(j, c.joint, 1e-4f);
        EXPECT_NEAR(length(j - c.a), c.l1, 1e-4);
    }
}

TEST(HeadLook, FollowsTravelAndRisesWithSpeed)
{
    Vec3 back = {0, 0, 1};
    // At rest the head follows the torso's backward axis, slightly raised.
    float e1 = 59 * 7.0f / 1200 + 0.25f;
    expect_vec3_near(head_look_direction(back, {0, 0, 0}), Vec3{0, e1, 1} * (1 / std::sqrt(1 + e1 * e1)), 1e-5f);
    // Moving backwards counts as standing still.
    expect_vec3_near(head_look_direction(back, {0, 0, 5}), head_look_direction(back, {0, 0, 0}), 1e-6f);
    // Fast enough (|z - v| >= 32) the look follows the travel: horizontal
    // length 30 rises by 12.75, 60 by 15.
    struct Case {
        Vec3 v;
        float h, e;
    } cases[] = {{{0, 20, -29}, 30, 12.75f}, {{0, 0, -59}, 60, 15}, {{-30, 0, -59}, std::sqrt(30 * 30 + 60 * 60.0f), 0}};
    for (const Case& c : cases) {
        Vec3 b = head_look_direction(back, c.v);
        float dx = -c.v.x, dz = 1 - c.v.z;
        float e = c.e > 0 ? c.e : c.h / 4;
        expect_vec3_near(b, Vec3{dx, e, dz} * (1 / std::sqrt(dx * dx + dz * dz + e * e)), 1e-5f);
    }
}

class RiderPoseTest : public PhysicsTest {};

TEST_F(RiderPoseTest, AtRestHandsOnGripsFeetOnPegs)
{
    Bike* bike = create_bike("dl250(2009)", 0, "7");
    ASSERT_NE(bike, nullptr);
    const BikeModel& m = bike->model;
    EXPECT_NEAR(drawn_torso(bike).lean, 0.0764403f, 1e-5);

    RiderPose pose;
    rider_pose(bike, nullptr, &pose);
    for (const Bone& bone : pose.bones)
        expect_rotation(bone.rotation);
    expect_rotation(pose.head_rotation);

    Vec3 grip_l = position_of(bike->bodies[body_steering]) + v3(m.left_grip);
    Vec3 grip_r = position_of(bike->bodies[body_steering]) + v3(m.right_grip);
    Vec3 peg_l = position_of(bike->bodies[body_frame]) + v3(m.left_peg);
    Vec3 peg_r = position_of(bike->bodies[body_frame]) + v3(m.right_peg);

    // The body model's hands and feet, carried by their bones.
    const float(*pivot)[3] = m.pose_points;
    Vec3 hand_l = v3(pivot[0]) - Vec3{m.forearm_length, 0, 0};
    Vec3 hand_r = v3(pivot[1]) + Vec3{m.forearm_length, 0, 0};
    Vec3 foot_l = v3(pivot[4]) - Vec3{0, m.shin_length, 0};
    Vec3 foot_r = v3(pivot[5]) - Vec3{0, m.shin_length, 0};
    expect_vec3_near(skinned(pose.bones[bone_left_forearm], hand_l), grip_l, 2e-3f);
    expect_vec3_near(skinned(pose.bones[bone_right_forearm], hand_r), grip_r, 2e-3f);
    expect_vec3_near(skinned(pose.bones[bone_left_shin], foot_l), peg_l, 2e-3f);
    expect_vec3_near(skinned(pose.bones[bone_right_shin], foot_r), peg_r, 2e-3f);

    // Each joint of the limb chain meets the next bone's pivot: elbows,
    // knees, shoulders and hips stay connected and the limbs keep their
    // lengths.
    struct Link {
        int outer, inner;
        float length;
    } links[] = {{bone_left_forearm, bone_left_upper_arm, m.upper_arm_length},
                 {bone_right_forearm, bone_right_upper_arm, m.upper_arm_length},
                 {bone_left_shin, bone_left_thigh, m.thigh_length},
                 {bone_right_shin, bone_right_thigh, m.thigh_length}};
    for (const Link& link : links) {
        const Bone& outer = pose.bones[link.outer];
        const Bone& inner = pose.bones[link.inner];
        expect_vec3_near(skinned(inner, v3(outer.pivot)), v3(outer.translation), 2e-3f);
        EXPECT_NEAR(length(v3(outer.translation) - v3(inner.translation)), link.length, 1e-3);
    }
    // The torso bone stands on the middle of the hips and carries the
    // shoulders' height along the spine.
    const Bone& torso = pose.bones[bone_torso];
    expect_vec3_near(skinned(torso, v3(pivot[8])), v3(torso.translation), 1e-5f);
    float spine = std::hypot(m.left_shoulder[1] - m.left_hip[1], m.left_shoulder[2] - m.left_hip[2]);
    Vec3 shoulders = skinned(torso, v3(pivot[8]) + Vec3{0, spine, 0});
    Vec3 upper_l = v3(pose.bones[bone_left_upper_arm].translation);
    Vec3 upper_r = v3(pose.bones[bone_right_upper_arm].translation);
    expect_vec3_near(shoulders, (upper_l + upper_r) * 0.5f, 1e-3f);
    destroy_bike(bike);
}

TEST_F(RiderPoseTest, PlantedFootTurnsItsShinWithTheLeg)
{
    TestField field(5, 4, [](float, float) { return 0.0f; });
    Bike* bike = bike_at(&field.terrain, "dl250(2009)", 64, 64);
    ASSERT_NE(bike, nullptr);
    auto shin_side = [&](int shin) {
        RiderPose pose;
        rider_pose(bike, &field.terrain, &pose);
        return v3(pose.bones[shin].rotation + 6);
    };
    auto leg_normal = [&](int thigh, int shin) {
        RiderPose pose;
        rider_pose(bike, &field.terrain, &pose);
        Vec3 h = v3(pose.bones[thigh].translation), k = v3(pose.bones[shin].translation);
        Vec3 f = k - v3(pose.bones[shin].rotation + 3) * bike->model.shin_length;
        return cross(h - k, f - k);
    };
    // Feet up: the shin's side axis lies along the hips.
    bike->dab_amount = 0;
    Vec3 up_side = shin_side(bone_left_shin);
    RiderPose pose;
    rider_pose(bike, &field.terrain, &pose);
    Vec3 across = v3(pose.bones[bone_right_thigh].translation) - v3(pose.bones[bone_left_thigh].translation);
    Vec3 a = v3(pose.bones[bone_left_shin].rotation + 3);
    Vec3 expected = cross(across, a);
    expect_vec3_near(up_side, expected * (1 / length(expected)), 1e-4f);

    // Foot down: the side axis turns square to the leg's plane.
    bike->dab_amount = 1;
    Vec3 down_side = shin_side(bone_left_shin);
    Vec3 n = leg_normal(bone_left_thigh, bone_left_shin);
    ASSERT_GT(length_squared(n), 0.001f);
    EXPECT_NEAR(dot(down_side, n) / length(n), 0, 1e-3);
    EXPECT_GT(length(down_side - up_side), 0.01f);
    destroy_bike(bike);
}

} // namespace
