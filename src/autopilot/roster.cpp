#include "autopilot/roster.h"

#include <cstdio>
#include <cstring>

// Numbers 20 to 99 in order. Texture variants are numbers n of the "-alt<n>"
// pictures; 0 keeps the bike's default. The graphics of a few bikes are
// borrowed from another model (the last column).
const RobotRider robot_roster[robot_roster_size] = {
    {20, "alder", "dk125", 0, 0, 0, 0, nullptr},
    {21, "alder", "dk125", 1, 1, 0, 0, nullptr},
    {22, "alder", "dk125", 2, 2, 0, 0, nullptr},
    {23, "alder", "dk125", 3, 3, 0, 0, nullptr},
    {24, "alder", "dk125", 1, 0, 1, 1, nullptr},
    {25, "alder", "dy125", 1, 0, 0, 0, nullptr},
    {26, "alder", "dy125", 2, 1, 0, 0, nullptr},
    {27, "alder", "dy125", 3, 2, 0, 0, nullptr},
    {28, "alder", "dy125", 1, 2, 1, 1, nullptr},
    {29, "alder", "dy125", 1, 3, 0, 0, nullptr},
    {30, "alder", "dl125", 2, 1, 0, 0, nullptr},
    {31, "alder", "dl125", 3, 0, 0, 0, nullptr},
    {32, "alder", "dl125", 1, 1, 1, 1, nullptr},
    {33, "alder", "dl125", 1, 2, 0, 0, nullptr},
    {34, "alder", "dl125", 2, 3, 0, 0, nullptr},
    {35, "alder", "dz125", 3, 1, 0, 0, nullptr},
    {36, "alder", "dz125", 1, 0, 1, 1, nullptr},
    {37, "alder", "dz125", 1, 1, 0, 0, nullptr},
    {38, "alder", "dz125", 2, 2, 0, 0, nullptr},
    {39, "alder", "dz125", 3, 3, 0, 0, nullptr},
    {40, "birch", "dl250", 0, 1, 0, 0, nullptr},
    {41, "birch", "dl250", 1, 1, 0, 0, nullptr},
    {42, "birch", "dl250", 2, 2, 0, 0, nullptr},
    {43, "birch", "dl250", 3, 3, 0, 0, nullptr},
    {44, "birch", "dl250", 0, 0, 0, 0, nullptr},
    {45, "birch", "dk250f", 1, 2, 0, 0, nullptr},
    {46, "birch", "dk250f", 2, 3, 0, 0, nullptr},
    {47, "birch", "dk250f", 3, 1, 0, 0, nullptr},
    {48, "birch", "dk250f", 0, 1, 0, 0, nullptr},
    {49, "birch", "dk250f", 1, 3, 0, 0, nullptr},
    {50, "birch", "dz250", 2, 1, 0, 0, nullptr},
    {51, "birch", "dz250", 3, 2, 0, 0, nullptr},
    {52, "birch", "dz250", 0, 0, 0, 0, nullptr},
    {53, "birch", "dz250", 1, 1, 0, 0, nullptr},
    {54, "birch", "dy250f", 2, 2, 0, 0, nullptr},
    {55, "birch", "dy250f", 3, 3, 0, 0, nullptr},
    {56, "birch", "dy250f", 0, 1, 0, 0, nullptr},
    {57, "birch", "dy250f", 1, 2, 0, 0, nullptr},
    {58, "birch", "dy250f", 2, 3, 0, 0, nullptr},
    {59, "birch", "dy250f_se(2006)", 3, 1, 0, 0, nullptr},
    {60, "alder", "dl250", 0, 0, 0, 0, nullptr},
    {61, "alder", "dl250", 1, 3, 0, 0, nullptr},
    {62, "alder", "dl250", 2, 1, 0, 0, nullptr},
    {63, "alder", "dl250", 3, 2, 0, 0, nullptr},
    {64, "alder", "dl250", 0, 1, 0, 0, nullptr},
    {65, "alder", "dk250f", 1, 1, 0, 0, nullptr},
    {66, "alder", "dk250f", 2, 2, 0, 0, nullptr},
    {67, "alder", "dk250f", 3, 3, 0, 0, nullptr},
    {68, "alder", "dk250f", 0, 0, 0, 0, nullptr},
    {69, "alder", "dk250f", 1, 2, 0, 0, nullptr},
    {70, "alder", "dz250", 2, 3, 0, 0, nullptr},
    {71, "alder", "dz250", 3, 1, 0, 0, nullptr},
    {72, "alder", "dz250", 0, 1, 0, 0, nullptr},
    {73, "alder", "dz250", 1, 3, 0, 0, nullptr},
    {74, "alder", "dz250", 2, 1, 0, 0, nullptr},
    {75, "alder", "dy250f", 3, 2, 0, 0, nullptr},
    {76, "alder", "dy250f", 0, 0, 0, 0, nullptr},
    {77, "alder", "dy250f", 1, 1, 0, 0, nullptr},
    {78, "alder", "dy250f", 2, 2, 0, 0, nullptr},
    {79, "alder", "dy250f_se(2006)", 3, 3, 0, 0, nullptr},
    {80, "cedar", "dl250", 0, 0, 0, 0, nullptr},
    {81, "cedar", "dl250", 1, 1, 1, 1, nullptr},
    {82, "cedar", "dl250", 2, 2, 2, 2, nullptr},
    {83, "cedar", "dl250", 1, 1, 1, 1, nullptr},
    {84, "cedar", "dl250", 2, 2, 2, 2, nullptr},
    {85, "cedar", "dk250f", 1, 1, 1, 1, "dl250"},
    {86, "cedar", "dk250f", 1, 1, 1, 1, nullptr},
    {87, "cedar", "dk250f", 2, 2, 2, 2, nullptr},
    {88, "cedar", "dk250f", 1, 1, 1, 1, nullptr},
    {89, "cedar", "dk250f", 2, 2, 2, 2, nullptr},
    {90, "cedar", "dy250f", 1, 1, 1, 1, "dk250f"},
    {91, "cedar", "dy250f", 1, 1, 1, 1, nullptr},
    {92, "cedar", "dy250f", 2, 2, 2, 2, nullptr},
    {93, "cedar", "dy250f", 1, 1, 1, 1, nullptr},
    {94, "cedar", "dy250f", 2, 2, 2, 2, nullptr},
    {95, "cedar", "dz250", 1, 1, 1, 1, "dy250f"},
    {96, "cedar", "dz250", 1, 1, 1, 1, nullptr},
    {97, "cedar", "dz250", 2, 2, 2, 2, nullptr},
    {98, "cedar", "dz250", 1, 1, 1, 1, nullptr},
    {99, "cedar", "dz250", 2, 2, 2, 2, nullptr},
};

const RobotRider* find_robot(int number)
{
    for (const RobotRider& r : robot_roster)
        if (r.number == number)
            return &r;
    return nullptr;
}

RobotTextures robot_textures(const RobotRider& r)
{
    RobotTextures t = {};
    if (r.gear)
        snprintf(t.rider_body, sizeof t.rider_body, "@rider_body-alt%d.png", r.gear);
    if (r.helmet)
        snprintf(t.rider_head, sizeof t.rider_head, "@rider_head-alt%d.png", r.helmet);
    if (r.bike_graphics)
        snprintf(t.bike, sizeof t.bike, "@%s-alt%d.png", r.graphics_model ? r.graphics_model : r.bike,
                 r.bike_graphics);
    if (r.wheels)
        snprintf(t.wheels, sizeof t.wheels, "@wheels-alt%d.png", r.wheels);
    return t;
}
