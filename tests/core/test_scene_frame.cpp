// The start of Rabbit Hill with 20 riders on the grid, drawn on SDL's
// offscreen display from behind the gates: the read-back picture must show
// sky above, ground below, and the gates and bikes where they stand (the
// picture changes there when they are left out).
#include "assets/font.h"
#include "bike/bike.h"
#include "bike/physics.h"
#include "core/catalogue.h"
#include "core/session.h"
#include "data/config.h"
#include "data/home.h"
#include "koru/window.h"
#include "render/frame.h"
#include "render/gl_caps.h"
#include "render/scene.h"
#include "render/terrain_draw.h"
#include "support/fixture.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/timing_gates.h"
#include "track/track.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

constexpr int width = 320, height = 240;

struct Picture {
    std::vector<unsigned char> rgb;
    const unsigned char* at(int x, int y) const { return &rgb[(size_t(y) * width + size_t(x)) * 3]; }
};

struct SceneFrameTest : ::testing::Test {
    TestHome home;
    KoruWindow* window = nullptr;
    float eye[3], target[3];

    static void SetUpTestSuite() { setenv("SDL_VIDEODRIVER", "offscreen", 1); }
    void SetUp() override
    {
        install_release(home.data());
        config_defaults();
        window = koru_open_gl_window("Dustline test", width, height, 24, 0, 16, 0, 0);
        ASSERT_NE(window, nullptr);
        ASSERT_NE(koru_begin_draw(window), nullptr);
        render_initial_state(false);
        probe_gl();
        terrain_draw_options = {gl_caps.have_fbo, false, true, 128, 1};
        install_terrain_drawing();
        load_fonts();
        physics_start();
        list_tracks(data_file_list(), &catalogues.tracks);
        catalogues.tracks.selected = select_track(catalogues.tracks, "rabbithill");
        int32_t kinds[rider_slot_count] = {};
        for (int i = 0; i < 20; i++)
            kinds[i] = kind_robot;
        ASSERT_NE(session_setup(kinds, false, false, 0, 1, 0), nullptr);
        ASSERT_GT(track_timing.start_position_count, 0);

        // Behind the riders of gates 0-19, looking along the grid at the
        // gates.
        const StartPosition& gate = track_timing.start_positions[std::min(10, track_timing.start_position_count - 1)];
        const Terrain* terrain = &loaded_track.terrain;
        float a = gate.angle;
        eye[0] = gate.position[0] + std::sin(a) * 25;
        eye[2] = gate.position[2] + std::cos(a) * 25;
        eye[1] = terrain_height(terrain, eye[0], eye[2]) + 6;
        target[0] = gate.position[0];
        target[2] = gate.position[2];
        target[1] = terrain_height(terrain, target[0], target[2]) + 1;
    }
    void TearDown() override
    {
        session_free();
        physics_stop();
        free_fonts();
        if (window)
            koru_close_window(window);
    }

    SceneContent content(bool riders)
    {
        SceneContent c{};
        c.terrain = &loaded_track.terrain;
        c.viewed_slot = 0;
        for (int i = 0; riders && i < rider_slot_count; i++)
            c.riders[i].bike = session.slots[i].bike;
        return c;
    }
    Picture draw(const SceneContent& c)
    {
        Picture p;
        // A few frames, so that the ground's textures near the eye are baked.
        for (int frame = 0; frame < 4; frame++) {
            render_begin_frame(width, height);
            draw_look_at(c, eye, target, width, height);
        }
        EXPECT_TRUE(render_read_pixels(width, height, &p.rgb));
        return p;
    }
    // Where a world point lands in the picture (rows from the bottom, as
    // read back); false when it is behind the eye or outside.
    bool project(const float p[3], int* x, int* y) const
    {
        const float* r = scene_view.eye_rotation;
        float d[3] = {p[0] - eye[0], p[1] - eye[1], p[2] - eye[2]};
        float ex = d[0] * r[0] + d[1] * r[3] + d[2] * r[6];
        float ey = d[0] * r[1] + d[1] * r[4] + d[2] * r[7];
        float ez = d[0] * r[2] + d[1] * r[5] + d[2] * r[8];
        if (!(-ez > 1))
            return false;
        float px = ex / -ez / scene_view.view_tan_x, py = ey / -ez / scene_view.view_tan_y;
        *x = int((px + 1) / 2 * width);
        *y = int((py + 1) / 2 * height);
        return *x >= 3 && *x < width - 3 && *y >= 3 && *y < height - 3;
    }
    // Pixels that differ between two pictures in the 7 x 7 square around a
    // point.
    static int changed_near(const Picture& a, const Picture& b, int x, int y)
    {
        int n = 0;
        for (int j = y - 3; j <= y + 3; j++)
            for (int i = x - 3; i <= x + 3; i++) {
                const unsigned char *p = a.at(i, j), *q = b.at(i, j);
                n += std::abs(p[0] - q[0]) + std::abs(p[1] - q[1]) + std::abs(p[2] - q[2]) > 24;
            }
        return n;
    }
};

TEST_F(SceneFrameTest, StartShowsSkyGroundGatesAndBikes)
{
    Picture full = draw(content(true));

    // Sky across the top rows: bluer than it is red, and not the clear
    // colour the frame started with. Ground across the bottom rows: not sky.
    int sky = 0, ground = 0;
    for (int x = 0; x < width; x += 8) {
        const unsigned char* top = full.at(x, height - 4);
        const unsigned char* bottom = full.at(x, 3);
        sky += top[2] > top[0] + 20 && !(top[0] == 50 && top[1] == 153 && top[2] == 204);
        ground += !(bottom[2] > bottom[0] + 20);
    }
    EXPECT_GT(sky, width / 8 * 3 / 4);
    EXPECT_GT(ground, width / 8 * 3 / 4);

    // The bikes: their frames, where the picture without riders differs.
    Picture no_riders = draw(content(false));
    int bikes_in_view = 0, bikes_seen = 0;
    for (int i = 0; i < rider_slot_count; i++) {
        const Bike* bike = session.slots[i].bike;
        if (!bike)
            continue;
        const dReal* p = dBodyGetPosition(bike->bodies[body_frame]);
        float at[3] = {float(p[0]), float(p[1]), float(p[2])};
        int x, y;
        if (!project(at, &x, &y))
            continue;
        bikes_in_view++;
        bikes_seen += changed_near(full, no_riders, x, y) >= 8;
    }
    EXPECT_GE(bikes_in_view, 5);
    EXPECT_GE(bikes_seen, bikes_in_view * 3 / 4);

    // The start gates: the picture without statues differs where they stand.
    int32_t statues = track_objects.statue_count;
    track_objects.statue_count = 0;
    Picture no_gates = draw(content(false));
    track_objects.statue_count = statues;
    int gates_in_view = 0, gates_seen = 0;
    for (int i = 0; i < track_timing.start_position_count; i++) {
        int32_t object = track_timing.start_positions[i].gate_object;
        ASSERT_GE(object, 0);
        const Statue& gate = track_objects.statues[object];
        ASSERT_NE(gate.model, nullptr);
        float at[3] = {gate.x, gate.y + 0.5f, gate.z};
        int x, y;
        if (!project(at, &x, &y))
            continue;
        gates_in_view++;
        gates_seen += changed_near(no_riders, no_gates, x, y) >= 8;
    }
    EXPECT_GE(gates_in_view, 5);
    EXPECT_GE(gates_seen, gates_in_view * 3 / 4);
}

} // namespace
