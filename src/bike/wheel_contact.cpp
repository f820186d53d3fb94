#include "bike/wheel_contact.h"

#include "bike/physics.h"
#include "track/material.h"
#include "track/terrain.h"

#include <cfloat>
#include <cmath>

namespace {

constexpr float pierce_margin = 1.0f / (1 << 20); // 2^-20
constexpr float newton_flat = 1.0f / (1 << 30);   // 2^-30
constexpr int newton_steps = 4;
constexpr float min_sideways_slip2 = 1.0f / 1024;
// A wheel whose bounding square spans more cells than this stands on a
// field whose spacing no track has; it is left without contact rather than
// walking an unbounded number of triangles.
constexpr int max_cells_per_side = 256;
// Cell indices are kept where floats still count whole cells.
constexpr float max_cell_index = float(1 << 24);

// Soft contacts, their stiffness set by the squash each step. Approx1 is
// the friction pyramid on both friction directions; the library's third
// Approx1 bit only matters for rolling friction, which the tyres do not use.
constexpr int contact_mode = dContactSoftERP | dContactSoftCFM | dContactApprox1_1 | dContactApprox1_2;

Vec3 without_axial(Vec3 v, Vec3 axle, float axle2)
{
    return axle2 > 0 ? v - axle * (dot(v, axle) / axle2) : v;
}

Vec3 normalised(Vec3 v, Vec3 fallback)
{
    float l2 = length_squared(v);
    if (!(l2 > 0) || !std::isfinite(l2))
        return fallback;
    return v * (1 / std::sqrt(l2));
}

// A unit vector square to the axle, for a wheel whose plane gives no
// preferred direction.
Vec3 any_square_to(Vec3 axle)
{
    Vec3 v = ring_point({0, 0, 0}, axle, 1, {0, 0, 0});
    return normalised(v, {0, -1, 0});
}

bool inside_edges(Vec3 x, const Vec3 tri[3], const Vec3 outward[3])
{
    for (int k = 0; k < 3; k++)
        if (dot(x - tri[k], outward[k]) > 0)
            return false;
    return true;
}

// The quartic whose roots are the edge points at which the distance to the
// ring is stationary, and its derivative.
struct EdgeQuartic {
    float A, B, G, F, H, w, R2;
    float u(float t) const { return (A * t - B) - w * G * (G * t - F); }
    float q(float t) const
    {
        float v = A * t - B, uu = u(t);
        float s = A * t * t - 2 * B * t + H - w * (G * t - F) * (G * t - F);
        return R2 * uu * uu - v * v * s;
    }
    float dq(float t) const
    {
        float v = A * t - B, uu = u(t);
        float s = A * t * t - 2 * B * t + H - w * (G * t - F) * (G * t - F);
        float du = A - w * G * G;
        return 2 * R2 * uu * du - 2 * A * v * s - 2 * v * v * uu;
    }
};

float newton(const EdgeQuartic& quartic, float t)
{
    float q = quartic.q(t);
    for (int steps = 0; steps < newton_steps; steps++) {
        float slope = quartic.dq(t);
        if (std::fabs(slope) < newton_flat)
            break;
        float next = t - q / slope;
        float q_next = quartic.q(next);
        if (!(std::fabs(q_next) <= std::fabs(q)))
            break;
        t = next;
        q = q_next;
    }
    return t >= 0 ? (t <= 1 ? t : 1) : 0; // NaN lands on 0
}

float height_sample(const Terrain* t, int i, int j)
{
    int last = t->samples - 1;
    i = i < 0 ? 0 : i > last ? last : i;
    j = j < 0 ? 0 : j > last ? last : j;
    return t->heights[j * t->samples + i];
}

Vec3 ground_vertex(const Terrain* t, int i, int j)
{
    return {float(i) * t->spacing, height_sample(t, i, j), float(j) * t->spacing};
}

const TileMaterial* ground_material(const Terrain* t, float x, float z)
{
    static const TileMaterial plain_ground = default_tile_material();
    if (t->material_count <= 0)
        return &plain_ground;
    int index = terrain_tile(t, x, z);
    index = index < 0 ? 0 : index >= t->material_count ? t->material_count - 1 : index;
    return &t->materials[index];
}

void wheel_pose(const WheelContact* wheel, Vec3* centre, Vec3* axle)
{
    const dReal* p = dBodyGetPosition(wheel->body);
    dVector3 end;
    dBodyGetRelPointPos(wheel->body, wheel->axle.x, wheel->axle.y, wheel->axle.z, end);
    *centre = {float(p[0]), float(p[1]), float(p[2])};
    *axle = {float(end[0] - p[0]), float(end[1] - p[1]), float(end[2] - p[2])};
}

// The box around the torus: the ring's box grown by the tube, with a hair
// more so that rounding never drops a triangle the tyre just touches.
struct Box {
    Vec3 low, high;
};

Box torus_box(Vec3 c, Vec3 a, float R, float r)
{
    float a2 = length_squared(a);
    float inv = a2 > 0 ? 1 / a2 : 0;
    auto extent = [&](float ai) { return R * std::sqrt(std::fmax(0.0f, 1 - ai * ai * inv)) + r + 1e-4f; };
    Vec3 e = {extent(a.x), extent(a.y), extent(a.z)};
    return {c - e, c + e};
}

// A triangle beside the torus's box or below it cannot reach into the tyre:
// every case of the depth test then gives 0 or less, so it is skipped. One
// above the box is kept: a wheel sunk right under it is pushed back up.
bool apart(const Box& box, const Vec3 tri[3])
{
    auto span = [&](float Vec3::*axis, float* lo, float* hi) {
        *lo = std::fmin(tri[0].*axis, std::fmin(tri[1].*axis, tri[2].*axis));
        *hi = std::fmax(tri[0].*axis, std::fmax(tri[1].*axis, tri[2].*axis));
    };
    float lo, hi;
    span(&Vec3::x, &lo, &hi);
    if (hi < box.low.x || lo > box.high.x)
        return true;
    span(&Vec3::z, &lo, &hi);
    if (hi < box.low.z || lo > box.high.z)
        return true;
    span(&Vec3::y, &lo, &hi);
    return hi < box.low.y;
}

bool cell_range(float centre, float extent, float inv_spacing, int* first, int* last)
{
    float low = std::floor((centre - extent) * inv_spacing);
    float high = std::ceil((centre + extent) * inv_spacing) - 1;
    if (!(low >= -max_cell_index && high <= max_cell_index && high - low < max_cells_per_side))
        return false;
    *first = int(low);
    *last = int(high);
    return true;
}

} // namespace

