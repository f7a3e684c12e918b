// Number literals: read exactly, in one of the three forms a number is held in.
#pragma once

#include <optional>
#include <string_view>

#include "json/decimal.hpp"
#include "json/parse_error.hpp"

namespace orvel::json {

enum class NumberKind { unsigned_integer, signed_integer, floating };

struct Number {
    NumberKind kind = NumberKind::unsigned_integer;
    // The literal as written; for both integer kinds it is already in canonical form.
    std::string_view literal;
    // Floats only: the sign, and the shortest digits that read back as the magnitude when
    // reading found them (a zero significand when not), else the magnitude.
    bool negative = false;
    double magnitude = 0.0;
    Decimal known_shortest{0, 0};

    // The digits a float is written in (a zero significand for zero), worked out only
    // when asked, as merely checking a text does not need them.
    Decimal shortest() const {
        if (known_shortest.significand != 0 || magnitude == 0) return known_shortest;
        return shortest_decimal(magnitude);
    }
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
