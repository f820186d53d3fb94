// The one physics world that every bike lives in, and its contact joints.
#pragma once
#include "base/units.h"

#include <ode/ode.h>

struct PhysicsWorld {
    dWorldID world;
    dJointGroupID contact_group; // every contact joint of a step, emptied after it
};

extern PhysicsWorld physics;

// Creates the world with gravity (0, -32, 0) ft/s^2 and the contact group.
// A second call while the world exists does nothing.
void physics_start();
// Destroys both and closes the library; nothing happens when not started.
void physics_stop();
// One world step of step_length, then the step's contact joints are dropped.
void physics_step();
