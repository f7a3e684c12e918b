// A storage variable's migration record and its seven stages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "clock.hpp"

namespace orvel {

enum class MigrationStage : std::uint8_t { Idle, ShadowWrite, ShadowRead, DualRead, NewPrimary, Cleanup, Done };

std::string_view stage_name(MigrationStage stage);

struct MigrationState {
    std::string variable_name;
    std::string source_backend;
    std::string target_backend;
    MigrationStage stage = MigrationStage::ShadowWrite;
    Timestamp started_at;
    Timestamp advanced_at;
    std::uint64_t discrepancy_count = 0;
    std::uint64_t keys_migrated = 0;
    std::string app_name;
};

// Compact JSON object with members in declared order (stage_name beside stage).
void append_json(std::string& out, const MigrationState& state);

}  // namespace orvel
