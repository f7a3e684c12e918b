#include "agent.hpp"

#include <array>

#include "json.hpp"
#include "quote.hpp"

namespace orvel {
namespace {

constexpr std::array<std::string_view, agent_status_count> status_names = {
    "starting", "running", "idle", "stopping", "stopped", "error",
};

// Timestamp text holds only digits, signs, '-', ':', '.', 'T': nothing to escape.
void append_timestamp_member(std::string& out, std::string_view name, Timestamp moment) {
    out += ",\"";
    out += name;
    out += "\":\"";
    append_rfc3339(out, moment);
    out += '"';
}

}  // namespace

std::string_view status_name(AgentStatus status) { return status_names[static_cast<std::size_t>(status)]; }

std::optional<AgentStatus> parse_status(std::string_view text) {
    for (std::size_t index = 0; index < status_names.size(); ++index) {
        if (status_names[index] == text) return static_cast<AgentStatus>(index);
    }
    return std::nullopt;
}

std::string unknown_status_message(std::string_view text) {
    std::string message = "Unknown status ";
    append_quoted(message, text);
    message += ". Valid values: starting, running, idle, stopping, stopped, error";
    return message;
}

void append_json(std::string& out, const AgentEntry& entry) {
    out += "{\"agent_id\":";
    json::append_string(out, entry.agent_id);
    out += ",\"agent_type\":";
    json::append_string(out, entry.agent_type);
    out += ",\"status\":\"";
    out += status_name(entry.status);
    out += "\",\"instance\":";
    json::append_uint(out, entry.instance);
    append_timestamp_member(out, "registered_at", entry.registered_at);
    append_timestamp_member(out, "last_active", entry.last_active);
    out += ",\"metadata\":";
    out += entry.metadata.view();
    out += '}';
}

}  // namespace orvel
