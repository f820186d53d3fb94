#include "track/objects.h"

#include "assets/model.h"
#include "assets/texture.h"
#include "base/alloc.h"
#include "base/message_log.h"
#include "data/home.h"
#include "data/stream.h"
#include "track/shape.h"
#include "track/terrain.h"
#include "track/timing_gates.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

TrackObjects track_objects;

namespace {

// Below this a statue stands on the ground whatever its slope; from
// face_angle on it faces the camera and stands upright.
const double upright_angle = -6.283185307179586;
const float face_angle = 3.25f;

float ground_height(float x, float z)
{
    return current_terrain ? terrain_height(current_terrain, x, z) : 0;
}

bool is_hex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Grows a list to hold one more record; false when memory ran out, which
// drops the new object and leaves the list as it was.
bool make_room(void** items, int32_t* capacity, int32_t count, size_t size)
{
    if (count < *capacity)
        return true;
    int32_t grown = *capacity ? *capacity * 2 : 16;
    void* block = realloc(*items, size_t(grown) * size);
    if (!block)
        return false;
    *items = block;
    *capacity = grown;
    return true;
}

void identity(float m[3][3])
{
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++)
            m[r][c] = r == c ? 1.0f : 0.0f;
}

void cross(const float a[3], const float b[3], float out[3])
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

void normalize(float v[3])
{
    float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length > 0)
        for (int k = 0; k < 3; k++)
            v[k] /= length;
}

// The orientation of an object at (x, z) with heading a, following the
// slope of the ground under it.
void ground_rotation(float x, float z, float a, float out[3][3])
{
    if (a >= face_angle) {
        identity(out);
        return;
    }
    float n[3] = {0, 1, 0};
    if (a > upright_angle) {
        float h = ground_height(x, z);
        n[0] = -(ground_height(x + 1, z) - h);
        n[2] = -(ground_height(x, z + 1) - h);
        normalize(n);
    }
    float s0[3] = {std::cos(a), 0, -std::sin(a)};
    float heading[3], side[3];
    cross(s0, n, heading);
    normalize(heading);
    cross(n, heading, side);
    for (int k = 0; k < 3; k++) {
        out[0][k] = side[k];
        out[1][k] = n[k];
        out[2][k] = heading[k];
    }
}

// The statue's normal or specular map: the first candidate that loads.
uint32_t find_statue_map(const char* texture, const char* model, const char* kind, int32_t units_needed)
{
    if (texture_caps.have_fragment_shader && texture_caps.texture_units < units_needed)
        return 0;
    char name[1100];
    for (int32_t k = 0; statue_map_candidate(texture, model, kind, k, name, sizeof name); k++)
        if (uint32_t id = load_texture(name))
            return id;
    return 0;
}

void place(Statue& s)
{
    s.y = ground_height(s.x, s.z) + s.y_offset;
    ground_rotation(s.x, s.z, s.angle, s.base_rotation);
    memcpy(s.rotation, s.base_rotation, sizeof s.rotation);
}

void bin_append(StatueBin& bin, int32_t statue)
{
    if (bin.count == bin.capacity) {
        bin.capacity = bin.capacity ? bin.capacity * 2 : 16;
        bin.statues = static_cast<int32_t*>(realloc_or_die(bin.statues, size_t(bin.capacity) * sizeof(int32_t)));
    }
    bin.statues[bin.count++] = statue;
}

// Puts a picture on a board. An animated picture runs from the moment it
// appears, and the one it replaces stops.
void show_texture(int32_t billboard, uint32_t texture, const char* name, int32_t now)
{
    TrackObjects& o = track_objects;
    if (billboard < 0 || billboard >= o.billboard_count)
        return;
    Billboard& b = o.billboards[billboard];
    if (b.texture != texture) {
        stop_texture_animation(b.texture);
        start_texture_animation(texture, now);
        b.texture = texture;
    }
    b.texture_name = name;
}

// The texture a board or flagger picture gets from a file name.
void load_named(const char* name, uint32_t* texture, const char** stored)
{
    *texture = load_texture(name);
    *stored = intern_string(name);
}

