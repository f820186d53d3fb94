// The player's setup of a bike: suspension, gearing, rider springs, riding
// assists and option bits, from the configuration or set one by one.
#pragma once

struct Bike;

// Multipliers of the model's base damping, clamped to 0..2; t values pick
// between the model's two settings, clamped to 0..1.
void set_fork_setup(Bike* bike, float compression, float rebound, float spring_t, float preload_t, float oil_t);
void set_shock_setup(Bike* bike, float compression, float rebound, float spring_t, float preload_t);
// Each clamped to 0..1.
void set_rider_springs(Bike* bike, float yspring, float zspring);
void set_rider_damping(Bike* bike, float ydamping, float zdamping);
// Share d of the rider's mass rides in the torso, the rest in the frame.
void set_rider_mass_distribution(Bike* bike, float d);
// Sprocket changes in whole teeth.
void set_sprockets(Bike* bike, float front_adjustment, float rear_adjustment);

// One of the twelve assist settings by its place in the in-game list
// (1 Leveling .. 12 Landing Damping Factor), through the same clamp as the
// configuration's value; the value is in the configuration's unit (degrees
// for the roll limit angle). False, and nothing set, outside 1..12.
bool set_assist_setting(Bike* bike, int item, float value);

// The values a new bike has before apply_settings.
void default_setup(Bike* bike);
// Copies the player's setup from the configuration into the bike.
void apply_settings(Bike* bike);
