#include "bike/physics.h"

PhysicsWorld physics;

void physics_start()
{
    if (physics.world)
        return;
    dInitODE();
    physics.world = dWorldCreate();
    dWorldSetGravity(physics.world, 0, -32, 0);
    physics.contact_group = dJointGroupCreate(0);
}

void physics_stop()
{
    if (!physics.world)
        return;
    dJointGroupDestroy(physics.contact_group);
    dWorldDestroy(physics.world);
    physics = {};
    dCloseODE();
}

void physics_step()
{
    dWorldStep(physics.world, step_length);
    dJointGroupEmpty(physics.contact_group);
}
