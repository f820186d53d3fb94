#include "data/stream.h"
#include "support/fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Destinations for one scan, typed from the format the way a caller would
// declare them. Every slot starts filled with a marker byte, so a slot the
// scan never wrote shows as "-" and a write past the declared type shows too.
enum class Kind { int32, int16, float32, float64, extended, text };

constexpr unsigned char marker = 0xa5;

struct Slot {
    Kind kind;
    alignas(16) unsigned char bytes[96];
};

size_t kind_size(Kind kind)
{
    switch (kind) {
    case Kind::int32: return 4;
    case Kind::int16: return 2;
    case Kind::float32: return 4;
    case Kind::float64: return 8;
    case Kind::extended: return sizeof(long double);
    case Kind::text: return 0;
    }
    return 0;
}

std::vector<Slot> slots_for(const char* format)
{
    std::vector<Slot> slots;
    for (const char* f = format; *f; f++) {
        if (*f != '%')
            continue;
        f++;
        if (*f == '%')
            continue;
        bool stored = true;
        int halves = 0, longs = 0;
        for (; *f == '*' || (*f >= '0' && *f <= '9') || *f == 'h' || *f == 'l' || *f == 'L' || *f == 'q'; f++) {
            if (*f == '*')
                stored = false;
            halves += *f == 'h';
            longs += *f == 'l' ? 1 : (*f == 'L' || *f == 'q') ? 2 : 0;
        }
        Kind kind;
        if (std::strchr("dioxXn", *f) && *f)
            kind = halves ? Kind::int16 : Kind::int32;
        else if (*f == 'f')
            kind = longs >= 2 ? Kind::extended : longs == 1 && !halves ? Kind::float64 : Kind::float32;
        else if (*f && std::strchr("sc[", *f))
            kind = Kind::text;
        else
            break;
        if (*f == '[') {
            f++;
            if (*f == '^')
                f++;
            if (*f == ']')
                f++;
            while (*f && *f != ']')
                f++;
            if (!*f)
                break;
        }
        if (stored) {
            slots.push_back({kind, {}});
            std::memset(slots.back().bytes, marker, sizeof slots.back().bytes);
        }
    }
    return slots;
}

std::string render(const Slot& slot)
{
    const unsigned char* b = slot.bytes;
    if (slot.kind == Kind::text) {
        std::string out;
        for (size_t i = 0; i < sizeof slot.bytes && b[i] != marker && b[i] != 0; i++)
            out += char(b[i]);
        return b[0] == marker ? "-" : "'" + out + "'";
    }
    size_t size = kind_size(slot.kind);
    bool untouched = true;
    for (size_t i = 0; i < size; i++)
        untouched = untouched && b[i] == marker;
    if (untouched)
        return "-";
    for (size_t i = size; i < sizeof slot.bytes; i++)
        if (b[i] != marker)
            return "overrun";
    char text[64];
    switch (slot.kind) {
    case Kind::int32: {
        int32_t v;
        std::memcpy(&v, b, 4);
        std::snprintf(text, sizeof text, "%d", v);
        break;
    }
    case Kind::int16: {
        int16_t v;
        std::memcpy(&v, b, 2);
        std::snprintf(text, sizeof text, "%d", v);
        break;
    }
    case Kind::float32: {
        float v;
        std::memcpy(&v, b, 4);
        std::snprintf(text, sizeof text, "%g", double(v));
        break;
    }
    case Kind::float64: {
        double v;
        std::memcpy(&v, b, 8);
        std::snprintf(text, sizeof text, "%g", v);
        break;
    }
    case Kind::extended: {
        long double v;
        std::memcpy(&v, b, sizeof v);
        std::snprintf(text, sizeof text, "%Lg", v);
        break;
    }
    case Kind::text: break;
    }
    return text;
}

std::string render(const std::vector<Slot>& slots)
{
    std::string out;
    for (const Slot& s : slots)
        out += (out.empty() ? "" : " ") + render(s);
    return out;
}

