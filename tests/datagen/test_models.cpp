// The models, collision shapes and their textures in the data release, read
// back through the data layer the way the game reads ".km" and ".shp" files,
// and measured against the simulated bike they must match.
#include "assets/image.h"
#include "autopilot/roster.h"
#include "data/home.h"
#include "data/stream.h"
#include "support/fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// ---- readers of the two formats, strict: a file the game would only
// partly read counts as broken here.

struct V3 {
    double x = 0, y = 0, z = 0;
};
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
double dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double length(V3 a) { return std::sqrt(dot(a, a)); }

struct KmVertex {
    V3 position, normal;
    double u = 0, v = 0;
    std::vector<double> weights;
};
struct KmMesh {
    double shininess = 0, brightness = 0;
    std::vector<KmVertex> vertices;
    std::vector<int> indices;
};
struct KmModel {
    int version = 0;
    int bones = 0;
    std::vector<KmMesh> meshes;
    int triangles() const
    {
        int n = 0;
        for (const KmMesh& m : meshes)
            n += int(m.indices.size() / 3);
        return n;
    }
};

bool at_end(DataStream* s)
{
    char rest[2];
    return data_scan(s, " %1s", rest) != 1;
}

// The current form: "KM1" or "KM2 k word", then meshes until a header no
// longer reads. Returns an empty text on success, else what went wrong.
std::string read_km(const std::string& name, KmModel* model)
{
    DataStream* s = data_open(("@" + name).c_str(), "rb");
    if (!s)
        return "can't open";
    std::string error;
    if (data_scan(s, "KM%d", &model->version) != 1 || (model->version != 1 && model->version != 2))
        error = "bad header";
    char word[1024];
    if (error.empty() && model->version == 2 && data_scan(s, "%d %1023s", &model->bones, word) != 2)
        error = "bad bone line";
    while (error.empty()) {
        float sh, br, r, g, b;
        int nv, nt;
        int got = data_scan(s, "%f %f %f %f %f %d %d", &sh, &br, &r, &g, &b, &nv, &nt);
        if (got != 7) {
            if (model->meshes.empty() || !at_end(s))
                error = "mesh " + std::to_string(model->meshes.size()) + " has no header";
            break;
        }
        KmMesh mesh;
        mesh.shininess = sh;
        mesh.brightness = br;
        for (int i = 0; i < nv && error.empty(); i++) {
            float f[8];
            KmVertex v;
            for (float& x : f)
                if (data_scan(s, "%f", &x) != 1)
                    error = "short vertex";
            v.position = {f[0], f[1], f[2]};
            v.normal = {f[3], f[4], f[5]};
            v.u = f[6];
            v.v = f[7];
            for (int k = 0; k < model->bones; k++) {
                float w;
                if (data_scan(s, "%f", &w) != 1)
                    error = "short weights";
                v.weights.push_back(w);
            }
            mesh.vertices.push_back(v);
        }
        for (int i = 0; i < 3 * nt && error.empty(); i++) {
            int index;
            if (data_scan(s, "%d", &index) != 1)
                error = "short indices";
            mesh.indices.push_back(index);
        }
        model->meshes.push_back(mesh);
    }
    data_close(s);
    return error;
}

struct ShpSphere {
    V3 centre;
    double radius, friction, stiffness, damping;
};

std::string read_shp(const std::string& name, std::vector<ShpSphere>* spheres)
{
    DataStream* s = data_open(("@" + name).c_str(), "rb");
    if (!s)
        return "can't open";
    int n = 0;
    std::string error;
    if (data_scan(s, "%d", &n) != 1 || n < 1)
        error = "no count";
    for (int i = 0; i < n && error.empty(); i++) {
        float x, y, z, r, f, k, d;
        if (data_scan(s, "%f", &x) != 1 || data_scan(s, "%f", &y) != 1 || data_scan(s, "%f", &z) != 1 ||
            data_scan(s, "%f %f %f %f", &r, &f, &k, &d) != 4)
            error = "short record";
        else
            spheres->push_back({{x, y, z}, r, f, k, d});
    }
    if (error.empty() && !at_end(s))
        error = "more than the count";
    data_close(s);
    return error;
}

