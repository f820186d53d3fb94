#include "shape.h"

#include <cstdio>

std::string encode_shp(const std::vector<Sphere>& spheres)
{
    std::string out = std::to_string(spheres.size()) + "\n";
    char line[160];
    for (const Sphere& s : spheres) {
        // Fixed decimals so that equal doubles give equal text everywhere.
        snprintf(line, sizeof line, "%.4f %.4f %.4f %.4f %.3f %.1f %.1f\n", s.centre.x + 0.0, s.centre.y + 0.0,
                 s.centre.z + 0.0, s.radius, s.friction, s.stiffness, s.damping);
        out += line;
    }
    return out;
}
