#include "track/timing_gates.h"

#include "base/alloc.h"
#include "base/launch.h"
#include "base/message_log.h"
#include "data/home.h"
#include "data/stream.h"
#include "koru/log.h"
#include "track/terrain.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

TrackTiming track_timing;

namespace {

TimingGateHooks timing_hooks;

const double pi = 3.14159265358979323846;

float wrap_angle(float a)
{
    // Compared in single precision, as stored: pi itself stays pi.
    if (a >= -float(pi) && a <= float(pi))
        return a;
    double t = (a + pi) / (2 * pi);
    return float((t - std::floor(t)) * 2 * pi - pi);
}

bool read_keyword(DataStream* stream, char keyword[81])
{
    keyword[0] = 0;
    return data_scan(stream, " %80s ", keyword) == 1;
}

void read_lap_list(DataStream* stream, std::vector<int32_t>* entries, int32_t* sections)
{
    int value;
    while (entries->size() < max_lap_entries && data_scan(stream, "%d", &value) == 1) {
        entries->push_back(value);
        if (value < checkpoint_only_flag)
            (*sections)++;
    }
}

int32_t normalise_entry(int32_t e, int32_t gate_count)
{
    if (e < 0)
        return 0;
    int32_t flag = e >= checkpoint_only_flag ? checkpoint_only_flag : 0;
    int32_t gate = e % checkpoint_only_flag;
    return flag + (gate < gate_count - 1 ? gate : gate_count - 1);
}

void clear_line(RacingLine* line)
{
    free(line->samples);
    *line = {};
    line->section_frames = free_line_frames;
    line->two_section_frames = free_line_frames;
    line->best_section_frames = free_line_frames;
    line->best_two_section_frames = free_line_frames;
    line->last_picked_frame = -1000000;
}

} // namespace

void set_timing_gate_hooks(const TimingGateHooks& hooks)
{
    timing_hooks = hooks;
}

const TimingGate* sequence_gate(int32_t position)
{
    const TrackTiming& t = track_timing;
    if (t.gate_count == 0 || position < 0)
        return nullptr;
    if (position >= t.first_lap_count)
        position = t.first_lap_count + (position - t.first_lap_count) % t.normal_lap_count;
    int32_t entry = t.lap_sequence[position];
    if (entry >= checkpoint_only_flag)
        entry -= checkpoint_only_flag;
    return &t.timing_gates[entry];
}

int32_t section_table_index(int32_t section)
{
    const TrackTiming& t = track_timing;
    if (section < t.first_lap_sections || t.normal_lap_sections <= 0)
        return section;
    return t.first_lap_sections + (section - t.first_lap_sections) % t.normal_lap_sections;
}

void free_timing_gates()
{
    TrackTiming& t = track_timing;
    int32_t tables = t.first_lap_sections + t.normal_lap_sections;
    if (t.line_tables)
        for (int32_t i = 0; i < tables * lines_per_section; i++)
            free(t.line_tables[i].samples);
    free(t.line_tables);
    free(t.line_plans);
    free(t.timing_gates);
    free(t.lap_sequence);
    t.line_tables = nullptr;
    t.line_plans = nullptr;
    t.timing_gates = nullptr;
    t.lap_sequence = nullptr;
    t.gate_count = 0;
    t.first_lap_count = t.normal_lap_count = 0;
    t.first_lap_sections = t.normal_lap_sections = 0;
}