// ---- the release, installed once as the data folder of a test home.

class ReleaseModels : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        home = new TestHome;
        for (const auto& entry : std::filesystem::directory_iterator(DL_BIN_DIR))
            if (entry.path().extension() == ".saf")
                write_file(home->data(entry.path().filename().string()), read_file(entry.path().string()));
        data_reset();
    }
    static void TearDownTestSuite()
    {
        delete home;
        home = nullptr;
    }
    static TestHome* home;

    static KmModel model(const std::string& name)
    {
        KmModel m;
        std::string error = read_km(name, &m);
        EXPECT_EQ(error, "") << name;
        return m;
    }
    static std::vector<ShpSphere> shape(const std::string& name)
    {
        std::vector<ShpSphere> s;
        std::string error = read_shp(name, &s);
        EXPECT_EQ(error, "") << name;
        return s;
    }
};
TestHome* ReleaseModels::home = nullptr;
// The same release, for the collision shapes and for the textures.
class ReleaseShapes : public ReleaseModels {};
class ModelTextures : public ReleaseModels {};

// ---- names a bike asks for, built by the rules of the bike definitions.

const char* const families[] = {"dl250", "dk250f", "dz250", "dy250f", "dl125", "dk125", "dz125", "dy125", "125dx"};
const char* const bike_textures[] = {"dl250", "dk250f", "dz250", "dy250f", "dy250f_se",
                                     "dl125", "dk125",  "dz125", "dy125",  "125dx"};
const char* const family_parts[] = {"_frame", "_fork_upper", "_fork_lower", "_swingarm", "_side_plates", "_front_plate"};
const char* const shared_models[] = {"front_wheel", "rear_wheel", "rider_head", "rider_body", "rider_body_fp",
                                     "rider_plate"};
const char* const object_models[] = {"startgate", "objects/tuffblock", "objects/banner"};

std::vector<std::string> bike_model_names()
{
    std::vector<std::string> names;
    for (const char* p : families)
        for (const char* part : family_parts)
            names.push_back(std::string(p) + part);
    for (const char* n : shared_models)
        names.push_back(n);
    return names;
}

// The levels of detail the game finds beside base: names that start with
// base + "_lod" and a decimal number, a trailing ".gz" dropped; by number.
std::map<int, std::string> lod_chain(const std::string& base)
{
    std::map<int, std::string> chain;
    std::string prefix = base + "_lod";
    for (const char* const* name = data_file_list(); **name; name++) {
        std::string n = *name;
        if (n.compare(0, prefix.size(), prefix) != 0 || n.size() <= prefix.size() ||
            !isdigit((unsigned char)n[prefix.size()]))
            continue;
        if (n.size() > 3 && n.compare(n.size() - 3, 3, ".gz") == 0)
            n.resize(n.size() - 3);
        chain[atoi(n.c_str() + prefix.size())] = n;
    }
    return chain;
}

// The simulated bike at rest, from the bike definitions (ft).
const V3 frame_body{0, 1.98, 3.6}, steering_body{0, 2.9, 2.16}, fork_lower_body{0, 1.77, 1.59},
    swingarm_body{0, 1.34, 4.99}, torso_body{0, 4.5, 4.12};
struct TyreSpec {
    V3 axle;
    double ring, tube;
};
const TyreSpec front_tyre{{0, 1.09, 1.11}, 5.0 / 6, 1.0 / 3}, rear_tyre{{0, 1.04, 6}, 0.75, 1.0 / 3};
const V3 swingarm_pivot{0, 1.58, 4.17};
const V3 right_grip{1.097, 1.145, 0.753}, right_peg{0.6, -0.557, 0.584};

