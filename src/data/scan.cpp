#include "data/stream.h"

#include <cstring>

namespace {

bool is_space(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Digit value for any base up to 36, or 99 for a byte that is no digit.
int digit_value(int c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return 99;
}

// The input side of one scan: bytes come from the stream one at a time, and
// the single byte that ends a conversion goes back into the stream's pushback
// so that the next read (scan or not) sees it.
struct Input {
    DataStream* stream;
    int consumed; // bytes taken since the scan started, for %n

    int get()
    {
        int c = data_getc(stream);
        if (c >= 0)
            consumed++;
        return c;
    }
    void unget(int c)
    {
        if (c < 0)
            return;
        stream->pushback = c;
        consumed--;
    }
    // Returns the first byte that is not white space (or -1 at the end).
    int skip_space()
    {
        int c;
        do
            c = get();
        while (is_space(c));
        return c;
    }
};

// A field width: every byte taken by a conversion counts against it.
struct Width {
    int left; // -1 for unlimited
    bool room() const { return left != 0; }
    void take()
    {
        if (left > 0)
            left--;
    }
};

enum class Outcome { stored, matching_failure, input_failure };

enum class Size { normal, half, wide, extended };

Outcome scan_integer(Input& in, Width width, int base, Size size, void* destination)
{
    int c = in.skip_space();
    if (c < 0)
        return Outcome::input_failure;
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        width.take();
        c = width.room() ? in.get() : -1;
    }
    uint32_t value = 0;
    bool any_digit = false;
    if (base == 0) {
        base = 10;
        if (c == '0' && width.room()) {
            any_digit = true;
            width.take();
            c = width.room() ? in.get() : -1;
            base = 8;
            if (c == 'x' || c == 'X') {
                base = 16;
                width.take();
                c = width.room() ? in.get() : -1;
            }
        }
    }
    while (c >= 0 && digit_value(c) < base) {
        value = value * uint32_t(base) + uint32_t(digit_value(c));
        any_digit = true;
        width.take();
        if (!width.room()) {
            c = -1;
            break;
        }
        c = in.get();
    }
    in.unget(c);
    if (!any_digit)
        return Outcome::matching_failure;
    if (negative)
        value = 0u - value;
    if (destination) {
        if (size == Size::half)
            *static_cast<int16_t*>(destination) = int16_t(uint16_t(value));
        else
            *static_cast<int32_t*>(destination) = int32_t(value);
    }
    return Outcome::stored;
}

// Exponents far beyond what a long double can hold give zero or infinity
// either way; clamping only keeps the integer arithmetic in range.
constexpr long exponent_limit = 100000;

long double power_of_ten(long exponent)
{
    long double result = 1.0L;
    long double factor = 10.0L;
    while (exponent > 0) {
        if (exponent & 1)
            result *= factor;
        exponent >>= 1;
        if (exponent > 0)
            factor *= factor;
    }
    return result;
}

Outcome scan_float(Input& in, Width width, Size size, void* destination)
{
    int c = in.skip_space();
    if (c < 0)
        return Outcome::input_failure;
    auto next = [&]() {
        width.take();
        c = width.room() ? in.get() : -1;
    };
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        next();
    }
    long double mantissa = 0.0L;
    long exponent = 0;
    bool any_digit = false;
    bool seen_point = false;
    for (;;) {
        if (c >= '0' && c <= '9') {
            mantissa = mantissa * 10.0L + (long double)(c - '0');
            any_digit = true;
            if (seen_point && exponent > -exponent_limit)
                exponent--;
        } else if (c == '.' && !seen_point) {
            seen_point = true;
        } else {
            break;
        }
        next();
    }
    if (!any_digit) {
        in.unget(c);
        return Outcome::matching_failure;
    }
    if (c == 'e' || c == 'E') {
        next();
        bool exponent_negative = false;
        if (c == '+' || c == '-') {
            exponent_negative = c == '-';
            next();
        }
        long written = 0;
        while (c >= '0' && c <= '9') {
            if (written < exponent_limit)
                written = written * 10 + (c - '0');
            next();
        }
        exponent += exponent_negative ? -written : written;
    }
    in.unget(c);
    // A zero mantissa stays zero even where the power of ten overflows to
    // infinity, which would otherwise make it NaN.
    long double value = mantissa == 0.0L ? 0.0L
        : exponent >= 0                  ? mantissa * power_of_ten(exponent)
                                         : mantissa / power_of_ten(-exponent);
    if (negative)
        value = -value;
    if (destination) {
        if (size == Size::extended)
            *static_cast<long double*>(destination) = value;
        else if (size == Size::wide)
            *static_cast<double*>(destination) = double(value);
        else
            *static_cast<float*>(destination) = float(value);
    }
    return Outcome::stored;
}

Outcome scan_word(Input& in, Width width, char* destination)
{
    int c = in.skip_space();
    if (c < 0)
        return Outcome::input_failure;
    size_t stored = 0;
    while (c >= 0 && !is_space(c)) {
        if (destination)
            destination[stored] = char(c);
        stored++;
        width.take();
        if (!width.room()) {
            c = -1;
            break;
        }
        c = in.get();
    }
    in.unget(c);
    if (destination)
        destination[stored] = '\0';
    return Outcome::stored;
}

// A short read still stores what came: the bytes are the caller's either way,
// and the next conversion meets the end of the input.
Outcome scan_chars(Input& in, Width width, char* destination)
{
    int count = width.left < 0 ? 1 : width.left;
    for (int i = 0; i < count; i++) {
        int c = in.get();
        if (c < 0)
            return i == 0 ? Outcome::input_failure : Outcome::stored;
        if (destination)
            destination[i] = char(c);
    }
    return Outcome::stored;
}

