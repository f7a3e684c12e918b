// The order in which an object's members are written: ascending name bytes, and of equal
// names only the last given.
#pragma once

#include <array>
#include <bit>
#include <cstring>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace orvel::json {

// A member name with its first eight bytes big-endian and zero-padded: names whose
// prefixes differ are ordered by them alone.
struct MemberName {
    std::uint64_t prefix;
    std::string_view text;
};

std::uint64_t name_prefix(std::string_view name);

// The same for a name whose bytes stay readable up to `readable_end`, which lets the
// prefix be one load when eight bytes are there. Inline, as this and name_less() run
// for every member read.
inline std::uint64_t name_prefix(std::string_view name, const char* readable_end) {
    static_assert(std::endian::native == std::endian::little, "name prefixes are loaded in little-endian order");
    if (readable_end - name.data() < 8) return name_prefix(name);
    std::uint64_t word;
    std::memcpy(&word, name.data(), sizeof word);
    // The name's first byte is the lowest; make it the highest.
    word = ((word & 0x00FF00FF00FF00FFULL) << 8) | ((word >> 8) & 0x00FF00FF00FF00FFULL);
    word = ((word & 0x0000FFFF0000FFFFULL) << 16) | ((word >> 16) & 0x0000FFFF0000FFFFULL);
    word = (word << 32) | (word >> 32);
    return name.size() >= 8 ? word : word & ~(~std::uint64_t{0} >> (8 * name.size()));
}

inline bool name_less(const MemberName& left, const MemberName& right) {
    return left.prefix != right.prefix ? left.prefix < right.prefix : left.text < right.text;
}

// Objects with the same names in the same order recur throughout most documents, so the
// order found for each such shape is remembered and tried first.
class MemberOrder {
public:
    // Indices into `names` (given in text order) of the members to write, in order.
    // `shape` summarises the names; equal name lists must give equal shapes.
    std::span<const std::size_t> order(std::span<const MemberName> names, std::uint64_t shape);

private:
    struct Remembered {
        std::uint64_t shape = 0;
        std::vector<std::size_t> order;
    };
    struct SortEntry {
        MemberName name;
        std::size_t index;  // text position: the later of equal names sorts after
    };

    bool sorts(std::span<const MemberName> names, const std::vector<std::size_t>& order) const;
    void sort(std::span<const MemberName> names);

    std::array<Remembered, 64> remembered_;
    std::vector<SortEntry> entries_;
    std::vector<std::size_t> order_;
};

}  // namespace orvel::json
