#include "sim_pilot.h"

#include "bike/bike.h"
#include "bike/rider.h"
#include "core/simulation.h"
#include "race/race_state.h"
#include "track/timing_gates.h"

#include <cmath>

namespace {

const double pi = 3.14159265358979323846;

// Steering toward the gate, left positive; moves on to the next gate once
// the bike is inside this one's circle.
float steer_toward(const Bike* bike, const TimingGate* gate, int* next_entry)
{
    const dReal* p = dBodyGetPosition(bike->bodies[body_frame]);
    float dx = gate->position[0] - float(p[0]), dz = gate->position[2] - float(p[2]);
    if (dx * dx + dz * dz < gate->radius * gate->radius)
        ++*next_entry;
    // The bike faces its body's -z axis.
    const dReal* r = dBodyGetRotation(bike->bodies[body_frame]);
    float fx = -float(r[2]), fz = -float(r[10]);
    double error = std::atan2(double(fx * dz - fz * dx), double(fx * dx + fz * dz));
    float steer = float(-error / (pi / 4));
    return steer < -1 ? -1 : steer > 1 ? 1 : steer;
}

void drive(void* context, int slot, Bike* bike)
{
    SimPilot* pilot = static_cast<SimPilot*>(context);
    RiderControls controls = {};
    // Held at the gate until it drops, then flat out.
    controls.throttle = race.frame > race.start_frame ? 1.0f : 0.0f;
    if (const TimingGate* gate = sequence_gate(pilot->next_entry[slot]))
        controls.steer = steer_toward(bike, gate, &pilot->next_entry[slot]);
    apply_controls(bike, controls, nullptr);
}

} // namespace

void start_sim_pilot(SimPilot* pilot)
{
    for (int& e : pilot->next_entry)
        e = 0;
    set_simulation_hooks({pilot, drive, nullptr});
}
