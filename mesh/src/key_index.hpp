// An ordered index of keys owned by someone else (the nodes of a hash map, which never
// move). Sorted runs of pointers cost about one pointer per key, where a tree costs a
// node of four words or more; at a million keys that is most of a key's footprint.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orvel {

class KeyIndex {
public:
    // Allocates what the next insert() may need, so that it cannot fail.
    void reserve_one();
    // `key` must outlive its entry and must not be in the index yet. Allocates only when
    // reserve_one() has not been called since the last insert.
    void insert(const std::string& key);
    // Does nothing when `key` is not in the index.
    void erase(std::string_view key);
    // Copies of the keys starting with `prefix`, in ascending byte order.
    std::vector<std::string> starting_with(std::string_view prefix) const;
    std::size_t size() const { return size_; }

    // A run splits when it would grow past this; neighbours merge below half of it.
    static constexpr std::size_t run_capacity = 512;

private:
    using Run = std::vector<const std::string*>;

    // The first run whose last key is not below `key`, or runs_.size().
    std::size_t run_for(std::string_view key) const;

    // Every run is sorted, none is empty, and each run's keys are below the next run's.
    std::vector<Run> runs_;
    // An empty run with its room reserved, for the next insert that needs a new run.
    Run spare_;
    std::size_t size_ = 0;
};

}  // namespace orvel
