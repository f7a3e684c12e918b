// Whole values, read without native recursion: the reader keeps the open arrays and
// objects in a fixed stack bounded by the nesting limit, and each token is handed to a
// sink (canonical_sink.hpp), which writes it or keeps nothing.
#pragma once

#include "json/reader.hpp"

namespace orvel::json {

// The next member's name, handed to the sink with the comma before it, and its colon.
template <class Sink>
bool read_member_name(Reader& in, Sink& sink, bool first, bool& more) {
    String name;
    if (!in.next_member(first, more, name)) return false;
    if (!more) return true;
    if (!first) sink.separator();
    sink.member_name(name);
    return in.colon();
}

template <class Sink>
bool read_literal(Reader& in, Sink& sink, std::string_view word) {
    if (!in.read_literal(word)) return false;
    sink.literal(word);
    return true;
}

// Reads one value at the cursor (inside whatever the reader has open already).
template <class Sink>
bool read_value(Reader& in, Sink& sink) {
    const int outside = in.depth();
    for (;;) {
        bool more = false;
        if (!in.at_value()) return false;
        switch (in.peek()) {
        case '[':
            if (!in.open(Container::array)) return false;
            sink.open_array();
            if (!in.next_element(true, more)) return false;
            if (more) continue;
            sink.close_array();
            break;
        case '{':
            if (!in.open(Container::object)) return false;
            sink.open_object();
            if (!read_member_name(in, sink, true, more)) return false;
            if (more) continue;
            sink.close_object();
            break;
        case '"': {
            String string;
            if (!in.read_string(string)) return false;
            sink.string(string);
            break;
        }
        case 't':
            if (!read_literal(in, sink, "true")) return false;
            break;
        case 'f':
            if (!read_literal(in, sink, "false")) return false;
            break;
        case 'n':
            if (!read_literal(in, sink, "null")) return false;
            break;
        case '-':
        case '0':
        case '1':
        case '2':
        case '3':
        case '4':
        case '5':
        case '6':
        case '7':
        case '8':
        case '9': {
            Number number;
            if (!in.read_number(number)) return false;
            sink.number(number);
            break;
        }
        default: return in.fail_at_next(Fault::expected_value);
        }
        // A value is complete: close what ends here until another element follows.
        for (;;) {
            if (in.depth() == outside) return true;
            if (in.in_object()) {
                if (!read_member_name(in, sink, false, more)) return false;
                if (more) break;
                sink.close_object();
            } else {
                if (!in.next_element(false, more)) return false;
                if (more) {
                    sink.separator();
                    break;
                }
                sink.close_array();
            }
        }
    }
}

}  // namespace orvel::json
