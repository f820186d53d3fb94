// Units shared by every subsystem: feet, slugs, pounds-force, seconds.
#pragma once

// The simulation step: all race times are whole steps of 1/128 s.
constexpr double step_length = 1.0 / 128;

// ft/s to miles per hour and back.
constexpr double feet_per_second_to_mph = 3600.0 / 5280.0;
constexpr double mph_to_feet_per_second = 5280.0 / 3600.0;
