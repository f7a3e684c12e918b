#include "python/methods.hpp"

#include "agent.hpp"

namespace orvel::python {
namespace {

constexpr Param text(const char* name) { return {name, Kind::Text}; }
constexpr Param text(const char* name, const char* default_text) { return {name, Kind::Text, default_text}; }
constexpr Param optional_text(const char* name) { return {name, Kind::OptionalText, "None"}; }
constexpr Param u32(const char* name) { return {name, Kind::U32, "0"}; }
constexpr Param u64(const char* name) { return {name, Kind::U64, "0"}; }

constexpr Signature none() { return {}; }
constexpr Signature params(std::size_t required, Param a) { return {{a}, 1, required}; }
constexpr Signature params(std::size_t required, Param a, Param b) { return {{a, b}, 2, required}; }
constexpr Signature params(std::size_t required, Param a, Param b, Param c) { return {{a, b, c}, 3, required}; }
constexpr Signature params(std::size_t required, Param a, Param b, Param c, Param d) {
    return {{a, b, c, d}, 4, required};
}

PyObject* update_agent_status(Mesh& mesh, const Args& a) {
    const auto status = parse_status(a[1].text);
    if (!status) {
        PyErr_SetString(PyExc_ValueError, unknown_status_message(a[1].text).c_str());
        return nullptr;
    }
    return to_python(mesh.registry().update_agent_status(a[0].text, *status));
}

}  // namespace

const Signature constructor_signature = params(1, text("app_name"), text("plan_json", "\"\""));

const char* const class_doc_body =
    "The runtime mesh for a Orvel application.\n"
    "\n"
    "Create one per application process (Python):\n"
    "\n"
    "```python\n"
    "mesh = OrvelMesh(\"myapp\", plan_json)\n"
    "```\n"
    "\n"
    "All methods are synchronous and GIL-aware \u2014 they release the GIL during\n"
    "any blocking work.";

const std::array<MethodSpec, method_count> methods = {{
    {"register_agent", true,
     params(2, text("agent_type"), text("agent_id"), u32("instance"), optional_text("metadata_json")),
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
     "    RuntimeError: If the agent ID is already registered.",
     [](Mesh& mesh, const Args& a) {
         return to_python(mesh.registry().register_agent(a[0].text, a[1].text, static_cast<std::uint32_t>(a[2].number),
                                                         a[3].optional_text()));
     }},
    {"update_agent_status", true, params(2, text("agent_id"), text("status")),
     "Update the status of a registered agent.\n"
     "\n"
     "Args:\n"
     "    agent_id: The agent's unique ID.\n"
     "    status:   One of ``\"starting\"``, ``\"running\"``, ``\"idle\"``,\n"
     "              ``\"stopping\"``, ``\"stopped\"``, ``\"error\"``.\n"
     "\n"
     "Raises:\n"
     "    ValueError: If the status string is not recognised.\n"
     "    KeyError:   If the agent ID is not registered.",
     update_agent_status},
    {"deregister_agent", true, params(1, text("agent_id")),
     "Deregister an agent.  No-op if the ID does not exist.",
     [](Mesh& mesh, const Args& a) { return to_python(mesh.registry().deregister_agent(a[0].text)); }},
    {"get_agent", true, params(1, text("agent_id")),
     "Look up an agent by ID.\n"
     "\n"
     "Returns:\n"
     "    JSON string for the agent, or ``None`` if not found.",
     [](Mesh& mesh, const Args& a) { return to_python(mesh.registry().get_agent(a[0].text)); }},
    {"list_agents", true, params(0, optional_text("agent_type"), optional_text("status")),
     "List agents, optionally filtered.\n"
     "\n"
     "Args:\n"
     "    agent_type: Filter by type name (``None`` = all types).\n"
     "    status:     Filter by status string (``None`` = all statuses).\n"
     "\n"
     "Returns:\n"
     "    JSON array string of agent records.",
     [](Mesh& mesh, const Args& a) {
         return to_python(mesh.registry().list_agents(a[0].optional_text(), a[1].optional_text()));
     }},
    {"route_agent_call", true,
     params(3, text("agent_type"), text("agent_id"), text("method"), text("args_json", "\"{}\"")),
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
     "    KeyError:   If the agent is not registered or has stopped.",
     [](Mesh& mesh, const Args& a) {
         return to_python(mesh.registry().route_agent_call(a[0].text, a[1].text, a[2].text, a[3].text));
     }},
    {"state_get", true, params(1, text("key")),
     "Get a value from the shared state store.\n"
     "\n"
     "Returns:\n"
     "    JSON string for the value, or ``None`` if the key does not exist.",
     [](Mesh& mesh, const Args& a) { return to_python(mesh.state().get(a[0].text)); }},
    {"state_set", true, params(2, text("key"), text("value_json")),
     "Set a value in the shared state store.\n"
     "\n"
     "Args:\n"
     "    key:        Arbitrary string key.\n"
     "    value_json: JSON-encoded value to store.",
     [](Mesh& mesh, const Args& a) { return to_python(mesh.state().set(a[0].text, a[1].text)); }},
    {"state_delete", true, params(1, text("key")),
     "Delete a key from the state store.  No-op if the key does not exist.",
     [](Mesh& mesh, const Args& a) { return to_python(mesh.state().remove(a[0].text)); }},
    {"state_exists", true, params(1, text("key")),
     "Check whether a key exists in the state store.",
     [](Mesh& mesh, const Args& a) { return to_python(mesh.state().exists(a[0].text)); }},
    {"state_keys", true, params(0, text("prefix", "\"\"")),
     "Return all keys that start with `prefix` (sorted).",
     [](Mesh& mesh, const Args& a) { return to_python(mesh.state().keys(a[0].text)); }},
    {"start_migration", true, params(3, text("variable_name"), text("source_backend"), text("target_backend")),
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
     "    ValueError: If a non-complete migration already exists for this variable.",
     [](Mesh& mesh, const Args& a) {
         return to_python(mesh.migrations().start(a[0].text, a[1].text, a[2].text));
     }},
    {"advance_migration", true, params(1, text("variable_name"), u64("discrepancy_count"), u64("keys_migrated")),
     "Advance a migration to its next stage.\n"
     "\n"
     "Args:\n"
     "    variable_name:     Storage variable name.\n"
     "    discrepancy_count: Number of read discrepancies observed in this stage.\n"
     "    keys_migrated:     Number of keys copied during this stage.\n"
     "\n"
     "Returns:\n"
     "    JSON string of the updated :class:`MigrationState`.",
     [](Mesh& mesh, const Args& a) {
         return to_python(mesh.migrations().advance(a[0].text, a[1].number, a[2].number));
     }},
    {"rollback_migration", true, params(1, text("variable_name")),
     "Roll back a migration by one stage.\n"
     "\n"
     "Returns:\n"
     "    JSON string of the updated :class:`MigrationState`.",
     [](Mesh& mesh, const Args& a) { return to_python(mesh.migrations().rollback(a[0].text)); }},
    {"get_migration", true, params(1, text("variable_name")),
     "Get the current migration state for a variable.\n"
     "\n"
     "Returns:\n"
     "    JSON string, or ``None`` if no migration exists for this variable.",
     [](Mesh& mesh, const Args& a) { return to_python(mesh.migrations().get(a[0].text)); }},
    {"list_migrations", false, none(),
     "List all migrations (active and completed).\n"
     "\n"
     "Returns:\n"
     "    JSON array string.",
     [](Mesh& mesh, const Args&) { return to_python(mesh.migrations().list()); }},
    {"publish", true, params(2, text("topic"), text("payload_json")),
     "Publish a message to a topic.\n"
     "\n"
     "Args:\n"
     "    topic:        Topic name string.\n"
     "    payload_json: JSON-encoded message payload.\n"
     "\n"
     "Returns:\n"
     "    Number of active receivers that received the message.",
     [](Mesh& mesh, const Args& a) { return to_python(mesh.channels().publish(a[0].text, a[1].text)); }},
    {"health_snapshot", false, none(),
     "Return a JSON health snapshot of the entire mesh.\n"
     "\n"
     "The snapshot includes agent counts by status, state-store key count,\n"
     "active migration count, and channel topic count.",
     [](Mesh& mesh, const Args&) { return to_python(mesh.health_snapshot()); }},
    {"plan_json", false, none(),
     "Return the solved plan as a JSON string.",
     [](Mesh& mesh, const Args&) { return to_python(mesh.plan_json()); }},
}};

std::string text_signature(const char* name, const Signature& signature, bool with_self) {
    std::string text = name;
    text += '(';
    if (with_self) text += signature.count > 0 ? "$self, " : "$self";
    for (std::size_t i = 0; i < signature.count; ++i) {
        const Param& param = signature.params[i];
        if (i > 0) text += ", ";
        text += param.name;
        if (!param.default_text.empty()) {
            text += '=';
            text += param.default_text;
        }
    }
    text += ')';
    return text;
}

std::string doc_with_signature(const char* name, const Signature& signature, const char* body, bool with_self) {
    return text_signature(name, signature, with_self) + "\n--\n\n" + body;
}

}  // namespace orvel::python