// Calls a scanf-like function with up to eight destinations; surplus
// arguments of a variadic call are ignored.
template <typename Scan>
int call_with_slots(Scan scan, std::vector<Slot>& slots)
{
    void* p[8] = {};
    for (size_t i = 0; i < slots.size() && i < 8; i++)
        p[i] = slots[i].bytes;
    return scan(p);
}

struct ScanResult {
    int result;
    std::string stored;
    std::string rest; // what the next reads of the stream deliver
};

ScanResult scan_text(const std::string& format, const std::string& input)
{
    DataStream* s = data_open_memory(input.data(), input.size());
    std::vector<Slot> slots = slots_for(format.c_str());
    int result = call_with_slots(
        [&](void** p) { return data_scan(s, format.c_str(), p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]); },
        slots);
    std::string rest;
    char buffer[256];
    for (int got; (got = data_read(s, buffer, sizeof buffer)) > 0;)
        rest.append(buffer, size_t(got));
    data_close(s);
    return {result, render(slots), rest};
}

struct Case {
    const char* format;
    const char* input;
    int result;
    const char* stored;
    const char* rest;
};

void check_cases(const Case* cases, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        const Case& c = cases[i];
        SCOPED_TRACE(std::string("format \"") + c.format + "\" on \"" + c.input + "\"");
        ScanResult got = scan_text(c.format, c.input);
        EXPECT_EQ(got.result, c.result);
        EXPECT_EQ(got.stored, c.stored);
        EXPECT_EQ(got.rest, c.rest);
    }
}