bool read_name(DataStream* stream, char name[1024])
{
    return data_scan(stream, " %1023s", name) == 1;
}

int32_t clamp_gate(int32_t gate)
{
    int32_t last = track_timing.gate_count - 1;
    if (gate > last)
        gate = last;
    return gate < -1 ? -1 : gate;
}

DataStream* create_file(const char* folder, const char* name)
{
    std::string path = std::string("@") + (folder ? folder : "") + "/" + name;
    DataStream* out = data_open(path.c_str(), "wb");
    if (!out)
        post_messagef("Can't open '%s'\n", name);
    return out;
}

int finish_file(DataStream* out)
{
    bool ok = data_flush(out) == 0;
    data_close(out);
    return ok ? 1 : 0;
}

} // namespace

bool statue_map_candidate(const char* texture, const char* model, const char* kind, int32_t index, char* out,
                          size_t size)
{
    static const char* const extensions[3] = {".seq", ".png", ".ppm"};
    if (index < 0 || size == 0)
        return false;
    // The texture's own companions come first. A "-repeat" texture keeps its
    // repeat mark last so that the companion repeats the same way.
    const char* base = nullptr;
    size_t base_length = 0;
    const char* tail = "";
    if (texture) {
        size_t length = strlen(texture);
        bool repeat = false;
        for (const char* ending : {"-repeat.png", "-repeat.ppm", "-repeat.seq"}) {
            size_t n = strlen(ending);
            repeat = repeat || (length >= n && strcmp(texture + length - n, ending) == 0);
        }
        if (const char* cut = strrchr(texture, repeat ? '-' : '.')) {
            if (index < 3) {
                base = texture;
                base_length = size_t(cut - texture);
                tail = repeat ? "-repeat" : "";
            } else {
                index -= 3;
            }
        }
    }
    if (!base && model && index < 3)
        if (const char* dot = strrchr(model, '.')) {
            base = model;
            base_length = size_t(dot - model);
        }
    if (!base)
        return false;
    int n = snprintf(out, size, "%.*s%s%s%s", int(base_length), base, kind, tail, extensions[index]);
    return n >= 0 && size_t(n) < size;
}

void clear_track_objects()
{
    TrackObjects& o = track_objects;
    for (int32_t i = 0; i < o.statue_count; i++)
        free_shape_instance(o.statues[i].shape);
    for (auto& row : o.bins)
        for (StatueBin& bin : row)
            free(bin.statues);
    free(o.billboards);
    free(o.billboard_order);
    free(o.statues);
    free(o.flaggers);
    o = {};
    o.start_board.billboard = -1;
    o.lap_board.billboard = -1;
}

int32_t add_billboard(float x, float y_offset, float z, float height, float aspect, const char* texture)
{
    TrackObjects& o = track_objects;
    Billboard b{};
    b.x = x;
    b.z = z;
    b.y_offset = y_offset;
    b.y = ground_height(x, z) + y_offset;
    b.height = height;
    b.aspect = aspect;
    b.color[0] = b.color[1] = b.color[2] = b.color[3] = 255;
    if (texture && strlen(texture) > 7 && texture[0] == '#' && texture[7] == '#') {
        bool hex = true;
        for (int k = 1; k <= 6; k++)
            hex = hex && is_hex(texture[k]);
        if (hex) {
            unsigned long rgb = strtoul(std::string(texture + 1, 6).c_str(), nullptr, 16);
            b.color[0] = uint8_t(rgb >> 16);
            b.color[1] = uint8_t(rgb >> 8);
            b.color[2] = uint8_t(rgb);
            texture += 8;
        }
    }
    if (texture && *texture) {
        b.texture_name = intern_string(texture);
        b.texture = load_texture(texture);
    }
    int32_t old_capacity = o.billboard_capacity;
    if (!make_room(reinterpret_cast<void**>(&o.billboards), &o.billboard_capacity, o.billboard_count,
                   sizeof(Billboard)))
        return o.billboard_count - 1;
    // The drawing sorts through an order list with two entries per billboard.
    if (o.billboard_capacity != old_capacity) {
        void* order = realloc(o.billboard_order, size_t(o.billboard_capacity) * 2 * sizeof(int32_t));
        if (!order) {
            // The larger block stays; the next billboard tries again.
            o.billboard_capacity = old_capacity;
            return o.billboard_count - 1;
        }
        o.billboard_order = static_cast<int32_t*>(order);
    }
    o.billboards[o.billboard_count] = b;
    return o.billboard_count++;
}

