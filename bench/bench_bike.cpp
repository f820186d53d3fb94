// Cost of one simulation step of a bike on a full-size field: both wheel
// contacts, the world step and emptying the contact group.
#include "bike/bike.h"
#include "bike/physics.h"
#include "bike/wheel_contact.h"
#include "track/material.h"
#include "track/terrain.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

// 1025 x 1025 samples a foot apart, with waves across the riding direction
// so the wheels meet every kind of triangle while the bike stays upright.
struct Field {
    Terrain terrain{};
    std::vector<float> heights;
    std::vector<unsigned char> tile_map;
    Field()
    {
        const int size_log2 = 9, tiles = 1 << size_log2, n = 2 * tiles + 1;
        const float spacing = 1;
        heights.resize(size_t(n) * n);
        for (int j = 0; j < n; j++)
            for (int i = 0; i < n; i++)
                heights[size_t(j) * n + i] = 2 * std::sin(float(j) * spacing * 6.2831853f / 80);
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
        terrain.materials[0] = default_tile_material();
        terrain.material_count = 1;
    }
};

const Field& field()
{
    static const Field f;
    return f;
}

// The suspension, rider and steering code is not part of this measurement;
// motors hold those joints so the bike stays a bike on two wheels.
void hold_bike_rigid(Bike* bike)
{
    dJointSetSliderParam(bike->joints[joint_fork], dParamVel, 1000);
    dJointSetSliderParam(bike->joints[joint_fork], dParamFMax, 5000);
    dJointSetHingeParam(bike->joints[joint_swingarm], dParamVel, 1000);
    dJointSetHingeParam(bike->joints[joint_swingarm], dParamFMax, 5000);
    dJointSetHingeParam(bike->joints[joint_steering], dParamVel, 0);
    dJointSetHingeParam(bike->joints[joint_steering], dParamFMax, 5000);
    dJointSetHinge2Param(bike->joints[joint_rider], dParamVel2, 0);
    dJointSetHinge2Param(bike->joints[joint_rider], dParamFMax2, 100000);
}

void ground_contacts(Bike* bike)
{
    wheel_ground_contact(&field().terrain, &bike->front_contact, 1);
    wheel_ground_contact(&field().terrain, &bike->rear_contact, 1);
}

void step(Bike* bike)
{
    ground_contacts(bike);
    physics_step();
}

// Placed at (x, z) on the ground, settled for a second.
Bike* placed_bike(float x, float z, bool brakes)
{
    Bike* bike = create_bike("dl250(2009)", 0, "1");
    hold_bike_rigid(bike);
    if (brakes)
        for (int j : {joint_front_axle, joint_rear_axle}) {
            dJointSetHingeParam(bike->joints[j], dParamVel, 0);
            dJointSetHingeParam(bike->joints[j], dParamFMax, 100000);
        }
    move_bike(bike, x, terrain_height(&field().terrain, x, z + 3.6f) + 0.2, z);
    for (int i = 0; i < 128; i++)
        step(bike);
    return bike;
}

void launch(Bike* bike, float speed)
{
    for (dBodyID body : bike->bodies) {
        dBodySetLinearVel(body, 0, 0, -speed);
        dBodySetAngularVel(body, 0, 0, 0);
    }
    for (const WheelContact* w : {&bike->front_contact, &bike->rear_contact})
        dBodySetAngularVel(w->body, -speed / (w->ring_radius + w->tube_radius), 0, 0);
}

void report(benchmark::State& state)
{
    state.counters["sim_s_per_wall_s"] =
        benchmark::Counter(double(state.iterations()) * step_length, benchmark::Counter::kIsRate);
}

// The bike is placed again (untimed) every half second: nothing balances
// it yet, and over the waves a rolling bike slowly tips.
constexpr int steps_per_run = 64;

void run_steps(benchmark::State& state, float z, float speed)
{
    field();
    physics_start();
    bool brakes = speed == 0;
    Bike* bike = placed_bike(512, z, brakes);
    launch(bike, speed);
    int steps = 0;
    for (auto _ : state) {
        step(bike);
        if (++steps == steps_per_run) {
            state.PauseTiming();
            destroy_bike(bike);
            bike = placed_bike(512, z, brakes);
            launch(bike, speed);
            steps = 0;
            state.ResumeTiming();
        }
    }
    benchmark::DoNotOptimize(bike->rear_contact.depth);
    report(state);
    destroy_bike(bike);
    physics_stop();
}

void BM_bike_step_resting(benchmark::State& state)
{
    run_steps(state, 512, 0);
}
BENCHMARK(BM_bike_step_resting);

void BM_bike_step_rolling(benchmark::State& state)
{
    run_steps(state, 900, 30);
}
BENCHMARK(BM_bike_step_rolling);

// The contact share of a step: both wheel tests with their joints and
// rolling resistance, the group emptied without stepping.
void BM_wheel_contacts_only(benchmark::State& state)
{
    field();
    physics_start();
    Bike* bike = placed_bike(512, 512, true);
    for (auto _ : state) {
        ground_contacts(bike);
        dJointGroupEmpty(physics.contact_group);
        dBodySetForce(bike->bodies[body_front_wheel], 0, 0, 0);
        dBodySetForce(bike->bodies[body_rear_wheel], 0, 0, 0);
    }
    benchmark::DoNotOptimize(bike->rear_contact.depth);
    destroy_bike(bike);
    physics_stop();
}
BENCHMARK(BM_wheel_contacts_only);

} // namespace

BENCHMARK_MAIN();