Vec3 ring_point(Vec3 centre, Vec3 axle, float ring_radius, Vec3 x)
{
    float axle2 = length_squared(axle);
    Vec3 v = without_axial(x - centre, axle, axle2);
    float limit = ring_radius * 1e-6f;
    if (length_squared(v) < limit) {
        // On the axle line every point of the ring is as near: take the
        // first fixed direction that is not along the axle.
        const float R = ring_radius;
        const Vec3 tries[] = {{R, 0, 0}, {0, R, 0}, {R, R, 0}, {0, 0, R}, {R, 0, R}, {0, R, R}, {R, R, R}};
        for (Vec3 t : tries) {
            Vec3 u = without_axial(t, axle, axle2);
            if (length_squared(u) >= limit) {
                v = u;
                break;
            }
        }
    }
    float l2 = length_squared(v);
    if (!(l2 > 0))
        return centre; // a ring of no radius
    return centre + v * (ring_radius / std::sqrt(l2));
}

Vec3 line_plane_point(Vec3 origin, Vec3 direction, Vec3 plane_point, Vec3 plane_normal)
{
    float along = dot(direction, plane_normal);
    if (along == 0)
        return origin;
    Vec3 p = origin + direction * (dot(plane_point - origin, plane_normal) / along);
    return is_finite(p) ? p : origin;
}

