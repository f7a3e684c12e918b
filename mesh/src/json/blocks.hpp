// Sixteen bytes at a time with the vector registers every x86-64 (SSE2) and aarch64 (NEON)
// machine has, eight in a word elsewhere: finding where a run of string bytes or of white
// space ends, or the next byte a string written out must escape. A scan gives a mask of flags over one block; first_flagged() turns the
// lowest flag into the index of its byte.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#elif defined(__ARM_NEON)
#include <arm_neon.h>
#else
#include "json/bytes.hpp"
#endif

namespace orvel::json::blocks {

#if defined(__SSE2__) || defined(_M_X64)

inline constexpr std::size_t size = 16;
inline constexpr int bits_per_byte = 1;

// A quote, a backslash, a byte below 0x20 or one from 0x80: compared as signed bytes,
// those from 0x80 are negative and so fall below 0x20 too.
inline std::uint64_t string_stops(const char* at) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i stops = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')),
                                                    _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'))),
                                       _mm_cmplt_epi8(bytes, _mm_set1_epi8(0x20)));
    return static_cast<unsigned>(_mm_movemask_epi8(stops));
}

// A quote, a backslash or a byte below 0x20: what a string written out must escape.
inline std::uint64_t escapes(const char* at) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i control = _mm_and_si128(_mm_cmplt_epi8(bytes, _mm_set1_epi8(0x20)),
                                          _mm_cmpgt_epi8(bytes, _mm_set1_epi8(-1)));
    const __m128i stops = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')),
                                                    _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'))),
                                       control);
    return static_cast<unsigned>(_mm_movemask_epi8(stops));
}

inline std::uint64_t non_white_space(const char* at) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i white = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')),
                                                    _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))),
                                       _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')),
                                                    _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t'))));
    return static_cast<unsigned>(_mm_movemask_epi8(white)) ^ 0xFFFFu;
}

#elif defined(__ARM_NEON)

inline constexpr std::size_t size = 16;
inline constexpr int bits_per_byte = 4;

// NEON has no byte mask: narrowing each 16-bit lane by four bits keeps four bits a byte.
inline std::uint64_t mask_of(uint8x16_t flags) {
    return vget_lane_u64(vreinterpret_u64_u8(vshrn_n_u16(vreinterpretq_u16_u8(flags), 4)), 0);
}

inline std::uint64_t string_stops(const char* at) {
    const uint8x16_t bytes = vld1q_u8(reinterpret_cast<const std::uint8_t*>(at));
    const uint8x16_t stops = vorrq_u8(vorrq_u8(vceqq_u8(bytes, vdupq_n_u8('"')), vceqq_u8(bytes, vdupq_n_u8('\\'))),
                                      vorrq_u8(vcltq_u8(bytes, vdupq_n_u8(0x20)), vcgeq_u8(bytes, vdupq_n_u8(0x80))));
    return mask_of(stops);
}

inline std::uint64_t escapes(const char* at) {
    const uint8x16_t bytes = vld1q_u8(reinterpret_cast<const std::uint8_t*>(at));
    const uint8x16_t stops = vorrq_u8(vorrq_u8(vceqq_u8(bytes, vdupq_n_u8('"')), vceqq_u8(bytes, vdupq_n_u8('\\'))),
                                      vcltq_u8(bytes, vdupq_n_u8(0x20)));
    return mask_of(stops);
}

inline std::uint64_t non_white_space(const char* at) {
    const uint8x16_t bytes = vld1q_u8(reinterpret_cast<const std::uint8_t*>(at));
    const uint8x16_t white = vorrq_u8(vorrq_u8(vceqq_u8(bytes, vdupq_n_u8(' ')), vceqq_u8(bytes, vdupq_n_u8('\n'))),
                                      vorrq_u8(vceqq_u8(bytes, vdupq_n_u8('\r')), vceqq_u8(bytes, vdupq_n_u8('\t'))));
    return mask_of(vmvnq_u8(white));
}

#else

inline constexpr std::size_t size = 8;
inline constexpr int bits_per_byte = 8;

inline std::uint64_t string_stops(const char* at) {
    const std::uint64_t word = bytes::load_word(at);
    return bytes::escape_flags(word) | (word & bytes::high_bits);
}

inline std::uint64_t escapes(const char* at) { return bytes::escape_flags(bytes::load_word(at)); }

inline std::uint64_t non_white_space(const char* at) { return bytes::non_white_space_flags(bytes::load_word(at)); }

#endif

inline int first_flagged(std::uint64_t mask) { return std::countr_zero(mask) / bits_per_byte; }

}  // namespace orvel::json::blocks
