#include "track/lighting.h"

#include "assets/texture.h"
#include "base/alloc.h"
#include "base/message_log.h"
#include "data/stream.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

Lighting lighting;

namespace {

const char* const sky_keywords[sky_face_count] = {"sky_n", "sky_e", "sky_s", "sky_w", "sky_u"};
const char* const sky_defaults[sky_face_count] = {"@sky-n.ppm", "@sky-e.ppm", "@sky-s.ppm", "@sky-w.ppm",
                                                  "@sky-u.ppm"};
const char* const env_map_default = "@sky-env.ppm";

void set3(float v[3], float x, float y, float z)
{
    v[0] = x;
    v[1] = y;
    v[2] = z;
}

void clear_flare(LensFlare* flare)
{
    *flare = {};
    flare->directional = 1;
}

void append_flare(Lighting& l, const LensFlare& flare)
{
    if (l.flare_count == l.flare_capacity) {
        int32_t capacity = l.flare_capacity ? l.flare_capacity * 2 : 16;
        l.flares = static_cast<LensFlare*>(realloc_or_die(l.flares, size_t(capacity) * sizeof(LensFlare)));
        l.flare_capacity = capacity;
    }
    l.flares[l.flare_count++] = flare;
}

// A texture the file named keeps its name even when it cannot be loaded
// (headless, every texture is 0); the default replaces it only when the
// default itself loads, or when the file named nothing.
void apply_default(uint32_t* texture, const char** name, const char* fallback)
{
    if (*texture)
        return;
    *texture = load_texture(fallback);
    if (*texture || !*name)
        *name = fallback;
}

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

// One line of the file; false ends the reading.
bool read_line(Lighting& l, LensFlare* building, char* line)
{
    size_t length = strlen(line);
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r'))
        line[--length] = 0;
    char* keyword = line;
    while (is_blank(*keyword))
        keyword++;
    if (!*keyword)
        return true;
    char* argument = keyword;
    while (*argument && !is_blank(*argument))
        argument++;
    if (*argument) {
        *argument++ = 0;
        while (is_blank(*argument))
            argument++;
    }

    // Vector keywords scan straight into the fields, so that the numbers
    // that can be read replace the old values and the rest stay.
    struct {
        const char* keyword;
        float* values;
    } const vectors[] = {
        {"sun_vector", l.sun_vector},
        {"sun_color", l.sun_color},
        {"ambient", l.ambient},
        {"global_ambient", l.global_ambient},
    };
    for (const auto& v : vectors)
        if (strcmp(keyword, v.keyword) == 0) {
            data_sscan(argument, " [ %f %f %f ] ", &v.values[0], &v.values[1], &v.values[2]);
            return true;
        }
    for (int i = 0; i < sky_face_count; i++)
        if (strcmp(keyword, sky_keywords[i]) == 0) {
            if (*argument) {
                l.sky_name[i] = intern_string(argument);
                l.sky[i] = load_texture(argument);
            }
            return true;
        }
    if (strcmp(keyword, "sky_env") == 0) {
        if (*argument) {
            l.env_map_name = intern_string(argument);
            l.env_map = load_texture(argument);
        }
        return true;
    }
    if (strcmp(keyword, "flare_element") == 0) {
        float a, b, red, green, blue, size;
        char name[1024];
        int n = data_sscan(argument, " [ %f %f ] [ %f %f %f ] %f %1023s", &a, &b, &red, &green, &blue, &size, name);
        if (n >= 7 && building->element_count < max_flare_elements) {
            int k = building->element_count++;
            building->element_offset[k][0] = a;
            building->element_offset[k][1] = b;
            set3(building->element_color[k], red, green, blue);
            building->element_size[k] = size;
            building->element_texture_name[k] = intern_string(name);
            building->element_texture[k] = load_texture(name);
        }
        return true;
    }
    bool point = strcmp(keyword, "flare_point") == 0;
    if (point || strcmp(keyword, "flare_vector") == 0) {
        float* p = building->position;
        data_sscan(argument, " [ %f %f %f ] ", &p[0], &p[1], &p[2]);
        building->directional = point ? 0 : 1;
        append_flare(l, *building);
        clear_flare(building);
        return true;
    }
    if (strcmp(keyword, "fog") == 0) {
        float red, green, blue, density;
        if (data_sscan(argument, " [ %f %f %f ] %f ", &red, &green, &blue, &density) == 4) {
            set3(l.fog_color, red, green, blue);
            l.fog_density = density;
        }
        return true;
    }
    post_messagef("Error reading lighting: Unknown identifier '%.950s'\n", keyword);
    return false;
}

} // namespace

void load_lighting(DataStream* stream)
{
    Lighting& l = lighting;
    set3(l.sun_vector, 1, 1, 1);
    set3(l.sun_color, 1, 1, 1);
    set3(l.ambient, 0.5f, 0.5f, 0.5f);
    set3(l.global_ambient, 0.2f, 0.2f, 0.2f);
    for (int i = 0; i < sky_face_count; i++) {
        l.sky[i] = 0;
        l.sky_name[i] = nullptr;
    }
    l.env_map = 0;
    l.env_map_name = nullptr;
    l.fog_density = 0; // the fog colour stays from the previous track
    l.flare_count = 0;

    if (stream) {
        // Elements after the last flare line belong to no flare and are
        // dropped with the one still under construction.
        LensFlare building;
        clear_flare(&building);
        char line[1024];
        while (data_gets(stream, line, sizeof line))
            if (!read_line(l, &building, line))
                break;
    }

    float length = std::sqrt(l.sun_vector[0] * l.sun_vector[0] + l.sun_vector[1] * l.sun_vector[1] +
                             l.sun_vector[2] * l.sun_vector[2]);
    // A zero vector has no direction; the default sun keeps the light finite.
    if (!(length > 0) || !std::isfinite(length)) {
        set3(l.sun_vector, 1, 1, 1);
        length = std::sqrt(3.0f);
    }
    for (float& c : l.sun_vector)
        c /= length;
    for (int i = 0; i < sky_face_count; i++)
        apply_default(&l.sky[i], &l.sky_name[i], sky_defaults[i]);
    apply_default(&l.env_map, &l.env_map_name, env_map_default);
}

void free_lighting()
{
    free(lighting.flares);
    lighting.flares = nullptr;
    lighting.flare_count = 0;
    lighting.flare_capacity = 0;
}
