// Catalogues built at start-up from the data file list: the tracks, the
// demos and the texture sets the player can choose from.
#pragma once
#include <vector>

struct TrackCatalogue {
    std::vector<const char*> folders; // track folder names
    std::vector<const char*> names;   // display names, sorted
    int selected = 0;                 // the "Track" choice of the menus
};

struct DemoCatalogue {
    std::vector<const char*> files; // data names under "demos/"
    std::vector<const char*> names; // display names
};

// One texture set: "default" (no path) first, then "@" + data name of every
// matching picture, with the display name between the prefix and ".png".
struct TextureCatalogue {
    std::vector<const char*> paths;
    std::vector<const char*> names;
};

struct Catalogues {
    TrackCatalogue tracks;
    DemoCatalogue demos;
    TextureCatalogue rider_body;
    TextureCatalogue rider_head;
    TextureCatalogue bike;
    TextureCatalogue wheels;
};

extern Catalogues catalogues;

// Reads the track list from the given file list (ended by an empty entry).
void list_tracks(const char* const* files, TrackCatalogue* tracks);
void list_demos(const char* const* files, DemoCatalogue* demos);
void list_textures(const char* const* files, const char* prefix, TextureCatalogue* catalogue);
// The index of the track folder named, by the rule of the "Track" choice:
// the position of the first display name equal to that folder's; 0 without
// a match.
int select_track(const TrackCatalogue& tracks, const char* folder);
