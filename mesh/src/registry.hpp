// The agent registry: one record per agent_id behind one reader-writer lock.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "agent.hpp"
#include "error.hpp"
#include "hash.hpp"
#include "lock.hpp"
#include "pending_change.hpp"

namespace orvel {

class AgentRegistry {
public:
    // Python-facing operations: JSON text in, JSON text out. JSON is read before the lock
    // is taken. A change that gives text back is pending until the caller commits it, having
    // taken the text; other results are written after the lock is released.
    Result<PendingChange> register_agent(std::string_view agent_type, HashedText agent_id, std::uint32_t instance,
                                         std::optional<std::string_view> metadata_json);
    Result<void> deregister_agent(HashedText agent_id);
    Result<std::optional<std::string>> get_agent(HashedText agent_id);
    Result<std::string> list_agents(std::optional<std::string_view> agent_type,
                                    std::optional<std::string_view> status);
    Result<void> update_agent_status(HashedText agent_id, AgentStatus status);
    Result<PendingChange> route_agent_call(std::string_view agent_type, HashedText agent_id,
                                           std::string_view method, std::string_view args_json);

    // Counts for reporting: never fail, 0 once poisoned. Both are constant time.
    std::uint64_t agent_count();
    std::uint64_t count_by_status(std::string_view status_name);

private:
    // An AgentEntry without its agent_id, which the table already holds as the key:
    // at a million agents the second copy would be the largest field.
    struct AgentRecord {
        std::string agent_type;
        Timestamp registered_at;
        Timestamp last_active;
        SharedText metadata;
        std::uint32_t instance = 0;
        AgentStatus status = AgentStatus::Starting;
    };
    struct Table {
        KeyedMap<AgentRecord> agents;
        std::array<std::uint64_t, agent_status_count> by_status{};

        // Cannot fail.
        void set_status(AgentRecord& record, AgentStatus status, Timestamp moment);
    };

    static AgentEntry copy_entry(std::string_view agent_id, const AgentRecord& record);
    // Whether a call may be routed to the agent; fails only when poisoned.
    Result<bool> accepts_calls(HashedText agent_id);

    Guarded<Table> table_;
};

}  // namespace orvel
