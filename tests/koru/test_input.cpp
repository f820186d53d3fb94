#include "koru/input.h"
#include "koru/log.h"
#include "koru/window.h"
#include "support/fixture.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Posted {
    int32_t code;
    bool pressed;
    int32_t seconds, microseconds;
};

// A device whose every operation is counted; poll posts what the test
// queued for it, and axes report the motion the test put there.
struct Fake {
    int enables = 0, opens = 0, closes = 0, polls = 0, destroys = 0;
    bool enable_result = true, open_result = true;
    bool relative = true;
    int32_t axes[4] = {};
    std::vector<Posted> to_post;
    std::vector<std::string>* destroyed = nullptr;
};

Fake* fake(InputDevice* d)
{
    return static_cast<Fake*>(d->driver);
}

const InputDeviceOps fake_ops = {
    [](InputDevice* d) {
        fake(d)->enables++;
        return fake(d)->enable_result;
    },
    [](InputDevice* d) {
        fake(d)->opens++;
        return fake(d)->open_result;
    },
    [](InputDevice* d) { fake(d)->closes++; },
    [](InputDevice* d, int32_t index) {
        int32_t value = fake(d)->axes[index];
        if (fake(d)->relative)
            fake(d)->axes[index] = 0;
        return value;
    },
    [](InputDevice* d) {
        Fake* f = fake(d);
        f->polls++;
        // Posting takes the event lock, so this also shows that polls run
        // outside it.
        for (const Posted& p : f->to_post)
            koru_post_event(d->window, p.code, p.pressed, p.seconds, p.microseconds);
        f->to_post.clear();
    },
    [](InputDevice* d) {
        fake(d)->destroys++;
        if (fake(d)->destroyed)
            fake(d)->destroyed->push_back(d->name);
    },
};

struct InputFixture : ::testing::Test {
    KoruWindow* window = new KoruWindow{};
    std::vector<Fake*> fakes;

    InputDevice* add(const char* instance_name, int32_t buttons, int32_t axes)
    {
        Fake* f = new Fake;
        fakes.push_back(f);
        return koru_add_device(window, instance_name, buttons, axes, &fake_ops, f);
    }
    std::vector<int32_t> drain()
    {
        std::vector<int32_t> codes;
        KoruEvent e;
        while (koru_next_event(window, &e))
            codes.push_back(e.code);
        return codes;
    }
    void TearDown() override
    {
        koru_close_devices(window);
        delete window;
        for (Fake* f : fakes)
            delete f;
    }
};

// ---------------------------------------------------------------------------
// Events

TEST_F(InputFixture, EventsComeOutInTimeOrder)
{
    struct Case {
        const char* what;
        std::vector<Posted> posted;
        std::vector<int32_t> taken;
    } const cases[] = {
        {"later arrivals with earlier times go first",
         {{5, true, 0, 5}, {3, true, 0, 3}, {4, true, 0, 4}},
         {3, 4, 5}},
        {"equal times keep arrival order",
         {{7, true, 2, 0}, {8, true, 2, 0}, {6, true, 1, 0}, {9, true, 2, 0}},
         {6, 7, 8, 9}},
        {"microseconds order within a second", {{2, true, 1, 500000}, {1, true, 1, 1000}}, {1, 2}},
        {"the seconds counter wrapping", {{2, true, INT32_MIN, 0}, {1, true, INT32_MAX, 0}}, {1, 2}},
    };
    for (const Case& c : cases) {
        for (const Posted& p : c.posted)
            koru_post_event(window, p.code, p.pressed, p.seconds, p.microseconds);
        EXPECT_EQ(drain(), c.taken) << c.what;
    }
}

TEST_F(InputFixture, TakenEventsKeepPressedFlagAndTime)
{
    koru_post_event(window, 4096 + 30, true, 10, 1000);
    koru_post_event(window, 4096 + 30, false, 10, 2000);
    KoruEvent e;
    ASSERT_TRUE(koru_next_event(window, &e));
    EXPECT_EQ(e.code, 4096 + 30);
    EXPECT_TRUE(e.pressed);
    EXPECT_EQ(e.seconds, 10);
    EXPECT_EQ(e.microseconds, 1000);
    ASSERT_TRUE(koru_next_event(window, &e));
    EXPECT_EQ(e.code, 4096 + 30);
    EXPECT_FALSE(e.pressed);
    EXPECT_FALSE(koru_next_event(window, &e));
}

