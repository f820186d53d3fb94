#include "autopilot/roster.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(RobotRoster, NumberedTwentyToNinetyNine)
{
    for (int i = 0; i < robot_roster_size; i++)
        EXPECT_EQ(robot_roster[i].number, 20 + i);
    EXPECT_EQ(find_robot(19), nullptr);
    EXPECT_EQ(find_robot(100), nullptr);
}

TEST(RobotRoster, EntriesAndTheirTextures)
{
    struct Case {
        int number;
        const char* personality;
        const char* bike;
        const char* body;
        const char* head;
        const char* graphics;
        const char* wheels;
    } const cases[] = {
        {20, "alder", "dk125", "", "", "", ""},
        {24, "alder", "dk125", "@rider_body-alt1.png", "", "@dk125-alt1.png", "@wheels-alt1.png"},
        {40, "birch", "dl250", "", "@rider_head-alt1.png", "", ""},
        {59, "birch", "dy250f_se(2006)", "@rider_body-alt3.png", "@rider_head-alt1.png", "", ""},
        {85, "cedar", "dk250f", "@rider_body-alt1.png", "@rider_head-alt1.png", "@dl250-alt1.png", "@wheels-alt1.png"},
        {95, "cedar", "dz250", "@rider_body-alt1.png", "@rider_head-alt1.png", "@dy250f-alt1.png", "@wheels-alt1.png"},
        {99, "cedar", "dz250", "@rider_body-alt2.png", "@rider_head-alt2.png", "@dz250-alt2.png", "@wheels-alt2.png"},
    };
    for (const Case& c : cases) {
        const RobotRider* r = find_robot(c.number);
        ASSERT_NE(r, nullptr);
        EXPECT_STREQ(r->personality, c.personality) << c.number;
        EXPECT_STREQ(r->bike, c.bike) << c.number;
        RobotTextures t = robot_textures(*r);
        EXPECT_STREQ(t.rider_body, c.body) << c.number;
        EXPECT_STREQ(t.rider_head, c.head) << c.number;
        EXPECT_STREQ(t.bike, c.graphics) << c.number;
        EXPECT_STREQ(t.wheels, c.wheels) << c.number;
    }
}

} // namespace
