// Unicode character properties, from tables generated out of the Unicode Character
// Database by tools/gen_unicode_tables.py.
#pragma once

#include <cstddef>
#include <string_view>

namespace orvel::unicode {

// Not of the categories Cc, Cf, Cs, Co, Cn, Zl, Zp or Zs (the space itself is printable).
bool is_printable(char32_t code_point);
bool is_grapheme_extend(char32_t code_point);
bool is_white_space(char32_t code_point);

// `text` (valid UTF-8) without White_Space characters at either end.
std::string_view trim_white_space(std::string_view text);

inline constexpr char32_t replacement_character = 0xFFFD;

struct DecodedCharacter {
    char32_t code_point;
    std::size_t length;  // bytes taken from the text, at least 1
};

// The character that starts at byte `position` (< text.size()). A malformed or
// truncated sequence yields the replacement character over one byte, so a scan
// always moves on.
DecodedCharacter decode_at(std::string_view text, std::size_t position);

}  // namespace orvel::unicode
