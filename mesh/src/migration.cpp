#include "migration.hpp"

#include <array>

#include "json.hpp"

namespace orvel {
namespace {

constexpr std::array<std::string_view, 7> stage_names{
    "idle", "shadow_write", "shadow_read", "dual_read", "new_primary", "cleanup", "done",
};

void append_member_name(std::string& out, std::string_view name) {
    out += '"';
    out += name;
    out += "\":";
}

// Timestamp text never needs escaping.
void append_timestamp(std::string& out, Timestamp moment) {
    out += '"';
    append_rfc3339(out, moment);
    out += '"';
}

}  // namespace

std::string_view stage_name(MigrationStage stage) { return stage_names.at(static_cast<std::size_t>(stage)); }

void append_json(std::string& out, const MigrationState& state) {
    out += '{';
    append_member_name(out, "variable_name");
    json::append_string(out, state.variable_name);
    out += ',';
    append_member_name(out, "source_backend");
    json::append_string(out, state.source_backend);
    out += ',';
    append_member_name(out, "target_backend");
    json::append_string(out, state.target_backend);
    out += ',';
    append_member_name(out, "stage");
    json::append_uint(out, static_cast<std::uint64_t>(state.stage));
    out += ',';
    append_member_name(out, "stage_name");
    json::append_string(out, stage_name(state.stage));
    out += ',';
    append_member_name(out, "started_at");
    append_timestamp(out, state.started_at);
    out += ',';
    append_member_name(out, "advanced_at");
    append_timestamp(out, state.advanced_at);
    out += ',';
    append_member_name(out, "discrepancy_count");
    json::append_uint(out, state.discrepancy_count);
    out += ',';
    append_member_name(out, "keys_migrated");
    json::append_uint(out, state.keys_migrated);
    out += ',';
    append_member_name(out, "app_name");
    json::append_string(out, state.app_name);
    out += '}';
}

}  // namespace orvel
