// The window's game devices: the mouse's relative motion and buttons and
// every game controller attached when the window opens, over SDL's
// joystick API, then the cursor position as a device of its own.
#include "koru/input.h"

#include "koru/log.h"
#include "koru/window.h"

#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum {
    device_name_size = 256,
    id_step = 65536,
    most_axes = 100,
    most_buttons = 500,
};

bool name_taken(KoruWindow* window, const char* name)
{
    for (const InputDevice* d = window->devices; d; d = d->next)
        if (d->name && strcmp(d->name, name) == 0)
            return true;
    return false;
}

bool id_taken(KoruWindow* window, int32_t id)
{
    for (const InputDevice* d = window->devices; d; d = d->next)
        if (d->id == id)
            return true;
    return false;
}

// A record not yet in the window's list: callers finish setting it up first.
InputDevice* new_device(KoruWindow* window, const char* name, int32_t id, int32_t buttons, int32_t axes,
                        const InputDeviceOps* ops, void* driver)
{
    InputDevice* d = static_cast<InputDevice*>(calloc(1, sizeof *d));
    const char* stored = koru_intern(name);
    if (!d || !stored) {
        free(d);
        return nullptr;
    }
    d->window = window;
    d->name = stored;
    d->id = id;
    d->button_count = buttons;
    d->axis_count = axes;
    d->ops = ops;
    d->driver = driver;
    return d;
}

void join(KoruWindow* window, InputDevice* d)
{
    d->next = window->devices;
    window->devices = d;
}

// The list stays null-terminated while names are added, so it can be handed
// out at any time.
void add_axis_name(KoruWindow* window, const char* name)
{
    std::vector<const char*>& names = window->axis_names;
    if (!names.empty() && !names.back())
        names.pop_back();
    bool known = false;
    for (const char* n : names)
        known = known || n == name;
    if (!known)
        names.push_back(name);
    names.push_back(nullptr);
}

void close_axis_names(KoruWindow* window)
{
    if (window->axis_names.empty() || window->axis_names.back())
        window->axis_names.push_back(nullptr);
}

// A button change is an event only once a binding refers to the device's
// buttons; the state is kept either way, so binding later starts from the
// true state.
void button_state(InputDevice* d, uint8_t* stored, int32_t button, uint8_t state)
{
    if (*stored == state)
        return;
    *stored = state;
    if (d->buttons_in_use)
        koru_post_event_now(d->window, d->id + button, state != 0);
}

bool acquire(InputDevice*)
{
    return true; // SDL hands out controllers without taking them from others
}

void nothing(InputDevice*) {}

// ---------------------------------------------------------------------------
// The mouse: relative x and y, buttons left, right, middle.

struct MouseDriver {
    int32_t motion[2];
    uint8_t buttons[3];
};

void mouse_poll(InputDevice* d)
{
    MouseDriver* m = static_cast<MouseDriver*>(d->driver);
    int dx = 0, dy = 0;
    SDL_GetRelativeMouseState(&dx, &dy);
    m->motion[0] += dx;
    m->motion[1] += dy;
    uint32_t held = SDL_GetMouseState(nullptr, nullptr);
    const uint32_t masks[3] = {SDL_BUTTON_LMASK, SDL_BUTTON_RMASK, SDL_BUTTON_MMASK};
    for (int32_t b = 0; b < 3; b++)
        button_state(d, &m->buttons[b], b, (held & masks[b]) ? 0x80 : 0);
}

int32_t mouse_read_axis(InputDevice* d, int32_t index)
{
    mouse_poll(d);
    MouseDriver* m = static_cast<MouseDriver*>(d->driver);
    int32_t value = m->motion[index];
    m->motion[index] = 0; // each read gives the motion since the last one
    return value;
}

