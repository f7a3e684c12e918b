// The class's table: its constructor, attribute, representation and methods, each row
// naming the operation it runs. The interpreter's method definitions, the text signatures,
// the argument descriptors and the stub (tools/gen_stub.py) are all made from it.
#pragma once

#include <tuple>

#include "mesh.hpp"
#include "python/mesh_type.hpp"
#include "python/operation.hpp"

namespace orvel::python {

// Its doc is the class's.
inline constexpr auto constructor = row<&new_mesh>("__new__", params("app_name", defaulted("plan_json", "")),
    "The runtime mesh for a Orvel application.\n"
    "\n"
    "Create one per application process (Python):\n"
    "\n"
    "```python\n"
    "mesh = OrvelMesh(\"myapp\", plan_json)\n"
    "```\n"
    "\n"
    "All methods are synchronous and GIL-aware \u2014 they release the GIL during\n"
    "any blocking work.");

inline constexpr auto attributes = std::tuple{
    row<&Mesh::app_name>("app_name", params(), "Application name."),
};

inline constexpr auto representation = row<&Mesh::repr>("__repr__", params(), nullptr);

inline constexpr auto methods = std::tuple{
    row<&AgentRegistry::register_agent>(
        "register_agent",
        params("agent_type", "agent_id", defaulted("instance", 0), defaulted("metadata_json", none)),
        "Register a new agent instance.\n"
        "\n"
        "Args:\n"
        "    agent_type:    Class name, e.g. ``\"Customer\"``.\n"
        "    agent_id:      Unique identity key, e.g. ``\"customer-123\"``.\n"
        "    instance:      Replica index (0-based, default 0).\n"
        "    metadata_json: Optional JSON object with extra fields.\n"
        "\n"
        "Returns:\n"
        "    JSON string representing the created :class:`AgentEntry`.\n"
        "\n"
        "Raises:\n"
        "    RuntimeError: If the agent ID is already registered."),
    row<&AgentRegistry::update_agent_status>("update_agent_status", params("agent_id", "status"),
        "Update the status of a registered agent.\n"
        "\n"
        "Args:\n"
        "    agent_id: The agent's unique ID.\n"
        "    status:   One of ``\"starting\"``, ``\"running\"``, ``\"idle\"``,\n"
        "              ``\"stopping\"``, ``\"stopped\"``, ``\"error\"``.\n"
        "\n"
        "Raises:\n"
        "    ValueError: If the status string is not recognised.\n"
        "    KeyError:   If the agent ID is not registered."),
    row<&AgentRegistry::deregister_agent>("deregister_agent", params("agent_id"),
        "Deregister an agent.  No-op if the ID does not exist."),
    row<&AgentRegistry::get_agent>("get_agent", params("agent_id"),
        "Look up an agent by ID.\n"
        "\n"
        "Returns:\n"
        "    JSON string for the agent, or ``None`` if not found."),
    row<&AgentRegistry::list_agents>(
        "list_agents", params(defaulted("agent_type", none), defaulted("status", none)),
        "List agents, optionally filtered.\n"
        "\n"
        "Args:\n"
        "    agent_type: Filter by type name (``None`` = all types).\n"
        "    status:     Filter by status string (``None`` = all statuses).\n"
        "\n"
        "Returns:\n"
        "    JSON array string of agent records."),
    row<&AgentRegistry::route_agent_call>(
        "route_agent_call", params("agent_type", "agent_id", "method", defaulted("args_json", "{}")),
        "Route a call to an agent and return routing metadata as JSON.\n"
        "\n"
        "This method validates that the agent exists and is not stopped/errored,\n"
        "then marks it as ``\"running\"`` and returns a routing descriptor.  The\n"
        "actual Python method dispatch is performed by the caller using the\n"
        "returned metadata.\n"
        "\n"
        "Args:\n"
        "    agent_type: Agent class name.\n"
        "    agent_id:   Agent identity key.\n"
        "    method:     Method name to invoke.\n"
        "    args_json:  JSON object of keyword arguments (default ``\"{}\"``) .\n"
        "\n"
        "Returns:\n"
        "    JSON object ``{\"status\": \"routed\", \"agent_id\": \"\u2026\", \u2026}``.\n"
        "\n"
        "Raises:\n"
        "    KeyError:   If the agent is not registered or has stopped."),
    row<&StateStore::get>("state_get", params("key"),
        "Get a value from the shared state store.\n"
        "\n"
        "Returns:\n"
        "    JSON string for the value, or ``None`` if the key does not exist."),
    row<&StateStore::set>("state_set", params("key", "value_json"),
        "Set a value in the shared state store.\n"
        "\n"
        "Args:\n"
        "    key:        Arbitrary string key.\n"
        "    value_json: JSON-encoded value to store."),
    row<&StateStore::remove>("state_delete", params("key"),
        "Delete a key from the state store.  No-op if the key does not exist."),
    row<&StateStore::exists>("state_exists", params("key"),
        "Check whether a key exists in the state store."),
    row<&StateStore::keys>("state_keys", params(defaulted("prefix", "")),
        "Return all keys that start with `prefix` (sorted)."),
    row<&MigrationEngine::start>(
        "start_migration", params("variable_name", "source_backend", "target_backend"),
        "Start a zero-downtime migration for a storage variable.\n"
        "\n"
        "Args:\n"
        "    variable_name:  Fully-qualified storage name, e.g. ``\"counter.Counts\"``.\n"
        "    source_backend: Current backend name, e.g. ``\"sqlite\"``.\n"
        "    target_backend: Target backend name, e.g. ``\"redis\"``.\n"
        "\n"
        "Returns:\n"
        "    JSON string of the initial :class:`MigrationState` (stage 1).\n"
        "\n"
        "Raises:\n"
        "    ValueError: If a non-complete migration already exists for this variable."),
    row<&MigrationEngine::advance>(
        "advance_migration",
        params("variable_name", defaulted("discrepancy_count", 0), defaulted("keys_migrated", 0)),
        "Advance a migration to its next stage.\n"
        "\n"
        "Args:\n"
        "    variable_name:     Storage variable name.\n"
        "    discrepancy_count: Number of read discrepancies observed in this stage.\n"
        "    keys_migrated:     Number of keys copied during this stage.\n"
        "\n"
        "Returns:\n"
        "    JSON string of the updated :class:`MigrationState`."),
    row<&MigrationEngine::rollback>("rollback_migration", params("variable_name"),
        "Roll back a migration by one stage.\n"
        "\n"
        "Returns:\n"
        "    JSON string of the updated :class:`MigrationState`."),
    row<&MigrationEngine::get>("get_migration", params("variable_name"),
        "Get the current migration state for a variable.\n"
        "\n"
        "Returns:\n"
        "    JSON string, or ``None`` if no migration exists for this variable."),
    row<&MigrationEngine::list>("list_migrations", params(),
        "List all migrations (active and completed).\n"
        "\n"
        "Returns:\n"
        "    JSON array string."),
    row<&ChannelHub::publish>("publish", params("topic", "payload_json"),
        "Publish a message to a topic.\n"
        "\n"
        "Args:\n"
        "    topic:        Topic name string.\n"
        "    payload_json: JSON-encoded message payload.\n"
        "\n"
        "Returns:\n"
        "    Number of active receivers that received the message."),
    row<&Mesh::health_snapshot>("health_snapshot", params(),
        "Return a JSON health snapshot of the entire mesh.\n"
        "\n"
        "The snapshot includes agent counts by status, state-store key count,\n"
        "active migration count, and channel topic count."),
    row<&Mesh::plan_json>("plan_json", params(),
        "Return the solved plan as a JSON string."),
};

}  // namespace orvel::python
