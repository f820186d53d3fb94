// The interface assets of "interface.saf": the three fonts, the HUD pictures
// and the title picture, one source file each.
#pragma once
#include "interface_draw.h"

struct Release;

extern const char interface_archive[]; // "interface.saf"

void add_fonts(Release* release);       // interface_fonts.cpp
void add_hud_pictures(Release* release); // interface_hud.cpp
void add_title_picture(Release* release); // interface_title.cpp

// Opens a DejaVu face or ends datagen: a release without its fonts would
// start a game that draws no text.
Face* require_face(const char* file);