TEST_F(InputFixture, PostNowStampsTheClock)
{
    int before_s, before_us, after_s, after_us;
    koru_time(&before_s, &before_us);
    koru_post_event_now(window, key_code_close, true);
    koru_time(&after_s, &after_us);
    KoruEvent e;
    ASSERT_TRUE(koru_next_event(window, &e));
    EXPECT_EQ(e.code, key_code_close);
    EXPECT_GE(compare_event_times(e.seconds, e.microseconds, before_s, before_us), 0);
    EXPECT_LE(compare_event_times(e.seconds, e.microseconds, after_s, after_us), 0);
}

TEST_F(InputFixture, TakeBeforeAnEarlierLimitLeavesTheQueueAlone)
{
    koru_post_event(window, 1, true, 5, 0);
    koru_post_event(window, 2, true, 6, 0);
    KoruEvent e;
    EXPECT_FALSE(koru_next_event_before(window, 4, 999999, &e));
    EXPECT_EQ(window->events.count, 2);
    ASSERT_TRUE(koru_next_event_before(window, 5, 0, &e)); // not later than the limit
    EXPECT_EQ(e.code, 1);
    EXPECT_FALSE(koru_next_event_before(window, 5, 999999, &e));
    EXPECT_EQ(drain(), std::vector<int32_t>{2});
}

TEST_F(InputFixture, EventsBeyondTheQueueAreLost)
{
    for (int32_t i = 0; i < 257; i++)
        koru_post_event(window, i, true, 1, 0);
    std::vector<int32_t> first(256);
    for (int32_t i = 0; i < 256; i++)
        first[i] = i;
    EXPECT_EQ(drain(), first);
}

TEST_F(InputFixture, DevicesWithBoundButtonsArePolledWhenNothingIsDue)
{
    InputDevice* bound = add("Bound", 8, 0);
    InputDevice* idle = add("Idle", 8, 0);
    bound->buttons_in_use = true;
    fake(bound)->to_post = {{bound->id + 1, true, 3, 0}};
    fake(idle)->to_post = {{idle->id + 1, true, 3, 0}};

    koru_post_event(window, 'a', true, 1, 0);
    KoruEvent e;
    ASSERT_TRUE(koru_next_event(window, &e));
    EXPECT_EQ(e.code, 'a');
    EXPECT_EQ(fake(bound)->polls, 0); // something was due

    // A poll's event later than the limit stays queued.
    EXPECT_FALSE(koru_next_event_before(window, 2, 0, &e));
    EXPECT_EQ(fake(bound)->polls, 1);
    ASSERT_TRUE(koru_next_event(window, &e));
    EXPECT_EQ(e.code, bound->id + 1);
    EXPECT_EQ(fake(idle)->polls, 0);
    EXPECT_FALSE(koru_next_event(window, &e));
}

// ---------------------------------------------------------------------------
// Names

struct NameCase {
    const char* name;
    int32_t scan_code;
};

// The keyboard names with the scan codes of the keys they name.
const NameCase scan_code_names[] = {
    {"Esc", 1},          {"0", 11},           {"1", 2},            {"2", 3},            {"3", 4},
    {"4", 5},            {"5", 6},            {"6", 7},            {"7", 8},            {"8", 9},
    {"9", 10},           {"A", 30},           {"B", 48},           {"C", 46},           {"D", 32},
    {"E", 18},           {"F", 33},           {"G", 34},           {"H", 35},           {"I", 23},
    {"J", 36},           {"K", 37},           {"L", 38},           {"M", 50},           {"N", 49},
    {"O", 24},           {"P", 25},           {"Q", 16},           {"R", 19},           {"S", 31},
    {"T", 20},           {"U", 22},           {"V", 47},           {"W", 17},           {"X", 45},
    {"Y", 21},           {"Z", 44},           {"-", 12},           {"=", 13},           {"[", 26},
    {"]", 27},           {";", 39},           {"'", 40},           {"`", 41},           {"\\", 43},
    {",", 51},           {".", 52},           {"/", 53},           {"Backspace", 14},   {"Tab", 15},
    {"Enter", 28},       {"Left Ctrl", 29},   {"Left Shift", 42},  {"Right Shift", 54}, {"Space", 57},
    {" ", 57},           {"Caps Lock", 58},   {"Right Ctrl", 285}, {"Insert", 338},     {"Delete", 339},
    {"Home", 327},       {"End", 335},        {"Page Up", 329},    {"Page Down", 337},  {"Up", 328},
    {"Down", 336},       {"Left", 331},       {"Right", 333},      {"F1", 59},          {"F2", 60},
    {"F3", 61},          {"F4", 62},          {"F5", 63},          {"F6", 64},          {"F7", 65},
    {"F8", 66},          {"F9", 67},          {"F10", 68},         {"F11", 87},         {"F12", 88},
    {"Pause", 69},       {"Num Lock", 325},   {"Keypad /", 309},   {"Keypad *", 55},    {"Keypad -", 74},
    {"Keypad 7", 71},    {"Keypad 8", 72},    {"Keypad 9", 73},    {"Keypad +", 78},    {"Keypad 4", 75},
    {"Keypad 5", 76},    {"Keypad 6", 77},    {"Keypad 1", 79},    {"Keypad 2", 80},    {"Keypad 3", 81},
    {"Keypad Enter", 284}, {"Keypad 0", 82},  {"Keypad .", 83},
};

