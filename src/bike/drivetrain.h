// The engine as one rotating state, the crank speed, coupled to the rear
// wheel through the clutch: a stiff torsional spring and damper whose wind-up
// is limited by how far the clutch is engaged. Gears change by the rider's
// shift input or automatically; the brakes are the axle hinges' motors.
#pragma once

struct Bike;

// The rider's shift input: -1 down, 0, +1 up. A held input changes gear once;
// it must return to 0 before the next change. Ignored while the rider is
// thrown off or outside -1..1.
void shift(Bike* bike, int input);
// For the snapshot: the gear clamped to 0..5 and lowered to one that exists.
void set_gear(Bike* bike, int gear);
// Once per step after the world step; frame is the race frame number.
void drivetrain_step(Bike* bike, int frame);

float engine_rpm(const Bike* bike);
// The engine's torque now: the map entry for the crank speed at the current
// throttle, cut to 0 in a wheelie when the bike asks for it.
float engine_torque(const Bike* bike);

// The torque map entry read at an engine speed: the nearest 500 rpm point,
// held at both ends of the map.
int torque_map_index(float rpm);
// Crank turns per rear wheel turn in the current gear.
float overall_ratio(const Bike* bike);
// How far the automatic clutch lets the rider's engagement act at an engine
// speed: nothing at auto_clutch_rpm, all of it 2000 rpm above.
float auto_clutch_engagement(const Bike* bike, float rpm);
// The lever (0 released .. 1 pulled) as an engagement, one step on from
// old: it opens at once and closes at no more than 4 per second.
float clutch_engagement_step(float old, float lever);
