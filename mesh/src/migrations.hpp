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

namespace orvel {

class MigrationEngine {
public:
    explicit MigrationEngine(std::string app_name);

    // Each returns the record's JSON text, written after the lock is released.
    Result<std::string> start(std::string_view variable_name, std::string_view source_backend,
                              std::string_view target_backend);
    Result<std::string> advance(std::string_view variable_name, std::uint64_t discrepancy_count,
                                std::uint64_t keys_migrated);
    Result<std::string> rollback(std::string_view variable_name);
    Result<std::optional<std::string>> get(std::string_view variable_name);
    Result<std::string> list();

    // Records below "done"; never fails, 0 once poisoned.
    std::uint64_t active_count();

private:
    std::string app_name_;
    Guarded<StringMap<MigrationState>> table_;
};

}  // namespace orvel
