// One simulation step of 1/128 s for the whole race, in a fixed order that
// timing, demos, robots and the network all rely on.
#pragma once

struct Bike;

// What drives the robots until the auto pilot rides: called for every robot
// slot after the world step, before the bike's own update.
struct SimulationHooks {
    void* context;
    void (*robot_step)(void* context, int slot, Bike* bike);
};
void set_simulation_hooks(const SimulationHooks& hooks);

void simulation_step();

// The simulated bikes (not driven from outside) in the order the bike pairs
// are tested: fastest first, by the program's heap sort. Returns the count.
int contact_order(Bike* order[], int capacity);
