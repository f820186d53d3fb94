// The orbit and free cameras of the main loop, and the smoothed ground
// height they keep above.
#pragma once

struct Terrain;

// Weighted mean height of the grid samples around (x, z): full weight inside
// radius r, fading to nothing over one sample spacing beyond it.
float terrain_height_near(const Terrain* terrain, float x, float z, float r);

struct FreeCamera {
    float position[3];
    float yaw, pitch;
    float yaw_rate, pitch_rate;
    float speed;
};

// One step of the free camera under the control channels (steering, shift,
// throttle and front brake), without bike tracking.
void free_camera_step(FreeCamera* camera, const float channels[9], float h, const Terrain* terrain);

struct OrbitCamera {
    float yaw;      // 0
    float distance; // 10
    float height;   // 5
};

// The orbit controls while watching another rider.
void orbit_camera_step(OrbitCamera* camera, const float channels[9], float h);
// The eye: target + normalise(direction) x distance, kept at least 5 ft
// above the ground near it and `height` above the target.
void orbit_camera_eye(const float target[3], const float direction[3], float distance, float height,
                      const Terrain* terrain, float eye[3]);

struct Bike;

// The point `chase_center` of the bike's main body, in the world.
void chase_target(const Bike* bike, const float chase_center[3], float target[3]);
// The chase view: the target is `chase_center` in the frame of the bike's
// main body; the camera looks along the bike's heading (rigid) or its
// direction of travel, from 10 ft behind and at least 5 ft above both the
// target and the ground near the eye.
void chase_camera(const Bike* bike, const float chase_center[3], bool rigid, const Terrain* terrain, float eye[3],
                  float target[3]);