TEST(Scan, ResultsAndWhatIsLeft)
{
    const Case cases[] = {
        // Counting: matching failures return the count, input failures -1
        // when nothing was stored, literal trouble -1 always.
        {"%d %d", "5 abc", 1, "5 -", "abc"},
        {"%d", "abc", 0, "-", "abc"},
        {"%d", "", -1, "-", ""},
        {"%d", " \t\n", -1, "-", ""},
        {"%d %d", "1 ", 1, "1 -", ""},
        {"%d%d", "1", 1, "1 -", ""},
        {"[ %f %f ]", "[ 1.5 -2 ]", 2, "1.5 -2", ""},
        {"[ %f %f ]", "[1.5 -2]tail", 2, "1.5 -2", "tail"},
        {"[ %f %f ]", "( 1 2 )", -1, "- -", "( 1 2 )"},
        {"[ %f %f ]", "[ 1 2", -1, "1 2", ""},
        {"%d,%d", "1;2", -1, "1 -", ";2"},
        {"%d %u", "1 2", 1, "1", "2"},
        {"%e", "1.5", 0, "", "1.5"},
        {"%g", "1.5", 0, "", "1.5"},
        {"%d%", "7x", 1, "7", "x"},
        // Suppressed conversions never count.
        {"%*d %d", "1 2", 1, "2", ""},
        {"%*d", "1", 0, "", ""},
        {"%*d", "", -1, "", ""},
        {"%*s %d", "x y", 0, "-", "y"},
        // White space in the format matches any amount, including none.
        {"%d ,%d", "1,2", 2, "1 2", ""},
        {"%d%d", "1 \t\n\v\f\r2", 2, "1 2", ""},
        {"a b", "a\n\n b!", 0, "", "!"},
        {"%d%%", "50%!", 1, "50", "!"},
        {"%d%%", "50 %", -1, "50", " %"},
        {"%d%3%", "5%", 1, "5", ""},
        // Integers: sign within the width, 32-bit wrapping, 16-bit "h".
        {"%d", "-17x", 1, "-17", "x"},
        {"%d", "+7", 1, "7", ""},
        {"%d", "- 7", 0, "-", " 7"},
        {"%3d", "12345", 1, "123", "45"},
        {"%2d", "-12", 1, "-1", "2"},
        {"%1d", "-5", 0, "-", "5"},
        {"%d", "4294967297", 1, "1", ""},
        {"%d", "2147483648", 1, "-2147483648", ""},
        {"%d", "-2147483649", 1, "2147483647", ""},
        {"%hd", "70000", 1, "4464", ""},
        {"%hd %hd", "-1 32768", 2, "-1 -32768", ""},
        {"%ld", "-3", 1, "-3", ""},
        {"%lld", "5000000000", 1, "705032704", ""},
        {"%x", "0x1f", 1, "0", "x1f"},
        {"%x %X", "ff -A", 2, "255 -10", ""},
        {"%x", "fg", 1, "15", "g"},
        {"%o", "777", 1, "511", ""},
        {"%o", "8", 0, "-", "8"},
        {"%i", "0x1f", 1, "31", ""},
        {"%i", "0X1F", 1, "31", ""},
        {"%i", "-0x10", 1, "-16", ""},
        {"%i", "017", 1, "15", ""},
        {"%i", "09", 1, "0", "9"},
        {"%i", "0", 1, "0", ""},
        {"%i", "0xg", 1, "0", "g"},
        {"%i", "123", 1, "123", ""},
        {"%2i", "0x1f", 1, "0", "1f"},
        // Numbers with a fraction or an exponent.
        {"%f", "5.", 1, "5", ""},
        {"%f", ".5", 1, "0.5", ""},
        {"%f", "5", 1, "5", ""},
        {"%f", ".", 0, "-", ""},
        {"%f", ". 1", 0, "-", " 1"},
        {"%f", "-.x", 0, "-", "x"},
        {"%f", "1e3", 1, "1000", ""},
        {"%f", "2.5E-2", 1, "0.025", ""},
        {"%f", "-1.5e+1,", 1, "-15", ","},
        {"%f", "+0.125", 1, "0.125", ""},
        {"%f", "1.2.3", 1, "1.2", ".3"},
        {"%f", "5e", 1, "5", ""},
        {"%f", "5ex", 1, "5", "x"},
        {"%f", "e5", 0, "-", "e5"},
        {"%3f", "1.25", 1, "1.2", "5"},
        {"%3f", "1e10", 1, "10", "0"},
        {"%f", "0e9999", 1, "0", ""},
        {"%lf", "-0.0", 1, "-0", ""},
        {"%lf %Lf %llf %qf", "1 2 3 4", 4, "1 2 3 4", ""},
        {"%hf", "0.5", 1, "0.5", ""},
        {"%f", "inf", 0, "-", "inf"},
        // Words, characters and scan sets.
        {"%s", "  hello world", 1, "'hello'", " world"},
        {"%s", "tab\tend", 1, "'tab'", "\tend"},
        {"%3s", "abcdef", 1, "'abc'", "def"},
        {"%s", "", -1, "-", ""},
        {"%s%s", "ab", 1, "'ab' -", ""},
        {"%c", " x", 1, "' '", "x"},
        {"%3c", "abcd", 1, "'abc'", "d"},
        {"%c", "", -1, "-", ""},
        {"%d%c", "5", 1, "5 -", ""},
        {"%3c", "ab", 1, "'ab'", ""},
        {"%[abc]", "abcabxd", 1, "'abcab'", "xd"},
        {"%[^,],%d", "name here,5", 2, "'name here' 5", ""},
        {"%[a-c]", "abcd", 1, "'abc'", "d"},
        {"%[]a]", "]a]b", 1, "']a]'", "b"},
        {"%[^]]", "ab]c", 1, "'ab'", "]c"},
        {"%[^]a]", "xyab", 1, "'xy'", "ab"},
        {"%[a-]", "a-b", 1, "'a-'", "b"},
        {"%[-a]", "-a-b", 1, "'-a-'", "b"},
        {"%[c-a]", "a-cb", 1, "'a-c'", "b"},
        {"%[0-9a-f]", "3fz", 1, "'3f'", "z"},
        {"%2[a-z]", "abc", 1, "'ab'", "c"},
        {"%[ ]", "  x", 1, "'  '", "x"},
        {"%[a]", "", -1, "-", ""},
        {"%[a]", "b", 0, "-", "b"},
        {"%d%[a]", "1b", 1, "1 -", "b"},
        {"%[abc", "abc", 0, "", "abc"},
        {"%1[#]%*[^\n]", "# a comment\nnext", 1, "'#'", "\nnext"},
        {"%1[#]%*[^\n]", "5 apples\n", 0, "-", "5 apples\n"},
        {"%1[#]%*[^\n]", "#\n", 1, "'#'", "\n"},
        // %n counts consumed bytes and is no conversion.
        {"%d%n", "  42", 1, "42 4", ""},
        {"%d%n", "  42x", 1, "42 4", "x"},
        {"%n", "", 0, "0", ""},
        {"%s %hn%d", "ab  7", 2, "'ab' 4 7", ""},
        {"%*n%d", "3", 1, "3", ""},
    };
    check_cases(cases, std::size(cases));
}

