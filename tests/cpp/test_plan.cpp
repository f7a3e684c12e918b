// Reading the deployment plan (its record rules, faults and positions) and writing it.
#include <set>
#include <string>
#include <string_view>

#include "check.hpp"
#include "json/json.hpp"
#include "plan.hpp"

namespace {

// The written plan, or the error message.
std::string read(std::string_view text) {
    const orvel::Result<orvel::Plan> plan = orvel::read_plan(text);
    if (!plan) return plan.error().message();
    return orvel::write_plan(plan.value());
}

struct Case {
    std::string_view input;
    std::string_view expected;
};

template <std::size_t N>
void check_cases(const Case (&cases)[N]) {
    for (const Case& test : cases) CHECK_EQ(read(test.input), std::string(test.expected));
}

constexpr std::string_view error = "Serialization error: ";

std::string failure(std::string_view text) { return std::string(error) + std::string(text); }

void check_diagnostics_table() {
    const Case cases[] = {
        {"{\"app_name\":5}", "Serialization error: invalid type: integer `5`, expected a string at line 1 column 13"},
        {"{\"app_name\":true}",
         "Serialization error: invalid type: boolean `true`, expected a string at line 1 column 16"},
        {"{\"app_name\":[\"x\"]}", "Serialization error: invalid type: sequence, expected a string at line 1 column 12"},
        {"{\"app_name\":\"x\",\"functions\":\"f\"}",
         "Serialization error: invalid type: string \"f\", expected a sequence at line 1 column 31"},
        {"{\"app_name\":\"a\",\"app_name\":\"b\"}", "Serialization error: duplicate field `app_name` at line 1 column 26"},
        {"{\"backends\":{}}", "Serialization error: missing field `app_name` at line 1 column 15"},
        {"null", "Serialization error: invalid type: null, expected struct Plan at line 1 column 4"},
        {"[\"x\",{\"db\":[]}]",
         "Serialization error: invalid length 0, expected struct BackendSpec with 2 elements at line 1 column 13"},
    };
    check_cases(cases);
}

void check_reading() {
    const Case cases[] = {
        {"{\"app_name\":\"myapp\"}", "{\"app_name\":\"myapp\",\"backends\":{},\"functions\":[],\"agents\":[]}"},
        {"{\"agents\":[\"Customer\"],\"functions\":[\"f\",\"g\"],\"app_name\":\"myapp\",\"extra\":1}",
         "{\"app_name\":\"myapp\",\"backends\":{},\"functions\":[\"f\",\"g\"],\"agents\":[\"Customer\"]}"},
        {"{\"app_name\":\"m\",\"backends\":{\"db\":{\"backend_type\":\"sqlite\"}}}",
         "{\"app_name\":\"m\",\"backends\":{\"db\":{\"backend_type\":\"sqlite\",\"config\":null}},\"functions\":[],"
         "\"agents\":[]}"},
        {"{\"app_name\":\"m\",\"backends\":{\"db\":{\"config\":{\"b\":1,\"a\":2.50},\"backend_type\":\"pg\",\"x\":[]}}}",
         "{\"app_name\":\"m\",\"backends\":{\"db\":{\"backend_type\":\"pg\",\"config\":{\"a\":2.5,\"b\":1}}},"
         "\"functions\":[],\"agents\":[]}"},
        {"{\"app_name\":\"m\",\"backends\":{\"db\":{\"backend_type\":\"a\"},\"db\":{\"backend_type\":\"b\",\"config\":7}}}",
         "{\"app_name\":\"m\",\"backends\":{\"db\":{\"backend_type\":\"b\",\"config\":7}},\"functions\":[],\"agents\":[]}"},
        {"{\"app_name\":\"m\",\"backends\":{\"db\":{\"backend_type\":\"a\",\"config\":{\"k\":1,\"k\":2}}}}",
         "{\"app_name\":\"m\",\"backends\":{\"db\":{\"backend_type\":\"a\",\"config\":{\"k\":2}}},\"functions\":[],"
         "\"agents\":[]}"},
        {"{\"app_name\":\"m\",\"backends\":{\"db\":{\"backend_type\":\"a\",\"config\":null}}}",
         "{\"app_name\":\"m\",\"backends\":{\"db\":{\"backend_type\":\"a\",\"config\":null}},\"functions\":[],"
         "\"agents\":[]}"},
        {"{\"app_\\u006eame\":\"\\u00e9\\n\",\"functions\":[\"a\\\"b\"],\"agents\":[]}",
         "{\"app_name\":\"\xC3\xA9\\n\",\"backends\":{},\"functions\":[\"a\\\"b\"],\"agents\":[]}"},
        {" {\n \"app_name\" : \"m\" ,\n \"functions\" : [ \"f\" , \"g\" ] \n} ",
         "{\"app_name\":\"m\",\"backends\":{},\"functions\":[\"f\",\"g\"],\"agents\":[]}"},
        {"{\"app_name\":\"m\",\"unknown\":{\"deep\":[1,{\"x\":null}],\"s\":\"\\u00e9\"}}",
         "{\"app_name\":\"m\",\"backends\":{},\"functions\":[],\"agents\":[]}"},
        // Array forms: fields by position, missing trailing ones defaulted.
        {"[\"myapp\"]", "{\"app_name\":\"myapp\",\"backends\":{},\"functions\":[],\"agents\":[]}"},
        {"[\"m\",{\"db\":[\"sqlite\"]},[\"f\"],[\"a\"]]",
         "{\"app_name\":\"m\",\"backends\":{\"db\":{\"backend_type\":\"sqlite\",\"config\":null}},\"functions\":[\"f\"],"
         "\"agents\":[\"a\"]}"},
        {"[\"m\",{\"db\":[\"pg\",{\"b\":[],\"a\":0}]}]",
         "{\"app_name\":\"m\",\"backends\":{\"db\":{\"backend_type\":\"pg\",\"config\":{\"a\":0,\"b\":[]}}},"
         "\"functions\":[],\"agents\":[]}"},
        {"[ \"m\" , { } ]", "{\"app_name\":\"m\",\"backends\":{},\"functions\":[],\"agents\":[]}"},
        // Blank or exactly "{}" after trimming Unicode white space: the default plan.
        {"", "{\"app_name\":\"\",\"backends\":{},\"functions\":[],\"agents\":[]}"},
        {" ", "{\"app_name\":\"\",\"backends\":{},\"functions\":[],\"agents\":[]}"},
        {"{}", "{\"app_name\":\"\",\"backends\":{},\"functions\":[],\"agents\":[]}"},
        {"  {}\n", "{\"app_name\":\"\",\"backends\":{},\"functions\":[],\"agents\":[]}"},
        {"\xC2\xA0{}\xE3\x80\x80", "{\"app_name\":\"\",\"backends\":{},\"functions\":[],\"agents\":[]}"},
        {"\xC2\xA0{\"app_name\":\"x\"}\xC2\xA0", "{\"app_name\":\"x\",\"backends\":{},\"functions\":[],\"agents\":[]}"},
        {"\xE2\x80\xA8{\"app_name\":\"x\"}\n\xC2\x85", "{\"app_name\":\"x\",\"backends\":{},\"functions\":[],\"agents\":[]}"},
    };
    check_cases(cases);
}

// Wrong types: the value found, what was wanted, and where the value ends (before an
// array or object, which are not read).
void check_wrong_types() {
    const Case cases[] = {
        {"{\"app_name\":-5}", "invalid type: integer `-5`, expected a string at line 1 column 14"},
        {"{\"app_name\":18446744073709551615}",
         "invalid type: integer `18446744073709551615`, expected a string at line 1 column 32"},
        {"{\"app_name\":1.5}", "invalid type: floating point `1.5`, expected a string at line 1 column 15"},
        {"{\"app_name\":-0}", "invalid type: floating point `-0.0`, expected a string at line 1 column 14"},
        {"{\"app_name\":1e2}", "invalid type: floating point `100.0`, expected a string at line 1 column 15"},
        {"{\"app_name\":2e-7}", "invalid type: floating point `2e-7`, expected a string at line 1 column 16"},
        {"{\"app_name\":false}", "invalid type: boolean `false`, expected a string at line 1 column 17"},
        {"{\"app_name\":null}", "invalid type: null, expected a string at line 1 column 16"},
        {"{\"app_name\":{}}", "invalid type: map, expected a string at line 1 column 12"},
        {"{\"app_name\":\"m\",\"functions\":null}", "invalid type: null, expected a sequence at line 1 column 32"},
        {"{\"app_name\":\"m\",\"agents\":{}}", "invalid type: map, expected a sequence at line 1 column 25"},
        {"{\"app_name\":\"m\",\"agents\":[1]}", "invalid type: integer `1`, expected a string at line 1 column 27"},
        {"{\"app_name\":\"m\",\"agents\":[\"a\",[]]}", "invalid type: sequence, expected a string at line 1 column 30"},
        {"{\"app_name\":\"m\",\"backends\":null}", "invalid type: null, expected a map at line 1 column 31"},
        {"{\"app_name\":\"m\",\"backends\":[]}", "invalid type: sequence, expected a map at line 1 column 27"},
        {"{\"app_name\":\"m\",\"backends\":\"x\\ty\\u00e9\"}",
         "invalid type: string \"x\\ty\xC3\xA9\", expected a map at line 1 column 39"},
        {"{\"app_name\":\"m\",\"backends\":{\"db\":\"sqlite\"}}",
         "invalid type: string \"sqlite\", expected struct BackendSpec at line 1 column 41"},
        {"{\"app_name\":\"m\",\"backends\":{\"db\":{\"backend_type\":3}}}",
         "invalid type: integer `3`, expected a string at line 1 column 50"},
        {"\"plan\"", "invalid type: string \"plan\", expected struct Plan at line 1 column 6"},
        {"true", "invalid type: boolean `true`, expected struct Plan at line 1 column 4"},
        {"12", "invalid type: integer `12`, expected struct Plan at line 1 column 2"},
        {"x", "expected value at line 1 column 1"},
        // The value's own faults come first.
        {"{\"app_name\":1e999}", "number out of range at line 1 column 17"},
        {"{\"app_name\":nul}", "expected ident at line 1 column 16"},
        {"{\"app_name\":-}", "invalid number at line 1 column 14"},
        {"{\"app_name\":\"\\q\"}", "invalid escape at line 1 column 15"},
        {"{\"app_name\":", "EOF while parsing a value at line 1 column 12"},
    };
    for (const Case& test : cases) CHECK_EQ(read(test.input), failure(test.expected));
}

// Faults of the record as a whole, and the reader's own faults inside a plan.
void check_record_faults() {
    const Case cases[] = {
        {"{ }", "missing field `app_name` at line 1 column 3"},
        {"{\"backends\":{} }", "missing field `app_name` at line 1 column 16"},
        {"{\"app_name\":\"m\",\"backends\":{\"db\":{}}}", "missing field `backend_type` at line 1 column 35"},
        {"{\"app_name\":\"m\",\"backends\":{\"db\":{\"config\":1}}}",
         "missing field `backend_type` at line 1 column 45"},
        {"{\"app_name\":\"a\",\"app_name\" : \"b\"}", "duplicate field `app_name` at line 1 column 27"},
        {"{\"app_name\":\"a\",\"app_name\" }", "duplicate field `app_name` at line 1 column 28"},
        {"{\"app_name\":\"a\",\"functions\":[],\"functions\":[]}", "duplicate field `functions` at line 1 column 42"},
        {"{\"app_name\":\"m\",\"backends\":{\"db\":{\"backend_type\":\"a\",\"backend_type\":\"b\"}}}",
         "duplicate field `backend_type` at line 1 column 67"},
        {"{\"app_name\":\"m\",\"backends\":{\"db\":{\"backend_type\":\"a\",\"config\":1,\"config\":2}}}",
         "duplicate field `config` at line 1 column 72"},
        {"[]", "invalid length 0, expected struct Plan with 4 elements at line 1 column 2"},
        {"[ ]", "invalid length 0, expected struct Plan with 4 elements at line 1 column 3"},
        {"[\"m\",{},[],[],5]", "trailing characters at line 1 column 15"},
        {"[\"m\",{},[],[],]", "trailing comma at line 1 column 15"},
        {"[\"m\",{\"db\":[\"a\",null,1]}]", "trailing characters at line 1 column 22"},
        {"[\"m\",]", "trailing comma at line 1 column 6"},
        {"[\"m\" \"n\"]", "expected `,` or `]` at line 1 column 6"},
        {"[\"m\"", "EOF while parsing a list at line 1 column 4"},
        {"{\"app_name\":\"m\"} x", "trailing characters at line 1 column 18"},
        {"{\"app_name\":\"m\",}", "trailing comma at line 1 column 17"},
        {"{\"app_name\":\"m\" \"agents\":[]}", "expected `,` or `}` at line 1 column 17"},
        {"{\"app_name\" \"m\"}", "expected `:` at line 1 column 13"},
        {"{app_name:1}", "key must be a string at line 1 column 2"},
        {"{\"app_name\":\"m\",\"functions\":[\"f\",]}", "trailing comma at line 1 column 34"},
        {"{\"app_name\":\"m\",\"backends\":{\"db\":{\"backend_type\":\"a\"},}}", "trailing comma at line 1 column 55"},
        {"{\"app_name\":\"m\"", "EOF while parsing an object at line 1 column 15"},
        {"{\n  \"app_name\": 5\n}", "invalid type: integer `5`, expected a string at line 2 column 15"},
        // Unknown members are read with every rule of the reader.
        {"{\"app_name\":\"m\",\"x\":1e400}", "number out of range at line 1 column 25"},
        {"{\"app_name\":\"m\",\"x\":\"\\ud800\"}", "unexpected end of hex escape at line 1 column 28"},
        {"{\"app_name\":\"m\",\"x\":[1,]}", "trailing comma at line 1 column 24"},
        {"{\"app_name\":\"m\",\"backends\":{\"db\":{\"backend_type\":\"a\",\"config\":[01]}}}",
         "invalid number at line 1 column 65"},
    };
    for (const Case& test : cases) CHECK_EQ(read(test.input), failure(test.expected));
}

// The plan's own levels count toward the nesting limit of the values inside it.
void check_nesting_inside_plan() {
    const auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
    CHECK(read("{\"app_name\":\"m\",\"x\":" + nested(126) + "}").rfind("{\"app_name\"", 0) == 0);
    CHECK_EQ(read("{\"app_name\":\"m\",\"x\":" + nested(127) + "}"),
             failure("recursion limit exceeded at line 1 column 147"));
    const std::string backend = "{\"app_name\":\"m\",\"backends\":{\"db\":{\"backend_type\":\"a\",\"config\":";
    const orvel::Result<orvel::Plan> deepest = orvel::read_plan(backend + nested(124) + "}}}");
    CHECK(deepest.ok());
    const std::string config = nested(124);
    if (deepest.ok()) CHECK_EQ(deepest.value().backends.at("db").config.view(), std::string_view(config));
    CHECK_EQ(read(backend + nested(125) + "}}}"),
             failure("recursion limit exceeded at line 1 column " + std::to_string(backend.size() + 125)));
}

void check_writing() {
    orvel::Plan plan;
    plan.app_name = "a\"b";
    plan.functions = {"f\n", "g"};
    plan.backends["store"] = orvel::BackendSpec{"sqlite", orvel::SharedText("{\"k\":1}")};
    plan.backends["empty"] = orvel::BackendSpec{"memory", orvel::SharedText()};
    const std::string written = orvel::write_plan(plan);
    // Backends come in the map's order, which is not promised: accept either.
    const std::set<std::string> acceptable = {
        "{\"app_name\":\"a\\\"b\",\"backends\":{\"store\":{\"backend_type\":\"sqlite\",\"config\":{\"k\":1}},"
        "\"empty\":{\"backend_type\":\"memory\",\"config\":null}},\"functions\":[\"f\\n\",\"g\"],\"agents\":[]}",
        "{\"app_name\":\"a\\\"b\",\"backends\":{\"empty\":{\"backend_type\":\"memory\",\"config\":null},"
        "\"store\":{\"backend_type\":\"sqlite\",\"config\":{\"k\":1}}},\"functions\":[\"f\\n\",\"g\"],\"agents\":[]}",
    };
    CHECK(acceptable.count(written) == 1);
    // What is written reads back to the same plan.
    CHECK(acceptable.count(read(written)) == 1);
    CHECK_EQ(orvel::write_plan(orvel::Plan{}), std::string("{\"app_name\":\"\",\"backends\":{},\"functions\":[],\"agents\":[]}"));
}

}  // namespace

int main() {
    check_diagnostics_table();
    check_reading();
    check_wrong_types();
    check_record_faults();
    check_nesting_inside_plan();
    check_writing();
    return check::report("plan");
}
