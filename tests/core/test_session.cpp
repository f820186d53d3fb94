#include "base/launch.h"
#include "bike/bike.h"
#include "bike/physics.h"
#include "core/catalogue.h"
#include "core/loop.h"
#include "core/session.h"
#include "core/simulation.h"
#include "data/config.h"
#include "data/home.h"
#include "race/race_state.h"
#include "support/fixture.h"
#include "track/timing_gates.h"
#include "track/track.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A flat 129 x 129 field (spacing 1) with eight start places in a row
// facing +z and two gates.
std::string flat_field()
{
    int m = 6, n = (1 << (m + 1)) + 1;
    std::string hf = std::to_string(m) + " 1 0 10\n:";
    hf += std::string(size_t(n) * n * 2, '\0');
    return hf;
}

struct SessionTest : ::testing::Test {
    TestHome home;
    void SetUp() override
    {
        int n = 129;
        write("terrain.hf", flat_field());
        write("shading.ppm", "P6\n129 129\n255\n" + std::string(size_t(n) * n * 3, '\x80'));
        write("tileinfo", "texture @dirt.png\naddtile\n");
        write("tilemap", std::string(64 * 64, '\0'));
        std::string gates = "startinggate:\n";
        for (int g = 0; g < 8; g++)
            gates += "[" + std::to_string(20 + 5 * g) + " 0 30] 0\n";
        gates += "checkpoints:\n6 [40 0 100] [0 0 1]\n6 [40 0 20] [0 0 -1]\nfirstlap: 0 1\nnormallap: 0 1\n";
        write("timing_gates", gates);
        config_defaults();
        list_tracks(data_file_list(), &catalogues.tracks);
        ASSERT_EQ(catalogues.tracks.folders.size(), 1u);
        physics_start();
    }
    void TearDown() override
    {
        set_simulation_hooks({});
        session_free();
        loop_state = {};
        race = {};
    }
    void write(const std::string& name, const std::string& bytes) { write_file(home.data("hill/" + name), bytes); }
    std::vector<int> occupied()
    {
        std::vector<int> slots;
        for (int i = 0; i < rider_slot_count; i++)
            if (session.slots[i].bike)
                slots.push_back(i);
        return slots;
    }
};

TEST_F(SessionTest, FortyRidersStandInFiveRowsBehindEightGates)
{
    int32_t kinds[rider_slot_count];
    for (int32_t& k : kinds)
        k = kind_robot;
    ASSERT_NE(session_setup(kinds, false, false, 0, 5, 0), nullptr);
    ASSERT_EQ(occupied().size(), 40u);
    const dReal* first = dBodyGetPosition(session.slots[0].bike->bodies[body_frame]);
    for (int m = 0; m < 40; m++) {
        float x, z, a;
        start_grid_position(m, &x, &z, &a);
        EXPECT_FLOAT_EQ(x, 20 + 5 * (m % 8)) << m;
        EXPECT_FLOAT_EQ(z, 30 + (m / 8 + 0.0625f) * 10) << m;
        // Every bike stands like the first, moved by its place on the grid.
        const dReal* p = dBodyGetPosition(session.slots[m].bike->bodies[body_frame]);
        EXPECT_NEAR(p[0] - first[0], 5 * (m % 8), 1e-3) << m;
        EXPECT_NEAR(p[1], first[1], 1e-3) << m;
        EXPECT_NEAR(p[2] - first[2], 10 * (m / 8), 1e-3) << m;
    }
    EXPECT_EQ(race.race_laps, 5);
    EXPECT_EQ(race.halfway_lap, 3);
    // The gate drops between 13 and 15 s after set-up.
    EXPECT_GE(race.start_frame, 13 * 128);
    EXPECT_LT(race.start_frame, 15 * 128);
    EXPECT_EQ(race.frame, 0);
}

