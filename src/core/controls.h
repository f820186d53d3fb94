// The player's control bindings turned into the nine control channels of a
// simulation step.
#pragma once

struct BindingSetting;

enum ControlChannel {
    channel_steering, // Left +1, Right -1
    channel_throttle,
    channel_front_brake,
    channel_rear_brake,
    channel_shift, // Upshift +1, Downshift -1
    channel_clutch,
    channel_sit_dab,
    channel_back_up,
    channel_lean, // Lean Forward -1, Lean Backward +1
    control_channel_count
};

enum { rider_binding_count = 12 };

// Held values of the twelve rider bindings, in configuration order
// (throttle, front brake, rear brake, left, right, clutch, upshift,
// downshift, sit/dab, back up, lean forward, lean backward).
struct ControlInput {
    float held[rider_binding_count];
};

// The held value of an axis binding for a raw axis reading.
float axis_held_value(int axis_value, float low, float high);
// Sums the held values into the channels (cleared first).
void compute_control_channels(const ControlInput& input, float channels[control_channel_count]);
// The rider bindings of the configuration, in the order of ControlInput.
BindingSetting* rider_binding(int index);
