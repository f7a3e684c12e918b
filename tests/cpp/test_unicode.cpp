// Character property tables, the UTF-8 decoder, white-space trimming and the quoted text form.
#include <string>
#include <string_view>

#include "check.hpp"
#include "text/quote.hpp"
#include "text/unicode.hpp"
#include "text/utf8.hpp"

namespace {

struct PropertyCase {
    char32_t code_point;
    bool expected;
};

void check_printable() {
    const PropertyCase cases[] = {
        {0x0, false},     {0x1F, false},    {0x20, true},      {0x21, true},     {0x7E, true},
        {0x7F, false},    {0x9F, false},    {0xA0, false},     {0xA1, true},     {0xAD, false},
        {0xE9, true},     {0x301, true},    {0x378, false},    {0x61C, false},   {0x1680, false},
        {0x2000, false},  {0x200B, false},  {0x200D, false},   {0x2028, false},  {0x2029, false},
        {0x3000, false},  {0x4E00, true},   {0x9FFF, true},    {0xD800, false},  {0xDFFF, false},
        {0xE000, false},  {0xF8FF, false},  {0xFEFF, false},   {0xFFFD, true},   {0xFFFE, false},
        {0x1F600, true},  {0x20000, true},  {0xE0001, false},  {0xE0100, true},  {0xF0000, false},
        {0x10FFFD, false}, {0x10FFFF, false},
    };
    for (const auto& test : cases) CHECK_EQ(orvel::unicode::is_printable(test.code_point), test.expected);
}

void check_grapheme_extend() {
    const PropertyCase cases[] = {
        {0x2FF, false}, {0x300, true},    {0x36F, true},    {0x370, false},  {0x488, true},
        {0x41, false},  {0x200C, true},   {0x200D, false},  {0x200B, false}, {0xFE0F, true},
        {0xFF9E, true}, {0x1F3FB, false},  {0xE0020, true},  {0xE007F, true}, {0xE0100, true},
        {0xE01EF, true}, {0xE01F0, false}, {0x10FFFF, false},
    };
    for (const auto& test : cases) CHECK_EQ(orvel::unicode::is_grapheme_extend(test.code_point), test.expected);
}

void check_white_space() {
    const PropertyCase cases[] = {
        {0x8, false},    {0x9, true},     {0xD, true},     {0xE, false},    {0x20, true},
        {0x85, true},    {0xA0, true},    {0x1680, true},  {0x180E, false}, {0x200A, true},
        {0x200B, false}, {0x2028, true},  {0x202F, true},  {0x205F, true},  {0x3000, true},
        {0xFEFF, false}, {0x41, false},
    };
    for (const auto& test : cases) CHECK_EQ(orvel::unicode::is_white_space(test.code_point), test.expected);
}

void check_decoding() {
    struct DecodeCase {
        std::string_view text;
        char32_t code_point;
        std::size_t length;
    };
    const DecodeCase cases[] = {
        {"A", U'A', 1},
        {"\xC3\xA9", 0xE9, 2},
        {"\xE2\x80\x8B", 0x200B, 3},
        {"\xF0\x9F\x98\x80", 0x1F600, 4},
        {"\xF4\x8F\xBF\xBF", 0x10FFFF, 4},
        {"\xC3", 0xFFFD, 1},              // truncated
        {"\xC0\x80", 0xFFFD, 1},          // overlong
        {"\xE0\x80\x80", 0xFFFD, 1},      // overlong
        {"\xED\xA0\x80", 0xFFFD, 1},      // surrogate
        {"\xF4\x90\x80\x80", 0xFFFD, 1},  // beyond U+10FFFF
        {"\x80", 0xFFFD, 1},
        {"\xE2\x41\x41", 0xFFFD, 1},
    };
    for (const auto& test : cases) {
        const auto decoded = orvel::unicode::decode_at(test.text, 0);
        CHECK_EQ(static_cast<std::uint32_t>(decoded.code_point), static_cast<std::uint32_t>(test.code_point));
        CHECK_EQ(decoded.length, test.length);
    }
}

// The shortcut through common characters passes exactly the two- and three-byte
// characters the decoder accepts, over every three-byte start.
void check_common_characters() {
    int disagreements = 0;
    char text[4] = {0, 0, 0, 'A'};
    for (unsigned lead = 0x80; lead <= 0xFF; ++lead) {
        for (unsigned second = 0; second <= 0xFF; ++second) {
            for (unsigned third = 0; third <= 0xFF; ++third) {
                text[0] = static_cast<char>(lead);
                text[1] = static_cast<char>(second);
                text[2] = static_cast<char>(third);
                const auto decoded = orvel::unicode::decode(text, text + 4);
                const bool common = decoded.status == orvel::unicode::Decoded::Status::character && decoded.length < 4;
                const std::ptrdiff_t expected = common ? static_cast<std::ptrdiff_t>(decoded.length) : 0;
                if (orvel::unicode::skip_common_characters(text, text + 4) - text != expected) ++disagreements;
            }
        }
    }
    CHECK_EQ(disagreements, 0);
    const std::string_view run = "\xC3\xA9\xE2\x82\xAC\xC3\xA9\xE2\x82\xAC!!!";
    CHECK_EQ(orvel::unicode::skip_common_characters(run.data(), run.data() + run.size()) - run.data(), 10);
    const std::string_view four_byte = "\xC3\xA9\xF0\x9F\x98\x80";
    CHECK_EQ(orvel::unicode::skip_common_characters(four_byte.data(), four_byte.data() + four_byte.size()) -
                 four_byte.data(),
             2);
}

void check_trimming() {
    struct TrimCase {
        std::string_view text;
        std::string_view expected;
    };
    const TrimCase cases[] = {
        {"", ""},
        {"   ", ""},
        {"app", "app"},
        {" \t\r\napp\n ", "app"},
        {"a b", "a b"},
        {"\xC2\xA0" "app" "\xC2\xA0", "app"},                  // U+00A0
        {"\xE3\x80\x80" "app" "\xE3\x80\x80", "app"},          // U+3000
        {"\xC2\x85" "app" "\xC2\x85", "app"},                  // U+0085
        {"\xE2\x80\xA8" "a" "\xE2\x80\xA9", "a"},              // U+2028, U+2029
        {"\xE2\x80\x8B" "a" "\xE2\x80\x8B", "\xE2\x80\x8B" "a" "\xE2\x80\x8B"},  // U+200B is not white space
        {" caf\xC3\xA9 ", "caf\xC3\xA9"},
        {"\xE3\x80\x80", ""},
        {"\xE6\x97\xA5", "\xE6\x97\xA5"},  // a three-byte letter ending in a non-space byte
    };
    for (const auto& test : cases) CHECK_EQ(orvel::unicode::trim_white_space(test.text), test.expected);
}

void check_quoting() {
    struct QuoteCase {
        std::string_view text;
        std::string_view expected;
    };
    const QuoteCase cases[] = {
        {"", "\"\""},
        {"Running", "\"Running\""},
        {"a\"b", "\"a\\\"b\""},
        {"back\\slash", "\"back\\\\slash\""},
        {"it's", "\"it's\""},
        {"\t\r\n", "\"\\t\\r\\n\""},
        {std::string_view("a\0b", 3), "\"a\\0b\""},
        {"\x07", "\"\\u{7}\""},
        {"\x1B[0m", "\"\\u{1b}[0m\""},
        {"\x7F", "\"\\u{7f}\""},
        {"\xC2\x85", "\"\\u{85}\""},
        {"\xC2\xA0", "\"\\u{a0}\""},
        {"\xC2\xAD", "\"\\u{ad}\""},
        {"\xE2\x80\x8B", "\"\\u{200b}\""},
        {"e\xCC\x81", "\"e\\u{301}\""},
        {"\xE2\x80\xA8", "\"\\u{2028}\""},
        {"\xE3\x80\x80", "\"\\u{3000}\""},
        {"\xEF\xBB\xBF", "\"\\u{feff}\""},
        {"\xEE\x80\x80", "\"\\u{e000}\""},
        {"\xCD\xB8", "\"\\u{378}\""},
        {"\xF3\xA0\x84\x80", "\"\\u{e0100}\""},  // printable yet a combining variation selector
        {"\xF4\x8F\xBF\xBF", "\"\\u{10ffff}\""},
        {"caf\xC3\xA9", "\"caf\xC3\xA9\""},
        {"\xE6\x97\xA5\xE6\x9C\xAC", "\"\xE6\x97\xA5\xE6\x9C\xAC\""},
        {"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},
        {"\xEF\xBF\xBD", "\"\xEF\xBF\xBD\""},
        {"a\xFF" "b", "\"a\xEF\xBF\xBD" "b\""},
    };
    for (const auto& test : cases) CHECK_EQ(orvel::quoted(test.text), test.expected);

    std::string message = "Unknown status ";
    orvel::append_quoted(message, "x");
    CHECK_EQ(message, std::string("Unknown status \"x\""));
}

}  // namespace

int main() {
    check_printable();
    check_grapheme_extend();
    check_white_space();
    check_decoding();
    check_common_characters();
    check_trimming();
    check_quoting();
    return check::report("unicode");
}
