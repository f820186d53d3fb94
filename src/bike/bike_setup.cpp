#include "bike/bike_setup.h"

#include "bike/bike.h"
#include "data/config.h"

#include <cfloat>
#include <cmath>

namespace {

constexpr float pi = 3.14159265358979f;

float clamp(float v, float low, float high)
{
    return v >= low ? (v <= high ? v : high) : low; // NaN lands on low
}

float lerp_pair(const float pair[2], float t)
{
    return pair[0] + t * (pair[1] - pair[0]);
}

// A numeric setting copied into a bike field: value x scale, clamped.
struct SettingRow {
    NumericSetting Config::*key;
    float Bike::*field;
    float low;
    float high;
    float scale;
};

// In the order the settings are applied; the option bits come between the
// two parts.
constexpr SettingRow assists_before_options[] = {
    {&Config::leveling, &Bike::leveling, 0, 200, 1},
    {&Config::roll_damping, &Bike::roll_damping, 0, 200, 1},
    {&Config::roll_limit_angle, &Bike::roll_limit_angle, 0, pi, pi / 180},
    {&Config::roll_limit_factor, &Bike::roll_limit_factor, 0, 64, 1},
    {&Config::steering_damping, &Bike::steering_damping, 0, 100, 1},
    {&Config::steering_strength, &Bike::steering_strength, 0, 200, 1},
    {&Config::max_steering_force, &Bike::max_steering_force, 0, 1000, 1},
};

// The torques and the clutch speed have no range of their own; they are
// kept from going negative, which would give the joint motors no meaning.
constexpr SettingRow assists_after_options[] = {
    {&Config::direct_steering, &Bike::direct_steering, 0, 1, 1},
    {&Config::slow_damping_speed, &Bike::slow_damping_speed, 0, 100, 1},
    {&Config::slow_damping_factor, &Bike::slow_damping_factor, 1, 10, 1},
    {&Config::land_damping_falloff, &Bike::land_damping_falloff, 0, 1, 1},
    {&Config::land_damping_factor, &Bike::land_damping_factor, 1, 3, 1},
    {&Config::auto_clutch_rpms, &Bike::auto_clutch_rpm, 0, FLT_MAX, 1},
    {&Config::brake_torque, &Bike::brake_torque, 0, FLT_MAX, 1},
    {&Config::rear_brake_torque, &Bike::rear_brake_torque, 0, FLT_MAX, 1},
    {&Config::max_dab_speed, &Bike::max_dab_speed, 16, 30, 22.0f / 15}, // mph in the file
};

// "Stop Wheelies": No, Yes, Front Only.
constexpr uint8_t wheelie_options[] = {0, option_wheelie_cut | option_stoppie_release, option_stoppie_release};

template <int N>
void apply_rows(Bike* bike, const SettingRow (&rows)[N])
{
    for (const SettingRow& row : rows)
        bike->*row.field = clamp(float((config.*row.key).value) * row.scale, row.low, row.high);
}

uint8_t configured_options()
{
    uint8_t options = option_airborne_steering;
    if (config.arcade.index == 1)
        options |= option_arcade;
    if (config.front_brake.index == 1)
        options |= option_front_antilock;
    if (config.rear_brake.index == 1)
        options |= option_rear_antilock;
    int wheelies = config.stop_wheelies.index;
    if (wheelies >= 0 && wheelies < int(sizeof wheelie_options))
        options |= wheelie_options[wheelies];
    if (config.auto_shift.index == 1)
        options |= option_auto_shift;
    if (config.auto_dab.index == 1)
        options |= option_auto_dab;
    return options;
}

} // namespace

void set_fork_setup(Bike* bike, float compression, float rebound, float spring_t, float preload_t, float oil_t)
{
    const BikeModel& m = bike->model;
    bike->fork_compression_damping = clamp(compression, 0, 2) * m.fork_compression_damping;
    bike->fork_rebound_damping = clamp(rebound, 0, 2) * m.fork_rebound_damping;
    bike->fork_spring_rate = lerp_pair(m.fork_spring_rate, clamp(spring_t, 0, 1));
    bike->fork_preload = lerp_pair(m.fork_preload, clamp(preload_t, 0, 1));
    bike->fork_air_gap = lerp_pair(m.fork_air_gap, clamp(oil_t, 0, 1));
}

