// libFuzzer target on the core's readers, without the interpreter in the way:
// - canonicalize and validate agree on every text, down to the error text;
// - a refused text leaves the output untouched and names a position inside the text;
// - canonical text reads back to itself;
// - a plan that reads writes a text that reads back to the same plan.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "json/json.hpp"
#include "plan.hpp"

namespace {

void require(bool holds, const char* what, std::string_view input) {
    if (holds) return;
    std::fprintf(stderr, "broken: %s\ninput: %.*s\n", what, static_cast<int>(input.size()), input.data());
    std::abort();
}

// Line and column name a byte of the text, or the end of a line.
bool inside(std::string_view text, const orvel::json::ParseError& error) {
    std::size_t line = 1;
    std::size_t line_start = 0;
    for (std::size_t i = 0; i < text.size() && line < error.line; ++i) {
        if (text[i] == '\n') {
            ++line;
            line_start = i + 1;
        }
    }
    if (line != error.line) return false;
    const std::size_t line_end = text.find('\n', line_start);
    const std::size_t length = (line_end == std::string_view::npos ? text.size() : line_end) - line_start;
    return error.column <= length;
}

void check_document(std::string_view text) {
    std::string out = "sentinel";
    const auto refused = orvel::json::canonicalize(text, out);
    const auto validated = orvel::json::validate(text);
    require(refused.has_value() == validated.has_value(), "canonicalize and validate disagree", text);
    if (refused) {
        require(out == "sentinel", "a refused document changed the output", text);
        require(refused->text() == validated->text(), "canonicalize and validate report differently", text);
        require(inside(text, *refused), "error position outside the text", text);
        return;
    }
    const std::string canonical = out.substr(std::string_view("sentinel").size());
    std::string again;
    require(!orvel::json::canonicalize(canonical, again), "canonical text does not read", text);
    require(again == canonical, "canonical text is no fixed point", text);
}

bool same_plan(const orvel::Plan& a, const orvel::Plan& b) {
    if (a.app_name != b.app_name || a.functions != b.functions || a.agents != b.agents) return false;
    if (a.backends.size() != b.backends.size()) return false;
    for (const auto& [name, spec] : a.backends) {
        auto found = b.backends.find(name);
        if (found == b.backends.end() || found->second.backend_type != spec.backend_type ||
            found->second.config.view() != spec.config.view()) {
            return false;
        }
    }
    return true;
}

void check_plan(std::string_view text) {
    auto plan = orvel::read_plan(text);
    if (!plan) return;
    const std::string written = orvel::write_plan(plan.value());
    auto again = orvel::read_plan(written);
    require(again.ok(), "a written plan does not read", text);
    require(same_plan(plan.value(), again.value()), "a written plan reads back differently", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    check_document(text);
    check_plan(text);
    return 0;
}
