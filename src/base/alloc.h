// Allocation and string interning for paths where running out of memory
// leaves nothing to run: they end the program with a message box.
#pragma once
#include <cstddef>

// Never returns null; on failure shows "Out of virtual memory" and exits 1.
void* alloc_or_die(size_t size);
// Like alloc_or_die, for growing a buffer.
void* realloc_or_die(void* block, size_t size);
// The one stored copy of a string equal to text, stored on first sight. The
// copies live for the whole run. Null stays null.
const char* intern_string(const char* text);

// Things to take down before the out-of-memory box (audio, window); set by
// the layers that open them.
struct FatalCleanup {
    void (*close_audio)();
    void (*close_window)();
};
void set_fatal_cleanup(const FatalCleanup& cleanup);
[[noreturn]] void die_out_of_memory();
