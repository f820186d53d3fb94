#include "track/material.h"

#include "assets/texture.h"
#include "base/message_log.h"
#include "data/stream.h"
#include "track/terrain.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// Smallest speed a given curve point may have: 0 marks an unused point.
constexpr float min_point_speed = 1.0f / 1048576.0f;

// The fade parameters are per second in the file and per step in memory.
constexpr double steps_per_second = 128.0;

bool is_line_space(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool is_white(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_word_break(char c)
{
    return c == ' ' || c == '\f' || c == '\n' || c == '\r' || c == '\t' || c == '\b';
}

// Low 8 bits of the value truncated toward zero, computed without an integer
// conversion so that out-of-range numbers cannot overflow. Not-a-number and
// infinities have no low bits; they give 0.
uint8_t low_byte(double value)
{
    if (!std::isfinite(value))
        return 0;
    double m = std::fmod(std::trunc(value), 256.0);
    if (m < 0)
        m += 256.0;
    return uint8_t(m);
}

// The next word of a roost parameter list; a double-quoted run (even inside a
// word) keeps its blanks and loses its quotes.
bool next_word(const char*& p, std::string& word)
{
    while (*p && is_word_break(*p))
        p++;
    if (!*p)
        return false;
    word.clear();
    bool quoted = false;
    for (; *p && (quoted || !is_word_break(*p)); p++) {
        if (*p == '"')
            quoted = !quoted;
        else
            word += *p;
    }
    return true;
}

enum class Param { texture, splash, number, colour, fade };

struct RoostParam {
    const char* prefix;
    Param kind;
    float RoostType::*field; // for Param::number
    int channel;             // for colour and fade
    const char* name;        // in the "bad" warning
};

// Matched by prefix in this order.
const RoostParam roost_params[] = {
    {"texture=", Param::texture, nullptr, 0, "texture"},
    {"splash=", Param::splash, nullptr, 0, "splash"},
    {"count=", Param::number, &RoostType::count, 0, "count"},
    {"dig=", Param::number, &RoostType::dig, 0, "dig"},
    {"slip_threshold=", Param::number, &RoostType::slip_threshold, 0, "slip_threshold"},
    {"slow_angle=", Param::number, &RoostType::slow_angle, 0, "slow_angle"},
    {"fast_angle=", Param::number, &RoostType::fast_angle, 0, "fast_angle"},
    {"slow_speed=", Param::number, &RoostType::slow_speed, 0, "slow_speed"},
    {"fast_speed=", Param::number, &RoostType::fast_speed, 0, "fast_speed"},
    {"size=", Param::number, &RoostType::size, 0, "size"},
    {"grow=", Param::number, &RoostType::grow, 0, "grow"},
    {"drag=", Param::number, &RoostType::drag, 0, "drag"},
    {"vscale=", Param::number, &RoostType::vscale, 0, "vscale"},
    {"randomize=", Param::number, &RoostType::randomize, 0, "randomize"},
    {"r=", Param::colour, nullptr, 0, "r"},
    {"g=", Param::colour, nullptr, 1, "g"},
    {"b=", Param::colour, nullptr, 2, "b"},
    {"a=", Param::colour, nullptr, 3, "a"},
    {"fade_r=", Param::fade, nullptr, 0, "fade_r"},
    {"fade_g=", Param::fade, nullptr, 1, "fade_g"},
    {"fade_b=", Param::fade, nullptr, 2, "fade_b"},
    {"fade_a=", Param::fade, nullptr, 3, "fade_a"},
};

// The particle texture of a roost that names none: requested once per file,
// and only when some material throws roost.
struct DefaultRoostTexture {
    bool loaded = false;
    uint32_t texture = 0;
    uint32_t get()
    {
        if (!loaded) {
            texture = load_texture("@roost.png");
            loaded = true;
        }
        return texture;
    }
};

RoostType thrown_roost(DefaultRoostTexture& texture)
{
    RoostType roost = default_roost_type();
    roost.kind = roost_roost;
    roost.texture = texture.get();
    return roost;
}

void parse_roost_params(RoostType* roost, const char* text)
{
    std::string word;
    const char* p = text;
    while (next_word(p, word)) {
        const RoostParam* param = nullptr;
        for (const RoostParam& candidate : roost_params) {
            if (word.compare(0, strlen(candidate.prefix), candidate.prefix) == 0) {
                param = &candidate;
                break;
            }
        }
        if (!param) {
            post_messagef("tileinfo warning: unknown roost parameter '%.40s'\n", word.c_str());
            continue;
        }
        const char* value_text = word.c_str() + strlen(param->prefix);
        if (param->kind == Param::texture) {
            roost->texture = load_texture(value_text);
            continue;
        }
        char* end = nullptr;
        double value = strtod(value_text, &end);
        if (end == value_text) {
            value = 0;
            if (param->kind != Param::splash)
                post_messagef("tileinfo warning: bad %s\n", param->name);
        }
        switch (param->kind) {
        case Param::splash:
            if (value != 0)
                roost->kind = roost_splash;
            break;
        case Param::number:
            roost->*param->field = float(value);
            break;
        case Param::colour:
            roost->colour[param->channel] = low_byte(value);
            break;
        case Param::fade:
            roost->fade[param->channel] = int8_t(low_byte(value / steps_per_second));
            break;
        case Param::texture:
            break;
        }
    }
}

// Adjacent exchanges only when the earlier speed is strictly greater, so
// points of equal speed keep their file order (the lookups take the first of
// them as the upper end of an interval and the last as the lower end).
template <typename Swap>
void sort_points(float* speeds, int count, Swap swap_points)
{
    for (int pass = 0; pass + 1 < count; pass++)
        for (int k = 0; k + 1 < count - pass; k++)
            if (speeds[k] > speeds[k + 1])
                swap_points(k, k + 1);
}

void sort_material_points(TileMaterial* m, int friction_points, int roll_points)
{
    sort_points(m->friction_speed, friction_points, [m](int a, int b) {
        std::swap(m->friction[a], m->friction[b]);
        std::swap(m->friction_speed[a], m->friction_speed[b]);
    });
    sort_points(m->roll_speed, roll_points, [m](int a, int b) {
        std::swap(m->roll_resist[a][0], m->roll_resist[b][0]);
        std::swap(m->roll_resist[a][1], m->roll_resist[b][1]);
        std::swap(m->roll_speed[a], m->roll_speed[b]);
    });
}

// The part of a texture name the transition codes compare: from the last
// "/" on, that "/" included, after a leading "@".
std::string remembered_name(const std::string& texture)
{
    std::string name = texture[0] == '@' ? texture.substr(1) : texture;
    size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash);
}

bool starts_with(const std::string& text, size_t at, const std::string& prefix)
{
    return text.compare(at, prefix.size(), prefix) == 0;
}

// Writes the transition code of every material from its remembered name.
// The names keep the "/" in front of them, which a first part shares with
// its material's name but a second part (behind a "-") never has: the second
// part is therefore compared with the names without their leading "/", or a
// transition between textures in a folder would never be found.
void compute_transitions(Terrain* terrain, const std::vector<std::string>& textures)
{
    int count = terrain->material_count;
    std::vector<std::string> names(static_cast<size_t>(count)), stems(names), bare(names);
    for (int k = 0; k < count; k++) {
        names[k] = remembered_name(textures[k]);
        // The name "up to its '.'": the first one, so "dirt.old.png" is "dirt".
        stems[k] = names[k].substr(0, names[k].find('.'));
        bare[k] = stems[k][0] == '/' ? stems[k].substr(1) : stems[k];
    }
    for (int k = 0; k < count; k++) {
        const std::string& name = names[k];
        int32_t code = (k << 16) | (k << 8);
        if (name.find('-') != std::string::npos) {
            bool variant = false;
            for (int a = 0; a < count && !variant; a++) {
                size_t at = stems[a].size();
                if (starts_with(name, 0, stems[a]) && starts_with(name, at, "-alt") && at + 4 < name.size() &&
                    name[at + 4] >= '0' && name[at + 4] <= '9') {
                    code = (a << 16) | (a << 8);
                    variant = true;
                }
            }
            for (int a = 0; a < count && !variant; a++) {
                if (!starts_with(name, 0, stems[a] + "-"))
                    continue;
                size_t second = stems[a].size() + 1;
                code = int32_t(0xFFFFFF00u);
                for (int b = 0; b < count; b++) {
                    if (!starts_with(name, second, bare[b] + "-"))
                        continue;
                    size_t at = second + bare[b].size() + 1;
                    int mask = 0;
                    for (size_t c = 0; c < 4; c++) {
                        char bit = at + c < name.size() ? name[at + c] : '\0';
                        if (bit != '0' && bit != '1') {
                            mask = 0;
                            break;
                        }
                        mask = mask * 2 + (bit - '0');
                    }
                    code = (a << 16) | (b << 8) | mask;
                    break;
                }
                break;
            }
        }
        terrain->materials[k].transition = code;
    }
}

} // namespace

