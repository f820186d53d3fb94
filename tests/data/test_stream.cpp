#include "data/stream.h"
#include "support/fixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

// Raw deflate data; with split > 0 the first split bytes end in a full flush,
// so that the compressed form of that prefix is known to end at out[*flushed].
std::string raw_deflate(const std::string& bytes, size_t split = 0, size_t* flushed = nullptr)
{
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, uLong(bytes.size())) + 1024, '\0');
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    if (split > 0) {
        z.avail_in = uInt(split);
        deflate(&z, Z_FULL_FLUSH);
        if (flushed)
            *flushed = z.total_out;
    }
    z.avail_in = uInt(bytes.size() - split);
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

struct GzipHeader {
    unsigned char flags = 0;
    std::string extra;
    std::string name;
    std::string comment;
};

std::string gzip_header(const GzipHeader& h)
{
    std::string out = {char(31), char(139), char(8), char(h.flags), 0, 0, 0, 0, 0, 3};
    if (h.flags & 4) {
        out += char(h.extra.size() & 0xff);
        out += char(h.extra.size() >> 8);
        out += h.extra;
    }
    if (h.flags & 8)
        out += h.name + '\0';
    if (h.flags & 16)
        out += h.comment + '\0';
    if (h.flags & 2)
        out += "\x12\x34";
    return out;
}

// Text with enough variety that it does not collapse into a few bytes.
std::string sample_text(size_t count)
{
    std::string out;
    uint32_t state = 12345;
    while (out.size() < count) {
        state = state * 1103515245u + 12345u;
        out += "line " + std::to_string(state >> 8) + (state & 0x100 ? " dust\n" : " mud\r\n");
    }
    out.resize(count);
    return out;
}

std::string random_bytes(size_t count)
{
    std::string out(count, '\0');
    uint32_t state = 987654321;
    for (char& c : out) {
        state = state * 1664525u + 1013904223u;
        c = char(state >> 24);
    }
    return out;
}

struct StreamFile {
    TempDir dir;
    std::string path;

    explicit StreamFile(const std::string& bytes) : path(dir.at("stream.bin")) { write_file(path, bytes); }

    DataStream* open(int32_t base, int32_t size, bool compressed) const
    {
        FILE* file = fopen(path.c_str(), "rb");
        if (!file)
            return nullptr;
        fseek(file, base, SEEK_SET);
        return stream_from_file(file, base, size, compressed);
    }
};

std::string read_by_getc(DataStream* s)
{
    std::string out;
    for (int c; (c = data_getc(s)) >= 0;)
        out += char(c);
    return out;
}

std::string read_in_chunks(DataStream* s, int chunk)
{
    std::string out;
    std::vector<char> buffer(static_cast<size_t>(chunk));
    for (int got; (got = data_read(s, buffer.data(), chunk)) > 0;)
        out.append(buffer.data(), size_t(got));
    return out;
}

bool fd_is_open(int fd)
{
    return fcntl(fd, F_GETFD) != -1;
}

const std::string body = "hello gzip\nsecond line\n";

