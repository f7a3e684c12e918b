#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

#include "json_reader.hpp"

namespace orvel::json {
namespace {

bool is_digit(char byte) { return byte >= '0' && byte <= '9'; }

// Beyond these decimal exponents of the first significant digit a nonzero value is
// certainly infinite or certainly zero as a 64-bit float.
constexpr long long certainly_overflows = 310;
constexpr long long certainly_underflows = -330;
// Exponents are accumulated only this far, so huge written exponents cannot overflow.
constexpr long long exponent_cap = 1'000'000'000;

// The value of an integer literal's digits, or nothing when it exceeds 64 bits.
bool digits_value(const char* first, const char* last, std::uint64_t& value) {
    // Nineteen digits always fit; a twentieth needs the overflow check.
    if (last - first > 20) return false;
    value = 0;
    for (const char* at = first; at != last; ++at) {
        const auto digit = static_cast<std::uint64_t>(*at - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return false;
        value = value * 10 + digit;
    }
    return true;
}

// Sign, integer digits, fraction digits and exponent of a syntactically valid literal.
struct FloatParts {
    bool negative;
    const char* integer_first;
    const char* integer_last;
    const char* fraction_first;
    const char* fraction_last;
    long long exponent;
};

// The power of ten of the first significant digit, or nothing when every digit is zero.
bool leading_power(const FloatParts& parts, long long& power) {
    const long long integer_digits = parts.integer_last - parts.integer_first;
    for (const char* at = parts.integer_first; at != parts.integer_last; ++at) {
        if (*at != '0') {
            power = integer_digits - 1 - (at - parts.integer_first) + parts.exponent;
            return true;
        }
    }
    for (const char* at = parts.fraction_first; at != parts.fraction_last; ++at) {
        if (*at != '0') {
            power = -1 - (at - parts.fraction_first) + parts.exponent;
            return true;
        }
    }
    return false;
}

}  // namespace

bool Reader::read_number(Number& number) {
    const char* const first = cursor_;
    FloatParts parts{};
    parts.negative = *cursor_ == '-';
    if (parts.negative) {
        ++cursor_;
        if (cursor_ == end_) return fail_here("EOF while parsing a value");
    }
    parts.integer_first = cursor_;
    if (*cursor_ == '0') {
        ++cursor_;
        if (cursor_ != end_ && is_digit(*cursor_)) return fail_at_next("invalid number");
    } else if (is_digit(*cursor_)) {
        while (cursor_ != end_ && is_digit(*cursor_)) ++cursor_;
    } else {
        return fail_at_next("invalid number");
    }
    parts.integer_last = cursor_;
    parts.fraction_first = parts.fraction_last = cursor_;

    bool is_float = false;
    if (cursor_ != end_ && *cursor_ == '.') {
        ++cursor_;
        if (cursor_ == end_) return fail_here("EOF while parsing a value");
        if (!is_digit(*cursor_)) return fail_at_next("invalid number");
        parts.fraction_first = cursor_;
        while (cursor_ != end_ && is_digit(*cursor_)) ++cursor_;
        parts.fraction_last = cursor_;
        is_float = true;
    }
    if (cursor_ != end_ && (*cursor_ == 'e' || *cursor_ == 'E')) {
        ++cursor_;
        bool negative_exponent = false;
        if (cursor_ != end_ && (*cursor_ == '+' || *cursor_ == '-')) negative_exponent = *cursor_++ == '-';
        if (cursor_ == end_) return fail_here("EOF while parsing a value");
        if (!is_digit(*cursor_)) return fail_at_next("invalid number");
        long long exponent = 0;
        while (cursor_ != end_ && is_digit(*cursor_)) {
            if (exponent < exponent_cap) exponent = exponent * 10 + (*cursor_ - '0');
            ++cursor_;
        }
        parts.exponent = negative_exponent ? -exponent : exponent;
        is_float = true;
    }
    number.literal = std::string_view(first, static_cast<std::size_t>(cursor_ - first));

    if (!is_float) {
        std::uint64_t magnitude = 0;
        if (digits_value(parts.integer_first, parts.integer_last, magnitude)) {
            if (!parts.negative) {
                number.kind = NumberKind::unsigned_integer;
                return true;
            }
            if (magnitude != 0 && magnitude <= std::uint64_t{1} << 63) {
                number.kind = NumberKind::signed_integer;
                return true;
            }
        }
    }

    number.kind = NumberKind::floating;
    const double zero = parts.negative ? -0.0 : 0.0;
    long long power = 0;
    if (!leading_power(parts, power) || power < certainly_underflows) {
        number.value = zero;
        return true;
    }
    if (power > certainly_overflows) return fail_here("number out of range");
    // The conversion rounds correctly but reports underflow and overflow alike, so the
    // literal's magnitude tells them apart.
    const auto converted = std::from_chars(first, cursor_, number.value);
    if (converted.ec == std::errc::result_out_of_range) {
        if (power > 0) return fail_here("number out of range");
        number.value = zero;
    }
    return true;
}

}  // namespace orvel::json
