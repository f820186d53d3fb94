// The runner's own scripted rider: full throttle and steering toward the
// next gate of the lap, until the robots can ride the learned lines.
#pragma once

enum { sim_pilot_slots = 40 };

struct SimPilot {
    int next_entry[sim_pilot_slots]; // lap-sequence position each rider heads for
};

// Installs the pilot as the driver of every robot slot.
void start_sim_pilot(SimPilot* pilot);
