#include "data/home.h"

#include "base/sha1.h"
#include "data/stream.h"
#include "koru/log.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern char** environ;

// SHA-1 of the first MiB of the "zzzz.saf" that tools/datagen writes; a test
// checks it against the generator's output.
const char game_data_digest[41] = "d485f73b9009637e4b4bfd0eb865410d55d6f942";

namespace {

enum { max_search_paths = 3, name_buffer_size = 512, host_path_limit = 1024 };

struct DataLayer {
    bool paths_built = false;
    int path_count = 0;
    bool home_found = false;
    std::string paths[max_search_paths];
    bool index_built = false;
    std::vector<DataIndexEntry> index;
    std::deque<std::string> strings; // storage behind the index's names
    std::vector<const char*> file_list;
};

DataLayer data_layer;

std::string normalise_path(const std::string& path)
{
    std::string out;
    for (char c : path) {
        if (c == '\\')
            c = '/';
        if (c == '/' && !out.empty() && out.back() == '/')
            continue;
        out += c;
    }
    return out;
}

void add_search_path(const std::string& folder)
{
    data_layer.paths[data_layer.path_count++] = normalise_path(folder + "/");
}

void build_search_paths()
{
    if (data_layer.paths_built)
        return;
    data_layer.paths_built = true;
    const char* xdg = getenv("XDG_DATA_HOME");
    const char* home = getenv("HOME");
    if (xdg && *xdg) {
        add_search_path(std::string(xdg) + "/Dustline");
        data_layer.home_found = true;
    } else if (home && *home) {
        add_search_path(std::string(home) + "/.local/share/Dustline");
        data_layer.home_found = true;
    }
    const char* dl_home = getenv("DL_HOME");
    if (dl_home) {
        add_search_path(dl_home);
    } else {
        char exe[PATH_MAX];
        ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
        if (n > 0) {
            exe[n] = 0;
            char* slash = strrchr(exe, '/');
            if (slash) {
                *slash = 0;
                add_search_path(exe);
            }
        }
    }
}

const char* keep(const std::string& text)
{
    data_layer.strings.push_back(text);
    return data_layer.strings.back().c_str();
}

void add_entry(const char* path, const std::string& name, int32_t offset, int32_t size, int32_t source)
{
    try {
        data_layer.index.push_back({path, keep(name), offset, size, source});
    } catch (const std::bad_alloc&) {
        // Out of memory while indexing drops the entry.
    }
}

void walk_folder(const std::string& folder, const std::string& root, int source)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    while (dirent* entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0)
            continue;
        std::string path = folder + "/" + entry->d_name;
        if (folder.back() == '/')
            path = folder + entry->d_name;
        struct stat st;
        if (stat(path.c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            walk_folder(path, root, source);
        } else {
            int32_t size = st.st_size > INT32_MAX ? INT32_MAX : int32_t(st.st_size);
            add_entry(keep(path), path.substr(root.size()), 0, size, source);
        }
    }
    closedir(dir);
}

bool entry_less(const DataIndexEntry& a, const DataIndexEntry& b)
{
    int c = strcmp(a.name, b.name);
    return c < 0 || (c == 0 && a.source < b.source);
}

std::string collapse_slashes(const std::string& name)
{
    std::string out;
    for (char c : name) {
        if (c == '/' && !out.empty() && out.back() == '/')
            continue;
        out += c;
    }
    return out;
}

// Reads one ".saf" header and adds its members. A malformed header takes
// back everything it added.
void read_archive(const char* path, int32_t source)
{
    FILE* file = fopen(path, "rb");
    if (!file)
        return;
    size_t first = data_layer.index.size();
    int64_t header_length = 0;
    bool valid = false;
    char line[1024];
    while (fgets(line, sizeof line, file)) {
        size_t n = strlen(line);
        if (n == 0 || line[n - 1] != '\n')
            break; // too long, or the file ended inside the line
        header_length += int64_t(n);
        line[n - 1] = 0;
        if (strcmp(line, "-") == 0) {
            valid = true;
            break;
        }
        if (!isdigit((unsigned char)line[0]))
            break;
        int64_t count = 0;
        char* p = line;
        while (isdigit((unsigned char)*p) && count <= INT32_MAX)
            count = count * 10 + (*p++ - '0');
        // A count too large for the index, or a line with no name after its
        // separator, cannot describe a member: an empty name would end the
        // file list early.
        if (count > INT32_MAX || p[0] == 0 || p[1] == 0)
            break;
        add_entry(path, collapse_slashes(p + 1), 0, int32_t(count), source);
    }
    fclose(file);
    if (valid) {
        int64_t offset = header_length;
        for (size_t i = first; i < data_layer.index.size(); i++) {
            if (offset > INT32_MAX) {
                valid = false;
                break;
            }
            data_layer.index[i].offset = int32_t(offset);
            offset += data_layer.index[i].size;
        }
    }
    if (!valid)
        data_layer.index.resize(first);
}

