// Trigonometry with the same bits on every machine: the C library may take
// another code path (and give another last bit) on another processor, and
// the data release must not change with the build machine.
#pragma once

constexpr double pi = 3.14159265358979323846;

void det_sin_cos(double angle, double* s, double* c);
double det_sin(double angle);
double det_cos(double angle);
