#include "base/alloc.h"

#include "koru/log.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>

namespace {

FatalCleanup fatal_cleanup;

struct InternTable {
    // Node-based set: the stored strings never move, so their c_str() stays
    // valid for the run.
    std::unordered_set<std::string> strings;
};

InternTable& intern_table()
{
    static InternTable* table = new InternTable; // lives for the run
    return *table;
}

} // namespace

void set_fatal_cleanup(const FatalCleanup& cleanup)
{
    fatal_cleanup = cleanup;
}

void die_out_of_memory()
{
    if (fatal_cleanup.close_audio)
        fatal_cleanup.close_audio();
    if (fatal_cleanup.close_window)
        fatal_cleanup.close_window();
    message_box("Error", "Out of virtual memory");
    exit(1);
}

void* alloc_or_die(size_t size)
{
    void* block = malloc(size ? size : 1);
    if (!block)
        die_out_of_memory();
    return block;
}

void* realloc_or_die(void* block, size_t size)
{
    void* grown = realloc(block, size ? size : 1);
    if (!grown)
        die_out_of_memory();
    return grown;
}

const char* intern_string(const char* text)
{
    if (!text)
        return nullptr;
    try {
        return intern_table().strings.emplace(text).first->c_str();
    } catch (const std::bad_alloc&) {
        die_out_of_memory();
    }
}
