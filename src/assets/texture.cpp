#include "assets/texture.h"

#include "assets/image.h"
#include "base/launch.h"
#include "base/message_log.h"
#include "data/home.h"
#include "data/stream.h"
#include "koru/log.h"
#include "koru/window.h"

#include <GL/gl.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

TextureCaps texture_caps = {false, 1, false};
int32_t texture_generation = 0;
int32_t texture_memory_used = 0;

namespace {

// Growable arrays of pointers in load order: first capacity 16, doubled when
// full. A failed growth leaves the caller's item unrecorded.
template <typename T>
struct PointerList {
    T** items = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;

    bool append(T* item)
    {
        if (count == capacity) {
            int32_t grown = capacity ? capacity * 2 : 16;
            if (grown <= capacity)
                return false;
            auto** moved = static_cast<T**>(std::realloc(items, sizeof(T*) * size_t(grown)));
            if (!moved)
                return false;
            items = moved;
            capacity = grown;
        }
        items[count++] = item;
        return true;
    }
    void remove(int32_t index)
    {
        std::memmove(items + index, items + index + 1, sizeof(T*) * size_t(count - index - 1));
        count--;
    }
};

PointerList<TextureRecord> textures;
PointerList<AnimatedTexture> animations;

bool power_of_two(int32_t n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

int32_t next_power_of_two(int32_t n)
{
    int32_t p = 1;
    while (p < n && p <= INT32_MAX / 2)
        p *= 2;
    return p;
}

// The counter is a 32-bit total; a long run of huge uploads stops at the top
// rather than wrapping negative.
void add_memory(int64_t bytes)
{
    texture_memory_used = int32_t(std::clamp<int64_t>(int64_t(texture_memory_used) + bytes, INT32_MIN, INT32_MAX));
}

GLenum pixel_format(int32_t channels)
{
    return channels == 4 ? GL_RGBA : GL_RGB;
}

size_t level_bytes(int32_t width, int32_t height, int32_t channels)
{
    return size_t(width) * size_t(height) * size_t(channels);
}

void free_animation(AnimatedTexture* animation)
{
    if (!animation)
        return;
    if (animation->images)
        for (int32_t i = 0; i < animation->image_count; i++)
            std::free(animation->images[i].pixels);
    std::free(animation->images);
    std::free(animation->frames);
    std::free(animation);
}

AnimatedTexture* find_animation(uint32_t id)
{
    for (int32_t i = 0; i < animations.count; i++)
        if (animations.items[i]->id == id)
            return animations.items[i];
    return nullptr;
}

bool reads_as_picture(const char* word)
{
    return std::strcmp(word, "K7") == 0 || std::strcmp(word, "K6") == 0 || std::strcmp(word, "P3") == 0 ||
           std::strcmp(word, "P6") == 0;
}

bool read_picture(const char* word, DataStream* stream, ImageChain* image)
{
    if (std::strcmp(word, "K7") == 0)
        return read_predictive_image(word, stream, 4, image);
    if (std::strcmp(word, "K6") == 0)
        return read_predictive_image(word, stream, 3, image);
    return read_ppm(word, stream, image);
}

// One image of a ".seq"; false once the error has been reported.
bool read_sequence_image(DataStream* stream, int32_t index, AnimationImage* out)
{
    char word[16] = "";
    ImageChain image{};
    if (data_scan(stream, "%15s", word) != 1)
        word[0] = '\0';
    if (std::strcmp(word, "K7") == 0) {
        if (!read_predictive_image(word, stream, 4, &image)) {
            post_messagef("Error reading .seq frame %d", int(index));
            return false;
        }
    } else if (std::strcmp(word, "PNG") == 0) {
        char line[1024];
        if (!data_gets(stream, line, int(sizeof line))) {
            post_message("EOF while reading .seq");
            return false;
        }
        const char* first = line;
        while (*first == ' ' || *first == '\t' || *first == '\r' || *first == '\n' || *first == '\f' || *first == '\v')
            first++;
        std::string file(first);
        while (!file.empty() && std::strchr(" \t\r\n\f\v", file.back()))
            file.pop_back();
        if (!read_png(file.c_str(), &image)) {
            post_messagef("Can't read %.900s", file.c_str());
            return false;
        }
    } else {
        post_messagef("Error reading .seq frame %d", int(index));
        return false;
    }
    *out = AnimationImage{image.width, image.height, image.channels, image.pixels};
    return true;
}

enum class SequenceResult { loaded, dropped, not_a_sequence };

// The rest of an "ANIM1" file. Only a header that does not describe any
// frames sends the caller on to the PNG attempt.
SequenceResult load_sequence(DataStream* stream, bool repeat_s, bool repeat_t, uint32_t* id)
{
    int32_t frame_count = 0, image_count = 0, ticks = 0, loop = 0;
    if (data_scan(stream, "%d %d %d %d", &frame_count, &image_count, &ticks, &loop) != 4 || frame_count <= 0 ||
        image_count <= 0)
        return SequenceResult::not_a_sequence;

    auto* animation = static_cast<AnimatedTexture*>(std::calloc(1, sizeof(AnimatedTexture)));
    if (!animation)
        return SequenceResult::dropped;
    animation->ticks_per_frame = ticks;
    animation->loop = loop;
    // Counts come from the file: allocate without alloc_or_die so a damaged
    // header drops the animation instead of ending the game.
    animation->frames = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * size_t(frame_count)));
    animation->images = static_cast<AnimationImage*>(std::calloc(size_t(image_count), sizeof(AnimationImage)));
    if (!animation->frames || !animation->images) {
        free_animation(animation);
        return SequenceResult::dropped;
    }
    for (int32_t i = 0; i < frame_count; i++) {
        if (data_scan(stream, "%d ", &animation->frames[i]) != 1) {
            free_animation(animation);
            return SequenceResult::dropped;
        }
        animation->frame_count = i + 1;
    }
    for (int32_t i = 0; i < image_count; i++) {
        AnimationImage& image = animation->images[i];
        if (!read_sequence_image(stream, i, &image)) {
            free_animation(animation);
            return SequenceResult::dropped;
        }
        animation->image_count = i + 1;
        const AnimationImage& first = animation->images[0];
        if (image.width != first.width || image.height != first.height) {
            post_message("Width/height mismatch reading .seq");
            free_animation(animation);
            return SequenceResult::dropped;
        }
        if (image.channels != first.channels) {
            post_message("Depth mismatch reading .seq");
            free_animation(animation);
            return SequenceResult::dropped;
        }
    }
    // A step that names a missing image would be read out of bounds every
    // frame it is shown.
    for (int32_t i = 0; i < frame_count; i++) {
        if (animation->frames[i] < 0 || animation->frames[i] >= image_count) {
            post_messagef("Bad image %d in .seq step %d", int(animation->frames[i]), int(i));
            free_animation(animation);
            return SequenceResult::dropped;
        }
    }
    animation->shown_image = animation->frames[0];
    const AnimationImage& shown = animation->images[animation->shown_image];
    animation->id = upload_levels(shown.pixels, shown.width, shown.height, shown.channels, repeat_s, repeat_t);
    if (!animation->id) {
        free_animation(animation);
        return SequenceResult::dropped;
    }
    *id = animation->id;
    if (!animations.append(animation))
        free_animation(animation); // the texture stays, frozen on its first image
    return SequenceResult::loaded;
}