struct ScanSet {
    bool member[256];
};

// Reads the set that follows "[" and returns the format position after its
// closing "]", or null when the format ends first.
const char* parse_scan_set(const char* f, ScanSet& set)
{
    bool negate = false;
    if (*f == '^') {
        negate = true;
        f++;
    }
    std::memset(set.member, 0, sizeof set.member);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(f);
    const unsigned char* first = p;
    while (*p && (*p != ']' || p == first)) {
        unsigned char low = *p;
        if (p[1] == '-' && p[2] && p[2] != ']' && p[2] >= low) {
            for (int c = low; c <= p[2]; c++)
                set.member[c] = true;
            p += 3;
        } else {
            set.member[low] = true;
            p++;
        }
    }
    if (*p != ']')
        return nullptr;
    if (negate)
        for (bool& m : set.member)
            m = !m;
    return reinterpret_cast<const char*>(p + 1);
}

Outcome scan_set(Input& in, Width width, const ScanSet& set, char* destination)
{
    int c = in.get();
    if (c < 0)
        return Outcome::input_failure;
    size_t stored = 0;
    while (c >= 0 && set.member[c]) {
        if (destination)
            destination[stored] = char(c);
        stored++;
        width.take();
        if (!width.room()) {
            c = -1;
            break;
        }
        c = in.get();
    }
    in.unget(c);
    if (stored == 0)
        return Outcome::matching_failure;
    if (destination)
        destination[stored] = '\0';
    return Outcome::stored;
}

} // namespace

int data_vscan(DataStream* stream, const char* format, va_list args)
{
    if (!stream || !format)
        return -1;
    Input in{stream, 0};
    int count = 0;
    const char* f = format;
    while (*f) {
        if (is_space(static_cast<unsigned char>(*f))) {
            while (is_space(static_cast<unsigned char>(*f)))
                f++;
            in.unget(in.skip_space());
            continue;
        }
        if (*f != '%' || f[1] == '%') {
            int c = in.get();
            if (c != static_cast<unsigned char>(*f)) {
                in.unget(c);
                return -1;
            }
            f += *f == '%' ? 2 : 1;
            continue;
        }

        f++;
        bool suppress = false;
        Width width{-1};
        Size size = Size::normal;
        int longs = 0;
        for (;; f++) {
            if (*f == '*') {
                suppress = true;
            } else if (*f >= '0' && *f <= '9') {
                int digit = *f - '0';
                width.left = width.left < 0 ? digit : (width.left > 100000000 ? width.left : width.left * 10 + digit);
            } else if (*f == 'h') {
                size = Size::half;
            } else if (*f == 'l') {
                longs++;
            } else if (*f == 'L' || *f == 'q') {
                longs = 2;
            } else {
                break;
            }
        }
        // A zero width reads like no width at all.
        if (width.left == 0)
            width.left = -1;
        if (longs >= 2)
            size = Size::extended;
        else if (longs == 1 && size != Size::half)
            size = Size::wide;

        char letter = *f;
        if (letter == '\0')
            return count;
        f++;
        if (letter == '%') {
            // "%" reached through flags or a width ("%5%") is still a literal.
            int c = in.get();
            if (c != '%') {
                in.unget(c);
                return -1;
            }
            continue;
        }
        if (letter == 'n') {
            if (!suppress) {
                void* destination = va_arg(args, void*);
                if (size == Size::half)
                    *static_cast<int16_t*>(destination) = int16_t(in.consumed);
                else
                    *static_cast<int32_t*>(destination) = int32_t(in.consumed);
            }
            continue;
        }

        Outcome outcome;
        ScanSet set;
        Size integer_size = size == Size::half ? Size::half : Size::normal;
        switch (letter) {
        case 'd':
        case 'i':
        case 'o':
        case 'x':
        case 'X': {
            int base = letter == 'd' ? 10 : letter == 'i' ? 0 : letter == 'o' ? 8 : 16;
            void* destination = suppress ? nullptr : va_arg(args, void*);
            outcome = scan_integer(in, width, base, integer_size, destination);
            break;
        }
        case 'f': {
            void* destination = suppress ? nullptr : va_arg(args, void*);
            outcome = scan_float(in, width, size, destination);
            break;
        }
        case 's': {
            char* destination = suppress ? nullptr : va_arg(args, char*);
            outcome = scan_word(in, width, destination);
            break;
        }
        case 'c': {
            char* destination = suppress ? nullptr : va_arg(args, char*);
            outcome = scan_chars(in, width, destination);
            break;
        }
        case '[': {
            const char* after = parse_scan_set(f, set);
            if (!after)
                return count;
            f = after;
            char* destination = suppress ? nullptr : va_arg(args, char*);
            outcome = scan_set(in, width, set, destination);
            break;
        }
        default:
            return count;
        }
        if (outcome == Outcome::matching_failure)
            return count;
        if (outcome == Outcome::input_failure)
            return count > 0 ? count : -1;
        if (!suppress)
            count++;
    }
    return count;
}

int data_scan(DataStream* stream, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int result = data_vscan(stream, format, args);
    va_end(args);
    return result;
}

int data_sscan(const char* text, const char* format, ...)
{
    if (!text)
        return -1;
    DataStream* stream = data_open_memory(text, std::strlen(text));
    if (!stream)
        return -1;
    va_list args;
    va_start(args, format);
    int result = data_vscan(stream, format, args);
    va_end(args);
    data_close(stream);
    return result;
}
