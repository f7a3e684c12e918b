// The strict reader's faults and positions, canonical writing and nesting; whole corpora
// are read in test_json_corpora.cpp.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "check.hpp"
#include "json/json.hpp"

namespace {

using orvel::json::canonicalize;
using orvel::json::validate;

// The canonical text, or the error text.
std::string read(std::string_view text) {
    std::string out;
    if (const auto error = canonicalize(text, out)) return "error: " + error->text();
    return out;
}

struct Case {
    std::string_view input;
    std::string_view expected;
};

void check_cases(const Case* first, const Case* last) {
    for (const Case* test = first; test != last; ++test) CHECK_EQ(read(test->input), std::string(test->expected));
}

template <std::size_t N>
void check_cases(const Case (&cases)[N]) {
    check_cases(cases, cases + N);
}

void check_diagnostics_table() {
    const Case cases[] = {
        {"", "error: EOF while parsing a value at line 1 column 0"},
        {"[1,]", "error: trailing comma at line 1 column 4"},
        {"{\"a\" 1}", "error: expected `:` at line 1 column 6"},
        {"{\"a\":1 \"b\":2}", "error: expected `,` or `}` at line 1 column 8"},
        {"{1:2}", "error: key must be a string at line 1 column 2"},
        {"01", "error: invalid number at line 1 column 2"},
        {"-", "error: EOF while parsing a value at line 1 column 1"},
        {"1.a", "error: invalid number at line 1 column 3"},
        {"1e+", "error: EOF while parsing a value at line 1 column 3"},
        {"+1", "error: expected value at line 1 column 1"},
        {"nul", "error: EOF while parsing a value at line 1 column 3"},
        {"nulx", "error: expected ident at line 1 column 4"},
        {"[\"\xC3\xA9\", x]", "error: expected value at line 1 column 8"},
        {"\"\\u12x4\"", "error: invalid escape at line 1 column 6"},
        {"\"\\udc00\"", "error: lone leading surrogate in hex escape at line 1 column 7"},
        {"\"\\ud800x\"", "error: unexpected end of hex escape at line 1 column 8"},
        {"\"\\ud800\\u0041\"", "error: lone leading surrogate in hex escape at line 1 column 13"},
        {"[1,2", "error: EOF while parsing a list at line 1 column 4"},
        {"1e400", "error: number out of range at line 1 column 5"},
        {"1e99999999999999999999", "error: number out of range at line 1 column 12"},
        {"[0.4e006699999999999]", "error: number out of range at line 1 column 17"},
        {"1e-99999999999999999999", "0.0"},
    };
    check_cases(cases);
}

// Every description the reader gives, each at its position; lines count line feeds only.
void check_descriptions() {
    const Case cases[] = {
        {"   ", "error: EOF while parsing a value at line 1 column 3"},
        {"[", "error: EOF while parsing a list at line 1 column 1"},
        {"[1 ", "error: EOF while parsing a list at line 1 column 3"},
        {"[1,", "error: EOF while parsing a value at line 1 column 3"},
        {"[1 2]", "error: expected `,` or `]` at line 1 column 4"},
        {"[,1]", "error: expected value at line 1 column 2"},
        {"{", "error: EOF while parsing an object at line 1 column 1"},
        {"{\"a\"", "error: EOF while parsing an object at line 1 column 4"},
        {"{\"a\":1", "error: EOF while parsing an object at line 1 column 6"},
        {"{\"a\":1,", "error: EOF while parsing a value at line 1 column 7"},
        {"{\"a\":", "error: EOF while parsing a value at line 1 column 5"},
        {"{\"a\":1,}", "error: trailing comma at line 1 column 8"},
        {"{,}", "error: key must be a string at line 1 column 2"},
        {"{'a':1}", "error: key must be a string at line 1 column 2"},
        {"{a:1}", "error: key must be a string at line 1 column 2"},
        {"\"abc", "error: EOF while parsing a string at line 1 column 4"},
        {"\"a\\", "error: EOF while parsing a string at line 1 column 3"},
        {"\"\\u12", "error: EOF while parsing a string at line 1 column 5"},
        {"\"\\ud800", "error: EOF while parsing a string at line 1 column 7"},
        {"\"\\ud800\\", "error: EOF while parsing a string at line 1 column 8"},
        {"\"\\ud800\\x", "error: unexpected end of hex escape at line 1 column 9"},
        {"\"\\ud800\\udbff\"", "error: lone leading surrogate in hex escape at line 1 column 13"},
        {"\"\\x\"", "error: invalid escape at line 1 column 3"},
        {"\"\\U0041\"", "error: invalid escape at line 1 column 3"},
        {"\"a\tb\"", "error: control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"},
        {"\"a\nb\"", "error: control character (\\u0000-\\u001F) found while parsing a string at line 2 column 0"},
        {"tru", "error: EOF while parsing a value at line 1 column 3"},
        {"trUe", "error: expected ident at line 1 column 3"},
        {"fals", "error: EOF while parsing a value at line 1 column 4"},
        {"nan", "error: expected ident at line 1 column 2"},
        {"NaN", "error: expected value at line 1 column 1"},
        {"Infinity", "error: expected value at line 1 column 1"},
        {"-Infinity", "error: invalid number at line 1 column 2"},
        {"1 2", "error: trailing characters at line 1 column 3"},
        {"[] []", "error: trailing characters at line 1 column 4"},
        {"1 // comment", "error: trailing characters at line 1 column 3"},
        {"/* c */ 1", "error: expected value at line 1 column 1"},
        {"'a'", "error: expected value at line 1 column 1"},
        {"0x10", "error: trailing characters at line 1 column 2"},
        {"-01", "error: invalid number at line 1 column 3"},
        {"1.", "error: EOF while parsing a value at line 1 column 2"},
        {"1.e5", "error: invalid number at line 1 column 3"},
        {".5", "error: expected value at line 1 column 1"},
        {"1e", "error: EOF while parsing a value at line 1 column 2"},
        {"1ex", "error: invalid number at line 1 column 3"},
        {"-1e-", "error: EOF while parsing a value at line 1 column 4"},
        {"-1.5e+400", "error: number out of range at line 1 column 9"},
        {"\xC2\xA0" "1", "error: expected value at line 1 column 1"},
        {"\"\xC3\"", "error: invalid unicode code point at line 1 column 3"},
        {"\"\xC0\xAF\"", "error: invalid unicode code point at line 1 column 2"},
        {"\"\xED\xA0\x80\"", "error: invalid unicode code point at line 1 column 3"},
        {"\"\xF4\x90\x80\x80\"", "error: invalid unicode code point at line 1 column 3"},
        {"\"\xE6\x97", "error: EOF while parsing a string at line 1 column 3"},
        {"[\n1,\n\n  x]", "error: expected value at line 4 column 3"},
        {"[1,\r\n]", "error: trailing comma at line 2 column 1"},
        {"{\n\"a\" :\n}", "error: expected value at line 3 column 1"},
    };
    check_cases(cases);
}

// The canonical form: compact, sorted by name bytes, later duplicates winning.
void check_canonical_text() {
    const Case cases[] = {
        {"{\"b\": 1, \"a\": [true, null]}", "{\"a\":[true,null],\"b\":1}"},
        {"{\"a\": 1, \"a\": 2}", "{\"a\":2}"},
        {"{\"a\":1,\"b\":2,\"a\":3}", "{\"a\":3,\"b\":2}"},
        {"{\"a\":{\"y\":1,\"x\":2},\"a\":[]}", "{\"a\":[]}"},
        {" \t\r\n[ 1 , { } , [ ] , \"\" ] \n", "[1,{},[],\"\"]"},
        {"{\"b\":1,\"B\":2,\"a\":3,\"\":4}", "{\"\":4,\"B\":2,\"a\":3,\"b\":1}"},
        {"{\"ab\":1,\"a\":2,\"abc\":3}", "{\"a\":2,\"ab\":1,\"abc\":3}"},
        {"{\"abcdefghij\":1,\"abcdefghi\":2,\"abcdefgh\":3}", "{\"abcdefgh\":3,\"abcdefghi\":2,\"abcdefghij\":1}"},
        {"{\"\xC3\xA9\":1,\"z\":2,\"\xE2\x82\xAC\":3}", "{\"z\":2,\"\xC3\xA9\":1,\"\xE2\x82\xAC\":3}"},
        // Names compare by their decoded bytes, so an escaped name sorts where its text does.
        {"{\"\\n\":1,\"A\":2}", "{\"\\n\":1,\"A\":2}"},
        {"{\"\\u0041\":1,\"A\":2}", "{\"A\":2}"},
        {"{\"b\":1,\"\\u0061\":2,\"a\":3}", "{\"a\":3,\"b\":1}"},
        {"{\"a\\u0000\":1,\"a\":2}", "{\"a\":2,\"a\\u0000\":1}"},
        {"[{\"b\":{\"d\":1,\"c\":2},\"a\":0},{\"y\":[{\"q\":1,\"p\":2}],\"x\":1}]",
         "[{\"a\":0,\"b\":{\"c\":2,\"d\":1}},{\"x\":1,\"y\":[{\"p\":2,\"q\":1}]}]"},
        // Objects of one shape reuse an order only when it sorts them.
        {"[{\"b\":1,\"a\":2},{\"b\":3,\"a\":4},{\"b\":5,\"a\":6,\"b\":7},{\"b\":8,\"a\":9}]",
         "[{\"a\":2,\"b\":1},{\"a\":4,\"b\":3},{\"a\":6,\"b\":7},{\"a\":9,\"b\":8}]"},
        {"[{\"abcdefghZ\":1,\"abcdefghA\":2,\"abcdefghM\":3},{\"abcdefghM\":4,\"abcdefghZ\":5,\"abcdefghA\":6}]",
         "[{\"abcdefghA\":2,\"abcdefghM\":3,\"abcdefghZ\":1},{\"abcdefghA\":6,\"abcdefghM\":4,\"abcdefghZ\":5}]"},
        // Objects put in order inside objects put in order; a dropped duplicate takes its
        // unordered contents with it; neighbours that stay together move as one.
        {"{\"b\":{\"d\":{\"f\":1,\"e\":2},\"c\":3},\"a\":{\"z\":1,\"y\":2}}",
         "{\"a\":{\"y\":2,\"z\":1},\"b\":{\"c\":3,\"d\":{\"e\":2,\"f\":1}}}"},
        {"{\"b\":{\"y\":1,\"x\":2},\"a\":1,\"b\":{\"q\":[{\"n\":1,\"m\":2}],\"p\":2}}",
         "{\"a\":1,\"b\":{\"p\":2,\"q\":[{\"m\":2,\"n\":1}]}}"},
        {"{\"c\":{\"k\":1,\"j\":2},\"d\":2,\"a\":[{\"s\":1,\"r\":2},{\"u\":1,\"t\":2}],\"b\":4}",
         "{\"a\":[{\"r\":2,\"s\":1},{\"t\":2,\"u\":1}],\"b\":4,\"c\":{\"j\":2,\"k\":1},\"d\":2}"},
        {"[{\"a\":[{\"b\":1,\"a\":2}],\"b\":{\"d\":{\"y\":1,\"x\":0}}},{\"b\":0,\"a\":0}]",
         "[{\"a\":[{\"a\":2,\"b\":1}],\"b\":{\"d\":{\"x\":0,\"y\":1}}},{\"a\":0,\"b\":0}]"},
        {"\"\\u00e9\"", "\"\xC3\xA9\""},
        {"\"\xC3\xA9\"", "\"\xC3\xA9\""},
        {"\"\\u0001\"", "\"\\u0001\""},
        {"\"\\/\"", "\"/\""},
        {"\"\\\"\\\\\\b\\f\\n\\r\\t\"", "\"\\\"\\\\\\b\\f\\n\\r\\t\""},
        {"\"\\u0022\\u005C\\u0008\\u000C\\u000A\\u000D\\u0009\"", "\"\\\"\\\\\\b\\f\\n\\r\\t\""},
        {"\"\\u001f\\u001F\\u007f\\u0000\"", "\"\\u001f\\u001f\x7F\\u0000\""},
        {"\"\\ud83d\\ude00\"", "\"\xF0\x9F\x98\x80\""},
        {"\"\\uD83D\\uDE00\"", "\"\xF0\x9F\x98\x80\""},
        {"\"\\u2028\\uffff\"", "\"\xE2\x80\xA8\xEF\xBF\xBF\""},
        {"\"\xF4\x8F\xBF\xBF\"", "\"\xF4\x8F\xBF\xBF\""},
        {"[true,false,null]", "[true,false,null]"},
    };
    check_cases(cases);
}

void check_number_forms() {
    const Case cases[] = {
        {"0", "0"},
        {"-0", "-0.0"},
        {"-0.0", "-0.0"},
        {"0.0", "0.0"},
        {"1.50", "1.5"},
        {"1e2", "100.0"},
        {"1E2", "100.0"},
        {"1e+2", "100.0"},
        {"0.000001", "1e-6"},
        {"0.00001", "0.00001"},
        {"1e15", "1000000000000000.0"},
        {"1e16", "1e+16"},
        {"123456789012345.6", "123456789012345.6"},
        {"1.5e-7", "1.5e-7"},
        {"12.5e-1", "1.25"},
        {"18446744073709551615", "18446744073709551615"},
        {"18446744073709551616", "1.8446744073709552e+19"},
        {"-9223372036854775808", "-9223372036854775808"},
        {"-9223372036854775809", "-9.223372036854776e+18"},
        {"9223372036854775808", "9223372036854775808"},
        {"-1", "-1"},
        {"00", "error: invalid number at line 1 column 2"},
        {"100000000000000000000000", "1e+23"},
        {"0.1", "0.1"},
        {"0.30000000000000004", "0.30000000000000004"},
        {"2.2250738585072014e-308", "2.2250738585072014e-308"},
        {"5e-324", "5e-324"},
        {"2.4e-324", "0.0"},
        {"2.5e-324", "5e-324"},
        {"1e-400", "0.0"},
        {"-1e-400", "-0.0"},
        {"1.7976931348623157e308", "1.7976931348623157e+308"},
        {"1.7976931348623158e308", "1.7976931348623157e+308"},
        {"1.7976931348623159e308", "error: number out of range at line 1 column 22"},
        {"-1e309", "error: number out of range at line 1 column 6"},
        {"0e999999999999999999999999", "0.0"},
        {"-0.000e-99999999999999999", "-0.0"},
        {"1e2147483647", "error: number out of range at line 1 column 12"},
        {"1e2147483648", "error: number out of range at line 1 column 12"},
        {"-0.00000000000000000000e+99999999999999999999", "-0.0"},
        {"0.00000000000000000001e21474836470", "error: number out of range at line 1 column 34"},
        {"123456789012345678901234567890e-29", "1.2345678901234567"},
        {"1234567890123456789012345678901234567890", "1.2345678901234568e+39"},
        {"-65.613616999999977", "-65.61361699999998"},
        {"9007199254740993", "9007199254740993"},
        {"9007199254740993.0", "9007199254740992.0"},
        {"[1,-1,1.0,-1.0,1e0]", "[1,-1,1.0,-1.0,1.0]"},
    };
    check_cases(cases);
    // A zero significand is zero whatever its exponent, even one of a hundred digits.
    CHECK_EQ(read("0e" + std::string(100, '9')), std::string("0.0"));
    CHECK_EQ(read("-0.0e-" + std::string(100, '9')), std::string("-0.0"));
    // Very long digit strings are read correctly.
    CHECK_EQ(read("1." + std::string(5000, '0') + "1"), std::string("1.0"));
    CHECK_EQ(read("0." + std::string(400, '0') + "1e400"), std::string("0.1"));
    CHECK_EQ(read("0." + std::string(99, '0') + "1e100"), std::string("1.0"));
    CHECK_EQ(read(std::string(400, '9')), std::string("error: number out of range at line 1 column 400"));
    CHECK_EQ(read("1" + std::string(308, '0')), std::string("1e+308"));
}

void check_writer() {
    std::string all_bytes;
    for (int byte = 1; byte < 0x80; ++byte) all_bytes += static_cast<char>(byte);
    all_bytes += "\xC3\xA9\xE2\x80\xA8";
    std::string written;
    orvel::json::append_string(written, std::string_view("\0", 1));
    orvel::json::append_string(written, all_bytes);
    CHECK_EQ(written, std::string("\"\\u0000\"\"\\u0001\\u0002\\u0003\\u0004\\u0005\\u0006\\u0007\\b\\t\\n\\u000b\\f\\r"
                                  "\\u000e\\u000f\\u0010\\u0011\\u0012\\u0013\\u0014\\u0015\\u0016\\u0017\\u0018\\u0019"
                                  "\\u001a\\u001b\\u001c\\u001d\\u001e\\u001f !\\\"#$%&'()*+,-./0123456789:;<=>?@"
                                  "ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\\\]^_`abcdefghijklmnopqrstuvwxyz{|}~\x7F"
                                  "\xC3\xA9\xE2\x80\xA8\""));
    // Long runs go through the word-at-a-time scan; escapes at every offset of a word.
    for (std::size_t at = 0; at < 20; ++at) {
        std::string text(20, 'x');
        text[at] = '"';
        std::string expected(1, '"');
        expected.append(at, 'x').append("\\\"").append(19 - at, 'x').append(1, '"');
        std::string out;
        orvel::json::append_string(out, text);
        CHECK_EQ(out, expected);
    }

    std::string numbers;
    orvel::json::append_uint(numbers, 18446744073709551615u);
    numbers += ',';
    orvel::json::append_int(numbers, -9223372036854775807 - 1);
    numbers += ',';
    orvel::json::append_uint(numbers, 0);
    CHECK_EQ(numbers, std::string("18446744073709551615,-9223372036854775808,0"));

    const struct {
        double value;
        std::string_view text;
    } doubles[] = {
        {100.0, "100.0"}, {1e15, "1000000000000000.0"}, {1e16, "1e+16"}, {1e-5, "0.00001"}, {1.5e-7, "1.5e-7"},
        {0.0, "0.0"}, {-0.0, "-0.0"}, {18446744073709551616.0, "1.8446744073709552e+19"}, {-2.5, "-2.5"},
        {1e300 * 1e300, "null"}, {-1e300 * 1e300, "null"}, {0.0 / 0.0 * 0.0, "null"}, {123e-20, "1.23e-18"},
        {5e-324, "5e-324"}, {1.7976931348623157e308, "1.7976931348623157e+308"}, {0.1, "0.1"},
        {999999999999999.9, "999999999999999.9"}, {9999999999999998.0, "9999999999999998.0"},
    };
    for (const auto& test : doubles) {
        std::string out;
        orvel::json::append_double(out, test.value);
        CHECK_EQ(out, std::string(test.text));
    }
}

// 127 arrays or objects may be open at once; the 128th is refused at its bracket.
void check_nesting() {
    const std::string arrays_127 = std::string(127, '[') + std::string(127, ']');
    CHECK_EQ(read(arrays_127), arrays_127);
    CHECK_EQ(read(std::string(128, '[') + std::string(128, ']')),
             std::string("error: recursion limit exceeded at line 1 column 128"));
    std::string objects;
    for (int i = 0; i < 127; ++i) objects += "{\"a\":";
    objects += "1" + std::string(127, '}');
    CHECK_EQ(read(objects), objects);
    CHECK_EQ(read("{\"a\":" + objects + "}"), std::string("error: recursion limit exceeded at line 1 column 636"));
    // Depth counts what is open at once, not how many were opened.
    const std::string arrays_126 = std::string(126, '[') + std::string(126, ']');
    std::string siblings = "[";
    for (int i = 0; i < 1000; ++i) siblings += (i ? "," : "") + arrays_126;
    siblings += "]";
    CHECK_EQ(read(siblings), siblings);
    CHECK(!validate(siblings));

    const std::string deep(1'000'000, '[');
    CHECK_EQ(read(deep), std::string("error: recursion limit exceeded at line 1 column 128"));
    CHECK_EQ(validate(deep)->text(), std::string("recursion limit exceeded at line 1 column 128"));
    CHECK_EQ(read(std::string(1'000'000, '{')), std::string("error: key must be a string at line 1 column 2"));
}

void check_output_buffer() {
    std::string out = "prefix:";
    CHECK(!canonicalize(" {\"b\":1,\"a\":2} ", out));
    CHECK_EQ(out, std::string("prefix:{\"a\":2,\"b\":1}"));
    CHECK(canonicalize("{\"b\":1,\"a\":[1,2", out).has_value());
    CHECK_EQ(out, std::string("prefix:{\"a\":2,\"b\":1}"));

    // Beyond what the thread keeps between documents, twice, names reversed so every
    // member moves; short and long strings end the text where no more bytes follow.
    const std::string long_text(40, 'x');
    const auto member = [&](std::string& text, int serial) {
        char name[16];
        std::snprintf(name, sizeof name, "\"k%07d\":", serial);
        text.append(text.size() > 1 ? "," : "").append(name).append("\"").append(long_text).append("\"");
    };
    std::string written = "{";
    std::string expected = "{";
    for (int i = 0; i < 300'000; ++i) {
        member(written, 299'999 - i);
        member(expected, i);
    }
    written += "}";
    expected += "}";
    for (int round = 0; round < 2; ++round) CHECK_EQ(read(written), expected);
    for (const std::string& text : {std::string("\"a\""), std::string(1, '"').append(long_text).append("\""),
                                    std::string("12")}) {
        const auto exact = std::make_unique<char[]>(text.size());
        std::memcpy(exact.get(), text.data(), text.size());
        CHECK_EQ(read(std::string_view(exact.get(), text.size())), text);
    }
}

// Objects are put in order by a walk as deep as their nesting, which the reader bounds.
void check_nested_ordering() {
    std::string written;
    std::string expected;
    for (int i = 0; i < 127; ++i) {
        written += "{\"b\":";
        expected += "{\"a\":0,\"b\":";
    }
    written += "1";
    expected += "1";
    for (int i = 0; i < 127; ++i) {
        written += ",\"a\":0}";
        expected += "}";
    }
    CHECK_EQ(read(written), expected);
}

}  // namespace

int main() {
    check_diagnostics_table();
    check_descriptions();
    check_canonical_text();
    check_number_forms();
    check_writer();
    check_nesting();
    check_output_buffer();
    check_nested_ordering();
    return check::report("json");
}
