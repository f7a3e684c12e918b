#include <charconv>
#include <cmath>

#include "json.hpp"
#include "json_bytes.hpp"

namespace orvel::json {
namespace {

bool needs_escape(unsigned char byte) { return byte == '"' || byte == '\\' || byte < 0x20; }

const char* next_escape(const char* at, const char* end) {
    while (end - at >= 8) {
        if (const std::uint64_t found = bytes::escape_flags(bytes::load_word(at))) {
            return at + bytes::first_flagged(found);
        }
        at += 8;
    }
    while (at != end && !needs_escape(static_cast<unsigned char>(*at))) ++at;
    return at;
}

void append_escape(std::string& out, unsigned char byte) {
    switch (byte) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\b': out += "\\b"; return;
    case '\f': out += "\\f"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    default: {
        constexpr char hex[] = "0123456789abcdef";
        const char escape[] = {'\\', 'u', '0', '0', hex[byte >> 4], hex[byte & 0xF]};
        out.append(escape, sizeof escape);
    }
    }
}

// `digits` are the significant digits d1 d2 ... of d1.d2... times ten to `exponent`.
void append_laid_out(std::string& out, std::string_view digits, int exponent) {
    if (exponent >= -5 && exponent <= 15) {
        if (exponent < 0) {
            out += "0.";
            out.append(static_cast<std::size_t>(-exponent - 1), '0');
            out += digits;
            return;
        }
        const auto whole = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= whole) {
            out += digits;
            out.append(whole - digits.size(), '0');
            out += ".0";
        } else {
            out += digits.substr(0, whole);
            out += '.';
            out += digits.substr(whole);
        }
        return;
    }
    out += digits[0];
    if (digits.size() > 1) {
        out += '.';
        out += digits.substr(1);
    }
    out += exponent < 0 ? "e-" : "e+";
    append_uint(out, static_cast<std::uint64_t>(exponent < 0 ? -exponent : exponent));
}

}  // namespace

std::string ParseError::text() const {
    return description + " at line " + std::to_string(line) + " column " + std::to_string(column);
}

void append_string(std::string& out, std::string_view utf8) {
    out += '"';
    const char* at = utf8.data();
    const char* const end = at + utf8.size();
    for (;;) {
        const char* stop = next_escape(at, end);
        out.append(at, stop);
        if (stop == end) break;
        append_escape(out, static_cast<unsigned char>(*stop));
        at = stop + 1;
    }
    out += '"';
}

void append_uint(std::string& out, std::uint64_t value) {
    char buffer[20];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, written.ptr);
}

void append_int(std::string& out, std::int64_t value) {
    char buffer[20];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, written.ptr);
}

// The shortest digits that read back exactly, laid out plainly for exponents -5..15.
void append_double(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    if (std::signbit(value)) out += '-';
    if (value == 0) {
        out += "0.0";
        return;
    }
    // Scientific form of the magnitude: d[.ddd]e±XX.
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific);
    const std::string_view scientific(buffer, static_cast<std::size_t>(written.ptr - buffer));
    const std::size_t e = scientific.find('e');
    char digits[20];
    std::size_t count = 0;
    for (const char c : scientific.substr(0, e)) {
        if (c != '.') digits[count++] = c;
    }
    int exponent = 0;
    const std::string_view exponent_text = scientific.substr(e + 2);
    std::from_chars(exponent_text.data(), exponent_text.data() + exponent_text.size(), exponent);
    if (scientific[e + 1] == '-') exponent = -exponent;
    append_laid_out(out, std::string_view(digits, count), exponent);
}

}  // namespace orvel::json
