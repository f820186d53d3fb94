// The kinds of asset in the data release, one source file each.
#pragma once

struct Release;

void add_tracks(Release* release);    // tracks.cpp: every track folder
void add_bikes(Release* release);     // bikes.cpp: bike models, wheels, shapes, textures
void add_rider(Release* release);     // rider.cpp: rider body, head, plate and their textures
void add_objects(Release* release);   // objects.cpp: start gate, tuff blocks, banners
void add_interface(Release* release); // interface.cpp: fonts, HUD pictures, title picture
void add_sounds(Release* release);    // sounds.cpp: engine-sound pipe files
