#include "core/controls.h"

#include "data/config.h"

namespace {

struct ChannelTerm {
    ControlChannel channel;
    float sign;
};

// What each rider binding adds to which channel.
const ChannelTerm binding_terms[rider_binding_count] = {
    {channel_throttle, 1},     {channel_front_brake, 1}, {channel_rear_brake, 1}, {channel_steering, 1},
    {channel_steering, -1},    {channel_clutch, 1},      {channel_shift, 1},      {channel_shift, -1},
    {channel_sit_dab, 1},      {channel_back_up, 1},     {channel_lean, -1},      {channel_lean, 1},
};

} // namespace

float axis_held_value(int axis_value, float low, float high)
{
    float range = high - low;
    if (range == 0)
        return 0; // an uncalibrated axis would divide by zero
    float v = (axis_value / 32768.0f - low) / range;
    return v < 0 ? 0 : v > 1 ? 1 : v;
}

void compute_control_channels(const ControlInput& input, float channels[control_channel_count])
{
    for (int c = 0; c < control_channel_count; c++)
        channels[c] = 0;
    for (int i = 0; i < rider_binding_count; i++)
        channels[binding_terms[i].channel] += binding_terms[i].sign * input.held[i];
}

BindingSetting* rider_binding(int index)
{
    BindingSetting* bindings[rider_binding_count] = {
        &config.throttle_key,   &config.front_brake_key, &config.rear_brake_key, &config.left_key,
        &config.right_key,      &config.clutch_key,      &config.upshift_key,    &config.downshift_key,
        &config.dab_key,        &config.back_up_key,     &config.lean_forward_key, &config.lean_backward_key,
    };
    return index >= 0 && index < rider_binding_count ? bindings[index] : nullptr;
}
