#include "base/random.h"

void random_seed(Random* random, uint32_t seed)
{
    random->engine.seed(seed);
}

uint32_t random_next(Random* random)
{
    return uint32_t(random->engine());
}

double random_uniform(Random* random)
{
    return double(random_next(random) & 0x7fffffffu) / 2147483648.0;
}
