#include "core/session.h"

#include "assets/model.h"
#include "assets/texture.h"
#include "base/alloc.h"
#include "base/launch.h"
#include "base/message_log.h"
#include "base/units.h"
#include "autopilot/roster.h"
#include "bike/bike.h"
#include "bike/bike_setup.h"
#include "bike/physics.h"
#include "core/catalogue.h"
#include "data/config.h"
#include "koru/log.h"
#include "race/race_state.h"
#include "track/timing_gates.h"
#include "track/track.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

RaceSession session;

namespace {

// The picture chosen in a texture setting; null for "default".
const char* catalogue_path(const TextureCatalogue& catalogue, const ChoiceSetting& setting)
{
    if (setting.index < 0 || size_t(setting.index) >= catalogue.paths.size())
        return nullptr;
    return catalogue.paths[size_t(setting.index)];
}

void shuffle_roster()
{
    random_seed(&session.random, uint32_t(race.frame));
    for (int i = 0; i < robot_roster_size; i++)
        session.roster_order[i] = i;
    for (int n = robot_roster_size - 1; n >= 1; n--) {
        int j = int((random_next(&session.random) >> 16) % uint32_t(n));
        std::swap(session.roster_order[n], session.roster_order[j]);
    }
}

void free_slot(RiderSlot* slot)
{
    if (slot->bike)
        destroy_bike(slot->bike);
    slot->bike = nullptr;
    slot->personality = nullptr;
}

void free_all_bikes()
{
    koru_log("Deallocating bikes\n");
    for (RiderSlot& slot : session.slots)
        free_slot(&slot);
    koru_log("Finished deallocating bikes\n");
}

bool bike_name_has(const RobotRider& robot, const char* text)
{
    return strstr(robot.bike, text) != nullptr;
}

// The next roster robot for a robot slot. Kinds that ask for a kind of bike
// or a rider number first look for a match among the robots not used yet and
// swap it into the next place.
const RobotRider* next_robot(int kind, int* next)
{
    if (*next >= robot_roster_size)
        *next = 0; // more robot slots than robots: the roster starts over
    char number[16] = "";
    if (kind >= kind_numbered_robot)
        snprintf(number, sizeof number, "%d", kind - kind_numbered_robot);
    if (kind == kind_robot_two_stroke || kind == kind_robot_four_stroke || kind >= kind_numbered_robot) {
        for (int p = robot_roster_size - 1; p > *next; p--) {
            const RobotRider& candidate = robot_roster[session.roster_order[p]];
            bool match = kind == kind_robot_two_stroke    ? bike_name_has(candidate, "125")
                         : kind == kind_robot_four_stroke ? bike_name_has(candidate, "250")
                                                          : std::to_string(candidate.number) == number;
            if (match) {
                std::swap(session.roster_order[p], session.roster_order[*next]);
                break;
            }
        }
    }
    return &robot_roster[session.roster_order[(*next)++]];
}

// True when either tyre reaches into the ground.
bool touches_ground(const Bike* bike)
{
    const Terrain* terrain = current_terrain;
    if (!terrain)
        return false;
    Vec3 point, normal;
    float depth;
    return find_wheel_contact(terrain, &bike->front_contact, &point, &normal, &depth) ||
           find_wheel_contact(terrain, &bike->rear_contact, &point, &normal, &depth);
}

void empty_contacts()
{
    if (physics.contact_group)
        dJointGroupEmpty(physics.contact_group);
}

const char* selected_track()
{
    const TrackCatalogue& tracks = catalogues.tracks;
    if (tracks.folders.empty())
        return launch.track_name;
    int i = tracks.selected >= 0 && tracks.selected < int(tracks.folders.size()) ? tracks.selected : 0;
    return tracks.folders[i];
}

bool choose_track()
{
    const char* folder = selected_track();
    if (!folder)
        return false;
    if (loaded_track.loaded && loaded_track.folder && strcmp(loaded_track.folder, folder) == 0)
        return true;
    free_track();
    // A new track's textures get a new generation; what only the old one
    // used is released once the session has asked for its own.
    texture_memory_used = 0;
    texture_generation++;
    set_current_track(folder);
    return load_track() == 1;
}

int first_occupied(const int32_t kinds[rider_slot_count])
{
    for (int i = 0; i < rider_slot_count; i++)
        if (kinds[i] != kind_empty)
            return i;
    return -1;
}

// Creates the occupant of one slot; the slot stays empty when the bike
// cannot be created.
void fill_slot(int m, int* next_robot_position)
{
    RiderSlot& slot = session.slots[m];
    const char* bike_name = nullptr;
    const char* number = nullptr;
    char number_text[16];
    // Rider body, helmet, bike graphics and wheels; null keeps the bike's own.
    const char* textures[4] = {};
    RobotTextures robot_texture_names;
    slot.controller = controller_robot;
    slot.personality = nullptr;
    if (slot.kind == kind_human) {
        bike_name = bike_menu_names()[config.bike.index];
        number = config.number.text;
        slot.controller = controller_local;
        textures[0] = catalogue_path(catalogues.rider_body, config.rider_texture);
        textures[1] = catalogue_path(catalogues.rider_head, config.head_texture);
        textures[2] = catalogue_path(catalogues.bike, config.bike_texture);
        textures[3] = catalogue_path(catalogues.wheels, config.wheel_texture);
    } else if (slot.kind == kind_robot || slot.kind == kind_robot_two_stroke || slot.kind == kind_robot_four_stroke ||
               slot.kind >= kind_numbered_robot) {
        const RobotRider* robot = next_robot(slot.kind, next_robot_position);
        bike_name = robot->bike;
        snprintf(number_text, sizeof number_text, "%d", robot->number);
        number = number_text;
        robot_texture_names = robot_textures(*robot);
        const char* names[4] = {robot_texture_names.rider_body, robot_texture_names.rider_head,
                                robot_texture_names.bike, robot_texture_names.wheels};
        for (int i = 0; i < 4; i++)
            textures[i] = names[i][0] ? names[i] : nullptr;
        slot.personality = launch.practice_mode ? "tester" : robot->personality;
    } else {
        // Kinds no menu or server hands out: a robot on a 125 without its
        // own graphics.
        bike_name = "dz125";
        number = "0";
    }
    bike_name = bike_current_name(bike_name);
    slot.bike = create_bike(bike_name, m, number, textures[0], textures[1], textures[2], textures[3]);
    if (!slot.bike) {
        slot.controller = controller_outside;
        return;
    }
    float x, z, heading;
    start_grid_position(m, &x, &z, &heading);
    place_bike(slot.bike, x, z, heading);
    if (slot.controller == controller_outside)
        freeze_bike(slot.bike);
    else
        unfreeze_bike(slot.bike);
}

} // namespace

