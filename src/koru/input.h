// The input layer of KORU: key codes and their names, aliases, the window's
// key events, game devices with their buttons and axes, and axis handles.
//
// Key codes: 0-255 typed characters; 4096 + s keyboard keys (s the PC set-1
// scan code, plus 256 for extended keys); 8192-8194 the mouse buttons;
// 57005 the window's close request; device id + b for a game device's
// button b (ids are multiples of 65536).
#pragma once
#include "koru/event_queue.h"

#include <cstddef>
#include <cstdint>

struct KoruWindow;
struct InputDevice;

enum {
    key_code_keyboard = 4096,
    key_code_mouse_left = 8192,
    key_code_mouse_middle = 8193,
    key_code_mouse_right = 8194,
    key_code_close = 57005,
};

// A device's operations, in the order the device record lists them.
struct InputDeviceOps {
    bool (*enable_buttons)(InputDevice* device);
    bool (*open_axes)(InputDevice* device);
    void (*close_axes)(InputDevice* device);
    int32_t (*read_axis)(InputDevice* device, int32_t index);
    void (*poll)(InputDevice* device);
    void (*destroy)(InputDevice* device);
};

struct InputDevice {
    InputDevice* next;
    KoruWindow* window;
    const char* name; // interned, unique within the window
    int32_t id;       // multiple of 65536
    int32_t open_axes;
    bool buttons_in_use;
    int32_t button_count, axis_count;
    const InputDeviceOps* ops;
    void* driver; // the driver's own state
};

struct AxisHandle {
    InputDevice* device;
    int32_t index;
};

// Events. Taking pumps the window's messages first; when nothing is due,
// devices with bound buttons are polled and the queue is tried once more.
bool koru_next_event(KoruWindow* window, KoruEvent* event);
bool koru_next_event_before(KoruWindow* window, int32_t seconds, int32_t microseconds, KoruEvent* event);
void koru_post_event(KoruWindow* window, int32_t code, bool pressed, int32_t seconds, int32_t microseconds);
void koru_post_event_now(KoruWindow* window, int32_t code, bool pressed);

// Names. koru_key_code fails (false) for a name nothing resolves.
bool koru_key_code(KoruWindow* window, const char* name, int32_t* code);
const char* koru_key_name(KoruWindow* window, int32_t code);
bool koru_alias(const char* name, const char* target);
// The one stored copy of a text, kept for the run; none when memory runs out.
const char* koru_intern(const char* text);

// Axes.
AxisHandle* koru_open_axis(KoruWindow* window, const char* name);
void koru_release_axis(AxisHandle* handle);
int32_t koru_axis_value(AxisHandle* handle);
const char* const* koru_axis_names(KoruWindow* window);

// Run by the window layer when the window has been created and when it is
// destroyed.
void koru_open_devices(KoruWindow* window);
void koru_close_devices(KoruWindow* window);

// The key code of an SDL scancode (4096 + set-1 scan code, extended keys
// with 256 added), or 0 for a key the table does not know.
int32_t koru_key_code_for_scancode(int sdl_scancode);

// The name a device with that instance name gets in the window: every space
// and "." removed, then "#2", "#3", ... appended while the name is taken.
void koru_device_name_for(KoruWindow* window, const char* instance_name, char* out, size_t size);
// The id of a device of that name: derived from its characters, then the
// next multiple of 65536 while that one is 0 or taken; 0 when none is free.
int32_t koru_device_id_for(KoruWindow* window, const char* name);
// Adds a device, named and numbered as above, at the front of the window's
// list; none when no id is free or memory runs out. Its destroy operation
// ends the driver's own state; koru_close_devices frees the record.
InputDevice* koru_add_device(KoruWindow* window, const char* instance_name, int32_t buttons, int32_t axes,
                             const InputDeviceOps* ops, void* driver);
