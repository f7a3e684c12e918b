#include "json_reader.hpp"

#include <utility>

#include "json_bytes.hpp"

namespace orvel::json {
namespace {

// The first byte from `at` that ends a run of plain string bytes.
const char* skip_plain_bytes(const char* at, const char* end) {
    while (end - at >= 8) {
        const std::uint64_t word = bytes::load_word(at);
        if (const std::uint64_t stops = bytes::escape_flags(word) | (word & bytes::high_bits)) {
            return at + bytes::first_flagged(stops);
        }
        at += 8;
    }
    while (at != end) {
        const auto byte = static_cast<unsigned char>(*at);
        if (byte == '"' || byte == '\\' || byte < 0x20 || byte >= 0x80) return at;
        ++at;
    }
    return at;
}

int hex_value(char digit) {
    if (digit >= '0' && digit <= '9') return digit - '0';
    if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
    if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
    return -1;
}

void append_utf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

constexpr std::string_view eof_in_string = "EOF while parsing a string";
constexpr std::string_view bad_code_point = "invalid unicode code point";
constexpr std::string_view lone_surrogate = "lone leading surrogate in hex escape";

}  // namespace

bool Reader::read_string(std::string& scratch, std::string_view& text) {
    const char* pending = cursor_;  // start of the bytes not yet copied into scratch
    bool escaped = false;
    for (;;) {
        cursor_ = skip_plain_bytes(cursor_, end_);
        if (cursor_ == end_) return fail_here(std::string(eof_in_string));
        const auto byte = static_cast<unsigned char>(*cursor_);
        if (byte == '"') {
            if (escaped) {
                scratch.append(pending, static_cast<std::size_t>(cursor_ - pending));
                text = scratch;
            } else {
                text = std::string_view(pending, static_cast<std::size_t>(cursor_ - pending));
            }
            ++cursor_;
            return true;
        }
        if (byte == '\\') {
            if (!escaped) scratch.clear();
            escaped = true;
            scratch.append(pending, static_cast<std::size_t>(cursor_ - pending));
            if (!read_escape(scratch)) return false;
            pending = cursor_;
        } else if (byte < 0x20) {
            ++cursor_;
            return fail_here("control character (\\u0000-\\u001F) found while parsing a string");
        } else if (!skip_multibyte_characters()) {
            return false;
        }
    }
}

// Well-formed UTF-8 only: no overlong forms, no surrogates, nothing above U+10FFFF.
// Reads characters while the next byte is not ASCII, as non-ASCII text comes in runs.
bool Reader::skip_multibyte_characters() {
    do {
        const auto lead = static_cast<unsigned char>(*cursor_++);
        int continuations = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            continuations = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            continuations = 2;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            continuations = 3;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return fail_here(std::string(bad_code_point));
        }
        for (int i = 0; i < continuations; ++i) {
            if (cursor_ == end_) return fail_here(std::string(eof_in_string));
            const auto byte = static_cast<unsigned char>(*cursor_++);
            if (byte < low || byte > high) return fail_here(std::string(bad_code_point));
            low = 0x80;
            high = 0xBF;
        }
    } while (cursor_ != end_ && static_cast<unsigned char>(*cursor_) >= 0x80);
    return true;
}

bool Reader::read_escape(std::string& decoded) {
    ++cursor_;
    if (cursor_ == end_) return fail_here(std::string(eof_in_string));
    switch (*cursor_++) {
    case '"': decoded += '"'; return true;
    case '\\': decoded += '\\'; return true;
    case '/': decoded += '/'; return true;
    case 'b': decoded += '\b'; return true;
    case 'f': decoded += '\f'; return true;
    case 'n': decoded += '\n'; return true;
    case 'r': decoded += '\r'; return true;
    case 't': decoded += '\t'; return true;
    case 'u': return read_hex_escape(decoded);
    default: return fail_here("invalid escape");
    }
}

// After "\u": one character, or a surrogate pair written as two escapes.
bool Reader::read_hex_escape(std::string& decoded) {
    unsigned code = 0;
    if (!read_hex4(code)) return false;
    if (code >= 0xDC00 && code <= 0xDFFF) return fail_here(std::string(lone_surrogate));
    if (code >= 0xD800 && code <= 0xDBFF) {
        for (const char expected : {'\\', 'u'}) {
            if (cursor_ == end_) return fail_here(std::string(eof_in_string));
            if (*cursor_++ != expected) return fail_here("unexpected end of hex escape");
        }
        unsigned trail = 0;
        if (!read_hex4(trail)) return false;
        if (trail < 0xDC00 || trail > 0xDFFF) return fail_here(std::string(lone_surrogate));
        code = 0x10000 + ((code - 0xD800) << 10) + (trail - 0xDC00);
    }
    append_utf8(decoded, code);
    return true;
}

bool Reader::read_hex4(unsigned& code) {
    if (end_ - cursor_ < 4) {
        cursor_ = end_;
        return fail_here(std::string(eof_in_string));
    }
    for (int i = 0; i < 4; ++i) {
        const int digit = hex_value(*cursor_++);
        if (digit < 0) return fail_here("invalid escape");
        code = code * 16 + static_cast<unsigned>(digit);
    }
    return true;
}

bool Reader::read_literal(std::string_view word) {
    ++cursor_;
    for (const char expected : word.substr(1)) {
        if (cursor_ == end_) return fail_here("EOF while parsing a value");
        if (*cursor_++ != expected) return fail_here("expected ident");
    }
    return true;
}

const char* Reader::skip_white_space_run(const char* at, const char* end) {
    while (end - at >= 8) {
        if (const std::uint64_t stops = bytes::non_white_space_flags(bytes::load_word(at))) {
            return at + bytes::first_flagged(stops);
        }
        at += 8;
    }
    while (at != end && (*at == ' ' || *at == '\n' || *at == '\r' || *at == '\t')) ++at;
    return at;
}

bool Reader::finish() {
    if (skip_white_space()) return fail_at_next("trailing characters");
    return true;
}

bool Reader::fail_at_next(std::string description) {
    return fail_at(cursor_ == end_ ? cursor_ : cursor_ + 1, std::move(description));
}

bool Reader::fail_here(std::string description) { return fail_at(cursor_, std::move(description)); }

bool Reader::fail_at(const char* position, std::string description) {
    error_.description = std::move(description);
    error_.line = 1;
    const char* line_start = begin_;
    for (const char* at = begin_; at != position; ++at) {
        if (*at == '\n') {
            ++error_.line;
            line_start = at + 1;
        }
    }
    error_.column = static_cast<std::size_t>(position - line_start);
    return false;
}

}  // namespace orvel::json