TEST(Scan, LongWordLeavesTheNextByte)
{
    std::string input;
    for (int i = 0; i < 1500; i++)
        input += char('a' + i % 26);
    DataStream* s = data_open_memory(input.data(), input.size());
    std::vector<char> word(1024 + 16, 'X');
    ASSERT_EQ(data_scan(s, "%1023s", word.data()), 1);
    EXPECT_EQ(std::string(word.data()), input.substr(0, 1023));
    EXPECT_EQ(data_getc(s), input[1023]);
    data_close(s);
}

// Inputs on which the C library's sscanf and the scanner must agree.
TEST(Scan, AgreesWithTheCLibrary)
{
    struct Agreement {
        const char* format;
        const char* input;
    };
    const Agreement cases[] = {
        {"%d", "42"}, {"%d", "  -42 tail"}, {"%d", "+8"}, {"%d", "abc"}, {"%d", ""}, {"%d", "   "},
        {"%d %d", "5 abc"}, {"%d %d %d", "1 2 3"}, {"%d,%d", "3,4"}, {"%d ,%d", "3 , 4"},
        {"%3d%d", "12345"}, {"%hd", "-300"}, {"%i", "0x1F"}, {"%i", "0755"}, {"%i", "-12"},
        {"%o", "17"}, {"%x", "ff"}, {"%X", "7E"}, {"%x", "-1a"},
        {"%s", "word"}, {"%s %s", "two words"}, {"%5s", "longerword"}, {"%s", "  lead\ttab"},
        {"%[a-z]", "abc123"}, {"%[^,],%s", "first,second"}, {"%[]x]", "]x]y"}, {"%[^\n]", "line\nnext"},
        {"%2[0-9]%d", "12345"}, {"%[a]", "b"},
        {"%c", "x"}, {"%3c", "abcd"}, {"%c%c", "a b"},
        {"%d%n", "  42"}, {"%s%n %d", "ab 7"}, {"%*d %d", "1 2"}, {"%*s %s", "skip keep"},
        {"%d%%", "50%"}, {"value=%d", "value=9"}, {"%d:%d", "1:x"},
        {"%f", "1.5"}, {"%f", "-0.25"}, {"%lf", "3"}, {"%f %f", "2.5 x"},
    };
    for (const Agreement& c : cases) {
        SCOPED_TRACE(std::string("format \"") + c.format + "\" on \"" + c.input + "\"");
        std::vector<Slot> ours = slots_for(c.format);
        std::vector<Slot> theirs = ours;
        int our_result = call_with_slots(
            [&](void** p) { return data_sscan(c.input, c.format, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]); },
            ours);
        int their_result = call_with_slots(
            [&](void** p) { return std::sscanf(c.input, c.format, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]); },
            theirs);
        EXPECT_EQ(our_result, their_result);
        EXPECT_EQ(render(ours), render(theirs));
    }
}

