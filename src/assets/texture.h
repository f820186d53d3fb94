// The texture manager: every picture is requested by file name and gets one
// GL texture name for the whole run. It pads pictures to powers of two,
// drops top mip levels for the texture-detail setting, accounts for texture
// memory, plays ".seq" animations and releases what an old track used.
#pragma once
#include <cstdint>

// The GL texture name of the picture, 0 when it cannot be loaded or when
// there is no current GL context. A leading "!" asks for full resolution;
// "@" names search the data locations. "-hrepeat.", "-vrepeat." and
// "-repeat." in the name repeat the texture across s, t or both; it is
// clamped otherwise.
uint32_t load_texture(const char* name);

// The name a texture was loaded under (without "!"), or null.
const char* texture_name(uint32_t id);

// Deletes every texture stamped with an older non-zero generation, and the
// animations that lose their texture. Session set-up calls it once the new
// session has requested what it needs.
void release_unused_textures();

// Advances every running animation to simulation frame now.
void update_animated_textures(int32_t now);
// Runs the animation of texture id from now; nothing when it has none.
void start_texture_animation(uint32_t id, int32_t now);
void stop_texture_animation(uint32_t id);

// chain holds level 0 and every reduced level (ImageChain layout). Pads to
// powers of two when needed, drops up to skip top levels while both sides
// stay above 128, then upload_levels. 0 on failure.
uint32_t upload_texture(const unsigned char* chain, int32_t width, int32_t height, int32_t channels, int32_t skip,
                        bool repeat_s, bool repeat_t);
// Creates the GL texture from a whole chain, down to 1 x 1.
uint32_t upload_levels(const unsigned char* chain, int32_t width, int32_t height, int32_t channels, bool repeat_s,
                       bool repeat_t);

// The normal (or specular) map that goes with a texture: the texture's own
// "_norm" ("_spec") companion, else the fallback's, each tried as ".seq",
// ".png" and ".ppm". 0 when none loads or the shaders could not sample it.
uint32_t find_normal_map(const char* texture, const char* fallback);
uint32_t find_specular_map(const char* texture, const char* fallback);

struct TextureRecord {
    uint32_t id;
    int32_t generation; // 0: permanent, else the generation last requested in
    int32_t bytes;      // texture memory the upload took
    char* name;         // owned
};

struct AnimationImage {
    int32_t width;
    int32_t height;
    int32_t channels;
    unsigned char* pixels; // a whole chain, owned
};

struct AnimatedTexture {
    uint32_t id;
    int32_t frame_count;
    int32_t shown_image;
    int32_t ticks_per_frame;
    int32_t loop;
    int32_t start;
    int32_t stopped;
    int32_t image_count;
    AnimationImage* images;
    int32_t* frames; // image index of each step
};

// The image an animation shows at simulation frame now.
int32_t animation_image_at(const AnimatedTexture& animation, int32_t now);

// Which axes a texture of this name repeats on.
void texture_repeat_flags(const char* name, bool* repeat_s, bool* repeat_t);

// The border colour for a chain's level 0: the commonest colour of its edge
// pixels (8 levels per channel) with alpha 0 for RGB; transparent black for
// RGBA.
void texture_border_colour(const unsigned char* pixels, int32_t width, int32_t height, int32_t channels,
                           float colour[4]);

// What the manager needs to know of the GL capabilities; start-up hands it
// down from the renderer's probe.
struct TextureCaps {
    bool have_fragment_shader;
    int32_t texture_units;
    bool have_auto_mipmap;
};

extern TextureCaps texture_caps;

// Session set-up increments it for each different track; textures requested
// before the first track carry 0 and are never released.
extern int32_t texture_generation;
// Bytes of texture memory the uploads have taken; the loaders report it.
extern int32_t texture_memory_used;

// The records in load order, for the editor, demos and tests.
int32_t texture_count();
const TextureRecord* texture_record(int32_t index);
int32_t animation_count();
const AnimatedTexture* animation_record(int32_t index);

// Test support: forgets every record and animation, deleting their GL
// textures when a context is current, and zeroes the counters.
void texture_reset();
