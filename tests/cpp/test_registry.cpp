// The agent registry: operations, failure order, status counts and poisoning.
#include <string>
#include <string_view>

#include "check.hpp"
#include "clock.hpp"
#include "error.hpp"
#include "fault.hpp"
#include "registry.hpp"

using orvel::AgentRegistry;
using orvel::AgentStatus;
using orvel::ErrorKind;
using orvel::HashedText;

namespace {

// The text of one string member of a JSON object written by the registry.
std::string member(std::string_view json, std::string_view name) {
    const std::string opening = "\"" + std::string(name) + "\":\"";
    const auto start = json.find(opening);
    if (start == std::string_view::npos) return "<missing>";
    const auto value = start + opening.size();
    return std::string(json.substr(value, json.find('"', value) - value));
}

template <class T>
std::string error_text(const orvel::Result<T>& result) {
    return result.ok() ? "<ok>" : result.error().message();
}

// By value: CHECK_EQ keeps a reference to its operands.
std::string agent_json(AgentRegistry& registry, std::string_view id) {
    auto json = registry.get_agent(HashedText::hashed(id));
    if (!json.ok()) return error_text(json);
    return json->value_or("<none>");
}

std::string registered(AgentRegistry& registry, std::string_view type, std::string_view id) {
    auto json = check::committed(registry.register_agent(type, HashedText::hashed(id), 0, std::nullopt));
    return json.ok() ? *json : error_text(json);
}

void check_record_form() {
    AgentRegistry registry;
    auto json = check::committed(registry.register_agent("Customer", "customer-123", 4294967295u, std::nullopt));
    CHECK(json.ok());
    const std::string stamp = member(*json, "registered_at");
    CHECK_EQ(*json, "{\"agent_id\":\"customer-123\",\"agent_type\":\"Customer\",\"status\":\"starting\","
                    "\"instance\":4294967295,\"registered_at\":\"" + stamp + "\",\"last_active\":\"" + stamp +
                    "\",\"metadata\":{}}");
    CHECK(stamp.ends_with("+00:00"));
    CHECK_EQ(agent_json(registry, "customer-123"), *json);

    auto escaped = check::committed(registry.register_agent("T", "a\"b\nc", 0, std::nullopt));
    CHECK(escaped.ok() && escaped->starts_with("{\"agent_id\":\"a\\\"b\\nc\","));
}

void check_duplicates() {
    AgentRegistry registry;
    const std::string first = registered(registry, "Customer", "customer-123");
    auto again = registry.register_agent("Other", "customer-123", 7, std::string_view("[1]"));
    CHECK_EQ(error_text(again), std::string("Agent 'customer-123' is already registered"));
    CHECK(again.error().kind() == ErrorKind::AlreadyRegistered);
    CHECK_EQ(agent_json(registry, "customer-123"), first);

    // The JSON is read before the table is consulted.
    auto bad_json = registry.register_agent("Customer", "customer-123", 0, std::string_view("nope"));
    CHECK(!bad_json.ok() && bad_json.error().kind() == ErrorKind::Serialization);
    CHECK_EQ(registry.agent_count(), 1u);

    // Keys are compared byte for byte.
    CHECK(check::committed(registry.register_agent("Customer", "Customer-123", 0, std::nullopt)).ok());
    CHECK(check::committed(registry.register_agent("Customer", "", 0, std::nullopt)).ok());
    CHECK_EQ(registry.agent_count(), 3u);
}

void check_deregistration() {
    AgentRegistry registry;
    CHECK(registry.deregister_agent("never").ok());
    registered(registry, "T", "a");
    CHECK(registry.update_agent_status("a", AgentStatus::Error).ok());
    CHECK(registry.deregister_agent("a").ok());
    CHECK_EQ(agent_json(registry, "a"), std::string("<none>"));
    CHECK_EQ(registry.agent_count(), 0u);
    CHECK_EQ(registry.count_by_status("error"), 0u);

    orvel::shift_clock(1000);
    const std::string second = registered(registry, "U", "a");
    orvel::shift_clock(0);
    CHECK_EQ(member(second, "status"), std::string("starting"));
    CHECK_EQ(member(second, "agent_type"), std::string("U"));
    CHECK_EQ(member(second, "registered_at"), member(second, "last_active"));
}

void check_status_updates() {
    AgentRegistry registry;
    const std::string first = registered(registry, "T", "a");
    CHECK_EQ(error_text(registry.update_agent_status("missing", AgentStatus::Idle)),
             std::string("Agent '/missing' not found in registry"));
    CHECK(registry.update_agent_status("missing", AgentStatus::Idle).error().kind() == ErrorKind::AgentNotFound);

    const AgentStatus sequence[] = {AgentStatus::Stopped, AgentStatus::Running, AgentStatus::Running,
                                    AgentStatus::Starting, AgentStatus::Error};
    std::string previous_active = member(first, "last_active");
    long shift = 0;
    for (AgentStatus status : sequence) {
        orvel::shift_clock(shift += 100);
        CHECK(registry.update_agent_status("a", status).ok());
        const std::string now = agent_json(registry, "a");
        CHECK_EQ(member(now, "status"), std::string(orvel::status_name(status)));
        CHECK_EQ(member(now, "registered_at"), member(first, "registered_at"));
        CHECK(member(now, "last_active") != previous_active);
        previous_active = member(now, "last_active");
    }
    orvel::shift_clock(0);
    // Reading leaves last_active alone.
    (void)registry.list_agents(std::nullopt, std::nullopt);
    CHECK_EQ(member(agent_json(registry, "a"), "last_active"), previous_active);
}

void check_counts() {
    AgentRegistry registry;
    for (const char* id : {"a", "b", "c", "d"}) registered(registry, "T", id);
    struct Step {
        const char* agent_id;
        AgentStatus status;
    };
    const Step steps[] = {{"a", AgentStatus::Running}, {"b", AgentStatus::Running}, {"b", AgentStatus::Idle},
                          {"c", AgentStatus::Error},   {"c", AgentStatus::Error},   {"d", AgentStatus::Stopping}};
    for (const auto& step : steps) CHECK(registry.update_agent_status(step.agent_id, step.status).ok());
    struct Expected {
        std::string_view name;
        std::uint64_t count;
    };
    const Expected expected[] = {{"starting", 0}, {"running", 1}, {"idle", 1},     {"stopping", 1},
                                 {"stopped", 0},  {"error", 1},   {"Running", 0},  {"", 0},
                                 {"running ", 0}};
    for (const auto& test : expected) CHECK_EQ(registry.count_by_status(test.name), test.count);

    CHECK(check::committed(registry.route_agent_call("T", "b", "m", "{}")).ok());
    CHECK(check::committed(registry.route_agent_call("T", "d", "m", "{}")).ok());
    CHECK_EQ(registry.count_by_status("running"), 3u);
    CHECK_EQ(registry.count_by_status("idle"), 0u);
    CHECK_EQ(registry.count_by_status("stopping"), 0u);

    CHECK(registry.deregister_agent("a").ok());
    CHECK(registry.deregister_agent("c").ok());
    CHECK_EQ(registry.count_by_status("running"), 2u);
    CHECK_EQ(registry.count_by_status("error"), 0u);
    CHECK_EQ(registry.agent_count(), 2u);
}

void check_listing() {
    AgentRegistry registry;
    CHECK_EQ(std::string(*registry.list_agents(std::nullopt, std::nullopt)), std::string("[]"));
    registered(registry, "Customer", "c1");
    registered(registry, "Customer", "c2");
    registered(registry, "Order", "o1");
    registered(registry, "", "e1");
    CHECK(registry.update_agent_status("c2", AgentStatus::Idle).ok());
    CHECK(registry.update_agent_status("o1", AgentStatus::Idle).ok());

    struct ListCase {
        std::optional<std::string_view> agent_type;
        std::optional<std::string_view> status;
        std::size_t count;
    };
    const ListCase cases[] = {
        {std::nullopt, std::nullopt, 4}, {"Customer", std::nullopt, 2}, {std::nullopt, "idle", 2},
        {"Customer", "idle", 1},         {std::nullopt, "Idle", 0},     {"", std::nullopt, 1},
    };
    for (const auto& test : cases) {
        const std::string json = *registry.list_agents(test.agent_type, test.status);
        std::size_t count = 0;
        for (auto at = json.find("{\"agent_id\""); at != std::string::npos; at = json.find("{\"agent_id\"", at + 1)) ++count;
        CHECK_EQ(count, test.count);
        if (test.count == 0) CHECK_EQ(json, std::string("[]"));
    }
    const std::string both = *registry.list_agents("Customer", "idle");
    CHECK_EQ(both, "[" + agent_json(registry, "c2") + "]");
}

void check_routing() {
    AgentRegistry registry;
    registered(registry, "Customer", "customer-123");
    registered(registry, "T", "stopped");
    registered(registry, "T", "failed");
    CHECK(registry.update_agent_status("stopped", AgentStatus::Stopped).ok());
    CHECK(registry.update_agent_status("failed", AgentStatus::Error).ok());

    auto descriptor = check::committed(registry.route_agent_call("Other", "customer-123", "do\"it", "[1,2]"));
    CHECK_EQ(error_text(descriptor) == "<ok>" ? *descriptor : error_text(descriptor),
             std::string("{\"agent_id\":\"customer-123\",\"agent_type\":\"Other\",\"method\":\"do\\\"it\","
                         "\"node\":\"localhost\",\"status\":\"routed\"}"));
    CHECK_EQ(member(agent_json(registry, "customer-123"), "status"), std::string("running"));
    CHECK(check::committed(registry.route_agent_call("T", "customer-123", "m", "null")).ok());

    struct RefusalCase {
        std::string_view agent_id;
        std::string_view args_json;
        ErrorKind kind;
        std::string_view text;
    };
    const RefusalCase refusals[] = {
        {"missing", "{", ErrorKind::Serialization, "Serialization error: EOF while parsing an object"},
        {"missing", "{}", ErrorKind::AgentNotFound, "Agent 'Customer/missing' not found in registry"},
        {"stopped", "{}", ErrorKind::AgentNotFound, "Agent 'Customer/stopped' not found in registry"},
        {"failed", "{}", ErrorKind::AgentNotFound, "Agent 'Customer/failed' not found in registry"},
        {"stopped", "[1,]", ErrorKind::Serialization, "Serialization error: trailing comma"},
    };
    for (const auto& test : refusals) {
        auto refused = registry.route_agent_call("Customer", HashedText::hashed(test.agent_id), "m", test.args_json);
        CHECK(!refused.ok() && refused.error().kind() == test.kind);
        CHECK(error_text(refused).starts_with(test.text));
    }
    CHECK_EQ(member(agent_json(registry, "stopped"), "status"), std::string("stopped"));
    CHECK_EQ(member(agent_json(registry, "failed"), "status"), std::string("error"));
}

void check_every_operation_poisoned(AgentRegistry& registry) {
    const std::string poisoned = "State error: registry lock poisoned";
    CHECK_EQ(error_text(registry.register_agent("T", "new", 0, std::nullopt)), poisoned);
    CHECK_EQ(error_text(registry.deregister_agent("a")), poisoned);
    CHECK_EQ(error_text(registry.get_agent("a")), poisoned);
    CHECK_EQ(error_text(registry.list_agents(std::nullopt, std::nullopt)), poisoned);
    CHECK_EQ(error_text(registry.list_agents(std::nullopt, "bogus")), poisoned);
    CHECK_EQ(error_text(registry.update_agent_status("a", AgentStatus::Idle)), poisoned);
    CHECK_EQ(error_text(registry.route_agent_call("T", "a", "m", "{}")), poisoned);
    // Bad JSON is still reported first.
    CHECK(registry.register_agent("T", "new", 0, std::string_view("{")).error().kind() == ErrorKind::Serialization);
    CHECK(registry.route_agent_call("T", "a", "m", "").error().kind() == ErrorKind::Serialization);
    CHECK_EQ(registry.agent_count(), 0u);
    CHECK_EQ(registry.count_by_status("starting"), 0u);
    CHECK_EQ(registry.count_by_status("running"), 0u);
}

// `site` empty: the operation faults by itself.
template <class Operation>
void check_poisoned_by(std::string_view site, Operation operation) {
    AgentRegistry registry;
    registered(registry, "T", "a");
    CHECK(registry.update_agent_status("a", AgentStatus::Running).ok());
    if (!site.empty()) orvel::fault::arm(site);
    bool faulted = false;
    try {
        operation(registry);
    } catch (const orvel::InternalFault&) {
        faulted = true;
    }
    CHECK(faulted);
    check_every_operation_poisoned(registry);
}

void check_poisoning() {
    check_poisoned_by("registry.register", [](AgentRegistry& r) { (void)r.register_agent("T", "b", 0, std::nullopt); });
    check_poisoned_by("registry.deregister", [](AgentRegistry& r) { (void)r.deregister_agent("a"); });
    check_poisoned_by("registry.set_status",
                      [](AgentRegistry& r) { (void)r.update_agent_status("a", AgentStatus::Idle); });
    // A fault while marking a routed agent running is not an ordinary failure to ignore.
    check_poisoned_by("registry.set_status", [](AgentRegistry& r) { (void)r.route_agent_call("T", "a", "m", "{}"); });
    check_poisoned_by("", [](AgentRegistry& r) {
        orvel::shift_clock(-10'000'000'000);
        struct Restore {
            ~Restore() { orvel::shift_clock(0); }
        } restore;
        (void)r.register_agent("T", "b", 0, std::nullopt);
    });
}

void check_abandoned_read_does_not_poison() {
    AgentRegistry registry;
    registered(registry, "T", "a");
    orvel::fault::arm("registry.get");
    bool faulted = false;
    try {
        (void)registry.get_agent("a");
    } catch (const orvel::InternalFault&) {
        faulted = true;
    }
    CHECK(faulted);
    CHECK(registry.get_agent("a").ok());
    CHECK(check::committed(registry.register_agent("T", "b", 0, std::nullopt)).ok());
    CHECK_EQ(registry.agent_count(), 2u);
    CHECK_EQ(registry.count_by_status("starting"), 2u);
}

}  // namespace

int main() {
    check_record_form();
    check_duplicates();
    check_deregistration();
    check_status_updates();
    check_counts();
    check_listing();
    check_routing();
    check_poisoning();
    check_abandoned_read_does_not_poison();
    return check::report("registry");
}