void start_grid_position(int m, float* x, float* z, float* heading)
{
    const TrackTiming& t = track_timing;
    if (t.start_position_count > 0) {
        const StartPosition& gate = t.start_positions[m % t.start_position_count];
        float row = float(m / t.start_position_count);
        *x = gate.position[0] + std::sin(gate.angle) * (row + 0.0625f) * 10;
        *z = gate.position[2] + std::cos(gate.angle) * (row + 0.0625f) * 10;
        *heading = gate.angle;
        return;
    }
    float w = current_terrain ? current_terrain->world_size : 0;
    *x = w / 2 + 5 * m;
    *z = w / 2;
    *heading = 0;
}

void place_bike(Bike* bike, float x, float z, float heading)
{
    const Terrain* t = current_terrain;
    float y = 0;
    if (t && t->heights) {
        int n = t->samples;
        int i = int(x * t->inv_spacing), j = int(z * t->inv_spacing);
        i = i < 0 ? 0 : i >= n ? n - 1 : i;
        j = j < 0 ? 0 : j >= n ? n - 1 : j;
        y = t->heights[j * n + i];
    }
    // Raised a quarter foot at a time until it clears the ground; the cap
    // only matters for a broken field, where it keeps the loop finite.
    for (int tries = 0; tries < 4096; tries++) {
        reset_bike(bike);
        rotate_bike(bike, 0, 1, 0, heading);
        move_bike(bike, x, y, z);
        if (!touches_ground(bike))
            break;
        y += 0.25f;
    }
}

