// The generated tracks read back with the game's own readers: every file of
// every track folder loads, the timing gates lie on the track in lap order,
// the jumps can be landed, the shading follows the sun of the lighting and
// the objects stand beside the track.
#include "../../tools/datagen/track_course.h"
#include "assets/image.h"
#include "base/message_log.h"
#include "core/catalogue.h"
#include "data/home.h"
#include "data/stream.h"
#include "support/fixture.h"
#include "track/terrain.h"
#include "track/track_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr float gravity = 32;

std::string data_bytes(const std::string& name)
{
    DataStream* stream = data_open(("@" + name).c_str(), "rb");
    if (!stream)
        return "";
    std::string bytes;
    char buffer[65536];
    int n;
    while ((n = data_read(stream, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, size_t(n));
    data_close(stream);
    return bytes;
}

bool data_exists(const std::string& name)
{
    DataStream* stream = data_open(("@" + name).c_str(), "rb");
    if (stream)
        data_close(stream);
    return stream != nullptr;
}

bool power_of_two(int v)
{
    return v > 0 && (v & (v - 1)) == 0;
}

// Text with the brackets of the track formats taken out, as whitespace
// separated words.
std::vector<std::string> words(const std::string& text)
{
    std::string plain = text;
    for (char& c : plain)
        if (c == '[' || c == ']')
            c = ' ';
    std::istringstream in(plain);
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

std::vector<std::vector<std::string>> lines_of_words(const std::string& text)
{
    std::vector<std::vector<std::string>> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!words(line).empty())
            out.push_back(words(line));
    return out;
}

float number(const std::string& w)
{
    return std::strtof(w.c_str(), nullptr);
}

struct Place {
    float x, y, z, angle;
};
struct Gate {
    float radius, x, y, z, dx, dy, dz;
};
struct Timing {
    std::vector<Place> places;
    std::vector<Gate> gates;
    std::vector<int> first_lap, normal_lap;
};

// The timing file as its format says: sections by keyword, entries of a
// fixed number of values.
Timing parse_timing(const std::string& text)
{
    Timing t;
    std::vector<std::string> w = words(text);
    size_t i = 0;
    auto keyword = [&](const char* k) {
        if (i < w.size() && w[i] == k) {
            i++;
            return true;
        }
        return false;
    };
    auto is_number = [&](size_t k) { return k < w.size() && w[k].back() != ':'; };
    auto numbers = [&](size_t count) {
        for (size_t k = i; k < i + count; k++)
            if (!is_number(k))
                return false;
        return true;
    };
    if (keyword("startinggate:"))
        while (numbers(4)) {
            t.places.push_back({number(w[i]), number(w[i + 1]), number(w[i + 2]), number(w[i + 3])});
            i += 4;
        }
    if (keyword("checkpoints:"))
        while (numbers(7)) {
            t.gates.push_back({number(w[i]), number(w[i + 1]), number(w[i + 2]), number(w[i + 3]), number(w[i + 4]),
                               number(w[i + 5]), number(w[i + 6])});
            i += 7;
        }
    if (keyword("firstlap:"))
        while (is_number(i))
            t.first_lap.push_back(std::atoi(w[i++].c_str()));
    if (keyword("normallap:"))
        while (is_number(i))
            t.normal_lap.push_back(std::atoi(w[i++].c_str()));
    return t;
}

// Where a point lies along a piece of the centre line: the nearest sample.
struct Along {
    float s = 0;
    float distance = 1e9f;
};

Along along(const CoursePiece& piece, float x, float z)
{
    Along best;
    for (const CourseSample& c : piece.samples) {
        float d = std::hypot(x - c.x, z - c.z);
        if (d < best.distance)
            best = {c.s, d};
    }
    return best;
}

// Beyond the riding edge of the nearest piece; negative on the track.
float edge_distance(const CourseLine& line, float x, float z)
{
    float best = 1e9f;
    for (const CoursePiece* piece : {&line.loop, &line.spur})
        for (const CourseSample& c : piece->samples)
            best = std::min(best, std::hypot(x - c.x, z - c.z) - c.width / 2);
    return best;
}

float loop_ahead(const CoursePiece& loop, float from, float to)
{
    float d = to - from;
    return d < 0 ? d + loop.length : d;
}

// A track of the release, loaded once for the whole suite.
struct LoadedTrack {
    const Course* course;
    CourseLine line;
    std::unique_ptr<Terrain> terrain;
    std::vector<std::string> textures; // per material, from the tileinfo
    std::set<std::string> riding;      // base names of the grounds ridden on
    Timing timing;
    std::string folder() const { return course->folder; }
    std::string file(const std::string& name) const { return data_bytes(folder() + "/" + name); }

    // The base grounds of the material under a point: "hardpack" or, for a
    // transition, both of its grounds.
    std::vector<std::string> grounds_at(float x, float z) const
    {
        std::string name = textures[size_t(terrain_tile(terrain.get(), x, z))];
        name = name.substr(name.rfind('/') + 1);
        name = name.substr(0, name.find('.'));
        std::vector<std::string> parts;
        std::istringstream in(name);
        for (std::string part; std::getline(in, part, '-');)
            parts.push_back(part);
        if (parts.size() == 3) // a-b-mask
            return {parts[0], parts[1]};
        return {parts[0]};
    }
    bool on_riding_ground(float x, float z) const
    {
        for (const std::string& g : grounds_at(x, z))
            if (riding.count(g))
                return true;
        return false;
    }
    float height(float x, float z) const { return terrain_height(terrain.get(), x, z); }
    // Height along the loop's centre line at any distance.
    float profile(float s) const
    {
        const CoursePiece& loop = line.loop;
        float f = s / loop.step;
        float w = f - std::floor(f);
        const CourseSample& a = course_sample_at(loop, std::floor(f) * loop.step);
        const CourseSample& b = course_sample_at(loop, (std::floor(f) + 1) * loop.step);
        return height(a.x + (b.x - a.x) * w, a.z + (b.z - a.z) * w);
    }
    const Gate& gate(int k) const { return timing.gates[size_t(k)]; }
};

class GeneratedTracks : public ::testing::Test {
protected:
    static TestHome* home;
    static std::vector<LoadedTrack>* tracks;
    static std::vector<std::string>* load_messages;

    static void SetUpTestSuite()
    {
        home = new TestHome;
        for (const auto& entry : std::filesystem::directory_iterator(DL_BIN_DIR))
            if (entry.path().extension() == ".saf")
                std::filesystem::copy_file(entry.path(), home->data(entry.path().filename().string()));
        data_reset();
        tracks = new std::vector<LoadedTrack>;
        load_messages = new std::vector<std::string>;
        for (const Course* course : all_courses) {
            LoadedTrack t;
            t.course = course;
            t.line = sample_course(*course);
            t.terrain = new_terrain();
            clear_message_log();
            int loaded = load_terrain(t.terrain.get(), ("@" + std::string(course->folder)).c_str());
            for (const std::string& m : posted_messages())
                load_messages->push_back(std::string(course->folder) + ": " + m);
            if (!loaded)
                load_messages->push_back(std::string(course->folder) + ": not loaded");
            for (const auto& line : lines_of_words(t.file("tileinfo")))
                if (line[0] == "texture")
                    t.textures.push_back(line[1]);
            if (course->surface == surface_sand)
                t.riding = {"packed"};
            else
                t.riding = {"hardpack", "loose"};
            t.timing = parse_timing(t.file("timing_gates"));
            tracks->push_back(std::move(t));
        }
    }
    // Every check reads the loaded terrain.
    void SetUp() override
    {
        for (const LoadedTrack& t : *tracks)
            ASSERT_NE(t.terrain->heights, nullptr) << t.folder() << " did not load";
    }

    static void TearDownTestSuite()
    {
        for (LoadedTrack& t : *tracks)
            free_terrain(t.terrain.get());
        delete tracks;
        delete load_messages;
        delete home;
    }
};

TestHome* GeneratedTracks::home = nullptr;
std::vector<LoadedTrack>* GeneratedTracks::tracks = nullptr;
std::vector<std::string>* GeneratedTracks::load_messages = nullptr;

TEST_F(GeneratedTracks, CatalogueListsBothTracksWithRabbitHillAsTheDefault)
{
    TrackCatalogue catalogue;
    list_tracks(data_file_list(), &catalogue);
    std::map<std::string, std::string> names;
    for (size_t i = 0; i < catalogue.folders.size(); i++)
        names[catalogue.folders[i]] = catalogue.names[i];
    EXPECT_EQ(names["rabbithill"], "Rabbit Hill");
    EXPECT_EQ(names["dunebowl"], "Dune Bowl");
    // The start-up choice finds Rabbit Hill, which does not sort first.
    int chosen = select_track(catalogue, "rabbithill");
    ASSERT_LT(size_t(chosen), catalogue.names.size());
    EXPECT_STREQ(catalogue.names[size_t(chosen)], "Rabbit Hill");
    EXPECT_NE(chosen, 0);
}

TEST_F(GeneratedTracks, TerrainLoadsWithEveryFileOfItsFolder)
{
    EXPECT_TRUE(load_messages->empty()) << ::testing::PrintToString(*load_messages);
    for (const LoadedTrack& t : *tracks) {
        SCOPED_TRACE(t.folder());
        const Terrain* terrain = t.terrain.get();
        ASSERT_NE(terrain->heights, nullptr);
        EXPECT_EQ(terrain->size_log2, t.course->size_log2);
        EXPECT_FLOAT_EQ(terrain->spacing, t.course->spacing);
        EXPECT_EQ(terrain->samples, (2 << t.course->size_log2) + 1);
        // The shadow map and the shading were read (a missing shadow file
        // leaves the map all lit, and that is no sunny track).
        int shaded = 0;
        for (int k = 0; k < terrain->samples * terrain->samples; k++)
            shaded += terrain->shadow[k] > 128;
        EXPECT_GT(shaded, 0);
        // Every tile names a material of the table, before any clamping.
        std::string tilemap = t.file("tilemap");
        ASSERT_EQ(tilemap.size(), size_t(terrain->tiles) * terrain->tiles);
        int highest = 0;
        for (unsigned char c : tilemap)
            highest = std::max(highest, int(c));
        EXPECT_LT(highest, terrain->material_count);
        EXPECT_EQ(size_t(terrain->material_count), t.textures.size());
        std::string desc = t.file("desc");
        EXPECT_EQ(desc.substr(0, desc.find('\n')), t.course->name);
    }
}

TEST_F(GeneratedTracks, GroundTexturesDecodeAndTransitionsPairTheirGrounds)
{
    for (const LoadedTrack& t : *tracks) {
        SCOPED_TRACE(t.folder());
        std::map<std::string, int> index; // base name without extension -> material
        for (size_t k = 0; k < t.textures.size(); k++) {
            std::string name = t.textures[k].substr(t.textures[k].rfind('/') + 1);
            index[name.substr(0, name.find('.'))] = int(k);
        }
        for (size_t k = 0; k < t.textures.size(); k++) {
            const std::string& texture = t.textures[k];
            SCOPED_TRACE(texture);
            ImageChain image;
            ASSERT_TRUE(read_png(texture.c_str(), &image));
            EXPECT_TRUE(power_of_two(image.width) && power_of_two(image.height));
            free(image.pixels);
            std::string base = texture.substr(texture.rfind('/') + 1);
            base = base.substr(0, base.find('.'));
            int32_t code = t.terrain->materials[k].transition;
            size_t dash = base.find('-');
            if (dash == std::string::npos) {
                EXPECT_EQ(code, int32_t(k << 16 | k << 8));
            } else if (base.compare(dash, 4, "-alt") == 0) {
                int a = index.at(base.substr(0, dash));
                EXPECT_EQ(code, a << 16 | a << 8);
            } else {
                size_t second = base.find('-', dash + 1);
                int a = index.at(base.substr(0, dash));
                int b = index.at(base.substr(dash + 1, second - dash - 1));
                int mask = std::stoi(base.substr(second + 1), nullptr, 2);
                EXPECT_EQ(code, a << 16 | b << 8 | mask);
                EXPECT_TRUE(mask > 0 && mask < 15);
            }
        }
        // Every material throws roost with a picture of the release; the
        // default one that a roost line asks for first is there too.
        EXPECT_TRUE(data_exists("roost.png"));
        std::string tileinfo = t.file("tileinfo");
        size_t at = tileinfo.find("texture=@");
        ASSERT_NE(at, std::string::npos);
        std::string roost = words(tileinfo.substr(at + 8))[0];
        ImageChain image;
        ASSERT_TRUE(read_rgba_image(roost.c_str(), &image));
        free(image.pixels);
    }
}

TEST_F(GeneratedTracks, StartPlacesStandBehindTheFirstGate)
{
    for (const LoadedTrack& t : *tracks) {
        SCOPED_TRACE(t.folder());
        const Timing& timing = t.timing;
        ASSERT_EQ(timing.places.size(), 40u);
        ASSERT_FALSE(timing.first_lap.empty());
        const Gate& first = t.gate(timing.first_lap[0]);
        for (size_t k = 0; k < timing.places.size(); k++) {
            const Place& p = timing.places[k];
            SCOPED_TRACE(k);
            EXPECT_EQ(p.y, 0); // above the ground, where the start gate stands
            EXPECT_TRUE(t.on_riding_ground(p.x, p.z));
            // Behind the gate's plane, heading towards it and not out of
            // its circle by much more than the start straight is long.
            float ox = first.x - p.x, oz = first.z - p.z;
            EXPECT_GT(ox * first.dx + oz * first.dz, 0);
            EXPECT_GT(ox * std::sin(p.angle) + oz * std::cos(p.angle), 0);
            EXPECT_NEAR(p.angle, timing.places[0].angle, 1e-4f);
            // Room for a bike beside each: the places stand in a row.
            for (size_t m = 0; m < k; m++)
                EXPECT_GE(std::hypot(p.x - timing.places[m].x, p.z - timing.places[m].z), 3.0f);
            // The start gate that drops in front of the rider stands 3 ft
            // behind the place, still on the start pad.
            float bx = p.x - 3 * std::sin(p.angle), bz = p.z - 3 * std::cos(p.angle);
            EXPECT_LT(edge_distance(t.line, bx, bz), 0);
        }
    }
}

TEST_F(GeneratedTracks, TimingGatesLieAcrossTheTrackInLapOrder)
{
    for (const LoadedTrack& t : *tracks) {
        SCOPED_TRACE(t.folder());
        const Timing& timing = t.timing;
        const CoursePiece& loop = t.line.loop;
        int count = int(timing.gates.size());
        ASSERT_GE(count, 6);
        for (int k = 0; k < count; k++) {
            const Gate& g = t.gate(k);
            SCOPED_TRACE("gate " + std::to_string(k));
            EXPECT_NEAR(g.y, t.height(g.x, g.z), 0.05f);
            EXPECT_NEAR(std::hypot(g.dx, g.dz), 1, 1e-3f);
            EXPECT_TRUE(t.on_riding_ground(g.x, g.z));
            // The circle spans the riding surface from edge to edge and
            // not much more.
            float reach[2];
            for (int side = 0; side < 2; side++) {
                float nx = side ? g.dz : -g.dz, nz = side ? -g.dx : g.dx;
                float r = 0;
                while (r < 200 && t.on_riding_ground(g.x + nx * r, g.z + nz * r))
                    r += 0.5f;
                reach[side] = r;
            }
            EXPECT_GE(g.radius, std::max(reach[0], reach[1]));
            EXPECT_LE(g.radius, std::min(reach[0], reach[1]) + 10);
            // No other part of the track passes through the circle, so no
            // rider is timed through a gate he is not riding at.
            Along own_loop = along(loop, g.x, g.z), own_spur = along(t.line.spur, g.x, g.z);
            bool on_spur = own_spur.distance < own_loop.distance;
            for (const CoursePiece* piece : {&loop, &t.line.spur})
                for (const CourseSample& c : piece->samples) {
                    if (std::hypot(c.x - g.x, c.z - g.z) > g.radius)
                        continue;
                    bool same = (piece == &t.line.spur) == on_spur;
                    float apart = piece == &loop
                                      ? std::min(loop_ahead(loop, own_loop.s, c.s), loop_ahead(loop, c.s, own_loop.s))
                                      : std::fabs(c.s - own_spur.s);
                    EXPECT_TRUE(same && apart <= g.radius + 2) << "centre line at " << c.x << " " << c.z;
                }
        }
        // The first lap leaves the start straight through gate 0; the laps
        // run through every other gate once, in order along the loop, and
        // end at the same finish line.
        ASSERT_FALSE(timing.normal_lap.empty());
        EXPECT_EQ(timing.first_lap.front(), 0);
        EXPECT_LT(along(t.line.spur, t.gate(0).x, t.gate(0).z).distance, 1);
        EXPECT_EQ(timing.first_lap.back(), timing.normal_lap.back());
        std::set<int> visited(timing.normal_lap.begin(), timing.normal_lap.end());
        EXPECT_EQ(visited.size(), size_t(count - 1));
        EXPECT_EQ(visited.count(0), 0u);
        float total = 0;
        for (size_t k = 0; k < timing.normal_lap.size(); k++) {
            const Gate& a = t.gate(timing.normal_lap[k]);
            const Gate& b = t.gate(timing.normal_lap[(k + 1) % timing.normal_lap.size()]);
            Along pa = along(loop, a.x, a.z), pb = along(loop, b.x, b.z);
            EXPECT_LT(pa.distance, 1);
            float ahead = loop_ahead(loop, pa.s, pb.s);
            EXPECT_GT(ahead, 20);
            total += ahead;
        }
        EXPECT_NEAR(total, loop.length, 1); // once round, never backwards
        for (size_t k = 1; k + 1 < timing.first_lap.size(); k++) {
            Along pa = along(loop, t.gate(timing.first_lap[k]).x, t.gate(timing.first_lap[k]).z);
            Along pb = along(loop, t.gate(timing.first_lap[k + 1]).x, t.gate(timing.first_lap[k + 1]).z);
            EXPECT_LT(loop_ahead(loop, pa.s, pb.s), loop.length / 2);
        }
    }
}

TEST_F(GeneratedTracks, CuttingACornerMissesAGate)
{
    // Every short cut across the infield that saves half the way or more
    // leaves out a gate whose circle the straight line does not touch.
    for (const LoadedTrack& t : *tracks) {
        SCOPED_TRACE(t.folder());
        const CoursePiece& loop = t.line.loop;
        std::vector<float> gate_s;
        for (int g : t.timing.normal_lap)
            gate_s.push_back(along(loop, t.gate(g).x, t.gate(g).z).s);
        auto misses = [&](const CourseSample& a, const CourseSample& b, int g) {
            const Gate& gate = t.gate(t.timing.normal_lap[size_t(g)]);
            float dx = b.x - a.x, dz = b.z - a.z;
            float u = std::clamp(((gate.x - a.x) * dx + (gate.z - a.z) * dz) / (dx * dx + dz * dz), 0.0f, 1.0f);
            return std::hypot(a.x + dx * u - gate.x, a.z + dz * u - gate.z) > gate.radius;
        };
        int step = int(10 / loop.step);
        int n = int(loop.samples.size());
        for (int i = 0; i < n; i += step)
            for (int j = 0; j < n; j += step) {
                const CourseSample& a = loop.samples[size_t(i)];
                const CourseSample& b = loop.samples[size_t(j)];
                float way = loop_ahead(loop, a.s, b.s);
                if (way < 100 || way > 900 || std::hypot(b.x - a.x, b.z - a.z) > way / 2)
                    continue;
                bool caught = false;
                for (size_t g = 0; g < gate_s.size() && !caught; g++)
                    caught = loop_ahead(loop, a.s, gate_s[g]) < way && misses(a, b, int(g));
                EXPECT_TRUE(caught) << "cut from " << a.x << " " << a.z << " to " << b.x << " " << b.z;
            }
    }
}

TEST_F(GeneratedTracks, EveryJumpLandsOnItsDownSlopeAtItsApproachSpeed)
{
    for (const LoadedTrack& t : *tracks) {
        SCOPED_TRACE(t.folder());
        const CoursePiece& loop = t.line.loop;
        std::vector<std::pair<float, float>> spans; // of the jumps in the table
        for (const CourseJump& jump : t.course->jumps) {
            float foot = course_feature_start(t.line, jump.point, jump.offset);
            SCOPED_TRACE("jump at " + std::to_string(foot));
            // The lip: where the first face rising from the foot stops
            // rising steeply.
            auto rise = [&](float u) { return t.profile(u + 0.5f) - t.profile(u - 0.5f); };
            float s = foot - 5;
            while (rise(s) < 0.2f && s < foot + 10)
                s += 0.25f;
            ASSERT_LT(s, foot + 10) << "no takeoff face";
            float steepest = 0;
            while (rise(s) > 0.3f * steepest) {
                steepest = std::max(steepest, rise(s));
                s += 0.25f;
            }
            float lip = s;
            float launch = t.profile(lip);
            float slope = (t.profile(lip - 1) - t.profile(lip - 3)) / 2;
            EXPECT_NEAR(std::atan(slope) * 180 / 3.14159265f, jump.angle, 4);
            EXPECT_NEAR(launch - t.profile(foot), jump.lip, 0.3f);
            // The bike leaves the lip at its approach speed along the face
            // and flies until it meets the ground again.
            float angle = std::atan(slope);
            float vx = jump.speed * std::cos(angle), vy = jump.speed * std::sin(angle);
            float x = 0.25f, landing = -1;
            for (; x < 200; x += 0.25f) {
                float flight = launch + vy * (x / vx) - gravity / 2 * (x / vx) * (x / vx);
                if (flight <= t.profile(lip + x)) {
                    landing = lip + x;
                    break;
                }
            }
            ASSERT_GT(landing, lip + 10) << "the bike never takes off";
            float ground = (t.profile(landing + 1) - t.profile(landing - 1)) / 2;
            EXPECT_LT(ground, -0.04f) << "lands at " << landing - foot << " ft on a slope of " << ground;
            // ... and not on the last foot of it: the slope goes on below.
            EXPECT_LT((t.profile(landing + 2) - t.profile(landing)) / 2, -0.02f);
            spans.push_back({foot - 5, landing + 40});
        }
        // No takeoff on the loop that the table does not know of: nowhere
        // else does the track rise 2.5 ft within 10 ft.
        for (float s = 0; s < loop.length; s += 1) {
            if (t.profile(s + 10) - t.profile(s) < 2.5f)
                continue;
            bool known = false;
            for (auto [from, to] : spans)
                known = known || (s >= from && s <= to);
            EXPECT_TRUE(known) << "a rise at " << s << " ft along the loop";
        }
    }
}

// Lighting file values by keyword.
std::map<std::string, std::vector<std::string>> lighting_of(const LoadedTrack& t)
{
    std::map<std::string, std::vector<std::string>> keys;
    for (auto& line : lines_of_words(t.file("lighting")))
        if (line[0].compare(0, 6, "flare_") != 0)
            keys[line[0]] = std::vector<std::string>(line.begin() + 1, line.end());
    return keys;
}

TEST_F(GeneratedTracks, ShadingAndShadowsFollowTheSunOfTheLighting)
{
    for (const LoadedTrack& t : *tracks) {
        SCOPED_TRACE(t.folder());
        auto light = lighting_of(t);
        ASSERT_EQ(light["sun_vector"].size(), 3u);
        float sun[3] = {number(light["sun_vector"][0]), number(light["sun_vector"][1]), number(light["sun_vector"][2])};
        float length = std::sqrt(sun[0] * sun[0] + sun[1] * sun[1] + sun[2] * sun[2]);
        for (float& v : sun)
            v /= length;
        const Terrain* terrain = t.terrain.get();
        const int n = terrain->samples;
        // Trees throw shadows too: the checks keep clear of them.
        std::vector<std::pair<float, float>> trees;
        for (auto& line : lines_of_words(t.file("billboards")))
            trees.push_back({number(line[0]), number(line[2])});
        auto near_tree = [&](float x, float z) {
            for (auto [tx, tz] : trees)
                if (std::hypot(tx - x, tz - z) < 60)
                    return true;
            return false;
        };
        float across = std::hypot(sun[0], sun[2]);
        int blocked = 0, open = 0;
        double facing = 0, away = 0;
        int facing_count = 0, away_count = 0;
        for (int j = 8; j < n - 8; j += 16)
            for (int i = 8; i < n - 8; i += 16) {
                float x = i * terrain->spacing, z = j * terrain->spacing;
                float h = t.height(x, z);
                size_t at = size_t(j) * n + i;
                // A ray towards the sun over the loaded heights. The sun is
                // a disc, not a point: how far the ray passes above or below
                // the ground counts against the distance (a shadow's edge is
                // sharp near what throws it and soft far away).
                float clearance = 1e9f, angular = 1e9f;
                for (float d = 1; d < 400; d += 0.5f) {
                    float px = x + sun[0] / across * d, pz = z + sun[2] / across * d;
                    if (px < 0 || pz < 0 || px > terrain->world_size || pz > terrain->world_size)
                        break;
                    float over = h + sun[1] / across * d - t.height(px, pz);
                    clearance = std::min(clearance, over);
                    angular = std::min(angular, over / d);
                }
                if (angular < -0.05f && clearance < -0.5f) {
                    blocked++;
                    EXPECT_GT(terrain->shadow[at], 200) << x << " " << z;
                } else if (angular > 0.05f && clearance > 0.5f && !near_tree(x, z)) {
                    open++;
                    EXPECT_LT(terrain->shadow[at], 40) << x << " " << z;
                }
                // Slopes turned to the sun are lit brighter than those
                // turned away.
                float normal[3];
                terrain_normal(terrain, x, z, normal);
                float nl = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
                float towards = (normal[0] * sun[0] + normal[2] * sun[2]) / nl / across;
                if (normal[1] / nl < 0.97f && terrain->shadow[at] < 40) {
                    double value =
                        terrain->shading[at * 3] + terrain->shading[at * 3 + 1] + terrain->shading[at * 3 + 2];
                    if (towards > 0.15f)
                        facing += value, facing_count++;
                    else if (towards < -0.15f)
                        away += value, away_count++;
                }
            }
        EXPECT_GT(open, 20);
        EXPECT_GT(blocked, 0);
        ASSERT_GT(facing_count, 10);
        ASSERT_GT(away_count, 10);
        EXPECT_GT(facing / facing_count, away / away_count + 30);
    }
}

TEST_F(GeneratedTracks, SkyFlaresAndMapDecode)
{
    for (const LoadedTrack& t : *tracks) {
        SCOPED_TRACE(t.folder());
        auto light = lighting_of(t);
        for (const char* face : {"sky_n", "sky_e", "sky_s", "sky_w", "sky_u", "sky_env"}) {
            ASSERT_EQ(light[face].size(), 1u) << face;
            DataStream* stream = data_open(light[face][0].c_str(), "rb");
            ASSERT_NE(stream, nullptr) << light[face][0];
            ImageChain image;
            EXPECT_TRUE(read_rgb_image(stream, &image)) << face;
            data_close(stream);
            EXPECT_TRUE(power_of_two(image.width) && image.width == image.height);
            free(image.pixels);
        }
        EXPECT_EQ(light["fog"].size(), 4u);
        int elements = 0, flares = 0;
        for (auto& line : lines_of_words(t.file("lighting"))) {
            if (line[0] == "flare_element") {
                ASSERT_EQ(line.size(), 8u);
                ImageChain image;
                EXPECT_TRUE(read_rgba_image(line[7].c_str(), &image)) << line[7];
                free(image.pixels);
                elements++;
            }
            flares += line[0] == "flare_vector" || line[0] == "flare_point";
            // An unknown keyword would end the reading of the file there.
            const std::set<std::string> known = {"sun_vector", "sun_color", "ambient", "global_ambient", "fog"};
            EXPECT_TRUE(line[0].compare(0, 4, "sky_") == 0 || line[0].compare(0, 6, "flare_") == 0 ||
                        known.count(line[0]))
                << line[0];
        }
        EXPECT_EQ(flares, 1);
        EXPECT_TRUE(elements > 0 && elements <= 8);
        ImageChain map;
        ASSERT_TRUE(read_png(("@" + t.folder() + "/map.png").c_str(), &map));
        EXPECT_EQ(map.channels, 4);
        EXPECT_TRUE(power_of_two(map.width) && map.width == map.height);
        free(map.pixels);
    }
}

TEST_F(GeneratedTracks, ObjectsStandBesideTheTrackWithTheirPictures)
{
    // The models and shapes come from the objects archive, when it is built.
    bool have_models = data_exists("objects/tuffblock.km");
    auto picture_loads = [](const std::string& name) {
        ImageChain image;
        bool ok = read_rgba_image(name.c_str(), &image) && power_of_two(image.width) && power_of_two(image.height);
        if (ok)
            free(image.pixels);
        return ok;
    };
    for (const LoadedTrack& t : *tracks) {
        SCOPED_TRACE(t.folder());
        float world = t.terrain->world_size;
        auto inside = [&](float x, float z) { return x > 0 && z > 0 && x < world && z < world; };
        std::map<std::string, int> models;
        for (auto& line : lines_of_words(t.file("statues"))) {
            ASSERT_EQ(line.size(), 7u);
            float x = number(line[0]), z = number(line[2]);
            EXPECT_TRUE(inside(x, z));
            EXPECT_GT(edge_distance(t.line, x, z), 1) << line[4] << " at " << x << " " << z;
            models[line[4]]++;
            EXPECT_NE(line[6], "null") << "a statue without a collision shape";
            if (have_models) {
                EXPECT_TRUE(data_exists(line[4].substr(1))) << line[4];
                EXPECT_TRUE(data_exists(line[6].substr(1))) << line[6];
            }
        }
        EXPECT_GT(models["@objects/tuffblock.km"], 10);
        EXPECT_GT(models["@objects/banner.km"], 4);
        EXPECT_EQ(models.size(), 2u);

        std::map<std::string, int> billboards;
        for (auto& line : lines_of_words(t.file("billboards"))) {
            ASSERT_EQ(line.size(), 6u);
            float x = number(line[0]), z = number(line[2]);
            EXPECT_TRUE(inside(x, z));
            EXPECT_GT(edge_distance(t.line, x, z), 4) << line[5] << " at " << x << " " << z;
            billboards[line[5]]++;
        }
        EXPECT_GT(billboards["@" + t.folder() + "/crowd.png"], 3);
        EXPECT_GT(billboards.size(), 2u);
        for (const auto& [picture, count] : billboards)
            EXPECT_TRUE(picture_loads(picture)) << picture;

        // The starter's board, the lap board and a marshal at every jump,
        // each watching a gate of the lap.
        auto flaggers = lines_of_words(t.file("flaggers"));
        ASSERT_GE(flaggers.size(), 2u + t.course->jumps.size());
        ASSERT_EQ(flaggers[0].size(), 14u);
        ASSERT_EQ(flaggers[1].size(), 9u);
        for (size_t k = 9; k < 14; k++)
            EXPECT_TRUE(picture_loads(flaggers[0][k])) << flaggers[0][k];
        for (size_t k = 5; k < 9; k++)
            EXPECT_TRUE(picture_loads(flaggers[1][k])) << flaggers[1][k];
        for (size_t f = 2; f < flaggers.size(); f++) {
            const auto& line = flaggers[f];
            ASSERT_EQ(line.size(), 11u);
            EXPECT_GT(edge_distance(t.line, number(line[0]), number(line[2])), 4);
            int gate = std::atoi(line[5].c_str());
            EXPECT_TRUE(gate >= 1 && gate < int(t.timing.gates.size())) << gate;
            EXPECT_TRUE(picture_loads(line[9]) && picture_loads(line[10]));
        }

        // The painted finish line lies across the finish gate.
        auto decals = lines_of_words(t.file("decals"));
        ASSERT_EQ(decals.size(), 1u);
        ASSERT_EQ(decals[0].size(), 6u);
        const Gate& finish = t.gate(t.timing.normal_lap.back());
        EXPECT_NEAR(number(decals[0][0]), finish.x, 1);
        EXPECT_NEAR(number(decals[0][1]), finish.z, 1);
        EXPECT_TRUE(picture_loads(decals[0][5]));
    }
}

} // namespace
