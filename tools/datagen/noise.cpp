#include "noise.h"

#include <cmath>

namespace {

uint32_t mix(uint32_t h)
{
    h ^= h >> 16;
    h *= 0x7feb352dU;
    h ^= h >> 15;
    h *= 0x846ca68bU;
    h ^= h >> 16;
    return h;
}

double smooth(double t)
{
    return t * t * (3 - 2 * t);
}

int32_t wrap(int32_t v, int32_t period)
{
    if (period <= 0)
        return v;
    v %= period;
    return v < 0 ? v + period : v;
}

} // namespace

double hash_unit(int32_t x, int32_t y, uint32_t seed)
{
    uint32_t h = mix(uint32_t(x) * 0x9e3779b1U ^ mix(uint32_t(y) * 0x85ebca77U ^ mix(seed)));
    return (h >> 8) / 16777216.0;
}

double value_noise(double x, double y, uint32_t seed, int32_t period)
{
    double fx = std::floor(x), fy = std::floor(y);
    int32_t ix = int32_t(fx), iy = int32_t(fy);
    double tx = smooth(x - fx), ty = smooth(y - fy);
    double a = hash_unit(wrap(ix, period), wrap(iy, period), seed);
    double b = hash_unit(wrap(ix + 1, period), wrap(iy, period), seed);
    double c = hash_unit(wrap(ix, period), wrap(iy + 1, period), seed);
    double d = hash_unit(wrap(ix + 1, period), wrap(iy + 1, period), seed);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

double fractal_noise(double x, double y, uint32_t seed, int octaves, int32_t period)
{
    double sum = 0, weight = 1, total = 0;
    for (int i = 0; i < octaves; i++) {
        sum += value_noise(x, y, seed + uint32_t(i) * 1013, period) * weight;
        total += weight;
        weight *= 0.5;
        x *= 2;
        y *= 2;
        period *= 2;
    }
    return sum / total;
}