RoostType default_roost_type()
{
    RoostType roost{};
    roost.kind = roost_none;
    roost.texture = 0;
    roost.count = 10;
    roost.dig = 1;
    roost.slip_threshold = 4;
    roost.slow_angle = 1.5707964f;
    roost.fast_angle = 0.19634955f;
    roost.slow_speed = 0;
    roost.fast_speed = 64;
    roost.size = 0.25f;
    roost.grow = 4;
    roost.drag = 0.5f;
    roost.vscale = 1;
    roost.randomize = 15;
    for (int c = 0; c < 4; c++) {
        roost.colour[c] = 255;
        roost.fade[c] = 0;
    }
    roost.fade[3] = -2;
    return roost;
}

TileMaterial default_tile_material()
{
    TileMaterial m{};
    for (int k = 0; k < material_points; k++) {
        m.friction[k] = 1.0f;
        m.friction_speed[k] = 0;
        m.roll_resist[k][0] = 5.0f;
        m.roll_resist[k][1] = 15.0f;
        m.roll_speed[k] = 0;
    }
    m.friction_speed[0] = 1.0f;
    m.roll_speed[0] = 1.0f;
    for (int r = 0; r < material_roosts; r++)
        m.roost[r] = default_roost_type();
    m.texture = 0;
    m.transition = 0;
    return m;
}

