#include "unicode.hpp"

#include <algorithm>
#include <span>

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

DecodedCharacter decode_at(std::string_view text, std::size_t position) {
    const auto lead = static_cast<unsigned char>(text[position]);
    if (lead < 0x80) return {lead, 1};

    std::size_t length;
    char32_t code_point;
    char32_t smallest;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code_point = lead & 0x1F, smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code_point = lead & 0x0F, smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code_point = lead & 0x07, smallest = 0x10000;
    } else {
        return {replacement_character, 1};
    }
    if (text.size() - position < length) return {replacement_character, 1};
    for (std::size_t index = 1; index < length; ++index) {
        const auto byte = static_cast<unsigned char>(text[position + index]);
        if (!is_continuation(byte)) return {replacement_character, 1};
        code_point = (code_point << 6) | (byte & 0x3F);
    }
    const bool surrogate = code_point >= 0xD800 && code_point <= 0xDFFF;
    if (code_point < smallest || code_point > 0x10FFFF || surrogate) return {replacement_character, 1};
    return {code_point, length};
}

std::string_view trim_white_space(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        const DecodedCharacter character = decode_at(text, begin);
        if (!is_white_space(character.code_point)) break;
        begin += character.length;
    }
    std::size_t end = text.size();
    while (end > begin) {
        std::size_t start = end - 1;
        while (start > begin && end - start < 4 && is_continuation(static_cast<unsigned char>(text[start]))) --start;
        const DecodedCharacter character = decode_at(text, start);
        if (start + character.length != end || !is_white_space(character.code_point)) break;
        end = start;
    }
    return text.substr(begin, end - begin);
}

}  // namespace orvel::unicode