namespace {

// Distance from p to the segment from start along edge.
float segment_distance(Vec3 p, Vec3 start, Vec3 edge)
{
    float e2 = length_squared(edge);
    float t = e2 > 0 ? dot(p - start, edge) / e2 : 0;
    t = t < 0 ? 0 : t > 1 ? 1 : t;
    return length(p - (start + edge * t));
}

// No point of a segment is nearer the ring (or the wheel's disc) than its
// offset along the axle, and the segment crosses the wheel's plane only
// where its ends lie on both sides of it: the least offset of the ends
// when they lie on one side, otherwise 0.
float axial_gap(float h0, float h1)
{
    if ((h0 > 0) != (h1 > 0) || h0 == 0 || h1 == 0)
        return 0;
    return std::fmin(std::fabs(h0), std::fabs(h1));
}

// The offsets of a triangle's corners along the unit axle.
void axial_offsets(Vec3 c, Vec3 a, float axle2, const Vec3 tri[3], float h[3])
{
    float inv = axle2 > 0 ? 1 / std::sqrt(axle2) : 0;
    for (int k = 0; k < 3; k++)
        h[k] = dot(tri[k] - c, a) * inv;
}

} // namespace

float ring_boundary_distance(Vec3 c, Vec3 a, float R, float r, const Vec3 tri[3], Vec3 n_tri, Vec3* point,
                             Vec3* normal, float needed)
{
    float axle2 = length_squared(a);
    float w = axle2 > 0 ? 1 / axle2 : 0;
    float distance[6];
    Vec3 edge_point[3];
    Vec3 edge[3];
    float h[3] = {};
    if (needed > -FLT_MAX)
        axial_offsets(c, a, axle2, tri, h);
    for (int k = 0; k < 3; k++) {
        Vec3 start = tri[k];
        Vec3 e = tri[(k + 1) % 3] - start;
        edge[k] = e;
        Vec3 rel = c - start;
        if (needed > -FLT_MAX &&
            r - std::fmax(segment_distance(c, start, e) - R, axial_gap(h[k], h[(k + 1) % 3])) < needed - 1e-4f) {
            // No point of this edge comes near enough to matter to the
            // caller: every point of the ring is at least R closer to the
            // centre than the edge is, and no nearer than the edge's
            // offset along the axle.
            edge_point[k] = start;
            distance[k] = FLT_MAX;
            continue;
        }
        EdgeQuartic quartic = {dot(e, e), dot(e, rel), dot(e, a), dot(rel, a), dot(rel, rel), w, R * R};
        float t_first = 0, t_second = 0;
        if (quartic.A > 0) { // a corner repeated gives no edge to search
            float t0 = quartic.B / quartic.A;
            Vec3 g = cross(cross(e, a), a);
            float g2 = length_squared(g);
            float spread = g2 >= R * 1e-6f ? std::fabs(dot(g * (R / std::sqrt(g2)), e)) / quartic.A : R / 1000;
            t_first = newton(quartic, t0 - spread);
            t_second = newton(quartic, t0 + spread);
        }
        Vec3 p_first = start + e * t_first;
        Vec3 p_second = start + e * t_second;
        float d_first = length(p_first - ring_point(c, a, R, p_first));
        float d_second = length(p_second - ring_point(c, a, R, p_second));
        if (d_second < d_first) {
            edge_point[k] = p_second;
            distance[k] = d_second;
        } else {
            edge_point[k] = p_first;
            distance[k] = d_first;
        }
    }
    for (int k = 0; k < 3; k++) {
        Vec3 rel = tri[k] - c;
        Vec3 v = without_axial(rel, a, axle2);
        float v2 = length_squared(v);
        if (v2 > R * R)
            v = v * (R / std::sqrt(v2));
        distance[3 + k] = length(rel - v); // to the wheel's disc
    }
    int best = 0;
    for (int k = 1; k < 6; k++)
        if (distance[k] < distance[best])
            best = k;

    float L = distance[best];
    if (best >= 3) {
        Vec3 corner = tri[best - 3];
        *point = corner;
        *normal = dot(corner - c, a) > 0 ? -a : a;
    } else if (L > pierce_margin) {
        *point = edge_point[best];
        *normal = ring_point(c, a, R, edge_point[best]) - edge_point[best];
    } else {
        // The edge runs through the ring: push square to the edge, away
        // from the side the ring's centre lies on.
        Vec3 q = ring_point(c, a, R, edge_point[best]);
        Vec3 u = cross(q - c, a);
        if (dot(u, n_tri) < 0)
            u = -u;
        Vec3 n = cross(edge[best], u);
        if (length_squared(n) < pierce_margin)
            n = n_tri;
        n = normalised(n, {0, 1, 0});
        *point = q - n * r;
        *normal = n;
    }
    return L;
}