V3 operator*(V3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }

// Closest point of triangle abc to p, by the region p projects into.
V3 closest_on_triangle(V3 p, V3 a, V3 b, V3 c)
{
    V3 ab = b - a, ac = c - a, ap = p - a;
    double d1 = dot(ab, ap), d2 = dot(ac, ap);
    if (d1 <= 0 && d2 <= 0)
        return a;
    V3 bp = p - b;
    double d3 = dot(ab, bp), d4 = dot(ac, bp);
    if (d3 >= 0 && d4 <= d3)
        return b;
    double vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0)
        return a + ab * (d1 / (d1 - d3));
    V3 cp = p - c;
    double d5 = dot(ab, cp), d6 = dot(ac, cp);
    if (d6 >= 0 && d5 <= d6)
        return c;
    double vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0)
        return a + ac * (d2 / (d2 - d6));
    double va = d3 * d6 - d5 * d4;
    if (va <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0)
        return b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)));
    double denominator = 1 / (va + vb + vc);
    return a + ab * (vb * denominator) + ac * (vc * denominator);
}

// How far the model's surface passes from p.
double surface_distance(const KmModel& m, V3 p)
{
    double best = 1e30;
    for (const KmMesh& mesh : m.meshes)
        for (size_t t = 0; t + 2 < mesh.indices.size(); t += 3) {
            V3 q = closest_on_triangle(p, mesh.vertices[size_t(mesh.indices[t])].position,
                                       mesh.vertices[size_t(mesh.indices[t + 1])].position,
                                       mesh.vertices[size_t(mesh.indices[t + 2])].position);
            best = std::fmin(best, length(q - p));
        }
    return best;
}

// ---- what every model must be

// Faults of a model as a list of texts, empty when sound.
std::vector<std::string> model_faults(const KmModel& m)
{
    std::vector<std::string> faults;
    auto fault = [&](const std::string& text) {
        if (faults.size() < 5)
            faults.push_back(text);
    };
    if (m.meshes.empty())
        fault("no mesh");
    bool env_seen = false;
    for (size_t mi = 0; mi < m.meshes.size(); mi++) {
        const KmMesh& mesh = m.meshes[mi];
        std::string where = "mesh " + std::to_string(mi) + ": ";
        // The game stops drawing ordinary meshes at the first mirror one.
        if (mesh.shininess < 0)
            env_seen = true;
        else if (env_seen)
            fault(where + "ordinary mesh after an environment-mapped one");
        if (mesh.vertices.empty() || mesh.indices.empty())
            fault(where + "empty");
        for (const KmVertex& v : mesh.vertices) {
            if (std::fabs(length(v.normal) - 1) > 0.01)
                fault(where + "normal not unit");
            if (v.u < -1e-4 || v.u > 1 + 1e-4 || v.v < -1e-4 || v.v > 1 + 1e-4)
                fault(where + "texture coordinate outside the clamped texture");
        }
        for (size_t t = 0; t + 2 < mesh.indices.size(); t += 3) {
            int i[3] = {mesh.indices[t], mesh.indices[t + 1], mesh.indices[t + 2]};
            bool in_range = true;
            for (int k : i)
                in_range = in_range && k >= 0 && k < int(mesh.vertices.size());
            if (!in_range) {
                fault(where + "index out of range");
                continue;
            }
            const KmVertex &a = mesh.vertices[size_t(i[0])], &b = mesh.vertices[size_t(i[1])],
                           &c = mesh.vertices[size_t(i[2])];
            V3 n = cross(b.position - a.position, c.position - a.position);
            if (length(n) < 2e-7)
                fault(where + "degenerate triangle");
            // Back faces are culled: a triangle must turn its front the way
            // its normals point.
            else if (dot(n, a.normal + b.normal + c.normal) <= 0)
                fault(where + "triangle wound against its normals");
        }
    }
    return faults;
}

