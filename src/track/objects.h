// Everything placed on a track besides the ground: statues (models with an
// optional collision shape), billboards (upright pictures turned towards the
// camera, also used for the flaggers' boards and the roost particles), and
// the flaggers whose boards and flags follow the race. The files "statues",
// "billboards" and "flaggers" of a track folder list them.
#pragma once
#include <cstddef>
#include <cstdint>

struct CollisionShape;
struct DataStream;
struct Model;

enum {
    roost_sprite_count = 2000, // the first billboards of every track
    statue_bins_per_side = 8,
    start_board_texture_count = 5,
    flagger_gate_count = 4,
};

// The pictures of the lap board.
enum LapBoardTexture {
    lap_board_normal,
    lap_board_half_distance,
    lap_board_last_lap,
    lap_board_chequered,
    lap_board_texture_count,
};

struct Billboard {
    float x, y, z; // base point; y = ground height + y_offset
    float height;
    float y_offset;
    float aspect; // width / height
    int32_t sort_key; // per-frame depth key of the drawing
    uint32_t texture; // 0 = hidden
    uint8_t color[4]; // tint, white unless the name carried a colour prefix
    const char* texture_name; // interned, without the prefix; null for none
};

struct Statue {
    Model* model; // null when the model cannot be loaded
    CollisionShape* shape; // the statue's own instance; null: no collision
    uint32_t texture, normal_map, spec_map; // 0 when absent
    float x, y, z; // y = ground height + y_offset
    float y_offset;
    float angle; // heading
    float rotation[3][3]; // rows: side, up, heading
    // The orientation on the ground; the start gates fall by turning away
    // from it.
    float base_rotation[3][3];
    float face_distance; // beyond it the statue turns to face the camera; 0 never
    int32_t touched_frame; // the last frame a bike touched it, -1 for never
    // The names as given, interned; the editor writes them back.
    const char* model_name;
    const char* texture_name;
};

struct StatueBin {
    int32_t* statues;
    int32_t count;
    int32_t capacity;
};

struct StartBoard {
    int32_t billboard; // -1 when the track has none
    float start[3], end[3]; // travel from start to end; y above the ground
    float travel_time; // seconds
    uint32_t textures[start_board_texture_count];
    const char* texture_names[start_board_texture_count];
    int32_t shown; // which of the textures the board shows
};

struct LapBoard {
    int32_t billboard; // -1 when the track has none
    uint32_t textures[lap_board_texture_count];
    const char* texture_names[lap_board_texture_count];
    int32_t shown;
};

struct Flagger {
    int32_t billboard;
    uint32_t normal_texture, warning_texture;
    int32_t gates[flagger_gate_count]; // -1 = none
    const char* normal_name;
    const char* warning_name;
    int32_t warning; // the flag is out
};

struct TrackObjects {
    Billboard* billboards;
    int32_t billboard_count;
    int32_t billboard_capacity;
    // Room for the drawing's depth order: two entries per billboard.
    int32_t* billboard_order;
    Statue* statues;
    int32_t statue_count;
    int32_t statue_capacity;
    // Where the objects of the track's own files begin; those before them
    // (roost sprites, boards, start gates) are made by the program.
    int32_t first_file_billboard;
    int32_t first_file_statue;
    StatueBin bins[statue_bins_per_side][statue_bins_per_side]; // [z][x]
    StartBoard start_board;
    LapBoard lap_board;
    Flagger* flaggers;
    int32_t flagger_count;
    int32_t flagger_capacity;
};

extern TrackObjects track_objects;

// Frees every object, shape instance, bin and flagger and leaves the lists
// empty (the start of a track load, and its release).
void clear_track_objects();

// The billboard number, or the last valid one when the list cannot grow. A
// name "#rrggbb#file" tints the picture of "file".
int32_t add_billboard(float x, float y_offset, float z, float height, float aspect, const char* texture);
// The statue number, likewise. shape may be null.
int32_t add_statue(float x, float y_offset, float z, float angle, const char* model, const char* texture,
                   const char* shape);

// The index-th file name tried for a statue's normal map (kind "_norm") or
// specular map ("_spec"), in the order they are tried; false past the last.
bool statue_map_candidate(const char* texture, const char* model, const char* kind, int32_t index, char* out,
                          size_t size);

// The sprites of the roost particle pool: invisible billboards at the origin.
void create_roost_sprites();
// The start-gate statue for a starting place (the timing-gate loader's hook).
int32_t create_start_gate(const float position[3], float angle);

// Remembers the current counts as the start of the file objects.
void mark_file_objects();

// Read a track file; null (no file) reads nothing.
void load_billboards(DataStream* stream);
void load_statues(DataStream* stream);
void load_flaggers(DataStream* stream);
// Write the file objects into the user's copy of the track folder; 1 on
// success.
int save_billboards(const char* folder);
int save_statues(const char* folder);

// Recomputes the height and orientation from the ground (after the editor
// moved the statue).
void place_object(int32_t statue);
// Turns the statue by angle about its own side axis, away from its ground
// orientation; 0 stands it up again.
void tilt_statue(int32_t statue, float angle);

// The bin along one axis of a world coordinate: the eight bins span the
// middle three quarters of the field, the outer ones also take what lies
// beyond.
int32_t statue_bin_index(float p, float world_size);
// Empties the bins and inserts every statue.
void rebin_statues();
// Inserts one statue into every bin its shape reaches; statues without a
// shape are not binned.
void bin_statue(int32_t statue);

// What the flaggers react to, filled by the caller every frame.
struct FlaggerState {
    float time;         // race time in seconds (frame x step)
    float start_second; // floor of the start frame in seconds
    int32_t leader_laps; // laps the leader has completed
    int32_t race_laps;
    int32_t half_distance_lap;
    const int32_t* fallen_next_gates; // the next gate of every rider who is down
    int32_t fallen_count;
    int32_t now_frame; // for the animated board textures
};

// Moves the start board, picks the pictures of both boards and sets the
// gates' caution and the flaggers' flags.
void update_flaggers(const FlaggerState& state);
