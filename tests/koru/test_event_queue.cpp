#include "koru/event_queue.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> drain(EventQueue* q)
{
    std::vector<int> codes;
    KoruEvent e;
    while (event_queue_take(q, &e))
        codes.push_back(e.code);
    return codes;
}

TEST(EventQueue, TimeOrderWithArrivalOrderForEqualTimes)
{
    EventQueue q = {};
    event_queue_post(&q, 5, true, 0, 5);
    event_queue_post(&q, 3, true, 0, 3);
    event_queue_post(&q, 4, true, 0, 4);
    event_queue_post(&q, 41, true, 0, 4); // same time as 4, arrives later
    event_queue_post(&q, 1, true, -1, 999999);
    EXPECT_EQ(drain(&q), (std::vector<int>{1, 3, 4, 41, 5}));
}

TEST(EventQueue, PressedAndReleasedSurviveTheCodeWord)
{
    EventQueue q = {};
    event_queue_post(&q, 4096 + 0x2d, true, 10, 0);
    event_queue_post(&q, 4096 + 0x2d, false, 10, 500);
    event_queue_post(&q, 0x7fff0000 + 3, false, 11, 0);
    KoruEvent e;
    ASSERT_TRUE(event_queue_take(&q, &e));
    EXPECT_EQ(e.code, 4096 + 0x2d);
    EXPECT_TRUE(e.pressed);
    ASSERT_TRUE(event_queue_take(&q, &e));
    EXPECT_FALSE(e.pressed);
    EXPECT_EQ(e.microseconds, 500);
    ASSERT_TRUE(event_queue_take(&q, &e));
    EXPECT_EQ(e.code, 0x7fff0000 + 3);
    EXPECT_FALSE(e.pressed);
    EXPECT_FALSE(event_queue_take(&q, &e));
}

TEST(EventQueue, TakeBeforeLeavesLaterEventsQueued)
{
    EventQueue q = {};
    event_queue_post(&q, 1, true, 2, 0);
    event_queue_post(&q, 2, true, 3, 0);
    KoruEvent e;
    EXPECT_FALSE(event_queue_take_before(&q, 1, 999999, &e));
    EXPECT_EQ(q.count, 2);
    ASSERT_TRUE(event_queue_take_before(&q, 2, 0, &e)); // not later than the limit
    EXPECT_EQ(e.code, 1);
    EXPECT_FALSE(event_queue_take_before(&q, 2, 999999, &e));
    EXPECT_EQ(drain(&q), std::vector<int>{2});
}

TEST(EventQueue, FullQueueDropsNewEvents)
{
    EventQueue q = {};
    for (int i = 0; i < 257; i++)
        EXPECT_EQ(event_queue_post(&q, i, true, 0, i), i < 256);
    std::vector<int> codes = drain(&q);
    ASSERT_EQ(codes.size(), 256u);
    EXPECT_EQ(codes.front(), 0);
    EXPECT_EQ(codes.back(), 255);
    // The ring wraps: posting and taking far past its size keeps the order.
    for (int round = 0; round < 1000; round++) {
        event_queue_post(&q, round, true, round, 0);
        KoruEvent e;
        ASSERT_TRUE(event_queue_take(&q, &e));
        EXPECT_EQ(e.code, round);
    }
}

TEST(EventQueue, TimesCompareAcrossTheClockWrap)
{
    struct Case {
        int32_t s1, us1, s2, us2;
        int order;
    } const cases[] = {
        {1, 0, 2, 0, -1},
        {2, 5, 2, 5, 0},
        {2, 6, 2, 5, 1},
        {2147483647, 0, -2147483647 - 1, 0, -1}, // just before the wrap comes first
        {-5, 0, 3, 0, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(compare_event_times(c.s1, c.us1, c.s2, c.us2), c.order) << c.s1 << " " << c.s2;
}

} // namespace
