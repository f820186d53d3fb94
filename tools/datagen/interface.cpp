#include "assets.h"
#include "interface.h"
#include "release.h"

#include <cstdlib>

const char interface_archive[] = "interface.saf";

Face* require_face(const char* file)
{
    Face* face = open_face(file);
    if (!face)
        std::exit(1);
    return face;
}

void add_interface(Release* release)
{
    add_fonts(release);
    add_hud_pictures(release);
    add_title_picture(release);
}