TEST_F(InputFixture, EveryKeyNameResolvesBothWays)
{
    for (const NameCase& c : scan_code_names) {
        int32_t code = -1;
        ASSERT_TRUE(koru_key_code(window, c.name, &code)) << "'" << c.name << "'";
        EXPECT_EQ(code, 4096 + c.scan_code) << "'" << c.name << "'";
        const char* shown = koru_key_name(window, code);
        ASSERT_NE(shown, nullptr);
        EXPECT_STREQ(shown, c.scan_code == 57 ? "Space" : c.name);
    }
    const struct {
        const char* name;
        int32_t code;
    } specials[] = {{"Close", 57005}, {"Mouse Left", 8192}, {"Mouse Middle", 8193}, {"Mouse Right", 8194}};
    for (const auto& s : specials) {
        int32_t code = -1;
        ASSERT_TRUE(koru_key_code(window, s.name, &code)) << s.name;
        EXPECT_EQ(code, s.code);
        EXPECT_STREQ(koru_key_name(window, s.code), s.name);
    }
}

TEST_F(InputFixture, LooseAndNumericNames)
{
    struct Case {
        const char* name;
        int32_t code; // 0: fails
    } const cases[] = {
        {"keypad enter", 4380},
        {"esc", 4097},
        {"page_up", 4096 + 329},
        {"PAGE UP", 4096 + 329},
        {"page up", 4096 + 329},
        {"right ctrl", 4381},
        {"z", 4140},
        {"left\tshift", 4138},
        {"mouse_left", 8192},
        {"CLOSE", 57005},
        {"Space", 4153},
        {" ", 4153},
        {"0x1d", 4125},
        {"0x0", 4096},
        {"0x1ff", 4607},
        {"0x5B", 4096 + 0x5b},
        {"0x200", 0},
        {"0x1000000000", 0},
        {"0x", 0},
        {"0x1g", 0},
        {"0x-1", 0},
        {"0X1d", 0},
        {"", 0},
        {"Left Alt", 0},
        {"pageup", 0},
        {"page  up", 0},
        {"Keypad Enter ", 0},
    };
    for (const Case& c : cases) {
        int32_t code = 0;
        EXPECT_EQ(koru_key_code(window, c.name, &code), c.code != 0) << "'" << c.name << "'";
        if (c.code) {
            EXPECT_EQ(code, c.code) << "'" << c.name << "'";
        }
    }
    int32_t code;
    EXPECT_FALSE(koru_key_code(window, nullptr, &code));
}

TEST_F(InputFixture, NamesOfCodes)
{
    struct Case {
        int32_t code;
        const char* name; // none when null
    } const cases[] = {
        {4096 + 57, "Space"},    {4096 + 0x5b, "0x5b"}, {4096 + 0, "0x0"},   {4096 + 56, "0x38"},
        {4096 + 511, "0x1ff"},   {4096 + 284, "Keypad Enter"},              {57005, "Close"},
        {65, nullptr},           {0, nullptr},          {255, nullptr},      {8195, nullptr},
        {65536 + 3, nullptr},    {-1, nullptr},
    };
    for (const Case& c : cases) {
        const char* name = koru_key_name(window, c.code);
        if (c.name) {
            EXPECT_STREQ(name, c.name) << c.code;
        } else {
            EXPECT_EQ(name, nullptr) << c.code;
        }
    }
    // Names are handed out from the store, so they compare by pointer.
    EXPECT_EQ(koru_key_name(window, 4096 + 0x5b), koru_intern("0x5b"));
}

