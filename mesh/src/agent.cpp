#include "agent.hpp"

#include <array>

#include "json/json.hpp"
#include "text/quote.hpp"

namespace orvel {
namespace {

constexpr std::array<std::string_view, agent_status_count> status_names = {
    "starting", "running", "idle", "stopping", "stopped", "error",
};

// Room for the fixed members and two fractional timestamps, so the text is built in
// one allocation unless strings need escapes.
std::size_t json_size_estimate(const AgentEntry& entry) {
    return 192 + entry.agent_id.size() + entry.agent_type.size() + entry.metadata.view().size();
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
    json::reserve_more(out, json_size_estimate(entry));
    json::ObjectWriter record(out);
    json::append_string(record.field<"agent_id">(), entry.agent_id);
    json::append_string(record.field<"agent_type">(), entry.agent_type);
    record.text_field<"status">() += status_name(entry.status);
    json::append_uint(record.field<"instance">(), entry.instance);
    // A fresh agent's two stamps are equal, and the text is written once.
    const std::size_t stamp_start = record.text_field<"registered_at">().size();
    append_rfc3339(out, entry.registered_at);
    const std::size_t stamp_length = out.size() - stamp_start;
    if (entry.last_active == entry.registered_at) {
        record.text_field<"last_active">().append(out, stamp_start, stamp_length);
    } else {
        append_rfc3339(record.text_field<"last_active">(), entry.last_active);
    }
    record.field<"metadata">() += entry.metadata.view();
    record.close();
}

}  // namespace orvel
