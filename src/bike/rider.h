// The rider: his torso on its two soft springs, being thrown off and put
// back, his feet; the control record a rider's input arrives in and its
// setters; and the per-bike update that runs after every world step.
#pragma once
#include "base/vec3.h"

struct Bike;
struct Terrain;

// The nine control channels, in this order.
struct RiderControls {
    float steer; // -1..1, Left +1
    float throttle; // 0..1
    float front_brake; // 0..1
    float rear_brake; // 0..1
    float shift; // -1..1, Upshift +1
    float clutch_lever; // 0..1, 1 pulled in
    float dab; // 0..1, sit / dab
    float back_up; // 0..1
    float lean; // -1..1, Lean Backward +1
};
static_assert(sizeof(RiderControls) == 9 * sizeof(float));

// The local player's sit/dab latch for the "Sticky Sit/Dab" option: a press
// toggles it.
struct StickyDab {
    bool latched;
    float previous_input;
};

// Each clamps its value (NaN counts as the low end); the thrown-off rider
// has no throttle, dab, back-up or lean: those setters give 0 while the
// crash timer runs.
void set_steer(Bike* bike, float steer);
void set_throttle(Bike* bike, float throttle);
void set_front_brake(Bike* bike, float brake);
void set_rear_brake(Bike* bike, float brake);
void set_clutch(Bike* bike, float engagement);
void set_dab(Bike* bike, float dab);
void set_back_up(Bike* bike, float back_up);
void set_lean(Bike* bike, float lean);

// The player's controls into the bike, once per displayed frame. Reads the
// "Reversed Steering" and "Sticky Sit/Dab" options from the configuration.
void apply_controls(Bike* bike, const RiderControls& controls, StickyDab* sticky);

// Where the feet are, for the snapshot and the drawn rider: on the pegs,
// put down towards the ground while dabbing, out with the thrown-off rider.
// The weights say how far each foot is put down (0..1). The terrain may be
// null: no foot reaches the ground then.
void foot_positions(const Bike* bike, const Terrain* terrain, Vec3* left, Vec3* right, float* left_weight,
                    float* right_weight);
// Releases the rider from the bike; his feet become particles.
void throw_rider(Bike* bike, const Terrain* terrain);
// Throws the rider when his torso moves too fast against the bike or was
// stopped too hard. True when he was thrown now.
bool crash_test(Bike* bike, int frame, const Terrain* terrain);
// Renews the two springs that hold the torso in its seat for the next step.
void rider_springs(Bike* bike);

// Steps the rider waits, at most, for his torso to come to rest before he is
// pulled back regardless.
enum { crash_wait_limit = 512 };

// After every world step, for every bike. A bike moved by snapshots
// (simulated false) only has its accumulated forces cleared. frame is the
// race frame number; the terrain carries the thrown-off rider's feet.
void bike_update(Bike* bike, bool simulated, int frame, const Terrain* terrain);
