// What a change relies on: room made beforehand, so that making the change allocates nothing;
// a pending change that is made only when committed; and a write guard that poisons only a
// change abandoned midway.
#include <algorithm>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "check.hpp"
#include "error.hpp"
#include "hash.hpp"
#include "key_index.hpp"
#include "lock.hpp"
#include "pending_change.hpp"

using namespace orvel;

// Every allocation of this program is counted.
namespace {
std::size_t allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
    ++allocations;
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

// Keys in an order that fills, splits and appends runs of the index alike.
std::vector<std::string> shuffled_keys(int count) {
    std::vector<std::string> keys;
    for (int i = 0; i < count; ++i) keys.push_back("key" + std::to_string(i));
    std::shuffle(keys.begin(), keys.end(), std::mt19937(7));
    return keys;
}

void inserting_with_room_made_allocates_nothing() {
    KeyedMap<int> table;
    KeyIndex index;
    std::size_t allocating_inserts = 0;
    for (const std::string& key : shuffled_keys(20 * static_cast<int>(KeyIndex::run_capacity))) {
        auto entry = detached_entry<int>(HashedText::hashed(key), 1);
        reserve_one_more(table);
        index.reserve_one();
        const std::size_t before = allocations;
        index.insert(table.insert(std::move(entry)).position->first.text);
        if (allocations != before) ++allocating_inserts;
    }
    CHECK_EQ(allocating_inserts, 0u);
    CHECK_EQ(index.size(), table.size());
    CHECK(index.starting_with("key1999") == std::vector<std::string>{"key1999"});
}

void a_pending_change_is_made_only_when_committed() {
    Guarded<std::vector<int>> numbers;
    {
        auto table = numbers.write();
        PendingChange dropped(std::move(*table), "one", [](std::vector<int>& list) { list.push_back(1); });
        CHECK_EQ(dropped.result(), std::string("one"));
    }
    CHECK(numbers.read().value()->empty());
    auto table = numbers.write();
    PendingChange pending(std::move(*table), "two", [](std::vector<int>& list) { list.push_back(2); });
    pending.commit();
    CHECK_EQ(numbers.read().value()->size(), 1u);
    CHECK(!numbers.poisoned());
}

// Whether the guard is left poisoned when `failure` unwinds through it, thrown before the
// change has begun or after.
template <class Failure>
bool poisoned_by(Failure failure, bool after_begin) {
    Guarded<int> value;
    try {
        auto table = value.write();
        if (after_begin) table->begin_change();
        throw failure;
    } catch (...) {
    }
    return value.poisoned();
}

void the_guard_poisons_only_a_change_abandoned_midway() {
    CHECK(!poisoned_by(std::bad_alloc(), false));
    CHECK(poisoned_by(InternalFault("broken"), false));
    CHECK(poisoned_by(std::bad_alloc(), true));
    CHECK(poisoned_by(InternalFault("broken"), true));
    // A fault being handled while the guard is taken is not one that abandons it.
    Guarded<int> value;
    try {
        throw InternalFault("handled");
    } catch (const InternalFault&) {
        try {
            auto table = value.write();
            throw std::bad_alloc();
        } catch (const std::bad_alloc&) {
        }
    }
    CHECK(!value.poisoned());
}

}  // namespace

int main() {
    inserting_with_room_made_allocates_nothing();
    a_pending_change_is_made_only_when_committed();
    the_guard_poisons_only_a_change_abandoned_midway();
    return check::report("changes");
}
