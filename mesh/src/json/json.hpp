// JSON text: the strict reader and the compact canonical writer.
//
// A document read from a caller is kept as its canonical text (objects sorted by member
// name in byte order, later duplicates winning, numbers in their normal form), which is
// the only form in which any value ever leaves the mesh.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "json/parse_error.hpp"
#include "json/writer.hpp"

namespace orvel::json {

// Reads exactly one document (surrounding JSON white space allowed) and appends its
// canonical compact text to `out`. On failure `out` is left as it was.
std::optional<ParseError> canonicalize(std::string_view text, std::string& out);
// The same without the copy: `canonical` is a view of this thread's buffer, valid until
// the thread reads another document.
std::optional<ParseError> canonicalize(std::string_view text, std::string_view& canonical);

// Reads exactly one document and keeps nothing of it.
std::optional<ParseError> validate(std::string_view text);

}  // namespace orvel::json
