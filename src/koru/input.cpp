#include "koru/input.h"

#include "koru/log.h"
#include "koru/window.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---------------------------------------------------------------------------
// Events

void koru_post_event(KoruWindow* window, int32_t code, bool pressed, int32_t seconds, int32_t microseconds)
{
    if (!window)
        return;
    std::lock_guard<std::mutex> hold(window->event_lock);
    event_queue_post(&window->events, code, pressed, seconds, microseconds); // a full queue drops it
}

void koru_post_event_now(KoruWindow* window, int32_t code, bool pressed)
{
    int seconds, microseconds;
    koru_time(&seconds, &microseconds);
    koru_post_event(window, code, pressed, seconds, microseconds);
}

namespace {

bool take_event(KoruWindow* window, bool limited, int32_t seconds, int32_t microseconds, KoruEvent* event)
{
    std::lock_guard<std::mutex> hold(window->event_lock);
    if (limited)
        return event_queue_take_before(&window->events, seconds, microseconds, event);
    return event_queue_take(&window->events, event);
}

bool next_event(KoruWindow* window, bool limited, int32_t seconds, int32_t microseconds, KoruEvent* event)
{
    if (!window || !event)
        return false;
    koru_pump_messages(window);
    if (take_event(window, limited, seconds, microseconds, event))
        return true;
    // Devices are polled only when nothing is due, and outside the lock:
    // a poll posts its own events.
    for (InputDevice* d = window->devices; d; d = d->next)
        if (d->buttons_in_use && d->ops && d->ops->poll)
            d->ops->poll(d);
    return take_event(window, limited, seconds, microseconds, event);
}

} // namespace

bool koru_next_event(KoruWindow* window, KoruEvent* event)
{
    return next_event(window, false, 0, 0, event);
}

bool koru_next_event_before(KoruWindow* window, int32_t seconds, int32_t microseconds, KoruEvent* event)
{
    return next_event(window, true, seconds, microseconds, event);
}

// ---------------------------------------------------------------------------
// The name store: one copy of every text handed out, sorted for a binary
// search, never freed, so callers may compare names by pointer.

namespace {

char** interned;
size_t interned_count, interned_room;

} // namespace

const char* koru_intern(const char* text)
{
    if (!text)
        return nullptr;
    size_t low = 0, high = interned_count;
    while (low < high) {
        size_t mid = (low + high) / 2;
        int order = strcmp(interned[mid], text);
        if (order == 0)
            return interned[mid];
        if (order < 0)
            low = mid + 1;
        else
            high = mid;
    }
    if (interned_count == interned_room) {
        size_t room = interned_room ? interned_room * 2 : 256;
        char** grown = static_cast<char**>(realloc(interned, room * sizeof *grown));
        if (!grown)
            return nullptr;
        interned = grown;
        interned_room = room;
    }
    char* copy = strdup(text);
    if (!copy)
        return nullptr;
    memmove(interned + low + 1, interned + low, (interned_count - low) * sizeof *interned);
    interned[low] = copy;
    interned_count++;
    return copy;
}

// ---------------------------------------------------------------------------
// Aliases

namespace {

struct Alias {
    Alias* next;
    char* name;
    char* target;
};

Alias* aliases; // newest first

const Alias* find_alias(const char* name)
{
    for (const Alias* a = aliases; a; a = a->next)
        if (strcmp(a->name, name) == 0)
            return a;
    return nullptr;
}

// One level only: an alias of an alias is not followed, so no chain can loop.
const char* resolve_alias(const char* name)
{
    const Alias* a = find_alias(name);
    return a ? a->target : name;
}

} // namespace

bool koru_alias(const char* name, const char* target)
{
    if (!name || !target)
        return false;
    if (find_alias(name)) {
        koru_log("Second alias for '%s' ('%s') ignored\n", name, target);
        return false;
    }
    Alias* a = static_cast<Alias*>(malloc(sizeof *a));
    char* name_copy = strdup(name);
    char* target_copy = strdup(target);
    if (!a || !name_copy || !target_copy) {
        free(a);
        free(name_copy);
        free(target_copy);
        koru_log("Can't alias %s to %s -- out of memory\n", name, target);
        return false;
    }
    *a = {aliases, name_copy, target_copy};
    aliases = a;
    return true;
}

// ---------------------------------------------------------------------------
// Key names

