// A track's "timing_gates" file: the riders' starting places, the timing
// gates on the ground, the order they are passed on the first and later
// laps, and the per-section tables of recorded racing lines.
#pragma once
#include <cstdint>

struct DataStream;

enum {
    max_start_positions = 40,
    max_timing_gates = 256,
    max_lap_entries = 256,
    lines_per_section = 45,
    checkpoint_only_flag = 100000, // a lap entry at or above this is a timing gate, not a section boundary
    free_line_frames = 1000000,
};

struct TimingGate {
    float position[3];
    float direction[3]; // direction of travel, not necessarily unit length
    float radius;
    int32_t caution; // set each frame for the flaggers
};

struct StartPosition {
    float position[3];
    float angle;         // heading in radians, -pi..pi
    int32_t gate_object; // the start-gate statue standing behind it, -1 for none
};

struct LineSample {
    float x, y, z;
    float speed; // negative while airborne
    float lean;
};

// One recorded path through a section and what the robots learned riding it.
struct RacingLine {
    LineSample* samples; // owned; null when the slot is free
    int32_t sample_count; // 0 = free slot
    int32_t section_frames;
    int32_t two_section_frames;
    int32_t tests;
    int32_t best_section_frames;
    int32_t best_two_section_frames;
    int32_t total_section_frames;
    int32_t total_two_section_frames;
    int32_t failures;
    int32_t last_picked_frame;
    int32_t line_id;
};

struct TrackTiming {
    StartPosition start_positions[max_start_positions];
    int32_t start_position_count;
    TimingGate* timing_gates; // gate_count entries
    int32_t gate_count;
    int32_t* lap_sequence; // first-lap entries, then the normal-lap entries
    int32_t first_lap_count;
    int32_t normal_lap_count;
    int32_t first_lap_sections;  // first-lap entries below checkpoint_only_flag
    int32_t normal_lap_sections; // normal-lap entries below checkpoint_only_flag
    // first_lap_sections + normal_lap_sections tables of lines_per_section lines
    RacingLine* line_tables;
    // three plans (one per mode) of one line id per section; 0 = none
    int32_t* line_plans;
    int32_t next_line_id; // counter for line_id, restarted by every load
};

extern TrackTiming track_timing;

// Creates a start-gate object for a starting place; returns its object
// number or -1. Set by the track-object layer once it exists.
struct TimingGateHooks {
    int32_t (*create_start_gate)(const float position[3], float angle);
};
void set_timing_gate_hooks(const TimingGateHooks& hooks);

// Replaces the tables with the file's content. A missing or unusable file
// leaves no gates, which turns timing off; starting places read before a
// fault are kept.
void load_timing_gates(DataStream* stream);
// Writes the tables into the user's copy of the track folder; 1 on success.
int save_timing_gates(const char* folder);
// Frees the gate list, the lap sequence and the line tables.
void free_timing_gates();

// The gate of a lap-sequence position, counted through the laps: after the
// first lap the normal-lap entries repeat. Null without timing.
const TimingGate* sequence_gate(int32_t position);

// The line table of a section: s for first-lap sections, then the normal-lap
// tables repeat.
int32_t section_table_index(int32_t section);
