// The time-ordered queue of key events of a window: a fixed ring, no
// allocation once the window exists. The window layer holds its event lock
// around each call.
#pragma once
#include <cstdint>

enum { event_queue_capacity = 256 };

struct KoruEvent {
    int32_t code;
    bool pressed;
    int32_t seconds;
    int32_t microseconds;
};

struct EventQueue {
    uint32_t words[event_queue_capacity]; // code, with bit 31 set when released
    int32_t seconds[event_queue_capacity];
    int32_t microseconds[event_queue_capacity];
    int32_t head;
    int32_t count;
};

// Places the event after every queued event of an earlier or equal time and
// before every later one. A full queue drops it; returns whether it was kept.
bool event_queue_post(EventQueue* queue, int32_t code, bool pressed, int32_t seconds, int32_t microseconds);
// Takes the head event; with a limit, only when its time is not later.
bool event_queue_take(EventQueue* queue, KoruEvent* event);
bool event_queue_take_before(EventQueue* queue, int32_t seconds, int32_t microseconds, KoruEvent* event);

// Compares (seconds, microseconds) pairs, the seconds by their signed 32-bit
// difference so that the order survives the clock wrapping: <0, 0 or >0.
int compare_event_times(int32_t s1, int32_t us1, int32_t s2, int32_t us2);