TEST_F(ReleaseModels, EveryModelABikeAsksForParsesWithItsLevelsOfDetail)
{
    std::vector<std::string> names = bike_model_names();
    for (const char* n : object_models)
        names.push_back(n);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        KmModel base = model(name + ".km");
        EXPECT_EQ(model_faults(base), std::vector<std::string>{});
        std::map<int, std::string> chain = lod_chain(name);
        ASSERT_GE(chain.size(), 2u) << "coarser levels";
        int previous = base.triangles();
        for (const auto& [n, file] : chain) {
            SCOPED_TRACE(file);
            KmModel level = model(file);
            EXPECT_EQ(model_faults(level), std::vector<std::string>{});
            EXPECT_EQ(level.version, base.version);
            EXPECT_LE(level.triangles(), previous) << "farther levels are not finer";
            previous = level.triangles();
        }
        if (base.triangles() > 100) {
            EXPECT_LT(previous * 2, base.triangles()) << "the coarsest level saves little";
        }
    }
}

TEST_F(ReleaseModels, RigidModelsAreVersionOneAndTheRiderIsSkinnedWithNineBones)
{
    for (const std::string& name : bike_model_names()) {
        KmModel m = model(name + ".km");
        bool skinned = name == "rider_body" || name == "rider_body_fp" || name == "rider_plate";
        EXPECT_EQ(m.version, skinned ? 2 : 1) << name;
        EXPECT_EQ(m.bones, skinned ? 9 : 0) << name;
    }
}

// ---- the drawn bike matches the simulated one

struct PartAtRest {
    const char* part;
    V3 body;
};
const PartAtRest bike_parts[] = {
    {"_frame", frame_body},   {"_fork_upper", steering_body}, {"_fork_lower", fork_lower_body},
    {"_swingarm", swingarm_body}, {"_side_plates", frame_body}, {"_front_plate", steering_body},
};

TEST_F(ReleaseModels, BikeModelsReachTheAxlesPivotGripsAndPegsOfTheSimulation)
{
    for (const char* p : families) {
        SCOPED_TRACE(p);
        std::string f = p;
        KmModel lower = model(f + "_fork_lower.km"), swingarm = model(f + "_swingarm.km");
        KmModel upper = model(f + "_fork_upper.km"), frame = model(f + "_frame.km");
        // The axles and the pivot run through their parts; the grips sit
        // inside the bar ends and the pegs inside the foot pegs.
        EXPECT_LT(surface_distance(lower, front_tyre.axle - fork_lower_body), 0.05) << "front axle";
        EXPECT_LT(surface_distance(swingarm, rear_tyre.axle - swingarm_body), 0.05) << "rear axle";
        EXPECT_LT(surface_distance(swingarm, swingarm_pivot - swingarm_body), 0.1) << "swingarm pivot";
        for (double side : {-1.0, 1.0}) {
            V3 grip{right_grip.x * side, right_grip.y, right_grip.z}, peg{right_peg.x * side, right_peg.y, right_peg.z};
            EXPECT_LT(surface_distance(upper, grip), 0.1) << "grip " << side;
            EXPECT_LT(surface_distance(frame, peg), 0.1) << "peg " << side;
        }
    }
}

TEST_F(ReleaseModels, WheelModelsHaveTheSimulatedTyreAsTheirTread)
{
    const struct {
        const char* name;
        TyreSpec tyre;
    } cases[] = {{"front_wheel", front_tyre}, {"rear_wheel", rear_tyre}};
    for (const auto& c : cases)
        for (const auto& [n, file] : lod_chain(c.name)) {
            SCOPED_TRACE(file);
            KmModel m = model(file);
            double outer = 0, widest = 0;
            for (const KmVertex& v : m.meshes[0].vertices) {
                outer = std::fmax(outer, std::hypot(v.position.y, v.position.z));
                widest = std::fmax(widest, std::fabs(v.position.x));
            }
            EXPECT_NEAR(outer, c.tyre.ring + c.tyre.tube, 0.005);
            EXPECT_LT(widest, 0.3) << "wider than its swingarm or fork allows";
        }
}

