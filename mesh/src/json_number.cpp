#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <system_error>

#include "json_decimal.hpp"
#include "json_reader.hpp"

namespace orvel::json {
namespace {

bool is_digit(char byte) { return byte >= '0' && byte <= '9'; }

std::uint64_t load_eight(const char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// High bit set in each byte that is not an ASCII digit; the lowest flag is exact, as
// carries only leave bytes that are flagged themselves.
std::uint64_t non_digit_flags(std::uint64_t word) {
    const std::uint64_t offset = word ^ 0x3030303030303030ULL;  // digits become 0..9
    return ((offset + 0x7676767676767676ULL) | offset) & 0x8080808080808080ULL;
}

// The value of eight ASCII digits, the first in the lowest byte; zero bytes count as
// leading zeros.
std::uint64_t eight_digits_value(std::uint64_t word) {
    word = ((word & 0x0F0F0F0F0F0F0F0FULL) * 2561) >> 8;
    word = ((word & 0x00FF00FF00FF00FFULL) * 6553601) >> 16;
    return ((word & 0x0000FFFF0000FFFFULL) * 42949672960001ULL) >> 32;
}

constexpr std::uint64_t small_powers_of_ten[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

// Skips a run of digits, folding them into `value` (which wraps around past 19 digits;
// callers then read long runs again).
const char* scan_digits(const char* at, const char* end, std::uint64_t& value) {
    while (end - at >= 8) {
        const std::uint64_t word = load_eight(at);
        const std::uint64_t flags = non_digit_flags(word);
        if (flags == 0) {
            value = value * 100000000 + eight_digits_value(word);
            at += 8;
            continue;
        }
        const int digits = std::countr_zero(flags) / 8;
        if (digits > 0) {
            value = value * small_powers_of_ten[digits] + eight_digits_value(word << (8 * (8 - digits)));
        }
        return at + digits;
    }
    for (; at != end && is_digit(*at); ++at) value = value * 10 + static_cast<std::uint64_t>(*at - '0');
    return at;
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
    // Fewer than twenty digits scaled this little stay well inside the finite range.
    bool moderate() const { return exponent >= -300 && exponent <= 280; }
    // The power of ten of the first significant digit (when not zero).
    long long leading_power() const {
        long long power = exponent - 1;
        for (std::uint64_t rest = digits; rest != 0; rest /= 10) ++power;
        return power;
    }
};

// An integer literal's magnitude, or nothing when it exceeds 64 bits.
bool integer_magnitude(const Literal& literal, std::uint64_t& value) {
    if (literal.integer_size() <= kept_digits) {
        value = literal.folded;
        return true;
    }
    if (literal.integer_size() > kept_digits + 1) return false;
    std::uint64_t head = 0;
    scan_digits(literal.integer_first, literal.integer_last - 1, head);
    const auto digit = static_cast<std::uint64_t>(literal.integer_last[-1] - '0');
    if (head > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return false;
    value = head * 10 + digit;
    return true;
}

}  // namespace

bool Reader::read_number(Number& number) {
    const char* const first = cursor_;
    const bool negative = *cursor_ == '-';
    if (negative) {
        ++cursor_;
        if (cursor_ == end_) return fail_here("EOF while parsing a value");
    }
    Literal literal;
    literal.integer_first = cursor_;
    if (*cursor_ == '0') {
        ++cursor_;
        if (cursor_ != end_ && is_digit(*cursor_)) return fail_at_next("invalid number");
    } else if (is_digit(*cursor_)) {
        cursor_ = scan_digits(cursor_, end_, literal.folded);
    } else {
        return fail_at_next("invalid number");
    }
    literal.integer_last = literal.fraction_first = literal.fraction_last = cursor_;

    bool is_float = false;
    bool exponent_beyond_limit = false;
    if (cursor_ != end_ && *cursor_ == '.') {
        ++cursor_;
        if (cursor_ == end_) return fail_here("EOF while parsing a value");
        if (!is_digit(*cursor_)) return fail_at_next("invalid number");
        literal.fraction_first = cursor_;
        cursor_ = literal.fraction_last = scan_digits(cursor_, end_, literal.folded);
        is_float = true;
    }
    if (cursor_ != end_ && (*cursor_ == 'e' || *cursor_ == 'E')) {
        ++cursor_;
        bool negative_exponent = false;
        if (cursor_ != end_ && (*cursor_ == '+' || *cursor_ == '-')) negative_exponent = *cursor_++ == '-';
        if (cursor_ == end_) return fail_here("EOF while parsing a value");
        if (!is_digit(*cursor_)) return fail_at_next("invalid number");
        long long exponent = 0;
        for (; cursor_ != end_ && is_digit(*cursor_); ++cursor_) {
            if (exponent_beyond_limit) continue;  // the value is zero whatever follows
            exponent = exponent * 10 + (*cursor_ - '0');
            exponent_beyond_limit = exponent > exponent_limit;
            if (exponent_beyond_limit && !negative_exponent && !literal.zero_significand()) {
                ++cursor_;  // found at the digit that passed the limit
                return fail_here("number out of range");
            }
        }
        literal.exponent = negative_exponent ? -exponent : exponent;
        is_float = true;
    }
    number.literal = std::string_view(first, static_cast<std::size_t>(cursor_ - first));

    if (!is_float) {
        std::uint64_t magnitude = 0;
        if (integer_magnitude(literal, magnitude)) {
            if (!negative) {
                number.kind = NumberKind::unsigned_integer;
                return true;
            }
            // -0 is a float: the signed form cannot hold its sign.
            if (magnitude != 0 && magnitude <= std::uint64_t{1} << 63) {
                number.kind = NumberKind::signed_integer;
                return true;
            }
        }
    }

    number.kind = NumberKind::floating;
    const double zero = negative ? -0.0 : 0.0;
    if (exponent_beyond_limit) {
        number.value = zero;
        return true;
    }
    const Significand significand(literal);
    if (significand.zero() || (!significand.moderate() && significand.leading_power() < certainly_underflows)) {
        number.value = zero;
        return true;
    }
    if (!significand.moderate() && significand.leading_power() > certainly_overflows) {
        return fail_here("number out of range");
    }
    double magnitude = 0;
    if (!significand.inexact &&
        decimal_to_double({significand.digits, static_cast<int>(significand.exponent)}, magnitude)) {
        number.value = negative ? -magnitude : magnitude;
        return true;
    }
    // Correctly rounded, but underflow and overflow are reported alike, so the literal's
    // magnitude tells them apart.
    const auto converted = std::from_chars(first, cursor_, number.value);
    if (converted.ec == std::errc::result_out_of_range) {
        if (significand.leading_power() > 0) return fail_here("number out of range");
        number.value = zero;
    }
    return true;
}

}  // namespace orvel::json