int32_t add_statue(float x, float y_offset, float z, float angle, const char* model, const char* texture,
                   const char* shape)
{
    TrackObjects& o = track_objects;
    Statue s{};
    s.x = x;
    s.z = z;
    s.y_offset = y_offset;
    s.angle = angle;
    s.touched_frame = -1;
    s.face_distance = angle >= face_angle ? std::exp2(angle) : 0;
    s.texture_name = intern_string(texture);
    s.model_name = intern_string(model);
    s.texture = load_texture(texture);
    s.normal_map = find_statue_map(texture, model, "_norm", 2);
    s.spec_map = find_statue_map(texture, model, "_spec", 3);
    s.model = model ? get_model(model) : nullptr;
    if (shape) {
        s.shape = shape_instance(shape);
        if (!s.shape)
            post_messagef("Warning: missing shape file %.900s", shape);
    }
    place(s);
    if (!make_room(reinterpret_cast<void**>(&o.statues), &o.statue_capacity, o.statue_count, sizeof(Statue))) {
        free_shape_instance(s.shape);
        return o.statue_count - 1;
    }
    o.statues[o.statue_count] = s;
    return o.statue_count++;
}

void create_roost_sprites()
{
    for (int32_t i = 0; i < roost_sprite_count; i++)
        add_billboard(0, 0, 0, 1, 1, nullptr);
}

int32_t create_start_gate(const float position[3], float angle)
{
    return add_statue(position[0], position[1], position[2], angle, "@startgate.km", "@startgate.ppm",
                      "@startgate.shp");
}

void mark_file_objects()
{
    track_objects.first_file_billboard = track_objects.billboard_count;
    track_objects.first_file_statue = track_objects.statue_count;
}

void load_billboards(DataStream* stream)
{
    if (!stream)
        return;
    float x, y_offset, z, height, aspect;
    char name[1024];
    while (data_scan(stream, " [ %f %f %f ] %f %f %1023s ", &x, &y_offset, &z, &height, &aspect, name) == 6)
        add_billboard(x, y_offset, z, height, aspect, name);
}

void load_statues(DataStream* stream)
{
    if (!stream)
        return;
    float x, y_offset, z, angle;
    char model[1024], texture[1024], shape[1024];
    while (data_scan(stream, " [ %f %f %f ] %f %1023s %1023s %1023s ", &x, &y_offset, &z, &angle, model, texture,
                     shape) == 7)
        add_statue(x, y_offset, z, angle, model, texture, strcmp(shape, "null") == 0 ? nullptr : shape);
}

