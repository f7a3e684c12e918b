#include "json/json.hpp"

#include "json/canonical_sink.hpp"
#include "json/value.hpp"

namespace orvel::json {

std::optional<ParseError> canonicalize(std::string_view text, std::string& out) {
    const std::size_t original_size = out.size();
    reserve_more(out, text.size());
    Reader reader(text);
    CanonicalSink sink(out, reader.input());
    if (read_value(reader, sink) && reader.finish()) return std::nullopt;
    out.resize(original_size);
    return reader.error();
}

std::optional<ParseError> validate(std::string_view text) {
    Reader reader(text);
    DiscardingSink sink;
    if (read_value(reader, sink) && reader.finish()) return std::nullopt;
    return reader.error();
}

}  // namespace orvel::json
