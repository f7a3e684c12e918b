// Hash tables keyed by text, hashed with a key drawn from the OS random source once
// per process, so crafted keys cannot force collisions.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace orvel {

struct SeededHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept;
};

template <class Value>
using StringMap = std::unordered_map<std::string, Value, SeededHash, std::equal_to<>>;

}  // namespace orvel
