// The agent record and its lifecycle statuses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "clock.hpp"
#include "shared_text.hpp"

namespace orvel {

enum class AgentStatus : std::uint8_t { Starting, Running, Idle, Stopping, Stopped, Error };
inline constexpr int agent_status_count = 6;

std::string_view status_name(AgentStatus status);
// Exact, case-sensitive match of a status name.
std::optional<AgentStatus> parse_status(std::string_view text);
// "Unknown status {quoted}. Valid values: starting, running, idle, stopping, stopped, error"
std::string unknown_status_message(std::string_view text);

struct AgentEntry {
    std::string agent_id;
    std::string agent_type;
    AgentStatus status = AgentStatus::Starting;
    std::uint32_t instance = 0;
    Timestamp registered_at;
    Timestamp last_active;
    SharedText metadata;  // canonical JSON text of any JSON value
};

// Compact JSON object with members in declared order.
void append_json(std::string& out, const AgentEntry& entry);

}  // namespace orvel
