#include "mesh.hpp"

#include "json/json.hpp"
#include "text/quote.hpp"

namespace orvel {
namespace {

std::string engine_name(const Plan& plan, std::string_view app_name) {
    return plan.app_name.empty() ? std::string(app_name) : plan.app_name;
}

template <json::FieldName name>
void append_single_count(std::string& out, std::uint64_t count) {
    json::ObjectWriter object(out);
    json::append_uint(object.field<name>(), count);
    object.close();
}

}  // namespace

Result<Plan> Mesh::plan_for(std::string_view app_name, std::string_view plan_json) {
    if (plan_json.empty()) {
        Plan plan;
        plan.app_name = app_name;
        return plan;
    }
    return read_plan(plan_json);
}

// Members are declared in construction order: the engine first, then registry, store, hub.
Mesh::Mesh(Plan plan, std::string_view app_name)
    : plan_(std::move(plan)), migrations_(engine_name(plan_, app_name)) {}

std::string Mesh::repr() {
    std::string text = "OrvelMesh(app=";
    append_quoted(text, app_name());
    text += ", agents=" + std::to_string(registry_.agent_count());
    text += ", state_keys=" + std::to_string(state_.key_count());
    text += ", migrations=" + std::to_string(migrations_.active_count());
    text += ')';
    return text;
}

// Members in key order at both levels, each count read under its own lock in turn.
std::string Mesh::health_snapshot() {
    const std::uint64_t total = registry_.agent_count();
    const std::uint64_t running = registry_.count_by_status("running");
    const std::uint64_t idle = registry_.count_by_status("idle");
    const std::uint64_t error = registry_.count_by_status("error");
    const std::uint64_t keys = state_.key_count();
    const std::uint64_t active = migrations_.active_count();
    const std::uint64_t topics = channels_.topic_count();

    std::string text;
    json::ObjectWriter snapshot(text);
    json::ObjectWriter agents(snapshot.field<"agents">());
    json::append_uint(agents.field<"error">(), error);
    json::append_uint(agents.field<"idle">(), idle);
    json::append_uint(agents.field<"running">(), running);
    json::append_uint(agents.field<"total">(), total);
    agents.close();
    json::append_string(snapshot.field<"app">(), app_name());
    append_single_count<"topics">(snapshot.field<"channels">(), topics);
    append_single_count<"active">(snapshot.field<"migrations">(), active);
    append_single_count<"keys">(snapshot.field<"state">(), keys);
    snapshot.text_field<"status">() += "ok";
    snapshot.close();
    return text;
}

}  // namespace orvel