namespace {

struct NamedCode {
    const char* name;
    int32_t code;
};

const NamedCode special_names[] = {
    {"Close", key_code_close},
    {"Mouse Left", key_code_mouse_left},
    {"Mouse Middle", key_code_mouse_middle},
    {"Mouse Right", key_code_mouse_right},
};

// Scan codes of the PC set 1, extended keys with 256 added. The first name
// of a code is the one it is shown by.
const NamedCode scan_code_names[] = {
    {"Esc", 1},          {"0", 11},           {"1", 2},          {"2", 3},           {"3", 4},
    {"4", 5},            {"5", 6},            {"6", 7},          {"7", 8},           {"8", 9},
    {"9", 10},           {"A", 30},           {"B", 48},         {"C", 46},          {"D", 32},
    {"E", 18},           {"F", 33},           {"G", 34},         {"H", 35},          {"I", 23},
    {"J", 36},           {"K", 37},           {"L", 38},         {"M", 50},          {"N", 49},
    {"O", 24},           {"P", 25},           {"Q", 16},         {"R", 19},          {"S", 31},
    {"T", 20},           {"U", 22},           {"V", 47},         {"W", 17},          {"X", 45},
    {"Y", 21},           {"Z", 44},           {"-", 12},         {"=", 13},          {"[", 26},
    {"]", 27},           {";", 39},           {"'", 40},         {"`", 41},          {"\\", 43},
    {",", 51},           {".", 52},           {"/", 53},         {"Backspace", 14},  {"Tab", 15},
    {"Enter", 28},       {"Left Ctrl", 29},   {"Left Shift", 42}, {"Right Shift", 54}, {"Space", 57},
    {" ", 57},           {"Caps Lock", 58},   {"Right Ctrl", 285}, {"Insert", 338},   {"Delete", 339},
    {"Home", 327},       {"End", 335},        {"Page Up", 329},  {"Page Down", 337}, {"Up", 328},
    {"Down", 336},       {"Left", 331},       {"Right", 333},    {"F1", 59},         {"F2", 60},
    {"F3", 61},          {"F4", 62},          {"F5", 63},        {"F6", 64},         {"F7", 65},
    {"F8", 66},          {"F9", 67},          {"F10", 68},       {"F11", 87},        {"F12", 88},
    {"Pause", 69},       {"Num Lock", 325},   {"Keypad /", 309}, {"Keypad *", 55},   {"Keypad -", 74},
    {"Keypad 7", 71},    {"Keypad 8", 72},    {"Keypad 9", 73},  {"Keypad +", 78},   {"Keypad 4", 75},
    {"Keypad 5", 76},    {"Keypad 6", 77},    {"Keypad 1", 79},  {"Keypad 2", 80},   {"Keypad 3", 81},
    {"Keypad Enter", 284}, {"Keypad 0", 82},  {"Keypad .", 83},
};
static_assert(sizeof scan_code_names / sizeof scan_code_names[0] == 98);

const int32_t scan_code_count = 512;

// The system's own name for scan code s. Linux has no layout service that
// names keys by scan code, so every entry is empty and the program's names
// serve alone: names and configuration files then read the same on every
// keyboard layout.
const char* system_key_name(int32_t)
{
    return "";
}

int fold(unsigned char c)
{
    if (isspace(c) || c == '_')
        return ' ';
    return tolower(c);
}

bool loose_equal(const char* a, const char* b)
{
    for (;; a++, b++) {
        if (fold(static_cast<unsigned char>(*a)) != fold(static_cast<unsigned char>(*b)))
            return false;
        if (!*a)
            return true;
    }
}

bool exact_equal(const char* a, const char* b)
{
    return strcmp(a, b) == 0;
}

// The special names, then the system's, then the program's scan-code names.
bool named_code(const char* name, bool (*equal)(const char*, const char*), int32_t* code)
{
    for (const NamedCode& n : special_names)
        if (equal(n.name, name)) {
            *code = n.code;
            return true;
        }
    for (int32_t s = 0; s < scan_code_count; s++) {
        const char* system = system_key_name(s);
        // An empty entry means the system has no name, not that "" names it.
        if (*system && equal(system, name)) {
            *code = key_code_keyboard + s;
            return true;
        }
    }
    for (const NamedCode& n : scan_code_names)
        if (equal(n.name, name)) {
            *code = key_code_keyboard + n.code;
            return true;
        }
    return false;
}

// "0x" and hexadecimal digits only, at most 511.
bool hex_scan_code(const char* name, int32_t* code)
{
    if (name[0] != '0' || name[1] != 'x' || !name[2])
        return false;
    int32_t value = 0;
    for (const char* p = name + 2; *p; p++) {
        if (!isxdigit(static_cast<unsigned char>(*p)))
            return false;
        value = value * 16 + (isdigit(static_cast<unsigned char>(*p)) ? *p - '0' : tolower(*p) - 'a' + 10);
        if (value >= scan_code_count)
            return false;
    }
    *code = key_code_keyboard + value;
    return true;
}

// A decimal number that ends the text; false for anything else or one that
// does not fit.
bool trailing_number(const char* text, const char* end_mark, int32_t* number)
{
    if (!isdigit(static_cast<unsigned char>(*text)))
        return false;
    errno = 0;
    char* end;
    long value = strtol(text, &end, 10);
    if (errno == ERANGE || value > INT32_MAX)
        return false;
    size_t mark = strlen(end_mark);
    if (strncmp(end, end_mark, mark) != 0 || end[mark] != '\0')
        return false;
    *number = int32_t(value);
    return true;
}

// "<device>.<part>[n]" or "<device> <spelled> n", the whole text: the device
// name (at most 63 characters) and n >= 0.
bool device_part(const char* name, const char* part, const char* spelled, char device[64], int32_t* number)
{
    char format[48];
    int used = -1;
    snprintf(format, sizeof format, "%%63[^.].%s[%%n", part);
    if (sscanf(name, format, device, &used) == 1 && used > 0 && trailing_number(name + used, "]", number))
        return true;
    used = -1;
    snprintf(format, sizeof format, "%%63s %s %%n", spelled);
    if (sscanf(name, format, device, &used) == 1 && used > 0 && trailing_number(name + used, "", number))
        return true;
    return false;
}

InputDevice* device_named(KoruWindow* window, const char* name)
{
    if (!window)
        return nullptr;
    for (InputDevice* d = window->devices; d; d = d->next)
        if (d->name && strcmp(d->name, name) == 0)
            return d;
    return nullptr;
}

InputDevice* device_with_id(KoruWindow* window, int32_t id)
{
    if (!window || id == 0)
        return nullptr;
    for (InputDevice* d = window->devices; d; d = d->next)
        if (d->id == id)
            return d;
    return nullptr;
}

} // namespace

