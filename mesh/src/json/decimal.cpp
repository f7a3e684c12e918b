#include "json/decimal.hpp"

#include <array>
#include <bit>

#include "json/powers_of_five.hpp"

namespace orvel::json {
namespace {

__extension__ using uint128 = unsigned __int128;

// Powers of ten that doubles hold exactly.
constexpr auto exact_double_powers = [] {
    std::array<double, 23> powers{};
    powers[0] = 1;
    for (std::size_t i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * 10;
    return powers;
}();

// Both operands exact, so the one rounding of the operation is the only one.
[[gnu::always_inline]] inline bool exactly_rounded(Decimal decimal, double& value) {
    if (decimal.significand > std::uint64_t{1} << 53 || decimal.exponent < -22 || decimal.exponent > 22) return false;
    const double whole = static_cast<double>(decimal.significand);
    value = decimal.exponent >= 0 ? whole * exact_double_powers[static_cast<std::size_t>(decimal.exponent)]
                                  : whole / exact_double_powers[static_cast<std::size_t>(-decimal.exponent)];
    return true;
}

// Exact floors of logarithms over the exponent ranges of doubles, as fixed-point products.
int floor_log10_pow2(int e) { return (e * 1262611) >> 22; }
int floor_log10_three_quarters_pow2(int e) { return (e * 1262611 - 524031) >> 22; }
int floor_log2_pow10(int e) { return (e * 1741647) >> 19; }

constexpr std::uint64_t hidden_bit = std::uint64_t{1} << 52;

// (power × scaled) / 2^128 with `power` one unit above its true value: the quotient's
// last bit is set when anything beyond that unit's worth was cut off, so the result is
// never mistaken for exact.
std::uint64_t scale_to_odd(powers_of_five::Leading128 power, std::uint64_t scaled) {
    const uint128 low = uint128{power.low} * scaled;
    const uint128 high = uint128{power.high} * scaled + static_cast<std::uint64_t>(low >> 64);
    return static_cast<std::uint64_t>(high >> 64) | (static_cast<std::uint64_t>(high) > 1 ? 1 : 0);
}

// The product of a significand and a power of ten, taken from its leading 128 bits
// against 5^exponent's leading 128 bits, rounded to the nearest double, ties to even; false
// when those bits cannot decide, or the result is subnormal or beyond the finite range.
bool nearest_double(std::uint64_t significand, int exponent, double& value) {
    if (exponent < powers_of_five::smallest || exponent > 308) return false;
    const int leading_zeros = std::countl_zero(significand);
    const std::uint64_t normalized = significand << leading_zeros;
    // The error bounds of this reading hold for the power rounded up where 5^exponent is
    // a short fraction (-27 to -1) and rounded down elsewhere.
    const auto power = exponent >= -27 && exponent < 0 ? powers_of_five::just_above(exponent)
                                                       : powers_of_five::rounded_down(exponent);
    const uint128 product = uint128{normalized} * power.high;
    auto high = static_cast<std::uint64_t>(product >> 64);
    auto low = static_cast<std::uint64_t>(product);
    // The 55 bits kept are certain unless all nine bits below them are ones, when the
    // low half of the power may carry into them.
    if ((high & 0x1FF) == 0x1FF) {
        const auto carry = static_cast<std::uint64_t>((uint128{normalized} * power.low) >> 64);
        low += carry;
        if (low < carry) ++high;
        // Still undecided: the truncated power could be one short of the true value.
        if (low == ~std::uint64_t{0} && (exponent < -27 || exponent > 55)) return false;
    }
    const int upper_bit = static_cast<int>(high >> 63);
    const int shift = upper_bit + 9;
    std::uint64_t mantissa = high >> shift;
    int biased = floor_log2_pow10(exponent) + 63 + upper_bit - leading_zeros + 1023;
    if (biased <= 0) return false;
    // A product exactly halfway between two doubles (possible only where 5^exponent is
    // exact in 64 bits) rounds down to the even one.
    if (low <= 1 && exponent >= -4 && exponent <= 23 && (mantissa & 3) == 1 && (mantissa << shift) == high) {
        mantissa &= ~std::uint64_t{1};
    }
    mantissa = (mantissa + (mantissa & 1)) >> 1;
    if (mantissa >= 2 * hidden_bit) {
        mantissa = hidden_bit;
        ++biased;
    }
    if (biased >= 0x7FF) return false;
    value = std::bit_cast<double>((mantissa & ~hidden_bit) | (static_cast<std::uint64_t>(biased) << 52));
    return true;
}

}  // namespace

Decimal without_trailing_zeros(Decimal decimal) {
    // A multiple of 10^n times the inverse of 5^n modulo 2^64, rotated right by n bits, is
    // its quotient by 10^n; anything else comes out larger than every such quotient.
    constexpr auto inverse_of_power_of_five = [](int n) {
        std::uint64_t inverse = 1;
        for (int i = 0; i < n; ++i) inverse *= 0xCCCCCCCCCCCCCCCDULL;
        return inverse;
    };
    const auto divided = [&](int n, std::uint64_t inverse) {
        const std::uint64_t quotient = std::rotr(decimal.significand * inverse, n);
        const bool divisible = quotient <= ~std::uint64_t{0} / powers_of_ten[static_cast<std::size_t>(n)];
        if (divisible) {
            decimal.significand = quotient;
            decimal.exponent += n;
        }
        return divisible;
    };
    // Most significands end in another digit; the rest lose their zeros in halving steps,
    // a fixed few multiplications rather than one per zero.
    if (!divided(1, inverse_of_power_of_five(1))) return decimal;
    divided(16, inverse_of_power_of_five(16));
    divided(8, inverse_of_power_of_five(8));
    divided(4, inverse_of_power_of_five(4));
    divided(2, inverse_of_power_of_five(2));
    divided(1, inverse_of_power_of_five(1));
    return decimal;
}

namespace {

// The value is c × 2^q and reads back from anything strictly between the midpoints to its
// neighbours, or on them when c is even; the lower neighbour is half as far when the value
// is a power of two. At the decimal scale 10^k with k = floor(log10(2^q)) (of three
// quarters of it when the lower neighbour is closer) that interval is one to ten units
// wide, so at most one multiple of ten units lies in it (the shortest, if there) and at
// least one unit does (the closest).
Decimal shortest_by_three_products(std::uint64_t c, int q, bool lower_closer) {
    const bool even = (c & 1) == 0;

    const int k = lower_closer ? floor_log10_three_quarters_pow2(q) : floor_log10_pow2(q);
    const int h = q + floor_log2_pow10(-k) + 1;  // 1 to 4, so the shifts below keep every bit
    const auto power = powers_of_five::just_above(-k);
    // Four times the value and its interval's ends, in units of 10^k.
    const std::uint64_t lower = scale_to_odd(power, (4 * c - 2 + (lower_closer ? 1 : 0)) << h) + (even ? 0 : 1);
    const std::uint64_t middle = scale_to_odd(power, (4 * c) << h);
    const std::uint64_t upper = scale_to_odd(power, (4 * c + 2) << h) - (even ? 0 : 1);

    const std::uint64_t units = middle / 4;
    if (units >= 10) {
        const std::uint64_t tens = units / 10;
        const bool below_in = lower <= 40 * tens;
        const bool above_in = 40 * tens + 40 <= upper;
        if (below_in != above_in) return without_trailing_zeros({tens + (above_in ? 1 : 0), k + 1});
    }
    const bool below_in = lower <= 4 * units;
    const bool above_in = 4 * units + 4 <= upper;
    if (below_in != above_in) return without_trailing_zeros({units + (above_in ? 1 : 0), k});
    const std::uint64_t halfway = 4 * units + 2;
    const bool round_up = middle > halfway || (middle == halfway && (units & 1) != 0);
    return without_trailing_zeros({units + (round_up ? 1 : 0), k});
}

// The same for a value c × 2^q whose neighbours are equally far, from one product: at the
// scale 10^k with k = floor(log10(2^q)) - 2 the interval, from (2c - 1) × 2^(q-1) to
// (2c + 1) × 2^(q-1), is `delta` = 100 to 1000 units wide, so the multiple of 1000 units
// just below its upper end is the shortest form when it lies within, and otherwise the
// shortest has one digit more and is the value rounded to 100 units.
Decimal shortest_by_one_product(std::uint64_t c, int q) {
    const bool even = (c & 1) == 0;
    const int k = floor_log10_pow2(q) - 2;
    const int shift = q + floor_log2_pow10(-k);  // 6 to 9, so no shift below loses a bit
    // The search's error bounds hold for the power rounded up; 5^-k is exact in 128 bits
    // from 5^0 to 5^55.
    const auto power = -k >= 0 && -k <= 55 ? powers_of_five::rounded_down(-k) : powers_of_five::just_above(-k);
    const auto delta = static_cast<std::uint32_t>(power.high >> (63 - shift));
    // The integer part of x × 2^(q-1) in units of 10^k and whether it is whole, from the
    // product's upper 128 bits (the upper end) or from its lower 128 bits (the parity).
    const std::uint64_t two_c = 2 * c;
    const std::uint64_t scaled = (two_c | 1) << shift;
    const uint128 product = uint128{scaled} * power.high +
                            static_cast<std::uint64_t>((uint128{scaled} * power.low) >> 64);
    const auto upper_end = static_cast<std::uint64_t>(product >> 64);
    const bool upper_end_whole = static_cast<std::uint64_t>(product) == 0;
    const auto parity_of = [&](std::uint64_t x, bool& whole) {
        const uint128 low = uint128{x} * power.low;
        const std::uint64_t high = x * power.high + static_cast<std::uint64_t>(low >> 64);
        whole = ((high << shift) | (static_cast<std::uint64_t>(low) >> (64 - shift))) == 0;
        return ((high >> (64 - shift)) & 1) != 0;
    };

    std::uint64_t significand = upper_end / 1000;
    auto rest = static_cast<std::uint32_t>(upper_end - 1000 * significand);
    bool within = false;
    if (rest < delta) {
        // The upper end itself reads back only when c is even.
        if (rest == 0 && upper_end_whole && !even) {
            --significand;
            rest = 1000;
        } else {
            within = true;
        }
    } else if (rest == delta) {
        bool lower_end_whole = false;
        within = parity_of(two_c - 1, lower_end_whole) || (lower_end_whole && even);
    }
    if (within) return without_trailing_zeros({significand, k + 3});

    // The value lies delta / 2 units below the upper end. Only when the units cut off
    // could tip the rounding (the distance a multiple of 100) does the value's own
    // product decide, by its parity, and at an exact tie to the even neighbour.
    significand *= 10;
    const std::uint32_t distance = rest - delta / 2 + 50;
    const bool estimated_parity = ((distance ^ 50) & 1) != 0;
    significand += distance / 100;
    if (distance % 100 == 0) {
        bool value_whole = false;
        if (parity_of(two_c, value_whole) != estimated_parity) {
            --significand;
        } else if (value_whole && (significand & 1) != 0) {
            --significand;
        }
    }
    // No trailing zero: a multiple of 1000 units within the interval would have been found.
    return {significand, k + 2};
}

}  // namespace

Decimal shortest_decimal(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const std::uint64_t fraction = bits & (hidden_bit - 1);
    const auto biased_exponent = static_cast<int>(bits >> 52);
    const int q = (biased_exponent == 0 ? 1 : biased_exponent) - 1075;
    // Powers of two, subnormals and the tiniest normals (their power of ten is beyond the
    // table) take the general search.
    if (fraction != 0 && biased_exponent > 8) return shortest_by_one_product(fraction | hidden_bit, q);
    const std::uint64_t c = biased_exponent == 0 ? fraction : fraction | hidden_bit;
    return shortest_by_three_products(c, q, fraction == 0 && biased_exponent > 1);
}

// Up to 15 significant digits, no two decimals read as the same double in the range of
// the exact shortcut, so one that reads back as `value` is its shortest form. And when
// the shortest form is that short, it is the 15-digit rounding of any longer decimal that
// reads as `value`: both lie within one unit in the last place of `value`, less than half
// a unit of the fifteenth digit. Doubles written with 16 or 17 digits thus skip the search.
Decimal shortest_by_rounding(double value, Decimal reads_as) {
    const std::uint64_t digits = reads_as.significand;
    if (digits >= powers_of_ten[15] && digits < powers_of_ten[17]) {
        const bool seventeen = digits >= powers_of_ten[16];
        const std::uint64_t divisor = seventeen ? 100 : 10;
        const std::uint64_t head = seventeen ? digits / 100 : digits / 10;
        const std::uint64_t rounded = head + (2 * (digits - head * divisor) >= divisor ? 1 : 0);
        const int exponent = reads_as.exponent + (seventeen ? 2 : 1);
        double back = 0;
        if (exactly_rounded({rounded, exponent}, back) && back == value) {
            return without_trailing_zeros({rounded, exponent});
        }
    }
    return {0, 0};
}

bool decimal_to_double(Decimal decimal, double& value) {
    if (exactly_rounded(decimal, value)) return true;
    return nearest_double(decimal.significand, decimal.exponent, value);
}

}  // namespace orvel::json
