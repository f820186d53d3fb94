// Collision shapes: sets of spheres read from ".shp" files, cached by file
// name for the whole run. Whatever collides (a bike part, a statue) holds its
// own instance, whose spheres receive the world positions during each test
// while the cached shape keeps the body-relative ones.
#pragma once
#include <cstdint>

struct CollisionSphere {
    float centre[3]; // body coordinates in the cached shape, world in an instance
    float radius;
    float friction;  // Coulomb coefficient
    float stiffness; // lbf/ft, between two shapes only
    float damping;   // lbf per ft/s, between two shapes only
};

struct CollisionShape {
    char* name; // the file it was read from; owned
    int32_t sphere_count;
    CollisionSphere* spheres; // owned
    const CollisionShape* source; // the cached shape an instance copies; null for the cached one
    float bound; // radius around the body origin that holds every sphere
};

// The cached shape of the file, read on first use; null when the file is
// missing or malformed (nothing is reported).
const CollisionShape* load_shape(const char* name);
// A new instance of the file's shape, or null.
CollisionShape* shape_instance(const char* name);
// Frees an instance; null and cached shapes are left alone.
void free_shape_instance(CollisionShape* instance);
// Forgets every cached shape (shut-down and tests); instances made from them
// must be gone already.
void clear_shape_cache();
