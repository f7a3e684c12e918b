// 5^q for every decimal exponent that reading or writing a double can need, each as its
// leading 128 bits (the first bit set) rounded down, computed when compiling from exact
// integers, so no floating point is involved. As 10^q = 5^q × 2^q, these are also the
// leading bits of the powers of ten.
#pragma once

#include <array>
#include <cstdint>

namespace orvel::json::powers_of_five {

constexpr int smallest = -342;
constexpr int largest = 324;

struct Leading128 {
    std::uint64_t high;
    std::uint64_t low;
};

namespace detail {

__extension__ using uint128 = unsigned __int128;

// An unsigned integer of up to 28 × 64 bits, lowest limb first.
struct Wide {
    static constexpr int limb_count = 28;
    std::array<std::uint64_t, limb_count> limbs{};

    constexpr int bit_length() const {
        for (int i = limb_count - 1; i >= 0; --i) {
            if (limbs[i] != 0) return i * 64 + 64 - __builtin_clzll(limbs[i]);
        }
        return 0;
    }
    constexpr void times_five() {
        uint128 carry = 0;
        for (auto& limb : limbs) {
            carry += uint128{limb} * 5;
            limb = static_cast<std::uint64_t>(carry);
            carry >>= 64;
        }
    }
    // Floor division, so repeated steps give the floor of dividing by their product.
    constexpr void over_five() {
        uint128 rest = 0;
        for (int i = limb_count - 1; i >= 0; --i) {
            const uint128 part = (rest << 64) | limbs[i];
            limbs[i] = static_cast<std::uint64_t>(part / 5);
            rest = part % 5;
        }
    }
    // The number divided by 2^by (rounded down), or multiplied by 2^-by when `by` is negative.
    constexpr Wide shifted(int by) const {
        Wide result;
        for (int i = 0; i < limb_count; ++i) {
            const int from = i * 64 + by;  // the bit that lands at bit 0 of limb i
            const int limb = from >= 0 ? from / 64 : (from - 63) / 64;
            const int offset = from - limb * 64;
            const std::uint64_t low = limb >= 0 && limb < limb_count ? limbs[limb] : 0;
            const std::uint64_t high = limb + 1 >= 0 && limb + 1 < limb_count ? limbs[limb + 1] : 0;
            result.limbs[i] = offset == 0 ? low : (low >> offset) | (high << (64 - offset));
        }
        return result;
    }
    // The leading 128 bits, the first of them set.
    constexpr uint128 leading() const {
        const Wide top = shifted(bit_length() - 128);
        return (uint128{top.limbs[1]} << 64) | top.limbs[0];
    }
};

constexpr Leading128 split(uint128 value) {
    return {static_cast<std::uint64_t>(value >> 64), static_cast<std::uint64_t>(value)};
}

constexpr auto make_table() {
    std::array<Leading128, largest - smallest + 1> table{};
    Wide power;
    power.limbs[0] = 1;
    for (int q = 0; q <= largest; ++q) {
        table[q - smallest] = split(power.leading());
        power.times_five();
    }
    // 5^q for negative q is 1 / 5^-q: the leading bits of floor(2^1791 / 5^-q), kept by
    // dividing by five step by step, which rounds down exactly as one division would.
    Wide quotient;
    quotient.limbs[Wide::limb_count - 1] = std::uint64_t{1} << 63;
    for (int q = -1; q >= smallest; --q) {
        quotient.over_five();
        table[q - smallest] = split(quotient.leading());
    }
    return table;
}

}  // namespace detail

inline constexpr auto table = detail::make_table();

constexpr Leading128 rounded_down(int q) { return table[static_cast<std::size_t>(q - smallest)]; }

// One unit of the last bit above: always greater than the true value.
constexpr Leading128 just_above(int q) {
    const Leading128 down = rounded_down(q);
    return {down.high + (down.low == ~std::uint64_t{0} ? 1 : 0), down.low + 1};
}

}  // namespace orvel::json::powers_of_five
