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

// Counted first, so that the list is made at its size: growing it copy by copy would
// allocate and move its texts again at every doubling. The second walk copies as many keys
// as the first counted, from the same place, comparing nothing.
std::vector<std::string> KeyIndex::starting_with(std::string_view prefix) const {
    const std::size_t first = run_for(prefix);
    if (first == runs_.size()) return {};
    const auto start = std::lower_bound(runs_[first].begin(), runs_[first].end(), prefix, key_below);
    // Calls more(key) for the keys from the first match on, in order, while it says to.
    const auto walk = [&](auto more) {
        auto key = start;
        for (std::size_t index = first; index < runs_.size(); ++index) {
            if (index != first) key = runs_[index].begin();
            for (; key != runs_[index].end(); ++key) {
                if (!more(**key)) return;
            }
        }
    };
    std::size_t count = 0;
    walk([&](const std::string& key) { return std::string_view(key).starts_with(prefix) && ++count; });
    std::vector<std::string> keys;
    if (count == 0) return keys;
    keys.reserve(count);
    walk([&](const std::string& key) {
        keys.push_back(key);
        return keys.size() < count;
    });
    return keys;
}

}  // namespace orvel
