#include "track_timing.h"

#include "track_math.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr int rider_places = 40;
// A gate reaches a little past both edges, so a rider anywhere on the track
// goes through it and one who cuts across the infield does not.
constexpr float gate_margin = 3;

TimingGate gate_at(const TrackGround& g, int piece, float s)
{
    const CoursePiece& p = piece == 0 ? g.line.loop : g.line.spur;
    const CourseSample& c = course_sample_at(p, s);
    return {c.x, g.height_at(c.x, c.z), c.z, c.tx, c.tz, c.width / 2 + gate_margin, piece, c.s};
}

} // namespace

TrackTiming plan_timing(const TrackGround& g)
{
    const Course& course = *g.course;
    TrackTiming t;

    // The riders line up across the start line, side by side.
    const CourseSample& line = course_sample_at(g.line.spur, g.line.spur.point_s[1]);
    float lx, lz;
    course_left(line.tx, line.tz, &lx, &lz);
    float angle = float(det_atan2(line.tx, line.tz));
    for (int k = 0; k < rider_places; k++) {
        float across = (k - (rider_places - 1) / 2.0f) * course.place_gap;
        float x = line.x + lx * across, z = line.z + lz * across;
        // The height of a place is taken above the ground: its start gate
        // is placed with it and stands on the ground at 0.
        t.places.push_back({x, 0, z, angle});
    }

    // Gate 0 on the start straight, the first gate of the first lap.
    for (size_t k = 0; k < course.spur.size(); k++)
        if (course.spur[k].gate) {
            t.gates.push_back(gate_at(g, 1, g.line.spur.point_s[k]));
            break;
        }
    // Then the loop's gates in riding order from the join.
    const int n = int(course.loop.size());
    int finish = -1;
    for (int step = 1; step <= n; step++) {
        int k = (course.merge + step) % n;
        if (!course.loop[size_t(k)].gate && k != course.finish)
            continue;
        if (k == course.finish)
            finish = int(t.gates.size());
        t.gates.push_back(gate_at(g, 0, g.line.loop.point_s[size_t(k)]));
    }
    t.finish_gate = finish;
    // The first lap runs from the start to the finish line; every later lap
    // from the gate after the finish round to it again.
    int loop_gates = int(t.gates.size()) - 1;
    for (int k = 0; k <= finish; k++)
        t.first_lap.push_back(k);
    for (int k = 1; k <= loop_gates; k++)
        t.normal_lap.push_back((finish - 1 + k) % loop_gates + 1);
    return t;
}

std::string timing_gates_file(const TrackTiming& t)
{
    char line[256];
    std::string text = "startinggate:\n";
    for (const StartPlace& p : t.places) {
        snprintf(line, sizeof line, "[%f %f %f] %f\n", p.x, p.y, p.z, p.angle);
        text += line;
    }
    text += "checkpoints:\n";
    for (const TimingGate& g : t.gates) {
        snprintf(line, sizeof line, "%f [%f %f %f] [%f %f %f]\n", g.radius, g.x, g.y, g.z, g.dx, 0.0, g.dz);
        text += line;
    }
    text += "firstlap:\n";
    for (int e : t.first_lap)
        text += std::to_string(e) + " ";
    text += "\nnormallap:\n";
    for (int e : t.normal_lap)
        text += std::to_string(e) + " ";
    return text + "\n";
}

int next_gate(const TrackTiming& t, const TrackGround& g, float s)
{
    int best = -1;
    float best_ahead = 1e9f;
    for (size_t k = 0; k < t.gates.size(); k++) {
        if (t.gates[k].piece != 0)
            continue;
        float ahead = t.gates[k].s - s;
        if (ahead < 0)
            ahead += g.line.loop.length;
        if (ahead < best_ahead) {
            best_ahead = ahead;
            best = int(k);
        }
    }
    return best;
}
