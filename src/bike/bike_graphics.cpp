#include "bike/bike_graphics.h"

#include "assets/model.h"
#include "assets/texture.h"
#include "base/message_log.h"
#include "bike/bike_model.h"

#include <cstring>
#include <initializer_list>

namespace {

const char* file_part(const char* name)
{
    const char* slash = std::strrchr(name, '/');
    return slash ? slash + 1 : name;
}

// The model that goes with a texture: its variant when the texture selects
// one, else the model itself.
Model* model_for_texture(const char* model, const char* texture)
{
    if (!model || !*model)
        return nullptr;
    std::string variant = texture ? texture_variant(texture) : std::string();
    if (variant.empty()) {
        Model* m = get_model(model);
        if (!m)
            post_messagef("Warning: Can't load %.900s", model);
        return m;
    }
    std::string first = variant_model_name(model, variant);
    if (Model* m = get_model(first.c_str()))
        return m;
    // A user's texture may bring its own variant models along in its
    // folder; a data name keeps its "@".
    std::string second(texture, size_t(file_part(texture) - texture));
    if (second.empty() && texture[0] == '@')
        second.push_back('@');
    const char* base = file_part(first.c_str());
    second.append(base[0] == '@' ? base + 1 : base);
    if (Model* m = get_model(second.c_str()))
        return m;
    post_messagef("Warning: Can't load %.450s or %.450s", first.c_str(), second.c_str());
    return nullptr;
}

// The companions of a texture may come from the default texture's own
// variant when the texture brings none.
PartTexture part_texture(uint32_t id, const char* texture, const char* fallback)
{
    PartTexture t = {id, 0, 0};
    if (!texture)
        return t;
    std::string variant = texture_variant(texture);
    std::string other = fallback ? fallback : "";
    if (!variant.empty() && fallback) {
        const char* dot = std::strrchr(fallback, '.');
        if (dot && dot >= file_part(fallback))
            other.resize(size_t(dot - fallback));
        other += variant + ".foo";
    }
    const char* b = other.empty() ? nullptr : other.c_str();
    t.normal_map = find_normal_map(texture, b);
    t.specular_map = find_specular_map(texture, b);
    return t;
}

struct Group {
    const char* requested;
    const char* fallback; // the bike's default texture of this kind
    std::initializer_list<std::pair<Model**, const char*>> models;
    PartTexture* texture;
};

// Loads a group's texture and models; when the texture or the first model
// fails, the default texture and its models instead.
void load_group(const Group& g)
{
    const char* name = g.requested && *g.requested ? g.requested : g.fallback;
    for (int attempt = 0; attempt < 2 && name; attempt++) {
        uint32_t id = load_texture(name);
        bool complete = id != 0;
        bool first = true;
        for (auto [model, file] : g.models) {
            *model = model_for_texture(file, name);
            if (first && file && !*model)
                complete = false;
            first = false;
        }
        *g.texture = part_texture(id, name, g.fallback);
        if (complete || name == g.fallback || !g.fallback)
            return;
        name = g.fallback;
    }
}

} // namespace

std::string texture_variant(const char* texture)
{
    const char* base = file_part(texture);
    const char* first = std::strchr(base, '-');
    const char* second = first ? std::strchr(first + 1, '-') : nullptr;
    return second ? std::string(first, size_t(second - first)) : std::string();
}

std::string variant_model_name(const char* model, const std::string& variant)
{
    const char* dot = std::strrchr(model, '.');
    if (!dot || dot < file_part(model))
        return std::string(model) + variant + ".km";
    return std::string(model, size_t(dot - model)) + variant + ".km";
}

void load_bike_graphics(BikeGraphics* g, const BikeModel& m, const char* rider_body_texture,
                        const char* rider_head_texture, const char* bike_texture, const char* wheel_texture)
{
    *g = BikeGraphics{};
    load_group({bike_texture,
                m.bike_texture,
                {{&g->frame, m.frame_model},
                 {&g->side_plates, m.side_plates_model},
                 {&g->front_plate, m.front_plate_model},
                 {&g->fork_upper, m.fork_upper_model},
                 {&g->fork_lower, m.fork_lower_model},
                 {&g->swingarm, m.swingarm_model}},
                &g->bike});
    load_group({wheel_texture,
                m.wheel_texture,
                {{&g->front_wheel, m.front_wheel_model}, {&g->rear_wheel, m.rear_wheel_model}},
                &g->wheels});
    load_group({rider_body_texture,
                m.rider_body_texture,
                {{&g->rider_body, m.rider_body_model},
                 {&g->rider_plate, m.rider_plate_model},
                 {&g->rider_body_fp, m.rider_body_fp_model}},
                &g->rider_body_texture});
    load_group({rider_head_texture, m.rider_head_texture, {{&g->rider_head, m.rider_head_model}},
                &g->rider_head_texture});
}
