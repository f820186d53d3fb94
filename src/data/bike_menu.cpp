#include "data/config.h"

#include <array>
#include <cstring>

// The 125dx is missing on purpose: it is only reached by name (robots, demos,
// the network), never chosen from the menu.
constexpr BikeMenuEntry bike_menu[bike_menu_count] = {
    {"dl250(2009)", "dl250-"},
    {"dk250f(2009)", "dk250f-"},
    {"dz250(2009)", "dz250-"},
    {"dy250f(2009)", "dy250f-"},
    {"dl250(2008)", "dl250-"},
    {"dk250f(2008)", "dk250f-"},
    {"dz250(2008)", "dz250-"},
    {"dy250f(2008)", "dy250f-"},
    {"dl250(2007)", "dl250-"},
    {"dk250f(2007)", "dk250f-"},
    {"dz250(2007)", "dz250-"},
    {"dy250f(2007)", "dy250f-"},
    {"dy250f_se(2006)", "dy250f_se-"},
    {"dl125", "dl125-"},
    {"dk125", "dk125-"},
    {"dz125", "dz125-"},
    {"dy125", "dy125-"},
};

namespace {

constexpr auto menu_names = [] {
    std::array<const char*, bike_menu_count> names{};
    for (int i = 0; i < bike_menu_count; i++)
        names[i] = bike_menu[i].name;
    return names;
}();

// Names written by releases before the model years were told apart.
constexpr struct {
    const char* old_name;
    const char* name;
} bike_aliases[] = {
    {"dl250", "dl250(2008)"},
    {"dk250f", "dk250f(2008)"},
    {"dz250", "dz250(2008)"},
    {"dy250f", "dy250f(2008)"},
};

} // namespace

const char* const* bike_menu_names()
{
    return menu_names.data();
}

const char* bike_graphics_prefix(int index)
{
    if (index < 0 || index >= bike_menu_count)
        return "";
    return bike_menu[index].graphics_prefix;
}

const char* bike_current_name(const char* name)
{
    for (const auto& alias : bike_aliases)
        if (strcmp(name, alias.old_name) == 0)
            return alias.name;
    return name;
}
