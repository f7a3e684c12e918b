#include "text/unicode.hpp"

#include <algorithm>
#include <span>

#include "text/utf8.hpp"

namespace orvel::unicode {
namespace {

struct CodePointRange {
    char32_t first;
    char32_t last;
};

#include "unicode_tables.inc"

bool in_ranges(std::span<const CodePointRange> ranges, char32_t code_point) {
    // The first range that ends at or after the code point is the only candidate.
    auto candidate = std::lower_bound(ranges.begin(), ranges.end(), code_point,
                                      [](const CodePointRange& range, char32_t value) { return range.last < value; });
    return candidate != ranges.end() && candidate->first <= code_point;
}

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

bool is_printable(char32_t code_point) { return in_ranges(printable_ranges, code_point); }
bool is_grapheme_extend(char32_t code_point) { return in_ranges(grapheme_extend_ranges, code_point); }
bool is_white_space(char32_t code_point) { return in_ranges(white_space_ranges, code_point); }

std::string_view trim_white_space(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        const Decoded character = decode_at(text, begin);
        if (!is_white_space(character.code_point)) break;
        begin += character.length;
    }
    std::size_t end = text.size();
    while (end > begin) {
        std::size_t start = end - 1;
        while (start > begin && end - start < 4 && is_continuation(static_cast<unsigned char>(text[start]))) --start;
        const Decoded character = decode_at(text, start);
        if (start + character.length != end || !is_white_space(character.code_point)) break;
        end = start;
    }
    return text.substr(begin, end - begin);
}

}  // namespace orvel::unicode