TEST(Scan, FloatingPointPrecision)
{
    long double extended = 0;
    ASSERT_EQ(data_sscan("0.1", "%Lf", &extended), 1);
    EXPECT_EQ(extended, 0.1L);
    ASSERT_EQ(data_sscan("123456789012345678", "%Lf", &extended), 1);
    EXPECT_EQ(extended, 123456789012345678.0L);
    ASSERT_EQ(data_sscan("-2.5e-3", "%qf", &extended), 1);
    EXPECT_EQ(extended, -2.5e-3L);

    double wide = 0;
    ASSERT_EQ(data_sscan("1e300", "%lf", &wide), 1);
    EXPECT_NEAR(wide / 1e300, 1.0, 1e-15);
    ASSERT_EQ(data_sscan("1e-300", "%lf", &wide), 1);
    EXPECT_NEAR(wide / 1e-300, 1.0, 1e-15);
    ASSERT_EQ(data_sscan("1e4000", "%Lf", &extended), 1);
    if (sizeof(long double) > sizeof(double)) {
        EXPECT_TRUE(std::isfinite(extended));
    }

    float narrow = 0;
    ASSERT_EQ(data_sscan("1e39", "%f", &narrow), 1);
    EXPECT_TRUE(std::isinf(narrow));
    ASSERT_EQ(data_sscan("-1e-50", "%f", &narrow), 1);
    EXPECT_EQ(narrow, 0.0f);
    EXPECT_TRUE(std::signbit(narrow));
    ASSERT_EQ(data_sscan("1e99999999999", "%lf", &wide), 1);
    EXPECT_TRUE(std::isinf(wide));
}

// Whatever the program writes with "%f" must come back as the same value.
TEST(Scan, SixDecimalValuesReadBackIdentically)
{
    std::vector<double> values = {0.0, -0.0, 1.0, -1.0, 0.1, 0.000001, -0.000001, 0.5, 123456.789012,
        3.14159265358979, 1e7, -98765.4321, 2.0 / 3.0, 1234567.0};
    uint32_t state = 2024;
    for (int i = 0; i < 20000; i++) {
        state = state * 1664525u + 1013904223u;
        double unit = double(state) / 4294967296.0;
        double magnitude = std::pow(10.0, double(i % 14) - 6.0);
        values.push_back((i & 1 ? -1 : 1) * unit * magnitude);
    }
    char text[128], again[128];
    for (double v : values) {
        std::snprintf(text, sizeof text, "%f", v);
        double d = 0;
        ASSERT_EQ(data_sscan(text, "%lf", &d), 1) << text;
        std::snprintf(again, sizeof again, "%f", d);
        ASSERT_STREQ(again, text);

        float f = float(v);
        std::snprintf(text, sizeof text, "%f", double(f));
        float g = 0;
        ASSERT_EQ(data_sscan(text, "%f", &g), 1) << text;
        ASSERT_EQ(g, std::strtof(text, nullptr)) << text;
        std::snprintf(again, sizeof again, "%f", double(g));
        ASSERT_STREQ(again, text);
    }
}

// The same scanner reads line after line of a compressed file, carrying the
// pushback byte across calls.
TEST(Scan, ReadsRecordsFromACompressedFile)
{
    std::string text;
    char line[128];
    for (int i = 0; i < 3000; i++) {
        std::snprintf(line, sizeof line, "%d %f name%d\n", i * 7 - 1000, i * 0.25, i);
        text += line;
    }
    TempDir dir;
    std::string path = dir.at("records.gz");
    write_file(path, gzip_bytes(text));
    DataStream* s = stream_from_file(fopen(path.c_str(), "rb"), 0, INT32_MAX, true);
    ASSERT_NE(s, nullptr);
    int count = 0;
    int number;
    float value;
    char name[32];
    while (data_scan(s, "%d %f %31s", &number, &value, name) == 3) {
        ASSERT_EQ(number, count * 7 - 1000);
        ASSERT_EQ(value, float(count * 0.25));
        ASSERT_EQ(std::string(name), "name" + std::to_string(count));
        count++;
    }
    EXPECT_EQ(count, 3000);
    data_close(s);
}

} // namespace
