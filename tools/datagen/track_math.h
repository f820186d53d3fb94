// Trigonometry for the track generator from the deterministic sine and
// cosine of the drawing helpers, and an arctangent built the same way: only
// correctly rounded operations, so the tracks come out bit for bit alike on
// every machine whatever the C library picks for the processor.
#pragma once
#include "interface_draw.h"

#include <cmath>

inline double det_tan(double angle)
{
    return det_sin(angle) / det_cos(angle);
}

inline double det_radians(double degrees)
{
    return degrees * pi / 180;
}

// atan for |x| <= 1: three halvings of the angle (atan x = 2 atan(x / (1 +
// sqrt(1 + x^2)))) bring x below 0.07, where a short series is exact.
inline double det_atan_unit(double x)
{
    for (int k = 0; k < 3; k++)
        x = x / (1 + std::sqrt(1 + x * x));
    double x2 = x * x, term = x, sum = x;
    for (int n = 1; n < 12; n++) {
        term *= -x2;
        sum += term / (2 * n + 1);
    }
    return 8 * sum;
}

inline double det_atan2(double y, double x)
{
    if (x == 0 && y == 0)
        return 0;
    if (std::fabs(x) >= std::fabs(y)) {
        double a = det_atan_unit(y / x);
        if (x > 0)
            return a;
        return y >= 0 ? a + pi : a - pi;
    }
    double a = det_atan_unit(x / y);
    return y > 0 ? pi / 2 - a : -pi / 2 - a;
}
