#include "data/config.h"

#include <algorithm>
#include <cmath>

namespace {

struct PresetRow {
    NumericSetting* setting;
    double at[6]; // at stability 0, 20, 40, 60, 80, 100
};

// Low stability leaves the bike to the rider; high stability damps the roll,
// limits the lean and hands steering over to the lean target.
const PresetRow stability_presets[] = {
    //  setting                        0      20     40     60     80     100
    {&config.leveling,             {20,    20,    20,    20,    20,    20}},
    {&config.roll_damping,         {40,    50,    60,    70,    75,    80}},
    {&config.roll_limit_angle,     {90,    45,    45,    40,    35,    35}},
    {&config.roll_limit_factor,    {0,     5,     10,    32,    32,    32}},
    {&config.steering_damping,     {45,    45,    45,    45,    45,    45}},
    {&config.steering_strength,    {75,    75,    75,    75,    75,    75}},
    {&config.max_steering_force,   {400,   400,   400,   400,   400,   400}},
    {&config.direct_steering,      {1,     1,     1,     1,     1,     0}},
    {&config.slow_damping_speed,   {40,    40,    40,    40,    40,    40}},
    {&config.slow_damping_factor,  {1,     1,     1.5,   2,     2,     2}},
    {&config.land_damping_falloff, {0,     0.125, 0.25,  0.25,  0.25,  0.25}},
    {&config.land_damping_factor,  {1,     1.5,   2,     2,     2,     2}},
};

} // namespace

void apply_stability_preset(int stability)
{
    double s = std::clamp(stability * 5 / 100.0, 0.0, 5.0);
    int i = std::min(int(std::floor(s)), 4);
    double m = s - i;
    for (const PresetRow& row : stability_presets)
        row.setting->value = row.at[i] + m * (row.at[i + 1] - row.at[i]);
}
