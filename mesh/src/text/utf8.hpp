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

// The length of the well-formed two- or three-byte character at `at` with all its bytes
// before `end`, else 0: the reader's shortcut past most non-ASCII text, leaving the rest
// (and every fault) to decode().
inline std::size_t common_multibyte_length(const char* at, const char* end) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(at);
    const std::ptrdiff_t available = end - at;
    if (bytes[0] >= 0xC2 && bytes[0] <= 0xDF) return available >= 2 && (bytes[1] & 0xC0) == 0x80 ? 2 : 0;
    if ((bytes[0] & 0xF0) != 0xE0 || available < 3) return 0;
    // As in decode(): no overlong forms after 0xE0, no surrogates after 0xED.
    const unsigned low = bytes[0] == 0xE0 ? 0xA0 : 0x80;
    const unsigned high = bytes[0] == 0xED ? 0x9F : 0xBF;
    return bytes[1] >= low && bytes[1] <= high && (bytes[2] & 0xC0) == 0x80 ? 3 : 0;
}

// The character that starts at byte `position` (< text.size()), where a malformed or
// truncated sequence yields the replacement character over one byte, so a scan always
// moves on.
Decoded decode_at(std::string_view text, std::size_t position);

// Appends the UTF-8 form of a code point (at most U+10FFFF, not a surrogate).
void append_utf8(std::string& out, char32_t code_point);

}  // namespace orvel::unicode