void load_flaggers(DataStream* stream)
{
    if (!stream)
        return;
    TrackObjects& o = track_objects;
    char name[1024];
    // Each part may be left out only together with everything after it:
    // the first thing that cannot be read ends the file.
    StartBoard& start = o.start_board;
    float height, aspect;
    start.travel_time = 1;
    if (data_scan(stream, " [ %f %f %f ] [ %f %f %f ] %f %f %f ", &start.start[0], &start.start[1], &start.start[2],
                  &start.end[0], &start.end[1], &start.end[2], &height, &aspect, &start.travel_time) != 9 ||
        !read_name(stream, name))
        return;
    start.billboard = add_billboard(start.start[0], start.start[1], start.start[2], height, aspect, name);
    if (start.billboard >= 0) {
        start.textures[0] = o.billboards[start.billboard].texture;
        start.texture_names[0] = o.billboards[start.billboard].texture_name;
    }
    for (int k = 1; k < start_board_texture_count; k++) {
        if (!read_name(stream, name))
            return;
        load_named(name, &start.textures[k], &start.texture_names[k]);
    }

    LapBoard& lap = o.lap_board;
    float p[3];
    if (data_scan(stream, " [ %f %f %f ] %f %f ", &p[0], &p[1], &p[2], &height, &aspect) != 5 ||
        !read_name(stream, name))
        return;
    lap.billboard = add_billboard(p[0], p[1], p[2], height, aspect, name);
    if (lap.billboard >= 0) {
        lap.textures[0] = o.billboards[lap.billboard].texture;
        lap.texture_names[0] = o.billboards[lap.billboard].texture_name;
    }
    for (int k = 1; k < lap_board_texture_count; k++) {
        if (!read_name(stream, name))
            return;
        load_named(name, &lap.textures[k], &lap.texture_names[k]);
    }

    for (;;) {
        Flagger f{};
        int32_t* g = f.gates;
        if (data_scan(stream, " [ %f %f %f ] %f %f %d %d %d %d", &p[0], &p[1], &p[2], &height, &aspect, &g[0], &g[1],
                      &g[2], &g[3]) != 9 ||
            !read_name(stream, name))
            return;
        for (int32_t& gate : f.gates)
            gate = clamp_gate(gate);
        f.billboard = add_billboard(p[0], p[1], p[2], height, aspect, name);
        if (f.billboard < 0)
            return;
        f.normal_texture = o.billboards[f.billboard].texture;
        f.normal_name = o.billboards[f.billboard].texture_name;
        bool warning = read_name(stream, name);
        if (warning)
            load_named(name, &f.warning_texture, &f.warning_name);
        if (!make_room(reinterpret_cast<void**>(&o.flaggers), &o.flagger_capacity, o.flagger_count, sizeof(Flagger)))
            return;
        o.flaggers[o.flagger_count++] = f;
        if (!warning)
            return;
    }
}

int save_billboards(const char* folder)
{
    const TrackObjects& o = track_objects;
    DataStream* out = create_file(folder, "billboards");
    if (!out)
        return 0;
    for (int32_t i = o.first_file_billboard; i < o.billboard_count; i++) {
        const Billboard& b = o.billboards[i];
        if (!b.texture_name)
            continue;
        data_printf(out, "[%f %f %f] %f %f ", b.x, b.y_offset, b.z, b.height, b.aspect);
        if (b.color[0] == 255 && b.color[1] == 255 && b.color[2] == 255)
            data_printf(out, "%s\n", b.texture_name);
        else
            data_printf(out, "#%02x%02x%02x#%s\n", b.color[0], b.color[1], b.color[2], b.texture_name);
    }
    return finish_file(out);
}

int save_statues(const char* folder)
{
    const TrackObjects& o = track_objects;
    DataStream* out = create_file(folder, "statues");
    if (!out)
        return 0;
    for (int32_t i = o.first_file_statue; i < o.statue_count; i++) {
        const Statue& s = o.statues[i];
        if (!s.texture_name)
            continue;
        data_printf(out, "[%f %f %f] %f %s %s %s\n", s.x, s.y_offset, s.z, s.angle, s.model ? s.model->name : "NULL",
                    s.texture_name, s.shape ? s.shape->name : "null");
    }
    return finish_file(out);
}

void place_object(int32_t statue)
{
    if (statue >= 0 && statue < track_objects.statue_count)
        place(track_objects.statues[statue]);
}

void tilt_statue(int32_t statue, float angle)
{
    if (statue < 0 || statue >= track_objects.statue_count)
        return;
    Statue& s = track_objects.statues[statue];
    float c = std::cos(angle), sn = std::sin(angle);
    const float r[3][3] = {{1, 0, 0}, {0, c, sn}, {0, -sn, c}};
    for (int j = 0; j < 3; j++)
        for (int m = 0; m < 3; m++) {
            float sum = 0;
            for (int n = 0; n < 3; n++)
                sum += s.base_rotation[j][n] * r[n][m];
            s.rotation[j][m] = sum;
        }
}

