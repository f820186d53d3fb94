#include "bike_support.h"

#include "bike/bike_setup.h"
#include "data/config.h"

#include <cmath>

TestField::TestField(int size_log2, float spacing, const std::function<float(float x, float z)>& height,
                     const TileMaterial& material)
{
    int tiles = 1 << size_log2;
    int n = 2 * tiles + 1;
    heights.resize(size_t(n) * n);
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++)
            heights[size_t(j) * n + i] = height(float(i) * spacing, float(j) * spacing);
    tile_map.assign(size_t(tiles) * tiles, 0);
    terrain.heights = heights.data();
    terrain.tile_map = tile_map.data();
    terrain.spacing = spacing;
    terrain.inv_spacing = 1 / spacing;
    terrain.tile_size = 2 * spacing;
    terrain.world_size = spacing * float(2 * tiles);
    terrain.size_log2 = size_log2;
    terrain.samples = n;
    terrain.tiles = tiles;
    terrain.materials[0] = material;
    terrain.material_count = 1;
}

void RideTest::SetUp()
{
    PhysicsTest::SetUp();
    config_defaults();
    config.arcade.index = 0;
}

Bike bike_record(const char* name)
{
    Bike bike{};
    bike.model = *find_bike_model(name);
    bike.engine_inertia = bike.model.engine_inertia;
    default_setup(&bike);
    return bike;
}

TileMaterial material_with_friction(float mu)
{
    TileMaterial m = default_tile_material();
    for (float& f : m.friction)
        f = mu;
    return m;
}

TileMaterial material_with_roll_resist(float low, float high)
{
    TileMaterial m = default_tile_material();
    for (auto& pair : m.roll_resist) {
        pair[0] = low;
        pair[1] = high;
    }
    return m;
}

void hold_bike_rigid(Bike* bike)
{
    dJointSetSliderParam(bike->joints[joint_fork], dParamVel, 1000);
    dJointSetSliderParam(bike->joints[joint_fork], dParamFMax, 5000);
    dJointSetHingeParam(bike->joints[joint_swingarm], dParamVel, 1000);
    dJointSetHingeParam(bike->joints[joint_swingarm], dParamFMax, 5000);
    dJointSetHingeParam(bike->joints[joint_steering], dParamVel, 0);
    dJointSetHingeParam(bike->joints[joint_steering], dParamFMax, 5000);
    // The rider hinge's second axis has no stops; its motor holds it. The
    // far anchor makes the torso's weight a large torque about it.
    dJointSetHinge2Param(bike->joints[joint_rider], dParamVel2, 0);
    dJointSetHinge2Param(bike->joints[joint_rider], dParamFMax2, 100000);
}

void lock_wheels(Bike* bike)
{
    for (int j : {joint_front_axle, joint_rear_axle}) {
        dJointSetHingeParam(bike->joints[j], dParamVel, 0);
        dJointSetHingeParam(bike->joints[j], dParamFMax, 100000);
    }
}

void step_bike(const Terrain* terrain, Bike* bike)
{
    wheel_ground_contact(terrain, &bike->front_contact, 1);
    wheel_ground_contact(terrain, &bike->rear_contact, 1);
    physics_step();
}

void set_rolling(Bike* bike, float speed)
{
    for (dBodyID body : bike->bodies) {
        dBodySetLinearVel(body, 0, 0, -speed);
        dBodySetAngularVel(body, 0, 0, 0);
    }
    for (const WheelContact* w : {&bike->front_contact, &bike->rear_contact})
        dBodySetAngularVel(w->body, -speed / (w->ring_radius + w->tube_radius), 0, 0);
    for (Vec3& v : bike->torso_velocity_history)
        v = {0, 0, -speed};
}

Ride start_ride(const Terrain* terrain, Bike* bike)
{
    Ride r{};
    r.terrain = terrain;
    r.bike = bike;
    return r;
}

void ride(Ride* r, int steps)
{
    for (int i = 0; i < steps; i++) {
        apply_controls(r->bike, r->controls, &r->sticky);
        wheel_ground_contact(r->terrain, &r->bike->front_contact, 1);
        wheel_ground_contact(r->terrain, &r->bike->rear_contact, 1);
        physics_step();
        bike_update(r->bike, true, r->frame, r->terrain);
        r->frame++;
    }
}

Bike* bike_at(const Terrain* terrain, const char* name, float x, float z)
{
    Bike* bike = create_bike(name, 0, "");
    if (!bike)
        return nullptr;
    apply_settings(bike);
    // In the rest pose both tyres reach a little below y = 0.
    float ground = std::fmax(terrain_height(terrain, x, z + 1.11f), terrain_height(terrain, x, z + 6));
    move_bike(bike, x, ground + 0.1, z);
    return bike;
}
Vec3 position_of(dBodyID body)
{
    const dReal* p = dBodyGetPosition(body);
    return {float(p[0]), float(p[1]), float(p[2])};
}

Vec3 velocity_of(dBodyID body)
{
    const dReal* v = dBodyGetLinearVel(body);
    return {float(v[0]), float(v[1]), float(v[2])};
}

void expect_vec3_near(Vec3 v, Vec3 expected, float tolerance)
{
    EXPECT_NEAR(v.x, expected.x, tolerance);
    EXPECT_NEAR(v.y, expected.y, tolerance);
    EXPECT_NEAR(v.z, expected.z, tolerance);
}
