#include "plan.hpp"

#include <array>
#include <cstdint>
#include <span>

#include "json.hpp"
#include "json_reader.hpp"
#include "quote.hpp"
#include "unicode.hpp"

namespace orvel {
namespace {

constexpr std::array<std::string_view, 4> plan_fields = {"app_name", "backends", "functions", "agents"};
constexpr std::array<std::string_view, 2> backend_fields = {"backend_type", "config"};

// Reads the plan as a stream of tokens, so faults come in text order at the reader's
// positions. A record is an object with named members or an array of its fields in
// order; its first field is required, the others have defaults.
class PlanReader {
public:
    explicit PlanReader(std::string_view text) : in_(text) {}

    bool read(Plan& plan) {
        return read_record("struct Plan", plan_fields, [&](std::size_t field) {
            switch (field) {
            case 0: return read_text(plan.app_name);
            case 1: return read_backends(plan.backends);
            case 2: return read_text_list(plan.functions);
            default: return read_text_list(plan.agents);
            }
        }) && in_.finish();
    }

    const json::ParseError& error() const { return in_.error(); }

private:
    template <class ReadField>
    bool read_record(std::string_view expected, std::span<const std::string_view> fields, ReadField read_field) {
        if (!in_.skip_white_space()) return in_.fail_here("EOF while parsing a value");
        const char first = in_.peek();
        if (first != '{' && first != '[') return wrong_type(expected);
        // The plan's own levels (at most three) stay far below the nesting limit.
        in_.advance();
        ++open_;
        const bool ok = first == '{' ? read_record_members(fields, read_field)
                                     : read_record_elements(expected, fields, read_field);
        --open_;
        return ok;
    }

    template <class ReadField>
    bool read_record_members(std::span<const std::string_view> fields, ReadField read_field) {
        std::uint32_t seen = 0;
        for (bool first = true;; first = false) {
            bool more = false;
            std::string_view name;
            if (!next_member_name(first, more, name)) return false;
            if (!more) break;
            std::size_t field = 0;
            while (field < fields.size() && fields[field] != name) ++field;
            const bool known = field < fields.size();
            if (known) {
                if (seen & (1u << field)) return fail_after_record('}', "duplicate field `" + std::string(fields[field]) + "`");
                seen |= 1u << field;
            }
            if (!read_colon()) return false;
            if (!(known ? read_field(field) : in_.skip_value(open_))) return false;
        }
        if (!(seen & 1u)) return fail_after_record('}', "missing field `" + std::string(fields[0]) + "`");
        in_.advance();
        return true;
    }

    template <class ReadField>
    bool read_record_elements(std::string_view expected, std::span<const std::string_view> fields, ReadField read_field) {
        for (std::size_t field = 0; field < fields.size(); ++field) {
            bool more = false;
            if (!next_element(field == 0, more)) return false;
            if (!more) {
                if (field > 0) break;
                return fail_after_record(']', "invalid length 0, expected " + std::string(expected) + " with " +
                                                  std::to_string(fields.size()) + " elements");
            }
            if (!read_field(field)) return false;
        }
        if (!in_.skip_white_space()) return in_.fail_here("EOF while parsing a list");
        if (in_.peek() == ']') {
            in_.advance();
            return true;
        }
        if (in_.peek() == ',') {
            in_.advance();
            if (in_.skip_white_space() && in_.peek() == ']') return in_.fail_at_next("trailing comma");
        }
        return in_.fail_at_next("trailing characters");
    }

    // A fault of the record as a whole is placed after the white space that follows and
    // after the record's closing bracket when that comes next.
    bool fail_after_record(char close, std::string description) {
        if (in_.skip_white_space() && in_.peek() == close) in_.advance();
        return in_.fail_here(std::move(description));
    }

    // Moves to the next element of an array; `more` is false at the closing bracket,
    // which is left for the caller.
    bool next_element(bool first, bool& more) {
        if (!in_.skip_white_space()) return in_.fail_here("EOF while parsing a list");
        if (in_.peek() == ']') return true;
        if (!first) {
            if (in_.peek() != ',') return in_.fail_at_next("expected `,` or `]`");
            in_.advance();
            if (!in_.skip_white_space()) return in_.fail_here("EOF while parsing a value");
            if (in_.peek() == ']') return in_.fail_at_next("trailing comma");
        }
        more = true;
        return true;
    }

    // Reads the next member name of an object; `more` is false at the closing brace,
    // which is left for the caller.
    bool next_member_name(bool first, bool& more, std::string_view& name) {
        if (!in_.skip_white_space()) return in_.fail_here("EOF while parsing an object");
        if (in_.peek() == '}') return true;
        if (!first) {
            if (in_.peek() != ',') return in_.fail_at_next("expected `,` or `}`");
            in_.advance();
            if (!in_.skip_white_space()) return in_.fail_here("EOF while parsing a value");
            if (in_.peek() == '}') return in_.fail_at_next("trailing comma");
        }
        if (in_.peek() != '"') return in_.fail_at_next("key must be a string");
        in_.advance();
        more = true;
        return in_.read_string(scratch_, name);
    }

