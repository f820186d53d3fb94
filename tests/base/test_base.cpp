#include "base/alloc.h"
#include "base/random.h"
#include "base/sha1.h"
#include "base/sort.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string sha1_of(const std::string& bytes, size_t chunk)
{
    Sha1 sha;
    sha1_start(&sha);
    for (size_t at = 0; at < bytes.size(); at += chunk)
        sha1_add(&sha, bytes.data() + at, std::min(chunk, bytes.size() - at));
    uint8_t digest[20];
    char hex[41];
    sha1_finish(&sha, digest);
    sha1_hex(digest, hex);
    return hex;
}

TEST(Sha1, Fips180TestVectors)
{
    struct Case {
        std::string input;
        const char* digest;
    } const cases[] = {
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    };
    for (const Case& c : cases) {
        // Fed whole, byte by byte and in blocks that straddle the 64-byte
        // boundary: the streaming interface must not care.
        for (size_t chunk : {size_t(1), size_t(63), size_t(256), c.input.size() + 1})
            EXPECT_EQ(sha1_of(c.input, chunk), c.digest) << c.input.size() << " bytes in chunks of " << chunk;
    }
}

struct Record {
    int key;
    char tag;
};

int compare_keys(const void* a, const void* b)
{
    int x = static_cast<const Record*>(a)->key, y = static_cast<const Record*>(b)->key;
    return x < y ? -1 : x > y;
}

std::string sorted_tags(std::vector<Record> records)
{
    sort_records(records.data(), records.size(), sizeof(Record), compare_keys);
    std::string tags;
    for (const Record& r : records)
        tags += r.tag;
    return tags;
}

TEST(SortRecords, DocumentedOrders)
{
    struct Case {
        std::vector<Record> input;
        const char* expected;
    } const cases[] = {
        {{}, ""},
        {{{1, 'a'}}, "a"},
        {{{1, 'a'}, {1, 'b'}}, "ba"},                         // two equal records swap
        {{{1, 'a'}, {1, 'b'}, {1, 'c'}}, "bca"},              // three equal end b, c, a
        {{{3, 'c'}, {1, 'a'}, {2, 'b'}}, "abc"},
        {{{5, 'e'}, {4, 'd'}, {3, 'c'}, {2, 'b'}, {1, 'a'}}, "abcde"},
        {{{2, 'x'}, {1, 'a'}, {2, 'y'}, {0, 'z'}}, "zayx"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sorted_tags(c.input), c.expected);
}

TEST(SortRecords, SortsLargeRecordsAscending)
{
    struct Big {
        int key;
        char payload[600]; // wider than the swap buffer
    };
    std::vector<Big> records(200);
    for (int i = 0; i < 200; i++) {
        records[i].key = (i * 7919) % 200;
        memset(records[i].payload, records[i].key & 0x7f, sizeof records[i].payload);
    }
    sort_records(records.data(), records.size(), sizeof(Big), [](const void* a, const void* b) {
        return static_cast<const Big*>(a)->key - static_cast<const Big*>(b)->key;
    });
    for (int i = 0; i < 200; i++) {
        EXPECT_EQ(records[i].key, i);
        EXPECT_EQ(records[i].payload[599], char(i & 0x7f));
    }
}

TEST(Random, Mt19937ReferenceOutputs)
{
    Random random;
    random_seed(&random, 5489);
    EXPECT_EQ(random_next(&random), 3499211612u);
    EXPECT_EQ(random_next(&random), 581869302u);
    EXPECT_EQ(random_next(&random), 3890346734u);
    random_seed(&random, 5489);
    for (int i = 0; i < 9999; i++)
        random_next(&random);
    EXPECT_EQ(random_next(&random), 4123659995u); // the 10000th output
}

TEST(Random, UniformUsesTheLow31Bits)
{
    Random random;
    random_seed(&random, 5489);
    // 3499211612 & 0x7fffffff = 1351727964
    EXPECT_DOUBLE_EQ(random_uniform(&random), 1351727964.0 / 2147483648.0);
    random_seed(&random, 1);
    for (int i = 0; i < 1000; i++) {
        double u = random_uniform(&random);
        EXPECT_GE(u, 0.0);
        EXPECT_LT(u, 1.0);
    }
}

TEST(InternString, OneCopyPerText)
{
    std::string a = "rider_body-red", b = "rider_body-red";
    const char* first = intern_string(a.c_str());
    EXPECT_EQ(intern_string(b.c_str()), first);
    EXPECT_STREQ(first, "rider_body-red");
    EXPECT_NE(intern_string("rider_body-blue"), first);
    EXPECT_EQ(intern_string(nullptr), nullptr);
    a[0] = 'X'; // the stored copy does not follow the caller's buffer
    EXPECT_STREQ(first, "rider_body-red");
}

} // namespace
