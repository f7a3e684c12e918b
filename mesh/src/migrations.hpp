// The migration engine: one record per storage variable, moved stage by stage.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "error.hpp"
#include "hash.hpp"
#include "lock.hpp"
#include "migration.hpp"
#include "pending_change.hpp"

namespace orvel {

class MigrationEngine {
public:
    explicit MigrationEngine(std::string app_name);

    // Each change gives the changed record's JSON text and is pending until the caller,
    // having taken the text, commits it.
    Result<PendingChange> start(HashedText variable, std::string_view source_backend,
                                std::string_view target_backend);
    Result<PendingChange> advance(HashedText variable, std::uint64_t discrepancy_count,
                                  std::uint64_t keys_migrated);
    Result<PendingChange> rollback(HashedText variable);
    // The record's JSON text, written after the lock is released.
    Result<std::optional<std::string>> get(HashedText variable);
    Result<std::string> list();

    // Records below "done"; never fails, 0 once poisoned.
    std::uint64_t active_count();

private:
    using Table = KeyedMap<MigrationState>;

    // The record replaced by `changed` once the change is committed.
    static PendingChange replace(WriteGuard<Table> table, MigrationState& record, MigrationState changed);

    std::string app_name_;
    Guarded<Table> table_;
};

}  // namespace orvel
