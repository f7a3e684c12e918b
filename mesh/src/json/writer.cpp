#include "json/writer.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include "json/blocks.hpp"
#include "json/decimal.hpp"
#include "json/digit_blocks.hpp"

namespace orvel::json {
namespace {

bool needs_escape(unsigned char byte) { return byte == '"' || byte == '\\' || byte < 0x20; }

const char* next_escape(const char* at, const char* end) {
    while (static_cast<std::size_t>(end - at) >= blocks::size) {
        if (const std::uint64_t found = blocks::escapes(at)) return at + blocks::first_flagged(found);
        at += blocks::size;
    }
    while (at != end && !needs_escape(static_cast<unsigned char>(*at))) ++at;
    return at;
}

// Writes the escape of a byte that needs one: at most six bytes.
char* write_escape(char* out, unsigned char byte) {
    const char* shorthand = nullptr;
    switch (byte) {
    case '"': shorthand = "\\\""; break;
    case '\\': shorthand = "\\\\"; break;
    case '\b': shorthand = "\\b"; break;
    case '\f': shorthand = "\\f"; break;
    case '\n': shorthand = "\\n"; break;
    case '\r': shorthand = "\\r"; break;
    case '\t': shorthand = "\\t"; break;
    default: {
        constexpr char hex[] = "0123456789abcdef";
        const char escape[] = {'\\', 'u', '0', '0', hex[byte >> 4], hex[byte & 0xF]};
        std::memcpy(out, escape, sizeof escape);
        return out + sizeof escape;
    }
    }
    std::memcpy(out, shorthand, 2);
    return out + 2;
}

constexpr std::uint64_t ascii_zeros = 0x3030303030303030ULL;

__extension__ using uint128 = unsigned __int128;

// A significand's digits padded with zeros to seventeen: the first, and the other sixteen
// as two words of ASCII. They stay in registers and are stored only where they belong, as
// bytes stored piecemeal and read back whole would stall the store buffer.
struct Digits {
    char first;
    std::uint64_t next8;
    std::uint64_t last8;
    int count;  // significant digits, 1 to 17

    // The digits are made right-aligned in seventeen places while their count is found
    // alongside; only the shift that left-aligns them waits for both.
    explicit Digits(std::uint64_t significand) {
        count = decimal_digits(significand);
        const std::uint64_t top = significand / 10'000'000'000'000'000;
        const std::uint64_t high = significand / 100'000'000;
        const digit_blocks::Sixteen blocks = digit_blocks::sixteen(static_cast<std::uint32_t>(high - top * 100'000'000),
                                                                   static_cast<std::uint32_t>(significand - high * 100'000'000));
        const uint128 rest = static_cast<uint128>(blocks.last8) << 64 | blocks.first8;
        const int leading_zeros = 17 - count;
        const uint128 after_first = (rest >> (4 * leading_zeros)) >> (4 * leading_zeros);
        const uint128 from_top = rest << 8 | top;
        first = static_cast<char>('0' + (leading_zeros < 16 ? static_cast<std::uint8_t>(from_top >> (8 * leading_zeros))
                                                            : significand));
        next8 = static_cast<std::uint64_t>(after_first) + ascii_zeros;
        last8 = static_cast<std::uint64_t>(after_first >> 64) + ascii_zeros;
    }

    // The sixteen digits after the first from digit `skip` on (0 to 15); the bytes shifted in
    // past the seventeenth are not digits, so callers stop at the count.
    void put_after_first(char* out, int skip) const {
        const uint128 both = (static_cast<uint128>(last8) << 64 | next8) >> (8 * skip);
        const auto low = static_cast<std::uint64_t>(both);
        const auto high = static_cast<std::uint64_t>(both >> 64);
        std::memcpy(out, &low, 8);
        std::memcpy(out + 8, &high, 8);
    }
};

// Lays out the digits × 10^exponent (of the first digit): plainly for exponents -5 to 15,
// else as d.ddde±X. Writes at most 34 bytes, of which the returned end counts the laid out.
char* lay_out(char* out, const Digits& digits, int exponent) {
    if (exponent >= 0 && exponent <= 15) {
        const int whole = exponent + 1;
        out[0] = digits.first;
        digits.put_after_first(out + 1, 0);
        out[whole] = '.';
        if (digits.count > whole) {
            digits.put_after_first(out + whole + 1, whole - 1);
            return out + digits.count + 1;
        }
        out[whole + 1] = '0';  // the padding zeros already stand before the point
        return out + whole + 2;
    }
    if (exponent < 0 && exponent >= -5) {
        std::memcpy(out, "0.000000", 8);
        out += 1 - exponent;
        out[0] = digits.first;
        digits.put_after_first(out + 1, 0);
        return out + digits.count;
    }
    out[0] = digits.first;
    char* at = out + 1;
    if (digits.count > 1) {
        *at++ = '.';
        digits.put_after_first(at, 0);
        at += digits.count - 1;
    }
    *at++ = 'e';
    *at++ = exponent < 0 ? '-' : '+';
    return std::to_chars(at, at + 3, exponent < 0 ? -exponent : exponent).ptr;
}

}  // namespace

void reserve_more(std::string& out, std::size_t extra) {
    const std::size_t wanted = out.size() + extra;
    if (wanted > out.capacity()) out.reserve(std::max(wanted, 2 * out.capacity()));
}

void append_string(std::string& out, std::string_view utf8) {
    out += '"';
    const char* at = utf8.data();
    const char* const end = at + utf8.size();
    for (;;) {
        const char* stop = next_escape(at, end);
        out.append(at, static_cast<std::size_t>(stop - at));
        if (stop == end) break;
        char escape[6];
        out.append(escape, static_cast<std::size_t>(write_escape(escape, static_cast<unsigned char>(*stop)) - escape));
        at = stop + 1;
    }
    out += '"';
}

char* write_string(char* out, std::string_view utf8) {
    *out++ = '"';
    const char* at = utf8.data();
    const char* const end = at + utf8.size();
    for (;;) {
        const char* stop = next_escape(at, end);
        std::memcpy(out, at, static_cast<std::size_t>(stop - at));
        out += stop - at;
        if (stop == end) break;
        out = write_escape(out, static_cast<unsigned char>(*stop));
        at = stop + 1;
    }
    *out++ = '"';
    return out;
}

void append_uint(std::string& out, std::uint64_t value) {
    char buffer[20];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, static_cast<std::size_t>(written.ptr - buffer));
}

void append_int(std::string& out, std::int64_t value) {
    char buffer[20];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, static_cast<std::size_t>(written.ptr - buffer));
}

void append_double(std::string& out, double value) {
    char text[double_room];
    out.append(text, static_cast<std::size_t>(write_double(text, value) - text));
}

void append_float(std::string& out, bool negative, Decimal shortest) {
    char text[double_room];
    out.append(text, static_cast<std::size_t>(write_float(text, negative, shortest) - text));
}

char* write_double(char* out, double value) {
    if (!std::isfinite(value)) {
        std::memcpy(out, "null", 4);
        return out + 4;
    }
    return write_float(out, std::signbit(value), value == 0 ? Decimal{0, 0} : shortest_decimal(std::fabs(value)));
}

char* write_float(char* out, bool negative, Decimal shortest) {
    if (negative) *out++ = '-';
    if (shortest.significand == 0) {
        std::memcpy(out, "0.0", 3);
        return out + 3;
    }
    const Digits digits(shortest.significand);
    return lay_out(out, digits, shortest.exponent + digits.count - 1);
}

}  // namespace orvel::json
