// The riding assists: a steering torque that balances the bike from the
// rider's steering input and a lean controller, roll damping with its
// landing boost and roll limit, front-end damping, the fixed roll behaviour
// of arcade physics, and the cancelling of the net force the bike's own
// joints produce. All of it runs in the per-bike update after each world
// step; the motors and contact joints made here last one step.
#pragma once
#include "base/vec3.h"

#include <ode/ode.h>

struct Bike;

// Roll of a body in radians: positive leaning to its left (towards -x),
// negative to its right. 0 for a body pointing straight up or down, which
// has no heading to lean from.
float lean_angle(dBodyID body);
// Torque about the steering axis, on the front wheel and back on the frame.
void steer_torque(Bike* bike, float torque);
// Angle between the front wheel's heading and its motion over the ground;
// 0 below 1 ft/s.
float front_slip_angle(const Bike* bike);
// Steering torque (per unit of steering strength) that brings the bars
// towards an angle relative to the frame.
float steer_target(const Bike* bike, float angle);
// The lean the assists allow at a squared speed: rising from 0 at a standstill
// to roll_limit_angle at 15 ft/s with the given power of the speed share,
// and on to a full turn at max_dab_speed.
float lean_allowance(const Bike* bike, float speed2, int power);

void steering_assist(Bike* bike);
void arcade_steering(Bike* bike);
void front_damping(Bike* bike);
// frame: the race frame number; the first two frames have no joint
// feedback to cancel yet.
void cancel_joint_forces(Bike* bike, int frame);

// A one-sided distance limit between a point of each body (in body
// coordinates) for the coming step: nothing while they are within length.
void rope(dBodyID a, Vec3 point_a, dBodyID b, Vec3 point_b, float length);

