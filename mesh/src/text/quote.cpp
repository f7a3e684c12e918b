#include "text/quote.hpp"

#include "text/unicode.hpp"
#include "text/utf8.hpp"

namespace orvel {
namespace {

void append_code_point_escape(std::string& out, char32_t code_point) {
    static constexpr char hex_digits[] = "0123456789abcdef";
    char digits[8];
    int count = 0;
    do {
        digits[count++] = hex_digits[code_point & 0xF];
        code_point >>= 4;
    } while (code_point != 0);
    out += "\\u{";
    while (count > 0) out += digits[--count];
    out += '}';
}

// Text that reads the same raw or quoted: printable ASCII other than the two escaped ones.
bool is_plain_ascii(unsigned char byte) { return byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\'; }

}  // namespace

void append_quoted(std::string& out, std::string_view utf8) {
    out += '"';
    std::size_t position = 0;
    while (position < utf8.size()) {
        const auto byte = static_cast<unsigned char>(utf8[position]);
        if (is_plain_ascii(byte)) {
            out += static_cast<char>(byte);
            ++position;
            continue;
        }
        const unicode::Decoded character = unicode::decode_at(utf8, position);
        switch (character.code_point) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\0': out += "\\0"; break;
            default:
                if (unicode::is_grapheme_extend(character.code_point) || !unicode::is_printable(character.code_point)) {
                    append_code_point_escape(out, character.code_point);
                } else if (character.status != unicode::Decoded::Status::character) {
                    // A malformed byte: the output stays valid UTF-8.
                    out += "\xEF\xBF\xBD";
                } else {
                    out.append(utf8, position, character.length);
                }
        }
        position += character.length;
    }
    out += '"';
}

std::string quoted(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() + 2);
    append_quoted(out, utf8);
    return out;
}

}  // namespace orvel
