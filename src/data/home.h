// The data locations: the home folder, the data folder and the members of
// ".saf" archives found in them, and the index of every data name.
#pragma once
#include <cstdint>

struct DataStream;

struct DataIndexEntry {
    const char* path; // host file holding the data (the file or the archive)
    const char* name; // data name relative to its location, "/"-separated
    int32_t offset;   // start of the data in path
    int32_t size;     // length in bytes
    int32_t source;   // search-path index, or paths + archive ordinal
};

// The i-th search path (0-based), ending with "/", or null.
const char* search_path(int i);
int search_path_count();
// True when search path 0 is the home folder (it can be missing).
bool have_home_folder();

// "rb" or "wb"; a leading "~" keeps a numbered backup of a replaced file. A
// name starting with "@" is looked up in the data locations.
DataStream* data_open(const char* name, const char* mode);
// The sorted, unique data names, ended by an empty entry.
const char* const* data_file_list();
bool data_rename(const char* old_name, const char* new_name);
// Creates the home folder and opens it in the desktop's file manager.
bool open_home_folder();
// Points the log at the home folder and finds the identifying archive.
bool locate_game_data();

// The digest of the first MiB of the identifying archive "zzzz.saf".
extern const char game_data_digest[41];

// The index itself, for tests and tools.
const DataIndexEntry* data_index(int* count);
// Test support: forget the search paths and the index so that they are
// built again from the current environment.
void data_reset();
