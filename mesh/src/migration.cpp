#include "migration.hpp"

#include <array>

#include "json.hpp"

namespace orvel {
namespace {

constexpr std::array<std::string_view, 7> stage_names{
    "idle", "shadow_write", "shadow_read", "dual_read", "new_primary", "cleanup", "done",
};

// Timestamp text never needs escaping.
void append_timestamp(std::string& out, Timestamp moment) {
    out += '"';
    append_rfc3339(out, moment);
    out += '"';
}

}  // namespace

std::string_view stage_name(MigrationStage stage) { return stage_names[static_cast<std::size_t>(stage)]; }

void append_json(std::string& out, const MigrationState& state) {
    json::ObjectWriter record(out);
    json::append_string(record["variable_name"], state.variable_name);
    json::append_string(record["source_backend"], state.source_backend);
    json::append_string(record["target_backend"], state.target_backend);
    json::append_uint(record["stage"], static_cast<std::uint64_t>(state.stage));
    json::append_string(record["stage_name"], stage_name(state.stage));
    append_timestamp(record["started_at"], state.started_at);
    append_timestamp(record["advanced_at"], state.advanced_at);
    json::append_uint(record["discrepancy_count"], state.discrepancy_count);
    json::append_uint(record["keys_migrated"], state.keys_migrated);
    json::append_string(record["app_name"], state.app_name);
    record.close();
}

}  // namespace orvel