void record_texture(uint32_t id, int32_t bytes, const char* name)
{
    auto* record = static_cast<TextureRecord*>(std::malloc(sizeof(TextureRecord)));
    char* copy = strdup(name);
    if (!record || !copy || !textures.append(record)) {
        std::free(record);
        std::free(copy);
        return;
    }
    *record = TextureRecord{id, texture_generation, bytes, copy};
}

// Tries "<name without extension><suffix>" for each suffix, for the
// texture's own name and then the fallback's.
uint32_t find_companion(const char* texture, const char* fallback, const char* const* suffixes, int32_t units_needed)
{
    if (texture_caps.have_fragment_shader && texture_caps.texture_units < units_needed)
        return 0;
    for (const char* name : {texture, fallback}) {
        if (!name)
            continue;
        const char* dot = std::strrchr(name, '.');
        if (!dot)
            continue;
        const std::string base(name, size_t(dot - name));
        for (int i = 0; i < 3; i++) {
            uint32_t id = load_texture((base + suffixes[i]).c_str());
            if (id)
                return id;
        }
    }
    return 0;
}

} // namespace

void texture_repeat_flags(const char* name, bool* repeat_s, bool* repeat_t)
{
    const bool both = name && std::strstr(name, "-repeat.");
    *repeat_s = both || (name && std::strstr(name, "-hrepeat."));
    *repeat_t = both || (name && std::strstr(name, "-vrepeat."));
}

