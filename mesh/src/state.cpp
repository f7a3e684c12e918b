#include "state.hpp"

#include "fault.hpp"
#include "json/json.hpp"

namespace orvel {
namespace {

MeshError poisoned() { return MeshError::state("state lock poisoned"); }

}  // namespace

Result<std::optional<SharedText>> StateStore::get(HashedText key) {
    auto table = table_.read();
    if (!table) return poisoned();
    fault::point("state.get");
    auto found = (*table)->values.find(key);
    if (found == (*table)->values.end()) return std::optional<SharedText>();
    return std::optional<SharedText>(found->second);
}

Result<void> StateStore::set(HashedText key, std::string_view value_json) {
    std::string_view canonical;
    if (auto error = json::canonicalize(value_json, canonical)) return MeshError::serialization(error->text());
    SharedText value(canonical);

    auto table = table_.write();
    if (!table) return poisoned();
    fault::point("state.set");
    auto& values = (*table)->values;
    auto found = values.find(key);
    if (found != values.end()) {
        found->second = std::move(value);
        return {};
    }
    auto entry = detached_entry<SharedText>(key, std::move(value));
    reserve_one_more(values);
    (*table)->order.reserve_one();
    table->begin_change();
    // The index points at the key inside the table's own entry.
    (*table)->order.insert(values.insert(std::move(entry)).position->first.text);
    return {};
}

Result<void> StateStore::remove(HashedText key) {
    // Deleting what is not there is common and needs no exclusive hold.
    const auto present = table_.peek([&](const auto& table) { return table.values.contains(key); });
    if (!present) return poisoned();
    if (!*present) return {};
    auto table = table_.write();
    if (!table) return poisoned();
    fault::point("state.remove");
    auto found = (*table)->values.find(key);
    if (found == (*table)->values.end()) return {};
    // The index points at the node's key: drop the pointer before the node.
    (*table)->order.erase(found->first.text);
    (*table)->values.erase(found);
    return {};
}

Result<bool> StateStore::exists(HashedText key) {
    auto table = table_.read();
    if (!table) return poisoned();
    return (*table)->values.contains(key);
}

Result<std::vector<std::string>> StateStore::keys(std::string_view prefix) {
    auto table = table_.read();
    if (!table) return poisoned();
    return (*table)->order.starting_with(prefix);
}

std::uint64_t StateStore::key_count() {
    auto table = table_.read();
    return table ? (*table)->values.size() : 0;
}

}  // namespace orvel
