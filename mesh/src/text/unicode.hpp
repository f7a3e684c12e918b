// Unicode character properties, from tables generated out of the Unicode Character
// Database by tools/gen_unicode_tables.py.
#pragma once

#include <string_view>

namespace orvel::unicode {

// Not of the categories Cc, Cf, Cs, Co, Cn, Zl, Zp or Zs (the space itself is printable).
bool is_printable(char32_t code_point);
bool is_grapheme_extend(char32_t code_point);
bool is_white_space(char32_t code_point);

// `text` (valid UTF-8) without White_Space characters at either end.
std::string_view trim_white_space(std::string_view text);

}  // namespace orvel::unicode
