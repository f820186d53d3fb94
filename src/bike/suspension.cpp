#include "bike/suspension.h"

#include "bike/bike.h"
#include "bike/body_math.h"

using namespace bike_math;

namespace {

// The fork's air column as an ideal gas: the force scale of its pressure.
constexpr float air_force_scale = 82.46169f;
// Both springs fade to nothing over the last 1/32 of the travel, so a
// preloaded spring does not push against the top-out stop.
constexpr float top_out_fade = 32;

} // namespace

float fork_force(const Bike* bike, float position, float rate)
{
    float travel = bike->model.fork_travel;
    if (!(travel > 0))
        return 0;
    float x = clampf(-position, 0, travel);
    float gap = travel + bike->fork_air_gap;
    float damping = rate < 0 ? bike->fork_compression_damping : bike->fork_rebound_damping;
    float coil = (bike->fork_preload - position) * bike->fork_spring_rate;
    // The air gap is never below its model's smallest value, so the column
    // never closes; a broken setup gives no air force rather than a pole.
    float air = gap - x > 0 ? air_force_scale * (gap / (gap - x) - 1) : 0;
    float ramp = clampf(-top_out_fade * position / travel, 0, 1);
    return (coil - damping * rate + air) * ramp;
}

float shock_torque(const Bike* bike, float angle, float rate)
{
    float travel = bike->model.swingarm_travel;
    if (!(travel > 0))
        return 0;
    float g1 = bike->model.shock_ratio[0], g2 = bike->model.shock_ratio[1];
    float used = -angle / travel;
    float linkage = g1 + (g2 - g1) * used / travel;
    float compression = used * (g1 + (g2 - g1) * used / (2 * travel));
    float damping = rate >= 0 ? bike->shock_rebound_damping : bike->shock_compression_damping;
    float ramp = clampf(-top_out_fade * angle / travel, 0, 1);
    return (linkage * bike->shock_spring_rate * (compression + bike->shock_preload) +
            linkage * linkage * damping * -rate) *
           ramp;
}

void suspension_step(Bike* bike)
{
    dJointID fork = bike->joints[joint_fork];
    slider_force(fork, fork_force(bike, float(dJointGetSliderPosition(fork)), float(dJointGetSliderPositionRate(fork))));
    dJointID swingarm = bike->joints[joint_swingarm];
    hinge_torque(swingarm,
                 shock_torque(bike, float(dJointGetHingeAngle(swingarm)), float(dJointGetHingeAngleRate(swingarm))));
}