void build_data_index()
{
    if (data_layer.index_built)
        return;
    data_layer.index_built = true;
    build_search_paths();
    for (int i = 0; i < data_layer.path_count; i++) {
        std::string root = data_layer.paths[i];
        std::string folder = root.size() > 1 ? root.substr(0, root.size() - 1) : root;
        walk_folder(folder, root, i);
    }
    std::stable_sort(data_layer.index.begin(), data_layer.index.end(), entry_less);
    size_t loose = data_layer.index.size();
    int32_t ordinal = 0;
    for (size_t i = 0; i < loose; i++) {
        const DataIndexEntry entry = data_layer.index[i];
        size_t n = strlen(entry.name);
        if (n > 4 && strcmp(entry.name + n - 4, ".saf") == 0)
            read_archive(entry.path, data_layer.path_count + ordinal++);
    }
    std::stable_sort(data_layer.index.begin(), data_layer.index.end(), entry_less);
    data_layer.file_list.clear();
    for (const DataIndexEntry& entry : data_layer.index)
        if (data_layer.file_list.empty() || strcmp(data_layer.file_list.back(), entry.name) != 0)
            data_layer.file_list.push_back(entry.name);
    data_layer.file_list.push_back("");
}

bool is_reading_mode(const char* mode)
{
    return strchr(mode, 'r') && !strchr(mode, '+');
}

void make_directories(const std::string& path)
{
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
        mkdir(path.substr(0, at).c_str(), 0777); // existing ones fail harmlessly
}

bool copy_file(const std::string& from, const std::string& to)
{
    FILE* in = fopen(from.c_str(), "rb");
    if (!in)
        return false;
    FILE* out = fopen(to.c_str(), "wb");
    if (!out) {
        fclose(in);
        return false;
    }
    static char block[65536];
    bool ok = true;
    size_t n;
    while ((n = fread(block, 1, sizeof block, in)) > 0)
        if (fwrite(block, 1, n, out) != n) {
            ok = false;
            break;
        }
    if (ferror(in))
        ok = false;
    fclose(in);
    if (fclose(out) != 0)
        ok = false;
    if (!ok)
        remove(to.c_str());
    return ok;
}

// Keeps the old file as "name.~N~" with the smallest free N.
bool make_backup(const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return true; // nothing to keep
    for (int n = 1; n <= 9999; n++) {
        std::string backup = path + ".~" + std::to_string(n) + "~";
        if (stat(backup.c_str(), &st) == 0)
            continue;
        return copy_file(path, backup);
    }
    return false;
}

DataStream* open_direct(const std::string& path, const char* mode)
{
    bool reading = is_reading_mode(mode);
    if (!reading && path.size() < host_path_limit)
        make_directories(path);
    FILE* file = nullptr;
    if (mode[0] == '~') {
        if (path.size() > 1000 || !make_backup(path))
            return nullptr;
        file = fopen(path.c_str(), mode + 1);
    } else {
        file = fopen(path.c_str(), mode);
    }
    if (file)
        return stream_from_file(file, 0, INT32_MAX, false);
    if (reading && path.size() + 3 < host_path_limit) {
        file = fopen((path + ".gz").c_str(), "rb");
        if (file)
            return stream_from_file(file, 0, INT32_MAX, true);
    }
    return nullptr;
}

bool equal_ignoring_case(const char* a, const char* b, size_t n)
{
    for (size_t i = 0; i < n; i++)
        if (tolower((unsigned char)a[i]) != tolower((unsigned char)b[i]))
            return false;
    return true;
}