// Distance from p (bike coordinates) to the simulated tyre's torus surface.
double torus_distance(const TyreSpec& t, V3 p)
{
    V3 q = p - t.axle;
    double r = std::hypot(q.y, q.z);
    return std::hypot(r - t.ring, q.x) - t.tube;
}

TEST_F(ReleaseModels, BikePartsAtRestClearTheSimulatedTyres)
{
    // Only the outer half of each torus is the tyre as drawn; inwards of
    // the ring the simulated tube is fatter than the drawn sidewalls.
    for (const char* p : families)
        for (const PartAtRest& part : bike_parts) {
            std::string name = std::string(p) + part.part + ".km";
            KmModel m = model(name);
            int inside = 0;
            for (const KmMesh& mesh : m.meshes)
                for (const KmVertex& v : mesh.vertices)
                    for (const TyreSpec* t : {&front_tyre, &rear_tyre}) {
                        V3 q = v.position + part.body;
                        V3 d = q - t->axle;
                        if (std::hypot(d.y, d.z) > t->ring && torus_distance(*t, q) < 0)
                            inside++;
                    }
            EXPECT_EQ(inside, 0) << name;
        }
}

// ---- collision shapes

TEST_F(ReleaseShapes, WheelShapesAreBallsOnTheSimulatedTyreRing)
{
    const struct {
        const char* name;
        TyreSpec tyre;
    } cases[] = {{"front_wheel.shp", front_tyre}, {"rear_wheel.shp", rear_tyre}};
    for (const auto& c : cases) {
        std::vector<ShpSphere> s = shape(c.name);
        EXPECT_GE(s.size(), 8u) << c.name;
        for (const ShpSphere& b : s) {
            EXPECT_NEAR(b.centre.x, 0, 1e-4) << c.name;
            EXPECT_NEAR(std::hypot(b.centre.y, b.centre.z), c.tyre.ring, 1e-3) << c.name;
            EXPECT_NEAR(b.radius, c.tyre.tube, 1e-3) << c.name;
        }
    }
}

TEST_F(ReleaseShapes, PartShapesSitOnTheirModelsAndClearTheGroundAtRest)
{
    const struct {
        const char* shape;
        const char* model_part; // null: no rigid model in these coordinates
        V3 body;
    } cases[] = {
        {"generic_frame.shp", "_frame", frame_body},
        {"generic_fork_upper.shp", "_fork_upper", steering_body},
        {"generic_fork_lower.shp", "_fork_lower", fork_lower_body},
        {"generic_swingarm.shp", "_swingarm", swingarm_body},
        {"generic_rider.shp", nullptr, torso_body},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shape);
        std::vector<ShpSphere> spheres = shape(c.shape);
        ASSERT_FALSE(spheres.empty());
        for (const ShpSphere& s : spheres) {
            // The tyres carry the bike: a part that touched the ground at
            // rest would hold the bike up or throw the rider off.
            EXPECT_GT(s.centre.y + c.body.y - s.radius, 0.4);
            EXPECT_GT(s.radius, 0);
            EXPECT_GT(s.friction, 0);
            EXPECT_LE(s.friction, 2);
            EXPECT_GT(s.stiffness, 0);
            EXPECT_GT(s.damping, 0);
        }
        if (!c.model_part)
            continue;
        for (const char* p : families) {
            KmModel m = model(std::string(p) + c.model_part + ".km");
            V3 lo{1e30, 1e30, 1e30}, hi{-1e30, -1e30, -1e30};
            for (const KmVertex& v : m.meshes[0].vertices) {
                lo = {std::fmin(lo.x, v.position.x), std::fmin(lo.y, v.position.y), std::fmin(lo.z, v.position.z)};
                hi = {std::fmax(hi.x, v.position.x), std::fmax(hi.y, v.position.y), std::fmax(hi.z, v.position.z)};
            }
            for (const ShpSphere& s : spheres) {
                V3 c0 = s.centre;
                bool inside = c0.x > lo.x - s.radius && c0.x < hi.x + s.radius && c0.y > lo.y - s.radius &&
                              c0.y < hi.y + s.radius && c0.z > lo.z - s.radius && c0.z < hi.z + s.radius;
                EXPECT_TRUE(inside) << p << ": a ball off the model at " << c0.x << " " << c0.y << " " << c0.z;
            }
        }
    }
}

