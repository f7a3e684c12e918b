#include "json/decimal.hpp"

#include <array>
#include <bit>
#include <charconv>

namespace orvel::json {
namespace {

__extension__ using uint128 = unsigned __int128;

constexpr auto powers_of_ten = [] {
    std::array<uint128, 22> powers{};
    powers[0] = 1;
    for (std::size_t i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * 10;
    return powers;
}();

// Powers of ten that doubles hold exactly.
constexpr auto exact_double_powers = [] {
    std::array<double, 23> powers{};
    powers[0] = 1;
    for (std::size_t i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * 10;
    return powers;
}();

// floor(log10(2^exponent)), exact for |exponent| < 1650.
int floor_log10_pow2(int exponent) { return (exponent * 78913) >> 18; }

// A value N × 2^binary / 10^decimal split into its integer part and what is left below it.
struct Scaled {
    std::uint64_t whole;
    uint128 remainder;    // the fraction is remainder / denominator
    uint128 denominator;
};

// The double is (4·m) × 2^e2 with m its 53-bit significand; its neighbours' midpoints
// are (4·m ± 2) × 2^e2 (the lower one at 4·m − 1 when m is a power of two).
struct Interval {
    std::uint64_t low, value, high;
    int e2;
    bool bounds_included;  // an even significand wins ties when read back, so its midpoints read back as it
};

// The decimal scale 10^t fine enough to hold at least 17 significant digits of the value,
// and the value and its interval at that scale; false when 128 bits do not suffice.
bool scale(const Interval& interval, int leading_power_low, int& t, Scaled (&scaled)[3]) {
    const std::uint64_t numbers[3] = {interval.low, interval.value, interval.high};
    if (interval.e2 < 0) {
        t = leading_power_low - 17;
        if (-t >= static_cast<int>(powers_of_ten.size())) return false;
        const int shift = -interval.e2;
        const uint128 mask = (uint128{1} << shift) - 1;
        for (int i = 0; i < 3; ++i) {
            const uint128 n = numbers[i] * powers_of_ten[static_cast<std::size_t>(-t)];
            scaled[i] = {static_cast<std::uint64_t>(n >> shift), n & mask, uint128{1} << shift};
        }
        return true;
    }
    t = leading_power_low > 17 ? leading_power_low - 17 : 0;
    if (interval.e2 > 60 || t > 19) return false;
    const uint128 divisor = powers_of_ten[static_cast<std::size_t>(t)];
    for (int i = 0; i < 3; ++i) {
        const uint128 n = uint128{numbers[i]} << interval.e2;
        const uint128 whole = n / divisor;
        scaled[i] = {static_cast<std::uint64_t>(whole), n - whole * divisor, divisor};
    }
    return true;
}

bool exact_shortest(std::uint64_t fraction, int biased_exponent, Decimal& result) {
    const std::uint64_t m = fraction | (std::uint64_t{1} << 52);
    const bool power_of_two_gap = fraction == 0 && biased_exponent > 1;
    const Interval interval{4 * m - (power_of_two_gap ? 1 : 2), 4 * m, 4 * m + 2, biased_exponent - 1075 - 2,
                            (m & 1) == 0};
    int t = 0;
    Scaled scaled[3];
    if (!scale(interval, floor_log10_pow2(biased_exponent - 1023), t, scaled)) return false;
    const Scaled& low = scaled[0];
    const Scaled& value = scaled[1];
    const Scaled& high = scaled[2];

    // The candidates at scale 10^t, then at ever coarser scales while one remains.
    std::uint64_t first = low.whole + (low.remainder == 0 && interval.bounds_included ? 0 : 1);
    std::uint64_t last = high.whole - (high.remainder == 0 && !interval.bounds_included ? 1 : 0);
    // The value follows at the same scale: its last removed digit and whether everything
    // below that was zero decide its rounding.
    std::uint64_t closest = value.whole;
    int removed = 0;
    int last_removed = -1;
    bool zeros_below = value.remainder == 0;
    // Four digits at a time while all four can go (as they would one by one), then one.
    while (last / 10000 >= (first + 9999) / 10000) {
        last /= 10000;
        first = (first + 9999) / 10000;
        zeros_below = zeros_below && last_removed <= 0 && closest % 1000 == 0;
        last_removed = static_cast<int>(closest / 1000 % 10);
        closest /= 10000;
        removed += 4;
    }
    while (last / 10 >= (first + 9) / 10) {
        last /= 10;
        first = (first + 9) / 10;
        zeros_below = zeros_below && last_removed <= 0;
        last_removed = static_cast<int>(closest % 10);
        closest /= 10;
        ++removed;
    }

    // The candidate closest to the value, ties to even.
    int against_half = 0;
    if (last_removed < 0) {
        const uint128 twice = value.remainder * 2;
        against_half = twice < value.denominator ? -1 : twice > value.denominator ? 1 : 0;
    } else {
        against_half = last_removed < 5 ? -1 : last_removed > 5 || !zeros_below ? 1 : 0;
    }
    if (against_half > 0 || (against_half == 0 && (closest & 1))) ++closest;
    if (closest < first) closest = first;
    if (closest > last) closest = last;
    result = {closest, t + removed};
    return true;
}

// Subnormals and far exponents: the library's shortest scientific form, taken apart.
Decimal library_shortest(double value) {
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
    Decimal decimal{0, 0};
    const char* at = text;
    int fraction_digits = 0;
    bool in_fraction = false;
    for (; *at != 'e'; ++at) {
        if (*at == '.') {
            in_fraction = true;
            continue;
        }
        decimal.significand = decimal.significand * 10 + static_cast<std::uint64_t>(*at - '0');
        if (in_fraction) ++fraction_digits;
    }
    ++at;
    if (*at == '+') ++at;
    std::from_chars(at, written.ptr, decimal.exponent);
    decimal.exponent -= fraction_digits;
    return decimal;
}

}  // namespace

Decimal shortest_decimal(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    const auto biased_exponent = static_cast<int>(bits >> 52);
    Decimal result{};
    if (biased_exponent != 0 && exact_shortest(fraction, biased_exponent, result)) return result;
    return library_shortest(value);
}

bool decimal_to_double(Decimal decimal, double& value) {
    const std::uint64_t significand = decimal.significand;
    const int exponent = decimal.exponent;
    // Both operands exact, so the one rounding of the operation is the only one.
    if (significand <= std::uint64_t{1} << 53 && exponent >= -22 && exponent <= 22) {
        const double whole = static_cast<double>(significand);
        value = exponent >= 0 ? whole * exact_double_powers[static_cast<std::size_t>(exponent)]
                              : whole / exact_double_powers[static_cast<std::size_t>(-exponent)];
        return true;
    }
    // The exact product rounded once by the conversion.
    if (exponent >= 0 && exponent < 20) {
        value = static_cast<double>(significand * powers_of_ten[static_cast<std::size_t>(exponent)]);
        return true;
    }
    // At least 64 quotient bits, and a sticky bit for a nonzero remainder, round once.
    if (exponent < 0 && exponent > -20) {
        const int shift = std::countl_zero(significand) + 64;
        const uint128 numerator = uint128{significand} << shift;
        const uint128 divisor = powers_of_ten[static_cast<std::size_t>(-exponent)];
        uint128 quotient = numerator / divisor;
        if (numerator - quotient * divisor != 0) quotient |= 1;
        // Its top 64 bits, with a sticky bit for any below, round alike in the 64-bit
        // conversion (which is native, unlike the 128-bit one).
        const auto high = static_cast<std::uint64_t>(quotient >> 64);
        const int dropped = high == 0 ? 0 : 64 - std::countl_zero(high);
        const uint128 below = dropped == 0 ? 0 : quotient & ((uint128{1} << dropped) - 1);
        const auto top = static_cast<std::uint64_t>(quotient >> dropped) | (below != 0 ? 1 : 0);
        // 2^(dropped - shift) is a normal double, so scaling by it is exact.
        value = static_cast<double>(top) * std::bit_cast<double>(std::uint64_t(1023 + dropped - shift) << 52);
        return true;
    }
    return false;
}

}  // namespace orvel::json
