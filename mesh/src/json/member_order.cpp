#include "json/member_order.hpp"

#include <algorithm>

namespace orvel::json {

std::uint64_t name_prefix(std::string_view name) {
    std::uint64_t prefix = 0;
    const std::size_t size = name.size() < 8 ? name.size() : 8;
    for (std::size_t i = 0; i < size; ++i) prefix |= std::uint64_t{static_cast<unsigned char>(name[i])} << (56 - 8 * i);
    return prefix;
}

std::span<const std::size_t> MemberOrder::order(std::span<const MemberName> names, std::uint64_t shape) {
    Remembered& remembered = remembered_[shape % remembered_.size()];
    if (remembered.shape == shape && sorts(names, remembered.order)) return remembered.order;
    sort(names);
    // With duplicates fewer members are written, and no later object can reuse the order.
    if (order_.size() == names.size()) {
        remembered.shape = shape;
        remembered.order = order_;
    }
    return order_;
}

// Whether `order` lists every member once with names strictly ascending.
bool MemberOrder::sorts(std::span<const MemberName> names, const std::vector<std::size_t>& order) const {
    if (order.size() != names.size()) return false;
    for (std::size_t k = 1; k < order.size(); ++k) {
        if (!name_less(names[order[k - 1]], names[order[k]])) return false;
    }
    return true;
}

void MemberOrder::sort(std::span<const MemberName> names) {
    entries_.clear();
    for (std::size_t i = 0; i < names.size(); ++i) entries_.push_back({names[i], i});
    std::sort(entries_.begin(), entries_.end(), [](const SortEntry& left, const SortEntry& right) {
        if (name_less(left.name, right.name)) return true;
        if (name_less(right.name, left.name)) return false;
        return left.index < right.index;
    });
    order_.clear();
    for (std::size_t k = 0; k < entries_.size(); ++k) {
        const bool superseded = k + 1 < entries_.size() && !name_less(entries_[k].name, entries_[k + 1].name);
        if (!superseded) order_.push_back(entries_[k].index);
    }
}

}  // namespace orvel::json
