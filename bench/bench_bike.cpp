// Cost of one simulation step of a bike on a full-size field: both wheel
// contacts, the world step and emptying the contact group; and of riding
// bikes with everything a step does for them (controls, contacts, world step,
// the per-bike update with suspension, engine, rider and assists).
#include "bike/assists.h"
#include "bike/bike.h"
#include "bike/bike_setup.h"
#include "bike/physics.h"
#include "bike/rider.h"
#include "bike/wheel_contact.h"
#include "data/config.h"
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

// The tyres and the world step alone, without the per-bike update: motors
// hold the suspension, steering and rider joints so the bike stays a bike
// on two wheels.
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

// The bike is placed again (untimed) every half second: without the
// per-bike update nothing balances it, and over the waves a rolling bike
// slowly tips.
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

// A rider weaving along the field: part throttle, the steering swinging
// from side to side every four seconds, the lean controller of the default
// stability holding the bike up. Each bike starts from its own phase.
struct Rider {
    Bike* bike;
    RiderControls controls;
    StickyDab sticky;
    float x, z;
    int phase;
};

void place_rider(Rider* r)
{
    if (r->bike)
        destroy_bike(r->bike);
    r->bike = create_bike("dl250(2009)", 0, "1");
    apply_settings(r->bike);
    move_bike(r->bike, r->x, terrain_height(&field().terrain, r->x, r->z + 6) + 0.1, r->z);
    r->controls = {};
    r->sticky = {};
}

void steer_rider(Rider* r, int frame)
{
    float t = float(frame + r->phase) * float(step_length);
    r->controls.throttle = 0.6f;
    r->controls.steer = 0.4f * std::sin(t * 6.2831853f / 4);
    apply_controls(r->bike, r->controls, &r->sticky);
}

// Far enough out that no rider reaches an edge of the field between two
// placements, each on its own lane.
void start_riders(std::vector<Rider>& riders)
{
    config_defaults();
    config.arcade.index = 0;
    apply_stability_preset(100);
    for (size_t i = 0; i < riders.size(); i++) {
        riders[i].x = 64 + float(i % 10) * 96;
        riders[i].z = 1000 - float(i / 10) * 40;
        riders[i].phase = int(i) * 37;
        riders[i].bike = nullptr;
        place_rider(&riders[i]);
    }
}

// Placed again (untimed) every 2048 steps so the riders stay on the field,
// and whenever one has fallen over or been thrown off.
constexpr int ride_steps_per_run = 2048;

void run_riders(benchmark::State& state, int count)
{
    field();
    physics_start();
    std::vector<Rider> riders(count);
    start_riders(riders);
    int frame = 0, since_placed = 0, falls = 0;
    int64_t bike_steps = 0;
    for (auto _ : state) {
        for (Rider& r : riders) {
            steer_rider(&r, frame);
            wheel_ground_contact(&field().terrain, &r.bike->front_contact, 1);
            wheel_ground_contact(&field().terrain, &r.bike->rear_contact, 1);
        }
        physics_step();
        for (Rider& r : riders)
            bike_update(r.bike, true, frame, &field().terrain);
        frame++;
        bike_steps += count;
        if (++since_placed == ride_steps_per_run) {
            state.PauseTiming();
            for (Rider& r : riders)
                place_rider(&r);
            since_placed = 0;
            state.ResumeTiming();
        } else if (frame % 128 == 0) {
            state.PauseTiming();
            for (Rider& r : riders)
                if (r.bike->crash_timer > 0 || std::fabs(lean_angle(r.bike->bodies[body_frame])) > 1.2f) {
                    place_rider(&r);
                    falls++;
                }
            state.ResumeTiming();
        }
    }
    state.counters["bike_steps_per_s"] = benchmark::Counter(double(bike_steps), benchmark::Counter::kIsRate);
    state.counters["us_per_bike_step"] =
        benchmark::Counter(double(bike_steps), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["sim_s_per_wall_s"] =
        benchmark::Counter(double(state.iterations()) * step_length, benchmark::Counter::kIsRate);
    // Riders placed again after a fall, per simulated minute of one bike:
    // the ride should be a ride, not a series of crashes.
    state.counters["falls_per_bike_minute"] = double(falls) * 60 / (double(bike_steps) * step_length);
    for (Rider& r : riders)
        destroy_bike(r.bike);
    physics_stop();
}

void BM_riding_bike(benchmark::State& state)
{
    run_riders(state, 1);
}
BENCHMARK(BM_riding_bike);

// The race's load: forty riding bikes in one world, one step of all of them
// per iteration.
void BM_riding_forty_bikes(benchmark::State& state)
{
    run_riders(state, 40);
}
BENCHMARK(BM_riding_forty_bikes)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
