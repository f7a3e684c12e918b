// Hash tables keyed by text, hashed with a key drawn from the OS random source once
// per process, so crafted keys cannot force collisions.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace orvel {

struct SeededHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept;
};

template <class Value>
using StringMap = std::unordered_map<std::string, Value, SeededHash, std::equal_to<>>;

// An entry made apart from any table, so that the allocations it needs happen before a
// change begins: inserting it into a table with room for it allocates nothing.
template <class Value, class... Args>
typename StringMap<Value>::node_type detached_entry(std::string key, Args&&... value) {
    StringMap<Value> scratch;
    const auto made = scratch.try_emplace(std::move(key), std::forward<Args>(value)...).first;
    return scratch.extract(made);
}

// Gives `map` room for one more entry, so that inserting it cannot rehash and so cannot fail.
// A table rehashes only to go past max_load_factor() times its buckets (or, when empty, to
// reach it). Only then is room made, for twice as many entries as the table grows by itself:
// reserve() gives no more than asked, and may also shrink a table.
template <class Value>
void reserve_one_more(StringMap<Value>& map) {
    if (static_cast<double>(map.size() + 1) >= map.max_load_factor() * static_cast<double>(map.bucket_count())) {
        map.reserve(2 * (map.size() + 1));
    }
}

}  // namespace orvel
