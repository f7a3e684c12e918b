#include "key_index.hpp"

#include <algorithm>
#include <utility>

namespace orvel {
namespace {

bool key_below(const std::string* key, std::string_view other) { return std::string_view(*key) < other; }

}  // namespace

std::size_t KeyIndex::run_for(std::string_view key) const {
    const auto found = std::partition_point(runs_.begin(), runs_.end(),
                                            [&](const Run& run) { return key_below(run.back(), key); });
    return static_cast<std::size_t>(found - runs_.begin());
}

// An insert adds at most one run: it may need the spare run and a place for it.
void KeyIndex::reserve_one() {
    spare_.reserve(run_capacity);
    if (runs_.size() == runs_.capacity()) runs_.reserve(2 * runs_.size() + 1);
}

void KeyIndex::insert(const std::string& key) {
    reserve_one();
    std::size_t index = run_for(key);
    if (index == runs_.size()) {
        // Above every key: a full last run is followed by a new one rather than split,
        // so keys that arrive in order fill their runs completely.
        if (runs_.empty() || runs_.back().size() == run_capacity) runs_.push_back(std::move(spare_));
        index = runs_.size() - 1;
    } else if (runs_[index].size() == run_capacity) {
        Run upper = std::move(spare_);
        const auto middle = runs_[index].begin() + run_capacity / 2;
        upper.assign(middle, runs_[index].end());
        runs_[index].erase(middle, runs_[index].end());
        runs_.insert(runs_.begin() + static_cast<std::ptrdiff_t>(index) + 1, std::move(upper));
        if (key_below(runs_[index].back(), key)) ++index;
    }
    // Every run has room for run_capacity keys from the start, so this allocates nothing.
    Run& run = runs_[index];
    run.insert(std::lower_bound(run.begin(), run.end(), std::string_view(key), key_below), &key);
    ++size_;
}

void KeyIndex::erase(std::string_view key) {
    const std::size_t index = run_for(key);
    if (index == runs_.size()) return;
    Run& run = runs_[index];
    const auto found = std::lower_bound(run.begin(), run.end(), key, key_below);
    if (found == run.end() || std::string_view(**found) != key) return;
    run.erase(found);
    --size_;
    const auto next = runs_.begin() + static_cast<std::ptrdiff_t>(index) + 1;
    if (run.empty()) {
        runs_.erase(next - 1);
    } else if (next != runs_.end() && run.size() + next->size() <= run_capacity / 2) {
        run.insert(run.end(), next->begin(), next->end());
        runs_.erase(next);
    }
}

std::vector<std::string> KeyIndex::starting_with(std::string_view prefix) const {
    std::vector<std::string> keys;
    const std::size_t first = run_for(prefix);
    for (std::size_t index = first; index < runs_.size(); ++index) {
        const Run& run = runs_[index];
        // Every key after the first run is above the prefix already.
        auto key = index == first ? std::lower_bound(run.begin(), run.end(), prefix, key_below) : run.begin();
        for (; key != run.end(); ++key) {
            if (!std::string_view(**key).starts_with(prefix)) return keys;
            keys.emplace_back(**key);
        }
    }
    return keys;
}

}  // namespace orvel
