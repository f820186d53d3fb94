// The texture manager: every picture is requested by file name and gets one
// GL texture name for the whole run.
#pragma once
#include <cstdint>

// The GL texture name of the picture, 0 when it cannot be loaded. A leading
// "!" asks for full resolution; "@" names search the data locations.
uint32_t load_texture(const char* name);

// Bytes of texture memory the uploads have taken; the loaders report it.
extern int32_t texture_memory_used;
