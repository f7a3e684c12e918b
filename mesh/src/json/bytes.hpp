// Eight bytes at a time: finding the bytes of a string that need attention.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace orvel::json::bytes {

static_assert(std::endian::native == std::endian::little, "words are scanned in little-endian order");

constexpr std::uint64_t every_byte(unsigned char byte) { return 0x0101010101010101ULL * byte; }
constexpr std::uint64_t high_bits = every_byte(0x80);

inline std::uint64_t load_word(const char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// High bit set in each byte that is a quote, a backslash or below 0x20 (for ASCII bytes;
// callers treat bytes from 0x80 separately). Borrows only run upwards from a byte that is
// itself flagged, so the lowest flag is always exact.
inline std::uint64_t escape_flags(std::uint64_t word) {
    const std::uint64_t quote = word ^ every_byte('"');
    const std::uint64_t backslash = word ^ every_byte('\\');
    const std::uint64_t zero_quote = (quote - every_byte(1)) & ~quote;
    const std::uint64_t zero_backslash = (backslash - every_byte(1)) & ~backslash;
    const std::uint64_t control = (word - every_byte(0x20)) & ~word;
    return (zero_quote | zero_backslash | control) & high_bits;
}

// High bit set in each byte that is not zero; exact, as no carry crosses a byte.
inline std::uint64_t nonzero_flags(std::uint64_t word) {
    return (((word & ~high_bits) + ~high_bits) | word) & high_bits;
}

// High bit set in each byte that is not JSON white space.
inline std::uint64_t non_white_space_flags(std::uint64_t word) {
    return nonzero_flags(word ^ every_byte(' ')) & nonzero_flags(word ^ every_byte('\n')) &
           nonzero_flags(word ^ every_byte('\r')) & nonzero_flags(word ^ every_byte('\t'));
}

// Index of the byte holding the lowest flag.
inline int first_flagged(std::uint64_t flags) { return std::countr_zero(flags) / 8; }

}  // namespace orvel::json::bytes
