#include "core/cameras.h"

#include "bike/bike.h"

#include "core/controls.h"
#include "track/terrain.h"

#include <algorithm>
#include <cmath>

namespace {

const float pi = 3.14159265358979f;

int clamp_index(int i, int n)
{
    return i < 0 ? 0 : i >= n ? n - 1 : i;
}

float wrap_angle(float a)
{
    if (a > pi)
        return -pi;
    if (a < -pi)
        return pi;
    return a;
}

float approach(float value, float target, float most)
{
    if (value < target - most)
        return value + most;
    if (value > target + most)
        return value - most;
    return target;
}

} // namespace

float terrain_height_near(const Terrain* t, float x, float z, float r)
{
    if (!t || !t->heights)
        return 0;
    float s = t->spacing;
    int n = t->samples;
    int i0 = int(std::floor((x - r) / s)), i1 = int(std::ceil((x + r) / s));
    int k0 = int(std::floor((z - r) / s)), k1 = int(std::ceil((z + r) / s));
    double sum = 0, weights = 0;
    for (int k = k0; k <= k1; k++)
        for (int i = i0; i <= i1; i++) {
            float dx = i * s - x, dz = k * s - z;
            float e = std::sqrt(dx * dx + dz * dz);
            float w = e < r ? 1 : e < r + s ? (r + s - e) / s : 0;
            if (w <= 0)
                continue;
            sum += w * t->heights[clamp_index(k, n) * n + clamp_index(i, n)];
            weights += w;
        }
    if (weights <= 0)
        return t->heights[clamp_index(k0, n) * n + clamp_index(i0, n)];
    return float(sum / weights);
}

void free_camera_step(FreeCamera* c, const float channels[9], float h, const Terrain* terrain)
{
    float yaw_target = channels[channel_steering] * 3 * pi / 8;
    float pitch_target = channels[channel_shift] * pi / 4;
    c->yaw_rate = approach(c->yaw_rate, yaw_target, h * pi);
    c->pitch_rate = approach(c->pitch_rate, pitch_target, h * pi);
    c->yaw = wrap_angle(c->yaw + h * c->yaw_rate);
    c->pitch += h * c->pitch_rate;
    c->pitch = c->pitch < -1.4137167f ? -1.4137167f : c->pitch > 1.4137167f ? 1.4137167f : c->pitch;
    if (channels[channel_throttle] > 0.5f)
        c->speed = std::fmin(c->speed + 80 * h, 100);
    if (channels[channel_front_brake] > 0.5f)
        c->speed = std::fmax(c->speed - 80 * h, -100);
    c->speed = approach(c->speed, 0, 60 * h);
    if (std::fabs(c->speed) > 0.0001f) {
        float d[3] = {std::sin(c->yaw) * std::cos(c->pitch), std::sin(c->pitch), std::cos(c->yaw) * std::cos(c->pitch)};
        for (int i = 0; i < 3; i++)
            c->position[i] += c->speed * h * d[i];
        float floor = terrain_height_near(terrain, c->position[0], c->position[2], 10) + 2;
        if (c->position[1] < floor)
            c->position[1] = floor;
    }
}

void orbit_camera_step(OrbitCamera* c, const float channels[9], float h)
{
    c->yaw = wrap_angle(c->yaw + channels[channel_steering] * pi / 512);
    if (channels[channel_throttle] > 0.5f)
        c->distance = std::fmax(c->distance - 1.0f / 64, 0.25f);
    if (channels[channel_front_brake] > 0.5f)
        c->distance += 1.0f / 64;
    c->height += h * channels[channel_shift];
}

void orbit_camera_eye(const float target[3], const float direction[3], float distance, float height,
                      const Terrain* terrain, float eye[3])
{
    float len = std::sqrt(direction[0] * direction[0] + direction[1] * direction[1] + direction[2] * direction[2]);
    for (int i = 0; i < 3; i++)
        eye[i] = target[i] + (len > 0 ? direction[i] / len : 0) * distance;
    float lowest = std::fmax(terrain_height_near(terrain, eye[0], eye[2], 10) + 5, target[1] + height);
    if (eye[1] < lowest)
        eye[1] = lowest;
}

void chase_target(const Bike* bike, const float chase_center[3], float target[3])
{
    dVector3 t;
    dBodyGetRelPointPos(bike->bodies[body_frame], chase_center[0], chase_center[1], chase_center[2], t);
    for (int k = 0; k < 3; k++)
        target[k] = float(t[k]);
}

void chase_camera(const Bike* bike, const float chase_center[3], bool rigid, const Terrain* terrain, float eye[3],
                  float target[3])
{
    dBodyID body = bike->bodies[body_frame];
    chase_target(bike, chase_center, target);
    const dReal* r = dBodyGetRotation(body); // rows of 4
    float forward[2] = {-float(r[2]), -float(r[10])}; // minus the body's z axis, horizontally
    float d[2] = {forward[0], forward[1]};
    if (!rigid) {
        const dReal* v = dBodyGetLinearVel(body);
        float vx = float(v[0]), vz = float(v[2]);
        float speed2 = vx * vx + vz * vz;
        float speed = std::sqrt(speed2);
        if (speed2 >= 900) {
            d[0] = vx;
            d[1] = vz;
        } else if (speed > 0) {
            float k = std::clamp((speed - 10) * 0.05f, 0.0f, 1.0f);
            float fl = std::sqrt(forward[0] * forward[0] + forward[1] * forward[1]);
            float f[2] = {fl > 0 ? forward[0] / fl : 0, fl > 0 ? forward[1] / fl : 0};
            d[0] = f[0] + k * (vx / speed - f[0]);
            d[1] = f[1] + k * (vz / speed - f[1]);
        }
    }
    float dl = std::sqrt(d[0] * d[0] + d[1] * d[1]);
    if (!(dl > 0)) {
        d[0] = 0;
        d[1] = -1;
        dl = 1;
    }
    eye[0] = target[0] - 10 * d[0] / dl;
    eye[2] = target[2] - 10 * d[1] / dl;
    eye[1] = std::fmax(target[1] + 5, terrain_height_near(terrain, eye[0], eye[2], 10) + 5);
}
