// The ordered key index against a plain ordered set, across many runs: keys arriving in
// order, in reverse and at random, removals that empty and merge runs, and byte order.
#include <algorithm>
#include <list>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "check.hpp"
#include "key_index.hpp"

using namespace orvel;

namespace {

using Keys = std::vector<std::string>;

// Owns the keys, as the store's map does, and mirrors every change in a model.
struct Indexed {
    KeyIndex index;
    std::list<std::string> owned;
    std::set<std::string> model;

    void insert(const std::string& key) {
        if (!model.insert(key).second) return;
        index.insert(owned.emplace_back(key));
    }
    void erase(const std::string& key) {
        index.erase(key);
        model.erase(key);
    }
    Keys expected(std::string_view prefix) const {
        Keys keys;
        for (const auto& key : model) {
            if (key.starts_with(prefix)) keys.push_back(key);
        }
        return keys;
    }
};

std::string key_of(int serial) {
    std::string key = "k";
    key += std::to_string(serial);
    return key;
}

// Every listing the index gives agrees with the model, for prefixes of every length.
bool agrees(const Indexed& indexed) {
    if (indexed.index.size() != indexed.model.size()) return false;
    for (std::string_view prefix : {"", "k", "k1", "k12", "k123", "k9999", "j", "l", "k5"}) {
        if (indexed.index.starting_with(prefix) != indexed.expected(prefix)) return false;
    }
    return true;
}

void orders_of_arrival() {
    constexpr int count = 5 * static_cast<int>(KeyIndex::run_capacity) + 7;
    std::vector<int> ascending(count), descending(count), shuffled(count);
    for (int i = 0; i < count; ++i) ascending[i] = i;
    std::reverse_copy(ascending.begin(), ascending.end(), descending.begin());
    shuffled = ascending;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    for (const auto* order : {&ascending, &descending, &shuffled}) {
        Indexed indexed;
        for (int serial : *order) indexed.insert(key_of(serial));
        CHECK(agrees(indexed));
        CHECK_EQ(indexed.index.starting_with("").size(), static_cast<std::size_t>(count));
    }
}

void removals_empty_and_merge_runs() {
    constexpr int count = 4 * static_cast<int>(KeyIndex::run_capacity);
    Indexed indexed;
    for (int serial = 0; serial < count; ++serial) indexed.insert(key_of(serial));
    std::mt19937 random(11);
    std::vector<int> serials(count);
    for (int i = 0; i < count; ++i) serials[i] = i;
    std::shuffle(serials.begin(), serials.end(), random);
    for (int i = 0; i < count; ++i) {
        indexed.erase(key_of(serials[i]));
        if (i % 97 == 0) CHECK(agrees(indexed));
        // Keys come back in between, so removal and insertion interleave.
        if (i % 5 == 0) indexed.insert(key_of(serials[i / 2]));
    }
    CHECK(agrees(indexed));
    for (const auto& key : Keys(indexed.model.begin(), indexed.model.end())) indexed.erase(key);
    CHECK_EQ(indexed.index.size(), 0u);
    CHECK(indexed.index.starting_with("").empty());
}

void absent_keys_and_byte_order() {
    Indexed indexed;
    for (const char* key : {"b", "", "a", "ab", "A", "\xc3\xa9", "a\x7f"}) indexed.insert(key);
    CHECK_EQ(indexed.index.starting_with("").size(), 7u);
    CHECK(indexed.index.starting_with("") == (Keys{"", "A", "a", "ab", "a\x7f", "b", "\xc3\xa9"}));
    CHECK(indexed.index.starting_with("a") == (Keys{"a", "ab", "a\x7f"}));
    CHECK(indexed.index.starting_with("abc").empty());
    CHECK(indexed.index.starting_with("\xc3").size() == 1u);
    indexed.index.erase("zz");
    indexed.index.erase("aa");
    CHECK_EQ(indexed.index.size(), 7u);
    indexed.erase("");
    CHECK(indexed.index.starting_with("") == (Keys{"A", "a", "ab", "a\x7f", "b", "\xc3\xa9"}));
}

}  // namespace

int main() {
    orders_of_arrival();
    removals_empty_and_merge_runs();
    absent_keys_and_byte_order();
    return check::report("key_index");
}
