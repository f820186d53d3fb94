#include "track/track.h"

#include "assets/texture.h"
#include "base/alloc.h"
#include "base/launch.h"
#include "base/sha1.h"
#include "data/home.h"
#include "data/stream.h"
#include "koru/log.h"
#include "track/timing_gates.h"

#include <string>

LoadedTrack loaded_track;

namespace {

// Adds the file's bytes to the checksum; a missing file adds nothing.
void feed_file(Sha1* sha, const char* folder, const char* name)
{
    std::string path = std::string(folder) + "/" + name;
    DataStream* stream = data_open(path.c_str(), "rb");
    if (!stream)
        return;
    char block[1024];
    int n;
    while ((n = data_read(stream, block, sizeof block)) > 0)
        sha1_add(sha, block, size_t(n));
    data_close(stream);
}

void log_texture_memory(const char* when)
{
    if (launch.debug_level >= 1)
        koru_log("%lu bytes texture memory used after %s\n", (unsigned long)texture_memory_used, when);
}

} // namespace

void set_current_track(const char* folder)
{
    loaded_track.folder = folder ? intern_string(folder) : nullptr;
}

int load_track()
{
    LoadedTrack& track = loaded_track;
    if (track.loaded)
        free_track();
    if (!track.folder)
        return 0;
    // Track files are found along the data search path.
    std::string search_name = std::string("@") + track.folder;
    const char* folder = search_name.c_str();
    Sha1 sha;
    sha1_start(&sha);
    for (const char* name : {"terrain.hf", "terrain.png", "texturelist", "tilemap", "tileinfo"})
        feed_file(&sha, folder, name);
    if (launch.debug_level >= 1)
        koru_log("Loading '%s'\n", track.folder);
    if (!load_terrain(&track.terrain, folder)) {
        track.folder = nullptr;
        return 0;
    }
    track.loaded = true;
    log_texture_memory("hf creation");

    feed_file(&sha, folder, "timing_gates");
    DataStream* gates = open_track_file(folder, "timing_gates", "rb", false);
    load_timing_gates(gates);
    if (gates)
        data_close(gates);

    // The statues file shapes the race through its collision shapes, so it is
    // part of the checksum even before the objects themselves are placed.
    feed_file(&sha, folder, "statues");
    track.map_texture = load_texture((search_name + "/map.png").c_str());
    sha1_finish(&sha, track.checksum);
    return 1;
}

void free_track()
{
    LoadedTrack& track = loaded_track;
    if (!track.loaded)
        return;
    koru_log("Deallocating track\n");
    free_timing_gates();
    free_terrain(&track.terrain);
    track.map_texture = 0;
    track.loaded = false;
    koru_log("Finished deallocating track\n");
}