TEST(KeyCodes, SdlScancodesGiveSetOneCodes)
{
    struct Case {
        int scancode;
        int32_t code;
    } const cases[] = {
        {SDL_SCANCODE_A, 4096 + 30},
        {SDL_SCANCODE_M, 4096 + 50},
        {SDL_SCANCODE_N, 4096 + 49},
        {SDL_SCANCODE_ESCAPE, 4097},
        {SDL_SCANCODE_SPACE, 4153},
        {SDL_SCANCODE_LCTRL, 4096 + 29},
        {SDL_SCANCODE_RCTRL, 4096 + 29 + 256},
        {SDL_SCANCODE_LALT, 4096 + 56},
        {SDL_SCANCODE_RALT, 4096 + 56 + 256},
        {SDL_SCANCODE_LGUI, 4096 + 0x5b + 256},
        {SDL_SCANCODE_RGUI, 4096 + 0x5c + 256},
        {SDL_SCANCODE_APPLICATION, 4096 + 0x5d + 256},
        {SDL_SCANCODE_PRINTSCREEN, 4096 + 0x37 + 256},
        {SDL_SCANCODE_SCROLLLOCK, 4096 + 70},
        {SDL_SCANCODE_PAUSE, 4096 + 69},
        {SDL_SCANCODE_NUMLOCKCLEAR, 4096 + 325},
        {SDL_SCANCODE_NONUSBACKSLASH, 4096 + 86},
        {SDL_SCANCODE_KP_ENTER, 4380},
        {SDL_SCANCODE_KP_DIVIDE, 4096 + 309},
        {SDL_SCANCODE_KP_MULTIPLY, 4096 + 55},
        {SDL_SCANCODE_UP, 4096 + 328},
        {SDL_SCANCODE_PAGEDOWN, 4096 + 337},
        {SDL_SCANCODE_F11, 4096 + 87},
        {SDL_SCANCODE_UNKNOWN, 0},
        {SDL_SCANCODE_VOLUMEUP, 0},
        {-1, 0},
        {SDL_NUM_SCANCODES, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(koru_key_code_for_scancode(c.scancode), c.code) << c.scancode;
}

TEST(KeyCodes, LetterAndDigitKeysAreShownByTheirOwnNames)
{
    for (int i = 0; i < 26; i++) {
        const char* name = koru_key_name(nullptr, koru_key_code_for_scancode(SDL_SCANCODE_A + i));
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(std::string(name), std::string(1, char('A' + i)));
    }
    for (int i = 0; i < 9; i++)
        EXPECT_EQ(std::string(koru_key_name(nullptr, koru_key_code_for_scancode(SDL_SCANCODE_1 + i))),
                  std::string(1, char('1' + i)));
    EXPECT_STREQ(koru_key_name(nullptr, koru_key_code_for_scancode(SDL_SCANCODE_0)), "0");
}

TEST(Intern, EqualTextsShareOneCopy)
{
    std::vector<std::string> texts;
    for (int i = 0; i < 600; i++)
        texts.push_back("intern-test-" + std::to_string((i * 7919) % 600));
    std::vector<const char*> first;
    for (const std::string& t : texts)
        first.push_back(koru_intern(t.c_str()));
    for (size_t i = 0; i < texts.size(); i++) {
        std::string again = texts[i]; // a different buffer with the same text
        EXPECT_EQ(koru_intern(again.c_str()), first[i]);
        EXPECT_STREQ(first[i], texts[i].c_str());
    }
    EXPECT_NE(koru_intern("intern-test-a"), koru_intern("intern-test-b"));
    EXPECT_EQ(koru_intern(nullptr), nullptr);
}

// ---------------------------------------------------------------------------
// Aliases

struct AliasFixture : InputFixture {
    TestHome home;
    std::string log() { return read_file(home.log_file()); }
    // Aliases last for the run, so every run of a test takes names of its own.
    std::string fresh(const char* base)
    {
        static int runs = 0;
        return std::string(base) + "-" + std::to_string(++runs);
    }
};

TEST_F(AliasFixture, AliasResolvesOneLevelAndTheFirstStays)
{
    std::string jump = fresh("alias-test-jump"), hop = fresh("alias-test-hop");
    int32_t code = 0;
    ASSERT_TRUE(koru_alias(jump.c_str(), "Space"));
    ASSERT_TRUE(koru_key_code(window, jump.c_str(), &code));
    EXPECT_EQ(code, 4153);

    EXPECT_FALSE(koru_alias(jump.c_str(), "Esc"));
    EXPECT_NE(log().find("Second alias for '" + jump + "' ('Esc') ignored\n"), std::string::npos);
    ASSERT_TRUE(koru_key_code(window, jump.c_str(), &code));
    EXPECT_EQ(code, 4153);

    // An alias of an alias is not followed.
    ASSERT_TRUE(koru_alias(hop.c_str(), jump.c_str()));
    EXPECT_FALSE(koru_key_code(window, hop.c_str(), &code));

    // Names are matched exactly.
    std::string shouted = jump;
    for (char& c : shouted)
        c = char(toupper(c));
    EXPECT_FALSE(koru_key_code(window, shouted.c_str(), &code));
    EXPECT_FALSE(koru_alias(nullptr, "Space"));
    EXPECT_FALSE(koru_alias(fresh("alias-test-none").c_str(), nullptr));
}

TEST_F(AliasFixture, AliasesNameAxesAndButtons)
{
    std::string steer_name = fresh("alias-test-steer"), fire_name = fresh("alias-test-fire");
    InputDevice* d = add("Alias Pad", 4, 2);
    ASSERT_TRUE(koru_alias(steer_name.c_str(), "AliasPad.axis[1]"));
    ASSERT_TRUE(koru_alias(fire_name.c_str(), "AliasPad.key[2]"));
    AxisHandle* steer = koru_open_axis(window, steer_name.c_str());
    ASSERT_NE(steer, nullptr);
    EXPECT_EQ(steer->device, d);
    EXPECT_EQ(steer->index, 1);
    koru_release_axis(steer);
    int32_t code = 0;
    ASSERT_TRUE(koru_key_code(window, fire_name.c_str(), &code));
    EXPECT_EQ(code, d->id + 2);
}

// ---------------------------------------------------------------------------
// Devices

TEST(DeviceNames, SpacesAndDotsGo)
{
    struct Case {
        const char* instance;
        const char* name;
    } const cases[] = {
        {"Joystick 1", "Joystick1"},
        {"Logitech Dual Action.", "LogitechDualAction"},
        {"Mouse", "Mouse"},
        {" . ", ""},
        {"Tab\tStays", "Tab\tStays"},
    };
    for (const Case& c : cases) {
        char name[64];
        koru_device_name_for(nullptr, c.instance, name, sizeof name);
        EXPECT_STREQ(name, c.name) << c.instance;
    }
    char small[6];
    koru_device_name_for(nullptr, "Joystick 1", small, sizeof small);
    EXPECT_STREQ(small, "Joyst");
}

TEST(DeviceIds, FromTheCharactersOfTheName)
{
    struct Case {
        const char* name;
        int32_t id;
    } const cases[] = {
        {"Joystick1", 0x37cb0000},
        {"Joystick1#2", 0x5afd0000},
        {"Mouse", 0x63270000},
        {"cursor", 0x5b440000},
        {"ab", 0x62610000},
        {"\xff\xfe", 0x7dff0000}, // negative sums still give a positive id
        {"", 65536},              // 0 is never an id
    };
    for (const Case& c : cases)
        EXPECT_EQ(koru_device_id_for(nullptr, c.name), c.id) << c.name;
}

TEST_F(InputFixture, EqualInstanceNamesGetNumberedNamesAndOwnIds)
{
    InputDevice* first = add("Joystick 1", 4, 2);
    InputDevice* second = add("Joystick 1", 4, 2);
    InputDevice* third = add("Joystick 1", 4, 2);
    ASSERT_TRUE(first && second && third);
    EXPECT_STREQ(first->name, "Joystick1");
    EXPECT_STREQ(second->name, "Joystick1#2");
    EXPECT_STREQ(third->name, "Joystick1#3");
    EXPECT_EQ(first->id, 0x37cb0000);
    EXPECT_NE(first->id, second->id);
    EXPECT_NE(second->id, third->id);
    EXPECT_EQ(window->devices, third); // newest first
    EXPECT_EQ(third->next, second);
    EXPECT_EQ(second->next, first);
}

TEST_F(InputFixture, TakenIdsMoveOnAndSkipZero)
{
    // Even characters sum to 255 and odd ones to 127: the highest id.
    const char top[] = {127, 100, 127, 27, 1, 0};
    InputDevice* d = add(top, 1, 0);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->id, 0x7fff0000);
    EXPECT_EQ(koru_device_id_for(window, top), 65536);
    InputDevice* low = add("", 1, 0);
    ASSERT_NE(low, nullptr);
    EXPECT_EQ(low->id, 65536);
    EXPECT_EQ(koru_device_id_for(window, top), 2 * 65536);
}

TEST_F(InputFixture, DeviceButtons)
{
    InputDevice* pad = add("Joystick 1", 400, 2);
    InputDevice* small = add("Small", 4, 0);
    struct Case {
        const char* name;
        InputDevice* device; // none: fails
        int32_t button;
    } const cases[] = {
        {"Joystick1.key[3]", pad, 3},
        {"Joystick1 button 3", pad, 3},
        {"Joystick1 button 0", pad, 0},
        {"Joystick1 button 255", pad, 255},
        {"Joystick1 button 256", nullptr, 0},
        {"Joystick1 button 300", nullptr, 0},
        {"Joystick1 button 99999999999", nullptr, 0},
        {"Joystick1.key[-1]", nullptr, 0},
        {"Joystick1.key[3]x", nullptr, 0},
        {"Joystick1.key[3", nullptr, 0},
        {"Joystick1 button", nullptr, 0},
        {"joystick1.key[3]", nullptr, 0},
        {"Joystick 1.key[3]", nullptr, 0},
        {"Nobody.key[0]", nullptr, 0},
        {"Small.key[3]", small, 3},
        {"Small button 4", nullptr, 0},
    };
    for (const Case& c : cases) {
        int32_t code = 0;
        EXPECT_EQ(koru_key_code(window, c.name, &code), c.device != nullptr) << c.name;
        if (c.device) {
            EXPECT_EQ(code, c.device->id + c.button) << c.name;
        }
    }
    EXPECT_TRUE(pad->buttons_in_use);
    EXPECT_EQ(fake(pad)->enables, 4);
    EXPECT_STREQ(koru_key_name(window, pad->id + 3), "Joystick1 button 3");
    EXPECT_EQ(koru_key_name(window, pad->id + 3), koru_intern("Joystick1 button 3"));
    EXPECT_STREQ(koru_key_name(window, small->id), "Small button 0");
    EXPECT_EQ(koru_key_name(window, 'a'), nullptr); // characters have no names
}

TEST_F(InputFixture, ButtonsStayUnusedWhenTheDeviceRefuses)
{
    InputDevice* pad = add("Stubborn", 4, 0);
    fake(pad)->enable_result = false;
    int32_t code = 0;
    ASSERT_TRUE(koru_key_code(window, "Stubborn button 1", &code));
    EXPECT_EQ(code, pad->id + 1);
    EXPECT_FALSE(pad->buttons_in_use);
}

TEST_F(InputFixture, AxisHandlesOpenTheDeviceOnce)
{
    InputDevice* stick = add("Stick", 0, 2);
    AxisHandle* a = koru_open_axis(window, "Stick.axis[0]");
    AxisHandle* b = koru_open_axis(window, "Stick axis 0");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->device, stick);
    EXPECT_EQ(b->index, 0);
    EXPECT_EQ(fake(stick)->opens, 1);
    EXPECT_EQ(stick->open_axes, 2);

    koru_release_axis(a);
    EXPECT_EQ(fake(stick)->closes, 0); // still open for b
    EXPECT_EQ(stick->open_axes, 1);
    koru_release_axis(b);
    EXPECT_EQ(fake(stick)->closes, 1);
    EXPECT_EQ(stick->open_axes, 0);

    AxisHandle* again = koru_open_axis(window, "Stick.axis[1]");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(fake(stick)->opens, 2);
    koru_release_axis(again);
    koru_release_axis(nullptr);
}

