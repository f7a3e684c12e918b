#include "migrations.hpp"

#include <limits>
#include <utility>
#include <vector>

#include "fault.hpp"
#include "json/json.hpp"

namespace orvel {
namespace {

MeshError poisoned() { return MeshError::migration("lock poisoned"); }

MeshError not_in_progress(std::string_view variable_name) {
    return MeshError::migration("No migration in progress for '" + std::string(variable_name) + "'");
}

bool complete(const MigrationState& state) { return state.stage == MigrationStage::Done; }

MigrationStage next(MigrationStage stage) { return static_cast<MigrationStage>(static_cast<std::uint8_t>(stage) + 1); }
MigrationStage previous(MigrationStage stage) { return static_cast<MigrationStage>(static_cast<std::uint8_t>(stage) - 1); }

// A total that stops at the largest value rather than wrapping to a small, wrong one.
std::uint64_t saturating_add(std::uint64_t total, std::uint64_t amount) {
    std::uint64_t sum;
    return __builtin_add_overflow(total, amount, &sum) ? std::numeric_limits<std::uint64_t>::max() : sum;
}

std::string to_json(const MigrationState& state) {
    std::string text;
    append_json(text, state);
    return text;
}

}  // namespace

MigrationEngine::MigrationEngine(std::string app_name) : app_name_(std::move(app_name)) {}

PendingChange MigrationEngine::replace(WriteGuard<Table> table, MigrationState& record, MigrationState changed) {
    std::string text = to_json(changed);
    return PendingChange(std::move(table), std::move(text),
                         [&record, changed = std::move(changed)](Table&) mutable { record = std::move(changed); });
}

Result<PendingChange> MigrationEngine::start(HashedText variable, std::string_view source_backend,
                                             std::string_view target_backend) {
    auto table = table_.write();
    if (!table) return poisoned();
    fault::point("migrations.start");
    Table& records = **table;
    auto found = records.find(variable);
    if (found != records.end() && !complete(found->second)) {
        const MigrationState& active = found->second;
        return MeshError::migration("Migration for '" + std::string(variable.text) + "' already in progress at stage " +
                                    std::to_string(static_cast<unsigned>(active.stage)) + " (" +
                                    std::string(stage_name(active.stage)) + ")");
    }
    MigrationState started;
    started.variable_name = variable.text;
    started.source_backend = source_backend;
    started.target_backend = target_backend;
    started.stage = MigrationStage::ShadowWrite;
    started.started_at = now();
    started.advanced_at = started.started_at;
    started.app_name = app_name_;
    if (found != records.end()) return replace(std::move(*table), found->second, std::move(started));

    std::string text = to_json(started);
    auto record = detached_entry<MigrationState>(variable, std::move(started));
    reserve_one_more(records);
    return PendingChange(std::move(*table), std::move(text),
                         [record = std::move(record)](Table& changed) mutable { changed.insert(std::move(record)); });
}

Result<PendingChange> MigrationEngine::advance(HashedText variable, std::uint64_t discrepancy_count,
                                               std::uint64_t keys_migrated) {
    auto table = table_.write();
    if (!table) return poisoned();
    fault::point("migrations.advance");
    auto found = (*table)->find(variable);
    if (found == (*table)->end()) return not_in_progress(variable.text);
    if (complete(found->second)) {
        return MeshError::migration("Migration for '" + std::string(variable.text) + "' is already complete");
    }
    MigrationState advanced = found->second;
    advanced.stage = next(advanced.stage);
    advanced.advanced_at = now();
    advanced.discrepancy_count = saturating_add(advanced.discrepancy_count, discrepancy_count);
    advanced.keys_migrated = saturating_add(advanced.keys_migrated, keys_migrated);
    return replace(std::move(*table), found->second, std::move(advanced));
}

Result<PendingChange> MigrationEngine::rollback(HashedText variable) {
    auto table = table_.write();
    if (!table) return poisoned();
    fault::point("migrations.rollback");
    auto found = (*table)->find(variable);
    if (found == (*table)->end()) return not_in_progress(variable.text);
    if (found->second.stage == MigrationStage::Idle) {
        return MeshError::migration("Already at initial stage \u2014 cannot roll back further");
    }
    if (complete(found->second)) return MeshError::migration("Cannot roll back a completed migration");
    MigrationState rolled_back = found->second;
    rolled_back.stage = previous(rolled_back.stage);
    rolled_back.advanced_at = now();
    return replace(std::move(*table), found->second, std::move(rolled_back));
}

// The copy is made only once found: a miss does not even make an empty record.
Result<std::optional<std::string>> MigrationEngine::get(HashedText variable) {
    auto table = table_.read();
    if (!table) return poisoned();
    fault::point("migrations.get");
    auto found = (*table)->find(variable);
    if (found == (*table)->end()) return std::optional<std::string>();
    const MigrationState copy = found->second;
    table.reset();
    return std::optional<std::string>(to_json(copy));
}

Result<std::string> MigrationEngine::list() {
    std::vector<MigrationState> copies;
    {
        auto table = table_.read();
        if (!table) return poisoned();
        copies.reserve((*table)->size());
        for (const auto& entry : **table) copies.push_back(entry.second);
    }
    std::string text;
    json::ArrayWriter list(text);
    for (const MigrationState& state : copies) append_json(list.next(), state);
    list.close();
    return text;
}

std::uint64_t MigrationEngine::active_count() {
    auto table = table_.read();
    if (!table) return 0;
    std::uint64_t active = 0;
    for (const auto& entry : **table) active += complete(entry.second) ? 0 : 1;
    return active;
}

}  // namespace orvel
