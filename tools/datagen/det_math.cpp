#include "det_math.h"

#include <cmath>

void det_sin_cos(double angle, double* s, double* c)
{
    // Quadrant by floor (exact), then the Taylor series on |r| <= pi/4,
    // where the omitted terms are far below double precision's last bit
    // that matters for the assets.
    double k = std::floor(angle * (2 / pi) + 0.5);
    double r = angle - k * (pi / 2);
    double r2 = r * r;
    double sn = r * (1 - r2 / 6 * (1 - r2 / 20 * (1 - r2 / 42 * (1 - r2 / 72 * (1 - r2 / 110 * (1 - r2 / 156))))));
    double cs = 1 - r2 / 2 * (1 - r2 / 12 * (1 - r2 / 30 * (1 - r2 / 56 * (1 - r2 / 90 * (1 - r2 / 132)))));
    int quadrant = int(k - 4 * std::floor(k / 4));
    switch (quadrant) {
    case 0: *s = sn, *c = cs; break;
    case 1: *s = cs, *c = -sn; break;
    case 2: *s = -sn, *c = -cs; break;
    default: *s = -cs, *c = sn; break;
    }
}

double det_sin(double angle)
{
    double s, c;
    det_sin_cos(angle, &s, &c);
    return s;
}

double det_cos(double angle)
{
    double s, c;
    det_sin_cos(angle, &s, &c);
    return c;
}
