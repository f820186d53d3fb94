// The scene's cameras, projection, billboard order and lens flares.
#include "bike/physics.h"
#include "data/config.h"
#include "koru/window.h"
#include "render/frame.h"
#include "render/gl_caps.h"
#include "render/scene.h"
#include "support/fixture.h"
#include "track/lighting.h"
#include "track/objects.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

constexpr float pi = 3.14159265f;

struct SceneGlTest : ::testing::Test {
    TestHome home;
    KoruWindow* window = nullptr;
    static void SetUpTestSuite() { setenv("SDL_VIDEODRIVER", "offscreen", 1); }
    void SetUp() override
    {
        config_defaults();
        window = koru_open_gl_window("Dustline test", 320, 240, 24, 0, 16, 0, 0);
        ASSERT_NE(window, nullptr);
        ASSERT_NE(koru_begin_draw(window), nullptr);
        render_initial_state(false);
        probe_gl();
    }
    void TearDown() override
    {
        if (window)
            koru_close_window(window);
    }
};

TEST_F(SceneGlTest, WideWindowsSeeMoreAtTheSidesOnly)
{
    struct Case {
        int width, height;
        float tan_x, tan_y;
    } cases[] = {
        {1024, 768, std::tan(55 * pi / 180), 0.75f * std::tan(55 * pi / 180)},
        {1280, 720, 16.0f / 9 * 0.75f * std::tan(55 * pi / 180), 0.75f * std::tan(55 * pi / 180)},
        // Taller than 4:3 keeps the horizontal angle.
        {600, 800, std::tan(55 * pi / 180), std::tan(55 * pi / 180) * 800 / 600},
    };
    for (const Case& c : cases) {
        set_projection(c.width, c.height, 110);
        EXPECT_NEAR(scene_view.view_tan_x, c.tan_x, 1e-5) << c.width << "x" << c.height;
        EXPECT_NEAR(scene_view.view_tan_y, c.tan_y, 1e-5) << c.width << "x" << c.height;
    }
}

TEST(OnBikeCamera, EyeBetweenItsPointsTiltedAboutTheBodysSide)
{
    TestHome home;
    physics_start();
    dBodyID body = dBodyCreate(physics.world);
    dBodySetPosition(body, 10, 2, -5);
    float eye[3], r[9];
    on_bike_camera(body, 1, 40, eye, r);
    EXPECT_NEAR(eye[0], 10, 1e-5);
    EXPECT_NEAR(eye[1], 2 + 1.0583830f, 1e-5);
    EXPECT_NEAR(eye[2], -5 - 1.1933695f, 1e-5);
    float c = std::cos(40 * pi / 180), s = std::sin(40 * pi / 180);
    // Looking along the body's -z, 40 degrees down; the side axis stays.
    const float expected[9] = {1, 0, 0, 0, c, s, 0, -s, c};
    for (int k = 0; k < 9; k++)
        EXPECT_NEAR(r[k], expected[k], 1e-5) << k;

    // Turned a quarter about the vertical, height 0: the low point, turned.
    dMatrix3 turn;
    dRFromAxisAndAngle(turn, 0, 1, 0, pi / 2);
    dBodySetRotation(body, turn);
    on_bike_camera(body, 0, 0, eye, r);
    EXPECT_NEAR(eye[0], 10 - 0.4f, 1e-5);
    EXPECT_NEAR(eye[1], 2.5f, 1e-5);
    EXPECT_NEAR(eye[2], -5, 1e-5);
    EXPECT_NEAR(r[2], 1, 1e-5); // backward is the body's z: world +x
    dBodyDestroy(body);
    physics_stop();
}

TEST(GhostFade, NoneNearbyAllOfItBeyondTheDistance)
{
    struct Case {
        float distance, fade;
    } cases[] = {{0, 0}, {10, 0}, {50, 0}, {75, 0.5f}, {100, 1}, {400, 1}};
    for (const Case& c : cases)
        EXPECT_NEAR(ghost_fade(c.distance, 100), c.fade, 1e-6) << c.distance;
}

