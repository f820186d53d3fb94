// The program's pseudo-random generator: MT19937 with the standard seeding.
#pragma once
#include <cstdint>
#include <random>

struct Random {
    std::mt19937 engine;
};

void random_seed(Random* random, uint32_t seed);
uint32_t random_next(Random* random);
// u = (r & 0x7fffffff) / 2^31, in [0, 1).
double random_uniform(Random* random);
