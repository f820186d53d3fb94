// The window layer on SDL's offscreen video driver: a real GL context and
// real SDL events, with no display needed.
#include "koru/input.h"
#include "koru/log.h"
#include "koru/window.h"
#include "support/fixture.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

namespace {

TEST(FullscreenMode, SmallestListedModeThatHoldsTheRequest)
{
    const std::vector<KoruDisplayMode> modes = {
        {1280, 1024, 32, 60}, {640, 480, 32, 60}, {1024, 768, 32, 60}, {1280, 1024, 16, 60}};
    struct Case {
        int32_t w, h, width, height;
    } const cases[] = {
        {800, 600, 1024, 768},   // the smallest that holds it
        {640, 480, 640, 480},    // an exact match
        {1100, 600, 1280, 1024}, // wide enough only at the top
        {1600, 1200, 1280, 1024}, // nothing holds it: the desktop (first) mode
        {0, 600, 1280, 1024},    // no size asked: the desktop
        {800, 0, 1280, 1024},
    };
    for (const Case& c : cases) {
        KoruDisplayMode m = koru_choose_fullscreen_mode(modes, c.w, c.h);
        EXPECT_EQ(m.width, c.width) << c.w << "x" << c.h;
        EXPECT_EQ(m.height, c.height) << c.w << "x" << c.h;
    }
    EXPECT_EQ(koru_choose_fullscreen_mode({}, 800, 600).width, 640); // no list at all
}

struct WindowTest : ::testing::Test {
    TempDir dir;
    KoruWindow* window = nullptr;

    static void SetUpTestSuite() { setenv("SDL_VIDEODRIVER", "offscreen", 1); }
    void SetUp() override
    {
        unsetenv("KORU_LOGFILE");
        koru_log_reset();
        koru_log("KORU_LOGFILE=%s", dir.at("log.txt").c_str());
        window = koru_open_gl_window("Dustline test", 320, 200, 24, 0, 16, 0, 0);
        ASSERT_NE(window, nullptr) << log();
    }
    void TearDown() override
    {
        koru_close_window(window);
        koru_log_reset();
    }
    std::string log() { return std::regex_replace(read_file(dir.at("log.txt")), std::regex(R"(\[[0-9:.]+\] )"), ""); }
    uint32_t window_id() { return SDL_GetWindowID(static_cast<SDL_Window*>(window->sdl_window)); }

    void push_key(SDL_Scancode key, bool down)
    {
        SDL_Event e = {};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = window_id();
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.scancode = key;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    void push_window_event(uint8_t what)
    {
        SDL_Event e = {};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = window_id();
        e.window.event = what;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    std::vector<std::pair<int32_t, bool>> drain()
    {
        std::vector<std::pair<int32_t, bool>> events;
        KoruEvent e;
        while (koru_next_event(window, &e))
            events.push_back({e.code, e.pressed});
        return events;
    }
};

TEST_F(WindowTest, OpensDrawsAndClosesWithItsLogLines)
{
    const KoruRect* rect = koru_begin_draw(window);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->x, 0);
    EXPECT_EQ(rect->width, 320);
    EXPECT_EQ(rect->height, 200);
    EXPECT_TRUE(koru_end_draw(window));
    std::string text = log();
    size_t creating = text.find("Creating window\n");
    EXPECT_NE(creating, std::string::npos) << text;
    EXPECT_LT(creating, text.find("Creating OpenGL context\n")) << text;

    koru_close_window(window);
    window = nullptr;
    text = log();
    size_t deleting = text.find("Deleting OpenGL context\n");
    EXPECT_NE(deleting, std::string::npos) << text;
    EXPECT_LT(deleting, text.find("Destroying window\n"));
    EXPECT_LT(text.find("Destroying window\n"), text.find("Window shutdown complete\n"));
}

TEST_F(WindowTest, DesktopModeLeadsTheModeList)
{
    const std::vector<KoruDisplayMode>& modes = koru_display_modes();
    ASSERT_FALSE(modes.empty());
    SDL_DisplayMode desktop;
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desktop), 0);
    EXPECT_EQ(modes[0].width, desktop.w);
    EXPECT_EQ(modes[0].height, desktop.h);
    for (const KoruDisplayMode& m : modes)
        EXPECT_TRUE(m.depth == 8 || m.depth == 15 || m.depth == 16 || m.depth == 24 || m.depth == 32) << m.depth;
}