void texture_border_colour(const unsigned char* pixels, int32_t width, int32_t height, int32_t channels,
                           float colour[4])
{
    colour[0] = colour[1] = colour[2] = colour[3] = 0;
    if (channels != 3 || !pixels || width < 1 || height < 1)
        return;
    int32_t bins[512] = {};
    auto count = [&](int32_t x, int32_t y) {
        const unsigned char* p = pixels + (size_t(y) * size_t(width) + size_t(x)) * 3;
        bins[(p[0] * 7 / 255) * 64 + (p[1] * 7 / 255) * 8 + p[2] * 7 / 255]++;
    };
    for (int32_t x = 0; x < width; x++) {
        count(x, 0);
        count(x, height - 1);
    }
    for (int32_t y = 0; y < height; y++) {
        count(0, y);
        count(width - 1, y);
    }
    // Of equally full bins the darkest (lowest index) wins.
    int best = 0;
    for (int i = 1; i < 512; i++)
        if (bins[i] > bins[best])
            best = i;
    colour[0] = float(best / 64) / 7.0f;
    colour[1] = float(best / 8 % 8) / 7.0f;
    colour[2] = float(best % 8) / 7.0f;
}

uint32_t upload_levels(const unsigned char* chain, int32_t width, int32_t height, int32_t channels, bool repeat_s,
                       bool repeat_t)
{
    if (!chain || width < 1 || height < 1 || (channels != 3 && channels != 4) || !koru_gl_context_current())
        return 0;
    GLuint id = 0;
    glGenTextures(1, &id);
    if (!id)
        return 0;
    glBindTexture(GL_TEXTURE_2D, id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, repeat_s ? GL_REPEAT : GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, repeat_t ? GL_REPEAT : GL_CLAMP);
    for (int i = 0; i < 64 && glGetError() != GL_NO_ERROR; i++) {
    }
    if (!repeat_s)
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    if (!repeat_t)
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    const bool no_edge_clamp = glGetError() != GL_NO_ERROR;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, no_edge_clamp ? GL_NEAREST_MIPMAP_NEAREST : GL_LINEAR_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    float border[4];
    texture_border_colour(chain, width, height, channels, border);
    glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, border);

    // Rows of the chain are tightly packed, whatever alignment is in force.
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const unsigned char* level = chain;
    for (GLint i = 0;; i++) {
        const int32_t w = std::max(1, width >> i);
        const int32_t h = std::max(1, height >> i);
        glTexImage2D(GL_TEXTURE_2D, i, channels, w, h, 0, pixel_format(channels), GL_UNSIGNED_BYTE, level);
        level += level_bytes(w, h, channels);
        add_memory(int64_t(level_bytes(w, h, channels)));
        if (w == 1 && h == 1)
            break;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    glBindTexture(GL_TEXTURE_2D, 0);
    return id;
}

