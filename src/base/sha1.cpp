#include "base/sha1.h"

#include <cstdio>
#include <cstring>

namespace {

uint32_t rotl(uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

void sha1_block(uint32_t state[5], const uint8_t* p)
{
    uint32_t w[80];
    for (int i = 0; i < 16; i++)
        w[i] = uint32_t(p[4 * i]) << 24 | uint32_t(p[4 * i + 1]) << 16 | uint32_t(p[4 * i + 2]) << 8 | p[4 * i + 3];
    for (int i = 16; i < 80; i++)
        w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    for (int i = 0; i < 80; i++) {
        uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        uint32_t t = rotl(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = rotl(b, 30);
        b = a;
        a = t;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}

} // namespace

void sha1_start(Sha1* sha)
{
    sha->state[0] = 0x67452301;
    sha->state[1] = 0xEFCDAB89;
    sha->state[2] = 0x98BADCFE;
    sha->state[3] = 0x10325476;
    sha->state[4] = 0xC3D2E1F0;
    sha->length = 0;
    sha->used = 0;
}

void sha1_add(Sha1* sha, const void* bytes, size_t count)
{
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    sha->length += count;
    while (count) {
        size_t n = 64 - sha->used;
        if (n > count)
            n = count;
        memcpy(sha->block + sha->used, p, n);
        sha->used += uint32_t(n);
        p += n;
        count -= n;
        if (sha->used == 64) {
            sha1_block(sha->state, sha->block);
            sha->used = 0;
        }
    }
}

void sha1_finish(Sha1* sha, uint8_t digest[20])
{
    uint64_t bits = sha->length * 8;
    uint8_t pad = 0x80;
    uint64_t length = sha->length;
    sha1_add(sha, &pad, 1);
    pad = 0;
    while (sha->used != 56)
        sha1_add(sha, &pad, 1);
    uint8_t tail[8];
    for (int i = 0; i < 8; i++)
        tail[i] = uint8_t(bits >> (56 - 8 * i));
    sha1_add(sha, tail, 8);
    sha->length = length;
    for (int i = 0; i < 20; i++)
        digest[i] = uint8_t(sha->state[i / 4] >> (24 - 8 * (i % 4)));
}

void sha1_hex(const uint8_t digest[20], char out[41])
{
    for (int i = 0; i < 20; i++)
        snprintf(out + 2 * i, 3, "%02x", digest[i]);
}
