// UTF-8: the one decoder (strict: no overlong forms, no surrogates, nothing above
// U+10FFFF) and the encoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvel::unicode {

inline constexpr char32_t replacement_character = 0xFFFD;

struct Decoded {
    enum class Status : std::uint8_t { character, malformed, truncated };

    char32_t code_point;  // the replacement character unless Status::character
    // The character's bytes; for a fault, the bytes read up to and including the one
    // that showed it (all that remain when the text ended first).
    std::size_t length;
    Status status;
};

// The character that starts at `at` (before `end`). Inline: the JSON reader validates
// runs of non-ASCII text with it, and discards the code point it does not need.
inline Decoded decode(const char* at, const char* end) {
    const auto lead = static_cast<unsigned char>(*at);
    if (lead < 0x80) return {lead, 1, Decoded::Status::character};
    std::size_t continuations = 0;
    char32_t code_point = 0;
    // The second byte's range rules out overlong forms, surrogates and code points
    // beyond U+10FFFF; later bytes are plain continuations.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        continuations = 1, code_point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        continuations = 2, code_point = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        continuations = 3, code_point = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return {replacement_character, 1, Decoded::Status::malformed};
    }
    for (std::size_t index = 1; index <= continuations; ++index) {
        if (at + index == end) return {replacement_character, index, Decoded::Status::truncated};
        const auto byte = static_cast<unsigned char>(at[index]);
        if (byte < low || byte > high) return {replacement_character, index + 1, Decoded::Status::malformed};
        code_point = (code_point << 6) | (byte & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    return {code_point, continuations + 1, Decoded::Status::character};
}

// Past the well-formed two- and three-byte characters from `at`, looking at four bytes at
// a time: the reader's shortcut through most non-ASCII text. It stops at anything else
// (ASCII, four-byte characters, faults, the last three bytes), which decode() reads.
inline const char* skip_common_characters(const char* at, const char* end) {
    while (end - at >= 4) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(at);
        const std::uint32_t word = bytes[0] | (bytes[1] << 8) | (std::uint32_t{bytes[2]} << 16);
        if ((word & 0xC0C0F0) == 0x8080E0) {
            // As in decode(): after 0xE0 the second byte is at least 0xA0 (no overlong
            // forms), after 0xED at most 0x9F (no surrogates); bit 5 tells which.
            if (bytes[0] == 0xE0 ? (word & 0x2000) == 0 : bytes[0] == 0xED && (word & 0x2000) != 0) return at;
            at += 3;
        } else if ((word & 0xC0E0) == 0x80C0 && bytes[0] >= 0xC2) {
            at += 2;
        } else {
            return at;
        }
    }
    return at;
}

// The character that starts at byte `position` (< text.size()), where a malformed or
// truncated sequence yields the replacement character over one byte, so a scan always
// moves on.
Decoded decode_at(std::string_view text, std::size_t position);

// Appends the UTF-8 form of a code point (at most U+10FFFF, not a surrogate).
void append_utf8(std::string& out, char32_t code_point);

}  // namespace orvel::unicode
