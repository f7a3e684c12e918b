// Sixteen decimal digits at once: two numbers below 10^8, each split into its eight digits
// as byte values 0-9, the first in the lowest byte. Every x86-64 machine does this in its
// vector registers (SSE2), which leaves the one integer multiplier, the unit that writing
// a float keeps busiest, to the rest of the work; elsewhere it is done in words.
#pragma once

#include <bit>
#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace orvel::json::digit_blocks {

static_assert(std::endian::native == std::endian::little, "digit blocks are stored in little-endian order");

struct Sixteen {
    std::uint64_t first8;  // the digits of the first number
    std::uint64_t last8;   // the digits of the second
};

#if defined(__SSE2__) || defined(_M_X64)

// Eight digits in the eight 16-bit lanes: the two halves of four digits, each copied into
// four lanes and divided there by 1000, 100, 10 and 1 (multiplications by 2^n / 10^k and
// shifts, exact below 10^4), give a, ab, abc, abcd; each lane less ten times the lane
// before it is one digit.
inline __m128i eight_digit_lanes(std::uint32_t value) {
    const __m128i whole = _mm_cvtsi32_si128(static_cast<int>(value));
    const __m128i upper = _mm_srli_epi64(_mm_mul_epu32(whole, _mm_set1_epi32(static_cast<int>(0xD1B71759u))), 45);
    const __m128i lower = _mm_sub_epi32(whole, _mm_mul_epu32(upper, _mm_set1_epi32(10000)));
    const __m128i halves_times_four = _mm_slli_epi64(_mm_unpacklo_epi16(upper, lower), 2);
    const __m128i spread = _mm_unpacklo_epi32(_mm_unpacklo_epi16(halves_times_four, halves_times_four),
                                              _mm_unpacklo_epi16(halves_times_four, halves_times_four));
    const __m128i scaled = _mm_mulhi_epu16(spread, _mm_setr_epi16(8389, 5243, 13108, -32768, 8389, 5243, 13108, -32768));
    const __m128i prefixes = _mm_mulhi_epu16(scaled, _mm_setr_epi16(1 << 7, 1 << 11, 1 << 13, -32768, 1 << 7, 1 << 11,
                                                                     1 << 13, -32768));
    return _mm_sub_epi16(prefixes, _mm_slli_epi64(_mm_mullo_epi16(prefixes, _mm_set1_epi16(10)), 16));
}

inline Sixteen sixteen(std::uint32_t first, std::uint32_t second) {
    const __m128i bytes = _mm_packus_epi16(eight_digit_lanes(first), eight_digit_lanes(second));
    return {static_cast<std::uint64_t>(_mm_cvtsi128_si64(bytes)),
            static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(bytes, bytes)))};
}

#else

// Both halves of four digits split into pairs, then every pair into digits, in parallel.
inline std::uint64_t eight_digits(std::uint64_t value) {
    const std::uint64_t halves = (value / 10000) | ((value % 10000) << 32);
    const std::uint64_t hundreds = ((halves * 10486) >> 20) & 0x0000007F0000007FULL;
    const std::uint64_t pairs = hundreds | ((halves - hundreds * 100) << 16);
    const std::uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F000F000FULL;
    return tens | ((pairs - tens * 10) << 8);
}

inline Sixteen sixteen(std::uint32_t first, std::uint32_t second) { return {eight_digits(first), eight_digits(second)}; }

#endif

}  // namespace orvel::json::digit_blocks