DataStream* open_indexed(const char* rest)
{
    size_t n = strlen(rest);
    for (const DataIndexEntry& entry : data_layer.index) {
        size_t m = strlen(entry.name);
        bool plain = m == n && equal_ignoring_case(entry.name, rest, n);
        bool packed = m == n + 3 && equal_ignoring_case(entry.name, rest, n) &&
                      equal_ignoring_case(entry.name + n, ".gz", 3);
        if (!plain && !packed)
            continue;
        FILE* file = fopen(entry.path, "rb");
        if (!file)
            return nullptr;
        if (fseek(file, entry.offset, SEEK_SET) != 0) {
            fclose(file);
            return nullptr;
        }
        return stream_from_file(file, entry.offset, entry.size, packed);
    }
    return nullptr;
}

// "@rest" to the home folder path plus rest; false when it would not fit.
bool home_name(const char* name, std::string* out)
{
    if (name[0] != '@') {
        *out = name;
        return strlen(name) < name_buffer_size;
    }
    build_search_paths();
    if (!data_layer.home_found)
        return false;
    *out = data_layer.paths[0] + (name + 1);
    return out->size() < name_buffer_size;
}

} // namespace

const char* search_path(int i)
{
    build_search_paths();
    if (i < 0 || i >= data_layer.path_count)
        return nullptr;
    return data_layer.paths[i].c_str();
}

int search_path_count()
{
    build_search_paths();
    return data_layer.path_count;
}

bool have_home_folder()
{
    build_search_paths();
    return data_layer.home_found;
}

DataStream* data_open(const char* name, const char* mode)
{
    build_data_index();
    if (name[0] != '@')
        return open_direct(name, mode);
    const char* rest = name + 1;
    for (int i = 0; i < data_layer.path_count; i++) {
        std::string path = data_layer.paths[i] + rest;
        // Names too long for the path buffer are refused, not cut short: a
        // cut name could open or overwrite some other file.
        if (path.size() >= name_buffer_size)
            continue;
        if (DataStream* stream = open_direct(path, mode))
            return stream;
    }
    if (is_reading_mode(mode))
        return open_indexed(rest);
    return nullptr;
}

const char* const* data_file_list()
{
    build_data_index();
    return data_layer.file_list.data();
}

const DataIndexEntry* data_index(int* count)
{
    build_data_index();
    *count = int(data_layer.index.size());
    return data_layer.index.data();
}

bool data_rename(const char* old_name, const char* new_name)
{
    std::string from, to;
    if (!home_name(old_name, &from) || !home_name(new_name, &to))
        return false;
    return rename(from.c_str(), to.c_str()) == 0;
}

bool open_home_folder()
{
    build_search_paths();
    if (!data_layer.home_found)
        return false;
    std::string folder = data_layer.paths[0];
    make_directories(folder);
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    // The desktop's own opener; the program does not wait for the file
    // manager it starts.
    const char* argv[] = {"xdg-open", folder.c_str(), nullptr};
    pid_t pid;
    int rc = posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char**>(argv), environ);
    if (rc != 0) {
        koru_log("Can't run xdg-open (%s)\n", strerror(rc));
        return false;
    }
    return true;
}

bool locate_game_data()
{
    build_search_paths();
    if (data_layer.home_found) {
        make_directories(data_layer.paths[0]);
        koru_log("KORU_LOGFILE=%slastlog.txt", data_layer.paths[0].c_str());
    }
    for (int i = 0; i < data_layer.path_count; i++) {
        std::string path = data_layer.paths[i] + "zzzz.saf";
        FILE* file = fopen(path.c_str(), "rb");
        if (!file)
            continue;
        Sha1 sha;
        sha1_start(&sha);
        unsigned char block[256];
        size_t total = 0, n;
        while (total < 1048576 && (n = fread(block, 1, sizeof block, file)) > 0) {
            sha1_add(&sha, block, n);
            total += n;
        }
        fclose(file);
        uint8_t digest[20];
        char hex[41];
        sha1_finish(&sha, digest);
        sha1_hex(digest, hex);
        if (memcmp(hex, game_data_digest, 40) == 0)
            return true;
    }
    return false;
}

void data_reset()
{
    data_layer.paths_built = false;
    data_layer.path_count = 0;
    data_layer.home_found = false;
    data_layer.index_built = false;
    data_layer.index.clear();
    data_layer.file_list.clear();
    data_layer.strings.clear();
}
