#include "json/parse_error.hpp"

#include <array>

namespace orvel::json {
namespace {

// Indexed by Fault.
constexpr std::array<std::string_view, 24> descriptions = {
    "EOF while parsing a value",
    "EOF while parsing a list",
    "EOF while parsing an object",
    "EOF while parsing a string",
    "expected `:`",
    "expected `,` or `]`",
    "expected `,` or `}`",
    "expected ident",
    "expected value",
    "key must be a string",
    "trailing comma",
    "trailing characters",
    "recursion limit exceeded",
    "invalid number",
    "number out of range",
    "control character (\\u0000-\\u001F) found while parsing a string",
    "invalid escape",
    "lone leading surrogate in hex escape",
    "unexpected end of hex escape",
    "invalid unicode code point",
    "duplicate field `{}`",
    "missing field `{}`",
    "invalid type: {}, expected {}",
    "invalid length {}, expected {} with {} elements",
};
static_assert(descriptions.size() == static_cast<std::size_t>(Fault::invalid_length) + 1);

}  // namespace

std::string describe(Fault fault, std::initializer_list<std::string_view> values) {
    const std::string_view pattern = descriptions[static_cast<std::size_t>(fault)];
    std::string text;
    std::size_t copied = 0;
    for (const std::string_view value : values) {
        const std::size_t slot = pattern.find("{}", copied);
        if (slot == std::string_view::npos) break;
        text.append(pattern, copied, slot - copied);
        text += value;
        copied = slot + 2;
    }
    text.append(pattern, copied);
    return text;
}

std::string ParseError::text() const {
    return description + " at line " + std::to_string(line) + " column " + std::to_string(column);
}

}  // namespace orvel::json
