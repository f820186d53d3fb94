#include "bike/rider_pose.h"

#include "bike/bike.h"
#include "bike/body_math.h"
#include "bike/rider.h"

#include <algorithm>
#include <cmath>

using namespace bike_math;

namespace {

Vec3 normalised(Vec3 v)
{
    float l = length(v);
    return l > 0 ? v * (1 / l) : v;
}

Vec3 point_in(const TorsoFrame& t, Vec3 p)
{
    return t.position + t.axis[0] * p.x + t.axis[1] * p.y + t.axis[2] * p.z;
}

Vec3 point_in(const TorsoFrame& t, const float p[3])
{
    return point_in(t, to_vec3(p));
}

void store(float out[3], Vec3 v)
{
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
}

void set_bone(Bone* bone, const float pivot[3], Vec3 x, Vec3 y, Vec3 z, Vec3 translation)
{
    for (int i = 0; i < 3; i++)
        bone->pivot[i] = pivot[i];
    store(bone->rotation, x);
    store(bone->rotation + 3, y);
    store(bone->rotation + 6, z);
    store(bone->translation, translation);
}

} // namespace

Vec3 two_bone_joint(Vec3 a, float l1, Vec3 b, float l2, Vec3 pole)
{
    Vec3 u = b - a;
    float d = length(u);
    Vec3 along = d > 0 ? u * (1 / d) : Vec3{0, -1, 0};
    d = std::min(d, 0.95f * (l1 + l2));
    if (d <= 0)
        return a + along * l1;
    // An end closer than the segments can fold leaves the limb folded flat
    // along the line to it.
    float x = clampf((d * d + l1 * l1 - l2 * l2) / (2 * d), -l1, l1);
    float h = std::sqrt(std::max(l1 * l1 - x * x, 0.0f));
    Vec3 w = pole - a;
    w = w - along * dot(w, along);
    return a + along * x + normalised(w) * h;
}

TorsoFrame drawn_torso(const Bike* bike)
{
    const BikeModel& m = bike->model;
    dBodyID torso = bike->bodies[body_torso];
    TorsoFrame t{body_position(torso), {body_axis(torso, 0), body_axis(torso, 1), body_axis(torso, 2)}, 0};
    Vec3 shoulders = point_in(t, Vec3{0, m.left_shoulder[1], m.left_shoulder[2]});
    Vec3 bars = world_point(bike->bodies[body_steering], Vec3{0, m.left_grip[1], m.left_grip[2]});
    float k = clampf(1.25f - length(shoulders - bars), 0, 1);
    t.lean = k;
    if (k > 0) {
        Vec3 hip_before = point_in(t, m.left_hip);
        Vec3 x = t.axis[0];
        Vec3 y = normalised(t.axis[1] + t.axis[2] * (0.375f * k));
        Vec3 z = cross(x, y);
        t.axis[1] = cross(z, x);
        t.axis[2] = z;
        // The torso turns about its own x axis through the hips.
        t.position = t.position + (hip_before - point_in(t, m.left_hip));
    }
    return t;
}

