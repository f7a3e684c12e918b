// The key/value store: stored values in canonical form, the byte-ordered key index,
// and poisoning.
#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "check.hpp"
#include "error.hpp"
#include "fault.hpp"
#include "state.hpp"

using namespace orvel;

namespace {

using Keys = std::vector<std::string>;

std::string text_of(StateStore& store, std::string_view key) {
    auto value = store.get(key);
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

void stores_canonical_text() {
    struct Case {
        const char* stored;
        const char* read_back;
    };
    const Case cases[] = {
        {"null", "null"},
        {" 5 ", "5"},
        {"{\"b\": 1, \"a\": [1, 2.50]}", "{\"a\":[1,2.5],\"b\":1}"},
        {"{\"a\":1,\"a\":2}", "{\"a\":2}"},
        {"\"\\u0009\\\"\\u00e9\"", "\"\\t\\\"\xc3\xa9\""},
    };
    for (const Case& c : cases) {
        StateStore store;
        CHECK(store.set("k", c.stored).ok());
        CHECK_EQ(text_of(store, "k"), std::string(c.read_back));
    }
}

void absent_and_null_keys() {
    StateStore store;
    CHECK_EQ(text_of(store, "missing"), std::string("<absent>"));
    CHECK(store.exists("missing").ok() && !store.exists("missing").value());
    CHECK(store.set("n", "null").ok());
    CHECK(store.exists("n").value());
    CHECK(store.remove("missing").ok());
    CHECK_EQ(store.key_count(), 1u);
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

void bad_documents_change_nothing() {
    const char* bad[] = {"", "1 2", "{", "[1,]", "nul"};
    for (const char* text : bad) {
        StateStore store;
        CHECK(store.set("k", "7").ok());
        auto result = store.set("k", text);
        CHECK(!result.ok());
        CHECK(result.error().kind() == ErrorKind::Serialization);
        CHECK(result.error().message().starts_with("Serialization error: "));
        CHECK(store.set("fresh", text).error().kind() == ErrorKind::Serialization);
        CHECK_EQ(text_of(store, "k"), std::string("7"));
        CHECK_EQ(store.key_count(), 1u);
    }
    StateStore store;
    CHECK_EQ(store.set("k", "").error().message().rfind("Serialization error: EOF while parsing a value at line 1 column ", 0),
             0u);
}

void nesting_limit() {
    StateStore store;
    const std::string deepest = std::string(127, '[') + std::string(127, ']');
    const std::string too_deep = std::string(128, '[') + std::string(128, ']');
    CHECK(store.set("deep", deepest).ok());
    CHECK(store.set("deeper", too_deep).error().kind() == ErrorKind::Serialization);
    CHECK_EQ(store.key_count(), 1u);
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

void empty_key_lives_like_any_other() {
    StateStore store;
    CHECK(store.set("", "1").ok());
    CHECK_EQ(text_of(store, ""), std::string("1"));
    CHECK(store.remove("").ok());
    CHECK(!store.exists("").value());
    CHECK_EQ(joined(keys_of(store, "")), std::string());
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

void poisoned_by_an_abandoned_change(const char* site) {
    StateStore store;
    CHECK(store.set("k", "1").ok());
    fault::arm(site);
    bool faulted = false;
    try {
        if (std::string_view(site) == "state.set") {
            (void)store.set("k", "2");
        } else {
            (void)store.remove("k");
        }
    } catch (const InternalFault&) {
        faulted = true;
    }
    CHECK(faulted);
    const std::string poisoned = "State error: state lock poisoned";
    CHECK_EQ(store.get("k").error().message(), poisoned);
    CHECK_EQ(store.set("k", "3").error().message(), poisoned);
    CHECK_EQ(store.remove("k").error().message(), poisoned);
    CHECK_EQ(store.exists("k").error().message(), poisoned);
    CHECK_EQ(store.keys("").error().message(), poisoned);
    CHECK(store.get("k").error().kind() == ErrorKind::State);
    CHECK_EQ(store.key_count(), 0u);
    // Reading the payload still comes first: a bad document is a serialization error.
    CHECK(store.set("k", "{").error().kind() == ErrorKind::Serialization);
}

void abandoned_read_does_not_poison() {
    StateStore store;
    CHECK(store.set("k", "1").ok());
    fault::arm("state.get");
    bool faulted = false;
    try {
        (void)store.get("k");
    } catch (const InternalFault&) {
        faulted = true;
    }
    CHECK(faulted);
    CHECK_EQ(text_of(store, "k"), std::string("1"));
    CHECK(store.set("k", "2").ok());
    CHECK_EQ(store.key_count(), 1u);
}

}  // namespace

int main() {
    stores_canonical_text();
    absent_and_null_keys();
    replacing_keeps_count_and_earlier_copies();
    bad_documents_change_nothing();
    nesting_limit();
    listing_by_prefix();
    empty_key_lives_like_any_other();
    index_follows_the_table();
    poisoned_by_an_abandoned_change("state.set");
    poisoned_by_an_abandoned_change("state.remove");
    abandoned_read_does_not_poison();
    return check::report("state");
}
