// Every fault the reader reports, and the error that carries one with its position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace orvel::json {

enum class Fault : std::uint8_t {
    eof_value,
    eof_list,
    eof_object,
    eof_string,
    expected_colon,
    expected_comma_or_bracket,
    expected_comma_or_brace,
    expected_ident,
    expected_value,
    key_must_be_a_string,
    trailing_comma,
    trailing_characters,
    recursion_limit,
    invalid_number,
    number_out_of_range,
    control_character,
    invalid_escape,
    lone_leading_surrogate,
    unexpected_end_of_hex_escape,
    invalid_code_point,
    // Faults of a record read from a document; their texts take values.
    duplicate_field,
    missing_field,
    invalid_type,
    invalid_length,
};

// The fault's description, each {} in it replaced by the next of `values`.
std::string describe(Fault fault, std::initializer_list<std::string_view> values = {});

struct ParseError {
    std::string description;
    std::size_t line = 1;
    std::size_t column = 0;

    // "{description} at line {line} column {column}"
    std::string text() const;
};

}  // namespace orvel::json