TEST_F(InputFixture, AxisNamesThatOpenNothing)
{
    InputDevice* stick = add("Stick", 0, 2);
    for (const char* name : {"Stick.axis[2]", "Stick axis 2", "Stick.axis[-1]", "Stick axis -1", "Stick.axis[0",
                             "Stick.axis[0]]", "stick.axis[0]", "Other.axis[0]", "Stick", "", "Stick.key[0]"})
        EXPECT_EQ(koru_open_axis(window, name), nullptr) << name;
    EXPECT_EQ(koru_open_axis(window, nullptr), nullptr);
    EXPECT_EQ(fake(stick)->opens, 0);

    fake(stick)->open_result = false;
    EXPECT_EQ(koru_open_axis(window, "Stick.axis[0]"), nullptr);
    EXPECT_EQ(stick->open_axes, 0);
}

TEST_F(InputFixture, RelativeAxesGiveTheMotionSinceTheLastRead)
{
    InputDevice* mouse = add("Rodent", 0, 2);
    AxisHandle* x = koru_open_axis(window, "Rodent.axis[0]");
    AxisHandle* y = koru_open_axis(window, "Rodent.axis[1]");
    ASSERT_TRUE(x && y);
    fake(mouse)->axes[0] = 17;
    fake(mouse)->axes[1] = -4;
    EXPECT_EQ(koru_axis_value(x), 17);
    EXPECT_EQ(koru_axis_value(x), 0);
    EXPECT_EQ(koru_axis_value(y), -4);
    EXPECT_EQ(koru_axis_value(nullptr), 0);
    koru_release_axis(x);
    koru_release_axis(y);
}

