#include "bike/drivetrain.h"

#include "bike/bike.h"
#include "bike/body_math.h"

#include <cmath>

using namespace bike_math;

namespace {

constexpr float rpm_per_rad_s = 9.549296585513721f; // 60 / 2 pi
constexpr float clutch_stiffness = 7500; // lbf ft per rad of wind-up at the wheel
constexpr float clutch_damping = 0.75f;
constexpr float auto_clutch_span = 2000; // rpm from open to fully engaged
constexpr int top_gear = gear_count - 1;
constexpr int auto_shift_period = 32; // steps: at most one change per 0.25 s
constexpr float slip_limit2 = 4; // (ft/s)^2: the wheel slides, antilock lets go

// Into [-pi, pi] with one turn added or taken; differences of two angles
// already in that range need no more.
float wrap(float x)
{
    return x > pi ? x - 2 * pi : x < -pi ? x + 2 * pi : x;
}

// The same for an angle that may have run further, as often as needed.
float wrap_fully(float x)
{
    if (!std::isfinite(x))
        return 0;
    while (x > pi && x <= 5 * pi)
        x -= 2 * pi;
    while (x < -pi && x >= -5 * pi)
        x += 2 * pi;
    if (x > pi || x < -pi) // far out: a loop of turns would not end in float
        x = wrap(std::fmod(x, 2 * pi));
    return x;
}

// Clamped to the box and lowered until the gear exists (first always does).
int existing_gear(const BikeModel& m, int gear)
{
    gear = gear < 0 ? 0 : gear > top_gear ? top_gear : gear;
    while (gear > 0 && !(m.gear_ratio[gear] > 0))
        gear--;
    return gear;
}

bool touching(const WheelContact& w)
{
    return w.depth > 0;
}

bool sliding(const WheelContact& w)
{
    return touching(w) && length_squared(w.slip_velocity) > slip_limit2;
}

// The clutch's torque demand for a wind-up at the wheel and the speeds on
// both sides of it; the engagement it acts with (engine braking uses the
// lever alone, the automatic clutch never opens for it).
struct ClutchState {
    float demand;
    float engagement;
};

ClutchState clutch_state(const Bike* bike, float windup, float wheel_rate, float ratio, float rpm)
{
    float demand = clutch_stiffness * windup + clutch_damping * (bike->engine_speed - wheel_rate * ratio);
    float engagement = demand < 0 ? bike->clutch : auto_clutch_engagement(bike, rpm);
    return {demand, engagement};
}

void auto_shift(Bike* bike, int frame, float wheel_rate)
{
    if (!(bike->options & option_auto_shift) || frame % auto_shift_period != 0)
        return;
    // Only with the rear suspension loaded and the tyre gripping: a spinning
    // or airborne wheel says nothing about the road speed.
    if (!(dJointGetHingeAngle(bike->joints[joint_swingarm]) < -0.01) || sliding(bike->rear_contact))
        return;
    float rpm = wheel_rate * overall_ratio(bike) * rpm_per_rad_s;
    const BikeModel& m = bike->model;
    if (rpm < m.shift_down_rpm)
        bike->gear = existing_gear(m, bike->gear - 1);
    else if (rpm > m.shift_up_rpm)
        bike->gear = existing_gear(m, bike->gear + 1);
}

void brakes(Bike* bike)
{
    float front = bike->brake_torque * bike->front_brake;
    if ((bike->options & option_front_antilock) && sliding(bike->front_contact))
        front = 0;
    if ((bike->options & option_stoppie_release) && touching(bike->front_contact) && !touching(bike->rear_contact))
        front = 0;
    float rear = bike->rear_brake_torque * bike->rear_brake;
    if ((bike->options & option_rear_antilock) && sliding(bike->rear_contact))
        rear = 0;
    // The motors hold each wheel's spin against its carrier with at most the
    // brake torque.
    dJointSetHingeParam(bike->joints[joint_front_axle], dParamVel, 0);
    dJointSetHingeParam(bike->joints[joint_front_axle], dParamFMax, finite_or_zero(front));
    dJointSetHingeParam(bike->joints[joint_rear_axle], dParamVel, 0);
    dJointSetHingeParam(bike->joints[joint_rear_axle], dParamFMax, finite_or_zero(rear));
}

} // namespace

void shift(Bike* bike, int input)
{
    if (bike->crash_timer > 0 || input == bike->last_shift || input < -1 || input > 1)
        return;
    bike->last_shift = input;
    bike->gear = existing_gear(bike->model, bike->gear + input);
}