uint32_t upload_texture(const unsigned char* chain, int32_t width, int32_t height, int32_t channels, int32_t skip,
                        bool repeat_s, bool repeat_t)
{
    if (!chain || width < 1 || height < 1 || (channels != 3 && channels != 4))
        return 0;
    if (power_of_two(width) && power_of_two(height)) {
        // Never below 128 texels on the shorter side.
        while (skip > 0 && width > 128 && height > 128) {
            chain += level_bytes(width, height, channels);
            width /= 2;
            height /= 2;
            skip--;
        }
        return upload_levels(chain, width, height, channels, repeat_s, repeat_t);
    }
    const int32_t wide = next_power_of_two(width);
    const int32_t high = next_power_of_two(height);
    const size_t size = image_chain_size(wide, high, channels);
    if (size == 0)
        return 0;
    auto* padded = static_cast<unsigned char*>(std::malloc(size));
    if (!padded)
        return 0;
    for (int32_t y = 0; y < high; y++) {
        const int32_t sy = int32_t(int64_t(y) * height / high);
        for (int32_t x = 0; x < wide; x++) {
            const int32_t sx = int32_t(int64_t(x) * width / wide);
            std::memcpy(padded + (size_t(y) * size_t(wide) + size_t(x)) * size_t(channels),
                        chain + (size_t(sy) * size_t(width) + size_t(sx)) * size_t(channels), size_t(channels));
        }
    }
    build_mip_levels(padded, wide, high, channels, false);
    const uint32_t id = upload_texture(padded, wide, high, channels, skip, repeat_s, repeat_t);
    std::free(padded);
    return id;
}

uint32_t load_texture(const char* name)
{
    // Headless tools and tests load tracks without a window: nothing may
    // reach GL then, and every caller copes with texture 0.
    if (!name || !koru_gl_context_current())
        return 0;
    int32_t skip = launch.texture_skip_levels;
    if (name[0] == '!') {
        name++;
        skip = 0;
    }
    for (int32_t i = 0; i < textures.count; i++) {
        TextureRecord* record = textures.items[i];
        if (std::strcmp(record->name, name) != 0) {
            if (strcasecmp(record->name, name) != 0)
                continue;
            post_messagef("Warning: case mismatch on '%.900s'", name);
        }
        if (record->generation != 0 && record->generation != texture_generation) {
            record->generation = texture_generation;
            add_memory(record->bytes);
        }
        return record->id;
    }

    DataStream* stream = data_open(name, "rb");
    if (!stream) {
        if (launch.debug_level >= 1)
            post_messagef("Can't open texture \"%.900s\"", name);
        return 0;
    }
    bool repeat_s, repeat_t;
    texture_repeat_flags(name, &repeat_s, &repeat_t);
    const int32_t memory_before = texture_memory_used;

    char word[16];
    if (data_scan(stream, "%15s", word) != 1) {
        data_close(stream);
        return 0;
    }
    uint32_t id = 0;
    bool try_png = true;
    ImageChain image{};
    if (reads_as_picture(word)) {
        if (read_picture(word, stream, &image))
            try_png = false;
    } else if (std::strcmp(word, "ANIM1") == 0) {
        SequenceResult result = load_sequence(stream, repeat_s, repeat_t, &id);
        if (result == SequenceResult::dropped) {
            data_close(stream);
            return 0;
        }
        try_png = result == SequenceResult::not_a_sequence;
    }
    data_close(stream);
    if (try_png && !read_png(name, &image))
        return 0;
    if (image.pixels) {
        id = upload_texture(image.pixels, image.width, image.height, image.channels, skip, repeat_s, repeat_t);
        if (id && (!power_of_two(image.width) || !power_of_two(image.height)))
            post_messagef("Warning: Non power of 2 texture '%.950s'", name);
        std::free(image.pixels);
    }
    if (!id)
        return 0;
    record_texture(id, int32_t(int64_t(texture_memory_used) - memory_before), name);
    return id;
}

const char* texture_name(uint32_t id)
{
    for (int32_t i = 0; i < textures.count; i++)
        if (textures.items[i]->id == id)
            return textures.items[i]->name;
    return nullptr;
}