void parse_tileinfo(Terrain* terrain, DataStream* stream)
{
    terrain->material_count = 0;
    std::vector<std::string> textures;
    DefaultRoostTexture roost_texture;

    TileMaterial material = default_tile_material();
    std::string texture;
    int friction_points = 0, roll_points = 0, roosts = 0;

    char line[1024];
    while (terrain->material_count < max_materials && data_gets(stream, line, sizeof line)) {
        char* p = line;
        while (is_line_space(*p))
            p++;
        if (!*p)
            continue;
        char* keyword = p;
        while (*p && !is_line_space(*p))
            p++;
        char* keyword_end = p;
        while (*p == ' ' || *p == '\t')
            p++;
        char* argument = p;
        p[strcspn(p, "\r\n")] = '\0';
        *keyword_end = '\0';

        if (strcmp(keyword, "texture") == 0) {
            material.texture = load_texture(argument);
            texture = argument;
        } else if (strcmp(keyword, "friction") == 0) {
            float coefficient, speed;
            if (friction_points >= material_points) {
                post_message("tileinfo warning: too many friction points\n");
            } else if (data_sscan(argument, "%f %f", &coefficient, &speed) < 2) {
                post_message("tileinfo warning: bad friction parameters\n");
            } else {
                material.friction[friction_points] = coefficient >= 0 ? coefficient : 0;
                material.friction_speed[friction_points] = speed >= min_point_speed ? speed : min_point_speed;
                friction_points++;
            }
        } else if (strcmp(keyword, "roll_resist") == 0) {
            float low, high, speed;
            if (roll_points >= material_points) {
                post_message("tileinfo warning: too many roll_resist points\n");
            } else if (data_sscan(argument, "%f %f %f", &low, &high, &speed) < 3) {
                post_message("tileinfo warning: bad roll_resist parameters\n");
            } else {
                material.roll_resist[roll_points][0] = low >= 0 ? low : 0;
                material.roll_resist[roll_points][1] = high >= 0 ? high : 0;
                material.roll_speed[roll_points] = speed >= min_point_speed ? speed : min_point_speed;
                roll_points++;
            }
        } else if (strcmp(keyword, "roost") == 0) {
            if (roosts >= material_roosts) {
                post_message("tileinfo warning: too many roost types\n");
            } else {
                RoostType roost = thrown_roost(roost_texture);
                parse_roost_params(&roost, argument);
                material.roost[roosts++] = roost;
            }
        } else if (strcmp(keyword, "addtile") == 0) {
            sort_material_points(&material, friction_points, roll_points);
            terrain->materials[terrain->material_count++] = material;
            textures.push_back(texture);
            material = default_tile_material();
            texture.clear();
            friction_points = roll_points = roosts = 0;
        } else {
            post_messagef("tileinfo warning: Unknown identifier '%.950s'\n", keyword);
        }
    }
    // A material without its closing "addtile" is dropped.
    compute_transitions(terrain, textures);
}

