// Deterministic noise for textures and terrain: the same numbers on every
// machine (integer hashing, no library random generators).
#pragma once
#include <cstdint>

// A hash of integer coordinates and a seed, uniform in [0, 1).
double hash_unit(int32_t x, int32_t y, uint32_t seed);
// Smooth value noise in [0, 1) with a period (in lattice cells) so that
// textures tile; period 0 means no wrap.
double value_noise(double x, double y, uint32_t seed, int32_t period = 0);
// Sum of octaves of value noise, normalised to [0, 1).
double fractal_noise(double x, double y, uint32_t seed, int octaves, int32_t period = 0);