TEST_F(InputFixture, ClosingEndsEveryDevice)
{
    std::vector<std::string> destroyed;
    InputDevice* first = add("First", 0, 2);
    InputDevice* second = add("Second", 0, 2);
    Fake* f1 = fake(first);
    Fake* f2 = fake(second);
    f1->destroyed = f2->destroyed = &destroyed;
    AxisHandle* held = koru_open_axis(window, "First.axis[1]");
    ASSERT_NE(held, nullptr);
    koru_close_devices(window);
    EXPECT_EQ(window->devices, nullptr);
    EXPECT_EQ(f1->closes, 1);
    EXPECT_EQ(f2->closes, 0); // never opened
    EXPECT_EQ(destroyed, (std::vector<std::string>{"Second", "First"}));
    free(held); // its device is gone; the storage is all that is left
}

TEST_F(InputFixture, AxisNamesOfAWindowWithoutDevices)
{
    const char* const* names = koru_axis_names(window);
    ASSERT_NE(names, nullptr);
    EXPECT_EQ(names[0], nullptr);
}

// ---------------------------------------------------------------------------
// The roll call over SDL, with virtual controllers and the offscreen display.

struct RollCallFixture : ::testing::Test {
    TestHome home;
    KoruWindow* window = new KoruWindow{};
    SDL_Window* screen = nullptr;
    int pads[2] = {-1, -1};
    SDL_Joystick* handles[2] = {};