// ---- the rider

enum { bone_count = 9 };
// Where the standing body's vertices that follow each bone lie (model
// coordinates, arms out along x, legs down): the side and a range along the
// limb's own axis.
struct BoneRegion {
    int side; // -1 left (x < 0), +1 right, 0 either
    char axis;
    double from, to;
};
const BoneRegion bone_regions[bone_count] = {
    {-1, 'x', -2.8, -1.3}, {1, 'x', 1.3, 2.8},  {-1, 'x', -1.65, -0.3}, {1, 'x', 0.3, 1.65},
    {-1, 'y', -4.0, -1.95}, {1, 'y', -4.0, -1.95}, {-1, 'y', -2.45, -0.6}, {1, 'y', -2.45, -0.6},
    {0, 'y', -1.2, 1.3},
};
const double hand_reach = 1.456 + 1.15, foot_reach = -2.208 - 1.701, arm_height = 0.875;

int dominant_bone(const KmVertex& v)
{
    int best = 0;
    for (int b = 1; b < int(v.weights.size()); b++)
        if (v.weights[size_t(b)] > v.weights[size_t(best)])
            best = b;
    return best;
}

TEST_F(ReleaseModels, RiderBodiesCarryNormalisedWeightsForEveryBoneOfThePose)
{
    for (const char* name : {"rider_body", "rider_body_fp", "rider_plate"}) {
        std::vector<std::string> files = {std::string(name) + ".km"};
        for (const auto& [n, file] : lod_chain(name))
            files.push_back(file);
        for (const std::string& f : files) {
            KmModel m = model(f);
            for (const KmMesh& mesh : m.meshes)
                for (const KmVertex& v : mesh.vertices) {
                    ASSERT_EQ(v.weights.size(), size_t(bone_count)) << f;
                    double sum = 0;
                    for (double w : v.weights) {
                        EXPECT_GE(w, 0) << f;
                        sum += w;
                    }
                    EXPECT_NEAR(sum, 1, 1e-3) << f;
                }
        }
    }
}

TEST_F(ReleaseModels, RiderSkinFollowsTheLimbsOfThePose)
{
    for (const char* name : {"rider_body", "rider_body_fp"}) {
        SCOPED_TRACE(name);
        KmModel m = model(std::string(name) + ".km");
        int count[bone_count] = {};
        double reach[bone_count] = {};
        bool shared_elbow[2] = {}, shared_knee[2] = {};
        for (const KmVertex& v : m.meshes[0].vertices) {
            int b = dominant_bone(v);
            count[b]++;
            const BoneRegion& r = bone_regions[b];
            double along = r.axis == 'x' ? v.position.x : v.position.y;
            EXPECT_TRUE(along >= r.from && along <= r.to)
                << "bone " << b << " holds a vertex at " << v.position.x << " " << v.position.y;
            if (r.side) {
                EXPECT_GT(v.position.x * r.side, -0.02) << "bone " << b << " reaches across the body";
            }
            if (b <= 3) {
                EXPECT_NEAR(v.position.y, arm_height, 0.3) << "bone " << b;
            }
            reach[b] = std::fmax(reach[b], std::fabs(along));
            for (int side = 0; side < 2; side++) {
                if (v.weights[size_t(side)] > 0.2 && v.weights[size_t(2 + side)] > 0.2)
                    shared_elbow[side] = true;
                if (v.weights[size_t(4 + side)] > 0.2 && v.weights[size_t(6 + side)] > 0.2)
                    shared_knee[side] = true;
            }
        }
        for (int b = 0; b < bone_count; b++)
            EXPECT_GT(count[b], 0) << "bone " << b << " moves nothing";
        // The hands close round the grips and the boots stand on the pegs:
        // the limbs reach the ends of the pose's forearms and shins.
        for (int b : {0, 1})
            EXPECT_GE(reach[b], hand_reach) << "bone " << b;
        for (int b : {4, 5})
            EXPECT_GE(reach[b], -foot_reach) << "bone " << b;
        for (int side = 0; side < 2; side++) {
            EXPECT_TRUE(shared_elbow[side]) << "elbow " << side << " does not bend smoothly";
            EXPECT_TRUE(shared_knee[side]) << "knee " << side << " does not bend smoothly";
        }
    }
}

