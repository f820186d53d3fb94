#include "core/cameras.h"
#include "core/controls.h"
#include "track/terrain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

// A 9 x 9 grid of spacing 2 whose height is the column number.
struct Ramp {
    std::vector<float> heights;
    std::unique_ptr<Terrain> terrain = std::make_unique<Terrain>();
    Ramp()
    {
        heights.resize(81);
        for (int k = 0; k < 9; k++)
            for (int i = 0; i < 9; i++)
                heights[k * 9 + i] = float(i);
        terrain->heights = heights.data();
        terrain->spacing = 2;
        terrain->inv_spacing = 0.5f;
        terrain->samples = 9;
        terrain->world_size = 16;
    }
};

TEST(TerrainHeightNear, WeightedMeanOfNearbySamples)
{
    Ramp ramp;
    struct Case {
        float x, z, r, expected;
    } const cases[] = {
        {8, 8, 0.5f, 4},     // only the sample underneath, at full weight... and its fading ring
        {8, 8, 3, 4},        // symmetric around column 4
        {-50, 8, 1, 0},      // off the field: the edge samples
        {100, 8, 1, 8},
        {1, 8, 0.1f, 0.5f},  // between two columns, equal weights
    };
    for (const Case& c : cases)
        EXPECT_NEAR(terrain_height_near(ramp.terrain.get(), c.x, c.z, c.r), c.expected, 1e-4) << c.x << " " << c.r;
}

TEST(FreeCamera, TurnsAccelaratesAndStaysAboveGround)
{
    Ramp ramp;
    FreeCamera camera = {{8, 0, 8}, 0, 0, 0, 0, 0};
    float channels[9] = {};
    channels[channel_steering] = 1;
    float h = 1.0f / 128;
    free_camera_step(&camera, channels, h, ramp.terrain.get());
    EXPECT_NEAR(camera.yaw_rate, h * 3.14159265f, 1e-6); // rates move by at most h pi a step
    channels[channel_steering] = 0;
    channels[channel_throttle] = 1;
    for (int i = 0; i < 128; i++)
        free_camera_step(&camera, channels, h, ramp.terrain.get());
    EXPECT_NEAR(camera.speed, 20, 0.01); // +80, -60 per second
    EXPECT_GE(camera.position[1], terrain_height_near(ramp.terrain.get(), camera.position[0], camera.position[2], 10) + 2 - 1e-4);
    channels[channel_throttle] = 0;
    for (int i = 0; i < 128; i++)
        free_camera_step(&camera, channels, h, ramp.terrain.get());
    EXPECT_FLOAT_EQ(camera.speed, 0);
}

TEST(OrbitCamera, ControlsAndEye)
{
    Ramp ramp;
    OrbitCamera orbit = {0, 10, 5};
    float channels[9] = {};
    channels[channel_throttle] = 1;
    for (int i = 0; i < 1000; i++)
        orbit_camera_step(&orbit, channels, 1.0f / 128);
    EXPECT_FLOAT_EQ(orbit.distance, 0.25f);
    channels[channel_throttle] = 0;
    channels[channel_steering] = 1;
    int steps = 0;
    while (orbit.yaw >= 0 && steps < 600) {
        orbit_camera_step(&orbit, channels, 1.0f / 128);
        steps++;
    }
    EXPECT_NEAR(steps, 513, 1);               // pi / 512 a step
    EXPECT_FLOAT_EQ(orbit.yaw, -3.14159265f); // wrapped past pi

    float target[3] = {8, 1, 8}, direction[3] = {0, 0, 2}, eye[3];
    orbit_camera_eye(target, direction, 10, 5, ramp.terrain.get(), eye);
    EXPECT_FLOAT_EQ(eye[0], 8);
    EXPECT_FLOAT_EQ(eye[2], 18);
    EXPECT_FLOAT_EQ(eye[1], std::fmax(terrain_height_near(ramp.terrain.get(), 8, 18, 10) + 5, 6));
}

} // namespace
