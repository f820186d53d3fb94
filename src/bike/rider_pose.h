// The drawn rider: nine bones that bend the skinned body model from the
// simulated torso to the grips and the feet, and where the head looks.
// Recomputed from the bodies for every drawn frame; nothing here feeds back
// into the simulation.
#pragma once
#include "assets/model.h"
#include "base/vec3.h"

struct Bike;
struct Terrain;

enum {
    bone_left_forearm,
    bone_right_forearm,
    bone_left_upper_arm,
    bone_right_upper_arm,
    bone_left_shin,
    bone_right_shin,
    bone_left_thigh,
    bone_right_thigh,
    bone_torso,
    rider_bone_count,
};

struct RiderPose {
    Bone bones[rider_bone_count];
    float head_position[3];
    float head_rotation[9]; // the images of the head's x, y and z axes, one after the other
};

// The middle joint of a limb from root a to end b with segment lengths l1
// and l2, bent towards the pole. An end out of reach is treated as lying at
// 0.95 of the limb's length; one closer than the segments can fold leaves
// the limb folded flat.
Vec3 two_bone_joint(Vec3 a, float l1, Vec3 b, float l2, Vec3 pole);

// The torso as it is drawn: its simulated pose, leant back about the hips
// when the shoulders come close to the bars. k is how far (0..1).
struct TorsoFrame {
    Vec3 position;
    Vec3 axis[3];
    float lean;
};
TorsoFrame drawn_torso(const Bike* bike);

// The nine bones; the terrain places a dabbing foot (null: feet stay up).
void rider_pose(const Bike* bike, const Terrain* terrain, RiderPose* pose);
void head_pose(const Bike* bike, float position[3], float rotation[9]);

// The head's backward look direction before its limits, from the torso's
// backward axis z and the torso's velocity v.
Vec3 head_look_direction(Vec3 z, Vec3 v);
