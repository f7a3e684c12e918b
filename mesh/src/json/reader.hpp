// The strict reader: a cursor over the text that reads tokens and walks the grammar of
// arrays and objects step by step. The value reader and the plan reader both walk with
// these steps, so they report the same faults at the same positions.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "json/numbers.hpp"
#include "json/parse_error.hpp"

namespace orvel::json {

// Nesting depth: at most this many arrays and objects open at once.
inline constexpr int max_depth = 127;

// A string as read: `text` is its decoded content, a view of the input itself when it
// has no escapes, otherwise of the reader's scratch text (valid until the next string).
struct String {
    std::string_view text;
    std::string_view quoted;  // as written, quotes included
    bool escaped = false;
};

enum class Container : bool { array, object };

// Every step consumes what it read and returns false with the fault recorded; a fault's
// position is where the cursor stood when it was found.
class Reader {
public:
    explicit Reader(std::string_view text);

    std::string_view input() const { return {begin_, static_cast<std::size_t>(end_ - begin_)}; }

    // Skips space, tab, line feed and carriage return; false when the text has ended.
    bool skip_white_space() {
        if (cursor_ != end_ && static_cast<unsigned char>(*cursor_) > ' ') return true;
        cursor_ = skip_white_space_run(cursor_, end_);
        return cursor_ != end_;
    }
    // Only after white space was skipped and a byte found.
    char peek() const { return *cursor_; }

    // --- The grammar, step by step

    // Moves to the first byte of a value.
    bool at_value() { return skip_white_space() || fail_here(Fault::eof_value); }

    // Enters the array or object whose bracket was peeked, within the nesting limit.
    bool open(Container container) {
        if (depth_ >= max_depth) return fail_at_next(Fault::recursion_limit);
        ++cursor_;
        open_[depth_++] = container;
        return true;
    }
    // Arrays and objects open, and which the innermost is.
    int depth() const { return depth_; }
    bool in_object() const { return open_[depth_ - 1] == Container::object; }

    // In an array, at its start (`first`) or after an element: `more` when an element
    // follows (its value is next), otherwise the array is closed.
    bool next_element(bool first, bool& more) {
        if (!skip_white_space()) return fail_here(Fault::eof_list);
        if (*cursor_ == ']') return close(more);
        if (!first && !after_comma(']', Fault::expected_comma_or_bracket)) return false;
        more = true;
        return true;
    }
    // In an object, likewise: `more` with the next member's name read (its colon is
    // next), otherwise the object is closed.
    bool next_member(bool first, bool& more, String& name) {
        if (!skip_white_space()) return fail_here(Fault::eof_object);
        if (*cursor_ == '}') return close(more);
        if (!first && !after_comma('}', Fault::expected_comma_or_brace)) return false;
        if (*cursor_ != '"') return fail_at_next(Fault::key_must_be_a_string);
        more = true;
        return read_string(name);
    }
    // After a member's name.
    bool colon() {
        if (!skip_white_space()) return fail_here(Fault::eof_object);
        if (*cursor_ != ':') return fail_at_next(Fault::expected_colon);
        ++cursor_;
        return true;
    }
    // In an array after the last element it may hold: its closing bracket, and anything
    // else is trailing characters.
    bool close_full_array();
    // Only white space may follow the document.
    bool finish();

    // --- Tokens, at their peeked first byte

    bool read_string(String& string);
    // true, false or null.
    bool read_literal(std::string_view word);
    bool read_number(Number& number) {
        const NumberEnd read = json::read_number(cursor_, end_, number);
        if (read.fault) return fail_at(read.stop, describe(*read.fault));
        cursor_ = read.stop;
        return true;
    }

    // --- Faults: record one and return false

    // At the offending byte, which is not consumed:
    bool fail_at_next(Fault fault) { return fail_at(cursor_ == end_ ? cursor_ : cursor_ + 1, describe(fault)); }
    // After what has been consumed:
    bool fail_here(Fault fault, std::initializer_list<std::string_view> values = {}) {
        return fail_at(cursor_, describe(fault, values));
    }

    const ParseError& error() const { return error_; }

private:
    bool close(bool& more) {
        ++cursor_;
        --depth_;
        more = false;
        return true;
    }
    // Past the comma between two parts and the white space after it, at the next part.
    bool after_comma(char close, Fault not_comma) {
        if (*cursor_ != ',') return fail_at_next(not_comma);
        ++cursor_;
        if (!skip_white_space()) return fail_here(Fault::eof_value);
        if (*cursor_ == close) return fail_at_next(Fault::trailing_comma);
        return true;
    }
    bool read_escape(std::string& decoded);
    bool read_hex_escape(std::string& decoded);
    bool read_hex4(unsigned& code);
    bool skip_multibyte_characters();
    static const char* skip_white_space_run(const char* at, const char* end);
    bool fail_at(const char* position, std::string description);

    const char* begin_;
    const char* cursor_;
    const char* end_;
    std::string& scratch_;  // decoded text of the string being read
    int depth_ = 0;
    std::array<Container, max_depth> open_;
    ParseError error_;
};

}  // namespace orvel::json
