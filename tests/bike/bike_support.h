// Test ground and a physics world for the bike tests.
#pragma once
#include "bike/bike.h"
#include "bike/physics.h"
#include "bike/rider.h"
#include "support/fixture.h"
#include "track/material.h"
#include "track/terrain.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

// A height field in memory with one ground material: 2^(M+1) + 1 samples a
// side at the given spacing, heights from a function of the sample's x, z.
struct TestField {
    Terrain terrain{};
    std::vector<float> heights;
    std::vector<unsigned char> tile_map;
    TestField(int size_log2, float spacing, const std::function<float(float x, float z)>& height,
              const TileMaterial& material = default_tile_material());
    float world_size() const { return terrain.world_size; }
};

// The same grip coefficient at every slip speed.
TileMaterial material_with_friction(float mu);
// The same rolling resistance pair at every ground speed.
TileMaterial material_with_roll_resist(float low, float high);

// A fresh physics world per test, the log and home kept in a temporary
// folder.
class PhysicsTest : public ::testing::Test {
protected:
    TestHome home;
    void SetUp() override { physics_start(); }
    void TearDown() override { physics_stop(); }
};

// The same with the configuration at its defaults, arcade physics off: a
// bike as a player who changed nothing but that rides it.
class RideTest : public PhysicsTest {
protected:
    void SetUp() override;
};

// For tests of the tyres alone, without the per-bike update: fork and shock
// pushed to full extension, steering held straight, the torso locked to the
// frame, all by motors. What remains free is the wheels' spin and the tyres
// on the ground.
void hold_bike_rigid(Bike* bike);
// Locks both wheels to their axle carriers.
void lock_wheels(Bike* bike);
// Both wheels' ground contacts, then one world step.
void step_bike(const Terrain* terrain, Bike* bike);
// Linear and angular velocity of every body set for rolling along -z at
// the given speed, the wheels spinning to match. The torso's velocity
// history says it has been going that fast, so the launch throws no one.
void set_rolling(Bike* bike, float speed);

// A bike ridden on a test field the way the simulation frame runs it: the
// controls applied, both wheel contacts, the world step, the per-bike update.
struct Ride {
    const Terrain* terrain;
    Bike* bike;
    int frame;
    RiderControls controls;
    StickyDab sticky;
};
Ride start_ride(const Terrain* terrain, Bike* bike);
void ride(Ride* ride, int steps);
// A bike record without bodies: the model's copy and the default setup, for
// the computations that need no physics.
Bike bike_record(const char* name);

// A new bike with the configuration's settings applied, placed upright with
// its frame over (x, z) and its tyres just clear of the ground.
Bike* bike_at(const Terrain* terrain, const char* name, float x, float z);

Vec3 position_of(dBodyID body);
void expect_vec3_near(Vec3 v, Vec3 expected, float tolerance);
Vec3 velocity_of(dBodyID body);