TEST_F(WindowTest, WindowMessagesBecomeKeyEvents)
{
    push_key(SDL_SCANCODE_X, true);
    push_key(SDL_SCANCODE_KP_ENTER, true);  // extended: 256 + 28, and the character 13
    push_key(SDL_SCANCODE_RCTRL, false);    // extended: 256 + 29
    push_key(SDL_SCANCODE_TAB, true);       // the key, then the character 9
    SDL_Event text = {};
    text.type = SDL_TEXTINPUT;
    text.text.windowID = window_id();
    strcpy(text.text.text, "a\xc3\xa9\xe2\x82\xac"); // a, e acute, and a euro sign beyond Latin-1
    ASSERT_EQ(SDL_PushEvent(&text), 1);
    SDL_Event click = {};
    click.type = SDL_MOUSEBUTTONDOWN;
    click.button.windowID = window_id();
    click.button.button = SDL_BUTTON_RIGHT;
    ASSERT_EQ(SDL_PushEvent(&click), 1);
    click.type = SDL_MOUSEBUTTONUP;
    click.button.button = SDL_BUTTON_MIDDLE;
    ASSERT_EQ(SDL_PushEvent(&click), 1);
    push_window_event(SDL_WINDOWEVENT_CLOSE);

    const std::vector<std::pair<int32_t, bool>> expected = {
        {4096 + 45, true}, {4096 + 284, true}, {13, true},   {4096 + 285, false}, {4096 + 15, true}, {9, true},
        {'a', true},       {0xe9, true},       {8194, true}, {8193, false},       {57005, true},
    };
    EXPECT_EQ(drain(), expected);
    // The close request is only an event: the window is still there.
    EXPECT_NE(koru_begin_draw(window), nullptr);
    EXPECT_TRUE(koru_end_draw(window));
}

TEST_F(WindowTest, NothingToDrawWhileMinimisedOrBusy)
{
    push_window_event(SDL_WINDOWEVENT_MINIMIZED);
    koru_pump_messages(window);
    EXPECT_EQ(koru_begin_draw(window), nullptr);
    push_window_event(SDL_WINDOWEVENT_RESTORED);
    koru_pump_messages(window);
    ASSERT_NE(koru_begin_draw(window), nullptr);
    EXPECT_TRUE(koru_end_draw(window));

    window->busy = true;
    EXPECT_EQ(koru_begin_draw(window), nullptr);
    window->busy = false;
}

TEST_F(WindowTest, SizeMessagesAreRecordedAndLogged)
{
    SDL_Event e = {};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = window_id();
    e.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
    e.window.data1 = 400;
    e.window.data2 = 300;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
    koru_pump_messages(window);
    EXPECT_EQ(window->client_width, 400);
    EXPECT_EQ(window->client_height, 300);
    EXPECT_NE(log().find("WM_SIZE message 400x300\n"), std::string::npos);
}

TEST_F(WindowTest, SwitchesToAWindowOfTheAskedSize)
{
    koru_set_display(window, 480, 360, 24);
    EXPECT_FALSE(window->fullscreen_active);
    EXPECT_FALSE(window->busy);
    int w = 0, h = 0;
    SDL_GetWindowSize(static_cast<SDL_Window*>(window->sdl_window), &w, &h);
    EXPECT_EQ(w, 480);
    EXPECT_EQ(h, 360);
}

} // namespace
