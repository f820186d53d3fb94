// One simulation step of 1/128 s for the whole race, in a fixed order that
// timing, demos, robots and the network all rely on.
#pragma once

struct Bike;

// What drives the robots until the auto pilot rides: called for every robot
// slot after the world step, before the bike's own update.
struct SimulationHooks {
    void* context;
    void (*robot_step)(void* context, int slot, Bike* bike);
    // Turns a start-gate object to its tilt angle (radians about its x axis).
    void (*tilt_gate)(void* context, int object, float angle);
};
void set_simulation_hooks(const SimulationHooks& hooks);
extern SimulationHooks simulation_hooks;

void simulation_step();

// Lets the start gates fall once the start frame has passed, for the first
// ten seconds of the race; a gate a bike leans on in this step holds.
void update_start_gates();

// The simulated bikes (not driven from outside) in the order the bike pairs
// are tested: fastest first, by the program's heap sort. Returns the count.
int contact_order(Bike* order[], int capacity);
