#include "base/sort.h"

#include <cstring>

namespace {

void swap_records(unsigned char* a, unsigned char* b, size_t size)
{
    unsigned char tmp[256];
    while (size) {
        size_t n = size < sizeof tmp ? size : sizeof tmp;
        memcpy(tmp, a, n);
        memcpy(a, b, n);
        memcpy(b, tmp, n);
        a += n;
        b += n;
        size -= n;
    }
}

void sift_down(unsigned char* base, size_t i, size_t count, size_t size,
               int (*compare)(const void*, const void*))
{
    for (;;) {
        size_t child = 2 * i + 1;
        if (child >= count)
            return;
        // The right child only when it is strictly greater than the left.
        if (child + 1 < count && compare(base + (child + 1) * size, base + child * size) > 0)
            child++;
        if (compare(base + child * size, base + i * size) <= 0)
            return;
        swap_records(base + child * size, base + i * size, size);
        i = child;
    }
}

} // namespace

void sort_records(void* records, size_t count, size_t size, int (*compare)(const void*, const void*))
{
    if (count < 2)
        return;
    unsigned char* base = static_cast<unsigned char*>(records);
    for (size_t i = count / 2; i-- > 0;)
        sift_down(base, i, count, size, compare);
    for (size_t last = count - 1; last > 0; last--) {
        swap_records(base, base + last * size, size);
        sift_down(base, 0, last, size, compare);
    }
}