// The mouse opens the roll call, so it is the last of its devices to go and
// gives back the joystick subsystem the roll call took.
void mouse_destroy(InputDevice* d)
{
    koru_log("Killing %s\n", d->name);
    free(d->driver);
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

const InputDeviceOps mouse_ops = {acquire, acquire, nothing, mouse_read_axis, mouse_poll, mouse_destroy};

// ---------------------------------------------------------------------------
// Game controllers, read in immediate mode: SDL's own state, compared with
// the last one seen at each poll.

struct JoystickDriver {
    SDL_Joystick* joystick;
    uint8_t* buttons;
};

void joystick_poll(InputDevice* d)
{
    JoystickDriver* j = static_cast<JoystickDriver*>(d->driver);
    SDL_JoystickUpdate();
    for (int32_t b = 0; b < d->button_count; b++)
        button_state(d, &j->buttons[b], b, SDL_JoystickGetButton(j->joystick, b) ? 0x80 : 0);
}

int32_t joystick_read_axis(InputDevice* d, int32_t index)
{
    joystick_poll(d);
    JoystickDriver* j = static_cast<JoystickDriver*>(d->driver);
    int32_t value = SDL_JoystickGetAxis(j->joystick, index);
    return value < -32767 ? -32767 : value; // a range symmetric about 0
}

void joystick_destroy(InputDevice* d)
{
    koru_log("Killing %s\n", d->name);
    JoystickDriver* j = static_cast<JoystickDriver*>(d->driver);
    SDL_JoystickClose(j->joystick);
    free(j->buttons);
    free(j);
}

const InputDeviceOps joystick_ops = {acquire, acquire, nothing, joystick_read_axis, joystick_poll, joystick_destroy};

// ---------------------------------------------------------------------------
// The cursor: the mouse position in the window's client area.

int32_t cursor_read_axis(InputDevice*, int32_t index)
{
    int x = 0, y = 0;
    SDL_GetMouseState(&x, &y);
    return index == 0 ? x : y;
}

const InputDeviceOps cursor_ops = {acquire, acquire, nothing, cursor_read_axis, nothing, nothing};

// ---------------------------------------------------------------------------
// The roll call

// The device name and id of a device being set up; false when no id is free.
bool name_device(KoruWindow* window, const char* instance_name, char name[device_name_size], int32_t* id)
{
    koru_device_name_for(window, instance_name, name, device_name_size);
    *id = koru_device_id_for(window, name);
    if (*id == 0) {
        koru_log("No free device id for \"%s\"\n", name);
        return false;
    }
    return true;
}

void log_axis_kinds(int32_t axes, bool relative)
{
    for (int32_t a = 0; a < axes; a++)
        koru_log("axis %d is %s\n", a, relative ? "relative" : "absolute");
}

// False only when memory runs out, which ends the roll call; added tells
// whether the mouse joined the window.
bool add_mouse(KoruWindow* window, bool* added)
{
    *added = false;
    koru_log("%s (%s)\n", "Mouse", "Mouse");
    char name[device_name_size];
    int32_t id;
    if (!name_device(window, "Mouse", name, &id))
        return true;
    koru_log("%d axes, %d keys\n", 2, 3);
    log_axis_kinds(2, true);
    MouseDriver* m = static_cast<MouseDriver*>(calloc(1, sizeof *m));
    InputDevice* d = m ? new_device(window, name, id, 3, 2, &mouse_ops, m) : nullptr;
    if (!d) {
        free(m);
        koru_log("Out of memory\n");
        return false;
    }
    // Motion before the roll call is not the player's.
    SDL_GetRelativeMouseState(nullptr, nullptr);
    join(window, d);
    *added = true;
    return true;
}

// False only when memory runs out, which ends the roll call.
bool add_joystick(KoruWindow* window, int index)
{
    const char* instance = SDL_JoystickNameForIndex(index);
    if (!instance)
        instance = "Joystick";
    // SDL gives a controller one name, which serves as both.
    koru_log("%s (%s)\n", instance, instance);
    char name[device_name_size];
    int32_t id;
    if (!name_device(window, instance, name, &id))
        return true;
    SDL_Joystick* joystick = SDL_JoystickOpen(index);
    if (!joystick) {
        koru_log("Can't create \"%s\"\n", name);
        return true;
    }
    int axes = SDL_JoystickNumAxes(joystick), buttons = SDL_JoystickNumButtons(joystick);
    if (axes < 0 || buttons < 0) {
        koru_log("Can't get device caps\n");
        SDL_JoystickClose(joystick);
        return true;
    }
    koru_log("%d axes, %d keys\n", axes, buttons);
    if (axes > most_axes) {
        koru_log("Wow! This thing has a lot of axes!\nThe first ignored axis is called \"%s %d\"\n", "axis",
                 most_axes);
        axes = most_axes;
    }
    if (buttons > most_buttons) {
        koru_log("Wow! This thing has a lot of buttons!\nThe first ignored button is called \"%s %d\"\n", "button",
                 most_buttons);
        buttons = most_buttons;
    }
    log_axis_kinds(axes, false);

    JoystickDriver* j = static_cast<JoystickDriver*>(calloc(1, sizeof *j));
    uint8_t* states = static_cast<uint8_t*>(calloc(size_t(buttons) + 1, 1));
    InputDevice* d = j && states ? new_device(window, name, id, buttons, axes, &joystick_ops, j) : nullptr;
    if (!d) {
        free(j);
        free(states);
        SDL_JoystickClose(joystick);
        koru_log("Out of memory\n");
        return false;
    }
    j->joystick = joystick;
    j->buttons = states;
    for (int32_t a = 0; a < axes; a++) {
        char axis[device_name_size + 32];
        snprintf(axis, sizeof axis, "%.200s axis %d", name, a);
        const char* stored = koru_intern(axis);
        if (!stored)
            continue;
        koru_log("Adding axis \"%s\"\n", stored);
        add_axis_name(window, stored);
    }
    join(window, d);
    return true;
}

const char* const roll_call_aliases[][2] = {
    {"mouse-x", "Mouse.axis[0]"},
    {"mouse-y", "Mouse.axis[1]"},
    {"mouse-left", "Mouse.key[0]"},
    {"mouse-right", "Mouse.key[1]"},
    {"mouse-middle", "Mouse.key[2]"},
    {"joystick-a-x", "Joystick1.axis[0]"},
    {"joystick-a-y", "Joystick1.axis[1]"},
    {"joystick-a-1", "Joystick1.key[0]"},
    {"joystick-a-2", "Joystick1.key[1]"},
    {"joystick-b-x", "Joystick2.axis[0]"},
    {"joystick-b-y", "Joystick2.axis[1]"},
    {"joystick-b-1", "Joystick2.key[0]"},
    {"joystick-b-2", "Joystick2.key[1]"},
};

void roll_call(KoruWindow* window)
{
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) {
        koru_log("Can't open the joystick subsystem (%s)\n", SDL_GetError());
        return;
    }
    koru_log("DirectInput roll call...\n");
    // Buttons are read from the controllers' state at each poll, not from
    // SDL's event queue.
    SDL_JoystickEventState(SDL_IGNORE);
    bool mouse_added;
    bool going = add_mouse(window, &mouse_added);
    if (!mouse_added) {
        // Nothing would hold the subsystem for the controllers.
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
        going = false;
    }
    int count = going ? SDL_NumJoysticks() : 0;
    for (int i = 0; i < count && going; i++)
        going = add_joystick(window, i);
    koru_log("End of DirectInput roll call\n");
    for (const auto& alias : roll_call_aliases)
        koru_alias(alias[0], alias[1]);
}

} // namespace