TEST_F(SessionTest, LineUpRules)
{
    int32_t kinds[rider_slot_count] = {};
    kinds[3] = kind_human;
    kinds[5] = kind_human;
    kinds[1] = kind_robot;
    Bike* viewed = session_setup(kinds, false, false, 0, 5, 0);
    EXPECT_EQ(occupied(), (std::vector<int>{1, 3})); // only the first human keeps the slot
    EXPECT_EQ(session.viewed_slot, 3);
    EXPECT_EQ(viewed, session.slots[3].bike);
    EXPECT_EQ(session.slots[3].controller, controller_local);
    EXPECT_EQ(session.slots[1].controller, controller_robot);

    int32_t empty[rider_slot_count] = {};
    session_setup(empty, false, false, 0, 5, 0);
    EXPECT_EQ(occupied(), std::vector<int>{0}); // a robot rides alone
    EXPECT_EQ(session.slots[0].controller, controller_robot);
}

TEST_F(SessionTest, StrokeKindsPickMatchingRobots)
{
    int32_t kinds[rider_slot_count] = {};
    for (int i = 0; i < 10; i++)
        kinds[i] = kind_robot_two_stroke;
    for (int i = 10; i < 20; i++)
        kinds[i] = kind_robot_four_stroke;
    kinds[20] = kind_numbered_robot + 59;
    session_setup(kinds, false, false, 0, 5, 0);
    for (int i = 0; i < 10; i++)
        EXPECT_NE(strstr(session.slots[i].bike->model.name, "125"), nullptr) << session.slots[i].bike->model.name;
    for (int i = 10; i < 20; i++)
        EXPECT_NE(strstr(session.slots[i].bike->model.name, "250"), nullptr) << session.slots[i].bike->model.name;
    EXPECT_STREQ(session.slots[20].bike->number_text, "59");
}

TEST_F(SessionTest, PracticeRobotsAreTesters)
{
    launch.practice_mode = 1;
    int32_t kinds[rider_slot_count] = {kind_robot, kind_robot};
    session_setup(kinds, false, false, 0, 5, 0);
    launch.practice_mode = 0;
    EXPECT_STREQ(session.slots[0].personality, "tester");
    EXPECT_STREQ(session.slots[1].personality, "tester");
}

TEST_F(SessionTest, TimeTrialStartsInThePastBeforeTheLine)
{
    ASSERT_NE(session_setup(nullptr, false, false, 0, 5, 0), nullptr);
    EXPECT_TRUE(race.time_trial);
    EXPECT_EQ(race.frame, 300 * 128);
    EXPECT_EQ(occupied(), std::vector<int>{0});
    // F = 2: the rider starts at sequence position 0, heading along the gate
    // (+z), so the bike is turned half round from its build direction.
    const dReal* p = dBodyGetPosition(session.slots[0].bike->bodies[body_frame]);
    const dReal* r = dBodyGetRotation(session.slots[0].bike->bodies[body_frame]);
    EXPECT_NEAR(p[0], 40, 1.0);
    EXPECT_NEAR(p[2], 100, 5.0);
    EXPECT_NEAR(-r[10], 1.0, 1e-6); // the body's forward (-z) axis points along +z
}

TEST_F(SessionTest, SameTrackIsNotReloaded)
{
    int32_t kinds[rider_slot_count] = {kind_robot};
    session_setup(kinds, false, false, 0, 5, 0);
    std::string before = read_file(home.log_file());
    session_setup(kinds, false, false, 0, 5, 0);
    std::string after = read_file(home.log_file()).substr(before.size());
    EXPECT_EQ(after.find("Deallocating track"), std::string::npos) << after;
    EXPECT_NE(after.find("Deallocating bikes"), std::string::npos);
}

TEST_F(SessionTest, FailedTrackLeavesNothingBehind)
{
    int32_t kinds[rider_slot_count] = {kind_robot, kind_robot};
    session_setup(kinds, false, false, 0, 5, 0);
    std::remove(home.data("hill/tilemap").c_str());
    free_track(); // force a reload that will fail
    EXPECT_EQ(session_setup(kinds, false, false, 0, 5, 0), nullptr);
    EXPECT_TRUE(occupied().empty());
    EXPECT_FALSE(loaded_track.loaded);
    simulation_step(); // nothing dangling to step
}