void set_shock_setup(Bike* bike, float compression, float rebound, float spring_t, float preload_t)
{
    const BikeModel& m = bike->model;
    bike->shock_compression_damping = clamp(compression, 0, 2) * m.shock_compression_damping;
    bike->shock_rebound_damping = clamp(rebound, 0, 2) * m.shock_rebound_damping;
    bike->shock_spring_rate = lerp_pair(m.shock_spring_rate, clamp(spring_t, 0, 1));
    bike->shock_preload = lerp_pair(m.shock_preload, clamp(preload_t, 0, 1));
}

void set_rider_springs(Bike* bike, float yspring, float zspring)
{
    bike->rider_yspring = clamp(yspring, 0, 1);
    bike->rider_zspring = clamp(zspring, 0, 1);
}

void set_rider_damping(Bike* bike, float ydamping, float zdamping)
{
    bike->rider_ydamping = clamp(ydamping, 0, 1);
    bike->rider_zdamping = clamp(zdamping, 0, 1);
}

void set_sprockets(Bike* bike, float front_adjustment, float rear_adjustment)
{
    // Fewer than three teeth is no sprocket; the floor also keeps the
    // ratio away from a division by zero.
    float front = std::fmax(bike->model.front_sprocket + front_adjustment, 3.0f);
    float rear = std::fmax(bike->model.rear_sprocket + rear_adjustment, 3.0f);
    bike->final_ratio = rear / front;
}

bool set_assist_setting(Bike* bike, int item, float value)
{
    constexpr int before = int(sizeof assists_before_options / sizeof assists_before_options[0]);
    // The list runs through both tables; the clutch, brake and dab rows
    // after them are not assists.
    constexpr int items = before + 5;
    if (item < 1 || item > items)
        return false;
    const SettingRow& row = item <= before ? assists_before_options[item - 1] : assists_after_options[item - 1 - before];
    bike->*row.field = clamp(value * row.scale, row.low, row.high);
    return true;
}

void default_setup(Bike* bike)
{
    set_sprockets(bike, 0, 0);
    set_fork_setup(bike, 1, 1, 0.5f, 0.5f, 0);
    set_shock_setup(bike, 1, 1, 0.5f, 0.5f);
    set_rider_springs(bike, 0.5f, 0.5f);
    set_rider_damping(bike, 0.5f, 0.5f);
    bike->roll_damping = 60;
    bike->leveling = 20;
    bike->roll_limit_factor = 10;
    bike->roll_limit_angle = pi / 4;
    bike->steering_damping = 45;
    bike->steering_strength = 75;
    bike->max_steering_force = 400;
    bike->direct_steering = 1;
    bike->slow_damping_speed = 0;
    bike->slow_damping_factor = 1;
    bike->land_damping_falloff = 0.25f;
    bike->land_damping_factor = 2;
    bike->auto_clutch_rpm = 5000;
    bike->brake_torque = 250;
    bike->rear_brake_torque = 250;
    bike->max_dab_speed = 30;
    bike->options = option_airborne_steering | option_stoppie_release | option_front_antilock;
}

void apply_settings(Bike* bike)
{
    apply_rows(bike, assists_before_options);
    bike->options = configured_options();
    apply_rows(bike, assists_after_options);
    set_sprockets(bike, float(config.front_sprocket_adjustment.value), float(config.rear_sprocket_adjustment.value));
    set_fork_setup(bike, float(config.fork_compression_adjustment.value / 100 + 0.5),
                   float(config.fork_rebound_adjustment.value / 100 + 0.5),
                   float(config.fork_spring_rate_adjustment.value / 100),
                   float(config.fork_preload_adjustment.value / 100),
                   float(config.fork_oil_level_adjustment.value / 100));
    set_shock_setup(bike, float(config.shock_compression_adjustment.value / 100 + 0.5),
                    float(config.shock_rebound_adjustment.value / 100 + 0.5),
                    float(config.shock_spring_rate_adjustment.value / 100),
                    float(config.shock_preload_adjustment.value / 100));
    set_rider_springs(bike, float(config.rider_yspring.value / 100), float(config.rider_zspring.value / 100));
    set_rider_damping(bike, float(config.rider_ydamping.value / 100), float(config.rider_zdamping.value / 100));
    set_rider_mass_distribution(bike, float(config.rider_mass_distribution.value));
}
