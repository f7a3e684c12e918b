#include "json/writer.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include "json/blocks.hpp"
#include "json/decimal.hpp"

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

// Copies up to 20 bytes with fixed-size moves, which compile to a few instructions; the
// source stays readable and the destination writable 20 bytes on.
char* put_short(char* out, const char* text, std::size_t size) {
    std::memcpy(out, text, 16);
    std::memcpy(out + 16, text + 16, 4);
    return out + size;
}

// The eight decimal digits of `value` (below 10^8) as ASCII, the first in the lowest byte:
// both halves of four digits split into pairs, then every pair into digits, in parallel.
std::uint64_t eight_digits(std::uint64_t value) {
    const std::uint64_t halves = (value / 10000) | ((value % 10000) << 32);
    const std::uint64_t hundreds = ((halves * 10486) >> 20) & 0x0000007F0000007FULL;
    const std::uint64_t pairs = hundreds | ((halves - hundreds * 100) << 16);
    const std::uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F000F000FULL;
    return (tens | ((pairs - tens * 10) << 8)) + 0x3030303030303030ULL;
}

static_assert(std::endian::native == std::endian::little, "digit blocks are stored in little-endian order");

// Writes the digits of a significand (nonzero, below 10^17) right-aligned in `digits[0, 24)` and
// returns where they start.
const char* significand_digits(char* digits, std::uint64_t value) {
    const std::uint64_t blocks[3] = {eight_digits(value / 10'000'000'000'000'000), eight_digits(value / 100'000'000 % 100'000'000),
                                     eight_digits(value % 100'000'000)};
    std::memcpy(digits, blocks, sizeof blocks);
    // The digit count from the bit width, corrected by one comparison.
    constexpr auto powers = [] {
        std::array<std::uint64_t, 20> powers{};
        powers[0] = 1;
        for (std::size_t i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * 10;
        return powers;
    }();
    const auto guess = static_cast<std::size_t>((std::bit_width(value) * 1233) >> 12);
    return digits + 24 - (guess + (value >= powers[guess] ? 1 : 0));
}

constexpr char zeros[20] = {'0', '0', '0', '0', '0', '0', '0', '0', '0', '0',
                            '0', '0', '0', '0', '0', '0', '0', '0', '0', '0'};

// Lays out d1.d2d3... × 10^exponent: plainly for exponents -5 to 15, else as d1.d2d3e±X.
// `digits` (at most 17) stay readable 20 bytes past any of them; `out` has 48 bytes.
char* lay_out(char* out, const char* digits, std::size_t count, int exponent) {
    if (exponent >= -5 && exponent <= 15) {
        if (exponent < 0) {
            *out++ = '0';
            *out++ = '.';
            out = put_short(out, zeros, static_cast<std::size_t>(-exponent - 1));
            return put_short(out, digits, count);
        }
        const auto whole = static_cast<std::size_t>(exponent) + 1;
        if (count > whole) {
            out = put_short(out, digits, whole);
            *out++ = '.';
            return put_short(out, digits + whole, count - whole);
        }
        out = put_short(out, digits, count);
        out = put_short(out, zeros, whole - count);
        *out++ = '.';
        *out++ = '0';
        return out;
    }
    *out++ = digits[0];
    if (count > 1) {
        *out++ = '.';
        out = put_short(out, digits + 1, count - 1);
    }
    *out++ = 'e';
    *out++ = exponent < 0 ? '-' : '+';
    return std::to_chars(out, out + 4, exponent < 0 ? -exponent : exponent).ptr;
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

// The shortest digits that read back exactly, laid out plainly for exponents -5..15.
char* write_double(char* out, double value) {
    if (!std::isfinite(value)) {
        std::memcpy(out, "null", 4);
        return out + 4;
    }
    if (std::signbit(value)) *out++ = '-';
    if (value == 0) {
        std::memcpy(out, "0.0", 3);
        return out + 3;
    }
    const Decimal decimal = shortest_decimal(std::fabs(value));
    char digits[48];
    const char* first = significand_digits(digits, decimal.significand);
    const auto count = static_cast<std::size_t>(digits + 24 - first);
    return lay_out(out, first, count, decimal.exponent + static_cast<int>(count) - 1);
}

}  // namespace orvel::json
