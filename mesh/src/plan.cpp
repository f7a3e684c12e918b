#include "plan.hpp"

#include <array>
#include <cstdint>
#include <span>

#include "json/canonical_sink.hpp"
#include "json/json.hpp"
#include "json/value.hpp"
#include "text/quote.hpp"
#include "text/unicode.hpp"

namespace orvel {
namespace {

using json::Fault;

constexpr std::array<std::string_view, 4> plan_fields = {"app_name", "backends", "functions", "agents"};
constexpr std::array<std::string_view, 2> backend_fields = {"backend_type", "config"};

// Describes the scalar found where something else was wanted.
struct FoundValue : json::DiscardingSink {
    std::string text;

    void string(const json::String& value) {
        text = "string ";
        append_quoted(text, value.text);
    }
    void literal(std::string_view word) { text = word == "null" ? "null" : "boolean `" + std::string(word) + "`"; }
    void number(const json::Number& number) {
        if (number.kind == json::NumberKind::floating) {
            text = "floating point `";
            json::append_float(text, number.negative, number.shortest());
        } else {
            text = "integer `";
            text += number.literal;
        }
        text += '`';
    }
};

// Reads the plan with the reader's grammar steps, so faults come in text order at the
// reader's positions. A record is an object with named members or an array of its
// fields in order; its first field is required, the others have defaults.
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
        if (!in_.at_value()) return false;
        if (in_.peek() == '{') {
            return in_.open(json::Container::object) && read_record_members(fields, read_field);
        }
        if (in_.peek() == '[') {
            return in_.open(json::Container::array) && read_record_elements(expected, fields, read_field);
        }
        return wrong_type(expected);
    }

    template <class ReadField>
    bool read_record_members(std::span<const std::string_view> fields, ReadField read_field) {
        std::uint32_t seen = 0;
        for (bool first = true;; first = false) {
            bool more = false;
            json::String name;
            if (!in_.next_member(first, more, name)) return false;
            if (!more) break;
            std::size_t field = 0;
            while (field < fields.size() && fields[field] != name.text) ++field;
            const bool known = field < fields.size();
            if (known) {
                if (seen & (1u << field)) return duplicate_field(fields[field]);
                seen |= 1u << field;
            }
            json::DiscardingSink unknown;
            if (!in_.colon() || !(known ? read_field(field) : json::read_value(in_, unknown))) return false;
        }
        // Reported past the closing brace.
        if (!(seen & 1u)) return in_.fail_here(Fault::missing_field, {fields[0]});
        return true;
    }

    template <class ReadField>
    bool read_record_elements(std::string_view expected, std::span<const std::string_view> fields, ReadField read_field) {
        for (std::size_t field = 0; field < fields.size(); ++field) {
            bool more = false;
            if (!in_.next_element(field == 0, more)) return false;
            if (more) {
                if (!read_field(field)) return false;
            } else if (field > 0) {
                return true;
            } else {
                // Reported past the closing bracket.
                return in_.fail_here(Fault::invalid_length, {"0", expected, std::to_string(fields.size())});
            }
        }
        return in_.close_full_array();
    }

    // Reported at the end of the name, or past the record's closing brace when only white
    // space comes between.
    bool duplicate_field(std::string_view field) {
        if (in_.skip_white_space() && in_.peek() == '}') {
            bool more = false;
            json::String none;
            in_.next_member(false, more, none);  // only closes the object
        }
        return in_.fail_here(Fault::duplicate_field, {field});
    }

    bool read_text(std::string& text) {
        if (!in_.at_value()) return false;
        if (in_.peek() != '"') return wrong_type("a string");
        json::String string;
        if (!in_.read_string(string)) return false;
        text.assign(string.text);
        return true;
    }

    // At a value that must be an array or an object: enters it.
    bool enter(json::Container container, std::string_view expected) {
        if (!in_.at_value()) return false;
        if (in_.peek() != (container == json::Container::array ? '[' : '{')) return wrong_type(expected);
        return in_.open(container);
    }

    bool read_text_list(std::vector<std::string>& list) {
        if (!enter(json::Container::array, "a sequence")) return false;
        for (bool first = true;; first = false) {
            bool more = false;
            if (!in_.next_element(first, more)) return false;
            if (!more) return true;
            if (!read_text(list.emplace_back())) return false;
        }
    }

    // A later entry under the same name replaces the earlier one.
    bool read_backends(StringMap<BackendSpec>& backends) {
        if (!enter(json::Container::object, "a map")) return false;
        for (bool first = true;; first = false) {
            bool more = false;
            json::String decoded;
            if (!in_.next_member(first, more, decoded)) return false;
            if (!more) return true;
            std::string name(decoded.text);
            BackendSpec spec;
            if (!in_.colon() || !read_backend(spec)) return false;
            backends.insert_or_assign(std::move(name), std::move(spec));
        }
    }

    bool read_backend(BackendSpec& spec) {
        spec.config = SharedText("null");
        return read_record("struct BackendSpec", backend_fields, [&](std::size_t field) {
            return field == 0 ? read_text(spec.backend_type) : read_config(spec.config);
        });
    }

    bool read_config(SharedText& config) {
        json::CanonicalSink sink(in_.input());
        if (!json::read_value(in_, sink)) return false;
        config = SharedText(sink.text());
        return true;
    }

    // The value found where `expected` was wanted: a scalar is read (so its own faults
    // come first) and reported where it ends; an array or object before its bracket.
    bool wrong_type(std::string_view expected) {
        FoundValue found;
        if (in_.peek() == '[' || in_.peek() == '{') {
            found.text = in_.peek() == '[' ? "sequence" : "map";
        } else if (!json::read_value(in_, found)) {
            return false;
        }
        return in_.fail_here(Fault::invalid_type, {found.text, expected});
    }

    json::Reader in_;
};

void append_text_list(std::string& out, const std::vector<std::string>& list) {
    json::ArrayWriter texts(out);
    for (const std::string& text : list) json::append_string(texts.next(), text);
    texts.close();
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
    std::string out;
    json::ObjectWriter record(out);
    json::append_string(record.field<"app_name">(), plan.app_name);
    json::ObjectWriter backends(record.field<"backends">());
    for (const auto& [name, spec] : plan.backends) {
        json::ObjectWriter entry(backends.member(name));
        json::append_string(entry.field<"backend_type">(), spec.backend_type);
        // A backend built in code without a config has none to show.
        entry.field<"config">() += spec.config.empty() ? std::string_view("null") : spec.config.view();
        entry.close();
    }
    backends.close();
    append_text_list(record.field<"functions">(), plan.functions);
    append_text_list(record.field<"agents">(), plan.agents);
    record.close();
    return out;
}

}  // namespace orvel
