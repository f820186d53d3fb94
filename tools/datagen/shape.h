// Collision shapes (".shp"): spheres in the coordinates of the body they are
// attached to.
#pragma once
#include "mesh.h"

#include <string>
#include <vector>

struct Sphere {
    Vec3 centre;
    double radius = 0;
    double friction = 0;  // Coulomb coefficient, against the ground and other shapes
    double stiffness = 0; // lbf/ft, used only between two shapes (the smaller one wins)
    double damping = 0;   // lbf per ft/s, likewise
};

// The text the game reads: the sphere count, then seven numbers a sphere.
std::string encode_shp(const std::vector<Sphere>& spheres);
