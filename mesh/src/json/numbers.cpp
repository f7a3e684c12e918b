#include "json/numbers.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

#include "json/bytes.hpp"
#include "json/decimal.hpp"

namespace orvel::json {
namespace {

bool is_digit(char byte) { return byte >= '0' && byte <= '9'; }

// High bit set in each byte that is not an ASCII digit; the lowest flag is exact, as
// carries only leave bytes that are flagged themselves.
std::uint64_t non_digit_flags(std::uint64_t word) {
    const std::uint64_t offset = word ^ bytes::every_byte('0');  // digits become 0..9
    return ((offset + bytes::every_byte(0x76)) | offset) & bytes::high_bits;
}

// The value of eight ASCII digits, the first in the lowest byte; zero bytes count as
// leading zeros.
std::uint64_t eight_digits_value(std::uint64_t word) {
    word = ((word & 0x0F0F0F0F0F0F0F0FULL) * 2561) >> 8;
    word = ((word & 0x00FF00FF00FF00FFULL) * 6553601) >> 16;
    return ((word & 0x0000FFFF0000FFFFULL) * 42949672960001ULL) >> 32;
}

// Where a run of digits ends, and the digits folded into the value before them.
struct DigitRun {
    const char* end;
    std::uint64_t value;
};

// Skips a run of digits, folding them into `value` (which wraps around past 19 digits;
// callers then read long runs again). Inline, with the value in a register: it runs once
// or twice for every number.
[[gnu::always_inline]] inline DigitRun scan_digits(const char* at, const char* end, std::uint64_t value) {
    while (end - at >= 8) {
        const std::uint64_t word = bytes::load_word(at);
        const std::uint64_t flags = non_digit_flags(word);
        if (flags == 0) {
            value = value * 100000000 + eight_digits_value(word);
            at += 8;
            continue;
        }
        const int digits = std::countr_zero(flags) / 8;
        if (digits > 0) {
            value = value * powers_of_ten[static_cast<std::size_t>(digits)] + eight_digits_value(word << (8 * (8 - digits)));
        }
        return {at + digits, value};
    }
    for (; at != end && is_digit(*at); ++at) value = value * 10 + static_cast<std::uint64_t>(*at - '0');
    return {at, value};
}

// Significant digits a 64-bit significand always holds.
constexpr long long kept_digits = 19;
// Beyond these decimal exponents of the first significant digit a nonzero value is
// certainly infinite or certainly zero as a 64-bit float.
constexpr long long certainly_overflows = 310;
constexpr long long certainly_underflows = -330;
// A written exponent is read only this far: a positive one beyond it on a nonzero
// significand is out of range, and any other beyond it makes the value zero.
constexpr long long exponent_limit = 2'147'483'647;

// A syntactically valid literal taken apart; `folded` holds all its digits as one
// integer when there are at most 19 of them.
struct Literal {
    const char* integer_first;
    const char* integer_last;
    const char* fraction_first;
    const char* fraction_last;
    std::uint64_t folded = 0;
    long long exponent = 0;

    long long integer_size() const { return integer_last - integer_first; }
    long long fraction_size() const { return fraction_last - fraction_first; }

    bool zero_significand() const {
        if (integer_size() + fraction_size() <= kept_digits) return folded == 0;
        const auto is_zero = [](char digit) { return digit == '0'; };
        return std::all_of(integer_first, integer_last, is_zero) && std::all_of(fraction_first, fraction_last, is_zero);
    }
};

// The literal's first significant digits as digits × 10^exponent, and whether a nonzero
// digit had to be left out.
struct Significand {
    std::uint64_t digits = 0;
    long long kept = 0;
    long long exponent = 0;
    bool inexact = false;

    explicit Significand(const Literal& literal) : exponent(literal.exponent - literal.fraction_size()) {
        if (literal.integer_size() + literal.fraction_size() <= kept_digits) {
            digits = literal.folded;
            return;
        }
        for (const char* at = literal.integer_first; at != literal.integer_last; ++at) add(*at);
        for (const char* at = literal.fraction_first; at != literal.fraction_last; ++at) add(*at);
    }

    // The digits read as one integer: leading zeros add nothing, and each digit beyond
    // the kept ones scales the value by ten.
    void add(char digit) {
        if (kept == kept_digits) {
            ++exponent;
            inexact |= digit != '0';
        } else if (digits != 0 || digit != '0') {
            digits = digits * 10 + static_cast<std::uint64_t>(digit - '0');
            ++kept;
        }
    }