TEST(GzipHeader, AcceptsEachOptionalField)
{
    struct Case {
        const char* what;
        GzipHeader header;
    };
    const Case cases[] = {
        {"no optional fields", {0, "", "", ""}},
        {"text flag only", {1, "", "", ""}},
        {"extra field", {4, "ab\0cd", "", ""}},
        {"empty extra field", {4, "", "", ""}},
        {"file name", {8, "", "track.hf", ""}},
        {"comment", {16, "", "", "made by hand"}},
        {"header crc", {2, "", "", ""}},
        {"name and comment", {8 | 16, "", "a", "b"}},
        {"every field", {31, std::string("x\0y", 3), "name", "comment"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string file = gzip_header(c.header) + raw_deflate(body) + "TRAILER!";
        StreamFile f(file);
        DataStream* s = f.open(0, int32_t(file.size()), true);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(read_by_getc(s), body);
        data_close(s);
    }

    StreamFile zlib_made(gzip_bytes(body));
    DataStream* s = zlib_made.open(0, INT32_MAX, true);
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(s->compressed);
    EXPECT_EQ(s->size, INT32_MAX);
    EXPECT_EQ(s->compressed_size, INT32_MAX);
    EXPECT_EQ(read_in_chunks(s, 7), body);
    data_close(s);
}

TEST(GzipHeader, RefusesBadHeadersAndClosesTheFile)
{
    std::string good = gzip_header({}) + raw_deflate(body);
    auto with_byte = [&](size_t at, unsigned char value) {
        std::string out = good;
        out[at] = char(value);
        return out;
    };
    std::string extra_header = gzip_header({4, std::string(40, 'e'), "", ""});
    std::string crc_header = gzip_header({2, "", "", ""});
    std::string name_header = gzip_header({8, "", "unterminated", ""});
    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        {"empty file", ""},
        {"first magic byte", with_byte(0, 30)},
        {"second magic byte", with_byte(1, 138)},
        {"method other than deflate", with_byte(2, 7)},
        {"flags of 32", with_byte(3, 32)},
        {"high flag bit", with_byte(3, 0x80)},
        {"fixed header cut short", good.substr(0, 9)},
        {"extra length cut short", gzip_header({}).replace(3, 1, 1, char(4)) + "\x05"},
        {"extra field runs out", extra_header.substr(0, extra_header.size() - 1)},
        {"header crc runs out", crc_header.substr(0, crc_header.size() - 1)},
        {"file name without its NUL", name_header.substr(0, name_header.size() - 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StreamFile f(c.bytes);
        FILE* file = fopen(f.path.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        int fd = fileno(file);
        EXPECT_EQ(stream_from_file(file, 0, INT32_MAX, true), nullptr);
        EXPECT_FALSE(fd_is_open(fd));
    }
}

// The header is taken from the first block alone, which is never larger than
// the input buffer nor than the compressed data.
TEST(GzipHeader, MustFitTheFirstBlock)
{
    std::string small = gzip_header({4, std::string(100, 'e'), "", ""}) + raw_deflate(body);
    StreamFile f(small);
    DataStream* whole = f.open(0, int32_t(small.size()), true);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(read_by_getc(whole), body);
    data_close(whole);
    EXPECT_EQ(f.open(0, 60, true), nullptr);

    std::string large = gzip_header({4, std::string(stream_in_buffer_size, 'e'), "", ""}) + raw_deflate(body);
    EXPECT_EQ(StreamFile(large).open(0, INT32_MAX, true), nullptr);
    std::string long_name = gzip_header({8, "", std::string(20000, 'n'), ""}) + raw_deflate(body);
    EXPECT_EQ(StreamFile(long_name).open(0, INT32_MAX, true), nullptr);
}

TEST(CompressedStream, LargeBodiesReadByteExact)
{
    struct Case {
        const char* what;
        std::string content;
    };
    // The random body compresses to several input blocks, the text to
    // fewer; both are far larger than the output window.
    const Case cases[] = {
        {"text", sample_text(100 * 1024)},
        {"random bytes", random_bytes(100 * 1024)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StreamFile f(gzip_bytes(c.content));
        DataStream* s = f.open(0, INT32_MAX, true);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(read_by_getc(s), c.content);
        EXPECT_EQ(data_getc(s), -1);
        EXPECT_EQ(s->position, int32_t(c.content.size()));
        data_close(s);

        for (int chunk : {1000, 1024, 4097, int(c.content.size()) + 1}) {
            SCOPED_TRACE(chunk);
            DataStream* r = f.open(0, INT32_MAX, true);
            ASSERT_NE(r, nullptr);
            EXPECT_EQ(read_in_chunks(r, chunk), c.content);
            data_close(r);
        }
    }
}

TEST(CompressedStream, MemberReadsOnlyItsOwnBytes)
{
    std::string content = random_bytes(50000);
    std::string member = gzip_bytes(content);
    std::string prefix(37, 'p');
    StreamFile f(prefix + member + random_bytes(30000));
    DataStream* s = f.open(int32_t(prefix.size()), int32_t(member.size()), true);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->compressed_size, int32_t(member.size()));
    EXPECT_EQ(read_in_chunks(s, 3000), content);
    EXPECT_LE(s->compressed_used, s->compressed_size);
    EXPECT_LE(ftell(s->file), long(prefix.size() + member.size()));
    data_close(s);
}

TEST(CompressedStream, TruncatedBodyEndsEarly)
{
    std::string content = random_bytes(100 * 1024);
    std::string whole = gzip_bytes(content);
    for (size_t keep : {size_t(11), whole.size() / 3, whole.size() - 9}) {
        SCOPED_TRACE(keep);
        StreamFile f(whole.substr(0, keep));
        DataStream* s = f.open(0, INT32_MAX, true);
        ASSERT_NE(s, nullptr);
        std::string got = read_in_chunks(s, 5000);
        EXPECT_LE(got.size(), content.size());
        EXPECT_EQ(got, content.substr(0, got.size()));
        EXPECT_EQ(data_getc(s), -1);
        char byte;
        EXPECT_EQ(data_read(s, &byte, 1), 0);
        data_close(s);
    }
}

TEST(CompressedStream, DamagedBodyDeliversTheGoodPartThenEnds)
{
    std::string content = sample_text(20000);
    size_t good_part = 12000;
    size_t flushed = 0;
    std::string deflated = raw_deflate(content, good_part, &flushed);
    // 0xff opens a final block of the reserved type, which inflate rejects.
    std::string damaged = gzip_header({}) + deflated.substr(0, flushed) + std::string(500, char(0xff));
    StreamFile f(damaged);
    DataStream* s = f.open(0, INT32_MAX, true);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(read_by_getc(s), content.substr(0, good_part));
    EXPECT_TRUE(s->stream_end);
    data_close(s);

    // Scattered damage must never crash or run on; what comes out is not
    // predictable.
    std::string whole = gzip_bytes(content);
    for (size_t at = 20; at < whole.size(); at += whole.size() / 7) {
        std::string broken = whole;
        broken[at] = char(broken[at] ^ 0x5a);
        StreamFile g(broken);
        DataStream* b = g.open(0, INT32_MAX, true);
        ASSERT_NE(b, nullptr);
        std::string got = read_in_chunks(b, 999);
        EXPECT_LE(got.size(), 10 * content.size());
        data_close(b);
    }
}

TEST(CompressedStream, RefusesSeekingAndWriting)
{
    StreamFile f(gzip_bytes(body));
    DataStream* s = f.open(0, INT32_MAX, true);
    ASSERT_NE(s, nullptr);
    EXPECT_FALSE(data_seek(s, 0));
    EXPECT_FALSE(data_putc(s, 'x'));
    EXPECT_EQ(data_write(s, "xy", 2), 0);
    EXPECT_LT(data_puts(s, "xy"), 0);
    EXPECT_LT(data_printf(s, "%d", 1), 0);
    EXPECT_EQ(read_by_getc(s), body);
    data_close(s);
}

TEST(PlainStream, ArchiveMemberDeliversExactlyItsSize)
{
    StreamFile f("HEADER....0123456789and the archive goes on");
    DataStream* s = f.open(10, 10, false);
    ASSERT_NE(s, nullptr);
    char buffer[64];
    EXPECT_EQ(data_read(s, buffer, sizeof buffer), 10);
    EXPECT_EQ(std::string(buffer, 10), "0123456789");
    EXPECT_EQ(data_read(s, buffer, sizeof buffer), 0);
    EXPECT_EQ(data_getc(s), -1);
    EXPECT_EQ(s->position, 10);
    data_close(s);

    DataStream* g = f.open(10, 10, false);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(read_by_getc(g), "0123456789");
    EXPECT_EQ(data_gets(g, buffer, sizeof buffer), nullptr);
    data_close(g);
}

TEST(PlainStream, SeekStaysInsideTheData)
{
    StreamFile f("HEADER....ABCDEFGHIJtail");
    struct Case {
        int32_t offset;
        bool accepted;
        int next; // byte read after the seek
    };
    const Case cases[] = {
        {0, true, 'A'}, {9, true, 'J'}, {4, true, 'E'}, {10, false, 'D'}, {-1, false, 'D'}, {INT32_MAX, false, 'D'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        DataStream* s = f.open(10, 10, false);
        ASSERT_NE(s, nullptr);
        char letters[8];
        ASSERT_EQ(data_scan(s, "%[A-C]", letters), 1);
        ASSERT_EQ(s->pushback, 'D');
        ASSERT_EQ(s->position, 4);
        EXPECT_EQ(data_seek(s, c.offset), c.accepted);
        EXPECT_EQ(s->position, c.accepted ? c.offset : 4);
        EXPECT_EQ(s->pushback, c.accepted ? -1 : 'D');
        EXPECT_EQ(data_getc(s), c.next);
        data_close(s);
    }
}

TEST(DataGets, SplitsLinesByBufferSize)
{
    DataStream* s = data_open_memory("abcdef\nxy", 9);
    ASSERT_NE(s, nullptr);
    char buffer[4];
    const char* expected[] = {"abc", "def", "\n", "xy"};
    for (const char* line : expected) {
        ASSERT_EQ(data_gets(s, buffer, 4), buffer);
        EXPECT_STREQ(buffer, line);
    }
    EXPECT_EQ(data_gets(s, buffer, 4), nullptr);
    data_close(s);

    DataStream* crlf = data_open_memory("one\r\ntwo", 8);
    char line[64];
    ASSERT_NE(data_gets(crlf, line, sizeof line), nullptr);
    EXPECT_STREQ(line, "one\r\n");
    ASSERT_NE(data_gets(crlf, line, sizeof line), nullptr);
    EXPECT_STREQ(line, "two");
    EXPECT_EQ(data_gets(crlf, line, sizeof line), nullptr);
    data_close(crlf);

    // Room for the NUL alone: an empty line and nothing consumed.
    DataStream* tiny = data_open_memory("z", 1);
    EXPECT_EQ(data_gets(tiny, line, 1), line);
    EXPECT_STREQ(line, "");
    EXPECT_EQ(data_getc(tiny), 'z');
    data_close(tiny);
}

TEST(DataRead, DeliversThePushbackFirst)
{
    DataStream* s = data_open_memory("12 rest", 7);
    ASSERT_NE(s, nullptr);
    int value = 0;
    ASSERT_EQ(data_scan(s, "%d", &value), 1);
    EXPECT_EQ(value, 12);
    EXPECT_EQ(s->pushback, ' ');
    EXPECT_EQ(s->position, 3);
    char buffer[8];
    EXPECT_EQ(data_read(s, buffer, 3), 3);
    EXPECT_EQ(std::string(buffer, 3), " re");
    EXPECT_EQ(s->position, 5);
    EXPECT_EQ(data_read(s, buffer, sizeof buffer), 2);
    EXPECT_EQ(std::string(buffer, 2), "st");
    data_close(s);
}

TEST(MemoryStream, ReadsItsOwnCopy)
{
    char bytes[] = {'a', '\0', 'b', '\n'};
    DataStream* s = data_open_memory(bytes, sizeof bytes);
    ASSERT_NE(s, nullptr);
    bytes[0] = 'X';
    EXPECT_EQ(read_by_getc(s), std::string("a\0b\n", 4));
    EXPECT_TRUE(data_seek(s, 2));
    EXPECT_EQ(data_getc(s), 'b');
    data_close(s);

    DataStream* empty = data_open_memory(nullptr, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(data_getc(empty), -1);
    EXPECT_FALSE(data_seek(empty, 0));
    data_close(empty);
}

TEST(Writing, WrittenBytesReadBack)
{
    TempDir dir;
    std::string path = dir.at("out.txt");
    DataStream* w = stream_from_file(fopen(path.c_str(), "wb"), 0, INT32_MAX, false);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(data_putc(w, 'A'));
    EXPECT_GE(data_puts(w, "bc\n"), 0);
    EXPECT_EQ(data_write(w, "\0\x01\xff\n", 4), 4);
    EXPECT_EQ(data_printf(w, "%d %f %s\n", -42, 3.25, "word"), 18);
    EXPECT_EQ(data_flush(w), 0);
    data_close(w);
    std::string expected = std::string("Abc\n\0\x01\xff\n", 8) + "-42 3.250000 word\n";
    EXPECT_EQ(read_file(path), expected);

    DataStream* r = stream_from_file(fopen(path.c_str(), "rb"), 0, INT32_MAX, false);
    ASSERT_NE(r, nullptr);
    char line[16];
    ASSERT_NE(data_gets(r, line, sizeof line), nullptr);
    EXPECT_STREQ(line, "Abc\n");
    char raw[4];
    EXPECT_EQ(data_read(r, raw, 4), 4);
    int number = 0;
    float value = 0;
    char word[16];
    EXPECT_EQ(data_scan(r, "%d %f %s", &number, &value, word), 3);
    EXPECT_EQ(number, -42);
    EXPECT_EQ(value, 3.25f);
    EXPECT_STREQ(word, "word");
    // A stream opened for reading reports write failures as stdio does.
    EXPECT_FALSE(data_putc(r, 'x'));
    data_close(r);
}

} // namespace
