// The key/value store where Python cannot reach: raw bytes in keys, the index kept in
// step with the table, and values shared rather than copied.
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "check.hpp"
#include "state.hpp"

using namespace orvel;

namespace {

using Keys = std::vector<std::string>;

std::string text_of(StateStore& store, std::string_view key) {
    auto value = store.get(HashedText::hashed(key));
    if (!value.ok()) return "<error " + value.error().message() + ">";
    return *value ? std::string((*value)->view()) : "<absent>";
}

Keys keys_of(StateStore& store, std::string_view prefix) {
    auto keys = store.keys(prefix);
    return keys.ok() ? keys.value() : Keys{"<error>"};
}

std::string joined(const Keys& keys) {
    std::string text;
    for (const auto& key : keys) text += "[" + key + "]";
    return text;
}

void replacing_keeps_count_and_earlier_copies() {
    StateStore store;
    CHECK(store.set("k", "[1]").ok());
    auto before = store.get("k");
    CHECK(store.set("k", "{\"x\":true}").ok());
    CHECK_EQ(store.key_count(), 1u);
    CHECK_EQ(text_of(store, "k"), std::string("{\"x\":true}"));
    // What was handed out earlier is a copy: the replacement does not reach it.
    CHECK_EQ(std::string((*before)->view()), std::string("[1]"));
}

void listing_by_prefix() {
    StateStore store;
    for (const char* key : {"a", "ab", "b", "A", "", "\xc3\xa9", "z", "a\xff"}) CHECK(store.set(key, "0").ok());
    struct Case {
        std::string prefix;
        Keys expected;
    };
    // Bytes compare unsigned: the two-byte letter and 0xff sort after every ASCII byte.
    const Case cases[] = {
        {"", {"", "A", "a", "ab", "a\xff", "b", "z", "\xc3\xa9"}},
        {"a", {"a", "ab", "a\xff"}},
        {"abc", {}},
        {"\xc3", {"\xc3\xa9"}},
        {"A", {"A"}},
        {"{", {}},
    };
    for (const Case& c : cases) CHECK_EQ(joined(keys_of(store, c.prefix)), joined(c.expected));
}

// The index must stay in step with the table through any mix of sets and removes.
void index_follows_the_table() {
    StateStore store;
    std::map<std::string, int> model;
    std::mt19937 random(12345);
    const std::string alphabet = "ab\x7f\xc3";
    auto random_key = [&] {
        std::string key;
        const int length = static_cast<int>(random() % 4);
        for (int i = 0; i < length; ++i) key += alphabet[random() % alphabet.size()];
        return key;
    };
    for (int step = 0; step < 4000; ++step) {
        const std::string key = random_key();
        if (random() % 3 == 0) {
            CHECK(store.remove(key).ok());
            model.erase(key);
        } else {
            CHECK(store.set(key, std::to_string(step)).ok());
            model[key] = step;
        }
    }
    CHECK_EQ(store.key_count(), model.size());
    for (const std::string prefix : {"", "a", "b", "\x7f", "\xc3", "ab", "\xc3\xc3"}) {
        Keys expected;
        for (const auto& [key, step] : model) {
            if (key.starts_with(prefix)) expected.push_back(key);
        }
        CHECK_EQ(joined(keys_of(store, prefix)), joined(expected));
    }
    for (const auto& [key, step] : model) CHECK_EQ(text_of(store, key), std::to_string(step));
}

}  // namespace

int main() {
    replacing_keeps_count_and_earlier_copies();
    listing_by_prefix();
    index_follows_the_table();
    return check::report("state");
}