float torus_triangle_depth(Vec3 c, Vec3 a, float R, float r, const Vec3 tri[3], Vec3* point, Vec3* normal,
                           float needed)
{
    Vec3 N = cross(tri[1] - tri[0], tri[2] - tri[0]);
    float n_length = length(N);
    if (!(n_length > 0) || !std::isfinite(n_length)) {
        // A triangle of no area has no plane to touch; its edges belong to
        // the triangles beside it.
        *point = c;
        *normal = {0, 1, 0};
        return -FLT_MAX;
    }
    Vec3 n_unit = N * (1 / n_length);
    float a2 = length_squared(a);
    if (needed > -FLT_MAX) {
        // With the centre above the plane the wheel is not sunk through
        // it, and then no depth this triangle gives exceeds the tube radius
        // less the centre's height over the plane less R. A triangle wholly
        // on one side of the wheel's plane cannot be pierced either, and
        // then its least offset along the axle bounds the depth too. Most
        // triangles beside a wheel that already touches something stop here.
        float above = dot(n_unit, c - tri[0]);
        if (above > 0) {
            float h[3];
            axial_offsets(c, a, a2, tri, h);
            float gap = std::fmin(axial_gap(h[0], h[1]), axial_gap(h[1], h[2]));
            float clearance = gap > 0 ? std::fmax(above - R, gap) : above - R;
            if (r - clearance < needed - 1e-4f)
                return -FLT_MAX;
        }
    }
    Vec3 edge[3], outward[3];
    for (int k = 0; k < 3; k++) {
        edge[k] = tri[(k + 1) % 3] - tri[k];
        outward[k] = cross(edge[k], N);
    }

    // Downward in the wheel's plane. A wheel lying flat over the plane has
    // no lowest point; any direction in its plane serves.
    Vec3 d = cross(cross(N, a), a);
    if (dot(N, d) > 0)
        d = -d;
    float d2 = length_squared(d);
    Vec3 down = d2 > 1e-12f * n_length * n_length * a2 * a2 ? d * (1 / std::sqrt(d2)) : any_square_to(a);
    Vec3 low = c + down * R;
    Vec3 high = c - down * R;

    if (dot(N, low - tri[0]) > 0) {
        if (inside_edges(low, tri, outward)) {
            Vec3 foot = low - n_unit * dot(n_unit, low - tri[0]);
            *normal = n_unit;
            *point = ring_point(c, a, R, foot) - n_unit * r;
            return r - length(low - foot);
        }
    } else if (dot(N, high - tri[0]) > 0) {
        Vec3 below = line_plane_point(c, down, tri[0], N);
        if (inside_edges(below, tri, outward)) {
            *normal = n_unit;
            *point = low - n_unit * r;
            return r - dot(n_unit, low - tri[0]);
        }
        bool behind[3];
        for (int k = 0; k < 3; k++)
            behind[k] = dot(tri[k] - c, a) <= 0;
        for (int k = 0; k < 3; k++) {
            if (!(dot(below - tri[k], outward[k]) > 0) || behind[k] == behind[(k + 1) % 3])
                continue;
            Vec3 x = line_plane_point(tri[k], edge[k], c, a);
            if (!(length_squared(x - c) < R * R))
                continue;
            // The edge pierces the wheel inside its rim.
            Vec3 u = cross(x - c, a);
            if (dot(u, N) < 0)
                u = -u;
            Vec3 n = normalised(cross(edge[k], u), n_unit);
            *normal = n;
            *point = ring_point(c, a, R, x) - n * r;
            return r - pierce_margin;
        }
    } else {
        bool over = true;
        for (int k = 0; k < 3; k++)
            if (dot(c - tri[k], cross(edge[k], {0, 1, 0})) > 0)
                over = false;
        if (over) {
            // Sunk right through: the stiffest push, straight up.
            *normal = {0, 1, 0};
            *point = low;
            return 2 * R;
        }
    }
    if (needed > -FLT_MAX) {
        // No point of the ring is nearer to the triangle's boundary than the
        // wheel centre's distance to it less R, nor than the boundary's
        // least offset along the axle. When even that cannot beat
        // what the caller has, the edge search would be wasted; the margin
        // covers rounding, so the caller's choice never changes.
        float h[3];
        axial_offsets(c, a, a2, tri, h);
        float nearest = FLT_MAX, gap = FLT_MAX;
        for (int k = 0; k < 3; k++) {
            nearest = std::fmin(nearest, segment_distance(c, tri[k], edge[k]));
            gap = std::fmin(gap, axial_gap(h[k], h[(k + 1) % 3]));
        }
        if (r - std::fmax(nearest - R, gap) < needed - 1e-4f)
            return -FLT_MAX;
    }
    return r - ring_boundary_distance(c, a, R, r, tri, N, point, normal, needed);
}

