// Writing compact JSON: strings, numbers, and arrays and objects whose parts the caller
// adds in order, as every record and list the mesh hands out is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "json/decimal.hpp"

namespace orvel::json {

// Room for `extra` more bytes. Grows at least geometrically: reserve() alone may allocate
// exactly what is asked (libc++ does), which, once per record of a long list, is quadratic.
void reserve_more(std::string& out, std::size_t extra);

void append_string(std::string& out, std::string_view utf8);
void append_uint(std::string& out, std::uint64_t value);
void append_int(std::string& out, std::int64_t value);
// A double in its shortest digits, laid out plainly for exponents -5 to 15; not finite, as null.
void append_double(std::string& out, double value);
// The same for a float known by its sign and shortest digits (a zero significand for zero).
void append_float(std::string& out, bool negative, Decimal shortest);

// The same written at a position with room enough, returning the end of what was written:
// a string needs string_room(its size) bytes, a double double_room.
constexpr std::size_t string_room(std::size_t size) { return 6 * size + 2; }
inline constexpr std::size_t double_room = 48;
char* write_string(char* out, std::string_view utf8);
char* write_double(char* out, double value);
char* write_float(char* out, bool negative, Decimal shortest);

// Writes one array, with the commas between its elements; close() writes the closing
// bracket. (Not a destructor's work: appending can run out of memory, and a destructor
// must not fail.)
class ArrayWriter {
public:
    explicit ArrayWriter(std::string& out) : out_(out) { out_ += '['; }
    ArrayWriter(const ArrayWriter&) = delete;
    ArrayWriter& operator=(const ArrayWriter&) = delete;

    // The text that the next element is appended to.
    std::string& next() {
        if (!empty_) out_ += ',';
        empty_ = false;
        return out_;
    }
    void close() { out_ += ']'; }

private:
    std::string& out_;
    bool empty_ = true;
};

// A field name the code gives, which needs no escaping, kept with all the punctuation that
// can surround it when the code is compiled: ","name":" is the closing quote of a text
// value before it, the comma, the name, and the opening quote of a text value. Records
// are written on every call that returns one, and their names then cost one copy of
// constant bytes.
template <std::size_t size>
struct FieldName {
    char punctuated[size + 5];

    consteval FieldName(const char (&name)[size]) : punctuated{'"', ',', '"'} {
        for (std::size_t i = 0; i + 1 < size; ++i) punctuated[3 + i] = name[i];
        punctuated[size + 2] = '"';
        punctuated[size + 3] = ':';
        punctuated[size + 4] = '"';
    }
};

// Writes one object whose members come in the order they are added, likewise closed
// explicitly.
class ObjectWriter {
public:
    explicit ObjectWriter(std::string& out) : out_(out) { out_ += '{'; }
    ObjectWriter(const ObjectWriter&) = delete;
    ObjectWriter& operator=(const ObjectWriter&) = delete;

    // Writes the field's name and returns the text that its value is appended to.
    template <FieldName name>
    std::string& field() {
        return write_name(name.punctuated, sizeof name.punctuated - 1);
    }
    // The same for a value that is text needing no escaping (a name from a table, a
    // timestamp): its quotes are written here and with whatever comes next.
    template <FieldName name>
    std::string& text_field() {
        write_name(name.punctuated, sizeof name.punctuated);
        text_open_ = true;
        return out_;
    }
    // The same as field() for a name that comes from data.
    std::string& member(std::string_view name) {
        write_name("\",", 2);
        append_string(out_, name);
        out_ += ':';
        return out_;
    }
    void close() {
        if (text_open_) out_ += '"';
        out_ += '}';
    }

private:
    // Writes `punctuated` up to `end` from where it fits: past the closing quote when no
    // text value is open, and past the comma too for the first member.
    std::string& write_name(const char* punctuated, std::size_t end) {
        const std::size_t begin = empty_ ? 2 : text_open_ ? 0 : 1;
        empty_ = text_open_ = false;
        return out_.append(punctuated + begin, end - begin);
    }

    std::string& out_;
    bool empty_ = true;
    bool text_open_ = false;  // a text value's closing quote is still to be written
};

}  // namespace orvel::json