    void SetUp() override
    {
        if (!SDL_WasInit(SDL_INIT_VIDEO))
            setenv("SDL_VIDEODRIVER", "offscreen", 1);
        // No window of the test has the keyboard focus, which would otherwise
        // keep controller changes away.
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_JOYSTICK), 0) << SDL_GetError();
        screen = SDL_CreateWindow("input", 0, 0, 320, 240, SDL_WINDOW_HIDDEN);
        for (int i = 0; i < 2; i++) {
            SDL_VirtualJoystickDesc desc = {};
            desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
            desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
            desc.naxes = 2;
            desc.nbuttons = 4;
            desc.name = "Joystick 1";
            pads[i] = SDL_JoystickAttachVirtualEx(&desc);
            ASSERT_GE(pads[i], 0) << SDL_GetError();
        }
        for (int i = 0; i < 2; i++) {
            handles[i] = SDL_JoystickOpen(pads[i]);
            ASSERT_NE(handles[i], nullptr) << SDL_GetError();
        }
    }
    void TearDown() override
    {
        koru_close_devices(window);
        delete window;
        for (SDL_Joystick* j : handles)
            if (j)
                SDL_JoystickClose(j);
        for (int i = 1; i >= 0; i--)
            if (pads[i] >= 0)
                SDL_JoystickDetachVirtual(pads[i]);
        if (screen)
            SDL_DestroyWindow(screen);
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_JOYSTICK);
    }
    InputDevice* device(const char* name)
    {
        for (InputDevice* d = window->devices; d; d = d->next)
            if (strcmp(d->name, name) == 0)
                return d;
        return nullptr;
    }
    std::string log() { return read_file(home.log_file()); }
};

