// Where a tyre meets the ground. Each wheel's tyre is a torus around its
// axle; once per step, before the world step, the deepest point where it
// reaches into the height-field triangles becomes one soft contact joint,
// with grip from the ground material and a rolling resistance force.
#pragma once
#include <cfloat>
#include "base/vec3.h"

#include <ode/ode.h>

struct Terrain;

struct WheelContact {
    dBodyID body;
    Vec3 axle; // wheel coordinates, (1, 0, 0)
    float ring_radius;
    float tube_radius;
    // The last contact test; between the world step and the next test they
    // describe the contact that acted in the step just taken.
    Vec3 contact_point;
    Vec3 slip_velocity; // wheel body velocity at the contact point; kept while airborne
    Vec3 contact_normal; // unit, from the ground towards the tyre
    float depth; // 0 while off the ground
    dJointFeedback contact_feedback; // filled by the step that used the contact joint
};

// The point of the circle of radius ring_radius around centre, in the plane
// square to axle, nearest to x.
Vec3 ring_point(Vec3 centre, Vec3 axle, float ring_radius, Vec3 x);
// Where the line through origin along direction meets the plane; origin when
// the line runs parallel to the plane.
Vec3 line_plane_point(Vec3 origin, Vec3 direction, Vec3 plane_point, Vec3 plane_normal);

// Distance from the triangle's edges and corners to the ring, with the
// nearest boundary point and a normal (not unit length) pushing the ring off.
// Edges that cannot give a depth (tube radius less distance) above `needed`
// are not searched.
float ring_boundary_distance(Vec3 centre, Vec3 axle, float ring_radius, float tube_radius, const Vec3 triangle[3],
                             Vec3 triangle_normal, Vec3* point, Vec3* normal, float needed = -FLT_MAX);
// Penetration depth of the torus into the triangle, 0 or less when apart;
// the normal need not be unit length. A caller that only wants depths above
// `needed` may get -FLT_MAX for a triangle that cannot reach that deep,
// without the costly edge search. The triangle's corners run so that
// (t1 - t0) x (t2 - t0) points out of the ground.
float torus_triangle_depth(Vec3 centre, Vec3 axle, float ring_radius, float tube_radius, const Vec3 triangle[3],
                           Vec3* point, Vec3* normal, float needed = -FLT_MAX);

// The deepest point of the wheel's torus in the ground under it. 1 with the
// point, the unit normal and the depth when the tyre touches, else 0.
int find_wheel_contact(const Terrain* terrain, const WheelContact* wheel, Vec3* point, Vec3* normal, float* depth);
// Tests the wheel, records the result, creates its contact joint in the
// step's contact group and adds the rolling resistance. 1 when touching.
int wheel_ground_contact(const Terrain* terrain, WheelContact* wheel, float grip_factor);

// Grip of arcade physics: falls with the frame's lean to 0.625 at 45 degrees.
float arcade_grip_factor(float lean_angle);

// The tyre gets stiffer the more its tube is squashed.
struct ContactSoftness {
    float spring; // lbf/ft
    float damper; // lbf per ft/s
    float erp;
    float cfm;
};
ContactSoftness tyre_softness(float depth, float tube_radius);

// First friction direction: across the slip, or along the rolling direction
// when the tyre hardly slips sideways. False when neither gives a direction,
// leaving the choice to the physics library.
bool friction_direction(Vec3 normal, Vec3 slip_velocity, Vec3 world_axle, Vec3* direction);
