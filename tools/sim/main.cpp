// dustline-sim: the headless race runner. Sets up a session on a track with
// N riders, runs F frames as fast as it can without a window, and prints one
// line of JSON with the speed and a digest of the final bike states.
#include "base/launch.h"
#include "base/sha1.h"
#include "bike/bike.h"
#include "bike/physics.h"
#include "core/catalogue.h"
#include "core/session.h"
#include "core/simulation.h"
#include "data/config.h"
#include "data/home.h"
#include "race/race_state.h"
#include "sim_pilot.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct RunnerOptions {
    const char* track = nullptr;
    int riders = -1;
    long frames = -1;
    long seed = 0;
};

int usage(const char* why)
{
    if (why)
        fprintf(stderr, "dustline-sim: %s\n", why);
    fprintf(stderr, "usage: dustline-sim --track NAME --riders N --frames F [--seed S]\n"
                    "  N: 1..40 riders, F: frames of 1/128 s to simulate\n");
    return 2;
}

bool read_number(const char* text, long low, long high, long* out)
{
    if (!text || !*text)
        return false;
    char* end;
    long v = strtol(text, &end, 10);
    if (*end || v < low || v > high)
        return false;
    *out = v;
    return true;
}

// Accepts "--name value" and "--name=value".
const char* option_value(int argc, char** argv, int* i, const char* name)
{
    size_t n = strlen(name);
    if (strcmp(argv[*i], name) == 0)
        return *i + 1 < argc ? argv[++*i] : nullptr;
    if (strncmp(argv[*i], name, n) == 0 && argv[*i][n] == '=')
        return argv[*i] + n + 1;
    return nullptr;
}

int parse(int argc, char** argv, RunnerOptions* o)
{
    for (int i = 1; i < argc; i++) {
        const char* v;
        long number;
        if ((v = option_value(argc, argv, &i, "--track"))) {
            o->track = v;
        } else if ((v = option_value(argc, argv, &i, "--riders"))) {
            if (!read_number(v, 1, rider_slot_count, &number))
                return usage("--riders takes a number from 1 to 40");
            o->riders = int(number);
        } else if ((v = option_value(argc, argv, &i, "--frames"))) {
            if (!read_number(v, 0, 100000000, &number))
                return usage("--frames takes a number of frames");
            o->frames = number;
        } else if ((v = option_value(argc, argv, &i, "--seed"))) {
            if (!read_number(v, 0, 2147483647, &number))
                return usage("--seed takes a non-negative number");
            o->seed = number;
        } else {
            std::string why = std::string("unknown argument '") + argv[i] + "'";
            return usage(why.c_str());
        }
    }
    if (!o->track || o->riders < 0 || o->frames < 0)
        return usage("--track, --riders and --frames are needed");
    return 0;
}

std::string final_digest()
{
    Sha1 sha;
    sha1_start(&sha);
    for (const RiderSlot& slot : session.slots) {
        if (!slot.bike)
            continue;
        for (dBodyID body : slot.bike->bodies) {
            const dReal* p = dBodyGetPosition(body);
            const dReal* q = dBodyGetQuaternion(body);
            sha1_add(&sha, p, 3 * sizeof(dReal));
            sha1_add(&sha, q, 4 * sizeof(dReal));
        }
    }
    uint8_t digest[20];
    char hex[41];
    sha1_finish(&sha, digest);
    sha1_hex(digest, hex);
    return hex;
}

} // namespace

int main(int argc, char** argv)
{
    RunnerOptions options;
    if (int rc = parse(argc, argv, &options))
        return rc;
    if (!locate_game_data()) {
        fprintf(stderr, "dustline-sim: Can't find game data\n");
        return 1;
    }
    config_defaults();
    apply_stability_preset(100);
    list_tracks(data_file_list(), &catalogues.tracks);
    int index = -1;
    for (size_t i = 0; i < catalogues.tracks.folders.size(); i++)
        if (strcmp(catalogues.tracks.folders[i], options.track) == 0)
            index = int(i);
    if (index < 0) {
        fprintf(stderr, "dustline-sim: no track '%s'\n", options.track);
        return 1;
    }
    catalogues.tracks.selected = index;
    launch.track_name = options.track;

    physics_start();
    int32_t kinds[rider_slot_count] = {};
    for (int i = 0; i < options.riders; i++)
        kinds[i] = kind_robot;
    race.frame = int32_t(options.seed); // seeds the roster shuffle and the start
    if (!session_setup(kinds, false, false, 0, 1000, 0)) {
        fprintf(stderr, "dustline-sim: track '%s' failed to load\n", options.track);
        session_free();
        return 1;
    }
    SimPilot pilot;
    start_sim_pilot(&pilot);

    auto begin = std::chrono::steady_clock::now();
    for (long f = 0; f < options.frames; f++)
        simulation_step();
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    double simulated = double(options.frames) * step_length;
    std::string digest = final_digest();
    printf("{\"track\":\"%s\", \"riders\":%d, \"frames\":%ld, \"sim_s\":%.3f, \"wall_s\":%.3f, \"ratio\":%.2f, "
           "\"digest\":\"%s\"}\n",
           options.track, options.riders, options.frames, simulated, wall, wall > 0 ? simulated / wall : 0.0,
           digest.c_str());
    session_free();
    return 0;
}