TEST_F(RollCallFixture, FindsTheMouseTheControllersAndTheCursor)
{
    koru_open_devices(window);
    std::vector<std::string> names;
    for (InputDevice* d = window->devices; d; d = d->next)
        names.push_back(d->name);
    ASSERT_GE(names.size(), 4u);
    EXPECT_EQ(names.front(), "cursor");
    EXPECT_EQ(names.back(), "Mouse");
    InputDevice* first = device("Joystick1");
    InputDevice* second = device("Joystick1#2");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(second->next, first); // attached later, so listed first
    EXPECT_NE(first->id, second->id);
    EXPECT_EQ(first->button_count, 4);
    EXPECT_EQ(first->axis_count, 2);
    EXPECT_EQ(device("cursor")->button_count, 0);
    EXPECT_EQ(device("cursor")->axis_count, 2);
    EXPECT_EQ(device("Mouse")->button_count, 3);

    std::vector<std::string> axes;
    const char* const* listed = koru_axis_names(window);
    for (; *listed; listed++)
        axes.push_back(*listed);
    std::vector<std::string> expected = {"Joystick1 axis 0", "Joystick1 axis 1", "Joystick1#2 axis 0",
                                         "Joystick1#2 axis 1"};
    // Controllers of the machine itself may come before the virtual ones.
    ASSERT_GE(axes.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(axes.end() - 4, axes.end()), expected);
    EXPECT_EQ(koru_intern("Joystick1 axis 0"), koru_axis_names(window)[axes.size() - 4]);

    std::string text = log();
    for (const char* line : {"DirectInput roll call...\n", "Joystick 1 (Joystick 1)\n", "2 axes, 4 keys\n",
                             "axis 0 is absolute\n", "Adding axis \"Joystick1#2 axis 1\"\n",
                             "End of DirectInput roll call\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_LT(text.find("roll call..."), text.find("End of DirectInput roll call"));

    koru_close_devices(window);
    EXPECT_EQ(window->devices, nullptr);
    text = log();
    for (const char* line : {"Killing Joystick1#2\n", "Killing Joystick1\n", "Killing Mouse\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_LT(text.find("Killing Joystick1\n"), text.find("Killing Mouse\n"));
}

TEST_F(RollCallFixture, BoundControllerButtonsBecomeEvents)
{
    koru_open_devices(window);
    InputDevice* first = device("Joystick1");
    ASSERT_NE(first, nullptr);
    int32_t code = 0;
    ASSERT_TRUE(koru_key_code(window, "joystick-a-1", &code));
    EXPECT_EQ(code, first->id + 0);
    EXPECT_TRUE(first->buttons_in_use);

    KoruEvent e;
    EXPECT_FALSE(koru_next_event(window, &e));
    SDL_JoystickSetVirtualButton(handles[0], 0, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(handles[1], 1, SDL_PRESSED); // not bound
    ASSERT_TRUE(koru_next_event(window, &e));
    EXPECT_EQ(e.code, first->id);
    EXPECT_TRUE(e.pressed);
    EXPECT_FALSE(koru_next_event(window, &e));

    SDL_JoystickSetVirtualButton(handles[0], 0, SDL_RELEASED);
    ASSERT_TRUE(koru_next_event(window, &e));
    EXPECT_EQ(e.code, first->id);
    EXPECT_FALSE(e.pressed);
    EXPECT_STREQ(koru_key_name(window, e.code), "Joystick1 button 0");
}

TEST_F(RollCallFixture, ControllerAxesReadTheirPosition)
{
    koru_open_devices(window);
    AxisHandle* x = koru_open_axis(window, "joystick-a-x");
    AxisHandle* other = koru_open_axis(window, "Joystick1#2 axis 1");
    ASSERT_TRUE(x && other);
    struct Case {
        int16_t set;
        int32_t read;
    } const cases[] = {{12345, 12345}, {32767, 32767}, {-32768, -32767}, {0, 0}};
    for (const Case& c : cases) {
        SDL_JoystickSetVirtualAxis(handles[0], 0, c.set);
        SDL_JoystickSetVirtualAxis(handles[1], 1, -100);
        EXPECT_EQ(koru_axis_value(x), c.read) << c.set;
        EXPECT_EQ(koru_axis_value(x), c.read) << "absolute axes keep their value";
        EXPECT_EQ(koru_axis_value(other), -100);
    }
    koru_release_axis(x);
    koru_release_axis(other);
}

// SDL can only be handed real pointer motion, so the mouse's motion is left
// to the relative fake above; its axes and the cursor's are checked here.
TEST_F(RollCallFixture, MouseAxesAndCursorPosition)
{
    ASSERT_NE(screen, nullptr) << SDL_GetError();
    koru_open_devices(window);
    InputDevice* mouse = device("Mouse");
    ASSERT_NE(mouse, nullptr);
    AxisHandle* mx = koru_open_axis(window, "mouse-x");
    AxisHandle* my = koru_open_axis(window, "mouse-y");
    AxisHandle* cx = koru_open_axis(window, "cursor-x");
    AxisHandle* cy = koru_open_axis(window, "cursor-y");
    ASSERT_TRUE(mx && my && cx && cy);
    EXPECT_EQ(mx->device, mouse);
    EXPECT_EQ(my->index, 1);
    EXPECT_EQ(koru_open_axis(window, "Mouse.axis[2]"), nullptr);
    int32_t code = 0;
    ASSERT_TRUE(koru_key_code(window, "mouse-middle", &code));
    EXPECT_EQ(code, mouse->id + 2);

    SDL_WarpMouseInWindow(screen, 30, 15);
    EXPECT_EQ(koru_axis_value(cx), 30);
    EXPECT_EQ(koru_axis_value(cy), 15);
    // Nothing in the mouse's relative axes or the absolute list.
    for (const char* const* name = koru_axis_names(window); *name; name++)
        EXPECT_EQ(std::string(*name).find("Mouse"), std::string::npos) << *name;
    for (AxisHandle* h : {mx, my, cx, cy})
        koru_release_axis(h);
}

} // namespace
