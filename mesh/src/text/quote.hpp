// The quoted form of a text in messages: "..." with \" \\ \t \r \n \0 escaped, and
// \u{hex} for characters that are not printable and for combining marks.
#pragma once

#include <string>
#include <string_view>

namespace orvel {

void append_quoted(std::string& out, std::string_view utf8);
std::string quoted(std::string_view utf8);

}  // namespace orvel
