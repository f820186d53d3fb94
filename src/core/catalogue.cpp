#include "core/catalogue.h"

#include "base/alloc.h"
#include "base/launch.h"
#include "data/home.h"
#include "data/stream.h"
#include "koru/log.h"

#include <strings.h>
#include <cstring>
#include <string>

Catalogues catalogues;

namespace {

bool ends_with(const char* text, const char* suffix)
{
    size_t n = strlen(text), m = strlen(suffix);
    return n >= m && strcmp(text + n - m, suffix) == 0;
}

// Appends to both lists or to neither: a catalogue that cannot grow drops
// the entry.
template <typename A, typename B>
void add_pair(A& first, B& second, const char* a, const char* b)
{
    try {
        first.push_back(a);
        try {
            second.push_back(b);
        } catch (const std::bad_alloc&) {
            first.pop_back();
        }
    } catch (const std::bad_alloc&) {
    }
}

// The first line of the track's "desc" file, or none.
std::string read_description(const std::string& folder)
{
    std::string name = "@" + folder + "/desc";
    DataStream* stream = data_open(name.c_str(), "rb");
    if (!stream)
        return "";
    std::string text;
    int c;
    while ((c = data_getc(stream)) > 0 && c != '\r' && c != '\n')
        text += char(c);
    data_close(stream);
    return text;
}

} // namespace

void list_tracks(const char* const* files, TrackCatalogue* tracks)
{
    tracks->folders.clear();
    tracks->names.clear();
    tracks->selected = 0;
    for (const char* const* f = files; **f; f++) {
        if (!ends_with(*f, "/terrain.hf") && !ends_with(*f, "/terrain.hf.gz"))
            continue;
        std::string folder(*f, strrchr(*f, '/') - *f);
        std::string name = read_description(folder);
        if (name.empty())
            name = folder;
        add_pair(tracks->folders, tracks->names, intern_string(folder.c_str()), intern_string(name.c_str()));
    }
    // An exchange sort on the display names, ignoring letter case.
    size_t n = tracks->names.size();
    for (size_t i = 0; i < n; i++)
        for (size_t j = i + 1; j < n; j++)
            if (strcasecmp(tracks->names[j], tracks->names[i]) < 0) {
                std::swap(tracks->names[i], tracks->names[j]);
                std::swap(tracks->folders[i], tracks->folders[j]);
            }
    if (launch.debug_level > 0)
        for (size_t i = 0; i < n; i++)
            koru_log("%s -> %s\n", tracks->folders[i], tracks->names[i]);
}

void list_demos(const char* const* files, DemoCatalogue* demos)
{
    demos->files.clear();
    demos->names.clear();
    for (const char* const* f = files; **f; f++) {
        if (strncmp(*f, "demos/", 6) != 0 || !ends_with(*f, ".dldemo"))
            continue;
        const char* base = strrchr(*f, '/') + 1;
        const char* dot = strrchr(base, '.');
        std::string name(base, dot - base);
        add_pair(demos->files, demos->names, intern_string(*f), intern_string(name.c_str()));
    }
    if (launch.debug_level > 0)
        for (size_t i = 0; i < demos->files.size(); i++)
            koru_log("%s -> %s\n", demos->files[i], demos->names[i]);
}

void list_textures(const char* const* files, const char* prefix, TextureCatalogue* catalogue)
{
    catalogue->paths.clear();
    catalogue->names.clear();
    add_pair(catalogue->paths, catalogue->names, nullptr, intern_string("default"));
    size_t prefix_length = strlen(prefix);
    for (const char* const* f = files; **f; f++) {
        if (!ends_with(*f, ".png") || ends_with(*f, "_norm.png") || ends_with(*f, "_spec.png"))
            continue;
        const char* slash = strrchr(*f, '/');
        const char* base = slash ? slash + 1 : *f;
        if (strncmp(base, prefix, prefix_length) != 0)
            continue;
        std::string path = std::string("@") + *f;
        const char* name_start = base + prefix_length;
        std::string name(name_start, strlen(name_start) - 4);
        add_pair(catalogue->paths, catalogue->names, intern_string(path.c_str()), intern_string(name.c_str()));
    }
}

int select_track(const TrackCatalogue& tracks, const char* folder)
{
    for (size_t i = 0; i < tracks.folders.size(); i++) {
        if (strcmp(tracks.folders[i], folder) != 0)
            continue;
        for (size_t j = 0; j < tracks.names.size(); j++)
            if (strcmp(tracks.names[j], tracks.names[i]) == 0)
                return int(j);
    }
    return 0;
}