// Billboards only through their records: the textures are names the
// ordering compares, nothing is uploaded.
struct BillboardOrder : ::testing::Test {
    TestHome home;
    const float eye[3] = {0, 0, 0};
    const float backward[3] = {0, 0, 1}; // looking along -z
    void SetUp() override { clear_track_objects(); }
    void TearDown() override { clear_track_objects(); }
    int32_t add(float x, float z, uint32_t texture, float width = 2)
    {
        int32_t i = add_billboard(x, 0, z, 2, width / 2, nullptr);
        track_objects.billboards[i].texture = texture;
        return i;
    }
    std::vector<int32_t> order(int32_t lookahead)
    {
        std::vector<int32_t> out(size_t(track_objects.billboard_count) * 2);
        int32_t n = order_billboards(eye, backward, lookahead, out.data());
        out.resize(size_t(n));
        return out;
    }
};

TEST_F(BillboardOrder, InFrontOfTheEyeFarToNear)
{
    int32_t near = add(0, -10, 1), far = add(0, -30, 1), middle = add(0, -20, 2);
    add(0, 0, 1);  // at the eye's depth
    add(0, 5, 1);  // behind
    add(0, -15, 0); // no picture
    int32_t clear = add(0, -15, 1);
    track_objects.billboards[clear].color[3] = 0;
    EXPECT_EQ(order(1), (std::vector<int32_t>{far, middle, near}));
}

TEST_F(BillboardOrder, EqualPicturesComeTogetherUnlessSomethingBetweenOverlaps)
{
    // Picture 1 far and near, picture 2 between them well off to the side:
    // the near 1 moves up beside the far one.
    int32_t far = add(0, -30, 1), aside = add(-40, -25, 2), near = add(0, -20, 1);
    EXPECT_EQ(order(8), (std::vector<int32_t>{far, near, aside}));
    EXPECT_EQ(order(1), (std::vector<int32_t>{far, aside, near}));
    // Only within the look-ahead.
    EXPECT_EQ(order(2), (std::vector<int32_t>{far, aside, near}));

    // In line with the near one it overlaps it: the order stays.
    clear_track_objects();
    far = add(0, -30, 1);
    int32_t between = add(0, -25, 2);
    near = add(0, -20, 1);
    EXPECT_EQ(order(8), (std::vector<int32_t>{far, between, near}));
}

TEST_F(BillboardOrder, RoostParticlesCountFromTheirNearEdge)
{
    create_roost_sprites();
    Billboard& sprite = track_objects.billboards[0];
    sprite.z = -20;
    sprite.height = 1;
    sprite.aspect = 3; // 3 wide: counted 3 nearer
    sprite.texture = 5;
    int32_t plain = add(0, -18, 6);
    EXPECT_EQ(order(1), (std::vector<int32_t>{plain, 0}));
}

// A frame filled with one colour at one depth, a directional flare straight
// ahead or near the edge.
struct LensFlareTest : SceneGlTest {
    LensFlare flare{};
    void SetUp() override
    {
        SceneGlTest::SetUp();
        config.lens_flare.index = 1;
        flare.directional = 1;
        flare.element_count = 1;
        flare.element_size[0] = 0.1f;
        flare.element_color[0][0] = flare.element_color[0][1] = flare.element_color[0][2] = 1;
        lighting.flares = &flare;
        lighting.flare_count = 1;
        set_projection(320, 240, 90);
    }
    void TearDown() override
    {
        lighting.flares = nullptr;
        lighting.flare_count = 0;
        SceneGlTest::TearDown();
    }
    float intensity_over(float grey, float depth, float px)
    {
        glClearColor(grey, grey, grey, 1);
        glClearDepth(depth);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        const float eye[3] = {0, 0, 0}, r[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        flare.position[0] = px;
        flare.position[1] = 0;
        flare.position[2] = -1;
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        draw_lens_flares(eye, r, 320, 240);
        return flare.intensity;
    }
};

TEST_F(LensFlareTest, ShowsOnlyOverBrightFarPixelsAndFadesAtTheEdge)
{
    float tx = scene_view.view_tan_x; // 1 at fov 90
    float band = std::min(tx, scene_view.view_tan_y) / 32;
    EXPECT_NEAR(intensity_over(1, 1, 0), 1, 1e-6);
    EXPECT_EQ(intensity_over(0.5f, 1, 0), 0);  // a dark pixel: behind a hill
    EXPECT_EQ(intensity_over(1, 0.5f, 0), 0);  // something near in front
    EXPECT_NEAR(intensity_over(1, 1, tx - band / 2), 0.5f, 0.02f);
    EXPECT_EQ(intensity_over(1, 1, tx * 1.1f), 0); // out of view
    config.lens_flare.index = 0;
    flare.intensity = 0.25f;
    EXPECT_EQ(intensity_over(1, 1, 0), 0.25f); // switched off: not even looked at
}

} // namespace