int find_wheel_contact(const Terrain* terrain, const WheelContact* wheel, Vec3* point, Vec3* normal, float* depth)
{
    if (!terrain->heights || terrain->samples <= 0 || !(terrain->spacing > 0))
        return 0;
    Vec3 c, a;
    wheel_pose(wheel, &c, &a);
    if (!is_finite(c) || !is_finite(a))
        return 0;
    float R = wheel->ring_radius, r = wheel->tube_radius;
    float extent = R + r;
    int i0, i1, j0, j1;
    if (!cell_range(c.x, extent, terrain->inv_spacing, &i0, &i1) ||
        !cell_range(c.z, extent, terrain->inv_spacing, &j0, &j1))
        return 0;

    Box box = torus_box(c, a, R, r);
    float best = 0;
    int best_order = -1;
    Vec3 best_point = {}, best_normal = {};
    const int columns = i1 - i0 + 1;
    // The deepest triangle wins; between equal depths the first in row
    // order, so the answer never depends on the order of the search.
    auto consider_cell = [&](int i, int j) {
        int w = ((i + j) & 1) == 0 ? 1 : 0;
        const Vec3 triangles[2][3] = {
            {ground_vertex(terrain, i, j), ground_vertex(terrain, i, j + 1), ground_vertex(terrain, i + 1, j + w)},
            {ground_vertex(terrain, i + 1, j + 1), ground_vertex(terrain, i + 1, j),
             ground_vertex(terrain, i, j + 1 - w)},
        };
        for (int t = 0; t < 2; t++) {
            const Vec3* tri = triangles[t];
            if (apart(box, tri))
                continue;
            Vec3 p, n;
            float d = torus_triangle_depth(c, a, R, r, tri, &p, &n, best);
            int order = ((j - j0) * columns + (i - i0)) * 2 + t;
            if (d > best || (d == best && d > 0 && order < best_order)) {
                best = d;
                best_order = order;
                best_point = p;
                best_normal = n;
            }
        }
    };
    // The cell under the ring's lowest point goes first: what it finds is
    // usually the deepest, and lets the search skip most of the others.
    Vec3 down = cross(cross(Vec3{0, 1, 0}, a), a);
    if (down.y > 0)
        down = -down;
    Vec3 low = c + normalised(down, {0, -1, 0}) * R;
    int first_i = int(std::floor(low.x * terrain->inv_spacing));
    int first_j = int(std::floor(low.z * terrain->inv_spacing));
    bool first_inside = first_i >= i0 && first_i <= i1 && first_j >= j0 && first_j <= j1;
    if (first_inside)
        consider_cell(first_i, first_j);
    for (int j = j0; j <= j1; j++)
        for (int i = i0; i <= i1; i++)
            if (!first_inside || i != first_i || j != first_j)
                consider_cell(i, j);
    if (!(best > 0) || !is_finite(best_point) || !std::isfinite(best))
        return 0;
    *point = best_point;
    *normal = normalised(best_normal, {0, 1, 0});
    *depth = best;
    return 1;
}

