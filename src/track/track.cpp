#include "track/track.h"

#include "assets/texture.h"
#include "base/alloc.h"
#include "base/launch.h"
#include "base/sha1.h"
#include "data/home.h"
#include "data/stream.h"
#include "koru/log.h"
#include "track/lighting.h"
#include "track/objects.h"
#include "track/shape.h"
#include "track/timing_gates.h"

#include <cstring>
#include <string>
#include <vector>

LoadedTrack loaded_track;

namespace {

// Adds the bytes of a data file to the checksum; a missing file adds
// nothing.
void feed_data(Sha1* sha, const char* path)
{
    DataStream* stream = data_open(path, "rb");
    if (!stream)
        return;
    char block[1024];
    int n;
    while ((n = data_read(stream, block, sizeof block)) > 0)
        sha1_add(sha, block, size_t(n));
    data_close(stream);
}

void feed_file(Sha1* sha, const char* folder, const char* name)
{
    feed_data(sha, (std::string(folder) + "/" + name).c_str());
}

// The collision shapes decide what a bike hits, so two tracks that differ
// only in a shape file must not pass for the same track. Each file counts
// once, in the order the statues first use it.
void feed_statue_shapes(Sha1* sha)
{
    std::vector<const char*> fed;
    for (int32_t i = 0; i < track_objects.statue_count; i++) {
        const CollisionShape* shape = track_objects.statues[i].shape;
        if (!shape)
            continue;
        bool seen = false;
        for (const char* name : fed)
            seen = seen || strcmp(name, shape->name) == 0;
        if (seen)
            continue;
        fed.push_back(shape->name);
        feed_data(sha, shape->name);
    }
}

// Reads one optional track file with its reader; a missing file is silent.
void read_track_file(const char* folder, const char* name, void (*reader)(DataStream*))
{
    DataStream* stream = open_track_file(folder, name, "rb", false);
    reader(stream);
    if (stream)
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
    clear_track_objects();
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
    // Every starting place gets its start gate, the first of the statues.
    set_timing_gate_hooks({create_start_gate});
    read_track_file(folder, "timing_gates", load_timing_gates);

    create_roost_sprites();
    read_track_file(folder, "flaggers", load_flaggers);
    log_texture_memory("flagger creation");
    // The editor writes back only what the files hold, not the program's
    // own sprites, boards and gates made so far.
    mark_file_objects();
    read_track_file(folder, "billboards", load_billboards);
    log_texture_memory("billboard creation");

    // The statues file shapes the race through its collision shapes, so it is
    // part of the checksum even before the objects themselves are placed.
    feed_file(&sha, folder, "statues");
    read_track_file(folder, "statues", load_statues);
    log_texture_memory("statue creation");
    read_track_file(folder, "lighting", load_lighting);
    track.map_texture = load_texture((search_name + "/map.png").c_str());
    rebin_statues();
    feed_statue_shapes(&sha);
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
    clear_track_objects();
    free_terrain(&track.terrain);
    track.map_texture = 0;
    track.loaded = false;
    koru_log("Finished deallocating track\n");
}
