// Number literals: read exactly, in one of the three forms a number is held in.
#pragma once

#include <optional>
#include <string_view>

#include "json/parse_error.hpp"

namespace orvel::json {

enum class NumberKind { unsigned_integer, signed_integer, floating };

struct Number {
    NumberKind kind = NumberKind::unsigned_integer;
    // The literal as written; for both integer kinds it is already in canonical form.
    std::string_view literal;
    // Meaningful for floats only.
    double value = 0.0;
};

// Where reading a literal stopped: just past it, or, with a fault, just past the byte
// at which the fault was found (the end of the text when it ended early).
struct NumberEnd {
    const char* stop;
    std::optional<Fault> fault;
};

// Reads the literal that starts at `first` (a minus sign or a digit, before `end`).
NumberEnd read_number(const char* first, const char* end, Number& number);

}  // namespace orvel::json