void set_gear(Bike* bike, int gear)
{
    bike->gear = existing_gear(bike->model, gear);
}

float engine_rpm(const Bike* bike)
{
    return bike->engine_speed * rpm_per_rad_s;
}

int torque_map_index(float rpm)
{
    float i = rpm * 0.002f + 0.5f;
    if (!(i >= 1)) // below the first half step, negative, or NaN
        return 0;
    if (i >= torque_map_points - 1)
        return torque_map_points - 1;
    return int(i);
}

float engine_torque(const Bike* bike)
{
    const BikeModel& m = bike->model;
    int i = torque_map_index(engine_rpm(bike));
    float closed = m.closed_throttle_torque[i];
    float torque = closed + bike->throttle * (m.open_throttle_torque[i] - closed);
    if ((bike->options & option_wheelie_cut) && !touching(bike->front_contact) && touching(bike->rear_contact) &&
        torque >= 0) {
        Vec3 spin = vector_from_world(bike->bodies[body_frame], body_angular_velocity(bike->bodies[body_frame]));
        if (spin.x > -0.03125f) // the nose is not already coming down
            torque = 0;
    }
    return torque;
}

float overall_ratio(const Bike* bike)
{
    const BikeModel& m = bike->model;
    int gear = bike->gear < 0 ? 0 : bike->gear > top_gear ? top_gear : bike->gear;
    return m.gear_ratio[gear] * m.primary_ratio * bike->final_ratio;
}

float auto_clutch_engagement(const Bike* bike, float rpm)
{
    if (rpm > bike->auto_clutch_rpm + auto_clutch_span)
        return bike->clutch;
    return std::fmin(clampf((rpm - bike->auto_clutch_rpm) / auto_clutch_span, 0, 1), bike->clutch);
}

float clutch_engagement_step(float old, float lever)
{
    float target = clampf(1 - lever * 8 / 7, 0, 1);
    float next = old < target ? old + 4 * dt : target;
    return clampf(next, 0, 1);
}

void drivetrain_step(Bike* bike, int frame)
{
    dJointID axle = bike->joints[joint_rear_axle];
    float wheel_angle = float(dJointGetHingeAngle(axle));
    float wheel_rate = float(dJointGetHingeAngleRate(axle));
    auto_shift(bike, frame, wheel_rate);

    float ratio = overall_ratio(bike);
    // A gear that exists has a ratio above 0; anything else leaves the
    // engine uncoupled instead of dividing by it.
    bool coupled = ratio > 0 && std::isfinite(ratio);
    if (!std::isfinite(bike->engine_speed))
        bike->engine_speed = 0;
    if (!std::isfinite(bike->clutch_angle))
        bike->clutch_angle = wheel_angle;
    float rpm = engine_rpm(bike);

    if (coupled) {
        float windup = wrap(bike->clutch_angle - wheel_angle);
        ClutchState c = clutch_state(bike, windup, wheel_rate, ratio, rpm);
        float limit = c.engagement * pi / 4;
        if (windup > limit)
            bike->clutch_angle = wheel_angle + limit;
        else if (windup < -limit)
            bike->clutch_angle = wheel_angle - limit;
        float torque = finite_or_zero(c.demand * c.engagement);
        dBodyAddRelTorque(bike->bodies[body_rear_wheel], -torque, 0, 0);
        dBodyAddRelTorque(bike->bodies[body_frame], torque, 0, 0);
    }

    float engine = engine_torque(bike);
    float inertia = bike->engine_inertia > 0 ? bike->engine_inertia : bike->model.engine_inertia;
    if (coupled) {
        float windup = wrap(bike->clutch_angle - wheel_angle);
        ClutchState c = clutch_state(bike, windup, wheel_rate, ratio, rpm);
        float limit = c.engagement * pi / 4;
        float anchor = windup > limit ? wheel_angle + limit : windup < -limit ? wheel_angle - limit : bike->clutch_angle;
        bike->engine_speed += dt * (engine - c.demand * c.engagement / ratio) / inertia;
        bike->clutch_angle = wrap_fully(anchor + dt * bike->engine_speed / ratio);
    } else {
        bike->engine_speed += dt * engine / inertia;
    }
    if (!std::isfinite(bike->engine_speed))
        bike->engine_speed = 0;
    brakes(bike);
}