    bool read_colon() {
        if (!in_.skip_white_space()) return in_.fail_here("EOF while parsing an object");
        if (in_.peek() != ':') return in_.fail_at_next("expected `:`");
        in_.advance();
        return true;
    }

    bool read_text(std::string& text) {
        if (!in_.skip_white_space()) return in_.fail_here("EOF while parsing a value");
        if (in_.peek() != '"') return wrong_type("a string");
        in_.advance();
        std::string_view decoded;
        if (!in_.read_string(scratch_, decoded)) return false;
        text.assign(decoded);
        return true;
    }

    bool read_text_list(std::vector<std::string>& list) {
        if (!in_.skip_white_space()) return in_.fail_here("EOF while parsing a value");
        if (in_.peek() != '[') return wrong_type("a sequence");
        in_.advance();
        ++open_;
        for (bool first = true;; first = false) {
            bool more = false;
            if (!next_element(first, more)) return false;
            if (!more) break;
            if (!read_text(list.emplace_back())) return false;
        }
        in_.advance();
        --open_;
        return true;
    }

    // A later entry under the same name replaces the earlier one.
    bool read_backends(StringMap<BackendSpec>& backends) {
        if (!in_.skip_white_space()) return in_.fail_here("EOF while parsing a value");
        if (in_.peek() != '{') return wrong_type("a map");
        in_.advance();
        ++open_;
        for (bool first = true;; first = false) {
            bool more = false;
            std::string_view decoded;
            if (!next_member_name(first, more, decoded)) return false;
            if (!more) break;
            std::string name(decoded);
            BackendSpec spec;
            if (!read_colon() || !read_backend(spec)) return false;
            backends.insert_or_assign(std::move(name), std::move(spec));
        }
        in_.advance();
        --open_;
        return true;
    }

    bool read_backend(BackendSpec& spec) {
        spec.config = SharedText("null");
        return read_record("struct BackendSpec", backend_fields, [&](std::size_t field) {
            return field == 0 ? read_text(spec.backend_type) : read_config(spec.config);
        });
    }

    bool read_config(SharedText& config) {
        std::string text;
        if (!in_.read_canonical(text, open_)) return false;
        config = SharedText(text);
        return true;
    }

    // The value found where `expected` was wanted: scalars are read (so their own faults
    // come first) and reported where they end; an array or object is reported before its
    // bracket.
    bool wrong_type(std::string_view expected) {
        const char first = in_.peek();
        std::string found;
        if (first == '[' || first == '{') {
            found = first == '[' ? "sequence" : "map";
        } else if (first == '"') {
            in_.advance();
            std::string_view text;
            if (!in_.read_string(scratch_, text)) return false;
            found = "string ";
            append_quoted(found, text);
        } else if (first == '-' || (first >= '0' && first <= '9')) {
            json::Number number;
            if (!in_.read_number(number)) return false;
            if (number.kind == json::NumberKind::floating) {
                found = "floating point `";
                json::append_double(found, number.value);
            } else {
                found = "integer `";
                found += number.literal;
            }
            found += '`';
        } else if (first == 'n' || first == 't' || first == 'f') {
            const std::string_view word = first == 'n' ? "null" : first == 't' ? "true" : "false";
            if (!in_.read_literal(word)) return false;
            found = first == 'n' ? "null" : "boolean `" + std::string(word) + "`";
        } else {
            return in_.fail_at_next("expected value");
        }
        return in_.fail_here("invalid type: " + found + ", expected " + std::string(expected));
    }

    json::Reader in_;
    int open_ = 0;
    std::string scratch_;
};

void append_text_list(std::string& out, const std::vector<std::string>& list) {
    out += '[';
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i > 0) out += ',';
        json::append_string(out, list[i]);
    }
    out += ']';
}

}  // namespace

Result<Plan> read_plan(std::string_view text) {
    const std::string_view trimmed = unicode::trim_white_space(text);
    if (trimmed.empty() || trimmed == "{}") return Plan{};
    PlanReader reader(trimmed);
    Plan plan;
    if (!reader.read(plan)) return MeshError::serialization(reader.error().text());
    return plan;
}

std::string write_plan(const Plan& plan) {
    std::string out = "{\"app_name\":";
    json::append_string(out, plan.app_name);
    out += ",\"backends\":{";
    bool first = true;
    for (const auto& [name, spec] : plan.backends) {
        if (!first) out += ',';
        first = false;
        json::append_string(out, name);
        out += ":{\"backend_type\":";
        json::append_string(out, spec.backend_type);
        out += ",\"config\":";
        // A backend built in code without a config has none to show.
        out += spec.config.empty() ? std::string_view("null") : spec.config.view();
        out += '}';
    }
    out += "},\"functions\":";
    append_text_list(out, plan.functions);
    out += ",\"agents\":";
    append_text_list(out, plan.agents);
    out += '}';
    return out;
}

}  // namespace orvel
