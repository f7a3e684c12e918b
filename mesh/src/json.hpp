// JSON text: the strict reader and the compact canonical writer.
//
// A document read from a caller is kept as its canonical text (objects sorted by member
// name in byte order, later duplicates winning, numbers in their normal form), which is
// the only form in which any value ever leaves the mesh.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvel::json {

// Nesting depth: at most this many arrays and objects open at once.
inline constexpr int max_depth = 127;

struct ParseError {
    std::string description;
    std::size_t line = 1;
    std::size_t column = 0;

    // "{description} at line {line} column {column}"
    std::string text() const;
};

// Reads exactly one document (surrounding JSON white space allowed) and appends its
// canonical compact text to `out`. On failure `out` is left as it was.
std::optional<ParseError> canonicalize(std::string_view text, std::string& out);

// Reads exactly one document and keeps nothing of it.
std::optional<ParseError> validate(std::string_view text);

// Room for `extra` more bytes. Grows at least geometrically: reserve() alone may allocate
// exactly what is asked (libc++ does), which, once per record of a long list, is quadratic.
void reserve_more(std::string& out, std::size_t extra);

// Writer pieces, for records with fixed member order.
void append_string(std::string& out, std::string_view utf8);
void append_uint(std::string& out, std::uint64_t value);
void append_int(std::string& out, std::int64_t value);
void append_double(std::string& out, double value);

// Writes one object whose members come in the order they are added, with the commas
// between them; close() writes the closing brace. (Not a destructor's work: appending can
// run out of memory, and a destructor must not fail.)
class ObjectWriter {
public:
    explicit ObjectWriter(std::string& out) : out_(out) { out_ += '{'; }
    ObjectWriter(const ObjectWriter&) = delete;
    ObjectWriter& operator=(const ObjectWriter&) = delete;

    void close() { out_ += '}'; }

    // Writes the member name and returns the text that its value is appended to.
    std::string& operator[](std::string_view name) {
        out_ += empty_ ? "\"" : ",\"";
        empty_ = false;
        out_ += name;
        out_ += "\":";
        return out_;
    }

private:
    std::string& out_;
    bool empty_ = true;
};

}  // namespace orvel::json
