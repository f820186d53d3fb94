#include "koru/event_queue.h"

namespace {

const uint32_t released_bit = 0x80000000u;

int slot(const EventQueue* q, int i)
{
    return (q->head + i) % event_queue_capacity;
}

bool take_head(EventQueue* q, KoruEvent* event)
{
    int h = q->head;
    event->code = int32_t(q->words[h] & ~released_bit);
    event->pressed = (q->words[h] & released_bit) == 0;
    event->seconds = q->seconds[h];
    event->microseconds = q->microseconds[h];
    q->head = (q->head + 1) % event_queue_capacity;
    q->count--;
    return true;
}

} // namespace

int compare_event_times(int32_t s1, int32_t us1, int32_t s2, int32_t us2)
{
    int32_t ds = int32_t(uint32_t(s1) - uint32_t(s2));
    if (ds != 0)
        return ds < 0 ? -1 : 1;
    return us1 < us2 ? -1 : us1 > us2 ? 1 : 0;
}

bool event_queue_post(EventQueue* q, int32_t code, bool pressed, int32_t seconds, int32_t microseconds)
{
    if (q->count >= event_queue_capacity)
        return false;
    // Stored at the end, then moved back past every later event.
    int at = q->count;
    while (at > 0) {
        int before = slot(q, at - 1);
        if (compare_event_times(q->seconds[before], q->microseconds[before], seconds, microseconds) <= 0)
            break;
        int here = slot(q, at);
        q->words[here] = q->words[before];
        q->seconds[here] = q->seconds[before];
        q->microseconds[here] = q->microseconds[before];
        at--;
    }
    int here = slot(q, at);
    q->words[here] = uint32_t(code) & ~released_bit;
    if (!pressed)
        q->words[here] |= released_bit;
    q->seconds[here] = seconds;
    q->microseconds[here] = microseconds;
    q->count++;
    return true;
}

bool event_queue_take(EventQueue* q, KoruEvent* event)
{
    if (q->count <= 0)
        return false;
    return take_head(q, event);
}

bool event_queue_take_before(EventQueue* q, int32_t seconds, int32_t microseconds, KoruEvent* event)
{
    if (q->count <= 0)
        return false;
    int h = q->head;
    if (compare_event_times(q->seconds[h], q->microseconds[h], seconds, microseconds) > 0)
        return false;
    return take_head(q, event);
}