TEST_F(ReleaseModels, FirstPersonBodyLeavesTheChestOpenForTheEye)
{
    KmModel fp = model("rider_body_fp.km"), full = model("rider_body.km");
    auto above_chest = [](const KmModel& m) {
        int n = 0;
        for (const KmVertex& v : m.meshes[0].vertices)
            n += std::fabs(v.position.x) < 0.45 && v.position.y > 0.2;
        return n;
    };
    EXPECT_EQ(above_chest(fp), 0);
    EXPECT_GT(above_chest(full), 0);
}

// ---- track objects

TEST_F(ReleaseShapes, ObjectShapesParseAndStandOnTheGround)
{
    for (const char* name : {"startgate.shp", "objects/tuffblock.shp", "objects/banner.shp"}) {
        std::vector<ShpSphere> s = shape(name);
        ASSERT_FALSE(s.empty()) << name;
        for (const ShpSphere& b : s) {
            EXPECT_GT(b.radius, 0) << name;
            EXPECT_GE(b.centre.y, 0) << name;
            EXPECT_GT(b.stiffness, 0) << name;
        }
    }
}

TEST_F(ReleaseShapes, ClosedStartGateHoldsTheFrontWheelAndDroppedItCanBeRiddenOver)
{
    // The gate stands 3 ft ahead of its starting place, the rider on its +z
    // side; closed it is turned by 3/16 pi about x (world = R x local).
    std::vector<ShpSphere> s = shape("startgate.shp");
    double a = 3 * 3.14159265358979323846 / 16, c = std::cos(a), sn = std::sin(a);
    double highest_closed = -1, highest_dropped = -1, nearest_wheel = 1e30;
    const double wheel_front = 3 + front_tyre.axle.z - (front_tyre.ring + front_tyre.tube);
    for (const ShpSphere& b : s) {
        V3 closed{b.centre.x, c * b.centre.y + sn * b.centre.z, -sn * b.centre.y + c * b.centre.z};
        highest_closed = std::fmax(highest_closed, closed.y + b.radius);
        highest_dropped = std::fmax(highest_dropped, b.centre.y + b.radius);
        nearest_wheel = std::fmin(nearest_wheel, wheel_front - (closed.z + b.radius));
        EXPECT_GT(b.centre.z, 0) << "the plate lies on the rider's side of its hinge";
    }
    EXPECT_GT(highest_closed, front_tyre.axle.y);
    EXPECT_GT(nearest_wheel, 0) << "the closed gate reaches into the wheel at the start";
    EXPECT_LT(highest_dropped, 0.35);
}

// ---- textures

bool power_of_two(int v)
{
    return v > 0 && (v & (v - 1)) == 0;
}

