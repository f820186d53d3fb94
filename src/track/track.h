// The loaded track: its terrain, timing tables and checksum, loaded from the
// track folder in a fixed order when a race session needs it.
#pragma once
#include "track/terrain.h"

#include <cstdint>

struct LoadedTrack {
    const char* folder;  // the current track folder; null while none is loaded
    bool loaded;
    Terrain terrain;
    uint8_t checksum[20]; // SHA-1 over the files that shape the race
    uint32_t map_texture; // "map.png", 0 when absent
};

extern LoadedTrack loaded_track;

// Makes the folder current without loading it (the menus and the server
// choose tracks this way).
void set_current_track(const char* folder);
// Loads the current track folder; 1 on success. On failure the current track
// is cleared and nothing stays loaded.
int load_track();
// Releases everything load_track created.
void free_track();
