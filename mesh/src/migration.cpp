#include "migration.hpp"

#include <array>

#include "json/json.hpp"

namespace orvel {
namespace {

constexpr std::array<std::string_view, 7> stage_names{
    "idle", "shadow_write", "shadow_read", "dual_read", "new_primary", "cleanup", "done",
};

}  // namespace

std::string_view stage_name(MigrationStage stage) { return stage_names[static_cast<std::size_t>(stage)]; }

void append_json(std::string& out, const MigrationState& state) {
    json::ObjectWriter record(out);
    json::append_string(record.field<"variable_name">(), state.variable_name);
    json::append_string(record.field<"source_backend">(), state.source_backend);
    json::append_string(record.field<"target_backend">(), state.target_backend);
    json::append_uint(record.field<"stage">(), static_cast<std::uint64_t>(state.stage));
    record.text_field<"stage_name">() += stage_name(state.stage);
    append_rfc3339(record.text_field<"started_at">(), state.started_at);
    append_rfc3339(record.text_field<"advanced_at">(), state.advanced_at);
    json::append_uint(record.field<"discrepancy_count">(), state.discrepancy_count);
    json::append_uint(record.field<"keys_migrated">(), state.keys_migrated);
    json::append_string(record.field<"app_name">(), state.app_name);
    record.close();
}

}  // namespace orvel