TEST_F(SessionTest, EqualSpeedsComeOutLaterSlotFirst)
{
    int32_t kinds[rider_slot_count] = {};
    kinds[2] = kinds[5] = kinds[9] = kind_robot;
    session_setup(kinds, false, false, 0, 5, 0);
    Bike* order[rider_slot_count];
    ASSERT_EQ(contact_order(order, rider_slot_count), 3);
    // All at rest: the heap sort turns slots a, b, c into b, c, a.
    EXPECT_EQ(order[0], session.slots[5].bike);
    EXPECT_EQ(order[1], session.slots[9].bike);
    EXPECT_EQ(order[2], session.slots[2].bike);
    dBodySetLinearVel(session.slots[9].bike->bodies[body_frame], 0, 0, -20);
    contact_order(order, rider_slot_count);
    EXPECT_EQ(order[0], session.slots[9].bike); // fastest first
}

TEST_F(SessionTest, PauseHoldsTheFrameAndTheStepKeyAdvancesOne)
{
    int32_t kinds[rider_slot_count] = {kind_robot};
    session_setup(kinds, false, false, 0, 5, 0);
    config.pause_key.key_code = 4096 + 0x45;
    config.step_key.key_code = 4096 + 0x34;
    EXPECT_EQ(loop_run_frame(0.3 < 0.125 ? 0.3 : 0.125, 1.0), 16);
    EXPECT_EQ(race.frame, 16);
    loop_key(config.pause_key.key_code, true);
    double clock_before = loop_state.clocks.sim_clock;
    loop_run_frame(0.1, 1.1);
    EXPECT_EQ(race.frame, 16);                          // paused: the race holds
    EXPECT_GT(loop_state.clocks.sim_clock, clock_before); // while the clocks run
    for (int i = 0; i < 3; i++)
        loop_key(config.step_key.key_code, true);
    EXPECT_EQ(race.frame, 19);
    loop_key(config.pause_key.key_code, true);
    loop_run_frame(step_length, 1.2);
    EXPECT_EQ(race.frame, 20);
}

TEST_F(SessionTest, PauseIsRefusedWhileConnected)
{
    config.pause_key.key_code = 4096 + 0x45;
    launch.server_address = "example.org";
    loop_key(config.pause_key.key_code, true);
    launch.server_address = nullptr;
    EXPECT_FALSE(loop_state.paused);
}

} // namespace

namespace {

TEST_F(SessionTest, StartGatesDropInAnEighthOfASecondAfterTheStart)
{
    int32_t kinds[rider_slot_count] = {kind_robot};
    session_setup(kinds, false, false, 0, 5, 0);
    ASSERT_EQ(session.start_gate_count, 8);
    // Numbers past the track's own objects stand for the gates' objects.
    session.start_gates[0].object = 1007;
    session.start_gates[1].object = 1008;
    static std::vector<float> angles;
    angles.clear();
    set_simulation_hooks({nullptr, nullptr, [](void*, int object, float angle) {
                              if (object == 1007)
                                  angles.push_back(angle);
                          }});
    race.frame = race.start_frame;
    update_start_gates();
    EXPECT_FLOAT_EQ(session.start_gates[0].tilt, 1); // not yet past the start
    for (int step = 1; step <= 16; step++) {
        race.frame = race.start_frame + step;
        if (step <= 4)
            session.start_gates[1].touched_frame = race.frame; // a bike leans on gate 1
        update_start_gates();
    }
    EXPECT_FLOAT_EQ(session.start_gates[0].tilt, 0);
    EXPECT_FLOAT_EQ(session.start_gates[1].tilt, 4 / 16.0f); // held for the four touched steps
    ASSERT_EQ(angles.size(), 17u);
    EXPECT_FLOAT_EQ(angles[0], 0.5890486225480862f);
    EXPECT_NEAR(angles[8], 0.5890486225480862f / 2, 1e-6);
    // Ten seconds after the start the gates are left alone.
    session.start_gates[1].tilt = 1;
    race.frame = race.start_frame + 10 * 128 + 1;
    update_start_gates();
    EXPECT_FLOAT_EQ(session.start_gates[1].tilt, 1);
}

} // namespace

