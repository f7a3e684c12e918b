// The shared key/value store of JSON values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "error.hpp"
#include "hash.hpp"
#include "key_index.hpp"
#include "lock.hpp"
#include "shared_text.hpp"

namespace orvel {

class StateStore {
public:
    Result<std::optional<SharedText>> get(HashedText key);
    // Reads `value_json` before taking the lock; a bad document changes nothing.
    Result<void> set(HashedText key, std::string_view value_json);
    Result<void> remove(HashedText key);
    Result<bool> exists(HashedText key);
    // Keys starting with `prefix`, in ascending byte order.
    Result<std::vector<std::string>> keys(std::string_view prefix);

    // Never fails; 0 once poisoned.
    std::uint64_t key_count();

private:
    // Values are kept as their canonical text. `order` points at the keys owned by the
    // map's nodes, which never move, so a prefix listing walks only its matches.
    struct Table {
        KeyedMap<SharedText> values;
        KeyIndex order;
    };
    Guarded<Table> table_;
};

}  // namespace orvel
