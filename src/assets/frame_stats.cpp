#include "assets/frame_stats.h"

FrameStats frame_stats;