namespace {

TEST_F(SessionTest, KeysDriveTheLocalRidersBike)
{
    int32_t kinds[rider_slot_count] = {kind_human};
    Bike* bike = session_setup(kinds, false, false, 0, 5, 0);
    ASSERT_NE(bike, nullptr);
    config.throttle_key.key_code = 4096 + 0x2d; // "x"
    config.left_key.key_code = 4096 + 0x14b;
    loop_key(config.throttle_key.key_code, true);
    loop_key(config.left_key.key_code, true);
    loop_step();
    EXPECT_FLOAT_EQ(loop_state.channels[channel_throttle], 1);
    EXPECT_FLOAT_EQ(loop_state.channels[channel_steering], 1);
    EXPECT_GT(bike->throttle, 0);
    loop_key(config.throttle_key.key_code, false);
    loop_step();
    EXPECT_FLOAT_EQ(loop_state.channels[channel_throttle], 0);
    EXPECT_FLOAT_EQ(bike->throttle, 0);
}

TEST(ViewModes, RulesOfAPass)
{
    struct Case {
        int mode;
        bool track, just_appeared, has_bike, local;
        int expected;
    } const cases[] = {
        {view_title, true, false, true, false, view_chase},
        {view_free, true, false, true, true, view_chase},     // the local player: chase or orbit only
        {view_orbit, true, false, true, true, view_orbit},
        {view_editor, true, false, true, true, view_editor},  // the editor stays...
        {view_editor, true, true, true, true, view_chase},    // ...unless a track has just appeared
        {view_free, true, false, true, false, view_free},     // watching a robot
        {view_chase, true, false, false, false, view_free},   // nobody to follow
        {view_chase, false, false, false, false, view_title}, // no track
    };
    for (const Case& c : cases)
        EXPECT_EQ(view_mode_for(c.mode, c.track, c.just_appeared, c.has_bike, c.local), c.expected) << c.mode;
}

} // namespace

#include "koru/input.h"
#include "koru/window.h"

namespace {

TEST_F(SessionTest, EachStepTakesTheKeysPressedBeforeIt)
{
    int32_t kinds[rider_slot_count] = {kind_robot};
    session_setup(kinds, false, false, 0, 5, 0);
    KoruWindow window{}; // no system window: nothing to pump
    loop_state.window = &window;
    EventQueue& queue = window.events;
    config.step_key.key_code = 4096 + 0x34;
    config.pause_key.key_code = 4096 + 0x45;
    // A frame of four steps ending at wall time 10 s: its steps run at
    // 10 - 3/128, ..., 10. Pause before the second step's time, then three
    // single steps, one of them stamped after the frame (taken by its last
    // step all the same).
    double second_step = 10 - 2 * step_length;
    koru_post_event(&window, config.pause_key.key_code, true, 9, int32_t((second_step - 9) * 1e6) - 10);
    koru_post_event(&window, config.step_key.key_code, true, 9, 999000);
    koru_post_event(&window, config.step_key.key_code, true, 9, 999500);
    koru_post_event(&window, config.step_key.key_code, true, 10, 500);
    int frame_before = race.frame;
    loop_run_frame(4 * step_length, 10.0);
    // One step ran before the pause; the three step presses ran one each.
    EXPECT_EQ(race.frame - frame_before, 1 + 3);
    EXPECT_TRUE(loop_state.paused);
    EXPECT_EQ(queue.count, 0);
    loop_state.window = nullptr;
}

} // namespace
