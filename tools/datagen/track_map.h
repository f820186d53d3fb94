// The overview picture of a track ("map.png") that the HUD shows in a
// corner: the riding surface over a faint field, the start and the finish.
#pragma once
#include "image_out.h"
#include "track_layout.h"
#include "track_timing.h"

Picture track_map(const TrackGround& ground, const TrackTiming& timing);
