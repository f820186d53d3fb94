// The fork and the rear shock: springs and dampers that the program computes
// once per step and feeds to the fork slider's and the swingarm hinge's
// motors. The joints' own stops end the travel; the forces act in the next
// world step.
#pragma once

struct Bike;

// Force along the fork slider, positive towards extension, for a slider
// position (0 fully extended, -fork_travel fully compressed) and its rate
// (negative while compressing).
float fork_force(const Bike* bike, float position, float rate);
// Torque about the swingarm hinge, positive towards extension, for a hinge
// angle (0 fully extended, -swingarm_travel fully compressed) and its rate.
float shock_torque(const Bike* bike, float angle, float rate);
// Reads both joints and sets their motors; once per step.
void suspension_step(Bike* bike);