void load_timing_gates(DataStream* stream)
{
    TrackTiming& t = track_timing;
    free_timing_gates();
    t.start_position_count = 0;
    t.next_line_id = 0;
    if (!stream)
        return;

    char keyword[81];
    read_keyword(stream, keyword);
    if (strcmp(keyword, "startinggate:") == 0) {
        float x, y, z, a;
        while (t.start_position_count < max_start_positions &&
               data_scan(stream, " [ %f %f %f ] %f ", &x, &y, &z, &a) == 4) {
            StartPosition& p = t.start_positions[t.start_position_count++];
            a = wrap_angle(a);
            p.position[0] = x;
            p.position[1] = y;
            p.position[2] = z;
            p.angle = a;
            // The gate stands three feet behind the place, against the heading.
            float gate[3] = {x - 3 * std::sin(a), y, z - 3 * std::cos(a)};
            p.gate_object = timing_hooks.create_start_gate ? timing_hooks.create_start_gate(gate, a) : -1;
        }
        read_keyword(stream, keyword);
    }
    if (strcmp(keyword, "checkpoints:") != 0)
        return;

    std::vector<TimingGate> gates;
    std::vector<int32_t> first, normal;
    int32_t first_sections = 0, normal_sections = 0;
    try {
        TimingGate g = {};
        while (gates.size() < max_timing_gates &&
               data_scan(stream, "%f [ %f %f %f ] [ %f %f %f ] ", &g.radius, &g.position[0], &g.position[1],
                         &g.position[2], &g.direction[0], &g.direction[1], &g.direction[2]) == 7)
            gates.push_back(g);
        read_keyword(stream, keyword);
        if (strcmp(keyword, "firstlap:") == 0) {
            read_lap_list(stream, &first, &first_sections);
            read_keyword(stream, keyword);
        }
        if (strcmp(keyword, "normallap:") == 0)
            read_lap_list(stream, &normal, &normal_sections);
    } catch (const std::bad_alloc&) {
        return; // out of memory while growing a list drops the gate data
    }
    int32_t gate_count = int32_t(gates.size());
    if (gate_count < 1 || first.empty() || normal.empty() || first_sections < 1 || normal_sections < 1)
        return;

    t.gate_count = gate_count;
    t.timing_gates = static_cast<TimingGate*>(alloc_or_die(sizeof(TimingGate) * gates.size()));
    memcpy(t.timing_gates, gates.data(), sizeof(TimingGate) * gates.size());
    t.first_lap_count = int32_t(first.size());
    t.normal_lap_count = int32_t(normal.size());
    t.lap_sequence = static_cast<int32_t*>(alloc_or_die(sizeof(int32_t) * (first.size() + normal.size())));
    for (size_t i = 0; i < first.size(); i++)
        t.lap_sequence[i] = normalise_entry(first[i], gate_count);
    for (size_t i = 0; i < normal.size(); i++)
        t.lap_sequence[first.size() + i] = normalise_entry(normal[i], gate_count);
    t.first_lap_sections = first_sections;
    t.normal_lap_sections = normal_sections;
    int32_t tables = first_sections + normal_sections;
    t.line_tables = static_cast<RacingLine*>(alloc_or_die(sizeof(RacingLine) * tables * lines_per_section));
    for (int32_t i = 0; i < tables * lines_per_section; i++) {
        t.line_tables[i].samples = nullptr;
        clear_line(&t.line_tables[i]);
    }
    t.line_plans = static_cast<int32_t*>(alloc_or_die(sizeof(int32_t) * 3 * tables));
    memset(t.line_plans, 0, sizeof(int32_t) * 3 * tables);
    if (launch.debug_level >= 1)
        koru_log("Found %d timing gates, first lap has %d gates, normal lap has %d\n", t.gate_count,
                 t.first_lap_count, t.normal_lap_count);
}

int save_timing_gates(const char* folder)
{
    const TrackTiming& t = track_timing;
    std::string name = std::string("@") + folder + "/timing_gates";
    DataStream* out = data_open(name.c_str(), "wb");
    if (!out) {
        post_message("Can't open 'timing_gates'\n");
        return 0;
    }
    if (t.start_position_count > 0) {
        data_puts(out, "startinggate:\n");
        for (int32_t i = 0; i < t.start_position_count; i++) {
            const StartPosition& p = t.start_positions[i];
            data_printf(out, "[%f %f %f]", p.position[0], p.position[1], p.position[2]);
            data_printf(out, " %f\n", p.angle);
        }
    }
    if (t.gate_count > 0) {
        data_puts(out, "checkpoints:\n");
        for (int32_t i = 0; i < t.gate_count; i++) {
            const TimingGate& g = t.timing_gates[i];
            data_printf(out, "%f ", g.radius);
            data_printf(out, "[%f %f %f]", g.position[0], g.position[1], g.position[2]);
            data_puts(out, " ");
            data_printf(out, "[%f %f %f]", g.direction[0], g.direction[1], g.direction[2]);
            data_puts(out, "\n");
        }
    }
    struct {
        const char* keyword;
        int32_t first, count;
    } const lists[] = {{"firstlap:\n", 0, t.first_lap_count},
                       {"normallap:\n", t.first_lap_count, t.normal_lap_count}};
    for (const auto& list : lists) {
        if (list.count <= 0)
            continue;
        data_puts(out, list.keyword);
        for (int32_t i = 0; i < list.count; i++)
            data_printf(out, "%d ", t.lap_sequence[list.first + i]);
        data_puts(out, "\n");
    }
    bool ok = data_flush(out) == 0;
    data_close(out);
    return ok ? 1 : 0;
}