Bike* session_setup(const int32_t* kinds, bool playback, bool record, int32_t time_limit_frames, int32_t laps,
                    int skill)
{
    (void)playback;
    (void)record;
    (void)skill;
    shuffle_roster();
    free_all_bikes();

    race.frame = 0;
    race.time_limit_frames = time_limit_frames;
    race.extra_laps = laps;
    race.prestart_frames = int32_t(5 / step_length);
    double u = random_uniform(&session.random);
    race.start_frame = int32_t((1 / step_length) * (13 + 2 * u));
    race.time_trial = kinds == nullptr;

    if (!choose_track()) {
        // Nothing of the old session is left to point at: bikes are gone and
        // the track is released, so the main loop shows the title.
        for (RiderSlot& slot : session.slots)
            slot = {};
        session.viewed_slot = 0;
        return nullptr;
    }

    int32_t wanted[rider_slot_count];
    if (race.time_trial) {
        for (int i = 0; i < rider_slot_count; i++)
            wanted[i] = kind_empty;
        wanted[0] = kind_human;
        race.frame = int32_t(300 / step_length);
    } else {
        memcpy(wanted, kinds, sizeof wanted);
    }
    int viewed = first_occupied(wanted);
    if (viewed < 0) {
        wanted[0] = kind_robot;
        viewed = 0;
    }
    bool human_seen = false;
    for (int i = 0; i < rider_slot_count; i++) {
        if (wanted[i] != kind_human)
            continue;
        if (human_seen) {
            wanted[i] = kind_empty;
        } else {
            human_seen = true;
            viewed = i;
        }
    }
    session.viewed_slot = viewed;

    int next_robot_position = 0;
    for (int m = 0; m < rider_slot_count; m++) {
        RiderSlot& slot = session.slots[m];
        slot.kind = wanted[m];
        slot.bike = nullptr;
        slot.controller = controller_outside;
        if (slot.kind != kind_empty)
            fill_slot(m, &next_robot_position);
    }

    const TrackTiming& t = track_timing;
    for (int32_t i = 0; i < (t.first_lap_sections + t.normal_lap_sections) * lines_per_section; i++)
        t.line_tables[i].last_picked_frame = -1000000;
    post_messagef("%d MB texture memory used\n", texture_memory_used >> 20);
    evict_models();
    release_unused_textures();

    if (race.time_limit_frames) {
        race.race_laps = 1000000;
        race.halfway_lap = 1000000;
    } else {
        race.race_laps = race.extra_laps;
        race.halfway_lap = (race.extra_laps + 1) / 2;
    }
    session.start_gate_count = t.start_position_count;
    for (int i = 0; i < rider_slot_count; i++)
        session.start_gates[i] = {i < t.start_position_count ? t.start_positions[i].gate_object : -1, 1, -1};
    if (race.time_trial)
        time_trial_restart();
    if (!session.slots[session.viewed_slot].bike)
        for (int i = 0; i < rider_slot_count; i++)
            if (session.slots[i].bike) {
                session.viewed_slot = i;
                break;
            }
    empty_contacts();
    Bike* viewed_bike = session.slots[session.viewed_slot].bike;
    if (viewed_bike && session.slots[session.viewed_slot].controller == controller_local)
        apply_settings(viewed_bike);
    if (viewed_bike) {
        const dReal* p = dBodyGetPosition(viewed_bike->bodies[body_frame]);
        session.free_camera[0] = float(p[0]);
        session.free_camera[1] = float(p[1]) + 5;
        session.free_camera[2] = float(p[2]);
    }
    return viewed_bike;
}

void time_trial_restart()
{
    for (int i = 1; i < rider_slot_count; i++) {
        free_slot(&session.slots[i]);
        session.slots[i].kind = kind_empty;
    }
    Bike* bike = session.slots[0].bike;
    const TrackTiming& t = track_timing;
    const TimingGate* gate = sequence_gate(t.first_lap_count - 2 > 0 ? t.first_lap_count - 2 : 0);
    if (!bike || !gate)
        return;
    float heading = std::atan2(-gate->direction[0], -gate->direction[2]);
    place_bike(bike, gate->position[0], gate->position[2], heading);
    empty_contacts();
}

void session_free()
{
    free_all_bikes();
    for (RiderSlot& slot : session.slots)
        slot = {};
    free_track();
    set_current_track(nullptr);
    physics_stop();
}
