// SHA-1 (FIPS 180-1), streaming: identifies the data archive, checksums
// tracks and proves the server password.
#pragma once
#include <cstddef>
#include <cstdint>

struct Sha1 {
    uint32_t state[5];
    uint64_t length; // bytes added so far
    uint8_t block[64];
    uint32_t used;   // bytes waiting in block
};

void sha1_start(Sha1* sha);
void sha1_add(Sha1* sha, const void* bytes, size_t count);
void sha1_finish(Sha1* sha, uint8_t digest[20]);
// 40 lower-case hexadecimal digits and a NUL.
void sha1_hex(const uint8_t digest[20], char out[41]);
