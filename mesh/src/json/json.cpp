#include "json/json.hpp"

#include "json/canonical_sink.hpp"
#include "json/value.hpp"

namespace orvel::json {

std::optional<ParseError> canonicalize(std::string_view text, std::string_view& canonical) {
    Reader reader(text);
    CanonicalSink sink(reader.input());
    if (!read_value(reader, sink) || !reader.finish()) return reader.error();
    canonical = sink.text();
    return std::nullopt;
}

std::optional<ParseError> canonicalize(std::string_view text, std::string& out) {
    std::string_view canonical;
    if (auto error = canonicalize(text, canonical)) return error;
    out += canonical;
    return std::nullopt;
}

std::optional<ParseError> validate(std::string_view text) {
    Reader reader(text);
    DiscardingSink sink;
    if (read_value(reader, sink) && reader.finish()) return std::nullopt;
    return reader.error();
}

}  // namespace orvel::json