// Distinct colours of level 0, to tell a picture from a flat fill.
size_t colours(const ImageChain& image)
{
    std::set<uint32_t> seen;
    for (int32_t i = 0; i < image.width * image.height; i++) {
        const unsigned char* p = image.pixels + size_t(i) * size_t(image.channels);
        seen.insert(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
    }
    return seen.size();
}

std::vector<std::string> texture_names()
{
    std::vector<std::string> names = {"@wheels.png", "@rider_body.png", "@rider_head.png", "@objects/tuffblock.png",
                                      "@objects/banner.png"};
    for (const char* t : bike_textures)
        names.push_back(std::string("@") + t + ".png");
    for (const RobotRider& r : robot_roster) {
        RobotTextures t = robot_textures(r);
        for (const char* n : {t.rider_body, t.rider_head, t.bike, t.wheels})
            if (*n)
                names.push_back(n);
    }
    return names;
}

TEST_F(ModelTextures, TexturesOfBikesRidersRobotsAndObjectsArePowerOfTwoPictures)
{
    std::set<std::string> done;
    for (const std::string& name : texture_names()) {
        if (!done.insert(name).second)
            continue;
        ImageChain image{};
        ASSERT_TRUE(read_png(name.c_str(), &image)) << name;
        EXPECT_TRUE(power_of_two(image.width) && power_of_two(image.height)) << name;
        EXPECT_GE(image.width, 128) << name;
        EXPECT_GT(colours(image), 16u) << name << " is a flat fill";
        free(image.pixels);
        // A name with two "-" would make the bike look for variant models.
        std::string base = name.substr(name.rfind('/') == std::string::npos ? 1 : name.rfind('/') + 1);
        EXPECT_LT(std::count(base.begin(), base.end(), '-'), 2) << name;
    }
}

TEST_F(ModelTextures, AlternativeGraphicsDifferFromTheirDefaults)
{
    const struct {
        const char* alternative;
        const char* original;
    } cases[] = {{"@dl250-alt1.png", "@dl250.png"},           {"@dk125-alt1.png", "@dk125.png"},
                 {"@wheels-alt2.png", "@wheels.png"},         {"@rider_body-alt3.png", "@rider_body.png"},
                 {"@rider_head-alt1.png", "@rider_head.png"}, {"@dy250f_se.png", "@dy250f.png"}};
    for (const auto& c : cases) {
        ImageChain a{}, b{};
        ASSERT_TRUE(read_png(c.alternative, &a) && read_png(c.original, &b)) << c.alternative;
        ASSERT_EQ(a.width * a.height * a.channels, b.width * b.height * b.channels);
        EXPECT_NE(memcmp(a.pixels, b.pixels, size_t(a.width * a.height * a.channels)), 0) << c.alternative;
        free(a.pixels);
        free(b.pixels);
    }
}

TEST_F(ModelTextures, WheelTextureCutsTheSpokesOutWithAlpha)
{
    ImageChain image{};
    ASSERT_TRUE(read_png("@wheels.png", &image));
    ASSERT_EQ(image.channels, 4);
    int clear = 0, solid = 0;
    for (int32_t i = 0; i < image.width * image.height; i++) {
        unsigned char alpha = image.pixels[size_t(i) * 4 + 3];
        clear += alpha == 0;
        solid += alpha == 255;
    }
    EXPECT_GT(clear, 1000);
    EXPECT_GT(solid, image.width * image.height / 2);
    free(image.pixels);
}

TEST_F(ModelTextures, StartGateTextureIsThePictureTheStartGateRulesName)
{
    DataStream* s = data_open("@startgate.ppm", "rb");
    ASSERT_NE(s, nullptr);
    char word[16];
    ASSERT_EQ(data_scan(s, "%15s", word), 1);
    ImageChain image{};
    ASSERT_TRUE(read_ppm(word, s, &image));
    data_close(s);
    EXPECT_TRUE(power_of_two(image.width) && power_of_two(image.height));
    EXPECT_GT(colours(image), 16u);
    free(image.pixels);
}

} // namespace
