// The strict JSON reader's pieces, shared by the document reader and the plan reader so
// both report faults in text order with the same descriptions and positions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "json.hpp"

namespace orvel::json {

enum class NumberKind { unsigned_integer, signed_integer, floating };

struct Number {
    NumberKind kind = NumberKind::unsigned_integer;
    // The literal as written; for both integer kinds it is already in canonical form.
    std::string_view literal;
    // Meaningful for floats only.
    double value = 0.0;
};

// A cursor over the text. Every reading step consumes what it read and returns false with
// the fault recorded; the fault's position is where the cursor stood when it was found.
class Reader {
public:
    explicit Reader(std::string_view text)
        : begin_(text.data()), cursor_(text.data()), end_(text.data() + text.size()) {}

    // Skips space, tab, line feed and carriage return; false when the text has ended.
    bool skip_white_space() {
        if (cursor_ != end_ && static_cast<unsigned char>(*cursor_) > ' ') return true;
        cursor_ = skip_white_space_run(cursor_, end_);
        return cursor_ != end_;
    }
    // Only after skip_white_space() found a byte.
    char peek() const { return *cursor_; }
    void advance() { ++cursor_; }

    // A string whose opening quote was consumed. `text` is its decoded content: a view of
    // the input itself when it has no escapes, otherwise of `scratch`.
    bool read_string(std::string& scratch, std::string_view& text);
    // true, false or null, whose first letter was peeked.
    bool read_literal(std::string_view word);
    // A number whose first byte ('-' or a digit) was peeked.
    bool read_number(Number& number);
    // A whole value inside `open` already open arrays and objects, its canonical text
    // appended to `out`.
    bool read_canonical(std::string& out, int open);
    // A whole value inside `open` already open arrays and objects, checked and dropped.
    bool skip_value(int open);
    // Only white space may follow the document.
    bool finish();

    // Record a fault and return false. At the offending byte, which is not consumed:
    bool fail_at_next(std::string description);
    // After what has been consumed:
    bool fail_here(std::string description);

    const ParseError& error() const { return error_; }

private:
    class Containers;
    template <class Sink>
    bool read_value(Sink& sink, int open);
    template <class Sink>
    bool begin_value(Sink& sink, Containers& containers, bool& opened);
    template <class Sink>
    bool read_member_name(Sink& sink);
    template <class Sink>
    bool after_comma_in_object(Sink& sink);
    bool read_escape(std::string& decoded);
    bool read_hex_escape(std::string& decoded);
    bool read_hex4(unsigned& code);
    bool skip_multibyte_characters();
    static const char* skip_white_space_run(const char* at, const char* end);
    bool fail_at(const char* position, std::string description);

    const char* begin_;
    const char* cursor_;
    const char* end_;
    ParseError error_;
};

}  // namespace orvel::json