const char* koru_key_name(KoruWindow* window, int32_t code)
{
    for (const NamedCode& n : special_names)
        if (n.code == code)
            return n.name;
    char text[1100];
    if (code < key_code_keyboard || code >= key_code_keyboard + scan_code_count) {
        const InputDevice* d = device_with_id(window, int32_t(uint32_t(code) & 0xffff0000u));
        if (!d)
            return nullptr;
        snprintf(text, sizeof text, "%.1000s button %d", d->name, code & 0xff);
        return koru_intern(text);
    }
    int32_t s = code - key_code_keyboard;
    const char* system = system_key_name(s);
    if (*system)
        return koru_intern(system);
    for (const NamedCode& n : scan_code_names)
        if (n.code == s)
            return n.name;
    snprintf(text, sizeof text, "0x%x", unsigned(s));
    return koru_intern(text);
}

bool koru_key_code(KoruWindow* window, const char* name, int32_t* code)
{
    if (!name || !code)
        return false;
    name = resolve_alias(name);
    if (named_code(name, exact_equal, code) || named_code(name, loose_equal, code) || hex_scan_code(name, code))
        return true;
    char device_name[64];
    int32_t button;
    if (!device_part(name, "key", "button", device_name, &button) || button > 255)
        return false;
    InputDevice* d = device_named(window, device_name);
    if (!d || button >= d->button_count)
        return false;
    d->buttons_in_use = d->ops && d->ops->enable_buttons ? d->ops->enable_buttons(d) : true;
    *code = d->id + button;
    return true;
}

// ---------------------------------------------------------------------------
// Axes

AxisHandle* koru_open_axis(KoruWindow* window, const char* name)
{
    if (!name)
        return nullptr;
    name = resolve_alias(name);
    char device_name[64];
    int32_t index;
    if (!device_part(name, "axis", "axis", device_name, &index))
        return nullptr;
    InputDevice* d = device_named(window, device_name);
    if (!d || index >= d->axis_count)
        return nullptr;
    AxisHandle* handle = static_cast<AxisHandle*>(malloc(sizeof *handle));
    if (!handle)
        return nullptr;
    *handle = {d, index};
    if (d->open_axes <= 0 && d->ops && d->ops->open_axes && !d->ops->open_axes(d)) {
        free(handle);
        return nullptr;
    }
    if (d->open_axes < 0)
        d->open_axes = 0;
    d->open_axes++;
    return handle;
}

void koru_release_axis(AxisHandle* handle)
{
    if (!handle)
        return;
    InputDevice* d = handle->device;
    if (--d->open_axes <= 0) {
        d->open_axes = 0;
        if (d->ops && d->ops->close_axes)
            d->ops->close_axes(d);
    }
    free(handle);
}

int32_t koru_axis_value(AxisHandle* handle)
{
    if (!handle || !handle->device->ops || !handle->device->ops->read_axis)
        return 0;
    return handle->device->ops->read_axis(handle->device, handle->index);
}

const char* const* koru_axis_names(KoruWindow* window)
{
    static const char* const none[] = {nullptr};
    if (!window || window->axis_names.empty() || window->axis_names.back())
        return none;
    return window->axis_names.data();
}