void rider_pose(const Bike* bike, const Terrain* terrain, RiderPose* pose)
{
    const BikeModel& m = bike->model;
    const float(*pivot)[3] = m.pose_points;
    TorsoFrame t = drawn_torso(bike);
    dBodyID steering = bike->bodies[body_steering];

    // Arms: shoulders to the grips, elbows back and down.
    Vec3 sl = point_in(t, m.left_shoulder), sr = point_in(t, m.right_shoulder);
    Vec3 gl = world_point(steering, to_vec3(m.left_grip)), gr = world_point(steering, to_vec3(m.right_grip));
    Vec3 ds = sr - sl, dg = gr - gl;
    Vec3 spine = t.axis[1] * (m.left_shoulder[1] - m.left_hip[1]) + t.axis[2] * (m.left_shoulder[2] - m.left_hip[2]);
    Vec3 pole_l = point_in(t, Vec3{m.left_shoulder[0] - 0.5f, m.left_shoulder[1] - (1.5f * std::max(ds.y, 0.0f) + 1),
                                   m.left_shoulder[2] + 2}) -
                  dg;
    Vec3 pole_r = point_in(t, Vec3{m.right_shoulder[0] + 0.5f,
                                   m.right_shoulder[1] - (0.125f * bike->throttle + 1.5f * std::max(-ds.y, 0.0f) + 0.9f),
                                   m.right_shoulder[2] + 2}) +
                  dg;
    Vec3 el = two_bone_joint(sl, m.upper_arm_length, gl, m.forearm_length, pole_l);
    Vec3 er = two_bone_joint(sr, m.upper_arm_length, gr, m.forearm_length, pole_r);

    Vec3 a = normalised(sl - el), c = normalised(cross(a, spine));
    set_bone(&pose->bones[bone_left_upper_arm], pivot[2], a, cross(c, a), c, sl);
    a = normalised(er - sr);
    c = normalised(cross(a, spine));
    set_bone(&pose->bones[bone_right_upper_arm], pivot[3], a, cross(c, a), c, sr);
    a = normalised(el - gl);
    Vec3 b = normalised(cross(-dg, a));
    set_bone(&pose->bones[bone_left_forearm], pivot[0], a, b, cross(a, b), el);
    a = normalised(gr - er);
    b = normalised(cross(dg, a));
    set_bone(&pose->bones[bone_right_forearm], pivot[1], a, b, cross(a, b), er);

    // Legs: hips to the feet, knees forwards and out.
    Vec3 hl = point_in(t, m.left_hip), hr = point_in(t, m.right_hip), dh = hr - hl;
    Vec3 fl, fr;
    float wl, wr;
    foot_positions(bike, terrain, &fl, &fr, &wl, &wr);
    Vec3 knee_pole_l = point_in(t, Vec3{m.left_hip[0] - 0.5f, m.left_hip[1], m.left_hip[2] - 2});
    Vec3 knee_pole_r = point_in(t, Vec3{m.right_hip[0] + 0.5f, m.right_hip[1], m.right_hip[2] - 2});
    Vec3 kl = two_bone_joint(hl, m.thigh_length, fl, m.shin_length, knee_pole_l);
    Vec3 kr = two_bone_joint(hr, m.thigh_length, fr, m.shin_length, knee_pole_r);

    struct Leg {
        Vec3 hip, knee, foot;
        float weight;
        int thigh, shin;
    } legs[2] = {{hl, kl, fl, wl, bone_left_thigh, bone_left_shin}, {hr, kr, fr, wr, bone_right_thigh, bone_right_shin}};
    for (const Leg& leg : legs) {
        a = normalised(leg.hip - leg.knee);
        c = normalised(cross(dh, a));
        set_bone(&pose->bones[leg.thigh], pivot[leg.thigh], cross(a, c), a, c, leg.hip);
        a = normalised(leg.knee - leg.foot);
        // A foot put down turns its shin with the plane of the leg.
        Vec3 reference = dh;
        Vec3 n = cross(leg.hip - leg.knee, leg.foot - leg.knee);
        if (length_squared(n) >= 0.001f)
            reference = dh + (n - dh) * leg.weight;
        c = normalised(cross(reference, a));
        set_bone(&pose->bones[leg.shin], pivot[leg.shin], cross(a, c), a, c, leg.knee);
    }

    Vec3 hips = point_in(t, Vec3{0, m.left_hip[1], m.left_hip[2]});
    Vec3 neck = point_in(t, Vec3{0, m.left_shoulder[1], m.left_shoulder[2]});
    Vec3 d = normalised(neck - hips);
    set_bone(&pose->bones[bone_torso], pivot[8], t.axis[0], d, cross(t.axis[0], d), hips);

    head_pose(bike, pose->head_position, pose->head_rotation);
}

Vec3 head_look_direction(Vec3 z, Vec3 v)
{
    if (dot(v, z) >= 0)
        v = v - z * dot(v, z);
    float s = std::min(1.0f, length(z - v) / 32);
    float dx = z.x - s * v.x, dz = z.z - s * v.z;
    float h = std::sqrt(dx * dx + dz * dz);
    float e = std::max(0.0f, (60 - h) * h * 0.0058333334f) + h / 4;
    return normalised(Vec3{dx, e, dz});
}

void head_pose(const Bike* bike, float position[3], float rotation[9])
{
    TorsoFrame t = drawn_torso(bike);
    store(position, point_in(t, bike->model.head_point));
    Vec3 y = t.axis[1], z = t.axis[2];
    Vec3 b = head_look_direction(z, body_velocity(bike->bodies[body_torso]));
    // Unit vectors 33.69 degrees forwards and backwards of the torso's up axis.
    Vec3 m1 = (y * 1.5f - z) * 0.5547002f, m2 = (y * 1.5f + z) * 0.5547002f;
    Vec3 w = {0, 1, 0};
    if (length(w - m1) > 0.5f)
        w = m1 + normalised(w - m1) * 0.5f;
    // The turn is limited to a circle around m2 measured with the part
    // along m1 tripled, so the head's reach is narrower fore and aft.
    Vec3 q = b + m1 * (2 * dot(b, m1));
    if (length(q - m2) > 0.75f)
        q = m2 + normalised(q - m2) * 0.75f;
    Vec3 r = q - m1 * ((2.0f / 3) * dot(q, m1));
    Vec3 side = cross(w, r);
    store(rotation, normalised(side));
    store(rotation + 3, normalised(cross(r, side)));
    store(rotation + 6, normalised(r));
}