float arcade_grip_factor(float lean_angle)
{
    float k = 4 * std::fabs(lean_angle) / 3.14159265f;
    k = k < 1 ? k : 1;
    return 1 - 0.375f * k;
}

ContactSoftness tyre_softness(float depth, float tube_radius)
{
    float k = tube_radius > 0 ? depth / tube_radius : 1;
    k = k > 0 ? (k < 1 ? k : 1) : 0;
    float q = k * k * k;
    ContactSoftness soft;
    soft.spring = 24000 * q + 1000;
    soft.damper = 2300 * q + 200;
    float dt = float(step_length);
    float sum = soft.damper + soft.spring * dt;
    soft.cfm = 1 / sum;
    soft.erp = soft.spring * dt / sum;
    return soft;
}

bool friction_direction(Vec3 normal, Vec3 slip_velocity, Vec3 world_axle, Vec3* direction)
{
    Vec3 f = cross(normal, slip_velocity);
    if (length_squared(f) < min_sideways_slip2)
        f = cross(normal, world_axle);
    float f2 = length_squared(f);
    if (!(f2 > 0) || !std::isfinite(f2))
        return false;
    *direction = f * (1 / std::sqrt(f2));
    return is_finite(*direction);
}

int wheel_ground_contact(const Terrain* terrain, WheelContact* wheel, float grip_factor)
{
    Vec3 p, n;
    float depth;
    if (!find_wheel_contact(terrain, wheel, &p, &n, &depth)) {
        wheel->depth = 0;
        return 0;
    }
    dBodyID body = wheel->body;
    dVector3 point_velocity;
    dBodyGetPointVel(body, p.x, p.y, p.z, point_velocity);
    Vec3 slip = {float(point_velocity[0]), float(point_velocity[1]), float(point_velocity[2])};
    wheel->slip_velocity = slip;
    wheel->contact_point = p;
    wheel->contact_normal = n;
    wheel->depth = depth;

    const TileMaterial* material = ground_material(terrain, p.x, p.z);
    float mu = material_friction(material, length(slip)) * grip_factor;
    if (!(mu >= 0) || !std::isfinite(mu))
        mu = 0;
    float squash = wheel->tube_radius > 0 ? depth / wheel->tube_radius : 1;
    squash = squash < 1 ? squash : 1;
    ContactSoftness soft = tyre_softness(depth, wheel->tube_radius);

    dVector3 axle;
    dBodyVectorToWorld(body, wheel->axle.x, wheel->axle.y, wheel->axle.z, axle);
    Vec3 world_axle = {float(axle[0]), float(axle[1]), float(axle[2])};
    Vec3 fdir = {};
    bool has_fdir = friction_direction(n, slip, world_axle, &fdir);

    dContact contact = {};
    contact.surface.mode = contact_mode | (has_fdir ? dContactFDir1 : 0);
    contact.surface.mu = mu;
    contact.surface.soft_erp = soft.erp;
    contact.surface.soft_cfm = soft.cfm;
    contact.geom.pos[0] = p.x;
    contact.geom.pos[1] = p.y;
    contact.geom.pos[2] = p.z;
    contact.geom.normal[0] = n.x;
    contact.geom.normal[1] = n.y;
    contact.geom.normal[2] = n.z;
    contact.geom.depth = depth;
    contact.fdir1[0] = fdir.x;
    contact.fdir1[1] = fdir.y;
    contact.fdir1[2] = fdir.z;
    dJointID joint = dJointCreateContact(physics.world, physics.contact_group, &contact);
    dJointAttach(joint, body, nullptr);
    dJointSetFeedback(joint, &wheel->contact_feedback);

    // Rolling resistance: in proportion to the speed below 1 ft/s, the full
    // force against the motion above it.
    const dReal* v = dBodyGetLinearVel(body);
    Vec3 velocity = {float(v[0]), float(v[1]), float(v[2])};
    Vec3 along = velocity - n * dot(n, velocity);
    float speed = length(along);
    float force = material_roll_resist(material, speed, squash);
    if (speed > 1)
        along = along * (1 / speed);
    Vec3 push = along * -force;
    if (is_finite(push))
        dBodyAddForce(body, push.x, push.y, push.z);
    return 1;
}
