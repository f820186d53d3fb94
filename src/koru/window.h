// The one top-level window of the game with its OpenGL context, over SDL2:
// display modes, opening and closing, drawing with a busy state, switching
// between a window and full screen, and the message pump that turns window
// events into the time-ordered key events of the input layer.
#pragma once
#include "koru/event_queue.h"

#include <cstdint>
#include <mutex>
#include <vector>

struct KoruDisplayMode {
    int32_t width, height, depth, refresh;
};

// The mode list, built once on first use and kept for the run: the
// desktop's mode first, then every mode the system lists, without
// duplicates and without depths other than 8, 15, 16, 24 and 32. Empty
// when no display can be opened.
const std::vector<KoruDisplayMode>& koru_display_modes();

enum {
    koru_depth_mask = 0xff,  // low 8 bits of the creation flags: colour depth
    koru_fullscreen = 512,
};

struct KoruRect {
    int32_t x, y, width, height;
};

struct InputDevice;

struct KoruWindow {
    char* title;
    int32_t client_width, client_height;
    int32_t fullscreen_width, fullscreen_height;
    int32_t colour_depth;
    bool threaded;          // the setting, read and logged; events are still pumped here
    bool fullscreen_active;
    bool busy;              // moving, sizing or switching modes: no drawing
    bool closing;
    bool minimised, hidden; // no visible region
    KoruRect draw_rect;
    std::mutex window_lock; // held from koru_begin_draw to koru_end_draw
    std::mutex event_lock;  // around each event queue operation
    EventQueue events;
    InputDevice* devices;                // newest first
    std::vector<const char*> axis_names; // absolute axes, ends with a null entry
    void* sdl_window;
    void* gl_context;
};

// Opens the window and its GL context; none on failure, with the reason
// logged. Flags: colour depth in the low 8 bits, koru_fullscreen.
KoruWindow* koru_open_gl_window(const char* title, int32_t width, int32_t height, int32_t flags, int alpha_bits,
                                int depth_bits, int stencil_bits, int accumulation_bits);
// The client area to draw in, or none when the window has no context, is
// minimised or hidden, or busy. On success the window lock is held until
// koru_end_draw.
const KoruRect* koru_begin_draw(KoruWindow* window);
// Swaps the buffers and releases the window lock; false tells the main loop
// to stop.
bool koru_end_draw(KoruWindow* window);
// Full screen at (width, height) when flags hold koru_fullscreen, otherwise a
// normal window with that client size; a mode that cannot be set falls back
// to a window.
void koru_set_display(KoruWindow* window, int32_t width, int32_t height, int32_t flags);
void koru_close_window(KoruWindow* window);

// Runs every pending window message: key, character, mouse button and close
// events go to the window's event queue; size, visibility and focus changes
// update the window record.
void koru_pump_messages(KoruWindow* window);

// The full-screen mode chosen for a request: the listed mode with width >= w
// and height >= h and the smallest width + height; the desktop size when
// none qualifies or either request is 0.
KoruDisplayMode koru_choose_fullscreen_mode(const std::vector<KoruDisplayMode>& modes, int32_t w, int32_t h);

// Whether this thread has a current GL context: without one, nothing may
// call GL (the headless tools and tests).
bool koru_gl_context_current();
// A GL entry point by name, or null when the driver has none.
void* koru_gl_proc(const char* name);