void parse_texturelist(Terrain* terrain, DataStream* stream)
{
    terrain->material_count = 0;
    std::vector<std::string> textures;
    DefaultRoostTexture roost_texture;

    char line[1024];
    while (terrain->material_count < max_materials && data_gets(stream, line, sizeof line)) {
        const char* p = line;
        while (is_white(*p))
            p++;
        if (!*p)
            continue;
        float friction = 1.0f, low = 5.0f, high = 15.0f;
        float numbers[3];
        int used = 0;
        const char* name = p;
        if (data_sscan(p, "%f %f %f%n", &numbers[0], &numbers[1], &numbers[2], &used) == 3) {
            friction = numbers[0];
            low = numbers[1];
            high = numbers[2];
            name = p + used;
            while (is_white(*name))
                name++;
        }
        std::string file = name;
        if (!file.empty() && file.back() == '\n')
            file.pop_back();

        TileMaterial material = default_tile_material();
        for (int k = 0; k < material_points; k++) {
            material.friction[k] = friction;
            material.roll_resist[k][0] = low;
            material.roll_resist[k][1] = high;
        }
        // Ground of the old format always throws the default roost.
        material.roost[0] = thrown_roost(roost_texture);
        material.texture = load_texture(("@" + file).c_str());
        terrain->materials[terrain->material_count++] = material;
        textures.push_back(file);
    }
    compute_transitions(terrain, textures);
}

float material_friction(const TileMaterial* m, float slip_speed)
{
    float s2 = slip_speed * slip_speed;
    int i = 0;
    while (i < material_points && m->friction_speed[i] != 0 && !(m->friction_speed[i] * m->friction_speed[i] > s2))
        i++;
    if (i == 0)
        return m->friction[0];
    if (i < material_points && m->friction_speed[i] != 0) {
        // Point i is above the slip speed and point i - 1 is not, so the
        // interval is never empty.
        float v0 = m->friction_speed[i - 1] * m->friction_speed[i - 1];
        float v1 = m->friction_speed[i] * m->friction_speed[i];
        float t = (s2 - v0) / (v1 - v0);
        t = t > 0 ? (t < 1 ? t : 1) : 0;
        return m->friction[i - 1] + t * (m->friction[i] - m->friction[i - 1]);
    }
    return m->friction[i - 1];
}

float material_roll_resist(const TileMaterial* m, float ground_speed, float sinkage)
{
    int j = 0;
    while (j < material_points && m->roll_speed[j] != 0 && !(m->roll_speed[j] > ground_speed))
        j++;
    float low, high;
    if (j == 0) {
        low = m->roll_resist[0][0];
        high = m->roll_resist[0][1];
    } else if (j < material_points && m->roll_speed[j] != 0) {
        // As for friction: r1 exceeds the speed and r0 does not, so r1 > r0.
        float r0 = m->roll_speed[j - 1], r1 = m->roll_speed[j];
        float u = (ground_speed - r0) / (r1 - r0);
        u = u > 0 ? (u < 1 ? u : 1) : 0;
        low = m->roll_resist[j - 1][0] + u * (m->roll_resist[j][0] - m->roll_resist[j - 1][0]);
        high = m->roll_resist[j - 1][1] + u * (m->roll_resist[j][1] - m->roll_resist[j - 1][1]);
    } else {
        low = m->roll_resist[j - 1][0];
        high = m->roll_resist[j - 1][1];
    }
    return low + (high - low) * sinkage;
}