void release_unused_textures()
{
    const bool have_gl = koru_gl_context_current();
    for (int32_t i = textures.count - 1; i >= 0; i--) {
        TextureRecord* record = textures.items[i];
        if (record->generation == 0 || record->generation == texture_generation)
            continue;
        if (launch.debug_level >= 1)
            koru_log("deleting tid %d (%.900s)\n", int(record->id), record->name);
        if (have_gl) {
            GLuint id = record->id;
            glDeleteTextures(1, &id);
        }
        std::free(record->name);
        std::free(record);
        textures.remove(i);
    }
    for (int32_t i = animations.count - 1; i >= 0; i--) {
        AnimatedTexture* animation = animations.items[i];
        if (texture_name(animation->id))
            continue;
        if (launch.debug_level >= 1)
            koru_log("deleting anim %d for tid %d\n", int(i), int(animation->id));
        free_animation(animation);
        animations.remove(i);
    }
}

int32_t animation_image_at(const AnimatedTexture& animation, int32_t now)
{
    if (animation.frame_count < 1 || !animation.frames)
        return animation.shown_image;
    // A sequence of 0 ticks per step would divide by zero: it steps every frame.
    const int64_t ticks = std::max<int32_t>(1, animation.ticks_per_frame);
    int64_t step = std::max<int64_t>(0, int64_t(now) - animation.start) / ticks;
    if (animation.loop)
        step %= animation.frame_count;
    else
        step = std::min<int64_t>(step, animation.frame_count - 1);
    return animation.frames[step];
}

void update_animated_textures(int32_t now)
{
    if (animations.count == 0 || !koru_gl_context_current())
        return;
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int32_t a = 0; a < animations.count; a++) {
        AnimatedTexture* animation = animations.items[a];
        if (animation->stopped)
            continue;
        const int32_t shown = animation_image_at(*animation, now);
        if (shown == animation->shown_image || shown < 0 || shown >= animation->image_count)
            continue;
        const AnimationImage& image = animation->images[shown];
        glBindTexture(GL_TEXTURE_2D, animation->id);
        const unsigned char* level = image.pixels;
        for (GLint i = 0;; i++) {
            const int32_t w = std::max(1, image.width >> i);
            const int32_t h = std::max(1, image.height >> i);
            glTexSubImage2D(GL_TEXTURE_2D, i, 0, 0, w, h, pixel_format(image.channels), GL_UNSIGNED_BYTE, level);
            level += level_bytes(w, h, image.channels);
            if (w == 1 && h == 1)
                break;
        }
        animation->shown_image = shown;
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}

void start_texture_animation(uint32_t id, int32_t now)
{
    if (AnimatedTexture* animation = find_animation(id)) {
        animation->stopped = 0;
        animation->start = now;
    }
}

void stop_texture_animation(uint32_t id)
{
    if (AnimatedTexture* animation = find_animation(id))
        animation->stopped = 1;
}

uint32_t find_normal_map(const char* texture, const char* fallback)
{
    static const char* const suffixes[3] = {"_norm.seq", "_norm.png", "_norm.ppm"};
    return find_companion(texture, fallback, suffixes, 2);
}

uint32_t find_specular_map(const char* texture, const char* fallback)
{
    static const char* const suffixes[3] = {"_spec.seq", "_spec.png", "_spec.ppm"};
    return find_companion(texture, fallback, suffixes, 3);
}

int32_t texture_count()
{
    return textures.count;
}

const TextureRecord* texture_record(int32_t index)
{
    return index >= 0 && index < textures.count ? textures.items[index] : nullptr;
}

int32_t animation_count()
{
    return animations.count;
}

const AnimatedTexture* animation_record(int32_t index)
{
    return index >= 0 && index < animations.count ? animations.items[index] : nullptr;
}

void texture_reset()
{
    const bool have_gl = koru_gl_context_current();
    for (int32_t i = 0; i < textures.count; i++) {
        if (have_gl) {
            GLuint id = textures.items[i]->id;
            glDeleteTextures(1, &id);
        }
        std::free(textures.items[i]->name);
        std::free(textures.items[i]);
    }
    for (int32_t i = 0; i < animations.count; i++)
        free_animation(animations.items[i]);
    std::free(textures.items);
    std::free(animations.items);
    textures = {};
    animations = {};
    texture_generation = 0;
    texture_memory_used = 0;
}
