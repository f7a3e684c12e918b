#include "json/reader.hpp"

#include <cstring>
#include <utility>

#include "json/blocks.hpp"
#include "text/utf8.hpp"

namespace orvel::json {
namespace {

// The first byte from `at` that ends a run of plain string bytes.
const char* skip_plain_bytes(const char* at, const char* end) {
    while (static_cast<std::size_t>(end - at) >= blocks::size) {
        if (const std::uint64_t stops = blocks::string_stops(at)) return at + blocks::first_flagged(stops);
        at += blocks::size;
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

// Decoded text of the string being read, reused across strings and documents.
std::string& decode_buffer() {
    thread_local std::string buffer;
    return buffer;
}

}  // namespace

Reader::Reader(std::string_view text)
    : begin_(text.data()), cursor_(text.data()), end_(text.data() + text.size()), scratch_(decode_buffer()) {}

bool Reader::read_string(String& string) {
    const char* const quote = cursor_++;
    const char* pending = cursor_;  // start of the bytes not yet copied into the scratch text
    bool escaped = false;
    for (;;) {
        cursor_ = skip_plain_bytes(cursor_, end_);
        if (cursor_ == end_) return fail_here(Fault::eof_string);
        const auto byte = static_cast<unsigned char>(*cursor_);
        if (byte == '"') {
            if (escaped) {
                scratch_.append(pending, static_cast<std::size_t>(cursor_ - pending));
                string.text = scratch_;
            } else {
                string.text = std::string_view(pending, static_cast<std::size_t>(cursor_ - pending));
            }
            ++cursor_;
            string.quoted = std::string_view(quote, static_cast<std::size_t>(cursor_ - quote));
            string.escaped = escaped;
            return true;
        }
        if (byte == '\\') {
            if (!escaped) scratch_.clear();
            escaped = true;
            scratch_.append(pending, static_cast<std::size_t>(cursor_ - pending));
            if (!read_escape(scratch_)) return false;
            pending = cursor_;
        } else if (byte < 0x20) {
            ++cursor_;
            return fail_here(Fault::control_character);
        } else if (!skip_multibyte_characters()) {
            return false;
        }
    }
}

// Reads characters while the next byte is not ASCII, as non-ASCII text comes in runs.
bool Reader::skip_multibyte_characters() {
    do {
        cursor_ = unicode::skip_common_characters(cursor_, end_);
        if (cursor_ == end_ || static_cast<unsigned char>(*cursor_) < 0x80) return true;
        const unicode::Decoded character = unicode::decode(cursor_, end_);
        cursor_ += character.length;
        if (character.status == unicode::Decoded::Status::truncated) return fail_here(Fault::eof_string);
        if (character.status == unicode::Decoded::Status::malformed) return fail_here(Fault::invalid_code_point);
    } while (cursor_ != end_ && static_cast<unsigned char>(*cursor_) >= 0x80);
    return true;
}

bool Reader::read_escape(std::string& decoded) {
    ++cursor_;
    if (cursor_ == end_) return fail_here(Fault::eof_string);
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
    default: return fail_here(Fault::invalid_escape);
    }
}

// After "\u": one character, or a surrogate pair written as two escapes.
bool Reader::read_hex_escape(std::string& decoded) {
    unsigned code = 0;
    if (!read_hex4(code)) return false;
    if (code >= 0xDC00 && code <= 0xDFFF) return fail_here(Fault::lone_leading_surrogate);
    if (code >= 0xD800 && code <= 0xDBFF) {
        for (const char expected : {'\\', 'u'}) {
            if (cursor_ == end_) return fail_here(Fault::eof_string);
            if (*cursor_++ != expected) return fail_here(Fault::unexpected_end_of_hex_escape);
        }
        unsigned trail = 0;
        if (!read_hex4(trail)) return false;
        if (trail < 0xDC00 || trail > 0xDFFF) return fail_here(Fault::lone_leading_surrogate);
        code = 0x10000 + ((code - 0xD800) << 10) + (trail - 0xDC00);
    }
    unicode::append_utf8(decoded, code);
    return true;
}

bool Reader::read_hex4(unsigned& code) {
    if (end_ - cursor_ < 4) {
        cursor_ = end_;
        return fail_here(Fault::eof_string);
    }
    for (int i = 0; i < 4; ++i) {
        const int digit = hex_value(*cursor_++);
        if (digit < 0) return fail_here(Fault::invalid_escape);
        code = code * 16 + static_cast<unsigned>(digit);
    }
    return true;
}

bool Reader::read_literal(std::string_view word) {
    // Whole when it is there; byte by byte only to find where it goes wrong.
    if (static_cast<std::size_t>(end_ - cursor_) >= word.size() && std::memcmp(cursor_, word.data(), word.size()) == 0) {
        cursor_ += word.size();
        return true;
    }
    ++cursor_;
    for (const char expected : word.substr(1)) {
        if (cursor_ == end_) return fail_here(Fault::eof_value);
        if (*cursor_++ != expected) return fail_here(Fault::expected_ident);
    }
    return true;
}

const char* Reader::skip_white_space_run(const char* at, const char* end) {
    while (static_cast<std::size_t>(end - at) >= blocks::size) {
        if (const std::uint64_t stops = blocks::non_white_space(at)) return at + blocks::first_flagged(stops);
        at += blocks::size;
    }
    while (at != end && (*at == ' ' || *at == '\n' || *at == '\r' || *at == '\t')) ++at;
    return at;
}

bool Reader::close_full_array() {
    if (!skip_white_space()) return fail_here(Fault::eof_list);
    bool more = false;
    if (*cursor_ == ']') return close(more);
    if (*cursor_ == ',') {
        ++cursor_;
        if (skip_white_space() && *cursor_ == ']') return fail_at_next(Fault::trailing_comma);
    }
    return fail_at_next(Fault::trailing_characters);
}

bool Reader::finish() {
    if (skip_white_space()) return fail_at_next(Fault::trailing_characters);
    return true;
}

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
