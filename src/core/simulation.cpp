#include "core/simulation.h"

#include "base/sort.h"
#include "bike/assists.h"
#include "bike/bike.h"
#include "bike/physics.h"
#include "bike/rider.h"
#include "core/session.h"
#include "race/race_state.h"
#include "track/terrain.h"

#include <cmath>

SimulationHooks simulation_hooks;

namespace {

float main_body_speed(const Bike* bike)
{
    const dReal* v = dBodyGetLinearVel(bike->bodies[body_frame]);
    float x = float(v[0]), y = float(v[1]), z = float(v[2]);
    return std::sqrt(x * x + y * y + z * z);
}

// Fastest first: the heap sort is ascending, so slower compares greater.
int faster_first(const void* a, const void* b)
{
    float sa = main_body_speed(*static_cast<Bike* const*>(a));
    float sb = main_body_speed(*static_cast<Bike* const*>(b));
    return sa < sb ? 1 : sa > sb ? -1 : 0;
}

// Front wheel, then rear. Arcade physics loses grip with lean, down to 0.625
// of the material's at 45 degrees.
void ground_contacts(Bike* bike)
{
    const Terrain* terrain = current_terrain;
    if (!terrain)
        return;
    float grip = (bike->options & option_arcade) ? arcade_grip_factor(lean_angle(bike->bodies[body_frame])) : 1;
    wheel_ground_contact(terrain, &bike->front_contact, grip);
    wheel_ground_contact(terrain, &bike->rear_contact, grip);
}

} // namespace

void set_simulation_hooks(const SimulationHooks& hooks)
{
    simulation_hooks = hooks;
}

int contact_order(Bike* order[], int capacity)
{
    int n = 0;
    for (const RiderSlot& slot : session.slots)
        if (slot.bike && slot.controller != controller_outside && n < capacity)
            order[n++] = slot.bike;
    sort_records(order, size_t(n), sizeof(Bike*), faster_first);
    return n;
}

void simulation_step()
{
    if (!physics.world)
        return;
    // Contacts: every simulated bike with the ground. Bike pairs and track
    // objects are tested in this order once their shapes exist.
    Bike* order[rider_slot_count];
    int n = contact_order(order, rider_slot_count);
    for (int i = 0; i < n; i++)
        ground_contacts(order[i]);

    physics_step();

    for (int m = 0; m < rider_slot_count; m++) {
        RiderSlot& slot = session.slots[m];
        if (!slot.bike)
            continue;
        if (slot.controller == controller_robot && simulation_hooks.robot_step)
            simulation_hooks.robot_step(simulation_hooks.context, m, slot.bike);
        bike_update(slot.bike, slot.controller != controller_outside, race.frame, current_terrain);
    }
    update_start_gates();
    race.frame += 1;
}

void update_start_gates()
{
    if (race.frame * step_length > race.start_frame * step_length + 10)
        return;
    for (int i = 0; i < session.start_gate_count; i++) {
        StartGate& gate = session.start_gates[i];
        if (gate.object < 0 || gate.tilt <= 0)
            continue;
        if (race.frame > race.start_frame && gate.touched_frame != race.frame) {
            gate.tilt -= float(8 * step_length); // down in an eighth of a second
            if (gate.tilt < 0)
                gate.tilt = 0;
        }
        if (simulation_hooks.tilt_gate)
            simulation_hooks.tilt_gate(simulation_hooks.context, gate.object, gate.tilt * 0.5890486225480862f);
    }
}
