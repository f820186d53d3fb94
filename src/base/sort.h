// The in-place heap sort used for the contact order and the standings. Its
// exact order on equal records is part of the program's behaviour: it is not
// stable (two equal records swap; three equal records a, b, c end b, c, a).
#pragma once
#include <cstddef>

// compare returns <0, 0 or >0 like qsort's; the result is ascending.
void sort_records(void* records, size_t count, size_t size, int (*compare)(const void*, const void*));