    bool zero() const { return digits == 0; }
    // Up to 15 significant digits in the normal range are the shortest form of the double
    // they read as: no two such decimals read as the same double, so no shorter or closer
    // one reads back as it.
    bool shortest(Decimal& shortest) const {
        if (inexact) return false;
        const long long leading = leading_power();
        if (decimal_digits(digits) > 15 || leading < -307 || leading > 307) return false;
        shortest = without_trailing_zeros({digits, static_cast<int>(exponent)});
        return true;
    }
    // Fewer than twenty digits scaled this little stay well inside the finite range.
    bool moderate() const { return exponent >= -300 && exponent <= 280; }
    // The power of ten of the first significant digit (not zero).
    long long leading_power() const { return exponent + decimal_digits(digits) - 1; }
};

// An integer literal's magnitude, or nothing when it exceeds 64 bits.
bool integer_magnitude(const Literal& literal, std::uint64_t& value) {
    if (literal.integer_size() <= kept_digits) {
        value = literal.folded;
        return true;
    }
    if (literal.integer_size() > kept_digits + 1) return false;
    const std::uint64_t head = scan_digits(literal.integer_first, literal.integer_last - 1, 0).value;
    const auto digit = static_cast<std::uint64_t>(literal.integer_last[-1] - '0');
    if (head > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return false;
    value = head * 10 + digit;
    return true;
}

}  // namespace

NumberEnd read_number(const char* const first, const char* const end, Number& number) {
    const char* at = first;
    const bool negative = *at == '-';
    if (negative) {
        ++at;
        if (at == end) return {at, Fault::eof_value};
    }
    Literal literal;
    literal.integer_first = at;
    if (*at == '0') {
        ++at;
        if (at != end && is_digit(*at)) return {at + 1, Fault::invalid_number};
    } else if (is_digit(*at)) {
        const DigitRun run = scan_digits(at, end, 0);
        at = run.end;
        literal.folded = run.value;
    } else {
        return {at + 1, Fault::invalid_number};
    }
    literal.integer_last = literal.fraction_first = literal.fraction_last = at;

    bool is_float = false;
    bool exponent_beyond_limit = false;
    if (at != end && *at == '.') {
        ++at;
        if (at == end) return {at, Fault::eof_value};
        if (!is_digit(*at)) return {at + 1, Fault::invalid_number};
        literal.fraction_first = at;
        const DigitRun run = scan_digits(at, end, literal.folded);
        at = literal.fraction_last = run.end;
        literal.folded = run.value;
        is_float = true;
    }
    if (at != end && (*at == 'e' || *at == 'E')) {
        ++at;
        bool negative_exponent = false;
        if (at != end && (*at == '+' || *at == '-')) negative_exponent = *at++ == '-';
        if (at == end) return {at, Fault::eof_value};
        if (!is_digit(*at)) return {at + 1, Fault::invalid_number};
        long long exponent = 0;
        for (; at != end && is_digit(*at); ++at) {
            if (exponent_beyond_limit) continue;  // the value is zero whatever follows
            exponent = exponent * 10 + (*at - '0');
            exponent_beyond_limit = exponent > exponent_limit;
            // Found at the digit that passed the limit.
            if (exponent_beyond_limit && !negative_exponent && !literal.zero_significand()) {
                return {at + 1, Fault::number_out_of_range};
            }
        }
        literal.exponent = negative_exponent ? -exponent : exponent;
        is_float = true;
    }
    number.literal = std::string_view(first, static_cast<std::size_t>(at - first));

    if (!is_float) {
        std::uint64_t magnitude = 0;
        if (integer_magnitude(literal, magnitude)) {
            if (!negative) {
                number.kind = NumberKind::unsigned_integer;
                return {at, std::nullopt};
            }
            // -0 is a float: the signed form cannot hold its sign.
            if (magnitude != 0 && magnitude <= std::uint64_t{1} << 63) {
                number.kind = NumberKind::signed_integer;
                return {at, std::nullopt};
            }
        }
    }

    number.kind = NumberKind::floating;
    number.negative = negative;
    number.magnitude = 0;
    number.known_shortest = {0, 0};
    if (exponent_beyond_limit) return {at, std::nullopt};
    const Significand significand(literal);
    if (significand.zero() || (!significand.moderate() && significand.leading_power() < certainly_underflows)) {
        return {at, std::nullopt};
    }
    if (!significand.moderate() && significand.leading_power() > certainly_overflows) {
        return {at, Fault::number_out_of_range};
    }
    if (significand.shortest(number.known_shortest)) return {at, std::nullopt};
    const Decimal digits{significand.digits, static_cast<int>(significand.exponent)};
    if (!significand.inexact && decimal_to_double(digits, number.magnitude)) {
        number.known_shortest = shortest_by_rounding(number.magnitude, digits);
        return {at, std::nullopt};
    }
    // Correctly rounded, but underflow and overflow are reported alike, so the literal's
    // magnitude tells them apart.
    const auto converted = std::from_chars(negative ? first + 1 : first, at, number.magnitude);
    if (converted.ec == std::errc::result_out_of_range) {
        if (significand.leading_power() > 0) return {at, Fault::number_out_of_range};
        number.magnitude = 0;
    }
    return {at, std::nullopt};
}

}  // namespace orvel::json
