// Hash tables keyed by text, hashed with a key drawn from the OS random source once
// per process, so crafted keys cannot force collisions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace orvel {

struct SipKey {
    std::uint64_t k0;
    std::uint64_t k1;
};

// Drawn from the OS random source once per process.
extern const SipKey process_key;

// SipHash-1-3 of the text under this process's key.
std::uint64_t keyed_hash(std::string_view text) noexcept;

// A hash already made from a text, unpredictable without the secret it was made with,
// mixed with this process's key, so that seeing the given hashes does not tell where keys
// land: a 64-bit multiply-xorshift finaliser around k0, each bit of the result depending on
// every bit of both. Inline, as it runs for every key of every call.
inline std::uint64_t keyed_mix(std::uint64_t hash) noexcept {
    std::uint64_t x = hash ^ process_key.k0;
    x = (x ^ (x >> 33)) * 0xff51afd7ed558ccdULL;
    x = (x ^ (x >> 33)) * 0xc4ceb9fe1a85ec53ULL;
    return (x ^ (x >> 33)) + process_key.k1;
}

struct SeededHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept { return static_cast<std::size_t>(keyed_hash(text)); }
};

template <class Value>
using StringMap = std::unordered_map<std::string, Value, SeededHash, std::equal_to<>>;

// A key as the caller hands it in: its text and its hash, made once by the caller (the
// Python interface takes the interpreter's cached hash of the `str`), so that neither a
// lookup nor a rehash reads the text for hashing. Every key of one table must be hashed
// the same way; a literal or a std::string, as C++ callers write them, is hashed with
// keyed_hash.
struct HashedText {
    std::string_view text;
    std::uint64_t hash = 0;

    HashedText() = default;
    HashedText(std::string_view text, std::uint64_t hash) : text(text), hash(hash) {}
    HashedText(const char* text) : HashedText(hashed(text)) {}
    HashedText(const std::string& text) : HashedText(hashed(text)) {}
    static HashedText hashed(std::string_view text) { return {text, keyed_hash(text)}; }
};

// The key a table keeps: the text and the hash it came with.
struct TableKey {
    std::string text;
    std::uint64_t hash;

    explicit TableKey(HashedText key) : text(key.text), hash(key.hash) {}
};

struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(const TableKey& key) const noexcept { return static_cast<std::size_t>(key.hash); }
    std::size_t operator()(HashedText key) const noexcept { return static_cast<std::size_t>(key.hash); }
};

struct KeyEqual {
    using is_transparent = void;
    template <class A, class B>
    bool operator()(const A& a, const B& b) const noexcept {
        return a.hash == b.hash && std::string_view(a.text) == std::string_view(b.text);
    }
};

// A table of the keys callers hand in (agent ids, state keys, variable and topic names).
template <class Value>
using KeyedMap = std::unordered_map<TableKey, Value, KeyHash, KeyEqual>;

// An entry made apart from any table, so that the allocations it needs happen before a
// change begins: inserting it into a table with room for it allocates nothing.
template <class Value, class... Args>
typename KeyedMap<Value>::node_type detached_entry(HashedText key, Args&&... value) {
    KeyedMap<Value> scratch;
    const auto made = scratch.try_emplace(TableKey(key), std::forward<Args>(value)...).first;
    return scratch.extract(made);
}

// Gives `map` room for one more entry, so that inserting it cannot rehash and so cannot fail.
// A table rehashes only to go past max_load_factor() times its buckets (or, when empty, to
// reach it). Only then is room made, for twice as many entries as the table grows by itself:
// reserve() gives no more than asked, and may also shrink a table.
template <class Map>
void reserve_one_more(Map& map) {
    if (static_cast<double>(map.size() + 1) >= map.max_load_factor() * static_cast<double>(map.bucket_count())) {
        map.reserve(2 * (map.size() + 1));
    }
}

}  // namespace orvel
