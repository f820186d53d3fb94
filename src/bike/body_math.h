// Small helpers the per-step bike code shares: reading the physics
// library's double-precision state into the game's floats, and handing it
// forces and motor settings that are always finite.
#pragma once
#include "base/units.h"
#include "base/vec3.h"

#include <ode/ode.h>

#include <cmath>

namespace bike_math {

constexpr float pi = 3.14159265358979f;
constexpr float dt = float(step_length);

// NaN lands on low, so a broken input never leaves the range.
inline float clampf(float v, float low, float high)
{
    return v >= low ? (v <= high ? v : high) : low;
}

// Forces and torques go through this before they reach the library: one
// non-finite value there would poison the whole island.
inline float finite_or_zero(float v)
{
    return std::isfinite(v) ? v : 0;
}

inline Vec3 finite_or_zero(Vec3 v)
{
    return is_finite(v) ? v : Vec3{0, 0, 0};
}

inline Vec3 to_vec3(const dReal* v)
{
    return {float(v[0]), float(v[1]), float(v[2])};
}

inline Vec3 to_vec3(const float v[3])
{
    return {v[0], v[1], v[2]};
}

inline Vec3 body_position(dBodyID body)
{
    return to_vec3(dBodyGetPosition(body));
}

inline Vec3 body_velocity(dBodyID body)
{
    return to_vec3(dBodyGetLinearVel(body));
}

inline Vec3 body_angular_velocity(dBodyID body)
{
    return to_vec3(dBodyGetAngularVel(body));
}

// Column k of the body's rotation: its own axis k in world coordinates.
inline Vec3 body_axis(dBodyID body, int k)
{
    const dReal* r = dBodyGetRotation(body);
    return {float(r[k]), float(r[4 + k]), float(r[8 + k])};
}

inline Vec3 world_point(dBodyID body, Vec3 local)
{
    dVector3 out;
    dBodyGetRelPointPos(body, local.x, local.y, local.z, out);
    return to_vec3(out);
}

inline Vec3 point_velocity(dBodyID body, Vec3 world)
{
    dVector3 out;
    dBodyGetPointVel(body, world.x, world.y, world.z, out);
    return to_vec3(out);
}

inline Vec3 vector_to_world(dBodyID body, Vec3 local)
{
    dVector3 out;
    dBodyVectorToWorld(body, local.x, local.y, local.z, out);
    return to_vec3(out);
}

inline Vec3 vector_from_world(dBodyID body, Vec3 world)
{
    dVector3 out;
    dBodyVectorFromWorld(body, world.x, world.y, world.z, out);
    return to_vec3(out);
}

inline void add_force(dBodyID body, Vec3 f)
{
    f = finite_or_zero(f);
    dBodyAddForce(body, f.x, f.y, f.z);
}

inline void add_torque(dBodyID body, Vec3 t)
{
    t = finite_or_zero(t);
    dBodyAddTorque(body, t.x, t.y, t.z);
}

// A joint motor as a force generator: the target speed is out of reach, so
// the motor always saturates and delivers exactly |force| towards its sign.
inline void slider_force(dJointID joint, float force)
{
    force = finite_or_zero(force);
    dJointSetSliderParam(joint, dParamVel, force >= 0 ? 1000 : -1000);
    dJointSetSliderParam(joint, dParamFMax, std::fabs(force));
}

inline void hinge_torque(dJointID joint, float torque)
{
    torque = finite_or_zero(torque);
    dJointSetHingeParam(joint, dParamVel, torque >= 0 ? 1000 : -1000);
    dJointSetHingeParam(joint, dParamFMax, std::fabs(torque));
}

} // namespace bike_math
