#include "registry.hpp"

#include <utility>
#include <vector>

#include "fault.hpp"
#include "json/json.hpp"

namespace orvel {
namespace {

MeshError poisoned() { return MeshError::state("registry lock poisoned"); }

// Metadata left out is the empty object; every such agent shares one copy of it.
const SharedText& empty_object() {
    static const SharedText text("{}");
    return text;
}

std::size_t status_index(AgentStatus status) { return static_cast<std::size_t>(status); }

// The host name of the local machine itself: where every routed call goes.
constexpr std::string_view local_node = "localhost";

}  // namespace

void AgentRegistry::Table::set_status(AgentRecord& record, AgentStatus status, Timestamp moment) {
    --by_status[status_index(record.status)];
    ++by_status[status_index(status)];
    record.status = status;
    record.last_active = moment;
}

AgentEntry AgentRegistry::copy_entry(std::string_view agent_id, const AgentRecord& record) {
    return {std::string(agent_id), record.agent_type, record.status, record.instance,
            record.registered_at, record.last_active, record.metadata};
}

Result<PendingChange> AgentRegistry::register_agent(std::string_view agent_type, HashedText agent_id,
                                                    std::uint32_t instance,
                                                    std::optional<std::string_view> metadata_json) {
    SharedText metadata = empty_object();
    if (metadata_json) {
        std::string_view canonical;
        if (auto error = json::canonicalize(*metadata_json, canonical)) return MeshError::serialization(error->text());
        if (canonical != empty_object().view()) metadata = SharedText(canonical);
    }

    AgentEntry entry{std::string(agent_id.text), std::string(agent_type), AgentStatus::Starting, instance, {}, {}, metadata};
    auto table = table_.write();
    if (!table) return poisoned();
    fault::point("registry.register");
    auto& agents = (*table)->agents;
    if (agents.contains(agent_id)) return MeshError::already_registered(entry.agent_id);
    entry.registered_at = entry.last_active = now();
    auto record = detached_entry<AgentRecord>(agent_id, AgentRecord{entry.agent_type, entry.registered_at,
                                                                           entry.last_active, std::move(metadata),
                                                                           instance, AgentStatus::Starting});
    reserve_one_more(agents);
    std::string text;
    append_json(text, entry);
    return PendingChange(std::move(*table), std::move(text), [record = std::move(record)](Table& registry) mutable {
        registry.agents.insert(std::move(record));
        ++registry.by_status[status_index(AgentStatus::Starting)];
    });
}

Result<void> AgentRegistry::deregister_agent(HashedText agent_id) {
    // Deregistering an unknown agent is common and needs no exclusive hold.
    const auto known = table_.peek([&](const auto& table) { return table.agents.contains(agent_id); });
    if (!known) return poisoned();
    if (!*known) return {};
    auto table = table_.write();
    if (!table) return poisoned();
    fault::point("registry.deregister");
    auto& agents = (*table)->agents;
    auto found = agents.find(agent_id);
    if (found == agents.end()) return {};
    --(*table)->by_status[status_index(found->second.status)];
    agents.erase(found);
    return {};
}

// The copy is made only once found: a miss does not even clear room for one.
Result<std::optional<std::string>> AgentRegistry::get_agent(HashedText agent_id) {
    auto table = table_.read();
    if (!table) return poisoned();
    fault::point("registry.get");
    auto found = (*table)->agents.find(agent_id);
    if (found == (*table)->agents.end()) return std::optional<std::string>();
    const AgentEntry entry = copy_entry(found->first.text, found->second);
    table.reset();
    std::string text;
    append_json(text, entry);
    return std::optional<std::string>(std::move(text));
}

Result<std::string> AgentRegistry::list_agents(std::optional<std::string_view> agent_type,
                                               std::optional<std::string_view> status) {
    // A status filter that names no status matches nothing, but is no error.
    std::optional<AgentStatus> wanted_status;
    if (status) wanted_status = parse_status(*status);
    const bool matches_none = status && !wanted_status;

    std::vector<AgentEntry> kept;
    {
        auto table = table_.read();
        if (!table) return poisoned();
        if (!matches_none) {
            const auto& agents = (*table)->agents;
            if (!agent_type && !status) kept.reserve(agents.size());
            for (const auto& [agent_id, record] : agents) {
                if (agent_type && record.agent_type != *agent_type) continue;
                if (wanted_status && record.status != *wanted_status) continue;
                kept.push_back(copy_entry(agent_id.text, record));
            }
        }
    }
    std::string text;
    json::ArrayWriter list(text);
    for (const auto& entry : kept) append_json(list.next(), entry);
    list.close();
    return text;
}

Result<void> AgentRegistry::update_agent_status(HashedText agent_id, AgentStatus status) {
    auto table = table_.write();
    if (!table) return poisoned();
    fault::point("registry.set_status");
    auto found = (*table)->agents.find(agent_id);
    if (found == (*table)->agents.end()) return MeshError::agent_not_found({}, std::string(agent_id.text));
    (*table)->set_status(found->second, status, now());
    return {};
}

Result<bool> AgentRegistry::accepts_calls(HashedText agent_id) {
    auto table = table_.read();
    if (!table) return poisoned();
    auto found = (*table)->agents.find(agent_id);
    if (found == (*table)->agents.end()) return false;
    const AgentStatus status = found->second.status;
    return status != AgentStatus::Stopped && status != AgentStatus::Error;
}

Result<PendingChange> AgentRegistry::route_agent_call(std::string_view agent_type, HashedText agent_id,
                                                      std::string_view method, std::string_view args_json) {
    if (auto error = json::validate(args_json)) return MeshError::serialization(error->text());
    auto routable = accepts_calls(agent_id);
    if (!routable) return routable.error();
    if (!*routable) return MeshError::agent_not_found(std::string(agent_type), std::string(agent_id.text));

    std::string descriptor;
    json::ObjectWriter fields(descriptor);
    json::append_string(fields.field<"agent_id">(), agent_id.text);
    json::append_string(fields.field<"agent_type">(), agent_type);
    json::append_string(fields.field<"method">(), method);
    json::append_string(fields.field<"node">(), local_node);
    fields.text_field<"status">() += "routed";
    fields.close();

    // The agent was there a moment ago; if it has gone since, or the registry is poisoned,
    // the call is still routed.
    auto table = table_.write();
    if (!table) return PendingChange(std::move(descriptor));
    fault::point("registry.set_status");
    auto found = (*table)->agents.find(agent_id);
    if (found == (*table)->agents.end()) return PendingChange(std::move(descriptor));
    const Timestamp moment = now();
    return PendingChange(std::move(*table), std::move(descriptor),
                         [&record = found->second, moment](Table& registry) {
                             registry.set_status(record, AgentStatus::Running, moment);
                         });
}

std::uint64_t AgentRegistry::agent_count() {
    auto table = table_.read();
    return table ? (*table)->agents.size() : 0;
}

std::uint64_t AgentRegistry::count_by_status(std::string_view status_name) {
    const auto status = parse_status(status_name);
    if (!status) return 0;
    auto table = table_.read();
    return table ? (*table)->by_status[status_index(*status)] : 0;
}

}  // namespace orvel
