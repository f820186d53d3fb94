// The main loop with a real window on SDL's offscreen display: key events
// made by SDL drive the player's bike, and the screenshot key saves the
// next finished frame.
#include "base/message_log.h"
#include "bike/bike.h"
#include "bike/physics.h"
#include "core/catalogue.h"
#include "core/loop.h"
#include "core/session.h"
#include "data/config.h"
#include "data/home.h"
#include "koru/input.h"
#include "koru/window.h"
#include "render/frame.h"
#include "support/fixture.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct LoopWindowTest : ::testing::Test {
    TestHome home;
    KoruWindow* window = nullptr;

    static void SetUpTestSuite() { setenv("SDL_VIDEODRIVER", "offscreen", 1); }
    void SetUp() override
    {
        install_release(home.data());
        // Earlier screenshots in the home folder, numbered up to 7.
        write_file(home.home("screenshot1.ppm"), "");
        write_file(home.home("screenshot007.png"), "");
        write_file(home.home("screenshots/screenshot40.png"), ""); // not in the home folder itself
        config_defaults();
        list_tracks(data_file_list(), &catalogues.tracks);
        catalogues.tracks.selected = select_track(catalogues.tracks, "dunebowl");
        physics_start();
        window = koru_open_gl_window("Dustline test", 160, 120, 24, 0, 16, 0, 0);
        ASSERT_NE(window, nullptr);
        ASSERT_NE(koru_begin_draw(window), nullptr);
        render_initial_state(false);
        ASSERT_TRUE(koru_end_draw(window));
        StartOptions start;
        start.warp = 1; // 100 steps a pass, no waiting
        loop_reset(window, start, loop_now());
        loop_resolve_input(window);
    }
    void TearDown() override
    {
        session_free();
        loop_release_input();
        koru_close_window(window);
        loop_state = {};
    }

    SDL_Scancode scancode_of(int32_t code)
    {
        for (int s = 0; s < SDL_NUM_SCANCODES; s++)
            if (koru_key_code_for_scancode(s) == code)
                return SDL_Scancode(s);
        return SDL_SCANCODE_UNKNOWN;
    }
    void push_key(int32_t code, bool down)
    {
        SDL_Event e = {};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = SDL_GetWindowID(static_cast<SDL_Window*>(window->sdl_window));
        e.key.keysym.scancode = scancode_of(code);
        ASSERT_NE(e.key.keysym.scancode, SDL_SCANCODE_UNKNOWN) << code;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    float distance_from(const dReal* start, Bike* bike)
    {
        const dReal* p = dBodyGetPosition(bike->bodies[0]);
        return float(std::hypot(p[0] - start[0], p[2] - start[2]));
    }
};

TEST_F(LoopWindowTest, HeldThrottleKeyMovesThePlayersBike)
{
    Bike* bike = session_setup(nullptr, false, false, 0, 1000, 0); // time trial: slot 0 is the player
    ASSERT_NE(bike, nullptr);
    ASSERT_NE(config.throttle_key.key_code, 0); // "x" resolved
    const dReal* p = dBodyGetPosition(bike->bodies[0]);
    const dReal start[3] = {p[0], p[1], p[2]};

    loop_pass(); // settles on the ground without throttle
    float idle = distance_from(start, bike);
    push_key(config.throttle_key.key_code, true);
    for (int pass = 0; pass < 4; pass++)
        loop_pass();
    EXPECT_FLOAT_EQ(loop_state.channels[channel_throttle], 1);
    float ridden = distance_from(start, bike);
    EXPECT_GT(ridden, idle + 3) << idle;

    push_key(config.throttle_key.key_code, false);
    loop_pass();
    EXPECT_FLOAT_EQ(loop_state.channels[channel_throttle], 0);
}

TEST_F(LoopWindowTest, ScreenshotKeySavesTheNextFrameWithTheNextNumber)
{
    session_setup(nullptr, false, false, 0, 1000, 0);
    ASSERT_NE(config.screenshot_key.key_code, 0);
    push_key(config.screenshot_key.key_code, true);
    loop_pass(); // the key is taken by this pass's steps
    loop_pass(); // and the frame drawn next is saved
    EXPECT_TRUE(file_exists(home.home("screenshot008.png")));
    EXPECT_STREQ(message_log.lines[(message_log.next + message_log_lines - 1) % message_log_lines],
                 "Saved \"screenshot008.png\"");
    push_key(config.screenshot_key.key_code, true);
    loop_pass();
    loop_pass();
    EXPECT_TRUE(file_exists(home.home("screenshot009.png")));
}

TEST_F(LoopWindowTest, TabCyclesTheCamerasAndCloseEndsTheLoop)
{
    int32_t kinds[rider_slot_count] = {kind_robot}; // watching a robot: every camera is allowed
    session_setup(kinds, false, false, 0, 1000, 0);
    loop_pass();
    EXPECT_EQ(loop_state.view_mode, view_chase);
    const int expected[] = {view_orbit, view_free, view_chase};
    for (int mode : expected) {
        koru_post_event_now(window, 9, true);
        loop_pass();
        EXPECT_EQ(loop_state.view_mode, mode);
    }
    koru_post_event_now(window, key_code_close, true);
    loop_pass();
    EXPECT_TRUE(loop_state.quit);
}

} // namespace

#include "core/frame_output.h"

namespace {

TEST(ScreenshotNumber, OneMoreThanTheHighestWhateverTheExtension)
{
    struct Case {
        std::vector<const char*> files;
        uint32_t expected;
    } const cases[] = {
        {{""}, 1},
        {{"screenshot.png", "screenshotx2.png", "shots/screenshot9.png", ""}, 1}, // no number right after
        {{"screenshot3.ppm", "screenshot012.png", "screenshot7", ""}, 13},
    };
    for (const Case& c : cases)
        EXPECT_EQ(first_screenshot_number(c.files.data()), c.expected);
}

TEST(VideoFrame, HeaderThenRowsFromTheTop)
{
    const unsigned char bottom_first[] = {1, 2, 3, 4, 5, 6, /* top row: */ 7, 8, 9, 10, 11, 12};
    FILE* out = tmpfile();
    ASSERT_NE(out, nullptr);
    ASSERT_TRUE(write_video_frame(out, bottom_first, 2, 2));
    rewind(out);
    char bytes[64] = {};
    size_t n = fread(bytes, 1, sizeof bytes, out);
    fclose(out);
    const std::string expected = std::string("P6\n2 2\n255\n") + "\x07\x08\x09\x0a\x0b\x0c\x01\x02\x03\x04\x05\x06";
    EXPECT_EQ(std::string(bytes, n), expected);
}

} // namespace