void koru_device_name_for(KoruWindow* window, const char* instance_name, char* out, size_t size)
{
    if (!out || size == 0)
        return;
    size_t length = 0;
    for (const char* p = instance_name ? instance_name : ""; *p && length + 1 < size; p++)
        if (*p != ' ' && *p != '.')
            out[length++] = *p;
    out[length] = '\0';
    if (!window)
        return;
    for (int n = 2; name_taken(window, out); n++) {
        char suffix[16];
        int suffix_length = snprintf(suffix, sizeof suffix, "#%d", n);
        size_t keep = length;
        if (keep + size_t(suffix_length) + 1 > size)
            keep = size > size_t(suffix_length) + 1 ? size - size_t(suffix_length) - 1 : 0;
        snprintf(out + keep, size - keep, "%s", suffix);
    }
}

int32_t koru_device_id_for(KoruWindow* window, const char* name)
{
    int32_t even = 0, odd = 0;
    for (size_t i = 0; name && name[i]; i++) {
        int32_t c = static_cast<signed char>(name[i]);
        if (i % 2 == 0)
            even += c;
        else
            odd += c;
    }
    // A non-negative remainder even when the sums are negative, so the id
    // lies in 0..0x7fff0000 as every id must.
    int64_t value = ((int64_t(odd) * 256 + even) % 32768 + 32768) % 32768;
    uint32_t id = uint32_t(value) * id_step;
    for (int tries = 0; tries <= 65535; tries++) {
        if (id != 0 && !(window && id_taken(window, int32_t(id))))
            return int32_t(id);
        id = (id + id_step) & 0x7fffffffu;
    }
    return 0;
}

InputDevice* koru_add_device(KoruWindow* window, const char* instance_name, int32_t buttons, int32_t axes,
                             const InputDeviceOps* ops, void* driver)
{
    if (!window)
        return nullptr;
    char name[device_name_size];
    int32_t id;
    if (!name_device(window, instance_name, name, &id))
        return nullptr;
    InputDevice* d = new_device(window, name, id, buttons, axes, ops, driver);
    if (!d) {
        koru_log("Out of memory\n");
        return nullptr;
    }
    join(window, d);
    return d;
}

void koru_open_devices(KoruWindow* window)
{
    if (!window)
        return;
    roll_call(window);
    if (koru_add_device(window, "cursor", 0, 2, &cursor_ops, nullptr)) {
        koru_alias("cursor-x", "cursor.axis[0]");
        koru_alias("cursor-y", "cursor.axis[1]");
    }
    close_axis_names(window);
}

void koru_close_devices(KoruWindow* window)
{
    if (!window)
        return;
    while (InputDevice* d = window->devices) {
        window->devices = d->next;
        if (d->open_axes > 0) {
            d->open_axes = 0;
            if (d->ops && d->ops->close_axes)
                d->ops->close_axes(d);
        }
        if (d->ops && d->ops->destroy)
            d->ops->destroy(d);
        free(d);
    }
    // The names belong to devices that are gone.
    window->axis_names.clear();
    window->axis_names.push_back(nullptr);
}
