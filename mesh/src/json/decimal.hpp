// Exact conversions between doubles and short decimals (a 64-bit significand and a power
// of ten), with 128-bit integer arithmetic where it suffices and the standard library
// beyond that.
#pragma once

#include <cstdint>
#include <string_view>

namespace orvel::json {

// significand × 10^exponent.
struct Decimal {
    std::uint64_t significand;
    int exponent;
};

// The shortest significand (no trailing zeros) that reads back as `value`, the closest
// to it when several are that short. `value` must be finite and positive.
Decimal shortest_decimal(double value);

// `decimal` (nonzero, its value within the finite range) rounded to the nearest double,
// or nothing when the exact shortcuts do not apply.
bool decimal_to_double(Decimal decimal, double& value);

}  // namespace orvel::json
