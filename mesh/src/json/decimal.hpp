// Exact conversions between doubles and short decimals (a 64-bit significand and a power
// of ten) by integer arithmetic, with the standard library for the rare rest.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <string_view>

namespace orvel::json {

// significand × 10^exponent.
struct Decimal {
    std::uint64_t significand;
    int exponent;
};

inline constexpr auto powers_of_ten = [] {
    std::array<std::uint64_t, 20> powers{};
    powers[0] = 1;
    for (std::size_t i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * 10;
    return powers;
}();

// The number of decimal digits of `value` (nonzero): from the bit width, corrected by one
// comparison.
inline int decimal_digits(std::uint64_t value) {
    const auto guess = static_cast<std::size_t>((std::bit_width(value) * 1233) >> 12);
    return static_cast<int>(guess + (value >= powers_of_ten[guess] ? 1 : 0));
}

// The same decimal with its trailing zeros moved into the exponent (significand nonzero).
Decimal without_trailing_zeros(Decimal decimal);

// The shortest significand (no trailing zeros) that reads back as `value`, the closest
// to it when several are that short. `value` must be finite and positive (subnormals too).
Decimal shortest_decimal(double value);
// The shortest form of `value` when it has at most 15 digits and is found by rounding
// `reads_as`, a decimal that reads as `value`, to 15 digits; else a zero significand.
Decimal shortest_by_rounding(double value, Decimal reads_as);

// `decimal` (nonzero, its value within the finite range) rounded to the nearest double,
// or nothing when the exact shortcuts do not apply.
bool decimal_to_double(Decimal decimal, double& value);

}  // namespace orvel::json