int32_t statue_bin_index(float p, float world_size)
{
    if (!(world_size > 0))
        return 0;
    float f = std::floor(((p / world_size) - 0.125f) * (4.0f / 3.0f) * 8.0f);
    if (!(f > 0)) // also NaN
        return 0;
    return f >= statue_bins_per_side - 1 ? statue_bins_per_side - 1 : int32_t(f);
}

void rebin_statues()
{
    TrackObjects& o = track_objects;
    for (auto& row : o.bins)
        for (StatueBin& bin : row)
            bin.count = 0;
    for (int32_t i = 0; i < o.statue_count; i++)
        bin_statue(i);
}

void bin_statue(int32_t statue)
{
    TrackObjects& o = track_objects;
    if (statue < 0 || statue >= o.statue_count || !o.statues[statue].shape)
        return;
    const Statue& s = o.statues[statue];
    float w = current_terrain ? current_terrain->world_size : 0;
    float r = s.shape->bound;
    int32_t x0 = statue_bin_index(s.x - r, w), x1 = statue_bin_index(s.x + r, w);
    int32_t z0 = statue_bin_index(s.z - r, w), z1 = statue_bin_index(s.z + r, w);
    for (int32_t bz = z0; bz <= z1; bz++)
        for (int32_t bx = x0; bx <= x1; bx++)
            bin_append(o.bins[bz][bx], statue);
}

void update_flaggers(const FlaggerState& state)
{
    TrackObjects& o = track_objects;
    const float t = state.time, c = state.start_second;

    StartBoard& start = o.start_board;
    if (start.billboard >= 0 && start.billboard < o.billboard_count) {
        float travel = start.travel_time;
        float e;
        // A zero travel time jumps straight to the end instead of dividing
        // by zero.
        if (travel > 0)
            e = std::fmin(std::fmax((t - (c + 1)) / travel, 0.0f), 1.0f);
        else
            e = t >= c + 1 ? 1.0f : 0.0f;
        Billboard& b = o.billboards[start.billboard];
        b.x = start.start[0] + e * (start.end[0] - start.start[0]);
        b.y_offset = start.start[1] + e * (start.end[1] - start.start[1]);
        b.z = start.start[2] + e * (start.end[2] - start.start[2]);
        b.y = ground_height(b.x, b.z) + b.y_offset;
        int32_t k = t < c + 0.1f ? 0 : t < c + 0.4f ? 1 : t < c + 1 ? 2 : t >= c + 1 + travel ? 4 : 3;
        start.shown = k;
        show_texture(start.billboard, start.textures[k], start.texture_names[k], state.now_frame);
    }

    LapBoard& lap = o.lap_board;
    if (lap.billboard >= 0) {
        int32_t laps = state.leader_laps;
        int32_t k = laps >= state.race_laps         ? lap_board_chequered
                    : laps + 1 == state.race_laps   ? lap_board_last_lap
                    : laps == state.half_distance_lap ? lap_board_half_distance
                                                      : lap_board_normal;
        lap.shown = k;
        show_texture(lap.billboard, lap.textures[k], lap.texture_names[k], state.now_frame);
    }

    TrackTiming& timing = track_timing;
    for (int32_t g = 0; g < timing.gate_count; g++)
        timing.timing_gates[g].caution = 0;
    for (int32_t i = 0; i < state.fallen_count; i++) {
        int32_t g = state.fallen_next_gates[i];
        if (g >= 0 && g < timing.gate_count)
            timing.timing_gates[g].caution = 1;
    }
    for (int32_t i = 0; i < o.flagger_count; i++) {
        Flagger& f = o.flaggers[i];
        bool warning = false;
        for (int32_t g : f.gates)
            warning = warning || (g >= 0 && g < timing.gate_count && timing.timing_gates[g].caution);
        f.warning = warning;
        show_texture(f.billboard, warning ? f.warning_texture : f.normal_texture,
                     warning ? f.warning_name : f.normal_name, state.now_frame);
    }
}
